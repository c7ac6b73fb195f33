// Island containers, levels and dangle pruning on the polygon lists of the
// face walk: rings in rings, rays through shared vertices and past sloped
// segments of earlier cells, random lattice soups under several cell
// sizes, grids of degenerate extents, and the pruning of top-level spikes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/faces/te_face_util.h"
#include "geometry/topology/qd_te_islands.h"

using namespace tetest;

namespace {

// A closed path through the points and back to the first.
TeChain Ring(std::vector<GeoCoord> pts) {
    pts.push_back(pts.front());
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 0, 0);
    return c;
}
TeChain Box(double x0, double y0, double x1, double y1) {
    return Ring({Q(x0, y0), Q(x0, y1), Q(x1, y1), Q(x1, y0)});
}

// The positive and the negative polygon of a ring chain.
int32_t Inner(const Faces& f, int32_t chain) { return f.chains.At(chain)->poly_right; }
int32_t Outer(const Faces& f, int32_t chain) { return f.chains.At(chain)->poly_left; }

std::vector<int32_t> IslandList(const Faces& f, int32_t container) {
    std::vector<int32_t> v;
    for (int32_t i = f.P(container)->island_list; i > 0 && v.size() < 100; i = f.P(i)->island_list) v.push_back(i);
    return v;
}

// Walks the faces and finds the containers with the statistics' cell.
void Build(Faces& f) {
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    ASSERT_EQ(qd_te_neg_in_pos(f.polygons, f.negatives, f.chains.list, &f.rules), 1);
}

// Containers found with a forced cell size, as (inside, island_list) per polygon.
std::vector<std::pair<int32_t, int32_t>> Containers(Faces& f, double cell) {
    for (int32_t i = 0; i < f.Count(); ++i) f.P(i)->inside = f.P(i)->island_list = 0;
    TeVectorGrid grid{};
    EXPECT_EQ(qd_te_vector_grid_init(&grid, f.chains.list, cell), 1);
    EXPECT_EQ(qd_te_neg_find_containers(f.chains.list, f.negatives, &grid, f.polygons), 1) << "cell " << cell;
    qd_te_vector_grid_free(&grid);
    std::vector<std::pair<int32_t, int32_t>> v;
    for (int32_t i = 0; i < f.Count(); ++i) v.push_back({f.P(i)->inside, f.P(i)->island_list});
    return v;
}

}  // namespace

TEST(qd_te_islands, RingInRingAndTwoRingsInAThird) {
    Faces f;
    const int32_t outer = f.Add(Box(0, 0, 10, 10));
    const int32_t inner = f.Add(Box(3, 3, 7, 7));
    Build(f);
    EXPECT_EQ(f.P(Outer(f, outer))->inside, 1);
    EXPECT_EQ(f.P(Outer(f, inner))->inside, Inner(f, outer));
    EXPECT_EQ(IslandList(f, Inner(f, outer)), (std::vector<int32_t>{Outer(f, inner)}));
    EXPECT_EQ(IslandList(f, 1), (std::vector<int32_t>{Outer(f, outer)}));
    // Levels: the inner face lies one island boundary deep and goes.
    ASSERT_EQ(qd_te_island_levels(f.polygons, f.chains.list), 1);
    EXPECT_EQ(f.P(Inner(f, outer))->discard, 0);
    EXPECT_EQ(f.P(Inner(f, inner))->discard, 1);

    Faces g;
    const int32_t big = g.Add(Box(0, 0, 10, 10));
    const int32_t a = g.Add(Box(1, 1, 3, 3));
    const int32_t b = g.Add(Box(6, 6, 8, 8));
    Build(g);
    // Assigned in the negative list's order, each pushed on the front.
    std::vector<int32_t> order;
    for (int32_t n : g.Negatives())
        if (n == Outer(g, a) || n == Outer(g, b)) order.insert(order.begin(), n);
    EXPECT_EQ(IslandList(g, Inner(g, big)), order);
    ASSERT_EQ(qd_te_island_levels(g.polygons, g.chains.list), 1);
    for (int32_t c : {big, a, b}) EXPECT_EQ(g.P(Inner(g, c))->discard, c == big ? 0 : 1) << c;
}

TEST(qd_te_islands, ThreeLevelsAlternate) {
    Faces f;
    const int32_t r0 = f.Add(Box(0, 0, 20, 20));
    const int32_t r1 = f.Add(Box(2, 2, 18, 18));
    const int32_t r2 = f.Add(Box(4, 4, 16, 16));
    const int32_t r3 = f.Add(Box(6, 6, 14, 14));
    Build(f);
    ASSERT_EQ(qd_te_island_levels(f.polygons, f.chains.list), 1);
    const int32_t rings[] = {r0, r1, r2, r3};
    for (int32_t k = 0; k < 4; ++k) EXPECT_EQ(f.P(Inner(f, rings[k]))->discard, k % 2) << k;
    // Two squares side by side one level down: their group's outer
    // boundary has two outermost faces next to each other and queues
    // neither, so neither is discarded.
    Faces pair;
    pair.Add(Box(0, 0, 20, 20));
    const int32_t shared = pair.Add(Path({Q(6, 2), Q(6, 6)}));
    pair.Add(Path({Q(6, 6), Q(2, 6), Q(2, 2), Q(6, 2)}));
    pair.Add(Path({Q(6, 2), Q(10, 2), Q(10, 6), Q(6, 6)}));
    Build(pair);
    ASSERT_EQ(qd_te_island_levels(pair.polygons, pair.chains.list), 1);
    for (int32_t side : {pair.chains.At(shared)->poly_left, pair.chains.At(shared)->poly_right}) {
        ASSERT_GT(pair.P(side)->area, 0);
        EXPECT_EQ(pair.P(side)->discard, 0) << side;
    }
    // A discarded top-level island is passed over when seeding.
    Faces g;
    const int32_t left = g.Add(Box(0, 0, 4, 4));
    const int32_t right = g.Add(Box(10, 0, 14, 4));
    const int32_t hole = g.Add(Box(11, 1, 13, 3));
    Build(g);
    g.P(Outer(g, left))->discard = 1;
    ASSERT_EQ(qd_te_island_levels(g.polygons, g.chains.list), 1);
    EXPECT_EQ(g.P(Inner(g, right))->discard, 0);
    EXPECT_EQ(g.P(Inner(g, hole))->discard, 1);
}

TEST(qd_te_islands, RayThroughAVertexTwoRingsShare) {
    // A ring to the right (added first, so its segments come first in
    // the cell) touches the container at the vertex (10, 5) that the
    // island's ray passes; the segment turning back toward the ray's
    // origin decides: the container, not the pair's outer boundary.
    Faces f;
    const int32_t wedge = f.Add(Ring({Q(10, 5), Q(15, 8), Q(15, 2)}));
    const int32_t diamond = f.Add(Ring({Q(10, 5), Q(5, 0), Q(0, 5), Q(5, 10)}));
    const int32_t island = f.Add(Ring({Q(2, 4), Q(2, 6), Q(4, 5)}));
    Build(f);
    EXPECT_EQ(f.P(Outer(f, island))->inside, Inner(f, diamond));
    EXPECT_NE(f.P(Outer(f, wedge))->inside, 0);
    for (double cell : {0.5, 1.0, 3.0, 100.0})
        EXPECT_EQ(Containers(f, cell)[size_t(Outer(f, island))].first, Inner(f, diamond)) << cell;
}

TEST(qd_te_islands, NearerCrossingInALaterCellBeatsASlopedSegmentOfTheStartCell) {
    // The island's ray from (5, 10) meets the long, nearly flat segment
    // (its box covers the start cell) at x 12.5, but the right side of the
    // ring around the island at x 8, two cells on.
    Faces f;
    f.Add(Box(0, 0, 40, 20));
    const int32_t around = f.Add(Box(3, 9.7, 8, 10.3));
    f.Add(Path({Q(4.5, 10.8), Q(20.5, 9.2)}));
    const int32_t island = f.Add(Ring({Q(4, 9.9), Q(4, 10.1), Q(5, 10)}));
    Build(f);
    for (double cell : {1.0, 2.0, 3.0, 100.0})
        EXPECT_EQ(Containers(f, cell)[size_t(Outer(f, island))].first, Inner(f, around)) << cell;
}

TEST(qd_te_islands, LatticeSoupsGiveTheSameContainersForEveryCellSize) {
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int32_t round = 0; round < 12; ++round) {
        Faces f;
        std::bernoulli_distribution keep(round % 2 ? 0.35 : 0.6);
        for (int32_t y = 0; y <= 12; ++y)
            for (int32_t x = 0; x <= 12; ++x) {
                if (x < 12 && keep(rng)) f.Add(Path({Q(x, y), Q(x + 1, y)}));
                if (y < 12 && keep(rng)) f.Add(Path({Q(x, y), Q(x, y + 1)}));
            }
        ASSERT_TRUE(f.Link()) << "seed " << seed;
        ASSERT_EQ(f.Walk(), 1) << "seed " << seed;
        // One cell holds every segment: each ray tests them all.
        const auto reference = Containers(f, 1e9);
        for (double cell : {1.0, 3.0, 12.0}) ASSERT_EQ(Containers(f, cell), reference) << "seed " << seed << " cell " << cell;
        // Every negative polygon but polygon 2 found a container that is
        // positive (or the face of everything).
        for (int32_t n : f.Negatives()) {
            if (n == 2) continue;
            const int32_t c = f.P(n)->inside;
            ASSERT_TRUE(c == 1 || (c > 2 && f.P(c)->area > 0)) << "seed " << seed << " polygon " << n;
        }
        ASSERT_EQ(qd_te_island_levels(f.polygons, f.chains.list), 1) << "seed " << seed;
        ASSERT_EQ(qd_te_prune_dangles(f.polygons, f.chains.list, &f.rules), 1) << "seed " << seed;
    }
}

TEST(qd_te_islands, GridsStayWithinTheirLimits) {
    struct Case {
        GeoCoord lo, hi;
        double cell;
    };
    const Case cases[] = {
        {Q(0, 0), Q(1e6, 1e6), 1e-300},      // tiny cells: capped
        {Q(0, 0), Q(1e6, 0), 0},             // a line of an extent, no size
        {Q(0, 0), Q(0, 0), std::nan("")},    // a point, no size
        {Q(-1e300, 0), Q(1e300, 1), 1e-9},   // an extent beyond every cell count
        {Q(0, 0), Q(5e3, 1e-9), 1e-12},      // thin
    };
    for (const Case& k : cases) {
        Chains chains;
        chains.At(0)->chain_mer[0] = k.lo;
        chains.At(0)->chain_mer[1] = k.hi;
        TeVectorGrid g{};
        ASSERT_EQ(qd_te_vector_grid_init(&g, chains.list, k.cell), 1) << k.hi.x;
        EXPECT_GE(g.columns, 1);
        EXPECT_GE(g.rows, 1);
        EXPECT_LE(g.columns, TE_GRID_MAX_SIDE);
        EXPECT_LE(g.rows, TE_GRID_MAX_SIDE);
        EXPECT_LE(g.columns * g.rows, TE_GRID_MAX_CELLS);
        EXPECT_GT(g.width, 0);
        // The far corner lies in the last cell.
        EXPECT_EQ(qd_te_gen_adgvec2_cell(&g, k.hi.x, k.hi.y), g.columns * g.rows - 1);
    }
    // The statistics' size: unset measures (-1) give the smaller side; a
    // size above the larger side becomes it, a smaller one stays; none on a
    // thin extent, the larger side over the chain count.
    Chains chains;
    chains.At(0)->chain_mer[0] = Q(0, 0);
    chains.At(0)->chain_mer[1] = Q(100, 20);
    TeRules r;
    qd_te_rules_init(&r);
    EXPECT_EQ(qd_te_vector_grid_cell_size(chains.list, &r), 20);
    r.statistics.measures[0] = r.statistics.measures[1] = 60;
    EXPECT_EQ(qd_te_vector_grid_cell_size(chains.list, &r), 100);
    r.statistics.measures[0] = r.statistics.measures[1] = 1;
    EXPECT_EQ(qd_te_vector_grid_cell_size(chains.list, &r), 4);
    r.statistics.measures[0] = r.statistics.measures[1] = 10;
    EXPECT_EQ(qd_te_vector_grid_cell_size(chains.list, &r), 40);
    chains.At(0)->chain_mer[1] = Q(100, 0);
    r.statistics.measures[0] = r.statistics.measures[1] = -1;
    EXPECT_EQ(qd_te_vector_grid_cell_size(chains.list, &r), 100);
}

TEST(qd_te_islands, SpikeIslandBecomesARingOfItsDangles) {
    // A ring with three dangles outside at its node: its outer boundary
    // passes each dangle twice (count 4: five slots for six dangle visits);
    // pruned silently, the dangles form its new boundary, once each, and
    // its area turns positive.
    for (int32_t secondary : {TE_NONE, TE_INCURSION}) {
        Faces f;
        f.rules.secondary = secondary;
        const int32_t ring = f.Add(Box(0, 0, 4, 4));
        const int32_t d[] = {f.Add(Path({Q(0, 0), Q(-2, 1)})), f.Add(Path({Q(0, 0), Q(-2, -2)})),
                             f.Add(Path({Q(0, 0), Q(1, -2)}))};
        Build(f);
        const int32_t n = Outer(f, ring);
        TePolygon* p = f.P(n);
        // Marked as a spike its walk keeps every step and counts as closed.
        const bool spike = secondary == TE_INCURSION;
        ASSERT_EQ(p->count, spike ? 7 : 4);
        ASSERT_EQ(p->status, spike ? 1 : 0);
        ASSERT_EQ(p->spike, spike ? 1 : 0);
        ASSERT_EQ(p->inside, 1);
        const double area = p->area;
        ASSERT_LT(area, 0);
        FailLog log;
        ASSERT_EQ(qd_te_prune_dangles(f.polygons, f.chains.list, &f.rules), 1);
        EXPECT_TRUE(log.reports.empty()) << log.reports.front();
        EXPECT_EQ(p->area, -area);
        EXPECT_EQ(p->status, 0);
        EXPECT_EQ(p->discard, 0);
        EXPECT_EQ(f.chains.At(ring)->poly_left, 0);
        EXPECT_EQ(f.chains.At(ring)->poly_right, Inner(f, ring));
        std::vector<int32_t> boundary = f.Boundary(n);
        ASSERT_EQ(boundary.size(), 3u);
        std::sort(boundary.begin(), boundary.end());
        EXPECT_EQ(boundary, (std::vector<int32_t>{d[0], d[1], d[2]}));
        for (int32_t c : d) {
            EXPECT_EQ(f.chains.At(c)->poly_left, 0);
            EXPECT_EQ(f.chains.At(c)->poly_right, n);
        }
    }
}

TEST(qd_te_islands, UnclosedIslandWithoutDanglesIsDiscarded) {
    // Hand-made: one open chain whose left link comes back to itself.
    Chains chains;
    chains.Add(Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1)}));
    TeChain* c = chains.At(1);
    c->chain_id = 1;
    c->poly_left = 3;
    c->poly_right = 4;
    c->left_link = 1;
    nlst* polygons = nullptr;
    for (int32_t i = 0; i < 5; ++i) {
        TePolygon p{};
        qd_te_poly_init(polygons, &p);
        qd_te_append_item_to_list(&polygons, &p, sizeof p);
    }
    qd_te_poly_at(polygons, 1)->island_list = 3;
    TePolygon* p = qd_te_poly_at(polygons, 3);
    p->inside = 1, p->status = 0, p->area = -0.5, p->start_chain = 1, p->count = 1;
    TeRules r;
    qd_te_rules_init(&r);
    ASSERT_EQ(qd_te_prune_dangles(polygons, chains.list, &r), 1);
    EXPECT_EQ(p->discard, 1);
    EXPECT_EQ(p->start_chain, -1);
    EXPECT_EQ(c->poly_left, 0);
    EXPECT_EQ(c->poly_right, 4);
    // Refusals and broken lists: reported failures, no endless loop.
    FailLog log;
    EXPECT_EQ(qd_te_prune_dangles(polygons, chains.list, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_prune_dangles"));
    p->island_list = 3;  // a list that comes back to itself
    p->discard = 0;
    EXPECT_EQ(qd_te_island_levels(polygons, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_island_process_que"));
    p->island_list = 0;
    p->inside = 4;  // in polygon 1's list but not inside it
    EXPECT_EQ(qd_te_prune_dangles(polygons, chains.list, &r), 0);
    p->inside = 1;
    p->id = 2;  // on neither side of its start chain
    EXPECT_EQ(qd_te_prune_poly(p, chains.list), -1);
    p->id = 3;
    p->start_chain = 9;
    EXPECT_EQ(qd_te_prune_poly(p, chains.list), -1);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_prune_poly"));
    qd_te_poly_list_free(&polygons);
}

TEST(qd_te_islands, ContainerSearchRefusals) {
    Faces f;
    f.Add(Box(0, 0, 10, 10));
    Build(f);
    FailLog log;
    EXPECT_EQ(qd_te_neg_in_pos(f.polygons, f.negatives, f.chains.list, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_neg_in_pos"));
    // No negative polygon, or only polygon 2: nothing to do.
    EXPECT_EQ(qd_te_neg_in_pos(f.polygons, nullptr, f.chains.list, nullptr), 1);
    nlst* two = nullptr;
    const int32_t v = 2;
    qd_te_append_item_to_list(&two, &v, sizeof v);
    EXPECT_EQ(qd_te_neg_in_pos(f.polygons, two, f.chains.list, &f.rules), 1);
    nlst_free(two);
    EXPECT_EQ(qd_te_gen_adgvec2_grid_pos(nullptr, 0), -1);
}
