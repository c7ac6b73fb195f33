// Node output, convex hull and DISTANCE from outside, through topo_run:
// INTERSECT_NODES over three lines by secondary code, the hulls and nearest
// distances of the GEOS vectors (tests/data/geos/hull.csv, distance.csv),
// and the DISTANCE cases of a shared chain, a touching pair and the lines
// of one geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/entry/te_topo_run_util.h"

using Result = tetest::ToolResult;
constexpr auto RunTool = &tetest::RunTopoRun;

namespace {

struct P {
    double x, y;
};
using Line = std::vector<P>;

std::vector<std::string> Split(const std::string& s, char by) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

// The innermost parenthesised groups of a WKT text, each a list of points
// (a MULTIPOINT gives one group per point).
std::vector<Line> Groups(const std::string& wkt) {
    std::vector<Line> groups;
    for (size_t open = wkt.find('('); open != std::string::npos; open = wkt.find('(', open + 1)) {
        const size_t close = wkt.find(')', open);
        if (close == std::string::npos) break;
        const std::string inner = wkt.substr(open + 1, close - open - 1);
        if (inner.find('(') != std::string::npos) continue;
        Line line;
        for (const std::string& pair : Split(inner, ',')) {
            P p;
            if (std::sscanf(pair.c_str(), "%lf %lf", &p.x, &p.y) == 2) line.push_back(p);
        }
        groups.push_back(line);
    }
    return groups;
}

// "x y;x y;..." as points.
Line Points(const std::string& text) {
    Line pts;
    for (const std::string& pair : Split(text, ';')) {
        P p;
        if (std::sscanf(pair.c_str(), "%lf %lf", &p.x, &p.y) == 2) pts.push_back(p);
    }
    return pts;
}

// The points of every object written, one list per output line.
std::vector<Line> Objects(const std::string& out) {
    std::vector<Line> objects;
    for (const std::string& line : Split(out, '\n')) {
        Line pts;
        for (const Line& g : Groups(line)) pts.insert(pts.end(), g.begin(), g.end());
        objects.push_back(pts);
    }
    return objects;
}

double Dist(P a, P b) { return std::hypot(a.x - b.x, a.y - b.y); }

double PointSegment(P p, P a, P b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = dx * dx + dy * dy;
    const double t = len > 0 ? std::fmax(0, std::fmin(1, ((p.x - a.x) * dx + (p.y - a.y) * dy) / len)) : 0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Distance from p to a polyline (closed when asked), or to its one point.
double PointLine(P p, const Line& l, bool closed = false) {
    double d = INFINITY;
    if (l.size() == 1) return Dist(p, l[0]);
    for (size_t i = 0; i + 1 < l.size(); ++i) d = std::fmin(d, PointSegment(p, l[i], l[i + 1]));
    if (closed && l.size() > 2) d = std::fmin(d, PointSegment(p, l.back(), l[0]));
    return d;
}

double PointFeature(P p, const std::vector<Line>& feature) {
    double d = INFINITY;
    for (const Line& l : feature) d = std::fmin(d, PointLine(p, l));
    return d;
}

double PointVertex(P p, const std::vector<Line>& feature) {
    double d = INFINITY;
    for (const Line& l : feature)
        for (P q : l) d = std::fmin(d, Dist(p, q));
    return d;
}

bool Among(P p, const Line& pts) {
    return std::any_of(pts.begin(), pts.end(), [&](P q) { return Dist(p, q) <= 1e-9; });
}

Line Distinct(const Line& pts) {
    Line d;
    for (P p : pts)
        if (!Among(p, d)) d.push_back(p);
    return d;
}

std::vector<std::string> Rows(const char* file) {
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/" + file);
    std::vector<std::string> rows;
    for (std::string row; std::getline(in, row);)
        if (!row.empty() && row[0] != '#') rows.push_back(row);
    return rows;
}

}  // namespace

TEST(qd_te_node_ff_tool, IntersectNodesOverThreeLines) {
    // 1 crosses 2 at (5, 0) inside both; 1 ends where 3 starts, (10, 0);
    // 2 passes (5, 3) twice and crosses itself there; 3 passes (15, 0)
    // twice and only touches itself there.
    const std::string lines =
        "-1 LINESTRING (0 0, 10 0)\n"
        "-2 LINESTRING (5 -5, 5 3, 5 5, 7 3, 5 3, 3 3)\n"
        "-3 LINESTRING (10 0, 15 0, 20 0, 20 5, 15 5, 15 0, 12 5)\n";
    const Line vertices = {{0, 0}, {3, 3}, {5, -5}, {5, 3}, {5, 5}, {7, 3}, {12, 5}, {15, 0}, {15, 5}, {20, 0}, {20, 5}};
    Line all = vertices;
    all.push_back({5, 0});
    all.push_back({10, 0});
    Line single = vertices;  // every vertex but the one two lines share
    struct Case {
        const char* secondary;
        Line want;
    } cases[] = {
        {"COMMON_EDGE", {{10, 0}}},       // a vertex of two lines
        {"COMMON_CROSS", {}},             // the self-meetings lie at vertices
        {"COMMON_TOUCH", {{5, 3}}},       // a repeated vertex crossed, not the one touched
        {"COMMON_ENDS", {{10, 0}}},       // ends of two lines, not of one
        {"COMMON_ALL", {{5, 0}, {10, 0}}},
        {"CROSSING", {{5, 0}}},           // crossings inside segments
        {"ALL_CROSSING", {{5, 0}}},       // no crossing at an inner vertex here
        {"ALL_POINTS", all},              // every place once
        {"SINGLE", single},               // places of one line only
    };
    auto sorted = [](Line l) {
        std::sort(l.begin(), l.end(), [](P a, P b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        return l;
    };
    for (const Case& k : cases) {
        const Result r = RunTool({"INTERSECT_NODES", std::string("secondary=") + k.secondary}, lines);
        ASSERT_EQ(r.status, 0) << k.secondary << r.err;
        Line got;
        for (const Line& object : Objects(r.out)) {
            ASSERT_EQ(object.size(), 1u) << k.secondary;  // one point per object
            got.push_back(object[0]);
        }
        const Line want = sorted(k.want);
        got = sorted(got);
        ASSERT_EQ(got.size(), want.size()) << k.secondary << "\n" << r.out;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].x, want[i].x) << k.secondary;
            EXPECT_EQ(got[i].y, want[i].y) << k.secondary;
        }
    }
}

TEST(qd_te_hull_tool, GeosVectors) {
    int sets = 0;
    for (const std::string& row : Rows("hull.csv")) {
        const size_t comma = row.find(',');
        const Line points = Points(row.substr(0, comma));
        const Line hull = Points(row.substr(comma + 1));
        // Half the sets as one MULTIPOINT, half as one input per point.
        std::string input;
        char buf[96];
        if (sets % 2 == 0) {
            input = "-1 MULTIPOINT (";
            for (size_t i = 0; i < points.size(); ++i) {
                std::snprintf(buf, sizeof buf, "%s(%.3f %.3f)", i ? ", " : "", points[i].x, points[i].y);
                input += buf;
            }
            input += ")\n";
        } else {
            for (size_t i = 0; i < points.size(); ++i) {
                std::snprintf(buf, sizeof buf, "-%zu POINT (%.3f %.3f)\n", i + 1, points[i].x, points[i].y);
                input += buf;
            }
        }
        const Result r = RunTool({"CONVEX_HULL", "dim=NODE"}, input);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<Line> objects = Objects(r.out);
        ASSERT_EQ(objects.size(), 1u) << "set " << sets << "\n" << r.out;
        const Line& got = objects[0];
        EXPECT_EQ(Distinct(got).size(), got.size()) << "set " << sets;
        // Every point on GEOS's hull boundary, every GEOS vertex among them.
        for (P p : got) EXPECT_LE(PointLine(p, hull, true), 1e-9) << "set " << sets << " " << p.x << " " << p.y;
        for (P v : hull) EXPECT_TRUE(Among(v, got)) << "set " << sets << " " << v.x << " " << v.y;
        // Three points or fewer are all hull points.
        const Line distinct = Distinct(points);
        if (distinct.size() <= 3) {
            EXPECT_EQ(got.size(), distinct.size()) << "set " << sets;
            for (P p : distinct) EXPECT_TRUE(Among(p, got)) << "set " << sets;
        }
        ++sets;
    }
    EXPECT_EQ(sets, 36);
}

TEST(qd_te_distance_tool, GeosVectors) {
    int cases = 0;
    for (const std::string& row : Rows("distance.csv")) {
        const std::vector<std::string> f = Split(row, ';');
        ASSERT_GE(f.size(), 4u);
        const double nearest = std::stod(f[0]), farthest = std::stod(f[1]);
        std::string input;
        std::vector<std::vector<Line>> features;
        for (size_t k = 2; k < f.size(); ++k) {
            input += "-" + std::to_string(k - 1) + " " + f[k] + "\n";
            features.push_back(Groups(f[k]));
        }
        // The feature a point lies on (within 1e-9), -1 for none.
        auto on = [&](P p, bool vertex) {
            for (size_t k = 0; k < features.size(); ++k)
                if ((vertex ? PointVertex(p, features[k]) : PointFeature(p, features[k])) <= 1e-9) return int(k);
            return -1;
        };
        for (bool max : {false, true}) {
            const Result r = RunTool(max ? std::vector<std::string>{"DISTANCE", "secondary=MAX"}
                                     : std::vector<std::string>{"DISTANCE"},
                                 input);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::vector<Line> objects = Objects(r.out);
            ASSERT_EQ(objects.size(), 1u) << "case " << cases << "\n" << r.out;
            ASSERT_EQ(objects[0].size(), 2u) << "case " << cases;
            const P a = objects[0][0], b = objects[0][1];
            const double want = max ? farthest : nearest;
            EXPECT_NEAR(Dist(a, b), want, 1e-9 * want) << "case " << cases << " max " << max;
            // Each point on a feature of its own (with MAX a vertex of it).
            const int fa = on(a, max), fb = on(b, max);
            EXPECT_GE(fa, 0) << "case " << cases << " max " << max;
            EXPECT_GE(fb, 0) << "case " << cases << " max " << max;
            EXPECT_NE(fa, fb) << "case " << cases << " max " << max;
        }
        ++cases;
    }
    EXPECT_EQ(cases, 24);
}

TEST(qd_te_distance_tool, SharedTouchingAndOneGeometry) {
    struct Case {
        const char* input;
        std::vector<Line> want;  // the objects written (either end for a shared line)
    } cases[] = {
        // One line given twice: a chain of two features, its start twice.
        {"-1 LINESTRING (0 0, 10 0)\n-2 LINESTRING (10 0, 0 0)\n", {{{0, 0}, {0, 0}}, {{10, 0}, {10, 0}}}},
        // 1 and 2 are 5 apart, 2 and 3 touch: 0 at the touch.
        {"-1 POINT (0 0)\n-2 LINESTRING (5 0, 10 0)\n-3 LINESTRING (10 0, 12 3)\n", {{{10, 0}, {10, 0}}}},
        // The two lines of one geometry are one feature: not 3 apart but 7
        // from the point.
        {"-1 MULTILINESTRING ((0 0, 1 0), (0 3, 1 3))\n-2 POINT (0.5 10)\n", {{{0.5, 3}, {0.5, 10}}}},
        // One geometry alone: no pair, nothing written.
        {"-1 MULTILINESTRING ((0 0, 1 0), (0 3, 1 3))\n", {}},
    };
    for (const Case& k : cases) {
        const Result r = RunTool({"DISTANCE"}, k.input);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<Line> objects = Objects(r.out);
        if (k.want.empty()) {
            EXPECT_EQ(r.out, "") << k.input;
            continue;
        }
        ASSERT_EQ(objects.size(), 1u) << k.input << r.out;
        ASSERT_EQ(objects[0].size(), 2u) << k.input;
        const bool found = std::any_of(k.want.begin(), k.want.end(), [&](const Line& w) {
            return Dist(w[0], objects[0][0]) <= 1e-12 && Dist(w[1], objects[0][1]) <= 1e-12;
        });
        EXPECT_TRUE(found) << k.input << r.out;
    }
}
