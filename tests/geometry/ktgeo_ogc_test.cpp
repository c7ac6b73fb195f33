// OGC forms: well-known text read and written, the scan, casts and type
// names, well-known binary both ways, the OGC blobs, nesting limits, and
// round-trip properties over seeded random objects.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "blob_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_option.h"

using geotest::Bytes;
using geotest::C;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::FromHex;
using geotest::Object;
using geotest::Path;
using geotest::Polygon;
using geotest::ToHex;
using geotest::Wkt;

namespace {

Bytes Wkb(SpatialObject* so) {
    uint8_t* b = nullptr;
    uint32_t n = 0, csid = 0;
    if (!ktgeo_ogc_cast_from_geometry(so, &b, &n, &csid)) return {};
    Bytes out(b, b + n);
    qd_free(b);
    return out;
}

// Reads and writes again; "!" and the report codes on failure.
std::string WktRoundTrip(const std::string& text) {
    FailRecorder rec;
    Object o;
    if (!ktgeo_ogc_input_wkt_v1(text.c_str(), &o.so)) {
        EXPECT_EQ(o.so.primitives, nullptr);
        std::string s = "!";
        for (const auto& c : rec.Codes()) s += " " + c;
        return s;
    }
    return Wkt(&o.so);
}

TEST(ktgeo_wkt, ReadAndWriteCases) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"POINT(1 2)", "POINT(1 2)"},
        {"point(1 2)", "POINT(1 2)"},
        {"ST_POINT ( 1 2 )", "POINT(1 2)"},
        {"POINT (- 1 -2)", "POINT(-1 -2)"},
        {"POINT (+1 2)", "! UKT2A"},
        {"POINT (1 2 3)", "! UKT2B"},
        {"POINT Z (1 2 3)", "! UKT2H"},
        {"POINT (1 2) extra", "! UKT2Q"},
        {"FOO (1 2)", "! UKT2S"},
        {"POINT (1", "! UKT2A"},
        {"POINT (1 2", "! UKT2B"},
        {"POINT (1 .)", "! UKT2K UKT2A"},
        {"POINT (1 $)", "! UKT2R UKT2A"},
        {"MULTIPOINT ((1 2), (3 4))", "! UKT2A"},
        {"MULTIPOINT (1 2, 3 4)", "MULTIPOINT(1 2,3 4)"},
        {"POLYGON (EMPTY, (0 0, 1 0, 1 1, 0 0))", "POLYGON((0 0,1 0,1 1,0 0))"},
        {"GEOMETRYCOLLECTION (POINT (1 2), GEOMETRYCOLLECTION (LINESTRING (0 0, 1 1)))",
         "GEOMETRYCOLLECTION(POINT(1 2),LINESTRING(0 0,1 1))"},
        {"", "GEOMETRYCOLLECTION EMPTY"},
        {"  # only a comment", "GEOMETRYCOLLECTION EMPTY"},
        {"LINESTRING EMPTY", "LINESTRING EMPTY"},
        {"POINT EMPTY", "POINT EMPTY"},
        {"MULTIPOLYGON EMPTY", "MULTIPOLYGON EMPTY"},
        {"MULTILINESTRING ((0 0, 1 1), EMPTY)", "MULTILINESTRING((0 0,1 1))"},
        {"MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))",
         "MULTIPOLYGON(((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))"},
        {"POINT(1e-11 -3)", "POINT(0 -3)"},
        {"POINT(123456789012.5 1e13)", "POINT(123456789012 1e+13)"},
        {"POINT(PI 0.1)", "POINT(3.14159265359 0.1)"},
        {"POLYGON((0 0,10 0,10 10,0 0),(2 2,3 2,3 3,2 2))",
         "POLYGON((0 0,10 0,10 10,0 0),(2 2,3 2,3 3,2 2))"},
        {"LINESTRING(0 0, 1 1", "! UKT2B"},
        {"GEOMETRYCOLLECTION (POINT (1 2) POINT (3 4))", "! UKT2B"},
    };
    for (const Case& c : cases) EXPECT_EQ(WktRoundTrip(c.in), c.out) << c.in;
}

TEST(ktgeo_wkt, ReadTypesAndPrimitives) {
    Object o;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1(
                  "GEOMETRYCOLLECTION (POINT (1 2), GEOMETRYCOLLECTION (LINESTRING (0 0, 1 1)))",
                  &o.so),
              1);
    EXPECT_EQ(o.so.ogc_state, KTGEO_OGC_COLLECTION);
    ASSERT_EQ(o.so.primitives->tally, 2u);
    EXPECT_EQ(o.Primitive(0)->type, KTGEO_POINT);
    EXPECT_EQ(o.Primitive(1)->type, KTGEO_CURVE);
    EXPECT_EQ(o.Primitive(1)->geom.curve.curve_type, KTGEO_POLYLINE);
    EXPECT_EQ(o.Primitive(1)->geom.curve.direction, KTGEO_DIR_NONE);

    Object e;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1("", &e.so), 1);
    EXPECT_EQ(e.so.ogc_state, 0);

    Object p;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1("POLYGON ((0 0,4 0,4 4,0 0),(1 1,2 1,2 2,1 1))", &p.so), 1);
    EXPECT_EQ(p.so.ogc_state, KTGEO_OGC_POLYGON);
    const GeoPolygon& g = p.Primitive(0)->geom.polygon;
    EXPECT_EQ(g.valid, 1);
    ASSERT_NE(g.interiors, nullptr);
    EXPECT_EQ(g.interiors->tally, 1u);
    EXPECT_FALSE(ktgeo_has_z(p.Primitive(0)->env_min));
}

TEST(ktgeo_wkt, WriterDetails) {
    // Precision 3.
    const int16_t saved = ktgeo_options.wkt_value3;
    int16_t three = 3;
    ASSERT_EQ(ktgeo_set_option(nullptr, 3, &three), 1);
    Object o;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1("POINT(12.3456 0.5)", &o.so), 1);
    EXPECT_EQ(Wkt(&o.so), "POINT(12.3 0.5)");
    ktgeo_options.wkt_value3 = saved;

    // A stored value near zero becomes zero in the object too.
    Object z;
    z.AddPoint(C(1e-11, -3));
    ktgeo_so_complete(&z.so);
    z.so.ogc_state = KTGEO_OGC_POINT;
    EXPECT_EQ(Wkt(&z.so), "POINT(0 -3)");
    EXPECT_EQ(z.Primitive(0)->geom.point.coord.x, 0.0);

    // Untyped: a collection.
    Object u;
    u.AddPoint(C(1, 2));
    u.AddCurve(Curve({C(0, 0), C(1, 1)}));
    u.so.ogc_state = 0;
    EXPECT_EQ(Wkt(&u.so), "GEOMETRYCOLLECTION(POINT(1 2),LINESTRING(0 0,1 1))");
    Object none;
    EXPECT_EQ(Wkt(&none.so), "GEOMETRYCOLLECTION EMPTY");

    // A multiline whose last curve has no coordinates: no trailing separator.
    Object m;
    m.AddCurve(Curve({C(0, 0), C(1, 1)}));
    GeoCurve empty;
    ktgeo_curve_init(&empty);
    m.AddCurve(empty);
    m.so.ogc_state = KTGEO_OGC_MULTILINESTRING;
    EXPECT_EQ(Wkt(&m.so), "MULTILINESTRING((0 0,1 1))");

    // A long text grows its buffer.
    std::string text = "MULTIPOINT(";
    for (int i = 0; i < 2000; ++i) {
        if (i) text.push_back(',');
        text.append(std::to_string(i));
        text.append(" 1.25");
    }
    text += ")";
    EXPECT_EQ(WktRoundTrip(text), text);
}

TEST(ktgeo_wkt, DeepNestingFailsCleanly) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "GEOMETRYCOLLECTION(";
    EXPECT_EQ(WktRoundTrip(text), "! UKT2H");
    std::string ok;
    for (int i = 0; i < 200; ++i) ok += "GEOMETRYCOLLECTION(";
    ok += "POINT(1 2)" + std::string(200, ')');
    EXPECT_EQ(WktRoundTrip(ok), "GEOMETRYCOLLECTION(POINT(1 2))");
}

TEST(ktgeo_ogc, ScanCastsAndNames) {
    struct Case {
        const char* wkt;
        int32_t bytes;
    } cases[] = {
        {"POINT(1 2)", 21},
        {"LINESTRING(0 0,1 1,2 2)", 57},
        {"MULTIPOINT(1 2,3 4)", 51},
        {"LINESTRING EMPTY", 5},
        {"GEOMETRYCOLLECTION EMPTY", 5},
        {"POLYGON((0 0,1 0,1 1,0 0))", 5 + 4 + 4 + 64},
        {"GEOMETRYCOLLECTION(POINT(1 2),LINESTRING(0 0,1 1))", 5 + 4 + 21 + 41},
    };
    for (const Case& c : cases) {
        Object o;
        ASSERT_EQ(ktgeo_ogc_input_wkt_v1(c.wkt, &o.so), 1) << c.wkt;
        OgcScan scan;
        EXPECT_EQ(ktgeo_ogc_scan(&scan, &o.so), c.bytes) << c.wkt;
        EXPECT_EQ(Wkb(&o.so).size(), static_cast<size_t>(c.bytes)) << c.wkt;
    }

    FailRecorder rec;
    Object two;
    two.AddPoint(C(1, 2));
    two.AddPoint(C(3, 4));
    ktgeo_so_complete(&two.so);
    two.so.ogc_state = KTGEO_OGC_POINT;
    OgcScan scan;
    EXPECT_EQ(ktgeo_ogc_scan(&scan, &two.so), 0);
    EXPECT_EQ(rec.Last().code, "UKT_5");
    EXPECT_EQ(rec.Last().Get("what"), "OGC Point");
    two.so.ogc_state = 4;
    EXPECT_EQ(ktgeo_ogc_scan(&scan, &two.so), 0);
    EXPECT_EQ(rec.Last().Get("param"), "so");

    Object one;
    one.AddPoint(C(1, 2));
    ktgeo_so_complete(&one.so);
    one.so.ogc_state = 0;
    EXPECT_EQ(ktgeo_ogc_cast(&one.so, 1), 1);
    EXPECT_EQ(one.so.ogc_state, 0);
    EXPECT_EQ(ktgeo_ogc_cast(&one.so, 7), 1);
    EXPECT_EQ(ktgeo_ogc_cast(&one.so, 3), 0);
    EXPECT_EQ(ktgeo_ogc_cast(&one.so, 6), 1);
    EXPECT_EQ(ktgeo_ogc_cast(&one.so, 12), 0);
    EXPECT_EQ(rec.Last().Get("param"), "ogctype");
    EXPECT_EQ(ktgeo_ogc_cast_apply(&one.so, 3), 0);
    EXPECT_EQ(one.so.ogc_state, 0);
    EXPECT_EQ(ktgeo_ogc_cast_apply(&one.so, 1), 1);
    EXPECT_EQ(one.so.ogc_state, 1);

    Object poly;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1("POLYGON((0 0,1 0,1 1,0 0))", &poly.so), 1);
    poly.so.ogc_state = 0;
    EXPECT_EQ(ktgeo_ogc_cast(&poly.so, 4), 1);
    EXPECT_EQ(ktgeo_ogc_cast(&poly.so, 10), 1);

    char buf[32];
    EXPECT_EQ(ktgeo_ogc_type_name(6, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "GeometryCollection");
    EXPECT_EQ(ktgeo_ogc_st_type_name(6, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "ST_GeomCollection");
    EXPECT_EQ(ktgeo_ogc_type_name(11, buf, 6), 1);
    EXPECT_STREQ(buf, "Multi");
    EXPECT_EQ(ktgeo_ogc_type_name(12, buf, sizeof buf), 0);
}

// ------------------------------------------------------------ binary

std::string WkbToWkt(const std::string& hex) {
    FailRecorder rec;
    const Bytes in = FromHex(hex);
    Object o;
    if (!ktgeo_ogc_cast_to_geometry(&o.so, in.data(), static_cast<uint32_t>(in.size()), 0)) {
        EXPECT_EQ(o.so.primitives, nullptr);
        std::string s = "!";
        for (const auto& r : rec.reports()) s += " " + r.code + " " + r.Get("param");
        return s;
    }
    return Wkt(&o.so);
}

std::string WktToWkb(const std::string& text) {
    Object o;
    EXPECT_EQ(ktgeo_ogc_input_wkt_v1(text.c_str(), &o.so), 1) << text;
    return ToHex(Wkb(&o.so));
}

TEST(ktgeo_wkb, WrittenBytes) {
    const std::string p12 = "0101000000000000000000f03f0000000000000040";
    EXPECT_EQ(WktToWkb("POINT(1 2)"), p12);
    EXPECT_EQ(WktToWkb("LINESTRING EMPTY"), "0102000000");
    EXPECT_EQ(WktToWkb("MULTIPOINT(1 2,1 2)"), "010400000002000000" + p12 + p12);
    // The clockwise ring is written counterclockwise.
    EXPECT_EQ(WktToWkb("POLYGON((0 0,0 10,10 10,0 0))"),
              "01030000000100000004000000"
              "00000000000000000000000000000000"
              "00000000000024400000000000002440"
              "00000000000000000000000000002440"
              "00000000000000000000000000000000");
    // Untyped point and polygon: a collection of 2.
    Object o;
    o.AddPoint(C(1, 2));
    GeoPolygon* g = o.AddPolygon(
        Polygon(Path({Curve({C(0, 0), C(1, 0), C(1, 1), C(0, 0)})}, 1, 1)));
    (void)g;
    ktgeo_so_complete(&o.so);
    o.so.ogc_state = 0;
    const Bytes b = Wkb(&o.so);
    ASSERT_GE(b.size(), 9u);
    EXPECT_EQ(ToHex(b).substr(0, 18), "010700000002000000");
}

TEST(ktgeo_wkb, ExteriorReorientedInTheObject) {
    Object o;
    GeoPolygon* g = o.AddPolygon(
        Polygon(Path({Curve({C(0, 0), C(0, 1), C(1, 1), C(0, 0)})}, 1, 1)));
    ktgeo_so_complete(&o.so);
    o.so.ogc_state = KTGEO_OGC_POLYGON;
    const Bytes b = Wkb(&o.so);
    ASSERT_EQ(b.size(), 77u);
    ASSERT_NE(g->exterior.expanded, nullptr);
    const GeoCoord* c = static_cast<const GeoCoord*>(g->exterior.expanded->data);
    EXPECT_EQ(c[1].x, 1.0);
    EXPECT_EQ(c[1].y, 1.0);
}

TEST(ktgeo_wkb, ReadCases) {
    const std::string le = "0101000000000000000000f03f0000000000000040";
    const std::string be = "00000000013ff00000000000004000000000000000";
    struct Case {
        std::string hex;
        const char* out;
    } cases[] = {
        {le, "POINT(1 2)"},
        {be, "POINT(1 2)"},
        {"07" + be.substr(2), "POINT(1 2)"},
        {"0102000000", "LINESTRING EMPTY"},
        {"0107000000", "GEOMETRYCOLLECTION EMPTY"},
        {"0100000000", "! UKT_1 data"},
        {"0108000000", "! UKT_1 data"},
        {"01e9030000", "! UKT_1 data"},
        {"01b90b0000", "! UKT_1 data"},
        {"0101000020", "! UKT_1 data"},
        {le.substr(0, le.size() - 2), "! UKT_1 TOO BIG"},
        {le + "00", "! UKT_1 data"},
        {"", "! UKT_1 TOO BIG"},
        {"010200000002000000" "0000000000000000" "0000000000000000", "! UKT_1 TOO BIG"},
        {"0102000000ffffffff", "! UKT_1 TOO BIG"},
        {"0107000000ffffff7f", "! UKT_1 TOO BIG"},
        {"010400000002000000" + le + be, "MULTIPOINT(1 2,1 2)"},
        {"010700000002000000" + le + "010700000001000000" + le,
         "GEOMETRYCOLLECTION(POINT(1 2),POINT(1 2))"},
    };
    for (const Case& c : cases) EXPECT_EQ(WkbToWkt(c.hex), c.out) << c.hex;
}

TEST(ktgeo_wkb, EmptyTypedBeforeCompletion) {
    const Bytes in = FromHex("0102000000");
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    EXPECT_EQ(ktgeo_ogc_decode_wkb_v1_geometry(in.data(), &so, in.data() + in.size()),
              in.data() + 5);
    EXPECT_EQ(so.ogc_state, KTGEO_OGC_LINESTRING);
    ktgeo_so_release(&so);
}

TEST(ktgeo_wkb, DeepNestingFailsCleanly) {
    Bytes nested;
    for (int i = 0; i < 100000; ++i) {
        const Bytes head = FromHex("010700000001000000");
        nested.insert(nested.end(), head.begin(), head.end());
    }
    const Bytes point = FromHex("0101000000000000000000f03f0000000000000040");
    nested.insert(nested.end(), point.begin(), point.end());
    FailRecorder rec;
    Object o;
    EXPECT_EQ(ktgeo_ogc_cast_to_geometry(&o.so, nested.data(), static_cast<uint32_t>(nested.size()), 0),
              0);
    EXPECT_EQ(o.so.primitives, nullptr);
    EXPECT_EQ(rec.Last().Get("param"), "data");
}

TEST(ktgeo_wkb, CodecsAndBlobs) {
    FailRecorder rec;
    uint8_t buf[8];
    uint32_t v = 0;
    EXPECT_EQ(ktgeo_ogc_encode_ui4(buf, buf + 4, 0, 0x01020304u), buf + 4);
    EXPECT_EQ(ToHex(buf, 4), "01020304");
    EXPECT_EQ(ktgeo_ogc_decode_ui4(buf, buf + 4, 1, &v), buf + 4);
    EXPECT_EQ(v, 0x04030201u);
    EXPECT_EQ(ktgeo_ogc_decode_ui4(buf, buf + 3, 1, &v), nullptr);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_ogc_port_decode");
    EXPECT_EQ(ktgeo_ogc_encode_uc1(buf, buf, 1), nullptr);
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_ogc_encode_uc1");
    EXPECT_EQ(ktgeo_ogc_decode_ui4(nullptr, nullptr, 1, &v), nullptr);

    const Bytes wkb = FromHex("0101000000000000000000f03f0000000000000040");
    geotest::Bytes b0 = geotest::Take(ktgeo_ogc_pack_blob(wkb.data(), 21, 0));
    ASSERT_EQ(b0.size(), 29u);
    EXPECT_EQ(std::string(b0.begin() + 4, b0.begin() + 8), "OGC0");
    geotest::Bytes b1 = geotest::Take(ktgeo_ogc_pack_blob(wkb.data(), 21, 7));
    ASSERT_EQ(b1.size(), 33u);
    EXPECT_EQ(ToHex(b1).substr(0, 24), "210000004f47433107000000");

    // From blobs: OGC1 gives its csid and its binary.
    uint8_t* out = nullptr;
    uint32_t n = 0, csid = 0;
    ASSERT_EQ(ktgeo_ogc_cast_from_blob(b1.data(), &out, &n, &csid), 1);
    EXPECT_EQ(csid, 7u);
    EXPECT_EQ(Bytes(out, out + n), wkb);
    qd_free(out);
    csid = 99;
    ASSERT_EQ(ktgeo_ogc_cast_from_blob(b0.data(), &out, &n, &csid), 1);
    EXPECT_EQ(csid, 99u);
    qd_free(out);
    Bytes oxyz = b0;
    std::memcpy(oxyz.data() + 4, "OXYZ", 4);
    EXPECT_EQ(ktgeo_ogc_cast_from_blob(oxyz.data(), &out, &n, &csid), 0);
    EXPECT_EQ(rec.Last().code, "UKT_1");
    EXPECT_EQ(rec.Last().Get("param"), "ktb");
    // A KT02 blob of an untyped object: a collection.
    Object u;
    u.AddPoint(C(1, 2));
    u.AddPoint(C(3, 4));
    u.AddCurve(Curve({C(0, 0), C(5, 5), C(9, 1)}));
    ktgeo_so_complete(&u.so);
    u.so.ogc_state = 0;
    geotest::Bytes kt = geotest::Pack(&u.so);
    ASSERT_EQ(std::string(kt.begin() + 4, kt.begin() + 8), "KT02");
    ASSERT_EQ(ktgeo_ogc_cast_from_blob(kt.data(), &out, &n, &csid), 1);
    EXPECT_EQ(ToHex(out, 5), "0107000000");
    qd_free(out);

    // An object typed as OGC packs as OGC0 and unpacks to the same object.
    Object t;
    ASSERT_EQ(ktgeo_ogc_input_wkt_v1("MULTIPOINT(1 2,3 4)", &t.so), 1);
    geotest::Bytes blob = geotest::Pack(&t.so);
    EXPECT_EQ(std::string(blob.begin() + 4, blob.begin() + 8), "OGC0");
    Object back;
    ASSERT_EQ(ktgeo_unpack_geometry_sized(blob.data(), static_cast<uint32_t>(blob.size()), &back.so), 1);
    EXPECT_EQ(Wkt(&back.so), "MULTIPOINT(1 2,3 4)");
}

// ------------------------------------------------------------ properties

TEST(ktgeo_ogc_property, RandomObjectsRoundTrip) {
    geotest::RandomObjects random(2511);
    int text_checked = 0, binary_checked = 0;
    for (int i = 0; i < 400; ++i) {
        Object o;
        random.Fill(&o.so);
        ktgeo_so_complete(&o.so);
        char* first = ktgeo_ogc_output_wkt_v1(&o.so);
        if (first) {
            Object back;
            ASSERT_EQ(ktgeo_ogc_input_wkt_v1(first, &back.so), 1) << first;
            EXPECT_EQ(Wkt(&back.so), std::string(first));
            ++text_checked;
        }
        qd_free(first);
        const Bytes b1 = Wkb(&o.so);
        if (!b1.empty()) {
            Object back;
            ASSERT_EQ(ktgeo_ogc_cast_to_geometry(&back.so, b1.data(), static_cast<uint32_t>(b1.size()), 0), 1);
            EXPECT_EQ(Wkb(&back.so), b1);
            ++binary_checked;
        }
    }
    EXPECT_GT(text_checked, 100);
    EXPECT_GT(binary_checked, 100);
}

}  // namespace
