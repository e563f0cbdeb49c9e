// Two stations on one .cdx: the index lock, the update counter, seeing each other's changes,
// and a full disk that loses nothing.
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/cdx_test_util.h"
#include "dbe/io/fault_file.h"

namespace dbe::cdx {
namespace {

using testing::Entries;

class SharingTest : public testing::IndexTest {
 protected:
  void SetUp() override {
    IndexTest::SetUp();
    std::unique_ptr<CdxFile> cdx = createIndex();
    model_.clear();
    for (std::uint32_t r = 1; r <= 500; ++r) {
      model_.insert({characterKey("K" + std::to_string(r), 8), r});
    }
    ASSERT_TRUE(cdx->addTag({"KEY", KeyType::kCharacter, 8, "KEY", "", false, false},
                            testing::keyListOf(KeyType::kCharacter, 8,
                                               Entries(model_.begin(), model_.end())))
                    .isOk());
  }

  Tag* tagOf(CdxFile& cdx) {
    Result<Tag*> t = cdx.tag("KEY", KeyType::kCharacter);
    EXPECT_TRUE(t.isOk()) << t.status().toString();
    return t.isOk() ? *t : nullptr;
  }

  std::uint32_t counterOnDisk() {
    const std::vector<std::uint8_t> b = bytesAt(8, 4);  // big-endian
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           b[3];
  }

  std::set<testing::Entry> model_;
};

TEST_F(SharingTest, AWriterAndAReaderSeeEachOthersChanges) {
  for (const SharedCache cache : {SharedCache::kPerLock, SharedCache::kWhileCounterUnchanged}) {
    SCOPED_TRACE(cache == SharedCache::kPerLock ? "per lock" : "while the counter is unchanged");
    SetUp();
    IndexOptions o = testing::sharedOptions();
    o.sharedCache = cache;
    std::unique_ptr<CdxFile> writer = openIndex(o);
    std::unique_ptr<CdxFile> reader = openIndex(o);
    Tag* wt = tagOf(*writer);
    Tag* rt = tagOf(*reader);
    ASSERT_TRUE(wt && rt);

    Cursor rc(*rt);
    Result<bool> found = rc.seek("NEW");
    ASSERT_TRUE(found.isOk());
    EXPECT_FALSE(*found);
    const std::uint32_t counter = counterOnDisk();

    ASSERT_TRUE(wt->insert("NEW", 9001).isOk());
    EXPECT_EQ(counterOnDisk(), counter + 1);
    Result<std::uint32_t> seen = reader->updateCounter();
    ASSERT_TRUE(seen.isOk());
    EXPECT_EQ(*seen, counter + 1);
    found = rc.seek("NEW");
    ASSERT_TRUE(found.isOk());
    EXPECT_TRUE(*found);
    EXPECT_EQ(rc.recno(), 9001u);

    ASSERT_TRUE(wt->erase("NEW", 9001).isOk());
    found = rc.seek("NEW");
    ASSERT_TRUE(found.isOk());
    EXPECT_FALSE(*found);

    // Both change the tag in turns, splitting and merging leaves the other has read.
    for (std::uint32_t r = 1; r <= 400; ++r) {
      Tag* t = r % 2 == 0 ? wt : rt;
      if (r % 3 == 0) {
        const std::string key = characterKey("K" + std::to_string(r), 8);
        const Status s = t->erase(key, r);
        ASSERT_TRUE(s.isOk()) << r << " " << s.toString();
        model_.erase({key, r});
      } else {
        const std::string key = characterKey("K" + std::to_string(r) + "X", 8);
        const Status s = t->insert(key, 1000 + r);
        ASSERT_TRUE(s.isOk()) << r << " " << s.toString();
        model_.insert({key, 1000 + r});
      }
    }
    const Entries want(model_.begin(), model_.end());
    EXPECT_EQ(testing::readForward(*wt), want);
    EXPECT_EQ(testing::readForward(*rt), want);
    EXPECT_EQ(testing::readBackward(*rt), want);
    EXPECT_EQ(testing::faultsOf(*reader), std::vector<std::string>{});
    EXPECT_EQ(counterOnDisk(), counter + 2 + 400);
  }
}

TEST_F(SharingTest, TheIndexLockKeepsOutOtherStationsWhileHeld) {
  std::unique_ptr<CdxFile> cdx = openIndex(testing::sharedOptions());
  Tag* tag = tagOf(*cdx);
  std::unique_ptr<File> other = openFile();

  // Another station is changing the index: neither reads nor writes get through.
  ASSERT_TRUE(other->lockRange(kIndexLockOffset, 1, LockKind::kExclusive).isOk());
  Cursor c(*tag);
  const Status read = c.first();
  EXPECT_EQ(read.code(), Status::Code::kBusy);
  EXPECT_EQ(read.toString(),
            "Busy: vendors.cdx: the index is locked by another user (waited 50 ms)");
  EXPECT_FALSE(c.onEntry());
  EXPECT_EQ(tag->insert("X", 1).code(), Status::Code::kBusy);
  ASSERT_TRUE(other->unlockRange(kIndexLockOffset, 1).isOk());

  // Another station is reading: reads share the lock, a write waits and gives up.
  ASSERT_TRUE(other->lockRange(kIndexLockOffset, 1, LockKind::kShared).isOk());
  ASSERT_TRUE(c.first().isOk());
  EXPECT_TRUE(c.onEntry());
  EXPECT_EQ(tag->insert("X", 1).code(), Status::Code::kBusy);
  ASSERT_TRUE(other->unlockRange(kIndexLockOffset, 1).isOk());
  ASSERT_TRUE(tag->insert("X", 1).isOk());

  // Between operations this station holds no lock at all.
  EXPECT_TRUE(other->lockRange(kIndexLockOffset, 1, LockKind::kExclusive).isOk());
}

// A File that runs a step of another station just before its next lock, to put that station's
// change exactly between two steps of ours.
class InterleavingFile final : public File {
 public:
  explicit InterleavingFile(std::unique_ptr<File> base) : base_(std::move(base)) {}
  void beforeNextLock(std::function<void()> step) { step_ = std::move(step); }
  bool stepRan() const { return ran_; }

  Status read(std::uint64_t offset, std::span<std::byte> out, std::size_t* got) override {
    return base_->read(offset, out, got);
  }
  Status write(std::uint64_t offset, std::span<const std::byte> data) override {
    return base_->write(offset, data);
  }
  Result<std::uint64_t> size() override { return base_->size(); }
  Status truncate(std::uint64_t size) override { return base_->truncate(size); }
  Status sync() override { return base_->sync(); }
  Status lockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) override {
    if (step_) {
      std::function<void()> step = std::move(step_);
      step_ = nullptr;
      step();
      ran_ = true;
    }
    return base_->lockRange(offset, length, kind);
  }
  Status unlockRange(std::uint64_t offset, std::uint64_t length) override {
    return base_->unlockRange(offset, length);
  }
  const std::string& name() const override { return base_->name(); }

 private:
  std::unique_ptr<File> base_;
  std::function<void()> step_;
  bool ran_ = false;
};

// A read answered from cached pages without the lock, which needs a page it lacks just as
// another station has committed a change, starts over under the lock and sees that change.
TEST_F(SharingTest, AReadThatMeetsAChangeHalfWayStartsOver) {
  std::unique_ptr<CdxFile> writer = openIndex(testing::sharedOptions());
  auto file = std::make_unique<InterleavingFile>(openFile());
  InterleavingFile* hook = file.get();
  Result<std::unique_ptr<CdxFile>> reader =
      CdxFile::open(std::move(file), testing::sharedOptions());
  ASSERT_TRUE(reader.isOk());
  Cursor c(*tagOf(**reader));
  Result<bool> r = c.seek("K250");  // caches the path to one leaf
  ASSERT_TRUE(r.isOk() && *r);

  hook->beforeNextLock([&] { ASSERT_TRUE(tagOf(*writer)->insert("K1", 9999).isOk()); });
  r = c.seek("K1");  // the root is cached, the first leaf is not
  ASSERT_TRUE(r.isOk()) << r.status().toString();
  EXPECT_TRUE(hook->stepRan());
  EXPECT_TRUE(*r);
  EXPECT_EQ(c.recno(), 1u);
  ASSERT_TRUE(c.next().isOk());
  EXPECT_EQ(c.recno(), 9999u);  // the other station's entry, right after record 1's
}

// With the counter-checked cache, a program that changes the index without bumping the
// counter is seen late (within cacheRefresh), never written over: writes re-read everything.
TEST_F(SharingTest, AProgramThatDoesNotBumpTheCounterIsSeenLateButNotOverwritten) {
  IndexOptions longCache = testing::sharedOptions();
  longCache.cacheRefresh = std::chrono::hours(1);
  IndexOptions noCache = testing::sharedOptions();
  noCache.cacheRefresh = std::chrono::milliseconds(0);
  std::unique_ptr<CdxFile> late = openIndex(longCache);
  std::unique_ptr<CdxFile> prompt = openIndex(noCache);
  std::unique_ptr<CdxFile> other = openIndex(testing::sharedOptions());
  Cursor lateCursor(*tagOf(*late));
  Cursor promptCursor(*tagOf(*prompt));
  ASSERT_FALSE(*lateCursor.seek("NEW"));
  ASSERT_FALSE(*promptCursor.seek("NEW"));

  const std::vector<std::uint8_t> counter = bytesAt(8, 4);
  ASSERT_TRUE(tagOf(*other)->insert("NEW", 777).isOk());
  poke(8, counter);  // as if the other program had left the counter alone

  EXPECT_FALSE(*lateCursor.seek("NEW"));  // still the cached view
  EXPECT_TRUE(*promptCursor.seek("NEW"));

  ASSERT_TRUE(tagOf(*late)->insert("NEW", 778).isOk());
  model_.insert({characterKey("NEW", 8), 777});
  model_.insert({characterKey("NEW", 8), 778});
  const Entries want(model_.begin(), model_.end());
  EXPECT_EQ(testing::readForward(*tagOf(*late)), want);
  EXPECT_EQ(testing::faultsOf(*late), std::vector<std::string>{});
}

// A disk that is full: a write that would make the file longer than `limit` fails and writes
// nothing, as a write past the space left does; rewriting existing bytes still works.
class FullDiskFile final : public File {
 public:
  FullDiskFile(std::unique_ptr<File> base, std::uint64_t limit)
      : base_(std::move(base)), limit_(limit) {}
  Status read(std::uint64_t offset, std::span<std::byte> out, std::size_t* got) override {
    return base_->read(offset, out, got);
  }
  Status write(std::uint64_t offset, std::span<const std::byte> data) override {
    if (offset + data.size() > limit_) return Status::full(name(), "no space left on the disk");
    return base_->write(offset, data);
  }
  Result<std::uint64_t> size() override { return base_->size(); }
  Status truncate(std::uint64_t size) override { return base_->truncate(size); }
  Status sync() override { return base_->sync(); }
  Status lockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) override {
    return base_->lockRange(offset, length, kind);
  }
  Status unlockRange(std::uint64_t offset, std::uint64_t length) override {
    return base_->unlockRange(offset, length);
  }
  const std::string& name() const override { return base_->name(); }

 private:
  std::unique_ptr<File> base_;
  std::uint64_t limit_;
};

// The insert that meets the full disk fails, and the index holds exactly what the inserts
// before it put there, readable at once and after a reopen.
TEST_F(SharingTest, AFullDiskLosesNothing) {
  std::vector<std::string> keys;
  for (int i = 0; i < 400; ++i) keys.push_back(characterKey("F" + std::to_string(i * 7 % 400), 8));
  for (std::uint64_t room = 0;; ++room) {
    SCOPED_TRACE(room);
    SetUp();
    const std::uint64_t limit = fileSize() + room * kPageSize;
    Result<std::unique_ptr<CdxFile>> cdx =
        CdxFile::open(std::make_unique<FullDiskFile>(openFile(), limit), testing::sharedOptions());
    ASSERT_TRUE(cdx.isOk());
    Tag* tag = tagOf(**cdx);
    std::set<testing::Entry> want = model_;
    Status s;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      s = tag->insert(keys[i], 2000 + static_cast<std::uint32_t>(i));
      if (!s.isOk()) break;
      want.insert({keys[i], 2000 + static_cast<std::uint32_t>(i)});
    }
    if (s.isOk()) break;  // enough room for all of them
    EXPECT_EQ(s.code(), Status::Code::kFull);
    EXPECT_EQ(testing::readForward(*tag), Entries(want.begin(), want.end()));
    cdx->reset();
    std::unique_ptr<CdxFile> after = openIndex();
    ASSERT_TRUE(after);
    EXPECT_LE(fileSize(), limit);
    EXPECT_EQ(testing::readForward(*tagOf(*after)), Entries(want.begin(), want.end()));
    EXPECT_EQ(testing::faultsOf(*after), std::vector<std::string>{});
  }
}

// Any single read, write or lock that fails gives a clean error and leaves the index exactly as
// the operations before it left it: a change whose write fails is rolled back.
TEST_F(SharingTest, EveryFailingOperationLeavesTheIndexAsItWas) {
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE(n);
    SetUp();
    std::set<testing::Entry> want = model_;
    FaultFileSystem faulty(fs_.get());
    Result<std::unique_ptr<File>> f = faulty.open(path_, OpenAccess::kReadWrite, ShareMode::kNone);
    ASSERT_TRUE(f.isOk());
    faulty.failAt(FaultOp::kAny, n);
    Result<std::unique_ptr<CdxFile>> cdx =
        CdxFile::open(std::move(f.value()), testing::sharedOptions());
    Status s = cdx.status();
    if (s.isOk()) {
      Tag* tag = tagOf(**cdx);
      Cursor c(*tag);
      for (std::uint32_t r = 0; r < 80 && s.isOk(); ++r) {
        const std::string key = characterKey("G" + std::to_string(r * 13 % 80), 8);
        s = tag->insert(key, 3000 + r);
        if (s.isOk()) want.insert({key, 3000 + r});
        if (s.isOk() && r % 10 == 0) s = c.seek("K1").status();
        if (s.isOk() && r % 20 == 0) {
          const std::string gone = characterKey("K" + std::to_string(r + 1), 8);
          s = tag->erase(gone, r + 1);
          if (s.isOk()) want.erase({gone, r + 1});
        }
      }
    }
    const bool fired = faulty.faultFired();
    faulty.clearFault();
    if (!fired) break;
    if (cdx.isOk()) {
      // The same objects work again once the fault has passed.
      EXPECT_EQ(testing::readForward(*tagOf(**cdx)), Entries(want.begin(), want.end()));
      cdx->reset();
    }
    std::unique_ptr<CdxFile> after = openIndex();
    ASSERT_TRUE(after);
    EXPECT_EQ(testing::readForward(*tagOf(*after)), Entries(want.begin(), want.end()));
    EXPECT_EQ(testing::faultsOf(*after), std::vector<std::string>{});
  }
}

TEST_F(SharingTest, AFailedReadLeavesTheCursorUsable) {
  FaultFileSystem faulty(fs_.get());
  Result<std::unique_ptr<File>> f = faulty.open(path_, OpenAccess::kReadWrite, ShareMode::kNone);
  ASSERT_TRUE(f.isOk());
  Result<std::unique_ptr<CdxFile>> cdx =
      CdxFile::open(std::move(f.value()), testing::sharedOptions());
  ASSERT_TRUE(cdx.isOk());
  Cursor c(*tagOf(**cdx));
  faulty.failAt(FaultOp::kRead, 2);
  Result<bool> r = c.seek("K250");
  EXPECT_EQ(r.status().code(), Status::Code::kIOError);
  EXPECT_FALSE(c.onEntry());
  r = c.seek("K250");
  ASSERT_TRUE(r.isOk());
  EXPECT_TRUE(*r);
  EXPECT_EQ(c.recno(), 250u);
}

// Two processes on the real file system, each inserting its own keys through its own
// descriptors: nothing is lost and the tree stays sound.
TEST(SharingProcesses, TwoProcessesInsertingAtOnceLoseNothing) {
  std::string dir = (std::filesystem::temp_directory_path() / "cdxshareXXXXXX").string();
  ASSERT_NE(::mkdtemp(dir.data()), nullptr);
  const std::filesystem::path path = std::filesystem::path(dir) / "SHARED.CDX";
  FileSystem* fs = defaultFileSystem();
  {
    Result<std::unique_ptr<File>> f = fs->create(path, ShareMode::kNone, true);
    ASSERT_TRUE(f.isOk());
    Result<std::unique_ptr<CdxFile>> cdx =
        CdxFile::create(std::move(f.value()), testing::exclusiveOptions());
    ASSERT_TRUE(cdx.isOk());
    ASSERT_TRUE((*cdx)
                    ->addTag({"ID", KeyType::kInteger, 4, "ID", "", false, false},
                             KeyList(KeyType::kInteger, 4))
                    .isOk());
  }
  constexpr int kPerProcess = 300;
  const auto insertMany = [&](int first) -> bool {
    Result<std::unique_ptr<File>> f = fs->open(path, OpenAccess::kReadWrite, ShareMode::kShared);
    if (!f.isOk()) return false;
    IndexOptions o;
    o.lockTimeout = std::chrono::milliseconds(10000);
    Result<std::unique_ptr<CdxFile>> cdx = CdxFile::open(std::move(f.value()), o);
    if (!cdx.isOk()) return false;
    Result<Tag*> tag = (*cdx)->tag("ID", KeyType::kInteger);
    if (!tag.isOk()) return false;
    for (int i = 0; i < kPerProcess; ++i) {
      // Interleaved keys, so that both processes change the same leaves.
      const int v = 2 * i + first;
      if (!(*tag)->insert(integerKey(v), static_cast<std::uint32_t>(v + 1)).isOk()) return false;
    }
    return true;
  };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(insertMany(1) ? 0 : 1);
  const bool mine = insertMany(0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(mine);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Result<std::unique_ptr<File>> f = fs->open(path, OpenAccess::kReadWrite, ShareMode::kNone);
  ASSERT_TRUE(f.isOk());
  Result<std::unique_ptr<CdxFile>> cdx =
      CdxFile::open(std::move(f.value()), testing::exclusiveOptions());
  ASSERT_TRUE(cdx.isOk());
  Result<Tag*> tag = (*cdx)->tag("ID", KeyType::kInteger);
  ASSERT_TRUE(tag.isOk());
  Entries want;
  for (int v = 0; v < 2 * kPerProcess; ++v) {
    want.emplace_back(integerKey(v), static_cast<std::uint32_t>(v + 1));
  }
  EXPECT_EQ(testing::readForward(**tag), want);
  EXPECT_EQ(testing::faultsOf(**cdx), std::vector<std::string>{});
  std::filesystem::remove_all(dir);
}

// The changes of one record to several tags go out together: one lock, one commit, one step of
// the counter; until then other stations see none of them.
TEST_F(SharingTest, AnIndexUpdateGroupsTheChangesOfOneRecord) {
  {
    std::unique_ptr<CdxFile> cdx = createIndex();
    model_.clear();
    for (std::uint32_t r = 1; r <= 300; ++r)
      model_.insert({characterKey("K" + std::to_string(r), 8), r});
    const Entries e(model_.begin(), model_.end());
    for (const char* name : {"KEY", "COPY"}) {
      ASSERT_TRUE(cdx->addTag({name, KeyType::kCharacter, 8, "KEY", "", false, false},
                              testing::keyListOf(KeyType::kCharacter, 8, e))
                      .isOk());
    }
  }
  std::unique_ptr<CdxFile> writer = openIndex(testing::sharedOptions());
  std::unique_ptr<CdxFile> reader = openIndex(testing::sharedOptions());
  Tag* key = tagOf(*writer);
  Tag* copy = *writer->tag("COPY", KeyType::kCharacter);
  const std::uint32_t counter = counterOnDisk();
  {
    IndexUpdate update(*writer);
    ASSERT_TRUE(update.status().isOk());
    // Record 7 changes its key: both tags move it; an erase that finds nothing changes nothing.
    ASSERT_TRUE(key->erase("K7", 7).isOk());
    ASSERT_TRUE(key->insert("Z7", 7).isOk());
    ASSERT_TRUE(copy->erase("K7", 7).isOk());
    ASSERT_TRUE(copy->insert("Z7", 7).isOk());
    EXPECT_EQ(copy->erase("NOTTHERE", 7).code(), Status::Code::kNotFound);
    // The writer's own cursors see the changes; other stations wait for the lock.
    Cursor mine(*key);
    EXPECT_TRUE(*mine.seek("Z7"));
    Cursor theirs(*tagOf(*reader));
    EXPECT_EQ(theirs.seek("Z7").status().code(), Status::Code::kBusy);
    EXPECT_EQ(IndexUpdate(*writer).status().code(), Status::Code::kInvalidArgument);  // no nesting
    EXPECT_EQ(writer->deleteTag("COPY").code(), Status::Code::kInvalidArgument);
    ASSERT_TRUE(update.commit().isOk());
  }
  EXPECT_EQ(counterOnDisk(), counter + 1);
  model_.erase({characterKey("K7", 8), 7});
  model_.insert({characterKey("Z7", 8), 7});
  const Entries want(model_.begin(), model_.end());
  EXPECT_EQ(testing::readForward(*tagOf(*reader)), want);
  EXPECT_EQ(testing::readForward(**reader->tag("COPY", KeyType::kCharacter)), want);

  // An update dropped without commit leaves no trace.
  {
    IndexUpdate update(*writer);
    ASSERT_TRUE(key->insert("GONE", 1).isOk());
    ASSERT_TRUE(copy->insert("GONE", 1).isOk());
  }
  EXPECT_EQ(counterOnDisk(), counter + 1);
  EXPECT_EQ(testing::readForward(*tagOf(*reader)), want);
  EXPECT_EQ(testing::readForward(*key), want);
  EXPECT_EQ(testing::faultsOf(*reader), std::vector<std::string>{});
}

}  // namespace
}  // namespace dbe::cdx
