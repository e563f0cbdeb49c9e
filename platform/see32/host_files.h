// HostFiles: the host file that a file name given to the engine stands for.
//
// The suite hands the engine Windows names ("C:\vadnorel\VENDORLIST.PDF", "\rovudo\stunnel.pem",
// "\\server\share\out.pdf"); tests and host tools hand it host paths. A name that begins with
// '/' is a host path and is used as it is. Any other name is a Windows path, resolved as the
// program resolves it (platform/files): drives and shares through VENDORLIST_DRIVES and
// VENDORLIST_UNC, read when the engine is loaded, or through setMappings(); every component
// found without regard to case; a name without drive on drive C:, a relative name from the
// root of C: (the engine cannot see the program's current directory; the program gives full
// paths).
//
// Thread safety: every member may be called from any thread at once (the mapping is guarded
// inside files::FileSystem, the note of a bad environment by a mutex).
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "files/file_system.h"
#include "see_status.h"

namespace see32 {

class HostFiles {
 public:
  HostFiles();  // reads VENDORLIST_DRIVES and VENDORLIST_UNC

  // Replaces the mappings (formats of the two variables; empty text maps nothing). All or
  // nothing; kSeeBadArgument naming the bad entry.
  SeeStatus setMappings(std::string_view drives, std::string_view shares);

  // The host path of the existing, readable regular file `name`. Fails with `failCode` and a
  // text naming the file as given and why ("C:\vadnorel\X.PDF: file not found").
  SeeResult<std::filesystem::path> existingFile(std::string_view name, std::int32_t failCode) const;

  // `dir` and `file` joined with the separator of the dir's kind ('/' for a host directory,
  // '\' for a Windows one); either may be empty.
  static std::string join(std::string_view dir, std::string_view file);

 private:
  files::FileSystem fs_;
  mutable std::mutex mu_;     // guards mappingError_
  std::string mappingError_;  // why VENDORLIST_DRIVES/UNC were refused; empty when they were not
};

}  // namespace see32
