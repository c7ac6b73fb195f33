// Entry points: the default error method's table, a run without an output
// method, the stage log against a golden file, the one-call and operator
// entries, runs over geometry lists, the list output method and the fail
// handler a run installs and puts back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/ktgeo_model.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_func_assembly.h"

using geotest::C;

namespace {

int64_t g_tick = 0;
int64_t Ticking(void*) {
    const int64_t t = 1000000000 + 61 * g_tick;
    ++g_tick;
    return t;
}

struct Trace {
    std::vector<std::string> lines;
    Trace() {
        qd_fail_state.trace_recorder = &Trace::On;
        qd_fail_state.trace_recorder_context = this;
        qd_trace_set_level(64);
    }
    ~Trace() { qd_fail_reset_state(); }
    static void On(int, const char* function, const char* message, void* self) {
        std::string f = function;
        if (f.size() == 15 && f.rfind("qd_te(", 0) == 0) f = "qd_te(XXXXXXXX)";
        std::string line = f;
        line.append(" ").append(message);
        static_cast<Trace*>(self)->lines.push_back(line);
    }
};

nlst* Packs(std::vector<geotest::Object*> objects) {
    nlst* packs = nlst_alloc(sizeof(TePack), 4, 4, nullptr);
    int32_t i = 0;
    for (geotest::Object* o : objects) {
        TePack p;
        qd_te_pack_init(&p);
        p.keys.parent = {1, ++i, 0};
        p.use_input = 1;
        p.input = &o->so;
        nlst_add(packs, &p);
    }
    return packs;
}

}  // namespace

TEST(qd_te_entry, ErrorMethodTable) {
    struct {
        int32_t code;
        const char* report;  // "" nothing
        int32_t answer;
    } cases[] = {
        {0, "01KTL", 1},   {-1, "01KTK", 1},  {-46, "01KTK", 1}, {-2, "01KTJ", 1},  {-3, "01KTI", 1},
        {-4, "01KTH", 1},  {-5, "01KTG", 1},  {-6, "01KTF", 1},  {-7, "01KTE", 1},  {-8, "01KTD", 1},
        {-9, "01KTC", 1},  {-10, "01KTB", 1}, {-11, "UKT1P", 0}, {-12, "UKT1Q", 0}, {-13, "UKT1R", 0},
        {-14, "UKT1O", 0}, {-15, "UKT1U", 0}, {-16, "01KTA", 1}, {-17, "UKT1T", 0}, {-18, "", 0},
        {-22, "", 0},      {-23, "", 1},      {-24, "", 1},      {-25, "", 0},      {-41, "", 0},
        {-42, "01KTM", 1}, {-43, "UKT1S", 0}, {-44, "01KTN", 1}, {-45, "UKT1V", 1}, {-300, "", 1},
        {5, "", 1},
    };
    geotest::StdoutCapture quiet;
    for (const auto& k : cases) {
        geotest::FailRecorder rec;
        FailEvent e = {k.code, nullptr};
        EXPECT_EQ(qd_te_func_abstract_error_method(&e, nullptr), k.answer) << k.code;
        if (*k.report) {
            ASSERT_EQ(rec.reports().size(), 1u) << k.code;
            EXPECT_EQ(rec.Last().code, k.report);
        } else {
            EXPECT_TRUE(rec.reports().empty()) << k.code;
        }
    }
    // Installed as the fail handler, its own report does not come back.
    geotest::FailRecorder rec;
    TeRules r;
    qd_te_rules_init(&r);
    r.error_method = {qd_te_func_abstract_error_method, nullptr};
    FailHandler* before = qd_fail_state.handler;
    FailHandler* previous = qd_te_set_fail_handler(&r);
    EXPECT_EQ(previous, before);
    EXPECT_EQ(qd_te_error_method(-12, &r.error_method), 0);
    qd_te_clear_fail_handler(previous);
    EXPECT_EQ(qd_fail_state.handler, before);
    EXPECT_EQ(rec.reports().size(), 1u);
}

TEST(qd_te_entry, NoOutputMethod) {
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    std::vector<int32_t> events;
    struct Obs {
        static void On(int32_t e, const nlst*, const TeRules*, void* v) {
            static_cast<std::vector<int32_t>*>(v)->push_back(e);
        }
    };
    qd_te_stage_observer = {Obs::On, &events};
    geotest::Object o;
    o.AddPoint(C(1, 1));
    nlst* packs = Packs({&o});
    for (int32_t mode : {TE_SINGLE, TE_LOADER, TE_DISSOLVE}) {
        TeRules r;
        qd_te_rules_init(&r);
        r.mode = mode;
        r.error_method = {qd_te_func_abstract_error_method, nullptr};
        rec.Clear();
        EXPECT_EQ(qd_te_func_abstract(packs, &r), 0);
        EXPECT_EQ(rec.Codes(), std::vector<std::string>{"UKT1O"});
    }
    EXPECT_TRUE(events.empty());  // no run started, no chain list made
    qd_te_stage_observer = {nullptr, nullptr};
    nlst_free(packs);
}

TEST(qd_te_entry, StageLogGolden) {
    setenv("TZ", "UTC", 1);
    tzset();
    const TeTimeSource saved = qd_te_time_source;
    qd_te_time_source = {Ticking, nullptr};
    g_tick = 0;
    Trace trace;
    TeClock clock = {};
    auto send = [&](int32_t e) {
        FailEvent ev = {e, nullptr};
        EXPECT_EQ(qd_te_func_abstract_event_method(&ev, &clock), 1);
    };
    send(17);
    for (int32_t e = 1; e <= 16; ++e) send(e);
    send(21);
    send(0);
    send(19);
    send(20);
    send(18);  // first time event: no line
    send(18);  // 61 seconds later
    qd_te_time_source = saved;
    std::ifstream golden(std::string(QL_TE_GOLDEN_DIR) + "/stage_log.txt");
    std::vector<std::string> want;
    for (std::string line; std::getline(golden, line);) want.push_back(line);
    ASSERT_EQ(want.size(), 19u);
    EXPECT_EQ(trace.lines, want);
    // At the default trace level nothing is written.
    qd_trace_set_level(40);
    trace.lines.clear();
    send(1);
    EXPECT_TRUE(trace.lines.empty());
}

TEST(qd_te_entry, OperatorAndOneCallEntries) {
    struct Count {
        int calls = 0;
        static int32_t On(SpatialObject*, nlst*, void* self) {
            ++static_cast<Count*>(self)->calls;
            return 1;
        }
    } count;
    TeCallbacks cbs = {};
    cbs.output_method = {Count::On, &count};
    nlst* empty = nlst_alloc(sizeof(TePack), 1, 1, nullptr);
    EXPECT_EQ(qd_te_operator(TE_SINGLE, empty, &cbs, nullptr), 1);
    EXPECT_EQ(qd_te_operator(TE_SINGLE, nullptr, &cbs, nullptr), 1);
    EXPECT_EQ(count.calls, 0);
    {
        geotest::FailRecorder rec;
        geotest::StdoutCapture quiet;
        EXPECT_EQ(qd_te_operator(TE_SINGLE, empty, nullptr, nullptr), 0);
        EXPECT_EQ(rec.Last().Get("function"), "qd_te_operator");
    }
    // LOADER through the operator: each input goes to the output method.
    geotest::Object a, b;
    a.AddPoint(C(1, 1));
    b.AddCurve(geotest::Curve({C(0, 0), C(2, 2)}));
    nlst* packs = Packs({&a, &b});
    const int32_t dim = 0;
    EXPECT_EQ(qd_te_operator(TE_LOADER, packs, &cbs, &dim), 1);
    EXPECT_EQ(count.calls, 2);
    // The one-call entry collects packs: SINGLE over the line gives it back.
    nlst* out = nullptr;
    nlst* line = Packs({&b});
    EXPECT_EQ(qd_te_op_single(line, &out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->tally, 1u);
    qd_te_pack_list_free(&out);
    EXPECT_EQ(qd_te_op_dissolve(empty, &out), 1);
    EXPECT_EQ(out, nullptr);
    nlst_free(line);
    nlst_free(packs);
    nlst_free(empty);
}

TEST(qd_te_entry, GeometryListRuns) {
    TeRules r;
    qd_te_rules_init(&r);
    qd_te_func_abstract_set_rules(&r, TE_LOADER, nullptr, 0, 0);
    geotest::Object a, b;
    a.AddPoint(C(1, 1));
    a.so.csid = 7;
    b.AddCurve(geotest::Curve({C(0, 0), C(2, 2)}));
    b.AddPoint(C(5, 5));
    b.so.csid = 7;
    ktgeo_so_complete(&a.so);
    ktgeo_so_complete(&b.so);
    nlst* list = nlst_alloc(sizeof(SpatialObject), 2, 1, nullptr);
    nlst_add(list, &a.so);
    nlst_add(list, &b.so);
    geotest::Object result;
    int32_t status = 9;
    ASSERT_EQ(qd_te_func_abstract_bygeomlist(list, &result.so, &r, &status), 1);
    EXPECT_EQ(status, 1);
    ASSERT_NE(result.so.primitives, nullptr);
    EXPECT_EQ(result.so.primitives->tally, 3u);
    EXPECT_EQ(result.so.csid, 7);
    EXPECT_EQ(r.statistics.data_dim, 2);
    EXPECT_EQ(r.statistics.input_counters.count[0], 3);

    // Two coordinate systems: status -1, answer 1, nothing merged.
    static_cast<SpatialObject*>(nlst_index(list, 1))->csid = 8;
    geotest::Object none;
    {
        geotest::FailRecorder rec;
        geotest::StdoutCapture quiet;
        qd_te_rules_init(&r);
        qd_te_func_abstract_set_rules(&r, TE_LOADER, nullptr, 0, 0);
        ASSERT_EQ(qd_te_func_abstract_bygeomlist(list, &none.so, &r, &status), 1);
    }
    EXPECT_EQ(status, -1);
    EXPECT_EQ(none.so.primitives, nullptr);
    // No geometries: reset, status 0.
    nlst* empty = nlst_alloc(sizeof(SpatialObject), 1, 1, nullptr);
    ASSERT_EQ(qd_te_func_abstract_bygeomlist(empty, &none.so, &r, &status), 1);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(none.so.csid, 0);
    // The list holds copies of the holders' records: detach them.
    list->tally = 0;
    nlst_free(list);
    nlst_free(empty);
}

TEST(qd_te_entry, ListOutputMethod) {
    nlst* holder = nullptr;
    TeOutputList out;
    qd_te_func_abstract_set_output_list(&out, &holder, nullptr);
    geotest::Object result;
    result.AddPoint(C(1, 2));
    result.so.csid = 4;
    // No parents at all, then an empty parent list.
    ASSERT_EQ(qd_te_func_abstract_output_list_method(&result.so, nullptr, &out), 1);
    EXPECT_EQ(result.so.primitives, nullptr);  // the pack owns them
    EXPECT_EQ(result.so.csid, 4);
    result.AddPoint(C(3, 4));
    nlst* parents = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
    ASSERT_EQ(qd_te_func_abstract_output_list_method(&result.so, parents, &out), 1);
    const TeParent p = {3, 9, 16};
    nlst_add(parents, &p);
    result.AddPoint(C(5, 6));
    ASSERT_EQ(qd_te_func_abstract_output_list_method(&result.so, parents, &out), 1);
    ASSERT_EQ(holder->tally, 3u);
    const auto* third = static_cast<const TePack*>(nlst_index(holder, 2));
    EXPECT_EQ(third->keys.parent.id_b, 9);
    EXPECT_EQ(third->work.primitives->tally, 1u);
    // A filter that drops points leaves nothing to add.
    out.filter.drop_points = 1;
    result.AddPoint(C(7, 8));
    ASSERT_EQ(qd_te_func_abstract_output_list_method(&result.so, parents, &out), 1);
    EXPECT_EQ(holder->tally, 3u);
    nlst_free(parents);
    qd_te_pack_list_free(&holder);
    EXPECT_EQ(holder, nullptr);
}
