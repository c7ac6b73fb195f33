// Dates, times and dates with times: day numbers, integer and text forms,
// arithmetic, locale parsing.
#include <chrono>
#include <cstring>
#include <random>

#include "values_fixture.h"

namespace {

using DateTest = ValuesTest;

Date D(int y, int m, int d) { return Date{int16_t(y), uint8_t(m), uint8_t(d)}; }
Time T(int h, int m, int s, int ms) { return Time{int16_t(ms), uint8_t(s), uint8_t(m), int8_t(h)}; }

TEST_F(DateTest, DayNumbersAndWeekdays) {
  Date d = D(2000, 1, 1), back;
  EXPECT_EQ(date_to_days(&d), 730425);
  EXPECT_EQ(date_weekday(730425), 7);
  ASSERT_EQ(date_from_days(730425, &back), 1);
  EXPECT_EQ(date_compare(&back, &d), 0);
  EXPECT_EQ(date_from_days(0, &back), 0);
  EXPECT_EQ(err_first_code(), 854);
  Date neg = D(-1, 1, 1);
  EXPECT_EQ(date_to_days(&neg), -1);
}

TEST_F(DateTest, DayNumbersMatchTheCivilCalendar) {
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    int y = 1 + int(rng() % 9999), m = 1 + int(rng() % 12);
    int d = 1 + int(rng() % date_days_in_month(m, date_is_leap_year(y)));
    Date date = D(y, m, d), back;
    auto civil = std::chrono::sys_days{std::chrono::year{y} / m / d}.time_since_epoch().count() + 719468;
    ASSERT_EQ(date_to_days(&date), civil) << y << "-" << m << "-" << d;
    ASSERT_EQ(date_from_days(int32_t(civil), &back), 1);
    ASSERT_EQ(date_compare(&back, &date), 0);
  }
}

TEST_F(DateTest, IntegerForms) {
  Date d;
  EXPECT_EQ(date_from_int(20000229, &d), 1);
  EXPECT_EQ(date_from_int(19000229, &d), 0);
  EXPECT_EQ(err_first_code(), 854);
  err_clear();
  EXPECT_EQ(date_from_int(0, &d), 1);
  EXPECT_TRUE(date_is_empty(&d));

  Time t;
  EXPECT_EQ(time_from_int(235959999, &t), 1);
  EXPECT_EQ(time_from_int(240000000, &t), 0);
  EXPECT_TRUE(time_is_null(&t));
  EXPECT_EQ(err_first_code(), 854);
  EXPECT_EQ(time_from_int(-1, &t), 1);
  EXPECT_TRUE(time_is_null(&t));
}

TEST_F(DateTest, TimeArithmeticWrapsAtMidnight) {
  Time t = time_sub_ms(1000, T(0, 0, 0, 500));
  EXPECT_EQ(time_to_int(&t), 235959500);
  t = time_add_ms(-1000, T(0, 0, 0, 500));
  EXPECT_EQ(time_to_int(&t), 235959500);
  Time null_time;
  time_set_null(&null_time);
  t = time_add_ms(5, null_time);
  EXPECT_TRUE(time_is_null(&t));
  Time a = T(1, 0, 0, 0);
  EXPECT_EQ(time_diff_ms(&a, &null_time), 3600001);
  EXPECT_EQ(time_diff_ms(&null_time, &null_time), 0);
}

TEST_F(DateTest, PlainTextForms) {
  char buf[64];
  Time t = T(13, 45, 1, 123);
  EXPECT_STREQ(time_to_text(&t, buf, sizeof buf, 0), "134501123");
  DateTime dt{D(2007, 6, 15), t};
  EXPECT_STREQ(datetime_to_text(&dt, buf, sizeof buf, 0), "20070615134501123");

  DateTime parsed;
  ASSERT_NE(datetime_from_text("20070615134501.123", &parsed), nullptr);
  EXPECT_EQ(datetime_compare(&parsed, &dt), 0);
  ASSERT_NE(datetime_from_text("20070615134501123", &parsed), nullptr);
  EXPECT_EQ(datetime_compare(&parsed, &dt), 0);
  ASSERT_NE(datetime_from_text("20070615", &parsed), nullptr);
  EXPECT_EQ(datetime_to_int64(&parsed), 20070615000000000LL);

  ASSERT_EQ(datetime_format_ordered(buf, sizeof buf, &dt, 2, "-", "-", "HH:mm:ss.fff"), 1);
  EXPECT_STREQ(buf, "2007-06-15 13:45:01.123");
  char small[9];
  time_format_picture(small, sizeof small, &t, "HH:mm:ss");
  EXPECT_STREQ(small, "13:45:01");
}

// The plain text form: four-digit year, two-digit month and day
// ("%04d%02d%02d"), wider where the year needs it; an empty date is empty.
TEST_F(DateTest, PlainDateTexts) {
  const struct {
    Date date;
    const char* text;
  } cases[] = {
      {D(2024, 1, 31), "20240131"}, {D(5, 1, 1), "00050101"}, {D(9999, 12, 31), "99991231"},
      {D(12345, 12, 31), "123451231"}, {D(0, 0, 0), ""},
  };
  for (const auto& c : cases) {
    char buf[32] = "x";
    EXPECT_STREQ(date_to_text(&c.date, buf, sizeof buf, 0), c.text);
  }
  char small[6];
  const Date d = D(2024, 1, 31);
  EXPECT_STREQ(date_to_text(&d, small, sizeof small, 0), "20240");
}

TEST_F(DateTest, LocaleDatesUseTheOrderAndTheClock) {
  LoadDates(1, ".");
  Date d;
  ASSERT_NE(date_from_text("31.12.99", &d, nullptr), nullptr);
  EXPECT_EQ(date_to_int(&d), 20991231);
  ASSERT_NE(date_from_text("31.12", &d, nullptr), nullptr);
  EXPECT_EQ(date_to_int(&d), 20241231);
  EXPECT_EQ(date_from_text("31.13.2000", &d, nullptr), nullptr);
  EXPECT_EQ(date_from_text("31.12.2000 x", &d, nullptr), nullptr);
  EXPECT_EQ(err_count(), 0);  // parsers push nothing
  char buf[32];
  Date x = D(2007, 3, 5);
  EXPECT_STREQ(date_to_text(&x, buf, sizeof buf, 1), "05.03.2007");

  int16_t y = 5;
  date_expand_year(&y);
  EXPECT_EQ(y, 2005);
  y = 12000;
  date_expand_year(&y);
  EXPECT_EQ(y, 0);
}

TEST_F(DateTest, TimesBeforeTheTimeSettingsAreLoaded) {
  const struct {
    const char* text;
    int32_t hhmmssfff;  // -1: no time
  } cases[] = {
      {"12:30", 123000000}, {"1:30 PM", 133000000}, {"12:15 am", 1500000}, {"13:30", 133000000},
      {"7:05:09.5", 70509500}, {"25:00", -1},       {"12:60", -1},         {"", -1},
      {"1:30 xyz", -1},     {"134501123", 134501123}, {"134501.123", 134501123},
  };
  for (const auto& c : cases) {
    Time t;
    Time* r = time_from_text(c.text, &t);
    if (c.hhmmssfff < 0) {
      EXPECT_EQ(r, nullptr) << c.text;
    } else {
      ASSERT_NE(r, nullptr) << c.text;
      EXPECT_EQ(time_to_int(&t), c.hhmmssfff) << c.text;
    }
  }
}

TEST_F(DateTest, DateFormatPictures) {
  Date d = D(2007, 3, 5);
  char buf[64];
  ASSERT_EQ(date_format_locale(buf, sizeof buf, &d, "dddd, d MMMM yyyy 'd'"), 1);
  EXPECT_STREQ(buf, "Monday, 5 March 2007 d");
  ASSERT_EQ(date_format_locale(buf, sizeof buf, &d, "dd/MM/yy"), 1);
  EXPECT_STREQ(buf, "05/03/07");
  EXPECT_EQ(date_format_locale(buf, sizeof buf, &d, "dd gg"), 0);
}

TEST_F(DateTest, PlainFormsRoundTrip) {
  std::mt19937 rng(11);
  char buf[64];
  for (int i = 0; i < 5000; ++i) {
    int y = 1 + int(rng() % 9999), m = 1 + int(rng() % 12);
    Date d = D(y, m, 1 + int(rng() % date_days_in_month(m, date_is_leap_year(y))));
    Time t = T(int(rng() % 24), int(rng() % 60), int(rng() % 60), int(rng() % 1000));
    DateTime dt{d, t}, dt2;
    Date d2;
    Time t2;
    ASSERT_NE(date_from_text(date_to_text(&d, buf, sizeof buf, 0), &d2, nullptr), nullptr) << buf;
    ASSERT_EQ(date_compare(&d, &d2), 0);
    ASSERT_NE(time_from_text(time_to_text(&t, buf, sizeof buf, 0), &t2), nullptr) << buf;
    ASSERT_EQ(time_compare(&t, &t2), 0);
    ASSERT_NE(datetime_from_text(datetime_to_text(&dt, buf, sizeof buf, 0), &dt2), nullptr) << buf;
    ASSERT_EQ(datetime_compare(&dt, &dt2), 0);
    ASSERT_EQ(datetime_from_ms(datetime_to_ms(&dt), &dt2), 1);
    ASSERT_EQ(datetime_compare(&dt, &dt2), 0);
  }
}

TEST_F(DateTest, LocaleFormsRoundTripToTheSecond) {
  const struct {
    int order;
    const char* sep;
    const char* picture;
    const char* am;
  } locales[] = {{0, "/", "h:mm:ss tt", "AM"}, {1, ".", "HH:mm:ss", ""}, {2, "-", "hh:mm:ss tt", "vorm."}};
  std::mt19937 rng(3);
  char buf[128];
  for (const auto& l : locales) {
    LoadDates(l.order, l.sep);
    provider_->items[locinfo::kTimeFormat] = l.picture;
    provider_->items[locinfo::kAm] = l.am;
    provider_->items[locinfo::kPm] = l.am[0] ? (std::strcmp(l.am, "AM") == 0 ? "PM" : "nachm.") : "";
    provider_->items[locinfo::kTimeSep] = ":";
    provider_->items[locinfo::kTimeMarkPosn] = "0";
    provider_->items[locinfo::kTimeClock] = std::strchr(l.picture, 'h') ? "0" : "1";
    locale_load_time_format();
    for (int i = 0; i < 500; ++i) {
      int y = 1000 + int(rng() % 8999), m = 1 + int(rng() % 12);
      DateTime dt{D(y, m, 1 + int(rng() % 28)), T(int(rng() % 24), int(rng() % 60), int(rng() % 60), 0)}, back;
      datetime_to_text(&dt, buf, sizeof buf, 1);
      ASSERT_NE(datetime_from_text(buf, &back), nullptr) << buf;
      ASSERT_EQ(datetime_compare(&dt, &back), 0) << buf;
    }
  }
}

}  // namespace
