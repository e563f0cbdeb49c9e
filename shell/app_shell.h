// The application shell: start-up (Main), the start-up hook (AppSys), the main window's drawing
// area set-up (Bitmapconfig) and the child-window runner (MDIBlock), with the session-wide
// variables that start-up declares.
//
// Main runs on the program's main thread, which is the GUI thread: it fixes the session's table
// and date settings, declares the session-wide variables and gives them their start values,
// builds the "FOXCDX" table engine, reads the master control table, binds the screen-print hot
// key and runs the main window until it closes. Its menu "&Test" offers "Test Program", which
// hands the call VENDORPO("A") to MDIBlock, and "Exit", which closes the window.
//
// Report threads: MDIBlock runs its callable on a thread of its own (reportThreads()). The
// thread starts with the calling thread's table and date settings (deleted records hidden, soft
// seek, default sharing, date format, two-digit-year window, century display), because those
// settings are per thread and a report that forgot one would, for instance, list deleted
// vendors; the default directory and the search path belong to the process and are the same
// everywhere. Hot-key bindings are not copied: the screen-print key is the main thread's. The
// thread catches the break that ends a report (SetTagOrder's stop) and closes its own tables
// however it ends. When the main window closes, every dialog still open ends as cancelled and
// Main joins the report threads while the GUI keeps running; then it returns.
//
// Thread safety: Main, AppSys and Bitmapconfig on the main thread; MDIBlock from any thread
// (the menu calls it on the main thread); reportThreads() and closeTablesEverywhere() from any.
#pragma once

#include <span>
#include <string_view>

#include "gui/thread_group.h"
#include "runtime/value.h"

namespace shell {

// The data directory on the current drive: default directory and search path of the session.
inline constexpr std::string_view kDataDirectory = "\\vadnorel";

// The session-wide variables start-up declares, in the order of declaration (oAppWindow and
// qprcode are declared later in start-up than the rest, but listed here in their place).
std::span<const std::string_view> sessionVariableNames();

// The start-up hook: the runtime calls it before Main, and Main once more. The program is a GUI
// application, so it creates no console window.
void AppSys();

// Start-up and the main window, until the window closes and the report threads have ended.
// Errors it does not catch (the master control table missing, a field missing) go to the error
// handler in force, which at the program's start is the default error processing.
void Main();

// Turns on the size-redraw switch of the drawing area of `oDialog` (a main window object) and
// applies it. Anything that is not a window with a drawing area is left alone.
void Bitmapconfig(const rt::Value& oDialog);

// Closes the calling thread's tables, starts `bAction` (a callable without parameters) on a
// report thread with the calling thread's table and date settings, closes the calling thread's
// tables again and returns at once. Work area 1 is selected in the caller afterwards.
void MDIBlock(const rt::Value& bAction);

// The report threads that MDIBlock started.
gui::ThreadGroup& reportThreads();

// The close-all-tables step of the default error processing: closes the calling thread's
// tables, ends every open dialog as cancelled and waits (a bounded wait, the GUI kept running)
// for the other report threads to end, each of which closes its own tables on its way out. The
// main thread holds only the master control table, which it reads and never writes, so a report
// thread's error leaves nothing of the main thread unwritten.
void closeTablesEverywhere();

// Registers Main, AppSys, Bitmapconfig and MDIBlock by name, with the table-access routines
// start-up relies on (SCRNPRNT, SetTagOrder). Idempotent.
void registerShellRoutines();

// A setting of the runtime given by number (start-up sets option 41 to 2); nil when never set.
// No behaviour of the program depends on these.
rt::Value runtimeOption(int number);

}  // namespace shell
