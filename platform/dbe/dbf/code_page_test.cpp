#include "code_page.h"

#include <gtest/gtest.h>

namespace dbe::dbf {
namespace {

struct CodePageCase {
  std::uint8_t mark;
  int codePage;
  std::string tableBytes;  // "é" or a letter of that code page
  std::string utf8;
};

class CodePageTest : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePageTest, ConvertsBothWays) {
  const CodePageCase& c = GetParam();
  EXPECT_EQ(codePageOfMark(c.mark), c.codePage);
  EXPECT_EQ(markOfCodePage(c.codePage), c.mark);
  TextConverter conv(c.mark);
  EXPECT_FALSE(conv.isIdentity());
  EXPECT_EQ(conv.toUtf8("A" + c.tableBytes + "z"), "A" + c.utf8 + "z");
  Result<std::string> back = conv.fromUtf8("A" + c.utf8 + "z");
  ASSERT_TRUE(back.isOk()) << back.status().toString();
  EXPECT_EQ(*back, "A" + c.tableBytes + "z");
}

const CodePageCase kCases[] = {
    {0x01, 437, "\x82", "\xC3\xA9"},    // é
    {0x02, 850, "\x82", "\xC3\xA9"},    // é
    {0x64, 852, "\xA5", "\xC4\x85"},    // ą
    {0xC8, 1250, "\xB9", "\xC4\x85"},   // ą
    {0xC9, 1251, "\xC4", "\xD0\x94"},   // Д
    {0x03, 1252, "\xE9\x80", "\xC3\xA9\xE2\x82\xAC"},  // é€
    {0x65, 866, "\x84", "\xD0\x94"},    // Д
};

INSTANTIATE_TEST_SUITE_P(Marks, CodePageTest, ::testing::ValuesIn(kCases));

TEST(TextConverterTest, UnknownMarksPassThrough) {
  for (std::uint8_t mark : {0x00, 0x5A, 0xFF}) {
    TextConverter conv(mark);
    EXPECT_TRUE(conv.isIdentity());
    EXPECT_EQ(conv.toUtf8("\x82\xFF"), "\x82\xFF");
    EXPECT_EQ(*conv.fromUtf8("\xC3\xA9"), "\xC3\xA9");
  }
}

TEST(TextConverterTest, InvalidAndUnrepresentableText) {
  TextConverter conv(0x03);
  EXPECT_EQ(conv.fromUtf8("bad \xC3").status().code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(conv.fromUtf8("\xED\xA0\x80").status().code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(*conv.fromUtf8("x\xD0\x94y"), "x?y") << "Д has no place in 1252";
  EXPECT_EQ(conv.toUtf8("\x81"), "\xEF\xBF\xBD") << "1252 leaves 0x81 undefined";
  TextConverter copy = conv;  // copies convert on their own
  EXPECT_EQ(copy.toUtf8("\xE9"), "\xC3\xA9");
  EXPECT_EQ(conv.toUtf8("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace dbe::dbf
