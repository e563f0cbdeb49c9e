// KeyList: the (key, record number) pairs of a whole tag, as the layer above computes them from
// the table to build a tag in bulk (create, reindex) or to have the verifier check a tag
// against the table.
//
// Keys are stored flat, one fixed length for the whole list; a shorter key is padded with the key
// type's fill byte (blank for Character keys), so the caller can hand in field bytes as they are.
// Order does not matter: the builder sorts.
//
// Thread safety: a plain value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dbe/cdx/entry_buffer.h"
#include "dbe/cdx/key_codec.h"
#include "dbe/io/status.h"

namespace dbe::cdx {

class KeyList {
 public:
  // REQUIRES: 1 <= keyLength <= 240.
  KeyList(KeyType type, std::size_t keyLength) : type_(type), entries_(keyLength) {}

  KeyType keyType() const { return type_; }
  std::size_t keyLength() const { return entries_.keyLength(); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  std::string_view key(std::size_t i) const { return entries_.key(i); }
  std::uint32_t recno(std::size_t i) const { return entries_.recno(i); }

  void reserve(std::size_t n) { entries_.reserve(n); }
  void clear() { entries_.reset(entries_.keyLength()); }

  // Appends one pair. kInvalidArgument when the key is longer than the key length or the record
  // number is 0 (records count from 1).
  [[nodiscard]] Status add(std::string_view key, std::uint32_t recno);

  // The pairs as the builder and the verifier read them.
  EntryView view() const { return entries_.view(); }

 private:
  KeyType type_;
  EntryBuffer entries_;
};

}  // namespace dbe::cdx
