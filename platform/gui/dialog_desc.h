// What a backend shows of a dialog and what it reports back, as plain data.
//
// The dialog run (dialog_run.h) evaluates the control list on the dialog's own thread and hands
// a backend only the results: a DialogDesc (the controls' kinds, places, captions, fonts, the
// button row) and ControlStates (the texts, choices, enabled and hidden states). The backend
// reports what the user did as Events into the dialog's EventQueue; each event carries the new
// values of the widgets the user changed since the previous event (Edits). No callable ever
// crosses to the GUI thread.
//
// Thread safety: plain values, copied between threads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "control.h"
#include "runtime/value.h"

namespace gui {

struct BrowseColumnDesc {
  std::string header;
  double width = 10;
};

struct ControlDesc {
  ControlKind kind = ControlKind::kText;
  std::string id;
  int parent = -1;  // index of the group box (or submenu) holding it; -1: the dialog
  Position pos;
  Size size;
  std::string caption;  // as given: "~Yes" and "&Test" mark access keys
  std::string toolTip;  // lines separated by '\n'
  std::string font;
  bool password = false;
  int displayWidth = 0;    // entry fields: characters shown (0: the value's width)
  int radioGroup = -1;     // radio buttons with the same number form one choice
  bool isDefault = false;  // the button that Enter presses
  std::vector<BrowseColumnDesc> columns;
};

// A button of the dialog's button row: the standard OK and Cancel and the custom buttons.
struct ButtonDesc {
  std::string id;       // DCGUI_BUTTON_OK, DCGUI_BUTTON_CANCEL, DCGUI_BUTTON_CUSTOM_n
  std::string caption;  // "OK", "Cancel", "~Yes"
  int width = 0;        // pixels; 0: natural
  int height = 0;
  std::string toolTip;
  bool isDefault = false;
};

struct DialogDesc {
  std::string title;
  // The drawing area of a main window (a child window in it), or null: a modal box.
  rt::ObjectRef parent;
  std::string font;               // the dialog's font; controls without a font of their own use it
  std::optional<int> foreground;  // window colours: palette codes (colors.h)
  std::optional<int> background;
  std::vector<ControlDesc> controls;
  std::vector<ButtonDesc> buttons;
};

struct ControlState {
  std::string text;                // entry field, editor, label: the text shown
  int maxLength = 0;               // entry field: the buffer width (0: unlimited)
  bool checked = false;            // check box, radio button
  int index = -1;                  // drop-down list: the entry shown (-1: none)
  std::vector<std::string> items;  // drop-down list entries
  bool enabled = true;
  bool hidden = false;

  friend bool operator==(const ControlState&, const ControlState&) = default;
};

// A change pushed to a shown dialog. With `values` false only the enabled and hidden states
// apply (the automatic re-evaluation after each event never overwrites what the user types).
struct ControlUpdate {
  int control = -1;
  bool values = false;
  ControlState state;
};

// What receives the focus: a control of the list or a button of the button row.
struct FocusTarget {
  int control = -1;
  int button = -1;
};

// Rows of a browse for the rows first .. first + cells.size() - 1.
struct BrowsePage {
  long first = 0;
  std::vector<std::vector<std::string>> cells;     // [row][column]
  std::vector<std::vector<std::string>> toolTips;  // [row][column], empty texts: none
  bool atEnd = false;  // the last row of the source is in this page (or there are no rows)
};

// The new value of a widget the user changed.
struct Edit {
  int control = -1;
  std::string text;      // entry field, editor
  bool checked = false;  // check box, radio button (true: chosen)
  int index = -1;        // drop-down list
};

struct Event {
  enum class Kind {
    kButton,       // a button of the button row (`button`)
    kPushButton,   // a push button control (`control`)
    kPicked,       // a drop-down list entry was picked (`control`; the edit holds it)
    kToggled,      // a check box was clicked
    kChosen,       // a radio button was chosen
    kFieldLeft,    // the focus left an edited entry field or editor
    kClosed,       // the user closed the window (close box, Escape)
    kCancelled,    // the program is closing: the dialog ends as cancelled
    kHotKey,       // a key bound on the dialog's thread was pressed (`code`)
    kBrowseFetch,  // rows first .. first + count - 1 of a browse are wanted
    kBrowseRow,    // the user selected row `first` of a browse
  };
  Kind kind = Kind::kClosed;
  int control = -1;
  int button = -1;
  int code = 0;
  long first = 0;
  long count = 0;
  int focus = -1;  // the control that had the focus, -1: none or a button
  std::vector<Edit> edits;
};

const char* eventKindName(Event::Kind kind);

}  // namespace gui
