// Double-byte-aware searching, case and comparison over the current
// character set and the platform's ANSI code page.
#include "kernel/runtime/mb.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "kernel/runtime/kshared.h"
#include "platform/codepage.h"

namespace {

struct MbState {
  char* tok_next = nullptr;  // continuation of mb_strtok
};
MbState g_mb;

bool multibyte() { return g_kshared.charset_multibyte != 0; }

// Character at p in multibyte mode: its length (1 or 2).
size_t char_len(const char* p) { return static_cast<size_t>(cp_char_next(p) - p); }

bool char_equals(const char* p, size_t len, int32_t ch) {
  if (len == 2) return ch > 0xFF && static_cast<uint8_t>(p[0]) == ((ch >> 8) & 0xFF) && static_cast<uint8_t>(p[1]) == (ch & 0xFF);
  return ch <= 0xFF && static_cast<uint8_t>(p[0]) == static_cast<uint8_t>(ch);
}

}  // namespace

const char* mb_char_next(const char* position) { return cp_char_next(position); }

const char* mb_char_prev(const char* start, const char* position) { return cp_char_prev(start, position); }

int16_t mb_is_lead_byte(const char* position) {
  if (!multibyte() || position == nullptr) return 0;
  return cp_is_lead_byte(static_cast<uint8_t>(*position)) ? 1 : 0;
}

const char* mb_char_step(const char* position) {
  if (position == nullptr || *position == '\0') return position;
  return multibyte() ? cp_char_next(position) : position + 1;
}

const char* mb_last_char(const char* text) {
  if (text == nullptr || *text == '\0') return text;
  if (!multibyte()) return text + std::strlen(text) - 1;
  return cp_char_prev(text, text + std::strlen(text));
}

int32_t mb_char_count(const char* text) {
  if (text == nullptr) return 0;
  if (!multibyte()) return static_cast<int32_t>(std::strlen(text));
  int32_t n = 0;
  for (const char* p = text; *p != '\0'; p = cp_char_next(p)) ++n;
  return n;
}

int16_t mb_char_in_set(const char* position, const char* set) {
  if (position == nullptr || set == nullptr || *position == '\0') return 0;
  if (!multibyte()) return std::strchr(set, *position) != nullptr ? 1 : 0;
  size_t len = char_len(position);
  for (const char* s = set; *s != '\0'; s = cp_char_next(s)) {
    size_t slen = char_len(s);
    if (slen == len && std::memcmp(s, position, len) == 0) return 1;
  }
  return 0;
}

const char* mb_strchr(const char* text, int32_t ch) {
  if (text == nullptr) return nullptr;
  if (!multibyte()) return ch > 0xFF ? nullptr : std::strchr(text, ch);
  const char* p = text;
  for (; *p != '\0'; p = cp_char_next(p)) {
    if (char_equals(p, char_len(p), ch)) return p;
  }
  return ch == 0 ? p : nullptr;
}

const char* mb_strrchr(const char* text, int32_t ch) {
  if (text == nullptr) return nullptr;
  if (!multibyte()) return ch > 0xFF ? nullptr : std::strrchr(text, ch);
  const char* found = nullptr;
  const char* p = text;
  for (; *p != '\0'; p = cp_char_next(p)) {
    if (char_equals(p, char_len(p), ch)) found = p;
  }
  return ch == 0 ? p : found;
}

const char* mb_strpbrk(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return nullptr;
  if (!multibyte()) return std::strpbrk(text, set);
  for (const char* p = text; *p != '\0'; p = cp_char_next(p)) {
    if (mb_char_in_set(p, set)) return p;
  }
  return nullptr;
}

size_t mb_strcspn(const char* text, const char* set) {
  if (text == nullptr) return 0;
  if (set == nullptr) return std::strlen(text);
  if (!multibyte()) return std::strcspn(text, set);
  const char* p = text;
  while (*p != '\0' && !mb_char_in_set(p, set)) p = cp_char_next(p);
  return static_cast<size_t>(p - text);
}

size_t mb_strspn(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return 0;
  if (!multibyte()) return std::strspn(text, set);
  const char* p = text;
  while (*p != '\0' && mb_char_in_set(p, set)) p = cp_char_next(p);
  return static_cast<size_t>(p - text);
}

const char* mb_strstr(const char* text, const char* part) {
  if (text == nullptr || part == nullptr) return nullptr;
  if (!multibyte()) return std::strstr(text, part);
  size_t n = std::strlen(part);
  if (n == 0) return text;
  for (const char* p = text; *p != '\0'; p = cp_char_next(p)) {
    if (std::strncmp(p, part, n) == 0) return p;
  }
  return nullptr;
}

char* mb_strrev(char* text) {
  if (text == nullptr) return text;
  size_t n = std::strlen(text);
  std::reverse(text, text + n);
  if (!multibyte()) return text;
  // Put the bytes of each double-byte character back in order: walk the
  // original order from the end of the reversed text.
  std::string original(text, n);
  std::reverse(original.begin(), original.end());
  size_t out = n;
  for (const char* p = original.c_str(); *p != '\0';) {
    const char* next = cp_char_next(p);
    size_t len = static_cast<size_t>(next - p);
    out -= len;
    std::memcpy(text + out, p, len);
    p = next;
  }
  return text;
}

char* mb_strtok(char* text, const char* set) {
  char* p = text ? text : g_mb.tok_next;
  if (p == nullptr || set == nullptr) return nullptr;
  p += mb_strspn(p, set);
  if (*p == '\0') {
    g_mb.tok_next = nullptr;
    return nullptr;
  }
  char* end = p + mb_strcspn(p, set);
  if (*end == '\0') {
    g_mb.tok_next = nullptr;
  } else {
    size_t len = multibyte() ? char_len(end) : 1;
    std::memset(end, 0, len);
    g_mb.tok_next = end + len;
  }
  return p;
}

int32_t mb_strrpbrk(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return -1;
  int32_t found = -1;
  for (const char* p = text; *p != '\0'; p = multibyte() ? cp_char_next(p) : p + 1) {
    if (mb_char_in_set(p, set)) found = static_cast<int32_t>(p - text);
  }
  return found;
}

const char* mb_strchr_sb(const char* text, int32_t ch) {
  return text == nullptr || ch > 0xFF || ch < 0 ? nullptr : std::strchr(text, ch);
}

const char* mb_strpbrk_sb(const char* text, const char* set) {
  return text == nullptr || set == nullptr ? nullptr : std::strpbrk(text, set);
}

int32_t mb_char_upper(int32_t ch) { return ch < 0 || ch > 0xFF ? ch : cp_char_upper(static_cast<uint8_t>(ch)); }
int32_t mb_char_lower(int32_t ch) { return ch < 0 || ch > 0xFF ? ch : cp_char_lower(static_cast<uint8_t>(ch)); }

namespace {
// Maps every single-byte character of the text through fn; double-byte
// characters stay as they are.
char* map_single_bytes(char* text, uint8_t (*fn)(uint8_t)) {
  if (text == nullptr) return text;
  for (char* p = text; *p != '\0';) {
    char* next = const_cast<char*>(cp_char_next(p));
    if (next == p + 1) *p = static_cast<char>(fn(static_cast<uint8_t>(*p)));
    p = next;
  }
  return text;
}
}  // namespace

char* mb_str_upper(char* text) { return map_single_bytes(text, cp_char_upper); }
char* mb_str_lower(char* text) { return map_single_bytes(text, cp_char_lower); }

int16_t mb_is_upper(int32_t ch) { return ch >= 0 && ch <= 0xFF && cp_is_upper(static_cast<uint8_t>(ch)); }
int16_t mb_is_lower(int32_t ch) { return ch >= 0 && ch <= 0xFF && cp_is_lower(static_cast<uint8_t>(ch)); }

int16_t mb_is_kana(int32_t byte) { return g_kshared.charset_number == 19 && byte >= 0xA1 && byte <= 0xDF; }

int16_t mb_is_alpha(int32_t ch) {
  if (ch < 0 || ch > 0xFF) return 0;
  return cp_is_alpha(static_cast<uint8_t>(ch)) || mb_is_kana(ch);
}

int16_t mb_is_alnum(int32_t ch) {
  if (ch < 0 || ch > 0xFF) return 0;
  return cp_is_alnum(static_cast<uint8_t>(ch)) || mb_is_kana(ch);
}

int16_t mb_is_print(int32_t byte) {
  if (byte < 0 || byte > 0xFF) return 0;
  return byte >= 0x80 || (byte >= 0x20 && byte < 0x7F);
}

int32_t mb_str_compare(const char* a, const char* b) { return cp_compare(a ? a : "", b ? b : ""); }

int32_t mb_str_compare_nocase(const char* a, const char* b) { return cp_compare_nocase(a ? a : "", b ? b : ""); }

int16_t mb_strn_compare_nocase(const char* a, const char* b, int32_t n) {
  if (n <= 0) return 0;
  std::string x(a ? a : "", a ? strnlen(a, static_cast<size_t>(n)) : 0);
  std::string y(b ? b : "", b ? strnlen(b, static_cast<size_t>(n)) : 0);
  mb_str_lower(x.data());
  mb_str_lower(y.data());
  int32_t c = cp_compare(x.c_str(), y.c_str());
  return static_cast<int16_t>(c < 0 ? -1 : (c > 0 ? 1 : 0));
}

int16_t mb_str_equal(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  return std::strcmp(a, b) == 0;
}

int16_t mb_str_equal_nocase(const char* a, const char* b) { return mb_str_compare_nocase(a, b) == 0; }

int16_t mb_strn_equal(const char* a, const char* b, int32_t n) {
  if (n <= 0) return 1;
  if (a == nullptr || b == nullptr) return a == b;
  return std::strncmp(a, b, static_cast<size_t>(n)) == 0;
}

int16_t mb_strn_equal_nocase(const char* a, const char* b, int32_t n) { return mb_strn_compare_nocase(a, b, n) == 0; }

int16_t mb_str_contains_nocase(const char* text, const char* part) {
  if (text == nullptr || part == nullptr) return 0;
  std::string x(text), y(part);
  mb_str_upper(x.data());
  mb_str_upper(y.data());
  return mb_strstr(x.c_str(), y.c_str()) != nullptr;
}

int16_t str_equal_prefix_nocase(const char* text, const char* other, int32_t n) {
  if (text == nullptr || other == nullptr || n < 0) return 0;
  if (std::strlen(text) != static_cast<size_t>(n)) return 0;
  return mb_strn_equal_nocase(text, other, n);
}

void mb_reset() { g_mb = MbState{}; }
