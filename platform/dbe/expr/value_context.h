// ValueRecordContext: a RecordContext over a handful of named runtime values, for tests and
// tools that evaluate expressions without a table (the table layer binds expressions to its
// record buffer instead).
//
// Fields belong to the context's own work area or, with an alias, to another one, so that
// alias->field can be tried. Text values are padded or cut to the field's width as a record
// would hold them.
//
// Thread safety: like any RecordContext, one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/expr/expression.h"

namespace dbe::expr {

class ValueRecordContext : public RecordContext {
 public:
  // `alias` is this work area's own alias, which alias->field may name too (empty: none).
  explicit ValueRecordContext(std::string_view alias = {});

  // Adds a field; names and aliases compare without regard to ASCII case. A text field of
  // kVariableLength behaves like a memo. Returns its handle.
  FieldHandle addField(std::string_view name, Type type, int length = kVariableLength,
                       std::string_view alias = {});

  // Sets the current record's value of a field (a handle from addField; others are ignored).
  // A value of another kind than the field's type is kept as it is, to test how expressions
  // cope with a context that breaks its promise.
  void set(FieldHandle field, rt::Value value);
  void setRecordNumber(std::uint32_t recno) { recno_ = recno; }
  void setDeleted(bool deleted) { deleted_ = deleted; }

  Lookup resolveField(std::string_view alias, std::string_view name,
                      FieldInfo* info) const override;
  [[nodiscard]] Status fieldValue(FieldHandle field, std::string* scratch, ValueView* out) override;
  std::uint32_t recordNumber() const override { return recno_; }
  bool isDeleted() const override { return deleted_; }

 private:
  struct Field {
    std::string alias;  // upper case; empty for this work area
    std::string name;   // upper case
    Type type;
    int length;
    rt::Value value;
  };

  std::string alias_;
  std::vector<Field> fields_;
  std::uint32_t recno_ = 1;
  bool deleted_ = false;
};

}  // namespace dbe::expr
