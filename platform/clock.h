// Wall clock for dates and times in logs and values. Tests replace it.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int64_t epoch = 0;  // seconds since 1970, for elapsed times
};

// The current local time, or the injected clock's answer.
LocalTime Now();
// Replaces the clock; an empty function restores the system clock.
void SetClock(std::function<LocalTime()> clock);

}  // namespace platform
