// The coordinate geometry against GEOS's answers (tests/data/geos, written
// by tools/oracle/gen_geos_cogo_vectors.py): ring areas, simplicity and
// centroids, segment lengths and nearest points, crossings of polylines
// and of curves; and one digest of the bits of centroids, strokes and
// fitted transforms over those vectors, equal in every build.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/cogo/te_test_util.h"

using tetest::P;

namespace {

using Row = std::vector<std::string>;

std::vector<Row> ReadVectors(const char* name) {
    std::ifstream in(std::string(QL_GEOS_DATA_DIR) + "/" + name);
    std::vector<Row> rows;
    std::string line;
    bool header = true;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (header) {
            header = false;
            continue;
        }
        Row row;
        std::string field;
        std::istringstream s(line);
        while (std::getline(s, field, ',')) row.push_back(field);
        if (!line.empty() && line.back() == ',') row.push_back("");
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
        if (std::sscanf(pair.c_str(), "%lf %lf", &x, &y) == 2) pts.push_back(P(x, y));
    }
    return pts;
}

double D(const std::string& field) { return std::strtod(field.c_str(), nullptr); }

// Each expected point has a found point within eps, and the counts agree.
void ExpectSamePoints(const std::vector<GeoCoord>& want, const TeIntersectionList& got, double eps,
                      const std::string& what) {
    ASSERT_EQ(got.count, int32_t(want.size())) << what;
    for (const GeoCoord& w : want) {
        double best = INFINITY;
        for (int32_t i = 0; i < got.count; ++i)
            best = std::fmin(best, qd_te_cogo_distance_2d(&w, &got.items[i].point));
        EXPECT_LE(best, eps) << what << " near " << w.x << " " << w.y;
    }
}

struct Digest {
    uint64_t h = 1469598103934665603ull;
    void Add(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        for (int i = 0; i < 8; ++i) h = (h ^ ((bits >> (8 * i)) & 0xff)) * 1099511628211ull;
    }
};

}  // namespace

TEST(qd_te_cogo_geos, Rings) {
    const auto rows = ReadVectors("rings.csv");
    ASSERT_GE(rows.size(), 40u);
    for (const Row& r : rows) {
        auto pts = Points(r[0]);
        const bool simple = r[4] == "1";
        const double extent = D(r[5]);
        TeCoordArray ring = {pts.data(), int32_t(pts.size())};
        EXPECT_EQ(qd_te_cogo_self_intersections(&ring, nullptr, 1, nullptr), simple ? 0 : 1) << r[0];
        if (!simple) continue;
        EXPECT_NEAR(qd_te_cogo_ring_area_cw(pts.data(), ring.n), D(r[1]), 1e-12 * extent * extent);
        EXPECT_EQ(qd_te_cogo_ring_clockwise(pts.data(), ring.n), D(r[1]) >= 0 ? 1 : 0);
        GeoCoord c;
        ASSERT_EQ(qd_te_cogo_ring_centroid(&ring, &c, nullptr), -1);
        EXPECT_NEAR(c.x, D(r[2]), 1e-9 * extent);
        EXPECT_NEAR(c.y, D(r[3]), 1e-9 * extent);
    }
}

TEST(qd_te_cogo_geos, LineSimplicity) {
    const auto rows = ReadVectors("lines.csv");
    ASSERT_GE(rows.size(), 40u);
    for (const Row& r : rows) {
        auto pts = Points(r[0]);
        TeCoordArray line = {pts.data(), int32_t(pts.size())};
        EXPECT_EQ(qd_te_cogo_self_intersections(&line, nullptr, 1, nullptr), r[1] == "1" ? 0 : 1)
            << r[0];
    }
}

TEST(qd_te_cogo_geos, SegmentLengthsAndNearestPoints) {
    const auto rows = ReadVectors("segments.csv");
    ASSERT_GE(rows.size(), 40u);
    for (const Row& r : rows) {
        const auto p = Points(r[0]);
        const auto near = Points(r[3]);
        const double extent = D(r[5]), eps = 1e-12 * extent;
        EXPECT_NEAR(qd_te_cogo_polyline_length(&p[0], 2), D(r[1]), eps);
        EXPECT_NEAR(qd_te_cogo_polyline_length(&p[2], 2), D(r[2]), eps);
        GeoCoord u, v;
        EXPECT_NEAR(qd_te_cogo_segment_nearest_points(&p[0], &p[1], &p[2], &p[3], &u, &v, nullptr),
                    D(r[4]), eps);
        EXPECT_POINT(u, near[0].x, near[0].y, eps);
        EXPECT_POINT(v, near[1].x, near[1].y, eps);
    }
}

TEST(qd_te_cogo_geos, PolylineCrossings) {
    const auto rows = ReadVectors("polylines.csv");
    ASSERT_GE(rows.size(), 30u);
    for (const Row& r : rows) {
        auto a = Points(r[0]), b = Points(r[1]);
        const auto want = Points(r[2]);
        TeBoundedArray ba = tetest::Bounded(a), bb = tetest::Bounded(b);
        TeIntersectionList list = {0, 0, nullptr};
        const int got = qd_te_cogo_sweep_two_arrays(&ba, &bb, &list, 0, 0, nullptr);
        EXPECT_EQ(got, want.empty() ? 0 : 1);
        ExpectSamePoints(want, list, 1e-9, r[0] + " / " + r[1]);
        qd_te_cogo_intersection_list_free(&list);
    }
}

TEST(qd_te_cogo_geos, CurveCrossings) {
    const auto rows = ReadVectors("curves.csv");
    ASSERT_GE(rows.size(), 30u);
    int crossings = 0;
    for (const Row& r : rows) {
        auto a = Points(r[0]), b = Points(r[1]);
        const auto want = Points(r[2]);
        TeCoordArray ca = {a.data(), int32_t(a.size())}, cb = {b.data(), int32_t(b.size())};
        TeIntersectionList list = {0, 0, nullptr};
        const int got = b.empty() ? qd_te_cogo_curve_self_intersections(&ca, &list, nullptr)
                                  : qd_te_cogo_curve_intersections(&ca, &cb, &list, nullptr);
        EXPECT_EQ(got, want.empty() ? 0 : 1) << r[0];
        ExpectSamePoints(want, list, 1e-3 * D(r[4]), r[0] + " / " + r[1]);
        crossings += int(want.size());
        qd_te_cogo_intersection_list_free(&list);
    }
    EXPECT_GE(crossings, 10);
}

// A lock, not a proof: the digest was recorded from this code (set
// QL_RECORD_COGO_BITS to rewrite it); what it locks is checked against
// GEOS above. It holds only when every build computes the same bits.
TEST(qd_te_cogo_geos, SameBitsInEveryBuild) {
    Digest d;
    for (const Row& r : ReadVectors("rings.csv")) {
        if (r[4] != "1") continue;
        auto pts = Points(r[0]);
        TeCoordArray ring = {pts.data(), int32_t(pts.size())};
        GeoCoord c;
        ASSERT_EQ(qd_te_cogo_ring_centroid(&ring, &c, nullptr), -1);
        d.Add(c.x);
        d.Add(c.y);
    }
    for (const Row& r : ReadVectors("curves.csv")) {
        for (const std::string& f : {r[0], r[1]}) {
            auto pts = Points(f);
            if (pts.empty()) continue;
            TeCoordArray curve = {pts.data(), int32_t(pts.size())};
            TeCoordArray out = {nullptr, 0};
            ASSERT_EQ(qd_te_cogo_curve_stroke_fine(&curve, 0, curve.n, &out, nullptr), -1);
            for (int32_t i = 0; i < out.n; ++i) d.Add(out.pts[i].x), d.Add(out.pts[i].y);
            qd_free(out.pts);
        }
    }
    const TeAffine shear = {1.5, 0.3, 2, -0.2, 0.7, 1};
    for (const Row& r : ReadVectors("polylines.csv")) {
        const auto src = Points(r[0]);
        std::vector<GeoCoord> dst(src.size());
        for (size_t i = 0; i < src.size(); ++i) {
            qd_te_cogo_apply_transform(&shear, &src[i], &dst[i]);
            dst[i].x += 0.01 * double(i % 3);  // not exactly affine
        }
        for (int type : {3, 4, 6}) {
            double sx = 1, sy = 1;
            TeAffine t = {};
            d.Add(qd_te_cogo_fit_transform(type, 0, int32_t(src.size()), src.data(), dst.data(), &sx,
                                           &sy, &t));
            for (double v : {t.a00, t.a01, t.tx, t.a10, t.a11, t.ty, sx, sy}) d.Add(v);
        }
    }
    char got[32];
    std::snprintf(got, sizeof got, "%016" PRIx64, d.h);
    const std::string path = std::string(QL_GEOS_DATA_DIR) + "/cogo_bits.txt";
    if (std::getenv("QL_RECORD_COGO_BITS")) {
        std::ofstream(path) << got << "\n";
        GTEST_SKIP() << "recorded " << got;
    }
    std::string want;
    std::ifstream(path) >> want;
    EXPECT_EQ(want, got);
}
