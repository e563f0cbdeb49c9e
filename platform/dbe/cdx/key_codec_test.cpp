#include "key_codec.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <vector>

namespace dbe::cdx {
namespace {

std::string hex(std::string_view s) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (char c : s) {
    if (!out.empty()) out += ' ';
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  return out;
}

struct NumericCase {
  double value;
  const char* bytes;
};

// The encodings other FoxPro-compatible engines produce for these values.
constexpr NumericCase kNumericCases[] = {
    {0.0, "80 00 00 00 00 00 00 00"},   {-0.0, "80 00 00 00 00 00 00 00"},
    {1.0, "BF F0 00 00 00 00 00 00"},   {-1.0, "40 0F FF FF FF FF FF FF"},
    {100.5, "C0 59 20 00 00 00 00 00"}, {2451545.0, "C1 42 B4 2C 80 00 00 00"},
};

TEST(KeyCodec, NumericKeysMatchTheKnownBytes) {
  for (const NumericCase& c : kNumericCases) {
    EXPECT_EQ(hex(numericKey(c.value)), c.bytes) << c.value;
    EXPECT_EQ(decodeNumericKey(numericKey(c.value)), c.value == 0.0 ? 0.0 : c.value);
  }
  EXPECT_FALSE(std::signbit(decodeNumericKey(numericKey(-0.0))));
}

TEST(KeyCodec, DateAndIntegerKeysMatchTheKnownBytes) {
  EXPECT_EQ(hex(dateKey(2451545)), "C1 42 B4 2C 80 00 00 00");  // 2000-01-01
  EXPECT_EQ(hex(dateKey(0)), "80 00 00 00 00 00 00 00");        // the empty date
  EXPECT_EQ(decodeDateKey(dateKey(2460000)), 2460000);
  EXPECT_EQ(hex(integerKey(1)), "80 00 00 01");
  EXPECT_EQ(hex(integerKey(-1)), "7F FF FF FF");
  EXPECT_EQ(decodeIntegerKey(integerKey(std::numeric_limits<std::int32_t>::min())),
            std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(logicalKey(true), "T");
  EXPECT_EQ(logicalKey(false), "F");
}

// Byte order of the keys must be the order of the values, or seeks miss records.
TEST(KeyCodec, ByteOrderIsValueOrder) {
  std::mt19937 rng(7);
  std::vector<double> values = {-1e300,
                                -2.5,
                                -1.0,
                                -1e-300,
                                0.0,
                                1e-300,
                                1.0,
                                2.5,
                                1e300,
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::infinity()};
  std::uniform_real_distribution<double> d(-1e6, 1e6);
  for (int i = 0; i < 500; ++i) values.push_back(d(rng));
  std::vector<std::int32_t> ints = {std::numeric_limits<std::int32_t>::min(), -1, 0, 1,
                                    std::numeric_limits<std::int32_t>::max()};
  for (int i = 0; i < 200; ++i) ints.push_back(static_cast<std::int32_t>(rng()));

  std::sort(values.begin(), values.end());
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i - 1] == values[i]) continue;
    EXPECT_LT(numericKey(values[i - 1]), numericKey(values[i]))
        << values[i - 1] << " " << values[i];
  }
  std::sort(ints.begin(), ints.end());
  for (std::size_t i = 1; i < ints.size(); ++i) {
    if (ints[i - 1] == ints[i]) continue;
    EXPECT_LT(integerKey(ints[i - 1]), integerKey(ints[i]));
  }
}

TEST(KeyCodec, CharacterKeysArePaddedOrCut) {
  EXPECT_EQ(characterKey("SMITH", 10), "SMITH     ");
  EXPECT_EQ(characterKey("SMITHSONIAN", 10), "SMITHSONIA");
  EXPECT_EQ(characterKey("", 3), "   ");
  EXPECT_EQ(fillByte(KeyType::kCharacter), ' ');
  EXPECT_EQ(fillByte(KeyType::kDate), '\0');
}

struct DescribeCase {
  KeyType type;
  std::string key;
  const char* text;
};

TEST(KeyCodec, DescribeShowsKeysAsAPersonReadsThem) {
  const DescribeCase cases[] = {
      {KeyType::kCharacter, "SMITH     ", "'SMITH'"},
      {KeyType::kCharacter, std::string("A\x01\xE9 ", 4), "'A\\x01\\xE9'"},
      {KeyType::kNumeric, numericKey(100.5), "100.5"},
      {KeyType::kNumeric, numericKey(-3), "-3"},
      {KeyType::kDate, dateKey(2451545), "20000101"},
      {KeyType::kDate, dateKey(2460311), "20240101"},
      {KeyType::kDate, dateKey(0), "{}"},
      {KeyType::kInteger, integerKey(-42), "-42"},
      {KeyType::kLogical, "T", ".T."},
      {KeyType::kNumeric, "\x01\x02", "0x0102"},  // wrong length: hex
  };
  for (const DescribeCase& c : cases) EXPECT_EQ(describeKey(c.type, c.key), c.text);
}

}  // namespace
}  // namespace dbe::cdx
