// TempTree: a directory tree of real files for the tests of this layer, made under the host's
// temporary directory when constructed and removed with everything in it when destroyed.
//
// Test-only. Thread safety: none; a test builds its tree before it starts threads.
#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>

namespace files {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "files_test_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
      return;
    }
    root_ = pattern;
  }
  ~TempTree() {
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path operator/(std::string_view rel) const { return root_ / rel; }

  // Creates `rel` (and its directories) holding `content`.
  void file(std::string_view rel, std::string_view content = "x") const {
    const std::filesystem::path p = root_ / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    ASSERT_TRUE(out.good()) << p;
  }
  void dir(std::string_view rel) const { std::filesystem::create_directories(root_ / rel); }

  // Sets the modification time of `rel` to an hour ago, as if nothing had changed in it lately
  // (so that a listing of it may be kept).
  void age(std::string_view rel) const {
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, (root_ / rel).c_str(), times, 0), 0) << rel;
  }
  // The modification time of `rel`, and setting it back to one read before.
  struct timespec mtime(std::string_view rel) const {
    struct stat st {};
    EXPECT_EQ(::stat((root_ / rel).c_str(), &st), 0) << rel;
    return st.st_mtim;
  }
  void setMtime(std::string_view rel, struct timespec t) const {
    struct timespec times[2] = {t, t};
    ASSERT_EQ(::utimensat(AT_FDCWD, (root_ / rel).c_str(), times, 0), 0) << rel;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace files
