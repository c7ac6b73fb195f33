// Polygon formation: free ends reported as EAF points by secondary code
// and dimension, spikes under DROP_SPIKES and the -45 warning, the node
// rule of the walk by operation, and the overlay flags against regions.
#include <gtest/gtest.h>

#include "geometry/geo_test_util.h"
#include "geometry/topology/faces/te_face_util.h"
#include "geometry/topology/qd_te_parents.h"

using namespace tetest;

namespace {

// Collects the points handed to the EAF method and the codes of the
// error method.
struct Sink {
    std::vector<GeoCoord> eafs;
    std::vector<int32_t> codes;
    int32_t outputs = 0;
    void Attach(TeRules& r) {
        r.eafs_method = {&Eaf, this};
        r.error_method = {&Error, this};
        r.output_method = {&Output, this};
    }
    static int32_t Eaf(SpatialObject* o, void* self) {
        const auto* g = static_cast<const GeometricPrimitive*>(nlst_index(o->primitives, 0));
        static_cast<Sink*>(self)->eafs.push_back(g->geom.point.coord);
        return 1;
    }
    static int32_t Error(FailEvent* e, void* self) {
        static_cast<Sink*>(self)->codes.push_back(e->code);
        return 1;
    }
    static int32_t Output(SpatialObject*, nlst*, void* self) {
        ++static_cast<Sink*>(self)->outputs;
        return 1;
    }
};

TeChain Square(double x0, double y0, double side, int32_t type = TE_PATH) {
    return Chain(type, {Q(x0, y0), Q(x0, y0 + side), Q(x0 + side, y0 + side), Q(x0 + side, y0), Q(x0, y0)});
}

void Parent(TeChain* c, int32_t side, int32_t id, int32_t flags) {
    nlst*& list = side == 0 ? c->right_parent : c->left_parent;
    if (!list) list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
    const TeParent p = {id, 1, (1 << 3) | flags};
    nlst_add(list, &p);
}

// Threads region rows into the links of every chain (all three kinds):
// each chain's link names the region just before it, regions run down to 0.
void ThreadRegions(Faces& f, int32_t last_region, int32_t kind_links) {
    for (int32_t i = 1; i < f.chains.Count(); ++i) {
        TeChain* c = f.chains.At(i);
        const int32_t link = i <= last_region ? i - 1 : last_region;
        if (kind_links & 1) c->link_fore = link;
        if (kind_links & 2) c->link_back = link;
        if (kind_links & 4) c->link_free = link;
    }
}

}  // namespace

TEST(qd_te_walk_form, OpenChainEndsAsEafPoints) {
    struct {
        int32_t secondary, dim;
        size_t eafs;
        int32_t discard;
        bool negative;
    } cases[] = {
        {TE_NONE, TE_DIM_SURFACE, 2, 0, true},
        {TE_DISCARD, TE_DIM_SURFACE, 0, 0, true},
        {TE_INCURSION, TE_DIM_SURFACE, 0, 0, true},   // DROP_SPIKES
        {TE_EXCURSION, TE_DIM_SURFACE, 0, 1, false},  // DROP_DANGLES
        {TE_NONE, TE_DIM_LINEAR, 0, 0, true},
        {TE_EXCURSION, TE_DIM_LINEAR, 0, 0, true},
    };
    for (const auto& c : cases) {
        Faces f;
        Sink sink;
        sink.Attach(f.rules);
        f.rules.secondary = c.secondary;
        f.rules.output_dim = c.dim;
        f.Add(Path({Q(0, 0), Q(1, 0.5), Q(2, 1)}));
        ASSERT_TRUE(f.Link());
        ASSERT_EQ(f.Walk(), 1) << c.secondary;
        ASSERT_EQ(f.Count(), 4);
        const TePolygon* p = f.P(3);
        EXPECT_EQ(p->status, 0);
        EXPECT_EQ(p->count, 1);  // two steps, one chain passed on both sides
        EXPECT_EQ(p->area, 0.0);
        EXPECT_EQ(p->discard, c.discard) << c.secondary << " " << c.dim;
        EXPECT_EQ(f.Negatives().size(), c.negative ? 1u : 0u);
        ASSERT_EQ(sink.eafs.size(), c.eafs) << c.secondary << " " << c.dim;
        if (c.eafs == 2) {
            EXPECT_EQ(sink.eafs[0].x, 0.0);
            EXPECT_EQ(sink.eafs[1].x, 2.0);
            EXPECT_EQ(sink.eafs[1].y, 1.0);
            EXPECT_EQ(f.rules.statistics.tallies[2], 2);
        }
    }
    // Ends within 1e-10 of each other: one point.
    TeRules r;
    qd_te_rules_init(&r);
    r.secondary = TE_NONE;
    r.output_dim = TE_DIM_SURFACE;
    Sink sink;
    sink.Attach(r);
    const GeoCoord a = Q(3, 4), b = Q(3 + 5e-11, 4);
    ASSERT_EQ(qd_te_output_eafs(&a, &r, &b), 1);
    EXPECT_EQ(sink.eafs.size(), 1u);
    geotest::FailRecorder rec;
    EXPECT_EQ(qd_te_output_eafs(nullptr, &r, &b), 0);
}

TEST(qd_te_walk_form, SpikesUnderDropSpikes) {
    {  // A spike out of the ring's corner and straight back: no warning.
        Faces f;
        Sink sink;
        sink.Attach(f.rules);
        f.rules.secondary = TE_INCURSION;
        f.Add(Square(0, 0, 1));
        f.Add(Path({Q(0, 0), Q(0.5, 0.25), Q(0.6, 0.5)}));
        ASSERT_TRUE(f.Link());
        ASSERT_EQ(f.Walk(), 1);
        EXPECT_TRUE(sink.codes.empty());
        EXPECT_TRUE(sink.eafs.empty());
        const std::vector<int32_t> pos = f.Signed(+1);
        ASSERT_EQ(pos.size(), 1u);
        EXPECT_EQ(f.P(pos[0])->spike, 1);
        EXPECT_DOUBLE_EQ(f.P(pos[0])->area, 1.0);
    }
    {  // Two doubled chains interleaved (A B A B): -45 once.
        Faces f;
        Sink sink;
        sink.Attach(f.rules);
        f.rules.secondary = TE_INCURSION;
        f.Add(Path({Q(0, 0), Q(1, 0)}));
        f.Add(Path({Q(1, 0), Q(1, 1)}));
        ASSERT_TRUE(f.Link());
        TeChain* a = f.chains.At(1);
        TeChain* b = f.chains.At(2);
        a->left_link = -2;  // A left → B right → A right → B left → A left
        b->right_link = -1;
        a->right_link = 2;
        b->left_link = 1;
        ASSERT_EQ(f.Walk(), 1);
        EXPECT_EQ(sink.codes, (std::vector<int32_t>{-45}));
        ASSERT_EQ(f.Count(), 4);
        EXPECT_EQ(f.P(3)->spike, 0);  // every chain doubled: a tree, no spike
        EXPECT_EQ(f.P(3)->count, 2);
        EXPECT_EQ(f.P(3)->status, 0);
    }
}

TEST(qd_te_walk_form, NodeRuleByMode) {
    struct {
        int32_t mode;
        int32_t lookup, lookup_max, parents;
        int32_t outputs, status;
    } cases[] = {
        {TE_SPLIT, -1, -1, 0, 1, CHAIN_DELETE},
        {TE_SPLIT, 0, -1, 0, 0, CHAIN_DELETE},
        {TE_ERASE_OUT, -1, -1, 0, 0, CHAIN_DELETE},  // no region holds it
        {TE_DISSOLVE, -1, -1, 0, 1, CHAIN_DELETE},   // outside every region
        {TE_ERASE_IN, -1, -1, 0, 1, CHAIN_DELETE},
        {TE_ERASE_IN, -1, 2, 0, 0, CHAIN_DELETE},
        {TE_DIFFERENCE, -1, -1, 0, 1, CHAIN_DELETE},
        {TE_DIFFERENCE, -1, 0, 0, 0, CHAIN_DELETE},
        {TE_SYMMETRIC_DIFFERENCE, -1, -1, 1, 1, CHAIN_DELETE},
        {TE_SYMMETRIC_DIFFERENCE, -1, -1, 2, 0, CHAIN_DELETE},
        {TE_SURFACE_22, -1, -1, 1, 0, CHAIN_OK},
        {TE_BUFFER_ALL, -1, -1, 1, 0, CHAIN_OK},
        {TE_ALL, 3, 3, 0, 1, CHAIN_DELETE},
        {TE_JOIN, -1, -1, 0, 1, CHAIN_DELETE},
    };
    for (const auto& c : cases) {
        Faces f;
        Sink sink;
        sink.Attach(f.rules);
        f.rules.mode = c.mode;
        TeChain node = Chain(TE_NODE, {Q(2, 3)}, 5);
        node.chain_lookup = c.lookup;
        node.chain_lookup_max = c.lookup_max;
        for (int32_t k = 0; k < c.parents; ++k) Parent(&node, k % 2, 10 + k, TE_PARENT_P);
        f.Add(node);
        ASSERT_EQ(qd_te_walk_nodes(f.chains.At(1), f.chains.list, &f.rules), 1) << c.mode;
        EXPECT_EQ(sink.outputs, c.outputs) << c.mode << " " << c.lookup << " " << c.parents;
        EXPECT_EQ(f.chains.At(1)->discard, c.status) << c.mode;
    }
    // A node inside a cutter region under ERASE_IN is not output; under
    // ERASE_OUT it takes the region's parents and is output.
    for (int32_t mode : {TE_ERASE_IN, TE_ERASE_OUT}) {
        Faces f;
        Sink sink;
        sink.Attach(f.rules);
        f.rules.mode = mode;
        TeChain region = Square(0, 0, 10, TE_REGION);
        region.chain_pid = 4;
        Parent(&region, 0, 40, TE_PARENT_P);
        Parent(&region, 1, 40, TE_PARENT_P);
        f.Add(region);
        f.Add(Chain(TE_NODE, {Q(2, 3)}, 5));
        ThreadRegions(f, 1, 7);
        ASSERT_EQ(qd_te_walk_nodes(f.chains.At(2), f.chains.list, &f.rules), 1);
        EXPECT_EQ(sink.outputs, mode == TE_ERASE_OUT ? 1 : 0) << mode;
        if (mode == TE_ERASE_OUT) {
            EXPECT_EQ(qd_te_parents_count(f.chains.At(2), 2), 1);
        }
    }
}

TEST(qd_te_walk_form, OverlayFlagsAgainstRegions) {
    // Regions 1-3 (cutters and targets), then a ring inside all three and a
    // ring outside them all.
    auto build = [](Faces& f, int32_t mode) {
        f.rules.mode = mode;
        const int32_t pids[3] = {7, 3, 3};
        const double at[3][2] = {{-10, -10}, {-20, -20}, {-5, -5}};
        const double side[3] = {30, 50, 15};
        for (int k = 0; k < 3; ++k) {
            TeChain r = Square(at[k][0], at[k][1], side[k], TE_REGION);
            r.chain_pid = pids[k];
            f.Add(r);
        }
        f.Add(Square(0, 0, 1));     // 4: inside every region
        f.Add(Square(100, 0, 1));   // 5: outside them all
        ThreadRegions(f, 3, 7);
        return f.Link();
    };
    auto face = [](Faces& f, int32_t chain) { return f.P(f.chains.At(chain)->poly_right); };
    {  // JOIN: the cutter test collects the containing regions' ids.
        Faces f;
        ASSERT_TRUE(build(f, TE_JOIN));
        ASSERT_EQ(f.Walk(), 1);
        const TePolygon* in = face(f, 4);
        EXPECT_EQ(in->cutter, 1);
        ASSERT_NE(in->round_cut, nullptr);
        std::vector<int32_t> cut(static_cast<int32_t*>(in->round_cut->data),
                                 static_cast<int32_t*>(in->round_cut->data) + in->round_cut->tally);
        EXPECT_EQ(cut, (std::vector<int32_t>{3, 7}));
        EXPECT_EQ(face(f, 5)->cutter, 0);
        EXPECT_EQ(face(f, 5)->round_cut, nullptr);
        // Unparented chains (pid 0, no lookup) make a JOIN face a target.
        EXPECT_EQ(in->target, 1);
        // Negative polygons get no cutter test.
        EXPECT_EQ(f.P(f.chains.At(4)->poly_left)->cutter, 0);
    }
    {  // SPLIT: a face inside a target region is a target.
        Faces f;
        ASSERT_TRUE(build(f, TE_SPLIT));
        ASSERT_EQ(f.Walk(), 1);
        EXPECT_EQ(face(f, 4)->target, 1);
        EXPECT_EQ(face(f, 5)->target, 0);
    }
    {  // DISSOLVE: a parentless face outside every region goes onto
       // polygon 0's hole list; the one inside does not.
        Faces f;
        ASSERT_TRUE(build(f, TE_DISSOLVE));
        ASSERT_EQ(f.Walk(), 1);
        const int32_t outside = f.chains.At(5)->poly_right;
        EXPECT_EQ(f.P(0)->hole_list, outside);
        EXPECT_EQ(f.P(outside)->hole_list, 0);
    }
}

TEST(qd_te_walk_form, FacesKeepPolygonParentsOnly) {
    Faces f;
    f.Add(Square(0, 0, 1));
    TeChain* ring = f.chains.At(1);
    Parent(ring, 0, 1, TE_PARENT_P);  // inside (right side)
    Parent(ring, 0, 2, TE_PARENT_S);
    Parent(ring, 1, 3, TE_PARENT_P);  // outside
    Parent(ring, 1, 4, TE_PARENT_L);
    ring->chain_lookup = 2;
    ASSERT_TRUE(f.Link());
    ASSERT_EQ(f.Walk(), 1);
    const TePolygon* in = f.P(f.chains.At(1)->poly_right);
    const TePolygon* out = f.P(f.chains.At(1)->poly_left);
    EXPECT_EQ(in->n_parents, 1);
    EXPECT_EQ(out->n_parents, 2);  // area 0 or below: every parent
    EXPECT_EQ(in->lookup_max, 2);
    EXPECT_EQ(in->lookup_min, 0);
}
