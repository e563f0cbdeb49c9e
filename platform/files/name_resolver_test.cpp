#include "name_resolver.h"

#include <gtest/gtest.h>
#include <string>
#include <string_view>

#include "temp_tree.h"

namespace files {
namespace {

namespace fs = std::filesystem;

// A data directory as copied from Windows: names in several cases, and one pair that differs
// only by case.
class NameResolverTest : public testing::Test {
 protected:
  void SetUp() override {
    tree_.file("data/MSTRCTRL.DBF");
    tree_.file("data/APMSTRFL.cdx");
    tree_.file("data/Vendor.dbf");
    tree_.file("data/VENDOR.DBF");
    tree_.file("data/2016");
    tree_.file("data/plain.txt");
    tree_.age("data");
  }

  Result<NameResolver::Match> find(std::string_view name) {
    return resolver_.find(tree_ / "data", name);
  }

  TempTree tree_;
  NameResolver resolver_;
};

struct FindCase {
  std::string_view asked;
  std::string_view found;  // empty: no entry
};

constexpr FindCase kFindCases[] = {
    {"MSTRCTRL.DBF", "MSTRCTRL.DBF"},
    {"mstrctrl.dbf", "MSTRCTRL.DBF"},
    {"apmstrfl.CDX", "APMSTRFL.cdx"},
    {"Vendor.dbf", "Vendor.dbf"},  // an exact match wins over its case twin
    {"VENDOR.DBF", "VENDOR.DBF"},
    {"PLAIN.TXT", "plain.txt"},
    {"2016", "2016"},
    {"2017", ""},  // no letters: no listing needed to say no
    {"missing.dbf", ""},
    {"mstrctrl", ""},  // names are whole: no extension is guessed here
};

class NameResolverFind : public NameResolverTest, public testing::WithParamInterface<FindCase> {};

TEST_P(NameResolverFind, ExactFirstThenWithoutCase) {
  Result<NameResolver::Match> m = find(GetParam().asked);
  ASSERT_TRUE(m) << m.error().toString();
  EXPECT_EQ(m->found, !GetParam().found.empty());
  EXPECT_EQ(m->name, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(Names, NameResolverFind, testing::ValuesIn(kFindCases));

TEST_F(NameResolverTest, CaseTwinsWithoutExactMatchAreAnError) {
  Result<NameResolver::Match> m = find("vendor.dbf");
  ASSERT_FALSE(m);
  EXPECT_EQ(m.error().kind, Error::Kind::kAmbiguous);
  EXPECT_EQ(m.error().message, "two files differ only by case: VENDOR.DBF and Vendor.dbf");

  tree_.file("data/vendor.DBF");
  m = find("Vendor.DBF");
  ASSERT_FALSE(m);
  EXPECT_EQ(m.error().message,
            "3 files differ only by case: VENDOR.DBF, Vendor.dbf and vendor.DBF");
}

TEST_F(NameResolverTest, MissingDirectoryAndFileAsDirectory) {
  Result<NameResolver::Match> gone = resolver_.find(tree_ / "nodir", "x.dbf");
  ASSERT_FALSE(gone);
  EXPECT_EQ(gone.error().kind, Error::Kind::kNotFound);
  EXPECT_EQ(gone.error().message, "directory not found");

  Result<NameResolver::Match> file = resolver_.find(tree_ / "data/plain.txt", "x.dbf");
  ASSERT_FALSE(file);
  EXPECT_EQ(file.error().kind, Error::Kind::kNotADirectory);
}

TEST_F(NameResolverTest, KeptListingFollowsChangesOfTheDirectory) {
  ASSERT_FALSE(find("new.dbf")->found);
  EXPECT_EQ(resolver_.TEST_keptListings(), 1u);  // the directory was quiet: listing kept

  // Another workstation adds a table, then renames one to another case.
  tree_.file("data/NEW.DBF");
  Result<NameResolver::Match> m = find("new.dbf");
  ASSERT_TRUE(m && m->found);
  EXPECT_EQ(m->name, "NEW.DBF");

  fs::rename(tree_ / "data/MSTRCTRL.DBF", tree_ / "data/MstrCtrl.dbf");
  m = find("mstrctrl.DBF");
  ASSERT_TRUE(m && m->found);
  EXPECT_EQ(m->name, "MstrCtrl.dbf");
}

TEST_F(NameResolverTest, RecentlyChangedDirectoryIsNotKept) {
  tree_.file("data/fresh.dbf");  // the directory's time is now
  ASSERT_TRUE(find("FRESH.DBF")->found);
  EXPECT_EQ(resolver_.TEST_keptListings(), 0u);
}

TEST_F(NameResolverTest, KeptNameThatVanishedUnseenIsLookedUpAgain) {
  ASSERT_TRUE(find("plain.TXT")->found);
  ASSERT_EQ(resolver_.TEST_keptListings(), 1u);
  // A removal that leaves the directory's time as it was (a coarse clock ticking no further):
  // the kept listing still names the file, and the resolver must notice it is gone.
  const struct timespec before = tree_.mtime("data");
  fs::remove(tree_ / "data/plain.txt");
  tree_.setMtime("data", before);
  Result<NameResolver::Match> m = find("plain.TXT");
  ASSERT_TRUE(m) << m.error().toString();
  EXPECT_FALSE(m->found);
}

TEST_F(NameResolverTest, KeepsAtMostTheLimit) {
  for (std::size_t i = 0; i < NameResolver::kMaxListings + 5; ++i) {
    const std::string d = "many/d" + std::to_string(i);
    tree_.dir(d);
    tree_.age(d);
    ASSERT_FALSE(resolver_.find(tree_ / d, "x.dbf")->found);
  }
  EXPECT_EQ(resolver_.TEST_keptListings(), NameResolver::kMaxListings);
  resolver_.clear();
  EXPECT_EQ(resolver_.TEST_keptListings(), 0u);
}

}  // namespace
}  // namespace files
