// The clock: today's date and the time of day, injectable.
//
// Everything that stamps a date or a time (page headings, change-log entries, output file names)
// asks this clock, so that tests and the batch report runner can fix "now".
//
// Thread safety: setClock is meant for start-up and tests; reads are guarded.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "value.h"

namespace rt {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

using ClockSource = std::function<LocalTime()>;

// Replaces the clock (an empty source restores the system's local time).
void setClock(ClockSource source);
// A clock that always answers the given moment.
void setFixedClock(const LocalTime& t);

LocalTime now();
Date today();
// "HH:MM:SS" of the current time.
std::string timeText();
// Seconds since midnight (the classic SECONDS()).
double secondsOfDay();

// Sleeps the calling thread for n hundredths of a second (the lock routines' waits).
void sleepHundredths(int n);

}  // namespace rt
