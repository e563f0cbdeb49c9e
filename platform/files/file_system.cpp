#include "file_system.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace files {

namespace {

namespace fs = std::filesystem;

using ReadLock = std::shared_lock<std::shared_mutex>;
using WriteLock = std::unique_lock<std::shared_mutex>;

std::string osText(int err) { return std::generic_category().message(err); }

Error make(Error::Kind kind, std::string path, std::string message, int osError = 0) {
  return Error{kind, std::move(path), std::move(message), osError};
}

// "drive C:" or "network share \\server\share", for messages about a root.
std::string rootLabel(const WinPath& full) {
  if (full.kind() == WinPath::Kind::kUnc) return "network share " + full.rootText();
  return std::string("drive ") + full.drive() + ":";
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::size_t driveSlot(char upperLetter) { return static_cast<std::size_t>(upperLetter - 'A'); }

// A failed Error from a missing place counts as "not here" for the search along the path.
bool isAbsence(const Error& e) {
  return e.kind == Error::Kind::kNotFound || e.kind == Error::Kind::kNotADirectory;
}

}  // namespace

FileSystem::FileSystem() {
  for (std::size_t i = 0; i < currentDirs_.size(); ++i) {
    currentDirs_[i] = WinPath::driveRoot(static_cast<char>('A' + static_cast<int>(i)));
  }
}

FileSystem& FileSystem::process() {
  // Made on first use (thread-safe initialisation of a local static), so that the environment
  // is read once main() runs, and never destroyed (see the header).
  static FileSystem* const instance = [] {
    auto* made = new FileSystem();
    made->envStatus_ = made->loadEnvironment();
    return made;
  }();
  return *instance;
}

// ---- drives and shares ----

Status FileSystem::mapDrive(char letter, const fs::path& hostRoot) {
  WriteLock lock(mu_);
  return mounts_.mapDrive(letter, hostRoot);
}

void FileSystem::unmapDrive(char letter) {
  WriteLock lock(mu_);
  mounts_.unmapDrive(letter);
}

Status FileSystem::mapShare(std::string_view unc, const fs::path& hostRoot) {
  WriteLock lock(mu_);
  return mounts_.mapShare(unc, hostRoot);
}

void FileSystem::unmapShare(std::string_view unc) {
  WriteLock lock(mu_);
  mounts_.unmapShare(unc);
}

void FileSystem::setMounts(MountTable mounts) {
  WriteLock lock(mu_);
  mounts_ = std::move(mounts);
}

MountTable FileSystem::mounts() const {
  ReadLock lock(mu_);
  return mounts_;
}

Status FileSystem::loadEnvironment() {
  // getenv is read before the lock is taken; nothing in this program sets variables later.
  const char* drives = std::getenv(kDrivesVariable);
  const char* shares = std::getenv(kSharesVariable);
  WriteLock lock(mu_);
  Status first;
  auto add = [&](const char* name, const char* value, bool isDrives) {
    if (value == nullptr) return;
    Status s = isDrives ? mounts_.addDrives(value) : mounts_.addShares(value);
    if (!s && first) {
      first = make(Error::Kind::kConfig, name,
                   "entry \"" + s.error().path + "\": " + s.error().message);
    }
  };
  add(kDrivesVariable, drives, true);
  add(kSharesVariable, shares, false);
  return first;
}

Status FileSystem::environmentStatus() const {
  ReadLock lock(mu_);
  return envStatus_;
}

// ---- current drive and directories ----

char FileSystem::currentDrive() const {
  ReadLock lock(mu_);
  return drive_;
}

std::string FileSystem::currentDriveText() const { return std::string{currentDrive(), ':'}; }

Status FileSystem::setCurrentDrive(char letter) {
  if (!isLetter(letter)) {
    return make(Error::Kind::kInvalidPath, std::string(1, letter),
                "a drive is named by a letter from A to Z");
  }
  const char up = foldChar(letter);
  WriteLock lock(mu_);
  if (!mounts_.driveRoot(up)) {
    return make(Error::Kind::kNotMapped, std::string{up, ':'},
                std::string("drive ") + up + ": is not mapped to a host directory");
  }
  drive_ = up;
  return {};
}

std::string FileSystem::currentDirectory() const {
  ReadLock lock(mu_);
  return currentDirs_[driveSlot(drive_)].toString();
}

std::string FileSystem::currentDirectory(char letter) const {
  if (!isLetter(letter)) return {};
  ReadLock lock(mu_);
  return currentDirs_[driveSlot(foldChar(letter))].toString();
}

Status FileSystem::changeDirectory(std::string_view path) {
  Result<WinPath> p = WinPath::parse(path);
  if (!p) return p.error();
  if (p->kind() == WinPath::Kind::kUnc) {
    return make(Error::Kind::kInvalidPath, std::string(path),
                "a network path cannot be the current directory");
  }
  Target t = [&] {
    ReadLock lock(mu_);
    return targetLocked(*p, RelativeTo::kCurrentDirectory);
  }();
  Result<Resolved> r = resolveTarget(t, Need::kExisting);
  if (!r) return r.error();
  if (!r->isDirectory) return make(Error::Kind::kNotADirectory, r->windows, "not a directory");
  // The resolved spelling is the host's, and a valid path: it was parsed before.
  Result<WinPath> shown = WinPath::parse(r->windows);
  if (!shown) return shown.error();
  WriteLock lock(mu_);
  currentDirs_[driveSlot(t.full.drive())] = std::move(*shown);
  drive_ = t.full.drive();
  return {};
}

// ---- default directory and search path ----

Status FileSystem::setDefaultDirectory(std::string_view path) {
  std::optional<WinPath> parsed;
  if (!trimBlanks(path).empty()) {
    Result<WinPath> p = WinPath::parse(path);
    if (!p) return p.error();
    parsed = std::move(*p);
  }
  WriteLock lock(mu_);
  defaultText_ = std::string(path);
  default_ = std::move(parsed);
  return {};
}

std::string FileSystem::defaultDirectory() const {
  ReadLock lock(mu_);
  return defaultText_;
}

Status FileSystem::setSearchPath(std::string_view list) {
  std::vector<WinPath> entries;
  std::size_t i = 0;
  while (i <= list.size()) {
    std::size_t j = list.find_first_of(";,", i);
    if (j == std::string_view::npos) j = list.size();
    const std::string_view entry = trimBlanks(list.substr(i, j - i));
    i = j + 1;
    if (entry.empty()) continue;
    Result<WinPath> p = WinPath::parse(entry);
    if (!p) {
      return make(Error::Kind::kInvalidPath, std::string(list),
                  "search path entry \"" + std::string(entry) + "\": " + p.error().message);
    }
    entries.push_back(std::move(*p));
  }
  WriteLock lock(mu_);
  searchText_ = std::string(list);
  search_ = std::move(entries);
  return {};
}

std::string FileSystem::searchPath() const {
  ReadLock lock(mu_);
  return searchText_;
}

// ---- resolution ----

WinPath FileSystem::absoluteLocked(const WinPath& p, RelativeTo base) const {
  switch (p.kind()) {
    case WinPath::Kind::kDriveAbsolute:
    case WinPath::Kind::kUnc:
      return p;
    case WinPath::Kind::kRooted:
      return p.appliedTo(WinPath::driveRoot(drive_));
    case WinPath::Kind::kDriveRelative:
      return p.appliedTo(currentDirs_[driveSlot(p.drive())]);
    case WinPath::Kind::kRelative:
      break;
  }
  if (base == RelativeTo::kDefaultDirectory && default_) {
    // The default directory is itself taken from the current drive and directory; it cannot
    // be kRelative-on-default, so this recursion ends after one step.
    return p.appliedTo(absoluteLocked(*default_, RelativeTo::kCurrentDirectory));
  }
  return p.appliedTo(currentDirs_[driveSlot(drive_)]);
}

FileSystem::Target FileSystem::targetLocked(const WinPath& p, RelativeTo base) const {
  WinPath full = absoluteLocked(p, base);
  Result<fs::path> root = mounts_.hostRoot(full);
  return Target{std::move(full), std::move(root)};
}

Result<WinPath> FileSystem::fullPath(std::string_view path, RelativeTo base) const {
  Result<WinPath> p = WinPath::parse(path);
  if (!p) return p.error();
  ReadLock lock(mu_);
  return absoluteLocked(*p, base);
}

Result<Resolved> FileSystem::resolveTarget(const Target& t, Need need) const {
  if (!t.root) return t.root.error();
  const WinPath& full = t.full;
  const std::vector<std::string>& comps = full.components();
  fs::path host = *t.root;
  WinPath shown = full.prefix(0);

  auto rootFailure = [&](const Error& e) {
    const std::string what = e.kind == Error::Kind::kNotADirectory ? "which is not a directory"
                             : e.kind == Error::Kind::kNotFound    ? "which does not exist"
                                                                   : "which cannot be read";
    std::string message =
        rootLabel(full) + " is mapped to host directory " + host.string() + ", " + what;
    if (e.osError != 0 && e.kind == Error::Kind::kIOError) message += ": " + osText(e.osError);
    return make(e.kind, full.toString(), std::move(message), e.osError);
  };

  if (comps.empty()) {
    struct stat st;
    if (::stat(host.c_str(), &st) != 0) {
      const int err = errno;
      const Error::Kind kind = err == ENOENT    ? Error::Kind::kNotFound
                               : err == ENOTDIR ? Error::Kind::kNotADirectory
                                                : Error::Kind::kIOError;
      return rootFailure(make(kind, {}, {}, err));
    }
    if (!S_ISDIR(st.st_mode)) return rootFailure(make(Error::Kind::kNotADirectory, {}, {}));
    return Resolved{host, shown.toString(), true, true};
  }

  for (std::size_t i = 0; i < comps.size(); ++i) {
    const bool last = i + 1 == comps.size();
    Result<NameResolver::Match> m = resolver_.find(host, comps[i]);
    if (!m) {
      Error e = m.error();
      if (i == 0 && e.kind != Error::Kind::kAmbiguous) return rootFailure(e);
      // An ambiguity belongs to the name asked for; a missing or unreadable directory, or a
      // file used as a directory, to the directory that was searched.
      e.path = e.kind == Error::Kind::kAmbiguous ? full.prefix(i + 1).toString()
                                                 : full.prefix(i).toString();
      return e;
    }
    if (!m->found) {
      if (!last) {
        return make(Error::Kind::kNotFound, full.prefix(i + 1).toString(), "directory not found");
      }
      if (need == Need::kExisting) {
        return make(Error::Kind::kNotFound, full.toString(), "file not found");
      }
      host /= comps[i];
      shown = shown.child(comps[i]);
      return Resolved{std::move(host), shown.toString(), false, false};
    }
    host /= m->name;
    shown = shown.child(m->name);
  }
  struct stat st;
  // A dangling symbolic link exists as an entry; it is reported as an existing non-directory,
  // and opening it gives the host's own error.
  const bool isDir = ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return Resolved{std::move(host), shown.toString(), true, isDir};
}

Result<Resolved> FileSystem::resolve(std::string_view path, Need need, RelativeTo base) const {
  Result<WinPath> p = WinPath::parse(path);
  if (!p) return p.error();
  Target t = [&] {
    ReadLock lock(mu_);
    return targetLocked(*p, base);
  }();
  return resolveTarget(t, need);
}

Result<Resolved> FileSystem::locate(std::string_view path, RelativeTo base) const {
  Result<WinPath> p = WinPath::parse(path);
  if (!p) return p.error();
  std::vector<Target> targets;
  {
    ReadLock lock(mu_);
    targets.push_back(targetLocked(*p, base));
    if (p->kind() == WinPath::Kind::kRelative) {
      for (const WinPath& dir : search_) {
        const WinPath full = p->appliedTo(absoluteLocked(dir, RelativeTo::kCurrentDirectory));
        targets.push_back(Target{full, mounts_.hostRoot(full)});
      }
    }
  }

  std::optional<Error> firstAbsence;
  std::vector<std::string> looked;  // folded full paths already tried
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const Target& t = targets[i];
    std::string key = foldCase(t.full.toString());
    bool seen = false;
    for (const std::string& k : looked) seen = seen || k == key;
    if (seen) continue;
    looked.push_back(std::move(key));

    if (i > 0 && !t.root) continue;  // a search-path directory on an unmapped drive or share
    Result<Resolved> r = resolveTarget(t, Need::kExisting);
    if (r) return r;
    if (!isAbsence(r.error())) return r.error();
    if (!firstAbsence) firstAbsence = r.error();
  }
  Error e = *firstAbsence;  // the first target was always looked at, so this is set
  if (targets.size() > 1 && e.kind == Error::Kind::kNotFound) {
    e.message += " (nor along the search path)";
  }
  return e;
}

// ---- file helpers ----

Result<bool> FileSystem::exists(std::string_view path, RelativeTo base) const {
  Result<Resolved> r = locate(path, base);
  if (r) return true;
  if (isAbsence(r.error())) return false;
  return r.error();
}

Status FileSystem::remove(std::string_view path, RelativeTo base) const {
  Result<Resolved> r = resolve(path, Need::kExisting, base);
  if (!r) return r.error();
  if (r->isDirectory)
    return make(Error::Kind::kIsADirectory, r->windows, "is a directory, not a file");
  if (::unlink(r->host.c_str()) != 0) {
    const int err = errno;
    if (err == ENOENT) return make(Error::Kind::kNotFound, r->windows, "file not found", err);
    return make(Error::Kind::kIOError, r->windows, "cannot delete: " + osText(err), err);
  }
  return {};
}

Result<std::string> FileSystem::readText(std::string_view path, RelativeTo base) const {
  Result<Resolved> r = resolve(path, Need::kExisting, base);
  if (!r) return r.error();
  if (r->isDirectory)
    return make(Error::Kind::kIsADirectory, r->windows, "is a directory, not a file");

  const int fd = ::open(r->host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    return make(Error::Kind::kIOError, r->windows, "cannot open: " + osText(err), err);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  std::string out;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) {
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxTextBytes) {
      return make(Error::Kind::kTooLarge, r->windows,
                  "file of " + std::to_string(st.st_size) + " bytes is too large to read whole");
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
  }
  // Read to the end rather than to the size seen by fstat: another workstation may be
  // writing the file, and a size of 0 is what some file systems report for special files.
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      const int err = errno;
      if (err == EINTR) continue;
      return make(Error::Kind::kIOError, r->windows, "cannot read: " + osText(err), err);
    }
    if (n == 0) break;
    if (out.size() + static_cast<std::size_t>(n) > kMaxTextBytes) {
      return make(Error::Kind::kTooLarge, r->windows, "file is too large to read whole");
    }
    out.append(buf, static_cast<std::size_t>(n));
  }
  return out;
}

Result<fs::path> FileSystem::hostPath(std::string_view path, Need need, RelativeTo base) const {
  Result<Resolved> r = resolve(path, need, base);
  if (!r) return r.error();
  return std::move(r->host);
}

std::optional<std::string> FileSystem::windowsPath(const fs::path& host) const {
  std::optional<WinPath> w;
  {
    ReadLock lock(mu_);
    w = mounts_.windowsPath(host);
  }
  if (!w) return std::nullopt;
  return w->toString();
}

std::string FileSystem::displayPath(const fs::path& host) const {
  if (auto w = windowsPath(host)) return *w;
  return host.string();
}

}  // namespace files
