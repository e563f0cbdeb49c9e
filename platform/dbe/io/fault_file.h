// FaultFileSystem: a FileSystem wrapper that fails chosen operations and simulates crashes, so
// that tests can walk every failure path of the table and index code.
//
// Failing. failAt(op, n) makes the n-th operation of that kind from now fail (reads, writes,
// byte-range locks or syncs; kAny counts all four together); with `sticky` every later one of
// that kind fails too, as a disk that stays full. A failing write is kFull by default and may
// first write part of its bytes (setPartialWrites), as a write that runs out of space midway.
// A failing lock is kBusy, a failing read or sync kIOError. Truncate counts as a write. Opens,
// size queries and unlocks are never failed. Tests typically loop n = 1, 2, ... until an
// operation succeeds with no fault fired, checking after each failure that the data is intact.
//
// Crashing. The wrapper remembers, per path, every write and truncate made since that path's
// last sync (any File's sync of the path counts, as fdatasync does for the inode). crash()
// then undoes those changes in the base file system as a power cut would: all of them
// (kDropUnsynced), or each 512-byte sector of each unsynced write independently kept or lost
// (kTornUnsynced), or lost sectors filled with junk instead of their old bytes
// (kGarbleUnsynced). Every File opened before the crash is dead afterwards: each operation on it
// fails with kIOError, so a destructor that flushes cannot write past the crash. Files opened
// after the crash work normally. Renames and removals count as durable.
//
// Thread safety: the wrapper and its Files may be used from several threads (each File by one
// thread at a time); the base file system must be thread-safe.
#pragma once

#include <cstdint>
#include <memory>

#include "file.h"

namespace dbe {

enum class FaultOp { kRead, kWrite, kLock, kSync, kAny };
enum class CrashMode { kDropUnsynced, kTornUnsynced, kGarbleUnsynced };

class FaultFileSystem final : public FileSystem {
 public:
  // REQUIRES: base outlives this object and every File it returns.
  explicit FaultFileSystem(FileSystem* base);
  ~FaultFileSystem() override;
  FaultFileSystem(const FaultFileSystem&) = delete;
  FaultFileSystem& operator=(const FaultFileSystem&) = delete;

  // Arms one fault: the n-th (n >= 1) operation of kind `op` counted from now fails; with
  // `sticky`, all later ones of that kind fail too. Replaces any fault armed before.
  void failAt(FaultOp op, std::uint64_t n, bool sticky = false);
  // Disarms the fault (counting goes on).
  void clearFault();
  // Whether the armed fault has made at least one operation fail.
  bool faultFired() const;
  // Operations of this kind seen so far (kAny: all kinds).
  std::uint64_t count(FaultOp op) const;
  // The code of a failing write: kFull (default) or kIOError.
  void setWriteFailure(Status::Code code);
  // A failing write first writes the first half of its bytes (default off).
  void setPartialWrites(bool on);

  // Undoes (or tears, or garbles) every unsynced change, then kills every File open now.
  // `seed` makes the torn and garbled choices repeatable.
  [[nodiscard]] Status crash(CrashMode mode, std::uint32_t seed = 1);
  // Paths with unsynced changes right now (for tests that check what a commit synced).
  std::size_t unsyncedPaths() const;

  Result<std::unique_ptr<File>> open(const std::filesystem::path& path, OpenAccess access,
                                     ShareMode share) override;
  Result<std::unique_ptr<File>> create(const std::filesystem::path& path, ShareMode share,
                                       bool overwrite) override;
  bool exists(const std::filesystem::path& path) override;
  Status remove(const std::filesystem::path& path) override;
  Status rename(const std::filesystem::path& from, const std::filesystem::path& to) override;

  struct State;  // shared with the Files; defined in fault_file.cpp

 private:
  FileSystem* base_;
  std::shared_ptr<State> state_;
};

}  // namespace dbe
