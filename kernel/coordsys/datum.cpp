// Ellipsoid and datum tables, datum lookups and datum shifts.
//
// Every shift works per point on longitude/latitude in degrees and accepts
// in == out. Points at or beyond the poles or +-360 degrees pass unshifted
// (held within range); latitudes are taken at most 89.9 degrees from the
// equator so that no formula divides by cos 90.
#include "kernel/coordsys/datum.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct EllipsoidRow {
  double a;
  double inv_f;
};
struct DatumRow {
  uint8_t ellipsoid;
  double dx, dy, dz;
};

#include "kernel/coordsys/datum_tables.inc"

constexpr double kDegToRad = 3.141592653589793 / 180.0;
constexpr double kRadToDeg = 180.0 / 3.141592653589793;
constexpr double kArcSecToRad = kDegToRad / 3600.0;

struct DatumState {
  int16_t shift_method = 1;
  DatumGrid grids[3] = {};
};
DatumState g_datum;

bool same_bytes(const double& a, const double& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The datum-independent differences between source and target.
struct ShiftParams {
  double dx, dy, dz;     // source - target shifts, metres
  double wx, wy, wz;     // source - target rotations, radians
  double s;              // source - target scale, unitless
  double da, df;         // target - source ellipsoid
  double a, e2, f;       // source ellipsoid
  double a2, e22;        // target ellipsoid
  double src_pm, dst_pm; // prime meridians, degrees
  bool rotated() const { return wx != 0 || wy != 0 || wz != 0 || s != 0; }
};

ShiftParams shift_params(const DatumDef* src, const EllipsoidParams* se, const DatumDef* dst,
                         const EllipsoidParams* de) {
  ShiftParams p{};
  p.dx = src->dx - dst->dx;
  p.dy = src->dy - dst->dy;
  p.dz = src->dz - dst->dz;
  p.wx = (src->rx - dst->rx) * kArcSecToRad;
  p.wy = (src->ry - dst->ry) * kArcSecToRad;
  p.wz = (src->rz - dst->rz) * kArcSecToRad;
  p.s = (src->scale_ppm - dst->scale_ppm) * 0.000001;
  p.da = de->a - se->a;
  p.df = de->f - se->f;
  p.a = se->a;
  p.e2 = se->e2;
  p.f = se->f;
  p.a2 = de->a;
  p.e22 = de->e2;
  p.src_pm = src->prime_meridian;
  p.dst_pm = dst->prime_meridian;
  return p;
}

DPoint held(double lon, double lat) { return DPoint{std::clamp(lon, -360.0, 360.0), std::clamp(lat, -90.0, 90.0)}; }

// Step 1 of every method: whether the point is shifted at all; if so the
// working latitude and longitude in radians.
bool shift_start(const DPoint& in, const ShiftParams& p, double* phi, double* lambda) {
  // NaN compares false everywhere: hold it like an out-of-range point.
  if (!(std::fabs(in.x) < 360.0) || !(std::fabs(in.y) < 90.0)) return false;
  *phi = std::clamp(in.y, -89.9, 89.9) * kDegToRad;
  *lambda = (in.x + p.src_pm) * kDegToRad;
  return true;
}

DPoint shift_finish(double lambda, double phi, const ShiftParams& p) {
  return held(lambda * kRadToDeg - p.dst_pm, phi * kRadToDeg);
}

DPoint molodensky_one(const DPoint& in, const ShiftParams& p) {
  double phi, lambda;
  if (!shift_start(in, p, &phi, &lambda)) return held(in.x, in.y);
  const double sp = std::sin(phi), cp = std::cos(phi), sl = std::sin(lambda), cl = std::cos(lambda);
  const double w = std::sqrt(1.0 - p.e2 * sp * sp);
  const double n = p.a / w;
  const double m = p.a * (1.0 - p.e2) / (w * w * w);
  const double b = p.a * (1.0 - p.f);
  const double dl = (p.dy * cl - p.dx * sl) / (n * cp);
  const double dp = (p.dz * cp - (p.dx * cl + p.dy * sl) * sp + p.da * n * p.e2 * sp * cp / p.a +
                     p.df * (m * p.a / b + n * b / p.a) * sp * cp) /
                    m;
  return shift_finish(lambda + dl, phi + dp, p);
}

DPoint linear7_one(const DPoint& in, const ShiftParams& p) {
  double phi, lambda;
  if (!shift_start(in, p, &phi, &lambda)) return held(in.x, in.y);
  const double sp = std::sin(phi), cp = std::cos(phi), sl = std::sin(lambda), cl = std::cos(lambda);
  const double c = p.e2 * p.da / p.a + 2.0 * p.df;
  double nl = p.dy * cl - p.dx * sl;
  double np = p.dz * cp - (p.dx * cl + p.dy * sl) * sp;
  if (p.rotated()) {
    nl += p.a * ((p.wx * cl + p.wy * sl) * sp - p.wz * cp);
    np += p.a * (p.wy * cl - p.wx * sl - p.s * p.e2 * sp * cp);
  }
  const double dl = nl / (p.a * cp);
  const double dp = np / p.a + c * sp * cp;
  return shift_finish(lambda + dl, phi + dp, p);
}

DPoint bursa_wolf_one(const DPoint& in, const ShiftParams& p) {
  const bool east = in.x >= 179.0;
  const bool west = in.x <= -179.0;
  double phi, lambda;
  if (!shift_start(in, p, &phi, &lambda)) return held(in.x, in.y);
  const double sp = std::sin(phi), cp = std::cos(phi);
  const double n = p.a / std::sqrt(1.0 - p.e2 * sp * sp);
  const double x0 = n * cp * std::cos(lambda);
  const double y0 = n * cp * std::sin(lambda);
  const double z0 = n * (1.0 - p.e2) * sp;
  const double k = 1.0 + p.s;
  const double x = p.dx + k * x0 + p.wz * y0 - p.wy * z0;
  const double y = p.dy + k * y0 + p.wx * z0 - p.wz * x0;
  const double z = p.dz + k * z0 + p.wy * x0 - p.wx * y0;
  const double q = std::sqrt(x * x + y * y);
  double lat = phi;
  for (int computed = 0; computed < 10; ++computed) {
    const double s = std::sin(lat);
    const double n2 = p.a2 / std::sqrt(1.0 - p.e22 * s * s);
    const double next = std::atan2(z + n2 * p.e22 * s, q);
    const bool done = std::fabs(lat - next) < 0.000000001;
    lat = next;
    if (done) break;
  }
  double lon = std::atan2(y, x) * kRadToDeg - p.dst_pm;
  if (east && lon < 0) lon += 360.0;
  if (west && lon > 0) lon -= 360.0;
  return held(lon, lat * kRadToDeg);
}

template <DPoint (*One)(const DPoint&, const ShiftParams&)>
void shift_all(const DPoint* in, DPoint* out, const ShiftParams& p, int32_t count) {
  for (int32_t i = 0; i < count; ++i) out[i] = One(in[i], p);
}

void shift_7param(const DPoint* in, DPoint* out, const ShiftParams& p, int32_t count) {
  if (g_datum.shift_method == 1) {
    if (p.rotated())
      shift_all<bursa_wolf_one>(in, out, p, count);
    else
      shift_all<molodensky_one>(in, out, p, count);
  } else {
    shift_all<linear7_one>(in, out, p, count);
  }
}

// Each point through a grid function; a point the grid cannot shift goes
// through the 7-parameter method with the fallback's parameters.
void shift_by_grid(const DatumGrid& g, bool forward, const DatumDef* grid_datum, const DPoint* in, DPoint* out,
                   const ShiftParams& fallback, int32_t count) {
  const DatumGridFn fn = forward ? g.forward : g.inverse;
  for (int32_t i = 0; i < count; ++i) {
    const DPoint p = in[i];
    DPoint r = p;
    if (fn == nullptr || fn(g.grid, &p, &r, grid_datum) == 0) shift_7param(&p, &r, fallback, 1);
    out[i] = r;
  }
}

}  // namespace

int16_t ellipsoid_valid(int32_t n) { return (n & 0xff) < kEllipsoidCount ? 1 : 0; }

void ellipsoid_params(int32_t n, EllipsoidParams* out) {
  int32_t k = n & 0xff;
  if (k >= kEllipsoidCount) k = 28;
  const EllipsoidRow& row = kEllipsoids[k];
  out->a = row.a;
  out->f = row.inv_f != 0 ? 1.0 / row.inv_f : 0.0;
  out->e2 = out->f * (2.0 - out->f);
}

int16_t datum_number_valid(int32_t n) {
  return (n >= 0 && n < kDatumTableCount) || (n >= kCustomDatumFirst && n <= kCustomDatumLast) || n == 999 ||
                 n == 9999
             ? 1
             : 0;
}

void datum_clear(DatumDef* datum) { std::memset(datum, 0, sizeof *datum); }

void datum_get(int32_t n, DatumDef* datum) {
  datum_clear(datum);
  if (n >= 0 && n < kDatumTableCount) {
    const DatumRow& r = kDatums[n];
    datum->ellipsoid = r.ellipsoid;
    datum->dx = r.dx;
    datum->dy = r.dy;
    datum->dz = r.dz;
    datum->number = static_cast<int16_t>(n);
  } else if (n >= kCustomDatumFirst && n <= kCustomDatumLast) {
    const DatumDef& r = kCustomDatums[n - kCustomDatumFirst];
    datum->ellipsoid = r.ellipsoid;
    datum->dx = r.dx;
    datum->dy = r.dy;
    datum->dz = r.dz;
    datum->rx = r.rx;
    datum->ry = r.ry;
    datum->rz = r.rz;
    datum->scale_ppm = r.scale_ppm;
    datum->prime_meridian = r.prime_meridian;
    datum->number = r.number;
  } else {
    datum->ellipsoid = 28;
  }
}

// Byte for byte over the fields (padding is not part of a datum), the
// numbers set aside.
int16_t datum_equal(const DatumDef* a, const DatumDef* b) {
  return a->ellipsoid == b->ellipsoid && same_bytes(a->dx, b->dx) && same_bytes(a->dy, b->dy) &&
                 same_bytes(a->dz, b->dz) && same_bytes(a->rx, b->rx) && same_bytes(a->ry, b->ry) &&
                 same_bytes(a->rz, b->rz) && same_bytes(a->scale_ppm, b->scale_ppm) &&
                 same_bytes(a->prime_meridian, b->prime_meridian)
             ? 1
             : 0;
}

int16_t datum_matches(int32_t n, const DatumDef* datum) {
  if (!datum_number_valid(n)) return 0;
  DatumDef row;
  datum_get(n, &row);
  return datum_equal(datum, &row);
}

int16_t datum_find_number(const DatumDef* datum, int16_t* number) {
  if (datum_matches(datum->number, datum)) {
    *number = datum->number;
    return 1;
  }
  DatumDef row;
  for (int32_t n = 0; n < kDatumTableCount; ++n) {
    datum_get(n, &row);
    if (datum_equal(datum, &row)) {
      *number = static_cast<int16_t>(n);
      return 1;
    }
  }
  for (int32_t n = kCustomDatumFirst; n <= kCustomDatumLast; ++n) {
    datum_get(n, &row);
    if (datum_equal(datum, &row)) {
      *number = static_cast<int16_t>(n);
      return 1;
    }
  }
  return 0;
}

namespace {
bool in_range(double v, double lo, double hi) { return v >= lo && v <= hi; }
bool no_rotation(const DatumDef* d) { return d->rx == 0 && d->ry == 0 && d->rz == 0 && d->scale_ppm == 0; }
bool no_shift(const DatumDef* d) { return d->dx == 0 && d->dy == 0 && d->dz == 0 && no_rotation(d); }
}  // namespace

int16_t datum_is_nad27(const DatumDef* d) {
  return (d->ellipsoid == 7 || d->ellipsoid == 8) && in_range(d->dx, -20, 20) && in_range(d->dy, 100, 170) &&
         in_range(d->dz, 160, 210);
}
int16_t datum_is_nad83(const DatumDef* d) { return d->ellipsoid == 0 && no_shift(d); }
int16_t datum_is_wgs84(const DatumDef* d) { return d->ellipsoid == 28 && no_shift(d); }
int16_t datum_is_nad83_or_wgs84(const DatumDef* d) { return datum_is_nad83(d) || datum_is_wgs84(d); }
int16_t datum_is_tokyo_exact(const DatumDef* d) {
  return d->ellipsoid == 10 && d->dx == -128 && d->dy == 481 && d->dz == 664 && no_rotation(d);
}
int16_t datum_is_tokyo_like(const DatumDef* d) {
  return d->ellipsoid == 10 && in_range(d->dx, -168, -128) && in_range(d->dy, 502, 512) &&
         in_range(d->dz, 665, 705) && no_rotation(d);
}
int16_t datum_is_tokyo(const DatumDef* d) { return datum_is_tokyo_exact(d) || datum_is_tokyo_like(d); }
int16_t datum_is_ntf(const DatumDef* d) {
  return d->ellipsoid == 30 && d->dx == -168 && d->dy == -60 && d->dz == 320 && d->rx == 0 && d->ry == 0 &&
         d->rz == 0;
}

int16_t datum_get_shift_method() { return g_datum.shift_method; }
void datum_set_shift_method(int16_t value) { g_datum.shift_method = value; }

void datum_set_grid(int kind, const DatumGrid* grid) {
  if (kind < 0 || kind > 2) return;
  g_datum.grids[kind] = grid != nullptr ? *grid : DatumGrid{};
}

void datum_molodensky(const DPoint* in, const DatumDef* src, const EllipsoidParams* se, DPoint* out,
                      const DatumDef* dst, const EllipsoidParams* de, int32_t count) {
  shift_all<molodensky_one>(in, out, shift_params(src, se, dst, de), count);
}

void datum_shift_7param(const DPoint* in, const DatumDef* src, const EllipsoidParams* se, DPoint* out,
                        const DatumDef* dst, const EllipsoidParams* de, int32_t count) {
  shift_7param(in, out, shift_params(src, se, dst, de), count);
}

void datum_bursa_wolf(const DPoint* in, const DatumDef* src, const EllipsoidParams* se, DPoint* out,
                      const DatumDef* dst, const EllipsoidParams* de, int32_t count) {
  const ShiftParams p = shift_params(src, se, dst, de);
  if (p.rotated())
    shift_all<bursa_wolf_one>(in, out, p, count);
  else
    shift_all<molodensky_one>(in, out, p, count);
}

void datum_shift_points(const DPoint* in, const DatumDef* src, const EllipsoidParams* se, DPoint* out,
                        const DatumDef* dst, const EllipsoidParams* de, int32_t count) {
  const ShiftParams p = shift_params(src, se, dst, de);
  const DatumGrid& nadcon = g_datum.grids[DATUM_GRID_NADCON];
  const DatumGrid& japan = g_datum.grids[DATUM_GRID_JAPAN];
  const DatumGrid& france = g_datum.grids[DATUM_GRID_FRANCE];
  if (nadcon.grid != nullptr) {
    if (datum_is_nad27(src) && datum_is_nad83(dst)) return shift_by_grid(nadcon, true, dst, in, out, p, count);
    if (datum_is_nad83(src) && datum_is_nad27(dst)) return shift_by_grid(nadcon, false, src, in, out, p, count);
  } else if (japan.grid != nullptr) {
    const bool to_tokyo = datum_is_nad83_or_wgs84(src) && datum_is_tokyo(dst);
    const bool from_tokyo = datum_is_tokyo(src) && datum_is_nad83_or_wgs84(dst);
    if (to_tokyo || from_tokyo) {
      DatumDef tokyo;
      datum_get(1015, &tokyo);
      EllipsoidParams tokyo_ell;
      ellipsoid_params(tokyo.ellipsoid, &tokyo_ell);
      const ShiftParams fallback = to_tokyo ? shift_params(src, se, &tokyo, &tokyo_ell)
                                            : shift_params(&tokyo, &tokyo_ell, dst, de);
      return shift_by_grid(japan, to_tokyo, to_tokyo ? dst : src, in, out, fallback, count);
    }
  } else if (france.grid != nullptr) {
    if (datum_is_nad83_or_wgs84(src) && datum_is_ntf(dst)) return shift_by_grid(france, true, dst, in, out, p, count);
    if (datum_is_ntf(src) && datum_is_nad83_or_wgs84(dst))
      return shift_by_grid(france, false, src, in, out, p, count);
  }
  shift_7param(in, out, p, count);
}

void datum_shift_rect(const DRect* rect, const DatumDef* src, const EllipsoidParams* se, DRect* out,
                      const DatumDef* dst, const EllipsoidParams* de) {
  DPoint c[4];
  drect_corners(rect, c);
  datum_shift_points(c, src, se, c, dst, de, 4);
  drect_set_empty(out);
  for (const DPoint& p : c) drect_add_point(out, &p);
}
