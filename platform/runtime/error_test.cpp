#include "error.h"

#include <gtest/gtest.h>

#include "clock.h"
#include "dates.h"

namespace rt {
namespace {

Error openError() {
  Error e;
  e.genCode = kErrOpen;
  e.osCode = 2;
  e.operation = "open";
  e.filename = "APMSTRFL.DBF";
  e.description = "No such file";
  return e;
}

TEST(Errors, AHandlerTurnsAnErrorIntoABreakThatARecoveryPointCatches) {
  bool recovered = false;
  try {
    ScopedErrorHandler h([](const Error& e) { throw Break(Value(e.filename)); });
    raiseError(openError());
  } catch (const Break& b) {
    recovered = b.value().text() == "APMSTRFL.DBF";
  }
  EXPECT_TRUE(recovered);
  EXPECT_FALSE(static_cast<bool>(errorHandler()));  // the previous (none) is back
}

TEST(Errors, AHandlerThatReturnsStillFailsTheOperation) {
  ScopedErrorHandler h([](const Error&) {});
  EXPECT_THROW(raiseError(openError()), ErrorException);
}

TEST(Errors, ScopedHandlersNestAndRestore) {
  int outerCalls = 0;
  ScopedErrorHandler outer([&](const Error&) { ++outerCalls; });
  {
    ScopedErrorHandler inner([](const Error& e) { throw Break(Value(e.genCode)); });
    EXPECT_THROW(raiseError(openError()), Break);
  }
  EXPECT_THROW(raiseError(openError()), ErrorException);
  EXPECT_EQ(outerCalls, 1);
}

TEST(Errors, TextNamesCodeFileOperationAndOsError) {
  const std::string s = openError().toString();
  for (const char* part : {"Open error", "No such file", "APMSTRFL.DBF", "open", "OS error 2"}) {
    EXPECT_NE(s.find(part), std::string::npos) << part << " in " << s;
  }
}

TEST(ErrorsDeathTest, DefaultProcessingRunsTheHookAndEndsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setDefaultErrorHook([](const Error& e) {
          std::fprintf(stderr, "hook saw %s\n", e.filename.c_str());
        });
        raiseError(openError());
      },
      ::testing::ExitedWithCode(1), "hook saw APMSTRFL.DBF");
}

TEST(Clock, AFixedClockGivesTodayAndTheTime) {
  setFixedClock({2016, 3, 9, 14, 5, 33});
  EXPECT_EQ(today(), Date::fromYmd(2016, 3, 9));
  EXPECT_EQ(timeText(), "14:05:33");
  EXPECT_EQ(secondsOfDay(), 14 * 3600 + 5 * 60 + 33);
  setClock({});
  EXPECT_FALSE(today().isEmpty());
}

}  // namespace
}  // namespace rt
