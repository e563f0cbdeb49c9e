// Table: opening (header, count rule, memo file), flushing and closing.
#include "table.h"

#include <algorithm>
#include <ctime>

#include "byte_order.h"

namespace dbe::dbf {

namespace {

constexpr std::byte kEndOfFile{0x1A};

}  // namespace

Table::Table(FileSystem* fs, std::filesystem::path path, OpenOptions options)
    : fs_(fs), path_(std::move(path)), name_(path_.string()), options_(std::move(options)) {}

Table::~Table() {
  if (!closed_) (void)close();
}

Result<std::unique_ptr<Table>> Table::open(FileSystem* fs, const std::filesystem::path& path,
                                           const OpenOptions& options) {
  std::unique_ptr<Table> t(new Table(fs, path, options));
  DBE_RETURN_IF_ERROR(t->openFiles());
  return t;
}

Status Table::openFiles() {
  const ShareMode share = options_.exclusive ? ShareMode::kExclusive : ShareMode::kShared;
  Result<std::unique_ptr<File>> f = fs_->open(
      path_, options_.readOnly ? OpenAccess::kReadOnly : OpenAccess::kReadWrite, share);
  if (!f.isOk()) return f.status();
  file_ = std::move(*f);
  DBE_RETURN_IF_ERROR(loadHeader());
  if (schema_->memoKind() == MemoKind::kFpt) DBE_RETURN_IF_ERROR(openMemo(false, 0));
  return Status::ok();
}

Status Table::loadHeader() {
  std::byte first[32];
  DBE_RETURN_IF_ERROR(file_->readExact(0, first, "table header"));
  Result<std::uint16_t> hl = TableSchema::headerLength(first, name_);
  if (!hl.isOk()) return hl.status();
  Result<std::uint64_t> size = file_->size();
  if (!size.isOk()) return size.status();
  if (*hl > *size) {
    return Status::corruption(name_, "header length " + std::to_string(*hl) +
                                         " is beyond the end of the file (" +
                                         std::to_string(*size) + " bytes)");
  }
  std::vector<std::byte> header(*hl);
  DBE_RETURN_IF_ERROR(file_->readExact(0, header, "table header"));
  Result<TableSchema> schema = TableSchema::parse(header, name_);
  if (!schema.isOk()) return schema.status();
  schema_ = std::make_shared<const TableSchema>(std::move(*schema));
  locks_ = HeldLocks(file_.get(),
                     LockLayout::forTable(schema_->hasStructuralIndex(), schema_->headerLength(),
                                          schema_->recordLength()),
                     options_.exclusive);
  decodeLastUpdate(first, &year_, &month_, &day_);
  dbaseYears_ = std::to_integer<int>(first[1]) >= 100;
  // The count read before the size: a shared appender grows the file before it counts the new
  // record, so a count read first never exceeds the records of a size read after it.
  const std::uint32_t count = getLe32(&first[4]);
  DBE_RETURN_IF_ERROR(checkCount(count, *size));
  count_ = diskCount_ = count;
  return Status::ok();
}

// The record-count rule: the header's count, if the file holds that many records.
Status Table::checkCount(std::uint32_t count, std::uint64_t size) {
  const std::uint64_t hl = schema_->headerLength();
  const std::uint64_t records = size >= hl ? (size - hl) / schema_->recordLength() : 0;
  if (count > records) {
    return Status::corruption(name_, "the header counts " + std::to_string(count) +
                                         " records, but the file holds only " +
                                         std::to_string(records) + " (" + std::to_string(size) +
                                         " bytes)");
  }
  trailing_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(records - count, 0xFFFFFFFFu));
  return Status::ok();
}

std::filesystem::path Table::memoPath() const {
  // The memo file's extension follows the case of the table's own (VENDORS.DBF / VENDORS.FPT).
  const std::string ext = path_.extension().string();
  const bool upper = !ext.empty() && ext.size() > 1 && ext[1] >= 'A' && ext[1] <= 'Z';
  std::filesystem::path p = path_;
  p.replace_extension(upper ? ".FPT" : ".fpt");
  if (fs_->exists(p)) return p;
  std::filesystem::path other = path_;
  other.replace_extension(upper ? ".fpt" : ".FPT");
  return fs_->exists(other) ? other : p;
}

std::filesystem::path Table::structuralIndexPath() const {
  const std::string ext = path_.extension().string();
  const bool upper = ext.size() > 1 && ext[1] >= 'A' && ext[1] <= 'Z';
  std::filesystem::path p = path_;
  p.replace_extension(upper ? ".CDX" : ".cdx");
  if (fs_->exists(p)) return p;
  std::filesystem::path other = path_;
  other.replace_extension(upper ? ".cdx" : ".CDX");
  return fs_->exists(other) ? other : p;
}

Status Table::openMemo(bool create, std::uint16_t blockSize) {
  const ShareMode share = options_.exclusive ? ShareMode::kExclusive : ShareMode::kShared;
  const std::filesystem::path p = memoPath();
  const bool shared = !options_.exclusive;
  if (create) {
    Result<std::unique_ptr<File>> f = fs_->create(p, share, /*overwrite=*/true);
    if (!f.isOk()) return f.status();
    Result<std::unique_ptr<MemoFile>> m = MemoFile::create(std::move(*f), blockSize, shared);
    if (!m.isOk()) return m.status();
    memo_ = std::move(*m);
    return Status::ok();
  }
  Result<std::unique_ptr<File>> f =
      fs_->open(p, options_.readOnly ? OpenAccess::kReadOnly : OpenAccess::kReadWrite, share);
  if (!f.isOk()) {
    if (f.status().code() == Status::Code::kNotFound) {
      return Status::notFound(p.string(), "the memo file of " + name_ + " is missing", "open");
    }
    return f.status();
  }
  Result<std::unique_ptr<MemoFile>> m = MemoFile::open(std::move(*f), shared);
  if (!m.isOk()) return m.status();
  memo_ = std::move(*m);
  return Status::ok();
}

void Table::lastUpdate(int* year, int* month, int* day) const {
  *year = year_;
  *month = month_;
  *day = day_;
}

void Table::todayYmd(int* y, int* m, int* d) const {
  if (options_.today) {
    options_.today(y, m, d);
    return;
  }
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  *y = tm.tm_year + 1900;
  *m = tm.tm_mon + 1;
  *d = tm.tm_mday;
}

Result<std::uint32_t> Table::refreshRecordCount() {
  if (closed_) return Status::invalidArgument("the table is closed", name_);
  if (options_.exclusive) return count_;
  std::byte head[8];
  DBE_RETURN_IF_ERROR(file_->readExact(0, head, "table header"));
  Result<std::uint64_t> size = file_->size();
  if (!size.isOk()) return size.status();
  const std::uint32_t count = getLe32(head + 4);
  DBE_RETURN_IF_ERROR(checkCount(count, *size));
  count_ = diskCount_ = count;
  return count;
}
// Exclusive mode: the buffered records and the end mark in one write. The header that counts
// them is written by flush() only, after a sync: until then they lie past the count, where a
// crash cannot turn them into counted garbage.
Status Table::flushAppends() {
  if (appendFirst_ == 0) return Status::ok();
  appendBuffer_.push_back(kEndOfFile);
  Status s = file_->write(recordOffset(appendFirst_), appendBuffer_);
  appendBuffer_.pop_back();
  DBE_RETURN_IF_ERROR(s);
  appendBuffer_.clear();
  appendFirst_ = 0;
  cacheFirst_ = cacheRecords_ = 0;  // the read-ahead block may end where the appends began
  return Status::ok();
}

Status Table::writeHeaderCount() {
  int y, m, d;
  todayYmd(&y, &m, &d);
  std::byte head[7];
  encodeCountAndDate(head, count_, y, m, d, dbaseYears_);
  DBE_RETURN_IF_ERROR(file_->write(1, head));
  year_ = y;
  month_ = m;
  day_ = d;
  diskCount_ = count_;
  headerDirty_ = false;
  return Status::ok();
}

Status Table::flush() {
  if (closed_ || options_.readOnly) return Status::ok();
  if (options_.exclusive) {
    DBE_RETURN_IF_ERROR(flushAppends());
    if (memo_) DBE_RETURN_IF_ERROR(memo_->flush());
    if (headerDirty_) {
      // Records and memos are durable before the header that counts them.
      DBE_RETURN_IF_ERROR(file_->sync());
      DBE_RETURN_IF_ERROR(writeHeaderCount());
    }
  } else if (memo_) {
    DBE_RETURN_IF_ERROR(memo_->flush());
  }
  if (changed_) DBE_RETURN_IF_ERROR(file_->sync());
  return Status::ok();
}

Status Table::close() {
  if (closed_) return Status::ok();
  Status s = flush();
  if (s.isOk() && changed_ && !options_.exclusive && !options_.readOnly) {
    // The date of last update, bytes 1-3 only: the count beside it belongs to the appenders.
    int y, m, d;
    todayYmd(&y, &m, &d);
    if (y != year_ || m != month_ || d != day_) {
      std::byte head[7];
      encodeCountAndDate(head, 0, y, m, d, dbaseYears_);
      s = file_->write(1, std::span(head, 3));
    }
  }
  Status u = locks_.unlockAll();
  if (s.isOk()) s = u;
  closed_ = true;
  memo_.reset();
  file_.reset();
  return s;
}

}  // namespace dbe::dbf
