// SetTagOrder: makes a named tag the controlling order of the current table, and stops the
// current work with a message when the tag does not exist.
//
// A missing tag is a broken installation (an index file rebuilt without one of its tags), not a
// condition a caller can work around, so callers do not test the result: the check either
// passes or the work ends. The end is a break (rt::Break) after every table of the thread has
// been closed and work area 1 selected; it unwinds to the innermost recovery point, which for a
// report is the top of its thread (the child-window runner). Where nobody catches it, the
// program ends, as the message says.
//
// Also registered by name ("SetTagOrder") through registerTableRoutines().
//
// Thread safety: acts on the calling thread's work areas; the alert is shown from any thread.
#pragma once

#include <string>

namespace tables {

// On the table of the selected work area: sets the controlling tag to `cOrder` and checks that
// a tag whose upper-case name begins with upper(`cOrder`) is now in control (so an empty
// `cOrder` always passes). Returns true then. Otherwise: closes the calling thread's wait window
// if one is open, shows the error alert "Tag <cOrder> is missing from <cIndex>.;Program will be
// Terminated", closes every table of the thread, selects work area 1 and throws rt::Break.
bool SetTagOrder(const std::string& cOrder, const std::string& cIndex);

// Registers the table-access routines by name: SetTagOrder, with the dialog library's routines
// it calls by name (DC_WaitOnObject, DC_IMPL, DC_GUIALERT). Idempotent.
void registerTableRoutines();

}  // namespace tables
