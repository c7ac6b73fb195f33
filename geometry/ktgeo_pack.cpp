// Geometry blobs: the version-02 writer, the writer and reader entries with
// the tag dispatch, the object-record wrapper, the copy through a blob and
// the release functions. Compact forms live in ktgeo_compact, the body
// readers of every version in ktgeo_unpack.
#include "geometry/ktgeo_pack.h"

#include <cstring>
#include <initializer_list>

#include "geometry/ktgeo_cv.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

// ------------------------------------------------------------ release

namespace {

void free_list(nlst*& list) {
    if (list) nlst_free(list);
    list = nullptr;
}

void release_path_lists(GeoPath* path) {
    if (path->curves) nlst_exec(path->curves, ktgeo_curve_release, nullptr);
    free_list(path->curves);
    free_list(path->expanded);
}

}  // namespace

int ktgeo_point_release(GeoPoint* point) {
    if (point) {
        qd_free(point->direction);
        point->direction = nullptr;
    }
    return 1;
}

int ktgeo_curve_release(void* element, void*) {
    GeoCurve* curve = static_cast<GeoCurve*>(element);
    if (curve) {
        free_list(curve->coords);
        free_list(curve->stroked);
    }
    return 1;
}

int ktgeo_path_release(void* element, void*) {
    if (element) release_path_lists(static_cast<GeoPath*>(element));
    return 1;
}

int ktgeo_polygon_release(GeoPolygon* polygon) {
    if (!polygon) return 1;
    release_path_lists(&polygon->exterior);
    if (polygon->interiors) nlst_exec(polygon->interiors, ktgeo_path_release, nullptr);
    free_list(polygon->interiors);
    return 1;
}

int ktgeo_primitive_release(void* element, void*) {
    GeometricPrimitive* primitive = static_cast<GeometricPrimitive*>(element);
    if (!primitive) return 1;
    switch (primitive->type) {
        case KTGEO_POINT: ktgeo_point_release(&primitive->geom.point); break;
        case KTGEO_CURVE: ktgeo_curve_release(&primitive->geom.curve, nullptr); break;
        case KTGEO_PATH: ktgeo_path_release(&primitive->geom.path, nullptr); break;
        case KTGEO_POLYGON: ktgeo_polygon_release(&primitive->geom.polygon); break;
        default: break;
    }
    return 1;
}

int ktgeo_so_release(SpatialObject* object) {
    if (!object) return 1;
    if (object->primitives) nlst_exec(object->primitives, ktgeo_primitive_release, nullptr);
    free_list(object->primitives);
    return 1;
}

// ------------------------------------------------------------ version 02
//
// Each record's fixed part (letters, reference point, envelope, words) is
// reserved once at its largest and put straight; coordinate lists are put
// in runs after one reservation each.

namespace {

// Largest sizes of the fixed parts: a coordinate ("3" and three f8), a
// reference point ("c" and a coordinate), an envelope ("e3" and six f8).
constexpr uint32_t kCoordRoom = 25;
constexpr uint32_t kCentroidRoom = 1 + kCoordRoom;
constexpr uint32_t kEnvelopeRoom = 2 + 48;
// A point record: "p", "D", the coordinate, two words and two f4 offsets.
constexpr uint32_t kPointRoom = 2 + kCoordRoom + 16;

int letter(BlobBuffer* w, char c) {
    const uint8_t b = static_cast<uint8_t>(c);
    return ktgeo_blob_write_uc1(w, &b);
}

uint8_t* put_letter(uint8_t* p, char c) { return byte_put_uc1(p, static_cast<uint8_t>(c)); }

uint8_t* put_flag(uint8_t* p, int32_t value) { return put_letter(p, value == 1 ? 't' : 'f'); }

uint8_t* put_direction(uint8_t* p, int32_t direction) {
    return put_letter(p, direction == KTGEO_DIR_REVERSE   ? 'R'
                         : direction == KTGEO_DIR_FORWARD ? 'F'
                                                          : 'N');
}

char curve_type_letter(int32_t type) {
    switch (type) {
        case KTGEO_CIRCULAR_ARC: return 'A';
        case KTGEO_BEZIER: return 'B';
        case KTGEO_KT_CURVE: return 'H';
        default: return 'L';
    }
}

uint8_t* put_f4_offset(uint8_t* p, double to, double from) {
    return byte_put_f4(p, static_cast<float>(to - from));
}

// One coordinate at p, which has room; answers the byte after it.
uint8_t* put02_coord(uint8_t* p, const GeoCoord& coord) {
    const bool z = ktgeo_has_z(coord);
    p = byte_put_uc1(p, z ? '3' : '2');
    p = byte_put_f8(byte_put_f8(p, coord.x), coord.y);
    return z ? byte_put_f8(p, coord.z) : p;
}

uint8_t* put02_centroid(uint8_t* p, const GeoCoord& position) {
    if (ktgeo_coord_is_unset(position)) return put_letter(p, 'b');
    return put02_coord(put_letter(p, 'c'), position);
}

uint8_t* put02_envelope(uint8_t* p, const GeoCoord& min, const GeoCoord& max) {
    if (ktgeo_coord_is_unset(min)) return put_letter(p, 'd');
    const bool z = ktgeo_has_z(min);
    p = put_letter(put_letter(p, 'e'), z ? '3' : '2');
    for (const GeoCoord* c : {&min, &max}) {
        p = byte_put_f8(byte_put_f8(p, c->x), c->y);
        if (z) p = byte_put_f8(p, c->z);
    }
    return p;
}

uint8_t* put02_point(uint8_t* p, const GeoPoint& point) {
    p = put_letter(p, 'p');
    if (!point.direction) return put02_coord(put_letter(p, 'P'), point.coord);
    const GeoPointDirection* d = point.direction;
    p = put02_coord(put_letter(p, 'D'), point.coord);
    p = byte_put_i4(byte_put_i4(p, d->word1), d->word2);
    return put_f4_offset(put_f4_offset(p, d->toward.x, point.coord.x), d->toward.y, point.coord.y);
}


int tangent_field(const GeoCurve* curve, BlobBuffer* w) {
    const nlst* c = curve->coords;
    if (!c || c->tally < 2) return letter(w, '-');
    const GeoCoord* first = static_cast<const GeoCoord*>(c->data);
    const GeoCoord* last = first + (c->tally - 1);
    const bool start = curve->tangent_mode == 1 || curve->tangent_mode == 3;
    const bool end = curve->tangent_mode == 2 || curve->tangent_mode == 3;
    if (!start && !end) return letter(w, '-');
    uint8_t* p = ktgeo_blob_room(w, 17);
    if (!p) return 0;
    p = put_letter(p, start && end ? 'X' : start ? '<' : '>');
    if (start) {
        p = put_f4_offset(p, curve->start_tangent.x, first->x);
        p = put_f4_offset(p, curve->start_tangent.y, first->y);
    }
    if (end) {
        p = put_f4_offset(p, curve->end_tangent.x, last->x);
        p = put_f4_offset(p, curve->end_tangent.y, last->y);
    }
    return ktgeo_blob_written_to(w, p);
}

// The curve record without its envelope.
int curve_record(const GeoCurve* curve, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, 1 + kCentroidRoom + 4);
    if (!p) return 0;
    p = put02_centroid(put_letter(p, 'l'), curve->ref);
    p = put_direction(put_flag(p, curve->closed), curve->direction);
    p = put_letter(put_flag(p, curve->invalid), curve_type_letter(curve->curve_type));
    ktgeo_blob_written_to(w, p);
    if (!pack02_coord_list(curve->coords, w)) return 0;
    return curve->curve_type != KTGEO_KT_CURVE || tangent_field(curve, w);
}

// The envelope after a primitive's record.
int envelope_record(const GeometricPrimitive* primitive, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, kEnvelopeRoom);
    return p && ktgeo_blob_written_to(w, put02_envelope(p, primitive->env_min, primitive->env_max));
}

}  // namespace

int pack02_coord(const GeoCoord* coord, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, kCoordRoom);
    return p && ktgeo_blob_written_to(w, put02_coord(p, *coord));
}

int pack02_centroid(const GeoCoord* position, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, kCentroidRoom);
    return p && ktgeo_blob_written_to(w, put02_centroid(p, *position));
}

int pack02_envelope(const GeoCoord* min, const GeoCoord* max, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, kEnvelopeRoom);
    return p && ktgeo_blob_written_to(w, put02_envelope(p, *min, *max));
}

// The count, then the coordinates in runs written after one reservation
// each (a run's room is counted as if every coordinate had Z).
int pack02_coord_list(const nlst* list, BlobBuffer* w) {
    const uint32_t n = list ? list->tally : nlst_tally(list);
    constexpr uint32_t kRun = 1024;
    const uint32_t first = n < kRun ? n : kRun;
    uint8_t* p = ktgeo_blob_room(w, 4 + kCoordRoom * first);
    if (!p) return 0;
    p = byte_put_ui4(p, n);
    const GeoCoord* c = n ? static_cast<const GeoCoord*>(list->data) : nullptr;
    for (uint32_t at = 0; at < n; at += kRun) {
        const uint32_t m = n - at < kRun ? n - at : kRun;
        if (at > 0) {
            ktgeo_blob_written_to(w, p);
            if (!(p = ktgeo_blob_room(w, kCoordRoom * m))) return 0;
        }
        for (uint32_t i = 0; i < m; ++i) p = put02_coord(p, c[at + i]);
    }
    return ktgeo_blob_written_to(w, p);
}

int pack02_point(const GeoPoint* point, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, kPointRoom);
    return p && ktgeo_blob_written_to(w, put02_point(p, *point));
}

int pack02_curve(const GeoCurve* curve, BlobBuffer* w) { return curve_record(curve, w); }

int pack02_path(const GeoPath* path, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, 1 + kCentroidRoom + 3);
    if (!p) return 0;
    p = put02_centroid(put_letter(p, 'h'), path->ref);
    p = put_flag(put_flag(p, path->closed), path->connected);
    ktgeo_blob_written_to(w, put_direction(p, path->direction));
    if (path->curves)
        for (uint32_t i = 0; i < path->curves->tally; ++i)
            if (!curve_record(static_cast<const GeoCurve*>(path->curves->data) + i, w)) return 0;
    return letter(w, '0');
}

int pack02_polygon(const GeoPolygon* polygon, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, 1 + kCentroidRoom + 2);
    if (!p) return 0;
    p = put_flag(put02_centroid(put_letter(p, 'r'), polygon->label), polygon->valid);
    ktgeo_blob_written_to(w, put_letter(p, polygon->interiors ? 'I' : 'O'));
    if (!pack02_path(&polygon->exterior, w)) return 0;
    if (!polygon->interiors) return 1;
    for (uint32_t i = 0; i < polygon->interiors->tally; ++i)
        if (!pack02_path(static_cast<const GeoPath*>(polygon->interiors->data) + i, w)) return 0;
    return letter(w, '0');
}

int pack02_goemetry(GeometricPrimitive* primitive, BlobBuffer* w) {
    switch (primitive->type) {
        case KTGEO_POINT: {
            // A point record keeps no envelope: "d".
            uint8_t* p = ktgeo_blob_room(w, kPointRoom + 1);
            return p && ktgeo_blob_written_to(w, put_letter(put02_point(p, primitive->geom.point), 'd'));
        }
        case KTGEO_CURVE: return pack02_curve(&primitive->geom.curve, w) && envelope_record(primitive, w);
        case KTGEO_PATH: return pack02_path(&primitive->geom.path, w) && envelope_record(primitive, w);
        case KTGEO_POLYGON:
            return pack02_polygon(&primitive->geom.polygon, w) && envelope_record(primitive, w);
        default:
            QD_FAIL("UKT_1", "function%s", "pack02_goemetry", "param%s", "geometry", nullptr);
            return 0;
    }
}

int pack02_spatialobject(SpatialObject* object, BlobBuffer* w) {
    uint8_t* p = ktgeo_blob_room(w, 4 + kEnvelopeRoom + 1 + 2 * kCentroidRoom);
    if (!p) return 0;
    p = byte_put_ui4(p, static_cast<uint32_t>(object->csid));
    p = put02_envelope(p, object->env_min, object->env_max);
    p = put02_centroid(put_flag(p, object->flag), object->centroid);
    ktgeo_blob_written_to(w, put02_centroid(p, object->second_point));
    if (object->primitives)
        for (uint32_t i = 0; i < object->primitives->tally; ++i)
            if (!pack02_goemetry(static_cast<GeometricPrimitive*>(object->primitives->data) + i, w))
                return 0;
    return letter(w, '0');
}

// ------------------------------------------------------------ writer entries

namespace {

uint64_t curve_bytes(const GeoCurve* c) {
    return 80 + 25 * uint64_t{c->coords ? c->coords->tally : 0};
}

uint64_t path_bytes(const GeoPath* p) {
    uint64_t n = 64;
    if (p->curves)
        for (uint32_t i = 0; i < p->curves->tally; ++i)
            n += curve_bytes(static_cast<const GeoCurve*>(p->curves->data) + i);
    return n;
}

// Room for the whole blob: every record's letters and words are counted
// with room to spare, every coordinate as a 3-D one, so a blob is written
// without growing and small blobs stay small blocks.
uint32_t size_estimate(const SpatialObject* o) {
    uint64_t n = 128;
    const nlst* list = o->primitives;
    for (uint32_t i = 0; list && i < list->tally && n < (1u << 30); ++i) {
        const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(list->data) + i;
        n += 64;
        switch (p->type) {
            case KTGEO_POINT: n += 48; break;
            case KTGEO_CURVE: n += curve_bytes(&p->geom.curve); break;
            case KTGEO_PATH: n += path_bytes(&p->geom.path); break;
            case KTGEO_POLYGON: {
                const GeoPolygon& g = p->geom.polygon;
                n += 64 + path_bytes(&g.exterior);
                for (uint32_t k = 0; g.interiors && k < g.interiors->tally; ++k)
                    n += path_bytes(static_cast<const GeoPath*>(g.interiors->data) + k);
                break;
            }
            default: break;
        }
    }
    return static_cast<uint32_t>(n < (1u << 30) ? n : (1u << 30));
}

int pack_tagged(SpatialObject* object, BlobBuffer* w, int flat) {
    const uint32_t placeholder = 0;
    if (!ktgeo_blob_write_ui4(w, &placeholder)) return 0;
    const int compact = pack_compact_known(object, w, flat);
    if (compact >= 0) return compact;
    return ktgeo_blob_write_c4(w, "KT02") && pack02_spatialobject(object, w);
}

uint8_t* pack_geometry(SpatialObject* object, int flat) {
    if (object->ogc_state != 0) {
        uint8_t* wkb = nullptr;
        uint32_t length = 0, csid = 0;
        if (!ktgeo_ogc_cast_from_geometry(object, &wkb, &length, &csid)) return nullptr;
        uint8_t* blob = ktgeo_ogc_pack_blob(wkb, length, csid);
        qd_free(wkb);
        return blob;
    }
    BlobBuffer w;
    if (!ktgeo_blob_init(&w, size_estimate(object))) return nullptr;
    if (!pack_tagged(object, &w, flat)) {
        ktgeo_blob_free(&w);
        return nullptr;
    }
    return ktgeo_blob_detach(&w);
}

}  // namespace

int ktgeo_pack_tagged(SpatialObject* object, BlobBuffer* w) { return pack_tagged(object, w, 0); }

uint8_t* ktgeo_pack_geometry(SpatialObject* object) { return pack_geometry(object, 0); }

uint8_t* ktgeo_pack_geometry_flat(SpatialObject* object) { return pack_geometry(object, 1); }

uint8_t* ktgeo_pack_geometry_completed(SpatialObject* object) {
    ktgeo_so_complete(object);
    return ktgeo_pack_geometry(object);
}

uint8_t* ktgeo_pack_wrapped(const char* tag, const uint8_t* body, uint32_t length,
                           uint32_t csid, const char* function) {
    const uint32_t head = csid ? 12 : 8;
    if (length > UINT32_MAX - head) {
        QD_FAIL("UKT_0", "function%s", function, nullptr);
        return nullptr;
    }
    const uint32_t total = length + head;
    char name[5] = {tag[0], tag[1], tag[2], csid ? '1' : '0', '\0'};
    BlobBuffer w;
    if (!ktgeo_blob_init(&w, total)) return nullptr;
    if (ktgeo_blob_write_ui4(&w, &total) && ktgeo_blob_write_c4(&w, name) &&
        (!csid || ktgeo_blob_write_ui4(&w, &csid)) && ktgeo_blob_write_bytes(&w, body, length))
        return ktgeo_blob_detach(&w);
    ktgeo_blob_free(&w);
    return nullptr;
}

uint8_t* ktgeo_pack_cv(const uint8_t* record, uint32_t length, uint32_t csid) {
    return ktgeo_pack_wrapped("CV0", record, length, csid, "ktgeo_pack_cv");
}

// ------------------------------------------------------------ reader entries

namespace {

bool is_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The tag as reported: characters outside `keep` as "x" and two hex digits.
void tag_text(const char* tag, bool printable, char* out) {
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(tag[i]);
        if (printable ? (c >= 0x20 && c < 0x7f) : is_alnum(static_cast<char>(c))) {
            *out++ = static_cast<char>(c);
        } else {
            *out++ = 'x';
            *out++ = kHex[c >> 4];
            *out++ = kHex[c & 15];
        }
    }
    *out = '\0';
}

void report_unknown_tag(const char* tag, bool printable) {
    char text[13];
    tag_text(tag, printable, text);
    QD_FAIL("UKT_I", "type%s", text, nullptr);
}

enum class Compact { none, point2, point3, line2, line3, path2, path3, area2, area3, circle };

struct CompactTag {
    Compact form;
    int has_id;
    int32_t direction;
};

// The compact form a tag names (68 tags), or Compact::none.
CompactTag compact_tag(const char* t) {
    CompactTag none{Compact::none, 0, 0};
    if ((t[1] != '2' && t[1] != '3') || (t[2] != 'D' && t[2] != 'd')) return none;
    const bool three = t[1] == '3';
    const int has_id = t[2] == 'd';
    const char kind = static_cast<char>(t[3] & ~0x20);  // upper case
    if (t[3] == kind || t[3] == static_cast<char>(kind | 0x20)) {
        switch (t[0]) {
            case 'P':
                if (kind == 'P') return {three ? Compact::point3 : Compact::point2, has_id, 0};
                break;
            case 'R':
            case 'F':
            case 'L': {
                const int32_t dir = t[0] == 'R' ? 0 : t[0] == 'F' ? 1 : 2;
                if (kind == 'L') return {three ? Compact::line3 : Compact::line2, has_id, dir};
                if (kind == 'P') return {three ? Compact::path3 : Compact::path2, has_id, dir};
                break;
            }
            case 'A':
                if (kind == 'A') return {three ? Compact::area3 : Compact::area2, has_id, 0};
                if (kind == 'C' && !three) return {Compact::circle, has_id, 0};
                break;
            default: break;
        }
    }
    return none;
}

int read_compact(const CompactTag& c, BlobBuffer* r, SpatialObject* object) {
    switch (c.form) {
        case Compact::point2: return unpack_p2dp(r, object, c.has_id);
        case Compact::point3: return unpack_p3dp(r, object, c.has_id);
        case Compact::line2: return unpack_l2dl(r, object, c.has_id, c.direction);
        case Compact::line3: return unpack_l3dl(r, object, c.has_id, c.direction);
        case Compact::path2: return unpack_l2dp(r, object, c.has_id, c.direction);
        case Compact::path3: return unpack_l3dp(r, object, c.has_id, c.direction);
        case Compact::area2: return unpack_a2da(r, object, c.has_id);
        case Compact::area3: return unpack_a3da(r, object, c.has_id);
        case Compact::circle: return unpack_c2da(r, object, c.has_id);
        case Compact::none: break;
    }
    return 0;
}

// "OGC0", "OGC1", "CV00", "CV01": the body after the optional id goes to
// the form's decoder.
int read_wrapped(BlobBuffer* r, SpatialObject* object, bool ogc, bool has_id) {
    uint32_t csid = 0;
    if (has_id && !ktgeo_blob_read_ui4(r, &csid)) return 0;
    uint8_t* block = nullptr;
    uint32_t length = 0;
    if (!ktgeo_blob_read_rest(r, &block, &length)) return 0;
    const int ok = ogc ? ktgeo_ogc_cast_to_geometry(object, block, length, csid)
                       : cvtran_cast_to_geometry(object, block, length, csid);
    qd_free(block);
    return ok;
}

bool tag_is(const char* tag, const char* name) { return std::memcmp(tag, name, 4) == 0; }

}  // namespace

int ktgeo_unpack_tagged(const uint8_t* blob, SpatialObject* object, int probe, int selector) {
    if (selector >= 0 && selector <= 7) return 0;
    BlobBuffer r;
    ktgeo_blob_open(&r, blob);
    char tag[4];
    if (!ktgeo_blob_read_c4(&r, tag)) return 0;
    const CompactTag compact = compact_tag(tag);
    if (compact.form != Compact::none) {
        if (probe) return 1;
        const int ok = read_compact(compact, &r, object);
        if (tag[3] >= 'a' && tag[3] <= 'z') object->flag = 1;
        return ok;
    }
    struct Body {
        const char* tag;
        int (*read)(BlobBuffer*, SpatialObject*);
    };
    static const Body kBodies[] = {{"KT02", unpack02_spatialobject},
                                   {"KT01", unpack01_spatialobject},
                                   {"KT00", unpack00_spatailobject}};
    for (const Body& b : kBodies)
        if (tag_is(tag, b.tag)) return probe ? 1 : b.read(&r, object);
    for (const char* name : {"OGC0", "OGC1", "CV00", "CV01"})
        if (tag_is(tag, name))
            return probe ? 1 : read_wrapped(&r, object, name[0] == 'O', name[3] == '1');
    if (!probe) report_unknown_tag(tag, false);
    return 0;
}

int ktgeo_unpack_geometry(const uint8_t* blob, SpatialObject* object) {
    return ktgeo_unpack_tagged(blob, object, 0, -1);
}

int ktgeo_unpack_geometry_sized(const uint8_t* blob, uint32_t size, SpatialObject* object) {
    if (!blob || size < 8 || blob_length(blob) > size) return 0;
    return ktgeo_unpack_geometry(blob, object);
}

uint32_t ktgeo_unpack_csid(const uint8_t* blob) {
    BlobBuffer r;
    ktgeo_blob_open(&r, blob);
    char tag[4];
    if (!ktgeo_blob_read_c4(&r, tag)) return 0;
    bool has_id = false;
    const CompactTag compact = compact_tag(tag);
    if (compact.form != Compact::none) {
        has_id = compact.has_id;
    } else if (tag_is(tag, "KT02") || tag_is(tag, "OGC1") || tag_is(tag, "CV01")) {
        has_id = true;
    } else if (tag_is(tag, "KT01")) {
        uint8_t first = 0;
        if (!ktgeo_blob_read_uc1(&r, &first)) {
            QD_FAIL("UKT_J", "function%s", "ktgeo_unpack_csid", "routine%s", "ktgeo_blob_read",
                    nullptr);
            return 0;
        }
        has_id = first == 's';
    } else if (!(tag_is(tag, "KT00") || tag_is(tag, "OGC0") || tag_is(tag, "CV00"))) {
        report_unknown_tag(tag, true);
        return 0;
    }
    if (!has_id) return 0;
    uint32_t csid = 0;
    if (!ktgeo_blob_read_ui4(&r, &csid)) {
        QD_FAIL("UKT_J", "function%s", "ktgeo_unpack_csid", "routine%s", "ktgeo_blob_read",
                nullptr);
        return 0;
    }
    return csid;
}

// ------------------------------------------------------------ copy

int ktgeo_copy_geometry(const SpatialObject* source, SpatialObject* target) {
    if (!target) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_copy_geometry", "param%s", "so_copy", nullptr);
        return 0;
    }
    uint8_t* blob = ktgeo_pack_geometry(const_cast<SpatialObject*>(source));
    if (!blob) return 0;
    const int ok = ktgeo_unpack_geometry(blob, target);
    qd_free(blob);
    return ok;
}
