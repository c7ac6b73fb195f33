// Coordinate arrays: length, reversal, orientation and area, envelope
// relations, near-duplicate marking and removal with its index map,
// remapping of intersection lists, point series.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/qd_nlst.h"
#include "geometry/geo_test_util.h"
#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

TEST(qd_te_cogo_array, LengthReversalOrientation) {
    GeoCoord ccw[] = {P(0, 0), P(1, 0), P(1, 1), P(0, 1), P(0, 0)};
    EXPECT_EQ(qd_te_cogo_polyline_length(ccw, 5), 4);
    EXPECT_EQ(qd_te_cogo_polyline_length(ccw, 1), 0);
    EXPECT_EQ(qd_te_cogo_ring_clockwise(ccw, 5), 0);
    EXPECT_EQ(qd_te_cogo_ring_area_cw(ccw, 5), -1);
    qd_te_cogo_reverse_array(ccw, 5);
    EXPECT_EQ(ccw[1].x, 0);
    EXPECT_EQ(ccw[1].y, 1);
    EXPECT_EQ(qd_te_cogo_ring_clockwise(ccw, 5), 1);
    EXPECT_EQ(qd_te_cogo_ring_area_cw(ccw, 5), 1);
    EXPECT_EQ(qd_te_cogo_ring_area_cw(nullptr, 5), 0);
    const GeoCoord a = P(0, 0), b = P(0, 2), c = P(2, 0);
    EXPECT_EQ(qd_te_cogo_triangle_area_cw(&a, &b, &c), 2);
    EXPECT_EQ(qd_te_cogo_triangle_area_cw(&a, &c, &b), -2);

    nlst* list = nlst_alloc(sizeof(GeoCoord), 4, 1, nullptr);
    for (const GeoCoord& p : {P(0, 0), P(1, 0), P(1, 1), P(0, 0)}) nlst_add(list, &p);
    EXPECT_EQ(qd_te_cogo_ring_clockwise_nlst(list), 0);
    qd_te_cogo_reverse_nlst(list);
    EXPECT_EQ(static_cast<GeoCoord*>(nlst_index(list, 1))->y, 1);
    EXPECT_EQ(qd_te_cogo_ring_clockwise_nlst(list), 1);
    nlst_free(list);
}

TEST(qd_te_cogo_array, EnvelopeRelation) {
    struct {
        GeoCoord e1[2], e2[2];
        int want;
    } cases[] = {
        {{P(0, 0), P(1, 1)}, {P(2, 2), P(3, 3)}, 8},
        {{P(0, 0), P(1, 1)}, {P(1, 0), P(2, 1)}, 11},          // a shared edge
        {{P(0, 0), P(10, 10)}, {P(2, 2), P(3, 3)}, 10},        // second inside
        {{P(2, 2), P(3, 3)}, {P(0, 0), P(10, 10)}, 9},         // first inside
        {{P(0, 2), P(3, 3)}, {P(0, 0), P(10, 10)}, 7},         // equal minimum x
        {{P(0, 0), P(2, 2)}, {P(1, 1), P(3, 3)}, 7},
        {{P(0, 0), P(2, 2)}, {P(1, 2), P(3, 3)}, 11},          // a corner
    };
    for (const auto& k : cases) {
        GeoCoord out[2] = {P(-9, -9), P(-9, -9)};
        EXPECT_EQ(qd_te_cogo_envelope_relation(k.e1, k.e2, out), k.want);
        if (k.want == 8) { EXPECT_EQ(out[0].x, -9); }
    }
    const GeoCoord e1[2] = {P(0, 0), P(2, 2)}, e2[2] = {P(1, -1), P(3, 1)};
    GeoCoord out[2];
    EXPECT_EQ(qd_te_cogo_envelope_relation(e1, e2, out), 7);
    EXPECT_POINT(out[0], 1, 0, 0);
    EXPECT_POINT(out[1], 2, 1, 0);
}

TEST(qd_te_cogo_array, MarkNearDuplicates) {
    const GeoCoord pts[] = {P(0, 0), P(0.5e-8, 0), P(1, 0), P(1 + 0.5e-8, 0)};
    int32_t flags[4] = {9, 9, 9, 9};
    EXPECT_EQ(qd_te_cogo_mark_near_duplicates_2d(pts, 4, flags, 1e-8), 1);
    const int32_t want[] = {0, -1, -1, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(flags[i], want[i]) << i;
    // In three dimensions z keeps the second point apart.
    const GeoCoord zs[] = {P(0, 0, 0), P(0, 0, 1), P(1, 0, 1)};
    int32_t f3[3];
    qd_te_cogo_mark_near_duplicates_3d(zs, 3, f3, 1e-8);
    EXPECT_EQ(f3[1], 0);
    qd_te_cogo_mark_near_duplicates_2d(zs, 3, f3, 0);
    EXPECT_EQ(f3[1], -1);
}

TEST(qd_te_cogo_array, RemoveDuplicates) {
    GeoCoord in_pts[] = {P(0, 0, 1), P(1, 0, 2), P(1 + 5e-9, 0, 3), P(2, 0, 4)};
    TeCoordArray in = {in_pts, 4, 0.25, 0.5, 3};
    TeCoordArray out = {nullptr, 0};
    int32_t* map = reinterpret_cast<int32_t*>(&in);
    ASSERT_EQ(qd_te_cogo_remove_duplicates(&in, &out, &map, nullptr), 1);
    ASSERT_EQ(out.n, 3);
    EXPECT_EQ(out.pts[1].z, 2);  // a run is kept as its first point
    EXPECT_EQ(out.pts[2].z, 4);
    EXPECT_EQ(out.end_condition, 3);
    EXPECT_EQ(out.start_angle, 0.25);
    const int32_t want[] = {0, 2, 3, -1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(map[i], want[i]);
    EXPECT_EQ(out.pts[3].x, 1.7976931348623157e308);
    qd_free(out.pts);
    qd_free(map);

    GeoCoord plain[] = {P(0, 0), P(1, 0)};
    TeCoordArray p = {plain, 2};
    EXPECT_EQ(qd_te_cogo_remove_duplicates(&p, &out, &map, nullptr), 0);
    EXPECT_EQ(map, nullptr);

    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    for (uint64_t nth : {1, 2}) {
        out = {nullptr, 0};
        qd_alloc_fail_nth(nth);
        EXPECT_EQ(qd_te_cogo_remove_duplicates(&in, &out, &map, nullptr), -3);
        qd_alloc_fail_nth(0);
        EXPECT_EQ(map, nullptr);
        EXPECT_EQ(out.pts, nullptr);
    }
}

TEST(qd_te_cogo_array, RemapIntersections) {
    TeIntersection items[] = {{P(0, 0), 1, 2, 0.5, 0.5}, {P(0, 0), 0, 1, 0, 0}};
    TeIntersectionList list = {2, 2, items};
    const int32_t map_a[] = {0, 3, 4}, map_b[] = {5, 6, 7};
    EXPECT_EQ(qd_te_cogo_remap_intersections(map_a, 1, &list, 0, map_b), 1);
    EXPECT_EQ(items[0].index_a, 3);
    EXPECT_EQ(items[0].index_b, 2);  // slot B not asked for
    EXPECT_EQ(items[0].offset_a, 0.5);
    const int32_t holes[] = {-1, -1, -1, -1, -1, -1, -1, -1};
    items[1].index_b = -4;
    EXPECT_EQ(qd_te_cogo_remap_intersections(holes, 0, &list, 1, holes), 0);
    EXPECT_EQ(items[1].index_b, -4);  // negative indexes stay
    EXPECT_EQ(items[0].index_b, -1);
}

TEST(qd_te_cogo_array, PointSeries) {
    const GeoCoord a = P(0, 0), b = P(10, 0);
    GeoCoord out[3];
    ASSERT_EQ(qd_te_cogo_point_series(&a, &b, 2, 3, out, nullptr), -1);
    for (int k = 0; k < 3; ++k) EXPECT_POINT(out[k], 2.0 * (k + 1), 0, 0);
    EXPECT_EQ(qd_te_cogo_point_series(&a, &b, 2, 0, out, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_point_series(&a, &b, 1e-9, 3, out, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_point_series(&a, &a, 2, 3, out, nullptr), 0);
    ASSERT_EQ(qd_te_cogo_point_series_max(&a, &b, 1, 3, 2, out, nullptr), -1);
    EXPECT_POINT(out[1], 6, 0, 0);
    EXPECT_EQ(qd_te_cogo_point_series_max(&a, &b, 0, 3, 2, out, nullptr), -2);
}
