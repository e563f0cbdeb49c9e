#include "node.h"

namespace dbe::expr {

std::string formatExpressionError(const char* title, std::string_view text, std::size_t position,
                                  std::string_view detail) {
  std::string s = title;
  s += " in expression '";
  s += text;
  s += "' at position ";
  s += std::to_string(position);
  if (!detail.empty()) {
    s += ": ";
    s += detail;
  }
  return s;
}

const char* opName(Op op) {
  switch (op) {
    case Op::kNegate:
      return "-";
    case Op::kNot:
      return ".NOT.";
    case Op::kAnd:
      return ".AND.";
    case Op::kOr:
      return ".OR.";
    case Op::kAdd:
      return "+";
    case Op::kSubtract:
      return "-";
    case Op::kMultiply:
      return "*";
    case Op::kDivide:
      return "/";
    case Op::kModulo:
      return "%";
    case Op::kEqual:
      return "=";
    case Op::kExactEqual:
      return "==";
    case Op::kNotEqual:
      return "<>";
    case Op::kLess:
      return "<";
    case Op::kLessEqual:
      return "<=";
    case Op::kGreater:
      return ">";
    case Op::kGreaterEqual:
      return ">=";
    case Op::kLiteral:
    case Op::kField:
    case Op::kCall:
      break;
  }
  return "?";
}

}  // namespace dbe::expr
