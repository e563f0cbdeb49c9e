// IndexOptions: how a .cdx is opened: shared with other programs or exclusive, read-only, how
// long to wait for the index lock, and what may stay cached between operations.
//
// Thread safety: a plain value.
#pragma once

#include <chrono>

namespace dbe::cdx {

// What a shared opener keeps between two read operations. Writes never trust a page they did
// not read under their own write lock, whatever is chosen here, so the choice can only make
// reads late, never damage the file.
enum class SharedCache {
  // Nothing: every read takes the lock and reads the tag header and each node it visits
  // afresh. Sees every other program's change at once, whether or not it bumps the update
  // counter. Costs the lock and one read per tree level on every seek.
  kPerLock,
  // Pages read under an earlier lock, as long as the file header's first 16 bytes (directory
  // root, free-list head, update counter) are unchanged and the pages are younger than
  // cacheRefresh. A read served wholly from such pages needs one read of the header and no lock.
  // Sees at once the changes of every program that bumps the counter (this engine does, and so
  // do other FoxPro-compatible ones), those of a program that does not within cacheRefresh.
  // Whether the legacy programs bump it is still to be observed; kPerLock does not depend on it.
  kWhileCounterUnchanged,
};

struct IndexOptions {
  // Other programs or work areas may have the file open: take the index lock (byte 0x7FFFFFFE
  // of the .cdx, shared for reads, exclusive for writes) around every change and every read
  // not answered from the cache as sharedCache allows, and bump the update counter on every
  // change. When false the caller holds the file exclusively, no lock is taken and pages stay
  // cached.
  bool shared = true;
  // Changes fail with kReadOnly.
  bool readOnly = false;
  // How long to retry the index lock before kBusy. Other stations hold it for one index update.
  std::chrono::milliseconds lockTimeout{5000};
  SharedCache sharedCache = SharedCache::kWhileCounterUnchanged;
  // The longest a cached page is used without being read again (kWhileCounterUnchanged), like
  // the refresh interval of other stations' index caches.
  std::chrono::milliseconds cacheRefresh{1000};
  // Make every change durable (fdatasync) before the lock is released. Not needed for other
  // stations to see it on a local disk or an SMB mount with cache=none.
  bool syncBeforeUnlock = false;
};

}  // namespace dbe::cdx
