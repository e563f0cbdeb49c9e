// File and FileSystem: the table engine's only door to storage.
//
// The .dbf, .fpt and .cdx code reads and writes through File, never through the OS directly, so
// that tests can run on an in-memory file system or on one that fails the Nth operation.
//
// Locks. Each File is its own open file description. Byte-range locks (lockRange) and the
// whole-file open mode (the ShareMode given to open) belong to that description, so two Files
// of one path conflict with each other exactly as two workstations do, also inside one process.
// On POSIX the byte ranges are open-file-description locks (F_OFD_SETLK), which also conflict
// with classic fcntl locks of other FoxPro-compatible engines; the open mode is flock(LOCK_NB).
// Unlock names exactly the range that was locked.
//
// Thread safety: a File may be used by one thread at a time. A FileSystem is thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "status.h"

namespace dbe {

enum class LockKind { kShared, kExclusive };

class File {
 public:
  virtual ~File() = default;

  // Reads up to out.size() bytes at offset; *got receives how many were read (less only at end
  // of file).
  [[nodiscard]] virtual Status read(std::uint64_t offset, std::span<std::byte> out,
                                    std::size_t* got) = 0;
  // Reads exactly out.size() bytes or fails with Corruption ("file ends at N, expected M bytes
  // at offset O"), naming `what` (e.g. "record 12").
  [[nodiscard]] Status readExact(std::uint64_t offset, std::span<std::byte> out,
                                 const char* what);
  // Writes all of data at offset, growing the file as needed. A disk-full condition is kFull.
  [[nodiscard]] virtual Status write(std::uint64_t offset, std::span<const std::byte> data) = 0;
  [[nodiscard]] virtual Result<std::uint64_t> size() = 0;
  [[nodiscard]] virtual Status truncate(std::uint64_t size) = 0;
  // Makes completed writes durable (fdatasync).
  [[nodiscard]] virtual Status sync() = 0;

  // Tries once; a conflict is kBusy. Never waits.
  [[nodiscard]] virtual Status lockRange(std::uint64_t offset, std::uint64_t length,
                                         LockKind kind) = 0;
  [[nodiscard]] virtual Status unlockRange(std::uint64_t offset, std::uint64_t length) = 0;

  // Retries lockRange until it succeeds or `timeout` passes (then kBusy). Only for the short
  // internal locks (table header during an append, index file during an update), which other
  // stations hold for milliseconds; record and file locks asked for by the user never wait.
  [[nodiscard]] Status lockRangeWait(std::uint64_t offset, std::uint64_t length, LockKind kind,
                                     std::chrono::milliseconds timeout);

  // The name used in messages: the path as the caller gave it.
  virtual const std::string& name() const = 0;
};

enum class OpenAccess { kReadOnly, kReadWrite };
// kShared and kExclusive take the whole-file open-mode lock (shared or exclusive, never
// waiting: a conflict is kBusy "in use exclusively by another user" / "in use by another user");
// kNone takes none (tools and tests that only look).
enum class ShareMode { kNone, kShared, kExclusive };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  [[nodiscard]] virtual Result<std::unique_ptr<File>> open(const std::filesystem::path& path,
                                                           OpenAccess access,
                                                           ShareMode share) = 0;
  // Creates a new empty file (fails with kInvalidArgument if it exists and !overwrite).
  [[nodiscard]] virtual Result<std::unique_ptr<File>> create(const std::filesystem::path& path,
                                                             ShareMode share,
                                                             bool overwrite) = 0;
  virtual bool exists(const std::filesystem::path& path) = 0;
  [[nodiscard]] virtual Status remove(const std::filesystem::path& path) = 0;
  [[nodiscard]] virtual Status rename(const std::filesystem::path& from,
                                      const std::filesystem::path& to) = 0;
};

// The host's file system (POSIX). Never null; lives for the whole process.
FileSystem* defaultFileSystem();

// A file system held in memory, with the same lock semantics as the real one: each File from
// open() is its own description.
std::unique_ptr<FileSystem> newMemoryFileSystem();

}  // namespace dbe
