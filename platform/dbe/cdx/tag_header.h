// Tag headers: the two pages that describe a tag (and, in the same layout, the file header at
// offset 0, whose tree is the tag directory).
//
//   OFFSET  SIZE  MEANING
//   0       4     root node offset (LE)
//   4       4     head of the free-page list (LE); file header only; 0 or 0xFFFFFFFF = empty
//   8       4     update counter, BIG-endian; file header only; bumped by every writer
//   12      2     key length in bytes (LE); 10 in the file header
//   14      1     options: 0x01 unique, 0x08 FOR clause, 0x20 compact, 0x40 compound,
//                 0x80 directory (file header only); a tag written here has 0x60 plus its bits,
//                 the file header 0xE0
//   15      1     signature, 0x01
//   16      478   reserved, zero (bytes 20-23 "RCHB" mark another engine's large-page format,
//                 which this layer does not read)
//   494     8     collation name ("MACHINE"), or blank / zero in older files
//   502     2     descending flag (LE): 1 descending, 0 ascending
//   504     2     offset of the FOR expression in the pool (LE)
//   506     2     length of the FOR expression with its NUL (LE); 1 when there is none
//   508     2     offset of the key expression in the pool (LE)
//   510     2     length of the key expression with its NUL (LE)
//   512     512   expression pool: key expression, NUL, FOR expression, NUL
//
// Files whose expression offsets and lengths are all zero keep the key expression as a
// NUL-terminated text at pool offset 0 and the FOR text right after it; both are read.
//
// Internal to the cdx layer. Thread safety: plain values and pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "dbe/cdx/cdx_format.h"

namespace dbe::cdx {

struct TagHeader {
  std::uint32_t root = kNoPage;
  std::uint32_t freeList = 0;
  std::uint32_t version = 0;
  std::uint16_t keyLength = 0;
  std::uint8_t options = 0;
  std::uint8_t signature = 0x01;
  std::string collation;  // up to the first NUL, trailing blanks dropped
  bool descending = false;
  std::string keyExpression;
  std::string forExpression;
};

// The key and FOR texts, each with its NUL, must fit the 512-byte pool.
inline constexpr std::size_t kExpressionPoolSize = 512;

// Decodes 1024 header bytes. On a fault returns false with the reason (no location prefix):
// a key length outside 1..240, a missing compact bit, expressions outside the pool, or the
// large-page format of another engine.
bool decodeTagHeader(const std::uint8_t* bytes, TagHeader* out, std::string* fault);

// Writes 1024 header bytes. REQUIRES: both expressions fit the pool.
void encodeTagHeader(const TagHeader& h, std::uint8_t* out);

}  // namespace dbe::cdx
