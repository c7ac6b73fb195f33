// Double-byte-aware text routines of the kernel. While the current character
// set is single-byte (g_kshared.charset_multibyte == 0) they behave like the
// C library routine of the same role; otherwise they walk the text by
// characters of the ANSI code page. Case and comparison always follow the
// ANSI code page.
#pragma once
#include <cstddef>
#include <cstdint>

const char* mb_char_next(const char* position);
const char* mb_char_prev(const char* start, const char* position);
int16_t mb_is_lead_byte(const char* position);
// The next character under the current character set: two bytes for a lead
// byte (followed by a non-NUL) while the set is multibyte, else one.
const char* mb_char_step(const char* position);
const char* mb_last_char(const char* text);
int32_t mb_char_count(const char* text);
// 1 when the character at position (one or two bytes) is a member of the set;
// a double-byte character matches only a member with both bytes equal.
int16_t mb_char_in_set(const char* position, const char* set);

// ch above 255 names a double-byte character (lead byte in bits 8-15).
const char* mb_strchr(const char* text, int32_t ch);
const char* mb_strrchr(const char* text, int32_t ch);
const char* mb_strpbrk(const char* text, const char* set);
size_t mb_strcspn(const char* text, const char* set);
size_t mb_strspn(const char* text, const char* set);
const char* mb_strstr(const char* text, const char* part);
char* mb_strrev(char* text);
char* mb_strtok(char* text, const char* set);
// Offset of the last character in the set, -1 when none.
int32_t mb_strrpbrk(const char* text, const char* set);
const char* mb_strchr_sb(const char* text, int32_t ch);
const char* mb_strpbrk_sb(const char* text, const char* set);

int32_t mb_char_upper(int32_t ch);
int32_t mb_char_lower(int32_t ch);
char* mb_str_upper(char* text);
char* mb_str_lower(char* text);
int16_t mb_is_upper(int32_t ch);
int16_t mb_is_lower(int32_t ch);
int16_t mb_is_alpha(int32_t ch);
int16_t mb_is_alnum(int32_t ch);
int16_t mb_is_kana(int32_t byte);
int16_t mb_is_print(int32_t byte);

int32_t mb_str_compare(const char* a, const char* b);
int32_t mb_str_compare_nocase(const char* a, const char* b);
int16_t mb_strn_compare_nocase(const char* a, const char* b, int32_t n);
int16_t mb_str_equal(const char* a, const char* b);
int16_t mb_str_equal_nocase(const char* a, const char* b);
int16_t mb_strn_equal(const char* a, const char* b, int32_t n);
int16_t mb_strn_equal_nocase(const char* a, const char* b, int32_t n);
int16_t mb_str_contains_nocase(const char* text, const char* part);
// 1 when text is exactly n bytes long and equals the first n bytes of other
// without regard to case.
int16_t str_equal_prefix_nocase(const char* text, const char* other, int32_t n);

// Resets the continuation of mb_strtok (for tests).
void mb_reset();
