// The engine's tolerant coordinate geometry that the geometry library's
// label computation calls: fuzzy points, the sorted segment sweep, the
// self-intersection search and the ring centroid. Compiled into
// ql_geometry; the rest of the engine links it from there.
#include "geometry/topology/qd_te_cogo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

constexpr double kParallel = 1e-16;
constexpr double kFine = 1e-10;

}  // namespace

double qd_te_cogo_tolerance(const double* tol) { return tol ? *tol : QD_TE_DEFAULT_TOLERANCE; }

double qd_te_cogo_distance_2d(const GeoCoord* a, const GeoCoord* b) {
    return std::hypot(a->x - b->x, a->y - b->y);
}

int qd_te_same_fuzzy_point(const GeoCoord* a, const GeoCoord* b, double tol) {
    if (!a || !b) {
        QD_FAIL("UKT1M", "function%s", "qd_te_same_fuzzy_point", nullptr);
        return 0;
    }
    // Points far apart on one axis are told apart without a distance.
    const double far = 2 * (std::fmax(tol, kFine) + kFine);
    if (std::fabs(a->x - b->x) > far || std::fabs(a->y - b->y) > far) return 0;
    const double d = qd_te_cogo_distance_2d(a, b);
    if (tol > kFine) return (d <= tol || std::fabs(d - tol) <= kFine) ? 1 : 0;
    if (std::fabs(a->x - b->x) < kFine && std::fabs(a->y - b->y) < kFine) return 1;
    return std::fabs(d - kFine) <= kFine ? 1 : 0;
}

int qd_te_cogo_envelope(GeoCoord* min_max, const GeoCoord* coords, int32_t n) {
    if (n <= 0) return 1;
    GeoCoord& lo = min_max[0];
    GeoCoord& hi = min_max[1];
    lo = hi = coords[0];
    for (int32_t i = 1; i < n; ++i) {
        const GeoCoord& c = coords[i];
        if (c.x < lo.x) lo.x = c.x; else if (c.x > hi.x) hi.x = c.x;
        if (c.y < lo.y) lo.y = c.y; else if (c.y > hi.y) hi.y = c.y;
        if (c.z < lo.z) lo.z = c.z; else if (c.z > hi.z) hi.z = c.z;
    }
    return 1;
}

void qd_te_cogo_segment_envelope(const GeoCoord* a, const GeoCoord* b, GeoCoord* min_max) {
    min_max[0] = {std::fmin(a->x, b->x), std::fmin(a->y, b->y), KTGEO_NO_Z};
    min_max[1] = {std::fmax(a->x, b->x), std::fmax(a->y, b->y), KTGEO_NO_Z};
}

double qd_te_cogo_point_segment_distance(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p,
                                         GeoCoord* closest) {
    const double dx = b->x - a->x, dy = b->y - a->y;
    const double len2 = dx * dx + dy * dy;
    if (len2 < 1e-16) {
        if (closest) *closest = *p;
        return qd_te_cogo_distance_2d(a, p);
    }
    double t = ((p->x - a->x) * dx + (p->y - a->y) * dy) / len2;
    if (t <= 0.0) t = 0.0;
    if (t > 1.0) t = 1.0;
    const GeoCoord c = {a->x + t * dx, a->y + t * dy, KTGEO_NO_Z};
    if (closest) *closest = c;
    return qd_te_cogo_distance_2d(&c, p);
}

int qd_te_cogo_segment_intersection(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* q0,
                                    const GeoCoord* q1, GeoCoord* out, int touching,
                                    const double* tol_ptr, int* parallel) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    const double dpx = p1->x - p0->x, dpy = p1->y - p0->y;
    const double dqx = q1->x - q0->x, dqy = q1->y - q0->y;
    const double wx = q0->x - p0->x, wy = q0->y - p0->y;
    const double det = dqx * dpy - dqy * dpx;
    if (!(std::fabs(det) >= kParallel)) {
        if (parallel) *parallel = 1;
        return 0;
    }
    if (parallel) *parallel = 0;
    double t = (wy * dqx - wx * dqy) / det;
    double u = (wy * dpx - wx * dpy) / det;
    auto nudge = [](double& v) {
        if (v < 0.0) {
            v += kParallel;
            if (v > 0.0) v = 0.0;
        } else if (v > 1.0) {
            v -= kParallel;
            if (!(v > 1.0)) v = 1.0;
        }
    };
    nudge(t);
    nudge(u);
    GeoCoord x = {p0->x + t * dpx, p0->y + t * dpy, KTGEO_NO_Z};
    bool snapped = false;
    if (t < 0.5 && qd_te_same_fuzzy_point(&x, p0, tol)) {
        x = *p0;
        t = 0.0;
        snapped = true;
    } else if (t >= 0.5 && qd_te_same_fuzzy_point(&x, p1, tol)) {
        x = *p1;
        t = 1.0;
        snapped = true;
    }
    if (!snapped) {
        if (u < 0.5 && qd_te_same_fuzzy_point(&x, q0, tol)) {
            x = *q0;
            u = 0.0;
        } else if (u >= 0.5 && qd_te_same_fuzzy_point(&x, q1, tol)) {
            x = *q1;
            u = 1.0;
        }
        if (t < 0.0) return 0;
    }
    if (u < 0.0 || t > 1.0 || u > 1.0) return 0;
    if (qd_te_same_fuzzy_point(p0, q0, tol) || qd_te_same_fuzzy_point(p0, q1, tol)) {
        if (!touching) return 0;
        x = *p0;
    } else if (qd_te_same_fuzzy_point(p1, q0, tol) || qd_te_same_fuzzy_point(p1, q1, tol)) {
        if (!touching) return 0;
        x = *p1;
    }
    if (out) *out = x;
    if (touching) return 1;
    const GeoCoord* pe = t < 0.5 ? p0 : p1;
    if (qd_te_same_fuzzy_point(&x, pe, tol) &&
        (qd_te_same_fuzzy_point(&x, q0, tol) || qd_te_same_fuzzy_point(&x, q1, tol)))
        return 0;
    return 1;
}

int qd_te_cogo_segment_order(const TeSegment* a, const TeSegment* b) {
    if (const int c = qd_cogo_compare(a->env_min.x, b->env_min.x)) return c;
    return qd_cogo_compare(a->env_min.y, b->env_min.y);
}

void qd_te_cogo_intersection_positions(const TeSegment* s, const TeSegment* r, TeIntersection* x,
                                       const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    auto position = [&](const TeSegment* seg, int32_t* index, double* offset) {
        if (qd_te_same_fuzzy_point(&x->point, seg->end, tol)) {
            *index = seg->index + 1;
            *offset = 0.0;
        } else if (qd_te_same_fuzzy_point(&x->point, seg->start, tol)) {
            *index = seg->index;
            *offset = 0.0;
        } else {
            *index = seg->index;
            *offset = qd_te_cogo_distance_2d(&x->point, seg->start);
        }
    };
    int32_t si, ri;
    double so, ro;
    position(s, &si, &so);
    position(r, &ri, &ro);
    if (s != r && s->tag == r->tag) {
        if (si < ri) {
            x->index_a = si, x->offset_a = so, x->index_b = ri, x->offset_b = ro;
        } else {
            x->index_a = ri, x->offset_a = ro, x->index_b = si, x->offset_b = so;
        }
        return;
    }
    if (s->tag == 1) x->index_a = si, x->offset_a = so;
    else x->index_b = si, x->offset_b = so;
    if (r->tag == 1) x->index_a = ri, x->offset_a = ro;
    else x->index_b = ri, x->offset_b = ro;
}

namespace {

// Does the pair (A earlier in sorted order, B later) meet? The meeting
// point goes to `point`.
bool segments_meet(const TeSegment& a, const TeSegment& b, int32_t count, int closed, double tol,
                   const double* tol_ptr, GeoCoord* point) {
    auto near_a = [&](const GeoCoord* p) {
        return qd_te_cogo_point_segment_distance(a.start, a.end, p, point) < tol;
    };
    auto near_b = [&](const GeoCoord* p) {
        return qd_te_cogo_point_segment_distance(b.start, b.end, p, point) < tol;
    };
    const bool b_follows_a =
        b.index == a.index + 1 || (closed && a.index == count - 1 && b.index == 0);
    const bool a_follows_b =
        a.index == b.index + 1 || (closed && a.index == 0 && b.index == count - 1);
    if (b_follows_a) return near_a(b.end) || near_b(a.start);
    if (a_follows_b) return near_a(b.start) || near_b(a.end);
    if (a.env_min.x > b.env_max.x || a.env_max.x < b.env_min.x || a.env_min.y > b.env_max.y ||
        a.env_max.y < b.env_min.y)
        return false;
    if (a.index == 0 && b.index == count - 1 && qd_te_same_fuzzy_point(a.start, b.end, tol))
        return false;
    if (a.index == count - 1 && b.index == 0 && qd_te_same_fuzzy_point(a.end, b.start, tol))
        return false;
    if (qd_te_cogo_segment_intersection(a.start, a.end, b.start, b.end, point, 1, tol_ptr,
                                        nullptr) == 1)
        return true;
    if (qd_te_same_fuzzy_point(b.start, a.start, tol) || qd_te_same_fuzzy_point(b.start, a.end, tol))
        return near_a(b.end);
    if (qd_te_same_fuzzy_point(b.end, a.start, tol) || qd_te_same_fuzzy_point(b.end, a.end, tol))
        return near_a(b.start);
    return false;
}

}  // namespace

int qd_te_cogo_sweep_segments(TeSegment* segments, int32_t count, TeIntersectionList* list,
                              int stop_at_first, int closed, const double* tol_ptr) {
    if (!segments || (!stop_at_first && !list)) return -2;
    if (count < 2) return 0;
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    nlst* found = nlst_alloc(sizeof(TeIntersection), static_cast<uint32_t>(count), 1, nullptr);
    if (!found) return -3;
    std::sort(segments, segments + count, [](const TeSegment& a, const TeSegment& b) {
        return qd_te_cogo_segment_order(&a, &b) < 0;
    });
    int result = 0;
    bool done = false;
    for (int32_t i = 0; i < count && !done; ++i) {
        const TeSegment& a = segments[i];
        for (int32_t j = i + 1; j < count && !done; ++j) {
            const TeSegment& b = segments[j];
            if (b.env_min.x > a.env_max.x) break;
            // Farther apart in y than the tolerance: no test below can hit.
            if (b.env_min.y > a.env_max.y + tol || b.env_max.y < a.env_min.y - tol) continue;
            TeIntersection candidate = {};
            if (!segments_meet(a, b, count, closed, tol, tol_ptr, &candidate.point)) continue;
            qd_te_cogo_intersection_positions(&a, &b, &candidate, tol_ptr);
            result = 1;
            if (stop_at_first) {
                done = true;
            } else if (nlst_add(found, &candidate) != 1) {
                result = -3;
                done = true;
            }
        }
    }
    if (!stop_at_first && result == 1) {
        const uint32_t tally = nlst_tally(found);
        if (tally == 0) {
            result = 0;
        } else {
            TeIntersection* items = static_cast<TeIntersection*>(nlst_core(found));
            if (!items) {
                result = -3;
            } else {
                list->count = list->capacity = static_cast<int32_t>(tally);
                list->items = items;
            }
        }
    }
    nlst_free(found);
    return result;
}

namespace {

int self_intersections(const GeoCoord* pts, int32_t n, TeIntersectionList* list,
                       int stop_at_first, const double* tol_ptr) {
    const int32_t count = n - 1;
    TeSegment* segments = static_cast<TeSegment*>(qd_alloc(sizeof(TeSegment) * size_t(count)));
    if (!segments) return -3;
    const int closed = qd_te_same_fuzzy_point(&pts[0], &pts[n - 1], qd_te_cogo_tolerance(tol_ptr));
    for (int32_t i = 0; i < count; ++i) {
        TeSegment& s = segments[i];
        s.end = &pts[i + 1];
        s.start = &pts[i];
        s.index = i;
        s.tag = 1;
        s.mark = -1;
        qd_te_cogo_segment_envelope(s.start, s.end, &s.env_min);
    }
    const int result =
        qd_te_cogo_sweep_segments(segments, count, list, stop_at_first, closed, tol_ptr);
    qd_free(segments);
    return result;
}

}  // namespace

int qd_te_cogo_self_intersections(const TeCoordArray* array, TeIntersectionList* list,
                                  int stop_at_first, const double* tol) {
    if (!array || !array->pts || (!stop_at_first && !list)) return -2;
    if (array->n < 2) return 0;
    return self_intersections(array->pts, array->n, list, stop_at_first, tol);
}

int qd_te_cogo_self_intersections_nlst(const nlst* coords, TeIntersectionList* list,
                                       int stop_at_first, const double* tol) {
    if (!coords) return -2;
    if (coords->tally < 2) return 0;
    if (!stop_at_first && !list) return -2;
    return self_intersections(static_cast<const GeoCoord*>(coords->data),
                              static_cast<int32_t>(coords->tally), list, stop_at_first, tol);
}

int qd_te_cogo_ring_centroid(const TeCoordArray* array, GeoCoord* centroid, const double* tol) {
    if (!array || !array->pts || !centroid || array->n <= 3) return -2;
    const GeoCoord* p = array->pts;
    const int32_t n = array->n;
    if (!qd_te_same_fuzzy_point(&p[0], &p[n - 1], qd_te_cogo_tolerance(tol))) return -2;
    centroid->x = centroid->y = 0.0;
    double area = 0.0;
    const double x0 = p[0].x, y0 = p[0].y;
    for (int32_t i = 2; i <= n - 2; ++i) {
        const double w = (x0 - p[i].x) * (p[i - 1].y - y0) + (p[i].y - y0) * (p[i - 1].x - x0);
        centroid->x += (p[i - 1].x + p[i].x) * w;
        centroid->y += (p[i - 1].y + p[i].y) * w;
        area += w;
    }
    if (!(std::fabs(area) >= 1e-16)) return 0;
    centroid->x = (centroid->x * (1.0 / area) + x0) * 0.3333333333333333;
    centroid->y = (centroid->y * (1.0 / area) + y0) * 0.3333333333333333;
    centroid->z = KTGEO_NO_Z;
    return -1;
}

int qd_te_cogo_ring_centroid_pts(GeoCoord* pts, int32_t n, GeoCoord* centroid, const double* tol) {
    const TeCoordArray array = {pts, n};
    return qd_te_cogo_ring_centroid(&array, centroid, tol);
}

int qd_te_cogo_intersection_list_free(TeIntersectionList* list) {
    if (!list || !list->items) return 0;
    qd_free(list->items);
    list->items = nullptr;
    list->count = list->capacity = 0;
    return 1;
}
