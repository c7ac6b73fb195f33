// SDO arrays: encoding by object type (codes, triples, ordinates, point,
// SRID), ring orientation, and decoding of the published and the short
// type codes.
#include <cmath>
#include <functional>
#include <sstream>

#include "encode_test_util.h"

using enctest::Obj;
using enctest::Sections;
using enctest::Text;

namespace {

using sdo = enctest::Runtime;

// The arrays of an object as "gtype,px,py;triples;ordinates".
std::string Encode(MapObject* o, const CoordXform& xf, int16_t short_codes = 0,
                   int16_t no_srid = 1, int32_t srid = 0, int32_t* srid_out = nullptr) {
    SdoGeometry g;
    sdo_reset(&g);
    g.gtype = -1;  // "as the caller set it"
    SdoArrays a{nullptr, nullptr, nullptr, &g};
    const int16_t r = object_to_sdo(o, &xf, &a, short_codes, no_srid, srid);
    std::ostringstream s;
    if (r != 1) s << "!";
    s << g.gtype << "," << static_cast<int>(g.point_x) << "," << static_cast<int>(g.point_y) << ";";
    for (int32_t i = 0; i < g.elem_count; ++i) s << (i ? "," : "") << g.elem[i];
    s << ";";
    for (int32_t i = 0; i < g.ord_count; ++i) s << (i ? "," : "") << static_cast<int>(g.ords[i]);
    if (srid_out) *srid_out = g.srid;
    sdo_free_arrays(&a);
    return s.str();
}

}  // namespace

TEST_F(sdo, EncodingByType) {
    struct Case {
        const char* what;
        std::function<void(Obj&)> build;
        int16_t short_codes;
        std::string want;
    };
    const IntPoint centre{5, 5};
    const Case cases[] = {
        {"point", [](Obj& o) { enctest::Point(o, 3, 4); }, 0, "2001,3,4;;"},
        {"line", [](Obj& o) { enctest::Line(o, {1, 2}, {3, 4}); }, 0, "2002,0,0;1,2,1;1,2,3,4"},
        {"polyline, one section",
         [](Obj& o) { enctest::Poly(o, MAPOBJ_POLYLINE, {{0, {{0, 0}, {1, 1}, {2, 0}}}}); }, 0,
         "2002,0,0;1,2,1;0,0,1,1,2,0"},
        {"polyline, two sections",
         [](Obj& o) { enctest::Poly(o, MAPOBJ_POLYLINE, {{0, {{0, 0}, {1, 1}}}, {0, {{5, 5}, {6, 6}}}}); },
         0, "2006,0,0;1,2,1,5,2,1;0,0,1,1,5,5,6,6"},
        {"multipoint", [](Obj& o) { enctest::Multipoint(o, {{1, 1}, {2, 2}}); }, 0,
         "2005,0,0;1,1,2;1,1,2,2"},
        {"region, one counterclockwise section",
         [&](Obj& o) { enctest::Poly(o, MAPOBJ_REGION, {{0, {{0, 0}, {10, 0}, {10, 10}}}}, &centre); },
         0, "2003,5,5;1,1003,1;0,0,10,0,10,10,0,0"},
        {"rings marked exterior, interior, exterior",
         [&](Obj& o) {
             enctest::Poly(o, MAPOBJ_REGION,
                           {{1, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}},
                            {0, {{2, 2}, {2, 4}, {4, 4}, {4, 2}}},
                            {0, {{20, 0}, {30, 0}, {30, 10}}}},
                           &centre);
         },
         0,
         "2007,5,5;1,1003,1,11,2003,1,21,1003,1;"
         "0,0,10,0,10,10,0,10,0,0,2,2,2,4,4,4,4,2,2,2,20,0,30,0,30,10,20,0"},
        {"short codes: type 3 rings as stored",
         [&](Obj& o) {
             enctest::Poly(o, MAPOBJ_REGION,
                           {{1, {{0, 0}, {0, 10}, {10, 10}, {10, 0}}}, {0, {{2, 2}, {4, 2}, {4, 4}}}},
                           &centre);
         },
         1, "7,5,5;1,3,1,11,3,1;0,0,0,10,10,10,10,0,0,0,2,2,4,2,4,4,2,2"},
        {"rectangle as the bridge's ring", [](Obj& o) { enctest::Rect(o, MAPOBJ_RECT, {0, 0, 4, 2}); },
         0, "2003,2,1;1,1003,1;0,0,4,0,4,2,0,2,0,0"},
        {"arc: left as the caller set it", [](Obj& o) { mapobj_set_type(o.p, MAPOBJ_ARC); }, 0,
         "-1,0,0;;"},
        {"text", [](Obj& o) { mapobj_set_type(o.p, MAPOBJ_TEXT); }, 0, "-1,0,0;;"},
        {"ellipse", [](Obj& o) { enctest::Rect(o, MAPOBJ_ELLIPSE, {0, 0, 4, 2}); }, 0, "-1,0,0;;"},
    };
    for (const Case& c : cases) {
        Obj o;
        c.build(o);
        EXPECT_EQ(Encode(o.p, ne, c.short_codes), c.want) << c.what;
    }
}

TEST_F(sdo, CollectionAndSrid) {
    Obj coll(MAPOBJ_COLLECTION), mp, pl, rg;
    const IntPoint centre{7, 8};
    enctest::Multipoint(mp, {{1, 1}, {2, 2}, {3, 3}});
    enctest::Poly(pl, MAPOBJ_POLYLINE, {{0, {{0, 0}, {5, 5}}}});
    enctest::Poly(rg, MAPOBJ_REGION, {{0, {{0, 0}, {10, 0}, {10, 10}, {0, 10}}}}, &centre);
    for (Obj* part : {&rg, &pl, &mp}) ASSERT_EQ(mapobjx_collection_set_part(coll.p, part->p, 1), 1);
    const std::string s = Encode(coll.p, ne);
    EXPECT_EQ(s.substr(0, s.find(';')), "2004,7,8") << "the region part's centroid";
    EXPECT_EQ(s.substr(s.find(';')), ";1,1,3,7,2,1,11,1003,1;1,1,2,2,3,3,0,0,5,5,0,0,10,0,10,10,0,10,0,0");
    int32_t srid = 0;
    Obj p;
    enctest::Point(p, 1, 1);
    Encode(p.p, ne, 0, 0, 8307, &srid);
    EXPECT_EQ(srid, 8307);
    Encode(p.p, ne, 0, 1, 8307, &srid);
    EXPECT_EQ(srid, 0) << "no SRID: the reset value stays";
}

TEST_F(sdo, RingOrientationTest) {
    struct Case {
        const char* what;
        std::vector<IntPoint> ring;  // closed
        int16_t ccw;
    };
    const Case cases[] = {
        {"square ccw", {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, 1},
        {"square cw", {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, 0},
        {"concave ccw, first corner reflex",
         {{5, 5}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {5, 5}}, 1},
        {"concave cw", {{5, 5}, {0, 0}, {0, 10}, {10, 10}, {10, 0}, {5, 5}}, 0},
        {"no ear (all collinear): shoelace 0 counts as ccw", {{0, 0}, {5, 0}, {10, 0}, {0, 0}}, 1},
        {"thin triangle cw", {{0, 0}, {1, 3}, {2, 0}, {0, 0}}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sdo_ring_is_ccw(c.ring.data(), static_cast<int32_t>(c.ring.size())), c.ccw) << c.what;
    EXPECT_EQ(sdo_ring_is_ccw(nullptr, 0), 0);
}

TEST_F(sdo, DecodingRefusalsAndKinds) {
    struct Case {
        const char* what;
        int32_t gtype, dims;
        double px, py;
        std::vector<int32_t> elem;
        std::vector<double> ords;
        int16_t result, short_codes;
        int type;
        std::string sections;
    };
    const Case cases[] = {
        {"point from SDO_POINT", 2001, 2, 10, 20, {}, {}, 1, 0, MAPOBJ_POINT, ""},
        {"short point", 1, 2, 0, 0, {}, {3, 4}, 1, 1, MAPOBJ_POINT, ""},
        {"line of two points, triples ignored", 2002, 2, 0, 0, {1, 2, 7}, {0, 0, 9, 9}, 1, 0,
         MAPOBJ_LINE, ""},
        {"measured line", 3302, 3, 0, 0, {1, 2, 1}, {0, 0, 9, 5, 5, 9}, 1, 0, MAPOBJ_LINE, ""},
        {"region without its closing point", 2003, 2, 0, 0, {1, 1003, 1},
         {0, 0, 4, 0, 4, 3, 0, 0}, 1, 0, MAPOBJ_REGION, "[0 0,4 0,4 3,0 0,]"},
        {"rectangle ring", 2003, 2, 0, 0, {1, 1003, 3}, {0, 0, 4, 2}, 1, 0, MAPOBJ_REGION,
         "[0 0,4 0,4 2,0 2,0 0,]"},
        {"multipolygon of two rings", 2007, 2, 0, 0, {1, 1003, 1, 9, 1003, 1},
         {0, 0, 4, 0, 4, 3, 0, 0, 10, 10, 14, 10, 14, 13, 10, 10}, 1, 0, MAPOBJ_REGION,
         "[0 0,4 0,4 3,0 0,][10 10,14 10,14 13,10 10,]"},
        {"multiline", 2006, 2, 0, 0, {1, 2, 1, 5, 2, 1}, {0, 0, 1, 1, 5, 5, 6, 6}, 1, 0,
         MAPOBJ_POLYLINE, "[0 0,1 1,][5 5,6 6,]"},
        {"multipoint by the first triple", 2005, 2, 0, 0, {1, 1, 2}, {1, 2, 3, 4}, 1, 0,
         MAPOBJ_MULTIPOINT, ""},
        {"one dimension", 1001, 1, 0, 0, {1, 1, 1}, {5}, 0, 0, 0, ""},
        {"no dimension (short)", 1, 0, 0, 0, {}, {5, 5}, 0, 1, 0, ""},
        {"kind above 7", 2008, 2, 0, 0, {}, {}, 1, 0, 0, ""},
        {"line without points", 2002, 2, 0, 0, {1, 2, 1}, {}, 0, 0, 0, ""},
        {"element offset past the ordinates", 2003, 2, 0, 0, {99, 1003, 1}, {0, 0, 4, 0}, 0, 0, 0,
         ""},
        {"offsets going back", 2006, 2, 0, 0, {5, 2, 1, 1, 2, 1}, {0, 0, 1, 1, 5, 5, 6, 6}, 0, 0, 0,
         ""},
        {"partial triple", 2006, 2, 0, 0, {1, 2}, {0, 0, 1, 1}, 0, 0, 0, ""},
        {"unknown interpretation", 2006, 2, 0, 0, {1, 2, 9}, {0, 0, 1, 1, 2, 2}, 0, 0, 0, ""},
        {"compound header last", 2002, 2, 0, 0, {1, 2, 1, 1, 4, 2}, {0, 0, 1, 1, 2, 0}, 0, 0, 0, ""},
        {"circle through collinear points", 2003, 2, 0, 0, {1, 1003, 4}, {0, 0, 1, 1, 2, 2}, 0, 0,
         0, ""},
        {"collection of a cluster, a line and a ring", 2004, 2, 0, 0,
         {1, 1, 2, 5, 2, 1, 9, 1003, 1}, {1, 2, 3, 4, 0, 0, 5, 5, 0, 0, 4, 0, 4, 3, 0, 0}, 1, 0,
         MAPOBJ_COLLECTION, ""},
        {"collection compound claiming more subelements than there are", 2004, 2, 0, 0,
         {1, 4, 2147483647, 1, 2, 1}, {0, 0, 5, 5}, 0, 0, 0, ""},
    };
    for (const Case& c : cases) {
        std::vector<int32_t> elem = c.elem;
        std::vector<double> ords = c.ords;
        SdoGeometry g{c.dims, c.gtype, 0, c.px, c.py, static_cast<int32_t>(elem.size()),
                      elem.data(), static_cast<int32_t>(ords.size()), ords.data()};
        Obj o(MAPOBJ_POINT);
        int16_t short_codes = -1;
        EXPECT_EQ(sdo_to_object(&g, &g_default_style_set, &ne, o.p, &short_codes), c.result) << c.what;
        EXPECT_EQ(short_codes, c.short_codes) << c.what;
        EXPECT_EQ(o->type, c.type) << c.what;
        if (!c.sections.empty()) {
            EXPECT_EQ(Text(Sections(o.p)), c.sections) << c.what;
        }
        if (c.type == MAPOBJ_LINE) {
            EXPECT_EQ(o->u.line.end.x, c.gtype == 3302 ? 5 : 9) << c.what;
        }
    }
}

namespace {

double Distance(const IntPoint& p, double cx, double cy) { return std::hypot(p.x - cx, p.y - cy); }

// Decodes arrays in the non-earth space; the object's sections.
std::vector<std::vector<IntPoint>> Decoded(int32_t gtype, std::vector<int32_t> elem,
                                           std::vector<double> ords, const CoordXform& xf,
                                           int16_t* result) {
    SdoGeometry g{2, gtype, 0, 0, 0, static_cast<int32_t>(elem.size()), elem.data(),
                  static_cast<int32_t>(ords.size()), ords.data()};
    Obj o(MAPOBJ_POINT);
    int16_t short_codes = 0;
    *result = sdo_to_object(&g, &g_default_style_set, &xf, o.p, &short_codes);
    return Sections(o.p);
}

}  // namespace

TEST_F(sdo, ArcsAndCirclesAreStroked) {
    int16_t r = 0;
    // A compound line: a straight start of one point, then one arc through
    // the remaining three (centre (20000, 0), radius 10000); its last point
    // is kept.
    auto s = Decoded(2002, {1, 4, 2, 1, 2, 1, 3, 2, 2}, {0, 0, 10000, 0, 20000, 10000, 30000, 0},
                     ne, &r);
    ASSERT_EQ(r, 1);
    ASSERT_EQ(s.size(), 1u);
    ASSERT_GT(s[0].size(), 4u) << "the arc is stroked";
    EXPECT_EQ(s[0][0].x, 0);
    EXPECT_EQ(s[0][1].x, 10000);
    EXPECT_EQ(s[0].back().x, 30000);
    EXPECT_EQ(s[0].back().y, 0);
    for (size_t i = 1; i < s[0].size(); ++i) {
        EXPECT_NEAR(Distance(s[0][i], 20000, 0), 10000, 2) << i;
        EXPECT_GE(s[0][i].y, 0) << "through the top, as the middle point says";
    }

    // A simple arc-string element stands alone: it reads no point of the
    // next element, which keeps all of its own.
    s = Decoded(2006, {1, 2, 2, 7, 2, 1}, {10000, 0, 20000, 10000, 30000, 0, 50, 50, 60, 60}, ne,
                &r);
    ASSERT_EQ(r, 1);
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].front().x, 10000);
    EXPECT_EQ(s[0].back().x, 30000);
    EXPECT_EQ(Text({s[1]}), "[50 50,60 60,]");

    // A circle ring through three points: stroked all round.
    s = Decoded(2003, {1, 1003, 4}, {10000, 0, 0, 10000, -10000, 0}, ne, &r);
    ASSERT_EQ(r, 1);
    ASSERT_EQ(s.size(), 1u);
    ASSERT_GE(s[0].size(), 8u);
    int quadrants = 0;
    for (const IntPoint& p : s[0]) {
        EXPECT_NEAR(Distance(p, 0, 0), 10000, 2);
        quadrants |= (p.x > 0 ? 1 : 2) << (p.y > 0 ? 0 : 2);
    }
    EXPECT_EQ(quadrants, 15) << "points in all four quadrants";
}

TEST_F(sdo, UnusedHelpers) {
    const DPoint a{0, 0}, b{4, 0}, c{4, 3}, d{4, -3};
    EXPECT_EQ(sdo_turn_right_xy(&a, &b, &c), 0) << "counterclockwise";
    EXPECT_EQ(sdo_turn_right_xy(&a, &b, &d), 1) << "clockwise";
    EXPECT_EQ(sdo_turn_right_xy(&a, &b, &b), 0) << "collinear";
    EXPECT_DOUBLE_EQ(sdo_distance(&a, &c), 5.0);
}
