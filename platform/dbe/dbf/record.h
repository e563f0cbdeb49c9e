// Record: one record of a table as a byte buffer, with typed access to its fields.
//
// A Record is what the table reads into (one pread of the whole record) and writes from (one
// pwrite). The layer above keeps one Record per work area and reads many fields of it without
// further I/O: value(i) decodes field i straight from the buffer. Memo fields are the
// exception on the read side: their buffer bytes are a block number, and Table::value() reads
// the memo. On the write side setValue() keeps a memo's new text pending inside the Record;
// Table::write() and Table::append() store pending memos before the record itself.
//
// Field indexes are positions in TableSchema::fields(); REQUIRES i < schema().fieldCount().
//
// Thread safety: a plain value; one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "dbe/io/status.h"
#include "field_codec.h"
#include "runtime/value.h"
#include "table_schema.h"

namespace dbe::dbf {

class Record {
 public:
  // A blank record (every field blank, not deleted, record number 0) of this schema.
  explicit Record(std::shared_ptr<const TableSchema> schema);

  const TableSchema& schema() const { return *schema_; }
  const std::shared_ptr<const TableSchema>& schemaPtr() const { return schema_; }

  // The record number this buffer was read from or appended as; 0 for a new record.
  std::uint32_t recno() const { return recno_; }
  void setRecno(std::uint32_t r) { recno_ = r; }

  std::span<const std::byte> bytes() const { return bytes_; }
  std::span<std::byte> bytes() { return bytes_; }

  // The deletion flag (byte 0 is '*').
  bool isDeleted() const { return bytes_[0] == std::byte{'*'}; }
  void setDeleted(bool on) { bytes_[0] = std::byte{static_cast<unsigned char>(on ? '*' : ' ')}; }
  // Byte 0 is neither ' ' nor '*' (a damaged record, or one of another engine's encrypted ones).
  bool hasBadFlag() const { return bytes_[0] != std::byte{' '} && bytes_[0] != std::byte{'*'}; }

  // Back to a blank record: flag, every field and the _NullFlags column; pending memos dropped.
  void blank();

  // The stored bytes of field i.
  std::span<const std::byte> fieldBytes(std::size_t i) const;
  // VFP NULL (its bit in _NullFlags is set).
  bool isNull(std::size_t i) const;

  // The value of field i (see field_codec.h); NULL reads as nil. For a memo field this is its
  // pending text if setValue gave one, else kInvalidArgument: read memos through the table.
  [[nodiscard]] Result<rt::Value> value(std::size_t i) const;
  // Field i's DateTime (T fields; D fields give midnight). Other types: kInvalidArgument.
  [[nodiscard]] Result<DateTime> dateTime(std::size_t i) const;

  // Writes a value into field i (see field_codec.h). Nil sets NULL on nullable VFP fields and
  // is a type mismatch otherwise. A memo field takes text, kept pending until the record is
  // written. Errors leave the buffer unchanged.
  [[nodiscard]] Status setValue(std::size_t i, const rt::Value& v);
  // Sets or clears field i's NULL bit. REQUIRES the field be nullable (else kInvalidArgument).
  [[nodiscard]] Status setNull(std::size_t i, bool null);

  // The memo block number stored in field i (REQUIRES a memo field); kCorruption for garbage.
  [[nodiscard]] Result<std::uint32_t> memoBlock(std::size_t i) const;
  void setMemoBlock(std::size_t i, std::uint32_t block);

  struct PendingMemo {
    std::size_t field;
    std::string text;
  };
  const std::vector<PendingMemo>& pendingMemos() const { return pending_; }
  void clearPendingMemos() { pending_.clear(); }

 private:
  std::span<std::byte> mutableField(std::size_t i);
  bool nullFlagBit(int bit) const;
  void setNullFlagBit(int bit, bool on);

  std::shared_ptr<const TableSchema> schema_;
  std::vector<std::byte> bytes_;
  std::uint32_t recno_ = 0;
  std::vector<PendingMemo> pending_;
};

}  // namespace dbe::dbf
