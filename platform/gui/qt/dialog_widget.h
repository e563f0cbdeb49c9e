// DialogWidget: the widgets of one running dialog, built from its DialogDesc on the GUI thread.
//
// Controls are placed on the dialog's grid of text cells: a column is the mean width of the
// letters in the dialog's font and a row the height of an entry field in that font, so that a
// description written for the system's dialogs keeps its proportions; fractions of cells are
// kept. Controls inside a group box are placed relative to the box. The button row (OK, Cancel,
// custom buttons) sits under the controls, to the right.
//
// The widget reports what the user does as Events into the dialog's queue and never runs any of
// the system's code: a change of a field only marks it changed; its text travels with the next
// event (the field being left, a button, a key). It closes only when the dialog's thread says
// so (finish) or the program closes (cancel); the close box and Escape report kClosed.
//
// Frame: a QMdiSubWindow in the main window's drawing area, or an application-modal QDialog
// (shown without a nested event loop).
//
// Thread safety: GUI thread only.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <vector>

#include <QFont>
#include <QPointer>
#include <QWidget>

#include "gui/dialog_desc.h"
#include "gui/event_queue.h"

class QButtonGroup;
class QKeyEvent;
class QMdiArea;
class QPushButton;

namespace gui::qt {

class BrowseModel;

class DialogWidget : public QWidget {
 public:
  DialogWidget(DialogDesc desc, const std::vector<ControlState>& states,
               std::shared_ptr<EventQueue> queue);
  ~DialogWidget() override;

  // Puts the widget into its frame and shows it: a child window of `area` when given, else a
  // modal box over `appWindow`.
  void present(QMdiArea* area, QWidget* appWindow);

  void apply(const std::vector<ControlUpdate>& updates);
  void focusTarget(FocusTarget target);
  void focusNextAfter(int control);
  void setHotKeys(const std::vector<int>& codes);
  void addRows(int control, const BrowsePage& page);
  void restartBrowse(int control);
  std::vector<Edit> takeEdits();

  // The dialog's thread is done with the window: it goes, and this widget with it.
  void finish();
  // The program closes: the dialog's thread gets kCancelled and the window hides.
  void cancel();
  bool finishing() const { return finishing_; }
  // The close box or Escape.
  void userClosed();

  // A key pressed in this dialog (from the application's key filter); true when it is taken.
  bool takeKey(QKeyEvent* e);
  // A key the dialog wants delivered as a key press rather than as a shortcut elsewhere.
  bool wantsKey(QKeyEvent* e) const;

  // The widget of a control (tests and the key filter), or null.
  QWidget* controlWidget(int control) const;
  QPushButton* rowButton(int button) const;
  QWidget* frame() const { return frame_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  QWidget* create(size_t i, QWidget* parent);
  void place(size_t i, QWidget* w);
  void connectControl(size_t i, QWidget* w);
  void applyState(size_t i, const ControlState& s, bool values);
  void post(Event e);
  int focusedControl() const;
  bool takesInput(size_t i) const;
  QPushButton* defaultButton() const;

  DialogDesc desc_;
  std::vector<ControlState> states_;
  std::shared_ptr<EventQueue> queue_;
  QFont font_;
  double cell_ = 8;  // pixels per column
  double row_ = 24;  // pixels per row
  int margin_ = 8;
  QWidget* canvas_ = nullptr;
  std::vector<QWidget*> widgets_;
  std::vector<int> rowTop_;  // the top of each control's row, in its parent
  std::vector<QPushButton*> buttons_;
  std::map<int, QButtonGroup*> radioGroups_;
  std::map<int, BrowseModel*> models_;
  std::set<int> dirty_;
  std::set<int> hotKeys_;
  QPointer<QWidget> frame_;
  bool updating_ = false;
  bool finishing_ = false;
  bool ended_ = false;
};

}  // namespace gui::qt
