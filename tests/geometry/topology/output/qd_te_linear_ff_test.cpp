// Linear output: the builds by mode over small linked chain lists, chains
// into curves, paths traced end to end (orientation, merging, closed
// loops, circles), the linking of ends within 1e-10, reconnection and its
// end-point grid against the plain scan, bad arguments and modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

using namespace tetest;

namespace {

using Pts = std::vector<GeoCoord>;

std::string Text(const GeoCoord& p) {
    char b[64];
    std::snprintf(b, sizeof b, "%g %g", p.x, p.y);
    return b;
}

std::string CurveText(const GeoCurve& c) {
    std::string t;
    for (uint32_t i = 0; c.coords && i < c.coords->tally; ++i)
        t += (i ? ", " : "") + Text(static_cast<const GeoCoord*>(c.coords->data)[i]);
    return t;
}

// Every delivered object as its primitives: "(x y, x y)" per curve,
// "P(x y)" per point, joined by spaces; and its parent ids.
struct Out {
    std::vector<std::string> objects;
    std::vector<std::vector<int32_t>> parents;
    static int32_t On(SpatialObject* so, nlst* parents, void* self) {
        auto* o = static_cast<Out*>(self);
        std::string text;
        for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i) {
            const auto* p = static_cast<const GeometricPrimitive*>(so->primitives->data) + i;
            if (!text.empty()) text += " ";
            if (p->type == KTGEO_POINT) text += "P(" + Text(p->geom.point.coord) + ")";
            else text += "(" + CurveText(p->geom.curve) + ")";
        }
        o->objects.push_back(text);
        std::vector<int32_t> ids = ParentIds(parents);
        std::sort(ids.begin(), ids.end());
        o->parents.push_back(ids);
        return 1;
    }
};

TeRules Rules(int32_t mode, Out* out, int32_t inputs = 2) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = mode;
    r.output_method = {&Out::On, out};
    r.statistics.tallies[3] = inputs;
    r.reconnect = 0;
    return r;
}

TeChain Line(const Pts& pts, std::initializer_list<int32_t> ids = {}) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_LINE;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 0, 0);
    for (int32_t id : ids) {
        AddParent(c, 0, id);
        AddParent(c, 1, id);
    }
    return c;
}

// A chain list after node topology: ids are rows, walk links set.
struct Linked : Chains {
    int32_t Add(TeChain c) {
        const int32_t row = Chains::Add(c);
        At(row)->chain_id = row;
        return row;
    }
    void Link() {
        TeRules r;
        qd_te_rules_init(&r);
        ASSERT_EQ(qd_te_leaving_chain_set_ql_lr(&r, 1e-10, list), 1);
    }
};

// The Part's plain reconnection scan, written from its text: for each
// curve A, the first later curve B that meets it; A after B, B after A,
// then the same with A reversed; after a join the scan starts again at
// A's place. Works on point lists.
bool Same(const GeoCoord& a, const GeoCoord& b) { return qd_te_same_fuzzy_point(&a, &b, 1e-10) == 1; }
std::vector<Pts> PlainReconnect(std::vector<Pts> c, bool no_reverse) {
    for (size_t i = 0; i < c.size();) {
        bool joined = false;
        for (size_t j = i + 1; j < c.size() && !joined; ++j) {
            for (int attempt = 0; attempt < (no_reverse ? 2 : 4) && !joined; ++attempt) {
                if (attempt == 2) std::reverse(c[i].begin(), c[i].end());
                Pts& a = c[i];
                Pts& b = c[j];
                if (attempt % 2 == 0 && Same(b.back(), a.front())) {
                    b.insert(b.end(), a.begin() + 1, a.end());
                    c.erase(c.begin() + long(i));
                    joined = true;
                } else if (attempt % 2 == 1 && Same(a.back(), b.front())) {
                    a.insert(a.end(), b.begin() + 1, b.end());
                    c.erase(c.begin() + long(j));
                    joined = true;
                }
            }
            if (!joined && !no_reverse) std::reverse(c[i].begin(), c[i].end());
        }
        if (!joined) ++i;
    }
    return c;
}

void AddPolyline(SpatialObject* o, const Pts& p) {
    ASSERT_EQ(ktgeo_util_add_new_curve(o, KTGEO_POLYLINE, p.data(), uint32_t(p.size()), 0, 0, 0), 1);
}

std::vector<Pts> Curves(const SpatialObject* o) {
    std::vector<Pts> out;
    for (uint32_t i = 0; o->primitives && i < o->primitives->tally; ++i) {
        const auto* p = static_cast<const GeometricPrimitive*>(o->primitives->data) + i;
        const auto* c = static_cast<const GeoCoord*>(p->geom.curve.coords->data);
        out.emplace_back(c, c + p->geom.curve.coords->tally);
    }
    return out;
}

bool Equal(const std::vector<Pts>& a, const std::vector<Pts>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size()) return false;
        for (size_t k = 0; k < a[i].size(); ++k)
            if (a[i][k].x != b[i][k].x || a[i][k].y != b[i][k].y) return false;
    }
    return true;
}

}  // namespace

TEST(qd_te_linear_ff, ChainWiseBuildsByMode) {
    // Lines 1: (0 0)-(1 0), 2: (1 0)-(2 0) of feature 1; 3: (5 5)-(6 6) of 2.
    struct Case {
        int32_t mode;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {TE_SINGLE, {"(0 0, 1 0)", "(1 0, 2 0)", "(5 5, 6 6)"}},
        {TE_ALL, {"(0 0, 1 0) (1 0, 2 0) (5 5, 6 6)"}},
        // By the most frequent parent, traced into one path per key.
        {TE_PRESERVE, {"(0 0, 1 0, 2 0)", "(5 5, 6 6)"}},
        // Everything into one geometry, joined where the ends meet.
        {TE_DISSOLVE, {"(0 0, 1 0, 2 0) (5 5, 6 6)"}},
        {TE_CONTIGUOUS, {"(0 0, 1 0) (1 0, 2 0)", "(5 5, 6 6)"}},
        {TE_BRANCH, {"(0 0, 1 0) (1 0, 2 0)", "(5 5, 6 6)"}},
    };
    for (const Case& k : cases) {
        Linked chains;
        chains.Add(Line({Q(0, 0), Q(1, 0)}, {1}));
        chains.Add(Line({Q(1, 0), Q(2, 0)}, {1}));
        chains.Add(Line({Q(5, 5), Q(6, 6)}, {2}));
        chains.Link();
        Out out;
        TeRules r = Rules(k.mode, &out);
        ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1) << k.mode;
        std::vector<std::string> got = out.objects;
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, k.want) << k.mode;
        EXPECT_EQ(r.statistics.output_counters.count[0], int32_t(k.want.size())) << k.mode;
    }
}

TEST(qd_te_linear_ff, ContiguousGroupsAndBranches) {
    struct Case {
        int32_t mode;
        std::vector<Pts> lines;
        size_t objects;
    };
    const Case cases[] = {
        // End to start (links at the start of the second only): one group.
        {TE_CONTIGUOUS, {{Q(0, 0), Q(1, 0)}, {Q(1, 0), Q(2, 1)}}, 1},
        // Start to start and end to end.
        {TE_CONTIGUOUS, {{Q(1, 0), Q(0, 0)}, {Q(1, 0), Q(2, 1)}, {Q(3, 3), Q(2, 1)}}, 1},
        {TE_CONTIGUOUS, {{Q(0, 0), Q(1, 0)}, {Q(3, 0), Q(4, 1)}}, 2},
        // A Y: three branches; a loop of two chains: one.
        {TE_BRANCH, {{Q(0, 0), Q(1, 0)}, {Q(1, 0), Q(2, 1)}, {Q(1, 0), Q(2, -1)}}, 3},
        {TE_BRANCH, {{Q(0, 0), Q(1, 0), Q(1, 1)}, {Q(1, 1), Q(0, 1), Q(0, 0)}}, 1},
        // A path through two-chain nodes: one branch; a Y's stem of two.
        {TE_BRANCH, {{Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(1, 0)}, {Q(2, 0), Q(3, 1)}}, 1},
        {TE_BRANCH, {{Q(-1, 0), Q(0, 0)}, {Q(0, 0), Q(1, 0)}, {Q(1, 0), Q(2, 1)}, {Q(1, 0), Q(2, -1)}}, 3},
    };
    int n = 0;
    for (const Case& k : cases) {
        Linked chains;
        for (const Pts& p : k.lines) chains.Add(Line(p, {1}));
        chains.Link();
        Out out;
        TeRules r = Rules(k.mode, &out);
        ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1) << n;
        EXPECT_EQ(out.objects.size(), k.objects) << n;
        // Every chain comes out once.
        size_t curves = 0;
        for (const std::string& o : out.objects) curves += size_t(std::count(o.begin(), o.end(), '('));
        EXPECT_EQ(curves, k.lines.size()) << n;
        ++n;
    }
}

TEST(qd_te_linear_ff, JoinKeysAndNodesInGroups) {
    // JOIN, third option 0: every chain with a negative lookup in one group.
    Linked chains;
    const int32_t lookups[] = {-5, 3, -7};
    for (int32_t i = 0; i < 3; ++i) {
        TeChain c = Line({Q(i * 10, 0), Q(i * 10 + 1, 0)}, {1});
        c.chain_lookup_max = lookups[i];
        chains.Add(c);
    }
    chains.Link();
    Out out;
    TeRules r = Rules(TE_JOIN, &out);
    ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1);
    EXPECT_EQ(out.objects, (std::vector<std::string>{"(0 0, 1 0) (20 0, 21 0)", "(10 0, 11 0)"}));
    // Second option 1: chains with a negative lookup give nothing.
    for (int32_t i = 1; i < chains.Count(); ++i) chains.At(i)->poly_left = chains.At(i)->poly_right = -1;
    Out two;
    TeRules r2 = Rules(TE_JOIN, &two);
    r2.output_option_2 = 1;
    ASSERT_EQ(qd_te_linear_ff(chains.list, &r2, 1), 1);
    EXPECT_EQ(two.objects, (std::vector<std::string>{"(10 0, 11 0)"}));
}

TEST(qd_te_linear_ff, ParentCountAndAdjacentBuilds) {
    // 1: parents 1, 2 (shared); 2: parent 1; 3: parents 1, 2, 3; 4: parent 2
    // with the L flag; 5: parents 1 and 2 with the L flag (even).
    auto build = [](Linked& chains) {
        chains.Add(Line({Q(0, 0), Q(1, 0)}, {1, 2}));
        chains.Add(Line({Q(0, 5), Q(1, 5)}, {1}));
        chains.Add(Line({Q(0, 9), Q(1, 9)}, {1, 2, 3}));
        TeChain l = Line({Q(0, 12), Q(1, 12)});
        nlst* list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
        TeParent p = {2, 1, (1 << 3) | TE_PARENT_L};
        nlst_add(list, &p);
        l.right_parent = list;
        chains.Add(l);
        TeChain m = Line({Q(0, 15), Q(1, 15)});
        nlst* both = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
        TeParent a = {1, 1, (1 << 3) | TE_PARENT_L}, b = {2, 1, (1 << 3) | TE_PARENT_L};
        nlst_add(both, &a);
        nlst_add(both, &b);
        m.right_parent = both;
        chains.Add(m);
        chains.Link();
    };
    struct Case {
        int32_t mode;
        int32_t inputs;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {TE_INTERSECT, 3, {"(0 9, 1 9)"}},
        {TE_SHARED, 3, {"(0 0, 1 0) (0 9, 1 9) (0 15, 1 15)"}},
        {TE_SYMMETRIC_DIFFERENCE, 3, {"(0 12, 1 12)"}},
        // No nested regions: every chain of two or more features.
        {TE_ADJACENT, 3, {"(0 0, 1 0) (0 9, 1 9) (0 15, 1 15)"}},
    };
    for (const Case& k : cases) {
        Linked chains;
        build(chains);
        Out out;
        TeRules r = Rules(k.mode, &out, k.inputs);
        ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1) << k.mode;
        EXPECT_EQ(out.objects, k.want) << k.mode;
    }
}

TEST(qd_te_linear_ff, PathsTracedEndToEnd) {
    struct Case {
        std::vector<Pts> lines;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        // Middle, first, last: one polyline from the first start.
        {{{Q(1, 0), Q(2, 0)}, {Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(3, 0)}}, {"(0 0, 1 0, 2 0, 3 0)"}},
        // Start to start: the first keeps its way, the second is reversed.
        {{{Q(1, 0), Q(0, 0)}, {Q(1, 0), Q(2, 0)}}, {"(2 0, 1 0, 0 0)"}},
        // Alternating directions (start to start, end to end, ...) run
        // through in one orientation.
        {{{Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(1, 0)}, {Q(2, 0), Q(3, 0)}, {Q(4, 0), Q(3, 0)}, {Q(4, 0), Q(5, 0)}},
         {"(0 0, 1 0, 2 0, 3 0, 4 0, 5 0)"}},
        {{{Q(2, 0), Q(1, 0)}, {Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(3, 0)}, {Q(4, 0), Q(3, 0)}},
         {"(4 0, 3 0, 2 0, 1 0, 0 0)"}},
        // A closed loop is traced once, ending with the first item.
        {{{Q(0, 0), Q(1, 0)}, {Q(1, 0), Q(1, 1)}, {Q(0, 0), Q(1, 1)}}, {"(1 0, 1 1, 0 0, 1 0)"}},
        // Ends the same within 1e-10 but not exactly.
        {{{Q(0, 0), Q(1, 0)}, {Q(1 + 5e-11, 0), Q(2, 0)}}, {"(0 0, 1 0, 2 0)"}},
        // A 1e-9 gap is not bridged.
        {{{Q(0, 0), Q(1, 0)}, {Q(1 + 1e-9, 0), Q(2, 0)}}, {"(0 0, 1 0) (1 0, 2 0)"}},
    };
    int n = 0;
    for (const Case& k : cases) {
        Linked chains;
        for (const Pts& p : k.lines) chains.Add(Line(p, {1}));
        Out out;
        TeRules r = Rules(TE_PRESERVE, &out);
        ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1) << n;
        EXPECT_EQ(out.objects, k.want) << n;
        ++n;
    }
    // Circles are never linked: each its own closed arc.
    Linked chains;
    chains.Add(Circle(10, 10, 2, 0));
    AddParent(*chains.At(1), 0, 1);
    chains.Add(Line({Q(8, 10), Q(0, 0)}, {1}));
    Out out;
    TeRules r = Rules(TE_PRESERVE, &out);
    ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1);
    EXPECT_EQ(out.objects, (std::vector<std::string>{"(8 10, 10 10, 8 10) (8 10, 0 0)"}));
    EXPECT_EQ(r.statistics.output_counters.count[7], 1);
}

TEST(qd_te_linear_ff, ShuffledPiecesComeOutAsOnePolyline) {
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int round = 0; round < 50; ++round) {
        std::uniform_int_distribution<int> len(2, 40);
        std::uniform_real_distribution<double> step(-1, 1);
        Pts line{Q(0, 0)};
        const int n = len(rng);
        for (int i = 1; i < n; ++i) line.push_back(Q(line.back().x + 1 + step(rng), line.back().y + step(rng)));
        // Cut into pieces at random vertices, some reversed, shuffled.
        std::vector<Pts> pieces;
        for (size_t at = 0; at + 1 < line.size();) {
            const size_t end = std::min(line.size() - 1, at + 1 + size_t(rng() % 4));
            Pts p(line.begin() + long(at), line.begin() + long(end) + 1);
            if (rng() % 2) std::reverse(p.begin(), p.end());
            pieces.push_back(p);
            at = end;
        }
        std::shuffle(pieces.begin(), pieces.end(), rng);
        Linked chains;
        for (const Pts& p : pieces) chains.Add(Line(p, {1}));
        Out out;
        TeRules r = Rules(TE_PRESERVE, &out);
        ASSERT_EQ(qd_te_linear_ff(chains.list, &r, 1), 1) << "seed " << seed;
        std::string want, back;
        for (size_t i = 0; i < line.size(); ++i) {
            want += (i ? ", " : "") + Text(line[i]);
            back += (i ? ", " : "") + Text(line[line.size() - 1 - i]);
        }
        ASSERT_EQ(out.objects.size(), 1u) << "seed " << seed;
        EXPECT_TRUE(out.objects[0] == "(" + want + ")" || out.objects[0] == "(" + back + ")")
            << "seed " << seed << ": " << out.objects[0];
    }
}

TEST(qd_te_linear_ff, ReconnectionJoinsWithinTolerance) {
    struct Case {
        std::vector<Pts> curves;
        bool no_reverse;
        size_t want;
    };
    const Case cases[] = {
        {{{Q(0, 0), Q(1, 0)}, {Q(1 + 1e-10, 0), Q(2, 0)}}, false, 1},
        {{{Q(0, 0), Q(1, 0)}, {Q(1 + 1e-9, 0), Q(2, 0)}}, false, 2},
        // Head to head and tail to tail join only with reversal allowed.
        {{{Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(1, 0)}}, false, 1},
        {{{Q(0, 0), Q(1, 0)}, {Q(2, 0), Q(1, 0)}}, true, 2},
        {{{Q(1, 0), Q(0, 0)}, {Q(1, 0), Q(2, 0)}}, true, 2},
    };
    for (const Case& k : cases) {
        SpatialObject o;
        ktgeo_so_init_empty(&o);
        for (const Pts& p : k.curves) AddPolyline(&o, p);
        ASSERT_EQ(qd_te_linear_path_reconnect(&o, k.no_reverse ? 1 : 0), 1);
        EXPECT_EQ(o.primitives->tally, k.want);
        ktgeo_so_release(&o);
    }
}

TEST(qd_te_linear_ff, ReconnectionGridMatchesThePlainScan) {
    // Random unit segments on a small lattice: many meet, some at nodes of
    // three or more, some twice. The grid must pick the curve, and the
    // way, the plain scan picks first.
    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    for (int round = 0; round < 200; ++round) {
        std::vector<Pts> pieces;
        const int n = 2 + int(rng() % 30);
        for (int i = 0; i < n; ++i) {
            const double x = double(rng() % 5), y = double(rng() % 5);
            const bool horizontal = rng() % 2;
            pieces.push_back({Q(x, y), horizontal ? Q(x + 1, y) : Q(x, y + 1)});
            if (rng() % 3 == 0) pieces.back().front().x += 1e-10 * double(rng() % 3);
        }
        for (bool no_reverse : {false, true}) {
            SpatialObject o;
            ktgeo_so_init_empty(&o);
            for (const Pts& p : pieces) AddPolyline(&o, p);
            ASSERT_EQ(qd_te_linear_path_reconnect(&o, no_reverse ? 1 : 0), 1);
            EXPECT_TRUE(Equal(Curves(&o), PlainReconnect(pieces, no_reverse)))
                << "seed " << seed << " round " << round << " no_reverse " << no_reverse;
            ktgeo_so_release(&o);
        }
    }
}

TEST(qd_te_linear_ff, ChainsIntoPrimitives) {
    Out out;
    TeRules r = Rules(TE_SINGLE, &out);
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    nlst* parents = nullptr;
    // A circle: the closed three-point arc through the centre; a line as
    // stored; a node as a point; counted by kind, vertices and segments.
    TeChain circle = Circle(10, 10, 2, 0);
    TeChain line = Line({Q(0, 0), Q(1, 0), Q(2, 2)}, {4});
    TeChain node = Chain(TE_NODE, {Q(7, 7)});
    TeChain gone = Line({Q(0, 0), Q(1, 0)});
    gone.discard = CHAIN_DELETE;
    for (TeChain* c : {&circle, &line, &node, &gone}) ASSERT_EQ(qd_te_linear_chain_output(&r, c, &o, &parents), 1);
    ASSERT_EQ(o.primitives->tally, 3u);
    const auto* p = static_cast<const GeometricPrimitive*>(o.primitives->data);
    EXPECT_EQ(p[0].geom.curve.curve_type, KTGEO_CIRCULAR_ARC);
    EXPECT_EQ(CurveText(p[0].geom.curve), "8 10, 10 10, 8 10");
    EXPECT_EQ(CurveText(p[1].geom.curve), "0 0, 1 0, 2 2");
    EXPECT_EQ(p[2].type, KTGEO_POINT);
    EXPECT_EQ(ParentIds(parents), (std::vector<int32_t>{4, 4}));
    const TeCounters& k = r.statistics.output_counters;
    EXPECT_EQ(k.count[4], 1);                  // lines
    EXPECT_EQ(k.count[7], 1);                  // circles
    EXPECT_EQ(k.count[3], 1);                  // points
    EXPECT_EQ(k.count[11] - k.count[3], 1 + 3);  // vertices of the curves
    EXPECT_EQ(k.count[12], 0 + 2);
    // A region has no curve form: engine error -5 and failure.
    ErrorCodeLog errors;
    r.error_method = {&ErrorCodeLog::On, &errors};
    TeChain region = Chain(TE_REGION, {Q(0, 0), Q(0, 1), Q(1, 1), Q(0, 0)});
    EXPECT_EQ(qd_te_linear_chain_output(&r, &region, &o, &parents), 0);
    EXPECT_EQ(errors.seen, (std::vector<int32_t>{-5}));
    EXPECT_EQ(o.primitives->tally, 3u);
    ktgeo_so_release(&o);
    nlst_free(parents);
    for (TeChain* c : {&circle, &line, &node, &gone, &region}) qd_te_geo_chain_release(c);
}

TEST(qd_te_linear_ff, BadArgumentsAndModes) {
    FailLog log;
    EXPECT_EQ(qd_te_linear_ff(nullptr, nullptr, 1), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_linear_ff"));
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    const GeoCoord one = Q(0, 0);
    EXPECT_EQ(qd_te_linear_add_new_curve(&o, nullptr, 1, KTGEO_POLYLINE, &one), 0);
    EXPECT_EQ(qd_te_linear_add_new_curve(nullptr, nullptr, 2, KTGEO_POLYLINE, &one), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_linear_add_new_curve"));
    EXPECT_EQ(qd_te_linear_path_reconnect(nullptr, 0), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_linear_path_reconnect"));
    Linked chains;
    chains.Add(Line({Q(0, 0), Q(1, 0)}, {1}));
    chains.Link();
    // A mode without a linear build: -12 and failure.
    for (int32_t mode : {TE_BUFFER, TE_UNCLOSED, TE_DISTANCE}) {
        Out out;
        ErrorCodeLog errors;
        TeRules r = Rules(mode, &out);
        r.error_method = {&ErrorCodeLog::On, &errors};
        EXPECT_EQ(qd_te_linear_ff(chains.list, &r, 1), 0) << mode;
        EXPECT_EQ(errors.seen, (std::vector<int32_t>{-12})) << mode;
        EXPECT_TRUE(out.objects.empty());
    }
    // The event method's answer stops the stage before anything is output.
    Out out;
    TeRules r = Rules(TE_SINGLE, &out);
    r.event_method = {[](FailEvent*, void*) -> int32_t { return 0; }, nullptr};
    EXPECT_EQ(qd_te_linear_ff(chains.list, &r, 0), 0);
    EXPECT_TRUE(out.objects.empty());
}

TEST(qd_te_linear_ff, AllocationFailuresAreReportedAndReleased) {
    // Every allocation of a run failing in turn: the run answers 0 with a
    // report, or 1 when the failure fell outside it; nothing leaks (the
    // sanitizer build checks), and a run without failures still works.
    auto run = [](int32_t mode, uint64_t n, Out* out, int* answer) {
        Linked chains;
        chains.Add(Line({Q(1, 0), Q(0, 0)}, {1, 2}));
        chains.Add(Line({Q(1, 0), Q(2, 0), Q(2, 1)}, {1, 2}));
        chains.Add(Line({Q(2, 1), Q(3, 3)}, {1}));
        chains.Add(Line({Q(2, 1), Q(0, 3)}, {2, 1}));
        chains.Link();
        TeRules r = Rules(mode, out);
        qd_alloc_fail_nth(n);
        *answer = qd_te_linear_ff(chains.list, &r, 1);
        qd_alloc_fail_nth(0);
    };
    for (int32_t mode : {TE_PRESERVE, TE_DISSOLVE, TE_BRANCH, TE_CONTIGUOUS, TE_SINGLE, TE_SHARED}) {
        Out whole;
        int answer = 0;
        run(mode, 0, &whole, &answer);
        ASSERT_EQ(answer, 1);
        bool failed_once = false;
        for (uint64_t n = 1; n < 400; ++n) {
            Out out;
            FailLog log;
            run(mode, n, &out, &answer);
            if (answer == 0) {
                failed_once = true;
                EXPECT_FALSE(log.reports.empty()) << mode << " " << n;
            } else {
                // The failure fell outside the run: nothing may be lost.
                EXPECT_EQ(answer, 1);
                EXPECT_EQ(out.objects, whole.objects) << mode << " " << n;
            }
        }
        EXPECT_TRUE(failed_once) << mode;
    }
}
