// libFuzzer target for the .dbf header, its field descriptors and the records of what opens.
//
// Input: the bytes of a .dbf file, optionally followed by kMemoSeparator and the bytes of its
// .fpt. Without a separator the table gets a small valid memo file made here, so that tables
// with memo fields still open and their pointers still lead somewhere.
//
// Each input goes through:
//   1. TableSchema::parse on the header bytes; a schema that parses must be consistent (fields
//      inside the record, laid out back to back) and survive encode() + parse() unchanged.
//   2. Table::open exclusive and read-only over an in-memory file system, then every record
//      (up to kMaxRecords) and every field value of it, memos included, the text of every
//      field through the table's code-page converter, and the reads that must fail (record 0,
//      the one past the count).
//   3. The same table opened shared, its records read backwards (no read-ahead): the bytes
//      must equal what the exclusive reading gave.
// Failures must be Statuses that say what is wrong; a crash, a sanitizer report or a broken
// check is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/dbf/table.h"
#include "fuzz_check.h"

namespace {

using dbe::Status;
using dbe::dbf::Field;
using dbe::dbf::Table;
using dbe::dbf::TableSchema;

constexpr std::string_view kMemoSeparator = "\x1A\x1A--FPT--";
constexpr std::uint32_t kMaxRecords = 2000;
constexpr const char* kTablePath = "T.DBF";
constexpr const char* kMemoPath = "T.FPT";

// Block size 64, next free block 11; block 8 holds "memo text", block 9 a binary memo of
// 3 bytes, block 10 a type that does not exist.
std::vector<std::byte> defaultMemoFile() {
  std::vector<std::byte> m(11 * 64, std::byte{0});
  m[3] = std::byte{11};
  m[7] = std::byte{64};
  auto block = [&m](std::size_t n, std::uint8_t type, std::string_view text) {
    std::byte* b = m.data() + n * 64;
    b[3] = std::byte{type};
    b[7] = static_cast<std::byte>(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) b[8 + i] = static_cast<std::byte>(text[i]);
  };
  block(8, 1, "memo text");
  block(9, 0, "\x01\x02\x03");
  block(10, 7, "x");
  return m;
}

bool sameFields(const TableSchema& a, const TableSchema& b) {
  if (a.fieldCount() != b.fieldCount()) return false;
  for (std::size_t i = 0; i < a.fieldCount(); ++i) {
    const Field& x = a.field(i);
    const Field& y = b.field(i);
    if (x.name != y.name || x.type != y.type || x.length != y.length ||
        x.decimals != y.decimals || x.flags != y.flags || x.offset != y.offset ||
        x.nullBit != y.nullBit || x.lengthBit != y.lengthBit) {
      return false;
    }
  }
  return true;
}

void checkSchema(std::span<const std::byte> header) {
  dbe::Result<TableSchema> parsed = TableSchema::parse(header, kTablePath);
  if (!parsed.isOk()) {
    FUZZ_CHECK(fuzz::explained(parsed.status()));
    return;
  }
  const TableSchema& s = *parsed;
  FUZZ_CHECK(s.fieldCount() >= 1 && s.fieldCount() <= 255);
  FUZZ_CHECK(s.headerLength() <= header.size());
  std::uint32_t offset = 1;
  for (const Field& f : s.fields()) {
    FUZZ_CHECK(f.offset == offset);
    FUZZ_CHECK(!f.name.empty() && f.name.size() <= 10);
    offset += f.length;
  }
  FUZZ_CHECK(offset == s.recordLength());
  if (s.nullFlagsField() >= 0) {
    const Field& nf = s.field(static_cast<std::size_t>(s.nullFlagsField()));
    for (const Field& f : s.fields()) {
      FUZZ_CHECK(f.nullBit < static_cast<int>(nf.length) * 8);
      FUZZ_CHECK(f.lengthBit < static_cast<int>(nf.length) * 8);
    }
  } else {
    for (const Field& f : s.fields()) FUZZ_CHECK(f.nullBit < 0 && f.lengthBit < 0);
  }
  // What we would write back must read back as the same schema.
  const std::vector<std::byte> again = s.encode(12345, 2024, 2, 29);
  dbe::Result<TableSchema> reparsed = TableSchema::parse(again, kTablePath);
  FUZZ_CHECK(reparsed.isOk());
  FUZZ_CHECK(sameFields(s, *reparsed));
  FUZZ_CHECK(reparsed->headerLength() == s.headerLength());
  FUZZ_CHECK(reparsed->recordLength() == s.recordLength());
  FUZZ_CHECK(reparsed->memoKind() == s.memoKind());
}

// Every field of a record read: values, dates, memo pointers and text conversion.
void readFields(Table& t, const dbe::dbf::Record& rec, dbe::dbf::TextConverter& conv) {
  const TableSchema& s = t.schema();
  for (std::size_t i = 0; i < s.fieldCount(); ++i) {
    const Field& f = s.field(i);
    FUZZ_CHECK(rec.fieldBytes(i).size() == f.length);
    dbe::Result<rt::Value> v = t.value(rec, i);
    if (!v.isOk()) {
      FUZZ_CHECK(fuzz::explained(v.status()));
      FUZZ_CHECK(f.isMemo());  // only memo fields need more than the record's bytes
      continue;
    }
    if (v->isText()) {
      if (f.type == dbe::dbf::field_type::kCharacter) FUZZ_CHECK(v->text().size() == f.length);
      (void)conv.toUtf8(v->text());
    }
    if (v->isNumber()) FUZZ_CHECK(v->number() == v->number() || f.type == 'B');
    if (f.type == dbe::dbf::field_type::kDate || f.type == dbe::dbf::field_type::kDateTime) {
      dbe::Result<dbe::dbf::DateTime> dt = rec.dateTime(i);
      FUZZ_CHECK(dt.isOk());
      FUZZ_CHECK(dt->milliseconds >= 0 && dt->milliseconds < 86400000);
    }
    if (f.isMemo()) {
      dbe::Result<std::uint32_t> block = rec.memoBlock(i);
      if (!block.isOk()) FUZZ_CHECK(fuzz::explained(block.status()));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find(kMemoSeparator);
  const std::span<const std::byte> dbf = fuzz::asBytes(data, std::min(cut, size));
  std::vector<std::byte> fpt;
  if (cut == std::string_view::npos) {
    fpt = defaultMemoFile();
  } else {
    const std::size_t from = cut + kMemoSeparator.size();
    fpt.assign(dbf.data() + from, dbf.data() + size);
  }

  checkSchema(dbf);

  std::unique_ptr<dbe::FileSystem> fs = dbe::newMemoryFileSystem();
  fuzz::putFile(fs.get(), kTablePath, dbf);
  fuzz::putFile(fs.get(), kMemoPath, fpt);

  dbe::dbf::OpenOptions exclusive;
  exclusive.exclusive = true;
  exclusive.readOnly = true;
  exclusive.readAheadBytes = 1024;  // small, so that a few records already cross blocks
  dbe::Result<std::unique_ptr<Table>> opened = Table::open(fs.get(), kTablePath, exclusive);
  if (!opened.isOk()) {
    FUZZ_CHECK(fuzz::explained(opened.status()));
    return 0;
  }
  Table& t = **opened;
  const std::uint32_t count = t.recordCount();
  const std::uint64_t rl = t.schema().recordLength();
  FUZZ_CHECK(t.schema().headerLength() + std::uint64_t{count} * rl <= dbf.size());
  FUZZ_CHECK(t.schema().headerLength() + (std::uint64_t{count} + t.trailingRecords()) * rl <=
             dbf.size());

  const std::uint32_t n = std::min(count, kMaxRecords);
  std::vector<std::byte> seen;
  seen.reserve(static_cast<std::size_t>(n * rl));
  dbe::dbf::Record rec = t.newRecord();
  dbe::dbf::TextConverter conv = t.textConverter();
  for (std::uint32_t r = 1; r <= n; ++r) {
    Status s = t.read(r, &rec);
    if (!s.isOk()) {
      FUZZ_CHECK(fuzz::explained(s));
      FUZZ_CHECK(s.code() == Status::Code::kCorruption && rec.hasBadFlag());
    }
    FUZZ_CHECK(rec.recno() == r);
    seen.insert(seen.end(), rec.bytes().begin(), rec.bytes().end());
    readFields(t, rec, conv);
  }
  FUZZ_CHECK(t.read(0, &rec).code() == Status::Code::kNotFound);
  if (count < 0xFFFFFFFFu) FUZZ_CHECK(t.read(count + 1, &rec).code() == Status::Code::kNotFound);
  FUZZ_CHECK(t.close().isOk());

  // The shared reading: one pread per record, in the opposite order.
  dbe::dbf::OpenOptions shared;
  shared.readOnly = true;
  dbe::Result<std::unique_ptr<Table>> again = Table::open(fs.get(), kTablePath, shared);
  FUZZ_CHECK(again.isOk());
  Table& u = **again;
  FUZZ_CHECK(u.recordCount() == count);
  dbe::dbf::Record rec2 = u.newRecord();
  for (std::uint32_t r = n; r >= 1; --r) {
    Status s = u.read(r, &rec2);
    FUZZ_CHECK(s.isOk() || s.code() == Status::Code::kCorruption);
    FUZZ_CHECK(std::equal(rec2.bytes().begin(), rec2.bytes().end(),
                          seen.begin() + static_cast<std::ptrdiff_t>((r - 1) * rl)));
  }
  FUZZ_CHECK(u.close().isOk());
  return 0;
}
