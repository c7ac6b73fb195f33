// Node output: objects and parents by operation, the direction record's
// owner, the INTERSECT_NODES places by secondary code, bad modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../split/te_split_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

using namespace tetest;

namespace {

// Each delivered object as its points "x,y" and its parents' first ids.
struct Out {
    std::vector<std::string> objects;
    std::vector<std::vector<int32_t>> parents;
    static int32_t On(SpatialObject* so, nlst* parents, void* self) {
        auto* o = static_cast<Out*>(self);
        std::string text;
        for (uint32_t i = 0; so->primitives && i < so->primitives->tally; ++i) {
            const auto* p = static_cast<const GeometricPrimitive*>(so->primitives->data) + i;
            if (!text.empty()) text += " ";
            text += std::to_string(int(p->geom.point.coord.x)) + "," + std::to_string(int(p->geom.point.coord.y));
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
    return r;
}

TeChain NodeAt(double x, double y, std::initializer_list<int32_t> ids, std::initializer_list<int32_t> freq = {}) {
    TeChain c = Chain(TE_NODE, {Q(x, y)});
    auto f = freq.begin();
    for (int32_t id : ids) {
        const int32_t times = f != freq.end() ? *f++ : 1;
        for (int32_t t = 0; t < times; ++t) {
            AddParent(c, 0, id);
        }
    }
    qd_te_parents_merge_duplicates(c.right_parent);
    return c;
}

}  // namespace

TEST(qd_te_node_ff, ObjectsByMode) {
    struct Case {
        int32_t mode;
        std::vector<std::string> want;
    };
    // Nodes: (1,1) parents 1,2 with 2 twice; (2,2) parent 1; (3,3) parents
    // 1,2 with 2 twice; (4,4) parents 1,2,3; (5,5) none.
    const Case cases[] = {
        {TE_ALL, {"1,1 2,2 3,3 4,4 5,5"}},
        {TE_SINGLE, {"1,1", "2,2", "3,3", "4,4", "5,5"}},
        // Keyed by the most frequent parent when more than one parent.
        {TE_ADJACENT, {"4,4", "1,1 3,3"}},
        // Keyed by the most frequent parent; no parent: alone.
        {TE_PRESERVE, {"5,5", "2,2 4,4", "1,1 3,3"}},
        // Keyed when the distinct parents equal the inputs (two).
        {TE_INTERSECT, {"1,1 3,3"}},
        // Keyed when odd.
        {TE_SYMMETRIC_DIFFERENCE, {"2,2 4,4"}},
        // Only target nodes with exactly one parent.
        {TE_DIFFERENCE, {"2,2"}},
    };
    for (const auto& k : cases) {
        Chains chains;
        chains.Add(NodeAt(1, 1, {1, 2}, {1, 2}));
        chains.Add(NodeAt(2, 2, {1}));
        chains.Add(NodeAt(3, 3, {1, 2}, {1, 2}));
        chains.Add(NodeAt(4, 4, {1, 2, 3}));
        chains.Add(NodeAt(5, 5, {}));
        Out out;
        TeRules r = Rules(k.mode, &out);
        ASSERT_EQ(qd_te_node_ff(chains.list, &r, 0), 1) << k.mode;
        EXPECT_EQ(out.objects, k.want) << k.mode;
        EXPECT_EQ(r.statistics.output_counters.count[0], int32_t(k.want.size())) << k.mode;
    }
}

TEST(qd_te_node_ff, JoinKeysByLookup) {
    // Keys (11, chain_lookup_max): -1 for a negative one with the third
    // option 0; the second option 1 drops nodes with a negative one.
    for (int32_t o2 : {0, 1})
        for (int32_t o3 : {0, 1}) {
            Chains chains;
            const int32_t lookups[] = {-5, 3, -7, 3};
            for (int32_t i = 0; i < 4; ++i) {
                TeChain c = NodeAt(i + 1, i + 1, {1});
                c.chain_lookup_max = lookups[i];
                chains.Add(c);
            }
            Out out;
            TeRules r = Rules(TE_JOIN, &out);
            r.output_option_2 = o2;
            r.output_option_3 = o3;
            ASSERT_EQ(qd_te_node_ff(chains.list, &r, 0), 1);
            std::vector<std::string> want;
            if (o2 == 0 && o3 == 0) want = {"1,1 3,3", "2,2 4,4"};
            if (o2 == 0 && o3 == 1) want = {"3,3", "1,1", "2,2 4,4"};
            if (o2 == 1) want = {"2,2 4,4"};
            EXPECT_EQ(out.objects, want) << o2 << o3;
        }
}

TEST(qd_te_node_ff, DirectionMovesToTheObjectAndBadModes) {
    Chains chains;
    TeChain c = NodeAt(1, 1, {1});
    const TeNodeDynamic d = {2, 3, Q(9, 9)};
    qd_te_geo_point_dynamic(&c, &d);
    chains.Add(c);
    struct Seen {
        int32_t word1 = 0;
        double toward = 0;
        static int32_t On(SpatialObject* so, nlst*, void* self) {
            const auto* p = static_cast<const GeometricPrimitive*>(so->primitives->data);
            static_cast<Seen*>(self)->word1 = p->geom.point.direction->word1;
            static_cast<Seen*>(self)->toward = p->geom.point.direction->toward.x;
            return 1;
        }
    } seen;
    TeRules r = Rules(TE_SINGLE, nullptr);
    r.output_method = {&Seen::On, &seen};
    ASSERT_EQ(qd_te_node_ff(chains.list, &r, 0), 1);
    EXPECT_EQ(seen.word1, 2);
    EXPECT_EQ(seen.toward, 9);
    EXPECT_EQ(chains.At(1)->node_dynamic, nullptr);  // one owner (ASan checks the rest)

    ErrorCodeLog codes;
    Out out;
    TeRules bad = Rules(TE_CONVEX_HULL, &out);
    bad.error_method = {&ErrorCodeLog::On, &codes};
    EXPECT_EQ(qd_te_node_ff(chains.list, &bad, 0), 0);
    EXPECT_EQ(codes.seen, (std::vector<int32_t>{-12}));
    FailLog log;
    EXPECT_EQ(qd_te_node_ff(chains.list, nullptr, 0), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_node_ff"));
    EXPECT_EQ(qd_te_output_intersect_nodes(nullptr, nullptr, &bad), 0);
    EXPECT_TRUE(log.Saw("UKT1M qd_te_output_intersect_nodes"));
}

TEST(qd_te_node_ff, IntersectNodesBySecondaryCode) {
    // References (place, chain row, vertex index; -1 an intersection point):
    //  A (0,0): chain 1 vertex 0 and chain 2 vertex 0   (ends of two chains)
    //  B (5,5): chain 1 vertex 3 and chain 1 vertex 7   (a chain meets itself)
    //  C (9,0): chain 2 vertex 2 and a crossing of 2 with 3 (-1)
    //  D (7,7): chain 3 vertex 1 alone
    Chains chains;
    chains.Add(NodeAt(100, 100, {1}));
    chains.Add(NodeAt(100, 100, {2}));
    chains.Add(NodeAt(100, 100, {3}));
    const double pts[][2] = {{0, 0}, {0, 0}, {5, 5}, {5, 5}, {9, 0}, {9, 0}, {7, 7}};
    const int32_t tags[] = {1, 2, 1, 1, 2, 3, 3};
    const int32_t index[] = {0, 0, 3, 7, 2, -1, 1};
    struct Case {
        int32_t secondary;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {TE_COMMON_EDGE, {"0,0"}},
        {TE_COMMON_CROSS, {"5,5"}},
        {TE_COMMON_TOUCH, {"5,5"}},
        {TE_COMMON_ENDS, {"0,0", "9,0"}},
        {TE_COMMON_ALL, {"0,0", "9,0"}},
        {TE_CROSSING, {"7,7", "9,0"}},
        // Every place once (its partners joined it).
        {TE_ALL_CROSSING, {"0,0", "5,5", "7,7", "9,0"}},
        {TE_ALL_POINTS, {"0,0", "5,5", "7,7", "9,0"}},
        {TE_LINEAR, {"5,5", "7,7"}},
        {TE_DISCARD, {}},
    };
    for (const auto& k : cases) {
        std::vector<GeoCoord> store;
        for (const auto& p : pts) store.push_back(Q(p[0], p[1]));
        nlst* refs = nlst_alloc(sizeof(TeCoordRef), 8, 8, nullptr);
        for (size_t i = 0; i < store.size(); ++i) {
            const TeCoordRef ref = qd_te_coord_ref(nullptr, &store[i].x, tags[i], 1e-9, index[i]);
            nlst_add(refs, &ref);
        }
        Out out;
        TeRules r = Rules(TE_INTERSECT_NODES, &out);
        r.secondary = k.secondary;
        ASSERT_EQ(qd_te_output_intersect_nodes(refs, chains.list, &r), 1) << k.secondary;
        EXPECT_EQ(out.objects, k.want) << k.secondary;
        nlst_free(refs);
    }
}
