// Ellipses: radius in a direction, inside test, elliptical offsets, and
// the stroking of arcs and whole ellipses.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/qd_nlst.h"
#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {
constexpr double kPi = 3.141592653589793;

const GeoCoord* At(const nlst* l, uint32_t i) { return static_cast<const GeoCoord*>(nlst_index(l, i)); }
}  // namespace

TEST(qd_te_cogo_ellipse, RadiusAndInside) {
    const GeoCoord c = P(1, 1), east = P(5, 1), north = P(1, 3), diag = P(2, 2);
    EXPECT_NEAR(qd_te_cogo_ellipse_radius(&c, &east, 2, 1, nullptr), 2, 1e-15);
    EXPECT_NEAR(qd_te_cogo_ellipse_radius(&c, &north, -2, 1, nullptr), 1, 1e-15);
    // On the ellipse x = 2 cos t, y = sin t with x = y: r = 2/sqrt(5) * sqrt(2).
    EXPECT_NEAR(qd_te_cogo_ellipse_radius(&c, &diag, 2, 1, nullptr), 2 * std::sqrt(2.0 / 5), 1e-15);
    EXPECT_EQ(qd_te_cogo_ellipse_radius(&c, &c, 2, 1, nullptr), 0);
    const GeoCoord o = P(0, 0), in = P(1.9, 0), out = P(0, 1.1), rim = P(2, 0);
    EXPECT_EQ(qd_te_cogo_point_in_ellipse(&in, &o, 2, 1, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_point_in_ellipse(&out, &o, 2, 1, nullptr), 0);
    EXPECT_EQ(qd_te_cogo_point_in_ellipse(&rim, &o, 2, 1, nullptr), 1);
    EXPECT_EQ(qd_te_cogo_point_in_ellipse(&o, &o, 2, 1, nullptr), 1);
}

TEST(qd_te_cogo_ellipse, Offsets) {
    const GeoCoord p = P(0, 0, 5), q = P(1, 0);
    GeoCoord out;
    GeoCoord* r = qd_te_cogo_ellipse_point_toward(&q, &p, &out, 2, 3, nullptr);
    EXPECT_EQ(r, &out);
    EXPECT_POINT(out, 2, 0, 0);
    qd_te_cogo_ellipse_point_toward(&p, &p, &out, 2, 3, nullptr);
    EXPECT_EQ(out.z, 5);
    // To the right of +x by (2, 3): onto (0, -3).
    ASSERT_EQ(qd_te_cogo_ellipse_offset_point(&p, &q, 0, 0, 2, 3, &out, nullptr), -1);
    EXPECT_POINT(out, 0, -3, 1e-15);
    const GeoCoord up = P(0, 1);
    ASSERT_EQ(qd_te_cogo_ellipse_offset_point(&p, &up, 0, 0, 2, 3, &out, nullptr), -1);
    EXPECT_POINT(out, 2, 0, 1e-15);
    EXPECT_EQ(qd_te_cogo_ellipse_offset_point(&p, &p, 0, 0, 2, 3, &out, nullptr), 0);

    const GeoCoord seg[2] = {P(0, 0), P(4, 0)};
    GeoCoord moved[2];
    ASSERT_EQ(qd_te_cogo_ellipse_offset_segment(seg, 2, 3, 0, 0, moved, nullptr), -1);
    EXPECT_POINT(moved[0], 0, -3, 1e-15);
    EXPECT_POINT(moved[1], 4, -3, 1e-15);
    ASSERT_EQ(qd_te_cogo_ellipse_offset_segment(seg, 0, 3, 0, 0, moved, nullptr), -1);
    EXPECT_EQ(moved[1].x, 4);
    const GeoCoord dot[2] = {P(0, 0), P(0, 0)};
    EXPECT_EQ(qd_te_cogo_ellipse_offset_segment(dot, 2, 3, 0, 0, moved, nullptr), -2);
}

TEST(qd_te_cogo_ellipse, HalfCircleMode1) {
    const GeoCoord c = P(0, 0), s = P(1, 0), m = P(0, 1), e = P(-1, 0);
    nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &s, &e, &m, 1, 1, 64, 1, nullptr);
    ASSERT_NE(l, nullptr);
    const double step = 2 * kPi / 76;  // 2 pi / 64 is coarser than 1/12
    ASSERT_EQ(nlst_tally(l), 39u);
    for (uint32_t i = 0; i < 38; ++i) {
        EXPECT_POINT(*At(l, i), std::cos(i * step), std::sin(i * step), 1e-12);
        EXPECT_GE(At(l, i)->y, 0);
    }
    EXPECT_EQ(At(l, 38)->x, -1);
    EXPECT_EQ(At(l, 0)->x, 1);
    nlst_free(l);
}

TEST(qd_te_cogo_ellipse, WholeEllipse) {
    const GeoCoord c = P(10, 20), m = P(0, 0);
    for (auto [a, b] : {std::pair{3.0, 2.0}, std::pair{1.0, 4.0}}) {
        // Start anywhere on the ellipse: the ring starts at (cx + a, cy).
        const GeoCoord s = P(c.x, c.y - b, 7);
        nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &s, &s, &m, a, b, 40, 1, nullptr);
        ASSERT_NE(l, nullptr);
        ASSERT_EQ(nlst_tally(l), 41u);
        EXPECT_POINT(*At(l, 0), c.x + a, c.y, 0);
        EXPECT_POINT(*At(l, 40), c.x + a, c.y, 0);
        for (uint32_t i = 0; i < 41; ++i) {
            const GeoCoord& p = *At(l, i);
            const double u = (p.x - c.x) / a, v = (p.y - c.y) / b;
            EXPECT_NEAR(u * u + v * v, 1, 1e-12);
            EXPECT_EQ(p.z, 7);
        }
        EXPECT_LT(At(l, 1)->y, c.y);  // clockwise
        nlst_free(l);
    }
}

TEST(qd_te_cogo_ellipse, ArcStrokes) {
    const GeoCoord c = P(0, 0);
    // A very short arc still gets three steps (mode 0 takes twice the count).
    const double t = 1e-3;
    const GeoCoord s = P(1, 0, 0), e = P(std::cos(t), std::sin(t), 3),
                   m = P(std::cos(t / 2), std::sin(t / 2));
    for (int mode : {1, 2}) {
        nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &s, &e, &m, 1, 1, 16, mode, nullptr);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(nlst_tally(l), 4u) << mode;
        EXPECT_NEAR(At(l, 1)->z, 1, 1e-12);  // Z in equal increments
        EXPECT_EQ(At(l, 3)->z, 3);
        nlst_free(l);
    }
    // Clockwise: from (0, 1) down to (1, 0) through the first quadrant.
    const GeoCoord n = P(0, 1), east = P(1, 0), mid = P(std::sqrt(0.5), std::sqrt(0.5));
    nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &n, &east, &mid, 1, 1, 8, 0, nullptr);
    ASSERT_NE(l, nullptr);
    ASSERT_GT(nlst_tally(l), 3u);
    for (uint32_t i = 1; i < nlst_tally(l); ++i) {
        EXPECT_LT(At(l, i)->y, At(l, i - 1)->y);
        EXPECT_NEAR(std::hypot(At(l, i)->x, At(l, i)->y), 1, 1e-12);
    }
    nlst_free(l);
    const GeoCoord bad = P(NAN, 0);
    EXPECT_EQ(qd_te_cogo_stroke_ellipse_arc(&c, &bad, &east, &mid, 1, 1, 8, 0, nullptr), nullptr);

    tetest::ForEachAllocFailure([&](uint64_t nth) {
        nlst* r = qd_te_cogo_stroke_ellipse_arc(&c, &n, &east, &mid, 1, 1, 8, 0, nullptr);
        if (nth) {
            EXPECT_EQ(r, nullptr) << nth;
        }
        if (r) nlst_free(r);
    });
}

TEST(qd_te_cogo_ellipse, ZeroSweep) {
    // Start and end on one ray from the centre: no sweep, the two ends.
    const GeoCoord c = P(0, 0), s = P(1, 0), e = P(2, 0), m = P(1.5, 0);
    for (int mode : {0, 1, 2}) {
        nlst* l = qd_te_cogo_stroke_ellipse_arc(&c, &s, &e, &m, 1, 1, 8, mode, nullptr);
        ASSERT_NE(l, nullptr);
        ASSERT_EQ(nlst_tally(l), 2u);
        EXPECT_EQ(At(l, 1)->x, 2);
        nlst_free(l);
    }
}
