// The number and text rules of the expression functions, kept apart from the evaluator so that
// the compiler (for static lengths) and the evaluator apply exactly the same arithmetic.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dbe::expr {

// A count or position given as a number: truncated toward zero, clamped to +/-2^31, NaN as 0.
long long toCount(double v);

// The part of a text of `length` bytes that SUBSTR(text, start[, count]) takes. A start of 0 is
// taken as 1; a negative start counts from the end (-2 = the last two bytes) and stops at the
// first byte; a start past the end or a count below 1 gives nothing; a count past the end stops
// at the end.
struct TextRange {
  std::size_t offset = 0;
  std::size_t count = 0;
};
TextRange substrRange(std::size_t length, long long start, bool hasCount, long long count);

// The number of bytes LEFT()/RIGHT() take: n below 1 gives 0, n past the end the whole text.
std::size_t edgeCount(std::size_t length, long long n);

// STR(value, width, decimals) into *out: the value rounded half away from zero at `decimals`
// places (after rounding to 15 significant digits, so that 1.005 rounds to 1.01 as written)
// and right-aligned in `width` bytes. When it does not fit, decimals are dropped one at a time
// (STR(3.14159, 3, 2) is "3.1"); when even the whole number does not fit, `width` asterisks. A
// width below 1 gives an empty text; negative decimals count as 0; a negative zero prints as 0.
// REQUIRES: width <= kMaxWidth.
void formatStr(double value, int width, int decimals, std::string* out);

// VAL(text): leading blanks, an optional sign, digits with an optional decimal point; reading
// stops at the first other byte, so "12abc" is 12 and junk is 0. No exponents. A number too
// large for a double is infinite (the evaluator reports it as an overflow).
double parseVal(std::string_view text);

// The widest text PADR(), PADL() and STR() produce; a larger width is an error.
inline constexpr int kMaxWidth = 65535;

}  // namespace dbe::expr
