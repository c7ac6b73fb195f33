// Code page settings, stepping, and the per-page case and letter tables.
#include "platform/codepage.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr char32_t kNoChar = 0xFFFFFFFF;

struct PageTables {
  char32_t decode[256];  // code point of each single byte, kNoChar when none
  uint8_t upper[256];
  uint8_t lower[256];
  bool alpha[256];
  bool alnum[256];
  bool is_upper[256];
  bool is_lower[256];
};

struct CodepageState {
  int32_t ansi = 1252;
  int32_t oem = 437;
  std::map<int32_t, std::unique_ptr<PageTables>> tables;
};

CodepageState g_cp;

locale_t utf8_locale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}

std::string iconv_name(int32_t page) { return "CP" + std::to_string(page); }

// One iconv conversion of the whole input; undecodable bytes become U+FFFD
// (decode) and unencodable characters '?' (encode).
bool run_iconv(const char* to, const char* from, const char* in, size_t n, std::string& out, bool decoding) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char buf[512];
  char* src = const_cast<char*>(in);
  size_t left = n;
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // Skip the offending unit and put a replacement in its place.
      size_t unit = decoding ? 1 : 4;
      if (unit > left) unit = left;
      src += unit;
      left -= unit;
      if (decoding) {
        const char32_t bad = 0xFFFD;
        out.append(reinterpret_cast<const char*>(&bad), 4);
      } else {
        out.push_back('?');
      }
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buf;
  size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf, static_cast<size_t>(dst - buf));
  iconv_close(cd);
  return true;
}

std::unique_ptr<PageTables> build_tables(int32_t page) {
  auto t = std::make_unique<PageTables>();
  locale_t loc = utf8_locale();
  std::string name = iconv_name(page);
  iconv_t cd = iconv_open("UTF-32LE", name.c_str());
  bool known = cd != reinterpret_cast<iconv_t>(-1);
  for (int b = 0; b < 256; ++b) {
    t->decode[b] = b < 0x80 ? static_cast<char32_t>(b) : kNoChar;
    if (!known || b == 0 || cp_is_lead_byte_of(page, static_cast<uint8_t>(b))) continue;
    char in = static_cast<char>(b);
    char32_t cp = 0;
    char* src = &in;
    size_t left = 1;
    char* dst = reinterpret_cast<char*>(&cp);
    size_t room = 4;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &src, &left, &dst, &room) != static_cast<size_t>(-1) && room == 0) t->decode[b] = cp;
  }
  if (known) iconv_close(cd);
  std::map<char32_t, uint8_t> encode;
  for (int b = 255; b >= 0; --b) {
    if (t->decode[b] != kNoChar) encode[t->decode[b]] = static_cast<uint8_t>(b);
  }
  for (int b = 0; b < 256; ++b) {
    char32_t cp = t->decode[b];
    t->upper[b] = t->lower[b] = static_cast<uint8_t>(b);
    t->alpha[b] = t->alnum[b] = t->is_upper[b] = t->is_lower[b] = false;
    if (cp == kNoChar || b == 0) continue;
    auto wc = static_cast<wint_t>(cp);
    if (loc != static_cast<locale_t>(nullptr)) {
      t->alpha[b] = iswalpha_l(wc, loc) != 0;
      t->alnum[b] = iswalnum_l(wc, loc) != 0;
      t->is_upper[b] = iswupper_l(wc, loc) != 0;
      t->is_lower[b] = iswlower_l(wc, loc) != 0;
      auto up = encode.find(static_cast<char32_t>(towupper_l(wc, loc)));
      auto low = encode.find(static_cast<char32_t>(towlower_l(wc, loc)));
      if (up != encode.end()) t->upper[b] = up->second;
      if (low != encode.end()) t->lower[b] = low->second;
    } else if (b < 0x80) {
      bool up = b >= 'A' && b <= 'Z';
      bool low = b >= 'a' && b <= 'z';
      t->alpha[b] = up || low;
      t->alnum[b] = up || low || (b >= '0' && b <= '9');
      t->is_upper[b] = up;
      t->is_lower[b] = low;
      t->upper[b] = static_cast<uint8_t>(low ? b - 32 : b);
      t->lower[b] = static_cast<uint8_t>(up ? b + 32 : b);
    }
  }
  return t;
}

const PageTables& tables_of(int32_t page) {
  auto& slot = g_cp.tables[page];
  if (!slot) slot = build_tables(page);
  return *slot;
}

const PageTables& ansi_tables() { return tables_of(g_cp.ansi); }

void decode_ansi(const char* text, std::u32string& out) {
  out.clear();
  if (text == nullptr) return;
  size_t n = std::strlen(text);
  if (!cp_is_dbcs(g_cp.ansi)) {
    const PageTables& t = ansi_tables();
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      char32_t cp = t.decode[static_cast<uint8_t>(text[i])];
      out.push_back(cp == kNoChar ? 0xFFFD : cp);
    }
    return;
  }
  if (!cp_decode(g_cp.ansi, text, n, out)) {
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(text[i]));
  }
}

int32_t compare_points(const std::u32string& a, const std::u32string& b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int32_t cp_ansi_page() { return g_cp.ansi; }
int32_t cp_oem_page() { return g_cp.oem; }
void cp_set_ansi_page(int32_t page) { g_cp.ansi = page; }
void cp_set_oem_page(int32_t page) { g_cp.oem = page; }
void cp_reset() {
  g_cp.ansi = 1252;
  g_cp.oem = 437;
}

bool cp_is_dbcs(int32_t page) { return page == 932 || page == 936 || page == 949 || page == 950; }

bool cp_is_lead_byte_of(int32_t page, uint8_t byte) {
  if (page == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  if (page == 936 || page == 949 || page == 950) return byte >= 0x81 && byte <= 0xFE;
  return false;
}

bool cp_is_lead_byte(uint8_t byte) { return cp_is_lead_byte_of(g_cp.ansi, byte); }

const char* cp_char_next(const char* position) {
  if (position == nullptr || *position == '\0') return position;
  if (cp_is_lead_byte(static_cast<uint8_t>(*position)) && position[1] != '\0') return position + 2;
  return position + 1;
}

const char* cp_char_prev(const char* start, const char* position) {
  if (start == nullptr || position == nullptr || position <= start) return start;
  const char* p = start;
  while (true) {
    const char* next = cp_char_next(p);
    if (next >= position || next == p) return p;
    p = next;
  }
}

uint8_t cp_char_upper(uint8_t byte) { return ansi_tables().upper[byte]; }
uint8_t cp_char_lower(uint8_t byte) { return ansi_tables().lower[byte]; }
bool cp_is_alpha(uint8_t byte) { return ansi_tables().alpha[byte]; }
bool cp_is_alnum(uint8_t byte) { return ansi_tables().alnum[byte]; }
bool cp_is_upper(uint8_t byte) { return ansi_tables().is_upper[byte]; }
bool cp_is_lower(uint8_t byte) { return ansi_tables().is_lower[byte]; }

bool cp_decode(int32_t page, const char* bytes, size_t n, std::u32string& out) {
  std::string raw;
  out.clear();
  if (!run_iconv("UTF-32LE", iconv_name(page).c_str(), bytes, n, raw, true)) return false;
  out.resize(raw.size() / 4);
  std::memcpy(out.data(), raw.data(), out.size() * 4);
  return true;
}

bool cp_encode(int32_t page, const std::u32string& text, std::string& out) {
  return run_iconv(iconv_name(page).c_str(), "UTF-32LE", reinterpret_cast<const char*>(text.data()),
                   text.size() * 4, out, false);
}

int32_t cp_compare(const char* a, const char* b) {
  std::u32string x, y;
  decode_ansi(a, x);
  decode_ansi(b, y);
  return compare_points(x, y);
}

int32_t cp_compare_nocase(const char* a, const char* b) {
  std::u32string x, y;
  decode_ansi(a, x);
  decode_ansi(b, y);
  locale_t loc = utf8_locale();
  for (auto* s : {&x, &y}) {
    for (char32_t& c : *s) {
      if (loc != static_cast<locale_t>(nullptr)) {
        c = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
      } else if (c >= 'A' && c <= 'Z') {
        c += 32;
      }
    }
  }
  return compare_points(x, y);
}
