// Renumbering, the universal frame, region lists, parent inheritance by
// operation and the leaving stage's table.
#include <gtest/gtest.h>

#include <algorithm>
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


// Records, as first points "x,y", the chains the linear output receives
// (its stage event) and what the output method receives: lines (the
// linear output's) and points (the node rule's); anything else is counted.
struct Handed {
    std::vector<std::string> received, lines, nodes;
    int32_t other = 0;
    static std::string Text(const GeoCoord& c) { return std::to_string(int(c.x)) + "," + std::to_string(int(c.y)); }
    static void Stage(int32_t event, const nlst* chains, const TeRules*, void* self) {
        if (event != TE_EVENT_LINEARS || !chains) return;
        for (uint32_t i = 1; i < chains->tally; ++i) {
            const auto* v = static_cast<const TeVertex*>(qd_te_chain_at(chains, int32_t(i))->coords->data);
            static_cast<Handed*>(self)->received.push_back(Text({v->x, v->y, 0}));
        }
    }
    static int32_t On(SpatialObject* so, nlst*, void* self) {
        Handed* h = static_cast<Handed*>(self);
        for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i) {
            const auto* p = static_cast<const GeometricPrimitive*>(so->primitives->data) + i;
            if (p->type == KTGEO_POINT) {
                h->nodes.push_back(Text(p->geom.point.coord));
            } else if (p->type == KTGEO_CURVE) {
                h->lines.push_back(Text(*static_cast<const GeoCoord*>(p->geom.curve.coords->data)));
            } else {
                ++h->other;
            }
        }
        return 1;
    }
};

// A parent with flags (L, S, P) on the left (side 1) or right (side 0).
void Flagged(TeChain& c, int32_t side, int32_t id, int32_t flags) {
    nlst*& list = side == 0 ? c.right_parent : c.left_parent;
    if (!list) list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
    const TeParent p = {id, 1, (1 << 3) | flags};
    nlst_add(list, &p);
}

int32_t CountFlag(const nlst* list, int32_t flag) {
    int32_t n = 0;
    for (uint32_t i = 0; list && i < list->tally; ++i)
        n += qd_te_parent_has_flag(static_cast<const TeParent*>(list->data) + i, flag) ? 1 : 0;
    return n;
}

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
    // Surface runs. Each case: its chains; the chains the linear output
    // receives (seen by its stage event), the lines it hands to the output
    // method and the nodes the node rule hands to it (first points); and
    // afterwards which chains left the data ('D') or stayed ('K'), and which
    // kept chains lost their L parents.
    using L = TeChain;
    struct Case {
        const char* name;
        int32_t mode, secondary;
        std::vector<L> chains;
        std::vector<std::string> lines, handed, nodes;
        std::string after;      // per chain row 1, 2, ...: D or K
        std::string l_cleared;  // per row: 1 when its L parents are gone
    };
    auto line = [](double x, int32_t pid = 0) { return Chain(TE_LINE, {Q(x, 0), Q(x + 1, 0)}, pid); };
    auto with = [](L c, std::initializer_list<std::pair<int32_t, int32_t>> parents) {
        int32_t id = 1;
        for (auto [side, flags] : parents) Flagged(c, side, id++, flags);
        return c;
    };
    auto region = [](double x, int32_t lookup) {
        L c = Chain(TE_REGION, {Q(x, 0), Q(x, 2), Q(x + 2, 2), Q(x + 2, 0), Q(x, 0)});
        c.chain_lookup = c.chain_lookup_max = lookup;
        return c;
    };
    const int32_t P = TE_PARENT_P, S = TE_PARENT_S, Lf = TE_PARENT_L;
    std::vector<Case> cases;
    // SPLIT: a line without a feature with a P parent is kept and handed
    // out; one without parents lies outside every region (no region walk
    // finds it inside) and leaves after being handed out; a feature's line
    // stays; a node goes to the node rule and leaves; an operand region is
    // handed out, a target region not.
    cases.push_back({"SPLIT", TE_SPLIT, 45,
                     {with(line(0), {{0, P}, {1, Lf}}), line(2), line(4, 3), Chain(TE_NODE, {Q(6, 6)}, 1), region(10, 0),
                      region(20, -1)},
                     {"0,0", "2,0", "10,0"}, {"0,0"}, {"6,6"}, "KDKDKK", "100000"});
    // DISSOLVE, DISCARD: an S line goes; a bare line is handed out and
    // leaves; a feature's line stays; a P line without a feature is kept.
    cases.push_back({"DISSOLVE", TE_DISSOLVE, TE_DISCARD,
                     {with(line(0), {{1, S}}), line(2), line(4, 3), with(line(6), {{0, P}, {1, Lf}})},
                     {"2,0"}, {"2,0"}, {}, "DDKK", "0001"});
    // BREAK: lines without a feature are handed out; with an S parent they
    // stay (kept), bare they leave; a feature's line and a node stay.
    cases.push_back({"BREAK", TE_BREAK, 45,
                     {line(0), with(line(2), {{0, S}, {1, Lf}}), line(4, 3), Chain(TE_NODE, {Q(8, 8)})},
                     {"0,0", "2,0"}, {"0,0", "2,0"}, {}, "DKKK", "0100"});
    // SYMMETRIC_DIFFERENCE: an odd L count on the left hands a line out
    // (bare, it then leaves); an odd P count keeps a line, and a P node at
    // its end leaves while one elsewhere stays; two L parents are even: the
    // bare line leaves without being handed out.
    cases.push_back({"SYMMETRIC_DIFFERENCE", TE_SYMMETRIC_DIFFERENCE, 45,
                     {with(line(0), {{1, Lf}}), with(line(5), {{0, P}, {1, Lf}}),
                      with(Chain(TE_NODE, {Q(6, 0)}), {{0, P}}), with(Chain(TE_NODE, {Q(9, 9)}), {{0, P}}),
                      with(line(20), {{1, Lf}, {1, Lf}})},
                     {"0,0"}, {"0,0"}, {}, "DKDKD", "01000"});
    for (Case& k : cases) {
        Chains chains;
        for (L& c : k.chains) chains.Add(c);
        TeRules r = Rules(k.mode, 3, 2);
        r.secondary = k.secondary;
        Handed out;
        r.output_method = {&Handed::On, &out};
        qd_te_stage_observer = {&Handed::Stage, &out};
        const int answer = qd_te_leaving_chain_linear_dissolve(chains.list, &r);
        qd_te_stage_observer = {nullptr, nullptr};
        ASSERT_EQ(answer, 1) << k.name;
        for (auto* v : {&out.received, &out.lines, &k.lines, &k.handed}) std::sort(v->begin(), v->end());
        EXPECT_EQ(out.received, k.lines) << k.name;
        EXPECT_EQ(out.lines, k.handed) << k.name;
        EXPECT_EQ(out.nodes, k.nodes) << k.name;
        EXPECT_EQ(out.other, 0) << k.name;
        // Every object handed out is counted, the nested run's included.
        EXPECT_EQ(r.statistics.output_counters.count[0], int32_t(k.handed.size() + k.nodes.size())) << k.name;
        std::string after, cleared;
        for (int32_t i = 1; i < chains.Count(); ++i) {
            const TeChain* c = chains.At(i);
            after += c->discard == CHAIN_DELETE ? 'D' : 'K';
            const bool had_l = k.l_cleared[size_t(i - 1)] == '1';
            cleared += had_l && CountFlag(c->left_parent, TE_PARENT_L) == 0 ? '1' : '0';
            // Other parents stay.
            if (had_l) {
                EXPECT_GT(CountFlag(c->right_parent, TE_PARENT_P) + CountFlag(c->right_parent, TE_PARENT_S), 0);
            }
        }
        EXPECT_EQ(after, k.after) << k.name;
        EXPECT_EQ(cleared, k.l_cleared) << k.name;
        EXPECT_EQ(r.output_dim, TE_DIM_ANY) << k.name;  // restored
        EXPECT_EQ(r.statistics.data_dim, 3) << k.name;
    }
}
