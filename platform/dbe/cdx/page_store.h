// PageStore: the pages of one .cdx, read whole, cached, changed in memory and written back
// together, under the index lock.
//
// Scopes. Every access happens inside a read scope or a write scope (ReadScope / WriteScope).
// In shared mode the outermost scope takes the index lock, byte 0x7FFFFFFE of the .cdx (shared
// for a read scope, exclusive for a write scope, retried for IndexOptions::lockTimeout), and
// decides what of the cache may be kept: a write scope keeps nothing, a read scope what
// IndexOptions::sharedCache allows; in exclusive mode no lock is taken and the cache is kept.
// Read scopes nest; a write scope does not sit inside a read scope. A write scope inside a write
// scope (the changes of one IndexUpdate) is part of the outer one: its commit() only ends it,
// and the outer commit() writes everything. An inner scope that fails after changing pages
// spoils the outer one, whose commit() then drops every change and reports it.
//
// Changes. Inside a write scope pages are changed in the cache only (change, allocate,
// release). commit() then bumps the update counter (file header bytes 8-11, big-endian) and
// writes every changed page, contiguous pages with one write: first the pages that grow the
// file, then the others, the file header last, so that a full disk fails before any existing
// page is overwritten (the growth is then cut off again). Should a write of an existing page
// fail, the pages already written get their old bytes back (the store keeps a copy of each
// page it changes), so one failing write leaves the file as it was. Any failure inside the
// scope drops every change from the cache; nothing is written before commit.
//
// Free pages. The free list starts at file header bytes 4-7; the first four bytes of a free
// page point to the next (0 or 0xFFFFFFFF ends it); the rest of a free page is zero. allocate()
// takes the head of the list, or a new page at the end of the file.
//
// generation() changes whenever this store's pages may have changed: a commit, an abort, or a
// change by another station found when the lock was taken. Cursors use it to know that the
// leaf they copied is stale.
//
// Internal to the cdx layer. Thread safety: one thread at a time (like the File).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/index_options.h"
#include "dbe/io/file.h"

namespace dbe::cdx {

class PageStore {
 public:
  PageStore(std::unique_ptr<File> file, const IndexOptions& options);
  ~PageStore();
  PageStore(const PageStore&) = delete;
  PageStore& operator=(const PageStore&) = delete;

  const std::string& fileName() const { return file_->name(); }
  File& file() { return *file_; }
  const IndexOptions& options() const { return options_; }
  std::uint64_t generation() const { return generation_; }
  bool inWriteScope() const { return writing_; }
  // Inside a write scope that is itself inside another.
  bool inGroup() const { return !innerStarts_.empty(); }

  // With mayStayUnlocked, in shared mode with SharedCache::kWhileCounterUnchanged, a read whose
  // every page is in the cache takes no lock: it checks the file header unlocked and, while the
  // counter is unchanged, answers from pages read under an earlier lock (a consistent state;
  // a writer at work now has not finished). The first page it lacks takes the lock; should the
  // file have changed by then, that read fails and takeRestart() says to start over.
  [[nodiscard]] Status beginRead(bool mayStayUnlocked = false);
  void endRead();
  // Whether the last failure asked for the operation to be run again (and forgets it).
  bool takeRestart();
  [[nodiscard]] Status beginWrite();
  // Ends the write scope, writing every change. On failure the changes are lost (and none of
  // the file's existing pages is changed if the failure was the file's growth).
  [[nodiscard]] Status commit();
  // Ends the write scope, dropping every change.
  void abort();

  // The page at `offset` (a multiple of 512). kCorruption "page at 0x.. lies beyond the end of
  // the file" when the file is shorter. The pointer is valid until the scope ends.
  [[nodiscard]] Status read(std::uint32_t offset, const Page** out);
  // The page for changing. REQUIRES: a write scope, and the page read or allocated in it.
  Page* change(std::uint32_t offset);
  // A zeroed page for a new node: the head of the free list, else the end of the file.
  [[nodiscard]] Result<std::uint32_t> allocate();
  // Two consecutive zeroed pages at the end of the file, for a tag header.
  [[nodiscard]] Result<std::uint32_t> allocateHeader();
  // Puts a page on the free list.
  [[nodiscard]] Status release(std::uint32_t offset);

  // The update counter as the file header holds it now (REQUIRES a scope).
  [[nodiscard]] Result<std::uint32_t> updateCounter();

 private:
  struct CachedPage {
    Page page;
    bool dirty = false;
    bool onDisk = false;  // read from the file (not a new page at its end)
  };

  [[nodiscard]] Status lock(LockKind kind);
  void unlock();
  // Compares bytes 0-15 of the file header on disk with the cached copy (*same); on a
  // difference the cache restarts with the fresh header.
  [[nodiscard]] Status checkHeader(bool* same);
  [[nodiscard]] Status revalidateCache(bool forWrite);
  void clearCache();
  [[nodiscard]] Status lockForMiss();
  [[nodiscard]] Status knowEndOfFile();
  // Writes the cached pages at offsets[0, n), contiguous ones together; *attempted counts the
  // pages whose writes were started (all of them on success).
  [[nodiscard]] Status writeRuns(const std::uint32_t* offsets, std::size_t n,
                                 std::size_t* attempted);
  void rollBack(const std::uint32_t* offsets, std::size_t n);
  void dropEverything();

  std::unique_ptr<File> file_;
  IndexOptions options_;
  // The cache: a slot per page number of the file, valid while its stamp is the current one,
  // pointing into a pool of pages that is reused whenever the cache starts over.
  struct Slot {
    std::uint32_t stamp = 0;
    std::uint32_t index = 0;
  };
  CachedPage* cached(std::uint32_t offset);
  CachedPage& cache(std::uint32_t offset);  // the cached page, or a new one to fill
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<CachedPage>> pool_;
  std::size_t used_ = 0;
  std::uint32_t stamp_ = 1;
  std::vector<std::uint32_t> dirty_;  // changed in this write scope, in order of first change
  std::unordered_map<std::uint32_t, Page> before_;  // old bytes of the pages changed in a scope
  int readDepth_ = 0;
  bool writing_ = false;
  bool locked_ = false;
  bool unlockedRead_ = false;  // a read scope running on the cache without the lock
  bool restart_ = false;
  bool lastReadFetched_ = false;            // the last read scope had to read pages from the file
  std::uint64_t changes_ = 0;               // calls of change(), to tell whether pages changed
  std::vector<std::uint64_t> innerStarts_;  // changes_ when each inner write scope began
  Status poison_;                           // why the outer write scope must be dropped
  bool eofKnown_ = false;
  std::uint64_t eof_ = 0;         // where the next new page goes
  std::uint64_t eofAtStart_ = 0;  // the file's end when this write scope first grew it
  std::uint64_t generation_ = 0;
  std::chrono::steady_clock::time_point cacheSince_ = std::chrono::steady_clock::now();
};

class ReadScope {
 public:
  explicit ReadScope(PageStore& store, bool mayStayUnlocked = false)
      : store_(store), status_(store.beginRead(mayStayUnlocked)) {}
  ~ReadScope() {
    if (status_.isOk()) store_.endRead();
  }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;
  const Status& status() const { return status_; }

 private:
  PageStore& store_;
  Status status_;
};

// Aborts unless commit() was called.
class WriteScope {
 public:
  explicit WriteScope(PageStore& store) : store_(store), status_(store.beginWrite()) {}
  ~WriteScope() {
    if (status_.isOk() && !done_) store_.abort();
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
  const Status& status() const { return status_; }
  [[nodiscard]] Status commit() {
    done_ = true;
    return store_.commit();
  }

 private:
  PageStore& store_;
  Status status_;
  bool done_ = false;
};

}  // namespace dbe::cdx
