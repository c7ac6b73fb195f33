// The raw outline of the buffer zone of one closed clockwise ring: every
// segment moved sideways by the buffer widths, neighbouring offsets joined
// where they meet, convex corners closed by arcs around the vertex and the
// turning points of a doubled-back line closed by caps. The outline may
// still cross itself; splitting and the piece filter clean it afterwards.
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_util.h"

namespace {

struct Corner {
    bool joined = true;
    GeoCoord point{};
    std::vector<GeoCoord> points;  // an arc corner's stroked points
};

// Strokes the arc of a corner from start through middle to end around the
// vertex; a corner whose arc cannot be stroked keeps its single point.
void prepare_arc(const TeBufferWidth& w, int32_t arc_segments, Corner& corner, const GeoCoord& start,
                 const GeoCoord& end, const GeoCoord& vertex, const double* tol) {
    const double a = w.two_sided == 1 ? std::fabs(w.width_left) : std::fabs(w.width);
    const double b = w.two_sided == 1 ? std::fabs(w.width_right) : std::fabs(w.width);
    nlst* arc = qd_te_cogo_stroke_ellipse_arc(&vertex, &start, &end, &corner.point, a, b,
                                              static_cast<uint32_t>(arc_segments), w.width_option, tol);
    if (!arc || arc->tally < 2) {
        if (arc) nlst_free(arc);
        corner.joined = true;
        return;
    }
    const auto* p = static_cast<const GeoCoord*>(arc->data);
    corner.points.assign(p, p + arc->tally);
    corner.point = vertex;
    nlst_free(arc);
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
    const double tol = tolerance;
    std::vector<GeoCoord> P(ring, ring + n);
    if (!qd_te_same_fuzzy_point(&P[0], &P[static_cast<size_t>(n - 1)], tol)) {
        *status = -2;
        return 1;
    }
    P[static_cast<size_t>(n - 1)] = P[0];
    const TeBufferWidth& w = *widths;
    const double L = w.width_left, R = w.width_right;
    const double m = std::fmin(std::fabs(L), std::fabs(R));
    const int32_t style = w.two_sided;
    std::vector<Corner> corners;
    for (int32_t i = 0; i < n && *status == 1; ++i) {
        const GeoCoord prev = P[static_cast<size_t>(i == 0 ? n - 2 : i - 1)];
        const GeoCoord cur = P[static_cast<size_t>(i)];
        const GeoCoord next = P[static_cast<size_t>(i == n - 1 ? 1 : i + 1)];
        Corner corner;
        double angle = 0.0;
        if (qd_te_cogo_vertex_angle(&prev, &cur, &next, &angle, &tol) == -1)
            corner.joined = w.width >= 0.0 ? angle > 180.0 : angle <= 180.0;
        const GeoCoord seg1[2] = {prev, cur}, seg2[2] = {cur, next};
        GeoCoord off1[2], off2[2];
        if (qd_te_cogo_ellipse_offset_segment(seg1, -L, -R, 0, 0, off1, &tol) != -1 ||
            qd_te_cogo_ellipse_offset_segment(seg2, -L, -R, 0, 0, off2, &tol) != -1) {
            *status = -1;
            break;
        }
        GeoCoord meet{};
        bool skipped = false;
        if (qd_te_cogo_segment_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &meet, 1, &tol, nullptr) == 1) {
            corner.joined = true;
            corner.point = meet;
        } else if (qd_te_same_fuzzy_point(&prev, &next, 1e-10)) {
            // The ring turns back on itself: a cap through the point beyond the turn.
            if (qd_te_cogo_offset_point(&cur, &next, -m, 0, &corner.point, &tol) != -1) {
                *status = -1;
                break;
            }
            corner.joined = false;
        } else if (qd_te_cogo_line_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &meet) != 1) {
            corner.joined = true;
            corner.point = off2[0];
        } else if (corner.joined) {
            if (qd_te_cogo_line_segment_intersection(&off2[0], &off2[1], &off1[0], &off1[1], &corner.point, &tol) !=
                    1 &&
                qd_te_cogo_line_segment_intersection(&off1[0], &off1[1], &off2[0], &off2[1], &corner.point, &tol) != 1)
                skipped = true;
        } else if (style == 1) {
            const GeoCoord mid{(off1[1].x + off2[0].x) / 2, (off1[1].y + off2[0].y) / 2, cur.z};
            if (qd_te_cogo_point_series_max(&cur, &mid, qd_te_cogo_distance_2d(&cur, &off1[1]),
                                            qd_te_cogo_distance_2d(&cur, &off2[0]), 1, &corner.point, &tol) != -1) {
                corner.point = mid;
                corner.joined = true;
            }
        } else if (qd_te_cogo_point_series(&cur, &meet, std::fabs(w.width), 1, &corner.point, &tol) != -1) {
            corner.point = meet;
            corner.joined = true;
        }
        if (skipped) continue;
        if (!corner.joined) {
            if (i == 0) {
                corner.joined = true;
                corner.point = off2[0];
            } else {
                prepare_arc(w, arc_segments, corner, off1[1], off2[0], cur, &tol);
            }
        }
        corners.push_back(std::move(corner));
    }
    if (*status != 1) return 1;
    std::vector<GeoCoord> out;
    for (const Corner& c : corners) {
        if (c.joined) out.push_back(c.point);
        else out.insert(out.end(), c.points.begin(), c.points.end());
    }
    if (out.size() < 4) {
        *status = -2;
        return 1;
    }
    if (std::fabs(out.front().x - out.back().x) > 1e-10 || std::fabs(out.front().y - out.back().y) > 1e-10)
        out.front() = out.back();
    auto* copy = static_cast<GeoCoord*>(qd_alloc(out.size() * sizeof(GeoCoord)));
    if (!copy) return qd_te_no_memory();
    std::memcpy(copy, out.data(), out.size() * sizeof(GeoCoord));
    *outline = copy;
    *count = static_cast<int32_t>(out.size());
    return 1;
}
