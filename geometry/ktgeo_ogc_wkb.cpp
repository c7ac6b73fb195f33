// Well-known binary (2D): codecs, the object writer and reader, and the
// "OGC0"/"OGC1" blobs. Empty geometries are the 5-byte header alone; the
// writer writes little-endian, the reader takes any byte-order byte but 1
// as big-endian. Counts are checked against the bytes left before anything
// is allocated, and collections nest at most KTGEO_OGC_MAX_DEPTH deep.
#include <bit>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "ktgeo_ogc_lines.h"

static_assert(std::endian::native == std::endian::little,
              "the binary codecs take byte order 1 as the machine's order");

namespace {

const uint8_t* too_big(const char* function) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", "TOO BIG", nullptr);
    return nullptr;
}

bool fits(const uint8_t* p, const uint8_t* end, int n) { return !end || end - p >= n; }

}  // namespace

// ------------------------------------------------------------ codecs

const uint8_t* ktgeo_ogc_decode_uc1(const uint8_t* p, const uint8_t* end, uint8_t* value) {
    if (!p) return nullptr;
    if (!fits(p, end, 1)) return too_big("ktgeo_ogc_decode_uc1");
    *value = *p;
    return p + 1;
}

uint8_t* ktgeo_ogc_encode_uc1(uint8_t* p, const uint8_t* end, uint8_t value) {
    if (!p) return nullptr;
    if (!fits(p, end, 1)) return const_cast<uint8_t*>(too_big("ktgeo_ogc_encode_uc1"));
    *p = value;
    return p + 1;
}

const uint8_t* ktgeo_ogc_port_decode(const uint8_t* p, const uint8_t* end, int order,
                                     void* value, int n) {
    if (!p) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(value);
    if (!fits(p, end, n)) {
        std::memset(out, 0, static_cast<size_t>(n));
        return too_big("ktgeo_ogc_port_decode");
    }
    for (int i = 0; i < n; ++i) out[i] = order == 1 ? p[i] : p[n - 1 - i];
    return p + n;
}

uint8_t* ktgeo_ogc_port_encode(uint8_t* p, const uint8_t* end, int order, const void* value,
                               int n) {
    if (!p) return nullptr;
    if (!fits(p, end, n)) return const_cast<uint8_t*>(too_big("ktgeo_ogc_port_encode"));
    const uint8_t* in = static_cast<const uint8_t*>(value);
    for (int i = 0; i < n; ++i) p[i] = order == 1 ? in[i] : in[n - 1 - i];
    return p + n;
}

const uint8_t* ktgeo_ogc_decode_ui4(const uint8_t* p, const uint8_t* end, int order,
                                    uint32_t* value) {
    return ktgeo_ogc_port_decode(p, end, order, value, 4);
}

uint8_t* ktgeo_ogc_encode_ui4(uint8_t* p, const uint8_t* end, int order, uint32_t value) {
    return ktgeo_ogc_port_encode(p, end, order, &value, 4);
}

const uint8_t* ktgeo_ogc_decode_f8(const uint8_t* p, const uint8_t* end, int order,
                                   double* value) {
    return ktgeo_ogc_port_decode(p, end, order, value, 8);
}

uint8_t* ktgeo_ogc_encode_f8(uint8_t* p, const uint8_t* end, int order, double value) {
    return ktgeo_ogc_port_encode(p, end, order, &value, 8);
}

const uint8_t* ktgeo_ogc_decode_header(const uint8_t* p, const uint8_t* end, int* order,
                                       uint32_t* type) {
    uint8_t b = 0;
    p = ktgeo_ogc_decode_uc1(p, end, &b);
    *order = b == 1 ? 1 : 0;
    return ktgeo_ogc_decode_ui4(p, end, *order, type);
}

uint8_t* ktgeo_ogc_encode_header(uint8_t* p, const uint8_t* end, int order, uint32_t type) {
    p = ktgeo_ogc_encode_uc1(p, end, order == 1 ? 1 : 0);
    return ktgeo_ogc_encode_ui4(p, end, order, type);
}

const uint8_t* ktgeo_ogc_decode_xy(const uint8_t* p, const uint8_t* end, int order, double* x,
                                   double* y) {
    p = ktgeo_ogc_decode_f8(p, end, order, x);
    return ktgeo_ogc_decode_f8(p, end, order, y);
}

uint8_t* ktgeo_ogc_encode_xy(uint8_t* p, const uint8_t* end, int order, double x, double y) {
    p = ktgeo_ogc_encode_f8(p, end, order, x);
    return ktgeo_ogc_encode_f8(p, end, order, y);
}

const uint8_t* ktgeo_ogc_decode_coord(const uint8_t* p, const uint8_t* end, int order,
                                      GeoCoord* coord) {
    coord->z = KTGEO_NO_Z;
    return ktgeo_ogc_decode_xy(p, end, order, &coord->x, &coord->y);
}

namespace {

// A count whose items need at least `item` bytes each: refused ("TOO BIG")
// when the bytes left cannot hold them.
const uint8_t* decode_count(const uint8_t* p, const uint8_t* end, int order, uint32_t item,
                            uint32_t* count) {
    p = ktgeo_ogc_decode_ui4(p, end, order, count);
    if (p && end && uint64_t{*count} * item > static_cast<uint64_t>(end - p)) {
        *count = 0;
        return too_big("ktgeo_ogc_port_decode");
    }
    return p;
}

const uint8_t* decode_coords(const uint8_t* p, const uint8_t* end, int order,
                             std::vector<GeoCoord>* coords) {
    uint32_t n = 0;
    p = decode_count(p, end, order, 16, &n);
    if (!p) return nullptr;
    coords->resize(n);
    for (uint32_t i = 0; p && i < n; ++i) p = ktgeo_ogc_decode_coord(p, end, order, &(*coords)[i]);
    return p;
}

}  // namespace

const uint8_t* ktgeo_ogc_decode_point_list(const uint8_t* p, const uint8_t* end, int order,
                                           nlst** list) {
    *list = nullptr;
    std::vector<GeoCoord> coords;
    p = decode_coords(p, end, order, &coords);
    if (!p) return nullptr;
    *list = ktgeo_coord_list_from_array(coords.data(), static_cast<uint32_t>(coords.size()));
    return *list ? p : nullptr;
}

uint8_t* ktgeo_ogc_encode_point_list(uint8_t* p, const uint8_t* end, int order,
                                     const nlst* list) {
    p = ktgeo_ogc_encode_ui4(p, end, order, list->tally);
    const GeoCoord* c = static_cast<const GeoCoord*>(list->data);
    for (uint32_t i = 0; p && i < list->tally; ++i)
        p = ktgeo_ogc_encode_xy(p, end, order, c[i].x, c[i].y);
    return p;
}

// ------------------------------------------------------------ decoding

namespace {

const uint8_t* decode_geometry(const uint8_t* p, SpatialObject* object, const uint8_t* end,
                               int depth);

const uint8_t* decode_linestring(const uint8_t* p, const uint8_t* end, int order,
                                 SpatialObject* object) {
    std::vector<GeoCoord> coords;
    p = decode_coords(p, end, order, &coords);
    if (!p || coords.empty()) return p;
    GeometricPrimitive prim;
    ktgeo_util_primitive_init(KTGEO_CURVE, &prim);
    prim.geom.curve.coords =
        ktgeo_coord_list_from_array(coords.data(), static_cast<uint32_t>(coords.size()));
    if (!prim.geom.curve.coords) return nullptr;
    if (!ktgeo_util_add_new_primitive(&prim, object)) {
        nlst_free(prim.geom.curve.coords);
        return nullptr;
    }
    return p;
}

const uint8_t* decode_polygon(const uint8_t* p, const uint8_t* end, int order,
                              SpatialObject* object) {
    uint32_t n = 0;
    p = decode_count(p, end, order, 4, &n);
    std::vector<std::vector<GeoCoord>> rings;
    for (uint32_t i = 0; p && i < n; ++i) {
        std::vector<GeoCoord> ring;
        p = decode_coords(p, end, order, &ring);
        if (p && !ring.empty()) rings.push_back(std::move(ring));
    }
    if (!p) return nullptr;
    return ktgeo_ogc_add_polygon(object, rings) ? p : nullptr;
}

const uint8_t* decode_members(const uint8_t* p, const uint8_t* end, int order,
                              SpatialObject* object, int depth) {
    if (depth >= KTGEO_OGC_MAX_DEPTH) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_decode_members", "param%s", "data", nullptr);
        return nullptr;
    }
    uint32_t n = 0;
    p = decode_count(p, end, order, 5, &n);
    for (uint32_t i = 0; p && i < n; ++i) p = decode_geometry(p, object, end, depth + 1);
    return p;
}

const uint8_t* decode_geometry(const uint8_t* p, SpatialObject* object, const uint8_t* end,
                               int depth) {
    int order = 1;
    uint32_t type = 0;
    p = ktgeo_ogc_decode_header(p, end, &order, &type);
    if (!p) return nullptr;
    if (type < 1 || type > 7) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_decode_wkb_v1_geometry", "param%s", "data",
                nullptr);
        return nullptr;
    }
    if (p != end) {
        switch (type) {
            case 1: {
                GeoCoord c;
                p = ktgeo_ogc_decode_coord(p, end, order, &c);
                if (p && !ktgeo_util_add_new_point(object, &c, nullptr)) p = nullptr;
                break;
            }
            case 2: p = decode_linestring(p, end, order, object); break;
            case 3: p = decode_polygon(p, end, order, object); break;
            default: p = decode_members(p, end, order, object, depth); break;
        }
        if (!p) return nullptr;
    }
    static const int32_t kState[] = {0, 1, 3, 5, 7, 9, 11, 6};
    object->ogc_state = kState[type];
    return p;
}

}  // namespace

const uint8_t* ktgeo_ogc_decode_wkb_v1_geometry(const uint8_t* data, SpatialObject* object,
                                                const uint8_t* end) {
    return decode_geometry(data, object, end, 0);
}

int ktgeo_ogc_cast_to_geometry(SpatialObject* object, const uint8_t* data, uint32_t length,
                               uint32_t csid) {
    ktgeo_so_init_empty(object);
    object->csid = static_cast<int32_t>(csid);
    static const uint8_t kNothing = 0;
    if (!data) length = 0;
    const uint8_t* start = data ? data : &kNothing;
    const uint8_t* end = start + length;
    const uint8_t* p = decode_geometry(start, object, end, 0);
    if (p && p != end) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_cast_to_geometry", "param%s", "data", nullptr);
        p = nullptr;
    }
    if (!p) {
        ktgeo_so_release(object);
        ktgeo_so_init_empty(object);
        object->csid = static_cast<int32_t>(csid);
        return 0;
    }
    ktgeo_so_complete(object);
    return 1;
}

// ------------------------------------------------------------ encoding

namespace {

// A primitive in member form (nothing when empty) or single form (the
// header alone when empty).
uint8_t* encode_primitive(uint8_t* p, const uint8_t* end, GeometricPrimitive* prim, bool single) {
    switch (prim->type) {
        case KTGEO_POINT:
            p = ktgeo_ogc_encode_header(p, end, 1, 1);
            return ktgeo_ogc_encode_xy(p, end, 1, prim->geom.point.coord.x, prim->geom.point.coord.y);
        case KTGEO_CURVE:
        case KTGEO_PATH: {
            const nlst* line = prim->type == KTGEO_CURVE ? ktgeo_ogc_curve_line(&prim->geom.curve)
                                                         : ktgeo_ogc_path_line(&prim->geom.path);
            if (!line) return single ? ktgeo_ogc_encode_header(p, end, 1, 2) : p;
            p = ktgeo_ogc_encode_header(p, end, 1, 2);
            return ktgeo_ogc_encode_point_list(p, end, 1, line);
        }
        case KTGEO_POLYGON: {
            GeoPolygon& g = prim->geom.polygon;
            if (g.valid != 1) return single ? ktgeo_ogc_encode_header(p, end, 1, 3) : p;
            std::vector<const nlst*> rings;
            if (ktgeo_ogc_ring_line(&g.exterior)) {
                ktgeo_path_expand_oriented(&g.exterior, 0);
                rings.push_back(g.exterior.expanded);
            }
            const uint32_t holes = g.interiors ? g.interiors->tally : 0;
            for (uint32_t k = 0; k < holes; ++k) {
                GeoPath* hole = static_cast<GeoPath*>(nlst_index(g.interiors, k));
                if (!ktgeo_ogc_ring_line(hole)) continue;
                ktgeo_path_expand_oriented(hole, 1);
                rings.push_back(hole->expanded);
            }
            p = ktgeo_ogc_encode_header(p, end, 1, 3);
            p = ktgeo_ogc_encode_ui4(p, end, 1, static_cast<uint32_t>(rings.size()));
            for (const nlst* ring : rings)
                if (p) p = ktgeo_ogc_encode_point_list(p, end, 1, ring);
            return p;
        }
        default: return p;
    }
}

}  // namespace

int ktgeo_ogc_cast_from_geometry(SpatialObject* object, uint8_t** wkb, uint32_t* length,
                                 uint32_t* csid) {
    *wkb = nullptr;
    *length = 0;
    OgcScan scan;
    const int32_t bytes = ktgeo_ogc_scan(&scan, object);
    if (bytes <= 0) return 0;
    uint8_t* block = static_cast<uint8_t*>(qd_alloc(static_cast<size_t>(bytes)));
    if (!block) return 0;
    const uint8_t* end = block + bytes;
    uint8_t* p = block;
    const int32_t state = object->ogc_state;
    const uint32_t n = object->primitives ? object->primitives->tally : 0;
    auto primitive = [&](uint32_t i) {
        return static_cast<GeometricPrimitive*>(nlst_index(object->primitives, i));
    };
    if (state == KTGEO_OGC_POINT || state == KTGEO_OGC_LINESTRING || state == KTGEO_OGC_POLYGON) {
        const uint32_t code = state == KTGEO_OGC_POINT ? 1 : state == KTGEO_OGC_LINESTRING ? 2 : 3;
        // The one member the scan allowed (empty members of other kinds aside).
        GeometricPrimitive* single = nullptr;
        for (uint32_t i = 0; i < n && !single; ++i) {
            const int32_t t = primitive(i)->type;
            if ((code == 1 && t == KTGEO_POINT) ||
                (code == 2 && (t == KTGEO_CURVE || t == KTGEO_PATH)) ||
                (code == 3 && t == KTGEO_POLYGON))
                single = primitive(i);
        }
        p = single ? encode_primitive(p, end, single, true) : ktgeo_ogc_encode_header(p, end, 1, code);
    } else {
        const uint32_t code = state == KTGEO_OGC_MULTIPOINT        ? 4
                              : state == KTGEO_OGC_MULTILINESTRING ? 5
                              : state == KTGEO_OGC_MULTIPOLYGON    ? 6
                                                                   : 7;
        p = ktgeo_ogc_encode_header(p, end, 1, code);
        if (scan.members > 0) {
            p = ktgeo_ogc_encode_ui4(p, end, 1, static_cast<uint32_t>(scan.members));
            for (uint32_t i = 0; p && i < n; ++i) p = encode_primitive(p, end, primitive(i), false);
        }
    }
    if (p != end) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_cast_from_geometry", "param%s", "data", nullptr);
        qd_free(block);
        return 0;
    }
    *wkb = block;
    *length = static_cast<uint32_t>(bytes);
    if (csid) *csid = static_cast<uint32_t>(object->csid);
    return 1;
}

// ------------------------------------------------------------ blobs

uint8_t* ktgeo_ogc_pack_blob(const uint8_t* wkb, uint32_t length, uint32_t csid) {
    return ktgeo_pack_wrapped("OGC", wkb, length, csid, "ktgeo_ogc_pack_blob");
}

int ktgeo_ogc_cast_from_blob(const uint8_t* blob, uint8_t** wkb, uint32_t* length,
                             uint32_t* csid) {
    *wkb = nullptr;
    *length = 0;
    BlobBuffer r;
    char tag[4];
    if (!blob || !ktgeo_blob_open(&r, blob) || !ktgeo_blob_read_c4(&r, tag)) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_cast_from_blob", "param%s", "ktb", nullptr);
        return 0;
    }
    if (std::memcmp(tag, "OGC0", 4) == 0) return ktgeo_blob_read_rest(&r, wkb, length);
    if (std::memcmp(tag, "OGC1", 4) == 0) {
        uint32_t id = 0;
        if (!ktgeo_blob_read_ui4(&r, &id)) return 0;
        if (csid) *csid = id;
        return ktgeo_blob_read_rest(&r, wkb, length);
    }
    if (tag[0] == 'O') {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_cast_from_blob", "param%s", "ktb", nullptr);
        return 0;
    }
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    int ok = ktgeo_unpack_geometry(blob, &so) == 1;
    if (ok) ok = ktgeo_ogc_cast_from_geometry(&so, wkb, length, csid);
    ktgeo_so_release(&so);
    return ok;
}
