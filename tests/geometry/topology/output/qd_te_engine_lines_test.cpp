// Whole-engine runs over lines through topo_run against GEOS's answers
// (tests/data/geos/engine_lines.csv, written by
// tools/oracle/gen_geos_engine_lines.py): boundaries, crossings of lines
// that only cross, and line merging by DISSOLVE; the same runs shifted by
// (1e7, 1e7); the line modes of one fixture; and the lengths a SPLIT and
// its two erases give against random rectangle cutters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "../entry/te_topo_run_util.h"
#include "tools/topo_run/topo_wkt.h"

namespace {

struct Pt {
    double x, y;
};
using Line = std::vector<Pt>;

// One run of the tool: its exit status and output lines (the WKT only).
struct ToolRun {
    int status = -1;
    std::vector<std::string> objects;
    std::string err;
};

ToolRun RunTool(std::vector<std::string> args, const std::string& input) {
    const tetest::ToolResult t = tetest::RunTopoRun(std::move(args), input);
    ToolRun r;
    r.status = t.status;
    r.err = t.err;
    std::istringstream lines(t.out);
    for (std::string l; std::getline(lines, l);) r.objects.push_back(l.substr(l.find(' ') + 1));
    return r;
}

// The points and lines of a WKT text (polygons not expected here).
void Parts(const std::string& wkt, std::vector<Pt>* points, std::vector<Line>* lines) {
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    std::string why;
    ASSERT_EQ(topo_wkt_read(wkt.c_str(), &o, &why), 1) << wkt << ": " << why;
    for (uint32_t i = 0; o.primitives && i < o.primitives->tally; ++i) {
        const auto* p = static_cast<const GeometricPrimitive*>(o.primitives->data) + i;
        if (p->type == KTGEO_POINT) {
            points->push_back({p->geom.point.coord.x, p->geom.point.coord.y});
        } else if (p->type == KTGEO_CURVE) {
            Line l;
            const auto* c = static_cast<const GeoCoord*>(p->geom.curve.coords->data);
            for (uint32_t k = 0; k < p->geom.curve.coords->tally; ++k) l.push_back({c[k].x, c[k].y});
            lines->push_back(l);
        } else {
            ADD_FAILURE() << "unexpected primitive in " << wkt;
        }
    }
    ktgeo_so_release(&o);
}

bool Less(const Pt& a, const Pt& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; }
bool Near(const Pt& a, const Pt& b, double e) { return std::fabs(a.x - b.x) <= e && std::fabs(a.y - b.y) <= e; }

// The one normaliser of every comparison: an open line runs from its
// smaller end; a closed one starts at its smallest vertex and runs towards
// the smaller neighbour; lines and points sorted.
void Normalise(std::vector<Pt>* points, std::vector<Line>* lines) {
    std::sort(points->begin(), points->end(), Less);
    for (Line& l : *lines) {
        if (l.size() > 2 && Near(l.front(), l.back(), 1e-9)) {
            l.pop_back();
            const size_t m = size_t(std::min_element(l.begin(), l.end(), Less) - l.begin());
            std::rotate(l.begin(), l.begin() + long(m), l.end());
            if (Less(l.back(), l[1])) std::reverse(l.begin() + 1, l.end());
            l.push_back(l.front());
        } else if (Less(l.back(), l.front())) {
            std::reverse(l.begin(), l.end());
        }
    }
    std::sort(lines->begin(), lines->end(), [](const Line& a, const Line& b) { return Less(a.front(), b.front()); });
}

double Length(const std::vector<Line>& lines) {
    double s = 0;
    for (const Line& l : lines)
        for (size_t k = 1; k < l.size(); ++k) s += std::hypot(l[k].x - l[k - 1].x, l[k].y - l[k - 1].y);
    return s;
}

// The WKT of a geometry moved by (dx, dy).
std::string Shift(const std::string& wkt, double dx, double dy) {
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    std::string why;
    EXPECT_EQ(topo_wkt_read(wkt.c_str(), &o, &why), 1) << why;
    for (uint32_t i = 0; o.primitives && i < o.primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(o.primitives->data) + i;
        if (p->type == KTGEO_POINT) {
            p->geom.point.coord.x += dx;
            p->geom.point.coord.y += dy;
        } else if (p->type == KTGEO_CURVE) {
            auto* c = static_cast<GeoCoord*>(p->geom.curve.coords->data);
            for (uint32_t k = 0; k < p->geom.curve.coords->tally; ++k) c[k].x += dx, c[k].y += dy;
        }
    }
    const std::string out = topo_wkt_write(&o);
    ktgeo_so_release(&o);
    return out;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string item;
    std::istringstream in(s);
    while (std::getline(in, item, sep)) out.push_back(item);
    return out;
}

struct Row {
    std::string op;
    std::vector<std::string> inputs;
    size_t parts;
    double length;
    std::string result;
};

std::vector<Row> ReadRows() {
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/engine_lines.csv");
    std::vector<Row> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto f = Split(line, ';');
        if (f.size() != 5) {
            ADD_FAILURE() << "bad row " << line;
            continue;
        }
        rows.push_back({f[0], Split(f[1], '|'), size_t(std::stoul(f[2])), std::stod(f[3]), f[4]});
    }
    return rows;
}

std::vector<std::string> ArgsOf(const std::string& op) {
    if (op == "BOUNDARY") return {"BOUNDARY"};
    if (op == "CROSSING") return {"INTERSECT_NODES", "secondary=CROSSING"};
    // Each piece is a feature of its own: joining them where they run head
    // to head needs reversal, which reconnect_option 1 (the default) forbids.
    return {"DISSOLVE", "dim=LINEAR", "reconnect_option=0"};
}

// Runs a row (moved by the shift) and compares it with GEOS's answer
// (moved alike): part counts exact, length relative, vertices within e.
void CheckRow(const Row& row, double shift, double length_rel, double e, int n) {
    std::string input;
    for (const std::string& g : row.inputs) input += "-1 " + Shift(g, shift, shift) + "\n";
    const ToolRun r = RunTool(ArgsOf(row.op), input);
    ASSERT_EQ(r.status, 0) << n << " " << row.op << ": " << r.err;
    std::vector<Pt> got_points, want_points;
    std::vector<Line> got_lines, want_lines;
    for (const std::string& o : r.objects) Parts(o, &got_points, &got_lines);
    if (row.parts > 0) Parts(Shift(row.result, shift, shift), &want_points, &want_lines);
    Normalise(&got_points, &got_lines);
    Normalise(&want_points, &want_lines);
    const bool points = row.op != "DISSOLVE";
    ASSERT_EQ(points ? got_points.size() : got_lines.size(), row.parts) << n << " " << row.op;
    if (points) {
        EXPECT_TRUE(got_lines.empty()) << n;
        for (size_t k = 0; k < row.parts; ++k)
            EXPECT_TRUE(Near(got_points[k], want_points[k], e))
                << n << " point " << k << ": " << got_points[k].x << " " << got_points[k].y;
        return;
    }
    EXPECT_TRUE(got_points.empty()) << n;
    EXPECT_NEAR(Length(got_lines), row.length, row.length * length_rel) << n;
    for (size_t k = 0; k < row.parts; ++k) {
        ASSERT_EQ(got_lines[k].size(), want_lines[k].size()) << n << " line " << k;
        for (size_t v = 0; v < got_lines[k].size(); ++v)
            EXPECT_TRUE(Near(got_lines[k][v], want_lines[k][v], e)) << n << " line " << k << " vertex " << v;
    }
}

}  // namespace

TEST(qd_te_engine_lines, RowsAgainstGeos) {
    const std::vector<Row> rows = ReadRows();
    ASSERT_GE(rows.size(), 20u);
    int n = 0;
    for (const Row& row : rows) CheckRow(row, 0, 1e-9, 1e-9, n++);
}

TEST(qd_te_engine_lines, RowsShiftedFarFromTheOrigin) {
    int n = 0;
    for (const Row& row : ReadRows()) CheckRow(row, 1e7, 1e-6, 1e-6, n++);
}

TEST(qd_te_engine_lines, ModesOverOneFixture) {
    // Three lines of feature 1 (the middle one reversed) joined end to end
    // and one of feature 2 apart.
    const std::string input = "-1 MULTILINESTRING ((0 0, 1 0), (2 0, 1 0), (2 0, 3 1))\n-2 LINESTRING (5 5, 6 6)\n";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {{"SINGLE", "dim=LINEAR"},
         {"LINESTRING (0 0, 1 0)", "LINESTRING (2 0, 1 0)", "LINESTRING (2 0, 3 1)", "LINESTRING (5 5, 6 6)"}},
        {{"ALL", "dim=LINEAR"},
         {"MULTILINESTRING ((0 0, 1 0), (2 0, 1 0), (2 0, 3 1), (5 5, 6 6))"}},
        {{"CONTIGUOUS", "dim=LINEAR"},
         {"MULTILINESTRING ((0 0, 1 0), (2 0, 1 0), (2 0, 3 1))", "LINESTRING (5 5, 6 6)"}},
        {{"DISSOLVE", "dim=LINEAR"}, {"MULTILINESTRING ((0 0, 1 0, 2 0, 3 1), (5 5, 6 6))"}},
    };
    for (const Case& k : cases) {
        const ToolRun r = RunTool(k.args, input);
        ASSERT_EQ(r.status, 0) << k.args[0] << r.err;
        std::vector<std::string> got = r.objects;
        std::sort(got.begin(), got.end());
        std::vector<std::string> want = k.want;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want) << k.args[0];
    }
    // BOUNDARY: the two ends of one line; of two lines of one feature
    // joined end to end, the shared end cancels.
    ToolRun b = RunTool({"BOUNDARY"}, "-1 LINESTRING (0 0, 1 0, 1 1)\n");
    EXPECT_EQ(b.objects, (std::vector<std::string>{"MULTIPOINT ((0 0), (1 1))"}));
    b = RunTool({"BOUNDARY"}, "-1 MULTILINESTRING ((0 0, 1 0), (1 0, 2 1))\n");
    EXPECT_EQ(b.objects, (std::vector<std::string>{"MULTIPOINT ((0 0), (2 1))"}));
}

TEST(qd_te_engine_lines, SplitAcrossCuttersKeepsTheLength) {
    // A line across a cutter: two geometries (outside and inside pieces
    // lie in different cutter regions).
    const ToolRun s = RunTool({"SPLIT", "dim=LINEAR"},
                          "-1 LINESTRING (0 0, 10 0)\n1 POLYGON ((2 -1, 2 1, 4 1, 4 -1, 2 -1))\n");
    ASSERT_EQ(s.status, 0) << s.err;
    std::vector<std::string> got = s.objects;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"LINESTRING (2 0, 4 0)", "MULTILINESTRING ((0 0, 2 0), (4 0, 10 0))"}));
    // ERASE_IN drops the piece inside the cutter, ERASE_OUT keeps only it.
    const std::string across = "-1 LINESTRING (0 0, 10 0)\n1 POLYGON ((2 -1, 2 1, 4 1, 4 -1, 2 -1))\n";
    EXPECT_EQ(RunTool({"ERASE_IN", "dim=LINEAR"}, across).objects,
              (std::vector<std::string>{"MULTILINESTRING ((0 0, 2 0), (4 0, 10 0))"}));
    EXPECT_EQ(RunTool({"ERASE_OUT", "dim=LINEAR"}, across).objects,
              (std::vector<std::string>{"LINESTRING (2 0, 4 0)"}));
    // Random lines against random rectangle sets: the SPLIT pieces sum to
    // the line's length, and so do the pieces outside (ERASE_IN) and
    // inside (ERASE_OUT) the cutters.
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> at(0, 20), size(1, 8);
    for (int round = 0; round < 25; ++round) {
        std::string line = "LINESTRING (";
        const int n = 2 + int(rng() % 5);
        for (int i = 0; i < n; ++i) {
            char b[80];
            std::snprintf(b, sizeof b, "%s%.6f %.6f", i ? ", " : "", at(rng), at(rng));
            line += b;
        }
        line += ")";
        std::string input = "-1 " + line + "\n";
        const int cutters = 1 + int(rng() % 3);
        for (int c = 0; c < cutters; ++c) {
            const double x = at(rng), y = at(rng), w = size(rng), h = size(rng);
            char b[200];
            std::snprintf(b, sizeof b, "%d POLYGON ((%.6f %.6f, %.6f %.6f, %.6f %.6f, %.6f %.6f, %.6f %.6f))\n", c + 1,
                          x, y, x, y + h, x + w, y + h, x + w, y, x, y);
            input += b;
        }
        std::vector<Pt> pts;
        std::vector<Line> lines;
        Parts(line, &pts, &lines);
        const double whole = Length(lines);
        auto length_of = [&](const char* mode) {
            const ToolRun r = RunTool({mode, "dim=LINEAR"}, input);
            EXPECT_EQ(r.status, 0) << mode << " seed " << seed << ": " << r.err;
            std::vector<Pt> p;
            std::vector<Line> l;
            for (const std::string& o : r.objects) Parts(o, &p, &l);
            return Length(l);
        };
        EXPECT_NEAR(length_of("SPLIT"), whole, whole * 1e-9) << "seed " << seed << " round " << round;
        EXPECT_NEAR(length_of("ERASE_IN") + length_of("ERASE_OUT"), whole, whole * 1e-9)
            << "seed " << seed << " round " << round;
    }
}
