// The object-record reader of the wrapped blob forms is not built yet:
// it refuses with "UKT_1" "data".
#include "geometry/ktgeo_cv.h"
#include "geometry/qd_fail.h"

namespace {

int not_built(const char* function) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", "data", nullptr);
    return 0;
}

}  // namespace

int cvtran_cast_to_geometry(SpatialObject*, const uint8_t*, uint32_t, uint32_t) {
    return not_built("cvtran_cast_to_geometry");
}

int cvtran_cast_from_geometry(SpatialObject*, uint8_t** record, uint32_t* length, uint32_t*) {
    *record = nullptr;
    *length = 0;
    return not_built("cvtran_cast_from_geometry");
}
