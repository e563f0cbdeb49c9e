// Opening tables and index files by their Windows names.
//
// The system names tables the Windows way: bare ("mstrctrl"), with an extension ("APMSTRFL.DBF")
// or with a directory ("C:\vadnorel\tavolog"). A name is found as the classic runtime found it:
// in the default directory, then along the search path, each component without regard to case
// (platform/files); the host file found is then opened through the table engine.
//
// Every failure is raised as the runtime's error object (rt::raiseError) to the error handler in
// force: the table-opening routine with retries puts its own handler in force and turns the
// error into a break; elsewhere the default error processing reports it and ends the program.
// The error carries subsystem "DBFCDX", the operation ("open", "orderListAdd"), the Windows path
// of the file (as far as it is known) and the reason. Generic codes:
//
//   path layer: not found, not mapped, ambiguous,   kErrOpen (21)
//               not a directory, is a directory,
//               I/O error, too large
//   path layer: invalid path, configuration         kErrArgument (1)
//   engine:     kNotFound, kIOError, kNotSupported  kErrOpen (21)
//   engine:     kCorruption                         kErrCorruption (32)
//   engine:     kBusy (an exclusive use elsewhere)  kErrShared (37)
//   engine:     kInvalidArgument                    kErrArgument (1)
//   engine:     kReadOnly                           kErrReadOnly (39)
//   engine:     kFull                               kErrWrite (24)
//
// Thread safety: each function acts on the calling thread's work areas; the path settings are
// the process's (files::FileSystem::process()).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "dbe/area/work_area.h"
#include "dbe/io/status.h"
#include "files/status.h"

namespace tables {

// The generic error code of an engine status (see the table above); kErrNone for OK.
int genericCode(dbe::Status::Code code);
int genericCode(files::Error::Kind kind);

// Raises the runtime error for a failed engine status. `windowsName` names the file for the
// user when the status names none (or names it by its host path only).
[[noreturn]] void raiseTableError(const dbe::Status& status, std::string_view operation,
                                  std::string_view windowsName = {});
[[noreturn]] void raiseFileError(const files::Error& error, std::string_view operation);

// The host path of an existing table: `name` with ".DBF" added when it has no extension, found
// in the default directory, then along the search path. Raises on failure.
std::filesystem::path tableHostPath(std::string_view name);

// Opens the table `name` through options.driver ("FOXCDX") in `area` (0: the selected area,
// -1: the lowest free one) and selects it; the alias defaults to the name without directory and
// extension. The table's structural index opens with it when the table has one. Returns the
// area; raises on failure (nothing is left open then).
dbe::WorkArea& openTable(std::string_view name, const dbe::OpenOptions& options = {},
                         int area = 0);

// Adds the index file `cdxName` (".CDX" added when it has no extension; found like a table) to
// the orders of the selected area. Raises on failure, or when no table is open there.
void addIndex(std::string_view cdxName);

// Whether a file `name` is found in the default directory or along the search path. A missing
// file is false; a name that cannot be looked at (unmapped drive, ambiguous) raises.
bool fileExists(std::string_view name);

}  // namespace tables
