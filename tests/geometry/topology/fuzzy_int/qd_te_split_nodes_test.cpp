// Items to split nodes: end drops by mode and tolerance, the first- and
// last-vertex rule of paths, the snap of a vertex onto an item exactly at
// it (lines and paths, never arcs), the tolerance floor, and which chain a
// piece replaces.
#include <gtest/gtest.h>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_split.h"

using namespace tetest;

namespace {

TeIntersection ItemA(GeoCoord p, int32_t index, double offset) { return {p, index, -1, offset, 0.0}; }

}  // namespace

TEST(qd_te_split_nodes, CheckTolTable) {
    struct Case {
        const char* name;
        int32_t type;
        std::vector<GeoCoord> pts;
        double vertex_tol;
        TeIntersection item;
        double tolerance;
        int32_t mode;
        int32_t vertex;  // -1 dropped
        double node_tol;
    } cases[] = {
        {"line end, mode 1, at T", TE_LINE, {Q(0, 0), Q(10, 0)}, 1e-6, ItemA(Q(5e-9, 0), 0, 5e-9), 1e-8, 1, -1, 0},
        {"line end, mode 1, beyond T", TE_LINE, {Q(0, 0), Q(10, 0)}, 1e-6, ItemA(Q(5e-7, 0), 0, 5e-7), 1e-8, 1, 0, 1e-6},
        {"line end, mode 0, own tolerance", TE_LINE, {Q(0, 0), Q(10, 0)}, 1e-6, ItemA(Q(5e-7, 0), 0, 5e-7), 1e-8, 0, -1, 0},
        {"line, tolerance below 1e-8", TE_LINE, {Q(0, 0), Q(10, 0)}, 0, ItemA(Q(5e-9, 0), 0, 5e-9), 1e-12, 1, -1, 0},
        {"line middle, mode 0", TE_LINE, {Q(0, 0), Q(10, 0)}, 1e-6, ItemA(Q(5, 0), 0, 5), 1e-8, 0, 0, 0},
        {"path first vertex, index 0", TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0), Q(0, 0)}, 0, ItemA(Q(1e-9, 0), 0, 1e-9), 1e-8, 1, -1, 0},
        {"path first vertex, later segment", TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0), Q(0, 0)}, 0, ItemA(Q(1e-9, 0), 2, 2), 1e-8, 1, 2, 0},
        {"path inner, mode 0 takes the vertex tolerance", TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)}, 1e-7, ItemA(Q(0.5, 0), 0, 0.5), 1e-8, 0, 0, 1e-7},
        {"projection slot", TE_LINE, {Q(0, 0), Q(10, 0)}, 0, {Q(5, 0), -1, 0, 0.0, 5.0}, 1e-8, 1, -1, 0},
        {"circle", TE_CIRCLE, {Q(0, 0)}, 2e-7, ItemA(Q(5, 0), 0, 0), 1e-8, 1, 0, 2e-7},
    };
    for (const Case& k : cases) {
        Owned c(Ch(k.type, k.pts, k.vertex_tol, k.type == TE_CIRCLE ? 5 : 0));
        c->discard = CHAIN_OK;
        TeSplitNode node;
        ASSERT_EQ(qd_te_intersect_check_tol(c.get(), 1, k.tolerance, k.mode, &k.item, &node), 1) << k.name;
        EXPECT_EQ(node.vertex, k.vertex) << k.name;
        if (k.vertex >= 0) {
            EXPECT_EQ(node.tol, k.node_tol) << k.name;
            EXPECT_EQ(node.point.x, k.item.point.x) << k.name;
            EXPECT_EQ(node.first, 0);
            EXPECT_EQ(node.param, 0.0);
        }
    }
}

TEST(qd_te_split_nodes, SnapOnLinesAndPathsNotArcs) {
    // An item exactly at a vertex (offset 0) moves that vertex onto it.
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(10, 0)}));
    TeIntersection at = ItemA(Q(0, 2e-8, 7), 0, 0);
    TeSplitNode node;
    ASSERT_EQ(qd_te_intersect_check_tol(line.get(), 1, 1e-8, 1, &at, &node), 1);
    EXPECT_EQ(node.vertex, 0);
    EXPECT_EQ(Vx(line.get(), 0).y, 2e-8);
    EXPECT_EQ(Vx(line.get(), 0).z, 7);
    EXPECT_EQ(node.offset, 0);
    Owned path(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)}, 1e-7));
    TeIntersection inner = ItemA(Q(1, 3e-8), 1, 0);
    ASSERT_EQ(qd_te_intersect_check_tol(path.get(), 1, 1e-8, 1, &inner, &node), 1);
    EXPECT_EQ(node.vertex, 1);
    EXPECT_EQ(Vx(path.get(), 1).y, 3e-8);
    EXPECT_EQ(Vx(path.get(), 1).tol, 1e-7);  // the vertex keeps its tolerance
    // An arc's first vertex is never moved onto an interior cut point.
    Owned arc(Ch(TE_ARC, {Q(-5, 0), Q(0, 5), Q(5, 0)}));
    TeIntersection on_arc = ItemA(Q(3, 4), 0, 0);
    ASSERT_EQ(qd_te_intersect_check_tol(arc.get(), 2 - 1, 1e-8, 1, &on_arc, &node), 1);
    EXPECT_EQ(node.vertex, 0);
    EXPECT_EQ(Vx(arc.get(), 0).x, -5);
    EXPECT_NEAR(node.offset, std::sqrt(64.0 + 16.0), 1e-12);
}

TEST(qd_te_split_nodes, SidesAndFailures) {
    Owned path(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0), Q(3, 0)}));
    TeIntersection items[2] = {{Q(0.5, 0), 0, 2, 0.5, 0.5}, {Q(1.5, 0), 1, -1, 0.5, 0}};
    const TeIntersectionList list = {2, 2, items};
    nlst* nodes = nullptr;
    // Side 0 reads both slots of every item.
    ASSERT_EQ(qd_te_intersect_check_intr(path.get(), &list, 0, &nodes, 1e-8, 1), 1);
    ASSERT_NE(nodes, nullptr);
    EXPECT_EQ(nodes->tally, 3u);
    nlst_free(nodes);
    ASSERT_EQ(qd_te_intersect_check_intr(path.get(), &list, 2, &nodes, 1e-8, 1), 1);
    EXPECT_EQ(nodes->tally, 1u);
    nlst_free(nodes);
    // A vertex index beyond the chain fails without a message.
    geotest::FailRecorder rec;
    TeIntersection bad = ItemA(Q(9, 0), 9, 0);
    TeSplitNode node;
    EXPECT_EQ(qd_te_intersect_check_tol(path.get(), 1, 1e-8, 1, &bad, &node), 0);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(qd_te_intersect_check_tol(path.get(), 3, 1e-8, 1, &items[0], &node), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_intersect_check_tol");
    // No items: success and no list.
    ASSERT_EQ(qd_te_intersect_check_intr(path.get(), nullptr, 1, &nodes, 1e-8, 1), 1);
    EXPECT_EQ(nodes, nullptr);
    // A chain without vertices becomes CHAIN_INVALID.
    TeChain empty;
    qd_te_geo_chain_default(&empty);
    empty.chain_type = TE_PATH;
    ASSERT_EQ(qd_te_intersect_check_intr(&empty, &list, 1, &nodes, 1e-8, 1), 1);
    EXPECT_EQ(empty.discard, CHAIN_INVALID);
    // The same record twice is refused by the pair step.
    Chains chains;
    int32_t found = 0;
    TeIntersectionList copy = list;
    EXPECT_EQ(qd_te_intersect_process(path.get(), path.get(), chains.list, &copy, 1e-8, 0, 1, &found), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_intersect_process");
}

TEST(qd_te_split_nodes, IdentifyReplacedChain) {
    Owned c(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)}));
    c->chain_id = 7;
    nlst* pieces = nlst_alloc(sizeof(TeChain), 2, 2, nullptr);
    TeChain other = Ch(TE_PATH, {Q(0, 0), Q(1, 0)});
    other.chain_id = 8;
    nlst_add(pieces, &other);
    // No piece carries its id: the chain stays CHAIN_OK.
    ASSERT_EQ(qd_te_intersect_identify_split_chain(c.get(), pieces), 1);
    EXPECT_EQ(c->discard, CHAIN_OK);
    TeChain mine = Ch(TE_PATH, {Q(1, 0), Q(2, 0)});
    mine.chain_id = 7;
    nlst_add(pieces, &mine);
    ASSERT_EQ(qd_te_intersect_identify_split_chain(c.get(), pieces), 1);
    EXPECT_EQ(c->discard, CHAIN_DELETE);
    // A chain no longer live gives up its lists.
    ASSERT_EQ(qd_te_intersect_identify_split_chain(c.get(), pieces), 1);
    EXPECT_EQ(c->coords, nullptr);
    qd_te_geo_free_chain_list(pieces, 0);
    nlst_free(pieces);
}
