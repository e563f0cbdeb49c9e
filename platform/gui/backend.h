// Backend: what shows dialogs, messages and the main window. One process-wide backend, chosen at
// start-up: the Qt one (platform/gui/qt) for the program, the scripted one (scripted_backend.h)
// for tests.
//
// The system's procedures never talk to a backend: they call readGui, guiAlert, runMainWindow
// (dialog_run.h, messages.h, main_window.h), which evaluate every callable on the calling thread
// and hand the backend plain data (dialog_desc.h).
//
// Threads: dialogs, messages and wait windows may be asked for from any thread; a backend with a
// GUI thread queues such requests to it and the calling thread waits for its own events or for
// the answer, never the GUI thread for a report thread. The main window is created and run on
// the GUI thread (the program's main thread). Once the backend is closing (the main window has
// closed), every open dialog ends as cancelled and every new dialog or message is answered at
// once as cancelled, so that report threads run to their end and can be joined.
//
// Thread safety: setBackend is for start-up and tests (no dialog may be running); backend() may
// be called from any thread; each member says from where it may be called.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog_desc.h"
#include "event_queue.h"
#include "runtime/value.h"

namespace gui {

// A shown dialog, as its thread sees it. Created by Backend::openDialog; every member is called
// on the dialog's thread only.
class DialogView {
 public:
  virtual ~DialogView() = default;
  // Takes the next event, waiting for it (a backend whose GUI runs on this thread pumps it).
  virtual Event nextEvent() = 0;
  virtual void update(const std::vector<ControlUpdate>& updates) = 0;
  virtual void setFocus(FocusTarget target) = 0;
  // Moves the focus to the next control that takes input, after `control`.
  virtual void focusNext(int control) = 0;
  // The key codes (runtime numbering, runtime/keys.h) to forward as kHotKey events.
  virtual void setHotKeys(const std::vector<int>& codes) = 0;
  virtual void browseRows(int control, const BrowsePage& page) = 0;
  // Forgets the rows of a browse; it asks for its first page again.
  virtual void browseReset(int control) = 0;
  // The values of widgets changed since the last event, without waiting for one.
  virtual std::vector<Edit> collectEdits() = 0;
  // Ends the dialog's window. Called once; also safe when the GUI closed the window already.
  virtual void close() = 0;
};

// A message box of any of the library's kinds.
struct MessageSpec {
  enum class Kind {
    kAlert,       // the library's alert: title, lines, buttons, colour, fonts
    kStartAlert,  // the runtime's modal alert of start-up: lines and buttons, no title
    kMsgBox,      // a message that may close by itself after `timeoutSeconds`
    kWinAlert,    // one text, closed by Enter or OK
    kMessageBox,  // the platform's plain message box with options
  };
  Kind kind = Kind::kAlert;
  std::string title;
  std::vector<std::string> lines;
  std::vector<std::string> buttons;  // never empty
  std::string textFont;
  std::string buttonFont;
  std::optional<int> accent;  // the alert's colour code
  std::optional<int> foreground;
  std::optional<int> background;
  double timeoutSeconds = 0;  // 0: until the user closes it
};

// Answer of a message the program's closing cut short.
inline constexpr int kAnswerCancelled = -1;

// A window the library opened for the program: the main window or a wait window.
class Window : public rt::Object {
 public:
  enum class FrameState { kNormal, kMaximized, kMinimized };
  std::string className() const override { return "Window"; }
  // GUI thread only.
  virtual void show() = 0;
  virtual void setFrameState(FrameState state) = 0;
  // Any thread: asks the window to close, as when the user closes it.
  virtual void postClose() = 0;
  // Any thread: the drawing area that child windows open in (null when the window has none).
  virtual rt::ObjectRef drawingArea() const = 0;
};

// The client region of a main window in which dialogs open as child windows.
class DrawingArea : public rt::Object {
 public:
  std::string className() const override { return "DrawingArea"; }
  // Any thread. The size-redraw switch repaints the whole area after every change of size;
  // configure applies changed settings.
  virtual void setSizeRedraw(bool on) = 0;
  virtual bool sizeRedraw() const = 0;
  virtual void configure() = 0;
};

// A wait window ("Please Wait While Creating Email"); closes when close() is called.
class WaitWindow : public rt::Object {
 public:
  std::string className() const override { return "WaitWindow"; }
  virtual void close() = 0;  // any thread; a second call does nothing
};

struct MainWindowDesc {
  std::string title;
  int width = 400;  // restored size in pixels
  int height = 300;
  std::vector<ControlDesc> menu;  // kSubMenu, kMenuItem and kMenuSeparator entries
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Any thread. Shows a dialog; its events go to `queue`. A closing backend pushes kCancelled.
  virtual std::unique_ptr<DialogView> openDialog(const DialogDesc& desc,
                                                 const std::vector<ControlState>& states,
                                                 std::shared_ptr<EventQueue> queue) = 0;
  // Any thread; blocks the caller until the message is answered. Returns the 1-based button,
  // 0 when the box was closed without one (or closed by itself), kAnswerCancelled when the
  // program is closing.
  virtual int showMessage(const MessageSpec& spec) = 0;
  // Any thread; does not wait.
  virtual std::shared_ptr<WaitWindow> openWait(const std::string& text) = 0;

  // GUI thread. Creates the main window (not shown); `onMenu(i)` runs on the GUI thread when the
  // user chooses the menu entry desc.menu[i].
  virtual std::shared_ptr<Window> createMainWindow(const MainWindowDesc& desc,
                                                   std::function<void(int)> onMenu) = 0;
  // GUI thread. Runs the GUI until `window` has closed.
  virtual void runUntilClosed(Window& window) = 0;
  // Runs the GUI (when called on the GUI thread) until `done` returns true; other threads wait.
  virtual void pumpUntil(const std::function<bool()>& done) = 0;
  // Any thread: makes a pumpUntil look at its condition again.
  virtual void wake() = 0;

  // Ends every open dialog and message as cancelled and answers later ones at once (the main
  // window has closed). Any thread.
  virtual void cancelAll() = 0;
  virtual bool closing() const = 0;
};

// The process's backend; a scripted backend with an empty script when none was set (every
// dialog then ends as closed, every alert with its last button).
std::shared_ptr<Backend> backend();
// Replaces the backend and returns the previous one. Start-up and tests only.
std::shared_ptr<Backend> setBackend(std::shared_ptr<Backend> b);

}  // namespace gui
