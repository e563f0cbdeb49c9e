// Work areas: the table engine as the system's procedures use it.
//
// A thread has its own numbered work areas (1 to kMaxAreas), each holding at most one open
// table with its alias, its open index files, a controlling tag, a scope, a record filter and a
// record position. One area is selected at a time per thread. Several areas of one thread (or of
// several threads or processes) may open the same table: each opens its own file descriptions,
// so their locks conflict exactly as two workstations' do.
//
// Every operation here returns a dbe::Status; the facade in rdd.h turns failures into the
// runtime's error object for the error handler in force.
//
// Writes: field assignments go to the area's record buffer; the buffer is written (record, then
// the keys of every tag of every open index) when the record pointer moves, on commit, unlock
// and close. In shared mode a write requires the record (or the table) to be locked by this
// area, as every FoxPro-compatible engine requires.
//
// Thread safety: a WorkArea belongs to one thread; the Workspace functions act on the calling
// thread's areas only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbe/dbf/table_schema.h"
#include "dbe/io/status.h"
#include "runtime/value.h"

namespace dbe {

class FileSystem;

inline constexpr int kMaxAreas = 1023;

// Per-thread settings of the table engine (copied into a new report thread by the shell).
struct EngineSettings {
  bool hideDeleted = false;   // SET DELETED ON: deleted records are skipped everywhere
  bool softSeek = false;      // a failed seek stops at the next greater key instead of EOF
  bool sharedByDefault = true;  // how a table opens when the caller does not say
};
EngineSettings& engineSettings();

struct OpenOptions {
  std::string driver = "FOXCDX";
  std::string alias;                 // empty: the file name without directory and extension
  std::optional<bool> shared;        // empty: the thread's default
  bool readOnly = false;
};

// Information about a field, as the field information query gives it.
struct FieldInfo {
  std::string name;
  char type = 'C';
  int width = 0;
  int decimals = 0;
};

class WorkArea {
 public:
  virtual ~WorkArea() = default;

  virtual const std::string& alias() const = 0;
  virtual const std::filesystem::path& path() const = 0;
  virtual bool isShared() const = 0;
  virtual bool isReadOnly() const = 0;

  // ---- index files and tags ----
  // Adds an index file to the orders; adding a file that is already open is a no-op.
  [[nodiscard]] virtual Status orderListAdd(const std::filesystem::path& cdx) = 0;
  // Makes the tag of that name (any case) the controlling order; an empty name, or a name no
  // open index holds, leaves natural order in control (the latter is kNotFound).
  [[nodiscard]] virtual Status setOrder(const std::string& tag) = 0;
  virtual std::string orderName() const = 0;   // empty in natural order
  virtual std::vector<std::string> tagNames() const = 0;
  // Creates a tag in the structural index (creating the .cdx when the table has none).
  [[nodiscard]] virtual Status createTag(const std::string& name, const std::string& keyExpr,
                                         const std::string& forExpr, bool unique,
                                         bool descending) = 0;
  [[nodiscard]] virtual Status reindex() = 0;

  // ---- scope and filter ----
  // Top and bottom scope on the controlling tag (nil: no limit).
  [[nodiscard]] virtual Status setScope(const rt::Value& top, const rt::Value& bottom) = 0;
  virtual void clearScope() = 0;
  // A record filter given as a callable and as its text; when the callable is nil the text is
  // compiled as an expression.
  [[nodiscard]] virtual Status setFilter(const rt::Value& condition, const std::string& text) = 0;
  virtual void clearFilter() = 0;
  virtual std::string filterText() const = 0;

  // ---- navigation ----
  [[nodiscard]] virtual Status goTop() = 0;
  [[nodiscard]] virtual Status goBottom() = 0;
  [[nodiscard]] virtual Status goTo(std::uint32_t recno) = 0;
  [[nodiscard]] virtual Status skip(long n) = 0;
  // Seeks the key in the controlling tag; `soft` overrides the thread's soft-seek setting.
  [[nodiscard]] virtual Status seek(const rt::Value& key, std::optional<bool> soft = {},
                                    bool last = false) = 0;
  // Moves to the first record (from the top) for which the condition is true; EOF if none.
  [[nodiscard]] virtual Status locate(const std::string& condition) = 0;
  virtual bool eof() const = 0;
  virtual bool bof() const = 0;
  virtual bool found() const = 0;
  virtual std::uint32_t recNo() const = 0;
  // The record count (re-read from the file in shared mode).
  [[nodiscard]] virtual Result<std::uint32_t> lastRec() = 0;

  // ---- fields ----
  virtual int fieldCount() const = 0;
  virtual int fieldPos(const std::string& name) const = 0;   // 1-based; 0 when absent
  virtual FieldInfo fieldInfo(int pos) const = 0;
  [[nodiscard]] virtual Result<rt::Value> fieldGet(int pos) = 0;
  [[nodiscard]] virtual Status fieldPut(int pos, const rt::Value& value) = 0;
  // Evaluates an expression over the current record (fields, functions, alias->field).
  [[nodiscard]] virtual Result<rt::Value> evaluate(const std::string& expression) = 0;
  virtual bool deleted() const = 0;

  // ---- changes and locks ----
  // Appends a blank record, locked by this area, and moves to it.
  [[nodiscard]] virtual Status appendBlank() = 0;
  [[nodiscard]] virtual Status deleteRecord() = 0;
  [[nodiscard]] virtual Status recall() = 0;
  // Tries once; *got says whether the lock is held (a refusal is not an error).
  [[nodiscard]] virtual Status lockRecord(bool* got) = 0;
  [[nodiscard]] virtual Status lockFile(bool* got) = 0;
  [[nodiscard]] virtual Status unlock() = 0;
  // Writes the buffered record and makes every write visible (and durable) on disk.
  [[nodiscard]] virtual Status commit() = 0;
  // Commits and closes; the area is free afterwards.
  [[nodiscard]] virtual Status close() = 0;
};

// ---- the calling thread's work areas ----
namespace workspace {

// Opens a table (host path, with or without .dbf) in area `area` (0: the selected area, where an
// open table is closed first; -1: the lowest free area) and selects it. An alias already in use
// in another area of this thread is kInvalidArgument "alias already in use".
[[nodiscard]] Status use(const std::filesystem::path& table, const OpenOptions& options,
                         int area = 0);
int selected();
// Selects an area by number (it may be empty) and returns the number selected before.
int select(int area);
// The area that carries the alias (no case), or 0.
int areaOfAlias(const std::string& alias);
int lowestFreeArea();
// The open table of an area (0: the selected one), or nullptr for an empty area.
WorkArea* area(int number = 0);
[[nodiscard]] Status closeArea(int number = 0);
// Closes every area of the calling thread, writing what is buffered; returns the first failure.
[[nodiscard]] Status closeAll();
int openCount();

// Creates a table (host path, with or without .dbf) from a field list, as a FoxPro 2.x table
// (with a memo file when a field needs one); with `structuralIndex` it also gets an empty
// structural .cdx, to which tags are added by WorkArea::createTag. The table is left closed.
[[nodiscard]] Status createTable(const std::filesystem::path& table,
                                 const std::vector<dbf::FieldSpec>& fields,
                                 bool structuralIndex);

// The file system the engine uses (tests may swap in a fault-injecting one).
FileSystem* fileSystem();
void setFileSystem(FileSystem* fs);

}  // namespace workspace

// ---- engine components ----
// The data component "FOXDBE", the index component "CDXDBE" and their composite "FOXCDX".
// Loading can fail only through the test seam.
bool dbeLoad(const std::string& name, bool hidden);
bool dbeBuild(const std::string& composite, const std::string& dataComponent,
              const std::string& indexComponent);
bool dbeIsAvailable(const std::string& name);
void dbeFailForTest(const std::string& name);  // the next load or build of `name` fails
void dbeResetForTest();

}  // namespace dbe
