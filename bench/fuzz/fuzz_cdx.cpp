// libFuzzer target for the .cdx decoders: node pages, tag headers, and a whole file read
// through CdxFile, its cursors and the verifier.
//
// Input: the bytes of a .cdx file. Each input goes through:
//   1. The page decoders on the first 512 bytes (zero-padded): decodeLeaf and checkInterior /
//      decodeInterior, for the directory's key length 10 and for a key length taken from the
//      input; what decodes is encoded again and must decode to the same entries.
//   2. decodeTagHeader on the first 1024 bytes; a header that decodes must say the same after
//      encodeTagHeader and a second decode.
//   3. CdxFile::open (read-only; shared when bit 0 of file byte 16, a reserved byte real files
//      leave zero, is set, so both the locking and the caching reader run), then for every tag
//      (at most kMaxTags) a cursor walk first-to-eof and last-to-bof, then verifyIndex. Every
//      walk must end within the number of entries the file can hold: a cursor that keeps
//      going is caught in a loop. When the verifier finds nothing wrong, the walks must have
//      succeeded, in tag order, the backward walk the exact reverse of the forward one, and
//      every key visited must be found again by seek().
// Failures must be Statuses that say what is wrong; a crash, a sanitizer report or a broken
// check is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dbe/cdx/cdx_file.h"
#include "dbe/cdx/cursor.h"
#include "dbe/cdx/interior_node.h"
#include "dbe/cdx/leaf_node.h"
#include "dbe/cdx/tag_header.h"
#include "dbe/cdx/verifier.h"
#include "fuzz_check.h"

namespace {

using dbe::Status;
namespace cdx = dbe::cdx;

constexpr std::size_t kMaxTags = 16;
constexpr std::size_t kMaxSeeks = 32;

bool sameEntries(const cdx::EntryBuffer& a, const cdx::EntryBuffer& b) {
  if (a.size() != b.size() || a.keyLength() != b.keyLength()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a.key(i) != b.key(i) || a.recno(i) != b.recno(i)) return false;
  }
  return true;
}

bool ascending(const cdx::EntryBuffer& e) {
  for (std::size_t i = 1; i < e.size(); ++i) {
    if (cdx::compareEntries(e.keyData(i - 1), e.recno(i - 1), e.keyData(i), e.recno(i),
                            e.keyLength()) >= 0) {
      return false;
    }
  }
  return true;
}

void checkLeaf(const cdx::Page& page, std::size_t keyLength, char fill) {
  cdx::EntryBuffer entries;
  std::string fault;
  if (!cdx::decodeLeaf(page, keyLength, fill, &entries, &fault)) {
    FUZZ_CHECK(!fault.empty());
    return;
  }
  const cdx::NodeHeader h = cdx::readNodeHeader(page);
  FUZZ_CHECK(entries.size() == h.count);
  FUZZ_CHECK(entries.keyLength() == keyLength);
  if (h.count > 0) FUZZ_CHECK(cdx::leafUsedBytes(page, keyLength) <= cdx::kLeafSpace);
  // Our own writing of what was read must read back the same.
  if (entries.empty() || !ascending(entries) ||
      cdx::leafBytesNeeded(entries.view(), fill) > cdx::kLeafSpace) {
    return;
  }
  cdx::Page again{};
  cdx::encodeLeaf(entries.view(), h, fill, &again);
  cdx::EntryBuffer back;
  FUZZ_CHECK(cdx::decodeLeaf(again, keyLength, fill, &back, &fault));
  FUZZ_CHECK(sameEntries(entries, back));
  FUZZ_CHECK(cdx::leafUsedBytes(again, keyLength) + cdx::readLeafFields(again).freeBytes ==
             cdx::kLeafSpace);
}

void checkInteriorPage(const cdx::Page& page, std::size_t keyLength) {
  std::string fault;
  if (!cdx::checkInterior(page, keyLength, &fault)) {
    FUZZ_CHECK(!fault.empty());
    return;
  }
  cdx::InteriorEntries in;
  cdx::decodeInterior(page, keyLength, &in);
  const cdx::NodeHeader h = cdx::readNodeHeader(page);
  FUZZ_CHECK(in.size() == h.count && in.entries.size() == h.count);
  FUZZ_CHECK(in.size() <= cdx::interiorCapacity(keyLength));
  for (std::uint32_t child : in.children) FUZZ_CHECK(cdx::isNodeOffset(child));
  cdx::Page again{};
  cdx::encodeInterior(in, 0, in.size(), h, &again);
  cdx::InteriorEntries back;
  FUZZ_CHECK(cdx::checkInterior(again, keyLength, &fault));
  cdx::decodeInterior(again, keyLength, &back);
  FUZZ_CHECK(sameEntries(in.entries, back.entries) && in.children == back.children);
}

void checkTagHeader(const std::uint8_t* bytes, std::size_t* keyLength) {
  cdx::TagHeader h;
  std::string fault;
  if (!cdx::decodeTagHeader(bytes, &h, &fault)) {
    FUZZ_CHECK(!fault.empty());
    return;
  }
  FUZZ_CHECK(h.keyLength >= 1 && h.keyLength <= cdx::kMaxKeyLength);
  *keyLength = h.keyLength;
  if (h.keyExpression.size() + 1 + h.forExpression.size() + 1 > cdx::kExpressionPoolSize) return;
  std::vector<std::uint8_t> out(cdx::kHeaderSize);
  cdx::encodeTagHeader(h, out.data());
  cdx::TagHeader back;
  FUZZ_CHECK(cdx::decodeTagHeader(out.data(), &back, &fault));
  FUZZ_CHECK(back.root == h.root && back.freeList == h.freeList && back.version == h.version);
  FUZZ_CHECK(back.keyLength == h.keyLength && back.options == h.options);
  FUZZ_CHECK(back.collation == h.collation.substr(0, 8) && back.descending == h.descending);
  FUZZ_CHECK(back.keyExpression == h.keyExpression && back.forExpression == h.forExpression);
}

// A walk in one direction: the entries met, and whether it reached the end cleanly.
struct Walk {
  cdx::EntryBuffer entries;
  bool ok = false;
};

Walk walk(cdx::Tag& tag, bool forward, std::size_t limit) {
  Walk w;
  w.entries.reset(tag.keyLength());
  cdx::Cursor c(tag);
  Status s = forward ? c.first() : c.last();
  while (s.isOk() && c.onEntry()) {
    FUZZ_CHECK(c.key().size() == tag.keyLength());
    w.entries.push(c.key(), c.recno());
    // More entries than the file has room for: the cursor goes round in a loop.
    FUZZ_CHECK(w.entries.size() <= limit);
    s = forward ? c.next() : c.prev();
  }
  if (!s.isOk()) {
    FUZZ_CHECK(fuzz::explained(s));
    FUZZ_CHECK(!c.onEntry() && !c.eof() && !c.bof());
    return w;
  }
  FUZZ_CHECK(forward ? c.eof() : c.bof());
  w.ok = true;
  return w;
}

// What a sound tag must show: its entries in tag order, the same both ways, each found again.
void checkSoundTag(cdx::Tag& tag, const Walk& fwd, const Walk& back) {
  FUZZ_CHECK(fwd.ok && back.ok);
  FUZZ_CHECK(fwd.entries.size() == back.entries.size());
  const std::size_t n = fwd.entries.size();
  for (std::size_t i = 0; i < n; ++i) {
    FUZZ_CHECK(fwd.entries.key(i) == back.entries.key(n - 1 - i));
    FUZZ_CHECK(fwd.entries.recno(i) == back.entries.recno(n - 1 - i));
  }
  const bool descending = tag.info().descending;
  const cdx::EntryBuffer& stored = descending ? back.entries : fwd.entries;
  FUZZ_CHECK(ascending(stored));
  if (tag.info().unique) {
    for (std::size_t i = 1; i < stored.size(); ++i) FUZZ_CHECK(stored.key(i - 1) != stored.key(i));
  }
  if (!tag.info().machineCollation()) return;  // seeks are refused there
  cdx::Cursor c(tag);
  for (std::size_t k = 0; k < n && k < kMaxSeeks; ++k) {
    const std::size_t i = k * n / std::min(n, kMaxSeeks);
    dbe::Result<bool> found = c.seek(fwd.entries.key(i));
    FUZZ_CHECK(found.isOk() && *found && c.onEntry() && c.key() == fwd.entries.key(i));
    found = c.seekEntry(fwd.entries.key(i), fwd.entries.recno(i));
    FUZZ_CHECK(found.isOk() && *found && c.recno() == fwd.entries.recno(i));
  }
}

void checkFile(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<dbe::FileSystem> fs = dbe::newMemoryFileSystem();
  fuzz::putFile(fs.get(), "T.CDX", fuzz::asBytes(data, size));
  dbe::Result<std::unique_ptr<dbe::File>> f =
      fs->open("T.CDX", dbe::OpenAccess::kReadOnly, dbe::ShareMode::kNone);
  FUZZ_CHECK(f.isOk());
  cdx::IndexOptions options;
  options.readOnly = true;
  options.shared = size > 16 && (data[16] & 1) != 0;
  options.lockTimeout = std::chrono::milliseconds(0);
  dbe::Result<std::unique_ptr<cdx::CdxFile>> opened = cdx::CdxFile::open(std::move(*f), options);
  if (!opened.isOk()) {
    FUZZ_CHECK(fuzz::explained(opened.status()));
    return;
  }
  cdx::CdxFile& file = **opened;
  // Every leaf holds at most 488 entries (one byte each at the least).
  const std::size_t limit = (size / cdx::kPageSize + 1) * cdx::kLeafSpace;

  std::vector<std::pair<cdx::Tag*, std::pair<Walk, Walk>>> walked;
  for (std::size_t i = 0; i < file.tags().size() && i < kMaxTags; ++i) {
    const std::string name = file.tags()[i].name;
    dbe::Result<cdx::Tag*> tag = file.tag(name, cdx::KeyType::kCharacter);
    if (!tag.isOk()) {
      FUZZ_CHECK(fuzz::explained(tag.status()));
      continue;
    }
    Walk fwd = walk(**tag, true, limit);
    Walk back = walk(**tag, false, limit);
    walked.push_back({*tag, {std::move(fwd), std::move(back)}});
  }

  dbe::Result<std::vector<std::string>> faults = cdx::verifyIndex(file);
  if (!faults.isOk()) {
    FUZZ_CHECK(fuzz::explained(faults.status()));
    return;
  }
  for (const std::string& line : *faults) FUZZ_CHECK(!line.empty());
  if (!faults->empty()) return;
  for (auto& [tag, walks] : walked) checkSoundTag(*tag, walks.first, walks.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> header(cdx::kHeaderSize, 0);
  std::memcpy(header.data(), data, std::min(size, header.size()));
  cdx::Page page{};
  std::memcpy(page.data(), header.data(), page.size());

  std::size_t keyLength = 1 + header[600] % cdx::kMaxKeyLength;
  checkTagHeader(header.data(), &keyLength);
  for (std::size_t len : {cdx::kTagNameLength, keyLength}) {
    checkLeaf(page, len, ' ');
    checkLeaf(page, len, '\0');
    checkInteriorPage(page, len);
  }

  checkFile(data, size);
  return 0;
}
