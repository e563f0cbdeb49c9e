// Start-up, the main window's menu and the child-window runner with the scripted backend.
#include "app_shell.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

#include "dbe/area/work_area.h"
#include "gui/gui_test_util.h"
#include "gui/hot_keys.h"
#include "gui/main_window.h"
#include "runtime/dates.h"
#include "runtime/error.h"
#include "runtime/keys.h"
#include "runtime/routines.h"
#include "runtime/variables.h"
#include "tables/open_table.h"
#include "tables/tag_order.h"
#include "tables/test_drive.h"

namespace shell {
namespace {

using rt::Value;

// A fresh scripted backend, session and drive C: with the master control table; the engine is
// unloaded so that start-up builds it. Everything start-up changes in the thread is put back.
class ShellTest : public gui::ScriptedTest {
 protected:
  void SetUp() override {
    gui::ScriptedTest::SetUp();
    registerShellRoutines();
    dbe::dbeResetForTest();
    tables::TestDrive::loadEngine();
    savedDates_ = rt::dateSettings();
    savedEngine_ = dbe::engineSettings();
    control("Y", "edi204b   ");
    dbe::dbeResetForTest();
  }
  void TearDown() override {
    reportThreads().joinAll();
    (void)dbe::workspace::closeAll();
    dbe::workspace::select(1);
    rt::setKey(rt::kKeyAltP, Value());
    gui::setKeyActive(false);
    gui::setAppWindow(Value());
    rt::dateSettings() = savedDates_;
    dbe::engineSettings() = savedEngine_;
    tables::TestDrive::loadEngine();
    gui::ScriptedTest::TearDown();
  }

  // (Re)makes MSTRCTRL with one record.
  void control(const std::string& usedisp, const std::string& spec204) {
    tables::TestDrive::loadEngine();
    std::filesystem::remove(drive_.dir() / "MSTRCTRL.DBF");
    std::filesystem::remove(drive_.dir() / "MSTRCTRL.CDX");
    drive_.table("MSTRCTRL.DBF",
                 {{"USEDISP", 'C', 1, 0}, {"SPEC204", 'C', 10, 0}, {"COMPANY", 'C', 2, 0}},
                 {{Value(usedisp), Value(spec204), Value("B ")}}, {{"COMPANY", "COMPANY"}});
  }

  static Value session(std::string_view name) {
    auto v = rt::sessionGet(name);
    EXPECT_TRUE(v.has_value()) << name;
    return v.value_or(Value());
  }

  // Runs Main with an error handler that records what would end the program.
  bool runMain(rt::Error* error = nullptr) {
    rt::Error got;
    bool failed = false;
    rt::ScopedErrorHandler h([&](const rt::Error& e) {
      got = e;
      failed = true;
    });
    try {
      Main();
    } catch (const rt::ErrorException&) {
    }
    if (error != nullptr) *error = got;
    return !failed;
  }

  tables::TestDrive drive_;
  rt::DateSettings savedDates_;
  dbe::EngineSettings savedEngine_;
};

TEST_F(ShellTest, StartUpGivesEverySessionVariableItsStartValue) {
  ASSERT_TRUE(runMain());
  struct Expected {
    const char* name;
    Value value;
  };
  const Expected expected[] = {
      {"ccemail", ""},         {"lbookonly", false},     {"qqdrvacct", 0},
      {"bcemail", ""},         {"alkweb", false},        {"qcomp", "B"},
      {"abuttons", false},     {"kovuser", "MOXT"},      {"qcompname", "TEST"},
      {"subdef", "\\vadnorel"}, {"iemail", false},       {"prg204", "EDI204B()"},
      {"glmenuok", false},     {"USERDIV", "  "},        {"newpath", "\\vadnorel"},
      {"qdisp", "Y"},          {"qqbitmap", 4002},       {"multicmpy", false},
      {"vdrive", "C:"},        {"opmenuspec", false},    {"termconnect", true},
      {"payrlok2", true},      {"cconfig", ""},          {"kovpath", "\\vadnorel"},
      {"billspec", "P"},       {"edimenuok", true},      {"blmenuok", true},
      {"xgrossx", " "},        {"lprebook", false},      {"broksafeok", true},
      {"sfmenuok", true},      {"CONFIGOK", false},      {"qprcode", "ame"},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const Value v = session(e.name);
    EXPECT_EQ(v.kind(), e.value.kind());
    EXPECT_TRUE(rt::valuesEqual(v, e.value, /*exact=*/true)) << v.debugString();
  }
  // Names compare without regard to case; every name of the list is declared.
  EXPECT_TRUE(rt::sessionExists("VDRIVE"));
  for (std::string_view name : sessionVariableNames()) EXPECT_TRUE(rt::sessionExists(name)) << name;
  EXPECT_TRUE(session("oMainDialog").isObject());
  // pEDI204 was a private of Main and is gone.
  EXPECT_FALSE(rt::varExists("pEDI204"));
  EXPECT_TRUE(rt::valuesEqual(runtimeOption(41), Value(2), true));
}

TEST_F(ShellTest, TheEdiProgramCallComesFromSpec204) {
  struct Case {
    const char* spec204;
    const char* prg204;
  };
  constexpr Case cases[] = {
      {"", "EDI204()"},
      {"          ", "EDI204()"},
      {"edi204b   ", "EDI204B()"},
      {"  edi204x ", "  EDI204X()"},
      {"EDI204", "EDI204()"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec204);
    rt::sessionClearForTest();
    (void)dbe::workspace::closeAll();
    control("N", c.spec204);
    dbe::dbeResetForTest();
    ASSERT_TRUE(runMain());
    EXPECT_EQ(session("prg204").text(), c.prg204);
    EXPECT_EQ(session("qdisp").text(), "N");
  }
}

TEST_F(ShellTest, StartUpFixesTheThreadsTableAndDateSettingsAndTheDataDirectory) {
  ASSERT_TRUE(runMain());
  EXPECT_TRUE(dbe::engineSettings().hideDeleted);
  EXPECT_EQ(rt::dateSettings().format, "mm/dd/yyyy");
  EXPECT_EQ(rt::dateSettings().epoch, 1920);
  EXPECT_TRUE(rt::dateSettings().century);
  EXPECT_EQ(files::FileSystem::process().defaultDirectory(), "\\vadnorel");
  EXPECT_EQ(files::FileSystem::process().searchPath(), "\\vadnorel");
  EXPECT_TRUE(rt::keyBinding(rt::kKeyAltP).isCallable());
  EXPECT_TRUE(gui::keyActive());
  // The master control table stays open in work area 1 until a report is started.
  ASSERT_NE(dbe::workspace::area(1), nullptr);
  EXPECT_TRUE(rt::textEqualsExact(dbe::workspace::area(1)->alias(), "MSTRCTRL"));
}

TEST_F(ShellTest, TheMainWindowIsMaximizedWithTheTestMenuAndARedrawingDrawingArea) {
  ASSERT_TRUE(runMain());
  const std::vector<gui::ShownMainWindow> windows = script().mainWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].title, "");
  EXPECT_EQ(windows[0].width, 400);
  EXPECT_EQ(windows[0].height, 300);
  EXPECT_EQ(windows[0].menu, (std::vector<std::string>{"submenu &Test", "  item Test Program",
                                                       "  item Exit"}));
  EXPECT_EQ(windows[0].frameState, "maximized");
  EXPECT_TRUE(windows[0].shown);
  auto w = std::dynamic_pointer_cast<gui::Window>(session("oMainDialog").object());
  ASSERT_NE(w, nullptr);
  auto area = std::dynamic_pointer_cast<gui::DrawingArea>(w->drawingArea());
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(area->sizeRedraw());
  EXPECT_EQ(gui::appWindow().object(), session("oMainDialog").object());
}

TEST_F(ShellTest, ExitEndsMain) {
  script().menu("Exit");
  ASSERT_TRUE(runMain());
  EXPECT_EQ(script().answersLeft(), 0u);
  EXPECT_FALSE(script().mainWindows().at(0).open);
}

TEST_F(ShellTest, EngineFailuresAreAlertedInOrderAndStartUpThenFailsOnTheControlTable) {
  struct Case {
    std::vector<std::string> fail;
    std::vector<std::string> alerts;
  };
  const Case cases[] = {
      {{"CDXDBE", "FOXDBE", "FOXCDX"},
       {"Database-Engine CDXDBE not loaded", "Database-Engine FOXDBE not loaded",
        "FOXCDX Database-Engine|Could not build engine"}},
      // A missing component leaves nothing to build the composite from.
      {{"CDXDBE"},
       {"Database-Engine CDXDBE not loaded", "FOXCDX Database-Engine|Could not build engine"}},
      {{"FOXCDX"}, {"FOXCDX Database-Engine|Could not build engine"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fail.front());
    rt::sessionClearForTest();
    dbe::dbeResetForTest();
    for (const std::string& f : c.fail) dbe::dbeFailForTest(f);
    const size_t before = script().messages().size();
    rt::Error e;
    ASSERT_FALSE(runMain(&e));
    EXPECT_EQ(e.genCode, rt::kErrOpen);
    EXPECT_NE(e.filename.find("mstrctrl"), std::string::npos) << e.filename;
    const std::vector<gui::ShownMessage> shown = script().messages();
    std::vector<std::string> alerts;
    for (size_t i = before; i < shown.size(); ++i) {
      EXPECT_EQ(shown[i].kind, "startalert");
      EXPECT_EQ(shown[i].buttons, std::vector<std::string>{"OK"});
      std::string text;
      for (const std::string& l : shown[i].lines) text += (text.empty() ? "" : "|") + l;
      alerts.push_back(text);
    }
    EXPECT_EQ(alerts, c.alerts);
    // Start-up stopped before the main window existed.
    EXPECT_TRUE(script().mainWindows().empty());
    EXPECT_TRUE(session("oMainDialog").isLogical());
    EXPECT_FALSE(session("oMainDialog").isTrue());
  }
}

TEST_F(ShellTest, AMissingControlFieldGoesToTheErrorProcessing) {
  (void)dbe::workspace::closeAll();
  tables::TestDrive::loadEngine();
  std::filesystem::remove(drive_.dir() / "MSTRCTRL.DBF");
  std::filesystem::remove(drive_.dir() / "MSTRCTRL.CDX");
  drive_.table("MSTRCTRL.DBF", {{"USEDISP", 'C', 1, 0}}, {{Value("Y")}});
  dbe::dbeResetForTest();
  rt::Error e;
  ASSERT_FALSE(runMain(&e));
  EXPECT_EQ(e.genCode, rt::kErrNoVar);
  EXPECT_NE(e.description.find("SPEC204"), std::string::npos) << e.description;
}

// ---- the child-window runner ----

struct ReportRun {
  std::mutex mu;
  std::vector<std::string> args;
  std::vector<std::thread::id> threads;
  int mainOpenTables = -1;
};

TEST_F(ShellTest, TestProgramRunsVendorpoWithAOnAReportThreadAfterClosingTheControlTable) {
  ReportRun run;
  const std::thread::id mainThread = std::this_thread::get_id();
  rt::registerRoutine("VENDORPO", [&](rt::Args& a) {
    std::lock_guard lock(run.mu);
    run.args.push_back(rt::arg(a, 0).text());
    run.threads.push_back(std::this_thread::get_id());
    return Value();
  });
  script().menu("Test Program").menu("Test Program").closeWindow();
  ASSERT_TRUE(runMain());
  ASSERT_EQ(run.args, (std::vector<std::string>{"A", "A"}));
  for (std::thread::id t : run.threads) EXPECT_NE(t, mainThread);
  EXPECT_EQ(dbe::workspace::openCount(), 0);  // the control table was closed by the first run
  EXPECT_EQ(dbe::workspace::selected(), 1);
}

TEST_F(ShellTest, AReportThreadStartsWithTheCallersSettingsAndNeverSeesADeletedRecord) {
  tables::TestDrive::loadEngine();
  drive_.table("APMSTRFL.DBF", {{"NUMBER", 'C', 5, 0}},
               {{Value("00001")}, {Value("00002")}, {Value("00003")}}, {}, {false, true, false});
  ASSERT_TRUE(files::FileSystem::process().setDefaultDirectory("\\vadnorel").isOk());
  dbe::engineSettings().hideDeleted = true;
  rt::setDateFormat("mm/dd/yyyy");
  rt::setEpoch(1920);
  struct Seen {
    bool hideDeleted = false;
    std::string format;
    int epoch = 0;
    bool century = false;
    std::vector<std::string> numbers;
    std::string date;
  } seen;
  MDIBlock(Value::callable([&seen](rt::Args&) {
    seen.hideDeleted = dbe::engineSettings().hideDeleted;
    seen.format = rt::dateSettings().format;
    seen.epoch = rt::dateSettings().epoch;
    seen.century = rt::dateSettings().century;
    seen.date = rt::dateToText(rt::textToDate("03/07/16"));
    dbe::WorkArea& a = tables::openTable("apmstrfl");
    bool ok = a.goTop().isOk();
    while (ok && !a.eof()) {
      seen.numbers.push_back(a.fieldGet(1).value().text());
      ok = a.skip(1).isOk();
    }
    return Value();
  }));
  reportThreads().joinAll();
  EXPECT_TRUE(seen.hideDeleted);
  EXPECT_EQ(seen.format, "mm/dd/yyyy");
  EXPECT_EQ(seen.epoch, 1920);
  EXPECT_TRUE(seen.century);
  EXPECT_EQ(seen.date, "03/07/2016");
  EXPECT_EQ(seen.numbers, (std::vector<std::string>{"00001", "00003"}));
}

TEST_F(ShellTest, ABreakEndsOnlyItsReportThreadWithItsTablesClosed) {
  tables::TestDrive::loadEngine();
  drive_.table("APMSTRFL.DBF", {{"NUMBER", 'C', 5, 0}}, {{Value("00001")}},
               {{"APMSTRFL", "NUMBER"}});
  ASSERT_TRUE(files::FileSystem::process().setDefaultDirectory("\\vadnorel").isOk());
  std::atomic<int> openAtBreak{-1};
  std::atomic<bool> after{false};
  MDIBlock(Value::callable([&](rt::Args&) {
    tables::openTable("apmstrfl");
    tables::openTable("mstrctrl", {}, -1);
    try {
      tables::SetTagOrder("NAMEORDR", "APMSTRFL.CDX");
    } catch (const rt::Break&) {
      openAtBreak = dbe::workspace::openCount();
      throw;
    }
    after = true;
    return Value();
  }));
  reportThreads().joinAll();
  EXPECT_EQ(openAtBreak, 0);
  EXPECT_FALSE(after);
  ASSERT_EQ(script().messages().size(), 1u);
  EXPECT_EQ(script().messages()[0].title, "Error Warning");
}

TEST_F(ShellTest, TheSecondReportClosesNoTableOfTheFirst) {
  tables::TestDrive::loadEngine();
  ASSERT_TRUE(files::FileSystem::process().setDefaultDirectory("\\vadnorel").isOk());
  std::atomic<bool> firstOpen{false};
  std::atomic<bool> secondStarted{false};
  std::atomic<bool> firstStillOpen{false};
  MDIBlock(Value::callable([&](rt::Args&) {
    tables::openTable("mstrctrl");
    firstOpen = true;
    while (!secondStarted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    firstStillOpen = dbe::workspace::area(1) != nullptr;
    return Value();
  }));
  while (!firstOpen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  MDIBlock(Value::callable([&](rt::Args&) {
    secondStarted = true;
    return Value();
  }));
  reportThreads().joinAll();
  EXPECT_TRUE(firstStillOpen);
}

TEST_F(ShellTest, ClosingEveryThreadsTablesCancelsTheDialogsAndWaitsForTheReports) {
  tables::TestDrive::loadEngine();
  ASSERT_TRUE(files::FileSystem::process().setDefaultDirectory("\\vadnorel").isOk());
  std::atomic<bool> started{false};
  std::atomic<bool> ended{false};
  MDIBlock(Value::callable([&](rt::Args&) {
    tables::openTable("mstrctrl");
    started = true;
    // A report busy until its dialogs are cancelled.
    while (!gui::backend()->closing()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ended = true;
    return Value();
  }));
  while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  tables::openTable("mstrctrl");
  closeTablesEverywhere();
  EXPECT_TRUE(ended);
  EXPECT_EQ(reportThreads().running(), 0u);
  EXPECT_EQ(dbe::workspace::openCount(), 0);
}

}  // namespace
}  // namespace shell
