#include "helpers.h"

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/dates.h"
#include "runtime/keys.h"
#include "runtime/routines.h"

namespace tables {
namespace {

TEST(LbRound, ExamplesAndMendedNegatives) {
  struct Case {
    double value;
    double decimals;
    double expected;
  };
  constexpr Case cases[] = {
      {2.675, 2, 2.68},  {2.5, 0, 3},      {1234.5, -2, 1200}, {0.285, 2, 0.29},
      {1.005, 2, 1.01},  {1250, -2, 1300}, {0, 2, 0},          {7, 0, 7},
      // Negatives round as the negation of their absolute value.
      {-3, 0, -3},       {-1.25, 1, -1.3}, {-1.26, 1, -1.3},   {-0.5, 0, -1},
      {-1.2, 1, -1.2},   {-2.675, 2, -2.68},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(lb_round(c.value, c.decimals), c.expected)
        << "lb_round(" << c.value << ", " << c.decimals << ")";
  }
}

TEST(LbRound, TheConstantIsExactlyTheDocumentedDouble) {
  const double c = 0.5000009;
  std::uint64_t bits;
  std::memcpy(&bits, &c, sizeof bits);
  EXPECT_EQ(bits, 0x3FE00001E32F0EE1ULL);
}

TEST(LbRound, CallableByName) {
  EXPECT_DOUBLE_EQ(rt::callWith("lb_round", 2.675, 2).number(), 2.68);
}

TEST(Dtox, ShortTextAndSideEffects) {
  rt::setDateFormat("mm/dd/yy");
  rt::setCentury(false);
  EXPECT_EQ(DTOX(rt::Date::fromYmd(1999, 12, 31)), "12/31/99");
  EXPECT_TRUE(rt::dateSettings().century);  // stays on after the call
  EXPECT_TRUE(rt::keyBinding(rt::kKeyF10).isCallable());
  EXPECT_TRUE(rt::keyBinding(rt::kKeyF1).isCallable());
  rt::setDateFormat("mm/dd/yyyy");
  EXPECT_EQ(DTOX(rt::Date::fromYmd(2016, 3, 7)), "03/07/16");
  EXPECT_EQ(DTOX(rt::Date{}), "  /  /  ");
  EXPECT_EQ(rt::callWith("DTOX", rt::Date::fromYmd(2000, 1, 2)).text(), "01/02/00");
}

}  // namespace
}  // namespace tables
