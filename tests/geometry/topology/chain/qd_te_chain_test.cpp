// Chain records and the chain list: defaults, the universal chain, vertex
// tolerances by type, reading points with and without strokes, copies,
// rectangles; bit arrays; the measures and rewrites of one chain.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cogo.h"

using tetest::Chain;
using tetest::Chains;
using tetest::Q;

namespace {

std::vector<double> Tols(const TeChain& c) {
    std::vector<double> t;
    const auto* v = static_cast<const TeVertex*>(c.coords->data);
    for (uint32_t i = 0; i < c.coords->tally; ++i) t.push_back(v[i].tol);
    return t;
}

}  // namespace

TEST(qd_te_chain, FreshListHoldsTheUniversalChain) {
    Chains chains(10);
    ASSERT_NE(chains.list, nullptr);
    ASSERT_EQ(chains.Count(), 1);
    const TeChain* u = chains.At(0);
    EXPECT_EQ(u->discard, CHAIN_SENTINAL);
    EXPECT_EQ(u->chain_type, TE_LINE);
    EXPECT_EQ(u->chain_id, 0);
    EXPECT_EQ(u->chain_mer[0].x, -1e100);
    EXPECT_EQ(u->chain_mer[1].y, 1e100);
    EXPECT_EQ(u->link_fore, -1);
    EXPECT_EQ(u->link_back, 0);
    EXPECT_EQ(u->link_free, -1);
    EXPECT_EQ(chains.list->inc, 2u);

    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
    chains.Add(Chain(TE_LINE, {Q(2, 0), Q(1, 1)}));
    ASSERT_EQ(qd_te_geo_free_chain_list(chains.list, 1), 1);
    EXPECT_EQ(chains.Count(), 1);
    EXPECT_EQ(chains.At(0)->discard, CHAIN_SENTINAL);
    // A reset list is a fresh one again, its universal chain unlinked.
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
    qd_te_link_setup(chains.list);
    ASSERT_EQ(qd_te_geo_chain_list_reset(chains.list), 1);
    ASSERT_EQ(chains.Count(), 1);
    EXPECT_EQ(chains.At(0)->link_fore, -1);
    EXPECT_EQ(chains.At(0)->link_back, 0);
    EXPECT_EQ(chains.At(0)->link_free, -1);

    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    EXPECT_EQ(qd_te_geo_free_chain_list(chains.list, -1), 0);
    EXPECT_EQ(qd_te_geo_chain_list_reset(nullptr), 0);
    EXPECT_EQ(rec.Codes(), (std::vector<std::string>{"UKT1M", "UKT1M"}));
}

TEST(qd_te_chain, VertexTolerancesByType) {
    struct {
        int32_t type;
        std::vector<GeoCoord> pts;
        std::vector<double> want;
    } cases[] = {
        {TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 1)}, {5, 1, 5}},
        {TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1), Q(5e-11, 0)}, {1, 1, 1, 1}},  // closed
        {TE_ARC, {Q(0, 0), Q(1, 1), Q(2, 0)}, {5, 0, 5}},
        {TE_CIRCLE, {Q(0, 0)}, {5}},
        {TE_NODE, {Q(0, 0)}, {5}},
        {TE_REGION, {Q(0, 0), Q(0, 1), Q(1, 1), Q(0, 0)}, {5, 1, 1, 5}},
        {TE_LINE, {Q(0, 0), Q(1, 1)}, {5, 5}},
        {TE_CURVE, {Q(0, 0), Q(1, 1), Q(2, 0)}, {5, 1, 5}},
    };
    for (const auto& k : cases) {
        TeChain c;
        qd_te_geo_chain_default(&c);
        c.chain_type = k.type;
        ASSERT_EQ(qd_te_geo_form_location(&c, k.pts.data(), int32_t(k.pts.size()), 5, 1), 1);
        EXPECT_EQ(Tols(c), k.want) << k.type;
        qd_te_geo_chain_release(&c);
    }
    // The closed path ends on an exact copy of its first point.
    TeChain c = Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1), Q(5e-11, 0)});
    const auto* v = static_cast<const TeVertex*>(c.coords->data);
    EXPECT_EQ(v[3].x, 0);
    // Vertices given again replace (and free) the old list.
    const GeoCoord two[] = {Q(0, 0), Q(3, 3)};
    c.chain_type = TE_LINE;
    ASSERT_EQ(qd_te_geo_form_location(&c, two, 2, 0, 0), 1);
    EXPECT_EQ(c.coords->tally, 2u);
    qd_te_geo_chain_release(&c);
    // Dead chains and EAF chains.
    TeChain dead = Chain(TE_LINE, {});
    dead.discard = CHAIN_DELETE;
    EXPECT_EQ(qd_te_geo_form_location(&dead, two, 2, 0, 0), 1);
    EXPECT_EQ(dead.coords, nullptr);
    TeChain eaf = Chain(TE_EAF, {});
    EXPECT_EQ(qd_te_geo_form_location(&eaf, two, 2, 0, 0), 0);
    EXPECT_EQ(eaf.coords, nullptr);
}

TEST(qd_te_chain, ReadingPoints) {
    // A circle of one vertex: with expansion a clockwise closed circle on
    // the radius; without, the centre alone.
    // The radius comes first: storing the vertex checks the circle.
    TeChain circle;
    qd_te_geo_chain_default(&circle);
    circle.chain_type = TE_CIRCLE;
    circle.radius = 2;
    const GeoCoord centre = Q(10, 20);
    ASSERT_EQ(qd_te_geo_form_location(&circle, &centre, 1, 0, 0), 1);
    GeoCoord* pts = nullptr;
    int32_t n = 0;
    ASSERT_EQ(qd_te_geo_get_coords(&circle, &pts, &n, 1), 1);
    ASSERT_GT(n, 8);
    EXPECT_GT(qd_te_cogo_ring_area_cw(pts, n), 0);  // clockwise
    EXPECT_EQ(pts[0].x, pts[n - 1].x);
    EXPECT_EQ(pts[0].y, pts[n - 1].y);
    for (int32_t i = 0; i < n; ++i)
        EXPECT_NEAR(std::hypot(pts[i].x - 10, pts[i].y - 20), 2, 1e-12) << i;
    qd_free(pts);
    ASSERT_EQ(qd_te_geo_get_coords(&circle, &pts, &n, 0), 1);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(pts[0].x, 10);
    qd_free(pts);
    qd_te_geo_chain_release(&circle);

    // An arc of three points: stroked from its first to its last point.
    TeChain arc = Chain(TE_ARC, {Q(-1, 0), Q(0, 1), Q(1, 0)});
    ASSERT_EQ(qd_te_geo_get_coords(&arc, &pts, &n, 1), 1);
    ASSERT_GT(n, 3);
    EXPECT_EQ(pts[0].x, -1);
    EXPECT_EQ(pts[n - 1].x, 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_NEAR(std::hypot(pts[i].x, pts[i].y), 1, 1e-12);
    qd_free(pts);
    qd_te_geo_chain_release(&arc);
    // Collinear arc points: no circle, no points.
    // Stored as an arc they become a line of the ends at once; read back
    // as an arc (the vertices put in as a path) they give no points.
    TeChain stored = Chain(TE_ARC, {Q(0, 0), Q(1, 0), Q(2, 0)});
    EXPECT_EQ(stored.chain_type, TE_LINE);
    EXPECT_EQ(stored.coords->tally, 2u);
    qd_te_geo_chain_release(&stored);
    TeChain flat = Chain(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)});
    flat.chain_type = TE_ARC;
    ASSERT_EQ(qd_te_geo_get_coords(&flat, &pts, &n, 1), 1);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(pts, nullptr);
    // A dead chain reads as nothing, successfully.
    flat.discard = CHAIN_DELETE;
    nlst* list = nullptr;
    ASSERT_EQ(qd_te_geo_get_coords_list(&flat, &list, 0), 1);
    EXPECT_EQ(list, nullptr);
    qd_te_geo_chain_release(&flat);

    // A curve chain strokes through its nodes.
    TeChain curve = Chain(TE_CURVE, {Q(0, 0), Q(1, 1), Q(2, 0), Q(3, 1)});
    ASSERT_EQ(qd_te_geo_get_coords(&curve, &pts, &n, 1), 1);
    ASSERT_GT(n, 4);
    EXPECT_NEAR(pts[0].x, 0, 1e-12);
    EXPECT_NEAR(pts[n - 1].x, 3, 1e-12);
    qd_free(pts);
    qd_te_geo_chain_release(&curve);
}

TEST(qd_te_chain, CopiesAndMoves) {
    TeChain a = Chain(TE_LINE, {Q(0, 0), Q(1, 1)}, 7);
    const TeParent p = {1, 2, 8};
    a.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    nlst_add(a.right_parent, &p);
    const TeNodeDynamic dyn = {1.5f, 2.5f, Q(3, 4)};
    ASSERT_EQ(qd_te_geo_point_dynamic(&a, &dyn), 1);
    ASSERT_EQ(qd_te_geo_point_dynamic(&a, &dyn), 1);  // the replaced record is freed
    TeChain b;
    ASSERT_EQ(qd_te_geo_copy_chain(&a, &b, 1), 1);
    EXPECT_NE(b.coords, a.coords);
    EXPECT_NE(b.right_parent, a.right_parent);
    EXPECT_NE(b.node_dynamic, a.node_dynamic);
    EXPECT_EQ(b.node_dynamic->point.y, 4);
    EXPECT_EQ(b.chain_pid, 7);
    EXPECT_EQ(b.coords->tally, 2u);
    TeChain c;
    ASSERT_EQ(qd_te_geo_copy_chain(&a, &c, 0), 1);
    EXPECT_EQ(c.coords, nullptr);
    TeChain d;
    qd_te_geo_move_chain(&b, &d);
    EXPECT_EQ(b.coords, nullptr);
    EXPECT_EQ(b.chain_id, -1);
    EXPECT_EQ(d.coords->tally, 2u);

    // Every allocation failing in turn: nothing leaks, the answer is 0.
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    for (uint64_t nth = 1; nth <= 4; ++nth) {
        qd_alloc_fail_nth(nth);
        TeChain e;
        qd_te_geo_chain_default(&e);
        const int r = qd_te_geo_copy_chain(&a, &e, 1);
        qd_alloc_fail_nth(0);
        if (r) qd_te_geo_chain_release(&e);
        else EXPECT_EQ(e.coords, nullptr);
    }
    for (TeChain* x : {&a, &c, &d}) qd_te_geo_chain_release(x);

    // Copies of a whole list.
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
    nlst* array = nullptr;
    ASSERT_EQ(qd_te_chain_list_to_array(&array, chains.list), 1);
    ASSERT_EQ(array->tally, 2u);
    EXPECT_NE(qd_te_chain_at(array, 1)->coords, chains.At(1)->coords);
    qd_te_geo_chain_list_free(&array);
}

TEST(qd_te_chain, RectanglesAndDimensions) {
    // The margin floor: the largest bound over 1e14.
    GeoCoord mer[2] = {Q(0, 0), Q(1e8, 5)};
    qd_te_mer_expand(mer, 1e-9);
    EXPECT_EQ(mer[0].x, -1e-6);
    EXPECT_EQ(mer[1].y, 5 + 1e-6);
    GeoCoord m2[2] = {Q(0, 0), Q(10, 5)};
    qd_te_mer_expand(m2, -1);  // applied unchanged
    EXPECT_EQ(m2[0].x, 1);
    qd_te_mer_grow(m2, 1, 2);
    EXPECT_EQ(m2[0].x, 0);
    EXPECT_EQ(m2[1].y, 6);
    const GeoCoord other[2] = {Q(-3, 1), Q(4, 9)};
    qd_te_mer_union(m2, other);
    EXPECT_EQ(m2[0].x, -3);
    EXPECT_EQ(m2[1].y, 9);
    struct {
        int32_t in, out, want;
    } cases[] = {{0, 3, 1}, {1, 0, 1}, {1, 1, 1}, {1, 2, 0}, {1, 3, 0}, {2, 0, 1},
                 {2, 1, 0}, {3, 2, 1}, {3, 3, 1}, {4, 0, 0}};
    for (const auto& k : cases) EXPECT_EQ(qd_te_geo_dimension_accepts(k.in, k.out), k.want);
}

TEST(qd_te_chain_bits, CountedAndUncounted) {
    TeBitArray a;
    qd_te_ba_init(&a);
    ASSERT_EQ(qd_te_ba_alloc(&a, 16), 1);
    EXPECT_EQ(qd_te_ba_set(&a, 16), 1);  // the top index fits
    EXPECT_EQ(a.bits[2], 1);
    int was = -1;
    ASSERT_EQ(qd_te_ba_test_and_set(&a, 9, &was), 1);
    EXPECT_EQ(was, 0);
    ASSERT_EQ(qd_te_ba_test_and_set(&a, 9, &was), 1);
    EXPECT_EQ(was, 1);
    EXPECT_EQ(a.bits[1], 2);
    qd_te_ba_clear_all(&a);
    EXPECT_EQ(a.bits[1], 0);
    {
        geotest::FailRecorder rec;
        geotest::StdoutCapture quiet;
        EXPECT_EQ(qd_te_ba_set(&a, 17), 0);
        EXPECT_EQ(qd_te_ba_test_and_set(&a, 1, nullptr), 0);
        TeBitArray z;
        EXPECT_EQ(qd_te_ba_alloc(&z, 0), 0);
        EXPECT_EQ(rec.Codes().size(), 3u);
    }
    EXPECT_EQ(qd_te_ba_free(&a), 1);
    EXPECT_EQ(a.nbits, 0u);
    EXPECT_EQ(a.bits, nullptr);
    EXPECT_EQ(qd_te_ba_free(nullptr), 0);

    EXPECT_EQ(qd_te_bits_alloc(0), nullptr);
    EXPECT_EQ(qd_te_bits_alloc(-3), nullptr);
    // One byte for 1 bit, two for 8 (the allocator's block sizes are not
    // visible, so write the last byte and let the sanitizer judge).
    uint8_t* one = qd_te_bits_alloc(1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one[0], 0);
    qd_free(one);
    uint8_t* two = qd_te_bits_alloc(8);
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two[1], 0);
    qd_free(two);
}

TEST(qd_te_chain_geometry, AreaOrientationLength) {
    TeChain sq = Chain(TE_REGION, {Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)});
    EXPECT_EQ(qd_te_geo_chain_area(&sq), 1);
    EXPECT_EQ(qd_te_geo_chain_clockwise(&sq), 1);
    ASSERT_EQ(qd_te_geo_chain_reverse(&sq), 1);
    EXPECT_EQ(qd_te_geo_chain_area(&sq), -1);
    EXPECT_EQ(qd_te_geo_chain_clockwise(&sq), 0);
    double len = 0, total = 0, shortest = 0;
    ASSERT_EQ(qd_te_geo_chain_length(&sq, &len), 1);
    EXPECT_EQ(len, 4);
    TeChain l = Chain(TE_LINE, {Q(0, 0), Q(3, 4), Q(3, 5)});
    ASSERT_EQ(qd_te_geo_chain_length_stats(&l, &total, &shortest), 1);
    EXPECT_EQ(total, 6);
    EXPECT_EQ(shortest, 1);
    l.discard = CHAIN_DELETE;
    EXPECT_EQ(qd_te_geo_chain_area(&l), 0);
    EXPECT_EQ(qd_te_geo_chain_clockwise(&l), 1);
    ASSERT_EQ(qd_te_geo_chain_length(&l, &len), 1);
    EXPECT_EQ(len, 0);
    qd_te_geo_chain_release(&sq);
    qd_te_geo_chain_release(&l);
}

TEST(qd_te_chain_geometry, StartLeftmost) {
    TeChain ring = Chain(TE_REGION, {Q(5, 0), Q(2, 1), Q(2, 3), Q(5, 0)});
    ASSERT_EQ(qd_te_geo_chain_start_leftmost(&ring), 1);
    const auto* v = static_cast<const TeVertex*>(ring.coords->data);
    const double want[][2] = {{2, 1}, {2, 3}, {5, 0}, {2, 1}};
    ASSERT_EQ(ring.coords->tally, 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].x, want[i][0]) << i;
        EXPECT_EQ(v[i].y, want[i][1]) << i;
    }
    TeChain open = Chain(TE_LINE, {Q(5, 0), Q(2, 1), Q(2, 3)});
    ASSERT_EQ(qd_te_geo_chain_start_leftmost(&open), 1);
    EXPECT_EQ(static_cast<const TeVertex*>(open.coords->data)[0].x, 5);
    qd_te_geo_chain_release(&ring);
    qd_te_geo_chain_release(&open);
}

TEST(qd_te_chain_geometry, CurveTangents) {
    // Tangent points from a tangent record.
    nlst* pts = geotest::Coords({Q(0, 0), Q(4, 0)});
    TeTangentPoints tp;
    const TeTangent end_only = {0.0f, float(M_PI / 2), 2};
    ASSERT_EQ(qd_te_geo_set_curve_orientation(pts, &tp, &end_only), 1);
    EXPECT_EQ(tp.mode, 2);
    EXPECT_NEAR(tp.end.x, 4, 1e-7);
    EXPECT_NEAR(tp.end.y, 1, 1e-7);
    EXPECT_EQ(tp.end.z, -1e6);
    const TeTangent none = {1, 1, 7};
    ASSERT_EQ(qd_te_geo_set_curve_orientation(pts, &tp, &none), 1);
    EXPECT_EQ(tp.mode, 0);
    nlst_free(pts);

    // A curve with only an end direction strokes with it, at the last point:
    // the stroke arrives at (4, 0) heading up.
    TeChain c = Chain(TE_CURVE, {Q(0, 0), Q(2, 1), Q(4, 0)});
    c.tangent = end_only;
    nlst* stroke = nullptr;
    ASSERT_EQ(qd_te_geo_chain_expand_spline(&c, &stroke), 1);
    ASSERT_GT(stroke->tally, 3u);
    const auto* s = static_cast<const GeoCoord*>(stroke->data);
    const GeoCoord& last = s[stroke->tally - 1];
    const GeoCoord& before = s[stroke->tally - 2];
    EXPECT_NEAR(last.x, 4, 1e-12);
    EXPECT_GT(last.y - before.y, 0);  // arriving upwards
    EXPECT_LT(std::fabs(last.x - before.x), std::fabs(last.y - before.y));
    nlst_free(stroke);
    qd_te_geo_chain_release(&c);

    // Through the geometry model and back.
    GeoCurve curve = geotest::Curve({Q(0, 0), Q(1, 1), Q(2, 0)}, KTGEO_KT_CURVE);
    const TeTangent both = {0.5f, -0.25f, 3};
    ASSERT_EQ(qd_te_geo_decode_curve_tangent(&curve, &both), 1);
    EXPECT_EQ(curve.tangent_mode, 3);
    TeTangent back;
    ASSERT_EQ(qd_te_geo_encode_curve_tangent(&curve, &back), 1);
    EXPECT_EQ(back.type, 3);
    EXPECT_NEAR(back.start_angle, 0.5f, 1e-6);
    EXPECT_NEAR(back.end_angle, -0.25f, 1e-6);
    ktgeo_curve_release(&curve, nullptr);
}
