// The CoordSys clause and the Units clause of the statement language.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

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
