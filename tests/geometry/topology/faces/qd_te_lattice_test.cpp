// Random edge subsets of a 12 x 12 unit lattice: the face walk keeps the
// face invariants, and every group's container is the smallest bounded
// face of the other groups around the point just right of its rightmost
// vertex (found here by parity over the faces' segments), whatever the
// grid's cell size (1, 3, 12).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "geometry/topology/faces/te_face_util.h"
#include "geometry/topology/qd_te_islands.h"

using namespace tetest;

namespace {

constexpr int kSide = 12;

// Builds a soup from the seed: each unit edge kept with a probability
// drawn per soup. Odd seeds keep few edges but whole concentric square
// rings (offsets 0, 2, 4) by chance, so that groups nest.
void Soup(Faces& f, uint32_t seed) {
    std::mt19937 rng(seed);
    const bool rings = seed % 2 == 1;
    const double keep = rings ? 0.12 : std::uniform_real_distribution<double>(0.25, 0.85)(rng);
    std::bernoulli_distribution take(keep), half(0.7);
    bool ring[3];
    for (bool& r : ring) r = rings && half(rng);
    auto on_ring = [&](int i0, int j0, int i1, int j1) {
        for (int k = 0; k < 3; ++k) {
            const int lo = 2 * k, hi = kSide - 2 * k;
            if (!ring[k]) continue;
            const bool vertical = i0 == i1, row = j0 == j1;
            if (vertical && (i0 == lo || i0 == hi) && j0 >= lo && j1 <= hi) return true;
            if (row && (j0 == lo || j0 == hi) && i0 >= lo && i1 <= hi) return true;
        }
        return false;
    };
    for (int i = 0; i <= kSide; ++i)
        for (int j = 0; j <= kSide; ++j) {
            if (i < kSide && (take(rng) || on_ring(i, j, i + 1, j))) f.Add(Path({Q(i, j), Q(i + 1, j)}));
            if (j < kSide && (take(rng) || on_ring(i, j, i, j + 1))) f.Add(Path({Q(i, j), Q(i, j + 1)}));
        }
}

// Parity of a horizontal ray from q toward +x over the segments of a
// polygon's boundary chains (a chain passed twice cancels).
bool Contains(const Faces& f, int32_t id, GeoCoord q) {
    bool in = false;
    TeWalkStep s{};
    int32_t start = 0;
    if (!qd_te_poly_start_step(f.P(id), f.chains.list, &s, &start)) return false;
    for (int guard = 0; guard < 4 * f.chains.Count(); ++guard) {
        const auto* v = static_cast<const TeVertex*>(s.chain->coords->data);
        for (uint32_t k = 1; k < s.chain->coords->tally; ++k) {
            const TeVertex &a = v[k - 1], &b = v[k];
            if ((a.y > q.y) != (b.y > q.y) && q.x < a.x + (q.y - a.y) * (b.x - a.x) / (b.y - a.y)) in = !in;
        }
        TeWalkStep next{};
        int32_t closed = 0;
        if (!qd_te_walk_chain(f.chains.list, &s, start, &next, &closed) || closed) break;
        s = next;
    }
    return in;
}

// Containers found with a given cell size on a copy of the polygon list.
std::vector<int32_t> Containers(Faces& f, double cell) {
    nlst* copy = nlst_alloc(sizeof(TePolygon), f.polygons->tally, 1, nullptr);
    nlst_add_many(copy, f.polygons->data, f.polygons->tally);
    TeVectorGrid grid{};
    std::vector<int32_t> inside;
    if (qd_te_vector_grid_init(&grid, f.chains.list, cell) &&
        qd_te_neg_find_containers(f.chains.list, f.negatives, &grid, copy))
        for (uint32_t i = 0; i < copy->tally; ++i) inside.push_back(qd_te_poly_at(copy, int32_t(i))->inside);
    qd_te_vector_grid_free(&grid);
    nlst_free(copy);
    return inside;
}

}  // namespace

TEST(qd_te_walk_lattice, RandomSubsetsKeepInvariantsAndContainers) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Faces f;
        Soup(f, seed);
        ASSERT_TRUE(f.Link());
        ASSERT_EQ(f.Walk(), 1);
        char why[160] = "";
        ASSERT_EQ(qd_te_check_invariants(f.chains.list, TE_INV_LEAVING | TE_INV_WALK_LINKS | TE_INV_FACES, why,
                                         f.polygons), 1)
            << why;
        if (!f.negatives) continue;
        const std::vector<int32_t> one = Containers(f, 1);
        ASSERT_EQ(one.size(), f.polygons->tally);
        EXPECT_EQ(Containers(f, 3), one);
        EXPECT_EQ(Containers(f, 12), one);
        for (int32_t n : f.Negatives()) {
            const TePolygon* p = f.P(n);
            const GeoCoord q = Q(p->mer[1].x + 0.25, p->yxmax + 0.1);
            int32_t best = 1;
            for (int32_t id : f.Signed(+1))
                if (Contains(f, id, q) && (best == 1 || f.P(id)->area < f.P(best)->area)) best = id;
            EXPECT_EQ(one[size_t(n)], best) << "negative polygon " << n;
        }
    }
}
