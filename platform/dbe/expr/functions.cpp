#include "functions.h"

#include <cmath>

#include "dbe/expr/text_format.h"
#include "runtime/dates.h"

namespace dbe::expr {

namespace {

constexpr Type C = Type::kText;
constexpr Type N = Type::kNumber;
constexpr Type L = Type::kLogical;
constexpr Type D = Type::kDate;
constexpr Type U = Type::kAny;

// In the order of Func, so that functionSpec() can index it.
constexpr FunctionSpec kFunctions[] = {
    {"", Func::kNone, 0, 0, {U, U, U}},           {"UPPER", Func::kUpper, 1, 1, {C, U, U}},
    {"LOWER", Func::kLower, 1, 1, {C, U, U}},     {"TRIM", Func::kTrim, 1, 1, {C, U, U}},
    {"RTRIM", Func::kRtrim, 1, 1, {C, U, U}},     {"LTRIM", Func::kLtrim, 1, 1, {C, U, U}},
    {"ALLTRIM", Func::kAlltrim, 1, 1, {C, U, U}}, {"SUBSTR", Func::kSubstr, 2, 3, {C, N, N}},
    {"LEFT", Func::kLeft, 2, 2, {C, N, U}},       {"RIGHT", Func::kRight, 2, 2, {C, N, U}},
    {"PADR", Func::kPadr, 2, 3, {C, N, C}},       {"PADL", Func::kPadl, 2, 3, {C, N, C}},
    {"STR", Func::kStr, 1, 3, {N, N, N}},         {"VAL", Func::kVal, 1, 1, {C, U, U}},
    {"DTOS", Func::kDtos, 1, 1, {D, U, U}},       {"DTOC", Func::kDtoc, 1, 1, {D, U, U}},
    {"CTOD", Func::kCtod, 1, 1, {C, U, U}},       {"YEAR", Func::kYear, 1, 1, {D, U, U}},
    {"MONTH", Func::kMonth, 1, 1, {D, U, U}},     {"DAY", Func::kDay, 1, 1, {D, U, U}},
    {"IIF", Func::kIif, 3, 3, {L, U, U}},         {"EMPTY", Func::kEmpty, 1, 1, {U, U, U}},
    {"LEN", Func::kLen, 1, 1, {C, U, U}},         {"DELETED", Func::kDeleted, 0, 0, {U, U, U}},
    {"RECNO", Func::kRecno, 0, 0, {U, U, U}},
};

constexpr bool specsInOrder() {
  for (std::size_t i = 0; i < std::size(kFunctions); ++i) {
    if (static_cast<std::size_t>(kFunctions[i].func) != i) return false;
  }
  return true;
}
static_assert(specsInOrder(), "kFunctions must follow the order of Func");

constexpr TypeInfo kNumberType{Type::kNumber, 8};
constexpr TypeInfo kDateType{Type::kDate, 8};
constexpr TypeInfo kLogicalType{Type::kLogical, 1};

TypeInfo text(int length) { return {Type::kText, length}; }

// The value of a numeric literal argument, when it is one.
bool literalNumber(const Node* n, long long* v) {
  if (n->op != Op::kLiteral || n->literal.type != Type::kNumber) return false;
  *v = toCount(n->literal.number);
  return true;
}

bool knownLength(const Node* n, std::size_t* len) {
  if (n->type.type != Type::kText || n->type.length == kVariableLength) return false;
  *len = static_cast<std::size_t>(n->type.length);
  return true;
}

// A literal width within range, for PADR(), PADL() and STR().
int literalWidth(const Node* n) {
  long long w = 0;
  if (!literalNumber(n, &w) || w > kMaxWidth) return kVariableLength;
  return w < 0 ? 0 : static_cast<int>(w);
}

bool isEmptyText(std::string_view s) {
  for (char c : s) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

bool width(const char* fn, double v, int* w, CallFailure* failure) {
  const long long n = toCount(v);
  if (n > kMaxWidth) {
    failure->title = "Argument out of range";
    failure->detail = std::string(fn) + " width " + std::to_string(n) + " is larger than " +
                      std::to_string(kMaxWidth);
    return false;
  }
  *w = n < 0 ? 0 : static_cast<int>(n);
  return true;
}

void pad(std::string_view s, int w, const ValueView* fill, bool left, std::string* scratch) {
  const char f = fill && !fill->text.empty() ? fill->text.front() : ' ';
  const std::size_t width = static_cast<std::size_t>(w);
  if (s.size() >= width) {
    scratch->assign(s.substr(0, width));
    return;
  }
  scratch->clear();
  if (left) scratch->append(width - s.size(), f);
  scratch->append(s);
  if (!left) scratch->append(width - s.size(), f);
}

double datePart(rt::Date d, Func f) {
  int y = 0, m = 0, day = 0;
  d.toYmd(&y, &m, &day);
  return f == Func::kYear ? y : f == Func::kMonth ? m : day;
}

}  // namespace

const FunctionSpec* findFunction(std::string_view upperName) {
  const FunctionSpec* prefixMatch = nullptr;
  int prefixMatches = 0;
  for (const FunctionSpec& f : kFunctions) {
    if (f.func == Func::kNone) continue;
    if (f.name == upperName) return &f;
    if (upperName.size() >= 4 && f.name.substr(0, upperName.size()) == upperName) {
      prefixMatch = &f;
      ++prefixMatches;
    }
  }
  return prefixMatches == 1 ? prefixMatch : nullptr;
}

const FunctionSpec& functionSpec(Func f) { return kFunctions[static_cast<std::size_t>(f)]; }

TypeInfo inferCall(Func f, const Node* const* args, int argc) {
  std::size_t len = 0;
  long long a = 0, b = 0;
  switch (f) {
    case Func::kUpper:
    case Func::kLower:
      return text(args[0]->type.type == Type::kText ? args[0]->type.length : kVariableLength);
    case Func::kTrim:
    case Func::kRtrim:
    case Func::kLtrim:
    case Func::kAlltrim:
      return text(kVariableLength);
    case Func::kSubstr:
      if (knownLength(args[0], &len) && literalNumber(args[1], &a) &&
          (argc == 2 || literalNumber(args[2], &b))) {
        return text(static_cast<int>(substrRange(len, a, argc == 3, b).count));
      }
      return text(kVariableLength);
    case Func::kLeft:
    case Func::kRight:
      if (knownLength(args[0], &len) && literalNumber(args[1], &a)) {
        return text(static_cast<int>(edgeCount(len, a)));
      }
      return text(kVariableLength);
    case Func::kPadr:
    case Func::kPadl:
      return text(literalWidth(args[1]));
    case Func::kStr:
      return text(argc == 1 ? 10 : literalWidth(args[1]));
    case Func::kDtos:
      return text(8);
    case Func::kDtoc:
      return text(static_cast<int>(rt::dateToText(rt::Date{}).size()));
    case Func::kCtod:
      return kDateType;
    case Func::kVal:
    case Func::kYear:
    case Func::kMonth:
    case Func::kDay:
    case Func::kLen:
    case Func::kRecno:
      return kNumberType;
    case Func::kEmpty:
    case Func::kDeleted:
      return kLogicalType;
    case Func::kIif: {
      const TypeInfo& x = args[1]->type;
      const TypeInfo& y = args[2]->type;
      if (x.type != y.type || x.type == Type::kAny) return {};
      return {x.type, x.length == y.length ? x.length : kVariableLength};
    }
    case Func::kNone:
      break;
  }
  return {};
}

bool callFunction(Func f, const ValueView* args, int argc, const CaseTable& cases,
                  std::string* scratch, ValueView* out, CallFailure* failure) {
  switch (f) {
    case Func::kUpper:
    case Func::kLower: {
      const auto& map = f == Func::kUpper ? cases.upper : cases.lower;
      const std::string_view s = args[0].text;
      scratch->resize(s.size());
      for (std::size_t i = 0; i < s.size(); ++i) {
        (*scratch)[i] = static_cast<char>(map[static_cast<unsigned char>(s[i])]);
      }
      *out = ValueView::ofText(*scratch);
      return true;
    }
    case Func::kTrim:
    case Func::kRtrim:
      *out = ValueView::ofText(trimRight(args[0].text));
      return true;
    case Func::kLtrim:
      *out = ValueView::ofText(trimLeft(args[0].text));
      return true;
    case Func::kAlltrim:
      *out = ValueView::ofText(trimLeft(trimRight(args[0].text)));
      return true;
    case Func::kSubstr: {
      const std::string_view s = args[0].text;
      const TextRange r = substrRange(s.size(), toCount(args[1].number), argc == 3,
                                      argc == 3 ? toCount(args[2].number) : 0);
      *out = ValueView::ofText(s.substr(r.offset, r.count));
      return true;
    }
    case Func::kLeft: {
      const std::string_view s = args[0].text;
      *out = ValueView::ofText(s.substr(0, edgeCount(s.size(), toCount(args[1].number))));
      return true;
    }
    case Func::kRight: {
      const std::string_view s = args[0].text;
      *out = ValueView::ofText(s.substr(s.size() - edgeCount(s.size(), toCount(args[1].number))));
      return true;
    }
    case Func::kPadr:
    case Func::kPadl: {
      int w = 0;
      if (!width(f == Func::kPadr ? "PADR" : "PADL", args[1].number, &w, failure)) return false;
      pad(args[0].text, w, argc == 3 ? &args[2] : nullptr, f == Func::kPadl, scratch);
      *out = ValueView::ofText(*scratch);
      return true;
    }
    case Func::kStr: {
      int w = 10;
      if (argc >= 2 && !width("STR", args[1].number, &w, failure)) return false;
      const long long decimals = argc == 3 ? toCount(args[2].number) : 0;
      formatStr(args[0].number, w,
                static_cast<int>(decimals < 0   ? 0
                                 : decimals > w ? w
                                                : decimals),
                scratch);
      *out = ValueView::ofText(*scratch);
      return true;
    }
    case Func::kVal: {
      const double v = parseVal(args[0].text);
      if (!std::isfinite(v)) {
        failure->title = "Numeric overflow";
        failure->detail = "VAL of a number too large";
        return false;
      }
      *out = ValueView::ofNumber(v);
      return true;
    }
    case Func::kDtos:
      *scratch = rt::dtos(args[0].date);
      *out = ValueView::ofText(*scratch);
      return true;
    case Func::kDtoc:
      *scratch = rt::dateToText(args[0].date);
      *out = ValueView::ofText(*scratch);
      return true;
    case Func::kCtod:
      *out = ValueView::ofDate(rt::textToDate(args[0].text));
      return true;
    case Func::kYear:
    case Func::kMonth:
    case Func::kDay:
      *out = ValueView::ofNumber(datePart(args[0].date, f));
      return true;
    case Func::kEmpty: {
      const ValueView& v = args[0];
      bool empty = false;
      switch (v.type) {
        case Type::kText:
          empty = isEmptyText(v.text);
          break;
        case Type::kNumber:
          empty = v.number == 0.0;
          break;
        case Type::kLogical:
          empty = !v.logical;
          break;
        case Type::kDate:
          empty = v.date.isEmpty();
          break;
        case Type::kAny:
          break;
      }
      *out = ValueView::ofLogical(empty);
      return true;
    }
    case Func::kLen:
      *out = ValueView::ofNumber(static_cast<double>(args[0].text.size()));
      return true;
    case Func::kIif:
    case Func::kDeleted:
    case Func::kRecno:
    case Func::kNone:
      break;
  }
  failure->title = "Internal error";
  failure->detail = "function evaluated out of place";
  return false;
}

}  // namespace dbe::expr
