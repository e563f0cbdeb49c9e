// FileSystem: Windows paths of the system's procedures mapped onto host files.
//
// The system names files the Windows way: "\vadnorel", "C:\vadnorel\vendorpo_201603091405.PDF",
// "EMAIL.INI", "\\server\share\out.pdf", tables by bare name ("mstrctrl", "APMSTRFL"). A
// FileSystem holds what gives such names their meaning, and resolves them to host paths:
//
//   drives and shares   each drive letter and each \\server\share maps to a host directory
//                       (MountTable; configured through VENDORLIST_DRIVES and VENDORLIST_UNC,
//                       described in mount_table.h, or through mapDrive()/mapShare()).
//   current drive       "C:" unless changed; its letter and colon are the session's `vdrive`.
//   current directory   one per drive, as on Windows; the root until changeDirectory() moves
//                       it. "C:x" is taken from drive C's, "\x" from the current drive's root.
//   default directory   where relative names are opened and created (a Windows path, e.g.
//                       "\vadnorel", itself taken from the current drive and directory each
//                       time it is used); without one, relative names use the current directory.
//   search path         directories where locate() looks for a relative name that is not in
//                       the default directory, in order.
//
// Every component is found without regard to case against the real directory entries
// (NameResolver): "mstrctrl.dbf" finds MSTRCTRL.DBF, "apmstrfl.CDX" finds APMSTRFL.cdx; an
// exact match wins; two entries that differ only by case, neither exact, are an error. A name
// that does not exist yet (a file about to be created) resolves with Need::kMayNotExist: its
// directories must exist and are resolved, the last component is kept as given.
//
// The settings belong to the process, not to a thread: a report thread sees the directory and
// path that start-up set. The host's own working directory is never changed.
//
// Thread safety: every member may be called from any thread at once. The settings are guarded
// by a reader/writer lock held only while they are read or changed, never during file-system
// calls; a resolution works on the settings as they were when it began.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "mount_table.h"
#include "name_resolver.h"
#include "status.h"
#include "win_path.h"

namespace files {

// What a relative name (no drive, no leading backslash) is taken from.
enum class RelativeTo {
  kDefaultDirectory,  // the default directory (the current directory when none is set)
  kCurrentDirectory,  // the current directory of the current drive
};

// Whether the last component must exist.
enum class Need { kExisting, kMayNotExist };

struct Resolved {
  std::filesystem::path host;  // the host path
  std::string windows;         // full Windows path; existing components spelt as on the host
  bool exists = false;         // false only with Need::kMayNotExist and a missing last name
  bool isDirectory = false;
};

class FileSystem {
 public:
  // Whole files larger than this are not read as text: text files of the system (INI files,
  // templates) are small, and a huge one is a mistake that must not exhaust memory.
  static constexpr std::size_t kMaxTextBytes = 64u << 20;

  // No drive or share mapped, current drive C:, every current directory at its root, no
  // default directory, empty search path.
  FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // The process-wide instance the system's modules use. It is made at first use and reads
  // VENDORLIST_DRIVES and VENDORLIST_UNC then; environmentStatus() tells start-up whether they
  // were well formed. It lives until the process ends (never destroyed, so that a thread still
  // running at exit cannot use a destroyed object).
  static FileSystem& process();

  // ---- drives and shares ----
  Status mapDrive(char letter, const std::filesystem::path& hostRoot);  // see MountTable
  void unmapDrive(char letter);
  Status mapShare(std::string_view unc, const std::filesystem::path& hostRoot);
  void unmapShare(std::string_view unc);
  void setMounts(MountTable mounts);
  MountTable mounts() const;
  // Adds the mappings of VENDORLIST_DRIVES and VENDORLIST_UNC (each all or nothing). Fails with
  // kConfig naming the variable and its bad entry; a variable that is not set adds nothing.
  Status loadEnvironment();
  // The result of the loadEnvironment() that process() made; OK for other instances.
  Status environmentStatus() const;

  // ---- current drive and directories ----
  // The current drive's upper-case letter.
  char currentDrive() const;
  // "C:": the letter and a colon.
  std::string currentDriveText() const;
  // Makes `letter` (either case) the current drive. Fails with kInvalidPath for a non-letter,
  // kNotMapped for a drive without a host directory.
  Status setCurrentDrive(char letter);
  // "C:\vadnorel": the current directory of the current drive, or of drive `letter`.
  std::string currentDirectory() const;
  std::string currentDirectory(char letter) const;
  // Changes the current directory, as the system's change-directory call does: `path` is taken
  // from the current directory; a path naming a drive makes that drive current too. The
  // directory must exist (found without regard to case); a network path is refused
  // (kInvalidPath): the current directory is always on a drive.
  Status changeDirectory(std::string_view path);

  // ---- default directory and search path ----
  // Sets the default directory ("" for none). Only the syntax is checked: the directory need
  // not exist yet, and opening a file in it reports it missing. Fails with kInvalidPath.
  Status setDefaultDirectory(std::string_view path);
  // As given to setDefaultDirectory().
  std::string defaultDirectory() const;
  // Sets the search path: Windows directories separated by ';' or ',' (blanks around each are
  // ignored, empty entries skipped). All or nothing: an invalid entry fails with kInvalidPath
  // naming it, and leaves the search path as it was.
  Status setSearchPath(std::string_view list);
  // As given to setSearchPath().
  std::string searchPath() const;

  // ---- resolution ----
  // The full Windows path `path` stands for ("mstrctrl" -> "C:\vadnorel\mstrctrl"), from the
  // settings alone; nothing on disk is read. Fails with kInvalidPath.
  Result<WinPath> fullPath(std::string_view path,
                           RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // The host file `path` stands for, each component found without regard to case. Fails with
  // kInvalidPath, kNotMapped, kNotFound (the file, or "directory not found" for a directory on
  // the way), kNotADirectory, kAmbiguous, kIOError. The search path is not used.
  Result<Resolved> resolve(std::string_view path, Need need = Need::kExisting,
                           RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // Finds an existing file the way tables are found: as resolve(); then, when `path` is
  // relative (no drive, no leading backslash) and not found there, in each directory of the
  // search path in order. A search-path directory that is missing or on an unmapped drive is
  // passed over; an ambiguous name in any directory looked at is an error. Fails as resolve(),
  // with the error for the first place looked at when the file is nowhere.
  Result<Resolved> locate(std::string_view path,
                          RelativeTo base = RelativeTo::kDefaultDirectory) const;

  // ---- file helpers on Windows paths ----
  // Whether locate() finds `path` (so the search path counts). A missing file or directory on
  // the way gives false; other failures (unmapped drive, ambiguous name, ...) are errors.
  Result<bool> exists(std::string_view path, RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // Deletes the file `path` (resolve(), so not along the search path). Fails as resolve(), with
  // kIsADirectory for a directory, kIOError when the host refuses.
  Status remove(std::string_view path, RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // The whole content of the file `path` (resolve()), bytes as stored. Fails as resolve(), with
  // kIsADirectory, kIOError, kTooLarge beyond kMaxTextBytes.
  Result<std::string> readText(std::string_view path,
                               RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // resolve(path, need, base).host: the host path to open or create.
  Result<std::filesystem::path> hostPath(std::string_view path, Need need = Need::kMayNotExist,
                                         RelativeTo base = RelativeTo::kDefaultDirectory) const;
  // The Windows path for a host path under a mapped drive or share ("C:\vadnorel\X.DBF"), or
  // nullopt (see MountTable::windowsPath).
  std::optional<std::string> windowsPath(const std::filesystem::path& host) const;
  // windowsPath(host), or the host path itself when no drive or share holds it: for messages.
  std::string displayPath(const std::filesystem::path& host) const;

  // The resolver's cache, for tests of its rules.
  NameResolver& TEST_resolver() const { return resolver_; }

 private:
  // A place to look: the full Windows path and its host root (or why there is none).
  struct Target {
    WinPath full;
    Result<std::filesystem::path> root;
  };

  // REQUIRES: mu_ held (shared or exclusive).
  WinPath absoluteLocked(const WinPath& p, RelativeTo base) const;
  Target targetLocked(const WinPath& p, RelativeTo base) const;

  Result<Resolved> resolveTarget(const Target& t, Need need) const;

  mutable std::shared_mutex mu_;  // guards everything below up to resolver_
  MountTable mounts_;
  char drive_ = 'C';
  std::array<WinPath, 26> currentDirs_;  // absolute, one per drive letter
  std::string defaultText_;              // as given
  std::optional<WinPath> default_;       // parsed; nullopt: none
  std::string searchText_;               // as given
  std::vector<WinPath> search_;          // parsed entries
  Status envStatus_;

  // A cache that guards itself; resolution through a const FileSystem may fill it.
  mutable NameResolver resolver_;
};

}  // namespace files
