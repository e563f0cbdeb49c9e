#include "btree.h"

#include <unordered_set>

#include "dbe/cdx/leaf_node.h"

namespace dbe::cdx {
namespace {

// A node at most this full (a quarter) is merged into a sibling when the two fit in one node;
// splits leave halves, so a node is not split and merged back and forth.
bool leafUnderfull(std::size_t bytes) { return bytes * 4 < kLeafSpace; }
bool interiorUnderfull(std::size_t count, std::size_t capacity) {
  return count == 1 || count * 4 < capacity;
}

// Sizes of `parts` nodes sharing n entries: full ones first when filling left, else even.
std::vector<std::size_t> partSizes(std::size_t n, std::size_t capacity, bool fillLeft) {
  const std::size_t parts = (n + capacity - 1) / capacity;
  std::vector<std::size_t> sizes(parts);
  for (std::size_t k = 0; k < parts; ++k) {
    if (fillLeft) {
      sizes[k] = std::min(capacity, n - k * capacity);
    } else {
      sizes[k] = n / parts + (k < n % parts ? 1 : 0);
    }
  }
  return sizes;
}

}  // namespace

BTree::BTree(PageStore& store, std::uint32_t headerOffset, std::size_t keyLength, char fill,
             std::string label)
    : store_(store), headerOffset_(headerOffset), keyLength_(keyLength), fill_(fill),
      label_(std::move(label)) {}

Status BTree::nodeFault(bool leaf, std::uint32_t offset, const std::string& what) const {
  return Status::corruption(store_.fileName(), nodeWhere(label_, leaf, offset) + what);
}

Status BTree::rootOffset(std::uint32_t* out) {
  const Page* p = nullptr;
  if (Status s = store_.read(headerOffset_, &p); !s.isOk()) {
    if (s.code() != Status::Code::kCorruption) return s;
    return Status::corruption(store_.fileName(), label_ + ": header at " +
                                                     hexOffset(headerOffset_) +
                                                     " lies beyond the end of the file");
  }
  const std::uint16_t keyLength = loadLe16(&(*p)[12]);
  if (keyLength != keyLength_) {
    return Status::corruption(store_.fileName(),
                              label_ + ": header at " + hexOffset(headerOffset_) +
                                  ": key length is now " + std::to_string(keyLength) +
                                  ", was " + std::to_string(keyLength_));
  }
  const std::uint32_t root = loadLe32(&(*p)[0]);
  if (!isNodeOffset(root)) {
    return Status::corruption(store_.fileName(), label_ + ": header at " +
                                                     hexOffset(headerOffset_) + ": root pointer " +
                                                     hexOffset(root) + " is not a node offset");
  }
  *out = root;
  return Status::ok();
}

Status BTree::readChild(std::uint32_t parent, std::size_t index, std::uint32_t child,
                        const Page** out) {
  Status s = store_.read(child, out);
  if (s.code() != Status::Code::kCorruption) return s;
  if (parent == kNoPage) {
    return Status::corruption(store_.fileName(), label_ + ": root pointer " + hexOffset(child) +
                                                     " lies beyond the end of the file");
  }
  return nodeFault(false, parent, "key " + std::to_string(index) + ": child pointer " +
                                      hexOffset(child) + " lies beyond the end of the file");
}

Status BTree::descend(const Probe& probe, Descent* d) {
  d->depth = 0;
  d->hasBefore = false;
  std::uint32_t offset = kNoPage;
  DBE_RETURN_IF_ERROR(rootOffset(&offset));
  bool isRoot = true;
  const char* expectKey = nullptr;
  std::uint32_t expectRecno = 0;
  std::uint32_t parent = kNoPage;
  std::size_t parentIndex = 0;
  std::string fault;
  for (;;) {
    for (int i = 0; i < d->depth; ++i) {
      if (d->path[i].offset == offset) {
        return nodeFault(false, parent, "key " + std::to_string(parentIndex) +
                                            ": child pointer leads back to the node at " +
                                            hexOffset(offset) + " (a loop)");
      }
    }
    if (d->depth >= kMaxDepth) {
      return Status::corruption(store_.fileName(),
                                label_ + ": the tree is deeper than " +
                                    std::to_string(kMaxDepth) + " levels");
    }
    const Page* page = nullptr;
    DBE_RETURN_IF_ERROR(readChild(parent, parentIndex, offset, &page));
    const NodeHeader h = readNodeHeader(*page);
    if (h.isRoot() != isRoot) {
      return nodeFault(h.isLeaf(), offset,
                       isRoot ? "the root lacks the root mark"
                              : "carries the root mark but is below the root");
    }
    const auto parentText = [&] {
      return "key " + std::to_string(parentIndex) + " of the node at " + hexOffset(parent);
    };
    if (h.isLeaf()) {
      if (!decodeLeaf(*page, keyLength_, fill_, &d->leaf, &fault)) {
        return nodeFault(true, offset, fault);
      }
      if (!isRoot && d->leaf.empty()) return nodeFault(true, offset, "is empty but not the root");
      if (expectKey != nullptr &&
          compareEntries(d->leaf.lastKey().data(), d->leaf.lastRecno(), expectKey, expectRecno,
                         keyLength_) != 0) {
        return nodeFault(true, offset, "largest key differs from its parent's entry (" +
                                           parentText() + ")");
      }
      d->leafOffset = offset;
      d->leafHeader = h;
      std::size_t lo = 0;
      std::size_t hi = d->leaf.size();
      while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (probe.matches(d->leaf.keyData(mid), d->leaf.recno(mid))) {
          hi = mid;
        } else {
          lo = mid + 1;
        }
      }
      d->position = lo;
      return Status::ok();
    }
    if (!checkInterior(*page, keyLength_, &fault)) return nodeFault(false, offset, fault);
    const InteriorView v(*page, keyLength_);
    const std::size_t n = v.count();
    if (expectKey != nullptr && compareEntries(v.keyData(n - 1), v.recno(n - 1), expectKey,
                                               expectRecno, keyLength_) != 0) {
      return nodeFault(false, offset,
                       "largest key differs from its parent's entry (" + parentText() + ")");
    }
    std::size_t lo = 0;
    std::size_t hi = n;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (probe.matches(v.keyData(mid), v.recno(mid))) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    // Nothing matches in this subtree: go down the right edge (position ends past the last).
    const std::size_t i = lo == n ? n - 1 : lo;
    if (i > 0) {
      d->hasBefore = true;
      d->beforeKey.assign(v.keyData(i - 1), keyLength_);
      d->beforeRecno = v.recno(i - 1);
    }
    d->path[d->depth++] = {offset, static_cast<std::uint16_t>(i)};
    expectKey = v.keyData(i);
    expectRecno = v.recno(i);
    parent = offset;
    parentIndex = i;
    offset = v.child(i);
    isRoot = false;
  }
}

Status BTree::setRoot(std::uint32_t offset) {
  const Page* p = nullptr;
  DBE_RETURN_IF_ERROR(store_.read(headerOffset_, &p));
  storeLe32(&(*store_.change(headerOffset_))[0], offset);
  return Status::ok();
}

Status BTree::setSibling(std::uint32_t node, bool left, std::uint32_t expectOld,
                         std::uint32_t value) {
  if (!isNodeOffset(node)) {
    return Status::corruption(store_.fileName(), label_ + ": sibling pointer " + hexOffset(node) +
                                                     " is not a node offset");
  }
  const Page* p = nullptr;
  if (Status s = store_.read(node, &p); !s.isOk()) {
    if (s.code() != Status::Code::kCorruption) return s;
    return Status::corruption(store_.fileName(), label_ + ": sibling pointer " + hexOffset(node) +
                                                     " lies beyond the end of the file");
  }
  const NodeHeader h = readNodeHeader(*p);
  const std::uint32_t old = left ? h.left : h.right;
  if (old != expectOld) {
    return nodeFault(h.isLeaf(), node, std::string(left ? "left" : "right") + " sibling is " +
                                           hexOffset(old) + ", expected " + hexOffset(expectOld));
  }
  storeLe32(&(*store_.change(node))[left ? 4 : 8], value);
  return Status::ok();
}

Status BTree::unlinkAndRelease(std::uint32_t offset, const NodeHeader& h) {
  if (h.left != kNoPage) DBE_RETURN_IF_ERROR(setSibling(h.left, false, offset, h.right));
  if (h.right != kNoPage) DBE_RETURN_IF_ERROR(setSibling(h.right, true, offset, h.left));
  return store_.release(offset);
}

Status BTree::insert(std::string_view key, std::uint32_t recno, bool unique, bool* added) {
  *added = false;
  Descent& d = scratch_;
  DBE_RETURN_IF_ERROR(descend(unique ? Probe::atLeast(key) : Probe::atLeast(key, recno), &d));
  const bool present = d.position < d.leaf.size();
  if (unique) {
    // The first entry at or above the key holds it if any entry does.
    if (present && d.leaf.key(d.position) == key) return Status::ok();
  } else if (present && d.leaf.key(d.position) == key && d.leaf.recno(d.position) == recno) {
    return Status::invalidArgument(label_ + ": record " + std::to_string(recno) +
                                       " is already in the tag with that key",
                                   store_.fileName());
  }
  const bool atEnd = !present && d.leafHeader.right == kNoPage;
  d.leaf.insert(d.position, key, recno);
  DBE_RETURN_IF_ERROR(storeLeaf(d, /*fillLeft=*/atEnd, /*mayMerge=*/false));
  *added = true;
  return Status::ok();
}

Status BTree::erase(std::string_view key, std::uint32_t recno) {
  Descent& d = scratch_;
  DBE_RETURN_IF_ERROR(descend(Probe::atLeast(key, recno), &d));
  if (d.position >= d.leaf.size() ||
      compareEntries(d.leaf.keyData(d.position), d.leaf.recno(d.position), key.data(), recno,
                     keyLength_) != 0) {
    return Status::notFound(store_.fileName(), label_ + ": no entry for record " +
                                                   std::to_string(recno) + " with that key");
  }
  d.leaf.erase(d.position);
  return storeLeaf(d, /*fillLeft=*/false, /*mayMerge=*/true);
}

Status BTree::storeLeaf(Descent& d, bool fillLeft, bool mayMerge) {
  const EntryBuffer& e = d.leaf;
  const std::uint32_t offset = d.leafOffset;
  const NodeHeader h = d.leafHeader;
  const bool isRoot = d.depth == 0;
  if (e.empty()) {
    if (isRoot) {
      encodeLeaf(e.view(), {nodeAttributes(true, true), 0, kNoPage, kNoPage}, fill_,
                 store_.change(offset));
      return Status::ok();
    }
    DBE_RETURN_IF_ERROR(unlinkAndRelease(offset, h));
    Change c;
    c.first = d.path[d.depth - 1].index;
    return propagate(d, d.depth - 1, std::move(c), false, mayMerge);
  }

  const std::size_t need = leafBytesNeeded(e.view(), fill_);
  if (need <= kLeafSpace) {
    if (mayMerge && !isRoot && leafUnderfull(need)) {
      Change c;
      bool merged = false;
      DBE_RETURN_IF_ERROR(tryMergeLeaf(d, &c, &merged));
      if (merged) return propagate(d, d.depth - 1, std::move(c), false, mayMerge);
    }
    encodeLeaf(e.view(), {nodeAttributes(isRoot, true), 0, h.left, h.right}, fill_,
               store_.change(offset));
    if (isRoot) return Status::ok();
    const PathStep& up = d.path[d.depth - 1];
    const Page* parent = nullptr;
    DBE_RETURN_IF_ERROR(store_.read(up.offset, &parent));
    const InteriorView pv(*parent, keyLength_);
    if (compareEntries(pv.keyData(up.index), pv.recno(up.index), e.lastKey().data(),
                       e.lastRecno(), keyLength_) == 0) {
      return Status::ok();  // the parent's entry still holds the largest key
    }
    Change c;
    c.first = up.index;
    c.refs.push_back({std::string(e.lastKey()), e.lastRecno(), offset});
    return propagate(d, d.depth - 1, std::move(c), fillLeft, mayMerge);
  }

  std::vector<std::size_t> cuts = leafSplitPoints(e.view(), fill_, fillLeft);
  cuts.push_back(e.size());
  std::vector<std::uint32_t> offsets{offset};
  for (std::size_t k = 1; k < cuts.size(); ++k) {
    Result<std::uint32_t> page = store_.allocate();
    if (!page.isOk()) return page.status();
    offsets.push_back(*page);
  }
  std::vector<ChildRef> refs;
  std::size_t begin = 0;
  for (std::size_t k = 0; k < offsets.size(); ++k) {
    const NodeHeader nh{nodeAttributes(false, true), 0, k == 0 ? h.left : offsets[k - 1],
                        k + 1 < offsets.size() ? offsets[k + 1] : h.right};
    const EntryView part = e.view(begin, cuts[k]);
    encodeLeaf(part, nh, fill_, store_.change(offsets[k]));
    refs.push_back({std::string(part.key(part.count - 1)), part.recno(part.count - 1),
                    offsets[k]});
    begin = cuts[k];
  }
  if (h.right != kNoPage) DBE_RETURN_IF_ERROR(setSibling(h.right, true, offset, offsets.back()));
  if (isRoot) return growRoot(std::move(refs));
  Change c;
  c.first = d.path[d.depth - 1].index;
  c.refs = std::move(refs);
  return propagate(d, d.depth - 1, std::move(c), fillLeft, mayMerge);
}

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
      return nodeFault(true, offset, "sibling pointer disagrees with the parent's next child " +
                                         hexOffset(sib));
    }
    const Page* sp = nullptr;
    DBE_RETURN_IF_ERROR(readChild(up.offset, sibIndex, sib, &sp));
    const NodeHeader sh = readNodeHeader(*sp);
    if (!sh.isLeaf() || sh.isRoot() || (side > 0 ? sh.left : sh.right) != offset) {
      return nodeFault(sh.isLeaf(), sib, "does not link back to its sibling leaf at " +
                                             hexOffset(offset));
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

Status BTree::propagate(Descent& d, int level, Change change, bool fillLeft, bool mayMerge) {
  const std::size_t cap = interiorCapacity(keyLength_);
  for (;;) {
    const PathStep step = d.path[level];
    const bool isRoot = level == 0;
    const Page* page = nullptr;
    DBE_RETURN_IF_ERROR(store_.read(step.offset, &page));
    const NodeHeader h = readNodeHeader(*page);
    InteriorEntries node;
    decodeInterior(*page, keyLength_, &node);
    const std::string oldLastKey(node.entries.lastKey());
    const std::uint32_t oldLastRecno = node.entries.lastRecno();

    for (std::size_t r = 0; r < change.removed; ++r) {
      node.entries.erase(change.first);
      node.children.erase(node.children.begin() + static_cast<std::ptrdiff_t>(change.first));
    }
    for (std::size_t k = 0; k < change.refs.size(); ++k) {
      const ChildRef& ref = change.refs[k];
      node.entries.insert(change.first + k, ref.key, ref.recno);
      node.children.insert(node.children.begin() + static_cast<std::ptrdiff_t>(change.first + k),
                           ref.offset);
    }

    if (node.size() == 0) {
      if (isRoot) {
        // Every key is gone: the root becomes the empty root leaf of an empty tag.
        encodeLeaf(EntryView{nullptr, nullptr, 0, keyLength_},
                   {nodeAttributes(true, true), 0, kNoPage, kNoPage}, fill_,
                   store_.change(step.offset));
        return Status::ok();
      }
      DBE_RETURN_IF_ERROR(unlinkAndRelease(step.offset, h));
      change = Change{};
      change.first = d.path[level - 1].index;
      --level;
      continue;
    }

    if (node.size() <= cap) {
      if (mayMerge && !isRoot && interiorUnderfull(node.size(), cap)) {
        Change up;
        bool merged = false;
        DBE_RETURN_IF_ERROR(tryMergeInterior(d, level, node, h, &up, &merged));
        if (merged) {
          change = std::move(up);
          --level;
          continue;
        }
      }
      encodeInterior(node, 0, node.size(), {nodeAttributes(isRoot, false), 0, h.left, h.right},
                     store_.change(step.offset));
      if (isRoot) return node.size() == 1 ? collapseRoot(step.offset) : Status::ok();
      if (node.entries.lastKey() == oldLastKey && node.entries.lastRecno() == oldLastRecno) {
        return Status::ok();
      }
      change = Change{};
      change.first = d.path[level - 1].index;
      change.refs.push_back(
          {std::string(node.entries.lastKey()), node.entries.lastRecno(), step.offset});
      --level;
      continue;
    }

    // Too many entries: split into nodes of at most `cap`.
    const std::vector<std::size_t> sizes = partSizes(node.size(), cap, fillLeft);
    std::vector<std::uint32_t> offsets{step.offset};
    for (std::size_t k = 1; k < sizes.size(); ++k) {
      Result<std::uint32_t> p = store_.allocate();
      if (!p.isOk()) return p.status();
      offsets.push_back(*p);
    }
    std::vector<ChildRef> refs;
    std::size_t begin = 0;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      const std::size_t end = begin + sizes[k];
      const NodeHeader nh{nodeAttributes(false, false), 0, k == 0 ? h.left : offsets[k - 1],
                          k + 1 < offsets.size() ? offsets[k + 1] : h.right};
      encodeInterior(node, begin, end, nh, store_.change(offsets[k]));
      refs.push_back({std::string(node.entries.key(end - 1)), node.entries.recno(end - 1),
                      offsets[k]});
      begin = end;
    }
    if (h.right != kNoPage) {
      DBE_RETURN_IF_ERROR(setSibling(h.right, true, step.offset, offsets.back()));
    }
    if (isRoot) return growRoot(std::move(refs));
    change = Change{};
    change.first = d.path[level - 1].index;
    change.refs = std::move(refs);
    --level;
  }
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
      return nodeFault(false, offset, "sibling pointer disagrees with the parent's next child " +
                                          hexOffset(sib));
    }
    const Page* sp = nullptr;
    DBE_RETURN_IF_ERROR(readChild(up.offset, sibIndex, sib, &sp));
    const NodeHeader sh = readNodeHeader(*sp);
    if (sh.isLeaf() || sh.isRoot() || (side > 0 ? sh.left : sh.right) != offset) {
      return nodeFault(sh.isLeaf(), sib, "does not link back to its sibling node at " +
                                             hexOffset(offset));
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

Status BTree::buildLevel(InteriorEntries* refs) {
  const std::size_t cap = interiorCapacity(keyLength_);
  const std::vector<std::size_t> sizes = partSizes(refs->size(), cap, /*fillLeft=*/false);
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

Status BTree::collapseRoot(std::uint32_t root) {
  for (int guard = 0; guard < kMaxDepth; ++guard) {
    const Page* p = nullptr;
    DBE_RETURN_IF_ERROR(store_.read(root, &p));
    if (readNodeHeader(*p).isLeaf() || InteriorView(*p, keyLength_).count() != 1) {
      return Status::ok();
    }
    const std::uint32_t child = InteriorView(*p, keyLength_).child(0);
    const Page* cp = nullptr;
    DBE_RETURN_IF_ERROR(readChild(root, 0, child, &cp));
    const NodeHeader ch = readNodeHeader(*cp);
    storeLe16(&(*store_.change(child))[0], static_cast<std::uint16_t>(ch.attributes | kAttrRoot));
    DBE_RETURN_IF_ERROR(setRoot(child));
    DBE_RETURN_IF_ERROR(store_.release(root));
    root = child;
  }
  return Status::ok();
}

Status BTree::build(EntryView sorted) {
  if (sorted.empty()) {
    Result<std::uint32_t> p = store_.allocate();
    if (!p.isOk()) return p.status();
    encodeLeaf(sorted, {nodeAttributes(true, true), 0, kNoPage, kNoPage}, fill_,
               store_.change(*p));
    return setRoot(*p);
  }
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < sorted.count; i += leafFitCount(sorted.slice(i, sorted.count), fill_)) {
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
            return nodeFault(false, offset, "key " + std::to_string(i) +
                                                ": child pointer reaches a node twice");
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
