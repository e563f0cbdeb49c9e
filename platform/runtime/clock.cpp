#include "clock.h"

#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>

namespace rt {

namespace {

std::mutex& clockMutex() {
  static std::mutex m;
  return m;
}
ClockSource& clockSlot() {
  static ClockSource s;
  return s;
}

LocalTime systemNow() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace

void setClock(ClockSource source) {
  std::lock_guard lock(clockMutex());
  clockSlot() = std::move(source);
}

void setFixedClock(const LocalTime& t) {
  setClock([t] { return t; });
}

LocalTime now() {
  ClockSource s;
  {
    std::lock_guard lock(clockMutex());
    s = clockSlot();
  }
  return s ? s() : systemNow();
}

Date today() {
  const LocalTime t = now();
  return Date::fromYmd(t.year, t.month, t.day);
}

std::string timeText() {
  const LocalTime t = now();
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  return buf;
}

double secondsOfDay() {
  const LocalTime t = now();
  return t.hour * 3600.0 + t.minute * 60.0 + t.second;
}

void sleepHundredths(int n) {
  if (n > 0) std::this_thread::sleep_for(std::chrono::milliseconds(10L * n));
}

}  // namespace rt
