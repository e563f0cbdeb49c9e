#include "work_area.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "table_area.h"

namespace dbe {
namespace {

namespace fs = std::filesystem;

// A vendor-like table in a fresh temporary directory, with the two tags the report uses.
class WorkAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dbeLoad("FOXDBE", true);
    dbeLoad("CDXDBE", true);
    dbeBuild("FOXCDX", "FOXDBE", "CDXDBE");
    std::string tmpl = (fs::temp_directory_path() / "workarea-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    engineSettings() = EngineSettings{};
  }
  void TearDown() override {
    ASSERT_TRUE(workspace::closeAll().isOk());
    fs::remove_all(dir_);
  }

  fs::path table(const std::string& name = "APMSTRFL") { return dir_ / name; }

  void createVendors(const std::vector<std::pair<std::string, std::string>>& rows,
                     bool withTags = true) {
    ASSERT_TRUE(workspace::createTable(table(),
                                       {{"NUMBER", 'C', 5, 0},
                                        {"NAME", 'C', 20, 0},
                                        {"DEFACCOUNT", 'N', 6, 0},
                                        {"VENDINACT", 'L', 0, 0}},
                                       true)
                    .isOk());
    OpenOptions ex;
    ex.shared = false;
    ASSERT_TRUE(workspace::use(table(), ex, 1).isOk());
    WorkArea* a = workspace::area();
    for (const auto& [number, name] : rows) {
      ASSERT_TRUE(a->appendBlank().isOk());
      ASSERT_TRUE(a->fieldPut(1, rt::Value(number)).isOk());
      ASSERT_TRUE(a->fieldPut(2, rt::Value(name)).isOk());
    }
    if (withTags) {
      ASSERT_TRUE(a->createTag("NAMEORDR", "UPPER(NAME)", "", false, false).isOk());
      ASSERT_TRUE(a->createTag("APMSTRFL", "NUMBER", "", false, false).isOk());
    }
    ASSERT_TRUE(workspace::closeArea(1).isOk());
  }

  void openShared(int area = 1, const std::string& alias = "") {
    OpenOptions o;
    o.alias = alias;
    Status s = workspace::use(table(), o, area);
    ASSERT_TRUE(s.isOk()) << s.toString();
  }

  // Record numbers visited from the top in the current order.
  std::vector<std::uint32_t> walk(WorkArea* a) {
    std::vector<std::uint32_t> seen;
    EXPECT_TRUE(a->goTop().isOk());
    while (!a->eof()) {
      seen.push_back(a->recNo());
      EXPECT_TRUE(a->skip(1).isOk());
      if (seen.size() > 100000) break;
    }
    return seen;
  }

  std::vector<std::string> check() {
    auto* a = dynamic_cast<TableArea*>(workspace::area());
    std::vector<std::string> faults;
    Status s = a->verifyIndexes(&faults);
    if (!s.isOk()) faults.push_back(s.toString());
    return faults;
  }

  fs::path dir_;
};

TEST_F(WorkAreaTest, OrdersDeletedRecordsAndFilter) {
  createVendors({{"00003", "charlie"}, {"00001", "Alpha"}, {"00002", "bravo"}, {"00004", "Delta"}});
  openShared();
  WorkArea* a = workspace::area();
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(a->setOrder("nameordr").isOk());
  EXPECT_EQ(a->orderName(), "NAMEORDR");
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{2, 3, 1, 4}));
  ASSERT_TRUE(a->setOrder("APMSTRFL").isOk());
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{2, 3, 1, 4}));

  // Delete record 3 (bravo, number 00002); with deleted records hidden it is skipped.
  ASSERT_TRUE(a->goTo(3).isOk());
  bool got = false;
  ASSERT_TRUE(a->lockRecord(&got).isOk());
  ASSERT_TRUE(got);
  ASSERT_TRUE(a->deleteRecord().isOk());
  ASSERT_TRUE(a->fieldPut(4, rt::Value(true)).isOk());
  ASSERT_TRUE(a->unlock().isOk());
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{2, 3, 1, 4}));
  engineSettings().hideDeleted = true;
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{2, 1, 4}));
  engineSettings().hideDeleted = false;

  ASSERT_TRUE(a->setFilter(rt::Value(), "vendinact<>.t.").isOk());
  EXPECT_EQ(a->filterText(), "vendinact<>.t.");
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{2, 1, 4}));
  a->clearFilter();
  EXPECT_TRUE(check().empty());
}

TEST_F(WorkAreaTest, SeekExactSoftPrefixAndScope) {
  createVendors({{"00010", "Smith"}, {"00020", "Smythe"}, {"00030", "Jones"}, {"00040", "Adams"}});
  openShared();
  WorkArea* a = workspace::area();
  ASSERT_TRUE(a->setOrder("NAMEORDR").isOk());
  struct Case {
    const char* key;
    bool soft;
    bool found;
    bool eof;
    std::uint32_t recno;
  };
  constexpr Case cases[] = {
      {"SMITH", false, true, false, 1},  {"SM", false, true, false, 1},
      {"SMY", false, true, false, 2},    {"B", false, false, true, 5},
      {"B", true, false, false, 3},      {"ZZ", true, false, true, 5},
      {"", false, true, false, 4},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(a->seek(rt::Value(c.key), c.soft).isOk()) << c.key;
    EXPECT_EQ(a->found(), c.found) << c.key;
    EXPECT_EQ(a->eof(), c.eof) << c.key;
    EXPECT_EQ(a->recNo(), c.recno) << c.key;
  }
  ASSERT_TRUE(a->setScope(rt::Value("J"), rt::Value("SMITH")).isOk());
  EXPECT_EQ(walk(a), (std::vector<std::uint32_t>{3, 1}));
  ASSERT_TRUE(a->goBottom().isOk());
  EXPECT_EQ(a->recNo(), 1u);
  EXPECT_FALSE(a->seek(rt::Value(5.0)).isOk());  // a number in a character tag
}

TEST_F(WorkAreaTest, KeyChangesKeepEveryTagRight) {
  std::vector<std::pair<std::string, std::string>> rows;
  std::mt19937 rng(7);
  for (int i = 0; i < 600; ++i) {
    char num[8];
    std::snprintf(num, sizeof num, "%05d", static_cast<int>(rng() % 300));  // duplicates
    rows.push_back({num, "name" + std::to_string(rng() % 97)});
  }
  createVendors(rows);
  openShared();
  WorkArea* a = workspace::area();
  bool got = false;
  ASSERT_TRUE(a->lockFile(&got).isOk());
  ASSERT_TRUE(got);
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(a->goTo(1 + rng() % 600).isOk());
    switch (i % 4) {
      case 0: ASSERT_TRUE(a->fieldPut(2, rt::Value("changed" + std::to_string(i))).isOk()); break;
      case 1: ASSERT_TRUE(a->fieldPut(1, rt::Value(std::to_string(90000 + i))).isOk()); break;
      case 2: ASSERT_TRUE(a->deleteRecord().isOk()); break;
      case 3:
        ASSERT_TRUE(a->appendBlank().isOk());
        ASSERT_TRUE(a->fieldPut(2, rt::Value("appended")).isOk());
        break;
    }
  }
  ASSERT_TRUE(a->unlock().isOk());
  EXPECT_EQ(check(), std::vector<std::string>{});
  // The name order agrees with a sort of the records.
  ASSERT_TRUE(a->setOrder("NAMEORDR").isOk());
  std::vector<std::pair<std::string, std::uint32_t>> expect;
  ASSERT_TRUE(a->setOrder("").isOk());
  ASSERT_TRUE(a->goTop().isOk());
  while (!a->eof()) {
    auto v = a->evaluate("UPPER(NAME)");
    ASSERT_TRUE(v.isOk());
    expect.push_back({v->text(), a->recNo()});
    ASSERT_TRUE(a->skip(1).isOk());
  }
  std::sort(expect.begin(), expect.end());
  ASSERT_TRUE(a->setOrder("NAMEORDR").isOk());
  std::vector<std::uint32_t> want;
  for (auto& e : expect) want.push_back(e.second);
  EXPECT_EQ(walk(a), want);
}

TEST_F(WorkAreaTest, TwoAreasOfOneThreadConflictLikeTwoStations) {
  createVendors({{"00001", "Alpha"}, {"00002", "Bravo"}});
  openShared(1, "V1");
  openShared(2, "V2");
  WorkArea* a = workspace::area(1);
  WorkArea* b = workspace::area(2);
  ASSERT_TRUE(a->goTo(1).isOk());
  ASSERT_TRUE(b->goTo(1).isOk());
  bool got = false;
  ASSERT_TRUE(a->lockRecord(&got).isOk());
  EXPECT_TRUE(got);
  ASSERT_TRUE(b->lockRecord(&got).isOk());
  EXPECT_FALSE(got);  // refused, not an error
  ASSERT_TRUE(b->lockFile(&got).isOk());
  EXPECT_FALSE(got);
  EXPECT_FALSE(b->fieldPut(2, rt::Value("x")).isOk());  // not locked
  ASSERT_TRUE(a->fieldPut(2, rt::Value("Changed")).isOk());
  ASSERT_TRUE(a->unlock().isOk());
  ASSERT_TRUE(b->lockRecord(&got).isOk());
  EXPECT_TRUE(got);
  auto v = b->fieldGet(2);  // re-read under the lock
  ASSERT_TRUE(v.isOk());
  EXPECT_EQ(v->text().substr(0, 7), "Changed");
  ASSERT_TRUE(b->unlock().isOk());

  // An exclusive open conflicts with the shared ones.
  OpenOptions ex;
  ex.shared = false;
  ex.alias = "V3";
  EXPECT_EQ(workspace::use(table(), ex, 3).code(), Status::Code::kBusy);
  // An alias in use elsewhere is refused.
  OpenOptions dup;
  dup.alias = "v1";
  EXPECT_FALSE(workspace::use(table(), dup, 4).isOk());
  EXPECT_EQ(workspace::areaOfAlias("v2"), 2);
  EXPECT_EQ(workspace::lowestFreeArea(), 3);
}

TEST_F(WorkAreaTest, NamesResolveWithoutCaseAndEngineMustBeBuilt) {
  createVendors({{"00001", "Alpha"}});
  OpenOptions o;
  ASSERT_TRUE(workspace::use(dir_ / "apmstrfl", o, 1).isOk());
  EXPECT_EQ(workspace::area()->alias(), "APMSTRFL");
  EXPECT_EQ(workspace::area()->tagNames().size(), 2u);
  ASSERT_TRUE(workspace::closeAll().isOk());
  OpenOptions bad;
  bad.driver = "NOSUCHDBE";
  EXPECT_EQ(workspace::use(table(), bad, 1).code(), Status::Code::kNotFound);
  EXPECT_EQ(workspace::use(dir_ / "missing", o, 1).code(), Status::Code::kNotFound);
}

TEST_F(WorkAreaTest, AreasArePerThread) {
  createVendors({{"00001", "Alpha"}});
  openShared();
  int otherCount = -1;
  std::thread t([&] { otherCount = workspace::openCount(); });
  t.join();
  EXPECT_EQ(otherCount, 0);
  EXPECT_EQ(workspace::openCount(), 1);
}

TEST_F(WorkAreaTest, EngineComponentsAndTheirTestSeam) {
  dbeResetForTest();
  dbeFailForTest("CDXDBE");
  EXPECT_FALSE(dbeLoad("CDXDBE", true));
  EXPECT_TRUE(dbeLoad("FOXDBE", true));
  EXPECT_FALSE(dbeBuild("FOXCDX", "FOXDBE", "CDXDBE"));  // a component is missing
  EXPECT_FALSE(dbeIsAvailable("FOXCDX"));
  EXPECT_TRUE(dbeLoad("CDXDBE", true));
  EXPECT_TRUE(dbeBuild("FOXCDX", "FOXDBE", "CDXDBE"));
  EXPECT_TRUE(dbeIsAvailable("foxcdx"));
}

}  // namespace
}  // namespace dbe
