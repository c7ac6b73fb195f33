// Dates, times and dates-with-times: records, numeric and text forms,
// arithmetic and parsing. See date.h.
#include "kernel/runtime/date.h"

#include <cmath>
#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/fmt.h"
#include "kernel/runtime/locale.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "platform/clock.h"
#include "platform/locale_provider.h"

namespace {

constexpr int32_t kMsPerDay = 86400000;

struct DateState {
  int16_t pivot = -1;
  int16_t us_switch = 0;
};
DateState g_date;

void push_bad() { err_push(4, kErrBadDateTime, nullptr, nullptr); }

int32_t floor_div(int32_t a, int32_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

bool date_valid(int32_t year, int32_t month, int32_t day) {
  if (year < 0 || month < 1 || month > 12 || day < 1) return false;
  return day <= date_days_in_month(month, date_is_leap_year(year));
}

// The date of an integer yyyymmdd without reporting.
bool date_parts_from_int(int32_t n, Date* out) {
  Date d{};
  d.year = static_cast<int16_t>(n / 10000);
  d.month = static_cast<uint8_t>((n / 100) % 100);
  d.day = static_cast<uint8_t>(n % 100);
  *out = d;
  return n >= 0 && n / 10000 <= 32767 && date_valid(n / 10000, (n / 100) % 100, n % 100);
}

bool time_parts_from_int(int32_t n, Time* out) {
  Time t{};
  time_set_null(&t);
  if (n < 0) {
    *out = t;
    return true;
  }
  int32_t hour = n / 10000000, minute = (n / 100000) % 100, second = (n / 1000) % 100, ms = n % 1000;
  if (hour > 23 || minute > 59 || second > 59) {
    *out = t;
    return false;
  }
  t.hour = static_cast<int8_t>(hour);
  t.minute = static_cast<uint8_t>(minute);
  t.second = static_cast<uint8_t>(second);
  t.ms = static_cast<int16_t>(ms);
  *out = t;
  return true;
}

bool time_parts_from_ms(int64_t n, Time* out) {
  time_set_null(out);
  if (n < 0) return true;
  if (n >= kMsPerDay) return false;
  out->hour = static_cast<int8_t>(n / 3600000);
  out->minute = static_cast<uint8_t>((n / 60000) % 60);
  out->second = static_cast<uint8_t>((n / 1000) % 60);
  out->ms = static_cast<int16_t>(n % 1000);
  return true;
}

bool datetime_parts_from_int64(int64_t n, DateTime* out) {
  datetime_set_null(out);
  if (n <= 0) return true;
  int64_t date_part = n / 1000000000;
  int32_t time_part = static_cast<int32_t>(n % 1000000000);
  if (date_part > 99999999) return false;
  Date d;
  Time t;
  if (!date_parts_from_int(static_cast<int32_t>(date_part), &d) || date_is_empty(&d)) return false;
  if (!time_parts_from_int(time_part, &t)) return false;
  out->date = d;
  out->time = t;
  return true;
}

int16_t current_year() {
  platform::LocalTime now = platform::Now();
  return static_cast<int16_t>(now.year);
}

bool all_digits(const char* text, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int64_t digits_value(const char* text, size_t n) {
  int64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v * 10 + (text[i] - '0');
  return v;
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

// Reads an unsigned decimal number of at most 9 digits; null when none.
const char* read_number(const char* p, int32_t* out) {
  if (*p < '0' || *p > '9') return nullptr;
  int64_t v = 0;
  int digits = 0;
  while (*p >= '0' && *p <= '9') {
    if (digits < 10) v = v * 10 + (*p - '0');
    ++digits;
    ++p;
  }
  *out = digits > 9 ? 999999999 : static_cast<int32_t>(v);
  return p;
}

// ---- picture engines ---------------------------------------------------

// Appends to a bounded output; remembers when something did not fit.
struct Out {
  char* buf;
  int32_t size;
  int32_t len = 0;
  bool full = false;
  void put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      if (len + 1 >= size) {
        full = true;
        return;
      }
      buf[len++] = s[i];
    }
  }
  void put(const std::string& s) { put(s.data(), s.size()); }
  void number(int32_t v, int32_t width) {
    char tmp[16];
    fmt_format(tmp, sizeof tmp, width >= 2 ? "%02d" : "%d", v);
    put(tmp, std::strlen(tmp));
  }
  int16_t finish() {
    if (size > 0) buf[len < size ? len : size - 1] = '\0';
    return full ? 0 : 1;
  }
};

// Copies a 'quoted' run ('' inside gives one quote); answers the position
// after it.
const char* copy_quoted(const char* p, Out& out) {
  ++p;
  while (*p) {
    if (*p == '\'') {
      if (p[1] == '\'') {
        out.put("'", 1);
        p += 2;
        continue;
      }
      return p + 1;
    }
    out.put(p, 1);
    ++p;
  }
  return p;
}

std::string provider_item(int32_t type, const char* fallback) {
  std::string s;
  if (!locale_provider().Info(type, s)) s = fallback;
  return s;
}

int16_t format_time_picture(char* buffer, int32_t size, const Time* time, const char* picture) {
  Out out{buffer, size};
  if (size <= 0) return 0;
  Time now;
  if (time == nullptr) {
    time_now(&now);
    time = &now;
  }
  int32_t hour = time->hour < 0 ? 0 : time->hour;
  for (const char* p = picture ? picture : ""; *p;) {
    char c = *p;
    if (c == '\'') {
      p = copy_quoted(p, out);
      continue;
    }
    if (c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't') {
      int32_t n = 0;
      while (p[n] == c) ++n;
      p += n;
      switch (c) {
        case 'h': out.number(hour % 12 == 0 ? 12 : hour % 12, n); break;
        case 'H': out.number(hour, n); break;
        case 'm': out.number(time->minute, n); break;
        case 's': out.number(time->second, n); break;
        case 't': {
          std::string mark = hour < 12 ? provider_item(locinfo::kAm, "AM") : provider_item(locinfo::kPm, "PM");
          out.put(mark.data(), n == 1 ? (mark.empty() ? 0 : 1) : mark.size());
          break;
        }
      }
      continue;
    }
    out.put(p, 1);
    ++p;
  }
  return out.finish();
}

const char* kAbbrevMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                         "July",    "August",   "September", "October", "November", "December"};
const char* kAbbrevDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const char* kDays[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The clock's local time as a record; year 0 when the clock is unreadable.
platform::LocalTime clock_now() { return platform::Now(); }

}  // namespace

// ---- dates -------------------------------------------------------------

int16_t date_is_leap_year(int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0 ? 1 : 0;
}

int16_t date_days_in_month(int32_t month, int16_t leap) {
  static const int16_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return static_cast<int16_t>(kDays[month - 1] + (month == 2 && leap ? 1 : 0));
}

int16_t date_is_empty(const Date* date) { return date->month == 0 || date->day == 0 ? 1 : 0; }

void date_set_empty(Date* date) { *date = Date{}; }

int32_t date_to_int(const Date* date) {
  if (date_is_empty(date)) return 0;
  return date->year * 10000 + date->month * 100 + date->day;
}

int16_t date_from_int(int32_t n, Date* out) {
  if (n == 0) {
    date_set_empty(out);
    return 1;
  }
  if (!date_parts_from_int(n, out)) {
    push_bad();
    return 0;
  }
  return 1;
}

int32_t date_to_days(const Date* date) {
  if (date_is_empty(date) || date->year < 0) return -1;
  int32_t m = date->month, y = date->year - (m <= 2 ? 1 : 0);
  int32_t mp = (m + 9) % 12;  // March = 0
  return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400) + (153 * mp + 2) / 5 + date->day - 1;
}

int16_t date_from_days(int32_t n, Date* out) {
  date_set_empty(out);
  if (n <= 0) {
    push_bad();
    return 0;
  }
  int32_t era = n / 146097;
  int32_t doe = n - era * 146097;
  int32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int32_t mp = (5 * doy + 2) / 153;
  int32_t day = doy - (153 * mp + 2) / 5 + 1;
  int32_t month = mp < 10 ? mp + 3 : mp - 9;
  int32_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year > 32767) {
    push_bad();
    return 0;
  }
  out->year = static_cast<int16_t>(year);
  out->month = static_cast<uint8_t>(month);
  out->day = static_cast<uint8_t>(day);
  return 1;
}

Date date_add_days(int32_t n, Date date) {
  Date out;
  int32_t days = date_to_days(&date);
  if (days < 0) return date;
  date_from_days(static_cast<int32_t>(static_cast<int64_t>(days) + n), &out);
  return out;
}

Date date_sub_days(int32_t n, Date date) {
  Date out;
  int32_t days = date_to_days(&date);
  if (days < 0) return date;
  date_from_days(static_cast<int32_t>(static_cast<int64_t>(days) - n), &out);
  return out;
}

int32_t date_diff_days(const Date* a, const Date* b) { return date_to_days(a) - date_to_days(b); }

int16_t date_compare(const Date* a, const Date* b) {
  bool ea = date_is_empty(a), eb = date_is_empty(b);
  if (ea && eb) return 0;
  if (ea || eb) return -2;
  int32_t x = a->year * 10000 + a->month * 100 + a->day, y = b->year * 10000 + b->month * 100 + b->day;
  return x < y ? -1 : x > y ? 1 : 0;
}

void date_today(Date* out) {
  platform::LocalTime now = clock_now();
  out->year = static_cast<int16_t>(now.year);
  out->month = static_cast<uint8_t>(now.month);
  out->day = static_cast<uint8_t>(now.day);
}

int16_t date_weekday(int32_t day_number) {
  int32_t r = (day_number + 3) % 7;
  if (r < 0) r += 7;
  return static_cast<int16_t>(r + 1);
}

int16_t date_expand_year(int16_t* year) {
  int32_t y = *year;
  if (y < 0 || y >= 10000) {
    *year = 0;
    return 0;
  }
  if (y < 100) {
    if (g_date.pivot == -1)
      y += current_year() / 100 * 100;
    else
      y += y < g_date.pivot ? 2000 : 1900;
  }
  *year = static_cast<int16_t>(y);
  return 1;
}

int16_t date_pivot_get() { return g_date.pivot; }
void date_pivot_set(int16_t value) {
  if (value == -1 || (value >= 0 && value <= 99)) g_date.pivot = value;
}
int16_t date_pivot_is_none(int16_t value) { return value == -1 ? 1 : 0; }
int16_t date_year_is_two_digit(int16_t value) { return value >= 0 && value <= 99 ? 1 : 0; }
int16_t date_plain_length() { return 8; }
int16_t time_plain_length() { return 9; }
int16_t datetime_plain_length() { return 17; }
void date_set_us_switch(int16_t on) { g_date.us_switch = on ? 1 : 0; }
void date_reset() { g_date = DateState{}; }

// ---- times -------------------------------------------------------------

int16_t time_is_null(const Time* time) { return time->hour < 0 ? 1 : 0; }

void time_set_null(Time* time) {
  *time = Time{};
  time->hour = -1;
}

int16_t time_is_valid(const Time* time) {
  return time->hour >= 0 && time->hour <= 23 && time->minute <= 59 && time->second <= 59 && time->ms >= 0 &&
                 time->ms <= 999
             ? 1
             : 0;
}

int32_t time_to_int(const Time* time) {
  if (time_is_null(time)) return -1;
  return time->hour * 10000000 + time->minute * 100000 + time->second * 1000 + time->ms;
}

int16_t time_from_int(int32_t n, Time* out) {
  if (!time_parts_from_int(n, out)) {
    push_bad();
    return 0;
  }
  return 1;
}

int32_t time_to_ms(const Time* time) {
  if (time_is_null(time)) return -1;
  return time->hour * 3600000 + time->minute * 60000 + time->second * 1000 + time->ms;
}

int16_t time_from_ms(int32_t n, Time* out) {
  if (!time_parts_from_ms(n, out)) {
    push_bad();
    return 0;
  }
  return 1;
}

double time_to_seconds(const Time* time) {
  if (time_is_null(time)) return -1.0;
  return time_to_ms(time) / 1000.0;
}

int16_t time_from_seconds(double x, Time* out) {
  time_set_null(out);
  if (std::isnan(x) || x >= 86400.0) {
    push_bad();
    return 0;
  }
  if (x < 0) return 1;
  double whole = std::floor(x);
  int64_t ms = static_cast<int64_t>(whole) * 1000 + static_cast<int64_t>(std::floor((x - whole) * 1000.0 + 0.5));
  return time_from_ms(static_cast<int32_t>(ms), out);
}

Time time_add_ms(int32_t n, Time time) {
  if (time_is_null(&time)) return time;
  int64_t ms = (static_cast<int64_t>(time_to_ms(&time)) + n) % kMsPerDay;
  if (ms < 0) ms += kMsPerDay;
  Time out;
  time_parts_from_ms(ms, &out);
  return out;
}

Time time_sub_ms(int32_t n, Time time) { return time_add_ms(n == INT32_MIN ? INT32_MAX : -n, time); }

int32_t time_diff_ms(const Time* a, const Time* b) {
  if (time_is_null(a) && time_is_null(b)) return 0;
  int32_t ta = time_is_null(a) ? -1 : time_to_ms(a);
  int32_t tb = time_is_null(b) ? -1 : time_to_ms(b);
  return ta - tb;
}

int16_t time_compare(const Time* a, const Time* b) {
  bool na = time_is_null(a), nb = time_is_null(b);
  if (na && nb) return 0;
  if (na || nb) return -2;
  int32_t x = time_to_ms(a), y = time_to_ms(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

void time_now(Time* out) {
  platform::LocalTime now = clock_now();
  out->hour = static_cast<int8_t>(now.hour);
  out->minute = static_cast<uint8_t>(now.minute);
  out->second = static_cast<uint8_t>(now.second);
  out->ms = 0;
}

// ---- dates with times --------------------------------------------------

int16_t datetime_is_null(const DateTime* value) {
  return date_is_empty(&value->date) || time_is_null(&value->time) ? 1 : 0;
}

void datetime_set_null(DateTime* value) {
  value->date = Date{};
  time_set_null(&value->time);
}

int64_t datetime_to_int64(const DateTime* value) {
  if (datetime_is_null(value)) return -1;
  return static_cast<int64_t>(date_to_int(&value->date)) * 1000000000 + time_to_int(&value->time);
}

int16_t datetime_from_int64(int64_t n, DateTime* out) {
  if (!datetime_parts_from_int64(n, out)) {
    datetime_set_null(out);
    push_bad();
    return 0;
  }
  return 1;
}

int64_t datetime_to_ms(const DateTime* value) {
  if (datetime_is_null(value)) return -1;
  int32_t days = date_to_days(&value->date);
  if (days < 0) return -1;
  return static_cast<int64_t>(days) * kMsPerDay + time_to_ms(&value->time);
}

int16_t datetime_from_ms(int64_t n, DateTime* out) {
  datetime_set_null(out);
  if (n < 0) return 1;
  int64_t days = n / kMsPerDay;
  if (days > INT32_MAX) {
    push_bad();
    return 0;
  }
  Date d;
  if (!date_from_days(static_cast<int32_t>(days), &d)) return 0;
  out->date = d;
  time_parts_from_ms(n % kMsPerDay, &out->time);
  return 1;
}

double datetime_to_seconds(const DateTime* value) {
  int64_t ms = datetime_to_ms(value);
  return ms < 0 ? -1.0 : static_cast<double>(ms) / 1000.0;
}

int16_t datetime_from_seconds(double x, DateTime* out) {
  datetime_set_null(out);
  if (std::isnan(x) || x >= 9.2e15) {
    push_bad();
    return 0;
  }
  if (x < 0) return 1;
  double whole = std::floor(x);
  int64_t ms = static_cast<int64_t>(whole) * 1000 + static_cast<int64_t>(std::floor((x - whole) * 1000.0 + 0.5));
  return datetime_from_ms(ms, out);
}

DateTime datetime_add_ms(int64_t n, DateTime value) {
  if (datetime_is_null(&value)) return value;
  int64_t ms = datetime_to_ms(&value);
  if (ms < 0) return value;
  DateTime out;
  int64_t sum = (n > 0 && ms > INT64_MAX - n) ? INT64_MAX : ms + n;
  datetime_from_ms(sum, &out);
  return out;
}

DateTime datetime_sub_ms(int64_t n, DateTime value) {
  return datetime_add_ms(n == INT64_MIN ? INT64_MAX : -n, value);
}

int64_t datetime_diff_ms(const DateTime* a, const DateTime* b) {
  if (datetime_is_null(a) && datetime_is_null(b)) return 0;
  int64_t ta = datetime_is_null(a) ? -1 : datetime_to_ms(a);
  int64_t tb = datetime_is_null(b) ? -1 : datetime_to_ms(b);
  return ta - tb;
}

int16_t datetime_compare(const DateTime* a, const DateTime* b) {
  bool na = datetime_is_null(a), nb = datetime_is_null(b);
  if (na && nb) return 0;
  if (na || nb) return -2;
  int16_t c = date_compare(&a->date, &b->date);
  return c != 0 ? c : time_compare(&a->time, &b->time);
}

void datetime_now(DateTime* out) {
  platform::LocalTime now = clock_now();
  if (now.year <= 0) {
    out->date = Date{3001, 1, 1};
    out->time = Time{0, 0, 0, 0};
    return;
  }
  date_today(&out->date);
  time_now(&out->time);
}

void datetime_to_pair(const DateTime* value, Date* date, int32_t* ms) {
  if (datetime_is_null(value)) {
    *date = Date{};
    *ms = -1;
    return;
  }
  *date = value->date;
  *ms = time_to_ms(&value->time);
}

int16_t datetime_from_pair(const Date* date, int32_t ms, DateTime* out) {
  datetime_set_null(out);
  if (date_is_empty(date) || ms < 0) return 1;
  Time t;
  if (!date_valid(date->year, date->month, date->day) || !time_parts_from_ms(ms, &t)) return 0;
  out->date = *date;
  out->time = t;
  return 1;
}

// ---- text forms --------------------------------------------------------

int16_t date_format_ordered(char* buffer, int32_t size, const Date* date, int16_t order, const char* sep1,
                            const char* sep2, char* picture) {
  if (!sep1) sep1 = "";
  if (!sep2) sep2 = "";
  int32_t a, b, c;
  const char* form;
  const char* pic;
  switch (order) {
    case 0: a = date->month, b = date->day, c = date->year, form = "%02d%s%02d%s%04d", pic = "mm%sdd%syyyy"; break;
    case 1: a = date->day, b = date->month, c = date->year, form = "%02d%s%02d%s%04d", pic = "dd%smm%syyyy"; break;
    case 2: a = date->year, b = date->month, c = date->day, form = "%04d%s%02d%s%02d", pic = "yyyy%smm%sdd"; break;
    case 5: a = date->year, b = date->day, c = date->month, form = "%04d%s%02d%s%02d", pic = "yyyy%sdd%smm"; break;
    default:
      if (size > 0) buffer[0] = '\0';
      return 0;
  }
  fmt_format(buffer, size, form, a, sep1, b, sep2, c);
  if (picture) {
    int32_t n = static_cast<int32_t>(std::strlen(sep1) + std::strlen(sep2) + 9);
    fmt_format(picture, n, pic, sep1, sep2);
  }
  return 1;
}

int16_t date_format_ordered_text(char* buffer, int32_t size, const Date* date, int16_t order, const char* sep1,
                                 const char* sep2) {
  return date_format_ordered(buffer, size, date, order, sep1, sep2, nullptr);
}

char* date_to_text(const Date* date, char* buffer, int32_t size, int16_t locale) {
  if (size <= 0) return buffer;
  if (date_is_empty(date)) {
    buffer[0] = '\0';
    return buffer;
  }
  if (!locale) {
    if (date->year >= 0 && date->year <= 9999 && date->month <= 99 && date->day <= 99 && size >= 9) {
      // The digits "%04d%02d%02d" writes, without the formatter.
      const int parts[8] = {date->year / 1000, date->year / 100 % 10, date->year / 10 % 10, date->year % 10,
                            date->month / 10,  date->month % 10,      date->day / 10,       date->day % 10};
      for (int i = 0; i < 8; ++i) buffer[i] = static_cast<char>('0' + parts[i]);
      buffer[8] = '\0';
      return buffer;
    }
    fmt_format(buffer, size, "%04d%s%02d%s%02d", date->year, "", date->month, "", date->day);
    return buffer;
  }
  int16_t order;
  char sep1[4], sep2[4];
  locale_date_format(1, &order, sep1, sep2);
  date_format_ordered(buffer, size, date, order, sep1, sep2, nullptr);
  return buffer;
}

int16_t date_format_locale(char* buffer, int32_t size, const Date* date, const char* picture) {
  if (size <= 0) return 0;
  Out out{buffer, size};
  if (!picture || date_is_empty(date)) {
    out.finish();
    return 0;
  }
  int32_t dn = date_to_days(date);
  int32_t weekday = dn < 0 ? 0 : (date_weekday(dn) + 5) % 7;  // 0 Monday .. 6 Sunday
  for (const char* p = picture; *p;) {
    char c = *p;
    if (c == '\'') {
      p = copy_quoted(p, out);
      continue;
    }
    if (!is_ascii_letter(c)) {
      out.put(p, 1);
      ++p;
      continue;
    }
    int32_t n = 0;
    while (p[n] == c) ++n;
    p += n;
    if (c == 'd' && n <= 2) {
      out.number(date->day, n);
    } else if (c == 'd') {
      out.put(n == 3 ? provider_item(locinfo::kAbbrevDayName1 + weekday, kAbbrevDays[weekday])
                     : provider_item(locinfo::kDayName1 + weekday, kDays[weekday]));
    } else if (c == 'M' && n <= 2) {
      out.number(date->month, n);
    } else if (c == 'M') {
      int32_t m = date->month - 1;
      out.put(n == 3 ? provider_item(locinfo::kAbbrevMonthName1 + m, kAbbrevMonths[m])
                     : provider_item(locinfo::kMonthName1 + m, kMonths[m]));
    } else if (c == 'y' && (n == 1 || n == 2)) {
      out.number(date->year % 100, n);
    } else if (c == 'y' && n == 4) {
      char tmp[8];
      fmt_format(tmp, sizeof tmp, "%04d", date->year);
      out.put(tmp, std::strlen(tmp));
    } else {
      buffer[0] = '\0';
      return 0;
    }
  }
  return out.finish();
}

int16_t time_format_win(char* buffer, int32_t size, const Time* time, const char* picture) {
  return format_time_picture(buffer, size, time, picture);
}

int16_t time_format_picture(char* buffer, int32_t size, const Time* time, const char* picture) {
  int16_t ok = format_time_picture(buffer, size, time, picture);
  if (size <= 0) return ok;
  char digits[8];
  fmt_format(digits, sizeof digits, "%03d", time && time->ms >= 0 && time->ms <= 999 ? time->ms : 0);
  int k = 0;
  for (char* p = buffer; *p && k < 3; ++p)
    if (*p == 'f') *p = digits[k++];
  return ok;
}

char* time_to_text(const Time* time, char* buffer, int32_t size, int16_t locale) {
  if (size <= 0) return buffer;
  if (time_is_null(time)) {
    buffer[0] = '\0';
    return buffer;
  }
  char picture[128];
  if (locale)
    locale_time_picture(1, picture, sizeof picture);
  else
    std::strcpy(picture, "HHmmssfff");
  time_format_picture(buffer, size, time, picture);
  return buffer;
}

char* time_format_full(const Time* time, char* buffer, int32_t size, int16_t locale) {
  if (size <= 0) return buffer;
  if (time_is_null(time)) {
    buffer[0] = '\0';
    return buffer;
  }
  if (!locale) return time_to_text(time, buffer, size, 0);
  int16_t clock12 = 0, mark_before = 0;
  char am[20], pm[20], sep1[4], sep2[4];
  locale_time_format(1, &clock12, &mark_before, am, pm, sep1, sep2);
  const char* mark = time->hour < 12 ? am : pm;
  int32_t hour = time->hour;
  if (clock12) hour = hour % 12 == 0 ? 12 : hour % 12;
  char dec[2] = {locale_decimal_char(), '\0'};
  bool before = clock12 && mark_before;
  bool after = clock12 && !mark_before;
  fmt_format(buffer, size, "%s%s%02d%s%02d%s%02d%.1s%03d%s%s", before ? mark : "", before ? " " : "", hour, sep1,
             static_cast<int>(time->minute), sep2, static_cast<int>(time->second), dec, static_cast<int>(time->ms),
             after ? " " : "", after ? mark : "");
  return buffer;
}

namespace {

char* datetime_text(const DateTime* value, char* buffer, int32_t size, int16_t locale, bool full) {
  if (size <= 0) return buffer;
  buffer[0] = '\0';
  if (datetime_is_null(value)) return buffer;
  char date[64], time[128];
  date_to_text(&value->date, date, sizeof date, locale);
  if (full)
    time_format_full(&value->time, time, sizeof time, locale);
  else
    time_to_text(&value->time, time, sizeof time, locale);
  fmt_format(buffer, size, "%s%s%s", date, locale ? " " : "", time);
  return buffer;
}

}  // namespace

char* datetime_to_text(const DateTime* value, char* buffer, int32_t size, int16_t locale) {
  return datetime_text(value, buffer, size, locale, false);
}

char* datetime_to_text_full(const DateTime* value, char* buffer, int32_t size, int16_t locale) {
  return datetime_text(value, buffer, size, locale, true);
}

int16_t datetime_format_ordered(char* buffer, int32_t size, const DateTime* value, int16_t order, const char* sep1,
                                const char* sep2, const char* time_picture) {
  if (size <= 0) return 0;
  buffer[0] = '\0';
  if (datetime_is_null(value)) return 0;
  char date[64], time[128];
  if (!date_format_ordered(date, sizeof date, &value->date, order, sep1, sep2, nullptr)) return 0;
  time_format_picture(time, sizeof time, &value->time, time_picture);
  fmt_format(buffer, size, "%s %s", date, time);
  return 1;
}

// ---- parsing -----------------------------------------------------------

Date* date_parse_us(const char* text, Date* out) {
  date_set_empty(out);
  if (!text) return nullptr;
  const char* p = skip_blanks(text);
  int32_t month, day, year = -1;
  if (!(p = read_number(p, &month))) return nullptr;
  p = skip_blanks(p);
  char sep = *p;
  if (sep != '/' && sep != '-') return nullptr;
  p = skip_blanks(p + 1);
  if (!(p = read_number(p, &day))) return nullptr;
  p = skip_blanks(p);
  if (*p == sep) {
    p = skip_blanks(p + 1);
    if (!(p = read_number(p, &year))) return nullptr;
    p = skip_blanks(p);
  }
  if (*p) return nullptr;
  int16_t y = year < 0 ? current_year() : static_cast<int16_t>(year > 32767 ? 32767 : year);
  if (month < 1 || month > 12) return nullptr;
  if (!date_expand_year(&y) || y == 0) return nullptr;
  if (!date_valid(y, month, day)) return nullptr;
  *out = Date{y, static_cast<uint8_t>(month), static_cast<uint8_t>(day)};
  return out;
}

Date* date_from_text(const char* text, Date* out, const char** rest) {
  date_set_empty(out);
  if (!text) return nullptr;
  size_t len = std::strlen(text);
  if (len == 8 && all_digits(text, 8)) {
    Date d;
    if (!date_parts_from_int(static_cast<int32_t>(digits_value(text, 8)), &d) || date_is_empty(&d)) return nullptr;
    *out = d;
    if (rest) *rest = text + len;
    return out;
  }
  if (g_date.us_switch) {
    if (rest) *rest = text + len;
    return date_parse_us(text, out);
  }
  int16_t order;
  char sep1[4], sep2[4];
  locale_date_format_trimmed(1, &order, sep1, sep2);
  if (sep1[0] == '\0') locale_date_format(1, &order, sep1, sep2);
  auto is_sep = [&](char c) { return c != '\0' && (c == sep1[0] || c == sep2[0]); };

  int32_t n[3];
  int count = 2;
  const char* p = skip_blanks(text);
  if (!(p = read_number(p, &n[0]))) return nullptr;
  p = skip_blanks(p);
  if (sep1[0] == '\0' || *p != sep1[0]) return nullptr;
  p = skip_blanks(p + 1);
  if (!(p = read_number(p, &n[1]))) return nullptr;
  p = skip_blanks(p);
  const char* after = p;
  if (*p == '\0') {
    // two numbers: the current year
  } else if (is_sep(*p)) {
    p = skip_blanks(p + 1);
    if (!(p = read_number(p, &n[2]))) return nullptr;
    count = 3;
    p = skip_blanks(p);
    if (*p && !rest) return nullptr;
    after = p;
  } else if (!rest) {
    return nullptr;
  }

  int32_t year = -1, month, day;
  switch (order) {
    case 0: month = n[0], day = n[1], year = count == 3 ? n[2] : -1; break;
    case 1: day = n[0], month = n[1], year = count == 3 ? n[2] : -1; break;
    case 2:
      if (count == 3) year = n[0], month = n[1], day = n[2];
      else month = n[0], day = n[1];
      break;
    case 5:
      if (count == 3) year = n[0], day = n[1], month = n[2];
      else day = n[0], month = n[1];
      break;
    default: return nullptr;
  }
  if (month < 1 || month > 12) return nullptr;
  int16_t y = year < 0 ? current_year() : static_cast<int16_t>(year > 32767 ? 32767 : year);
  if (!date_expand_year(&y) || y == 0) return nullptr;
  if (!date_valid(y, month, day)) return nullptr;
  *out = Date{y, static_cast<uint8_t>(month), static_cast<uint8_t>(day)};
  if (rest) *rest = after;
  return out;
}

Date* date_from_text_simple(const char* text, Date* out) { return date_from_text(text, out, nullptr); }

namespace {

// Reads an AM/PM mark: the run of characters of the AM text, the PM text
// or a blank. Answers 1 AM, 2 PM, 0 no mark.
int read_mark(const char*& p, const char* am, const char* pm) {
  std::string run;
  while (*p && (*p == ' ' || std::strchr(am, *p) || std::strchr(pm, *p))) run.push_back(*p++);
  size_t b = run.find_first_not_of(' ');
  if (b == std::string::npos) return 0;
  run = run.substr(b, run.find_last_not_of(' ') - b + 1);
  auto matches = [&](const char* mark) {
    return mb_str_equal_nocase(run.c_str(), mark) || (run.size() == 1 && mark[0] && run[0] == mark[0]);
  };
  if (matches(am)) return 1;
  if (matches(pm)) return 2;
  return 0;
}

}  // namespace

Time* time_from_text(const char* text, Time* out) {
  time_set_null(out);
  if (!text) return nullptr;
  size_t len = std::strlen(text);
  if (len == 9 && all_digits(text, 9)) {
    Time t;
    if (!time_parts_from_int(static_cast<int32_t>(digits_value(text, 9)), &t) || time_is_null(&t)) return nullptr;
    *out = t;
    return out;
  }
  if (len == 10 && all_digits(text, 6) && text[6] == '.' && all_digits(text + 7, 3)) {
    Time t;
    int32_t n = static_cast<int32_t>(digits_value(text, 6) * 1000 + digits_value(text + 7, 3));
    if (!time_parts_from_int(n, &t) || time_is_null(&t)) return nullptr;
    *out = t;
    return out;
  }

  int16_t clock12 = 0, mark_before = 0;
  char am[20], pm[20], sep1[4], sep2[4];
  locale_time_format_lower(1, &clock12, &mark_before, am, pm, sep1, sep2);
  // Until the time settings are loaded the marks are empty: take the fixed
  // ones, so that "1:30 PM" reads and an absent mark never counts as AM.
  if (am[0] == '\0') std::strcpy(am, "am");
  if (pm[0] == '\0') std::strcpy(pm, "pm");

  char buf[256];
  str_copy_n(buf, text, sizeof buf);
  mb_str_lower(buf);
  str_trim_right(buf);
  str_trim_left(buf);
  if (buf[0] == '\0') return nullptr;

  const char* p = buf;
  int mark = 0;
  if (mark_before) {
    mark = read_mark(p, am, pm);
    p = skip_blanks(p);
  }
  int32_t hour = 0, minute = 0;
  double seconds = 0;
  if (!(p = read_number(p, &hour))) return nullptr;
  p = skip_blanks(p);
  size_t s1 = std::strlen(sep1), s2 = std::strlen(sep2);
  if (s1 && std::strncmp(p, sep1, s1) == 0) {
    p = skip_blanks(p + s1);
    if (!(p = read_number(p, &minute))) return nullptr;
    p = skip_blanks(p);
    if (s2 && std::strncmp(p, sep2, s2) == 0) {
      p = skip_blanks(p + s2);
      int32_t whole = 0;
      if (!(p = read_number(p, &whole))) return nullptr;
      seconds = whole;
      if (*p == '.' || (locale_decimal_char() && *p == locale_decimal_char())) {
        ++p;
        double scale = 0.1;
        while (*p >= '0' && *p <= '9') {
          seconds += (*p - '0') * scale;
          scale /= 10;
          ++p;
        }
      }
      p = skip_blanks(p);
    }
  } else if (s1 && *p && std::strchr(sep1, *p)) {
    return nullptr;
  }
  if (!mark_before) mark = read_mark(p, am, pm);
  p = skip_blanks(p);
  if (*p) return nullptr;

  if (mark == 2 && hour != 12) hour += 12;
  if (mark == 1 && hour == 12) hour = 0;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || seconds < 0 || seconds >= 60) return nullptr;
  int32_t whole = static_cast<int32_t>(seconds);
  int32_t ms = static_cast<int32_t>(std::floor((seconds - whole) * 1000.0 + 0.5));
  if (ms > 999) return nullptr;
  out->hour = static_cast<int8_t>(hour);
  out->minute = static_cast<uint8_t>(minute);
  out->second = static_cast<uint8_t>(whole);
  out->ms = static_cast<int16_t>(ms);
  return out;
}

DateTime* datetime_from_text(const char* text, DateTime* out) {
  datetime_set_null(out);
  if (!text) return nullptr;
  size_t len = std::strlen(text);
  if (len == 17 && all_digits(text, 17)) {
    DateTime v;
    if (!datetime_parts_from_int64(digits_value(text, 17), &v) || datetime_is_null(&v)) return nullptr;
    *out = v;
    return out;
  }
  if (len == 18 && all_digits(text, 14) && text[14] == '.' && all_digits(text + 15, 3)) {
    DateTime v;
    int64_t n = digits_value(text, 14) * 1000 + digits_value(text + 15, 3);
    // yyyymmddhhmmss x 1000 + fff is the 17-digit form.
    if (!datetime_parts_from_int64(n, &v) || datetime_is_null(&v)) return nullptr;
    *out = v;
    return out;
  }
  const char* rest = nullptr;
  Date d;
  if (!date_from_text(text, &d, &rest)) return nullptr;
  Time t;
  const char* r = rest ? skip_blanks(rest) : "";
  while (*r == '\r' || *r == '\n') r = skip_blanks(r + 1);
  if (*r == '\0') {
    t = Time{0, 0, 0, 0};
  } else if (!time_from_text(rest, &t)) {
    return nullptr;
  }
  out->date = d;
  out->time = t;
  return out;
}
