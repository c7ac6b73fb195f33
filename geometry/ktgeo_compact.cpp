// Compact blob forms: one simple primitive (a point, a polyline, a path of
// one polyline, an area bounded by one polyline, or a circle) stored as a
// tag, an optional coordinate-system id, the centroid and the bare
// coordinates. The writer side decides whether an object qualifies; the
// readers rebuild the primitive and complete the object.
//
// Tag letters: 1 the kind ("P" point; "R", "F", "L" a line of direction 0,
// 1, 2; "A" area), 2 the dimension, 3 "d" when an id follows else "D", 4 the
// primitive ("P", "L", "A", "C"), lower case when the object's flag is 1.
#include <cmath>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_fail.h"

namespace {

const GeometricPrimitive* only_primitive(const SpatialObject* o) {
    return static_cast<const GeometricPrimitive*>(o->primitives->data);
}

const GeoCoord* coords_of(const GeoCurve* c) {
    return c->coords ? static_cast<const GeoCoord*>(c->coords->data) : nullptr;
}
uint32_t count_of(const GeoCurve* c) { return c->coords ? c->coords->tally : 0; }

bool any_z(const GeoCurve* c) {
    for (uint32_t i = 0; i < count_of(c); ++i)
        if (ktgeo_has_z(coords_of(c)[i])) return true;
    return false;
}

bool coincide(const GeoCoord& a, const GeoCoord& b, bool with_z) {
    const double dx = a.x - b.x, dy = a.y - b.y;
    double d2 = dx * dx + dy * dy;
    if (with_z && ktgeo_has_z(a) && ktgeo_has_z(b)) d2 += (a.z - b.z) * (a.z - b.z);
    return d2 < 1e-20;
}

// The curve a line, path or area form stores, or null.
const GeoCurve* stored_curve(const GeometricPrimitive* p) {
    switch (p->type) {
        case KTGEO_CURVE: return &p->geom.curve;
        case KTGEO_PATH: return static_cast<const GeoCurve*>(p->geom.path.curves->data);
        case KTGEO_POLYGON:
            return static_cast<const GeoCurve*>(p->geom.polygon.exterior.curves->data);
        default: return nullptr;
    }
}

// The tag and, when the object has one, its id at p (room for 8).
uint8_t* put_tag(uint8_t* p, const SpatialObject* o, char kind, char dim, char primitive) {
    const char tag[4] = {kind, dim, o->csid ? 'd' : 'D',
                         o->flag == 1 ? static_cast<char>(primitive | 0x20) : primitive};
    p = byte_put_c4(p, tag);
    return o->csid ? byte_put_ui4(p, static_cast<uint32_t>(o->csid)) : p;
}

uint8_t* put_xy(uint8_t* p, const GeoCoord& c) { return byte_put_f8(byte_put_f8(p, c.x), c.y); }
uint8_t* put_xyz(uint8_t* p, const GeoCoord& c) { return byte_put_f8(put_xy(p, c), c.z); }
uint8_t* put_coord(uint8_t* p, const GeoCoord& c, bool three) { return three ? put_xyz(p, c) : put_xy(p, c); }

// A compact point: tag, id and the coordinate.
int write_point(const SpatialObject* o, BlobBuffer* w, bool three) {
    uint8_t* p = ktgeo_blob_room(w, 8 + 24);
    if (!p) return 0;
    p = put_tag(p, o, 'P', three ? '3' : '2', 'P');
    return ktgeo_blob_written_to(w, put_coord(p, only_primitive(o)->geom.point.coord, three));
}

char line_kind(int32_t direction) { return "RFL"[direction]; }
char list_kind(const GeometricPrimitive* p) {
    if (p->type == KTGEO_POLYGON) return 'A';
    return line_kind(stored_curve(p)->direction);
}
char list_primitive(const GeometricPrimitive* p) {
    return p->type == KTGEO_CURVE ? 'L' : p->type == KTGEO_PATH ? 'P' : 'A';
}

int write_list(const SpatialObject* o, BlobBuffer* w, bool three) {
    const GeometricPrimitive* g = only_primitive(o);
    const GeoCurve* c = stored_curve(g);
    const uint32_t n = count_of(c);
    // Tag, id, centroid and count, then the coordinates in runs written
    // after one reservation each (the first with the head).
    const uint32_t width = three ? 24 : 16;
    constexpr uint32_t kRun = 1024;
    uint8_t* p = ktgeo_blob_room(w, 8 + 24 + 4 + width * (n < kRun ? n : kRun));
    if (!p) return 0;
    p = put_tag(p, o, list_kind(g), three ? '3' : '2', list_primitive(g));
    p = byte_put_ui4(put_coord(p, o->centroid, three), n);
    for (uint32_t at = 0; at < n; at += kRun) {
        const uint32_t m = n - at < kRun ? n - at : kRun;
        if (at > 0) {
            ktgeo_blob_written_to(w, p);
            if (!(p = ktgeo_blob_room(w, width * m))) return 0;
        }
        for (const GeoCoord* k = coords_of(c) + at; k != coords_of(c) + at + m; ++k)
            p = put_coord(p, *k, three);
    }
    return ktgeo_blob_written_to(w, p);
}

enum class Form { none, point2, point3, list2, list3, circle };

// Dimension of a line form: 3 when the centroid has Z, 2 when no
// coordinate has Z (`flat`: the caller knows none has), otherwise none.
Form list_form(const SpatialObject* o, const GeoCurve* c, bool flat) {
    if (ktgeo_has_z(o->centroid)) return Form::list3;
    return !flat && any_z(c) ? Form::none : Form::list2;
}

Form compact_form(const SpatialObject* o, bool flat) {
    if (ktgeo_coord_is_unset(o->centroid) || !ktgeo_coord_is_unset(o->second_point) ||
        !o->primitives || o->primitives->tally != 1)
        return Form::none;
    const GeometricPrimitive* p = only_primitive(o);
    switch (p->type) {
        case KTGEO_POINT: {
            const GeoPoint& pt = p->geom.point;
            if (pt.direction || !coincide(pt.coord, o->centroid, true)) return Form::none;
            return ktgeo_has_z(pt.coord) ? Form::point3 : Form::point2;
        }
        case KTGEO_CURVE: {
            const GeoCurve& c = p->geom.curve;
            if (c.curve_type != KTGEO_POLYLINE || c.direction < 0 || c.direction > 2)
                return Form::none;
            return list_form(o, &c, flat);
        }
        case KTGEO_PATH: {
            const GeoPath& path = p->geom.path;
            if (!path.curves || path.curves->tally != 1) return Form::none;
            const GeoCurve& c = *static_cast<const GeoCurve*>(path.curves->data);
            if (c.curve_type != KTGEO_POLYLINE || c.direction != path.direction ||
                c.direction < 0 || c.direction > 2)
                return Form::none;
            return list_form(o, &c, flat);
        }
        case KTGEO_POLYGON: {
            const GeoPolygon& g = p->geom.polygon;
            if ((g.interiors && g.interiors->tally) || !g.exterior.curves ||
                g.exterior.curves->tally != 1)
                return Form::none;
            const GeoCurve& c = *static_cast<const GeoCurve*>(g.exterior.curves->data);
            if (c.direction != KTGEO_DIR_NONE) return Form::none;
            if (c.curve_type == KTGEO_POLYLINE) return list_form(o, &c, flat);
            // A circle: three coordinates, the middle one its centre, the
            // first and last the same point on it.
            if (c.curve_type == KTGEO_CIRCULAR_ARC && !ktgeo_has_z(o->centroid) &&
                count_of(&c) == 3 && !any_z(&c) &&
                coincide(coords_of(&c)[0], coords_of(&c)[2], false))
                return Form::circle;
            return Form::none;
        }
        default: return Form::none;
    }
}

}  // namespace

int pack_compact_point2d(const SpatialObject* o, BlobBuffer* w) { return write_point(o, w, false); }
int pack_compact_point3d(const SpatialObject* o, BlobBuffer* w) { return write_point(o, w, true); }

int pack_compact_list2d(const SpatialObject* o, BlobBuffer* w) { return write_list(o, w, false); }
int pack_compact_list3d(const SpatialObject* o, BlobBuffer* w) { return write_list(o, w, true); }

int pack_compact_circle(const SpatialObject* o, BlobBuffer* w) {
    const GeoCoord* c = coords_of(stored_curve(only_primitive(o)));
    const double radius = std::hypot(c[0].x - c[1].x, c[0].y - c[1].y);
    uint8_t* p = ktgeo_blob_room(w, 8 + 40);
    if (!p) return 0;
    p = put_xy(put_xy(put_tag(p, o, 'A', '2', 'C'), o->centroid), c[1]);
    return ktgeo_blob_written_to(w, byte_put_f8(p, radius));
}

int pack_compact_known(SpatialObject* object, BlobBuffer* w, int flat) {
    switch (compact_form(object, flat != 0)) {
        case Form::point2: return pack_compact_point2d(object, w);
        case Form::point3: return pack_compact_point3d(object, w);
        case Form::list2: return pack_compact_list2d(object, w);
        case Form::list3: return pack_compact_list3d(object, w);
        case Form::circle: return pack_compact_circle(object, w);
        case Form::none: break;
    }
    return -1;
}

int pack_compact(SpatialObject* object, BlobBuffer* w) { return pack_compact_known(object, w, 0); }

// ------------------------------------------------------------ readers

namespace {

bool read_xy(BlobBuffer* r, GeoCoord* c) {
    c->z = KTGEO_NO_Z;
    return ktgeo_blob_read_f8(r, &c->x) && ktgeo_blob_read_f8(r, &c->y);
}
bool read_xyz(BlobBuffer* r, GeoCoord* c) { return read_xy(r, c) && ktgeo_blob_read_f8(r, &c->z); }
bool read_coord(BlobBuffer* r, GeoCoord* c, bool three) {
    return three ? read_xyz(r, c) : read_xy(r, c);
}

// Resets the object and reads the id when one follows.
bool begin(BlobBuffer* r, SpatialObject* o, int has_id) {
    ktgeo_so_init_empty(o);
    uint32_t id = 0;
    if (has_id && !ktgeo_blob_read_ui4(r, &id)) return false;
    o->csid = static_cast<int32_t>(id);
    return true;
}

bool at_end(BlobBuffer* r, const char* reader) {
    if (ktgeo_blob_at_end(r)) return true;
    QD_FAIL("UKT_1", "function%s", reader, "param%s", "b", nullptr);
    return false;
}

// Makes the object's single primitive and completes the object; the
// primitive's lists go with it either way.
int finish(SpatialObject* o, GeometricPrimitive* p) {
    o->primitives = ktgeo_primitive_list_new(p);
    if (!o->primitives) {
        ktgeo_primitive_release(p, nullptr);
        return 0;
    }
    ktgeo_so_complete(o);
    return 1;
}

int read_point(BlobBuffer* r, SpatialObject* o, int has_id, bool three, const char* reader) {
    GeoCoord c;
    if (!begin(r, o, has_id) || !read_coord(r, &c, three)) return 0;
    if (!at_end(r, reader)) return 0;
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POINT, &p);
    p.geom.point.coord = c;
    if (three) o->centroid = c;
    return finish(o, &p);
}

// A polyline of `direction` from a stored list; ref the stored centroid.
GeoCurve line_curve(nlst* coords, int32_t direction, const GeoCoord& ref) {
    GeoCurve c;
    ktgeo_curve_init(&c);
    c.direction = direction;
    c.coords = coords;
    c.ref = ref;
    return c;
}

enum class Shape { line, path, area };

int read_list(BlobBuffer* r, SpatialObject* o, int has_id, bool three, Shape shape,
              int32_t direction, const char* reader) {
    GeoCoord centroid;
    uint32_t n = 0;
    if (!begin(r, o, has_id) || !read_coord(r, &centroid, three) || !ktgeo_blob_read_ui4(r, &n))
        return 0;
    if (n > ktgeo_blob_left(r) / (three ? 24u : 16u)) return 0;
    nlst* coords = ktgeo_coord_list_alloc(n);
    if (!coords) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        GeoCoord c;
        read_coord(r, &c, three);
        nlst_add(coords, &c);
    }
    if (!at_end(r, reader)) {
        nlst_free(coords);
        return 0;
    }
    o->centroid = centroid;
    GeometricPrimitive p;
    if (shape == Shape::line) {
        ktgeo_util_primitive_init(KTGEO_CURVE, &p);
        p.geom.curve = line_curve(coords, direction, centroid);
        return finish(o, &p);
    }
    GeoPath* path;
    if (shape == Shape::path) {
        ktgeo_util_primitive_init(KTGEO_PATH, &p);
        path = &p.geom.path;
        path->ref = centroid;
        path->direction = direction;
    } else {
        ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
        p.geom.polygon.label = centroid;
        path = &p.geom.polygon.exterior;
        direction = KTGEO_DIR_NONE;
    }
    const GeoCurve curve = line_curve(coords, direction, shape == Shape::path ? centroid
                                                                              : KTGEO_UNSET_COORD);
    path->curves = ktgeo_curve_list_new(&curve);
    if (!path->curves) {
        nlst_free(coords);
        return 0;
    }
    return finish(o, &p);
}

}  // namespace

int unpack_p2dp(BlobBuffer* r, SpatialObject* o, int has_id) {
    return read_point(r, o, has_id, false, "unpack_p2dp");
}
int unpack_p3dp(BlobBuffer* r, SpatialObject* o, int has_id) {
    return read_point(r, o, has_id, true, "unpack_p3dp");
}
int unpack_l2dl(BlobBuffer* r, SpatialObject* o, int has_id, int32_t direction) {
    return read_list(r, o, has_id, false, Shape::line, direction, "unpack_l2dl");
}
int unpack_l3dl(BlobBuffer* r, SpatialObject* o, int has_id, int32_t direction) {
    return read_list(r, o, has_id, true, Shape::line, direction, "unpack_l3dl");
}
int unpack_l2dp(BlobBuffer* r, SpatialObject* o, int has_id, int32_t direction) {
    return read_list(r, o, has_id, false, Shape::path, direction, "unpack_l2dp");
}
int unpack_l3dp(BlobBuffer* r, SpatialObject* o, int has_id, int32_t direction) {
    return read_list(r, o, has_id, true, Shape::path, direction, "unpack_l3dp");
}
int unpack_a2da(BlobBuffer* r, SpatialObject* o, int has_id) {
    return read_list(r, o, has_id, false, Shape::area, KTGEO_DIR_NONE, "unpack_a2da");
}
int unpack_a3da(BlobBuffer* r, SpatialObject* o, int has_id) {
    return read_list(r, o, has_id, true, Shape::area, KTGEO_DIR_NONE, "unpack_a3da");
}

int unpack_c2da(BlobBuffer* r, SpatialObject* o, int has_id) {
    GeoCoord centroid, centre;
    double radius;
    if (!begin(r, o, has_id) || !read_xy(r, &centroid) || !read_xy(r, &centre) ||
        !ktgeo_blob_read_f8(r, &radius))
        return 0;
    if (!at_end(r, "unpack_c2da")) return 0;
    const GeoCoord on = {centre.x + radius, centre.y, KTGEO_NO_Z};
    const GeoCoord ring[3] = {on, centre, on};
    nlst* coords = ktgeo_coord_list_from_array(ring, 3);
    if (!coords) return 0;
    o->centroid = centroid;
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon.label = centroid;
    GeoCurve arc = line_curve(coords, KTGEO_DIR_NONE, KTGEO_UNSET_COORD);
    arc.curve_type = KTGEO_CIRCULAR_ARC;
    p.geom.polygon.exterior.curves = ktgeo_curve_list_new(&arc);
    if (!p.geom.polygon.exterior.curves) {
        nlst_free(coords);
        return 0;
    }
    return finish(o, &p);
}
