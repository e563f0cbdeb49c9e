#include "picture.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(Picture, MasksOfTheVendorList) {
  struct Case {
    Value value;
    const char* mask;
    const char* expected;
  };
  const Case cases[] = {
      // Phones: stored with punctuation print unchanged; ten bare digits lose characters
      // 1, 5 and 9 to the mask and leave its last three positions blank.
      {Value("(212)555-1234"), "(999)999-9999", "(212)555-1234"},
      {Value("2125551234"), "(999)999-9999", "(125)512-4   "},
      {Value(""), "(999)999-9999", "(   )   -    "},
      // ZIPs of five and of nine digits.
      {Value("12345-6789"), "99999-99999", "12345-6789 "},
      {Value("12345     "), "99999-99999", "12345-     "},
      {Value("123456789"), "99999-99999", "12345-789  "},
      // Numbers right-aligned without decimals; too wide fills with asterisks.
      {Value(1234.0), "999999", "  1234"},
      {Value(12.6), "999999", "    13"},
      {Value(0.0), "9999", "   0"},
      {Value(-5.0), "99999", "   -5"},
      {Value(1234567.0), "999999", "******"},
      {Value(3.0), "99999", "    3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(applyPicture(c.value, c.mask), c.expected)
        << c.value.debugString() << " / " << c.mask;
  }
}

}  // namespace
}  // namespace rt
