// The well-known binary conversions and the object-record reader of the
// wrapped blob forms are not built yet: each refuses with "UKT_1" "data".
#include "geometry/ktgeo_cv.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/qd_fail.h"

namespace {

int not_built(const char* function) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", "data", nullptr);
    return 0;
}

}  // namespace

int ktgeo_ogc_cast_from_geometry(SpatialObject*, uint8_t** wkb, uint32_t* length,
                                 uint32_t*) {
    if (wkb) *wkb = nullptr;
    if (length) *length = 0;
    return not_built("ktgeo_ogc_cast_from_geometry");
}

int ktgeo_ogc_cast_to_geometry(SpatialObject*, const uint8_t*, uint32_t, uint32_t) {
    return not_built("ktgeo_ogc_cast_to_geometry");
}

uint8_t* ktgeo_ogc_pack_blob(const uint8_t*, uint32_t, uint32_t) {
    not_built("ktgeo_ogc_pack_blob");
    return nullptr;
}

int cvtran_cast_to_geometry(SpatialObject*, const uint8_t*, uint32_t, uint32_t) {
    return not_built("cvtran_cast_to_geometry");
}
