// Texts as dialogs show them: line breaks at ";", values as entry-field texts and back, and the
// padding of edited texts to their buffer width.
//
// A ";" in an alert, message or tooltip text starts a new line, everywhere in the system. An entry
// field edits a value as text: a text value as it is (its length is the field's buffer width, and
// an edited text is padded with blanks back to it, as the system's fixed-width fields expect), a
// number without needless decimals, a date in the calling thread's date format, a logical as T or
// F.
//
// Thread safety: pure functions; the date conversions read the calling thread's date settings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace gui {

// "a;b;;c" gives {"a", "b", "", "c"}; an empty text gives one empty line.
std::vector<std::string> splitLines(std::string_view text);
// The same lines joined with '\n', for tooltips.
std::string toolTipText(std::string_view text);

// The text an entry field or a browse cell shows for a value.
std::string displayText(const rt::Value& v);
// The value of an edited text, of the kind of `previous` (the value the field showed): a text is
// padded with blanks to the length of `previous` (and kept whole when longer); a number is parsed
// (an unreadable number keeps `previous`); a date is parsed in the thread's format (an unreadable
// one gives the empty date); a logical is true for T, Y or .T.; nil becomes the text.
rt::Value valueFromText(std::string_view text, const rt::Value& previous);

// The text without trailing blanks.
std::string trimRight(std::string_view text);

// The number of characters an "@S<n>" picture shows, or 0 when the picture has no S function.
int pictureScrollWidth(std::string_view picture);

}  // namespace gui
