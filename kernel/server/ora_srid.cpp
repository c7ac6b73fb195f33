// Oracle SRIDs and tolerances of coordinate systems (see ora_srid.h).
#include "kernel/server/ora_srid.h"

#include <cmath>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/unit.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/intrect.h"

int16_t coordsys_to_srid(const CoordXform*, int32_t* srid) {
  if (srid != nullptr) *srid = 0;
  return 0;
}

int16_t coordsys_tolerance(const CoordXform* xform, int32_t units, int16_t use_units, double* tol_x, double* tol_y) {
  const IntPoint p[3] = {{0, 0}, {1, 0}, {0, 1}};
  DPoint q[3];
  xform_int_to_xy(p, q, xform, 3);
  double x = 0.1 * std::hypot(q[1].x - q[0].x, q[1].y - q[0].y);
  double y = 0.1 * std::hypot(q[2].x - q[0].x, q[2].y - q[0].y);
  const int32_t own = xform_units(xform);
  const int32_t to = use_units ? units : own;
  if (to != own) {
    unit_convert(&x, to, x, own);
    unit_convert(&y, to, y, own);
  }
  if (tol_x != nullptr) *tol_x = x;
  if (tol_y != nullptr) *tol_y = y;
  return 1;
}

int16_t ora_normalise_latlong(CoordXform*) { return 0; }
