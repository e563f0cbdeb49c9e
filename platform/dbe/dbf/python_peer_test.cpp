// Checks against an implementation nobody here wrote: python3-dbf (Debian's, run with
// /usr/bin/python3) reads the tables we write, and we read the tables it writes; both readers
// must see the same values. The peer script lies in testdata/.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <charconv>
#include <sstream>

#include "table.h"
#include "test_util.h"

#ifndef DBF_PEER_SCRIPT
#error "DBF_PEER_SCRIPT must name testdata/dbf_peer.py"
#endif

namespace dbe::dbf {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Runs the peer script; returns its standard output, or nullopt when it failed.
std::optional<std::string> runPeer(const std::string& args) {
  const std::string cmd = std::string(kPython) + " " + DBF_PEER_SCRIPT + " " + args + " 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return std::nullopt;
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = ::pclose(p);
  if (status != 0) {
    ADD_FAILURE() << cmd << " failed:\n" << out;
    return std::nullopt;
  }
  return out;
}

bool peerAvailable() {
  const std::string cmd = std::string(kPython) + " -c 'import dbf' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

std::string digits(int v, int width) {
  std::string s = std::to_string(v);
  return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(s.size()))),
                     '0') + s;
}

// One record in the peer's dump format (see dbf_peer.py).
std::string ourLine(Table& t, const Record& r) {
  TextConverter text = t.textConverter();
  std::string line = r.isDeleted() ? "*" : " ";
  for (std::size_t i = 0; i < t.schema().fieldCount(); ++i) {
    const Field& f = t.schema().field(i);
    if (f.isSystem()) continue;
    Result<rt::Value> v = t.value(r, i);
    EXPECT_TRUE(v.isOk()) << v.status().toString();
    std::string shown;
    if (!v.isOk() || v->isNil()) {
      shown = "?";
    } else if (v->isText()) {
      shown = text.toUtf8(v->text());
      while (!shown.empty() && shown.back() == ' ') shown.pop_back();
      std::string escaped;
      for (char c : shown) escaped += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
      shown = escaped;
    } else if (v->isNumber()) {
      char buf[64];
      auto res = std::to_chars(buf, buf + sizeof buf, v->number(), std::chars_format::fixed, 4);
      shown.assign(buf, res.ptr);
    } else if (v->isLogical()) {
      shown = v->logical() ? "T" : "F";
    } else if (v->isDate()) {
      if (v->date().isEmpty()) {
        shown = "?";
      } else {
        int y, m, d;
        v->date().toYmd(&y, &m, &d);
        shown = digits(y, 4) + digits(m, 2) + digits(d, 2);
        if (f.type == field_type::kDateTime) {
          const int ms = r.dateTime(i)->milliseconds;
          shown += digits(ms / 3600000, 2) + digits(ms / 60000 % 60, 2) + digits(ms / 1000 % 60, 2);
        }
      }
    }
    if (i > 0) line += "|";
    line += lower(f.name) + "=" + shown;
  }
  return line;
}

std::vector<std::string> ourLines(Table& t) {
  std::vector<std::string> lines;
  Record r = t.newRecord();
  for (std::uint32_t i = 1; i <= t.recordCount(); ++i) {
    EXPECT_TRUE(t.read(i, &r).isOk());
    lines.push_back(ourLine(t, r));
  }
  return lines;
}

std::vector<std::string> splitLines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// Where the readers differ on purpose: a blank number and an unset logical read as None in the
// peer, as 0 and false here (the FoxPro programs' reading).
std::vector<std::string> asWeReadIt(const std::vector<std::string>& peerLines,
                                    const TableSchema& schema) {
  std::vector<std::string> out;
  for (const std::string& line : peerLines) {
    std::string fixed = line.substr(0, 1);
    std::size_t pos = 1;
    for (std::size_t i = 0; i < schema.fieldCount(); ++i) {
      const Field& f = schema.field(i);
      if (f.isSystem()) continue;
      std::size_t end = line.find('|', pos);
      if (end == std::string::npos) end = line.size();
      std::string part = line.substr(pos, end - pos);
      const std::string unset = lower(f.name) + "=?";
      if (part == unset && (f.type == 'N' || f.type == 'F')) part = lower(f.name) + "=0.0000";
      if (part == unset && f.type == 'L') part = lower(f.name) + "=F";
      fixed += (pos > 1 ? "|" : "") + part;
      pos = end + 1;
    }
    out.push_back(fixed);
  }
  return out;
}

class PythonPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peerAvailable()) GTEST_SKIP() << "python3-dbf is not installed";
  }
  testing::TempDir tmp_;
};

// ---- we read what the peer writes ----

class PeerWritesTest : public PythonPeerTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PeerWritesTest, BothReadersSeeTheSameValues) {
  const std::string path = (tmp_.path() / (std::string(GetParam()) + ".dbf")).string();
  ASSERT_TRUE(runPeer(std::string("make ") + GetParam() + " " + path).has_value());
  std::optional<std::string> theirs = runPeer("dump " + path);
  ASSERT_TRUE(theirs.has_value());
  Result<std::unique_ptr<Table>> t = Table::open(defaultFileSystem(), path);
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  const std::vector<std::string> lines = splitLines(*theirs);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(ourLines(**t), asWeReadIt(lines, (*t)->schema()));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PeerWritesTest, ::testing::Values("db3", "fp", "vfp"),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                           return std::string(p.param);
                         });

// ---- the peer reads what we write ----

struct OurTableCase {
  const char* name;
  TableFormat format;
  bool memo;
};

class WeWriteTest : public PythonPeerTest, public ::testing::WithParamInterface<OurTableCase> {};

TEST_P(WeWriteTest, PeerReadsOurValues) {
  const OurTableCase& c = GetParam();
  const bool vfp = c.format == TableFormat::kVisualFoxPro;
  std::vector<FieldSpec> fields = {{"NAME", 'C', 12}, {"QTY", 'N', 9, 2}, {"RATE", 'F', 8, 3},
                                   {"DUE", 'D'},      {"ACTIVE", 'L'}};
  if (c.memo) fields.push_back({"NOTES", 'M'});
  if (vfp) fields.push_back({"CNT", 'I'});
  const std::string path = (tmp_.path() / "OURS.DBF").string();
  CreateOptions options;
  options.format = c.format;
  Result<std::unique_ptr<Table>> t = Table::create(defaultFileSystem(), path, fields, options);
  ASSERT_TRUE(t.isOk()) << t.status().toString();
  TextConverter text = (*t)->textConverter();
  struct Row {
    std::string name;
    double qty;
    double rate;
    rt::Date due;
    bool active;
    std::string notes;
    double cnt;
    bool deleted;
  };
  const Row rows[] = {
      {"Smith", 42.5, 0.125, rt::Date::fromYmd(2024, 3, 15), true, "memo text\r\nline2", -7, false},
      {"M\xC3\xBCller \xC3\xA9\xE2\x82\xAC", -1234.56, 0, {}, false, "", 0, false},
      {"gone", 1, 1, rt::Date::fromYmd(1999, 12, 31), true, std::string(3000, 'z'), 1, true},
      {"last", 0.01, 99.999, rt::Date::fromYmd(2000, 2, 29), false, "short", 2147483000, false},
  };
  for (const Row& row : rows) {
    Record r = (*t)->newRecord();
    ASSERT_TRUE(r.setValue(0, rt::Value(*text.fromUtf8(row.name))).isOk());
    ASSERT_TRUE(r.setValue(1, rt::Value(row.qty)).isOk());
    ASSERT_TRUE(r.setValue(2, rt::Value(row.rate)).isOk());
    ASSERT_TRUE(r.setValue(3, rt::Value(row.due)).isOk());
    ASSERT_TRUE(r.setValue(4, rt::Value(row.active)).isOk());
    std::size_t next = 5;
    if (c.memo) {
      ASSERT_TRUE(r.setValue(next++, rt::Value(row.notes)).isOk());
    }
    if (vfp) {
      ASSERT_TRUE(r.setValue(next++, rt::Value(row.cnt)).isOk());
    }
    r.setDeleted(row.deleted);
    ASSERT_TRUE((*t)->append(r).isOk());
  }
  ASSERT_TRUE((*t)->appendBlank().isOk());
  ASSERT_TRUE((*t)->close().isOk());

  std::optional<std::string> theirs = runPeer("dump " + path);
  ASSERT_TRUE(theirs.has_value());
  Result<std::unique_ptr<Table>> back = Table::open(defaultFileSystem(), path);
  ASSERT_TRUE(back.isOk());
  const std::vector<std::string> lines = splitLines(*theirs);
  EXPECT_EQ(ourLines(**back), asWeReadIt(lines, (*back)->schema()));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1].rfind(" name=M\xC3\xBCller \xC3\xA9\xE2\x82\xAC|", 0), 0u) << "1252 text";
  EXPECT_EQ(lines[2][0], '*');
  EXPECT_NE(lines[4].find("qty=?"), std::string::npos) << "a blank number stays blank";
}

const OurTableCase kOurTables[] = {
    {"FoxPro2", TableFormat::kFoxPro2, false},
    {"FoxPro2Memo", TableFormat::kFoxPro2, true},
    {"VisualFoxPro", TableFormat::kVisualFoxPro, true},
};
INSTANTIATE_TEST_SUITE_P(Formats, WeWriteTest, ::testing::ValuesIn(kOurTables),
                         [](const ::testing::TestParamInfo<OurTableCase>& p) {
                           return std::string(p.param.name);
                         });

}  // namespace
}  // namespace dbe::dbf
