#include "text_lines.h"

#include <cctype>
#include <charconv>

#include "runtime/dates.h"

namespace gui {

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t semi = text.find(';', start);
    if (semi == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      return lines;
    }
    lines.emplace_back(text.substr(start, semi - start));
    start = semi + 1;
  }
}

std::string toolTipText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == ';') c = '\n';
  }
  return out;
}

std::string displayText(const rt::Value& v) {
  switch (v.kind()) {
    case rt::Value::Kind::kNil:
      return {};
    case rt::Value::Kind::kText:
      return v.text();
    case rt::Value::Kind::kNumber:
      return v.debugString();
    case rt::Value::Kind::kLogical:
      return v.logical() ? "T" : "F";
    case rt::Value::Kind::kDate:
      return rt::dateToText(v.date());
    default:
      return v.debugString();
  }
}

std::string trimRight(std::string_view text) {
  const size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

namespace {

std::string_view trimBoth(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

rt::Value valueFromText(std::string_view text, const rt::Value& previous) {
  switch (previous.kind()) {
    case rt::Value::Kind::kText: {
      std::string s(text);
      const size_t width = previous.text().size();
      if (s.size() < width) s.append(width - s.size(), ' ');
      return rt::Value(std::move(s));
    }
    case rt::Value::Kind::kNumber: {
      const std::string_view t = trimBoth(text);
      if (t.empty()) return rt::Value(0.0);
      double d = 0;
      const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
      if (ec != std::errc() || end != t.data() + t.size()) return previous;
      return rt::Value(d);
    }
    case rt::Value::Kind::kDate:
      return rt::Value(rt::textToDate(text));
    case rt::Value::Kind::kLogical: {
      std::string t(trimBoth(text));
      for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return rt::Value(t == "T" || t == "Y" || t == ".T." || t == ".Y." || t == "TRUE");
    }
    default:
      return rt::Value(std::string(text));
  }
}

int pictureScrollWidth(std::string_view picture) {
  // A picture opens with its functions: "@S50", "@!S20 XXX"; the S function carries the width.
  if (picture.empty() || picture.front() != '@') return 0;
  size_t i = 1;
  while (i < picture.size() && picture[i] != ' ') {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(picture[i])));
    if (c == 'S') {
      int n = 0;
      size_t j = i + 1;
      while (j < picture.size() && std::isdigit(static_cast<unsigned char>(picture[j])) &&
             n < 10000) {
        n = n * 10 + (picture[j] - '0');
        ++j;
      }
      return n;
    }
    ++i;
  }
  return 0;
}

}  // namespace gui
