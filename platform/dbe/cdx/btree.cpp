#include "btree.h"

#include "dbe/cdx/leaf_node.h"

namespace dbe::cdx {
namespace {

// A node at most this full (a quarter) is merged into a sibling when the two fit in one node;
// splits leave halves, so a node is not split and merged back and forth.
bool leafUnderfull(std::size_t bytes) { return bytes * 4 < kLeafSpace; }
bool interiorUnderfull(std::size_t count, std::size_t capacity) {
  return count == 1 || count * 4 < capacity;
}

}  // namespace

std::vector<std::size_t> splitSizes(std::size_t n, std::size_t capacity, bool fillLeft) {
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

BTree::BTree(PageStore& store, std::uint32_t headerOffset, std::size_t keyLength, char fill,
             std::string label)
    : store_(store),
      headerOffset_(headerOffset),
      keyLength_(keyLength),
      fill_(fill),
      label_(std::move(label)) {}

Status BTree::nodeFault(bool leaf, std::uint32_t offset, const std::string& what) const {
  return Status::corruption(store_.fileName(), nodeWhere(label_, leaf, offset) + what);
}

Status BTree::rootOffset(std::uint32_t* out) {
  const Page* p = nullptr;
  if (Status s = store_.read(headerOffset_, &p); !s.isOk()) {
    if (s.code() != Status::Code::kCorruption) return s;
    return Status::corruption(
        store_.fileName(),
        label_ + ": header at " + hexOffset(headerOffset_) + " lies beyond the end of the file");
  }
  const std::uint16_t keyLength = loadLe16(&(*p)[12]);
  if (keyLength != keyLength_) {
    return Status::corruption(store_.fileName(),
                              label_ + ": header at " + hexOffset(headerOffset_) +
                                  ": key length is now " + std::to_string(keyLength) + ", was " +
                                  std::to_string(keyLength_));
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
  return nodeFault(false, parent,
                   "key " + std::to_string(index) + ": child pointer " + hexOffset(child) +
                       " lies beyond the end of the file");
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
        return nodeFault(false, parent,
                         "key " + std::to_string(parentIndex) +
                             ": child pointer leads back to the node at " + hexOffset(offset) +
                             " (a loop)");
      }
    }
    if (d->depth >= kMaxDepth) {
      return Status::corruption(store_.fileName(), label_ + ": the tree is deeper than " +
                                                       std::to_string(kMaxDepth) + " levels");
    }
    const Page* page = nullptr;
    DBE_RETURN_IF_ERROR(readChild(parent, parentIndex, offset, &page));
    const NodeHeader h = readNodeHeader(*page);
    if (h.isRoot() != isRoot) {
      return nodeFault(
          h.isLeaf(), offset,
          isRoot ? "the root lacks the root mark" : "carries the root mark but is below the root");
    }
    for (const std::uint32_t sibling : {h.left, h.right}) {
      if (sibling != kNoPage && (isRoot || !isNodeOffset(sibling))) {
        return nodeFault(h.isLeaf(), offset,
                         std::string(sibling == h.left ? "left" : "right") + " sibling " +
                             hexOffset(sibling) +
                             (isRoot ? " beside the root" : " is not a node offset"));
      }
    }
    const auto parentText = [&] {
      return "key " + std::to_string(parentIndex) + " of the node at " + hexOffset(parent);
    };
    if (h.isLeaf()) {
      if (!decodeLeaf(*page, keyLength_, fill_, &d->leaf, &fault)) {
        return nodeFault(true, offset, fault);
      }
      if (!isRoot && d->leaf.empty()) return nodeFault(true, offset, "is empty but not the root");
      if (expectKey != nullptr && compareEntries(d->leaf.lastKey().data(), d->leaf.lastRecno(),
                                                 expectKey, expectRecno, keyLength_) != 0) {
        return nodeFault(true, offset,
                         "largest key differs from its parent's entry (" + parentText() + ")");
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
    if (expectKey != nullptr &&
        compareEntries(v.keyData(n - 1), v.recno(n - 1), expectKey, expectRecno, keyLength_) != 0) {
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
    return nodeFault(h.isLeaf(), node,
                     std::string(left ? "left" : "right") + " sibling is " + hexOffset(old) +
                         ", expected " + hexOffset(expectOld));
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
    return Status::invalidArgument(
        label_ + ": record " + std::to_string(recno) + " is already in the tag with that key",
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
    if (compareEntries(pv.keyData(up.index), pv.recno(up.index), e.lastKey().data(), e.lastRecno(),
                       keyLength_) == 0) {
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
    refs.push_back({std::string(part.key(part.count - 1)), part.recno(part.count - 1), offsets[k]});
    begin = cuts[k];
  }
  if (h.right != kNoPage) DBE_RETURN_IF_ERROR(setSibling(h.right, true, offset, offsets.back()));
  if (isRoot) return growRoot(std::move(refs));
  Change c;
  c.first = d.path[d.depth - 1].index;
  c.refs = std::move(refs);
  return propagate(d, d.depth - 1, std::move(c), fillLeft, mayMerge);
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
    const std::vector<std::size_t> sizes = splitSizes(node.size(), cap, fillLeft);
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
      refs.push_back(
          {std::string(node.entries.key(end - 1)), node.entries.recno(end - 1), offsets[k]});
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

}  // namespace dbe::cdx
