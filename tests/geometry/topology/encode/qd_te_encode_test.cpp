// Chain encoders: primitives into chains, checked by type, direction,
// parent side and vertex tolerances against the documented cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/te_test_encoder.h"

using geotest::C;

namespace {

struct Enc : TeTestEncoder {
    explicit Enc(int32_t clip_output = 0)
        : TeTestEncoder(TE_ALL, [clip_output](TeRules& r, TeKeys& k) {
              r.clip_output = clip_output;
              k.tolerance.snap_outer = 0.5;
              k.tolerance.snap_inner = 0.25;
          }) {}
    int32_t Encode(GeometricPrimitive* p) {
        int32_t status = 0;
        EXPECT_EQ(qd_te_encode_feature_primitive(p, &e, &status, &rules), 1);
        return status;
    }
    int32_t Count() const { return e.chains ? int32_t(e.chains->tally) : 0; }
    TeChain* At(int32_t i) const { return qd_te_chain_at(e.chains, i); }
};

const TeVertex* V(const TeChain* c, uint32_t i) { return static_cast<const TeVertex*>(c->coords->data) + i; }

bool HasParent(const nlst* list) { return list && list->tally > 0; }

bool InBox(const TeChain* c, GeoCoord low, GeoCoord high) {
    for (uint32_t i = 0; i < c->coords->tally; ++i)
        if (V(c, i)->x < low.x || V(c, i)->x > high.x || V(c, i)->y < low.y || V(c, i)->y > high.y) return false;
    return true;
}

// Every LINE/ARC/PATH chain of a clockwise ring's boundary runs the ring's
// way: walking it, the ring's interior (the test point) is on the right.
void ExpectRightOfInterior(const Enc& r, GeoCoord inside) {
    for (int32_t i = 0; i < r.Count(); ++i) {
        const TeChain* c = r.At(i);
        if (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) continue;
        const TeVertex *a = V(c, 0), *b = V(c, c->coords->tally - 1);
        double cross;
        if (c->chain_type == TE_ARC) {
            const TeVertex* m = V(c, 1);
            // Clockwise, a boundary arc bulges outward: its middle lies
            // left of start -> end.
            cross = (b->x - a->x) * (m->y - a->y) - (b->y - a->y) * (m->x - a->x);
            EXPECT_GT(cross, 0) << "arc " << i;
        } else {
            for (uint32_t k = 0; k + 1 < c->coords->tally; ++k) {
                const TeVertex *p = V(c, k), *q = V(c, k + 1);
                cross = (q->x - p->x) * (inside.y - p->y) - (q->y - p->y) * (inside.x - p->x);
                EXPECT_LT(cross, 0) << "chain " << i << " type " << c->chain_type << " from " << p->x << ","
                                    << p->y << " to " << q->x << "," << q->y;
            }
        }
        EXPECT_TRUE(HasParent(c->right_parent)) << i;
        EXPECT_FALSE(HasParent(c->left_parent)) << i;
    }
}

}  // namespace

TEST(qd_te_encode, LinesAndTolerances) {
    // A closed triangle polyline: three LINEs, snap_inner at every end.
    {
        Enc r;
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(10, 0), C(5, 8), C(0, 0)}));
        ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
        ASSERT_EQ(r.Count(), 3);
        for (int32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(r.At(i)->chain_type, TE_LINE);
            EXPECT_EQ(V(r.At(i), 0)->tol, 0.25);
            EXPECT_EQ(V(r.At(i), 1)->tol, 0.25);
        }
    }
    // A two-point line: snap_outer at both ends; three points: outer ends.
    {
        Enc r;
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(10, 0)}));
        o.AddCurve(geotest::Curve({C(0, 5), C(10, 5), C(20, 6)}));
        ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
        ASSERT_EQ(r.Count(), 1);
        EXPECT_EQ(V(r.At(0), 0)->tol, 0.5);
        EXPECT_EQ(V(r.At(0), 1)->tol, 0.5);
        EXPECT_EQ(r.At(0)->chain_pid, 0);
        EXPECT_EQ(r.At(0)->chain_lookup, -1);
        ASSERT_EQ(r.Encode(o.Primitive(1)), 1);
        ASSERT_EQ(r.Count(), 2);
        EXPECT_EQ(r.At(1)->chain_type, TE_PATH);
        EXPECT_EQ(V(r.At(1), 0)->tol, 0.5);
        EXPECT_EQ(V(r.At(1), 1)->tol, 0.25);
        EXPECT_EQ(V(r.At(1), 2)->tol, 0.5);
    }
    // Too many coordinates: -2, nothing read.
    {
        Enc r;
        GeoCoord two[2] = {C(0, 0), C(1, 1)};
        int32_t status = 0;
        ASSERT_EQ(qd_te_encode_chain_line(&r.e, two, TE_MAX_CHAIN_COORDS + 1, &status), 1);
        EXPECT_EQ(status, -2);
        EXPECT_EQ(r.Count(), 0);
    }
}

TEST(qd_te_encode, PolygonRingsAndSides) {
    // The triangle as a polygon: REGION plus three clockwise LINEs with the
    // parent on the right; a hole: ISLAND with the parent on the left.
    Enc r;
    geotest::Object o;
    GeoPolygon* p = o.AddPolygon(geotest::Polygon(
        geotest::Path({geotest::Curve({C(0, 0), C(10, 0), C(5, 8), C(0, 0)})}, 1, 1),
        {geotest::Path({geotest::Curve({C(4, 2), C(6, 2), C(5, 4), C(4, 2)})}, 1, 1)}));
    p->valid = 1;
    ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
    int regions = 0, islands = 0, lines = 0;
    for (int32_t i = 0; i < r.Count(); ++i) {
        const TeChain* c = r.At(i);
        if (c->chain_type == TE_REGION) {
            ++regions;
            EXPECT_TRUE(HasParent(c->right_parent));
            EXPECT_FALSE(HasParent(c->left_parent));
            EXPECT_EQ(qd_te_geo_chain_clockwise(c), 1);
        } else if (c->chain_type == TE_ISLAND) {
            ++islands;
            EXPECT_TRUE(HasParent(c->left_parent));
            EXPECT_FALSE(HasParent(c->right_parent));
        } else if (c->chain_type == TE_LINE) {
            ++lines;
            const bool hole = V(c, 0)->y >= 2 && V(c, 0)->y <= 4 && V(c, 0)->x >= 4 && V(c, 0)->x <= 6;
            EXPECT_EQ(HasParent(c->right_parent), !hole) << i;
            EXPECT_EQ(HasParent(c->left_parent), hole) << i;
            // Clockwise on the ring: the hole's or the triangle's inside on the right.
            const GeoCoord inside = hole ? C(5, 2.5) : C(5, 1);
            const TeVertex *a = V(c, 0), *b = V(c, 1);
            EXPECT_LT((b->x - a->x) * (inside.y - a->y) - (b->y - a->y) * (inside.x - a->x), 0) << i;
        }
    }
    EXPECT_EQ(regions, 1);
    EXPECT_EQ(islands, 1);
    EXPECT_EQ(lines, 6);
    EXPECT_EQ(r.rules.statistics.data_dim, 3);
}

TEST(qd_te_encode, RingStartAndLongCurves) {
    // The D shape (arc and chord) and the square given as three sides plus
    // one, in both orientations: every exterior chain runs clockwise, the
    // parent on its right.
    for (bool ccw : {true, false}) {
        {
            Enc r;
            geotest::Object o;
            GeoPath path = ccw ? geotest::Path({geotest::Curve({C(0, 0), C(5, 5), C(0, 10)}, KTGEO_CIRCULAR_ARC),
                                                geotest::Curve({C(0, 10), C(0, 0)})}, 1, 1)
                               : geotest::Path({geotest::Curve({C(0, 10), C(5, 5), C(0, 0)}, KTGEO_CIRCULAR_ARC),
                                                geotest::Curve({C(0, 0), C(0, 10)})}, 1, 1);
            GeoPolygon* p = o.AddPolygon(geotest::Polygon(path));
            p->valid = 1;
            ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
            ASSERT_GE(r.Count(), 3);
            ExpectRightOfInterior(r, C(2, 5));
        }
        {
            Enc r;
            geotest::Object o;
            GeoPath path = ccw ? geotest::Path({geotest::Curve({C(0, 0), C(10, 0), C(10, 10), C(0, 10)}),
                                                geotest::Curve({C(0, 10), C(0, 0)})}, 1, 1)
                               : geotest::Path({geotest::Curve({C(0, 0), C(0, 10), C(10, 10), C(10, 0)}),
                                                geotest::Curve({C(10, 0), C(0, 0)})}, 1, 1);
            GeoPolygon* p = o.AddPolygon(geotest::Polygon(path));
            p->valid = 1;
            ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
            ASSERT_GE(r.Count(), 3);
            ExpectRightOfInterior(r, C(5, 5));
        }
    }
}

TEST(qd_te_encode, ArcsCirclesCurvesAndZ) {
    // A closed three-point arc: a CIRCLE centred on its middle point with
    // clip_output 0; stroked into a PATH with clip_output 1.
    for (int32_t clip : {0, 1}) {
        Enc r(clip);
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(3, 4), C(0, 0)}, KTGEO_CIRCULAR_ARC));
        ASSERT_EQ(r.Encode(o.Primitive(0)), 1);
        ASSERT_GE(r.Count(), 1);
        if (clip == 0) {
            ASSERT_EQ(r.Count(), 1);
            EXPECT_EQ(r.At(0)->chain_type, TE_CIRCLE);
            EXPECT_EQ(V(r.At(0), 0)->x, 3);
            EXPECT_EQ(V(r.At(0), 0)->y, 4);
            EXPECT_EQ(r.At(0)->radius, 5);
        } else {
            EXPECT_EQ(r.At(0)->chain_type, TE_PATH);
            EXPECT_GT(r.At(0)->coords->tally, 4u);
        }
    }
    // A Bezier with clip_output 1 has no stroked list: -2.
    {
        Enc r(1);
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(1, 2), C(3, 2), C(4, 0)}, KTGEO_BEZIER));
        EXPECT_EQ(r.Encode(o.Primitive(0)), -2);
    }
    // zmode 1, zmatch 0: z 5e-11 takes zvalue; 2e-10 does not.
    {
        Enc r;
        r.rules.zcrd = {1, 7.0, 0.0};
        GeoCoord pts[2] = {C(0, 0, 5e-11), C(1, 0, 2e-10)};
        ASSERT_EQ(qd_te_encode_set_zcrd(pts, 2, &r.rules.zcrd), 1);
        EXPECT_EQ(pts[0].z, 7.0);
        EXPECT_EQ(pts[1].z, 2e-10);
        EXPECT_EQ(qd_te_encode_set_zcrd(pts, 2, nullptr), 0);
    }
    // Null arguments: reported, 0.
    int32_t status = 0;
    EXPECT_EQ(qd_te_encode_feature_primitive(nullptr, nullptr, &status, nullptr), 0);
}

TEST(qd_te_encode, RingCutIntoNothingIsReported) {
    // A ring that touches itself at (0, 0), both loops running
    // counter-clockwise, split as given (the outline encoder's switches)
    // with the orientation switch 0, which keeps only clockwise loops: no
    // piece is left, so the ring is counted as crossed and sent to the
    // error method as -46 instead of vanishing. The error method's answer
    // decides: 1 goes on, 0 fails the encoding. (A surface ring is turned
    // clockwise first and keeps both loops: see the next test.)
    struct Errors {
        int32_t answer;
        std::vector<int32_t> codes;
        static int32_t On(FailEvent* e, void* self) {
            auto* me = static_cast<Errors*>(self);
            me->codes.push_back(e->code);
            return me->answer;
        }
    };
    for (int32_t answer : {1, 0}) {
        Enc r;
        Errors errors{answer, {}};
        r.rules.error_method = {Errors::On, &errors};
        r.e.ring_kind = 0;
        r.e.parent_side = 0;
        GeoCoord ring[] = {C(0, 0), C(2, 0), C(2, 2), C(0, 0), C(-2, 0), C(-2, -2), C(0, 0)};
        int32_t status = 0;
        EXPECT_EQ(qd_te_encode_chain_path_cross_switched(&r.e, 7, ring, 0, 4, &status), answer) << answer;
        EXPECT_EQ(errors.codes, std::vector<int32_t>({-46})) << answer;
        EXPECT_EQ(r.rules.statistics.tallies[4], 1) << answer;
        EXPECT_EQ(r.Count(), 0) << answer;
        EXPECT_EQ(status, 1) << answer;
    }
}

namespace {

GeoCurve Reversed(GeoCurve c) {
    auto* p = static_cast<GeoCoord*>(c.coords->data);
    std::reverse(p, p + c.coords->tally);
    return c;
}

}  // namespace

TEST(qd_te_encode, CounterClockwiseCrossingRingKeepsItsLoops) {
    // Self-crossing surface rings, given each way round: an exterior that
    // touches itself at (0, 0) (two loops, both running the ring's way), a
    // hole and an exterior with a spike, and a figure-eight (a square lobe
    // of area 21 1/3 and a triangle of 1 1/3 running the other way) as an
    // exterior and as a hole. Both ways round the split keeps the same
    // clockwise loops with the same parent sides: an exterior's loops that
    // run its way with the parent on the right (its other lobe goes), a
    // hole's with the parent on the left and its other lobe with the parent
    // on the right; a spike leaves only open pieces; nothing is reported.
    struct Loop {
        double area;
        bool left;  // the parent on the left, else on the right
        bool operator<(const Loop& o) const { return area < o.area; }
    };
    struct Case {
        const char* what;
        bool hole;
        GeoCurve (*ring)();
        std::vector<Loop> loops;  // ascending by area
    } cases[] = {
        {"touching exterior", false,
         [] { return geotest::Curve({C(0, 0), C(0, 2), C(2, 2), C(0, 0), C(0, -2), C(-2, -2), C(0, 0)}); },
         {{2, false}, {2, false}}},
        {"spiked hole", true,
         [] { return geotest::Curve({C(3, 3), C(3, 9), C(9, 9), C(9, 6), C(11, 6), C(9, 6), C(9, 3), C(3, 3)}); },
         {{36, true}}},
        {"spiked exterior", false,
         [] { return geotest::Curve({C(0, 0), C(0, 12), C(12, 12), C(12, 6), C(14, 6), C(12, 6), C(12, 0), C(0, 0)}); },
         {{144, false}}},
        {"figure-eight exterior", false,
         [] { return geotest::Curve({C(2, 2), C(2, 6), C(6, 6), C(10, 2), C(10, 4), C(6, 2), C(2, 2)}); },
         {{64.0 / 3, false}}},
        {"figure-eight hole", true,
         [] { return geotest::Curve({C(2, 2), C(2, 6), C(6, 6), C(10, 2), C(10, 4), C(6, 2), C(2, 2)}); },
         {{4.0 / 3, false}, {64.0 / 3, true}}},
    };
    for (const Case& c : cases) {
        for (bool ccw : {false, true}) {
            Enc r;
            std::vector<int32_t> codes;
            r.rules.error_method = {[](FailEvent* e, void* self) {
                                        static_cast<std::vector<int32_t>*>(self)->push_back(e->code);
                                        return int32_t(1);
                                    },
                                    &codes};
            geotest::Object o;
            const GeoPath ring = geotest::Path({ccw ? Reversed(c.ring()) : c.ring()}, 1, 1);
            GeoPolygon* p = o.AddPolygon(c.hole ? geotest::Polygon(geotest::Path({geotest::Square(-10, -10, 40)}, 1, 1),
                                                                   {ring})
                                                : geotest::Polygon(ring));
            p->valid = 1;
            const std::string label = std::string(c.what) + (ccw ? " counter-clockwise" : " clockwise");
            ASSERT_EQ(r.Encode(o.Primitive(0)), 1) << label;
            EXPECT_TRUE(codes.empty()) << label;
            EXPECT_EQ(r.rules.statistics.tallies[4], 1) << label;
            std::vector<Loop> loops;
            for (int32_t i = 0; i < r.Count(); ++i) {
                const TeChain* k = r.At(i);
                if (k->chain_type != TE_PATH || k->coords->tally < 4) continue;
                const TeVertex *a = V(k, 0), *b = V(k, k->coords->tally - 1);
                if (a->x != b->x || a->y != b->y) continue;       // a spike's piece
                if (c.hole && !InBox(k, C(-5, -5), C(25, 25))) continue;  // the square around the hole
                EXPECT_EQ(qd_te_geo_chain_clockwise(k), 1) << label;
                EXPECT_NE(HasParent(k->right_parent), HasParent(k->left_parent)) << label;
                loops.push_back({qd_te_geo_chain_area(k), HasParent(k->left_parent)});
            }
            std::sort(loops.begin(), loops.end());
            ASSERT_EQ(loops.size(), c.loops.size()) << label;
            for (size_t i = 0; i < loops.size(); ++i) {
                EXPECT_NEAR(loops[i].area, c.loops[i].area, 1e-9) << label << " loop " << i;
                EXPECT_EQ(loops[i].left, c.loops[i].left) << label << " loop " << i;
            }
        }
    }
}
