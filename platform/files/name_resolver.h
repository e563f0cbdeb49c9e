// NameResolver: finds the host entry that a Windows name stands for, without regard to case.
//
// Tables copied from Windows carry names in any case ("MSTRCTRL.DBF", "apmstrfl.CDX") while the
// system asks for them in another ("mstrctrl.dbf"). Windows treats such names as one; a host
// file system usually does not. find() settles one component: the entry whose name is exactly
// the one asked for wins; otherwise the single entry whose name equals it without regard to
// ASCII case; two or more such entries with no exact one are an error, because either choice
// could be the wrong file ("two files differ only by case: VENDOR.DBF and Vendor.dbf").
//
// Speed and staleness: an exact name costs one lstat() and no listing. Otherwise the directory
// is listed, and the listing is kept for the next lookup in that directory only while the
// directory's device, inode and modification time stay as they were; every use of a kept
// listing first compares them with a fresh stat(). A listing is not kept at all while the
// directory's modification time is within the last two seconds, because two changes within
// one tick of a coarse file-system clock leave the same time behind (the second would go
// unseen). A name found through a kept listing is confirmed with lstat() before it is returned.
// At most kMaxListings directories are kept; beyond that the oldest kept listing is dropped.
//
// Thread safety: all members may be called from any thread at once; the kept listings are
// guarded by an internal mutex, which is never held during file-system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "status.h"

namespace files {

class NameResolver {
 public:
  static constexpr std::size_t kMaxListings = 128;

  struct Match {
    bool found = false;
    std::string name;  // the host entry's own name when found
  };

  // Looks `name` up in host directory `dir`. Returns found=false when no entry matches. Fails
  // with kAmbiguous (the message names the entries), kNotFound or kNotADirectory when `dir`
  // itself is missing or not a directory, kIOError when the directory cannot be read. The
  // error's path is left empty: the caller knows the Windows path and fills it in.
  // REQUIRES: name is a single component, neither "." nor "..".
  Result<Match> find(const std::filesystem::path& dir, std::string_view name);

  // Forgets every kept listing.
  void clear();

  // Number of listings kept now (for tests of the cache's bounds and its staleness rules).
  std::size_t TEST_keptListings() const;

 private:
  struct Stamp {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Listing {
    Stamp stamp;
    // folded name -> the entries' own names (several when they differ only by case)
    std::unordered_map<std::string, std::vector<std::string>> byFolded;
  };
  using ListingRef = std::shared_ptr<const Listing>;

  struct Got {
    ListingRef listing;
    bool wasKept = false;  // true: from an earlier lookup; false: read just now
  };

  // A listing of `dir` whose stamp is `stamp`: a kept one when mayUseKept and its stamp is
  // the same, else one read now (and kept when the staleness rules above allow it).
  Result<Got> listing(const std::filesystem::path& dir, const Stamp& stamp, bool mayUseKept);
  void keep(const std::string& key, ListingRef l);
  void forget(const std::string& key);

  mutable std::mutex mu_;  // guards kept_ and order_
  std::unordered_map<std::string, ListingRef> kept_;
  std::list<std::string> order_;  // keys of kept_, oldest first
};

}  // namespace files
