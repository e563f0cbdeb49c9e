// Code pages of table text: the code-page mark of a table (header byte 29) and the conversion
// of its text to UTF-8 and back.
//
// Table text stays in the table's bytes everywhere in the engine (keys, comparisons, the
// runtime's Value); only the GUI, the printers and tools that show or take text convert it.
// The conversion uses iconv. A mark of 0 ("none recorded") or a mark we do not know converts
// nothing: the bytes pass through unchanged both ways, as the legacy programs treat them.
//
// Thread safety: the free functions are thread-safe. A TextConverter holds iconv state and may
// be used by one thread at a time; give each thread its own copy (copies are cheap until used).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dbe/io/status.h"

namespace dbe::dbf {

// The Windows/DOS code page a mark names, or 0 for none / unknown.
int codePageOfMark(std::uint8_t mark);
// The mark of a code page, or 0 when the code page has none.
std::uint8_t markOfCodePage(int codePage);
// The iconv name of a code page ("CP1252"), or nullptr when we do not convert it.
const char* iconvNameOfCodePage(int codePage);

class TextConverter {
 public:
  explicit TextConverter(std::uint8_t mark = 0);
  ~TextConverter();
  TextConverter(const TextConverter& other);
  TextConverter& operator=(const TextConverter& other);
  TextConverter(TextConverter&&) noexcept;
  TextConverter& operator=(TextConverter&&) noexcept;

  std::uint8_t mark() const { return mark_; }
  int codePage() const { return codePage_; }
  // True when text passes through unchanged (mark 0 or unknown).
  bool isIdentity() const { return name_ == nullptr; }

  // Table bytes to UTF-8. Never fails: a byte the code page does not define becomes U+FFFD.
  std::string toUtf8(std::string_view tableText);
  // UTF-8 to table bytes. Invalid UTF-8 is kInvalidArgument; a character the code page cannot
  // hold becomes '?'.
  [[nodiscard]] Result<std::string> fromUtf8(std::string_view utf8);

 private:
  struct Handles;
  std::uint8_t mark_ = 0;
  int codePage_ = 0;
  const char* name_ = nullptr;
  std::unique_ptr<Handles> handles_;  // opened on first use
};

}  // namespace dbe::dbf
