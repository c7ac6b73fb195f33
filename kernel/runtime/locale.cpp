// Locale settings loaded from the platform's locale provider, and the
// rewriting of numbers into and out of their locale form.
#include "kernel/runtime/locale.h"

#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"
#include "platform/locale_provider.h"

namespace {

constexpr int32_t kMaxItem = 256;
constexpr const char* kFixedPicture = "h:mm:ss tt";

LocaleSettings start_values() {
  LocaleSettings s{};
  std::strcpy(s.date_sep1, "/");
  std::strcpy(s.date_sep2, "/");
  std::strcpy(s.date_sep1_trimmed, "/");
  std::strcpy(s.date_sep2_trimmed, "/");
  s.clock12 = 1;
  std::strcpy(s.time_sep1, ":");
  std::strcpy(s.time_sep2, ":");
  std::strcpy(s.time_sep1_trimmed, ":");
  std::strcpy(s.time_sep2_trimmed, ":");
  return s;
}

LocaleSettings g_locale = start_values();

// One item of at most kMaxItem bytes.
bool read_item(int32_t type, std::string& out) {
  if (!locale_provider().Info(type, out)) return false;
  return out.size() < static_cast<size_t>(kMaxItem);
}

bool read_number(int32_t type, int32_t& value) {
  std::string text;
  if (!read_item(type, text)) return false;
  return str_to_int(text.c_str(), &value) != nullptr;
}

// The separator as read (at most three characters) and its trimmed,
// lower-cased copy.
void set_separator(const std::string& text, char* as_read, char* trimmed) {
  str_copy_n(as_read, text.c_str(), 4);
  char buf[4];
  str_copy_n(buf, as_read, 4);
  str_trim_right(buf);
  str_trim_left(buf);
  mb_str_lower(buf);
  str_copy_n(trimmed, buf, 4);
}

void copy_out(char* out, const char* value, int32_t size) {
  if (out) str_copy_n(out, value, size);
}

// The last occurrence of c in text, or null.
char* last_of(char* text, char c) { return c == '\0' ? nullptr : std::strrchr(text, c); }

}  // namespace

void locale_reset() {
  locale_free_time_picture();
  g_locale = start_values();
}

const LocaleSettings& locale_settings() { return g_locale; }

int16_t locale_load_number_format() {
  g_locale.decimal = '.';
  g_locale.thousands = ',';
  g_locale.grouping = 3;
  std::string text;
  if (!read_item(locinfo::kDecimal, text)) return 0;
  g_locale.decimal = text.empty() ? '\0' : text[0];
  int32_t grouping = 0;
  if (!read_number(locinfo::kGrouping, grouping)) return 0;
  g_locale.grouping = static_cast<int16_t>(grouping);
  if (grouping == 0) {
    g_locale.thousands = '\0';
    return 1;
  }
  if (!read_item(locinfo::kThousands, text)) return 0;
  g_locale.thousands = text.empty() ? '\0' : text[0];
  if (g_locale.thousands == g_locale.decimal) {
    g_locale.decimal = '.';
    g_locale.thousands = ',';
  }
  return 1;
}

int16_t locale_load_date_format() {
  g_locale.date_order = 0;
  set_separator("/", g_locale.date_sep1, g_locale.date_sep1_trimmed);
  set_separator("/", g_locale.date_sep2, g_locale.date_sep2_trimmed);
  std::string text;
  if (!read_item(locinfo::kDateSep, text)) return 0;
  set_separator(text.substr(0, 3), g_locale.date_sep1, g_locale.date_sep1_trimmed);
  set_separator(text.substr(0, 3), g_locale.date_sep2, g_locale.date_sep2_trimmed);
  int32_t order = 0;
  if (!read_number(locinfo::kDateOrder, order)) return 0;
  g_locale.date_order = static_cast<int16_t>(order);
  return 1;
}

int16_t locale_load_time_format() {
  int16_t ok = 1;
  std::string text;
  if (locale_provider().Info(locinfo::kTimeFormat, text)) {
    locale_free_time_picture();
    char* block = nullptr;
    if (mem_alloc_zeroed(static_cast<int64_t>(text.size()) + 1, &block)) {
      std::memcpy(block, text.c_str(), text.size() + 1);
      g_locale.time_picture = block;
    } else {
      ok = 0;
    }
  } else {
    ok = 0;
  }
  struct Mark {
    int32_t type;
    char* text;
    char* lower;
  } marks[] = {{locinfo::kAm, g_locale.am, g_locale.am_lower}, {locinfo::kPm, g_locale.pm, g_locale.pm_lower}};
  for (const Mark& m : marks) {
    if (locale_provider().Info(m.type, text) && text.size() < 20) {
      str_copy_n(m.text, text.c_str(), 20);
      str_copy_n(m.lower, text.c_str(), 20);
      mb_str_lower(m.lower);
    } else {
      ok = 0;
    }
  }
  int32_t value = 0;
  if (read_number(locinfo::kTimeClock, value)) {
    g_locale.clock12 = value == 0 ? 1 : 0;
  } else {
    ok = 0;
  }
  if (read_number(locinfo::kTimeMarkPosn, value)) {
    g_locale.mark_before = value != 0 ? 1 : 0;
  } else {
    ok = 0;
  }
  if (read_item(locinfo::kTimeSep, text)) {
    set_separator(text.substr(0, 3), g_locale.time_sep1, g_locale.time_sep1_trimmed);
    set_separator(text.substr(0, 3), g_locale.time_sep2, g_locale.time_sep2_trimmed);
  } else {
    str_copy_n(g_locale.time_sep1, ":", 4);
    str_copy_n(g_locale.time_sep2, ":", 4);
    ok = 0;
  }
  return ok;
}

void locale_free_time_picture() { mem_free(&g_locale.time_picture); }

void locale_number_format(int16_t flag, char* decimal, char* thousands, int16_t* grouping) {
  if (decimal) *decimal = flag ? g_locale.decimal : '.';
  if (thousands) *thousands = flag ? g_locale.thousands : ',';
  if (grouping) *grouping = flag ? g_locale.grouping : 3;
}

void locale_date_format(int16_t flag, int16_t* order, char* sep1, char* sep2) {
  if (order) *order = flag ? g_locale.date_order : 0;
  copy_out(sep1, flag ? g_locale.date_sep1 : "/", 4);
  copy_out(sep2, flag ? g_locale.date_sep2 : "/", 4);
}

void locale_date_format_trimmed(int16_t flag, int16_t* order, char* sep1, char* sep2) {
  if (order) *order = flag ? g_locale.date_order : 0;
  copy_out(sep1, flag ? g_locale.date_sep1_trimmed : "/", 4);
  copy_out(sep2, flag ? g_locale.date_sep2_trimmed : "/", 4);
}

char* locale_time_picture(int16_t flag, char* buffer, int32_t size) {
  const char* picture = flag && g_locale.time_picture ? g_locale.time_picture : kFixedPicture;
  return str_copy_n(buffer, picture, size);
}

namespace {
struct TimeForm {
  const char* am;
  const char* pm;
  const char* sep1;
  const char* sep2;
};

void time_format_out(int16_t flag, const TimeForm& form, int16_t* clock12, int16_t* mark_before, char* am, char* pm,
                     char* sep1, char* sep2) {
  if (clock12) *clock12 = flag ? g_locale.clock12 : 1;
  if (mark_before) *mark_before = flag ? g_locale.mark_before : 0;
  copy_out(am, form.am, 20);
  copy_out(pm, form.pm, 20);
  copy_out(sep1, form.sep1, 4);
  copy_out(sep2, form.sep2, 4);
}
}  // namespace

void locale_time_format(int16_t flag, int16_t* clock12, int16_t* mark_before, char* am, char* pm, char* sep1,
                        char* sep2) {
  TimeForm form = flag ? TimeForm{g_locale.am, g_locale.pm, g_locale.time_sep1, g_locale.time_sep2}
                       : TimeForm{"AM", "PM", ":", ":"};
  time_format_out(flag, form, clock12, mark_before, am, pm, sep1, sep2);
}

void locale_time_format_lower(int16_t flag, int16_t* clock12, int16_t* mark_before, char* am, char* pm, char* sep1,
                              char* sep2) {
  TimeForm form = flag ? TimeForm{g_locale.am_lower, g_locale.pm_lower, g_locale.time_sep1_trimmed,
                                  g_locale.time_sep2_trimmed}
                       : TimeForm{"am", "pm", ":", ":"};
  time_format_out(flag, form, clock12, mark_before, am, pm, sep1, sep2);
}

char locale_decimal_char() { return g_locale.decimal; }
char locale_thousands_char() { return g_locale.thousands; }
int16_t locale_grouping() { return g_locale.grouping; }

int16_t locale_date_picture(char* buffer, int32_t size, int16_t which) {
  if (which != 0 && which != 1) return 0;
  int32_t n = locale_get_info(locale_lcid(), which == 0 ? locinfo::kShortDate : locinfo::kLongDate, buffer, size);
  return n > 0 ? 1 : 0;
}

int32_t locale_get_info(uint32_t, int32_t type, char* buffer, int32_t size) {
  std::string text;
  if (buffer == nullptr || size <= 0 || !locale_provider().Info(type, text)) return 0;
  if (text.size() + 1 > static_cast<size_t>(size)) return 0;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int32_t>(text.size() + 1);
}

uint32_t locale_lcid() { return locale_provider().Lcid(); }

int16_t locale_info(char* buffer, int32_t type, int32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  if (locale_get_info(locale_lcid(), type, buffer, size) > 0) return 1;
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  err_push(4, kErrLocaleText, nullptr, nullptr);
  return 0;
}

int16_t locale_country_abbrev(char* buffer, int32_t size) { return locale_info(buffer, locinfo::kCountryAbbrev, size); }

int16_t locale_country_iso(char* buffer, int32_t size) { return locale_info(buffer, locinfo::kIsoCountry, size); }

int16_t locale_iso_name(char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  std::string lang, country;
  bool ok = locale_provider().Info(locinfo::kIsoLanguage, lang) &&
            locale_provider().Info(locinfo::kIsoCountry, country);
  if (!ok || lang.size() + country.size() + 2 > static_cast<size_t>(size)) {
    err_push(4, kErrLocaleText, nullptr, nullptr);
    return 0;
  }
  std::string joined = lang + "_" + country;
  std::memcpy(buffer, joined.c_str(), joined.size() + 1);
  return 1;
}

char* number_group_digits(char* text, int32_t size, char separator, int32_t group) {
  if (text == nullptr || group <= 0 || separator == '\0') return text;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (static_cast<int64_t>(std::strlen(text)) <= static_cast<int64_t>(size) - 2) {
    size_t len = std::strlen(text);
    const char* ref = std::strchr(text, separator);
    if (ref == nullptr) ref = std::strchr(text, '.');
    size_t at = ref ? static_cast<size_t>(ref - text) : len;
    if (at < static_cast<size_t>(group) + 1) break;
    size_t insert = at - static_cast<size_t>(group);
    bool all_digits = true;
    for (size_t i = insert - 1; i < at; ++i) all_digits = all_digits && digit(text[i]);
    if (!all_digits) break;
    std::memmove(text + insert + 1, text + insert, len - insert + 1);
    text[insert] = separator;
  }
  return text;
}

char* number_decimal_to_locale(char* text) {
  if (text == nullptr || g_locale.decimal == '\0') return text;
  char* dot = std::strrchr(text, '.');
  if (dot) *dot = g_locale.decimal;
  return text;
}

char* number_decimal_from_locale(char* text) {
  if (text == nullptr) return text;
  char* dec = last_of(text, g_locale.decimal);
  if (dec) *dec = '.';
  return text;
}

char* number_localise(char* text, int32_t size) {
  if (text == nullptr) return text;
  // Grouping inserts only before the decimal point, so its distance from
  // the end stays put; a thousands separator of '.' is never taken for it.
  const char* dot = std::strrchr(text, '.');
  size_t tail = dot ? std::strlen(dot) : 0;
  if (g_locale.grouping > 0 && g_locale.thousands != '\0') {
    number_group_digits(text, size, g_locale.thousands, g_locale.grouping);
  }
  if (dot != nullptr && g_locale.decimal != '\0') text[std::strlen(text) - tail] = g_locale.decimal;
  return text;
}

char* number_delocalise(char* text) {
  if (text == nullptr) return text;
  if (g_locale.thousands != '\0') {
    char* w = text;
    for (char* r = text; *r != '\0'; ++r) {
      if (*r != g_locale.thousands) *w++ = *r;
    }
    *w = '\0';
  }
  return number_decimal_from_locale(text);
}
