// Renumbering, the universal frame, region lists, parent inheritance by
// operation and the leaving stage's table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

using namespace tetest;

namespace {

TeRules Rules(int32_t mode, int32_t data_dim, int32_t inputs) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = mode;
    r.statistics.data_dim = data_dim;
    r.statistics.tallies[3] = inputs;
    return r;
}

TeChain WithParents(TeChain c, std::initializer_list<int32_t> ids, int32_t pid = 0) {
    for (int32_t id : ids) {
        AddParent(c, 0, id);
        AddParent(c, 1, id);
    }
    c.chain_pid = pid;
    return c;
}

std::vector<int32_t> Tags(const Chains& chains) {
    std::vector<int32_t> t;
    for (int32_t i = 1; i < chains.Count(); ++i) t.push_back(chains.At(i)->chain_pid);
    return t;
}

int32_t Live(const Chains& chains, int32_t type = -1) {
    int32_t n = 0;
    for (int32_t i = 1; i < chains.Count(); ++i)
        if (chains.At(i)->discard == CHAIN_OK && (type < 0 || chains.At(i)->chain_type == type)) ++n;
    return n;
}


// Records the first x of each line the output method receives.
struct Lines {
    std::vector<double> starts;
    static int32_t On(SpatialObject* so, nlst*, void* self) {
        const auto* p = static_cast<const GeometricPrimitive*>(so->primitives->data);
        static_cast<Lines*>(self)->starts.push_back(static_cast<const GeoCoord*>(p->geom.curve.coords->data)->x);
        return 1;
    }
};

}  // namespace

TEST(qd_te_renumber, HolesFilledByTheLastChainAndTheFrame) {
    Chains chains;
    for (int32_t k = 1; k <= 5; ++k) chains.Add(Chain(TE_LINE, {Q(k, 0), Q(k + 0.5, 1)}, k));
    chains.At(2)->discard = CHAIN_DELETE;
    chains.At(4)->discard = CHAIN_INVALID;
    TeRules r = Rules(TE_ALL, 2, 1);
    ASSERT_EQ(qd_te_reassign_chain_id(chains.list, 0, 1, &r), 1);
    EXPECT_EQ(Tags(chains), (std::vector<int32_t>{1, 5, 3}));
    char why[200];
    EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_LEAVING, why), 1) << why;
    const TeChain* u = chains.At(0);
    // The live chains' rectangle widened twice by 1e-8.
    EXPECT_DOUBLE_EQ(u->chain_mer[0].x, chains.At(1)->chain_mer[0].x - 2e-8);
    EXPECT_DOUBLE_EQ(u->chain_mer[1].y, chains.At(2)->chain_mer[1].y + 2e-8);
    EXPECT_DOUBLE_EQ(u->chain_mer[1].x, chains.At(2)->chain_mer[1].x + 2e-8);
    EXPECT_EQ(u->link_fore, -1);
    for (int32_t i = 1; i < chains.Count(); ++i) {
        EXPECT_EQ(chains.At(i)->left_link, 0);
        EXPECT_EQ(chains.At(i)->poly_left, -1);
    }
    // drop_operands 1: no chain of an operand input is left.
    Chains ops;
    for (int32_t k = 1; k <= 6; ++k) {
        TeChain c = Chain(TE_LINE, {Q(k, 0), Q(k + 0.5, 1)}, k);
        c.chain_lookup = k % 2 ? -1 : k;
        ops.Add(c);
    }
    ASSERT_EQ(qd_te_reassign_chain_id(ops.list, 1, 1, &r), 1);
    EXPECT_EQ(ops.Count(), 4);
    for (int32_t i = 1; i < ops.Count(); ++i) EXPECT_LT(ops.At(i)->chain_lookup, 0);
    FailLog log;
    EXPECT_EQ(qd_te_reassign_chain_id(nullptr, 0, 0, &r), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_reassign_chain_id"));
    EXPECT_EQ(qd_te_reassign_universal_polygon(nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_reassign_universal_polygon"));
}

TEST(qd_te_renumber, RegionListsNameTheNearestEarlierRegions) {
    auto square = [](double x, int32_t lookup, int32_t tag) {
        TeChain c = Chain(TE_REGION, {Q(x, 0), Q(x, 1), Q(x + 0.5, 1), Q(x + 0.5, 0), Q(x, 0)}, tag);
        c.chain_lookup = lookup;
        return c;
    };
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(3, 0), Q(3.5, 1)}, 4));
    chains.Add(square(4, -1, 5));
    chains.Add(square(0, -1, 1));
    chains.Add(square(2, 0, 3));
    chains.Add(Chain(TE_LINE, {Q(1, 0), Q(1.5, 1)}, 2));
    TeRules r = Rules(TE_ALL, 3, 2);
    ASSERT_EQ(qd_te_reassign_chain_id(chains.list, 0, 1, &r), 1);
    // Link order by minimum x: 1 (target), 2, 3 (operand), 4, 5 (target).
    ASSERT_EQ(Tags(chains), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    struct Want {
        int32_t row, fore, back, free;
    };
    const Want want[] = {{1, -1, -1, -1}, {2, 1, -1, 1}, {3, -1, -1, 1}, {4, 1, 3, 3}, {5, 1, -1, 3}, {0, 5, 3, 5}};
    for (const auto& w : want) {
        const TeChain* c = chains.At(w.row);
        EXPECT_EQ(c->link_fore, w.fore) << w.row;
        EXPECT_EQ(c->link_back, w.back) << w.row;
        EXPECT_EQ(c->link_free, w.free) << w.row;
        if (w.row) {
            EXPECT_EQ(c->chain_id, w.row);
        }
    }
    EXPECT_EQ(chains.At(1)->discard, CHAIN_REGION);
    EXPECT_EQ(chains.At(2)->discard, CHAIN_OK);
    EXPECT_EQ(r.statistics.output_counters.count[1], 2);
    EXPECT_EQ(r.statistics.output_counters.count[2], 1);
}

TEST(qd_te_inherit, IntersectOfThreeInputsKeepsThreeParentChains) {
    Chains chains;
    chains.Add(WithParents(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}), {1, 2, 3}, 0));
    chains.Add(WithParents(Chain(TE_LINE, {Q(0, 5), Q(1, 5)}), {1, 2}, 0));
    chains.Add(WithParents(Chain(TE_LINE, {Q(0, 9), Q(1, 9)}), {3}, 0));
    TeRules r = Rules(TE_INTERSECT, 2, 3);
    ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
    ASSERT_EQ(Live(chains), 1);
    EXPECT_EQ(ParentIds(chains.At(1)->left_parent), (std::vector<int32_t>{1, 2, 3}));
    // A linear INTERSECT builds no links.
    EXPECT_EQ(chains.At(1)->left_link, 0);
}

TEST(qd_te_inherit, SharedMakesANodeWhereSingleParentLinesMeet) {
    Chains chains;
    chains.Add(WithParents(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}), {1}));
    chains.Add(WithParents(Chain(TE_LINE, {Q(1, 1 + 4e-11), Q(2, 0)}), {2}));
    chains.Add(WithParents(Chain(TE_LINE, {Q(5, 5), Q(6, 6)}), {1}));
    TeRules r = Rules(TE_SHARED, 2, 2);
    ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
    // Only the new node has two parents; the lines are filtered out.
    ASSERT_EQ(Live(chains), 1);
    ASSERT_EQ(Live(chains, TE_NODE), 1);
    const TeChain* node = nullptr;
    for (int32_t i = 1; i < chains.Count(); ++i)
        if (chains.At(i)->discard == CHAIN_OK) node = chains.At(i);
    const auto p = Points(node);
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].x, 1);
    EXPECT_EQ(p[0].y, 1);
    EXPECT_EQ(ParentIds(node->left_parent), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(ParentIds(node->right_parent), (std::vector<int32_t>{1, 2}));
}

TEST(qd_te_inherit, NodeRulesOfDifferenceAndRelate) {
    struct Case {
        int32_t mode;
        int32_t line_lookup_max;
        int32_t line_live, node_live;
        std::vector<int32_t> line_parents, node_parents;
    };
    // A node (parent 1) on the start of a line (parent 2), two inputs.
    const Case cases[] = {
        // DIFFERENCE: the line takes the node's parents, the node goes.
        {TE_DIFFERENCE, -1, 1, 0, {1, 2}, {}},
        // RELATE: a line from the target input: the node goes.
        {TE_RELATE, -1, 1, 0, {2}, {}},
        // RELATE: a line of an operand input: the node takes its parents, the line goes.
        {TE_RELATE, 0, 0, 1, {}, {1, 2}},
        // SYMMETRIC_DIFFERENCE: the node collects, nothing goes.
        {TE_SYMMETRIC_DIFFERENCE, -1, 1, 1, {2}, {1, 2}},
    };
    for (const auto& k : cases) {
        Chains chains;
        chains.Add(WithParents(Chain(TE_NODE, {Q(0, 0)}), {1}));
        TeChain line = WithParents(Chain(TE_LINE, {Q(0, 0), Q(3, 1)}), {2});
        line.chain_lookup_max = k.line_lookup_max;
        chains.Add(line);
        TeRules r = Rules(k.mode, 2, 2);
        ASSERT_EQ(qd_te_leaving_chain_inherit_nodes(chains.list, &r), 1) << k.mode;
        EXPECT_EQ(chains.At(1)->discard == CHAIN_OK, k.node_live == 1) << k.mode;
        EXPECT_EQ(chains.At(2)->discard == CHAIN_OK, k.line_live == 1) << k.mode;
        if (k.node_live) {
            EXPECT_EQ(ParentIds(chains.At(1)->left_parent), k.node_parents) << k.mode;
        }
        if (k.line_live) {
            EXPECT_EQ(ParentIds(chains.At(2)->left_parent), k.line_parents) << k.mode;
        }
    }
}

TEST(qd_te_inherit, RelateMakesANodeOnlyForAnEvenMeeting) {
    // Lines of two inputs end at (1, 1); the first end's parents are not
    // collected, each further end turns the parity: a node needs an even
    // number of ends and both inputs among the others.
    const GeoCoord far[] = {Q(0, 0), Q(2, 0), Q(1, 3), Q(3, 3)};
    for (int32_t lines : {2, 3, 4}) {
        Chains chains;
        for (int32_t k = 0; k < lines; ++k)
            chains.Add(WithParents(Chain(TE_LINE, {Q(1, 1), far[k]}), {k % 2 + 1}));
        TeRules r = Rules(TE_RELATE, 2, 2);
        ASSERT_EQ(qd_te_leaving_chain_inherit_nodes(chains.list, &r), 1);
        EXPECT_EQ(Live(chains, TE_NODE), lines == 4 ? 1 : 0) << lines;
    }
}

TEST(qd_te_leaving_stage, TableByDimensionAndMode) {
    auto three = [](Chains& chains) {
        chains.Add(WithParents(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}), {1}, 1));
        chains.Add(WithParents(Chain(TE_LINE, {Q(1, 1), Q(2, 0)}), {1}, 1));
        chains.Add(WithParents(Chain(TE_LINE, {Q(1, 1), Q(1, 3)}), {1}, 1));
    };
    char why[200];
    {  // NODE INTERSECT with one input: empty.
        Chains chains;
        chains.Add(WithParents(Chain(TE_NODE, {Q(0, 0)}), {1}));
        TeRules r = Rules(TE_INTERSECT, 1, 1);
        ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
        EXPECT_EQ(chains.Count(), 1);
    }
    {  // DISTANCE in a surface run: renumbered, no links.
        Chains chains;
        three(chains);
        TeRules r = Rules(TE_DISTANCE, 3, 2);
        ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
        for (int32_t i = 1; i < chains.Count(); ++i) EXPECT_EQ(chains.At(i)->left_link, 0);
        EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_LEAVING, why), 1) << why;
    }
    {  // A linear SPLIT builds links that pass the checker.
        Chains chains;
        three(chains);
        TeRules r = Rules(TE_SPLIT, 2, 1);
        ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
        EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_LEAVING | TE_INV_WALK_LINKS, why), 1) << why;
        EXPECT_NE(chains.At(1)->right_link, 0);
    }
    {  // OVERLAY_NODES drops the operands' chains.
        Chains chains;
        three(chains);
        chains.At(2)->chain_lookup = 0;
        TeRules r = Rules(TE_OVERLAY_NODES, 1, 2);
        ASSERT_EQ(qd_te_leaving(chains.list, &r), 1);
        EXPECT_EQ(chains.Count(), 3);
    }
    {  // A bad data dimension: -15 to the error method.
        Chains chains;
        three(chains);
        TeRules r = Rules(TE_ALL, 7, 1);
        ErrorCodeLog codes;
        r.error_method = {&ErrorCodeLog::On, &codes};
        EXPECT_EQ(qd_te_leaving(chains.list, &r), 0);
        EXPECT_EQ(codes.seen, (std::vector<int32_t>{-15}));
    }
    FailLog log;
    TeRules r = Rules(TE_ALL, 2, 1);
    EXPECT_EQ(qd_te_leaving(nullptr, &r), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving"));
}

TEST(qd_te_leaving_stage, LinearDissolveSelectsAndMarks) {
    // Surface DISSOLVE, secondary DISCARD: a dangling line with S parents
    // goes; a line without parents outside every region is handed out as a
    // line (linear output called) and then leaves the surface data.
    Chains chains;
    TeChain s = Chain(TE_LINE, {Q(0, 0), Q(1, 1)});
    nlst* list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
    TeParent p = {7, 1, (1 << 3) | TE_PARENT_S};
    nlst_add(list, &p);
    s.left_parent = list;
    chains.Add(s);                                      // 1: S parent
    chains.Add(Chain(TE_LINE, {Q(5, 5), Q(6, 6)}));     // 2: no parents, no feature
    chains.Add(Chain(TE_LINE, {Q(8, 8), Q(9, 9)}, 3));  // 3: a feature (has P)
    TeRules r = Rules(TE_DISSOLVE, 3, 1);
    r.secondary = TE_DISCARD;
    Lines lines;
    r.output_method = {&Lines::On, &lines};
    Spy spy;
    ASSERT_EQ(qd_te_leaving_chain_linear_dissolve(chains.list, &r), 1);
    EXPECT_EQ(chains.At(1)->discard, CHAIN_DELETE);
    EXPECT_EQ(chains.At(2)->discard, CHAIN_DELETE);
    EXPECT_EQ(chains.At(3)->discard, CHAIN_OK);
    EXPECT_EQ(spy.calls, std::vector<std::string>{});
    EXPECT_EQ(lines.starts, (std::vector<double>{5}));
    EXPECT_EQ(r.statistics.output_counters.count[0], 1);  // the nested run's count comes back
    EXPECT_EQ(r.output_dim, TE_DIM_ANY);                   // untouched
    EXPECT_EQ(r.statistics.data_dim, 3);
    // BREAK: features stay; a line without a feature goes out as a line.
    Chains br;
    br.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
    br.Add(Chain(TE_LINE, {Q(5, 5), Q(6, 6)}, 2));
    TeRules rb = Rules(TE_BREAK, 3, 1);
    lines.starts.clear();
    rb.output_method = {&Lines::On, &lines};
    ASSERT_EQ(qd_te_leaving_chain_linear_dissolve(br.list, &rb), 1);
    EXPECT_EQ(br.At(1)->discard, CHAIN_DELETE);
    EXPECT_EQ(br.At(2)->discard, CHAIN_OK);
    EXPECT_EQ(spy.calls, std::vector<std::string>{});
    EXPECT_EQ(lines.starts, (std::vector<double>{0}));
    // SPLIT: a NODE goes to the face walk's node rule and leaves.
    Chains sp;
    sp.Add(Chain(TE_NODE, {Q(0, 0)}, 1));
    TeRules rs = Rules(TE_SPLIT, 3, 1);
    spy.calls.clear();
    ASSERT_EQ(qd_te_leaving_chain_linear_dissolve(sp.list, &rs), 1);
    EXPECT_EQ(sp.At(1)->discard, CHAIN_DELETE);
    EXPECT_TRUE(spy.calls.empty());  // the node rule is built, no stand-in
}
