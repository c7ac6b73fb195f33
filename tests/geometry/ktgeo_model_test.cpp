// The geometry model: envelopes, reference points, polygon labels, the
// object centroid, the completion step and the single-primitive accessors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "geo_test_util.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_ogc.h"

using geotest::C;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::Object;
using geotest::Path;
using geotest::Polygon;
using geotest::Square;
using geotest::StdoutCapture;

namespace {

void ExpectCoord(const GeoCoord& got, const GeoCoord& want) {
    EXPECT_DOUBLE_EQ(got.x, want.x);
    EXPECT_DOUBLE_EQ(got.y, want.y);
    EXPECT_DOUBLE_EQ(got.z, want.z);
}

void ExpectUnset(const GeoCoord& c) {
    EXPECT_EQ(c.x, KTGEO_UNSET);
    EXPECT_EQ(c.y, KTGEO_UNSET);
    EXPECT_EQ(c.z, KTGEO_NO_Z);
}

GeoPath Ring(std::initializer_list<GeoCoord> coords) { return Path({Curve(coords)}); }

}  // namespace

TEST(ktgeo_model, InitialValues) {
    GeometricPrimitive p;
    ASSERT_EQ(ktgeo_util_primitive_init(KTGEO_CURVE, &p), 1);
    EXPECT_EQ(p.type, KTGEO_CURVE);
    ExpectUnset(p.env_min);
    ExpectUnset(p.geom.curve.ref);
    EXPECT_EQ(p.geom.curve.direction, KTGEO_DIR_NONE);
    EXPECT_EQ(p.geom.curve.curve_type, KTGEO_POLYLINE);
    ExpectUnset(p.geom.curve.start_tangent);
    ASSERT_EQ(ktgeo_util_primitive_init(KTGEO_POINT, &p), 1);
    ExpectCoord(p.geom.point.coord, C(0, 0, 0));
    EXPECT_EQ(p.geom.point.direction, nullptr);

    FailRecorder rec;
    StdoutCapture out;
    GeometricPrimitive bad;
    EXPECT_EQ(ktgeo_util_primitive_init(5, &bad), 0);
    EXPECT_EQ(bad.type, 0);
    EXPECT_EQ(rec.Last().Get("param"), "type");
    EXPECT_EQ(ktgeo_util_primitive_init(1, nullptr), 0);
    EXPECT_EQ(rec.Last().Get("param"), "item");
}

TEST(ktgeo_model, TypedListsAndPointByPointGrowth) {
    nlst* coords = ktgeo_coord_list_new(nullptr);
    ASSERT_NE(coords, nullptr);
    EXPECT_EQ(coords->capacity, 5u);
    EXPECT_EQ(coords->inc, 64u);
    for (int i = 0; i < 1000; ++i) {
        const GeoCoord c = C(i, -i);
        ASSERT_EQ(ktgeo_coord_list_add(coords, &c), 1);
    }
    EXPECT_EQ(coords->tally, 1000u);
    EXPECT_EQ(coords->inc, 256u);  // quadrupled once the list passed 4 x 64
    EXPECT_EQ(static_cast<GeoCoord*>(coords->data)[999].y, -999);
    nlst_free(coords);

    const GeoCoord first = C(1, 2);
    nlst* one = ktgeo_coord_list_new(&first);
    EXPECT_EQ(one->tally, 1u);
    nlst_free(one);
    nlst* from = ktgeo_coord_list_from_array(nullptr, 3);
    EXPECT_EQ(from->tally, 0u);
    nlst_free(from);
    EXPECT_EQ(ktgeo_path_list_free(nullptr), 1);

    // A failed first append frees the new list.
    FailRecorder rec;
    StdoutCapture out;
    qd_alloc_fail_nth(2);
    EXPECT_EQ(ktgeo_coord_list_from_array(&first, 1), nullptr);
    qd_alloc_fail_nth(0);
}

TEST(ktgeo_model, EnvelopeAndCentroidOfPointsAndLines) {
    {
        Object o;
        o.AddPoint(C(0, 0));
        o.AddPoint(C(2, 2, 1));
        ktgeo_so_complete(&o.so);
        ExpectCoord(o.so.env_min, C(0, 0, 1));
        ExpectCoord(o.so.env_max, C(2, 2, 1));
        ExpectCoord(o.so.centroid, C(0, 0, 1));  // the first point wins over the mean
        ExpectCoord(o.Primitive(1)->env_min, C(2, 2, 1));
    }
    {
        Object o;
        o.AddPoint(C(5, 7));
        ktgeo_so_complete(&o.so);
        ExpectCoord(o.so.env_min, C(5, 7, KTGEO_NO_Z));
        ExpectCoord(o.so.env_max, C(5, 7, KTGEO_NO_Z));
        ExpectCoord(o.so.centroid, C(5, 7, KTGEO_NO_Z));
    }
    {
        Object o;
        o.AddPoint(C(10, 10));
        o.AddCurve(Curve({C(0, 0), C(2, 0)}));
        ktgeo_so_complete(&o.so);
        ExpectCoord(o.so.centroid, C(1, 0, KTGEO_NO_Z));  // the line's reference point
        ExpectCoord(o.Primitive(1)->geom.curve.ref, C(1, 0, KTGEO_NO_Z));
    }
    {
        // An L-shaped line: its mean (2/3, 1/3) lies off the line and is
        // snapped along its row onto the nearest crossing.
        Object o;
        o.AddCurve(Curve({C(0, 1), C(0, 0), C(2, 0)}));
        ktgeo_so_complete(&o.so);
        ExpectCoord(o.Primitive(0)->geom.curve.ref, C(0, 1.0 / 3.0, KTGEO_NO_Z));
    }
    {
        // A set centroid survives; reference points are always recomputed.
        Object o;
        GeoCurve line = Curve({C(0, 0), C(2, 0)});
        line.ref = C(50, 50);
        o.AddCurve(line);
        o.so.centroid = C(-3, -4, 9);
        ktgeo_so_compute_envelope(&o.so);
        ExpectCoord(o.so.centroid, C(-3, -4, 9));
        ExpectCoord(o.Primitive(0)->geom.curve.ref, C(1, 0, KTGEO_NO_Z));
    }
}

TEST(ktgeo_model, EmptyObjectsStayUnset) {
    Object none;
    ktgeo_so_complete(&none.so);
    EXPECT_EQ(none.so.primitives, nullptr);
    ExpectUnset(none.so.env_min);
    ExpectUnset(none.so.centroid);

    Object empty;
    empty.so.primitives = ktgeo_primitive_list_new(nullptr);
    ktgeo_so_complete(&empty.so);
    EXPECT_EQ(empty.so.primitives, nullptr);
    ExpectUnset(empty.so.env_max);
    ExpectUnset(empty.so.centroid);
}

TEST(ktgeo_model, PolygonLabels) {
    {
        // Area centroid; the closing coordinate stays out of the sums.
        Object o;
        o.AddPoint(C(100, 100));
        o.AddPolygon(Polygon(Path({Square(0, 0, 4)})));
        ktgeo_so_complete(&o.so);
        const GeoPolygon& poly = o.Primitive(1)->geom.polygon;
        EXPECT_EQ(poly.valid, 1);
        ExpectCoord(poly.label, C(2, 2, KTGEO_NO_Z));
        ExpectCoord(o.so.centroid, C(2, 2, KTGEO_NO_Z));  // the polygon's label wins
        ExpectCoord(o.so.env_max, C(100, 100, KTGEO_NO_Z));
    }
    // C shapes whose area centroid falls into the notch: the label is the
    // first inside point of the scan at the centroid's height.
    const double lo = -1e-9, w = 4 + 2e-9;
    struct Case {
        const char* name;
        GeoPath ring;
        double want_x;
    } cases[] = {
        {"opening toward +x",
         Ring({C(0, 0), C(4, 0), C(4, 1), C(0.5, 1), C(0.5, 2), C(4, 2), C(4, 3), C(0, 3),
               C(0, 0)}),
         lo + 1 * (w / 8)},
        {"opening toward -x",
         Ring({C(0, 0), C(4, 0), C(4, 3), C(0, 3), C(0, 2), C(3.5, 2), C(3.5, 1), C(0, 1),
               C(0, 0)}),
         lo + 7 * (w / 8)},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        Object o;
        o.AddPolygon(Polygon(c.ring));
        ktgeo_so_complete(&o.so);
        const GeoPolygon& poly = o.Primitive(0)->geom.polygon;
        EXPECT_EQ(poly.valid, 1);
        EXPECT_EQ(poly.label.x, c.want_x);
        EXPECT_DOUBLE_EQ(poly.label.y, 1.5);
    }
    {
        // An exterior that is one open curve: not valid, and the mean is
        // snapped onto the ring.
        Object o;
        o.AddPolygon(Polygon(Ring({C(0, 0), C(4, 0), C(4, 4), C(0, 4)})));
        FailRecorder rec;
        StdoutCapture out;
        ktgeo_so_complete(&o.so);
        EXPECT_EQ(out.Text(), "");  // completion checks quietly
        const GeoPolygon& poly = o.Primitive(0)->geom.polygon;
        EXPECT_EQ(poly.valid, 0);
        ExpectCoord(poly.label, C(4, 2, KTGEO_NO_Z));
    }
    {
        // Z of the label: the mean Z of the rings.
        Object o;
        o.AddPolygon(Polygon(Ring({C(0, 0, 1), C(4, 0, 3), C(4, 4, 1), C(0, 4, 3), C(0, 0, 1)})));
        ktgeo_so_complete(&o.so);
        ExpectCoord(o.Primitive(0)->geom.polygon.label, C(2, 2, 2));
    }
}

TEST(ktgeo_model, CompletionRederivesTheOgcType) {
    struct Case {
        int32_t state;
        int lines;
        int32_t want;
    } cases[] = {
        {KTGEO_OGC_LINESTRING, 2, KTGEO_OGC_MULTILINESTRING},
        {KTGEO_OGC_LINESTRING, 1, KTGEO_OGC_LINESTRING},
        {KTGEO_OGC_MULTILINESTRING, 1, KTGEO_OGC_MULTILINESTRING},
        {KTGEO_OGC_COLLECTION, 2, KTGEO_OGC_COLLECTION},
        {KTGEO_OGC_NONE, 2, KTGEO_OGC_NONE},
        {KTGEO_OGC_POINT, 2, KTGEO_OGC_MULTILINESTRING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.state << " with " << c.lines);
        Object o;
        for (int i = 0; i < c.lines; ++i) o.AddCurve(Curve({C(i, 0), C(i, 1)}));
        o.so.ogc_state = c.state;
        ktgeo_so_complete(&o.so);
        EXPECT_EQ(o.so.ogc_state, c.want);
    }
    Object mixed;
    mixed.AddPoint(C(0, 0));
    mixed.AddPolygon(Polygon(Path({Square(0, 0, 1)})));
    mixed.so.ogc_state = KTGEO_OGC_MULTIPOINT;
    ktgeo_so_complete(&mixed.so);
    EXPECT_EQ(mixed.so.ogc_state, KTGEO_OGC_COLLECTION);

    // Deriving leaves a typed object alone; an untyped single polygon is 5.
    Object one;
    one.AddPolygon(Polygon(Path({Square(0, 0, 1)})));
    ktgeo_so_complete(&one.so);
    ASSERT_EQ(ktgeo_ogc_derive_type(&one.so, 0), 1);
    EXPECT_EQ(one.so.ogc_state, KTGEO_OGC_POLYGON);
    ASSERT_EQ(ktgeo_ogc_derive_type(&one.so, 1), 1);
    EXPECT_EQ(one.so.ogc_state, KTGEO_OGC_POLYGON);
}

TEST(ktgeo_model, DeriveScanReportsObjectsThatFailTheQuickCheck) {
    // A polygon marked not valid whose full check passes: "UKT_J".
    Object o;
    o.AddPolygon(Polygon(Path({Square(0, 0, 1)})));
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_ogc_derive_type(&o.so, 0), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_J"}));
    EXPECT_EQ(rec.Last().Get("routine"), "ktgeo_check_geometry");
    EXPECT_EQ(o.so.ogc_state, 0);
    // A broken one: the loud check's own report.
    Object bad;
    bad.AddCurve(Curve({C(0, 0), C(0, 0), C(0, 0)}));
    bad.Primitive(0)->geom.curve.invalid = 1;
    rec.Clear();
    EXPECT_EQ(ktgeo_ogc_derive_type(&bad.so, 0), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_4"}));
}

TEST(ktgeo_model, SinglePrimitiveAccessors) {
    Object o;
    EXPECT_EQ(ktgeo_single_polygon(&o.so), nullptr);
    GeoPolygon* poly = o.AddPolygon(Polygon(Path({Square(0, 0, 4)}), {Path({Square(1, 1, 1)})}));
    EXPECT_EQ(ktgeo_single_polygon(&o.so), poly);
    EXPECT_EQ(ktgeo_single_simple_polygon(&o.so), nullptr);
    EXPECT_EQ(ktgeo_single_point(&o.so), nullptr);
    ktgeo_path_list_free(poly->interiors);
    poly->interiors = ktgeo_path_list_new(nullptr);
    EXPECT_EQ(ktgeo_single_simple_polygon(&o.so), poly);
    o.AddPoint(C(0, 0));
    EXPECT_EQ(ktgeo_single_polygon(&o.so), nullptr);
    EXPECT_EQ(ktgeo_single_curve(nullptr), nullptr);
}

TEST(ktgeo_model, LabelsOfRandomStarPolygonsLieInside) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 3 + trial % 29;
        GeoCurve ring;
        ktgeo_curve_init(&ring);
        ring.coords = ktgeo_coord_list_alloc(0);
        const double cx = 1000 * unit(rng), cy = -1000 * unit(rng);
        for (int k = 0; k < n; ++k) {
            const double angle = 2 * M_PI * (k + 0.9 * unit(rng)) / n;
            const double r = 0.5 + 20 * unit(rng) * unit(rng);
            const GeoCoord c = C(cx + r * std::cos(angle), cy + r * std::sin(angle));
            ktgeo_coord_list_add(ring.coords, &c);
        }
        const GeoCoord first = *static_cast<GeoCoord*>(ring.coords->data);
        ktgeo_coord_list_add(ring.coords, &first);
        Object o;
        o.AddPolygon(Polygon(Path({ring})));
        ktgeo_so_complete(&o.so);
        GeoPolygon& poly = o.Primitive(0)->geom.polygon;
        ASSERT_EQ(poly.valid, 1);
        int where = 0;
        ASSERT_EQ(ktgeo_point_inside_polygon(&poly.label, &poly, &where), 1);
        EXPECT_EQ(where, 4) << "trial " << trial;
        EXPECT_EQ(o.so.centroid.x, poly.label.x);
    }
}
