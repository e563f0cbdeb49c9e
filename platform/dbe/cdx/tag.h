// Tag: one index order of a .cdx, its description and the changes the layer above makes to it
// as records are appended, changed and reindexed.
//
// Keys are bytes (key_codec.h makes them from values): a key shorter than the tag's key length
// is padded with the key type's fill byte, a longer one is kInvalidArgument. The layer above
// evaluates the key expression and the FOR condition of each record; this layer only stores
// their texts. A record whose FOR condition is false simply is never inserted.
//
// Unique tags hold the first record of each key value: insert() of a key the tag already holds
// changes nothing (*added false), whatever the record number; erase() removes only the pair
// that is there (kNotFound for any other record), and no other record with that key takes its
// place until the tag is rebuilt (as in other FoxPro-compatible engines). A bulk build or
// rebuild keeps the lowest record number of each key.
//
// Descending tags are stored in ascending order like every other tag; Cursor walks them
// backwards.
//
// Every change runs under the index write lock (shared mode), re-reads the pages it uses, and is
// on disk with the update counter bumped before insert()/erase() returns, or, inside an
// IndexUpdate (cdx_file.h), when the update commits. A change that fails leaves the file as it
// was: nothing is written before the end, and pages already written when a write fails get
// their old bytes back.
//
// Lifetime: a Tag belongs to its CdxFile and lives until the tag is deleted or the file closed.
// Thread safety: one thread at a time, together with its CdxFile and Cursors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbe/cdx/key_codec.h"
#include "dbe/cdx/key_list.h"
#include "dbe/io/status.h"

namespace dbe::cdx {

class BTree;
class PageStore;

// What a tag header says about a tag.
struct TagInfo {
  std::string name;  // upper case, no blanks
  std::uint32_t headerOffset = 0;
  std::uint16_t keyLength = 0;
  std::uint8_t options = 0;  // the raw option bits (0x60, +0x01 unique, +0x08 FOR)
  bool unique = false;
  bool hasFor = false;
  bool descending = false;
  std::string keyExpression;
  std::string forExpression;
  std::string collation;  // "" or "MACHINE" for plain byte order; anything else we cannot build

  // Keys in plain byte order: the only kind this layer seeks in and changes.
  bool machineCollation() const { return collation.empty() || collation == "MACHINE"; }
};

// A tag to create.
struct TagSpec {
  std::string name;  // 1 to 10 letters, digits or underscores, not starting with a digit
  KeyType keyType = KeyType::kCharacter;
  std::size_t keyLength = 0;  // 1..240; 8 for Numeric and Date, 4 for Integer, 1 for Logical
  std::string keyExpression;
  std::string forExpression;  // empty: no FOR clause
  bool unique = false;
  bool descending = false;
};

class Tag {
 public:
  ~Tag();
  Tag(const Tag&) = delete;
  Tag& operator=(const Tag&) = delete;

  const TagInfo& info() const { return info_; }
  const std::string& name() const { return info_.name; }
  KeyType keyType() const { return type_; }
  std::size_t keyLength() const { return info_.keyLength; }

  // Adds the pair. A pair already in a non-unique tag is kInvalidArgument; record number 0 is
  // kInvalidArgument; a tag with a collation other than MACHINE is kNotSupported.
  [[nodiscard]] Status insert(std::string_view key, std::uint32_t recno, bool* added = nullptr);
  // Removes the pair; kNotFound when the tag does not hold it.
  [[nodiscard]] Status erase(std::string_view key, std::uint32_t recno);
  // Replaces every entry by `entries` (reindex). Needs the file open exclusively
  // (kInvalidArgument otherwise). A damaged old tree is abandoned rather than freed.
  [[nodiscard]] Status rebuild(const KeyList& entries);

 private:
  friend class CdxFile;
  friend class Cursor;
  friend class Verifier;
  Tag(PageStore& store, TagInfo info, KeyType type);
  [[nodiscard]] Status fullKey(std::string_view key);

  PageStore& store_;
  TagInfo info_;
  KeyType type_;
  std::unique_ptr<BTree> tree_;
  std::string key_;  // the padded key of the call in progress
};

}  // namespace dbe::cdx
