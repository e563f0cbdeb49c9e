// libFuzzer target for the .fpt memo reader (and its block reuse and allocation).
//
// Input: the bytes of a .fpt file. Each input goes through:
//   1. MemoFile::open (exclusive use), then read() of every block from the first one up to
//      the end of the file (at most kMaxBlocks), and of block numbers taken from the input:
//      the big-endian words of header bytes 8-71, which real files leave unused, and the
//      edge numbers 0, 1, firstBlock - 1 and 0xFFFFFFFF. A memo that reads must lie inside
//      the file; one that does not must be a Status saying why.
//   2. On a writable copy opened as shared (memo lock, header re-read): write() of a text cut
//      from the input over one of those block numbers, then a read of the block it returned,
//      which must give the text back, then a second, longer text over that block, read back
//      the same way, and flush().
// A crash, a sanitizer report or a broken check is a finding.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/dbf/memo_file.h"
#include "fuzz_check.h"

namespace {

using dbe::Status;
using dbe::dbf::MemoFile;

constexpr std::uint32_t kMaxBlocks = 512;
constexpr std::size_t kPointerWords = 16;

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

dbe::Result<std::unique_ptr<MemoFile>> openMemo(dbe::FileSystem* fs, const char* path,
                                                bool shared) {
  dbe::Result<std::unique_ptr<dbe::File>> f =
      fs->open(path, dbe::OpenAccess::kReadWrite, dbe::ShareMode::kNone);
  FUZZ_CHECK(f.isOk());
  return MemoFile::open(std::move(*f), shared);
}

// Reads one block and checks what came back against the file.
void readBlock(MemoFile& m, std::uint32_t block, std::uint64_t fileSize) {
  dbe::Result<std::string> text = m.read(block, "record 1, field NOTES");
  if (!text.isOk()) {
    FUZZ_CHECK(fuzz::explained(text.status()));
    FUZZ_CHECK(text.status().code() == Status::Code::kCorruption);
    FUZZ_CHECK(block != 0);
    return;
  }
  if (block == 0) {
    FUZZ_CHECK(text->empty());
    return;
  }
  FUZZ_CHECK(block >= m.firstBlock());
  FUZZ_CHECK(std::uint64_t{block} * m.blockSize() + 8 + text->size() <= fileSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<dbe::FileSystem> fs = dbe::newMemoryFileSystem();
  fuzz::putFile(fs.get(), "M.FPT", fuzz::asBytes(data, size));

  dbe::Result<std::unique_ptr<MemoFile>> opened = openMemo(fs.get(), "M.FPT", false);
  if (!opened.isOk()) {
    FUZZ_CHECK(fuzz::explained(opened.status()));
    return 0;
  }
  MemoFile& m = **opened;
  FUZZ_CHECK(m.blockSize() >= 1 && m.blockSize() <= 0xFFFF);
  FUZZ_CHECK(std::uint64_t{m.firstBlock()} * m.blockSize() >= 512);

  std::vector<std::uint32_t> pointers = {0, 1, m.firstBlock() - 1, m.firstBlock(), 0xFFFFFFFFu};
  for (std::size_t i = 0; i < kPointerWords && 8 + 4 * i + 4 <= size; ++i) {
    pointers.push_back(be32(data + 8 + 4 * i));
  }
  for (std::uint32_t b : pointers) readBlock(m, b, size);
  for (std::uint32_t b = m.firstBlock(), k = 0;
       k < kMaxBlocks && std::uint64_t{b} * m.blockSize() < size; ++b, ++k) {
    readBlock(m, b, size);
  }

  // Writing over the same pointers, on a copy opened the way a shared table opens it.
  fuzz::putFile(fs.get(), "W.FPT", fuzz::asBytes(data, size));
  dbe::Result<std::unique_ptr<MemoFile>> w = openMemo(fs.get(), "W.FPT", true);
  FUZZ_CHECK(w.isOk());
  const std::uint32_t old = pointers[size % pointers.size()];
  const std::size_t tailSize = std::min<std::size_t>(size, 40);
  const std::string_view tail(reinterpret_cast<const char*>(data) + size - tailSize, tailSize);
  const std::string first = "x" + std::string(tail);
  const std::string second = first + first + first;
  std::uint32_t at = old;
  for (const std::string& text : {first, second}) {
    dbe::Result<std::uint32_t> block =
        (*w)->write(at, text, MemoFile::kTypeText, std::chrono::milliseconds(0));
    if (!block.isOk()) {
      FUZZ_CHECK(fuzz::explained(block.status()));
      break;
    }
    FUZZ_CHECK(*block >= (*w)->firstBlock());
    dbe::Result<std::string> back = (*w)->read(*block, "");
    FUZZ_CHECK(back.isOk());
    FUZZ_CHECK(*back == text);
    at = *block;
  }
  FUZZ_CHECK((*w)->flush().isOk());
  return 0;
}
