// The kernel's locale settings (number separators, date order and
// separators, time clock, marks and picture) and the rewriting of numbers
// between their plain and locale forms. Each part of the settings is loaded
// from the platform's locale provider by its own routine; until then it
// holds the start values, under which locale forms equal plain forms.
#pragma once
#include <cstdint>

constexpr int16_t kErrLocaleText = 1008;

struct LocaleSettings {
  char decimal;    // '\0': none
  char thousands;  // '\0': none
  int16_t grouping;
  int16_t date_order;  // 0 M D Y, 1 D M Y, 2 Y M D
  char date_sep1[4];
  char date_sep2[4];
  char date_sep1_trimmed[4];
  char date_sep2_trimmed[4];
  int16_t clock12;
  int16_t mark_before;  // 0 after the time, 1 before it
  char am[20];
  char pm[20];
  char am_lower[20];
  char pm_lower[20];
  char time_sep1[4];
  char time_sep2[4];
  char time_sep1_trimmed[4];
  char time_sep2_trimmed[4];
  char* time_picture;  // kernel block, null when none
};

// Back to the start values (releases the time picture).
void locale_reset();
const LocaleSettings& locale_settings();

int16_t locale_load_number_format();
int16_t locale_load_date_format();
int16_t locale_load_time_format();
void locale_free_time_picture();

// Readers: flag 1 the settings, 0 the fixed forms. Separator outputs are
// at least 4 bytes, AM/PM outputs at least 20. Any out pointer may be null.
void locale_number_format(int16_t flag, char* decimal, char* thousands, int16_t* grouping);
void locale_date_format(int16_t flag, int16_t* order, char* sep1, char* sep2);
void locale_date_format_trimmed(int16_t flag, int16_t* order, char* sep1, char* sep2);
char* locale_time_picture(int16_t flag, char* buffer, int32_t size);
void locale_time_format(int16_t flag, int16_t* clock12, int16_t* mark_before, char* am, char* pm, char* sep1,
                        char* sep2);
void locale_time_format_lower(int16_t flag, int16_t* clock12, int16_t* mark_before, char* am, char* pm, char* sep1,
                              char* sep2);
char locale_decimal_char();
char locale_thousands_char();
int16_t locale_grouping();

// which 0 short, 1 long date picture; 0 for other values or when it does
// not fit.
int16_t locale_date_picture(char* buffer, int32_t size, int16_t which);
// One item when it fits (answers its length with the NUL), else 0.
int32_t locale_get_info(uint32_t lcid, int32_t type, char* buffer, int32_t size);
uint32_t locale_lcid();
// One item of the user's locale; 1008 when it does not fit (buffer empty).
int16_t locale_info(char* buffer, int32_t type, int32_t size);
int16_t locale_country_abbrev(char* buffer, int32_t size);
int16_t locale_country_iso(char* buffer, int32_t size);
int16_t locale_iso_name(char* buffer, int32_t size);

// Number rewriting between the plain form ('.' decimal, no grouping) and
// the locale form of the settings.
char* number_localise(char* text, int32_t size);
char* number_delocalise(char* text);
char* number_decimal_to_locale(char* text);
char* number_decimal_from_locale(char* text);
char* number_group_digits(char* text, int32_t size, char separator, int32_t group);
