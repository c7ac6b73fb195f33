// Convex hull: the hull order against a brute-force hull, collinear and
// repeated points, small sets, the NODE output and the one-point hull chain.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

using namespace tetest;

namespace {

double Cross(const GeoCoord& a, const GeoCoord& b, const GeoCoord& c) {
    return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Brute force: p is a strict hull vertex when no other triangle or
// segment of the set holds it (integer coordinates, exact).
bool StrictVertex(const std::vector<GeoCoord>& pts, size_t i) {
    const GeoCoord& p = pts[i];
    const size_t n = pts.size();
    for (size_t a = 0; a < n; ++a)
        for (size_t b = 0; b < n; ++b)
            for (size_t c = 0; c < n; ++c) {
                const GeoCoord &A = pts[a], &B = pts[b], &C = pts[c];
                if ((A.x == p.x && A.y == p.y) || (B.x == p.x && B.y == p.y) || (C.x == p.x && C.y == p.y)) continue;
                const double d1 = Cross(A, B, p), d2 = Cross(B, C, p), d3 = Cross(C, A, p);
                const bool neg = d1 < 0 || d2 < 0 || d3 < 0, pos = d1 > 0 || d2 > 0 || d3 > 0;
                if (!(neg && pos)) return false;
            }
    return true;
}

// Points of one chain ordered as hull points; answers the hull part.
std::vector<GeoCoord> Hull(Chains& chains, std::vector<int>* interior = nullptr) {
    nlst* points = nlst_alloc(sizeof(TeHullPoint), 8, 8, nullptr);
    for (int32_t r = 1; r < chains.Count(); ++r) {
        TeChain* c = chains.At(r);
        for (uint32_t k = 0; k < c->coords->tally; ++k) {
            const TeHullPoint h{c, &Vx(c, k)->x, 0, -1, -1, -1};
            nlst_add(points, &h);
        }
    }
    EXPECT_EQ(qd_te_convex_hull_order(points), 1);
    std::vector<GeoCoord> hull;
    const auto* p = static_cast<const TeHullPoint*>(points->data);
    for (uint32_t i = 0; i < points->tally; ++i) {
        if (interior) interior->push_back(p[i].interior);
        if (!p[i].interior) hull.push_back(Q(p[i].vertex[0], p[i].vertex[1]));
    }
    nlst_free(points);
    return hull;
}

}  // namespace

TEST(qd_te_hull, OrderAgainstBruteForce) {
    std::mt19937 rng(390);
    for (int round = 0; round < 60; ++round) {
        const int grid = round % 3 == 0 ? 3 : 12;  // small grids: many collinear and repeated points
        std::uniform_int_distribution<int> coord(0, grid);
        std::vector<GeoCoord> pts;
        for (int k = 0; k < 4 + round % 25; ++k) pts.push_back(Q(coord(rng), coord(rng)));
        Chains chains;
        TeChain c;
        qd_te_geo_chain_default(&c);
        c.chain_type = TE_NODE;
        c.coords = nlst_alloc(sizeof(TeVertex), 8, 8, nullptr);
        for (const auto& p : pts) {
            const TeVertex v{p.x, p.y, 0, 0};
            nlst_add(c.coords, &v);
        }
        chains.Add(c);
        const auto hull = Hull(chains);
        // Every strict vertex is on the hull once; the hull runs clockwise
        // and convex (straight runs only on the upper chain); every point
        // lies inside or on it.
        std::set<std::pair<double, double>> seen;
        for (const auto& h : hull) EXPECT_TRUE(seen.insert({h.x, h.y}).second) << round;
        for (size_t i = 0; i < pts.size(); ++i) {
            if (StrictVertex(pts, i)) {
                EXPECT_TRUE(seen.count({pts[i].x, pts[i].y})) << round;
            }
        }
        if (hull.size() >= 3) {
            for (size_t i = 0; i < hull.size(); ++i) {
                const auto &a = hull[i], &b = hull[(i + 1) % hull.size()], &c2 = hull[(i + 2) % hull.size()];
                EXPECT_LE(Cross(a, b, c2), 0) << round;
            }
            for (const auto& p : pts)
                for (size_t i = 0; i < hull.size(); ++i)
                    EXPECT_LE(Cross(hull[i], hull[(i + 1) % hull.size()], p), 0) << round;
        }
    }
}

TEST(qd_te_hull, CollinearRepeatedAndSmallSets) {
    // Square with a point on each edge and a repeated corner: the top
    // edge's middle (upper chain) stays, the bottom and side ones go.
    Chains chains;
    chains.Add(Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0), Q(2, 1), Q(2, 2), Q(1, 2), Q(0, 2), Q(0, 1)}));
    chains.Add(Chain(TE_NODE, {Q(0, 0)}));
    chains.Add(Chain(TE_NODE, {Q(1, 1)}));
    std::vector<int> interior;
    const auto hull = Hull(chains, &interior);
    std::vector<std::pair<double, double>> got;
    for (const auto& h : hull) got.push_back({h.x, h.y});
    // Clockwise from the lowest leftmost point; the collinear (0,1) is on
    // the upper chain's first straight run.
    EXPECT_EQ(got, (std::vector<std::pair<double, double>>{{0, 0}, {0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 0}}));
    // Three points or fewer: all hull points.
    Chains few;
    few.Add(Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)}));
    EXPECT_EQ(Hull(few).size(), 3u);
}

TEST(qd_te_hull, NodeOutputAndOnePointHull) {
    struct Out {
        int objects = 0;
        uint32_t points = 0;
        static int32_t On(SpatialObject* so, nlst*, void* self) {
            auto* o = static_cast<Out*>(self);
            ++o->objects;
            o->points += so->primitives ? so->primitives->tally : 0;
            return 1;
        }
    } out;
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_CONVEX_HULL;
    r.output_dim = TE_DIM_NODE;
    r.output_method = {&Out::On, &out};
    Chains chains;
    chains.Add(Chain(TE_PATH, {Q(0, 0), Q(4, 0), Q(4, 4), Q(0, 4), Q(2, 2)}));
    ASSERT_EQ(qd_te_output_convex_hull(chains.list, &r), 1);
    EXPECT_EQ(out.objects, 1);
    EXPECT_EQ(out.points, 4u);
    // One distinct point as a surface: a NODE chain through the pipeline.
    Chains one;
    one.Add(Chain(TE_NODE, {Q(3, 3)}));
    one.Add(Chain(TE_NODE, {Q(3, 3)}));
    one.Add(Chain(TE_NODE, {Q(3, 3)}));
    one.Add(Chain(TE_NODE, {Q(3, 3)}));
    TeRules s = r;
    s.output_dim = TE_DIM_SURFACE;
    s.statistics.data_dim = TE_DIM_NODE;
    out = {};
    ASSERT_EQ(qd_te_output_convex_hull(one.list, &s), 1);
    EXPECT_EQ(out.objects, 1);
    EXPECT_EQ(out.points, 1u);
    FailLog log;
    EXPECT_EQ(qd_te_convex_hull_order(nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_convex_hull_order"));
}
