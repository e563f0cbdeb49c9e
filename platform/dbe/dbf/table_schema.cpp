// Decoder and encoder of the .dbf header.
//
// Table header (little-endian):
//   OFFSET  SIZE  MEANING
//        0     1  version: 0x02 0x03 0xFB FoxBASE/FoxPro, 0x30-0x32 Visual FoxPro, 0xF5 FoxPro with
//                 .fpt memo, 0x83 0x8B 0xCB dBASE with .dbt memo, 0x43 0x63 dBASE IV SQL
//        1     3  date of last update: year, month, day (year < 100: 2000+; else 1900+)
//        4     4  record count
//        8     2  header length = offset of record 1
//       10     2  record length, including the deletion flag byte
//       12    16  reserved (dBASE transaction/encryption/multi-user bytes)
//       28     1  table flags: 0x01 structural .cdx, 0x02 memo (VFP), 0x04 database container
//       29     1  code-page mark
//       30     2  reserved
//       32  32*n  field descriptors, ended by a 0x0D byte (or by the header length)
//        .   263  VFP only: backlink to the owning .dbc (zeros for a free table)
//
// Field descriptor:
//   OFFSET  SIZE  MEANING
//        0    11  name, ASCII, ended and padded by NULs
//       11     1  type letter
//       12     4  VFP: offset of the field in the record; others: 0 or garbage (ignored)
//       16     1  length
//       17     1  decimals (N F B Y); for C fields of non-VFP tables possibly the high byte of a
//                 length above 255 (Clipper's long character fields)
//       18     1  VFP field flags: 0x01 system, 0x02 nullable, 0x04 binary, 0x08 autoincrement
//       19     4  VFP autoincrement next value
//       23     1  VFP autoincrement step
//       24     8  reserved
//
// Garbage in bytes 12-31 of non-VFP descriptors is normal (some writers never clear them), so
// those bytes are read only for VFP tables. Field offsets are computed from the lengths, never
// taken from bytes 12-15.
#include "table_schema.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"

namespace dbe::dbf {

namespace {

constexpr std::size_t kPrefixSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kBacklinkSize = 263;
constexpr std::byte kTerminator{0x0D};
constexpr std::size_t kMaxFields = 255;

std::string hex2(unsigned v) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  s += kDigits[(v >> 4) & 0xF];
  s += kDigits[v & 0xF];
  return s;
}

bool isKnownType(char t) {
  return std::string_view("CNFDLMGPIBYTVQW0").find(t) != std::string_view::npos;
}

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  }
  return true;
}

// The length rule of one field type; empty when the field is fine.
std::string checkFieldShape(const Field& f, bool vfp) {
  const auto len = f.length;
  switch (f.type) {
    case field_type::kCharacter:
      return len >= 1 ? "" : "length 0";
    case field_type::kVarchar:
    case field_type::kVarbinary:
      return len >= 1 && len <= 254 ? "" : "length " + std::to_string(len) + " (1-254 allowed)";
    case field_type::kNumeric:
    case field_type::kFloat:
      if (len < 1 || len > 20) return "length " + std::to_string(len) + " (1-20 allowed)";
      if (f.decimals > 0 && f.decimals >= len) {
        return std::to_string(f.decimals) + " decimals in a width of " + std::to_string(len);
      }
      return "";
    case field_type::kDate:
      return len == 8 ? "" : "length " + std::to_string(len) + " (8 expected)";
    case field_type::kLogical:
      return len == 1 ? "" : "length " + std::to_string(len) + " (1 expected)";
    case field_type::kMemo:
    case field_type::kGeneral:
    case field_type::kPicture:
      return len == 10 || len == 4 ? "" : "length " + std::to_string(len) + " (10 or 4 expected)";
    case field_type::kBlob:
    case field_type::kInteger:
      return len == 4 ? "" : "length " + std::to_string(len) + " (4 expected)";
    case field_type::kDouble:
    case field_type::kCurrency:
    case field_type::kDateTime:
      return len == 8 ? "" : "length " + std::to_string(len) + " (8 expected)";
    case field_type::kNullFlags:
      return vfp ? "" : "a _NullFlags field outside a Visual FoxPro table";
    default:
      return "unknown type";
  }
}

}  // namespace

bool Field::isMemo() const {
  return type == field_type::kMemo || type == field_type::kGeneral ||
         type == field_type::kPicture || type == field_type::kBlob;
}

bool TableSchema::hasMemoFields() const {
  return std::any_of(fields_.begin(), fields_.end(), [](const Field& f) { return f.isMemo(); });
}

int TableSchema::fieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (sameName(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Result<std::uint16_t> TableSchema::headerLength(std::span<const std::byte> first32,
                                                const std::string& file) {
  const std::uint8_t version = byteAt(&first32[0]);
  switch (version) {
    case 0x02: case 0x03: case 0xFB: case 0x30: case 0x31: case 0x32:
    case 0x43: case 0x63: case 0x83: case 0x8B: case 0xCB: case 0xF5:
      break;
    case 0x06: case 0x86: case 0xE6: case 0xF6:
      return Status::notSupported(file, "the table is encrypted (version " + hex2(version) + ")");
    case 0x07: case 0x87: case 0xE5: case 0x7B:
      return Status::notSupported(file, "table version " + hex2(version) +
                                            " of another engine is not supported");
    default:
      return Status::corruption(file, "not a table: unknown version byte " + hex2(version));
  }
  const std::uint16_t hl = getLe16(&first32[8]);
  // The smallest possible header holds one descriptor (the terminator may be missing).
  if (hl < kPrefixSize + kDescriptorSize) {
    return Status::corruption(file, "header length " + std::to_string(hl) +
                                        " is too small for a table with fields");
  }
  return hl;
}

Result<TableSchema> TableSchema::parse(std::span<const std::byte> header, const std::string& file) {
  if (header.size() < kPrefixSize) return Status::corruption(file, "header is cut short");
  Result<std::uint16_t> hl = headerLength(header.first(kPrefixSize), file);
  if (!hl.isOk()) return hl.status();
  if (header.size() < *hl) return Status::corruption(file, "header is cut short");

  TableSchema s;
  s.version_ = byteAt(&header[0]);
  s.headerLength_ = *hl;
  s.recordLength_ = getLe16(&header[10]);
  s.tableFlags_ = byteAt(&header[28]);
  s.codePageMark_ = byteAt(&header[29]);
  s.raw_.assign(header.begin(), header.begin() + *hl);
  const bool vfp = s.isVfp();

  const std::size_t slots = (*hl - kPrefixSize) / kDescriptorSize;
  for (std::size_t i = 0; i < slots; ++i) {
    const std::byte* d = header.data() + kPrefixSize + i * kDescriptorSize;
    if (d[0] == kTerminator) break;
    if (s.fields_.size() == kMaxFields) {
      return Status::corruption(file, "more than 255 field descriptors (no 0x0D terminator)");
    }
    Field f;
    const char* nameBytes = reinterpret_cast<const char*>(d);
    f.name.assign(nameBytes, strnlen(nameBytes, 11));
    const std::string which = "field " + std::to_string(i + 1);
    if (f.name.empty()) return Status::corruption(file, which + " has no name");
    // Names end with a NUL inside their 11 bytes: eleven characters are not a name any
    // writer makes, and the layers above hold names of ten characters at most.
    if (f.name.size() > 10) {
      return Status::corruption(file, which + " has a name of 11 characters without an end");
    }
    for (char c : f.name) {
      if (c <= 0x20 || c >= 0x7F) {
        return Status::corruption(file, which + " has a name with invalid characters");
      }
    }
    f.type = upperAscii(static_cast<char>(d[11]));
    if (!isKnownType(f.type)) {
      const auto raw = std::to_integer<unsigned>(d[11]);
      std::string shown = raw >= 0x21 && raw < 0x7F ? std::string("'") + static_cast<char>(raw) + "'"
                                                   : hex2(raw);
      return Status::corruption(file, "field " + f.name + " has unknown type " + shown);
    }
    f.length = byteAt(&d[16]);
    f.decimals = byteAt(&d[17]);
    if (vfp) f.flags = byteAt(&d[18]);
    if (s.fieldIndex(f.name) >= 0) {
      return Status::corruption(file, "two fields are named " + f.name);
    }
    s.fields_.push_back(std::move(f));
  }
  if (s.fields_.empty()) return Status::corruption(file, "the table has no fields");
  DBE_RETURN_IF_ERROR(s.layOut(file));
  return s;
}

// Computes offsets and null bits and checks every field and the record length.
Status TableSchema::layOut(const std::string& file) {
  const bool vfp = isVfp();
  auto sumLengths = [this](bool longChar) {
    std::uint64_t sum = 1;
    for (const Field& f : fields_) {
      sum += f.type == field_type::kCharacter && longChar && !isVfp()
                 ? f.length + 256u * f.decimals
                 : f.length;
    }
    return sum;
  };
  // Clipper's long character fields keep the high byte of the length in the decimals byte.
  // Only take that reading when the plain one does not add up and this one does.
  if (!vfp && sumLengths(false) != recordLength_ && sumLengths(true) == recordLength_) {
    for (Field& f : fields_) {
      if (f.type == field_type::kCharacter) {
        f.length = static_cast<std::uint16_t>(f.length + 256u * f.decimals);
        f.decimals = 0;
      }
    }
  }
  std::uint32_t offset = 1;
  int bit = 0;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    Field& f = fields_[i];
    if (std::string problem = checkFieldShape(f, vfp); !problem.empty()) {
      return Status::corruption(file, "field " + f.name + " (" + std::string(1, f.type) +
                                          "): " + problem);
    }
    if (f.type == field_type::kCharacter || f.type == field_type::kDate ||
        f.type == field_type::kLogical || f.type == field_type::kInteger ||
        f.type == field_type::kDateTime || f.isMemo()) {
      f.decimals = 0;
    }
    f.offset = offset;
    offset += f.length;
    if (f.type == field_type::kNullFlags) {
      if (nullFlagsField_ >= 0) return Status::corruption(file, "two _NullFlags fields");
      nullFlagsField_ = static_cast<int>(i);
      continue;
    }
    if (vfp && (f.type == field_type::kVarchar || f.type == field_type::kVarbinary)) {
      f.lengthBit = bit++;
    }
    if (vfp && (f.flags & kFieldNullable) != 0) f.nullBit = bit++;
  }
  if (offset != recordLength_) {
    return Status::corruption(file, "record length " + std::to_string(recordLength_) +
                                        " does not match the fields (" + std::to_string(offset) +
                                        " bytes)");
  }
  if (bit > 0) {
    // Without a _NullFlags column wide enough the bits have nowhere to live: the flags bytes
    // were not what VFP writes, so the fields are read as plain ones.
    if (nullFlagsField_ < 0 || fields_[static_cast<std::size_t>(nullFlagsField_)].length * 8 < bit) {
      for (Field& f : fields_) f.nullBit = f.lengthBit = -1;
    }
  }
  if (!hasMemoFields()) {
    memoKind_ = MemoKind::kNone;
  } else if (version_ == 0x83 || version_ == 0x8B || version_ == 0xCB) {
    memoKind_ = MemoKind::kDbt;
  } else {
    memoKind_ = MemoKind::kFpt;
  }
  return Status::ok();
}

Result<TableSchema> TableSchema::fromSpecs(const std::vector<FieldSpec>& specs, TableFormat format,
                                           bool structuralIndex, std::uint8_t codePageMark) {
  const bool vfp = format == TableFormat::kVisualFoxPro;
  if (specs.empty()) return Status::invalidArgument("a table needs at least one field");
  if (specs.size() > kMaxFields) return Status::invalidArgument("more than 255 fields");
  TableSchema s;
  s.codePageMark_ = codePageMark;
  bool memo = false;
  for (const FieldSpec& spec : specs) {
    const std::string what = "field " + (spec.name.empty() ? std::string("(no name)") : spec.name);
    if (spec.name.empty() || spec.name.size() > 10) {
      return Status::invalidArgument(what + ": a name has 1 to 10 characters");
    }
    const char first = upperAscii(spec.name[0]);
    if (first < 'A' || first > 'Z') return Status::invalidArgument(what + ": starts with a letter");
    Field f;
    for (char c : spec.name) {
      const char u = upperAscii(c);
      if (!((u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_')) {
        return Status::invalidArgument(what + ": only letters, digits and '_' are allowed");
      }
      f.name += u;
    }
    if (s.fieldIndex(f.name) >= 0) return Status::invalidArgument(what + ": the name is taken");
    f.type = upperAscii(spec.type);
    const std::string_view allowed = vfp ? "CNFDLMGPIBYT" : "CNFDLMGP";
    if (allowed.find(f.type) == std::string_view::npos) {
      return Status::invalidArgument(what + ": type '" + std::string(1, spec.type) +
                                     "' is not available in this table format");
    }
    int fixed = 0;
    switch (f.type) {
      case 'D': case 'B': case 'Y': case 'T': fixed = 8; break;
      case 'L': fixed = 1; break;
      case 'I': fixed = 4; break;
      case 'M': case 'G': case 'P': fixed = vfp ? 4 : 10; break;
      default: break;
    }
    int length = spec.length;
    if (fixed != 0) {
      if (length != 0 && length != fixed) {
        return Status::invalidArgument(what + ": type " + std::string(1, f.type) + " has width " +
                                       std::to_string(fixed));
      }
      length = fixed;
    }
    const int maxLength = f.type == 'C' ? 254 : (f.type == 'N' || f.type == 'F') ? 20 : fixed;
    if (length < 1 || length > maxLength) {
      return Status::invalidArgument(what + ": width " + std::to_string(length) +
                                     " is outside 1-" + std::to_string(maxLength));
    }
    const bool hasDecimals = f.type == 'N' || f.type == 'F' || (vfp && f.type == 'B');
    if (spec.decimals < 0 || (!hasDecimals && spec.decimals != 0) ||
        (spec.decimals > 0 && (f.type == 'N' || f.type == 'F') && spec.decimals > length - 2) ||
        spec.decimals > 18) {
      return Status::invalidArgument(what + ": " + std::to_string(spec.decimals) +
                                     " decimals do not fit width " + std::to_string(length));
    }
    f.length = static_cast<std::uint16_t>(length);
    f.decimals = static_cast<std::uint8_t>(spec.decimals);
    if (f.type == 'Y' && vfp) f.decimals = 4;
    memo = memo || f.isMemo();
    s.fields_.push_back(std::move(f));
  }
  std::uint32_t recordLength = 1;
  for (const Field& f : s.fields_) recordLength += f.length;
  if (recordLength > 65500) return Status::invalidArgument("the record is longer than 65500 bytes");
  s.recordLength_ = static_cast<std::uint16_t>(recordLength);
  s.version_ = vfp ? 0x30 : (memo ? 0xF5 : 0x03);
  s.tableFlags_ = static_cast<std::uint8_t>((structuralIndex ? kTableHasStructuralIndex : 0) |
                                            (vfp && memo ? kTableHasMemo : 0));
  const std::size_t hl = kPrefixSize + kDescriptorSize * s.fields_.size() + 1 +
                         (vfp ? kBacklinkSize : 0);
  s.headerLength_ = static_cast<std::uint16_t>(hl);

  // The raw header: prefix, descriptors, terminator, backlink.
  s.raw_.assign(hl, std::byte{0});
  std::byte* h = s.raw_.data();
  h[0] = static_cast<std::byte>(s.version_);
  putLe16(h + 8, s.headerLength_);
  putLe16(h + 10, s.recordLength_);
  h[28] = static_cast<std::byte>(s.tableFlags_);
  h[29] = static_cast<std::byte>(codePageMark);
  std::uint32_t offset = 1;
  for (std::size_t i = 0; i < s.fields_.size(); ++i) {
    const Field& f = s.fields_[i];
    std::byte* d = h + kPrefixSize + i * kDescriptorSize;
    std::memcpy(d, f.name.data(), f.name.size());
    d[11] = static_cast<std::byte>(f.type);
    if (vfp) putLe32(d + 12, offset);
    d[16] = static_cast<std::byte>(f.length);
    d[17] = static_cast<std::byte>(f.decimals);
    if (vfp && (f.type == 'M' || f.type == 'G' || f.type == 'P')) {
      d[18] = static_cast<std::byte>(kFieldBinary);  // memo pointers are binary in VFP
    }
    offset += f.length;
  }
  h[kPrefixSize + kDescriptorSize * s.fields_.size()] = kTerminator;
  Result<TableSchema> parsed = parse(s.raw_, "(new table)");
  if (!parsed.isOk()) {
    return Status::invalidArgument("field list gives an invalid header: " +
                                   parsed.status().detail());
  }
  return parsed;
}

std::vector<std::byte> TableSchema::encode(std::uint32_t recordCount, int year, int month,
                                           int day) const {
  std::vector<std::byte> out = raw_;
  encodeCountAndDate(out.data() + 1, recordCount, year, month, day,
                     /*dbaseYears=*/byteAt(&raw_[1]) >= 100);
  return out;
}

TableSchema TableSchema::withStructuralIndex(bool on) const {
  TableSchema s = *this;
  s.tableFlags_ = static_cast<std::uint8_t>(on ? (tableFlags_ | kTableHasStructuralIndex)
                                               : (tableFlags_ & ~kTableHasStructuralIndex));
  s.raw_[28] = static_cast<std::byte>(s.tableFlags_);
  return s;
}

void encodeCountAndDate(std::byte out[7], std::uint32_t recordCount, int year, int month, int day,
                        bool dbaseYears) {
  const int yearByte = dbaseYears ? std::clamp(year - 1900, 0, 255) : ((year % 100) + 100) % 100;
  out[0] = static_cast<std::byte>(yearByte);
  out[1] = static_cast<std::byte>(month);
  out[2] = static_cast<std::byte>(day);
  putLe32(out + 3, recordCount);
}

void decodeLastUpdate(std::span<const std::byte> first32, int* year, int* month, int* day) {
  const int yy = byteAt(&first32[1]);
  *year = yy < 100 ? 2000 + yy : 1900 + yy;
  *month = byteAt(&first32[2]);
  *day = byteAt(&first32[3]);
}

}  // namespace dbe::dbf
