// Transform fitting from point pairs and its application.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {

std::vector<GeoCoord> Map(const std::vector<GeoCoord>& src, const TeAffine& t) {
    std::vector<GeoCoord> out(src.size());
    for (size_t i = 0; i < src.size(); ++i) qd_te_cogo_apply_transform(&t, &src[i], &out[i]);
    return out;
}

void ExpectAffine(const TeAffine& got, const TeAffine& want, double eps) {
    EXPECT_NEAR(got.a00, want.a00, eps);
    EXPECT_NEAR(got.a01, want.a01, eps);
    EXPECT_NEAR(got.tx, want.tx, eps);
    EXPECT_NEAR(got.a10, want.a10, eps);
    EXPECT_NEAR(got.a11, want.a11, eps);
    EXPECT_NEAR(got.ty, want.ty, eps);
}

const std::vector<GeoCoord> kTriangle = {P(0, 0), P(4, 0), P(1, 3), P(2, 5)};
const TeAffine kIdentity = {1, 0, 0, 0, 1, 0};

}  // namespace

TEST(qd_te_cogo_fit, IdentityRotationSimilarityAffine) {
    for (int type : {3, 4, 6}) {
        double sx = 1, sy = 0;
        TeAffine t;
        ASSERT_EQ(qd_te_cogo_fit_transform(type, 0, 4, kTriangle.data(), kTriangle.data(), &sx,
                                           &sy, &t),
                  1)
            << type;
        ExpectAffine(t, kIdentity, 1e-14);
        EXPECT_NEAR(sx, 1, 1e-14);
        EXPECT_NEAR(sy, 1, 1e-14);
    }
    const double c = std::cos(0.5), s = std::sin(0.5);
    // A similarity: rotation by 0.5, scale 2, shift (10, -3).
    const TeAffine sim = {2 * c, -2 * s, 10, 2 * s, 2 * c, -3};
    const auto moved = Map(kTriangle, sim);
    double sx = 9, sy;
    TeAffine t;
    ASSERT_EQ(qd_te_cogo_fit_transform(4, 0, 4, kTriangle.data(), moved.data(), &sx, &sy, &t), 1);
    ExpectAffine(t, sim, 1e-13);
    EXPECT_NEAR(sx, 2, 1e-13);
    // Type 3 keeps the scale it is given.
    sx = 1;
    ASSERT_EQ(qd_te_cogo_fit_transform(3, 0, 4, kTriangle.data(), moved.data(), &sx, &sy, &t), 1);
    EXPECT_NEAR(t.a00, c, 1e-13);
    EXPECT_NEAR(t.a10, s, 1e-13);
    EXPECT_NEAR(sx, 1, 1e-13);
    // A general affine transform is recovered by type 6.
    const TeAffine shear = {1.5, 0.3, 2, -0.2, 0.7, 1};
    const auto sheared = Map(kTriangle, shear);
    ASSERT_EQ(qd_te_cogo_fit_transform(6, 0, 4, kTriangle.data(), sheared.data(), &sx, &sy, &t), 1);
    ExpectAffine(t, shear, 1e-13);
    // Two pairs with type 6: a similarity.
    ASSERT_EQ(qd_te_cogo_fit_transform(6, 0, 2, kTriangle.data(), moved.data(), &sx, &sy, &t), 1);
    ExpectAffine(t, sim, 1e-13);
}

TEST(qd_te_cogo_fit, Reflection) {
    std::vector<GeoCoord> mirror;
    for (const GeoCoord& p : kTriangle) mirror.push_back(P(-p.x, p.y));
    double sx, sy;
    TeAffine t;
    ASSERT_EQ(qd_te_cogo_fit_transform(4, 0, 4, kTriangle.data(), mirror.data(), &sx, &sy, &t), -1);
    ExpectAffine(t, {-1, 0, 0, 0, 1, 0}, 1e-14);
    EXPECT_EQ(qd_te_cogo_fit_transform(4, 1, 4, kTriangle.data(), mirror.data(), &sx, &sy, &t), 1);
    EXPECT_EQ(qd_te_cogo_fit_transform(6, 0, 4, kTriangle.data(), mirror.data(), &sx, &sy, &t), -1);
    ExpectAffine(t, {-1, 0, 0, 0, 1, 0}, 1e-14);
}

TEST(qd_te_cogo_fit, Refusals) {
    const std::vector<GeoCoord> line = {P(0, 0), P(1, 1), P(2, 2), P(5, 5)};
    const std::vector<GeoCoord> same = {P(3, 3), P(3, 3), P(3, 3), P(3, 3)};
    const std::vector<GeoCoord> twin = {P(1, 1), P(1, 1)};
    struct {
        int type;
        int32_t n;
        const GeoCoord *src, *dst;
    } cases[] = {
        {3, 4, line.data(), kTriangle.data()},  // collinear sources
        {4, 4, line.data(), kTriangle.data()},
        {6, 4, line.data(), kTriangle.data()},
        {3, 2, kTriangle.data(), kTriangle.data()},  // too few
        {4, 1, kTriangle.data(), kTriangle.data()},
        {5, 4, kTriangle.data(), kTriangle.data()},
        {4, 2, twin.data(), kTriangle.data()},  // coincident sources
        {6, 2, twin.data(), kTriangle.data()},
        {3, 4, kTriangle.data(), same.data()},  // every target the same
    };
    for (const auto& k : cases) {
        double sx = 1, sy = 1;
        TeAffine t = {7, 7, 7, 7, 7, 7};
        EXPECT_EQ(qd_te_cogo_fit_transform(k.type, 0, k.n, k.src, k.dst, &sx, &sy, &t), 0)
            << k.type << " " << k.n;
        EXPECT_EQ(t.a00, 7);
    }
}

TEST(qd_te_cogo_fit, NarrowData) {
    // Points 0.01 wide (a hundredth of a degree) fit as well as wide ones.
    std::vector<GeoCoord> src;
    for (int i = 0; i < 5; ++i)
        src.push_back(P(10 + 0.01 * (i % 3) / 2, 50 + 0.01 * (i * 7 % 5) / 4));
    const TeAffine shear = {1.5, 0.3, 2, -0.2, 0.7, 1};
    const auto dst = Map(src, shear);
    double sx, sy;
    TeAffine t;
    ASSERT_EQ(qd_te_cogo_fit_transform(6, 0, 5, src.data(), dst.data(), &sx, &sy, &t), 1);
    ExpectAffine(t, shear, 1e-6);
    GeoCoord back;
    const GeoCoord q = P(10.003, 50.004, 4);
    qd_te_cogo_apply_transform(&t, &q, &back);
    GeoCoord want;
    qd_te_cogo_apply_transform(&shear, &q, &want);
    EXPECT_POINT(back, want.x, want.y, 1e-10);
    EXPECT_EQ(back.z, 4);
}
