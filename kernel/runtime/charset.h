// Character sets of the kernel: the table of 57 sets, the current and the OEM
// set, name lookup, conversion between sets (through Unicode), translation
// tables of the LMBCS groups, LMBCS input and the line ends of each set.
//
// Every text the kernel holds is in the current set. Conversions work in
// place on NUL-terminated texts; a character the target lacks, or a byte the
// source cannot decode, becomes the target set's replacement character.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kCharsetCount = 57;
constexpr int kCharsetNeutral = 0;
constexpr int kCharsetWindowsLatin1 = 10;
constexpr int kCharsetCodePage437 = 34;  // the system's OEM code page
constexpr int kCharsetLmbcs = 46;
constexpr int kCharsetLmbcs1 = 47;
constexpr int kCharsetLmbcs2 = 48;

struct CharsetInfo {
  const char* name;
  int16_t multibyte;    // 1 for double-byte sets
  int16_t replacement;  // always '_'
  const char* line_end;
  int32_t code_page;    // -1 when none; 1 is the system's OEM code page
};

// The rows 0 to 56.
extern const CharsetInfo g_charset_table[kCharsetCount];

// Process-wide state (see charset_reset).
int16_t charset_current();
int16_t charset_oem();
int16_t charset_ready();
// Makes set n current (the table API's character-set choice). Sets the ready
// flag; does not rebuild the collation tables.
void charset_set_current(int n);

// Chooses the current and the OEM set from the platform's ANSI and OEM code
// pages, sets the ready flag and builds the collation tables of the current
// set. Answers the collation build's result.
int16_t charset_init_system();

const char* charset_name(int n);
int32_t charset_code_page(int n);
const char* charset_alias_name(int n);
int16_t charset_from_name(const char* name);
// The line-end text of set n (CR LF outside 0-56).
const char* charset_line_end(int n);

// Converts a NUL-terminated text in place. Answers 1 when a conversion was
// made, else 0 (nothing done, or the result was cut to fit).
int16_t charset_convert(char* text, int from, int to);
// The conversion through Unicode between two sets with code pages.
int16_t charset_convert_win32(int from, int to, char* text);

int16_t charset_is_lead_byte(uint8_t byte, int set);
void charset_to_ascii(char* text, int set, int replacement_set);
void charset_strip_high(char* text, int ignored, int replacement_set);

// The 256-byte translation table between two sets; answers 1, or -1 when
// there is none. The source needs a code table (sets 47 and 48); the target a
// code table or a code page.
int16_t charset_xlat_get(int from, int to, uint8_t* out);
int16_t charset_build_xlat(int from, int to, uint8_t* out);
// The 256 code points of a set with a code table (47, 48), else null.
const uint16_t* charset_code_table(int set);

// Converts LMBCS text of the given group (1 or 2) in place into the current
// set. Answers 1, or 0 when no translation table could be had.
int16_t charset_from_lmbcs(int group, char* text);

// New kernel blocks with the line ends changed; null when the text has no
// line end to change (or on allocation failure). Free with mem_free.
char* charset_newlines_native(const char* text);
char* charset_newlines_lf(const char* text);

// Between the Shift-JIS sets (19, 32) and the packed EUC set (52), in place.
int16_t charset_convert_japanese(char* text, int from, int to);
int16_t charset_sjis_to_euc(char* text, int target_set);
int16_t charset_euc_to_sjis(char* text, int target_set);

void charset_free_buffers();
// Back to the start state (current and OEM set 0, not ready, caches empty).
void charset_reset();
