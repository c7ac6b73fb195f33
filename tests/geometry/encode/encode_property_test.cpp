// Round-trip properties of the encoders over seeded random map objects:
// record, bridge and SDO arrays there and back.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <tuple>

#include "encode_test_util.h"

using enctest::Obj;
using enctest::Sections;
using enctest::Text;
using geotest::Bytes;
using geotest::ToHex;

namespace {


using cvrecord_property = enctest::Runtime;
using bridge_property = enctest::Runtime;
using sdo_property = enctest::Runtime;

class RandomMapObjects {
public:
    explicit RandomMapObjects(uint32_t seed) : rng_(seed) {}

    // kinds: 1 point, 2 line, 4 polyline, 5 region, 13 multipoint, 14 collection.
    void Fill(Obj& o, int kind) {
        switch (kind) {
            case MAPOBJ_POINT: enctest::Point(o, Coord(), Coord()); break;
            case MAPOBJ_LINE: enctest::Line(o, Pt(), Pt()); break;
            case MAPOBJ_POLYLINE: Polyline(o); break;
            case MAPOBJ_REGION: Region(o); break;
            case MAPOBJ_MULTIPOINT: Points(o); break;
            default: {
                mapobj_set_type(o.p, MAPOBJ_COLLECTION);
                Obj rg, pl, mp;
                Region(rg);
                Polyline(pl);
                Points(mp);
                for (Obj* part : {&rg, &pl, &mp}) mapobjx_normalize(part->p, 0);
                if (Int(0, 1)) mapobjx_collection_set_part(o.p, rg.p, 1);
                if (Int(0, 1)) mapobjx_collection_set_part(o.p, pl.p, 1);
                mapobjx_collection_set_part(o.p, mp.p, 1);
            }
        }
        mapobjx_normalize(o.p, 0);
    }

private:
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    int32_t Coord() { return Int(-1000000, 1000000); }
    IntPoint Pt() { return IntPoint{Coord(), Coord()}; }

    // A simple ring of 3 to 6 corners around a centre (star-shaped: angles
    // increasing), either way round.
    std::vector<IntPoint> Ring() {
        const int n = Int(3, 6);
        const double cx = Int(-500000, 500000), cy = Int(-500000, 500000);
        std::vector<IntPoint> r;
        for (int k = 0; k < n; ++k) {
            const double a = (k + std::uniform_real_distribution<double>(0.1, 0.9)(rng_)) *
                             (2 * 3.141592653589793 / n);
            const double radius = Int(1000, 400000);
            r.push_back(IntPoint{static_cast<int32_t>(cx + radius * std::cos(a)),
                                 static_cast<int32_t>(cy + radius * std::sin(a))});
        }
        if (Int(0, 1)) std::reverse(r.begin(), r.end());
        return r;
    }

    void Polyline(Obj& o) {
        mapobj_set_type(o.p, MAPOBJ_POLYLINE);
        for (int s = Int(1, 3); s > 0; --s) {
            std::vector<IntPoint> pts;
            for (int i = Int(2, 6); i > 0; --i) pts.push_back(Pt());
            Add(o, pts);
        }
        mapobj_update_mbr(o.p);
        const IntPoint c = Pt();
        mapobjx_set_center(o.p, &c, 0);
    }

    void Region(Obj& o) {
        mapobj_set_type(o.p, MAPOBJ_REGION);
        std::vector<int32_t> holes;
        for (int g = Int(1, 2); g > 0; --g) {
            const int h = Int(0, 2);
            holes.push_back(h);
            Add(o, Ring());
            for (int k = 0; k < h; ++k) {
                holes.push_back(0);
                Add(o, Ring());
            }
        }
        MapSection* hd = mapobj_lock_sections(o.p, 0);
        for (size_t i = 0; i < holes.size(); ++i) hd[i].holes = holes[i];
        mapobj_unlock_sections(o.p, hd, 0);
        mapobj_update_mbr(o.p);
        const IntPoint c = Pt();
        mapobjx_set_center(o.p, &c, 0);
    }

    void Points(Obj& o) {
        std::vector<IntPoint> pts;
        for (int i = Int(2, 6); i > 0; --i) pts.push_back(Pt());
        enctest::Multipoint(o, pts);
        const IntPoint c = Pt();
        o->u.multipoint.center = c;
    }

    static void Add(Obj& o, const std::vector<IntPoint>& pts) {
        int32_t first = 0;
        mapobjx_add_section(o.p, static_cast<int32_t>(pts.size()), &first);
        mapobjx_insert_nodes(o.p, first, 0, pts.data(), static_cast<int32_t>(pts.size()), nullptr,
                             nullptr);
    }

    std::mt19937 rng_;
};

const int kKinds[] = {MAPOBJ_POINT, MAPOBJ_LINE, MAPOBJ_POLYLINE, MAPOBJ_REGION,
                      MAPOBJ_MULTIPOINT, MAPOBJ_COLLECTION};

}  // namespace

TEST_F(cvrecord_property, DecodeThenEncodeGivesTheSameRecord) {
    RandomMapObjects gen(11);
    for (int i = 0; i < 600; ++i) {
        const int kind = kKinds[i % 6];
        Obj o;
        gen.Fill(o, kind);
        const Bytes first = enctest::Record(o.p, ne).bytes;
        Obj back;
        ASSERT_EQ(blob_to_object(first.data(), static_cast<int32_t>(first.size()),
                                 &g_default_style_set, &ne, back.p, 1),
                  1)
            << i;
        Bytes again = enctest::Record(back.p, ne).bytes;
        Bytes want = first;
        if (first[0] == MAPOBJ_POLYLINE || first[0] == MAPOBJ_REGION) {
            // The classic centre is computed again, not read.
            std::memset(want.data() + 37, 0, 16);
            if (again.size() > 53) std::memset(again.data() + 37, 0, 16);
        }
        ASSERT_EQ(ToHex(again), ToHex(want)) << i << " kind " << kind;
    }
}

// The geometry of an object as text: sections of polylines and regions,
// the nodes of multipoints, a collection's parts in order.
static std::string Geometry(MapObject* o) {
    std::ostringstream text;
    switch (o->type) {
        case MAPOBJ_MULTIPOINT: {
            const IntPoint* n = static_cast<const IntPoint*>(o->nodes);
            text << "M" << Text({std::vector<IntPoint>(n, n + o->u.multipoint.count)});
            break;
        }
        case MAPOBJ_COLLECTION:
            text << "C";
            for (MapHandle h : {o->region_handle, o->polyline_handle, o->multipoint_handle})
                if (h) text << Geometry(mapobj_lock(h));
            break;
        default: text << o->type << Text(Sections(o)); break;
    }
    return text.str();
}

TEST_F(bridge_property, ThereAndBackGivesTheSameSections) {
    RandomMapObjects gen(12);
    for (int i = 0; i < 600; ++i) {
        const int kind = kKinds[i % 6];
        Obj o;
        gen.Fill(o, kind);
        SpatialObject so;
        ktgeo_so_init_empty(&so);
        ASSERT_EQ(geobridge_object_to_geometry(o.p, &ne, &so), 1) << i;
        // Through the blob, as the upload's trace reads it back.
        const Bytes blob = geotest::Pack(&so);
        ktgeo_so_release(&so);
        ktgeo_so_init_empty(&so);
        ASSERT_EQ(ktgeo_unpack_geometry_sized(blob.data(), static_cast<uint32_t>(blob.size()), &so), 1);
        Obj back;
        ASSERT_EQ(geobridge_geometry_to_object(&so, &ne, back.p, 0), 1) << i;
        ktgeo_so_release(&so);
        if (kind == MAPOBJ_POINT) {
            ASSERT_EQ(back->type, MAPOBJ_POINT);
            EXPECT_EQ(back->u.point.location.x, o->u.point.location.x);
            EXPECT_EQ(back->u.point.location.y, o->u.point.location.y);
            continue;
        }
        if (kind == MAPOBJ_LINE) {
            // A line comes back as a polyline of one section.
            std::ostringstream want;
            want << MAPOBJ_POLYLINE << Text({{o->u.line.start, o->u.line.end}});
            EXPECT_EQ(Geometry(back.p), want.str());
            continue;
        }
        // A collection of one kind comes back as an object of that kind.
        std::string got = Geometry(back.p);
        if (kind == MAPOBJ_COLLECTION && back->type != MAPOBJ_COLLECTION) got = "C" + got;
        ASSERT_EQ(got, Geometry(o.p)) << i << " kind " << kind;
    }
}

// The blob road builds simple objects over lent storage: its bytes and
// answers are those of packing what the bridge builds, for every kind,
// including the objects the road hands to the bridge (several sections,
// holes, rings or lines that lose nodes, empty rectangles).
TEST_F(bridge_property, BlobRoadGivesThePackedBridgeGeometry) {
    const CoordXform ll = enctest::Xform(enctest::kLatLong);
    std::vector<std::unique_ptr<Obj>> objects;
    auto add = [&] { return objects.emplace_back(std::make_unique<Obj>()).get(); };
    RandomMapObjects gen(14);
    for (int i = 0; i < 600; ++i) gen.Fill(*add(), kKinds[i % 6]);
    const IntPoint a{10, 20}, b{10, 20}, c{500, -40}, centre{7, 7};
    enctest::Point(*add(), 3, 4);
    enctest::Line(*add(), a, c);
    enctest::Line(*add(), a, b);
    enctest::Line(*add(), c, a);
    Obj* wide = add();  // a rectangle that is not the ends'
    enctest::Line(*wide, a, c);
    wide->p->mbr.y2 += 7;
    enctest::Poly(*add(), MAPOBJ_POLYLINE, {{0, {a, c, {900, 900}}}}, &centre);
    enctest::Poly(*add(), MAPOBJ_POLYLINE, {{0, {a, b}}});
    enctest::Poly(*add(), MAPOBJ_POLYLINE, {{0, {a, b, c, c}}});
    enctest::Poly(*add(), MAPOBJ_REGION, {{0, {{0, 0}, {4, 0}, {4, 2}, {0, 2}}}});
    enctest::Poly(*add(), MAPOBJ_REGION, {{0, {{0, 0}, {0, 0}, {4, 0}, {4, 0}}}});
    enctest::Poly(*add(), MAPOBJ_REGION, {{0, {{0, 0}, {4, 0}, {8, 0}}}});
    enctest::Poly(*add(), MAPOBJ_REGION, {{1, {{0, 0}, {9, 0}, {9, 9}}}});
    enctest::Multipoint(*add(), {a, b, c});
    enctest::Rect(*add(), MAPOBJ_RECT, IntRect{0, 0, 4, 2});
    enctest::Rect(*add(), MAPOBJ_ELLIPSE, IntRect{0, 0, 40, 20});
    Obj* empty = add();
    mapobj_set_type(empty->p, MAPOBJ_POLYLINE);
    Obj* text = add();
    mapobj_set_type(text->p, MAPOBJ_TEXT);
    int simple = 0;
    for (const CoordXform* xf : {static_cast<const CoordXform*>(&ne), &ll}) {
        for (size_t i = 0; i < objects.size(); ++i) {
            MapObject* o = objects[i]->p;
            int16_t answer = 0;
            const Bytes road = enctest::RoadBlob(o, *xf, &answer);
            SpatialObject so;
            ktgeo_so_init_empty(&so);
            const int16_t bridged = geobridge_object_to_geometry(o, xf, &so);
            Bytes want;
            if (bridged == 1) want = geotest::Pack(&so);
            simple += bridged == 1 && so.primitives && so.primitives->tally == 1;
            ktgeo_so_release(&so);
            ASSERT_EQ(answer, bridged) << i << " type " << o->type;
            ASSERT_EQ(ToHex(road), ToHex(want)) << i << " type " << o->type;
        }
    }
    EXPECT_GT(simple, 300);
}

// The blob road transforms coordinates and rectangles itself: what it
// stores must be the transform's own values, to the bit.
TEST_F(bridge_property, BlobRoadStoresTheTransformsValues) {
    const CoordXform ll = enctest::Xform(enctest::kLatLong);
    RandomMapObjects gen(15);
    int checked = 0;
    for (const CoordXform* xf : {static_cast<const CoordXform*>(&ne), &ll}) {
        for (int i = 0; i < 200; ++i) {
            const int kind = kKinds[i % 4];  // point, line, polyline, region
            Obj o;
            gen.Fill(o, kind);
            if ((kind == MAPOBJ_POLYLINE || kind == MAPOBJ_REGION) && Sections(o.p).size() != 1) continue;
            ++checked;
            const Bytes road = enctest::RoadBlob(o.p, *xf);
            ASSERT_FALSE(road.empty()) << i;
            SpatialObject so;
            ktgeo_so_init_empty(&so);
            ASSERT_EQ(ktgeo_unpack_geometry_sized(road.data(), static_cast<uint32_t>(road.size()), &so), 1);
            std::vector<IntPoint> nodes;
            if (kind == MAPOBJ_POINT) nodes = {o->u.point.location};
            if (kind == MAPOBJ_LINE) nodes = {o->u.line.start, o->u.line.end};
            for (const auto& section : Sections(o.p)) nodes.insert(nodes.end(), section.begin(), section.end());
            std::vector<DPoint> want(nodes.size());
            xform_int_to_xy(nodes.data(), want.data(), xf, static_cast<int32_t>(nodes.size()));
            std::vector<GeoCoord> got;
            const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(so.primitives->data);
            const GeoCurve* curve = p->type == KTGEO_CURVE     ? &p->geom.curve
                                    : p->type == KTGEO_POLYGON ? static_cast<const GeoCurve*>(
                                                                     p->geom.polygon.exterior.curves->data)
                                                               : nullptr;
            if (curve) {
                const GeoCoord* c = static_cast<const GeoCoord*>(curve->coords->data);
                got.assign(c, c + curve->coords->tally);
            } else {
                got = {p->geom.point.coord};
            }
            if (kind == MAPOBJ_REGION && got.size() + 1 == want.size()) want.pop_back();  // closing node
            ASSERT_EQ(got.size(), want.size()) << i << " kind " << kind;
            for (size_t k = 0; k < got.size(); ++k) {
                EXPECT_EQ(got[k].x, want[k].x) << i << " kind " << kind << " node " << k;
                EXPECT_EQ(got[k].y, want[k].y) << i << " kind " << kind << " node " << k;
            }
            DRect r;
            xform_int_rect_to_xy(&o->mbr, &r, xf);
            drect_normalise(&r);
            EXPECT_EQ(so.env_min.x, r.x1) << i;
            EXPECT_EQ(so.env_min.y, r.y1) << i;
            EXPECT_EQ(so.env_max.x, r.x2) << i;
            EXPECT_EQ(so.env_max.y, r.y2) << i;
            ktgeo_so_release(&so);
        }
    }
    EXPECT_GT(checked, 200);
}

TEST_F(sdo_property, EncodeDecodeEncodeGivesTheSameArrays) {
    RandomMapObjects gen(13);
    const auto encode = [&](MapObject* o) {
        SdoGeometry g;
        sdo_reset(&g);
        SdoArrays a{nullptr, nullptr, nullptr, &g};
        EXPECT_EQ(object_to_sdo(o, &ne, &a, 0, 1, 0), 1);
        std::vector<double> ords(g.ords, g.ords + g.ord_count);
        std::vector<int32_t> elem(g.elem, g.elem + g.elem_count);
        sdo_free_arrays(&a);
        return std::make_tuple(g, elem, ords);
    };
    for (int i = 0; i < 600; ++i) {
        const int kind = kKinds[i % 6];
        Obj o;
        gen.Fill(o, kind);
        auto [g, elem, ords] = encode(o.p);
        SdoGeometry in = g;
        in.elem = elem.data();
        in.ords = ords.data();
        Obj back;
        int16_t short_codes = -1;
        ASSERT_EQ(sdo_to_object(&in, &g_default_style_set, &ne, back.p, &short_codes), 1) << i;
        auto [g2, elem2, ords2] = encode(back.p);
        EXPECT_EQ(g2.gtype, g.gtype) << i;
        EXPECT_EQ(g2.point_x, g.point_x) << i;
        EXPECT_EQ(g2.point_y, g.point_y) << i;
        ASSERT_EQ(elem2, elem) << i << " kind " << kind;
        ASSERT_EQ(ords2, ords) << i << " kind " << kind;
    }
}
