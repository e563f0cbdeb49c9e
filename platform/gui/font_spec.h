// Font names as the system writes them: point size, a point, face name and style, as in
// "10.Arial Bold", "9.Arial", "11.Lucida Console Bold", "8.Arial Bold Italic".
//
// The style words at the end of the name (Bold, Italic, Underline, Strikeout, in any case and
// order) are not part of the face: a toolkit asked for the face "Arial Bold" falls back to some
// other face, so the backends ask for "Arial" with the bold weight instead.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace gui {

struct FontSpec {
  double points = 0;   // 0: the default size
  std::string family;  // empty: the default face
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;

  bool isDefault() const { return points == 0 && family.empty() && !bold && !italic; }
};

// Parses a font name; a text without a leading size ("Arial Bold") keeps the default size, and
// an empty or unreadable size gives the default size.
FontSpec parseFont(std::string_view text);

}  // namespace gui
