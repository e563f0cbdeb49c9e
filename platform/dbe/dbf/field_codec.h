// Field values: the bytes of one field in a record buffer, decoded to the runtime's Value and
// encoded back.
//
// How each type reads (decodeField):
//   C      text padded to the field width, as stored (the original runtime returns padded text)
//   V Q    text of the used length (VFP varchar/varbinary)
//   N F    number; blanks, '*' overflow marks and anything unreadable read as 0
//   D      date; blanks, "00000000" and impossible dates read as the empty date
//   L      logical: T t Y y are true; F f N n, blank and '?' are false
//   I      number (signed 32-bit)
//   B      number (IEEE double)
//   Y      number: the stored 64-bit integer / 10 000 (currency)
//   T      date of the day; the time of day is available through decodeDateTime
//   0      the raw bytes (the hidden _NullFlags column)
// Memo-like fields (M G P W) hold a block number of the memo file; the table reads the memo.
//
// How each type writes (encodeField): C takes text, cut or padded with blanks to the width;
// N F take a number, written right-aligned with exactly `decimals` decimals, and a number too
// wide for the field is an error ("numeric overflow"), never a row of asterisks; D takes a date
// (the empty date writes blanks); L takes a logical; I takes a number rounded to an integer in
// range; B takes a number; Y a number rounded to 1/10 000; T a date (midnight). A value of any
// other kind is "data type mismatch".
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dbe/io/status.h"
#include "runtime/value.h"
#include "table_schema.h"

namespace dbe::dbf {

struct DateTime {
  rt::Date date;                 // empty for a blank field
  std::int32_t milliseconds = 0;  // since midnight
};

// REQUIRES: !f.isMemo(); raw.size() == f.length, except for V and Q fields, where raw holds
// the used bytes only.
[[nodiscard]] rt::Value decodeField(const Field& f, std::span<const std::byte> raw);
// REQUIRES: raw.size() == f.length and !f.isMemo(). kInvalidArgument names the field.
[[nodiscard]] Status encodeField(const Field& f, const rt::Value& v, std::span<std::byte> raw);
// Writes the blank of the field's type (spaces, or zero bytes for the binary VFP types).
void blankField(const Field& f, std::span<std::byte> raw);

// The numeric reading of N and F fields (spaces and NULs stripped, blank or '*' is 0).
double parseNumericText(std::string_view text);
DateTime decodeDateTime(std::span<const std::byte> raw);

// Memo pointers: 10 ASCII digits (FoxPro 2.x, blanks or NULs for none) or a 4-byte LE number.
// Digits mixed with other bytes are kCorruption (the caller adds the file name).
[[nodiscard]] Result<std::uint32_t> decodeMemoPointer(const Field& f,
                                                      std::span<const std::byte> raw);
void encodeMemoPointer(const Field& f, std::uint32_t block, std::span<std::byte> raw);

}  // namespace dbe::dbf
