// Documented cases of the projection library, the projected default bounds
// and rectangle families, scale factors against a finite difference of the
// forward, and non-finite input on every type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/proj.h"
#include "kernel/coordsys/proj/proj_lib.h"
#include "kernel/coordsys/xform.h"

namespace {

CoordXform make(const char* clause) {
  CoordXform xf;
  EXPECT_NE(coordsys_from_text(&xf, clause, 0), 0) << clause;
  return xf;
}

DPoint fwd(const CoordXform& xf, double lon, double lat) {
  DPoint p{lon, lat};
  xform_forward_points(&p, &p, &xf, 1);
  return p;
}

DPoint inv(const CoordXform& xf, double x, double y) {
  DPoint p{x, y};
  xform_inverse_points(&p, &p, &xf, 1);
  return p;
}

}  // namespace

TEST(proj_cases, MercatorPolesAndStandardParallelZero) {
  const CoordXform m = make("CoordSys Earth Projection 10, 104, \"m\", 0");
  EXPECT_EQ(fwd(m, 20, 90).y, 1e9);
  EXPECT_EQ(fwd(m, 20, -90).y, -1e9);
  EXPECT_EQ(inv(m, 0, 0).y, 0);
  EXPECT_EQ(inv(m, 0, 1e12).y, 90);
  const CoordXform m26 = make("CoordSys Earth Projection 26, 104, \"m\", 0, 0");
  for (double lat : {-80.0, -12.5, 0.0, 33.3, 84.0}) {
    const DPoint a = fwd(m, 41, lat), b = fwd(m26, 41, lat);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << lat;
  }
}

TEST(proj_cases, TransverseMercatorOriginAndZeroScale) {
  const CoordXform t = make("CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0");
  const DPoint o = fwd(t, 9, 0);
  EXPECT_NEAR(o.x, 500000, 1e-9);
  EXPECT_NEAR(o.y, 0, 1e-9);
  const CoordXform k0 = make("CoordSys Earth Projection 8, 104, \"m\", 9, 20, 0, 0, 0");
  const CoordXform k1 = make("CoordSys Earth Projection 8, 104, \"m\", 9, 20, 1, 0, 0");
  for (double lat : {-60.0, 10.0, 55.0}) {
    const DPoint a = fwd(k0, 11, lat), b = fwd(k1, 11, lat);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
  }
  // The pole: x is the false easting; the inverse of a footpoint at the pole gives lon0, 90.
  const DPoint pole = fwd(t, 30, 90);
  EXPECT_NEAR(pole.x, 500000, 1e-6);
  const DPoint back = inv(t, 500000, pole.y);
  EXPECT_NEAR(back.y, 90, 1e-6);
}

TEST(proj_cases, KruegerIgnoresOriginLatitudeAndScale) {
  const CoordXform a = make("CoordSys Earth Projection 24, 104, \"m\", 3, 0, 1, 0, 0");
  const CoordXform b = make("CoordSys Earth Projection 24, 104, \"m\", 3, 47, 0.9996, 0, 0");
  for (double lat : {-70.0, 0.0, 45.5}) {
    const DPoint p = fwd(a, 7, lat), q = fwd(b, 7, lat);
    EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0);
    const DPoint r = inv(a, p.x, p.y), s = inv(b, p.x, p.y);
    EXPECT_EQ(std::memcmp(&r, &s, sizeof r), 0);
  }
  // Its central meridian is true to scale.
  const DPoint on{3, 40};
  EXPECT_DOUBLE_EQ(b.scale_fn(&b, &on), 1.0);
}

TEST(proj_cases, LocalGridTablesAndClamps) {
  CoordXform g = make("CoordSys Earth Projection 23, 104, \"m\", 9, 0, 0.9996, 500000, 0");
  DPoint p{495134.215516, 6109645.68068};
  proj_grid_poly_eval(&g, &p, 0);
  EXPECT_NEAR(p.x, 47875.457674, 1e-9);
  EXPECT_NEAR(p.y, 52222.355954, 1e-9);
  // Through the forward the local x is -Q.
  CoordXform tm = make("CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0");
  const DPoint ll = inv(tm, 495134.215516, 6109645.68068);
  const DPoint q = fwd(g, ll.x, ll.y);
  EXPECT_NEAR(q.x, -47875.457674, 1e-3);
  EXPECT_NEAR(q.y, 52222.355954, 1e-3);
  // A point west of the type-21 rectangle maps like the point on its edge.
  const CoordXform g21 = make("CoordSys Earth Projection 21, 104, \"m\", 9, 0, 0.9996, 500000, 0");
  const DPoint west = inv(tm, 250000, 6200000), edge = inv(tm, 300000, 6200000);
  const DPoint a = fwd(g21, west.x, west.y), b = fwd(g21, edge.x, edge.y);
  EXPECT_NEAR(a.x, b.x, 1e-3);
  EXPECT_NEAR(a.y, b.y, 1e-3);  // the edge point comes back through the TM series
}

TEST(proj_cases, LocalGridRoundTripNearTheTableOrigin) {
  struct G {
    int type;
    double x0, y0;  // TM-side offset of the forward table
  };
  for (const G g : {G{21, 535887.734971, 6211357.565339}, G{22, 679082.320128, 6143171.658806},
                    G{23, 495134.215516, 6109645.68068}}) {
    char clause[160];
    std::snprintf(clause, sizeof clause, "CoordSys Earth Projection %d, 104, \"m\", 9, 0, 0.9996, 500000, 0", g.type);
    const CoordXform xf = make(clause);
    const CoordXform tm = make("CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0");
    double worst = 0;
    for (int i = -4; i <= 4; ++i) {
      for (int j = -4; j <= 4; ++j) {
        const DPoint ll = inv(tm, g.x0 + i * 10000.0, g.y0 + j * 10000.0);
        const DPoint p = fwd(xf, ll.x, ll.y);
        const DPoint back = inv(xf, p.x, p.y);
        const DPoint t1 = fwd(tm, ll.x, ll.y), t2 = fwd(tm, back.x, back.y);
        worst = std::max(worst, std::hypot(t1.x - t2.x, t1.y - t2.y));
      }
    }
    std::printf("local grid %d: round trip within 40 km of the table origin %.4f m\n", g.type, worst);
    if (g.type == 23) {
      EXPECT_LE(worst, 0.01);
    }
  }
}

TEST(proj_cases, BelgianTurnOnTheCentralMeridian) {
  const CoordXform a = make("CoordSys Earth Projection 3, 104, \"m\", 4.356, 90, 49.83, 51.17, 0, 0");
  const CoordXform b = make("CoordSys Earth Projection 19, 104, \"m\", 4.356, 90, 49.83, 51.17, 0, 0");
  const DPoint p = fwd(a, 4.356, 50.5), q = fwd(b, 4.356, 50.5);
  const double r = std::hypot(p.x, p.y - fwd(a, 4.356, 90).y);
  EXPECT_NEAR(q.x, -r * std::sin(0.0001420431363598774), 1e-6);
  const DPoint back = inv(b, q.x, q.y);
  EXPECT_NEAR(back.x, 4.356, 1e-12);
  EXPECT_NEAR(back.y, 50.5, 1e-9);
}

TEST(proj_cases, ConicOneParallelAndSouthernCone) {
  const CoordXform one = make("CoordSys Earth Projection 3, 104, \"m\", 10, 45, 45, 45, 0, 0");
  EXPECT_NEAR(one.lon_span, 90 / std::sin(45 * kProjPi / 180), 1e-9);
  const CoordXform s = make("CoordSys Earth Projection 3, 104, \"m\", -60, -30, -20, -40, 0, 0");
  for (double lat : {-70.0, -30.0, -5.0, 20.0}) {
    const DPoint p = fwd(s, -50, lat);
    const DPoint b = inv(s, p.x, p.y);
    EXPECT_NEAR(b.x, -50, 1e-9);
    EXPECT_NEAR(b.y, lat, 1e-9);
  }
}

TEST(proj_cases, CylindricalEdges) {
  const CoordXform c = make("CoordSys Earth Projection 2, 104, \"m\", 0, 90");
  const DPoint p = fwd(c, 10, 30);  // cs = 1: x = R dlambda, y = R sin phi
  EXPECT_NEAR(p.x, 6378137 * 10 * kProjPi / 180, 1e-6);
  EXPECT_NEAR(p.y, 6378137 * 0.5, 1e-6);
  const CoordXform m = make("CoordSys Earth Projection 11, 104, \"m\", 0");
  EXPECT_NEAR(inv(m, 0, fwd(m, 0, 60).y).y, 60, 1e-12);
  DRect r{-180, -80, 180, 80}, out;
  c.forward_rect_fn(&r, &out, &c);
  const DPoint lo = fwd(c, -180, -80), hi = fwd(c, 180, 80);
  EXPECT_EQ(out.x1, lo.x);
  EXPECT_EQ(out.y1, lo.y);
  EXPECT_EQ(out.x2, hi.x);
  EXPECT_EQ(out.y2, hi.y);
}

TEST(proj_cases, CassiniPole) {
  const CoordXform c = make("CoordSys Earth Projection 30, 104, \"m\", -2, 49, 400000, -100000");
  EXPECT_NEAR(fwd(c, 20, 90).x, 400000, 1e-6);
}

// Scale factors of conformal types against a finite difference of the forward
// along the meridian.
TEST(proj_cases, ScaleFactorsMatchFiniteDifferences) {
  const char* clauses[] = {
      "CoordSys Earth Projection 3, 104, \"m\", 9, 40, 45, 55, 0, 0",
      "CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0",
      "CoordSys Earth Projection 10, 104, \"m\", 0",
      "CoordSys Earth Projection 26, 104, \"m\", 0, 40",
  };
  const DPoint at[] = {{12, 50}, {11.5, 47}, {30, 60}, {-20, -35}};
  for (int i = 0; i < 4; ++i) {
    const CoordXform xf = make(clauses[i]);
    const double h = 1e-5;  // degrees
    const DPoint a = fwd(xf, at[i].x, at[i].y - h), b = fwd(xf, at[i].x, at[i].y + h);
    const double e2 = xf.ellipsoid.e2, phi = at[i].y * kProjPi / 180, s = std::sin(phi);
    const double meridian_radius = xf.ellipsoid.a * (1 - e2) / std::pow(1 - e2 * s * s, 1.5);
    const double k = std::hypot(b.x - a.x, b.y - a.y) / (meridian_radius * 2 * h * kProjPi / 180);
    EXPECT_NEAR(xf.scale_fn(&xf, &at[i]) / k, 1.0, 1e-6) << clauses[i];
  }
}

TEST(proj_frame_cases, DefaultBoundsOfTransverseMercator) {
  CoordSysDef def;
  const CoordXform t = make("CoordSys Earth Projection 8, 104, \"m\", 9, 0, 0.9996, 500000, 0");
  xform_get_coordsys(&t, &def);
  DRect b, r{-51, -90, 69, 90}, want;
  coordsys_default_bounds(8, &def, &b);
  xform_own_lonlat_rect_to_xy(&r, &want, &t);
  EXPECT_EQ(std::memcmp(&b, &want, sizeof b), 0);
  EXPECT_LT(want.x1, 500000);
  EXPECT_GT(want.y2, 9e6);
}

TEST(proj_frame_cases, ConicInverseRectangleAroundThePole) {
  const CoordXform c = make("CoordSys Earth Projection 3, 104, \"m\", 9, 40, 45, 55, 0, 0");
  const DPoint pole = fwd(c, 9, 90);
  DRect r{pole.x - 1e5, pole.y - 1e5, pole.x + 1e5, pole.y + 1e5}, out;
  c.inverse_rect_fn(&r, &out, &c);
  EXPECT_EQ(out.x1, -360);
  EXPECT_EQ(out.x2, 360);
  EXPECT_NEAR(out.y2, 90, 1e-6);
}

namespace {
int g_calls = 0;
int g_points = 0;
ProjPointsFn g_inner = nullptr;
void counting_forward(const DPoint* in, DPoint* out, const CoordXform* xf, int32_t count) {
  ++g_calls;
  g_points += count;
  g_inner(in, out, xf, count);
}
}  // namespace

TEST(proj_frame_cases, MercatorForwardRectangleConvertsTwoPoints) {
  CoordXform m = make("CoordSys Earth Projection 10, 104, \"m\", 0");
  g_inner = m.forward_fn;
  m.forward_fn = counting_forward;
  DRect r{-360, -85, 360, 85}, out;
  m.forward_rect_fn(&r, &out, &m);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(g_points, 2);
  EXPECT_LT(out.x1, out.x2);
}

// NaN, infinities and 1e308 go through every type's point operations and
// scale factor without a sanitizer report or a hang.
TEST(proj_cases, NonFiniteInputOnEveryType) {
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity(), 1e308, -1e308, 0.0};
  for (int type = 2; type <= 32; ++type) {
    CoordSysDef def;
    coordsys_clear(&def);
    def.datum.ellipsoid = 28;
    def.datum.number = 104;
    def.units = 7;
    const double params[6] = {10, 40, 30, 50, 1000, 2000};
    for (int i = 0; i < 6; ++i) def.params[i] = params[i];
    if (type == 8 || (type >= 20 && type <= 24) || type == 31) def.params[2] = 0.9996;
    CoordXform xf;
    xform_init(&xf, type, &def);
    for (double a : bad) {
      for (double b : bad) {
        DPoint p{a, b};
        DPoint q = p;
        xf.forward_fn(&p, &p, &xf, 1);
        xf.inverse_fn(&q, &q, &xf, 1);
        (void)xf.scale_fn(&xf, &q);
        DPoint ll{a, b};
        (void)xf.scale_fn(&xf, &ll);
      }
    }
  }
  SUCCEED();
}

// Mollweide, Eckert IV and VI: the Newton iteration leaves theta (read back
// from the northing) within 2e-7 of the root, found here by bisection.
TEST(proj_cases, PseudoCylindricalNewtonResidual) {
  struct K {
    int type;
    double (*residual)(double theta, double phi);
    double (*theta)(double y_over_r);
  };
  const K kinds[] = {
      {13, [](double t, double p) { return 2 * t + std::sin(2 * t) - kProjPi * std::sin(p); },
       [](double v) { return std::asin(v / std::sqrt(2.0)); }},
      {14, [](double t, double p) { return t + std::sin(t) * (std::cos(t) + 2) - 3.5707963267948966 * std::sin(p); },
       [](double v) { return std::asin(v / (2 * std::sqrt(kProjPi / (4 + kProjPi)))); }},
      {15, [](double t, double p) { return t + std::sin(t) - 2.5707963267948966 * std::sin(p); },
       [](double v) { return v / (2 / std::sqrt(2 + kProjPi)); }},
  };
  for (const K& k : kinds) {
    char clause[96];
    std::snprintf(clause, sizeof clause, "CoordSys Earth Projection %d, 104, \"m\", 0", k.type);
    const CoordXform xf = make(clause);
    for (double lat = -89; lat <= 89; lat += 0.5) {
      const DPoint p = fwd(xf, 10, lat);
      const double th = k.theta(p.y / xf.ellipsoid.a), phi = lat * kProjPi / 180;
      double lo = -kProjPi / 2, hi = kProjPi / 2;
      for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (k.residual(mid, phi) < 0 ? lo : hi) = mid;
      }
      EXPECT_LT(std::fabs(th - lo), 2e-7) << k.type << " " << lat;
    }
  }
}

TEST(proj_cases, RobinsonRowsAndPole) {
  const CoordXform r = make("CoordSys Earth Projection 12, 104, \"m\", 0");
  const double a = r.ellipsoid.a;
  const DPoint pole = fwd(r, 90, 90);
  EXPECT_NEAR(pole.x, 0.8487 * a * 0.5322 * kProjPi / 2, 1e-6);
  EXPECT_NEAR(pole.y, 1.3523 * a * 1.0, 1e-6);
  // The rows 0, 5 and 40 of the published table.
  EXPECT_NEAR(fwd(r, 90, 5).x, 0.8487 * a * 0.9986 * kProjPi / 2, 1e-6);
  EXPECT_NEAR(fwd(r, 90, 5).y, 1.3523 * a * 0.0620, 1e-6);
  EXPECT_NEAR(fwd(r, 90, 40).y, 1.3523 * a * 0.4958, 1e-6);
  EXPECT_NEAR(fwd(r, 90, 0).x, 0.8487 * a * kProjPi / 2, 1e-6);
  // Linear between the rows, both ways.
  EXPECT_NEAR(fwd(r, 0, 37.5).y, 1.3523 * a * (0.4340 + 0.4958) / 2, 1e-6);
  EXPECT_NEAR(inv(r, 0, fwd(r, 0, 37.5).y).y, 37.5, 1e-12);
  const DPoint beyond = inv(r, 0.8487 * a * 0.5322, 1.3523 * a * 1.1);
  EXPECT_EQ(beyond.y, 90);
  EXPECT_NEAR(beyond.x, 180 / kProjPi, 1e-9);
}

TEST(proj_cases, PseudoCylindricalEdges) {
  const CoordXform m = make("CoordSys Earth Projection 13, 104, \"m\", 0");
  EXPECT_NEAR(fwd(m, 0, 90).y, std::sqrt(2.0) * m.ellipsoid.a, 1e-3);
  const CoordXform e6 = make("CoordSys Earth Projection 15, 104, \"m\", 0");
  EXPECT_EQ(inv(e6, 0, 1e8).y, 90);
  const CoordXform s = make("CoordSys Earth Projection 16, 104, \"m\", 0");
  EXPECT_EQ(inv(s, 0, s.ellipsoid.a * 2).y, 90);
}

TEST(proj_cases, PolyconicEquator) {
  const CoordXform p = make("CoordSys Earth Projection 27, 104, \"m\", -96, 30, 100, 200");
  const DPoint e = fwd(p, -90, 0);
  const double m0 = p.proj_const.c[9];  // M(lat0) of the type-27 constants
  EXPECT_NEAR(e.y, 200 - m0, 1e-6);
  EXPECT_EQ(inv(p, e.x, e.y).y, 0);
  // A longitude difference of 200 degrees is held at 180.
  const DPoint a = fwd(p, -96 + 200, 10), b = fwd(p, -96 + 180, 10);
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
}

TEST(proj_cases, AzimuthalDiscs) {
  const CoordXform polar = make("CoordSys Earth Projection 5, 104, \"m\", 0, 90, 180");
  for (double lon : {-150.0, 0.0, 45.0}) {
    const DPoint p = fwd(polar, lon, 0);
    EXPECT_NEAR(std::hypot(p.x, p.y), polar.ellipsoid.a * kProjPi / 2, 1e-6);
  }
  EXPECT_EQ(fwd(polar, 20, 90).x, 0);
  // Radius 90: the antipodal hemisphere lies on the rim of radius 2a sin 45.
  const CoordXform la = make("CoordSys Earth Projection 4, 104, \"m\", 10, 20, 90");
  const CoordXform la_sphere = make("CoordSys Earth Projection 29, 999, 12, 0, 0, 0, \"m\", 10, 20, 90");
  for (const CoordXform* xf : {&la, &la_sphere}) {
    const double rim = 2 * xf->ellipsoid.a * std::sin(kProjPi / 4);
    const DPoint anti = fwd(*xf, -170, -19);  // near the antipode, whose direction is undefined
    EXPECT_NEAR(std::hypot(anti.x, anti.y), rim, 1e-6);
    const DPoint far = fwd(*xf, -120, -40);
    EXPECT_NEAR(std::hypot(far.x, far.y), rim, 1e-6);
    // Inverse latitudes never fall below lat0 - radius; longitudes stay within 180.
    const DPoint back = inv(*xf, 0, -rim);
    EXPECT_GE(back.y, 20 - 90 - 1e-9);
    const DPoint side = inv(*xf, -rim * 0.999, 0);
    EXPECT_LE(std::fabs(side.x), 180);
  }
  const CoordXform eq = make("CoordSys Earth Projection 28, 104, \"m\", 30, 10, 60");
  const DPoint centre = fwd(eq, 30, 10);
  EXPECT_EQ(centre.x, 0);
  EXPECT_EQ(centre.y, 0);
  EXPECT_NEAR(std::hypot(fwd(eq, -150, 0).x, fwd(eq, -150, 0).y), eq.ellipsoid.a * 60 * kProjPi / 180, 1e-6);
}

TEST(proj_cases, StereographicOrigins) {
  // Double stereographic and Swiss: the inverse of (FE, FN) is (lon0, lat0).
  const CoordXform ds = make("CoordSys Earth Projection 31, 999, 10, 0, 0, 0, \"m\", 19.17, 52.17, 0.999714, 500000, 500000");
  const DPoint o = inv(ds, 500000, 500000);
  EXPECT_NEAR(o.x * kProjPi / 180, 19.17 * kProjPi / 180, 1e-9);
  EXPECT_NEAR(o.y * kProjPi / 180, 52.17 * kProjPi / 180, 1e-9);
  const CoordXform sw = make("CoordSys Earth Projection 25, 999, 10, 0, 0, 0, \"m\", 7.439583333, 46.952405556, 600000, 200000");
  const DPoint f = fwd(sw, 7.439583333, 46.952405556);
  EXPECT_NEAR(f.x, 600000, 1e-6);
  EXPECT_NEAR(f.y, 200000, 1e-6);
  const DPoint so = inv(sw, 600000, 200000);
  EXPECT_NEAR(so.x * kProjPi / 180, 7.439583333 * kProjPi / 180, 1e-9);
  EXPECT_NEAR(so.y * kProjPi / 180, 46.952405556 * kProjPi / 180, 1e-9);
  const CoordXform swp = make("CoordSys Earth Projection 25, 104, \"m\", 0, 90, 0, 0");
  EXPECT_EQ(swp.proj_const.c[7], 0);  // K
  // Stereographic k0 0 acts as 1; double stereographic keeps its k0.
  const CoordXform s0 = make("CoordSys Earth Projection 20, 104, \"m\", 5, 52, 0, 0, 0");
  const CoordXform s1 = make("CoordSys Earth Projection 20, 104, \"m\", 5, 52, 1, 0, 0");
  EXPECT_EQ(fwd(s0, 8, 50).x, fwd(s1, 8, 50).x);
  const CoordXform d0 = make("CoordSys Earth Projection 31, 104, \"m\", 5, 52, 0, 0, 0");
  EXPECT_EQ(fwd(d0, 8, 50).x, 0);
}

TEST(proj_cases, HotineCentralLineAndPole) {
  const CoordXform h = make("CoordSys Earth Projection 7, 104, \"m\", 10, 45, 30, 1, 0, 0");
  // The centre lies on the central line: x = u sin(alpha), y = u cos(alpha).
  const DPoint c = fwd(h, 10, 45);
  EXPECT_NEAR(c.x / c.y, std::tan(30 * kProjPi / 180), 1e-9);
  // The pole: u = A (pi/2) / B along the turned axis.
  const DPoint pole = fwd(h, 50, 90);
  const double a = h.proj_const.c[3], b = h.proj_const.c[2], al = 30 * kProjPi / 180;
  EXPECT_NEAR(pole.x * std::sin(al) + pole.y * std::cos(al), a * kProjPi / 2 / b, 1e-6);
}

TEST(proj_cases, ComplexNumbers) {
  const GeoComplex q = geodist_complex_div(geodist_complex_make(1, 2), geodist_complex_make(3, 4));
  EXPECT_NEAR(q.re, 0.44, 1e-15);
  EXPECT_NEAR(q.im, 0.08, 1e-15);
  const GeoComplex q2 = geodist_complex_div(geodist_complex_make(1, 2), geodist_complex_make(4, 3));
  EXPECT_NEAR(q2.re, 0.4, 1e-15);
  EXPECT_NEAR(q2.im, 0.2, 1e-15);
  const GeoComplex z = geodist_complex_div(geodist_complex_make(1, 2), geodist_complex_make(0, 0));
  EXPECT_EQ(z.re, 0);
  EXPECT_EQ(z.im, 0);
  EXPECT_EQ(geodist_complex_abs(geodist_complex_make(3, 4)), 5);
}

TEST(proj_cases, NewZealandGrid) {
  const CoordXform nz = make("CoordSys Earth Projection 18, 999, 4, 0, 0, 0, \"m\", 173, -41, 2510000, 6023150");
  const DPoint o = fwd(nz, 173, -41);
  EXPECT_NEAR(o.x, 2510000, 1e-9);
  EXPECT_NEAR(o.y, 6023150, 1e-9);
  const DPoint b = inv(nz, 2510000, 6023150);
  EXPECT_NEAR(b.x, 173, 1e-12);
  EXPECT_NEAR(b.y, -41, 1e-12);
  const DPoint e20 = fwd(nz, 193, -40), e15 = fwd(nz, 188, -40);
  EXPECT_EQ(e20.x, e15.x);
  EXPECT_EQ(e20.y, e15.y);
  // Another origin: the round trip stays within the one Newton step's reach.
  const CoordXform other = make("CoordSys Earth Projection 18, 999, 4, 0, 0, 0, \"m\", 20, 50, 0, 0");
  double worst = 0;
  for (double dlon = -3; dlon <= 3; dlon += 1.5)
    for (double dlat = -3; dlat <= 3; dlat += 1.5) {
      const DPoint p = fwd(other, 20 + dlon, 50 + dlat), q = inv(other, p.x, p.y), r = fwd(other, q.x, q.y);
      worst = std::max(worst, std::hypot(r.x - p.x, r.y - p.y));
    }
  EXPECT_LT(worst, 5e-3);
}

TEST(proj_cases, KrovakPrimeMeridianAndPseudoParallels) {
  const char* base = "CoordSys Earth Projection 32, 9999, 10, 0, 0, 0, 0, 0, 0, 0, -17.6666666667, \"m\", 42.5, 49.5, %g, 30.28813975277795, 0, 0";
  char clause[200];
  std::snprintf(clause, sizeof clause, base, 78.5);
  const CoordXform k = make(clause);
  EXPECT_NEAR(k.origin_lon, 24.8333333333, 1e-10);
  EXPECT_NEAR(fwd(k, 42.5, 50).x, 0, 1e-6);  // the central meridian
  for (double pp : {78.5, 60.0, 85.0}) {
    std::snprintf(clause, sizeof clause, base, pp);
    const CoordXform kp = make(clause);
    for (double lon : {30.0, 35.5, 40.0})
      for (double lat : {47.0, 49.5, 52.0}) {
        const DPoint p = fwd(kp, lon, lat), q = inv(kp, p.x, p.y);
        EXPECT_NEAR(q.x * kProjPi / 180, lon * kProjPi / 180, 1e-9) << pp;
        EXPECT_NEAR(q.y * kProjPi / 180, lat * kProjPi / 180, 1e-9) << pp;
      }
  }
}

// Scale factors of the conformal azimuthals against a finite difference.
TEST(proj_cases, StereographicScaleFactors) {
  const char* clauses[] = {"CoordSys Earth Projection 20, 104, \"m\", 5, 52, 0.9999, 0, 0",
                           "CoordSys Earth Projection 31, 104, \"m\", 19, 52, 0.999714, 0, 0"};
  for (const char* cl : clauses) {
    const CoordXform xf = make(cl);
    const DPoint at{12, 47};
    const double h = 1e-5;
    const DPoint a = fwd(xf, at.x, at.y - h), b = fwd(xf, at.x, at.y + h);
    const double e2 = xf.ellipsoid.e2, s = std::sin(at.y * kProjPi / 180);
    const double mr = xf.ellipsoid.a * (1 - e2) / std::pow(1 - e2 * s * s, 1.5);
    const double k = std::hypot(b.x - a.x, b.y - a.y) / (mr * 2 * h * kProjPi / 180);
    EXPECT_NEAR(xf.scale_fn(&xf, &at) / k, 1.0, 1e-6) << cl;
  }
}
