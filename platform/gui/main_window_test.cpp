#include "main_window.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "dialog_run.h"
#include "gui_test_util.h"
#include "messages.h"
#include "runtime/error.h"
#include "thread_group.h"

namespace gui {
namespace {

using rt::Value;

class MainWindowTest : public ScriptedTest {
 protected:
  // The start-up's menu: "&Test" with "Test Program" (a report on a thread of its own) and
  // "Exit" (posts a close to the main window).
  void buildMenu(std::function<void()> report) {
    menu_.addSubMenu("oMenu", "&Test");
    menu_.addMenuItem("oMenu", "Test Program", action([this, report] { threads_.start(report); }));
    menu_.addMenuItem("oMenu", "Exit", action([] {
                        const Value w = rt::var("oMainDialog");
                        if (w.isObject()) dynamic_cast<Window&>(*w.object()).postClose();
                      }));
  }
  MainWindowOptions windowOptions() {
    MainWindowOptions o;
    o.onCreate = Value::callable([](rt::Args& a) {
      const Value window = a.at(0);
      setAppWindow(window);
      rt::sessionSet("oMainDialog", window);
      auto& w = dynamic_cast<Window&>(*window.object());
      w.setFrameState(Window::FrameState::kMaximized);
      w.show();
      return Value();
    });
    return o;
  }

  GetList menu_;
  ThreadGroup threads_;
};

TEST_F(MainWindowTest, TheMenuRunsAReportOnItsOwnThreadInAChildWindow) {
  rt::sessionDeclare("oMainDialog", Value(false));
  const std::thread::id mainThread = std::this_thread::get_id();
  std::atomic<bool> confirmed{false};
  std::thread::id reportThread;
  buildMenu([&] {
    reportThread = std::this_thread::get_id();
    rt::PrivateFrame frame;
    rt::privateDeclare("activeonly", Value(true));
    GetList list;
    list.addText({3, 1}, "Active Only", {12, 0});
    list.addCheckBox({3, 15}, getAnchorCB("activeonly")).withId("activeonly");
    const Value area = Value(dynamic_cast<Window&>(*rt::var("oMainDialog").object()).drawingArea());
    confirmed = readGui(list, options(kButtonsOkCancel, "Vendor Master File", area)) &&
                !rt::var("activeonly").logical();
  });
  script().menu("Test Program").check("activeonly", false).confirm().menu("Exit");
  runMainWindow(menu_, windowOptions());
  threads_.joinAll();

  EXPECT_TRUE(confirmed);
  EXPECT_NE(reportThread, mainThread);
  const auto windows = script().mainWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].width, 400);
  EXPECT_EQ(windows[0].height, 300);
  EXPECT_EQ(windows[0].frameState, "maximized");
  EXPECT_TRUE(windows[0].shown);
  EXPECT_FALSE(windows[0].open);
  EXPECT_EQ(windows[0].menu,
            (std::vector<std::string>{"submenu &Test", "  item Test Program", "  item Exit"}));
  EXPECT_TRUE(script().dialogs().at(0).childWindow);
  EXPECT_TRUE(appWindow().isObject());
  setAppWindow(Value());
}

TEST_F(MainWindowTest, ClosingTheMainWindowCancelsADialogStillOpenAndLaterOnes) {
  rt::sessionDeclare("oMainDialog", Value(false));
  std::atomic<bool> dialogOpen{false};
  std::atomic<bool> windowClosed{false};
  std::atomic<int> results{0};
  buildMenu([&] {
    GetList list;
    list.addText({1, 1}, "working");
    // The dialog stays open (its scripted user waits) until the main window has closed.
    list.addPushButton({2, 1}, {9, 1.2}, "Wait", action([&] {
                         dialogOpen = true;
                         while (!windowClosed)
                           std::this_thread::sleep_for(std::chrono::milliseconds(1));
                       }));
    if (!readGui(list, options(kButtonsOkCancel))) ++results;
    // A report goes on after a cancelled dialog: its next dialog and message end at once.
    if (!readGui(list, options(kButtonsOkCancel))) ++results;
    if (guiAlert("Unable to lock record", {"Retry", "Quit"}) == 2) ++results;
  });
  script().menu("Test Program").press("Wait").confirm();
  std::thread closer([&] {
    while (!dialogOpen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    dynamic_cast<Window&>(*rt::sessionGet("oMainDialog")->object()).postClose();
  });
  MainWindowOptions o = windowOptions();
  runMainWindow(menu_, o);
  windowClosed = true;
  threads_.joinAll();
  closer.join();
  EXPECT_EQ(results, 3);
  EXPECT_EQ(script().answersLeft(), 1u);  // the confirm was never taken
  setAppWindow(Value());
}

TEST_F(MainWindowTest, AMenuActionThatRaisesABreakDoesNotEndTheMainWindow) {
  int runs = 0;
  menu_.addSubMenu("oMenu", "&Test");
  menu_.addMenuItem("oMenu", "Fails", action([&runs] {
                      ++runs;
                      throw rt::Break();
                    }));
  script().menu("Fails").menu("&Fails").closeWindow();
  runMainWindow(menu_, {});
  EXPECT_EQ(runs, 2);
}

TEST_F(MainWindowTest, AMenuItemThatDoesNotExistIsAProblem) {
  expectProblems();
  menu_.addSubMenu("oMenu", "&Test");
  script().menu("Print").closeWindow();
  runMainWindow(menu_, {});
  ASSERT_EQ(script().problems().size(), 1u);
  EXPECT_NE(script().problems()[0].find("Print"), std::string::npos);
}

TEST(ThreadGroup, JoinsEveryThreadAndSurvivesBreaksAndErrors) {
  ThreadGroup group;
  std::atomic<int> ran{0};
  group.start([&] { ++ran; });
  group.start([&] {
    ++ran;
    throw rt::Break();
  });
  group.start([&] {
    ++ran;
    throw rt::ErrorException(rt::Error{});
  });
  group.joinAll();
  EXPECT_EQ(ran, 3);
  EXPECT_EQ(group.running(), 0u);
}

}  // namespace
}  // namespace gui
