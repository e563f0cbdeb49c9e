#include "variables.h"

#include <gtest/gtest.h>

#include <thread>

#include "error.h"

namespace rt {
namespace {

class VariablesTest : public ::testing::Test {
 protected:
  void TearDown() override { sessionClearForTest(); }
};

TEST_F(VariablesTest, SessionNamesIgnoreCaseAndDeclareWithoutValueIsFalse) {
  sessionDeclare("vDrive", Value("C:"));
  sessionDeclare("alkweb");
  EXPECT_EQ(var("VDRIVE").text(), "C:");
  EXPECT_EQ(var("vdrive").text(), "C:");
  ASSERT_TRUE(var("ALKWEB").isLogical());
  EXPECT_FALSE(var("alkweb").logical());
  EXPECT_EQ(varType("AlkWeb"), 'L');
  EXPECT_EQ(varType("nosuchvar"), 'U');
}

TEST_F(VariablesTest, SessionVariablesAreSeenByOtherThreads) {
  sessionDeclare("qcomp", Value("B"));
  std::string seen;
  std::thread t([&] {
    seen = var("QCOMP").text();
    varSet("qcomp", Value("Z"));  // assigns the session-wide variable, not a private
  });
  t.join();
  EXPECT_EQ(seen, "B");
  EXPECT_EQ(var("qcomp").text(), "Z");
}

TEST_F(VariablesTest, IndirectAssignmentThroughANameHeldInAVariable) {
  sessionDeclare("prg204");
  PrivateFrame frame;
  frame.declare("pEDI204", Value("Prg204"));
  varSetIndirect("pEDI204", Value("EDI204()"));
  EXPECT_EQ(var("PRG204").text(), "EDI204()");
  EXPECT_EQ(var("pedi204").text(), "Prg204");
}

TEST_F(VariablesTest, PrivatesAreSeenByCalleesAndGoneAfterReturn) {
  auto callee = [] { return var("CORRECT"); };
  {
    PrivateFrame caller;
    caller.declare("correct", Value(true));
    EXPECT_TRUE(callee().isTrue());
    {
      PrivateFrame inner;  // a callee assigning the caller's private changes it
      varSet("Correct", Value(false));
      inner.declare("VDCMPY", Value("B"));
    }
    EXPECT_FALSE(var("correct").isTrue());
    EXPECT_FALSE(varExists("VDCMPY"));  // the inner frame's private is gone
  }
  EXPECT_FALSE(varExists("CORRECT"));
}

TEST_F(VariablesTest, UndeclaredAssignmentLivesInTheInnermostFrame) {
  {
    PrivateFrame outer;
    {
      PrivateFrame inner;
      varSet("nLastKey", Value(-9));
      EXPECT_EQ(var("nLastKey").number(), -9);
    }
    EXPECT_FALSE(varExists("nLastKey"));
  }
}

TEST_F(VariablesTest, PrivateHidesSessionVariableOfTheSameName) {
  sessionDeclare("noemail", Value(false));
  {
    PrivateFrame f;
    f.declare("NOEMAIL", Value(true));
    EXPECT_TRUE(var("noemail").isTrue());
    varSet("noemail", Value("x"));
    EXPECT_EQ(var("noemail").text(), "x");
  }
  EXPECT_FALSE(var("noemail").isTrue());  // the session-wide one was never touched
}

TEST_F(VariablesTest, PrivatesAreInvisibleToOtherThreads) {
  PrivateFrame f;
  f.declare("CORRECT", Value(true));
  bool otherSees = true;
  std::thread t([&] { otherSees = varExists("CORRECT"); });
  t.join();
  EXPECT_FALSE(otherSees);
}

TEST_F(VariablesTest, ReadingAnUnknownNameRaises) {
  Error seen;
  ScopedErrorHandler h([&](const Error& e) { seen = e; });
  EXPECT_THROW(var("nothere"), ErrorException);
  EXPECT_EQ(seen.genCode, kErrNoVar);
  EXPECT_NE(seen.description.find("nothere"), std::string::npos);
}

}  // namespace
}  // namespace rt
