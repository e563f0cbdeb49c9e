// The code page of the texts that dialogs show.
//
// The system's texts are bytes in the code page of the tables they come from (Windows-1252 for
// this suite's tables); a toolkit shows Unicode. The conversion happens here, through iconv, at
// the border of the GUI: the backends hand UTF-8 to the toolkit and give edited texts back in the
// code page. A character typed that the code page cannot hold becomes "?" (never a lost field).
//
// Thread safety: the code page is process-wide and set at start-up; conversions may run on any
// thread at once (each thread keeps its own converters).
#pragma once

#include <string>
#include <string_view>

namespace gui {

// Sets the code page by its iconv name ("CP1252", "CP437"); false when iconv does not know it
// (the previous code page stays).
bool setTextCodePage(std::string_view name);
std::string textCodePage();

std::string toUtf8(std::string_view bytes);
std::string fromUtf8(std::string_view utf8);

}  // namespace gui
