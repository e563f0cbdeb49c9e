#include "area_index.h"

#include <cctype>
#include <cmath>

namespace dbe {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

Status keyFromView(const AreaTag& t, const expr::ValueView& v, std::string* out) {
  switch (t.keyType) {
    case cdx::KeyType::kCharacter:
      if (v.type != expr::Type::kText) break;
      *out = cdx::characterKey(v.text, t.keyLength);
      return Status::ok();
    case cdx::KeyType::kNumeric:
      if (v.type != expr::Type::kNumber) break;
      *out = cdx::numericKey(v.number);
      return Status::ok();
    case cdx::KeyType::kDate:
      if (v.type != expr::Type::kDate) break;
      *out = cdx::dateKey(v.date.julian);
      return Status::ok();
    case cdx::KeyType::kInteger:
      if (v.type != expr::Type::kNumber) break;
      *out = cdx::integerKey(static_cast<std::int32_t>(std::llround(v.number)));
      return Status::ok();
    case cdx::KeyType::kLogical:
      if (v.type != expr::Type::kLogical) break;
      *out = cdx::logicalKey(v.logical);
      return Status::ok();
  }
  return Status::invalidArgument("tag " + t.name + ": the key expression '" +
                                 (t.key ? t.key->text() : std::string()) +
                                 "' gave a value of another type than the tag's keys");
}

}  // namespace

Status AreaTag::keyOf(AreaRecordContext& ctx, std::string* out) {
  if (!key) return Status::notSupported(file ? file->name() : "", "tag " + name + ": " + problem);
  expr::ValueView v;
  DBE_RETURN_IF_ERROR(key->evaluate(ctx, &v));
  return keyFromView(*this, v, out);
}

Status AreaTag::qualifies(AreaRecordContext& ctx, bool* out) {
  if (!forCond) {
    *out = true;
    return Status::ok();
  }
  Result<bool> r = forCond->test(ctx);
  if (!r.isOk()) return r.status();
  *out = r.value();
  return Status::ok();
}

cdx::KeyType keyTypeOf(const expr::Expression& e, const dbf::TableSchema& schema) {
  if (const expr::FieldInfo* f = e.singleField()) {
    const std::size_t idx = f->handle & 0xFFFF;
    if ((f->handle >> 16) == 0 && idx < schema.fieldCount() &&
        schema.field(idx).type == dbf::field_type::kInteger) {
      return cdx::KeyType::kInteger;
    }
  }
  switch (e.type().type) {
    case expr::Type::kNumber: return cdx::KeyType::kNumeric;
    case expr::Type::kDate: return cdx::KeyType::kDate;
    case expr::Type::kLogical: return cdx::KeyType::kLogical;
    default: return cdx::KeyType::kCharacter;
  }
}

Status seekKeyFor(const AreaTag& t, const rt::Value& v, std::string* out) {
  switch (t.keyType) {
    case cdx::KeyType::kCharacter:
      if (!v.isText()) break;
      *out = v.text().substr(0, t.keyLength);
      return Status::ok();
    case cdx::KeyType::kNumeric:
      if (!v.isNumber()) break;
      *out = cdx::numericKey(v.number());
      return Status::ok();
    case cdx::KeyType::kInteger:
      if (!v.isNumber()) break;
      *out = cdx::integerKey(static_cast<std::int32_t>(std::llround(v.number())));
      return Status::ok();
    case cdx::KeyType::kDate:
      if (!v.isDate()) break;
      *out = cdx::dateKey(v.date().julian);
      return Status::ok();
    case cdx::KeyType::kLogical:
      if (!v.isLogical()) break;
      *out = cdx::logicalKey(v.logical());
      return Status::ok();
  }
  return Status::invalidArgument(std::string("seek: a ") + rt::Value::kindName(v.kind()) +
                                 " value cannot be sought in tag " + t.name + " (" +
                                 cdx::keyTypeName(t.keyType) + " keys)");
}

bool AreaIndexes::isOpen(const std::filesystem::path& path) const {
  for (const auto& f : files_) {
    std::error_code ec;
    if (f.path == path || std::filesystem::equivalent(f.path, path, ec)) return true;
  }
  return false;
}

AreaTag* AreaIndexes::find(const std::string& name) {
  const std::string n = upper(name);
  for (auto& t : tags_) {
    if (t.name == n) return &t;
  }
  return nullptr;
}

const AreaTag* AreaIndexes::unmaintainable() const {
  for (const auto& t : tags_) {
    if (!t.problem.empty()) return &t;
  }
  return nullptr;
}

Status AreaIndexes::add(FileSystem* fs, const std::filesystem::path& path, bool shared,
                        bool readOnly, AreaRecordContext& ctx, const dbf::TableSchema& schema) {
  if (isOpen(path)) return Status::ok();
  auto file = fs->open(path, readOnly ? OpenAccess::kReadOnly : OpenAccess::kReadWrite,
                       shared ? ShareMode::kShared : ShareMode::kExclusive);
  if (!file.isOk()) return file.status();
  cdx::IndexOptions opt;
  opt.shared = shared;
  opt.readOnly = readOnly;
  // Every FoxPro-compatible writer we share files with bumps the update counter, so pages may
  // stay cached while the counter and the free-list head are unchanged.
  opt.sharedCache = cdx::SharedCache::kWhileCounterUnchanged;
  auto cdx = cdx::CdxFile::open(std::move(file).value(), opt);
  if (!cdx.isOk()) return cdx.status();
  files_.push_back({path, std::move(cdx).value()});
  return loadTags(files_.back().file.get(), ctx, schema);
}

Status AreaIndexes::createFile(FileSystem* fs, const std::filesystem::path& path,
                               AreaRecordContext& ctx, const dbf::TableSchema& schema) {
  auto file = fs->create(path, ShareMode::kExclusive, /*overwrite=*/true);
  if (!file.isOk()) return file.status();
  cdx::IndexOptions opt;
  opt.shared = false;
  auto cdx = cdx::CdxFile::create(std::move(file).value(), opt);
  if (!cdx.isOk()) return cdx.status();
  files_.push_back({path, std::move(cdx).value()});
  return loadTags(files_.back().file.get(), ctx, schema);
}

Status AreaIndexes::reload(cdx::CdxFile* file, AreaRecordContext& ctx,
                           const dbf::TableSchema& schema) {
  std::erase_if(tags_, [&](const AreaTag& t) { return t.file == file; });
  return loadTags(file, ctx, schema);
}

Status AreaIndexes::loadTags(cdx::CdxFile* file, AreaRecordContext& ctx,
                             const dbf::TableSchema& schema) {
  for (const cdx::TagInfo& info : file->tags()) {
    AreaTag t;
    t.file = file;
    t.name = info.name;
    t.keyLength = info.keyLength;
    if (!info.machineCollation()) {
      t.problem = "collation " + info.collation + " is not supported";
    }
    auto key = expr::compile(info.keyExpression, ctx);
    if (!key.isOk()) {
      t.problem = key.status().detail();
    } else {
      t.keyType = keyTypeOf(key.value(), schema);
      t.key = std::move(key).value();
    }
    if (info.hasFor && !info.forExpression.empty()) {
      expr::CompileOptions copt;
      copt.requireLogical = true;
      auto cond = expr::compile(info.forExpression, ctx, copt);
      if (!cond.isOk()) {
        t.problem = cond.status().detail();
      } else {
        t.forCond = std::move(cond).value();
      }
    }
    if (t.key) {
      auto tag = file->tag(info.name, t.keyType);
      if (!tag.isOk()) {
        if (tag.status().code() == Status::Code::kCorruption) return tag.status();
        t.problem = tag.status().detail();
      } else {
        t.tag = tag.value();
      }
    }
    tags_.push_back(std::move(t));
  }
  return Status::ok();
}

}  // namespace dbe
