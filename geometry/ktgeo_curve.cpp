// Stroking of circular arcs and KT_Curves, tangents of KT_Curves, and
// generalised copies of curve lines.
#include "geometry/ktgeo_curve.h"

#include <cmath>

#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_option.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"

namespace {

int refuse(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

// Consecutive arcs (start, middle, end) sharing their end points.
nlst* stroke_arcs(const GeoCurve* curve) {
    const uint32_t n = curve->coords ? curve->coords->tally : 0;
    if (n < 3 || n % 2 == 0) return nullptr;
    const GeoCoord* c = static_cast<const GeoCoord*>(curve->coords->data);
    nlst* list = nlst_alloc(sizeof(GeoCoord), 65, 64, nullptr);
    if (!list) return nullptr;
    bool ok = nlst_add(list, &c[0]) == 1;
    for (uint32_t k = 0; ok && k < (n - 1) / 2; ++k) {
        nlst* arc = qd_cogo_stroke_arc(&c[2 * k], &c[2 * k + 1], &c[2 * k + 2],
                                       ktgeo_option_arc_segments());
        ok = arc && arc->tally >= 1 &&
             (arc->tally == 1 ||
              nlst_add_many(list, static_cast<GeoCoord*>(arc->data) + 1, arc->tally - 1) == 1);
        if (arc) nlst_free(arc);
    }
    if (!ok) {
        nlst_free(list);
        return nullptr;
    }
    return list;
}

// Tangent modes 1 and 3 give the start tangent, 2 and 3 the end tangent.
bool mode_gives(int32_t mode, bool start) { return mode == 3 || mode == (start ? 1 : 2); }

const GeoCoord* end_coord(const GeoCurve* curve, bool start) {
    const nlst* c = curve->coords;
    return static_cast<const GeoCoord*>(c->data) + (start ? 0 : c->tally - 1);
}

int tangent(const GeoCurve* curve, float* angle, bool start) {
    const char* function = start ? "ktgeo_curve_start_tangent" : "ktgeo_curve_end_tangent";
    if (!curve || curve->curve_type != KTGEO_KT_CURVE) return refuse(function, "curve");
    if (!angle) return refuse(function, "angle");
    if (!mode_gives(curve->tangent_mode, start))
        return refuse(function, start ? "start_tangent" : "end_tangent");
    if (!curve->coords || curve->coords->tally < 2) return refuse(function, "st_points");
    const GeoCoord& t = start ? curve->start_tangent : curve->end_tangent;
    const GeoCoord* e = end_coord(curve, start);
    const double dx = t.x - e->x, dy = t.y - e->y;
    if (ktgeo_coord_is_unset(t) || (std::fabs(dx) <= 1e-10 && std::fabs(dy) <= 1e-10))
        *angle = 0.0f;
    else
        *angle = static_cast<float>(std::atan2(dy, dx));
    return 1;
}

int tangent_orientation(GeoCurve* curve, float angle, bool start) {
    const char* function =
        start ? "ktgeo_curve_start_tangent_orientation" : "ktgeo_curve_end_tangent_orientation";
    if (!curve) return refuse(function, "curve");
    int result = 1;
    if (curve->curve_type != KTGEO_KT_CURVE) result = refuse(function, "curve");
    if (!mode_gives(curve->tangent_mode, start))
        result = refuse(function, start ? "start_tangent" : "end_tangent");
    if (!curve->coords || curve->coords->tally < 2) return refuse(function, "st_points");
    const GeoCoord* e = end_coord(curve, start);
    const GeoCoord t = {e->x + std::cos(double{angle}), e->y + std::sin(double{angle}), KTGEO_NO_Z};
    (start ? curve->start_tangent : curve->end_tangent) = t;
    return result;
}

}  // namespace

int ktgeo_curve(GeoCurve* curve) {
    if (!curve) return refuse("ktgeo_curve", "curve");
    nlst* stroked = nullptr;
    if (curve->curve_type == KTGEO_CIRCULAR_ARC) {
        stroked = stroke_arcs(curve);
        if (!stroked) return refuse("ktgeo_curve", "curve");
    } else if (curve->curve_type == KTGEO_KT_CURVE) {
        const GeoTangents t = {curve->tangent_mode, curve->start_tangent, curve->end_tangent};
        stroked = qd_cogo_stroke_spline(curve->coords, &t, ktgeo_option_curve_segments());
        if (!stroked) return refuse("ktgeo_curve", "curve");
    }
    if (curve->stroked) nlst_free(curve->stroked);
    curve->stroked = stroked;
    return 1;
}

int ktgeo_curve_start_tangent(const GeoCurve* curve, float* angle) {
    return tangent(curve, angle, true);
}

int ktgeo_curve_end_tangent(const GeoCurve* curve, float* angle) {
    return tangent(curve, angle, false);
}

int ktgeo_curve_start_tangent_orientation(GeoCurve* curve, float angle) {
    return tangent_orientation(curve, angle, true);
}

int ktgeo_curve_end_tangent_orientation(GeoCurve* curve, float angle) {
    return tangent_orientation(curve, angle, false);
}

nlst* ktgeo_coord_list_generalize(const nlst* list, double tolerance) {
    return qd_cogo_generalize_2d(list, tolerance);
}

nlst* ktgeo_curve_generalize(GeoCurve* curve, double tolerance) {
    const nlst* line = ktgeo_get_coord_list(curve);
    return line ? ktgeo_coord_list_generalize(line, tolerance) : nullptr;
}
