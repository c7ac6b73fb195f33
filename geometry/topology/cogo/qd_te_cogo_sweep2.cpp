// Intersections between two straight-line coordinate arrays, and between a
// segment or an infinite line and a polyline: the sorted sweep restricted
// to pairs from different arrays. Slot A belongs to the first argument.
#include <cstdlib>

#include "geometry/topology/cogo/qd_te_cogo_internal.h"
#include "geometry/topology/qd_te_cogo.h"

int qd_te_cogo_sweep_two_arrays(const TeBoundedArray* a, const TeBoundedArray* b,
                                TeIntersectionList* list, int touching, int stop_at_first,
                                const double* tol) {
    if (!a || !b || (!stop_at_first && !list)) return -2;
    if (!a->pts || !b->pts) return a->n < 2 || b->n < 2 ? 0 : -2;
    if (!te_cogo::finite_points(a->pts, a->n) || !te_cogo::finite_points(b->pts, b->n)) return -2;
    GeoCoord window[2];
    const GeoCoord ea[2] = {a->env_min, a->env_max}, eb[2] = {b->env_min, b->env_max};
    if (qd_te_cogo_envelope_relation(ea, eb, window) == 8) return 0;
    const int32_t na = a->n > 1 ? a->n - 1 : 0, nb = b->n > 1 ? b->n - 1 : 0;
    te_cogo::SegmentRecords segments;
    te_cogo::FoundList found;
    if (!segments.reserve(na + nb) || !found.open(uint32_t(std::min(a->n, b->n)))) return -3;
    for (int32_t i = 0; i < na; ++i) {
        const TeSegment s = te_cogo::segment_record(a->pts, i, 1);
        if (te_cogo::envelopes_overlap(s, window)) segments.push(s);
    }
    if (segments.count == 0) return 0;
    const int32_t from_a = segments.count;
    for (int32_t i = 0; i < nb; ++i) {
        const TeSegment s = te_cogo::segment_record(b->pts, i, 2);
        if (te_cogo::envelopes_overlap(s, window)) segments.push(s);
    }
    if (segments.count == from_a) return 0;
    segments.sort();
    int result = 0;
    for (int32_t i = 0; i < segments.count; ++i) {
        const TeSegment& q = segments.items[i];
        for (int32_t j = i + 1; j < segments.count; ++j) {
            const TeSegment& h = segments.items[j];
            if (h.tag == q.tag) continue;
            if (h.env_min.x > q.env_max.x) break;
            TeIntersection item = {};
            if (!te_cogo::segments_overlap(q, h) ||
                qd_te_cogo_segment_intersection(q.start, q.end, h.start, h.end, &item.point,
                                                touching, tol, nullptr) != 1)
                continue;
            qd_te_cogo_intersection_positions(&q, &h, &item, tol);
            result = 1;
            if (stop_at_first) return 1;
            if (!found.add(item)) return -3;
        }
    }
    return found.hand_over(result, stop_at_first, list);
}

int qd_te_cogo_segment_polyline_intersections(const GeoCoord* a, const GeoCoord* b,
                                              const TeBoundedArray* poly,
                                              TeIntersectionList* list, int stop_at_first,
                                              const double* tol) {
    if (!poly || !a || !b || (!stop_at_first && !list)) return -2;
    if (poly->n < 2) return 0;
    GeoCoord seg[2] = {*a, *b};
    TeBoundedArray first = {seg, 2, {}, {}};
    qd_te_cogo_envelope(&first.env_min, seg, 2);
    GeoCoord overlap[2];
    const GeoCoord ef[2] = {first.env_min, first.env_max}, ep[2] = {poly->env_min, poly->env_max};
    if (qd_te_cogo_envelope_relation(ef, ep, overlap) == 8) return 0;
    return qd_te_cogo_sweep_two_arrays(&first, poly, list, 1, stop_at_first, tol);
}

int qd_te_cogo_line_polyline_intersections(const GeoCoord* a, const GeoCoord* b,
                                           const TeBoundedArray* poly, TeIntersectionList* list,
                                           int stop_at_first, const double* tol) {
    if (!poly || !a || !b || (!stop_at_first && !list)) return -2;
    if (poly->n < 2) return 0;
    if (!te_cogo::finite_points(poly->pts, poly->n) || !te_cogo::finite_points(a, 1) ||
        !te_cogo::finite_points(b, 1))
        return -2;
    te_cogo::FoundList found;
    if (!found.open(uint32_t(poly->n))) return -3;
    GeoCoord line[2] = {*a, *b};
    const TeSegment first = te_cogo::segment_record(line, 0, 1);
    int result = 0;
    for (int32_t i = 0; i + 1 < poly->n; ++i) {
        const TeSegment s = te_cogo::segment_record(poly->pts, i, 2);
        TeIntersection item = {};
        if (qd_te_cogo_line_segment_intersection(a, b, s.start, s.end, &item.point, tol) != 1)
            continue;
        qd_te_cogo_intersection_positions(&first, &s, &item, tol);
        result = 1;
        if (stop_at_first) return 1;
        if (!found.add(item)) return -3;
    }
    return found.hand_over(result, stop_at_first, list);
}

int qd_te_cogo_segment_tag_order(const TeSegment* a, const TeSegment* b) {
    if (a->tag != b->tag) return a->tag < b->tag ? -1 : 1;
    return std::abs(a->index) - std::abs(b->index);
}
