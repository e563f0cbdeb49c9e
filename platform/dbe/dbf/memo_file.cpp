// Decoder and encoder of .fpt memo files (big-endian integers).
//
// File header (block 0 and on, 512 bytes):
//   OFFSET  SIZE  MEANING
//        0     4  next free block: where the next new memo starts
//        4     2  unused (other writers may leave garbage: never read as part of the size)
//        6     2  block size in bytes
//        8   504  unused (other engines' signatures and free lists are ignored, never written)
//
// Memo block n starts at n * block size:
//   OFFSET  SIZE  MEANING
//        0     4  type: 0 binary/picture, 1 text, 2 OLE object
//        4     4  length of the data
//        8     n  data, in the table's code page, no terminator; the rest of the last block
//                 is filler
#include "memo_file.h"

#include <algorithm>
#include <vector>

#include "byte_order.h"
#include "lock_layout.h"

namespace dbe::dbf {

namespace {

constexpr std::uint64_t kHeaderSize = 512;
// A next-free block this far past the end of the file is not a writer's harmless slack.
constexpr std::uint64_t kMaxSlack = std::uint64_t{1} << 24;

}  // namespace

Result<std::unique_ptr<MemoFile>> MemoFile::open(std::unique_ptr<File> file, bool shared) {
  std::unique_ptr<MemoFile> m(new MemoFile(std::move(file), shared));
  DBE_RETURN_IF_ERROR(m->readHeader());
  return m;
}

Result<std::unique_ptr<MemoFile>> MemoFile::create(std::unique_ptr<File> file,
                                                   std::uint16_t blockSize, bool shared) {
  if (blockSize == 0) return Status::invalidArgument("memo block size 0", file->name());
  std::unique_ptr<MemoFile> m(new MemoFile(std::move(file), shared));
  m->blockSize_ = blockSize;
  m->nextFree_ = m->firstBlock();
  std::vector<std::byte> header(kHeaderSize, std::byte{0});
  putBe32(header.data(), m->nextFree_);
  putBe16(header.data() + 6, blockSize);
  DBE_RETURN_IF_ERROR(m->file_->write(0, header));
  m->fileSize_ = kHeaderSize;
  return m;
}

Status MemoFile::readHeader() {
  std::byte h[8];
  DBE_RETURN_IF_ERROR(file_->readExact(0, h, "memo file header"));
  Result<std::uint64_t> size = file_->size();
  if (!size.isOk()) return size.status();
  fileSize_ = *size;
  const std::uint32_t bs = getBe16(h + 6);
  if (bs == 0) return Status::corruption(name(), "memo block size is 0");
  const std::uint32_t next = getBe32(h);
  if (blockSize_ != bs && nextFree_ != 0) {
    return Status::corruption(name(), "memo block size changed from " +
                                          std::to_string(blockSize_) + " to " +
                                          std::to_string(bs));
  }
  blockSize_ = bs;
  if (next < firstBlock()) {
    return Status::corruption(name(), "next free memo block " + std::to_string(next) +
                                          " lies inside the header");
  }
  if (std::uint64_t{next} * bs > fileSize_ + kMaxSlack) {
    return Status::corruption(name(), "next free memo block " + std::to_string(next) +
                                          " lies far past the end of the file (" +
                                          std::to_string(fileSize_) + " bytes)");
  }
  nextFree_ = next;
  return Status::ok();
}

Result<std::string> MemoFile::read(std::uint32_t block, std::string_view where) {
  if (block == 0) return std::string();
  const std::string context = where.empty() ? std::string() : std::string(where) + ": ";
  if (block < firstBlock()) {
    return Status::corruption(name(), context + "memo block " + std::to_string(block) +
                                          " points into the memo file header");
  }
  const std::uint64_t offset = std::uint64_t{block} * blockSize_;
  std::byte h[8];
  std::size_t got = 0;
  DBE_RETURN_IF_ERROR(file_->read(offset, h, &got));
  if (got < sizeof h) {
    Result<std::uint64_t> size = file_->size();
    return Status::corruption(name(), context + "memo block " + std::to_string(block) +
                                          " lies past the end of the memo file (" +
                                          std::to_string(size.isOk() ? *size : 0) + " bytes)");
  }
  const std::uint32_t type = getBe32(h);
  const std::uint32_t length = getBe32(h + 4);
  if (type > 2) {
    return Status::corruption(name(), context + "memo block " + std::to_string(block) +
                                          " has unknown type " + std::to_string(type));
  }
  Result<std::uint64_t> size = file_->size();
  if (!size.isOk()) return size.status();
  if (offset + 8 + length > *size) {
    return Status::corruption(name(), context + "memo at block " + std::to_string(block) +
                                          " claims " + std::to_string(length) +
                                          " bytes, past the end of the memo file (" +
                                          std::to_string(*size) + " bytes)");
  }
  std::string data(length, '\0');
  DBE_RETURN_IF_ERROR(file_->readExact(
      offset + 8, std::span(reinterpret_cast<std::byte*>(data.data()), data.size()), "memo"));
  return data;
}

Result<std::uint32_t> MemoFile::write(std::uint32_t oldBlock, std::string_view data,
                                      std::uint32_t type, std::chrono::milliseconds lockTimeout) {
  if (data.empty()) return std::uint32_t{0};
  if (data.size() > 0xFFFFFFF0u) return Status::invalidArgument("memo too large", name());

  // The old value's blocks, if the pointer is sound and they are large enough.
  if (oldBlock >= firstBlock()) {
    std::byte h[8];
    std::size_t got = 0;
    const std::uint64_t offset = std::uint64_t{oldBlock} * blockSize_;
    DBE_RETURN_IF_ERROR(file_->read(offset, h, &got));
    if (got == sizeof h && getBe32(h) <= 2) {
      const std::uint64_t oldLength = getBe32(h + 4);
      Result<std::uint64_t> size = file_->size();
      if (!size.isOk()) return size.status();
      const bool intact = offset + 8 + oldLength <= *size;
      if (intact && blocksFor(data.size()) <= blocksFor(oldLength)) {
        std::vector<std::byte> out(8 + data.size());
        putBe32(out.data(), type);
        putBe32(out.data() + 4, static_cast<std::uint32_t>(data.size()));
        std::copy_n(reinterpret_cast<const std::byte*>(data.data()), data.size(), out.data() + 8);
        // The old value stays the record's until the new one is complete: on a failed write
        // put it back, so that the memo is old or new, never a mixture.
        std::vector<std::byte> before(static_cast<std::size_t>(
            std::min<std::uint64_t>(out.size(), 8 + oldLength)));
        DBE_RETURN_IF_ERROR(file_->readExact(offset, before, "memo"));
        if (Status s = file_->write(offset, out); !s.isOk()) {
          (void)file_->write(offset, before);
          return s;
        }
        return oldBlock;
      }
    }
  }

  if (!shared_) return allocate(data, type);
  // Other stations allocate too: serialize on the memo lock and re-read the header.
  const LockRange lock = LockLayout::memoLock();
  Status s = file_->lockRangeWait(lock.offset, lock.length, LockKind::kExclusive, lockTimeout);
  if (s.code() == Status::Code::kBusy) {
    return Status::busy(name(), "the memo file stays locked by another user");
  }
  DBE_RETURN_IF_ERROR(s);
  s = readHeader();
  Result<std::uint32_t> block = s.isOk() ? allocate(data, type) : Result<std::uint32_t>(s);
  Status u = file_->unlockRange(lock.offset, lock.length);
  if (!block.isOk()) return block;
  if (!u.isOk()) return u;
  return block;
}

Result<std::uint32_t> MemoFile::allocate(std::string_view data, std::uint32_t type) {
  // Never below what the file already holds: a writer that added blocks without moving the
  // header (or a stale header) must not have its memos overwritten.
  const std::uint64_t fromSize = (fileSize_ + blockSize_ - 1) / blockSize_;
  const std::uint64_t block =
      std::max<std::uint64_t>({nextFree_, fromSize, firstBlock()});
  const std::uint64_t count = blocksFor(data.size());
  if (block + count > 0xFFFFFFFFu) return Status::full(name(), "the memo file is full");

  std::vector<std::byte> out(static_cast<std::size_t>(count * blockSize_), std::byte{0});
  putBe32(out.data(), type);
  putBe32(out.data() + 4, static_cast<std::uint32_t>(data.size()));
  std::copy_n(reinterpret_cast<const std::byte*>(data.data()), data.size(), out.data() + 8);
  const std::uint64_t offset = block * blockSize_;
  DBE_RETURN_IF_ERROR(file_->write(offset, out));
  fileSize_ = std::max(fileSize_, offset + out.size());

  const auto next = static_cast<std::uint32_t>(block + count);
  nextFree_ = next;
  if (shared_) {
    std::byte h[4];
    putBe32(h, next);
    DBE_RETURN_IF_ERROR(file_->write(0, h));
  } else {
    headerDirty_ = true;
  }
  return static_cast<std::uint32_t>(block);
}

Status MemoFile::flush() {
  if (headerDirty_) {
    std::byte h[4];
    putBe32(h, nextFree_);
    DBE_RETURN_IF_ERROR(file_->write(0, h));
    headerDirty_ = false;
  }
  return file_->sync();
}

}  // namespace dbe::dbf
