// Field bytes to values and back, for every type, as a table of cases.
#include "field_codec.h"

#include <gtest/gtest.h>

#include <cstring>

#include "record.h"
#include "test_util.h"

namespace dbe::dbf {
namespace {

Field makeField(char type, int length, int decimals = 0) {
  Field f;
  f.name = "F";
  f.type = type;
  f.length = static_cast<std::uint16_t>(length);
  f.decimals = static_cast<std::uint8_t>(decimals);
  f.offset = 1;
  return f;
}

std::string show(const rt::Value& v) {
  return std::string(rt::Value::kindName(v.kind())) + ":" + v.debugString();
}

struct DecodeCase {
  char type;
  int length;
  int decimals;
  std::string stored;  // hex
  std::string expected;  // show() of the value
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, ReadsStoredBytes) {
  const DecodeCase& c = GetParam();
  const Field f = makeField(c.type, c.length, c.decimals);
  const std::vector<std::byte> raw = testing::hexBytes(c.stored);
  ASSERT_EQ(raw.size(), f.length);
  EXPECT_EQ(show(decodeField(f, raw)), c.expected);
}

const DecodeCase kDecodeCases[] = {
    {'C', 5, 0, "'ab   '", "text:ab   "},
    {'N', 8, 2, "'    3.14'", "number:3.14"},
    {'N', 5, 0, "'  -42'", "number:-42"},
    {'N', 5, 0, "'     '", "number:0"},
    {'N', 5, 0, "00 00 00 00 00", "number:0"},
    {'N', 5, 2, "'*****'", "number:0"},
    {'N', 5, 0, "' 1x3 '", "number:1"},
    {'N', 4, 0, "'abcd'", "number:0"},
    // NumericTextNaNOrInfinity: text the number reader would take as NaN or infinity is
    // unreadable for a numeric field.
    {'N', 5, 0, "'  nan'", "number:0"},
    {'N', 5, 0, "' -inf'", "number:0"},
    {'F', 10, 0, "'  INFINITY'", "number:0"},
    {'F', 10, 3, "'  1234.500'", "number:1234.5"},
    {'D', 8, 0, "'20240229'", "date:20240229"},
    {'D', 8, 0, "'        '", "date:        "},
    {'D', 8, 0, "'00000000'", "date:        "},
    {'D', 8, 0, "'20231345'", "date:        "},
    {'D', 8, 0, "'2023 1 5'", "date:        "},
    {'L', 1, 0, "'T'", "logical:.T."},
    {'L', 1, 0, "'t'", "logical:.T."},
    {'L', 1, 0, "'Y'", "logical:.T."},
    {'L', 1, 0, "'y'", "logical:.T."},
    {'L', 1, 0, "'F'", "logical:.F."},
    {'L', 1, 0, "'N'", "logical:.F."},
    {'L', 1, 0, "' '", "logical:.F."},
    {'L', 1, 0, "'?'", "logical:.F."},
    {'I', 4, 0, "40 E2 01 00", "number:123456"},
    {'I', 4, 0, "FF FF FF FF", "number:-1"},
    {'B', 8, 2, "00 00 00 00 00 00 F8 3F", "number:1.5"},
    {'Y', 8, 4, "40 E2 01 00 00 00 00 00", "number:12.3456"},
    {'Y', 8, 4, "F0 D8 FF FF FF FF FF FF", "number:-1"},
    {'T', 8, 0, "59 68 25 00 80 EE 36 00", "date:20000101"},
    {'T', 8, 0, "00 00 00 00 00 00 00 00", "date:        "},
};

INSTANTIATE_TEST_SUITE_P(Types, DecodeTest, ::testing::ValuesIn(kDecodeCases));

struct EncodeCase {
  char type;
  int length;
  int decimals;
  rt::Value value;
  std::string stored;  // hex; empty when an error is expected
  const char* error;   // detail of the expected error
};

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, WritesBytesOrRefuses) {
  const EncodeCase& c = GetParam();
  Field f = makeField(c.type, c.length, c.decimals);
  f.name = "AMOUNT";
  std::vector<std::byte> raw(f.length, std::byte{'#'});
  Status s = encodeField(f, c.value, raw);
  if (c.error != nullptr) {
    EXPECT_EQ(s.code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(s.detail(), c.error);
    return;
  }
  ASSERT_TRUE(s.isOk()) << s.toString();
  EXPECT_EQ(raw, testing::hexBytes(c.stored));
  // And it reads back as the value written (numbers as rounded to the field).
  if (c.type != 'C') {
    EXPECT_EQ(show(decodeField(f, raw)).substr(0, 4), show(c.value).substr(0, 4));
  }
}

const EncodeCase kEncodeCases[] = {
    {'C', 5, 0, rt::Value("ab"), "'ab   '", nullptr},
    {'C', 3, 0, rt::Value("abcdef"), "'abc'", nullptr},
    {'C', 3, 0, rt::Value(12.0), "", "data type mismatch: field AMOUNT (C) takes text, not number"},
    {'N', 8, 2, rt::Value(3.14159), "'    3.14'", nullptr},
    {'N', 8, 2, rt::Value(2.5), "'    2.50'", nullptr},
    {'N', 5, 0, rt::Value(-42.0), "'  -42'", nullptr},
    {'N', 6, 2, rt::Value(-0.001), "'  0.00'", nullptr},
    {'N', 6, 2, rt::Value(-0.0), "'  0.00'", nullptr},
    {'N', 6, 2, rt::Value(999.99), "'999.99'", nullptr},
    {'N', 6, 2, rt::Value(1000.0), "",
     "numeric overflow: 1000.00 does not fit field AMOUNT N(6,2)"},
    {'N', 5, 2, rt::Value(-12.5), "", "numeric overflow: -12.50 does not fit field AMOUNT N(5,2)"},
    {'N', 20, 0, rt::Value(1e25), "",
     "numeric overflow: 10000000000000000905969664 does not fit field AMOUNT N(20)"},
    {'N', 8, 0, rt::Value("12"), "", "data type mismatch: field AMOUNT (N) takes a number, not text"},
    {'F', 10, 3, rt::Value(1234.5), "'  1234.500'", nullptr},
    {'D', 8, 0, rt::Value(rt::Date::fromYmd(2024, 2, 29)), "'20240229'", nullptr},
    {'D', 8, 0, rt::Value(rt::Date{}), "'        '", nullptr},
    {'D', 8, 0, rt::Value(true), "", "data type mismatch: field AMOUNT (D) takes a date, not logical"},
    {'L', 1, 0, rt::Value(true), "'T'", nullptr},
    {'L', 1, 0, rt::Value(false), "'F'", nullptr},
    {'I', 4, 0, rt::Value(123456.0), "40 E2 01 00", nullptr},
    {'I', 4, 0, rt::Value(-1.0), "FF FF FF FF", nullptr},
    {'I', 4, 0, rt::Value(2.6), "03 00 00 00", nullptr},
    {'I', 4, 0, rt::Value(3e9), "", "numeric overflow: field AMOUNT holds 32-bit integers"},
    {'B', 8, 2, rt::Value(1.5), "00 00 00 00 00 00 F8 3F", nullptr},
    {'Y', 8, 4, rt::Value(12.3456), "40 E2 01 00 00 00 00 00", nullptr},
    {'T', 8, 0, rt::Value(rt::Date::fromYmd(2000, 1, 1)), "59 68 25 00 00 00 00 00", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Types, EncodeTest, ::testing::ValuesIn(kEncodeCases));

TEST(MemoPointerTest, BothFormsAndGarbage) {
  const Field ascii = makeField('M', 10);
  const Field binary = makeField('M', 4);
  struct Case {
    const Field* f;
    std::string stored;
    std::int64_t block;  // -1: corruption
  };
  const Case cases[] = {
      {&ascii, "'        12'", 12},
      {&ascii, "'          '", 0},
      {&ascii, "00 00 00 00 00 00 00 00 00 00", 0},
      {&ascii, "'         0'", 0},
      {&ascii, "'  12 3    '", -1},
      {&ascii, "'      1x  '", -1},
      {&ascii, "'9999999999'", -1},
      {&binary, "0C 00 00 00", 12},
      {&binary, "00 00 00 00", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    Result<std::uint32_t> b = decodeMemoPointer(*c.f, testing::hexBytes(c.stored));
    if (c.block < 0) {
      EXPECT_EQ(b.status().code(), Status::Code::kCorruption);
    } else {
      ASSERT_TRUE(b.isOk());
      EXPECT_EQ(*b, static_cast<std::uint32_t>(c.block));
    }
  }
  std::vector<std::byte> raw(10);
  encodeMemoPointer(ascii, 1234, raw);
  EXPECT_EQ(raw, testing::hexBytes("'      1234'"));
  encodeMemoPointer(ascii, 0, raw);
  EXPECT_EQ(raw, testing::hexBytes("'          '"));
}

// Record: NULL handling of VFP tables and refused values leaving the buffer alone.
TEST(RecordTest, RefusedValueLeavesTheBufferAndNullsRoundTrip) {
  Result<TableSchema> s = TableSchema::fromSpecs({{"QTY", 'N', 5, 1}, {"NOTE", 'M'}},
                                                 TableFormat::kFoxPro2, false, 3);
  ASSERT_TRUE(s.isOk()) << s.status().toString();
  Record r(std::make_shared<const TableSchema>(*s));
  ASSERT_TRUE(r.setValue(0, rt::Value(12.5)).isOk());
  EXPECT_FALSE(r.setValue(0, rt::Value(123456.0)).isOk());
  EXPECT_EQ(r.value(0)->number(), 12.5);
  EXPECT_FALSE(r.setValue(0, rt::Value()).isOk()) << "a FoxPro 2.x field cannot be NULL";
  EXPECT_EQ(r.value(1).status().code(), Status::Code::kInvalidArgument);
  ASSERT_TRUE(r.setValue(1, rt::Value("pending")).isOk());
  EXPECT_EQ(r.value(1)->text(), "pending");
  r.blank();
  EXPECT_TRUE(r.pendingMemos().empty());
  EXPECT_EQ(r.value(0)->number(), 0.0);
}

TEST(RecordTest, NullFlagsOfVfpFields) {
  // A VFP header by hand: NAME C(4) nullable, _NullFlags 0(1) system.
  std::vector<std::byte> h(32 + 64 + 1 + 263, std::byte{0});
  h[0] = std::byte{0x30};
  h[8] = std::byte{static_cast<unsigned char>(h.size() & 0xFF)};
  h[9] = std::byte{static_cast<unsigned char>(h.size() >> 8)};
  h[10] = std::byte{6};
  std::memcpy(&h[32], "NAME", 4);
  h[32 + 11] = std::byte{'C'};
  h[32 + 16] = std::byte{4};
  h[32 + 18] = std::byte{kFieldNullable};
  std::memcpy(&h[64], "_NullFlags", 10);
  h[64 + 11] = std::byte{'0'};
  h[64 + 16] = std::byte{1};
  h[64 + 18] = std::byte{kFieldSystem};
  h[96] = std::byte{0x0D};
  Result<TableSchema> s = TableSchema::parse(h, "V.DBF");
  ASSERT_TRUE(s.isOk()) << s.status().toString();
  EXPECT_EQ(s->field(0).nullBit, 0);
  EXPECT_TRUE(s->field(1).isSystem());
  Record r(std::make_shared<const TableSchema>(*s));
  ASSERT_TRUE(r.setValue(0, rt::Value("ab")).isOk());
  EXPECT_FALSE(r.isNull(0));
  ASSERT_TRUE(r.setValue(0, rt::Value()).isOk());
  EXPECT_TRUE(r.isNull(0));
  EXPECT_TRUE(r.value(0)->isNil());
  EXPECT_EQ(r.bytes()[5], std::byte{0x01});
  ASSERT_TRUE(r.setValue(0, rt::Value("cd")).isOk());
  EXPECT_EQ(r.value(0)->text(), "cd  ");
  EXPECT_EQ(r.bytes()[5], std::byte{0x00});
}

}  // namespace
}  // namespace dbe::dbf
