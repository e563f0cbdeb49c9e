// TestDrive: drive C: of the process's path settings mapped to a fresh temporary directory with
// the data directory \vadnorel in it, and tables made there for a test. The previous mapping,
// current drive, default directory and search path come back when it is destroyed.
//
// Test-only. Thread safety: none; a test builds its drive before it starts threads.
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "dbe/area/work_area.h"
#include "files/file_system.h"
#include "files/temp_tree.h"
#include "runtime/value.h"

namespace tables {

struct TestTag {
  std::string name;
  std::string key;
};

class TestDrive {
 public:
  TestDrive() {
    files::FileSystem& fs = files::FileSystem::process();
    savedMounts_ = fs.mounts();
    savedDrive_ = fs.currentDrive();
    savedDefault_ = fs.defaultDirectory();
    savedPath_ = fs.searchPath();
    std::filesystem::create_directories(dir());
    EXPECT_TRUE(fs.mapDrive('C', tree_.root()).isOk());
    EXPECT_TRUE(fs.setCurrentDrive('C').isOk());
    EXPECT_TRUE(fs.setDefaultDirectory("\\vadnorel").isOk());
    EXPECT_TRUE(fs.setSearchPath("").isOk());
    loadEngine();
  }
  ~TestDrive() {
    files::FileSystem& fs = files::FileSystem::process();
    fs.setMounts(savedMounts_);
    (void)fs.setCurrentDrive(savedDrive_);
    (void)fs.setDefaultDirectory(savedDefault_);
    (void)fs.setSearchPath(savedPath_);
  }
  TestDrive(const TestDrive&) = delete;
  TestDrive& operator=(const TestDrive&) = delete;

  static void loadEngine() {
    (void)dbe::dbeLoad("CDXDBE", true);
    (void)dbe::dbeLoad("FOXDBE", true);
    (void)dbe::dbeBuild("FOXCDX", "FOXDBE", "CDXDBE");
  }

  std::filesystem::path root() const { return tree_.root(); }
  std::filesystem::path dir() const { return tree_.root() / "vadnorel"; }

  // Makes dir()/fileName (a .DBF name) with its structural index holding `tags`, and appends
  // the records (values in field order), each marked deleted when `deleted` says so. Uses work
  // area 1 of the calling thread and leaves it empty.
  void table(const std::string& fileName, const std::vector<dbe::dbf::FieldSpec>& fields,
             const std::vector<std::vector<rt::Value>>& records,
             const std::vector<TestTag>& tags = {}, const std::vector<bool>& deleted = {}) {
    const std::filesystem::path p = dir() / fileName;
    ASSERT_TRUE(dbe::workspace::createTable(p, fields, /*structuralIndex=*/true).isOk());
    dbe::OpenOptions o;
    o.shared = false;
    ASSERT_TRUE(dbe::workspace::use(p, o, 1).isOk());
    dbe::WorkArea* a = dbe::workspace::area(1);
    for (size_t r = 0; r < records.size(); ++r) {
      ASSERT_TRUE(a->appendBlank().isOk());
      for (size_t f = 0; f < records[r].size(); ++f) {
        ASSERT_TRUE(a->fieldPut(static_cast<int>(f) + 1, records[r][f]).isOk());
      }
      if (r < deleted.size() && deleted[r]) {
        ASSERT_TRUE(a->deleteRecord().isOk());
      }
    }
    for (const TestTag& t : tags) {
      ASSERT_TRUE(a->createTag(t.name, t.key, "", false, false).isOk());
    }
    ASSERT_TRUE(dbe::workspace::closeArea(1).isOk());
  }

 private:
  files::TempTree tree_;
  files::MountTable savedMounts_;
  char savedDrive_ = 'C';
  std::string savedDefault_;
  std::string savedPath_;
};

}  // namespace tables
