// SCRNPRNT: a picture of the program's window, put on the clipboard and printed; the action of
// the screen-print hot key (Alt+P) that start-up binds.
//
// The picture is the main window (the application window) with every child window open in it;
// before the main window exists, the window that has the focus. It is taken on the GUI thread
// and put on the clipboard there. It is then printed on the system's default printer, scaled to
// the page; when no printer is set up (or the printer cannot be started) a message says so, and
// the picture stays on the clipboard. Without a GUI (the scripted backend of tests) nothing is
// pictured and nothing is shown.
//
// Printing goes straight to the default printer until the program's print layer exists; the
// print layer will take this part over.
//
// Thread safety: any thread. From a report thread the picture is a request to the GUI thread
// that the report thread waits for (a bounded wait: a GUI that has gone answers nothing).
#pragma once

namespace tables {

void SCRNPRNT();

// Registers SCRNPRNT by name. Idempotent.
void registerScreenPrint();

}  // namespace tables
