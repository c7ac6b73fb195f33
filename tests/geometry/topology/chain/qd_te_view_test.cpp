// Views of chains, the path and spike checks, the vertex filters and the
// common chain check, against the documented cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_views.h"
#include "te_chain_util.h"

using namespace tetest;

namespace {

// A chain of a type whose vertices are set without the store-time check.
TeChain Raw(int32_t type, std::initializer_list<GeoCoord> pts, double tol = 0) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.coords = nlst_alloc(sizeof(TeVertex), 4, 4, nullptr);
    for (const GeoCoord& p : pts) {
        const TeVertex v = {p.x, p.y, p.z, tol};
        nlst_add(c.coords, &v);
    }
    return c;
}

struct Held {
    TeChain c;
    explicit Held(TeChain chain) : c(chain) {}
    ~Held() { qd_te_geo_chain_release(&c); }
    TeVertex* V(uint32_t i) { return static_cast<TeVertex*>(c.coords->data) + i; }
    uint32_t N() const { return c.coords ? c.coords->tally : 0; }
};

}  // namespace

TEST(qd_te_view, CircleRadiusAgainstCentreTolerance) {
    struct Case {
        double radius, tol;
        int32_t skip, status;
    } cases[] = {{0.5, 0.5, 0, CHAIN_OK}, {0.4999, 0.5, 1, CHAIN_INVALID}, {2, 0, 0, CHAIN_OK}};
    for (const Case& k : cases) {
        Held h(Raw(TE_CIRCLE, {Q(1, 2)}, k.tol));
        h.c.radius = k.radius;
        TeCircle circle{};
        int32_t skip = -1;
        ASSERT_EQ(qd_te_form_circle(&h.c, &circle, &skip), 1);
        EXPECT_EQ(skip, k.skip) << k.radius;
        EXPECT_EQ(h.c.discard, k.status) << k.radius;
        if (!skip) {
            EXPECT_EQ(circle.radius, k.radius);
        }
    }
}

TEST(qd_te_view, ShortAndDeadChains) {
    // An arc of four vertices, a line of one vertex: invalid, skipped.
    Held arc(Raw(TE_ARC, {Q(0, 0), Q(1, 1), Q(2, 0), Q(3, 0)}));
    TeArc3 a3;
    int32_t skip = 0;
    ASSERT_EQ(qd_te_form_arc3(&arc.c, &a3, 0, &skip), 1);
    EXPECT_EQ(skip, 1);
    EXPECT_EQ(arc.c.discard, CHAIN_INVALID);
    Held line(Raw(TE_LINE, {Q(0, 0)}));
    TeVertex *f, *l;
    ASSERT_EQ(qd_te_form_start_end(&line.c, &f, &l, &skip), 1);
    EXPECT_EQ(skip, 1);
    EXPECT_EQ(line.c.discard, CHAIN_INVALID);
    // A node gives its one vertex twice.
    Held node(Raw(TE_NODE, {Q(4, 5)}));
    ASSERT_EQ(qd_te_form_start_end(&node.c, &f, &l, &skip), 1);
    EXPECT_EQ(skip, 0);
    EXPECT_EQ(f, l);
    EXPECT_EQ(f->x, 4);
    // A deleted chain is skipped, its kind not checked, its state kept.
    Held dead(Raw(TE_LINE, {Q(0, 0), Q(1, 1)}));
    dead.c.discard = CHAIN_DELETE;
    TeCircle circle;
    ASSERT_EQ(qd_te_form_circle(&dead.c, &circle, &skip), 1);
    EXPECT_EQ(skip, 1);
    EXPECT_EQ(dead.c.discard, CHAIN_DELETE);
    // A closed arc has no true middle: invalid when it is asked for.
    Held closed(Raw(TE_ARC, {Q(0, 0), Q(2, 0), Q(0, 0)}));
    ASSERT_EQ(qd_te_form_arc3(&closed.c, &a3, 1, &skip), 1);
    EXPECT_EQ(skip, 1);
    EXPECT_EQ(closed.c.discard, CHAIN_INVALID);
    // Null arguments: reported, 0.
    EXPECT_EQ(qd_te_form_node(nullptr, nullptr, &skip), 0);
    EXPECT_EQ(qd_te_cluster_clean_points(nullptr, 0, 0), 0);
}

TEST(qd_te_view, TrueMiddleOfAnArc) {
    // A quarter circle whose middle vertex sits off-centre along the arc.
    const double a = 0.3;
    Held arc(Raw(TE_ARC, {Q(1, 0), Q(std::cos(a), std::sin(a)), Q(0, 1)}));
    TeArc3 a3;
    int32_t skip = 0;
    ASSERT_EQ(qd_te_form_arc3(&arc.c, &a3, 1, &skip), 1);
    ASSERT_EQ(skip, 0);
    EXPECT_NEAR(a3.mid.x, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(a3.mid.y, std::sqrt(0.5), 1e-12);
    EXPECT_EQ(arc.V(1)->x, a3.mid.x);
    TeArc rec;
    ASSERT_EQ(qd_te_form_arc(&arc.c, &rec, 0, &skip), 1);
    EXPECT_NEAR(rec.radius, 1, 1e-12);
}

TEST(qd_te_check, SpikesAndPaths) {
    const GeoCoord a = Q(0, 0), b = Q(5, 0), c = Q(5, 5);
    // a, b, a: a LINE a -> b, polygon parents turned to sides on both sides.
    Held aba(Raw(TE_PATH, {a, b, a}));
    const TeParent p = {1, 2, (1 << 3) | TE_PARENT_P};
    aba.c.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    nlst_add(aba.c.right_parent, &p);
    ASSERT_EQ(qd_te_geo_chain_path_check(&aba.c, 0, 1e-10), 1);
    EXPECT_EQ(aba.c.chain_type, TE_LINE);
    ASSERT_EQ(aba.N(), 2u);
    EXPECT_EQ(aba.V(1)->x, 5);
    for (nlst* side : {aba.c.right_parent, aba.c.left_parent}) {
        ASSERT_NE(side, nullptr);
        ASSERT_EQ(side->tally, 1u);
        const auto* q = static_cast<const TeParent*>(side->data);
        EXPECT_FALSE(qd_te_parent_has_flag(q, TE_PARENT_P));
        EXPECT_TRUE(qd_te_parent_has_flag(q, TE_PARENT_S));
    }
    // a, b, c, b, a: cut to a, b, c in mode 1, only reported in mode 0.
    for (int32_t mode : {0, 1}) {
        Held s(Raw(TE_PATH, {a, b, c, b, a}));
        int32_t spike = -1;
        ASSERT_EQ(qd_te_geo_chain_spike_check(&s.c, &spike, mode, 0), 1);
        EXPECT_EQ(spike, 1);
        EXPECT_EQ(s.N(), mode == 1 ? 3u : 5u);
        EXPECT_EQ(s.V(2)->y, 5);
    }
    // A ring that is no spike is left alone.
    Held ring(Raw(TE_PATH, {a, b, c, a}));
    int32_t spike = -1;
    ASSERT_EQ(qd_te_geo_chain_spike_check(&ring.c, &spike, 1, 0), 1);
    EXPECT_EQ(spike, 0);
    EXPECT_EQ(ring.N(), 4u);
    // Every vertex on one point (mode 1): CHAIN_DELETE.
    Held one(Raw(TE_PATH, {a, Q(1e-12, 0), Q(0, 1e-12), a}));
    ASSERT_EQ(qd_te_geo_chain_path_check(&one.c, 1, 1e-10), 1);
    EXPECT_EQ(one.c.discard, CHAIN_DELETE);
    // Rectangle: the vertices grown by the largest vertex tolerance.
    Held path(Raw(TE_PATH, {a, Q(2, 3), b}, 0.25));
    ASSERT_EQ(qd_te_geo_chain_path_check(&path.c, 0, 0), 1);
    EXPECT_EQ(path.c.chain_mer[0].x, -0.25);
    EXPECT_EQ(path.c.chain_mer[1].y, 3.25);
}

TEST(qd_te_filter, DistanceAndBend) {
    // Three points whose last two coincide: the middle goes, the end stays.
    GeoCoord pts[] = {Q(0, 0), Q(5, 0), Q(5, 1e-9)};
    int32_t n = 3;
    ASSERT_EQ(qd_te_geo_dist_filter_crd(pts, &n, 1e-6, 0), 1);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(pts[1].y, 1e-9);
    // Two points the same within the distance are left.
    GeoCoord two[] = {Q(0, 0), Q(0, 1e-9)};
    n = 2;
    ASSERT_EQ(qd_te_geo_dist_filter_crd(two, &n, 1e-6, 0), 1);
    EXPECT_EQ(n, 2);
    // Bend filter: a point 0.01 off a straight run goes with 0.1, stays with 0.001.
    for (double tol : {0.1, 0.001}) {
        GeoCoord run[] = {Q(0, 0), Q(5, 0.01), Q(10, 0)};
        n = 3;
        ASSERT_EQ(qd_te_geo_bend_filter_crd(run, &n, tol, 0), 1);
        EXPECT_EQ(n, tol > 0.01 ? 2 : 3);
        EXPECT_EQ(run[n - 1].x, 10);
    }
    // A mode other than 0 or 1 answers 0 and leaves the array as it was.
    GeoCoord run[] = {Q(0, 0), Q(5, 0.01), Q(10, 0)};
    n = 3;
    EXPECT_EQ(qd_te_geo_bend_filter_crd(run, &n, 0.1, 7), 0);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(run[1].y, 0.01);
    // Chains keep each kept vertex's tolerance; the filter stage cleans.
    Held path(Raw(TE_PATH, {Q(0, 0), Q(5, 0.01), Q(10, 0), Q(10, 10)}, 0.5));
    ASSERT_EQ(qd_te_geo_filter_chain(&path.c, 0, 0.1, 1e-10), 1);
    ASSERT_EQ(path.N(), 3u);
    EXPECT_EQ(path.V(1)->x, 10);
    EXPECT_EQ(path.V(1)->tol, 0.5);
    EXPECT_EQ(path.c.chain_mer[0].x, -0.5);
    // Arcs on their chord become lines in the segment filter.
    Held arc(Raw(TE_ARC, {}));
    GeoCoord flat[] = {Q(0, 0), Q(1, 0), Q(2, 0)};
    n = 3;
    ASSERT_EQ(qd_te_geo_filter_seg(&arc.c, flat, &n, 0, 0), 1);
    EXPECT_EQ(arc.c.chain_type, TE_LINE);
    EXPECT_EQ(arc.c.radius, 0);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(flat[1].x, 2);
    // A circle of two points is invalid.
    Held circle(Raw(TE_CIRCLE, {}));
    n = 2;
    ASSERT_EQ(qd_te_geo_filter_seg(&circle.c, flat, &n, 0, 0), 1);
    EXPECT_EQ(circle.c.discard, CHAIN_INVALID);
}

TEST(qd_te_check, CleanPointsByType) {
    // A line clustered onto one point: deleted.
    Held line(Raw(TE_LINE, {Q(1, 1), Q(1, 1 + 1e-11)}));
    ASSERT_EQ(qd_te_cluster_clean_points(&line.c, 0, 0), 1);
    EXPECT_EQ(line.c.discard, CHAIN_DELETE);
    // A two-vertex path with distinct ends: a LINE of the same vertices.
    Held path(Raw(TE_PATH, {Q(0, 0), Q(3, 4)}, 0.5));
    ASSERT_EQ(qd_te_cluster_clean_points(&path.c, 0, 0.1), 1);
    EXPECT_EQ(path.c.chain_type, TE_LINE);
    EXPECT_EQ(path.N(), 2u);
    EXPECT_EQ(path.c.chain_mer[0].x, -0.5);
    EXPECT_EQ(path.c.chain_mer[1].y, 4.5);
    // An arc on its chord: a LINE of the ends, radius 0.
    Held arc(Raw(TE_ARC, {Q(0, 0), Q(1, 0), Q(2, 0)}));
    arc.c.radius = 7;
    ASSERT_EQ(qd_te_cluster_clean_points(&arc.c, 0, 0), 1);
    EXPECT_EQ(arc.c.chain_type, TE_LINE);
    EXPECT_EQ(arc.c.radius, 0);
    ASSERT_EQ(arc.N(), 2u);
    EXPECT_EQ(arc.V(1)->x, 2);
    // A sound arc: its envelope (the top of the unit circle) grown.
    Held top(Raw(TE_ARC, {Q(1, 0), Q(0, 1), Q(-1, 0)}, 0.25));
    ASSERT_EQ(qd_te_cluster_clean_points(&top.c, 0, 0), 1);
    EXPECT_EQ(top.c.discard, CHAIN_OK);
    EXPECT_NEAR(top.c.chain_mer[1].y, 1.25, 1e-12);
    EXPECT_NEAR(top.c.chain_mer[0].y, -0.25, 1e-12);
    // A region whose last point no longer meets its first: deleted.
    Held region(Raw(TE_REGION, {Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0.5)}));
    ASSERT_EQ(qd_te_cluster_clean_points(&region.c, 0, 0), 1);
    EXPECT_EQ(region.c.discard, CHAIN_DELETE);
    // A tolerance of 0 is raised to 1e-10: ends 5e-11 apart coincide.
    Held near(Raw(TE_LINE, {Q(0, 0), Q(5e-11, 0)}));
    ASSERT_EQ(qd_te_cluster_clean_points(&near.c, 0, 0), 1);
    EXPECT_EQ(near.c.discard, CHAIN_DELETE);
    // A node: its point grown by its tolerance.
    Held node(Raw(TE_NODE, {Q(2, 3)}, 0.5));
    ASSERT_EQ(qd_te_cluster_clean_points(&node.c, 0, 0), 1);
    EXPECT_EQ(node.c.chain_mer[0].x, 1.5);
    EXPECT_EQ(node.c.chain_mer[1].y, 3.5);
}

TEST(qd_te_check, ArcToCircle) {
    // Closed, a distinct middle point, radius above the tolerance: CIRCLE
    // centred between start and middle.
    struct Case {
        double tol;
        int32_t type;
    } cases[] = {{0.1, TE_CIRCLE}, {1.0, TE_ARC}, {1.5, TE_ARC}};
    for (const Case& k : cases) {
        Held arc(Raw(TE_ARC, {Q(0, 0), Q(2, 0), Q(0, 0)}, k.tol));
        ASSERT_EQ(qd_te_cluster_convert_arc_to_circle(&arc.c), 1);
        EXPECT_EQ(arc.c.chain_type, k.type) << k.tol;
        if (k.type == TE_CIRCLE) {
            ASSERT_EQ(arc.N(), 1u);
            EXPECT_EQ(arc.V(0)->x, 1);
            EXPECT_EQ(arc.c.radius, 1);
        }
    }
    // An open arc stays.
    Held open(Raw(TE_ARC, {Q(1, 0), Q(0, 1), Q(-1, 0)}));
    ASSERT_EQ(qd_te_cluster_convert_arc_to_circle(&open.c), 1);
    EXPECT_EQ(open.c.chain_type, TE_ARC);
}

TEST(qd_te_check, SecondCleanChangesNothing) {
    const GeoCoord a = Q(0, 0), b = Q(5, 0), c = Q(5, 5);
    std::initializer_list<GeoCoord> shapes[] = {
        {a, b, c, b, a}, {a, b, c, a}, {a, b}, {a, Q(1e-12, 0), b, Q(5, 1e-12), c}};
    for (auto pts : shapes) {
        for (int32_t type : {TE_PATH, TE_LINE, TE_CURVE}) {
            Held h(Raw(type, pts, 0.01));
            ASSERT_EQ(qd_te_cluster_clean_points(&h.c, 1, 1e-9), 1);
            TeChain once;
            ASSERT_EQ(qd_te_geo_copy_chain(&h.c, &once, 1), 1);
            ASSERT_EQ(qd_te_cluster_clean_points(&h.c, 1, 1e-9), 1);
            EXPECT_EQ(h.c.discard, once.discard);
            EXPECT_EQ(h.c.chain_type, once.chain_type);
            EXPECT_EQ(std::memcmp(h.c.chain_mer, once.chain_mer, sizeof once.chain_mer), 0);
            EXPECT_EQ(h.N(), once.coords ? once.coords->tally : 0u);
            if (once.coords && h.N() == once.coords->tally) {
                EXPECT_EQ(std::memcmp(h.c.coords->data, once.coords->data, sizeof(TeVertex) * h.N()), 0);
            }
            qd_te_geo_chain_release(&once);
        }
    }
}
