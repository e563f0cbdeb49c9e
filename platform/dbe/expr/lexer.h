// Lexer: splits an expression text into tokens (internal to the expression code).
//
// Tokens: names (letters, digits, underscore; starting with a letter or underscore), numbers
// (digits with an optional decimal part, or a point followed by digits), texts in '...', "..."
// or [...] (no escapes), the words .T. .F. .Y. .N. .AND. .OR. .NOT. in any case, and the
// operators + - * / % = == <> != # < <= > >= ! ( ) , ->. Blanks, tabs, CR and LF separate tokens.
//
// Thread safety: a Lexer is used by one thread; it only reads the text it was given.
#pragma once

#include <cstdint>
#include <string_view>

namespace dbe::expr {

enum class Tok : std::uint8_t {
  kEnd,
  kError,  // `error` says why
  kName,
  kNumber,
  kText,
  kTrue,
  kFalse,
  kLeftParen,
  kRightParen,
  kComma,
  kArrow,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kPercent,
  kEqual,
  kExactEqual,
  kNotEqual,
  kLess,
  kLessEqual,
  kGreater,
  kGreaterEqual,
  kAnd,
  kOr,
  kNot,
};

struct Token {
  Tok kind = Tok::kEnd;
  std::uint32_t offset = 0;  // 0-based offset of the first byte
  std::string_view text;     // the token's bytes; for kText the bytes between the delimiters
  double number = 0.0;       // kNumber
  const char* error = "";    // kError
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}
  Token next();

 private:
  Token make(Tok kind, std::size_t begin, std::size_t end);
  Token fail(std::size_t at, const char* why);
  Token number(std::size_t begin);
  Token dotWord(std::size_t begin);

  std::string_view text_;
  std::size_t pos_ = 0;
};

// "'x'" for a printable byte, "byte 0x07" otherwise; writes into buf (at least 16 bytes).
const char* describeByte(unsigned char c, char* buf, std::size_t size);

}  // namespace dbe::expr
