// Coordinate reference lists: the path clip modes, the repeated-vertex and
// spike tests, the direction code, the touch counter, the match of two
// sequences and the references to split records.
#include <gtest/gtest.h>

#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_views.h"
#include "te_split_util.h"

using namespace tetest;

namespace {

struct Refs {
    nlst* list = nullptr;
    ~Refs() {
        if (list) nlst_free(list);
    }
    int32_t Count() const { return list ? int32_t(list->tally) : 0; }
    const TeCoordRef& At(int32_t i) const { return static_cast<const TeCoordRef*>(list->data)[i]; }
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> out;
        for (int32_t i = 0; i < Count(); ++i) out.push_back(At(i).index);
        return out;
    }
};

TeChain Square() { return Tol(TE_PATH, {Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)}, 1e-6); }

}  // namespace

TEST(qd_te_coordref, PathClipModes) {
    TeChain sq = Square();
    const int32_t want[] = {5, 4, 1};
    for (int32_t mode = 1; mode <= 3; ++mode) {
        Refs r;
        int32_t inside = -1;
        ASSERT_EQ(qd_te_duplicates_path_clip(&sq, &r.list, 7, nullptr, nullptr, mode, &inside), 1);
        EXPECT_EQ(r.Count(), want[mode - 1]) << mode;
        EXPECT_EQ(inside, mode == 1 ? 1 : 0) << mode;  // modes 2 and 3 take fewer points
        EXPECT_EQ(r.At(0).tag, 7);
        EXPECT_EQ(r.At(0).tol, 1e-6);
        EXPECT_EQ(r.At(0).group, -1);
    }
    // An open line in mode 3: its two ends.
    TeChain open = Tol(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 0), Q(3, 1)}, 1e-6);
    Refs ends;
    ASSERT_EQ(qd_te_duplicates_path_clip(&open, &ends.list, 1, nullptr, nullptr, 3, nullptr), 1);
    EXPECT_EQ(ends.Positions(), (std::vector<int32_t>{0, 3}));
    // A clip box: one point outside ends the visit when all_inside is asked.
    const GeoCoord box[2] = {Q(-0.5, -0.5), Q(0.5, 1.5)};
    Refs clipped;
    int32_t inside = -1;
    const double t = 0.1;
    ASSERT_EQ(qd_te_duplicates_path_clip(&sq, &clipped.list, 1, &t, box, 1, &inside), 1);
    EXPECT_EQ(inside, 0);
    EXPECT_EQ(clipped.Positions(), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(clipped.At(0).tol, 0.1);
    Refs skipped;
    ASSERT_EQ(qd_te_duplicates_path_clip(&sq, &skipped.list, 1, &t, box, 1, nullptr), 1);
    EXPECT_EQ(skipped.Positions(), (std::vector<int32_t>{0, 1, 4}));
    // Touching the box counts.
    const GeoCoord touch[2] = {Q(1.1, 1.1), Q(2, 2)};
    Refs corner;
    ASSERT_EQ(qd_te_duplicates_path_clip(&sq, &corner.list, 1, &t, touch, 1, nullptr), 1);
    EXPECT_EQ(corner.Positions(), (std::vector<int32_t>{2}));
    qd_te_geo_chain_release(&sq);
    qd_te_geo_chain_release(&open);
}

TEST(qd_te_coordref, RepeatedVerticesMode4) {
    struct Case {
        const char* name;
        std::vector<GeoCoord> pts;
        std::vector<int32_t> positions;
    } cases[] = {
        // The loops cross at (1, 0), visited at 2 and 5: both visits.
        {"figure-eight", {Q(0, 1), Q(0, -1), Q(1, 0), Q(2, 1), Q(2, -1), Q(1, 0), Q(0, 1)}, {5, 2}},
        // The loop only touches the rest of the ring at (1, 0).
        {"self-touching loop", {Q(0, 0), Q(1, 0), Q(2, 1), Q(1, 2), Q(1, 0), Q(0.5, 1), Q(0, 0)}, {}},
        // A, B, A inside a path: the place A (both visits) and the tip B twice.
        {"spike", {Q(0, 0), Q(1, 0), Q(2, 1), Q(1, 0), Q(1, -1)}, {3, 2, 2, 1}},
        {"simple square", {Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)}, {}},
    };
    for (const Case& k : cases) {
        TeChain c;
        qd_te_geo_chain_default(&c);
        c.chain_type = TE_PATH;
        c.coords = nlst_alloc(sizeof(TeVertex), 8, 8, nullptr);
        for (const GeoCoord& p : k.pts) {
            const TeVertex v = {p.x, p.y, p.z, 1e-9};
            nlst_add(c.coords, &v);
        }
        Refs r;
        ASSERT_EQ(qd_te_duplicates_path_clip(&c, &r.list, 3, nullptr, nullptr, 4, nullptr), 1) << k.name;
        EXPECT_EQ(r.Positions(), k.positions) << k.name;
        for (int32_t i = 0; i < r.Count(); ++i) EXPECT_EQ(r.At(i).tag, 3);
        qd_te_geo_chain_release(&c);
    }
}

TEST(qd_te_coordref, DirectionCodeAndSpikeTip) {
    const GeoCoord o = Q(0, 0);
    struct Case {
        GeoCoord p;
        int32_t quadrant;
        double slope;
    } cases[] = {{Q(1, 0), 1, 0},  {Q(0, 1), 2, 0},   {Q(-1, 0), 3, 0},   {Q(0, -1), 4, 0}, {Q(0, 0), 5, 0},
                 {Q(1, 2), 1, 2},  {Q(-1, 2), 2, 0.5}, {Q(-2, -1), 3, 0.5}, {Q(3, -1), 4, 3}};
    for (const Case& k : cases) {
        int32_t q = 0;
        double s = -1;
        ASSERT_EQ(qd_te_leaving_calc_cyclic_order(&o, &k.p, &q, &s), 1);
        EXPECT_EQ(q, k.quadrant) << k.p.x << " " << k.p.y;
        EXPECT_EQ(s, k.slope) << k.p.x << " " << k.p.y;
    }
    FailLog log;
    int32_t q = 0;
    EXPECT_EQ(qd_te_leaving_calc_cyclic_order(&o, nullptr, &q, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving_calc_cyclic_order"));
    int32_t tip = 0;
    EXPECT_EQ(qd_te_duplicates_spike_tip(0, 2, 3, 0, &tip), 1);
    EXPECT_EQ(tip, 1);
    EXPECT_EQ(qd_te_duplicates_spike_tip(2, 2, 5, 0, &tip), 0);
    EXPECT_EQ(tip, -1);
    // Closed ring of 6 points (5 distinct): position 1 and the closing
    // side: 0's neighbour before it wraps to 4, one from 3.
    EXPECT_EQ(qd_te_duplicates_spike_tip(0, 3, 6, 1, &tip), 1);
    EXPECT_EQ(tip, 4);
    EXPECT_EQ(qd_te_duplicates_spike_tip(0, 3, 6, 0, &tip), 0);
}

// Partners whose tolerances differ, or that lie 1.5e-10 apart with none:
// the sweep windows reach as far as the fuzzy test accepts.
TEST(qd_te_coordref, WindowsReachEveryPartner) {
    struct Case {
        double t1, t2, apart;
    } cases[] = {{0, 1e-3, 5e-4}, {1e-3, 0, 5e-4}, {0, 0, 1.5e-10}, {1e-3, 1e-3, 9.9e-4}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.apart);
        GeoCoord pts[4] = {Q(3, 1), Q(3 + k.apart, 1), Q(7, 1), Q(7, 1)};
        {
            Refs r;
            r.list = nlst_alloc(sizeof(TeCoordRef), 4, 4, nullptr);
            const TeCoordRef a = qd_te_coord_ref(nullptr, &pts[0].x, 1, k.t1, 1);
            const TeCoordRef b = qd_te_coord_ref(nullptr, &pts[1].x, 2, k.t2, 1);
            const TeCoordRef c = qd_te_coord_ref(nullptr, &pts[2].x, 1, k.t1, 2);
            const TeCoordRef d = qd_te_coord_ref(nullptr, &pts[3].x, 2, k.t2, 2);
            for (const auto* x : {&a, &b, &c, &d}) nlst_add(r.list, x);
            int32_t tag = 0, identical = 0;
            ASSERT_EQ(qd_te_duplicates_coord_match_list(r.list, &tag, 0, &identical), 1);
            EXPECT_EQ(identical, 1);
            EXPECT_EQ(tag, -1);
        }
        {
            Refs r;
            r.list = nlst_alloc(sizeof(TeCoordRef), 4, 4, nullptr);
            const TeCoordRef a = qd_te_coord_ref(nullptr, &pts[0].x, 1, k.t1, 1);
            const TeCoordRef b = qd_te_coord_ref(nullptr, &pts[1].x, 2, k.t2, 1);
            nlst_add(r.list, &a);
            nlst_add(r.list, &b);
            ASSERT_EQ(qd_te_duplicates_touch_count(r.list), 1);
            // Sorted by sequence: each counted once, the partner by the counter.
            EXPECT_EQ(r.At(0).group, 0);
            EXPECT_EQ(r.At(1).group, 0);
        }
    }
    // Beyond the tolerance: no match, no count.
    GeoCoord far[2] = {Q(0, 0), Q(2e-3, 0)};
    Refs r;
    r.list = nlst_alloc(sizeof(TeCoordRef), 2, 2, nullptr);
    const TeCoordRef a = qd_te_coord_ref(nullptr, &far[0].x, 1, 0, 1), b = qd_te_coord_ref(nullptr, &far[1].x, 2, 1e-3, 1);
    nlst_add(r.list, &a);
    nlst_add(r.list, &b);
    ASSERT_EQ(qd_te_duplicates_touch_count(r.list), 1);
    EXPECT_EQ(r.At(0).group, -1);
    EXPECT_EQ(r.At(1).group, -1);
}

TEST(qd_te_coordref, TouchCountAtStartsCountsTwice) {
    GeoCoord pts[3] = {Q(0, 0), Q(0, 0), Q(5, 5)};
    Refs r;
    r.list = nlst_alloc(sizeof(TeCoordRef), 3, 3, nullptr);
    const TeCoordRef a = qd_te_coord_ref(nullptr, &pts[0].x, 1, 0, 0);  // a chain's first point
    const TeCoordRef b = qd_te_coord_ref(nullptr, &pts[1].x, 2, 0, 3);
    const TeCoordRef c = qd_te_coord_ref(nullptr, &pts[2].x, 2, 0, 4);
    for (const auto* x : {&a, &b, &c}) nlst_add(r.list, x);
    ASSERT_EQ(qd_te_duplicates_touch_count(r.list), 1);
    EXPECT_EQ(r.At(0).group, 1);   // -1 + 2
    EXPECT_EQ(r.At(1).group, 1);   // -1 + 2
    EXPECT_EQ(r.At(2).group, -1);  // alone
}

TEST(qd_te_coordref, MatchListSequences) {
    // The second sequence has an extra point on the first's segment: it
    // survives; 1e-6 off the segment: not the same.
    for (const double off : {0.0, 1e-6}) {
        GeoCoord p1[3] = {Q(0, 0), Q(5, 0), Q(10, 0)};
        GeoCoord p2[4] = {Q(0, 0), Q(5, 0), Q(7, off), Q(10, 0)};
        Refs r;
        for (int32_t i = 0; i < 3; ++i) {
            const TeCoordRef x = qd_te_coord_ref(nullptr, &p1[i].x, 1, 1e-9, i);
            qd_te_append_item_to_list(&r.list, &x, sizeof x);
        }
        for (int32_t i = 0; i < 4; ++i) {
            const TeCoordRef x = qd_te_coord_ref(nullptr, &p2[i].x, 2, 1e-9, i);
            qd_te_append_item_to_list(&r.list, &x, sizeof x);
        }
        int32_t tag = 0, identical = -1;
        ASSERT_EQ(qd_te_duplicates_coord_match_list(r.list, &tag, 0, &identical), 1);
        EXPECT_EQ(tag, 2);
        EXPECT_EQ(identical, off == 0 ? 1 : 0);
        // Mode 1 only matches.
        for (int32_t i = 0; i < r.Count(); ++i) static_cast<TeCoordRef*>(r.list->data)[i].group = -1;
        ASSERT_EQ(qd_te_duplicates_coord_match_list(r.list, &tag, 1, &identical), 1);
        EXPECT_EQ(identical, 0);
        EXPECT_EQ(r.At(0).group, -1);  // the unmatched one sorts first
        EXPECT_GE(r.At(1).group, 0);
    }
    FailLog log;
    int32_t tag = 0;
    EXPECT_EQ(qd_te_duplicates_coord_match_list(nullptr, &tag, 0, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_duplicates_coord_match_list"));
    int32_t identical = 5;
    EXPECT_EQ(qd_te_duplicates_coord_match_list(nullptr, &tag, 0, &identical), 1);
    EXPECT_EQ(identical, 5);
}

TEST(qd_te_coordref, IntersectionNodesTaggedWithRows) {
    Chains chains;
    chains.Add(Tol(TE_LINE, {Q(0, 0), Q(1, 1)}, 1e-6));
    chains.Add(Tol(TE_LINE, {Q(0, 1), Q(1, 0)}, 1e-6));
    nlst* records = nlst_alloc(sizeof(TeSplitRecord), 4, 4, nullptr);
    const TeSplitRecord r1 = {2, 1, Node(0.5, 0.5, 0, 0.7, 1e-7)}, r2 = {1, 1, Node(0.5, 0.5, 0, 0.7, 1e-7)},
                        r3 = {2, 1, Node(9, 9, 0, 0.7, 1e-7)};
    for (const auto* r : {&r1, &r2, &r3}) nlst_add(records, r);
    Refs refs;
    const GeoCoord box[2] = {Q(0, 0), Q(1, 1)};
    ASSERT_EQ(qd_te_duplicates_intr_nodes_clip(records, chains.list, &refs.list, box, nullptr), 1);
    ASSERT_EQ(refs.Count(), 2);
    EXPECT_EQ(refs.At(0).tag, 2);
    EXPECT_EQ(refs.At(1).tag, 1);
    EXPECT_EQ(refs.At(0).index, -1);
    EXPECT_EQ(refs.At(0).tol, 1e-7);
    EXPECT_EQ(qd_te_ref_point(&refs.At(1)).x, 0.5);
    // A row off the chain list is refused.
    const TeSplitRecord bad = {3, 0, Node(0.5, 0.5, 0, 0)};
    nlst_add(records, &bad);
    FailLog log;
    EXPECT_EQ(qd_te_duplicates_intr_nodes_clip(records, chains.list, &refs.list, nullptr, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_duplicates_intr_nodes_clip"));
    EXPECT_EQ(qd_te_duplicates_intr_nodes_clip(records, nullptr, &refs.list, nullptr, nullptr), 0);
    nlst_free(records);
}
