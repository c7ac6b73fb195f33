// Construction functions: the primitive each one makes, polygons from
// rings and lists, and the refusals with their reports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geo_test_util.h"
#include "geometry/ktgeo_construct.h"
#include "geometry/ktgeo_ogc.h"

using geotest::C;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::Object;
using geotest::Path;
using geotest::Points;
using geotest::Polygon;
using geotest::StdoutCapture;
using geotest::Wkt;

namespace {

void ExpectCoords(const nlst* list, const std::vector<GeoCoord>& want) {
    ASSERT_NE(list, nullptr);
    const std::vector<GeoCoord> got = Points(list);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].x, want[i].x) << i;
        EXPECT_EQ(got[i].y, want[i].y) << i;
    }
}

TEST(ktgeo_construct, PointPolylineArcCircle) {
    Object point;
    const GeoCoord p = C(1, 2);
    ASSERT_EQ(ktgeo_make_point(&p, &point.so), 1);
    ASSERT_EQ(point.so.primitives->tally, 1u);
    EXPECT_EQ(point.so.env_min.x, 1);
    EXPECT_EQ(point.so.env_max.y, 2);

    Object line;
    std::vector<GeoCoord> three = {C(0, 0), C(1, 1), C(2, 0)};
    ASSERT_EQ(ktgeo_make_polyline(three.data(), 3, &line.so), 1);
    three[0] = C(9, 9);  // the caller's array is not kept
    const GeoCurve& curve = line.Primitive(0)->geom.curve;
    EXPECT_EQ(curve.curve_type, KTGEO_POLYLINE);
    EXPECT_EQ(curve.direction, KTGEO_DIR_NONE);
    ExpectCoords(curve.coords, {C(0, 0), C(1, 1), C(2, 0)});

    FailRecorder rec;
    Object a, b, c, two, arc;
    const GeoCoord pa = C(0, 0), pb = C(1, 1), pc = C(2, 0);
    ktgeo_make_point(&pa, &a.so);
    ktgeo_make_point(&pb, &b.so);
    ktgeo_make_point(&pc, &c.so);
    ASSERT_EQ(ktgeo_make_circulararc(&arc.so, &a.so, &b.so, &c.so), 1);
    EXPECT_EQ(arc.Primitive(0)->geom.curve.curve_type, KTGEO_CIRCULAR_ARC);
    ExpectCoords(arc.Primitive(0)->geom.curve.coords, {pa, pb, pc});
    two.AddPoint(C(0, 0));
    two.AddPoint(C(1, 0));
    Object refused;
    EXPECT_EQ(ktgeo_make_circulararc(&refused.so, &a.so, &two.so, &c.so), 0);
    EXPECT_EQ(rec.Last().Get("param"), "param2");
    EXPECT_EQ(refused.so.primitives, nullptr);

    Object centre, circle;
    const GeoCoord m = C(10, 10);
    ktgeo_make_point(&m, &centre.so);
    ASSERT_EQ(ktgeo_make_circle(&circle.so, &centre.so, 5), 1);
    ExpectCoords(circle.Primitive(0)->geom.curve.coords, {C(15, 10), C(10, 10), C(15, 10)});
    EXPECT_EQ(ktgeo_make_circle(&refused.so, &two.so, 5), 0);
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_make_circulararc");
    EXPECT_EQ(rec.Last().Get("param"), "param1");
}

TEST(ktgeo_construct, BoxRingAndPolygon) {
    GeoCoord ring[5];
    const GeoCoord a = C(0, 0), b = C(4, 3);
    ktgeo_box_ring(&a, &b, ring);
    const std::vector<GeoCoord> want = {C(0, 0), C(4, 0), C(4, 3), C(0, 3), C(0, 0)};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ring[i].x, want[i].x);
        EXPECT_EQ(ring[i].y, want[i].y);
    }
    GeoCurve curve;
    ASSERT_EQ(ktgeo_make_curve(ring, 5, &curve), 1);
    Object poly;
    ASSERT_EQ(ktgeo_make_polygon(&curve, &poly.so), 1);
    EXPECT_EQ(poly.Primitive(0)->geom.polygon.valid, 1);
    EXPECT_EQ(Wkt(&poly.so), "GEOMETRYCOLLECTION(POLYGON((0 0,4 0,4 3,0 3,0 0)))");
}

TEST(ktgeo_construct, PolygonsFromRingsAndLists) {
    StdoutCapture out;
    FailRecorder rec;
    Object holed;
    holed.AddPolygon(Polygon(Path({Curve({C(0, 0), C(10, 0), C(10, 10), C(0, 10), C(0, 0)})}, 1, 1),
                             {Path({Curve({C(1, 1), C(2, 1), C(2, 2), C(1, 1)})}, 1, 1),
                              Path({Curve({C(5, 5), C(6, 5), C(6, 6), C(5, 5)})}, 1, 1)}));
    ktgeo_so_complete(&holed.so);
    Object plain;
    ASSERT_EQ(ktgeo_make_polygon_noisland(&plain.so, &holed.so), 1);
    EXPECT_EQ(Wkt(&plain.so), "GEOMETRYCOLLECTION(POLYGON((0 0,10 0,10 10,0 10,0 0)))");
    EXPECT_EQ(holed.Primitive(0)->geom.polygon.interiors->tally, 2u);  // input untouched

    // Four one-point objects: one exterior through them.
    std::vector<Object> points(4);
    const GeoCoord corners[4] = {C(0, 0), C(4, 0), C(4, 4), C(0, 0)};
    nlst* list = nlst_alloc(sizeof(SpatialObject), 4, 4, nullptr);
    for (int i = 0; i < 4; ++i) {
        ktgeo_make_point(&corners[i], &points[i].so);
        nlst_add(list, &points[i].so);
    }
    Object from_points;
    ASSERT_EQ(ktgeo_make_polygon_bylist(&from_points.so, list), 1);
    EXPECT_EQ(Wkt(&from_points.so), "GEOMETRYCOLLECTION(POLYGON((0 0,4 0,4 4,0 0)))");

    // Three one-path objects: an exterior and two holes.
    std::vector<Object> paths(3);
    paths[0].AddPath(Path({Curve({C(0, 0), C(10, 0), C(10, 10), C(0, 0)})}, 1, 1));
    paths[1].AddPath(Path({Curve({C(6, 1), C(8, 1), C(8, 3), C(6, 1)})}, 1, 1));
    paths[2].AddPath(Path({Curve({C(7, 4), C(8, 4), C(8, 5), C(7, 4)})}, 1, 1));
    nlst* path_list = nlst_alloc(sizeof(SpatialObject), 3, 4, nullptr);
    for (Object& o : paths) {
        ktgeo_so_complete(&o.so);
        nlst_add(path_list, &o.so);
    }
    Object from_paths;
    ASSERT_EQ(ktgeo_make_polygon_bylist(&from_paths.so, path_list), 1);
    ASSERT_NE(from_paths.Primitive(0)->geom.polygon.interiors, nullptr);
    EXPECT_EQ(from_paths.Primitive(0)->geom.polygon.interiors->tally, 2u);

    // Island list: the ring object's exterior with two holes.
    nlst* islands = nlst_alloc(sizeof(SpatialObject), 2, 4, nullptr);
    nlst_add(islands, &paths[1].so);
    nlst_add(islands, &paths[2].so);
    Object with_islands;
    ASSERT_EQ(ktgeo_make_polygon_island_bylist(&with_islands.so, &plain.so, islands), 1);
    EXPECT_EQ(with_islands.Primitive(0)->geom.polygon.interiors->tally, 2u);
    EXPECT_EQ(plain.Primitive(0)->geom.polygon.exterior.curves->tally, 1u);  // ring object kept
    nlst* none = nlst_alloc(sizeof(SpatialObject), 1, 4, nullptr);
    Object refused;
    EXPECT_EQ(ktgeo_make_polygon_island_bylist(&refused.so, &plain.so, none), 0);

    // A point object with a curve object: refused.
    Object curve_object;
    curve_object.AddCurve(Curve({C(0, 0), C(1, 1)}));
    nlst* mixed = nlst_alloc(sizeof(SpatialObject), 2, 4, nullptr);
    nlst_add(mixed, &points[0].so);
    nlst_add(mixed, &curve_object.so);
    rec.Clear();
    EXPECT_EQ(ktgeo_make_polygon_bylist(&refused.so, mixed), 0);
    EXPECT_EQ(rec.Last().Get("param"), "lst");
    EXPECT_EQ(ktgeo_make_polygon_noisland(&refused.so, &points[0].so), 0);
    EXPECT_EQ(rec.Last().Get("param"), "param1");
    for (nlst* l : {list, path_list, islands, none, mixed}) nlst_free(l);
}

}  // namespace
