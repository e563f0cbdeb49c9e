// Routines callable by name.
//
// The suite's programs call the library's public routines by name (`call("KOVRCLCK", ...)`), and
// some settings hold a call as text ("EDI204()", "DC_WaitOnObject()"). Every public routine is
// registered once under its name; names compare without regard to case.
//
// Thread safety: registration and lookup are guarded by a mutex; a routine runs on the calling
// thread.
#pragma once

#include <string>
#include <string_view>

#include "value.h"

namespace rt {

void registerRoutine(std::string_view name, Callable fn);
bool routineExists(std::string_view name);
// Calls a routine; an unknown name raises "Function does not exist: NAME".
Value call(std::string_view name, Args& args);
Value call(std::string_view name);
template <typename... A>
Value callWith(std::string_view name, A&&... a) {
  Args args{Value(std::forward<A>(a))...};
  return call(name, args);
}

// Runs a call given as text: "NAME()" or "NAME(arg, ...)" whose arguments are literals ('x',
// "x", numbers, .T., .F., NIL). A bare name without parentheses is called without arguments.
// A text that is not such a call raises a syntax error naming the text.
Value callText(std::string_view text);
// The routine name of a call text ("EDI204" of "EDI204()"), empty when the text is no call.
std::string callTextName(std::string_view text);

// Registers a routine at static-initialisation time:
//   static const rt::RoutineRegistration kReg("KOVRCLCK", &kovrclck);
struct RoutineRegistration {
  RoutineRegistration(std::string_view name, Callable fn) { registerRoutine(name, std::move(fn)); }
};

// The i-th argument (0-based) or nil when the caller passed fewer.
inline Value arg(const Args& args, size_t i) { return i < args.size() ? args[i] : Value(); }

}  // namespace rt
