// Whole coordinate arrays: length, reversal, ring orientation and area,
// the relation of two envelopes, near-duplicate marking and removal with
// the index map that carries results back to input vertices, and series of
// points along a direction.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"

double qd_te_cogo_polyline_length(const GeoCoord* pts, int32_t n) {
    double total = 0.0;
    for (int32_t i = 1; i < n; ++i) total += qd_te_cogo_distance_2d(&pts[i - 1], &pts[i]);
    return total;
}

void qd_te_cogo_reverse_array(GeoCoord* pts, int32_t n) {
    if (!pts || n < 1) return;
    std::reverse(pts, pts + n);
}

void qd_te_cogo_reverse_nlst(nlst* coords) {
    if (!coords) return;
    qd_te_cogo_reverse_array(static_cast<GeoCoord*>(coords->data),
                             static_cast<int32_t>(coords->tally));
}

namespace {

// Minus twice the signed (counter-clockwise positive) area of a closed ring.
double ring_sum(const GeoCoord* p, int32_t n) {
    if (!p || n <= 0) return 0.0;
    const double y0 = p[0].y;
    double s = 0.0;
    for (int32_t i = 1; i < n; ++i) s += (p[i].x - p[i - 1].x) * ((p[i].y - y0) + (p[i - 1].y - y0));
    return s;
}

}  // namespace

int qd_te_cogo_ring_clockwise(const GeoCoord* pts, int32_t n) {
    return ring_sum(pts, n) >= 0.0 ? 1 : 0;
}

int qd_te_cogo_ring_clockwise_nlst(const nlst* coords) {
    if (!coords) return 1;
    return qd_te_cogo_ring_clockwise(static_cast<const GeoCoord*>(coords->data),
                                     static_cast<int32_t>(coords->tally));
}

double qd_te_cogo_ring_area_cw(const GeoCoord* pts, int32_t n) { return ring_sum(pts, n) / 2.0; }

double qd_te_cogo_triangle_area_cw(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c) {
    const GeoCoord ring[] = {*a, *b, *c, *a};
    return ring_sum(ring, 4) / 2.0;
}

int qd_te_cogo_envelope_relation(const GeoCoord* e1, const GeoCoord* e2, GeoCoord* overlap) {
    if (e1[0].x > e2[1].x || e1[1].x < e2[0].x || e1[0].y > e2[1].y || e1[1].y < e2[0].y)
        return 8;
    overlap[0] = {std::max(e1[0].x, e2[0].x), std::max(e1[0].y, e2[0].y), KTGEO_NO_Z};
    overlap[1] = {std::min(e1[1].x, e2[1].x), std::min(e1[1].y, e2[1].y), KTGEO_NO_Z};
    const bool e2_left = e2[0].x < e1[0].x;
    const GeoCoord* l = e2_left ? e2 : e1;
    const GeoCoord* r = e2_left ? e1 : e2;
    int result = 7;
    if (l[0].y <= r[0].y && l[1].y >= r[1].y && l[1].x >= r[1].x) result = e2_left ? 9 : 10;
    if (overlap[1].x - overlap[0].x == 0.0 || overlap[1].y - overlap[0].y == 0.0) result = 11;
    return result;
}

int qd_te_cogo_mark_near_duplicates(const GeoCoord* pts, int32_t n, int32_t* flags, double tol,
                                    int three_d) {
    if (n <= 0) return 1;
    std::fill(flags, flags + n, 0);
    if (tol <= 0.0) tol = 1e-16;
    auto distance = [&](const GeoCoord* a, const GeoCoord* b) {
        return three_d ? qd_te_cogo_distance_3d(a, b) : qd_te_cogo_distance_2d(a, b);
    };
    const GeoCoord* kept = &pts[0];
    for (int32_t i = 1; i < n; ++i) {
        if (distance(&pts[i], kept) < tol) flags[i] = -1;
        else kept = &pts[i];
    }
    if (n > 2 && flags[n - 1] == -1) {
        flags[n - 1] = 0;
        for (int32_t i = n - 2; i > 0; --i) {
            if (flags[i] == 0) {
                flags[i] = -1;
                break;
            }
        }
    }
    flags[0] = flags[n - 1] = 0;
    return 1;
}

int qd_te_cogo_mark_near_duplicates_2d(const GeoCoord* pts, int32_t n, int32_t* flags,
                                       double tol) {
    return qd_te_cogo_mark_near_duplicates(pts, n, flags, tol, 0);
}

int qd_te_cogo_mark_near_duplicates_3d(const GeoCoord* pts, int32_t n, int32_t* flags,
                                       double tol) {
    return qd_te_cogo_mark_near_duplicates(pts, n, flags, tol, 1);
}

int qd_te_cogo_remove_duplicates(const TeCoordArray* in, TeCoordArray* out, int32_t** map,
                                 const double* tol_ptr) {
    if (!in || !out || !map) return -2;
    *map = nullptr;
    const int32_t n = in->n;
    if (n < 2 || !in->pts) return 0;
    const double tol = qd_te_cogo_tolerance(tol_ptr);
    bool any = false;
    for (int32_t i = 1; i < n && !any; ++i)
        any = qd_te_same_fuzzy_point(&in->pts[i - 1], &in->pts[i], tol) != 0;
    if (!any) return 0;
    int32_t* m = static_cast<int32_t*>(qd_alloc(sizeof(int32_t) * size_t(n)));
    if (!m) return -3;
    GeoCoord* pts = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * size_t(n)));
    if (!pts) {
        qd_free(m);
        return -3;
    }
    *out = *in;
    out->pts = pts;
    pts[0] = in->pts[0];
    m[0] = 0;
    int32_t slot = 0;
    for (int32_t r = 1; r < n; ++r) {
        if (qd_te_same_fuzzy_point(&in->pts[r - 1], &in->pts[r], tol)) {
            --out->n;
        } else {
            pts[++slot] = in->pts[r];
        }
        m[slot] = r;
    }
    for (int32_t i = slot + 1; i < n; ++i) {
        pts[i] = {1.7976931348623157e308, 1.7976931348623157e308, KTGEO_NO_Z};
        m[i] = -1;
    }
    *map = m;
    return 1;
}

int qd_te_cogo_remap_intersections(const int32_t* map_a, int use_a, TeIntersectionList* list,
                                   int use_b, const int32_t* map_b) {
    int ok = 1;
    auto remap = [&](int32_t& index, const int32_t* map) {
        if (index < 0) {
            ok = 0;
            return;
        }
        index = map[index];
        if (index < 0) ok = 0;
    };
    for (int32_t i = 0; i < list->count; ++i) {
        if (use_a == 1) remap(list->items[i].index_a, map_a);
        if (use_b == 1) remap(list->items[i].index_b, map_b);
    }
    return ok;
}

int qd_te_cogo_point_series(const GeoCoord* a, const GeoCoord* b, double spacing, int32_t count,
                            GeoCoord* out, const double* tol) {
    if (count <= 0 || !(std::fabs(spacing) >= qd_te_cogo_tolerance(tol))) return -2;
    double ux, uy;
    if (qd_te_cogo_unit_direction(a, b, &ux, &uy, tol) != -1) return 0;
    for (int32_t k = 0; k < count; ++k) {
        const double d = double(k + 1) * spacing;
        out[k] = {a->x + d * ux, a->y + d * uy, KTGEO_NO_Z};
    }
    return -1;
}

int qd_te_cogo_point_series_max(const GeoCoord* a, const GeoCoord* b, double spacing1,
                                double spacing2, int32_t count, GeoCoord* out,
                                const double* tol) {
    const double t = qd_te_cogo_tolerance(tol);
    if (count <= 0 || !(std::fabs(spacing1) >= t) || !(std::fabs(spacing2) >= t)) return -2;
    return qd_te_cogo_point_series(a, b, std::max(spacing1, spacing2), count, out, tol);
}
