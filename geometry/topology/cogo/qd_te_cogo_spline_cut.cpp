// Intersections in which one side is a spline under tension: a curve with
// itself, another curve, a segment, a polyline, a circle or an arc. Span
// bands rule out pairs that cannot meet; the others are intersected on
// short straight pieces (30-point strokes, or steps of h/30 along a span).
// Items collect in incremental lists that drop a repeated point with the
// same index pair.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/topology/cogo/qd_te_cogo_internal.h"
#include "geometry/topology/qd_te_cogo.h"

namespace {

constexpr int32_t kListStep = 64;

// Cross value of p against the chord from p0 along c: chord length times
// signed distance, left positive.
double cross_of(const GeoCoord* p0, double cx, double cy, const GeoCoord* p) {
    return cx * (p->y - p0->y) - cy * (p->x - p0->x);
}

double along_of(const GeoCoord* p0, double cx, double cy, double h, const GeoCoord* p) {
    return (cx * (p->x - p0->x) + cy * (p->y - p0->y)) / h;
}

// The chord's x and y ranges widened by r miss [lo, hi].
bool widened_chord_misses(const GeoCoord* p0, const GeoCoord* p1, double r, double lo_x,
                          double hi_x, double lo_y, double hi_y) {
    return std::fmin(p0->x, p1->x) - r > hi_x || std::fmax(p0->x, p1->x) + r < lo_x ||
           std::fmin(p0->y, p1->y) - r > hi_y || std::fmax(p0->y, p1->y) + r < lo_y;
}

// [lo, hi] wholly outside [near, far].
bool outside(double lo, double hi, double near, double far) { return hi < near || lo > far; }

}  // namespace

int qd_te_cogo_intersection_list_init(TeIntersectionList* list) {
    list->count = 0;
    list->capacity = 0;
    list->items = static_cast<TeIntersection*>(qd_alloc(sizeof(TeIntersection) * kListStep));
    if (!list->items) return -3;
    list->capacity = kListStep;
    return -1;
}

namespace {

bool same_item_place(const TeIntersection& x, const TeIntersection& y, double tol) {
    return x.index_a == y.index_a && x.index_b == y.index_b &&
           qd_te_same_fuzzy_point(&x.point, &y.point, tol);
}

// Appends; -1, or -3 with the list as it was. The storage grows by 64
// items, and by half its size (in steps of 64) beyond 1,024 items, so a
// long list is not copied over and over.
int append_item(TeIntersectionList* list, const TeIntersection& item) {
    if (list->count == list->capacity) {
        const int64_t step = std::max<int64_t>(kListStep, list->capacity / 2 / kListStep * kListStep);
        const int64_t grown = int64_t(list->capacity) + (list->capacity >= 1024 ? step : kListStep);
        if (grown > INT32_MAX) return -3;
        auto* items = static_cast<TeIntersection*>(qd_alloc(sizeof(TeIntersection) * size_t(grown)));
        if (!items) return -3;
        if (list->count) std::memcpy(items, list->items, sizeof(TeIntersection) * size_t(list->count));
        qd_free(list->items);
        list->items = items;
        list->capacity = int32_t(grown);
    }
    list->items[list->count++] = item;
    return -1;
}

// With dedupe an item whose point and index pair the list already holds is
// dropped; without, the whole-curve operations append and drop repeats
// once at the end (drop_repeats), with the same outcome.
int add_item(TeIntersectionList* list, const TeIntersection& item, const double* tol, bool dedupe) {
    if (dedupe) {
        const double t = qd_te_cogo_tolerance(tol);
        for (int32_t i = 0; i < list->count; ++i)
            if (same_item_place(list->items[i], item, t)) return -1;
    }
    return append_item(list, item);
}

int add_snapped(TeIntersectionList* list, const GeoCoord* point, int32_t index_a, int32_t index_b,
                double offset_a, double offset_b, const GeoCoord* end_a, const GeoCoord* end_b,
                const double* tol, bool dedupe) {
    const double t = qd_te_cogo_tolerance(tol);
    if (end_a && qd_te_same_fuzzy_point(point, end_a, t)) ++index_a, offset_a = 0.0;
    if (end_b && qd_te_same_fuzzy_point(point, end_b, t)) ++index_b, offset_b = 0.0;
    return add_item(list, {*point, index_a, index_b, offset_a, offset_b}, tol, dedupe);
}

// Drops every item whose index pair and point an earlier kept item holds,
// as adding one by one would; items are compared within their index pair
// only. false when the working storage cannot be had.
bool drop_repeats(TeIntersectionList* list, const double* tol) {
    const int32_t k = list->count;
    if (k < 2) return true;
    auto* work = static_cast<int32_t*>(qd_alloc(sizeof(int32_t) * 2 * size_t(k)));
    if (!work) return false;
    int32_t *order = work, *keep = work + k;
    for (int32_t i = 0; i < k; ++i) order[i] = i, keep[i] = 1;
    const TeIntersection* items = list->items;
    std::sort(order, order + k, [items](int32_t x, int32_t y) {
        if (items[x].index_a != items[y].index_a) return items[x].index_a < items[y].index_a;
        if (items[x].index_b != items[y].index_b) return items[x].index_b < items[y].index_b;
        return x < y;
    });
    const double t = qd_te_cogo_tolerance(tol);
    for (int32_t g = 0; g < k;) {
        int32_t end = g + 1;
        while (end < k && items[order[end]].index_a == items[order[g]].index_a &&
               items[order[end]].index_b == items[order[g]].index_b)
            ++end;
        for (int32_t p = g + 1; p < end; ++p)
            for (int32_t q = g; q < p && keep[order[p]]; ++q)
                if (keep[order[q]] && same_item_place(items[order[q]], items[order[p]], t))
                    keep[order[p]] = 0;
        g = end;
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < k; ++i)
        if (keep[i]) list->items[kept++] = list->items[i];
    list->count = kept;
    qd_free(work);
    return true;
}

}  // namespace

int qd_te_cogo_intersection_list_add(int32_t index_a, int32_t index_b, double offset_a,
                                     double offset_b, const double* tol,
                                     TeIntersectionList* list, const GeoCoord* point) {
    return add_item(list, {*point, index_a, index_b, offset_a, offset_b}, tol, true);
}

int qd_te_cogo_intersection_list_add_snapped(TeIntersectionList* list, const GeoCoord* point,
                                             int32_t index_a, int32_t index_b, double offset_a,
                                             double offset_b, const GeoCoord* end_a,
                                             const GeoCoord* end_b, const double* tol) {
    return add_snapped(list, point, index_a, index_b, offset_a, offset_b, end_a, end_b, tol, true);
}

int qd_te_cogo_span_band_overlap(const GeoCoord* a0, const GeoCoord* a1, const GeoCoord* b0,
                                 const GeoCoord* b1, double ha, double hb,
                                 const TeSplineBand* band_a, const TeSplineBand* band_b,
                                 const double* tol) {
    (void)tol;
    if (a1 != b0) {
        const double r = band_b->radius;
        if (widened_chord_misses(a0, a1, band_a->radius, std::fmin(b0->x, b1->x) - r,
                                 std::fmax(b0->x, b1->x) + r, std::fmin(b0->y, b1->y) - r,
                                 std::fmax(b0->y, b1->y) + r))
            return 0;
    } else {
        const bool mono_x = (a0->x <= a1->x && a1->x <= b1->x) || (a0->x >= a1->x && a1->x >= b1->x);
        const bool mono_y = (a0->y <= a1->y && a1->y <= b1->y) || (a0->y >= a1->y && a1->y >= b1->y);
        if (mono_x && mono_y) return 0;
    }
    const double ax = a1->x - a0->x, ay = a1->y - a0->y;
    const double bx = b1->x - b0->x, by = b1->y - b0->y;
    const double d = ax * by - ay * bx;
    double lo_a, hi_a, lo_b, hi_b;
    if (!(std::fabs(d) >= 1e-16)) {
        // Parallel chords: the chords' own extents along each other.
        const double p = along_of(a0, ax, ay, ha, b0), q = along_of(a0, ax, ay, ha, b1);
        const double u = along_of(b0, bx, by, hb, a0), v = along_of(b0, bx, by, hb, a1);
        lo_a = std::fmin(p, q), hi_a = std::fmax(p, q);
        lo_b = std::fmin(u, v), hi_b = std::fmax(u, v);
    } else {
        // Corners of the parallelogram cut by the two strips.
        lo_a = lo_b = INFINITY;
        hi_a = hi_b = -INFINITY;
        for (double va : {band_a->left, band_a->right}) {
            for (double vb : {band_b->left, band_b->right}) {
                const double ka = va + ax * a0->y - ay * a0->x;
                const double kb = vb + bx * b0->y - by * b0->x;
                const GeoCoord c = {(ka * bx - ax * kb) / d, (-ay * kb + by * ka) / d, 0.0};
                const double pa = along_of(a0, ax, ay, ha, &c), pb = along_of(b0, bx, by, hb, &c);
                lo_a = std::fmin(lo_a, pa), hi_a = std::fmax(hi_a, pa);
                lo_b = std::fmin(lo_b, pb), hi_b = std::fmax(hi_b, pb);
            }
        }
    }
    if (outside(lo_a, hi_a, band_a->near, band_a->far) ||
        outside(lo_b, hi_b, band_b->near, band_b->far))
        return 0;
    return 1;
}

int qd_te_cogo_segment_band_overlap(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p0,
                                    const GeoCoord* p1, double h, const TeSplineBand* band) {
    if (widened_chord_misses(p0, p1, band->radius, std::fmin(a->x, b->x), std::fmax(a->x, b->x),
                             std::fmin(a->y, b->y), std::fmax(a->y, b->y)))
        return 0;
    const double cx = p1->x - p0->x, cy = p1->y - p0->y;
    const double ca = cross_of(p0, cx, cy, a), cb = cross_of(p0, cx, cy, b);
    if ((ca > band->left && cb > band->left) || (ca < band->right && cb < band->right)) return 0;
    const double sx = b->x - a->x, sy = b->y - a->y;
    double t1 = 0.0, t2 = 1.0;
    if (std::fabs(sx * cy - sy * cx) >= 1e-16) {
        auto limit = [](double t) { return std::fmin(std::fmax(t, -1e-16), 1.0); };
        t1 = limit((band->left - ca) / (cb - ca));
        t2 = limit((band->right - ca) / (cb - ca));
    }
    const GeoCoord q1 = {a->x + t1 * sx, a->y + t1 * sy, 0.0}, q2 = {a->x + t2 * sx, a->y + t2 * sy, 0.0};
    const double u1 = along_of(p0, cx, cy, h, &q1), u2 = along_of(p0, cx, cy, h, &q2);
    if ((u1 < band->near && u2 < band->near) || (u1 > band->far && u2 > band->far)) return 0;
    return 1;
}

int qd_te_cogo_circle_band_overlap(const TeCircle* circle, const GeoCoord* p0,
                                   const GeoCoord* p1, double r, double h,
                                   const TeSplineBand* band) {
    const GeoCoord& c = circle->centre;
    if (widened_chord_misses(p0, p1, band->radius, c.x - r, c.x + r, c.y - r, c.y + r)) return 0;
    const double cx = p1->x - p0->x, cy = p1->y - p0->y;
    const double oc = cross_of(p0, cx, cy, &c);
    double o = oc;
    if (o > 0.0) {
        if (o > r * h + band->left) return 0;
        o = std::fmin(o, band->left);
    } else if (o < 0.0) {
        if (o < band->right - r * h) return 0;
        o = std::fmax(o, band->right);
    } else {
        o = r * h;
    }
    const double w = std::fabs(oc - o) / h;
    const double e = r * r - w * w;
    if (e <= 1e-16) return 1;
    const double f = along_of(p0, cx, cy, h, &c), g = std::sqrt(e);
    return outside(f - g, f + g, band->near, band->far) ? 0 : 1;
}

void qd_te_cogo_stroke_narrow(const GeoCoord** start, const GeoCoord** end, double* left,
                              double* right, double* length, const GeoCoord* other_start,
                              const GeoCoord* other_end, double other_left, double other_right) {
    const GeoCoord *first = *start, *last = *end;
    if (last - first < 2 || other_end - other_start < 2) return;
    const double cx = other_end->x - other_start->x, cy = other_end->y - other_start->y;
    const double lo = other_right - 1e-8, hi = other_left + 1e-8;
    auto dropped = [&](const GeoCoord* p) {
        const double c0 = cross_of(other_start, cx, cy, p), c1 = cross_of(other_start, cx, cy, p + 1);
        return (c0 > hi && c1 > hi) || (c0 < lo && c1 < lo);
    };
    while (first < last && dropped(first)) {
        *length += qd_te_cogo_distance_2d(first, first + 1);
        ++first;
    }
    while (last > first && dropped(last - 1)) --last;
    *left = *right = 0.0;
    if (first == last) {
        *start = first + 1;
        *end = first;
        return;
    }
    const double nx = last->x - first->x, ny = last->y - first->y;
    for (const GeoCoord* p = first + 1; p < last; ++p) {
        const double c = cross_of(first, nx, ny, p);
        if (c > *left) *left = c;
        if (c < *right) *right = c;
    }
    *start = first;
    *end = last;
}

namespace {

int stroke_cut(const GeoCoord* a_start, const GeoCoord* a_end, const GeoCoord* b_start,
               const GeoCoord* b_end, const TeSplineBand* band_a, const TeSplineBand* band_b,
               int32_t index_a, int32_t index_b, TeIntersectionList* list, int32_t add_a,
               double base_a, int32_t add_b, double base_b, const double* tol, bool dedupe) {
    double length_a = 0.0, length_b = 0.0;
    if (index_a > 0) length_a = base_a, index_a += add_a;
    if (index_b > 0) length_b = base_b, index_b += add_b;
    const GeoCoord *end_a = a_end, *end_b = b_end;
    double la = band_a->left, ra = band_a->right, lb = band_b->left, rb = band_b->right;
    for (int pass = 0; pass < 2; ++pass) {
        qd_te_cogo_stroke_narrow(&a_start, &a_end, &la, &ra, &length_a, b_start, b_end, lb, rb);
        qd_te_cogo_stroke_narrow(&b_start, &b_end, &lb, &rb, &length_b, a_start, a_end, la, ra);
    }
    for (const GeoCoord* p = a_start; p < a_end; ++p) {
        double walked_b = length_b;
        for (const GeoCoord* q = b_start; q < b_end; ++q) {
            GeoCoord x;
            if (qd_te_cogo_segment_intersection(p, p + 1, q, q + 1, &x, 1, tol, nullptr) == 1) {
                const double oa = length_a + qd_te_cogo_distance_2d(p, &x);
                const double ob = walked_b + qd_te_cogo_distance_2d(q, &x);
                if (add_snapped(list, &x, index_a, index_b, oa, ob, end_a, end_b, tol, dedupe) != -1)
                    return 0;
            }
            walked_b += qd_te_cogo_distance_2d(q, q + 1);
        }
        length_a += qd_te_cogo_distance_2d(p, p + 1);
    }
    return 1;
}

}  // namespace

int qd_te_cogo_stroke_intersections(const GeoCoord* a_start, const GeoCoord* a_end,
                                    const GeoCoord* b_start, const GeoCoord* b_end,
                                    const TeSplineBand* band_a, const TeSplineBand* band_b,
                                    int32_t index_a, int32_t index_b, TeIntersectionList* list,
                                    int32_t add_a, double base_a, int32_t add_b, double base_b,
                                    const double* tol) {
    return stroke_cut(a_start, a_end, b_start, b_end, band_a, band_b, index_a, index_b, list,
                      add_a, base_a, add_b, base_b, tol, true);
}

namespace {

// Walks span s0-s1 in steps of h/30; cut(piece start, piece end, walked)
// handles each piece.
template <class Cut>
void walk_span(const GeoCoord* s0, const GeoCoord* s1, const GeoCoord* m, double h, double sigma,
               Cut cut) {
    GeoCoord prev = *s0;
    double walked = 0.0;
    for (int j = 1; double(j) * h / 30.0 < h && j < 30; ++j) {
        const GeoCoord c = qd_te_cogo_spline_point(s0, s1, m, h, sigma, double(j) * h / 30.0);
        cut(prev, c, walked);
        walked += qd_te_cogo_distance_2d(&prev, &c);
        prev = c;
    }
    cut(prev, *s1, walked);
}

// The corrected index and starting length of a position on a curve.
void corrected(int32_t* index, double* start, int32_t add, double base) {
    *start = 0.0;
    if (*index > 0) *index += add, *start = base;
}

int circle_like_span(const TeCircle* circle, const TeArc* arc, const GeoCoord* s0,
                     const GeoCoord* s1, const GeoCoord* m, double h, double sigma,
                     int32_t curve_index, TeIntersectionList* list, int32_t add, double base,
                     const double* tol, bool dedupe = true) {
    double start;
    corrected(&curve_index, &start, add, base);
    int result = 1;
    const double t = qd_te_cogo_tolerance(tol);
    walk_span(s0, s1, m, h, sigma, [&](const GeoCoord& p, const GeoCoord& q, double walked) {
        GeoCoord found[2];
        const int n = arc ? qd_te_cogo_segment_arc_intersection(&p, &q, arc, found, tol)
                          : qd_te_cogo_segment_circle_intersection(&p, &q, circle, found, tol);
        for (int i = 0; i < n; ++i) {
            int32_t ia = curve_index;
            double oa = start + walked + qd_te_cogo_distance_2d(&p, &found[i]);
            if (qd_te_same_fuzzy_point(&found[i], s1, t)) ++ia, oa = 0.0;
            if (add_item(list, {found[i], ia, 0, oa, 0.0}, tol, dedupe) != -1) result = 0;
        }
    });
    return result;
}

}  // namespace

namespace {

int segment_span_cut(const GeoCoord* a, const GeoCoord* b, const GeoCoord* s0, const GeoCoord* s1,
                     const GeoCoord* m, double h, double sigma, int32_t curve_index,
                     int32_t segment_index, TeIntersectionList* list, int32_t add, double base,
                     const double* tol, bool dedupe) {
    double start;
    corrected(&curve_index, &start, add, base);
    int result = 1;
    walk_span(s0, s1, m, h, sigma, [&](const GeoCoord& p, const GeoCoord& q, double walked) {
        GeoCoord x;
        if (qd_te_cogo_segment_intersection(&p, &q, a, b, &x, 1, tol, nullptr) != 1) return;
        if (add_snapped(list, &x, curve_index, segment_index,
                        start + walked + qd_te_cogo_distance_2d(&p, &x),
                        qd_te_cogo_distance_2d(a, &x), s1, b, tol, dedupe) != -1)
            result = 0;
    });
    return result;
}

}  // namespace

int qd_te_cogo_segment_span_intersections(const GeoCoord* a, const GeoCoord* b,
                                          const GeoCoord* s0, const GeoCoord* s1,
                                          const GeoCoord* m, double h, double sigma,
                                          int32_t curve_index, int32_t segment_index,
                                          TeIntersectionList* list, int32_t add, double base,
                                          const double* tol) {
    return segment_span_cut(a, b, s0, s1, m, h, sigma, curve_index, segment_index, list, add,
                            base, tol, true);
}

int qd_te_cogo_circle_span_intersections(const TeCircle* circle, const GeoCoord* s0,
                                         const GeoCoord* s1, const GeoCoord* m, double h,
                                         double sigma, int32_t curve_index,
                                         TeIntersectionList* list, int32_t add, double base,
                                         const double* tol) {
    return circle_like_span(circle, nullptr, s0, s1, m, h, sigma, curve_index, list, add, base,
                            tol);
}

int qd_te_cogo_arc_span_intersections(const TeArc* arc, const GeoCoord* s0, const GeoCoord* s1,
                                      const GeoCoord* m, double h, double sigma,
                                      int32_t curve_index, TeIntersectionList* list,
                                      int32_t add, double base, const double* tol) {
    return circle_like_span(nullptr, arc, s0, s1, m, h, sigma, curve_index, list, add, base, tol);
}

namespace {

// One curve of a whole-curve operation: reduced, and a two-point curve
// with tangents in its three-point form.
struct CurveSide {
    te_cogo::Reduced reduced;
    TeCoordArray three = {nullptr, 0};
    TeCoordArray* curve = nullptr;
    TeSplineWork work = {0.0, nullptr, nullptr, nullptr, nullptr};
    int32_t add = 0;
    double base = 0.0;
    CurveSide() = default;
    CurveSide(const CurveSide&) = delete;
    CurveSide& operator=(const CurveSide&) = delete;
    ~CurveSide() {
        qd_free(three.pts);
        qd_te_cogo_spline_release(&work);
    }
    // -1 ready, -2 refused, -3 out of memory.
    int make(TeCoordArray* in, const double* tol) {
        if (!in || !in->pts || in->n < 0) return -2;
        if (!te_cogo::finite_points(in->pts, in->n) || !std::isfinite(in->start_angle) ||
            !std::isfinite(in->end_angle))
            return -2;
        if (const int made = reduced.make(in, tol); made != -1) return made;
        curve = reduced.curve;
        if (curve->n == 2 && curve->end_condition != 0) {
            const int r = qd_te_cogo_curve_two_to_three(curve, &three, nullptr);
            if (r == -3) return -3;
            if (r != -1) return -2;
            curve = &three;
            add = -1;
            base = qd_te_cogo_distance_2d(&three.pts[0], &three.pts[1]);
        }
        return -1;
    }
    // make, then at least two nodes and a started working list.
    int start(TeCoordArray* in, const double* tol, TeIntersectionList* found) {
        const int r = make(in, tol);
        if (r != -1) return r;
        if (curve->n < 2) return -2;
        return qd_te_cogo_intersection_list_init(found) == -1 ? -1 : -3;
    }
    bool plain_two() const { return curve->n == 2; }
    int setup(const double* tol) { return qd_te_cogo_spline_setup(curve, &work, tol); }
    const int32_t* map() const { return reduced.map; }
};

// The end of every whole-curve operation: 1 with items (positions carried
// back through the duplicate maps) handed to the caller's list, 0 without,
// or the failure; the working list is released unless handed over, and
// the caller's list is touched only on success.
int finish(int result, TeIntersectionList* found, TeIntersectionList* list, const int32_t* map_a,
           const int32_t* map_b, const double* tol) {
    if (result == -1 && !drop_repeats(found, tol)) result = -3;
    if (result == -1 && found->count > 0) {
        if ((map_a || map_b) && qd_te_cogo_remap_intersections(map_a, map_a ? 1 : 0, found,
                                                               map_b ? 1 : 0, map_b) != 1) {
            result = -3;
        } else {
            *list = *found;
            return 1;
        }
    }
    qd_te_cogo_intersection_list_free(found);
    return result == -1 ? 0 : result;
}

// Stroke intersections of span i of a with span j of b; a_last: the last
// point of a's range (28 or 29).
int spans_cut(const CurveSide& a, int32_t i, const CurveSide& b, int32_t j, int a_last,
              int b_last, TeIntersectionList* list, const double* tol) {
    GeoCoord sa[30], sb[30];
    const TeSplineWork &wa = a.work, &wb = b.work;
    const GeoCoord *pa = a.curve->pts, *pb = b.curve->pts;
    qd_te_cogo_spline_stroke_span(&pa[i], &pa[i + 1], &wa.m[i], wa.h[i], wa.sigma, sa);
    qd_te_cogo_spline_stroke_span(&pb[j], &pb[j + 1], &wb.m[j], wb.h[j], wb.sigma, sb);
    return stroke_cut(sa, sa + a_last, sb, sb + b_last, &wa.bands[i], &wb.bands[j], i, j, list,
                      a.add, a.base, b.add, b.base, tol, false);
}

int span_pair_may_meet(const CurveSide& a, int32_t i, const CurveSide& b, int32_t j,
                       const double* tol) {
    const GeoCoord *pa = a.curve->pts, *pb = b.curve->pts;
    return qd_te_cogo_span_band_overlap(&pa[i], &pa[i + 1], &pb[j], &pb[j + 1], a.work.h[i],
                                        b.work.h[j], &a.work.bands[i], &b.work.bands[j], tol);
}

}  // namespace

int qd_te_cogo_curve_self_intersections(TeCoordArray* in, TeIntersectionList* list,
                                        const double* tol) {
    if (!list) return -2;
    TeIntersectionList found = {0, 0, nullptr};
    CurveSide side;
    int r = side.make(in, tol);
    if (r != -1) return r;
    const int32_t n = side.curve->n;
    if (n < 3) return 0;
    if (qd_te_cogo_intersection_list_init(&found) != -1) return -3;
    r = side.setup(tol);
    const bool closed = side.curve->end_condition == 4;
    for (int32_t i = 0; r == -1 && i <= n - 3; ++i) {
        for (int32_t j = i + 1; r == -1 && j <= n - 2; ++j) {
            if (span_pair_may_meet(side, i, side, j, tol) != 1) continue;
            // Spans that share a node leave out the last piece before it.
            const bool next = j == i + 1, closing = closed && i == 0 && j == n - 2;
            if (!spans_cut(side, i, side, j, next ? 28 : 29, closing ? 28 : 29, &found, tol)) r = -3;
        }
    }
    return finish(r, &found, list, side.map(), side.map(), tol);
}

int qd_te_cogo_segment_curve_intersections(TeCoordArray* in, const GeoCoord* a,
                                           const GeoCoord* b, TeIntersectionList* list,
                                           const double* tol) {
    if (!list || !a || !b) return -2;
    TeIntersectionList found = {0, 0, nullptr};
    if (!te_cogo::finite_points(a, 1) || !te_cogo::finite_points(b, 1)) return -2;
    if (qd_te_same_fuzzy_point(a, b, qd_te_cogo_tolerance(tol))) return -2;
    CurveSide side;
    int r = side.start(in, tol, &found);
    if (r != -1) return r;
    const TeCoordArray* curve = side.curve;
    const GeoCoord* p = curve->pts;
    if (curve->n > 2) {
        r = side.setup(tol);
        const TeSplineWork& w = side.work;
        for (int32_t k = 0; r == -1 && k + 1 < curve->n; ++k) {
            if (qd_te_cogo_segment_band_overlap(a, b, &p[k], &p[k + 1], w.h[k], &w.bands[k]) != 1)
                continue;
            if (!segment_span_cut(a, b, &p[k], &p[k + 1], &w.m[k], w.h[k], w.sigma, k, 0,
                                  &found, side.add, side.base, tol, false))
                r = -3;
        }
    } else {
        GeoCoord x;
        if (qd_te_cogo_segment_intersection(a, b, &p[0], &p[1], &x, 1, tol, nullptr) == 1 &&
            qd_te_cogo_intersection_list_add_snapped(&found, &x, 0, 0, qd_te_cogo_distance_2d(&p[0], &x),
                                                     qd_te_cogo_distance_2d(a, &x), &p[1], b,
                                                     tol) != -1)
            r = -3;
    }
    return finish(r, &found, list, side.map(), nullptr, tol);
}

int qd_te_cogo_curve_intersections(TeCoordArray* in_a, TeCoordArray* in_b,
                                   TeIntersectionList* list, const double* tol) {
    if (!list) return -2;
    TeIntersectionList found = {0, 0, nullptr};
    CurveSide a, b;
    int r = a.make(in_a, tol);
    if (r == -1) r = b.make(in_b, tol);
    if (r != -1) return r;
    if (a.curve->n < 2 || b.curve->n < 2) return -2;
    if (b.plain_two() || a.plain_two()) {
        // A plain two-point side is a segment; slot A stays with the first curve.
        const bool swap = !b.plain_two();
        TeCoordArray* curve = swap ? in_b : in_a;
        const CurveSide& seg = swap ? a : b;
        const GeoCoord *s0 = &seg.curve->pts[0], *s1 = &seg.curve->pts[1];
        r = qd_te_cogo_segment_curve_intersections(curve, s0, s1, &found, tol);
        if (r != 1) return r;
        for (int32_t i = 0; i < found.count; ++i) {
            TeIntersection& x = found.items[i];
            if (swap) std::swap(x.index_a, x.index_b), std::swap(x.offset_a, x.offset_b);
            double& offset = swap ? x.offset_a : x.offset_b;
            if (!(swap ? x.index_a : x.index_b)) offset = qd_te_cogo_distance_2d(s0, &x.point);
        }
        return finish(-1, &found, list, swap ? seg.map() : nullptr, swap ? nullptr : seg.map(),
                      tol);
    }
    if (qd_te_cogo_intersection_list_init(&found) != -1) return -3;
    r = a.setup(tol);
    if (r == -1) r = b.setup(tol);
    for (int32_t i = 0; r == -1 && i + 1 < a.curve->n; ++i) {
        for (int32_t j = 0; r == -1 && j + 1 < b.curve->n; ++j) {
            if (span_pair_may_meet(a, i, b, j, tol) != 1) continue;
            if (!spans_cut(a, i, b, j, 29, 29, &found, tol)) r = -3;
        }
    }
    return finish(r, &found, list, a.map(), b.map(), tol);
}

int qd_te_cogo_curve_polyline_intersections(TeCoordArray* in, const TeBoundedArray* poly,
                                            TeIntersectionList* list, const double* tol) {
    if (!list || !poly || !poly->pts) return -2;
    TeIntersectionList found = {0, 0, nullptr};
    if (!te_cogo::finite_points(poly->pts, poly->n)) return -2;
    CurveSide side;
    int r = side.make(in, tol);
    if (r != -1) return r;
    const TeCoordArray* curve = side.curve;
    if (curve->n < 2) return -2;
    const GeoCoord* p = curve->pts;
    if (curve->n == 2) {
        r = qd_te_cogo_segment_polyline_intersections(&p[0], &p[1], poly, &found, 0, nullptr);
        if (r != 1) return r;
        for (int32_t i = 0; i < found.count; ++i) {
            found.items[i].index_a = 0;
            found.items[i].offset_a = qd_cogo_distance_2d(&p[0], &found.items[i].point);
        }
        return finish(-1, &found, list, side.map(), nullptr, tol);
    }
    if (qd_te_cogo_intersection_list_init(&found) != -1) return -3;
    r = side.setup(tol);
    const TeSplineWork& w = side.work;
    for (int32_t k = 0; r == -1 && k + 1 < curve->n; ++k) {
        for (int32_t s = 0; r == -1 && s + 1 < poly->n; ++s) {
            const GeoCoord *a = &poly->pts[s], *b = &poly->pts[s + 1];
            if (qd_te_cogo_segment_band_overlap(a, b, &p[k], &p[k + 1], w.h[k], &w.bands[k]) != 1)
                continue;
            if (!segment_span_cut(a, b, &p[k], &p[k + 1], &w.m[k], w.h[k], w.sigma, k, s,
                                  &found, side.add, side.base, tol, false))
                r = -3;
        }
    }
    return finish(r, &found, list, side.map(), nullptr, tol);
}

namespace {

int circle_like_curve(TeCoordArray* in, const TeCircle* circle, const TeArc* arc,
                      TeIntersectionList* list, const double* tol) {
    if (!list || !circle) return -2;
    TeIntersectionList found = {0, 0, nullptr};
    if (!(circle->radius >= qd_te_cogo_tolerance(tol)) || !std::isfinite(circle->radius) ||
        !te_cogo::finite_points(&circle->centre, 1))
        return -2;
    CurveSide side;
    int r = side.start(in, tol, &found);
    if (r != -1) return r;
    const TeCoordArray* curve = side.curve;
    const GeoCoord* p = curve->pts;
    if (curve->n == 2) {
        GeoCoord cut[2];
        const int n = arc ? qd_te_cogo_segment_arc_intersection(&p[0], &p[1], arc, cut, tol)
                          : qd_te_cogo_segment_circle_intersection(&p[0], &p[1], circle, cut, tol);
        for (int i = 0; r == -1 && i < n; ++i)
            if (qd_te_cogo_intersection_list_add(0, 0, qd_te_cogo_distance_2d(&p[0], &cut[i]), 0.0,
                                                 tol, &found, &cut[i]) != -1)
                r = -3;
        return finish(r, &found, list, side.map(), nullptr, tol);
    }
    r = side.setup(tol);
    const TeSplineWork& w = side.work;
    for (int32_t k = 0; r == -1 && k + 1 < curve->n; ++k) {
        if (qd_te_cogo_circle_band_overlap(circle, &p[k], &p[k + 1], circle->radius, w.h[k],
                                           &w.bands[k]) != 1)
            continue;
        if (!circle_like_span(circle, arc, &p[k], &p[k + 1], &w.m[k], w.h[k], w.sigma, k, &found,
                              side.add, side.base, tol, false))
            r = -3;
    }
    return finish(r, &found, list, side.map(), nullptr, tol);
}

}  // namespace

int qd_te_cogo_circle_curve_intersections(TeCoordArray* curve, const TeCircle* circle,
                                          TeIntersectionList* list, const double* tol) {
    return circle_like_curve(curve, circle, nullptr, list, tol);
}

int qd_te_cogo_arc_curve_intersections(TeCoordArray* curve, const TeArc* arc,
                                       TeIntersectionList* list, const double* tol) {
    if (!arc) return -2;
    const TeCircle circle = {arc->centre, arc->radius};
    return circle_like_curve(curve, &circle, arc, list, tol);
}
