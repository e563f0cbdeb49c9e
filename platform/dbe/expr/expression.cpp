#include "expression.h"

#include <cmath>
#include <exception>
#include <utility>

#include "dbe/expr/functions.h"
#include "dbe/expr/node.h"

namespace dbe::expr {

namespace {

// Julian day numbers of 0001-01-01 and 9999-12-31: the dates a date can hold.
constexpr double kFirstJulian = 1721426;
constexpr double kLastJulian = 5373484;

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The ordering of the relational operators over texts. When the right text is shorter, only
// its length of the left text takes part ("ABC" >= "AB" and "ABC" <= "AB" both hold, as "ABC" =
// "AB" does); otherwise whole texts compare by unsigned bytes, a text before its extensions.
int compareText(std::string_view l, std::string_view r) {
  if (r.size() < l.size()) l = l.substr(0, r.size());
  const int c = l.compare(r);  // char_traits<char>::compare orders as unsigned char
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

template <typename T>
int compareScalar(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

bool isComparison(Op op) {
  switch (op) {
    case Op::kEqual:
    case Op::kExactEqual:
    case Op::kNotEqual:
    case Op::kLess:
    case Op::kLessEqual:
    case Op::kGreater:
    case Op::kGreaterEqual:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* typeName(Type t) {
  switch (t) {
    case Type::kText:
      return "text";
    case Type::kNumber:
      return "number";
    case Type::kLogical:
      return "logical";
    case Type::kDate:
      return "date";
    case Type::kAny:
      return "unknown";
  }
  return "unknown";
}

rt::Value ValueView::toValue() const {
  switch (type) {
    case Type::kText:
      return rt::Value(std::string(text));
    case Type::kNumber:
      return rt::Value(number);
    case Type::kLogical:
      return rt::Value(logical);
    case Type::kDate:
      return rt::Value(date);
    case Type::kAny:
      break;
  }
  return rt::Value::nil();
}

// Walks the nodes of one Expression for one record. Recursion depth is bounded by the node
// heights the parser allowed (kMaxNesting).
class Evaluator {
 public:
  Evaluator(Expression& e, RecordContext& ctx) : e_(e), ctx_(ctx) {}

  bool eval(int index, ValueView* out);
  Status takeStatus() { return std::move(status_); }

  bool fail(const Node& n, const char* title, std::string_view detail) {
    status_ = Status::invalidArgument(formatExpressionError(title, e_.text_, n.position, detail));
    return false;
  }

 private:
  bool typeError(const Node& n, const ValueView& l, const ValueView* r) {
    std::string d;
    if (r) {
      d = std::string(typeName(l.type)) + " " + opName(n.op) + " " + typeName(r->type);
    } else {
      d = std::string(opName(n.op)) + " of " + typeName(l.type);
    }
    return fail(n, "Type mismatch", d);
  }
  bool number(const Node& n, double v, ValueView* out) {
    if (!std::isfinite(v)) return fail(n, "Numeric overflow", {});
    *out = ValueView::ofNumber(v);
    return true;
  }
  bool dateShift(const Node& n, rt::Date d, double days, ValueView* out) {
    if (d.isEmpty()) {
      *out = ValueView::ofDate(d);  // an empty date stays empty
      return true;
    }
    const double j = d.julian + std::trunc(days);
    if (!(j >= kFirstJulian && j <= kLastJulian)) return fail(n, "Date out of range", {});
    *out = ValueView::ofDate(rt::Date{static_cast<std::int32_t>(j)});
    return true;
  }

  bool evalField(Node& n, ValueView* out);
  bool evalCall(Node& n, ValueView* out);
  bool evalArithmetic(Node& n, const ValueView& l, const ValueView& r, ValueView* out);
  bool evalComparison(Node& n, const ValueView& l, const ValueView& r, ValueView* out);

  Node& node(int i) { return e_.nodes_[static_cast<std::size_t>(i)]; }

  Expression& e_;
  RecordContext& ctx_;
  Status status_;
};

bool Evaluator::eval(int index, ValueView* out) {
  Node& n = node(index);
  switch (n.op) {
    case Op::kLiteral:
      *out = n.literal;
      if (n.literal.type == Type::kText) out->text = n.literalText;
      return true;
    case Op::kField:
      return evalField(n, out);
    case Op::kCall:
      return evalCall(n, out);
    case Op::kNegate: {
      ValueView v;
      if (!eval(n.args[0], &v)) return false;
      if (v.type != Type::kNumber) return typeError(n, v, nullptr);
      *out = ValueView::ofNumber(v.number == 0.0 ? 0.0 : -v.number);
      return true;
    }
    case Op::kNot: {
      ValueView v;
      if (!eval(n.args[0], &v)) return false;
      if (v.type != Type::kLogical) return typeError(n, v, nullptr);
      *out = ValueView::ofLogical(!v.logical);
      return true;
    }
    case Op::kAnd:
    case Op::kOr: {
      // Short-circuit: the right operand is not evaluated when the left one decides.
      ValueView l;
      if (!eval(n.args[0], &l)) return false;
      if (l.type != Type::kLogical) return typeError(n, l, nullptr);
      if (l.logical == (n.op == Op::kOr)) {
        *out = l;
        return true;
      }
      ValueView r;
      if (!eval(n.args[1], &r)) return false;
      if (r.type != Type::kLogical) return typeError(n, l, &r);
      *out = r;
      return true;
    }
    default:
      break;
  }
  ValueView l, r;
  if (!eval(n.args[0], &l) || !eval(n.args[1], &r)) return false;
  if (isComparison(n.op)) return evalComparison(n, l, r, out);
  return evalArithmetic(n, l, r, out);
}

bool Evaluator::evalField(Node& n, ValueView* out) {
  ValueView v;
  Status s = ctx_.fieldValue(n.field, &n.scratch, &v);
  if (!s.isOk()) {
    status_ = std::move(s);
    return false;
  }
  if (v.type != n.type.type && n.type.type != Type::kAny) {
    return fail(n, "Type mismatch",
                std::string("the field gave a ") + typeName(v.type) + " where its type is " +
                    typeName(n.type.type));
  }
  *out = v;
  return true;
}

bool Evaluator::evalArithmetic(Node& n, const ValueView& l, const ValueView& r, ValueView* out) {
  const Type lk = l.type;
  const Type rk = r.type;
  switch (n.op) {
    case Op::kAdd:
      if (lk == Type::kText && rk == Type::kText) {
        n.scratch.assign(l.text);
        n.scratch.append(r.text);
        *out = ValueView::ofText(n.scratch);
        return true;
      }
      if (lk == Type::kNumber && rk == Type::kNumber) return number(n, l.number + r.number, out);
      if (lk == Type::kDate && rk == Type::kNumber) return dateShift(n, l.date, r.number, out);
      if (lk == Type::kNumber && rk == Type::kDate) return dateShift(n, r.date, l.number, out);
      break;
    case Op::kSubtract:
      if (lk == Type::kText && rk == Type::kText) {
        // The left text's trailing blanks move to the end of the result.
        const std::string_view head = trimRight(l.text);
        n.scratch.assign(head);
        n.scratch.append(r.text);
        n.scratch.append(l.text.size() - head.size(), ' ');
        *out = ValueView::ofText(n.scratch);
        return true;
      }
      if (lk == Type::kNumber && rk == Type::kNumber) return number(n, l.number - r.number, out);
      if (lk == Type::kDate && rk == Type::kNumber) return dateShift(n, l.date, -r.number, out);
      if (lk == Type::kDate && rk == Type::kDate) {
        return number(n, static_cast<double>(l.date.julian) - r.date.julian, out);
      }
      break;
    case Op::kMultiply:
    case Op::kDivide:
    case Op::kModulo:
      if (lk != Type::kNumber || rk != Type::kNumber) break;
      if (n.op == Op::kMultiply) return number(n, l.number * r.number, out);
      if (r.number == 0.0) return fail(n, "Division by zero", {});
      // % keeps the sign of the dividend, as C's fmod does: -7 % 3 is -1.
      return number(n, n.op == Op::kDivide ? l.number / r.number : std::fmod(l.number, r.number),
                    out);
    default:
      break;
  }
  return typeError(n, l, &r);
}

bool Evaluator::evalComparison(Node& n, const ValueView& l, const ValueView& r, ValueView* out) {
  if (l.type != r.type) return typeError(n, l, &r);
  bool result = false;
  if (l.type == Type::kText && (n.op == Op::kEqual || n.op == Op::kNotEqual)) {
    result = rt::textEqualsNonExact(l.text, r.text) == (n.op == Op::kEqual);
  } else if (l.type == Type::kText && n.op == Op::kExactEqual) {
    result = rt::textEqualsExact(l.text, r.text);
  } else {
    int c = 0;
    switch (l.type) {
      case Type::kText:
        c = compareText(l.text, r.text);
        break;
      case Type::kNumber:
        c = compareScalar(l.number, r.number);
        break;
      case Type::kLogical:
        c = compareScalar(l.logical, r.logical);
        break;
      case Type::kDate:
        c = compareScalar(l.date.julian, r.date.julian);
        break;
      case Type::kAny:
        return typeError(n, l, &r);
    }
    const bool unordered =
        l.type == Type::kNumber && (std::isnan(l.number) || std::isnan(r.number));
    switch (n.op) {
      case Op::kEqual:
      case Op::kExactEqual:
        result = !unordered && c == 0;
        break;
      case Op::kNotEqual:
        result = unordered || c != 0;
        break;
      case Op::kLess:
        result = !unordered && c < 0;
        break;
      case Op::kLessEqual:
        result = !unordered && c <= 0;
        break;
      case Op::kGreater:
        result = !unordered && c > 0;
        break;
      case Op::kGreaterEqual:
        result = !unordered && c >= 0;
        break;
      default:
        break;
    }
  }
  *out = ValueView::ofLogical(result);
  return true;
}

bool Evaluator::evalCall(Node& n, ValueView* out) {
  switch (n.func) {
    case Func::kDeleted:
      *out = ValueView::ofLogical(ctx_.isDeleted());
      return true;
    case Func::kRecno:
      *out = ValueView::ofNumber(static_cast<double>(ctx_.recordNumber()));
      return true;
    case Func::kIif: {
      ValueView c;
      if (!eval(n.args[0], &c)) return false;
      if (c.type != Type::kLogical) {
        return fail(n, "Type mismatch",
                    std::string("IIF argument 1 must be logical, got ") + typeName(c.type));
      }
      return eval(n.args[c.logical ? 1 : 2], out);
    }
    default:
      break;
  }
  const FunctionSpec& spec = functionSpec(n.func);
  ValueView args[kMaxArgs];
  for (int i = 0; i < n.argc; ++i) {
    if (!eval(n.args[i], &args[i])) return false;
    if (spec.args[i] != Type::kAny && args[i].type != spec.args[i]) {
      return fail(n, "Type mismatch",
                  std::string(spec.name) + " argument " + std::to_string(i + 1) + " must be " +
                      typeName(spec.args[i]) + ", got " + typeName(args[i].type));
    }
  }
  CallFailure failure;
  if (!callFunction(n.func, args, n.argc, *e_.caseTable_, &n.scratch, out, &failure)) {
    return fail(n, failure.title, failure.detail);
  }
  return true;
}

Expression::Expression() = default;
Expression::Expression(const Expression&) = default;
Expression& Expression::operator=(const Expression&) = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;
Expression::~Expression() = default;

Status Expression::evaluate(RecordContext& ctx, ValueView* out) {
  if (root_ < 0)
    return Status::invalidArgument("evaluation of an expression that was not compiled");
  try {
    Evaluator ev(*this, ctx);
    ValueView v;
    if (!ev.eval(root_, &v)) return ev.takeStatus();
    *out = v;
    return Status::ok();
  } catch (const std::exception& e) {
    // Nothing here throws on purpose; a failed allocation (or a context that broke its
    // contract) must still come back as a Status.
    return Status::invalidArgument(formatExpressionError("Evaluation failed", text_, 1, e.what()));
  }
}

Result<rt::Value> Expression::value(RecordContext& ctx) {
  ValueView v;
  Status s = evaluate(ctx, &v);
  if (!s.isOk()) return s;
  try {
    return v.toValue();
  } catch (const std::exception& e) {
    return Status::invalidArgument(formatExpressionError("Evaluation failed", text_, 1, e.what()));
  }
}

Result<bool> Expression::test(RecordContext& ctx) {
  ValueView v;
  Status s = evaluate(ctx, &v);
  if (!s.isOk()) return s;
  if (v.type != Type::kLogical) {
    return Status::invalidArgument(formatExpressionError(
        "Type mismatch", text_, 1,
        std::string("the condition must be logical, got ") + typeName(v.type)));
  }
  return v.logical;
}

}  // namespace dbe::expr
