#include "name_resolver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <system_error>
#include <utility>

#include "win_path.h"

namespace files {

namespace {

namespace fs = std::filesystem;

// Listings of directories changed more recently than this are not kept (see the header).
constexpr std::chrono::seconds kSettleTime{2};

Error osFailure(Error::Kind kind, std::string message, int err) {
  return Error{kind, {}, std::move(message) + ": " + std::generic_category().message(err), err};
}

bool hasAsciiLetter(std::string_view s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

std::string joinNames(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::string s;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) s += (i + 1 == names.size()) ? " and " : ", ";
    s += names[i];
  }
  return s;
}

Error ambiguous(const std::vector<std::string>& names) {
  const std::string count = names.size() == 2 ? "two" : std::to_string(names.size());
  return Error{
      Error::Kind::kAmbiguous, {}, count + " files differ only by case: " + joinNames(names), 0};
}

bool existsExactly(const fs::path& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

}  // namespace

Result<NameResolver::Match> NameResolver::find(const fs::path& dir, std::string_view name) {
  const fs::path exact = dir / fs::path(name);
  struct stat st;
  if (::lstat(exact.c_str(), &st) == 0) return Match{true, std::string(name)};
  const int lookupError = errno;
  if (lookupError == ENOTDIR) {
    return Error{Error::Kind::kNotADirectory, {}, "not a directory", ENOTDIR};
  }
  if (lookupError != ENOENT) return osFailure(Error::Kind::kIOError, "cannot look up", lookupError);

  // Absent under this exact name. Is the directory itself there?
  struct stat ds;
  if (::stat(dir.c_str(), &ds) != 0) {
    const int err = errno;
    if (err == ENOENT) return Error{Error::Kind::kNotFound, {}, "directory not found", err};
    if (err == ENOTDIR) return Error{Error::Kind::kNotADirectory, {}, "not a directory", err};
    return osFailure(Error::Kind::kIOError, "cannot read directory", err);
  }
  if (!S_ISDIR(ds.st_mode)) return Error{Error::Kind::kNotADirectory, {}, "not a directory", 0};
  // A name without letters has no other spelling, so the listing could add nothing.
  if (!hasAsciiLetter(name)) return Match{};

  const Stamp stamp{static_cast<std::uint64_t>(ds.st_dev), static_cast<std::uint64_t>(ds.st_ino),
                    static_cast<std::int64_t>(ds.st_mtim.tv_sec),
                    static_cast<std::int64_t>(ds.st_mtim.tv_nsec)};
  const std::string folded = foldCase(name);
  // Two rounds at most: a kept listing that turns out stale is dropped and the directory is
  // read again, and a fresh listing is never dropped, so the second round is the last.
  for (bool mayUseKept = true;; mayUseKept = false) {
    Result<Got> got = listing(dir, stamp, mayUseKept);
    if (!got) return got.error();
    const auto it = got->listing->byFolded.find(folded);
    if (it == got->listing->byFolded.end()) return Match{};
    const std::vector<std::string>& names = it->second;

    const std::string* pick = nullptr;
    const auto same = std::find(names.begin(), names.end(), name);
    if (same != names.end()) {
      pick = &*same;  // listed under the exact name, which lstat just missed: a stale listing
    } else if (names.size() == 1) {
      pick = &names.front();
    } else {
      return ambiguous(names);
    }
    if (existsExactly(dir / *pick)) return Match{true, *pick};
    if (!got->wasKept) return Match{};  // removed between the listing and now
    forget(dir.native());
  }
}

Result<NameResolver::Got> NameResolver::listing(const fs::path& dir, const Stamp& stamp,
                                                bool mayUseKept) {
  const std::string& key = dir.native();
  if (mayUseKept) {
    std::lock_guard<std::mutex> lock(mu_);
    const auto it = kept_.find(key);
    if (it != kept_.end()) {
      if (it->second->stamp == stamp) return Got{it->second, true};
      kept_.erase(it);
      order_.remove(key);
    }
  }

  const auto readAt = std::chrono::system_clock::now();
  auto fresh = std::make_shared<Listing>();
  fresh->stamp = stamp;
  std::error_code ec;
  fs::directory_iterator entries(dir, ec);
  for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
    std::string n = entries->path().filename().string();
    fresh->byFolded[foldCase(n)].push_back(std::move(n));
  }
  if (ec) return osFailure(Error::Kind::kIOError, "cannot read directory", ec.value());

  // Keep the listing only when the directory was quiet before and during the read (see the
  // header for why a recent change forbids keeping it).
  const auto mtime = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(stamp.mtimeSec) + std::chrono::nanoseconds(stamp.mtimeNsec)));
  bool settled = mtime + kSettleTime <= readAt;
  if (settled) {
    struct stat after;
    settled = ::stat(dir.c_str(), &after) == 0 &&
              static_cast<std::int64_t>(after.st_mtim.tv_sec) == stamp.mtimeSec &&
              static_cast<std::int64_t>(after.st_mtim.tv_nsec) == stamp.mtimeNsec &&
              static_cast<std::uint64_t>(after.st_ino) == stamp.ino;
  }
  ListingRef l = std::move(fresh);
  if (settled) keep(key, l);
  return Got{std::move(l), false};
}

void NameResolver::keep(const std::string& key, ListingRef l) {
  std::lock_guard<std::mutex> lock(mu_);
  const auto [it, inserted] = kept_.insert_or_assign(key, std::move(l));
  (void)it;
  if (!inserted) order_.remove(key);
  order_.push_back(key);
  while (kept_.size() > kMaxListings) {
    kept_.erase(order_.front());
    order_.pop_front();
  }
}

void NameResolver::forget(const std::string& key) {
  std::lock_guard<std::mutex> lock(mu_);
  if (kept_.erase(key) > 0) order_.remove(key);
}

void NameResolver::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  kept_.clear();
  order_.clear();
}

std::size_t NameResolver::TEST_keptListings() const {
  std::lock_guard<std::mutex> lock(mu_);
  return kept_.size();
}

}  // namespace files
