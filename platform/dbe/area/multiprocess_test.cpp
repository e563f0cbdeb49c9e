// Several processes append to one shared table with two tags at once, each holding the lock of
// the record it fills: afterwards every record is there once and both tags agree with the table.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "table_area.h"
#include "work_area.h"

namespace dbe {
namespace {

namespace fs = std::filesystem;

constexpr int kProcesses = 4;
constexpr int kPerProcess = 500;

void loadEngine() {
  dbeLoad("FOXDBE", true);
  dbeLoad("CDXDBE", true);
  dbeBuild("FOXCDX", "FOXDBE", "CDXDBE");
}

// The child's work; returns its exit status.
int appendAsChild(const fs::path& table, int writer) {
  loadEngine();
  OpenOptions o;
  if (!workspace::use(table, o, 1).isOk()) return 10;
  WorkArea* a = workspace::area();
  for (int i = 0; i < kPerProcess; ++i) {
    if (!a->appendBlank().isOk()) return 11;
    const std::string key = "W" + std::to_string(writer) + "-" + std::to_string(i);
    if (!a->fieldPut(1, rt::Value(key)).isOk()) return 12;
    if (!a->fieldPut(2, rt::Value(static_cast<double>(writer * 10000 + i))).isOk()) return 13;
    if (!a->unlock().isOk()) return 14;
  }
  return workspace::closeAll().isOk() ? 0 : 15;
}

TEST(MultiProcess, ConcurrentSharedAppendsLoseNothing) {
  loadEngine();
  std::string tmpl = (fs::temp_directory_path() / "multiproc-XXXXXX").string();
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const fs::path dir = tmpl;
  const fs::path table = dir / "SHARED";
  ASSERT_TRUE(workspace::createTable(table, {{"KEY", 'C', 12, 0}, {"SEQ", 'N', 8, 0}}, true).isOk());
  {
    OpenOptions ex;
    ex.shared = false;
    ASSERT_TRUE(workspace::use(table, ex, 1).isOk());
    ASSERT_TRUE(workspace::area()->createTag("KEY", "KEY", "", false, false).isOk());
    ASSERT_TRUE(workspace::area()->createTag("SEQ", "SEQ", "", false, true).isOk());
    ASSERT_TRUE(workspace::closeAll().isOk());
  }

  std::vector<pid_t> kids;
  for (int w = 0; w < kProcesses; ++w) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(appendAsChild(table, w));
    kids.push_back(pid);
  }
  for (pid_t pid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  OpenOptions o;
  ASSERT_TRUE(workspace::use(table, o, 1).isOk());
  auto* a = dynamic_cast<TableArea*>(workspace::area());
  auto count = a->lastRec();
  ASSERT_TRUE(count.isOk());
  EXPECT_EQ(count.value(), static_cast<std::uint32_t>(kProcesses * kPerProcess));
  std::vector<std::string> faults;
  ASSERT_TRUE(a->verifyIndexes(&faults).isOk());
  EXPECT_EQ(faults, std::vector<std::string>{});
  // Every key once, found through the tag.
  ASSERT_TRUE(a->setOrder("KEY").isOk());
  std::set<std::string> seen;
  ASSERT_TRUE(a->goTop().isOk());
  while (!a->eof()) {
    auto v = a->fieldGet(1);
    ASSERT_TRUE(v.isOk());
    EXPECT_TRUE(seen.insert(v->text()).second) << "doubled: " << v->text();
    ASSERT_TRUE(a->skip(1).isOk());
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kPerProcess));
  for (int w = 0; w < kProcesses; ++w) {
    ASSERT_TRUE(a->seek(rt::Value("W" + std::to_string(w) + "-" + std::to_string(kPerProcess - 1))).isOk());
    EXPECT_TRUE(a->found()) << w;
  }
  ASSERT_TRUE(workspace::closeAll().isOk());
  fs::remove_all(dir);
}

}  // namespace
}  // namespace dbe
