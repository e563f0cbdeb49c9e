#include "key_codec.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace dbe::cdx {
namespace {

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

std::string hexKey(std::string_view key) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s = "0x";
  for (char c : key) {
    const auto b = static_cast<unsigned char>(c);
    s += kDigits[b >> 4];
    s += kDigits[b & 0xF];
  }
  return s;
}

std::uint64_t loadBe64(std::string_view key) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < 8; ++i) v = (v << 8) | static_cast<unsigned char>(key[i]);
  return v;
}

std::string storeBe64(std::uint64_t v) {
  std::string s(8, '\0');
  for (std::size_t i = 0; i < 8; ++i) s[i] = static_cast<char>((v >> (56 - 8 * i)) & 0xFF);
  return s;
}

// Gregorian calendar date of a Julian day number (Richards' algorithm, valid for all positive
// day numbers).
void civilFromJulian(std::int64_t j, int* y, int* m, int* d) {
  const std::int64_t f = j + 1401 + (((4 * j + 274277) / 146097) * 3) / 4 - 38;
  const std::int64_t e = 4 * f + 3;
  const std::int64_t g = (e % 1461) / 4;
  const std::int64_t h = 5 * g + 2;
  *d = static_cast<int>((h % 153) / 5 + 1);
  *m = static_cast<int>(((h / 153 + 2) % 12) + 1);
  *y = static_cast<int>(e / 1461 - 4716 + (12 + 2 - *m) / 12);
}

void appendDigits(std::string* s, int v, int width) {
  std::string digits = std::to_string(v);
  if (static_cast<int>(digits.size()) < width) s->append(width - digits.size(), '0');
  *s += digits;
}

}  // namespace

const char* keyTypeName(KeyType type) {
  switch (type) {
    case KeyType::kCharacter:
      return "Character";
    case KeyType::kNumeric:
      return "Numeric";
    case KeyType::kDate:
      return "Date";
    case KeyType::kInteger:
      return "Integer";
    case KeyType::kLogical:
      return "Logical";
  }
  return "Unknown";
}

char fillByte(KeyType type) { return type == KeyType::kCharacter ? ' ' : '\0'; }

std::size_t fixedKeyLength(KeyType type) {
  switch (type) {
    case KeyType::kCharacter:
      return 0;
    case KeyType::kNumeric:
    case KeyType::kDate:
      return 8;
    case KeyType::kInteger:
      return 4;
    case KeyType::kLogical:
      return 1;
  }
  return 0;
}

std::string characterKey(std::string_view text, std::size_t keyLength) {
  std::string key(text.substr(0, keyLength));
  key.resize(keyLength, ' ');
  return key;
}

std::string numericKey(double value) {
  // +0.0 and -0.0 compare equal, so both must give the same key; other engines store +0.0.
  if (value == 0.0) value = 0.0;
  std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  bits = (bits & kSignBit) ? ~bits : (bits ^ kSignBit);
  return storeBe64(bits);
}

std::string dateKey(std::int32_t julianDay) { return numericKey(static_cast<double>(julianDay)); }

std::string integerKey(std::int32_t value) {
  const std::uint32_t u = static_cast<std::uint32_t>(value) ^ 0x80000000u;
  std::string s(4, '\0');
  for (std::size_t i = 0; i < 4; ++i) s[i] = static_cast<char>((u >> (24 - 8 * i)) & 0xFF);
  return s;
}

std::string logicalKey(bool value) { return value ? "T" : "F"; }

double decodeNumericKey(std::string_view key) {
  std::uint64_t bits = loadBe64(key);
  bits = (bits & kSignBit) ? (bits ^ kSignBit) : ~bits;
  return std::bit_cast<double>(bits);
}

std::int32_t decodeDateKey(std::string_view key) {
  const double d = decodeNumericKey(key);
  // Day numbers beyond int32 cannot come from a date field; show them as empty rather than
  // overflow.
  if (!(d >= -2147483648.0 && d <= 2147483647.0)) return 0;
  return static_cast<std::int32_t>(d);
}

std::int32_t decodeIntegerKey(std::string_view key) {
  std::uint32_t u = 0;
  for (std::size_t i = 0; i < 4; ++i) u = (u << 8) | static_cast<unsigned char>(key[i]);
  return static_cast<std::int32_t>(u ^ 0x80000000u);
}

std::string describeKey(KeyType type, std::string_view key) {
  const std::size_t fixed = fixedKeyLength(type);
  if (fixed != 0 && key.size() != fixed) return hexKey(key);
  switch (type) {
    case KeyType::kCharacter: {
      std::size_t n = key.size();
      while (n > 0 && key[n - 1] == ' ') --n;
      std::string s = "'";
      static constexpr char kDigits[] = "0123456789ABCDEF";
      for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(key[i]);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
          s += static_cast<char>(b);
        } else {
          s += "\\x";
          s += kDigits[b >> 4];
          s += kDigits[b & 0xF];
        }
      }
      return s + "'";
    }
    case KeyType::kNumeric: {
      char buf[64];
      const auto r = std::to_chars(buf, buf + sizeof buf, decodeNumericKey(key));
      return std::string(buf, r.ptr);
    }
    case KeyType::kDate: {
      const double d = decodeNumericKey(key);
      if (d == 0.0) return "{}";
      if (!(d >= 1.0 && d <= 1.0e8) || d != static_cast<double>(static_cast<std::int64_t>(d))) {
        return hexKey(key);
      }
      int y = 0, m = 0, dd = 0;
      civilFromJulian(static_cast<std::int64_t>(d), &y, &m, &dd);
      std::string s;
      appendDigits(&s, y, 4);
      appendDigits(&s, m, 2);
      appendDigits(&s, dd, 2);
      return s;
    }
    case KeyType::kInteger:
      return std::to_string(decodeIntegerKey(key));
    case KeyType::kLogical:
      if (key[0] == 'T') return ".T.";
      if (key[0] == 'F') return ".F.";
      return hexKey(key);
  }
  return hexKey(key);
}

}  // namespace dbe::cdx
