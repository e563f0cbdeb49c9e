// Helpers shared by the dbf tests: hex tables, whole-file reads and writes, temp directories.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/io/file.h"

namespace dbe::dbf::testing {

// "03 19 0c" -> bytes; blanks and newlines are ignored, "'ab'" inserts the ASCII text ab.
inline std::vector<std::byte> hexBytes(std::string_view hex) {
  std::vector<std::byte> out;
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
  };
  for (std::size_t i = 0; i < hex.size();) {
    const char c = hex[i];
    if (c == ' ' || c == '\n') {
      ++i;
    } else if (c == '\'') {
      const std::size_t end = hex.find('\'', i + 1);
      for (std::size_t k = i + 1; k < end; ++k) out.push_back(static_cast<std::byte>(hex[k]));
      i = end + 1;
    } else {
      out.push_back(static_cast<std::byte>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
      i += 2;
    }
  }
  return out;
}

inline std::vector<std::byte> toBytes(std::string_view s) {
  std::vector<std::byte> v(s.size());
  std::memcpy(v.data(), s.data(), s.size());
  return v;
}

inline void writeWholeFile(FileSystem* fs, const std::filesystem::path& p,
                           std::span<const std::byte> data) {
  Result<std::unique_ptr<File>> f = fs->create(p, ShareMode::kNone, /*overwrite=*/true);
  ASSERT_TRUE(f.isOk()) << f.status().toString();
  ASSERT_TRUE((*f)->write(0, data).isOk());
}

inline std::vector<std::byte> readWholeFile(FileSystem* fs, const std::filesystem::path& p) {
  Result<std::unique_ptr<File>> f = fs->open(p, OpenAccess::kReadOnly, ShareMode::kNone);
  if (!f.isOk()) return {};
  std::vector<std::byte> out(static_cast<std::size_t>(*(*f)->size()));
  std::size_t got = 0;
  EXPECT_TRUE((*f)->read(0, out, &got).isOk());
  out.resize(got);
  return out;
}

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dbe_dbf_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace dbe::dbf::testing
