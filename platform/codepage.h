// Code pages of the platform text layer: the ANSI and OEM page settings,
// character stepping and lead bytes of the ANSI page, and per-page case and
// letter tables built through iconv and the "C.UTF-8" character classes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The pages are settings: 1252 and 437 until set.
int32_t cp_ansi_page();
int32_t cp_oem_page();
void cp_set_ansi_page(int32_t page);
void cp_set_oem_page(int32_t page);
// Both back to 1252 and 437.
void cp_reset();

// Lead bytes of a double-byte page (932: 0x81-0x9F, 0xE0-0xFC; 936, 949,
// 950: 0x81-0xFE); none for other pages.
bool cp_is_lead_byte_of(int32_t page, uint8_t byte);
bool cp_is_lead_byte(uint8_t byte);  // of the ANSI page
bool cp_is_dbcs(int32_t page);

// Character stepping over the ANSI page (a lead byte followed by NUL is one
// character of its own).
const char* cp_char_next(const char* position);
const char* cp_char_prev(const char* start, const char* position);

// Single-byte case and class tests of the ANSI page.
uint8_t cp_char_upper(uint8_t byte);
uint8_t cp_char_lower(uint8_t byte);
bool cp_is_alpha(uint8_t byte);
bool cp_is_alnum(uint8_t byte);
bool cp_is_upper(uint8_t byte);
bool cp_is_lower(uint8_t byte);

// Decodes bytes of a page into code points; a byte sequence the page cannot
// decode becomes U+FFFD. Answers false when the page is unknown to iconv.
bool cp_decode(int32_t page, const char* bytes, size_t n, std::u32string& out);
// Encodes code points into a page; characters the page lacks become '?'.
bool cp_encode(int32_t page, const std::u32string& text, std::string& out);

// String comparison of the ANSI page by decoded code points, with and
// without case; below, equal to or above 0.
int32_t cp_compare(const char* a, const char* b);
int32_t cp_compare_nocase(const char* a, const char* b);
