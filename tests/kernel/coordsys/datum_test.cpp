// Datums and datum shifts: table lookups, the three methods against vectors
// computed by PROJ (tests/data/proj, written by tools/oracle), and the
// method rules the engine adds of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kernel/coordsys/coordsys.h"
#include "kernel/coordsys/datum.h"
#include "tests/kernel/coordsys/datum_side.h"

namespace {

struct Vector {
  DPoint in, out;
};

std::vector<Vector> load_vectors(const char* name) {
  std::ifstream f(std::string(QL_SOURCE_DIR) + "/tests/data/proj/" + name);
  std::vector<Vector> v;
  for (std::string line; std::getline(f, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    Vector x;
    s >> x.in.x >> x.in.y >> x.out.x >> x.out.y;
    v.push_back(x);
  }
  return v;
}


using ShiftFn = void (*)(const DPoint*, const DatumDef*, const EllipsoidParams*, DPoint*, const DatumDef*,
                         const EllipsoidParams*, int32_t);

DPoint shift(ShiftFn fn, const Side& a, const DPoint& p, const Side& b) {
  DPoint r;
  fn(&p, &a.datum, &a.ell, &r, &b.datum, &b.ell, 1);
  return r;
}

class coordsys_datum : public ::testing::Test {
 protected:
  void TearDown() override { datum_set_shift_method(1); }
};

}  // namespace

TEST_F(coordsys_datum, TablesHoldTheirRows) {
  DatumDef d;
  datum_get(0, &d);
  EXPECT_EQ(d.ellipsoid, 29);
  datum_get(104, &d);
  EXPECT_EQ(d.ellipsoid, 28);
  EXPECT_EQ(d.dx, 0);
  EXPECT_EQ(d.number, 104);
  datum_get(154, &d);
  EXPECT_EQ(d.ellipsoid, 3);
  EXPECT_EQ(d.dx, -31.4);
  EXPECT_EQ(d.dz, 81.2);
  datum_get(999, &d);
  EXPECT_EQ(d.ellipsoid, 28);
  EXPECT_EQ(d.dx, 0);
  EXPECT_EQ(d.number, 0);
  datum_get(1015, &d);
  EXPECT_EQ(d.ellipsoid, 10);
  EXPECT_EQ(d.dx, -146.414);
  EXPECT_EQ(d.number, 1015);
  datum_get(1020, &d);
  EXPECT_EQ(d.prime_meridian, -17.666666666667);
  datum_get(-3, &d);
  EXPECT_EQ(d.ellipsoid, 28);

  EllipsoidParams e;
  ellipsoid_params(12, &e);
  EXPECT_EQ(e.f, 0);
  EXPECT_EQ(e.e2, 0);
  EXPECT_EQ(e.a, 6370997);
  EllipsoidParams e28, e60;
  ellipsoid_params(28, &e28);
  ellipsoid_params(60, &e60);
  EXPECT_EQ(std::memcmp(&e28, &e60, sizeof e28), 0);
  EXPECT_EQ(e28.f, 1 / 298.257223563);
  EXPECT_TRUE(ellipsoid_valid(53));
  EXPECT_FALSE(ellipsoid_valid(54));
  EXPECT_TRUE(ellipsoid_valid(256 + 3));  // the low byte counts
}

TEST_F(coordsys_datum, FindNumber) {
  DatumDef d;
  datum_clear(&d);
  int16_t n = -1;
  ASSERT_TRUE(datum_find_number(&d, &n));
  EXPECT_EQ(n, 33);
  datum_get(28, &d);
  d.number = 0;
  ASSERT_TRUE(datum_find_number(&d, &n));
  EXPECT_EQ(n, 28);
  d.number = 104;
  ASSERT_TRUE(datum_find_number(&d, &n));
  EXPECT_EQ(n, 28);
  datum_get(1003, &d);
  d.number = 0;
  ASSERT_TRUE(datum_find_number(&d, &n));
  EXPECT_EQ(n, 1003);
  d.dx += 1;
  EXPECT_FALSE(datum_find_number(&d, &n));
  EXPECT_TRUE(datum_number_valid(9999));
  EXPECT_FALSE(datum_number_valid(155));
  EXPECT_FALSE(datum_number_valid(1021));
}

TEST_F(coordsys_datum, DatumTests) {
  DatumDef d;
  datum_get(62, &d);
  EXPECT_TRUE(datum_is_nad27(&d));
  datum_get(74, &d);
  EXPECT_TRUE(datum_is_nad83(&d));
  datum_get(104, &d);
  EXPECT_TRUE(datum_is_wgs84(&d));
  EXPECT_TRUE(datum_is_nad83_or_wgs84(&d));
  datum_get(97, &d);
  EXPECT_TRUE(datum_is_tokyo_exact(&d));
  datum_get(107, &d);
  EXPECT_TRUE(datum_is_ntf(&d));
}

TEST_F(coordsys_datum, MolodenskyAgainstProj) {
  const struct {
    const char* file;
    int from, to;
  } sets[] = {{"molodensky_62_104.txt", 62, 104}, {"molodensky_104_62.txt", 104, 62}};
  for (const auto& set : sets) {
    const std::vector<Vector> v = load_vectors(set.file);
    ASSERT_GT(v.size(), 100u) << set.file;
    const Side a = side(set.from), b = side(set.to);
    for (const Vector& x : v) {
      const DPoint r = shift(datum_molodensky, a, x.in, b);
      EXPECT_NEAR(r.x, x.out.x, 1e-10) << set.file << " " << x.in.x << " " << x.in.y;
      EXPECT_NEAR(r.y, x.out.y, 1e-10) << set.file << " " << x.in.x << " " << x.in.y;
    }
  }
}

TEST_F(coordsys_datum, SevenParameterAgainstProj) {
  const std::vector<Vector> v = load_vectors("helmert_1000_104.txt");
  ASSERT_GT(v.size(), 40u);
  const Side a = side(1000), b = side(104);
  const struct {
    int16_t method;
    double tolerance;
  } methods[] = {{1, 5e-8}, {0, 1e-4}};
  for (const auto& m : methods) {
    datum_set_shift_method(m.method);
    for (const Vector& x : v) {
      const DPoint r = shift(datum_shift_7param, a, x.in, b);
      EXPECT_NEAR(r.x, x.out.x, m.tolerance) << m.method << " " << x.in.x << " " << x.in.y;
      EXPECT_NEAR(r.y, x.out.y, m.tolerance) << m.method << " " << x.in.x << " " << x.in.y;
    }
  }
}

TEST_F(coordsys_datum, ShiftsOnlyMakeTheExactMethodMolodensky) {
  const Side a = side(62), b = side(104);
  datum_set_shift_method(1);
  for (const DPoint p : {DPoint{-96, 40}, DPoint{10, -50}, DPoint{179, 0}}) {
    const DPoint m = shift(datum_molodensky, a, p, b);
    const DPoint s = shift(datum_shift_7param, a, p, b);
    const DPoint g = shift(datum_shift_points, a, p, b);
    EXPECT_EQ(std::memcmp(&m, &s, sizeof m), 0);
    EXPECT_EQ(std::memcmp(&m, &g, sizeof m), 0);
  }
}

TEST_F(coordsys_datum, ThereAndBack) {
  for (int16_t method : {0, 1}) {
    datum_set_shift_method(method);
    for (int from : {62, 1000}) {
      const Side a = side(from), b = side(104);
      for (double lat = -60; lat <= 60; lat += 15) {
        for (double lon = -170; lon <= 170; lon += 34) {
          const DPoint p{lon, lat};
          const DPoint there = shift(datum_shift_points, a, p, b);
          const DPoint back = shift(datum_shift_points, b, there, a);
          EXPECT_NEAR(back.x, lon, 5e-6) << method << " " << from << " " << lon << " " << lat;
          EXPECT_NEAR(back.y, lat, 5e-6) << method << " " << from << " " << lon << " " << lat;
        }
      }
    }
  }
}

TEST_F(coordsys_datum, EdgesOfTheShift) {
  const Side a = side(62), b = side(104);
  // At or beyond the limits nothing moves; values are held.
  const struct {
    DPoint in, out;
  } held[] = {{{10, 90}, {10, 90}}, {{360, 10}, {360, 10}}, {{400, -95}, {360, -90}}, {{-361, 5}, {-360, 5}}};
  for (const auto& h : held) {
    const DPoint r = shift(datum_molodensky, a, h.in, b);
    EXPECT_EQ(r.x, h.out.x);
    EXPECT_EQ(r.y, h.out.y);
  }
  // Near the pole the shift is computed at 89.9.
  const DPoint near = shift(datum_molodensky, a, DPoint{20, 89.95}, b);
  const DPoint at = shift(datum_molodensky, a, DPoint{20, 89.9}, b);
  EXPECT_EQ(near.x, at.x);
  EXPECT_EQ(near.y, at.y);
  // NaN neither crashes nor escapes the range.
  const DPoint nan = shift(datum_molodensky, a, DPoint{NAN, NAN}, b);
  EXPECT_FALSE(std::fabs(nan.x) > 360);
}

TEST_F(coordsys_datum, BursaWolfKeepsLongitudeEastOfTheAntimeridian) {
  Side a = side(104), b = side(104);
  a.datum.dy = -5000;  // moves points at 180 degrees east
  a.datum.rz = 0.001;  // rotation: the geocentric method
  const DPoint r = shift(datum_bursa_wolf, a, DPoint{179.99, 0}, b);
  EXPECT_GT(r.x, 180);
  EXPECT_LT(r.x, 180.1);
  const DPoint w = shift(datum_bursa_wolf, b, DPoint{-179.99, 0}, a);
  EXPECT_LT(w.x, -180);
}

namespace {
// A grid that moves points by +1 degree of longitude, except west of -100.
int16_t fake_grid(void*, const DPoint* in, DPoint* out, const DatumDef*) {
  if (in->x < -100) return 0;
  *out = DPoint{in->x + 1, in->y};
  return 1;
}
int grid_token;
}  // namespace

TEST_F(coordsys_datum, GridGoesFirstAndFallsBackPerPoint) {
  const Side nad27 = side(62), nad83 = side(74), wgs84 = side(104);
  const DatumGrid grid{&grid_token, fake_grid, fake_grid};
  datum_set_grid(DATUM_GRID_NADCON, &grid);
  const DPoint in[2] = {{-90, 40}, {-110, 40}};
  DPoint out[2];
  datum_shift_points(in, &nad27.datum, &nad27.ell, out, &nad83.datum, &nad83.ell, 2);
  EXPECT_EQ(out[0].x, -89);
  EXPECT_EQ(out[0].y, 40);
  const DPoint fallback = shift(datum_shift_7param, nad27, in[1], nad83);
  EXPECT_EQ(out[1].x, fallback.x);
  EXPECT_EQ(out[1].y, fallback.y);
  // A pair the grid does not serve goes through the 7-parameter method.
  datum_shift_points(in, &nad27.datum, &nad27.ell, out, &wgs84.datum, &wgs84.ell, 1);
  EXPECT_EQ(out[0].x, shift(datum_shift_7param, nad27, in[0], wgs84).x);
  datum_set_grid(DATUM_GRID_NADCON, nullptr);
  datum_shift_points(in, &nad27.datum, &nad27.ell, out, &nad83.datum, &nad83.ell, 1);
  EXPECT_NE(out[0].x, -89);
}
