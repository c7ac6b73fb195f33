// Overlay walks: location codes of points and chains among linked region
// chains, collect and pair modes, islands of a feature, the closure tests
// of rings on region boundaries, far from the origin too; the rectangle
// index against the plain walk; the helpers around the walk.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_output.h"
#include "te_overlay_util.h"

using namespace tetest;

namespace {

// The U-shaped region: a notch x 3..7, y 5..10 cut from the square 0..10.
const std::vector<GeoCoord> kU = {Q(0, 0), Q(0, 10), Q(3, 10), Q(3, 5), Q(7, 5), Q(7, 10), Q(10, 10), Q(10, 0), Q(0, 0)};

struct Ask {
    int32_t same_parent = 0, strict = 0, no_closure = 0, midpoint = 0;
};

// The answer for a point list asked from a chain after every region.
int32_t Answer(RegionList& r, const std::vector<GeoCoord>& pts, Ask a = {}, int32_t kind = 0) {
    const int32_t q = r.chains.Count() - 1;
    PointList list(r.Shift(pts));
    TeOverlayQuery query;
    qd_te_overlay_query_init(&query, kind, r.chains.At(q));
    query.points = list.list;
    query.same_parent = a.same_parent;
    query.strict = a.strict;
    query.no_closure = a.no_closure;
    query.midpoint = a.midpoint;
    EXPECT_EQ(qd_te_walk_chain_overlay_reg(&query, r.chains.list), 1);
    return query.answer;
}

// A list with the regions first and a query node last.
void Finish(RegionList& r) {
    r.Add(TE_NODE, {Q(-100, -100)}, 99);
    r.Thread();
}

class qd_te_overlay_shifted : public ::testing::TestWithParam<double> {};

}  // namespace

TEST_P(qd_te_overlay_shifted, RingOnARegionAndRingsTouchingIt) {
    RegionList r(GetParam());
    r.Add(TE_REGION, Box(0, 0, 10, 10), 1);
    r.Add(TE_REGION, kU, 2, -1);
    Finish(r);
    // The ring equal to the square: every point a vertex of it (15 as the
    // region's code), inside for strict 0, on the boundary for strict 1,
    // and no answer when the points are not closed (unless midpoints count).
    const auto ring = Box(0, 0, 10, 10);
    const auto shifted = r.Shift(ring);
    std::vector<uint8_t> bits(ring.size(), 0);
    int32_t all = 0;
    ASSERT_EQ(qd_te_walk_chain_overlay_identical(r.chains.At(1), shifted.data(), 5, bits.data(), nullptr,
                                                 qd_te_overlay_tolerance(r.chains.list), &all),
              1);
    EXPECT_EQ(all, 1);  // and 5 points for 5 vertices: 15
    EXPECT_EQ(bits, std::vector<uint8_t>(5, 1));
    EXPECT_EQ(Answer(r, ring, {0, 0}), 13);
    EXPECT_EQ(Answer(r, ring, {0, 1}), 14);
    EXPECT_EQ(Answer(r, ring, {0, 1, 1}), 12);
    EXPECT_EQ(Answer(r, ring, {0, 1, 1, 1}), 14);
    // In the U's notch with its vertices on the notch's sides: outside the
    // U by its edge midpoints; the square holds it.
    RegionList u(GetParam());
    u.Add(TE_REGION, kU, 2);
    Finish(u);
    EXPECT_EQ(Answer(u, Box(3, 6, 7, 9)), 12);
    EXPECT_EQ(Answer(u, Box(3, 6, 7, 9), {0, 1}), 14);
    // A ring on two of the U's inner corners, its other points inside.
    EXPECT_EQ(Answer(u, {Q(3, 5), Q(3, 1), Q(7, 1), Q(7, 5), Q(3, 5)}), 13);
    // Touching the square from outside along a shared edge.
    EXPECT_EQ(Answer(r, Box(10, 2, 12, 8)), 12);
    EXPECT_EQ(Answer(r, Box(10, 0, 12, 10)), 12);
}

TEST_P(qd_te_overlay_shifted, CodesForPointsLinesAndIslands) {
    RegionList r(GetParam());
    const int32_t outer = r.Add(TE_REGION, Box(0, 0, 10, 10), 7);
    const int32_t hole = r.Add(TE_ISLAND, Box(3, 3, 7, 7), 7);
    const int32_t other = r.Add(TE_REGION, Box(20, 0, 30, 10), 8);
    const int32_t line = r.Add(TE_LINE, {Q(20, 5), Q(30, 5)}, 5);
    const int32_t own = r.Add(TE_LINE, {Q(21, 1), Q(22, 2)}, 8);
    Finish(r);
    struct Case {
        GeoCoord p;
        int32_t want;
    };
    // In the island of feature 7 met first: outside feature 7's region.
    const Case cases[] = {{Q(5, 5), 12}, {Q(1, 1), 13}, {Q(25, 5), 13}, {Q(15, 5), 12},
                          {Q(10, 5), 13}, {Q(0, 0), 13}, {Q(40, 40), 12}};
    for (const Case& k : cases) EXPECT_EQ(Answer(r, {k.p}), k.want) << k.p.x << " " << k.p.y;
    int32_t region = 0;
    // Strict 1: a point on an edge stays on the boundary.
    PointList edge(r.Shift({Q(10, 5)}));
    EXPECT_EQ(qd_te_walk_overlay_point(0, r.chains.At(r.chains.Count() - 1), edge.list, r.chains.list, 0, 0, 1,
                                       nullptr, nullptr, &region),
              14);
    EXPECT_EQ(region, outer);
    // A two-point line across a region from edge to edge: its midpoint is
    // tested and decides inside; its own feature's region is passed over.
    EXPECT_EQ(qd_te_walk_overlay_point(0, r.chains.At(line), nullptr, r.chains.list, 0, 0, 0, nullptr, nullptr,
                                       &region),
              13);
    EXPECT_EQ(region, other);
    EXPECT_EQ(qd_te_walk_overlay_point(0, r.chains.At(own), nullptr, r.chains.list, 0, 0, 0, nullptr, nullptr,
                                       &region),
              12);
    EXPECT_EQ(qd_te_walk_overlay_point(0, r.chains.At(own), nullptr, r.chains.list, 1, 0, 0, nullptr, nullptr,
                                       &region),
              13);
    // A negative link: 12 without a test, even for a point in a region.
    r.chains.At(line)->link_free = -1;
    EXPECT_EQ(qd_te_walk_overlay_point(0, r.chains.At(line), nullptr, r.chains.list, 0, 0, 0, nullptr, nullptr,
                                       &region),
              12);
    EXPECT_EQ(region, -1);
    (void)hole;
}

TEST_P(qd_te_overlay_shifted, CollectAndPairsGoThroughEveryRegion) {
    RegionList r(GetParam());
    const int32_t a = r.Add(TE_REGION, Box(0, 0, 10, 10), 1, -1);
    const int32_t b = r.Add(TE_REGION, Box(5, 5, 15, 15), 2, 0);
    r.Add(TE_REGION, Box(20, 20, 30, 30), 3, -1);
    const int32_t c = r.Add(TE_REGION, Box(6, 6, 8, 8), 4, 0);
    Finish(r);
    PointList p(r.Shift({Q(7, 7)}));
    TeChain* q = r.chains.At(r.chains.Count() - 1);
    ListHolder collected;
    EXPECT_EQ(qd_te_walk_overlay_point(0, q, p.list, r.chains.list, 0, 1, 0, nullptr, &collected.list, nullptr), 13);
    EXPECT_EQ(collected.Ints(), (std::vector<int32_t>{4, 2, 1}));
    // Without collecting the nearest region decides alone.
    int32_t region = 0;
    EXPECT_EQ(qd_te_walk_overlay_point(0, q, p.list, r.chains.list, 0, 0, 0, nullptr, nullptr, &region), 13);
    EXPECT_EQ(region, c);
    // Kinds: targets (negative lookup) and cutters.
    EXPECT_EQ(qd_te_walk_overlay_point(1, q, p.list, r.chains.list, 0, 0, 0, nullptr, nullptr, &region), 13);
    EXPECT_EQ(region, a);
    ListHolder pairs;
    TeOverlayQuery query;
    qd_te_overlay_query_init(&query, 2, q);
    query.points = p.list;
    query.pairs = 1;
    query.pairs_list = &pairs.list;
    ASSERT_EQ(qd_te_walk_chain_overlay_reg(&query, r.chains.list), 1);
    ASSERT_NE(pairs.list, nullptr);
    ASSERT_EQ(pairs.list->tally, 2u);
    const auto* pr = static_cast<const TeOverlayPair*>(pairs.list->data);
    EXPECT_EQ(pr[0].chain, c);
    EXPECT_EQ(pr[0].code, 13);
    EXPECT_EQ(pr[1].chain, b);
}

TEST_P(qd_te_overlay_shifted, ARingOffTheRegionsVerticesByAnUlpStillMatchesThem) {
    // Each ring point one unit in the last place away from the region's
    // vertex: far from the origin that is more than 1e-8.
    RegionList r(GetParam());
    r.Add(TE_REGION, Box(0, 0, 10, 10), 1);
    Finish(r);
    std::vector<GeoCoord> ring = r.Shift(Box(0, 0, 10, 10));
    for (GeoCoord& p : ring) {
        p.x = std::nextafter(p.x, p.x < GetParam() + 5 ? -1e300 : 1e300);
        p.y = std::nextafter(p.y, p.y < GetParam() + 5 ? -1e300 : 1e300);
    }
    ring.back() = ring.front();
    PointList list(ring);
    TeChain* q = r.chains.At(r.chains.Count() - 1);
    EXPECT_EQ(qd_te_walk_overlay_point(0, q, list.list, r.chains.list, 0, 0, 0, nullptr, nullptr, nullptr), 13);
    EXPECT_EQ(qd_te_walk_overlay_point(0, q, list.list, r.chains.list, 0, 0, 1, nullptr, nullptr, nullptr), 14);
    std::vector<uint8_t> bits(ring.size(), 0);
    int32_t all = 0;
    ASSERT_EQ(qd_te_walk_chain_overlay_identical(r.chains.At(1), ring.data(), int32_t(ring.size()), bits.data(),
                                                 nullptr, qd_te_overlay_tolerance(r.chains.list), &all),
              1);
    EXPECT_EQ(all, 1);
}

INSTANTIATE_TEST_SUITE_P(Offsets, qd_te_overlay_shifted, ::testing::Values(0.0, 1e8));

TEST(qd_te_overlay_walk, ToleranceGrowsOnlyFarFromTheOrigin) {
    RegionList near_origin;
    near_origin.Add(TE_REGION, Box(0, 0, 9e6, 9e6), 1);
    near_origin.Thread();
    EXPECT_DOUBLE_EQ(qd_te_overlay_tolerance(near_origin.chains.list), 1.05e-8);
    RegionList far(1e8);
    far.Add(TE_REGION, Box(0, 0, 10, 10), 1);
    far.Thread();
    EXPECT_NEAR(qd_te_overlay_tolerance(far.chains.list), (1e8 + 10) * std::ldexp(1.0, -50), 1e-12);
}

TEST(qd_te_overlay_walk, IndexAnswersAsThePlainWalk) {
    // Random squares with islands, random points and small rings: every
    // answer and deciding region of the indexed walk equals the plain one.
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> at(0, 100), side(1, 15);
    RegionList r;
    for (int32_t k = 0; k < 300; ++k) {
        const double x = at(rng), y = at(rng), s = side(rng);
        r.Add(TE_REGION, Box(x, y, x + s, y + s), k + 1, k % 3 ? -1 : 0);
        if (k % 5 == 0) r.Add(TE_ISLAND, Box(x + s / 4, y + s / 4, x + s / 2, y + s / 2), k + 1, k % 3 ? -1 : 0);
    }
    Finish(r);
    TeChain* q = r.chains.At(r.chains.Count() - 1);
    for (int32_t kind : {0, 1, 2}) {
        TeOverlayIndex* index = nullptr;
        ASSERT_EQ(qd_te_overlay_index_build(&index, r.chains.list, kind), 1);
        for (int32_t i = 0; i < 400; ++i) {
            const double x = at(rng), y = at(rng), s = i % 2 ? 0 : side(rng) / 4;
            PointList p(s == 0 ? std::vector<GeoCoord>{Q(x, y)} : Box(x, y, x + s, y + s));
            for (int32_t strict : {0, 1}) {
                TeOverlayQuery plain, indexed;
                qd_te_overlay_query_init(&plain, kind, q);
                plain.points = p.list;
                plain.strict = strict;
                indexed = plain;
                indexed.index = index;
                ASSERT_EQ(qd_te_walk_chain_overlay_reg(&plain, r.chains.list), 1);
                ASSERT_EQ(qd_te_walk_chain_overlay_reg(&indexed, r.chains.list), 1);
                ASSERT_EQ(indexed.answer, plain.answer) << "seed " << seed << " point " << i;
                ASSERT_EQ(indexed.answer_chain, plain.answer_chain) << "seed " << seed << " point " << i;
            }
        }
        qd_te_overlay_index_free(&index);
        EXPECT_EQ(index, nullptr);
    }
}

TEST(qd_te_overlay_walk, HelpersAndRefusals) {
    ListHolder l;
    for (int32_t v : {5, 3, 5, 1, 3}) qd_te_append_item_to_list(&l.list, &v, sizeof v);
    int32_t count = -1, found = -1;
    ASSERT_EQ(qd_te_poly_count_cutter(l.list, &count, 0), 1);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(l.Ints(), (std::vector<int32_t>{1, 3, 3, 5, 5}));
    ASSERT_EQ(qd_te_poly_count_cutter(l.list, &count, 1), 1);
    EXPECT_EQ(l.Ints(), (std::vector<int32_t>{1, 3, 5}));
    ASSERT_EQ(qd_te_poly_count_cutter(nullptr, &count, 1), 1);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(qd_te_walk_chain_overlay_hole_isl(l.list, &found, 3), 1);
    EXPECT_EQ(found, 1);
    ASSERT_EQ(qd_te_walk_chain_overlay_hole_isl(nullptr, &found, 3), 1);
    EXPECT_EQ(found, 0);
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.link_fore = 4, c.link_back = 5, c.link_free = 6;
    int32_t link = 0;
    for (int32_t kind : {1, 2, 0, 7}) {
        ASSERT_EQ(qd_te_walk_overlay_get_next_region(kind, &c, &link), 1);
        EXPECT_EQ(link, kind == 1 ? 4 : kind == 2 ? 5 : 6);
    }
    FailLog log;
    EXPECT_EQ(qd_te_walk_overlay_get_next_region(0, nullptr, &link), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_walk_overlay_get_next_region"));
    EXPECT_EQ(qd_te_poly_count_cutter(l.list, nullptr, 0), 0);
    EXPECT_EQ(qd_te_walk_chain_overlay_hole_isl(l.list, nullptr, 0), 0);
    TeOverlayQuery q;
    qd_te_overlay_query_init(&q, 0, nullptr);
    Chains chains;
    EXPECT_EQ(qd_te_walk_chain_overlay_reg(&q, chains.list), 0);
    EXPECT_EQ(qd_te_walk_chain_overlay_reg(nullptr, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_walk_chain_overlay_reg"));
    // A link past the list's end, and a cycle of links: failures, not hangs.
    RegionList r;
    r.Add(TE_REGION, Box(0, 0, 1, 1), 1);
    r.Add(TE_REGION, Box(0, 0, 2, 2), 2);
    Finish(r);
    r.chains.At(1)->link_free = 2;
    PointList p({Q(5, 5)});
    TeChain* query = r.chains.At(3);
    EXPECT_EQ(qd_te_walk_overlay_point(0, query, p.list, r.chains.list, 0, 0, 0, nullptr, nullptr, nullptr), 0);
    query->link_free = 40;
    EXPECT_EQ(qd_te_walk_overlay_point(0, query, p.list, r.chains.list, 0, 0, 0, nullptr, nullptr, nullptr), 0);
}

TEST(qd_te_overlay_walk, CutterBufferClearsThePolygonsSideOnly) {
    // Two chains forming a ring: polygon 5 on their right sides.
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(0, 1), Q(1, 1)}));
    chains.Add(Chain(TE_LINE, {Q(1, 1), Q(1, 0), Q(0, 0)}));
    for (int32_t i : {1, 2}) {
        TeChain* c = chains.At(i);
        c->chain_id = i;
        AddParent(*c, 0, 10 + i);
        AddParent(*c, 1, 20 + i);
        c->poly_right = 5;
        c->poly_left = 6;
    }
    chains.At(1)->right_link = -2;
    chains.At(2)->right_link = -1;
    TePolygon p{};
    p.id = 5;
    p.start_chain = 1;
    ASSERT_EQ(qd_te_walk_overlay_cutter_buffer(&p, chains.list), 1);
    for (int32_t i : {1, 2}) {
        EXPECT_EQ(chains.At(i)->right_parent, nullptr);
        EXPECT_EQ(ParentIds(chains.At(i)->left_parent), (std::vector<int32_t>{20 + i}));
    }
    // Discarded: nothing; a polygon on neither side of its start chain fails.
    p.id = 7;
    p.discard = 1;
    EXPECT_EQ(qd_te_walk_overlay_cutter_buffer(&p, chains.list), 1);
    p.discard = 0;
    FailLog log;
    EXPECT_EQ(qd_te_walk_overlay_cutter_buffer(&p, chains.list), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_walk_overlay_cutter_buffer"));
}
