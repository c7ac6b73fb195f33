// Validity checks: the recomputed flags, loud reports and quiet answers,
// and the quick check that only reads the flags.
#include <gtest/gtest.h>

#include "geo_test_util.h"
#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_quick.h"

using geotest::C;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::Object;
using geotest::Path;
using geotest::Polygon;
using geotest::Square;
using geotest::StdoutCapture;

namespace {

struct CurveCase {
    const char* name;
    GeoCurve curve;
    int want_result;        // loud check: validity, or 0 after a report
    const char* want_code;  // "" for none
    const char* want_what;
    int want_closed;
};

}  // namespace

TEST(ktgeo_check, CurveCountsCoincidenceAndClosure) {
    const GeoCurve no_list = [] {
        GeoCurve c;
        ktgeo_curve_init(&c);
        return c;
    }();
    CurveCase cases[] = {
        {"polyline of one repeated point", Curve({C(0, 0), C(0, 0), C(0, 0)}), 0, "UKT_4",
         "ST_Polyline", 0},
        {"polyline of two distinct points", Curve({C(0, 0), C(0, 0), C(1, 1)}), 1, "", "", 0},
        {"closed square", Square(0, 0, 1), 1, "", "", 1},
        {"closed square with a repeated corner",
         Curve({C(0, 0), C(1, 0), C(1, 0), C(1, 1), C(0, 1), C(0, 0)}), 1, "", "", 1},
        {"closed three-point polyline", Curve({C(0, 0), C(1, 1), C(0, 0)}), 1, "", "", 0},
        {"arc of four", Curve({C(0, 0), C(1, 1), C(2, 0), C(3, 1)}, KTGEO_CIRCULAR_ARC), 0,
         "UKT_4", "ST_CircularArc", 0},
        {"arc with a repeated point", Curve({C(0, 0), C(0, 0), C(2, 0)}, KTGEO_CIRCULAR_ARC), 0,
         "UKT_3", "ST_CircularArc", 0},
        {"full circle arc", Curve({C(1, 0), C(0, 0), C(1, 0)}, KTGEO_CIRCULAR_ARC), 1, "", "", 1},
        {"Bezier of seven",
         Curve({C(0, 0), C(1, 1), C(2, 0), C(3, 1), C(4, 0), C(5, 1), C(6, 0)}, KTGEO_BEZIER), 1,
         "", "", 0},
        {"Bezier of six", Curve({C(0, 0), C(1, 1), C(2, 0), C(3, 1), C(4, 0), C(5, 1)}, KTGEO_BEZIER),
         0, "UKT_4", "ST_PiecewiseBezier", 0},
        {"KT_Curve of one", Curve({C(0, 0)}, KTGEO_KT_CURVE), 0, "UKT_4", "KT_Curve", 0},
        {"KT_Curve with a repeated point", Curve({C(0, 0), C(1, 1), C(1, 1)}, KTGEO_KT_CURVE), 0,
         "UKT_3", "KT_Curve", 0},
        {"curve without a list", no_list, 0, "UKT_8", "ST_Curve", 0},
    };
    for (CurveCase& c : cases) {
        SCOPED_TRACE(c.name);
        FailRecorder rec;
        StdoutCapture out;
        c.curve.closed = 1 - c.want_closed;  // recomputed either way
        EXPECT_EQ(ktgeo_check_curve(&c.curve, nullptr), c.want_result);
        EXPECT_EQ(c.curve.closed, c.want_closed);
        EXPECT_EQ(c.curve.invalid, *c.want_code ? 1 : 0);
        if (*c.want_code) {
            ASSERT_EQ(rec.Codes(), std::vector<std::string>({c.want_code}));
            EXPECT_EQ(rec.Last().Get("what"), c.want_what);
            EXPECT_NE(out.Text().find(std::string(": ") + c.want_code + "\n"), std::string::npos);
        } else {
            EXPECT_TRUE(rec.reports().empty());
            EXPECT_EQ(out.Text(), "");
        }
        // Quietly: no report, the validity in the out value, result 1.
        rec.Clear();
        int valid = -1;
        EXPECT_EQ(ktgeo_check_curve(&c.curve, &valid), 1);
        EXPECT_EQ(valid, c.want_result);
        EXPECT_TRUE(rec.Codes().empty());
        ktgeo_curve_release(&c.curve, nullptr);
    }
}

TEST(ktgeo_check, ValidArcsAndSplinesAreStroked) {
    GeoCurve arc = Curve({C(1, 0), C(0, 1), C(-1, 0)}, KTGEO_CIRCULAR_ARC);
    EXPECT_EQ(ktgeo_check_curve(&arc, nullptr), 1);
    ASSERT_NE(arc.stroked, nullptr);
    EXPECT_EQ(arc.stroked->tally, 63u);
    ktgeo_curve_release(&arc, nullptr);
}

TEST(ktgeo_check, PathLinksAndClosure) {
    struct Case {
        const char* name;
        GeoPath path;
        int want_connected, want_closed;
    } cases[] = {
        {"triangle of three curves",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(1, 0), C(1, 1)}), Curve({C(1, 1), C(0, 0)})}),
         1, 1},
        {"two of them",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(1, 0), C(1, 1)})}), 1, 0},
        {"reversed curves join by their ends",
         Path({Curve({C(1, 0), C(0, 0)}), Curve({C(1, 1), C(1, 0)}), Curve({C(0, 0), C(1, 1)})}),
         1, 1},
        {"two curves that do not touch",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(5, 5), C(6, 6)})}, 1, 1), 0, 0},
        {"one closed curve", Path({Square(0, 0, 1)}), 1, 1},
        {"closed but of two segments",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(1, 0), C(0, 0)})}), 1, 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailRecorder rec;
        StdoutCapture out;
        // A path of the object itself is no ring: nothing is reported.
        EXPECT_EQ(ktgeo_check_path(&c.path, nullptr), 1);
        EXPECT_EQ(c.path.connected, c.want_connected);
        EXPECT_EQ(c.path.closed, c.want_closed);
        EXPECT_EQ(out.Text(), "");
        ktgeo_path_release(&c.path, nullptr);
    }
}

TEST(ktgeo_check, PolygonRings) {
    struct Case {
        const char* name;
        GeoPolygon polygon;
        int want_result;  // loud
        const char* want_code;
        const char* want_what;
        int want_valid;   // quiet
    } cases[] = {
        {"one closed curve", Polygon(Path({Square(0, 0, 4)})), 1, "", "", 1},
        {"with a hole", Polygon(Path({Square(0, 0, 4)}), {Path({Square(1, 1, 1)})}), 1, "", "",
         1},
        {"open exterior curve", Polygon(Path({Curve({C(0, 0), C(4, 0), C(4, 4), C(0, 4)})})), 0,
         "UKT_6", "ST_Curve", 0},
        {"exterior of two curves that do not touch",
         Polygon(Path({Curve({C(0, 0), C(1, 0)}), Curve({C(5, 5), C(6, 6)})})), 0, "UKT_7",
         "ST_Path", 0},
        {"open exterior path", Polygon(Path({Curve({C(0, 0), C(4, 0)}), Curve({C(4, 0), C(4, 4)})})),
         0, "UKT_6", "ST_Path", 0},
        {"hole with a bad curve",
         Polygon(Path({Square(0, 0, 4)}), {Path({Curve({C(1, 1), C(1, 1)})})}), 0, "UKT_4",
         "ST_Polyline", 0},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        FailRecorder rec;
        StdoutCapture out;
        int valid = -1;
        EXPECT_EQ(ktgeo_check_polygon(&c.polygon, &valid), 1);
        EXPECT_EQ(valid, c.want_valid);
        EXPECT_EQ(c.polygon.valid, c.want_valid);
        EXPECT_TRUE(rec.Codes().empty());

        c.polygon.valid = 7;
        EXPECT_EQ(ktgeo_check_polygon(&c.polygon, nullptr), c.want_result);
        if (*c.want_code) {
            ASSERT_EQ(rec.Codes(), std::vector<std::string>({c.want_code}));
            EXPECT_EQ(rec.Last().Get("what"), c.want_what);
            EXPECT_EQ(c.polygon.valid, 7);  // a ring fault stops before the polygon's flag
        } else {
            EXPECT_EQ(c.polygon.valid, 1);
            EXPECT_EQ(out.Text(), "");
        }
        ktgeo_polygon_release(&c.polygon);
    }
}

TEST(ktgeo_check, WholeObjects) {
    Object empty;
    empty.so.primitives = ktgeo_primitive_list_new(nullptr);
    int valid = -1;
    EXPECT_EQ(ktgeo_check_geometry(&empty.so, &valid), 1);
    EXPECT_EQ(valid, 1);
    EXPECT_EQ(empty.so.primitives, nullptr);

    // The walk stops at the first fault and reports it once.
    Object o;
    o.AddPoint(C(0, 0));
    o.AddCurve(Curve({C(0, 0), C(0, 0)}));
    o.AddCurve(Curve({C(1, 1)}, KTGEO_KT_CURVE));
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_check_geometry(&o.so, nullptr), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_4"}));
    EXPECT_EQ(rec.Last().Get("what"), "ST_Polyline");
    rec.Clear();
    EXPECT_EQ(ktgeo_check_geometry(&o.so, &valid), 1);
    EXPECT_EQ(valid, 0);
    EXPECT_TRUE(rec.Codes().empty());
}

TEST(ktgeo_check, QuickCheckReadsFlagsSilently) {
    struct Case {
        const char* name;
        void (*build)(Object&);
        int want;
    } cases[] = {
        {"no primitive list", [](Object&) {}, 1},
        {"empty primitive list",
         [](Object& o) { o.so.primitives = ktgeo_primitive_list_new(nullptr); }, 0},
        {"unconnected path of valid curves",
         [](Object& o) {
             o.AddPath(Path({Curve({C(0, 0), C(1, 0)}), Curve({C(5, 5), C(6, 6)})}, 0));
         },
         1},
        {"invalid curve in a path",
         [](Object& o) {
             GeoPath p = Path({Curve({C(0, 0), C(1, 0)})});
             static_cast<GeoCurve*>(p.curves->data)->invalid = 1;
             o.AddPath(p);
         },
         0},
        {"invalid curve",
         [](Object& o) {
             GeoCurve c = Curve({C(0, 0)});
             c.invalid = 1;
             o.AddCurve(c);
         },
         0},
        {"polygon not marked valid",
         [](Object& o) { o.AddPolygon(Polygon(Path({Square(0, 0, 1)}))); }, 0},
        {"points", [](Object& o) { o.AddPoint(C(1, 2)); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Object o;
        c.build(o);
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(ktgeo_quick_check(&o.so), c.want);
        EXPECT_EQ(out.Text(), "");
        EXPECT_TRUE(rec.Codes().empty());
    }
}
