#include "fault_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace dbe {
namespace {

std::vector<std::byte> bytes(std::string_view s) {
  std::vector<std::byte> v(s.size());
  std::memcpy(v.data(), s.data(), s.size());
  return v;
}

class FaultFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<File> create(const char* name) {
    Result<std::unique_ptr<File>> f = fs_.create(name, ShareMode::kNone, true);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    return std::move(*f);
  }
  // The bytes of a path as the base file system holds them.
  std::string contents(const char* name) {
    Result<std::unique_ptr<File>> f = base_->open(name, OpenAccess::kReadOnly, ShareMode::kNone);
    if (!f.isOk()) return "<missing>";
    std::vector<std::byte> buf(static_cast<std::size_t>(*(*f)->size()));
    std::size_t got = 0;
    EXPECT_TRUE((*f)->read(0, buf, &got).isOk());
    return std::string(reinterpret_cast<const char*>(buf.data()), got);
  }

  std::unique_ptr<FileSystem> base_ = newMemoryFileSystem();
  FaultFileSystem fs_{base_.get()};
};

struct FailCase {
  const char* name;
  FaultOp op;
  Status::Code expected;
};
constexpr FailCase kFailCases[] = {
    {"read", FaultOp::kRead, Status::Code::kIOError},
    {"write", FaultOp::kWrite, Status::Code::kFull},
    {"lock", FaultOp::kLock, Status::Code::kBusy},
    {"sync", FaultOp::kSync, Status::Code::kIOError},
};

// Runs one operation of each kind, in a fixed order, and returns the first failure's code.
Status oneOfEach(File& f, FaultOp only) {
  std::vector<std::byte> buf(4);
  std::size_t got = 0;
  if (only == FaultOp::kRead) return f.read(0, buf, &got);
  if (only == FaultOp::kWrite) return f.write(0, bytes("abcd"));
  if (only == FaultOp::kLock) return f.lockRange(0x7FFFFFFE, 1, LockKind::kExclusive);
  return f.sync();
}

TEST_F(FaultFileTest, FailsExactlyTheNthOperationOfItsKind) {
  auto f = create("t.dbf");
  for (const FailCase& c : kFailCases) {
    SCOPED_TRACE(c.name);
    fs_.failAt(c.op, 3);
    EXPECT_TRUE(oneOfEach(*f, c.op).isOk());
    EXPECT_TRUE(oneOfEach(*f, c.op).isOk());
    EXPECT_FALSE(fs_.faultFired());
    EXPECT_EQ(oneOfEach(*f, c.op).code(), c.expected);
    EXPECT_TRUE(fs_.faultFired());
    EXPECT_TRUE(oneOfEach(*f, c.op).isOk()) << "a one-shot fault fails once";
    ASSERT_TRUE(f->unlockRange(0x7FFFFFFE, 1).isOk());
  }
}

TEST_F(FaultFileTest, StickyFaultAndGlobalCounter) {
  auto f = create("t.dbf");
  fs_.failAt(FaultOp::kWrite, 2, /*sticky=*/true);
  EXPECT_TRUE(f->write(0, bytes("a")).isOk());
  EXPECT_FALSE(f->write(1, bytes("b")).isOk());
  EXPECT_FALSE(f->write(2, bytes("c")).isOk());
  EXPECT_FALSE(f->truncate(0).isOk()) << "truncate counts as a write";
  std::vector<std::byte> buf(1);
  std::size_t got = 0;
  EXPECT_TRUE(f->read(0, buf, &got).isOk()) << "other kinds are not touched";
  fs_.clearFault();
  EXPECT_TRUE(f->write(1, bytes("b")).isOk());

  fs_.failAt(FaultOp::kAny, 2);
  EXPECT_TRUE(f->read(0, buf, &got).isOk());
  EXPECT_EQ(f->sync().code(), Status::Code::kIOError);  // the 2nd operation of any kind
  EXPECT_EQ(contents("t.dbf"), "ab");
}

TEST_F(FaultFileTest, PartialWriteLeavesHalfTheBytes) {
  auto f = create("t.dbf");
  fs_.setPartialWrites(true);
  fs_.setWriteFailure(Status::Code::kIOError);
  fs_.failAt(FaultOp::kWrite, 1);
  EXPECT_EQ(f->write(0, bytes("12345678")).code(), Status::Code::kIOError);
  EXPECT_EQ(contents("t.dbf"), "1234");
}

TEST_F(FaultFileTest, CrashDropsWhatWasNotSynced) {
  auto f = create("t.dbf");
  ASSERT_TRUE(f->write(0, bytes("committed")).isOk());
  ASSERT_TRUE(f->sync().isOk());
  ASSERT_TRUE(f->write(0, bytes("COMM")).isOk());       // overwrite
  ASSERT_TRUE(f->write(9, bytes("+appended")).isOk());  // growth
  EXPECT_EQ(fs_.unsyncedPaths(), 1u);
  ASSERT_TRUE(fs_.crash(CrashMode::kDropUnsynced).isOk());
  EXPECT_EQ(contents("t.dbf"), "committed");
  EXPECT_EQ(f->write(0, bytes("x")).code(), Status::Code::kIOError) << "old Files are dead";
  Result<std::unique_ptr<File>> again = fs_.open("t.dbf", OpenAccess::kReadWrite, ShareMode::kNone);
  ASSERT_TRUE(again.isOk());
  EXPECT_TRUE((*again)->write(0, bytes("C")).isOk());
}

TEST_F(FaultFileTest, CrashUndoesTruncateAndNewFiles) {
  auto f = create("t.dbf");
  ASSERT_TRUE(f->write(0, bytes("0123456789")).isOk());
  ASSERT_TRUE(f->sync().isOk());
  ASSERT_TRUE(f->truncate(3).isOk());
  ASSERT_TRUE(f->write(3, bytes("xy")).isOk());
  auto g = create("new.dbf");
  ASSERT_TRUE(g->write(0, bytes("never synced")).isOk());
  ASSERT_TRUE(fs_.crash(CrashMode::kDropUnsynced).isOk());
  EXPECT_EQ(contents("t.dbf"), "0123456789");
  EXPECT_EQ(contents("new.dbf"), "");
}

TEST_F(FaultFileTest, SyncOfAnotherFileOfThePathCommits) {
  auto a = create("t.dbf");
  Result<std::unique_ptr<File>> b = fs_.open("t.dbf", OpenAccess::kReadWrite, ShareMode::kNone);
  ASSERT_TRUE(a->write(0, bytes("aaaa")).isOk());
  ASSERT_TRUE((*b)->sync().isOk());
  ASSERT_TRUE(fs_.crash(CrashMode::kDropUnsynced).isOk());
  EXPECT_EQ(contents("t.dbf"), "aaaa");
}

// Torn and garbled crashes: every sector ends up either old or new (torn) or old, new or junk
// (garbled); bytes synced before and not rewritten afterwards never change.
TEST_F(FaultFileTest, TornAndGarbledCrashesKeepSyncedBytesOutsideTheWrites) {
  for (CrashMode mode : {CrashMode::kTornUnsynced, CrashMode::kGarbleUnsynced}) {
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
      SCOPED_TRACE(seed);
      auto f = create("t.dbf");
      const std::string synced(2048, 's');
      ASSERT_TRUE(f->write(0, bytes(synced)).isOk());
      ASSERT_TRUE(f->sync().isOk());
      ASSERT_TRUE(f->write(512, bytes(std::string(1024, 'n'))).isOk());  // sectors 1 and 2
      ASSERT_TRUE(f->write(2048, bytes(std::string(600, 'e'))).isOk());  // growth
      ASSERT_TRUE(fs_.crash(mode, seed).isOk());
      const std::string after = contents("t.dbf");
      ASSERT_GE(after.size(), 2048u);
      EXPECT_EQ(after.substr(0, 512), synced.substr(0, 512));
      EXPECT_EQ(after.substr(1536, 512), synced.substr(1536, 512));
      for (std::size_t sector = 1; sector <= 2 && mode == CrashMode::kTornUnsynced; ++sector) {
        const std::string s = after.substr(sector * 512, 512);
        EXPECT_TRUE(s == std::string(512, 's') || s == std::string(512, 'n'));
      }
      f.reset();
    }
  }
}

}  // namespace
}  // namespace dbe
