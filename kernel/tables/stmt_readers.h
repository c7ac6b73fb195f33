// Readers of the statements of table definitions: keyword tests at the
// current token, names (read as name-mode expressions), strings and file
// names (expressions evaluated at once), numbers and points.
#pragma once
#include <cstdint>
#include <string>

constexpr int16_t kErrBadName = 689;
constexpr int16_t kErrNotString = 694;
constexpr int16_t kErrEmptyFileName = 905;
constexpr int16_t kErrFileNameLong = 1299;

// Token ids of the punctuation the statements use.
constexpr int16_t kTokComma = 1027;
constexpr int16_t kTokSemicolon = 1029;
constexpr int16_t kTokOpen = 1030;
constexpr int16_t kTokClose = 1031;
constexpr int16_t kTokDot = 1037;
constexpr int16_t kTokEquals = 20;
constexpr int16_t kTokStar = 14;

// Whether the current token is the keyword or punctuation of the id.
bool stmt_at(int16_t id);
// The same, and then reads past it.
bool stmt_accept(int16_t id);
// stmt_accept, or the lexer's 615 and false.
bool stmt_require(int16_t id);

// A valid name (689 otherwise), its first 31 characters.
int16_t stmt_read_name(char* out);
// A name or a table name and a column name joined by a full stop, each part
// valid; the first 63 characters.
int16_t stmt_read_qualified_name(char* out);
// A text value (694 otherwise).
int16_t stmt_read_string(std::string* out);
// A file name: not empty (905), shorter than 260 characters (1299 "260");
// spaces before its extension removed.
int16_t stmt_read_file_name(char* out);
// Numbers: any number value; an integer is a number of integral value in
// the 32-bit range.
int16_t stmt_read_number(double* out);
int16_t stmt_read_int(int32_t* out);
// "(" x "," y ")".
int16_t stmt_read_point(double* x, double* y);
