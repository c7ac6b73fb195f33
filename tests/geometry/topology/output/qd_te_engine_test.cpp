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
    std::string name, mode;
    int32_t dim = TE_DIM_SURFACE;
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
        for (const std::string& s : Split(f[2], ' ')) {
            std::string value = s.substr(s.find('=') + 1);
            if (s.rfind("dim=", 0) == 0) qd_te_set_output_dimension(value.data(), &v.dim);
        }
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

TEST(qd_te_engine, SurfaceRunsMatchGeos) {
    const auto vectors = ReadVectors("engine_surface.csv");
    ASSERT_GE(vectors.size(), 10u);
    for (const Vector& v : vectors) {
        const EngineRun run = RunEngine(ModeCode(v.mode), v.inputs, [&](TeRules& r) { r.output_dim = v.dim; });
        EXPECT_EQ(run.answer, 1) << v.name;
        if (run.answer != 1) continue;
        const auto got = teengine::Normalise(run.AllPolys(), 1e-9);
        const auto want = teengine::Normalise(teengine::PolysOfText(v.wkt), 1e-9);
        EXPECT_EQ(int(got.size()), v.parts) << v.name << " got " << Describe(got);
        EXPECT_EQ(Holes(got), v.holes) << v.name;
        EXPECT_NEAR(run.Area(), v.area, 1e-9 * v.area) << v.name;
        if (got.size() != want.size()) continue;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(SameRings(got[i].exterior, want[i].exterior, 1e-9))
                << v.name << " polygon " << i << "\n got " << Describe(std::vector<Poly>{got[i]}) << "\nwant " << Describe(std::vector<Poly>{want[i]});
            EXPECT_EQ(got[i].holes.size(), want[i].holes.size()) << v.name;
            if (got[i].holes.size() != want[i].holes.size()) continue;
            for (size_t k = 0; k < got[i].holes.size(); ++k)
                EXPECT_TRUE(SameRings(got[i].holes[k], want[i].holes[k], 1e-9)) << v.name << " hole " << k;
        }
        for (const auto& o : run.out) EXPECT_EQ(o.others, 0) << v.name;
    }
}

TEST(qd_te_engine, SurfaceRunsFarFromTheOrigin) {
    // The same table moved by (1e7, 1e7): the same counts, areas to 1e-6.
    for (const Vector& v : ReadVectors("engine_surface.csv")) {
        Inputs moved;
        for (const auto& [key, wkt] : v.inputs) moved.push_back({key, teengine::Shifted(wkt, 1e7, 1e7)});
        const EngineRun run = RunEngine(ModeCode(v.mode), moved, [&](TeRules& r) { r.output_dim = v.dim; });
        EXPECT_EQ(run.answer, 1) << v.name;
        const auto got = run.AllPolys();
        EXPECT_EQ(int(got.size()), v.parts) << v.name;
        EXPECT_EQ(Holes(got), v.holes) << v.name;
        EXPECT_NEAR(run.Area(), v.area, 1e-6 * v.area) << v.name;
    }
}
