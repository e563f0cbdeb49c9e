// The 12 bytes every B-tree node of a .cdx starts with.
//
//   OFFSET  SIZE  MEANING
//   0       2     attributes (LE): bit 0x01 root, bit 0x02 leaf; other bits are tested, never
//                 compared whole (0 interior, 1 root interior, 2 leaf, 3 root leaf)
//   2       2     number of keys in the node (LE)
//   4       4     left sibling on the same level (LE), 0xFFFFFFFF for none
//   8       4     right sibling on the same level (LE), 0xFFFFFFFF for none
//
// Internal to the cdx layer. Thread safety: plain values and pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbe/cdx/cdx_format.h"

namespace dbe::cdx {

struct NodeHeader {
  std::uint16_t attributes = 0;
  std::uint16_t count = 0;
  std::uint32_t left = kNoPage;
  std::uint32_t right = kNoPage;

  bool isRoot() const { return (attributes & kAttrRoot) != 0; }
  bool isLeaf() const { return (attributes & kAttrLeaf) != 0; }
};

inline NodeHeader readNodeHeader(const Page& p) {
  return {loadLe16(&p[0]), loadLe16(&p[2]), loadLe32(&p[4]), loadLe32(&p[8])};
}

inline void writeNodeHeader(const NodeHeader& h, Page* p) {
  storeLe16(&(*p)[0], h.attributes);
  storeLe16(&(*p)[2], h.count);
  storeLe32(&(*p)[4], h.left);
  storeLe32(&(*p)[8], h.right);
}

inline std::uint16_t nodeAttributes(bool root, bool leaf) {
  return static_cast<std::uint16_t>((root ? kAttrRoot : 0) | (leaf ? kAttrLeaf : 0));
}

// The start of every message about a node: "tag CUSTNO: leaf at 0x3c00: ". `tree` names the
// tree ("tag CUSTNO", "tag directory").
inline std::string nodeWhere(std::string_view tree, bool leaf, std::uint32_t offset) {
  std::string s(tree);
  s += leaf ? ": leaf at " : ": interior node at ";
  s += hexOffset(offset);
  s += ": ";
  return s;
}

}  // namespace dbe::cdx
