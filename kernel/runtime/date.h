// Dates, times and dates-with-times of the kernel: the small records, their
// integer, millisecond, second and day-number forms, their plain text forms
// (yyyyMMdd, HHmmssfff, yyyyMMddHHmmssfff, stored in files and sent to
// databases) and their locale forms for display, and the arithmetic on them.
//
// Day numbers count days since 1 March of year 0 in the proleptic Gregorian
// calendar (2000-01-01 is day 730425). Dates with a negative year have no
// day number. "Today" and "now" come from the platform clock, which tests
// replace.
#pragma once
#include <cstdint>

constexpr int16_t kErrBadDateTime = 854;

struct Date {
  int16_t year;
  uint8_t month;  // 1-12, 0: empty date
  uint8_t day;    // 1-31, 0: empty date
};

struct Time {
  int16_t ms;  // 0-999
  uint8_t second;
  uint8_t minute;
  int8_t hour;  // 0-23, negative: null time
};

struct DateTime {
  Date date;
  Time time;
};

static_assert(sizeof(Date) == 4 && sizeof(Time) == 6 && sizeof(DateTime) == 10);

// ---- dates -------------------------------------------------------------
int32_t date_to_int(const Date* date);
int16_t date_from_int(int32_t n, Date* out);
int32_t date_to_days(const Date* date);
int16_t date_from_days(int32_t n, Date* out);
Date date_add_days(int32_t n, Date date);
Date date_sub_days(int32_t n, Date date);
int32_t date_diff_days(const Date* a, const Date* b);
int16_t date_compare(const Date* a, const Date* b);
void date_today(Date* out);
int16_t date_weekday(int32_t day_number);
int16_t date_days_in_month(int32_t month, int16_t leap);
int16_t date_is_leap_year(int32_t year);
int16_t date_is_empty(const Date* date);
void date_set_empty(Date* date);
int16_t date_expand_year(int16_t* year);
int16_t date_pivot_get();
void date_pivot_set(int16_t value);
int16_t date_pivot_is_none(int16_t value);
int16_t date_year_is_two_digit(int16_t value);
int16_t date_plain_length();
int16_t time_plain_length();
int16_t datetime_plain_length();

// ---- times -------------------------------------------------------------
int32_t time_to_int(const Time* time);
int16_t time_from_int(int32_t n, Time* out);
int32_t time_to_ms(const Time* time);
int16_t time_from_ms(int32_t n, Time* out);
double time_to_seconds(const Time* time);
int16_t time_from_seconds(double x, Time* out);
Time time_add_ms(int32_t n, Time time);
Time time_sub_ms(int32_t n, Time time);
int32_t time_diff_ms(const Time* a, const Time* b);
int16_t time_compare(const Time* a, const Time* b);
void time_now(Time* out);
int16_t time_is_valid(const Time* time);
int16_t time_is_null(const Time* time);
void time_set_null(Time* time);

// ---- dates with times --------------------------------------------------
int64_t datetime_to_int64(const DateTime* value);
int16_t datetime_from_int64(int64_t n, DateTime* out);
int64_t datetime_to_ms(const DateTime* value);
int16_t datetime_from_ms(int64_t n, DateTime* out);
double datetime_to_seconds(const DateTime* value);
int16_t datetime_from_seconds(double x, DateTime* out);
DateTime datetime_add_ms(int64_t n, DateTime value);
DateTime datetime_sub_ms(int64_t n, DateTime value);
int64_t datetime_diff_ms(const DateTime* a, const DateTime* b);
int16_t datetime_compare(const DateTime* a, const DateTime* b);
void datetime_now(DateTime* out);
int16_t datetime_is_null(const DateTime* value);
void datetime_set_null(DateTime* value);
void datetime_to_pair(const DateTime* value, Date* date, int32_t* ms);
int16_t datetime_from_pair(const Date* date, int32_t ms, DateTime* out);

// ---- text forms (locale flag: 0 plain, 1 locale) -----------------------
char* date_to_text(const Date* date, char* buffer, int32_t size, int16_t locale);
int16_t date_format_ordered(char* buffer, int32_t size, const Date* date, int16_t order, const char* sep1,
                            const char* sep2, char* picture);
int16_t date_format_ordered_text(char* buffer, int32_t size, const Date* date, int16_t order, const char* sep1,
                                 const char* sep2);
// Pictures: d dd ddd dddd M MM MMM MMMM y yy yyyy and 'quoted' text; any
// other letter answers 0.
int16_t date_format_locale(char* buffer, int32_t size, const Date* date, const char* picture);
char* time_to_text(const Time* time, char* buffer, int32_t size, int16_t locale);
// Pictures: h hh H HH m mm s ss t tt and 'quoted' text; other characters
// are copied. time_format_picture then puts the milliseconds into the first
// three letters f.
int16_t time_format_picture(char* buffer, int32_t size, const Time* time, const char* picture);
int16_t time_format_win(char* buffer, int32_t size, const Time* time, const char* picture);
char* time_format_full(const Time* time, char* buffer, int32_t size, int16_t locale);
char* datetime_to_text(const DateTime* value, char* buffer, int32_t size, int16_t locale);
char* datetime_to_text_full(const DateTime* value, char* buffer, int32_t size, int16_t locale);
int16_t datetime_format_ordered(char* buffer, int32_t size, const DateTime* value, int16_t order, const char* sep1,
                                const char* sep2, const char* time_picture);

// ---- parsing (answer the out record, or null; nothing pushed) ----------
Date* date_from_text(const char* text, Date* out, const char** rest);
Date* date_from_text_simple(const char* text, Date* out);
Date* date_parse_us(const char* text, Date* out);
Time* time_from_text(const char* text, Time* out);
DateTime* datetime_from_text(const char* text, DateTime* out);

// United-States date switch (month first regardless of the locale).
void date_set_us_switch(int16_t on);

// Back to the start state (pivot -1, switch off).
void date_reset();
