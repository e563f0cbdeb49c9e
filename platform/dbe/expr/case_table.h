// CaseTable: the byte mapping of UPPER() and LOWER() in expressions.
//
// Index keys such as UPPER(NAME) must be byte-identical to the keys other programs build over
// the same table, so the mapping is a plain table chosen when an expression is compiled. The
// ASCII table changes only a-z/A-Z and leaves every byte from 0x80 up as it is; the Windows-1252
// table also maps the accented letters of that code page. Which of the two the other programs
// of a site use has to be checked against existing index files (compare keys with the records'
// field values); the ASCII table is the default.
//
// Thread safety: the tables are immutable after construction; the built-in ones are static.
#pragma once

#include <array>
#include <cstdint>

namespace dbe::expr {

struct CaseTable {
  std::array<unsigned char, 256> upper;
  std::array<unsigned char, 256> lower;
};

// a-z <-> A-Z only.
const CaseTable& asciiCaseTable();
// ASCII plus the letters of Windows-1252 (0xE0-0xFE <-> 0xC0-0xDE except the multiplication
// and division signs; s/z/oe with caron or ligature at 0x9A/0x9E/0x9C <-> 0x8A/0x8E/0x8C;
// y with diaeresis 0xFF -> 0x9F). Sharp s (0xDF) and the micro sign (0xB5) have no upper case here.
const CaseTable& windows1252CaseTable();

}  // namespace dbe::expr
