// Intersections with circles and arcs and the relation of two circles.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {
const TeCircle kUnit = {{0, 0, KTGEO_NO_Z}, 1};
const double kRoot3 = std::sqrt(0.75);
}  // namespace

TEST(qd_te_cogo_circle, LineAndSegmentAgainstCircle) {
    struct {
        GeoCoord a, b;
        bool infinite;
        int want;
        double x0, y0, x1, y1;
    } cases[] = {
        {P(-2, 0), P(2, 0), true, 2, -1, 0, 1, 0},
        {P(2, 0), P(-2, 0), true, 2, 1, 0, -1, 0},  // ordered along a to b
        {P(-2, 1), P(2, 1), true, 1, 0, 1, 0, 0},   // tangent
        {P(-2, 2), P(2, 2), true, 0, 0, 0, 0, 0},
        {P(0, 0), P(0.5, 0), false, 0, 0, 0, 0, 0},
        {P(0, 0), P(2, 0), false, 1, 1, 0, 0, 0},
        {P(0, 0), P(1 - 0.5e-8, 0), false, 1, 1 - 0.5e-8, 0, 0, 0},  // its end point
        {P(-2, 0), P(2, 0), false, 2, -1, 0, 1, 0},
        {P(2, 0), P(-2, 0), false, 2, 1, 0, -1, 0},  // nearer to a first
        {P(-2, 1), P(2, 1), false, 1, 0, 1, 0, 0},
        {P(1, 1), P(2, 1), false, 0, 0, 0, 0, 0},  // tangent beyond the segment
        {P(0, 0), P(0, 0), false, 0, 0, 0, 0, 0},
    };
    for (const auto& k : cases) {
        GeoCoord out[2] = {P(9, 9), P(9, 9)};
        const int got = k.infinite
                            ? qd_te_cogo_line_circle_intersection(&k.a, &k.b, &kUnit, out, nullptr)
                            : qd_te_cogo_segment_circle_intersection(&k.a, &k.b, &kUnit, out,
                                                                     nullptr);
        ASSERT_EQ(got, k.want) << k.a.x << "," << k.a.y << " " << k.b.x << "," << k.b.y;
        if (got >= 1) { EXPECT_POINT(out[0], k.x0, k.y0, 1e-15); }
        if (got == 2) { EXPECT_POINT(out[1], k.x1, k.y1, 1e-15); }
        if (got < 2) { EXPECT_EQ(out[1].x, 9); }
    }
    const TeCircle dot = {P(0, 0), 1e-9};
    GeoCoord out[2];
    const GeoCoord a = P(-1, 0), b = P(1, 0);
    EXPECT_EQ(qd_te_cogo_line_circle_intersection(&a, &b, &dot, out, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_segment_circle_intersection(&a, &b, &dot, out, nullptr), -2);
}

TEST(qd_te_cogo_circle, CircleRelationAndPoints) {
    struct {
        TeCircle c1, c2;
        int want;
        double x0, y0, x1, y1;
    } cases[] = {
        {kUnit, {P(2, 0), 1}, 1, 1, 0, 0, 0},                  // outer touch
        {kUnit, {P(0, 2), 1}, 1, 0, 1, 0, 0},
        {kUnit, {P(1, 0), 1}, 2, 0.5, kRoot3, 0.5, -kRoot3},
        {kUnit, {P(0, 1), 1}, 2, kRoot3, 0.5, -kRoot3, 0.5},
        {{P(0, 0), 2}, {P(0.6, 0.8), 1}, 1, 1.2, 1.6, 0, 0},  // inner touch
        {kUnit, kUnit, 6, 0, 0, 0, 0},
        {kUnit, {P(0, 0), 2}, 0, 0, 0, 0, 0},                  // concentric: nested
        {kUnit, {P(2 + 1e-9, 0), 1}, 0, 0, 0, 0, 0},           // just apart
        {kUnit, {P(5, 0), 1}, 0, 0, 0, 0, 0},
        {kUnit, {P(0, 0), 1e-9}, -2, 0, 0, 0, 0},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(qd_te_cogo_circle_relation(&k.c1, &k.c2, nullptr), k.want);
        GeoCoord out[2] = {P(9, 9), P(9, 9)};
        ASSERT_EQ(qd_te_cogo_circle_intersection(&k.c1, &k.c2, out, nullptr), k.want);
        if (k.want == 1 || k.want == 2) { EXPECT_POINT(out[0], k.x0, k.y0, 1e-15); }
        if (k.want == 2) { EXPECT_POINT(out[1], k.x1, k.y1, 1e-15); }
        if (k.want != 1 && k.want != 2) { EXPECT_EQ(out[0].x, 9); }
    }
    // A general crossing: both points lie on both circles.
    const TeCircle a = {P(1, 2), 3}, b = {P(4, 6), 4};
    GeoCoord out[2];
    ASSERT_EQ(qd_te_cogo_circle_intersection(&a, &b, out, nullptr), 2);
    for (const GeoCoord& p : out) {
        EXPECT_NEAR(qd_te_cogo_distance_2d(&p, &a.centre), 3, 1e-14);
        EXPECT_NEAR(qd_te_cogo_distance_2d(&p, &b.centre), 4, 1e-14);
    }
}

TEST(qd_te_cogo_circle, ArcsCountOnlyPointsOnTheArc) {
    const TeArc upper = {P(0, 0), 1, 0, 180};
    const GeoCoord v0 = P(0, -2), v1 = P(0, 2), h0 = P(-2, 0), h1 = P(2, 0);
    GeoCoord out[2];
    ASSERT_EQ(qd_te_cogo_segment_arc_intersection(&v0, &v1, &upper, out, nullptr), 1);
    EXPECT_POINT(out[0], 0, 1, 1e-15);
    ASSERT_EQ(qd_te_cogo_segment_arc_intersection(&h0, &h1, &upper, out, nullptr), 2);  // its ends
    const TeArc3 upper3 = {P(1, 0), P(0, 1), P(-1, 0)}, flat = {P(1, 0), P(0, 0), P(-1, 0)};
    EXPECT_EQ(qd_te_cogo_segment_arc3_intersection(&v0, &v1, &upper3, out, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_segment_arc3_intersection(&v0, &v1, &flat, out, nullptr), -2);

    const TeCircle right = {P(1, 0), 1};
    ASSERT_EQ(qd_te_cogo_circle_arc_intersection(&right, &upper, out, nullptr), 1);
    EXPECT_POINT(out[0], 0.5, kRoot3, 1e-15);
    const TeCircle away = {P(5, 5), 1};
    EXPECT_EQ(qd_te_cogo_circle_arc_intersection(&away, &upper, out, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_circle_arc_intersection(&kUnit, &upper, out, nullptr), 6);

    const TeArc lower_right = {P(1, 0), 1, 180, 360 - 1e-9};
    EXPECT_EQ(qd_te_cogo_arc_intersection(&upper, &lower_right, out, nullptr), 0);
    const TeArc upper_right = {P(1, 0), 1, 90, 180};
    ASSERT_EQ(qd_te_cogo_arc_intersection(&upper, &upper_right, out, nullptr), 1);
    EXPECT_POINT(out[0], 0.5, kRoot3, 1e-15);
    const TeArc3 r3 = {P(1, 1), P(1 - std::sqrt(0.5), std::sqrt(0.5)), P(0, 0)};
    ASSERT_EQ(qd_te_cogo_arc3_intersection(&upper3, &r3, out, nullptr), 1);
    EXPECT_POINT(out[0], 0.5, kRoot3, 1e-15);
    EXPECT_EQ(qd_te_cogo_arc3_intersection(&upper3, &flat, out, nullptr), -2);
}

TEST(qd_te_cogo_circle, PolylineAgainstCircleAndArc) {
    std::vector<GeoCoord> pts = {P(-3, 0.5), P(-2, 0), P(2, 0), P(2, 3)};
    TeBoundedArray line = tetest::Bounded(pts);
    TeIntersectionList list = {0, 0, nullptr};
    ASSERT_EQ(qd_te_cogo_polyline_circle_intersections(&line, &kUnit, &list, 0, nullptr), 1);
    ASSERT_EQ(list.count, 2);  // one segment, twice: ordered from its start
    EXPECT_EQ(list.items[0].index_a, 1);
    EXPECT_EQ(list.items[1].index_a, 1);
    EXPECT_NEAR(list.items[0].offset_a, 1, 1e-15);
    EXPECT_NEAR(list.items[1].offset_a, 3, 1e-15);
    EXPECT_EQ(list.items[0].index_b, 0);
    EXPECT_EQ(list.items[0].offset_b, 0);
    qd_te_cogo_intersection_list_free(&list);
    EXPECT_EQ(qd_te_cogo_polyline_circle_intersections(&line, &kUnit, nullptr, 1, nullptr), 1);

    const TeArc upper = {P(0, 0), 1, 0, 180};
    const TeArc lower = {P(0, 0), 1, 180, 359};
    ASSERT_EQ(qd_te_cogo_polyline_arc_intersections(&line, &upper, &list, 0, nullptr), 1);
    EXPECT_EQ(list.count, 2);
    qd_te_cogo_intersection_list_free(&list);
    ASSERT_EQ(qd_te_cogo_polyline_arc_intersections(&line, &lower, &list, 0, nullptr), 1);
    EXPECT_EQ(list.count, 1);  // (-1, 0); (1, 0) lies beyond 359 degrees
    qd_te_cogo_intersection_list_free(&list);

    std::vector<GeoCoord> far_pts = {P(5, 5), P(6, 6)};
    TeBoundedArray far = tetest::Bounded(far_pts);
    EXPECT_EQ(qd_te_cogo_polyline_circle_intersections(&far, &kUnit, &list, 0, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_polyline_circle_intersections(nullptr, &kUnit, &list, 0, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_polyline_circle_intersections(&line, &kUnit, nullptr, 0, nullptr), -2);

    // A non-finite coordinate is refused before any search.
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        std::vector<GeoCoord> b = {P(-2, 0), P(bad, 0), P(2, 0)};
        TeBoundedArray ba = {b.data(), 3, P(-2, 0), P(2, 0)};
        EXPECT_EQ(qd_te_cogo_polyline_circle_intersections(&ba, &kUnit, &list, 0, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_polyline_arc_intersections(&ba, &upper, &list, 0, nullptr), -2);
    }

    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeIntersectionList l = {0, 0, nullptr};
        const int got = qd_te_cogo_polyline_circle_intersections(&line, &kUnit, &l, 0, nullptr);
        if (nth == 0) {
            EXPECT_EQ(got, 1);
            qd_te_cogo_intersection_list_free(&l);
            return;
        }
        EXPECT_EQ(got, -3) << nth;
        EXPECT_EQ(l.items, nullptr);
    });
}
