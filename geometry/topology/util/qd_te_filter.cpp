// The primitive filter of inputs and outputs, the repair of open surfaces,
// input packs and the list utilities of the engine.
#include <cmath>
#include <cstring>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_util.h"

namespace {


// Whether a path joins into one closed, connected coordinate list.
bool path_sound(GeoPath* path) {
    return ktgeo_path_expand(path) && path->connected && path->closed;
}

}  // namespace

int qd_te_pack_free(TePack* pack) {
    if (!pack) return qd_te_missing("qd_te_pack_free");
    ktgeo_so_release(&pack->work);
    pack->input = nullptr;
    pack->pack_state = 0;
    return 1;
}

int qd_te_validate_filter(const TeFilter* filter) {
    if (!filter) return 0;
    const TeFilter& f = *filter;
    return f.drop_points == 1 || f.drop_curves == 1 || f.drop_polylines == 1 ||
           f.drop_open_arcs == 1 || f.drop_closed_arcs == 1 || f.drop_splines == 1 ||
           f.drop_paths == 1 || f.drop_open_paths == 1 || f.drop_polygons == 1 ||
           f.drop_invalid_polygons == 1 || f.drop_all == 1;
}

int qd_te_encode_repair_open_surface(GeoPolygon* polygon, const TeFilter* filter) {
    if (!polygon || !filter) return qd_te_missing("qd_te_filter_geom");
    if (polygon->valid) return 1;
    if (!ktgeo_path_expand(&polygon->exterior)) {
        polygon->valid = 0;
    } else {
        polygon->valid = 1;
    }
    if (polygon->interiors) {
        for (uint32_t i = 0; i < nlst_tally(polygon->interiors);) {
            auto* hole = static_cast<GeoPath*>(nlst_index(polygon->interiors, i));
            if (path_sound(hole)) {
                ++i;
                continue;
            }
            if (filter->drop_broken_holes == 1) {
                ktgeo_path_release(hole, nullptr);
                if (!nlst_remove(polygon->interiors, i)) return 0;
            } else {
                polygon->valid = 0;
                ++i;
            }
        }
        if (nlst_tally(polygon->interiors) == 0) {
            nlst_free(polygon->interiors);
            polygon->interiors = nullptr;
        }
    }
    // Validity is always settled by the polygon check at the end: a sound
    // polygon without holes stays valid.
    int valid = 0;
    if (!ktgeo_check_polygon(polygon, &valid)) return 0;
    polygon->valid = valid;
    return 1;
}

int qd_te_filter_primitive(GeometricPrimitive* primitive, const TeFilter* filter, int* keep) {
    if (!primitive || !filter || !keep) return qd_te_missing("qd_te_filter_geom");
    *keep = 1;
    const TeFilter& f = *filter;
    if (f.drop_all == 1) {
        *keep = 0;
        return 1;
    }
    switch (primitive->type) {
    case KTGEO_POINT:
        if (f.drop_points == 1) *keep = 0;
        break;
    case KTGEO_CURVE: {
        const GeoCurve& c = primitive->geom.curve;
        if (f.drop_curves == 1) *keep = 0;
        else if (c.curve_type == KTGEO_POLYLINE) *keep = f.drop_polylines != 1;
        else if (c.curve_type == KTGEO_CIRCULAR_ARC)
            *keep = (c.closed ? f.drop_closed_arcs : f.drop_open_arcs) != 1;
        else if (c.curve_type == KTGEO_BEZIER || c.curve_type == KTGEO_KT_CURVE)
            *keep = f.drop_splines != 1;
        break;
    }
    case KTGEO_PATH:
        if (f.drop_paths == 1) *keep = 0;
        else if (!ktgeo_path_expand(&primitive->geom.path) && f.drop_open_paths == 1) *keep = 0;
        break;
    case KTGEO_POLYGON:
        if (f.drop_polygons == 1) {
            *keep = 0;
            break;
        }
        if (!qd_te_encode_repair_open_surface(&primitive->geom.polygon, filter)) return 0;
        if (primitive->geom.polygon.valid == 0 && f.drop_invalid_polygons == 1) *keep = 0;
        break;
    default:
        break;
    }
    return 1;
}

int qd_te_filter_geom(SpatialObject* geometry, const TeFilter* filter) {
    if (!geometry || !filter) return qd_te_missing("qd_te_filter_geom");
    if (!geometry->primitives || !qd_te_validate_filter(filter)) return 1;
    for (uint32_t i = 0; i < nlst_tally(geometry->primitives);) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(geometry->primitives, i));
        int keep = 1;
        if (!qd_te_filter_primitive(p, filter, &keep)) return 0;
        if (keep) {
            ++i;
            continue;
        }
        ktgeo_primitive_release(p, nullptr);
        if (!nlst_remove(geometry->primitives, i)) return 0;
    }
    return 1;
}

int qd_te_append_item_to_list(nlst** list, const void* item, uint32_t size) {
    if (!list || !item) return qd_te_missing("qd_te_append_item_to_list");
    if (!*list) {
        *list = nlst_alloc(size, 3, 2, nullptr);
        if (!*list) return 0;
    }
    return nlst_add(*list, item) ? 1 : 0;
}

namespace {
int append_list(nlst** list, const nlst* other, uint32_t size) {
    if (!list) return qd_te_missing("qd_te_append_list");
    if (!other || nlst_tally(other) == 0) return 1;
    if (!*list) {
        const uint32_t n = nlst_tally(other);
        *list = nlst_alloc(size, n, n, nullptr);
        if (!*list) return 0;
    }
    return nlst_append(*list, other) ? 1 : 0;
}
}  // namespace

int qd_te_append_list_24(nlst** list, const nlst* other) { return append_list(list, other, 24); }
int qd_te_append_list_32(nlst** list, const nlst* other) { return append_list(list, other, 32); }

int qd_te_free_list_of_lists(nlst** list) {
    if (!list) return qd_te_missing("qd_te_free_list_of_lists");
    if (!*list) return 1;
    for (uint32_t i = 0; i < nlst_tally(*list); ++i) {
        nlst* inner = *static_cast<nlst**>(nlst_index(*list, i));
        if (inner) nlst_free(inner);
    }
    nlst_free(*list);
    *list = nullptr;
    return 1;
}

void* qd_te_binary_search(const void* key, void* base, uint32_t n, uint32_t size,
                          int (*compare)(const void*, const void*)) {
    auto* bytes = static_cast<unsigned char*>(base);
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        const int c = compare(key, bytes + size_t(mid) * size);
        if (c == 0) return bytes + size_t(mid) * size;
        if (c < 0) hi = mid;
        else lo = mid + 1;
    }
    return bytes + size_t(lo) * size;
}

int qd_te_int_compare(const void* a, const void* b) {
    const int32_t x = *static_cast<const int32_t*>(a), y = *static_cast<const int32_t*>(b);
    return x < y ? -1 : x > y ? 1 : 0;
}

int qd_te_adjust_pair_compare(const void* a, const void* b) {
    const GeoCoord& p = static_cast<const TeAdjustPair*>(a)->source;
    const GeoCoord& q = static_cast<const TeAdjustPair*>(b)->source;
    if (p.x != q.x) return p.x < q.x ? -1 : 1;
    if (p.y != q.y) return p.y < q.y ? -1 : 1;
    if (p.z != q.z) return p.z < q.z ? -1 : 1;
    return 0;
}

const TeAdjustPair* qd_te_adjust_pair_find(const nlst* sorted, const GeoCoord* point,
                                           double tolerance) {
    if (!sorted || !point || nlst_tally(sorted) == 0) return nullptr;
    const auto* pairs = static_cast<const TeAdjustPair*>(sorted->data);
    const uint32_t n = nlst_tally(sorted);
    double largest = std::fabs(tolerance);
    for (uint32_t i = 0; i < n; ++i) largest = std::fmax(largest, pairs[i].tolerance);
    const double reach = largest + 1e-10;
    // First pair with source x >= point.x - reach.
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (pairs[mid].source.x < point->x - reach) lo = mid + 1;
        else hi = mid;
    }
    for (uint32_t i = lo; i < n && pairs[i].source.x <= point->x + reach; ++i) {
        const double t = std::fmax(std::fabs(tolerance), pairs[i].tolerance);
        const bool flat = !ktgeo_has_z(*point) || !ktgeo_has_z(pairs[i].source);
        if (flat ? qd_te_same_fuzzy_point(point, &pairs[i].source, t)
                 : qd_te_same_fuzzy_point_3d(point, &pairs[i].source, t))
            return &pairs[i];
    }
    return nullptr;
}

int qd_te_check_dimension(int32_t wanted, int32_t dim) {
    switch (wanted) {
    case 4: return 1;
    case 0: return dim == 0 || dim == 4;
    case 1: return dim == 1 || dim == 4;
    case 2: return dim == 2 || dim == 4;
    case 3: return dim >= 0 && dim <= 3;
    case -1: return dim == -1 || dim == 4;
    default: return 0;
    }
}

int qd_te_add_adjust_pair(const GeoCoord* source, const GeoCoord* target, double tolerance,
                          nlst** list) {
    if (!list) return qd_te_missing("qd_te_add_adjust_pair");
    if (!source || !target) return 1;
    const TeAdjustPair pair = {*source, *target, std::fmax(std::fabs(tolerance), 1e-10)};
    return qd_te_append_item_to_list(list, &pair, sizeof pair);
}

int qd_te_assembly_distance(const SpatialObject* geometry, double* distance, int* done) {
    if (!geometry || !distance || !done) return qd_te_missing("qd_te_assembly_distance");
    *distance = 0;
    const uint32_t n = geometry->primitives ? nlst_tally(geometry->primitives) : 0;
    const GeoCoord* points[2] = {nullptr, nullptr};
    int found = 0;
    for (uint32_t i = 0; i < n && n >= 2; ++i) {
        const auto* p = static_cast<const GeometricPrimitive*>(nlst_index(geometry->primitives, i));
        if (p->type != KTGEO_POINT) continue;
        if (found < 2) points[found] = &p->geom.point.coord;
        ++found;
    }
    if (found == 2) {
        *distance = qd_te_cogo_distance_2d(points[0], points[1]);
        return 1;
    }
    *done = 1;
    return 1;
}
