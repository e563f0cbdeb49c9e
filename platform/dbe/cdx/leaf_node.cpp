#include "leaf_node.h"

#include <algorithm>
#include <cstring>

namespace dbe::cdx {
namespace {

std::uint64_t lowMask(unsigned bits) {
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}
std::uint64_t shiftRight(std::uint64_t v, unsigned bits) { return bits >= 64 ? 0 : v >> bits; }

unsigned bitsToHold(std::size_t v) {
  unsigned b = 1;
  while (lowMask(b) < v) ++b;
  return b;
}

std::size_t trailingFill(const char* key, std::size_t n, char fill) {
  std::size_t t = 0;
  while (t < n && key[n - 1 - t] == fill) ++t;
  return t;
}

std::size_t sharedPrefix(const char* a, const char* b, std::size_t limit) {
  std::size_t i = 0;
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// The duplicate count the writer stores for `key` after `prev`.
std::size_t dupCount(const char* prev, std::size_t trailPrev, const char* key, std::size_t trail,
                     std::size_t keyLength) {
  const std::size_t limit = keyLength - std::max(trailPrev, trail);
  return sharedPrefix(prev, key, limit);
}

// Per-entry costs of a run of entries, for choosing where to cut it.
struct EntryCosts {
  std::vector<std::size_t> asFirst;      // fragment bytes when the entry starts a node
  std::vector<std::size_t> followSum;    // followSum[i] = sum of follower fragments of 1..i-1
  std::vector<std::uint32_t> maxBefore;  // largest record number in [0, i)
  std::vector<std::uint32_t> maxFrom;    // largest record number in [i, n)
};

EntryCosts entryCosts(EntryView e, char fill) {
  const std::size_t n = e.count;
  const std::size_t len = e.keyLength;
  EntryCosts c;
  c.asFirst.resize(n);
  c.followSum.assign(n + 1, 0);
  c.maxBefore.assign(n + 1, 0);
  c.maxFrom.assign(n + 1, 0);
  std::size_t trailPrev = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t t = trailingFill(e.keyData(i), len, fill);
    c.asFirst[i] = len - t;
    std::size_t follow = len - t;
    if (i > 0) follow -= dupCount(e.keyData(i - 1), trailPrev, e.keyData(i), t, len);
    // followSum[i + 1] includes entry i as a follower (its cost when entry i - 1 precedes it).
    c.followSum[i + 1] = c.followSum[i] + follow;
    c.maxBefore[i + 1] = std::max(c.maxBefore[i], e.recno(i));
    trailPrev = t;
  }
  for (std::size_t i = n; i-- > 0;) c.maxFrom[i] = std::max(c.maxFrom[i + 1], e.recno(i));
  return c;
}

// Bytes of entries [a, b) as one node, where maxRecno is their largest record number.
std::size_t rangeBytes(const EntryCosts& c, std::size_t keyLength, std::size_t a, std::size_t b,
                       std::uint32_t maxRecno) {
  const std::size_t entryBytes = leafLayoutFor(keyLength, maxRecno).entryBytes;
  return (b - a) * entryBytes + c.asFirst[a] + (c.followSum[b] - c.followSum[a + 1]);
}

}  // namespace

LeafLayout leafLayoutFor(std::size_t keyLength, std::uint32_t maxRecno) {
  const unsigned countBits = bitsToHold(keyLength);
  unsigned entryBytes = 3;
  unsigned recordBits = 24 - 2 * countBits;
  while (recordBits < 32 && maxRecno > lowMask(recordBits)) {
    ++entryBytes;
    recordBits += 8;
  }
  recordBits = std::min(recordBits, 32u);
  const unsigned rest = 8 * entryBytes - recordBits;
  LeafLayout l;
  l.entryBytes = static_cast<std::uint8_t>(entryBytes);
  l.recordBits = static_cast<std::uint8_t>(recordBits);
  l.dupBits = static_cast<std::uint8_t>(rest / 2);
  l.trailBits = static_cast<std::uint8_t>(rest - rest / 2);
  return l;
}

LeafFields readLeafFields(const Page& p) {
  LeafFields f;
  f.freeBytes = loadLe16(&p[12]);
  f.recnoMask = loadLe32(&p[14]);
  f.dupMask = p[18];
  f.trailMask = p[19];
  f.layout.recordBits = p[20];
  f.layout.dupBits = p[21];
  f.layout.trailBits = p[22];
  f.layout.entryBytes = p[23];
  return f;
}

bool decodeLeaf(const Page& page, std::size_t keyLength, char fill, EntryBuffer* out,
                std::string* fault) {
  const NodeHeader h = readNodeHeader(page);
  const LeafFields f = readLeafFields(page);
  out->reset(keyLength);
  if (h.count == 0) return true;

  const unsigned b = f.layout.entryBytes;
  const unsigned r = f.layout.recordBits;
  const unsigned dc = f.layout.dupBits;
  const unsigned tc = f.layout.trailBits;
  if (b < 1 || b > 8) {
    *fault = "entry size of " + std::to_string(b) + " bytes is not 1 to 8";
    return false;
  }
  if (r < 1 || r > 32 || dc > 8 || tc > 8 || r + dc + tc > 8 * b) {
    *fault = "entry widths " + std::to_string(r) + "+" + std::to_string(dc) + "+" +
             std::to_string(tc) + " bits do not fit a " + std::to_string(b) + "-byte entry";
    return false;
  }
  if (f.recnoMask != lowMask(r) || f.dupMask != lowMask(dc) || f.trailMask != lowMask(tc)) {
    *fault = "masks do not match the entry widths";
    return false;
  }
  const std::size_t count = h.count;
  if (count * b > kLeafSpace) {
    *fault = "holds " + std::to_string(count) + " keys, more than fit in 488 bytes";
    return false;
  }

  out->grow(count);
  const std::size_t arrayEnd = kLeafHeaderSize + count * b;
  std::size_t fragEnd = kPageSize;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* ep = &page[kLeafHeaderSize + i * b];
    std::uint64_t e = 0;
    for (unsigned k = 0; k < b; ++k) e |= std::uint64_t{ep[k]} << (8 * k);
    const auto recno = static_cast<std::uint32_t>(e & f.recnoMask);
    std::size_t dup = static_cast<std::size_t>(shiftRight(e, r) & f.dupMask);
    const auto trail = static_cast<std::size_t>(shiftRight(e, r + dc) & f.trailMask);
    if (i == 0) dup = 0;  // nothing to copy from; other readers ignore it too
    if (dup + trail > keyLength) {
      *fault = "key " + std::to_string(i) + ": duplicate count " + std::to_string(dup) +
               " and trailing count " + std::to_string(trail) + " exceed the key length " +
               std::to_string(keyLength);
      return false;
    }
    const std::size_t n = keyLength - dup - trail;
    if (fragEnd < arrayEnd + n) {
      *fault = "key " + std::to_string(i) + ": key bytes run into the entry array";
      return false;
    }
    fragEnd -= n;
    char* key = out->mutableKey(i);
    if (dup > 0) std::memcpy(key, key - keyLength, dup);
    if (n > 0) std::memcpy(key + dup, &page[fragEnd], n);
    if (trail > 0) std::memset(key + dup + n, fill, trail);
    out->setRecno(i, recno);
  }
  return true;
}

std::size_t leafUsedBytes(const Page& page, std::size_t keyLength) {
  const NodeHeader h = readNodeHeader(page);
  const LeafFields f = readLeafFields(page);
  const unsigned b = f.layout.entryBytes;
  std::size_t used = std::size_t{h.count} * b;
  for (std::size_t i = 0; i < h.count; ++i) {
    const std::uint8_t* ep = &page[kLeafHeaderSize + i * b];
    std::uint64_t e = 0;
    for (unsigned k = 0; k < b; ++k) e |= std::uint64_t{ep[k]} << (8 * k);
    const auto dup =
        i == 0 ? 0 : static_cast<std::size_t>(shiftRight(e, f.layout.recordBits) & f.dupMask);
    const auto trail = static_cast<std::size_t>(
        shiftRight(e, f.layout.recordBits + f.layout.dupBits) & f.trailMask);
    used += keyLength - dup - trail;
  }
  return used;
}

std::size_t leafBytesNeeded(EntryView e, char fill) {
  if (e.empty()) return 0;
  const std::size_t len = e.keyLength;
  std::size_t frag = 0;
  std::size_t trailPrev = 0;
  std::uint32_t maxRecno = 0;
  for (std::size_t i = 0; i < e.count; ++i) {
    const std::size_t t = trailingFill(e.keyData(i), len, fill);
    const std::size_t dup =
        i == 0 ? 0 : dupCount(e.keyData(i - 1), trailPrev, e.keyData(i), t, len);
    frag += len - dup - t;
    maxRecno = std::max(maxRecno, e.recno(i));
    trailPrev = t;
  }
  return e.count * leafLayoutFor(len, maxRecno).entryBytes + frag;
}

std::size_t leafFitCount(EntryView e, char fill) {
  const std::size_t len = e.keyLength;
  std::size_t frag = 0;
  std::size_t trailPrev = 0;
  std::uint32_t maxRecno = 0;
  std::size_t entryBytes = leafLayoutFor(len, 0).entryBytes;
  for (std::size_t i = 0; i < e.count; ++i) {
    const std::size_t t = trailingFill(e.keyData(i), len, fill);
    const std::size_t dup =
        i == 0 ? 0 : dupCount(e.keyData(i - 1), trailPrev, e.keyData(i), t, len);
    const std::size_t need = len - dup - t;
    if (e.recno(i) > maxRecno) {
      maxRecno = e.recno(i);
      entryBytes = leafLayoutFor(len, maxRecno).entryBytes;
    }
    if ((i + 1) * entryBytes + frag + need > kLeafSpace) return std::max<std::size_t>(i, 1);
    frag += need;
    trailPrev = t;
  }
  return e.count;
}

void encodeLeaf(EntryView e, NodeHeader header, char fill, Page* out) {
  Page& p = *out;
  p.fill(0);
  const std::size_t len = e.keyLength;
  std::uint32_t maxRecno = 0;
  for (std::size_t i = 0; i < e.count; ++i) maxRecno = std::max(maxRecno, e.recno(i));
  const LeafLayout l = leafLayoutFor(len, maxRecno);
  header.count = static_cast<std::uint16_t>(e.count);
  writeNodeHeader(header, out);

  std::size_t fragEnd = kPageSize;
  std::size_t trailPrev = 0;
  for (std::size_t i = 0; i < e.count; ++i) {
    const char* key = e.keyData(i);
    const std::size_t t = trailingFill(key, len, fill);
    const std::size_t dup = i == 0 ? 0 : dupCount(e.keyData(i - 1), trailPrev, key, t, len);
    const std::size_t n = len - dup - t;
    fragEnd -= n;
    if (n > 0) std::memcpy(&p[fragEnd], key + dup, n);
    const std::uint64_t entry = std::uint64_t{e.recno(i)} | (std::uint64_t{dup} << l.recordBits) |
                                (std::uint64_t{t} << (l.recordBits + l.dupBits));
    std::uint8_t* ep = &p[kLeafHeaderSize + i * l.entryBytes];
    for (unsigned k = 0; k < l.entryBytes; ++k) ep[k] = static_cast<std::uint8_t>(entry >> (8 * k));
    trailPrev = t;
  }
  const std::size_t arrayEnd = kLeafHeaderSize + e.count * l.entryBytes;
  storeLe16(&p[12], static_cast<std::uint16_t>(fragEnd - arrayEnd));
  storeLe32(&p[14], static_cast<std::uint32_t>(lowMask(l.recordBits)));
  p[18] = static_cast<std::uint8_t>(lowMask(l.dupBits));
  p[19] = static_cast<std::uint8_t>(lowMask(l.trailBits));
  p[20] = l.recordBits;
  p[21] = l.dupBits;
  p[22] = l.trailBits;
  p[23] = l.entryBytes;
}

std::vector<std::size_t> leafSplitPoints(EntryView e, char fill, bool fillLeft) {
  const std::size_t n = e.count;
  const EntryCosts c = entryCosts(e, fill);
  std::size_t best = 0;
  std::size_t bestScore = ~std::size_t{0};
  for (std::size_t i = 1; i < n; ++i) {
    const std::size_t left = rangeBytes(c, e.keyLength, 0, i, c.maxBefore[i]);
    const std::size_t right = rangeBytes(c, e.keyLength, i, n, c.maxFrom[i]);
    if (left > kLeafSpace || right > kLeafSpace) continue;
    // fillLeft: the furthest cut that fits wins (score falls as i grows).
    const std::size_t score = fillLeft ? n - i : (left > right ? left - right : right - left);
    if (score < bestScore) {
      bestScore = score;
      best = i;
    }
  }
  if (best != 0) return {best};

  // No cut into two fits (possible only with long keys and wide record numbers): pack greedily.
  std::vector<std::size_t> cuts;
  std::size_t start = leafFitCount(e, fill);
  while (start < n) {
    cuts.push_back(start);
    start += leafFitCount(e.slice(start, n), fill);
  }
  return cuts;
}

}  // namespace dbe::cdx
