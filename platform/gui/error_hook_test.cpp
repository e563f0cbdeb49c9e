#include "error_hook.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <thread>

#include "backend.h"
#include "scripted_backend.h"

namespace gui {
namespace {

rt::Error openError() {
  rt::Error e;
  e.genCode = rt::kErrOpen;
  e.osCode = 2;
  e.subsystem = "DBFCDX";
  e.operation = "open";
  e.filename = "C:\\vadnorel\\MSTRCTRL.DBF";
  e.description = "No such file; or directory";
  return e;
}

TEST(ErrorHook, TheAlertTextNamesDescriptionOperationAndFile) {
  EXPECT_EQ(errorAlertText(openError()),
            "Open error: No such file, or directory;Operation: open;"
            "File: C:\\vadnorel\\MSTRCTRL.DBF;OS error 2;The program will end.");
  rt::Error bare;
  bare.description = "Variable does not exist: usedisp";
  EXPECT_EQ(errorAlertText(bare), "Error: Variable does not exist: usedisp;The program will end.");
}

// Runs in the child process of a death test: the scripted backend records the alert, the
// callback writes what was shown to standard error, and the runtime ends the process.
[[noreturn]] void raiseUnhandled(bool fromThread) {
  auto script = std::make_shared<ScriptedBackend>();
  setBackend(script);
  installDefaultErrorHook();
  setCloseAllTablesCallback([script] {
    const ShownMessage m = script->messages().at(0);
    std::fprintf(stderr, "[%s] %s | %s; tables closed\n", m.title.c_str(), m.lines.at(0).c_str(),
                 m.lines.at(2).c_str());
  });
  if (fromThread) {
    std::thread([] { rt::raiseError(openError()); }).join();
  }
  rt::raiseError(openError());
}

TEST(ErrorHookDeathTest, AnUnhandledErrorIsShownThenTablesCloseThenTheProgramEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (bool fromThread : {false, true}) {
    SCOPED_TRACE(fromThread);
    EXPECT_EXIT(raiseUnhandled(fromThread), ::testing::ExitedWithCode(1),
                "\\[Error Warning\\] Open error: No such file, or directory \\| "
                "File: C:.vadnorel.MSTRCTRL.DBF; tables closed");
  }
}

}  // namespace
}  // namespace gui
