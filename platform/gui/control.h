// The control list of a dialog (GetList): what the system's procedures describe before they run
// a dialog, as plain data with callables, and no toolkit in it.
//
// A procedure starts an empty GetList, adds its controls in creation order (each add is the
// library's "add a control to GetList" template call), runs the list with readGui() and empties
// it afterwards. Every control has a place in the dialog's grid of text cells (row, column;
// fractions allowed; inside a group box the place is relative to the group's top-left corner), an
// optional size in cells, a caption, a tooltip (";" starts a new line), a font ("10.Arial Bold"),
// an identifier, "enabled when" and "hidden when" conditions, an action, and for the controls
// that edit a value a Binding: a variable by name (private or session-wide, resolved when the
// dialog reads or writes it) or a getter/setter callable.
//
// Callables (conditions, actions, validations, bindings, browse cells) are evaluated by the dialog
// run on the thread that called readGui, never on the GUI thread: they read that thread's
// private variables and work areas.
//
// Thread safety: a GetList and its controls belong to the thread that builds and runs them.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace gui {

class DialogRun;

enum class ControlKind {
  kText,           // a label; shows its caption, or its bound value when it has one
  kGet,            // a one-line entry field
  kComboBox,       // a drop-down list: a choice from the list only, no typing
  kCheckBox,       // bound to a logical
  kRadioButton,    // one of several bound to the same value, each writing its own value
  kGroupBox,       // a titled frame; controls naming it as parent are placed inside it
  kStaticLine,     // a thin separator line (horizontal when wider than high)
  kMultiLineEdit,  // a text editor of several lines (memo text)
  kPushButton,     // runs its action when pressed
  kBrowse,         // rows of a BrowseSource in columns
  kSubMenu,        // a menu of the main window's menu bar (or of another submenu)
  kMenuItem,       // runs its action when chosen
  kMenuSeparator,  // a line between menu items
};
const char* controlKindName(ControlKind kind);

// Identities of the standard and custom buttons of a dialog's button row.
inline constexpr std::string_view kButtonOkId = "DCGUI_BUTTON_OK";
inline constexpr std::string_view kButtonCancelId = "DCGUI_BUTTON_CANCEL";
std::string customButtonId(int n);  // "DCGUI_BUTTON_CUSTOM_1" for n = 1

// A place in the grid of text cells.
struct Position {
  double row = 0;
  double col = 0;
  // Placed on the row of the previous control of the same parent, just after it; row and col
  // are then ignored.
  bool afterPrevious = false;

  static Position after() { return Position{0, 0, true}; }
};

// A size in text cells; 0 means the control's natural size (its text, its value's width).
struct Size {
  double width = 0;
  double height = 0;
};

// A value a control shows and edits.
class Binding {
 public:
  Binding() = default;  // unbound

  // A variable by name: read with rt::varGet (nil when no variable of that name is visible) and
  // written with rt::varSet, on the dialog's thread.
  static Binding variable(std::string_view name);
  // A getter/setter callable: called without arguments it returns the value; called with one it
  // stores that value. `key` names the value for radio buttons that share it; without one, radio
  // buttons share a binding when they hold the same callable.
  static Binding accessor(rt::Value getSet, std::string key = {});

  bool isBound() const { return !name_.empty() || getSet_.isCallable(); }
  bool isVariable() const { return !name_.empty(); }
  const std::string& name() const { return name_; }
  // What identifies the bound value: the upper-case variable name, the given key, or the
  // callable's address.
  std::string key() const;

  // REQUIRES isBound(). Run on the dialog's thread; errors of the callable propagate.
  rt::Value get() const;
  void set(const rt::Value& value) const;

 private:
  std::string name_;
  rt::Value getSet_;
  std::string key_;
};

// The library's anchoring of a variable for a control: the variable of that name.
inline Binding getAnchorCB(std::string_view name) { return Binding::variable(name); }

// A column of a browse: its header, width in cells, and the callable that gives the cell's value
// for the row the source stands on; optionally a callable giving the cell's tooltip text (empty
// or nil: none).
struct BrowseColumn {
  std::string header;
  double width = 10;
  rt::Value cell;
  rt::Value toolTip;
};

// Rows a browse shows, as a cursor: the dialog run asks for rows page by page as the user
// scrolls, always on the dialog's thread. A table's work area implements it with go-top and skip.
class BrowseSource {
 public:
  virtual ~BrowseSource() = default;
  // Stands on the first row; false when there is none.
  virtual bool goTop() = 0;
  // Moves n rows (back when negative) among the existing rows and returns how many it moved:
  // fewer than |n| at the first or last row, never past them.
  virtual long skip(long n) = 0;
};

struct Control {
  ControlKind kind = ControlKind::kText;
  std::string id;        // identifier (a field's name, a group's name, a button's identity)
  std::string parentId;  // the group box (or submenu) it belongs to; empty: the dialog
  Position pos;
  Size size;
  std::string caption;
  std::string toolTip;  // ";" starts a new line
  std::string font;     // "10.Arial Bold"; empty: the dialog's font
  Binding data;
  rt::Value enabledWhen;  // callable returning a logical, or a logical; nil: always enabled
  rt::Value hiddenWhen;   // the same; nil: never hidden
  // Push button and menu item: pressed or chosen. Radio button, check box: after the value was
  // written. Drop-down list: after an entry was picked and written. Browse: a row was selected
  // (the source stands on it). Called without arguments; the result is ignored.
  rt::Value action;
  // Entry fields: called with the field's value when the dialog is confirmed; anything but a
  // logical true keeps the dialog open with the focus on the field.
  rt::Value valid;
  // Entry fields: run when the pop-up key is pressed in the field.
  rt::Value popup;
  std::string picture;    // entry fields: "@S50" shows 50 characters scrolling over the value
  bool password = false;  // entry fields: typed characters are not shown
  rt::Value radioValue;   // radio buttons: the value written when chosen
  rt::Value items;        // drop-down lists: an array of texts, or a callable returning one
  std::shared_ptr<BrowseSource> source;  // browse
  std::vector<BrowseColumn> columns;     // browse
  rt::Value presentation;                // browse: presentation settings (not applied yet)

  // Chained settings, so that a description reads as one statement per control.
  Control& inGroup(std::string group) {
    parentId = std::move(group);
    return *this;
  }
  Control& withId(std::string identity) {
    id = std::move(identity);
    return *this;
  }
  Control& withToolTip(std::string text) {
    toolTip = std::move(text);
    return *this;
  }
  Control& withFont(std::string f) {
    font = std::move(f);
    return *this;
  }
  Control& withSize(double width, double height = 0) {
    size = {width, height};
    return *this;
  }
  Control& enableWhen(rt::Value condition) {
    enabledWhen = std::move(condition);
    return *this;
  }
  Control& hideWhen(rt::Value condition) {
    hiddenWhen = std::move(condition);
    return *this;
  }
  Control& onAction(rt::Value callable) {
    action = std::move(callable);
    return *this;
  }
  Control& validWhen(rt::Value callable) {
    valid = std::move(callable);
    return *this;
  }
  Control& onPopup(rt::Value callable) {
    popup = std::move(callable);
    return *this;
  }
  Control& withPicture(std::string p) {
    picture = std::move(p);
    return *this;
  }
  Control& asPassword(bool on = true) {
    password = on;
    return *this;
  }
};

// A callable for enabledWhen/hiddenWhen from a C++ condition.
rt::Value condition(std::function<bool()> test);
// A callable for an action from C++ code.
rt::Value action(std::function<void()> fn);

class GetList {
 public:
  GetList() = default;
  GetList(const GetList&) = delete;
  GetList& operator=(const GetList&) = delete;
  ~GetList();

  // The library's template call: adds a control and returns it for further settings. The
  // reference stays valid until the list is emptied.
  Control& add(Control c);

  Control& addText(Position pos, std::string caption, Size size = {});
  Control& addGet(Position pos, Binding data, double width = 0);
  Control& addComboBox(Position pos, Binding data, rt::Value items, Size size = {});
  Control& addCheckBox(Position pos, Binding data, std::string caption = {});
  Control& addRadioButton(Position pos, Binding data, rt::Value value, std::string caption);
  Control& addGroupBox(std::string id, Position pos, Size size, std::string caption);
  Control& addStaticLine(Position pos, Size size);
  Control& addMultiLineEdit(Position pos, Binding data, Size size);
  Control& addPushButton(Position pos, Size size, std::string caption, rt::Value action);
  Control& addBrowse(Position pos, Size size, std::shared_ptr<BrowseSource> source,
                     std::vector<BrowseColumn> columns);
  // Menu entries of the main window: a submenu on the menu bar (parent empty) or inside another
  // submenu, and items and separators inside a submenu. "&Test" makes T the access key.
  Control& addSubMenu(std::string id, std::string caption, std::string parent = {});
  Control& addMenuItem(std::string parent, std::string caption, rt::Value action);
  Control& addMenuSeparator(std::string parent);

  size_t size() const { return controls_.size(); }
  bool empty() const { return controls_.empty(); }
  Control& at(size_t i) { return controls_.at(i); }
  const Control& at(size_t i) const { return controls_.at(i); }
  // The first control with that identifier (without regard to case), or nullptr.
  Control* find(std::string_view id);
  // Index of that control, or -1.
  int indexOf(std::string_view id) const;

  // Empties the list; ignored while the list is running.
  void clear();

  // The dialog run of this list while readGui runs it (on the thread that runs it), else null.
  DialogRun* running() const { return run_; }

 private:
  friend class DialogRun;
  std::deque<Control> controls_;
  DialogRun* run_ = nullptr;
};

}  // namespace gui
