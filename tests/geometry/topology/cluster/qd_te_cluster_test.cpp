// Node clustering: the documented cases by hand, a star of spokes, and
// properties on seeded soups of short segments.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "../chain/te_list_util.h"
#include "../chain/te_order_check.h"
#include "geometry/topology/qd_te_cluster.h"

using namespace tetest;

namespace {

bool ClusterAll(Chains& chains, int32_t option = 0, double tol = 1e-10) {
    return EachLive(chains, [&](int32_t i) { return qd_te_cluster_chains(chains.list, i, option, tol); });
}

// The chain of a type with a vertex at x (any vertex).
TeChain* Find(Chains& chains, int32_t type, double x) {
    for (int32_t i = 1; i < chains.Count(); ++i) {
        TeChain* c = chains.At(i);
        if (c->chain_type != type || !c->coords) continue;
        for (uint32_t k = 0; k < c->coords->tally; ++k)
            if (Vx(c, k)->x == x) return c;
    }
    return nullptr;
}

}  // namespace

TEST(qd_te_cluster, EqualPrioritiesStepTowardEachOther) {
    // Line ends 0.4 apart, tolerances 0.5 and 0.3: reach 0.5; the 0.3 end
    // advances min(0.3, 0.4 / 4) = 0.1; the merged tolerance is 0.2.
    Chains chains;
    chains.Add(Tol(TE_LINE, {Q(-5, 0), Q(0, 0)}, 0.5));
    chains.Add(Tol(TE_LINE, {Q(0.4, 0), Q(5, 0)}, 0.3));
    Link(chains);
    ASSERT_TRUE(ClusterAll(chains));
    TeChain* a = Find(chains, TE_LINE, -5);
    TeChain* b = Find(chains, TE_LINE, 5);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_DOUBLE_EQ(Vx(a, 1)->x, 0.3);
    EXPECT_EQ(Vx(a, 1)->x, Vx(b, 0)->x);
    EXPECT_EQ(Vx(a, 1)->y, Vx(b, 0)->y);
    EXPECT_DOUBLE_EQ(Vx(a, 1)->tol, 0.2);
    EXPECT_DOUBLE_EQ(Vx(b, 0)->tol, 0.2);
    EXPECT_EQ(Vx(b, 1)->x, 5);  // the far end stays
}

TEST(qd_te_cluster, PrioritiesAdjustersAndPaths) {
    // A node beats a line end: the end moves exactly onto it.
    {
        Chains chains;
        chains.Add(Tol(TE_LINE, {Q(-5, 0), Q(0, 0)}, 0.5));
        chains.Add(Tol(TE_NODE, {Q(0.2, 0.1)}, 0.5));
        Link(chains);
        ASSERT_TRUE(ClusterAll(chains));
        TeChain* line = Find(chains, TE_LINE, -5);
        ASSERT_NE(line, nullptr);
        EXPECT_EQ(Vx(line, 1)->x, 0.2);
        EXPECT_EQ(Vx(line, 1)->y, 0.1);
    }
    // Adjusters never move; two adjuster ends within reach stay apart; a
    // plain end within reach of an adjuster end moves onto it.
    {
        Chains chains;
        chains.Add(Tol(TE_LINE, {Q(-5, 0), Q(0, 0)}, 0.5, -1, 1));
        chains.Add(Tol(TE_LINE, {Q(0.3, 0), Q(5, 0)}, 0.5, -1, 1));
        chains.Add(Tol(TE_LINE, {Q(0.1, 0.2), Q(0.1, 5)}, 0.5));
        Link(chains);
        ASSERT_TRUE(ClusterAll(chains));
        TeChain* a = Find(chains, TE_LINE, -5);
        TeChain* b = Find(chains, TE_LINE, 5);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(Vx(a, 1)->x, 0);
        EXPECT_EQ(Vx(b, 0)->x, 0.3);
        TeChain* c = nullptr;
        for (int32_t i = 1; i < chains.Count(); ++i)
            if (chains.At(i)->adjuster == 0) c = chains.At(i);
        ASSERT_NE(c, nullptr);
        const TeVertex* e = Vx(c, 0);
        EXPECT_TRUE((e->x == 0 && e->y == 0) || (e->x == 0.3 && e->y == 0)) << e->x << " " << e->y;
    }
    // One PATH's vertices within reach of each other are never paired.
    {
        Chains chains;
        chains.Add(Tol(TE_PATH, {Q(0, 0), Q(0.1, 0), Q(0.2, 0.05), Q(5, 0)}, 0.5));
        Link(chains);
        ASSERT_TRUE(ClusterAll(chains));
        TeChain* p = chains.At(1);
        ASSERT_EQ(p->coords->tally, 4u);
        EXPECT_EQ(Vx(p, 1)->x, 0.1);
        EXPECT_EQ(Vx(p, 2)->x, 0.2);
    }
}

TEST(qd_te_cluster, ThreeEndsAndTwoNodes) {
    Chains chains;
    chains.Add(Tol(TE_LINE, {Q(-5, 0), Q(0, 0)}, 0.3));
    chains.Add(Tol(TE_LINE, {Q(0.1, 0), Q(5, 0)}, 0.3));
    chains.Add(Tol(TE_LINE, {Q(0.05, 0.08), Q(0.05, 5)}, 0.3));
    Link(chains);
    // The first chain's call pairs the three ends; its last scan pairs nothing.
    ASSERT_EQ(qd_te_cluster_chains(chains.list, chains.At(0)->link_fore, 0, 1e-10), 1);
    EXPECT_GE(qd_te_cluster_last_scans, 2);
    ASSERT_TRUE(ClusterAll(chains));
    std::set<std::pair<double, double>> ends;
    for (int32_t i = 1; i < 4; ++i) {
        TeChain* c = chains.At(i);
        ASSERT_EQ(c->discard, CHAIN_OK);
        const TeVertex* v = Vx(c, 0)->y == 5 || Vx(c, 0)->x == 5 ? Vx(c, 1) : Vx(c, 0);
        if (Vx(c, 0)->x == -5) v = Vx(c, 1);
        ends.insert({v->x, v->y});
    }
    EXPECT_EQ(ends.size(), 1u);

    // Two node chains clustered onto one point become one node chain that
    // carries both parents.
    Chains nodes;
    TeChain a = Tol(TE_NODE, {Q(0, 0)}, 0.5);
    TeChain b = Tol(TE_NODE, {Q(0.3, 0)}, 0.5);
    const TeParent pa = {1, 1, 1 << 3}, pb = {2, 1, 1 << 3};
    a.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    nlst_add(a.right_parent, &pa);
    b.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    nlst_add(b.right_parent, &pb);
    nodes.Add(a);
    nodes.Add(b);
    Link(nodes);
    ASSERT_TRUE(ClusterAll(nodes));
    int32_t live = 0;
    for (int32_t i = 1; i < 3; ++i) {
        TeChain* c = nodes.At(i);
        if (c->discard != CHAIN_OK) continue;
        ++live;
        ASSERT_NE(c->right_parent, nullptr);
        EXPECT_EQ(c->right_parent->tally, 2u);
    }
    EXPECT_EQ(live, 1);
}

TEST(qd_te_cluster, StarEndsOnOnePoint) {
    // Spoke ends within reach of each other gather on one point, in a few
    // scans however many spokes there are.
    for (const int spokes : {200, 1000}) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> jitter(-0.004, 0.004);
        Chains chains;
        for (int k = 0; k < spokes; ++k) {
            const double a = 2 * M_PI * k / spokes;
            chains.Add(Tol(TE_LINE, {Q(jitter(rng), jitter(rng)), Q(10 * std::cos(a), 10 * std::sin(a))}, 0.05));
        }
        Link(chains);
        int32_t scans = 0;
        ASSERT_TRUE(EachLive(chains, [&](int32_t i) {
            const int ok = qd_te_cluster_chains(chains.list, i, 0, 1e-10);
            scans = std::max(scans, qd_te_cluster_last_scans);
            return ok;
        }));
        EXPECT_LE(scans, 8) << spokes;
        std::set<std::pair<double, double>> hub;
        for (int32_t i = 1; i < chains.Count(); ++i) {
            TeChain* c = chains.At(i);
            ASSERT_EQ(c->discard, CHAIN_OK);
            for (uint32_t k = 0; k < 2; ++k)
                if (std::hypot(Vx(c, k)->x, Vx(c, k)->y) < 1) hub.insert({Vx(c, k)->x, Vx(c, k)->y});
        }
        EXPECT_EQ(hub.size(), 1u) << spokes;
        char why[200];
        EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_MER, why), 1) << why;
    }
}

TEST(qd_te_cluster, SeededSoups) {
    for (uint32_t seed : {1u, 2u, 3u, 4u}) {
        for (double scale : {1.0, 1e6}) {
            for (double tol : {1e-9, 1e-3}) {
                std::mt19937 rng(seed);
                std::uniform_real_distribution<double> pos(0, 1), off(-3 * tol, 3 * tol);
                Chains chains;
                std::vector<GeoCoord> anchors;
                for (int k = 0; k < 40; ++k) anchors.push_back(Q(pos(rng) * scale, pos(rng) * scale));
                auto near = [&](int k) { return Q(anchors[k].x + off(rng), anchors[k].y + off(rng)); };
                std::uniform_int_distribution<int> pick(0, 39);
                for (int k = 0; k < 120; ++k) {
                    const int kind = k % 6;
                    if (kind == 5) {
                        chains.Add(Tol(TE_NODE, {near(pick(rng))}, tol));
                    } else {
                        int i = pick(rng), j = pick(rng);
                        if (i == j) j = (j + 1) % 40;
                        chains.Add(Tol(TE_LINE, {near(i), near(j)}, tol, -1, kind == 4 ? 1 : 0));
                    }
                }
                Link(chains);
                // Before: every vertex with its tolerance and adjuster bytes.
                struct Before {
                    TeChain* c;
                    std::vector<TeVertex> v;
                };
                std::vector<Before> before;
                std::set<std::pair<double, double>> distinct_before;
                for (int32_t i = 1; i < chains.Count(); ++i) {
                    TeChain* c = chains.At(i);
                    if (c->discard != CHAIN_OK) continue;
                    Before b{c, {}};
                    for (uint32_t k = 0; k < c->coords->tally; ++k) {
                        b.v.push_back(*Vx(c, k));
                        distinct_before.insert({Vx(c, k)->x, Vx(c, k)->y});
                    }
                    before.push_back(b);
                }
                ASSERT_TRUE(ClusterAll(chains, 0, tol));
                char why[200];
                ASSERT_EQ(qd_te_check_invariants(chains.list, TE_INV_MER, why), 1) << why;
                std::set<std::pair<double, double>> distinct_after;
                double worst = 0;
                std::vector<GeoCoord> finals;
                for (const Before& b : before) {
                    TeChain* c = b.c;
                    if (c->adjuster == 1) {
                        ASSERT_EQ(c->coords->tally, b.v.size());
                        for (uint32_t k = 0; k < b.v.size(); ++k) {
                            EXPECT_EQ(Vx(c, k)->x, b.v[k].x);
                            EXPECT_EQ(Vx(c, k)->y, b.v[k].y);
                        }
                    }
                    if (c->discard != CHAIN_OK) continue;
                    for (uint32_t k = 0; k < c->coords->tally; ++k) {
                        const TeVertex* v = Vx(c, k);
                        distinct_after.insert({v->x, v->y});
                        finals.push_back(Q(v->x, v->y));
                        const TeVertex& o = b.v[std::min<uint32_t>(k, uint32_t(b.v.size()) - 1)];
                        worst = std::max(worst, std::hypot(v->x - o.x, v->y - o.y) / tol);
                    }
                }
                EXPECT_LE(distinct_after.size(), distinct_before.size());
                // One merge moves a vertex at most the larger tolerance of
                // its pair, or the base tolerance for points that already
                // coincide within it (both are tol here).
                EXPECT_LE(worst, 2 * (1 + 1e-9) + scale * 1e-14 / tol) << seed << " " << scale << " " << tol;
                // Merged vertices coincide exactly: no two live vertices
                // closer than a hundredth of the tolerance yet apart.
                for (size_t i = 0; i < finals.size(); ++i)
                    for (size_t j = i + 1; j < finals.size(); ++j) {
                        const double d = std::hypot(finals[i].x - finals[j].x, finals[i].y - finals[j].y);
                        EXPECT_FALSE(d > 0 && d < tol * 1e-2) << d;
                    }
            }
        }
    }
}

TEST(qd_te_cluster, CandidateOrderIsStrictWeak) {
    // Near-tie candidates: boxes, priorities and tolerances drawn from few values.
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> pick(0, 2);
    const double xs[] = {1.0, 1.0 + 1e-15, 1.0 - 1e-12};
    std::vector<TeVertex> vertices(40);
    std::vector<TeClusterNode> nodes(40);
    for (size_t i = 0; i < nodes.size(); ++i) {
        vertices[i] = {0, 0, KTGEO_NO_Z, 0.1 * pick(rng)};
        TeClusterNode& c = nodes[i];
        c = TeClusterNode{};
        c.vertex = &vertices[i];
        c.box[0] = {xs[pick(rng)], xs[pick(rng)], KTGEO_NO_Z};
        c.priority = pick(rng);
    }
    EXPECT_EQ(OrderFault(nodes, [](const TeClusterNode* a, const TeClusterNode* b) {
                  return qd_te_cluster_node_compare(a, b);
              }),
              "");
}
