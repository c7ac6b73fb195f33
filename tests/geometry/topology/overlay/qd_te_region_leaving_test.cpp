// The leaving stage's region cases through the overlay walk: INTERSECT
// inheriting a region's parents, DIFFERENCE dropping a node inside a
// region, and SPLIT's linear dissolve handing out only the lines outside
// the target regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_util.h"
#include "te_overlay_util.h"

using namespace tetest;

namespace {

TeRules Rules(int32_t mode, int32_t inputs) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = mode;
    r.statistics.data_dim = TE_DIM_SURFACE;
    r.statistics.tallies[3] = inputs;
    return r;
}

TeChain Feature(int32_t type, const std::vector<GeoCoord>& pts, int32_t pid, int32_t parent) {
    TeChain c = ChainOf(type, pts, pid);
    c.chain_lookup = c.chain_lookup_max = -1;
    if (parent > 0) {
        AddParent(c, 0, parent);
        AddParent(c, 1, parent);
    }
    return c;
}

std::vector<int32_t> Sorted(const nlst* parents) {
    std::vector<int32_t> ids = ParentIds(parents);
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The chain of a feature after renumbering.
TeChain* ByPid(const Chains& chains, int32_t pid) {
    for (int32_t i = 1; i < chains.Count(); ++i)
        if (chains.At(i)->chain_pid == pid) return chains.At(i);
    return nullptr;
}


}  // namespace

TEST(qd_te_overlay_leaving, IntersectInheritsTheContainingRegionsParents) {
    Chains chains;
    chains.Add(Feature(TE_REGION, Box(0, 0, 10, 10), 1, 1));
    chains.Add(Feature(TE_LINE, {Q(2, 2), Q(4, 4)}, 2, 2));
    chains.Add(Feature(TE_LINE, {Q(20, 20), Q(22, 22)}, 3, 3));
    chains.Add(Feature(TE_NODE, {Q(6, 6)}, 4, 4));
    TeRules r = Rules(TE_INTERSECT, 2);
    ASSERT_EQ(qd_te_reassign_chain_id(chains.list, 0, 1, &r), 1);
    ASSERT_EQ(qd_te_leaving_chain_inherit_regions(chains.list, &r), 1);
    for (int32_t side : {0, 1}) {
        const auto list = [&](int32_t pid) {
            const TeChain* c = ByPid(chains, pid);
            return Sorted(side ? c->left_parent : c->right_parent);
        };
        EXPECT_EQ(list(2), (std::vector<int32_t>{1, 2})) << side;
        EXPECT_EQ(list(3), (std::vector<int32_t>{3})) << side;
        EXPECT_EQ(list(4), (std::vector<int32_t>{1, 4})) << side;
    }
}

TEST(qd_te_overlay_leaving, InheritTransferTakesEveryRegionTheChainIsIn) {
    // Two nested regions (parents 1, 2) and one apart (3); a line inside
    // both nested ones takes both their parents, on the side asked; a line
    // outside every region takes none.
    struct Case {
        int32_t pid, side;
        std::vector<int32_t> right, left;
    };
    const Case cases[] = {
        {4, 0, {1, 2, 4}, {4}},        // right side only
        {4, 2, {1, 2, 4}, {1, 2, 4}},  // both sides
        {5, 2, {5}, {5}},              // outside: nothing taken
    };
    for (const Case& k : cases) {
        Chains chains;
        chains.Add(Feature(TE_REGION, Box(0, 0, 10, 10), 1, 1));
        chains.Add(Feature(TE_REGION, Box(2, 2, 8, 8), 2, 2));
        chains.Add(Feature(TE_REGION, Box(20, 0, 30, 10), 3, 3));
        chains.Add(Feature(TE_LINE, {Q(3, 3), Q(4, 4)}, 4, 4));
        chains.Add(Feature(TE_LINE, {Q(12, 1), Q(14, 2)}, 5, 5));
        TeRules r = Rules(TE_SYMMETRIC_DIFFERENCE, 2);
        ASSERT_EQ(qd_te_reassign_chain_id(chains.list, 0, 1, &r), 1);
        TeChain* c = ByPid(chains, k.pid);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(qd_te_parents_inherit_transfer(c, 0, k.side, 0, 1, chains.list), 1) << k.pid;
        EXPECT_EQ(Sorted(c->right_parent), k.right) << k.pid << " side " << k.side;
        EXPECT_EQ(Sorted(c->left_parent), k.left) << k.pid << " side " << k.side;
    }
    Chains chains;
    FailLog log;
    EXPECT_EQ(qd_te_parents_inherit_transfer(nullptr, 0, 2, 0, 1, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_parents_inherit_transfer"));
}

TEST(qd_te_overlay_leaving, DifferenceDropsANodeInsideARegion) {
    Chains chains;
    chains.Add(Feature(TE_REGION, Box(0, 0, 10, 10), 1, 1));
    chains.Add(Feature(TE_NODE, {Q(5, 5)}, 2, 2));
    chains.Add(Feature(TE_NODE, {Q(20, 5)}, 3, 3));
    chains.Add(Feature(TE_LINE, {Q(2, 2), Q(4, 4)}, 4, 4));
    TeRules r = Rules(TE_DIFFERENCE, 2);
    ASSERT_EQ(qd_te_reassign_chain_id(chains.list, 0, 1, &r), 1);
    ASSERT_EQ(qd_te_leaving_chain_inherit_regions(chains.list, &r), 1);
    EXPECT_EQ(ByPid(chains, 2)->discard, CHAIN_DELETE);
    EXPECT_EQ(ByPid(chains, 3)->discard, CHAIN_OK);
    EXPECT_EQ(ByPid(chains, 4)->discard, CHAIN_OK);  // lines are not dropped here
}

TEST(qd_te_overlay_leaving, SplitHandsOutOnlyLinesOutsideTheTargets) {
    // convex 1: a line without a feature inside a target leaves without
    // being handed out; one outside every target goes out as a line.
    struct Case {
        bool outside_line;
        std::vector<std::string> calls;
    };
    const Case cases[] = {{false, {}}, {true, {"e11"}}};
    for (const Case& k : cases) {
        Chains chains;
        chains.Add(Feature(TE_REGION, Box(0, 0, 10, 10), 1, 1));
        chains.Add(Feature(TE_LINE, {Q(2, 2), Q(4, 4)}, 0, 0));
        if (k.outside_line) chains.Add(Feature(TE_LINE, {Q(20, 20), Q(22, 22)}, 0, 0));
        TeRules r = Rules(TE_SPLIT, 2);
        r.convex = 1;
        // Linear output shows by its stage event.
        struct Events {
            std::vector<std::string> seen;
            static void On(int32_t event, const nlst*, const TeRules*, void* self) {
                static_cast<Events*>(self)->seen.push_back("e" + std::to_string(event));
            }
        } events;
        qd_te_stage_observer = {&Events::On, &events};
        const int answer = qd_te_leaving_chain_linear_dissolve(chains.list, &r);
        qd_te_stage_observer = {nullptr, nullptr};
        ASSERT_EQ(answer, 1);
        EXPECT_EQ(events.seen, k.calls) << k.outside_line;
        for (int32_t i = 1; i < chains.Count(); ++i) {
            if (chains.At(i)->chain_type == TE_LINE) {
                EXPECT_EQ(chains.At(i)->discard, CHAIN_DELETE);
            }
        }
    }
}
