// Two-array sweeps, a segment or a line against a polyline, and the tag
// order of segment records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::Bounded;
using tetest::P;

TEST(qd_te_cogo_sweep2, TwoArrays) {
    std::vector<GeoCoord> a = {P(0, 0), P(4, 4), P(8, 0)};
    std::vector<GeoCoord> b = {P(0, 2), P(8, 2)};
    TeBoundedArray ba = Bounded(a), bb = Bounded(b);
    TeIntersectionList list = {0, 0, nullptr};
    ASSERT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bb, &list, 0, 0, nullptr), 1);
    ASSERT_EQ(list.count, 2);
    std::sort(list.items, list.items + 2,
              [](const TeIntersection& x, const TeIntersection& y) { return x.point.x < y.point.x; });
    EXPECT_POINT(list.items[0].point, 2, 2, 1e-15);
    EXPECT_EQ(list.items[0].index_a, 0);  // slot A on the first array
    EXPECT_NEAR(list.items[0].offset_a, std::sqrt(8.0), 1e-15);
    EXPECT_EQ(list.items[0].index_b, 0);
    EXPECT_NEAR(list.items[0].offset_b, 2, 1e-15);
    EXPECT_EQ(list.items[1].index_a, 1);
    EXPECT_NEAR(list.items[1].offset_b, 6, 1e-15);
    qd_te_cogo_intersection_list_free(&list);

    // Touching at a shared vertex counts only when asked for.
    std::vector<GeoCoord> c = {P(4, 4), P(4, 9)};
    TeBoundedArray bc = Bounded(c);
    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bc, nullptr, 1, 1, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bc, nullptr, 0, 1, nullptr), 0);
    // Overlapping parallel segments are not reported.
    std::vector<GeoCoord> d = {P(1, 1), P(3, 3)};
    TeBoundedArray bd = Bounded(d);
    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bd, &list, 1, 0, nullptr), 0);

    // Disjoint envelopes: 0 before any allocation.
    std::vector<GeoCoord> e = {P(20, 20), P(30, 30)};
    TeBoundedArray be = Bounded(e);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &be, &list, 1, 0, nullptr), 0);
    EXPECT_EQ(qd_alloc_state.calls, 0u);

    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(nullptr, &bb, &list, 1, 0, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bb, nullptr, 1, 0, nullptr), -2);
    for (double bad : {NAN, INFINITY}) {
        std::vector<GeoCoord> f = {P(0, 2), P(bad, 2), P(8, 2)};
        TeBoundedArray bf = {f.data(), 3, P(0, 2), P(8, 2)};
        EXPECT_EQ(qd_te_cogo_sweep_two_arrays(&ba, &bf, &list, 1, 0, nullptr), -2);
    }

    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeIntersectionList l = {0, 0, nullptr};
        const int got = qd_te_cogo_sweep_two_arrays(&ba, &bb, &l, 1, 0, nullptr);
        EXPECT_EQ(got, nth ? -3 : 1) << nth;
        if (nth) { EXPECT_EQ(l.items, nullptr); }
        qd_te_cogo_intersection_list_free(&l);
    });
}

TEST(qd_te_cogo_sweep2, SegmentAndLineAgainstPolyline) {
    std::vector<GeoCoord> poly = {P(4, -1), P(6, 1), P(6, 5)};
    TeBoundedArray bp = Bounded(poly);
    const GeoCoord a = P(0, 0), b = P(1, 0), far = P(10, 0);
    TeIntersectionList list = {0, 0, nullptr};
    // The infinite line meets the polyline at x = 5.
    ASSERT_EQ(qd_te_cogo_line_polyline_intersections(&a, &b, &bp, &list, 0, nullptr), 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_POINT(list.items[0].point, 5, 0, 1e-15);
    EXPECT_EQ(list.items[0].index_a, 0);
    EXPECT_NEAR(list.items[0].offset_a, 5, 1e-15);
    EXPECT_EQ(list.items[0].index_b, 0);
    qd_te_cogo_intersection_list_free(&list);
    // The segment to (1, 0) does not reach it; the one to (10, 0) does.
    EXPECT_EQ(qd_te_cogo_segment_polyline_intersections(&a, &b, &bp, &list, 0, nullptr), 0);
    ASSERT_EQ(qd_te_cogo_segment_polyline_intersections(&a, &far, &bp, &list, 0, nullptr), 1);
    EXPECT_NEAR(list.items[0].offset_a, 5, 1e-15);
    qd_te_cogo_intersection_list_free(&list);
    // Touching counts for a segment: an end on the polyline.
    const GeoCoord on = P(6, 3);
    EXPECT_EQ(qd_te_cogo_segment_polyline_intersections(&a, &on, &bp, nullptr, 1, nullptr), 1);
    TeBoundedArray one = {poly.data(), 1, poly[0], poly[0]};
    EXPECT_EQ(qd_te_cogo_line_polyline_intersections(&a, &b, &one, &list, 0, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_line_polyline_intersections(&a, &b, &bp, nullptr, 0, nullptr), -2);
}

TEST(qd_te_cogo_sweep2, SegmentTagOrder) {
    TeSegment s[3] = {};
    s[0].tag = 2, s[0].index = 0;
    s[1].tag = 1, s[1].index = -3;
    s[2].tag = 1, s[2].index = 2;
    std::sort(s, s + 3, [](const TeSegment& x, const TeSegment& y) {
        return qd_te_cogo_segment_tag_order(&x, &y) < 0;
    });
    EXPECT_EQ(s[0].index, 2);
    EXPECT_EQ(s[1].index, -3);
    EXPECT_EQ(s[2].tag, 2);
}
