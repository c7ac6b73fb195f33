// Name rules and column widths.
#include "kernel/tables/lang/names.h"

#include <cstdio>
#include <cstring>

#include "kernel/runtime/err.h"
#include "kernel/runtime/list.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"

namespace {

constexpr char kSuffixes[] = "$@%!&";

bool is_suffix(int32_t ch) { return ch > 0 && ch < 128 && std::strchr(kSuffixes, ch) != nullptr; }
bool is_digit(int32_t ch) { return ch >= '0' && ch <= '9'; }

bool reserved(const char* name) {
  if (mb_str_equal_nocase(name, "Object") || mb_str_equal_nocase(name, "Obj") || mb_str_equal_nocase(name, "RowID"))
    return true;
  if (!mb_strn_equal_nocase(name, "COL", 3)) return false;
  // "COL" and a decimal integer as an integer conversion reads it: leading
  // blanks and a sign, at least one digit, nothing after.
  const char* p = name + 3;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '+' || *p == '-') ++p;
  if (!is_digit(static_cast<unsigned char>(*p))) return false;
  while (is_digit(static_cast<unsigned char>(*p))) ++p;
  return *p == '\0';
}

}  // namespace

int16_t ident_char_ok(int32_t ch, int16_t last) {
  if (ch <= 0 || ch > 255) return 0;
  if (ch < 128 && (mb_is_alnum(ch) || ch == '#' || ch == '_' || ch == '~')) return 1;
  if (ch >= 128 && mb_is_alnum(ch)) return 1;
  return last && is_suffix(ch) ? 1 : 0;
}

int16_t ident_is_valid(const char* text) {
  if (text == nullptr || text[0] == '\0') return 0;
  const unsigned char first = static_cast<unsigned char>(text[0]);
  if (is_digit(first) || first == '#') return 0;
  for (const char* p = text; *p;) {
    if (mb_is_lead_byte(p) && p[1] != '\0') {
      p += 2;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    const bool last = p[1] == '\0';
    if (!ident_char_ok(c, last ? 1 : 0)) return 0;
    ++p;
  }
  return 1;
}

void column_name_sanitize(char* name) {
  for (char* p = name; *p;) {
    if (mb_is_lead_byte(p) && p[1] != '\0') {
      p += 2;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(*p);
    if (!ident_char_ok(c, p[1] == '\0' ? 1 : 0)) *p = '_';
    ++p;
  }
  const unsigned char first = static_cast<unsigned char>(name[0]);
  if (is_digit(first) || first == '#' || is_suffix(first)) {
    size_t n = std::strlen(name);
    if (n > kNameMaxChars - 1) {
      n = kNameMaxChars - 1;
      // Never leave half of a double-byte character.
      const char* last = mb_char_prev(name, name + n);
      if (mb_is_lead_byte(last) && last + 1 == name + n) n = static_cast<size_t>(last - name);
    }
    std::memmove(name + 1, name, n);
    name[0] = '_';
    name[n + 1] = '\0';
  }
}

int16_t field_name_check(const char* name) {
  if (!ident_is_valid(name)) {
    err_push(4, kErrNameInvalid, name, nullptr);
    return 0;
  }
  if (reserved(name)) {
    err_push(4, kErrNameReserved, name, nullptr);
    return 0;
  }
  return 1;
}

int16_t column_name_make_unique(char* name, char** list) {
  if (!field_name_check(name)) {
    err_clear();
    if (ident_is_valid(name)) {
      char repaired[kNameMaxChars + 1];
      repaired[0] = '_';
      str_copy_n(repaired + 1, name, kNameMaxChars);
      std::memcpy(name, repaired, sizeof repaired);
    } else {
      column_name_sanitize(name);
    }
  }
  if (list == nullptr) return 1;
  if (*list != nullptr && namelist_find(*list, name, nullptr, 0)) {
    char base[26];
    str_copy_n(base, name, sizeof base);
    for (uint32_t n = 2;; ++n) {
      char candidate[kNameMaxChars + 8];
      std::snprintf(candidate, sizeof candidate, "%s_%u", base, n);
      if (!namelist_find(*list, candidate, nullptr, 0)) {
        str_copy_n(name, candidate, kNameMaxChars + 1);
        break;
      }
    }
  }
  return namelist_add(list, name, nullptr, 0, 0) != 0 ? 1 : 0;
}

int32_t column_display_width(int32_t type, int32_t width, int32_t unchanged) {
  switch (type) {
    case 1: case 2: case 10: case 21: case 24: return width;
    case 3: case 8: return 11;
    case 4: return 6;
    case 5: return 10;
    case 6: return 1;
    case 9: return 0;
    case 37: return 12;
    case 38: return 22;
    case 39: return 20;
    default: return unchanged;
  }
}

int32_t column_shown_width(int32_t display_width, int32_t name_length) {
  int32_t w = display_width > name_length ? display_width : name_length;
  if (w > 12) w -= (w - 12) / 2;
  return w;
}
