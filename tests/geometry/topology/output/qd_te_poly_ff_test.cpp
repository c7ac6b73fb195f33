// Surface output on hand-built faces: the output checks (slivers, unclosed
// islands by secondary code, linear output), polygons with holes, the
// builds by operation with their grouping, the parents of a polygon by
// collection type, island holes under symmetric difference, the
// DIFFERENCE topology rule, contiguous groups, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/output/te_poly_util.h"
#include "geometry/topology/qd_te_ba.h"

using tepoly::Graph;
using tepoly::Q;
using tepoly::Recorder;

namespace {

// A clockwise square ring of side s at (x, y).
int32_t Square(Graph& g, double x, double y, double s, int32_t parent) {
    return g.Ring({Q(x, y), Q(x, y + s), Q(x + s, y + s), Q(x + s, y), Q(x, y)}, parent, s * s);
}

std::string SquareText(double x, double y, double s) {
    auto n = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, "%.17g", v);
        return std::string(b);
    };
    const std::string a = n(x), b = n(y), c = n(x + s), d = n(y + s);
    return "(" + a + " " + b + ", " + a + " " + d + ", " + c + " " + d + ", " + c + " " + b + ", " + a + " " + b + ")";
}

std::string Poly(const std::string& ring) { return "POLYGON (" + ring + ")"; }
std::string Multi(std::initializer_list<std::string> rings) {
    std::string t = "MULTIPOLYGON (";
    for (const std::string& r : rings) t += (t.back() == '(' ? "(" : ", (") + r + ")";
    return t + ")";
}

std::vector<std::string> Texts(const Recorder& rec) {
    std::vector<std::string> t;
    for (const auto& d : rec.out) t.push_back(d.text);
    return t;
}

}  // namespace

TEST(qd_te_poly_ff_builds, SingleAllPreserveUnclosed) {
    const std::string a = SquareText(0, 0, 1), b = SquareText(5, 0, 2), c = SquareText(10, 0, 3);
    const struct {
        int32_t mode;
        std::vector<std::string> texts;
        std::vector<std::vector<int32_t>> parents;
    } cases[] = {
        {TE_SINGLE, {Poly(a), Poly(b), Poly(c)}, {{7}, {7}, {8}}},
        {TE_ALL, {Multi({a, b, c})}, {{7, 8}}},
        // Most frequent parent 7 for two of them: one geometry, then 8.
        {TE_PRESERVE, {Multi({a, b}), Poly(c)}, {{7}, {8}}},
        {TE_ALL_PRESERVE, {Multi({a, b, c})}, {{7, 8}}},
        {TE_UNCLOSED, {}, {}},
    };
    for (const auto& k : cases) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(k.mode);
        Square(g, 0, 0, 1, 7);
        Square(g, 5, 0, 2, 7);
        Square(g, 10, 0, 3, 8);
        ASSERT_EQ(qd_te_build_single(g.chains.list, g.polygons, &r), 1) << k.mode;
        EXPECT_EQ(Texts(rec), k.texts) << k.mode;
        std::vector<std::vector<int32_t>> parents;
        for (const auto& d : rec.out) parents.push_back(d.parents);
        EXPECT_EQ(parents, k.parents) << k.mode;
        EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_OBJECTS], int32_t(k.texts.size())) << k.mode;
        EXPECT_TRUE(rec.errors.empty());
    }
}

TEST(qd_te_poly_ff_builds, SliverHolesAndUnclosedIslands) {
    // A polygon below min_area is dropped and counted nowhere.
    {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        r.tolerance.min_area = 0.5;
        Square(g, 0, 0, 0.5, 1);
        Square(g, 5, 0, 1, 2);
        ASSERT_EQ(qd_te_build_single(g.chains.list, g.polygons, &r), 1);
        EXPECT_EQ(Texts(rec), (std::vector<std::string>{Poly(SquareText(5, 0, 1))}));
        EXPECT_EQ(r.statistics.output_counters.count[TE_OUT_CLOSED], 1);
    }
    // Two closed holes: one polygon with two interiors, in island-list order.
    {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        const int32_t outer = Square(g, 0, 0, 10, 1);
        for (double x : {2.0, 6.0}) {
            const int32_t c = g.Chain(TE_PATH, {Q(x, 2), Q(x, 4), Q(x + 2, 4), Q(x + 2, 2), Q(x, 2)});
            g.Face({-c}, 4);                          // the hole's own face
            g.Island(outer, g.Face({c}, -4));         // its outside, inside the outer polygon
            g.Parent(c, 1, 1);
        }
        ASSERT_EQ(qd_te_build_single(g.chains.list, g.polygons, &r), 1);
        ASSERT_EQ(rec.out.size(), 3u);  // the outer polygon and the two hole faces
        EXPECT_EQ(rec.out[0].text,
                  Poly(SquareText(0, 0, 10) + ", (6 2, 8 2, 8 4, 6 4, 6 2), (2 2, 4 2, 4 4, 2 4, 2 2)"));
    }
    // An unclosed island (a lone line inside): SINGLE delivers the polygon
    // as curves; DROP_DANGLES a polygon without that hole; DISCARD nothing;
    // a code without a rule is -13.
    const struct {
        int32_t secondary;
        int answer;
        std::vector<std::string> texts;
        std::vector<int32_t> errors;
        int32_t flag;
    } cases[] = {
        {TE_LINEAR, 1, {"MULTILINESTRING ((0 0, 0 10, 10 10, 10 0, 0 0), (5 5, 2 2))"}, {}, 1},
        {TE_EXCURSION, 1, {Poly(SquareText(0, 0, 10))}, {}, 0},
        {TE_DISCARD, 1, {}, {}, 0},
        {TE_INTERSECT, 0, {}, {-13}, 0},
    };
    for (const auto& k : cases) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        r.secondary = k.secondary;
        const int32_t outer = Square(g, 0, 0, 10, 1);
        const int32_t d = g.Chain(TE_LINE, {Q(2, 2), Q(5, 5)});
        g.Island(outer, g.Face({d, -d}, 0, 0));
        EXPECT_EQ(qd_te_build_single(g.chains.list, g.polygons, &r), k.answer) << k.secondary;
        EXPECT_EQ(Texts(rec), k.texts) << k.secondary;
        EXPECT_EQ(rec.errors, k.errors) << k.secondary;
        if (!rec.out.empty()) {
            EXPECT_EQ(rec.out[0].flag, k.flag) << k.secondary;
        }
    }
}

TEST(qd_te_poly_ff_builds, LinearOutputGivesCurvesAndSingle) {
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_ALL, TE_DIM_LINEAR);
    r.secondary = TE_NONE;
    Square(g, 0, 0, 1, 1);
    Square(g, 5, 0, 1, 2);
    ASSERT_EQ(qd_te_build_single(g.chains.list, g.polygons, &r), 1);
    ASSERT_EQ(rec.out.size(), 1u);
    EXPECT_EQ(rec.out[0].text, "MULTILINESTRING (" + SquareText(0, 0, 1) + ", " + SquareText(5, 0, 1) + ")");
    EXPECT_EQ(rec.out[0].flag, 1);
    EXPECT_EQ(r.secondary, TE_LINEAR);
}

TEST(qd_te_poly_ff_builds, OverlayCountsCoveringInputs) {
    // Polygon a covered by inputs 1 and 2, b by 1 only, c by 1, 2 and 3.
    const struct {
        int32_t mode, inputs;
        std::vector<std::string> texts;
    } cases[] = {
        {TE_INTERSECT, 2, {Poly(SquareText(0, 0, 1))}},
        {TE_INTERSECT, 3, {Poly(SquareText(10, 0, 1))}},
        {TE_SYMMETRIC_DIFFERENCE, 3, {Multi({SquareText(5, 0, 1), SquareText(10, 0, 1)})}},
    };
    for (const auto& k : cases) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(k.mode);
        r.statistics.tallies[3] = k.inputs;
        const int32_t a = Square(g, 0, 0, 1, 1), b = Square(g, 5, 0, 1, 1), c = Square(g, 10, 0, 1, 1);
        g.Parent(g.P(a)->start_chain, 0, 2);
        g.Parent(g.P(c)->start_chain, 0, 2);
        g.Parent(g.P(c)->start_chain, 0, 3);
        (void)b;
        ASSERT_EQ(qd_te_build_overlay(g.chains.list, g.polygons, &r), 1) << k.mode;
        EXPECT_EQ(Texts(rec), k.texts) << k.mode << " " << k.inputs;
    }
}

TEST(qd_te_poly_ff_builds, GroupingByKeyAndCutterLists) {
    auto list = [](std::vector<int32_t> v) {
        nlst* l = nlst_alloc(sizeof(int32_t), 4, 4, nullptr);
        for (int32_t x : v) nlst_add(l, &x);
        return l;
    };
    nlst* r1 = list({1}), *r2 = list({2}), *r12 = list({1, 2}), *r1b = list({1});
    const struct {
        nlst *a, *b;
        int want;
    } same[] = {{nullptr, nullptr, 1}, {r1, nullptr, 0}, {nullptr, r1, 0}, {r1, r12, 0}, {r1, r2, 0}, {r1, r1b, 1}};
    for (const auto& k : same) EXPECT_EQ(qd_te_poly_same_cutter_lists(k.a, k.b), k.want);
    // Same key: same cutter lists share a group, others do not; a second
    // key starts its own groups; polygons order items within a group.
    nlst* items = nlst_alloc(sizeof(TeOutputItem), 8, 8, nullptr);
    const TeOutputItem in[] = {{1, 5, 9, -1, r2}, {1, 5, 4, -1, r1}, {1, 5, 3, -1, r1b}, {1, 4, 8, -1, nullptr},
                               {1, 5, 7, -1, nullptr}};
    for (const auto& it : in) nlst_add(items, &it);
    ASSERT_EQ(qd_te_group_output_items(items), 1);
    std::vector<std::pair<int32_t, int32_t>> got;  // (polygon, group)
    for (uint32_t i = 0; i < items->tally; ++i) {
        const auto* it = static_cast<const TeOutputItem*>(nlst_index(items, i));
        got.push_back({it->polygon, it->group});
    }
    EXPECT_EQ(got, (std::vector<std::pair<int32_t, int32_t>>{{8, 0}, {7, 1}, {3, 2}, {4, 2}, {9, 3}}));
    for (nlst* l : {r1, r2, r12, r1b, items}) nlst_free(l);
}

TEST(qd_te_poly_ff_builds, BreakOnePerPolygonUnderSplitThree) {
    for (int32_t split : {0, 3}) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_BREAK);
        r.output_split = split;
        for (double x : {0.0, 5.0}) {
            const int32_t p = Square(g, x, 0, 1, 1);
            g.P(p)->round_cut = nlst_alloc(sizeof(int32_t), 1, 1, nullptr);
            const int32_t region = 4;
            nlst_add(g.P(p)->round_cut, &region);
        }
        ASSERT_EQ(qd_te_build_break(g.chains.list, g.polygons, &r), 1);
        EXPECT_EQ(rec.out.size(), split == 3 ? 2u : 1u) << split;
    }
}

TEST(qd_te_poly_ff_parents, CollectionTypes) {
    // Square of two chains: d a dangle met first, then the regular ring c.
    Graph g;
    const int32_t c = g.Chain(TE_PATH, {Q(0, 0), Q(0, 1), Q(1, 1), Q(1, 0), Q(0, 0)});
    const int32_t d = g.Chain(TE_LINE, {Q(0, 0), Q(0.5, 0.5)});
    const int32_t face = g.Face({-d, d, -c}, 1);
    g.Face({c}, -1);
    g.Parent(d, 0, 5);
    g.Parent(d, 1, 6);
    g.Parent(c, 0, 1);
    g.Parent(c, 1, 2);
    const struct {
        int32_t type;
        std::vector<int32_t> want;
    } cases[] = {
        {4, {1}},           // the dangle gives way to the regular chain
        {3, {1, 2, 5, 6}},  // every chain, both sides
        {2, {1, 5}},        // the polygon's side (right: it is poly_right) of every chain
    };
    for (const auto& k : cases) {
        nlst* parents = nullptr;
        ASSERT_EQ(qd_te_build_collect_parents(g.P(face), g.polygons, g.chains.list, &parents, k.type), 1);
        std::vector<int32_t> got;
        for (uint32_t i = 0; parents && i < parents->tally; ++i)
            got.push_back(static_cast<const TeParent*>(nlst_index(parents, i))->id_b);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, k.want) << k.type;
        if (parents) nlst_free(parents);
    }
    // Only dangles (a path of two lines): all of them with type 4.
    Graph h;
    const int32_t e1 = h.Chain(TE_LINE, {Q(0, 0), Q(1, 1)});
    const int32_t e2 = h.Chain(TE_LINE, {Q(1, 1), Q(2, 0)});
    const int32_t lone = h.Face({e1, -e1, -e2, e2}, 0, 0);
    h.Parent(e1, 0, 3);
    h.Parent(e2, 0, 4);
    nlst* parents = nullptr;
    ASSERT_EQ(qd_te_build_collect_parents(h.P(lone), h.polygons, h.chains.list, &parents, 4), 1);
    ASSERT_NE(parents, nullptr);
    EXPECT_EQ(parents->tally, 2u);
    nlst_free(parents);
}

TEST(qd_te_poly_ff_parents, SymmetricDifferenceDropsAnIslandAndItsFace) {
    // An outer square of input 1 with an inner square of input 1 as well:
    // the inner ring separates two areas of the same single parent.
    for (bool two_parents : {false, true}) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_SYMMETRIC_DIFFERENCE);
        r.statistics.tallies[3] = 2;
        const int32_t outer = Square(g, 0, 0, 10, 1);
        const int32_t c = g.Chain(TE_PATH, {Q(2, 2), Q(2, 4), Q(4, 4), Q(4, 2), Q(2, 2)});
        const int32_t inner = g.Face({-c}, 4);
        const int32_t hole = g.Face({c}, -4);
        g.Island(outer, hole);
        g.Parent(c, 0, 1);
        g.Parent(c, 1, 1);
        if (two_parents) {
            g.Parent(c, 0, 2);
            g.Parent(c, 1, 2);
        }
        ASSERT_EQ(qd_te_surface_filter_islands(g.polygons, g.chains.list, &r), 1);
        EXPECT_EQ(g.P(inner)->discard, two_parents ? 0 : 1) << two_parents;
        EXPECT_EQ(g.P(hole)->discard, two_parents ? 0 : 1) << two_parents;
    }
}

TEST(qd_te_poly_ff_parents, DifferenceTopology) {
    const struct {
        int32_t lookup_min, cutter, pid;
        int32_t discard, status;
    } cases[] = {
        {0, 0, 1, 1, 1},    // from an operand: dropped
        {-1, 1, 0, 0, 1},   // inside a cutter: kept as it is
        {-1, 0, 0, 0, 0},   // a chain of no input and no lookup: unclosed
        {-1, 0, 3, 0, 1},   // chains of an input: closed
    };
    for (const auto& k : cases) {
        Graph g;
        Recorder rec;
        TeRules r = rec.Rules(TE_DIFFERENCE);
        const int32_t p = Square(g, 0, 0, 1, 1);
        g.P(p)->lookup_min = k.lookup_min;
        g.P(p)->cutter = k.cutter;
        g.C(g.P(p)->start_chain)->chain_pid = k.pid;
        ASSERT_EQ(qd_te_surface_check_cutter_topology(g.P(p), g.chains.list, &r), 1);
        EXPECT_EQ(g.P(p)->discard, k.discard) << k.lookup_min << k.cutter << k.pid;
        EXPECT_EQ(g.P(p)->status, k.status) << k.lookup_min << k.cutter << k.pid;
    }
}

TEST(qd_te_poly_ff_builds, ContiguousGroups) {
    // Squares A and B sharing the edge x = 1: chain e the shared edge, a
    // and b the rest of each; C apart.
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_CONTIGUOUS);
    const int32_t e = g.Chain(TE_LINE, {Q(1, 0), Q(1, 1)});
    const int32_t a = g.Chain(TE_PATH, {Q(1, 1), Q(0, 1), Q(0, 0), Q(1, 0)});
    const int32_t b = g.Chain(TE_PATH, {Q(1, 0), Q(2, 0), Q(2, 1), Q(1, 1)});
    const int32_t fa = g.Face({a, e}, 1);
    const int32_t fb = g.Face({-e, b}, 1);
    g.Island(1, g.Face({-a, -b}, -2));
    g.Parent(a, 1, 1);
    g.Parent(e, 1, 1);
    g.Parent(e, 0, 2);
    g.Parent(b, 1, 2);
    Square(g, 5, 0, 1, 3);
    ASSERT_EQ(qd_te_build_contiguous(g.polygons, g.chains.list, &r), 1);
    ASSERT_EQ(rec.out.size(), 2u);
    EXPECT_EQ(rec.out[0].types, (std::vector<int32_t>{KTGEO_POLYGON, KTGEO_POLYGON}));
    EXPECT_EQ(rec.out[0].parents.size(), 2u);
    EXPECT_EQ(rec.out[1].text, Poly(SquareText(5, 0, 1)));
    // The shared edge is walked from both groups' polygons, the rest once.
    TeBitArray visits{};
    ASSERT_EQ(qd_te_ba_alloc(&visits, 2 * g.chains.list->tally), 1);
    for (int32_t f : {fa, fb}) ASSERT_EQ(qd_te_expand_chains(&visits, g.P(f), g.chains.list, &r), 1);
    const uint32_t n = g.chains.list->tally;
    EXPECT_TRUE(qd_te_ba_test(&visits, uint32_t(e)) && qd_te_ba_test(&visits, uint32_t(e) + n));
    EXPECT_TRUE(qd_te_ba_test(&visits, uint32_t(a)) && !qd_te_ba_test(&visits, uint32_t(a) + n));
    qd_te_ba_free(&visits);
}

TEST(qd_te_poly_ff_builds, Refusals) {
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_DISTANCE);
    // A mode without a build reaching surface output.
    EXPECT_EQ(qd_te_poly_ff(g.chains.list, &r, 1), 0);
    EXPECT_EQ(rec.errors, (std::vector<int32_t>{-12}));
    EXPECT_EQ(qd_te_poly_ff(g.chains.list, nullptr, 1), 0);
    EXPECT_EQ(qd_te_build_single(nullptr, g.polygons, &r), 0);
    EXPECT_EQ(qd_te_output_surfaces(&r, nullptr, nullptr, g.polygons, g.chains.list, nullptr), 0);
    EXPECT_EQ(qd_te_build_collect_parents(nullptr, g.polygons, g.chains.list, nullptr, 4), 0);
    rec.errors.clear();
    EXPECT_EQ(qd_te_build_cutter(g.chains.list, g.polygons, &r), 1);  // no polygon to build
    Square(g, 0, 0, 1, 1);
    g.P(3)->target = 1;
    EXPECT_EQ(qd_te_build_cutter(g.chains.list, g.polygons, &r), 0);
    EXPECT_EQ(rec.errors, (std::vector<int32_t>{-12}));
}

TEST(qd_te_poly_ff_builds, SpikeSurfaceRebuiltOrKept) {
    auto curve = [](std::initializer_list<GeoCoord> pts) {
        GeoCurve c;
        ktgeo_curve_init(&c);
        c.curve_type = KTGEO_POLYLINE;
        std::vector<GeoCoord> v(pts);
        c.coords = ktgeo_coord_list_from_array(v.data(), uint32_t(v.size()));
        return c;
    };
    for (bool spiked : {false, true}) {
        // The square's ring, and for the spiked one a spike (2,4)-(2,6)
        // among its curves, which leaves the ring unlinked: invalid.
        GeoPolygon polygon;
        ktgeo_polygon_init(&polygon);
        GeoCurve ring = curve({Q(0, 0), Q(0, 4), Q(2, 4), Q(4, 4), Q(4, 0), Q(0, 0)});
        polygon.exterior.curves = ktgeo_curve_list_new(&ring);
        if (spiked) {
            GeoCurve spike = curve({Q(2, 4), Q(2, 6)});
            ktgeo_curve_list_add(polygon.exterior.curves, &spike);
        }
        Recorder rec;
        TeRules r = rec.Rules(TE_SINGLE);
        r.secondary = TE_INCURSION;
        SpatialObject out;
        qd_te_so_reset(&out, 0);
        geotest::StdoutCapture quiet;
        ASSERT_EQ(qd_te_output_validate_spike_surface(&polygon, &out, &r), 1) << spiked;
        EXPECT_EQ(topo_wkt_write(&out), "POLYGON ((0 0, 0 4, 2 4, 4 4, 4 0, 0 0))") << spiked;
        ktgeo_so_release(&out);
        ktgeo_polygon_release(&polygon);
    }
}

TEST(qd_te_poly_ff_builds, MissingArgumentsAndMemory) {
    geotest::FailRecorder fails;
    Graph g;
    Recorder rec;
    TeRules r = rec.Rules(TE_SINGLE);
    const int32_t p = Square(g, 0, 0, 1, 1);
    nlst* curves = nullptr;
    SpatialObject o;
    qd_te_so_reset(&o, 0);
    const struct {
        const char* function;
        std::function<int()> call;
    } cases[] = {
        {"qd_te_poly_ff", [&] { return qd_te_poly_ff(g.chains.list, nullptr, 0); }},
        {"qd_te_output_surfaces", [&] { return qd_te_output_surfaces(&r, nullptr, &o, g.polygons, g.chains.list, &curves); }},
        {"qd_te_output_form_poly", [&] { return qd_te_output_form_poly(g.P(p), &r, nullptr, g.polygons, g.chains.list); }},
        {"qd_te_output_walk_curves", [&] { return qd_te_output_walk_curves(g.P(p), nullptr, g.chains.list, &r, 1); }},
        {"qd_te_build_collect_parents", [&] { return qd_te_build_collect_parents(g.P(p), g.polygons, nullptr, &curves, 4); }},
        {"qd_te_surf_build_preserve", [&] {
             TeOutputItem item{1, 1, p, -1, nullptr};
             nlst* items = nlst_alloc(sizeof item, 1, 1, nullptr);
             nlst_add(items, &item);
             const int answer = qd_te_surf_build_preserve(g.polygons, nullptr, &r, items);
             nlst_free(items);
             return answer;
         }},
        {"qd_te_build_contiguous", [&] { return qd_te_build_contiguous(nullptr, g.chains.list, &r); }},
        {"qd_te_output_polygon_as_linear", [&] { return qd_te_output_polygon_as_linear(nullptr, &o); }},
    };
    for (const auto& k : cases) {
        fails.Clear();
        EXPECT_EQ(k.call(), 0) << k.function;
        ASSERT_FALSE(fails.reports().empty()) << k.function;
        EXPECT_EQ(fails.Last().code, "UKT1M") << k.function;
        EXPECT_EQ(fails.Last().Get("function"), k.function);
    }
    // Memory running out for the walk's bit set: "UKT1N", no curve left.
    fails.Clear();
    qd_alloc_fail_nth(1);
    EXPECT_EQ(qd_te_output_walk_curves(g.P(p), &curves, g.chains.list, &r, 1), 0);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(fails.Last().code, "UKT1N");
    EXPECT_EQ(curves, nullptr);
    ktgeo_so_release(&o);
}
