// Hostile numbers: lines as deep as they are long on a small stack, label
// scans whose step cannot move x, and strokes of huge or NaN coordinates.
// These cases matter most in the sanitizer build.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "geo_test_util.h"
#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_path.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/qd_cogo.h"

using geotest::C;
using geotest::Coords;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::List;
using geotest::Object;
using geotest::Path;
using geotest::Polygon;
using geotest::StdoutCapture;

namespace {

// Runs fn(arg) on a thread with a stack of the given size and waits for it.
void RunOnSmallStack(size_t stack_bytes, void* (*fn)(void*), void* arg) {
    pthread_attr_t attr;
    ASSERT_EQ(pthread_attr_init(&attr), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, stack_bytes), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, fn, arg), 0);
    pthread_attr_destroy(&attr);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
}

// The range step as plainly recursive Douglas-Peucker.
void ReferenceRange(const std::vector<GeoCoord>& p, std::vector<int32_t>& marks, double tol,
                    uint32_t f, uint32_t l, int mode) {
    uint32_t far = f;
    double far_d = -1;
    for (uint32_t i = f + 1; i < l; ++i) {
        const double d = mode ? qd_cogo_point_segment_distance_3d(&p[i], &p[f], &p[l])
                              : qd_cogo_point_segment_distance_2d(&p[i], &p[f], &p[l]);
        if (d > far_d) far_d = d, far = i;
    }
    if (far_d < tol) {
        for (uint32_t i = f + 1; i < l; ++i) marks[i] = 1;
        return;
    }
    if (far > f + 1) ReferenceRange(p, marks, tol, f, far, mode);
    if (far + 1 < l) ReferenceRange(p, marks, tol, far, l, mode);
}

struct Zigzag {
    nlst* line;
    uint32_t kept;
};

}  // namespace

TEST(ktgeo_robust, GeneralisingAZigzagNeedsNoDeepStack) {
    // x = i, y = (-1)^i i: the farthest point from every chord is the one
    // next to its end, so the split ranges are as deep as the line is long.
    constexpr uint32_t n = 20000;
    Zigzag z{ktgeo_coord_list_alloc(n), 0};
    for (uint32_t i = 0; i < n; ++i) {
        const GeoCoord c = C(i, (i % 2 ? -1.0 : 1.0) * i);
        ktgeo_coord_list_add(z.line, &c);
    }
    RunOnSmallStack(256 * 1024,
                    [](void* arg) -> void* {
                        Zigzag* zz = static_cast<Zigzag*>(arg);
                        nlst* out = qd_cogo_generalize_2d(zz->line, 1.0);
                        zz->kept = out ? out->tally : 0;
                        if (out) nlst_free(out);
                        return nullptr;
                    },
                    &z);
    EXPECT_EQ(z.kept, n);
    nlst_free(z.line);
}

TEST(ktgeo_robust, GeneraliseRangeMarksEqualTheRecursiveOnes) {
    std::mt19937 rng(17);
    std::normal_distribution<double> step(0, 1);
    for (int trial = 0; trial < 300; ++trial) {
        const uint32_t n = 3 + trial % 60;
        std::vector<GeoCoord> p{C(0, 0, 0)};
        for (uint32_t i = 1; i < n; ++i)
            p.push_back(C(p.back().x + step(rng), p.back().y + step(rng), p.back().z + step(rng)));
        const int mode = trial % 2;
        const double tol = 0.2 + 0.1 * (trial % 20);
        std::vector<int32_t> got(n, 0), want(n, 0);
        ASSERT_EQ(qd_cogo_generalize_range(p.data(), got.data(), tol, 0, n - 1, mode), 1);
        ReferenceRange(p, want, tol, 0, n - 1, mode);
        EXPECT_EQ(got, want) << "trial " << trial;
    }
}

TEST(ktgeo_robust, LabelScanEndsWhenTheStepCannotMoveX) {
    // x extent of four ulps at 1e8; a C opening toward -x, so the scan row
    // starts outside, in the notch.
    double x[5] = {1e8};
    for (int i = 1; i < 5; ++i) x[i] = std::nextafter(x[i - 1], 2e8);
    Object o;
    o.AddPolygon(Polygon(Path({Curve({C(x[0], 0), C(x[4], 0), C(x[4], 3), C(x[0], 3),
                                      C(x[0], 2.5), C(x[3], 2.5), C(x[3], 0.5), C(x[0], 0.5),
                                      C(x[0], 0)})})));
    ktgeo_so_complete(&o.so);
    const GeoPolygon& poly = o.Primitive(0)->geom.polygon;
    EXPECT_EQ(poly.valid, 1);
    EXPECT_GE(poly.label.x, x[0]);
    EXPECT_LE(poly.label.x, x[4]);
    EXPECT_GE(poly.label.y, 0.0);
    EXPECT_LE(poly.label.y, 3.0);
}

TEST(ktgeo_robust, StrokingHugeAndNaNCoordinatesReturns) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        GeoCoord a, b, c;
    } cases[] = {
        {"1e300", C(0, 0), C(1e300, 1e300), C(2e300, 0)},
        {"near the largest double", C(-1.7e308, 0), C(0, 1.7e308), C(1.7e308, 0)},
        {"NaN", C(0, 0), C(nan, 1), C(2, 0)},
        {"infinity", C(0, 0), C(1, inf), C(2, 0)},
        {"full circle of 1e300", C(1e300, 0), C(0, 0), C(1e300, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailRecorder rec;
        StdoutCapture out;
        List arc(qd_cogo_stroke_arc(&c.a, &c.b, &c.c, 64));
        if (arc) {
            EXPECT_LE(arc->tally, 64u * 2);
        }
        List three(Coords({c.a, c.b, c.c}));
        List spline(qd_cogo_stroke_spline(three.get(), nullptr, 64));
        if (spline) {
            EXPECT_LE(spline->tally, 3u * 65 + 1);
        }
        GeoTangents t = {3, C(c.a.x, c.a.y + 1), C(c.c.x + 1, c.c.y)};
        List two(Coords({c.a, c.c}));
        List bent(qd_cogo_stroke_spline(two.get(), &t, 64));

        // The whole object pipeline: checks, strokes, envelope, labels.
        Object o;
        o.AddCurve(Curve({c.a, c.b, c.c}, KTGEO_CIRCULAR_ARC));
        o.AddCurve(Curve({c.a, c.b, c.c}, KTGEO_KT_CURVE));
        o.AddPolygon(Polygon(Path({Curve({c.a, c.b, c.c, c.a})})));
        ktgeo_so_complete(&o.so);
    }
}

TEST(ktgeo_robust, SortsOverNaNCoordinatesStayInBounds) {
    // Every third coordinate NaN: the sorts of curve ends, of segments in
    // the self-intersection sweep and of the line crossing test need a
    // total order to stay within their arrays.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<GeoCoord> line;
    for (int i = 0; i < 200; ++i)
        line.push_back(i % 3 == 0 ? C(nan, i % 7) : C((i * 37) % 101, (i * 53) % 97));
    FailRecorder rec;
    StdoutCapture out;

    GeoPath path;
    ktgeo_path_init(&path);
    path.curves = ktgeo_curve_list_new(nullptr);
    for (size_t i = 0; i + 1 < line.size(); i += 2) {
        GeoCurve c = Curve({line[i], line[i + 1]});
        nlst_add(path.curves, &c);
    }
    EXPECT_EQ(ktgeo_curve_sort(&path), 1);
    EXPECT_EQ(path.curves->tally, 100u);
    ktgeo_path_release(&path, nullptr);

    List list(ktgeo_coord_list_from_array(line.data(), uint32_t(line.size())));
    int crosses = -1;
    EXPECT_EQ(qd_cogo_line_self_crossing(list.get(), &crosses), 1);
    TeIntersectionList found = {0, 0, nullptr};
    const int r = qd_te_cogo_self_intersections_nlst(list.get(), &found, 0, nullptr);
    EXPECT_TRUE(r == 0 || r == 1);
    qd_te_cogo_intersection_list_free(&found);
}
