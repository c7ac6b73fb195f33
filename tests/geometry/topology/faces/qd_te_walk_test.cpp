// The face walk: the fixed polygons and the closing chain, one ring, a
// dangle inside a face, broken links and sides walked twice reported, ring
// areas by orientation, the rectangle's yxmax, refused arguments, and the
// dump form of a polygon and its listing with its chains.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "geometry/geo_test_util.h"
#include "geometry/topology/faces/te_face_util.h"
#include "geometry/topology/qd_te_dump.h"

using namespace tetest;

namespace {

TeChain UnitSquare() { return Path({Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)}); }

bool Reported(const geotest::FailRecorder& rec, const std::string& function) {
    for (const auto& r : rec.reports())
        for (const auto& [k, v] : r.pairs)
            if (r.code == "UKT1M" && k == "function%s" && v == function) return true;
    return false;
}

}  // namespace

TEST(qd_te_walk, OnlyTheUniversalChain) {
    Faces f;
    ASSERT_EQ(f.Walk(), 1);
    EXPECT_EQ(f.Count(), 0);
    EXPECT_EQ(f.chains.Count(), 1);  // no closing chain either
}

TEST(qd_te_walk, OneRingGivesFixedPolygonsAndTwoFaces) {
    Faces f;
    f.Add(UnitSquare());
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    ASSERT_EQ(f.Count(), 5);
    // The closing chain: a copy of the frame, each side a walk by itself.
    ASSERT_EQ(f.chains.Count(), 3);
    const TeChain* closing = f.chains.At(2);
    EXPECT_EQ(closing->discard, CHAIN_OK);
    EXPECT_EQ(closing->poly_left, 2);
    EXPECT_EQ(closing->poly_right, 1);
    EXPECT_EQ(closing->left_link, 2);
    EXPECT_EQ(closing->right_link, -2);
    EXPECT_EQ(closing->coords->tally, 5u);
    // Polygon 0: the frame's area (3 x 3); 1 and 2: the largest double.
    EXPECT_DOUBLE_EQ(f.P(0)->area, 9.0);
    EXPECT_EQ(f.P(1)->area, DBL_MAX);
    EXPECT_EQ(f.P(2)->area, -DBL_MAX);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(f.P(i)->id, i);
        EXPECT_EQ(f.P(i)->status, 0);
        EXPECT_EQ(f.P(i)->discard, 1);
        EXPECT_EQ(f.P(i)->start_chain, 2);
        EXPECT_EQ(f.P(i)->mer[1].x, 0.0);
    }
    // The ring: its left side (outside) first, then its clockwise inside.
    EXPECT_EQ(f.Signed(+1), (std::vector<int32_t>{4}));
    EXPECT_EQ(f.Signed(-1), (std::vector<int32_t>{3}));
    EXPECT_EQ(f.Negatives(), (std::vector<int32_t>{3}));
    for (int32_t id : {3, 4}) {
        EXPECT_EQ(f.P(id)->count, 1);
        EXPECT_EQ(f.P(id)->status, 1);
        EXPECT_EQ(f.P(id)->start_chain, 1);
        EXPECT_EQ(f.P(id)->n_coords, 5);
        EXPECT_DOUBLE_EQ(std::fabs(f.P(id)->area), 1.0);
    }
    EXPECT_EQ(f.chains.At(1)->poly_left, 3);
    EXPECT_EQ(f.chains.At(1)->poly_right, 4);
    // yxmax: the first point of greatest x in the clockwise ring.
    EXPECT_EQ(f.P(4)->mer[0].x, 0.0);
    EXPECT_EQ(f.P(4)->mer[1].y, 1.0);
    char why[160] = "";
    EXPECT_EQ(qd_te_check_invariants(f.chains.list, TE_INV_LEAVING | TE_INV_WALK_LINKS | TE_INV_FACES, why,
                                     f.polygons), 1)
        << why;
}

TEST(qd_te_walk, DangleInsideAFace) {
    Faces f;
    f.Add(UnitSquare());
    f.Add(Path({Q(0, 0), Q(0.5, 0.25)}));  // from the ring's corner inwards
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    EXPECT_EQ(f.Negatives(), (std::vector<int32_t>{3}));
    const std::vector<int32_t> inside = f.Signed(+1);
    ASSERT_EQ(inside.size(), 1u);
    const TePolygon* p = f.P(inside[0]);
    std::vector<int32_t> walk = f.Boundary(p->id);
    std::sort(walk.begin(), walk.end());
    EXPECT_EQ(walk, (std::vector<int32_t>{1, 2, 2}));
    EXPECT_EQ(p->count, 2);
    EXPECT_EQ(p->status, 0);
    EXPECT_DOUBLE_EQ(p->area, 1.0);
    EXPECT_EQ(f.chains.At(2)->poly_left, p->id);
    EXPECT_EQ(f.chains.At(2)->poly_right, p->id);
    EXPECT_EQ(f.P(3)->status, 1);
    char why[160] = "";
    EXPECT_EQ(qd_te_check_invariants(f.chains.list, TE_INV_FACES, why, f.polygons), 1) << why;
}

TEST(qd_te_walk, BrokenLinksAndSidesWalkedTwiceFail) {
    geotest::FailRecorder rec;
    {  // A link of 0 in the middle of a walk.
        Faces f;
        f.Add(Path({Q(0, 0), Q(1, 1)}));
        ASSERT_TRUE(f.Link());
        f.chains.At(1)->left_link = 0;
        EXPECT_EQ(f.Walk(), 0);
        EXPECT_TRUE(Reported(rec, "qd_te_walk_chain"));
    }
    {  // A side walked before: its bit is set, the second walk fails.
        Faces f;
        f.Add(UnitSquare());
        ASSERT_TRUE(f.Link());
        TeBitArray bits;
        qd_te_ba_init(&bits);
        ASSERT_EQ(qd_te_chain_bit_alloc(f.chains.Count(), &bits), 1);
        nlst* steps = nullptr;
        const TeWalkStep start{1, f.chains.At(1)};
        EXPECT_EQ(qd_te_walk_all_faces(&start, f.chains.list, &steps, &bits, 1), 1);
        rec.Clear();
        EXPECT_EQ(qd_te_walk_all_faces(&start, f.chains.list, &steps, &bits, 1), 0);
        EXPECT_TRUE(Reported(rec, "qd_te_walk_all_faces"));
        nlst_free(steps);
        qd_te_chain_bit_free(&bits);
    }
    {  // Links that loop without coming back to the start: A → B → C → B.
        Faces f;
        for (int k = 0; k < 3; ++k) f.Add(Path({Q(k, 0), Q(k, 1)}));
        ASSERT_TRUE(f.Link());
        f.chains.At(1)->left_link = 2;
        f.chains.At(2)->left_link = 3;
        f.chains.At(3)->left_link = 2;
        rec.Clear();
        EXPECT_EQ(f.Walk(), 0);
        EXPECT_TRUE(Reported(rec, "qd_te_walk_all_faces"));
    }
    {  // Without bits (use_bits 0, no array) the walk of a closed cycle runs.
        Faces f;
        f.Add(UnitSquare());
        ASSERT_TRUE(f.Link());
        nlst* steps = nullptr;
        const TeWalkStep start{0, f.chains.At(1)};
        EXPECT_EQ(qd_te_walk_all_faces(&start, f.chains.list, &steps, nullptr, 0), 1);
        EXPECT_EQ(steps->tally, 1u);
        nlst_free(steps);
    }
}

TEST(qd_te_walk, RingAreaByOrientationAndClosure) {
    struct {
        std::initializer_list<GeoCoord> ring;
        int answer;
        double area;
    } cases[] = {
        {{Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)}, 1, 1.0},            // clockwise
        {{Q(0, 0), Q(1, 0), Q(1, 1), Q(0, 1), Q(0, 0)}, 1, -1.0},           // counter-clockwise
        {{Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 3e-10)}, 0, 0.0},        // misses by 3e-10
        {{Q(0, 0), Q(0, 1), Q(0, 0)}, 0, 0.0},                              // 3 coordinates
        {{Q(5e6, 5e6), Q(5e6, 5e6 + 2), Q(5e6 + 2, 5e6), Q(5e6, 5e6)}, 1, 2.0},  // far from the origin
    };
    for (const auto& c : cases) {
        nlst* ring = Coords(c.ring);
        double area = 99;
        EXPECT_EQ(qd_te_poly_ring_area(ring, &area), c.answer);
        EXPECT_DOUBLE_EQ(area, c.area);
        nlst_free(ring);
    }
    // A triangle ring: 4 coordinates (closing one repeated), positive.
    Faces f;
    f.Add(Path({Q(0, 0), Q(1, 2), Q(2, 0), Q(0, 0)}));
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    ASSERT_EQ(f.Signed(+1).size(), 1u);
    const TePolygon* t = f.P(f.Signed(+1)[0]);
    EXPECT_EQ(t->n_coords, 4);
    EXPECT_DOUBLE_EQ(t->area, 2.0);
    EXPECT_EQ(t->yxmax, 0.0);
}

TEST(qd_te_walk, RectangleKeepsTheFirstGreatestX) {
    TePolygon p;
    ASSERT_EQ(qd_te_poly_init(nullptr, &p), 1);
    EXPECT_EQ(p.id, 0);
    EXPECT_EQ(p.mer[0].x, 1e100);
    EXPECT_EQ(p.yxmax, -1e100);
    EXPECT_EQ(p.lookup_max, -1);
    nlst* pts = Coords({Q(0, 0), Q(3, 7), Q(1, 1), Q(3, -2)});
    ASSERT_EQ(qd_te_adjust_coord_info(&p, pts), 1);
    EXPECT_EQ(p.yxmax, 7.0);
    EXPECT_EQ(p.mer[0].y, -2.0);
    EXPECT_EQ(p.mer[1].x, 3.0);
    EXPECT_EQ(p.mer[0].z, -1e6);
    nlst_free(pts);
}

TEST(qd_te_walk, RefusedArguments) {
    geotest::FailRecorder rec;
    Faces f;
    f.Add(UnitSquare());
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    // A polygon on neither side of its start chain.
    TePolygon p = *f.P(4);
    p.id = 99;
    EXPECT_EQ(qd_te_get_poly(&p, f.polygons, f.chains.list, &f.rules), 0);
    EXPECT_TRUE(Reported(rec, "qd_te_get_poly"));
    EXPECT_EQ(qd_te_get_poly(nullptr, f.polygons, f.chains.list, &f.rules), 0);
    EXPECT_EQ(qd_te_walk_form(&f.polygons, &f.negatives, f.chains.list, nullptr), 0);
    EXPECT_EQ(qd_te_adjust_coord_info(nullptr, nullptr), 0);
    EXPECT_EQ(qd_te_chain_bit_alloc(0, nullptr), 0);
    int32_t was = 7;
    TeBitArray none;
    qd_te_ba_init(&none);
    EXPECT_EQ(qd_te_chain_bit_check(&none, 1, 1, &was), 1);  // no storage: no checking
    EXPECT_EQ(was, 0);
    EXPECT_EQ(qd_te_chain_bit_check(nullptr, 1, 1, &was), 0);
    TeWalkStep next{};
    int32_t closed = 0;
    EXPECT_EQ(qd_te_walk_chain(f.chains.list, nullptr, 1, &next, &closed), 0);
    EXPECT_EQ(qd_te_generate_poly(&f.rules, &f.negatives, nullptr, f.chains.list, &f.polygons), 0);
    EXPECT_TRUE(Reported(rec, "qd_te_generate_poly"));
    // Memory: the closing chain's copy fails; reported, the walk answers 0.
    Faces g;
    g.Add(UnitSquare());
    ASSERT_TRUE(g.Link());
    rec.Clear();
    qd_alloc_fail_nth(1);
    EXPECT_EQ(g.Walk(), 0);
    qd_alloc_fail_nth(0);
    EXPECT_FALSE(rec.Codes().empty());
}

TEST(qd_te_walk, PolygonDumpForm) {
    char dir[] = "/tmp/te_walk_dump_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("QD_TE_DUMP_DIR", dir, 1);
    Faces f;
    TeChain ring = UnitSquare();
    ring.chain_lookup = 0;
    ring.right_parent = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    const TeParent parent = {7, 1, (1 << 3) | TE_PARENT_P};
    nlst_add(ring.right_parent, &parent);
    f.Add(ring);
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    ASSERT_EQ(qd_te_dump_polygon(f.P(4), f.chains.list, "poly", 0, 1), 1);
    auto read = [](const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    // The form of the dump as written out by hand.
    EXPECT_EQ(read(std::string(dir) + "/poly.sdas"),
              "ST_Spatial( LIST{\n"
              " ST_Path( ST_Polyline( LIST{\n"
              "   ST_Point(0.00000000000,0.00000000000)\n"
              "  ,ST_Point(0.00000000000,1.00000000000)\n"
              "  ,ST_Point(1.00000000000,1.00000000000)\n"
              "  ,ST_Point(1.00000000000,0.00000000000)\n"
              "  ,ST_Point(0.00000000000,0.00000000000)\n"
              "}))\n"
              "pid=4;count=1;island_list=0;hole_list=0;inside=0;lookup_max=0;lookup_min=0;n_parents=1;n_coords=5;"
              "status='T (closed)';discard='FALSE';spike='FALSE';target='FALSE';cutter='FALSE';yxmax=1.000000;"
              "area=1.000000;mer='(0.000000,0.000000)->(1.000000,1.000000)';round_cut='';chains='1 ';})\n");
    EXPECT_EQ(read(std::string(dir) + "/polypar.sdas"),
              "ST_Spatial(st_point(0,0)pid=4;chain_id=1;parentid=7:1;parentfreq=1;parentflags=P;)\n");
    // Polygon 0 is on neither side of its start chain: nothing written.
    std::remove((std::string(dir) + "/poly.sdas").c_str());
    ASSERT_EQ(qd_te_dump_polygon(f.P(0), f.chains.list, "poly", 0, 1), 1);
    EXPECT_EQ(read(std::string(dir) + "/poly.sdas"), "");
    std::remove((std::string(dir) + "/polypar.sdas").c_str());
    rmdir(dir);
}

TEST(qd_te_walk, PolygonWithItsChainsListing) {
    // A face of two chains: the polygon's listing, the chains-list header
    // with its count, each chain of the walk in its short listing, the
    // closing line (the layout written out by hand; the polygon and chain
    // listings themselves are checked on their own).
    Faces f;
    f.Add(Path({Q(0, 0), Q(0, 1), Q(1, 1)}));
    f.Add(Path({Q(1, 1), Q(1, 0), Q(0, 0)}));
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    const TePolygon* p = f.P(4);
    ASSERT_EQ(p->count, 2);
    auto listed = [](auto&& list) {
        geotest::StdoutCapture out;
        list();
        return out.Text();
    };
    const std::string line = " ---------------------------------------------\n";
    std::string chains;
    for (int32_t row : {1, 2}) chains += listed([&] { qd_te_debug_list_chain(qd_te_chain_at(f.chains.list, row), 0); });
    const std::string want = listed([&] { qd_te_debug_list_poly(p); }) + line + "      Chains List: id: 2 ...\n" +
                             line + chains + line;
    int answer = 0;
    EXPECT_EQ(listed([&] { answer = qd_te_debug_list_poly_chain(p, f.chains.list); }), want);
    EXPECT_EQ(answer, 1);
    // A discarded polygon is listed alone.
    TePolygon gone = *p;
    gone.discard = 1;
    EXPECT_EQ(listed([&] { answer = qd_te_debug_list_poly_chain(&gone, f.chains.list); }),
              listed([&] { qd_te_debug_list_poly(&gone); }));
    EXPECT_EQ(answer, 1);
    // Neither side of its start chain: reported, 0, no listing.
    geotest::FailRecorder rec;
    TePolygon stray = *p;
    stray.id = 99;
    const std::string text = listed([&] { answer = qd_te_debug_list_poly_chain(&stray, f.chains.list); });
    EXPECT_EQ(text.find("POLYGON"), std::string::npos) << text;
    EXPECT_EQ(answer, 0);
    EXPECT_FALSE(rec.reports().empty());
    EXPECT_EQ(qd_te_debug_list_poly_chain(nullptr, f.chains.list), 0);
    EXPECT_TRUE(Reported(rec, "qd_te_debug_list_poly_chain"));
}
