// OLE Automation dates: days since 30 December 1899 as a double, the time
// of day as the fraction; before that day the fraction is taken off the
// negative day count (-1.5 is 29 December 1899, 12:00).
#pragma once
#include <cstdint>

struct OleDateParts {
  int32_t year, month, day, hour, minute, second;
  int32_t weekday;      // 1 Sunday .. 7 Saturday
  int32_t day_of_year;  // 1 ..
};

// A year below 100 has 1900 added. Fails for a year above 9999, a month
// outside 1..12, a day outside the month, an hour above 23, a minute or a
// second above 59.
int16_t ole_date_from_parts(int32_t day, int32_t year, int32_t month, int32_t hour, int32_t minute, int32_t second,
                            double* out);
// Fails below -657434 or above 2958465 (1 January 100 .. 31 December 9999)
// and for a value that is not a number; rounds to the nearest second.
int16_t ole_date_to_parts(double date, OleDateParts* out);
