// QtBackend: the Backend on Qt widgets (internal to the Qt backend; the program reaches it
// through useQtBackend(), qt_backend.h).
//
// Threads: the backend is created on the GUI thread, which owns every widget. A call from
// another thread is posted to the GUI thread (a queued invocation on an object that lives there)
// and the calling thread waits only for its own events or for an answer (a std::future),
// never the GUI thread for it. A call made on the GUI thread runs directly; a dialog run there
// pumps the GUI while it waits for its events.
//
// Thread safety: post, runOnGui, wake, closing, cancelAll and the Backend members may be called
// from any thread; the registry members only on the GUI thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QPointer>

#include "gui/backend.h"

class QObject;
class QThread;
class QWidget;
class QDialog;

namespace gui::qt {

class DialogWidget;
class KeyFilter;
class MessageDialog;

class QtBackend : public Backend {
 public:
  // REQUIRES: a QApplication exists and this is its thread.
  QtBackend();
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  std::unique_ptr<DialogView> openDialog(const DialogDesc& desc,
                                         const std::vector<ControlState>& states,
                                         std::shared_ptr<EventQueue> queue) override;
  int showMessage(const MessageSpec& spec) override;
  std::shared_ptr<WaitWindow> openWait(const std::string& text) override;
  std::shared_ptr<Window> createMainWindow(const MainWindowDesc& desc,
                                           std::function<void(int)> onMenu) override;
  void runUntilClosed(Window& window) override;
  void pumpUntil(const std::function<bool()>& done) override;
  void wake() override;
  void cancelAll() override;
  bool closing() const override { return closing_; }

  bool onGuiThread() const;
  // Queues `fn` to the GUI thread; it is dropped if the backend goes first.
  void post(std::function<void()> fn);
  // Runs `fn` now when on the GUI thread, else queues it.
  void runOnGui(std::function<void()> fn);

  // ---- GUI thread ----
  void addDialog(DialogWidget* d);
  // The widget of the application window (messages and wait windows open over it), or null.
  QWidget* appWidget() const;

 private:
  QThread* guiThread_;
  QObject* bridge_;  // lives on the GUI thread; target of every posted call
  KeyFilter* keyFilter_;
  std::atomic<bool> closing_{false};
  std::vector<QPointer<DialogWidget>> dialogs_;
  std::vector<QPointer<QDialog>> messages_;
  std::vector<QPointer<QWidget>> waits_;
};

}  // namespace gui::qt
