// Curves and paths: stroking arcs and KT_Curves, tangents, path expansion
// and orientation, the ordering of curves into chains; the option record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <cstring>

#include "geo_test_util.h"
#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_option.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_cogo.h"

using geotest::C;
using geotest::Coords;
using geotest::Curve;
using geotest::FailRecorder;
using geotest::List;
using geotest::Path;
using geotest::Points;
using geotest::StdoutCapture;

namespace {

void ExpectPoints(const nlst* list, const std::vector<GeoCoord>& want) {
    ASSERT_NE(list, nullptr);
    const std::vector<GeoCoord> got = Points(list);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].x, want[i].x) << "row " << i;
        EXPECT_EQ(got[i].y, want[i].y) << "row " << i;
    }
}

const GeoCurve& CurveAt(const GeoPath& path, uint32_t row) {
    return static_cast<const GeoCurve*>(path.curves->data)[row];
}

// A path released when it goes.
struct PathHolder {
    explicit PathHolder(GeoPath p) : path(p) {}
    ~PathHolder() { ktgeo_path_release(&path, nullptr); }
    GeoPath path;
};

}  // namespace

TEST(ktgeo_curve, ArcsAreStrokedSpanBySpan) {
    GeoCurve arc = Curve({C(1, 0), C(0, 1), C(-1, 0), C(0, -1), C(1, 0)}, KTGEO_CIRCULAR_ARC);
    ASSERT_EQ(ktgeo_curve(&arc), 1);
    const std::vector<GeoCoord> pts = Points(arc.stroked);
    ASSERT_EQ(pts.size(), 63u + 62u);  // the shared point once
    int shared = 0;
    for (const GeoCoord& p : pts) shared += p.x == -1.0 && p.y == 0.0;
    EXPECT_EQ(shared, 1);
    EXPECT_EQ(pts[62].x, -1.0);
    EXPECT_EQ(pts.back().x, 1.0);
    EXPECT_EQ(pts.back().y, 0.0);

    // An even count is refused; the old stroked list stays.
    nlst* old = arc.stroked;
    nlst_add(arc.coords, &pts[5]);
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_curve(&arc), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_1"}));
    EXPECT_EQ(rec.Last().Get("function"), "ktgeo_curve");
    EXPECT_EQ(rec.Last().Get("param"), "curve");
    EXPECT_EQ(arc.stroked, old);
    ktgeo_curve_release(&arc, nullptr);

    // A polyline has no stroked list: an old one is freed.
    GeoCurve line = Curve({C(0, 0), C(1, 1)});
    line.stroked = Coords({C(5, 5)});
    EXPECT_EQ(ktgeo_curve(&line), 1);
    EXPECT_EQ(line.stroked, nullptr);
    ktgeo_curve_release(&line, nullptr);
}

TEST(ktgeo_curve, StrokingFollowsTheSegmentOptions) {
    const GeoOptions saved = ktgeo_options;
    const int16_t n = 10;
    ASSERT_EQ(ktgeo_set_option(nullptr, 5, &n), 1);
    GeoCurve arc = Curve({C(1, 0), C(0, 1), C(-1, 0)}, KTGEO_CIRCULAR_ARC);
    ASSERT_EQ(ktgeo_curve(&arc), 1);
    EXPECT_EQ(arc.stroked->tally, 9u);  // 8 steps of pi/8
    ktgeo_curve_release(&arc, nullptr);

    const int16_t s = 4;
    ASSERT_EQ(ktgeo_set_option(nullptr, 4, &s), 1);
    GeoCurve spline = Curve({C(0, 0), C(1, 1), C(2, 0)}, KTGEO_KT_CURVE);
    ASSERT_EQ(ktgeo_curve(&spline), 1);
    // Spacing L / 9: 4 points inside each span of 4.5 spacings.
    EXPECT_EQ(spline.stroked->tally, 11u);
    ktgeo_curve_release(&spline, nullptr);
    ktgeo_options = saved;
}

TEST(ktgeo_curve, SplineWithOneTangentGoesThroughTheConstructedMiddle) {
    // Tangent at 45 degrees at (0, 0) toward (3, 0): the middle point is the
    // second point of the helper line (3,0), (0,0), turned point, stroked
    // with 7 segments per span.
    GeoCurve c = Curve({C(0, 0), C(3, 0)}, KTGEO_KT_CURVE);
    c.tangent_mode = 1;
    c.start_tangent = C(1, 1);
    ASSERT_EQ(ktgeo_curve(&c), 1);
    GeoCoord helper[3] = {C(3, 0), C(0, 0), {}};
    qd_cogo_turn_point(&helper[0], &helper[1], M_PI / 4, &helper[2]);
    const GeoTangents none = {0, KTGEO_UNSET_COORD, KTGEO_UNSET_COORD};
    List helper_line(ktgeo_coord_list_alloc(0));
    ASSERT_EQ(qd_cogo_spline_points(helper, 3, &none, 7, helper_line.get()), 1);
    const GeoCoord middle = Points(helper_line.get())[1];

    const std::vector<GeoCoord> pts = Points(c.stroked);
    int through = 0;
    for (size_t i = 1; i + 1 < pts.size(); ++i)
        through += pts[i].x == middle.x && pts[i].y == middle.y;
    EXPECT_EQ(through, 1);
    // The curve leaves along its tangent.
    EXPECT_NEAR(std::atan2(pts[1].y - pts[0].y, pts[1].x - pts[0].x), M_PI / 4, 0.05);
    EXPECT_EQ(pts.back().x, 3.0);
    ktgeo_curve_release(&c, nullptr);
}

TEST(ktgeo_curve, Tangents) {
    struct Case {
        GeoCoord tangent;
        float want;
    } cases[] = {
        {C(2 + 1e-11, 3), 0.0f},
        {C(2, 4), static_cast<float>(M_PI / 2)},
        {C(1, 3), static_cast<float>(M_PI)},
        {KTGEO_UNSET_COORD, 0.0f},
    };
    for (const Case& c : cases) {
        GeoCurve curve = Curve({C(2, 3), C(5, 5)}, KTGEO_KT_CURVE);
        curve.tangent_mode = 1;
        curve.start_tangent = c.tangent;
        float angle = -9;
        EXPECT_EQ(ktgeo_curve_start_tangent(&curve, &angle), 1);
        EXPECT_EQ(angle, c.want);
        ktgeo_curve_release(&curve, nullptr);
    }
    GeoCurve curve = Curve({C(2, 3), C(5, 5)}, KTGEO_KT_CURVE);
    curve.tangent_mode = 3;
    ASSERT_EQ(ktgeo_curve_end_tangent_orientation(&curve, static_cast<float>(M_PI / 2)), 1);
    EXPECT_NEAR(curve.end_tangent.x, 5, 1e-7);
    EXPECT_NEAR(curve.end_tangent.y, 6, 1e-7);
    EXPECT_EQ(curve.end_tangent.z, KTGEO_NO_Z);
    float angle = 0;
    ASSERT_EQ(ktgeo_curve_end_tangent(&curve, &angle), 1);
    EXPECT_NEAR(angle, M_PI / 2, 1e-6);
    ktgeo_curve_release(&curve, nullptr);

    // Refusals: each names its parameter.
    struct Refusal {
        const char* name;
        int (*call)(GeoCurve*);
        const char* function;
        const char* param;
    } refusals[] = {
        {"start angle of mode 2", [](GeoCurve* c) { c->tangent_mode = 2; float a; return ktgeo_curve_start_tangent(c, &a); },
         "ktgeo_curve_start_tangent", "start_tangent"},
        {"end angle of mode 1", [](GeoCurve* c) { c->tangent_mode = 1; float a; return ktgeo_curve_end_tangent(c, &a); },
         "ktgeo_curve_end_tangent", "end_tangent"},
        {"no out angle", [](GeoCurve* c) { return ktgeo_curve_start_tangent(c, nullptr); },
         "ktgeo_curve_start_tangent", "angle"},
        {"polyline", [](GeoCurve* c) { c->curve_type = KTGEO_POLYLINE; float a; return ktgeo_curve_start_tangent(c, &a); },
         "ktgeo_curve_start_tangent", "curve"},
        {"one coordinate", [](GeoCurve* c) { nlst_trunc(c->coords, 1); float a; return ktgeo_curve_start_tangent(c, &a); },
         "ktgeo_curve_start_tangent", "st_points"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        GeoCurve c = Curve({C(0, 0), C(1, 0)}, KTGEO_KT_CURVE);
        c.tangent_mode = 3;
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(r.call(&c), 0);
        ASSERT_EQ(rec.reports().size(), 1u);
        EXPECT_EQ(rec.Last().Get("function"), r.function);
        EXPECT_EQ(rec.Last().Get("param"), r.param);
        ktgeo_curve_release(&c, nullptr);
    }

    // Setting the start orientation on mode 2: reported, still set, 0.
    GeoCurve c = Curve({C(0, 0), C(1, 0)}, KTGEO_KT_CURVE);
    c.tangent_mode = 2;
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_curve_start_tangent_orientation(&c, 0.0f), 0);
    EXPECT_EQ(rec.Last().Get("param"), "start_tangent");
    EXPECT_EQ(c.start_tangent.x, 1.0);
    EXPECT_EQ(c.start_tangent.y, 0.0);
    ktgeo_curve_release(&c, nullptr);
}

TEST(ktgeo_path, Expansion) {
    struct Case {
        const char* name;
        std::initializer_list<GeoCurve> curves;
        int32_t first_direction;
        std::vector<GeoCoord> want;
    } cases[] = {
        {"second curve reversed", {Curve({C(0, 0), C(1, 0)}), Curve({C(2, 0), C(1, 0)})}, 2,
         {C(0, 0), C(1, 0), C(2, 0)}},
        {"first curve reversed by its direction", {Curve({C(0, 0), C(1, 0), C(1, 1)})}, 0,
         {C(1, 1), C(1, 0), C(0, 0)}},
        {"joined at the front, first to first",
         {Curve({C(1, 0), C(2, 0)}), Curve({C(1, 0), C(0, 0), C(-1, 0)})}, 2,
         {C(-1, 0), C(0, 0), C(1, 0), C(2, 0)}},
        {"joined at the front, last to first",
         {Curve({C(1, 0), C(2, 0)}), Curve({C(-1, 0), C(0, 0), C(1, 0)})}, 2,
         {C(-1, 0), C(0, 0), C(1, 0), C(2, 0)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PathHolder h(Path(c.curves));
        static_cast<GeoCurve*>(h.path.curves->data)->direction = c.first_direction;
        ASSERT_EQ(ktgeo_path_expand(&h.path), 1);
        ExpectPoints(h.path.expanded, c.want);
        EXPECT_EQ(h.path.connected, 1);
    }
}

TEST(ktgeo_path, ExpansionFailuresClearTheFlags) {
    GeoCurve missing;
    ktgeo_curve_init(&missing);
    struct Case {
        const char* name;
        GeoPath path;
        const char* want_code;
        const char* want_param;  // or what
    } cases[] = {
        {"curves that do not meet",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(5, 5), C(6, 6)})}, 1, 1), "UKT_7", "ST_Path"},
        {"a curve without its line", Path({Curve({C(0, 0), C(1, 0)}), missing}, 1, 1), "UKT_1",
         "result"},
        {"an empty line after the first", Path({Curve({C(0, 0), C(1, 0)}), Curve({})}, 1, 1),
         "UKT_7", "ST_Path"},
        {"an arc that cannot be stroked",
         Path({Curve({C(0, 0), C(1, 0)}), Curve({C(1, 0), C(2, 1)}, KTGEO_CIRCULAR_ARC)}, 1, 1),
         "UKT_1", "curve"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        PathHolder h(c.path);
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(ktgeo_path_expand(&h.path), 0);
        ASSERT_EQ(rec.Codes(), std::vector<std::string>({c.want_code}));
        const std::string detail =
            rec.Last().Get("what").empty() ? rec.Last().Get("param") : rec.Last().Get("what");
        EXPECT_EQ(detail, c.want_param);
        EXPECT_EQ(h.path.connected, 0);
        EXPECT_EQ(h.path.closed, 0);
        EXPECT_EQ(h.path.expanded, nullptr);
        // Refused at once afterwards.
        rec.Clear();
        EXPECT_EQ(ktgeo_path_expand(&h.path), 0);
        EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_7"}));
    }
}

TEST(ktgeo_path, OrientedExpansion) {
    // Clockwise closed ring asked for counterclockwise: reversed.
    PathHolder ring(Path({Curve({C(0, 0), C(0, 1), C(1, 1), C(1, 0), C(0, 0)})}, 1, 1));
    ASSERT_EQ(ktgeo_path_expand_oriented(&ring.path, 0), 1);
    EXPECT_EQ(qd_cogo_is_clockwise(ring.path.expanded), 0);
    ExpectPoints(ring.path.expanded, {C(0, 0), C(1, 0), C(1, 1), C(0, 1), C(0, 0)});
    ASSERT_EQ(ktgeo_path_expand_oriented(&ring.path, 1), 1);
    EXPECT_EQ(qd_cogo_is_clockwise(ring.path.expanded), 1);

    PathHolder open(Path({Curve({C(0, 0), C(0, 1), C(1, 1)})}));
    ASSERT_EQ(ktgeo_path_expand_oriented(&open.path, 0), 1);
    ExpectPoints(open.path.expanded, {C(0, 0), C(0, 1), C(1, 1)});

    PathHolder gen(Path({Curve({C(0, 0), C(1, 0), C(2, 0), C(2, 5)})}));
    List g(ktgeo_path_generalize(&gen.path, 0.1));
    ExpectPoints(g.get(), {C(0, 0), C(2, 0), C(2, 5)});
}

TEST(ktgeo_path, CurveSortBuildsChains) {
    {
        PathHolder h(Path({Curve({C(2, 0), C(3, 0)}), Curve({C(0, 0), C(1, 0)}),
                           Curve({C(1, 0), C(2, 0)})}));
        ASSERT_EQ(ktgeo_curve_sort(&h.path), 1);
        ASSERT_EQ(h.path.curves->tally, 3u);
        const double want_start[] = {0, 1, 2};
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(Points(CurveAt(h.path, i).coords)[0].x, want_start[i]);
            EXPECT_EQ(CurveAt(h.path, i).direction, KTGEO_DIR_FORWARD);
        }
        ASSERT_EQ(ktgeo_path_expand(&h.path), 1);
        ExpectPoints(h.path.expanded, {C(0, 0), C(1, 0), C(2, 0), C(3, 0)});
    }
    {
        // A curve met at its last coordinate runs reversed; the one-point
        // curve comes first; curves that cannot take part are dropped (and
        // released: the sanitizer build checks for leaks).
        GeoCurve odd_type = Curve({C(9, 9), C(8, 8)});
        odd_type.curve_type = 7;
        PathHolder h(Path({Curve({C(0, 0), C(1, 0)}), Curve({C(2, 0), C(1, 0)}),
                           Curve({C(5, 5)}),
                           Curve({C(0, 0), C(1, 1), C(2, 0), C(3, 1), C(4, 0)}, KTGEO_CIRCULAR_ARC),
                           odd_type}));
        ASSERT_EQ(ktgeo_curve_sort(&h.path), 1);
        ASSERT_EQ(h.path.curves->tally, 3u);
        EXPECT_EQ(CurveAt(h.path, 0).coords->tally, 1u);
        EXPECT_EQ(Points(CurveAt(h.path, 1).coords)[0].x, 0.0);
        EXPECT_EQ(CurveAt(h.path, 1).direction, KTGEO_DIR_FORWARD);
        EXPECT_EQ(Points(CurveAt(h.path, 2).coords)[0].x, 2.0);
        EXPECT_EQ(CurveAt(h.path, 2).direction, KTGEO_DIR_REVERSE);
    }
    {
        // A closed chain has no free end; a full circle is a non-curve.
        PathHolder h(Path({Curve({C(1, 0), C(1, 1)}), Curve({C(1, 0), C(0, 0)}),
                           Curve({C(0, 0), C(1, 1)}),
                           Curve({C(1, 0), C(0, 0), C(1, 0)}, KTGEO_CIRCULAR_ARC)}));
        ASSERT_EQ(ktgeo_curve_sort(&h.path), 1);
        ASSERT_EQ(h.path.curves->tally, 4u);
        EXPECT_EQ(CurveAt(h.path, 0).curve_type, KTGEO_CIRCULAR_ARC);
        // The walk starts at the first node in sorted order, (0, 0).
        EXPECT_EQ(Points(CurveAt(h.path, 1).coords)[0].x, 1.0);
        EXPECT_EQ(CurveAt(h.path, 1).direction, KTGEO_DIR_REVERSE);
    }
    {
        // Only non-curves: the result holds them.
        PathHolder h(Path({Curve({C(5, 5)}), Curve({C(6, 6)})}));
        ASSERT_EQ(ktgeo_curve_sort(&h.path), 1);
        ASSERT_EQ(h.path.curves->tally, 2u);
        EXPECT_EQ(Points(CurveAt(h.path, 1).coords)[0].x, 6.0);
    }
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(ktgeo_curve_sort(nullptr), 0);
    EXPECT_EQ(rec.Last().Get("functions"), "ktgeo_curve_sort");
    EXPECT_EQ(rec.Last().Get("parm"), "path");
}

TEST(ktgeo_path, ShuffledChainsSortBackIntoTheirLine) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 200; ++trial) {
        // A line of distinct points cut into curves of 2 to 4 points.
        const int points = 4 + trial % 40;
        std::vector<GeoCoord> line;
        for (int i = 0; i < points; ++i) line.push_back(C(i, (i * 7919) % 13));
        std::vector<GeoCurve> curves;
        for (int start = 0; start + 1 < points;) {
            const int end = std::min(points - 1, start + 1 + int(rng() % 3));
            std::vector<GeoCoord> part(line.begin() + start, line.begin() + end + 1);
            if (rng() % 2) std::reverse(part.begin(), part.end());
            GeoCurve c;
            ktgeo_curve_init(&c);
            c.coords = ktgeo_coord_list_from_array(part.data(), uint32_t(part.size()));
            curves.push_back(c);
            start = end;
        }
        std::shuffle(curves.begin(), curves.end(), rng);
        GeoPath p;
        ktgeo_path_init(&p);
        p.connected = 1;
        p.curves = ktgeo_curve_list_new(nullptr);
        for (const GeoCurve& c : curves) nlst_add(p.curves, &c);
        PathHolder h(p);
        ASSERT_EQ(ktgeo_curve_sort(&h.path), 1);
        ASSERT_EQ(h.path.curves->tally, curves.size());
        ASSERT_EQ(ktgeo_path_expand(&h.path), 1);
        std::vector<GeoCoord> got = Points(h.path.expanded);
        if (got.front().x != 0) std::reverse(got.begin(), got.end());
        ASSERT_EQ(got.size(), line.size()) << "trial " << trial;
        for (size_t i = 0; i < line.size(); ++i) EXPECT_EQ(got[i].x, line[i].x);
    }
}

TEST(ktgeo_option, RangesAndIds) {
    GeoOptions o;
    ASSERT_EQ(ktgeo_option_init(&o), 1);
    EXPECT_EQ(o.arc_segments, 64);
    EXPECT_EQ(o.wkt_value3, 12);
    struct Case {
        int id;
        double d;
        int16_t i;
        int want;
        const char* param;
    } cases[] = {
        {5, 0, 3, 0, "value"},   {5, 0, 4, 1, ""},     {4, 0, 3, 0, "value"},
        {2, 0, 33, 0, "value"},  {2, 0, 32, 1, ""},    {3, 0, -1, 0, "value"},
        {0, -1e-9, 0, 0, "value"}, {1, 0.5, 0, 1, ""}, {6, 0, 4, 0, "option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "id " << c.id);
        GeoOptions before = o;
        FailRecorder rec;
        StdoutCapture out;
        const void* value = c.id <= 1 ? static_cast<const void*>(&c.d) : &c.i;
        EXPECT_EQ(ktgeo_set_option(&o, c.id, value), c.want);
        if (c.want) {
            EXPECT_TRUE(rec.reports().empty());
            if (c.id <= 1) {
                double got = 0;
                ASSERT_EQ(ktgeo_get_option(&o, c.id, &got), 1);
                EXPECT_EQ(got, c.d);
            } else {
                int16_t got = 0;
                ASSERT_EQ(ktgeo_get_option(&o, c.id, &got), 1);
                EXPECT_EQ(got, c.i);
            }
        } else {
            EXPECT_EQ(rec.Last().Get("param"), c.param);
            EXPECT_EQ(std::memcmp(&before, &o, sizeof o), 0);
        }
    }
    // The global record is left alone by calls on another one.
    EXPECT_EQ(ktgeo_option_arc_segments(), 64);
    FailRecorder rec;
    StdoutCapture out;
    int16_t v;
    EXPECT_EQ(ktgeo_get_option(nullptr, 6, &v), 0);
    EXPECT_EQ(rec.Last().Get("param"), "option");
    EXPECT_EQ(ktgeo_option_init(nullptr), 0);
    EXPECT_EQ(rec.Last().Get("param"), "options");
}
