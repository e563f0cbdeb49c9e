// HeldLocks: the byte-range locks one open table holds on its .dbf, and the only code that
// takes or releases them.
//
// Rules, so that our locks look to other stations exactly like those of the FoxPro programs:
// - A lock never waits: a conflict is kBusy at once (retries belong to the caller). Only the
//   header lock of an append is waited for, briefly (lockHeader's timeout).
// - Re-locking a record we hold succeeds without a system call (POSIX would merge the ranges,
//   Windows would refuse the second lock; neither must happen).
// - While the file lock is held every record counts as locked. Taking the file lock absorbs the
//   record locks it covers (on POSIX the file range replaces our own record bytes, so they are
//   dropped from the table instead of being unlocked one by one, which would punch holes into
//   the file lock).
// - An unlock names exactly the range that was locked.
// - A table opened exclusively holds every lock implicitly: nothing is locked on disk, since
//   nobody else can have the file open.
//
// Thread safety: one thread at a time (it belongs to one Table).
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <vector>

#include "dbe/io/file.h"
#include "lock_layout.h"

namespace dbe::dbf {

class HeldLocks {
 public:
  // REQUIRES: file outlives this object.
  HeldLocks(File* file, LockLayout layout, bool exclusiveOpen)
      : file_(file), layout_(layout), exclusiveOpen_(exclusiveOpen) {}

  const LockLayout& layout() const { return layout_; }

  [[nodiscard]] Status lockRecord(std::uint32_t r);
  [[nodiscard]] Status unlockRecord(std::uint32_t r);
  [[nodiscard]] Status lockFile();
  [[nodiscard]] Status unlockFile();
  // Records first, then the file lock. Returns the first failure but releases all it can.
  [[nodiscard]] Status unlockAll();

  bool holdsRecord(std::uint32_t r) const;
  bool holdsFile() const { return exclusiveOpen_ || file_lock_; }
  // Records locked one by one (not through the file lock), ascending.
  std::vector<std::uint32_t> records() const { return {records_.begin(), records_.end()}; }

  // The short header lock around an append or a memo allocation; waits up to `timeout`.
  [[nodiscard]] Status lockHeader(std::chrono::milliseconds timeout);
  [[nodiscard]] Status unlockHeader();
  bool holdsHeader() const { return exclusiveOpen_ || header_; }

 private:
  File* file_;
  LockLayout layout_;
  bool exclusiveOpen_;
  bool file_lock_ = false;
  bool header_ = false;
  std::set<std::uint32_t> records_;
};

}  // namespace dbe::dbf
