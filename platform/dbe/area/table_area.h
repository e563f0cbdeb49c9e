// TableArea: the WorkArea of one open table (see work_area.h for the contract).
//
// Position. The area stands on one record (recno_, read into rec_), or at end of file (recno_ =
// record count + 1, rec_ blank). Records hidden by the thread's deleted setting, by the filter
// or, in tag order, by the scope are skipped by every move. In tag order a cdx::Cursor follows
// the current record.
//
// Changes. The first fieldPut() of a record keeps a copy of its image (the old keys); the
// record is written at the next move, commit, unlock or close, and then every tag whose key or
// FOR result changed gets its entry erased and inserted, each under the index lock.
//
// Thread safety: one thread (the work area's).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "dbe/area/area_index.h"
#include "dbe/area/record_context.h"
#include "dbe/area/work_area.h"
#include "dbe/dbf/table.h"

namespace dbe {

class TableArea : public WorkArea {
 public:
  [[nodiscard]] static Result<std::unique_ptr<TableArea>> open(FileSystem* fs,
                                                               const std::filesystem::path& path,
                                                               const std::string& alias,
                                                               bool shared, bool readOnly);
  ~TableArea() override;

  const std::string& alias() const override { return alias_; }
  const std::filesystem::path& path() const override { return table_->path(); }
  bool isShared() const override { return shared_; }
  bool isReadOnly() const override { return readOnly_; }

  [[nodiscard]] Status orderListAdd(const std::filesystem::path& cdx) override;
  [[nodiscard]] Status setOrder(const std::string& tag) override;
  std::string orderName() const override { return order_ ? order_->name : std::string(); }
  std::vector<std::string> tagNames() const override;
  [[nodiscard]] Status createTag(const std::string& name, const std::string& keyExpr,
                                 const std::string& forExpr, bool unique,
                                 bool descending) override;
  [[nodiscard]] Status reindex() override;

  [[nodiscard]] Status setScope(const rt::Value& top, const rt::Value& bottom) override;
  void clearScope() override;
  [[nodiscard]] Status setFilter(const rt::Value& condition, const std::string& text) override;
  void clearFilter() override;
  std::string filterText() const override { return filterText_; }

  [[nodiscard]] Status goTop() override;
  [[nodiscard]] Status goBottom() override;
  [[nodiscard]] Status goTo(std::uint32_t recno) override;
  [[nodiscard]] Status skip(long n) override;
  [[nodiscard]] Status seek(const rt::Value& key, std::optional<bool> soft = {},
                            bool last = false) override;
  [[nodiscard]] Status locate(const std::string& condition) override;
  bool eof() const override { return eof_; }
  bool bof() const override { return bof_; }
  bool found() const override { return found_; }
  std::uint32_t recNo() const override { return recno_; }
  [[nodiscard]] Result<std::uint32_t> lastRec() override;

  int fieldCount() const override;
  int fieldPos(const std::string& name) const override;
  FieldInfo fieldInfo(int pos) const override;
  [[nodiscard]] Result<rt::Value> fieldGet(int pos) override;
  [[nodiscard]] Status fieldPut(int pos, const rt::Value& value) override;
  [[nodiscard]] Result<rt::Value> evaluate(const std::string& expression) override;
  bool deleted() const override { return !eof_ && rec_.isDeleted(); }

  [[nodiscard]] Status appendBlank() override;
  [[nodiscard]] Status deleteRecord() override;
  [[nodiscard]] Status recall() override;
  [[nodiscard]] Status lockRecord(bool* got) override;
  [[nodiscard]] Status lockFile(bool* got) override;
  [[nodiscard]] Status unlock() override;
  [[nodiscard]] Status commit() override;
  [[nodiscard]] Status close() override;

  // For the engine's own tools (dbftool check): every fault of every open index, each as a
  // line, checked against the keys the table's records give.
  [[nodiscard]] Status verifyIndexes(std::vector<std::string>* faults);

  dbf::Table* table() { return table_.get(); }
  AreaIndexes& indexes() { return indexes_; }
  const dbf::Record& record() const { return rec_; }
  void setAlias(std::string a);

 private:
  TableArea(FileSystem* fs, std::unique_ptr<dbf::Table> table, std::string alias, bool shared,
            bool readOnly);

  [[nodiscard]] Status flush();
  [[nodiscard]] Status readRecord(std::uint32_t recno);
  void setEof(std::uint32_t count);
  [[nodiscard]] Status visible(bool* out);
  [[nodiscard]] Status inScope(std::string_view key, bool* out) const;
  [[nodiscard]] Status syncCursor();
  [[nodiscard]] Status tagMove(bool forward, bool fromEnd);
  [[nodiscard]] Status naturalMove(std::uint32_t start, bool forward);
  [[nodiscard]] Status requireWritable(const char* what);
  [[nodiscard]] Status updateKeys(const dbf::Record& before, const dbf::Record& after,
                                  bool onlyDeletedDependent);
  [[nodiscard]] Status insertKeys(const dbf::Record& rec);
  [[nodiscard]] Status collectKeys(AreaTag& tag, cdx::KeyList* out);
  [[nodiscard]] Status fixKeyLength(const std::string& keyExpr, std::size_t* length);
  bool hideDeleted() const;

  FileSystem* fs_;
  std::unique_ptr<dbf::Table> table_;
  std::string alias_;
  bool shared_;
  bool readOnly_;

  dbf::Record rec_;
  dbf::Record before_;     // the record's image at the first change
  bool dirty_ = false;
  AreaRecordContext ctx_;
  AreaRecordContext beforeCtx_;

  std::uint32_t recno_ = 0;
  bool eof_ = true;
  bool bof_ = false;
  bool found_ = false;

  AreaIndexes indexes_;
  AreaTag* order_ = nullptr;
  std::unique_ptr<cdx::Cursor> cursor_;
  bool cursorOnRecord_ = false;  // the cursor stands on the current record
  std::string scopeTop_, scopeBottom_;
  bool hasTop_ = false, hasBottom_ = false;

  rt::Value filterBlock_;
  std::optional<expr::Expression> filterExpr_;
  std::string filterText_;
};

}  // namespace dbe
