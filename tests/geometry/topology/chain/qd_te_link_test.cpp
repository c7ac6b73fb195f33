// Link order and free list: setup, removal, insertion into free slots and
// at the end, walking, the universal rectangle and the run's dimension;
// and 10,000 random removes and inserts against a plain model.
#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_util.h"

using tetest::Chain;
using tetest::Chains;
using tetest::Q;

namespace {

void ExpectInvariants(const nlst* chains, int32_t checks = 0) {
    char why[160] = "";
    EXPECT_EQ(qd_te_check_invariants(chains, checks, why), 1) << why;
}

std::vector<int32_t> LinkOrder(const nlst* chains) {
    std::vector<int32_t> rows;
    int32_t index = 0;
    TeChain* next = nullptr;
    while (qd_te_link_get_next_chain(chains, &index, &next) && next) rows.push_back(index);
    return rows;
}

}  // namespace

TEST(qd_te_link, SetupRemoveInsert) {
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}));  // A
    chains.Add(Chain(TE_LINE, {Q(2, 0), Q(3, 0)}));  // B
    ASSERT_EQ(qd_te_link_setup(chains.list), 1);
    EXPECT_EQ(chains.At(0)->link_fore, 1);
    EXPECT_EQ(chains.At(0)->link_back, 2);
    EXPECT_EQ(chains.At(1)->link_fore, 2);
    EXPECT_EQ(chains.At(1)->link_back, 0);
    EXPECT_EQ(chains.At(2)->link_fore, -1);
    EXPECT_EQ(chains.At(2)->link_back, 1);
    ExpectInvariants(chains.list, TE_INV_IDS);

    // Removing A: the index goes to 0, the universal chain leads to B, A's
    // slot heads the free list.
    int32_t index = 1;
    ASSERT_EQ(qd_te_link_remove_chain(chains.list, &index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(chains.At(0)->link_fore, 2);
    EXPECT_EQ(chains.At(2)->link_back, 0);
    EXPECT_EQ(chains.At(0)->link_free, 1);
    EXPECT_EQ(chains.At(1)->discard, CHAIN_FREE);
    EXPECT_EQ(chains.At(1)->coords, nullptr);
    ExpectInvariants(chains.list);

    // A new chain takes A's slot and its row as chain_id.
    TeChain c = Chain(TE_LINE, {Q(5, 5), Q(6, 6)});
    ASSERT_EQ(qd_te_link_insert_chain(chains.list, 2, &c), 1);
    EXPECT_EQ(c.coords, nullptr);  // moved into the list
    EXPECT_EQ(chains.Count(), 3);
    EXPECT_EQ(chains.At(1)->chain_id, 1);
    EXPECT_EQ(chains.At(0)->link_free, -1);
    EXPECT_EQ(LinkOrder(chains.list), (std::vector<int32_t>{1, 2}));
    // At the end: a new row.
    TeChain d = Chain(TE_LINE, {Q(7, 7), Q(8, 8)});
    ASSERT_EQ(qd_te_link_insert_chain(chains.list, chains.Count(), &d), 1);
    EXPECT_EQ(LinkOrder(chains.list), (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(chains.At(0)->link_back, 3);
    ExpectInvariants(chains.list, TE_INV_IDS);

    // From the last chain the walk ends with index 0.
    index = 3;
    TeChain* next = chains.At(1);
    ASSERT_EQ(qd_te_link_get_next_chain(chains.list, &index, &next), 1);
    EXPECT_EQ(next, nullptr);
    EXPECT_EQ(index, 0);

    // Refusals: a free chain, the universal chain, past the end.
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    index = 2;
    ASSERT_EQ(qd_te_link_remove_chain(chains.list, &index), 1);
    index = 2;
    EXPECT_EQ(qd_te_link_remove_chain(chains.list, &index), 0);
    index = 0;
    EXPECT_EQ(qd_te_link_remove_chain(chains.list, &index), 0);
    index = 9;
    EXPECT_EQ(qd_te_link_remove_chain(chains.list, &index), 0);
    EXPECT_EQ(qd_te_link_fore_chain(chains.list, &next, 2), 0);  // on the free list
    TeChain e = Chain(TE_LINE, {});
    EXPECT_EQ(qd_te_link_insert_chain(chains.list, 0, &e), 0);
    EXPECT_EQ(qd_te_link_insert_chain(chains.list, 2, &e), 0);  // before a free slot
    EXPECT_EQ(rec.Codes().size(), 6u);
    ExpectInvariants(chains.list);
}

TEST(qd_te_link, RemovingTheOnlyChain) {
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}));
    qd_te_link_setup(chains.list);
    int32_t index = 1;
    ASSERT_EQ(qd_te_link_remove_chain(chains.list, &index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(chains.At(0)->link_fore, -1);
    EXPECT_EQ(chains.At(0)->link_back, 0);
    ExpectInvariants(chains.list);
    // Inserting into the emptied order, at the end.
    TeChain c = Chain(TE_LINE, {Q(0, 0), Q(1, 0)});
    ASSERT_EQ(qd_te_link_insert_chain(chains.list, chains.Count(), &c), 1);
    EXPECT_EQ(LinkOrder(chains.list), (std::vector<int32_t>{1}));
    ExpectInvariants(chains.list, TE_INV_IDS);
}

// Random removes and inserts (before a random linked chain or at the end)
// against a std::list of chain ids, from a fresh list and from a reset one.
TEST(qd_te_link, RandomEditsAgainstAModel) {
    for (int reset = 0; reset < 2; ++reset) {
        Chains chains(8);
        std::mt19937 gen(uint32_t(11 + reset));
        if (reset) {
            chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 0)}));
            qd_te_link_setup(chains.list);
            qd_te_geo_chain_list_reset(chains.list);
        }
        std::list<int32_t> model;  // chain_pid of the chains in link order
        int32_t next_pid = 1;
        for (int step = 0; step < 10000; ++step) {
            const bool remove = !model.empty() && gen() % 5 < 2;
            if (remove) {
                auto it = model.begin();
                std::advance(it, gen() % model.size());
                const std::vector<int32_t> rows = LinkOrder(chains.list);
                int32_t row = rows[size_t(std::distance(model.begin(), it))];
                ASSERT_EQ(chains.At(row)->chain_pid, *it);
                ASSERT_EQ(qd_te_link_remove_chain(chains.list, &row), 1);
                model.erase(it);
            } else {
                TeChain c = Chain(TE_LINE, {Q(step, 0), Q(step, 1)}, next_pid);
                const std::vector<int32_t> rows = LinkOrder(chains.list);
                const size_t at = model.empty() ? 0 : gen() % (model.size() + 1);
                const int32_t before = at == model.size() ? chains.Count() : rows[at];
                ASSERT_EQ(qd_te_link_insert_chain(chains.list, before, &c), 1);
                auto it = model.begin();
                std::advance(it, at);
                model.insert(it, next_pid++);
            }
            if (step % 97 == 0) {
                char why[160] = "";
                ASSERT_EQ(qd_te_check_invariants(chains.list, TE_INV_IDS, why), 1) << step << " " << why;
            }
        }
        ExpectInvariants(chains.list, TE_INV_IDS);
        std::vector<int32_t> got;
        for (int32_t row : LinkOrder(chains.list)) got.push_back(chains.At(row)->chain_pid);
        EXPECT_EQ(got, std::vector<int32_t>(model.begin(), model.end()));
    }
}

TEST(qd_te_link, UniversalRectangle) {
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(10, 5)}));
    const double extent[6] = {0, 0, -1e6, 10, 5, -1e6};
    ASSERT_EQ(qd_te_link_largest_mer(chains.list, extent, 0), 1);
    const TeChain* u = chains.At(0);
    EXPECT_EQ(u->chain_mer[0].x, 0 - 1e-8 - 1e-8);
    EXPECT_EQ(u->chain_mer[1].y, 5 + 1e-8 + 1e-8);
    EXPECT_EQ(u->discard, CHAIN_SENTINAL);
    ASSERT_EQ(u->coords->tally, 5u);
    const auto* v = static_cast<const TeVertex*>(u->coords->data);
    EXPECT_EQ(v[1].x, u->chain_mer[0].x);
    EXPECT_EQ(v[1].y, u->chain_mer[1].y);
    EXPECT_EQ(v[4].x, v[0].x);
    EXPECT_EQ(v[2].z, -1e6);
    // A second call replaces the ring.
    ASSERT_EQ(qd_te_link_largest_mer(chains.list, extent, 0), 1);
    EXPECT_EQ(chains.At(0)->coords->tally, 5u);
}

TEST(qd_te_link, RunDimension) {
    struct {
        int32_t mode, output_dim, data_dim, target_dim;
        int32_t want_output, want_data;
    } cases[] = {
        {TE_SPLIT, 0, 3, 2, 2, 2},
        {TE_DIFFERENCE, 3, 3, 1, 1, 1},
        {TE_BRANCH, 0, 3, 0, 2, 2},
        {TE_SINGLE, 0, 2, 0, 2, 2},
        {TE_SINGLE, 3, 2, 0, 3, 3},
        {TE_SINGLE, 1, 0, 0, 1, 0},
    };
    for (const auto& k : cases) {
        TeRules r;
        qd_te_rules_init(&r);
        r.mode = k.mode;
        r.output_dim = k.output_dim;
        r.statistics.data_dim = k.data_dim;
        r.statistics.target_dim = k.target_dim;
        ASSERT_EQ(qd_te_link_topology(&r), 1);
        EXPECT_EQ(r.output_dim, k.want_output) << k.mode;
        EXPECT_EQ(r.statistics.data_dim, k.want_data) << k.mode;
    }
}

// The chain-list sort against a stable sort by qd_te_chain_compare over
// records with many equal keys (minimum x and y from small sets, equal
// types and maxima) and a few sentinel chains besides the universal one:
// the same records in the same order, ties kept in row order.
TEST(qd_te_link, SortIsTheStableOrderOfTheCompare) {
    std::mt19937 rng(35);
    auto pick = [&](int n) { return double(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    for (int round = 0; round < 20; ++round) {
        std::vector<TeChain> records(1);
        qd_te_geo_chain_universal_init(&records[0]);
        const int n = 1 + round * 50;
        for (int i = 1; i <= n; ++i) {
            TeChain c;
            qd_te_geo_chain_default(&c);
            c.chain_type = pick(3) == 0 ? TE_NODE : TE_LINE;
            c.chain_mer[0] = {pick(4), pick(3), 0};
            c.chain_mer[1] = {c.chain_mer[0].x + pick(2), c.chain_mer[0].y + pick(2), 0};
            if (pick(40) == 0) c.discard = CHAIN_SENTINAL;
            records.push_back(c);
        }
        for (size_t i = 0; i < records.size(); ++i) records[i].chain_pid = int32_t(i);  // row marker
        nlst* list = nlst_alloc(sizeof(TeChain), uint32_t(records.size()), 1, nullptr);
        ASSERT_EQ(nlst_add_many(list, records.data(), uint32_t(records.size())), 1);
        ASSERT_EQ(qd_te_chain_list_sort(list), 1);
        std::stable_sort(records.begin(), records.end(),
                         [](const TeChain& a, const TeChain& b) { return qd_te_chain_compare(&a, &b) < 0; });
        for (size_t i = 0; i < records.size(); ++i)
            ASSERT_EQ(qd_te_chain_at(list, int32_t(i))->chain_pid, records[i].chain_pid) << round << " " << i;
        list->tally = 0;
        nlst_free(list);
    }
}
