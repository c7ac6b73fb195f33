// Fuzzy projection: a vertex or node lying within its own tolerance of
// another chain becomes an item that cuts the chain touched (and, for an
// inner vertex of a path, the path at that vertex). Point routines, the
// loops over a chain's vertices, and the pair routines over lines, arcs,
// circles, curves, paths and nodes.
#include <algorithm>
#include <cmath>

#include "geometry/topology/fuzzy_int/qd_te_fuzzy_internal.h"
#include "geometry/topology/qd_te_duplicates.h"

using namespace te_fuzzy;

namespace {

int other_side(int32_t side) { return side == 1 ? 2 : 1; }

bool same(const TeVertex* a, const TeVertex* b, double tol) {
    return qd_te_same_fuzzy_point(as_coord(a), as_coord(b), tol) != 0;
}
double larger(double a, double b) { return std::max(a, b); }

TeIntersection item_on(int32_t side, const GeoCoord& point, int32_t vertex, double offset) {
    TeIntersection x = {};
    x.point = point;
    if (side == 1) {
        x.index_a = vertex, x.offset_a = offset, x.index_b = -1;
    } else {
        x.index_a = -1, x.index_b = vertex, x.offset_b = offset;
    }
    return x;
}

// A list with room for n items (count 0).
int make_room(TeIntersectionList* list, int32_t n) {
    list_clear(list);
    TeIntersection* items = nullptr;
    if (!qd_te_fuzzy_alloc_intersections(n, &items)) return 0;
    *list = {0, n, items};
    return 1;
}

// Status of a list filled in place: 1 with items, else 0 (list emptied).
int finish_room(TeIntersectionList* list, int32_t* status) {
    *status = list->count > 0 ? 1 : 0;
    if (*status == 0) list_clear(list);
    return 1;
}

// A list filled in place by steps() with room for n items.
template <class Steps>
int filled(TeIntersectionList* list, int32_t n, int32_t* status, Steps steps) {
    if (!make_room(list, n) || !steps()) return 0;
    return finish_room(list, status);
}

// A point routine run into a one-item scratch list; the item, if any, is
// appended to the holder followed by the vertex's own cut.
template <class Run>
int project_vertex(nlst** holder, int32_t vertex, const TeVertex* p, int32_t side, Run run) {
    TeIntersection slot = {};
    TeIntersectionList one = {0, 1, &slot};
    if (!run(&one)) return 0;
    if (one.count == 0) return 1;
    if (!append_item(holder, slot)) return qd_te_no_memory();
    return qd_te_fuzzy_proj_path_node_load(vertex, p, holder, other_side(side));
}

// A chain without vertices is marked invalid; true then (nothing to do).
bool no_vertices(TeChain* c) {
    if (vertex_count(c) != 0) return false;
    c->discard = CHAIN_INVALID;
    return true;
}

// Each vertex of a chain (inside `box` when given; only the two ends with
// ends_only) projected by a point routine point(v, one-item list).
template <class Point>
int vertices_onto(TeChain* chain, const GeoCoord* box, nlst** holder, int32_t side, bool ends_only, Point point) {
    const uint32_t n = vertex_count(chain);
    for (uint32_t i = 0; i < n; ++i) {
        if (ends_only && i != 0 && i != n - 1) continue;
        const TeVertex* v = &vertices(chain)[i];
        if (box && !qd_te_fuzzy_point_in_envelope(as_coord(v), v->tol, box)) continue;
        if (!project_vertex(holder, int32_t(i), v, side, [&](TeIntersectionList* one) { return point(v, one); }))
            return 0;
    }
    return 1;
}

bool check(const char* name, bool ok) {
    if (!ok) qd_te_missing(name);
    return ok;
}

struct CurveCopy {
    TeCurveView view{};
    ~CurveCopy() { qd_free(view.array.pts); }
};

}  // namespace

int qd_te_fuzzy_proj_set_indexes(double offset, int32_t side, TeIntersectionList* list,
                                 const GeoCoord* point, int32_t vertex) {
    if (!list || !point || !list->items || (side != 1 && side != 2) || list->count >= list->capacity)
        return qd_te_missing("qd_te_fuzzy_proj_set_indexes");
    list->items[list->count++] = item_on(side, *point, vertex, offset);
    return 1;
}

int qd_te_fuzzy_proj_path_node_load(int32_t vertex, const TeVertex* p, nlst** holder, int32_t side) {
    if (!p || !holder) return qd_te_missing("qd_te_fuzzy_proj_path_node_load");
    if (vertex < 0) return 1;
    if (!append_item(holder, item_on(side, coord(*p), vertex, 0.0))) return qd_te_no_memory();
    return 1;
}

int qd_te_fuzzy_proj_ptn_on_vect(const TeVertex* p, const TeVertex* a, const TeVertex* b,
                                 TeIntersectionList* list, int32_t side) {
    if (!p || !a || !b || !list) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_vect");
    if (same(p, a, larger(p->tol, a->tol)) || same(p, b, larger(p->tol, b->tol)) ||
        same(a, b, larger(a->tol, b->tol)))
        return 1;
    GeoCoord foot;
    qd_te_cogo_project_to_segment(as_coord(p), as_coord(a), as_coord(b), &foot, nullptr);
    if (!qd_te_same_fuzzy_point(&foot, as_coord(p), p->tol)) return 1;
    qd_te_cogo_interpolate_z(as_coord(a), as_coord(b), &foot);
    return qd_te_fuzzy_proj_set_indexes(qd_te_cogo_distance_2d(as_coord(a), &foot), side, list, &foot, 0);
}

int qd_te_fuzzy_proj_ptn_on_arc(const TeArc3* arc, const TeVertex* p, const TeVertex* s,
                                const TeVertex* e, TeIntersectionList* list, int32_t side) {
    if (!arc || !p || !s || !e || !list) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_arc");
    if (same(p, s, larger(p->tol, s->tol)) || same(p, e, larger(p->tol, e->tol))) return 1;
    TeCircle circle;
    double ux, uy;
    if (qd_te_cogo_circle_from_points(&arc->start, &arc->mid, &arc->end, &circle, nullptr) != -1) return 1;
    if (qd_te_cogo_unit_direction(&circle.centre, as_coord(p), &ux, &uy, nullptr) != -1) return 1;
    // The foot is always the near point of the circle, centre + r u.
    GeoCoord foot = {circle.centre.x + circle.radius * ux, circle.centre.y + circle.radius * uy, KTGEO_NO_Z};
    if (qd_te_cogo_point_on_arc3(arc, &foot, nullptr) != 1) return 1;
    if (!qd_te_same_fuzzy_point(&foot, as_coord(p), p->tol)) return 1;
    qd_te_cogo_interpolate_z_arc3(arc, &foot);
    return qd_te_fuzzy_proj_set_indexes(qd_te_cogo_distance_2d(as_coord(s), &foot), side, list, &foot, 0);
}

int qd_te_fuzzy_proj_ptn_on_circle(TeIntersectionList* list, const TeCircle* circle,
                                   const TeVertex* p, int32_t side) {
    if (!list || !circle || !p) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_circle");
    double ux, uy;
    if (qd_te_cogo_unit_direction(&circle->centre, as_coord(p), &ux, &uy, nullptr) != -1) return 1;
    GeoCoord foot = {circle->centre.x + circle->radius * ux, circle->centre.y + circle->radius * uy,
                     KTGEO_NO_Z};
    if (!qd_te_same_fuzzy_point(&foot, as_coord(p), p->tol)) return 1;
    qd_te_cogo_interpolate_z(&circle->centre, as_coord(p), &foot);
    return qd_te_fuzzy_proj_set_indexes(0.0, side, list, &foot, 0);
}

int qd_te_fuzzy_proj_ptn_on_curve(const TeVertex* p, TeCurveView* view, TeIntersectionList* list,
                                  int32_t side) {
    if (!p || !view || !list) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_curve");
    if (!view->array.pts || view->array.n < 2) return 1;
    TeNearestPoint nearest;
    const int r = qd_te_cogo_curve_closest_point(as_coord(p), &view->array, &nearest, nullptr);
    if (r == -3) return qd_te_no_memory();
    if (r != -1 && r != 1) return 1;
    if (!qd_te_same_fuzzy_point(&nearest.point, as_coord(p), p->tol)) return 1;
    const int32_t k = std::clamp(nearest.segment_index, 0, view->array.n - 1);
    return qd_te_fuzzy_proj_set_indexes(qd_te_cogo_distance_2d(&view->array.pts[k], &nearest.point),
                                        side, list, &nearest.point, k);
}

namespace {

// Steps 4 and 5 of a point on a path, once the nearest segment k is known.
int path_item(const TeVertex* p, int32_t own_vertex, TeChain* path, int32_t k, nlst** holder,
              int32_t side) {
    const TeVertex* v = vertices(path);
    TeIntersection item;
    if (same(p, &v[k], larger(p->tol, v[k].tol))) {
        item = item_on(side, coord(v[k]), k, 0.0);
    } else if (same(p, &v[k + 1], larger(p->tol, v[k + 1].tol))) {
        item = item_on(side, coord(v[k + 1]), k + 1, 0.0);
    } else {
        TeIntersection slot = {};
        TeIntersectionList one = {0, 1, &slot};
        if (!qd_te_fuzzy_proj_ptn_on_vect(p, &v[k], &v[k + 1], &one, side)) return 0;
        if (one.count == 0) return 1;
        item = item_on(side, slot.point, k, qd_te_cogo_distance_2d(as_coord(&v[k]), &slot.point));
    }
    if (!append_item(holder, item)) return qd_te_no_memory();
    return qd_te_fuzzy_proj_path_node_load(own_vertex, p, holder, other_side(side));
}

}  // namespace

int qd_te_fuzzy_proj_ptn_on_path(const TeVertex* p, int32_t own_vertex, TeChain* path,
                                 nlst** holder, int32_t side) {
    if (!p || !path || !holder) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_path");
    if (path->discard != CHAIN_OK) return 1;
    if (no_vertices(path)) return 1;
    const uint32_t n = vertex_count(path);
    if (!qd_te_fuzzy_point_in_envelope(as_coord(p), p->tol, path->chain_mer)) return 1;
    const TeVertex* v = vertices(path);
    int32_t kept = -1;
    double best = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        GeoCoord env[2];
        qd_te_cogo_segment_envelope(as_coord(&v[i]), as_coord(&v[i + 1]), env);
        qd_te_mer_expand(env, larger(v[i].tol, v[i + 1].tol));
        if (!qd_te_fuzzy_point_in_envelope(as_coord(p), p->tol, env)) continue;
        const double d = qd_te_cogo_point_segment_distance(as_coord(&v[i]), as_coord(&v[i + 1]), as_coord(p),
                                                           nullptr);
        if (kept < 0 || d < best) kept = int32_t(i), best = d;
    }
    if (kept < 0) return 1;
    return path_item(p, own_vertex, path, kept, holder, side);
}

namespace {

// The widest segment of a list sorted by minimum x.
double widest_segment(const nlst* segments) {
    const auto* s = static_cast<const TeSegment*>(segments->data);
    double widest = 0;
    for (uint32_t i = 0; i < segments->tally; ++i) widest = std::max(widest, s[i].env_max.x - s[i].env_min.x);
    return widest;
}

// A point on a path given by its sorted segments. No segment whose minimum
// x lies more than the widest segment before P's box can reach the box, so
// the walk starts there: the same segments are met as from the start.
int point_on_sorted(const TeVertex* p, int32_t own_vertex, TeChain* path, const nlst* segments, double widest,
                    nlst** holder, int32_t side) {
    if (path->discard != CHAIN_OK) return 1;
    if (no_vertices(path)) return 1;
    const uint32_t n = vertex_count(path);
    const auto* s = static_cast<const TeSegment*>(segments->data);
    const double from = p->x - p->tol - widest;
    const uint32_t first = uint32_t(
        std::lower_bound(s, s + segments->tally, from, [](const TeSegment& g, double x) { return g.env_min.x < x; }) - s);
    int32_t kept = -1;
    double best = 0;
    for (uint32_t i = first; i < segments->tally; ++i) {
        if (s[i].env_min.x > p->x + p->tol) break;
        const GeoCoord env[2] = {s[i].env_min, s[i].env_max};
        if (!qd_te_fuzzy_point_in_envelope(as_coord(p), p->tol, env)) continue;
        if (s[i].index < 0 || uint32_t(s[i].index) + 1 >= n) continue;
        const double d = qd_te_cogo_point_segment_distance(s[i].start, s[i].end, as_coord(p), nullptr);
        if (kept < 0 || d < best) kept = s[i].index, best = d;
    }
    if (kept < 0) return 1;
    return path_item(p, own_vertex, path, kept, holder, side);
}

}  // namespace

int qd_te_fuzzy_proj_ptn_on_polyline(const TeVertex* p, int32_t own_vertex, TeChain* path,
                                     const nlst* segments, nlst** holder, int32_t side) {
    if (!p || !path || !segments || !holder) return qd_te_missing("qd_te_fuzzy_proj_ptn_on_polyline");
    return point_on_sorted(p, own_vertex, path, segments, widest_segment(segments), holder, side);
}

int qd_te_fuzzy_proj_polyline_on_circle(TeChain* chain, const TeCircle* circle, nlst** holder,
                                        int32_t side) {
    if (!chain || !circle || !holder) return qd_te_missing("qd_te_fuzzy_proj_polyline_on_circle");
    if (no_vertices(chain)) return 1;
    GeoCoord env[2], overlap[2];
    if (qd_te_cogo_circle_envelope(circle, env, nullptr) != -1) return 1;
    if (qd_te_cogo_envelope_relation(env, chain->chain_mer, overlap) == 8) return 1;
    return vertices_onto(chain, overlap, holder, side, false, [&](const TeVertex* v, TeIntersectionList* one) {
        return qd_te_fuzzy_proj_ptn_on_circle(one, circle, v, side);
    });
}

int qd_te_fuzzy_proj_polyline_on_arc(TeChain* chain, const TeArc3* arc, const TeVertex* s,
                                     const TeVertex* e, nlst** holder, int32_t side) {
    if (!chain || !arc || !s || !e || !holder) return qd_te_missing("qd_te_fuzzy_proj_polyline_on_arc");
    if (no_vertices(chain)) return 1;
    GeoCoord env[2], overlap[2];
    if (qd_te_cogo_arc3_envelope(arc, env, nullptr) != -1) return 1;
    if (qd_te_cogo_envelope_relation(env, chain->chain_mer, overlap) == 8) return 1;
    return vertices_onto(chain, overlap, holder, side, false, [&](const TeVertex* v, TeIntersectionList* one) {
        return qd_te_fuzzy_proj_ptn_on_arc(arc, v, s, e, one, side);
    });
}

int qd_te_fuzzy_proj_polyline_on_curve(TeChain* chain, TeCurveView* view, nlst** holder, int32_t side) {
    if (!chain || !view || !holder) return qd_te_missing("qd_te_fuzzy_proj_polyline_on_curve");
    if (no_vertices(chain)) return 1;
    return vertices_onto(chain, nullptr, holder, side, false, [&](const TeVertex* v, TeIntersectionList* one) {
        return qd_te_fuzzy_proj_ptn_on_curve(v, view, one, side);
    });
}

int qd_te_fuzzy_proj_path_on_vect(TeChain* path, const TeVertex* a, const TeVertex* b,
                                  nlst** holder, int32_t side, int32_t ends_only) {
    if (!path || !a || !b || !holder) return qd_te_missing("qd_te_fuzzy_proj_path_on_vect");
    if (no_vertices(path)) return 1;
    GeoCoord env[2];
    qd_te_cogo_segment_envelope(as_coord(a), as_coord(b), env);
    qd_te_mer_expand(env, larger(a->tol, b->tol));
    if (!boxes_meet(env, path->chain_mer)) return 1;
    return vertices_onto(path, env, holder, side, ends_only == 1, [&](const TeVertex* v, TeIntersectionList* one) {
        return qd_te_fuzzy_proj_ptn_on_vect(v, a, b, one, side);
    });
}

int qd_te_fuzzy_proj_path_on_polyline(TeChain* path, TeChain* other, nlst** holder, int32_t side) {
    if (!path || !other || !holder) return qd_te_missing("qd_te_fuzzy_proj_path_on_polyline");
    if (no_vertices(path)) return 1;
    const uint32_t n = vertex_count(path);
    GeoCoord overlap[2];
    if (qd_te_cogo_envelope_relation(path->chain_mer, other->chain_mer, overlap) == 8) return 1;
    nlst* segments = nullptr;
    struct Free {
        nlst** s;
        ~Free() {
            if (*s) nlst_free(*s);
        }
    } free_segments{&segments};
    if (!qd_te_fuzzy_load_segments(other->coords, overlap, &segments, 2)) return 0;
    if (!segments || segments->tally == 0) return 1;
    auto* s = static_cast<TeSegment*>(segments->data);
    std::stable_sort(s, s + segments->tally,
                     [](const TeSegment& a, const TeSegment& b) { return qd_te_cogo_segment_order(&a, &b) < 0; });
    const double widest = widest_segment(segments);
    for (uint32_t i = 0; i < n; ++i) {
        const TeVertex* v = &vertices(path)[i];
        if (!qd_te_fuzzy_point_in_envelope(as_coord(v), v->tol, overlap)) continue;
        if (!point_on_sorted(v, int32_t(i), other, segments, widest, holder, side)) return 0;
    }
    return 1;
}

int qd_te_fuzzy_proj_line_on_vect(const TeVertex* p1, const TeVertex* p2, const TeVertex* q1,
                                  const TeVertex* q2, TeIntersectionList* list, int32_t side) {
    if (!p1 || !p2 || !q1 || !q2 || !list) return qd_te_missing("qd_te_fuzzy_proj_line_on_vect");
    if (same(p1, q1, larger(p1->tol, q1->tol)) || same(p2, q2, larger(p2->tol, q2->tol)) ||
        same(p1, q2, larger(p1->tol, q2->tol)) || same(q1, p2, larger(q1->tol, p2->tol)))
        return 1;
    GeoCoord x;
    if (qd_te_cogo_line_segment_intersection(as_coord(p1), as_coord(p2), as_coord(q1), as_coord(q2), &x,
                                             nullptr) != 1)
        return 1;
    if (qd_te_same_fuzzy_point(&x, as_coord(q1), 1e-10) || qd_te_same_fuzzy_point(&x, as_coord(q2), 1e-10))
        return 1;
    const bool near_q = qd_te_same_fuzzy_point(&x, as_coord(q1), q1->tol) ||
                        qd_te_same_fuzzy_point(&x, as_coord(q2), q2->tol);
    const bool near_p = qd_te_same_fuzzy_point(&x, as_coord(p1), p1->tol) ||
                        qd_te_same_fuzzy_point(&x, as_coord(p2), p2->tol);
    if (!near_q || !near_p) return 1;
    qd_te_cogo_interpolate_z_pair(as_coord(p1), as_coord(p2), as_coord(q1), as_coord(q2), &x);
    return qd_te_fuzzy_proj_set_indexes(qd_te_cogo_distance_2d(as_coord(q1), &x), side, list, &x, 0);
}

// ---- Nodes -------------------------------------------------------------------

namespace {

// Null, kind and view checks of a node routine; false when the routine
// ends (*result then holds its answer).
bool node_frame(const char* name, TeChain* node, TeChain* other, int32_t kind,
                TeIntersectionList* list, int32_t* status, TeVertex** v, int* result) {
    if (!check(name, node && other && list && status && node->chain_type == TE_NODE &&
                         other->chain_type == kind))
        return *result = 0, false;
    *status = 0;
    list_clear(list);
    int32_t skip = 0;
    if (!qd_te_form_node(node, v, &skip)) return *result = 0, false;
    if (skip) return *result = 1, false;
    return true;
}

}  // namespace

int qd_te_fuzzy_proj_node_on_line(TeChain* node, TeChain* line, TeIntersectionList* list,
                                  int32_t* status) {
    TeVertex* v;
    int result;
    if (!node_frame("qd_te_fuzzy_proj_node_on_line", node, line, TE_LINE, list, status, &v, &result))
        return result;
    TeVertex *a, *b;
    TE_FORM(qd_te_form_vect, line, &a, &b);
    return filled(list, 2, status, [&] { return qd_te_fuzzy_proj_ptn_on_vect(v, a, b, list, 2); });
}

int qd_te_fuzzy_proj_node_on_arc(TeChain* node, TeChain* arc, TeIntersectionList* list,
                                 int32_t* status) {
    TeVertex* v;
    int result;
    if (!node_frame("qd_te_fuzzy_proj_node_on_arc", node, arc, TE_ARC, list, status, &v, &result))
        return result;
    TeArc3 a3;
    TE_FORM(qd_te_form_arc3, arc, &a3, 0);
    const TeVertex* av = vertices(arc);
    return filled(list, 2, status, [&] { return qd_te_fuzzy_proj_ptn_on_arc(&a3, v, &av[0], &av[2], list, 2); });
}

int qd_te_fuzzy_proj_node_on_circle(TeChain* node, TeChain* circle, TeIntersectionList* list,
                                    int32_t* status) {
    TeVertex* v;
    int result;
    if (!node_frame("qd_te_fuzzy_proj_node_on_circle", node, circle, TE_CIRCLE, list, status, &v, &result))
        return result;
    TeCircle c;
    TE_FORM(qd_te_form_circle, circle, &c);
    return filled(list, 2, status, [&] { return qd_te_fuzzy_proj_ptn_on_circle(list, &c, v, 2); });
}

int qd_te_fuzzy_proj_node_on_curve(TeChain* node, TeChain* curve, TeIntersectionList* list,
                                   int32_t* status) {
    TeVertex* v;
    int result;
    if (!node_frame("qd_te_fuzzy_proj_node_on_curve", node, curve, TE_CURVE, list, status, &v, &result))
        return result;
    CurveCopy view;
    TE_FORM(qd_te_form_curve, curve, &view.view, 0);
    return filled(list, 2, status, [&] { return qd_te_fuzzy_proj_ptn_on_curve(v, &view.view, list, 2); });
}

int qd_te_fuzzy_proj_node_on_path(TeChain* node, TeChain* path, TeIntersectionList* list,
                                  int32_t* status) {
    TeVertex* v;
    int result;
    if (!node_frame("qd_te_fuzzy_proj_node_on_path", node, path, TE_PATH, list, status, &v, &result))
        return result;
    nlst* grown = nullptr;
    const int ok = qd_te_fuzzy_proj_ptn_on_path(v, -1, path, &grown, 2);
    if (ok) *status = hand_over(grown, list);
    if (grown) nlst_free(grown);
    return ok;
}

int qd_te_fuzzy_proj_node_on_node(TeChain* first, int32_t* status, TeChain* second) {
    if (!check("qd_te_fuzzy_proj_node_on_node", first && second && status &&
                                                    first->chain_type == TE_NODE &&
                                                    second->chain_type == TE_NODE))
        return 0;
    *status = 0;
    TeVertex *a, *b;
    TE_FORM(qd_te_form_node, first, &a);
    TE_FORM(qd_te_form_node, second, &b);
    if (!same(a, b, larger(a->tol, b->tol))) return 1;
    return qd_te_duplicates_merge_chains(first, second);
}

// ---- Pairs of linear chains ------------------------------------------------

namespace {

bool pair_frame(const char* name, TeChain* a, int32_t kind_a, TeChain* b, int32_t kind_b,
                TeIntersectionList* list, int32_t* status) {
    if (!check(name, a && b && list && status && a->chain_type == kind_a && b->chain_type == kind_b))
        return false;
    *status = 0;
    list_clear(list);
    return true;
}

// The end vertices of a chain of any linear kind (LINE, ARC: 0 and 2, CURVE).
struct Ends {
    TeVertex* a = nullptr;
    TeVertex* b = nullptr;
};

// Projects the vertices of `ends` onto something with a point routine.
template <class Point>
int both(const Ends& e, Point point) {
    return point(e.a) && point(e.b);
}

// A point onto the first chain of a pair (side 1) when that chain is a
// LINE (its segment) or an ARC (its three points).
int onto_line_or_arc(int32_t kind, const TeArc3& arc, TeVertex* p, const Ends& a, TeIntersectionList* list) {
    return kind == TE_ARC ? qd_te_fuzzy_proj_ptn_on_arc(&arc, p, a.a, a.b, list, 1)
                          : qd_te_fuzzy_proj_ptn_on_vect(p, a.a, a.b, list, 1);
}

// A LINE or an ARC against an ARC: the second's ends onto the first, then
// the first's ends onto the second.
int line_or_arc_on_arc(const char* name, TeChain* first, int32_t kind, TeChain* second, TeIntersectionList* list,
                       int32_t* status) {
    if (!pair_frame(name, first, kind, second, TE_ARC, list, status)) return 0;
    Ends a, b;
    TE_FORM(qd_te_form_start_end, first, &a.a, &a.b);
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    TeArc3 own{}, arc;
    if (kind == TE_ARC) TE_FORM(qd_te_form_arc3, first, &own, 0);
    TE_FORM(qd_te_form_arc3, second, &arc, 0);
    return filled(list, 4, status, [&] {
        return both(b, [&](TeVertex* p) { return onto_line_or_arc(kind, own, p, a, list); }) &&
               both(a, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_arc(&arc, p, b.a, b.b, list, 2); });
    });
}

// A LINE or an ARC against a CIRCLE: the first's ends onto the circle, in
// a list with room for `room` items.
int line_or_arc_on_circle(const char* name, TeChain* first, int32_t kind, TeChain* second, TeIntersectionList* list,
                          int32_t* status, int32_t room) {
    if (!pair_frame(name, first, kind, second, TE_CIRCLE, list, status)) return 0;
    Ends a;
    TE_FORM(qd_te_form_start_end, first, &a.a, &a.b);
    TeCircle circle;
    TE_FORM(qd_te_form_circle, second, &circle);
    return filled(list, room, status, [&] {
        return both(a, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_circle(list, &circle, p, 2); });
    });
}

// A LINE or an ARC against a CURVE: the first's ends onto the curve, then
// the curve's ends onto the first.
int line_or_arc_on_curve(const char* name, TeChain* first, int32_t kind, TeChain* second, TeIntersectionList* list,
                         int32_t* status) {
    if (!pair_frame(name, first, kind, second, TE_CURVE, list, status)) return 0;
    Ends a, b;
    TE_FORM(qd_te_form_start_end, first, &a.a, &a.b);
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    TeArc3 own{};
    if (kind == TE_ARC) TE_FORM(qd_te_form_arc3, first, &own, 0);
    CurveCopy curve;
    TE_FORM(qd_te_form_curve, second, &curve.view, 0);
    return filled(list, 4, status, [&] {
        return both(a, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_curve(p, &curve.view, list, 2); }) &&
               both(b, [&](TeVertex* p) { return onto_line_or_arc(kind, own, p, a, list); });
    });
}

}  // namespace


int qd_te_fuzzy_proj_line_on_line(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_line_on_line", first, TE_LINE, second, TE_LINE, list, status)) return 0;
    Ends a, b;
    TE_FORM(qd_te_form_start_end, first, &a.a, &a.b);
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    return filled(list, 4, status, [&] {
        if (!both(b, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_vect(p, a.a, a.b, list, 1); }) ||
            !both(a, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_vect(p, b.a, b.b, list, 2); }))
            return 0;
        if (list->count == 0 && (!qd_te_fuzzy_proj_line_on_vect(b.a, b.b, a.a, a.b, list, 1) ||
                                 !qd_te_fuzzy_proj_line_on_vect(a.a, a.b, b.a, b.b, list, 2)))
            return 0;
        return 1;
    });
}

int qd_te_fuzzy_proj_line_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_arc("qd_te_fuzzy_proj_line_on_arc", first, TE_LINE, second, list, status);
}

int qd_te_fuzzy_proj_line_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_circle("qd_te_fuzzy_proj_line_on_circle", first, TE_LINE, second, list, status, 2);
}

int qd_te_fuzzy_proj_line_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_curve("qd_te_fuzzy_proj_line_on_curve", first, TE_LINE, second, list, status);
}

int qd_te_fuzzy_proj_arc_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_arc("qd_te_fuzzy_proj_arc_on_arc", first, TE_ARC, second, list, status);
}

int qd_te_fuzzy_proj_arc_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_circle("qd_te_fuzzy_proj_arc_on_circle", first, TE_ARC, second, list, status, 4);
}

int qd_te_fuzzy_proj_arc_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list, int32_t* status) {
    return line_or_arc_on_curve("qd_te_fuzzy_proj_arc_on_curve", first, TE_ARC, second, list, status);
}

int qd_te_fuzzy_proj_circle_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                      int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_circle_on_circle", first, TE_CIRCLE, second, TE_CIRCLE, list, status))
        return 0;
    TeCircle c1, c2;
    TE_FORM(qd_te_form_circle, first, &c1);
    TE_FORM(qd_te_form_circle, second, &c2);
    if (qd_te_same_fuzzy_point(&c1.centre, &c2.centre, c1.radius) ||
        qd_te_same_fuzzy_point(&c1.centre, &c2.centre, c2.radius))
        return 1;
    return filled(list, 4, status, [&] {
        const TeVertex* v1 = vertices(first);
        const TeVertex* v2 = vertices(second);
        // Each centre against the other circle: the near point of the other
        // circle within the own radius (and tolerance) touches this circle.
        const struct {
            const TeCircle* own;
            const TeVertex* centre;
            const TeCircle* other;
            int32_t side;
        } tries[2] = {{&c1, v1, &c2, 2}, {&c2, v2, &c1, 1}};
        for (const auto& t : tries) {
            GeoCoord f;
            if (qd_te_cogo_project_to_circle(t.other, &t.own->centre, &f, nullptr) != -1) continue;
            if (!qd_te_same_fuzzy_point(&f, &t.own->centre, t.own->radius + t.centre->tol)) continue;
            f.z = t.own->centre.z;
            if (!qd_te_fuzzy_proj_set_indexes(0.0, t.side, list, &f, 0)) return 0;
        }
        return 1;
    });
}

int qd_te_fuzzy_proj_circle_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                     int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_circle_on_curve", first, TE_CIRCLE, second, TE_CURVE, list, status))
        return 0;
    TeCircle circle;
    TE_FORM(qd_te_form_circle, first, &circle);
    const uint32_t n = vertex_count(second);
    if (second->discard != CHAIN_OK) return 1;
    return filled(list, int32_t(n) + 2, status, [&] {
        for (uint32_t i = 0; i < n; ++i)
            if (!qd_te_fuzzy_proj_ptn_on_circle(list, &circle, &vertices(second)[i], 1)) return 0;
        return 1;
    });
}

int qd_te_fuzzy_proj_curve_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                    int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_curve_on_curve", first, TE_CURVE, second, TE_CURVE, list, status))
        return 0;
    Ends a, b;
    TE_FORM(qd_te_form_start_end, first, &a.a, &a.b);
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    CurveCopy ca, cb;
    TE_FORM(qd_te_form_curve, first, &ca.view, 0);
    TE_FORM(qd_te_form_curve, second, &cb.view, 0);
    return filled(list, 4, status, [&] {
        return both(b, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_curve(p, &ca.view, list, 1); }) &&
               both(a, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_curve(p, &cb.view, list, 2); });
    });
}

namespace {

// A grown routine: its steps append to a growable list handed over at the end.
template <class Steps>
int grown(TeIntersectionList* list, int32_t* status, Steps steps) {
    nlst* holder = nullptr;
    const int ok = steps(&holder);
    if (ok) *status = hand_over(holder, list);
    if (holder) nlst_free(holder);
    return ok;
}

}  // namespace

int qd_te_fuzzy_proj_path_on_line(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_path_on_line", first, TE_PATH, second, TE_LINE, list, status)) return 0;
    Ends b;
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    if (first->discard != CHAIN_OK) return 1;
    return grown(list, status, [&](nlst** holder) {
        if (!both(b, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_path(p, -1, first, holder, 1); }))
            return 0;
        const int32_t ends_only = *holder && (*holder)->tally > 0 ? 1 : 0;
        return qd_te_fuzzy_proj_path_on_vect(first, b.a, b.b, holder, 2, ends_only);
    });
}

int qd_te_fuzzy_proj_path_on_arc(TeChain* first, TeChain* second, TeIntersectionList* list,
                                 int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_path_on_arc", first, TE_PATH, second, TE_ARC, list, status)) return 0;
    Ends b;
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    TeArc3 arc;
    TE_FORM(qd_te_form_arc3, second, &arc, 0);
    if (first->discard != CHAIN_OK) return 1;
    return grown(list, status, [&](nlst** holder) {
        return both(b, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_path(p, -1, first, holder, 1); }) &&
               qd_te_fuzzy_proj_polyline_on_arc(first, &arc, b.a, b.b, holder, 2);
    });
}

int qd_te_fuzzy_proj_path_on_circle(TeChain* first, TeChain* second, TeIntersectionList* list,
                                    int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_path_on_circle", first, TE_PATH, second, TE_CIRCLE, list, status))
        return 0;
    TeCircle circle;
    TE_FORM(qd_te_form_circle, second, &circle);
    if (first->discard != CHAIN_OK) return 1;
    return grown(list, status, [&](nlst** holder) {
        return qd_te_fuzzy_proj_polyline_on_circle(first, &circle, holder, 2);
    });
}

int qd_te_fuzzy_proj_path_on_curve(TeChain* first, TeChain* second, TeIntersectionList* list,
                                   int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_path_on_curve", first, TE_PATH, second, TE_CURVE, list, status))
        return 0;
    Ends b;
    TE_FORM(qd_te_form_start_end, second, &b.a, &b.b);
    CurveCopy curve;
    TE_FORM(qd_te_form_curve, second, &curve.view, 0);
    if (first->discard != CHAIN_OK) return 1;
    // As for an arc: the curve's ends onto the path, so that a curve
    // ending on a path cuts it; then the path's vertices onto the curve.
    return grown(list, status, [&](nlst** holder) {
        return both(b, [&](TeVertex* p) { return qd_te_fuzzy_proj_ptn_on_path(p, -1, first, holder, 1); }) &&
               qd_te_fuzzy_proj_polyline_on_curve(first, &curve.view, holder, 2);
    });
}

int qd_te_fuzzy_proj_path_on_path(TeChain* first, TeChain* second, TeIntersectionList* list,
                                  int32_t* status) {
    if (!pair_frame("qd_te_fuzzy_proj_path_on_path", first, TE_PATH, second, TE_PATH, list, status)) return 0;
    if (first->discard != CHAIN_OK || second->discard != CHAIN_OK) return 1;
    return grown(list, status, [&](nlst** holder) {
        return qd_te_fuzzy_proj_path_on_polyline(second, first, holder, 1) &&
               qd_te_fuzzy_proj_path_on_polyline(first, second, holder, 2);
    });
}
