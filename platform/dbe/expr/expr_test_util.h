// Test helpers of the expression tests: a context with a small vendor record, and value
// comparison with readable failure output.
#pragma once

#include <cmath>
#include <gtest/gtest.h>
#include <ostream>
#include <string>

#include "dbe/expr/expression.h"
#include "dbe/expr/value_context.h"
#include "runtime/dates.h"

namespace dbe::expr {

// One record of a vendor table opened under the alias AP, plus one field of a second work area
// VEND. Names follow the vendor master's style.
class VendorRecord : public ValueRecordContext {
 public:
  VendorRecord() : ValueRecordContext("AP") {
    name = addField("NAME", Type::kText, 10);
    city = addField("CITY", Type::kText, 8);
    amount = addField("AMOUNT", Type::kNumber);
    qty = addField("QTY", Type::kNumber);
    zero = addField("ZERO", Type::kNumber);
    active = addField("ACTIVE", Type::kLogical);
    vendinact = addField("VENDINACT", Type::kLogical);
    due = addField("DUE", Type::kDate);
    nodate = addField("NODATE", Type::kDate);
    notes = addField("NOTES", Type::kText);  // a memo: no fixed width
    vendno = addField("VENDNO", Type::kText, 6, "VEND");
    set(name, "Smith");
    set(city, "Dallas");
    set(amount, 12.5);
    set(qty, 3);
    set(zero, 0);
    set(active, true);
    set(vendinact, false);
    set(due, rt::Date::fromYmd(2016, 3, 7));
    set(nodate, rt::Date{});
    set(notes, "call first");
    set(vendno, "A100");
    setRecordNumber(42);
  }

  FieldHandle name, city, amount, qty, zero, active, vendinact, due, nodate, notes, vendno;
};

inline std::string describe(const rt::Value& v) {
  return std::string(1, v.typeLetter()) + " " +
         (v.isText() ? "'" + v.text() + "'" : v.debugString());
}

// Same kind and value; numbers within a relative 1e-12.
inline ::testing::AssertionResult sameValue(const rt::Value& want, const rt::Value& got) {
  if (want.kind() == got.kind()) {
    if (want.isNumber()) {
      const double scale = std::max(1.0, std::fabs(want.number()));
      if (std::fabs(want.number() - got.number()) <= 1e-12 * scale) {
        return ::testing::AssertionSuccess();
      }
    } else if (rt::valuesEqual(want, got, true)) {
      return ::testing::AssertionSuccess();
    }
  }
  return ::testing::AssertionFailure() << "want " << describe(want) << ", got " << describe(got);
}

// An expression text and the value it must give for the VendorRecord.
struct EvalCase {
  const char* text;
  rt::Value want;
};

inline std::ostream& operator<<(std::ostream& os, const EvalCase& c) {
  return os << c.text << " -> " << describe(c.want);
}

inline rt::Value date(int y, int m, int d) { return rt::Value(rt::Date::fromYmd(y, m, d)); }
inline rt::Value emptyDate() { return rt::Value(rt::Date{}); }

// Evaluates the case against a fresh VendorRecord and compares.
inline void checkCase(const EvalCase& c, const CompileOptions& options = {}) {
  VendorRecord rec;
  Result<Expression> e = compile(c.text, rec, options);
  ASSERT_TRUE(e.isOk()) << e.status().toString();
  Result<rt::Value> v = e->value(rec);
  ASSERT_TRUE(v.isOk()) << v.status().toString();
  EXPECT_TRUE(sameValue(c.want, *v)) << c.text;
  // The static type, where known, is the type the evaluation gave.
  if (e->type().type != Type::kAny) {
    EXPECT_EQ(static_cast<char>(e->type().type), v->typeLetter()) << c.text;
  }
  if (v->isText() && e->type().length != kVariableLength) {
    EXPECT_EQ(static_cast<std::size_t>(e->type().length), v->text().size()) << c.text;
  }
}

// Restores the calling thread's date settings when a test is done with them.
class DateSettingsGuard {
 public:
  DateSettingsGuard() : saved_(rt::dateSettings()) {}
  ~DateSettingsGuard() { rt::dateSettings() = saved_; }
  DateSettingsGuard(const DateSettingsGuard&) = delete;
  DateSettingsGuard& operator=(const DateSettingsGuard&) = delete;

 private:
  rt::DateSettings saved_;
};

}  // namespace dbe::expr
