// Every allocating search, run with each of its allocations failing in
// turn: it answers -3 (or its documented failure), frees what it took (the
// sanitizer build checks leaks) and leaves the caller's list as it was.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

TEST(qd_te_cogo_alloc, FailuresLeaveTheListUntouched) {
    std::vector<GeoCoord> zig = {P(0, 0), P(4, 1), P(1, 2), P(5, 3), P(0, 4)};
    std::vector<GeoCoord> cross = {P(2, -1), P(2.5, 2), P(2, 5)};
    std::vector<GeoCoord> dup = {P(0, 0), P(4, 1), P(4, 1), P(1, 2), P(5, 3), P(0, 4)};
    std::vector<GeoCoord> loop = {P(0, 0), P(4, 0), P(6, 2), P(5, 4), P(3, 3), P(3, -2)};
    TeBoundedArray bz = tetest::Bounded(zig), bc = tetest::Bounded(cross);
    TeCoordArray cz = {zig.data(), 5}, cc = {cross.data(), 3}, cd = {dup.data(), 6},
                 cl = {loop.data(), 6};
    const TeCircle circle = {P(2, 2), 1.5};
    const TeArc arc = {P(2, 2), 1.5, 0, 270};
    const GeoCoord a = P(-1, 1.5), b = P(6, 1.5);
    struct Case {
        const char* what;
        std::function<int(TeIntersectionList*)> run;
    } cases[] = {
        {"self", [&](TeIntersectionList* l) { return qd_te_cogo_self_intersections(&cl, l, 0, nullptr); }},
        {"two arrays", [&](TeIntersectionList* l) { return qd_te_cogo_sweep_two_arrays(&bz, &bc, l, 1, 0, nullptr); }},
        {"segment polyline", [&](TeIntersectionList* l) { return qd_te_cogo_segment_polyline_intersections(&a, &b, &bz, l, 0, nullptr); }},
        {"line polyline", [&](TeIntersectionList* l) { return qd_te_cogo_line_polyline_intersections(&a, &b, &bz, l, 0, nullptr); }},
        {"polyline circle", [&](TeIntersectionList* l) { return qd_te_cogo_polyline_circle_intersections(&bz, &circle, l, 0, nullptr); }},
        {"polyline arc", [&](TeIntersectionList* l) { return qd_te_cogo_polyline_arc_intersections(&bz, &arc, l, 0, nullptr); }},
        {"curve self", [&](TeIntersectionList* l) { return qd_te_cogo_curve_self_intersections(&cl, l, nullptr); }},
        {"curves, duplicates", [&](TeIntersectionList* l) { return qd_te_cogo_curve_intersections(&cd, &cc, l, nullptr); }},
        {"curves", [&](TeIntersectionList* l) { return qd_te_cogo_curve_intersections(&cz, &cc, l, nullptr); }},
        {"segment curve", [&](TeIntersectionList* l) { return qd_te_cogo_segment_curve_intersections(&cz, &a, &b, l, nullptr); }},
        {"curve polyline", [&](TeIntersectionList* l) { return qd_te_cogo_curve_polyline_intersections(&cz, &bc, l, nullptr); }},
        {"circle curve", [&](TeIntersectionList* l) { return qd_te_cogo_circle_curve_intersections(&cz, &circle, l, nullptr); }},
        {"arc curve", [&](TeIntersectionList* l) { return qd_te_cogo_arc_curve_intersections(&cd, &arc, l, nullptr); }},
    };
    TeIntersection sentinel[1] = {};
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        tetest::ForEachAllocFailure([&](uint64_t nth) {
            TeIntersectionList list = {7, 7, sentinel};
            const int r = c.run(&list);
            if (nth == 0) {
                ASSERT_EQ(r, 1);
                qd_te_cogo_intersection_list_free(&list);
                return;
            }
            EXPECT_EQ(r, -3) << nth;
            EXPECT_EQ(list.items, sentinel);
            EXPECT_EQ(list.count, 7);
        });
    }
    // Single answers: the tangent and the closest point of a curve with a
    // repeated node.
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        double angle = 9;
        EXPECT_EQ(qd_te_cogo_curve_tangent_at(&cd, 3, &angle, nullptr), nth ? -3 : -1);
    });
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeNearestPoint near;
        const GeoCoord p = P(3, 3);
        EXPECT_EQ(qd_te_cogo_curve_closest_point(&p, &cd, &near, nullptr), nth ? -3 : -1);
    });
}
