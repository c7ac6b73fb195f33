// OLE Automation dates to and from calendar parts (see oledate.h).
#include "kernel/drivers/oledate.h"

#include <cmath>

namespace {

constexpr double kMinDate = -657434.0;  // 1 January 100
constexpr double kMaxDate = 2958465.0;  // 31 December 9999
constexpr int64_t kEpochDays = -25569;  // 30 December 1899 in days since 1 January 1970

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int32_t* y, int32_t* m, int32_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int32_t>(yoe + era * 400 + (*m <= 2 ? 1 : 0));
}

bool leap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t month_length(int32_t y, int32_t m) {
  static const int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

}  // namespace

int16_t ole_date_from_parts(int32_t day, int32_t year, int32_t month, int32_t hour, int32_t minute, int32_t second,
                            double* out) {
  if (year < 100) year += 1900;
  if (year > 9999 || year < 100 || month < 1 || month > 12 || day < 1 || day > month_length(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return 0;
  const int64_t days = days_from_civil(year, month, day) - kEpochDays;
  const double fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  *out = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  return 1;
}

int16_t ole_date_to_parts(double date, OleDateParts* out) {
  if (!(date >= kMinDate && date <= kMaxDate)) return 0;
  int64_t days = static_cast<int64_t>(date);  // toward zero
  double fraction = std::fabs(date - static_cast<double>(days));
  auto seconds = static_cast<int64_t>(std::floor(fraction * 86400.0 + 0.5));
  if (seconds >= 86400) {
    // Rounded up to the next midnight: the next calendar day.
    seconds = 0;
    days += 1;
  }
  const int64_t z = days + kEpochDays;
  civil_from_days(z, &out->year, &out->month, &out->day);
  if (out->year > 9999) return 0;
  out->hour = static_cast<int32_t>(seconds / 3600);
  out->minute = static_cast<int32_t>((seconds / 60) % 60);
  out->second = static_cast<int32_t>(seconds % 60);
  out->weekday = static_cast<int32_t>(((z % 7) + 7 + 4) % 7) + 1;  // 1 January 1970 was a Thursday
  out->day_of_year = static_cast<int32_t>(z - days_from_civil(out->year, 1, 1)) + 1;
  return 1;
}
