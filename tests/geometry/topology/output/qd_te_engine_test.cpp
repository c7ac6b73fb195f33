// Whole runs of the engine giving surfaces: the table of GEOS vectors (as
// given and moved by (1e7, 1e7)), every surface mode on one fixture of four
// squares, and identities between the modes over random rectangles.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/output/te_engine_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_chain.h"

using teengine::Inputs;
using teengine::Poly;
using EngineRun = teengine::Run;
using teengine::RunEngine;

namespace {

std::vector<std::string> Split(const std::string& s, char c) {
    std::vector<std::string> out;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, c)) out.push_back(part);
    return out;
}

struct Vector {
    std::string name, mode, settings;
    Inputs inputs;
    double area = 0;
    int parts = 0, holes = 0;
    std::string wkt;
};

std::vector<Vector> ReadVectors(const std::string& file) {
    std::vector<Vector> out;
    std::ifstream in(std::string(QL_GEOS_DIR) + "/" + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = Split(line, '|');
        if (f.size() != 8) {
            ADD_FAILURE() << "bad vector line " << line;
            continue;
        }
        Vector v;
        v.name = f[0];
        v.mode = f[1];
        v.settings = f[2];
        for (const std::string& item : Split(f[3], ';')) {
            const size_t space = item.find(' ');
            v.inputs.push_back({std::stoi(item.substr(0, space)), item.substr(space + 1)});
        }
        v.area = std::stod(f[4]);
        v.parts = std::stoi(f[5]);
        v.holes = std::stoi(f[6]);
        v.wkt = f[7];
        out.push_back(v);
    }
    return out;
}

int Holes(const std::vector<Poly>& polys) {
    int n = 0;
    for (const Poly& p : polys) n += int(p.holes.size());
    return n;
}

std::string Describe(const std::vector<Poly>& polys) {
    std::string s;
    char b[64];
    for (const Poly& p : polys) {
        s += "[";
        for (const auto& q : p.exterior) {
            std::snprintf(b, sizeof b, "(%.10g %.10g)", q.first, q.second);
            s += b;
        }
        s += " holes " + std::to_string(p.holes.size()) + "] ";
    }
    return s;
}

bool SameRings(const teengine::Ring& a, const teengine::Ring& b, double tol) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::fabs(a[i].first - b[i].first) > tol || std::fabs(a[i].second - b[i].second) > tol) return false;
    return true;
}

int32_t ModeCode(const std::string& name) {
    std::string text = name;
    int32_t code = -1;
    qd_te_set_primary_aggregation(text.data(), &code);
    return code;
}

}  // namespace

// The settings words of a vector row as topo_run arguments.
std::vector<std::string> ToolArgs(const Vector& v) {
    std::vector<std::string> args{v.mode};
    for (const std::string& s : Split(v.settings, ' '))
        if (!s.empty()) args.push_back(s);
    return args;
}

TEST(qd_te_engine, SurfaceRunsMatchGeos) {
    const auto vectors = ReadVectors("engine_surface.csv");
    ASSERT_GE(vectors.size(), 10u);
    for (const Vector& v : vectors) {
        const teengine::ToolRun run = teengine::RunTool(ToolArgs(v), v.inputs);
        EXPECT_EQ(run.status, 0) << v.name << " " << run.err;
        if (run.status != 0) continue;
        const auto got = teengine::Normalise(run.polys, 1e-9);
        const auto want = teengine::Normalise(teengine::PolysOfText(v.wkt), 1e-9);
        EXPECT_EQ(int(got.size()), v.parts) << v.name << " got " << Describe(got);
        EXPECT_EQ(Holes(got), v.holes) << v.name;
        EXPECT_NEAR(run.Area(), v.area, 1e-9 * v.area) << v.name;
        EXPECT_EQ(run.others, 0) << v.name;
        if (got.size() != want.size()) continue;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(SameRings(got[i].exterior, want[i].exterior, 1e-9))
                << v.name << " polygon " << i << "\n got " << Describe(std::vector<Poly>{got[i]}) << "\nwant "
                << Describe(std::vector<Poly>{want[i]});
            EXPECT_EQ(got[i].holes.size(), want[i].holes.size()) << v.name;
            if (got[i].holes.size() != want[i].holes.size()) continue;
            for (size_t k = 0; k < got[i].holes.size(); ++k)
                EXPECT_TRUE(SameRings(got[i].holes[k], want[i].holes[k], 1e-9)) << v.name << " hole " << k;
        }
    }
}

TEST(qd_te_engine, SurfaceRunsFarFromTheOrigin) {
    // The same table moved by (1e7, 1e7): the same counts, areas to 1e-6.
    for (const Vector& v : ReadVectors("engine_surface.csv")) {
        Inputs moved;
        for (const auto& [key, wkt] : v.inputs) moved.push_back({key, teengine::Shifted(wkt, 1e7, 1e7)});
        const teengine::ToolRun run = teengine::RunTool(ToolArgs(v), moved);
        EXPECT_EQ(run.status, 0) << v.name << " " << run.err;
        EXPECT_EQ(int(run.polys.size()), v.parts) << v.name;
        int holes = 0;
        for (const Poly& p : run.polys) holes += int(p.holes.size());
        EXPECT_EQ(holes, v.holes) << v.name;
        EXPECT_NEAR(run.Area(), v.area, 1e-6 * v.area) << v.name;
    }
}

namespace {

// Squares A and B overlapping, C touching both along edges, D apart.
const char* const kA = "POLYGON ((0 0, 0 4, 4 4, 4 0, 0 0))";
const char* const kB = "POLYGON ((2 2, 2 6, 6 6, 6 2, 2 2))";
const char* const kC = "POLYGON ((4 0, 4 2, 6 2, 6 0, 4 0))";
const char* const kD = "POLYGON ((10 0, 10 2, 12 2, 12 0, 10 0))";

Inputs Fixture(int32_t key_b) { return {{-1, kA}, {key_b, kB}, {-1, kC}, {-1, kD}}; }

// (area, polygons) of every object, in order of area then polygons.
std::vector<std::pair<double, int>> Shape(const EngineRun& run) {
    std::vector<std::pair<double, int>> s;
    for (const auto& o : run.out) s.push_back({o.Area(), int(o.polys.size())});
    std::sort(s.begin(), s.end());
    return s;
}

std::vector<std::vector<int32_t>> ParentSets(const EngineRun& run) {
    std::vector<std::vector<int32_t>> s;
    for (const auto& o : run.out) {
        auto p = o.parents;
        std::sort(p.begin(), p.end());
        s.push_back(p);
    }
    std::sort(s.begin(), s.end());
    return s;
}

}  // namespace

TEST(qd_te_engine, SurfaceModesOnTheFixture) {
    // Faces: A-B 12 (parent 1), A and B 4 (1, 2), B-A 12 (2), C 4 (3), D 4 (4).
    using Shapes = std::vector<std::pair<double, int>>;
    using Sets = std::vector<std::vector<int32_t>>;
    const struct {
        const char* mode;
        int32_t key_b;  // 0: B is the cutter
        Shapes shapes;
        Sets parents;   // empty: not checked (ties of frequency)
    } cases[] = {
        {"SINGLE", -1, {{4, 1}, {4, 1}, {4, 1}, {12, 1}, {12, 1}}, {{1}, {1, 2}, {2}, {3}, {4}}},
        {"ALL", -1, {{36, 5}}, {{1, 2, 3, 4}}},
        {"ALL_PRESERVE", -1, {{36, 5}}, {{1, 2, 3, 4}}},
        // Grouped by most frequent parent: A and B tie on their overlap,
        // which joins one of them either way.
        {"PRESERVE", -1, {{4, 1}, {4, 1}, {12, 1}, {16, 2}}, {}},
        {"UNCLOSED", -1, {}, {}},
        {"CONTIGUOUS", -1, {{4, 1}, {32, 4}}, {{1, 2, 3}, {4}}},
        {"DISSOLVE", -1, {{36, 2}}, {{1, 2, 3, 4}}},
        {"INTERSECT", -1, {}, {}},
        {"SYMMETRIC_DIFFERENCE", -1, {{4, 1}, {4, 1}, {12, 1}, {12, 1}}, {{1}, {2}, {3}, {4}}},
        {"DIFFERENCE", 0, {{4, 1}, {4, 1}, {12, 1}}, {{1}, {3}, {4}}},
        {"ERASE_IN", 0, {{4, 1}, {4, 1}, {12, 1}}, {{1}, {3}, {4}}},
        // The piece inside the cutter carries the cutter's parent too.
        {"ERASE_OUT", 0, {{4, 1}}, {{1, 2}}},
        // A's two pieces lie in different cutter regions: two geometries.
        {"SPLIT", 0, {{4, 1}, {4, 1}, {4, 1}, {12, 1}}, {}},
        // Pieces in B's region together, the others in one join geometry.
        {"JOIN", 0, {{16, 2}, {20, 3}}, {}},
        {"BREAK", -1, {{4, 1}, {4, 1}, {4, 1}, {12, 1}, {12, 1}}, {{1}, {1, 2}, {2}, {3}, {4}}},
    };
    for (const auto& k : cases) {
        const EngineRun run = RunEngine(ModeCode(k.mode), Fixture(k.key_b));
        EXPECT_EQ(run.answer, 1) << k.mode;
        EXPECT_TRUE(run.errors.empty()) << k.mode;
        EXPECT_EQ(Shape(run), k.shapes) << k.mode;
        if (!k.parents.empty()) {
            EXPECT_EQ(ParentSets(run), k.parents) << k.mode;
        }
        EXPECT_EQ(run.statistics.output_counters.count[0], int32_t(k.shapes.size())) << k.mode;
    }
}

TEST(qd_te_engine, BreakGroupsByRegionsUnlessSplitThree) {
    // A crossed by the strip B: A's left and right pieces lie in A alone,
    // B's top and bottom in B alone.
    const Inputs strip = {{-1, "POLYGON ((0 0, 0 4, 4 4, 4 0, 0 0))"}, {-1, "POLYGON ((1 -1, 1 5, 3 5, 3 -1, 1 -1))"}};
    for (int32_t split : {0, 3}) {
        const EngineRun run = RunEngine(TE_BREAK, strip, [&](TeRules& r) { r.output_split = split; });
        EXPECT_EQ(run.answer, 1);
        EXPECT_EQ(Shape(run), split == 3 ? (std::vector<std::pair<double, int>>{{2, 1}, {2, 1}, {4, 1}, {4, 1}, {8, 1}})
                                         : (std::vector<std::pair<double, int>>{{4, 2}, {8, 1}, {8, 2}}))
            << split;
    }
}

TEST(qd_te_engine, SliversUnclosedIslandsAndSpikes) {
    // min_area drops the faces of area 4.
    {
        const EngineRun run = RunEngine(TE_SINGLE, Fixture(-1), [](TeRules& r) { r.tolerance.min_area = 5; });
        EXPECT_EQ(Shape(run), (std::vector<std::pair<double, int>>{{12, 1}, {12, 1}}));
    }
    // A line inside a square is an unclosed island: SINGLE gives the square
    // as curves (flag 1), DROP_DANGLES the square without the line.
    const Inputs with_line = {{-1, "POLYGON ((0 0, 0 4, 4 4, 4 0, 0 0))"}, {-1, "LINESTRING (1 1, 2 2)"}};
    {
        const EngineRun run = RunEngine(TE_SINGLE, with_line);
        ASSERT_EQ(run.out.size(), 1u);
        EXPECT_EQ(run.out[0].flag, 1);
        EXPECT_EQ(run.out[0].polys.size(), 0u);
        EXPECT_EQ(run.out[0].others, 2);
    }
    {
        const EngineRun run = RunEngine(TE_SINGLE, with_line, [](TeRules& r) { r.secondary = TE_EXCURSION; });
        EXPECT_EQ(Shape(run), (std::vector<std::pair<double, int>>{{16, 1}}));
        EXPECT_EQ(run.out[0].polys[0].holes.size(), 0u);
    }
    // A spike that leaves the ring a valid polygon comes out unchanged
    // under DROP_SPIKES.
    {
        const char* spiked = "POLYGON ((0 0, 0 4, 2 4, 2 2, 2 4, 4 4, 4 0, 0 0))";
        const EngineRun run = RunEngine(TE_SINGLE, {{-1, spiked}}, [](TeRules& r) { r.secondary = TE_INCURSION; });
        ASSERT_EQ(run.out.size(), 1u);
        EXPECT_EQ(run.out[0].text, spiked);
    }
}

TEST(qd_te_engine, SymmetricDifferenceDropsAFilledHole) {
    // A square with a hole and a square filling the hole: the hole's ring
    // separates one parent from one parent; the island and the face inside
    // it go, and the square comes out whole.
    const Inputs filled = {{-1, "POLYGON ((0 0, 0 10, 10 10, 10 0, 0 0), (2 2, 4 2, 4 4, 2 4, 2 2))"},
                           {-1, "POLYGON ((2 2, 2 4, 4 4, 4 2, 2 2))"}};
    const EngineRun run = RunEngine(TE_SYMMETRIC_DIFFERENCE, filled);
    EXPECT_EQ(run.answer, 1);
    EXPECT_EQ(Shape(run), (std::vector<std::pair<double, int>>{{100, 1}}));
    ASSERT_EQ(run.AllPolys().size(), 1u);
    EXPECT_EQ(run.AllPolys()[0].holes.size(), 0u);
}

namespace {

struct Rect {
    int x0, y0, x1, y1;
};

// 1 to 3 rectangles on a 24 x 24 grid, none touching another.
std::vector<Rect> RandomRects(std::mt19937& rng) {
    std::uniform_int_distribution<int> pos(0, 20), len(1, 8), count(1, 3);
    std::vector<Rect> rects;
    const int n = count(rng);
    for (int tries = 0; int(rects.size()) < n && tries < 100; ++tries) {
        const int x = pos(rng), y = pos(rng);
        const Rect r{x, y, x + len(rng), y + len(rng)};
        bool apart = true;
        for (const Rect& q : rects)
            if (r.x0 <= q.x1 && q.x0 <= r.x1 && r.y0 <= q.y1 && q.y0 <= r.y1) apart = false;
        if (apart) rects.push_back(r);
    }
    return rects;
}

std::string Text(const std::vector<Rect>& rects) {
    std::string t = "MULTIPOLYGON (";
    for (size_t i = 0; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        char b[160];
        std::snprintf(b, sizeof b, "%s((%d %d, %d %d, %d %d, %d %d, %d %d))", i ? ", " : "", r.x0, r.y0, r.x0, r.y1,
                      r.x1, r.y1, r.x1, r.y0, r.x0, r.y0);
        t += b;
    }
    return t + ")";
}

double AreaOfRun(int32_t mode, const Inputs& inputs) {
    const EngineRun run = RunEngine(mode, inputs);
    EXPECT_EQ(run.answer, 1) << mode;
    return run.Area();
}

}  // namespace

TEST(qd_te_engine, IdentitiesOverRandomRectangles) {
    for (uint32_t seed = 1; seed <= 25; ++seed) {
        std::mt19937 rng(seed);
        const std::string a = Text(RandomRects(rng)), b = Text(RandomRects(rng));
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + a + " / " + b);
        const double area_a = AreaOfRun(TE_ALL, {{-1, a}});
        const double area_b = AreaOfRun(TE_ALL, {{-1, b}});
        const double both = AreaOfRun(TE_INTERSECT, {{-1, a}, {-1, b}});
        const double a_less_b = AreaOfRun(TE_DIFFERENCE, {{-1, a}, {0, b}});
        const double any = AreaOfRun(TE_DISSOLVE, {{-1, a}, {-1, b}});
        const double odd = AreaOfRun(TE_SYMMETRIC_DIFFERENCE, {{-1, a}, {-1, b}});
        const double pieces = AreaOfRun(TE_SPLIT, {{-1, a}, {0, b}});
        const double erased_in = AreaOfRun(TE_ERASE_IN, {{-1, a}, {0, b}});
        const double erased_out = AreaOfRun(TE_ERASE_OUT, {{-1, a}, {0, b}});
        const double tol = 1e-9 * (area_a + area_b);
        EXPECT_NEAR(both + a_less_b, area_a, tol);
        EXPECT_NEAR(any, area_a + area_b - both, tol);
        EXPECT_NEAR(odd, any - both, tol);
        EXPECT_NEAR(pieces, area_a, tol);
        EXPECT_NEAR(erased_in + erased_out, area_a, tol);
    }
}

TEST(qd_te_engine, BufferOverlapKeepsChainsWalkedFromBothSides) {
    // Encoded as surfaces, then assembled under BUFFER_OVERLAP: only the
    // chains between two polygons of one group stay (A's edges inside B
    // and B's inside A), and their dissolve is the overlap.
    EngineRun run;
    TeRules rules;
    qd_te_rules_init(&rules);
    qd_te_func_abstract_set_rules(&rules, TE_SINGLE, nullptr, 1, 0);
    rules.output_dim = TE_DIM_SURFACE;
    rules.output_method = {teengine::RecordOutput, &run};
    rules.error_method = {teengine::RecordError, &run};
    std::vector<SpatialObject> objects(2);
    nlst* packs = nlst_alloc(sizeof(TePack), 2, 1, nullptr);
    const char* texts[] = {kA, kB};
    for (int i = 0; i < 2; ++i) {
        ktgeo_so_init_empty(&objects[size_t(i)]);
        std::string why;
        ASSERT_EQ(topo_wkt_read(texts[i], &objects[size_t(i)], &why), 1);
        TePack pack;
        qd_te_pack_init(&pack);
        pack.keys.parent = {1, i + 1, 0};
        pack.keys.key = -1;
        pack.use_input = 1;
        pack.input = &objects[size_t(i)];
        nlst_add(packs, &pack);
    }
    nlst* chains = nullptr;
    ASSERT_EQ(qd_te_geo_chain_list_create(&chains, 16), 1);
    ASSERT_EQ(qd_te_chains_from_object_list(packs, &rules, chains), 1);
    rules.mode = TE_BUFFER_OVERLAP;
    EXPECT_EQ(qd_te_assemble_chains(chains, &rules), 1);
    EXPECT_EQ(Shape(run), (std::vector<std::pair<double, int>>{{4, 1}}));
    ASSERT_EQ(run.AllPolys().size(), 1u);
    const auto got = teengine::Normalise(run.AllPolys(), 1e-9);
    EXPECT_EQ(got[0].exterior, (teengine::Ring{{2, 2}, {2, 4}, {4, 4}, {4, 2}}));
    qd_te_geo_chain_list_free(&chains);
    nlst_free(packs);
    for (SpatialObject& o : objects) ktgeo_so_release(&o);
}
