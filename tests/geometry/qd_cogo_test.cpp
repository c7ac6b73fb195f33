// Coordinate geometry: areas and orientation, segment intersection, point
// in ring, arc and spline stroking, generalisation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "geo_test_util.h"
#include "geometry/qd_cogo.h"

using geotest::C;
using geotest::Coords;
using geotest::FailRecorder;
using geotest::List;
using geotest::Points;
using geotest::StdoutCapture;

namespace {


void ExpectCoord(const GeoCoord& got, const GeoCoord& want, double tol = 1e-12) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

// Independent even-odd crossing test.
bool CrossingNumberInside(const GeoCoord& p, const std::vector<GeoCoord>& ring) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 2; i + 1 < ring.size(); j = i++) {
        const GeoCoord& a = ring[i];
        const GeoCoord& b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

}  // namespace

TEST(qd_cogo, AreaAndOrientation) {
    List ccw(Coords({C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 0)}));
    List cw(Coords({C(0, 0), C(0, 4), C(4, 4), C(4, 0), C(0, 0)}));
    double area = 0;
    EXPECT_EQ(qd_cogo_poly_area(ccw.get(), &area), 1);
    EXPECT_EQ(area, 16.0);
    EXPECT_EQ(qd_cogo_poly_area(cw.get(), &area), 1);
    EXPECT_EQ(area, 16.0);
    EXPECT_EQ(qd_cogo_is_clockwise(ccw.get()), 0);
    EXPECT_EQ(qd_cogo_is_clockwise(cw.get()), 1);
    qd_cogo_reverse(cw.get());
    EXPECT_EQ(qd_cogo_is_clockwise(cw.get()), 0);

    List open(Coords({C(0, 0), C(4, 0), C(4, 4), C(0, 4)}));
    EXPECT_EQ(qd_cogo_poly_area(open.get(), &area), 0);
    FailRecorder rec;
    StdoutCapture out;
    List three(Coords({C(0, 0), C(1, 0), C(0, 0)}));
    EXPECT_EQ(qd_cogo_poly_area(three.get(), &area), 0);
    EXPECT_EQ(rec.Last().code, "UKT_1");
    EXPECT_EQ(rec.Last().Get("function"), "qd_cogo_poly_area");
    EXPECT_EQ(rec.Last().Get("param"), "lst");
}

TEST(qd_cogo, SegmentIntersection) {
    GeoCoord out{};
    GeoCoord a = C(0, 0), b = C(2, 0), c = C(1, -1), d = C(1, 1);
    ASSERT_EQ(qd_cogo_segment_intersection(&a, &b, &c, &d, &out), 1);
    ExpectCoord(out, C(1, 0, KTGEO_NO_Z), 0);
    EXPECT_EQ(qd_cogo_segment_cross(&a, &b, &c, &d, &out), 1);

    GeoCoord e = C(2, 0, 5), f = C(3, 5);
    ASSERT_EQ(qd_cogo_segment_intersection(&a, &b, &e, &f, &out), 1);
    ExpectCoord(out, C(2, 0, KTGEO_NO_Z), 0);  // the end of a-b, z included
    GeoCoord b3 = C(2, 0, 7);
    ASSERT_EQ(qd_cogo_segment_intersection(&a, &b3, &e, &f, &out), 1);
    EXPECT_EQ(out.z, 7);
    EXPECT_EQ(qd_cogo_segment_cross(&a, &b, &e, &f, &out), 0);

    GeoCoord g = C(0, 1), h = C(2, 1);
    EXPECT_EQ(qd_cogo_segment_intersection(&a, &b, &g, &h, &out), 0);  // parallel
    GeoCoord i = C(3, -1), j = C(3, 1);
    EXPECT_EQ(qd_cogo_segment_intersection(&a, &b, &i, &j, &out), 0);  // beyond the end
}

TEST(qd_cogo, PointInRingBoundaryAndClosure) {
    List ring(Coords({C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(0, 0)}));
    struct Case {
        GeoCoord p;
        int want;
    } cases[] = {
        {C(2, 2), 1}, {C(2, 0), 1}, {C(4, 1), 1}, {C(0, 0), 1}, {C(4, 4), 1},
        {C(5, 2), 0}, {C(-1e-9, 2), 0}, {C(2, 4.5), 0}, {C(2, 1e-11), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qd_cogo_point_in_ring(&c.p, ring.get()), c.want) << c.p.x << "," << c.p.y;
    List off(Coords({C(0, 0), C(4, 0), C(4, 4), C(0, 4), C(1e-12, 0)}));
    GeoCoord centre = C(2, 2);
    EXPECT_EQ(qd_cogo_point_in_ring(&centre, off.get()), 0);
}

TEST(qd_cogo, PointInRingAgreesWithCrossingNumberAwayFromEdges) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 200; ++trial) {
        // A star-shaped ring with random radii around (0, 0).
        const int n = 3 + trial % 17;
        std::vector<GeoCoord> ring;
        for (int k = 0; k < n; ++k) {
            const double angle = 2 * M_PI * (k + 0.8 * unit(rng)) / n;
            const double r = 1 + 9 * unit(rng);
            ring.push_back(C(r * std::cos(angle), r * std::sin(angle)));
        }
        ring.push_back(ring[0]);
        List list(ktgeo_coord_list_from_array(ring.data(), uint32_t(ring.size())));
        for (int q = 0; q < 50; ++q) {
            const GeoCoord p = C(-12 + 24 * unit(rng), -12 + 24 * unit(rng));
            bool near_edge = false;
            for (size_t i = 0; i + 1 < ring.size(); ++i)
                near_edge |= qd_cogo_point_segment_distance_2d(&p, &ring[i], &ring[i + 1]) < 1e-6;
            if (near_edge) continue;
            EXPECT_EQ(qd_cogo_point_in_ring(&p, list.get()) == 1, CrossingNumberInside(p, ring));
        }
    }
}

TEST(qd_cogo, CircleCentre) {
    GeoCoord a = C(1, 0), b = C(0, 1), c = C(-1, 0), centre{};
    double r = 0;
    ASSERT_EQ(qd_cogo_circle_centre(&a, &b, &c, &centre, &r), 1);
    EXPECT_NEAR(centre.x, 0, 1e-15);
    EXPECT_NEAR(centre.y, 0, 1e-15);
    EXPECT_NEAR(r, 1, 1e-15);
    GeoCoord d = C(2, 0), e = C(3, 0);
    EXPECT_EQ(qd_cogo_circle_centre(&a, &d, &e, &centre, &r), 0);
    ASSERT_EQ(qd_cogo_circle_centre(&a, &b, &a, &centre, &r), 1);  // start = end
    ExpectCoord(centre, b);
    EXPECT_NEAR(r, std::sqrt(2.0), 1e-15);
}

TEST(qd_cogo, StrokeHalfCircle) {
    GeoCoord a = C(1, 0), b = C(0, 1), c = C(-1, 0);
    List arc(qd_cogo_stroke_arc(&a, &b, &c, 64));
    ASSERT_TRUE(arc);
    const std::vector<GeoCoord> pts = Points(arc.get());
    ASSERT_EQ(pts.size(), 63u);
    ExpectCoord(pts.front(), a, 0);
    ExpectCoord(pts.back(), c, 0);
    int exact_b = 0;
    for (const GeoCoord& p : pts) {
        exact_b += p.x == 0.0 && p.y == 1.0;
        EXPECT_NEAR(std::hypot(p.x, p.y), 1.0, 1e-12);
        EXPECT_GE(p.y, -1e-12);
    }
    EXPECT_EQ(exact_b, 1);
    // Counterclockwise: angles grow along the list.
    for (size_t i = 1; i < pts.size(); ++i)
        EXPECT_GT(std::atan2(pts[i].y, pts[i].x) + (i + 1 == pts.size() ? 2 * M_PI : 0),
                  std::atan2(pts[i - 1].y, pts[i - 1].x) - 1e-12);
}

TEST(qd_cogo, StrokeArcCases) {
    GeoCoord a = C(0, 0), b = C(1, 1), c = C(2, 2);
    List collinear(qd_cogo_stroke_arc(&a, &b, &c, 64));
    ASSERT_TRUE(collinear);
    const std::vector<GeoCoord> three = Points(collinear.get());
    ASSERT_EQ(three.size(), 3u);
    ExpectCoord(three[1], b, 0);

    // Start equal to end: the full circle about the middle point, clockwise
    // from angle 0.
    GeoCoord s = C(5, 3), m = C(3, 3);
    List full(qd_cogo_stroke_arc(&s, &m, &s, 64));
    ASSERT_TRUE(full);
    const std::vector<GeoCoord> ring = Points(full.get());
    ExpectCoord(ring.front(), C(5, 3, KTGEO_NO_Z));
    ExpectCoord(ring.back(), ring.front(), 0);
    EXPECT_LT(ring[1].y, 3.0);  // clockwise: first step goes down
    for (const GeoCoord& p : ring) EXPECT_NEAR(std::hypot(p.x - 3, p.y - 3), 2.0, 1e-12);

    // Z grows from start to end.
    GeoCoord za = C(1, 0, 0), zb = C(0, 1, 5), zc = C(-1, 0, 10);
    List with_z(qd_cogo_stroke_arc(&za, &zb, &zc, 64));
    const std::vector<GeoCoord> zp = Points(with_z.get());
    EXPECT_EQ(zp.front().z, 0);
    EXPECT_EQ(zp.back().z, 10);
    EXPECT_NEAR(zp[10].z, 10.0 * 10 / 62, 1e-9);
}

TEST(qd_cogo, StrokedArcPointsLieOnTheCircle) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1000, 1000);
    for (int t = 0; t < 100; ++t) {
        GeoCoord a = C(u(rng), u(rng)), b = C(u(rng), u(rng)), c = C(u(rng), u(rng)), centre;
        double r;
        if (!qd_cogo_circle_centre(&a, &b, &c, &centre, &r)) continue;
        List arc(qd_cogo_stroke_arc(&a, &b, &c, 64));
        ASSERT_TRUE(arc);
        for (const GeoCoord& p : Points(arc.get()))
            EXPECT_NEAR(qd_cogo_distance_2d(&p, &centre) / r, 1.0, 1e-12);
    }
}

TEST(qd_cogo, GeneralizeKeepsEndsAndTolerance) {
    List line(Coords({C(0, 0), C(1, 0), C(2, 0), C(2, 1), C(3, 1), C(4, 1.5), C(5, 2)}));
    List exact(qd_cogo_generalize_2d(line.get(), 0));
    ASSERT_TRUE(exact);
    const std::vector<GeoCoord> kept = Points(exact.get());
    ASSERT_EQ(kept.size(), 5u);  // (1,0) and (4,1.5) are collinear with their neighbours
    ExpectCoord(kept[1], C(2, 0), 0);
    ExpectCoord(kept[3], C(3, 1), 0);

    List two(Coords({C(0, 0), C(5, 5)}));
    List copy(qd_cogo_generalize_2d(two.get(), 10));
    EXPECT_EQ(Points(copy.get()).size(), 2u);
    List empty(ktgeo_coord_list_alloc(0));
    EXPECT_EQ(qd_cogo_generalize_2d(empty.get(), 1), nullptr);

    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1);
    for (double tol : {0.5, 2.0, 10.0}) {
        std::vector<GeoCoord> walk{C(0, 0)};
        for (int i = 1; i < 500; ++i) walk.push_back(C(i, walk.back().y + noise(rng)));
        List in(ktgeo_coord_list_from_array(walk.data(), uint32_t(walk.size())));
        List out(qd_cogo_generalize_2d(in.get(), tol));
        const std::vector<GeoCoord> g = Points(out.get());
        ExpectCoord(g.front(), walk.front(), 0);
        ExpectCoord(g.back(), walk.back(), 0);
        // Every dropped point lies within the tolerance of the kept segment over it.
        size_t k = 0;
        for (const GeoCoord& p : walk) {
            while (k + 1 < g.size() && g[k + 1].x < p.x) ++k;
            const size_t next = std::min(k + 1, g.size() - 1);
            EXPECT_LT(qd_cogo_point_segment_distance_2d(&p, &g[k], &g[next]), tol);
        }
    }
}

TEST(qd_cogo, SplineDegenerateInputs) {
    List same(Coords({C(1, 1), C(1, 1), C(1, 1)}));
    List one(qd_cogo_stroke_spline(same.get(), nullptr, 64));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->tally, 1u);

    List two(Coords({C(0, 0), C(3, 0)}));
    List straight(qd_cogo_stroke_spline(two.get(), nullptr, 64));
    ASSERT_TRUE(straight);
    EXPECT_EQ(straight->tally, 2u);

    // With one tangent the curve goes through a constructed middle point.
    GeoTangents t = {1, C(0, 1), KTGEO_UNSET_COORD};
    List bent(qd_cogo_stroke_spline(two.get(), &t, 16));
    ASSERT_TRUE(bent);
    const std::vector<GeoCoord> b = Points(bent.get());
    ASSERT_GT(b.size(), 3u);
    ExpectCoord(b.front(), C(0, 0), 0);
    ExpectCoord(b.back(), C(3, 0), 0);
    double off_line = 0;
    for (const GeoCoord& p : b) off_line = std::max(off_line, std::fabs(p.y));
    EXPECT_GT(off_line, 1e-6);
}

TEST(qd_cogo, SplineThroughThreePoints) {
    List three(Coords({C(0, 0), C(1, 1), C(2, 0)}));
    List s(qd_cogo_stroke_spline(three.get(), nullptr, 64));
    ASSERT_TRUE(s);
    const std::vector<GeoCoord> p = Points(s.get());
    ASSERT_EQ(p.size(), 191u);
    ExpectCoord(p[0], C(0, 0), 0);
    ExpectCoord(p[95], C(1, 1), 0);
    ExpectCoord(p[190], C(2, 0), 0);
    // Rises to the middle point and falls after it, x always advancing.
    for (size_t i = 1; i < p.size(); ++i) {
        EXPECT_GT(p[i].x, p[i - 1].x);
        if (i <= 95) EXPECT_GT(p[i].y, p[i - 1].y);
        else EXPECT_LT(p[i].y, p[i - 1].y);
    }
    EXPECT_GT(p[50].y, 0.5 * p[50].x);  // bulges beyond the chord
}

TEST(qd_cogo, ClosedSplineIsPeriodic) {
    List square(Coords({C(0, 0), C(1, 0), C(1, 1), C(0, 1), C(0, 0)}));
    for (int segments : {16, 64}) {
        SCOPED_TRACE(segments);
        List s(qd_cogo_stroke_spline(square.get(), nullptr, segments));
        ASSERT_TRUE(s);
        const std::vector<GeoCoord> p = Points(s.get());
        ASSERT_EQ((p.size() - 1) % 4, 0u);
        const size_t span = (p.size() - 1) / 4;
        ASSERT_GT(span, 2u);
        // A quarter turn about (0.5, 0.5) maps each span onto the next one.
        for (size_t k = 0; k < 3; ++k) {
            for (size_t i = 0; i <= span; ++i) {
                const GeoCoord& q = p[k * span + i];
                const GeoCoord& r = p[(k + 1) * span + i];
                EXPECT_NEAR(0.5 - (q.y - 0.5), r.x, 1e-9);
                EXPECT_NEAR(0.5 + (q.x - 0.5), r.y, 1e-9);
            }
        }
    }
}

TEST(qd_cogo, EnvelopesAndOutcodes) {
    const GeoCoord pts[] = {C(1, 5, 2), C(-1, 3, KTGEO_NO_Z), C(4, -2, 7)};
    GeoCoord lo, hi;
    qd_cogo_envelope(&lo, &hi, pts, 3);
    ExpectCoord(lo, C(-1, -2, KTGEO_NO_Z), 0);
    ExpectCoord(hi, C(4, 5, 7), 0);

    GeoCoord a0 = C(0, 0, 0), a1 = C(4, 4, 4), b0 = C(2, 1, 1), b1 = C(6, 3, 9), o0, o1;
    ASSERT_EQ(qd_cogo_envelope_intersect(&a0, &a1, &b0, &b1, &o0, &o1), 1);
    ExpectCoord(o0, C(2, 1, 1), 0);
    ExpectCoord(o1, C(4, 3, 4), 0);
    GeoCoord far0 = C(5, 5), far1 = C(6, 6);
    EXPECT_EQ(qd_cogo_envelope_intersect(&a0, &a1, &far0, &far1, &o0, &o1), 0);

    GeoCoord p = C(-1, 5);
    EXPECT_EQ(qd_cogo_outcode(&p, &a0, &a1), 1 | 8);
    GeoCoord q = C(5, -1);
    EXPECT_EQ(qd_cogo_outcode(&q, &a0, &a1), 2 | 4);
}

TEST(qd_cogo, LineSelfCrossing) {
    struct Case {
        std::initializer_list<GeoCoord> line;
        int want;
    } cases[] = {
        {{C(0, 0), C(2, 2), C(2, 0), C(0, 2)}, 1},
        {{C(0, 0), C(1, 0), C(2, 1), C(3, 0)}, 0},
        {{C(0, 0), C(2, 0), C(2, 2), C(0, 2), C(0, 0)}, 1},  // closed: first meets last
        {{C(0, 0), C(1, 0)}, 0},
    };
    for (const Case& c : cases) {
        List l(Coords(c.line));
        int crosses = -1;
        EXPECT_EQ(qd_cogo_line_self_crossing(l.get(), &crosses), 1);
        EXPECT_EQ(crosses, c.want);
    }
}
