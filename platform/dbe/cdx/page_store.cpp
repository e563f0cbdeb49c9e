#include "page_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace dbe::cdx {
namespace {

// An exclusive opener keeps at most this many pages (32 MiB); beyond it the cache starts over
// at the next operation.
constexpr std::size_t kMaxCachedPages = 65536;
// The largest offset a page may start at: pointers are 32 bits and 0xFFFFFFFF means none.
constexpr std::uint64_t kLastPageOffset = 0xFFFFFC00;

std::span<std::byte> bytesOf(Page& p) { return std::as_writable_bytes(std::span(p)); }

}  // namespace

PageStore::PageStore(std::unique_ptr<File> file, const IndexOptions& options)
    : file_(std::move(file)), options_(options) {}

PageStore::~PageStore() {
  if (locked_) unlock();
}

Status PageStore::lock(LockKind kind) {
  if (!options_.shared) return Status::ok();
  Status s = file_->lockRangeWait(kIndexLockOffset, 1, kind, options_.lockTimeout);
  if (s.code() == Status::Code::kBusy) {
    return Status::busy(fileName(), "the index is locked by another user (waited " +
                                        std::to_string(options_.lockTimeout.count()) + " ms)");
  }
  DBE_RETURN_IF_ERROR(s);
  locked_ = true;
  return Status::ok();
}

void PageStore::unlock() {
  if (!locked_) return;
  locked_ = false;
  // A failed unlock leaves nothing to repair here: the lock goes with the file description, and
  // the next operation on a broken descriptor reports the error itself.
  (void)file_->unlockRange(kIndexLockOffset, 1);
}

PageStore::CachedPage* PageStore::cached(std::uint32_t offset) {
  const std::size_t page = offset / kPageSize;
  if (page >= slots_.size() || slots_[page].stamp != stamp_) return nullptr;
  return pool_[slots_[page].index].get();
}

PageStore::CachedPage& PageStore::cache(std::uint32_t offset) {
  if (CachedPage* c = cached(offset)) return *c;
  const std::size_t page = offset / kPageSize;
  if (page >= slots_.size()) slots_.resize(std::max(page + 1, slots_.size() * 2));
  if (used_ == pool_.size()) pool_.push_back(std::make_unique<CachedPage>());
  CachedPage& c = *pool_[used_];
  c.dirty = false;
  c.onDisk = false;
  slots_[page] = {stamp_, static_cast<std::uint32_t>(used_++)};
  return c;
}

void PageStore::clearCache() {
  // Forgetting every page costs nothing: the slots of the old stamp no longer count, and the
  // pool's pages are reused.
  if (++stamp_ == 0) {
    std::fill(slots_.begin(), slots_.end(), Slot{});
    stamp_ = 1;
  }
  used_ = 0;
  dirty_.clear();
  cacheSince_ = std::chrono::steady_clock::now();
}

Status PageStore::checkHeader(bool* same) {
  // Another station's change always shows in bytes 0-15 of the file header (directory root,
  // free-list head, update counter), provided that station bumps the counter.
  *same = false;
  Page fresh;
  std::size_t got = 0;
  DBE_RETURN_IF_ERROR(file_->read(0, bytesOf(fresh), &got));
  if (got != kPageSize) {
    clearCache();
    return Status::ok();
  }
  const CachedPage* header = cached(0);
  *same = header != nullptr && std::memcmp(header->page.data(), fresh.data(), 16) == 0;
  if (!*same) {
    clearCache();
    ++generation_;
    CachedPage& h = cache(0);
    h.page = fresh;
    h.onDisk = true;
  }
  return Status::ok();
}

Status PageStore::revalidateCache(bool forWrite) {
  if (used_ > kMaxCachedPages) clearCache();
  if (!options_.shared) return Status::ok();
  if (std::chrono::steady_clock::now() - cacheSince_ > options_.cacheRefresh) clearCache();
  // A writer never trusts a page it did not read under its own lock: a station that changes
  // the file without bumping the counter must not make us write from stale pages.
  if (forWrite || options_.sharedCache == SharedCache::kPerLock) {
    clearCache();
    return Status::ok();
  }
  bool same = false;
  return checkHeader(&same);
}

Status PageStore::beginRead(bool mayStayUnlocked) {
  if (writing_ || readDepth_ > 0) {
    ++readDepth_;
    return Status::ok();
  }
  // After a read that had to fetch pages the next one probably will too: it starts under the
  // lock rather than check the header once unlocked and once more when it needs the lock.
  const bool expectMisses = lastReadFetched_;
  lastReadFetched_ = false;
  if (mayStayUnlocked && !expectMisses && options_.shared &&
      options_.sharedCache == SharedCache::kWhileCounterUnchanged && cached(0) != nullptr &&
      std::chrono::steady_clock::now() - cacheSince_ <= options_.cacheRefresh) {
    bool same = false;
    // A failed read here is not reported: the locked path reads the header again.
    if (checkHeader(&same).isOk() && same) {
      unlockedRead_ = true;
      readDepth_ = 1;
      return Status::ok();
    }
  }
  DBE_RETURN_IF_ERROR(lock(LockKind::kShared));
  if (Status s = revalidateCache(/*forWrite=*/false); !s.isOk()) {
    unlock();
    return s;
  }
  readDepth_ = 1;
  return Status::ok();
}

Status PageStore::lockForMiss() {
  // A page is needed that the cache lacks: from here on the read runs under the lock. If the
  // file changed since the header was checked, what was read from the cache may be stale.
  unlockedRead_ = false;
  DBE_RETURN_IF_ERROR(lock(LockKind::kShared));
  bool same = false;
  DBE_RETURN_IF_ERROR(checkHeader(&same));
  if (!same) {
    clearCache();
    restart_ = true;
    return Status::busy(fileName(), "the index changed while it was being read");
  }
  return Status::ok();
}

void PageStore::endRead() {
  if (readDepth_ > 0 && --readDepth_ == 0 && !writing_) {
    unlockedRead_ = false;
    unlock();
  }
}

bool PageStore::takeRestart() {
  const bool r = restart_;
  restart_ = false;
  return r;
}

Status PageStore::beginWrite() {
  if (options_.readOnly) return Status::readOnly(fileName(), "the index is open read-only");
  if (writing_ && readDepth_ == 0) {
    // A change inside a group of changes (IndexUpdate): it commits with the group.
    if (!poison_.isOk()) return poison_;
    innerStarts_.push_back(changes_);
    return Status::ok();
  }
  if (writing_ || readDepth_ > 0) {
    return Status::invalidArgument("an index change was started inside another index operation",
                                   fileName());
  }
  DBE_RETURN_IF_ERROR(lock(LockKind::kExclusive));
  if (Status s = revalidateCache(/*forWrite=*/true); !s.isOk()) {
    unlock();
    return s;
  }
  writing_ = true;
  // Another station may have grown the file since; an exclusive opener knows its own end.
  if (options_.shared) eofKnown_ = false;
  eofAtStart_ = eof_;
  return Status::ok();
}

void PageStore::dropEverything() {
  clearCache();
  eofKnown_ = false;
  ++generation_;
}

void PageStore::abort() {
  if (!innerStarts_.empty()) {
    // An inner change that failed before touching a page leaves the group intact; one that
    // failed half-way spoils it, and the group's commit drops everything.
    if (changes_ != innerStarts_.back() && poison_.isOk()) {
      poison_ = Status::invalidArgument(
          "an earlier change of this group failed half-way; the group was dropped", fileName());
    }
    innerStarts_.pop_back();
    return;
  }
  poison_ = Status::ok();
  writing_ = false;
  before_.clear();
  readDepth_ = 0;
  unlockedRead_ = false;
  dropEverything();
  unlock();
}

Status PageStore::writeRuns(const std::uint32_t* offsets, std::size_t n, std::size_t* attempted) {
  *attempted = 0;
  std::vector<std::uint8_t> buf;
  std::size_t i = 0;
  while (i < n) {
    std::size_t j = i + 1;
    while (j < n && offsets[j] == offsets[j - 1] + kPageSize) ++j;
    buf.resize((j - i) * kPageSize);
    for (std::size_t k = i; k < j; ++k) {
      std::memcpy(buf.data() + (k - i) * kPageSize, cached(offsets[k])->page.data(), kPageSize);
    }
    *attempted = j;
    DBE_RETURN_IF_ERROR(file_->write(offsets[i], std::as_bytes(std::span(buf))));
    i = j;
  }
  return Status::ok();
}

void PageStore::rollBack(const std::uint32_t* offsets, std::size_t n) {
  // Best effort: a disk that refuses these writes too leaves damage the verifier will name.
  for (std::size_t i = 0; i < n; ++i) {
    auto it = before_.find(offsets[i]);
    if (it == before_.end()) continue;
    (void)file_->write(offsets[i], std::as_bytes(std::span(it->second)));
  }
}

Status PageStore::commit() {
  if (!innerStarts_.empty()) {
    innerStarts_.pop_back();
    return Status::ok();
  }
  if (!poison_.isOk()) {
    const Status s = poison_;
    abort();
    return s;
  }
  std::vector<std::uint32_t> dirty = dirty_;
  if (dirty.empty()) {
    writing_ = false;
    before_.clear();
    unlock();
    return Status::ok();
  }

  Status s = [&]() -> Status {
    const Page* header = nullptr;
    DBE_RETURN_IF_ERROR(read(0, &header));
    Page* h = change(0);
    storeBe32(&(*h)[8], loadBe32(&(*h)[8]) + 1);
    if (std::find(dirty.begin(), dirty.end(), 0u) == dirty.end()) dirty.push_back(0);
    std::sort(dirty.begin(), dirty.end());

    // dirty = [0 (the file header), existing pages..., pages past the old end of the file...]
    const auto firstNew =
        std::lower_bound(dirty.begin(), dirty.end(), eofKnown_ ? eofAtStart_ : ~std::uint64_t{0});
    const auto newAt = static_cast<std::size_t>(firstNew - dirty.begin());
    const bool grew = newAt < dirty.size();
    const std::uint32_t* nodes = dirty.data() + 1;
    const std::size_t nodeCount = newAt - 1;
    std::size_t attempted = 0;
    const auto undo = [&](std::size_t nodesWritten, bool headerWritten) {
      // Pages written so far get their old bytes back; the appended pages go again.
      rollBack(nodes, nodesWritten);
      if (headerWritten) rollBack(dirty.data(), 1);
      if (grew) (void)file_->truncate(eofAtStart_);
    };
    if (Status w = writeRuns(dirty.data() + newAt, dirty.size() - newAt, &attempted); !w.isOk()) {
      undo(0, false);
      return w;
    }
    if (Status w = writeRuns(nodes, nodeCount, &attempted); !w.isOk()) {
      undo(attempted, false);
      return w;
    }
    Status w = writeRuns(dirty.data(), 1, &attempted);
    if (w.isOk() && options_.syncBeforeUnlock) w = file_->sync();
    if (!w.isOk()) {
      undo(nodeCount, true);
      return w;
    }
    return Status::ok();
  }();

  writing_ = false;
  before_.clear();
  if (!s.isOk()) {
    dropEverything();
    unlock();
    return s;
  }
  for (std::uint32_t offset : dirty) cached(offset)->dirty = false;
  dirty_.clear();
  ++generation_;
  unlock();
  return Status::ok();
}

Status PageStore::read(std::uint32_t offset, const Page** out) {
  if (!writing_ && readDepth_ == 0) {
    return Status::invalidArgument("an index page was read outside an index operation", fileName());
  }
  if (const CachedPage* c = cached(offset)) {
    *out = &c->page;
    return Status::ok();
  }
  if (unlockedRead_) DBE_RETURN_IF_ERROR(lockForMiss());
  lastReadFetched_ = true;
  Page fresh;
  std::size_t got = 0;
  DBE_RETURN_IF_ERROR(file_->read(offset, bytesOf(fresh), &got));
  if (got < kPageSize) {
    return Status::corruption(fileName(),
                              "page at " + hexOffset(offset) + " lies beyond the end of the file");
  }
  CachedPage& c = cache(offset);
  c.page = fresh;
  c.onDisk = true;
  *out = &c.page;
  return Status::ok();
}

Page* PageStore::change(std::uint32_t offset) {
  ++changes_;
  ++generation_;
  CachedPage& p = cache(offset);
  if (!p.dirty) {
    if (p.onDisk) before_.try_emplace(offset, p.page);
    p.dirty = true;
    dirty_.push_back(offset);
  }
  return &p.page;
}

Status PageStore::knowEndOfFile() {
  if (eofKnown_) return Status::ok();
  Result<std::uint64_t> size = file_->size();
  if (!size.isOk()) return size.status();
  eof_ = (*size + kPageSize - 1) / kPageSize * kPageSize;
  eofAtStart_ = eof_;
  eofKnown_ = true;
  return Status::ok();
}

Result<std::uint32_t> PageStore::allocate() {
  const Page* header = nullptr;
  DBE_RETURN_IF_ERROR(read(0, &header));
  const std::uint32_t head = loadLe32(&(*header)[4]);
  if (head != 0 && head != kNoPage) {
    if (!isNodeOffset(head)) {
      return Status::corruption(fileName(),
                                "free list: head " + hexOffset(head) + " is not a page offset");
    }
    const Page* freePage = nullptr;
    if (Status s = read(head, &freePage); !s.isOk()) {
      if (s.code() != Status::Code::kCorruption) return s;
      return Status::corruption(
          fileName(), "free list: head " + hexOffset(head) + " lies beyond the end of the file");
    }
    const std::uint32_t next = loadLe32(&(*freePage)[0]);
    if (next == head || (next != 0 && next != kNoPage && !isNodeOffset(next))) {
      return Status::corruption(
          fileName(), "free list: page at " + hexOffset(head) + " points to " + hexOffset(next));
    }
    storeLe32(&(*change(0))[4], next);
    change(head)->fill(0);
    return head;
  }
  DBE_RETURN_IF_ERROR(knowEndOfFile());
  if (eof_ > kLastPageOffset) {
    return Status::full(fileName(), "the index file has reached its 4 GiB limit");
  }
  const auto offset = static_cast<std::uint32_t>(eof_);
  eof_ += kPageSize;
  change(offset)->fill(0);
  return offset;
}

Result<std::uint32_t> PageStore::allocateHeader() {
  DBE_RETURN_IF_ERROR(knowEndOfFile());
  if (eof_ + kPageSize > kLastPageOffset) {
    return Status::full(fileName(), "the index file has reached its 4 GiB limit");
  }
  const auto offset = static_cast<std::uint32_t>(eof_);
  eof_ += 2 * kPageSize;
  change(offset)->fill(0);
  change(offset + kPageSize)->fill(0);
  return offset;
}

Status PageStore::release(std::uint32_t offset) {
  const Page* header = nullptr;
  DBE_RETURN_IF_ERROR(read(0, &header));
  const std::uint32_t head = loadLe32(&(*header)[4]);
  const Page* p = nullptr;
  DBE_RETURN_IF_ERROR(read(offset, &p));
  Page* freed = change(offset);
  freed->fill(0);
  storeLe32(&(*freed)[0], head);
  storeLe32(&(*change(0))[4], offset);
  return Status::ok();
}

Result<std::uint32_t> PageStore::updateCounter() {
  const Page* header = nullptr;
  DBE_RETURN_IF_ERROR(read(0, &header));
  return loadBe32(&(*header)[8]);
}

}  // namespace dbe::cdx
