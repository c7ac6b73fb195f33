// Point queries against segments, lines, curves, paths and polygons, the
// drawable line of a curve, and Z merging.
#include "geometry/ktgeo_get.h"

#include <cmath>
#include <utility>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

constexpr double kOn = 1e-10;

nlst* no_result() {
    QD_FAIL("UKT_1", "function%s", "ktgeo_get_coord_list", "param%s", "result", nullptr);
    return nullptr;
}

}  // namespace

nlst* ktgeo_get_coord_list(GeoCurve* curve) {
    if (!curve) return no_result();
    switch (curve->curve_type) {
        case KTGEO_POLYLINE:
        case KTGEO_BEZIER:
            return curve->coords ? curve->coords : no_result();
        case KTGEO_CIRCULAR_ARC:
        case KTGEO_KT_CURVE:
            if (!curve->stroked && !ktgeo_curve(curve)) return nullptr;  // reported by the stroke
            return curve->stroked ? curve->stroked : no_result();
        default:
            return no_result();
    }
}

int ktgeo_get_same_point(const GeoCoord* a, const GeoCoord* b, int* same) {
    if (same) *same = qd_cogo_same_point(a, b);
    return 1;
}

int ktgeo_point_on_segment(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b) {
    if (a->x > b->x) std::swap(a, b);
    if (p->x < a->x - kOn || p->x > b->x + kOn) return 0;
    if (b->x != a->x) {
        const double m = (b->y - a->y) / (b->x - a->x);
        return std::fabs(p->x * m + (a->y - a->x * m) - p->y) <= kOn ? 1 : 0;
    }
    const double lo = std::fmin(a->y, b->y), hi = std::fmax(a->y, b->y);
    return (p->y >= lo - kOn && p->y <= hi + kOn) ? 1 : 0;
}

int ktgeo_point_on_coord_list(const GeoCoord* p, const nlst* list, int* on) {
    if (on) *on = 0;
    if (!list || list->tally == 0) return 0;
    const GeoCoord* c = static_cast<const GeoCoord*>(list->data);
    for (uint32_t i = 0; i + 1 < list->tally; ++i) {
        if (ktgeo_point_on_segment(p, &c[i], &c[i + 1])) {
            if (on) *on = 1;
            break;
        }
    }
    return 1;
}

int ktgeo_point_on_curve(const GeoCoord* p, GeoCurve* curve, int* on) {
    if (on) *on = 0;
    const nlst* line = ktgeo_get_coord_list(curve);
    if (!line) return 0;
    return ktgeo_point_on_coord_list(p, line, on);
}

int ktgeo_point_on_path(const GeoCoord* p, GeoPath* path, int* on) {
    if (on) *on = 0;
    if (!path || !path->curves) return 1;
    GeoCurve* curves = static_cast<GeoCurve*>(path->curves->data);
    for (uint32_t i = 0; i < path->curves->tally; ++i) {
        int hit = 0;
        if (!ktgeo_point_on_curve(p, &curves[i], &hit)) return 0;
        if (hit) {
            if (on) *on = 1;
            break;
        }
    }
    return 1;
}

int ktgeo_point_on_polygon(const GeoCoord* p, GeoPolygon* polygon, int* on) {
    if (on) *on = 0;
    if (!polygon) return 1;
    int hit = 0;
    if (!ktgeo_point_on_path(p, &polygon->exterior, &hit)) return 0;
    if (!hit && polygon->interiors) {
        GeoPath* holes = static_cast<GeoPath*>(polygon->interiors->data);
        for (uint32_t i = 0; i < polygon->interiors->tally && !hit; ++i)
            if (!ktgeo_point_on_path(p, &holes[i], &hit)) return 0;
    }
    if (on) *on = hit;
    return 1;
}

int ktgeo_point_inside_path(const GeoCoord* p, GeoPath* path, int* out) {
    if (out) *out = 0;
    if (!path) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_point_inside_path", "param%s", "path", nullptr);
        return 0;
    }
    if (!path->expanded && !ktgeo_path_expand(path)) return 0;
    if (!path->closed) {
        QD_FAIL("UKT_6", "what%s", "ST_Path", nullptr);
        return 0;
    }
    if (out && qd_cogo_point_in_ring(p, path->expanded)) *out = 4;
    return 1;
}

int ktgeo_point_inside_polygon(const GeoCoord* p, GeoPolygon* polygon, int* out) {
    if (out) *out = 0;
    if (!polygon) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_point_inside_polygon", "param%s", "polygon",
                nullptr);
        return 0;
    }
    int where = 0;
    const int result = ktgeo_point_inside_path(p, &polygon->exterior, &where);
    if (where != 4) return result;
    if (polygon->interiors) {
        GeoPath* holes = static_cast<GeoPath*>(polygon->interiors->data);
        for (uint32_t i = 0; i < polygon->interiors->tally; ++i) {
            int in_hole = 0;
            const int r = ktgeo_point_inside_path(p, &holes[i], &in_hole);
            if (r != 1) return r;
            if (in_hole == 4) return result;
        }
    }
    if (out) *out = 4;
    return result;
}

void ktgeo_merge_z(GeoCoord* a, GeoCoord* b) {
    if (!a || !b) return;
    const bool za = ktgeo_has_z(*a), zb = ktgeo_has_z(*b);
    if (!za && !zb) {
        a->z = b->z = KTGEO_NO_Z;
    } else if (za && !zb) {
        b->z = a->z;
    } else if (!za && zb) {
        a->z = b->z;
    } else {
        a->z = b->z = (a->z + b->z) / 2.0;
    }
}
