// The primitive filter, the repair of open surfaces, and the list
// utilities: lists of lists, binary search, adjust pairs and their search.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_util.h"

using geotest::C;

TEST(qd_te_rules_filter, DropsByType) {
    geotest::Object o;
    o.AddPoint(C(0, 0));
    o.AddCurve(geotest::Curve({C(0, 0), C(1, 1)}));
    o.AddCurve(geotest::Curve({C(0, 0), C(1, 1), C(2, 0)}, KTGEO_CIRCULAR_ARC));
    o.AddPath(geotest::Path({geotest::Curve({C(0, 0), C(1, 0)})}));
    TeFilter f;
    qd_te_filter_geom_init(&f, 0);
    EXPECT_EQ(qd_te_validate_filter(&f), 0);
    f.drop_broken_holes = 1;
    EXPECT_EQ(qd_te_validate_filter(&f), 0);  // not active alone
    f.drop_broken_holes = 0;

    struct {
        int32_t TeFilter::*field;
        std::vector<int> keep;  // per primitive
    } cases[] = {
        {&TeFilter::drop_points, {0, 1, 1, 1}},
        {&TeFilter::drop_curves, {1, 0, 0, 1}},
        {&TeFilter::drop_polylines, {1, 0, 1, 1}},
        {&TeFilter::drop_open_arcs, {1, 1, 0, 1}},
        {&TeFilter::drop_closed_arcs, {1, 1, 1, 1}},
        {&TeFilter::drop_paths, {1, 1, 1, 0}},
        {&TeFilter::drop_all, {0, 0, 0, 0}},
    };
    for (const auto& k : cases) {
        qd_te_filter_geom_init(&f, 0);
        f.*k.field = 1;
        EXPECT_EQ(qd_te_validate_filter(&f), 1);
        for (uint32_t i = 0; i < 4; ++i) {
            int keep = -1;
            ASSERT_EQ(qd_te_filter_primitive(o.Primitive(i), &f, &keep), 1);
            EXPECT_EQ(keep, k.keep[i]) << i;
        }
    }
    // The geometry filter removes in order.
    qd_te_filter_geom_init(&f, 0);
    f.drop_curves = 1;
    ASSERT_EQ(qd_te_filter_geom(&o.so, &f), 1);
    ASSERT_EQ(nlst_tally(o.so.primitives), 2u);
    EXPECT_EQ(o.Primitive(0)->type, KTGEO_POINT);
    EXPECT_EQ(o.Primitive(1)->type, KTGEO_PATH);
}

TEST(qd_te_rules_filter, RepairOpenSurface) {
    // A sound square without holes, flagged invalid: the check settles it
    // valid (it was dropped as invalid before).
    geotest::Object o;
    GeoPolygon* sound = o.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 10)}, 1, 1)));
    sound->valid = 0;
    TeFilter f;
    qd_te_filter_geom_init(&f, 0);
    f.drop_invalid_polygons = 1;
    int keep = -1;
    ASSERT_EQ(qd_te_filter_primitive(o.Primitive(0), &f, &keep), 1);
    EXPECT_EQ(keep, 1);
    EXPECT_EQ(o.Primitive(0)->geom.polygon.valid, 1);

    // A broken hole (open) is removed with drop_broken_holes, and the
    // emptied hole list freed.
    geotest::Object h;
    GeoPolygon* holed = h.AddPolygon(geotest::Polygon(
        geotest::Path({geotest::Square(0, 0, 10)}, 1, 1),
        {geotest::Path({geotest::Curve({C(2, 2), C(3, 2), C(3, 3)})}, 1, 0)}));
    holed->valid = 0;
    f.drop_broken_holes = 1;
    ASSERT_EQ(qd_te_filter_primitive(h.Primitive(0), &f, &keep), 1);
    EXPECT_EQ(h.Primitive(0)->geom.polygon.interiors, nullptr);
    EXPECT_EQ(h.Primitive(0)->geom.polygon.valid, 1);
    EXPECT_EQ(keep, 1);
}

TEST(qd_te_rules_lists, AppendAndSearch) {
    nlst* list = nullptr;
    const int32_t v[] = {5, 9, 2};
    for (int32_t x : v) ASSERT_EQ(qd_te_append_item_to_list(&list, &x, 4), 1);
    ASSERT_EQ(nlst_tally(list), 3u);
    nlst* lists = nullptr;
    ASSERT_EQ(qd_te_append_item_to_list(&lists, &list, sizeof list), 1);
    nlst* null_list = nullptr;
    ASSERT_EQ(qd_te_append_item_to_list(&lists, &null_list, sizeof null_list), 1);
    ASSERT_EQ(qd_te_free_list_of_lists(&lists), 1);  // frees list too
    EXPECT_EQ(lists, nullptr);

    int32_t sorted[] = {1, 3, 5, 7};
    const int32_t k5 = 5, k4 = 4, k9 = 9;
    EXPECT_EQ(qd_te_binary_search(&k5, sorted, 4, 4, qd_te_int_compare), &sorted[2]);
    EXPECT_EQ(qd_te_binary_search(&k4, sorted, 4, 4, qd_te_int_compare), &sorted[2]);
    EXPECT_EQ(qd_te_binary_search(&k9, sorted, 4, 4, qd_te_int_compare), &sorted[4]);
}

TEST(qd_te_rules_lists, AdjustPairs) {
    nlst* pairs = nullptr;
    const GeoCoord a = C(1, 1), ta = C(10, 10), b = C(1, 1 + 1e-11), tb = C(20, 20);
    ASSERT_EQ(qd_te_add_adjust_pair(&a, &ta, -0.5, &pairs), 1);
    ASSERT_EQ(qd_te_add_adjust_pair(&b, &tb, 0, &pairs), 1);
    ASSERT_EQ(qd_te_add_adjust_pair(nullptr, &tb, 0, &pairs), 1);  // nothing appended
    ASSERT_EQ(nlst_tally(pairs), 2u);
    const auto* recs = static_cast<TeAdjustPair*>(pairs->data);
    EXPECT_EQ(recs[0].tolerance, 0.5);
    EXPECT_EQ(recs[1].tolerance, 1e-10);
    // Exact order: (1, 1) before (1, 1 + 1e-11).
    TeAdjustPair x = recs[0], y = recs[1];
    EXPECT_LT(qd_te_adjust_pair_compare(&x, &y), 0);
    EXPECT_EQ(qd_te_adjust_pair_compare(&x, &x), 0);
    nlst_free(pairs);

    // The search against brute force: 1,000 random points near 1,000 sources.
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(0, 100), d(-3e-10, 3e-10);
    nlst* list = nullptr;
    std::vector<GeoCoord> src;
    for (int i = 0; i < 1000; ++i) {
        const GeoCoord s = C(u(gen), u(gen)), t = C(i, -i);
        src.push_back(s);
        qd_te_add_adjust_pair(&s, &t, 1e-10, &list);
    }
    nlst_sort(list, qd_te_adjust_pair_compare);
    int hits = 0;
    for (int i = 0; i < 1000; ++i) {
        const GeoCoord q = C(src[i].x + d(gen), src[i].y + d(gen));
        const auto* all = static_cast<TeAdjustPair*>(list->data);
        const TeAdjustPair* brute = nullptr;
        for (uint32_t j = 0; j < nlst_tally(list) && !brute; ++j)
            if (qd_te_same_fuzzy_point(&q, &all[j].source, 1e-10)) brute = &all[j];
        const TeAdjustPair* found = qd_te_adjust_pair_find(list, &q, 0);
        EXPECT_EQ(found, brute) << i;
        hits += brute != nullptr;
    }
    EXPECT_GT(hits, 100);
    nlst_free(list);
}

TEST(qd_te_rules_lists, AssemblyDistance) {
    geotest::Object o;
    o.AddPoint(C(0, 0));
    o.AddCurve(geotest::Curve({C(0, 0), C(1, 1)}));
    o.AddPoint(C(3, 4));
    double dist = -1;
    int done = 0;
    ASSERT_EQ(qd_te_assembly_distance(&o.so, &dist, &done), 1);
    EXPECT_EQ(dist, 5);
    EXPECT_EQ(done, 0);
    o.AddPoint(C(9, 9));
    ASSERT_EQ(qd_te_assembly_distance(&o.so, &dist, &done), 1);
    EXPECT_EQ(dist, 0);
    EXPECT_EQ(done, 1);
}
