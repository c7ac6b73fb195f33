// Body readers of the lettered blob versions "KT02", "KT01" and "KT00". The
// three share one set of record readers that differ where the versions do:
// version 01 stores KT_Curve tangents as angles, version 00 has no ids,
// envelopes, reference points or path primitives. Every report names the
// reader of the version being read. A read past the recorded end fails
// without a report; counts are checked against the bytes left before any
// list is reserved.
#include <cstring>
#include <initializer_list>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_point.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

namespace {

enum Piece { kObject, kGeometry, kPoint, kCurve, kPath, kPolygon, kEnvelope, kCentroid, kCoord };

const char* const kNames[3][9] = {
    {"unpack00_spatailobject", "unpack00_geometry", "unpack00_point", "unpack00_curve",
     "unpack00_path", "unpack00_polygon", "unpack00_envelope", "unpack00_centroid",
     "unpack00_coord"},
    {"unpack01_spatialobject", "unpack01_geometry", "unpack01_point", "unpack01_curve",
     "unpack01_path", "unpack01_polygon", "unpack01_envelope", "unpack01_centroid",
     "unpack01_coord"},
    {"unpack02_spatialobject", "unpack02_geometry", "unpack02_point", "unpack02_curve",
     "unpack02_path", "unpack02_polygon", "unpack02_envelope", "unpack02_centroid",
     "unpack02_coord"},
};

// Smallest stored coordinate: its dimension letter and two doubles.
constexpr uint32_t kMinCoordBytes = 17;

struct Rd {
    BlobBuffer* b;
    int v;  // 0, 1 or 2
};

int bad(const Rd& r, Piece piece, const char* param = "b") {
    QD_FAIL("UKT_1", "function%s", kNames[r.v][piece], "param%s", param, nullptr);
    return 0;
}

bool get(const Rd& r, char* c) {
    uint8_t b = 0;
    if (!ktgeo_blob_read_uc1(r.b, &b)) return false;
    *c = static_cast<char>(b);
    return true;
}

bool f8(const Rd& r, double* v) { return ktgeo_blob_read_f8(r.b, v) == 1; }

// A tolerated flag letter: an unknown one is reported and the field kept.
bool flag(const Rd& r, Piece piece, int32_t* field) {
    char c;
    if (!get(r, &c)) return false;
    if (c == 't' || c == 'f') *field = c == 't';
    else bad(r, piece);
    return true;
}

// A direction letter: 1 read, 0 short, -1 unknown (reported).
int direction(const Rd& r, Piece piece, int32_t* field) {
    char c;
    if (!get(r, &c)) return 0;
    switch (c) {
        case 'R': *field = KTGEO_DIR_REVERSE; return 1;
        case 'F': *field = KTGEO_DIR_FORWARD; return 1;
        case 'N': *field = KTGEO_DIR_NONE; return 1;
        default: bad(r, piece); return -1;
    }
}

// 1 read, 0 reported, -1 the blob ends first.
int coord_or_short(const Rd& r, GeoCoord* c) {
    char d;
    if (!get(r, &d)) return -1;
    if (d != '2' && d != '3') return bad(r, kCoord);
    c->z = KTGEO_NO_Z;
    return f8(r, &c->x) && f8(r, &c->y) && (d == '2' || f8(r, &c->z)) ? 1 : -1;
}

int coord(const Rd& r, GeoCoord* c) { return coord_or_short(r, c) == 1; }

// 1 read; 0 a reported or allocation failure; -1 the blob ends first (a
// count beyond the bytes left included).
int coord_list(const Rd& r, nlst** out) {
    *out = nullptr;
    uint32_t n = 0;
    if (!ktgeo_blob_read_ui4(r.b, &n)) return -1;
    if (n > ktgeo_blob_left(r.b) / kMinCoordBytes) return -1;
    nlst* list = ktgeo_coord_list_alloc(n);
    if (!list) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        GeoCoord c;
        const int read = coord_or_short(r, &c);
        if (read != 1 || nlst_add(list, &c) != 1) {
            nlst_free(list);
            return read < 0 ? -1 : 0;
        }
    }
    *out = list;
    return 1;
}

int position(const Rd& r, GeoCoord* p) {
    char c;
    if (!get(r, &c)) return 0;
    if (c == 'b') {
        *p = KTGEO_UNSET_COORD;
        return 1;
    }
    if (c != 'c') return bad(r, kCentroid);
    return coord(r, p);
}

int envelope(const Rd& r, GeoCoord* min, GeoCoord* max) {
    char c, d;
    if (!get(r, &c)) return 0;
    if (c == 'd') {
        *min = *max = KTGEO_UNSET_COORD;
        return 1;
    }
    if (c != 'e') return bad(r, kEnvelope);
    if (!get(r, &d)) return 0;
    if (d != '2' && d != '3') return bad(r, kEnvelope);
    min->z = max->z = KTGEO_NO_Z;
    for (GeoCoord* p : {min, max})
        if (!(f8(r, &p->x) && f8(r, &p->y) && (d == '2' || f8(r, &p->z)))) return 0;
    return 1;
}

int point(const Rd& r, GeoPoint* p) {
    ktgeo_point_init(p);
    char c;
    if (!get(r, &c)) return 0;
    if (c == 'P') return coord(r, &p->coord);
    if (c != 'D') return bad(r, kPoint);
    if (!coord(r, &p->coord)) return 0;
    GeoPointDirection* d = static_cast<GeoPointDirection*>(qd_alloc(sizeof *d));
    if (!d) return 0;
    *d = GeoPointDirection{0, 0, KTGEO_UNSET_COORD};
    p->direction = d;
    bool ok = ktgeo_blob_read_i4(r.b, &d->word1) && ktgeo_blob_read_i4(r.b, &d->word2);
    if (ok && r.v == 0) {
        int32_t dropped;
        float angle;
        ok = ktgeo_blob_read_i4(r.b, &dropped) && ktgeo_blob_read_f4(r.b, &angle) &&
             ktgeo_dynamic_orientation(p, angle);
    } else if (ok) {
        float dx = 0, dy = 0;
        ok = ktgeo_blob_read_f4(r.b, &dx) && ktgeo_blob_read_f4(r.b, &dy);
        d->toward = GeoCoord{p->coord.x + dx, p->coord.y + dy, KTGEO_NO_Z};
    }
    if (!ok) ktgeo_point_release(p);
    return ok;
}

const GeoCoord& first_of(const GeoCurve* c) { return *static_cast<const GeoCoord*>(c->coords->data); }
const GeoCoord& last_of(const GeoCurve* c) {
    return static_cast<const GeoCoord*>(c->coords->data)[c->coords->tally - 1];
}

// Tangent point `at` plus two stored offsets (version 02).
bool offset_point(const Rd& r, const GeoCoord& at, GeoCoord* out) {
    float dx, dy;
    if (!(ktgeo_blob_read_f4(r.b, &dx) && ktgeo_blob_read_f4(r.b, &dy))) return false;
    *out = GeoCoord{at.x + dx, at.y + dy, KTGEO_NO_Z};
    return true;
}

bool angle_point(const Rd& r, GeoCurve* c, bool start) {
    float angle;
    if (!ktgeo_blob_read_f4(r.b, &angle)) return false;
    return (start ? ktgeo_curve_start_tangent_orientation(c, angle)
                  : ktgeo_curve_end_tangent_orientation(c, angle)) == 1;
}

// The tangent field of a KT_Curve with coordinates.
bool tangents(const Rd& r, GeoCurve* c) {
    char t;
    if (!get(r, &t)) return false;
    const int mode = t == '-' ? 0 : t == '<' ? 1 : t == '>' ? 2 : t == 'X' ? 3 : -1;
    if (mode < 0) return true;
    c->tangent_mode = mode;
    if (mode == 0 || (r.v < 2 && mode != 3)) {
        c->start_tangent = first_of(c);
        c->end_tangent = last_of(c);
    }
    const bool start = mode == 1 || mode == 3, end = mode == 2 || mode == 3;
    if (r.v == 2)
        return (!start || offset_point(r, first_of(c), &c->start_tangent)) &&
               (!end || offset_point(r, last_of(c), &c->end_tangent));
    return (!start || angle_point(r, c, true)) && (!end || angle_point(r, c, false));
}

int curve_type(char c) {
    switch (c) {
        case 'L': return KTGEO_POLYLINE;
        case 'A': return KTGEO_CIRCULAR_ARC;
        case 'B': return KTGEO_BEZIER;
        case 'H': return KTGEO_KT_CURVE;
        default: return 0;
    }
}

int curve(const Rd& r, GeoCurve* c) {
    ktgeo_curve_init(c);
    char t;
    if (r.v > 0) {
        if (!(position(r, &c->ref) && flag(r, kCurve, &c->closed))) return 0;
        if (direction(r, kCurve, &c->direction) == 0) return 0;
        if (!(flag(r, kCurve, &c->invalid) && get(r, &t))) return 0;
        if (!curve_type(t)) return bad(r, kCurve);
        c->curve_type = curve_type(t);
    } else {
        if (!get(r, &t)) return 0;
        if (curve_type(t)) c->curve_type = curve_type(t);
        else bad(r, kCurve);
        if (direction(r, kCurve, &c->direction) != 1) return 0;
    }
    // A list that cannot be read is tolerated, except that a blob shorter
    // than the list it announces fails like any short blob.
    const int listed = coord_list(r, &c->coords);
    if (listed < 0) return 0;
    if (listed == 0) return c->curve_type != KTGEO_KT_CURVE || r.v < 2;
    if (c->curve_type != KTGEO_KT_CURVE) return 1;
    const uint32_t n = c->coords->tally;
    bool ok = true;
    if (r.v == 2) {
        if (n == 0) ok = false;
        else if (n < 2) c->invalid = 1;
        ok = ok && tangents(r, c);
    } else if (n >= 2) {
        ok = tangents(r, c);
    }
    if (!ok) ktgeo_curve_release(c, nullptr);
    return ok;
}

// Curve records introduced by "l" until "0" into a new list of the path.
int path_curves(const Rd& r, GeoPath* p) {
    p->curves = ktgeo_curve_list_new(nullptr);
    if (!p->curves) return 0;
    for (;;) {
        char c;
        if (!get(r, &c)) return 0;
        if (c == '0') return 1;
        if (c != 'l') return bad(r, kPath);
        GeoCurve curve_record;
        if (!curve(r, &curve_record)) return 0;
        if (nlst_add(p->curves, &curve_record) != 1) {
            ktgeo_curve_release(&curve_record, nullptr);
            return 0;
        }
    }
}

int path(const Rd& r, GeoPath* p) {
    ktgeo_path_init(p);
    if (r.v > 0) {
        if (!(position(r, &p->ref) && flag(r, kPath, &p->closed) &&
              flag(r, kPath, &p->connected)))
            return 0;
        if (direction(r, kPath, &p->direction) != 1) return 0;
    }
    if (path_curves(r, p)) return 1;
    ktgeo_path_release(p, nullptr);
    return 0;
}

// Paths until "0" into a new interiors list; version 00 hole records carry
// "r", the closed letter and "O" before each path.
int holes(const Rd& r, GeoPolygon* g) {
    g->interiors = ktgeo_path_list_new(nullptr);
    if (!g->interiors) return 0;
    for (;;) {
        char c;
        if (!get(r, &c)) return 0;
        if (c == '0') return 1;
        if (c != (r.v > 0 ? 'h' : 'r')) return bad(r, kPolygon);
        int32_t closed = 0;
        if (r.v == 0) {
            char o;
            if (!flag(r, kPolygon, &closed) || !get(r, &o)) return 0;
            if (o != 'O') return bad(r, kPolygon);
        }
        GeoPath hole;
        if (!path(r, &hole)) return 0;
        if (r.v == 0) hole.closed = closed;
        if (nlst_add(g->interiors, &hole) != 1) {
            ktgeo_path_release(&hole, nullptr);
            return 0;
        }
    }
}

int polygon(const Rd& r, GeoPolygon* g) {
    ktgeo_polygon_init(g);
    if (r.v > 0 && !position(r, &g->label)) return 0;
    char form, h;
    if (!(flag(r, kPolygon, &g->valid) && get(r, &form))) return 0;
    if (form != 'I' && form != 'O') return bad(r, kPolygon);
    if (r.v > 0) {
        if (!get(r, &h)) return 0;
        if (h != 'h') return bad(r, kPolygon);
    }
    if (!path(r, &g->exterior)) return 0;
    if (form == 'O' || holes(r, g)) return 1;
    ktgeo_polygon_release(g);
    return 0;
}

int primitive_type(char c, int version) {
    switch (c) {
        case 'p': return KTGEO_POINT;
        case 'l': return KTGEO_CURVE;
        case 'h': return version > 0 ? KTGEO_PATH : 0;
        case 'r': return KTGEO_POLYGON;
        default: return 0;
    }
}

int primitive_record(const Rd& r, GeometricPrimitive* p) {
    switch (p->type) {
        case KTGEO_POINT: return point(r, &p->geom.point);
        case KTGEO_CURVE: return curve(r, &p->geom.curve);
        case KTGEO_PATH: return path(r, &p->geom.path);
        default: return polygon(r, &p->geom.polygon);
    }
}

// The primitives of a body; *at_zero tells whether they ended at "0".
int geometry(const Rd& r, SpatialObject* object, bool* at_zero) {
    *at_zero = false;
    object->primitives = ktgeo_primitive_list_new(nullptr);
    if (!object->primitives) return 0;
    for (;;) {
        if (r.v == 0 && ktgeo_blob_at_end(r.b)) return 1;
        char c;
        if (!get(r, &c)) break;
        if (c == '0') {
            *at_zero = true;
            return 1;
        }
        if (c == 'c' && r.v == 0) {
            if (!coord(r, &object->centroid)) break;
            continue;
        }
        const int type = primitive_type(c, r.v);
        if (!type) {
            bad(r, kGeometry);
            break;
        }
        GeometricPrimitive p;
        ktgeo_util_primitive_init(type, &p);
        if (!primitive_record(r, &p)) break;
        if ((r.v > 0 && !envelope(r, &p.env_min, &p.env_max)) ||
            ktgeo_primitive_list_add(object->primitives, &p) != 1) {
            ktgeo_primitive_release(&p, nullptr);
            break;
        }
        GeometricPrimitive* added = static_cast<GeometricPrimitive*>(
            nlst_index(object->primitives, object->primitives->tally - 1));
        if (type == KTGEO_POINT && ktgeo_coord_is_unset(added->env_min))
            added->env_min = added->env_max = added->geom.point.coord;
    }
    ktgeo_so_release(object);
    return 0;
}

// Centroid, second point and primitives, then the end check (versions 01, 02).
int object_tail(const Rd& r, SpatialObject* object) {
    bool at_zero;
    if (!(position(r, &object->centroid) && position(r, &object->second_point) &&
          geometry(r, object, &at_zero)))
        return 0;
    if (!ktgeo_blob_at_end(r.b)) return bad(r, kObject, "so");
    return 1;
}

int flag_of_object(const Rd& r, SpatialObject* object, char c) {
    if (c != 't' && c != 'f') return bad(r, kObject, r.v == 0 ? "b" : "so");
    object->flag = c == 't';
    return 1;
}

}  // namespace

// ------------------------------------------------------------ pieces

// The record readers of one version, each on its own.
#define KTGEO_UNPACK_PIECES(V, N)                                                          \
    int unpack##V##_point(BlobBuffer* reader, GeoPoint* p) { return point(Rd{reader, N}, p); } \
    int unpack##V##_curve(BlobBuffer* reader, GeoCurve* c) { return curve(Rd{reader, N}, c); } \
    int unpack##V##_path(BlobBuffer* reader, GeoPath* p) { return path(Rd{reader, N}, p); }    \
    int unpack##V##_polygon(BlobBuffer* reader, GeoPolygon* g) {                            \
        return polygon(Rd{reader, N}, g);                                                  \
    }                                                                                      \
    int unpack##V##_coord(BlobBuffer* reader, GeoCoord* c) { return coord(Rd{reader, N}, c); } \
    int unpack##V##_coord_list(BlobBuffer* reader, nlst** list) {                          \
        return coord_list(Rd{reader, N}, list) == 1;                                       \
    }                                                                                      \
    int unpack##V##_geometry(BlobBuffer* reader, SpatialObject* object) {                  \
        bool at_zero;                                                                      \
        return geometry(Rd{reader, N}, object, &at_zero);                                  \
    }

KTGEO_UNPACK_PIECES(02, 2)
KTGEO_UNPACK_PIECES(01, 1)
KTGEO_UNPACK_PIECES(00, 0)
#undef KTGEO_UNPACK_PIECES

int unpack02_envelope(BlobBuffer* reader, GeoCoord* min, GeoCoord* max) {
    return envelope(Rd{reader, 2}, min, max);
}
int unpack02_centroid(BlobBuffer* reader, GeoCoord* p) { return position(Rd{reader, 2}, p); }
int unpack01_envelope(BlobBuffer* reader, GeoCoord* min, GeoCoord* max) {
    return envelope(Rd{reader, 1}, min, max);
}
int unpack01_centroid(BlobBuffer* reader, GeoCoord* p) { return position(Rd{reader, 1}, p); }

// ------------------------------------------------------------ version 02

int unpack02_spatialobject(BlobBuffer* reader, SpatialObject* object) {
    const Rd r{reader, 2};
    ktgeo_so_init_empty(object);
    uint32_t csid = 0;
    char c;
    if (!ktgeo_blob_read_ui4(reader, &csid)) return 0;
    object->csid = static_cast<int32_t>(csid);
    if (!(envelope(r, &object->env_min, &object->env_max) && get(r, &c) &&
          flag_of_object(r, object, c)))
        return 0;
    return object_tail(r, object);
}

int unpack02_envelope_only(BlobBuffer* reader, GeoCoord* min, GeoCoord* max) {
    uint32_t ignored;
    return ktgeo_blob_read_ui4(reader, &ignored) && envelope(Rd{reader, 2}, min, max);
}

// ------------------------------------------------------------ version 01

int unpack01_spatialobject(BlobBuffer* reader, SpatialObject* object) {
    const Rd r{reader, 1};
    ktgeo_so_init_empty(object);
    char c;
    if (!get(r, &c)) return 0;
    if (c == 's') {
        uint32_t csid = 0;
        if (!(ktgeo_blob_read_ui4(reader, &csid) && get(r, &c))) return 0;
        object->csid = static_cast<int32_t>(csid);
    }
    if (!(flag_of_object(r, object, c) && envelope(r, &object->env_min, &object->env_max)))
        return 0;
    return object_tail(r, object);
}

int unpack01_envelope_only(BlobBuffer* reader, GeoCoord* min, GeoCoord* max) {
    const Rd r{reader, 1};
    char c;
    if (!get(r, &c)) return 0;
    uint32_t ignored;
    if (c == 's' && !(ktgeo_blob_read_ui4(reader, &ignored) && get(r, &c))) return 0;
    return envelope(r, min, max);
}

// ------------------------------------------------------------ version 00

int unpack00_spatailobject(BlobBuffer* reader, SpatialObject* object) {
    const Rd r{reader, 0};
    ktgeo_so_init_empty(object);
    char c;
    int ok = get(r, &c) && flag_of_object(r, object, c);
    bool at_zero = false;
    if (ok) ok = geometry(r, object, &at_zero);
    if (ok && at_zero && !ktgeo_blob_at_end(reader)) ok = bad(r, kObject);
    int valid = 0;
    ktgeo_check_geometry(object, &valid);
    ktgeo_so_compute_envelope(object);
    return ok;
}
