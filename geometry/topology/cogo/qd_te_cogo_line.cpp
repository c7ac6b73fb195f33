// Straight-line geometry: projections onto lines and segments, infinite
// line intersections, the ray side of a point, the closest point of a
// polyline, nearest and farthest point pairs of two segments, and the
// parallel offset and extension of a segment.
#include <cmath>

#include "geometry/topology/qd_te_cogo.h"

int qd_te_cogo_line_intersection(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* q0,
                                 const GeoCoord* q1, GeoCoord* out) {
    const double dpx = p1->x - p0->x, dpy = p1->y - p0->y;
    const double dqx = q1->x - q0->x, dqy = q1->y - q0->y;
    const double wx = q0->x - p0->x, wy = q0->y - p0->y;
    const double d = dqx * dpy - dqy * dpx;
    if (!(std::fabs(d) >= 1e-16)) return 0;
    const double t = (dqx * wy - dqy * wx) / d;
    *out = {p0->x + t * dpx, p0->y + t * dpy, KTGEO_NO_Z};
    return 1;
}

namespace {

void project(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b, GeoCoord* out,
             const double* tol, bool clamp) {
    const double dx = b->x - a->x, dy = b->y - a->y;
    const double len2 = dx * dx + dy * dy;
    if (len2 < qd_te_cogo_tolerance_squared(tol)) {
        *out = *a;
        return;
    }
    double t = ((p->x - a->x) * dx + (p->y - a->y) * dy) / len2;
    if (clamp) {
        if (t <= 0.0) t = 0.0;
        if (t > 1.0) t = 1.0;
    }
    *out = {a->x + t * dx, a->y + t * dy, KTGEO_NO_Z};
}

}  // namespace

void qd_te_cogo_project_to_line(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b,
                                GeoCoord* out, const double* tol) {
    project(p, a, b, out, tol, false);
}

void qd_te_cogo_project_to_segment(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b,
                                   GeoCoord* out, const double* tol) {
    project(p, a, b, out, tol, true);
}

int qd_te_cogo_line_segment_intersection(const GeoCoord* p0, const GeoCoord* p1,
                                         const GeoCoord* q0, const GeoCoord* q1, GeoCoord* out,
                                         const double* tol) {
    const double dpx = p1->x - p0->x, dpy = p1->y - p0->y;
    const double dqx = q1->x - q0->x, dqy = q1->y - q0->y;
    const double wx = q0->x - p0->x, wy = q0->y - p0->y;
    const double d = dqx * dpy - dqy * dpx;
    if (!(std::fabs(d) >= qd_te_cogo_tolerance_squared(tol))) return 0;
    double u = (dpx * wy - dpy * wx) / d;
    if (u < 0.0) {
        if (u + 1e-16 > 0.0) u = 0.0;
        else return 0;
    } else if (u > 1.0) {
        if (!(u - 1e-16 > 1.0)) u = 1.0;
        else return 0;
    }
    if (!(u >= 0.0)) return 0;  // NaN
    *out = {q0->x + u * dqx, q0->y + u * dqy, KTGEO_NO_Z};
    const double t = qd_te_cogo_tolerance(tol);
    if (u < 0.5 && qd_te_same_fuzzy_point(q0, out, t)) *out = *q0;
    else if (u >= 0.5 && qd_te_same_fuzzy_point(q1, out, t)) *out = *q1;
    return 1;
}

int qd_te_cogo_point_segment_side(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p,
                                  const double* tol_ptr) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    if (qd_te_same_fuzzy_point(p, a, tol) || qd_te_same_fuzzy_point(p, b, tol)) return 15;
    if (std::fabs(b->y - a->y) > 1e-16) {
        const double x = (p->y - a->y) * (b->x - a->x) / (b->y - a->y) + a->x;
        if (std::fabs(x - p->x) < tol) return 14;
        return p->x < x ? 13 : 12;
    }
    if (!(std::fabs(a->y - p->y) < tol)) return 12;
    const double lo = std::fmin(a->x, b->x), hi = std::fmax(a->x, b->x);
    if (lo <= p->x && p->x <= hi) return 14;
    return p->x < lo ? 13 : 12;
}

int qd_te_cogo_closest_point_on_polyline(const GeoCoord* p, const TeCoordArray* array,
                                         TeNearestPoint* out, const double* tol) {
    const int32_t n = array->n;
    if (n <= 0) return 0;
    int32_t best = 0;
    if (n == 1) {
        out->point = array->pts[0];
    } else {
        double best_d = 0.0;
        for (int32_t i = 0; i + 1 < n; ++i) {
            const double d = qd_te_cogo_point_segment_distance(&array->pts[i], &array->pts[i + 1],
                                                               p, nullptr);
            if (i == 0 || d < best_d) best_d = d, best = i;
        }
        qd_te_cogo_project_to_segment(p, &array->pts[best], &array->pts[best + 1], &out->point,
                                      tol);
        if (qd_te_same_fuzzy_point(&out->point, &array->pts[best + 1],
                                   qd_te_cogo_tolerance(tol))) {
            out->point = array->pts[best + 1];
            ++best;
        }
    }
    out->segment_index = out->vertex_index = best;
    return -1;
}

namespace {

// Nearest (sign 1) or farthest (sign -1) pair of two segments from their
// end-point projections.
double extreme_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c, const GeoCoord* d,
                      GeoCoord* out1, GeoCoord* out2, const double* tol_ptr, bool nearest) {
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    auto better = [nearest](double x, double y) { return nearest ? x < y : x > y; };
    GeoCoord p1, p2;
    if (qd_te_same_fuzzy_point(a, b, tol)) {
        p1 = *b;
        if (qd_te_same_fuzzy_point(c, d, tol)) p2 = *d;
        else qd_te_cogo_point_segment_distance(d, c, b, &p2);
    } else if (qd_te_same_fuzzy_point(c, d, tol)) {
        qd_te_cogo_point_segment_distance(b, a, d, &p1);
        p2 = *d;
    } else {
        GeoCoord x, y, alt, f1, f2;
        double dx = qd_te_cogo_point_segment_distance(b, a, d, &x);
        const double dxc = qd_te_cogo_point_segment_distance(b, a, c, &alt);
        if (better(dxc, dx)) x = alt, dx = dxc;
        double dy = qd_te_cogo_point_segment_distance(d, c, b, &y);
        const double dya = qd_te_cogo_point_segment_distance(d, c, a, &alt);
        if (better(dya, dy)) y = alt, dy = dya;
        const double e1 = qd_te_cogo_point_segment_distance(b, a, &y, &f1);
        const double e2 = qd_te_cogo_point_segment_distance(d, c, &x, &f2);
        if (better(e2, e1)) p1 = x, p2 = f2;
        else p1 = f1, p2 = y;
    }
    if (out1) *out1 = p1;
    if (out2) *out2 = p2;
    return qd_te_cogo_distance_2d(&p1, &p2);
}

}  // namespace

double qd_te_cogo_segment_nearest_points(const GeoCoord* a, const GeoCoord* b,
                                         const GeoCoord* c, const GeoCoord* d, GeoCoord* out1,
                                         GeoCoord* out2, const double* tol) {
    return extreme_points(a, b, c, d, out1, out2, tol, true);
}

double qd_te_cogo_segment_farthest_points(const GeoCoord* a, const GeoCoord* b,
                                          const GeoCoord* c, const GeoCoord* d, GeoCoord* out1,
                                          GeoCoord* out2, const double* tol) {
    return extreme_points(a, b, c, d, out1, out2, tol, false);
}

namespace {

// The segment moved by across to the right of its direction and lengthened
// by ext at each end; a copy when |small| is below the tolerance.
int shift_segment(const GeoCoord* seg, double across, double ext, double small, GeoCoord* out,
                  const double* tol) {
    if (!seg || !out) return -2;
    if (std::fabs(small) < qd_te_cogo_tolerance(tol)) {
        out[0] = seg[0];
        out[1] = seg[1];
        return -1;
    }
    if (qd_te_same_fuzzy_point(&seg[0], &seg[1], qd_te_cogo_tolerance(tol))) return -2;
    GeoCoord s, e;
    if (qd_te_cogo_offset_point(&seg[0], &seg[1], -ext, across, &s, nullptr) != -1 ||
        qd_te_cogo_offset_point(&seg[1], &seg[0], -ext, -across, &e, nullptr) != -1)
        return -2;
    out[0] = s;
    out[1] = e;
    return -1;
}

}  // namespace

int qd_te_cogo_offset_segment(const GeoCoord* seg, double across, double extension,
                              GeoCoord* out, const double* tol) {
    return shift_segment(seg, across, extension, across, out, tol);
}

int qd_te_cogo_extend_segment(const GeoCoord* seg, double extension, GeoCoord* out,
                              const double* tol) {
    return shift_segment(seg, 0.0, extension, extension, out, tol);
}
