// Chain encoders per primitive: nodes, lines, arcs, circles, curves,
// paths and the rings of surfaces, with their parents, per-vertex snap
// tolerances, Z rule, counters and statistics. Rings are encoded
// clockwise and the chains of a ring's curves run the ring's way, so the
// surface's parent lies on one known side of them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_error.h"
#include "geometry/topology/qd_te_views.h"

namespace {

struct SegmentEntry {
    GeoCoord point;
    int32_t index;
};

struct FreeBlock {
    void operator()(GeoCoord* p) const { qd_free(p); }
};
using Coords = std::unique_ptr<GeoCoord, FreeBlock>;

// A chain record that releases its lists unless handed over.
struct LocalChain {
    TeChain c;
    LocalChain() { qd_te_geo_chain_default(&c); }
    ~LocalChain() { qd_te_geo_chain_release(&c); }
};

bool bad_count(int32_t n, int32_t low) { return n < low || n > TE_MAX_CHAIN_COORDS; }

double base_tol(const TeEncoder* e) { return e->keys.tolerance.tolerance; }

bool closed_within(const GeoCoord* c, int32_t n, double t) {
    return n > 1 && qd_te_same_fuzzy_point(&c[0], &c[n - 1], t);
}

void make_clockwise(GeoCoord* c, int32_t n) {
    if (!qd_te_cogo_ring_clockwise(c, n)) qd_te_cogo_reverse_array(c, n);
}

// Index of a ring point in the sorted boundary list, or -1: a binary
// search by exact x, then a scan over x +- 2e-10 with the 1e-10 test.
int32_t find_on_ring(const nlst* list, const GeoCoord& p) {
    const auto* e = static_cast<const SegmentEntry*>(list->data);
    const uint32_t n = list->tally;
    const double low = p.x - 2e-10, high = p.x + 2e-10;
    uint32_t i = uint32_t(std::lower_bound(e, e + n, low, [](const SegmentEntry& s, double x) { return s.point.x < x; }) - e);
    for (; i < n && e[i].point.x <= high; ++i)
        if (qd_te_same_fuzzy_point(&e[i].point, &p, 1e-10)) return e[i].index;
    return -1;
}

int fail_status(int32_t* status, int32_t code) {
    *status = code;
    return 1;
}

}  // namespace

int qd_te_encode_set_zcrd(GeoCoord* coords, int32_t n, const TeZcrd* zcrd) {
    if (!zcrd) return qd_te_missing("qd_te_encode_set_zcrd");
    if (!coords) return 1;
    for (int32_t i = 0; i < n; ++i) {
        if (zcrd->zmode == 0 || (zcrd->zmode == 1 && std::fabs(coords[i].z - zcrd->zmatch) < 1e-10))
            coords[i].z = zcrd->zvalue;
    }
    return 1;
}

int qd_te_raise_dimension(int32_t kind, TeStatistics* s) {
    if (!s) return qd_te_missing("qd_te_raise_dimension");
    int32_t& d = s->data_dim;
    if (d < 0 || d > 3) return 0;
    switch (kind) {
    case 1: if (d == 0) d = 1; return 1;
    case 2: if (d <= 1) d = 2; return 1;
    case 3: d = 3; return 1;
    default: return 0;
    }
}

int qd_te_in_range(int32_t flag, double value, double low, double high) {
    return flag && low <= value && value <= high ? 1 : 0;
}

int32_t qd_te_copy_coords(const nlst* list, int32_t direction, GeoCoord** array, int32_t* failed) {
    if (failed) *failed = 0;
    if (!array) return 0;
    *array = nullptr;
    if (!list || list->tally == 0) return 0;
    auto* out = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * list->tally));
    if (!out) {
        if (failed) *failed = 1;
        qd_te_no_memory();
        return 0;
    }
    std::memcpy(out, list->data, sizeof(GeoCoord) * list->tally);
    if (direction == KTGEO_DIR_REVERSE) qd_te_cogo_reverse_array(out, int32_t(list->tally));
    *array = out;
    return int32_t(list->tally);
}

int qd_te_encode_statistics(const TeChain* chain, double tolerance, TeStatistics* s) {
    if (!chain || !s) return qd_te_missing("qd_te_encode_statistics");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally == 0) return 1;
    const int32_t n = int32_t(chain->coords->tally);
    s->max_tolerance = std::fmax(s->max_tolerance, tolerance);
    s->tallies[5] += 32 * n + 176 + (chain->node_dynamic ? 32 : 0);
    s->tallies[0] = std::max(s->tallies[0], n);
    double total = 0, shortest = 0;
    if (!qd_te_geo_chain_length_stats(chain, &total, &shortest)) return 0;
    if (total > 0) {
        if (s->measures[0] < 0 || shortest < s->measures[0]) s->measures[0] = shortest;
        s->measures[1] = std::fmax(s->measures[1], total);
    }
    if (s->data_dim < 0 || s->data_dim > 3) return 0;
    int32_t* in = s->input_counters.count;
    switch (chain->chain_type) {
    case TE_REGION:
    case TE_ISLAND: s->data_dim = 3; return 1;
    case TE_ARC:
    case TE_CIRCLE:
    case TE_CURVE: ++in[chain->chain_type == TE_ARC ? 6 : chain->chain_type == TE_CIRCLE ? 7 : 8]; [[fallthrough]];
    case TE_PATH:
    case TE_LINE:
        in[11] += n;
        in[12] += n - 1;
        if (s->data_dim <= 1) s->data_dim = 2;
        return 1;
    case TE_NODE:
        ++in[3];
        in[11] += n;
        if (s->data_dim == 0) s->data_dim = 1;
        return 1;
    default: return qd_te_missing("qd_te_encode_statistics");
    }
}

namespace {

void set_internals(TeEncoder* e, TeChain* c, int32_t type) {
    c->chain_type = type;
    c->chain_lookup = c->chain_lookup_max = e->keys.key;
    c->chain_pid = e->keys.key < 0 ? e->feature_id : -e->feature_id;
    c->adjuster = e->keys.tolerance.tolerance_only;
    c->chain_id = e->chains ? int32_t(e->chains->tally) : 0;
}

int set_parent(int32_t side, TeChain* c, TeEncoder* e) {
    if (e->rules->mode == TE_OVERLAY_NODES && e->keys.key >= 0) return 1;
    auto add = [&](nlst** list) {
        if (!*list && !(*list = nlst_alloc(sizeof(TeParent), 1, 1, nullptr))) return false;
        return nlst_add(*list, &e->keys.parent) != 0;
    };
    if ((side == 0 || side == 2) && !add(&c->right_parent)) return qd_te_no_memory();
    if ((side == 1 || side == 2) && !add(&c->left_parent)) return qd_te_no_memory();
    return 1;
}

// Vertices, filter and rectangle of a new chain.
int chain_coord(GeoCoord* coords, int32_t n, int32_t* status, TeChain* c, TeEncoder* e) {
    if (!coords || n <= 0) {
        c->discard = CHAIN_INVALID;
        return fail_status(status, -2);
    }
    const TeTolerance& t = e->keys.tolerance;
    if (!qd_te_geo_filter_seg(c, coords, &n, t.distance_filter, t.bend_filter)) return 0;
    if (c->discard != CHAIN_OK) return fail_status(status, -10);
    const bool none = c->adjuster == 1 || e->rules->no_cluster == 1;
    if (!qd_te_geo_form_location(c, coords, n, none ? 0 : t.snap_outer, none ? 0 : t.snap_inner)) return 0;
    if (c->discard != CHAIN_OK) {
        qd_te_geo_chain_release(c);
        return fail_status(status, -46);
    }
    *status = 1;
    return qd_te_cluster_convert_arc_to_circle(c);
}

int chain_load(TeEncoder* e, TeChain* c) {
    if (c->discard != CHAIN_OK) return 1;
    TeStatistics& s = e->rules->statistics;
    if (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) ++s.tallies[c->chain_lookup < 0 ? 6 : 7];
    GeoCoord mer[2] = {{s.data_extent[0], s.data_extent[1], KTGEO_NO_Z}, {s.data_extent[3], s.data_extent[4], KTGEO_NO_Z}};
    qd_te_mer_union(mer, c->chain_mer);
    s.data_extent[0] = mer[0].x;
    s.data_extent[1] = mer[0].y;
    s.data_extent[3] = mer[1].x;
    s.data_extent[4] = mer[1].y;
    bool ok = qd_te_encode_statistics(c, e->keys.tolerance.snap_outer, &s) != 0;
    if (ok && !e->chains) ok = qd_te_geo_chain_list_create(&e->chains, 8) != 0 && (e->chains->tally = 0, true);
    if (ok) ok = nlst_add(e->chains, c) != 0;
    if (!ok) {
        QD_FAIL("UKT1N", "nbytes%d", s.tallies[5] ? s.tallies[5] : -1, nullptr);
        return 0;
    }
    qd_te_geo_chain_default(c);  // the list owns the lists now
    return 1;
}

// The split's two switches: the loop orientation rule and the nesting rule.
struct CrossSwitches {
    int32_t orientation;
    int32_t nesting;
};

int chain_cross(TeChain* c, TeEncoder* e, const CrossSwitches& switches) {
    if (e->rules->input_option_1 != 1) return chain_load(e, c);
    if (c->discard != CHAIN_OK) return 1;
    if (!qd_te_encode_statistics(c, e->keys.tolerance.snap_outer, &e->rules->statistics)) return 0;
    int32_t crossed = 0;
    const uint32_t before = e->chains ? e->chains->tally : 0;
    if (!qd_te_intersect_chain_self_cross(c, &e->chains, base_tol(e), switches.orientation, switches.nesting,
                                          &crossed))
        return 0;
    if (!crossed) return 1;
    ++e->rules->statistics.tallies[4];
    // A chain cut into no pieces at all is reported, never lost quietly.
    if ((e->chains ? e->chains->tally : 0) == before) return qd_te_error_method(-46, &e->rules->error_method);
    return 1;
}

int chain_cross(TeChain* c, TeEncoder* e) { return chain_cross(c, e, {e->parent_side, e->cross_side}); }

// The common order of the one-chain encoders; the crossing test splits with
// the encoder's parent and cross sides unless other switches are given.
int one_chain(TeEncoder* e, int32_t type, GeoCoord* coords, int32_t n, bool orient, bool cross,
              int32_t* status, TeChain* prepared = nullptr, const CrossSwitches* switches = nullptr) {
    if (!qd_te_encode_set_zcrd(coords, n, &e->rules->zcrd)) return fail_status(status, -8);
    LocalChain local;
    TeChain* c = prepared ? prepared : &local.c;
    set_internals(e, c, type);
    if (!set_parent(e->parent_side, c, e)) return 0;
    if (orient && !qd_te_seek_sbnd(coords, e, n)) return 0;
    if (!chain_coord(coords, n, status, c, e)) return 0;
    if (*status != 1) return 1;
    if (!cross) return chain_load(e, c);
    return switches ? chain_cross(c, e, *switches) : chain_cross(c, e);
}

}  // namespace

int qd_te_encode_vertex_tol(TeChain* chain, double start_tol, double end_tol) {
    if (!chain) return qd_te_missing("qd_te_encode_vertex_tol");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally < 2) return 1;
    auto* v = static_cast<TeVertex*>(chain->coords->data);
    const bool zero = chain->adjuster == 1;
    v[0].tol = zero ? 0 : start_tol;
    v[chain->coords->tally - 1].tol = zero ? 0 : end_tol;
    return qd_te_cluster_clean_points(chain, 0, 1e-10);
}

int qd_te_keep_sbnd(int32_t n, TeEncoder* e, GeoCoord* ring, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_keep_sbnd");
    if (e->boundary_segments) e->boundary_segments->tally = 0;
    if (!ring || n < 2) return fail_status(status, -2);
    make_clockwise(ring, n);
    if (e->no_seek == 1) return 1;
    if (!e->boundary_segments && !(e->boundary_segments = nlst_alloc(sizeof(SegmentEntry), uint32_t(n), 16, nullptr)))
        return qd_te_no_memory();
    for (int32_t i = 0; i + 1 < n; ++i) {
        const SegmentEntry s = {ring[i], i};
        if (!nlst_add(e->boundary_segments, &s)) return qd_te_no_memory();
    }
    auto* s = static_cast<SegmentEntry*>(e->boundary_segments->data);
    std::sort(s, s + e->boundary_segments->tally, [](const SegmentEntry& a, const SegmentEntry& b) {
        return a.point.x != b.point.x ? a.point.x < b.point.x : a.point.y < b.point.y;
    });
    return 1;
}

int qd_te_seek_sbnd(GeoCoord* coords, TeEncoder* e, int32_t n) {
    if (!e) return qd_te_missing("qd_te_seek_sbnd");
    if (!coords || n < 2) return 1;
    if (closed_within(coords, n, 1e-10)) {
        make_clockwise(coords, n);
        return 1;
    }
    const nlst* list = e->boundary_segments;
    if (!e->ring_pending || e->no_seek != 0 || !list || list->tally == 0) return 1;
    const int32_t h = find_on_ring(list, coords[0]), l = find_on_ring(list, coords[n - 1]);
    if (h < 0 || l < 0) return qd_te_missing("qd_te_seek_sbnd");
    const int32_t m = int32_t(list->tally);
    if (h == l) {
        make_clockwise(coords, n);
        return 1;
    }
    // The way the curve leaves its start along the ring decides: the ring
    // edge nearest to its next distinct point, counted on from the start
    // (the lowest count among equals), lies before the end's count when
    // the curve runs the ring's way.
    // When that point is the end, the middle of the step stands for it.
    const GeoCoord* next = nullptr;
    int32_t at = 1;
    for (; at < n && !next; ++at)
        if (!qd_te_same_fuzzy_point(&coords[at], &coords[0], 1e-10)) next = &coords[at];
    GeoCoord middle;
    if (next && at == n) {
        middle = {(coords[0].x + next->x) / 2, (coords[0].y + next->y) / 2, KTGEO_NO_Z};
        next = &middle;
    }
    bool reverse;
    if (next && m >= 2) {
        std::vector<GeoCoord> ring(static_cast<size_t>(m));
        const auto* entry = static_cast<const SegmentEntry*>(list->data);
        for (int32_t i = 0; i < m; ++i)
            if (entry[i].index >= 0 && entry[i].index < m) ring[size_t(entry[i].index)] = entry[i].point;
        const int32_t dl = ((l - h) % m + m) % m;
        double best = INFINITY;
        int32_t best_offset = 0;
        for (int32_t j = 0; j < m; ++j) {
            const double d = qd_te_cogo_point_segment_distance(&ring[size_t(j)], &ring[size_t((j + 1) % m)], next, nullptr);
            const int32_t offset = ((j - h) % m + m) % m;
            if (d < best || (d == best && offset < best_offset)) {
                best = d;
                best_offset = offset;
            }
        }
        reverse = best_offset >= dl;
    } else {
        const int32_t half = m / 2;
        reverse = h == 0 ? l > half : l == 0 ? h <= half : h > l;
    }
    if (reverse) qd_te_cogo_reverse_array(coords, n);
    return 1;
}

int qd_te_encode_chain_node(const GeoCoord* coord, TeEncoder* e, const GeoPointDirection* dynamic, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_node");
    if (!coord) return fail_status(status, -2);
    GeoCoord p = *coord;
    if (!qd_te_encode_set_zcrd(&p, 1, &e->rules->zcrd)) return fail_status(status, -8);
    LocalChain local;
    set_internals(e, &local.c, TE_NODE);
    if (!set_parent(e->parent_side, &local.c, e)) return 0;
    if (!chain_coord(&p, 1, status, &local.c, e)) return 0;
    if (*status != 1) return 1;
    if (dynamic) {
        const TeNodeDynamic d = {float(dynamic->word1), float(dynamic->word2), dynamic->toward};
        if (!qd_te_geo_point_dynamic(&local.c, &d)) return 0;
    }
    return chain_load(e, &local.c);
}

int qd_te_chains_from_node(const GeoPoint* point, int32_t* status, TeEncoder* e) {
    if (!e || !status) return qd_te_missing("qd_te_chains_from_node");
    if (!point) return fail_status(status, -1);
    return qd_te_encode_chain_node(&point->coord, e, point->direction, status);
}

int qd_te_encode_chain_as_nodes(GeoCoord* coords, int32_t n, TeEncoder* e, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_as_nodes");
    *status = 1;
    for (int32_t i = 0; i < n && *status == 1; ++i)
        if (!qd_te_encode_chain_node(&coords[i], e, nullptr, status)) return 0;
    return 1;
}

int qd_te_encode_chain_line(TeEncoder* e, GeoCoord* coords, int32_t n, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_line");
    if (!coords || bad_count(n, 2)) return fail_status(status, -2);
    if (!qd_te_encode_set_zcrd(coords, n, &e->rules->zcrd)) return fail_status(status, -8);
    if (!qd_te_seek_sbnd(coords, e, n)) return 0;
    const double t = base_tol(e);
    const bool closed = n > 2 && closed_within(coords, n, t);
    if (closed) coords[n - 1] = coords[0];
    TeStatistics& s = e->rules->statistics;
    s.tallies[0] = std::max(s.tallies[0], n);
    ++s.input_counters.count[4];
    const double outer = e->keys.tolerance.snap_outer, inner = e->keys.tolerance.snap_inner;
    *status = 1;
    for (int32_t i = 0; i + 1 < n && *status == 1; ++i) {
        if (i > 0 && n > 2 && qd_te_same_fuzzy_point(&coords[i], &coords[i + 1], t)) continue;
        LocalChain local;
        TeChain* c = &local.c;
        set_internals(e, c, TE_LINE);
        if (!set_parent(e->parent_side, c, e)) return 0;
        GeoCoord seg[2] = {coords[i], coords[i + 1]};
        if (!chain_coord(seg, 2, status, c, e)) return 0;
        if (*status != 1) break;
        const bool none = c->adjuster == 1 || e->rules->no_cluster == 1;
        double a = inner, b = inner;
        if (n == 2) {
            a = b = outer;
        } else if (!closed && i == 0) {
            a = outer;
        } else if (!closed && i == n - 2) {
            b = outer;
        }
        if (!qd_te_encode_vertex_tol(c, none ? 0 : a, none ? 0 : b)) return 0;
        if (!chain_cross(c, e)) return 0;
    }
    return 1;
}

int qd_te_encode_chain_arc(int32_t n, GeoCoord* coords, TeEncoder* e, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_arc");
    if (!coords || n != 3) return fail_status(status, -2);
    TeCircle circle;
    if (qd_te_cogo_circle_from_points(&coords[0], &coords[1], &coords[2], &circle, nullptr) != -1)
        return fail_status(status, -1);
    LocalChain local;
    local.c.radius = circle.radius;
    return one_chain(e, TE_ARC, coords, n, true, false, status, &local.c);
}

int qd_te_encode_chain_circle(const GeoCoord* centre, TeEncoder* e, double radius, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_circle");
    if (!centre || !(radius >= 1e-10)) return fail_status(status, -2);
    GeoCoord c = *centre;
    LocalChain local;
    local.c.radius = radius;
    return one_chain(e, TE_CIRCLE, &c, 1, false, false, status, &local.c);
}

int qd_te_encode_chain_curve(int32_t n, TeEncoder* e, GeoCoord* coords, const TeTangent* tangent, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_curve");
    if (!coords || bad_count(n, 2)) return fail_status(status, -2);
    LocalChain local;
    if (tangent) local.c.tangent = *tangent;
    return one_chain(e, TE_CURVE, coords, n, true, true, status, &local.c);
}

int qd_te_encode_chain_ring(int32_t n, TeEncoder* e, GeoCoord* coords, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_ring");
    if (!coords || bad_count(n, 2)) return fail_status(status, -2);
    ++e->rules->statistics.input_counters.count[5];
    if (n > 2 && closed_within(coords, n, base_tol(e))) coords[n - 1] = coords[0];
    return one_chain(e, TE_PATH, coords, n, false, false, status);
}

namespace {

int path_cross(const char* name, TeEncoder* e, int32_t n, GeoCoord* coords, int32_t* status,
               const CrossSwitches* switches) {
    if (!e || !status) return qd_te_missing(name);
    if (!coords || bad_count(n, 2)) return fail_status(status, -2);
    ++e->rules->statistics.input_counters.count[5];
    if (n > 2 && closed_within(coords, n, base_tol(e))) coords[n - 1] = coords[0];
    return one_chain(e, TE_PATH, coords, n, false, true, status, nullptr, switches);
}

}  // namespace

int qd_te_encode_chain_path_cross(TeEncoder* e, int32_t n, GeoCoord* coords, int32_t* status) {
    // A closed surface ring is split clockwise, as every other surface ring
    // is encoded: the split keeps the loops that run its way with the parent
    // on the side the encoder names (the right of an exterior, the left of a
    // hole), so a ring given counter-clockwise would lose them.
    if (e && coords && n > 2 && (e->ring_kind == 0 || e->ring_kind == 1) && closed_within(coords, n, base_tol(e)))
        make_clockwise(coords, n);
    return path_cross("qd_te_encode_chain_path_cross", e, n, coords, status, nullptr);
}

int qd_te_encode_chain_path_cross_switched(TeEncoder* e, int32_t n, GeoCoord* coords, int32_t orientation,
                                           int32_t nesting, int32_t* status) {
    const CrossSwitches switches{orientation, nesting};
    return path_cross("qd_te_encode_chain_path_cross_switched", e, n, coords, status, &switches);
}

int qd_te_encode_chain_path(int32_t n, TeEncoder* e, GeoCoord* coords, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_path");
    if (!coords || bad_count(n, 2)) return fail_status(status, -2);
    if (!qd_te_seek_sbnd(coords, e, n)) return 0;
    const bool closed = closed_within(coords, n, base_tol(e));
    if (e->rules->input_option_2 == 0 || (closed && n < 5)) return qd_te_encode_chain_line(e, coords, n, status);
    if (!closed && n <= 3) return qd_te_encode_chain_ring(n, e, coords, status);
    ++e->rules->statistics.input_counters.count[5];
    if (closed) coords[n - 1] = coords[0];
    return one_chain(e, TE_PATH, coords, n, false, true, status);
}

int qd_te_encode_chain_region(int32_t n, TeEncoder* e, GeoCoord* coords, int32_t type, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_encode_chain_region");
    if (!coords || bad_count(n, 3)) return fail_status(status, -2);
    if (!qd_te_encode_set_zcrd(coords, n, &e->rules->zcrd)) return fail_status(status, -8);
    make_clockwise(coords, n);
    LocalChain local;
    set_internals(e, &local.c, type);
    if (!set_parent(e->parent_side, &local.c, e)) return 0;
    if (!chain_coord(coords, n, status, &local.c, e)) return 0;
    if (*status != 1) return 1;
    qd_te_mer_expand(local.c.chain_mer, 1e-8);
    return chain_load(e, &local.c);
}

int qd_te_chains_from_cross_path(TeEncoder* e, int32_t* status, nlst* coords) {
    if (!e || !status) return qd_te_missing("qd_te_chains_from_cross_path");
    GeoCoord* raw = nullptr;
    int32_t failed = 0;
    const int32_t n = qd_te_copy_coords(coords, KTGEO_DIR_FORWARD, &raw, &failed);
    Coords hold(raw);
    if (failed) return 0;
    if (n < 2) return fail_status(status, -2);
    return qd_te_encode_chain_path_cross(e, n, raw, status);
}

int qd_te_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* e) {
    if (!e || !status) return qd_te_missing("qd_te_chains_from_linear");
    if (!curve || curve->invalid) return fail_status(status, -1);
    const int32_t type = curve->curve_type;
    if (type < KTGEO_POLYLINE || type > KTGEO_KT_CURVE) return fail_status(status, -1);
    GeoCoord* raw = nullptr;
    int32_t failed = 0, n = 0;
    if (e->rules->clip_output == 1) {
        if (type == KTGEO_POLYLINE) {
            n = qd_te_copy_coords(curve->coords, curve->direction, &raw, &failed);
        } else {
            if (!ktgeo_curve(curve) || !curve->stroked) return fail_status(status, -2);
            n = qd_te_copy_coords(curve->stroked, KTGEO_DIR_FORWARD, &raw, &failed);
        }
        Coords hold(raw);
        if (failed) return 0;
        if (n == 0) return fail_status(status, -2);
        return qd_te_encode_chain_path(n, e, raw, status);
    }
    n = qd_te_copy_coords(curve->coords, curve->direction, &raw, &failed);
    Coords hold(raw);
    if (failed) return 0;
    if (n == 0) return fail_status(status, -2);
    switch (type) {
    case KTGEO_POLYLINE: return qd_te_encode_chain_path(n, e, raw, status);
    case KTGEO_CIRCULAR_ARC:
        if (n == 3 && qd_te_same_fuzzy_point(&raw[0], &raw[2], base_tol(e)) &&
            !qd_te_same_fuzzy_point(&raw[0], &raw[1], base_tol(e)))
            return qd_te_encode_chain_circle(&raw[1], e, qd_te_cogo_distance_2d(&raw[0], &raw[1]), status);
        return qd_te_encode_chain_arc(n, raw, e, status);
    default: {
        TeTangent tangent{};
        if (!qd_te_geo_encode_curve_tangent(curve, &tangent)) return 0;
        return qd_te_encode_chain_curve(n, e, raw, &tangent, status);
    }
    }
}

int qd_te_chains_from_path(TeEncoder* e, GeoPath* path, int32_t* status) {
    if (!e || !status) return qd_te_missing("qd_te_chains_from_path");
    if (!path) return fail_status(status, -2);
    *status = 1;
    bool curves = true;
    const bool has_curves = path->curves && path->curves->tally > 0;
    if (has_curves && e->ring_pending == 1) {
        const bool expanded = ktgeo_path_expand(path) != 0;
        if (!expanded || !path->connected || e->ring_kind == 2) {
            e->ring_pending = 0;
            e->ring_kind = 2;
            if (!expanded && e->keys.filter.drop_open_paths) {
                ++e->rules->statistics.input_counters.count[13];
                return 1;
            }
        } else {
            GeoCoord* raw = nullptr;
            int32_t failed = 0;
            const int32_t n = qd_te_copy_coords(path->expanded, KTGEO_DIR_FORWARD, &raw, &failed);
            Coords hold(raw);
            if (failed) return 0;
            if (n == 0) return fail_status(status, -2);
            if (!qd_te_encode_set_zcrd(raw, n, &e->rules->zcrd)) return fail_status(status, -8);
            if (n > 3 && closed_within(raw, n, base_tol(e))) {
                if (e->boundary_segments) e->boundary_segments->tally = 0;
                bool crossed = false;
                if (e->rules->input_option_1 == 1) {
                    const TeCoordArray array = {raw, n};
                    const double t = base_tol(e);
                    crossed = qd_te_cogo_self_intersections(&array, nullptr, 1, &t) == 1;
                }
                if (crossed) {
                    if (!qd_te_chains_from_cross_path(e, status, path->expanded)) return 0;
                    curves = false;
                } else if (!qd_te_keep_sbnd(n, e, raw, status)) {
                    return 0;
                }
                if (*status == 1) {
                    if (e->ring_kind != 0 && e->ring_kind != 1) return qd_te_missing("qd_te_chains_from_path");
                    e->parent_side = e->ring_kind;
                    if (e->region_chain == 1 &&
                        !qd_te_encode_chain_region(n, e, raw, e->ring_kind == 0 ? TE_REGION : TE_ISLAND, status))
                        return 0;
                }
            } else {
                e->ring_pending = 0;
                e->ring_kind = 2;
            }
        }
    }
    if (!curves || !has_curves) return 1;
    for (uint32_t i = 0; i < path->curves->tally && *status == 1; ++i)
        if (!qd_te_chains_from_linear(status, static_cast<GeoCurve*>(nlst_index(path->curves, i)), e)) return 0;
    return 1;
}

int qd_te_chains_from_surface(TeEncoder* e, GeoPolygon* polygon, int32_t* status, TeRules* rules) {
    if (!e || !status || !rules) return qd_te_missing("qd_te_chains_from_surface");
    if (!polygon) return fail_status(status, -2);
    *status = 1;
    e->parent_side = 0;
    e->ring_pending = 1;
    TeStatistics& s = rules->statistics;
    if (s.data_dim < 0 || s.data_dim > 3) return 0;
    if (polygon->valid) {
        ++s.input_counters.count[9];
        e->ring_kind = 0;
        s.data_dim = 3;
    } else {
        ++s.input_counters.count[10];
        e->ring_kind = 2;
        if (s.data_dim <= 1) s.data_dim = 2;
    }
    if (s.tallies[1] == 0) s.tallies[1] = 1;
    e->feature_id = s.tallies[1];
    auto passed_on = [&]() {
        if (*status != -46) return true;
        TeCallback handler = rules->error_method;
        if (qd_te_error_method(-46, &handler) == 1) *status = 1;
        return false;
    };
    if (!qd_te_chains_from_path(e, &polygon->exterior, status)) return 0;
    if (!passed_on() || *status != 1) return 1;
    for (uint32_t i = 0; polygon->interiors && i < polygon->interiors->tally && *status == 1; ++i) {
        e->parent_side = 1;
        e->ring_pending = 1;
        e->ring_kind = polygon->valid ? 1 : 2;
        if (!qd_te_chains_from_path(e, static_cast<GeoPath*>(nlst_index(polygon->interiors, i)), status)) return 0;
        passed_on();
    }
    return 1;
}

int qd_te_encode_feature_primitive(GeometricPrimitive* primitive, TeEncoder* e, int32_t* status, TeRules* rules) {
    if (!e || !status || !rules) return qd_te_missing("qd_te_encode_feature_primitive");
    if (!primitive) return fail_status(status, -5);
    TeStatistics& s = rules->statistics;
    switch (primitive->type) {
    case KTGEO_POINT:
        if (s.data_dim == 0) s.data_dim = 1;
        return qd_te_chains_from_node(&primitive->geom.point, status, e);
    case KTGEO_CURVE:
    case KTGEO_PATH:
        qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_L);
        if (s.data_dim <= 1) s.data_dim = 2;
        return primitive->type == KTGEO_CURVE ? qd_te_chains_from_linear(status, &primitive->geom.curve, e)
                                              : qd_te_chains_from_path(e, &primitive->geom.path, status);
    case KTGEO_POLYGON:
        qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_P);
        return qd_te_chains_from_surface(e, &primitive->geom.polygon, status, rules);
    default: return fail_status(status, -5);
    }
}
