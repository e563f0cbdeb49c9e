// SCRNPRNT with the Qt backend on the offscreen platform: the picture of the main window lands
// on the clipboard, and without a printer the user is told so.
#include "screen_print.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTest>

#include "gui/control.h"
#include "gui/main_window.h"
#include "gui/qt/qt_backend.h"
#include "gui/thread_group.h"
#include "runtime/routines.h"

namespace tables {
namespace {

constexpr int kWait = 5000;  // ms: ends much sooner unless something is broken

class ScreenPrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = gui::setBackend(nullptr);
    gui::qt::useQtBackend();
    registerScreenPrint();
    menu_.addSubMenu("oMenu", "&Test");
    window_ = gui::createMainWindow(menu_, {});
    gui::setAppWindow(rt::Value(rt::ObjectRef(window_)));
    window_->show();
    QGuiApplication::clipboard()->clear();
  }
  void TearDown() override {
    threads_.joinAll();
    gui::setAppWindow(rt::Value());
    window_.reset();
    gui::setBackend(previous_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
  }

  static QWidget* visibleMessage() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() == "Message" && w->isVisible()) return w;
    }
    return nullptr;
  }

  gui::GetList menu_;
  std::shared_ptr<gui::Window> window_;
  gui::ThreadGroup threads_;
  std::shared_ptr<gui::Backend> previous_;
};

TEST_F(ScreenPrintTest, FromAReportThreadThePictureOfTheMainWindowGoesToTheClipboard) {
  if (!QPrinterInfo::defaultPrinter().isNull()) {
    GTEST_SKIP() << "a default printer is set up here; this test would print";
  }
  std::atomic<bool> done{false};
  threads_.start([&] {
    rt::call("SCRNPRNT");
    done = true;
  });
  // No printer: a message says so and that the picture is on the clipboard.
  ASSERT_TRUE(QTest::qWaitFor([] { return visibleMessage() != nullptr; }, kWait));
  QWidget* box = visibleMessage();
  QString shown;
  for (QLabel* l : box->findChildren<QLabel*>()) shown += l->text() + "\n";
  EXPECT_TRUE(shown.contains("No printer is set up.")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("clipboard")) << shown.toStdString();

  const QImage picture = QGuiApplication::clipboard()->image();
  QMainWindow* frame = gui::qt::mainWindowWidget(*window_);
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), frame->grab().size());

  QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
  ASSERT_FALSE(buttons.empty());
  QTest::mouseClick(buttons.front(), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, kWait));
}

}  // namespace
}  // namespace tables
