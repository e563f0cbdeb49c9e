#include "screen_print.h"

#include <chrono>
#include <future>
#include <memory>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include "gui/backend.h"
#include "gui/main_window.h"
#include "gui/messages.h"
#include "gui/qt/qt_backend.h"
#include "runtime/routines.h"

namespace tables {

namespace {

// A GUI thread that does not answer within this time has gone (the program is ending).
constexpr auto kGuiAnswerWait = std::chrono::seconds(10);

bool haveGui() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

bool onGuiThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// GUI thread: the picture of the program's window, also put on the clipboard.
QImage pictureToClipboard() {
  QWidget* window = nullptr;
  const rt::Value app = gui::appWindow();
  if (app.isObject()) {
    if (auto* w = dynamic_cast<gui::Window*>(app.object().get())) {
      window = gui::qt::mainWindowWidget(*w);
    }
  }
  if (window == nullptr) window = QApplication::activeWindow();
  QImage image;
  if (window != nullptr) {
    image = window->grab().toImage();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    image = screen->grabWindow(0).toImage();
  }
  if (!image.isNull()) QGuiApplication::clipboard()->setImage(image);
  return image;
}

QImage takePicture() {
  if (onGuiThread()) return pictureToClipboard();
  auto done = std::make_shared<std::promise<QImage>>();
  std::future<QImage> answer = done->get_future();
  QMetaObject::invokeMethod(
      qApp, [done] { done->set_value(pictureToClipboard()); }, Qt::QueuedConnection);
  if (answer.wait_for(kGuiAnswerWait) != std::future_status::ready) return {};
  return answer.get();
}

// The picture on one page of the default printer, as large as the page allows. Returns the
// reason when it could not be printed, empty on success.
std::string printPicture(const QImage& image) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return "No printer is set up.";
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setDocName("Screen print");
  printer.setPageOrientation(image.width() > image.height() ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait);
  QPainter painter;
  if (!painter.begin(&printer)) {
    return "The printer " + info.printerName().toStdString() + " could not be started.";
  }
  const QRect page = painter.viewport();
  QSize size = image.size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x(), page.y(), size.width(), size.height());
  painter.setWindow(image.rect());
  painter.drawImage(0, 0, image);
  if (!painter.end()) {
    return "The printer " + info.printerName().toStdString() + " did not take the picture.";
  }
  return {};
}

}  // namespace

void SCRNPRNT() {
  if (!haveGui() || gui::backend()->closing()) return;
  const QImage image = takePicture();
  if (image.isNull()) return;
  const std::string problem = printPicture(image);
  if (!problem.empty()) {
    gui::guiAlert(problem + ";The picture of the window is on the clipboard.", {}, rt::Value(),
                  "Screen Print");
  }
}

void registerScreenPrint() {
  rt::registerRoutine("SCRNPRNT", [](rt::Args&) {
    SCRNPRNT();
    return rt::Value();
  });
}

}  // namespace tables
