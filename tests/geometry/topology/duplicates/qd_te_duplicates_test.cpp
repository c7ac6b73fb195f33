// Duplicate removal: node tests by hand, and the pass rules with a spy
// identity test for the pairs of linear chains.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "../chain/te_list_util.h"
#include "geometry/topology/qd_te_duplicates.h"

using namespace tetest;

namespace {

void AddParent(TeChain& c, int32_t side, int32_t id, int32_t frequency = 1) {
    nlst*& list = side == 0 ? c.right_parent : c.left_parent;
    if (!list) list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
    const TeParent p = {id, 1, frequency << 3};
    nlst_add(list, &p);
}

std::vector<int32_t> Ids(const nlst* list) {
    std::vector<int32_t> ids;
    if (list)
        for (uint32_t i = 0; i < list->tally; ++i) ids.push_back(static_cast<const TeParent*>(list->data)[i].id_a);
    return ids;
}

int64_t FrequencyTotal(Chains& chains) {
    int64_t total = 0;
    for (int32_t i = 1; i < chains.Count(); ++i) {
        const TeChain* c = chains.At(i);
        if (c->discard != CHAIN_OK) continue;
        for (const nlst* l : {c->right_parent, c->left_parent})
            if (l)
                for (uint32_t k = 0; k < l->tally; ++k)
                    total += std::max(1, qd_te_parent_frequency(static_cast<const TeParent*>(l->data) + k));
    }
    return total;
}

struct Spy {
    std::vector<std::pair<TeChain*, TeChain*>> seen;
    bool merge = true;
    static int Test(TeChain* a, TeChain* b, const double*, int32_t* identical, void* user) {
        auto* spy = static_cast<Spy*>(user);
        spy->seen.push_back({a, b});
        EXPECT_EQ(a->discard, CHAIN_OK);
        EXPECT_EQ(b->discard, CHAIN_OK);
        *identical = spy->merge ? 1 : 0;
        return spy->merge ? qd_te_duplicates_merge_chains(a, b) : 1;
    }
};

struct SpyOn {
    explicit SpyOn(Spy* s) { qd_te_duplicates_pair_test = {&Spy::Test, s}; }
    ~SpyOn() { qd_te_duplicates_pair_test = {nullptr, nullptr}; }
};

bool RemoveAll(Chains& chains, double tol = 1e-6) {
    return EachLive(chains, [&](int32_t i) { return qd_te_duplicates_removal(chains.list, i, tol, 0); });
}

}  // namespace

TEST(qd_te_dup, NodesAgainstNodesAndChains) {
    // Node against node: the smaller vertex tolerance survives; equal: the second.
    struct Case {
        double ta, tb;
        bool a_survives;
    } cases[] = {{0.1, 0.2, true}, {0.2, 0.1, false}, {0.2, 0.2, false}};
    for (const Case& k : cases) {
        TeChain a = Tol(TE_NODE, {Q(0, 0)}, k.ta), b = Tol(TE_NODE, {Q(0.05, 0)}, k.tb);
        a.chain_id = 1;
        b.chain_id = 2;
        int32_t identical = 0;
        ASSERT_EQ(qd_te_identical_nodes(&a, &b, nullptr, &identical), 1);
        EXPECT_EQ(identical, 1);
        EXPECT_EQ(a.discard, k.a_survives ? CHAIN_OK : CHAIN_DELETE);
        EXPECT_EQ(b.discard, k.a_survives ? CHAIN_DELETE : CHAIN_OK);
        qd_te_geo_chain_release(&a);
        qd_te_geo_chain_release(&b);
    }
    // Node against a chain: the chain survives and takes the parents; a
    // CIRCLE never matches.
    TeChain line = Tol(TE_LINE, {Q(0, 0), Q(5, 0)}, 0.1);
    TeChain node = Tol(TE_NODE, {Q(5, 0.05)}, 0.1);
    AddParent(node, 0, 9);
    int32_t identical = 0;
    ASSERT_EQ(qd_te_identical_node_linear(&line, &node, nullptr, &identical), 1);
    EXPECT_EQ(identical, 1);
    EXPECT_EQ(line.discard, CHAIN_OK);
    EXPECT_EQ(node.discard, CHAIN_DELETE);
    EXPECT_EQ(Ids(line.right_parent), std::vector<int32_t>{9});
    TeChain circle;
    qd_te_geo_chain_default(&circle);
    circle.chain_type = TE_CIRCLE;
    circle.radius = 1;
    const GeoCoord centre = Q(0, 0);
    qd_te_geo_form_location(&circle, &centre, 1, 0.1, 0.1);
    TeChain on = Tol(TE_NODE, {Q(0, 0)}, 0.1);
    ASSERT_EQ(qd_te_identical_node_linear(&circle, &on, nullptr, &identical), 1);
    EXPECT_EQ(identical, 0);
    EXPECT_EQ(on.discard, CHAIN_OK);
    // Wrong kinds and nulls: reported, 0.
    EXPECT_EQ(qd_te_identical_node_linear(&line, &line, nullptr, &identical), 0);
    EXPECT_EQ(qd_te_duplicates_removal(nullptr, 1, 0, 0), 0);
    for (TeChain* c : {&line, &node, &circle, &on}) qd_te_geo_chain_release(c);
}

TEST(qd_te_dup, PassRulesWithASpy) {
    Spy spy;
    spy.merge = false;
    SpyOn on(&spy);
    Chains chains;
    chains.Add(Tol(TE_LINE, {Q(0, 0), Q(1, 0)}, 0));                       // the subject
    chains.Add(Tol(TE_LINE, {Q(0.5, 0), Q(2, 0)}, 0));                     // compared
    chains.Add(Tol(TE_REGION, {Q(0.1, 0), Q(0.1, 1), Q(1, 0), Q(0.1, 0)}, 0));  // skipped
    chains.Add(Tol(TE_LINE, {Q(0.2, 0), Q(0.8, 0)}, 0));                   // given the subject's id
    chains.Add(Tol(TE_LINE, {Q(1.5, 0), Q(3, 0)}, 0));                     // ends the pass
    chains.Add(Tol(TE_LINE, {Q(1.7, 0), Q(3, 0)}, 0));                     // after the end
    Link(chains);
    auto row = [&](double x) {
        for (int32_t i = 1; i < chains.Count(); ++i)
            if (Vx(chains.At(i), 0)->x == x) return i;
        return 0;
    };
    TeChain* subject = chains.At(row(0));
    chains.At(row(0.2))->chain_id = subject->chain_id;
    // A chain after the end whose rectangle would overlap: never reached.
    TeChain* late = chains.At(row(1.7));
    late->chain_mer[0].x = 0;
    ASSERT_EQ(qd_te_duplicates_removal(chains.list, row(0), 1e-6, 0), 1);
    ASSERT_EQ(spy.seen.size(), 1u);
    EXPECT_EQ(spy.seen[0].first, subject);
    EXPECT_EQ(spy.seen[0].second, chains.At(row(0.5)));
}

TEST(qd_te_dup, MergesWithASpy) {
    Spy spy;
    SpyOn on(&spy);
    // An adjuster survives whichever side the test keeps.
    {
        Chains chains;
        chains.Add(Tol(TE_LINE, {Q(0, 0), Q(1, 0)}, 0));
        chains.Add(Tol(TE_LINE, {Q(0.5, 0), Q(2, 0)}, 0, -1, 1));
        Link(chains);
        ASSERT_TRUE(RemoveAll(chains));
        for (int32_t i = 1; i < 3; ++i)
            EXPECT_EQ(chains.At(i)->discard, chains.At(i)->adjuster ? CHAIN_OK : CHAIN_DELETE);
    }
    // A reversed path swaps the donor's sides; so do closed rings of
    // opposite orientation that start at the same point.
    struct Case {
        std::initializer_list<GeoCoord> keep, drop;
        bool swapped;
    } cases[] = {
        {{Q(0, 0), Q(1, 1), Q(2, 0)}, {Q(2, 0), Q(1, 1), Q(0, 0)}, true},
        {{Q(0, 0), Q(1, 1), Q(2, 0)}, {Q(0, 0), Q(1, 1.1), Q(2, 0)}, false},
        {{Q(0, 0), Q(0, 1), Q(1, 1), Q(0, 0)}, {Q(0, 0), Q(1, 1), Q(0, 1), Q(0, 0)}, true},
        {{Q(0, 0), Q(0, 1), Q(1, 1), Q(0, 0)}, {Q(0, 0), Q(0, 1), Q(1, 1.1), Q(0, 0)}, false},
    };
    for (const Case& k : cases) {
        TeChain keep = Tol(TE_PATH, k.keep, 0), drop = Tol(TE_PATH, k.drop, 0);
        AddParent(drop, 0, 5);
        AddParent(drop, 1, 6);
        AddParent(keep, 0, 1);
        ASSERT_EQ(qd_te_duplicates_merge_chains(&keep, &drop), 1);
        EXPECT_EQ(drop.discard, CHAIN_DELETE);
        EXPECT_EQ(Ids(keep.right_parent), (k.swapped ? std::vector<int32_t>{1, 6} : std::vector<int32_t>{1, 5}));
        EXPECT_EQ(Ids(keep.left_parent), (k.swapped ? std::vector<int32_t>{5} : std::vector<int32_t>{6}));
        qd_te_geo_chain_release(&keep);
        qd_te_geo_chain_release(&drop);
    }
    // A soup of overlapping lines: chains merged away are never handed to
    // the test again, and the total of parent frequencies (each record at
    // least 1) over live chains is kept.
    spy.seen.clear();
    Chains chains;
    for (int k = 0; k < 30; ++k) {
        TeChain c = Tol(TE_LINE, {Q(k * 0.1, 0), Q(k * 0.1 + 0.5, 0)}, 0);
        AddParent(c, k % 2, 100 + k % 7, k % 3);
        chains.Add(c);
    }
    Link(chains);
    const int64_t total = FrequencyTotal(chains);
    ASSERT_TRUE(RemoveAll(chains));
    EXPECT_FALSE(spy.seen.empty());
    EXPECT_EQ(FrequencyTotal(chains), total);
}
