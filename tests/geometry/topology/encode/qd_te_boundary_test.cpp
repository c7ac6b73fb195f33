// Whole-line and boundary encodings: the topological boundary of each
// primitive (an open line's two ends, nothing for a closed line or a
// point, a surface's rings with their parent sides) and lines kept whole.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/te_test_encoder.h"

using geotest::C;

namespace {

struct Enc : TeTestEncoder {
    explicit Enc(int32_t mode) : TeTestEncoder(mode) {}
    int32_t Boundary(GeometricPrimitive* p) {
        int32_t status = 0;
        EXPECT_EQ(qd_te_encode_feature_boundary(&status, &e, p), 1);
        return status;
    }
    int32_t Whole(GeometricPrimitive* p) {
        int32_t status = 0;
        EXPECT_EQ(qd_te_encode_feature_expended(&status, &e, p), 1);
        return status;
    }
    int32_t Count() const { return e.chains ? int32_t(e.chains->tally) : 0; }
    TeChain* At(int32_t i) const { return qd_te_chain_at(e.chains, i); }
};

const TeVertex* V(const TeChain* c, uint32_t i) { return static_cast<const TeVertex*>(c->coords->data) + i; }
uint32_t N(const TeChain* c) { return c->coords ? c->coords->tally : 0; }
bool Has(const nlst* parents) { return parents && parents->tally > 0; }

}  // namespace

TEST(qd_te_boundary, OfEachPrimitive) {
    {
        // An open three-point line: its two ends as NODE chains.
        Enc r(TE_BOUNDARY);
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(1, 1), C(2, 0)}));
        EXPECT_EQ(r.Boundary(o.Primitive(0)), 1);
        ASSERT_EQ(r.Count(), 2);
        EXPECT_EQ(r.At(0)->chain_type, TE_NODE);
        EXPECT_EQ(r.At(1)->chain_type, TE_NODE);
        EXPECT_EQ(V(r.At(0), 0)->x, 0);
        EXPECT_EQ(V(r.At(1), 0)->x, 2);
        EXPECT_EQ(r.rules.statistics.data_dim, 1);
    }
    {
        // A closed ring-shaped line, a point: no chain at all.
        Enc r(TE_BOUNDARY);
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(0, 0), C(1, 1), C(2, 0), C(0, 0)}));
        o.AddPoint(C(5, 5));
        EXPECT_EQ(r.Boundary(o.Primitive(0)), 1);
        EXPECT_EQ(r.Boundary(o.Primitive(1)), 1);
        EXPECT_EQ(r.Count(), 0);
    }
    {
        // A one-point line: one NODE.
        Enc r(TE_BOUNDARY);
        geotest::Object o;
        o.AddCurve(geotest::Curve({C(3, 4)}));
        EXPECT_EQ(r.Boundary(o.Primitive(0)), 1);
        ASSERT_EQ(r.Count(), 1);
        EXPECT_EQ(r.At(0)->chain_type, TE_NODE);
    }
    {
        // A polygon with a hole: two PATH rings, the exterior's parent on
        // the right list, the hole's on the left; flag L, data_dim 2.
        Enc r(TE_BOUNDARY);
        geotest::Object o;
        GeoPolygon* p = o.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 10)}, 1, 1),
                                                      {geotest::Path({geotest::Square(2, 2, 2)}, 1, 1)}));
        p->valid = 1;
        EXPECT_EQ(r.Boundary(o.Primitive(0)), 1);
        ASSERT_EQ(r.Count(), 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(r.At(i)->chain_type, TE_PATH);
            EXPECT_EQ(N(r.At(i)), 5u);
        }
        EXPECT_TRUE(Has(r.At(0)->right_parent));
        EXPECT_FALSE(Has(r.At(0)->left_parent));
        EXPECT_TRUE(Has(r.At(1)->left_parent));
        EXPECT_FALSE(Has(r.At(1)->right_parent));
        EXPECT_EQ(r.rules.statistics.data_dim, 2);
    }
}

TEST(qd_te_boundary, LinesKeptWhole) {
    // INTERSECT_NODES: a five-point line is one PATH of five vertices; two
    // lines get consecutive feature ids.
    Enc r(TE_INTERSECT_NODES);
    geotest::Object o;
    o.AddCurve(geotest::Curve({C(0, 0), C(1, 1), C(2, 0), C(3, 1), C(4, 0)}));
    o.AddCurve(geotest::Curve({C(0, 5), C(4, 5)}));
    EXPECT_EQ(r.Whole(o.Primitive(0)), 1);
    EXPECT_EQ(r.Whole(o.Primitive(1)), 1);
    ASSERT_EQ(r.Count(), 2);
    EXPECT_EQ(r.At(0)->chain_type, TE_PATH);
    EXPECT_EQ(N(r.At(0)), 5u);
    EXPECT_EQ(std::abs(r.At(1)->chain_pid), std::abs(r.At(0)->chain_pid) + 1);
    // DISTANCE: two lines of one geometry share their chain_pid, the id
    // the geometry step raised the counter to (here 4); the lines leave
    // the counter as it is.
    Enc d(TE_DISTANCE);
    d.rules.statistics.tallies[1] = 4;
    EXPECT_EQ(d.Whole(o.Primitive(0)), 1);
    EXPECT_EQ(d.Whole(o.Primitive(1)), 1);
    ASSERT_EQ(d.Count(), 2);
    EXPECT_EQ(d.At(0)->chain_pid, 4);
    EXPECT_EQ(d.At(1)->chain_pid, 4);
    EXPECT_EQ(d.rules.statistics.tallies[1], 4);
    // A polygon: one PATH per ring in the stored direction, data_dim 3.
    Enc s(TE_CONVEX_HULL);
    geotest::Object q;
    GeoPolygon* p = q.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 10)}, 1, 1),
                                                  {geotest::Path({geotest::Square(2, 2, 2)}, 1, 1)}));
    p->valid = 1;
    EXPECT_EQ(s.Whole(q.Primitive(0)), 1);
    ASSERT_EQ(s.Count(), 2);
    EXPECT_EQ(V(s.At(0), 1)->x, 10);  // as stored: (0,0), (10,0), ...
    EXPECT_EQ(s.rules.statistics.data_dim, 3);
    // A point: one NODE.
    geotest::Object pt;
    pt.AddPoint(C(1, 2));
    EXPECT_EQ(s.Whole(pt.Primitive(0)), 1);
    EXPECT_EQ(s.At(2)->chain_type, TE_NODE);
}
