// Helpers shared by the cdx tests: an index on an in-memory file system, a reference model of a
// tag's entries, and readers that walk a tag through a Cursor.
#pragma once

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dbe/cdx/cdx_file.h"
#include "dbe/cdx/cursor.h"
#include "dbe/cdx/verifier.h"
#include "dbe/io/file.h"

namespace dbe::cdx::testing {

using Entry = std::pair<std::string, std::uint32_t>;
using Entries = std::vector<Entry>;

inline IndexOptions exclusiveOptions() {
  IndexOptions o;
  o.shared = false;
  return o;
}

inline IndexOptions sharedOptions() {
  IndexOptions o;
  o.shared = true;
  o.lockTimeout = std::chrono::milliseconds(50);
  return o;
}

// Keys padded as the tag stores them, sorted in tag order (ascending; reversed for descending).
inline Entries tagOrder(Entries e, bool descending) {
  std::sort(e.begin(), e.end());
  if (descending) std::reverse(e.begin(), e.end());
  return e;
}

inline KeyList keyListOf(KeyType type, std::size_t keyLength, const Entries& entries) {
  KeyList list(type, keyLength);
  for (const Entry& e : entries) EXPECT_TRUE(list.add(e.first, e.second).isOk());
  return list;
}

// Every entry of the tag, first() to eof().
inline Entries readForward(Tag& tag) {
  Entries out;
  Cursor c(tag);
  Status s = c.first();
  while (s.isOk() && c.onEntry()) {
    out.emplace_back(std::string(c.key()), c.recno());
    s = c.next();
  }
  EXPECT_TRUE(s.isOk()) << s.toString();
  EXPECT_TRUE(c.eof());
  return out;
}

// Every entry of the tag, last() to bof(), given back in tag order.
inline Entries readBackward(Tag& tag) {
  Entries out;
  Cursor c(tag);
  Status s = c.last();
  while (s.isOk() && c.onEntry()) {
    out.emplace_back(std::string(c.key()), c.recno());
    s = c.prev();
  }
  EXPECT_TRUE(s.isOk()) << s.toString();
  std::reverse(out.begin(), out.end());
  return out;
}

// The verifier's faults, with `expected` as the entries the named tag should hold.
inline std::vector<std::string> faultsOf(CdxFile& cdx, const std::string& tagName = {},
                                         const KeyList* expected = nullptr) {
  VerifyOptions o;
  if (expected != nullptr) o.expected[tagName] = expected;
  Result<std::vector<std::string>> r = verifyIndex(cdx, o);
  EXPECT_TRUE(r.isOk()) << r.status().toString();
  return r.isOk() ? *r : std::vector<std::string>{"verifier failed"};
}

inline std::string joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

// A fixture with an in-memory file system and one index file on it.
class IndexTest : public ::testing::Test {
 public:
  void SetUp() override { fs_ = newMemoryFileSystem(); }

  std::unique_ptr<File> openFile(ShareMode share = ShareMode::kNone) {
    Result<std::unique_ptr<File>> f = fs_->open(path_, OpenAccess::kReadWrite, share);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    return f.isOk() ? std::move(f.value()) : nullptr;
  }

  std::unique_ptr<CdxFile> createIndex(const IndexOptions& options = exclusiveOptions()) {
    Result<std::unique_ptr<File>> f = fs_->create(path_, ShareMode::kNone, /*overwrite=*/true);
    EXPECT_TRUE(f.isOk()) << f.status().toString();
    Result<std::unique_ptr<CdxFile>> cdx = CdxFile::create(std::move(f.value()), options);
    EXPECT_TRUE(cdx.isOk()) << cdx.status().toString();
    return cdx.isOk() ? std::move(cdx.value()) : nullptr;
  }

  Result<std::unique_ptr<CdxFile>> tryOpen(const IndexOptions& options = exclusiveOptions()) {
    return CdxFile::open(openFile(), options);
  }

  std::unique_ptr<CdxFile> openIndex(const IndexOptions& options = exclusiveOptions()) {
    Result<std::unique_ptr<CdxFile>> cdx = tryOpen(options);
    EXPECT_TRUE(cdx.isOk()) << cdx.status().toString();
    return cdx.isOk() ? std::move(cdx.value()) : nullptr;
  }

  // Raw access to the file's bytes, for damaging it or looking at the layout.
  std::vector<std::uint8_t> bytesAt(std::uint64_t offset, std::size_t n) {
    std::vector<std::uint8_t> b(n);
    std::unique_ptr<File> f = openFile();
    EXPECT_TRUE(f->readExact(offset, std::as_writable_bytes(std::span(b)), "test").isOk());
    return b;
  }
  void poke(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<File> f = openFile();
    EXPECT_TRUE(f->write(offset, std::as_bytes(std::span(bytes))).isOk());
  }
  std::uint32_t le32At(std::uint64_t offset) {
    const std::vector<std::uint8_t> b = bytesAt(offset, 4);
    return std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
           (std::uint32_t{b[3]} << 24);
  }
  std::uint64_t fileSize() {
    Result<std::uint64_t> s = openFile()->size();
    return s.isOk() ? *s : 0;
  }

  std::unique_ptr<FileSystem> fs_;
  const std::filesystem::path path_ = "vendors.cdx";
};

}  // namespace dbe::cdx::testing
