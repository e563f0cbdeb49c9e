#include "routines.h"

#include <gtest/gtest.h>

#include "error.h"

namespace rt {
namespace {

TEST(Routines, CalledByNameWithoutCase) {
  registerRoutine("EDI204", [](Args& a) { return Value(static_cast<double>(a.size())); });
  EXPECT_TRUE(routineExists("edi204"));
  EXPECT_FALSE(routineExists("EDI205"));
  EXPECT_EQ(call("Edi204").number(), 0);
  EXPECT_EQ(callWith("EDI204", "a", 2).number(), 2);
}

TEST(Routines, CallTextForms) {
  Args last;
  registerRoutine("DC_WaitOnObject", [&](Args& a) {
    last = a;
    return Value("called");
  });
  struct Case {
    const char* text;
    size_t argCount;
  };
  constexpr Case cases[] = {{"DC_WaitOnObject()", 0},
                            {"dc_waitonobject", 0},
                            {"DC_WaitOnObject( )", 0},
                            {"DC_WaitOnObject('a', \"b\", 12.5, .T., NIL)", 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(callText(c.text).text(), "called") << c.text;
    EXPECT_EQ(last.size(), c.argCount) << c.text;
  }
  EXPECT_EQ(last[2].number(), 12.5);
  EXPECT_TRUE(last[3].isTrue());
  EXPECT_TRUE(last[4].isNil());
  EXPECT_EQ(callTextName("EDI204()"), "EDI204");
  EXPECT_EQ(callTextName("  MYPROG()"), "MYPROG");
  EXPECT_EQ(callTextName("not a call"), "");
}

TEST(Routines, BadCallsRaiseClearErrors) {
  struct Case {
    const char* text;
    int genCode;
  };
  constexpr Case cases[] = {{"NOSUCHPROG()", kErrNoFunc},
                            {"()", kErrSyntax},
                            {"DC_X(", kErrSyntax},
                            {"DC_X(a+b)", kErrSyntax},
                            {"DC_X() junk", kErrSyntax}};
  registerRoutine("DC_X", [](Args&) { return Value(); });
  for (const auto& c : cases) {
    Error seen;
    ScopedErrorHandler h([&](const Error& e) { seen = e; });
    EXPECT_THROW(callText(c.text), ErrorException) << c.text;
    EXPECT_EQ(seen.genCode, c.genCode) << c.text;
  }
}

}  // namespace
}  // namespace rt
