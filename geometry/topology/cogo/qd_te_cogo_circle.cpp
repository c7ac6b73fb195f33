// Intersections with circles and arcs: an infinite line, a segment or a
// polyline against a circle or an arc, circles and arcs against each other,
// and the relation of two circles. Two points go to two consecutive
// coordinates; the answer tells how many are valid.
#include <cmath>
#include <cstdlib>

#include "geometry/qd_alloc.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/cogo/qd_te_cogo_internal.h"
#include "geometry/topology/qd_te_cogo.h"

int qd_te_cogo_line_circle_intersection(const GeoCoord* a, const GeoCoord* b,
                                        const TeCircle* circle, GeoCoord* out,
                                        const double* tol) {
    const double r = circle->radius;
    if (!(r >= qd_te_cogo_tolerance(tol))) return -2;
    double ux, uy;
    if (qd_te_cogo_unit_direction(a, b, &ux, &uy, tol) != -1) return 0;
    const double wx = circle->centre.x - a->x, wy = circle->centre.y - a->y;
    const double h = wy * ux - wx * uy, m = wx * ux + wy * uy;
    const double e = r * r - h * h;
    if (!(e >= -1e-16)) return 0;
    if (e < 1e-16) {
        out[0] = {a->x + m * ux, a->y + m * uy, KTGEO_NO_Z};
        return 1;
    }
    const double f = std::sqrt(e);
    out[0] = {a->x + (m - f) * ux, a->y + (m - f) * uy, KTGEO_NO_Z};
    out[1] = {a->x + (m + f) * ux, a->y + (m + f) * uy, KTGEO_NO_Z};
    return qd_te_same_fuzzy_point(&out[0], &out[1], qd_te_cogo_tolerance(tol)) ? 1 : 2;
}

int qd_te_cogo_segment_circle_intersection(const GeoCoord* a, const GeoCoord* b,
                                           const TeCircle* circle, GeoCoord* out,
                                           const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double r = circle->radius;
    if (!(r >= tol)) return -2;
    const double dx = b->x - a->x, dy = b->y - a->y;
    const double len2 = dx * dx + dy * dy;
    if (!(len2 >= 1e-16)) return 0;
    const double wx = a->x - circle->centre.x, wy = a->y - circle->centre.y;
    const double k = (dy * wx - dx * wy) / len2;
    const double e = r * r - len2 * k * k;
    const double t0 = -(dy * wy + dx * wx) / len2;
    if (!(e >= -1e-16)) return 0;
    auto at = [&](double t) { return GeoCoord{a->x + t * dx, a->y + t * dy, KTGEO_NO_Z}; };
    // A point off the segment counts only within the tolerance of the nearer end.
    auto accept = [&](double t, GeoCoord* slot) {
        GeoCoord p = at(t);
        if (!(t >= 0.0 && t <= 1.0)) {
            const GeoCoord* end = t < 0.0 ? a : b;
            if (!qd_te_same_fuzzy_point(&p, end, tol)) return false;
            p = *end;
        }
        *slot = p;
        return true;
    };
    if (std::fabs(e) < 1e-16) return accept(t0, &out[0]) ? 1 : 0;
    const double g = std::sqrt(e / len2);
    int found = accept(t0 + g, &out[0]) ? 1 : 0;
    if (accept(t0 - g, &out[found])) ++found;
    if (found < 2) return found;
    if (qd_te_same_fuzzy_point(&out[0], &out[1], tol)) return 1;
    if (qd_te_cogo_distance_2d(a, &out[1]) < qd_te_cogo_distance_2d(a, &out[0])) {
        const GeoCoord swap = out[0];
        out[0] = out[1];
        out[1] = swap;
    }
    return 2;
}

namespace {

// Keeps the points of found (count n) that lie on every given arc, one of
// two equal points; the kept points fill out from the front.
int keep_on_arcs(GeoCoord* pts, int n, const TeArc* arc1, const TeArc* arc2, const double* tol) {
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        if (qd_te_cogo_point_on_arc(arc1, &pts[i], tol) != 1) continue;
        if (arc2 && qd_te_cogo_point_on_arc(arc2, &pts[i], tol) != 1) continue;
        if (kept == 1 && qd_te_same_fuzzy_point(&pts[0], &pts[i], qd_te_cogo_tolerance(tol)))
            continue;
        pts[kept++] = pts[i];
    }
    return kept;
}

TeCircle circle_of(const TeArc* arc) { return {arc->centre, arc->radius}; }

}  // namespace

int qd_te_cogo_segment_arc_intersection(const GeoCoord* a, const GeoCoord* b, const TeArc* arc,
                                        GeoCoord* out, const double* tol) {
    GeoCoord env[2];
    if (qd_te_cogo_arc_envelope(arc, env, tol) != -1) return 0;
    const TeCircle circle = circle_of(arc);
    GeoCoord found[2];
    const int n = qd_te_cogo_segment_circle_intersection(a, b, &circle, found, tol);
    if (n <= 0) return n;
    const int kept = keep_on_arcs(found, n, arc, nullptr, tol);
    for (int i = 0; i < kept; ++i) out[i] = found[i];
    return kept;
}

int qd_te_cogo_segment_arc3_intersection(const GeoCoord* a, const GeoCoord* b,
                                         const TeArc3* arc3, GeoCoord* out, const double* tol) {
    TeArc arc;
    if (qd_te_cogo_arc_from_points(&arc3->start, &arc3->mid, &arc3->end, &arc, nullptr) != -1)
        return -2;
    return qd_te_cogo_segment_arc_intersection(a, b, &arc, out, tol);
}

int qd_te_cogo_circle_relation(const TeCircle* c1, const TeCircle* c2, const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    if (!(c1->radius >= tol) || !(c2->radius >= tol)) return -2;
    const double d = qd_te_cogo_distance_2d(&c1->centre, &c2->centre);
    if (!std::isfinite(d)) return -2;
    const double big = std::fmax(c1->radius, c2->radius), small = std::fmin(c1->radius, c2->radius);
    if (big + small < d || (big > d && small + d < big)) return 0;
    if (d < tol) return std::fabs(c1->radius - c2->radius) < tol ? 6 : 5;
    if (std::fabs(d - big - small) < tol || std::fabs(small + d - big) < tol) return 1;
    return 2;
}

int qd_te_cogo_circle_intersection(const TeCircle* c1, const TeCircle* c2, GeoCoord* out,
                                   const double* tol_ptr) {
    const int relation = qd_te_cogo_circle_relation(c1, c2, tol_ptr);
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double dx = c2->centre.x - c1->centre.x, dy = c2->centre.y - c1->centre.y;
    const double r1 = c1->radius, r2 = c2->radius;
    const GeoCoord& o = c1->centre;
    auto put = [&](int i, double x, double y) { out[i] = {o.x + x, o.y + y, KTGEO_NO_Z}; };
    if (relation == 2) {
        if (std::fabs(dx) < tol) {
            const double y = (dy * dy + r1 * r1 - r2 * r2) / (2.0 * dy);
            const double k = std::sqrt(std::fmax(r1 * r1 - y * y, 0.0));
            put(0, k, y);
            put(1, -k, y);
        } else if (std::fabs(dy) < tol) {
            const double x = (dx * dx + r1 * r1 - r2 * r2) / (2.0 * dx);
            const double k = std::sqrt(std::fmax(r1 * r1 - x * x, 0.0));
            put(0, x, k);
            put(1, x, -k);
        } else {
            const double f = dx * dx + dy * dy;
            const double j = (r1 * r1 + f - r2 * r2) / 2.0;
            const double l = std::sqrt(std::fmax(r1 * r1 * f - j * j, 0.0));
            const double y1 = (dy * j + dx * l) / f, y2 = (dy * j - dx * l) / f;
            put(0, (j - dy * y1) / dx, y1);
            put(1, (j - dy * y2) / dx, y2);
        }
    } else if (relation == 1) {
        if (std::fabs(dx) < tol) {
            put(0, 0.0, std::fabs(std::fabs(dy - r1) - r2) < tol ? r1 : -r1);
        } else if (std::fabs(dy) < tol) {
            put(0, std::fabs(std::fabs(dx - r1) - r2) < tol ? r1 : -r1, 0.0);
        } else {
            const double d = std::sqrt(dx * dx + dy * dy);
            const double s = std::fabs(std::fabs(d - r1) - r2) <= tol ? r1 : -r1;
            put(0, s * dx / d, s * dy / d);
        }
    }
    return relation;
}

namespace {

int circles_on_arcs(const TeCircle* c1, const TeCircle* c2, const TeArc* arc1, const TeArc* arc2,
                    GeoCoord* out, const double* tol) {
    GeoCoord found[2];
    const int relation = qd_te_cogo_circle_intersection(c1, c2, found, tol);
    if (relation != 1 && relation != 2) return relation;
    const int kept = keep_on_arcs(found, relation, arc1, arc2, tol);
    for (int i = 0; i < kept; ++i) out[i] = found[i];
    return kept;
}

}  // namespace

int qd_te_cogo_circle_arc_intersection(const TeCircle* circle, const TeArc* arc, GeoCoord* out,
                                       const double* tol) {
    GeoCoord ea[2], ec[2], overlap[2];
    if (qd_te_cogo_arc_envelope(arc, ea, tol) != -1 ||
        qd_te_cogo_circle_envelope(circle, ec, tol) != -1)
        return 0;
    if (qd_te_cogo_envelope_relation(ec, ea, overlap) == 8) return 0;
    const TeCircle other = circle_of(arc);
    return circles_on_arcs(circle, &other, arc, nullptr, out, tol);
}

int qd_te_cogo_arc_intersection(const TeArc* arc1, const TeArc* arc2, GeoCoord* out,
                                const double* tol) {
    const TeCircle c1 = circle_of(arc1), c2 = circle_of(arc2);
    return circles_on_arcs(&c1, &c2, arc1, arc2, out, tol);
}

int qd_te_cogo_arc3_intersection(const TeArc3* a1, const TeArc3* a2, GeoCoord* out,
                                 const double* tol) {
    TeArc arc1, arc2;
    if (qd_te_cogo_arc_from_points(&a1->start, &a1->mid, &a1->end, &arc1, nullptr) != -1 ||
        qd_te_cogo_arc_from_points(&a2->start, &a2->mid, &a2->end, &arc2, nullptr) != -1)
        return -2;
    return qd_te_cogo_arc_intersection(&arc1, &arc2, out, tol);
}

namespace {

typedef int (*SegmentCut)(const GeoCoord* a, const GeoCoord* b, const void* shape, GeoCoord* out);

int polyline_search(const TeBoundedArray* array, const GeoCoord* shape_env, SegmentCut cut,
                    const void* shape, TeIntersectionList* list, int stop_at_first) {
    const int32_t count = array->n - 1;
    te_cogo::SegmentRecords segments;
    te_cogo::FoundList found;
    if (!segments.reserve(count) || !found.open(uint32_t(count))) return -3;
    GeoCoord overlap[2];
    const GeoCoord env[2] = {array->env_min, array->env_max};
    if (qd_te_cogo_envelope_relation(env, shape_env, overlap) == 8) return 0;
    for (int32_t i = 0; i < count; ++i) {
        TeSegment s = te_cogo::segment_record(array->pts, i, 1);
        if (te_cogo::envelopes_overlap(s, shape_env)) segments.push(s);
    }
    if (segments.count == 0) return 0;
    segments.sort();
    int result = 0;
    for (int32_t i = 0; i < segments.count; ++i) {
        const TeSegment& s = segments.items[i];
        GeoCoord pts[2];
        const int n = cut(s.start, s.end, shape, pts);
        for (int k = 0; k < n; ++k) {
            TeIntersection item = {};
            item.point = pts[k];
            qd_te_cogo_intersection_positions(&s, &s, &item, nullptr);
            result = 1;
            if (stop_at_first) return 1;
            if (!found.add(item)) return -3;
        }
    }
    return found.hand_over(result, stop_at_first, list);
}

int cut_circle(const GeoCoord* a, const GeoCoord* b, const void* shape, GeoCoord* out) {
    return qd_te_cogo_segment_circle_intersection(a, b, static_cast<const TeCircle*>(shape), out,
                                                  nullptr);
}

int cut_arc(const GeoCoord* a, const GeoCoord* b, const void* shape, GeoCoord* out) {
    return qd_te_cogo_segment_arc_intersection(a, b, static_cast<const TeArc*>(shape), out,
                                               nullptr);
}

}  // namespace

namespace {

// The checks both polyline searches make first: 1 to go on, else the answer.
int polyline_checks(const TeBoundedArray* array, const void* shape, const TeIntersectionList* list,
                    int stop_at_first) {
    if (!array || !shape || (!stop_at_first && !list)) return -2;
    if (array->n < 2) return 0;
    return te_cogo::finite_points(array->pts, array->n) ? 1 : -2;
}

}  // namespace

int qd_te_cogo_polyline_circle_intersections(const TeBoundedArray* array,
                                             const TeCircle* circle, TeIntersectionList* list,
                                             int stop_at_first, const double* tol) {
    (void)tol;  // the search runs at the default tolerance
    const int go = polyline_checks(array, circle, list, stop_at_first);
    if (go != 1) return go;
    GeoCoord env[2];
    if (qd_te_cogo_circle_envelope(circle, env, nullptr) != -1) return 0;
    return polyline_search(array, env, cut_circle, circle, list, stop_at_first);
}

int qd_te_cogo_polyline_arc_intersections(const TeBoundedArray* array, const TeArc* arc,
                                          TeIntersectionList* list, int stop_at_first,
                                          const double* tol) {
    (void)tol;
    const int go = polyline_checks(array, arc, list, stop_at_first);
    if (go != 1) return go;
    GeoCoord env[2];
    if (qd_te_cogo_arc_envelope(arc, env, nullptr) != -1) return 0;
    return polyline_search(array, env, cut_arc, arc, list, stop_at_first);
}
