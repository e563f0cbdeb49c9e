// Node: one operator, operand or call of a compiled expression (internal to the expression
// code). An Expression keeps its nodes in one vector, children before parents; a node names its
// operands by index.
//
// Thread safety: owned by one Expression; `scratch` is written during evaluation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbe/expr/expression.h"

namespace dbe::expr {

enum class Op : std::uint8_t {
  kLiteral,
  kField,
  kNegate,
  kNot,
  kAnd,
  kOr,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kModulo,
  kEqual,       // =, the non-exact comparison
  kExactEqual,  // ==
  kNotEqual,    // <> != #
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kCall,
};

enum class Func : std::uint8_t {
  kNone,
  kUpper,
  kLower,
  kTrim,
  kRtrim,
  kLtrim,
  kAlltrim,
  kSubstr,
  kLeft,
  kRight,
  kPadr,
  kPadl,
  kStr,
  kVal,
  kDtos,
  kDtoc,
  kCtod,
  kYear,
  kMonth,
  kDay,
  kIif,
  kEmpty,
  kLen,
  kDeleted,
  kRecno,
};

inline constexpr int kMaxArgs = 3;

struct Node {
  Op op = Op::kLiteral;
  Func func = Func::kNone;
  TypeInfo type;
  std::uint32_t position = 0;  // 1-based, of the operator, name or literal
  std::uint8_t argc = 0;
  std::int32_t args[kMaxArgs] = {-1, -1, -1};
  int height = 1;  // 1 + the greatest height of the operands

  // kLiteral: the value; a text literal's bytes are in `literalText` (the view is built at
  // evaluation, so that copying a node never leaves a view into another node).
  ValueView literal;
  std::string literalText;

  // kField: the context's handle.
  FieldHandle field = 0;

  // The result text of this node (or, for a field, the context's buffer), reused from one
  // evaluation to the next so that it stops allocating once it has grown.
  std::string scratch;
};

// "Type mismatch in expression 'NAME+1' at position 5: text + number"; no ": detail" when the
// detail is empty.
std::string formatExpressionError(const char* title, std::string_view text, std::size_t position,
                                  std::string_view detail);

// The operator as the messages show it ("+", ".AND.", "<>").
const char* opName(Op op);

}  // namespace dbe::expr
