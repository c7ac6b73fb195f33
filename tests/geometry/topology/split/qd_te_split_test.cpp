// Cutting chains at split nodes: a property over random paths, the rules
// by hand (repeated nodes, nodes at the ends, insertion without cutting,
// recording), curves, arcs and circles, and bad nodes.
#include <gtest/gtest.h>

#include <random>

#include "geometry/topology/qd_te_assembly.h"
#include "te_split_util.h"

using namespace tetest;

namespace {

const double kT = 1e-9;

double Length(const std::vector<GeoCoord>& p) {
    double s = 0;
    for (size_t i = 1; i < p.size(); ++i) s += qd_te_cogo_distance_2d(&p[i - 1], &p[i]);
    return s;
}

GeoCoord Lerp(const GeoCoord& a, const GeoCoord& b, double u) {
    return Q(a.x + u * (b.x - a.x), a.y + u * (b.y - a.y));
}

TeChain FromPoints(int32_t type, const std::vector<GeoCoord>& pts, double tol) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), tol, tol);
    return c;
}

}  // namespace

// Random grid paths (x rising, so no path meets itself) cut at 0 to 5
// nodes, some on inner vertices, some repeated, some on the ends.
TEST(qd_te_split, CuttingProperty) {
    const uint32_t seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + int(rng() % 8);
        std::vector<GeoCoord> pts;
        double x = 0;
        for (int i = 0; i < n; ++i) {
            pts.push_back(Q(x, double(int(rng() % 11) - 5)));
            x += 1 + rng() % 3;
        }
        Chains chains;
        for (int i = 0; i < 4; ++i) chains.Add(Tol(TE_LINE, {Q(3.0 * i - 2, 0), Q(3.0 * i, 1)}, kT));
        TeChain cut = FromPoints(n == 2 ? TE_LINE : TE_PATH, pts, kT);
        cut.chain_pid = 77;
        chains.Add(cut);
        Link(chains);
        int32_t row = 0;
        for (int32_t i = 1; i < chains.Count(); ++i)
            if (chains.At(i)->chain_pid == 77) row = i;
        ASSERT_GT(row, 0);
        TeChain* chain = chains.At(row);
        // Distinct cut places (segment, fraction); 0 is a vertex.
        std::vector<std::pair<int, int>> places;
        const int k = int(rng() % 6);
        Nodes nodes({});
        for (int j = 0; j < k; ++j) {
            const int seg = int(rng() % uint32_t(n - 1));
            const int quarter = int(rng() % 4);  // 0: on vertex seg; else seg + quarter / 4
            const GeoCoord p = Lerp(pts[seg], pts[seg + 1], quarter / 4.0);
            const TeSplitNode node = Node(p.x, p.y, seg, qd_te_cogo_distance_2d(&pts[seg], &p));
            nlst_add(nodes.list, &node);
            if (rng() % 3 == 0) nlst_add(nodes.list, &node);  // a repeat
            places.push_back({seg, quarter});
            if (rng() % 4 == 0) {  // the path's ends make no cut
                const TeSplitNode end = Node(pts[n - 1].x, pts[n - 1].y, n - 2, qd_te_cogo_distance_2d(&pts[n - 2], &pts[n - 1]));
                nlst_add(nodes.list, &end);
            }
        }
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        std::vector<GeoCoord> expected;  // the original plus the nodes
        int inner = 0;
        for (int i = 0; i < n; ++i) {
            expected.push_back(pts[i]);
            for (const auto& [seg, quarter] : places)
                if (seg == i && quarter > 0) expected.push_back(Lerp(pts[i], pts[i + 1], quarter / 4.0));
        }
        for (const auto& [seg, quarter] : places) inner += quarter > 0 || seg > 0;
        Pieces pieces;
        ASSERT_EQ(qd_te_split_chains(chain, nodes.list, &pieces.list, kT), 1);
        if (inner == 0) {
            EXPECT_EQ(pieces.Count(), 0);
            continue;
        }
        ASSERT_EQ(pieces.Count(), inner + 1) << "round " << round;
        std::vector<GeoCoord> joined;
        double length = 0;
        for (int32_t i = 0; i < pieces.Count(); ++i) {
            const auto p = Points(pieces.At(i));
            EXPECT_GE(p.size(), 2u);
            EXPECT_EQ(pieces.At(i)->discard, CHAIN_OK);
            EXPECT_EQ(pieces.At(i)->chain_type, p.size() == 2 ? TE_LINE : TE_PATH);
            if (!joined.empty()) {
                EXPECT_EQ(joined.back().x, p.front().x);
                EXPECT_EQ(joined.back().y, p.front().y);
            }
            joined.insert(joined.end(), p.begin() + (joined.empty() ? 0 : 1), p.end());
            length += Length(p);
        }
        ASSERT_EQ(joined.size(), expected.size()) << "round " << round;
        for (size_t i = 0; i < joined.size(); ++i) {
            EXPECT_NEAR(joined[i].x, expected[i].x, 1e-12);
            EXPECT_NEAR(joined[i].y, expected[i].y, 1e-12);
        }
        EXPECT_NEAR(length, Length(pts), 1e-12 * Length(pts));
        // Back into the chain list in link order.
        chain->discard = CHAIN_DELETE;
        int32_t inserted = 0;
        ASSERT_EQ(qd_te_split_chain_by_list(row, pieces.list, chains.list, kT, &inserted), 1);
        EXPECT_EQ(inserted, 1);
        char why[200] = "";
        EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_SORTED, why), 1) << why;
        int32_t live = 0;
        EachLive(chains, [&](int32_t) { return ++live, 1; });
        EXPECT_EQ(live, 4 + inner + 1);
    }
}

TEST(qd_te_split, RulesByHand) {
    const std::vector<GeoCoord> pts = {Q(0, 0), Q(4, 0), Q(4, 4), Q(8, 4)};
    struct Case {
        const char* name;
        std::vector<TeSplitNode> nodes;
        int32_t pieces;
    } cases[] = {
        {"two nodes at one place cut once", {Node(2, 0, 0, 2), Node(2 + 1e-10, 0, 0, 2)}, 2},
        {"within t of the first vertex", {Node(1e-10, 0, 0, 1e-10)}, 0},
        {"on the last vertex, last segment", {Node(8, 4, 2, 4)}, 0},
        {"on an inner vertex", {Node(4, 0, 1, 0)}, 2},
        {"the next vertex, reported on a segment", {Node(4, 4, 1, 4)}, 2},
        {"three places", {Node(2, 0, 0, 2), Node(4, 2, 1, 2), Node(6, 4, 2, 2)}, 4},
    };
    for (const Case& k : cases) {
        TeChain c = FromPoints(TE_PATH, pts, 1e-9);
        Nodes nodes({});
        for (const auto& n : k.nodes) nlst_add(nodes.list, &n);
        Pieces pieces;
        ASSERT_EQ(qd_te_split_chains(&c, nodes.list, &pieces.list, 1e-9), 1) << k.name;
        EXPECT_EQ(pieces.Count(), k.pieces) << k.name;
        EXPECT_EQ(c.coords->tally, 4u) << k.name;  // the chain keeps its vertices
        qd_te_geo_chain_release(&c);
    }
    // A line cut at one inner point: two lines of two vertices.
    TeChain line = Tol(TE_LINE, {Q(0, 0), Q(10, 0)}, 1e-9);
    AddParent(line, 0, 4);
    line.chain_id = 9;
    Nodes one({Node(3, 0, 0, 3, 1e-7)});
    Pieces halves;
    ASSERT_EQ(qd_te_split_chains(&line, one.list, &halves.list, 1e-9), 1);
    ASSERT_EQ(halves.Count(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(halves.At(i)->chain_type, TE_LINE);
        EXPECT_EQ(halves.At(i)->coords->tally, 2u);
        EXPECT_EQ(halves.At(i)->chain_id, 9);
        EXPECT_EQ(ParentIds(halves.At(i)->right_parent), std::vector<int32_t>{4});
    }
    EXPECT_EQ(Points(halves.At(0))[1].x, 3);
    EXPECT_EQ(static_cast<const TeVertex*>(halves.At(1)->coords->data)[0].tol, 1e-7);
    // Inserting without cutting: the line becomes a path with the extra vertices.
    Nodes two({Node(7, 0, 0, 7), Node(3, 0, 0, 3)});
    ASSERT_EQ(qd_te_split_chain_cross(&line, two.list, 1e-9), 1);
    EXPECT_EQ(line.chain_type, TE_PATH);
    const auto p = Points(&line);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[1].x, 3);
    EXPECT_EQ(p[2].x, 7);
    qd_te_geo_chain_release(&line);
}

TEST(qd_te_split, RecordingWhereNodesLand) {
    const std::vector<GeoCoord> pts = {Q(0, 0), Q(4, 0), Q(4, 4), Q(8, 4)};
    for (int32_t mode : {0, 1}) {
        TeChain c = FromPoints(TE_PATH, pts, 1e-9);
        // Inside segment 0, on vertex 1 (twice), inside segment 1, inside 2,
        // on the first vertex.
        Nodes nodes({Node(2, 0, 0, 2), Node(4, 0, 1, 0), Node(4, 0, 0, 4), Node(4, 2, 1, 2), Node(6, 4, 2, 2),
                     Node(0, 0, 0, 0)});
        nlst* records = nullptr;
        ASSERT_EQ(qd_te_split_linear_record_intr(&c, 5, nodes.list, &records, mode, 1e-9), 1);
        std::vector<int32_t> index;
        for (uint32_t i = 0; i < records->tally; ++i) {
            const auto& r = static_cast<const TeSplitRecord*>(records->data)[i];
            EXPECT_EQ(r.row, 5);
            index.push_back(r.index);
        }
        // Segment nodes land at vertex + m + 1; the inner vertex (mode 1
        // only, once) at vertex + m.
        EXPECT_EQ(index, mode == 1 ? (std::vector<int32_t>{1, 2, 3, 5}) : (std::vector<int32_t>{1, 3, 5}));
        EXPECT_EQ(c.coords->tally, 4u);
        nlst_free(records);
        qd_te_geo_chain_release(&c);
    }
}

TEST(qd_te_split, CurveCutKeepsOneAngleAtTheCut) {
    TeChain curve = Tol(TE_CURVE, {Q(0, 0), Q(3, 2), Q(6, 0), Q(9, 1)}, 1e-9);
    curve.tangent = {0.5f, -0.25f, 3};
    Nodes nodes({Node(4.5, 1.5, 1, 1.8)});
    Pieces pieces;
    ASSERT_EQ(qd_te_split_chains(&curve, nodes.list, &pieces.list, 1e-9), 1);
    ASSERT_EQ(pieces.Count(), 2);
    const TeTangent& a = pieces.At(0)->tangent;
    const TeTangent& b = pieces.At(1)->tangent;
    EXPECT_EQ(a.type, 3);
    EXPECT_EQ(b.type, 3);
    EXPECT_EQ(a.start_angle, 0.5f);
    EXPECT_EQ(b.end_angle, -0.25f);
    EXPECT_EQ(a.end_angle, b.start_angle);
    EXPECT_EQ(pieces.At(0)->chain_type, TE_CURVE);
    qd_te_geo_chain_release(&curve);
}

TEST(qd_te_split, CirclesIntoArcs) {
    const double r = 5, cx = 1, cy = -2;
    struct Case {
        std::vector<double> degrees;
        int32_t arcs;
    } cases[] = {{{30}, 2}, {{30, 100}, 2}, {{30, 100, 250}, 3}, {{30, 30}, 2}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.degrees.size());
        TeChain circle = Circle(cx, cy, r, 1e-9);
        Nodes nodes({});
        for (double d : k.degrees) {
            const GeoCoord p = Polar(cx, cy, r, d);
            const TeSplitNode n = Node(p.x, p.y, 0, 0, 1e-8);
            nlst_add(nodes.list, &n);
        }
        Pieces pieces;
        ASSERT_EQ(qd_te_split_chains(&circle, nodes.list, &pieces.list, 1e-9), 1);
        ASSERT_EQ(pieces.Count(), k.arcs);
        double total = 0;
        for (int32_t i = 0; i < pieces.Count(); ++i) {
            const TeChain* a = pieces.At(i);
            ASSERT_EQ(a->chain_type, TE_ARC);
            total += Sweep(a);
            const auto p = Points(a);
            const GeoCoord c = Q(cx, cy);
            EXPECT_NEAR(qd_te_cogo_distance_2d(&p[1], &c), r, 1e-12 * r);
            EXPECT_NEAR(a->radius, r, 1e-9);
        }
        EXPECT_NEAR(total, 360, 1e-9);
        qd_te_geo_chain_release(&circle);
    }
}

TEST(qd_te_split, ArcsAtNodes) {
    const double t = 1e-6;
    struct Case {
        const char* name;
        double node_degrees;
        int32_t pieces;
    } cases[] = {{"inside", 60, 2}, {"within t of the end", 120 - 1e-8, 0}, {"off the arc", 200, 0}};
    for (const Case& k : cases) {
        TeChain arc = Tol(TE_ARC, {Polar(0, 0, 5, 0), Polar(0, 0, 5, 60), Polar(0, 0, 5, 120)}, t);
        const GeoCoord p = Polar(0, 0, 5, k.node_degrees);
        Nodes nodes({Node(p.x, p.y, 0, 0, 2e-6)});
        Pieces pieces;
        ASSERT_EQ(qd_te_split_chains(&arc, nodes.list, &pieces.list, t), 1) << k.name;
        ASSERT_EQ(pieces.Count(), k.pieces) << k.name;
        if (k.pieces == 2) {
            EXPECT_NEAR(Sweep(pieces.At(0)) + Sweep(pieces.At(1)), 120, 1e-9);
            EXPECT_EQ(static_cast<const TeVertex*>(pieces.At(0)->coords->data)[2].tol, 2e-6);
            EXPECT_EQ(Points(pieces.At(0))[2].x, p.x);
        }
        EXPECT_EQ(arc.discard, CHAIN_OK) << k.name;
        qd_te_geo_chain_release(&arc);
    }
    // A node opposite the start of a 270-degree arc: halfway points of the
    // first part lie opposite each other; still two arcs.
    TeChain big = Tol(TE_ARC, {Polar(0, 0, 5, 0), Polar(0, 0, 5, 135), Polar(0, 0, 5, 270)}, t);
    const GeoCoord opposite = Polar(0, 0, 5, 180);
    GeoCoord m1, m2, p = opposite;
    int32_t cut = 0;
    TeArc3 a3 = {Polar(0, 0, 5, 0), Polar(0, 0, 5, 135), Polar(0, 0, 5, 270)};
    ASSERT_EQ(qd_te_split_arc_get_middle_points(&m1, &m2, &cut, t, &a3, &p), 1);
    EXPECT_EQ(cut, 1);
    EXPECT_NEAR(m1.x, 0, 1e-12);
    EXPECT_NEAR(m1.y, 5, 1e-12);
    Nodes nodes({Node(opposite.x, opposite.y, 0, 0)});
    Pieces pieces;
    ASSERT_EQ(qd_te_split_chains(&big, nodes.list, &pieces.list, t), 1);
    ASSERT_EQ(pieces.Count(), 2);
    EXPECT_NEAR(Sweep(pieces.At(0)), 180, 1e-9);
    EXPECT_NEAR(Sweep(pieces.At(1)), 90, 1e-9);
    qd_te_geo_chain_release(&big);
}

TEST(qd_te_split, BadNodesAndArguments) {
    struct Case {
        const char* name;
        TeSplitNode node;
    } cases[] = {{"vertex past the chain", Node(1, 0, 4, 1)},
                 {"negative vertex", Node(1, 0, -1, 1)},
                 {"NaN point", Node(NAN, 0, 0, 1)},
                 {"infinite offset", Node(1, 0, 0, INFINITY)}};
    for (const Case& k : cases) {
        TeChain c = Tol(TE_PATH, {Q(0, 0), Q(2, 0), Q(2, 2), Q(4, 2)}, 1e-9);
        Nodes nodes({Node(1, 0, 0, 1), k.node});
        Pieces pieces;
        FailLog log;
        EXPECT_EQ(qd_te_split_chains(&c, nodes.list, &pieces.list, 1e-9), 0) << k.name;
        EXPECT_TRUE(log.Saw("UKT1M qd_te_split_linear")) << k.name;
        EXPECT_EQ(pieces.Count(), 0);
        EXPECT_EQ(nodes.list->tally, 2u) << k.name;  // refused before any sort
        EXPECT_EQ(c.coords->tally, 4u);
        qd_te_geo_chain_release(&c);
    }
    FailLog log;
    Nodes nodes({Node(1, 0, 0, 1)});
    Pieces pieces;
    TeChain node = Tol(TE_NODE, {Q(0, 0)}, 1e-9);
    EXPECT_EQ(qd_te_split_chains(nullptr, nodes.list, &pieces.list, 1e-9), 0);
    EXPECT_EQ(qd_te_split_chains(&node, nodes.list, &pieces.list, 1e-9), 0);
    EXPECT_EQ(qd_te_split_chain_arc(&node, nodes.list, &pieces.list, 1e-9), 0);
    EXPECT_EQ(qd_te_split_circle(nullptr, nullptr, &node, &pieces.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_split_chains"));
    EXPECT_TRUE(log.Saw("UKT1M qd_te_split_chain_arc"));
    EXPECT_TRUE(log.Saw("UKT1M qd_te_split_circle"));
    // Too few vertices: CHAIN_INVALID, success.
    TeChain one;
    qd_te_geo_chain_default(&one);
    one.chain_type = TE_PATH;
    one.coords = nlst_alloc(sizeof(TeVertex), 1, 1, nullptr);
    const TeVertex v = {0, 0, 0, 0};
    nlst_add(one.coords, &v);
    EXPECT_EQ(qd_te_split_chains(&one, nodes.list, &pieces.list, 1e-9), 1);
    EXPECT_EQ(one.discard, CHAIN_INVALID);
    qd_te_geo_chain_release(&one);
    qd_te_geo_chain_release(&node);
}
