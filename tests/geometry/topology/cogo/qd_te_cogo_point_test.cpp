// Point primitives: three-dimensional equality, directions, offsets,
// angles, ellipse points, Z carried onto segments and arcs, point order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

TEST(qd_te_cogo_point, FuzzyEqualityIn3d) {
    const GeoCoord a = P(1, 2, 0), b = P(1, 2, 1), c = P(1, 2), d = P(1, 2, 5e-9);
    EXPECT_EQ(qd_te_same_fuzzy_point_3d(&a, &b, 1e-8), 0);
    EXPECT_EQ(qd_te_same_fuzzy_point_3d(&a, &c, 1e-8), 1);  // one without Z: planar
    EXPECT_EQ(qd_te_same_fuzzy_point_3d(&a, &d, 1e-8), 1);
    EXPECT_EQ(qd_te_same_fuzzy_point_3d(&a, &d, 0.0), 0);  // 5e-9 > 2e-10
    EXPECT_NEAR(qd_te_cogo_distance_3d(&a, &b), 1.0, 0);
}

TEST(qd_te_cogo_point, SignCollinearAndDirection) {
    EXPECT_EQ(qd_te_cogo_sign(-3), -1);
    EXPECT_EQ(qd_te_cogo_sign(0), 0);
    EXPECT_EQ(qd_te_cogo_sign(2e-300), 1);
    EXPECT_DOUBLE_EQ(qd_te_cogo_tolerance_squared(nullptr), 1e-16);
    const GeoCoord a = P(0, 0), b = P(1, 1), c = P(2, 2 + 1e-17), d = P(2, 2.1);
    EXPECT_EQ(qd_te_cogo_collinear(&a, &b, &c, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_collinear(&a, &b, &d, nullptr), 0);
    struct {
        GeoCoord b;
        int want;
        double ux, uy;
    } cases[] = {
        {P(1e-12, 0), -1, 1, 0},  // accepted down to 1e-16
        {P(0, -3), -1, 0, -1},
        {P(1e-17, 0), 0, 9, 9},  // refused, outputs untouched
        {P(NAN, 0), 0, 9, 9},
    };
    for (const auto& k : cases) {
        double ux = 9, uy = 9;
        EXPECT_EQ(qd_te_cogo_unit_direction(&a, &k.b, &ux, &uy, nullptr), k.want);
        EXPECT_EQ(ux, k.ux);
        EXPECT_EQ(uy, k.uy);
    }
}

TEST(qd_te_cogo_point, OffsetPolarAndEllipsePoints) {
    const GeoCoord a = P(0, 0, 7), b = P(1, 0);
    GeoCoord out;
    ASSERT_EQ(qd_te_cogo_offset_point(&a, &b, 2, 1, &out, nullptr), -1);
    EXPECT_POINT(out, 2, -1, 1e-15);  // across: to the right
    EXPECT_EQ(out.z, KTGEO_NO_Z);
    ASSERT_EQ(qd_te_cogo_offset_point(&a, &b, 1e-9, 0, &out, nullptr), -1);
    EXPECT_EQ(out.z, 7);  // below the tolerance: a itself
    EXPECT_EQ(qd_te_cogo_offset_point(&a, &a, 1, 0, &out, nullptr), 0);

    const GeoCoord centre = P(1, 1, 3);
    qd_te_cogo_polar_point(&centre, 1e-9, 45, &out, nullptr);
    EXPECT_EQ(out.x, 1);
    EXPECT_EQ(out.z, 3);
    qd_te_cogo_polar_point(&centre, 2, 90, &out, nullptr);
    EXPECT_POINT(out, 1, 3, 1e-15);

    // (cx + a cos t, cy + b sin t), whichever axis is longer.
    const double t[] = {0.3, 1.2, 2.5, 3.9, 5.5, -0.7, 7.0};
    for (double angle : t) {
        for (auto [ea, eb] : {std::pair{2.0, 1.0}, std::pair{1.0, 3.0}}) {
            GeoCoord e = P(0, 0, 11);
            qd_te_cogo_ellipse_point(&centre, &e, angle, ea, eb);
            EXPECT_POINT(e, 1 + ea * std::cos(angle), 1 + eb * std::sin(angle), 1e-12);
            EXPECT_EQ(e.z, 11);
        }
    }
}

TEST(qd_te_cogo_point, VertexAngle) {
    struct {
        GeoCoord a, b, c;
        int want;
        double angle;
    } cases[] = {
        {P(0, 0), P(1, 0), P(1, 1), -1, 270},  // left turn
        {P(0, 0), P(1, 0), P(2, 0), -1, 180},
        {P(0, 0), P(1, 0), P(1, -1), -1, 90},
        {P(0, 0), P(1, 0), P(0, 0), -1, 0},  // doubling back
        {P(1, 0), P(1, 0), P(2, 0), -2, -1},
        {P(0, 0), P(1, 0), P(1, 5e-9), -2, -1},
    };
    for (const auto& k : cases) {
        double angle = -1;
        EXPECT_EQ(qd_te_cogo_vertex_angle(&k.a, &k.b, &k.c, &angle, nullptr), k.want);
        EXPECT_NEAR(angle, k.angle, 1e-12);
    }
}

TEST(qd_te_cogo_point, InterpolateZ) {
    const GeoCoord a = P(0, 0, 0), b = P(10, 0, 10), n = P(10, 0);
    struct {
        GeoCoord s, e, p;
        double z;
    } cases[] = {
        {a, b, P(5, 0, 99), 5},
        {a, b, P(7.5, 0, 99), 7.5},
        {a, n, P(5, 0, 99), KTGEO_NO_Z},
        {a, b, P(5e-11, 0, 99), 0},
        {a, b, P(10, 5e-11, 99), 10},
    };
    for (auto k : cases) {
        qd_te_cogo_interpolate_z(&k.s, &k.e, &k.p);
        EXPECT_NEAR(k.p.z, k.z, 1e-12);
    }
    // Where a-b meets c-d: one side without Z gives the other's Z; two
    // values give their mean.
    const GeoCoord c = P(5, -5, 4), d = P(5, 5, 4);
    GeoCoord x = P(5, 0, 99);
    qd_te_cogo_interpolate_z_pair(&a, &n, &c, &d, &x);
    EXPECT_EQ(x.z, 4);
    qd_te_cogo_interpolate_z_pair(&a, &b, &c, &d, &x);
    EXPECT_NEAR(x.z, 4.5, 1e-12);

    const TeArc3 arc = {P(-1, 0, 0), P(0, 1, 2), P(1, 0, 4)};
    GeoCoord q = P(std::sqrt(0.5), std::sqrt(0.5), 99);  // closer to the end
    qd_te_cogo_interpolate_z_arc3(&arc, &q);
    EXPECT_GT(q.z, 2);
    EXPECT_LT(q.z, 4);
    const TeArc3 flat = {P(-1, 0, 3), P(0, 1, 3), P(1, 0, 3)};
    qd_te_cogo_interpolate_z_arc3(&flat, &q);
    EXPECT_EQ(q.z, 3);
}

TEST(qd_te_cogo_point, PointRefOrder) {
    GeoCoord pts[] = {P(2, 1), P(1, 5), P(NAN, 0), P(1, 2), P(1, 2 + 5e-9)};
    TePointRef refs[] = {{0, &pts[0]}, {1, &pts[1]}, {2, &pts[2]}, {3, &pts[3]}};
    std::qsort(refs, 4, sizeof(TePointRef), qd_te_cogo_point_ref_order);
    const intptr_t want[] = {3, 1, 0, 2};  // by x, then y; NaN last
    for (int i = 0; i < 4; ++i) EXPECT_EQ(refs[i].key, want[i]);
    TePointRef near_a = {0, &pts[3]}, near_b = {0, &pts[4]};
    EXPECT_EQ(qd_te_cogo_point_ref_order(&near_a, &near_b), 0);
}
