#include "tag.h"

#include <cstring>

#include "dbe/cdx/btree.h"
#include "dbe/cdx/entry_sort.h"
#include "dbe/cdx/page_store.h"

namespace dbe::cdx {

Tag::Tag(PageStore& store, TagInfo info, KeyType type)
    : store_(store),
      info_(std::move(info)),
      type_(type),
      tree_(std::make_unique<BTree>(store, info_.headerOffset, info_.keyLength, fillByte(type),
                                    "tag " + info_.name)) {}

Tag::~Tag() = default;

Status Tag::fullKey(std::string_view key) {
  if (key.size() > info_.keyLength) {
    return Status::invalidArgument("tag " + info_.name + ": key of " + std::to_string(key.size()) +
                                       " bytes is longer than " + std::to_string(info_.keyLength),
                                   store_.fileName());
  }
  key_.assign(key);
  key_.resize(info_.keyLength, fillByte(type_));
  return Status::ok();
}

Status Tag::insert(std::string_view key, std::uint32_t recno, bool* added) {
  if (added != nullptr) *added = false;
  if (!info_.machineCollation()) {
    return Status::notSupported(store_.fileName(), "tag " + info_.name + " uses the collation " +
                                                       info_.collation + ", not MACHINE");
  }
  if (recno == 0) {
    return Status::invalidArgument("tag " + info_.name + ": record number 0", store_.fileName());
  }
  DBE_RETURN_IF_ERROR(fullKey(key));
  WriteScope scope(store_);
  DBE_RETURN_IF_ERROR(scope.status());
  bool done = false;
  DBE_RETURN_IF_ERROR(tree_->insert(key_, recno, info_.unique, &done));
  DBE_RETURN_IF_ERROR(scope.commit());
  if (added != nullptr) *added = done;
  return Status::ok();
}

Status Tag::erase(std::string_view key, std::uint32_t recno) {
  if (!info_.machineCollation()) {
    return Status::notSupported(store_.fileName(), "tag " + info_.name + " uses the collation " +
                                                       info_.collation + ", not MACHINE");
  }
  DBE_RETURN_IF_ERROR(fullKey(key));
  WriteScope scope(store_);
  DBE_RETURN_IF_ERROR(scope.status());
  DBE_RETURN_IF_ERROR(tree_->erase(key_, recno));
  return scope.commit();
}

Status Tag::rebuild(const KeyList& entries) {
  if (store_.inWriteScope()) {
    return Status::invalidArgument(
        "rebuilding tag " + info_.name + " cannot be part of an index update", store_.fileName());
  }
  if (store_.options().shared) {
    return Status::invalidArgument(
        "rebuilding tag " + info_.name + " needs exclusive use of the index", store_.fileName());
  }
  if (!info_.machineCollation()) {
    return Status::notSupported(store_.fileName(), "tag " + info_.name + " uses the collation " +
                                                       info_.collation + ", not MACHINE");
  }
  if (entries.keyLength() != info_.keyLength || entries.keyType() != type_) {
    return Status::invalidArgument("tag " + info_.name + ": the keys given are not " +
                                       keyTypeName(type_) + " keys of " +
                                       std::to_string(info_.keyLength) + " bytes",
                                   store_.fileName());
  }
  EntryBuffer sorted;
  DBE_RETURN_IF_ERROR(sortEntries(entries.view(), info_.unique, "tag " + info_.name, &sorted));
  WriteScope scope(store_);
  DBE_RETURN_IF_ERROR(scope.status());
  DBE_RETURN_IF_ERROR(tree_->releaseNodes());
  DBE_RETURN_IF_ERROR(tree_->build(sorted.view()));
  return scope.commit();
}

}  // namespace dbe::cdx
