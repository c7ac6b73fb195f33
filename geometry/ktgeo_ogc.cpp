// OGC typing: counting an object's members by kind and deriving the OGC
// type they make.
#include "geometry/ktgeo_ogc.h"

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_quick.h"
#include "geometry/qd_fail.h"

namespace {

struct MemberCount {
    int32_t points, lines, polygons, members;
};

uint32_t line_length(const GeoCurve& curve) {
    const nlst* line = curve.coords;
    if ((curve.curve_type == KTGEO_CIRCULAR_ARC || curve.curve_type == KTGEO_KT_CURVE) &&
        curve.stroked)
        line = curve.stroked;
    return line ? line->tally : 0;
}

// The checks and member counts of the scan; false when the object fails
// its checks (reported).
bool count_members(SpatialObject* object, MemberCount* count) {
    *count = MemberCount{0, 0, 0, 0};
    if (!ktgeo_quick_check(object)) {
        if (ktgeo_check_geometry(object, nullptr) == 1)
            QD_FAIL("UKT_J", "function%s", "ktgeo_ogc_scan", "routine%s", "ktgeo_check_geometry",
                    nullptr);
        return false;
    }
    const int32_t working = (object->ogc_state == KTGEO_OGC_POINT ||
                             object->ogc_state == KTGEO_OGC_LINESTRING ||
                             object->ogc_state == KTGEO_OGC_POLYGON)
                                ? object->ogc_state
                                : KTGEO_OGC_COLLECTION;
    if (!object->primitives) return true;
    const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(object->primitives->data);
    for (uint32_t i = 0; i < object->primitives->tally; ++i) {
        uint32_t n = 0;
        switch (p[i].type) {
            case KTGEO_POINT: ++count->points; break;
            case KTGEO_CURVE:
                n = line_length(p[i].geom.curve);
                if (n > 0 || working == KTGEO_OGC_LINESTRING) ++count->lines;
                break;
            case KTGEO_PATH: {
                const GeoPath& path = p[i].geom.path;
                n = (path.connected && path.expanded) ? path.expanded->tally : 0;
                if (n > 0 || working == KTGEO_OGC_LINESTRING) ++count->lines;
                break;
            }
            case KTGEO_POLYGON: ++count->polygons; break;
            default: break;
        }
    }
    count->members = count->points + count->lines + count->polygons;
    return true;
}

}  // namespace

int ktgeo_ogc_derive_type(SpatialObject* object, int multiple) {
    if (!object) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_derive_type", "param%s", "so", nullptr);
        return 0;
    }
    if (object->ogc_state != KTGEO_OGC_NONE) return 1;
    MemberCount count;
    if (!count_members(object, &count)) return 0;
    int32_t type = KTGEO_OGC_COLLECTION;
    if (count.members == 1 && !multiple) {
        type = count.points ? KTGEO_OGC_POINT
                            : count.lines ? KTGEO_OGC_LINESTRING : KTGEO_OGC_POLYGON;
    } else if (count.members > 0) {
        if (count.points == count.members) type = KTGEO_OGC_MULTIPOINT;
        else if (count.lines == count.members) type = KTGEO_OGC_MULTILINESTRING;
        else if (count.polygons == count.members) type = KTGEO_OGC_MULTIPOLYGON;
    }
    object->ogc_state = type;
    return 1;
}
