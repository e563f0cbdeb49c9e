// EntryBuffer and EntryView: (key, record number) pairs with keys of one fixed length, stored
// flat (all keys back to back in one byte string, record numbers in a parallel vector), so that
// decoding a node or sorting a million keys allocates per node or per list, never per key.
//
// In the directory tree the "record number" of an entry is the offset of a tag header, and in
// interior nodes the entries describe children; the buffer does not care.
//
// Internal to the cdx layer. Thread safety: plain values; a view is valid while the buffer it
// looks at is neither changed nor destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace dbe::cdx {

struct EntryView {
  const char* keys = nullptr;
  const std::uint32_t* recnos = nullptr;
  std::size_t count = 0;
  std::size_t keyLength = 0;

  bool empty() const { return count == 0; }
  const char* keyData(std::size_t i) const { return keys + i * keyLength; }
  std::string_view key(std::size_t i) const { return {keyData(i), keyLength}; }
  std::uint32_t recno(std::size_t i) const { return recnos[i]; }
  // Entries [begin, end).
  EntryView slice(std::size_t begin, std::size_t end) const {
    return {keys + begin * keyLength, recnos + begin, end - begin, keyLength};
  }
};

class EntryBuffer {
 public:
  explicit EntryBuffer(std::size_t keyLength = 0) : keyLength_(keyLength) {}

  // Empties the buffer and sets the key length of what comes next (capacity is kept).
  void reset(std::size_t keyLength) {
    keyLength_ = keyLength;
    keys_.clear();
    recnos_.clear();
  }
  void reserve(std::size_t n) {
    keys_.reserve(n * keyLength_);
    recnos_.reserve(n);
  }

  std::size_t keyLength() const { return keyLength_; }
  std::size_t size() const { return recnos_.size(); }
  bool empty() const { return recnos_.empty(); }
  const char* keyData(std::size_t i) const { return keys_.data() + i * keyLength_; }
  std::string_view key(std::size_t i) const { return {keyData(i), keyLength_}; }
  std::uint32_t recno(std::size_t i) const { return recnos_[i]; }
  std::string_view lastKey() const { return key(size() - 1); }
  std::uint32_t lastRecno() const { return recnos_.back(); }

  // REQUIRES: key.size() == keyLength().
  void push(std::string_view key, std::uint32_t recno) {
    keys_.append(key.data(), keyLength_);
    recnos_.push_back(recno);
  }
  void insert(std::size_t i, std::string_view key, std::uint32_t recno) {
    keys_.insert(i * keyLength_, key.data(), keyLength_);
    recnos_.insert(recnos_.begin() + static_cast<std::ptrdiff_t>(i), recno);
  }
  void erase(std::size_t i) {
    keys_.erase(i * keyLength_, keyLength_);
    recnos_.erase(recnos_.begin() + static_cast<std::ptrdiff_t>(i));
  }
  void append(EntryView v) {
    keys_.append(v.keys, v.count * v.keyLength);
    recnos_.insert(recnos_.end(), v.recnos, v.recnos + v.count);
  }
  // Grows by n entries whose bytes the caller then fills through mutableKey()/setRecno().
  void grow(std::size_t n) {
    keys_.resize(keys_.size() + n * keyLength_);
    recnos_.resize(recnos_.size() + n);
  }
  // Keeps the first n entries.
  void truncate(std::size_t n) {
    keys_.resize(n * keyLength_);
    recnos_.resize(n);
  }
  char* mutableKey(std::size_t i) { return keys_.data() + i * keyLength_; }
  void setRecno(std::size_t i, std::uint32_t recno) { recnos_[i] = recno; }

  EntryView view() const { return {keys_.data(), recnos_.data(), size(), keyLength_}; }
  EntryView view(std::size_t begin, std::size_t end) const { return view().slice(begin, end); }

 private:
  std::size_t keyLength_;
  std::string keys_;
  std::vector<std::uint32_t> recnos_;
};

// Order of two entries: key bytes (unsigned), then record number.
inline int compareEntries(const char* keyA, std::uint32_t recA, const char* keyB,
                          std::uint32_t recB, std::size_t keyLength) {
  const int c = keyLength == 0 ? 0 : std::memcmp(keyA, keyB, keyLength);
  if (c != 0) return c;
  return recA < recB ? -1 : (recA > recB ? 1 : 0);
}

}  // namespace dbe::cdx
