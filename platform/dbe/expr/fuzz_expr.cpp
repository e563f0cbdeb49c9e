// libFuzzer target for the expression compiler and evaluator.
//
// The input is an expression text. It is compiled against a small record with fields of every
// type (and one of another work area, for alias->field); what compiles is evaluated over a few
// records, and the compiler's claims are checked against what the evaluation gives: a known
// type is the type of every result, a known text length is the length of every result.
// Failures must be Statuses; a crash, a sanitizer report or a broken claim is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "dbe/expr/expression.h"
#include "dbe/expr/value_context.h"

namespace {

using dbe::expr::Type;

struct Record {
  const char* name;
  const char* notes;
  double amount;
  bool flag;
  rt::Date due;
  bool deleted;
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  dbe::expr::ValueRecordContext ctx("AP");
  const auto name = ctx.addField("NAME", Type::kText, 10);
  const auto notes = ctx.addField("NOTES", Type::kText);
  const auto amount = ctx.addField("AMOUNT", Type::kNumber);
  const auto flag = ctx.addField("FLAG", Type::kLogical);
  const auto due = ctx.addField("DUE", Type::kDate);
  const auto vendno = ctx.addField("VENDNO", Type::kText, 6, "VEND");

  dbe::Result<dbe::expr::Expression> compiled = dbe::expr::compile(text, ctx);
  if (!compiled.isOk()) {
    check(!compiled.status().detail().empty());
    return 0;
  }
  dbe::expr::Expression e = std::move(compiled).value();
  const dbe::expr::TypeInfo type = e.type();

  const Record records[] = {
      {"Smith", "a memo", 12.5, true, rt::Date::fromYmd(2016, 3, 7), false},
      {"", "", 0.0, false, rt::Date{}, true},
      {"\xE9\xFF longer than the field", " ", -1e300, true, rt::Date::fromYmd(9999, 12, 31), false},
      {"  x  ", "line\r\nline", 0.5, false, rt::Date::fromYmd(1, 1, 1), false},
  };
  std::uint32_t recno = 1;
  for (const Record& r : records) {
    ctx.set(name, r.name);
    ctx.set(notes, r.notes);
    ctx.set(amount, r.amount);
    ctx.set(flag, r.flag);
    ctx.set(due, r.due);
    ctx.set(vendno, r.name);
    ctx.setDeleted(r.deleted);
    ctx.setRecordNumber(recno++);
    dbe::expr::ValueView v;
    dbe::Status s = e.evaluate(ctx, &v);
    if (!s.isOk()) {
      check(!s.detail().empty());
      continue;
    }
    if (type.type != Type::kAny) check(v.type == type.type);
    if (v.type == Type::kText && type.length != dbe::expr::kVariableLength) {
      check(v.text.size() == static_cast<std::size_t>(type.length));
    }
    if (v.type == Type::kNumber) check(v.number == v.number);  // never NaN
  }
  return 0;
}
