// Chain records and the chain list: defaults, release, copies and moves,
// the universal chain, vertex lists by chain type, and reading a chain's
// points (arcs, circles and curves stroked on request).
#include <cmath>
#include <cstring>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_option.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {



nlst* copy_list(const nlst* list) {
    if (!list) return nullptr;
    nlst* copy = nlst_alloc(list->size, list->tally ? list->tally : 1, list->inc, list->print);
    if (!copy) return nullptr;
    if (list->tally && !nlst_add_many(copy, list->data, list->tally)) {
        nlst_free(copy);
        return nullptr;
    }
    return copy;
}

GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

}  // namespace

void qd_te_geo_chain_default(TeChain* chain) {
    if (!chain) return;
    std::memset(static_cast<void*>(chain), 0, sizeof *chain);
    chain->chain_id = -1;
    chain->chain_lookup = -1;
    chain->chain_lookup_max = -1;
    chain->poly_left = -1;
    chain->poly_right = -1;
    chain->link_fore = -1;
    chain->link_back = -1;
    chain->link_free = -1;
}

void qd_te_geo_chain_release(TeChain* chain) {
    if (!chain) return;
    if (chain->coords) nlst_free(chain->coords);
    if (chain->right_parent) nlst_free(chain->right_parent);
    if (chain->left_parent) nlst_free(chain->left_parent);
    qd_free(chain->node_dynamic);
    chain->coords = chain->right_parent = chain->left_parent = nullptr;
    chain->node_dynamic = nullptr;
}

void qd_te_geo_chain_universal_init(TeChain* chain) {
    qd_te_geo_chain_default(chain);
    chain->chain_id = 0;
    chain->chain_type = TE_LINE;
    chain->discard = CHAIN_SENTINAL;
    chain->chain_mer[0] = {-1e100, -1e100, 0};
    chain->chain_mer[1] = {1e100, 1e100, 0};
    // An empty link order: nothing before, nothing after, no free slot.
    chain->link_fore = -1;
    chain->link_back = 0;
    chain->link_free = -1;
}

int qd_te_geo_free_chain_list(nlst* list, int32_t start) {
    if (!list || start < 0) return qd_te_missing("qd_te_geo_free_chain_list");
    if (uint32_t(start) >= list->tally) return 1;
    for (uint32_t i = uint32_t(start); i < list->tally; ++i)
        qd_te_geo_chain_release(qd_te_chain_at(list, int32_t(i)));
    list->tally = uint32_t(start);
    return 1;
}

int qd_te_geo_copy_chain(const TeChain* source, TeChain* target, int with_coords) {
    if (!source || !target) return qd_te_missing("qd_te_geo_copy_chain");
    TeChain copy = *source;
    copy.coords = nullptr;
    copy.right_parent = copy.left_parent = nullptr;
    copy.node_dynamic = nullptr;
    bool ok = true;
    if (with_coords == 1 && source->coords) ok = (copy.coords = copy_list(source->coords)) != nullptr;
    if (ok && source->right_parent) ok = (copy.right_parent = copy_list(source->right_parent)) != nullptr;
    if (ok && source->left_parent) ok = (copy.left_parent = copy_list(source->left_parent)) != nullptr;
    if (ok && source->node_dynamic) ok = qd_te_geo_point_dynamic(&copy, source->node_dynamic) == 1;
    if (!ok) {
        qd_te_geo_chain_release(&copy);
        return qd_te_no_memory();
    }
    *target = copy;
    return 1;
}

void qd_te_geo_move_chain(TeChain* source, TeChain* target) {
    if (!source || !target || source == target) return;
    *target = *source;
    qd_te_geo_chain_default(source);
}

int qd_te_geo_point_dynamic(TeChain* chain, const TeNodeDynamic* source) {
    if (!chain) return qd_te_missing("qd_te_geo_point_dynamic");
    if (!source) {
        qd_free(chain->node_dynamic);
        chain->node_dynamic = nullptr;
        return 1;
    }
    auto* record = static_cast<TeNodeDynamic*>(qd_alloc(sizeof(TeNodeDynamic)));
    if (!record) return qd_te_no_memory();
    *record = *source;
    qd_free(chain->node_dynamic);  // the replaced record
    chain->node_dynamic = record;
    return 1;
}

int qd_te_geo_chain_list_create(nlst** list, int32_t increment) {
    if (!list) return qd_te_missing("qd_te_geo_chain_list_create");
    if (increment < 1) increment = 1;
    const uint32_t inc = uint32_t(increment / 4 > 1 ? increment / 4 : 1);
    *list = nlst_alloc(sizeof(TeChain), uint32_t(increment) + 1, inc, nullptr);
    if (!*list) return qd_te_no_memory();
    if (!qd_te_geo_chain_list_reset(*list)) {
        nlst_free(*list);
        *list = nullptr;
        return 0;
    }
    return 1;
}

int qd_te_geo_chain_list_reset(nlst* list) {
    if (!list) return qd_te_missing("qd_te_geo_chain_list_reset");
    qd_te_geo_free_chain_list(list, 0);
    TeChain universal;
    qd_te_geo_chain_universal_init(&universal);
    return nlst_add(list, &universal) ? 1 : qd_te_no_memory();
}

int qd_te_geo_chain_list_free(nlst** list) {
    if (!list) return qd_te_missing("qd_te_geo_chain_list_free");
    if (!*list) return 1;
    qd_te_geo_free_chain_list(*list, 0);
    nlst_free(*list);
    *list = nullptr;
    return 1;
}

int qd_te_geo_form_location(TeChain* chain, const GeoCoord* coords, int32_t n,
                            double end_tolerance, double inner_tolerance) {
    if (!chain) return qd_te_missing("qd_te_geo_form_location");
    if (chain->discard != CHAIN_OK || !coords || n < 1) return 1;
    if (chain->chain_type < TE_REGION || chain->chain_type >= TE_EAF) return 0;
    // A replaced vertex list is released.
    if (chain->coords) nlst_free(chain->coords);
    chain->coords = nullptr;
    const int32_t type = chain->chain_type;
    const bool closed_path =
        type == TE_PATH && n > 2 && qd_te_same_fuzzy_point(&coords[0], &coords[n - 1], 1e-10);
    nlst* list = nlst_alloc(sizeof(TeVertex), uint32_t(n) + 2, 1, nullptr);
    if (!list) return qd_te_no_memory();
    for (int32_t i = 0; i < n; ++i) {
        const bool end = i == 0 || i == n - 1;
        double tol;
        switch (type) {
        case TE_PATH: tol = closed_path || !end ? inner_tolerance : end_tolerance; break;
        case TE_ARC: tol = end ? end_tolerance : 0.0; break;
        case TE_CIRCLE:
        case TE_NODE: tol = end_tolerance; break;
        default: tol = end ? end_tolerance : inner_tolerance; break;
        }
        // A closed path ends on an exact copy of its first point.
        const GeoCoord& c = closed_path && i == n - 1 ? coords[0] : coords[i];
        const TeVertex v = {c.x, c.y, c.z, tol};
        if (!nlst_add(list, &v)) {
            nlst_free(list);
            return qd_te_no_memory();
        }
    }
    chain->coords = list;
    return qd_te_cluster_clean_points(chain, 0, 1e-10);
}

int qd_te_coord_append(void* vertex, void* list_address) {
    auto* v = static_cast<TeVertex*>(vertex);
    auto** list = static_cast<nlst**>(list_address);
    const GeoCoord c = coord_of(*v);
    if (!*list && !(*list = ktgeo_coord_list_new(nullptr))) return 0;
    return nlst_add(*list, &c) ? 1 : 0;
}

namespace {

// Appends a stroke (freed here) to list, reversed when asked.
int append_stroke(nlst** list, nlst* stroke, bool reverse) {
    if (!stroke) return 0;
    int ok = 1;
    const uint32_t n = stroke->tally;
    const auto* pts = static_cast<const GeoCoord*>(stroke->data);
    for (uint32_t i = 0; ok && i < n; ++i) {
        const GeoCoord& c = pts[reverse ? n - 1 - i : i];
        ok = nlst_add(*list, &c) ? 1 : 0;
    }
    nlst_free(stroke);
    return ok;
}

double signed_area(const nlst* list) {
    const auto* p = static_cast<const GeoCoord*>(list->data);
    return qd_te_cogo_ring_area_cw(p, int32_t(list->tally));
}

}  // namespace

int qd_te_geo_get_coords_list(const TeChain* chain, nlst** list, int expand) {
    if (!chain || !list) return qd_te_missing("qd_te_geo_get_coords_list");
    if (chain->discard != CHAIN_OK || !chain->coords || chain->coords->tally == 0) return 1;
    if (!*list && !(*list = ktgeo_coord_list_new(nullptr))) return qd_te_no_memory();
    if (chain->chain_type == TE_CURVE && expand == 1) {
        nlst* stroke = nullptr;
        if (!qd_te_geo_chain_expand_spline(chain, &stroke)) {
            if (stroke) nlst_free(stroke);
            return 0;
        }
        int ok = 1;
        if (stroke && stroke->tally >= 2) ok = nlst_append(*list, stroke) ? 1 : 0;
        if (stroke) nlst_free(stroke);
        return ok ? 1 : qd_te_no_memory();
    }
    const uint32_t before = (*list)->tally;
    const uint32_t n = chain->coords->tally;
    const auto* v = static_cast<const TeVertex*>(chain->coords->data);
    for (uint32_t i = 0; i < n; ++i) {
        const GeoCoord c = coord_of(v[i]);
        if (!nlst_add(*list, &c)) return qd_te_no_memory();
    }
    if (expand != 1) return 1;
    if (chain->chain_type == TE_ARC && n == 3) {
        const GeoCoord a = coord_of(v[0]), b = coord_of(v[1]), c = coord_of(v[2]);
        GeoCoord centre;
        double radius;
        const bool defined = qd_cogo_circle_centre(&a, &b, &c, &centre, &radius) != 0;
        (*list)->tally = before;  // the three points give way to the stroke
        if (!defined) return 1;
        return append_stroke(list, qd_cogo_stroke_arc(&a, &b, &c, ktgeo_option_arc_segments()), false)
                   ? 1
                   : qd_te_no_memory();
    }
    if (chain->chain_type == TE_CIRCLE && n == 1) {
        (*list)->tally = before;
        const GeoCoord centre = coord_of(v[0]);
        const GeoCoord start = {centre.x - chain->radius, centre.y, centre.z};
        nlst* stroke = qd_cogo_stroke_arc(&start, &centre, &start, ktgeo_option_arc_segments());
        if (!stroke) return qd_te_no_memory();
        // Circles come out clockwise.
        return append_stroke(list, stroke, signed_area(stroke) < 0) ? 1 : qd_te_no_memory();
    }
    return 1;
}

int qd_te_geo_get_coords(const TeChain* chain, GeoCoord** array, int32_t* n, int expand) {
    if (!chain || !array || !n) return qd_te_missing("qd_te_geo_get_coords");
    *array = nullptr;
    *n = 0;
    nlst* list = nullptr;
    if (!qd_te_geo_get_coords_list(chain, &list, expand)) {
        if (list) nlst_free(list);
        return 0;
    }
    if (!list || list->tally == 0) {
        if (list) nlst_free(list);
        return 1;
    }
    auto* out = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * list->tally));
    if (!out) {
        nlst_free(list);
        return qd_te_no_memory();
    }
    std::memcpy(out, list->data, sizeof(GeoCoord) * list->tally);
    *array = out;
    *n = int32_t(list->tally);
    nlst_free(list);
    return 1;
}

int qd_te_geo_dimension_accepts(int32_t input_dim, int32_t output_dim) {
    switch (input_dim) {
    case 0: return 1;
    case 1: return output_dim != 2 && output_dim != 3;
    case 2:
    case 3: return output_dim == 0 || output_dim == 2 || output_dim == 3;
    default: return 0;
    }
}

void qd_te_mer_expand(GeoCoord mer[2], double margin) {
    if (margin > 0) {
        const double largest = std::fmax(std::fmax(std::fabs(mer[0].x), std::fabs(mer[0].y)),
                                          std::fmax(std::fabs(mer[1].x), std::fabs(mer[1].y)));
        margin = std::fmax(margin, largest / 1e14);
    }
    mer[0].x -= margin;
    mer[0].y -= margin;
    mer[1].x += margin;
    mer[1].y += margin;
}

void qd_te_mer_grow(GeoCoord mer[2], double dx, double dy) {
    mer[0].x -= dx;
    mer[0].y -= dy;
    mer[1].x += dx;
    mer[1].y += dy;
}

void qd_te_mer_union(GeoCoord mer[2], const GeoCoord other[2]) {
    mer[0].x = std::fmin(mer[0].x, other[0].x);
    mer[0].y = std::fmin(mer[0].y, other[0].y);
    mer[1].x = std::fmax(mer[1].x, other[1].x);
    mer[1].y = std::fmax(mer[1].y, other[1].y);
}

int qd_te_chain_list_to_array(nlst** list, const nlst* chains) {
    if (!list || !chains) return qd_te_missing("qd_te_chain_list_to_array");
    for (uint32_t i = 0; i < chains->tally; ++i) {
        TeChain copy;
        if (!qd_te_geo_copy_chain(qd_te_chain_at(chains, int32_t(i)), &copy, 1)) return 0;
        if (!*list && !(*list = nlst_alloc(sizeof(TeChain), chains->tally, 1, nullptr))) {
            qd_te_geo_chain_release(&copy);
            return qd_te_no_memory();
        }
        if (!nlst_add(*list, &copy)) {
            qd_te_geo_chain_release(&copy);
            return qd_te_no_memory();
        }
    }
    return 1;
}
