// OGC typing and well-known text: the scan (fit and binary size), type
// derivation, casts, type names, and the text reader and writer.
#include "geometry/ktgeo_ogc.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_lex.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_option.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_quick.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"
#include "ktgeo_ogc_lines.h"

// ------------------------------------------------------------ member lines

const nlst* ktgeo_ogc_curve_line(GeoCurve* curve) {
    if (curve->curve_type == KTGEO_POLYLINE || curve->curve_type == KTGEO_BEZIER)
        return curve->coords && curve->coords->tally ? curve->coords : nullptr;
    if (!curve->coords || curve->coords->tally == 0) return nullptr;
    const nlst* line = ktgeo_get_coord_list(curve);
    return line && line->tally ? line : nullptr;
}

const nlst* ktgeo_ogc_path_line(GeoPath* path) {
    if (!path->connected) return nullptr;
    if (!path->expanded && (!path->curves || path->curves->tally == 0 || !ktgeo_path_expand(path)))
        return nullptr;
    return path->expanded && path->expanded->tally ? path->expanded : nullptr;
}

const nlst* ktgeo_ogc_ring_line(GeoPath* path) {
    if (!path->expanded && path->connected && path->curves && path->curves->tally)
        ktgeo_path_expand(path);
    return path->expanded && path->expanded->tally ? path->expanded : nullptr;
}

// ------------------------------------------------------------ scan

namespace {

int32_t ring_bytes(GeoPath* ring) {
    const nlst* line = ktgeo_ogc_ring_line(ring);
    return line ? 4 + 16 * static_cast<int32_t>(line->tally) : 0;
}

int scan_fail_type(const char* what) {
    QD_FAIL("UKT_5", "what%s", what, nullptr);
    return 0;
}

}  // namespace

int32_t ktgeo_ogc_scan(OgcScan* scan, SpatialObject* object) {
    *scan = OgcScan{0, 0, 0, 0, 0, 0};
    if (!object) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_scan", "param%s", "so", nullptr);
        return 0;
    }
    if (!ktgeo_quick_check(object)) {
        if (ktgeo_check_geometry(object, nullptr) == 1)
            QD_FAIL("UKT_J", "function%s", "ktgeo_ogc_scan", "routine%s", "ktgeo_check_geometry",
                    nullptr);
        return 0;
    }
    const int32_t state = object->ogc_state;
    scan->working_type = (state == KTGEO_OGC_POINT || state == KTGEO_OGC_LINESTRING ||
                          state == KTGEO_OGC_POLYGON)
                             ? state
                             : KTGEO_OGC_COLLECTION;
    const int32_t header = scan->working_type == KTGEO_OGC_COLLECTION ? 5 : 0;
    int64_t bytes = 0;
    const uint32_t n = object->primitives ? object->primitives->tally : 0;
    GeometricPrimitive* p =
        n ? static_cast<GeometricPrimitive*>(object->primitives->data) : nullptr;
    for (uint32_t i = 0; i < n; ++i) {
        switch (p[i].type) {
            case KTGEO_POINT:
                ++scan->points;
                bytes += 16 + header;
                break;
            case KTGEO_CURVE:
            case KTGEO_PATH: {
                const nlst* line = p[i].type == KTGEO_CURVE
                                       ? ktgeo_ogc_curve_line(&p[i].geom.curve)
                                       : ktgeo_ogc_path_line(&p[i].geom.path);
                if (line) {
                    ++scan->lines;
                    bytes += 4 + 16 * int64_t{line->tally} + header;
                } else if (scan->working_type == KTGEO_OGC_LINESTRING) {
                    ++scan->lines;
                }
                break;
            }
            case KTGEO_POLYGON: {
                ++scan->polygons;
                GeoPolygon& g = p[i].geom.polygon;
                if (g.valid == 1) {
                    bytes += header + 4 + ring_bytes(&g.exterior);
                    const uint32_t holes = g.interiors ? g.interiors->tally : 0;
                    for (uint32_t k = 0; k < holes; ++k)
                        bytes += ring_bytes(static_cast<GeoPath*>(nlst_index(g.interiors, k)));
                }
                break;
            }
            default: break;
        }
    }
    scan->members = scan->points + scan->lines + scan->polygons;
    bytes += 5;
    switch (state) {
        case KTGEO_OGC_NONE:
        case KTGEO_OGC_COLLECTION: break;
        case KTGEO_OGC_MULTIPOINT:
            if (scan->points != scan->members) return scan_fail_type("OGC MultiPoint");
            break;
        case KTGEO_OGC_MULTILINESTRING:
            if (scan->lines != scan->members) return scan_fail_type("OGC MultiLineString");
            break;
        case KTGEO_OGC_MULTIPOLYGON:
            if (scan->polygons != scan->members) return scan_fail_type("OGC MultiPolygon");
            break;
        case KTGEO_OGC_POINT:
            if (scan->members > 1 || scan->points != scan->members) return scan_fail_type("OGC Point");
            break;
        case KTGEO_OGC_LINESTRING:
            if (scan->members > 1 || scan->lines != scan->members)
                return scan_fail_type("OGC LineString");
            break;
        case KTGEO_OGC_POLYGON:
            if (scan->members > 1 || scan->polygons != scan->members)
                return scan_fail_type("OGC Polygon");
            break;
        default:
            QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_scan", "param%s", "so", nullptr);
            return 0;
    }
    if (scan->working_type == KTGEO_OGC_COLLECTION && scan->members > 0) bytes += 4;
    if (bytes > INT32_MAX) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_scan", "param%s", "so", nullptr);
        return 0;
    }
    scan->bytes = static_cast<int32_t>(bytes);
    return scan->bytes;
}

int ktgeo_ogc_derive_type(SpatialObject* object, int multiple) {
    if (!object) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_derive_type", "param%s", "so", nullptr);
        return 0;
    }
    if (object->ogc_state != KTGEO_OGC_NONE) return 1;
    OgcScan scan;
    if (!ktgeo_ogc_scan(&scan, object)) return 0;
    int32_t type = KTGEO_OGC_COLLECTION;
    if (scan.members == 1 && !multiple) {
        type = scan.points ? KTGEO_OGC_POINT : scan.lines ? KTGEO_OGC_LINESTRING : KTGEO_OGC_POLYGON;
    } else if (scan.members > 0) {
        if (scan.points == scan.members) type = KTGEO_OGC_MULTIPOINT;
        else if (scan.lines == scan.members) type = KTGEO_OGC_MULTILINESTRING;
        else if (scan.polygons == scan.members) type = KTGEO_OGC_MULTIPOLYGON;
    }
    object->ogc_state = type;
    return 1;
}

namespace {

// The cast test; the derived type is left in the object.
int cast_test(SpatialObject* object, int32_t type) {
    if (type < 0 || type > KTGEO_OGC_MULTIPOLYGON) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_cast", "param%s", "ogctype", nullptr);
        return 0;
    }
    if (type == KTGEO_OGC_NONE || type == KTGEO_OGC_COLLECTION) return 1;
    if (type == 2 || type == 4 || type == 8 || type == 10) ++type;
    const int multiple = type >= KTGEO_OGC_MULTIPOINT;
    if (!ktgeo_ogc_derive_type(object, multiple)) return 0;
    return object->ogc_state == type;
}

}  // namespace

int ktgeo_ogc_cast(SpatialObject* object, int32_t type) {
    const int32_t saved = object->ogc_state;
    const int ok = cast_test(object, type);
    object->ogc_state = saved;
    return ok;
}

int ktgeo_ogc_cast_apply(SpatialObject* object, int32_t type) {
    const int32_t saved = object->ogc_state;
    const int ok = cast_test(object, type);
    if (!ok || type == KTGEO_OGC_NONE || type == KTGEO_OGC_COLLECTION) object->ogc_state = saved;
    return ok;
}

namespace {

const char* const kTypeNames[] = {"Geometry",        "Point",         "Curve",
                                  "LineString",      "Surface",       "Polygon",
                                  "GeometryCollection", "MultiPoint", "MultiCurve",
                                  "MultiLineString", "MultiSurface",  "MultiPolygon"};
const char* const kStNames[] = {"ST_Geometry",        "ST_Point",        "ST_Curve",
                                "ST_LineString",      "ST_Surface",      "ST_Polygon",
                                "ST_GeomCollection",  "ST_MultiPoint",   "ST_MultiCurve",
                                "ST_MultiLineString", "ST_MultiSurface", "ST_MultiPolygon"};

int copy_name(const char* const* names, int32_t type, char* buffer, int size) {
    if (type < 0 || type > 11 || !buffer || size < 1) return 0;
    std::snprintf(buffer, static_cast<size_t>(size), "%s", names[type]);
    return 1;
}

}  // namespace

int ktgeo_ogc_type_name(int32_t type, char* buffer, int size) {
    return copy_name(kTypeNames, type, buffer, size);
}

int ktgeo_ogc_st_type_name(int32_t type, char* buffer, int size) {
    return copy_name(kStNames, type, buffer, size);
}

int ktgeo_ogc_quick_ok(const SpatialObject* object) { return ktgeo_quick_check(object) ? 1 : 0; }

// ------------------------------------------------------------ text reader

namespace {

struct WktReader {
    KtgeoLexer lx;
    SpatialObject* object;
};

int read_fail(WktReader* r, const char* code) {
    QD_FAIL(code, "token%s", ktgeo_lex_token_text(&r->lx), "location%s",
            ktgeo_lex_location(&r->lx), nullptr);
    return 0;
}

int16_t next(WktReader* r) { return ktgeo_lex_next(&r->lx); }

// coordinate: an optional "-", a number, twice. The first token is current.
int read_coord(WktReader* r, GeoCoord* c) {
    double v[2];
    for (int i = 0; i < 2; ++i) {
        if (i) next(r);
        double sign = 1;
        if (r->lx.token == KTGEO_TOK_MINUS) {
            sign = -1;
            next(r);
        }
        if (r->lx.token != KTGEO_TOK_NUMBER) return read_fail(r, "UKT2A");
        v[i] = sign * r->lx.value;
    }
    *c = GeoCoord{v[0], v[1], KTGEO_NO_Z};
    return 1;
}

// "(" coordinate {"," coordinate} ")" after the "(".
int read_coords(WktReader* r, std::vector<GeoCoord>* coords) {
    for (;;) {
        next(r);
        GeoCoord c;
        if (!read_coord(r, &c)) return 0;
        coords->push_back(c);
        next(r);
        if (r->lx.token == KTGEO_TOK_RPAREN) return 1;
        if (r->lx.token != KTGEO_TOK_COMMA) return read_fail(r, "UKT2B");
    }
}

// "EMPTY" (0 and *empty) or "(" (1); else "UKT2H". Reads the token.
int open_text(WktReader* r, bool* empty) {
    next(r);
    *empty = r->lx.token == KTGEO_TOK_EMPTY;
    if (*empty || r->lx.token == KTGEO_TOK_LPAREN) return 1;
    return read_fail(r, "UKT2H");
}

// A line text into coords (empty for EMPTY).
int read_line_text(WktReader* r, std::vector<GeoCoord>* coords) {
    bool empty;
    if (!open_text(r, &empty)) return 0;
    return empty ? 1 : read_coords(r, coords);
}

int add_curve(SpatialObject* object, const std::vector<GeoCoord>& coords) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    p.geom.curve.direction = KTGEO_DIR_NONE;
    p.geom.curve.coords =
        ktgeo_coord_list_from_array(coords.data(), static_cast<uint32_t>(coords.size()));
    if (!p.geom.curve.coords) return 0;
    if (!ktgeo_util_add_new_primitive(&p, object)) {
        nlst_free(p.geom.curve.coords);
        return 0;
    }
    return 1;
}

}  // namespace

// A ring path holding one ST_Polyline curve over the coordinates (shared
// with the binary reader).
int ktgeo_ogc_ring_path(const GeoCoord* coords, uint32_t n, GeoPath* path) {
    ktgeo_path_init(path);
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    curve.coords = ktgeo_coord_list_from_array(coords, n);
    if (!curve.coords) return 0;
    path->curves = ktgeo_curve_list_new(&curve);
    if (!path->curves) {
        nlst_free(curve.coords);
        return 0;
    }
    path->connected = 1;
    return 1;
}

// Adds a polygon of the rings (the first the exterior); nothing when there
// are no rings. 1 or 0.
int ktgeo_ogc_add_polygon(SpatialObject* object, const std::vector<std::vector<GeoCoord>>& rings) {
    if (rings.empty()) return 1;
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    GeoPolygon& g = p.geom.polygon;
    bool ok = ktgeo_ogc_ring_path(rings[0].data(), static_cast<uint32_t>(rings[0].size()),
                                  &g.exterior) == 1;
    for (size_t i = 1; ok && i < rings.size(); ++i) {
        if (!g.interiors && !(g.interiors = ktgeo_path_list_new(nullptr))) {
            ok = false;
            break;
        }
        GeoPath hole;
        ok = ktgeo_ogc_ring_path(rings[i].data(), static_cast<uint32_t>(rings[i].size()), &hole) == 1;
        if (ok && ktgeo_path_list_add(g.interiors, &hole) != 1) {
            ktgeo_path_release(&hole, nullptr);
            ok = false;
        }
    }
    if (ok && ktgeo_util_add_new_primitive(&p, object) == 1) return 1;
    ktgeo_primitive_release(&p, nullptr);
    return 0;
}

namespace {

int read_polygon_text(WktReader* r) {
    bool empty;
    if (!open_text(r, &empty)) return 0;
    if (empty) return 1;
    std::vector<std::vector<GeoCoord>> rings;
    for (;;) {
        std::vector<GeoCoord> ring;
        if (!read_line_text(r, &ring)) return 0;
        if (!ring.empty()) rings.push_back(std::move(ring));
        next(r);
        if (r->lx.token == KTGEO_TOK_RPAREN) break;
        if (r->lx.token != KTGEO_TOK_COMMA) return read_fail(r, "UKT2B");
    }
    return ktgeo_ogc_add_polygon(r->object, rings);
}

// "(" member {"," member} ")" after the "(", each member read by `member`.
template <typename Member>
int read_members(WktReader* r, Member member) {
    for (;;) {
        if (!member()) return 0;
        next(r);
        if (r->lx.token == KTGEO_TOK_RPAREN) return 1;
        if (r->lx.token != KTGEO_TOK_COMMA) return read_fail(r, "UKT2B");
    }
}

int read_geometry(WktReader* r, int depth) {
    const int16_t keyword = r->lx.token;
    SpatialObject* so = r->object;
    bool empty = false;
    int32_t state = 0;
    switch (keyword) {
        case KTGEO_TOK_POINT: {
            if (!open_text(r, &empty)) return 0;
            if (!empty) {
                GeoCoord c;
                next(r);
                if (!read_coord(r, &c)) return 0;
                if (next(r) != KTGEO_TOK_RPAREN) return read_fail(r, "UKT2B");
                if (!ktgeo_util_add_new_point(so, &c, nullptr)) return 0;
            }
            state = KTGEO_OGC_POINT;
            break;
        }
        case KTGEO_TOK_LINESTRING: {
            std::vector<GeoCoord> coords;
            if (!read_line_text(r, &coords)) return 0;
            if (!coords.empty() && !add_curve(so, coords)) return 0;
            state = KTGEO_OGC_LINESTRING;
            break;
        }
        case KTGEO_TOK_POLYGON:
            if (!read_polygon_text(r)) return 0;
            state = KTGEO_OGC_POLYGON;
            break;
        case KTGEO_TOK_MULTIPOINT: {
            std::vector<GeoCoord> coords;
            if (!read_line_text(r, &coords)) return 0;
            for (const GeoCoord& c : coords)
                if (!ktgeo_util_add_new_point(so, &c, nullptr)) return 0;
            state = KTGEO_OGC_MULTIPOINT;
            break;
        }
        case KTGEO_TOK_MULTILINESTRING:
            if (!open_text(r, &empty)) return 0;
            if (!empty && !read_members(r, [&] {
                    std::vector<GeoCoord> coords;
                    return read_line_text(r, &coords) && (coords.empty() || add_curve(so, coords));
                }))
                return 0;
            state = KTGEO_OGC_MULTILINESTRING;
            break;
        case KTGEO_TOK_MULTIPOLYGON:
            if (!open_text(r, &empty)) return 0;
            if (!empty && !read_members(r, [&] { return read_polygon_text(r); })) return 0;
            state = KTGEO_OGC_MULTIPOLYGON;
            break;
        case KTGEO_TOK_COLLECTION:
            if (!open_text(r, &empty)) return 0;
            if (!empty) {
                if (depth >= KTGEO_OGC_MAX_DEPTH) return read_fail(r, "UKT2H");
                if (!read_members(r, [&] {
                        next(r);
                        return read_geometry(r, depth + 1);
                    }))
                    return 0;
            }
            state = KTGEO_OGC_COLLECTION;
            break;
        default: return read_fail(r, "UKT2S");
    }
    so->ogc_state = state;
    return 1;
}

}  // namespace

int ktgeo_ogc_input_wkt_v1(const char* text, SpatialObject* object) {
    if (!text || !object) {
        QD_FAIL("UKT_1", "function%s", "ktgeo_ogc_input_wkt_v1", "param%s", text ? "so" : "wkt",
                nullptr);
        return 0;
    }
    ktgeo_so_init_empty(object);
    WktReader r;
    ktgeo_lex_init(text, &r.lx);
    r.object = object;
    if (next(&r) == KTGEO_TOK_END && !r.lx.error) return 1;
    int ok = read_geometry(&r, 0);
    if (ok && next(&r) != KTGEO_TOK_END) ok = read_fail(&r, "UKT2Q");
    if (ok && r.lx.error) ok = 0;
    if (!ok) {
        ktgeo_so_release(object);
        ktgeo_so_init_empty(object);
        return 0;
    }
    ktgeo_so_complete(object);
    return 1;
}

// ------------------------------------------------------------ text writer

namespace {

struct WktWriter {
    char* text;
    int32_t used;
    int32_t capacity;
    int32_t precision;
    int32_t type;
    int32_t failed;
};

void append(WktWriter* w, const char* s, int32_t n) {
    if (w->failed) return;
    if (w->used + n + 1 > w->capacity) {
        const int64_t grown = int64_t{w->capacity} + n + (w->capacity > 8192 ? 8192 : 512);
        char* bigger = grown < INT32_MAX ? static_cast<char*>(qd_alloc(static_cast<size_t>(grown)))
                                         : nullptr;
        if (!bigger) {
            qd_free(w->text);
            w->text = nullptr;
            w->failed = 1;
            return;
        }
        std::memcpy(bigger, w->text, static_cast<size_t>(w->used));
        qd_free(w->text);
        w->text = bigger;
        w->capacity = static_cast<int32_t>(grown);
    }
    std::memcpy(w->text + w->used, s, static_cast<size_t>(n));
    w->used += n;
    w->text[w->used] = '\0';
}

void append(WktWriter* w, const char* s) { append(w, s, static_cast<int32_t>(std::strlen(s))); }

void write_number(WktWriter* w, double* v) {
    if (*v >= -1e-10 && *v <= 1e-10) *v = 0;
    char buf[48];
    append(w, buf, ktgeo_format_g(*v, w->precision, buf));
}

void write_xy(WktWriter* w, GeoCoord* c) {
    write_number(w, &c->x);
    append(w, " ", 1);
    write_number(w, &c->y);
}

void write_list(WktWriter* w, const nlst* line) {
    append(w, "(", 1);
    GeoCoord* c = static_cast<GeoCoord*>(line->data);
    for (uint32_t i = 0; i < line->tally; ++i) {
        if (i) append(w, ",", 1);
        write_xy(w, &c[i]);
    }
    append(w, ")", 1);
}

// Separator counter of one list: "," before every written member but the first.
struct Separator {
    int32_t written = 0;
    void before(WktWriter* w) {
        if (written++) append(w, ",", 1);
    }
};

void write_line(WktWriter* w, const nlst* line, Separator* sep) {
    if (!line) {
        if (w->type == KTGEO_OGC_LINESTRING) {
            sep->before(w);
            append(w, " EMPTY");
        }
        return;
    }
    sep->before(w);
    if (w->type == KTGEO_OGC_COLLECTION) append(w, "LINESTRING");
    write_list(w, line);
}

void write_polygon(WktWriter* w, GeoPolygon* g, Separator* sep) {
    if (g->valid != 1) {
        if (w->type == KTGEO_OGC_POLYGON) {
            sep->before(w);
            append(w, " EMPTY");
        }
        return;
    }
    sep->before(w);
    if (w->type == KTGEO_OGC_COLLECTION) append(w, "POLYGON");
    append(w, "(", 1);
    const int32_t saved = w->type;
    w->type = KTGEO_OGC_LINESTRING;
    Separator rings;
    write_line(w, ktgeo_ogc_ring_line(&g->exterior), &rings);
    const uint32_t holes = g->interiors ? g->interiors->tally : 0;
    for (uint32_t k = 0; k < holes; ++k)
        write_line(w, ktgeo_ogc_ring_line(static_cast<GeoPath*>(nlst_index(g->interiors, k))),
                   &rings);
    w->type = saved;
    append(w, ")", 1);
}

void write_primitive(WktWriter* w, GeometricPrimitive* p, Separator* sep) {
    switch (p->type) {
        case KTGEO_POINT:
            sep->before(w);
            if (w->type == KTGEO_OGC_COLLECTION) append(w, "POINT");
            if (w->type == KTGEO_OGC_MULTIPOINT) {
                write_xy(w, &p->geom.point.coord);
            } else {
                append(w, "(", 1);
                write_xy(w, &p->geom.point.coord);
                append(w, ")", 1);
            }
            break;
        case KTGEO_CURVE: write_line(w, ktgeo_ogc_curve_line(&p->geom.curve), sep); break;
        case KTGEO_PATH: write_line(w, ktgeo_ogc_path_line(&p->geom.path), sep); break;
        case KTGEO_POLYGON: write_polygon(w, &p->geom.polygon, sep); break;
        default: break;
    }
}

const char* keyword_of(int32_t type) {
    switch (type) {
        case KTGEO_OGC_POINT: return "POINT";
        case KTGEO_OGC_LINESTRING: return "LINESTRING";
        case KTGEO_OGC_POLYGON: return "POLYGON";
        case KTGEO_OGC_MULTIPOINT: return "MULTIPOINT";
        case KTGEO_OGC_MULTILINESTRING: return "MULTILINESTRING";
        case KTGEO_OGC_MULTIPOLYGON: return "MULTIPOLYGON";
        default: return "GEOMETRYCOLLECTION";
    }
}

}  // namespace

char* ktgeo_ogc_output_wkt_v1(SpatialObject* object) {
    OgcScan scan;
    if (!ktgeo_ogc_scan(&scan, object)) return nullptr;
    WktWriter w{static_cast<char*>(qd_alloc(1024)), 0, 1024, ktgeo_option_wkt_value3(),
                object->ogc_state ? object->ogc_state : KTGEO_OGC_COLLECTION, 0};
    if (!w.text) return nullptr;
    w.text[0] = '\0';
    append(&w, keyword_of(w.type));
    if (scan.members == 0) {
        append(&w, " EMPTY");
        return w.text;
    }
    const bool wrapped = w.type >= KTGEO_OGC_COLLECTION;
    if (wrapped) append(&w, "(", 1);
    Separator sep;
    const uint32_t n = object->primitives ? object->primitives->tally : 0;
    for (uint32_t i = 0; i < n; ++i)
        write_primitive(&w, static_cast<GeometricPrimitive*>(nlst_index(object->primitives, i)),
                        &sep);
    if (wrapped) append(&w, ")", 1);
    return w.text;
}
