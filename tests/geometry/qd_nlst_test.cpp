// Growable arrays: growth and shrink arithmetic, refusals that change
// nothing, moves, walks and searches.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "geo_test_util.h"

using geotest::FailRecorder;
using geotest::List;
using geotest::StdoutCapture;

namespace {


List IntList(int count, uint32_t capacity = 0, uint32_t inc = 0) {
    List l(nlst_alloc(sizeof(int), capacity, inc, nullptr));
    for (int i = 0; i < count; ++i) nlst_add(l.get(), &i);
    return l;
}

std::vector<int> Ints(const nlst* l) {
    const int* p = static_cast<const int*>(l->data);
    return std::vector<int>(p, p + l->tally);
}

}  // namespace

TEST(nlst, CreationCapacityAndIncrement) {
    struct Case {
        uint32_t capacity, inc, want_capacity, want_inc;
    } cases[] = {{0, 0, 16, 16}, {10, 0, 11, 16}, {1, 3, 2, 3}};
    for (const Case& c : cases) {
        List l(nlst_alloc(8, c.capacity, c.inc, nullptr));
        ASSERT_TRUE(l);
        EXPECT_EQ(l->capacity, c.want_capacity);
        EXPECT_EQ(l->inc, c.want_inc);
        EXPECT_EQ(l->tally, 0u);
        const std::vector<char> zero(size_t{l->capacity} * 8, 0);
        EXPECT_EQ(std::memcmp(l->data, zero.data(), zero.size()), 0);
    }
}

TEST(nlst, GrowthKeepsOldBytesAndZeroFillsNewSlots) {
    List l = IntList(16);
    ASSERT_EQ(l->capacity, 16u);
    const int seventeenth = 16;
    ASSERT_EQ(nlst_add(l.get(), &seventeenth), 1);
    EXPECT_EQ(l->capacity, 49u);
    std::vector<int> want(17);
    std::iota(want.begin(), want.end(), 0);
    EXPECT_EQ(Ints(l.get()), want);
    const int* slots = static_cast<const int*>(l->data);
    for (uint32_t i = 17; i < 49; ++i) EXPECT_EQ(slots[i], 0) << "slot " << i;

    // Increment 1: a full list of c slots grows to 2c + 2.
    List one = IntList(6, 4, 1);
    EXPECT_EQ(one->capacity, 12u);
}

TEST(nlst, ShrinkOnlyPastOneIncrementOfSlack) {
    List l = IntList(17);
    ASSERT_EQ(l->capacity, 49u);
    ASSERT_EQ(nlst_remove_many(l.get(), 10, 7), 1);
    EXPECT_EQ(l->capacity, 17u);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // 10 of 17 slots: within one increment of slack, nothing moves.
    ASSERT_EQ(nlst_remove(l.get(), 0), 1);
    EXPECT_EQ(l->capacity, 17u);
    EXPECT_EQ(nlst_trunc(l.get(), 20), 1);
    EXPECT_EQ(l->tally, 9u);
}

TEST(nlst, RefusedCallsReportOnceAndChangeNothing) {
    struct Case {
        const char* name;
        int (*call)(nlst*);
        const char* function;
        const char* param;
    } cases[] = {
        {"insert past tally", [](nlst* l) { int v = 9; return nlst_insert(l, &v, l->tally + 1); },
         "nlst_insert_many", "row"},
        {"remove past tally", [](nlst* l) { return nlst_remove_many(l, 2, l->tally - 1); },
         "nlst_remove_many", "count"},
        {"remove at tally", [](nlst* l) { return nlst_remove(l, l->tally); }, "nlst_remove_many",
         "row"},
        {"replace past tally", [](nlst* l) { int v = 9; return nlst_replace(l, &v, l->tally + 1); },
         "nlst_replace_many", "row"},
        {"vtrunc to tally", [](nlst* l) { return nlst_vtrunc(l, l->tally); }, "nlst_vtrunc", "row"},
        {"get past tally", [](nlst* l) { int v; return nlst_get(l, &v, l->tally); }, "nlst_get",
         "row"},
        {"add null", [](nlst* l) { return nlst_add(l, nullptr); }, "nlst_add", "datum"},
        {"append null", [](nlst* l) { return nlst_append(l, nullptr); }, "nlst_append", "alst"},
        {"append unlike sizes",
         [](nlst* l) {
             nlst* other = nlst_alloc(sizeof(double), 0, 0, nullptr);
             const int r = nlst_append(l, other);
             nlst_free(other);
             return r;
         },
         "nlst_append", "alst"},
        {"find null key", [](nlst* l) { return nlst_find(l, nullptr, nullptr) ? 1 : 0; },
         "nlst_find", "key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        List l = IntList(5);
        const std::vector<int> before = Ints(l.get());
        const uint32_t capacity = l->capacity;
        FailRecorder rec;
        StdoutCapture out;
        EXPECT_EQ(c.call(l.get()), 0);
        const std::string text = out.Text();
        ASSERT_EQ(rec.reports().size(), 1u);
        EXPECT_EQ(rec.Last().code, "UKT_1");
        EXPECT_EQ(rec.Last().Get("function"), c.function);
        EXPECT_EQ(rec.Last().Get("param"), c.param);
        EXPECT_NE(text.find("\"qd_nlst.cpp\", line "), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - 8), ": UKT_1\n");
        EXPECT_EQ(Ints(l.get()), before);
        EXPECT_EQ(l->capacity, capacity);
    }
}

TEST(nlst, NullListIsReportedAsLst) {
    FailRecorder rec;
    StdoutCapture out;
    int v = 1;
    EXPECT_EQ(nlst_tally(nullptr), 0u);
    EXPECT_EQ(nlst_add(nullptr, &v), 0);
    EXPECT_EQ(nlst_index(nullptr, 0), nullptr);
    EXPECT_EQ(nlst_core(nullptr), nullptr);
    EXPECT_EQ(nlst_free(nullptr), 0);
    ASSERT_EQ(rec.reports().size(), 5u);
    for (const auto& r : rec.reports()) EXPECT_EQ(r.Get("param"), "lst");
    EXPECT_EQ(nlst_alloc(0, 4, 4, nullptr), nullptr);
    EXPECT_EQ(rec.Last().Get("param"), "size");
}

TEST(nlst, InsertReplaceAndRemoveMoveTheRightElements) {
    List l = IntList(4);
    const int two[] = {10, 11};
    ASSERT_EQ(nlst_insert_many(l.get(), two, 1, 2), 1);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 10, 11, 1, 2, 3}));
    ASSERT_EQ(nlst_insert(l.get(), &two[0], l->tally), 1);  // at tally: append
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 10, 11, 1, 2, 3, 10}));
    ASSERT_EQ(nlst_remove_many(l.get(), 5, 2), 1);  // the tail, nothing moved
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 10, 11, 1, 2}));
    ASSERT_EQ(nlst_remove_many(l.get(), 1, 2), 1);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1, 2}));

    const int three[] = {7, 8, 9};
    ASSERT_EQ(nlst_replace_many(l.get(), three, 1, 0), 1);  // count 0: nothing
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1, 2}));
    ASSERT_EQ(nlst_replace_many(l.get(), three, 2, 3), 1);  // runs past the end
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1, 7, 8, 9}));
    ASSERT_EQ(nlst_replace_many(l.get(), three, l->tally, 3), 1);  // at tally: extends
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1, 7, 8, 9, 7, 8, 9}));

    ASSERT_EQ(nlst_vtrunc(l.get(), 2), 1);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({0, 1}));
}

TEST(nlst, ReadsCutAtTheEnd) {
    List l = IntList(8);
    int dest[10] = {};
    EXPECT_EQ(nlst_get_many(l.get(), dest, 5, 10), 3u);
    EXPECT_EQ(dest[0], 5);
    EXPECT_EQ(dest[2], 7);
    EXPECT_EQ(dest[3], 0);
}

TEST(nlst, WhereFindsRowsAndRejectsMidElementPointers) {
    List l = IntList(6);
    uint32_t row = 99;
    char* base = static_cast<char*>(l->data);
    EXPECT_EQ(nlst_where(l.get(), base + 3 * sizeof(int), &row), 1);
    EXPECT_EQ(row, 3u);
    FailRecorder rec;
    StdoutCapture out;
    row = 99;
    EXPECT_EQ(nlst_where(l.get(), base + 4 * sizeof(int) + 1, &row), 0);
    EXPECT_EQ(row, 4u);
    EXPECT_EQ(rec.Last().Get("param"), "item");
    row = 99;
    EXPECT_EQ(nlst_where(l.get(), base + 6 * sizeof(int), &row), 1);  // past the used part
    EXPECT_EQ(row, 99u);
    EXPECT_EQ(rec.reports().size(), 1u);
}

TEST(nlst, ExecStopsAtFirstOtherResultAndSeesAppendedElements) {
    for (int stop : {0, 2, -1}) {
        List l = IntList(5);
        struct Ctx {
            int calls, stop_at, result;
        } ctx{0, 2, stop};
        const int r = nlst_exec(
            l.get(),
            [](void*, void* u) {
                Ctx* c = static_cast<Ctx*>(u);
                return c->calls++ == c->stop_at ? c->result : 1;
            },
            &ctx);
        EXPECT_EQ(r, stop);
        EXPECT_EQ(ctx.calls, 3);
    }
    List empty = IntList(0);
    EXPECT_EQ(nlst_exec(empty.get(), [](void*, void*) { return 0; }, nullptr), 1);

    List grow = IntList(1);
    int visited = 0;
    struct G {
        nlst* l;
        int* visited;
    } g{grow.get(), &visited};
    nlst_exec(
        grow.get(),
        [](void* e, void* u) {
            G* gg = static_cast<G*>(u);
            ++*gg->visited;
            int next = *static_cast<int*>(e) + 1;
            if (next < 40) nlst_add(gg->l, &next);  // reallocates on the way
            return 1;
        },
        &g);
    EXPECT_EQ(visited, 40);
}

TEST(nlst, SortFindCoreAppendSelf) {
    List l(nlst_alloc(sizeof(int), 0, 0, nullptr));
    for (int v : {5, 3, 9, 1}) nlst_add(l.get(), &v);
    auto cmp = [](const void* a, const void* b) {
        return *static_cast<const int*>(a) - *static_cast<const int*>(b);
    };
    nlst_sort(l.get(), cmp);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({1, 3, 5, 9}));
    const int key = 5, missing = 4;
    EXPECT_EQ(*static_cast<int*>(nlst_find(l.get(), &key, cmp)), 5);
    EXPECT_EQ(nlst_find(l.get(), &missing, cmp), nullptr);

    ASSERT_EQ(nlst_append(l.get(), l.get()), 1);
    EXPECT_EQ(Ints(l.get()), std::vector<int>({1, 3, 5, 9, 1, 3, 5, 9}));
    int* core = static_cast<int*>(nlst_core(l.get()));
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core[7], 9);
    qd_free(core);

    FailRecorder rec;
    StdoutCapture out;
    List empty = IntList(0);
    EXPECT_EQ(nlst_find(empty.get(), &key, cmp), nullptr);
    EXPECT_TRUE(rec.reports().empty());
    EXPECT_EQ(nlst_core(empty.get()), nullptr);
    EXPECT_EQ(rec.Last().Get("param"), "lst");
    EXPECT_EQ(nlst_set_inc(empty.get(), 0), 16u);
    EXPECT_EQ(nlst_set_inc(empty.get(), 5), 16u);
    EXPECT_EQ(nlst_get_inc(empty.get()), 5u);
}

TEST(nlst, FailedAllocationKeepsTheList) {
    List l = IntList(16);
    FailRecorder rec;
    StdoutCapture out;
    qd_alloc_fail_nth(1);
    const int v = 16;
    EXPECT_EQ(nlst_add(l.get(), &v), 0);
    qd_alloc_fail_nth(0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_0"}));
    EXPECT_EQ(rec.Last().Get("function"), "qd_alloc");
    EXPECT_EQ(l->tally, 16u);
    EXPECT_EQ(l->capacity, 16u);
    EXPECT_EQ(static_cast<int*>(l->data)[15], 15);

    // A header allocation that succeeds with failing storage frees the header.
    qd_alloc_fail_nth(2);
    EXPECT_EQ(nlst_alloc(4, 0, 0, nullptr), nullptr);
    qd_alloc_fail_nth(0);
}

TEST(nlst, CapacityBeyond32BitsIsRefused) {
    FailRecorder rec;
    StdoutCapture out;
    EXPECT_EQ(nlst_alloc(8, 0xFFFFFFFFu, 0, nullptr), nullptr);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_0"}));

    List l = IntList(3, 2, 0xFFFFFFFFu);  // growth would pass 4,294,967,295 slots
    const int v = 0;
    rec.Clear();
    EXPECT_EQ(nlst_add(l.get(), &v), 0);
    EXPECT_EQ(rec.Codes(), std::vector<std::string>({"UKT_0"}));
    EXPECT_EQ(l->tally, 3u);
}

TEST(nlst, DumpIsGatedByTheTraceLevelAndStopsWithThePrinter) {
    List l(nlst_alloc(sizeof(int), 4, 2, [](void* e) { return *static_cast<int*>(e) == 7 ? 0 : 1; }));
    for (int v : {5, 7, 9}) nlst_add(l.get(), &v);
    FailRecorder rec;
    std::vector<std::string> messages;
    qd_fail_state.trace_recorder = [](int level, const char*, const char* m, void* c) {
        static_cast<std::vector<std::string>*>(c)->push_back(std::to_string(level) + " " + m);
    };
    qd_fail_state.trace_recorder_context = &messages;
    StdoutCapture out;
    qd_trace_set_level(9);
    EXPECT_EQ(nlst_dump(l.get()), 1);
    EXPECT_TRUE(messages.empty());
    qd_trace_set_level(16);
    EXPECT_EQ(nlst_dump(l.get()), 0);  // the printer's first result other than 1
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0].rfind("16 List: 0x", 0), 0u) << messages[0];
    EXPECT_EQ(messages[1], "16 \tSize     = 4");
    EXPECT_EQ(messages[2], "16 \tCapacity = 5");
    EXPECT_EQ(messages[3], "16 \tTally    = 3");
    EXPECT_EQ(messages[4], "16 \tElements:");
    EXPECT_EQ(messages[5], "16 \t\t[00000]: ");
    EXPECT_EQ(messages[6], "16 \t\t[00001]: ");
    std::string want;
    for (int i = 0; i < 7; ++i) want += "UKT_X\n";
    EXPECT_EQ(out.Text(), want);
}
