// Geometry blobs: our bytes against the golden blobs written from the
// layouts, the compact-form decisions, refusals and their reports, the
// older versions read, coordinate-system ids, and round-trip properties
// over seeded random objects.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "blob_test_util.h"
#include "geometry/ktgeo_model.h"

using geotest::Bytes;
using geotest::C;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::Golden;
using geotest::Object;
using geotest::Pack;
using geotest::Path;
using geotest::Polygon;
using geotest::Square;
using geotest::StdoutCapture;
using geotest::ToHex;

namespace {

// Bytes of a blob body put together by hand; Finish prefixes the length.
struct Body {
    Bytes b;
    Body& s(const std::string& letters) {
        b.insert(b.end(), letters.begin(), letters.end());
        return *this;
    }
    Body& u32(uint32_t v) {
        uint8_t x[4];
        byte_put_ui4(x, v);
        b.insert(b.end(), x, x + 4);
        return *this;
    }
    Body& f8(double v) {
        uint8_t x[8];
        byte_put_f8(x, v);
        b.insert(b.end(), x, x + 8);
        return *this;
    }
    Body& xy(double x, double y) { return s("2").f8(x).f8(y); }
    Bytes Finish() const {
        Bytes out(4);
        byte_put_ui4(out.data(), static_cast<uint32_t>(b.size() + 4));
        out.insert(out.end(), b.begin(), b.end());
        return out;
    }
};

GeoPath RingPath(GeoCurve curve, int32_t direction) {
    curve.direction = direction;
    curve.closed = 1;
    GeoPath p = Path({curve}, 1, 1);
    p.direction = direction;
    return p;
}

GeometricPrimitive* Last(Object& o) { return o.Primitive(o.so.primitives->tally - 1); }

void SetEnvelope(GeometricPrimitive* p, GeoCoord min, GeoCoord max) {
    p->env_min = min;
    p->env_max = max;
}

struct Unpacked {
    Object o;
    int result = 0;
    explicit Unpacked(const Bytes& b) {
        result = ktgeo_unpack_geometry_sized(b.data(), static_cast<uint32_t>(b.size()), &o.so);
    }
};

}  // namespace

// Objects built by hand pack to the golden bytes.
TEST(blob_pack, WritersGiveTheGoldenBytes) {
    struct Case {
        const char* golden;
        std::function<void(Object&)> build;
    };
    const Case cases[] = {
        {"kt02_two_points",
         [](Object& o) {
             o.AddPoint(C(1, 2));
             o.AddPoint(C(5, 6));
             o.so.csid = 3;
             o.so.env_min = C(1, 2);
             o.so.env_max = C(5, 6);
             o.so.centroid = C(3, 4);
         }},
        {"kt02_polygon_without_interiors",
         [](Object& o) {
             o.AddPolygon(Polygon(RingPath(Square(0, 0, 1), KTGEO_DIR_NONE)))->valid = 1;
             SetEnvelope(Last(o), C(0, 0), C(1, 1));
             o.so.env_min = C(0, 0);
             o.so.env_max = C(1, 1);
             o.so.centroid = C(0.5, 0.5);
             o.so.second_point = C(0, 0);
         }},
        {"kt02_polygon_empty_interiors",
         [](Object& o) {
             GeoPolygon* g = o.AddPolygon(Polygon(RingPath(Square(0, 0, 1), KTGEO_DIR_NONE)));
             g->valid = 1;
             g->interiors = ktgeo_path_list_new(nullptr);
             SetEnvelope(Last(o), C(0, 0), C(1, 1));
             o.so.env_min = C(0, 0);
             o.so.env_max = C(1, 1);
             o.so.centroid = C(0.5, 0.5);
             o.so.second_point = C(0, 0);
         }},
        {"p2dp_point",
         [](Object& o) {
             o.AddPoint(C(1.5, -2.25));
             o.so.centroid = C(1.5, -2.25);
         }},
        {"p2dp_point_id5_flag",
         [](Object& o) {
             o.AddPoint(C(1.5, -2.25));
             o.so.centroid = C(1.5, -2.25);
             o.so.csid = 5;
             o.so.flag = 1;
         }},
        {"p3dp_point",
         [](Object& o) {
             o.AddPoint(C(1, 2, 3));
             o.so.centroid = C(1, 2, 3);
         }},
        {"f2dl_line",
         [](Object& o) {
             GeoCurve c = Curve({C(0, 0), C(1, 1)});
             c.direction = KTGEO_DIR_FORWARD;
             o.AddCurve(c);
             o.so.centroid = C(0.5, 0.5);
         }},
        {"f3dl_line",
         [](Object& o) {
             GeoCurve c = Curve({C(0, 0, 2), C(1, 1)});
             c.direction = KTGEO_DIR_FORWARD;
             o.AddCurve(c);
             o.so.centroid = C(0.5, 0.5, 1);
         }},
        {"r3dl_line_id9_flag",
         [](Object& o) {
             GeoCurve c = Curve({C(0, 0, 1), C(2, 2, 1)});
             c.direction = KTGEO_DIR_REVERSE;
             o.AddCurve(c);
             o.so.centroid = C(1, 1, 1);
             o.so.csid = 9;
             o.so.flag = 1;
         }},
        {"l2dp_path",
         [](Object& o) {
             GeoPath p = Path({Curve({C(0, 0), C(1, 0)})});
             o.AddPath(p);
             o.so.centroid = C(0.5, 0);
         }},
        {"a2da_area",
         [](Object& o) {
             o.AddPolygon(Polygon(Path({Square(0, 0, 1)})));
             o.so.centroid = C(0.5, 0.5);
         }},
        {"a3da_area_id4",
         [](Object& o) {
             o.AddPolygon(Polygon(Path({Curve({C(0, 0, 7), C(1, 0, 7), C(1, 1, 7), C(0, 0, 7)})})));
             o.so.centroid = C(0.5, 0.5, 7);
             o.so.csid = 4;
         }},
        {"a2dc_circle",
         [](Object& o) {
             // The centre and radius come from the middle and first points.
             o.AddPolygon(Polygon(
                 Path({Curve({C(13, 24), C(10, 20), C(13, 24)}, KTGEO_CIRCULAR_ARC)})));
             o.so.centroid = C(10, 20);
         }},
    };
    for (const Case& c : cases) {
        Object o;
        c.build(o);
        EXPECT_EQ(ToHex(Pack(&o.so)), ToHex(Golden(c.golden))) << c.golden;
    }
    EXPECT_EQ(Golden("p2dp_point").size(), 24u);
    EXPECT_EQ(Golden("p2dp_point_id5_flag").size(), 28u);
    EXPECT_EQ(Golden("f2dl_line").size(), 60u);
}

TEST(blob_pack, CompactOnlyWhenTheObjectQualifies) {
    struct Case {
        const char* what;
        std::function<void(Object&)> build;
        const char* tag;
    };
    const Case cases[] = {
        {"centroid 1e-9 from the point",
         [](Object& o) {
             o.AddPoint(C(1, 1));
             o.so.centroid = C(1 + 1e-9, 1);
         },
         "KT02"},
        {"point with a direction",
         [](Object& o) {
             o.AddPoint(C(1, 1));
             o.so.centroid = C(1, 1);
             auto* d = static_cast<GeoPointDirection*>(qd_alloc(sizeof(GeoPointDirection)));
             *d = {0, 0, C(2, 1)};
             o.Primitive(0)->geom.point.direction = d;
         },
         "KT02"},
        {"2-D centroid, a coordinate with Z",
         [](Object& o) {
             o.AddCurve(Curve({C(0, 0, 2), C(1, 1)}));
             o.so.centroid = C(0.5, 0.5);
         },
         "KT02"},
        {"second point set",
         [](Object& o) {
             o.AddPoint(C(1, 1));
             o.so.centroid = C(1, 1);
             o.so.second_point = C(2, 2);
         },
         "KT02"},
        {"no centroid",
         [](Object& o) { o.AddCurve(Curve({C(0, 0), C(1, 1)})); },
         "KT02"},
        {"arc curve", [](Object& o) {
             o.AddCurve(Curve({C(0, 0), C(1, 1), C(2, 0)}, KTGEO_CIRCULAR_ARC));
             o.so.centroid = C(1, 0);
         },
         "KT02"},
        {"area ring of direction 0",
         [](Object& o) {
             GeoCurve c = Square(0, 0, 1);
             c.direction = KTGEO_DIR_REVERSE;
             o.AddPolygon(Polygon(Path({c})));
             o.so.centroid = C(0.5, 0.5);
         },
         "KT02"},
        {"area with an empty interiors list",
         [](Object& o) {
             o.AddPolygon(Polygon(Path({Square(0, 0, 1)})))->interiors =
                 ktgeo_path_list_new(nullptr);
             o.so.centroid = C(0.5, 0.5);
         },
         "A2DA"},
        {"area with a hole",
         [](Object& o) {
             o.AddPolygon(Polygon(Path({Square(0, 0, 4)}), {Path({Square(1, 1, 1)})}));
             o.so.centroid = C(0.5, 0.5);
         },
         "KT02"},
        {"path whose curve runs the other way",
         [](Object& o) {
             GeoPath p = Path({Curve({C(0, 0), C(1, 0)})});
             p.direction = KTGEO_DIR_FORWARD;
             o.AddPath(p);
             o.so.centroid = C(0.5, 0);
         },
         "KT02"},
        {"open three-point arc as an area is not a circle",
         [](Object& o) {
             o.AddPolygon(
                 Polygon(Path({Curve({C(0, 0), C(1, 1), C(2, 0)}, KTGEO_CIRCULAR_ARC)})));
             o.so.centroid = C(1, 0);
         },
         "KT02"},
        {"two primitives",
         [](Object& o) {
             o.AddPoint(C(1, 1));
             o.AddPoint(C(1, 1));
             o.so.centroid = C(1, 1);
         },
         "KT02"},
    };
    for (const Case& c : cases) {
        Object o;
        c.build(o);
        FailRecorder rec;
        const Bytes b = Pack(&o.so);
        ASSERT_GE(b.size(), 8u) << c.what;
        EXPECT_EQ(std::string(b.begin() + 4, b.begin() + 8), c.tag) << c.what;
        EXPECT_TRUE(rec.Codes().empty()) << c.what;
    }
}

// Every golden blob of a written form reads back and packs to the same bytes.
TEST(blob_pack, GoldenBlobsRepackByteForByte) {
    for (const char* name :
         {"kt02_two_points", "kt02_polygon_without_interiors", "kt02_polygon_empty_interiors",
          "kt02_mixed", "p2dp_point", "p2dp_point_id5_flag", "p3dp_point", "f2dl_line",
          "f3dl_line", "r3dl_line_id9_flag", "l2dp_path", "a2da_area", "a3da_area_id4",
          "a2dc_circle", "a2dc_circle_id2_flag", "l2dl_line", "kt02_region_abca", "kt02_rect"}) {
        const Bytes golden = Golden(name);
        Unpacked u(golden);
        ASSERT_EQ(u.result, 1) << name;
        EXPECT_EQ(ToHex(Pack(&u.o.so)), ToHex(golden)) << name;
    }
}

TEST(blob_unpack, MixedVersion02BlobReadsEveryField) {
    Unpacked u(Golden("kt02_mixed"));
    ASSERT_EQ(u.result, 1);
    const SpatialObject& so = u.o.so;
    EXPECT_EQ(so.flag, 1);
    EXPECT_EQ(so.env_min.z, 1.0);
    EXPECT_EQ(so.env_max.x, 10.0);
    EXPECT_EQ(so.centroid.z, 2.0);
    EXPECT_EQ(so.second_point.y, 1.0);
    EXPECT_EQ(so.second_point.z, KTGEO_NO_Z);
    ASSERT_EQ(so.primitives->tally, 10u);
    const GeoPoint& z_point = u.o.Primitive(0)->geom.point;
    EXPECT_EQ(z_point.coord.z, 3.0);
    EXPECT_EQ(u.o.Primitive(0)->env_min.x, 1.0) << "a point's envelope is the point";
    const GeoPointDirection* d = u.o.Primitive(1)->geom.point.direction;
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->word1, 7);
    EXPECT_EQ(d->word2, -1);
    EXPECT_EQ(d->toward.x, 10.5);
    EXPECT_EQ(d->toward.y, 19.75);
    EXPECT_EQ(u.o.Primitive(2)->geom.curve.curve_type, KTGEO_CIRCULAR_ARC);
    EXPECT_EQ(u.o.Primitive(2)->env_max.x, 2.0);
    const GeoCurve& x = u.o.Primitive(3)->geom.curve;
    EXPECT_EQ(x.tangent_mode, 3);
    EXPECT_EQ(x.ref.x, 5.0);
    EXPECT_EQ(x.direction, KTGEO_DIR_NONE);
    EXPECT_EQ(x.start_tangent.x, 1.0);
    EXPECT_EQ(x.start_tangent.y, 0.0);
    EXPECT_EQ(x.end_tangent.x, 6.0);
    EXPECT_EQ(x.end_tangent.y, -1.0);
    const GeoCurve& start_only = u.o.Primitive(4)->geom.curve;
    EXPECT_EQ(start_only.tangent_mode, 1);
    EXPECT_EQ(start_only.start_tangent.x, 0.5);
    EXPECT_EQ(start_only.start_tangent.y, 0.25);
    const GeoCurve& end_only = u.o.Primitive(5)->geom.curve;
    EXPECT_EQ(end_only.tangent_mode, 2);
    EXPECT_EQ(end_only.end_tangent.x, 0.5);
    EXPECT_EQ(end_only.end_tangent.y, 4.0);
    EXPECT_EQ(u.o.Primitive(6)->geom.curve.curve_type, KTGEO_BEZIER);
    const GeoPath& path = u.o.Primitive(7)->geom.path;
    ASSERT_EQ(path.curves->tally, 2u);
    EXPECT_EQ(static_cast<GeoCurve*>(nlst_index(path.curves, 1))->direction, KTGEO_DIR_REVERSE);
    EXPECT_EQ(path.closed, 0);
    const GeoPolygon& g = u.o.Primitive(8)->geom.polygon;
    ASSERT_NE(g.interiors, nullptr);
    EXPECT_EQ(g.interiors->tally, 1u);
    EXPECT_EQ(g.label.x, 5.0);
    const GeoCurve& z_curve = u.o.Primitive(9)->geom.curve;
    EXPECT_EQ(static_cast<GeoCoord*>(z_curve.coords->data)[1].z, 2.0);
    EXPECT_EQ(u.o.Primitive(9)->env_min.z, 1.0);
}

TEST(blob_unpack, CompactFormsBuildTheirPrimitive) {
    {
        Unpacked u(Golden("a2dc_circle"));
        ASSERT_EQ(u.result, 1);
        const GeoCurve* arc = static_cast<GeoCurve*>(
            u.o.Primitive(0)->geom.polygon.exterior.curves->data);
        EXPECT_EQ(arc->curve_type, KTGEO_CIRCULAR_ARC);
        const std::vector<GeoCoord> pts = geotest::Points(arc->coords);
        ASSERT_EQ(pts.size(), 3u);
        EXPECT_EQ(pts[0].x, 15.0);
        EXPECT_EQ(pts[0].y, 20.0);
        EXPECT_EQ(pts[1].x, 10.0);
        EXPECT_EQ(pts[2].x, 15.0);
        EXPECT_EQ(u.o.so.flag, 0);
    }
    {
        Unpacked u(Golden("r3dl_line_id9_flag"));
        ASSERT_EQ(u.result, 1);
        EXPECT_EQ(u.o.so.csid, 9);
        EXPECT_EQ(u.o.so.flag, 1);
        const GeoCurve& c = u.o.Primitive(0)->geom.curve;
        EXPECT_EQ(c.direction, KTGEO_DIR_REVERSE);
        EXPECT_EQ(u.o.so.centroid.z, 1.0);
    }
    {
        Unpacked u(Golden("p2dp_point"));
        ASSERT_EQ(u.result, 1);
        EXPECT_EQ(u.o.so.centroid.x, 1.5) << "the completion step gives the centroid";
        EXPECT_EQ(u.o.so.centroid.z, KTGEO_NO_Z);
    }
    {
        Unpacked u(Golden("l2dp_path"));
        ASSERT_EQ(u.result, 1);
        const GeoPath& p = u.o.Primitive(0)->geom.path;
        EXPECT_EQ(p.direction, KTGEO_DIR_NONE);
        EXPECT_EQ(p.curves->tally, 1u);
    }
}

TEST(blob_unpack, OlderVersions) {
    {
        Unpacked u(Golden("kt01_id7_empty"));
        ASSERT_EQ(u.result, 1);
        EXPECT_EQ(u.o.so.csid, 7);
        EXPECT_EQ(u.o.so.flag, 1);
    }
    {
        Unpacked u(Golden("kt01_points_and_tangent"));
        ASSERT_EQ(u.result, 1);
        EXPECT_EQ(u.o.so.centroid.x, 2.0);
        ASSERT_EQ(u.o.so.primitives->tally, 2u);
        const GeoCurve& c = u.o.Primitive(1)->geom.curve;
        EXPECT_EQ(c.tangent_mode, 1);
        EXPECT_DOUBLE_EQ(c.start_tangent.x, 1.0) << "first point plus the unit vector at 0";
        EXPECT_DOUBLE_EQ(c.start_tangent.y, 0.0);
        EXPECT_EQ(c.end_tangent.x, 4.0) << "the last coordinate";
    }
    {
        Unpacked u(Golden("kt00_centroid_only"));
        ASSERT_EQ(u.result, 1);
        EXPECT_EQ(u.o.so.flag, 1);
        EXPECT_EQ(u.o.so.centroid.x, 3.0);
        EXPECT_EQ(u.o.so.centroid.y, 4.0);
        EXPECT_EQ(u.o.so.primitives, nullptr);
    }
    {
        Unpacked u(Golden("kt00_polygon_with_hole"));
        ASSERT_EQ(u.result, 1);
        ASSERT_EQ(u.o.so.primitives->tally, 2u);
        const GeoPolygon& g = u.o.Primitive(0)->geom.polygon;
        ASSERT_NE(g.interiors, nullptr);
        EXPECT_EQ(g.interiors->tally, 1u);
        EXPECT_EQ(g.valid, 1) << "the quiet check ran";
        EXPECT_EQ(u.o.so.env_max.x, 10.0) << "the envelope was computed";
        const GeoPointDirection* d = u.o.Primitive(1)->geom.point.direction;
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->word1, 3);
        EXPECT_EQ(d->word2, 4);
        EXPECT_DOUBLE_EQ(d->toward.x, 2.0);
        EXPECT_DOUBLE_EQ(d->toward.y, 1.0);
    }
}

// The record readers of the older versions, each on its own over a body
// that starts after its introducing letter.
TEST(blob_unpack, OlderVersionPieceReaders) {
    const auto reader = [](const Bytes& bytes, BlobBuffer* r) { ktgeo_blob_open(r, bytes.data()); };
    const auto f4 = [](Body& b, float v) {
        uint8_t x[4];
        byte_put_f4(x, v);
        b.b.insert(b.b.end(), x, x + 4);
    };
    BlobBuffer r;
    {
        // Version 01 KT_Curve: ref, closed, direction, invalid, type, the
        // coordinates and a start tangent stored as the angle pi/2.
        Body b;
        b.s("bfFfH").u32(2).xy(0, 0).xy(4, 0).s("<");
        f4(b, static_cast<float>(M_PI / 2));
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        GeoCurve c;
        ASSERT_EQ(unpack01_curve(&r, &c), 1);
        EXPECT_EQ(c.curve_type, KTGEO_KT_CURVE);
        EXPECT_EQ(c.direction, KTGEO_DIR_FORWARD);
        EXPECT_EQ(c.tangent_mode, 1);
        EXPECT_NEAR(c.start_tangent.x, 0.0, 1e-7);
        EXPECT_NEAR(c.start_tangent.y, 1.0, 1e-7);
        EXPECT_EQ(c.end_tangent.x, 4.0) << "the last coordinate";
        EXPECT_EQ(ktgeo_blob_at_end(&r), 1);
        ktgeo_curve_release(&c, nullptr);
    }
    {
        // Version 00 curve: type and direction letters, no ref or flags.
        Body b;
        b.s("LR").u32(2).xy(1, 2).xy(3, 4);
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        GeoCurve c;
        ASSERT_EQ(unpack00_curve(&r, &c), 1);
        EXPECT_EQ(c.curve_type, KTGEO_POLYLINE);
        EXPECT_EQ(c.direction, KTGEO_DIR_REVERSE);
        EXPECT_EQ(c.coords->tally, 2u);
        EXPECT_TRUE(ktgeo_coord_is_unset(c.ref));
        ktgeo_curve_release(&c, nullptr);
    }
    {
        // Version 00 dynamic point: two words kept, one dropped, an angle.
        Body b;
        b.s("D").xy(5, 5).u32(1).u32(2).u32(99);
        f4(b, 0.0f);
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        GeoPoint p;
        ASSERT_EQ(unpack00_point(&r, &p), 1);
        ASSERT_NE(p.direction, nullptr);
        EXPECT_EQ(p.direction->word1, 1);
        EXPECT_EQ(p.direction->word2, 2);
        EXPECT_DOUBLE_EQ(p.direction->toward.x, 6.0);
        EXPECT_DOUBLE_EQ(p.direction->toward.y, 5.0);
        ktgeo_point_release(&p);
    }
    {
        // Version 00 polygon with one hole record, and version 01 path.
        Body b;
        b.s("tIlLN").u32(2).xy(0, 0).xy(1, 0).s("0").s("rtO").s("lLN").u32(1).xy(0, 1).s("0").s("0");
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        GeoPolygon g;
        ASSERT_EQ(unpack00_polygon(&r, &g), 1);
        EXPECT_EQ(g.valid, 1);
        ASSERT_NE(g.interiors, nullptr);
        EXPECT_EQ(g.interiors->tally, 1u);
        EXPECT_EQ(static_cast<GeoPath*>(g.interiors->data)->closed, 1) << "the hole record's letter";
        EXPECT_EQ(ktgeo_blob_at_end(&r), 1);
        ktgeo_polygon_release(&g);

        Body pb;
        pb.s("c").xy(7, 8).s("ttR").s("lbfNfL").u32(1).xy(0, 0).s("0");
        const Bytes path_bytes = pb.Finish();
        reader(path_bytes, &r);
        GeoPath path;
        ASSERT_EQ(unpack01_path(&r, &path), 1);
        EXPECT_EQ(path.ref.x, 7.0);
        EXPECT_EQ(path.direction, KTGEO_DIR_REVERSE);
        EXPECT_EQ(path.curves->tally, 1u);
        ktgeo_path_release(&path, nullptr);
    }
    {
        // Coordinates, lists, positions and envelopes; the version 00
        // geometry reader takes "c" as the object's centroid.
        Body b;
        b.s("3").f8(1).f8(2).f8(3).u32(2).xy(1, 1).xy(2, 2).s("c").xy(9, 9).s("e2");
        b.f8(0).f8(0).f8(5).f8(6);
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        GeoCoord c, min, max, centroid;
        nlst* list = nullptr;
        ASSERT_EQ(unpack00_coord(&r, &c), 1);
        EXPECT_EQ(c.z, 3.0);
        ASSERT_EQ(unpack01_coord_list(&r, &list), 1);
        EXPECT_EQ(list->tally, 2u);
        nlst_free(list);
        ASSERT_EQ(unpack01_centroid(&r, &centroid), 1);
        EXPECT_EQ(centroid.x, 9.0);
        ASSERT_EQ(unpack01_envelope(&r, &min, &max), 1);
        EXPECT_EQ(max.y, 6.0);
        EXPECT_EQ(min.z, KTGEO_NO_Z);

        Body g;
        g.s("c").xy(3, 4).s("0");
        const Bytes geometry = g.Finish();
        reader(geometry, &r);
        Object o;
        ASSERT_EQ(unpack00_geometry(&r, &o.so), 1);
        EXPECT_EQ(o.so.centroid.y, 4.0);
        EXPECT_EQ(o.so.primitives->tally, 0u);
    }
    {
        // A version 01 primitive list: a point and its envelope, then "0".
        FailRecorder rec;
        Body b;
        b.s("pP").xy(1, 2).s("d0");
        const Bytes bytes = b.Finish();
        reader(bytes, &r);
        Object o;
        ASSERT_EQ(unpack01_geometry(&r, &o.so), 1);
        ASSERT_EQ(o.so.primitives->tally, 1u);
        EXPECT_EQ(o.Primitive(0)->env_min.y, 2.0) << "a point's envelope is the point";
        // An unknown letter names the version's reader.
        Body bad;
        bad.s("q");
        const Bytes bad_bytes = bad.Finish();
        reader(bad_bytes, &r);
        Object o2;
        EXPECT_EQ(unpack01_geometry(&r, &o2.so), 0);
        EXPECT_EQ(rec.Last().Get("function"), "unpack01_geometry");
    }
}

TEST(blob_unpack, RefusalsAndTheirReports) {
    const Body kt02_head = Body().s("KT02").u32(0).s("d").s("f").s("b").s("b");
    struct Case {
        const char* what;
        Bytes blob;
        int result;
        std::string code, function, param;
    };
    const Case cases[] = {
        {"extra byte after the end", Body(kt02_head).s("0x").Finish(), 0, "UKT_1",
         "unpack02_spatialobject", "so"},
        {"unknown tag", Body().s("KT03").Finish(), 0, "UKT_I", "", ""},
        {"envelope dimension 4", Body().s("KT02").u32(0).s("e4").Finish(), 0, "UKT_1",
         "unpack02_envelope", "b"},
        {"object flag letter", Body().s("KT02").u32(0).s("dq").Finish(), 0, "UKT_1",
         "unpack02_spatialobject", "so"},
        {"unknown primitive letter", Body(kt02_head).s("z").Finish(), 0, "UKT_1",
         "unpack02_geometry", "b"},
        {"KT_Curve without coordinates", Body(kt02_head).s("lbfNfH").u32(0).s("-d0").Finish(),
         0, "", "", ""},
        {"closed letter x is tolerated",
         Body(kt02_head).s("lbxFfL").u32(2).xy(0, 0).xy(1, 1).s("d0").Finish(), 1, "UKT_1",
         "unpack02_curve", "b"},
        {"unknown path direction", Body(kt02_head).s("hbttQ").Finish(), 0, "UKT_1",
         "unpack02_path", "b"},
        {"polygon exterior without h", Body(kt02_head).s("rbtOl").Finish(), 0, "UKT_1",
         "unpack02_polygon", "b"},
        {"unknown curve type", Body(kt02_head).s("lbfFfQ").Finish(), 0, "UKT_1",
         "unpack02_curve", "b"},
        {"coordinate dimension 4", Body(kt02_head).s("pP4").Finish(), 0, "UKT_1",
         "unpack02_coord", "b"},
        {"position marker", Body().s("KT02").u32(0).s("dfx").Finish(), 0, "UKT_1",
         "unpack02_centroid", "b"},
        {"point letter", Body(kt02_head).s("pQ").Finish(), 0, "UKT_1", "unpack02_point", "b"},
        {"count past the end", Body(kt02_head).s("lbfFfL").u32(0xFFFFFFFFu).s("d0").Finish(), 0,
         "", "", ""},
        {"list cut short", Body(kt02_head).s("lbfFfL").u32(2).xy(0, 0).s("3").f8(1).Finish(), 0,
         "", "", ""},
        {"a bad coordinate letter in a polyline's list: the list is dropped, reading goes on",
         Body(kt02_head).s("lbfFfL").u32(1).s("9d0").s(std::string(14, '0')).Finish(), 0, "UKT_1",
         "unpack02_coord", "b"},
        {"version 01 first letter", Body().s("KT01x").Finish(), 0, "UKT_1",
         "unpack01_spatialobject", "so"},
        {"version 01 end check", Body().s("KT01fdbb0x").Finish(), 0, "UKT_1",
         "unpack01_spatialobject", "so"},
        {"version 00 byte after 0", Body().s("KT00f0x").Finish(), 0, "UKT_1",
         "unpack00_spatailobject", "b"},
        {"version 00 flag", Body().s("KT00x").Finish(), 0, "UKT_1", "unpack00_spatailobject",
         "b"},
        {"version 00 unknown curve type is tolerated",
         Body().s("KT00flQN").u32(2).xy(0, 0).xy(1, 1).s("0").Finish(), 1, "UKT_1",
         "unpack00_curve", "b"},
        {"version 00 hole record with I", Body().s("KT00frtIlLN").u32(0).s("0rtI").Finish(), 0,
         "UKT_1", "unpack00_polygon", "b"},
        {"compact extra byte", Body().s("P2DP").f8(1).f8(2).s("x").Finish(), 0, "UKT_1",
         "unpack_p2dp", "b"},
        {"compact short", Body().s("P2DP").f8(1).Finish(), 0, "", "", ""},
        {"compact count past the end", Body().s("L2DL").f8(0).f8(0).u32(0xFFFFFFFFu).Finish(), 0,
         "", "", ""},
        {"compact count one too many", Body().s("F2dL").u32(1).f8(0).f8(0).u32(2).f8(1).f8(1).Finish(),
         0, "", "", ""},
        {"circle extra byte", Body().s("A2DC").f8(0).f8(0).f8(0).f8(0).f8(1).s("x").Finish(), 0,
         "UKT_1", "unpack_c2da", "b"},
        {"OGC body cut in its header", Body().s("OGC0").s("x").Finish(), 0, "UKT_1",
         "ktgeo_ogc_port_decode", "TOO BIG"},
        {"CV body cut in its rectangle", Body().s("CV01").u32(3).s("x").Finish(), 0, "UKT_1",
         "cvtran_decode_f8", "TOO BIG"},
    };
    for (const Case& c : cases) {
        FailRecorder rec;
        auto out = std::make_unique<StdoutCapture>();
        const uint64_t calls = qd_alloc_state.calls;
        Unpacked u(c.blob);
        out.reset();
        EXPECT_LT(qd_alloc_state.calls - calls, 40u) << c.what;
        EXPECT_EQ(u.result, c.result) << c.what;
        if (c.code.empty()) {
            EXPECT_TRUE(rec.Codes().empty()) << c.what;
            continue;
        }
        ASSERT_FALSE(rec.Codes().empty()) << c.what;
        EXPECT_EQ(rec.reports()[0].code, c.code) << c.what;
        EXPECT_EQ(rec.reports()[0].Get("function"), c.function) << c.what;
        EXPECT_EQ(rec.reports()[0].Get("param"), c.param) << c.what;
    }
}

// A count of 0xFFFFFFFF is refused before anything is reserved for it: the
// read makes exactly the allocations of a blob that ends where the count
// would start.
TEST(blob_unpack, HugeCountsReserveNothing) {
    const Body head = Body().s("KT02").u32(0).s("dfbb").s("lbfFfL");
    const auto allocations = [](const Bytes& blob) {
        const uint64_t before = qd_alloc_state.calls;
        Unpacked u(blob);
        EXPECT_EQ(u.result, 0);
        return qd_alloc_state.calls - before;
    };
    EXPECT_EQ(allocations(Body(head).u32(0xFFFFFFFFu).s("d0").Finish()),
              allocations(Body(head).Finish()));
    const Body compact = Body().s("L3dL").u32(1).f8(0).f8(0).f8(0);
    EXPECT_EQ(allocations(Body(compact).u32(0xFFFFFFFFu).Finish()), allocations(compact.Finish()));
}

TEST(blob_unpack, TagTextsProbeSelectorAndSizedEntry) {
    FailRecorder rec;
    StdoutCapture out;
    const Bytes odd = Body().s(std::string("\0\0AB", 4)).Finish();
    Object o;
    EXPECT_EQ(ktgeo_unpack_geometry(odd.data(), &o.so), 0);
    EXPECT_EQ(rec.Last().code, "UKT_I");
    EXPECT_EQ(rec.Last().Get("type"), "x00x00AB");
    rec.Clear();
    const Bytes kt03 = Body().s("KT03").Finish();
    EXPECT_EQ(ktgeo_unpack_tagged(kt03.data(), &o.so, 1, -1), 0);
    EXPECT_EQ(ktgeo_unpack_tagged(odd.data(), &o.so, 1, -1), 0);
    EXPECT_TRUE(rec.reports().empty()) << "probes report nothing";
    const Bytes point = Golden("p2dp_point");
    EXPECT_EQ(ktgeo_unpack_tagged(point.data(), &o.so, 1, -1), 1);
    EXPECT_EQ(o.so.primitives, nullptr) << "a probe touches nothing";
    EXPECT_EQ(ktgeo_unpack_tagged(point.data(), &o.so, 0, 3), 0);
    EXPECT_EQ(o.so.primitives, nullptr);

    // The sized entry refuses short bytes and length words beyond them.
    Bytes seven = {7, 0, 0, 0, 'K', 'T', '0'};
    EXPECT_EQ(ktgeo_unpack_geometry_sized(seven.data(), 7, &o.so), 0);
    Bytes claims = point;
    byte_put_ui4(claims.data(), 100);
    EXPECT_EQ(ktgeo_unpack_geometry_sized(claims.data(), static_cast<uint32_t>(claims.size()), &o.so), 0);
    EXPECT_EQ(ktgeo_unpack_geometry_sized(point.data(), 23, &o.so), 0);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(ktgeo_unpack_geometry_sized(point.data(), 24, &o.so), 1);
}

TEST(blob_unpack, CoordinateSystemIds) {
    struct Case {
        const char* what;
        Bytes blob;
        uint32_t csid;
        std::string code, type;
    };
    const Case cases[] = {
        {"version 02", Golden("kt02_two_points"), 3, "", ""},
        {"compact with d", Golden("p2dp_point_id5_flag"), 5, "", ""},
        {"compact with D", Golden("p2dp_point"), 0, "", ""},
        {"version 01 with s", Golden("kt01_id7_empty"), 7, "", ""},
        {"version 01 without s", Golden("kt01_points_and_tangent"), 0, "", ""},
        {"version 00", Golden("kt00_centroid_only"), 0, "", ""},
        {"CV01", Golden("cv01_record40_id7"), 7, "", ""},
        {"CV00", Golden("cv00_record40"), 0, "", ""},
        {"OGC1", Body().s("OGC1").u32(11).Finish(), 11, "", ""},
        {"id cut short", Body().s("KT02").s("ab").Finish(), 0, "UKT_J", ""},
        {"unknown tag keeps printable characters", Body().s(std::string("K\x01 ?", 4)).Finish(),
         0, "UKT_I", "Kx01 ?"},
        {"too short for a tag", Bytes{6, 0, 0, 0, 'K', 'T'}, 0, "", ""},
    };
    for (const Case& c : cases) {
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(ktgeo_unpack_csid(c.blob.data()), c.csid) << c.what;
        if (c.code.empty()) {
            EXPECT_TRUE(rec.reports().empty()) << c.what;
        } else {
            ASSERT_EQ(rec.reports().size(), 1u) << c.what;
            EXPECT_EQ(rec.Last().code, c.code) << c.what;
            if (!c.type.empty()) {
                EXPECT_EQ(rec.Last().Get("type"), c.type) << c.what;
            }
        }
    }
}

TEST(blob_pack, ObjectRecordWrapper) {
    uint8_t record[40];
    for (int i = 0; i < 40; ++i) record[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(ToHex(geotest::Take(ktgeo_pack_cv(record, 40, 0))), ToHex(Golden("cv00_record40")));
    EXPECT_EQ(ToHex(geotest::Take(ktgeo_pack_cv(record, 40, 7))),
              ToHex(Golden("cv01_record40_id7")));
    EXPECT_EQ(Golden("cv00_record40").size(), 48u);
    EXPECT_EQ(Golden("cv01_record40_id7").size(), 52u);
}

TEST(blob_pack, RefusedObjects) {
    FailRecorder rec;
    StdoutCapture out;
    Object o;
    GeometricPrimitive bad;
    ktgeo_util_primitive_init(KTGEO_POINT, &bad);
    bad.type = 9;
    o.Add(bad);
    EXPECT_EQ(ktgeo_pack_geometry(&o.so), nullptr);
    EXPECT_EQ(rec.Last().Get("function"), "pack02_goemetry");
    EXPECT_EQ(rec.Last().Get("param"), "geometry");
    // A typed object goes through the well-known binary: two points are no Point.
    Object typed;
    typed.AddPoint(C(1, 1));
    typed.AddPoint(C(2, 2));
    ktgeo_so_complete(&typed.so);
    typed.so.ogc_state = 1;
    EXPECT_EQ(ktgeo_pack_geometry(&typed.so), nullptr);
    EXPECT_EQ(rec.Last().Get("what"), "OGC Point");
    // Out of memory: null, reported once.
    Object big;
    big.AddCurve(Curve({C(0, 0), C(1, 1), C(2, 2), C(3, 3), C(4, 4), C(5, 5), C(6, 6), C(7, 7),
                        C(8, 8), C(9, 9), C(10, 10), C(11, 11), C(12, 12), C(13, 13), C(14, 14),
                        C(15, 15), C(16, 16), C(17, 17), C(18, 18), C(19, 19), C(20, 20),
                        C(21, 21), C(22, 22), C(23, 23), C(24, 24), C(25, 25), C(26, 26),
                        C(27, 27), C(28, 28), C(29, 29), C(30, 30), C(31, 31)}));
    rec.Clear();
    qd_alloc_fail_nth(1);
    EXPECT_EQ(ktgeo_pack_geometry(&big.so), nullptr);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT_0"});
}

// pack(unpack(pack(o))) = pack(o) over seeded random objects.
TEST(blob_property, RepackGivesTheSameBytes) {
    geotest::RandomObjects gen(20261210);
    StdoutCapture out;
    for (int i = 0; i < 2000; ++i) {
        Object o;
        gen.Fill(&o.so);
        const Bytes first = Pack(&o.so);
        ASSERT_GE(first.size(), 8u) << i;
        Unpacked u(first);
        ASSERT_EQ(u.result, 1) << i << " " << ToHex(first);
        ASSERT_EQ(ToHex(Pack(&u.o.so)), ToHex(first)) << i;
    }
}

TEST(blob_property, CopySharesNoListWithTheSource) {
    geotest::RandomObjects gen(77);
    StdoutCapture out;
    for (int i = 0; i < 300; ++i) {
        auto source = std::make_unique<Object>();
        gen.Fill(&source->so);
        const Bytes before = Pack(&source->so);
        Object copy;
        ASSERT_EQ(ktgeo_copy_geometry(&source->so, &copy.so), 1) << i;
        if (source->so.primitives && source->so.primitives->tally) {
            EXPECT_NE(copy.so.primitives, source->so.primitives);
        }
        source.reset();  // released: ASan sees any list the copy shared
        EXPECT_EQ(ToHex(Pack(&copy.so)), ToHex(before)) << i;
    }
    FailRecorder rec;
    Object o;
    EXPECT_EQ(ktgeo_copy_geometry(&o.so, nullptr), 0);
    EXPECT_EQ(rec.Last().code, "UKT_1");
    EXPECT_EQ(rec.Last().Get("param"), "so_copy");
}
