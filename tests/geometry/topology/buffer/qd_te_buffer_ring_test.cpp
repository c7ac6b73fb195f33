// Point rings of the buffer encoder: a circle of |width|, or with two-sided
// widths an ellipse of semi-axes |left| along x and |right| along y; the
// area of the stroked ring is within 1% of πab and every vertex lies on the
// ellipse. A negative width is refused only when the buffer option is 0.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/buffer/buffer_test_widths.h"

namespace {

double Area(const TeChain* c) {
    const auto* v = static_cast<const TeVertex*>(c->coords->data);
    double a = 0;
    for (uint32_t i = 0; i + 1 < c->coords->tally; ++i) a += v[i].x * v[i + 1].y - v[i + 1].x * v[i].y;
    return a / 2;
}

}  // namespace

TEST(qd_te_buffer_ring, PointCirclesAndEllipses) {
    struct Case {
        double width, left, right;
        int32_t two_sided;
        double a, b;
    };
    for (const Case& k : {Case{5, 0, 0, 0, 5, 5}, Case{-2, 0, 0, 0, 2, 2}, Case{1, 3, 1, 1, 3, 1},
                          Case{1, -1, 4, 1, 1, 4}}) {
        Enc t;
        t.rules.buffer.width.width = k.width;
        t.rules.buffer.width.width_left = k.left;
        t.rules.buffer.width.width_right = k.right;
        t.rules.buffer.width.two_sided = k.two_sided;
        const GeoCoord centre{10, 20, KTGEO_NO_Z};
        int32_t status = 0;
        ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &centre, &status), 1);
        ASSERT_EQ(status, 1);
        ASSERT_TRUE(t.e.chains);
        const TeChain* c = qd_te_chain_at(t.e.chains, int32_t(t.e.chains->tally) - 1);
        ASSERT_TRUE(c && c->coords && c->coords->tally > 16);
        EXPECT_EQ(c->chain_type, TE_PATH);
        const auto* v = static_cast<const TeVertex*>(c->coords->data);
        for (uint32_t i = 0; i < c->coords->tally; ++i) {
            const double dx = (v[i].x - 10) / k.a, dy = (v[i].y - 20) / k.b;
            EXPECT_NEAR(dx * dx + dy * dy, 1.0, 1e-9);
        }
        EXPECT_NEAR(v[0].x, v[c->coords->tally - 1].x, 1e-12);
        // Clockwise ring, area πab within 1%.
        EXPECT_LT(Area(c), 0);
        EXPECT_NEAR(-Area(c), M_PI * k.a * k.b, 0.01 * M_PI * k.a * k.b);
        EXPECT_EQ(t.rules.statistics.data_dim, 3);
    }
}

TEST(qd_te_buffer_ring, NegativeWidthRefusedWithOptionZero) {
    Enc t;
    t.rules.buffer.buffer_option = 0;
    t.rules.buffer.width.width = -1;
    const GeoCoord p{0, 0, KTGEO_NO_Z};
    int32_t status = 0;
    ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &p, &status), 1);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(!t.e.chains || t.e.chains->tally <= 1);
}

TEST(qd_te_buffer_ring, NullArgumentsAnswerZero) {
    Enc t;
    int32_t status = 0;
    EXPECT_EQ(qd_te_buffer_chain_node(nullptr, nullptr, &status), 0);
    EXPECT_EQ(qd_te_encode_feature_buffer(nullptr, &t.e, nullptr), 0);
    EXPECT_EQ(qd_te_buffer_output(nullptr, nullptr), 0);
    EXPECT_EQ(qd_te_buffer_dissolve_geom(nullptr, nullptr), 0);
}

namespace {
struct Seen {
    int calls = 0;
    GeoCoord min{0, 0, 0}, max{0, 0, 0};
    int32_t answer = 1;
};
int32_t Collect(SpatialObject* g, nlst*, void* user) {
    auto* s = static_cast<Seen*>(user);
    ++s->calls;
    ktgeo_so_compute_envelope(g);
    s->min = g->env_min;
    s->max = g->env_max;
    return s->answer;
}
}  // namespace

TEST(qd_te_buffer_ring, FinalSplitDissolveEmptiesTheListAndFailsWithItsOutput) {
    // Two overlapping unit circles: the final dissolve hands their union to the
    // run's own output method and leaves only the universal chain; when that
    // method fails, the dissolve fails.
    for (int32_t answer : {1, 0}) {
        Enc t;
        t.rules.mode = TE_BUFFER_SPLIT;
        t.rules.buffer.width.width = 1;
        ASSERT_EQ(qd_te_geo_chain_list_create(&t.e.chains, 8), 1);
        for (double x : {0.0, 1.0}) {
            const GeoCoord p{x, 0, KTGEO_NO_Z};
            int32_t status = 0;
            ASSERT_EQ(qd_te_buffer_chain_node(&t.e, &p, &status), 1);
            ASSERT_EQ(status, 1);
        }
        Seen seen;
        seen.answer = answer;
        t.rules.output_method = TeOutputCallback{Collect, &seen};
        EXPECT_EQ(qd_te_buffer_output(&t.rules, t.e.chains), answer);
        EXPECT_EQ(t.e.chains->tally, 1u);
        EXPECT_EQ(seen.calls, 1);
        if (answer) {
            // One geometry spanning both circles: x from -1 to 2, y from -1 to 1.
            EXPECT_NEAR(seen.min.x, -1, 1e-9);
            EXPECT_NEAR(seen.max.x, 2, 1e-9);
            EXPECT_NEAR(seen.min.y, -1, 1e-9);
            EXPECT_NEAR(seen.max.y, 1, 1e-9);
        }
    }
}

// Outline pieces: the point filter's margin, the filter over a ring and the
// region twins.
namespace {


// A PATH piece of the given points at row chains->tally, with optional parents.
void AddPiece(nlst* chains, std::initializer_list<GeoCoord> pts, int32_t pid, bool left, bool right,
              int32_t type = TE_PATH) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_id = static_cast<int32_t>(chains->tally);
    c.chain_pid = pid;
    c.chain_type = type;
    c.coords = nlst_alloc(sizeof(TeVertex), 8, 8, nullptr);
    for (const GeoCoord& p : pts) {
        TeVertex v{p.x, p.y, -1e7, 1e-8};
        nlst_add(c.coords, &v);
    }
    const TeParent parent{1, 1, 1 << 3};
    if (left) {
        c.left_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
        nlst_add(c.left_parent, &parent);
    }
    if (right) {
        c.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
        nlst_add(c.right_parent, &parent);
    }
    nlst_add(chains, &c);
}

}  // namespace

TEST(qd_te_buffer_pieces, PointFilterKeepsTheBufferLineAndRemovesWhatIsNearer) {
    const GeoCoord a{0, 0, 0}, b{10, 0, 0};
    struct Case {
        TeBufferWidth w;
        GeoCoord p;
        int inside;
    } cases[] = {
        {Widths(1, 1, 1, 0), {5, 1, 0}, 0},                 // exactly at the width: kept
        {Widths(1, 1, 1, 0), {5, 1 - 1e-6, 0}, 1},          // 1e-6 nearer: removed
        {Widths(1, 1, 1, 0), {5, 1 + 1e-6, 0}, 0},          // beyond
        {Widths(-1, 1, 1, 0), {5, 0.5, 0}, 1},              // the size of a negative width
        {Widths(1, 1, 4, 1), {5, 2, 0}, 1},                 // scaled distance 0.5
        {Widths(1, 1, 4, 1), {12, 0, 0}, 0},                // 2 beyond the end along x
        {Widths(1e-8, 1e-8, 1e-8, 0), {5, 0.5e-8, 0}, 1},   // a narrow buffer still removes
        {Widths(1e-8, 1e-8, 1e-8, 0), {5, 1e-8, 0}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(qd_te_buffer_point_filter(&c.w, &a, &c.p, &b), c.inside) << c.p.y;
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    EXPECT_EQ(qd_te_buffer_point_filter(&w, nullptr, &a, &b), 1);
}

TEST(qd_te_buffer_pieces, FilterRemovesInnerVerticesAndDropsPiecesInside) {
    const GeoCoord ring[] = {{0, 0, 0}, {0, 10, 0}, {10, 10, 0}, {10, 0, 0}, {0, 0, 0}};
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    nlst* chains = nlst_alloc(sizeof(TeChain), 4, 4, nullptr);
    AddPiece(chains, {{-1, -1, 0}, {-1, 4, 0}, {-1 + 1e-6, 6, 0}, {-1, 11, 0}, {11, 11, 0}, {11, -1, 0}, {-1, -1, 0}},
             7, true, false);
    AddPiece(chains, {{0.5, 0.5, 0}, {0.5, 0.6, 0}, {0.6, 0.6, 0}, {0.5, 0.5, 0}}, 7, true, false);
    ASSERT_EQ(qd_te_buffer_chain_filter(chains, 0, ring, 5, &w), 1);
    const TeChain* kept = qd_te_chain_at(chains, 0);
    ASSERT_EQ(kept->discard, CHAIN_OK);
    ASSERT_EQ(kept->coords->tally, 6u);
    const auto* v = static_cast<const TeVertex*>(kept->coords->data);
    EXPECT_EQ(v[1].y, 4.0);  // the vertex at the width stays
    EXPECT_EQ(v[2].y, 11.0);  // the one 1e-6 inside is gone
    EXPECT_EQ(v[5].x, v[0].x);
    EXPECT_EQ(v[5].y, v[0].y);
    EXPECT_EQ(qd_te_chain_at(chains, 1)->discard, CHAIN_DELETE);
    EXPECT_EQ(qd_te_buffer_chain_filter(chains, 0, nullptr, 5, &w), 0);
    qd_te_geo_free_chain_list(chains, 0);
    nlst_free(chains);
}

TEST(qd_te_buffer_pieces, TwinsByRingKindAndParentsWithNegatedParentId) {
    struct Piece {
        bool left, right;
        int32_t type;
        int32_t twin;  // -1 none
    };
    struct Case {
        int32_t kind;
        std::vector<Piece> pieces;
    } cases[] = {
        {0, {{true, false, TE_PATH, TE_REGION}, {false, true, TE_PATH, -1}}},
        {1,
         {{true, false, TE_PATH, TE_REGION},
          {false, true, TE_PATH, TE_ISLAND},
          {false, false, TE_PATH, TE_ISLAND}}},  // neither side: as the piece before
        {2,
         {{true, true, TE_PATH, TE_REGION},
          {true, false, TE_PATH, -1},
          {false, false, TE_LINE, -1},
          {false, true, TE_PATH, TE_ISLAND}}},
    };
    for (const Case& c : cases) {
        Enc enc;
        const int32_t before = enc.rules.statistics.input_counters.count[2];
        ASSERT_EQ(qd_te_geo_chain_list_create(&enc.e.chains, 8), 1);
        const int32_t first = static_cast<int32_t>(enc.e.chains->tally);
        int32_t pid = 3;
        for (const Piece& p : c.pieces) {
            AddPiece(enc.e.chains, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}}, pid++, p.left, p.right, p.type);
        }
        const int32_t n = static_cast<int32_t>(enc.e.chains->tally);
        ASSERT_EQ(qd_te_buffer_chain_cutter(first, &enc.e, c.kind), 1);
        int32_t row = n, twins = 0;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            const TeChain* piece = qd_te_chain_at(enc.e.chains, first + static_cast<int32_t>(i));
            if (c.pieces[i].type == TE_LINE) {
                EXPECT_EQ(piece->discard, CHAIN_DELETE);
            }
            if (c.pieces[i].twin < 0) continue;
            ASSERT_LT(row, static_cast<int32_t>(enc.e.chains->tally)) << "kind " << c.kind << " piece " << i;
            const TeChain* twin = qd_te_chain_at(enc.e.chains, row);
            EXPECT_EQ(twin->chain_type, c.pieces[i].twin) << "kind " << c.kind << " piece " << i;
            EXPECT_EQ(twin->chain_pid, -piece->chain_pid);
            EXPECT_EQ(twin->chain_id, row);
            EXPECT_EQ(piece->chain_type, TE_PATH);
            ++row;
            ++twins;
        }
        EXPECT_EQ(static_cast<int32_t>(enc.e.chains->tally), n + twins) << "kind " << c.kind;
        EXPECT_EQ(enc.rules.statistics.input_counters.count[2], before + twins);
    }
}

// The raw outline of one ring against closed forms: the unit square with
// round (style 0) and elliptical (style 1) corners, and the cap of a
// doubled-back line.
namespace {

struct Outline {
    GeoCoord* pts = nullptr;
    int32_t n = 0;
    int32_t status = 0;
    ~Outline() { qd_free(pts); }
    double Area() const {
        double a = 0;
        for (int32_t i = 0; i + 1 < n; ++i) a += pts[i].x * pts[i + 1].y - pts[i + 1].x * pts[i].y;
        return std::fabs(a / 2);
    }
};

}  // namespace

TEST(qd_te_buffer_outline, SquareCornersAndLineCapsAgainstTheirFormulas) {
    const GeoCoord square[] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 0, 0}};
    const double pi = std::acos(-1.0);
    {  // style 0, width 1: every point at distance 1 from the square, area 1 + 4 + π
        Outline o;
        const TeBufferWidth w = Widths(1, 1, 1, 0);
        ASSERT_EQ(qd_te_buffer_polygon(square, 5, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
        ASSERT_EQ(o.status, 1);
        ASSERT_GT(o.n, 8);
        for (int32_t i = 0; i < o.n; ++i) {
            const double dx = std::fmax(std::fmax(-o.pts[i].x, o.pts[i].x - 1), 0.0);
            const double dy = std::fmax(std::fmax(-o.pts[i].y, o.pts[i].y - 1), 0.0);
            EXPECT_NEAR(std::hypot(dx, dy), 1.0, 1e-9) << i;
        }
        EXPECT_NEAR(o.Area(), 5 + pi, 0.01 * (5 + pi));
        EXPECT_EQ(o.pts[0].x, o.pts[o.n - 1].x);
        EXPECT_EQ(o.pts[0].y, o.pts[o.n - 1].y);
    }
    {  // style 1, left 1 along x and right 2 along y: sides moved by 1 and 2, corners on the ellipse
        Outline o;
        const TeBufferWidth w = Widths(1, 1, 2, 1);
        ASSERT_EQ(qd_te_buffer_polygon(square, 5, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
        ASSERT_EQ(o.status, 1);
        for (int32_t i = 0; i < o.n; ++i) {
            const double dx = std::fmax(std::fmax(-o.pts[i].x, o.pts[i].x - 1), 0.0);
            const double dy = std::fmax(std::fmax(-o.pts[i].y, o.pts[i].y - 1), 0.0);
            EXPECT_NEAR(dx * dx + dy * dy / 4, 1.0, 1e-9) << i;
        }
        EXPECT_NEAR(o.Area(), 7 + 2 * pi, 0.01 * (7 + 2 * pi));
    }
    {  // a line out and back: a band of width 2 with a half-circle cap at each end through the extension
        const GeoCoord line[] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}};
        Outline o;
        const TeBufferWidth w = Widths(1, 1, 1, 0);
        ASSERT_EQ(qd_te_buffer_polygon(line, 3, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
        ASSERT_EQ(o.status, 1);
        EXPECT_NEAR(o.Area(), 20 + pi, 0.01 * (20 + pi));
        bool far_end = false, near_end = false;
        for (int32_t i = 0; i < o.n; ++i) {
            far_end |= std::fabs(o.pts[i].x - 11) < 1e-9 && std::fabs(o.pts[i].y) < 1e-9;
            near_end |= std::fabs(o.pts[i].x + 1) < 1e-9 && std::fabs(o.pts[i].y) < 1e-9;
        }
        EXPECT_TRUE(far_end);
        EXPECT_TRUE(near_end);
    }
    {  // an open ring and too few points
        const GeoCoord open[] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}};
        Outline o;
        const TeBufferWidth w = Widths(1, 1, 1, 0);
        ASSERT_EQ(qd_te_buffer_polygon(open, 3, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
        EXPECT_EQ(o.status, -2);
        ASSERT_EQ(qd_te_buffer_polygon(square, 2, &w, 16, &o.pts, &o.n, 1e-8, &o.status), 1);
        EXPECT_EQ(o.status, -2);
        EXPECT_EQ(qd_te_buffer_polygon(square, 5, &w, 16, &o.pts, nullptr, 1e-8, &o.status), 0);
    }
}

// A segment with two-sided widths: the band outline's area is that of the
// ellipse (πab) plus the segment's length times the ellipse's width across
// it, 2L√(a²nx² + b²ny²) for the unit normal n.
TEST(qd_te_buffer_outline, EllipticalSegmentAreaFormula) {
    const double pi = std::acos(-1.0);
    struct Case {
        GeoCoord a, b;
    } cases[] = {{{0, 0, 0}, {10, 0, 0}}, {{0, 0, 0}, {0, 10, 0}}, {{0, 0, 0}, {6, 8, 0}}};
    for (const Case& c : cases) {
        Enc enc;
        enc.rules.buffer.width = Widths(1, 1, 2, 1);
        enc.rules.buffer.arc_segments = 32;
        const GeoCoord line[] = {c.a, c.b};
        int32_t status = 0;
        ASSERT_EQ(qd_te_buffer_chain_poly(2, &enc.e, line, 2, &status), 1);
        ASSERT_EQ(status, 1);
        double area = 0;
        for (uint32_t i = 0; i < enc.e.chains->tally; ++i) {
            const TeChain* ch = qd_te_chain_at(enc.e.chains, static_cast<int32_t>(i));
            if (ch->discard == CHAIN_OK && ch->chain_type == TE_PATH) area += std::fabs(Area(ch));
        }
        const double len = std::hypot(c.b.x - c.a.x, c.b.y - c.a.y);
        const double nx = -(c.b.y - c.a.y) / len, ny = (c.b.x - c.a.x) / len;
        const double expect = pi * 1 * 2 + 2 * len * std::sqrt(1 * nx * nx + 4 * ny * ny);
        EXPECT_NEAR(area, expect, 0.01 * expect) << c.b.x << " " << c.b.y;
    }
}

// Spike parity: an open piece among the pieces of a ring that crossed
// itself goes or stays by the number of closed pieces around it, the ring
// kind and the sign of the width.
TEST(qd_te_buffer_pieces, SpikesGoOrStayByTheParityOfTheLoopsAroundThem) {
    struct Case {
        int32_t kind;
        double width;
        GeoCoord from, to;  // the open piece
        bool deleted;
    } cases[] = {
        // Exterior ring, width 0 or more: inside one loop goes, inside two or none stays.
        {0, 1, {1, 1, 0}, {1, 3, 0}, true},
        {0, 1, {4, 4, 0}, {5, 5, 0}, false},
        {0, 1, {12, 1, 0}, {13, 1, 0}, false},
        {0, 0, {1, 1, 0}, {1, 3, 0}, true},
        // A first vertex on a loop's boundary says nothing; the next one decides.
        {0, 1, {0, 5, 0}, {1, 5, 0}, true},
        // Negative width: the other way round.
        {0, -1, {1, 1, 0}, {1, 3, 0}, false},
        {0, -1, {4, 4, 0}, {5, 5, 0}, true},
        {0, -1, {12, 1, 0}, {13, 1, 0}, true},
        // A hole: even goes with a width of 0 or more, odd with a negative one.
        {1, 1, {1, 1, 0}, {1, 3, 0}, false},
        {1, 1, {4, 4, 0}, {5, 5, 0}, true},
        {1, -1, {1, 1, 0}, {1, 3, 0}, true},
        {1, -1, {12, 1, 0}, {13, 1, 0}, false},
        // A line's pieces are never thinned here.
        {2, 1, {1, 1, 0}, {1, 3, 0}, false},
        {2, 1, {12, 1, 0}, {13, 1, 0}, false},
    };
    for (const Case& c : cases) {
        Enc t;
        t.rules.buffer.width = Widths(c.width, c.width, c.width, 0);
        ASSERT_EQ(qd_te_geo_chain_list_create(&t.e.chains, 8), 1);
        const int32_t start = static_cast<int32_t>(t.e.chains->tally);
        // Two loops, the second inside the first, and the open piece.
        AddPiece(t.e.chains, {{0, 0, 0}, {0, 10, 0}, {10, 10, 0}, {10, 0, 0}, {0, 0, 0}}, 1, false, true);
        AddPiece(t.e.chains, {{3, 3, 0}, {3, 7, 0}, {7, 7, 0}, {7, 3, 0}, {3, 3, 0}}, 1, true, false);
        AddPiece(t.e.chains, {c.from, c.to}, 1, false, false);
        const int32_t end = static_cast<int32_t>(t.e.chains->tally);
        ASSERT_EQ(qd_te_buffer_chain_cross_spikes(&t.e, start, end, c.kind), 1);
        EXPECT_EQ(qd_te_chain_at(t.e.chains, end - 1)->discard, c.deleted ? CHAIN_DELETE : CHAIN_OK)
            << "kind " << c.kind << " width " << c.width << " at " << c.from.x << " " << c.from.y;
        EXPECT_EQ(qd_te_chain_at(t.e.chains, start)->discard, CHAIN_OK);
        EXPECT_EQ(qd_te_chain_at(t.e.chains, start + 1)->discard, CHAIN_OK);
    }
    EXPECT_EQ(qd_te_buffer_chain_cross_spikes(nullptr, 0, 0, 0), 0);
}

TEST(qd_te_buffer_pieces, PrefilterDropsRepeatedAndStraightPoints) {
    // A point 5e-9 after the first and a point on a straight run go; a null array changes nothing.
    GeoCoord pts[] = {{0, 0, 0}, {0, 5e-9, 0}, {5, 0, 0}, {10, 0, 0}, {10, 10, 0}};
    int32_t n = 5;
    ASSERT_EQ(qd_te_buffer_ring_prefilter(1e-8, 1e-8, pts, &n), 1);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(pts[1].x, 10.0);
    EXPECT_EQ(pts[1].y, 0.0);
    EXPECT_EQ(pts[2].y, 10.0);
    EXPECT_EQ(qd_te_buffer_ring_prefilter(1e-8, 1e-8, nullptr, &n), 1);
    EXPECT_EQ(n, 3);
}

namespace {

struct Loops {
    std::vector<double> holes, outers;  // areas of the CHAIN_OK PATH loops by their parent side
    int32_t twins = 0;
};

// The kept PATH pieces from row start on: loops with parents on the left
// only are holes of the band, loops with parents on the right only its
// outsides; REGION and ISLAND twins are counted.
Loops Pieces(const nlst* chains, int32_t start) {
    Loops l;
    for (int32_t i = start; i < static_cast<int32_t>(chains->tally); ++i) {
        const TeChain* c = qd_te_chain_at(const_cast<nlst*>(chains), i);
        if (c->discard != CHAIN_OK) continue;
        if (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) {
            ++l.twins;
            continue;
        }
        const bool left = c->left_parent && c->left_parent->tally, right = c->right_parent && c->right_parent->tally;
        if (left && !right) l.holes.push_back(std::fabs(Area(c)));
        if (right && !left) l.outers.push_back(std::fabs(Area(c)));
    }
    return l;
}

}  // namespace

// A closed line is buffered once, as its band: the inner offset stays as a
// hole loop (parents on its left, no twin) beside the outer loop. A closed
// figure-eight's band has a hole per lobe and one outer loop round both
// lobes (area A + Lw + (3π/2 - 2)w², two right-angled inward corners at the
// crossing), and no lobe is buffered a second time as a filled ring (which
// would add an outer loop of the lobe's size).
TEST(qd_te_buffer_chains, ClosedLinesGiveOneBandPerLoop) {
    const double pi = std::acos(-1.0), w = 0.5, r2 = std::sqrt(2.0);
    const double rho = 25 / (5 + 5 * r2);
    struct Case {
        std::vector<GeoCoord> line;
        size_t holes;
        double hole, outer;  // each hole's area, the band's outer offset
    } cases[] = {
        {{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}}, 1, 81, 100 + 40 * w + pi * w * w},
        {{{0, 0, 0}, {10, 10, 0}, {10, 0, 0}, {0, 10, 0}, {0, 0, 0}}, 2, 25 * (1 - w / rho) * (1 - w / rho),
         50 + (20 + 20 * r2) * w + (1.5 * pi - 2) * w * w},
    };
    for (const Case& c : cases) {
        Enc t;
        t.rules.buffer.width = Widths(w, w, w, 0);
        t.rules.buffer.arc_segments = 32;
        ASSERT_EQ(qd_te_geo_chain_list_create(&t.e.chains, 8), 1);
        const int32_t start = static_cast<int32_t>(t.e.chains->tally);
        int32_t status = 0;
        ASSERT_EQ(qd_te_buffer_chain_cross_ring(c.line.data(), &t.e, static_cast<int32_t>(c.line.size()), 2, &status),
                  1);
        ASSERT_EQ(status, 1);
        const Loops l = Pieces(t.e.chains, start);
        ASSERT_EQ(l.holes.size(), c.holes);
        for (double a : l.holes) EXPECT_NEAR(a, c.hole, 0.01 * c.hole);
        ASSERT_EQ(l.outers.size(), 1u);
        EXPECT_NEAR(l.outers[0], c.outer, 0.01 * c.outer);
    }
}

// A surface ring that crosses itself at a spike: an inward spike lies in one
// loop and is dropped before buffering (nothing of its band is left), an
// outward one in none and is buffered as a line (its cap reaches w beyond
// its tip).
TEST(qd_te_buffer_chains, SurfaceRingSpikesByParity) {
    const double w = 0.5;
    struct Case {
        double tip;  // y of the spike's tip from (5 10)
        bool band;
    } cases[] = {{5, false}, {15, true}};
    for (const Case& c : cases) {
        Enc t;
        t.rules.buffer.width = Widths(w, w, w, 0);
        ASSERT_EQ(qd_te_geo_chain_list_create(&t.e.chains, 8), 1);
        const std::vector<GeoCoord> ring = {{0, 0, 0},     {0, 10, 0},  {5, 10, 0}, {5, c.tip, 0},
                                            {5, 10, 0},    {10, 10, 0}, {10, 0, 0}, {0, 0, 0}};
        int32_t status = 0;
        ASSERT_EQ(qd_te_buffer_chain_cross_ring(ring.data(), &t.e, static_cast<int32_t>(ring.size()), 0, &status), 1);
        ASSERT_EQ(status, 1);
        bool near_spike = false, cap = false;
        for (uint32_t i = 0; i < t.e.chains->tally; ++i) {
            const TeChain* ch = qd_te_chain_at(t.e.chains, static_cast<int32_t>(i));
            if (ch->discard != CHAIN_OK || !ch->coords) continue;
            const auto* v = static_cast<const TeVertex*>(ch->coords->data);
            for (uint32_t k = 0; k < ch->coords->tally; ++k) {
                near_spike |= v[k].x > 4 && v[k].x < 6 && v[k].y > 4 && v[k].y < 9.4;
                cap |= std::fabs(v[k].x - 5) < 1e-9 && std::fabs(v[k].y - (c.tip + w)) < 1e-9;
            }
        }
        EXPECT_FALSE(near_spike) << c.tip;
        EXPECT_EQ(cap, c.band) << c.tip;
    }
}

// The outline filter: a vertex the split inserted (not an outline point)
// inside the reach by less than a chord's sagitta (1 - cos(1/16) of the
// reach, about 0.002) stays; an outline point as deep goes, and so does an
// inserted vertex 0.01 deep.
TEST(qd_te_buffer_pieces, OutlineFilterKeepsChordCrossings) {
    const GeoCoord ring[] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}};
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    struct Case {
        double depth;
        bool outline_point, kept;
    } cases[] = {{1e-4, false, true}, {1e-4, true, false}, {0.01, false, false}, {0.0, true, true}};
    for (const Case& c : cases) {
        const GeoCoord a{5, 1 - c.depth, 0};
        std::vector<GeoCoord> outline = {{5, 5, 0}, {3, 5, 0}, {3, 3, 0}};
        if (c.outline_point) outline.push_back(a);
        nlst* chains = nlst_alloc(sizeof(TeChain), 4, 4, nullptr);
        AddPiece(chains, {a, {5, 5, 0}, {3, 5, 0}, {3, 3, 0}, a}, 7, true, false);
        ASSERT_EQ(qd_te_buffer_chain_filter_outline(chains, 0, ring, 3, &w, outline.data(),
                                                    static_cast<int32_t>(outline.size())),
                  1);
        const TeChain* piece = qd_te_chain_at(chains, 0);
        ASSERT_EQ(piece->discard, CHAIN_OK);
        const auto* v = static_cast<const TeVertex*>(piece->coords->data);
        bool has_a = false;
        for (uint32_t i = 0; i < piece->coords->tally; ++i) has_a |= v[i].x == a.x && v[i].y == a.y;
        EXPECT_EQ(has_a, c.kept) << c.depth << " " << c.outline_point;
        qd_te_geo_free_chain_list(chains, 0);
        nlst_free(chains);
    }
    EXPECT_EQ(qd_te_buffer_chain_filter_outline(nullptr, 0, ring, 3, &w, nullptr, 0), 0);
}

// The boundary of the zone of the line (0 0)-(10 0), width 1, traced from a
// hand-made outline whose top edge runs on to (8 1), dips into the zone
// through (7 -0.5) and (5 -0.5) and comes back out across that edge at
// (4.25 1) (t = 0.75 along (5 -0.5)-(4 1.5)). The loop through the dip lies in
// the zone and goes; the rest is one ring through the crossing, in the
// outline's (clockwise) direction, from some point of it on. An outline that
// never meets itself is not traced.
TEST(qd_te_buffer_ring, TracedOutlineDropsTheLoopInsideTheZone) {
    const TeBufferWidth w = Widths(1, 1, 1, 0);
    const GeoCoord line[] = {{0, 0, 0}, {10, 0, 0}, {0, 0, 0}};
    const std::vector<GeoCoord> notch = {{-1, -1, 0}, {-1, 1, 0},   {8, 1, 0},   {7, -0.5, 0}, {5, -0.5, 0},
                                         {4, 1.5, 0}, {11, 1.5, 0}, {11, -1, 0}, {-1, -1, 0}};
    const std::vector<GeoCoord> expected = {{4.25, 1, 0},  {4, 1.5, 0},  {11, 1.5, 0},
                                            {11, -1, 0},   {-1, -1, 0},  {-1, 1, 0}};
    nlst* points = nullptr;
    nlst* sizes = nullptr;
    int32_t traced = -1;
    ASSERT_EQ(qd_te_buffer_trace_outline(line, 3, &w, notch.data(), int32_t(notch.size()), 1e-8, &points, &sizes,
                                         &traced),
              1);
    ASSERT_EQ(traced, 1);
    ASSERT_EQ(sizes->tally, 1u);
    const auto* p = static_cast<const GeoCoord*>(points->data);
    const int32_t m = *static_cast<const int32_t*>(sizes->data);
    ASSERT_EQ(m, int32_t(expected.size()) + 1);
    EXPECT_EQ(p[0].x, p[m - 1].x);
    EXPECT_EQ(p[0].y, p[m - 1].y);
    // The same cycle of points, from wherever the ring starts.
    size_t first = expected.size();
    for (size_t k = 0; k < expected.size(); ++k)
        if (std::hypot(p[0].x - expected[k].x, p[0].y - expected[k].y) < 1e-12) first = k;
    ASSERT_LT(first, expected.size()) << p[0].x << " " << p[0].y;
    for (int32_t i = 0; i + 1 < m; ++i) {
        const GeoCoord& e = expected[(first + size_t(i)) % expected.size()];
        EXPECT_NEAR(p[i].x, e.x, 1e-12) << i;
        EXPECT_NEAR(p[i].y, e.y, 1e-12) << i;
    }
    nlst_free(points);
    nlst_free(sizes);
    const GeoCoord plain[] = {{-1, -1, 0}, {-1, 1, 0}, {11, 1, 0}, {11, -1, 0}, {-1, -1, 0}};
    points = sizes = nullptr;
    ASSERT_EQ(qd_te_buffer_trace_outline(line, 3, &w, plain, 5, 1e-8, &points, &sizes, &traced), 1);
    EXPECT_EQ(traced, 0);
    EXPECT_EQ(points, nullptr);
}
