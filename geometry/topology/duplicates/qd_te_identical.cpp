// Identity tests of the pairs of linear chains: whether two chains describe
// the same geometry within tolerance and which survives the merge. An arc
// lying on a circle cuts the circle down to the rest of it instead.
#include <cmath>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }
const TeVertex* vertices(const TeChain* c) { return static_cast<const TeVertex*>(c->coords->data); }

bool same(const TeVertex& a, const TeVertex& b, double t) {
    const GeoCoord p = coord_of(a), q = coord_of(b);
    return qd_te_same_fuzzy_point(&p, &q, t) == 1;
}

bool ends_match(const TeVertex& a0, const TeVertex& a1, const TeVertex& b0, const TeVertex& b1, double t) {
    return (same(a0, b0, t) && same(a1, b1, t)) || (same(a0, b1, t) && same(a1, b0, t));
}

double largest(const TeVertex& a, const TeVertex& b, const TeVertex& c, const TeVertex& d) {
    return std::fmax(std::fmax(a.tol, b.tol), std::fmax(c.tol, d.tol));
}

bool typed(const TeChain* c, int32_t type) { return c && c->chain_type == type; }

// Start and end of a chain, or a skip (not identical).
struct Ends {
    TeVertex* first = nullptr;
    TeVertex* last = nullptr;
    int32_t skip = 0;
};
int ends_of(TeChain* c, Ends* e) { return qd_te_form_start_end(c, &e->first, &e->last, &e->skip); }

// The ends of both chains, and whether they match within the given
// tolerance or, without one, the largest of the four end tolerances.
// Answers 0 on a failure; *go tells whether the test goes on.
int matching_ends(TeChain* first, TeChain* second, const double* tolerance, Ends* a, Ends* b, double* t,
                  bool* go) {
    *go = false;
    if (!ends_of(first, a)) return 0;
    if (a->skip) return 1;
    if (!ends_of(second, b)) return 0;
    if (b->skip) return 1;
    *t = tolerance ? *tolerance : largest(*a->first, *a->last, *b->first, *b->last);
    *go = ends_match(*a->first, *a->last, *b->first, *b->last, *t);
    return 1;
}

int merge(TeChain* keep, TeChain* drop, int32_t* identical) {
    *identical = 1;
    return qd_te_duplicates_merge_chains(keep, drop);
}

// Owned stroke of a chain.
struct Stroke {
    TePathView view{};
    int32_t skip = 0;
    ~Stroke() { qd_free(view.array.pts); }
    GeoCoord* pts() const { return view.array.pts; }
    int32_t n() const { return view.array.n; }
};

// Every point of pts lies on segment a-b within its tolerance.
bool on_segment(const GeoCoord* pts, int32_t n, const GeoCoord& a, const GeoCoord& b, const double* tolerance,
                const TeVertex* own) {
    for (int32_t i = 0; i < n; ++i) {
        GeoCoord foot;
        qd_te_cogo_project_to_segment(&pts[i], &a, &b, &foot, nullptr);
        const double t = tolerance ? *tolerance : own ? own[i].tol : 0;
        if (!qd_te_same_fuzzy_point(&pts[i], &foot, t)) return false;
    }
    return true;
}

// The point of a circle in the direction of p from its centre: centre + r u.
bool onto_circle(const TeCircle& c, const GeoCoord& p, GeoCoord* out) {
    double ux, uy;
    if (qd_te_cogo_unit_direction(&c.centre, &p, &ux, &uy, nullptr) != -1) return false;
    *out = {c.centre.x + c.radius * ux, c.centre.y + c.radius * uy, p.z};
    return true;
}

TeCoordRef ref(const GeoCoord& p, int32_t tag, double tol, int32_t index) {
    return qd_te_coord_ref(nullptr, &p.x, tag, tol, index);
}

}  // namespace

int qd_te_identical_vectors(const double* tolerance, const TeVertex* a0, const TeVertex* b0,
                            int32_t* identical, const TeVertex* a1, const TeVertex* b1,
                            int32_t keep_either, int32_t* which) {
    if (!a0 || !b0 || !identical || !a1 || !b1 || !which) return qd_te_missing("qd_te_identical_vectors");
    *identical = 0;
    *which = 0;
    const auto pair = [&](const TeVertex& p, const TeVertex& q) {
        return same(p, q, tolerance ? *tolerance : std::fmax(p.tol, q.tol));
    };
    const auto collapsed = [&](const TeVertex& p, const TeVertex& q) {
        const double t = keep_either == 1 ? std::fmax(p.tol, q.tol) : std::fmin(p.tol, q.tol);
        return same(p, q, tolerance ? *tolerance : t);
    };
    if ((pair(*a0, *b0) && pair(*a1, *b1)) || (pair(*a0, *b1) && pair(*a1, *b0))) {
        *identical = 1;
        *which = -1;
    } else if (collapsed(*b0, *b1)) {
        if ((pair(*a0, *b0) && pair(*a0, *b1)) || (pair(*a1, *b0) && pair(*a1, *b1))) *identical = 1, *which = 2;
    } else if (collapsed(*a0, *a1)) {
        if ((pair(*b0, *a0) && pair(*b0, *a1)) || (pair(*b1, *a0) && pair(*b1, *a1))) *identical = 1, *which = 1;
    }
    return 1;
}

int qd_te_identical_lines(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!typed(first, TE_LINE) || !typed(second, TE_LINE) || !identical)
        return qd_te_missing("qd_te_identical_lines");
    *identical = 0;
    TeVertex *a0, *a1, *b0, *b1;
    int32_t skip = 0;
    if (!qd_te_form_vect(first, &a0, &a1, &skip)) return 0;
    if (skip) return 1;
    if (!qd_te_form_vect(second, &b0, &b1, &skip)) return 0;
    if (skip) return 1;
    const int32_t keep_either = first->adjuster == 1 || second->adjuster == 1 ? 1 : 0;
    int32_t same_vectors = 0, which = 0;
    if (!qd_te_identical_vectors(tolerance, a0, b0, &same_vectors, a1, b1, keep_either, &which)) return 0;
    if (!same_vectors) return 1;
    if (which == 2) return merge(first, second, identical);
    if (which == 1) return merge(second, first, identical);
    const GeoCoord p0 = coord_of(*a0), p1 = coord_of(*a1), q0 = coord_of(*b0), q1 = coord_of(*b1);
    const bool first_longer = qd_te_cogo_distance_2d(&p0, &p1) > qd_te_cogo_distance_2d(&q0, &q1);
    return first_longer ? merge(first, second, identical) : merge(second, first, identical);
}

int qd_te_identical_arc_line(TeChain* arc, TeChain* line, const double* tolerance, int32_t* identical) {
    if (!typed(arc, TE_ARC) || !typed(line, TE_LINE) || !identical)
        return qd_te_missing("qd_te_identical_arc_line");
    *identical = 0;
    Ends a;
    if (!ends_of(arc, &a)) return 0;
    if (a.skip || arc->coords->tally < 3) return 1;
    TeVertex *b0, *b1;
    int32_t skip = 0;
    if (!qd_te_form_vect(line, &b0, &b1, &skip)) return 0;
    if (skip) return 1;
    const int32_t keep_either = arc->adjuster == 1 || line->adjuster == 1 ? 1 : 0;
    int32_t same_vectors = 0, which = 0;
    if (!qd_te_identical_vectors(tolerance, a.first, b0, &same_vectors, a.last, b1, keep_either, &which))
        return 0;
    if (!same_vectors) return 1;
    if (which == 2) return merge(arc, line, identical);
    if (which == 1) return merge(line, arc, identical);
    const double t = tolerance ? *tolerance : std::fmax(std::fmin(a.first->tol, a.last->tol), 1e-10);
    const GeoCoord mid = coord_of(vertices(arc)[1]);
    const GeoCoord half = {(b0->x + b1->x) / 2, (b0->y + b1->y) / 2, KTGEO_NO_Z};
    // The arc's radius from its three points (a straight arc has none).
    TeCircle circle;
    const GeoCoord s = coord_of(*a.first), e = coord_of(*a.last);
    const double radius = qd_te_cogo_circle_from_points(&s, &mid, &e, &circle, nullptr) == -1 ? circle.radius : INFINITY;
    if (radius < t || qd_te_cogo_distance_2d(&mid, &half) < t) return merge(arc, line, identical);
    return 1;
}

int qd_te_identical_path_line(TeChain* path, TeChain* line, const double* tolerance, int32_t* identical) {
    if (!typed(path, TE_PATH) || !typed(line, TE_LINE) || !identical)
        return qd_te_missing("qd_te_identical_path_line");
    *identical = 0;
    if (line->adjuster == 1) return 1;
    Ends a, b;
    double t = 0;
    bool go = false;
    if (!matching_ends(path, line, tolerance, &a, &b, &t, &go)) return 0;
    if (!go) return 1;
    const int32_t n = int32_t(path->coords->tally);
    if (n > 2) {
        const GeoCoord p = coord_of(*b.first), q = coord_of(*b.last);
        for (int32_t i = 0; i < n; ++i) {
            const GeoCoord v = coord_of(vertices(path)[i]);
            if (!on_segment(&v, 1, p, q, tolerance, vertices(path) + i)) return 1;
        }
    }
    return merge(path, line, identical);
}

int qd_te_identical_curve_line(TeChain* curve, TeChain* line, const double* tolerance, int32_t* identical) {
    if (!typed(curve, TE_CURVE) || !typed(line, TE_LINE) || !identical)
        return qd_te_missing("qd_te_identical_curve_line");
    *identical = 0;
    TeCurveView view{};
    int32_t skip = 0;
    if (!qd_te_form_curve(curve, &view, 1, &skip)) return 0;
    struct Free {
        GeoCoord* p;
        ~Free() { qd_free(p); }
    } hold{view.array.pts};
    if (skip || view.array.n < 1) return 1;
    Ends a, b;
    double t = 0;
    bool go = false;
    if (!matching_ends(curve, line, tolerance, &a, &b, &t, &go)) return 0;
    if (!go) return 1;
    if (view.array.n > 2 && !on_segment(view.array.pts, view.array.n, coord_of(*b.first), coord_of(*b.last), &t, nullptr))
        return 1;
    return merge(curve, line, identical);
}

int qd_te_identical_paths(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!typed(first, TE_PATH) || !typed(second, TE_PATH) || !identical)
        return qd_te_missing("qd_te_identical_paths");
    *identical = 0;
    GeoCoord box[2] = {{std::fmax(first->chain_mer[0].x, second->chain_mer[0].x),
                        std::fmax(first->chain_mer[0].y, second->chain_mer[0].y), KTGEO_NO_Z},
                       {std::fmin(first->chain_mer[1].x, second->chain_mer[1].x),
                        std::fmin(first->chain_mer[1].y, second->chain_mer[1].y), KTGEO_NO_Z}};
    if (box[0].x > box[1].x || box[0].y > box[1].y) return 1;
    Ends a, b;
    double t = 0;
    bool go = false;
    if (!matching_ends(first, second, tolerance, &a, &b, &t, &go)) return 0;
    if (!go) return 1;
    qd_te_mer_expand(box, t);
    const uint32_t capacity = first->coords->tally + second->coords->tally;
    nlst* list = nlst_alloc(sizeof(TeCoordRef), capacity, capacity, nullptr);
    if (!list) return qd_te_no_memory();
    int32_t inside1 = 0, inside2 = 0, tag = -1, same_points = 0;
    int ok = qd_te_duplicates_path_clip(first, &list, 1, tolerance, box, 1, &inside1) &&
             (!inside1 || qd_te_duplicates_path_clip(second, &list, 2, tolerance, box, 1, &inside2));
    if (ok && inside1 && inside2) ok = qd_te_duplicates_coord_match_list(list, &tag, 0, &same_points);
    nlst_free(list);
    if (!ok || !inside1 || !inside2 || !same_points) return ok;
    return tag == -1 || tag == 1 ? merge(first, second, identical) : merge(second, first, identical);
}

int qd_te_identical_curves(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!typed(first, TE_CURVE) || !typed(second, TE_CURVE) || !identical)
        return qd_te_missing("qd_te_identical_curves");
    *identical = 0;
    Stroke s1, s2;
    if (!qd_te_form_polyline(first, &s1.view, 1, &s1.skip)) return 0;
    if (s1.skip || s1.n() < 1) return 1;
    if (!qd_te_form_polyline(second, &s2.view, 1, &s2.skip)) return 0;
    if (s2.skip || s2.n() < 1) return 1;
    Ends a, b;
    double t = 0;
    bool go = false;
    if (!matching_ends(first, second, tolerance, &a, &b, &t, &go)) return 0;
    if (!go) return 1;
    const double l1 = qd_te_cogo_polyline_length(s1.pts(), s1.n());
    const double l2 = qd_te_cogo_polyline_length(s2.pts(), s2.n());
    const bool equal_length = std::fabs(l1 - l2) <= t;
    // Equal lengths alone do not make two curves the same (a curve mirrored
    // across its chord has the length of the other): the points decide.
    if (!equal_length && !(s1.n() == s2.n() || (s1.n() > 2 && s2.n() > 2))) return 1;
    const uint32_t capacity = uint32_t(s1.n() + s2.n());
    nlst* list = nlst_alloc(sizeof(TeCoordRef), capacity, capacity, nullptr);
    if (!list) return qd_te_no_memory();
    int ok = 1;
    const Stroke* strokes[2] = {&s1, &s2};
    const Ends* ends[2] = {&a, &b};
    for (int k = 0; k < 2 && ok; ++k) {
        const int32_t n = strokes[k]->n();
        for (int32_t i = 0; i < n && ok; ++i) {
            const double own = i == 0 || i == n - 1 ? ends[k]->first->tol : ends[k]->last->tol;
            const TeCoordRef r = ref(strokes[k]->pts()[i], k + 1, tolerance ? *tolerance : own, i);
            ok = nlst_add(list, &r);
        }
    }
    int32_t tag = -1, same_points = 0;
    if (ok) ok = qd_te_duplicates_coord_match_list(list, &tag, 0, &same_points);
    nlst_free(list);
    if (!ok) return qd_te_no_memory();
    if (!same_points) return 1;
    if (equal_length) return l1 > l2 ? merge(first, second, identical) : merge(second, first, identical);
    return tag == -1 || tag == 1 ? merge(first, second, identical) : merge(second, first, identical);
}

int qd_te_identical_circles(TeChain* first, TeChain* second, const double* tolerance, int32_t* identical) {
    if (!typed(first, TE_CIRCLE) || !typed(second, TE_CIRCLE) || !identical)
        return qd_te_missing("qd_te_identical_circles");
    *identical = 0;
    TeCircle c1, c2;
    int32_t skip = 0;
    if (!qd_te_form_circle(first, &c1, &skip)) return 0;
    if (skip) return 1;
    if (!qd_te_form_circle(second, &c2, &skip)) return 0;
    if (skip) return 1;
    const double t = tolerance ? *tolerance : std::fmax(vertices(first)->tol, vertices(second)->tol);
    if (!qd_te_same_fuzzy_point(&c1.centre, &c2.centre, t) || !(std::fabs(c1.radius - c2.radius) <= t)) return 1;
    return c1.radius > c2.radius ? merge(first, second, identical) : merge(second, first, identical);
}

int qd_te_identical_arcs(TeChain* b, TeChain* a, const double* tolerance, int32_t* identical) {
    if (!typed(b, TE_ARC) || !typed(a, TE_ARC) || !identical) return qd_te_missing("qd_te_identical_arcs");
    *identical = 0;
    TeArc ra, rb;
    int32_t skip = 0;
    if (!qd_te_form_arc(a, &ra, 0, &skip)) return 0;
    if (skip) return 1;
    if (!qd_te_form_arc(b, &rb, 0, &skip)) return 0;
    if (skip) return 1;
    const TeVertex* va = vertices(a);
    const TeVertex* vb = vertices(b);
    const double t = tolerance ? *tolerance : largest(va[0], va[2], vb[0], vb[2]);
    const GeoCoord ma = coord_of(va[1]), mb = coord_of(vb[1]);
    if (!qd_te_fuzzy_point_in_envelope(&ma, t, b->chain_mer) || !qd_te_fuzzy_point_in_envelope(&mb, t, a->chain_mer))
        return 1;
    if (ends_match(va[0], va[2], vb[0], vb[2], t) && same(va[1], vb[1], t)) {
        double la = 0, lb = 0;
        const bool has_a = qd_te_cogo_arc_length(&ra, &la, nullptr) == -1;
        const bool has_b = qd_te_cogo_arc_length(&rb, &lb, nullptr) == -1;
        if (has_a && has_b) {
            if (std::fmin(va[0].tol, va[2].tol) < std::fmin(vb[0].tol, vb[2].tol)) return merge(a, b, identical);
            return lb > la ? merge(b, a, identical) : merge(a, b, identical);
        }
        return has_a ? merge(a, b, identical) : merge(b, a, identical);
    }
    if (!qd_te_identical_arc_merger(tolerance, b, identical, a)) return 0;
    if (*identical) return 1;
    return qd_te_identical_arc_merger(tolerance, a, identical, b);
}

int qd_te_identical_arc_merger(const double* tolerance, TeChain* b, int32_t* identical, TeChain* a) {
    if (!typed(b, TE_ARC) || !typed(a, TE_ARC) || !identical) return qd_te_missing("qd_te_identical_arc_merger");
    *identical = 0;
    TeArc3 a3;
    int32_t skip = 0;
    if (!qd_te_form_arc3(a, &a3, 0, &skip)) return 0;
    if (skip) return 1;
    if (!b->coords || b->coords->tally != 3 || b->discard != CHAIN_OK) return 1;
    TeArc arc;
    if (qd_te_cogo_arc_from_points(&a3.start, &a3.mid, &a3.end, &arc, nullptr) != -1) return 1;
    const TeCircle circle = {arc.centre, arc.radius};
    const TeVertex* vb = vertices(b);
    const double t = tolerance ? *tolerance : std::fmax(std::fmax(vb[0].tol, vb[2].tol), 1e-10);
    for (int i = 0; i < 3; ++i) {
        const GeoCoord p = coord_of(vb[i]);
        GeoCoord foot;
        if (!onto_circle(circle, p, &foot) || !qd_te_same_fuzzy_point(&p, &foot, t)) return 1;
        const bool on = qd_te_cogo_point_on_arc(&arc, &foot, &t) == 1 || qd_te_same_fuzzy_point(&foot, &a3.start, t) ||
                        qd_te_same_fuzzy_point(&foot, &a3.mid, t) || qd_te_same_fuzzy_point(&foot, &a3.end, t);
        if (!on) return 1;
    }
    return merge(a, b, identical);
}

int qd_te_identical_arc_circle(TeChain* arc, TeChain* circle, const double* tolerance, int32_t* identical) {
    if (!typed(arc, TE_ARC) || !typed(circle, TE_CIRCLE) || !identical)
        return qd_te_missing("qd_te_identical_arc_circle");
    *identical = 0;
    TeArc ra;
    TeCircle rc;
    int32_t skip = 0;
    if (!qd_te_form_arc(arc, &ra, 0, &skip)) return 0;
    if (skip) return 1;
    if (!qd_te_form_circle(circle, &rc, &skip)) return 0;
    if (skip) return 1;
    const TeVertex* va = vertices(arc);
    const TeVertex centre = *vertices(circle);
    const double t = tolerance ? *tolerance : std::fmax(std::fmax(va[0].tol, va[2].tol), centre.tol);
    if (!qd_te_same_fuzzy_point(&ra.centre, &rc.centre, t) || !(std::fabs(ra.radius - rc.radius) <= t)) return 1;
    // The far point lies opposite the arc's angular middle (whatever its
    // stored middle vertex): the circle keeps the part the arc does not
    // cover.
    double sweep = ra.end - ra.start;
    if (sweep < 0) sweep += 360;
    const double far = (ra.start + sweep / 2 + 180) * M_PI / 180;
    const GeoCoord start = coord_of(va[0]), end = coord_of(va[2]);
    GeoCoord pts[3] = {start, {rc.centre.x + rc.radius * std::cos(far), rc.centre.y + rc.radius * std::sin(far), centre.z},
                       end};
    TeArc rest;
    if (qd_te_cogo_arc_from_points(&pts[0], &pts[1], &pts[2], &rest, nullptr) != -1) return 1;
    // The arc takes the circle's parents, side by side.
    if (circle->right_parent && circle->right_parent->tally &&
        !(qd_te_parents_append(&arc->right_parent, circle->right_parent) &&
          qd_te_parents_merge_duplicates(arc->right_parent)))
        return 0;
    if (circle->left_parent && circle->left_parent->tally &&
        !(qd_te_parents_append(&arc->left_parent, circle->left_parent) &&
          qd_te_parents_merge_duplicates(arc->left_parent)))
        return 0;
    nlst* list = nlst_alloc(sizeof(TeVertex), 3, 1, nullptr);
    if (!list) return qd_te_no_memory();
    for (const GeoCoord& p : pts) {
        const TeVertex v = {p.x, p.y, p.z, centre.tol};
        nlst_add(list, &v);
    }
    nlst_free(circle->coords);
    circle->coords = list;
    circle->chain_type = TE_ARC;
    circle->radius = rest.radius;
    GeoCoord env[2];
    if (qd_te_cogo_arc_envelope(&rest, env, nullptr) == -1) {
        circle->chain_mer[0] = {env[0].x, env[0].y, KTGEO_NO_Z};
        circle->chain_mer[1] = {env[1].x, env[1].y, KTGEO_NO_Z};
        qd_te_mer_expand(circle->chain_mer, std::fmax(centre.tol, 1e-10));
    }
    *identical = 1;
    return 1;
}
