// Identity tests of the pairs of linear chains through the dispatcher: which
// pairs are the same within tolerance, which chain survives and where the
// parents go; the arc that cuts a circle down to the rest of it.
#include <gtest/gtest.h>

#include <functional>

#include "geometry/topology/qd_te_duplicates.h"
#include "te_split_util.h"

using namespace tetest;

namespace {

const double kT = 1e-3;

TeChain Arc3(GeoCoord a, GeoCoord m, GeoCoord b, double tol = kT) { return Tol(TE_ARC, {a, m, b}, tol); }

struct Case {
    const char* name;
    std::function<TeChain()> first, second;
    const double* tolerance;
    int32_t identical;
    int32_t survivor;  // 0 first, 1 second, -1 both stay
    std::vector<int32_t> right, left;  // survivor's parents (first has 1 on its right, second 2)
};

void RunCase(const Case& k) {
    SCOPED_TRACE(k.name);
    TeChain a = k.first(), b = k.second();
    ASSERT_EQ(a.discard, CHAIN_OK);
    ASSERT_EQ(b.discard, CHAIN_OK);
    a.chain_id = 1;
    b.chain_id = 2;
    AddParent(a, 0, 1);
    AddParent(b, 0, 2);
    int32_t identical = -7;
    ASSERT_EQ(qd_te_duplicates_prim(&a, &b, k.tolerance, &identical), 1);
    EXPECT_EQ(identical, k.identical);
    if (k.survivor < 0) {
        EXPECT_EQ(a.discard, CHAIN_OK);
        EXPECT_EQ(b.discard, CHAIN_OK);
    } else {
        TeChain& keep = k.survivor == 0 ? a : b;
        TeChain& drop = k.survivor == 0 ? b : a;
        EXPECT_EQ(keep.discard, CHAIN_OK);
        EXPECT_EQ(drop.discard, CHAIN_DELETE);
        EXPECT_EQ(ParentIds(keep.right_parent), k.right);
        EXPECT_EQ(ParentIds(keep.left_parent), k.left);
    }
    qd_te_geo_chain_release(&a);
    qd_te_geo_chain_release(&b);
}

TeChain LineAdj(GeoCoord p, GeoCoord q, int32_t adjuster) { return Tol(TE_LINE, {p, q}, kT, kT, adjuster); }

}  // namespace

TEST(qd_te_ident, PairTable) {
    static const double tiny = 1e-9;
    const GeoCoord o = Q(0, 0), x10 = Q(10, 0);
    const double r = 5, s45 = 5 * std::sqrt(0.5);
    const Case cases[] = {
        {"lines same", [&] { return Tol(TE_LINE, {o, x10}, kT); }, [&] { return Tol(TE_LINE, {o, x10}, kT); },
         nullptr, 1, 1, {1, 2}, {}},
        {"lines reversed", [&] { return Tol(TE_LINE, {o, x10}, kT); }, [&] { return Tol(TE_LINE, {x10, o}, kT); },
         nullptr, 1, 1, {2}, {1}},
        {"first longer", [&] { return Tol(TE_LINE, {o, Q(10, 1e-4)}, kT); },
         [&] { return Tol(TE_LINE, {o, Q(10 - 5e-4, 0)}, kT); }, nullptr, 1, 0, {1, 2}, {}},
        {"second collapses onto the first's end (which 2)", [&] { return Tol(TE_LINE, {o, x10}, kT); },
         [&] { return Tol(TE_LINE, {x10, Q(10, 5e-4)}, kT); }, nullptr, 1, 0, {1, 2}, {}},
        {"first collapses onto the second's start (which 1)", [&] { return Tol(TE_LINE, {o, Q(5e-4, 0)}, kT); },
         [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 1, 1, {1, 2}, {}},
        {"lines apart", [&] { return Tol(TE_LINE, {o, x10}, kT); }, [&] { return Tol(TE_LINE, {o, Q(10, 1)}, kT); },
         nullptr, 0, -1, {}, {}},
        {"arc flat within tolerance", [&] { return Arc3(o, Q(5, 5e-4), x10); },
         [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 1, 0, {1, 2}, {}},
        {"line then flat arc", [&] { return Tol(TE_LINE, {x10, o}, kT); }, [&] { return Arc3(o, Q(5, 5e-4), x10); },
         nullptr, 1, 1, {2}, {1}},
        {"arc bulging", [&] { return Arc3(o, Q(5, 2), x10); }, [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 0,
         -1, {}, {}},
        {"path with a collinear vertex", [&] { return Tol(TE_PATH, {o, Q(4, 0), x10}, kT); },
         [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 1, 0, {1, 2}, {}},
        {"line then path", [&] { return Tol(TE_LINE, {o, x10}, kT); },
         [&] { return Tol(TE_PATH, {o, Q(4, 0), x10}, kT); }, nullptr, 1, 1, {1, 2}, {}},
        {"path off the line", [&] { return Tol(TE_PATH, {o, Q(4, 0.1), x10}, kT); },
         [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 0, -1, {}, {}},
        {"path against an adjusting line", [&] { return Tol(TE_PATH, {o, Q(4, 0), x10}, kT); },
         [&] { return LineAdj(o, x10, 1); }, nullptr, 0, -1, {}, {}},
        {"curves mirrored, equal length", [&] { return Tol(TE_CURVE, {o, Q(5, 2), x10}, kT); },
         [&] { return Tol(TE_CURVE, {o, Q(5, -2), x10}, kT); }, nullptr, 0, -1, {}, {}},
        {"curves the same", [&] { return Tol(TE_CURVE, {o, Q(5, 2), x10}, kT); },
         [&] { return Tol(TE_CURVE, {o, Q(5, 2), x10}, kT); }, nullptr, 1, 1, {1, 2}, {}},
        {"curve on a line", [&] { return Tol(TE_CURVE, {o, Q(5, 0), x10}, kT); },
         [&] { return Tol(TE_LINE, {o, x10}, kT); }, nullptr, 1, 0, {1, 2}, {}},
        {"circles 0.5t apart in radius", [&] { return Circle(0, 0, r, kT); },
         [&] { return Circle(0, 0, r + kT / 2, kT); }, nullptr, 1, 1, {1, 2}, {}},
        {"circles, larger first", [&] { return Circle(0, 0, r + kT / 2, kT); }, [&] { return Circle(0, 0, r, kT); },
         nullptr, 1, 0, {1, 2}, {}},
        {"circles 2t apart", [&] { return Circle(0, 0, r, kT); }, [&] { return Circle(0, 0, r + 2 * kT, kT); },
         nullptr, 0, -1, {}, {}},
        {"arcs equal", [&] { return Arc3(Q(5, 0), Q(0, 5), Q(-5, 0)); },
         [&] { return Arc3(Q(5, 0), Q(0, 5), Q(-5, 0)); }, nullptr, 1, 0, {1, 2}, {}},
        {"sub-arc second", [&] { return Arc3(Q(5, 0), Q(0, 5), Q(-5, 0)); },
         [&] { return Arc3(Q(s45, s45), Q(0, 5), Q(-s45, s45)); }, nullptr, 1, 0, {1, 2}, {}},
        {"sub-arc first", [&] { return Arc3(Q(s45, s45), Q(0, 5), Q(-s45, s45)); },
         [&] { return Arc3(Q(5, 0), Q(0, 5), Q(-5, 0)); }, nullptr, 1, 1, {1, 2}, {}},
        {"arcs disjoint", [&] { return Arc3(Q(5, 0), Q(0, 5), Q(-5, 0)); },
         [&] { return Arc3(Q(5, 0), Q(0, -5), Q(-5, 0)); }, nullptr, 0, -1, {}, {}},
        {"given tolerance overrides the vertices'", [&] { return Tol(TE_LINE, {o, x10}, 0); },
         [&] { return Tol(TE_LINE, {Q(0, 1e-6), x10}, 0); }, &tiny, 0, -1, {}, {}},
        {"adjuster: none", [&] { return LineAdj(o, x10, 0); }, [&] { return LineAdj(o, x10, 0); }, nullptr, 1, 1,
         {1, 2}, {}},
        {"adjuster: first", [&] { return LineAdj(o, x10, 1); }, [&] { return LineAdj(o, x10, 0); }, nullptr, 1, 0,
         {1, 2}, {}},
        {"adjuster: second", [&] { return LineAdj(x10, o, 0); }, [&] { return LineAdj(o, x10, 1); }, nullptr, 1, 1,
         {2}, {1}},
        {"adjuster: both", [&] { return LineAdj(o, x10, 1); }, [&] { return LineAdj(o, x10, 1); }, nullptr, 1, 1,
         {1, 2}, {}},
    };
    for (const Case& k : cases) RunCase(k);
}

TEST(qd_te_ident, VectorsWhich) {
    const TeVertex a0 = {0, 0, 0, kT}, a1 = {10, 0, 0, kT}, b0 = {10, 0, 0, kT}, b1 = {10, 5e-4, 0, kT};
    int32_t identical = 0, which = 0;
    ASSERT_EQ(qd_te_identical_vectors(nullptr, &a0, &b0, &identical, &a1, &b1, 0, &which), 1);
    EXPECT_EQ(identical, 1);
    EXPECT_EQ(which, 2);
    ASSERT_EQ(qd_te_identical_vectors(nullptr, &b0, &a0, &identical, &b1, &a1, 0, &which), 1);
    EXPECT_EQ(which, 1);
    ASSERT_EQ(qd_te_identical_vectors(nullptr, &a0, &a1, &identical, &a1, &a0, 0, &which), 1);
    EXPECT_EQ(which, -1);
    // A collapse within the larger end tolerance only when either may be kept.
    const TeVertex c0 = {10, 0, 0, 1e-4}, c1 = {10, 5e-4, 0, kT};
    ASSERT_EQ(qd_te_identical_vectors(nullptr, &a0, &c0, &identical, &a1, &c1, 0, &which), 1);
    EXPECT_EQ(identical, 0);
    ASSERT_EQ(qd_te_identical_vectors(nullptr, &a0, &c0, &identical, &a1, &c1, 1, &which), 1);
    EXPECT_EQ(identical, 1);
}

TEST(qd_te_ident, ArcCutsCircleToItsComplement) {
    struct Arc {
        double start, middle, end;
    } arcs[] = {{0, 45, 90}, {0, 10, 270}, {200, 300, 20}};
    for (const Arc& k : arcs) {
        SCOPED_TRACE(k.middle);
        TeChain arc = Arc3(Polar(1, 2, 5, k.start), Polar(1, 2, 5, k.middle), Polar(1, 2, 5, k.end));
        TeChain circle = Circle(1, 2, 5, kT);
        arc.chain_id = 1;
        circle.chain_id = 2;
        AddParent(arc, 0, 1);
        AddParent(circle, 0, 2);
        AddParent(circle, 1, 3);
        const double arc_sweep = Sweep(&arc);
        int32_t identical = 0;
        ASSERT_EQ(qd_te_duplicates_prim(&circle, &arc, nullptr, &identical), 1);
        EXPECT_EQ(identical, 1);
        EXPECT_EQ(arc.discard, CHAIN_OK);
        EXPECT_EQ(circle.discard, CHAIN_OK);
        ASSERT_EQ(circle.chain_type, TE_ARC);
        EXPECT_NEAR(arc_sweep + Sweep(&circle), 360, 1e-9);
        const auto p = Points(&circle), q = Points(&arc);
        EXPECT_NEAR(p[0].x, q[0].x, 1e-12);
        EXPECT_NEAR(p[2].y, q[2].y, 1e-12);
        // The rest of the circle: its middle lies off the arc.
        TeArc a;
        ASSERT_EQ(qd_te_cogo_arc_from_points(&q[0], &q[1], &q[2], &a, nullptr), -1);
        EXPECT_EQ(qd_te_cogo_point_on_arc(&a, &p[1], nullptr), 0);
        EXPECT_NEAR(circle.radius, 5, 1e-9);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<const TeVertex*>(circle.coords->data)[i].tol, kT);
        EXPECT_EQ(ParentIds(arc.right_parent), (std::vector<int32_t>{1, 2}));
        EXPECT_EQ(ParentIds(arc.left_parent), (std::vector<int32_t>{3}));
        qd_te_geo_chain_release(&arc);
        qd_te_geo_chain_release(&circle);
    }
}

TEST(qd_te_ident, WrongTypesAndNulls) {
    TeChain line = Tol(TE_LINE, {Q(0, 0), Q(1, 0)}, kT), path = Tol(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 0)}, kT);
    TeChain node = Tol(TE_NODE, {Q(0, 0)}, kT);
    int32_t identical = 0;
    using Test = int (*)(TeChain*, TeChain*, const double*, int32_t*);
    const std::pair<Test, const char*> tests[] = {
        {qd_te_identical_lines, "qd_te_identical_lines"},
        {qd_te_identical_arc_line, "qd_te_identical_arc_line"},
        {qd_te_identical_curve_line, "qd_te_identical_curve_line"},
        {qd_te_identical_paths, "qd_te_identical_paths"},
        {qd_te_identical_curves, "qd_te_identical_curves"},
        {qd_te_identical_circles, "qd_te_identical_circles"},
        {qd_te_identical_arcs, "qd_te_identical_arcs"},
        {qd_te_identical_arc_circle, "qd_te_identical_arc_circle"},
    };
    for (const auto& [test, name] : tests) {
        FailLog log;
        EXPECT_EQ(test(&node, &node, nullptr, &identical), 0) << name;
        EXPECT_EQ(test(nullptr, &line, nullptr, &identical), 0) << name;
        EXPECT_TRUE(log.Saw(std::string("UKT1M ") + name)) << name;
    }
    FailLog log;
    EXPECT_EQ(qd_te_identical_path_line(&line, &path, nullptr, &identical), 0);
    EXPECT_EQ(qd_te_identical_arc_merger(nullptr, &line, &identical, &line), 0);
    EXPECT_EQ(qd_te_identical_vectors(nullptr, nullptr, nullptr, &identical, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_identical_path_line"));
    EXPECT_TRUE(log.Saw("UKT1M qd_te_identical_arc_merger"));
    EXPECT_TRUE(log.Saw("UKT1M qd_te_identical_vectors"));
    EXPECT_EQ(line.discard, CHAIN_OK);
    EXPECT_EQ(path.discard, CHAIN_OK);
    qd_te_geo_chain_release(&line);
    qd_te_geo_chain_release(&path);
    qd_te_geo_chain_release(&node);
}
