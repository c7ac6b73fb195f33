// A datum record with its ellipsoid, by datum number, for datum-shift tests.
#pragma once
#include "kernel/coordsys/datum.h"

struct Side {
  DatumDef datum;
  EllipsoidParams ell;
};

inline Side side(int n) {
  Side s;
  datum_get(n, &s.datum);
  ellipsoid_params(s.datum.ellipsoid, &s.ell);
  return s;
}
