#include "case_table.h"

namespace dbe::expr {

namespace {

constexpr CaseTable identity() {
  CaseTable t{};
  for (int i = 0; i < 256; ++i) {
    t.upper[i] = static_cast<unsigned char>(i);
    t.lower[i] = static_cast<unsigned char>(i);
  }
  return t;
}

constexpr void pair(CaseTable& t, int lowerByte, int upperByte) {
  t.upper[lowerByte] = static_cast<unsigned char>(upperByte);
  t.lower[upperByte] = static_cast<unsigned char>(lowerByte);
}

constexpr CaseTable makeAscii() {
  CaseTable t = identity();
  for (int c = 'a'; c <= 'z'; ++c) pair(t, c, c - 'a' + 'A');
  return t;
}

constexpr CaseTable makeWindows1252() {
  CaseTable t = makeAscii();
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c == 0xF7) continue;  // division sign; 0xD7 is the multiplication sign
    pair(t, c, c - 0x20);
  }
  pair(t, 0x9A, 0x8A);  // s caron
  pair(t, 0x9C, 0x8C);  // oe ligature
  pair(t, 0x9E, 0x8E);  // z caron
  pair(t, 0xFF, 0x9F);  // y diaeresis
  return t;
}

// Built by the compiler: no start-up order to worry about, nothing mutable.
constexpr CaseTable kAscii = makeAscii();
constexpr CaseTable kWindows1252 = makeWindows1252();

}  // namespace

const CaseTable& asciiCaseTable() { return kAscii; }
const CaseTable& windows1252CaseTable() { return kWindows1252; }

}  // namespace dbe::expr
