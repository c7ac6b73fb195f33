// The quick check: trusts the flags a full check left and answers with
// warnings, which print nothing.
#include "geometry/ktgeo_quick.h"

#include "geometry/qd_fail.h"

namespace {

bool curve_ok(const GeoCurve& curve) {
    if (!curve.invalid) return true;
    QD_FAIL("01KTT", nullptr);
    return false;
}

}  // namespace

int ktgeo_quick_check(const SpatialObject* object) {
    if (!object || !object->primitives) return 1;
    if (object->primitives->tally == 0) {
        QD_FAIL("01KTS", nullptr);
        return 0;
    }
    const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(object->primitives->data);
    for (uint32_t i = 0; i < object->primitives->tally; ++i) {
        switch (p[i].type) {
            case KTGEO_CURVE:
                if (!curve_ok(p[i].geom.curve)) return 0;
                break;
            case KTGEO_PATH: {
                const GeoPath& path = p[i].geom.path;
                if (!path.connected) QD_FAIL("01KTR", "what%s", "ST_Path", nullptr);
                if (path.curves) {
                    const GeoCurve* c = static_cast<const GeoCurve*>(path.curves->data);
                    for (uint32_t k = 0; k < path.curves->tally; ++k)
                        if (!curve_ok(c[k])) return 0;
                }
                break;
            }
            case KTGEO_POLYGON:
                if (!p[i].geom.polygon.valid) {
                    QD_FAIL("01KTU", nullptr);
                    return 0;
                }
                break;
            default: break;
        }
    }
    return 1;
}
