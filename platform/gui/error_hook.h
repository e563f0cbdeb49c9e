// Default error processing with the GUI: what happens to an error that no handler takes.
//
// The hook shows the error alert (title "Error Warning") with the error's description, the
// operation and the file, from whichever thread raised the error (from a report thread the alert
// is a request to the GUI thread, and the thread waits for the answer); then it calls the
// registered callback that closes every thread's tables cleanly; then the runtime ends the
// program with status 1 (runtime/error.h).
//
// Thread safety: install once at start-up; the callback may be set from any thread.
#pragma once

#include <functional>
#include <string>

#include "runtime/error.h"

namespace gui {

// Installs the hook with rt::setDefaultErrorHook.
void installDefaultErrorHook();
// The callback that closes every thread's tables (the shell registers it).
void setCloseAllTablesCallback(std::function<void()> closeAll);
// The alert text of an error, lines separated by ";".
std::string errorAlertText(const rt::Error& e);

}  // namespace gui
