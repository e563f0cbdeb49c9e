// The main window: a frame with a menu bar and a drawing area in which dialogs open as child
// windows, built from the menu entries of a control list and run until it closes.
//
// The main window lives on the GUI thread, which is the program's main thread: its menu actions
// run there, directly. An action that starts long work hands it to a thread of its own
// (thread_group.h) and returns, so that the window keeps answering. When the window closes,
// every dialog still open anywhere ends as cancelled and every later dialog or message is
// answered at once (backend.h); the owner of the report threads then joins them while the GUI
// keeps pumping (ThreadGroup::joinAll).
//
// Thread safety: createMainWindow and runMainWindow on the GUI thread only; the application
// window slot may be read and set from any thread.
#pragma once

#include <memory>
#include <string>

#include "backend.h"
#include "control.h"
#include "runtime/value.h"

namespace gui {

struct MainWindowOptions {
  std::string title;  // empty: the platform's choice
  int width = 400;    // restored size, pixels
  int height = 300;
  // Called on the GUI thread with the window object once the window exists, before it shows
  // (the start-up's creation hook). The window shows afterwards if the hook did not show it.
  rt::Value onCreate;
};

// Creates the main window from the kSubMenu, kMenuItem and kMenuSeparator entries of `list` and
// calls the creation hook; the window is not run. The menu actions are copied: the list may be
// emptied afterwards.
std::shared_ptr<Window> createMainWindow(const GetList& list, const MainWindowOptions& options);

// Creates the main window and runs it until it closes; then every open dialog is cancelled.
void runMainWindow(const GetList& list, const MainWindowOptions& options);

// The application window (the window that wait windows and messages open over); nil at start.
void setAppWindow(const rt::Value& window);
rt::Value appWindow();

}  // namespace gui
