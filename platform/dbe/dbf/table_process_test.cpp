// Two processes on one table: appends and locks across the process boundary.
#include "table.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "byte_order.h"
#include "test_util.h"

namespace dbe::dbf {
namespace {

using namespace std::chrono_literals;

class TwoProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = tmp_.path() / "SHARED.DBF";
    CreateOptions c;
    c.structuralIndex = true;  // the VFP lock scheme
    Result<std::unique_ptr<Table>> t =
        Table::create(defaultFileSystem(), path_, {{"WHO", 'C', 8}, {"NOTE", 'M'}}, c);
    ASSERT_TRUE(t.isOk()) << t.status().toString();
  }

  // Appends `n` records "<tag><i>" with a memo each, releasing the lock after each. Returns
  // the first failure.
  static Status appendMany(const std::filesystem::path& path, char tag, int n) {
    OpenOptions o;
    o.headerLockTimeout = 10000ms;
    Result<std::unique_ptr<Table>> t = Table::open(defaultFileSystem(), path, o);
    if (!t.isOk()) return t.status();
    for (int i = 0; i < n; ++i) {
      Record r = (*t)->newRecord();
      const std::string who = std::string(1, tag) + std::to_string(i);
      DBE_RETURN_IF_ERROR(r.setValue(0, rt::Value(who)));
      DBE_RETURN_IF_ERROR(r.setValue(1, rt::Value("memo of " + who)));
      DBE_RETURN_IF_ERROR((*t)->append(r).status());
      DBE_RETURN_IF_ERROR((*t)->unlockAll());
    }
    return (*t)->close();
  }

  testing::TempDir tmp_;
  std::filesystem::path path_;
};

TEST_F(TwoProcessTest, AppendsFromTwoProcessesLoseNothing) {
  constexpr int kEach = 150;
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    char c;
    ::close(go[1]);
    if (::read(go[0], &c, 1) != 1) ::_exit(3);
    Status s = appendMany(path_, 'c', kEach);
    if (!s.isOk()) std::fprintf(stderr, "child: %s\n", s.toString().c_str());
    ::_exit(s.isOk() ? 0 : 1);
  }
  ::close(go[0]);
  ASSERT_EQ(::write(go[1], "g", 1), 1);  // both start together
  ::close(go[1]);
  const Status mine = appendMany(path_, 'p', kEach);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(mine.isOk()) << mine.toString();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  Result<std::unique_ptr<Table>> t = Table::open(defaultFileSystem(), path_);
  ASSERT_TRUE(t.isOk());
  ASSERT_EQ((*t)->recordCount(), 2u * kEach);
  EXPECT_EQ((*t)->trailingRecords(), 0u);
  std::set<std::string> seen;
  Record r = (*t)->newRecord();
  for (std::uint32_t i = 1; i <= 2 * kEach; ++i) {
    ASSERT_TRUE((*t)->read(i, &r).isOk());
    std::string who = r.value(0)->text();
    who.erase(who.find_last_not_of(' ') + 1);
    EXPECT_EQ((*t)->value(r, 1)->text(), "memo of " + who) << i;
    EXPECT_TRUE(seen.insert(who).second) << who << " twice";
  }
  EXPECT_EQ(seen.size(), 2u * kEach);
}

TEST_F(TwoProcessTest, RecordLockHeldByAnotherProcess) {
  ASSERT_TRUE(appendMany(path_, 'x', 3).isOk());
  int up[2], down[2];
  ASSERT_EQ(::pipe(up), 0);
  ASSERT_EQ(::pipe(down), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    Result<std::unique_ptr<Table>> t = Table::open(defaultFileSystem(), path_);
    const char ok = t.isOk() && (*t)->lockRecord(2).isOk() ? 'y' : 'n';
    char c;
    if (::write(up[1], &ok, 1) != 1 || ::read(down[0], &c, 1) != 1) ::_exit(3);
    ::_exit(0);
  }
  char ok = 'n';
  ASSERT_EQ(::read(up[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  Result<std::unique_ptr<Table>> t = Table::open(defaultFileSystem(), path_);
  ASSERT_TRUE(t.isOk());
  EXPECT_EQ((*t)->lockRecord(2).code(), Status::Code::kBusy);
  EXPECT_EQ((*t)->lockFile().code(), Status::Code::kBusy);
  EXPECT_TRUE((*t)->lockRecord(3).isOk());
  ASSERT_EQ(::write(down[1], "g", 1), 1);
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_TRUE((*t)->lockRecord(2).isOk()) << "the lock ended with its process";
}

}  // namespace
}  // namespace dbe::dbf
