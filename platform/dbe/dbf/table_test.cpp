// Tables end to end on the in-memory and the real file system: shared and exclusive use,
// locks between two Tables, memos, pack and zap.
#include "table.h"

#include <gtest/gtest.h>

#include "byte_order.h"
#include "dbe/io/fault_file.h"
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

// ---- shared and exclusive use, on both file systems ----

enum class FsKind { kMemory, kPosix };

// The test table of TableTest: header 32 + 3 * 32 + 1 bytes, records 1 + 10 + 6 + 10 bytes.
constexpr std::uint32_t kHeader = 129;
constexpr std::uint32_t kRecord = 27;

class TableTest : public ::testing::TestWithParam<FsKind> {
 protected:
  void SetUp() override {
    if (GetParam() == FsKind::kMemory) {
      owned_ = newMemoryFileSystem();
      fs_ = owned_.get();
      path_ = "/data/VENDORS.DBF";
    } else {
      fs_ = defaultFileSystem();
      path_ = tmp_.path() / "VENDORS.DBF";
    }
  }

  // A table NAME C(10), QTY N(6,0), NOTE M with n records "name1".."nameN", qty = i.
  void buildTable(int n, bool cdx = false) {
    Result<std::unique_ptr<Table>> t = Table::create(
        fs_, path_, {{"NAME", 'C', 10}, {"QTY", 'N', 6}, {"NOTE", 'M'}},
        createOptions(TableFormat::kFoxPro2, cdx));
    ASSERT_TRUE(t.isOk()) << t.status().toString();
    for (int i = 1; i <= n; ++i) appendRow(**t, "name" + std::to_string(i), i);
    ASSERT_TRUE((*t)->close().isOk());
  }
  static void appendRow(Table& t, const std::string& name, double qty, std::string note = {}) {
    Record r = t.newRecord();
    ASSERT_TRUE(r.setValue(0, rt::Value(name)).isOk());
    ASSERT_TRUE(r.setValue(1, rt::Value(qty)).isOk());
    if (!note.empty()) {
      ASSERT_TRUE(r.setValue(2, rt::Value(note)).isOk());
    }
    Result<std::uint32_t> recno = t.append(r);
    ASSERT_TRUE(recno.isOk()) << recno.status().toString();
    if (!t.isExclusive()) {
      ASSERT_TRUE(t.unlockAll().isOk());
    }
  }
  std::unique_ptr<Table> openTable(const OpenOptions& o = shared()) {
    Result<std::unique_ptr<Table>> t = Table::open(fs_, path_, o);
    EXPECT_TRUE(t.isOk()) << t.status().toString();
    return t.isOk() ? std::move(*t) : nullptr;
  }
  // Checks that records min..max hold name<i> and qty i.
  void checkRecords(Table& t, std::uint32_t min, std::uint32_t max) {
    Record r = t.newRecord();
    for (std::uint32_t i = min; i <= max; ++i) {
      ASSERT_TRUE(t.read(i, &r).isOk()) << i;
      EXPECT_EQ(r.value(0)->text(), "name" + std::to_string(i) + std::string(i < 10 ? 5 : 4, ' '))
          << i;
      EXPECT_EQ(r.value(1)->number(), i);
    }
  }

  testing::TempDir tmp_;
  std::unique_ptr<FileSystem> owned_;
  FileSystem* fs_ = nullptr;
  std::filesystem::path path_;
};

TEST_P(TableTest, ExclusiveAppendsAreBufferedUntilFlush) {
  buildTable(0);
  auto t = openTable(exclusive());
  for (int i = 1; i <= 50; ++i) appendRow(*t, "name" + std::to_string(i), i);
  // The header on disk still counts 0, yet the table reads its own buffered records.
  EXPECT_EQ(getLe32(&testing::readWholeFile(fs_, path_)[4]), 0u);
  EXPECT_EQ(t->recordCount(), 50u);
  checkRecords(*t, 1, 50);
  ASSERT_TRUE(t->flush().isOk());
  const std::vector<std::byte> disk = testing::readWholeFile(fs_, path_);
  EXPECT_EQ(getLe32(&disk[4]), 50u);
  EXPECT_EQ(disk.size(), kHeader + 50u * kRecord + 1u);
  EXPECT_EQ(disk.back(), std::byte{0x1A});
  ASSERT_TRUE(t->close().isOk());
  checkRecords(*openTable(), 1, 50);
}

TEST_P(TableTest, ExclusiveOpenShutsOutOthers) {
  buildTable(1);
  auto ex = openTable(exclusive());
  Result<std::unique_ptr<Table>> other = Table::open(fs_, path_, shared());
  ASSERT_EQ(other.status().code(), Status::Code::kBusy);
  EXPECT_EQ(other.status().detail(), "in use exclusively by another user");
  ex.reset();
  auto sh = openTable();
  Result<std::unique_ptr<Table>> ex2 = Table::open(fs_, path_, exclusive());
  EXPECT_EQ(ex2.status().detail(), "in use by another user");
}

TEST_P(TableTest, SharedAppendIsSeenByTheOtherTableAtItsNextRead) {
  buildTable(3);
  auto a = openTable();
  auto b = openTable();
  appendRow(*a, "name4", 4);
  EXPECT_EQ(b->recordCount(), 3u);
  Record r = b->newRecord();
  ASSERT_TRUE(b->read(4, &r).isOk());  // past its known end: b re-reads the count
  EXPECT_EQ(b->recordCount(), 4u);
  checkRecords(*b, 1, 4);
  // Header bytes 1-7 changed, nothing else of the header, and the end mark follows.
  const std::vector<std::byte> disk = testing::readWholeFile(fs_, path_);
  EXPECT_EQ(getLe32(&disk[4]), 4u);
  EXPECT_EQ(disk[1], std::byte{24});
  EXPECT_EQ(disk[2], std::byte{3});
  EXPECT_EQ(disk[3], std::byte{15});
  EXPECT_EQ(disk.size(), kHeader + 4u * kRecord + 1u);
  EXPECT_EQ(disk.back(), std::byte{0x1A});
}

TEST_P(TableTest, InterleavedAppendsFromTwoTablesLoseNothing) {
  buildTable(0);
  auto a = openTable();
  auto b = openTable();
  for (int i = 1; i <= 60; ++i) appendRow(i % 2 ? *a : *b, "name" + std::to_string(i), i);
  ASSERT_TRUE(a->refreshRecordCount().isOk());
  EXPECT_EQ(a->recordCount(), 60u);
  checkRecords(*a, 1, 60);
}

TEST_P(TableTest, RecordLocksConflictBetweenTables) {
  buildTable(5);
  auto a = openTable();
  auto b = openTable();
  ASSERT_TRUE(a->lockRecord(3).isOk());
  Status s = b->lockRecord(3);
  EXPECT_EQ(s.code(), Status::Code::kBusy);
  EXPECT_EQ(s.detail(), "record 3 is locked by another user");
  EXPECT_TRUE(b->lockRecord(4).isOk());
  EXPECT_EQ(a->lockFile().code(), Status::Code::kBusy) << "b holds record 4";
  ASSERT_TRUE(b->unlockAll().isOk());
  ASSERT_TRUE(a->lockFile().isOk());
  EXPECT_TRUE(a->isRecordLocked(5)) << "the file lock covers every record";
  EXPECT_EQ(b->lockRecord(1).code(), Status::Code::kBusy);
  EXPECT_EQ(b->lockFile().detail(), "the table is locked by another user");
  ASSERT_TRUE(a->unlockAll().isOk());
  EXPECT_TRUE(b->lockRecord(3).isOk()) << "record 3 went with the file lock's release";
  EXPECT_EQ(a->lockRecord(9).code(), Status::Code::kNotFound);
}

TEST_P(TableTest, WritesNeedTheLockInSharedMode) {
  buildTable(2);
  auto a = openTable();
  Record r = a->newRecord();
  ASSERT_TRUE(a->read(2, &r).isOk());
  ASSERT_TRUE(r.setValue(1, rt::Value(99.0)).isOk());
  Status s = a->write(r);
  EXPECT_EQ(s.code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(s.detail(), "write: record 2 is not locked");
  EXPECT_EQ(a->setDeleted(2, true).detail(), "delete: record 2 is not locked");
  ASSERT_TRUE(a->lockRecord(2).isOk());
  ASSERT_TRUE(a->write(r).isOk());
  ASSERT_TRUE(a->setDeleted(2, true).isOk());
  ASSERT_TRUE(a->unlockAll().isOk());
  auto b = openTable();
  Record back = b->newRecord();
  ASSERT_TRUE(b->read(2, &back).isOk());
  EXPECT_EQ(back.value(1)->number(), 99.0);
  EXPECT_TRUE(back.isDeleted());
}

TEST_P(TableTest, SharedReadAheadIsDroppedByALock) {
  buildTable(3);
  OpenOptions o = shared();
  o.sharedReadAhead = std::chrono::hours(1);
  auto reader = openTable(o);
  auto writer = openTable();
  Record r = reader->newRecord();
  ASSERT_TRUE(reader->read(1, &r).isOk());  // reads records 1-3 ahead
  ASSERT_TRUE(writer->lockRecord(2).isOk());
  Record w = writer->newRecord();
  ASSERT_TRUE(writer->read(2, &w).isOk());
  ASSERT_TRUE(w.setValue(1, rt::Value(222.0)).isOk());
  ASSERT_TRUE(writer->write(w).isOk());
  ASSERT_TRUE(writer->unlockAll().isOk());
  ASSERT_TRUE(reader->read(2, &r).isOk());
  EXPECT_EQ(r.value(1)->number(), 2.0) << "within the refresh interval the block is served";
  ASSERT_TRUE(reader->lockRecord(2).isOk());
  ASSERT_TRUE(reader->read(2, &r).isOk());
  EXPECT_EQ(r.value(1)->number(), 222.0) << "after a lock the record comes from the file";
  // Without the option every read goes to the file.
  auto plain = openTable();
  ASSERT_TRUE(plain->read(3, &r).isOk());
  ASSERT_TRUE(writer->lockRecord(3).isOk());
  ASSERT_TRUE(writer->setDeleted(3, true).isOk());
  ASSERT_TRUE(plain->read(3, &r).isOk());
  EXPECT_TRUE(r.isDeleted());
}

TEST_P(TableTest, AppendLeavesTheNewRecordLocked) {
  buildTable(1);
  auto a = openTable();
  auto b = openTable();
  Record r = a->newRecord();
  Result<std::uint32_t> recno = a->append(r);
  ASSERT_TRUE(recno.isOk());
  EXPECT_EQ(*recno, 2u);
  EXPECT_EQ(a->lockedRecords(), std::vector<std::uint32_t>{2});
  EXPECT_EQ(b->lockRecord(2).code(), Status::Code::kBusy);
  ASSERT_TRUE(a->unlockAll().isOk());
  EXPECT_TRUE(b->lockRecord(2).isOk());
}

TEST_P(TableTest, AppendWaitsForTheHeaderLockThenGivesUp) {
  buildTable(1);
  OpenOptions o = shared();
  o.headerLockTimeout = 50ms;
  auto a = openTable(o);
  // Another station's append in progress: it holds the header byte of the 0x40000000 scheme.
  Result<std::unique_ptr<File>> other = fs_->open(path_, OpenAccess::kReadWrite, ShareMode::kShared);
  ASSERT_TRUE(other.isOk());
  ASSERT_TRUE((*other)->lockRange(a->lockLayout().header().offset, 1, LockKind::kExclusive).isOk());
  Record r = a->newRecord();
  Result<std::uint32_t> recno = a->append(r);
  EXPECT_EQ(recno.status().code(), Status::Code::kBusy);
  EXPECT_EQ(recno.status().detail(), "the table header stays locked by another user");
  EXPECT_EQ(getLe32(&testing::readWholeFile(fs_, path_)[4]), 1u);
  EXPECT_TRUE(a->lockedRecords().empty());
  ASSERT_TRUE((*other)->unlockRange(a->lockLayout().header().offset, 1).isOk());
  EXPECT_TRUE(a->append(r).isOk());
}

TEST_P(TableTest, AppendOverAnOrphanRecordFollowsTheHeader) {
  buildTable(2);
  // A station died after writing record 3 but before counting it.
  {
    Result<std::unique_ptr<File>> f = fs_->open(path_, OpenAccess::kReadWrite, ShareMode::kNone);
    ASSERT_TRUE(f.isOk());
    ASSERT_TRUE((*f)->write(kHeader + 2 * kRecord,
                             testing::toBytes(" orphan         0          ")).isOk());
  }
  auto a = openTable();
  EXPECT_EQ(a->recordCount(), 2u);
  EXPECT_EQ(a->trailingRecords(), 1u);
  appendRow(*a, "name3", 3);
  checkRecords(*a, 1, 3);
  EXPECT_EQ(a->trailingRecords(), 0u);
}

TEST_P(TableTest, MemosRoundTripAndReuseTheirBlocks) {
  buildTable(0);
  auto t = openTable();
  appendRow(*t, "name1", 1, std::string(100, 'a'));
  Record r = t->newRecord();
  ASSERT_TRUE(t->read(1, &r).isOk());
  const std::uint32_t first = *r.memoBlock(2);
  EXPECT_EQ(first, 8u);
  ASSERT_TRUE(t->lockRecord(1).isOk());
  ASSERT_TRUE(r.setValue(2, rt::Value(std::string(60, 'b'))).isOk());  // fits: same blocks
  ASSERT_TRUE(t->write(r).isOk());
  EXPECT_EQ(*r.memoBlock(2), first);
  ASSERT_TRUE(r.setValue(2, rt::Value(std::string(500, 'c'))).isOk());  // grows: new blocks
  ASSERT_TRUE(t->write(r).isOk());
  EXPECT_EQ(*r.memoBlock(2), first + 2);
  ASSERT_TRUE(t->unlockAll().isOk());
  auto other = openTable();
  Record back = other->newRecord();
  ASSERT_TRUE(other->read(1, &back).isOk());
  EXPECT_EQ(other->value(back, 2)->text(), std::string(500, 'c'));
  const std::vector<std::byte> fpt = testing::readWholeFile(fs_, path_.parent_path() / "VENDORS.FPT");
  EXPECT_EQ(getBe32(&fpt[0]), first + 2 + 8);  // next free after 8 blocks of 64 bytes
}

TEST_P(TableTest, PackRemovesDeletedRecordsAndKeepsMemos) {
  buildTable(0);
  {
    auto t = openTable(exclusive());
    for (int i = 1; i <= 6; ++i) appendRow(*t, "name" + std::to_string(i), i, "memo" + std::to_string(i));
    for (std::uint32_t r : {2u, 5u}) ASSERT_TRUE(t->setDeleted(r, true).isOk());
    Status s = t->pack();
    ASSERT_TRUE(s.isOk()) << s.toString();
    EXPECT_EQ(t->recordCount(), 4u);
    appendRow(*t, "name7", 7, "memo7");  // the packed table keeps working
    ASSERT_TRUE(t->close().isOk());
  }
  EXPECT_FALSE(fs_->exists(path_.string() + ".tmp"));
  auto t = openTable();
  EXPECT_EQ(t->recordCount(), 5u);
  Record r = t->newRecord();
  const int kept[] = {1, 3, 4, 6, 7};
  for (std::uint32_t i = 1; i <= 5; ++i) {
    ASSERT_TRUE(t->read(i, &r).isOk());
    EXPECT_EQ(t->value(r, 2)->text(), "memo" + std::to_string(kept[i - 1]));
    EXPECT_FALSE(r.isDeleted());
  }
}

TEST_P(TableTest, ZapEmptiesTableAndMemoFile) {
  buildTable(3);
  auto t = openTable(exclusive());
  appendRow(*t, "name4", 4, "memo");
  ASSERT_TRUE(t->zap().isOk());
  EXPECT_EQ(t->recordCount(), 0u);
  appendRow(*t, "name1", 1, "again");
  ASSERT_TRUE(t->close().isOk());
  auto back = openTable();
  EXPECT_EQ(back->recordCount(), 1u);
  Record r = back->newRecord();
  ASSERT_TRUE(back->read(1, &r).isOk());
  EXPECT_EQ(back->value(r, 2)->text(), "again");
  EXPECT_EQ(*r.memoBlock(2), 8u);
}

TEST_P(TableTest, PackAndZapNeedExclusiveUse) {
  buildTable(1);
  auto t = openTable();
  EXPECT_EQ(t->pack().detail(), "pack needs the table opened exclusively");
  EXPECT_EQ(t->zap().detail(), "zap needs the table opened exclusively");
  OpenOptions ro = shared();
  ro.readOnly = true;
  auto r = openTable(ro);
  Record rec = r->newRecord();
  EXPECT_EQ(r->append(rec).status().code(), Status::Code::kReadOnly);
  ASSERT_TRUE(r->close().isOk());
  EXPECT_EQ(r->read(1, &rec).code(), Status::Code::kInvalidArgument) << "closed, not a crash";
  EXPECT_EQ(r->lockRecord(1).code(), Status::Code::kInvalidArgument);
}

std::string fsName(const ::testing::TestParamInfo<FsKind>& p) {
  return p.param == FsKind::kMemory ? "Memory" : "Posix";
}
INSTANTIATE_TEST_SUITE_P(FileSystems, TableTest,
                         ::testing::Values(FsKind::kMemory, FsKind::kPosix), fsName);

// Re-locking what a table holds makes no system call; the file lock absorbs record locks.
TEST(TableLockTest, HeldLocksAreNotTakenTwice) {
  auto mem = newMemoryFileSystem();
  FaultFileSystem fs(mem.get());
  {
    Result<std::unique_ptr<Table>> t =
        Table::create(&fs, "T.DBF", {{"A", 'C', 1}}, createOptions(TableFormat::kFoxPro2, true));
    ASSERT_TRUE(t.isOk());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE((*t)->appendBlank().isOk());
  }
  Result<std::unique_ptr<Table>> t = Table::open(&fs, "T.DBF", shared());
  ASSERT_TRUE(t.isOk());
  const std::uint64_t before = fs.count(FaultOp::kLock);
  ASSERT_TRUE((*t)->lockRecord(2).isOk());
  ASSERT_TRUE((*t)->lockRecord(2).isOk());
  EXPECT_EQ(fs.count(FaultOp::kLock), before + 1);
  ASSERT_TRUE((*t)->lockFile().isOk());
  EXPECT_TRUE((*t)->lockedRecords().empty()) << "absorbed by the file lock";
  ASSERT_TRUE((*t)->lockRecord(3).isOk());
  EXPECT_EQ(fs.count(FaultOp::kLock), before + 2);
  ASSERT_TRUE((*t)->unlockAll().isOk());
  Result<std::unique_ptr<File>> raw = fs.open("T.DBF", OpenAccess::kReadWrite, ShareMode::kNone);
  const LockRange rec2 = (*t)->lockLayout().record(2);
  EXPECT_EQ(rec2.offset, 0x7FFFFFFCu);
  EXPECT_TRUE((*raw)->lockRange(rec2.offset, 1, LockKind::kExclusive).isOk())
      << "nothing of record 2's lock survives";
}

}  // namespace
}  // namespace dbe::dbf
