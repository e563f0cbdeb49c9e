// The dialog run: the library's read of a control list (readGui) and the calls made while it
// runs (readGuiEvent, getRefresh, readVar).
//
// readGui runs ON THE CALLING THREAD. It evaluates the control list there (values, enabled and
// hidden states, list entries), asks the process's backend to show the dialog, and then blocks
// in a loop that takes the dialog's events from its own queue, one at a time:
//
//   1. the new values the event carries (the widgets the user changed since the last event) are
//      written into the bound variables or accessors;
//   2. the event's callable runs: the button's or the control's action, the hot key's binding,
//      a browse's page of rows;
//   3. the enabled and hidden conditions of every control are evaluated again and changes are
//      pushed to the widgets (values are pushed only by getRefresh, so that a procedure decides
//      when what it assigned shows).
//
// What the user typed in a field reaches its variable when the field is left, when any other
// event happens, and when the dialog is confirmed; choices (radio buttons, check boxes,
// drop-down lists) reach it at once. A cancel does not write what is still being typed, and it
// undoes nothing that was written before.
//
// A dialog ends confirmed by the OK button or by readGuiEvent(kEventConfirm) from an action,
// after every enabled and visible entry field with a validation accepts its value (a refusal
// keeps the dialog open with the focus on that field). It ends cancelled by the Cancel button,
// readGuiEvent(kEventCancel), the window's close box or Escape, or the program's closing.
//
// Hot keys: while the library's hot keys are on (hot_keys.h), a key that the dialog's thread
// has bound (rt::setKey) is forwarded to that thread and its binding runs there; when the binding
// leaves Ctrl+W in the thread's keyboard buffer (the read-exit keys F10 and F1 do), the current
// entry ends: the field's edited value is written and the focus moves to the next control.
//
// A callable that raises an error or a break ends the dialog (its window closes) and the error
// or break leaves readGui.
//
// Thread safety: readGui runs on the calling thread and may nest (an action may run another
// dialog); readGuiEvent and getRefresh act on the calling thread's running dialogs only.
#pragma once

#include <string>
#include <vector>

#include "control.h"
#include "runtime/value.h"

namespace gui {

// Button set codes of readGui: the standard OK and Cancel buttons.
inline constexpr int kButtonsNone = 0;
inline constexpr int kButtonsOk = 1;
inline constexpr int kButtonsCancel = 2;
inline constexpr int kButtonsOkCancel = 3;

// Event codes of readGuiEvent.
inline constexpr int kEventConfirm = 6;
inline constexpr int kEventCancel = 5;

// A button of the dialog's button row besides OK and Cancel; the n-th has the identity
// "DCGUI_BUTTON_CUSTOM_n". Its action runs on the dialog's thread.
struct CustomButton {
  std::string caption;  // "~Yes": Y is the access key
  rt::Value action;
  int width = 0;  // pixels; 0: natural
  int height = 0;
  std::string toolTip;
};

struct ReadGuiOptions {
  std::string title;
  // A main window's drawing area (or the main window itself): the dialog opens as a child
  // window inside it. Anything else (nil, false): a modal box.
  rt::Value parent;
  int buttons = kButtonsNone;
  std::vector<CustomButton> customButtons;
  // Identifier of the control or button that has the focus at the start ("VDSECCD",
  // "DCGUI_BUTTON_CUSTOM_2"); empty: the first control that takes input.
  std::string focus;
  rt::Value colours;  // window colours {foreground, background} (colors.h)
  std::string font;   // the dialog's font; empty: the toolkit's
};

// Runs the dialog; true when it was confirmed. A list that is already running, or a backend that
// is closing, gives false at once.
bool readGui(GetList& list, const ReadGuiOptions& options);

// Ends the calling thread's innermost running dialog as confirmed (kEventConfirm) or cancelled
// (kEventCancel) once the running action returns; false when no dialog runs on this thread.
bool readGuiEvent(int event);

// Reads every bound value of the list again, evaluates every enabled and hidden condition, and
// pushes all of it to the widgets; browses start again from their first row. Does nothing when
// the list is not running on this thread.
void getRefresh(GetList& list);

// Writes into the bound variables what the user has typed but not yet left. Does nothing when
// the list is not running on this thread.
void readVar(GetList& list);

// The library's conversion of a list of tuples into parallel lists: {{"a", 1}, {"b", 2}} gives
// {{"a", "b"}, {1, 2}}. Tuples shorter than the first leave nil in the missing places.
rt::Value aConvert(const rt::Value& tuples);

}  // namespace gui
