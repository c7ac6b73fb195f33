// The engine functions the geometry library calls: ring centroid and the
// self-intersection search.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/geo_test_util.h"
#include "geometry/topology/qd_te_cogo.h"

using geotest::C;
using geotest::FailRecorder;
using geotest::StdoutCapture;

TEST(qd_te_cogo, RingCentroid) {
    GeoCoord square[] = {C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 0)};
    GeoCoord reversed[] = {C(0, 0), C(0, 4), C(4, 4), C(4, 0), C(0, 0)};
    for (GeoCoord* ring : {square, reversed}) {
        GeoCoord out = C(9, 9, 9);
        EXPECT_EQ(qd_te_cogo_ring_centroid_pts(ring, 5, &out, nullptr), -1);
        EXPECT_NEAR(out.x, 2, 1e-15);
        EXPECT_NEAR(out.y, 2, 1e-15);
        EXPECT_EQ(out.z, KTGEO_NO_Z);
    }
    struct Case {
        std::vector<GeoCoord> ring;
        int want;
    } refused[] = {
        {{C(0, 0), C(1, 0), C(0, 0)}, -2},
        {{C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 2e-8)}, -2},
        {{C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 5e-9)}, -1},
    };
    for (Case& c : refused) {
        GeoCoord out = C(9, 9, 9);
        EXPECT_EQ(qd_te_cogo_ring_centroid_pts(c.ring.data(), int32_t(c.ring.size()), &out,
                                               nullptr),
                  c.want);
        if (c.want == -2) {
            EXPECT_EQ(out.x, 9);  // left alone
        }
    }
    // A bow-tie has no area: 0, and the out point holds the unscaled sums.
    GeoCoord bow[] = {C(0, 0), C(1, 1), C(1, 0), C(0, 1), C(0, 0)};
    GeoCoord out{};
    EXPECT_EQ(qd_te_cogo_ring_centroid_pts(bow, 5, &out, nullptr), 0);
    EXPECT_EQ(out.x, -1);
    EXPECT_EQ(out.y, 0);
}

TEST(qd_te_cogo, SelfIntersections) {
    GeoCoord bow[] = {C(0, 0), C(1, 1), C(1, 0), C(0, 1), C(0, 0)};
    TeCoordArray array = {bow, 5};
    EXPECT_EQ(qd_te_cogo_self_intersections(&array, nullptr, 1, nullptr), 1);
    TeIntersectionList list = {0, 0, nullptr};
    ASSERT_EQ(qd_te_cogo_self_intersections(&array, &list, 0, nullptr), 1);
    ASSERT_EQ(list.count, 1);
    const TeIntersection& x = list.items[0];
    EXPECT_NEAR(x.point.x, 0.5, 1e-15);
    EXPECT_NEAR(x.point.y, 0.5, 1e-15);
    EXPECT_EQ(x.index_a, 0);
    EXPECT_NEAR(x.offset_a, std::sqrt(0.5), 1e-15);
    EXPECT_EQ(x.index_b, 2);
    EXPECT_NEAR(x.offset_b, std::sqrt(0.5), 1e-15);
    EXPECT_EQ(qd_te_cogo_intersection_list_free(&list), 1);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_EQ(qd_te_cogo_intersection_list_free(&list), 0);

    GeoCoord square[] = {C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(1e-9, 0)};
    TeCoordArray sq = {square, 5};
    EXPECT_EQ(qd_te_cogo_self_intersections(&sq, &list, 0, nullptr), 0);
    // Touching counts: a ring that comes back onto its own vertex.
    GeoCoord touch[] = {C(0, 0), C(4, 0), C(4, 4), C(2, 0), C(0, 4), C(0, 0)};
    TeCoordArray t = {touch, 6};
    EXPECT_EQ(qd_te_cogo_self_intersections(&t, nullptr, 1, nullptr), 1);

    EXPECT_EQ(qd_te_cogo_self_intersections(nullptr, nullptr, 1, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_self_intersections(&array, nullptr, 0, nullptr), -2);
    TeCoordArray single = {bow, 1};
    EXPECT_EQ(qd_te_cogo_self_intersections(&single, &list, 0, nullptr), 0);

    FailRecorder rec;
    StdoutCapture out;
    qd_alloc_fail_nth(1);
    EXPECT_EQ(qd_te_cogo_self_intersections(&array, &list, 0, nullptr), -3);
    qd_alloc_fail_nth(2);
    EXPECT_EQ(qd_te_cogo_self_intersections(&array, &list, 0, nullptr), -3);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(list.items, nullptr);
}

TEST(qd_te_cogo, FuzzyPointsAndSegments) {
    GeoCoord a = C(0, 0), b = C(5e-9, 0), c = C(2e-8, 0);
    EXPECT_EQ(qd_te_same_fuzzy_point(&a, &b, 1e-8), 1);
    EXPECT_EQ(qd_te_same_fuzzy_point(&a, &c, 1e-8), 0);
    GeoCoord d = C(1.5e-10, 0);
    EXPECT_EQ(qd_te_same_fuzzy_point(&a, &d, 0), 1);  // up to 2e-10 at the finest
    GeoCoord p0 = C(0, 0), p1 = C(2, 0), q0 = C(2, 0), q1 = C(3, 3), out;
    EXPECT_EQ(qd_te_cogo_segment_intersection(&p0, &p1, &q0, &q1, &out, 0, nullptr, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_segment_intersection(&p0, &p1, &q0, &q1, &out, 1, nullptr, nullptr), 1);
    EXPECT_EQ(out.x, 2);
    int parallel = -1;
    GeoCoord r0 = C(0, 1), r1 = C(2, 1);
    EXPECT_EQ(qd_te_cogo_segment_intersection(&p0, &p1, &r0, &r1, &out, 1, nullptr, &parallel), 0);
    EXPECT_EQ(parallel, 1);
}

TEST(qd_te_cogo, SelfIntersectionShapes) {
    struct Case {
        const char* what;
        std::vector<GeoCoord> pts;
        int want;
    } cases[] = {
        {"spike", {C(0, 0), C(4, 0), C(2, 0), C(2, 3)}, 1},
        {"repeated vertex", {C(0, 0), C(1, 0), C(1, 0), C(1, 1)}, 1},
        {"simple zigzag", {C(0, 0), C(1, 1), C(2, 0), C(3, 1)}, 0},
        {"closed within the tolerance", {C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 5e-9)}, 0},
        {"two points", {C(0, 0), C(1, 1)}, 0},
    };
    for (Case& c : cases) {
        TeCoordArray a = {c.pts.data(), int32_t(c.pts.size())};
        EXPECT_EQ(qd_te_cogo_self_intersections(&a, nullptr, 1, nullptr), c.want) << c.what;
    }
    // A figure-eight touching itself at one vertex: one item per pair of
    // non-adjacent segments meeting there, all placed on that vertex; two
    // straight lines through it (an X) are parallel pairs and give two.
    GeoCoord x_shape[] = {C(0, 0), C(2, 2), C(4, 0), C(4, 4), C(2, 2), C(0, 4), C(0, 0)};
    TeCoordArray xs = {x_shape, 7};
    TeIntersectionList list = {0, 0, nullptr};
    ASSERT_EQ(qd_te_cogo_self_intersections(&xs, &list, 0, nullptr), 1);
    EXPECT_EQ(list.count, 2);
    qd_te_cogo_intersection_list_free(&list);
    GeoCoord eight[] = {C(0, 0), C(2, 2), C(4, 0), C(4, 5), C(2, 2), C(0, 5), C(0, 0)};
    TeCoordArray e = {eight, 7};
    ASSERT_EQ(qd_te_cogo_self_intersections(&e, &list, 0, nullptr), 1);
    ASSERT_EQ(list.count, 4);
    for (int32_t i = 0; i < list.count; ++i) {
        const TeIntersection& x = list.items[i];
        EXPECT_EQ(x.point.x, 2);
        EXPECT_EQ(x.point.y, 2);
        EXPECT_EQ(x.index_a, 1);
        EXPECT_EQ(x.offset_a, 0);
        EXPECT_EQ(x.index_b, 4);
        EXPECT_EQ(x.offset_b, 0);
    }
    qd_te_cogo_intersection_list_free(&list);
}

TEST(qd_te_cogo, ParallelSegmentsSharingAnEnd) {
    // Non-adjacent parallel segments sharing the end (2, 0) meet only when
    // the later one's far end lies on the earlier one; segments that are
    // not parallel touch at the shared end.
    GeoCoord a0 = C(0, 0), a1 = C(2, 0);
    struct Case {
        GeoCoord far;
        int want;
        double x;
    } cases[] = {{C(4, 0), 0, 0}, {C(3, 0), 0, 0}, {C(1, 0), 1, 1}, {C(0.25, 0), 1, 0.25},
                 {C(1, 1e-6), 1, 2}};
    for (Case& c : cases) {
        GeoCoord b0 = C(2, 0);
        TeSegment s[2] = {};
        s[0] = {&a1, &a0, 0, 1, {}, {}, -1};
        s[1] = {&c.far, &b0, 5, 1, {}, {}, -1};
        for (TeSegment& r : s) qd_te_cogo_segment_envelope(r.start, r.end, &r.env_min);
        TeIntersectionList list = {0, 0, nullptr};
        ASSERT_EQ(qd_te_cogo_sweep_segments(s, 2, &list, 0, 0, nullptr), c.want);
        if (c.want == 1) {
            ASSERT_EQ(list.count, 1);
            EXPECT_NEAR(list.items[0].point.x, c.x, 1e-15);  // the far end's closest point
            EXPECT_EQ(list.items[0].point.y, 0);
        }
        qd_te_cogo_intersection_list_free(&list);
    }
}

TEST(qd_te_cogo, PositionsByTag) {
    GeoCoord p0 = C(0, 0), p1 = C(4, 0), q0 = C(1, -1), q1 = C(1, 3);
    TeSegment first = {&p1, &p0, 0, 1, {}, {}, -1};
    TeSegment second = {&q1, &q0, 3, 2, {}, {}, -1};
    struct Case {
        GeoCoord point;
        int32_t ia, ib;
        double oa, ob;
    } cases[] = {
        {C(1, 0), 0, 3, 1, 1},
        {C(4, 0), 1, 3, 0, std::sqrt(10.0)},    // at the first segment's end
        {C(1, -1 + 5e-9), 0, 3, std::sqrt(2.0), 0},  // at the second one's start
    };
    for (const Case& c : cases) {
        for (bool swapped : {false, true}) {
            TeIntersection x = {c.point, -9, -9, -9, -9};
            // Slot A belongs to tag 1 whichever record comes first.
            if (swapped) qd_te_cogo_intersection_positions(&second, &first, &x, nullptr);
            else qd_te_cogo_intersection_positions(&first, &second, &x, nullptr);
            EXPECT_EQ(x.index_a, c.ia);
            EXPECT_EQ(x.index_b, c.ib);
            EXPECT_NEAR(x.offset_a, c.oa, 1e-8);
            EXPECT_NEAR(x.offset_b, c.ob, 1e-15);
        }
    }
    // The same tag: the smaller vertex index in slot A; on equal indexes r's.
    TeSegment a = {&p1, &p0, 2, 1, {}, {}, -1}, b = {&q1, &q0, 2, 1, {}, {}, -1};
    TeIntersection x = {C(1, 0), 0, 0, 0, 0};
    qd_te_cogo_intersection_positions(&a, &b, &x, nullptr);
    EXPECT_EQ(x.offset_a, 1);  // r = b: distance from (1, -1)
    EXPECT_EQ(x.offset_b, 1);
    x.point = C(3, 0);
    b.index = 1;
    qd_te_cogo_intersection_positions(&a, &b, &x, nullptr);
    EXPECT_EQ(x.index_a, 1);
}
