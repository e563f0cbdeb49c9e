#include "host_files.h"

#include <system_error>
#include <unistd.h>

namespace see32 {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

HostFiles::HostFiles() {
  if (files::Status s = fs_.loadEnvironment(); !s) mappingError_ = s.toString();
}

SeeStatus HostFiles::setMappings(std::string_view drives, std::string_view shares) {
  files::MountTable table;
  if (files::Status s = table.addDrives(drives); !s) {
    return {kSeeBadArgument, "drive mapping: " + s.toString()};
  }
  if (files::Status s = table.addShares(shares); !s) {
    return {kSeeBadArgument, "share mapping: " + s.toString()};
  }
  fs_.setMounts(std::move(table));
  std::lock_guard lock(mu_);
  mappingError_.clear();
  return SeeStatus::ok();
}

SeeResult<std::filesystem::path> HostFiles::existingFile(std::string_view name,
                                                         std::int32_t failCode) const {
  name = trim(name);
  const std::string shown(name);
  std::filesystem::path host;
  if (name.empty()) return SeeStatus(failCode, "no file name given");
  if (name.front() == '/') {
    host = std::filesystem::path(name);
  } else {
    {
      std::lock_guard lock(mu_);
      if (!mappingError_.empty()) return SeeStatus(failCode, shown + ": " + mappingError_);
    }
    files::Result<files::Resolved> r =
        fs_.resolve(name, files::Need::kExisting, files::RelativeTo::kCurrentDirectory);
    if (!r) return SeeStatus(failCode, r.error().toString());
    host = r->host;
  }
  std::error_code ec;
  const std::filesystem::file_status st = std::filesystem::status(host, ec);
  if (ec || !std::filesystem::exists(st)) return SeeStatus(failCode, shown + ": file not found");
  if (!std::filesystem::is_regular_file(st)) {
    return SeeStatus(failCode, shown + ": not a regular file");
  }
  if (::access(host.c_str(), R_OK) != 0) return SeeStatus(failCode, shown + ": cannot be read");
  return host;
}

std::string HostFiles::join(std::string_view dir, std::string_view file) {
  dir = trim(dir);
  file = trim(file);
  if (dir.empty()) return std::string(file);
  if (file.empty()) return std::string(dir);
  std::string out(dir);
  if (out.back() != '/' && out.back() != '\\') out += dir.front() == '/' ? '/' : '\\';
  out += file;
  return out;
}

}  // namespace see32
