// Point rings of the buffer encoder: a circle of |width|, or with two-sided
// widths an ellipse of semi-axes |left| along x and |right| along y; the
// area of the stroked ring is within 1% of πab and every vertex lies on the
// ellipse. A negative width is refused only when the buffer option is 0.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/ktgeo_model.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

struct Enc {
    TeRules rules;
    TeKeys keys;
    TeEncoder e;
    Enc() {
        qd_te_rules_init(&rules);
        rules.mode = TE_BUFFER;
        qd_te_keys_init(&keys);
        keys.key = -1;
        keys.parent = {1, 1, 0};
        keys.tolerance.tolerance = 1e-8;
        qd_te_encode_init(&rules, &keys, &e);
    }
    ~Enc() { qd_te_encode_free(&e); }
};

double Area(const TeChain* c) {
    const auto* v = static_cast<const TeVertex*>(c->coords->data);
    double a = 0;
    for (uint32_t i = 0; i + 1 < c->coords->tally; ++i) a += v[i].x * v[i + 1].y - v[i + 1].x * v[i].y;
    return a / 2;
}

}  // namespace

TEST(qd_te_buffer_ring, PointCirclesAndEllipses) {
    struct Case {
        double width, left, right;
        int32_t two_sided;
        double a, b;
    };
    for (const Case& k : {Case{5, 0, 0, 0, 5, 5}, Case{-2, 0, 0, 0, 2, 2}, Case{1, 3, 1, 1, 3, 1},
                          Case{1, -1, 4, 1, 1, 4}}) {
        Enc t;
        t.rules.buffer.width.width = k.width;
        t.rules.buffer.width.width_left = k.left;
        t.rules.buffer.width.width_right = k.right;
        t.rules.buffer.width.two_sided = k.two_sided;
        const GeoCoord centre{10, 20, KTGEO_NO_Z};
        int32_t status = 0;
        ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &centre, &status), 1);
        ASSERT_EQ(status, 1);
        ASSERT_TRUE(t.e.chains);
        const TeChain* c = qd_te_chain_at(t.e.chains, int32_t(t.e.chains->tally) - 1);
        ASSERT_TRUE(c && c->coords && c->coords->tally > 16);
        EXPECT_EQ(c->chain_type, TE_PATH);
        const auto* v = static_cast<const TeVertex*>(c->coords->data);
        for (uint32_t i = 0; i < c->coords->tally; ++i) {
            const double dx = (v[i].x - 10) / k.a, dy = (v[i].y - 20) / k.b;
            EXPECT_NEAR(dx * dx + dy * dy, 1.0, 1e-9);
        }
        EXPECT_NEAR(v[0].x, v[c->coords->tally - 1].x, 1e-12);
        // Clockwise ring, area πab within 1%.
        EXPECT_LT(Area(c), 0);
        EXPECT_NEAR(-Area(c), M_PI * k.a * k.b, 0.01 * M_PI * k.a * k.b);
        EXPECT_EQ(t.rules.statistics.data_dim, 3);
    }
}

TEST(qd_te_buffer_ring, NegativeWidthRefusedWithOptionZero) {
    Enc t;
    t.rules.buffer.buffer_option = 0;
    t.rules.buffer.width.width = -1;
    const GeoCoord p{0, 0, KTGEO_NO_Z};
    int32_t status = 0;
    ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &p, &status), 1);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(!t.e.chains || t.e.chains->tally <= 1);
}

TEST(qd_te_buffer_ring, NullArgumentsAnswerZero) {
    Enc t;
    int32_t status = 0;
    EXPECT_EQ(qd_te_buffer_chain_node(nullptr, nullptr, &status), 0);
    EXPECT_EQ(qd_te_encode_feature_buffer(nullptr, &t.e, nullptr), 0);
    EXPECT_EQ(qd_te_buffer_output(nullptr, nullptr), 0);
    EXPECT_EQ(qd_te_buffer_dissolve_geom(nullptr, nullptr), 0);
}

namespace {
struct Seen {
    int calls = 0;
    GeoCoord min{0, 0, 0}, max{0, 0, 0};
    int32_t answer = 1;
};
int32_t Collect(SpatialObject* g, nlst*, void* user) {
    auto* s = static_cast<Seen*>(user);
    ++s->calls;
    ktgeo_so_compute_envelope(g);
    s->min = g->env_min;
    s->max = g->env_max;
    return s->answer;
}
}  // namespace

TEST(qd_te_buffer_ring, FinalSplitDissolveEmptiesTheListAndFailsWithItsOutput) {
    // Two overlapping unit circles: the final dissolve hands their union to the
    // run's own output method and leaves only the universal chain; when that
    // method fails, the dissolve fails.
    for (int32_t answer : {1, 0}) {
        Enc t;
        t.rules.mode = TE_BUFFER_SPLIT;
        t.rules.buffer.width.width = 1;
        ASSERT_EQ(qd_te_geo_chain_list_create(&t.e.chains, 8), 1);
        for (double x : {0.0, 1.0}) {
            const GeoCoord p{x, 0, KTGEO_NO_Z};
            int32_t status = 0;
            ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &p, &status), 1);
            ASSERT_EQ(status, 1);
        }
        Seen seen;
        seen.answer = answer;
        t.rules.output_method = TeOutputCallback{Collect, &seen};
        EXPECT_EQ(qd_te_buffer_output(&t.rules, t.e.chains), answer);
        EXPECT_EQ(t.e.chains->tally, 1u);
        EXPECT_EQ(seen.calls, 1);
        if (answer) {
            // One geometry spanning both circles: x from -1 to 2, y from -1 to 1.
            EXPECT_NEAR(seen.min.x, -1, 1e-9);
            EXPECT_NEAR(seen.max.x, 2, 1e-9);
            EXPECT_NEAR(seen.min.y, -1, 1e-9);
            EXPECT_NEAR(seen.max.y, 1, 1e-9);
        }
    }
}
