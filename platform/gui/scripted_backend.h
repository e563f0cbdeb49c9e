// ScriptedBackend: the backend of tests. No toolkit, no GUI thread: a test queues the user's
// answers, runs the system's code, and afterwards reads what was shown.
//
// The script is one queue of answers, taken in order as dialogs, messages and the main window
// need them:
//
//   backend->set("VDSECCD", "abc").confirm();      // type into a field, leave it, press OK
//   backend->pick("cStyp", 2).check("activeonly", false).press("OK");
//   backend->choose("Send to File").inspect([](const ShownDialog& d) { ... }).cancel();
//   backend->answer(2);                             // the next message: its second button
//   backend->menu("Test Program").closeWindow();    // the main window
//
// Controls are named by identifier (without regard to case), by caption (access-key marks "~"
// and "&" left out), or as "#n" (the n-th control of the list, from 1). Buttons are named the same
// way or by identity ("DCGUI_BUTTON_OK", "DCGUI_BUTTON_CUSTOM_2"). A scripted user can only do
// what a real one can: typing into a disabled or hidden control, picking an entry that does not
// exist, or pressing a key the dialog does not forward is refused and written to problems(); the
// answer is dropped and the next one is taken. A dialog that needs an answer when the script is
// empty, or whose next answer is one for a message or the main window, is closed as with its
// close box (the latter is also a problem); a message with no answer for it is closed (an alert
// then answers with its last button). Every dialog and
// message is logged with everything it showed: titles, lines split at ";", buttons, and the
// controls with their places, captions, values, enabled and hidden states, kept up to date while
// the dialog runs.
//
// Thread safety: every member may be called from any thread; dialogs of several threads take
// answers from the one script in the order they ask.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "backend.h"

namespace gui {

struct ShownControl {
  std::string kind;  // controlKindName
  std::string id;
  std::string parent;  // the group box's identifier (or "#n" when it has none)
  double row = 0;      // resolved: a control placed after the previous one gets its place
  double col = 0;
  double width = 0;
  double height = 0;
  std::string caption;
  std::string toolTip;  // lines separated by '\n'
  std::string font;
  bool password = false;
  int displayWidth = 0;
  ControlState state;
  std::vector<std::vector<std::string>> rows;  // browse: the rows fetched so far
  std::vector<std::vector<std::string>> rowToolTips;
  bool atEnd = false;  // browse: the last row was fetched
};

struct ShownDialog {
  std::string title;
  bool childWindow = false;          // opened in a drawing area (else a modal box)
  std::vector<std::string> buttons;  // the button row's captions
  std::vector<std::string> buttonIds;
  std::vector<ShownControl> controls;
  std::string focus;  // identifier (or caption, or "#n") of the control or button with the focus
  std::vector<int> hotKeys;
  bool open = true;

  // The control named as in the script, or nullptr.
  const ShownControl* control(std::string_view name) const;
};

struct ShownMessage {
  std::string kind;  // "alert", "startalert", "msgbox", "winalert", "messagebox"
  std::string title;
  std::vector<std::string> lines;
  std::vector<std::string> buttons;
  std::string textFont;
  double timeoutSeconds = 0;
  int answer = 0;  // what the backend answered (0: closed)
};

struct ShownWait {
  std::string text;
  bool open = true;
};

struct ShownMainWindow {
  std::string title;
  int width = 0;
  int height = 0;
  std::vector<std::string> menu;  // "submenu &Test", "  item Test Program", by nesting
  std::string frameState = "normal";
  bool shown = false;
  bool open = true;
};

class ScriptedBackend : public Backend {
 public:
  ScriptedBackend();
  ~ScriptedBackend() override;

  // ---- the script ----
  ScriptedBackend& set(std::string control, std::string text);   // type, then leave the field
  ScriptedBackend& type(std::string control, std::string text);  // type and stay in the field
  ScriptedBackend& pick(std::string control, int entry);         // 1-based entry of a list
  ScriptedBackend& check(std::string control, bool on);
  ScriptedBackend& choose(std::string radio);
  ScriptedBackend& press(std::string button);  // a button of the row or a push button
  ScriptedBackend& key(int code);              // pressed where the focus is
  ScriptedBackend& focus(std::string control);
  ScriptedBackend& selectRow(std::string browse, long row);  // 0-based row
  ScriptedBackend& scroll(std::string browse);               // asks for the browse's next page
  ScriptedBackend& confirm();  // the OK button (or the push button with its identity)
  ScriptedBackend& cancel();   // the Cancel button
  ScriptedBackend& close();    // the dialog's close box
  ScriptedBackend& inspect(std::function<void(const ShownDialog&)> check);
  ScriptedBackend& answer(int button);         // the next message: 1-based button, 0: close it
  ScriptedBackend& menu(std::string caption);  // the main window: choose a menu item
  ScriptedBackend& closeWindow();              // the main window: close it

  // ---- what was shown ----
  std::vector<std::string> log() const;  // one line per thing shown or done, in order
  std::vector<ShownDialog> dialogs() const;
  std::vector<ShownMessage> messages() const;
  std::vector<ShownWait> waits() const;
  std::vector<ShownMainWindow> mainWindows() const;
  std::vector<std::string> problems() const;  // answers that did not fit what was shown
  size_t answersLeft() const;

  // ---- Backend ----
  std::unique_ptr<DialogView> openDialog(const DialogDesc& desc,
                                         const std::vector<ControlState>& states,
                                         std::shared_ptr<EventQueue> queue) override;
  int showMessage(const MessageSpec& spec) override;
  std::shared_ptr<WaitWindow> openWait(const std::string& text) override;
  std::shared_ptr<Window> createMainWindow(const MainWindowDesc& desc,
                                           std::function<void(int)> onMenu) override;
  void runUntilClosed(Window& window) override;
  void pumpUntil(const std::function<bool()>& done) override;
  void wake() override {}
  void cancelAll() override;
  bool closing() const override;

  struct Answer;
  struct State;

 private:
  friend class ScriptedDialogView;
  friend class ScriptedWindow;
  friend class ScriptedWait;
  ScriptedBackend& queue(Answer a);
  std::shared_ptr<State> state_;
};

}  // namespace gui
