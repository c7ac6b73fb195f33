// Projections of vertices and nodes onto primitives and the projection
// pairs of lines, circles and paths; items are checked slot by slot.
#include <gtest/gtest.h>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"

using namespace tetest;

namespace {

TeVertex V(double x, double y, double tol) { return {x, y, KTGEO_NO_Z, tol}; }

struct Room {
    TeIntersection items[4] = {};
    TeIntersectionList list = {0, 4, items};
};

std::vector<TeIntersection> Grown(nlst* holder) {
    std::vector<TeIntersection> v;
    if (holder) v.assign(static_cast<TeIntersection*>(holder->data), static_cast<TeIntersection*>(holder->data) + holder->tally);
    return v;
}

}  // namespace

TEST(qd_te_proj, PointOnSegment) {
    const TeVertex a = V(0, 0, 1e-6), b = V(2, 0, 1e-6);
    struct Case {
        TeVertex p;
        int32_t count;
    } cases[] = {
        {V(1, 5e-7, 1e-6), 1},    // on the middle within its tolerance
        {V(1, 2e-6, 1e-6), 0},    // beyond it
        {V(5e-7, 0, 1e-6), 0},    // at an end: no projection
        {V(2.0000005, 0, 0), 0},  // at the other end within the end's tolerance
    };
    for (const Case& k : cases) {
        Room r;
        ASSERT_EQ(qd_te_fuzzy_proj_ptn_on_vect(&k.p, &a, &b, &r.list, 1), 1);
        ASSERT_EQ(r.list.count, k.count) << k.p.x << " " << k.p.y;
        if (k.count) {
            EXPECT_EQ(r.items[0].point.x, 1);
            EXPECT_EQ(r.items[0].point.y, 0);
            EXPECT_EQ(r.items[0].index_a, 0);
            EXPECT_EQ(r.items[0].offset_a, 1);
            EXPECT_EQ(r.items[0].index_b, -1);
        }
    }
    // A zero-length segment never takes an item.
    Room r;
    const TeVertex z = V(1, 0, 1e-6), p = V(1, 5e-7, 1e-6);
    ASSERT_EQ(qd_te_fuzzy_proj_ptn_on_vect(&p, &z, &z, &r.list, 2), 1);
    EXPECT_EQ(r.list.count, 0);
    // A full list is reported.
    geotest::FailRecorder rec;
    TeIntersectionList full = {0, 0, nullptr};
    const TeVertex q = V(1, 0, 1e-6);
    EXPECT_EQ(qd_te_fuzzy_proj_ptn_on_vect(&q, &a, &b, &full, 1), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_proj_set_indexes");
}

TEST(qd_te_proj, PointOnPath) {
    // Inner vertex within tolerance: the item is the path's own vertex 1,
    // offset 0, and the projected point's own vertex 3 is cut on side 1.
    Owned path(Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(4, 0)}, 1e-6));
    const TeVertex p = V(2, 5e-7, 1e-6);
    nlst* holder = nullptr;
    ASSERT_EQ(qd_te_fuzzy_proj_ptn_on_path(&p, 3, path.get(), &holder, 2), 1);
    auto items = Grown(holder);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].index_b, 1);
    EXPECT_EQ(items[0].offset_b, 0);
    EXPECT_EQ(items[0].point.x, 2);
    EXPECT_EQ(items[0].point.y, 0);
    EXPECT_EQ(items[0].index_a, -1);
    EXPECT_EQ(items[1].index_a, 3);
    EXPECT_EQ(items[1].point.y, 5e-7);
    EXPECT_EQ(items[1].index_b, -1);
    nlst_free(holder);
    // Of two segments at the same distance the earlier one takes the item.
    Owned u(Ch(TE_PATH, {Q(0, 0), Q(4, 0), Q(4, 1), Q(0, 1)}, 0.6));
    const TeVertex mid = V(2, 0.5, 0.6);
    holder = nullptr;
    ASSERT_EQ(qd_te_fuzzy_proj_ptn_on_path(&mid, -1, u.get(), &holder, 1), 1);
    items = Grown(holder);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].index_a, 0);
    EXPECT_EQ(items[0].offset_a, 2);
    EXPECT_EQ(items[0].point.y, 0);
    nlst_free(holder);
}

TEST(qd_te_proj, NodesOnPrimitives) {
    TeIntersectionList list = {0, 0, nullptr};
    int32_t status = -1;
    // Within tolerance of a line's end: no item, the line is not cut.
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(2, 0)}, 1e-6)), end_node(Ch(TE_NODE, {Q(2, 5e-7)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_node_on_line(end_node.get(), line.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // On a path's inner vertex: an item at that vertex, offset 0.
    Owned path(Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(4, 1)}, 1e-6)), on(Ch(TE_NODE, {Q(2, 5e-7)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_node_on_path(on.get(), path.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.items[0].index_a, -1);
    EXPECT_EQ(list.items[0].index_b, 1);
    EXPECT_EQ(list.items[0].offset_b, 0);
    qd_te_cogo_intersection_list_free(&list);
    // Beyond its tolerance from a circle: nothing; within: the foot.
    Owned circle(Ch(TE_CIRCLE, {Q(0, 0)}, 0, 5)), off(Ch(TE_NODE, {Q(5.00001, 0)}, 1e-6)),
        near(Ch(TE_NODE, {Q(0, -5.0000005)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_node_on_circle(off.get(), circle.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(qd_te_fuzzy_proj_node_on_circle(near.get(), circle.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    EXPECT_NEAR(list.items[0].point.y, -5, 1e-12);
    EXPECT_EQ(list.items[0].index_b, 0);
    qd_te_cogo_intersection_list_free(&list);
    // Two nodes within the larger of their tolerances are merged.
    Owned n1(Ch(TE_NODE, {Q(1, 1)}, 1e-6)), n2(Ch(TE_NODE, {Q(1, 1 + 5e-7)}, 0));
    ASSERT_EQ(qd_te_fuzzy_proj_node_on_node(n1.get(), &status, n2.get()), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(n1->discard, CHAIN_OK);
    EXPECT_NE(n2->discard, CHAIN_OK);
}

TEST(qd_te_proj, LinesCirclesAndPaths) {
    TeIntersectionList list = {0, 0, nullptr};
    int32_t status = -1;
    // A line ending on the middle of another cuts the other only.
    Owned a(Ch(TE_LINE, {Q(0, 0), Q(2, 0)}, 1e-6)), b(Ch(TE_LINE, {Q(1, 5e-7), Q(1, 3)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_line_on_line(a.get(), b.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.items[0].index_a, 0);
    EXPECT_EQ(list.items[0].offset_a, 1);
    EXPECT_EQ(list.items[0].index_b, -1);
    qd_te_cogo_intersection_list_free(&list);
    // Two lines that cross give nothing here.
    Owned c(Ch(TE_LINE, {Q(0, -1), Q(2, 1)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_line_on_line(a.get(), c.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // Circles touching from outside within the tolerance: one item each.
    Owned c1(Ch(TE_CIRCLE, {Q(0, 0)}, 1e-6, 5)), c2(Ch(TE_CIRCLE, {Q(10.0000005, 0)}, 1e-6, 5));
    ASSERT_EQ(qd_te_fuzzy_proj_circle_on_circle(c1.get(), c2.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.items[0].index_a, -1);  // the first centre cuts the second circle
    EXPECT_EQ(list.items[0].index_b, 0);
    EXPECT_NEAR(list.items[0].point.x, 5.0000005, 1e-12);
    EXPECT_EQ(list.items[1].index_a, 0);
    EXPECT_EQ(list.items[1].index_b, -1);
    EXPECT_NEAR(list.items[1].point.x, 5, 1e-12);
    qd_te_cogo_intersection_list_free(&list);
    // Concentric circles: nothing.
    Owned c3(Ch(TE_CIRCLE, {Q(0, 0)}, 1e-6, 3));
    ASSERT_EQ(qd_te_fuzzy_proj_circle_on_circle(c1.get(), c3.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // A path's end touching the middle of a line cuts the line; the path's
    // own cut at that vertex is an end (vertex 0); an inner vertex touching
    // cuts the path there.
    Owned end_path(Ch(TE_PATH, {Q(1, 5e-7), Q(1, 3), Q(2, 3)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_path_on_line(end_path.get(), a.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.items[0].index_b, 0);  // the line, at (1, 0)
    EXPECT_EQ(list.items[0].offset_b, 1);
    EXPECT_EQ(list.items[1].index_a, 0);  // the path's own vertex 0
    qd_te_cogo_intersection_list_free(&list);
    Owned inner_path(Ch(TE_PATH, {Q(0, 3), Q(1, 5e-7), Q(2, 3)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_path_on_line(inner_path.get(), a.get(), &list, &status), 1);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.items[1].index_a, 1);
    qd_te_cogo_intersection_list_free(&list);
    // Path on path: each path's vertices onto the other.
    Owned p1(Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(4, 0)}, 1e-6)), p2(Ch(TE_PATH, {Q(1, 3), Q(1, 5e-7), Q(3, 2)}, 1e-6));
    ASSERT_EQ(qd_te_fuzzy_proj_path_on_path(p1.get(), p2.get(), &list, &status), 1);
    ASSERT_EQ(status, 1);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.items[0].index_a, 0);  // the first path at (1, 0)
    EXPECT_EQ(list.items[0].offset_a, 1);
    EXPECT_EQ(list.items[1].index_b, 1);  // the second path at its vertex 1
    qd_te_cogo_intersection_list_free(&list);
}
