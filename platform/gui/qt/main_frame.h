// The main window of the Qt backend: a QMainWindow with the menu bar built from the menu entries
// and a QMdiArea as its drawing area, and the window objects the system's code holds
// (gui::Window, gui::DrawingArea).
//
// Thread safety: MainFrame lives on the GUI thread. QtWindow and QtDrawingArea may be held and
// released by any thread; their members say where they may be called (backend.h).
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QMainWindow>
#include <QPointer>

#include "gui/backend.h"

class QMdiArea;

namespace gui::qt {

class MainFrame : public QMainWindow {
 public:
  MainFrame(const MainWindowDesc& desc, std::function<void(int)> onMenu);
  QMdiArea* drawingArea() const { return area_; }
  // Called once the window has closed (the run of the main window ends).
  void setOnClosed(std::function<void()> fn) { onClosed_ = std::move(fn); }
  bool hasClosed() const { return closed_; }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void createMenus(const MainWindowDesc& desc);

  QMdiArea* area_;
  std::function<void(int)> onMenu_;
  std::function<void()> onClosed_;
  bool closed_ = false;
};

// The window objects outlive neither the application nor need the backend: requests from other
// threads go to the application object's thread (the GUI thread), and the widgets are reached
// through guarded pointers that only the GUI thread reads.
struct FrameHandle {
  QPointer<MainFrame> frame;
  QPointer<QMdiArea> area;
};

class QtDrawingArea : public DrawingArea {
 public:
  explicit QtDrawingArea(std::shared_ptr<FrameHandle> handle) : handle_(std::move(handle)) {}
  void setSizeRedraw(bool on) override { sizeRedraw_ = on; }
  bool sizeRedraw() const override { return sizeRedraw_; }
  void configure() override;
  // GUI thread only: the area, null once it is gone.
  QMdiArea* widget() const { return handle_->area; }

 private:
  std::shared_ptr<FrameHandle> handle_;
  std::atomic<bool> sizeRedraw_{false};
};

class QtWindow : public Window {
 public:
  explicit QtWindow(MainFrame* frame);
  ~QtWindow() override;
  void show() override;
  void setFrameState(FrameState state) override;
  void postClose() override;
  rt::ObjectRef drawingArea() const override { return area_; }
  // GUI thread only: the frame, null once it is gone.
  MainFrame* frame() const { return handle_->frame; }

 private:
  std::shared_ptr<FrameHandle> handle_;
  std::shared_ptr<QtDrawingArea> area_;
};

}  // namespace gui::qt
