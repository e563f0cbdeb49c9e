#include "message_headers.h"

#include <array>
#include <cstdint>
#include <random>

namespace see32 {
namespace {

constexpr std::size_t kFoldColumn = 78;  // RFC 5322's recommended line length
constexpr std::size_t kMaxEncodedWord = 75;

bool isAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string blankControls(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return out;
}

std::string base64(std::string_view in) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const std::uint32_t v = (static_cast<unsigned char>(in[i]) << 16) |
                            (static_cast<unsigned char>(in[i + 1]) << 8) |
                            static_cast<unsigned char>(in[i + 2]);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += kDigits[(v >> 6) & 63];
    out += kDigits[v & 63];
  }
  if (i < in.size()) {
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << 16;
    if (i + 1 < in.size())
      v |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < in.size() ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// Length of the UTF-8 sequence that starts with `lead`, 1 for anything else.
std::size_t utf8Length(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// Encoded words for `text`, blank-separated, each at most 75 characters and, for UTF-8,
// never splitting a character (RFC 2047 section 5).
std::string encodedWords(std::string_view text) {
  const std::string_view charset = charsetOf(text);
  const std::string prefix = "=?" + std::string(charset) + "?B?";
  const std::size_t room = (kMaxEncodedWord - prefix.size() - 2) / 4 * 3;
  const bool utf8 = charset == "utf-8";
  std::string out;
  while (!text.empty()) {
    std::size_t take = 0;
    while (take < text.size()) {
      const std::size_t step =
          utf8 ? utf8Length(static_cast<unsigned char>(text[take])) : std::size_t{1};
      if (take + step > room) break;
      take += step;
    }
    if (take == 0) take = std::min(text.size(), room);
    if (!out.empty()) out += ' ';
    out += prefix + base64(text.substr(0, take)) + "?=";
    text.remove_prefix(take);
  }
  return out;
}

// A display name that is a phrase of atoms and blanks needs no quotes (RFC 5322 atext).
bool isPlainPhrase(std::string_view s) {
  static constexpr std::string_view kAtextSpecials = "!#$%&'*+-/=?^_`{|}~ ";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && kAtextSpecials.find(c) == std::string_view::npos) return false;
    if (u >= 0x80) return false;
  }
  return true;
}

std::string addressHeader(std::string_view name, const std::vector<Address>& list) {
  std::string line(name);
  line += ": ";
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i > 0) line += ", ";
    line += formatAddress(list[i]);
  }
  return foldHeader(line);
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      n = 1, cp = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      n = 2, cp = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      n = 3, cp = lead & 0x07u;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;  // the sequence runs past the end
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0u) != 0x80u) return false;
      cp = (cp << 6) | (c & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

std::string_view charsetOf(std::string_view bytes) {
  if (isAscii(bytes)) return "us-ascii";
  if (isValidUtf8(bytes)) return "utf-8";
  return "windows-1252";
}

std::string encodeHeaderText(std::string_view text) {
  const std::string clean = blankControls(text);
  if (isAscii(clean)) return clean;
  return encodedWords(clean);
}

std::string formatAddress(const Address& a) {
  const std::string angle = a.bracketed();
  if (a.display.empty()) return angle;
  if (!isAscii(a.display)) return encodedWords(a.display) + " " + angle;
  if (isPlainPhrase(a.display)) return a.display + " " + angle;
  std::string quoted = "\"";
  for (char c : a.display) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\" " + angle;
}

std::string foldHeader(std::string_view line) {
  const std::size_t colon = line.find(':');
  std::size_t start = colon == std::string_view::npos ? 0 : colon + 2;
  std::string out;
  std::size_t lineStart = 0;  // where the current output line begins in `out`
  std::size_t lastBlank = std::string::npos;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ' ' && i >= start) lastBlank = out.size();
    out += line[i];
    if (out.size() - lineStart > kFoldColumn && lastBlank != std::string::npos &&
        lastBlank > lineStart) {
      out.insert(lastBlank, "\r\n");
      lineStart = lastBlank + 2;
      lastBlank = std::string::npos;
    }
  }
  return out;
}

std::string rfc5322Date(const std::tm& t, long offsetSeconds) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto two = [](int v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
  };
  const long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
  std::string out;
  out += kDays[static_cast<std::size_t>(t.tm_wday % 7)];
  out += ", " + two(t.tm_mday) + " " + kMonths[static_cast<std::size_t>(t.tm_mon % 12)] + " " +
         std::to_string(t.tm_year + 1900) + " " + two(t.tm_hour) + ":" + two(t.tm_min) + ":" +
         two(t.tm_sec) + " " + (offsetSeconds < 0 ? "-" : "+") +
         two(static_cast<int>(minutes / 60)) + two(static_cast<int>(minutes % 60));
  return out;
}

std::string rfc5322Date(std::time_t t) {
  std::tm local{};
  if (::localtime_r(&t, &local) == nullptr) {
    ::gmtime_r(&t, &local);
    return rfc5322Date(local, 0);
  }
  return rfc5322Date(local, local.tm_gmtoff);
}

std::string makeMessageId(const Address& from, std::string_view fallbackDomain, std::time_t t) {
  std::string_view domain;
  const std::size_t at = from.mailbox.rfind('@');
  if (at != std::string::npos && at + 1 < from.mailbox.size()) {
    domain = std::string_view(from.mailbox).substr(at + 1);
  } else {
    domain = fallbackDomain.empty() ? std::string_view("localhost") : fallbackDomain;
  }
  std::random_device rd;
  const std::uint64_t r = (static_cast<std::uint64_t>(rd()) << 32) ^ rd();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (int shift = 60; shift >= 0; shift -= 4) token += kHex[(r >> shift) & 15u];
  return "<" + token + "." + std::to_string(static_cast<long long>(t)) + "@" + std::string(domain) +
         ">";
}

std::string crlfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view fileNamePart(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  // "C:REPORT.PDF": a drive-relative Windows name.
  if (path.size() >= 2 && path[1] == ':') path.remove_prefix(2);
  return path;
}

std::string_view mediaTypeFor(std::string_view fileName) {
  struct Type {
    std::string_view extension;
    std::string_view media;
  };
  static constexpr Type kTypes[] = {
      {"pdf", "application/pdf"},
      {"txt", "text/plain"},
      {"csv", "text/csv"},
      {"xls", "application/vnd.ms-excel"},
      {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {"htm", "text/html"},
      {"html", "text/html"},
      {"zip", "application/zip"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
  };
  const std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos) {
    const std::string_view ext = fileName.substr(dot + 1);
    for (const Type& t : kTypes) {
      if (t.extension.size() != ext.size()) continue;
      bool same = true;
      for (std::size_t i = 0; i < ext.size() && same; ++i) {
        char c = ext[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        same = c == t.extension[i];
      }
      if (same) return t.media;
    }
  }
  return "application/octet-stream";
}

std::vector<std::string> buildHeaders(const HeaderFields& f) {
  std::vector<std::string> lines;
  lines.push_back("Date: " + f.date);
  lines.push_back(foldHeader("From: " + formatAddress(f.from)));
  if (f.to.empty()) {
    lines.push_back("To: undisclosed-recipients:;");
  } else {
    lines.push_back(addressHeader("To", f.to));
  }
  if (!f.cc.empty()) lines.push_back(addressHeader("Cc", f.cc));
  if (!f.replyTo.mailbox.empty() && f.replyTo.mailbox != f.from.mailbox) {
    lines.push_back(foldHeader("Reply-To: " + formatAddress(f.replyTo)));
  }
  lines.push_back(foldHeader("Subject: " + encodeHeaderText(f.subject)));
  lines.push_back("Message-ID: " + f.messageId);
  return lines;
}

}  // namespace see32
