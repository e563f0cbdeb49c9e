#include "record_context.h"

#include <cctype>

#include "dbe/area/work_area.h"
#include "dbe/area/workspace_internal.h"

namespace dbe {

namespace {

bool sameFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

constexpr std::uint32_t kFieldMask = 0xFFFF;

}  // namespace

AreaRecordContext::AreaRecordContext(dbf::Table* table, const dbf::Record* record,
                                     std::string alias)
    : table_(table), record_(record), alias_(std::move(alias)) {}

expr::Type AreaRecordContext::typeOf(char t) {
  switch (t) {
    case dbf::field_type::kNumeric:
    case dbf::field_type::kFloat:
    case dbf::field_type::kInteger:
    case dbf::field_type::kDouble:
    case dbf::field_type::kCurrency:
      return expr::Type::kNumber;
    case dbf::field_type::kDate:
    case dbf::field_type::kDateTime:
      return expr::Type::kDate;
    case dbf::field_type::kLogical:
      return expr::Type::kLogical;
    default:
      return expr::Type::kText;
  }
}

expr::RecordContext::Lookup AreaRecordContext::resolveField(std::string_view alias,
                                                            std::string_view name,
                                                            expr::FieldInfo* info) const {
  const dbf::TableSchema* schema = &table_->schema();
  std::uint32_t areaPart = 0;
  if (!alias.empty() && !sameFolded(alias, alias_)) {
    const int other = workspace::areaOfAlias(std::string(alias));
    if (other == 0) return Lookup::kNoSuchAlias;
    const dbf::Table* t = internal::tableOfArea(other);
    if (t == nullptr) return Lookup::kNoSuchAlias;
    schema = &t->schema();
    areaPart = static_cast<std::uint32_t>(other + 1) << 16;
  }
  const int idx = schema->fieldIndex(name);
  if (idx < 0) return Lookup::kNoSuchField;
  const dbf::Field& f = schema->field(static_cast<size_t>(idx));
  info->handle = areaPart | static_cast<std::uint32_t>(idx);
  info->type = typeOf(f.type);
  info->length = info->type == expr::Type::kText && !f.isMemo() ? f.length
                                                                : expr::kVariableLength;
  if (info->type == expr::Type::kNumber || info->type == expr::Type::kDate) info->length = 8;
  if (info->type == expr::Type::kLogical) info->length = 1;
  return Lookup::kFound;
}

Status AreaRecordContext::fieldValue(expr::FieldHandle handle, std::string* scratch,
                                     expr::ValueView* out) {
  const size_t idx = handle & kFieldMask;
  const int otherArea = static_cast<int>(handle >> 16) - 1;
  dbf::Table* table = table_;
  const dbf::Record* record = record_;
  if (otherArea > 0) {
    table = internal::tableOfArea(otherArea);
    record = internal::recordOfArea(otherArea);
    if (table == nullptr || record == nullptr) {
      return Status::invalidArgument("work area " + std::to_string(otherArea) +
                                     " is no longer in use");
    }
  }
  const dbf::Field& f = record->schema().field(idx);
  if (f.type == dbf::field_type::kCharacter && !record->isNull(idx)) {
    // The hot path of index keys: the text straight from the record buffer.
    auto raw = record->fieldBytes(idx);
    *out = expr::ValueView::ofText(
        std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()));
    return Status::ok();
  }
  Result<rt::Value> v = f.isMemo() ? table->value(*record, idx) : record->value(idx);
  if (!v.isOk()) return v.status();
  const rt::Value& val = v.value();
  switch (val.kind()) {
    case rt::Value::Kind::kText:
      *scratch = val.text();
      *out = expr::ValueView::ofText(*scratch);
      break;
    case rt::Value::Kind::kNumber: *out = expr::ValueView::ofNumber(val.number()); break;
    case rt::Value::Kind::kLogical: *out = expr::ValueView::ofLogical(val.logical()); break;
    case rt::Value::Kind::kDate: *out = expr::ValueView::ofDate(val.date()); break;
    case rt::Value::Kind::kNil:
      // A NULL value: its type's blank.
      switch (typeOf(f.type)) {
        case expr::Type::kNumber: *out = expr::ValueView::ofNumber(0); break;
        case expr::Type::kLogical: *out = expr::ValueView::ofLogical(false); break;
        case expr::Type::kDate: *out = expr::ValueView::ofDate({}); break;
        default:
          scratch->assign(f.isMemo() ? 0 : f.length, ' ');
          *out = expr::ValueView::ofText(*scratch);
      }
      break;
    default:
      return Status::notSupported(table->name(), "field " + f.name + " has no expression value");
  }
  return Status::ok();
}

}  // namespace dbe
