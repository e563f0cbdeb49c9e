// Leaf nodes of a .cdx tag: the compressed layout, decoded to and encoded from EntryBuffers.
//
//   OFFSET  SIZE  MEANING
//   0       12    node header (node_header.h); attributes have bit 0x02 set
//   12      2     free bytes in the node (LE) = 488 - count * B - sum of fragment lengths
//   14      4     record-number mask (LE) = 2^R - 1
//   18      1     duplicate-count mask = 2^Dc - 1
//   19      1     trailing-count mask = 2^Tc - 1
//   20      1     R: bits of the record number
//   21      1     Dc: bits of the duplicate count
//   22      1     Tc: bits of the trailing count
//   23      1     B: bytes per entry
//   24      488   entry array growing up from 24; key fragments growing down from 511; the gap
//                 between them is zero
//
// Entry i is the B bytes at 24 + i*B read as one little-endian integer E: record number =
// E & recno_mask, duplicate count = (E >> R) & dup_mask, trailing count = (E >> (R+Dc)) &
// trail_mask. Its key is `dup` bytes copied from the previous key of the node (in its full,
// fill-padded form; the first entry's dup counts as 0), then key_length - dup - trail new bytes
// (the fragment ending just below the previous entry's fragment; the first entry's ends at 511),
// then `trail` fill bytes.
//
// Writing: R + Dc + Tc = 8*B always. Dc = Tc = the bits needed to hold the key length; B = 3
// and R = 24 - 2*Dc unless a record number of the node needs more, then the node grows by a byte
// at a time (R += 8, at most 32 bits; what is left over widens Dc and Tc). The shared prefix
// never runs into the trailing fill of either key: dup <= key_length - max(trail_prev, trail).
//
// Reading takes every width from the node itself and never assumes the writer's choice.
//
// Internal to the cdx layer. Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/entry_buffer.h"
#include "dbe/cdx/node_header.h"

namespace dbe::cdx {

inline constexpr std::size_t kLeafHeaderSize = 24;
inline constexpr std::size_t kLeafSpace = kPageSize - kLeafHeaderSize;  // 488

struct LeafLayout {
  std::uint8_t recordBits = 0;  // R
  std::uint8_t dupBits = 0;     // Dc
  std::uint8_t trailBits = 0;   // Tc
  std::uint8_t entryBytes = 0;  // B
};

// The widths a writer uses for a node of this key length whose largest record number is
// maxRecno.
LeafLayout leafLayoutFor(std::size_t keyLength, std::uint32_t maxRecno);

// The widths and masks stored in a leaf, as they are on disk.
struct LeafFields {
  std::uint16_t freeBytes = 0;
  std::uint32_t recnoMask = 0;
  std::uint8_t dupMask = 0;
  std::uint8_t trailMask = 0;
  LeafLayout layout;
};
LeafFields readLeafFields(const Page& page);

// Decodes every entry of a leaf into `out` (reset to keyLength first). On a fault returns false
// and puts the reason into *fault ("holds 300 keys, more than fit in 488 bytes"), without the
// node's name: the caller prefixes where the node is. Checks the widths and masks against each
// other, the entry array and fragments against the node's space, and each entry's counts against
// the key length. `fill` is the key type's fill byte.
bool decodeLeaf(const Page& page, std::size_t keyLength, char fill, EntryBuffer* out,
                std::string* fault);

// Entry array plus fragment bytes that a leaf's own widths and counts say it uses; what its
// free-byte count should be is kLeafSpace minus this. REQUIRES: decodeLeaf accepted the page.
std::size_t leafUsedBytes(const Page& page, std::size_t keyLength);

// Bytes that `entries` need in one leaf (entry array plus fragments), with the widths the
// writer chooses. They fit when the result is <= kLeafSpace.
std::size_t leafBytesNeeded(EntryView entries, char fill);

// How many entries from the start of `entries` fit in one leaf (at least 1 when not empty: any
// single key fits).
std::size_t leafFitCount(EntryView entries, char fill);

// Writes `entries` (sorted) as one leaf with the header's attributes and siblings (its count
// is taken from entries). REQUIRES: leafBytesNeeded(entries, fill) <= kLeafSpace.
void encodeLeaf(EntryView entries, NodeHeader header, char fill, Page* out);

// Where to cut `entries`, which do not fit in one leaf, into leaves that do: the returned
// positions are the first entry of every leaf but the first. Two leaves of about equal size,
// or, with fillLeft (keys arriving in ascending order), the left leaf as full as it goes;
// more than two only when no cut into two fits.
std::vector<std::size_t> leafSplitPoints(EntryView entries, char fill, bool fillLeft);

}  // namespace dbe::cdx
