// The pairwise intersection routines through their dispatchers (slot,
// vertex index and offset in both operand orders), the two-chain sweep
// and the intersection walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_geo_chain.h"

using namespace tetest;
using geotest::FailRecorder;

namespace {

struct Item {
    double x, y;
    int32_t ia, ib;
    double oa, ob;
};

// Items compared as a set (order as the geometry gives it is not fixed
// here), coordinates and offsets within 1e-9.
void ExpectItems(std::vector<TeIntersection> got, std::vector<Item> want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    auto key = [](double x, double y) { return std::make_pair(std::round(x * 1e6), std::round(y * 1e6)); };
    std::sort(got.begin(), got.end(), [&](auto& a, auto& b) { return key(a.point.x, a.point.y) < key(b.point.x, b.point.y); });
    std::sort(want.begin(), want.end(), [&](auto& a, auto& b) { return key(a.x, a.y) < key(b.x, b.y); });
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].point.x, want[i].x, 1e-9) << what << " item " << i;
        EXPECT_NEAR(got[i].point.y, want[i].y, 1e-9) << what << " item " << i;
        EXPECT_EQ(got[i].index_a, want[i].ia) << what << " item " << i;
        EXPECT_EQ(got[i].index_b, want[i].ib) << what << " item " << i;
        EXPECT_NEAR(got[i].offset_a, want[i].oa, 1e-9) << what << " item " << i;
        EXPECT_NEAR(got[i].offset_b, want[i].ob, 1e-9) << what << " item " << i;
    }
}

// Items with slot A and slot B exchanged.
std::vector<Item> Swapped(std::vector<Item> v) {
    for (Item& i : v) std::swap(i.ia, i.ib), std::swap(i.oa, i.ob);
    return v;
}

struct PairCase {
    const char* name;
    TeChain c, r;
    const char* routine;
    int32_t swap;          // c is the routine's second operand
    std::vector<Item> items;  // slot A = the routine's first operand
};

const double kS2 = std::sqrt(2.0);

std::vector<PairCase> IntersectionCases() {
    const auto Q2 = [](double x, double y) { return Q(x, y); };
    std::vector<PairCase> v;
    // LINE x LINE: (0,0)-(4,4) crosses (1,0)-(1,4) at (1,1).
    v.push_back({"line line", Ch(TE_LINE, {Q2(0, 0), Q2(4, 4)}), Ch(TE_LINE, {Q2(1, 0), Q2(1, 4)}),
                 "qd_te_fuzzy_int_vect_vect", 0, {{1, 1, 0, 0, kS2, 1}}});
    // PATH x LINE: the line (0,1)-(4,1) crosses the path's first and last segments.
    v.push_back({"path line", Ch(TE_PATH, {Q2(1, 0), Q2(1, 2), Q2(3, 2), Q2(3, 0)}),
                 Ch(TE_LINE, {Q2(0, 1), Q2(4, 1)}), "qd_te_fuzzy_int_vect_path", 1,
                 {{1, 1, 0, 0, 1, 1}, {3, 1, 0, 2, 3, 1}}});
    // LINE x CIRCLE: twice.
    v.push_back({"line circle", Ch(TE_LINE, {Q2(-10, 0), Q2(10, 0)}), Ch(TE_CIRCLE, {Q2(0, 0)}, 0, 5),
                 "qd_te_fuzzy_int_vect_circle", 0, {{-5, 0, 0, 0, 5, 0}, {5, 0, 0, 0, 15, 0}}});
    // LINE x ARC: the upper half circle of radius 5 at (0,5).
    v.push_back({"line arc", Ch(TE_LINE, {Q2(0, -1), Q2(0, 10)}), Ch(TE_ARC, {Q2(-5, 0), Q2(0, 5), Q2(5, 0)}),
                 "qd_te_fuzzy_int_vect_arc", 0, {{0, 5, 0, 0, 6, 0}}});
    // CIRCLE x CIRCLE: (3, +-4).
    v.push_back({"circle circle", Ch(TE_CIRCLE, {Q2(0, 0)}, 0, 5), Ch(TE_CIRCLE, {Q2(6, 0)}, 0, 5),
                 "qd_te_fuzzy_int_cir_cir", 0, {{3, 4, 0, 0, 0, 0}, {3, -4, 0, 0, 0, 0}}});
    // CIRCLE x ARC: the upper half circle meets the other circle at (3,4) only.
    v.push_back({"circle arc", Ch(TE_CIRCLE, {Q2(6, 0)}, 0, 5), Ch(TE_ARC, {Q2(-5, 0), Q2(0, 5), Q2(5, 0)}),
                 "qd_te_fuzzy_int_cir_arc", 0, {{3, 4, 0, 0, 0, 0}}});
    // ARC x ARC.
    v.push_back({"arc arc", Ch(TE_ARC, {Q2(-5, 0), Q2(0, 5), Q2(5, 0)}), Ch(TE_ARC, {Q2(1, 0), Q2(6, 5), Q2(11, 0)}),
                 "qd_te_fuzzy_int_arc_arc", 0, {{3, 4, 0, 0, 0, 0}}});
    // PATH x CIRCLE: segment 0 at offset 5, segment 1 at offset 7.
    v.push_back({"path circle", Ch(TE_PATH, {Q2(-10, 0), Q2(-2, 0), Q2(10, 0)}), Ch(TE_CIRCLE, {Q2(0, 0)}, 0, 5),
                 "qd_te_fuzzy_int_path_circle", 0, {{-5, 0, 0, 0, 5, 0}, {5, 0, 1, 0, 7, 0}}});
    // PATH x ARC: the path's second segment at offset 3.
    v.push_back({"path arc", Ch(TE_PATH, {Q2(0, -1), Q2(0, 2), Q2(0, 10)}), Ch(TE_ARC, {Q2(-5, 0), Q2(0, 5), Q2(5, 0)}),
                 "qd_te_fuzzy_int_path_arc", 0, {{0, 5, 1, 0, 3, 0}}});
    // PATH x PATH: the first's first segment crosses y = 2 at x = 2/3.
    v.push_back({"path path", Ch(TE_PATH, {Q2(0, 0), Q2(1, 3), Q2(4, 4)}), Ch(TE_PATH, {Q2(0, 2), Q2(4, 2), Q2(8, 2)}),
                 "qd_te_fuzzy_int_path_path", 0, {{2.0 / 3, 2, 0, 0, std::sqrt(40.0) / 3, 2.0 / 3}}});
    return v;
}

}  // namespace

namespace {

// Runs each case of a table in both orders through a dispatcher,
// run(walk, other, &found, chains), and checks the routine the spy saw.
template <class Run>
void TableBothOrders(std::vector<PairCase> cases, int32_t mode, Run run) {
    for (PairCase& k : cases) {
        Owned c(k.c), r(k.r);
        for (int order = 0; order < 2; ++order) {
            TeChain* walk = order == 0 ? c.get() : r.get();
            TeChain* other = order == 0 ? r.get() : c.get();
            // The walking chain of the second order is the other operand:
            // the same routine, the swap flag flipped unless the kinds agree.
            const bool same_kind = walk->chain_type == other->chain_type;
            const int32_t swap = same_kind ? 0 : (order == 0 ? k.swap : 1 - k.swap);
            DispatchSpy spy;
            Chains list;
            int32_t found = -1;
            ASSERT_EQ(run(walk, other, &found, list.list), 1) << k.name;
            if (mode == 1) {
                EXPECT_EQ(found, 0) << k.name;
            }
            EXPECT_EQ(spy.routine, k.routine) << k.name << " order " << order;
            EXPECT_EQ(spy.swap, swap) << k.name << " order " << order;
            EXPECT_EQ(spy.mode, mode) << k.name;
            // Same kinds: the walking chain is the first operand, so its
            // slot is A in the first order and B in the second.
            ExpectItems(spy.items, same_kind && order == 1 ? Swapped(k.items) : k.items,
                        std::string(k.name) + (order ? " reversed" : ""));
        }
    }
}

}  // namespace

TEST(qd_te_int, PairTableBothOrders) {
    TableBothOrders(IntersectionCases(), 1, [](TeChain* walk, TeChain* other, int32_t* found, nlst* chains) {
        return qd_te_fuzzy_int_prim(found, chains, other, walk, 1e-9);
    });
}

std::vector<PairCase> ProjectionCases() {
    const double t = 1e-6;
    std::vector<PairCase> v;
    // A line ending on the middle of another: only the other is cut.
    v.push_back({"line on line", Ch(TE_LINE, {Q(0, 0), Q(2, 0)}, t), Ch(TE_LINE, {Q(1, 5e-7), Q(1, 3)}, t),
                 "qd_te_fuzzy_proj_line_on_line", 0, {{1, 0, 0, -1, 1, 0}}});
    // A path's end on a line's middle: the line cut at (1, 0), the path at
    // its own vertex 0 (an end, dropped later by the split-node step).
    v.push_back({"path on line", Ch(TE_PATH, {Q(1, 5e-7), Q(1, 3), Q(2, 3)}, t), Ch(TE_LINE, {Q(0, 0), Q(2, 0)}, t),
                 "qd_te_fuzzy_proj_path_on_line", 0, {{1, 0, -1, 0, 0, 1}, {1, 5e-7, 0, -1, 0, 0}}});
    // A node on a path's inner vertex.
    v.push_back({"node on path", Ch(TE_NODE, {Q(2, 5e-7)}, t), Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(4, 1)}, t),
                 "qd_te_fuzzy_proj_node_on_path", 0, {{2, 0, -1, 1, 0, 0}}});
    // A line's end on a circle.
    v.push_back({"line on circle", Ch(TE_LINE, {Q(5.0000005, 0), Q(9, 0)}, t), Ch(TE_CIRCLE, {Q(0, 0)}, t, 5),
                 "qd_te_fuzzy_proj_line_on_circle", 0, {{5, 0, -1, 0, 0, 0}}});
    // An arc's end on a circle.
    v.push_back({"arc on circle", Ch(TE_ARC, {Q(-5, 0), Q(0, 5), Q(5, 0)}, t), Ch(TE_CIRCLE, {Q(10.0000005, 0)}, t, 5),
                 "qd_te_fuzzy_proj_arc_on_circle", 0, {{5.0000005, 0, -1, 0, 0, 0}}});
    // Circles touching from outside: one item on each.
    v.push_back({"circle on circle", Ch(TE_CIRCLE, {Q(0, 0)}, t, 5), Ch(TE_CIRCLE, {Q(10.0000005, 0)}, t, 5),
                 "qd_te_fuzzy_proj_circle_on_circle", 0, {{5.0000005, 0, -1, 0, 0, 0}, {5, 0, 0, -1, 0, 0}}});
    return v;
}

TEST(qd_te_int, ProjectionTableBothOrders) {
    TableBothOrders(ProjectionCases(), 0, [](TeChain* walk, TeChain* other, int32_t* found, nlst* chains) {
        return qd_te_fuzzy_proj_prim(walk, other, found, chains, 1e-9);
    });
}

TEST(qd_te_int, CurvesDispatchAndCross) {
    // A curve through (-5,1), (0,3), (5,1) crossed by a vertical line at x = 2.
    Owned curve(Ch(TE_CURVE, {Q(-5, 1), Q(0, 3), Q(5, 1)}));
    Owned line(Ch(TE_LINE, {Q(2, -10), Q(2, 10)}));
    for (int order = 0; order < 2; ++order) {
        DispatchSpy spy;
        Chains list;
        int32_t found = -1;
        TeChain* walk = order == 0 ? curve.get() : line.get();
        TeChain* other = order == 0 ? line.get() : curve.get();
        ASSERT_EQ(qd_te_fuzzy_int_prim(&found, list.list, other, walk, 1e-9), 1);
        EXPECT_EQ(spy.routine, "qd_te_fuzzy_int_curve_vect");
        EXPECT_EQ(spy.swap, order == 0 ? 0 : 1);
        ASSERT_EQ(spy.items.size(), 1u);
        EXPECT_NEAR(spy.items[0].point.x, 2, 1e-9);
        EXPECT_EQ(spy.items[0].index_a, 1);  // on the curve's second span
    }
}

TEST(qd_te_int, StatusesAndEdgeCases) {
    TeIntersectionList list = {0, 0, nullptr};
    int32_t status = -9;
    // Two lines sharing an end vertex and nothing else: nothing.
    Owned a(Ch(TE_LINE, {Q(0, 0), Q(2, 0)})), b(Ch(TE_LINE, {Q(2, 0), Q(3, 5)}));
    ASSERT_EQ(qd_te_fuzzy_int_vect_vect(a.get(), b.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // Two paths touching at a vertex: items there (touching counts in the
    // sweep; each pair of segments meeting there gives one, the cut
    // drops repeated nodes), all at the shared vertex 1 of both.
    Owned p(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(4, 0)})), q(Ch(TE_PATH, {Q(0, 4), Q(2, 2), Q(4, 4)}));
    ASSERT_EQ(qd_te_fuzzy_int_path_path(p.get(), q.get(), &list, &status), 1);
    EXPECT_EQ(status, 1);
    ASSERT_GE(list.count, 1);
    for (int32_t i = 0; i < list.count; ++i) {
        EXPECT_EQ(list.items[i].index_a, 1);
        EXPECT_EQ(list.items[i].index_b, 1);
        EXPECT_EQ(list.items[i].offset_a, 0);
        EXPECT_EQ(list.items[i].offset_b, 0);
    }
    qd_te_cogo_intersection_list_free(&list);
    // Envelopes that only touch are swept; disjoint ones give nothing.
    Owned e1(Ch(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 0)})), e2(Ch(TE_PATH, {Q(2, 0), Q(3, 1), Q(4, 0)}));
    ASSERT_EQ(qd_te_fuzzy_int_path_path(e1.get(), e2.get(), &list, &status), 1);
    EXPECT_EQ(status, 1);
    qd_te_cogo_intersection_list_free(&list);
    Owned far(Ch(TE_PATH, {Q(10, 10), Q(11, 11), Q(12, 10)}));
    ASSERT_EQ(qd_te_fuzzy_int_path_path(e1.get(), far.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // A circle whose radius is below its centre tolerance: CHAIN_INVALID, status 0.
    Owned small(Ch(TE_CIRCLE, {Q(0, 0)}, 1e-3, 1e-4)), l(Ch(TE_LINE, {Q(-1, 0), Q(1, 0)}));
    small->discard = CHAIN_OK;  // as stored before any check
    ASSERT_EQ(qd_te_fuzzy_int_vect_circle(l.get(), small.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(small->discard, CHAIN_INVALID);
    // Segments of one chain are never intersected by the two-chain sweep:
    // a self-crossing path against a far line gives nothing.
    Owned eight(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2)})), away(Ch(TE_LINE, {Q(5, 5), Q(6, 6)}));
    ASSERT_EQ(qd_te_fuzzy_int_vect_path(away.get(), eight.get(), &list, &status), 1);
    EXPECT_EQ(status, 0);
    // The loader: one segment per pair of vertices, a one-vertex list one
    // segment onto itself, marks -1 or 0.
    nlst* segs = nullptr;
    Owned one(Ch(TE_PATH, {Q(3, 3)}));
    ASSERT_EQ(qd_te_fuzzy_load_segments(one->coords, nullptr, &segs, 2), 1);
    ASSERT_EQ(qd_te_fuzzy_load_segments_unmarked(p->coords, nullptr, &segs, 1), 1);
    ASSERT_EQ(segs->tally, 3u);
    const auto* s = static_cast<const TeSegment*>(segs->data);
    EXPECT_EQ(s[0].start, s[0].end);
    EXPECT_EQ(s[0].mark, -1);
    EXPECT_EQ(s[1].mark, 0);
    EXPECT_EQ(s[2].index, 1);
    nlst_free(segs);
}

TEST(qd_te_int, NullAndWrongKindAreReported) {
    FailRecorder rec;
    TeIntersectionList list = {0, 0, nullptr};
    int32_t status = 0;
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(1, 1)}));
    EXPECT_EQ(qd_te_fuzzy_int_path_path(line.get(), line.get(), &list, &status), 0);
    ASSERT_FALSE(rec.reports().empty());
    EXPECT_EQ(rec.Last().code, "UKT1M");
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_int_path_path");
    EXPECT_EQ(qd_te_fuzzy_int_vect_vect(nullptr, line.get(), &list, &status), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_int_vect_vect");
    int32_t found = 0;
    EXPECT_EQ(qd_te_fuzzy_int_prim(&found, nullptr, line.get(), line.get(), 0), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_int_prim");
    EXPECT_EQ(qd_te_intersect_chains(nullptr, 1, 1, 1, 0), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_intersect_chains");
    Chains chains;
    Owned region(Ch(TE_REGION, {Q(0, 0), Q(0, 1), Q(1, 1), Q(0, 0)}));
    EXPECT_EQ(qd_te_fuzzy_int_line_any(line.get(), region.get(), chains.list, 0, &found), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_int_line_any");
}

namespace {

// A linked chain list of the given chains (sorted by minimum x).
struct Linked {
    Chains chains;
    explicit Linked(std::vector<TeChain> v) {
        for (TeChain& c : v) chains.Add(c);
        qd_te_chain_list_sort(chains.list);
        qd_te_link_setup(chains.list);
    }
    int32_t RowOf(int32_t pid) {
        for (int32_t i = 1; i < chains.Count(); ++i)
            if (chains.At(i)->chain_pid == pid) return i;
        return -1;
    }
};

TeChain Pid(TeChain c, int32_t pid) {
    c.chain_pid = pid;
    return c;
}

}  // namespace

TEST(qd_te_int, WalkPairsByRectangle) {
    // c (pid 1) spans x 0..2; pid 2 touches its rectangle along x = 2 and
    // crosses nothing; pid 3 starts beyond x = 2 and would cross c's line
    // extended, but the walk ends at it; pid 4 would cross c yet comes
    // after pid 3 in the order.
    Linked l({Pid(Ch(TE_LINE, {Q(0, 0), Q(2, 2)}), 1), Pid(Ch(TE_LINE, {Q(2, 2), Q(2, 5)}), 2),
              Pid(Ch(TE_LINE, {Q(3, 0), Q(3, 9)}), 3), Pid(Ch(TE_NODE, {Q(1, 1)}, 1e-6), 5)});
    DispatchSpy spy;
    std::vector<std::string> heard;
    qd_te_dispatch_spy = {[](const char* routine, const TeIntersectionList*, int32_t, int32_t, void* user) {
                              static_cast<std::vector<std::string>*>(user)->push_back(routine);
                              return 0;
                          },
                          &heard};
    ASSERT_EQ(qd_te_intersect_chains(l.chains.list, l.RowOf(1), 1, 1, 1e-9), 1);
    // The node on c's middle is projected (never intersected); the touching
    // line gives no items at a shared end; nothing reaches pid 3.
    EXPECT_EQ(heard, std::vector<std::string>({"qd_te_fuzzy_proj_node_on_line"}));
    // A NODE walking: never intersected, only projected.
    heard.clear();
    ASSERT_EQ(qd_te_intersect_chains(l.chains.list, l.RowOf(5), 1, 1, 1e-9), 1);
    EXPECT_TRUE(heard.empty());  // nothing after the node overlaps it
    // A list with one chain: nothing paired.
    Linked single({Ch(TE_LINE, {Q(0, 0), Q(1, 1)})});
    heard.clear();
    ASSERT_EQ(qd_te_intersect_chains(single.chains.list, 1, 1, 1, 1e-9), 1);
    EXPECT_TRUE(heard.empty());
}

TEST(qd_te_int, WalkSkipsProjectionWhenSwitchedOff) {
    Linked l({Pid(Ch(TE_LINE, {Q(0, 0), Q(2, 0)}, 1e-6), 1), Pid(Ch(TE_LINE, {Q(1, 5e-7), Q(1, 3)}, 1e-6), 2)});
    std::vector<std::string> heard;
    qd_te_dispatch_spy = {[](const char* routine, const TeIntersectionList*, int32_t, int32_t, void* user) {
                              static_cast<std::vector<std::string>*>(user)->push_back(routine);
                              return 0;
                          },
                          &heard};
    ASSERT_EQ(qd_te_intersect_chains(l.chains.list, l.RowOf(1), 0, 1, 1e-9), 1);
    EXPECT_TRUE(heard.empty());
    ASSERT_EQ(qd_te_intersect_chains(l.chains.list, l.RowOf(1), 1, 0, 1e-9), 1);
    EXPECT_EQ(heard, std::vector<std::string>({"qd_te_fuzzy_proj_line_on_line"}));
    qd_te_dispatch_spy = {nullptr, nullptr};
}
