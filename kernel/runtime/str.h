// Kernel text routines: bounded copy, trims, quoting, and number parsing
// with strict failure reporting. Parsers never depend on the process locale.
#pragma once
#include <cstddef>
#include <cstdint>

// Copies at most n-1 bytes and zero-fills the rest of the n-byte
// destination; n of 0 does nothing. Answers the destination.
char* str_copy_n(char* dest, const char* src, int64_t n);

// Remove leading white space and non-printable bytes (blanks only for the
// second form) in place; answer the number of bytes removed.
int32_t str_trim_left(char* text);
int32_t str_trim_left_blanks(char* text);
// Cuts the trailing run of white space and non-printable characters; answers
// the new length.
int32_t str_trim_right(char* text);
void str_reverse_bytes(void* buffer, int64_t n);
// Every character of the text in the set becomes ch (both bytes of a
// double-byte character).
char* str_replace_chars(char* text, const char* set, char ch);
char* str_blank_unprintable(char* text);

// Quote the text with the first character of quote (default '"'), doubling
// inner quotes; at most size - 3 bytes of quoted text. Output and text may be
// the same buffer. An empty quote text gives a plain bounded copy.
char* str_quote_text(char* out, const char* text, const char* quote, int32_t size);
char* str_unquote(char* out, const char* text, const char* quote, int32_t size);
inline char* str_quote(char* out, const char* text, const char* quote, int32_t size) {
  return str_quote_text(out, text, quote, size);
}

// Parsers: answer a pointer just past the characters used, or null with the
// output 0 when the text is null, holds no number, or the value is out of
// range. Leading white space and one sign are taken; no hex, inf or nan.
// The _ex forms first rewrite the text in place from the locale's number form.
const char* str_to_short(const char* text, int16_t* out);
const char* str_to_int(const char* text, int32_t* out);
const char* str_to_long(const char* text, int32_t* out);
const char* str_to_int64(const char* text, int64_t* out);
const char* str_to_uint(const char* text, uint32_t* out);
const char* str_to_uint64(const char* text, uint64_t* out);
const char* str_to_double(const char* text, double* out);
const char* str_to_hex(const char* text, uint32_t* out);
const char* str_to_short_ex(char* text, int16_t* out, int16_t locale);
const char* str_to_int_ex(char* text, int32_t* out, int16_t locale);
const char* str_to_long_ex(char* text, int32_t* out, int16_t locale);
const char* str_to_int64_ex(char* text, int64_t* out, int16_t locale);
const char* str_to_uint_ex(char* text, uint32_t* out, int16_t locale);
const char* str_to_uint64_ex(char* text, uint64_t* out, int16_t locale);
const char* str_to_double_ex(char* text, double* out, int16_t locale);
