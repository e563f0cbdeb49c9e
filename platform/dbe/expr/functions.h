// The functions of the expression language (internal to the expression code): their names and
// argument types, the static type of a call, and the run-time work of each one.
//
// Thread safety: the table is immutable; DTOC() and CTOD() read the calling thread's date
// settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbe/expr/node.h"

namespace dbe::expr {

struct FunctionSpec {
  std::string_view name;
  Func func;
  std::uint8_t minArgs;
  std::uint8_t maxArgs;
  Type args[kMaxArgs];  // kAny: any type
};

// The function named `upperName` (ASCII upper case): the exact name, or a name of at least four
// letters that begins exactly one function's name (SUBS for SUBSTR). Null when there is none.
const FunctionSpec* findFunction(std::string_view upperName);
const FunctionSpec& functionSpec(Func f);

// The static type of a call of `f` whose argument nodes (already typed) are args[0..argc).
TypeInfo inferCall(Func f, const Node* const* args, int argc);

// Why a call failed at run time: a title for the message and its detail.
struct CallFailure {
  const char* title = "";
  std::string detail;
};

// Runs `f` (not IIF, DELETED or RECNO, which the evaluator does itself) on arguments whose types
// match the function's signature. The result's text may point into an argument's text or into *scratch.
bool callFunction(Func f, const ValueView* args, int argc, const CaseTable& cases,
                  std::string* scratch, ValueView* out, CallFailure* failure);

}  // namespace dbe::expr
