#include "field_codec.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "byte_order.h"

namespace dbe::dbf {

namespace {

std::string_view asText(std::span<const std::byte> raw) {
  return {reinterpret_cast<const char*>(raw.data()), raw.size()};
}

Status mismatch(const Field& f, const rt::Value& v, const char* expected) {
  return Status::invalidArgument("data type mismatch: field " + f.name + " (" +
                                 std::string(1, f.type) + ") takes " + expected + ", not " +
                                 rt::Value::kindName(v.kind()));
}

std::string shape(const Field& f) {
  std::string s = std::string(1, f.type) + "(" + std::to_string(f.length);
  if (f.decimals > 0) s += "," + std::to_string(f.decimals);
  return s + ")";
}

int digitsValue(std::string_view s) {
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Writes v as exactly `width` decimal digits, zero-padded.
void putDigits(std::byte* out, int v, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<std::byte>('0' + v % 10);
    v /= 10;
  }
}

rt::Date decodeDateText(std::string_view s) {
  const int y = digitsValue(s.substr(0, 4));
  const int m = digitsValue(s.substr(4, 2));
  const int d = digitsValue(s.substr(6, 2));
  if (y < 0 || m < 0 || d < 0) return {};
  return rt::Date::fromYmd(y, m, d);  // invalid (also 00000000) gives the empty date
}

Status encodeNumericText(const Field& f, double v, std::span<std::byte> raw) {
  if (!std::isfinite(v)) {
    return Status::invalidArgument("numeric overflow: field " + f.name + " cannot hold " +
                                   (std::isnan(v) ? "NaN" : "infinity"));
  }
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, f.decimals);
  if (r.ec != std::errc()) {
    return Status::invalidArgument("numeric overflow: " + f.name + " " + shape(f));
  }
  std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
  // A value that rounds to zero is written without its sign ("-0.00" would read back as 0 but
  // sort as a negative key in other engines).
  if (!text.empty() && text[0] == '-' &&
      text.find_first_not_of("-0.") == std::string_view::npos) {
    text.remove_prefix(1);
  }
  if (text.size() > raw.size()) {
    return Status::invalidArgument("numeric overflow: " + std::string(text) +
                                   " does not fit field " + f.name + " " + shape(f));
  }
  const std::size_t pad = raw.size() - text.size();
  std::memset(raw.data(), ' ', pad);
  std::memcpy(raw.data() + pad, text.data(), text.size());
  return Status::ok();
}

}  // namespace

double parseNumericText(std::string_view text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\0')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\0')) --e;
  text = text.substr(b, e - b);
  if (text.empty() || text.find('*') != std::string_view::npos) return 0.0;
  if (text[0] == '+') text.remove_prefix(1);
  double v = 0.0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  // from_chars also takes "nan" and "inf": no writer stores those, and a NaN or an infinity
  // would poison every comparison and sum above, so they read as unreadable text does.
  if (r.ec != std::errc() || !std::isfinite(v)) return 0.0;
  return v == 0.0 ? 0.0 : v;  // no -0
}

DateTime decodeDateTime(std::span<const std::byte> raw) {
  DateTime dt;
  const auto julian = static_cast<std::int32_t>(getLe32(raw.data()));
  const auto ms = static_cast<std::int32_t>(getLe32(raw.data() + 4));
  // Julian days of the years 1-9999; anything else is blank or garbage.
  if (julian >= 1721426 && julian <= 5373484) {
    dt.date = rt::Date{julian};
    dt.milliseconds = ms >= 0 && ms < 86400000 ? ms : 0;
  }
  return dt;
}

rt::Value decodeField(const Field& f, std::span<const std::byte> raw) {
  switch (f.type) {
    case field_type::kCharacter:
    case field_type::kVarchar:
    case field_type::kVarbinary:
    case field_type::kNullFlags:
      return rt::Value(asText(raw));
    case field_type::kNumeric:
    case field_type::kFloat:
      return rt::Value(parseNumericText(asText(raw)));
    case field_type::kDate:
      return rt::Value(decodeDateText(asText(raw)));
    case field_type::kLogical: {
      const char c = static_cast<char>(raw[0]);
      return rt::Value(c == 'T' || c == 't' || c == 'Y' || c == 'y');
    }
    case field_type::kInteger:
      return rt::Value(static_cast<double>(static_cast<std::int32_t>(getLe32(raw.data()))));
    case field_type::kDouble: {
      double d;
      const std::uint64_t bits = getLe64(raw.data());
      std::memcpy(&d, &bits, sizeof d);
      return rt::Value(d);
    }
    case field_type::kCurrency:
      return rt::Value(static_cast<double>(static_cast<std::int64_t>(getLe64(raw.data()))) /
                       10000.0);
    case field_type::kDateTime:
      return rt::Value(decodeDateTime(raw).date);
    default:
      return rt::Value(asText(raw));
  }
}

Status encodeField(const Field& f, const rt::Value& v, std::span<std::byte> raw) {
  switch (f.type) {
    case field_type::kCharacter:
    case field_type::kVarchar:
    case field_type::kVarbinary: {
      if (!v.isText()) return mismatch(f, v, "text");
      const std::string& s = v.text();
      const std::size_t n = std::min(s.size(), raw.size());  // longer text is cut
      std::memcpy(raw.data(), s.data(), n);
      std::memset(raw.data() + n, f.type == field_type::kVarbinary ? 0 : ' ', raw.size() - n);
      return Status::ok();
    }
    case field_type::kNumeric:
    case field_type::kFloat:
      if (!v.isNumber()) return mismatch(f, v, "a number");
      return encodeNumericText(f, v.number(), raw);
    case field_type::kDate: {
      if (!v.isDate()) return mismatch(f, v, "a date");
      if (v.date().isEmpty()) {
        std::memset(raw.data(), ' ', raw.size());
        return Status::ok();
      }
      int y, m, d;
      v.date().toYmd(&y, &m, &d);
      if (y < 1 || y > 9999) return Status::invalidArgument("date out of range for field " + f.name);
      putDigits(raw.data(), y, 4);
      putDigits(raw.data() + 4, m, 2);
      putDigits(raw.data() + 6, d, 2);
      return Status::ok();
    }
    case field_type::kLogical:
      if (!v.isLogical()) return mismatch(f, v, "a logical");
      raw[0] = static_cast<std::byte>(v.logical() ? 'T' : 'F');
      return Status::ok();
    case field_type::kInteger: {
      if (!v.isNumber()) return mismatch(f, v, "a number");
      const double r = std::round(v.number());
      if (!(r >= -2147483648.0 && r <= 2147483647.0)) {
        return Status::invalidArgument("numeric overflow: field " + f.name +
                                       " holds 32-bit integers");
      }
      putLe32(raw.data(), static_cast<std::uint32_t>(static_cast<std::int32_t>(r)));
      return Status::ok();
    }
    case field_type::kDouble: {
      if (!v.isNumber()) return mismatch(f, v, "a number");
      std::uint64_t bits;
      const double d = v.number() == 0.0 ? 0.0 : v.number();
      std::memcpy(&bits, &d, sizeof bits);
      putLe64(raw.data(), bits);
      return Status::ok();
    }
    case field_type::kCurrency: {
      if (!v.isNumber()) return mismatch(f, v, "a number");
      const double scaled = std::round(v.number() * 10000.0);
      if (!(std::fabs(scaled) < 9.2e18)) {
        return Status::invalidArgument("numeric overflow: field " + f.name);
      }
      putLe64(raw.data(), static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)));
      return Status::ok();
    }
    case field_type::kDateTime: {
      if (!v.isDate()) return mismatch(f, v, "a date");
      putLe32(raw.data(), static_cast<std::uint32_t>(v.date().julian));
      putLe32(raw.data() + 4, 0);
      return Status::ok();
    }
    default:
      return Status::invalidArgument("field " + f.name + " (" + std::string(1, f.type) +
                                     ") cannot be written");
  }
}

void blankField(const Field& f, std::span<std::byte> raw) {
  switch (f.type) {
    case field_type::kInteger:
    case field_type::kDouble:
    case field_type::kCurrency:
    case field_type::kDateTime:
    case field_type::kVarbinary:
    case field_type::kNullFlags:
      std::memset(raw.data(), 0, raw.size());
      return;
    case field_type::kMemo:
    case field_type::kGeneral:
    case field_type::kPicture:
    case field_type::kBlob:
      std::memset(raw.data(), f.length == 4 ? 0 : ' ', raw.size());
      return;
    default:
      std::memset(raw.data(), ' ', raw.size());
  }
}

Result<std::uint32_t> decodeMemoPointer(const Field& f, std::span<const std::byte> raw) {
  if (f.length == 4) return getLe32(raw.data());
  std::uint64_t v = 0;
  bool digits = false;
  bool ended = false;  // digits then blanks
  for (std::byte b : raw) {
    const char c = static_cast<char>(b);
    if (c >= '0' && c <= '9') {
      if (ended) return Status::corruption("", "the memo pointer is garbled");
      v = v * 10 + static_cast<unsigned>(c - '0');
      digits = true;
    } else if (c == ' ' || c == '\0') {
      if (digits) ended = true;
    } else {
      return Status::corruption("", "the memo pointer is not a number");
    }
  }
  if (v > std::numeric_limits<std::uint32_t>::max()) {
    return Status::corruption("", "the memo pointer is too large");
  }
  return static_cast<std::uint32_t>(v);
}

void encodeMemoPointer(const Field& f, std::uint32_t block, std::span<std::byte> raw) {
  if (f.length == 4) {
    putLe32(raw.data(), block);
    return;
  }
  std::memset(raw.data(), ' ', raw.size());
  if (block == 0) return;  // no memo: all blanks
  char buf[16];
  const auto r = std::to_chars(buf, buf + sizeof buf, block);
  const std::size_t n = static_cast<std::size_t>(r.ptr - buf);
  std::memcpy(raw.data() + raw.size() - n, buf, n);
}

}  // namespace dbe::dbf
