// dbftool: create, import, index, inspect, check and repair the program's tables from the
// command line. See the README for the commands. Tables are opened shared unless a command
// needs them exclusively (index, reindex, pack), with the same locks as the program, so several
// dbftool processes and the program can work on one table at once.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "csv.h"
#include "dbe/area/table_area.h"
#include "dbe/area/work_area.h"
#include "dbe/dbf/table.h"
#include "runtime/dates.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFaults = 1;
constexpr int kExitError = 2;

struct Args {
  std::string command;
  std::string table;
  std::vector<std::string> positional;
  std::optional<std::string> fields, tag, on, forExpr;
  bool unique = false, descending = false, all = false;
};

int usage() {
  std::fputs(
      "usage:\n"
      "  dbftool create TABLE --fields \"NAME C 40, AMOUNT N 10 2, DUE D, PAID L, NOTE M\"\n"
      "  dbftool import TABLE FILE.csv\n"
      "  dbftool index TABLE --tag NAME --on EXPR [--for EXPR] [--unique] [--descending]\n"
      "  dbftool info TABLE\n"
      "  dbftool dump TABLE [--tag NAME] [--all]\n"
      "  dbftool seek TABLE --tag NAME KEY [--all]\n"
      "  dbftool check TABLE\n"
      "  dbftool reindex TABLE\n"
      "  dbftool pack TABLE\n",
      stderr);
  return kExitError;
}

int fail(const std::string& what, const dbe::Status& s) {
  std::fprintf(stderr, "dbftool: %s: %s\n", what.c_str(), s.toString().c_str());
  return kExitError;
}

bool parseArgs(int argc, char** argv, Args* a) {
  if (argc < 3) return false;
  a->command = argv[1];
  a->table = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::string s = argv[i];
    auto value = [&](std::optional<std::string>* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    if (s == "--fields") {
      if (!value(&a->fields)) return false;
    } else if (s == "--tag") {
      if (!value(&a->tag)) return false;
    } else if (s == "--on") {
      if (!value(&a->on)) return false;
    } else if (s == "--for") {
      if (!value(&a->forExpr)) return false;
    } else if (s == "--unique") {
      a->unique = true;
    } else if (s == "--descending") {
      a->descending = true;
    } else if (s == "--all") {
      a->all = true;
    } else if (s.rfind("--", 0) == 0) {
      std::fprintf(stderr, "dbftool: unknown option %s\n", s.c_str());
      return false;
    } else {
      a->positional.push_back(s);
    }
  }
  return true;
}

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string rtrim(std::string_view s) {
  size_t e = s.size();
  while (e > 0 && s[e - 1] == ' ') --e;
  return std::string(s.substr(0, e));
}

bool parseFieldList(const std::string& text, std::vector<dbe::dbf::FieldSpec>* out,
                    std::string* error) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = trim(std::string_view(text).substr(start, comma - start));
    start = comma + 1;
    if (item.empty()) {
      if (comma >= text.size()) break;
      continue;
    }
    std::vector<std::string> parts;
    size_t p = 0;
    while (p < item.size()) {
      while (p < item.size() && std::isspace(static_cast<unsigned char>(item[p]))) ++p;
      size_t q = p;
      while (q < item.size() && !std::isspace(static_cast<unsigned char>(item[q]))) ++q;
      if (q > p) parts.push_back(item.substr(p, q - p));
      p = q;
    }
    if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1) {
      *error = "bad field '" + item + "': expected NAME TYPE [WIDTH [DECIMALS]]";
      return false;
    }
    dbe::dbf::FieldSpec f;
    f.name = parts[0];
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
    auto num = [&](const std::string& s, int* v) {
      auto r = std::from_chars(s.data(), s.data() + s.size(), *v);
      return r.ec == std::errc() && r.ptr == s.data() + s.size();
    };
    if (parts.size() >= 3 && !num(parts[2], &f.length)) {
      *error = "bad width in field '" + item + "'";
      return false;
    }
    if (parts.size() == 4 && !num(parts[3], &f.decimals)) {
      *error = "bad decimals in field '" + item + "'";
      return false;
    }
    out->push_back(f);
  }
  if (out->empty()) {
    *error = "no fields given";
    return false;
  }
  return true;
}

dbe::Status openTable(const Args& a, bool exclusive) {
  dbe::OpenOptions opt;
  opt.shared = !exclusive;
  return dbe::workspace::use(a.table, opt, 1);
}

dbe::TableArea* current() {
  return dynamic_cast<dbe::TableArea*>(dbe::workspace::area());
}

// ---- dump ----

std::string escapeMemo(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

dbe::Status formatField(dbe::TableArea* area, std::size_t i, std::string* out) {
  const auto& rec = area->record();
  const auto& f = rec.schema().field(i);
  auto raw = rec.fieldBytes(i);
  const std::string_view bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
  namespace ft = dbe::dbf::field_type;
  switch (f.type) {
    case ft::kCharacter: *out = rtrim(bytes); return dbe::Status::ok();
    case ft::kNumeric:
    case ft::kFloat:
    case ft::kDate: *out = trim(bytes); return dbe::Status::ok();
    case ft::kLogical: {
      const char c = bytes.empty() ? ' ' : bytes[0];
      *out = (c == 'T' || c == 't' || c == 'Y' || c == 'y')   ? "T"
             : (c == 'F' || c == 'f' || c == 'N' || c == 'n') ? "F"
                                                              : "";
      return dbe::Status::ok();
    }
    default: break;
  }
  auto v = f.isMemo() ? area->table()->value(rec, i) : rec.value(i);
  if (!v.isOk()) return v.status();
  if (f.isMemo()) {
    *out = v->isText() ? escapeMemo(v->text()) : "";
  } else if (v->isNumber() && f.type == ft::kInteger) {
    *out = std::to_string(static_cast<long long>(v->number()));
  } else if (v->isNil()) {
    out->clear();
  } else {
    *out = v->debugString();
  }
  return dbe::Status::ok();
}

int cmdDump(const Args& a) {
  dbe::engineSettings().hideDeleted = !a.all;
  if (auto s = openTable(a, false); !s.isOk()) return fail("open " + a.table, s);
  dbe::TableArea* area = current();
  if (a.tag) {
    if (auto s = area->setOrder(*a.tag); !s.isOk()) return fail("tag " + *a.tag, s);
  }
  if (auto s = area->goTop(); !s.isOk()) return fail("read", s);
  std::string line, value;
  const std::size_t n = area->record().schema().fieldCount();
  while (!area->eof()) {
    line = std::to_string(area->recNo());
    line += '\t';
    line += area->record().isDeleted() ? '*' : ' ';
    for (std::size_t i = 0; i < n; ++i) {
      if (area->record().schema().field(i).isSystem()) continue;
      if (auto s = formatField(area, i, &value); !s.isOk()) return fail("read", s);
      line += '\t';
      line += value;
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
    if (auto s = area->skip(1); !s.isOk()) return fail("read", s);
  }
  return kExitOk;
}

// ---- seek ----

int cmdSeek(const Args& a) {
  if (!a.tag || a.positional.size() != 1) return usage();
  dbe::engineSettings().hideDeleted = !a.all;
  if (auto s = openTable(a, false); !s.isOk()) return fail("open " + a.table, s);
  dbe::TableArea* area = current();
  if (auto s = area->setOrder(*a.tag); !s.isOk()) return fail("tag " + *a.tag, s);
  if (auto s = area->seek(rt::Value(a.positional[0]), /*soft=*/true); !s.isOk()) {
    return fail("seek", s);
  }
  if (area->found()) {
    std::printf("found %u\n", area->recNo());
  } else if (area->eof()) {
    std::printf("notfound eof\n");
  } else {
    std::printf("notfound %u\n", area->recNo());
  }
  return kExitOk;
}

// ---- create, import, index ----

int cmdCreate(const Args& a) {
  if (!a.fields) return usage();
  std::vector<dbe::dbf::FieldSpec> fields;
  std::string error;
  if (!parseFieldList(*a.fields, &fields, &error)) {
    std::fprintf(stderr, "dbftool: %s\n", error.c_str());
    return kExitError;
  }
  if (auto s = dbe::workspace::createTable(a.table, fields, /*structuralIndex=*/true); !s.isOk()) {
    return fail("create " + a.table, s);
  }
  return kExitOk;
}

bool textToValue(const dbe::FieldInfo& f, const std::string& text, rt::Value* out,
                 std::string* error) {
  const std::string t = trim(text);
  switch (f.type) {
    case 'N':
    case 'F':
    case 'I':
    case 'B':
    case 'Y': {
      if (t.empty()) {
        *out = rt::Value(0);
        return true;
      }
      double d = 0;
      auto r = std::from_chars(t.data(), t.data() + t.size(), d);
      if (r.ec != std::errc() || r.ptr != t.data() + t.size()) {
        *error = "'" + text + "' is not a number";
        return false;
      }
      *out = rt::Value(d);
      return true;
    }
    case 'D': {
      if (t.empty()) {
        *out = rt::Value(rt::Date{});
        return true;
      }
      std::string digits;
      for (char c : t) {
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
      }
      rt::Date d;
      if (digits.size() == 8 && (t.find('-') != std::string::npos || t.size() == 8)) {
        d = rt::stod(digits);
      } else {
        rt::DateSettings saved = rt::dateSettings();
        rt::setDateFormat("mm/dd/yyyy");
        d = rt::textToDate(t);
        rt::dateSettings() = saved;
      }
      if (d.isEmpty()) {
        *error = "'" + text + "' is not a date (YYYYMMDD, YYYY-MM-DD or MM/DD/YYYY)";
        return false;
      }
      *out = rt::Value(d);
      return true;
    }
    case 'L': {
      const char c = t.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
      *out = rt::Value(c == 'T' || c == 'Y' || c == '1');
      return true;
    }
    default:
      *out = rt::Value(text);
      return true;
  }
}

int cmdImport(const Args& a) {
  if (a.positional.size() != 1) return usage();
  std::ifstream in(a.positional[0], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "dbftool: cannot read %s\n", a.positional[0].c_str());
    return kExitError;
  }
  if (auto s = openTable(a, false); !s.isOk()) return fail("open " + a.table, s);
  dbe::TableArea* area = current();
  dbftool::CsvReader csv(in);
  std::vector<std::string> header, row;
  std::string error;
  if (!csv.next(&header, &error)) {
    std::fprintf(stderr, "dbftool: %s: %s\n", a.positional[0].c_str(),
                 error.empty() ? "no header row" : error.c_str());
    return kExitError;
  }
  std::vector<int> pos;
  for (const auto& h : header) {
    const int p = area->fieldPos(trim(h));
    if (p == 0) {
      std::fprintf(stderr, "dbftool: %s: no field %s in %s\n", a.positional[0].c_str(),
                   trim(h).c_str(), a.table.c_str());
      return kExitError;
    }
    pos.push_back(p);
  }
  long imported = 0;
  while (csv.next(&row, &error)) {
    if (row.size() == 1 && trim(row[0]).empty()) continue;  // a blank line
    if (row.size() != header.size()) {
      std::fprintf(stderr, "dbftool: %s line %ld: %zu values for %zu fields\n",
                   a.positional[0].c_str(), csv.line(), row.size(), header.size());
      return kExitError;
    }
    // Convert the whole row before appending, so that a bad value appends nothing.
    std::vector<rt::Value> values(row.size());
    for (size_t i = 0; i < row.size(); ++i) {
      if (!textToValue(area->fieldInfo(pos[i]), row[i], &values[i], &error)) {
        std::fprintf(stderr, "dbftool: %s line %ld, field %s: %s\n", a.positional[0].c_str(),
                     csv.line(), trim(header[i]).c_str(), error.c_str());
        return kExitError;
      }
    }
    if (auto s = area->appendBlank(); !s.isOk()) return fail("append", s);
    for (size_t i = 0; i < row.size(); ++i) {
      if (auto s = area->fieldPut(pos[i], values[i]); !s.isOk()) {
        return fail("line " + std::to_string(csv.line()) + ", field " + trim(header[i]), s);
      }
    }
    if (auto s = area->unlock(); !s.isOk()) return fail("write", s);
    ++imported;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "dbftool: %s: %s\n", a.positional[0].c_str(), error.c_str());
    return kExitError;
  }
  if (auto s = dbe::workspace::closeAll(); !s.isOk()) return fail("close", s);
  std::fprintf(stderr, "dbftool: %ld records imported\n", imported);
  return kExitOk;
}

int cmdIndex(const Args& a) {
  if (!a.tag || !a.on) return usage();
  if (auto s = openTable(a, true); !s.isOk()) return fail("open " + a.table, s);
  if (auto s = current()->createTag(*a.tag, *a.on, a.forExpr.value_or(""), a.unique,
                                    a.descending);
      !s.isOk()) {
    return fail("index " + *a.tag, s);
  }
  if (auto s = dbe::workspace::closeAll(); !s.isOk()) return fail("close", s);
  return kExitOk;
}

// ---- info, check, reindex, pack ----

int cmdInfo(const Args& a) {
  if (auto s = openTable(a, false); !s.isOk()) return fail("open " + a.table, s);
  dbe::TableArea* area = current();
  const auto& schema = area->table()->schema();
  auto count = area->lastRec();
  if (!count.isOk()) return fail("read", count.status());
  std::printf("table\t%s\n", area->table()->name().c_str());
  std::printf("version\t0x%02X\n", schema.version());
  std::printf("codepage\t0x%02X (%d)\n", schema.codePageMark(),
              area->table()->textConverter().codePage());
  std::printf("records\t%u\n", count.value());
  for (const auto& f : schema.fields()) {
    if (f.isSystem()) continue;
    std::printf("field\t%s\t%c\t%u\t%u\n", f.name.c_str(), f.type, f.length, f.decimals);
  }
  for (const dbe::AreaTag& t : area->indexes().tags()) {
    std::string line = "tag\t" + t.name;
    if (t.tag != nullptr) {
      const auto& info = t.tag->info();
      line += "\t" + info.keyExpression;
      line += "\tfor=" + info.forExpression;
      line += std::string("\t") + dbe::cdx::keyTypeName(t.keyType) + " " +
              std::to_string(t.keyLength);
      if (info.unique) line += "\tunique";
      if (info.descending) line += "\tdescending";
    } else {
      line += "\t(cannot be used: " + t.problem + ")";
    }
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

int cmdCheck(const Args& a) {
  if (auto s = openTable(a, false); !s.isOk()) {
    std::printf("%s\n", s.toString().c_str());
    return kExitFaults;
  }
  dbe::TableArea* area = current();
  std::vector<std::string> faults;
  if (area->table()->trailingRecords() > 0) {
    faults.push_back(area->table()->name() + ": the file holds " +
                     std::to_string(area->table()->trailingRecords()) +
                     " record(s) after the last one the header counts");
  }
  if (auto s = area->verifyIndexes(&faults); !s.isOk()) faults.push_back(s.toString());
  if (faults.empty()) {
    std::printf("ok\n");
    return kExitOk;
  }
  for (const auto& f : faults) std::printf("%s\n", f.c_str());
  return kExitFaults;
}

int cmdReindex(const Args& a) {
  if (auto s = openTable(a, true); !s.isOk()) return fail("open " + a.table, s);
  if (auto s = current()->reindex(); !s.isOk()) return fail("reindex", s);
  if (auto s = dbe::workspace::closeAll(); !s.isOk()) return fail("close", s);
  return kExitOk;
}

int cmdPack(const Args& a) {
  if (auto s = openTable(a, true); !s.isOk()) return fail("open " + a.table, s);
  const std::filesystem::path path = current()->path();
  if (auto s = dbe::workspace::closeAll(); !s.isOk()) return fail("close", s);
  {
    dbe::dbf::OpenOptions opt;
    opt.exclusive = true;
    auto t = dbe::dbf::Table::open(dbe::workspace::fileSystem(), path, opt);
    if (!t.isOk()) return fail("open " + a.table, t.status());
    if (auto s = t.value()->pack(); !s.isOk()) return fail("pack", s);
    if (auto s = t.value()->close(); !s.isOk()) return fail("close", s);
  }
  // Record numbers changed: every tag is rebuilt.
  return cmdReindex(a);
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  if (!parseArgs(argc, argv, &a)) return usage();
  dbe::dbeLoad("FOXDBE", true);
  dbe::dbeLoad("CDXDBE", true);
  dbe::dbeBuild("FOXCDX", "FOXDBE", "CDXDBE");
  int rc = kExitError;
  if (a.command == "create") {
    rc = cmdCreate(a);
  } else if (a.command == "import") {
    rc = cmdImport(a);
  } else if (a.command == "index") {
    rc = cmdIndex(a);
  } else if (a.command == "info") {
    rc = cmdInfo(a);
  } else if (a.command == "dump") {
    rc = cmdDump(a);
  } else if (a.command == "seek") {
    rc = cmdSeek(a);
  } else if (a.command == "check") {
    rc = cmdCheck(a);
  } else if (a.command == "reindex") {
    rc = cmdReindex(a);
  } else if (a.command == "pack") {
    rc = cmdPack(a);
  } else {
    return usage();
  }
  if (auto s = dbe::workspace::closeAll(); !s.isOk() && rc == kExitOk) {
    return fail("close", s);
  }
  return rc;
}
