// A chain against itself (the self sweep, the self-crossing step) and the
// crossings of paths and lines inserted or recorded without cutting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_encode.h"

using namespace tetest;

namespace {

struct Sweep {
    int32_t status;
    std::vector<TeIntersection> items;
};

Sweep SelfSweep(std::vector<GeoCoord> pts) {
    Owned c(Ch(TE_PATH, pts));
    TeIntersectionList list = {0, 0, nullptr};
    Sweep s{qd_te_fuzzy_sweep_self(c.get(), &list, 0, nullptr), {}};
    if (list.items) s.items.assign(list.items, list.items + list.count);
    qd_te_cogo_intersection_list_free(&list);
    return s;
}

}  // namespace

TEST(qd_te_self, SweepCases) {
    // A figure-eight ring: one crossing, at (1, 1) on segments 0 and 2.
    Sweep eight = SelfSweep({Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)});
    ASSERT_EQ(eight.status, 1);
    ASSERT_EQ(eight.items.size(), 1u);
    EXPECT_NEAR(eight.items[0].point.x, 1, 1e-12);
    EXPECT_NEAR(eight.items[0].point.y, 1, 1e-12);
    EXPECT_EQ(eight.items[0].index_a, 0);
    EXPECT_EQ(eight.items[0].index_b, 2);
    EXPECT_NEAR(eight.items[0].offset_a, std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(eight.items[0].offset_b, std::sqrt(2.0), 1e-12);
    // A spike running back along the previous segment: a hit at its far vertex.
    Sweep spike = SelfSweep({Q(0, 0), Q(2, 0), Q(0, 0), Q(0, 3)});
    ASSERT_EQ(spike.status, 1);
    ASSERT_GE(spike.items.size(), 1u);
    EXPECT_EQ(spike.items[0].point.x, 2);
    EXPECT_EQ(spike.items[0].point.y, 0);
    // A closed ring's first and last segments meet at the closing vertex: no hit.
    EXPECT_EQ(SelfSweep({Q(0, 0), Q(0, 2), Q(2, 2), Q(2, 0), Q(0, 0)}).status, 0);
    // A path visiting one vertex twice without crossing: a hit there.
    Sweep twice = SelfSweep({Q(0, 0), Q(2, 0), Q(3, 1), Q(2, 2), Q(2, 0), Q(1, -1)});
    ASSERT_EQ(twice.status, 1);
    for (const TeIntersection& i : twice.items) {
        EXPECT_EQ(i.point.x, 2);
        EXPECT_EQ(i.point.y, 0);
    }
    // Stop at the first hit leaves the list alone; bad arguments -2.
    Owned c(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)}));
    EXPECT_EQ(qd_te_fuzzy_sweep_self(c.get(), nullptr, 1, nullptr), 1);
    EXPECT_EQ(qd_te_fuzzy_sweep_self(c.get(), nullptr, 0, nullptr), -2);
    EXPECT_EQ(qd_te_fuzzy_sweep_self(nullptr, nullptr, 1, nullptr), -2);
}

TEST(qd_te_self, HandedOverWholeOrCut) {
    // A path that does not meet itself: one record carrying its vertices;
    // the chain is left without them.
    Owned plain(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1)}));
    nlst* out = nullptr;
    int32_t cut = -1;
    ASSERT_EQ(qd_te_intersect_chain_self_cross(plain.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 0);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->tally, 1u);
    EXPECT_EQ(qd_te_chain_at(out, 0)->coords->tally, 3u);
    EXPECT_EQ(plain->coords, nullptr);
    // LINE, ARC and CIRCLE chains are always handed over whole.
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(1, 0)}));
    ASSERT_EQ(qd_te_intersect_chain_self_cross(line.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(out->tally, 2u);
    qd_te_geo_chain_list_free(&out);
    // A figure-eight: the crossing is inserted and the polygon-cross step
    // cuts the ring; with both loops kept (orientation 1) two rings are
    // handed over.
    Owned eight(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)}));
    ASSERT_EQ(qd_te_intersect_chain_self_cross(eight.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->tally, 2u);
    qd_te_geo_chain_list_free(&out);
}

TEST(qd_te_self, PolylinesInsertOrRecord) {
    // A PATH crossing a LINE: both get the crossing, inserted as a vertex
    // (cross mode 1: the line becomes a four-vertex PATH) or recorded
    // with the chains' rows (0: the chains keep their vertices).
    for (int32_t mode : {1, 0}) {
        Owned path(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(4, 0)})), line(Ch(TE_LINE, {Q(0, 1), Q(4, 1)}));
        nlst* records = nullptr;
        ASSERT_EQ(qd_te_intersect_polylines(path.get(), 1, line.get(), 2, &records, 1e-9, mode, 0), 1);
        if (mode == 1) {
            EXPECT_EQ(path->coords->tally, 5u);  // (1, 1) and (3, 1) on both
            EXPECT_EQ(line->coords->tally, 4u);
            EXPECT_EQ(line->chain_type, TE_PATH);
            EXPECT_EQ(records, nullptr);
        } else {
            EXPECT_EQ(path->coords->tally, 3u);
            EXPECT_EQ(line->coords->tally, 2u);
            ASSERT_NE(records, nullptr);
            ASSERT_EQ(records->tally, 4u);
            const auto* r = static_cast<const TeSplitRecord*>(records->data);
            EXPECT_EQ(r[0].row, 1);
            EXPECT_EQ(r[3].row, 2);
        }
        if (records) nlst_free(records);
    }
    // An ARC paired here produces nothing; crossings at end vertices insert nothing.
    Owned arc(Ch(TE_ARC, {Q(-5, 0), Q(0, 5), Q(5, 0)})), cross(Ch(TE_LINE, {Q(0, 0), Q(0, 9)}));
    ASSERT_EQ(qd_te_intersect_polylines(cross.get(), -1, arc.get(), -1, nullptr, 1e-9, 1, 0), 1);
    EXPECT_EQ(cross->coords->tally, 2u);
    EXPECT_EQ(arc->coords->tally, 3u);
    Owned a(Ch(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 0)})), b(Ch(TE_LINE, {Q(2, 0), Q(3, 3)}));
    ASSERT_EQ(qd_te_intersect_polylines(a.get(), -1, b.get(), -1, nullptr, 1e-9, 1, 0), 1);
    EXPECT_EQ(a->coords->tally, 3u);
    EXPECT_EQ(b->coords->tally, 2u);
    // A path crossing itself gets the crossing inserted through the self pass.
    Owned eight(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2)}));
    ASSERT_EQ(qd_te_intersect_polylines(eight.get(), -1, eight.get(), -1, nullptr, 1e-9, 1, 0), 1);
    EXPECT_EQ(eight->coords->tally, 6u);  // (1, 1) on segments 0 and 2
}

TEST(qd_te_self, NoPiecesLeftWhenEveryLoopIsDropped) {
    // Two counter-clockwise loops through (0, 0), cut with loops kept only
    // clockwise (orientation 0): nothing is left and nothing is handed
    // over, the cut flag set.
    Owned ring(Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(2, 2), Q(0, 0), Q(-2, 0), Q(-2, -2), Q(0, 0)}));
    nlst* out = nullptr;
    int32_t cut = -1;
    ASSERT_EQ(qd_te_intersect_chain_self_cross(ring.get(), &out, 1e-9, 0, 1, &cut), 1);
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(out, nullptr);
}
