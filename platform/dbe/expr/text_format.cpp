#include "text_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace dbe::expr {

namespace {

constexpr int kSignificant = 15;

// |v| as kSignificant decimal digits d[0..] and the power of ten of d[0].
struct Decimal {
  char digits[kSignificant + 1];  // one spare for a carry out of the first digit
  int count = 0;
  int exponent = 0;
};

Decimal toDecimal(double v) {
  Decimal d;
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                               kSignificant - 1);
  // "d.dddddddddddddde+XX"
  const char* p = buf;
  d.digits[d.count++] = *p++;
  if (*p == '.') ++p;
  while (p < r.ptr && *p != 'e') d.digits[d.count++] = *p++;
  int exponent = 0;
  if (p < r.ptr && *p == 'e') {
    ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::from_chars(p, r.ptr, exponent);
    if (negative) exponent = -exponent;
  }
  d.exponent = exponent;
  return d;
}

// Rounds d half away from zero so that its last digit has the power of ten -decimals.
Decimal roundAt(Decimal d, int decimals) {
  const int keep = d.exponent + decimals + 1;  // digits that stay
  if (keep >= d.count) return d;
  if (keep < 0) {
    d.count = 1;
    d.digits[0] = '0';
    return d;
  }
  const bool up = d.digits[keep] >= '5';
  d.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
    if (i >= 0) {
      ++d.digits[i];
    } else {
      // Carry out of the first digit (or nothing was kept): a new leading 1.
      std::memmove(d.digits + 1, d.digits, static_cast<std::size_t>(d.count));
      d.digits[0] = '1';
      ++d.count;
      ++d.exponent;
    }
  }
  if (d.count == 0) {
    d.count = 1;
    d.digits[0] = '0';
  }
  return d;
}

bool isZero(const Decimal& d) {
  for (int i = 0; i < d.count; ++i) {
    if (d.digits[i] != '0') return false;
  }
  return true;
}

char digitAt(const Decimal& d, int power) {
  const int i = d.exponent - power;
  return i >= 0 && i < d.count ? d.digits[i] : '0';
}

// The printed length of d with `decimals` places, sign included.
int printedLength(const Decimal& d, bool negative, int decimals) {
  const int intDigits = std::max(d.exponent + 1, 1);
  return (negative ? 1 : 0) + intDigits + (decimals > 0 ? decimals + 1 : 0);
}

}  // namespace

long long toCount(double v) {
  if (std::isnan(v)) return 0;
  constexpr double kLimit = 2147483648.0;
  if (v >= kLimit) return static_cast<long long>(kLimit);
  if (v <= -kLimit) return -static_cast<long long>(kLimit);
  return static_cast<long long>(std::trunc(v));
}

TextRange substrRange(std::size_t length, long long start, bool hasCount, long long count) {
  const long long len = static_cast<long long>(length);
  long long offset;
  if (start > 0) {
    offset = start - 1;
  } else if (start == 0) {
    offset = 0;
  } else {
    offset = std::max(len + start, 0LL);
  }
  if (offset >= len) return {length, 0};
  const long long available = len - offset;
  long long n = available;
  if (hasCount) n = count <= 0 ? 0 : std::min(count, available);
  return {static_cast<std::size_t>(offset), static_cast<std::size_t>(n)};
}

std::size_t edgeCount(std::size_t length, long long n) {
  if (n <= 0) return 0;
  return static_cast<unsigned long long>(n) >= length ? length : static_cast<std::size_t>(n);
}

void formatStr(double value, int width, int decimals, std::string* out) {
  out->clear();
  if (width < 1) return;
  if (!std::isfinite(value)) {
    out->assign(static_cast<std::size_t>(width), '*');
    return;
  }
  const Decimal exact = toDecimal(value);
  for (int places = std::clamp(decimals, 0, width); places >= 0; --places) {
    const Decimal d = roundAt(exact, places);
    const bool negative = value < 0 && !isZero(d);
    const int length = printedLength(d, negative, places);
    if (length > width) continue;
    out->assign(static_cast<std::size_t>(width - length), ' ');
    if (negative) out->push_back('-');
    for (int p = std::max(d.exponent, 0); p >= 0; --p) out->push_back(digitAt(d, p));
    if (places > 0) {
      out->push_back('.');
      for (int p = -1; p >= -places; --p) out->push_back(digitAt(d, p));
    }
    return;
  }
  out->assign(static_cast<std::size_t>(width), '*');
}

double parseVal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t begin = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  }
  // from_chars wants at least one digit: "." and "-" alone are 0.
  double v = 0.0;
  const char* first = text.data() + begin;
  const char* last = text.data() + i;
  if (last - first == 1 && *first == '.') return 0.0;
  if (first < last) {
    const auto r = std::from_chars(first, last, v, std::chars_format::fixed);
    if (r.ec == std::errc::result_out_of_range) {
      // Too large when a digit other than 0 comes before the point, otherwise too small.
      const std::string_view whole(first, static_cast<std::size_t>(last - first));
      const std::size_t point = std::min(whole.find('.'), whole.size());
      v = whole.substr(0, point).find_first_not_of('0') != std::string_view::npos ? HUGE_VAL : 0.0;
    } else if (r.ec != std::errc()) {
      v = 0.0;
    }
  }
  return negative ? -v : v;
}

}  // namespace dbe::expr
