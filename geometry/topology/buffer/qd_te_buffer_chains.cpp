// Buffer chains of curves, arcs, full circles, paths and surfaces: every
// ring (a surface ring, or a line run out and back) is offset into its raw
// outline, split at its crossings, filtered against the ring and given the
// twins that carry the buffer surface.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_encode.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"

namespace {

int32_t chain_count(const TeEncoder* encoder) {
    return encoder->chains ? static_cast<int32_t>(encoder->chains->tally) : 0;
}

double base_tolerance(const TeEncoder* encoder) { return encoder->keys.tolerance.tolerance; }

bool closed_within(const GeoCoord* c, int32_t n, double tol) {
    return n > 2 && qd_te_same_fuzzy_point(&c[0], &c[n - 1], tol);
}

// A negative width replaced by the absolute side widths for one call; the
// rules' widths come back on every return.
struct AbsoluteWidths {
    TeBufferWidth& target;
    TeBufferWidth saved;
    explicit AbsoluteWidths(TeBufferWidth& w) : target(w), saved(w) {
        if (w.width < 0.0) {
            w.width_left = std::fabs(w.width_left);
            w.width_right = std::fabs(w.width_right);
            w.width = std::min(w.width_left, w.width_right);
        }
    }
    ~AbsoluteWidths() { target = saved; }
};

}  // namespace

int qd_te_buffer_chain_ring(int32_t* status, TeEncoder* encoder, const GeoCoord* ring, int32_t n, int32_t kind) {
    if (!status || !encoder || !encoder->rules || !ring) return qd_te_missing("qd_te_buffer_chain_ring");
    const double tol = base_tolerance(encoder);
    if (!closed_within(ring, n, tol)) {
        *status = -2;
        return 1;
    }
    *status = 1;
    const int32_t start = chain_count(encoder);
    const TeBuffer& b = encoder->rules->buffer;
    TeBufferWidth w = b.width;
    if (kind == 1) {
        w.width_left = -w.width_left;
        w.width_right = -w.width_right;
    } else if (kind == 2) {
        w.width_left = std::fabs(w.width_left);
        w.width_right = std::fabs(w.width_right);
    }
    if (kind == 1 || kind == 2) w.width = std::min(w.width_left, w.width_right);
    std::vector<GeoCoord> r(ring, ring + n);
    r.back() = r.front();
    if (!qd_te_cogo_ring_clockwise(r.data(), n)) std::reverse(r.begin(), r.end());
    if (!qd_te_buffer_chain_settings(encoder, kind, w.width)) return 0;
    GeoCoord* outline = nullptr;
    int32_t count = 0;
    if (qd_te_buffer_polygon(r.data(), n, &w, b.arc_segments, &outline, &count, tol, status) != 1) return 0;
    int ok = 1;
    if (*status == 1 && count > 3) {
        // Encoding the pieces merges their envelopes into the data extent.
        ok = qd_te_encode_chain_path_cross(encoder, count, outline, status) == 1 &&
             qd_te_buffer_chain_filter(encoder->chains, start, r.data(), n, &w) == 1 &&
             qd_te_buffer_chain_cutter(start, encoder, kind) == 1;
    }
    qd_free(outline);
    return ok;
}

int qd_te_buffer_chain_poly(int32_t n, TeEncoder* encoder, const GeoCoord* coords, int32_t kind, int32_t* status) {
    if (!encoder || !coords || !status) return qd_te_missing("qd_te_buffer_chain_poly");
    if (n < 2) {
        *status = -2;
        return 1;
    }
    if (closed_within(coords, n, base_tolerance(encoder)) && encoder->ring_kind != 2)
        return qd_te_buffer_chain_ring(status, encoder, coords, n, kind);
    // Out along the line and back: 2n - 1 points closing on the first.
    std::vector<GeoCoord> ring(coords, coords + n);
    for (int32_t i = n - 2; i >= 0; --i) ring.push_back(coords[i]);
    return qd_te_buffer_chain_ring(status, encoder, ring.data(), static_cast<int32_t>(ring.size()), 2);
}

int qd_te_buffer_chain_cross_ring(const GeoCoord* coords, TeEncoder* encoder, int32_t n, int32_t kind,
                                  int32_t* status) {
    if (!coords || !encoder || !status) return qd_te_missing("qd_te_buffer_chain_cross_ring");
    // Repeated points would give offset segments of no length.
    std::vector<GeoCoord> c;
    const double gap = std::max(encoder->keys.tolerance.distance_filter, 1e-8);
    for (int32_t i = 0; i < n; ++i) {
        if (c.empty() || qd_te_cogo_distance_2d(&c.back(), &coords[i]) >= gap) c.push_back(coords[i]);
        else if (i == n - 1 && c.size() > 1) c.back() = coords[i];  // the last point holds its place
    }
    const int32_t m = static_cast<int32_t>(c.size());
    if (m == 1 || (m == 2 && qd_te_same_fuzzy_point(&c[0], &c[1], base_tolerance(encoder))))
        return qd_te_buffer_chain_node(encoder, &c[0], status);
    if (m == 2) return qd_te_buffer_chain_poly(m, encoder, c.data(), kind, status);
    *status = 1;
    encoder->ring_kind = kind;
    encoder->parent_side = kind == 1 ? 1 : 0;
    // A line crossing itself is buffered once, as its whole doubled-back
    // band: the outline's own split and filter remove what falls inside.
    const int32_t saved = encoder->cross_side;
    encoder->cross_side = 4;
    const int ok = qd_te_buffer_chain_poly(m, encoder, c.data(), kind, status);
    encoder->cross_side = saved;
    return ok;
}

int qd_te_buffer_chain_circle(const GeoCoord* centre, double radius, int32_t* status, TeEncoder* encoder) {
    if (!centre || !status || !encoder || !encoder->rules) return qd_te_missing("qd_te_buffer_chain_circle");
    const TeBufferWidth& w = encoder->rules->buffer.width;
    if (!qd_te_buffer_chain_settings(encoder, 0, std::fabs(w.width))) return 0;
    if (qd_te_buffer_chain_circle_expend(centre, encoder, radius, 1, status) != 1) return 0;
    const double reach =
        w.two_sided == 1 ? std::max(std::fabs(w.width_left), std::fabs(w.width_right)) : std::fabs(w.width);
    if (*status != 1 || !(std::fabs(radius) > reach)) return 1;
    if (!qd_te_buffer_chain_settings(encoder, 1, std::fabs(w.width))) return 0;
    const int32_t start = chain_count(encoder);
    if (qd_te_buffer_chain_circle_expend(centre, encoder, radius, -1, status) != 1) return 0;
    return qd_te_buffer_chain_cutter(start, encoder, 1);
}

int qd_te_buffer_chain_arc(const GeoCoord* coords, TeEncoder* encoder, int32_t n, int32_t* status) {
    if (!coords || !encoder || !encoder->rules || !status) return qd_te_missing("qd_te_buffer_chain_arc");
    if (n < 3) {
        *status = -2;
        return 1;
    }
    const TeBuffer& b = encoder->rules->buffer;
    if (!qd_te_buffer_chain_settings(encoder, 0, std::fabs(b.width.width))) return 0;
    GeoCoord centre{};
    double radius = 0.0;
    if (qd_cogo_circle_centre(&coords[0], &coords[1], &coords[2], &centre, &radius) != 1) {
        *status = -1;
        return 1;
    }
    *status = 1;
    const double r = std::fabs(radius);
    nlst* arc = qd_te_cogo_stroke_ellipse_arc(&centre, &coords[0], &coords[2], &coords[1], r, r,
                                              static_cast<uint32_t>(b.arc_segments), b.width.width_option, nullptr);
    if (!arc || arc->tally < 2) {
        if (arc) nlst_free(arc);
        *status = -1;
        return 1;
    }
    const int ok = qd_te_buffer_chain_cross_ring(static_cast<const GeoCoord*>(arc->data), encoder,
                                                 static_cast<int32_t>(arc->tally), 2, status);
    nlst_free(arc);
    return ok;
}

int qd_te_buffer_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* encoder) {
    if (!status || !curve || !encoder || !encoder->rules) return qd_te_missing("qd_te_buffer_chains_from_linear");
    TeBuffer& b = encoder->rules->buffer;
    if (curve->invalid || (b.buffer_option == 0 && b.width.width < 0.0)) {
        *status = -1;
        return 1;
    }
    std::vector<GeoCoord> c;
    const nlst* list = nullptr;
    switch (curve->curve_type) {
    case KTGEO_POLYLINE:
    case KTGEO_CIRCULAR_ARC: list = curve->coords; break;
    case KTGEO_BEZIER:
    case KTGEO_KT_CURVE:
        if (ktgeo_curve(curve) != 1) {
            *status = -2;
            return 1;
        }
        list = curve->stroked;
        break;
    default: *status = -1; return 1;
    }
    if (!list || list->tally == 0) {
        *status = -2;
        return 1;
    }
    const auto* p = static_cast<const GeoCoord*>(list->data);
    c.assign(p, p + list->tally);
    if (curve->curve_type <= KTGEO_CIRCULAR_ARC && curve->direction == KTGEO_DIR_REVERSE)
        std::reverse(c.begin(), c.end());
    AbsoluteWidths widths(b.width);
    const int32_t n = static_cast<int32_t>(c.size());
    if (curve->curve_type == KTGEO_CIRCULAR_ARC) {
        if (curve->closed && n >= 2)
            return qd_te_buffer_chain_circle(&c[1], qd_te_cogo_distance_2d(&c[0], &c[1]), status, encoder);
        return qd_te_buffer_chain_arc(c.data(), encoder, n, status);
    }
    return qd_te_buffer_chain_cross_ring(c.data(), encoder, n, 2, status);
}

int qd_te_buffer_chains_from_path(int32_t* status, GeoPath* path, TeEncoder* encoder, int32_t kind) {
    if (!status || !path || !encoder) return qd_te_missing("qd_te_buffer_chains_from_path");
    if (ktgeo_path_expand(path) != 1 || !path->connected || !path->expanded || path->expanded->tally == 0) {
        *status = -2;
        return 1;
    }
    const auto* p = static_cast<const GeoCoord*>(path->expanded->data);
    const std::vector<GeoCoord> c(p, p + path->expanded->tally);
    return qd_te_buffer_chain_cross_ring(c.data(), encoder, static_cast<int32_t>(c.size()), kind, status);
}

int qd_te_buffer_chains_from_surface(int32_t* status, TeEncoder* encoder, GeoPolygon* polygon) {
    if (!status || !encoder || !encoder->rules || !polygon) return qd_te_missing("qd_te_buffer_chains_from_surface");
    TeStatistics& s = encoder->rules->statistics;
    ++s.input_counters.count[polygon->valid ? 9 : 10];
    if (qd_te_buffer_chains_from_path(status, &polygon->exterior, encoder, 0) != 1) return 0;
    if (!polygon->interiors) return 1;
    for (uint32_t i = 0; i < polygon->interiors->tally && *status == 1; ++i) {
        encoder->feature_id = ++s.tallies[1];
        encoder->cross_side = 4;
        int32_t hole = 1;  // each hole has a status of its own
        if (qd_te_buffer_chains_from_path(&hole, static_cast<GeoPath*>(polygon->interiors->data) + i, encoder, 1) != 1)
            return 0;
    }
    return 1;
}
