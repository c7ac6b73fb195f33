// Point and polygon inside a region chain: the square cases by hand, edge
// and vertex contacts within the tolerance, and GEOS's answers for points
// well away from rings and for rings within or apart from a region.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_geo_overlay.h"

using namespace tetest;

namespace {

TeChain Square() { return Ch(TE_REGION, {Q(0, 0), Q(0, 10), Q(10, 10), Q(10, 0), Q(0, 0)}); }

int32_t PointIn(TeChain* region, GeoCoord p, const double* tol = nullptr) {
    int32_t loc = 99;
    EXPECT_EQ(qd_te_geo_overlay_pt_inside_region(&p, region, tol, &loc), 1);
    return loc;
}

int32_t PolyIn(TeChain* region, std::vector<GeoCoord> pts) {
    TeBoundedArray a = {pts.data(), int32_t(pts.size()), {}, {}};
    GeoCoord env[2];
    qd_te_cogo_envelope(env, pts.data(), int32_t(pts.size()));
    a.env_min = env[0];
    a.env_max = env[1];
    int32_t loc = 99;
    EXPECT_EQ(qd_te_geo_overlay_poly_inside_region(&a, region, nullptr, &loc), 1);
    return loc;
}

std::vector<std::vector<std::string>> ReadCsv(const char* name, char sep) {
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/" + name);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> row;
        std::string field;
        std::istringstream s(line);
        while (std::getline(s, field, sep)) row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

std::vector<GeoCoord> Points(const std::string& field) {
    std::vector<GeoCoord> pts;
    std::istringstream s(field);
    std::string pair;
    while (std::getline(s, pair, ';')) {
        double x, y;
        if (std::sscanf(pair.c_str(), "%lf %lf", &x, &y) == 2) pts.push_back(Q(x, y));
    }
    return pts;
}

// A closed region chain of a ring given without its closing point.
TeChain Region(std::vector<GeoCoord> ring) {
    ring.push_back(ring.front());
    return Ch(TE_REGION, ring);
}

}  // namespace

TEST(qd_te_region, PointsByHand) {
    Owned sq(Square());
    struct Case {
        GeoCoord p;
        int32_t loc;
    } cases[] = {
        {Q(5, 5), 13},        {Q(15, 5), 12},        {Q(-1, -1), 12},       {Q(0, 0), 15},
        {Q(10, 10), 15},      {Q(5e-9, 10), 15},     {Q(0, 5), 14},         {Q(5, 10 + 5e-9), 14},
        {Q(10 - 5e-9, 3), 14}, {Q(5, 1e-7), 13},     {Q(5, -1e-7), 12},     {Q(5, 5 + 0.5), 13},
    };
    for (const Case& k : cases) EXPECT_EQ(PointIn(sq.get(), k.p), k.loc) << k.p.x << " " << k.p.y;
    // A wider tolerance: 1e-3 off the edge is on it.
    const double wide = 1e-3;
    EXPECT_EQ(PointIn(sq.get(), Q(5, 1e-4), &wide), 14);
    // A diagonal edge: (5, 5) of the triangle (0,0),(10,10),(10,0).
    Owned tri(Ch(TE_REGION, {Q(0, 0), Q(10, 10), Q(10, 0), Q(0, 0)}));
    EXPECT_EQ(PointIn(tri.get(), Q(5, 5)), 14);
    EXPECT_EQ(PointIn(tri.get(), Q(6, 5)), 13);
    EXPECT_EQ(PointIn(tri.get(), Q(4, 5)), 12);
    // Not usable: two vertices, or CHAIN_DELETE: -2, success.
    Owned two(Ch(TE_REGION, {Q(0, 0), Q(1, 1)}));
    EXPECT_EQ(PointIn(two.get(), Q(0.5, 0.5)), -2);
    Owned dead(Square());
    dead->discard = CHAIN_DELETE;
    EXPECT_EQ(PointIn(dead.get(), Q(5, 5)), -2);
    Owned region_status(Square());
    region_status->discard = CHAIN_REGION;
    EXPECT_EQ(PointIn(region_status.get(), Q(5, 5)), 13);
    // Nulls are reported.
    geotest::FailRecorder rec;
    int32_t loc = 0;
    const GeoCoord p = Q(1, 1);
    EXPECT_EQ(qd_te_geo_overlay_pt_inside_region(&p, nullptr, nullptr, &loc), 0);
    EXPECT_EQ(rec.Last().code, "UKT1M");
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_geo_overlay_pt_inside_region");
    EXPECT_EQ(qd_te_geo_overlay_poly_inside_region(nullptr, sq.get(), nullptr, &loc), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_geo_overlay_poly_inside_region");
}

TEST(qd_te_region, PolygonsByHand) {
    Owned sq(Square());
    EXPECT_EQ(PolyIn(sq.get(), {Q(2, 2), Q(2, 4), Q(4, 4), Q(4, 2)}), 13);
    EXPECT_EQ(PolyIn(sq.get(), {Q(20, 2), Q(20, 4), Q(24, 4)}), 12);  // rectangles apart
    EXPECT_EQ(PolyIn(sq.get(), {Q(-4, 2), Q(-4, 4), Q(-2, 4)}), 12);  // rectangles meet, outside
    // Every point on a region vertex (or outside the rectangle): 15.
    EXPECT_EQ(PolyIn(sq.get(), {Q(0, 0), Q(0, 10), Q(10, 10)}), 15);
    // A point on an edge: moved half way to the next point, then inside.
    EXPECT_EQ(PolyIn(sq.get(), {Q(0, 5), Q(5, 5), Q(5, 6)}), 13);
    Owned dead(Square());
    dead->discard = CHAIN_DELETE;
    EXPECT_EQ(PolyIn(dead.get(), {Q(2, 2), Q(2, 4), Q(4, 4)}), -2);
}

TEST(qd_te_region, PointsAgainstGeos) {
    // Each ring as a region chain; a point is covered by the multipolygon
    // when an odd number of its rings hold it (holes lie in their shells,
    // islands in their holes). Points are over 1.5 units from every ring.
    const auto rows = ReadCsv("pip.csv", ',');
    ASSERT_GT(rows.size(), 100u);
    int checked = 0;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u);
        std::vector<std::string> rings;
        std::istringstream s(row[0]);
        std::string ring;
        while (std::getline(s, ring, '|')) rings.push_back(ring);
        const GeoCoord p = Q(std::stod(row[2]), std::stod(row[3]));
        int inside = 0;
        for (const std::string& r : rings) {
            Owned region(Region(Points(r)));
            const int32_t loc = PointIn(region.get(), p);
            ASSERT_TRUE(loc == 12 || loc == 13) << loc;
            inside += loc == 13;
        }
        EXPECT_EQ(inside % 2, std::stoi(row[4])) << row[2] << " " << row[3];
        ++checked;
    }
    EXPECT_EQ(checked, int(rows.size()));
}

TEST(qd_te_region, PolygonsAgainstGeos) {
    const auto rows = ReadCsv("region_poly.csv", ',');
    ASSERT_EQ(rows.size(), 144u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        Owned region(Region(Points(row[0])));
        EXPECT_EQ(PolyIn(region.get(), Points(row[1])), std::stoi(row[2])) << row[1];
    }
}
