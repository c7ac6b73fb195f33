// Functions on a coordinate-system definition alone: clearing, the default
// lat/long definition, parameter counts, latitude holds and comparisons.
#include "kernel/coordsys/coordsys.h"

#include <algorithm>
#include <cstring>

#include "kernel/coordsys/datum.h"

void coordsys_clear(CoordSysDef* def) { std::memset(def, 0, sizeof *def); }

void coordsys_default_latlong(CoordSysDef* def) {
  coordsys_clear(def);
  datum_get(0, &def->datum);
  def->params[0] = 0;
  def->int_orientation = 2;
}

int16_t coordsys_type_valid(int32_t type) { return type >= 0 && type <= 32 ? 1 : 0; }

int16_t coordsys_param_count(int32_t type) {
  switch (type) {
    case 2: case 26:
      return 2;
    case 3: case 6: case 7: case 9: case 19: case 32:
      return 6;
    case 4: case 5: case 28: case 29:
      return 3;
    case 8: case 20: case 21: case 22: case 23: case 24: case 31:
      return 5;
    case 10: case 11: case 12: case 13: case 14: case 15: case 16: case 17:
      return 1;
    case 18: case 25: case 27: case 30:
      return 4;
    default:
      return 0;
  }
}

namespace {
bool holds_lat85(int32_t type) {
  return type == 3 || type == 10 || type == 19 || type == 20 || type == 26 || type == 31;
}
}  // namespace

void coordsys_clamp_lat85(DPoint* point, int32_t type) {
  if (holds_lat85(type)) point->y = std::clamp(point->y, -85.0, 85.0);
}

void coordsys_clamp_rect_lat85(DRect* rect, int32_t type) {
  if (!holds_lat85(type)) return;
  rect->y1 = std::clamp(rect->y1, -85.0, 85.0);
  rect->y2 = std::clamp(rect->y2, -85.0, 85.0);
}

int16_t coordsys_coord_orientation(int32_t type, const CoordSysDef* def) {
  return type == 0 ? def->ne.ne_coord_orientation : 1;
}

namespace {

template <class T>
bool same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Field by field, byte for byte; padding does not count.
bool def_fields_equal(int32_t type, const CoordSysDef& a, const CoordSysDef& b) {
  if (type == 0) {
    if (!same(a.ne.ne_fixed_aspect, b.ne.ne_fixed_aspect) || !same(a.ne.ne_int_orientation, b.ne.ne_int_orientation) ||
        !same(a.ne.ne_units, b.ne.ne_units) || !same(a.ne.ne_coord_orientation, b.ne.ne_coord_orientation))
      return false;
  } else if (a.datum.ellipsoid != b.datum.ellipsoid) {
    return false;
  }
  const DatumDef& da = a.datum;
  const DatumDef& db = b.datum;
  return same(da.dx, db.dx) && same(da.dy, db.dy) && same(da.dz, db.dz) && same(da.rx, db.rx) &&
         same(da.ry, db.ry) && same(da.rz, db.rz) && same(da.scale_ppm, db.scale_ppm) &&
         same(da.prime_meridian, db.prime_meridian) && same(da.number, db.number) && same(a.units, b.units) &&
         same(a.int_orientation, b.int_orientation) && same(a.params, b.params) &&
         same(a.affine_inverse, b.affine_inverse) && same(a.affine, b.affine) && same(a.flags, b.flags) &&
         same(a.affine_units, b.affine_units) && same(a.support_mz, b.support_mz) && same(a.mz_code1, b.mz_code1) &&
         same(a.mz_code2, b.mz_code2);
}

}  // namespace

int16_t coordsys_def_compare(int32_t type1, const CoordSysDef* def1, int32_t type2, const CoordSysDef* def2,
                             int16_t ignore_datum, int16_t ignore_datum_number, int16_t ignore_mz) {
  if (type1 != type2) return 0;
  CoordSysDef a, b;
  std::memcpy(&a, def1, sizeof a);
  std::memcpy(&b, def2, sizeof b);
  if (type1 == 0) {
    a.ne.ne_fixed_aspect = b.ne.ne_fixed_aspect;
    a.ne.ne_int_orientation = b.ne.ne_int_orientation;
  } else {
    if (type1 == 1) {
      a.params[0] = b.params[0];
      a.int_orientation = b.int_orientation;
    }
    if (ignore_datum)
      a.datum = b.datum;
    else if (ignore_datum_number)
      a.datum.number = b.datum.number;
  }
  if (ignore_mz) {
    a.support_mz = b.support_mz;
    a.mz_code1 = b.mz_code1;
    a.mz_code2 = b.mz_code2;
  }
  return def_fields_equal(type1, a, b) ? 1 : 0;
}

int16_t coordsys_check_distance_mode(int16_t* mode, int32_t type, int16_t* out_not_nonearth,
                                     int16_t* out_not_latlong, int16_t fix) {
  if (out_not_nonearth) *out_not_nonearth = type != 0 ? 1 : 0;
  if (out_not_latlong) *out_not_latlong = type != 1 ? 1 : 0;
  const bool refused = (*mode == 0 && type == 0) || (*mode == 1 && type == 1);
  if (!refused) return 1;
  if (fix) *mode = *mode == 0 ? 1 : 0;
  return 0;
}
