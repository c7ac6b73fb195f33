// Coordinate reference lists: references to the points of chains and of
// split records, the repeated-vertex and spike tests, the touch counter and
// the match of two point sequences. Sorts use exact keys; fuzzy equality is
// asked only after sorting, within a window as wide as the test accepts.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

const TeVertex* vertices(const TeChain* c) { return static_cast<const TeVertex*>(c->coords->data); }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }
TeCoordRef* refs(nlst* list) { return static_cast<TeCoordRef*>(list->data); }

double rx(const TeCoordRef& r) { return qd_te_ref_point(&r).x; }

// By place: x, y, tolerance, tag (position last, for a total order).
bool by_place(const TeCoordRef& a, const TeCoordRef& b) { return qd_te_ref_place_less(a, b); }
bool by_place_position(const TeCoordRef& a, const TeCoordRef& b) {
    const GeoCoord p = qd_te_ref_point(&a), q = qd_te_ref_point(&b);
    if (int c = qd_te_key_order(p.x, q.x)) return c < 0;
    if (int c = qd_te_key_order(p.y, q.y)) return c < 0;
    if (a.tag != b.tag) return a.tag < b.tag;
    return a.index < b.index;
}
bool by_group(const TeCoordRef& a, const TeCoordRef& b) {
    if (a.group != b.group) return a.group < b.group;
    if (a.tag != b.tag) return a.tag < b.tag;
    return a.index < b.index;
}
bool by_sequence(const TeCoordRef& a, const TeCoordRef& b) {
    if (a.tag != b.tag) return a.tag < b.tag;
    return a.index < b.index;
}

template <class Less>
void sort_refs(nlst* list, Less less) {
    std::sort(refs(list), refs(list) + list->tally, less);
}

// How far past a reference's x a partner may lie: the fuzzy test accepts
// up to its tolerance, and at least 1e-10, plus 1e-10.
double window(const nlst* list) {
    double t = 0;
    for (uint32_t i = 0; i < list->tally; ++i) t = std::fmax(t, static_cast<const TeCoordRef*>(list->data)[i].tol);
    return std::fmax(t, 1e-10) + 1e-10;
}

bool coincide(const TeCoordRef& a, const TeCoordRef& b) {
    const GeoCoord p = qd_te_ref_point(&a), q = qd_te_ref_point(&b);
    return qd_te_same_fuzzy_point(&p, &q, std::fmax(a.tol, b.tol)) == 1;
}

bool box_overlaps(const GeoCoord& p, double tol, const GeoCoord* box) {
    return p.x - tol <= box[1].x && p.x + tol >= box[0].x && p.y - tol <= box[1].y && p.y + tol >= box[0].y;
}

int32_t cyclic_distance(int32_t a, int32_t b, int32_t n, int32_t closed) {
    const int32_t d = std::abs(a - b);
    return closed ? std::min(d, n - 1 - d) : d;
}

struct Direction {
    int32_t q;
    double s;
};

// X lies strictly inside the counter-clockwise sweep from r to y.
int32_t relative(const Direction& x, const Direction& r) {
    const int32_t q = (x.q - r.q + 4) % 4;
    return q == 0 && x.s < r.s ? 4 : q;
}
bool inside_sweep(const Direction& x, const Direction& r, const Direction& y) {
    const int32_t qx = relative(x, r), qy = relative(y, r);
    return qx < qy || (qx == qy && x.s < y.s);
}

int add_ref(nlst** list, const TeCoordRef& r) { return qd_te_append_item_to_list(list, &r, sizeof r); }

// Mode 4: the places the chain visits twice, where the visits cross.
int repeated_vertices(TeChain* chain, nlst* own, nlst** list, int32_t closed) {
    sort_refs(own, by_place_position);
    const double w = window(own);
    const int32_t n = int32_t(chain->coords->tally);
    TeCoordRef* r = refs(own);
    for (uint32_t i = 0; i < own->tally; ++i) {
        if (r[i].group >= 0) continue;
        bool found = false;
        const double limit = rx(r[i]) + w;
        for (uint32_t j = i + 1; j < own->tally && rx(r[j]) <= limit; ++j) {
            if (r[j].group >= 0 || !coincide(r[i], r[j])) continue;
            if (qd_te_duplicates_vertex_touch(chain, r[i].index, r[j].index, closed) == 1) continue;
            if (!add_ref(list, r[j])) return 0;
            r = refs(own);
            r[j].group += 1;
            found = true;
            int32_t tip = -1;
            if (qd_te_duplicates_spike_tip(r[i].index, r[j].index, n, closed, &tip) == 1) {
                const TeVertex* v = vertices(chain) + tip;
                const TeCoordRef t = qd_te_coord_ref(chain->coords, &v->x, r[i].tag, r[i].tol, tip);
                if (!add_ref(list, t) || !add_ref(list, t)) return 0;
            }
        }
        if (found && !add_ref(list, r[i])) return 0;
    }
    return 1;
}

}  // namespace

bool qd_te_ref_place_less(const TeCoordRef& a, const TeCoordRef& b) {
    const GeoCoord p = qd_te_ref_point(&a), q = qd_te_ref_point(&b);
    if (int c = qd_te_key_order(p.x, q.x)) return c < 0;
    if (int c = qd_te_key_order(p.y, q.y)) return c < 0;
    if (int c = qd_te_key_order(a.tol, b.tol)) return c < 0;
    if (a.tag != b.tag) return a.tag < b.tag;
    return a.index < b.index;
}

int qd_te_duplicates_path_clip(TeChain* chain, nlst** list, int32_t tag, const double* tolerance,
                               const GeoCoord* box, int32_t mode, int32_t* all_inside) {
    if (!chain || !list) return qd_te_missing("qd_te_duplicates_path_clip");
    if (mode < 1 || mode > 4) return qd_te_missing("qd_te_duplicates_path_clip");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally == 0) {
        if (all_inside) *all_inside = 0;
        return 1;
    }
    if (all_inside) *all_inside = 1;
    int32_t closed = 0;
    if (mode >= 2 && !qd_te_fuzzy_chain_closed(chain, tolerance ? *tolerance : 1e-10, &closed)) return 0;
    if (chain->discard != CHAIN_OK) {
        if (all_inside) *all_inside = 0;
        return 1;
    }
    const uint32_t n = chain->coords->tally;
    const uint32_t end = (mode == 2 || mode == 4) && closed && n > 1 ? n - 1 : n;
    nlst* own = nullptr;
    nlst** target = mode == 4 ? &own : list;
    uint32_t taken = 0;
    int ok = 1;
    for (uint32_t i = 0; i < end && ok; ++i) {
        const TeVertex* v = vertices(chain) + i;
        const double t = tolerance ? *tolerance : v->tol;
        if (box && !box_overlaps(coord_of(*v), t, box)) {
            if (all_inside) {
                *all_inside = 0;
                break;
            }
        } else {
            ok = add_ref(target, qd_te_coord_ref(chain->coords, &v->x, tag, t, int32_t(i)));
            ++taken;
        }
        if (mode == 3 && i == 0) {
            if (closed) break;
            if (n > 1) i = n - 2;
        }
    }
    if (ok && own) ok = repeated_vertices(chain, own, list, closed);
    if (own) nlst_free(own);
    if (ok && all_inside && *all_inside == 1 && taken != n) *all_inside = 0;
    return ok;
}

int qd_te_duplicates_intr_nodes_clip(const nlst* records, const nlst* chains, nlst** list,
                                     const GeoCoord* box, const double* tolerance) {
    if (!chains || !list) return qd_te_missing("qd_te_duplicates_intr_nodes_clip");
    if (!records || records->tally == 0) return 1;
    for (uint32_t i = 0; i < records->tally; ++i) {
        const auto* r = static_cast<const TeSplitRecord*>(records->data) + i;
        if (r->row < 0 || uint32_t(r->row) >= chains->tally) return qd_te_missing("qd_te_duplicates_intr_nodes_clip");
        const double t = tolerance ? *tolerance : r->node.tol;
        if (box && !box_overlaps(r->node.point, t, box)) continue;
        if (!add_ref(list, qd_te_coord_ref(records, &r->node.point.x, r->row, t, -1))) return 0;
    }
    return 1;
}

int qd_te_duplicates_spike_tip(int32_t a, int32_t b, int32_t n, int32_t closed, int32_t* tip) {
    if (!tip) return qd_te_missing("qd_te_duplicates_spike_tip");
    *tip = -1;
    if (a == b || n < 1) return 0;
    int32_t after = a + 1, before = a - 1;
    if (closed) {
        if (after >= n - 1) after = a - n + 2;
        if (before < 0) before = a + n - 2;
    }
    for (const int32_t k : {after, before}) {
        if (cyclic_distance(k, b, n, closed) != 1) continue;
        if (k < 0 || k > n - 1) return 0;
        *tip = k;
        return 1;
    }
    return 0;
}

int qd_te_duplicates_vertex_touch(const TeChain* chain, int32_t e, int32_t g, int32_t closed) {
    if (!chain || !chain->coords || chain->coords->tally == 0) return 0;
    const int32_t n = int32_t(chain->coords->tally);
    if (e < 0 || g < 0 || e >= n || g >= n) return 0;
    if (cyclic_distance(e, g, n, closed) <= 2) return 0;
    const TeVertex* v = vertices(chain);
    const auto neighbour = [&](int32_t pos, int32_t step) {
        int32_t k = pos + step;
        if (closed && k < 0) k = pos + n - 2;
        if (closed && k >= n) k = pos - n + 2;
        return k;
    };
    Direction d[4];
    const int32_t at[2] = {e, g};
    for (int side = 0; side < 2; ++side) {
        for (int s = 0; s < 2; ++s) {
            const int32_t k = neighbour(at[side], s == 0 ? -1 : 1);
            if (k < 0 || k >= n) return 0;
            const GeoCoord c = coord_of(v[at[side]]), p = coord_of(v[k]);
            Direction& x = d[side * 2 + s];
            qd_te_leaving_calc_cyclic_order(&c, &p, &x.q, &x.s);
            if (x.q == 5) return 0;
        }
    }
    for (int i = 0; i < 2; ++i)
        for (int j = 2; j < 4; ++j)
            if (d[i].q == d[j].q && d[i].s == d[j].s) return 0;
    // The first visit's sweep runs counter-clockwise from its backward to
    // its forward direction.
    const bool in1 = inside_sweep(d[2], d[0], d[1]), in2 = inside_sweep(d[3], d[0], d[1]);
    return in1 == in2 ? 1 : 0;
}

int qd_te_duplicates_touch_count(nlst* list) {
    if (!list) return qd_te_missing("qd_te_duplicates_touch_count");
    if (list->tally == 0) return 1;
    sort_refs(list, by_place);
    const double w = window(list);
    TeCoordRef* r = refs(list);
    std::vector<uint32_t> noted;
    for (uint32_t i = 0; i < list->tally; ++i) {
        if (r[i].group >= 0) continue;
        int32_t counter = 0;
        noted.clear();
        const double limit = rx(r[i]) + w;
        for (uint32_t j = i + 1; j < list->tally && rx(r[j]) <= limit; ++j) {
            if (r[j].tag == r[i].tag || !coincide(r[i], r[j])) continue;
            const int32_t step = r[i].index == 0 || r[j].index == 0 ? 2 : 1;
            counter += step;
            r[i].group += step;
            noted.push_back(j);
        }
        for (const uint32_t j : noted) r[j].group += counter;
    }
    sort_refs(list, by_sequence);
    return 1;
}

int qd_te_duplicates_coord_match_list(nlst* list, int32_t* unmatched_tag, int32_t mode,
                                      int32_t* identical) {
    if (!unmatched_tag || !identical) return qd_te_missing("qd_te_duplicates_coord_match_list");
    if (!list || list->tally <= 1) return 1;
    *identical = 0;
    *unmatched_tag = -1;
    sort_refs(list, by_place);
    const double w = window(list);
    TeCoordRef* r = refs(list);
    const uint32_t n = list->tally;
    for (uint32_t i = 0; i < n; ++i) {
        if (r[i].group >= 0) continue;
        const double limit = rx(r[i]) + w;
        for (uint32_t j = i + 1; j < n && rx(r[j]) <= limit; ++j) {
            if (r[j].tag == r[i].tag || !coincide(r[i], r[j])) continue;
            r[i].group = r[j].group = int32_t(i);
        }
    }
    sort_refs(list, by_group);
    if (mode == 1) return 1;
    *identical = 1;
    if (r[0].group >= 0) return 1;
    *unmatched_tag = r[0].tag;
    sort_refs(list, by_sequence);
    // Each unmatched point must lie on a segment of the other sequence.
    for (uint32_t i = 0; i < n; ++i) {
        if (r[i].group >= 0) continue;
        const GeoCoord p = qd_te_ref_point(&r[i]);
        bool on = false;
        for (uint32_t k = 0; k + 1 < n && !on; ++k) {
            if (r[k].tag == r[i].tag || r[k + 1].tag != r[k].tag) continue;
            const GeoCoord a = qd_te_ref_point(&r[k]), b = qd_te_ref_point(&r[k + 1]);
            GeoCoord box[2];
            qd_te_cogo_segment_envelope(&a, &b, box);
            const double g = std::fmax(r[k].tol, r[k + 1].tol);
            if (!box_overlaps(p, g, box)) continue;
            on = qd_te_cogo_point_segment_distance(&a, &b, &p, nullptr) <= 1e-8;
        }
        if (!on) {
            *identical = 0;
            return 1;
        }
    }
    return 1;
}
