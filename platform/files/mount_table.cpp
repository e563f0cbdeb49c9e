#include "mount_table.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace files {

namespace {

namespace fs = std::filesystem;

Error configError(std::string_view what, std::string message) {
  return Error{Error::Kind::kConfig, std::string(what), std::move(message), 0};
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "/srv/c/" and "/srv/./c" both become "/srv/c", so that roots compare component by component.
fs::path normalRoot(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (!n.has_filename() && n != n.root_path()) n = n.parent_path();
  return n;
}

std::optional<int> driveIndex(char letter) {
  const char up = foldChar(letter);
  if (up < 'A' || up > 'Z') return std::nullopt;
  return up - 'A';
}

struct Entry {
  std::string_view name;
  std::string_view host;
};

// Splits a mapping list into "name=host" entries; empty entries are skipped.
Result<std::vector<Entry>> splitList(std::string_view list) {
  std::vector<Entry> out;
  std::size_t i = 0;
  while (i <= list.size()) {
    std::size_t j = list.find(';', i);
    if (j == std::string_view::npos) j = list.size();
    const std::string_view entry = trim(list.substr(i, j - i));
    i = j + 1;
    if (entry.empty()) continue;
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) {
      return configError(entry, "mapping has no '=' between name and host directory");
    }
    out.push_back(Entry{trim(entry.substr(0, eq)), trim(entry.substr(eq + 1))});
  }
  return out;
}

// Number of components of a normalised absolute path; "/" has none.
std::size_t depth(const fs::path& p) {
  std::size_t n = 0;
  for (const fs::path& c : p.relative_path()) {
    if (!c.empty()) ++n;
  }
  return n;
}

// When `host` lies under `root`, the components of host below it.
std::optional<std::vector<std::string>> below(const fs::path& root, const fs::path& host) {
  auto r = root.begin();
  auto h = host.begin();
  for (; r != root.end(); ++r, ++h) {
    if (r->empty()) continue;  // a trailing "" element, which normalRoot has removed anyway
    if (h == host.end() || *r != *h) return std::nullopt;
  }
  std::vector<std::string> rest;
  for (; h != host.end(); ++h) {
    if (!h->empty()) rest.push_back(h->string());
  }
  return rest;
}

}  // namespace

std::string MountTable::shareKey(std::string_view server, std::string_view share) {
  return foldCase(server) + "\\" + foldCase(share);
}

Status MountTable::mapDrive(char letter, const fs::path& hostRoot) {
  const auto index = driveIndex(letter);
  if (!index) {
    return configError(std::string(1, letter), "a drive is named by a letter from A to Z");
  }
  if (!hostRoot.is_absolute()) {
    return configError(std::string{foldChar(letter), ':'},
                       "host directory \"" + hostRoot.string() + "\" is not an absolute path");
  }
  drives_[static_cast<std::size_t>(*index)] = normalRoot(hostRoot);
  return {};
}

void MountTable::unmapDrive(char letter) {
  if (const auto index = driveIndex(letter)) drives_[static_cast<std::size_t>(*index)].clear();
}

Status MountTable::mapShare(std::string_view unc, const fs::path& hostRoot) {
  Result<WinPath> p = WinPath::parse(unc);
  if (!p || p->kind() != WinPath::Kind::kUnc || !p->components().empty()) {
    return configError(unc, "a network share is named \\\\server\\share");
  }
  if (!hostRoot.is_absolute()) {
    return configError(unc, "host directory \"" + hostRoot.string() + "\" is not an absolute path");
  }
  shares_[shareKey(p->server(), p->share())] = Share{p->server(), p->share(), normalRoot(hostRoot)};
  return {};
}

void MountTable::unmapShare(std::string_view unc) {
  Result<WinPath> p = WinPath::parse(unc);
  if (p && p->kind() == WinPath::Kind::kUnc) shares_.erase(shareKey(p->server(), p->share()));
}

Status MountTable::addDrives(std::string_view list) {
  Result<std::vector<Entry>> entries = splitList(list);
  if (!entries) return entries.error();
  MountTable next = *this;
  std::array<bool, 26> seen{};
  for (const Entry& e : *entries) {
    std::string_view name = e.name;
    if (name.size() == 2 && name[1] == ':') name.remove_suffix(1);
    const auto index = name.size() == 1 ? driveIndex(name[0]) : std::nullopt;
    if (!index) {
      return configError(e.name, "a drive is named by a letter from A to Z");
    }
    auto& once = seen[static_cast<std::size_t>(*index)];
    if (once) return configError(e.name, "the drive is mapped twice");
    once = true;
    if (e.host.empty()) return configError(e.name, "no host directory given");
    if (Status s = next.mapDrive(name[0], fs::path(e.host)); !s) return s;
  }
  *this = std::move(next);
  return {};
}

Status MountTable::addShares(std::string_view list) {
  Result<std::vector<Entry>> entries = splitList(list);
  if (!entries) return entries.error();
  MountTable next = *this;
  std::vector<std::string> seen;
  for (const Entry& e : *entries) {
    if (e.host.empty()) return configError(e.name, "no host directory given");
    if (Status s = next.mapShare(e.name, fs::path(e.host)); !s) return s;
    const Result<WinPath> p = WinPath::parse(e.name);  // valid: mapShare accepted it
    std::string key = shareKey(p->server(), p->share());
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      return configError(e.name, "the share is mapped twice");
    }
    seen.push_back(std::move(key));
  }
  *this = std::move(next);
  return {};
}

std::optional<fs::path> MountTable::driveRoot(char letter) const {
  const auto index = driveIndex(letter);
  if (!index || drives_[static_cast<std::size_t>(*index)].empty()) return std::nullopt;
  return drives_[static_cast<std::size_t>(*index)];
}

std::optional<fs::path> MountTable::shareRoot(std::string_view server,
                                              std::string_view share) const {
  const auto it = shares_.find(shareKey(server, share));
  if (it == shares_.end()) return std::nullopt;
  return it->second.root;
}

Result<fs::path> MountTable::hostRoot(const WinPath& path) const {
  if (path.kind() == WinPath::Kind::kUnc) {
    if (auto root = shareRoot(path.server(), path.share())) return *root;
    return Error{Error::Kind::kNotMapped, path.toString(),
                 "network share " + path.rootText() + " is not mapped to a host directory", 0};
  }
  if (auto root = driveRoot(path.drive())) return *root;
  return Error{Error::Kind::kNotMapped, path.toString(),
               std::string("drive ") + path.drive() + ": is not mapped to a host directory", 0};
}

std::optional<WinPath> MountTable::windowsPath(const fs::path& host) const {
  if (!host.is_absolute()) return std::nullopt;
  const fs::path h = normalRoot(host);
  std::optional<WinPath> best;
  std::vector<std::string> bestRest;
  std::size_t bestDepth = 0;
  auto consider = [&](const fs::path& root, WinPath winRoot) {
    const std::size_t d = depth(root);
    if (best && d <= bestDepth) return;  // earlier candidates win ties
    if (auto rest = below(root, h)) {
      best = std::move(winRoot);
      bestRest = std::move(*rest);
      bestDepth = d;
    }
  };
  for (std::size_t i = 0; i < drives_.size(); ++i) {
    if (!drives_[i].empty()) {
      consider(drives_[i], WinPath::driveRoot(static_cast<char>('A' + static_cast<int>(i))));
    }
  }
  for (const auto& [key, s] : shares_) consider(s.root, WinPath::shareRoot(s.server, s.share));
  if (!best) return std::nullopt;
  WinPath out = *best;
  for (std::string& c : bestRest) out = out.child(std::move(c));
  return out;
}

}  // namespace files
