#include "table_area.h"

#include <algorithm>
#include <cctype>

#include "dbe/area/host_names.h"
#include "dbe/cdx/verifier.h"

namespace dbe {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool beginsWith(std::string_view key, std::string_view prefix) {
  return key.size() >= prefix.size() && key.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

Result<std::unique_ptr<TableArea>> TableArea::open(FileSystem* fs,
                                                   const std::filesystem::path& path,
                                                   const std::string& alias, bool shared,
                                                   bool readOnly) {
  dbf::OpenOptions opt;
  opt.exclusive = !shared;
  opt.readOnly = readOnly;
  auto table = dbf::Table::open(fs, path, opt);
  if (!table.isOk()) return table.status();
  std::unique_ptr<TableArea> area(
      new TableArea(fs, std::move(table).value(), alias, shared, readOnly));
  if (area->table_->hasStructuralIndex()) {
    auto resolved = resolveHostCase(area->table_->structuralIndexPath());
    if (!resolved.isOk()) return resolved.status();
    const std::filesystem::path cdx = resolved.value();
    if (fs->exists(cdx)) {
      DBE_RETURN_IF_ERROR(area->orderListAdd(cdx));
    } else {
      // The flag says there is a structural index, but its file is gone: another program
      // would find the table's indexes missing too. Reading is safe; changes would leave the
      // index (once restored) out of date, so they are refused.
      return Status::notFound(cdx.string(), "the table's structural index file is missing",
                              "open");
    }
  }
  DBE_RETURN_IF_ERROR(area->goTop());
  return area;
}

TableArea::TableArea(FileSystem* fs, std::unique_ptr<dbf::Table> table, std::string alias,
                     bool shared, bool readOnly)
    : fs_(fs),
      table_(std::move(table)),
      alias_(upper(alias)),
      shared_(shared),
      readOnly_(readOnly),
      rec_(table_->newRecord()),
      before_(table_->newRecord()),
      ctx_(table_.get(), &rec_, alias_),
      beforeCtx_(table_.get(), &before_, alias_) {}

TableArea::~TableArea() { (void)close(); }

void TableArea::setAlias(std::string a) {
  alias_ = upper(a);
  ctx_.setAlias(alias_);
  beforeCtx_.setAlias(alias_);
}

bool TableArea::hideDeleted() const { return engineSettings().hideDeleted; }

// ---- indexes ----

Status TableArea::orderListAdd(const std::filesystem::path& cdx) {
  if (!table_) return Status::invalidArgument("work area is closed");
  auto resolved = resolveHostCase(cdx);
  if (!resolved.isOk()) return resolved.status();
  return indexes_.add(fs_, resolved.value(), shared_, readOnly_, ctx_, table_->schema());
}

Status TableArea::setOrder(const std::string& tag) {
  DBE_RETURN_IF_ERROR(flush());
  cursor_.reset();
  order_ = nullptr;
  clearScope();
  if (tag.empty()) return Status::ok();
  AreaTag* t = indexes_.find(tag);
  if (t == nullptr) {
    return Status::notFound(table_->name(), "no open index holds the tag " + upper(tag),
                            "set order");
  }
  if (t->tag == nullptr) {
    return Status::notSupported(t->file->name(), "tag " + t->name + ": " + t->problem);
  }
  order_ = t;
  cursor_ = std::make_unique<cdx::Cursor>(*t->tag);
  cursorOnRecord_ = false;
  if (!eof_) return syncCursor();
  return Status::ok();
}

std::vector<std::string> TableArea::tagNames() const {
  std::vector<std::string> names;
  for (const auto& t : const_cast<AreaIndexes&>(indexes_).tags()) names.push_back(t.name);
  return names;
}

Status TableArea::fixKeyLength(const std::string& keyExpr, std::size_t* length) {
  auto e = expr::compile(keyExpr, ctx_);
  if (!e.isOk()) return e.status();
  if (e->type().type == expr::Type::kText && e->type().length != expr::kVariableLength) {
    *length = static_cast<std::size_t>(e->type().length);
    return Status::ok();
  }
  if (e->type().type != expr::Type::kText && e->type().type != expr::Type::kAny) {
    *length = cdx::fixedKeyLength(keyTypeOf(e.value(), table_->schema()));
    return Status::ok();
  }
  // A text whose length only a record can tell (TRIM(NAME)): the first record's, as the other
  // engines do, or a blank record's in an empty table.
  DBE_RETURN_IF_ERROR(goTop());
  expr::ValueView v;
  DBE_RETURN_IF_ERROR(e->evaluate(ctx_, &v));
  if (v.type != expr::Type::kText) {
    return Status::invalidArgument("index key '" + keyExpr + "' gives no text on the first record");
  }
  *length = std::clamp<std::size_t>(v.text.size(), 1, 240);
  return Status::ok();
}

Status TableArea::collectKeys(AreaTag& tag, cdx::KeyList* out) {
  DBE_RETURN_IF_ERROR(flush());
  auto count = table_->refreshRecordCount();
  if (!count.isOk()) return count.status();
  out->reserve(count.value());
  dbf::Record r = table_->newRecord();
  AreaRecordContext ctx(table_.get(), &r, alias_);
  std::string key;
  for (std::uint32_t n = 1; n <= count.value(); ++n) {
    DBE_RETURN_IF_ERROR(table_->read(n, &r));
    bool in = true;
    DBE_RETURN_IF_ERROR(tag.qualifies(ctx, &in));
    if (!in) continue;
    DBE_RETURN_IF_ERROR(tag.keyOf(ctx, &key));
    DBE_RETURN_IF_ERROR(out->add(key, n));
  }
  return Status::ok();
}

Status TableArea::createTag(const std::string& name, const std::string& keyExpr,
                            const std::string& forExpr, bool unique, bool descending) {
  DBE_RETURN_IF_ERROR(requireWritable("create a tag"));
  if (shared_) {
    return Status::invalidArgument("creating a tag needs the table opened exclusively",
                                   table_->name());
  }
  if (!table_->hasStructuralIndex()) {
    return Status::invalidArgument(
        "the table has no structural index; create it with the structural-index flag",
        table_->name());
  }
  DBE_RETURN_IF_ERROR(flush());
  const std::filesystem::path cdxPath = table_->structuralIndexPath();
  if (indexes_.empty() || !indexes_.isOpen(cdxPath)) {
    if (fs_->exists(cdxPath)) {
      DBE_RETURN_IF_ERROR(orderListAdd(cdxPath));
    } else {
      DBE_RETURN_IF_ERROR(indexes_.createFile(fs_, cdxPath, ctx_, table_->schema()));
    }
  }
  // Tags are created in the structural index, the first file of the order list.
  cdx::CdxFile* file = nullptr;
  file = indexes_.firstFile();
  if (file == nullptr) return Status::invalidArgument("no index file is open", table_->name());

  cdx::TagSpec spec;
  spec.name = upper(name);
  spec.keyExpression = keyExpr;
  spec.forExpression = forExpr;
  spec.unique = unique;
  spec.descending = descending;
  {
    auto e = expr::compile(keyExpr, ctx_);
    if (!e.isOk()) return e.status();
    spec.keyType = keyTypeOf(e.value(), table_->schema());
  }
  DBE_RETURN_IF_ERROR(fixKeyLength(keyExpr, &spec.keyLength));
  if (!forExpr.empty()) {
    expr::CompileOptions copt;
    copt.requireLogical = true;
    auto f = expr::compile(forExpr, ctx_, copt);
    if (!f.isOk()) return f.status();
  }
  // Compute the keys with a temporary tag description.
  AreaTag tmp;
  tmp.name = spec.name;
  tmp.keyType = spec.keyType;
  tmp.keyLength = spec.keyLength;
  tmp.key = expr::compile(keyExpr, ctx_).value();
  if (!forExpr.empty()) tmp.forCond = expr::compile(forExpr, ctx_).value();
  cdx::KeyList keys(spec.keyType, spec.keyLength);
  DBE_RETURN_IF_ERROR(collectKeys(tmp, &keys));
  const std::string keep = orderName();
  order_ = nullptr;
  cursor_.reset();
  auto added = file->addTag(spec, keys);
  if (!added.isOk()) return added.status();
  DBE_RETURN_IF_ERROR(indexes_.reload(file, ctx_, table_->schema()));
  if (!keep.empty()) DBE_RETURN_IF_ERROR(setOrder(keep));
  return Status::ok();
}

Status TableArea::reindex() {
  DBE_RETURN_IF_ERROR(requireWritable("reindex"));
  if (shared_) {
    return Status::invalidArgument("reindexing needs the table opened exclusively",
                                   table_->name());
  }
  DBE_RETURN_IF_ERROR(flush());
  for (AreaTag& t : indexes_.tags()) {
    if (t.tag == nullptr) {
      return Status::notSupported(t.file->name(), "tag " + t.name + ": " + t.problem);
    }
    cdx::KeyList keys(t.keyType, t.keyLength);
    DBE_RETURN_IF_ERROR(collectKeys(t, &keys));
    DBE_RETURN_IF_ERROR(t.tag->rebuild(keys));
  }
  if (cursor_) cursor_ = std::make_unique<cdx::Cursor>(*order_->tag);
  return goTop();
}

Status TableArea::verifyIndexes(std::vector<std::string>* faults) {
  DBE_RETURN_IF_ERROR(flush());
  std::vector<cdx::CdxFile*> files;
  for (AreaTag& t : indexes_.tags()) {
    if (std::find(files.begin(), files.end(), t.file) == files.end()) files.push_back(t.file);
  }
  std::vector<std::unique_ptr<cdx::KeyList>> lists;
  for (cdx::CdxFile* file : files) {
    cdx::VerifyOptions opt;
    for (AreaTag& t : indexes_.tags()) {
      if (t.file != file) continue;
      if (!t.problem.empty()) {
        faults->push_back("tag " + t.name + ": cannot be checked: " + t.problem);
        continue;
      }
      opt.keyTypes[t.name] = t.keyType;
      lists.push_back(std::make_unique<cdx::KeyList>(t.keyType, t.keyLength));
      DBE_RETURN_IF_ERROR(collectKeys(t, lists.back().get()));
      opt.expected[t.name] = lists.back().get();
    }
    auto r = cdx::verifyIndex(*file, opt);
    if (!r.isOk()) {
      faults->push_back(r.status().toString());
      continue;
    }
    for (auto& line : r.value()) faults->push_back(file->name() + ": " + line);
  }
  return Status::ok();
}

// ---- scope and filter ----

Status TableArea::setScope(const rt::Value& top, const rt::Value& bottom) {
  if (order_ == nullptr) {
    return Status::invalidArgument("a scope needs a controlling tag", table_->name());
  }
  hasTop_ = !top.isNil();
  hasBottom_ = !bottom.isNil();
  if (hasTop_) DBE_RETURN_IF_ERROR(seekKeyFor(*order_, top, &scopeTop_));
  if (hasBottom_) DBE_RETURN_IF_ERROR(seekKeyFor(*order_, bottom, &scopeBottom_));
  return Status::ok();
}

void TableArea::clearScope() {
  hasTop_ = hasBottom_ = false;
  scopeTop_.clear();
  scopeBottom_.clear();
}

Status TableArea::inScope(std::string_view key, bool* out) const {
  *out = true;
  if (order_ == nullptr) return Status::ok();
  const bool desc = order_->tag->info().descending;
  auto below = [&](std::string_view limit) {  // key before the limit in ascending byte order
    return key.substr(0, limit.size()) < limit;
  };
  auto above = [&](std::string_view limit) {
    return key.substr(0, limit.size()) > limit;
  };
  if (!desc) {
    if (hasTop_ && below(scopeTop_)) *out = false;
    if (hasBottom_ && above(scopeBottom_)) *out = false;
  } else {
    if (hasTop_ && above(scopeTop_)) *out = false;
    if (hasBottom_ && below(scopeBottom_)) *out = false;
  }
  return Status::ok();
}

Status TableArea::setFilter(const rt::Value& condition, const std::string& text) {
  filterBlock_ = condition;
  filterText_ = text;
  filterExpr_.reset();
  if (!text.empty()) {
    expr::CompileOptions copt;
    copt.requireLogical = true;
    auto e = expr::compile(text, ctx_, copt);
    if (e.isOk()) {
      filterExpr_ = std::move(e).value();
    } else if (!condition.isCallable()) {
      return e.status();
    }
  } else if (!condition.isCallable()) {
    return Status::invalidArgument("a filter needs a condition or its text");
  }
  return Status::ok();
}

void TableArea::clearFilter() {
  filterBlock_ = rt::Value();
  filterExpr_.reset();
  filterText_.clear();
}

Status TableArea::visible(bool* out) {
  *out = true;
  if (hideDeleted() && rec_.isDeleted()) {
    *out = false;
    return Status::ok();
  }
  if (filterExpr_) {
    auto r = filterExpr_->test(ctx_);
    if (!r.isOk()) return r.status();
    *out = r.value();
  } else if (filterBlock_.isCallable()) {
    *out = filterBlock_.call().isTrue();
  }
  return Status::ok();
}

// ---- navigation ----

Status TableArea::readRecord(std::uint32_t recno) {
  DBE_RETURN_IF_ERROR(table_->read(recno, &rec_));
  recno_ = recno;
  eof_ = false;
  cursorOnRecord_ = false;
  return Status::ok();
}

void TableArea::setEof(std::uint32_t count) {
  rec_.blank();
  recno_ = count + 1;
  rec_.setRecno(recno_);
  eof_ = true;
}

Status TableArea::naturalMove(std::uint32_t start, bool forward) {
  auto count = shared_ ? table_->refreshRecordCount() : Result<std::uint32_t>(table_->recordCount());
  if (!count.isOk()) return count.status();
  const std::uint32_t n = count.value();
  std::uint32_t r = start;
  while (r >= 1 && r <= n) {
    DBE_RETURN_IF_ERROR(readRecord(r));
    bool ok = true;
    DBE_RETURN_IF_ERROR(visible(&ok));
    if (ok) return Status::ok();
    r = forward ? r + 1 : r - 1;
  }
  if (forward) {
    setEof(n);
  } else {
    // Before the first visible record: BOF, standing on the first visible one (or EOF).
    const bool wasBof = true;
    DBE_RETURN_IF_ERROR(naturalMove(1, true));
    bof_ = wasBof;
  }
  return Status::ok();
}

// Moves the tag cursor (from its current entry, or from an end when fromEnd) to the next visible
// record in the given direction and reads it.
Status TableArea::tagMove(bool forward, bool fromEnd) {
  if (fromEnd) {
    if (forward) {
      if (hasTop_) {
        auto r = cursor_->seek(scopeTop_, cdx::SeekMode::kSoft);
        if (!r.isOk()) return r.status();
      } else {
        DBE_RETURN_IF_ERROR(cursor_->first());
      }
    } else {
      if (hasBottom_) {
        // The last entry that begins with (or lies before) the bottom limit.
        auto r = cursor_->seek(scopeBottom_, cdx::SeekMode::kSoft);
        if (!r.isOk()) return r.status();
        while (cursor_->onEntry() && beginsWith(cursor_->key(), scopeBottom_)) {
          DBE_RETURN_IF_ERROR(cursor_->next());
        }
        DBE_RETURN_IF_ERROR(cursor_->prev());
      } else {
        DBE_RETURN_IF_ERROR(cursor_->last());
      }
    }
  } else {
    DBE_RETURN_IF_ERROR(forward ? cursor_->next() : cursor_->prev());
  }
  for (;;) {
    if (!cursor_->onEntry()) break;
    bool in = true;
    DBE_RETURN_IF_ERROR(inScope(cursor_->key(), &in));
    if (!in) break;
    DBE_RETURN_IF_ERROR(readRecord(cursor_->recno()));
    cursorOnRecord_ = true;
    bool ok = true;
    DBE_RETURN_IF_ERROR(visible(&ok));
    if (ok) return Status::ok();
    DBE_RETURN_IF_ERROR(forward ? cursor_->next() : cursor_->prev());
  }
  auto count = shared_ ? table_->refreshRecordCount() : Result<std::uint32_t>(table_->recordCount());
  if (!count.isOk()) return count.status();
  if (forward) {
    setEof(count.value());
  } else {
    DBE_RETURN_IF_ERROR(tagMove(/*forward=*/true, /*fromEnd=*/true));
    bof_ = true;
  }
  return Status::ok();
}

Status TableArea::syncCursor() {
  if (!cursor_ || eof_ || cursorOnRecord_) return Status::ok();
  std::string key;
  DBE_RETURN_IF_ERROR(order_->keyOf(ctx_, &key));
  auto r = cursor_->seekEntry(key, recno_);
  if (!r.isOk()) return r.status();
  cursorOnRecord_ = true;
  return Status::ok();
}

Status TableArea::goTop() {
  DBE_RETURN_IF_ERROR(flush());
  bof_ = false;
  found_ = false;
  if (cursor_) return tagMove(true, true);
  return naturalMove(1, true);
}

Status TableArea::goBottom() {
  DBE_RETURN_IF_ERROR(flush());
  bof_ = false;
  found_ = false;
  if (cursor_) {
    DBE_RETURN_IF_ERROR(tagMove(false, true));
    bof_ = false;
    return Status::ok();
  }
  auto count = shared_ ? table_->refreshRecordCount() : Result<std::uint32_t>(table_->recordCount());
  if (!count.isOk()) return count.status();
  if (count.value() == 0) {
    setEof(0);
    return Status::ok();
  }
  DBE_RETURN_IF_ERROR(naturalMove(count.value(), false));
  bof_ = false;
  return Status::ok();
}

Status TableArea::goTo(std::uint32_t recno) {
  DBE_RETURN_IF_ERROR(flush());
  bof_ = false;
  found_ = false;
  auto count = shared_ ? table_->refreshRecordCount() : Result<std::uint32_t>(table_->recordCount());
  if (!count.isOk()) return count.status();
  if (recno < 1 || recno > count.value()) {
    setEof(count.value());
    return Status::ok();
  }
  DBE_RETURN_IF_ERROR(readRecord(recno));
  return syncCursor();
}

Status TableArea::skip(long n) {
  DBE_RETURN_IF_ERROR(flush());
  bof_ = false;
  if (n == 0) {
    // Re-reads the current record (another station may have changed it).
    if (!eof_) return readRecord(recno_);
    return Status::ok();
  }
  const bool forward = n > 0;
  long steps = forward ? n : -n;
  while (steps-- > 0) {
    if (forward && eof_) return Status::ok();
    if (!forward && eof_) {
      DBE_RETURN_IF_ERROR(goBottom());
      if (eof_) {
        bof_ = true;
        return Status::ok();
      }
      continue;
    }
    if (cursor_) {
      DBE_RETURN_IF_ERROR(syncCursor());
      DBE_RETURN_IF_ERROR(tagMove(forward, false));
    } else {
      if (!forward && recno_ <= 1) {
        DBE_RETURN_IF_ERROR(naturalMove(1, true));
        bof_ = true;
        return Status::ok();
      }
      DBE_RETURN_IF_ERROR(naturalMove(forward ? recno_ + 1 : recno_ - 1, forward));
    }
    if (bof_) return Status::ok();
  }
  return Status::ok();
}

Status TableArea::seek(const rt::Value& key, std::optional<bool> soft, bool last) {
  DBE_RETURN_IF_ERROR(flush());
  bof_ = false;
  found_ = false;
  if (order_ == nullptr || !cursor_) {
    return Status::invalidArgument("seek needs a controlling tag", table_->name());
  }
  std::string k;
  DBE_RETURN_IF_ERROR(seekKeyFor(*order_, key, &k));
  const bool softSeek = soft.value_or(engineSettings().softSeek);
  auto r = cursor_->seek(k, cdx::SeekMode::kSoft);
  if (!r.isOk()) return r.status();
  for (;;) {
    if (!cursor_->onEntry()) break;
    bool in = true;
    DBE_RETURN_IF_ERROR(inScope(cursor_->key(), &in));
    if (!in) break;
    DBE_RETURN_IF_ERROR(readRecord(cursor_->recno()));
    cursorOnRecord_ = true;
    bool ok = true;
    DBE_RETURN_IF_ERROR(visible(&ok));
    if (ok) {
      found_ = beginsWith(cursor_->key(), k);
      if (found_ && last) {
        // The last visible record with the key.
        std::uint32_t lastMatch = recno_;
        for (;;) {
          DBE_RETURN_IF_ERROR(cursor_->next());
          if (!cursor_->onEntry() || !beginsWith(cursor_->key(), k)) break;
          DBE_RETURN_IF_ERROR(readRecord(cursor_->recno()));
          bool v = true;
          DBE_RETURN_IF_ERROR(visible(&v));
          if (v) lastMatch = recno_;
        }
        DBE_RETURN_IF_ERROR(readRecord(lastMatch));
        DBE_RETURN_IF_ERROR(syncCursor());
      }
      if (found_ || softSeek) return Status::ok();
      break;
    }
    DBE_RETURN_IF_ERROR(cursor_->next());
  }
  auto count = shared_ ? table_->refreshRecordCount() : Result<std::uint32_t>(table_->recordCount());
  if (!count.isOk()) return count.status();
  setEof(count.value());
  return Status::ok();
}

Status TableArea::locate(const std::string& condition) {
  expr::CompileOptions copt;
  copt.requireLogical = true;
  auto e = expr::compile(condition, ctx_, copt);
  if (!e.isOk()) return e.status();
  DBE_RETURN_IF_ERROR(goTop());
  found_ = false;
  while (!eof_) {
    auto r = e->test(ctx_);
    if (!r.isOk()) return r.status();
    if (r.value()) {
      found_ = true;
      return Status::ok();
    }
    DBE_RETURN_IF_ERROR(skip(1));
  }
  return Status::ok();
}

Result<std::uint32_t> TableArea::lastRec() {
  if (shared_) return table_->refreshRecordCount();
  return table_->recordCount();
}

// ---- fields ----

int TableArea::fieldCount() const {
  int n = 0;
  for (const auto& f : table_->schema().fields()) n += f.isSystem() ? 0 : 1;
  return n;
}

int TableArea::fieldPos(const std::string& name) const {
  const int idx = table_->schema().fieldIndex(name);
  return idx < 0 ? 0 : idx + 1;
}

FieldInfo TableArea::fieldInfo(int pos) const {
  FieldInfo info;
  if (pos < 1 || static_cast<std::size_t>(pos) > table_->schema().fieldCount()) return info;
  const dbf::Field& f = table_->schema().field(static_cast<std::size_t>(pos - 1));
  info.name = f.name;
  info.type = f.type;
  info.width = f.length;
  info.decimals = f.decimals;
  return info;
}

Result<rt::Value> TableArea::fieldGet(int pos) {
  if (pos < 1 || static_cast<std::size_t>(pos) > table_->schema().fieldCount()) {
    return Status::invalidArgument("field position " + std::to_string(pos) + " does not exist",
                                   table_->name());
  }
  const std::size_t i = static_cast<std::size_t>(pos - 1);
  if (table_->schema().field(i).isMemo()) {
    if (eof_) return rt::Value(std::string());
    return table_->value(rec_, i);
  }
  return rec_.value(i);
}

Status TableArea::requireWritable(const char* what) {
  if (readOnly_) return Status::readOnly(table_->name(), std::string("cannot ") + what +
                                                             ": the table is open read-only");
  if (const AreaTag* t = indexes_.unmaintainable()) {
    return Status::notSupported(t->file->name(), std::string("cannot ") + what + ": tag " +
                                                     t->name + " cannot be maintained here (" +
                                                     t->problem + ")");
  }
  return Status::ok();
}

Status TableArea::fieldPut(int pos, const rt::Value& value) {
  DBE_RETURN_IF_ERROR(requireWritable("change a field"));
  if (eof_) return Status::invalidArgument("no record to change: end of file", table_->name());
  if (shared_ && !table_->isRecordLocked(recno_) && !table_->isFileLocked()) {
    return Status::invalidArgument("record " + std::to_string(recno_) + " is not locked",
                                   table_->name());
  }
  if (pos < 1 || static_cast<std::size_t>(pos) > table_->schema().fieldCount()) {
    return Status::invalidArgument("field position " + std::to_string(pos) + " does not exist",
                                   table_->name());
  }
  if (!dirty_) before_ = rec_;
  DBE_RETURN_IF_ERROR(rec_.setValue(static_cast<std::size_t>(pos - 1), value));
  dirty_ = true;
  return Status::ok();
}

Result<rt::Value> TableArea::evaluate(const std::string& expression) {
  auto e = expr::compile(expression, ctx_);
  if (!e.isOk()) return e.status();
  return e->value(ctx_);
}

// ---- changes ----

Status TableArea::updateKeys(const dbf::Record& before, const dbf::Record& after,
                             bool onlyDeletedDependent) {
  beforeCtx_.setRecord(&before);
  AreaRecordContext afterCtx(table_.get(), &after, alias_);
  std::string oldKey, newKey;
  for (AreaTag& t : indexes_.tags()) {
    if (onlyDeletedDependent && !(t.forCond && t.forCond->usesDeleted())) continue;
    bool wasIn = true, isIn = true;
    DBE_RETURN_IF_ERROR(t.qualifies(beforeCtx_, &wasIn));
    DBE_RETURN_IF_ERROR(t.qualifies(afterCtx, &isIn));
    if (wasIn) DBE_RETURN_IF_ERROR(t.keyOf(beforeCtx_, &oldKey));
    if (isIn) DBE_RETURN_IF_ERROR(t.keyOf(afterCtx, &newKey));
    if (wasIn == isIn && (!wasIn || oldKey == newKey)) continue;
    if (wasIn) {
      Status s = t.tag->erase(oldKey, after.recno());
      // A unique tag holds only the first record of a key: another record's is not there.
      if (!s.isOk() && !(s.code() == Status::Code::kNotFound && t.tag->info().unique)) return s;
    }
    if (isIn) DBE_RETURN_IF_ERROR(t.tag->insert(newKey, after.recno()));
  }
  beforeCtx_.setRecord(&before_);
  return Status::ok();
}

Status TableArea::insertKeys(const dbf::Record& rec) {
  AreaRecordContext ctx(table_.get(), &rec, alias_);
  std::string key;
  for (AreaTag& t : indexes_.tags()) {
    bool in = true;
    DBE_RETURN_IF_ERROR(t.qualifies(ctx, &in));
    if (!in) continue;
    DBE_RETURN_IF_ERROR(t.keyOf(ctx, &key));
    DBE_RETURN_IF_ERROR(t.tag->insert(key, rec.recno()));
  }
  return Status::ok();
}

Status TableArea::flush() {
  if (!dirty_) return Status::ok();
  dirty_ = false;
  // The record first, then its keys (the order the other engines use).
  Status s = table_->write(rec_);
  if (!s.isOk()) {
    rec_ = before_;  // the table still holds the old record
    return s;
  }
  DBE_RETURN_IF_ERROR(updateKeys(before_, rec_, false));
  before_ = rec_;
  cursorOnRecord_ = false;
  return syncCursor();
}

Status TableArea::appendBlank() {
  DBE_RETURN_IF_ERROR(requireWritable("append"));
  DBE_RETURN_IF_ERROR(flush());
  rec_.blank();
  auto r = table_->append(rec_);
  if (!r.isOk()) {
    auto count = table_->refreshRecordCount();
    setEof(count.isOk() ? count.value() : 0);
    return r.status();
  }
  recno_ = r.value();
  eof_ = bof_ = found_ = false;
  cursorOnRecord_ = false;
  DBE_RETURN_IF_ERROR(insertKeys(rec_));
  return syncCursor();
}

Status TableArea::deleteRecord() {
  DBE_RETURN_IF_ERROR(requireWritable("delete"));
  if (eof_) return Status::ok();
  DBE_RETURN_IF_ERROR(flush());
  if (shared_ && !table_->isRecordLocked(recno_) && !table_->isFileLocked()) {
    return Status::invalidArgument("record " + std::to_string(recno_) + " is not locked",
                                   table_->name());
  }
  if (rec_.isDeleted()) return Status::ok();
  dbf::Record before = rec_;
  DBE_RETURN_IF_ERROR(table_->setDeleted(recno_, true));
  rec_.setDeleted(true);
  cursorOnRecord_ = false;
  return updateKeys(before, rec_, true);
}

Status TableArea::recall() {
  DBE_RETURN_IF_ERROR(requireWritable("recall"));
  if (eof_) return Status::ok();
  DBE_RETURN_IF_ERROR(flush());
  if (shared_ && !table_->isRecordLocked(recno_) && !table_->isFileLocked()) {
    return Status::invalidArgument("record " + std::to_string(recno_) + " is not locked",
                                   table_->name());
  }
  if (!rec_.isDeleted()) return Status::ok();
  dbf::Record before = rec_;
  DBE_RETURN_IF_ERROR(table_->setDeleted(recno_, false));
  rec_.setDeleted(false);
  cursorOnRecord_ = false;
  return updateKeys(before, rec_, true);
}

Status TableArea::lockRecord(bool* got) {
  *got = false;
  DBE_RETURN_IF_ERROR(flush());
  if (eof_) {
    // There is no record to lock at end of file; the lock routines report the refusal.
    return Status::ok();
  }
  if (!shared_) {
    *got = true;
    return Status::ok();
  }
  Status s = table_->lockRecord(recno_);
  if (s.code() == Status::Code::kBusy) return Status::ok();
  DBE_RETURN_IF_ERROR(s);
  *got = true;
  // Re-read under the lock: another station may have changed the record since we read it.
  return readRecord(recno_);
}

Status TableArea::lockFile(bool* got) {
  *got = false;
  DBE_RETURN_IF_ERROR(flush());
  if (!shared_) {
    *got = true;
    return Status::ok();
  }
  Status s = table_->lockFile();
  if (s.code() == Status::Code::kBusy) return Status::ok();
  DBE_RETURN_IF_ERROR(s);
  *got = true;
  if (!eof_) return readRecord(recno_);
  return Status::ok();
}

Status TableArea::unlock() {
  Status s = flush();
  Status u = table_ ? table_->unlockAll() : Status::ok();
  return s.isOk() ? u : s;
}

Status TableArea::commit() {
  DBE_RETURN_IF_ERROR(flush());
  return table_->flush();
}

Status TableArea::close() {
  if (!table_) return Status::ok();
  Status s = flush();
  cursor_.reset();
  order_ = nullptr;
  indexes_.closeAll();
  Status c = table_->close();
  table_.reset();
  return s.isOk() ? c : s;
}

}  // namespace dbe
