#include "value.h"

#include <gtest/gtest.h>

#include "error.h"

namespace rt {
namespace {

struct TextCase {
  const char* left;
  const char* right;
  bool nonExact;
  bool exact;
};

constexpr TextCase kTextCases[] = {
    {"ABC", "ABC", true, true},
    {"ABCDEF", "ABC", true, false},   // left begins with right
    {"ABC", "ABCDEF", false, false},  // right longer than left
    {"ABC", "", true, false},         // empty right equals anything
    {"", "", true, true},
    {"", "A", false, false},
    {"ABC ", "ABC", true, false},     // trailing blank on the left
    {"ABC", "ABC ", false, false},    // trailing blank on the right
    {"abc", "ABC", false, false},     // case matters
};

TEST(TextComparison, NonExactAndExact) {
  for (const auto& c : kTextCases) {
    SCOPED_TRACE(std::string("'") + c.left + "' vs '" + c.right + "'");
    EXPECT_EQ(textEqualsNonExact(c.left, c.right), c.nonExact);
    EXPECT_EQ(textEqualsExact(c.left, c.right), c.exact);
    EXPECT_EQ(valuesEqual(Value(c.left), Value(c.right), false), c.nonExact);
    EXPECT_EQ(valuesEqual(Value(c.left), Value(c.right), true), c.exact);
  }
}

TEST(Guarded, KeepsRightKindEvenWhenBlankElseDefault) {
  struct Case {
    Value given;
    Value def;
    Value expected;
  };
  const Case cases[] = {
      {Value(), Value("x"), Value("x")},               // missing
      {Value(5), Value("x"), Value("x")},              // other kind
      {Value(""), Value("x"), Value("")},              // blank text stays
      {Value(0), Value(3), Value(0)},                  // zero stays
      {Value(false), Value(true), Value(false)},       // false stays
      {Value("A"), Value(false), Value(false)},
  };
  for (const auto& c : cases) {
    const Value got = guarded(c.given, c.def);
    EXPECT_EQ(got.kind(), c.expected.kind());
    EXPECT_TRUE(valuesEqual(got, c.expected, true)) << got.debugString();
  }
}

TEST(Value, KindsAndTypeLetters) {
  EXPECT_EQ(Value().typeLetter(), 'U');
  EXPECT_EQ(Value("a").typeLetter(), 'C');
  EXPECT_EQ(Value(1.5).typeLetter(), 'N');
  EXPECT_EQ(Value(true).typeLetter(), 'L');
  EXPECT_EQ(Value(Date::fromYmd(2016, 3, 9)).typeLetter(), 'D');
  EXPECT_EQ(Value::array().typeLetter(), 'A');
  EXPECT_EQ(Value::callable([](Args&) { return Value(); }).typeLetter(), 'B');
}

TEST(Value, ArraysAreSharedByReference) {
  Value a = Value::array({Value(1), Value(2)});
  Value b = a;
  b.arr()[0] = Value("changed");
  EXPECT_EQ(a.arr()[0].text(), "changed");
  EXPECT_TRUE(valuesEqual(a, b, true));
  EXPECT_FALSE(valuesEqual(a, Value::array({Value("changed"), Value(2)}), true));
}

TEST(Value, CallableReceivesArgumentsByReference) {
  Value fn = Value::callable([](Args& args) {
    args[0] = Value("set by callee");
    return Value(true);
  });
  Args args{Value("")};
  EXPECT_TRUE(fn.call(args).isTrue());
  EXPECT_EQ(args[0].text(), "set by callee");
}

TEST(Value, WrongKindAccessRaisesThroughTheHandler) {
  Error seen;
  ScopedErrorHandler h([&](const Error& e) { seen = e; });
  EXPECT_THROW((void)Value(5).text(), ErrorException);
  EXPECT_EQ(seen.genCode, kErrArgument);
  EXPECT_NE(seen.description.find("expected text, got number"), std::string::npos);
}

TEST(Date, CalendarEdges) {
  struct Case {
    int y, m, d;
    bool valid;
  };
  constexpr Case cases[] = {{2000, 2, 29, true}, {1900, 2, 29, false}, {2016, 3, 9, true},
                            {1999, 12, 31, true}, {2016, 13, 1, false}, {2016, 4, 31, false},
                            {1, 1, 1, true},      {0, 1, 1, false}};
  for (const auto& c : cases) {
    const Date d = Date::fromYmd(c.y, c.m, c.d);
    EXPECT_EQ(!d.isEmpty(), c.valid) << c.y << "-" << c.m << "-" << c.d;
    if (c.valid) {
      int y, m, dd;
      d.toYmd(&y, &m, &dd);
      EXPECT_EQ(y, c.y);
      EXPECT_EQ(m, c.m);
      EXPECT_EQ(dd, c.d);
    }
  }
  EXPECT_EQ(Date::fromYmd(2016, 3, 1).julian - Date::fromYmd(2016, 2, 28).julian, 2);
  EXPECT_LT(Date::fromYmd(1999, 12, 31), Date::fromYmd(2000, 1, 1));
}

}  // namespace
}  // namespace rt
