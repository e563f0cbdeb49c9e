// The Qt 6 backend of the dialog library.
//
// Start-up makes it the process's backend on the GUI thread (the main thread, once the
// QApplication exists):
//
//   QApplication app(argc, argv);
//   gui::qt::useQtBackend();
//   ... gui::runMainWindow(menu, options);   // the main window, until it closes
//   reports.joinAll();                        // report threads, while the GUI keeps running
//
// From then on dialogs run by report threads open as child windows of the main window's drawing
// area (a QMdiArea) or as modal boxes; their threads wait in their own run loops while the GUI
// thread only renders and forwards events (dialog_run.h, backend.h). The QApplication must
// outlive every thread that may still show a dialog: join them first.
//
// Thread safety: useQtBackend on the GUI thread; the accessors on the GUI thread.
#pragma once

#include "gui/backend.h"

class QMainWindow;
class QMdiArea;
class QWidget;

namespace gui::qt {

// REQUIRES: a QApplication exists and this is its thread. Also registers the library's routines
// (messages.h).
void useQtBackend();

// The widgets behind the library's window objects (tests, and code that embeds them), or null.
QMainWindow* mainWindowWidget(const Window& window);
QMdiArea* drawingAreaWidget(const rt::ObjectRef& area);

}  // namespace gui::qt
