// Boundary curves of output polygons on hand-built faces: orientation and
// start of a square's ring, reconnection, circles, arcs never merged,
// cutter chains left out of unclosed results, a dangle delivered once,
// a chain kind without a curve form.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/topology/output/te_poly_util.h"

using tepoly::Graph;
using tepoly::Q;
using tepoly::Recorder;

namespace {

using Points = std::vector<std::pair<double, double>>;

Points PointsOf(const GeoCurve& c) {
    Points p;
    for (uint32_t i = 0; c.coords && i < c.coords->tally; ++i) {
        const auto* q = static_cast<const GeoCoord*>(nlst_index(c.coords, i));
        p.push_back({q->x, q->y});
    }
    return p;
}

struct CurveList {
    nlst* list = nullptr;
    ~CurveList() {
        if (list) ktgeo_curve_list_free(list);
    }
    uint32_t size() const { return list ? list->tally : 0; }
    const GeoCurve& operator[](uint32_t i) const { return *static_cast<const GeoCurve*>(nlst_index(list, i)); }
};

// The unit square of four LINE chains stored counter-clockwise, so that
// its bounded face lies on their left: 1 (0,0)-(1,0), 2 (1,0)-(1,1),
// 3 (1,1)-(0,1), 4 (0,1)-(0,0). Answers the bounded face.
int32_t Square(Graph& g) {
    const int32_t a = g.Chain(TE_LINE, {Q(0, 0), Q(1, 0)});
    const int32_t b = g.Chain(TE_LINE, {Q(1, 0), Q(1, 1)});
    const int32_t c = g.Chain(TE_LINE, {Q(1, 1), Q(0, 1)});
    const int32_t d = g.Chain(TE_LINE, {Q(0, 1), Q(0, 0)});
    const int32_t face = g.Face({a, d, c, b}, 1);
    g.Island(1, g.Face({-a, -b, -c, -d}, -1));
    return face;
}

}  // namespace

TEST(qd_te_poly_ff_curves, SquareReconnectedOrApart) {
    // Reconnected: one closed polyline, clockwise, from the start chain's
    // first point; apart: four polylines in walk order, the start last.
    const struct {
        int32_t reconnect;
        std::vector<Points> want;
    } cases[] = {
        {1, {{{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}}},
        {0, {{{0, 0}, {0, 1}}, {{0, 1}, {1, 1}}, {{1, 1}, {1, 0}}, {{1, 0}, {0, 0}}}},
    };
    for (const auto& k : cases) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        const int32_t face = Square(g);
        CurveList curves;
        ASSERT_EQ(qd_te_output_walk_curves(g.P(face), &curves.list, g.chains.list, &r, k.reconnect), 1);
        ASSERT_EQ(curves.size(), k.want.size()) << k.reconnect;
        for (uint32_t i = 0; i < curves.size(); ++i) {
            EXPECT_EQ(curves[i].curve_type, KTGEO_POLYLINE);
            EXPECT_EQ(PointsOf(curves[i]), k.want[i]) << k.reconnect << " curve " << i;
        }
        EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_LINES], 4);
        EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_COORDS], 8);
        EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_SEGMENTS], 4);
    }
}

TEST(qd_te_poly_ff_curves, CircleIsAnArcThroughItsCentre) {
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_SINGLE);
    const int32_t c = g.Chain(TE_CIRCLE, {Q(10, 10)});
    g.C(c)->radius = 2;
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    ASSERT_EQ(qd_te_create_new_curve(&r, g.C(c), &curve, 1), 1);
    EXPECT_EQ(curve.curve_type, KTGEO_CIRCULAR_ARC);
    EXPECT_EQ(PointsOf(curve), (Points{{8, 10}, {10, 10}, {8, 10}}));
    EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_CIRCLES], 1);
    ktgeo_curve_release(&curve, nullptr);
}

TEST(qd_te_poly_ff_curves, ArcThenLineNeverMerged) {
    // A half disc: the arc (0,0) (1,1) (2,0) over the line back to (0,0).
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_SINGLE);
    const int32_t arc = g.Chain(TE_ARC, {Q(0, 0), Q(1, 1), Q(2, 0)});
    const int32_t line = g.Chain(TE_LINE, {Q(2, 0), Q(0, 0)});
    const int32_t face = g.Face({-arc, -line}, 1.5);
    CurveList curves;
    ASSERT_EQ(qd_te_output_walk_curves(g.P(face), &curves.list, g.chains.list, &r, 1), 1);
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[0].curve_type, KTGEO_POLYLINE);
    EXPECT_EQ(PointsOf(curves[0]), (Points{{2, 0}, {0, 0}}));
    EXPECT_EQ(curves[1].curve_type, KTGEO_CIRCULAR_ARC);
    EXPECT_EQ(PointsOf(curves[1]), (Points{{0, 0}, {1, 1}, {2, 0}}));
    // Two polylines meeting within 1e-10 merge; an arc with a polyline never.
    GeoCurve p1, p2;
    ktgeo_curve_init(&p1);
    ktgeo_curve_init(&p2);
    ASSERT_EQ(qd_te_create_new_curve(&r, g.C(line), &p1, 1), 1);
    ASSERT_EQ(qd_te_create_new_curve(&r, g.C(arc), &p2, 1), 1);
    int32_t merged = 1;
    ASSERT_EQ(qd_te_output_merge_curves(&p1, &p2, &merged), 1);
    EXPECT_EQ(merged, 0);
    ktgeo_curve_release(&p1, nullptr);
    ktgeo_curve_release(&p2, nullptr);
}

TEST(qd_te_poly_ff_curves, UnclosedResultsLeaveCutterChainsOutAndDanglesTwice) {
    // SPLIT: an unclosed square whose chain 2 belongs to a cutter gives the
    // other three chains only.
    {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SPLIT);
        const int32_t face = Square(g);
        g.P(face)->status = 0;
        g.C(2)->chain_lookup = 0;
        CurveList curves;
        ASSERT_EQ(qd_te_output_walk_curves(g.P(face), &curves.list, g.chains.list, &r, 1), 1);
        ASSERT_EQ(curves.size(), 2u);
        EXPECT_EQ(PointsOf(curves[0]), (Points{{0, 0}, {0, 1}, {1, 1}}));
        EXPECT_EQ(PointsOf(curves[1]), (Points{{1, 0}, {0, 0}}));
    }
    // A dangle from (1,1) to (2,2) passed on both sides is delivered once.
    for (int32_t reconnect : {0, 1}) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        const int32_t a = g.Chain(TE_LINE, {Q(0, 0), Q(1, 0)});
        const int32_t b = g.Chain(TE_LINE, {Q(1, 0), Q(1, 1)});
        const int32_t c = g.Chain(TE_LINE, {Q(1, 1), Q(0, 1)});
        const int32_t d = g.Chain(TE_LINE, {Q(0, 1), Q(0, 0)});
        const int32_t e = g.Chain(TE_LINE, {Q(1, 1), Q(2, 2)});
        const int32_t face = g.Face({a, d, c, -e, e, b}, 1, 0);
        CurveList curves;
        ASSERT_EQ(qd_te_output_walk_curves(g.P(face), &curves.list, g.chains.list, &r, reconnect), 1);
        const std::vector<Points> want =
            reconnect ? std::vector<Points>{{{0, 0}, {0, 1}, {1, 1}, {2, 2}}, {{1, 1}, {1, 0}, {0, 0}}}
                      : std::vector<Points>{{{0, 0}, {0, 1}}, {{0, 1}, {1, 1}}, {{1, 1}, {2, 2}}, {{1, 1}, {1, 0}},
                                            {{1, 0}, {0, 0}}};
        ASSERT_EQ(curves.size(), want.size()) << reconnect;
        for (uint32_t i = 0; i < curves.size(); ++i) EXPECT_EQ(PointsOf(curves[i]), want[i]) << reconnect << " " << i;
    }
}

TEST(qd_te_poly_ff_curves, RefusalsAndKindsWithoutCurveForm) {
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_SINGLE);
    const int32_t region = g.Chain(TE_REGION, {Q(0, 0), Q(1, 0), Q(1, 1), Q(0, 0)});
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    EXPECT_EQ(qd_te_create_new_curve(&r, g.C(region), &curve, 1), 0);
    EXPECT_EQ(rec.errors, (std::vector<int32_t>{-5}));
    ktgeo_curve_release(&curve, nullptr);
    EXPECT_EQ(qd_te_create_new_curve(&r, nullptr, &curve, 1), 0);
    EXPECT_EQ(qd_te_output_add_new_curve_to_geom(nullptr, nullptr), 0);
    int32_t merged = 0;
    EXPECT_EQ(qd_te_output_merge_curves(nullptr, &curve, &merged), 0);
    // A polygon on neither side of its start chain cannot be walked.
    const int32_t face = Square(g);
    g.P(face)->start_chain = region;
    nlst* curves = nullptr;
    EXPECT_EQ(qd_te_output_walk_curves(g.P(face), &curves, g.chains.list, &r, 1), 0);
    EXPECT_EQ(curves, nullptr);
}
