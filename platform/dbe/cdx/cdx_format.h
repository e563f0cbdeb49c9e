// The fixed numbers of the compound index (.cdx) format and the byte helpers its decoders share.
//
// A .cdx is a sequence of 512-byte pages addressed by absolute byte offsets. Offset 0 holds the
// file header (two pages), whose B-tree is the tag directory; each tag has a two-page header of
// the same layout somewhere in the file and a B-tree of one-page nodes. Integers are
// little-endian except the interior-node record numbers and child offsets and the version counter
// of the file header, which are big-endian. See tag_header.h, leaf_node.h and interior_node.h for
// the layouts.
//
// Internal to the cdx layer. Thread safety: constants and pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace dbe::cdx {

inline constexpr std::size_t kPageSize = 512;
using Page = std::array<std::uint8_t, kPageSize>;

// "No page": the end of a sibling chain or of the free list.
inline constexpr std::uint32_t kNoPage = 0xFFFFFFFF;
// A tag header (and the file header) spans two pages: 512 bytes of fields, 512 of expressions.
inline constexpr std::size_t kHeaderSize = 1024;
// The file header's B-tree holds the tag names, 10 bytes each.
inline constexpr std::size_t kTagNameLength = 10;
inline constexpr std::size_t kMaxKeyLength = 240;

// Common node header: attributes, key count, left and right sibling.
inline constexpr std::size_t kNodeHeaderSize = 12;
inline constexpr std::uint16_t kAttrRoot = 0x01;
inline constexpr std::uint16_t kAttrLeaf = 0x02;

// Index option bits (tag header byte 14).
inline constexpr std::uint8_t kOptUnique = 0x01;
inline constexpr std::uint8_t kOptFor = 0x08;
inline constexpr std::uint8_t kOptCompact = 0x20;
inline constexpr std::uint8_t kOptCompound = 0x40;
inline constexpr std::uint8_t kOptDirectory = 0x80;

// The byte every FoxPro-compatible engine locks in the .cdx around index reads and writes.
inline constexpr std::uint64_t kIndexLockOffset = 0x7FFFFFFE;

// No tree is deeper: with 512-byte pages every interior node holds two children at least, so
// 2^32 keys need 32 levels. A deeper descent means a damaged file (or a loop).
inline constexpr int kMaxDepth = 48;

inline std::uint16_t loadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t loadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
inline std::uint32_t loadBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}
inline void storeLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v & 0xFF);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}
inline void storeBe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (24 - 8 * i)) & 0xFF);
}

// A node or header offset must lie on a page boundary past the file header.
inline bool isNodeOffset(std::uint32_t offset) {
  return offset != kNoPage && offset % kPageSize == 0 && offset >= kHeaderSize;
}

// "0x3c00", as offsets appear in messages.
inline std::string hexOffset(std::uint64_t v) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v & 0xF]);
    v >>= 4;
  } while (v != 0);
  return "0x" + s;
}

// Unsigned byte order of two keys of one length (std::memcmp compares as unsigned char).
inline int compareBytes(const char* a, const char* b, std::size_t n) {
  return n == 0 ? 0 : std::memcmp(a, b, n);
}

}  // namespace dbe::cdx
