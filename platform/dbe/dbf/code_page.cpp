#include "code_page.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace dbe::dbf {

namespace {

struct MarkEntry {
  std::uint8_t mark;
  int codePage;
  const char* iconvName;  // nullptr: known mark, but no conversion offered
};

// Marks as the FoxPro family records them (header byte 29).
constexpr MarkEntry kMarks[] = {
    {0x01, 437, "CP437"},    {0x02, 850, "CP850"},    {0x03, 1252, "CP1252"},
    {0x04, 10000, "MACINTOSH"}, {0x64, 852, "CP852"}, {0x65, 866, "CP866"},
    {0x66, 865, "CP865"},    {0x67, 861, "CP861"},    {0x6A, 737, "CP737"},
    {0x6B, 857, "CP857"},    {0x78, 950, "CP950"},    {0x79, 949, "CP949"},
    {0x7A, 936, "CP936"},    {0x7B, 932, "CP932"},    {0x7C, 874, "CP874"},
    {0x7D, 1255, "CP1255"},  {0x7E, 1256, "CP1256"},  {0xC8, 1250, "CP1250"},
    {0xC9, 1251, "CP1251"},  {0xCA, 1254, "CP1254"},  {0xCB, 1253, "CP1253"},
    {0xCC, 1257, "CP1257"},
};

const MarkEntry* entryOfMark(std::uint8_t mark) {
  for (const MarkEntry& e : kMarks) {
    if (e.mark == mark) return &e;
  }
  return nullptr;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is not valid UTF-8.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t n;
  std::uint32_t cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

int codePageOfMark(std::uint8_t mark) {
  const MarkEntry* e = entryOfMark(mark);
  return e ? e->codePage : 0;
}

std::uint8_t markOfCodePage(int codePage) {
  for (const MarkEntry& e : kMarks) {
    if (e.codePage == codePage) return e.mark;
  }
  return 0;
}

const char* iconvNameOfCodePage(int codePage) {
  for (const MarkEntry& e : kMarks) {
    if (e.codePage == codePage) return e.iconvName;
  }
  return nullptr;
}

struct TextConverter::Handles {
  iconv_t toUtf8 = reinterpret_cast<iconv_t>(-1);
  iconv_t fromUtf8 = reinterpret_cast<iconv_t>(-1);
  ~Handles() {
    if (toUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf8);
    if (fromUtf8 != reinterpret_cast<iconv_t>(-1)) iconv_close(fromUtf8);
  }
};

TextConverter::TextConverter(std::uint8_t mark) : mark_(mark) {
  if (const MarkEntry* e = entryOfMark(mark)) {
    codePage_ = e->codePage;
    name_ = e->iconvName;
  }
}
TextConverter::~TextConverter() = default;
TextConverter::TextConverter(const TextConverter& other)
    : mark_(other.mark_), codePage_(other.codePage_), name_(other.name_) {}
TextConverter& TextConverter::operator=(const TextConverter& other) {
  if (this != &other) {
    mark_ = other.mark_;
    codePage_ = other.codePage_;
    name_ = other.name_;
    handles_.reset();
  }
  return *this;
}
TextConverter::TextConverter(TextConverter&&) noexcept = default;
TextConverter& TextConverter::operator=(TextConverter&&) noexcept = default;

namespace {

// Runs one conversion; on a sequence iconv cannot convert, appends `replacement` and skips
// `skip(input, position)` input bytes.
template <typename Skip>
std::string convert(iconv_t cd, std::string_view in, std::string_view replacement, Skip skip) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
  std::string out;
  out.reserve(in.size() * 2 + 8);
  std::vector<char> buf(in.size() * 4 + 16);
  char* src = const_cast<char*>(in.data());  // iconv's interface is not const-correct
  std::size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buf.data();
    std::size_t dstLeft = buf.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: a byte sequence this direction cannot convert.
    out.append(replacement);
    const std::size_t n = std::min(srcLeft, skip(in, in.size() - srcLeft));
    src += n;
    srcLeft -= n;
  }
  return out;
}

}  // namespace

std::string TextConverter::toUtf8(std::string_view tableText) {
  if (isIdentity()) return std::string(tableText);
  if (!handles_) handles_ = std::make_unique<Handles>();
  if (handles_->toUtf8 == reinterpret_cast<iconv_t>(-1)) {
    handles_->toUtf8 = iconv_open("UTF-8", name_);
    if (handles_->toUtf8 == reinterpret_cast<iconv_t>(-1)) return std::string(tableText);
  }
  return convert(handles_->toUtf8, tableText, "\xEF\xBF\xBD",
                 [](std::string_view, std::size_t) { return std::size_t{1}; });
}

Result<std::string> TextConverter::fromUtf8(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = utf8SequenceLength(utf8, i);
    if (n == 0) {
      return Status::invalidArgument("text is not valid UTF-8 (byte " + std::to_string(i) + ")");
    }
    i += n;
  }
  if (isIdentity()) return std::string(utf8);
  if (!handles_) handles_ = std::make_unique<Handles>();
  if (handles_->fromUtf8 == reinterpret_cast<iconv_t>(-1)) {
    handles_->fromUtf8 = iconv_open(name_, "UTF-8");
    if (handles_->fromUtf8 == reinterpret_cast<iconv_t>(-1)) {
      return Status::notSupported("", std::string("iconv cannot convert to ") + name_);
    }
  }
  return convert(handles_->fromUtf8, utf8, "?", [](std::string_view s, std::size_t pos) {
    const std::size_t n = utf8SequenceLength(s, pos);
    return n == 0 ? std::size_t{1} : n;
  });
}

}  // namespace dbe::dbf
