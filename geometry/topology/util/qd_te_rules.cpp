// The rules record: initialisers, verification, the operation check, the
// keyword tables, the relate pattern and the callback dispatchers.
#include <cmath>
#include <initializer_list>
#include <cstring>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_option.h"
#include "geometry/topology/qd_te_util.h"

namespace {

struct Keyword {
    const char* text;
    int32_t code;
};

const Keyword kPrimary[] = {
    {"SINGLE", 0},         {"SPLIT", 1},           {"ALL", 2},
    {"BRANCH", 3},         {"CONTIGUOUS", 4},      {"DISSOLVE", 5},
    {"ERASE_IN", 6},       {"ERASE_OUT", 7},       {"BUFFER", 8},
    {"ADJACENT", 10},      {"JOIN", 11},           {"PRESERVE", 12},
    {"UNCLOSED", 13},      {"INTERSECT", 14},      {"INTERSECT_NODES", 15},
    {"OVERLAY_NODES", 16}, {"SYMMETRIC_DIFFERENCE", 17}, {"ALL_PRESERVE", 23},
    {"BREAK", 24},         {"BUFFER_ALL", 32},     {"BUFFER_SPLIT", 33},
    {"BUFFER_OVERLAP", 34}, {"CONVEX_HULL", 35},   {"DIFFERENCE", 36},
    {"DISTANCE", 37},      {"LOADER", 40},         {"RELATE", 41},
    {"BOUNDARY", 42},      {"SHARED", 43},         {"ADJUST", 44},
};

const Keyword kSecondary[] = {
    {"SINGLE", 45},       {"ALL", 45},          {"LINEAR", 45},        {"ALL_POINTS", 46},
    {"DISCARD", 18},      {"NONE", 19},         {"DROP_SPIKES", 20},   {"INCURSION", 20},
    {"DROP_DANGLES", 21}, {"EXCURSION", 21},    {"COMMON_EDGE", 25},   {"COMMON_CROSS", 26},
    {"COMMON_TOUCH", 27}, {"COMMON_ENDS", 28},  {"COMMON_ALL", 29},    {"CROSSING", 30},
    {"ALL_CROSSING", 31}, {"MIN", 38},          {"MAX", 39},
};

const Keyword kDimension[] = {
    {"ANY", 0}, {"NODE", 1}, {"LINEAR", 2}, {"SURFACE", 3}, {"SPAGHETTI", 2},
};

template <size_t N>
int match(const Keyword (&table)[N], const char* text, int32_t* code) {
    for (const Keyword& k : table)
        if (std::strcmp(k.text, text) == 0) {
            *code = k.code;
            return 1;
        }
    return 0;
}

void write_name(char* buffer, const char* text) { std::strcpy(buffer, text); }

bool in(int32_t v, std::initializer_list<int32_t> set) {
    for (int32_t s : set)
        if (s == v) return true;
    return false;
}

bool common_secondary(int32_t s) { return (s >= 25 && s <= 31) || s == 45 || s == 46; }
bool distance_secondary(int32_t s) { return s == 38 || s == 39 || s == 45; }

}  // namespace

int qd_te_missing(const char* function) {
    QD_FAIL("UKT1M", "function%s", function, nullptr);
    return 0;
}

int qd_te_no_memory() {
    QD_FAIL("UKT1N", "nbytes%d", -1, nullptr);
    return 0;
}

int qd_te_work_extent_init(TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_work_extent_init");
    const double extent[6] = {-1e100, -1e100, -1e6, 1e100, 1e100, -1e6};
    std::memcpy(rules->work_extent, extent, sizeof extent);
    return 1;
}

int qd_te_tol_init(TeTolerance* tol) {
    if (!tol) return qd_te_missing("qd_te_tol_init");
    *tol = {0, 1e-10, 1e-10, 1e-10, 0, 0, 0, 1e-10};
    return 1;
}

int qd_te_zcrd_init(TeZcrd* z) {
    if (!z) return qd_te_missing("qd_te_zcrd_init");
    *z = {2, -1e6, -1e6};
    return 1;
}

int qd_te_buffer_width_init(TeBufferWidth* w) {
    if (!w) return qd_te_missing("qd_te_buffer_width_init");
    *w = {0, 0, 0, 0, 0, 2};
    return 1;
}

int qd_te_buffer_init(TeBuffer* b) {
    if (!b) return qd_te_missing("qd_te_buffer_init");
    qd_te_buffer_width_init(&b->width);
    b->buffer_option = 1;
    b->arc_segments = ktgeo_option_arc_segments() / 2;
    b->buffer_option_b = 1;
    return 1;
}

int qd_te_statistics_counter_init(TeCounters* c) {
    if (!c) return qd_te_missing("qd_te_statistics_counter_init");
    *c = {};
    return 1;
}

void qd_te_statistics_counter_sum(TeCounters* a, const TeCounters* b) {
    if (!a || !b) return;
    for (int i = 0; i < TE_COUNTERS; ++i) a->count[i] += b->count[i];
}

int qd_te_statistics_init(TeStatistics* s) {
    if (!s) return qd_te_missing("qd_te_statistics_init");
    *s = {};
    const double extent[6] = {1e100, 1e100, -1e6, -1e100, -1e100, -1e6};
    std::memcpy(s->data_extent, extent, sizeof extent);
    s->max_tolerance = 1e-10;
    for (double& m : s->measures) m = -1;
    return 1;
}

int qd_te_filter_geom_init(TeFilter* filter, int32_t value) {
    if (!filter) return qd_te_missing("qd_te_filter_geom_init");
    *filter = {value, value, value, value, value, value, value, value, value, value, value, value};
    return 1;
}

int qd_te_callback_init(TeCallback* cb) {
    if (!cb) return qd_te_missing("qd_te_callback_init");
    cb->on_fail = nullptr;
    cb->context = nullptr;
    return 1;
}

int qd_te_rules_init(TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_rules_init");
    std::memset(static_cast<void*>(rules), 0, sizeof *rules);
    qd_te_work_extent_init(rules);
    rules->secondary = 45;
    rules->input_option_1 = 1;
    rules->input_option_2 = 1;
    rules->per_input_buffer = 1;
    rules->reconnect_option = 1;
    rules->reconnect = 1;
    qd_te_buffer_init(&rules->buffer);
    qd_te_zcrd_init(&rules->zcrd);
    qd_te_tol_init(&rules->tolerance);
    qd_te_statistics_init(&rules->statistics);
    rules->output_method = {nullptr, nullptr};
    rules->eafs_method = {nullptr, nullptr};
    qd_te_callback_init(&rules->event_method);
    rules->event_method.context = &rules->clock;
    qd_te_callback_init(&rules->error_method);
    rules->clock = {};
    rules->output_csid = 0;
    rules->chain_increment = 100;
    return 1;
}

int qd_te_keys_init(TeKeys* keys) {
    if (!keys) return qd_te_missing("qd_te_keys_init");
    keys->parent = {0, 0, 0};
    keys->key = -1;
    qd_te_tol_init(&keys->tolerance);
    qd_te_filter_geom_init(&keys->filter, 0);
    qd_te_buffer_width_init(&keys->width);
    return 1;
}

int qd_te_clip_init(TeClip* clip) {
    if (!clip) return qd_te_missing("qd_te_clip_init");
    *clip = {nullptr, 0};
    return 1;
}

SpatialObject* qd_te_so_reset(SpatialObject* object, int32_t csid) {
    if (!object) return nullptr;
    ktgeo_so_init_empty(object);
    object->flag = 1;
    object->csid = csid;
    return object;
}

int qd_te_pack_init(TePack* pack) {
    if (!pack) return qd_te_missing("qd_te_pack_init");
    qd_te_keys_init(&pack->keys);
    qd_te_clip_init(&pack->clip);
    pack->use_input = 0;
    pack->pack_flag = 0;
    qd_te_so_reset(&pack->work, 0);
    pack->input = nullptr;
    pack->pack_state = 0;
    pack->adjust_list = nullptr;
    return 1;
}

int qd_te_relate_matrix_init(int32_t cells[9]) {
    if (!cells) return qd_te_missing("qd_te_relate_matrix_init");
    for (int i = 0; i < 9; ++i) cells[i] = 4;
    return 1;
}

int qd_te_extent_verify(TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_extent_verify");
    double* e = rules->work_extent;
    for (int i = 0; i < 2; ++i)
        if (e[i] > e[i + 3]) {
            const double t = e[i];
            e[i] = e[i + 3];
            e[i + 3] = t;
        }
    return 1;
}

int qd_te_tol_verify(TeTolerance* tol, int32_t no_cluster) {
    if (!tol) return qd_te_missing("qd_te_tol_verify");
    // fmax/fmin also turn a NaN into the floor.
    tol->tolerance = std::fmax(tol->tolerance, 1e-10);
    tol->bend_filter = std::fmax(tol->bend_filter, 0.0);
    tol->distance_filter = std::fmax(tol->distance_filter, 0.0);
    if (tol->tolerance_only == 1) {
        tol->snap_outer = tol->snap_inner = tol->vertex_tolerance = 0;
        tol->bend_filter = tol->distance_filter = 0;
    } else if (no_cluster == 1) {
        tol->snap_outer = tol->snap_inner = tol->vertex_tolerance = 0;
    } else {
        tol->vertex_tolerance = std::fmax(tol->vertex_tolerance, tol->tolerance);
        const double lo = std::fmin(tol->snap_outer, tol->snap_inner);
        const double hi = std::fmax(tol->snap_outer, tol->snap_inner);
        tol->snap_inner = std::fmax(tol->tolerance, lo);
        tol->snap_outer = std::fmax(hi, tol->snap_inner);
    }
    return 1;
}

int qd_te_tol_vect_verify(TeTolerance* tol, TeRules* rules, int merge) {
    if (!tol || !rules) return qd_te_missing("qd_te_tol_vect_verify");
    TeTolerance& run = rules->tolerance;
    if (!qd_te_tol_verify(&run, rules->no_cluster)) return 0;
    if (merge == 1) {
        tol->tolerance = std::fmax(tol->tolerance, run.tolerance);
        tol->vertex_tolerance = std::fmax(tol->vertex_tolerance, run.tolerance);
        tol->snap_inner = std::fmax(tol->snap_inner, run.snap_inner);
        tol->snap_outer = std::fmax(tol->snap_outer, run.snap_outer);
    } else {
        tol->tolerance = run.tolerance;
        tol->vertex_tolerance = run.vertex_tolerance;
        tol->snap_inner = run.snap_inner;
        tol->snap_outer = run.snap_outer;
    }
    return qd_te_tol_verify(tol, rules->no_cluster);
}

int qd_te_buffer_verify(TeBuffer* buffer, double tolerance) {
    if (!buffer) return qd_te_missing("qd_te_buffer_verify");
    if (buffer->arc_segments < 3) buffer->arc_segments = 3;
    TeBufferWidth& w = buffer->width;
    if (w.two_sided) {
        const double l = std::fabs(w.width_left), r = std::fabs(w.width_right);
        w.width = std::fmin(l, r);
        if (!(l >= tolerance && r >= tolerance)) return 0;
        if (w.width_left >= 0 && w.width_right >= 0) return 1;
        w.width_left = -l;
        w.width_right = -r;
        w.width = std::fmin(w.width_left, w.width_right);
        return 1;
    }
    if (!(std::fabs(w.width) >= tolerance)) return 0;
    w.width_left = w.width_right = w.width;
    return 1;
}

int qd_te_mode_check(int32_t output_dim, int32_t mode, int32_t secondary) {
    switch (output_dim) {
    case 0:
        return 1;
    case 1:
    case 2:
        if (in(mode, {0, 1, 2, 5, 6, 7, 8, 10, 11, 12, 14, 17, 23, 24, 32, 33, 34, 35, 36, 40,
                     41, 42, 43, 44}))
            return 1;
        if (mode == TE_DISTANCE) return distance_secondary(secondary);
        if (output_dim == 1) return 0;
        if (in(mode, {3, 4, 13, 16})) return 1;
        if (mode == TE_INTERSECT_NODES) return common_secondary(secondary);
        return 0;
    case 3:
        if (in(mode, {0, 1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 16, 17, 22, 23, 24, 32, 33, 34,
                     35, 36, 40, 41, 42, 43}))
            return (secondary >= 18 && secondary <= 21) || secondary == 45;
        if (mode == TE_INTERSECT_NODES) return common_secondary(secondary);
        if (mode == TE_DISTANCE) return distance_secondary(secondary);
        return mode == TE_ADJUST;
    default:
        return 0;
    }
}

int qd_te_rules_verify(TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_rules_verify");
    if (!qd_te_tol_verify(&rules->tolerance, rules->no_cluster)) return 0;
    if (!qd_te_extent_verify(rules)) return 0;
    if (!qd_te_mode_check(rules->output_dim, rules->mode, rules->secondary)) {
        qd_te_error_method(-12, &rules->error_method);
        return 0;
    }
    if (!rules->output_method.function) {
        qd_te_error_method(-14, &rules->error_method);
        return 0;
    }
    TeTolerance& tol = rules->tolerance;
    switch (rules->mode) {
    case TE_DISSOLVE:
        if (!in(rules->secondary, {18, 20, 21})) rules->secondary = 20;
        rules->dissolve_drop = 1;
        break;
    case TE_ERASE_IN:
    case TE_DIFFERENCE:
        rules->islands = 0;
        break;
    case TE_BUFFER:
    case TE_BUFFER_SPLIT:
        rules->secondary = 21;
        tol.min_area = std::fmax(tol.min_area, 1e-12);
        break;
    case TE_UNCLOSED:
        rules->output_dim = 3;
        break;
    case TE_INTERSECT:
        rules->islands = 1;
        break;
    case TE_BUFFER_ALL:
        tol.min_area = std::fmax(tol.min_area, 1e-12);
        rules->per_input_buffer = 0;
        if (!qd_te_buffer_verify(&rules->buffer, tol.tolerance)) {
            qd_te_error_method(-43, &rules->error_method);
            return 0;
        }
        break;
    case TE_CONVEX_HULL:
        rules->convex = 1;
        break;
    case TE_LOADER:
        rules->no_cluster = 1;
        rules->no_intersect = 1;
        break;
    case TE_ADJUST:
        rules->no_cluster = 1;
        rules->no_intersect = 1;
        rules->dissolve_islands = 0;
        break;
    default:
        break;
    }
    return 1;
}

char* qd_te_upper(char* text) {
    if (!text) return text;
    for (char* p = text; *p; ++p)
        if (*p >= 'a' && *p <= 'z') *p = char(*p - 'a' + 'A');
    return text;
}

int qd_te_set_primary_aggregation(char* text, int32_t* code) {
    if (!text || !code) return qd_te_missing("qd_te_set_primary_aggregation");
    return match(kPrimary, qd_te_upper(text), code);
}

int qd_te_set_secondary_aggregation(char* text, int32_t* code) {
    if (!text || !code) return qd_te_missing("qd_te_set_secondary_aggregation");
    return match(kSecondary, qd_te_upper(text), code);
}

int qd_te_set_output_dimension(char* text, int32_t* code) {
    if (!text || !code) return 0;
    return match(kDimension, qd_te_upper(text), code);
}

int qd_te_primary_name(char* buffer, int32_t code) {
    if (!buffer) return 0;
    for (const Keyword& k : kPrimary)
        if (k.code == code) {
            write_name(buffer, k.text);
            return 1;
        }
    write_name(buffer, "NONE");
    return 1;
}

int qd_te_secondary_name(char* buffer, int32_t code) {
    if (!buffer) return 0;
    static const Keyword kNames[] = {
        {"LINEAR", 0},        {"LINEAR", 2},        {"LINEAR", 45},       {"ALL_POINTS", 46},
        {"DISCARD", 18},      {"INCURSION", 20},    {"EXCURSION", 21},    {"COMMON_EDGE", 25},
        {"COMMON_CROSS", 26}, {"COMMON_TOUCH", 27}, {"COMMON_ENDS", 28},  {"COMMON_ALL", 29},
        {"CROSSING", 30},     {"ALL_CROSSING", 31}, {"MIN", 38},          {"MAX", 39},
    };
    for (const Keyword& k : kNames)
        if (k.code == code) {
            write_name(buffer, k.text);
            return 1;
        }
    write_name(buffer, "NONE");
    return 1;
}

int qd_te_dimension_name(char* buffer, int32_t code) {
    if (!buffer) return 0;
    write_name(buffer, code == 1 ? "NODE" : code == 2 ? "LINEAR" : code == 3 ? "SURFACE" : "ANY");
    return 1;
}

int qd_te_relate_matrix_parse(const char* text, int32_t cells[9]) {
    if (!text || !cells) return qd_te_missing("qd_te_relate_matrix_parse");
    // At least nine characters; "-1" reads as one cell of two characters.
    int32_t read[9];
    const char* p = text;
    for (int i = 0; i < 9; ++i) {
        const char c = *p;
        if (c == '\0') return 0;
        if (c == '-' && p[1] == '1') {
            read[i] = -1;
            p += 2;
            continue;
        }
        switch (c) {
        case '*': read[i] = 4; break;
        case 'F': case 'f': read[i] = -1; break;
        case '0': read[i] = 0; break;
        case '1': read[i] = 1; break;
        case '2': read[i] = 2; break;
        case 'T': case 't': read[i] = 3; break;
        default: return 0;
        }
        ++p;
    }
    std::memcpy(cells, read, sizeof read);
    return 1;
}

int qd_te_relate_geom_max_dim(const SpatialObject* geometry, int32_t* dim) {
    if (!geometry || !dim) return qd_te_missing("qd_te_relate_geom_max_dim");
    const uint32_t n = geometry->primitives ? nlst_tally(geometry->primitives) : 0;
    bool points = false, lines = false, polygons = false;
    for (uint32_t i = 0; i < n; ++i) {
        const auto* p = static_cast<const GeometricPrimitive*>(nlst_index(geometry->primitives, i));
        points |= p->type == KTGEO_POINT;
        lines |= p->type == KTGEO_CURVE || p->type == KTGEO_PATH;
        polygons |= p->type == KTGEO_POLYGON;
    }
    if (polygons) *dim = 2 > *dim ? 2 : *dim;
    else if (lines) *dim = 1 > *dim ? 1 : *dim;
    else if (points) *dim = 0 > *dim ? 0 : *dim;
    return 1;
}

int32_t qd_te_event_method(int32_t event, TeCallback* callback) {
    if (!callback) return qd_te_missing("qd_te_event_method");
    if (!callback->on_fail) return 1;
    FailEvent record = {event, callback};
    const int32_t r = callback->on_fail(&record, callback->context);
    if (r != 0) return r;
    return qd_te_missing("qd_te_event_method");
}

int32_t qd_te_eafs_method(SpatialObject* geometry, TeEafsCallback* callback) {
    if (!callback) return qd_te_missing("qd_te_eafs_method");
    if (!callback->function) return 1;
    ktgeo_so_complete(geometry);
    const int32_t r = callback->function(geometry, callback->user);
    if (r == 0) qd_te_missing("qd_te_eafs_method");
    return r;
}
