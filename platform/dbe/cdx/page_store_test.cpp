#include "page_store.h"

#include <gtest/gtest.h>
#include <vector>

namespace dbe::cdx {
namespace {

// Four pages of a file; each test changes pages inside groups of write scopes.
class PageStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_ = newMemoryFileSystem();
    Result<std::unique_ptr<File>> f = fs_->create("t.cdx", ShareMode::kNone, true);
    ASSERT_TRUE(f.isOk());
    const std::vector<std::byte> zeros(4 * kPageSize);
    ASSERT_TRUE((*f)->write(0, zeros).isOk());
    IndexOptions o;
    o.shared = false;
    store_ = std::make_unique<PageStore>(std::move(f.value()), o);
  }

  std::uint8_t byteOnDisk(std::uint64_t offset) {
    Result<std::unique_ptr<File>> f = fs_->open("t.cdx", OpenAccess::kReadOnly, ShareMode::kNone);
    std::byte b{};
    EXPECT_TRUE((*f)->readExact(offset, std::span(&b, 1), "test").isOk());
    return std::to_integer<std::uint8_t>(b);
  }

  // One inner change: sets the first byte of a page, and fails after it when told to.
  Status setByte(std::uint32_t page, std::uint8_t value, bool failAfter) {
    WriteScope scope(*store_);
    DBE_RETURN_IF_ERROR(scope.status());
    const Page* p = nullptr;
    DBE_RETURN_IF_ERROR(store_->read(page, &p));
    (*store_->change(page))[0] = value;
    if (failAfter) return Status::corruption("t.cdx", "damage found half-way");
    return scope.commit();
  }
  // An inner operation that fails before changing anything.
  Status failEarly() {
    WriteScope scope(*store_);
    DBE_RETURN_IF_ERROR(scope.status());
    return Status::notFound("t.cdx", "no such entry");
  }

  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<PageStore> store_;
};

TEST_F(PageStoreTest, AGroupWritesAllItsChangesOrNone) {
  // A failure that changed nothing leaves the group whole.
  ASSERT_TRUE(store_->beginWrite().isOk());
  ASSERT_TRUE(setByte(1024, 0x11, false).isOk());
  EXPECT_EQ(failEarly().code(), Status::Code::kNotFound);
  ASSERT_TRUE(setByte(1536, 0x22, false).isOk());
  EXPECT_EQ(byteOnDisk(1024), 0);  // nothing is written before the group commits
  ASSERT_TRUE(store_->commit().isOk());
  EXPECT_EQ(byteOnDisk(1024), 0x11);
  EXPECT_EQ(byteOnDisk(1536), 0x22);
  EXPECT_EQ(byteOnDisk(11), 1);  // the update counter moved once

  // A failure half-way spoils it: later changes are refused and the commit drops them all.
  ASSERT_TRUE(store_->beginWrite().isOk());
  ASSERT_TRUE(setByte(1024, 0x33, false).isOk());
  EXPECT_EQ(setByte(1536, 0x44, true).code(), Status::Code::kCorruption);
  EXPECT_EQ(setByte(512, 0x55, false).code(), Status::Code::kInvalidArgument);
  const Status s = store_->commit();
  EXPECT_EQ(s.code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(byteOnDisk(1024), 0x11);
  EXPECT_EQ(byteOnDisk(1536), 0x22);
  EXPECT_EQ(byteOnDisk(11), 1);

  // The store works normally afterwards.
  ASSERT_TRUE(setByte(1024, 0x66, false).isOk());
  EXPECT_EQ(byteOnDisk(1024), 0x66);
  EXPECT_EQ(byteOnDisk(11), 2);
}

}  // namespace
}  // namespace dbe::cdx
