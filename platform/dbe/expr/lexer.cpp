#include "lexer.h"

#include <charconv>
#include <cstdio>

namespace dbe::expr {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const char* describeByte(unsigned char c, char* buf, std::size_t size) {
  if (c >= 0x20 && c < 0x7F) {
    std::snprintf(buf, size, "'%c'", c);
  } else {
    std::snprintf(buf, size, "byte 0x%02X", c);
  }
  return buf;
}

Token Lexer::make(Tok kind, std::size_t begin, std::size_t end) {
  Token t;
  t.kind = kind;
  t.offset = static_cast<std::uint32_t>(begin);
  t.text = text_.substr(begin, end - begin);
  pos_ = end;
  return t;
}

Token Lexer::fail(std::size_t at, const char* why) {
  Token t;
  t.kind = Tok::kError;
  t.offset = static_cast<std::uint32_t>(at);
  t.error = why;
  pos_ = text_.size();
  return t;
}

Token Lexer::number(std::size_t begin) {
  std::size_t i = begin;
  while (i < text_.size() && isDigit(text_[i])) ++i;
  // A point belongs to the number unless a letter follows it: "1.AND." is 1 then .AND.
  if (i < text_.size() && text_[i] == '.' && !(i + 1 < text_.size() && isLetter(text_[i + 1]))) {
    ++i;
    while (i < text_.size() && isDigit(text_[i])) ++i;
  }
  Token t = make(Tok::kNumber, begin, i);
  std::string_view digits = t.text;
  if (digits.back() == '.') digits.remove_suffix(1);  // "1." is 1
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), t.number,
                                 std::chars_format::fixed);
  if (r.ec == std::errc::result_out_of_range) {
    // Only a huge number can be out of range here; a tiny one underflows towards 0.
    const std::size_t point = std::min(digits.find('.'), digits.size());
    if (digits.substr(0, point).find_first_not_of('0') != std::string_view::npos) {
      return fail(begin, "number too large");
    }
    t.number = 0.0;
  } else if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) {
    return fail(begin, "malformed number");
  }
  return t;
}

Token Lexer::dotWord(std::size_t begin) {
  // .T. .F. .Y. .N. .AND. .OR. .NOT.
  std::size_t i = begin + 1;
  while (i < text_.size() && isLetter(text_[i]) && i - begin <= 4) ++i;
  if (i >= text_.size() || text_[i] != '.') return fail(begin, "'.' starts no known word");
  char word[4] = {0, 0, 0, 0};
  const std::size_t n = i - begin - 1;
  if (n > 3) return fail(begin, "'.' starts no known word");
  for (std::size_t k = 0; k < n; ++k) word[k] = upper(text_[begin + 1 + k]);
  const std::string_view w(word, n);
  Tok kind;
  if (w == "T" || w == "Y") {
    kind = Tok::kTrue;
  } else if (w == "F" || w == "N") {
    kind = Tok::kFalse;
  } else if (w == "AND") {
    kind = Tok::kAnd;
  } else if (w == "OR") {
    kind = Tok::kOr;
  } else if (w == "NOT") {
    kind = Tok::kNot;
  } else {
    return fail(begin, "'.' starts no known word");
  }
  return make(kind, begin, i + 1);
}

Token Lexer::next() {
  while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
  const std::size_t b = pos_;
  if (b >= text_.size()) return make(Tok::kEnd, b, b);
  const char c = text_[b];
  const char d = b + 1 < text_.size() ? text_[b + 1] : '\0';
  if (isLetter(c)) {
    std::size_t i = b + 1;
    while (i < text_.size() && (isLetter(text_[i]) || isDigit(text_[i]))) ++i;
    return make(Tok::kName, b, i);
  }
  if (isDigit(c) || (c == '.' && isDigit(d))) return number(b);
  if (c == '.') return dotWord(b);
  if (c == '\'' || c == '"' || c == '[') {
    const char close = c == '[' ? ']' : c;
    const std::size_t end = text_.find(close, b + 1);
    if (end == std::string_view::npos) return fail(b, "text without its closing delimiter");
    Token t = make(Tok::kText, b, end + 1);
    t.text = text_.substr(b + 1, end - b - 1);
    return t;
  }
  switch (c) {
    case '(':
      return make(Tok::kLeftParen, b, b + 1);
    case ')':
      return make(Tok::kRightParen, b, b + 1);
    case ',':
      return make(Tok::kComma, b, b + 1);
    case '+':
      return make(Tok::kPlus, b, b + 1);
    case '-':
      return d == '>' ? make(Tok::kArrow, b, b + 2) : make(Tok::kMinus, b, b + 1);
    case '*':
      return make(Tok::kStar, b, b + 1);
    case '/':
      return make(Tok::kSlash, b, b + 1);
    case '%':
      return make(Tok::kPercent, b, b + 1);
    case '#':
      return make(Tok::kNotEqual, b, b + 1);
    case '=':
      return d == '=' ? make(Tok::kExactEqual, b, b + 2) : make(Tok::kEqual, b, b + 1);
    case '!':
      return d == '=' ? make(Tok::kNotEqual, b, b + 2) : make(Tok::kNot, b, b + 1);
    case '<':
      if (d == '>') return make(Tok::kNotEqual, b, b + 2);
      if (d == '=') return make(Tok::kLessEqual, b, b + 2);
      return make(Tok::kLess, b, b + 1);
    case '>':
      return d == '=' ? make(Tok::kGreaterEqual, b, b + 2) : make(Tok::kGreater, b, b + 1);
    default:
      break;
  }
  Token t;
  t.kind = Tok::kError;
  t.offset = static_cast<std::uint32_t>(b);
  t.text = text_.substr(b, 1);
  t.error = "unexpected character";
  pos_ = text_.size();
  return t;
}

}  // namespace dbe::expr
