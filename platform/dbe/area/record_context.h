// RecordContext of a work area: lets compiled key, FOR and filter expressions read the fields of
// the area's current record buffer without copying, and other areas' fields through alias->field.
//
// Field handles: the low 16 bits are the field index; the high bits are 0 for the own area, or
// the number of the other work area + 1 (resolved by alias at compile time, read at run time
// from that area's current record).
//
// Thread safety: belongs to one work area, used on its thread only.
#pragma once

#include <functional>
#include <string>

#include "dbe/dbf/record.h"
#include "dbe/dbf/table.h"
#include "dbe/expr/expression.h"

namespace dbe {

class AreaRecordContext : public expr::RecordContext {
 public:
  // `table` and `record` must outlive the context. `alias` is the area's own alias.
  AreaRecordContext(dbf::Table* table, const dbf::Record* record, std::string alias);

  Lookup resolveField(std::string_view alias, std::string_view name,
                      expr::FieldInfo* info) const override;
  [[nodiscard]] Status fieldValue(expr::FieldHandle field, std::string* scratch,
                                  expr::ValueView* out) override;
  std::uint32_t recordNumber() const override { return record_->recno(); }
  bool isDeleted() const override { return record_->isDeleted(); }

  // Evaluates over another record buffer of the same table (old keys before a change).
  void setRecord(const dbf::Record* record) { record_ = record; }
  const dbf::Record* record() const { return record_; }
  void setAlias(std::string alias) { alias_ = std::move(alias); }

 private:
  static expr::Type typeOf(char fieldType);

  dbf::Table* table_;
  const dbf::Record* record_;
  std::string alias_;
};

}  // namespace dbe
