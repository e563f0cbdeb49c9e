// Main with the Qt backend on the offscreen platform: the real main window, its menu, reports
// in child windows on their own threads, and the window's closing.
#include "app_shell.h"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>

#include <QAction>
#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "dbe/area/work_area.h"
#include "gui/backend.h"
#include "gui/control.h"
#include "gui/dialog_run.h"
#include "gui/hot_keys.h"
#include "gui/main_window.h"
#include "gui/qt/qt_backend.h"
#include "runtime/keys.h"
#include "runtime/routines.h"
#include "runtime/variables.h"
#include "tables/open_table.h"
#include "tables/test_drive.h"

namespace shell {
namespace {

using rt::Value;

constexpr int kWait = 5000;  // ms: ends much sooner unless something is broken

// What one run of the test's VENDORPO saw.
struct ReportSeen {
  std::string arg;
  bool confirmed = false;
  std::string privateAfter;   // its own private variable after the dialog
  bool tableStillOpen = false;  // its own table after the dialog (and the other report's start)
};

class ShellQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (QWidget* w : QApplication::topLevelWidgets()) before_.insert(w);
    previous_ = gui::setBackend(nullptr);
    gui::qt::useQtBackend();
    rt::sessionClearForTest();
    registerShellRoutines();
    tables::TestDrive::loadEngine();
    drive_.table("MSTRCTRL.DBF", {{"USEDISP", 'C', 1, 0}, {"SPEC204", 'C', 10, 0}},
                 {{Value("Y"), Value("")}});
    dbe::dbeResetForTest();
    rt::registerRoutine("VENDORPO", [this](rt::Args& a) { return report(rt::arg(a, 0)); });
  }
  void TearDown() override {
    reportThreads().joinAll();
    (void)dbe::workspace::closeAll();
    rt::setKey(rt::kKeyAltP, Value());
    gui::setKeyActive(false);
    gui::setAppWindow(Value());
    rt::sessionClearForTest();  // oMainDialog and oAppWindow hold the window
    gui::setBackend(previous_);
    tables::TestDrive::loadEngine();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (before_.count(w) == 0) ADD_FAILURE() << "top-level widget left: " << w->objectName().toStdString();
    }
  }

  // The test's report: its own private and table, and a child window until it is answered.
  Value report(const Value& arg) {
    const int n = ++started_;
    rt::PrivateFrame frame;
    frame.declare("cWho", "report " + std::to_string(n));
    tables::openTable("mstrctrl");
    gui::GetList list;
    list.addGet({1, 1}, gui::Binding::variable("cWho"), 20).withId("cWho");
    gui::ReadGuiOptions o;
    o.title = "Vendor Master File " + std::to_string(n);
    auto w = std::dynamic_pointer_cast<gui::Window>(rt::var("oMainDialog").object());
    o.parent = Value(w->drawingArea());
    o.buttons = gui::kButtonsOkCancel;
    ReportSeen seen;
    seen.arg = arg.text();
    seen.confirmed = gui::readGui(list, o);
    seen.privateAfter = rt::var("cWho").text();
    seen.tableStillOpen = dbe::workspace::area(1) != nullptr;
    std::lock_guard lock(mu_);
    seen_[n] = seen;
    return Value();
  }

  static QMainWindow* frame() {
    const Value app = gui::appWindow();
    if (!app.isObject()) return nullptr;
    auto w = std::dynamic_pointer_cast<gui::Window>(app.object());
    return w ? gui::qt::mainWindowWidget(*w) : nullptr;
  }
  static QAction* menuItem(const QString& text) {
    for (QAction* top : frame()->menuBar()->actions()) {
      if (top->menu() == nullptr) continue;
      for (QAction* a : top->menu()->actions()) {
        if (a->text() == text) return a;
      }
    }
    return nullptr;
  }
  static QMdiSubWindow* child(const QString& title) {
    QMdiSubWindow* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
          for (QMdiSubWindow* s : frame()->findChild<QMdiArea*>()->subWindowList()) {
            if (s->windowTitle() == title) found = s;
          }
          return found != nullptr;
        },
        kWait);
    return found;
  }

  // Runs Main with `drive` called from the main window's event loop once the window exists.
  void runMain(std::function<void()> drive) {
    QTimer::singleShot(0, [drive] {
      ASSERT_TRUE(QTest::qWaitFor([] { return frame() != nullptr; }, kWait));
      drive();
    });
    Main();
  }

  tables::TestDrive drive_;
  std::atomic<int> started_{0};
  std::mutex mu_;
  std::map<int, ReportSeen> seen_;

 private:
  std::shared_ptr<gui::Backend> previous_;
  std::set<QWidget*> before_;
};

TEST_F(ShellQtTest, TheMenuHoldsTestWithItsTwoItemsAndExitEndsMain) {
  bool driven = false;
  runMain([&] {
    QMainWindow* f = frame();
    EXPECT_TRUE(f->windowState() & Qt::WindowMaximized);
    QStringList top;
    for (QAction* a : f->menuBar()->actions()) top << a->text();
    EXPECT_EQ(top, QStringList{"&Test"});
    QStringList items;
    for (QAction* a : f->menuBar()->actions().at(0)->menu()->actions()) items << a->text();
    EXPECT_EQ(items, (QStringList{"Test Program", "Exit"}));
    driven = true;
    menuItem("Exit")->trigger();
  });
  // Main returned: the window closed by the menu.
  EXPECT_TRUE(driven);
  EXPECT_TRUE(gui::backend()->closing());
  EXPECT_EQ(started_, 0);
}

TEST_F(ShellQtTest, TwoReportsRunSideBySideWhileTheMainWindowKeepsAnswering) {
  runMain([&] {
    EXPECT_EQ(dbe::workspace::openCount(), 1);  // the master control table of start-up
    menuItem("Test Program")->trigger();
    QMdiSubWindow* first = child("Vendor Master File 1");
    ASSERT_NE(first, nullptr);
    // The menu action came back at once: we are in the main window's events again while the
    // report runs, and the control table of the main thread is closed.
    EXPECT_EQ(reportThreads().running(), 1u);
    EXPECT_EQ(dbe::workspace::openCount(), 0);

    menuItem("Test Program")->trigger();
    QMdiSubWindow* second = child("Vendor Master File 2");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(frame()->findChild<QMdiArea*>()->subWindowList().size(), 2);
    EXPECT_EQ(reportThreads().running(), 2u);

    bool ticked = false;
    QTimer::singleShot(10, [&] { ticked = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticked; }, kWait));

    QTest::mouseClick(second->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
    QTest::mouseClick(first->findChild<QPushButton*>("DCGUI_BUTTON_OK"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([] { return reportThreads().running() == 0; }, kWait));
    menuItem("Exit")->trigger();
  });
  ASSERT_EQ(seen_.size(), 2u);
  for (int n : {1, 2}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(seen_[n].arg, "A");
    EXPECT_TRUE(seen_[n].confirmed);
    EXPECT_EQ(seen_[n].privateAfter.substr(0, 8), "report " + std::to_string(n));
    EXPECT_TRUE(seen_[n].tableStillOpen);
  }
}

TEST_F(ShellQtTest, ClosingTheMainWindowCancelsAnOpenReportAndMainReturns) {
  runMain([&] {
    menuItem("Test Program")->trigger();
    ASSERT_NE(child("Vendor Master File 1"), nullptr);
    frame()->close();  // the window's own close control
  });
  ASSERT_EQ(seen_.size(), 1u);
  EXPECT_FALSE(seen_[1].confirmed);
  EXPECT_EQ(reportThreads().running(), 0u);
}

}  // namespace
}  // namespace shell
