// The raw outline of the buffer zone of one closed clockwise ring: every
// segment moved sideways by the buffer widths, neighbouring offsets joined
// where they meet, convex corners closed by arcs around the vertex and the
// turning points of a doubled-back line closed by caps. Arcs that overrun
// the offsets of nearby segments are cut there, and where the points of two
// consecutive corners cross, the loop between is trimmed away. The outline
// may still cross itself; splitting and the piece filter clean it afterwards.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

namespace {

TeBufferCorner new_corner(int32_t vertex) {
    TeBufferCorner c{};
    c.vertex = vertex;
    c.joined = 1;
    return c;
}

// Gives the corner a copy of n points (replacing its own) and their envelope.
bool set_points(TeBufferCorner* corner, const GeoCoord* pts, int32_t n) {
    GeoCoord* copy = nullptr;
    if (n > 0) {
        copy = static_cast<GeoCoord*>(qd_alloc(size_t(n) * sizeof(GeoCoord)));
        if (!copy) return false;
        std::memcpy(copy, pts, size_t(n) * sizeof(GeoCoord));
    }
    qd_te_buffer_corner_points_free(&corner->points);
    corner->points = copy;
    corner->count = n;
    if (n > 0) qd_te_cogo_envelope(&corner->env_min, copy, n);
    return true;
}

// The last point of a corner: its point, or the last of its run.
GeoCoord end_point(const TeBufferCorner& c) {
    return c.joined == 0 && c.count > 0 ? c.points[c.count - 1] : c.point;
}

bool differ(const GeoCoord& a, const GeoCoord& b) {
    return std::fabs(a.x - b.x) > 1e-10 || std::fabs(a.y - b.y) > 1e-10;
}

// Compares (index, offset) pairs.
int compare_slot(int32_t ia, double oa, int32_t ib, double ob) {
    if (ia != ib) return ia < ib ? -1 : 1;
    if (oa != ob) return oa < ob ? -1 : 1;
    return 0;
}

// An arc of the outline: the ellipse of semi-axes a (x) and b (y) around
// centre; a of 0 stands for no arc.
struct ArcShape {
    GeoCoord centre;
    double a;
    double b;
};

// Where two stroked chords, or a chord and a straight segment, cross, the
// crossing lies up to a chord's sagitta inside the true arc, so nearer to
// the ring than the buffer distance, and the piece filter would remove it.
// These move such a crossing onto the arc: the meeting point of the true
// ellipse with the line, or of the two ellipses, nearest to the crossing
// (none farther than a twentieth of the larger semi-axis is taken).
bool nearest_of(const GeoCoord* found, int k, const ArcShape& frame, const GeoCoord& x, GeoCoord* out) {
    const double reach = 0.05 * std::fmax(frame.a, frame.b);
    bool any = false;
    double best = reach;
    for (int i = 0; i < k; ++i) {
        const GeoCoord p{frame.centre.x + found[i].x * frame.a, frame.centre.y + found[i].y * frame.b, x.z};
        const double d = qd_te_cogo_distance_2d(&p, &x);
        if (d <= best) {
            best = d;
            *out = p;
            any = true;
        }
    }
    return any;
}

GeoCoord unit_frame(const GeoCoord& p, const ArcShape& frame) {
    return {(p.x - frame.centre.x) / frame.a, (p.y - frame.centre.y) / frame.b, KTGEO_NO_Z};
}

void onto_arc_and_line(const ArcShape& arc, const GeoCoord& p0, const GeoCoord& p1, GeoCoord* x) {
    if (!(arc.a > 0.0 && arc.b > 0.0)) return;
    const GeoCoord u0 = unit_frame(p0, arc), u1 = unit_frame(p1, arc);
    const TeCircle unit{{0, 0, KTGEO_NO_Z}, 1.0};
    GeoCoord found[2];
    const int k = qd_te_cogo_line_circle_intersection(&u0, &u1, &unit, found, nullptr);
    if (k > 0) nearest_of(found, k, arc, *x, x);
}

void onto_two_arcs(const ArcShape& one, const ArcShape& two, GeoCoord* x) {
    if (!(one.a > 0.0 && one.b > 0.0) || one.a != two.a || one.b != two.b) return;
    const TeCircle c1{{0, 0, KTGEO_NO_Z}, 1.0};
    const TeCircle c2{unit_frame(two.centre, one), 1.0};
    GeoCoord found[2];
    const int k = qd_te_cogo_circle_intersection(&c1, &c2, found, nullptr);
    if (k == 1 || k == 2) nearest_of(found, k, one, *x, x);
}

ArcShape arc_of(const TeBufferCorner& c, const TeBufferWidth* w) {
    if (!w || c.joined != 0) return {c.point, 0.0, 0.0};
    if (w->two_sided == 1) return {c.point, std::fabs(w->width_left), std::fabs(w->width_right)};
    return {c.point, std::fabs(w->width), std::fabs(w->width)};
}

}  // namespace

int qd_te_intersection_compare_a(const void* a, const void* b) {
    const auto* x = static_cast<const TeIntersection*>(a);
    const auto* y = static_cast<const TeIntersection*>(b);
    return compare_slot(x->index_a, x->offset_a, y->index_a, y->offset_a);
}

int qd_te_intersection_compare_b(const void* a, const void* b) {
    const auto* x = static_cast<const TeIntersection*>(a);
    const auto* y = static_cast<const TeIntersection*>(b);
    return compare_slot(x->index_b, x->offset_b, y->index_b, y->offset_b);
}

void qd_te_buffer_corner_points_free(GeoCoord** points) {
    if (!points || !*points) return;
    qd_free(*points);
    *points = nullptr;
}

void qd_te_buffer_corners_free(nlst* corners) {
    if (!corners) return;
    auto* c = static_cast<TeBufferCorner*>(corners->data);
    for (uint32_t i = 0; i < corners->tally; ++i) qd_te_buffer_corner_points_free(&c[i].points);
    nlst_free(corners);
}

int qd_te_buffer_prepare_arc(const TeBufferWidth* w, int32_t arc_segments, TeBufferCorner* corner,
                             const GeoCoord* three, const GeoCoord* centre, double tolerance) {
    if (!w || !corner || !three || !centre) return qd_te_missing("qd_te_buffer_prepare_arc");
    if (corner->joined) return 1;
    double a, b;
    TeArc3 arc{three[0], three[1], three[2]};
    if (w->two_sided == 1) {
        a = std::fabs(w->width_left);
        b = std::fabs(w->width_right);
    } else {
        int32_t degenerate = 0;
        if (!qd_te_fuzzy_arc_midptn(&arc, &degenerate)) return 0;
        if (degenerate) {
            corner->joined = 1;
            return 1;
        }
        a = b = std::fabs(w->width);
    }
    nlst* stroke = qd_te_cogo_stroke_ellipse_arc(centre, &arc.start, &arc.end, &arc.mid, a, b,
                                                 static_cast<uint32_t>(arc_segments), w->width_option, &tolerance);
    if (!stroke || stroke->tally < 2) {
        if (stroke) nlst_free(stroke);
        corner->joined = 1;
        return 1;
    }
    const bool ok = set_points(corner, static_cast<const GeoCoord*>(stroke->data), int32_t(stroke->tally));
    nlst_free(stroke);
    if (!ok) return qd_te_no_memory();
    corner->point = *centre;
    return 1;
}

int qd_te_buffer_clip_arc(GeoCoord** points, int32_t* count, TeIntersectionList* hits, const GeoCoord* centre,
                          double a, double b, const GeoCoord* start, const GeoCoord* end, int32_t mode) {
    if (!points || !count || !hits || !centre || !start || !end) return qd_te_missing("qd_te_buffer_clip_arc");
    if (hits->count <= 0 || *count < 2) return 1;
    // The arc is slot B of every meeting point.
    std::qsort(hits->items, size_t(hits->count), sizeof(TeIntersection), qd_te_intersection_compare_b);
    std::vector<GeoCoord> kept;
    if (mode == 1) {
        const TeIntersection& x = hits->items[0];
        const int32_t first = std::min(x.index_b, *count - 1);
        kept.assign(*points + first, *points + *count);
        kept.front() = x.point;
        onto_arc_and_line({*centre, a, b}, *start, *end, &kept.front());
    } else {
        const TeIntersection& x = hits->items[hits->count - 1];
        int32_t last = x.index_b + (x.offset_b >= 1e-10 ? 1 : 0);
        last = std::min(last, *count - 1);
        kept.assign(*points, *points + last + 1);
        kept.back() = x.point;
        onto_arc_and_line({*centre, a, b}, *start, *end, &kept.back());
    }
    auto* copy = static_cast<GeoCoord*>(qd_alloc(kept.size() * sizeof(GeoCoord)));
    if (!copy) return qd_te_no_memory();
    std::memcpy(copy, kept.data(), kept.size() * sizeof(GeoCoord));
    qd_te_buffer_corner_points_free(points);
    *points = copy;
    *count = int32_t(kept.size());
    return 1;
}

int qd_te_buffer_clip_arc_by_line(const GeoCoord* end, GeoCoord** points, int32_t* count, const GeoCoord* start,
                                  const GeoCoord* centre, double a, double b, int32_t mode) {
    if (!end || !points || !count || !start || !centre) return qd_te_missing("qd_te_buffer_clip_arc_by_line");
    if (*count <= 1 || !*points) return 1;
    TeBoundedArray arc{*points, *count, {}, {}};
    qd_te_cogo_envelope(&arc.env_min, arc.pts, arc.n);
    TeIntersectionList hits{0, 0, nullptr};
    const int found = qd_te_cogo_segment_polyline_intersections(start, end, &arc, &hits, 0, nullptr);
    if (found == -3) return qd_te_no_memory();
    int ok = 1;
    if (found == 1) ok = qd_te_buffer_clip_arc(points, count, &hits, centre, a, b, start, end, mode);
    qd_te_cogo_intersection_list_free(&hits);
    return ok;
}

int qd_te_buffer_clip_arc_tail(const TeBufferWidth* w, int32_t arc_segments, const GeoCoord* ring, int32_t n,
                               TeBufferCorner* corner) {
    (void)arc_segments;
    if (!w || !ring || !corner) return qd_te_missing("qd_te_buffer_clip_arc_tail");
    if (n < 3 || corner->joined || corner->count <= 0) return 1;
    // Indices wrap over the ring's n - 1 distinct vertices.
    const int32_t distinct = n - 1;
    auto at = [&](int32_t k) { return ring[((k % distinct) + distinct) % distinct]; };
    const int32_t l = corner->vertex;
    const double L = w->width_left, R = w->width_right;
    const ArcShape arc = arc_of(*corner, w);
    // On a ring of two distinct vertices (a line out and back) the segment two
    // steps on is the arc's own incoming offset: the cap is left whole.
    if (distinct < 3) return 1;
    if (w->width < 0.0) {
        const GeoCoord seg[2] = {at(l - 1), at(l - 2)};
        GeoCoord off[2];
        if (qd_te_cogo_ellipse_offset_segment(seg, L, R, 0, 0, off, nullptr) == -1 &&
            !qd_te_buffer_clip_arc_by_line(&off[1], &corner->points, &corner->count, &off[0], &corner->point, arc.a,
                                           arc.b, 1))
            return 0;
    }
    if (corner->count > 0) {
        const GeoCoord seg[2] = {at(l + 1), at(l + 2)};
        GeoCoord off[2];
        if (qd_te_cogo_ellipse_offset_segment(seg, -L, -R, 0, 0, off, nullptr) == -1 &&
            !qd_te_buffer_clip_arc_by_line(&off[1], &corner->points, &corner->count, &off[0], &corner->point, arc.a,
                                           arc.b, 2))
            return 0;
    }
    if (corner->count <= 0) corner->dropped = 1;
    else qd_te_cogo_envelope(&corner->env_min, corner->points, corner->count);
    return 1;
}

int qd_te_buffer_clip_border(TeBufferCorner* corner, const TeBufferCorner* neighbour, int32_t mode,
                             const TeBufferWidth* widths) {
    if (!corner || !neighbour) return qd_te_missing("qd_te_buffer_clip_border");
    if (corner->joined || neighbour->joined != 1 || corner->count <= 1) return 1;
    const ArcShape arc = arc_of(*corner, widths);
    if (!qd_te_buffer_clip_arc_by_line(&neighbour->point, &corner->points, &corner->count, &neighbour->entry,
                                       &corner->point, arc.a, arc.b, mode))
        return 0;
    if (corner->count > 0) qd_te_cogo_envelope(&corner->env_min, corner->points, corner->count);
    return 1;
}

int qd_te_buffer_trim_repack(TeBufferCorner* corner, TeIntersectionList* crossings, const nlst* run) {
    if (!corner || !crossings || !run) return qd_te_missing("qd_te_buffer_trim_repack");
    if (crossings->count <= 0) return 1;
    std::qsort(crossings->items, size_t(crossings->count), sizeof(TeIntersection), qd_te_intersection_compare_a);
    const TeIntersection& x = crossings->items[0];
    const auto* r = static_cast<const GeoCoord*>(run->data);
    const int32_t k = int32_t(run->tally);
    std::vector<GeoCoord> kept(r, r + std::min(x.index_a + 1, k));
    if (x.offset_a > 1e-10) kept.push_back(x.point);
    for (int32_t j = x.index_b + 1; j < k; ++j) kept.push_back(r[j]);
    if (!set_points(corner, kept.data(), int32_t(kept.size()))) return qd_te_no_memory();
    corner->joined = 0;
    return 1;
}

namespace {

// The first crossing of a run of two corners, moved onto the true arcs of
// the segments that cross: run segments inside a corner's arc are its
// chords, the segment between the two corners is straight.
void onto_true_arcs(const TeBufferCorner& corner, const TeBufferCorner& next, const TeBufferWidth* w,
                    const nlst* run, TeIntersection* x) {
    const int32_t n1 = corner.joined ? 1 : corner.count, n2 = next.joined ? 1 : next.count;
    const auto* r = static_cast<const GeoCoord*>(run->data);
    auto arc_at = [&](int32_t k) -> ArcShape {
        if (k < n1 - 1) return arc_of(corner, w);
        if (k >= n1 && k < n1 + n2 - 1) return arc_of(next, w);
        return {r[0], 0.0, 0.0};
    };
    // A crossing at a segment's end belongs to the segment before it.
    const int32_t ka = x->offset_a > 1e-10 || x->index_a == 0 ? x->index_a : x->index_a - 1;
    const int32_t kb = x->offset_b > 1e-10 || x->index_b == 0 ? x->index_b : x->index_b - 1;
    const ArcShape one = arc_at(ka), two = arc_at(kb);
    const bool arc_one = one.a > 0.0, arc_two = two.a > 0.0;
    if (arc_one && arc_two) onto_two_arcs(one, two, &x->point);
    else if (arc_one) onto_arc_and_line(one, r[kb], r[kb + 1], &x->point);
    else if (arc_two) onto_arc_and_line(two, r[ka], r[ka + 1], &x->point);
}

}  // namespace

int qd_te_buffer_trim_border(TeBufferCorner* corner, TeBufferCorner* next, const TeBufferWidth* widths) {
    if (!corner || !next) return qd_te_missing("qd_te_buffer_trim_border");
    for (const TeBufferCorner* c : {corner, next})
        if (c->joined != 0 && c->joined != 1) return qd_te_missing("qd_te_buffer_trim_border");
    nlst* run = nlst_alloc(sizeof(GeoCoord), uint32_t(corner->count + next->count + 2), 8, nullptr);
    if (!run) return qd_te_no_memory();
    bool added = true;
    for (const TeBufferCorner* c : {corner, next}) {
        if (c->joined == 1) added = added && nlst_add(run, &c->point) == 1;
        else if (c->count > 0) added = added && nlst_add_many(run, c->points, uint32_t(c->count)) == 1;
    }
    int ok = added ? 1 : qd_te_no_memory();
    if (ok) {
        TeIntersectionList crossings{0, 0, nullptr};
        const int found = qd_te_cogo_self_intersections_nlst(run, &crossings, 0, nullptr);
        if (found == -3) {
            ok = qd_te_no_memory();
        } else if (found == 1) {
            next->dropped = 1;
            std::qsort(crossings.items, size_t(crossings.count), sizeof(TeIntersection),
                       qd_te_intersection_compare_a);
            onto_true_arcs(*corner, *next, widths, run, &crossings.items[0]);
            ok = qd_te_buffer_trim_repack(corner, &crossings, run);
        }
        qd_te_cogo_intersection_list_free(&crossings);
    }
    nlst_free(run);
    return ok;
}

int qd_te_buffer_clip_corners(int32_t* status, nlst* corners, const TeBufferWidth* w, int32_t arc_segments) {
    (void)arc_segments;
    if (!status || !corners || !w) return qd_te_missing("qd_te_buffer_clip_corners");
    const int32_t count = int32_t(corners->tally);
    if (count <= 2) {
        *status = -1;
        return 1;
    }
    auto* c = static_cast<TeBufferCorner*>(corners->data);
    for (int32_t i = 1; i <= count - 2; ++i) {
        if (c[i].dropped) continue;
        // The corner before in the outline: the nearest one not dropped.
        int32_t p = i - 1;
        while (p > 0 && c[p].dropped) --p;
        c[i].entry = end_point(c[p]);
        c[i + 1].entry = end_point(c[i]);
        if (i >= 2) {
            const bool ok = w->width < 0.0 ? qd_te_buffer_clip_border(&c[i], &c[p], 1, w)
                                           : qd_te_buffer_clip_border(&c[i], &c[i + 1], 2, w);
            if (!ok) return 0;
        }
        if (!qd_te_buffer_trim_border(&c[i], &c[i + 1], w)) return 0;
    }
    return 1;
}

int qd_te_buffer_form_outline(const nlst* corners, GeoCoord** outline, int32_t* count, int32_t* status) {
    if (!corners || !outline || !count || !status) return qd_te_missing("qd_te_buffer_form_outline");
    std::vector<GeoCoord> out;
    const auto* c = static_cast<const TeBufferCorner*>(corners->data);
    for (uint32_t i = 0; i < corners->tally; ++i) {
        if (c[i].dropped) continue;
        if (c[i].joined) out.push_back(c[i].point);
        else if (c[i].count > 0) out.insert(out.end(), c[i].points, c[i].points + c[i].count);
    }
    if (out.size() <= 2) {
        *status = -1;
        return 1;
    }
    if (differ(out.front(), out.back())) out.front() = out.back();
    auto* copy = static_cast<GeoCoord*>(qd_alloc(out.size() * sizeof(GeoCoord)));
    if (!copy) return qd_te_no_memory();
    std::memcpy(copy, out.data(), out.size() * sizeof(GeoCoord));
    *outline = copy;
    *count = int32_t(out.size());
    return 1;
}

namespace {

// Does a point of the two offsets of a vertex (an end or a middle) lie on
// the zone's boundary, as far from the ring P as the width? Where the
// offsets meet on neither segment and the corner is dropped, the outline
// runs straight from the corner before to the corner after; when nothing of
// the offsets is on the boundary, that stretch lies inside the zone and the
// pieces drop it, but an offset that reaches the boundary (two short
// segments beside a wide buffer, e.g. a line whose ends lie close together)
// bounds the band up to where it crosses the next arc, and a straight run
// past it cuts that corner off.
bool offsets_on_boundary(const std::vector<GeoCoord>& P, const GeoCoord* off1, const GeoCoord* off2,
                         const TeBufferWidth& w, double tol) {
    const double reach = std::fabs(w.width) - tol;
    for (const GeoCoord* off : {off1, off2})
        for (const GeoCoord& p : {off[0], GeoCoord{(off[0].x + off[1].x) / 2, (off[0].y + off[1].y) / 2, off[0].z},
                                  off[1]}) {
            bool inside = false;
            for (size_t k = 0; k + 1 < P.size() && !inside; ++k)
                inside = qd_te_cogo_point_segment_distance(&P[k], &P[k + 1], &p, nullptr) < reach;
            if (!inside) return true;
        }
    return false;
}

// The corners of every vertex of the ring P (n points, closed exactly).
// Answers 0 on a failure that is reported; the status tells the rest.
int make_corners(const std::vector<GeoCoord>& P, const TeBufferWidth& w, int32_t arc_segments, double tol,
                 nlst* corners, int32_t* status) {
    const int32_t n = int32_t(P.size());
    const double L = w.width_left, R = w.width_right;
    const double m = std::fmin(std::fabs(L), std::fabs(R));
    const int32_t style = w.two_sided;
    for (int32_t i = 0; i < n && *status == 1; ++i) {
        const GeoCoord prev = P[size_t(i == 0 ? n - 2 : i - 1)];
        const GeoCoord cur = P[size_t(i)];
        const GeoCoord next = P[size_t(i == n - 1 ? 1 : i + 1)];
        TeBufferCorner corner = new_corner(i);
        double angle = 0.0;
        if (qd_te_cogo_vertex_angle(&prev, &cur, &next, &angle, &tol) == -1)
            corner.joined = (w.width >= 0.0 ? angle > 180.0 : angle <= 180.0) ? 1 : 0;
        const GeoCoord seg1[2] = {prev, cur}, seg2[2] = {cur, next};
        GeoCoord off1[2], off2[2];
        if (qd_te_cogo_ellipse_offset_segment(seg1, -L, -R, 0, 0, off1, &tol) != -1 ||
            qd_te_cogo_ellipse_offset_segment(seg2, -L, -R, 0, 0, off2, &tol) != -1) {
            *status = -1;
            break;
        }
        GeoCoord meet{};
        if (qd_te_cogo_segment_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &meet, 1, &tol, nullptr) == 1) {
            corner.joined = 1;
            corner.point = meet;
        } else if (qd_te_same_fuzzy_point(&prev, &next, 1e-10)) {
            // The ring turns back on itself: a cap through the point beyond the turn.
            if (qd_te_cogo_offset_point(&cur, &next, -m, 0, &corner.point, &tol) != -1) {
                *status = -1;
                break;
            }
            corner.joined = 0;
        } else if (qd_te_cogo_line_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &meet) != 1) {
            corner.joined = 1;
            corner.point = off2[0];
        } else if (corner.joined) {
            if (qd_te_cogo_line_segment_intersection(&off2[0], &off2[1], &off1[0], &off1[1], &corner.point, &tol) !=
                    1 &&
                qd_te_cogo_line_segment_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &corner.point, &tol) !=
                    1 &&
                (style == 1 || (std::fabs(angle - 180.0) <= 90.0 + 1e-9 &&
                                 !(style == 0 && offsets_on_boundary(P, off1, off2, w, tol)))))
                continue;  // the offsets never meet near the vertex: no corner,
                           // unless a sharp turn, or a round corner's offset
                           // that reaches the zone's boundary, keeps both
                           // offsets whole below
            if (style != 1) {
                // The offsets meet only on one's line: a single point would
                // skip the part of the other offset that can cross the offsets
                // farther on, where the true corner of the band lies. Both
                // offsets are kept whole; the split finds those crossings and
                // the piece filter removes the rest.
                TeBufferCorner first = new_corner(i);
                first.point = off1[1];
                if (nlst_add(corners, &first) != 1) return qd_te_no_memory();
                corner.point = off2[0];
            }
            if (style == 1 && qd_te_cogo_point_in_ellipse(&corner.point, &cur, std::fabs(L), std::fabs(R), &tol)) {
                // Inside the ellipse around the vertex: two points on the
                // ellipses around its feet on both neighbouring segments.
                GeoCoord f1, f2;
                qd_te_cogo_project_to_segment(&corner.point, &cur, &next, &f1, &tol);
                qd_te_cogo_project_to_segment(&corner.point, &prev, &cur, &f2, &tol);
                TeBufferCorner first = new_corner(i);
                qd_te_cogo_ellipse_point_toward(&corner.point, &f2, &first.point, std::fabs(L), std::fabs(R), &tol);
                if (nlst_add(corners, &first) != 1) return qd_te_no_memory();
                qd_te_cogo_ellipse_point_toward(&first.point, &f1, &corner.point, std::fabs(L), std::fabs(R), &tol);
            }
        } else if (style == 1) {
            const GeoCoord mid{(off1[1].x + off2[0].x) / 2, (off1[1].y + off2[0].y) / 2, cur.z};
            if (qd_te_cogo_point_series_max(&cur, &mid, qd_te_cogo_distance_2d(&cur, &off1[1]),
                                            qd_te_cogo_distance_2d(&cur, &off2[0]), 1, &corner.point, &tol) != -1) {
                corner.point = mid;
                corner.joined = 1;
            }
        } else if (qd_te_cogo_point_series(&cur, &meet, std::fabs(w.width), 1, &corner.point, &tol) != -1) {
            // Styles other than 0 and 1 take the round corner's point too.
            corner.point = meet;
            corner.joined = 1;
        }
        if (!corner.joined) {
            if (i == 0) {
                corner.joined = 1;
                corner.point = off2[0];
            } else {
                const GeoCoord three[3] = {off1[1], corner.point, off2[0]};
                if (!qd_te_buffer_prepare_arc(&w, arc_segments, &corner, three, &cur, tol) ||
                    !qd_te_buffer_clip_arc_tail(&w, arc_segments, P.data(), n, &corner)) {
                    qd_te_buffer_corner_points_free(&corner.points);
                    return 0;
                }
            }
        }
        if (nlst_add(corners, &corner) != 1) {
            qd_te_buffer_corner_points_free(&corner.points);
            return qd_te_no_memory();
        }
    }
    return 1;
}

}  // namespace

int qd_te_buffer_polygon(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, int32_t arc_segments,
                         GeoCoord** outline, int32_t* count, double tolerance, int32_t* status) {
    if (!status || !count || !widths || !outline) return qd_te_missing("qd_te_buffer_polygon");
    *status = 1;
    *count = 0;
    *outline = nullptr;
    if (!ring || n < 3) {
        *status = -2;
        return 1;
    }
    std::vector<GeoCoord> P(ring, ring + n);
    if (!qd_te_same_fuzzy_point(&P[0], &P[size_t(n - 1)], tolerance)) {
        *status = -2;
        return 1;
    }
    P[size_t(n - 1)] = P[0];
    nlst* corners = nlst_alloc(sizeof(TeBufferCorner), uint32_t(n + 1), uint32_t(n + 1), nullptr);
    if (!corners) return qd_te_no_memory();
    int ok = make_corners(P, *widths, arc_segments, tolerance, corners, status);
    if (ok && *status == 1) ok = qd_te_buffer_clip_corners(status, corners, widths, arc_segments);
    if (ok && *status == 1) ok = qd_te_buffer_form_outline(corners, outline, count, status);
    if (ok && *status == 1 && *count < 4) {
        qd_free(*outline);
        *outline = nullptr;
        *count = 0;
        *status = -2;
    }
    qd_te_buffer_corners_free(corners);
    return ok;
}
