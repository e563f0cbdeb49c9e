// The open index files of a work area and, for each tag, its compiled key and FOR expressions:
// what it takes to compute a record's keys and to keep every tag right when a record changes.
//
// A tag whose expressions we cannot compile (a function this engine does not know) or whose
// collation we cannot build stays readable as far as possible, but any change to the table is
// refused (kNotSupported naming the tag), so that we never leave such a tag out of date for the
// other programs that trust it.
//
// Thread safety: belongs to one work area.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbe/area/record_context.h"
#include "dbe/cdx/cdx_file.h"
#include "dbe/cdx/cursor.h"
#include "dbe/expr/expression.h"

namespace dbe {

struct AreaTag {
  cdx::CdxFile* file = nullptr;
  cdx::Tag* tag = nullptr;          // null when unusable
  std::string name;                 // upper case
  cdx::KeyType keyType = cdx::KeyType::kCharacter;
  std::size_t keyLength = 0;
  std::optional<expr::Expression> key;
  std::optional<expr::Expression> forCond;
  std::string problem;              // why the tag cannot be maintained (empty: it can)

  // The key of the context's current record, into *out (padded to the key length).
  [[nodiscard]] Status keyOf(AreaRecordContext& ctx, std::string* out);
  // Whether the record belongs in the tag (FOR clause; true without one).
  [[nodiscard]] Status qualifies(AreaRecordContext& ctx, bool* out);
};

// The key type a compiled key expression gives (numbers Numeric, dates Date, ...); an integer
// field on its own gives Integer keys.
cdx::KeyType keyTypeOf(const expr::Expression& e, const dbf::TableSchema& schema);

// Turns a seek value into the key bytes of a tag (a shorter text stays shorter: a prefix seek).
[[nodiscard]] Status seekKeyFor(const AreaTag& tag, const rt::Value& v, std::string* out);

class AreaIndexes {
 public:
  AreaIndexes() = default;
  AreaIndexes(const AreaIndexes&) = delete;
  AreaIndexes& operator=(const AreaIndexes&) = delete;

  // Opens an index file for the table (no-op when that file is open already).
  [[nodiscard]] Status add(FileSystem* fs, const std::filesystem::path& path, bool shared,
                           bool readOnly, AreaRecordContext& ctx,
                           const dbf::TableSchema& schema);
  // Creates a new, empty index file and opens it.
  [[nodiscard]] Status createFile(FileSystem* fs, const std::filesystem::path& path,
                                  AreaRecordContext& ctx, const dbf::TableSchema& schema);

  std::vector<AreaTag>& tags() { return tags_; }
  AreaTag* find(const std::string& name);
  bool empty() const { return files_.empty(); }
  cdx::CdxFile* firstFile() { return files_.empty() ? nullptr : files_.front().file.get(); }
  bool isOpen(const std::filesystem::path& path) const;
  // The first tag that cannot be maintained, or null.
  const AreaTag* unmaintainable() const;
  // Re-reads the tag list of a file after a tag was added or deleted.
  [[nodiscard]] Status reload(cdx::CdxFile* file, AreaRecordContext& ctx,
                              const dbf::TableSchema& schema);
  void closeAll() {
    tags_.clear();
    files_.clear();
  }

 private:
  struct OpenFile {
    std::filesystem::path path;
    std::unique_ptr<cdx::CdxFile> file;
  };
  [[nodiscard]] Status loadTags(cdx::CdxFile* file, AreaRecordContext& ctx,
                                const dbf::TableSchema& schema);

  std::vector<OpenFile> files_;
  std::vector<AreaTag> tags_;
};

}  // namespace dbe
