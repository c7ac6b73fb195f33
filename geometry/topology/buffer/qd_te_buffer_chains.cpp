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
#include "geometry/topology/qd_te_views.h"

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

void merge_extent(TeStatistics& s, const GeoCoord* pts, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        s.data_extent[0] = std::min(s.data_extent[0], pts[i].x);
        s.data_extent[1] = std::min(s.data_extent[1], pts[i].y);
        s.data_extent[3] = std::max(s.data_extent[3], pts[i].x);
        s.data_extent[4] = std::max(s.data_extent[4], pts[i].y);
    }
}

void delete_piece(TeChain* piece) {
    piece->discard = CHAIN_DELETE;
    qd_te_geo_chain_release(piece);
}

// The points of a piece's polyline view; false when the view fails.
bool piece_points(TeChain* piece, std::vector<GeoCoord>* pts, bool* failed) {
    TePathView view{};
    int32_t skip = 0;
    *failed = qd_te_form_polyline(piece, &view, 1, &skip) != 1;
    if (!*failed && !skip && view.array.pts) pts->assign(view.array.pts, view.array.pts + view.array.n);
    qd_free(view.array.pts);
    return !*failed && !pts->empty();
}

// The pieces of a surface ring that crossed itself, rows start.. of the
// list, after spike parity, each buffered by its own kind: for an exterior
// ring a piece with left parents (a loop inside a loop) is a hole, for a
// hole a piece without right parents stays a hole; an open (spike) piece is
// doubled back into a band.
int buffer_cross_pieces(TeEncoder* encoder, int32_t start, int32_t kind, int32_t* status) {
    const int32_t end = chain_count(encoder);
    if (qd_te_buffer_chain_cross_spikes(encoder, start, end, kind) != 1) return 0;
    for (int32_t row = start; row < end && *status == 1; ++row) {
        encoder->ring_kind = kind;
        encoder->parent_side = kind;
        TeChain* piece = qd_te_chain_at(encoder->chains, row);
        if (piece->discard != CHAIN_OK) continue;
        std::vector<GeoCoord> pts;
        bool failed = false;
        if (!piece_points(piece, &pts, &failed)) {
            if (failed) return 0;
            delete_piece(piece);
            continue;
        }
        const bool left = piece->left_parent && piece->left_parent->tally > 0;
        const bool right = piece->right_parent && piece->right_parent->tally > 0;
        const int32_t t = kind == 0 ? (left ? 1 : 0) : (right ? 0 : 1);
        delete_piece(piece);
        if (qd_te_buffer_chain_poly(static_cast<int32_t>(pts.size()), encoder, pts.data(), t, status) != 1) return 0;
    }
    return 1;
}

// The outlines of both sides of a closed line, each offset round the line
// as a ring with its own joins (no caps at the closing point).
struct ClosedLineSides {
    GeoCoord* left = nullptr;
    GeoCoord* right = nullptr;
    int32_t left_count = 0, right_count = 0;
    ClosedLineSides() = default;
    ClosedLineSides(const ClosedLineSides&) = delete;
    ClosedLineSides& operator=(const ClosedLineSides&) = delete;
    ~ClosedLineSides() {
        qd_free(left);
        qd_free(right);
    }
};

}  // namespace

namespace {

// Does the zone bounded by the traced rings (clockwise outer rings,
// counter-clockwise holes) hold every point of the line? A point of the
// zone lies inside one more clockwise ring than counter-clockwise ones.
bool covers_line(const std::vector<GeoCoord>& line, const nlst* points, const nlst* sizes) {
    const auto* p = static_cast<const GeoCoord*>(points->data);
    const auto* m = static_cast<const int32_t*>(sizes->data);
    for (const GeoCoord& q : line) {
        int32_t winding = 0;
        for (uint32_t i = 0, at = 0; i < sizes->tally; at += uint32_t(m[i]), ++i)
            for (int32_t k = 0; k + 1 < m[i]; ++k) {
                const GeoCoord& a = p[at + uint32_t(k)];
                const GeoCoord& b = p[at + uint32_t(k) + 1];
                const double side = (b.x - a.x) * (q.y - a.y) - (q.x - a.x) * (b.y - a.y);
                if (a.y <= q.y && b.y > q.y && side > 0) ++winding;
                else if (a.y > q.y && b.y <= q.y && side < 0) --winding;
            }
        if (winding != -1) return false;
    }
    return true;
}

// Encodes the outline of a ring grown outward. Where the outline crosses
// itself, the split's loops can each mix stretches of the zone's boundary
// with stretches inside it, and a loop cleared of its inner points closes
// by a chord that cuts a wedge out of the zone (or covers a piece outside
// it). The outline is therefore traced to the boundary first and its rings
// are encoded one by one: a clockwise ring as the outline's loop would be,
// a counter-clockwise ring (a hole) as the split leaves such a loop,
// reversed with the parents on its other side. An outline that does not trace
// is encoded whole, as before. The sides of a closed line (sides, when
// given) are traced in its place.
int encode_traced_outline(TeEncoder* encoder, const std::vector<GeoCoord>& r, const TeBufferWidth& w,
                          GeoCoord* outline, int32_t count, const ClosedLineSides* sides, double tol,
                          int32_t* status) {
    nlst* points = nullptr;
    nlst* sizes = nullptr;
    int32_t traced = 0;
    const int traced_ok =
        sides ? qd_te_buffer_trace_outlines(r.data(), int32_t(r.size()), &w, sides->left, sides->left_count,
                                            sides->right, sides->right_count, tol, &points, &sizes, &traced)
              : qd_te_buffer_trace_outline(r.data(), int32_t(r.size()), &w, outline, count, tol, &points, &sizes,
                                           &traced);
    if (traced_ok != 1) return 0;
    if (sides && (!traced || !covers_line(r, points, sizes))) {
        // Sides that do not link up, or a side whose offset starts with a
        // spike inside the zone (a sharp turn at the closing point beside a
        // wide buffer), which the trace drops whole: the doubled outline is
        // traced instead.
        if (points) nlst_free(points);
        if (sizes) nlst_free(sizes);
        points = sizes = nullptr;
        if (qd_te_buffer_trace_outline(r.data(), int32_t(r.size()), &w, outline, count, tol, &points, &sizes,
                                       &traced) != 1)
            return 0;
    }
    if (!traced) return qd_te_encode_chain_path_cross_switched(encoder, count, outline, 1, encoder->cross_side, status);
    const auto* p = static_cast<const GeoCoord*>(points->data);
    const auto* m = static_cast<const int32_t*>(sizes->data);
    const int32_t side = encoder->parent_side;
    int ok = 1;
    int32_t failed = 1, encoded = 0;  // a degenerate ring is passed over unless every ring is
    for (uint32_t i = 0, at = 0; ok && i < sizes->tally; at += uint32_t(m[i]), ++i) {
        std::vector<GeoCoord> loop(p + at, p + at + m[i]);
        const bool hole = !qd_te_cogo_ring_clockwise(loop.data(), m[i]);
        if (hole) std::reverse(loop.begin(), loop.end());
        encoder->parent_side = !hole ? side : side == 0 ? 1 : side == 1 ? 0 : side;
        int32_t ring_status = 1;
        ok = qd_te_encode_chain_path_cross_switched(encoder, m[i], loop.data(), 1, encoder->cross_side,
                                                    &ring_status);
        if (ring_status == 1) ++encoded;
        else failed = ring_status;
    }
    if (ok && encoded == 0) *status = failed;
    encoder->parent_side = side;
    nlst_free(points);
    nlst_free(sizes);
    return ok;
}

// Is the ring (n points) a closed line run out and back: odd, its middle
// point its first and each point the mirror of its counterpart?
bool doubled_closed_line(const std::vector<GeoCoord>& r, double tol) {
    const size_t n = r.size();
    if (n < 7 || n % 2 == 0 || !qd_te_same_fuzzy_point(&r[0], &r[n / 2], tol)) return false;
    for (size_t i = 0; i < n / 2; ++i)
        if (!qd_te_same_fuzzy_point(&r[i], &r[n - 1 - i], tol)) return false;
    return true;
}

}  // namespace

int qd_te_buffer_ring_prefilter(double distance, double bend, GeoCoord* coords, int32_t* n) {
    if (!coords || !n) return 1;
    return qd_te_geo_dist_filter_crd(coords, n, std::max(distance, 1e-10), 1) == 1 &&
           qd_te_geo_bend_filter_crd(coords, n, bend, 1) == 1;
}

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
        merge_extent(encoder->rules->statistics, outline, count);
        // A ring grown outward (a line's band, an exterior ring with a width
        // of 0 or more) can enclose holes: they are the outline's loops that
        // run counter-clockwise. The split keeps them, reversed, with the
        // parents on their left, where the buffer lies.
        const bool outward = kind == 2 || (kind == 0 && w.width >= 0.0);
        const int32_t orientation = outward ? 1 : encoder->parent_side;
        // A closed line run out and back turns at its closing point twice:
        // two caps there that share part of one circle, stroked from
        // different starts, so that their chords cross at every step and
        // the trace cannot tell one stretch of the boundary from the other.
        // Its two sides are offset round as rings instead and traced
        // together; the doubled outline stays for a side that cannot be made.
        ClosedLineSides sides;
        bool closed_line = false;
        if (kind == 2 && doubled_closed_line(r, tol)) {
            std::vector<GeoCoord> line(r.begin(), r.begin() + n / 2 + 1);
            int32_t left = 1, right = 1;
            if (qd_te_buffer_polygon(line.data(), int32_t(line.size()), &w, b.arc_segments, &sides.left,
                                     &sides.left_count, tol, &left) != 1)
                ok = 0;
            std::reverse(line.begin(), line.end());
            if (ok && qd_te_buffer_polygon(line.data(), int32_t(line.size()), &w, b.arc_segments, &sides.right,
                                           &sides.right_count, tol, &right) != 1)
                ok = 0;
            closed_line = ok && left == 1 && right == 1 && sides.left_count > 3 && sides.right_count > 3;
        }
        ok = ok && (outward ? encode_traced_outline(encoder, r, w, outline, count, closed_line ? &sides : nullptr,
                                                    tol, status)
                      : qd_te_encode_chain_path_cross_switched(encoder, count, outline, orientation,
                                                               encoder->cross_side, status)) == 1 &&
             qd_te_buffer_chain_filter_outline(encoder->chains, start, r.data(), n, &w, outline, count) == 1 &&
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
    if (!coords || !encoder || !encoder->rules || !status) return qd_te_missing("qd_te_buffer_chain_cross_ring");
    std::vector<GeoCoord> c(coords, coords + std::max(n, 0));
    int32_t m = static_cast<int32_t>(c.size());
    const TeTolerance& filters = encoder->keys.tolerance;
    if (qd_te_buffer_ring_prefilter(std::max(filters.distance_filter, 1e-8), std::max(filters.bend_filter, 1e-8),
                                    c.data(), &m) != 1)
        return 0;
    const double tol = base_tolerance(encoder);
    if (m < 1) {
        *status = -2;
        return 1;
    }
    if (m == 1 || (m == 2 && qd_te_same_fuzzy_point(&c[0], &c[1], tol)))
        return qd_te_buffer_chain_node(encoder, &c[0], status);
    if (m == 2) return qd_te_buffer_chain_poly(m, encoder, c.data(), kind, status);
    *status = 1;
    encoder->ring_kind = kind == 1 ? 1 : kind == 2 ? 2 : 0;
    encoder->parent_side = kind == 1 ? 1 : 0;
    // Only a surface ring grown by a width of 0 or more is split where it
    // crosses itself. A line is offset whole: its one doubled-back band
    // covers each of its loops once and keeps their holes, where the bands
    // of its pieces, assembled together, could fill a hole that another
    // piece's band crosses. A ring shrunk by a negative width is offset
    // whole too: its one outline cuts the band of a spike out of the
    // surface, which pieces buffered one by one cannot do.
    bool crosses = false;
    if (encoder->rules->input_option_1 == 1 && kind != 2 && encoder->rules->buffer.width.width >= 0.0) {
        const TeCoordArray array = {c.data(), m};
        crosses = qd_te_cogo_self_intersections(&array, nullptr, 1, &tol) == 1;
    }
    const int32_t saved = encoder->cross_side;
    encoder->cross_side = 4;
    int ok;
    if (!crosses) {
        ok = qd_te_buffer_chain_poly(m, encoder, c.data(), kind, status);
    } else {
        // Split where the array crosses itself (nested loops alternate their
        // parent sides).
        const int32_t start = chain_count(encoder);
        ok = qd_te_encode_chain_path_cross(encoder, m, c.data(), status);
        if (ok && *status == 1) ok = buffer_cross_pieces(encoder, start, kind, status);
    }
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
