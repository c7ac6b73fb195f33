// Straight lines: line intersections, projections, the ray side, closest
// point of a polyline, nearest and farthest pairs, offsets and extensions.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

TEST(qd_te_cogo_line, LineIntersections) {
    const GeoCoord o = P(0, 0), x = P(1, 0), y = P(0, 1), x1 = P(0, 1), x2 = P(1, 1);
    GeoCoord out = P(9, 9);
    EXPECT_EQ(qd_te_cogo_line_intersection(&o, &x, &x1, &x2, &out), 0);
    EXPECT_EQ(qd_te_cogo_line_intersection(&o, &x, &o, &y, &out), 1);
    EXPECT_POINT(out, 0, 0, 0);
    // Beyond the line's defining points, inside the segment.
    const GeoCoord q0 = P(5, -1), q1 = P(5, 1);
    EXPECT_EQ(qd_te_cogo_line_segment_intersection(&o, &x, &q0, &q1, &out, nullptr), 1);
    EXPECT_POINT(out, 5, 0, 0);
    const GeoCoord r0 = P(5, 0.5), r1 = P(5, 2);
    EXPECT_EQ(qd_te_cogo_line_segment_intersection(&o, &x, &r0, &r1, &out, nullptr), 0);
    // An end just short of the line is no crossing; one within the
    // tolerance beyond it is, and the crossing is that end.
    const GeoCoord t0 = P(5, 5e-9), t1 = P(5, 2, 3), u0 = P(5, -1e-9, 4);
    EXPECT_EQ(qd_te_cogo_line_segment_intersection(&o, &x, &t1, &t0, &out, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_line_segment_intersection(&o, &x, &t1, &u0, &out, nullptr), 1);
    EXPECT_EQ(out.y, -1e-9);
    EXPECT_EQ(out.z, 4);
}

TEST(qd_te_cogo_line, Projections) {
    const GeoCoord a = P(0, 0, 4), b = P(2, 0), p = P(3, 1);
    GeoCoord out;
    qd_te_cogo_project_to_line(&p, &a, &b, &out, nullptr);
    EXPECT_POINT(out, 3, 0, 0);
    qd_te_cogo_project_to_segment(&p, &a, &b, &out, nullptr);
    EXPECT_POINT(out, 2, 0, 0);
    const GeoCoord tiny = P(1e-9, 0);
    qd_te_cogo_project_to_segment(&p, &a, &tiny, &out, nullptr);
    EXPECT_EQ(out.z, 4);  // too short: a copy of a
}

TEST(qd_te_cogo_line, RaySide) {
    struct {
        GeoCoord a, b, p;
        int want;
    } cases[] = {
        {P(1, 0), P(1, 1), P(0, 0.5), 13},   // the segment lies right of p
        {P(-1, 0), P(-1, 1), P(0, 0.5), 12},
        {P(1, 0), P(1, 1), P(1, 0.5), 14},
        {P(1, 0), P(1, 1), P(1, 1), 15},
        {P(0, 0), P(4, 0), P(2, 0), 14},     // horizontal, p on it
        {P(0, 0), P(4, 0), P(-1, 0), 13},
        {P(0, 0), P(4, 0), P(5, 0), 12},
        {P(0, 0), P(4, 0), P(2, 1), 12},
    };
    for (const auto& k : cases) EXPECT_EQ(qd_te_cogo_point_segment_side(&k.a, &k.b, &k.p, nullptr), k.want);
}

TEST(qd_te_cogo_line, ClosestPointOnPolyline) {
    GeoCoord pts[] = {P(0, 0), P(2, 0), P(2, 2), P(4, 2)};
    TeCoordArray line = {pts, 4};
    struct {
        GeoCoord p;
        double x, y;
        int32_t index;
    } cases[] = {
        {P(3, -1), 2, 0, 1},  // nearest a middle vertex: that vertex's index
        {P(1, 1), 1, 0, 0},   // equal distances: the first segment wins
        {P(3, 3), 3, 2, 2},
        {P(9, 2), 4, 2, 3},
    };
    for (const auto& k : cases) {
        TeNearestPoint out;
        ASSERT_EQ(qd_te_cogo_closest_point_on_polyline(&k.p, &line, &out, nullptr), -1);
        EXPECT_POINT(out.point, k.x, k.y, 1e-15);
        EXPECT_EQ(out.segment_index, k.index);
        EXPECT_EQ(out.vertex_index, k.index);
    }
    TeCoordArray empty = {pts, 0};
    TeNearestPoint out;
    EXPECT_EQ(qd_te_cogo_closest_point_on_polyline(&pts[0], &empty, &out, nullptr), 0);
}

TEST(qd_te_cogo_line, NearestAndFarthestPairs) {
    struct {
        GeoCoord a, b, c, d;
        double nearest, farthest;
    } cases[] = {
        // Pairs from end-point projections only: the "farthest" pair is
        // the better of the two projected pairs, not the farthest ends.
        {P(0, 0), P(2, 0), P(1, 1), P(1, 3), 1, 1},
        {P(0, 0), P(2, 0), P(0, 1), P(2, 1), 1, 1},
        // Crossing segments: above 0.
        {P(0, 0), P(4, 0), P(1, -1), P(3, 3), std::sqrt(0.2), std::sqrt(1.8)},
        {P(0, 0), P(0, 0), P(3, 4), P(3, 4), 5, 5},
    };
    for (const auto& k : cases) {
        GeoCoord u, v;
        EXPECT_NEAR(qd_te_cogo_segment_nearest_points(&k.a, &k.b, &k.c, &k.d, &u, &v, nullptr),
                    k.nearest, 1e-15);
        EXPECT_NEAR(qd_te_cogo_distance_2d(&u, &v), k.nearest, 1e-15);
        EXPECT_NEAR(qd_te_cogo_segment_farthest_points(&k.a, &k.b, &k.c, &k.d, nullptr, nullptr,
                                                       nullptr),
                    k.farthest, 1e-15);
    }
}

TEST(qd_te_cogo_line, OffsetAndExtend) {
    const GeoCoord seg[2] = {P(0, 0), P(1, 0)};
    GeoCoord out[2];
    ASSERT_EQ(qd_te_cogo_offset_segment(seg, 1, 0, out, nullptr), -1);
    EXPECT_POINT(out[0], 0, -1, 1e-15);
    EXPECT_POINT(out[1], 1, -1, 1e-15);
    ASSERT_EQ(qd_te_cogo_offset_segment(seg, 1, 0.5, out, nullptr), -1);
    EXPECT_POINT(out[0], -0.5, -1, 1e-15);
    EXPECT_POINT(out[1], 1.5, -1, 1e-15);
    ASSERT_EQ(qd_te_cogo_extend_segment(seg, 1, out, nullptr), -1);
    EXPECT_POINT(out[0], -1, 0, 1e-15);
    EXPECT_POINT(out[1], 2, 0, 1e-15);
    const GeoCoord dot[2] = {P(0, 0), P(0, 1e-9)};
    EXPECT_EQ(qd_te_cogo_extend_segment(dot, 1, out, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_offset_segment(nullptr, 1, 0, out, nullptr), -2);
    ASSERT_EQ(qd_te_cogo_offset_segment(dot, 0, 1, out, nullptr), -1);  // nothing to move
    EXPECT_EQ(out[1].y, 1e-9);
}
