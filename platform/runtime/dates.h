// Dates as the system's procedures see them: the date format, the two-digit-year window and
// century display, all per thread (a report thread starts with the start-up thread's settings,
// copied by the child-window runner), and the conversions between dates and texts.
//
// Thread safety: the settings are thread-local; the conversions read the calling thread's.
#pragma once

#include <string>
#include <string_view>

#include "value.h"

namespace rt {

struct DateSettings {
  // The date format as the original runtime writes it: "mm/dd/yy", "mm/dd/yyyy", "dd.mm.yyyy",
  // "yyyy-mm-dd"... Letters d, m and y in any case; any other character is a separator.
  std::string format = "mm/dd/yy";
  // The first year of the two-digit-year window: a two-digit year yy means the year of the
  // century window [epoch, epoch + 99] that ends in yy.
  int epoch = 1900;
  // Four-digit years in date texts, whatever the format says.
  bool century = false;
};

// The calling thread's settings (a reference: assign fields to change them).
DateSettings& dateSettings();

// Sets the date format; a format with "yyyy" turns century display on, one with "yy" only turns
// it off, as the original runtime's SET DATE FORMAT did.
void setDateFormat(std::string_view format);
void setCentury(bool on);
void setEpoch(int firstYear);

// The text of a date in the thread's format with century display applied; the empty date gives
// the format's shape with blanks for digits ("  /  /    ").
std::string dateToText(Date d);
// The reverse; an empty, blank or invalid text gives the empty date. Two-digit years go through
// the epoch window.
Date textToDate(std::string_view text);
// "YYYYMMDD", or eight blanks for the empty date.
std::string dtos(Date d);
// The reverse of dtos; blanks or an invalid text give the empty date.
Date stod(std::string_view yyyymmdd);

}  // namespace rt
