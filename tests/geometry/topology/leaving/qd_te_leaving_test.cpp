// Node topology: the direction order against atan2, walk links at nodes,
// snapping of near ends, rings, arcs, and bad arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

using namespace tetest;

namespace {

TeRules Plain() {
    TeRules r;
    qd_te_rules_init(&r);
    return r;
}

// A two-point PATH from the origin-like centre c in a direction (degrees).
TeChain Ray(GeoCoord c, double degrees, double length = 1) {
    const double a = degrees * M_PI / 180;
    return Chain(TE_PATH, {c, Q(c.x + length * std::cos(a), c.y + length * std::sin(a))});
}

void Number(Chains& chains) {
    for (int32_t i = 0; i < chains.Count(); ++i) chains.At(i)->chain_id = i;
}

}  // namespace

TEST(qd_te_leaving, CyclicOrderIsTheAngleOrder) {
    std::mt19937 rng(39);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI), length(1e-3, 1e3);
    const GeoCoord o = Q(12.5, -3.25);
    for (int round = 0; round < 200; ++round) {
        std::vector<double> a;
        while (a.size() < 12) {
            double t = angle(rng);
            if (round % 4 == 0 && a.size() < 4) t = a.size() * M_PI / 2;  // the axes
            bool apart = true;
            for (double u : a) apart = apart && std::fabs(u - t) >= 1e-6 && std::fabs(std::fabs(u - t) - 2 * M_PI) >= 1e-6;
            if (apart) a.push_back(t);
        }
        struct Dir {
            double angle;
            int32_t q;
            double s;
        };
        std::vector<Dir> d;
        for (double t : a) {
            const double r = length(rng);
            const GeoCoord p = Q(o.x + r * std::cos(t), o.y + r * std::sin(t));
            Dir x{std::fmod(std::atan2(p.y - o.y, p.x - o.x) + 2 * M_PI, 2 * M_PI), 0, 0};
            ASSERT_EQ(qd_te_leaving_calc_cyclic_order(&o, &p, &x.q, &x.s), 1);
            d.push_back(x);
        }
        auto by_code = d, by_angle = d;
        std::sort(by_code.begin(), by_code.end(), [](const Dir& a, const Dir& b) { return a.q != b.q ? a.q < b.q : a.s < b.s; });
        std::sort(by_angle.begin(), by_angle.end(), [](const Dir& a, const Dir& b) { return a.angle < b.angle; });
        for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(by_code[i].angle, by_angle[i].angle) << round << " " << i;
    }
}

TEST(qd_te_leaving, ThreeChainsLinkCounterClockwise) {
    Chains chains;
    const GeoCoord o = Q(5, 5);
    chains.Add(Ray(o, 100));  // 1
    chains.Add(Ray(o, 200));  // 2
    chains.Add(Ray(o, 10));   // 3
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, chains.list), 1);
    // 10° → 100° → 200° → 10°: each start names the next start (-id).
    EXPECT_EQ(chains.At(3)->left_link, -1);
    EXPECT_EQ(chains.At(1)->left_link, -2);
    EXPECT_EQ(chains.At(2)->left_link, -3);
    // The far ends dangle: each names its own chain's end (+id).
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(chains.At(i)->right_link, i);
    char why[200];
    EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_WALK_LINKS, why), 0);  // frame not built here
    std::string w = why;
    EXPECT_NE(w.find("frame"), std::string::npos) << w;
}

TEST(qd_te_leaving, NearEndsMeetAtOnePointAndDanglingStarts) {
    const double t = 1e-3;
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}));
    chains.Add(Chain(TE_LINE, {Q(1 + 0.5 * t, 0.2 * t), Q(2, 1)}));
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, t, chains.list), 1);
    const auto a = Points(chains.At(1)), b = Points(chains.At(2));
    EXPECT_EQ(a[1].x, b[0].x);
    EXPECT_EQ(a[1].y, b[0].y);
    EXPECT_EQ(a[1].x, 1);  // onto the first in (x, y) order
    // The shared node: the end of 1 (leaving towards -x) and the start of 2.
    EXPECT_EQ(chains.At(1)->right_link, -2);
    EXPECT_EQ(chains.At(2)->left_link, 1);
    // Dangling: a start gets -id, an end +id.
    EXPECT_EQ(chains.At(1)->left_link, -1);
    EXPECT_EQ(chains.At(2)->right_link, 2);
    // 2t apart: no snap, two dangling ends.
    Chains apart;
    apart.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}));
    apart.Add(Chain(TE_LINE, {Q(1 + 2 * t, 0), Q(2, 1)}));
    Number(apart);
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, t, apart.list), 1);
    EXPECT_EQ(apart.At(1)->right_link, 1);
    EXPECT_EQ(apart.At(2)->left_link, -2);
}

TEST(qd_te_leaving, NearEndsSnapAlongAColumnOfNodes) {
    // Nodes (5, k) on one x. At every node a line ends exactly; a line
    // starts 0.3t to the right and 0.3t below; at odd k another starts 0.4t
    // above on the same x. All of them meet at (5, k) and link there.
    const double t = 1e-3;
    Chains chains;
    std::vector<std::vector<int32_t>> at_node;  // rows: the end first, then starts
    for (int k = 0; k < 10; ++k) {
        std::vector<int32_t> rows = {chains.Add(Chain(TE_LINE, {Q(0, k), Q(5, k)}))};
        rows.push_back(chains.Add(Chain(TE_LINE, {Q(5 + 0.3 * t, k - 0.3 * t), Q(7, k + 0.5)})));
        if (k % 2) rows.push_back(chains.Add(Chain(TE_LINE, {Q(5, k + 0.4 * t), Q(6, k + 0.9)})));
        at_node.push_back(rows);
    }
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, t, chains.list), 1);
    for (int k = 0; k < 10; ++k) {
        const std::vector<int32_t>& rows = at_node[size_t(k)];
        std::vector<int32_t> targets, ends;
        for (size_t m = 0; m < rows.size(); ++m) {
            const TeChain* c = chains.At(rows[m]);
            const auto p = Points(c);
            const GeoCoord here = m == 0 ? p.back() : p.front();
            EXPECT_EQ(here.x, 5) << k << " " << m;
            EXPECT_EQ(here.y, k) << k << " " << m;
            ends.push_back(m == 0 ? c->chain_id : -c->chain_id);  // how a link names this end
            targets.push_back(m == 0 ? c->right_link : c->left_link);
        }
        // Each end links to another end of this node, each reached once.
        for (size_t m = 0; m < rows.size(); ++m) EXPECT_NE(targets[m], ends[m]) << k;
        std::sort(targets.begin(), targets.end());
        std::sort(ends.begin(), ends.end());
        EXPECT_EQ(targets, ends) << k;
    }
}

TEST(qd_te_leaving, ClosedRingLinksItsEndsAndOthersThere) {
    Chains chains;
    chains.Add(Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1), Q(0, 1), Q(0, 0)}));  // leaves +x, arrives from +y
    chains.Add(Ray(Q(0, 0), 225));
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, chains.list), 1);
    // Around (0, 0): ring start (0°), ring end (90°), ray start (225°).
    EXPECT_EQ(chains.At(1)->left_link, 1);    // start → ring end
    EXPECT_EQ(chains.At(1)->right_link, -2);  // end → ray start
    EXPECT_EQ(chains.At(2)->left_link, -1);   // ray start → ring start
    EXPECT_EQ(chains.At(2)->right_link, 2);
    // A ring alone: its two ends link to each other.
    Chains ring;
    ring.Add(Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1), Q(0, 0)}));
    Number(ring);
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, ring.list), 1);
    EXPECT_EQ(ring.At(1)->left_link, 1);
    EXPECT_EQ(ring.At(1)->right_link, -1);
}

TEST(qd_te_leaving, ArcAndCurveDirectionsComeFromTheirStrokes) {
    // The arc (1,0) (0,1) (-1,0) about the origin leaves (1,0) close to +y
    // (its stroke), while its middle vertex lies at 135°. Lines at 80° and
    // 110° bracket the stroke's direction but not the middle vertex's.
    Chains chains;
    chains.Add(Chain(TE_ARC, {Q(1, 0), Q(0, 1), Q(-1, 0)}));  // 1
    chains.Add(Ray(Q(1, 0), 80));                             // 2
    chains.Add(Ray(Q(1, 0), 110));                            // 3
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, chains.list), 1);
    EXPECT_EQ(chains.At(2)->left_link, -1);
    EXPECT_EQ(chains.At(1)->left_link, -3);
    EXPECT_EQ(chains.At(3)->left_link, -2);
    // At (-1, 0) the arc arrives from above: it leaves that end close to -y.
    EXPECT_EQ(chains.At(1)->right_link, 1);
    // A CURVE (1,0) (2,1) (3,0) given the start direction +y: its stroke
    // leaves (1,0) upwards, between the lines at 80° and 110°, while its
    // second vertex lies at 45°, before both.
    Chains curve;
    curve.Add(Chain(TE_CURVE, {Q(1, 0), Q(2, 1), Q(3, 0)}));  // 1
    curve.At(1)->tangent = {float(M_PI / 2), 0.0f, 1};
    curve.Add(Ray(Q(1, 0), 80));   // 2
    curve.Add(Ray(Q(1, 0), 110));  // 3
    Number(curve);
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, curve.list), 1);
    EXPECT_EQ(curve.At(2)->left_link, -1);
    EXPECT_EQ(curve.At(1)->left_link, -3);
    EXPECT_EQ(curve.At(3)->left_link, -2);
}

TEST(qd_te_leaving, CirclesNodesShortChainsAndBadArguments) {
    Chains chains;
    chains.Add(Circle(0, 0, 1, 0));                       // 1
    chains.Add(Chain(TE_NODE, {Q(3, 3)}));                // 2
    chains.Add(Chain(TE_PATH, {Q(5, 5), Q(6, 6)}));       // 3: made too short below
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));       // 4
    chains.At(4)->discard = CHAIN_DELETE;                 // skipped
    nlst_trunc(chains.At(3)->coords, 1);
    Number(chains);
    TeRules r = Plain();
    ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, chains.list), 1);
    EXPECT_EQ(chains.At(1)->left_link, 1);
    EXPECT_EQ(chains.At(1)->right_link, -1);
    EXPECT_EQ(chains.At(2)->left_link, 2);
    EXPECT_EQ(chains.At(2)->right_link, -2);
    EXPECT_EQ(chains.At(3)->discard, CHAIN_INVALID);
    EXPECT_EQ(chains.At(4)->left_link, 0);

    FailLog log;
    nlst* entries = nullptr;
    EXPECT_EQ(qd_te_leaving_chain_set_ql_lr(nullptr, 1e-10, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving_chain_set_ql_lr"));
    EXPECT_EQ(qd_te_leaving_set_ql_lr(nullptr, nullptr, 0), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving_set_ql_lr"));
    EXPECT_EQ(qd_te_leaving_set_ql_lr(nullptr, &r, 0), 1);  // nothing to link
    EXPECT_EQ(qd_te_leaving_form_node_list(nullptr, &entries), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving_form_node_list"));
    chains.At(4)->discard = CHAIN_OK;
    chains.At(4)->chain_type = 9;
    EXPECT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_leaving_chain_set_ql_lr - Unknown primitive type"));
    chains.At(4)->chain_type = TE_LINE;
    // A refused heartbeat stops the linking.
    TeRules refuse = Plain();
    refuse.event_method.on_fail = [](FailEvent*, void*) -> int32_t { return 0; };
    EXPECT_EQ(qd_te_leaving_chain_set_ql_lr(&refuse, 1e-10, chains.list), 0);
    EXPECT_EQ(entries, nullptr);
}
