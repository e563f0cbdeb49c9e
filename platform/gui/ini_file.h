// INI files: the library's load and save of a list of values under a list of keys in one
// section of a settings file ("EMAIL.INI", section "SENDMAIL").
//
// The file is text: "[Section]" lines open sections, "Key=Value" lines hold values, lines
// beginning with ";" or "#" are comments. Section and key names are found without regard to
// case; the first of two equal keys counts. A value is read without the blanks around it and
// without one pair of double quotes around it.
//
// Loading fills each value whose key the section holds and leaves the others as they are; a
// text value read is padded with blanks back to the width of the value it replaces (an edit
// field bound to it keeps its width), a number or logical value is read as its kind. A missing
// file or section is no error: nothing is filled.
//
// Saving writes each key with its value into the section, creating the file and the section
// when needed and keeping every other line of the file as it was (texts are stored without
// trailing blanks; a line break in a value is stored as a blank). The new file is written beside
// the old one and renamed over it only when it is complete and flushed to disk, so a failed
// write (a full disk, a read-only directory) leaves the old file untouched. A file that exists
// but cannot be read is not replaced.
//
// Thread safety: the functions hold no state; two threads saving the same file at once each
// replace it whole (the last rename wins), never interleave.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/value.h"

namespace gui {

struct IniResult {
  bool ok = true;
  bool fileFound = false;  // the file existed
  std::string message;     // what went wrong, naming the file
  explicit operator bool() const { return ok; }
};

// Files larger than this are not settings files; they are refused rather than read.
inline constexpr std::uintmax_t kMaxIniFileSize = 4u << 20;

// `values` is filled in place (it grows to the number of keys when shorter). Keys must be texts.
[[nodiscard]] IniResult iniLoad(const std::filesystem::path& file, std::string_view section,
                                rt::Array& values, const rt::Array& keys);
// A key without a value (values shorter than keys) is written empty.
[[nodiscard]] IniResult iniSave(const std::filesystem::path& file, std::string_view section,
                                const rt::Array& values, const rt::Array& keys);

}  // namespace gui
