#include "text_codec.h"

#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace gui {

namespace {

std::mutex& pageMutex() {
  static std::mutex m;
  return m;
}
std::string& pageSlot() {
  static std::string page = "CP1252";
  return page;
}
// Bumped when the code page changes, so that threads reopen their converters.
unsigned& pageGeneration() {
  static unsigned g = 0;
  return g;
}

struct Converter {
  iconv_t cd = reinterpret_cast<iconv_t>(-1);
  ~Converter() { reset(); }
  void reset() {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    cd = reinterpret_cast<iconv_t>(-1);
  }
  bool open(const std::string& to, const std::string& from) {
    reset();
    cd = iconv_open(to.c_str(), from.c_str());
    return cd != reinterpret_cast<iconv_t>(-1);
  }
};

struct ThreadConverters {
  unsigned generation = ~0u;
  Converter decode;  // code page -> UTF-8
  Converter encode;  // UTF-8 -> code page
};

ThreadConverters& converters() {
  thread_local ThreadConverters t;
  std::string page;
  unsigned gen;
  {
    std::lock_guard lock(pageMutex());
    page = pageSlot();
    gen = pageGeneration();
  }
  if (t.generation != gen) {
    t.decode.open("UTF-8", page);
    t.encode.open(page, "UTF-8");
    t.generation = gen;
  }
  return t;
}

// The length of the (possibly broken) UTF-8 character at `p`: a valid lead byte with its
// continuation bytes, or 1 for a byte that cannot start one.
size_t utf8CharLength(const char* p, size_t left) {
  const auto lead = static_cast<unsigned char>(p[0]);
  size_t want = 1;
  if (lead >= 0xC2 && lead <= 0xDF) want = 2;
  if (lead >= 0xE0 && lead <= 0xEF) want = 3;
  if (lead >= 0xF0 && lead <= 0xF4) want = 4;
  size_t n = 1;
  while (n < want && n < left && (static_cast<unsigned char>(p[n]) & 0xC0) == 0x80) ++n;
  return n;
}

// Converts with `cd`; an input sequence it cannot convert becomes `replacement` and the
// conversion goes on after the offending byte (or, for UTF-8 input, the whole character).
std::string convert(iconv_t cd, std::string_view in, std::string_view replacement, bool utf8In) {
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  out.reserve(in.size() * 2);
  char buf[1024];
  char* src = const_cast<char*>(in.data());  // iconv's interface takes char**; it does not write
  size_t srcLeft = in.size();
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: skip the offending character.
    const size_t skip = utf8In ? utf8CharLength(src, srcLeft) : 1;
    out.append(replacement);
    src += skip;
    srcLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t dstLeft = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &dstLeft);
  out.append(buf, static_cast<size_t>(dst - buf));
  return out;
}

bool isAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool setTextCodePage(std::string_view name) {
  const std::string page(name);
  const iconv_t probe = iconv_open("UTF-8", page.c_str());
  if (probe == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(probe);
  std::lock_guard lock(pageMutex());
  pageSlot() = page;
  ++pageGeneration();
  return true;
}

std::string textCodePage() {
  std::lock_guard lock(pageMutex());
  return pageSlot();
}

std::string toUtf8(std::string_view bytes) {
  if (isAscii(bytes)) return std::string(bytes);
  return convert(converters().decode.cd, bytes, "\xEF\xBF\xBD", /*utf8In=*/false);
}

std::string fromUtf8(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  return convert(converters().encode.cd, utf8, "?", /*utf8In=*/true);
}

}  // namespace gui
