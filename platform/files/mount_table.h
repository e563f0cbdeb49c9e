// MountTable: which host directory stands for each drive letter and each network share.
//
// The system names files on drives ("C:\vadnorel\MSTRCTRL.DBF") and on network shares
// ("\\server\share\out.pdf"). On the host each drive letter, and each \\server\share pair, is
// mapped to a host directory, its root; a path on a drive or share that has no mapping cannot be
// used ("drive D: is not mapped to a host directory"). Server and share names compare without
// regard to case, as on Windows.
//
// Configuration of the platform, read by FileSystem::loadEnvironment() (and so by the
// process-wide FileSystem when it is first used):
//
//   VENDORLIST_DRIVES="C=/srv/vendorlist/c;D=/mnt/d"
//       drive letter (either case, a colon after it allowed: "C:=/srv/c"), '=', an absolute
//       host directory; entries separated by ';'.
//   VENDORLIST_UNC="\\server\share=/mnt/share;//backup/reports=/srv/reports"
//       a network share named \\server\share (either slash), '=', an absolute host directory;
//       entries separated by ';'.
//
// Blanks around names and directories are ignored and empty entries are skipped; a host
// directory cannot contain ';'. A malformed entry, a relative host directory or a letter given
// twice rejects the whole variable, naming the entry, so that a typo never leaves half a
// configuration in force. Mapping a drive does not check that the host directory exists (it
// may be mounted later); using a path on it reports a missing root then.
//
// Thread safety: a MountTable is a plain value; FileSystem guards the one it uses.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "status.h"
#include "win_path.h"

namespace files {

inline constexpr const char* kDrivesVariable = "VENDORLIST_DRIVES";
inline constexpr const char* kSharesVariable = "VENDORLIST_UNC";

class MountTable {
 public:
  // Maps drive `letter` (either case) to `hostRoot`. Fails with kConfig when the letter is not
  // an ASCII letter or hostRoot is not absolute. Replaces an earlier mapping of the letter.
  Status mapDrive(char letter, const std::filesystem::path& hostRoot);
  void unmapDrive(char letter);
  // Maps the share named `unc` ("\\server\share", either slash) to `hostRoot`. Fails with
  // kConfig when unc is not exactly a server and a share, or hostRoot is not absolute.
  Status mapShare(std::string_view unc, const std::filesystem::path& hostRoot);
  void unmapShare(std::string_view unc);

  // Adds every entry of a mapping list in the format of VENDORLIST_DRIVES or VENDORLIST_UNC
  // (above). All or nothing: on failure (kConfig, naming the entry) the table is unchanged.
  Status addDrives(std::string_view list);
  Status addShares(std::string_view list);

  // The host root of drive `letter` (either case), or nullopt when it is not mapped.
  std::optional<std::filesystem::path> driveRoot(char letter) const;
  // The host root of a share, or nullopt when it is not mapped.
  std::optional<std::filesystem::path> shareRoot(std::string_view server,
                                                 std::string_view share) const;
  // The host directory of the root of `path`. REQUIRES: path.isAbsolute(). Fails with
  // kNotMapped ("drive D: is not mapped to a host directory"; the error's path is path's text).
  Result<std::filesystem::path> hostRoot(const WinPath& path) const;

  // The Windows path for a host path under a mapped root: "/srv/c/vadnorel/APMSTRFL.DBF" gives
  // "C:\vadnorel\APMSTRFL.DBF". The deepest root holding the path wins; at equal depth a drive
  // wins over a share, and the lower letter over a higher one. The host path is taken
  // lexically (it must be absolute; symbolic links are not followed). nullopt when no root
  // holds it.
  std::optional<WinPath> windowsPath(const std::filesystem::path& host) const;

 private:
  struct Share {
    std::string server;  // as configured, for display
    std::string share;
    std::filesystem::path root;
  };

  static std::string shareKey(std::string_view server, std::string_view share);

  std::array<std::filesystem::path, 26> drives_;  // empty path: not mapped
  std::map<std::string, Share> shares_;           // key: folded "SERVER\SHARE"
};

}  // namespace files
