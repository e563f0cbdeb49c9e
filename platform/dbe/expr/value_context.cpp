#include "value_context.h"

#include <utility>

namespace dbe::expr {

namespace {

std::string upperAscii(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

}  // namespace

ValueRecordContext::ValueRecordContext(std::string_view alias) : alias_(upperAscii(alias)) {}

FieldHandle ValueRecordContext::addField(std::string_view name, Type type, int length,
                                         std::string_view alias) {
  std::string a = upperAscii(alias);
  if (a == alias_) a.clear();
  fields_.push_back(Field{std::move(a), upperAscii(name), type, length, rt::Value::nil()});
  return static_cast<FieldHandle>(fields_.size() - 1);
}

void ValueRecordContext::set(FieldHandle field, rt::Value value) {
  if (field >= fields_.size()) return;  // not a handle of this context
  Field& f = fields_[field];
  if (value.isText() && f.type == Type::kText && f.length >= 0) {
    std::string s = value.text();
    s.resize(static_cast<std::size_t>(f.length), ' ');
    value = rt::Value(std::move(s));
  }
  f.value = std::move(value);
}

RecordContext::Lookup ValueRecordContext::resolveField(std::string_view alias,
                                                       std::string_view name,
                                                       FieldInfo* info) const {
  std::string a = upperAscii(alias);
  if (a == alias_) a.clear();
  const std::string n = upperAscii(name);
  bool aliasKnown = a.empty();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const Field& f = fields_[i];
    if (f.alias != a) continue;
    aliasKnown = true;
    if (f.name == n) {
      *info = FieldInfo{static_cast<FieldHandle>(i), f.type, f.length};
      return Lookup::kFound;
    }
  }
  return aliasKnown ? Lookup::kNoSuchField : Lookup::kNoSuchAlias;
}

Status ValueRecordContext::fieldValue(FieldHandle field, std::string* scratch, ValueView* out) {
  (void)scratch;  // the values live here, so texts are lent directly
  if (field >= fields_.size()) return Status::invalidArgument("no field with this handle");
  const Field& f = fields_[field];
  const rt::Value& v = f.value;
  switch (v.kind()) {
    case rt::Value::Kind::kText:
      *out = ValueView::ofText(v.text());
      return Status::ok();
    case rt::Value::Kind::kNumber:
      *out = ValueView::ofNumber(v.number());
      return Status::ok();
    case rt::Value::Kind::kLogical:
      *out = ValueView::ofLogical(v.logical());
      return Status::ok();
    case rt::Value::Kind::kDate:
      *out = ValueView::ofDate(v.date());
      return Status::ok();
    default:
      break;
  }
  return Status::invalidArgument("field " + f.name + " holds no value of its type");
}

}  // namespace dbe::expr
