#include "held_locks.h"

namespace dbe::dbf {

namespace {

Status withRecord(Status s, std::uint32_t r) {
  if (s.code() != Status::Code::kBusy) return s;
  return Status::busy(s.file(), "record " + std::to_string(r) + " is locked by another user");
}

}  // namespace

bool HeldLocks::holdsRecord(std::uint32_t r) const {
  return exclusiveOpen_ || file_lock_ || records_.count(r) != 0;
}

Status HeldLocks::lockRecord(std::uint32_t r) {
  if (r == 0) return Status::invalidArgument("record 0 cannot be locked", file_->name());
  if (holdsRecord(r)) return Status::ok();
  const LockRange range = layout_.record(r);
  DBE_RETURN_IF_ERROR(withRecord(file_->lockRange(range.offset, range.length,
                                                  LockKind::kExclusive), r));
  records_.insert(r);
  return Status::ok();
}

Status HeldLocks::unlockRecord(std::uint32_t r) {
  if (exclusiveOpen_ || records_.count(r) == 0) return Status::ok();
  const LockRange range = layout_.record(r);
  DBE_RETURN_IF_ERROR(file_->unlockRange(range.offset, range.length));
  records_.erase(r);
  return Status::ok();
}

Status HeldLocks::lockFile() {
  if (holdsFile()) return Status::ok();
  const LockRange range = layout_.file();
  Status s = file_->lockRange(range.offset, range.length, LockKind::kExclusive);
  if (s.code() == Status::Code::kBusy) {
    return Status::busy(s.file(), "the table is locked by another user");
  }
  DBE_RETURN_IF_ERROR(s);
  file_lock_ = true;
  for (auto it = records_.begin(); it != records_.end();) {
    it = range.contains(layout_.record(*it)) ? records_.erase(it) : std::next(it);
  }
  return Status::ok();
}

Status HeldLocks::unlockFile() {
  if (exclusiveOpen_ || !file_lock_) return Status::ok();
  const LockRange range = layout_.file();
  DBE_RETURN_IF_ERROR(file_->unlockRange(range.offset, range.length));
  file_lock_ = false;
  return Status::ok();
}

Status HeldLocks::unlockAll() {
  Status first;
  while (!records_.empty()) {
    const std::uint32_t r = *records_.begin();
    Status s = unlockRecord(r);
    if (!s.isOk()) {
      records_.erase(r);  // forget it: retrying the same failing unlock forever helps nobody
      if (first.isOk()) first = s;
    }
  }
  Status s = unlockFile();
  if (!s.isOk()) {
    file_lock_ = false;
    if (first.isOk()) first = s;
  }
  return first;
}

Status HeldLocks::lockHeader(std::chrono::milliseconds timeout) {
  if (holdsHeader()) return Status::ok();
  const LockRange range = layout_.header();
  Status s = file_->lockRangeWait(range.offset, range.length, LockKind::kExclusive, timeout);
  if (s.code() == Status::Code::kBusy) {
    return Status::busy(s.file(), "the table header stays locked by another user");
  }
  DBE_RETURN_IF_ERROR(s);
  header_ = true;
  return Status::ok();
}

Status HeldLocks::unlockHeader() {
  if (exclusiveOpen_ || !header_) return Status::ok();
  const LockRange range = layout_.header();
  header_ = false;
  return file_->unlockRange(range.offset, range.length);
}

}  // namespace dbe::dbf
