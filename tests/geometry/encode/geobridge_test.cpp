// The bridge: map objects to geometry objects (and the blobs the upload
// writes of them), the grouping of region rings, geometry objects back to
// map objects, and the conversion walk.
#include <functional>

#include "encode_test_util.h"
#include "kernel/coordsys/conv.h"

using enctest::Obj;
using enctest::Sections;
using enctest::Text;
using geotest::Bytes;
using geotest::Golden;
using geotest::ToHex;

namespace {

using bridge = enctest::Runtime;

// The geometry object of a map object, released when it goes.
struct Geometry {
    SpatialObject so;
    int16_t result;
    Geometry(MapObject* o, const CoordXform& xf) {
        ktgeo_so_init_empty(&so);
        result = geobridge_object_to_geometry(o, &xf, &so);
    }
    ~Geometry() { ktgeo_so_release(&so); }
    uint32_t count() const { return so.primitives ? so.primitives->tally : 0; }
    GeometricPrimitive* at(uint32_t i) {
        return static_cast<GeometricPrimitive*>(nlst_index(so.primitives, i));
    }
    uint32_t holes(uint32_t i) {
        const nlst* h = at(i)->geom.polygon.interiors;
        return h ? h->tally : 0;
    }
};

const std::vector<IntPoint> kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const std::vector<IntPoint> kHole = {{2, 2}, {4, 2}, {4, 4}, {2, 4}};
const std::vector<IntPoint> kFlat = {{20, 0}, {30, 0}, {20, 0}};  // 2 distinct points
const std::vector<IntPoint> kFar = {{20, 20}, {30, 20}, {30, 30}, {20, 30}};

}  // namespace

TEST_F(bridge, UploadBlobsOfMapObjects) {
    const IntPoint centre{2, 1};
    struct Case {
        const char* golden;
        std::function<void(Obj&)> build;
    };
    const Case cases[] = {
        {"kt02_region_abca",
         [&](Obj& o) { enctest::Poly(o, MAPOBJ_REGION, {{0, {{0, 0}, {4, 0}, {4, 3}}}}, &centre); }},
        {"kt02_rect", [](Obj& o) { enctest::Rect(o, MAPOBJ_RECT, {0, 0, 4, 2}); }},
        {"kt02_rect", [](Obj& o) { enctest::Rect(o, MAPOBJ_ROUNDRECT, {0, 0, 4, 2}); }},
        {"l2dl_line", [](Obj& o) { enctest::Line(o, {0, 0}, {4, 2}); }},
    };
    for (const Case& c : cases) {
        Obj o;
        c.build(o);
        EXPECT_EQ(ToHex(enctest::Blob(o.p, ne)), ToHex(Golden(c.golden))) << c.golden;
        EXPECT_EQ(ToHex(enctest::RoadBlob(o.p, ne)), ToHex(Golden(c.golden))) << c.golden;
    }
    // A point: one point primitive, the centroid and envelope the point.
    Obj p;
    enctest::Point(p, 7, -3);
    Geometry g(p.p, ne);
    ASSERT_EQ(g.result, 1);
    ASSERT_EQ(g.count(), 1u);
    EXPECT_EQ(g.so.centroid.x, 7.0);
    EXPECT_EQ(g.so.env_min.y, -3.0);
    EXPECT_EQ(g.so.env_max.z, KTGEO_NO_Z);
    EXPECT_EQ(g.at(0)->env_min.x, 7.0);
}

// A node at the place of the node before it is left out (the first of a
// run stays); a node that only comes back to an earlier place is kept.
TEST_F(bridge, RepeatedNodesAreLeftOut) {
    struct Case {
        std::vector<IntPoint> nodes;
        std::vector<IntPoint> kept;
    };
    const Case cases[] = {
        {{{0, 0}, {0, 0}, {5, 5}, {5, 5}, {5, 5}, {9, 1}}, {{0, 0}, {5, 5}, {9, 1}}},
        {{{0, 0}, {5, 5}, {0, 0}}, {{0, 0}, {5, 5}, {0, 0}}},
        {{{3, 3}, {7, 1}, {7, 1}}, {{3, 3}, {7, 1}}},
    };
    for (const Case& c : cases) {
        Obj o;
        enctest::Poly(o, MAPOBJ_POLYLINE, {{0, c.nodes}});
        std::vector<DPoint> want(c.kept.size());
        xform_int_to_xy(c.kept.data(), want.data(), &ne, static_cast<int32_t>(c.kept.size()));
        Geometry g(o.p, ne);
        ASSERT_EQ(g.result, 1);
        ASSERT_EQ(g.count(), 1u);
        const nlst* coords = g.at(0)->geom.curve.coords;
        ASSERT_EQ(coords->tally, want.size()) << Text({c.nodes});
        for (size_t i = 0; i < want.size(); ++i) {
            const GeoCoord& k = static_cast<const GeoCoord*>(coords->data)[i];
            EXPECT_EQ(k.x, want[i].x) << i;
            EXPECT_EQ(k.y, want[i].y) << i;
        }
        // The blob road leaves out the same nodes.
        EXPECT_EQ(ToHex(enctest::RoadBlob(o.p, ne)), ToHex(enctest::Blob(o.p, ne))) << Text({c.nodes});
    }
}

TEST_F(bridge, RefusedAndEmptyObjects) {
    Obj text(MAPOBJ_TEXT), none;
    EXPECT_EQ(Geometry(text.p, ne).result, 0);
    EXPECT_EQ(Geometry(none.p, ne).result, 0);
    Obj flat;
    enctest::Poly(flat, MAPOBJ_REGION, {{0, {{0, 0}, {10, 0}, {5, 0}}}});
    Geometry g(flat.p, ne);
    EXPECT_EQ(g.result, 1) << "a region of zero height: no primitive, success";
    EXPECT_EQ(g.count(), 0u);
}

TEST_F(bridge, RegionRingGroups) {
    struct Case {
        const char* what;
        std::vector<enctest::Section> sections;
        std::vector<uint32_t> holes;  // per polygon
    };
    const Case cases[] = {
        {"outer with a hole", {{1, kSquare}, {0, kHole}}, {1}},
        {"outer with 1 hole (degenerate), outer: two polygons without holes",
         {{1, kSquare}, {0, kFlat}, {0, kFar}}, {0, 0}},
        {"degenerate outer with 1 hole, hole: none", {{1, kFlat}, {0, kHole}}, {}},
        {"two outers, no holes", {{0, kSquare}, {0, kFar}}, {0, 0}},
        {"outer with two holes, second degenerate", {{2, kSquare}, {0, kHole}, {0, kFlat}}, {1}},
    };
    for (const Case& c : cases) {
        Obj o;
        mapobj_set_type(o.p, MAPOBJ_REGION);
        for (const auto& s : c.sections) {
            int32_t first = 0;
            mapobjx_add_section(o.p, 4, &first);
            mapobjx_insert_nodes(o.p, first, 0, s.nodes.data(), static_cast<int32_t>(s.nodes.size()),
                                 nullptr, nullptr);
        }
        MapSection* h = mapobj_lock_sections(o.p, 0);
        for (size_t i = 0; i < c.sections.size(); ++i) h[i].holes = c.sections[i].holes;
        mapobj_unlock_sections(o.p, h, 0);
        mapobj_update_mbr(o.p);
        Geometry g(o.p, ne);
        ASSERT_EQ(g.result, 1) << c.what;
        std::vector<uint32_t> holes;
        for (uint32_t i = 0; i < g.count(); ++i) holes.push_back(g.holes(i));
        EXPECT_EQ(holes, c.holes) << c.what;
    }
}

TEST_F(bridge, RegionsComeBack) {
    // A, B, C, A: one polygon whose ring holds A, B, C, A; back: one section
    // of 4 nodes.
    Obj abc;
    enctest::Poly(abc, MAPOBJ_REGION, {{0, {{0, 0}, {4, 0}, {4, 3}}}});
    Geometry g(abc.p, ne);
    ASSERT_EQ(g.count(), 1u);
    const GeoCurve* ring =
        static_cast<GeoCurve*>(g.at(0)->geom.polygon.exterior.curves->data);
    EXPECT_EQ(ring->coords->tally, 4u);
    Obj back;
    ASSERT_EQ(geobridge_geometry_to_object(&g.so, &ne, back.p, 0), 1);
    EXPECT_EQ(back->type, MAPOBJ_REGION);
    EXPECT_EQ(Text(Sections(back.p)), "[0 0,4 0,4 3,0 0,]");
}

TEST_F(bridge, OpenHoleIsLeftOutWithAWarning) {
    Obj o;
    enctest::Poly(o, MAPOBJ_REGION, {{1, kSquare}, {0, kHole}});
    Geometry g(o.p, ne);
    ASSERT_EQ(g.holes(0), 1u);
    GeoPath* hole = static_cast<GeoPath*>(g.at(0)->geom.polygon.interiors->data);
    hole->closed = 0;
    err_clear();
    Obj back;
    EXPECT_EQ(geobridge_geometry_to_object(&g.so, &ne, back.p, 0), 1);
    EXPECT_EQ(Text(Sections(back.p)), "[0 0,10 0,10 10,0 10,0 0,]");
    ASSERT_GE(g_err_stack->stored_count, 1);
    EXPECT_EQ(g_err_stack->entries[0].code, GEOBRIDGE_ERR_OPEN_HOLE);
    EXPECT_EQ(g_err_stack->entries[0].severity, 1);
}

TEST_F(bridge, SpikesAndReversedPaths) {
    geotest::Object so;
    // A, B, C, B, D, A with spike removal: A, B, D.
    so.AddPolygon(geotest::Polygon(geotest::Path(
        {geotest::Curve({geotest::C(0, 0), geotest::C(10, 0), geotest::C(10, 10), geotest::C(10, 0),
                         geotest::C(0, 10), geotest::C(0, 0)})},
        1, 1)));
    so.so.centroid = geotest::C(1, 1);
    so.so.env_min = geotest::C(0, 0);
    so.so.env_max = geotest::C(10, 10);
    Obj spiked;
    ASSERT_EQ(geobridge_geometry_to_object(&so.so, &ne, spiked.p, 1), 1);
    EXPECT_EQ(Text(Sections(spiked.p)), "[0 0,10 0,0 10,0 0,]");

    geotest::Object path;
    GeoPath p = geotest::Path({geotest::Curve({geotest::C(0, 0), geotest::C(5, 0), geotest::C(5, 5)})});
    p.direction = KTGEO_DIR_REVERSE;
    path.AddPath(p);
    Obj line;
    ASSERT_EQ(geobridge_geometry_to_object(&path.so, &ne, line.p, 0), 1);
    EXPECT_EQ(line->type, MAPOBJ_POLYLINE);
    EXPECT_EQ(Text(Sections(line.p)), "[5 5,5 0,0 0,]");
}

TEST_F(bridge, KindsOfGeometryObjects) {
    geotest::Object one, two;
    one.AddPoint(geotest::C(1, 2));
    two.AddPoint(geotest::C(1, 2));
    two.AddPoint(geotest::C(3, 4));
    Obj a, b;
    ASSERT_EQ(geobridge_geometry_to_object(&one.so, &ne, a.p, 0), 1);
    ASSERT_EQ(geobridge_geometry_to_object(&two.so, &ne, b.p, 0), 1);
    EXPECT_EQ(a->type, MAPOBJ_POINT);
    EXPECT_EQ(a->u.point.location.y, 2);
    EXPECT_EQ(b->type, MAPOBJ_MULTIPOINT);
    EXPECT_EQ(b->u.multipoint.count, 2);

    // A collection of a region and a multipoint: polygons first, then
    // points; back, a collection with both parts.
    Obj coll(MAPOBJ_COLLECTION);
    Obj region, points;
    enctest::Poly(region, MAPOBJ_REGION, {{0, kSquare}});
    enctest::Multipoint(points, {{50, 50}, {60, 60}});
    ASSERT_EQ(mapobjx_collection_set_part(coll.p, region.p, 1), 1);
    ASSERT_EQ(mapobjx_collection_set_part(coll.p, points.p, 1), 1);
    Geometry g(coll.p, ne);
    ASSERT_EQ(g.result, 1);
    ASSERT_EQ(g.count(), 3u);
    EXPECT_EQ(g.at(0)->type, KTGEO_POLYGON);
    EXPECT_EQ(g.at(1)->type, KTGEO_POINT);
    EXPECT_EQ(g.at(2)->geom.point.coord.x, 60.0);
    Obj back;
    ASSERT_EQ(geobridge_geometry_to_object(&g.so, &ne, back.p, 0), 1);
    EXPECT_EQ(back->type, MAPOBJ_COLLECTION);
    EXPECT_EQ(mapobjx_collection_has_region(back.p), 1);
    EXPECT_EQ(mapobjx_collection_has_multipoint(back.p), 1);
    EXPECT_EQ(mapobjx_collection_has_polyline(back.p), 0);
}

TEST_F(bridge, LatLongRoundTripWithinOneIntegerStep) {
    const CoordXform ll = enctest::Xform(enctest::kLatLong);
    Obj o;
    const std::vector<IntPoint> ring = {{-3000000, 4000000}, {-1000000, 4000000},
                                        {-1000000, 6123457}, {-3000000, 6000001}};
    enctest::Poly(o, MAPOBJ_REGION, {{0, ring}});
    const Bytes blob = enctest::Blob(o.p, ll);
    ASSERT_FALSE(blob.empty());
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    ASSERT_EQ(ktgeo_unpack_geometry_sized(blob.data(), static_cast<uint32_t>(blob.size()), &so), 1);
    Obj back;
    ASSERT_EQ(geobridge_geometry_to_object(&so, &ll, back.p, 0), 1);
    ktgeo_so_release(&so);
    const auto got = Sections(back.p);
    ASSERT_EQ(got.size(), 1u);
    ASSERT_EQ(got[0].size(), 5u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_LE(std::abs(got[0][i].x - ring[i].x), 1) << i;
        EXPECT_LE(std::abs(got[0][i].y - ring[i].y), 1) << i;
    }
}

TEST_F(bridge, IdentityConversionChangesNothing) {
    CoordConv conv;
    conv_setup_identity(&conv);
    Obj o;
    enctest::Poly(o, MAPOBJ_REGION, {{0, kSquare}});
    const std::string before = Text(Sections(o.p));
    const IntRect mbr = o->mbr;
    EXPECT_EQ(geobridge_convert_object_forward(o.p, &conv), 1);
    EXPECT_EQ(Text(Sections(o.p)), before);
    EXPECT_EQ(o->mbr.x2, mbr.x2);
}
