// Point and polygon inside a region chain: a crossing count toward both
// sides of the point with the tolerance deciding edge and vertex
// contacts, and for a polygon a ray test from its points.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_util.h"

namespace {

const TeVertex* usable_region(TeChain* region, uint32_t* n) {
    if (region->discard != CHAIN_OK && region->discard != CHAIN_REGION) return nullptr;
    if (!region->coords || region->coords->tally < 3) return nullptr;
    *n = region->coords->tally;
    return static_cast<const TeVertex*>(region->coords->data);
}

bool crosses(double dya, double dyb) { return (dya > 0 && dyb <= 0) || (dya <= 0 && dyb > 0); }

struct Edge {
    GeoCoord a, b;
};

}  // namespace

int qd_te_geo_overlay_pt_inside_region(const GeoCoord* point, TeChain* region, const double* tolerance,
                                       int32_t* location) {
    if (!point || !region || !location) return qd_te_missing("qd_te_geo_overlay_pt_inside_region");
    const double g = qd_te_cogo_tolerance(tolerance);
    uint32_t n = 0;
    const TeVertex* v = usable_region(region, &n);
    if (!v) {
        *location = TE_LOC_UNDECIDED;
        return 1;
    }
    int32_t loc = TE_LOC_OUTSIDE;
    uint32_t left = 0, right = 0;
    for (uint32_t i = 0; i + 1 < n && loc == TE_LOC_OUTSIDE; ++i) {
        const double dxa = v[i].x - point->x, dya = v[i].y - point->y;
        const double dxb = v[i + 1].x - point->x, dyb = v[i + 1].y - point->y;
        // On either end of the edge: a vertex (an edge that ends at the
        // point must not report it as on the edge first).
        if ((std::fabs(dxa) <= g && std::fabs(dya) <= g) || (std::fabs(dxb) <= g && std::fabs(dyb) <= g)) {
            loc = TE_LOC_VERTEX;
            break;
        }
        if (!((dya <= g && dyb >= -g) || (dyb <= g && dya >= -g))) continue;
        const bool cross = crosses(dya, dyb);
        if (dxa < -g && dxb < -g) {
            left += cross;
            continue;
        }
        if (dxa > g && dxb > g) {
            right += cross;
            continue;
        }
        if ((std::fabs(dxa) <= g && std::fabs(dxb) <= g) || (std::fabs(dya) <= g && std::fabs(dyb) <= g)) {
            loc = TE_LOC_EDGE;
            break;
        }
        if ((dxa < 0) != (dxb < 0) && dxa != dxb) {
            const double y = dya - dxa * (dyb - dya) / (dxb - dxa);
            if (std::fabs(y) <= g) {
                loc = TE_LOC_EDGE;
                break;
            }
        }
        if (!cross) continue;
        const double x = dxa - dya * (dxb - dxa) / (dyb - dya);
        if (x < -g) ++left;
        else if (x > g) ++right;
        else {
            loc = TE_LOC_EDGE;
            break;
        }
    }
    if (loc == TE_LOC_OUTSIDE) {
        const bool l = left % 2 == 1, r = right % 2 == 1;
        loc = l && r ? TE_LOC_INSIDE : l != r ? TE_LOC_UNDECIDED : TE_LOC_OUTSIDE;
    }
    *location = loc;
    return 1;
}

int qd_te_geo_overlay_poly_inside_region(const TeBoundedArray* polygon, TeChain* region, const void*,
                                         int32_t* location) {
    if (!polygon || !region || !location) return qd_te_missing("qd_te_geo_overlay_poly_inside_region");
    uint32_t n = 0;
    const TeVertex* v = usable_region(region, &n);
    if (!v || !polygon->pts || polygon->n <= 0) {
        *location = TE_LOC_UNDECIDED;
        return 1;
    }
    const GeoCoord* rmer = region->chain_mer;
    if (polygon->env_min.x > rmer[1].x || polygon->env_max.x < rmer[0].x || polygon->env_min.y > rmer[1].y ||
        polygon->env_max.y < rmer[0].y) {
        *location = TE_LOC_OUTSIDE;
        return 1;
    }
    // The region's segments by the exact (x, y) of their first point.
    std::vector<Edge> edges;
    edges.reserve(n - 1);
    for (uint32_t i = 0; i + 1 < n; ++i)
        edges.push_back({{v[i].x, v[i].y, KTGEO_NO_Z}, {v[i + 1].x, v[i + 1].y, KTGEO_NO_Z}});
    if (edges.empty()) {
        *location = TE_LOC_UNDECIDED;
        return 1;
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& p, const Edge& q) {
        return p.a.x != q.a.x ? p.a.x < q.a.x : p.a.y < q.a.y;
    });
    const double near = 1e-8;
    auto starts_at = [&](const GeoCoord& p) {
        auto it = std::lower_bound(edges.begin(), edges.end(), p.x - near,
                                   [](const Edge& e, double x) { return e.a.x < x; });
        for (; it != edges.end() && it->a.x <= p.x + near; ++it)
            if (qd_te_same_fuzzy_point(&it->a, &p, near)) return true;
        return false;
    };
    int32_t loc = TE_LOC_OUTSIDE;
    const int32_t m = polygon->n;
    std::vector<char> decided(size_t(m), 0);
    bool all = true;
    for (int32_t i = 0; i < m; ++i) {
        const GeoCoord& p = polygon->pts[i];
        if (p.x < rmer[0].x || p.x > rmer[1].x || p.y < rmer[0].y || p.y > rmer[1].y) {
            decided[size_t(i)] = 1;
        } else if (starts_at(p)) {
            decided[size_t(i)] = 1;
            loc = TE_LOC_VERTEX;
        } else {
            all = false;
        }
    }
    if (all) {
        *location = loc;
        return 1;
    }
    // Ray toward increasing x: a segment counts when it spans the point's
    // y (half-open, so a crossing at a vertex counts once); a contact
    // within the tolerance makes the point touch.
    auto ray = [&](const GeoCoord& p) {
        bool inside = false;
        for (const Edge& e : edges) {
            const double lo = std::min(e.a.y, e.b.y), hi = std::max(e.a.y, e.b.y);
            if (p.y < lo - near || p.y > hi + near) continue;
            if (std::max(e.a.x, e.b.x) < p.x - near) continue;
            const bool spans = (e.a.y > p.y) != (e.b.y > p.y);
            const bool flat = std::fabs(e.a.y - e.b.y) <= 1e-16;
            const int side = qd_te_cogo_point_segment_side(&e.a, &e.b, &p, nullptr);
            if (side == 15) return TE_LOC_EDGE;
            if ((spans || flat) && side == 14) return TE_LOC_EDGE;
            if (spans && side == 13) inside = !inside;
        }
        return inside ? TE_LOC_INSIDE : TE_LOC_OUTSIDE;
    };
    for (int32_t i = 0; i < m; ++i) {
        if (decided[size_t(i)]) continue;
        GeoCoord p = polygon->pts[i];
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int32_t r = ray(p);
            if (r != TE_LOC_EDGE) {
                *location = r;
                return 1;
            }
            loc = TE_LOC_EDGE;
            const GeoCoord& q = polygon->pts[(i + 1) % m];
            p = {(p.x + q.x) / 2, (p.y + q.y) / 2, KTGEO_NO_Z};
        }
    }
    *location = loc;
    return 1;
}
