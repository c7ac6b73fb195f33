// Direction of points that carry a direction record.
#include "geometry/ktgeo_point.h"

#include <cmath>

#include "geometry/qd_fail.h"

int ktgeo_dynamic_rotation(const GeoPoint* point, float* angle) {
    if (!point || !point->direction) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_dynamic_rotation", "param%s", "point", nullptr);
        return 0;
    }
    if (!angle) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_dynamic_rotation", "param%s", "angle", nullptr);
        return 0;
    }
    const double dx = point->direction->toward.x - point->coord.x;
    const double dy = point->direction->toward.y - point->coord.y;
    *angle = (std::fabs(dx) <= 1e-10 && std::fabs(dy) <= 1e-10)
                 ? 0.0f
                 : static_cast<float>(std::atan2(dy, dx));
    return 1;
}

int ktgeo_dynamic_orientation(GeoPoint* point, float angle) {
    if (!point || !point->direction) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_dynamic_orientation", "param%s", "point", nullptr);
        return 0;
    }
    point->direction->toward = {point->coord.x + std::cos(double{angle}),
                                point->coord.y + std::sin(double{angle}), KTGEO_NO_Z};
    return 1;
}

int ktgeo_point_valid(const GeoPoint*, int* valid) {
    if (valid) *valid = 1;
    return 1;
}
