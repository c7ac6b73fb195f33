// The assembly pipeline with a spy on its stage events: the stage
// sequence per operation, data dimension and
// no_intersect; early ends; collected output; a refused heartbeat at each
// call; cleanup; and the cut of results by output_split.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/qd_alloc.h"
#include "geometry/ktgeo_model.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_func_assembly.h"

using geotest::C;
using tetest::Chain;
using tetest::Chains;
using tetest::Q;

namespace {

// Records stage events (as "eN") in one sequence; checks the list's
// invariants at every event after setup.
struct Spy {
    std::vector<std::string> seq;
    std::string fault;
    Spy() { qd_te_stage_observer = {&Spy::Event, this}; }
    ~Spy() { qd_te_stage_observer = {nullptr, nullptr}; }
    static void Event(int32_t event, const nlst* chains, const TeRules*, void* self) {
        auto* spy = static_cast<Spy*>(self);
        std::string e = "e";
        e.append(std::to_string(event));
        spy->seq.push_back(e);
        char why[160];
        const bool linked = chains && qd_te_chain_at(chains, 0)->link_back != 0;
        // Before the leaving stage every live chain's rectangle holds its
        // vertices; after it (the universal chain has its frame) the link
        // fields thread the region lists (surface output's own stage
        // events 13 to 16 included).
        const bool after_leaving = event >= TE_EVENT_FEATURES && event <= 16;
        const int32_t checks =
            !after_leaving ? TE_INV_MER : chains && qd_te_chain_at(chains, 0)->coords ? TE_INV_LEAVING : 0;
        if (linked && spy->fault.empty() && !qd_te_check_invariants(chains, checks, why)) spy->fault = why;
    }
    std::string Text() const {
        std::string t;
        for (const std::string& s : seq) {
            if (!t.empty()) t.append(" ");
            t.append(s);
        }
        return t;
    }
};

int32_t Accept(SpatialObject*, nlst*, void*) { return 1; }

struct ErrorCodes {
    std::vector<int32_t> codes;
    static int32_t On(FailEvent* e, void* self) {
        static_cast<ErrorCodes*>(self)->codes.push_back(e->code);
        return 0;
    }
};

TeRules Rules(int32_t mode, int32_t data_dim, int32_t no_intersect, ErrorCodes* errors) {
    TeRules r;
    qd_te_rules_init(&r);
    r.mode = mode;
    r.no_intersect = no_intersect;
    r.output_method = {Accept, nullptr};
    r.error_method = {ErrorCodes::On, errors};
    r.statistics.data_dim = data_dim;
    r.statistics.target_dim = data_dim;
    r.statistics.max_tolerance = 1;  // clustering runs
    r.statistics.tallies[3] = 2;     // two inputs encoded
    const double extent[6] = {0, 0, -1e6, 1, 1, -1e6};
    std::copy(extent, extent + 6, r.statistics.data_extent);
    return r;
}

}  // namespace

// The events a route sends: the stage names in a route say which stage
// runs where, and a stage shows only by its events (node, linear and
// surface output send their own; surface output's first shows the route).
std::string RouteEvents(const std::string& route) {
    std::string out, word;
    std::istringstream in(route);
    while (in >> word) {
        if (word == "node_ff") word = "e10";
        else if (word == "linear_ff") word = "e11";
        else if (word == "poly_ff") word = "e13";
        else if (word.find_first_not_of("0123456789", 1) != std::string::npos) continue;  // no event of its own
        out.append(out.empty() ? "" : " ").append(word);
    }
    return out;
}

TEST(qd_te_pipeline, StageSequences) {
    const std::string std2 = "e17 e6 e1 cluster_chains e3 duplicates_removal e8 e5 intersect_chains e2 "
                             "cluster_chains e4 duplicates_removal e7 leaving e9 ";
    const std::string std2_ni = "e17 e6 e1 cluster_chains e3 duplicates_removal e8 e5 e7 leaving e9 ";
    const std::string std1 = "e17 e6 e3 duplicates_removal e2 cluster_chains e7 leaving e9 ";
    struct {
        int32_t mode, data_dim, no_intersect, inputs, secondary;
        std::string want;
        int answer;
    } cases[] = {
        {TE_SINGLE, 1, 0, 2, 45, std1 + "node_ff", 1},
        {TE_SINGLE, 2, 0, 2, 45, std2 + "linear_ff", 1},
        {TE_SINGLE, 3, 0, 2, 45, std2 + "poly_ff", 1},
        {TE_SINGLE, 2, 1, 2, 45, std2_ni + "linear_ff", 1},
        {TE_SINGLE, 3, 1, 2, 45, std2_ni + "poly_ff", 1},
        {TE_SINGLE, 0, 0, 2, 45, "e17 e6 -15", 0},
        {TE_BUFFER, 1, 0, 2, 45, std1 + "poly_ff", 1},
        {TE_BUFFER, 2, 0, 2, 45, std2 + "poly_ff", 1},
        {TE_DISTANCE, 2, 0, 2, 45, std2 + "node_ff", 1},
        {TE_DISTANCE, 2, 0, 1, 45, "e17 e6", 1},
        {TE_BRANCH, 3, 0, 2, 45, std2 + "linear_ff", 1},
        {TE_SHARED, 3, 0, 2, 45, std2 + "linear_ff", 1},
        {TE_ADJACENT, 3, 0, 2, 45, std2 + "linear_ff", 1},
        {TE_ADJACENT, 3, 0, 1, 45, "e17 e6", 1},
        {TE_INTERSECT, 3, 0, 1, 45, "e17 e6", 1},
        {TE_INTERSECT, 3, 1, 2, 45, std2_ni + "poly_ff", 1},
        {TE_LOADER, 2, 0, 2, 45, "e17 e6", 1},
        // The hull (a LINE) runs the pipeline once more as a SINGLE run.
        {TE_CONVEX_HULL, 2, 0, 2, 45, "e17 e6 e10 " + std2 + "linear_ff", 1},
        {TE_BOUNDARY, 2, 0, 2, 45, "e17 e6 linear_ff", 1},
        {TE_INTERSECT_NODES, 2, 0, 2, TE_ALL_CROSSING,
         "e17 e6 e3 duplicates_removal e5 intersect_pathline_record duplicates_intr_nodes_clip "
         "output_intersect_nodes", 1},
        {TE_INTERSECT_NODES, 2, 0, 2, TE_COMMON_TOUCH,
         "e17 e6 e5 duplicates_path_clip duplicates_intr_nodes_clip output_intersect_nodes", 1},
        {TE_SPLIT, 2, 0, 2, 45, std2 + "linear_ff", 1},
    };
    for (const auto& k : cases) {
        Spy spy;
        ErrorCodes errors;
        TeRules r = Rules(k.mode, k.data_dim, k.no_intersect, &errors);
        r.secondary = k.secondary;
        r.statistics.tallies[3] = k.inputs;
        Chains chains;
        chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
        const int answer = qd_te_assemble_chains(chains.list, &r);
        std::string got = spy.Text();
        for (int32_t c : errors.codes) got.append(" ").append(std::to_string(c));
        // Surface output runs its own stages on this one line (its tests
        // cover them): the sequence up to its first event is the route.
        const bool surface = k.want.size() >= 7 && k.want.compare(k.want.size() - 7, 7, "poly_ff") == 0;
        if (surface) got = got.substr(0, got.find(" e13") + 4);
        EXPECT_EQ(got, RouteEvents(k.want)) << k.mode << " dim " << k.data_dim << " ni " << k.no_intersect;
        if (!surface) {
            EXPECT_EQ(answer, k.answer) << k.mode;
        }
        EXPECT_EQ(spy.fault, "") << k.mode;
    }
}

TEST(qd_te_pipeline, DissolveOfPointsRemovesDuplicateNodes) {
    Spy spy;
    ErrorCodes errors;
    TeRules r = Rules(TE_DISSOLVE, 2, 0, &errors);
    r.statistics.input_counters.count[3] = 1;
    Chains chains;
    chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}));
    ASSERT_EQ(qd_te_assemble_chains(chains.list, &r), 1);
    // Both duplicate passes run between events 4 and 7 (they send none).
    EXPECT_NE(spy.Text().find("e4 e7"), std::string::npos) << spy.Text();
}

TEST(qd_te_pipeline, NoChainsAndDeadChains) {
    // Nothing encoded: 1, a zero data extent, no output.
    Spy spy;
    ErrorCodes errors;
    TeRules r = Rules(TE_SINGLE, 2, 0, &errors);
    Chains empty;
    ASSERT_EQ(qd_te_assemble_chains(empty.list, &r), 1);
    for (double e : r.statistics.data_extent) EXPECT_EQ(e, 0);
    EXPECT_EQ(spy.Text(), "e17");

    // A chain killed by a stage is unlinked by the verify step, and the
    // cleanup gives every live chain its row as id.
    Chains chains;
    for (int i = 0; i < 5; ++i) chains.Add(Chain(TE_LINE, {Q(i, 0), Q(i + 1, 1)}));
    qd_te_link_setup(chains.list);
    chains.At(2)->discard = CHAIN_DELETE;
    chains.At(4)->discard = CHAIN_INVALID;
    int32_t index = 2;
    ASSERT_EQ(qd_te_process_chains_verify(chains.list, &index), 1);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(chains.At(2)->discard, CHAIN_FREE);
    ASSERT_EQ(qd_te_process_chains_cleanup(chains.list, &r), 1);
    ASSERT_EQ(chains.Count(), 4);
    char why[160] = "";
    EXPECT_EQ(qd_te_check_invariants(chains.list, TE_INV_IDS | TE_INV_SORTED, why), 1) << why;
}

// SPLIT collects its results and joins pieces with the same parents.
TEST(qd_te_pipeline, CollectedOutputJoinsSameParents) {
    struct Out {
        std::vector<int> sizes;
        std::vector<std::string> parents;
        static int32_t On(SpatialObject* g, nlst* p, void* self) {
            auto* o = static_cast<Out*>(self);
            o->sizes.push_back(int(g->primitives ? g->primitives->tally : 0));
            std::string t;
            for (uint32_t i = 0; p && i < p->tally; ++i) {
                const auto* x = static_cast<const TeParent*>(nlst_index(p, i));
                t.append(std::to_string(x->id_a)).append(":").append(std::to_string(x->id_b));
                t.append("/").append(std::to_string(x->packed >> 3)).append(" ");
            }
            o->parents.push_back(t);
            return 1;
        }
    } out;
    nlst* collected = nlst_alloc(sizeof(TeCollected), 4, 4, nullptr);
    const TeParent a = {1, 1, 8}, b = {1, 2, 8};
    auto emit = [&](std::initializer_list<TeParent> ps, double x) {
        geotest::Object g;
        g.AddPoint(C(x, 0));
        nlst* p = nullptr;
        for (const TeParent& q : ps) qd_te_append_item_to_list(&p, &q, sizeof q);
        EXPECT_EQ(qd_te_collect_output(&g.so, p, collected), 1);
        nlst_free(p);
    };
    emit({a, b}, 1);
    emit({b}, 2);
    emit({b, a}, 3);  // same ids once merged and sorted
    ErrorCodes errors;
    TeRules r = Rules(TE_SPLIT, 1, 0, &errors);
    r.output_split = 0;
    TeOutputCallback cb = {Out::On, &out};
    ASSERT_EQ(qd_te_flush_collected(collected, &r, &cb), 1);
    qd_te_free_collected(&collected);
    EXPECT_EQ(out.sizes, (std::vector<int>{1, 2}));
    EXPECT_EQ(out.parents, (std::vector<std::string>{"1:2/1 ", "1:1/2 1:2/2 "}));
    EXPECT_EQ(r.statistics.output_counters.count[0], 2);
}

// The heartbeat refused at its n-th call, for each n: the stage stops, the
// run answers 0, and the output method and fail handler are put back.
TEST(qd_te_pipeline, RefusedHeartbeatAtEachCall) {
    struct Beat {
        int calls = 0, refuse_at = 0;
        static int32_t On(FailEvent* e, void* self) {
            auto* b = static_cast<Beat*>(self);
            if (e->code != TE_EVENT_HEARTBEAT) return 1;
            return ++b->calls == b->refuse_at ? 0 : 1;
        }
    };
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    Spy spy;
    int total = 0;
    for (int n = 0; n == 0 || n <= total; ++n) {
        ErrorCodes errors;
        TeRules r = Rules(TE_SPLIT, 2, 0, &errors);
        Beat beat;
        beat.refuse_at = n;
        r.event_method = {Beat::On, &beat};
        Chains chains;
        for (int i = 0; i < 3; ++i) chains.Add(Chain(TE_LINE, {Q(i, 0), Q(i + 1, 1)}));
        const int answer = qd_te_assemble_chains(chains.list, &r);
        EXPECT_EQ(r.output_method.function, &Accept) << n;
        if (n == 0) {
            EXPECT_EQ(answer, 1);
            total = beat.calls;
            ASSERT_GT(total, 10);
        } else {
            EXPECT_EQ(answer, 0) << n;
        }
    }
}

// The cut of one result by output_split: the types of each piece sent.
TEST(qd_te_pipeline_split, PiecesByOutputSplit) {
    struct Out {
        std::vector<std::string> pieces;
        static int32_t On(SpatialObject* g, nlst*, void* self) {
            std::string t;
            for (uint32_t i = 0; g->primitives && i < g->primitives->tally; ++i)
                t += "0PCAG"[static_cast<GeometricPrimitive*>(nlst_index(g->primitives, i))->type];
            static_cast<Out*>(self)->pieces.push_back(t);
            return 1;
        }
    };
    auto make = [](geotest::Object& o, const std::string& types) {
        for (char t : types) {
            if (t == 'P') o.AddPoint(C(1, 1));
            if (t == 'C') o.AddCurve(geotest::Curve({C(0, 0), C(1, 1)}));
            if (t == 'A') o.AddPath(geotest::Path({geotest::Curve({C(0, 0), C(1, 0)})}));
            if (t == 'G') o.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 1)}, 1, 1)));
        }
    };
    struct {
        std::string input;
        int32_t split;
        std::vector<std::string> want;  // empty: refused
    } cases[] = {
        {"PP", 0, {"PP"}},   {"PP", 1, {"PP"}},        {"PP", 2, {"P", "P"}},      {"PP", 3, {"P", "P"}},
        {"GPP", 0, {"GPP"}}, {"GPP", 1, {}},           {"GPP", 2, {"P", "P", "G"}}, {"GPP", 3, {"P", "P", "G"}},
        {"AC", 0, {"AC"}},   {"AC", 1, {"AC"}},        {"AC", 2, {"AC"}},          {"AC", 3, {"C", "A"}},
        {"GG", 0, {"GG"}},   {"GG", 1, {"GG"}},        {"GG", 2, {"GG"}},          {"GG", 3, {"G", "G"}},
        {"CG", 2, {"C", "G"}}, {"CGC", 2, {"CC", "G"}},
    };
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    for (const auto& k : cases) {
        geotest::Object o;
        make(o, k.input);
        Out out;
        TeOutputCallback cb = {Out::On, &out};
        rec.Clear();
        ASSERT_EQ(qd_te_assembly_method(&o.so, nullptr, k.split, &cb), 1);
        EXPECT_EQ(out.pieces, k.want) << k.input << " split " << k.split;
        if (k.want.empty()) {
            ASSERT_FALSE(rec.reports().empty());
            EXPECT_EQ(rec.Last().Get("function"), "<Mixture of types not allowed - Output object skipped>");
        }
    }
    // A stop at the first piece: the rest are freed unsent (the sanitizer
    // build checks the leak).
    geotest::Object o;
    make(o, "PPPG");
    struct Stop {
        static int32_t On(SpatialObject*, nlst*, void*) { return 0; }
    };
    TeOutputCallback stop = {Stop::On, nullptr};
    EXPECT_EQ(qd_te_assembly_method(&o.so, nullptr, 3, &stop), 0);
}

// A result dissolved on its own: the nested run's failure reaches the
// outer error method and fails the outer call; failures reported after it
// reach the outer error method again.
TEST(qd_te_pipeline_split, FailingNestedDissolve) {
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    geotest::Object g;
    g.AddPolygon(geotest::Polygon(geotest::Path({geotest::Square(0, 0, 1)}, 1, 1)));
    // Every stage is built: the nested run is made to fail by failing its
    // n-th allocation, for each n until one lands inside it.
    bool nested_failed = false;
    for (uint64_t n = 1; n < 2000 && !nested_failed; ++n) {
        ErrorCodes errors;
        TeRules outer = Rules(TE_SINGLE, 3, 0, &errors);
        FailHandler* previous = qd_te_set_fail_handler(&outer);
        qd_alloc_fail_nth(n);
        const int answer = qd_te_assembly_by_dissolve_method(&g.so, nullptr, &outer);
        qd_alloc_fail_nth(0);
        EXPECT_EQ(qd_fail_state.handler, &outer.error_method) << n;  // the outer run's again
        if (answer == 0 && errors.codes == std::vector<int32_t>{-11}) {
            nested_failed = true;
            qd_te_missing("a later failure");
            EXPECT_EQ(errors.codes, (std::vector<int32_t>{-11, -300}));
        }
        qd_te_clear_fail_handler(previous);
    }
    EXPECT_TRUE(nested_failed);
    ErrorCodes errors;
    TeRules outer = Rules(TE_SINGLE, 3, 0, &errors);
    // Without primitives the result goes straight to the output method.
    geotest::Object empty;
    EXPECT_EQ(qd_te_assembly_by_dissolve_method(&empty.so, nullptr, &outer), 1);
}

// The region filter: in ERASE_OUT a chain whose id meets no chain of a
// negative id is deleted; in SPLIT operand chains stay, and keys handed
// out during the pass go back to 0.
TEST(qd_te_pipeline, RegionFilter) {
    struct {
        int32_t mode;
        std::vector<int32_t> want_pids;  // live chains after the filter, in row order
    } cases[] = {
        {TE_ERASE_OUT, {-1, 2}},
        {TE_SPLIT, {-1, 2, 3, 0}},
    };
    for (const auto& k : cases) {
        ErrorCodes errors;
        TeRules r = Rules(k.mode, 2, 0, &errors);
        r.statistics.tallies[1] = 3;
        Chains chains;
        chains.Add(Chain(TE_LINE, {Q(0, 0), Q(1, 1)}, -1));
        chains.Add(Chain(TE_LINE, {Q(0.5, 0.5), Q(1.5, 1.5)}, 2));
        chains.Add(Chain(TE_LINE, {Q(10, 10), Q(11, 11)}, 3));
        chains.Add(Chain(TE_LINE, {Q(20, 20), Q(21, 21)}, 0));  // gets key 4 for the pass
        for (int32_t i = 1; i < chains.Count(); ++i) {
            const auto* v = static_cast<const TeVertex*>(chains.At(i)->coords->data);
            chains.At(i)->chain_mer[0] = Q(v[0].x, v[0].y);
            chains.At(i)->chain_mer[1] = Q(v[1].x, v[1].y);
        }
        qd_te_link_setup(chains.list);
        ASSERT_EQ(qd_te_process_region_filter(&r, chains.list), 1);
        std::vector<int32_t> pids;
        for (int32_t i = 1; i < chains.Count(); ++i)
            if (chains.At(i)->discard == CHAIN_OK) pids.push_back(chains.At(i)->chain_pid);
        EXPECT_EQ(pids, k.want_pids) << k.mode;
        char why[160] = "";
        EXPECT_EQ(qd_te_check_invariants(chains.list, 0, why), 1) << why;
    }
}
