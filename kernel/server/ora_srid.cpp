// Oracle SRIDs, tolerances and lat/long normalisation (see ora_srid.h).
#include "kernel/server/ora_srid.h"

#include <cstring>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/objgeom_dist.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/intrect.h"

const SridRow g_srid_table[kSridRowCount + 1] = {
#include "kernel/server/ora_srid_table.inc"
    {-1, ""},
};

namespace {

constexpr int32_t kTextSize = 256;

// The system's clause without bounds, at most 254 characters; false when the
// writer gives nothing.
bool write_text(const CoordXform* xform, char (&text)[kTextSize]) {
  text[0] = '\0';
  if (xform == nullptr || !coordsys_to_text(xform, text, kTextSize - 2, 0)) return false;
  return text[0] != '\0';
}

}  // namespace

int16_t coordsys_to_srid(const CoordXform* xform, int32_t* srid) {
  if (srid != nullptr) *srid = 0;
  char text[kTextSize];
  if (!write_text(xform, text)) return 0;
  for (const SridRow* row = g_srid_table; row->srid > 0; ++row) {
    if (std::strcmp(row->text, text) == 0) {
      if (srid != nullptr) *srid = row->srid;
      return 1;
    }
  }
  return 0;
}

int16_t ora_srid_matches_coordsys(const CoordXform* xform, int32_t srid) {
  char text[kTextSize];
  if (!write_text(xform, text)) return 0;
  for (const SridRow* row = g_srid_table; row->srid > 0; ++row) {
    if (row->srid != srid) continue;
    if (std::strcmp(row->text, text) == 0) return 1;
    err_push(4, kErrSridMismatch, nullptr, nullptr);
    return 0;
  }
  return 0;
}

int16_t coordsys_tolerance(const CoordXform* xform, int32_t units, int16_t use_units, double* tol_x, double* tol_y) {
  const int16_t own = xform_units(xform);
  const int16_t chosen = use_units ? static_cast<int16_t>(units) : own;
  const IntPoint p[3] = {{0, 0}, {1, 0}, {0, 1}};
  DPoint q[3];
  for (int i = 0; i < 3; ++i) xform_int_to_xy(&p[i], &q[i], xform, 1);
  const double x = 0.1 * objops_distance(&q[0], &q[1], xform, chosen, own, 1, nullptr, 1);
  const double y = 0.1 * objops_distance(&q[0], &q[2], xform, chosen, own, 1, nullptr, 1);
  if (tol_x != nullptr) *tol_x = x;
  if (tol_y != nullptr) *tol_y = y;
  return 1;
}

int16_t ora_normalise_latlong(CoordXform* xform) {
  if (xform == nullptr || xform->type != PROJ_LATLONG) return 0;
  DatumDef& d = xform->def.datum;
  if (d.ellipsoid != 29 || d.dx != 0.0 || d.dy != 0.0 || d.dz != 0.0) return 0;
  d.ellipsoid = 28;
  return 1;
}
