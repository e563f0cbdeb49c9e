#include "win_path.h"

#include <gtest/gtest.h>
#include <string_view>

namespace files {
namespace {

using Kind = WinPath::Kind;

struct ParseCase {
  std::string_view text;
  Kind kind;
  char drive;
  std::string_view normal;  // toString() of the parsed path
};

constexpr ParseCase kParseCases[] = {
    {"mstrctrl", Kind::kRelative, '\0', "mstrctrl"},
    {"sub/x.dbf", Kind::kRelative, '\0', "sub\\x.dbf"},
    {".\\x", Kind::kRelative, '\0', "x"},
    {".", Kind::kRelative, '\0', "."},
    {"sub\\..\\x", Kind::kRelative, '\0', "x"},
    {"a\\..\\..\\x", Kind::kRelative, '\0', "..\\x"},
    {"..\\..\\x", Kind::kRelative, '\0', "..\\..\\x"},
    {"c:x.dbf", Kind::kDriveRelative, 'C', "C:x.dbf"},
    {"C:", Kind::kDriveRelative, 'C', "C:"},
    {"C:..\\x", Kind::kDriveRelative, 'C', "C:..\\x"},
    {"\\vadnorel", Kind::kRooted, '\0', "\\vadnorel"},
    {"/vadnorel/", Kind::kRooted, '\0', "\\vadnorel"},
    {"\\", Kind::kRooted, '\0', "\\"},
    {"\\..\\x", Kind::kRooted, '\0', "\\x"},
    {"C:\\vadnorel\\vendorpo_201603091405.PDF", Kind::kDriveAbsolute, 'C',
     "C:\\vadnorel\\vendorpo_201603091405.PDF"},
    {"c:/a//b/", Kind::kDriveAbsolute, 'C', "C:\\a\\b"},
    {"C:\\..\\..\\x", Kind::kDriveAbsolute, 'C', "C:\\x"},
    {"d:\\", Kind::kDriveAbsolute, 'D', "D:\\"},
    {"\\\\server\\share\\out.pdf", Kind::kUnc, '\0', "\\\\server\\share\\out.pdf"},
    {"//server/share", Kind::kUnc, '\0', "\\\\server\\share"},
    {"\\\\server\\share\\..\\..\\x", Kind::kUnc, '\0', "\\\\server\\share\\x"},
    // Windows drops trailing dots and blanks of each name.
    {"EMAIL.INI  ", Kind::kRelative, '\0', "EMAIL.INI"},
    {"name.", Kind::kRelative, '\0', "name"},
    {"C:\\dir. \\f", Kind::kDriveAbsolute, 'C', "C:\\dir\\f"},
    {" lead", Kind::kRelative, '\0', " lead"},
};

class WinPathParse : public testing::TestWithParam<ParseCase> {};

TEST_P(WinPathParse, KindDriveAndNormalForm) {
  const ParseCase& c = GetParam();
  Result<WinPath> p = WinPath::parse(c.text);
  ASSERT_TRUE(p) << p.error().toString();
  EXPECT_EQ(p->kind(), c.kind);
  EXPECT_EQ(p->drive(), c.drive);
  EXPECT_EQ(p->toString(), c.normal);
  // The normal form reads back as itself.
  Result<WinPath> again = WinPath::parse(p->toString());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->toString(), c.normal);
}

INSTANTIATE_TEST_SUITE_P(Forms, WinPathParse, testing::ValuesIn(kParseCases));

TEST(WinPathParse, UncKeepsServerAndShareAsGiven) {
  Result<WinPath> p = WinPath::parse("\\\\Backup\\Reports\\2016\\out.pdf");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->server(), "Backup");
  EXPECT_EQ(p->share(), "Reports");
  EXPECT_EQ(p->rootText(), "\\\\Backup\\Reports");
  EXPECT_EQ(p->components(), (std::vector<std::string>{"2016", "out.pdf"}));
}

struct BadCase {
  std::string_view text;
  std::string_view message;  // part of the error message
};

constexpr BadCase kBadCases[] = {
    {"", "empty file name"},
    {"a?b", "invalid character '?'"},
    {"a*b.dbf", "invalid character '*'"},
    {"C:\\a:b", "invalid character ':'"},
    {"a|b", "invalid character '|'"},
    {"a<b", "invalid character '<'"},
    {"a\"b", "invalid character '\"'"},
    {"a\tb", "invalid control character 9"},
    {"\\\\server", "needs a server and a share"},
    {"\\\\server\\", "needs a server and a share"},
    {"\\\\\\x\\y", "needs a server and a share"},
    {"\\\\", "needs a server and a share"},
    {"\\\\se?ver\\share", "invalid character '?' in a network name"},
    {"\\\\?\\C:\\x", "device paths"},
    {"\\\\.\\COM1", "device paths"},
    {"a\\...\\b", "only of dots or blanks"},
    {"a\\ \\b", "only of dots or blanks"},
};

class WinPathReject : public testing::TestWithParam<BadCase> {};

TEST_P(WinPathReject, WithClearMessage) {
  const BadCase& c = GetParam();
  Result<WinPath> p = WinPath::parse(c.text);
  ASSERT_FALSE(p) << p->toString();
  EXPECT_EQ(p.error().kind, Error::Kind::kInvalidPath);
  EXPECT_EQ(p.error().path, c.text);
  EXPECT_NE(p.error().message.find(c.message), std::string::npos) << p.error().message;
}

INSTANTIATE_TEST_SUITE_P(Bad, WinPathReject, testing::ValuesIn(kBadCases));

TEST(WinPathReject, EmbeddedNulIsAControlCharacter) {
  Result<WinPath> p = WinPath::parse(std::string_view("a\0b", 3));
  ASSERT_FALSE(p);
  EXPECT_NE(p.error().message.find("control character 0"), std::string::npos);
}

struct ApplyCase {
  std::string_view base;
  std::string_view path;
  std::string_view result;
};

constexpr ApplyCase kApplyCases[] = {
    {"C:\\vadnorel", "x.dbf", "C:\\vadnorel\\x.dbf"},
    {"C:\\vadnorel", "..\\rovudo\\stunnel.pem", "C:\\rovudo\\stunnel.pem"},
    {"C:\\vadnorel", "..\\..\\..\\x", "C:\\x"},  // never above the root
    {"C:\\vadnorel", "\\x", "C:\\x"},
    {"C:\\vadnorel", "C:sub", "C:\\vadnorel\\sub"},
    {"C:\\vadnorel", "D:\\y", "D:\\y"},
    {"C:\\vadnorel", ".", "C:\\vadnorel"},
    {"\\\\s\\sh\\d", "..\\..\\x", "\\\\s\\sh\\x"},
    {"\\\\s\\sh\\d", "\\x", "\\\\s\\sh\\x"},
};

class WinPathApply : public testing::TestWithParam<ApplyCase> {};

TEST_P(WinPathApply, JoinsAndClimbs) {
  const ApplyCase& c = GetParam();
  Result<WinPath> base = WinPath::parse(c.base);
  Result<WinPath> p = WinPath::parse(c.path);
  ASSERT_TRUE(base && p);
  EXPECT_EQ(p->appliedTo(*base).toString(), c.result);
}

INSTANTIATE_TEST_SUITE_P(Bases, WinPathApply, testing::ValuesIn(kApplyCases));

TEST(FoldCase, AsciiOnly) {
  EXPECT_TRUE(equalsFolded("mstrctrl.dbf", "MSTRCTRL.DBF"));
  EXPECT_FALSE(equalsFolded("mstrctrl.dbf", "MSTRCTRL.DBFX"));
  EXPECT_FALSE(equalsFolded("a_b", "a b"));
  // UTF-8 "é" and "É" are different bytes, compared exactly.
  EXPECT_FALSE(equalsFolded("caf\xc3\xa9", "CAF\xc3\x89"));
  EXPECT_EQ(foldCase("apmstrfl.CDX"), "APMSTRFL.CDX");
}

}  // namespace
}  // namespace files
