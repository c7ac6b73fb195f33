// Views of a chain's primitive, the closedness tests, the true middle
// point of an arc and the point-near-envelope test.
#include <cassert>
#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

TeVertex* vertex_at(TeChain* chain, uint32_t i) { return static_cast<TeVertex*>(chain->coords->data) + i; }
uint32_t vertex_count(const TeChain* chain) { return chain->coords ? chain->coords->tally : 0; }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }

// Skip for a chain that is not CHAIN_OK; 1 when the caller goes on.
bool usable(TeChain* chain, int32_t* skip) {
    *skip = chain->discard != CHAIN_OK ? 1 : 0;
    return *skip == 0;
}

int invalid(TeChain* chain, int32_t* skip) {
    chain->discard = CHAIN_INVALID;
    *skip = 1;
    return 1;
}

}  // namespace

int qd_te_form_node(TeChain* chain, TeVertex** node, int32_t* skip) {
    if (!chain || !node || !skip) return qd_te_missing("qd_te_form_node");
    *node = nullptr;
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_NODE) return qd_te_missing("qd_te_form_node");
    if (vertex_count(chain) < 1) return invalid(chain, skip);
    *node = vertex_at(chain, 0);
    return 1;
}

int qd_te_form_start_end(TeChain* chain, TeVertex** first, TeVertex** last, int32_t* skip) {
    if (!chain || !first || !last || !skip) return qd_te_missing("qd_te_form_start_end");
    *first = *last = nullptr;
    if (!usable(chain, skip)) return 1;
    const uint32_t n = vertex_count(chain);
    if (n < 2 && !(chain->chain_type == TE_NODE && n >= 1)) return invalid(chain, skip);
    *first = vertex_at(chain, 0);
    *last = chain->chain_type == TE_NODE ? *first : vertex_at(chain, n - 1);
    return 1;
}

int qd_te_form_vect(TeChain* chain, TeVertex** first, TeVertex** last, int32_t* skip) {
    if (!chain || !first || !last || !skip) return qd_te_missing("qd_te_form_vect");
    *first = *last = nullptr;
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_LINE) return qd_te_missing("qd_te_form_vect");
    return qd_te_form_start_end(chain, first, last, skip);
}

int qd_te_form_circle(TeChain* chain, TeCircle* circle, int32_t* skip) {
    if (!chain || !circle || !skip) return qd_te_missing("qd_te_form_circle");
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_CIRCLE) return qd_te_missing("qd_te_form_circle");
    if (vertex_count(chain) != 1) return invalid(chain, skip);
    const TeVertex* c = vertex_at(chain, 0);
    if (chain->radius < c->tol) return invalid(chain, skip);
    circle->centre = coord_of(*c);
    circle->radius = chain->radius;
    return 1;
}

int qd_te_form_arc3(TeChain* chain, TeArc3* arc, int32_t true_middle, int32_t* skip) {
    if (!chain || !arc || !skip) return qd_te_missing("qd_te_form_arc3");
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_ARC) return qd_te_missing("qd_te_form_arc3");
    if (vertex_count(chain) != 3) return invalid(chain, skip);
    arc->start = coord_of(*vertex_at(chain, 0));
    arc->mid = coord_of(*vertex_at(chain, 1));
    arc->end = coord_of(*vertex_at(chain, 2));
    if (true_middle) {
        int32_t degenerate = 0;
        if (!qd_te_fuzzy_arc_midptn(arc, &degenerate)) return 0;
        if (degenerate) return invalid(chain, skip);
        TeVertex* m = vertex_at(chain, 1);
        m->x = arc->mid.x;
        m->y = arc->mid.y;
        m->z = arc->mid.z;
    }
    return 1;
}

int qd_te_form_arc(TeChain* chain, TeArc* arc, int32_t true_middle, int32_t* skip) {
    if (!chain || !arc || !skip) return qd_te_missing("qd_te_form_arc");
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_ARC) return qd_te_missing("qd_te_form_arc");
    TeArc3 a3;
    if (!qd_te_form_arc3(chain, &a3, true_middle, skip)) return 0;
    if (*skip) return 1;
    if (qd_te_cogo_arc_from_points(&a3.start, &a3.mid, &a3.end, arc, nullptr) != -1)
        return invalid(chain, skip);
    return 1;
}

int qd_te_form_curve(TeChain* chain, TeCurveView* view, int32_t stroke, int32_t* skip) {
    if (!chain || !view || !skip) return qd_te_missing("qd_te_form_curve");
    view->array = {nullptr, 0};
    if (!usable(chain, skip)) return 1;
    if (chain->chain_type != TE_CURVE) return qd_te_missing("qd_te_form_curve");
    if (vertex_count(chain) < 2) return invalid(chain, skip);
    if (!qd_te_geo_get_coords(chain, &view->array.pts, &view->array.n, stroke)) return 0;
    view->array.start_angle = chain->tangent.start_angle;
    view->array.end_angle = chain->tangent.end_angle;
    view->array.end_condition = chain->tangent.type;
    return 1;
}

int qd_te_form_polyline(TeChain* chain, TePathView* view, int32_t stroke, int32_t* skip) {
    if (!chain || !view || !skip) return qd_te_missing("qd_te_form_polyline");
    view->array = {nullptr, 0};
    if (!usable(chain, skip)) return 1;
    if (vertex_count(chain) < 1) return invalid(chain, skip);
    if (!qd_te_geo_get_coords(chain, &view->array.pts, &view->array.n, stroke)) return 0;
    if (view->array.n < 1) {
        qd_free(view->array.pts);
        view->array.pts = nullptr;
        return invalid(chain, skip);
    }
    qd_te_cogo_envelope(view->envelope, view->array.pts, view->array.n);
    return 1;
}

int qd_te_form_pathpoint(TeChain* chain, nlst** holder, int32_t tag, const double* tol,
                         int32_t* skip) {
    if (!chain || !holder || !skip) return qd_te_missing("qd_te_form_pathpoint");
    if (!usable(chain, skip)) return 1;
    const uint32_t n = vertex_count(chain);
    if (n < 1) return invalid(chain, skip);
    if (!*holder && !(*holder = nlst_alloc(sizeof(TeCoordRef), n, n, nullptr)))
        return qd_te_no_memory();
    for (uint32_t i = 0; i < n; ++i) {
        const TeVertex* v = vertex_at(chain, i);
        const TeCoordRef r = qd_te_coord_ref(chain->coords, &v->x, tag, tol ? *tol : v->tol, int32_t(i));
        if (!nlst_add(*holder, &r)) return qd_te_no_memory();
    }
    return 1;
}

TeCoordRef qd_te_coord_ref(const nlst* source, const double* point, int32_t tag, double tol,
                           int32_t index) {
    return {point, tag, tol, index, -1, source, source ? source->data : nullptr};
}

GeoCoord qd_te_ref_point(const TeCoordRef* ref) {
    assert(!ref->source || ref->source->data == ref->storage);
    return {ref->point[0], ref->point[1], ref->point[2]};
}

int qd_te_split_cir_midptn(const GeoCoord* start, const GeoCoord* end, const TeCircle* circle,
                           GeoCoord candidates[2], int32_t* skip) {
    if (!start || !end || !circle || !candidates || !skip)
        return qd_te_missing("qd_te_split_cir_midptn");
    *skip = 1;
    const GeoCoord& c = circle->centre;
    const double r = circle->radius;
    if (!(r > 0) || !std::isfinite(r)) return 1;
    if (qd_te_same_fuzzy_point(start, end, 1e-10) || qd_te_same_fuzzy_point(start, &c, 1e-10) ||
        qd_te_same_fuzzy_point(end, &c, 1e-10))
        return 1;
    double ax, ay, bx, by;
    if (qd_te_cogo_unit_direction(&c, start, &ax, &ay, nullptr) != -1 ||
        qd_te_cogo_unit_direction(&c, end, &bx, &by, nullptr) != -1)
        return 1;
    // Both ends on the circle (centre + r u); halfway between them along
    // the bisector, or a quarter turn to the right of the start when they
    // lie opposite each other.
    double mx = (ax + bx) / 2, my = (ay + by) / 2;
    if (std::hypot(mx, my) * r <= 1e-10) {
        mx = ay;
        my = -ax;
    }
    const double len = std::hypot(mx, my);
    if (!(len * r > 1e-10)) return 1;
    mx /= len;
    my /= len;
    const GeoCoord a = {c.x + r * ax, c.y + r * ay, start->z}, b = {c.x + r * bx, c.y + r * by, end->z};
    candidates[0] = {c.x + r * mx, c.y + r * my, KTGEO_NO_Z};
    candidates[1] = {c.x - r * mx, c.y - r * my, KTGEO_NO_Z};
    for (int k = 0; k < 2; ++k) {
        qd_te_cogo_interpolate_z(&a, &b, &candidates[k]);
        TeArc arc;
        if (qd_te_cogo_arc_from_points(&a, &candidates[k], &b, &arc, nullptr) != -1) return 1;
    }
    *skip = 0;
    return 1;
}

int qd_te_fuzzy_arc_midptn(TeArc3* arc, int32_t* skip) {
    if (!arc || !skip) return qd_te_missing("qd_te_fuzzy_arc_midptn");
    *skip = 1;
    TeCircle circle;
    if (qd_te_cogo_circle_from_points(&arc->start, &arc->mid, &arc->end, &circle, nullptr) != -1)
        return 1;
    if (qd_te_same_fuzzy_point(&arc->start, &arc->end, 1e-10)) return 1;
    GeoCoord c[2];
    int32_t none = 0;
    if (!qd_te_split_cir_midptn(&arc->start, &arc->end, &circle, c, &none)) return 0;
    if (none) return 1;
    const GeoCoord* chosen = qd_te_cogo_point_on_arc3(arc, &c[0], nullptr) == 1   ? &c[0]
                             : qd_te_cogo_point_on_arc3(arc, &c[1], nullptr) == 1 ? &c[1]
                                                                                  : nullptr;
    if (!chosen) return 1;
    GeoCoord m = *chosen;
    qd_te_cogo_interpolate_z_arc3(arc, &m);
    arc->mid = m;
    TeArc record;
    if (qd_te_cogo_arc_from_points(&arc->start, &arc->mid, &arc->end, &record, nullptr) != -1) return 1;
    *skip = 0;
    return 1;
}

int qd_te_fuzzy_poly_closed(const nlst* vertices, double tolerance, int32_t* closed) {
    if (!closed) return qd_te_missing("qd_te_fuzzy_poly_closed");
    *closed = 0;
    if (!vertices || vertices->tally == 0) return 1;
    const auto* v = static_cast<const TeVertex*>(vertices->data);
    const GeoCoord a = coord_of(v[0]), b = coord_of(v[vertices->tally - 1]);
    *closed = qd_te_same_fuzzy_point(&a, &b, tolerance) ? 1 : 0;
    return 1;
}

int qd_te_fuzzy_chain_closed(TeChain* chain, double tolerance, int32_t* closed) {
    if (!chain || !closed) return qd_te_missing("qd_te_fuzzy_chain_closed");
    *closed = 0;
    TeVertex *first, *last;
    int32_t skip = 0;
    if (!qd_te_form_start_end(chain, &first, &last, &skip)) return 0;
    if (skip) return 1;
    const GeoCoord a = coord_of(*first), b = coord_of(*last);
    *closed = qd_te_same_fuzzy_point(&a, &b, tolerance) ? 1 : 0;
    return 1;
}

int qd_te_fuzzy_point_in_envelope(const GeoCoord* point, double tolerance,
                                  const GeoCoord envelope[2]) {
    if (!point || !envelope) return 0;
    GeoCoord box[2] = {*point, *point};
    qd_te_mer_expand(box, tolerance);
    return box[0].x <= envelope[1].x && box[1].x >= envelope[0].x && box[0].y <= envelope[1].y &&
                   box[1].y >= envelope[0].y
               ? 1
               : 0;
}

int qd_te_fuzzy_alloc_intersections(int32_t n, TeIntersection** holder) {
    if (!holder) return qd_te_missing("qd_te_fuzzy_alloc_intersections");
    *holder = nullptr;
    if (n <= 0) return 1;
    void* block = qd_alloc(sizeof(TeIntersection) * size_t(n));
    if (!block) return qd_te_no_memory();
    std::memset(block, 0, sizeof(TeIntersection) * size_t(n));
    *holder = static_cast<TeIntersection*>(block);
    return 1;
}
