// Merging a node that fell below a quarter of its space into a sibling under the same parent.
#include "btree.h"
#include "dbe/cdx/leaf_node.h"

namespace dbe::cdx {

Status BTree::tryMergeLeaf(Descent& d, Change* change, bool* merged) {
  *merged = false;
  const PathStep up = d.path[d.depth - 1];
  const Page* parent = nullptr;
  DBE_RETURN_IF_ERROR(store_.read(up.offset, &parent));
  const InteriorView pv(*parent, keyLength_);
  const std::uint32_t offset = d.leafOffset;
  const NodeHeader h = d.leafHeader;
  std::string fault;
  for (const int side : {+1, -1}) {
    if (side > 0 ? up.index + 1u >= pv.count() : up.index == 0) continue;
    const std::size_t sibIndex = side > 0 ? up.index + 1u : up.index - 1u;
    const std::uint32_t sib = pv.child(sibIndex);
    if (sib != (side > 0 ? h.right : h.left)) {
      return nodeFault(true, offset,
                       "sibling pointer disagrees with the parent's next child " + hexOffset(sib));
    }
    const Page* sp = nullptr;
    DBE_RETURN_IF_ERROR(readChild(up.offset, sibIndex, sib, &sp));
    const NodeHeader sh = readNodeHeader(*sp);
    if (!sh.isLeaf() || sh.isRoot() || (side > 0 ? sh.left : sh.right) != offset) {
      return nodeFault(sh.isLeaf(), sib,
                       "does not link back to its sibling leaf at " + hexOffset(offset));
    }
    EntryBuffer other;
    if (!decodeLeaf(*sp, keyLength_, fill_, &other, &fault)) return nodeFault(true, sib, fault);
    if (other.empty()) return nodeFault(true, sib, "is empty but not the root");
    EntryBuffer combined(keyLength_);
    combined.reserve(other.size() + d.leaf.size());
    combined.append(side > 0 ? d.leaf.view() : other.view());
    combined.append(side > 0 ? other.view() : d.leaf.view());
    if (leafBytesNeeded(combined.view(), fill_) > kLeafSpace) continue;

    const std::uint32_t keep = side > 0 ? offset : sib;
    const std::uint32_t drop = side > 0 ? sib : offset;
    const NodeHeader& lh = side > 0 ? h : sh;
    const NodeHeader& rh = side > 0 ? sh : h;
    encodeLeaf(combined.view(), {nodeAttributes(false, true), 0, lh.left, rh.right}, fill_,
               store_.change(keep));
    if (rh.right != kNoPage) DBE_RETURN_IF_ERROR(setSibling(rh.right, true, drop, keep));
    DBE_RETURN_IF_ERROR(store_.release(drop));
    change->first = side > 0 ? up.index : up.index - 1u;
    change->removed = 2;
    change->refs = {{std::string(combined.lastKey()), combined.lastRecno(), keep}};
    *merged = true;
    return Status::ok();
  }
  return Status::ok();
}

Status BTree::tryMergeInterior(Descent& d, int level, InteriorEntries& node, const NodeHeader& h,
                               Change* change, bool* merged) {
  *merged = false;
  const std::size_t cap = interiorCapacity(keyLength_);
  const PathStep up = d.path[level - 1];
  const std::uint32_t offset = d.path[level].offset;
  const Page* parent = nullptr;
  DBE_RETURN_IF_ERROR(store_.read(up.offset, &parent));
  const InteriorView pv(*parent, keyLength_);
  std::string fault;
  for (const int side : {+1, -1}) {
    if (side > 0 ? up.index + 1u >= pv.count() : up.index == 0) continue;
    const std::size_t sibIndex = side > 0 ? up.index + 1u : up.index - 1u;
    const std::uint32_t sib = pv.child(sibIndex);
    if (sib != (side > 0 ? h.right : h.left)) {
      return nodeFault(false, offset,
                       "sibling pointer disagrees with the parent's next child " + hexOffset(sib));
    }
    const Page* sp = nullptr;
    DBE_RETURN_IF_ERROR(readChild(up.offset, sibIndex, sib, &sp));
    const NodeHeader sh = readNodeHeader(*sp);
    if (sh.isLeaf() || sh.isRoot() || (side > 0 ? sh.left : sh.right) != offset) {
      return nodeFault(sh.isLeaf(), sib,
                       "does not link back to its sibling node at " + hexOffset(offset));
    }
    if (!checkInterior(*sp, keyLength_, &fault)) return nodeFault(false, sib, fault);
    if (node.size() + InteriorView(*sp, keyLength_).count() > cap) continue;
    InteriorEntries other;
    decodeInterior(*sp, keyLength_, &other);
    InteriorEntries& left = side > 0 ? node : other;
    InteriorEntries& right = side > 0 ? other : node;
    left.entries.append(right.entries.view());
    left.children.insert(left.children.end(), right.children.begin(), right.children.end());

    const std::uint32_t keep = side > 0 ? offset : sib;
    const std::uint32_t drop = side > 0 ? sib : offset;
    const NodeHeader& lh = side > 0 ? h : sh;
    const NodeHeader& rh = side > 0 ? sh : h;
    encodeInterior(left, 0, left.size(), {nodeAttributes(false, false), 0, lh.left, rh.right},
                   store_.change(keep));
    if (rh.right != kNoPage) DBE_RETURN_IF_ERROR(setSibling(rh.right, true, drop, keep));
    DBE_RETURN_IF_ERROR(store_.release(drop));
    change->first = side > 0 ? up.index : up.index - 1u;
    change->removed = 2;
    change->refs = {{std::string(left.entries.lastKey()), left.entries.lastRecno(), keep}};
    *merged = true;
    return Status::ok();
  }
  return Status::ok();
}

}  // namespace dbe::cdx
