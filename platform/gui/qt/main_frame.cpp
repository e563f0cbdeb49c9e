#include "main_frame.h"

#include <vector>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include "qt_convert.h"

namespace gui::qt {

MainFrame::MainFrame(const MainWindowDesc& desc, std::function<void(int)> onMenu)
    : area_(new QMdiArea(this)), onMenu_(std::move(onMenu)) {
  setObjectName("MainWindow");
  setWindowTitle(qs(desc.title));
  setCentralWidget(area_);
  area_->setObjectName("DrawingArea");
  createMenus(desc);
  resize(desc.width, desc.height);
}

void MainFrame::createMenus(const MainWindowDesc& desc) {
  std::vector<QMenu*> menus(desc.menu.size(), nullptr);
  for (size_t i = 0; i < desc.menu.size(); ++i) {
    const ControlDesc& c = desc.menu[i];
    QMenu* parent = c.parent >= 0 ? menus[static_cast<size_t>(c.parent)] : nullptr;
    switch (c.kind) {
      case ControlKind::kSubMenu:
        menus[i] =
            parent ? parent->addMenu(caption(c.caption)) : menuBar()->addMenu(caption(c.caption));
        menus[i]->setObjectName(qs(c.id));
        break;
      case ControlKind::kMenuItem: {
        QAction* a = parent ? parent->addAction(caption(c.caption))
                            : menuBar()->addAction(caption(c.caption));
        a->setObjectName(qs(c.id.empty() ? c.caption : c.id));
        if (!c.toolTip.empty()) a->setToolTip(qs(c.toolTip));
        const int index = static_cast<int>(i);
        // The action runs from the event loop, after the menu has closed.
        connect(a, &QAction::triggered, this, [this, index] {
          QMetaObject::invokeMethod(
              this, [this, index] { onMenu_(index); }, Qt::QueuedConnection);
        });
        break;
      }
      case ControlKind::kMenuSeparator:
        if (parent) parent->addSeparator();
        break;
      default:
        break;
    }
  }
}

void MainFrame::closeEvent(QCloseEvent* e) {
  // Every dialog still open ends as cancelled before the window goes, so that the report
  // threads waiting in them run to their end and can be joined.
  backend()->cancelAll();
  QMainWindow::closeEvent(e);
  if (!e->isAccepted()) return;
  closed_ = true;
  if (onClosed_) onClosed_();
}

namespace {

void onGuiThread(std::function<void()> fn) {
  QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

}  // namespace

void QtDrawingArea::configure() {
  onGuiThread([h = handle_] {
    if (h->area) h->area->viewport()->update();
  });
}

QtWindow::QtWindow(MainFrame* frame)
    : handle_(std::make_shared<FrameHandle>()), area_(std::make_shared<QtDrawingArea>(handle_)) {
  handle_->frame = frame;
  handle_->area = frame->drawingArea();
}

QtWindow::~QtWindow() {
  // The frame is deleted by nothing but this, so the guarded pointer is still valid here (on any
  // thread), and deleteLater may be called from any thread.
  if (MainFrame* f = handle_->frame.data()) f->deleteLater();
}

void QtWindow::show() {
  MainFrame* f = frame();
  if (!f) return;
  if (!(f->windowState() & Qt::WindowMaximized)) {
    f->show();
    return;
  }
  f->showMaximized();
  // Without a window manager (a bare X server) nothing maximizes the window: a "maximized"
  // window still smaller than half the screen a moment later is given the screen by hand.
  QTimer::singleShot(200, f, [f] {
    const QRect screen = f->screen()->availableGeometry();
    if ((f->windowState() & Qt::WindowMaximized) &&
        f->frameGeometry().width() < screen.width() / 2) {
      f->setGeometry(screen);
    }
  });
}

void QtWindow::setFrameState(FrameState state) {
  MainFrame* f = frame();
  if (!f) return;
  switch (state) {
    case FrameState::kNormal:
      f->setWindowState(Qt::WindowNoState);
      break;
    case FrameState::kMaximized:
      f->setWindowState(Qt::WindowMaximized);
      break;
    case FrameState::kMinimized:
      f->setWindowState(Qt::WindowMinimized);
      break;
  }
}

void QtWindow::postClose() {
  onGuiThread([h = handle_] {
    if (h->frame) h->frame->close();
  });
}

}  // namespace gui::qt
