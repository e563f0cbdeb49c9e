// Table creation and the exclusive-use rewrites (pack, zap).
//
// A rewrite never changes the table in place: the new contents go to a temporary file beside
// the table, which is synced and then renamed over it, so that a failure at any point leaves
// either the old table or the new one. The temporary file is created with the exclusive open
// mode and becomes the table's open file after the rename: no other station can slip in
// between.
#include "table.h"

#include <cstring>

namespace dbe::dbf {

namespace {

constexpr std::byte kEndOfFile{0x1A};

std::filesystem::path tempPathFor(const std::filesystem::path& p) {
  std::filesystem::path t = p;
  t += ".tmp";
  return t;
}

}  // namespace

Result<std::unique_ptr<Table>> Table::create(FileSystem* fs, const std::filesystem::path& path,
                                             const std::vector<FieldSpec>& fields,
                                             const CreateOptions& options) {
  Result<TableSchema> schema = TableSchema::fromSpecs(fields, options.format,
                                                      options.structuralIndex,
                                                      options.codePageMark);
  if (!schema.isOk()) {
    return Status::invalidArgument(schema.status().detail(), path.string());
  }
  OpenOptions open = options.open;
  open.readOnly = false;
  std::unique_ptr<Table> t(new Table(fs, path, open));
  const bool memo = schema->memoKind() == MemoKind::kFpt;
  if (!options.overwrite) {
    if (fs->exists(path)) return Status::invalidArgument("the table already exists", t->name_);
    if (memo && fs->exists(t->memoPath())) {
      return Status::invalidArgument("the memo file already exists", t->memoPath().string());
    }
  }
  if (memo && options.memoBlockSize == 0) {
    return Status::invalidArgument("memo block size 0", t->name_);
  }
  const ShareMode share = open.exclusive ? ShareMode::kExclusive : ShareMode::kShared;
  Result<std::unique_ptr<File>> f = fs->create(path, share, options.overwrite);
  if (!f.isOk()) return f.status();
  t->file_ = std::move(*f);

  auto undo = [&](Status s) {
    t->memo_.reset();
    t->file_.reset();
    t->closed_ = true;
    (void)fs->remove(path);
    if (memo) (void)fs->remove(t->memoPath());
    return s;
  };
  int y, m, d;
  t->todayYmd(&y, &m, &d);
  std::vector<std::byte> header = schema->encode(0, y, m, d);
  header.push_back(kEndOfFile);
  if (Status s = t->file_->write(0, header); !s.isOk()) return undo(s);
  if (memo) {
    if (Status s = t->openMemo(true, options.memoBlockSize); !s.isOk()) return undo(s);
    if (Status s = t->memo_->file().sync(); !s.isOk()) return undo(s);
  }
  if (Status s = t->file_->sync(); !s.isOk()) return undo(s);
  if (Status s = t->loadHeader(); !s.isOk()) return undo(s);
  return t;
}

Status Table::rewriteRecords(File& out, std::uint32_t* kept) {
  const std::size_t rl = schema_->recordLength();
  std::vector<std::byte> chunk;
  chunk.reserve(std::max<std::size_t>(rl, 1024 * 1024));
  std::uint64_t at = schema_->headerLength();
  Record rec = newRecord();
  *kept = 0;
  for (std::uint32_t r = 1; r <= count_; ++r) {
    DBE_RETURN_IF_ERROR(read(r, &rec));
    if (rec.isDeleted()) continue;
    chunk.insert(chunk.end(), rec.bytes().begin(), rec.bytes().end());
    ++*kept;
    if (chunk.size() + rl > chunk.capacity()) {
      DBE_RETURN_IF_ERROR(out.write(at, chunk));
      at += chunk.size();
      chunk.clear();
    }
  }
  chunk.push_back(kEndOfFile);
  return out.write(at, chunk);
}

Status Table::rewriteAs(const std::function<Status(File&, std::uint32_t*)>& writeRecords,
                        bool newMemo) {
  const std::filesystem::path temp = tempPathFor(path_);
  Result<std::unique_ptr<File>> f = fs_->create(temp, ShareMode::kExclusive, /*overwrite=*/true);
  if (!f.isOk()) return f.status();
  std::unique_ptr<File> out = std::move(*f);
  std::unique_ptr<MemoFile> memoOut;
  std::filesystem::path memoTemp;
  auto fail = [&](Status s) {
    out.reset();
    memoOut.reset();
    (void)fs_->remove(temp);
    if (!memoTemp.empty()) (void)fs_->remove(memoTemp);
    return s;
  };
  // Records first, then the header with their count (the file is not the table yet, so the
  // order only saves a second pass over the records).
  std::uint32_t count = 0;
  if (Status s = writeRecords(*out, &count); !s.isOk()) return fail(s);
  int y, m, d;
  todayYmd(&y, &m, &d);
  if (Status s = out->write(0, schema_->encode(count, y, m, d)); !s.isOk()) return fail(s);
  if (Status s = out->sync(); !s.isOk()) return fail(s);
  if (newMemo && memo_) {
    memoTemp = tempPathFor(memo_->name());
    Result<std::unique_ptr<File>> mf = fs_->create(memoTemp, ShareMode::kExclusive, true);
    if (!mf.isOk()) return fail(mf.status());
    Result<std::unique_ptr<MemoFile>> created = MemoFile::create(
        std::move(*mf), static_cast<std::uint16_t>(memo_->blockSize()), /*shared=*/false);
    if (!created.isOk()) return fail(created.status());
    memoOut = std::move(*created);
    if (Status s = memoOut->file().sync(); !s.isOk()) return fail(s);
  }
  // The commit point: from here on the new table is the table.
  if (Status s = fs_->rename(temp, path_); !s.isOk()) return fail(s);
  file_ = std::move(out);
  locks_ = HeldLocks(file_.get(), locks_.layout(), options_.exclusive);
  if (memoOut) {
    const std::string memoName = memo_->name();
    if (Status s = fs_->rename(memoTemp, memoName); !s.isOk()) {
      // The table has no records left that point into the old memo file: it stays usable.
      (void)fs_->remove(memoTemp);
      memoOut.reset();
    } else {
      memo_ = std::move(memoOut);
    }
  }
  count_ = diskCount_ = count;
  year_ = y;
  month_ = m;
  day_ = d;
  trailing_ = 0;
  cacheFirst_ = cacheRecords_ = 0;
  cache_.clear();
  changed_ = true;
  headerDirty_ = false;
  Result<std::uint64_t> size = file_->size();
  return size.isOk() ? Status::ok() : size.status();
}

Status Table::pack() {
  DBE_RETURN_IF_ERROR(requireWritable("pack"));
  if (!options_.exclusive) {
    return Status::invalidArgument("pack needs the table opened exclusively", name_);
  }
  DBE_RETURN_IF_ERROR(flushAppends());
  return rewriteAs([this](File& out, std::uint32_t* kept) { return rewriteRecords(out, kept); },
                   /*newMemo=*/false);
}

Status Table::zap() {
  DBE_RETURN_IF_ERROR(requireWritable("zap"));
  if (!options_.exclusive) {
    return Status::invalidArgument("zap needs the table opened exclusively", name_);
  }
  const std::uint64_t end = schema_->headerLength();
  DBE_RETURN_IF_ERROR(rewriteAs(
      [end](File& out, std::uint32_t* count) {
        *count = 0;
        return out.write(end, std::span(&kEndOfFile, 1));
      },
      /*newMemo=*/true));
  appendBuffer_.clear();
  appendFirst_ = 0;
  return Status::ok();
}

}  // namespace dbe::dbf
