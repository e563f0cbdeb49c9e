// Table: reading and writing records, memos and locks.
#include "table.h"

#include <algorithm>
#include <cstring>


namespace dbe::dbf {

namespace {

constexpr std::byte kEndOfFile{0x1A};

}  // namespace

Status Table::read(std::uint32_t recno, Record* out) {
  if (closed_) return Status::invalidArgument("read: the table is closed", name_);
  if (recno == 0 || recno > count_) {
    if (recno != 0 && !options_.exclusive) {
      Result<std::uint32_t> c = refreshRecordCount();
      if (!c.isOk()) return c.status();
    }
    if (recno == 0 || recno > count_) {
      return Status::notFound(name_, "record " + std::to_string(recno) + " does not exist (" +
                                         std::to_string(count_) + " records)");
    }
  }
  const std::size_t rl = schema_->recordLength();
  std::span<std::byte> dst = out->bytes();
  out->clearPendingMemos();
  out->setRecno(recno);
  const bool sharedReadAhead = !options_.exclusive && options_.sharedReadAhead.count() > 0;
  if (options_.exclusive && appendFirst_ != 0 && recno >= appendFirst_) {
    std::memcpy(dst.data(), appendBuffer_.data() + std::size_t{recno - appendFirst_} * rl, rl);
  } else if (options_.exclusive || sharedReadAhead) {
    const bool stale = sharedReadAhead &&
                       std::chrono::steady_clock::now() - cacheTime_ > options_.sharedReadAhead;
    const bool miss = stale || cacheFirst_ == 0 || recno < cacheFirst_ ||
                      recno >= cacheFirst_ + cacheRecords_;
    // Read ahead only for a sequential scan: a walk in index order visits records in random
    // order, and a block read for each of those would read the table many times over.
    const bool sequential = recno == lastRead_ + 1;
    lastRead_ = recno;
    if (miss && !sequential) {
      std::size_t got = 0;
      DBE_RETURN_IF_ERROR(file_->read(recordOffset(recno), dst, &got));
      if (got != rl) {
        return Status::corruption(name_, "record " + std::to_string(recno) +
                                             " is cut short by the end of the file");
      }
    } else {
      if (miss) DBE_RETURN_IF_ERROR(fillCache(recno));
      std::memcpy(dst.data(), cache_.data() + std::size_t{recno - cacheFirst_} * rl, rl);
    }
  } else {
    std::size_t got = 0;
    DBE_RETURN_IF_ERROR(file_->read(recordOffset(recno), dst, &got));
    if (got != rl) {
      return Status::corruption(name_, "record " + std::to_string(recno) +
                                           " is cut short by the end of the file");
    }
  }
  if (out->hasBadFlag()) {
    return Status::corruption(name_, "record " + std::to_string(recno) +
                                         " has an invalid deletion flag (byte " +
                                         std::to_string(std::to_integer<int>(dst[0])) + ")");
  }
  return Status::ok();
}

// Reads the records from `recno` on, as many as fit the read-ahead block, none past the
// records on disk.
Status Table::fillCache(std::uint32_t recno) {
  const std::size_t rl = schema_->recordLength();
  const std::uint32_t onDisk = appendFirst_ != 0 ? appendFirst_ - 1 : count_;
  const std::size_t fit = std::max<std::size_t>(1, options_.readAheadBytes / rl);
  const auto n = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(fit, std::uint64_t{onDisk} - recno + 1));
  cache_.resize(std::size_t{n} * rl);
  cacheFirst_ = cacheRecords_ = 0;
  DBE_RETURN_IF_ERROR(file_->readExact(recordOffset(recno), cache_,
                                       ("record " + std::to_string(recno)).c_str()));
  cacheFirst_ = recno;
  cacheRecords_ = n;
  if (!options_.exclusive) cacheTime_ = std::chrono::steady_clock::now();
  return Status::ok();
}

void Table::dropSharedCache() {
  if (!options_.exclusive) cacheFirst_ = cacheRecords_ = 0;
}

Result<rt::Value> Table::value(const Record& record, std::size_t field) {
  const Field& f = schema_->field(field);
  if (!f.isMemo() || record.isNull(field)) return record.value(field);
  for (const Record::PendingMemo& p : record.pendingMemos()) {
    if (p.field == field) return rt::Value(p.text);
  }
  const std::string where = "record " + std::to_string(record.recno()) + ", field " + f.name;
  Result<std::uint32_t> block = record.memoBlock(field);
  if (!block.isOk()) return Status::corruption(name_, where + ": " + block.status().detail());
  if (*block == 0) return rt::Value(std::string());
  if (!memo_) {
    return Status::notSupported(name_, where + ": memo files of this table version (.dbt) "
                                               "are not supported");
  }
  Result<std::string> text = memo_->read(*block, where);
  if (!text.isOk()) return text.status();
  return rt::Value(std::move(*text));
}

Status Table::requireWritable(const char* what) const {
  if (closed_) return Status::invalidArgument(std::string(what) + ": the table is closed", name_);
  if (options_.readOnly) {
    return Status::readOnly(name_, std::string(what) + ": the table is open read-only");
  }
  return Status::ok();
}

Status Table::requireLock(std::uint32_t recno, const char* what) const {
  if (locks_.holdsRecord(recno)) return Status::ok();
  return Status::invalidArgument(std::string(what) + ": record " + std::to_string(recno) +
                                     " is not locked",
                                 name_);
}

Status Table::storeMemos(Record& rec) {
  if (rec.pendingMemos().empty()) return Status::ok();
  if (!memo_) {
    return Status::notSupported(name_, "memo files of this table version (.dbt) are not "
                                       "supported for writing");
  }
  // Shared mode: memo allocation runs under the table's header lock as well (the interim rule
  // for stations that do not lock the memo file); an append already holds it.
  const bool takeHeader = !options_.exclusive && !locks_.holdsHeader();
  if (takeHeader) DBE_RETURN_IF_ERROR(locks_.lockHeader(options_.headerLockTimeout));
  Status s;
  for (const Record::PendingMemo& p : rec.pendingMemos()) {
    const Field& f = schema_->field(p.field);
    Result<std::uint32_t> old = rec.memoBlock(p.field);
    const std::uint32_t type = f.type == field_type::kMemo ? MemoFile::kTypeText
                                                           : MemoFile::kTypeBinary;
    Result<std::uint32_t> block = memo_->write(old.isOk() ? *old : 0, p.text, type,
                                               options_.headerLockTimeout);
    if (!block.isOk()) {
      s = block.status();
      break;
    }
    rec.setMemoBlock(p.field, *block);
  }
  if (s.isOk() && options_.syncBeforeUnlock && !options_.exclusive) s = memo_->file().sync();
  if (takeHeader) {
    Status u = locks_.unlockHeader();
    if (s.isOk()) s = u;
  }
  if (s.isOk()) rec.clearPendingMemos();
  changed_ = true;
  return s;
}

// Rewrites an existing record; on failure puts the old bytes back as far as the file lets us.
Status Table::writeRecordBytes(std::uint32_t recno, std::span<const std::byte> bytes) {
  const std::size_t rl = schema_->recordLength();
  if (options_.exclusive && appendFirst_ != 0 && recno >= appendFirst_) {
    std::memcpy(appendBuffer_.data() + std::size_t{recno - appendFirst_} * rl, bytes.data(), rl);
    return Status::ok();
  }
  std::vector<std::byte> old(rl);
  DBE_RETURN_IF_ERROR(file_->readExact(recordOffset(recno), old,
                                       ("record " + std::to_string(recno)).c_str()));
  Status s = file_->write(recordOffset(recno), bytes);
  if (!s.isOk()) {
    (void)file_->write(recordOffset(recno), old);
    return s;
  }
  if (cacheFirst_ != 0 && recno >= cacheFirst_ && recno < cacheFirst_ + cacheRecords_) {
    std::memcpy(cache_.data() + std::size_t{recno - cacheFirst_} * rl, bytes.data(), rl);
  }
  changed_ = true;
  headerDirty_ = headerDirty_ || options_.exclusive;
  if (options_.syncBeforeUnlock && !options_.exclusive) return file_->sync();
  return Status::ok();
}

Status Table::write(Record& rec) {
  DBE_RETURN_IF_ERROR(requireWritable("write"));
  const std::uint32_t recno = rec.recno();
  if (recno == 0 || recno > count_) {
    return Status::invalidArgument("write: record " + std::to_string(recno) + " does not exist",
                                   name_);
  }
  DBE_RETURN_IF_ERROR(requireLock(recno, "write"));
  DBE_RETURN_IF_ERROR(storeMemos(rec));
  return writeRecordBytes(recno, rec.bytes());
}

Status Table::setDeleted(std::uint32_t recno, bool deleted) {
  DBE_RETURN_IF_ERROR(requireWritable(deleted ? "delete" : "recall"));
  if (recno == 0 || recno > count_) {
    return Status::invalidArgument("record " + std::to_string(recno) + " does not exist", name_);
  }
  DBE_RETURN_IF_ERROR(requireLock(recno, deleted ? "delete" : "recall"));
  const std::byte flag{static_cast<unsigned char>(deleted ? '*' : ' ')};
  const std::size_t rl = schema_->recordLength();
  if (options_.exclusive && appendFirst_ != 0 && recno >= appendFirst_) {
    appendBuffer_[std::size_t{recno - appendFirst_} * rl] = flag;
    return Status::ok();
  }
  DBE_RETURN_IF_ERROR(file_->write(recordOffset(recno), std::span(&flag, 1)));
  if (cacheFirst_ != 0 && recno >= cacheFirst_ && recno < cacheFirst_ + cacheRecords_) {
    cache_[std::size_t{recno - cacheFirst_} * rl] = flag;
  }
  changed_ = true;
  headerDirty_ = headerDirty_ || options_.exclusive;
  if (options_.syncBeforeUnlock && !options_.exclusive) return file_->sync();
  return Status::ok();
}

Result<std::uint32_t> Table::appendBlank() {
  Record r = newRecord();
  return append(r);
}

Result<std::uint32_t> Table::append(Record& rec) {
  DBE_RETURN_IF_ERROR(requireWritable("append"));
  for (const Field& f : schema_->fields()) {
    // The next value lives in the descriptor and must be taken under the header lock; we do
    // not maintain it, so we do not append rather than hand out a wrong number.
    if ((f.flags & kFieldAutoIncrement) != 0) {
      return Status::notSupported(name_, "append: field " + f.name +
                                             " is an autoincrement field, which is not maintained");
    }
  }
  if (rec.hasBadFlag()) rec.setDeleted(false);
  const std::size_t rl = schema_->recordLength();
  if (options_.exclusive) {
    if (count_ == 0xFFFFFFFFu) return Status::full(name_, "the table holds the most records");
    DBE_RETURN_IF_ERROR(storeMemos(rec));
    if (appendFirst_ == 0) {
      appendFirst_ = count_ + 1;
      appendBuffer_.reserve(options_.appendBufferBytes + rl + 1);
    }
    appendBuffer_.insert(appendBuffer_.end(), rec.bytes().begin(), rec.bytes().end());
    ++count_;
    rec.setRecno(count_);
    changed_ = headerDirty_ = true;
    if (appendBuffer_.size() + rl > options_.appendBufferBytes) {
      DBE_RETURN_IF_ERROR(flushAppends());
    }
    return count_;
  }

  // Shared: header lock, fresh count, record lock, record + end mark, header bytes 1-7.
  dropSharedCache();
  DBE_RETURN_IF_ERROR(locks_.lockHeader(options_.headerLockTimeout));
  auto fail = [this](Status s) {
    (void)locks_.unlockHeader();
    return s;
  };
  Result<std::uint32_t> count = refreshRecordCount();
  if (!count.isOk()) return fail(count.status());
  // A file longer than the count says: an earlier writer died between its record and its
  // header write. The header wins (the FoxPro rule): the orphan is overwritten.
  const std::uint32_t recno = *count + 1;
  if (recno == 0) return fail(Status::full(name_, "the table holds the most records"));
  const bool hadLock = locks_.holdsRecord(recno);
  if (Status s = locks_.lockRecord(recno); !s.isOk()) return fail(s);
  auto failUnlock = [&](Status s) {
    if (!hadLock) (void)locks_.unlockRecord(recno);
    return fail(s);
  };
  if (Status s = storeMemos(rec); !s.isOk()) return failUnlock(s);
  std::vector<std::byte> out(rl + 1);
  std::memcpy(out.data(), rec.bytes().data(), rl);
  out[rl] = kEndOfFile;
  if (Status s = file_->write(recordOffset(recno), out); !s.isOk()) return failUnlock(s);
  if (options_.syncBeforeUnlock) {
    if (Status s = file_->sync(); !s.isOk()) return failUnlock(s);
  }
  int y, m, d;
  todayYmd(&y, &m, &d);
  std::byte head[7];
  encodeCountAndDate(head, recno, y, m, d, dbaseYears_);
  if (Status s = file_->write(1, head); !s.isOk()) return failUnlock(s);
  if (options_.syncBeforeUnlock) {
    if (Status s = file_->sync(); !s.isOk()) return failUnlock(s);
  }
  year_ = y;
  month_ = m;
  day_ = d;
  count_ = diskCount_ = recno;
  trailing_ = 0;
  changed_ = true;
  rec.setRecno(recno);
  DBE_RETURN_IF_ERROR(locks_.unlockHeader());
  return recno;
}
Status Table::lockRecord(std::uint32_t recno) {
  if (closed_) return Status::invalidArgument("lock: the table is closed", name_);
  if (recno == 0 || recno > count_) {
    if (recno != 0 && !options_.exclusive) {
      Result<std::uint32_t> c = refreshRecordCount();
      if (!c.isOk()) return c.status();
    }
    if (recno == 0 || recno > count_) {
      return Status::notFound(name_, "record " + std::to_string(recno) + " does not exist");
    }
  }
  // What is read after a lock must come from the file, not from before the lock.
  dropSharedCache();
  return locks_.lockRecord(recno);
}

Status Table::unlockRecord(std::uint32_t recno) {
  if (closed_) return Status::ok();
  if (options_.syncBeforeUnlock && !options_.exclusive && !options_.readOnly) {
    DBE_RETURN_IF_ERROR(file_->sync());
  }
  return locks_.unlockRecord(recno);
}

Status Table::lockFile() {
  if (closed_) return Status::invalidArgument("lock: the table is closed", name_);
  dropSharedCache();
  return locks_.lockFile();
}

Status Table::unlockAll() {
  if (closed_) return Status::ok();
  if (options_.syncBeforeUnlock && !options_.exclusive && !options_.readOnly) {
    DBE_RETURN_IF_ERROR(file_->sync());
  }
  return locks_.unlockAll();
}

}  // namespace dbe::dbf
