// Touching paths: the touch split of one chain from its vertex references
// (match groups as the coincidence count leaves them), and the stage's
// heartbeat.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/fuzzy_int/te_int_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_views.h"

using namespace tetest;

namespace {

// References of one chain (tag) with the given match groups, then
// `others` references of tag + 1.
nlst* Refs(TeChain* c, int32_t tag, std::vector<int32_t> groups, int32_t others = 0, TeChain* other = nullptr) {
    nlst* refs = nullptr;
    int32_t skip = 0;
    qd_te_form_pathpoint(c, &refs, tag, nullptr, &skip);
    for (size_t i = 0; i < groups.size(); ++i) static_cast<TeCoordRef*>(refs->data)[i].group = groups[i];
    if (others > 0) qd_te_form_pathpoint(other, &refs, tag + 1, nullptr, &skip);
    return refs;
}

struct Split {
    std::vector<int32_t> piece_sizes;
    int32_t cursor;
    int32_t discard;
};

Split TouchSplit(std::vector<GeoCoord> pts, std::vector<int32_t> groups, int32_t others = 0) {
    Owned c(Ch(TE_PATH, pts));
    std::vector<GeoCoord> far;
    for (int32_t i = 0; i < std::max(others, 1); ++i) far.push_back(Q(100 + i, 100));
    Owned o(Ch(TE_PATH, far));
    nlst* refs = Refs(c.get(), 0, groups, others, o.get());
    nlst* pieces = nullptr;
    int32_t cursor = 0;
    EXPECT_EQ(qd_te_fuzzy_int_path_touch_split(c.get(), &cursor, refs, &pieces, 1e-9), 1);
    Split s{{}, cursor, c->discard};
    for (uint32_t i = 0; pieces && i < pieces->tally; ++i)
        s.piece_sizes.push_back(int32_t(qd_te_chain_at(pieces, int32_t(i))->coords->tally));
    if (pieces) {
        qd_te_geo_free_chain_list(pieces, 0);
        nlst_free(pieces);
    }
    nlst_free(refs);
    return s;
}

const std::vector<GeoCoord> kFive = {Q(0, 0), Q(1, 0), Q(2, 0), Q(3, 0), Q(4, 0)};

}  // namespace

TEST(qd_te_touch, SplitCases) {
    // A shared run of three inner vertices: cut at its first and last.
    Split run = TouchSplit(kFive, {-1, 0, 0, 0, -1}, 3);
    EXPECT_EQ(run.piece_sizes, std::vector<int32_t>({2, 3, 2}));
    EXPECT_EQ(run.discard, CHAIN_DELETE);
    EXPECT_EQ(run.cursor, 4);  // left on the chain's last reference
    // Only an end vertex shared: not cut.
    Split end = TouchSplit(kFive, {0, -1, -1, -1, -1});
    EXPECT_TRUE(end.piece_sizes.empty());
    EXPECT_EQ(end.discard, CHAIN_OK);
    // One inner vertex touched by one other chain: cut there.
    Split one = TouchSplit(kFive, {-1, -1, 0, -1, -1});
    EXPECT_EQ(one.piece_sizes, std::vector<int32_t>({3, 3}));
    // A vertex shared more than once (group 1) cuts even inside a run.
    Split twice = TouchSplit(kFive, {-1, 0, 1, 0, -1});
    EXPECT_EQ(twice.piece_sizes, std::vector<int32_t>({2, 2, 2, 2}));
    // No vertex touched, or every vertex in one run from the start: nothing.
    EXPECT_TRUE(TouchSplit(kFive, {-1, -1, -1, -1, -1}).piece_sizes.empty());
    // Fewer than three vertices: never cut.
    Split two = TouchSplit({Q(0, 0), Q(1, 0)}, {0, 0}, 2);
    EXPECT_TRUE(two.piece_sizes.empty());
    EXPECT_EQ(two.cursor, 1);
}

TEST(qd_te_touch, RefusedHeartbeatFailsTheStage) {
    Chains chains;
    chains.Add(Ch(TE_PATH, {Q(0, 0), Q(1, 0), Q(2, 0)}));
    chains.Add(Ch(TE_PATH, {Q(0, 1), Q(1, 0), Q(2, 1)}));
    qd_te_link_setup(chains.list);
    nlst* touch = nlst_alloc(sizeof(int32_t), 2, 2, nullptr);
    for (int32_t row : {1, 2}) nlst_add(touch, &row);
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.event_method = {[](FailEvent* e, void*) -> int32_t { return e->code == 18 ? 0 : 1; }, nullptr};
    geotest::FailRecorder rec;
    int32_t found = -1;
    EXPECT_EQ(qd_te_fuzzy_int_path_touch(chains.list, touch, &found, &rules), 0);
    EXPECT_EQ(found, 0);
    // Nulls are reported; an empty touch list succeeds.
    EXPECT_EQ(qd_te_fuzzy_int_path_touch(chains.list, touch, nullptr, &rules), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_fuzzy_int_path_touch");
    touch->tally = 0;
    EXPECT_EQ(qd_te_fuzzy_int_path_touch(chains.list, touch, &found, &rules), 1);
    nlst_free(touch);
}

TEST(qd_te_touch, SharedStretchThroughTheStage) {
    // Two paths running together over (1,1), (2,1), (3,1): each is cut at
    // the first and the last shared vertex, so the shared run becomes a
    // piece of each (the two equal pieces are merged as they go back into
    // the chain list); two paths sharing only an end vertex are not cut.
    // Runs once the references and cutting are in the tree.
    Chains chains;
    chains.Add(Ch(TE_PATH, {Q(0, 0), Q(1, 1), Q(2, 1), Q(3, 1), Q(4, 0)}));
    chains.Add(Ch(TE_PATH, {Q(0, 2), Q(1, 1), Q(2, 1), Q(3, 1), Q(4, 2)}));
    chains.Add(Ch(TE_PATH, {Q(10, 0), Q(11, 1), Q(12, 0)}));
    chains.Add(Ch(TE_PATH, {Q(12, 0), Q(13, 1), Q(14, 0)}));
    qd_te_chain_list_sort(chains.list);
    qd_te_link_setup(chains.list);
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.tolerance.tolerance = 1e-9;
    ASSERT_EQ(qd_te_process_chains_touch(chains.list, &rules), 1);
    std::vector<std::vector<double>> pieces;  // live chains as x coordinates
    for (int32_t i = 1; i < chains.Count(); ++i) {
        const TeChain* c = chains.At(i);
        if (c->discard != CHAIN_OK) continue;
        std::vector<double> xs;
        for (uint32_t k = 0; k < c->coords->tally; ++k) xs.push_back(Vx(c, int32_t(k)).x);
        pieces.push_back(xs);
    }
    std::sort(pieces.begin(), pieces.end());
    const std::vector<std::vector<double>> want = {{0, 1}, {0, 1}, {1, 2, 3}, {3, 4}, {3, 4}, {10, 11, 12}, {12, 13, 14}};
    EXPECT_EQ(pieces, want);
}
