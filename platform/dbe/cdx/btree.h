// BTree: one tag's tree of nodes (or the tag directory's), searched and changed through the
// PageStore.
//
// Order. Entries ascend by key bytes (unsigned), then record number; each interior entry holds
// the largest (key, record number) of its child's subtree. Every search is a single descent for
// "the first entry that matches a Probe", where a probe matches a monotone tail of the order
// (all entries at or above a key, above a key, ...); the descent also yields the entry just
// before that one, so "last entry below" costs at most a second descent. Sibling pointers are
// maintained for other programs but never followed here: a descent under the lock is always
// right even while other stations change the tree between two operations.
//
// Every node on the way is checked before it is trusted: attributes (the root mark on the
// root only), counts, widths and fragments (leaf_node.h), child offsets on page boundaries and
// inside the file, the largest key of each child equal to its parent's entry, no node visited
// twice, no more than kMaxDepth levels. A fault is kCorruption naming the file, the tree and the
// node ("tag CUSTNO: leaf at 0x3c00: ...").
//
// Changes (insert, erase) split full nodes (in two about equal halves, or leaving the left one
// full when keys arrive in ascending order at the end of the tree), free emptied nodes, merge a
// node that fell below a quarter of its space into a sibling under the same parent when the two
// fit in one, correct the parent entries up to the root, grow a new root when the root splits
// and drop a root left with one child. build() packs a sorted list into full leaves left to
// right, then the interior levels above them, with no per-key tree insert.
//
// Internal to the cdx layer. Thread safety: one thread at a time, inside a PageStore scope.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/cdx/entry_buffer.h"
#include "dbe/cdx/interior_node.h"
#include "dbe/cdx/node_header.h"
#include "dbe/cdx/page_store.h"

namespace dbe::cdx {

// Which entries a search is after: those for which matches() is true, always a tail of the
// tree's order. The key is compared over its own length, so a key shorter than the tag's
// matches as a prefix.
struct Probe {
  enum class Kind : std::uint8_t { kEverything, kNothing, kAtLeast, kAbove };
  Kind kind = Kind::kEverything;
  std::string_view key;
  bool withRecno = false;
  std::uint32_t recno = 0;

  static Probe everything() { return {}; }
  static Probe nothing() { return {Kind::kNothing, {}, false, 0}; }
  static Probe atLeast(std::string_view k) { return {Kind::kAtLeast, k, false, 0}; }
  static Probe atLeast(std::string_view k, std::uint32_t r) { return {Kind::kAtLeast, k, true, r}; }
  static Probe above(std::string_view k) { return {Kind::kAbove, k, false, 0}; }
  static Probe above(std::string_view k, std::uint32_t r) { return {Kind::kAbove, k, true, r}; }

  bool matches(const char* entryKey, std::uint32_t entryRecno) const {
    if (kind == Kind::kEverything) return true;
    if (kind == Kind::kNothing) return false;
    int c = compareBytes(entryKey, key.data(), key.size());
    if (c == 0 && withRecno) c = entryRecno < recno ? -1 : (entryRecno > recno ? 1 : 0);
    return kind == Kind::kAtLeast ? c >= 0 : c > 0;
  }
};

struct PathStep {
  std::uint32_t offset = kNoPage;
  std::uint16_t index = 0;  // the entry followed down
};

// The result of a descent: the leaf reached, copied whole, and where the probe starts in it.
struct Descent {
  std::array<PathStep, kMaxDepth> path{};  // interior nodes from the root down
  int depth = 0;
  std::uint32_t leafOffset = kNoPage;
  NodeHeader leafHeader;
  EntryBuffer leaf;
  std::size_t position = 0;  // first matching entry, leaf.size() when none matches in the tree
  // The entry just before the leaf's first (the largest of the subtrees left of the path), for
  // a probe that starts at position 0.
  bool hasBefore = false;
  std::string beforeKey;
  std::uint32_t beforeRecno = 0;
};

// How many entries each of the nodes gets when n entries are spread over as few nodes of
// `capacity` as hold them: full ones first when filling left, else about equal.
std::vector<std::size_t> splitSizes(std::size_t n, std::size_t capacity, bool fillLeft);

class BTree {
 public:
  // `label` names the tree in messages: "tag CUSTNO", "tag directory".
  BTree(PageStore& store, std::uint32_t headerOffset, std::size_t keyLength, char fill,
        std::string label);

  const std::string& label() const { return label_; }
  std::size_t keyLength() const { return keyLength_; }
  char fill() const { return fill_; }
  std::uint32_t headerOffset() const { return headerOffset_; }

  // REQUIRES for all below: a scope of the store (a write scope for changes).
  [[nodiscard]] Status rootOffset(std::uint32_t* out);
  [[nodiscard]] Status descend(const Probe& probe, Descent* out);

  // `key` has exactly keyLength() bytes. Unique trees skip a key already present (*added
  // false); a pair already present in another tree is kInvalidArgument.
  [[nodiscard]] Status insert(std::string_view key, std::uint32_t recno, bool unique, bool* added);
  // kNotFound when the pair is not in the tree.
  [[nodiscard]] Status erase(std::string_view key, std::uint32_t recno);
  // Builds a tree of `sorted` (ascending, no pair twice) and points the header at it. Any
  // old tree must have been released first (releaseNodes).
  [[nodiscard]] Status build(EntryView sorted);
  // Puts every node of the tree on the free list. A tree that fails its checks is left where
  // it is (its pages are lost space, but no page that might belong to another tree is freed).
  [[nodiscard]] Status releaseNodes();

 private:
  struct ChildRef {
    std::string key;
    std::uint32_t recno;
    std::uint32_t offset;
  };
  // What replaces entries [first, first + removed) of the parent at one level.
  struct Change {
    std::size_t first = 0;
    std::size_t removed = 1;
    std::vector<ChildRef> refs;
  };

  Status nodeFault(bool leaf, std::uint32_t offset, const std::string& what) const;
  [[nodiscard]] Status readChild(std::uint32_t parent, std::size_t index, std::uint32_t child,
                                 const Page** out);
  [[nodiscard]] Status setRoot(std::uint32_t offset);
  [[nodiscard]] Status setSibling(std::uint32_t node, bool left, std::uint32_t expectOld,
                                  std::uint32_t value);
  [[nodiscard]] Status unlinkAndRelease(std::uint32_t offset, const NodeHeader& h);
  [[nodiscard]] Status storeLeaf(Descent& d, bool fillLeft, bool mayMerge);
  [[nodiscard]] Status tryMergeLeaf(Descent& d, Change* change, bool* merged);
  [[nodiscard]] Status propagate(Descent& d, int level, Change change, bool fillLeft,
                                 bool mayMerge);
  [[nodiscard]] Status tryMergeInterior(Descent& d, int level, InteriorEntries& node,
                                        const NodeHeader& h, Change* change, bool* merged);
  [[nodiscard]] Status growRoot(std::vector<ChildRef> refs);
  [[nodiscard]] Status collapseRoot(std::uint32_t root);
  [[nodiscard]] Status buildLevel(InteriorEntries* refs);
  [[nodiscard]] Status collectNodes(std::vector<std::uint32_t>* pages);

  PageStore& store_;
  std::uint32_t headerOffset_;
  std::size_t keyLength_;
  char fill_;
  std::string label_;
  Descent scratch_;
};

}  // namespace dbe::cdx
