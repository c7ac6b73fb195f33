// Locale providers: the POSIX one over nl_langinfo_l and a fixed one.
#include "platform/locale_provider.h"

#include <langinfo.h>
#include <locale.h>

#include <climits>
#include <string>

namespace {

struct ProviderState {
  std::shared_ptr<LocaleProvider> installed;
};
ProviderState g_provider;

std::string expand_time_shorthands(const std::string& t_fmt, const std::string& t_fmt_ampm) {
  std::string out;
  for (size_t i = 0; i < t_fmt.size(); ++i) {
    if (t_fmt[i] == '%' && i + 1 < t_fmt.size()) {
      char c = t_fmt[i + 1];
      if (c == 'r') {
        out += t_fmt_ampm.empty() ? "%I:%M:%S %p" : t_fmt_ampm;
        ++i;
        continue;
      }
      if (c == 'T') {
        out += "%H:%M:%S";
        ++i;
        continue;
      }
      if (c == 'R') {
        out += "%H:%M";
        ++i;
        continue;
      }
      out += t_fmt[i];
      out += c;
      ++i;
      continue;
    }
    out += t_fmt[i];
  }
  return out;
}

// Maps % fields through the table; unknown fields are dropped, a POSIX
// modifier (E, O, flags, width) before the field letter is skipped.
template <class Map>
std::string map_fields(const std::string& fmt, Map map) {
  std::string out;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != '%') {
      out += fmt[i];
      continue;
    }
    size_t j = i + 1;
    while (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O' || fmt[j] == '-' || fmt[j] == '_' || fmt[j] == '0' ||
                              fmt[j] == '^' || fmt[j] == '#' || (fmt[j] >= '1' && fmt[j] <= '9'))) {
      ++j;
    }
    if (j >= fmt.size()) break;
    if (fmt[j] == '%') {
      out += '%';
    } else {
      out += map(fmt[j]);
    }
    i = j;
  }
  return out;
}

bool is_picture_letter(char c) { return c == 'd' || c == 'M' || c == 'y' || c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't'; }

}  // namespace

std::string posix_time_picture(const std::string& t_fmt, const std::string& t_fmt_ampm) {
  return map_fields(expand_time_shorthands(t_fmt, t_fmt_ampm), [](char c) -> std::string {
    switch (c) {
      case 'H': return "HH";
      case 'k': return "H";
      case 'I': return "hh";
      case 'l': return "h";
      case 'M': return "mm";
      case 'S': return "ss";
      case 'p':
      case 'P': return "tt";
      default: return "";
    }
  });
}

std::string posix_date_picture(const std::string& d_fmt) {
  return map_fields(d_fmt, [](char c) -> std::string {
    switch (c) {
      case 'd': return "dd";
      case 'e': return "d";
      case 'm': return "MM";
      case 'y': return "yy";
      case 'Y': return "yyyy";
      case 'b':
      case 'h': return "MMM";
      case 'B': return "MMMM";
      case 'a': return "ddd";
      case 'A': return "dddd";
      case 'D': return "MM/dd/yy";
      case 'F': return "yyyy-MM-dd";
      default: return "";
    }
  });
}

void date_picture_order(const std::string& picture, int32_t& order, std::string& separator) {
  size_t d = picture.find('d');
  size_t m = picture.find('M');
  size_t y = picture.find('y');
  order = 0;
  if (y != std::string::npos && (d == std::string::npos || y < d) && (m == std::string::npos || y < m)) {
    order = 2;
  } else if (d != std::string::npos && (m == std::string::npos || d < m)) {
    order = 1;
  }
  separator.clear();
  // The separator is the run of other characters after the first field.
  size_t i = 0;
  while (i < picture.size() && !is_picture_letter(picture[i])) ++i;
  while (i < picture.size() && is_picture_letter(picture[i])) ++i;
  while (i < picture.size() && !is_picture_letter(picture[i]) && picture[i] != '\'') separator += picture[i++];
  if (separator.empty()) separator.assign(1, '/');
}

void time_picture_traits(const std::string& picture, bool& twelve_hour, int32_t& mark_before,
                         std::string& separator) {
  size_t hour = picture.find_first_of("hH");
  size_t mark = picture.find('t');
  twelve_hour = picture.find('h') != std::string::npos || mark != std::string::npos;
  mark_before = mark != std::string::npos && hour != std::string::npos && mark < hour ? 1 : 0;
  separator.clear();
  if (hour != std::string::npos) {
    size_t i = hour;
    while (i < picture.size() && (picture[i] == 'h' || picture[i] == 'H')) ++i;
    while (i < picture.size() && !is_picture_letter(picture[i])) separator += picture[i++];
  }
  if (separator.empty()) separator.assign(1, ':');
}

PosixLocaleProvider::PosixLocaleProvider() : PosixLocaleProvider("") {}

PosixLocaleProvider::PosixLocaleProvider(const char* name) {
  locale_t loc = newlocale(LC_ALL_MASK, name ? name : "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  locale_ = loc;
}

PosixLocaleProvider::~PosixLocaleProvider() {
  if (locale_ != nullptr) freelocale(static_cast<locale_t>(locale_));
}

bool PosixLocaleProvider::Info(int32_t type, std::string& out) const {
  using namespace locinfo;
  auto loc = static_cast<locale_t>(locale_);
  if (loc == static_cast<locale_t>(nullptr)) return false;
  auto item = [&](nl_item it) { return std::string(nl_langinfo_l(it, loc)); };
  out.clear();
  if (type >= kDayName1 && type < kDayName1 + 7) {
    out = item(static_cast<nl_item>(DAY_1 + (type - kDayName1 + 1) % 7));
    return true;
  }
  if (type >= kAbbrevDayName1 && type < kAbbrevDayName1 + 7) {
    out = item(static_cast<nl_item>(ABDAY_1 + (type - kAbbrevDayName1 + 1) % 7));
    return true;
  }
  if (type >= kMonthName1 && type < kMonthName1 + 12) {
    out = item(static_cast<nl_item>(MON_1 + (type - kMonthName1)));
    return true;
  }
  if (type >= kAbbrevMonthName1 && type < kAbbrevMonthName1 + 12) {
    out = item(static_cast<nl_item>(ABMON_1 + (type - kAbbrevMonthName1)));
    return true;
  }
  std::string date = posix_date_picture(item(D_FMT));
  std::string time = posix_time_picture(item(T_FMT), item(T_FMT_AMPM));
  switch (type) {
    case kDecimal: out = item(RADIXCHAR); return true;
    case kThousands: out = item(THOUSEP); return true;
    case kGrouping: {
      std::string g = item(GROUPING);
      int first = g.empty() || static_cast<unsigned char>(g[0]) == CHAR_MAX ? 0 : static_cast<unsigned char>(g[0]);
      out = std::to_string(first) + ";0";
      return true;
    }
    case kDateSep: {
      int32_t order = 0;
      date_picture_order(date, order, out);
      return true;
    }
    case kDateOrder: {
      int32_t order = 0;
      std::string sep;
      date_picture_order(date, order, sep);
      out = std::to_string(order);
      return true;
    }
    case kShortDate: out = date; return true;
    case kLongDate: out = "dddd, MMMM dd, yyyy"; return true;
    case kAm: out = item(AM_STR); return true;
    case kPm: out = item(PM_STR); return true;
    case kTimeFormat: out = time; return true;
    case kTimeClock:
    case kTimeMarkPosn:
    case kTimeSep: {
      bool twelve = false;
      int32_t before = 0;
      std::string sep;
      time_picture_traits(time, twelve, before, sep);
      out = type == kTimeClock ? (twelve ? "0" : "1") : type == kTimeMarkPosn ? std::to_string(before) : sep;
      return true;
    }
    case kCountryAbbrev: out = item(_NL_ADDRESS_COUNTRY_AB3); return !out.empty();
    case kIsoCountry: out = item(_NL_ADDRESS_COUNTRY_AB2); return !out.empty();
    case kIsoLanguage: out = item(_NL_ADDRESS_LANG_AB); return !out.empty();
    default: return false;
  }
}

bool FixedLocaleProvider::Info(int32_t type, std::string& out) const {
  auto it = items.find(type);
  if (it == items.end()) return false;
  out = it->second;
  return true;
}

const LocaleProvider& locale_provider() {
  if (!g_provider.installed) g_provider.installed = std::make_shared<PosixLocaleProvider>();
  return *g_provider.installed;
}

void locale_set_provider(std::shared_ptr<LocaleProvider> provider) { g_provider.installed = std::move(provider); }
