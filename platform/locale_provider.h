// Locale information for the kernel's locale settings. A LocaleProvider
// answers numbered information types (the numbering the locale settings
// use); the installed provider is the POSIX one unless a test or the
// application installs another.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace locinfo {
// Information types.
constexpr int32_t kCountryAbbrev = 7;     // three-letter country name
constexpr int32_t kDecimal = 14;          // decimal separator
constexpr int32_t kThousands = 15;        // thousands separator
constexpr int32_t kGrouping = 16;         // "3;0": leading number is the group size
constexpr int32_t kDateSep = 29;
constexpr int32_t kTimeSep = 30;
constexpr int32_t kShortDate = 31;        // date pictures: d dd M MM yy yyyy ddd dddd MMM MMMM
constexpr int32_t kLongDate = 32;
constexpr int32_t kDateOrder = 33;        // "0" M D Y, "1" D M Y, "2" Y M D
constexpr int32_t kTimeClock = 35;        // "0" 12-hour, "1" 24-hour
constexpr int32_t kAm = 40;
constexpr int32_t kPm = 41;
constexpr int32_t kDayName1 = 42;         // 42..48: Monday..Sunday
constexpr int32_t kAbbrevDayName1 = 49;   // 49..55
constexpr int32_t kMonthName1 = 56;       // 56..67
constexpr int32_t kAbbrevMonthName1 = 68; // 68..79
constexpr int32_t kIsoLanguage = 89;
constexpr int32_t kIsoCountry = 90;
constexpr int32_t kTimeFormat = 4099;     // picture: h hh H HH m mm s ss t tt
constexpr int32_t kTimeMarkPosn = 4101;   // "0" after the time, "1" before
}  // namespace locinfo

class LocaleProvider {
 public:
  virtual ~LocaleProvider() = default;
  // The item's text; false when the provider has no such item.
  virtual bool Info(int32_t type, std::string& out) const = 0;
  // The locale identifier the settings report.
  virtual uint32_t Lcid() const { return 0x0400; }
};

// Reads the user's environment locale (else "C") through nl_langinfo_l.
class PosixLocaleProvider : public LocaleProvider {
 public:
  PosixLocaleProvider();
  explicit PosixLocaleProvider(const char* name);  // a named locale, else "C"
  ~PosixLocaleProvider() override;
  PosixLocaleProvider(const PosixLocaleProvider&) = delete;
  PosixLocaleProvider& operator=(const PosixLocaleProvider&) = delete;
  bool Info(int32_t type, std::string& out) const override;

 private:
  void* locale_;  // locale_t
};

// A provider answering fixed items, for tests and headless runs.
class FixedLocaleProvider : public LocaleProvider {
 public:
  std::map<int32_t, std::string> items;
  bool Info(int32_t type, std::string& out) const override;
};

// Translations of POSIX formats into pictures, shared by the POSIX provider
// and its tests. T_FMT: %r, %T and %R are expanded first (%r from
// T_FMT_AMPM, "%I:%M:%S %p" when that is empty), then %H->HH, %k->H,
// %I->hh, %l->h, %M->mm, %S->ss, %p/%P->tt; other fields are dropped.
std::string posix_time_picture(const std::string& t_fmt, const std::string& t_fmt_ampm);
// D_FMT: %d->dd, %e->d, %m->MM, %y->yy, %Y->yyyy, %b/%h->MMM, %B->MMMM,
// %a->ddd, %A->dddd, %D->MM/dd/yy, %F->yyyy-MM-dd; other fields dropped.
std::string posix_date_picture(const std::string& d_fmt);
// Order (0 M D Y, 1 D M Y, 2 Y M D) and separator of a date picture.
void date_picture_order(const std::string& picture, int32_t& order, std::string& separator);
// 12-hour flag, mark position (1 before) and separator of a time picture.
void time_picture_traits(const std::string& picture, bool& twelve_hour, int32_t& mark_before,
                         std::string& separator);

// The installed provider (a PosixLocaleProvider of the environment until
// another is installed). locale_set_provider(nullptr) goes back to it.
const LocaleProvider& locale_provider();
void locale_set_provider(std::shared_ptr<LocaleProvider> provider);
