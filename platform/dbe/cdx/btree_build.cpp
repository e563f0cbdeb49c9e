// Building a tree in bulk from sorted entries, and finding every node of a tree to free it.
#include <unordered_set>

#include "btree.h"
#include "dbe/cdx/leaf_node.h"

namespace dbe::cdx {

Status BTree::buildLevel(InteriorEntries* refs) {
  const std::size_t cap = interiorCapacity(keyLength_);
  const std::vector<std::size_t> sizes = splitSizes(refs->size(), cap, /*fillLeft=*/false);
  std::vector<std::uint32_t> offsets;
  offsets.reserve(sizes.size());
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    Result<std::uint32_t> p = store_.allocate();
    if (!p.isOk()) return p.status();
    offsets.push_back(*p);
  }
  InteriorEntries up;
  up.entries.reset(keyLength_);
  up.entries.reserve(sizes.size());
  std::size_t begin = 0;
  for (std::size_t k = 0; k < sizes.size(); ++k) {
    const std::size_t end = begin + sizes[k];
    const NodeHeader nh{nodeAttributes(false, false), 0, k == 0 ? kNoPage : offsets[k - 1],
                        k + 1 < offsets.size() ? offsets[k + 1] : kNoPage};
    encodeInterior(*refs, begin, end, nh, store_.change(offsets[k]));
    up.entries.push(refs->entries.key(end - 1), refs->entries.recno(end - 1));
    up.children.push_back(offsets[k]);
    begin = end;
  }
  *refs = std::move(up);
  return Status::ok();
}

Status BTree::growRoot(std::vector<ChildRef> refs) {
  InteriorEntries level;
  level.entries.reset(keyLength_);
  for (const ChildRef& r : refs) {
    level.entries.push(r.key, r.recno);
    level.children.push_back(r.offset);
  }
  while (level.size() > interiorCapacity(keyLength_)) DBE_RETURN_IF_ERROR(buildLevel(&level));
  Result<std::uint32_t> root = store_.allocate();
  if (!root.isOk()) return root.status();
  encodeInterior(level, 0, level.size(), {nodeAttributes(true, false), 0, kNoPage, kNoPage},
                 store_.change(*root));
  return setRoot(*root);
}

Status BTree::build(EntryView sorted) {
  if (sorted.empty()) {
    Result<std::uint32_t> p = store_.allocate();
    if (!p.isOk()) return p.status();
    encodeLeaf(sorted, {nodeAttributes(true, true), 0, kNoPage, kNoPage}, fill_, store_.change(*p));
    return setRoot(*p);
  }
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < sorted.count;
       i += leafFitCount(sorted.slice(i, sorted.count), fill_)) {
    starts.push_back(i);
  }
  starts.push_back(sorted.count);
  const std::size_t leaves = starts.size() - 1;
  std::vector<std::uint32_t> offsets;
  offsets.reserve(leaves);
  for (std::size_t k = 0; k < leaves; ++k) {
    Result<std::uint32_t> p = store_.allocate();
    if (!p.isOk()) return p.status();
    offsets.push_back(*p);
  }
  InteriorEntries refs;
  refs.entries.reset(keyLength_);
  refs.entries.reserve(leaves);
  refs.children.reserve(leaves);
  for (std::size_t k = 0; k < leaves; ++k) {
    const EntryView part = sorted.slice(starts[k], starts[k + 1]);
    const NodeHeader nh{nodeAttributes(leaves == 1, true), 0, k == 0 ? kNoPage : offsets[k - 1],
                        k + 1 < leaves ? offsets[k + 1] : kNoPage};
    encodeLeaf(part, nh, fill_, store_.change(offsets[k]));
    refs.entries.push(part.key(part.count - 1), part.recno(part.count - 1));
    refs.children.push_back(offsets[k]);
  }
  if (leaves == 1) return setRoot(offsets[0]);
  while (refs.size() > interiorCapacity(keyLength_)) DBE_RETURN_IF_ERROR(buildLevel(&refs));
  Result<std::uint32_t> root = store_.allocate();
  if (!root.isOk()) return root.status();
  encodeInterior(refs, 0, refs.size(), {nodeAttributes(true, false), 0, kNoPage, kNoPage},
                 store_.change(*root));
  return setRoot(*root);
}

Status BTree::collectNodes(std::vector<std::uint32_t>* pages) {
  std::uint32_t root = kNoPage;
  DBE_RETURN_IF_ERROR(rootOffset(&root));
  std::vector<std::uint32_t> level{root};
  std::unordered_set<std::uint32_t> seen{root};
  EntryBuffer scratch;
  std::string fault;
  bool isRoot = true;
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth >= kMaxDepth) {
      return Status::corruption(store_.fileName(), label_ + ": the tree is deeper than " +
                                                       std::to_string(kMaxDepth) + " levels");
    }
    std::vector<std::uint32_t> next;
    for (std::uint32_t offset : level) {
      const Page* p = nullptr;
      DBE_RETURN_IF_ERROR(store_.read(offset, &p));
      const NodeHeader h = readNodeHeader(*p);
      if (h.isRoot() != isRoot) return nodeFault(h.isLeaf(), offset, "has a wrong root mark");
      if (h.isLeaf()) {
        if (!decodeLeaf(*p, keyLength_, fill_, &scratch, &fault)) {
          return nodeFault(true, offset, fault);
        }
      } else {
        if (!checkInterior(*p, keyLength_, &fault)) return nodeFault(false, offset, fault);
        const InteriorView v(*p, keyLength_);
        for (std::size_t i = 0; i < v.count(); ++i) {
          if (!seen.insert(v.child(i)).second) {
            return nodeFault(false, offset,
                             "key " + std::to_string(i) + ": child pointer reaches a node twice");
          }
          next.push_back(v.child(i));
        }
      }
      pages->push_back(offset);
    }
    level = std::move(next);
    isRoot = false;
  }
  return Status::ok();
}

Status BTree::releaseNodes() {
  std::vector<std::uint32_t> pages;
  Status s = collectNodes(&pages);
  if (s.code() == Status::Code::kCorruption) return Status::ok();
  DBE_RETURN_IF_ERROR(s);
  for (std::uint32_t p : pages) DBE_RETURN_IF_ERROR(store_.release(p));
  return Status::ok();
}

}  // namespace dbe::cdx
