// Intersections with splines: incremental lists, band tests, a curve
// against itself, another curve, segments, polylines, circles and arcs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {

struct List {
    TeIntersectionList l = {0, 0, nullptr};
    ~List() { qd_te_cogo_intersection_list_free(&l); }
};

// A curve that runs right, loops up and back, and crosses its own path.
std::vector<GeoCoord> Loop() {
    return {P(0, 0), P(4, 0), P(6, 2), P(5, 4), P(3, 3), P(3, -2)};
}

}  // namespace

TEST(qd_te_cogo_spline_cut, IncrementalList) {
    List list;
    ASSERT_EQ(qd_te_cogo_intersection_list_init(&list.l), -1);
    EXPECT_EQ(list.l.capacity, 64);
    const GeoCoord p = P(1, 1), q = P(1 + 5e-9, 1), r = P(2, 1);
    EXPECT_EQ(qd_te_cogo_intersection_list_add(1, 2, 0.5, 0.5, nullptr, &list.l, &p), -1);
    EXPECT_EQ(qd_te_cogo_intersection_list_add(1, 2, 0.7, 0.1, nullptr, &list.l, &q), -1);
    EXPECT_EQ(list.l.count, 1);  // the same point with the same pair
    EXPECT_EQ(qd_te_cogo_intersection_list_add(1, 3, 0.5, 0.5, nullptr, &list.l, &p), -1);
    EXPECT_EQ(list.l.count, 2);
    EXPECT_EQ(qd_te_cogo_intersection_list_add_snapped(&list.l, &r, 4, 5, 1.0, 1.0, &r, nullptr,
                                                       nullptr),
              -1);
    EXPECT_EQ(list.l.items[2].index_a, 5);
    EXPECT_EQ(list.l.items[2].offset_a, 0);
    EXPECT_EQ(list.l.items[2].index_b, 5);
    EXPECT_EQ(list.l.items[2].offset_b, 1);
    for (int i = 0; i < 70; ++i) {
        const GeoCoord s = P(10 + i, 0);
        ASSERT_EQ(qd_te_cogo_intersection_list_add(0, 0, 0, 0, nullptr, &list.l, &s), -1);
    }
    EXPECT_EQ(list.l.count, 73);
    EXPECT_EQ(list.l.capacity, 128);
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        const GeoCoord s = P(-1 - double(nth), 0);
        const int32_t before = list.l.count;
        for (int i = 0; i < 56; ++i) {
            const GeoCoord t = P(s.x, 1 + i);
            if (qd_te_cogo_intersection_list_add(9, 9, 0, 0, nullptr, &list.l, &t) == -3) {
                EXPECT_GT(nth, 0u);
                EXPECT_EQ(list.l.count, before + i);  // unchanged by the failed add
                return;
            }
        }
    });
}

TEST(qd_te_cogo_spline_cut, BandTests) {
    const TeSplineBand flat = {0, 0, 10, 0, 0}, wide = {2, -2, 11, -1, std::sqrt(2.0)};
    const GeoCoord p0 = P(0, 0), p1 = P(10, 0);
    struct {
        GeoCoord a, b;
        const TeSplineBand* band;
        int want;
    } segs[] = {
        {P(5, -1), P(5, 1), &flat, 1},
        {P(5, 1), P(6, 1), &flat, 0},      // wholly left of a flat band
        {P(5, 0.1), P(6, 0.1), &wide, 1},  // inside the wide band
        {P(12, -1), P(12, 1), &wide, 0},   // beyond far along the chord
        {P(30, 30), P(31, 31), &wide, 0},
    };
    for (const auto& k : segs) EXPECT_EQ(qd_te_cogo_segment_band_overlap(&k.a, &k.b, &p0, &p1, 10, k.band), k.want);
    const TeCircle near = {P(5, 1.1), 1}, far = {P(5, 9), 1}, beyond = {P(-5, 0), 1};
    EXPECT_EQ(qd_te_cogo_circle_band_overlap(&near, &p0, &p1, 1, 10, &wide), 1);
    EXPECT_EQ(qd_te_cogo_circle_band_overlap(&far, &p0, &p1, 1, 10, &wide), 0);
    EXPECT_EQ(qd_te_cogo_circle_band_overlap(&beyond, &p0, &p1, 1, 10, &wide), 0);

    const GeoCoord q0 = P(5, -5), q1 = P(5, 5), r0 = P(20, -5), r1 = P(20, 5);
    const TeSplineBand vertical = {0, 0, 10, 0, 0};
    EXPECT_EQ(qd_te_cogo_span_band_overlap(&p0, &p1, &q0, &q1, 10, 10, &flat, &vertical, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_span_band_overlap(&p0, &p1, &r0, &r1, 10, 10, &flat, &vertical, nullptr), 0);
    // Consecutive spans running on monotonically cannot meet.
    const GeoCoord s[3] = {P(0, 0), P(1, 1), P(2, 3)};
    EXPECT_EQ(qd_te_cogo_span_band_overlap(&s[0], &s[1], &s[1], &s[2], 1, 1, &wide, &wide, nullptr), 0);
    const GeoCoord t[3] = {P(0, 0), P(1, 1), P(0, 2)};
    EXPECT_EQ(qd_te_cogo_span_band_overlap(&t[0], &t[1], &t[1], &t[2], 1, 1, &wide, &wide, nullptr), 1);
}

TEST(qd_te_cogo_spline_cut, SelfIntersections) {
    auto pts = Loop();
    TeCoordArray curve = {pts.data(), int32_t(pts.size())};
    List list;
    ASSERT_EQ(qd_te_cogo_curve_self_intersections(&curve, &list.l, nullptr), 1);
    ASSERT_EQ(list.l.count, 1);  // reported once
    const TeIntersection& x = list.l.items[0];
    EXPECT_LT(x.index_a, x.index_b);  // slot A on the earlier span
    EXPECT_EQ(x.index_a, 0);
    EXPECT_EQ(x.index_b, 4);
    EXPECT_NEAR(x.point.y, 0, 0.5);  // the curve bends below its chords
    EXPECT_NEAR(x.point.x, 2.75, 0.5);
    EXPECT_GT(x.offset_a, x.point.x);
    EXPECT_LT(x.offset_a, x.point.x + 0.1);
    qd_te_cogo_intersection_list_free(&list.l);

    // A zigzag that turns back at its nodes but never crosses: nothing.
    std::vector<GeoCoord> zig = {P(0, 0), P(4, 1), P(0, 2), P(4, 3), P(0, 4)};
    TeCoordArray z = {zig.data(), 5};
    EXPECT_EQ(qd_te_cogo_curve_self_intersections(&z, &list.l, nullptr), 0);
    EXPECT_EQ(list.l.items, nullptr);  // untouched unless items are found
    // A closed curve: its closing node is shared, not a crossing.
    std::vector<GeoCoord> ring;
    for (int i = 0; i < 9; ++i) ring.push_back(P(10 * std::cos(i * 0.785), 10 * std::sin(i * 0.785)));
    ring.push_back(ring[0]);
    TeCoordArray rc = {ring.data(), 10};
    EXPECT_EQ(qd_te_cogo_curve_self_intersections(&rc, &list.l, nullptr), 0);
    // With a repeated node the positions refer to the input's vertices.
    auto dup = pts;
    dup.insert(dup.begin() + 2, pts[2]);
    TeCoordArray d = {dup.data(), int32_t(dup.size())};
    ASSERT_EQ(qd_te_cogo_curve_self_intersections(&d, &list.l, nullptr), 1);
    EXPECT_EQ(list.l.items[0].index_b, 5);
    qd_te_cogo_intersection_list_free(&list.l);

    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeIntersectionList l = {0, 0, nullptr};
        const int r = qd_te_cogo_curve_self_intersections(&curve, &l, nullptr);
        EXPECT_EQ(r, nth ? -3 : 1) << nth;
        if (nth) {
            EXPECT_EQ(l.items, nullptr);
        }
        qd_te_cogo_intersection_list_free(&l);
    });
}

TEST(qd_te_cogo_spline_cut, SegmentAgainstCurve) {
    std::vector<GeoCoord> pts = {P(0, 0), P(2, 1), P(4, 0), P(6, 1)};
    TeCoordArray curve = {pts.data(), 4};
    List list;
    // Through node 2 exactly: (2, 0) on the curve, the distance on the segment.
    const GeoCoord a = P(4, -3), b = P(4, 3);
    ASSERT_EQ(qd_te_cogo_segment_curve_intersections(&curve, &a, &b, &list.l, nullptr), 1);
    ASSERT_EQ(list.l.count, 1);
    EXPECT_EQ(list.l.items[0].index_a, 2);
    EXPECT_EQ(list.l.items[0].offset_a, 0);
    EXPECT_EQ(list.l.items[0].index_b, 0);
    EXPECT_NEAR(list.l.items[0].offset_b, 3, 1e-12);
    qd_te_cogo_intersection_list_free(&list.l);
    // Across the middle of a span: offset B is never 0.
    const GeoCoord c = P(1, -3), d = P(1, 3);
    ASSERT_EQ(qd_te_cogo_segment_curve_intersections(&curve, &c, &d, &list.l, nullptr), 1);
    EXPECT_EQ(list.l.items[0].index_a, 0);
    EXPECT_GT(list.l.items[0].offset_b, 3);
    EXPECT_GT(list.l.items[0].offset_a, 1);
    qd_te_cogo_intersection_list_free(&list.l);
    const GeoCoord e = P(0, 5), f = P(6, 5);
    EXPECT_EQ(qd_te_cogo_segment_curve_intersections(&curve, &e, &f, &list.l, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_segment_curve_intersections(&curve, &e, &e, &list.l, nullptr), -2);
    // A plain two-point curve is a segment.
    TeCoordArray two = {pts.data(), 2};
    const GeoCoord g = P(1, -1), h = P(1, 2);
    ASSERT_EQ(qd_te_cogo_segment_curve_intersections(&two, &g, &h, &list.l, nullptr), 1);
    EXPECT_POINT(list.l.items[0].point, 1, 0.5, 1e-15);
    EXPECT_NEAR(list.l.items[0].offset_a, std::sqrt(1.25), 1e-15);
    EXPECT_NEAR(list.l.items[0].offset_b, 1.5, 1e-15);
}

TEST(qd_te_cogo_spline_cut, CurveAgainstCurve) {
    std::vector<GeoCoord> a = {P(0, 0), P(2, 1), P(4, 0), P(6, 1), P(8, 0)};
    std::vector<GeoCoord> b = {P(3, -2), P(3.5, 0), P(3, 2)};
    TeCoordArray ca = {a.data(), 5}, cb = {b.data(), 3};
    List ab, ba;
    ASSERT_EQ(qd_te_cogo_curve_intersections(&ca, &cb, &ab.l, nullptr), 1);
    ASSERT_EQ(qd_te_cogo_curve_intersections(&cb, &ca, &ba.l, nullptr), 1);
    ASSERT_EQ(ab.l.count, 1);
    ASSERT_EQ(ba.l.count, 1);
    EXPECT_EQ(ab.l.items[0].index_a, 1);
    EXPECT_EQ(ab.l.items[0].index_b, ba.l.items[0].index_a);
    EXPECT_NEAR(ab.l.items[0].point.x, ba.l.items[0].point.x, 1e-9);
    EXPECT_NEAR(ab.l.items[0].offset_a, ba.l.items[0].offset_b, 1e-9);

    // A plain two-point first curve against a longer one: slots swapped back.
    std::vector<GeoCoord> s = {P(5, -2), P(5, 3)};
    TeCoordArray cs = {s.data(), 2};
    List sa, as;
    ASSERT_EQ(qd_te_cogo_curve_intersections(&cs, &ca, &sa.l, nullptr), 1);
    ASSERT_EQ(qd_te_cogo_curve_intersections(&ca, &cs, &as.l, nullptr), 1);
    ASSERT_EQ(sa.l.count, 1);
    EXPECT_EQ(sa.l.items[0].index_a, 0);
    EXPECT_EQ(sa.l.items[0].index_b, 2);
    EXPECT_NEAR(sa.l.items[0].offset_a, sa.l.items[0].point.y + 2, 1e-12);
    EXPECT_EQ(sa.l.items[0].offset_a, as.l.items[0].offset_b);
    EXPECT_EQ(sa.l.items[0].offset_b, as.l.items[0].offset_a);

    // A two-point curve with tangents: positions on its single span,
    // offsets from its first point.
    std::vector<GeoCoord> t = {P(5, -2), P(5, 3)};
    TeCoordArray ct = {t.data(), 2, 1.2, 1.9, 3};
    List tl;
    ASSERT_EQ(qd_te_cogo_curve_intersections(&ct, &ca, &tl.l, nullptr), 1);
    ASSERT_EQ(tl.l.count, 1);
    EXPECT_EQ(tl.l.items[0].index_a, 0);
    EXPECT_GT(tl.l.items[0].offset_a, 2);

    for (double bad : {NAN, INFINITY}) {
        auto n = b;
        n[1].x = bad;
        TeCoordArray cn = {n.data(), 3};
        EXPECT_EQ(qd_te_cogo_curve_intersections(&ca, &cn, &ab.l, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_curve_self_intersections(&cn, &ab.l, nullptr), -2);
        EXPECT_EQ(ab.l.count, 1);  // the caller's list untouched
    }
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeIntersectionList l = {0, 0, nullptr};
        const int r = qd_te_cogo_curve_intersections(&ca, &cb, &l, nullptr);
        EXPECT_EQ(r, nth ? -3 : 1) << nth;
        qd_te_cogo_intersection_list_free(&l);
    });
}

TEST(qd_te_cogo_spline_cut, PolylineCircleArc) {
    std::vector<GeoCoord> pts = {P(0, 0), P(2, 1), P(4, 0), P(6, 1)};
    TeCoordArray curve = {pts.data(), 4};
    std::vector<GeoCoord> poly = {P(1, 3), P(1, -3), P(5, -3), P(5, 3)};
    TeBoundedArray bp = tetest::Bounded(poly);
    List list;
    ASSERT_EQ(qd_te_cogo_curve_polyline_intersections(&curve, &bp, &list.l, nullptr), 1);
    ASSERT_EQ(list.l.count, 2);
    for (int i = 0; i < 2; ++i) {
        const TeIntersection& x = list.l.items[i];
        EXPECT_EQ(x.index_b, x.point.x < 3 ? 0 : 2);
        EXPECT_EQ(x.index_a, x.point.x < 3 ? 0 : 2);
    }
    qd_te_cogo_intersection_list_free(&list.l);
    TeCoordArray two = {pts.data(), 2};
    ASSERT_EQ(qd_te_cogo_curve_polyline_intersections(&two, &bp, &list.l, nullptr), 1);
    EXPECT_NEAR(list.l.items[0].offset_a, std::sqrt(1.25), 1e-12);
    qd_te_cogo_intersection_list_free(&list.l);

    const TeCircle circle = {P(4, 0), 1};
    ASSERT_EQ(qd_te_cogo_circle_curve_intersections(&curve, &circle, &list.l, nullptr), 1);
    EXPECT_EQ(list.l.count, 2);
    for (int i = 0; i < list.l.count; ++i) {
        EXPECT_NEAR(qd_te_cogo_distance_2d(&list.l.items[i].point, &circle.centre), 1, 1e-12);
        EXPECT_EQ(list.l.items[i].index_b, 0);
    }
    qd_te_cogo_intersection_list_free(&list.l);
    const TeArc right = {P(4, 0), 1, 270, 90};
    ASSERT_EQ(qd_te_cogo_arc_curve_intersections(&curve, &right, &list.l, nullptr), 1);
    ASSERT_EQ(list.l.count, 1);
    EXPECT_GT(list.l.items[0].point.x, 4);
    EXPECT_EQ(list.l.items[0].index_a, 2);
    qd_te_cogo_intersection_list_free(&list.l);
    const TeCircle dot = {P(4, 0), 1e-9};
    EXPECT_EQ(qd_te_cogo_circle_curve_intersections(&curve, &dot, &list.l, nullptr), -2);
    const TeCircle away = {P(40, 0), 1};
    EXPECT_EQ(qd_te_cogo_circle_curve_intersections(&curve, &away, &list.l, nullptr), 0);
    ASSERT_EQ(qd_te_cogo_circle_curve_intersections(&two, &circle, &list.l, nullptr), 0);
}

TEST(qd_te_cogo_spline_cut, StrokeNarrowing) {
    GeoCoord a[30], b[30], c[30];
    for (int i = 0; i < 30; ++i) a[i] = P(i, i - 10), b[i] = P(i, 5), c[i] = P(i, 0);
    // a crosses b's line at (15, 5): pieces wholly below it are dropped from
    // the start (their length counted), those wholly above from the end.
    const GeoCoord *start = a, *end = a + 29;
    double left = 9, right = -9, length = 0;
    qd_te_cogo_stroke_narrow(&start, &end, &left, &right, &length, b, b + 29, 0, 0);
    EXPECT_EQ(start, a + 14);
    EXPECT_EQ(end, a + 16);
    EXPECT_NEAR(length, 14 * std::sqrt(2.0), 1e-12);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(right, 0);
    // Wholly on one side: the range is left empty.
    start = c, end = c + 29, length = 0;
    qd_te_cogo_stroke_narrow(&start, &end, &left, &right, &length, b, b + 29, 0, 0);
    EXPECT_LT(end, start);
    // Fewer than three points: nothing is done.
    start = a, end = a + 1, length = 0;
    qd_te_cogo_stroke_narrow(&start, &end, &left, &right, &length, b, b + 29, 0, 0);
    EXPECT_EQ(start, a);
    EXPECT_EQ(end, a + 1);

    // The strokes a and b meet once, at (15, 5): offsets along both.
    List list;
    ASSERT_EQ(qd_te_cogo_intersection_list_init(&list.l), -1);
    const TeSplineBand flat = {0, 0, 29, 0, 0};
    ASSERT_EQ(qd_te_cogo_stroke_intersections(a, a + 29, b, b + 29, &flat, &flat, 3, 7, &list.l, 0,
                                              0, 0, 0, nullptr),
              1);
    ASSERT_EQ(list.l.count, 1);
    EXPECT_POINT(list.l.items[0].point, 15, 5, 1e-12);
    EXPECT_EQ(list.l.items[0].index_a, 3);
    EXPECT_NEAR(list.l.items[0].offset_a, 15 * std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(list.l.items[0].offset_b, 15, 1e-12);
}
