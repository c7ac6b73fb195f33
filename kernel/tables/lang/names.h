// Name rules of the statement language and the tables: what a valid name
// is, repairing invalid column names, making them unique within a table,
// refusing reserved field names, and the widths a column is shown with.
#pragma once
#include <cstdint>

constexpr int16_t kErrNameInvalid = 348;
constexpr int16_t kErrNameReserved = 675;
constexpr int kNameMaxChars = 31;  // a name buffer holds 32 bytes

// 1 for a letter or digit, "#", "_" or "~", or with last set one of the
// type-suffix characters "$@%!&".
int16_t ident_char_ok(int32_t ch, int16_t last);
int16_t ident_is_valid(const char* text);
// In place (a buffer of at least 32 bytes): characters that are not allowed
// become "_"; a name that begins with a digit, "#" or a suffix character is
// put after "_", cut first to 30 characters.
void column_name_sanitize(char* name);
// 1, or 0 after pushing 348 (invalid) or 675 (reserved) with the name.
int16_t field_name_check(const char* name);
// Repairs the name (a 32-byte buffer) when field_name_check refuses it,
// makes it unique in the name list ("%s_%u" from 2 on) and adds it there.
int16_t column_name_make_unique(char* name, char** list);
// Display width of a column made from a field of the type and width, and
// the width it is shown with beside a name of that length.
int32_t column_display_width(int32_t type, int32_t width, int32_t unchanged);
int32_t column_shown_width(int32_t display_width, int32_t name_length);
