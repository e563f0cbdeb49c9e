#include "tag_header.h"

#include <algorithm>
#include <cstring>

namespace dbe::cdx {
namespace {

constexpr std::size_t kCollationOffset = 494;
constexpr std::size_t kCollationSize = 8;
constexpr std::size_t kPool = 512;

// The NUL-terminated text at pool[offset, offset + limit).
std::string poolText(const std::uint8_t* pool, std::size_t offset, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && pool[offset + n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(pool + offset), n);
}

}  // namespace

bool decodeTagHeader(const std::uint8_t* b, TagHeader* out, std::string* fault) {
  TagHeader h;
  h.root = loadLe32(b + 0);
  h.freeList = loadLe32(b + 4);
  h.version = loadBe32(b + 8);
  h.keyLength = loadLe16(b + 12);
  h.options = b[14];
  h.signature = b[15];
  if (std::memcmp(b + 20, "RCHB", 4) == 0 || std::memcmp(b + 20, "BHCR", 4) == 0) {
    *fault = "uses pages of " + std::to_string(loadLe16(b + 18)) +
             " bytes, a format other programs cannot read";
    return false;
  }
  if (h.keyLength < 1 || h.keyLength > kMaxKeyLength) {
    *fault = "key length " + std::to_string(h.keyLength) + " is not 1 to 240";
    return false;
  }
  if ((h.options & kOptCompact) == 0) {
    *fault = "is not in the compact format (options " + hexOffset(h.options) + ")";
    return false;
  }
  h.collation = poolText(b, kCollationOffset, kCollationSize);
  while (!h.collation.empty() && h.collation.back() == ' ') h.collation.pop_back();
  h.descending = (loadLe16(b + 502) & 1) != 0;

  const std::uint8_t* pool = b + kPool;
  const std::size_t forOff = loadLe16(b + 504);
  const std::size_t forLen = loadLe16(b + 506);
  const std::size_t keyOff = loadLe16(b + 508);
  const std::size_t keyLen = loadLe16(b + 510);
  if (keyOff == 0 && keyLen == 0 && forOff == 0 && forLen == 0) {
    h.keyExpression = poolText(pool, 0, kExpressionPoolSize);
    const std::size_t next = h.keyExpression.size() + 1;
    if (next < kExpressionPoolSize) {
      h.forExpression = poolText(pool, next, kExpressionPoolSize - next);
    }
  } else {
    if (keyOff + keyLen > kExpressionPoolSize || forOff + forLen > kExpressionPoolSize) {
      *fault = "expression texts lie outside the expression pool";
      return false;
    }
    h.keyExpression = poolText(pool, keyOff, keyLen);
    h.forExpression = poolText(pool, forOff, forLen);
  }
  *out = std::move(h);
  return true;
}

void encodeTagHeader(const TagHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kHeaderSize);
  storeLe32(b + 0, h.root);
  storeLe32(b + 4, h.freeList);
  storeBe32(b + 8, h.version);
  storeLe16(b + 12, h.keyLength);
  b[14] = h.options;
  b[15] = h.signature;
  std::memcpy(b + kCollationOffset, h.collation.data(),
              std::min(h.collation.size(), kCollationSize));
  storeLe16(b + 502, h.descending ? 1 : 0);

  std::uint8_t* pool = b + kPool;
  const std::size_t keyLen = h.keyExpression.size() + 1;
  const std::size_t forLen = h.forExpression.size() + 1;
  std::memcpy(pool, h.keyExpression.data(), h.keyExpression.size());
  std::memcpy(pool + keyLen, h.forExpression.data(), h.forExpression.size());
  storeLe16(b + 504, static_cast<std::uint16_t>(keyLen));
  storeLe16(b + 506, static_cast<std::uint16_t>(forLen));
  storeLe16(b + 508, 0);
  storeLe16(b + 510, static_cast<std::uint16_t>(keyLen));
}

}  // namespace dbe::cdx
