#include "mount_table.h"

#include <gtest/gtest.h>
#include <optional>
#include <string_view>

namespace files {
namespace {

namespace fs = std::filesystem;

TEST(MountTableDrives, SpecWithBlanksColonsAndEmptyEntries) {
  MountTable t;
  ASSERT_TRUE(t.addDrives(" c:=/srv/c/ ; D=/mnt/d;;"));
  EXPECT_EQ(t.driveRoot('C'), fs::path("/srv/c"));
  EXPECT_EQ(t.driveRoot('c'), fs::path("/srv/c"));
  EXPECT_EQ(t.driveRoot('D'), fs::path("/mnt/d"));
  EXPECT_EQ(t.driveRoot('E'), std::nullopt);
  ASSERT_TRUE(t.addDrives(""));
  t.unmapDrive('c');
  EXPECT_EQ(t.driveRoot('C'), std::nullopt);
}

struct BadSpec {
  std::string_view spec;
  std::string_view message;
};

constexpr BadSpec kBadDrives[] = {
    {"C", "no '='"},
    {"CC=/x", "letter from A to Z"},
    {"1=/x", "letter from A to Z"},
    {"=/x", "letter from A to Z"},
    {"C=relative/dir", "not an absolute path"},
    {"C=", "no host directory"},
    {"C=/a;c:=/b", "mapped twice"},
    {"D=/d;C", "no '='"},  // the good entry before the bad one is not applied either
};

class MountTableBadDrives : public testing::TestWithParam<BadSpec> {};

TEST_P(MountTableBadDrives, RejectedWholeAndNamed) {
  MountTable t;
  ASSERT_TRUE(t.mapDrive('E', "/keep"));
  Status s = t.addDrives(GetParam().spec);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind, Error::Kind::kConfig);
  EXPECT_NE(s.error().message.find(GetParam().message), std::string::npos) << s.toString();
  EXPECT_EQ(t.driveRoot('C'), std::nullopt);
  EXPECT_EQ(t.driveRoot('D'), std::nullopt);
  EXPECT_EQ(t.driveRoot('E'), fs::path("/keep"));
}

INSTANTIATE_TEST_SUITE_P(Specs, MountTableBadDrives, testing::ValuesIn(kBadDrives));

TEST(MountTableShares, EitherSlashAndCaseInsensitiveNames) {
  MountTable t;
  ASSERT_TRUE(t.addShares("\\\\srv\\data=/mnt/data; //Backup/Reports=/srv/rep"));
  EXPECT_EQ(t.shareRoot("SRV", "DATA"), fs::path("/mnt/data"));
  EXPECT_EQ(t.shareRoot("backup", "reports"), fs::path("/srv/rep"));
  EXPECT_EQ(t.shareRoot("srv", "other"), std::nullopt);
  t.unmapShare("\\\\SRV\\Data");
  EXPECT_EQ(t.shareRoot("srv", "data"), std::nullopt);
}

constexpr BadSpec kBadShares[] = {
    {"\\\\srv=/x", "\\\\server\\share"},      {"\\\\srv\\a\\b=/x", "\\\\server\\share"},
    {"C:\\x=/x", "\\\\server\\share"},        {"\\\\s\\a=/x;//S/A=/y", "mapped twice"},
    {"\\\\s\\a=rel", "not an absolute path"}, {"\\\\s\\a=", "no host directory"},
};

class MountTableBadShares : public testing::TestWithParam<BadSpec> {};

TEST_P(MountTableBadShares, RejectedWholeAndNamed) {
  MountTable t;
  Status s = t.addShares(GetParam().spec);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().kind, Error::Kind::kConfig);
  EXPECT_NE(s.error().message.find(GetParam().message), std::string::npos) << s.toString();
  EXPECT_EQ(t.shareRoot("s", "a"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Specs, MountTableBadShares, testing::ValuesIn(kBadShares));

TEST(MountTableHostRoot, UnmappedDriveAndShareSayWhich) {
  MountTable t;
  ASSERT_TRUE(t.mapDrive('C', "/srv/c"));
  Result<WinPath> onD = WinPath::parse("D:\\out\\report.pdf");
  Result<WinPath> onShare = WinPath::parse("\\\\server\\share\\out.pdf");
  Result<WinPath> onC = WinPath::parse("c:\\x");
  ASSERT_TRUE(onD && onShare && onC);

  Result<fs::path> d = t.hostRoot(*onD);
  ASSERT_FALSE(d);
  EXPECT_EQ(d.error().kind, Error::Kind::kNotMapped);
  EXPECT_EQ(d.error().toString(),
            "D:\\out\\report.pdf: drive D: is not mapped to a host directory");

  Result<fs::path> s = t.hostRoot(*onShare);
  ASSERT_FALSE(s);
  EXPECT_EQ(s.error().toString(),
            "\\\\server\\share\\out.pdf: network share \\\\server\\share is not mapped to a host "
            "directory");

  Result<fs::path> c = t.hostRoot(*onC);
  ASSERT_TRUE(c);
  EXPECT_EQ(*c, fs::path("/srv/c"));
}

struct ReverseCase {
  std::string_view host;
  std::string_view windows;  // empty: no drive or share holds it
};

constexpr ReverseCase kReverse[] = {
    {"/srv/c/vadnorel/APMSTRFL.DBF", "C:\\vadnorel\\APMSTRFL.DBF"},
    {"/srv/c", "C:\\"},
    {"/srv/c/", "C:\\"},
    {"/srv/c/a/../b", "C:\\b"},
    {"/srv/c/d/x.pdf", "D:\\x.pdf"},  // the deeper root wins
    {"/srv/cc/x", ""},                // a root is matched by whole components
    {"/mnt/share/out.pdf", "\\\\Server\\Share\\out.pdf"},
    {"/mnt/e/x", "E:\\x"},  // drive and share on one directory: the drive wins
    {"/elsewhere/x", ""},
    {"relative/x", ""},
};

class MountTableReverse : public testing::TestWithParam<ReverseCase> {};

TEST_P(MountTableReverse, HostToWindows) {
  MountTable t;
  ASSERT_TRUE(t.addDrives("C=/srv/c;D=/srv/c/d;E=/mnt/e"));
  ASSERT_TRUE(t.addShares("\\\\Server\\Share=/mnt/share;\\\\x\\e=/mnt/e"));
  std::optional<WinPath> w = t.windowsPath(GetParam().host);
  if (GetParam().windows.empty()) {
    EXPECT_FALSE(w) << w->toString();
  } else {
    ASSERT_TRUE(w);
    EXPECT_EQ(w->toString(), GetParam().windows);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, MountTableReverse, testing::ValuesIn(kReverse));

}  // namespace
}  // namespace files
