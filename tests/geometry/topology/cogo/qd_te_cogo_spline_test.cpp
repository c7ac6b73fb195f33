// Splines under tension: solution, strokes, tangents, closest points, the
// three-point form of two-point curves; seeded curves for the properties
// every stroke must have.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {

constexpr double kPi = 3.141592653589793;

// A seeded wandering curve of n nodes in [0, 1000].
std::vector<GeoCoord> Wander(uint32_t seed, int n) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> turn(-1.2, 1.2), len(5, 40);
    std::vector<GeoCoord> pts;
    double x = 500, y = 500, dir = 0;
    for (int i = 0; i < n; ++i) {
        pts.push_back(P(x, y));
        dir += turn(gen);
        const double l = len(gen);
        x += l * std::cos(dir);
        y += l * std::sin(dir);
    }
    return pts;
}

struct Stroke {
    TeCoordArray out = {nullptr, 0};
    ~Stroke() { qd_free(out.pts); }
};

// Every node appears in the stroke, in order, exactly.
void ExpectThroughNodes(const std::vector<GeoCoord>& nodes, const TeCoordArray& s) {
    size_t next = 0;
    for (int32_t i = 0; i < s.n && next < nodes.size(); ++i)
        if (s.pts[i].x == nodes[next].x && s.pts[i].y == nodes[next].y) ++next;
    EXPECT_EQ(next, nodes.size());
    EXPECT_EQ(s.pts[0].x, nodes.front().x);
    EXPECT_EQ(s.pts[s.n - 1].y, nodes.back().y);
    for (int32_t i = 0; i < s.n; ++i) ASSERT_TRUE(std::isfinite(s.pts[i].x) && std::isfinite(s.pts[i].y)) << i;
}

}  // namespace

TEST(qd_te_cogo_spline, MirrorPoint) {
    const GeoCoord a = P(0, 0), b = P(1, 0), az = P(0, 0, 2), bz = P(1, 0, 4);
    struct {
        double theta, x, y;
    } cases[] = {{0, -1, 0}, {kPi / 2, 1, 0}, {kPi / 4, 0, -1}};
    for (const auto& k : cases) {
        GeoCoord out;
        qd_te_cogo_mirror_point(&a, &b, k.theta, &out);
        EXPECT_POINT(out, k.x, k.y, 1e-15);
        EXPECT_EQ(out.z, KTGEO_NO_Z);
    }
    GeoCoord out;
    qd_te_cogo_mirror_point(&az, &bz, 0, &out);
    EXPECT_EQ(out.z, 3);
}

TEST(qd_te_cogo_spline, StraightEvenCurveHasNoCurvature) {
    std::vector<GeoCoord> pts;
    for (int i = 0; i < 8; ++i) pts.push_back(P(3 + 2.5 * i, 7 - 1.5 * i));
    TeCoordArray curve = {pts.data(), 8};
    TeSplineWork work;
    ASSERT_EQ(qd_te_cogo_spline_setup(&curve, &work, nullptr), -1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_LT(std::fabs(work.m[i].x), 1e-12);
        EXPECT_LT(std::fabs(work.m[i].y), 1e-12);
    }
    EXPECT_NEAR(work.sigma, 7 / (7 * std::hypot(2.5, 1.5)), 1e-15);
    EXPECT_EQ(curve.end_condition, 0);
    qd_te_cogo_spline_release(&work);
    EXPECT_EQ(work.m, nullptr);
    Stroke s;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 8, 50, &s.out, nullptr), -1);
    for (int32_t i = 0; i < s.out.n; ++i)  // on the chord line
        EXPECT_NEAR(1.5 * (s.out.pts[i].x - 3) + 2.5 * (s.out.pts[i].y - 7), 0, 1e-11);
}

TEST(qd_te_cogo_spline, StrokeCounts) {
    struct {
        std::vector<double> xs;
        int32_t total;
        int32_t want;
    } cases[] = {
        {{0, 1, 3}, 5, 4},     // step 1.5: the span of 2 gets one point
        {{0, 2, 4}, 5, 3},     // spans exactly one step long get none
        {{0, 1, 3, 4}, 8, 5},  // a span exactly two steps long gets one, not two
        {{0, 1, 3, 4}, 4, 4},  // total = n: the nodes
    };
    for (auto& k : cases) {
        std::vector<GeoCoord> pts;
        for (double x : k.xs) pts.push_back(P(x, 0));
        TeCoordArray curve = {pts.data(), int32_t(pts.size())};
        Stroke s;
        ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, curve.n, k.total, &s.out, nullptr), -1);
        EXPECT_EQ(s.out.n, k.want);
        ExpectThroughNodes(pts, s.out);
    }
    std::vector<GeoCoord> pts = {P(0, 0), P(1, 1), P(2, 0), P(3, 1)};
    TeCoordArray curve = {pts.data(), 4};
    TeCoordArray out = {nullptr, 0};
    for (int32_t total : {3, 0, -5}) EXPECT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 4, total, &out, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_curve_stroke(&curve, 2, 3, 20, &out, nullptr), -2);  // past the end
    EXPECT_EQ(out.pts, nullptr);
    // A range: nodes 1 to 2 only.
    Stroke r;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 1, 2, 20, &r.out, nullptr), -1);
    EXPECT_EQ(r.out.pts[0].x, 1);
    EXPECT_EQ(r.out.pts[r.out.n - 1].x, 2);
}

TEST(qd_te_cogo_spline, SeededCurves) {
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        auto pts = Wander(seed, 5 + int(seed % 7) * 3);
        TeCoordArray curve = {pts.data(), int32_t(pts.size())};
        Stroke s;
        ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, curve.n, curve.n * 12, &s.out, nullptr), -1);
        ExpectThroughNodes(pts, s.out);
        EXPECT_LE(s.out.n, curve.n * 12);
        Stroke fine;
        ASSERT_EQ(qd_te_cogo_curve_stroke_fine(&curve, 0, curve.n, &fine.out, nullptr), -1);
        ExpectThroughNodes(pts, fine.out);
        // Moved far from the origin the stroke moves with it.
        auto moved = pts;
        for (GeoCoord& p : moved) p.x += 1e6, p.y += 1e6;
        TeCoordArray far = {moved.data(), curve.n};
        Stroke m;
        ASSERT_EQ(qd_te_cogo_curve_stroke(&far, 0, far.n, far.n * 12, &m.out, nullptr), -1);
        ASSERT_EQ(m.out.n, s.out.n);
        for (int32_t i = 0; i < s.out.n; ++i) {
            EXPECT_NEAR(m.out.pts[i].x - 1e6, s.out.pts[i].x, 1e-8);
            EXPECT_NEAR(m.out.pts[i].y - 1e6, s.out.pts[i].y, 1e-8);
        }
    }
}

TEST(qd_te_cogo_spline, ClosedCurve) {
    std::vector<GeoCoord> pts;
    for (int i = 0; i < 12; ++i) pts.push_back(P(10 * std::cos(i * kPi / 6), 6 * std::sin(i * kPi / 6)));
    pts.push_back(pts[0]);
    TeCoordArray curve = {pts.data(), 13};
    Stroke s;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 13, 13 * 10, &s.out, nullptr), -1);
    EXPECT_EQ(curve.end_condition, 4);
    ExpectThroughNodes(pts, s.out);
    // Smooth through the closing node: the stroke turns there as at the
    // other end of the major axis (node 6).
    int32_t six = 0;
    while (six < s.out.n && !(s.out.pts[six].x == pts[6].x && s.out.pts[six].y == pts[6].y)) ++six;
    ASSERT_LT(six, s.out.n - 1);
    double closing, opposite;
    ASSERT_EQ(qd_te_cogo_vertex_angle(&s.out.pts[s.out.n - 2], &s.out.pts[0], &s.out.pts[1],
                                      &closing, nullptr), -1);
    ASSERT_EQ(qd_te_cogo_vertex_angle(&s.out.pts[six - 1], &s.out.pts[six], &s.out.pts[six + 1],
                                      &opposite, nullptr), -1);
    EXPECT_GT(closing, 180);
    EXPECT_NEAR(closing, opposite, 0.05);
    // A closed curve's node tangents run along the ellipse.
    double t0, t3;
    TeCoordArray c2 = {pts.data(), 13};
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&c2, 0, &t0, nullptr), -1);
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&c2, 3, &t3, nullptr), -1);
    EXPECT_NEAR(t0, kPi / 2, 0.02);
    EXPECT_NEAR(t3, kPi, 0.02);
}

TEST(qd_te_cogo_spline, OneDominantSpan) {
    // 1,000 nodes, one span 99% of the length: no NaN anywhere.
    std::vector<GeoCoord> pts;
    for (int i = 0; i < 500; ++i) pts.push_back(P(i * 0.01, std::sin(i * 0.1) * 0.01));
    for (int i = 0; i < 500; ++i) pts.push_back(P(1000 + i * 0.01, std::cos(i * 0.1) * 0.01 + 3));
    TeCoordArray curve = {pts.data(), 1000};
    const double length = qd_te_cogo_polyline_length(pts.data(), 1000);
    ASSERT_GT(qd_te_cogo_distance_2d(&pts[499], &pts[500]), 0.99 * length);
    Stroke s;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 1000, 5000, &s.out, nullptr), -1);
    ExpectThroughNodes(pts, s.out);
    TeSplineWork work;
    ASSERT_EQ(qd_te_cogo_spline_setup(&curve, &work, nullptr), -1);
    for (int i = 0; i < 999; ++i) {
        ASSERT_TRUE(std::isfinite(work.m[i].x) && std::isfinite(work.bands[i].radius)) << i;
    }
    qd_te_cogo_spline_release(&work);
    double angle;
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&curve, 499, &angle, nullptr), -1);
    EXPECT_TRUE(std::isfinite(angle));
}

TEST(qd_te_cogo_spline, Tangents) {
    // Nodes on the unit circle, counter-clockwise from angle 0.
    std::vector<GeoCoord> pts;
    for (int i = 0; i < 7; ++i) pts.push_back(P(std::cos(i * 0.3), std::sin(i * 0.3)));
    TeCoordArray curve = {pts.data(), 7};
    for (int32_t k : {1, 3, 5}) {
        double a;
        ASSERT_EQ(qd_te_cogo_spline_tangent_at(&curve, k, &a, nullptr), -1);
        EXPECT_NEAR(a, k * 0.3 + kPi / 2, 5e-3) << k;
    }
    double start, end;
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&curve, 0, &start, nullptr), -1);
    EXPECT_EQ(start, curve.start_angle);  // the computed start angle
    EXPECT_NEAR(start, kPi / 2, 0.02);
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&curve, 6, &end, nullptr), -1);
    EXPECT_NEAR(std::remainder(end - (1.8 + kPi / 2), 2 * kPi), 0, 0.02);
    // Given end angles stay.
    TeCoordArray given = {pts.data(), 7, 1.0, 2.0, 3};
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&given, 0, &start, nullptr), -1);
    EXPECT_EQ(start, 1.0);

    double a = 0;
    for (int32_t n : {1, 2}) {
        TeCoordArray small = {pts.data(), n};
        EXPECT_EQ(qd_te_cogo_spline_tangent_at(&small, 0, &a, nullptr), -2) << n;
    }
    EXPECT_EQ(qd_te_cogo_spline_tangent_at(&curve, 7, &a, nullptr), -2);
    EXPECT_EQ(qd_te_cogo_spline_tangent_at(&curve, -1, &a, nullptr), -2);

    // With duplicates: node 4 of the input is node 3 of the reduced curve.
    std::vector<GeoCoord> dup = pts;
    dup.insert(dup.begin() + 2, pts[2]);
    TeCoordArray d = {dup.data(), 8};
    double b3;
    ASSERT_EQ(qd_te_cogo_curve_tangent_at(&d, 4, &a, nullptr), -1);
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&curve, 3, &b3, nullptr), -1);
    EXPECT_EQ(a, b3);
    EXPECT_EQ(qd_te_cogo_curve_tangent_at(&d, 9, &a, nullptr), -2);
    TeCoordArray two = {pts.data(), 2, 0.5, 0.7, 3};
    ASSERT_EQ(qd_te_cogo_curve_tangent_at(&two, 1, &a, nullptr), -1);
    EXPECT_EQ(a, 0.7);
    TeCoordArray one = {pts.data(), 1};
    EXPECT_EQ(qd_te_cogo_curve_tangent_at(&one, 0, &a, nullptr), 0);
}

TEST(qd_te_cogo_spline, TwoPointCurves) {
    GeoCoord two[] = {P(0, 0, 1), P(4, 0, 2)};
    TeCoordArray plain = {two, 2};
    Stroke s;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&plain, 0, 2, 10, &s.out, nullptr), -1);
    ASSERT_EQ(s.out.n, 2);
    EXPECT_EQ(s.out.pts[1].z, 2);
    // With an end angle the middle point leaves the chord.
    TeCoordArray bent = {two, 2, 0, kPi / 4, 2};
    TeCoordArray three = {nullptr, 0};
    ASSERT_EQ(qd_te_cogo_curve_two_to_three(&bent, &three, nullptr), -1);
    ASSERT_EQ(three.n, 3);
    EXPECT_EQ(three.end_condition, 2);
    EXPECT_EQ(three.pts[0].z, 1);
    EXPECT_GT(std::fabs(three.pts[1].y), 0.05);
    EXPECT_GT(three.pts[1].x, 0);
    EXPECT_LT(three.pts[1].x, 4);
    qd_free(three.pts);
    Stroke b;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&bent, 0, 2, 12, &b.out, nullptr), -1);
    EXPECT_GT(b.out.n, 3);
    EXPECT_EQ(b.out.pts[b.out.n - 1].x, 4);

    GeoCoord mid[3] = {P(9, 9, 9), P(9, 9, 0), P(9, 9, 9)};
    ASSERT_EQ(qd_te_cogo_curve_middle_point(two, 0, 0, 0, mid, nullptr), 1);
    EXPECT_POINT(mid[1], 2, 0, 0);
    EXPECT_EQ(mid[1].z, KTGEO_NO_Z);
    for (int mode : {1, 2, 3, 4}) {
        ASSERT_EQ(qd_te_cogo_curve_middle_point(two, 0.3, -0.3, mode, mid, nullptr), 1) << mode;
        EXPECT_TRUE(std::isfinite(mid[1].x));
        EXPECT_GT(mid[1].x, 0);
        EXPECT_LT(mid[1].x, 4);
    }
    GeoCoord same[] = {P(1, 1), P(1, 1)};
    EXPECT_EQ(qd_te_cogo_curve_middle_point(same, 0, 0, 0, mid, nullptr), -1);
    TeCoordArray not_two = {two, 1};
    EXPECT_EQ(qd_te_cogo_curve_two_to_three(&not_two, &three, nullptr), -2);
}

TEST(qd_te_cogo_spline, ClosestPoint) {
    std::vector<GeoCoord> pts;
    for (int i = 0; i < 7; ++i) pts.push_back(P(10 * std::cos(i * 0.3), 10 * std::sin(i * 0.3)));
    TeCoordArray curve = {pts.data(), 7};
    const GeoCoord outside = P(20 * std::cos(0.75), 20 * std::sin(0.75));
    TeNearestPoint near;
    ASSERT_EQ(qd_te_cogo_spline_closest_point(&outside, &curve, &near, nullptr), -1);
    EXPECT_EQ(near.segment_index, 2);  // 0.75 lies on the span from 0.6 to 0.9
    EXPECT_NEAR(std::hypot(near.point.x, near.point.y), 10, 0.01);
    const GeoCoord at_node = P(pts[4].x * 1.5, pts[4].y * 1.5);
    ASSERT_EQ(qd_te_cogo_spline_closest_point(&at_node, &curve, &near, nullptr), -1);
    EXPECT_EQ(near.vertex_index, 4);

    std::vector<GeoCoord> dup = pts;
    dup.insert(dup.begin() + 1, pts[1]);
    TeCoordArray d = {dup.data(), 8};
    ASSERT_EQ(qd_te_cogo_curve_closest_point(&outside, &d, &near, nullptr), -1);
    EXPECT_EQ(near.segment_index, 3);  // mapped back to the input's vertex numbers
    TeCoordArray one = {pts.data(), 1};
    ASSERT_EQ(qd_te_cogo_curve_closest_point(&outside, &one, &near, nullptr), -1);
    EXPECT_EQ(near.point.x, 10);
    TeCoordArray none = {pts.data(), 0};
    EXPECT_EQ(qd_te_cogo_curve_closest_point(&outside, &none, &near, nullptr), 0);
    GeoCoord seg[] = {P(0, 0), P(4, 0)};
    TeCoordArray two = {seg, 2};
    const GeoCoord q = P(3, 1);
    ASSERT_EQ(qd_te_cogo_curve_closest_point(&q, &two, &near, nullptr), -1);
    EXPECT_EQ(near.segment_index, 0);
    EXPECT_NEAR(near.point.x, 3, 0.03);
}

TEST(qd_te_cogo_spline, BadInput) {
    std::vector<GeoCoord> pts = {P(0, 0), P(1, 1), P(2, 0), P(3, 1)};
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        auto b = pts;
        b[2].y = bad;
        TeCoordArray curve = {b.data(), 4};
        TeSplineWork work;
        TeCoordArray out = {nullptr, 0};
        TeNearestPoint near;
        double a;
        EXPECT_EQ(qd_te_cogo_spline_setup(&curve, &work, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 4, 20, &out, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_curve_stroke_fine(&curve, 0, 4, &out, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_spline_tangent_at(&curve, 1, &a, nullptr), -2);
        EXPECT_EQ(qd_te_cogo_curve_closest_point(&pts[0], &curve, &near, nullptr), -2);
        EXPECT_EQ(out.pts, nullptr);
    }
    TeCoordArray small = {pts.data(), 2};
    TeSplineWork work;
    EXPECT_EQ(qd_te_cogo_spline_setup(&small, &work, nullptr), -2);
}

TEST(qd_te_cogo_spline, AllocationFailures) {
    auto pts = Wander(7, 9);
    TeCoordArray curve = {pts.data(), 9};
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeSplineWork work;
        const int r = qd_te_cogo_spline_setup(&curve, &work, nullptr);
        EXPECT_EQ(r, nth ? -3 : -1);
        EXPECT_EQ(work.m == nullptr, nth != 0);
        qd_te_cogo_spline_release(&work);
    });
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeCoordArray out = {nullptr, 0};
        EXPECT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 9, 90, &out, nullptr), nth ? -3 : -1);
        EXPECT_EQ(out.pts == nullptr, nth != 0);
        qd_free(out.pts);
    });
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        double a = 9;
        EXPECT_EQ(qd_te_cogo_spline_tangent_at(&curve, 4, &a, nullptr), nth ? -3 : -1);
    });
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeNearestPoint near;
        const GeoCoord p = P(600, 600);
        EXPECT_EQ(qd_te_cogo_spline_closest_point(&p, &curve, &near, nullptr), nth ? -3 : -1);
    });
    GeoCoord two[] = {P(0, 0), P(4, 0)};
    TeCoordArray bent = {two, 2, 0.2, 0.4, 3};
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeCoordArray out = {nullptr, 0};
        const int r = qd_te_cogo_curve_two_to_three(&bent, &out, nullptr);
        if (nth == 0) {
            EXPECT_EQ(r, -1);
        } else {
            EXPECT_TRUE(r == -3 || r == -2) << nth;  // -2: the middle point's stroke failed
            EXPECT_EQ(out.pts, nullptr);
        }
        qd_free(out.pts);
    });
    auto dup = pts;
    dup.insert(dup.begin() + 3, pts[3]);
    TeCoordArray d = {dup.data(), 10};
    tetest::ForEachAllocFailure([&](uint64_t nth) {
        TeCoordArray out = {nullptr, 0};
        const int r = qd_te_cogo_curve_stroke_fine(&d, 0, 10, &out, nullptr);
        // The fine stroke answers -2 when its own point storage fails.
        if (nth) {
            EXPECT_TRUE(r == -3 || r == -2) << nth;
            EXPECT_EQ(out.pts, nullptr);
        } else {
            EXPECT_EQ(r, -1);
        }
        qd_free(out.pts);
    });
}

TEST(qd_te_cogo_spline, ClosureBySetupAndByStroke) {
    // Set-up closes a curve whose ends are the same fuzzy point; strokes
    // and tangents close only exactly equal ends.
    std::vector<GeoCoord> pts = {P(0, 0), P(4, 0), P(4, 4), P(0, 4), P(5e-9, 0)};
    TeCoordArray a = {pts.data(), 5};
    TeSplineWork work;
    ASSERT_EQ(qd_te_cogo_spline_setup(&a, &work, nullptr), -1);
    EXPECT_EQ(a.end_condition, 4);
    qd_te_cogo_spline_release(&work);
    TeCoordArray b = {pts.data(), 5};
    double angle;
    ASSERT_EQ(qd_te_cogo_spline_tangent_at(&b, 2, &angle, nullptr), -1);
    EXPECT_EQ(b.end_condition, 0);
}

TEST(qd_te_cogo_spline, ClosedThroughTwoNodes) {
    // Out and back: two distinct nodes solved as a periodic curve.
    std::vector<GeoCoord> pts = {P(0, 0), P(4, 0), P(0, 0)};
    TeCoordArray curve = {pts.data(), 3};
    Stroke s;
    ASSERT_EQ(qd_te_cogo_curve_stroke(&curve, 0, 3, 21, &s.out, nullptr), -1);
    EXPECT_EQ(curve.end_condition, 4);
    ExpectThroughNodes(pts, s.out);
    // The way back retraces the way out (mirrored across the x axis, on
    // which it lies).
    const int32_t n = s.out.n;
    for (int32_t i = 0; i < n; ++i) {
        EXPECT_NEAR(s.out.pts[i].x, s.out.pts[n - 1 - i].x, 1e-12);
        EXPECT_NEAR(s.out.pts[i].y, -s.out.pts[n - 1 - i].y, 1e-12);
    }
}
