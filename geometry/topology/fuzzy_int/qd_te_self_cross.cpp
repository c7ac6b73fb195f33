// A chain against itself: the self sweep of a vertex chain, the cut of a
// self-crossing chain into simple pieces, and the crossings of paths and
// lines inserted as vertices or recorded without cutting.
#include <algorithm>

#include "geometry/topology/fuzzy_int/qd_te_fuzzy_internal.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_encode.h"

using namespace te_fuzzy;

namespace {

struct SegmentList {
    nlst* list = nullptr;
    ~SegmentList() {
        if (list) nlst_free(list);
    }
};

// Two segments next to each other: does B double back onto A? The hit
// point is B's far vertex.
bool neighbours_meet(const TeSegment& a, const TeSegment& b, double t, GeoCoord* hit) {
    auto near_a = [&](const GeoCoord* p) {
        return qd_te_cogo_point_segment_distance(a.start, a.end, p, nullptr) < t;
    };
    if (qd_te_same_fuzzy_point(a.start, b.end, t)) {
        if (!near_a(b.start)) return false;
        *hit = *b.start;
        return true;
    }
    if (qd_te_same_fuzzy_point(a.end, b.start, t)) {
        if (!near_a(b.end)) return false;
        *hit = *b.end;
        return true;
    }
    return false;
}

bool apart_meet(const TeSegment& a, const TeSegment& b, int32_t n, double t, const double* tolerance,
                GeoCoord* hit) {
    if (a.env_min.x > b.env_max.x || a.env_max.x < b.env_min.x || a.env_min.y > b.env_max.y ||
        a.env_max.y < b.env_min.y)
        return false;
    if (a.index == 0 && b.index == n - 1 && qd_te_same_fuzzy_point(a.start, b.end, t)) return false;
    if (a.index == n - 1 && b.index == 0 && qd_te_same_fuzzy_point(a.end, b.start, t)) return false;
    if (qd_te_cogo_segment_intersection(a.start, a.end, b.start, b.end, hit, 1, tolerance, nullptr) == 1)
        return true;
    const GeoCoord* far = nullptr;
    if (qd_te_same_fuzzy_point(b.start, a.start, t) || qd_te_same_fuzzy_point(b.start, a.end, t)) far = b.end;
    else if (qd_te_same_fuzzy_point(b.end, a.start, t) || qd_te_same_fuzzy_point(b.end, a.end, t))
        far = b.start;
    if (!far) return false;
    return qd_te_cogo_point_segment_distance(a.start, a.end, far, hit) < t;
}

}  // namespace

int qd_te_fuzzy_sweep_self(TeChain* chain, TeIntersectionList* list, int32_t stop_at_first,
                           const double* tolerance) {
    const double t = tolerance ? *tolerance : QD_TE_DEFAULT_TOLERANCE;
    if (!chain || (!list && !stop_at_first)) return -2;
    if (chain->discard != CHAIN_OK || vertex_count(chain) < 2) return 0;
    int32_t closed = 0;
    if (!qd_te_fuzzy_chain_closed(chain, t, &closed)) return -3;
    SegmentList segments;
    if (!(segments.list = nlst_alloc(sizeof(TeSegment), vertex_count(chain) + 1, 1, nullptr))) return -3;
    if (!qd_te_fuzzy_load_segments(chain->coords, nullptr, &segments.list, 1)) return -2;
    const int32_t n = int32_t(segments.list->tally);
    if (n == 0) return 0;
    auto* s = static_cast<TeSegment*>(segments.list->data);
    std::stable_sort(s, s + n, [](const TeSegment& a, const TeSegment& b) {
        return qd_te_cogo_segment_order(&a, &b) < 0;
    });
    std::vector<TeIntersection> found;
    int32_t status = 0;
    for (int32_t i = 0; i < n; ++i) {
        const TeSegment& a = s[i];
        for (int32_t j = i + 1; j < n && !(s[j].env_min.x > a.env_max.x); ++j) {
            const TeSegment& b = s[j];
            const bool b_follows = b.index == a.index + 1 || (closed && a.index == n - 1 && b.index == 0);
            const bool a_follows = a.index == b.index + 1 || (closed && a.index == 0 && b.index == n - 1);
            TeIntersection item = {};
            const bool hit = (b_follows || a_follows) ? neighbours_meet(a, b, t, &item.point)
                                                      : apart_meet(a, b, n, t, tolerance, &item.point);
            if (!hit) continue;
            qd_te_cogo_intersection_positions(&a, &b, &item, tolerance);
            status = 1;
            if (stop_at_first) return 1;
            found.push_back(item);
        }
    }
    if (stop_at_first || status != 1) return status;
    return hand_over(found, list);
}

int qd_te_intersect_process_cross(TeIntersectionList* items, TeChain* chain, nlst** output,
                                  int32_t switch_1, int32_t switch_2, double tolerance, int32_t* cut) {
    if (cut) *cut = 1;
    if (!chain || !items || !output || !cut) return qd_te_missing("qd_te_intersect_process_cross");
    nlst* nodes = nullptr;
    const int checked = qd_te_intersect_check_intr(chain, items, 0, &nodes, tolerance, 1);
    list_clear(items);
    if (!checked) return 0;
    if (!nodes || nodes->tally == 0) {
        if (nodes) nlst_free(nodes);
        *cut = 0;
        return 1;
    }
    nlst* pieces = nullptr;
    int ok = qd_te_split_chain_cross(chain, nodes, tolerance) &&
             qd_te_split_form_poly_cross(chain, &pieces, switch_1, switch_2, tolerance);
    if (ok && pieces && pieces->tally > 0) {
        auto* p = static_cast<TeChain*>(pieces->data);
        std::stable_sort(p, p + pieces->tally,
                         [](const TeChain& a, const TeChain& b) { return qd_te_chain_compare(&a, &b) < 0; });
        ok = qd_te_split_remove_duplicate_chains(pieces, tolerance);
        for (uint32_t i = 0; ok && i < pieces->tally; ++i) {
            TeChain* piece = qd_te_chain_at(pieces, int32_t(i));
            if (piece->discard != CHAIN_OK || vertex_count(piece) < 1) continue;
            if (!*output) {
                if (!qd_te_geo_chain_list_create(output, 8)) {
                    ok = 0;
                    break;
                }
                (*output)->tally = 0;
            }
            if (!nlst_add(*output, piece)) {
                ok = qd_te_no_memory();
                break;
            }
            qd_te_geo_chain_default(piece);
        }
    }
    nlst_free(nodes);
    if (pieces) {
        qd_te_geo_free_chain_list(pieces, 0);
        nlst_free(pieces);
    }
    return ok;
}

int qd_te_intersect_chain_self_cross(TeChain* chain, nlst** list, double tolerance, int32_t switch_1,
                                     int32_t switch_2, int32_t* crossed) {
    if (crossed) *crossed = 0;
    if (!chain || !list || !crossed) return qd_te_missing("qd_te_intersect_chain_self_cross");
    if (chain->discard != CHAIN_OK) return 1;
    if (chain->chain_type > TE_NODE) return qd_te_missing("qd_te_intersect_chain_self_cross");
    TeIntersectionList items = {0, 0, nullptr};
    TeCurveView view{};
    int32_t status = 0;
    if (chain->chain_type == TE_PATH) {
        status = qd_te_fuzzy_sweep_self(chain, &items, 0, nullptr);
    } else if (chain->chain_type == TE_CURVE) {
        int32_t skip = 0;
        if (!qd_te_form_curve(chain, &view, 0, &skip)) return 0;
        if (!skip && view.array.n >= 1) {
            status = qd_te_cogo_curve_self_intersections(&view.array, &items, nullptr);
            if (status == 1 && items.count == 0) status = 0;
        }
    }
    int ok = status != -3;
    if (!ok) qd_te_no_memory();
    if (ok && status == 1)
        ok = qd_te_intersect_process_cross(&items, chain, list, switch_1, switch_2, tolerance, crossed);
    if (ok && *crossed == 0) {
        // Handed over whole: the list's record takes the chain and its lists.
        if (!*list) {
            ok = qd_te_geo_chain_list_create(list, 8);
            if (ok) (*list)->tally = 0;
        }
        if (ok && !(ok = nlst_add(*list, chain))) qd_te_no_memory();
        if (ok) qd_te_geo_chain_default(chain);
    }
    qd_free(view.array.pts);
    list_clear(&items);
    return ok;
}

// ---- Paths and lines without cutting ---------------------------------------

int qd_te_intersect_form_split_nodes(nlst** records, double tolerance, int32_t side, int32_t record_mode,
                                     int32_t cross_mode, TeIntersectionList* items, TeChain* chain, int32_t row) {
    if (!chain || !items) return qd_te_missing("qd_te_intersect_form_split_nodes");
    nlst* nodes = nullptr;
    if (!qd_te_intersect_check_intr(chain, items, side, &nodes, tolerance, 1)) return 0;
    if (!nodes) return 1;
    int ok = 1;
    if (nodes->tally > 0)
        ok = cross_mode == 1 ? qd_te_split_chain_cross(chain, nodes, tolerance)
                             : qd_te_split_linear_record_intr(chain, row, nodes, records, record_mode, tolerance);
    nlst_free(nodes);
    return ok;
}

int qd_te_intersect_polylines(TeChain* c1, int32_t row1, TeChain* c2, int32_t row2, nlst** records,
                              double tolerance, int32_t cross_mode, int32_t record_mode) {
    if (!c1 || !c2) return qd_te_missing("qd_te_intersect_polylines");
    TeIntersectionList items = {0, 0, nullptr};
    int32_t status = 0, swap = 0;
    int ok = 1;
    const int32_t a = c1->chain_type, b = c2->chain_type;
    if (c1 == c2) {
        status = qd_te_fuzzy_sweep_self(c1, &items, 0, nullptr);
    } else if (is_ring(a) && is_ring(b)) {
        ok = qd_te_fuzzy_int_reg_reg(c1, c2, &items, &status);
    } else if (a == TE_PATH) {
        if (b == TE_PATH) ok = qd_te_fuzzy_int_path_path(c1, c2, &items, &status);
        else if (b == TE_LINE) ok = qd_te_fuzzy_int_vect_path(c2, c1, &items, &status), swap = 1;
        else if (b == TE_NODE) ok = qd_te_fuzzy_proj_node_on_path(c2, c1, &items, &status), swap = 1;
    } else if (a == TE_LINE) {
        if (b == TE_PATH) ok = qd_te_fuzzy_int_vect_path(c1, c2, &items, &status);
        else if (b == TE_LINE) ok = qd_te_fuzzy_int_vect_vect(c1, c2, &items, &status);
        else if (b == TE_NODE) ok = qd_te_fuzzy_proj_node_on_line(c2, c1, &items, &status), swap = 1;
    } else if (a == TE_NODE) {
        if (b == TE_PATH) ok = qd_te_fuzzy_proj_node_on_path(c1, c2, &items, &status);
        else if (b == TE_LINE) ok = qd_te_fuzzy_proj_node_on_line(c1, c2, &items, &status);
        else if (b == TE_NODE) ok = qd_te_fuzzy_proj_node_on_node(c1, &status, c2);
    }
    if (ok && status == -3) ok = qd_te_no_memory();
    if (ok && status == 1) {
        if (c1 == c2) {
            ok = qd_te_intersect_form_split_nodes(records, tolerance, 0, record_mode, cross_mode, &items, c1, row1);
        } else {
            ok = qd_te_intersect_form_split_nodes(records, tolerance, swap == 1 ? 2 : 1, record_mode, cross_mode,
                                                  &items, c1, row1) &&
                 qd_te_intersect_form_split_nodes(records, tolerance, swap == 1 ? 1 : 2, record_mode, cross_mode,
                                                  &items, c2, row2);
        }
    }
    list_clear(&items);
    return ok;
}

namespace {

// The two walks: the pair step of the chain at `row` with itself (when
// asked) and with each chain after it whose rectangle meets its own; the
// chain is fetched again by its row after every pair step.
int pathline_walk(const char* name, nlst* chains, int32_t row, int32_t self, double tolerance,
                  nlst** records, int32_t cross_mode, int32_t record_mode) {
    if (!chains) return qd_te_missing(name);
    if (chains->tally <= 1) return 1;
    if (row < 0 || uint32_t(row) >= chains->tally) return 0;
    if (!qd_te_cluster_clean_points(qd_te_chain_at(chains, row), 0, tolerance)) return 0;
    if (self == 1) {
        TeChain* c = qd_te_chain_at(chains, row);
        if (!qd_te_intersect_polylines(c, row, c, row, records, tolerance, cross_mode, record_mode)) return 0;
    }
    int32_t cursor = row;
    for (;;) {
        TeChain* r = nullptr;
        if (!qd_te_link_get_next_chain(chains, &cursor, &r)) return 0;
        TeChain* c = qd_te_chain_at(chains, row);
        if (c->discard != CHAIN_OK || !r) return 1;
        if (r->discard != CHAIN_OK) continue;
        if (r->chain_mer[0].x > c->chain_mer[1].x + qd_te_order_margin) return 1;
        if (!boxes_meet(c->chain_mer, r->chain_mer)) continue;
        if (!qd_te_intersect_polylines(c, row, r, cursor, records, tolerance, cross_mode, record_mode)) return 0;
    }
}

}  // namespace

int qd_te_intersect_pathline(nlst* chains, int32_t row, int32_t self, double tolerance) {
    return pathline_walk("qd_te_intersect_pathline", chains, row, self, tolerance, nullptr, 1, 0);
}

int qd_te_intersect_pathline_record(nlst* chains, int32_t row, nlst** records, int32_t self,
                                    int32_t record_mode, double tolerance) {
    return pathline_walk("qd_te_intersect_pathline_record", chains, row, self, tolerance, records, 0,
                         record_mode);
}
