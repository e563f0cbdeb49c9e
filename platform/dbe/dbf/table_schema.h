// TableSchema: the layout of a .dbf table as its header describes it: version, flags, code-page
// mark, header and record lengths, and the fields with their offsets inside a record. Parsed
// once when a table opens (and validated there: a schema that exists is consistent), shared by
// the table and its record buffers, never changed afterwards.
//
// Thread safety: immutable after construction; share it freely (std::shared_ptr<const>).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/io/status.h"

namespace dbe::dbf {

// Field type letters as stored in the descriptor.
namespace field_type {
inline constexpr char kCharacter = 'C';
inline constexpr char kNumeric = 'N';
inline constexpr char kFloat = 'F';
inline constexpr char kDate = 'D';
inline constexpr char kLogical = 'L';
inline constexpr char kMemo = 'M';
inline constexpr char kGeneral = 'G';
inline constexpr char kPicture = 'P';
inline constexpr char kInteger = 'I';
inline constexpr char kDouble = 'B';
inline constexpr char kCurrency = 'Y';
inline constexpr char kDateTime = 'T';
inline constexpr char kVarchar = 'V';
inline constexpr char kVarbinary = 'Q';
inline constexpr char kBlob = 'W';
inline constexpr char kNullFlags = '0';
}  // namespace field_type

// VFP field flags (descriptor byte 18); always 0 for fields of other tables, whose byte 18 may
// hold garbage.
inline constexpr std::uint8_t kFieldSystem = 0x01;
inline constexpr std::uint8_t kFieldNullable = 0x02;
inline constexpr std::uint8_t kFieldBinary = 0x04;
inline constexpr std::uint8_t kFieldAutoIncrement = 0x08;

// Header byte 28.
inline constexpr std::uint8_t kTableHasStructuralIndex = 0x01;
inline constexpr std::uint8_t kTableHasMemo = 0x02;

struct Field {
  std::string name;           // as stored, at most 10 characters (any case; lookups ignore it)
  char type = 0;              // one of field_type
  std::uint16_t length = 0;   // bytes in the record
  std::uint8_t decimals = 0;  // N, F, B, Y
  std::uint8_t flags = 0;     // VFP field flags
  std::uint32_t offset = 0;   // from the start of the record (byte 0 is the deletion flag)
  int nullBit = -1;           // bit of _NullFlags that marks NULL, -1 when not nullable
  int lengthBit = -1;         // V/Q: bit of _NullFlags that says "length in the last byte"

  // Memo-like fields hold a block number of the memo file (M, G, P, W).
  bool isMemo() const;
  // The hidden _NullFlags column of VFP tables.
  bool isSystem() const { return (flags & kFieldSystem) != 0 || type == field_type::kNullFlags; }
};

// What the layer above asks for when it creates a table.
struct FieldSpec {
  std::string name;  // 1-10 letters, digits or '_', starting with a letter
  char type = field_type::kCharacter;
  int length = 0;    // 0 for fixed-width types takes their width (D 8, L 1, M 10 or 4, ...)
  int decimals = 0;  // N and F only
};

enum class TableFormat {
  kFoxPro2,       // version 0x03, or 0xF5 with memo fields: C N F D L M G P
  kVisualFoxPro,  // version 0x30: also I B Y T; 4-byte memo pointers; 263-byte backlink
};

enum class MemoKind { kNone, kFpt, kDbt };

class TableSchema {
 public:
  // Parses and validates a whole header (REQUIRES: `header` holds headerLength bytes as given
  // by bytes 8-9, which the caller checked against the file size). kCorruption names `file`.
  // kNotSupported for valid formats of other engines (encrypted or .smt tables).
  [[nodiscard]] static Result<TableSchema> parse(std::span<const std::byte> header,
                                                 const std::string& file);
  // The header length from the first 32 bytes, checked for sanity (not yet against the file).
  [[nodiscard]] static Result<std::uint16_t> headerLength(std::span<const std::byte> first32,
                                                          const std::string& file);
  // A schema for a new table; kInvalidArgument names the bad field.
  [[nodiscard]] static Result<TableSchema> fromSpecs(const std::vector<FieldSpec>& specs,
                                                     TableFormat format, bool structuralIndex,
                                                     std::uint8_t codePageMark);

  std::uint8_t version() const { return version_; }
  std::uint8_t tableFlags() const { return tableFlags_; }
  std::uint8_t codePageMark() const { return codePageMark_; }
  std::uint16_t headerLength() const { return headerLength_; }
  std::uint16_t recordLength() const { return recordLength_; }
  bool isVfp() const { return version_ >= 0x30 && version_ <= 0x32; }
  // Header byte 28 bit 0x01: a .cdx of the table's base name belongs to it and is maintained on
  // every write.
  bool hasStructuralIndex() const { return (tableFlags_ & kTableHasStructuralIndex) != 0; }
  MemoKind memoKind() const { return memoKind_; }
  bool hasMemoFields() const;

  const std::vector<Field>& fields() const { return fields_; }
  std::size_t fieldCount() const { return fields_.size(); }
  const Field& field(std::size_t i) const { return fields_[i]; }
  // Index of the field with this name (ASCII case ignored), or -1.
  int fieldIndex(std::string_view name) const;
  // Index of the _NullFlags field, or -1.
  int nullFlagsField() const { return nullFlagsField_; }

  // The whole header as it should be on disk for `recordCount` records, last updated on the
  // given date (year byte as encodeCountAndDate writes it). For a parsed schema these are the
  // bytes read with bytes 1-7 replaced, so that other engines' private bytes survive a pack.
  std::vector<std::byte> encode(std::uint32_t recordCount, int year, int month, int day) const;
  // The same schema with byte 28's structural-index bit set or cleared.
  TableSchema withStructuralIndex(bool on) const;

 private:
  Status layOut(const std::string& file);

  std::uint8_t version_ = 0x03;
  std::uint8_t tableFlags_ = 0;
  std::uint8_t codePageMark_ = 0;
  std::uint16_t headerLength_ = 0;
  std::uint16_t recordLength_ = 0;
  MemoKind memoKind_ = MemoKind::kNone;
  std::vector<Field> fields_;
  int nullFlagsField_ = -1;
  std::vector<std::byte> raw_;  // the header bytes
};

// Header bytes 1-7 (date of last update and record count) for an update in place. The year
// is written as the header already writes it: year - 1900 when its stored year byte is 100 or
// more (dBASE style), else year % 100 (FoxPro style).
void encodeCountAndDate(std::byte out[7], std::uint32_t recordCount, int year, int month, int day,
                        bool dbaseYears);
// Reads bytes 1-3: a year byte below 100 is 2000 + byte, otherwise 1900 + byte.
void decodeLastUpdate(std::span<const std::byte> first32, int* year, int* month, int* day);

}  // namespace dbe::dbf
