// Opening tables: tiny tables as hex, each damaged one with the message it must give, and the
// quirks of other writers that must open fine.
#include <gtest/gtest.h>

#include "table.h"
#include "test_util.h"

namespace dbe::dbf {
namespace {

using testing::hexBytes;

// A FoxPro 2.x table with one field NAME C(4) and two records, "ABCD" and "WXYZ".
constexpr std::string_view kPrefix = "03 19 0C 0B";           // version, 2025-12-11
constexpr std::string_view kCount2 = "02 00 00 00";
constexpr std::string_view kLengths = "41 00 05 00";          // header 65, record 5
constexpr std::string_view kReserved = "00000000 00000000 00000000 00000000 00 03 0000";
constexpr std::string_view kNameField =
    "'NAME' 00 00 00 00 00 00 00 'C' 00000000 04 00 0000 00000000 00000000 00000000";
constexpr std::string_view kRecords = "0D '\x20''ABCD' '\x20''WXYZ' 1A";

std::string table(std::string_view prefix = kPrefix, std::string_view count = kCount2,
                  std::string_view lengths = kLengths, std::string_view field = kNameField,
                  std::string_view rest = kRecords) {
  return std::string(prefix) + " " + std::string(count) + " " + std::string(lengths) + " " +
         std::string(kReserved) + " " + std::string(field) + " " + std::string(rest);
}

class TableOpenTest : public ::testing::Test {
 protected:
  Result<std::unique_ptr<Table>> openHex(const std::string& hex) {
    testing::writeWholeFile(fs_.get(), "T.DBF", hexBytes(hex));
    return Table::open(fs_.get(), "T.DBF");
  }
  std::unique_ptr<FileSystem> fs_ = newMemoryFileSystem();
};

struct CorruptCase {
  const char* name;
  std::string hex;
  Status::Code code;
  const char* message;
  std::size_t cutTo = 0;  // keep only this many bytes of the file (0: all)
};

std::vector<CorruptCase> corruptCases() {
  return {
      {"ShorterThanAHeader", "03 19 0C 0B 02 00", Status::Code::kCorruption,
       "Corruption: T.DBF: table header: file ends at 6, expected 32 bytes at offset 0"},
      {"UnknownVersion", table("99 19 0C 0B"), Status::Code::kCorruption,
       "Corruption: T.DBF: not a table: unknown version byte 0x99"},
      {"EncryptedVersion", table("06 19 0C 0B"), Status::Code::kNotSupported,
       "Not supported: T.DBF: the table is encrypted (version 0x06)"},
      {"HeaderLengthZero", table(kPrefix, kCount2, "00 00 05 00"), Status::Code::kCorruption,
       "Corruption: T.DBF: header length 0 is too small for a table with fields"},
      {"HeaderLengthAbsurd", table(kPrefix, kCount2, "FF FF 05 00"), Status::Code::kCorruption,
       "Corruption: T.DBF: header length 65535 is beyond the end of the file (76 bytes)"},
      {"TruncatedInsideTheHeader", table(), Status::Code::kCorruption,
       "Corruption: T.DBF: header length 65 is beyond the end of the file (40 bytes)", 40},
      {"CountLargerThanFile", table(kPrefix, "03 00 00 00"), Status::Code::kCorruption,
       "Corruption: T.DBF: the header counts 3 records, but the file holds only 2 (76 bytes)"},
      {"TruncatedRecord", table(kPrefix, kCount2, kLengths, kNameField, "0D 20 'ABCD' 20 'WX'"),
       Status::Code::kCorruption,
       "Corruption: T.DBF: the header counts 2 records, but the file holds only 1 (73 bytes)"},
      {"RecordLengthMismatch", table(kPrefix, kCount2, "41 00 06 00"), Status::Code::kCorruption,
       "Corruption: T.DBF: record length 6 does not match the fields (5 bytes)"},
      {"UnknownFieldType",
       table(kPrefix, kCount2, kLengths,
             "'NAME' 00 00 00 00 00 00 00 'Z' 00000000 04 00 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption, "Corruption: T.DBF: field NAME has unknown type 'Z'"},
      {"UnprintableFieldType",
       table(kPrefix, kCount2, kLengths,
             "'NAME' 00 00 00 00 00 00 00 01 00000000 04 00 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption, "Corruption: T.DBF: field NAME has unknown type 0x01"},
      {"FieldWithoutName",
       table(kPrefix, kCount2, kLengths,
             "00 'AME' 00 00 00 00 00 00 00 'C' 00000000 04 00 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption, "Corruption: T.DBF: field 1 has no name"},
      {"FieldNameWithoutEnd",
       table(kPrefix, kCount2, kLengths,
             "'NAMENAMENAM' 'C' 00000000 04 00 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption,
       "Corruption: T.DBF: field 1 has a name of 11 characters without an end"},
      {"DateOfWrongWidth",
       table(kPrefix, kCount2, kLengths,
             "'NAME' 00 00 00 00 00 00 00 'D' 00000000 04 00 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption, "Corruption: T.DBF: field NAME (D): length 4 (8 expected)"},
      {"NumericWithTooManyDecimals",
       table(kPrefix, kCount2, kLengths,
             "'NAME' 00 00 00 00 00 00 00 'N' 00000000 04 04 0000 00000000 00000000 00000000"),
       Status::Code::kCorruption, "Corruption: T.DBF: field NAME (N): 4 decimals in a width of 4"},
      {"NoFieldsAtAll", table(kPrefix, kCount2, "41 00 05 00", "0D" + std::string(64, '0'), ""),
       Status::Code::kCorruption, "Corruption: T.DBF: the table has no fields"},
  };
}

class CorruptTableTest : public TableOpenTest,
                         public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(CorruptTableTest, GivesItsMessage) {
  std::vector<std::byte> bytes = hexBytes(GetParam().hex);
  if (GetParam().cutTo != 0) bytes.resize(GetParam().cutTo);
  testing::writeWholeFile(fs_.get(), "T.DBF", bytes);
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF");
  ASSERT_FALSE(t.isOk());
  EXPECT_EQ(t.status().code(), GetParam().code);
  EXPECT_EQ(t.status().toString(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Cases, CorruptTableTest, ::testing::ValuesIn(corruptCases()),
                         [](const ::testing::TestParamInfo<CorruptCase>& p) {
                           return std::string(p.param.name);
                         });

// Quirks of other writers that open and read fine.
struct QuirkCase {
  const char* name;
  std::string hex;
  std::uint32_t count;
  std::uint32_t trailing;
};

std::vector<QuirkCase> quirkCases() {
  constexpr std::string_view kGarbledDescriptor =
      "'NAME' 00 00 00 00 00 00 00 'C' DEADBEEF 04 00 FF 7F 11223344 55667788 99AABBCC";
  return {
      {"Tidy", table(), 2, 0},
      {"NoEndMark", table(kPrefix, kCount2, kLengths, kNameField, "0D 20 'ABCD' 20 'WXYZ'"), 2, 0},
      {"EndMarkInsideData", table(kPrefix, kCount2, kLengths, kNameField, "0D 20 'AB' 1A 'D' 20 'WXYZ'"),
       2, 0},
      {"ExtraByteAfterTerminator",
       table(kPrefix, kCount2, "42 00 05 00", kNameField, "0D 00 20 'ABCD' 20 'WXYZ' 1A"), 2, 0},
      {"MissingTerminator", table(kPrefix, kCount2, "40 00 05 00", kNameField, "20 'ABCD' 20 'WXYZ'"),
       2, 0},
      {"GarbageInNonVfpDescriptor", table(kPrefix, kCount2, kLengths, kGarbledDescriptor), 2, 0},
      {"RecordAfterTheCount", table(kPrefix, "01 00 00 00"), 1, 1},
      {"DbaseYearByte", table("03 7D 0C 0B"), 2, 0},
      {"DbaseIIIWithoutMemo", table("83 19 0C 0B"), 2, 0},
  };
}

class QuirkTableTest : public TableOpenTest, public ::testing::WithParamInterface<QuirkCase> {};

TEST_P(QuirkTableTest, OpensAndReads) {
  Result<std::unique_ptr<Table>> t = openHex(GetParam().hex);
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  EXPECT_EQ((*t)->recordCount(), GetParam().count);
  EXPECT_EQ((*t)->trailingRecords(), GetParam().trailing);
  Record r = (*t)->newRecord();
  ASSERT_TRUE((*t)->read(1, &r).isOk());
  const std::string first = r.value(0)->text();
  EXPECT_TRUE(first == "ABCD" || first == "AB\x1A" "D") << first;
  if (GetParam().count == 2) {
    ASSERT_TRUE((*t)->read(2, &r).isOk());
    EXPECT_EQ(r.value(0)->text(), "WXYZ");
  }
  EXPECT_EQ((*t)->read(GetParam().count + 1, &r).code(), Status::Code::kNotFound);
}

INSTANTIATE_TEST_SUITE_P(Cases, QuirkTableTest, ::testing::ValuesIn(quirkCases()),
                         [](const ::testing::TestParamInfo<QuirkCase>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(TableOpenTest, HeaderFactsAreExposed) {
  Result<std::unique_ptr<Table>> t = openHex(table("F5 7D 0C 0B"));
  // Version 0xF5 without memo fields needs no memo file.
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  int y, m, d;
  (*t)->lastUpdate(&y, &m, &d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20251211);
  EXPECT_EQ((*t)->codePageMark(), 0x03);
  EXPECT_FALSE((*t)->hasStructuralIndex());
  EXPECT_EQ((*t)->lockLayout().scheme(), LockLayout::Scheme::kFoxPro2);
  EXPECT_EQ((*t)->schema().field(0).offset, 1u);
}

TEST_F(TableOpenTest, StructuralIndexFlagChoosesTheVfpLockScheme) {
  std::string hex = table();
  // Byte 28 is the 29th byte: flags 0x01.
  std::vector<std::byte> bytes = hexBytes(hex);
  bytes[28] = std::byte{0x01};
  testing::writeWholeFile(fs_.get(), "T.DBF", bytes);
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF");
  ASSERT_TRUE(t.isOk());
  EXPECT_TRUE((*t)->hasStructuralIndex());
  EXPECT_EQ((*t)->structuralIndexPath(), std::filesystem::path("T.CDX"));
  EXPECT_EQ((*t)->lockLayout().scheme(), LockLayout::Scheme::kVfp);
  EXPECT_EQ((*t)->lockLayout().record(1).offset, 0x7FFFFFFDu);
}

TEST_F(TableOpenTest, BadDeletionFlagIsCorruptionOfThatRecord) {
  Result<std::unique_ptr<Table>> t =
      openHex(table(kPrefix, kCount2, kLengths, kNameField, "0D 00 'ABCD' 20 'WXYZ' 1A"));
  ASSERT_TRUE(t.isOk());
  Record r = (*t)->newRecord();
  Status s = (*t)->read(1, &r);
  EXPECT_EQ(s.toString(), "Corruption: T.DBF: record 1 has an invalid deletion flag (byte 0)");
  EXPECT_TRUE((*t)->read(2, &r).isOk());
}

TEST_F(TableOpenTest, MissingFileAndMissingMemoFile) {
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "NOPE.DBF");
  EXPECT_EQ(t.status().code(), Status::Code::kNotFound);
  // An F5 table with a memo field and no .fpt.
  const std::string memoField =
      "'NOTES' 00 00 00 00 00 00 'M' 00000000 0A 00 0000 00000000 00000000 00000000";
  t = openHex(table("F5 19 0C 0B", "00 00 00 00", "41 00 0B 00", memoField, "0D 1A"));
  ASSERT_FALSE(t.isOk());
  EXPECT_EQ(t.status().toString(), "Not found: T.FPT: the memo file of T.DBF is missing");
}

TEST_F(TableOpenTest, LongCharacterFieldOfOtherEngines) {
  // C(300): length byte 0x2C and the high byte 0x01 in the decimals byte; record length 301.
  const std::string field =
      "'NAME' 00 00 00 00 00 00 00 'C' 00000000 2C 01 0000 00000000 00000000 00000000";
  std::vector<std::byte> bytes =
      hexBytes(table(kPrefix, "01 00 00 00", "41 00 2D 01", field, "0D 20"));
  bytes.resize(bytes.size() + 300, std::byte{'x'});
  testing::writeWholeFile(fs_.get(), "T.DBF", bytes);
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF");
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  EXPECT_EQ((*t)->schema().field(0).length, 300u);
  Record r = (*t)->newRecord();
  ASSERT_TRUE((*t)->read(1, &r).isOk());
  EXPECT_EQ(r.value(0)->text(), std::string(300, 'x'));
}

TEST_F(TableOpenTest, DbaseMemoTablesOpenButTheirMemosAreNotRead) {
  const std::string memoField =
      "'NOTES' 00 00 00 00 00 00 'M' 00000000 0A 00 0000 00000000 00000000 00000000";
  Result<std::unique_ptr<Table>> t =
      openHex(table("83 19 0C 0B", "01 00 00 00", "41 00 0B 00", memoField, "0D 20 '         1' 1A"));
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  EXPECT_EQ((*t)->schema().memoKind(), MemoKind::kDbt);
  Record r = (*t)->newRecord();
  ASSERT_TRUE((*t)->read(1, &r).isOk());
  EXPECT_EQ((*t)->value(r, 0).status().code(), Status::Code::kNotSupported);
}

TEST_F(TableOpenTest, AutoincrementTablesRefuseAppends) {
  std::vector<std::byte> bytes = hexBytes(table("31 19 0C 0B"));
  bytes.insert(bytes.begin() + 65, 263, std::byte{0});  // the VFP backlink
  bytes[8] = std::byte{static_cast<unsigned char>(65 + 263)};
  bytes[9] = std::byte{static_cast<unsigned char>((65 + 263) >> 8)};
  bytes[32 + 18] = std::byte{kFieldAutoIncrement | kFieldBinary};
  testing::writeWholeFile(fs_.get(), "T.DBF", bytes);
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF");
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  EXPECT_EQ((*t)->appendBlank().status().code(), Status::Code::kNotSupported);
  EXPECT_EQ((*t)->recordCount(), 2u);
}

}  // namespace
}  // namespace dbe::dbf
