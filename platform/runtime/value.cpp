#include "value.h"

#include <cmath>
#include <cstdio>

#include "error.h"

namespace rt {

namespace {

// Days from the civil calendar (proleptic Gregorian), after Howard Hinnant's public algorithm
// description; Julian day number = days since 1970-01-01 + 2440588.
constexpr std::int32_t kUnixEpochJulian = 2440588;

long long daysFromCivil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153LL * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2 ? 1 : 0));
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

[[noreturn]] void wrongKind(const char* expected, Value::Kind got) {
  Error e;
  e.genCode = kErrArgument;
  e.subsystem = "BASE";
  e.operation = "value";
  e.description = std::string("Argument error: expected ") + expected + ", got " +
                  Value::kindName(got);
  raiseError(e);
}

}  // namespace

Date Date::fromYmd(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return {};
  const int max = kDays[month - 1] + (month == 2 && isLeap(year) ? 1 : 0);
  if (day > max) return {};
  return Date{static_cast<std::int32_t>(daysFromCivil(year, month, day) + kUnixEpochJulian)};
}

void Date::toYmd(int* year, int* month, int* day) const {
  if (isEmpty()) {
    *year = *month = *day = 0;
    return;
  }
  civilFromDays(static_cast<long long>(julian) - kUnixEpochJulian, year, month, day);
}

const char* Value::kindName(Kind k) {
  switch (k) {
    case Kind::kNil: return "nil";
    case Kind::kText: return "text";
    case Kind::kNumber: return "number";
    case Kind::kLogical: return "logical";
    case Kind::kDate: return "date";
    case Kind::kArray: return "array";
    case Kind::kObject: return "object";
    case Kind::kCallable: return "callable";
  }
  return "?";
}

char Value::typeLetter() const {
  static constexpr char kLetters[] = {'U', 'C', 'N', 'L', 'D', 'A', 'O', 'B'};
  return kLetters[v_.index()];
}

const std::string& Value::text() const {
  if (!isText()) wrongKind("text", kind());
  return std::get<std::string>(v_);
}
double Value::number() const {
  if (!isNumber()) wrongKind("number", kind());
  return std::get<double>(v_);
}
bool Value::logical() const {
  if (!isLogical()) wrongKind("logical", kind());
  return std::get<bool>(v_);
}
Date Value::date() const {
  if (!isDate()) wrongKind("date", kind());
  return std::get<Date>(v_);
}
const ArrayRef& Value::arrayRef() const {
  if (!isArray()) wrongKind("array", kind());
  return std::get<ArrayRef>(v_);
}
const ObjectRef& Value::object() const {
  if (!isObject()) wrongKind("object", kind());
  return std::get<ObjectRef>(v_);
}
const CallableRef& Value::callableRef() const {
  if (!isCallable()) wrongKind("callable", kind());
  return std::get<CallableRef>(v_);
}

Value Value::call(Args& args) const { return (*callableRef())(args); }
Value Value::call() const {
  Args none;
  return call(none);
}

bool Value::isEmpty() const {
  switch (kind()) {
    case Kind::kNil: return true;
    case Kind::kText:
      return std::get<std::string>(v_).find_first_not_of(" \t\r\n") == std::string::npos;
    case Kind::kNumber: return std::get<double>(v_) == 0.0;
    case Kind::kLogical: return !std::get<bool>(v_);
    case Kind::kDate: return std::get<Date>(v_).isEmpty();
    case Kind::kArray: return std::get<ArrayRef>(v_) == nullptr || std::get<ArrayRef>(v_)->empty();
    case Kind::kObject: return std::get<ObjectRef>(v_) == nullptr;
    case Kind::kCallable: return std::get<CallableRef>(v_) == nullptr;
  }
  return true;
}

std::string Value::debugString() const {
  switch (kind()) {
    case Kind::kNil: return "NIL";
    case Kind::kText: return std::get<std::string>(v_);
    case Kind::kNumber: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.10g", std::get<double>(v_));
      return buf;
    }
    case Kind::kLogical: return std::get<bool>(v_) ? ".T." : ".F.";
    case Kind::kDate: {
      int y, m, d;
      std::get<Date>(v_).toYmd(&y, &m, &d);
      if (y == 0) return "        ";
      char buf[16];
      std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
      return buf;
    }
    case Kind::kArray: {
      std::string s = "{";
      const auto& a = std::get<ArrayRef>(v_);
      if (a) {
        for (size_t i = 0; i < a->size(); ++i) {
          if (i) s += ", ";
          s += (*a)[i].debugString();
        }
      }
      return s + "}";
    }
    case Kind::kObject: {
      const auto& o = std::get<ObjectRef>(v_);
      if (!o) return "<null object>";
      std::string s = "<";  // built step by step: GCC 12 warns falsely on "<" + name + ">"
      s += o->className();
      s += '>';
      return s;
    }
    case Kind::kCallable: return "{|| ...}";
  }
  return "?";
}

Value guarded(const Value& v, const Value& def) { return v.kind() == def.kind() ? v : def; }

bool textEqualsNonExact(std::string_view left, std::string_view right) {
  return left.substr(0, right.size()) == right && left.size() >= right.size();
}

bool textEqualsExact(std::string_view left, std::string_view right) { return left == right; }

bool valuesEqual(const Value& a, const Value& b, bool exact) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::kNil: return true;
    case Value::Kind::kText:
      return exact ? textEqualsExact(a.text(), b.text()) : textEqualsNonExact(a.text(), b.text());
    case Value::Kind::kNumber: return a.number() == b.number();
    case Value::Kind::kLogical: return a.logical() == b.logical();
    case Value::Kind::kDate: return a.date() == b.date();
    case Value::Kind::kArray: return a.arrayRef() == b.arrayRef();
    case Value::Kind::kObject: return a.object() == b.object();
    case Value::Kind::kCallable: return a.callableRef() == b.callableRef();
  }
  return false;
}

}  // namespace rt
