// The CoordSys clause: its writer, its reader over the statement language
// and the number list that the clause and the projection list file share.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"
#include "kernel/runtime/value.h"

constexpr int kCoordSysMaxNumbers = 29;
constexpr int16_t kErrCsUnitName = 606;
constexpr int16_t kErrCsTooMany = 635;
constexpr int16_t kErrCsTooFew = 636;
constexpr int16_t kErrCsNotLinear = 646;
constexpr int16_t kErrCsType = 888;
constexpr int16_t kErrCsDatum = 889;
constexpr int16_t kErrCsEllipsoid = 890;
constexpr int16_t kErrCsAffine = 1357;

// Writes the clause, cut to size - 1 characters. Answers 1 (0 for size 0);
// *cut, when given, says whether the clause did not fit.
int16_t coordsys_to_text(const CoordXform* xform, char* buffer, int32_t size, int16_t with_bounds,
                         int16_t* cut = nullptr);
// Reads one clause and builds the transform (fitted to its bounds or the
// default bounds when with_bounds is set). The lexer state and the error
// stack are as before the call; the answer alone tells the outcome.
int16_t coordsys_from_text(CoordXform* xform, const char* text, int16_t with_bounds);
// The same, leaving what the reader pushed on the error stack.
int16_t coordsys_parse_text(CoordXform* xform, const char* text, int16_t with_bounds);
// Builds a definition from a number list: values holds 29 entries, those
// past the list of type VALUE_NONE. used: the position after the last value
// read (positions from 1).
int16_t coordsys_from_numbers(const Value* values, int16_t* type, CoordSysDef* def, DRect* bounds,
                              int16_t* has_bounds, int32_t* used);
// Reads the ellipsoid and the 3 (datum 999) or 9 (9999) numbers from
// values[*position - 1] on into a cleared datum; advances *position.
int16_t coordsys_read_custom_datum(const Value* values, int32_t* position, CoordSysDef* def, int32_t datum_number);
int16_t coordsys_read_unit(const Value* value, int16_t* unit);
