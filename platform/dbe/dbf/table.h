// Table: an open .dbf table with its .fpt memo file: records, memos, locks, create, pack, zap.
//
// Opening validates the header and the field descriptors (TableSchema) and the record count:
// the count in the header is the truth (as in the FoxPro programs) as long as the file holds
// that many records; bytes after the counted records (a record whose header update never
// happened, the 0x1A end mark, garbage) are ignored and reported by trailingRecords(). A header
// that counts more records than the file holds is kCorruption. The structural-index flag and
// the code-page mark are exposed for the layers above; the table does not open the .cdx.
//
// Shared mode (the default) caches nothing another station can change except the schema
// (unless OpenOptions::sharedReadAhead asks for a refresh interval):
// each read is one pread of the record, each write one pwrite, and the record count is re-read
// from the header whenever the end of the table matters (reading or locking a record past the
// known end, appending, refreshRecordCount). Appends follow the FoxPro protocol: header lock
// (waited for briefly), re-read the count, lock the new record, write the record and the 0x1A
// mark, then header bytes 1-7 only, release the header lock; the new record stays locked for
// the caller's index update and unlockAll(). Writes, deletes and recalls need the record or the
// file lock (kInvalidArgument "record N is not locked" otherwise).
//
// Exclusive mode may buffer: records are read ahead in blocks, appended records collect in
// memory and reach the file in large writes past the counted records, and the header is
// written at flush() and close(), after a sync. flush() is the commit: until it returns,
// appended records are not committed, a crash loses them (never the records before them), and
// a failed flush reports the loss (a later flush or close tries again).
//
// Nothing half-written: a record is written before the header that counts it, memos before the
// record that points to them; a failed record write leaves the header untouched, and a failed
// rewrite of an existing record puts the old bytes back where the file lets us.
//
// Memo fields: Table::value() reads them; Record::setValue() keeps new memo text pending and
// write()/append() store it first, reusing the old blocks when the text fits.
//
// Other decisions: the lock scheme follows header byte 28 bit 0x01 (see lock_layout.h); the
// last-update year is written as the header already writes it (year % 100 for FoxPro-style
// headers, year - 1900 for dBASE-style ones, year % 100 for new tables); new tables carry code
// page mark 0x03 (1252) unless told otherwise; memo files of dBASE versions (.dbt) are not
// read (their memo fields give kNotSupported, the rest of the table works); appends to tables
// with VFP autoincrement fields are refused (kNotSupported) rather than numbered wrongly.
//
// Thread safety: a Table and its Records are used by one thread at a time (a work area belongs
// to one thread). Two Tables of one path, in one process or several, conflict through their
// locks exactly like two workstations.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "code_page.h"
#include "dbe/io/file.h"
#include "held_locks.h"
#include "memo_file.h"
#include "record.h"
#include "table_schema.h"

namespace dbe::dbf {

struct OpenOptions {
  bool exclusive = false;
  bool readOnly = false;
  // How long an append waits for the header lock (other stations hold it for one record
  // write), and a memo write for the memo lock.
  std::chrono::milliseconds headerLockTimeout{3000};
  // Shared mode: fdatasync before each lock release (and between an appended record and the
  // header that counts it), for mounts that cache writes (a cifs mount without cache=none) and
  // for writes that must survive a crash. Off: a completed write is visible to the other
  // processes of this host at once, but not durable.
  bool syncBeforeUnlock = false;
  // Shared mode, off by default: serve reads from a read-ahead block for this long after it
  // was read, as the FoxPro stations' refresh interval does. A record read this way may be up
  // to that old; taking a lock or appending drops the block, so what is read under a lock is
  // always current. For long read-only traversals (reports) where one read per record costs
  // too much.
  std::chrono::milliseconds sharedReadAhead{0};
  // Exclusive mode buffers (and the block size of sharedReadAhead).
  std::size_t readAheadBytes = 64 * 1024;
  std::size_t appendBufferBytes = 1024 * 1024;
  // The date written into the header as "last update"; empty: today's local date.
  std::function<void(int* year, int* month, int* day)> today;
};

struct CreateOptions {
  TableFormat format = TableFormat::kFoxPro2;
  bool structuralIndex = false;  // header byte 28 bit 0x01 (the caller creates the .cdx)
  std::uint8_t codePageMark = 0x03;  // Windows ANSI 1252
  std::uint16_t memoBlockSize = 64;
  bool overwrite = false;  // replace existing .dbf/.fpt files
  OpenOptions open = exclusiveOpen();  // how the new table is left open

  static OpenOptions exclusiveOpen() {
    OpenOptions o;
    o.exclusive = true;
    return o;
  }
};

class Table {
 public:
  // Opens a table and, if it has memo fields, its .fpt (same base name). A missing memo file
  // is kNotFound naming it. Another station's exclusive use is kBusy.
  [[nodiscard]] static Result<std::unique_ptr<Table>> open(FileSystem* fs,
                                                           const std::filesystem::path& path,
                                                           const OpenOptions& options = {});
  // Creates a table (and its .fpt when a field needs one) and opens it. On failure nothing of
  // the new files is left behind.
  [[nodiscard]] static Result<std::unique_ptr<Table>> create(FileSystem* fs,
                                                             const std::filesystem::path& path,
                                                             const std::vector<FieldSpec>& fields,
                                                             const CreateOptions& options = {});

  // Flushes and closes; errors are lost here, so call close() to see them.
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Flushes buffered writes, releases every lock and closes the files. The Table must not be
  // used afterwards except for destruction.
  [[nodiscard]] Status close();
  // Exclusive mode: writes buffered records and the header. Both modes: syncs .dbf and .fpt.
  [[nodiscard]] Status flush();

  const std::string& name() const { return name_; }
  const std::filesystem::path& path() const { return path_; }
  const TableSchema& schema() const { return *schema_; }
  const std::shared_ptr<const TableSchema>& schemaPtr() const { return schema_; }
  bool isExclusive() const { return options_.exclusive; }
  bool isReadOnly() const { return options_.readOnly; }
  bool hasStructuralIndex() const { return schema_->hasStructuralIndex(); }
  // The .cdx that belongs to the table when hasStructuralIndex() (same base name, extension
  // in the case of the table's own).
  std::filesystem::path structuralIndexPath() const;
  std::uint8_t codePageMark() const { return schema_->codePageMark(); }
  // A converter between the table's code page and UTF-8 (a fresh one per call: give each
  // thread its own).
  TextConverter textConverter() const { return TextConverter(schema_->codePageMark()); }
  // The last-update date in the header as of opening (or our last header write).
  void lastUpdate(int* year, int* month, int* day) const;
  // Records after the counted ones found at the last count check (see the header comment).
  std::uint32_t trailingRecords() const { return trailing_; }

  // The record count as last known (shared mode: as of the last refresh).
  std::uint32_t recordCount() const { return count_; }
  // Shared mode: re-reads the count from the header (and the size from the file) and checks it.
  [[nodiscard]] Result<std::uint32_t> refreshRecordCount();

  // A blank record of this table.
  Record newRecord() const { return Record(schema_); }
  // Reads record `recno` (1-based) into `out` with one read. kNotFound past the end.
  // REQUIRES out was made by this table (or shares its schema). A record whose flag byte is
  // neither ' ' nor '*' is read, and kCorruption is returned with it.
  [[nodiscard]] Status read(std::uint32_t recno, Record* out);
  // The value of field i, reading memo fields from the memo file (bounds-checked).
  [[nodiscard]] Result<rt::Value> value(const Record& record, std::size_t field);

  // Rewrites record rec.recno() from the buffer (pending memos first). Shared mode REQUIRES
  // the record or the file lock.
  [[nodiscard]] Status write(Record& rec);
  // Appends rec as a new record and returns its number (also set in rec). Shared mode: the new
  // record is left locked.
  [[nodiscard]] Result<std::uint32_t> append(Record& rec);
  [[nodiscard]] Result<std::uint32_t> appendBlank();
  // Sets or clears the deletion flag of a record (one byte written). Shared mode REQUIRES its
  // lock.
  [[nodiscard]] Status setDeleted(std::uint32_t recno, bool deleted);

  // Locks never wait: a conflict is kBusy at once.
  [[nodiscard]] Status lockRecord(std::uint32_t recno);
  [[nodiscard]] Status unlockRecord(std::uint32_t recno);
  [[nodiscard]] Status lockFile();
  [[nodiscard]] Status unlockAll();
  bool isRecordLocked(std::uint32_t recno) const { return locks_.holdsRecord(recno); }
  bool isFileLocked() const { return locks_.holdsFile(); }
  std::vector<std::uint32_t> lockedRecords() const { return locks_.records(); }
  const LockLayout& lockLayout() const { return locks_.layout(); }

  // Removes deleted records (exclusive use only): writes a new file of the kept records and
  // renames it over the table, so a failure leaves the old table. Memo blocks of removed
  // records stay (as dead space); record numbers change, so indexes must be rebuilt.
  [[nodiscard]] Status pack();
  // Removes every record (exclusive use only), by the same write-and-rename; the memo file is
  // replaced by an empty one.
  [[nodiscard]] Status zap();

 private:
  Table(FileSystem* fs, std::filesystem::path path, OpenOptions options);
  Status openFiles();
  Status loadHeader();
  Status checkCount(std::uint32_t count, std::uint64_t size);
  Status openMemo(bool create, std::uint16_t blockSize);
  std::filesystem::path memoPath() const;
  Status requireWritable(const char* what) const;
  Status requireLock(std::uint32_t recno, const char* what) const;
  Status storeMemos(Record& rec);
  Status writeRecordBytes(std::uint32_t recno, std::span<const std::byte> bytes);
  Status flushAppends();
  Status fillCache(std::uint32_t recno);
  void dropSharedCache();
  Status writeHeaderCount();
  void todayYmd(int* y, int* m, int* d) const;
  std::uint64_t recordOffset(std::uint32_t recno) const {
    return schema_->headerLength() + std::uint64_t{recno - 1} * schema_->recordLength();
  }
  Status rewriteAs(const std::function<Status(File&, std::uint32_t*)>& writeRecords,
                   bool newMemo);
  Status rewriteRecords(File& out, std::uint32_t* kept);

  FileSystem* fs_;
  std::filesystem::path path_;
  std::string name_;
  OpenOptions options_;
  std::unique_ptr<File> file_;
  std::unique_ptr<MemoFile> memo_;
  std::shared_ptr<const TableSchema> schema_;
  HeldLocks locks_{nullptr, LockLayout(LockLayout::Scheme::kFoxPro2, 0, 0), false};

  std::uint32_t count_ = 0;      // records, including appends still in the buffer
  std::uint32_t diskCount_ = 0;  // the count the header on disk holds
  std::uint32_t trailing_ = 0;
  int year_ = 0, month_ = 0, day_ = 0;
  bool dbaseYears_ = false;      // the header stores year - 1900
  bool changed_ = false;         // something was written since opening
  bool headerDirty_ = false;     // exclusive: header bytes 1-7 not yet written
  bool closed_ = false;

  // Exclusive mode: read-ahead block and append buffer.
  std::vector<std::byte> cache_;
  std::uint32_t lastRead_ = 0;    // the record the last read asked for (sequential scans)
  std::uint32_t cacheFirst_ = 0;  // record number of cache_[0], 0 = empty
  std::uint32_t cacheRecords_ = 0;
  std::chrono::steady_clock::time_point cacheTime_;  // shared read-ahead: when it was read
  std::vector<std::byte> appendBuffer_;
  std::uint32_t appendFirst_ = 0;  // record number of the first buffered append
};

}  // namespace dbe::dbf
