// Node topology: the direction code of a point seen from a centre.
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

int qd_te_leaving_calc_cyclic_order(const GeoCoord* centre, const GeoCoord* point,
                                    int32_t* quadrant, double* slope) {
    if (!centre || !point || !quadrant || !slope)
        return qd_te_missing("qd_te_leaving_calc_cyclic_order");
    const double dx = point->x - centre->x, dy = point->y - centre->y;
    *slope = 0;
    if (dx > 0) {
        if (dy > 0) *quadrant = 1, *slope = dy / dx;
        else if (dy < 0) *quadrant = 4, *slope = -dx / dy;
        else *quadrant = 1;
    } else if (dx < 0) {
        if (dy > 0) *quadrant = 2, *slope = -dx / dy;
        else if (dy < 0) *quadrant = 3, *slope = dy / dx;
        else *quadrant = 3;
    } else {
        *quadrant = dy > 0 ? 2 : dy < 0 ? 4 : 5;
    }
    return 1;
}
