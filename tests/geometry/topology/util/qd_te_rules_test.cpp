// The rules record: defaults, verification per operation, tolerances, the
// operation / dimension / secondary check over every combination, keyword
// tables both ways, the relate pattern and the callback dispatchers.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "geometry/geo_test_util.h"
#include "geometry/topology/qd_te_util.h"

namespace {

int32_t AcceptAll(SpatialObject*, nlst*, void*) { return 1; }

struct ErrorSpy {
    std::vector<int32_t> codes;
    int32_t answer = 0;
    static int32_t On(FailEvent* e, void* self) {
        auto* spy = static_cast<ErrorSpy*>(self);
        spy->codes.push_back(e->code);
        return spy->answer;
    }
};

TeRules Fresh(ErrorSpy* spy) {
    TeRules r;
    qd_te_rules_init(&r);
    r.error_method = {&ErrorSpy::On, spy};
    r.output_method = {&AcceptAll, nullptr};
    return r;
}

}  // namespace

TEST(qd_te_rules, Defaults) {
    TeRules r;
    ASSERT_EQ(qd_te_rules_init(&r), 1);
    EXPECT_EQ(r.work_extent[0], -1e100);
    EXPECT_EQ(r.work_extent[2], -1e6);
    EXPECT_EQ(r.work_extent[4], 1e100);
    EXPECT_EQ(r.secondary, 45);
    EXPECT_EQ(r.input_option_1, 1);
    EXPECT_EQ(r.per_input_buffer, 1);
    EXPECT_EQ(r.reconnect, 1);
    EXPECT_EQ(r.chain_increment, 100);
    EXPECT_EQ(r.buffer.arc_segments, 32);  // half the library's 64
    EXPECT_EQ(r.buffer.width.width_option, 2);
    EXPECT_EQ(r.zcrd.zmode, 2);
    EXPECT_EQ(r.tolerance.tolerance, 1e-10);
    EXPECT_EQ(r.tolerance.snap_outer, 1e-10);
    EXPECT_EQ(r.statistics.data_extent[0], 1e100);
    EXPECT_EQ(r.statistics.data_extent[3], -1e100);
    EXPECT_EQ(r.statistics.measures[3], -1);
    EXPECT_EQ(r.event_method.on_fail, nullptr);
    EXPECT_EQ(r.event_method.context, &r.clock);
    EXPECT_EQ(r.output_method.function, nullptr);

    TeKeys k;
    qd_te_keys_init(&k);
    EXPECT_EQ(k.key, -1);
    EXPECT_EQ(k.parent.packed, 0);
    TePack p;
    qd_te_pack_init(&p);
    EXPECT_EQ(p.work.flag, 1);
    EXPECT_EQ(p.work.env_min.x, -1e308);
    EXPECT_EQ(p.work.primitives, nullptr);

    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    EXPECT_EQ(qd_te_rules_init(nullptr), 0);
    EXPECT_EQ(qd_te_tol_init(nullptr), 0);
    ASSERT_EQ(rec.reports().size(), 2u);
    EXPECT_EQ(rec.Last().code, "UKT1M");
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_tol_init");
}

TEST(qd_te_rules, VerifyPerOperation) {
    ErrorSpy spy;
    TeRules r = Fresh(&spy);
    EXPECT_EQ(qd_te_rules_verify(&r), 1);

    // Without an output method: -14.
    r.output_method.function = nullptr;
    EXPECT_EQ(qd_te_rules_verify(&r), 0);
    EXPECT_EQ(spy.codes, std::vector<int32_t>{-14});

    struct {
        int32_t mode, secondary, output_dim;
        int32_t want_secondary, want_dim;
        int want;
    } cases[] = {
        {TE_DISSOLVE, TE_NONE, 0, 20, 0, 1},
        {TE_DISSOLVE, TE_EXCURSION, 0, 21, 0, 1},
        {TE_BUFFER, 45, 0, 21, 0, 1},
        {TE_UNCLOSED, 45, 0, 45, 3, 1},
        {TE_BRANCH, 45, 3, 45, 3, 0},  // surface BRANCH refused: -12
    };
    for (const auto& k : cases) {
        spy.codes.clear();
        r = Fresh(&spy);
        r.mode = k.mode;
        r.secondary = k.secondary;
        r.output_dim = k.output_dim;
        EXPECT_EQ(qd_te_rules_verify(&r), k.want) << k.mode;
        EXPECT_EQ(r.secondary, k.want_secondary) << k.mode;
        EXPECT_EQ(r.output_dim, k.want_dim) << k.mode;
        if (!k.want) { EXPECT_EQ(spy.codes, std::vector<int32_t>{-12}); }
    }
    // Flags each operation sets: {mode, field, value before, value after}.
    struct {
        int32_t mode;
        int32_t TeRules::*field;
        int32_t before, after;
    } flags[] = {
        {TE_DISSOLVE, &TeRules::dissolve_drop, 0, 1},
        {TE_ERASE_IN, &TeRules::islands, 1, 0},
        {TE_DIFFERENCE, &TeRules::islands, 1, 0},
        {TE_INTERSECT, &TeRules::islands, 0, 1},
        {TE_CONVEX_HULL, &TeRules::convex, 0, 1},
        {TE_LOADER, &TeRules::no_cluster, 0, 1},
        {TE_LOADER, &TeRules::no_intersect, 0, 1},
        {TE_ADJUST, &TeRules::no_intersect, 0, 1},
        {TE_ADJUST, &TeRules::dissolve_islands, 1, 0},
        {TE_SINGLE, &TeRules::islands, 1, 1},
    };
    for (const auto& k : flags) {
        r = Fresh(&spy);
        r.mode = k.mode;
        r.*k.field = k.before;
        EXPECT_EQ(qd_te_rules_verify(&r), 1);
        EXPECT_EQ(r.*k.field, k.after) << k.mode;
    }
    r = Fresh(&spy);
    r.mode = TE_BUFFER_SPLIT;
    qd_te_rules_verify(&r);
    EXPECT_EQ(r.tolerance.min_area, 1e-12);

    // BUFFER_ALL: widths checked, -43 when below the tolerance.
    spy.codes.clear();
    r = Fresh(&spy);
    r.mode = TE_BUFFER_ALL;
    EXPECT_EQ(qd_te_rules_verify(&r), 0);
    EXPECT_EQ(spy.codes, std::vector<int32_t>{-43});
    r = Fresh(&spy);
    r.mode = TE_BUFFER_ALL;
    r.buffer.width.width = 2;
    EXPECT_EQ(qd_te_rules_verify(&r), 1);
    EXPECT_EQ(r.per_input_buffer, 0);
    EXPECT_EQ(r.buffer.width.width_left, 2);

    // A reversed work extent is put right; Z is left.
    r = Fresh(&spy);
    r.work_extent[0] = 5;
    r.work_extent[3] = 1;
    qd_te_rules_verify(&r);
    EXPECT_EQ(r.work_extent[0], 1);
    EXPECT_EQ(r.work_extent[3], 5);
}

TEST(qd_te_rules, Tolerances) {
    TeTolerance t;
    qd_te_tol_init(&t);
    t.snap_outer = 2;
    t.snap_inner = 5;
    t.tolerance = 3;
    qd_te_tol_verify(&t, 0);
    EXPECT_EQ(t.snap_outer, 5);
    EXPECT_EQ(t.snap_inner, 3);
    EXPECT_EQ(t.vertex_tolerance, 3);
    qd_te_tol_verify(&t, 1);
    EXPECT_EQ(t.snap_outer, 0);
    EXPECT_EQ(t.snap_inner, 0);
    EXPECT_EQ(t.vertex_tolerance, 0);

    qd_te_tol_init(&t);
    t.tolerance = -1;
    t.bend_filter = -4;
    t.tolerance_only = 1;
    t.distance_filter = 7;
    qd_te_tol_verify(&t, 0);
    EXPECT_EQ(t.tolerance, 1e-10);
    EXPECT_EQ(t.distance_filter, 0);
    EXPECT_EQ(t.bend_filter, 0);

    // An input's tolerances merged with the run's, or taken from it.
    ErrorSpy spy;
    TeRules r = Fresh(&spy);
    r.tolerance.snap_outer = 4;
    r.tolerance.tolerance = 0.5;
    TeTolerance own;
    qd_te_tol_init(&own);
    own.snap_outer = 9;
    ASSERT_EQ(qd_te_tol_vect_verify(&own, &r, 1), 1);
    EXPECT_EQ(own.snap_outer, 9);
    EXPECT_EQ(own.tolerance, 0.5);
    EXPECT_EQ(own.snap_inner, 0.5);
    qd_te_tol_init(&own);
    own.snap_outer = 9;
    ASSERT_EQ(qd_te_tol_vect_verify(&own, &r, 0), 1);
    EXPECT_EQ(own.snap_outer, 4);
}

TEST(qd_te_rules, BufferWidths) {
    struct {
        int32_t two_sided;
        double width, left, right, tol;
        int want;
        double want_width, want_left, want_right;
    } cases[] = {
        {0, 2, 0, 0, 1e-10, 1, 2, 2, 2},
        {0, -2, 0, 0, 1e-10, 1, -2, -2, -2},
        {0, 1e-11, 0, 0, 1e-10, 0, 1e-11, 0, 0},
        {1, 0, 3, 2, 1e-10, 1, 2, 3, 2},
        {1, 0, 3, -2, 1e-10, 1, -3, -3, -2},
        {1, 0, 3, 0, 1e-10, 0, 0, 3, 0},
    };
    for (const auto& k : cases) {
        TeBuffer b;
        qd_te_buffer_init(&b);
        b.arc_segments = 1;
        b.width.two_sided = k.two_sided;
        b.width.width = k.width;
        b.width.width_left = k.left;
        b.width.width_right = k.right;
        EXPECT_EQ(qd_te_buffer_verify(&b, k.tol), k.want);
        EXPECT_EQ(b.arc_segments, 3);
        EXPECT_EQ(b.width.width, k.want_width);
        EXPECT_EQ(b.width.width_left, k.want_left);
        EXPECT_EQ(b.width.width_right, k.want_right);
    }
}

// The check over every operation, dimension 0-4 and secondary code, against
// the lists of the rules: modes allowed with any secondary code, and modes
// allowed only with some.
TEST(qd_te_rules, ModeCheckTable) {
    const std::set<int> node_any = {0, 1, 2, 5, 6, 7, 8, 10, 11, 12, 14, 17, 23, 24,
                                    32, 33, 34, 35, 36, 40, 41, 42, 43, 44};
    std::set<int> linear_any = node_any;
    linear_any.insert({3, 4, 13, 16});
    const std::set<int> surface_modes = {0, 1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 16,
                                         17, 22, 23, 24, 32, 33, 34, 35, 36, 40, 41, 42, 43};
    const std::set<int> surface_secondary = {18, 19, 20, 21, 45};
    const std::set<int> common = {25, 26, 27, 28, 29, 30, 31, 45, 46};
    const std::set<int> minmax = {38, 39, 45};
    int accepted = 0;
    for (int dim = 0; dim <= 4; ++dim)
        for (int mode = -1; mode <= 48; ++mode)
            for (int sec = -1; sec <= 48; ++sec) {
                bool want = false;
                if (dim == 0) want = true;
                else if (dim == 1)
                    want = node_any.count(mode) || (mode == 37 && minmax.count(sec));
                else if (dim == 2)
                    want = linear_any.count(mode) || (mode == 37 && minmax.count(sec)) ||
                           (mode == 15 && common.count(sec));
                else if (dim == 3)
                    want = (surface_modes.count(mode) && surface_secondary.count(sec)) ||
                           (mode == 15 && common.count(sec)) ||
                           (mode == 37 && minmax.count(sec)) || mode == 44;
                EXPECT_EQ(qd_te_mode_check(dim, mode, sec), want ? 1 : 0)
                    << dim << " " << mode << " " << sec;
                accepted += want;
            }
    EXPECT_GT(accepted, 0);
    EXPECT_EQ(qd_te_mode_check(3, TE_BRANCH, 45), 0);
    EXPECT_EQ(qd_te_mode_check(-1, 0, 45), 0);
}

TEST(qd_te_rules, Keywords) {
    struct {
        const char* text;
        int (*read)(char*, int32_t*);
        int32_t want;  // -99: refused
    } cases[] = {
        {"dissolve", qd_te_set_primary_aggregation, 5},
        {"Adjust", qd_te_set_primary_aggregation, 44},
        {"SYMMETRIC_DIFFERENCE", qd_te_set_primary_aggregation, 17},
        {"DISSOLVE ", qd_te_set_primary_aggregation, -99},
        {"NONE", qd_te_set_primary_aggregation, -99},
        {"drop_spikes", qd_te_set_secondary_aggregation, 20},
        {"ALL", qd_te_set_secondary_aggregation, 45},
        {"EXCURSION", qd_te_set_secondary_aggregation, 21},
        {"none", qd_te_set_secondary_aggregation, 19},
        {"max", qd_te_set_secondary_aggregation, 39},
        {"spaghetti", qd_te_set_output_dimension, 2},
        {"SURFACE", qd_te_set_output_dimension, 3},
        {"AREA", qd_te_set_output_dimension, -99},
    };
    for (const auto& k : cases) {
        char text[32];
        std::strcpy(text, k.text);
        int32_t code = -99;
        EXPECT_EQ(k.read(text, &code), k.want != -99 ? 1 : 0) << k.text;
        EXPECT_EQ(code, k.want) << k.text;
        std::string upper = k.text;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(std::string(text), upper);  // upper-cased in place
    }
    // Reverse tables.
    char name[32];
    char text[] = "DROP_SPIKES";
    int32_t code = 0;
    qd_te_set_secondary_aggregation(text, &code);
    qd_te_secondary_name(name, code);
    EXPECT_STREQ(name, "INCURSION");
    struct {
        int (*write)(char*, int32_t);
        int32_t code;
        const char* want;
    } names[] = {
        {qd_te_primary_name, 40, "LOADER"},  {qd_te_primary_name, 9, "NONE"},
        {qd_te_primary_name, 18, "NONE"},    {qd_te_secondary_name, 0, "LINEAR"},
        {qd_te_secondary_name, 2, "LINEAR"}, {qd_te_secondary_name, 46, "ALL_POINTS"},
        {qd_te_secondary_name, 19, "NONE"},  {qd_te_secondary_name, 31, "ALL_CROSSING"},
        {qd_te_dimension_name, 2, "LINEAR"}, {qd_te_dimension_name, 7, "ANY"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(n.write(name, n.code), 1);
        EXPECT_STREQ(name, n.want);
    }
    EXPECT_EQ(qd_te_primary_name(nullptr, 1), 0);

    // Null text: reported, except for the dimension reader.
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    EXPECT_EQ(qd_te_set_primary_aggregation(nullptr, &code), 0);
    EXPECT_EQ(qd_te_set_output_dimension(nullptr, &code), 0);
    EXPECT_EQ(rec.reports().size(), 1u);
}

TEST(qd_te_rules, RelatePattern) {
    int32_t cells[9];
    qd_te_relate_matrix_init(cells);
    for (int32_t c : cells) EXPECT_EQ(c, 4);
    ASSERT_EQ(qd_te_relate_matrix_parse("T*F**F***", cells), 1);
    const int32_t want[9] = {3, 4, -1, 4, 4, -1, 4, 4, 4};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(cells[i], want[i]) << i;
    ASSERT_EQ(qd_te_relate_matrix_parse("t012f-1***extra", cells), 1);
    const int32_t want2[9] = {3, 0, 1, 2, -1, -1, 4, 4, 4};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(cells[i], want2[i]) << i;
    EXPECT_EQ(qd_te_relate_matrix_parse("T*F**F**", cells), 0);  // eight characters
    EXPECT_EQ(qd_te_relate_matrix_parse("T*F**F**X", cells), 0);
    EXPECT_EQ(cells[0], 3);  // a refused pattern leaves the cells
}

TEST(qd_te_rules, CallbackDispatch) {
    geotest::FailRecorder rec;
    geotest::StdoutCapture quiet;
    ErrorSpy spy;
    TeCallback cb = {&ErrorSpy::On, &spy};
    spy.answer = 7;
    EXPECT_EQ(qd_te_event_method(9, &cb), 7);
    EXPECT_EQ(spy.codes, std::vector<int32_t>{9});
    spy.answer = 0;
    EXPECT_EQ(qd_te_event_method(18, &cb), 0);  // stops the stage, reported
    ASSERT_EQ(rec.reports().size(), 1u);
    EXPECT_EQ(rec.Last().Get("function"), "qd_te_event_method");
    TeCallback none = {nullptr, nullptr};
    EXPECT_EQ(qd_te_event_method(18, &none), 1);
    EXPECT_EQ(qd_te_event_method(18, nullptr), 0);
    // The error method passes every code but 1.
    spy.codes.clear();
    EXPECT_EQ(qd_te_error_method(1, &cb), 1);
    EXPECT_EQ(qd_te_error_method(-4, &cb), 0);
    EXPECT_EQ(spy.codes, std::vector<int32_t>{-4});
}

TEST(qd_te_rules, CheckDimensionAndCounters) {
    struct {
        int32_t wanted, dim, want;
    } cases[] = {{4, 9, 1}, {0, 0, 1}, {0, 4, 1}, {0, 1, 0}, {1, 1, 1}, {2, 4, 1}, {2, 3, 0},
                 {3, 0, 1}, {3, 3, 1}, {3, 4, 0}, {-1, -1, 1}, {-1, 0, 0}, {5, 5, 0}};
    for (const auto& k : cases) EXPECT_EQ(qd_te_check_dimension(k.wanted, k.dim), k.want);
    TeCounters a, b;
    qd_te_statistics_counter_init(&a);
    qd_te_statistics_counter_init(&b);
    for (int i = 0; i < TE_COUNTERS; ++i) a.count[i] = i, b.count[i] = 100;
    qd_te_statistics_counter_sum(&a, &b);
    EXPECT_EQ(a.count[13], 113);
    EXPECT_EQ(a.count[0], 100);
}
