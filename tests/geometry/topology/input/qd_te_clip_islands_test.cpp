// Clipping of input geometries and the dissolve of polygon holes, against
// GEOS's difference, intersection and union (tests/data/geos/clip.csv,
// written by tools/oracle/gen_geos_clip_vectors.py) and by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/entry/te_topo_run_util.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "tools/topo_run/topo_wkt.h"

namespace {

struct Case {
    std::string kind, a, b, wkt;
    double area;
};

std::vector<Case> Cases(const std::string& kind) {
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/clip.csv");
    std::vector<Case> out;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, ';')) f.push_back(field);
        if (f.size() == 5 && f[0] == kind) out.push_back({f[0], f[1], f[2], f[4], std::stod(f[3])});
    }
    return out;
}

// An object read from WKT, released with the holder.
struct Geom {
    SpatialObject so;
    explicit Geom(const std::string& wkt = "") {
        ktgeo_so_init_empty(&so);
        std::string why;
        if (!wkt.empty()) {
            EXPECT_TRUE(topo_wkt_read(wkt.c_str(), &so, &why)) << why << " " << wkt;
        }
    }
    ~Geom() { ktgeo_so_release(&so); }
    Geom(const Geom&) = delete;
    Geom& operator=(const Geom&) = delete;
};

std::vector<GeoCoord> Ring(GeoPath* path) {
    ktgeo_util_check_expanded_path(path);
    std::vector<GeoCoord> v;
    for (uint32_t i = 0; path->expanded && i < path->expanded->tally; ++i)
        v.push_back(*static_cast<GeoCoord*>(nlst_index(path->expanded, i)));
    return v;
}

double RingArea(const std::vector<GeoCoord>& r) {
    double s = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) s += r[i].x * r[i + 1].y - r[i + 1].x * r[i].y;
    return std::fabs(s / 2);
}

std::vector<std::vector<GeoCoord>> Rings(SpatialObject* so) {
    std::vector<std::vector<GeoCoord>> rings;
    for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(so->primitives, i));
        if (p->type != KTGEO_POLYGON) continue;
        rings.push_back(Ring(&p->geom.polygon.exterior));
        for (uint32_t k = 0; p->geom.polygon.interiors && k < p->geom.polygon.interiors->tally; ++k)
            rings.push_back(Ring(static_cast<GeoPath*>(nlst_index(p->geom.polygon.interiors, k))));
    }
    return rings;
}

double Area(SpatialObject* so) {
    double a = 0;
    for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(so->primitives, i));
        if (p->type != KTGEO_POLYGON) continue;
        a += RingArea(Ring(&p->geom.polygon.exterior));
        for (uint32_t k = 0; p->geom.polygon.interiors && k < p->geom.polygon.interiors->tally; ++k)
            a -= RingArea(Ring(static_cast<GeoPath*>(nlst_index(p->geom.polygon.interiors, k))));
    }
    return a;
}

double SegmentDistance(const GeoCoord& p, const GeoCoord& a, const GeoCoord& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = dx * dx + dy * dy;
    double t = len > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// The larger of the two directed distances between the boundaries, each
// taken over the vertices of one against the segments of the other.
double Hausdorff(SpatialObject* x, SpatialObject* y) {
    auto directed = [](const std::vector<std::vector<GeoCoord>>& from,
                       const std::vector<std::vector<GeoCoord>>& to) {
        double worst = 0;
        for (const auto& r : from)
            for (const GeoCoord& p : r) {
                double best = 1e300;
                for (const auto& s : to)
                    for (size_t i = 0; i + 1 < s.size(); ++i) best = std::min(best, SegmentDistance(p, s[i], s[i + 1]));
                worst = std::max(worst, best);
            }
        return worst;
    };
    const auto rx = Rings(x), ry = Rings(y);
    return std::max(directed(rx, ry), directed(ry, rx));
}

struct Recorder {
    std::vector<int32_t> codes;
    int32_t answer = 1;
};

int32_t Record(FailEvent* e, void* user) {
    auto* r = static_cast<Recorder*>(user);
    r->codes.push_back(e ? e->code : 0);
    return r->answer;
}

void Rules(TeRules* rules, Recorder* rec) {
    qd_te_rules_init(rules);
    rules->clip_output = 1;
    rules->error_method = {Record, rec};
}

int Clip(Geom& g, Geom& clip, int32_t mode, Recorder* rec) {
    TeRules rules;
    Rules(&rules, rec);
    TeClip c = {&clip.so, mode};
    return qd_te_encode_clipping(&rules, &g.so, &c);
}

// Rules with a recording error method, and a status.
struct Engine {
    Recorder rec;
    TeRules rules;
    int32_t status = 0;
    Engine() { Rules(&rules, &rec); }
};

uint32_t Count(const SpatialObject& so) { return so.primitives ? so.primitives->tally : 0; }

uint32_t Holes(SpatialObject* so, uint32_t i = 0) {
    auto* p = static_cast<GeometricPrimitive*>(nlst_index(so->primitives, i));
    return p->geom.polygon.interiors ? p->geom.polygon.interiors->tally : 0;
}

GeoPolygon* PolygonOf(SpatialObject* so) {
    return &static_cast<GeometricPrimitive*>(nlst_index(so->primitives, 0))->geom.polygon;
}

const char* kSquare = "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))";

}  // namespace

TEST(qd_te_clip, ModesMatchGeosDifferenceAndIntersection) {
    for (const char* kind : {"diff", "inter"}) {
        const auto cases = Cases(kind);
        ASSERT_EQ(cases.size(), 12u);
        for (const Case& c : cases) {
            Geom g(c.a), clip(c.b), expected(c.wkt), original(c.a);
            Recorder rec;
            ASSERT_EQ(Clip(g, clip, std::string(kind) == "diff" ? 1 : 2, &rec), 1) << c.a;
            const double a = Area(&original.so);
            EXPECT_NEAR(Area(&g.so), c.area, 1e-9 * a) << kind << " " << c.a << " | " << c.b;
            EXPECT_LE(Hausdorff(&g.so, &expected.so), 1e-8) << kind << " " << topo_wkt_write(&g.so);
            EXPECT_TRUE(rec.codes.empty());
        }
    }
}

TEST(qd_te_clip, EraseInAndEraseOutMakeTheOriginal) {
    for (const Case& c : Cases("diff")) {
        Geom in(c.a), out(c.a), clip(c.b), original(c.a);
        Recorder rec;
        ASSERT_EQ(Clip(in, clip, 1, &rec), 1);
        ASSERT_EQ(Clip(out, clip, 2, &rec), 1);
        const double a = Area(&original.so);
        EXPECT_NEAR(Area(&in.so) + Area(&out.so), a, 1e-9 * a) << c.a;
    }
}

TEST(qd_te_clip, ModesByHand) {
    struct Row {
        const char* clip;
        int32_t mode;
        double area;  // of the square afterwards
    } rows[] = {
        {"POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))", 1, 50},
        {"POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))", 2, 50},
        {"POLYGON ((-1 -1, 11 -1, 11 11, -1 11, -1 -1))", 1, 0},    // covered: erased whole
        {"POLYGON ((-1 -1, 11 -1, 11 11, -1 11, -1 -1))", 2, 100},  // kept whole
        {"POLYGON ((20 20, 30 20, 30 30, 20 30, 20 20))", 1, 100},  // missed: rebuilt
        {"POLYGON ((20 20, 30 20, 30 30, 20 30, 20 20))", 2, 0},    // far: emptied
        {"POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))", 3, 0},       // other modes empty it
        {"POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))", 0, 100},     // none
        {"LINESTRING (5 -1, 5 11)", 1, 100},                        // lines-only clip
        {"LINESTRING (5 -1, 5 11)", 2, 100},
    };
    for (const Row& r : rows) {
        Geom g(kSquare), clip(r.clip);
        const std::string before = topo_wkt_write(&g.so);
        Recorder rec;
        ASSERT_EQ(Clip(g, clip, r.mode, &rec), 1) << r.clip << " " << r.mode;
        EXPECT_NEAR(Area(&g.so), r.area, 1e-9) << r.clip << " " << r.mode;
        if (r.area == 0) {
            EXPECT_EQ(Count(g.so), 0u);
        }
        if (r.mode == 0 || r.clip[0] == 'L') {
            EXPECT_EQ(topo_wkt_write(&g.so), before);
        }
        EXPECT_TRUE(rec.codes.empty());
    }
}

TEST(qd_te_clip, InvalidClipIsReported) {
    for (int32_t answer : {1, 0}) {
        Geom g(kSquare), clip("POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))");
        // The exterior ring no longer closes.
        GeoPath* ring = &static_cast<GeometricPrimitive*>(nlst_index(clip.so.primitives, 0))->geom.polygon.exterior;
        nlst* coords = static_cast<GeoCurve*>(nlst_index(ring->curves, 0))->coords;
        static_cast<GeoCoord*>(nlst_index(coords, coords->tally - 1))->x = 6;
        Recorder rec;
        rec.answer = answer;
        TeRules rules;
        Rules(&rules, &rec);
        FailHandler* previous = qd_te_set_fail_handler(&rules);
        TeClip c = {&clip.so, 1};
        EXPECT_EQ(qd_te_encode_clipping(&rules, &g.so, &c), answer);
        qd_te_clear_fail_handler(previous);
        EXPECT_NE(std::find(rec.codes.begin(), rec.codes.end(), -42), rec.codes.end());
        if (answer == 1) {
            EXPECT_EQ(Count(g.so), 0u);  // emptied, the run goes on
        }
    }
    Recorder rec;
    TeRules rules;
    Rules(&rules, &rec);
    EXPECT_EQ(qd_te_encode_clipping(&rules, nullptr, nullptr), 0);
}

TEST(qd_te_clip, LibraryFailureAfterAClippedInputReachesTheOuterMethod) {
    Geom g(kSquare), clip("POLYGON ((5 -1, 11 -1, 11 11, 5 11, 5 -1))");
    Recorder rec;
    TeRules rules;
    Rules(&rules, &rec);
    FailHandler* previous = qd_te_set_fail_handler(&rules);
    TeClip c = {&clip.so, 1};
    ASSERT_EQ(qd_te_encode_clipping(&rules, &g.so, &c), 1);
    EXPECT_EQ(qd_fail_state.handler, &rules.error_method);
    const size_t before = rec.codes.size();
    EXPECT_EQ(ktgeo_util_add_new_primitive(nullptr, &g.so), 0);  // a library failure
    EXPECT_EQ(rec.codes.size(), before + 1);
    qd_te_clear_fail_handler(previous);
}

TEST(qd_te_islands_dissolve, OverlappingHolesBecomeTheirUnion) {
    const auto cases = Cases("holes");
    ASSERT_EQ(cases.size(), 8u);
    for (const Case& c : cases) {
        Geom g(c.a), expected(c.wkt);
        Engine r;
        ASSERT_EQ(Holes(&g.so), 3u);
        const double outer = RingArea(Ring(&PolygonOf(&g.so)->exterior));
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, nullptr), 1);
        EXPECT_EQ(r.status, 1);
        // The overlapping pair became one hole, the disjoint one stayed.
        EXPECT_EQ(Holes(&g.so), Count(expected.so)) << c.a;
        EXPECT_NEAR(outer - Area(&g.so), c.area, 1e-9 * outer) << c.a;
        EXPECT_NEAR(RingArea(Ring(&PolygonOf(&g.so)->exterior)), outer, 1e-12 * outer);
        EXPECT_TRUE(r.rec.codes.empty());
    }
}

TEST(qd_te_islands_dissolve, ResultFormIsTheExteriorLessTheUnion) {
    for (const Case& c : Cases("erase")) {
        Geom g(c.a), expected(c.wkt), result;
        Engine r;
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, &result.so), 1);
        EXPECT_EQ(r.status, 1);
        EXPECT_NEAR(Area(&result.so), c.area, 1e-9 * c.area) << c.a;
        EXPECT_LE(Hausdorff(&result.so, &expected.so), 1e-8) << topo_wkt_write(&result.so);
    }
}

TEST(qd_te_islands_dissolve, ThroughTopoRunLoader) {
    const Case c = Cases("holes").front();
    Geom expected(c.wkt);
    const tetest::ToolResult r = tetest::RunTopoRun({"LOADER"}, "-1 " + c.a + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t space = r.out.find(' ');
    ASSERT_NE(space, std::string::npos) << r.out;
    Geom out(r.out.substr(space + 1, r.out.find('\n') - space - 1));
    ASSERT_EQ(Count(out.so), 1u) << r.out;
    EXPECT_EQ(Holes(&out.so), Count(expected.so)) << r.out;
    const double outer = RingArea(Ring(&PolygonOf(&out.so)->exterior));
    EXPECT_NEAR(outer - Area(&out.so), c.area, 1e-9 * outer) << r.out;
}

TEST(qd_te_islands_dissolve, ByHand) {
    // A frame of four overlapping holes: its union has a ring inside, an
    // island of the polygon which a hole cannot carry.
    const char* frame =
        "POLYGON ((0 0, 20 0, 20 20, 0 20, 0 0), (4 4, 16 4, 16 6, 4 6, 4 4), (4 14, 16 14, 16 16, 4 16, 4 14), "
        "(4 4, 6 4, 6 16, 4 16, 4 4), (14 4, 16 4, 16 16, 14 16, 14 4))";
    {
        Geom g(frame);
        const std::string before = topo_wkt_write(&g.so);
        Engine r;
        r.rec.answer = 0;
        EXPECT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, nullptr), 1);
        EXPECT_EQ(r.status, -1);
        EXPECT_NE(std::find(r.rec.codes.begin(), r.rec.codes.end(), -1), r.rec.codes.end());
        EXPECT_EQ(topo_wkt_write(&g.so), before);  // reported, nothing dropped
    }
    {
        Geom g(frame), result;
        Engine r;
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, &result.so), 1);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(Count(result.so), 2u) << topo_wkt_write(&result.so);  // the frame's island comes out
        EXPECT_NEAR(Area(&result.so), 400 - (144 - 64), 1e-9);
    }
    {
        // No holes: unchanged, and in the result form its only primitive.
        Geom g(kSquare), result;
        Engine r;
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, nullptr), 1);
        EXPECT_EQ(topo_wkt_write(&g.so), "POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))");
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, &result.so), 1);
        EXPECT_EQ(Count(result.so), 1u);
        EXPECT_NEAR(Area(&result.so), 100, 1e-12);
    }
    Engine r;
    EXPECT_EQ(qd_te_islands_dissolve(nullptr, &r.rules, nullptr, nullptr), 0);
}

TEST(qd_te_islands_dissolve, ForcedNestedFailureKeepsTheHoles) {
    const Case c = Cases("holes").front();
    Geom probe(c.a);
    const std::string before = topo_wkt_write(&probe.so);
    geotest::FailRecorder quiet;
    uint64_t failures = 0;
    // Every allocation in turn fails: the call fails or reports, and the
    // polygon keeps its holes as they came, or it succeeds in full.
    auto run = [&](uint64_t nth) {
        Geom g(c.a);
        Engine r;
        qd_alloc_fail_nth(nth);
        const int ok = qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, nullptr);
        const uint64_t calls = qd_alloc_state.calls;
        qd_alloc_fail_nth(0);
        if (ok == 1 && r.status == 1) {
            EXPECT_EQ(Holes(&g.so), 2u) << nth;
        } else {
            ++failures;
            EXPECT_EQ(topo_wkt_write(&g.so), before) << nth;
        }
        return calls;
    };
    const uint64_t total = run(0);
    ASSERT_GT(total, 10u);
    ASSERT_EQ(failures, 0u);
    for (uint64_t nth = 1; nth <= total; ++nth) run(nth);
    EXPECT_GT(failures, 0u);
}

TEST(qd_te_islands_dissolve, ListVisitsOnlyItsPrimitives) {
    const Case c = Cases("erase").front();
    Geom g(c.a), point("POINT (1 1)"), square(kSquare);
    // List: polygon with holes, a point, a square without holes.
    ktgeo_util_append_primitive_to_list(static_cast<GeometricPrimitive*>(nlst_index(point.so.primitives, 0)),
                                        &g.so);
    ktgeo_util_append_primitive_to_list(static_cast<GeometricPrimitive*>(nlst_index(square.so.primitives, 0)),
                                        &g.so);
    Engine r;
    ASSERT_EQ(qd_te_islands_dissolve_list(g.so.primitives, &r.rules, &r.status), 1);
    EXPECT_EQ(r.status, 1);
    Geom expected(c.wkt);
    // The holed polygon's pieces, the point, the square, in their places.
    ASSERT_EQ(Count(g.so), Count(expected.so) + 2);
    const uint32_t n = Count(g.so);
    EXPECT_EQ(static_cast<GeometricPrimitive*>(nlst_index(g.so.primitives, n - 2))->type, KTGEO_POINT);
    EXPECT_NEAR(Area(&g.so), c.area + 100, 1e-9 * c.area);
}

TEST(qd_te_islands_dissolve, HolesWithoutAreaAreReportedAndKept) {
    // A hole that encloses no area dissolves into nothing. It is reported
    // (-1 through the error method) and kept as it came, beside the holes
    // that dissolve; the polygon goes on. Answered 0, the status is -1 and
    // the polygon keeps all its holes as they came. A bow tie (its lobes
    // cancel in the shoelace sum; the dissolve keeps the one that runs the
    // ring's way, of area 1) and a spiked square are holes with area:
    // nothing is reported. In the result form a hole without area cuts
    // nothing out.
    const std::string outer = "(0 0, 12 0, 12 12, 0 12, 0 0)";
    const std::string square = "(1 1, 2 1, 2 2, 1 2, 1 1)";                      // area 1
    const std::string flat = "(3 3, 6 3, 9 3, 3 3)";                             // on one line
    const std::string cancelling = "(3 3, 9 3, 9 9, 3 3, 9 9, 9 3, 3 3)";        // there and back
    const std::string bow_tie = "(3 3, 3 5, 5 3, 5 5, 3 3)";                     // lobes of area 1
    const std::string spiked = "(6 6, 6 9, 9 9, 9 7, 11 7, 9 7, 9 6, 6 6)";       // area 9
    struct Case {
        std::vector<std::string> holes;
        std::vector<std::string> kept;  // the holes without area, as they came
        size_t dissolved;               // holes that come out of the dissolve
        double hole_area;               // their area
    } cases[] = {
        {{flat}, {flat}, 0, 0},
        {{cancelling}, {cancelling}, 0, 0},
        {{square, flat}, {flat}, 1, 1},
        {{cancelling, square}, {cancelling}, 1, 1},
        {{flat, square, cancelling}, {flat, cancelling}, 1, 1},
        {{square, bow_tie}, {}, 2, 2},
        {{square, spiked}, {}, 2, 10},
    };
    auto wkt_of = [&](const std::vector<std::string>& holes) {
        std::string w = "POLYGON (" + outer;
        for (const std::string& h : holes) w += ", " + h;
        return w + ")";
    };
    for (const Case& c : cases) {
        const std::string input = wkt_of(c.holes);
        for (int32_t answer : {1, 0}) {
            Geom g(input);
            const std::string before = topo_wkt_write(&g.so);
            Engine r;
            r.rec.answer = answer;
            ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, nullptr), 1) << input;
            const bool reported = std::find(r.rec.codes.begin(), r.rec.codes.end(), -1) != r.rec.codes.end();
            EXPECT_EQ(reported, !c.kept.empty()) << input;
            if (c.kept.empty() || answer == 1) {
                EXPECT_EQ(r.status, 1) << input;
                // The dissolved holes, then those without area as they came.
                ASSERT_EQ(Holes(&g.so), c.dissolved + c.kept.size()) << topo_wkt_write(&g.so);
                auto xy = [](const std::vector<GeoCoord>& ring) {
                    std::vector<std::pair<double, double>> v;
                    for (const GeoCoord& p : ring) v.emplace_back(p.x, p.y);
                    return v;
                };
                for (size_t k = 0; k < c.kept.size(); ++k) {
                    Geom alone("POLYGON (" + c.kept[k] + ")");
                    auto* hole = static_cast<GeoPath*>(nlst_index(PolygonOf(&g.so)->interiors, uint32_t(c.dissolved + k)));
                    EXPECT_EQ(xy(Ring(hole)), xy(Ring(&PolygonOf(&alone.so)->exterior))) << topo_wkt_write(&g.so);
                }
                EXPECT_NEAR(144 - Area(&g.so), c.hole_area, 1e-9) << topo_wkt_write(&g.so);
            } else {
                EXPECT_EQ(r.status, -1) << input;
                EXPECT_EQ(topo_wkt_write(&g.so), before);
            }
        }
        // The result form: the exterior less the holes with area.
        Geom g(input), result;
        Engine r;
        ASSERT_EQ(qd_te_islands_dissolve(PolygonOf(&g.so), &r.rules, &r.status, &result.so), 1) << input;
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_EQ(std::find(r.rec.codes.begin(), r.rec.codes.end(), -1) != r.rec.codes.end(), !c.kept.empty())
            << input;
        EXPECT_NEAR(Area(&result.so), 144 - c.hole_area, 1e-9) << topo_wkt_write(&result.so);
    }
    // Through topo_run: the polygon with a hole on one line is no longer
    // dropped by the loader.
    const tetest::ToolResult r = tetest::RunTopoRun({"LOADER"}, "-1 " + wkt_of({square, flat}) + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t space = r.out.find(' ');
    ASSERT_NE(space, std::string::npos) << r.out;
    Geom out(r.out.substr(space + 1, r.out.find('\n') - space - 1));
    ASSERT_EQ(Count(out.so), 1u) << r.out;
    EXPECT_EQ(Holes(&out.so), 2u) << r.out;
    EXPECT_NEAR(Area(&out.so), 143, 1e-9) << r.out;
}

TEST(qd_te_islands_dissolve, OnlyHolesThatMeetAreDissolvedForTheBuffer) {
    // A spiked hole apart, two squares that overlap, touch at a corner (the
    // dissolve leaves them two) or lie one inside the other: the holes that
    // meet another are dissolved first, the spiked hole stays as it came,
    // after them.
    // With no two holes meeting nothing changes.
    struct Case {
        const char* wkt;
        size_t holes;      // after the call
        double hole_area;  // of them all
        bool apart;        // nothing meets: unchanged
    } cases[] = {
        {"POLYGON ((0 0, 30 0, 30 30, 0 30, 0 0), (20 20, 20 26, 26 26, 26 23, 28 23, 26 23, 26 20, 20 20), "
         "(1 1, 5 1, 5 5, 1 5, 1 1), (3 3, 7 3, 7 7, 3 7, 3 3))",
         2, 36 + 28, false},
        {"POLYGON ((0 0, 30 0, 30 30, 0 30, 0 0), (20 20, 20 26, 26 26, 26 23, 28 23, 26 23, 26 20, 20 20), "
         "(1 1, 5 1, 5 5, 1 5, 1 1), (5 5, 9 5, 9 9, 5 9, 5 5))",
         3, 36 + 32, false},
        {"POLYGON ((0 0, 30 0, 30 30, 0 30, 0 0), (20 20, 20 26, 26 26, 26 23, 28 23, 26 23, 26 20, 20 20), "
         "(1 1, 9 1, 9 9, 1 9, 1 1), (3 3, 5 3, 5 5, 3 5, 3 3))",
         2, 36 + 64, false},
        {"POLYGON ((0 0, 30 0, 30 30, 0 30, 0 0), (20 20, 20 26, 26 26, 26 23, 28 23, 26 23, 26 20, 20 20), "
         "(1 1, 5 1, 5 5, 1 5, 1 1), (25 1, 29 1, 29 5, 25 5, 25 1))",
         3, 36 + 16 + 16, true},
    };
    for (const Case& c : cases) {
        Geom g(c.wkt);
        const std::string before = topo_wkt_write(&g.so);
        const std::vector<GeoCoord> spiked =
            Ring(static_cast<GeoPath*>(nlst_index(PolygonOf(&g.so)->interiors, 0)));
        Engine r;
        ASSERT_EQ(qd_te_islands_dissolve_meeting(PolygonOf(&g.so), &r.rules, &r.status), 1) << c.wkt;
        EXPECT_EQ(r.status, 1) << c.wkt;
        EXPECT_TRUE(r.rec.codes.empty()) << c.wkt;
        ASSERT_EQ(Holes(&g.so), c.holes) << topo_wkt_write(&g.so);
        EXPECT_NEAR(900 - Area(&g.so), c.hole_area, 1e-9) << topo_wkt_write(&g.so);
        if (c.apart) {
            EXPECT_EQ(topo_wkt_write(&g.so), before);
            continue;
        }
        const std::vector<GeoCoord> last =
            Ring(static_cast<GeoPath*>(nlst_index(PolygonOf(&g.so)->interiors, uint32_t(c.holes - 1))));
        ASSERT_EQ(last.size(), spiked.size()) << topo_wkt_write(&g.so);
        for (size_t i = 0; i < last.size(); ++i) {
            EXPECT_EQ(last[i].x, spiked[i].x) << i;
            EXPECT_EQ(last[i].y, spiked[i].y) << i;
        }
    }
    Engine r;
    EXPECT_EQ(qd_te_islands_dissolve_meeting(nullptr, &r.rules, &r.status), 0);
}
