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
