#include "font_spec.h"

#include <cctype>
#include <charconv>

namespace gui {

namespace {

bool sameWord(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

FontSpec parseFont(std::string_view text) {
  FontSpec f;
  text = trim(text);
  // The size is the part before the first point, when that part is a number.
  const size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    const std::string_view size = trim(text.substr(0, dot));
    double points = 0;
    const auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), points);
    if (ec == std::errc() && end == size.data() + size.size() && points > 0 && points < 200) {
      f.points = points;
      text = trim(text.substr(dot + 1));
    } else if (size.empty()) {
      text = trim(text.substr(dot + 1));
    }
  }
  // Style words come off the end one by one.
  for (;;) {
    const size_t space = text.find_last_of(' ');
    const std::string_view word = space == std::string_view::npos ? text : text.substr(space + 1);
    bool* flag = nullptr;
    if (sameWord(word, "bold")) flag = &f.bold;
    if (sameWord(word, "italic")) flag = &f.italic;
    if (sameWord(word, "underline")) flag = &f.underline;
    if (sameWord(word, "strikeout")) flag = &f.strikeOut;
    if (flag == nullptr) break;
    *flag = true;
    text = space == std::string_view::npos ? std::string_view() : trim(text.substr(0, space));
  }
  f.family = std::string(text);
  return f;
}

}  // namespace gui
