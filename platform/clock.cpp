// Injectable wall clock.
#include "platform/clock.h"

#include <ctime>

namespace platform {
namespace {
std::function<LocalTime()>& InjectedClock() {
  static std::function<LocalTime()> clock;
  return clock;
}
}  // namespace

LocalTime Now() {
  if (InjectedClock()) return InjectedClock()();
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  LocalTime lt;
  lt.year = tm.tm_year + 1900;
  lt.month = tm.tm_mon + 1;
  lt.day = tm.tm_mday;
  lt.hour = tm.tm_hour;
  lt.minute = tm.tm_min;
  lt.second = tm.tm_sec;
  lt.epoch = static_cast<int64_t>(t);
  return lt;
}

void SetClock(std::function<LocalTime()> clock) { InjectedClock() = std::move(clock); }

}  // namespace platform
