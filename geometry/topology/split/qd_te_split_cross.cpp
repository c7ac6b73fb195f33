// Cutting a ring that passes a place more than once into simple rings:
// each loop between two visits of one place is cut out as a ring of its
// own, loops of zero area become their segments, and the rings are
// oriented and given parents by orientation and nesting.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/split/qd_te_split_work.h"

namespace {

TeVertex* vertices(const TeChain* c) { return static_cast<TeVertex*>(c->coords->data); }
uint32_t count_of(const TeChain* c) { return c->coords ? c->coords->tally : 0; }
TeCrossPoint* points_of(nlst* l) { return static_cast<TeCrossPoint*>(l->data); }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

// The points of one place within 1e-10 lie at most 2e-10 apart in x.
constexpr double kPlace = 1e-10;
constexpr double kWindow = kPlace + 1e-10;

// A copy of the ring without vertices, with an empty vertex list.
int empty_copy(const TeChain* ring, TeChain* copy) {
    if (!qd_te_geo_copy_chain(ring, copy, 0)) return 0;
    copy->coords = nlst_alloc(sizeof(TeVertex), 8, 8, nullptr);
    if (!copy->coords) {
        qd_te_geo_chain_release(copy);
        return qd_te_no_memory();
    }
    return 1;
}

// Points from..to-1 not yet used go into the copy, skipping inner loops
// already cut; they become used with link `closing`.
int gather(nlst* points, int32_t from, int32_t to, int32_t closing, TeChain* copy) {
    TeCrossPoint* p = points_of(points);
    for (int32_t j = from; j < to; ++j) {
        if (p[j].used) {
            if (p[j].link > j) j = p[j].link - 1;
            continue;
        }
        p[j].used = 1;
        p[j].link = closing;
        if (!nlst_add(copy->coords, &p[j].vertex)) return qd_te_no_memory();
    }
    return 1;
}

int flip_status(int32_t s) { return s == 0 ? 1 : s == 1 ? 0 : s; }

bool overlap(const GeoCoord a[2], const GeoCoord b[2]) {
    return a[0].x <= b[1].x && a[1].x >= b[0].x && a[0].y <= b[1].y && a[1].y >= b[0].y;
}

}  // namespace

int qd_te_split_chain_flip_parents(TeChain* ring, int32_t* status) {
    if (!ring || !status) return qd_te_missing("qd_te_split_chain_flip_parents");
    switch (*status) {
    case 0: *status = 1; return qd_te_parents_list_transfer(ring, 2, 1);
    case 1: *status = 0; return qd_te_parents_list_transfer(ring, 2, 0);
    case 2: return qd_te_parents_list_transfer(ring, 2, 2);
    case 3: return qd_te_parents_list_transfer(ring, 3, 3);
    default: qd_te_missing("qd_te_split_chain_flip_parents"); return 1;
    }
}

int qd_te_split_load_cross_points(const TeChain* ring, nlst** points) {
    if (!ring || !points) return qd_te_missing("qd_te_split_load_cross_points");
    if (ring->chain_type != TE_PATH && ring->chain_type != TE_CURVE) return 1;
    const uint32_t n = count_of(ring);
    for (uint32_t i = 0; i < n; ++i) {
        const TeCrossPoint p = {vertices(ring)[i], int32_t(i), -1, 0, 0};
        if (!qd_te_append_item_to_list(points, &p, sizeof p)) return 0;
    }
    return 1;
}

int qd_te_split_load_poly_cross_chain(nlst** rings, int32_t orientation, double t, TeChain* ring) {
    if (!ring || !rings) return qd_te_missing("qd_te_split_load_poly_cross_chain");
    if (ring->discard != CHAIN_OK) return 1;
    if (!qd_te_cluster_clean_points(ring, 1, t)) return 0;
    if (ring->discard != CHAIN_OK) {
        qd_te_geo_chain_release(ring);
        return 1;
    }
    int32_t closed = 0;
    if (!qd_te_fuzzy_chain_closed(ring, t, &closed)) return 0;
    if (closed) {
        if (!qd_te_geo_chain_clockwise(ring)) {
            if (orientation == 0) {
                qd_te_geo_chain_release(ring);
                return 1;
            }
            qd_te_geo_chain_reverse(ring);
            if (orientation == 1) std::swap(ring->right_parent, ring->left_parent);
        }
    } else {
        int32_t both = 2;
        if (!qd_te_split_chain_flip_parents(ring, &both)) return 0;
    }
    if (!qd_te_append_item_to_list(rings, ring, sizeof *ring)) return 0;
    qd_te_geo_chain_default(ring);
    return 1;
}

int qd_te_split_set_poly_cross(nlst* points, TeChain* ring, nlst** rings, int32_t orientation, double t) {
    if (!ring || !points || !rings) return qd_te_missing("qd_te_split_set_poly_cross");
    if (ring->discard != CHAIN_OK) return 1;
    const int32_t n = int32_t(points->tally);
    for (int32_t i = 0; i < n; ++i) {
        TeCrossPoint* p = points_of(points);
        if (p[i].link >= 0 && p[p[i].link].used) p[i].link = -1;
        if (i == n - 1 && p[i].link == 0) p[i].link = -1;
        if (p[i].link < 0) continue;
        TeChain copy;
        if (!empty_copy(ring, &copy)) return 0;
        int ok = gather(points, p[i].link, i, i, &copy) && nlst_add(copy.coords, &p[i].vertex);
        points_of(points)[i].link = -1;
        if (ok) ok = qd_te_split_load_poly_cross_chain(rings, orientation, t, &copy);
        qd_te_geo_chain_release(&copy);
        if (!ok) return 0;
    }
    TeChain copy;
    if (!empty_copy(ring, &copy)) return 0;
    int ok = gather(points, 0, n, n, &copy);
    if (ok) ok = qd_te_split_load_poly_cross_chain(rings, orientation, t, &copy);
    qd_te_geo_chain_release(&copy);
    return ok;
}

int qd_te_split_set_poly_spikes(TeChain* ring, nlst** rings, double t) {
    if (!ring || !rings) return qd_te_missing("qd_te_split_set_poly_spikes");
    if (ring->discard != CHAIN_OK || ring->chain_type != TE_PATH) return 1;
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(ring, &first, &last, &skip)) return 0;
    if (skip) return 1;
    const uint32_t n = count_of(ring);
    if (n < 3) return qd_te_cluster_clean_points(ring, 1, t);
    const GeoCoord a = coord_of(*first), b = coord_of(*last);
    if (!qd_te_same_fuzzy_point(&a, &b, t) || std::fabs(qd_te_geo_chain_area(ring)) > 1e-12) return 1;
    ring->discard = CHAIN_DELETE;
    // The ring's record may move while the list grows: work from a copy.
    TeChain source;
    if (!qd_te_geo_copy_chain(ring, &source, 1)) return 0;
    source.discard = CHAIN_OK;
    int ok = 1;
    for (uint32_t i = 0; i + 1 < n && ok; ++i) {
        TeChain segment;
        if (!empty_copy(&source, &segment)) {
            ok = 0;
            break;
        }
        ok = nlst_add_many(segment.coords, vertices(&source) + i, 2) && qd_te_cluster_clean_points(&segment, 1, t);
        if (ok && segment.discard == CHAIN_OK) {
            ok = qd_te_append_item_to_list(rings, &segment, sizeof segment);
            if (ok) qd_te_geo_chain_default(&segment);
        }
        qd_te_geo_chain_release(&segment);
    }
    qd_te_geo_chain_release(&source);
    return ok;
}

int qd_te_split_poly_cross_rings(nlst* rings, int32_t orientation, int32_t nesting, double t) {
    if (!rings) return qd_te_missing("qd_te_split_poly_cross_rings");
    if (rings->tally == 0) return 1;
    std::stable_sort(qd_te_chain_at(rings, 0), qd_te_chain_at(rings, 0) + rings->tally,
                     [](const TeChain& a, const TeChain& b) { return qd_te_chain_compare(&a, &b) < 0; });
    const uint32_t count = rings->tally;
    std::vector<int32_t> status;
    try {
        status.assign(count, orientation);
    } catch (...) {
        return qd_te_no_memory();
    }
    for (uint32_t i = 0; i < count; ++i) {
        TeChain* r = qd_te_chain_at(rings, int32_t(i));
        if (r->discard != CHAIN_OK) {
            status[i] = 3;
            continue;
        }
        TeVertex *first, *last;
        int32_t skip = 0;
        if (!qd_te_form_start_end(r, &first, &last, &skip)) return 0;
        if (skip) {
            status[i] = 3;
            continue;
        }
        int32_t closed = 0;
        if (!qd_te_fuzzy_chain_closed(r, t, &closed)) return 0;
        if (!closed || std::fabs(qd_te_geo_chain_area(r)) > 1e-12) continue;
        status[i] = 3;
        if (nesting == 0 || nesting == 1) {
            r->discard = CHAIN_INVALID;
            continue;
        }
        int32_t s = 2;
        if (nesting != 3 && orientation != 2) s = 3;
        if (nesting == 3 || orientation != 2)
            if (!qd_te_split_chain_flip_parents(r, &s)) return 0;
        if (!qd_te_split_set_poly_spikes(r, &rings, t)) return 0;
    }
    if (nesting == 1) return 1;
    for (uint32_t i = 0; i < count; ++i) {
        if (status[i] == 3) continue;
        for (uint32_t j = i + 1; j < count; ++j) {
            TeChain* a = qd_te_chain_at(rings, int32_t(i));
            TeChain* b = qd_te_chain_at(rings, int32_t(j));
            if (b->chain_mer[0].x > a->chain_mer[1].x) break;
            if (status[j] == 3 || b->discard != CHAIN_OK || !overlap(a->chain_mer, b->chain_mer)) continue;
            TeVertex *first, *last;
            int32_t skip = 0;
            if (!qd_te_form_start_end(b, &first, &last, &skip)) return 0;
            if (skip) {
                status[j] = 3;
                continue;
            }
            int32_t location = 12;
            for (uint32_t k = 0; k < count_of(b); ++k) {
                const GeoCoord p = coord_of(vertices(b)[k]);
                if (!qd_te_fuzzy_point_in_envelope(&p, 0, a->chain_mer)) continue;
                if (!qd_te_geo_overlay_pt_inside_region(&p, a, &t, &location)) return 0;
                if (location == 13 || location == 12 || location == -2) break;
            }
            if (location != 13) continue;
            if (nesting == 0) {
                b->discard = CHAIN_INVALID;
                status[j] = 3;
                continue;
            }
            status[j] = flip_status(status[i]);
            int32_t applied = status[j];
            if (!qd_te_split_chain_flip_parents(b, &applied)) return 0;
        }
    }
    return 1;
}

int qd_te_split_form_poly_cross(TeChain* ring, nlst** rings, int32_t orientation, int32_t nesting, double t) {
    if (!ring || !rings) return qd_te_missing("qd_te_split_form_poly_cross");
    if (ring->discard != CHAIN_OK) return 1;
    if (!qd_te_geo_chain_start_leftmost(ring)) return 0;
    if (ring->discard != CHAIN_OK) return 1;
    nlst* points = nullptr;
    TeChainsHolder work;
    int ok = qd_te_split_load_cross_points(ring, &points);
    if (ok && points && points->tally) {
        nlst_free(ring->coords);
        ring->coords = nullptr;
        TeCrossPoint* p = points_of(points);
        const uint32_t n = points->tally;
        // Places: exact order, then the points of one place linked to the
        // first of them.
        std::sort(p, p + n, [](const TeCrossPoint& a, const TeCrossPoint& b) {
            if (int c = qd_te_key_order(a.vertex.x, b.vertex.x)) return c < 0;
            if (int c = qd_te_key_order(a.vertex.y, b.vertex.y)) return c < 0;
            return a.position < b.position;
        });
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i].link != -1) continue;
            const GeoCoord a = coord_of(p[i].vertex);
            for (uint32_t j = i + 1; j < n && p[j].vertex.x - p[i].vertex.x <= kWindow; ++j) {
                const GeoCoord b = coord_of(p[j].vertex);
                if (p[j].link != -1 || !qd_te_same_fuzzy_point(&a, &b, kPlace)) continue;
                p[j].link = p[i].position;
                p[i].link = p[i].position;
            }
        }
        // Chains of repeats: each visit names the one before it.
        std::sort(p, p + n, [](const TeCrossPoint& a, const TeCrossPoint& b) {
            if (a.link != b.link) return a.link < b.link;
            return a.position < b.position;
        });
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i].link < 0) continue;
            const bool first = i == 0 || p[i - 1].link != p[i].link;
            p[i].spare = first ? -1 : p[i - 1].position;
        }
        for (uint32_t i = 0; i < n; ++i) {
            if (p[i].link >= 0) p[i].link = p[i].spare;
            p[i].spare = 0;
        }
        std::sort(p, p + n, [](const TeCrossPoint& a, const TeCrossPoint& b) { return a.position < b.position; });
        ok = qd_te_split_set_poly_cross(points, ring, &work.list, orientation, t);
        if (ok && work.list && work.list->tally) {
            ok = qd_te_split_poly_cross_rings(work.list, orientation, nesting, t) &&
                 qd_te_split_move_pieces(work.list, rings, t);
        }
    }
    if (points) nlst_free(points);
    return ok;
}
