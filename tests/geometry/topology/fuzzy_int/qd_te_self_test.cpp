// A chain against itself (the self sweep, the self-crossing step) and the
// crossings of paths and lines inserted or recorded without cutting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_encode.h"

using namespace tetest;

namespace {

struct Sweep {
    int32_t status;
    std::vector<TeIntersection> items;
};

Sweep SelfSweep(std::vector<GeoCoord> pts) {
    Owned c(Ch(TE_PATH, pts));
    TeIntersectionList list = {0, 0, nullptr};
    Sweep s{qd_te_fuzzy_sweep_self(c.get(), &list, 0, nullptr), {}};
    if (list.items) s.items.assign(list.items, list.items + list.count);
    qd_te_cogo_intersection_list_free(&list);
    return s;
}

// Names the stand-ins of the cutting stage were asked for (answering 1).
struct CutSpy {
    std::vector<std::string> names;
    CutSpy() { qd_te_pending_spy = {&CutSpy::Hear, this}; }
    ~CutSpy() { qd_te_pending_spy = {nullptr, nullptr}; }
    CutSpy(const CutSpy&) = delete;
    CutSpy& operator=(const CutSpy&) = delete;
    static int Hear(const char* name, void* user) {
        static_cast<CutSpy*>(user)->names.push_back(name);
        return 1;
    }
};

}  // namespace

TEST(qd_te_self, SweepCases) {
    // A figure-eight ring: one crossing, at (1, 1) on segments 0 and 2.
    Sweep eight = SelfSweep({Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)});
    ASSERT_EQ(eight.status, 1);
    ASSERT_EQ(eight.items.size(), 1u);
    EXPECT_NEAR(eight.items[0].point.x, 1, 1e-12);
    EXPECT_NEAR(eight.items[0].point.y, 1, 1e-12);
    EXPECT_EQ(eight.items[0].index_a, 0);
    EXPECT_EQ(eight.items[0].index_b, 2);
    EXPECT_NEAR(eight.items[0].offset_a, std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(eight.items[0].offset_b, std::sqrt(2.0), 1e-12);
    // A spike running back along the previous segment: a hit at its far vertex.
    Sweep spike = SelfSweep({Q(0, 0), Q(2, 0), Q(0, 0), Q(0, 3)});
    ASSERT_EQ(spike.status, 1);
    ASSERT_GE(spike.items.size(), 1u);
    EXPECT_EQ(spike.items[0].point.x, 2);
    EXPECT_EQ(spike.items[0].point.y, 0);
    // A closed ring's first and last segments meet at the closing vertex: no hit.
    EXPECT_EQ(SelfSweep({Q(0, 0), Q(0, 2), Q(2, 2), Q(2, 0), Q(0, 0)}).status, 0);
    // A path visiting one vertex twice without crossing: a hit there.
    Sweep twice = SelfSweep({Q(0, 0), Q(2, 0), Q(3, 1), Q(2, 2), Q(2, 0), Q(1, -1)});
    ASSERT_EQ(twice.status, 1);
    for (const TeIntersection& i : twice.items) {
        EXPECT_EQ(i.point.x, 2);
        EXPECT_EQ(i.point.y, 0);
    }
    // Stop at the first hit leaves the list alone; bad arguments -2.
    Owned c(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)}));
    EXPECT_EQ(qd_te_fuzzy_sweep_self(c.get(), nullptr, 1, nullptr), 1);
    EXPECT_EQ(qd_te_fuzzy_sweep_self(c.get(), nullptr, 0, nullptr), -2);
    EXPECT_EQ(qd_te_fuzzy_sweep_self(nullptr, nullptr, 1, nullptr), -2);
}

TEST(qd_te_self, HandedOverWholeOrCut) {
    // A path that does not meet itself: one record carrying its vertices;
    // the chain is left without them.
    Owned plain(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(1, 1)}));
    nlst* out = nullptr;
    int32_t cut = -1;
    ASSERT_EQ(qd_te_intersect_chain_self_cross(plain.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 0);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(out->tally, 1u);
    EXPECT_EQ(qd_te_chain_at(out, 0)->coords->tally, 3u);
    EXPECT_EQ(plain->coords, nullptr);
    // LINE, ARC and CIRCLE chains are always handed over whole.
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(1, 0)}));
    ASSERT_EQ(qd_te_intersect_chain_self_cross(line.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(out->tally, 2u);
    qd_te_geo_chain_list_free(&out);
    // A figure-eight: the crossing is inserted and the polygon-cross step
    // cuts the ring; with both loops kept (orientation 1) two rings are
    // handed over. Before cutting is built: the stage's calls, and with no
    // pieces nothing is handed over and the call succeeds, cut flag set.
    Owned eight(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)}));
    if (CuttingBuilt()) {
        ASSERT_EQ(qd_te_intersect_chain_self_cross(eight.get(), &out, 1e-9, 1, 1, &cut), 1);
        EXPECT_EQ(cut, 1);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(out->tally, 2u);
        qd_te_geo_chain_list_free(&out);
        return;
    }
    CutSpy spy;
    ASSERT_EQ(qd_te_intersect_chain_self_cross(eight.get(), &out, 1e-9, 1, 1, &cut), 1);
    EXPECT_EQ(cut, 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(spy.names, std::vector<std::string>({"qd_te_split_chain_cross", "qd_te_split_form_poly_cross"}));
}

TEST(qd_te_self, PolylinesInsertOrRecord) {
    const bool built = CuttingBuilt();
    // A PATH crossing a LINE: both get the crossing, inserted as a vertex
    // (cross mode 1: the line becomes a four-vertex PATH) or recorded
    // with the chains' rows (0: the chains keep their vertices).
    for (int32_t mode : {1, 0}) {
        CutSpy* spy = built ? nullptr : new CutSpy;
        Owned path(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(4, 0)})), line(Ch(TE_LINE, {Q(0, 1), Q(4, 1)}));
        nlst* records = nullptr;
        ASSERT_EQ(qd_te_intersect_polylines(path.get(), 1, line.get(), 2, &records, 1e-9, mode, 0), 1);
        if (built && mode == 1) {
            EXPECT_EQ(path->coords->tally, 5u);  // (1, 1) and (3, 1) on both
            EXPECT_EQ(line->coords->tally, 4u);
            EXPECT_EQ(line->chain_type, TE_PATH);
            EXPECT_EQ(records, nullptr);
        } else if (built) {
            EXPECT_EQ(path->coords->tally, 3u);
            EXPECT_EQ(line->coords->tally, 2u);
            ASSERT_NE(records, nullptr);
            ASSERT_EQ(records->tally, 4u);
            const auto* r = static_cast<const TeSplitRecord*>(records->data);
            EXPECT_EQ(r[0].row, 1);
            EXPECT_EQ(r[3].row, 2);
        } else {
            const std::string want = mode == 1 ? "qd_te_split_chain_cross" : "qd_te_split_linear_record_intr";
            EXPECT_EQ(spy->names, std::vector<std::string>({want, want})) << mode;
        }
        if (records) nlst_free(records);
        delete spy;
    }
    // An ARC paired here produces nothing; crossings at end vertices insert nothing.
    Owned arc(Ch(TE_ARC, {Q(-5, 0), Q(0, 5), Q(5, 0)})), cross(Ch(TE_LINE, {Q(0, 0), Q(0, 9)}));
    ASSERT_EQ(qd_te_intersect_polylines(cross.get(), -1, arc.get(), -1, nullptr, 1e-9, 1, 0), 1);
    EXPECT_EQ(cross->coords->tally, 2u);
    EXPECT_EQ(arc->coords->tally, 3u);
    Owned a(Ch(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 0)})), b(Ch(TE_LINE, {Q(2, 0), Q(3, 3)}));
    ASSERT_EQ(qd_te_intersect_polylines(a.get(), -1, b.get(), -1, nullptr, 1e-9, 1, 0), 1);
    EXPECT_EQ(a->coords->tally, 3u);
    EXPECT_EQ(b->coords->tally, 2u);
    // A path crossing itself gets the crossing inserted through the self pass.
    Owned eight(Ch(TE_PATH, {Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2)}));
    CutSpy* spy = built ? nullptr : new CutSpy;
    ASSERT_EQ(qd_te_intersect_polylines(eight.get(), -1, eight.get(), -1, nullptr, 1e-9, 1, 0), 1);
    if (built) EXPECT_EQ(eight->coords->tally, 6u);  // (1, 1) on segments 0 and 2
    else EXPECT_EQ(spy->names, std::vector<std::string>({"qd_te_split_chain_cross"}));
    delete spy;
}

TEST(qd_te_self, NoPiecesIsReported) {
    // An input ring that the polygon-cross step turns into no pieces at
    // all is sent to the error method as -46 and counted as crossed; it
    // never vanishes unreported.
    struct Codes {
        std::vector<int32_t> codes;
        static int32_t On(FailEvent* e, void* self) {
            static_cast<Codes*>(self)->codes.push_back(e->code);
            return 1;
        }
    } errors;
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.mode = TE_ALL;
    rules.input_option_1 = 1;
    rules.input_option_2 = 1;
    rules.error_method = {Codes::On, &errors};
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.key = -1;
    keys.parent = {1, 1, 0};
    keys.tolerance.tolerance = 1e-9;
    TeEncoder e;
    qd_te_encode_init(&rules, &keys, &e);
    if (CuttingBuilt()) {
        // Two counter-clockwise loops through (0, 0), cut with loops kept
        // only clockwise (orientation 0): nothing is left and nothing is
        // handed over. (The encoder makes input rings clockwise first, so
        // there such a ring keeps a loop; its report is shown with the
        // stand-ins below, before cutting is in the tree.)
        Owned ring(Ch(TE_PATH, {Q(0, 0), Q(2, 0), Q(2, 2), Q(0, 0), Q(-2, 0), Q(-2, -2), Q(0, 0)}));
        nlst* out = nullptr;
        int32_t cut = -1;
        ASSERT_EQ(qd_te_intersect_chain_self_cross(ring.get(), &out, 1e-9, 0, 1, &cut), 1);
        EXPECT_EQ(cut, 1);
        EXPECT_EQ(out, nullptr);
        qd_te_encode_free(&e);
        return;
    }
    geotest::Object o;
    o.AddCurve(geotest::Curve({Q(0, 0), Q(2, 2), Q(2, 0), Q(0, 2), Q(0, 0)}));
    CutSpy spy;
    int32_t status = 0;
    ASSERT_EQ(qd_te_encode_feature_primitive(o.Primitive(0), &e, &status, &rules), 1);
    EXPECT_EQ(errors.codes, std::vector<int32_t>({-46}));
    EXPECT_EQ(rules.statistics.tallies[4], 1);
    EXPECT_TRUE(!e.chains || e.chains->tally == 0);
    // An error method that stops on it fails the encoding.
    errors.codes.clear();
    rules.error_method = {[](FailEvent*, void*) -> int32_t { return 0; }, nullptr};
    EXPECT_EQ(qd_te_encode_feature_primitive(o.Primitive(0), &e, &status, &rules), 0);
    qd_te_encode_free(&e);
}

TEST(qd_te_self, LoopInALoopTakesTheFlippedStatus) {
    // The cut of a self-touching ring asks the point-in-region test for
    // nesting: a clockwise loop inside a clockwise loop (touching it at
    // (0, 0)) takes the outer loop's status flipped with nesting 2 (its
    // parent moves to the left), keeps its own with nesting 1 (no nesting
    // pass), and is dropped with nesting 0.
    if (!CuttingBuilt()) GTEST_SKIP() << "cutting self-crossing rings is not in the tree";
    struct Case {
        int32_t nesting;
        int32_t inner_right, inner_left, inner_discard;
    } cases[] = {{1, 1, 0, CHAIN_OK}, {2, 0, 1, CHAIN_OK}, {0, -1, -1, CHAIN_INVALID}};
    for (const Case& k : cases) {
        TeChain ring = Ch(TE_PATH, {Q(0, 0), Q(0, 10), Q(10, 10), Q(10, 0), Q(0, 0), Q(1, 2), Q(2, 2), Q(2, 1), Q(0, 0)});
        ring.right_parent = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
        const TeParent parent = {1, 1, 1 << 3};
        nlst_add(ring.right_parent, &parent);
        nlst* rings = nullptr;
        ASSERT_EQ(qd_te_split_form_poly_cross(&ring, &rings, 1, k.nesting, 1e-9), 1);
        ASSERT_NE(rings, nullptr);
        const TeChain *outer = nullptr, *inner = nullptr;
        for (uint32_t i = 0; i < rings->tally; ++i) {
            const TeChain* r = qd_te_chain_at(rings, int32_t(i));
            (std::fabs(qd_te_geo_chain_area(r)) > 50 ? outer : inner) = r;
        }
        ASSERT_NE(outer, nullptr);
        EXPECT_EQ(outer->discard, CHAIN_OK);
        EXPECT_EQ(outer->right_parent ? outer->right_parent->tally : 0u, 1u) << k.nesting;
        if (k.inner_discard == CHAIN_OK) {
            ASSERT_NE(inner, nullptr);
            EXPECT_EQ(inner->discard, CHAIN_OK) << k.nesting;
            EXPECT_EQ(inner->right_parent ? int32_t(inner->right_parent->tally) : 0, k.inner_right) << k.nesting;
            EXPECT_EQ(inner->left_parent ? int32_t(inner->left_parent->tally) : 0, k.inner_left) << k.nesting;
        } else {
            EXPECT_TRUE(!inner || inner->discard == CHAIN_INVALID) << k.nesting;
        }
        qd_te_geo_free_chain_list(rings, 0);
        nlst_free(rings);
        qd_te_geo_chain_release(&ring);
    }
}
