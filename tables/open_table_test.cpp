#include "open_table.h"

#include <fstream>
#include <gtest/gtest.h>

#include "runtime/error.h"
#include "test_drive.h"

namespace tables {
namespace {

using rt::Value;

// Catches what would go to the default error processing: the error is recorded and, as the
// runtime does when a handler returns, thrown as ErrorException.
class OpenTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.table("MSTRCTRL.DBF", {{"USEDISP", 'C', 1, 0}, {"SPEC204", 'C', 10, 0}},
                 {{Value("Y"), Value("edi204b")}}, {{"SPEC204", "SPEC204"}});
  }
  void TearDown() override {
    (void)dbe::workspace::closeAll();
    dbe::workspace::select(1);
    TestDrive::loadEngine();
  }

  // Runs `fn`, which must raise; returns the error raised.
  template <typename F>
  rt::Error raised(F fn) {
    rt::Error got;
    rt::ScopedErrorHandler h([&](const rt::Error& e) { got = e; });
    EXPECT_THROW(fn(), rt::ErrorException);
    return got;
  }

  TestDrive drive_;
};

TEST_F(OpenTableTest, ABareNameOpensFromTheDefaultDirectoryWithItsStructuralIndex) {
  dbe::WorkArea& a = openTable("mstrctrl");
  EXPECT_EQ(dbe::workspace::selected(), 1);
  EXPECT_TRUE(rt::textEqualsExact(a.alias(), "MSTRCTRL"));
  EXPECT_EQ(a.tagNames(), std::vector<std::string>{"SPEC204"});
  addIndex("mstrctrl.CDX");  // already open: no second copy
  EXPECT_EQ(a.tagNames().size(), 1u);
  auto usedisp = a.fieldGet(a.fieldPos("usedisp"));
  ASSERT_TRUE(usedisp.isOk());
  EXPECT_EQ(usedisp.value().text(), "Y");
}

TEST_F(OpenTableTest, ANameNotInTheDefaultDirectoryIsFoundAlongTheSearchPath) {
  std::filesystem::create_directories(drive_.root() / "other");
  ASSERT_TRUE(files::FileSystem::process().setDefaultDirectory("\\other").isOk());
  ASSERT_TRUE(files::FileSystem::process().setSearchPath("\\nowhere;\\VADNOREL").isOk());
  EXPECT_TRUE(fileExists("MSTRCTRL.dbf"));
  dbe::WorkArea& a = openTable("MSTRCTRL", {}, -1);
  EXPECT_EQ(a.path().parent_path(), drive_.dir());
}

TEST_F(OpenTableTest, FailuresAreRaisedWithTheWindowsNameAndAGenericCode) {
  {
    const rt::Error e = raised([] { openTable("apmstrfl"); });
    EXPECT_EQ(e.genCode, rt::kErrOpen);
    EXPECT_EQ(e.subsystem, "DBFCDX");
    EXPECT_EQ(e.operation, "open");
    EXPECT_NE(e.filename.find("apmstrfl.DBF"), std::string::npos) << e.filename;
  }
  {
    openTable("mstrctrl");
    const rt::Error e = raised([] { addIndex("NOINDEX"); });
    EXPECT_EQ(e.genCode, rt::kErrOpen);
    EXPECT_EQ(e.operation, "orderListAdd");
    EXPECT_NE(e.filename.find("NOINDEX.CDX"), std::string::npos) << e.filename;
    ASSERT_TRUE(dbe::workspace::closeAll().isOk());
  }
  {
    const rt::Error e = raised([] { addIndex("MSTRCTRL"); });
    EXPECT_EQ(e.genCode, rt::kErrNoTable);
  }
  {
    const rt::Error e = raised([] { openTable("D:\\vadnorel\\mstrctrl"); });
    EXPECT_EQ(e.genCode, rt::kErrOpen);  // drive D: is not mapped
    EXPECT_NE(e.description.find("not mapped"), std::string::npos) << e.description;
  }
}

TEST_F(OpenTableTest, ACorruptTableIsACorruptionErrorAndLeavesNothingOpen) {
  {
    std::ofstream f(drive_.dir() / "BROKEN.DBF", std::ios::binary);
    f << "this is not a table header at all";
  }
  const rt::Error e = raised([] { openTable("broken"); });
  EXPECT_EQ(e.genCode, rt::kErrCorruption);
  EXPECT_NE(e.filename.find("BROKEN.DBF"), std::string::npos) << e.filename;
  EXPECT_EQ(dbe::workspace::openCount(), 0);
}

TEST_F(OpenTableTest, WithoutTheEngineTheOpenNamesTheEngine) {
  dbe::dbeResetForTest();
  const rt::Error e = raised([] { openTable("mstrctrl"); });
  EXPECT_EQ(e.genCode, rt::kErrOpen);
  EXPECT_NE(e.description.find("FOXCDX"), std::string::npos) << e.description;
  EXPECT_NE(e.filename.find("mstrctrl.DBF"), std::string::npos) << e.filename;
}

TEST_F(OpenTableTest, FileExistsIgnoresCaseAndAnswersFalseForAMissingFile) {
  EXPECT_TRUE(fileExists("mstrctrl.cdx"));
  EXPECT_FALSE(fileExists("mstrctrl.fpt"));
  EXPECT_FALSE(fileExists("\\nodir\\x.dbf"));
}

}  // namespace
}  // namespace tables
