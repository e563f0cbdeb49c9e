// Small public helpers of the table-access module: rounding and the short date text.
//
// Both are registered by name (LB_ROUND, DTOX) for the suite's other programs.
//
// Thread safety: lb_round is pure; DTOX changes the calling thread's century setting and its
// F10/F1 bindings, nothing else.
#pragma once

#include <string>

#include "runtime/value.h"

namespace tables {

// Rounds to `ndecimals` decimals (negative: to tens, hundreds, ...). The constant 0.5000009
// carries values whose binary form lies a hair below a half over the rounding point, so
// lb_round(1.005, 2) is 1.01. A negative value is rounded as the negation of its absolute
// value, so that -1.25 rounds to -1.3 as 1.25 rounds to 1.3.
double lb_round(double nvalue, double ndecimals);

// MM/DD/YY text of a date: binds the read-exit keys, turns century display on for the thread
// (it stays on), and takes characters 1-6 and 9-10 of the date's text.
std::string DTOX(rt::Date QQDATE);

}  // namespace tables
