// Circles and arcs: the arc through three points, points on arcs,
// envelopes, length, projection, offsets and middle points.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {
constexpr double kPi = 3.141592653589793;
}

TEST(qd_te_cogo_arc, ArcFromPoints) {
    struct {
        GeoCoord a, b, c;
        int want;
        double cx, cy, r, start, end;
    } cases[] = {
        {P(1, 0), P(0, 1), P(-1, 0), -1, 0, 0, 1, 0, 180},
        {P(-1, 0), P(0, 1), P(1, 0), -1, 0, 0, 1, 0, 180},  // clockwise: the same arc
        {P(0, -1), P(1, 0), P(0, 1), -1, 0, 0, 1, 270, 90},
        {P(5, 5), P(7, 7), P(3, 7), -1, 5, 7, 2, 270, 180},
        {P(0, 0), P(1, 1), P(2, 2), 0, 0, 0, 0, 0, 0},
    };
    for (const auto& k : cases) {
        TeArc arc = {};
        EXPECT_EQ(qd_te_cogo_arc_from_points(&k.a, &k.b, &k.c, &arc, nullptr), k.want);
        if (k.want != -1) continue;
        EXPECT_POINT(arc.centre, k.cx, k.cy, 1e-15);
        EXPECT_NEAR(arc.radius, k.r, 1e-15);
        EXPECT_NEAR(arc.start, k.start, 1e-12);
        EXPECT_NEAR(arc.end, k.end, 1e-12);
        TeCircle circle;
        EXPECT_EQ(qd_te_cogo_circle_from_points(&k.a, &k.b, &k.c, &circle, nullptr), -1);
        EXPECT_EQ(circle.radius, arc.radius);
    }
}

TEST(qd_te_cogo_arc, PointOnArc) {
    TeArc upper;
    const GeoCoord w = P(-1, 0), n = P(0, 1), e = P(1, 0);
    ASSERT_EQ(qd_te_cogo_arc_from_points(&w, &n, &e, &upper, nullptr), -1);
    const double s = std::sqrt(0.5);
    struct {
        GeoCoord p;
        int want;
    } cases[] = {
        {P(0, 1), 1},
        {P(0, -1), 0},
        {P(1, 0), 1},  // its angle is 360, stored as start 0
        {P(-1, 0), 1},
        {P(1, -5e-9), 1},  // within the tolerance of an end
        {P(0, 1 + 1e-6), 0},
        {P(s, s), 1},
        {P(s, -s), 0},
    };
    for (const auto& k : cases) EXPECT_EQ(qd_te_cogo_point_on_arc(&upper, &k.p, nullptr), k.want) << k.p.x << "," << k.p.y;

    // Far from the origin the circle test holds within the tolerance.
    const GeoCoord c = P(5e5, 4e6);
    const GeoCoord a = P(c.x + 100, c.y), b = P(c.x, c.y + 100), d = P(c.x - 100, c.y);
    TeArc far;
    ASSERT_EQ(qd_te_cogo_arc_from_points(&a, &b, &d, &far, nullptr), -1);
    for (double deg : {10.0, 37.0, 89.0, 133.0, 170.0}) {
        const double t = deg * kPi / 180;
        const GeoCoord p = P(c.x + 100 * std::cos(t), c.y + 100 * std::sin(t));
        EXPECT_EQ(qd_te_cogo_point_on_arc(&far, &p, nullptr), 1) << deg;
        const GeoCoord below = P(p.x, 2 * c.y - p.y);
        EXPECT_EQ(qd_te_cogo_point_on_arc(&far, &below, nullptr), 0) << deg;
    }

    const TeArc3 arc3 = {w, n, e};
    EXPECT_EQ(qd_te_cogo_point_on_arc3(&arc3, &n, nullptr), 1);
    const GeoCoord q1 = P(s, s), q2 = P(s, -s), q3 = P(0.5, 0.5);
    EXPECT_EQ(qd_te_cogo_point_on_arc3(&arc3, &q1, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_point_on_arc3(&arc3, &q2, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_point_on_arc3(&arc3, &q3, nullptr), 0);
    const TeArc3 line = {w, P(0, 0), e};
    EXPECT_EQ(qd_te_cogo_point_on_arc3(&line, &w, nullptr), 0);
}

TEST(qd_te_cogo_arc, EnvelopesAndLength) {
    const GeoCoord o = P(0, 0);
    struct {
        double start, end;
        double x0, y0, x1, y1;
        double length;
    } cases[] = {
        {0, 180, -1, 0, 1, 1, kPi},
        {350, 10, std::cos(10 * kPi / 180), -std::sin(10 * kPi / 180), 1,
         std::sin(10 * kPi / 180), 20 * kPi / 180},
        {30, 30, -1, -1, 1, 1, 0},  // no length, the whole circle's extent
        {100, 80, -1, -1, 1, std::sin(80 * kPi / 180), 340 * kPi / 180},
        {-270, 540, -1, 0, 0, 1, kPi / 2},  // brought into [0, 360)
    };
    for (const auto& k : cases) {
        const TeArc arc = {o, 1, k.start, k.end};
        GeoCoord env[2];
        ASSERT_EQ(qd_te_cogo_arc_envelope(&arc, env, nullptr), -1);
        EXPECT_POINT(env[0], k.x0, k.y0, 1e-15);
        EXPECT_POINT(env[1], k.x1, k.y1, 1e-15);
        double len = -1;
        ASSERT_EQ(qd_te_cogo_arc_length(&arc, &len, nullptr), -1);
        EXPECT_NEAR(len, k.length, 1e-14);
    }
    const TeArc dot = {o, 1e-9, 0, 90};
    GeoCoord env[2];
    double len;
    EXPECT_EQ(qd_te_cogo_arc_envelope(&dot, env, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_arc_length(&dot, &len, nullptr), -2);
    const TeCircle circle = {P(1, 2), 3};
    ASSERT_EQ(qd_te_cogo_circle_envelope(&circle, env, nullptr), -1);
    EXPECT_POINT(env[0], -2, -1, 0);
    EXPECT_POINT(env[1], 4, 5, 0);
    const TeArc3 a3 = {P(1, 0), P(0, 1), P(-1, 0)};
    ASSERT_EQ(qd_te_cogo_arc3_envelope(&a3, env, nullptr), -1);
    EXPECT_POINT(env[0], -1, 0, 1e-15);
    const TeArc3 flat = {P(1, 0), P(0, 0), P(-1, 0)};
    EXPECT_EQ(qd_te_cogo_arc3_envelope(&flat, env, nullptr), 0);
}

TEST(qd_te_cogo_arc, ProjectOffsetMiddle) {
    const TeCircle unit = {P(0, 0), 1};
    const GeoCoord p = P(3, 4), centre = P(0, 0), on = P(0.6, 0.8 + 1e-9, 5);
    GeoCoord out;
    ASSERT_EQ(qd_te_cogo_project_to_circle(&unit, &p, &out, nullptr), -1);
    EXPECT_POINT(out, 0.6, 0.8, 1e-15);
    ASSERT_EQ(qd_te_cogo_project_to_circle(&unit, &on, &out, nullptr), -1);
    EXPECT_EQ(out.z, 5);  // already on it: a copy
    EXPECT_EQ(qd_te_cogo_project_to_circle(&unit, &centre, &out, nullptr), 0);

    const GeoCoord arc[3] = {P(1, 0, 1), P(0, 1, 2), P(-1, 0, 3)};
    GeoCoord moved[3];
    ASSERT_EQ(qd_te_cogo_offset_arc3(arc, 0.5, moved, nullptr), -1);
    EXPECT_POINT(moved[0], 1.5, 0, 1e-15);
    EXPECT_POINT(moved[1], 0, 1.5, 1e-15);
    EXPECT_EQ(moved[2].z, 3);
    EXPECT_EQ(qd_te_cogo_offset_arc3(arc, 1e-9, moved, nullptr), -2);
    const GeoCoord loop[3] = {P(1, 0), P(0, 1), P(1, 0)};
    EXPECT_EQ(qd_te_cogo_offset_arc3(loop, 0.5, moved, nullptr), -2);

    const double s = std::sqrt(0.5);
    GeoCoord m1, m2;
    ASSERT_EQ(qd_te_cogo_arc3_middle_points(&arc[0], &arc[1], &arc[2], &m1, &m2, nullptr), -1);
    EXPECT_POINT(m1, s, s, 1e-15);  // a to b
    EXPECT_POINT(m2, -s, s, 1e-15);  // b to c
    ASSERT_EQ(qd_te_cogo_arc3_middle_points(&arc[2], &arc[1], &arc[0], &m1, &m2, nullptr), -1);
    EXPECT_POINT(m1, -s, s, 1e-15);
    EXPECT_POINT(m2, s, s, 1e-15);
    const GeoCoord w = P(-1, -1), e = P(1, 1);
    EXPECT_EQ(qd_te_cogo_arc3_middle_points(&w, &centre, &e, &m1, &m2, nullptr), 0);
}
