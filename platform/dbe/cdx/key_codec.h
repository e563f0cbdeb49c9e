// Index keys: how a value of each key type becomes the bytes a tag stores, and back.
//
// A tag compares keys as unsigned bytes (MACHINE collation), then by record number. Every value
// is therefore encoded so that byte order is value order:
//
//   key type    length  bytes
//   Character   1..240  the text's bytes (table code page), padded with blanks to the key length
//   Numeric     8       IEEE-754 double, big-endian; sign bit flipped when >= 0, all 64 bits
//                       inverted when < 0; -0.0 is stored as +0.0
//   Date        8       the Julian day number as a Numeric key; the empty date is 0.0
//   Integer     4       big-endian int32 with the sign bit flipped (value + 0x80000000)
//   Logical     1       'T' or 'F'
//
// The key type is the type of the key expression's result, not of a field: STR(n,8) or
// CUSTNO+DTOS(DATE) are Character keys. The fill byte that pads a key (and that the leaf
// compression drops at the end of every key) is a blank for Character keys and 0x00 for all
// others.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dbe::cdx {

enum class KeyType : std::uint8_t { kCharacter, kNumeric, kDate, kInteger, kLogical };

// "Character", "Numeric", ...
const char* keyTypeName(KeyType type);

// 0x20 for Character keys, 0x00 for the rest.
char fillByte(KeyType type);

// The one key length a type allows (8, 4, 1), or 0 for Character keys (1..240).
std::size_t fixedKeyLength(KeyType type);

// The text's bytes cut or padded with blanks to keyLength.
std::string characterKey(std::string_view text, std::size_t keyLength);
std::string numericKey(double value);
// julianDay 0 is the empty date.
std::string dateKey(std::int32_t julianDay);
std::string integerKey(std::int32_t value);
std::string logicalKey(bool value);

// Decoders; each REQUIRES a key of its type's length.
double decodeNumericKey(std::string_view key);
std::int32_t decodeDateKey(std::string_view key);  // 0 for the empty date
std::int32_t decodeIntegerKey(std::string_view key);

// A key as a person reads it in check and dump output: Character text with trailing blanks
// dropped and bytes outside printable ASCII as \xNN, in quotes ("'SMITH'"); numbers in shortest
// form ("100.5"); dates as YYYYMMDD ("20000101", "{}" when empty); logicals as .T./.F.
// A key of the wrong length for its type is shown in hex.
std::string describeKey(KeyType type, std::string_view key);

}  // namespace dbe::cdx
