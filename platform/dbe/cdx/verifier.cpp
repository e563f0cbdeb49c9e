#include "verifier.h"

#include <array>
#include <cstring>
#include <optional>

#include "dbe/cdx/entry_sort.h"
#include "dbe/cdx/interior_node.h"
#include "dbe/cdx/leaf_node.h"
#include "dbe/cdx/page_store.h"
#include "dbe/cdx/tag_header.h"

namespace dbe::cdx {
namespace {

constexpr int kUnused = 0;
constexpr int kFileHeader = 1;
constexpr int kFreeList = 2;
constexpr int kFirstTree = 3;

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// Compares a tag's entries, arriving in order, with the sorted pairs the table says it holds.
class ExpectedMatch {
 public:
  ExpectedMatch(const EntryBuffer& expected, bool unique, KeyType type, std::string label,
                std::function<void(std::string)> fault)
      : e_(expected),
        unique_(unique),
        type_(type),
        label_(std::move(label)),
        fault_(std::move(fault)) {}

  void entry(std::string_view key, std::uint32_t recno) {
    if (unique_) {
      while (j_ < e_.size() && e_.key(j_) < key) missingGroup();
      if (j_ < e_.size() && e_.key(j_) == key) {
        bool known = false;
        for (; j_ < e_.size() && e_.key(j_) == key; ++j_) known = known || e_.recno(j_) == recno;
        if (!known) {
          fault_(label_ + ": key " + describeKey(type_, key) + " is held by record " +
                 std::to_string(recno) + ", which does not have that key");
        }
        return;
      }
      extra(key, recno);
      return;
    }
    while (j_ < e_.size() &&
           compareEntries(e_.keyData(j_), e_.recno(j_), key.data(), recno, key.size()) < 0) {
      missing(j_++);
    }
    if (j_ < e_.size() && e_.key(j_) == key && e_.recno(j_) == recno) {
      ++j_;
      return;
    }
    extra(key, recno);
  }

  void finish() {
    while (j_ < e_.size()) {
      if (unique_) {
        missingGroup();
      } else {
        missing(j_++);
      }
    }
  }

 private:
  void missing(std::size_t i) {
    fault_(label_ + ": key " + describeKey(type_, e_.key(i)) + " of record " +
           std::to_string(e_.recno(i)) + " is missing");
  }
  void missingGroup() {
    missing(j_);
    const std::string_view key = e_.key(j_);
    while (j_ < e_.size() && e_.key(j_) == key) ++j_;
  }
  void extra(std::string_view key, std::uint32_t recno) {
    fault_(label_ + ": key " + describeKey(type_, key) + " of record " + std::to_string(recno) +
           " is in the tag but not in the table");
  }

  const EntryBuffer& e_;
  bool unique_;
  KeyType type_;
  std::string label_;
  std::function<void(std::string)> fault_;
  std::size_t j_ = 0;
};

}  // namespace

class Verifier {
 public:
  Verifier(CdxFile& file, const VerifyOptions& options)
      : cdx_(file), options_(options), file_(file.store_->file()) {}

  Result<std::vector<std::string>> run();

 private:
  using EntryFn = std::function<void(std::string_view key, std::uint32_t recno)>;
  struct NodeTask {
    std::uint32_t offset;
    std::uint32_t parent;
    std::size_t parentIndex;
    std::string expectKey;
    std::uint32_t expectRecno;
  };

  void fault(std::string line) {
    if (lines_.size() < options_.maxFaults) {
      lines_.push_back(std::move(line));
    } else {
      ++dropped_;
    }
  }
  bool inFile(std::uint32_t offset, std::size_t bytes) const {
    return isNodeOffset(offset) && offset + std::uint64_t{bytes} <= size_;
  }
  int& owner(std::uint32_t offset) { return owner_[offset / kPageSize]; }
  const std::string& ownerName(int id) const { return ownerNames_[static_cast<std::size_t>(id)]; }
  [[nodiscard]] Status readPage(std::uint32_t offset, Page* out) {
    return file_.readExact(offset, std::as_writable_bytes(std::span(*out)), "index page");
  }
  [[nodiscard]] Status walkTree(const std::string& label, std::uint32_t root, std::size_t keyLength,
                                char fill, bool unique, bool directory, int id,
                                const EntryFn& onEntry);
  [[nodiscard]] Status checkTag(const std::string& name, std::uint32_t headerOffset);
  [[nodiscard]] Status checkFreeList(std::uint32_t head);
  void reportUnused();
  KeyType typeOf(const std::string& name) const;
  const KeyList* expectedFor(const std::string& name) const;

  CdxFile& cdx_;
  const VerifyOptions& options_;
  File& file_;
  std::uint64_t size_ = 0;
  std::vector<int> owner_;
  std::vector<std::string> ownerNames_{"", "the file header", "the free list"};
  std::vector<std::string> lines_;
  std::size_t dropped_ = 0;
};

KeyType Verifier::typeOf(const std::string& name) const {
  for (const auto& [n, t] : options_.keyTypes) {
    if (normalTagName(n) == name) return t;
  }
  if (auto it = cdx_.open_.find(name); it != cdx_.open_.end()) return it->second->keyType();
  if (const KeyList* e = expectedFor(name)) return e->keyType();
  return KeyType::kCharacter;
}

const KeyList* Verifier::expectedFor(const std::string& name) const {
  for (const auto& [n, list] : options_.expected) {
    if (normalTagName(n) == name) return list;
  }
  return nullptr;
}

Result<std::vector<std::string>> Verifier::run() {
  ReadScope scope(*cdx_.store_);
  DBE_RETURN_IF_ERROR(scope.status());
  Result<std::uint64_t> size = file_.size();
  if (!size.isOk()) return size.status();
  size_ = *size;
  if (size_ % kPageSize != 0) {
    fault("file: its length " + std::to_string(size_) + " is not a multiple of 512");
  }
  owner_.assign(size_ / kPageSize, kUnused);
  if (size_ < kHeaderSize + kPageSize) {
    fault("file: " + std::to_string(size_) + " bytes are too few for a header and a directory");
    return lines_;
  }

  std::array<std::uint8_t, kHeaderSize> bytes{};
  for (std::uint32_t half = 0; half < 2; ++half) {
    Page p;
    DBE_RETURN_IF_ERROR(readPage(half * static_cast<std::uint32_t>(kPageSize), &p));
    std::memcpy(bytes.data() + half * kPageSize, p.data(), kPageSize);
    owner(half * static_cast<std::uint32_t>(kPageSize)) = kFileHeader;
  }
  TagHeader header;
  std::string why;
  if (!decodeTagHeader(bytes.data(), &header, &why)) {
    fault("file header: " + why);
    return lines_;
  }
  if (header.keyLength != kTagNameLength) {
    fault("file header: key length " + std::to_string(header.keyLength) + ", should be 10");
    return lines_;
  }

  std::vector<std::pair<std::string, std::uint32_t>> directory;
  ownerNames_.push_back("the tag directory");
  DBE_RETURN_IF_ERROR(walkTree("tag directory", header.root, kTagNameLength, ' ', /*unique=*/true,
                               /*directory=*/true, kFirstTree,
                               [&](std::string_view key, std::uint32_t recno) {
                                 directory.emplace_back(trimmed(key), recno);
                               }));
  for (const auto& [name, offset] : directory) DBE_RETURN_IF_ERROR(checkTag(name, offset));
  for (const auto& [name, list] : options_.expected) {
    (void)list;
    const std::string n = normalTagName(name);
    bool found = false;
    for (const auto& entry : directory) found = found || entry.first == n;
    if (!found) fault("tag " + name + ": not in the index");
  }
  DBE_RETURN_IF_ERROR(checkFreeList(header.freeList));
  reportUnused();
  if (dropped_ > 0) lines_.push_back(std::to_string(dropped_) + " more faults not listed");
  return lines_;
}

Status Verifier::checkTag(const std::string& name, std::uint32_t offset) {
  const std::string label = "tag " + name;
  if (normalTagName(name) != name) fault("tag directory: \"" + name + "\" is not a tag name");
  if (!inFile(offset, kHeaderSize)) {
    fault("tag directory: " + label + ": header offset " + hexOffset(offset) +
          " is not a page of the file");
    return Status::ok();
  }
  for (std::uint32_t half = 0; half < 2; ++half) {
    const std::uint32_t at = offset + half * static_cast<std::uint32_t>(kPageSize);
    if (owner(at) != kUnused) {
      fault(label + ": header at " + hexOffset(offset) + " overlaps " + ownerName(owner(at)));
      return Status::ok();
    }
  }
  const int id = static_cast<int>(ownerNames_.size());
  ownerNames_.push_back(label);
  std::array<std::uint8_t, kHeaderSize> bytes{};
  for (std::uint32_t half = 0; half < 2; ++half) {
    const std::uint32_t at = offset + half * static_cast<std::uint32_t>(kPageSize);
    owner(at) = id;
    Page p;
    DBE_RETURN_IF_ERROR(readPage(at, &p));
    std::memcpy(bytes.data() + half * kPageSize, p.data(), kPageSize);
  }
  TagHeader h;
  std::string why;
  if (!decodeTagHeader(bytes.data(), &h, &why)) {
    fault(label + ": header at " + hexOffset(offset) + ": " + why);
    return Status::ok();
  }
  KeyType type = typeOf(name);
  const std::size_t fixed = fixedKeyLength(type);
  if (fixed != 0 && fixed != h.keyLength) {
    fault(label + ": keys of " + std::to_string(h.keyLength) + " bytes cannot be " +
          keyTypeName(type) + " keys");
    type = KeyType::kCharacter;
  }
  const bool unique = (h.options & kOptUnique) != 0;

  EntryBuffer expected;
  std::optional<ExpectedMatch> match;
  if (const KeyList* list = expectedFor(name)) {
    if (list->keyLength() != h.keyLength) {
      fault(label + ": the expected keys have " + std::to_string(list->keyLength()) +
            " bytes, the tag's " + std::to_string(h.keyLength));
    } else if (Status s = sortEntries(list->view(), false, label, &expected); !s.isOk()) {
      fault(label + ": the expected list is unusable: " + s.detail());
    } else {
      match.emplace(expected, unique, type, label, [this](std::string line) { fault(line); });
    }
  }
  DBE_RETURN_IF_ERROR(walkTree(label, h.root, h.keyLength, fillByte(type), unique,
                               /*directory=*/false, id,
                               [&](std::string_view key, std::uint32_t recno) {
                                 if (match) match->entry(key, recno);
                               }));
  if (match) match->finish();
  return Status::ok();
}

Status Verifier::walkTree(const std::string& label, std::uint32_t root, std::size_t keyLength,
                          char fill, bool unique, bool directory, int id, const EntryFn& onEntry) {
  if (!inFile(root, kPageSize)) {
    fault(label + ": root pointer " + hexOffset(root) + " is not a page of the file");
    return Status::ok();
  }
  if (owner(root) != kUnused) {
    fault(label + ": root pointer " + hexOffset(root) + " reaches a page of " +
          ownerName(owner(root)));
    return Status::ok();
  }
  owner(root) = id;
  std::vector<NodeTask> level{{root, kNoPage, 0, {}, 0}};
  std::string prevKey;
  std::uint32_t prevRecno = 0;
  bool havePrev = false;
  EntryBuffer entries;
  Page page;
  std::string why;
  for (int depth = 0; !level.empty(); ++depth) {
    if (depth >= kMaxDepth) {
      fault(label + ": the tree is deeper than " + std::to_string(kMaxDepth) + " levels");
      return Status::ok();
    }
    std::vector<NodeTask> next;
    std::optional<bool> levelIsLeaf;
    for (std::size_t k = 0; k < level.size(); ++k) {
      const NodeTask& t = level[k];
      DBE_RETURN_IF_ERROR(readPage(t.offset, &page));
      const NodeHeader h = readNodeHeader(page);
      const std::string where = nodeWhere(label, h.isLeaf(), t.offset);
      if (h.isRoot() != (depth == 0)) {
        fault(where + (depth == 0 ? "the root lacks the root mark"
                                  : "carries the root mark but is below the root"));
      }
      if (!levelIsLeaf) {
        levelIsLeaf = h.isLeaf();
      } else if (*levelIsLeaf != h.isLeaf()) {
        fault(where + "is at depth " + std::to_string(depth) + " with " +
              (*levelIsLeaf ? "leaves" : "interior nodes") + " (leaves at different depths)");
      }
      const std::uint32_t wantLeft = k > 0 ? level[k - 1].offset : kNoPage;
      const std::uint32_t wantRight = k + 1 < level.size() ? level[k + 1].offset : kNoPage;
      if (h.left != wantLeft) {
        fault(where + "left sibling is " + hexOffset(h.left) + ", should be " +
              hexOffset(wantLeft));
      }
      if (h.right != wantRight) {
        fault(where + "right sibling is " + hexOffset(h.right) + ", should be " +
              hexOffset(wantRight));
      }
      const auto parentWrong = [&](const char* lastKey, std::uint32_t lastRecno) {
        if (t.parent == kNoPage) return;
        if (compareEntries(lastKey, lastRecno, t.expectKey.data(), t.expectRecno, keyLength) != 0) {
          fault(where + "largest key differs from its parent's entry (key " +
                std::to_string(t.parentIndex) + " of the node at " + hexOffset(t.parent) + ")");
        }
      };

      if (h.isLeaf()) {
        if (!decodeLeaf(page, keyLength, fill, &entries, &why)) {
          fault(where + why);
          continue;
        }
        const LeafFields f = readLeafFields(page);
        if (h.count > 0 && f.layout.recordBits + f.layout.dupBits + f.layout.trailBits !=
                               8 * f.layout.entryBytes) {
          fault(where + "entry widths " + std::to_string(f.layout.recordBits) + "+" +
                std::to_string(f.layout.dupBits) + "+" + std::to_string(f.layout.trailBits) +
                " bits do not fill the " + std::to_string(f.layout.entryBytes) + "-byte entry");
        }
        const std::size_t used = leafUsedBytes(page, keyLength);
        if (f.freeBytes != kLeafSpace - used) {
          fault(where + "free byte count " + std::to_string(f.freeBytes) + ", should be " +
                std::to_string(kLeafSpace - used));
        }
        if (entries.empty() && depth > 0) fault(where + "is empty but not the root");
        for (std::size_t i = 0; i < entries.size(); ++i) {
          const char* key = entries.keyData(i);
          const std::uint32_t recno = entries.recno(i);
          if (directory ? !isNodeOffset(recno) : recno == 0) {
            fault(where + "key " + std::to_string(i) + " has " +
                  (directory ? "header offset " + hexOffset(recno) : "record number 0"));
          }
          if (havePrev) {
            const int c = compareEntries(prevKey.data(), prevRecno, key, recno, keyLength);
            const bool sameKey = std::memcmp(prevKey.data(), key, keyLength) == 0;
            if (c >= 0) {
              fault(where + "key " + std::to_string(i) + " out of order" +
                    (i == 0 ? " (with the last key of the leaf before)" : ""));
            } else if (unique && sameKey) {
              fault(where + "key " + std::to_string(i) + " repeats the key before it in a " +
                    (directory ? "directory" : "unique tag"));
            }
          }
          prevKey.assign(key, keyLength);
          prevRecno = recno;
          havePrev = true;
          onEntry(entries.key(i), recno);
        }
        if (!entries.empty()) parentWrong(entries.lastKey().data(), entries.lastRecno());
        continue;
      }

      if (!checkInterior(page, keyLength, &why)) {
        fault(where + why);
        continue;
      }
      const InteriorView v(page, keyLength);
      for (std::size_t i = 1; i < v.count(); ++i) {
        if (compareEntries(v.keyData(i - 1), v.recno(i - 1), v.keyData(i), v.recno(i), keyLength) >=
            0) {
          fault(where + "key " + std::to_string(i) + " out of order");
        }
      }
      parentWrong(v.keyData(v.count() - 1), v.recno(v.count() - 1));
      for (std::size_t i = 0; i < v.count(); ++i) {
        const std::uint32_t c = v.child(i);
        if (!inFile(c, kPageSize)) {
          fault(where + "key " + std::to_string(i) + ": child pointer " + hexOffset(c) +
                " lies beyond the end of the file");
          continue;
        }
        if (owner(c) != kUnused) {
          fault(where + "key " + std::to_string(i) + ": child pointer " + hexOffset(c) +
                " reaches a page of " + ownerName(owner(c)));
          continue;
        }
        owner(c) = id;
        next.push_back({c, t.offset, i, std::string(v.keyData(i), keyLength), v.recno(i)});
      }
    }
    level = std::move(next);
  }
  return Status::ok();
}

Status Verifier::checkFreeList(std::uint32_t head) {
  Page p;
  while (head != 0 && head != kNoPage) {
    if (!inFile(head, kPageSize)) {
      fault("free list: pointer " + hexOffset(head) + " is not a page of the file");
      return Status::ok();
    }
    if (owner(head) == kFreeList) {
      fault("free list: loops back to the page at " + hexOffset(head));
      return Status::ok();
    }
    if (owner(head) != kUnused) {
      fault("free list: page at " + hexOffset(head) + " is also used by " + ownerName(owner(head)));
      return Status::ok();
    }
    owner(head) = kFreeList;
    DBE_RETURN_IF_ERROR(readPage(head, &p));
    head = loadLe32(p.data());
  }
  return Status::ok();
}

void Verifier::reportUnused() {
  const std::size_t n = owner_.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (owner_[i] != kUnused) continue;
    std::size_t j = i;
    while (j + 1 < n && owner_[j + 1] == kUnused) ++j;
    if (i == j) {
      fault("file: the page at " + hexOffset(i * kPageSize) +
            " is neither in use nor on the free list");
    } else {
      fault("file: the pages from " + hexOffset(i * kPageSize) + " to " + hexOffset(j * kPageSize) +
            " are neither in use nor on the free list");
    }
    i = j;
  }
}

Result<std::vector<std::string>> verifyIndex(CdxFile& file, const VerifyOptions& options) {
  return Verifier(file, options).run();
}

}  // namespace dbe::cdx
