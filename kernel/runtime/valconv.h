// Value conversions and text forms: reading a value as the type a caller
// wants, converting into a destination value, assigning into texts, the text
// form of every type, parsing texts into values and the plain and locale
// forms of numbers. The plain form ('.' decimal, no grouping) is the one
// stored in files and sent to databases; with the locale flag set, numbers
// are read and written in the locale's form.
#pragma once
#include <cstdint>

#include "kernel/runtime/value.h"

// A double equal to this has the empty text as its text form.
constexpr double kNullNumber = -1.7976931348623157e308;

// ---- readers (1, or 0 after pushing 854 or 471) -------------------------
int16_t value_get_double_ex(const Value* value, double* out, int16_t locale);
int16_t value_get_int_ex(const Value* value, int32_t* out, int16_t locale);
int16_t value_get_int64_ex(const Value* value, int64_t* out, int16_t locale);
int16_t value_get_short_ex(const Value* value, int16_t* out, int16_t locale);
int16_t value_get_double(const Value* value, double* out);
double value_to_double(const Value* value);
int16_t value_get_int(const Value* value, int32_t* out);
int16_t value_get_int64(const Value* value, int64_t* out);
int16_t value_get_short(const Value* value, int16_t* out);
int16_t value_get_date(const Value* value, Date* out);
int16_t value_get_time(const Value* value, Time* out);
int16_t value_get_datetime(const Value* value, DateTime* out);
int16_t value_is_nonzero(const Value* value);
int16_t value_get_logical(const Value* value);

// ---- conversion --------------------------------------------------------
int16_t value_convert(Value* destination, const Value* source, int16_t locale);
int16_t value_convert_plain(Value* destination, const Value* source);
int16_t value_assign(Value* destination, const Value* source, int16_t locale);
int16_t value_assign_plain(Value* destination, const Value* source);
int16_t value_make_converted(Value* destination, const Value* source, int32_t type, int32_t length);

// ---- text forms --------------------------------------------------------
char* value_to_text(const Value* value, char* buffer, int32_t size, int16_t decimals, int16_t locale);
char* value_to_text_plain(const Value* value, char* buffer, int32_t size, int16_t decimals);
char* value_to_text_full(const Value* value, char* buffer, int32_t size, int16_t decimals, int16_t locale);
char* number_format_g(double x, char* buffer, int32_t size, int16_t locale);
char* number_format_g_plain(double x, char* buffer, int32_t size);
char* number_format_g14(double x, char* buffer, int32_t size, int16_t locale);
char* number_format_trim(double x, char* buffer, int32_t size);
char* value_object_type_name(const MapObject* obj, char* buffer, int32_t size);

// ---- parsing -----------------------------------------------------------
// Answers 1 when the text gave a value, 0 when it did not (the value then
// holds 0, the empty date or the null time; nothing is pushed) or a block
// could not be allocated.
int16_t value_from_text(const char* text, int32_t type, int32_t max_length, int16_t decimals, int16_t is_new,
                        Value* value, int16_t locale);
int16_t value_parse(const char* text, int32_t type, int32_t max_length, int16_t decimals, int16_t is_new,
                    Value* value);
int16_t value_guess_type(const char* text);
