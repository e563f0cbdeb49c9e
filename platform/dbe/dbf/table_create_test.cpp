// Creating tables, and every field type through create, append, close, reopen and read.
#include "table.h"

#include <gtest/gtest.h>

#include "byte_order.h"
#include "test_util.h"

namespace dbe::dbf {
namespace {

using namespace std::chrono_literals;

void fixedDay(int* y, int* m, int* d) {
  *y = 2024;
  *m = 3;
  *d = 15;
}

OpenOptions shared() {
  OpenOptions o;
  o.today = fixedDay;
  return o;
}
OpenOptions exclusive() {
  OpenOptions o = shared();
  o.exclusive = true;
  return o;
}
CreateOptions createOptions(TableFormat format = TableFormat::kFoxPro2, bool cdx = false) {
  CreateOptions c;
  c.format = format;
  c.structuralIndex = cdx;
  c.open = exclusive();
  return c;
}

// ---- every field type, both formats ----

struct TypeCase {
  std::string name;
  TableFormat format;
  FieldSpec spec;
  rt::Value written;
  std::string stored;  // hex of the field bytes ("" for memo fields)
  std::string read;    // debugString of the value read back
};

std::vector<TypeCase> typeCases() {
  const rt::Date day = rt::Date::fromYmd(2024, 3, 15);
  std::vector<TypeCase> cases;
  for (TableFormat fmt : {TableFormat::kFoxPro2, TableFormat::kVisualFoxPro}) {
    const bool vfp = fmt == TableFormat::kVisualFoxPro;
    const std::string p = vfp ? "Vfp" : "Fox";
    cases.push_back({"C", fmt, {"NAME", 'C', 8}, rt::Value("Smith"), "'Smith   '", "Smith   "});
    cases.push_back({"N", fmt, {"AMOUNT", 'N', 10, 2}, rt::Value(-1234.5), "'  -1234.50'",
                     "-1234.5"});
    cases.push_back({"F", fmt, {"RATE", 'F', 8, 3}, rt::Value(0.125), "'   0.125'", "0.125"});
    cases.push_back({"D", fmt, {"DUE", 'D'}, rt::Value(day), "'20240315'", "20240315"});
    cases.push_back({"L", fmt, {"ACTIVE", 'L'}, rt::Value(true), "'T'", ".T."});
    cases.push_back({"M", fmt, {"NOTES", 'M'}, rt::Value(std::string(300, 'x') + "end"), "",
                     std::string(300, 'x') + "end"});
    cases.push_back({"EmptyMemo", fmt, {"NOTES", 'M'}, rt::Value(""), vfp ? "00000000" : "'          '",
                     ""});
    if (vfp) {
      cases.push_back({"I", fmt, {"QTY", 'I'}, rt::Value(-7.0), "F9 FF FF FF", "-7"});
      cases.push_back({"B", fmt, {"WEIGHT", 'B', 0, 2}, rt::Value(0.5), "00 00 00 00 00 00 E0 3F",
                       "0.5"});
      cases.push_back({"Y", fmt, {"PRICE", 'Y'}, rt::Value(9.99), "3C 86 01 00 00 00 00 00",
                       "9.99"});
      cases.push_back({"T", fmt, {"STAMP", 'T'}, rt::Value(day), "E1 8A 25 00 00 00 00 00",
                       "20240315"});
    }
    for (std::size_t i = cases.size() - (vfp ? 11 : 7); i < cases.size(); ++i) {
      cases[i].name = p + cases[i].name;
    }
  }
  return cases;
}

class FieldTypeTest : public ::testing::TestWithParam<TypeCase> {
 protected:
  std::unique_ptr<FileSystem> fs_ = newMemoryFileSystem();
};

TEST_P(FieldTypeTest, RoundTripsThroughTheFile) {
  const TypeCase& c = GetParam();
  {
    Result<std::unique_ptr<Table>> t =
        Table::create(fs_.get(), "T.DBF", {{"ID", 'C', 3}, c.spec}, createOptions(c.format));
    ASSERT_TRUE(t.isOk()) << t.status().toString();
    Record r = (*t)->newRecord();
    ASSERT_TRUE(r.setValue(0, rt::Value("one")).isOk());
    ASSERT_TRUE(r.setValue(1, c.written).isOk());
    ASSERT_EQ(*(*t)->append(r), 1u);
    ASSERT_TRUE((*t)->close().isOk());
  }
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF", shared());
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  EXPECT_EQ((*t)->schema().version(),
            c.format == TableFormat::kVisualFoxPro ? 0x30 : (c.spec.type == 'M' ? 0xF5 : 0x03));
  Record r = (*t)->newRecord();
  ASSERT_TRUE((*t)->read(1, &r).isOk());
  if (!c.stored.empty()) {
    const std::span<const std::byte> raw = r.fieldBytes(1);
    EXPECT_EQ(std::vector<std::byte>(raw.begin(), raw.end()), testing::hexBytes(c.stored));
  }
  Result<rt::Value> v = (*t)->value(r, 1);
  ASSERT_TRUE(v.isOk()) << v.status().toString();
  EXPECT_EQ(v->debugString(), c.read);
  EXPECT_EQ((*t)->value(r, 0)->text(), "one");
}

INSTANTIATE_TEST_SUITE_P(Types, FieldTypeTest, ::testing::ValuesIn(typeCases()),
                         [](const ::testing::TestParamInfo<TypeCase>& p) { return p.param.name; });

TEST(TableCreateTest, RefusesBadFieldLists) {
  auto fs = newMemoryFileSystem();
  struct Case {
    std::vector<FieldSpec> fields;
    TableFormat format;
    const char* message;
  };
  const Case cases[] = {
      {{}, TableFormat::kFoxPro2, "a table needs at least one field"},
      {{{"TOOLONGNAME1", 'C', 5}}, TableFormat::kFoxPro2,
       "field TOOLONGNAME1: a name has 1 to 10 characters"},
      {{{"1ST", 'C', 5}}, TableFormat::kFoxPro2, "field 1ST: starts with a letter"},
      {{{"A-B", 'C', 5}}, TableFormat::kFoxPro2,
       "field A-B: only letters, digits and '_' are allowed"},
      {{{"A", 'C', 5}, {"a", 'N', 5}}, TableFormat::kFoxPro2, "field a: the name is taken"},
      {{{"A", 'C', 0}}, TableFormat::kFoxPro2, "field A: width 0 is outside 1-254"},
      {{{"A", 'C', 255}}, TableFormat::kFoxPro2, "field A: width 255 is outside 1-254"},
      {{{"A", 'N', 21}}, TableFormat::kFoxPro2, "field A: width 21 is outside 1-20"},
      {{{"A", 'N', 5, 4}}, TableFormat::kFoxPro2, "field A: 4 decimals do not fit width 5"},
      {{{"A", 'D', 10}}, TableFormat::kFoxPro2, "field A: type D has width 8"},
      {{{"A", 'I'}}, TableFormat::kFoxPro2,
       "field A: type 'I' is not available in this table format"},
      {{{"A", 'X', 3}}, TableFormat::kVisualFoxPro,
       "field A: type 'X' is not available in this table format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Result<std::unique_ptr<Table>> t = Table::create(fs.get(), "BAD.DBF", c.fields,
                                                     createOptions(c.format));
    ASSERT_FALSE(t.isOk());
    EXPECT_EQ(t.status().code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(t.status().detail(), c.message);
    EXPECT_FALSE(fs->exists("BAD.DBF"));
  }
}

TEST(TableCreateTest, WritesTheHeaderOtherEnginesExpect) {
  auto fs = newMemoryFileSystem();
  CreateOptions c = createOptions(TableFormat::kFoxPro2, /*cdx=*/true);
  Result<std::unique_ptr<Table>> t =
      Table::create(fs.get(), "V.DBF", {{"NAME", 'C', 20}, {"NOTE", 'M'}}, c);
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  ASSERT_TRUE((*t)->close().isOk());
  const std::vector<std::byte> dbf = testing::readWholeFile(fs.get(), "V.DBF");
  ASSERT_EQ(dbf.size(), 32u + 64u + 1u + 1u);
  EXPECT_EQ(dbf[0], std::byte{0xF5});
  EXPECT_EQ(dbf[1], std::byte{24});  // 2024 as year % 100
  EXPECT_EQ(getLe32(&dbf[4]), 0u);
  EXPECT_EQ(getLe16(&dbf[8]), 97u);
  EXPECT_EQ(getLe16(&dbf[10]), 31u);
  EXPECT_EQ(dbf[28], std::byte{0x01});
  EXPECT_EQ(dbf[29], std::byte{0x03});
  EXPECT_EQ(dbf[96], std::byte{0x0D});
  EXPECT_EQ(dbf[97], std::byte{0x1A});
  const std::vector<std::byte> fpt = testing::readWholeFile(fs.get(), "V.FPT");
  ASSERT_EQ(fpt.size(), 512u);
  EXPECT_EQ(getBe32(&fpt[0]), 8u);  // first free block after the header, 64-byte blocks
  EXPECT_EQ(getBe16(&fpt[6]), 64u);
  // Existing files are never replaced unless asked.
  Result<std::unique_ptr<Table>> again = Table::create(fs.get(), "V.DBF", {{"NAME", 'C', 2}}, c);
  EXPECT_EQ(again.status().code(), Status::Code::kInvalidArgument);
}

}  // namespace
}  // namespace dbe::dbf
