#include "picture.h"

#include <cmath>
#include <cstdio>

namespace rt {

namespace {

std::string numberInMask(double n, std::string_view mask) {
  const size_t width = mask.size();
  // Round half away from zero, as the classic runtime's display does.
  const double r = std::round(n);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f", r == 0.0 ? 0.0 : r);  // no "-0"
  std::string digits = buf;
  if (digits.size() > width) return std::string(width, '*');
  return std::string(width - digits.size(), ' ') + digits;
}

std::string textInMask(std::string_view text, std::string_view mask) {
  std::string out(mask.size(), ' ');
  for (size_t i = 0; i < mask.size(); ++i) {
    if (mask[i] == '9') {
      out[i] = i < text.size() ? text[i] : ' ';
    } else {
      out[i] = mask[i];
    }
  }
  return out;
}

}  // namespace

std::string applyPicture(const Value& value, std::string_view mask) {
  if (value.isNumber()) return numberInMask(value.number(), mask);
  if (value.isText()) return textInMask(value.text(), mask);
  return textInMask(value.debugString(), mask);
}

}  // namespace rt
