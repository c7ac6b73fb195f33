// Locale settings from a fixed provider, the POSIX translations, and the
// rewriting of numbers.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "kernel/runtime/locale.h"
#include "platform/locale_provider.h"
#include "runtime_reset.h"

namespace {

class LocaleTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    locale_reset();
    provider_ = std::make_shared<FixedLocaleProvider>();
    locale_set_provider(provider_);
  }
  void TearDown() override {
    locale_reset();
    locale_set_provider(nullptr);
    RuntimeTest::TearDown();
  }
  std::shared_ptr<FixedLocaleProvider> provider_;
};

TEST_F(LocaleTest, StartValuesLeaveNumbersPlain) {
  char text[32] = "1234567.5";
  EXPECT_STREQ(number_localise(text, sizeof text), "1234567.5");
  EXPECT_STREQ(number_delocalise(text), "1234567.5");
  char picture[32];
  EXPECT_STREQ(locale_time_picture(1, picture, sizeof picture), "h:mm:ss tt");
  char dec = 'x', thou = 'x';
  int16_t grouping = -1;
  locale_number_format(0, &dec, &thou, &grouping);
  EXPECT_EQ(dec, '.');
  EXPECT_EQ(thou, ',');
  EXPECT_EQ(grouping, 3);
  locale_number_format(1, &dec, &thou, &grouping);
  EXPECT_EQ(dec, '\0');
  EXPECT_EQ(grouping, 0);
}

TEST_F(LocaleTest, DateFormatDayFirstWithDots) {
  provider_->items = {{locinfo::kDateSep, "."}, {locinfo::kDateOrder, "1"}};
  EXPECT_EQ(locale_load_date_format(), 1);
  int16_t order = -1;
  char s1[4], s2[4];
  locale_date_format(1, &order, s1, s2);
  EXPECT_EQ(order, 1);
  EXPECT_STREQ(s1, ".");
  EXPECT_STREQ(s2, ".");
  locale_date_format(0, &order, s1, s2);
  EXPECT_EQ(order, 0);
  EXPECT_STREQ(s1, "/");
  // Separators are cut to three characters; the trimmed copy is lower case.
  provider_->items = {{locinfo::kDateSep, " X. junk"}, {locinfo::kDateOrder, "2"}};
  EXPECT_EQ(locale_load_date_format(), 1);
  locale_date_format_trimmed(1, &order, s1, s2);
  EXPECT_EQ(order, 2);
  EXPECT_STREQ(s1, "x.");
  EXPECT_STREQ(locale_settings().date_sep1, " X.");
  // A missing item answers 0 and keeps what was read.
  provider_->items = {{locinfo::kDateSep, "-"}};
  EXPECT_EQ(locale_load_date_format(), 0);
  EXPECT_STREQ(locale_settings().date_sep1, "-");
  EXPECT_EQ(locale_settings().date_order, 0);
}

TEST_F(LocaleTest, NumberFormatLoading) {
  struct Case {
    const char* decimal;
    const char* thousands;
    const char* grouping;
    char want_decimal, want_thousands;
    int16_t want_grouping;
    const char* localised;  // of 1234567.5
  } cases[] = {
      {",", ",", "3;0", '.', ',', 3, "1,234,567.5"},  // equal separators: back to the start values
      {",", ".", "3;0", ',', '.', 3, "1.234.567,5"},
      {".", " ", "3;0", '.', ' ', 3, "1 234 567.5"},
      {".", ",", "0;0", '.', '\0', 0, "1234567.5"},
      {",", "'", "4;0", ',', '\'', 4, "123'4567,5"},
  };
  for (const Case& c : cases) {
    provider_->items = {{locinfo::kDecimal, c.decimal}, {locinfo::kThousands, c.thousands},
                        {locinfo::kGrouping, c.grouping}};
    EXPECT_EQ(locale_load_number_format(), 1);
    EXPECT_EQ(locale_decimal_char(), c.want_decimal) << c.decimal << c.thousands;
    EXPECT_EQ(locale_thousands_char(), c.want_thousands) << c.decimal << c.thousands;
    EXPECT_EQ(locale_grouping(), c.want_grouping);
    char text[32] = "1234567.5";
    EXPECT_STREQ(number_localise(text, sizeof text), c.localised);
    EXPECT_STREQ(number_delocalise(text), "1234567.5");
  }
  provider_->items.clear();
  EXPECT_EQ(locale_load_number_format(), 0);
  EXPECT_EQ(locale_decimal_char(), '.');
}

TEST_F(LocaleTest, IntegerWithDotThousandsKeepsItsGroups) {
  provider_->items = {{locinfo::kDecimal, ","}, {locinfo::kThousands, "."}, {locinfo::kGrouping, "3;0"}};
  ASSERT_EQ(locale_load_number_format(), 1);
  char text[32] = "1234567";
  EXPECT_STREQ(number_localise(text, sizeof text), "1.234.567");
  char neg[32] = "-1234.25";
  EXPECT_STREQ(number_localise(neg, sizeof neg), "-1.234,25");
}

TEST_F(LocaleTest, GroupDigits) {
  struct Case {
    const char* text;
    int32_t size;
    int32_t group;
    const char* grouped;
  } cases[] = {
      {"1234567.5", 32, 3, "1,234,567.5"}, {"-123456", 32, 3, "-123,456"}, {"123", 32, 3, "123"},
      {"1234", 32, 3, "1,234"},            {"12345678", 10, 3, "12345,678"}, {"12345678", 9, 3, "12345678"}, {"1234567", 32, 0, "1234567"},
      {"ab1234", 32, 3, "ab1,234"},        {"1e+20", 32, 3, "1e+20"},       {"1234", 0, 3, "1234"},
      {"1234", -1, 3, "1234"},             {"1234", INT32_MIN, 3, "1234"},  {"1234", 32, -3, "1234"},
  };
  for (const Case& c : cases) {
    char text[40];
    std::strcpy(text, c.text);
    EXPECT_STREQ(number_group_digits(text, c.size, ',', c.group), c.grouped) << c.text;
  }
}

TEST_F(LocaleTest, TimeFormatFromPosixPictures) {
  struct Case {
    const char* t_fmt;
    const char* ampm;
    const char* picture;
    bool twelve;
    int32_t before;
  } cases[] = {
      {"%r", "%I:%M:%S %p", "hh:mm:ss tt", true, 0},
      {"%T", "", "HH:mm:ss", false, 0},
      {"%R", "", "HH:mm", false, 0},
      {"%r", "", "hh:mm:ss tt", true, 0},
      {"%p %l.%M", "", "tt h.mm", true, 1},
      {"%k:%M:%S %Z", "", "H:mm:ss ", false, 0},
      {"%OH:%EM", "", "HH:mm", false, 0},
  };
  for (const Case& c : cases) {
    std::string picture = posix_time_picture(c.t_fmt, c.ampm);
    EXPECT_EQ(picture, c.picture) << c.t_fmt;
    bool twelve = false;
    int32_t before = -1;
    std::string sep;
    time_picture_traits(picture, twelve, before, sep);
    EXPECT_EQ(twelve, c.twelve) << c.t_fmt;
    EXPECT_EQ(before, c.before) << c.t_fmt;
  }
  struct DateCase {
    const char* d_fmt;
    const char* picture;
    int32_t order;
    const char* sep;
  } dates[] = {
      {"%m/%d/%y", "MM/dd/yy", 0, "/"}, {"%d.%m.%Y", "dd.MM.yyyy", 1, "."}, {"%Y-%m-%d", "yyyy-MM-dd", 2, "-"},
      {"%D", "MM/dd/yy", 0, "/"},       {"%F", "yyyy-MM-dd", 2, "-"},
  };
  for (const DateCase& d : dates) {
    std::string picture = posix_date_picture(d.d_fmt);
    EXPECT_EQ(picture, d.picture);
    int32_t order = -1;
    std::string sep;
    date_picture_order(picture, order, sep);
    EXPECT_EQ(order, d.order) << d.d_fmt;
    EXPECT_EQ(sep, d.sep) << d.d_fmt;
  }
}

TEST_F(LocaleTest, TimeFormatLoading) {
  provider_->items = {{locinfo::kTimeFormat, "HH.mm.ss"}, {locinfo::kAm, "Vorm"}, {locinfo::kPm, "NACHM"},
                      {locinfo::kTimeClock, "1"},          {locinfo::kTimeMarkPosn, "1"}, {locinfo::kTimeSep, "."}};
  EXPECT_EQ(locale_load_time_format(), 1);
  int16_t clock12 = -1, before = -1;
  char am[20], pm[20], s1[4], s2[4];
  locale_time_format(1, &clock12, &before, am, pm, s1, s2);
  EXPECT_EQ(clock12, 0);
  EXPECT_EQ(before, 1);
  EXPECT_STREQ(am, "Vorm");
  EXPECT_STREQ(s1, ".");
  locale_time_format_lower(1, nullptr, nullptr, am, pm, s1, nullptr);
  EXPECT_STREQ(pm, "nachm");
  locale_time_format(0, &clock12, &before, am, pm, s1, s2);
  EXPECT_EQ(clock12, 1);
  EXPECT_STREQ(am, "AM");
  char picture[8];
  EXPECT_STREQ(locale_time_picture(1, picture, sizeof picture), "HH.mm.s");  // cut at the buffer
  EXPECT_STREQ(locale_time_picture(0, picture, sizeof picture), "h:mm:ss");
  // A second load replaces the picture without leaking the first.
  provider_->items[locinfo::kTimeFormat] = "h:mm tt";
  provider_->items.erase(locinfo::kTimeSep);
  EXPECT_EQ(locale_load_time_format(), 0);
  EXPECT_STREQ(locale_time_picture(1, picture, sizeof picture), "h:mm tt");
  EXPECT_STREQ(locale_settings().time_sep1, ":");
}

TEST_F(LocaleTest, InfoItemsAndTheirErrors) {
  provider_->items = {{locinfo::kIsoLanguage, "de"}, {locinfo::kIsoCountry, "DE"}, {locinfo::kCountryAbbrev, "DEU"},
                      {locinfo::kShortDate, "dd.MM.yyyy"}};
  char buf[16];
  EXPECT_EQ(locale_iso_name(buf, sizeof buf), 1);
  EXPECT_STREQ(buf, "de_DE");
  EXPECT_EQ(locale_iso_name(buf, 5), 0);
  EXPECT_EQ(err_first_code(), 1008);
  EXPECT_STREQ(buf, "");
  err_clear();
  EXPECT_EQ(locale_country_abbrev(buf, 3), 0);
  EXPECT_EQ(err_first_code(), 1008);
  EXPECT_EQ(locale_country_abbrev(buf, 4), 1);
  EXPECT_STREQ(buf, "DEU");
  EXPECT_EQ(locale_date_picture(buf, sizeof buf, 0), 1);
  EXPECT_STREQ(buf, "dd.MM.yyyy");
  EXPECT_EQ(locale_date_picture(buf, sizeof buf, 1), 0);
  EXPECT_EQ(locale_date_picture(buf, sizeof buf, 2), 0);
  EXPECT_EQ(locale_get_info(locale_lcid(), locinfo::kIsoLanguage, buf, sizeof buf), 3);
}

TEST(PosixLocale, CLocaleAnswersEveryItem) {
  PosixLocaleProvider c("C");
  std::string out;
  struct Case {
    int32_t type;
    const char* want;
  } cases[] = {
      {locinfo::kDecimal, "."},        {locinfo::kGrouping, "0;0"},  {locinfo::kDateSep, "/"},
      {locinfo::kDateOrder, "0"},      {locinfo::kShortDate, "MM/dd/yy"}, {locinfo::kTimeFormat, "HH:mm:ss"},
      {locinfo::kTimeClock, "1"},      {locinfo::kTimeSep, ":"},     {locinfo::kAm, "AM"},
      {locinfo::kDayName1, "Monday"},  {locinfo::kAbbrevDayName1 + 6, "Sun"}, {locinfo::kMonthName1 + 11, "December"},
  };
  for (const Case& k : cases) {
    ASSERT_TRUE(c.Info(k.type, out)) << k.type;
    EXPECT_EQ(out, k.want) << k.type;
  }
  EXPECT_FALSE(c.Info(12345, out));
}

}  // namespace
