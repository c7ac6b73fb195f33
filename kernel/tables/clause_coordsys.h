// The CoordSys clause and the Units clause of the statement language.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

// Keywords of the two clauses.
constexpr int16_t kKwEarth = 1554;
constexpr int16_t kKwNonEarth = 1555;
constexpr int16_t kKwBounds = 1556;
constexpr int16_t kKwProjection = 1557;
constexpr int16_t kKwCoordSys = 1558;
constexpr int16_t kKwAffine = 1909;
constexpr int16_t kKwUnits = 1136;
constexpr int16_t kKwSupportMZ = 2154;
constexpr int16_t kKwComma = 1027;
constexpr int16_t kKwOpenParen = 1030;
constexpr int16_t kKwCloseParen = 1031;

constexpr int16_t kErrUnitsNotDistance = 645;
constexpr int16_t kErrUnitsNotLinear = 646;
constexpr int16_t kErrUnitsNotArea = 647;
constexpr int16_t kErrUnitsNotSpecial = 660;

// Reads the clause after the word CoordSys: Earth or NonEarth with their
// parts. Another token: answers 1 and leaves the outputs untouched. In the
// lexer's check-only mode nothing is built.
int16_t clause_parse_coordsys(int16_t* type, CoordSysDef* def, DRect* bounds);
// Units and a unit name of kind 0 (paper) or 1 (distance, both linear), 2
// (area) or 3 (special codes 1000..1002). When optional is set and Units is
// absent, the current unit of the kind is taken.
int16_t clause_read_units(int16_t kind, int16_t* unit, int16_t optional);
