// DISTANCE: the nearest pair against brute force over separated features,
// the farthest vertex pair with MAX, a touching pair after a farther one,
// and a chain shared by two features.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

using namespace tetest;

namespace {

struct Out {
    std::vector<std::vector<GeoCoord>> objects;
    static int32_t On(SpatialObject* so, nlst*, void* self) {
        std::vector<GeoCoord> pts;
        for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i)
            pts.push_back(static_cast<const GeometricPrimitive*>(so->primitives->data)[i].geom.point.coord);
        static_cast<Out*>(self)->objects.push_back(pts);
        return 1;
    }
};

TeRules Rules(Out* out, int32_t features, int32_t secondary = 45) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = TE_DISTANCE;
    r.secondary = secondary;
    r.output_method = {&Out::On, out};
    r.statistics.tallies[1] = features;
    return r;
}

// Distance from p to the segment ab (independent of the engine).
double PointSegment(const GeoCoord& p, const GeoCoord& a, const GeoCoord& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = dx * dx + dy * dy;
    double t = len > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len : 0;
    t = std::fmax(0, std::fmin(1, t));
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

TeChain Path(const std::vector<GeoCoord>& pts, int32_t feature) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = pts.size() == 2 ? TE_LINE : TE_PATH;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 0, 0);
    c.chain_pid = feature;
    AddParent(c, 0, feature);
    return c;
}

}  // namespace

TEST(qd_te_distance, NearestAndFarthestAgainstBruteForce) {
    std::mt19937 rng(3939);
    for (int round = 0; round < 40; ++round) {
        const int nf = 2 + round % 3;
        std::vector<std::vector<GeoCoord>> feats;
        Chains chains;
        std::uniform_real_distribution<double> u(0, 1);
        for (int f = 0; f < nf; ++f) {
            // Feature f lives in the band x in [3f, 3f + 2]: no crossings.
            std::vector<GeoCoord> pts;
            for (int k = 0; k < 2 + round % 5; ++k) pts.push_back(Q(3 * f + 2 * u(rng), 10 * u(rng)));
            feats.push_back(pts);
            chains.Add(Path(pts, f + 1));
        }
        double nearest = INFINITY, farthest = 0;
        for (int f = 0; f < nf; ++f)
            for (int g = f + 1; g < nf; ++g) {
                const auto &A = feats[size_t(f)], &B = feats[size_t(g)];
                for (size_t i = 0; i + 1 < A.size(); ++i)
                    for (size_t j = 0; j + 1 < B.size(); ++j)
                        nearest = std::fmin(nearest, std::fmin(std::fmin(PointSegment(A[i], B[j], B[j + 1]), PointSegment(A[i + 1], B[j], B[j + 1])),
                                                               std::fmin(PointSegment(B[j], A[i], A[i + 1]), PointSegment(B[j + 1], A[i], A[i + 1]))));
                for (const auto& a : A)
                    for (const auto& b : B) farthest = std::fmax(farthest, std::hypot(a.x - b.x, a.y - b.y));
            }
        for (int32_t secondary : {int32_t(45), int32_t(TE_MAX)}) {
            Out out;
            TeRules r = Rules(&out, nf, secondary);
            ASSERT_EQ(qd_te_output_distance(chains.list, &r), 1);
            ASSERT_EQ(out.objects.size(), 1u) << round;
            ASSERT_EQ(out.objects[0].size(), 2u);
            const GeoCoord a = out.objects[0][0], b = out.objects[0][1];
            const double d = std::hypot(a.x - b.x, a.y - b.y);
            const double want = secondary == TE_MAX ? farthest : nearest;
            EXPECT_NEAR(d, want, 1e-9 * want) << round << " " << secondary;
            // Each point lies on some feature.
            for (const GeoCoord& p : {a, b}) {
                double on = INFINITY;
                for (const auto& F : feats)
                    for (size_t i = 0; i + 1 < F.size(); ++i) on = std::fmin(on, PointSegment(p, F[i], F[i + 1]));
                EXPECT_LT(on, 1e-9) << round;
            }
        }
    }
}

TEST(qd_te_distance, TouchingAfterFartherAndSharedChain) {
    // Features 1 and 2 are 5 apart; 2 and 3 touch at (10, 0).
    Chains chains;
    chains.Add(Path({Q(0, 0), Q(0, 5)}, 1));
    chains.Add(Path({Q(5, 0), Q(10, 0)}, 2));
    chains.Add(Path({Q(10, 0), Q(12, 3)}, 3));
    Out out;
    TeRules r = Rules(&out, 3);
    ASSERT_EQ(qd_te_output_distance(chains.list, &r), 1);
    ASSERT_EQ(out.objects.size(), 1u);
    EXPECT_EQ(out.objects[0][0].x, out.objects[0][1].x);
    EXPECT_EQ(out.objects[0][0].y, out.objects[0][1].y);
    EXPECT_EQ(r.statistics.measures[2], 0);
    // A chain of two features: its start written twice, distance 0.
    Chains shared;
    TeChain c = Path({Q(1, 2), Q(3, 4)}, 1);
    AddParent(c, 1, 2);
    shared.Add(c);
    shared.Add(Path({Q(9, 9), Q(9, 12)}, 2));
    Out out2;
    TeRules s = Rules(&out2, 2);
    ASSERT_EQ(qd_te_output_distance(shared.list, &s), 1);
    ASSERT_EQ(out2.objects.size(), 1u);
    ASSERT_EQ(out2.objects[0].size(), 2u);
    EXPECT_EQ(out2.objects[0][0].x, 1);
    EXPECT_EQ(out2.objects[0][1].y, 2);
    FailLog log;
    EXPECT_EQ(qd_te_output_distance(shared.list, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_output_distance"));
}
