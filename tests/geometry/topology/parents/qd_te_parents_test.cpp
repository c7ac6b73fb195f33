// Parent records and lists: merging, orders, printing, and the lists of
// chains collected, counted, inserted and transferred.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_parents.h"

using tetest::Chain;
using tetest::Chains;
using tetest::Q;

namespace {

TeParent Par(int32_t a, int32_t b, int32_t freq, int32_t flags = 0) { return {a, b, freq << 3 | flags}; }

nlst* List(std::initializer_list<TeParent> ps) {
    nlst* l = nlst_alloc(sizeof(TeParent), uint32_t(ps.size()) + 1, 1, nullptr);
    for (const TeParent& p : ps) nlst_add(l, &p);
    return l;
}

std::vector<std::string> Text(const nlst* l) {
    std::vector<std::string> out;
    if (!l) return out;
    for (uint32_t i = 0; i < l->tally; ++i) {
        char buf[64];
        std::FILE* f = fmemopen(buf, sizeof buf, "w");
        qd_te_parent_print(f, static_cast<const TeParent*>(nlst_index(l, i)));
        std::fclose(f);
        out.emplace_back(buf);
    }
    return out;
}

using S = std::vector<std::string>;

}  // namespace

TEST(qd_te_parent, Records) {
    TeParent a = Par(7, 2, 0, TE_PARENT_L);
    const TeParent b = Par(7, 2, 5, TE_PARENT_P);
    ASSERT_EQ(qd_te_parent_merge(&a, &b), 1);
    EXPECT_EQ(qd_te_parent_frequency(&a), 6);  // the 0 counts as 1
    EXPECT_EQ(qd_te_parent_has_flag(&a, TE_PARENT_L), 1);
    EXPECT_EQ(qd_te_parent_has_flag(&a, TE_PARENT_P), 1);
    EXPECT_EQ(qd_te_parent_has_flag(&a, TE_PARENT_S), 0);
    const TeParent other = Par(7, 3, 1);
    EXPECT_EQ(qd_te_parent_merge(&a, &other), 0);
    EXPECT_EQ(qd_te_parent_frequency(&a), 6);

    TeParent big = Par(1, 1, TE_PARENT_MAX_FREQUENCY - 1, TE_PARENT_S);
    const TeParent more = Par(1, 1, 100, TE_PARENT_L);
    ASSERT_EQ(qd_te_parent_merge(&big, &more), 1);
    EXPECT_EQ(qd_te_parent_frequency(&big), TE_PARENT_MAX_FREQUENCY);
    EXPECT_EQ(big.packed & 7, TE_PARENT_S | TE_PARENT_L);
    EXPECT_GT(big.packed, 0);

    qd_te_parent_set_flag(&a, 8 | TE_PARENT_S);  // bits above the three ignored
    EXPECT_EQ(qd_te_parent_frequency(&a), 6);
    qd_te_parent_clear_flag(&a, TE_PARENT_L);
    nlst* l = List({a, Par(-1, 0, 3)});
    EXPECT_EQ(Text(l), (S{"7:2:6PS", "-1:0:3"}));
    nlst_free(l);
    char buf[16];
    std::FILE* f = fmemopen(buf, sizeof buf, "w");
    qd_te_parent_print(f, nullptr);
    std::fclose(f);
    EXPECT_STREQ(buf, "(NULL)");
}

TEST(qd_te_parent, ListOrders) {
    nlst* l = List({Par(3, 1, 2), Par(1, 1, 1, TE_PARENT_L), Par(2, 1, 2, TE_PARENT_P),
                    Par(3, 1, 4, TE_PARENT_L), Par(1, 1, 2)});
    ASSERT_EQ(qd_te_parents_merge_duplicates(l), 1);
    EXPECT_EQ(Text(l), (S{"1:1:3L", "2:1:2P", "3:1:6L"}));
    ASSERT_EQ(qd_te_parents_sort_frequency(l), 1);
    EXPECT_EQ(Text(l), (S{"3:1:6L", "1:1:3L", "2:1:2P"}));
    nlst* m = List({Par(5, 5, 9, TE_PARENT_P), Par(4, 4, 1, TE_PARENT_L), Par(6, 6, 1, TE_PARENT_L),
                    Par(7, 7, 9, TE_PARENT_P | TE_PARENT_S)});
    ASSERT_EQ(qd_te_parents_sort_local(m), 1);
    EXPECT_EQ(Text(m), (S{"4:4:1L", "6:6:1L", "7:7:9PS", "5:5:9P"}));
    ASSERT_EQ(qd_te_parents_keep_flagged(m, TE_PARENT_S | TE_PARENT_L), 1);
    EXPECT_EQ(Text(m), (S{"4:4:1L", "6:6:1L", "7:7:9PS"}));
    nlst* empty = nullptr;
    ASSERT_EQ(qd_te_parents_append(&empty, nullptr), 1);
    EXPECT_EQ(empty, nullptr);
    ASSERT_EQ(qd_te_parents_append(&empty, m), 1);
    EXPECT_EQ(empty->tally, 3u);
    for (nlst* x : {l, m, empty}) nlst_free(x);
}

TEST(qd_te_parent, ChainLists) {
    Chains chains;
    TeChain c = Chain(TE_LINE, {Q(0, 0), Q(1, 0)});
    c.left_parent = List({Par(1, 1, 1)});
    c.right_parent = List({Par(1, 1, 1), Par(1, 2, 1)});
    // Both sides collected and merged: one record of frequency 2 per pair.
    nlst* out = nullptr;
    ASSERT_EQ(qd_te_collect_parents(&c, &out, 2, 1), 1);
    EXPECT_EQ(Text(out), (S{"1:1:2", "1:2:1"}));
    nlst_free(out);
    EXPECT_EQ(qd_te_parents_count(&c, 0), 2);
    EXPECT_EQ(qd_te_parents_count(&c, 1), 1);
    EXPECT_EQ(qd_te_parents_count(&c, 2), 2);  // distinct pairs, not records
    EXPECT_EQ(qd_te_parents_count(&c, 5), 0);

    // Left and right from the left side: equal, merged, separate lists.
    ASSERT_EQ(qd_te_parents_list_transfer(&c, 2, 2), 1);
    EXPECT_NE(c.left_parent, c.right_parent);
    EXPECT_EQ(Text(c.left_parent), (S{"1:1:2", "1:2:1"}));
    EXPECT_EQ(Text(c.right_parent), Text(c.left_parent));
    const int32_t row = chains.Add(c);

    // Transfer from another chain of the list; index 0 leaves it alone.
    TeChain d = Chain(TE_LINE, {Q(0, 0), Q(1, 0)});
    ASSERT_EQ(qd_te_parents_collect_transfer(&d, 0, 2, chains.list), 1);
    EXPECT_EQ(d.left_parent, nullptr);
    ASSERT_EQ(qd_te_parents_collect_transfer(&d, row, 0, chains.list), 1);
    EXPECT_EQ(Text(d.right_parent), (S{"1:1:4", "1:2:2"}));
    EXPECT_EQ(d.left_parent, nullptr);
    nlst* extra = List({Par(9, 9, 1)});
    ASSERT_EQ(qd_te_insert_parents(&d, extra, 2, 0), 1);
    EXPECT_EQ(Text(d.left_parent), (S{"9:9:1"}));
    EXPECT_EQ(Text(d.right_parent), (S{"1:1:4", "1:2:2", "9:9:1"}));
    ASSERT_EQ(qd_te_insert_parents(&d, extra, 7, 0), 1);  // other sides: nothing
    nlst_free(extra);
    ASSERT_EQ(qd_te_parents_list_init(&d, 2), 1);
    EXPECT_EQ(d.right_parent, nullptr);
    // An empty transfer leaves no parents.
    ASSERT_EQ(qd_te_parents_list_transfer(&d, 0, 1), 1);
    EXPECT_EQ(d.left_parent, nullptr);
    // Outside every region (the overlay walk's answer 12): no change.
    ASSERT_EQ(qd_te_parents_overlay_transfer(&d, 0, 0, chains.list), 1);
    EXPECT_EQ(d.right_parent, nullptr);
    qd_te_geo_chain_release(&d);

    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    EXPECT_EQ(qd_te_collect_parents(nullptr, &out, 2, 1), 0);
    EXPECT_EQ(qd_te_parents_collect_transfer(&d, 1, 0, nullptr), 0);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_parents_collect_transfer");
}
