#include "dates.h"

#include <cctype>
#include <cstdio>

namespace rt {

namespace {

thread_local DateSettings tSettings;

// The format with the year field widened to four digits (century on) or narrowed to two.
std::string effectiveFormat() {
  const std::string& f = tSettings.format;
  std::string out;
  for (size_t i = 0; i < f.size();) {
    if (std::tolower(static_cast<unsigned char>(f[i])) == 'y') {
      size_t j = i;
      while (j < f.size() && std::tolower(static_cast<unsigned char>(f[j])) == 'y') ++j;
      out += tSettings.century ? "yyyy" : "yy";
      i = j;
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
      ++i;
    }
  }
  return out;
}

int windowYear(int twoDigits) {
  const int epoch = tSettings.epoch;
  int year = (epoch / 100) * 100 + twoDigits;
  if (year < epoch) year += 100;
  return year;
}

}  // namespace

DateSettings& dateSettings() { return tSettings; }

void setDateFormat(std::string_view format) {
  tSettings.format = std::string(format);
  size_t ys = 0;
  for (char c : format) ys += (std::tolower(static_cast<unsigned char>(c)) == 'y') ? 1 : 0;
  tSettings.century = ys >= 4;
}

void setCentury(bool on) { tSettings.century = on; }
void setEpoch(int firstYear) { tSettings.epoch = firstYear; }

std::string dateToText(Date d) {
  const std::string fmt = effectiveFormat();
  int y = 0, m = 0, dd = 0;
  d.toYmd(&y, &m, &dd);
  std::string out;
  for (size_t i = 0; i < fmt.size();) {
    const char c = fmt[i];
    size_t j = i;
    while (j < fmt.size() && fmt[j] == c) ++j;
    const size_t run = j - i;
    if (c == 'd' || c == 'm' || c == 'y') {
      if (d.isEmpty()) {
        out.append(run, ' ');
      } else {
        int v = c == 'd' ? dd : c == 'm' ? m : y;
        if (c == 'y' && run < 4) v %= 100;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%0*d", static_cast<int>(run), v);
        out += buf;
      }
    } else {
      out.append(run, c);
    }
    i = j;
  }
  return out;
}

Date textToDate(std::string_view text) {
  // Read the numbers of the text in the order the format names its fields.
  const std::string fmt = effectiveFormat();
  std::string order;
  for (char c : fmt) {
    if ((c == 'd' || c == 'm' || c == 'y') && order.find(c) == std::string::npos) order += c;
  }
  int fields[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  size_t k = 0;
  size_t i = 0;
  while (i < text.size() && k < 3) {
    while (i < text.size() && !std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size()) break;
    int v = 0, n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && n < 9) {
      v = v * 10 + (text[i] - '0');
      ++i;
      ++n;
    }
    fields[k] = v;
    digits[k] = n;
    ++k;
  }
  if (k < 3 || order.size() != 3) return {};
  int y = 0, m = 0, d = 0;
  for (size_t f = 0; f < 3; ++f) {
    if (order[f] == 'y') {
      y = digits[f] <= 2 ? windowYear(fields[f]) : fields[f];
    } else if (order[f] == 'm') {
      m = fields[f];
    } else {
      d = fields[f];
    }
  }
  return Date::fromYmd(y, m, d);
}

std::string dtos(Date d) {
  if (d.isEmpty()) return std::string(8, ' ');
  int y, m, dd;
  d.toYmd(&y, &m, &dd);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, dd);
  return buf;
}

Date stod(std::string_view s) {
  if (s.size() < 8) return {};
  int v[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  size_t pos = 0;
  for (int f = 0; f < 3; ++f) {
    for (int n = 0; n < widths[f]; ++n, ++pos) {
      if (!std::isdigit(static_cast<unsigned char>(s[pos]))) return {};
      v[f] = v[f] * 10 + (s[pos] - '0');
    }
  }
  return Date::fromYmd(v[0], v[1], v[2]);
}

}  // namespace rt
