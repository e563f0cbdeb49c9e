// The .fpt memo file: header reading, allocation, reuse, and pointers that lead nowhere.
#include "memo_file.h"

#include <gtest/gtest.h>

#include "byte_order.h"
#include "table.h"
#include "test_util.h"

namespace dbe::dbf {
namespace {

using namespace std::chrono_literals;

class MemoFileTest : public ::testing::Test {
 protected:
  // A memo file of `blockSize` with next-free `next`, `extra` header garbage in bytes 4-5 and
  // the given blocks appended after the 512-byte header.
  void writeMemo(std::uint16_t blockSize, std::uint32_t next, std::uint16_t garbage = 0,
                 std::vector<std::byte> body = {}) {
    std::vector<std::byte> h(512, std::byte{0});
    putBe32(h.data(), next);
    putBe16(h.data() + 4, garbage);
    putBe16(h.data() + 6, blockSize);
    h.insert(h.end(), body.begin(), body.end());
    testing::writeWholeFile(fs_.get(), "M.FPT", h);
  }
  Result<std::unique_ptr<MemoFile>> openMemo(bool shared = false) {
    Result<std::unique_ptr<File>> f =
        fs_->open("M.FPT", OpenAccess::kReadWrite, ShareMode::kNone);
    if (!f.isOk()) return f.status();
    return MemoFile::open(std::move(*f), shared);
  }
  static std::vector<std::byte> block(std::uint32_t type, std::string_view text,
                                      std::size_t pad) {
    std::vector<std::byte> b(8);
    putBe32(b.data(), type);
    putBe32(b.data() + 4, static_cast<std::uint32_t>(text.size()));
    for (char c : text) b.push_back(static_cast<std::byte>(c));
    b.resize(std::max(b.size(), pad), std::byte{0});
    return b;
  }
  std::unique_ptr<FileSystem> fs_ = newMemoryFileSystem();
};

TEST_F(MemoFileTest, BlockSizeComesFromBytesSixAndSeven) {
  writeMemo(64, 9, /*garbage=*/0xBEEF, block(1, "hello", 64));
  Result<std::unique_ptr<MemoFile>> m = openMemo();
  ASSERT_TRUE(m.isOk()) << m.status().toString();
  EXPECT_EQ((*m)->blockSize(), 64u);
  EXPECT_EQ(*(*m)->read(8, "record 1, field NOTES"), "hello");
  EXPECT_EQ(*(*m)->read(0, ""), "");
}

struct BadMemoCase {
  const char* name;
  std::uint32_t block;
  std::string message;
};

TEST_F(MemoFileTest, PointersThatLeadNowhereAreCorruption) {
  // One memo at block 8 (64-byte blocks) that claims 1000 bytes, in a file of 576 bytes.
  writeMemo(64, 9, 0, block(1, "short", 64));
  {
    Result<std::unique_ptr<File>> f = fs_->open("M.FPT", OpenAccess::kReadWrite, ShareMode::kNone);
    std::byte len[4];
    putBe32(len, 1000);
    ASSERT_TRUE((*f)->write(512 + 4, len).isOk());
  }
  const BadMemoCase cases[] = {
      {"PastTheEnd", 99,
       "Corruption: M.FPT: record 7, field NOTES: memo block 99 lies past the end of the memo "
       "file (576 bytes)"},
      {"IntoTheHeader", 3,
       "Corruption: M.FPT: record 7, field NOTES: memo block 3 points into the memo file "
       "header"},
      {"LengthPastTheEnd", 8,
       "Corruption: M.FPT: record 7, field NOTES: memo at block 8 claims 1000 bytes, past the "
       "end of the memo file (576 bytes)"},
  };
  Result<std::unique_ptr<MemoFile>> m = openMemo();
  ASSERT_TRUE(m.isOk());
  for (const BadMemoCase& c : cases) {
    SCOPED_TRACE(c.name);
    Result<std::string> text = (*m)->read(c.block, "record 7, field NOTES");
    EXPECT_EQ(text.status().toString(), c.message);
  }
}

TEST_F(MemoFileTest, BadHeadersAreCorruption) {
  writeMemo(0, 8);
  EXPECT_EQ(openMemo().status().toString(), "Corruption: M.FPT: memo block size is 0");
  writeMemo(64, 2);
  EXPECT_EQ(openMemo().status().toString(),
            "Corruption: M.FPT: next free memo block 2 lies inside the header");
  writeMemo(64, 0x7FFFFFFF);
  EXPECT_EQ(openMemo().status().code(), Status::Code::kCorruption);
  testing::writeWholeFile(fs_.get(), "M.FPT", testing::hexBytes("00 00"));
  EXPECT_EQ(openMemo().status().code(), Status::Code::kCorruption);
}

TEST_F(MemoFileTest, AllocationNeverOverwritesWhatTheFileHolds) {
  // The header says block 8 is free, but a memo already lives there (a writer that died
  // before moving the header): the new memo goes after it.
  writeMemo(64, 8, 0, block(1, "already here", 64));
  Result<std::unique_ptr<MemoFile>> m = openMemo(/*shared=*/true);
  ASSERT_TRUE(m.isOk());
  Result<std::uint32_t> b = (*m)->write(0, "new text", MemoFile::kTypeText, 100ms);
  ASSERT_TRUE(b.isOk());
  EXPECT_EQ(*b, 9u);
  EXPECT_EQ(*(*m)->read(8, ""), "already here");
  const std::vector<std::byte> disk = testing::readWholeFile(fs_.get(), "M.FPT");
  EXPECT_EQ(getBe32(&disk[0]), 10u);
  EXPECT_EQ(disk.size(), 640u) << "the last block is padded to its full size";
}

TEST_F(MemoFileTest, SharedAllocationWaitsForTheMemoLock) {
  writeMemo(64, 8);
  Result<std::unique_ptr<MemoFile>> m = openMemo(/*shared=*/true);
  Result<std::unique_ptr<File>> other = fs_->open("M.FPT", OpenAccess::kReadWrite, ShareMode::kNone);
  ASSERT_TRUE((*other)->lockRange(0, 1, LockKind::kExclusive).isOk());
  Result<std::uint32_t> b = (*m)->write(0, "x", MemoFile::kTypeText, 30ms);
  EXPECT_EQ(b.status().toString(),
            "Busy: M.FPT: the memo file stays locked by another user");
  ASSERT_TRUE((*other)->unlockRange(0, 1).isOk());
  EXPECT_TRUE((*m)->write(0, "x", MemoFile::kTypeText, 30ms).isOk());
}

TEST_F(MemoFileTest, TableNamesTheRecordOfABadPointer) {
  {
    CreateOptions c;
    Result<std::unique_ptr<Table>> t = Table::create(fs_.get(), "T.DBF", {{"NOTES", 'M'}}, c);
    ASSERT_TRUE(t.isOk());
    Record r = (*t)->newRecord();
    r.setMemoBlock(0, 4242);  // a pointer far past the end of the memo file
    ASSERT_TRUE((*t)->append(r).isOk());
    Record garbled = (*t)->newRecord();
    ASSERT_TRUE((*t)->append(garbled).isOk());
  }
  {
    // Record 2's pointer: digits and letters.
    Result<std::unique_ptr<File>> f = fs_->open("T.DBF", OpenAccess::kReadWrite, ShareMode::kNone);
    ASSERT_TRUE((*f)->write(65 + 11 + 1, testing::toBytes("     12ab ")).isOk());
  }
  Result<std::unique_ptr<Table>> t = Table::open(fs_.get(), "T.DBF");
  ASSERT_TRUE(t.isOk());
  Record r = (*t)->newRecord();
  ASSERT_TRUE((*t)->read(1, &r).isOk());
  EXPECT_EQ((*t)->value(r, 0).status().toString(),
            "Corruption: T.FPT: record 1, field NOTES: memo block 4242 lies past the end of the "
            "memo file (512 bytes)");
  ASSERT_TRUE((*t)->read(2, &r).isOk());
  EXPECT_EQ((*t)->value(r, 0).status().toString(),
            "Corruption: T.DBF: record 2, field NOTES: the memo pointer is not a number");
}

}  // namespace
}  // namespace dbe::dbf
