// Messages: the library's alert and message boxes, the wait window, and the runtime's modal
// alert of start-up.
//
// Every text breaks lines at ";". Each call blocks the calling thread until the box is answered
// (a wait window does not block). From a report thread the box is a request queued to the GUI
// thread and the report thread waits for the answer; on the GUI thread the box runs directly.
// Once the program is closing (the main window has closed) every box is answered at once: an
// alert with its last button (by the suite's convention the button that gives up: Quit, Cancel),
// a message box with 0, so that retry loops end and report threads reach their end.
//
// Thread safety: any thread. The alert colours are process-wide; the wait windows a thread
// opened are that thread's (waitOnObject answers the calling thread's).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace gui {

// The library's alert: the text under `title`, one button per caption (none given: one "OK"),
// `colour` a palette code marking the alert (nil: none), `fonts` {text font, button font}.
// Returns the 1-based number of the button pressed; closing the box (close box, Escape) answers
// with the last button.
int guiAlert(std::string_view text, const std::vector<std::string>& buttons = {},
             const rt::Value& colour = {}, std::string_view title = {},
             const std::vector<std::string>& fonts = {});

// Sets the colours {foreground, background} of the text of every later alert (nil or a
// non-array: the defaults).
void guiAlertColor(const rt::Value& colours);

// The library's message box: the lines of `message` (an array of texts, or one text), with an
// OK button. `wait` is the number of seconds after which the box closes by itself; nil, zero or
// a negative number: it stays until the user closes it.
void msgBox(const rt::Value& message, const rt::Value& wait = {}, std::string_view title = {});

// The library's window alert: one text, closed by Enter or its OK button.
void winAlert(std::string_view text, std::string_view title = {});

// The platform's plain message box: the text with one button per option (none given: "OK").
// Returns the 1-based option chosen, 0 when the box was closed without a choice.
int messageBox(std::string_view text, std::string_view title = {},
               const std::vector<std::string>& options = {});

// The runtime's modal alert, as start-up uses it before the main window exists: the text and
// one button per caption (none: "OK"); returns the 1-based button, the last one when closed.
int alert(std::string_view text, const std::vector<std::string>& buttons = {});

// Opens the wait window over the application window and returns its handle array
// {window object, text}. Does not wait.
rt::Value waitOn(std::string_view text);
// Closes the window of a handle that waitOn returned (or a window object); anything else is
// ignored.
void impl(const rt::Value& handle);
// The handle of the wait window the calling thread opened last and has not closed, or nil.
rt::Value waitOnObject();

// Registers the library's routines that the system calls by name: DC_WaitOnObject, DC_IMPL,
// DC_GUIALERT (its eight arguments), DC_MSGBOX, DC_WINALERT. Idempotent.
void registerRoutines();

}  // namespace gui
