// Interior nodes of a .cdx tag: fixed-size entries, searched in place on the page.
//
//   OFFSET          SIZE     MEANING
//   0               12       node header (node_header.h); attribute bit 0x02 clear
//   12 + i*(L+8)    L        key of entry i, full width, fill-padded, not compressed
//   +L              4        record number, BIG-endian
//   +L+4            4        child node offset, BIG-endian
//   (rest)                   unused, zero when written here
//
// L is the tag's key length; the node holds floor(500 / (L + 8)) entries at most (2 for 240-byte
// keys). Entry i describes child i: its (key, record number) is the largest pair in the child's
// subtree, and the entries ascend in (key, record number) order.
//
// Internal to the cdx layer. Thread safety: pure functions and plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/entry_buffer.h"
#include "dbe/cdx/node_header.h"

namespace dbe::cdx {

inline constexpr std::size_t kInteriorSpace = kPageSize - kNodeHeaderSize;  // 500

inline std::size_t interiorCapacity(std::size_t keyLength) {
  return kInteriorSpace / (keyLength + 8);
}

// Read access to the entries of an interior page. Cheap: no copying.
class InteriorView {
 public:
  InteriorView(const Page& page, std::size_t keyLength)
      : page_(&page), keyLength_(keyLength), count_(loadLe16(&page[2])) {}
  std::size_t count() const { return count_; }
  const char* keyData(std::size_t i) const { return reinterpret_cast<const char*>(entry(i)); }
  std::uint32_t recno(std::size_t i) const { return loadBe32(entry(i) + keyLength_); }
  std::uint32_t child(std::size_t i) const { return loadBe32(entry(i) + keyLength_ + 4); }

 private:
  const std::uint8_t* entry(std::size_t i) const {
    return &(*page_)[kNodeHeaderSize + i * (keyLength_ + 8)];
  }
  const Page* page_;
  std::size_t keyLength_;
  std::size_t count_;
};

// Checks what a reader must trust before using an interior node: 1..capacity entries and child
// offsets on page boundaries past the file header. On a fault returns false with the reason.
bool checkInterior(const Page& page, std::size_t keyLength, std::string* fault);

// An interior node's entries, decoded for changing.
struct InteriorEntries {
  EntryBuffer entries;
  std::vector<std::uint32_t> children;

  std::size_t size() const { return children.size(); }
};
void decodeInterior(const Page& page, std::size_t keyLength, InteriorEntries* out);

// Writes entries [begin, end) of `in` as one interior node with the header's attributes and
// siblings. REQUIRES: end - begin <= interiorCapacity(key length).
void encodeInterior(const InteriorEntries& in, std::size_t begin, std::size_t end,
                    NodeHeader header, Page* out);

}  // namespace dbe::cdx
