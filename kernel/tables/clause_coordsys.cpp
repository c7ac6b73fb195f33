// The CoordSys clause and the Units clause of the statement language.
#include "kernel/tables/clause_coordsys.h"

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/runtime/err.h"

int16_t clause_parse_coordsys(int16_t*, CoordSysDef*, DRect*) {
  err_push(4, kErrCsType, nullptr, nullptr);
  return 0;
}

int16_t clause_read_units(int16_t, int16_t*, int16_t) {
  err_push(4, kErrCsUnitName, nullptr, nullptr);
  return 0;
}
