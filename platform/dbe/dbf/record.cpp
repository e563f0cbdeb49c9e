#include "record.h"

#include <algorithm>
#include <cstring>

namespace dbe::dbf {

Record::Record(std::shared_ptr<const TableSchema> schema)
    : schema_(std::move(schema)), bytes_(schema_->recordLength()) {
  blank();
}

void Record::blank() {
  bytes_[0] = std::byte{' '};
  for (const Field& f : schema_->fields()) {
    blankField(f, std::span(bytes_).subspan(f.offset, f.length));
  }
  pending_.clear();
}

std::span<const std::byte> Record::fieldBytes(std::size_t i) const {
  const Field& f = schema_->field(i);
  return std::span<const std::byte>(bytes_).subspan(f.offset, f.length);
}

std::span<std::byte> Record::mutableField(std::size_t i) {
  const Field& f = schema_->field(i);
  return std::span(bytes_).subspan(f.offset, f.length);
}

bool Record::nullFlagBit(int bit) const {
  const int nf = schema_->nullFlagsField();
  if (nf < 0 || bit < 0) return false;
  const Field& flags = schema_->field(static_cast<std::size_t>(nf));
  const auto b = std::to_integer<unsigned>(bytes_[flags.offset + static_cast<unsigned>(bit >> 3)]);
  return (b & (1u << (bit & 7))) != 0;
}

void Record::setNullFlagBit(int bit, bool on) {
  const int nf = schema_->nullFlagsField();
  if (nf < 0 || bit < 0) return;
  const Field& flags = schema_->field(static_cast<std::size_t>(nf));
  std::byte& b = bytes_[flags.offset + static_cast<unsigned>(bit >> 3)];
  const auto mask = std::byte{static_cast<unsigned char>(1u << (bit & 7))};
  b = on ? (b | mask) : (b & ~mask);
}

bool Record::isNull(std::size_t i) const { return nullFlagBit(schema_->field(i).nullBit); }

Result<rt::Value> Record::value(std::size_t i) const {
  const Field& f = schema_->field(i);
  if (f.isMemo()) {
    for (const PendingMemo& p : pending_) {
      if (p.field == i) return rt::Value(p.text);
    }
    return Status::invalidArgument("memo field " + f.name + " is read through the table");
  }
  if (isNull(i)) return rt::Value();
  std::span<const std::byte> raw = fieldBytes(i);
  if (nullFlagBit(f.lengthBit) && !raw.empty()) {
    // VFP varchar shorter than its field: the used length is in the last byte.
    const std::size_t used = std::to_integer<std::size_t>(raw.back());
    raw = raw.first(std::min(used, raw.size() - 1));
  }
  return decodeField(f, raw);
}

Result<DateTime> Record::dateTime(std::size_t i) const {
  const Field& f = schema_->field(i);
  if (f.type == field_type::kDateTime) return decodeDateTime(fieldBytes(i));
  if (f.type == field_type::kDate) {
    DateTime dt;
    dt.date = decodeField(f, fieldBytes(i)).date();
    return dt;
  }
  return Status::invalidArgument("field " + f.name + " holds no date and time");
}

Status Record::setValue(std::size_t i, const rt::Value& v) {
  const Field& f = schema_->field(i);
  if (v.isNil() && f.nullBit >= 0) return setNull(i, true);
  if (f.isMemo()) {
    if (!v.isText()) {
      return Status::invalidArgument("data type mismatch: memo field " + f.name +
                                     " takes text, not " + rt::Value::kindName(v.kind()));
    }
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [i](const PendingMemo& p) { return p.field == i; });
    if (it != pending_.end()) {
      it->text = v.text();
    } else {
      pending_.push_back({i, v.text()});
    }
    setNullFlagBit(f.nullBit, false);
    return Status::ok();
  }
  // Encode into a copy first, so that a refused value leaves the buffer as it was.
  std::byte scratch[256];
  std::vector<std::byte> big;
  std::span<std::byte> out;
  if (f.length <= sizeof scratch) {
    out = std::span<std::byte>(scratch, f.length);
  } else {
    big.resize(f.length);
    out = big;
  }
  std::span<std::byte> dst = mutableField(i);
  std::memcpy(out.data(), dst.data(), dst.size());
  DBE_RETURN_IF_ERROR(encodeField(f, v, out));
  std::memcpy(dst.data(), out.data(), out.size());
  setNullFlagBit(f.nullBit, false);
  // A VFP varchar written by us always fills its field (padded), so no length byte is used.
  setNullFlagBit(f.lengthBit, false);
  return Status::ok();
}

Status Record::setNull(std::size_t i, bool null) {
  const Field& f = schema_->field(i);
  if (f.nullBit < 0) return Status::invalidArgument("field " + f.name + " cannot be NULL");
  setNullFlagBit(f.nullBit, null);
  if (null) blankField(f, mutableField(i));
  return Status::ok();
}

Result<std::uint32_t> Record::memoBlock(std::size_t i) const {
  return decodeMemoPointer(schema_->field(i), fieldBytes(i));
}

void Record::setMemoBlock(std::size_t i, std::uint32_t block) {
  encodeMemoPointer(schema_->field(i), block, mutableField(i));
}

}  // namespace dbe::dbf
