// The outline of one ring where arcs overrun nearby offsets and where the
// points of consecutive corners cross: arcs cut at the offset line, one
// loop trimmed, every other point at the buffer distance or beyond. The
// cutting and trimming steps also on small hand-made inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/entry/te_topo_run_util.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/buffer/buffer_test_widths.h"

namespace {


double SegDist(const GeoCoord& p, const GeoCoord& a, const GeoCoord& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy);
    t = std::fmax(0.0, std::fmin(1.0, t));
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double RingDist(const GeoCoord& p, const std::vector<GeoCoord>& ring) {
    double d = 1e300;
    for (size_t i = 0; i + 1 < ring.size(); ++i) d = std::fmin(d, SegDist(p, ring[i], ring[i + 1]));
    return d;
}

struct Outline {
    GeoCoord* pts = nullptr;
    int32_t n = 0;
    int32_t status = 0;
    ~Outline() { qd_free(pts); }
};

// Every vertex of the WKT in topo_run's output.
std::vector<GeoCoord> Vertices(const std::string& wkt) {
    std::vector<GeoCoord> out;
    const std::regex pair(R"(([-0-9.e+]+) ([-0-9.e+]+))");
    for (auto it = std::sregex_iterator(wkt.begin(), wkt.end(), pair); it != std::sregex_iterator(); ++it)
        out.push_back({std::stod((*it)[1]), std::stod((*it)[2]), 0});
    return out;
}

// The kept PATH pieces' vertices, one vector per piece.
std::vector<std::vector<GeoCoord>> Pieces(const TeEncoder& e) {
    std::vector<std::vector<GeoCoord>> out;
    for (uint32_t r = 0; e.chains && r < e.chains->tally; ++r) {
        const TeChain* c = qd_te_chain_at(e.chains, int32_t(r));
        if (c->discard != CHAIN_OK || c->chain_type != TE_PATH || !c->coords) continue;
        const auto* v = static_cast<const TeVertex*>(c->coords->data);
        out.emplace_back();
        for (uint32_t i = 0; i < c->coords->tally; ++i) out.back().push_back({v[i].x, v[i].y, 0});
    }
    return out;
}

}  // namespace

// A step in the top side of a rectangle: the convex corner (5,10) and the
// concave one (5,9.5) half a unit apart, buffered by 2. Outward, the arc
// around (5,10) overruns the offset y = 11.5 of the side after the step and is
// cut there at x = 5 + √(4 - 1.5²), from where the band runs straight on
// along y = 11.5. Inward, the arc around (5,9.5) overruns the offset y = 8 of
// the side before the step and loses its head at x = 5 - √(4 - 1.5²). The
// cuts lie on the true arcs, not on chords: they and every other vertex of
// the band keep the buffer distance.
TEST(qd_te_buffer_outline, ArcsOverrunningNeighbouringOffsetsAreCutThere) {
    const std::vector<GeoCoord> ring = {{0, 0, 0},    {0, 10, 0}, {5, 10, 0}, {5, 9.5, 0},
                                        {10, 9.5, 0}, {10, 0, 0}, {0, 0, 0}};
    const double root = std::sqrt(4 - 1.5 * 1.5);
    struct Case {
        double w;
        GeoCoord cut;  // where the arc meets the offset line
    } cases[] = {
        {2, {5 + root, 11.5, 0}},
        {-2, {5 - root, 8, 0}},
    };
    for (const Case& c : cases) {
        const std::string width = "width=" + std::to_string(c.w);
        const tetest::ToolResult r = tetest::RunTopoRun(
            {"BUFFER", width.c_str()}, "-1 POLYGON ((0 0, 0 10, 5 10, 5 9.5, 10 9.5, 10 0, 0 0))\n");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<GeoCoord> band = Vertices(r.out);
        ASSERT_GT(band.size(), 8u) << r.out;
        bool cut = false;
        for (const GeoCoord& p : band) {
            cut |= std::hypot(p.x - c.cut.x, p.y - c.cut.y) < 1e-9;
            EXPECT_GE(RingDist(p, ring), 2 - 1e-9) << "w " << c.w << " " << p.x << " " << p.y;
        }
        EXPECT_TRUE(cut) << "w " << c.w;
    }
}

// A step of half a unit down and half a unit along, buffered by 2: the
// concave vertex (5,9.5) gets no corner (its offsets never meet near it),
// so the arcs around (5,10) and (5.5,9.5) are consecutive corners whose points
// cross where their circles meet, (5.25 + h/√2, 9.75 + h/√2) with
// h = √(4 - 1/8). The loop between is trimmed: the outline does not cross
// itself, keeps that crossing on both true arcs, and every point keeps the
// buffer distance.
TEST(qd_te_buffer_outline, ConsecutiveCornersWhoseRunsCrossLoseTheLoop) {
    const std::vector<GeoCoord> ring = {{0, 0, 0},     {0, 10, 0},  {5, 10, 0}, {5, 9.5, 0},
                                        {5.5, 9.5, 0}, {5.5, 0, 0}, {0, 0, 0}};
    const double h = std::sqrt(4 - 0.125) / std::sqrt(2.0);
    const GeoCoord meet{5.25 + h, 9.75 + h, 0};
    Outline o;
    const TeBufferWidth w = Widths(2, 2, 2, 0);
    ASSERT_EQ(qd_te_buffer_polygon(ring.data(), int32_t(ring.size()), &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
    ASSERT_EQ(o.status, 1);
    int crossings_kept = 0;
    for (int32_t i = 0; i < o.n; ++i) {
        const GeoCoord& p = o.pts[i];
        crossings_kept += std::hypot(p.x - meet.x, p.y - meet.y) < 1e-9;
        EXPECT_GE(RingDist(p, ring), 2 - 1e-9) << i << " " << p.x << " " << p.y;
    }
    EXPECT_EQ(crossings_kept, 1);
    nlst* pts = nlst_alloc_with_array(sizeof(GeoCoord), o.pts, uint32_t(o.n), 1, nullptr);
    ASSERT_TRUE(pts);
    TeIntersectionList crossings{0, 0, nullptr};
    EXPECT_EQ(qd_te_cogo_self_intersections_nlst(pts, &crossings, 0, nullptr), 0);
    qd_te_cogo_intersection_list_free(&crossings);
    pts->data = nullptr;
    nlst_free(pts);
}

// The Part's square corners: each round corner passes through the point at
// distance 1 along the outward bisector.
TEST(qd_te_buffer_outline, RoundCornersPassThroughTheBisectorPoint) {
    const GeoCoord square[] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}};
    Outline o;
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    ASSERT_EQ(qd_te_buffer_polygon(square, 5, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
    ASSERT_EQ(o.status, 1);
    const double s = std::sqrt(0.5);
    for (const GeoCoord& b : {GeoCoord{-s, -s, 0}, GeoCoord{-s, 1 + s, 0}, GeoCoord{1 + s, 1 + s, 0},
                              GeoCoord{1 + s, -s, 0}}) {
        bool found = false;
        for (int32_t i = 0; i < o.n; ++i) found |= std::hypot(o.pts[i].x - b.x, o.pts[i].y - b.y) < 1e-9;
        EXPECT_TRUE(found) << b.x << " " << b.y;
    }
}

// A hole buffered with a negative width: its side widths are negated, so
// the hole's outline grows out into the surface by |w|, round at the corners
// (area 4 + 8|w| + π w² for a 2 × 2 hole).
TEST(qd_te_buffer_outline, NegativeWidthGrowsAHole) {
    Enc enc;
    enc.rules.buffer.width = Widths(-0.5, -0.5, -0.5, 0);
    enc.rules.buffer.arc_segments = 32;
    const std::vector<GeoCoord> hole = {{4, 4, 0}, {6, 4, 0}, {6, 6, 0}, {4, 6, 0}, {4, 4, 0}};
    int32_t status = 0;
    ASSERT_EQ(qd_te_buffer_chain_ring(&status, &enc.e, hole.data(), 5, 1), 1);
    ASSERT_EQ(status, 1);
    const auto pieces = Pieces(enc.e);
    ASSERT_EQ(pieces.size(), 1u);
    double area = 0;
    const auto& v = pieces[0];
    for (size_t i = 0; i < v.size(); ++i) {
        // Outside the hole, at 0.5 from its boundary.
        EXPECT_NEAR(RingDist(v[i], hole), 0.5, 1e-9);
        EXPECT_TRUE(v[i].x < 4 || v[i].x > 6 || v[i].y < 4 || v[i].y > 6);
        if (i + 1 < v.size()) area += v[i].x * v[i + 1].y - v[i + 1].x * v[i].y;
    }
    const double expect = 4 + 8 * 0.5 + M_PI * 0.25;
    EXPECT_NEAR(std::fabs(area / 2), expect, 0.01 * expect);
}

// Cutting arc points by a segment: the head before the first meeting point,
// the tail after the last; the meeting point takes the end's place.
TEST(qd_te_buffer_outline, ClipArcByLineHeadAndTail) {
    struct Case {
        std::vector<GeoCoord> arc;
        GeoCoord a, b;
        int32_t mode;
        std::vector<GeoCoord> expect;
    } cases[] = {
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {1.5, -1, 0}, {1.5, 1, 0}, 1, {{1.5, 0, 0}, {2, 0, 0}, {3, 0, 0}}},
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {1.5, -1, 0}, {1.5, 1, 0}, 2, {{0, 0, 0}, {1, 0, 0}, {1.5, 0, 0}}},
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {2, -1, 0}, {2, 1, 0}, 1, {{2, 0, 0}, {3, 0, 0}}},
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {2, -1, 0}, {2, 1, 0}, 2, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}},
        {{{0, 0, 0}, {1, 0, 0}}, {5, -1, 0}, {5, 1, 0}, 2, {{0, 0, 0}, {1, 0, 0}}},  // no meeting: unchanged
        // Two meetings: the head goes to the first, the tail to the last.
        {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {1, -1, 0}, {1, 3, 0}, 1,
         {{1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}},
        {{{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, {1, -1, 0}, {1, 3, 0}, 2,
         {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {1, 2, 0}}},
    };
    for (const Case& c : cases) {
        int32_t n = int32_t(c.arc.size());
        auto* pts = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(n)));
        for (int32_t i = 0; i < n; ++i) pts[i] = c.arc[size_t(i)];
        const GeoCoord centre{0, 0, 0};
        ASSERT_EQ(qd_te_buffer_clip_arc_by_line(&c.b, &pts, &n, &c.a, &centre, 0, 0, c.mode), 1);
        ASSERT_EQ(n, int32_t(c.expect.size())) << c.a.x << " mode " << c.mode;
        for (int32_t i = 0; i < n; ++i) {
            EXPECT_NEAR(pts[i].x, c.expect[size_t(i)].x, 1e-12);
            EXPECT_NEAR(pts[i].y, c.expect[size_t(i)].y, 1e-12);
        }
        qd_te_buffer_corner_points_free(&pts);
        EXPECT_EQ(pts, nullptr);
    }
}

namespace {

TeBufferCorner PointRun(std::initializer_list<GeoCoord> pts) {
    TeBufferCorner c{};
    c.joined = 0;
    c.count = int32_t(pts.size());
    c.points = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * pts.size()));
    int32_t i = 0;
    for (const GeoCoord& p : pts) c.points[i++] = p;
    return c;
}

TeBufferCorner Point(GeoCoord p) {
    TeBufferCorner c{};
    c.joined = 1;
    c.point = p;
    return c;
}

}  // namespace

// Trimming two corners: the run (0,0) (4,0) (4,1) | (3,-1) (3,2) crosses
// itself at (3,0) (segments 0 and 3) and (3.5,0) (segments 0 and 2); the
// first by segment and offset, (3,0), cuts the loop: (0,0) (3,0) (3,2), and
// the second corner is dropped. Runs that do not cross stay as they are.
TEST(qd_te_buffer_outline, TrimBorderRemovesTheFirstLoop) {
    TeBufferCorner a = PointRun({{0, 0, 0}, {4, 0, 0}, {4, 1, 0}});
    TeBufferCorner b = PointRun({{3, -1, 0}, {3, 2, 0}});
    ASSERT_EQ(qd_te_buffer_trim_border(&a, &b, nullptr), 1);
    EXPECT_EQ(b.dropped, 1);
    EXPECT_EQ(a.joined, 0);
    ASSERT_EQ(a.count, 3);
    const GeoCoord expect[] = {{0, 0, 0}, {3, 0, 0}, {3, 2, 0}};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(a.points[i].x, expect[i].x, 1e-12);
        EXPECT_NEAR(a.points[i].y, expect[i].y, 1e-12);
    }
    EXPECT_EQ(a.env_min.x, 0);
    EXPECT_EQ(a.env_max.y, 2);
    qd_te_buffer_corner_points_free(&a.points);
    qd_te_buffer_corner_points_free(&b.points);

    TeBufferCorner c = PointRun({{0, 0, 0}, {1, 0, 0}});
    TeBufferCorner d = Point({2, 1, 0});
    ASSERT_EQ(qd_te_buffer_trim_border(&c, &d, nullptr), 1);
    EXPECT_EQ(d.dropped, 0);
    EXPECT_EQ(c.count, 2);
    d.joined = 2;  // neither a point nor a run
    EXPECT_EQ(qd_te_buffer_trim_border(&c, &d, nullptr), 0);
    qd_te_buffer_corner_points_free(&c.points);
}

TEST(qd_te_buffer_outline, IntersectionOrdersBySlot) {
    TeIntersection x[3] = {};
    x[0].index_a = 2, x[0].offset_a = 0.5, x[0].index_b = 1, x[0].offset_b = 0.0;
    x[1].index_a = 2, x[1].offset_a = 0.25, x[1].index_b = 0, x[1].offset_b = 3.0;
    x[2].index_a = 1, x[2].offset_a = 9.0, x[2].index_b = 1, x[2].offset_b = 0.0;
    EXPECT_GT(qd_te_intersection_compare_a(&x[0], &x[1]), 0);
    EXPECT_LT(qd_te_intersection_compare_a(&x[2], &x[1]), 0);
    EXPECT_LT(qd_te_intersection_compare_b(&x[1], &x[0]), 0);
    EXPECT_EQ(qd_te_intersection_compare_b(&x[0], &x[2]), 0);
}

// Forming the outline: dropped corners are left out, the first point is
// overwritten with the last; two points are too few. A corner pass over two
// corners has nothing to clip (status -1).
TEST(qd_te_buffer_outline, FormOutlineAndShortCornerLists) {
    nlst* corners = nlst_alloc(sizeof(TeBufferCorner), 4, 4, nullptr);
    TeBufferCorner c[] = {Point({0, 0, 0}), PointRun({{1, 0, 0}, {1, 1, 0}}), Point({9, 9, 0}), Point({0, 1e-9, 0})};
    c[2].dropped = 1;
    for (const TeBufferCorner& k : c) nlst_add(corners, &k);
    GeoCoord* out = nullptr;
    int32_t n = 0, status = 1;
    ASSERT_EQ(qd_te_buffer_form_outline(corners, &out, &n, &status), 1);
    EXPECT_EQ(status, 1);
    ASSERT_EQ(n, 4);
    EXPECT_EQ(out[0].y, 1e-9);
    EXPECT_EQ(out[1].x, 1);
    EXPECT_EQ(out[2].y, 1);
    EXPECT_EQ(out[3].y, 1e-9);
    qd_free(out);
    nlst_trunc(corners, 2);
    status = 1;
    ASSERT_EQ(qd_te_buffer_clip_corners(&status, corners, nullptr, 16), 0);
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    ASSERT_EQ(qd_te_buffer_clip_corners(&status, corners, &w, 16), 1);
    EXPECT_EQ(status, -1);
    corners->tally = 1;
    status = 1;
    out = nullptr;
    ASSERT_EQ(qd_te_buffer_form_outline(corners, &out, &n, &status), 1);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(out, nullptr);
    corners->tally = 2;
    qd_te_buffer_corners_free(corners);
}

// Arc corners: a quarter circle of radius 1 is stroked from its start to its
// end, every point on the circle, and the corner turns around the vertex;
// three collinear points make no arc (the corner stays its single point);
// a joined corner is left alone.
TEST(qd_te_buffer_outline, PrepareArcStrokesOrKeepsThePoint) {
    const GeoCoord centre{0, 0, 0};
    const double s = std::sqrt(0.5);
    struct Case {
        GeoCoord three[3];
        int32_t joined_before;
        int32_t joined_after;
    } cases[] = {
        {{{1, 0, 0}, {s, s, 0}, {0, 1, 0}}, 0, 0},
        {{{1, 0, 0}, {0.5, 0.5, 0}, {0, 1, 0}}, 0, 1},
        {{{1, 0, 0}, {s, s, 0}, {0, 1, 0}}, 1, 1},
    };
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    for (const Case& c : cases) {
        TeBufferCorner corner{};
        corner.joined = c.joined_before;
        corner.point = c.three[1];
        ASSERT_EQ(qd_te_buffer_prepare_arc(&w, 16, &corner, c.three, &centre, 1e-8), 1);
        EXPECT_EQ(corner.joined, c.joined_after);
        if (c.joined_after) {
            EXPECT_EQ(corner.count, 0);
            EXPECT_EQ(corner.point.x, c.three[1].x);
            EXPECT_EQ(corner.point.y, c.three[1].y);
            continue;
        }
        ASSERT_GE(corner.count, 4);
        EXPECT_EQ(corner.point.x, 0);
        EXPECT_EQ(corner.point.y, 0);
        EXPECT_NEAR(corner.points[0].x, 1, 1e-12);
        EXPECT_NEAR(corner.points[corner.count - 1].y, 1, 1e-12);
        for (int32_t i = 0; i < corner.count; ++i) {
            EXPECT_NEAR(std::hypot(corner.points[i].x, corner.points[i].y), 1, 1e-12);
            EXPECT_GE(corner.points[i].x, -1e-12);
            EXPECT_GE(corner.points[i].y, -1e-12);
        }
        EXPECT_NEAR(corner.env_min.x, 0, 1e-12);
        EXPECT_NEAR(corner.env_max.y, 1, 1e-12);
        qd_te_buffer_corner_points_free(&corner.points);
    }
}

namespace {

// The ring of a line run out and back, turned clockwise as the buffer does.
std::vector<GeoCoord> OutAndBack(const std::vector<GeoCoord>& line) {
    std::vector<GeoCoord> ring(line);
    for (size_t i = line.size() - 1; i-- > 0;) ring.push_back(line[i]);
    if (!qd_te_cogo_ring_clockwise(ring.data(), int32_t(ring.size()))) std::reverse(ring.begin(), ring.end());
    return ring;
}

double SignedArea(const GeoCoord* p, int32_t n) {
    double a = 0;
    for (int32_t i = 0; i + 1 < n; ++i) a += p[i].x * p[i + 1].y - p[i + 1].x * p[i].y;
    return a / 2;
}

}  // namespace

// The raw outline of a line's band traced to the zone's boundary: each ring
// has the zone on its right (clockwise outside, counter-clockwise round a
// hole) and no point inside the zone (a crossing of two stroked chords lies
// at most a chord's sagitta inside). A closed square line of width w gives
// the square grown by w (100 + 40w + πw²) and its 9 × 9 hole; a line whose
// split loops each mix boundary and inner stretches gives one ring of GEOS's
// area (433.455, 32 quadrant segments); an outline that does not cross
// itself is not traced.
TEST(qd_te_buffer_outline, TracedOutlineIsTheZonesBoundary) {
    const double pi = std::acos(-1.0);
    struct Case {
        std::vector<GeoCoord> line;
        double width;
        std::vector<double> signed_areas;  // ascending, clockwise negative
    } cases[] = {
        {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}}, 0.5, {-(100 + 20 + pi / 4), 81}},
        {{{43.846, 24.54, 0}, {26.919, 14.609, 0}, {42.65, 17.448, 0}, {33.357, 12.255, 0}, {39.483, 25.235, 0},
          {30.172, 11.1, 0}, {39.153, 10.486, 0}, {40.211, 19.585, 0}},
         4.78376,
         {-433.45533143937183}},
        {{{0, 0, 0}, {10, 0, 0}}, 1, {}},
    };
    for (const Case& c : cases) {
        const std::vector<GeoCoord> ring = OutAndBack(c.line);
        const TeBufferWidth w = Widths(c.width, c.width, c.width, 0);
        Outline o;
        ASSERT_EQ(qd_te_buffer_polygon(ring.data(), int32_t(ring.size()), &w, 32, &o.pts, &o.n, 1e-8, &o.status), 1);
        ASSERT_EQ(o.status, 1);
        nlst* points = nullptr;
        nlst* sizes = nullptr;
        int32_t traced = -1;
        ASSERT_EQ(qd_te_buffer_trace_outline(ring.data(), int32_t(ring.size()), &w, o.pts, o.n, 1e-8, &points, &sizes,
                                             &traced),
                  1);
        if (c.signed_areas.empty()) {
            EXPECT_EQ(traced, 0);
            EXPECT_EQ(points, nullptr);
            continue;
        }
        ASSERT_EQ(traced, 1);
        ASSERT_EQ(sizes->tally, c.signed_areas.size());
        const auto* p = static_cast<const GeoCoord*>(points->data);
        const auto* m = static_cast<const int32_t*>(sizes->data);
        std::vector<double> areas;
        for (uint32_t i = 0, at = 0; i < sizes->tally; at += uint32_t(m[i]), ++i) {
            areas.push_back(SignedArea(p + at, m[i]));
            EXPECT_EQ(p[at].x, p[at + uint32_t(m[i]) - 1].x);
            EXPECT_EQ(p[at].y, p[at + uint32_t(m[i]) - 1].y);
            for (int32_t k = 0; k < m[i]; ++k) EXPECT_GE(RingDist(p[at + uint32_t(k)], ring), 0.995 * c.width) << k;
        }
        std::sort(areas.begin(), areas.end());
        for (size_t i = 0; i < areas.size(); ++i)
            EXPECT_NEAR(areas[i], c.signed_areas[i], 0.01 * std::fabs(c.signed_areas[i])) << i;
        nlst_free(points);
        nlst_free(sizes);
    }
}

// The two sides of a closed line, each offset round the line as a ring (no
// caps at the closing point), traced together: a closed square line of width
// 0.5 gives the square grown by 0.5 (100 + 20 + π/4) and its 9 × 9 hole; a
// closed figure-eight through (5,5), width 0.5, gives one outer ring and a
// hole per lobe, each lobe (a right triangle of area 25, inradius
// r = 25 / (5√2 + 5)) shrunk by 0.5: 25 ((r - 0.5) / r)². Every ring point
// keeps the width from the line.
TEST(qd_te_buffer_outline, ClosedLineSidesTraceTogether) {
    const double pi = std::acos(-1.0);
    const double r = 25 / (5 * std::sqrt(2.0) + 5);
    const double lobe = 25 * std::pow((r - 0.5) / r, 2);
    struct Case {
        std::vector<GeoCoord> line;
        std::vector<double> holes;  // their areas, ascending
        double outer;               // the outer ring's area, 0: not checked
    } cases[] = {
        {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}}, {81}, 100 + 20 + pi / 4},
        {{{0, 0, 0}, {10, 10, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 0}}, {lobe, lobe}, 0},
    };
    for (const Case& c : cases) {
        const TeBufferWidth w = Widths(0.5, 0.5, 0.5, 0);
        std::vector<GeoCoord> back(c.line.rbegin(), c.line.rend());
        Outline left, right;
        ASSERT_EQ(qd_te_buffer_polygon(c.line.data(), int32_t(c.line.size()), &w, 32, &left.pts, &left.n, 1e-8,
                                       &left.status),
                  1);
        ASSERT_EQ(qd_te_buffer_polygon(back.data(), int32_t(back.size()), &w, 32, &right.pts, &right.n, 1e-8,
                                       &right.status),
                  1);
        ASSERT_EQ(left.status, 1);
        ASSERT_EQ(right.status, 1);
        const std::vector<GeoCoord> ring = OutAndBack(c.line);
        nlst* points = nullptr;
        nlst* sizes = nullptr;
        int32_t traced = -1;
        ASSERT_EQ(qd_te_buffer_trace_outlines(ring.data(), int32_t(ring.size()), &w, left.pts, left.n, right.pts,
                                              right.n, 1e-8, &points, &sizes, &traced),
                  1);
        ASSERT_EQ(traced, 1);
        ASSERT_EQ(sizes->tally, 1 + c.holes.size());
        const auto* p = static_cast<const GeoCoord*>(points->data);
        const auto* m = static_cast<const int32_t*>(sizes->data);
        std::vector<double> holes;
        double outer = 0;
        for (uint32_t i = 0, at = 0; i < sizes->tally; at += uint32_t(m[i]), ++i) {
            const double a = SignedArea(p + at, m[i]);
            if (a > 0) holes.push_back(a);
            else outer = -a;
            for (int32_t k = 0; k < m[i]; ++k) EXPECT_GE(RingDist(p[at + uint32_t(k)], ring), 0.995 * 0.5) << k;
        }
        std::sort(holes.begin(), holes.end());
        ASSERT_EQ(holes.size(), c.holes.size());
        for (size_t i = 0; i < holes.size(); ++i) EXPECT_NEAR(holes[i], c.holes[i], 1e-6 * c.holes[i]) << i;
        if (c.outer > 0) {
            EXPECT_NEAR(outer, c.outer, 0.01 * c.outer);
        }
        nlst_free(points);
        nlst_free(sizes);
    }
}
