// CdxFile: a FoxPro compound index (.cdx) file: its tag directory, its tags, and the creation,
// deletion and bulk building of tags.
//
// The file header (offset 0) is a tag header whose tree is the tag directory: its keys are the
// tag names (upper case, 10 bytes, blank-padded) and the "record number" of each name is the
// offset of that tag's header. Every tag has its own tree; see tag.h for changes and cursor.h for
// reading in key order.
//
// Sharing. With IndexOptions::shared (the table is open shared) every change takes the index
// lock at byte 0x7FFFFFFE of the .cdx (exclusive), re-reads every page it uses, and bumps the
// update counter at file offset 8 (big-endian), as the other programs on the data directory do.
// Reads take the lock shared, or, with SharedCache::kWhileCounterUnchanged, answer from pages
// read under an earlier lock while the counter says nothing has changed (index_options.h), so
// another station's change shows at the next seek. Adding, deleting and rebuilding tags need
// exclusive use (shared: kInvalidArgument): stations that have the file open would not maintain
// a tag they do not know of.
//
// The key type of a tag is not stored in the file (it is the type of the key expression's
// result), so tag() takes it from the caller, who evaluates the expression.
//
// Errors: a damaged file gives kCorruption naming the file, the tag and the node; a lock held
// too long by another station kBusy; disk errors kIOError or kFull. Nothing throws.
//
// Thread safety: a CdxFile, its Tags and its Cursors are used by one thread at a time. Two
// CdxFiles over two Files of one path behave like two stations.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/cdx/index_options.h"
#include "dbe/cdx/key_list.h"
#include "dbe/cdx/tag.h"
#include "dbe/io/file.h"

namespace dbe::cdx {

class BTree;
class PageStore;

class CdxFile {
 public:
  // Reads and checks the file header and every tag header.
  [[nodiscard]] static Result<std::unique_ptr<CdxFile>> open(std::unique_ptr<File> file,
                                                             const IndexOptions& options = {});
  // Writes a new index with no tags into an empty file, then opens it.
  [[nodiscard]] static Result<std::unique_ptr<CdxFile>> create(std::unique_ptr<File> file,
                                                               const IndexOptions& options = {});
  ~CdxFile();
  CdxFile(const CdxFile&) = delete;
  CdxFile& operator=(const CdxFile&) = delete;

  const std::string& name() const;
  const IndexOptions& options() const;

  // Every tag, in directory (alphabetical) order.
  const std::vector<TagInfo>& tags() const { return tags_; }

  // The tag of that name (any case), read with keys of `type`. kNotFound when there is none;
  // kInvalidArgument when the type's key length does not match the tag's, or the tag was asked
  // for before with another type.
  [[nodiscard]] Result<Tag*> tag(std::string_view name, KeyType type);

  // Creates a tag holding `entries` (in any order; of the TagSpec's key type and length), built in
  // bulk. kInvalidArgument for a bad name, a name in use, a bad key length, expressions that do
  // not fit the tag header, or a pair listed twice.
  [[nodiscard]] Result<Tag*> addTag(const TagSpec& spec, const KeyList& entries);

  // Removes a tag and frees its pages. Its Tag and Cursors become invalid.
  [[nodiscard]] Status deleteTag(std::string_view name);

  // The update counter (file header bytes 8-11) as it is on disk now.
  [[nodiscard]] Result<std::uint32_t> updateCounter();

 private:
  friend class Verifier;
  friend class IndexUpdate;
  CdxFile(std::unique_ptr<File> file, const IndexOptions& options);
  [[nodiscard]] Status load();
  [[nodiscard]] Status readTagHeader(const std::string& name, std::uint32_t offset, TagInfo* out);
  [[nodiscard]] Status needExclusive(const char* what) const;

  std::unique_ptr<PageStore> store_;
  std::unique_ptr<BTree> directory_;
  std::vector<TagInfo> tags_;
  std::map<std::string, std::unique_ptr<Tag>, std::less<>> open_;
};

// IndexUpdate: the changes one record makes to the tags of one index, under one index lock and
// one commit, so that other stations see all of them or none and the update counter moves once
// (what a writer must do when it changes, appends or recalls a record). While it lives,
// Tag::insert and Tag::erase on this file's tags are part of it, and cursors of the file see
// its changes. The write lock is held from construction to commit() or destruction: keep it
// around one record's changes.
//
// A change that fails before altering anything (kNotFound from erase, kInvalidArgument) leaves
// the update usable; one that fails half-way (a damaged node found, a page that cannot be
// allocated) spoils it: commit() then drops every change of the update and reports it.
class IndexUpdate {
 public:
  explicit IndexUpdate(CdxFile& file);
  // Drops the changes unless commit() was called.
  ~IndexUpdate();
  IndexUpdate(const IndexUpdate&) = delete;
  IndexUpdate& operator=(const IndexUpdate&) = delete;

  // Why the update could not start (kBusy: the lock; kReadOnly; an update already open).
  const Status& status() const { return status_; }
  // Writes every change and releases the lock.
  [[nodiscard]] Status commit();

 private:
  PageStore* store_;
  Status status_;
  bool done_ = false;
};

// A tag name as the directory stores it (upper case), or "" when the name cannot be a tag's.
std::string normalTagName(std::string_view name);

}  // namespace dbe::cdx
