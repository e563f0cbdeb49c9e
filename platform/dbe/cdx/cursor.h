// Cursor: a position in one tag, moved in the tag's order.
//
// Order. Entries run by key bytes, then record number; a descending tag runs the other way
// (first() is its largest key, and among equal keys the highest record comes first). Every
// call below works in that order, so the layer above treats all tags alike.
//
// Positions. A cursor is on an entry (onEntry()), before the first (bof()) or after the last
// (eof()). next() after the last entry goes to eof(), prev() before the first to bof(); next()
// from bof() and prev() from eof() come back to the first and the last entry. An empty tag gives
// eof() for first() and last().
//
// Seeks. seek(key) finds the first entry in tag order whose key begins with `key`: a key as long
// as the tag's is an exact match, a shorter Character key matches every key it starts
// (seek("SM") finds "SMITH"). kExact leaves the cursor at eof() when nothing matches; kSoft
// leaves it on the entry that would follow the key in tag order (or eof()). seekEntry(key,
// recno) finds that very pair, or the entry that would follow it, to put a cursor back on the
// current record. Scopes (top and bottom limits) are the layer above's: seek the top, then
// compare key() with the bottom as the cursor moves.
//
// Freshness. Each positioning call descends from the tag header (under the index lock, or on
// pages the update counter shows unchanged: IndexOptions::sharedCache) and copies the whole
// leaf it lands in; next() and prev() step through that copy without any I/O while nothing
// changed the file through this CdxFile, and descend again (to the entry after or before the
// one they left) when they leave the leaf or when a change was made. Changes by other stations
// therefore show at the next leaf or the next seek, like any station's cached index pages. A
// record found through an index may no longer have the key: the layer above checks.
//
// Errors: kCorruption, kBusy, kIOError from the file; a failed call leaves the cursor on no
// entry (neither bof() nor eof()). Seeks on a tag whose collation is not MACHINE are
// kNotSupported.
//
// Lifetime: REQUIRES the Tag to outlive the cursor. Thread safety: one thread at a time, with
// its CdxFile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbe/cdx/tag.h"
#include "dbe/io/status.h"

namespace dbe::cdx {

struct Descent;
struct Probe;

enum class SeekMode { kExact, kSoft };

class Cursor {
 public:
  explicit Cursor(Tag& tag);
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  [[nodiscard]] Status first();
  [[nodiscard]] Status last();
  [[nodiscard]] Status next();
  [[nodiscard]] Status prev();
  // true when an entry with the key (or beginning with it) was found.
  [[nodiscard]] Result<bool> seek(std::string_view key, SeekMode mode = SeekMode::kExact);
  // true when the pair itself is in the tag.
  [[nodiscard]] Result<bool> seekEntry(std::string_view key, std::uint32_t recno);

  bool onEntry() const { return state_ == State::kOn; }
  bool eof() const { return state_ == State::kEof; }
  bool bof() const { return state_ == State::kBof; }
  // The entry at the cursor (the tag's full key length). REQUIRES: onEntry().
  std::string_view key() const;
  std::uint32_t recno() const;

  Tag& tag() const { return *tag_; }

 private:
  enum class State { kNowhere, kBof, kEof, kOn };

  // Puts the cursor on the first entry that `probe` matches, or with lastBefore on the last
  // entry it does not match (*landed false: there is none), inside a read scope of its own.
  [[nodiscard]] Status land(const Probe& probe, bool lastBefore, bool* landed);
  [[nodiscard]] Status landFirstMatch(const Probe& probe, bool* landed);
  [[nodiscard]] Status landLastBefore(const Probe& probe, bool* landed);
  // Physical order steps from the current entry.
  [[nodiscard]] Status stepUp(bool* landed);
  [[nodiscard]] Status stepDown(bool* landed);
  bool fresh() const;
  Status failed(Status s);

  Tag* tag_;
  std::unique_ptr<Descent> d_;
  std::size_t index_ = 0;
  State state_ = State::kNowhere;
  std::uint64_t generation_ = 0;
  std::string anchor_;     // a copy of the current key while the leaf copy is replaced
  std::string beforeKey_;  // the entry before a leaf, while the cursor lands on it
};

}  // namespace dbe::cdx
