// MemoFile: the .fpt file that holds a table's memo texts, in numbered blocks.
//
// Reads are bounds-checked against the file: a block number that points into the header or
// past the end, or a length that runs past the end, is kCorruption naming the file and the
// record and field the pointer came from. Writes reuse the blocks of the old value when the new
// one fits in them, else take new blocks at the header's next-free block and then advance it
// (data first, header second: a crash in between leaves unused blocks, never a pointer to
// missing data).
//
// Sharing: in shared mode every allocation re-reads the header under the memo lock (byte 0 of
// the .fpt, exclusive, waited for briefly), which is also what other FoxPro-compatible engines
// on this host lock while writing memos; the table holds its header lock around the whole
// memo write as well (lock order: table header, record, memo file). In exclusive mode the
// next-free block is kept in memory.
//
// Thread safety: one thread at a time (it belongs to one Table).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbe/io/file.h"

namespace dbe::dbf {

class MemoFile {
 public:
  // Block type of the memo block header.
  static constexpr std::uint32_t kTypeBinary = 0;
  static constexpr std::uint32_t kTypeText = 1;

  // Reads and checks the header. `shared`: other stations may allocate too.
  [[nodiscard]] static Result<std::unique_ptr<MemoFile>> open(std::unique_ptr<File> file,
                                                              bool shared);
  // Writes the header of an empty memo file into a new (empty) file. blockSize 1-65535; 64 is
  // what FoxPro uses by default.
  [[nodiscard]] static Result<std::unique_ptr<MemoFile>> create(std::unique_ptr<File> file,
                                                                std::uint16_t blockSize,
                                                                bool shared);

  std::uint32_t blockSize() const { return blockSize_; }
  // The first block after the 512-byte header.
  std::uint32_t firstBlock() const { return (512 + blockSize_ - 1) / blockSize_; }
  File& file() { return *file_; }
  const std::string& name() const { return file_->name(); }

  // The memo stored at `block` (0: no memo, the empty text). `where` names the pointer's
  // origin in messages ("record 12, field NOTES").
  [[nodiscard]] Result<std::string> read(std::uint32_t block, std::string_view where);

  // Stores `data` and returns its block number (0 for empty data: no memo). Reuses the blocks
  // at `oldBlock` (0: none) when they are large enough. `lockTimeout`: how long to wait for
  // the memo lock in shared mode.
  [[nodiscard]] Result<std::uint32_t> write(std::uint32_t oldBlock, std::string_view data,
                                            std::uint32_t type,
                                            std::chrono::milliseconds lockTimeout);

  // Writes the cached next-free block (exclusive mode) and syncs.
  [[nodiscard]] Status flush();

 private:
  MemoFile(std::unique_ptr<File> file, bool shared) : file_(std::move(file)), shared_(shared) {}
  Status readHeader();
  Result<std::uint32_t> allocate(std::string_view data, std::uint32_t type);
  std::uint64_t blocksFor(std::uint64_t bytes) const {
    return (8 + bytes + blockSize_ - 1) / blockSize_;
  }

  std::unique_ptr<File> file_;
  bool shared_;
  std::uint32_t blockSize_ = 64;
  std::uint32_t nextFree_ = 0;   // as last read or written
  std::uint64_t fileSize_ = 0;   // as last seen
  bool headerDirty_ = false;     // exclusive mode: nextFree_ not yet on disk
};

}  // namespace dbe::dbf
