// Tests of the POSIX and in-memory file systems: the same cases run on both, because the table
// and index code is tested on memory files and must behave the same on disk.
#include "file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace dbe {
namespace {

using namespace std::chrono_literals;

std::vector<std::byte> bytes(std::string_view s) {
  std::vector<std::byte> v(s.size());
  std::memcpy(v.data(), s.data(), s.size());
  return v;
}

std::string text(std::span<const std::byte> b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dbe_io_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

enum class Kind { kPosix, kMemory };

class FileSystemTest : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::kMemory) {
      owned_ = newMemoryFileSystem();
      fs_ = owned_.get();
      dir_ = "/mem";
    } else {
      fs_ = defaultFileSystem();
      dir_ = tmp_.path();
    }
  }
  std::filesystem::path path(const char* name) const { return dir_ / name; }

  std::unique_ptr<File> mustCreate(const char* name, std::string_view content = {}) {
    Result<std::unique_ptr<File>> f = fs_->create(path(name), ShareMode::kNone, true);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    if (!content.empty()) {
      EXPECT_TRUE((*f)->write(0, bytes(content)).isOk());
    }
    return std::move(*f);
  }
  std::unique_ptr<File> mustOpen(const char* name, ShareMode share = ShareMode::kNone) {
    Result<std::unique_ptr<File>> f = fs_->open(path(name), OpenAccess::kReadWrite, share);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    return f.isOk() ? std::move(*f) : nullptr;
  }

  TempDir tmp_;
  std::unique_ptr<FileSystem> owned_;
  FileSystem* fs_ = nullptr;
  std::filesystem::path dir_;
};

TEST_P(FileSystemTest, ReadWriteSizeTruncate) {
  auto f = mustCreate("a.dbf", "hello world");
  EXPECT_TRUE(f->write(20, bytes("tail")).isOk());  // past the end: the gap reads as zeros
  ASSERT_EQ(*f->size(), 24u);
  std::vector<std::byte> buf(30);
  std::size_t got = 0;
  ASSERT_TRUE(f->read(6, buf, &got).isOk());
  EXPECT_EQ(got, 18u);
  EXPECT_EQ(text(std::span(buf).first(5)), "world");
  EXPECT_EQ(buf[10], std::byte{0});
  ASSERT_TRUE(f->read(100, buf, &got).isOk());
  EXPECT_EQ(got, 0u);
  ASSERT_TRUE(f->truncate(5).isOk());
  EXPECT_EQ(*f->size(), 5u);
  EXPECT_TRUE(f->sync().isOk());
}

TEST_P(FileSystemTest, ReadExactNamesWhatIsMissing) {
  auto f = mustCreate("short.dbf", "0123456789");
  std::vector<std::byte> buf(8);
  EXPECT_TRUE(f->readExact(2, buf, "header").isOk());
  Status s = f->readExact(6, buf, "record 3");
  EXPECT_EQ(s.code(), Status::Code::kCorruption);
  EXPECT_NE(s.toString().find("short.dbf"), std::string::npos) << s.toString();
  EXPECT_NE(s.toString().find("record 3: file ends at 10, expected 8 bytes at offset 6"),
            std::string::npos)
      << s.toString();
}

TEST_P(FileSystemTest, OpenMissingIsNotFound) {
  Result<std::unique_ptr<File>> f =
      fs_->open(path("nope.dbf"), OpenAccess::kReadOnly, ShareMode::kShared);
  ASSERT_FALSE(f.isOk());
  EXPECT_EQ(f.status().code(), Status::Code::kNotFound);
  EXPECT_NE(f.status().file().find("nope.dbf"), std::string::npos);
}

TEST_P(FileSystemTest, CreateExistingNeedsOverwrite) {
  mustCreate("x.dbf", "old");
  Result<std::unique_ptr<File>> again = fs_->create(path("x.dbf"), ShareMode::kNone, false);
  EXPECT_EQ(again.status().code(), Status::Code::kInvalidArgument);
  auto f = mustCreate("x.dbf");
  EXPECT_EQ(*f->size(), 0u);
}

TEST_P(FileSystemTest, RenameReplacesAndRemoveDeletes) {
  mustCreate("new.tmp", "fresh");
  mustCreate("t.dbf", "stale");
  ASSERT_TRUE(fs_->rename(path("new.tmp"), path("t.dbf")).isOk());
  EXPECT_FALSE(fs_->exists(path("new.tmp")));
  auto f = mustOpen("t.dbf");
  std::vector<std::byte> buf(5);
  ASSERT_TRUE(f->readExact(0, buf, "content").isOk());
  EXPECT_EQ(text(buf), "fresh");
  ASSERT_TRUE(fs_->remove(path("t.dbf")).isOk());
  EXPECT_FALSE(fs_->exists(path("t.dbf")));
  EXPECT_EQ(fs_->remove(path("t.dbf")).code(), Status::Code::kNotFound);
  // A File open on a removed path keeps working, as on POSIX.
  EXPECT_TRUE(f->readExact(0, buf, "content").isOk());
}

// Lock offsets of the table engine, including ones beyond 2^31 and 2^32.
constexpr std::uint64_t kLockOffsets[] = {0, 0x40000000, 0x7FFFFFFE, 0x80000001, 0x100000000};

TEST_P(FileSystemTest, TwoFilesOfOnePathConflict) {
  mustCreate("t.dbf", "data");
  auto a = mustOpen("t.dbf");
  auto b = mustOpen("t.dbf");
  for (std::uint64_t off : kLockOffsets) {
    SCOPED_TRACE(off);
    ASSERT_TRUE(a->lockRange(off, 1, LockKind::kExclusive).isOk());
    EXPECT_EQ(b->lockRange(off, 1, LockKind::kExclusive).code(), Status::Code::kBusy);
    EXPECT_EQ(b->lockRange(off, 1, LockKind::kShared).code(), Status::Code::kBusy);
    EXPECT_TRUE(b->lockRange(off + 1, 1, LockKind::kExclusive).isOk());  // the next byte is free
    // Re-locking what a File holds is no conflict with itself.
    EXPECT_TRUE(a->lockRange(off, 1, LockKind::kExclusive).isOk());
    ASSERT_TRUE(a->unlockRange(off, 1).isOk());
    EXPECT_TRUE(b->lockRange(off, 1, LockKind::kExclusive).isOk());
    ASSERT_TRUE(b->unlockRange(off, 2).isOk());
  }
}

TEST_P(FileSystemTest, SharedLocksCoexistAndBlockExclusive) {
  mustCreate("t.cdx", "x");
  auto a = mustOpen("t.cdx");
  auto b = mustOpen("t.cdx");
  auto c = mustOpen("t.cdx");
  ASSERT_TRUE(a->lockRange(0x7FFFFFFE, 1, LockKind::kShared).isOk());
  ASSERT_TRUE(b->lockRange(0x7FFFFFFE, 1, LockKind::kShared).isOk());
  EXPECT_EQ(c->lockRange(0x7FFFFFFE, 1, LockKind::kExclusive).code(), Status::Code::kBusy);
  ASSERT_TRUE(a->unlockRange(0x7FFFFFFE, 1).isOk());
  EXPECT_EQ(c->lockRange(0x7FFFFFFE, 1, LockKind::kExclusive).code(), Status::Code::kBusy);
  ASSERT_TRUE(b->unlockRange(0x7FFFFFFE, 1).isOk());
  EXPECT_TRUE(c->lockRange(0x7FFFFFFE, 1, LockKind::kExclusive).isOk());
}

TEST_P(FileSystemTest, RangeLocksOverlapAndCloseReleases) {
  mustCreate("t.dbf", "x");
  auto a = mustOpen("t.dbf");
  auto b = mustOpen("t.dbf");
  // A file lock range, then a record byte inside it from the other File.
  ASSERT_TRUE(a->lockRange(0x77FFFFFF, 0x07FFFFFF, LockKind::kExclusive).isOk());
  EXPECT_EQ(b->lockRange(0x7FFFFFFD, 1, LockKind::kExclusive).code(), Status::Code::kBusy);
  EXPECT_TRUE(b->lockRange(0x7FFFFFFE, 1, LockKind::kExclusive).isOk());  // header byte: outside
  a.reset();  // closing drops every lock of that File only
  EXPECT_TRUE(b->lockRange(0x7FFFFFFD, 1, LockKind::kExclusive).isOk());
  auto c = mustOpen("t.dbf");
  EXPECT_EQ(c->lockRange(0x7FFFFFFE, 1, LockKind::kShared).code(), Status::Code::kBusy);
  // A lock to the end (length 0) covers every byte after its start.
  ASSERT_TRUE(c->lockRange(0x90000000, 0, LockKind::kExclusive).isOk());
  EXPECT_EQ(b->lockRange(0xFFFFFFFF0, 1, LockKind::kShared).code(), Status::Code::kBusy);
}

TEST_P(FileSystemTest, ShareModes) {
  mustCreate("t.dbf", "x");
  Result<std::unique_ptr<File>> s1 =
      fs_->open(path("t.dbf"), OpenAccess::kReadOnly, ShareMode::kShared);
  Result<std::unique_ptr<File>> s2 =
      fs_->open(path("t.dbf"), OpenAccess::kReadWrite, ShareMode::kShared);
  ASSERT_TRUE(s1.isOk() && s2.isOk());
  Result<std::unique_ptr<File>> ex =
      fs_->open(path("t.dbf"), OpenAccess::kReadWrite, ShareMode::kExclusive);
  ASSERT_EQ(ex.status().code(), Status::Code::kBusy);
  EXPECT_EQ(ex.status().detail(), "in use by another user");
  // kNone looks without taking part in the open modes.
  EXPECT_TRUE(fs_->open(path("t.dbf"), OpenAccess::kReadOnly, ShareMode::kNone).isOk());
  s1 = Status::ok();
  s2 = Status::ok();
  ex = fs_->open(path("t.dbf"), OpenAccess::kReadWrite, ShareMode::kExclusive);
  ASSERT_TRUE(ex.isOk()) << ex.status().toString();
  Result<std::unique_ptr<File>> sh =
      fs_->open(path("t.dbf"), OpenAccess::kReadOnly, ShareMode::kShared);
  ASSERT_EQ(sh.status().code(), Status::Code::kBusy);
  EXPECT_EQ(sh.status().detail(), "in use exclusively by another user");
  Result<std::unique_ptr<File>> cr = fs_->create(path("t.dbf"), ShareMode::kExclusive, true);
  EXPECT_EQ(cr.status().code(), Status::Code::kBusy);
  std::vector<std::byte> buf(1);
  EXPECT_TRUE((*ex)->readExact(0, buf, "content").isOk());  // the failed create cut nothing
}

TEST_P(FileSystemTest, ExclusiveLockNeedsWritableFile) {
  mustCreate("t.dbf", "x");
  Result<std::unique_ptr<File>> ro =
      fs_->open(path("t.dbf"), OpenAccess::kReadOnly, ShareMode::kShared);
  ASSERT_TRUE(ro.isOk());
  EXPECT_TRUE((*ro)->lockRange(10, 1, LockKind::kShared).isOk());
  EXPECT_EQ((*ro)->lockRange(11, 1, LockKind::kExclusive).code(), Status::Code::kReadOnly);
  EXPECT_FALSE((*ro)->write(0, bytes("y")).isOk());
}

TEST_P(FileSystemTest, LockRangeWaitGetsALockReleasedSoonAndTimesOut) {
  mustCreate("t.dbf", "x");
  auto a = mustOpen("t.dbf");
  auto b = mustOpen("t.dbf");
  ASSERT_TRUE(a->lockRange(0x7FFFFFFE, 1, LockKind::kExclusive).isOk());
  EXPECT_EQ(b->lockRangeWait(0x7FFFFFFE, 1, LockKind::kExclusive, 30ms).code(),
            Status::Code::kBusy);
  std::thread releaser([&] {
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(a->unlockRange(0x7FFFFFFE, 1).isOk());
  });
  EXPECT_TRUE(b->lockRangeWait(0x7FFFFFFE, 1, LockKind::kExclusive, 5000ms).isOk());
  releaser.join();
}

std::string kindName(const ::testing::TestParamInfo<Kind>& p) {
  return p.param == Kind::kPosix ? "Posix" : "Memory";
}
INSTANTIATE_TEST_SUITE_P(AllKinds, FileSystemTest, ::testing::Values(Kind::kPosix, Kind::kMemory),
                         kindName);

// ---- POSIX only: other processes, disk full ----

class PosixFileTest : public ::testing::Test {
 protected:
  std::filesystem::path path(const char* name) const { return tmp_.path() / name; }
  std::unique_ptr<File> open(const char* name, ShareMode share = ShareMode::kNone) {
    Result<std::unique_ptr<File>> f =
        defaultFileSystem()->open(path(name), OpenAccess::kReadWrite, share);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    return f.isOk() ? std::move(*f) : nullptr;
  }
  void create(const char* name) {
    ASSERT_TRUE(defaultFileSystem()->create(path(name), ShareMode::kNone, true).isOk());
  }
  TempDir tmp_;
};

// A child process that holds a lock (or an open mode) until told to go: it reports "locked" on
// one pipe and waits for a byte on the other.
class LockHolder {
 public:
  LockHolder(const std::filesystem::path& p, std::uint64_t offset, ShareMode share) {
    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(up[0]);
      ::close(down[1]);
      Result<std::unique_ptr<File>> f =
          defaultFileSystem()->open(p, OpenAccess::kReadWrite, share);
      char ok = f.isOk() && (*f)->lockRange(offset, 1, LockKind::kExclusive).isOk() ? 'y' : 'n';
      if (::write(up[1], &ok, 1) != 1) ::_exit(2);
      char go;
      if (::read(down[0], &go, 1) != 1) ::_exit(3);
      ::_exit(0);
    }
    ::close(up[1]);
    ::close(down[0]);
    up_ = up[0];
    down_ = down[1];
    char ok = 'n';
    if (::read(up_, &ok, 1) != 1) ok = 'n';
    locked_ = ok == 'y';
  }
  ~LockHolder() { release(); }
  bool locked() const { return locked_; }
  void release() {
    if (pid_ <= 0) return;
    char go = 'g';
    if (::write(down_, &go, 1) != 1) ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(up_);
    ::close(down_);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int up_ = -1;
  int down_ = -1;
  bool locked_ = false;
};

TEST_F(PosixFileTest, LockHeldByAnotherProcess) {
  create("t.dbf");
  LockHolder holder(path("t.dbf"), 0x7FFFFFFE - 5, ShareMode::kShared);
  ASSERT_TRUE(holder.locked());
  auto f = open("t.dbf", ShareMode::kShared);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->lockRange(0x7FFFFFFE - 5, 1, LockKind::kExclusive).code(), Status::Code::kBusy);
  EXPECT_TRUE(f->lockRange(0x7FFFFFFE - 6, 1, LockKind::kExclusive).isOk());
  holder.release();  // the process ends: its locks go with it
  EXPECT_TRUE(f->lockRange(0x7FFFFFFE - 5, 1, LockKind::kExclusive).isOk());
}

TEST_F(PosixFileTest, ExclusiveOpenByAnotherProcess) {
  create("t.dbf");
  LockHolder holder(path("t.dbf"), 0, ShareMode::kExclusive);
  ASSERT_TRUE(holder.locked());
  Result<std::unique_ptr<File>> f =
      defaultFileSystem()->open(path("t.dbf"), OpenAccess::kReadWrite, ShareMode::kShared);
  ASSERT_EQ(f.status().code(), Status::Code::kBusy);
  EXPECT_EQ(f.status().toString(),
            "Busy: " + path("t.dbf").string() + ": in use exclusively by another user");
}

TEST_F(PosixFileTest, ProgramsStartedByUsDoNotInheritLocks) {
  create("t.dbf");
  auto a = open("t.dbf");
  ASSERT_TRUE(a->lockRange(100, 1, LockKind::kExclusive).isOk());
  const pid_t child = ::fork();
  if (child == 0) {
    ::execl("/bin/sleep", "sleep", "10", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::this_thread::sleep_for(50ms);  // let the exec happen
  a.reset();
  auto b = open("t.dbf");
  EXPECT_TRUE(b->lockRange(100, 1, LockKind::kExclusive).isOk())
      << "the descriptor leaked into the started program";
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST_F(PosixFileTest, FileSizeLimitIsDiskFull) {
  create("big.dbf");
  // In a child, so that the lowered limit cannot disturb other tests.
  const pid_t child = ::fork();
  if (child == 0) {
    auto f = defaultFileSystem()->open(path("big.dbf"), OpenAccess::kReadWrite, ShareMode::kNone);
    struct rlimit rl = {4096, 4096};
    if (!f.isOk() || ::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(2);
    std::vector<std::byte> block(1000, std::byte{'x'});
    if (!(*f)->write(0, block).isOk()) ::_exit(3);
    Status s = (*f)->write(4000, block);  // crosses the limit
    ::_exit(s.code() == Status::Code::kFull && s.osError() == EFBIG ? 0 : 4);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the write killed the process";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(PosixFileTest, DirectoryIsNotATable) {
  Result<std::unique_ptr<File>> f =
      defaultFileSystem()->open(tmp_.path(), OpenAccess::kReadOnly, ShareMode::kNone);
  EXPECT_FALSE(f.isOk());
}

}  // namespace
}  // namespace dbe
