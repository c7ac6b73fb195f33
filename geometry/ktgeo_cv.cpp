// Geometry objects to and from the compact object record. The reader is
// bounded by the record's length everywhere: counts are checked against
// the bytes left before anything is allocated, extended records are
// walked by their sizes (a size below the 7-byte header or past the end is
// refused), and ring groups nested through holes stop at
// KTGEO_CV_MAX_DEPTH levels. The writer plans the exact length first and
// fails, rather than writing the null record, when the object cannot be
// written.
#include "geometry/ktgeo_cv.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_construct.h"
#include "geometry/ktgeo_get.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_option.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_quick.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_cogo.h"
#include "geometry/qd_fail.h"
#include "ktgeo_cv_reader.h"

namespace cvtran_detail {

int fail(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

void too_big(const char* function) {
    qd_trace_printf(10, __FILE__, __LINE__, function, "TOO BIG");
    fail(function, "TOO BIG");
}

}  // namespace cvtran_detail

using namespace cvtran_detail;

namespace {

constexpr int kMaxDepth = 256;
constexpr int32_t kMaxCount16 = 32767;

template <typename T, typename Get>
const uint8_t* decode(T* value, const uint8_t* cursor, const uint8_t* end, int width,
                      const char* function, Get get) {
    if (!cursor) return nullptr;
    if (end && end - cursor < width) {
        *value = 0;
        too_big(function);
        return nullptr;
    }
    return get(cursor, value);
}

template <typename T, typename Put>
uint8_t* encode(T value, uint8_t* cursor, uint8_t* end, int width, const char* function, Put put) {
    if (!cursor) return nullptr;
    if (end && end - cursor < width) {
        too_big(function);
        return end;
    }
    return put(cursor, value);
}

}  // namespace

const uint8_t* cvtran_decode_uc1(uint8_t* v, const uint8_t* c, const uint8_t* e) {
    return decode(v, c, e, 1, "cvtran_decode_uc1", byte_get_uc1);
}
const uint8_t* cvtran_decode_i2(int16_t* v, const uint8_t* c, const uint8_t* e) {
    return decode(v, c, e, 2, "cvtran_decode_i2", byte_get_i2);
}
const uint8_t* cvtran_decode_ui2(uint16_t* v, const uint8_t* c, const uint8_t* e) {
    return decode(v, c, e, 2, "cvtran_decode_ui2", byte_get_ui2);
}
const uint8_t* cvtran_decode_i4(int32_t* v, const uint8_t* c, const uint8_t* e) {
    return decode(v, c, e, 4, "cvtran_decode_i4", byte_get_i4);
}
const uint8_t* cvtran_decode_f8(double* v, const uint8_t* c, const uint8_t* e) {
    return decode(v, c, e, 8, "cvtran_decode_f8", byte_get_f8);
}
uint8_t* cvtran_encode_uc1(uint8_t v, uint8_t* c, uint8_t* e) {
    return encode(v, c, e, 1, "cvtran_encode_uc1", byte_put_uc1);
}
uint8_t* cvtran_encode_i2(int16_t v, uint8_t* c, uint8_t* e) {
    return encode(v, c, e, 2, "cvtran_encode_i2", byte_put_i2);
}
uint8_t* cvtran_encode_ui2(uint16_t v, uint8_t* c, uint8_t* e) {
    return encode(v, c, e, 2, "cvtran_encode_ui2", byte_put_ui2);
}
uint8_t* cvtran_encode_i4(int32_t v, uint8_t* c, uint8_t* e) {
    return encode(v, c, e, 4, "cvtran_encode_i4", byte_put_i4);
}
uint8_t* cvtran_encode_f8(double v, uint8_t* c, uint8_t* e) {
    return encode(v, c, e, 8, "cvtran_encode_f8", byte_put_f8);
}

// ------------------------------------------------------------ reading

namespace {

using Rd = CvReader;

// n coordinates, leaving out a point closer than 1e-10 to the one read
// before it.
bool read_coords(Rd& r, int32_t n, std::vector<GeoCoord>* out) {
    out->clear();
    if (!r.count_fits(n, 16)) return false;
    GeoCoord previous{};
    for (int32_t i = 0; i < n; ++i) {
        const GeoCoord c = r.xy();
        const double dx = c.x - previous.x, dy = c.y - previous.y;
        if (i == 0 || dx * dx + dy * dy >= 1e-20) out->push_back(c);
        previous = c;
    }
    return r.ok();
}

nlst* list_of(const std::vector<GeoCoord>& coords) {
    return ktgeo_coord_list_from_array(coords.data(), static_cast<uint32_t>(coords.size()));
}

bool add_polyline(SpatialObject* so, const std::vector<GeoCoord>& coords) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    p.geom.curve.direction = KTGEO_DIR_FORWARD;
    p.geom.curve.coords = list_of(coords);
    if (!p.geom.curve.coords) return false;
    if (ktgeo_primitive_list_add(so->primitives, &p) != 1) {
        nlst_free(p.geom.curve.coords);
        return false;
    }
    return true;
}

// A closed, connected ring path of one closed ST_Polyline curve.
bool ring_path(const std::vector<GeoCoord>& coords, GeoPath* path) {
    ktgeo_path_init(path);
    path->closed = path->connected = 1;
    path->direction = KTGEO_DIR_FORWARD;
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    curve.closed = 1;
    curve.direction = KTGEO_DIR_FORWARD;
    curve.coords = list_of(coords);
    if (!curve.coords) return false;
    path->curves = ktgeo_curve_list_new(&curve);
    if (!path->curves) {
        nlst_free(curve.coords);
        return false;
    }
    return true;
}

struct Region {
    Rd* r;
    SpatialObject* so;
    bool extended;
    int32_t remaining;  // sections not yet read
};

bool read_section(Region& g, std::vector<GeoCoord>* coords, int16_t* within) {
    if (g.remaining-- <= 0) {
        fail(kRead, "data");
        g.r->p = nullptr;
        return false;
    }
    const int32_t n = g.extended ? g.r->i32() : g.r->i16();
    *within = g.r->i16();
    if (g.r->ok() && *within < 0) {
        fail(kRead, "data");
        g.r->p = nullptr;
    }
    return g.r->ok() && read_coords(*g.r, n, coords);
}

// One section and the group it heads: an outer ring at an even depth (a
// new polygon), a hole of `current` at an odd one.
bool read_ring_group(Region& g, int depth, GeoPolygon* current) {
    if (depth >= kMaxDepth) {
        fail(kRead, "data");
        return false;
    }
    std::vector<GeoCoord> coords;
    int16_t within = 0;
    if (!read_section(g, &coords, &within)) return false;
    if (depth % 2 == 1) {
        GeoPath hole;
        if (!ring_path(coords, &hole)) return false;
        if ((!current->interiors && !(current->interiors = ktgeo_path_list_new(nullptr))) ||
            ktgeo_path_list_add(current->interiors, &hole) != 1) {
            ktgeo_path_release(&hole, nullptr);
            return false;
        }
        for (int16_t k = 0; k < within; ++k)
            if (!read_ring_group(g, depth + 1, nullptr)) return false;
        return true;
    }
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon.valid = 1;
    bool ok = ring_path(coords, &p.geom.polygon.exterior);
    for (int16_t k = 0; ok && k < within; ++k) ok = read_ring_group(g, depth + 1, &p.geom.polygon);
    if (ok && ktgeo_primitive_list_add(g.so->primitives, &p) == 1) return true;
    ktgeo_primitive_release(&p, nullptr);
    return false;
}

// Sections of a polyline (every `within` 0) or a region, after their count.
bool read_sections(Rd& r, SpatialObject* so, bool region, bool extended) {
    const int16_t count = r.i16();
    if (!r.ok()) return false;
    if (count < 0) return fail(kRead, "data");
    if (region) {
        Region g{&r, so, extended, count};
        while (g.remaining > 0)
            if (!read_ring_group(g, 0, nullptr)) return false;
        return true;
    }
    std::vector<GeoCoord> coords;
    for (int16_t i = 0; i < count; ++i) {
        const int32_t n = extended ? r.i32() : r.i16();
        const int16_t within = r.i16();
        if (!r.ok()) return false;
        if (within != 0) return fail(kRead, "p: pline: within");
        if (!read_coords(r, n, &coords) || !add_polyline(so, coords)) return false;
    }
    return true;
}

struct Rect {
    double llx, lly, urx, ury;
};

Rect read_rect(Rd& r) {
    Rect rect;
    rect.llx = r.f8();
    rect.lly = r.f8();
    rect.urx = r.f8();
    rect.ury = r.f8();
    return rect;
}

GeoCoord unit(double u, double v) { return GeoCoord{u, v, KTGEO_NO_Z}; }

// Appends a stroked arc through three unit-square points.
bool append_arc(std::vector<GeoCoord>* out, GeoCoord a, GeoCoord b, GeoCoord c) {
    nlst* arc = qd_cogo_stroke_arc(&a, &b, &c, ktgeo_option_arc_segments());
    if (!arc) return false;
    const GeoCoord* p = static_cast<const GeoCoord*>(arc->data);
    out->insert(out->end(), p, p + arc->tally);
    nlst_free(arc);
    return true;
}

GeoCoord on_circle(double a) {
    return unit(0.5 + 0.5 * std::cos(a), 0.5 + 0.5 * std::sin(a));
}

// The outline of a shape record on the unit square.
bool shape_outline(int type, int16_t begangle, int16_t endangle, std::vector<GeoCoord>* out) {
    switch (type) {
        case 3: {
            const double k = 0.017453292519943295;
            const double a0 = begangle / 10.0 * k;
            double a1 = endangle / 10.0 * k;
            if (a1 == a0) return append_arc(out, on_circle(a0), unit(0.5, 0.5), on_circle(a0));
            if (a1 < a0) a1 += 2 * M_PI;
            // The arc's ends are joined so that the polygon's ring closes.
            if (!append_arc(out, on_circle(a0), on_circle((a0 + a1) / 2), on_circle(a1)))
                return false;
            out->push_back(out->front());
            return true;
        }
        case 6:
        case 7: {
            GeoCoord a = unit(0, 0), b = unit(1, 1), ring[5];
            ktgeo_box_ring(&a, &b, ring);
            out->assign(ring, ring + 5);
            return true;
        }
        case 8: {
            const double r1 = 0.9707106781186547, r0 = 0.029289321881345254;
            out->push_back(unit(0.1, 0));
            return append_arc(out, unit(0.9, 0), unit(r1, r0), unit(1, 0.1)) &&
                   append_arc(out, unit(1, 0.9), unit(r1, r1), unit(0.9, 1)) &&
                   append_arc(out, unit(0.1, 1), unit(r0, r1), unit(0, 0.9)) &&
                   append_arc(out, unit(0, 0.1), unit(r0, r0), unit(0.1, 0));
        }
        case 9: return append_arc(out, unit(1, 0.5), unit(0.5, 0.5), unit(1, 0.5));
        default: return false;
    }
}

// A polygon of a shape record's outline mapped onto the rectangle.
bool add_shape(SpatialObject* so, int type, const Rect& rect, int16_t begangle, int16_t endangle) {
    std::vector<GeoCoord> unit_outline;
    if (!shape_outline(type, begangle, endangle, &unit_outline)) return false;
    std::vector<GeoCoord> outline;
    GeoCoord previous{};
    for (size_t i = 0; i < unit_outline.size(); ++i) {
        const GeoCoord c{rect.llx + (rect.urx - rect.llx) * unit_outline[i].x,
                         rect.lly + (rect.ury - rect.lly) * unit_outline[i].y, KTGEO_NO_Z};
        const double dx = c.x - previous.x, dy = c.y - previous.y;
        if (i == 0 || dx * dx + dy * dy >= 1e-20) outline.push_back(c);
        previous = c;
    }
    GeoCurve curve;
    ktgeo_curve_init(&curve);
    curve.direction = KTGEO_DIR_FORWARD;
    curve.coords = list_of(outline);
    if (!curve.coords) return false;
    SpatialObject shape;
    if (!ktgeo_make_polygon(&curve, &shape)) {
        nlst_free(curve.coords);
        return false;
    }
    const GeometricPrimitive* made = static_cast<GeometricPrimitive*>(shape.primitives->data);
    const bool ok = ktgeo_primitive_list_add(so->primitives, made) == 1;
    if (ok) nlst_free(shape.primitives);
    else ktgeo_so_release(&shape);
    return ok;
}

bool add_point(SpatialObject* so, const GeoCoord& c) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POINT, &p);
    p.geom.point.coord = c;
    return ktgeo_primitive_list_add(so->primitives, &p) == 1;
}

bool read_multipoint(Rd& r, SpatialObject* so) {
    read_rect(r);
    so->centroid = r.xy();
    const int32_t n = r.i32();
    if (!r.count_fits(n, 16)) return false;
    for (int32_t i = 0; i < n; ++i) {
        const GeoCoord c = r.xy();
        if (!r.ok() || !add_point(so, c)) return false;
    }
    return true;
}

bool read_extended_body(Rd& r, SpatialObject* so, uint16_t type) {
    switch (type) {
        case 1: {
            const GeoCoord c = r.xy();
            if (!r.ok()) return false;
            so->centroid = c;
            return add_point(so, c);
        }
        case 2: {
            const GeoCoord a = r.xy(), b = r.xy();
            return r.ok() && add_polyline(so, {a, b});
        }
        case 3: {
            const Rect rect = read_rect(r);
            const int16_t beg = r.i16(), end = r.i16();
            return r.ok() && add_shape(so, 3, rect, beg, end);
        }
        case 4:
        case 5:
            read_rect(r);
            so->centroid = r.xy();
            return r.ok() && read_sections(r, so, type == 5, true);
        case 6: {
            r.skip(2 + 8 + 16 + 8 + 6);
            const Rect rect = read_rect(r);
            return r.ok() && add_shape(so, 6, rect, 0, 0);
        }
        case 7:
        case 8:
        case 9: {
            const Rect rect = read_rect(r);
            return r.ok() && add_shape(so, type, rect, 0, 0);
        }
        case 13: return read_multipoint(r, so);
        case 14: {
            read_rect(r);
            for (uint16_t part : {13, 4, 5}) {
                const uint8_t present = r.u8();
                if (!r.ok()) return false;
                if (present && !read_extended_body(r, so, part)) return false;
            }
            return true;
        }
        default: return fail(kRead, "data");
    }
}

bool read_extended(Rd& r, SpatialObject* so) {
    r.skip(32);
    const uint8_t version = r.u8();
    if (!r.ok()) return false;
    if (version != 100) return true;
    const int32_t blob_size = r.i32();
    if (!r.ok()) return false;
    if (blob_size < 5 || int64_t{blob_size} - 5 > r.end - r.p) {
        too_big("cvtran_decode_i4");
        return false;
    }
    const uint8_t* records_end = r.p + (blob_size - 5);
    while (r.p < records_end) {
        const uint8_t* start = r.p;
        Rd head{r.p, records_end};
        const int32_t size = head.i32();
        const uint16_t type = head.u16();
        const uint8_t record_version = head.u8();
        if (!head.ok()) return false;
        if (size < 7 || size > records_end - start) {
            too_big("cvtran_decode_i4");
            return false;
        }
        Rd body{head.p, start + size};
        if (record_version == 1 && !read_extended_body(body, so, type)) return false;
        r.p = start + size;
    }
    return true;
}

bool read_classic(Rd& r, SpatialObject* so, uint8_t type) {
    const Rect rect = read_rect(r);
    // Rectangles, rounded rectangles and ellipses end with the rectangle.
    int16_t begangle = 0, endangle = 0;
    if (type < 7 || type > 9) {
        begangle = r.i16();
        endangle = r.i16();
    }
    if (!r.ok()) return false;
    switch (type) {
        case 1: {
            const GeoCoord c = r.xy();
            if (!r.ok()) return false;
            so->centroid = c;
            return add_point(so, c);
        }
        case 2: {
            const GeoCoord a = r.xy(), b = r.xy();
            return r.ok() && add_polyline(so, {a, b});
        }
        case 4:
        case 5:
            so->centroid = r.xy();
            r.skip(16);
            return r.ok() && read_sections(r, so, type == 5, false);
        case 6: {
            r.skip(8 + 8 + 16 + 2 + 8 + 6);
            const Rect text_rect = read_rect(r);
            return r.ok() && add_shape(so, 6, text_rect, 0, 0);
        }
        case 3:
        case 7:
        case 8:
        case 9: return add_shape(so, type, rect, begangle, endangle);
        default: return fail(kRead, "data");
    }
}

}  // namespace

int cvtran_cast_to_geometry(SpatialObject* object, const uint8_t* record, uint32_t length,
                            uint32_t csid) {
    ktgeo_so_init_empty(object);
    object->primitives = ktgeo_primitive_list_new(nullptr);
    if (!object->primitives) return 0;
    static const uint8_t kNothing = 0;
    if (!record) length = 0;
    Rd r{record ? record : &kNothing, (record ? record : &kNothing) + length};
    const uint8_t type = r.u8();
    bool ok = r.ok();
    if (ok && type == 0) ok = length == 1 || read_extended(r, object);
    else if (ok) ok = read_classic(r, object, type);
    if (!ok) {
        ktgeo_so_release(object);
        ktgeo_so_init_empty(object);
        return 0;
    }
    object->csid = static_cast<int32_t>(csid);
    ktgeo_so_complete(object);
    return 1;
}

// ------------------------------------------------------------ writing

namespace {

const char* const kWrite = "cvtran_cast_from_geometry";

struct Line {
    const nlst* coords;  // null: no coordinates
    bool two_point;
};

// The planning record and the parts it counted, in object order.
struct CvWritePlan {
    std::vector<GeoCoord> points;
    std::vector<Line> lines;
    std::vector<std::vector<const nlst*>> polygons;  // exterior, then interiors
    uint32_t rings = 0, two_point_lines = 0, coords = 0, other_lines = 0;
    bool valid = true, extended = false;
    uint32_t length = 0;
    int type = 0;
    bool linear_all = false;
};

uint32_t tally(const nlst* l) { return l ? l->tally : 0; }

void note_list(CvWritePlan* plan, const nlst* l) {
    plan->coords += tally(l);
    if (tally(l) > static_cast<uint32_t>(kMaxCount16)) plan->extended = true;
}

void plan_curve(CvWritePlan* plan, GeoCurve* curve) {
    const nlst* line = nullptr;
    if (curve->curve_type == KTGEO_POLYLINE || curve->curve_type == KTGEO_BEZIER)
        line = curve->coords;
    else if (curve->coords && curve->coords->tally)
        line = ktgeo_get_coord_list(curve);
    const bool two = curve->curve_type == KTGEO_POLYLINE && tally(line) == 2;
    plan->lines.push_back({line, two});
    if (two) ++plan->two_point_lines;
    else ++plan->other_lines;
    note_list(plan, line);
}

const nlst* plan_ring(CvWritePlan* plan, GeoPath* ring) {
    if (!ring->expanded && ring->connected && ring->curves && ring->curves->tally)
        ktgeo_path_expand(ring);
    if (!ring->closed || !ring->expanded) plan->valid = false;
    ++plan->rings;
    note_list(plan, ring->expanded);
    return ring->expanded;
}

void plan_object(CvWritePlan* plan, SpatialObject* so) {
    const uint32_t n = so->primitives ? so->primitives->tally : 0;
    for (uint32_t i = 0; i < n; ++i) {
        GeometricPrimitive* p = static_cast<GeometricPrimitive*>(nlst_index(so->primitives, i));
        switch (p->type) {
            case KTGEO_POINT:
                plan->points.push_back(p->geom.point.coord);
                ++plan->coords;
                break;
            case KTGEO_CURVE: plan_curve(plan, &p->geom.curve); break;
            case KTGEO_PATH: {
                const uint32_t curves = tally(p->geom.path.curves);
                for (uint32_t k = 0; k < curves; ++k)
                    plan_curve(plan, static_cast<GeoCurve*>(nlst_index(p->geom.path.curves, k)));
                break;
            }
            case KTGEO_POLYGON: {
                GeoPolygon& g = p->geom.polygon;
                if (g.valid != 1) plan->valid = false;
                std::vector<const nlst*> rings{plan_ring(plan, &g.exterior)};
                for (uint32_t k = 0; k < tally(g.interiors); ++k)
                    rings.push_back(plan_ring(plan, static_cast<GeoPath*>(nlst_index(g.interiors, k))));
                plan->polygons.push_back(std::move(rings));
                break;
            }
            default: break;
        }
    }
}

void decide(CvWritePlan* plan) {
    const uint32_t points = static_cast<uint32_t>(plan->points.size());
    const uint32_t lines = static_cast<uint32_t>(plan->lines.size());
    const int kinds = (points > 0) + (lines > 0) + (plan->rings > 0);
    plan->linear_all = plan->two_point_lines > 1 || plan->other_lines > 0 || kinds > 1;
    const uint32_t c16 = 16 * plan->coords;
    uint32_t body = 0;
    if (kinds >= 2) {
        plan->type = 14;
        plan->extended = true;
        body = 35 + c16 + (points ? 52 : 0) + (lines ? 6 * lines + 50 : 0) +
               (plan->rings ? 6 * plan->rings + 50 : 0);
    } else if (plan->rings || (lines && plan->linear_all)) {
        plan->type = plan->rings ? 5 : 4;
        const uint32_t sections = plan->rings ? plan->rings : lines;
        body = plan->extended ? c16 + 6 * sections + 50 : 4 * sections + c16 + 38;
    } else if (lines) {
        plan->type = 2;
        plan->extended = false;
        body = 36;
    } else if (points == 1) {
        plan->type = 1;
        plan->extended = false;
        body = 20;
    } else if (points > 1) {
        plan->type = 13;
        plan->extended = true;
        body = c16 + 52;
    } else {
        plan->type = 0;
        plan->length = 1;
        return;
    }
    plan->length = body + (plan->extended ? 45 : 33);
}

// A bounded writer; an encode past the end (reported by the codec) marks
// the write failed.
struct Wr {
    uint8_t* p;
    uint8_t* end;
    bool failed = false;
    void room(int width) {
        if (end - p < width) failed = true;
    }
    void u8(uint8_t v) { room(1), p = cvtran_encode_uc1(v, p, end); }
    void i16(int16_t v) { room(2), p = cvtran_encode_i2(v, p, end); }
    void u16(uint16_t v) { room(2), p = cvtran_encode_ui2(v, p, end); }
    void i32(int32_t v) { room(4), p = cvtran_encode_i4(v, p, end); }
    void f8(double v) { room(8), p = cvtran_encode_f8(v, p, end); }
    void xy(const GeoCoord& c) {
        f8(c.x);
        f8(c.y);
    }
    void list(const nlst* l) {
        const GeoCoord* c = l ? static_cast<const GeoCoord*>(l->data) : nullptr;
        for (uint32_t i = 0; i < tally(l); ++i) xy(c[i]);
    }
    void rect(const SpatialObject* so) {
        f8(so->env_min.x);
        f8(so->env_min.y);
        f8(so->env_max.x);
        f8(so->env_max.y);
    }
};

int too_many(const char* what) {
    QD_FAIL("UKT_9", "what%s", what, nullptr);
    return 0;
}

// The header of a polyline or region body and its sections.
int write_sections(Wr& w, const SpatialObject* so, const CvWritePlan& plan, bool region,
                   bool extended) {
    const uint32_t sections = region ? plan.rings : static_cast<uint32_t>(plan.lines.size());
    if (sections > static_cast<uint32_t>(kMaxCount16)) return too_many("CV_region");
    if (extended) w.rect(so);
    w.xy(so->centroid);
    if (!extended)
        for (int i = 0; i < 2; ++i) w.f8(0);
    w.i16(static_cast<int16_t>(sections));
    auto section = [&](const nlst* l, int16_t within) {
        if (extended) w.i32(static_cast<int32_t>(tally(l)));
        else w.i16(static_cast<int16_t>(tally(l)));
        w.i16(within);
        w.list(l);
    };
    if (!region) {
        for (const Line& line : plan.lines) section(line.coords, 0);
        return 1;
    }
    for (const auto& rings : plan.polygons) {
        if (rings.size() - 1 > static_cast<size_t>(kMaxCount16)) return too_many("CV_region");
        section(rings[0], static_cast<int16_t>(rings.size() - 1));
        for (size_t k = 1; k < rings.size(); ++k) section(rings[k], 0);
    }
    return 1;
}

void write_multipoint(Wr& w, const SpatialObject* so, const CvWritePlan& plan) {
    w.rect(so);
    w.xy(so->centroid);
    w.i32(static_cast<int32_t>(plan.points.size()));
    for (const GeoCoord& c : plan.points) w.xy(c);
}

int write_body(Wr& w, SpatialObject* so, const CvWritePlan& plan) {
    switch (plan.type) {
        case 1:
            w.xy(plan.points[0]);
            return 1;
        case 2: {
            const GeometricPrimitive* first = static_cast<GeometricPrimitive*>(so->primitives->data);
            if (first->type != KTGEO_CURVE && first->type != KTGEO_PATH)
                return fail("cvtran_cast_from_line", "so");
            w.list(plan.lines[0].coords);
            return 1;
        }
        case 4:
        case 5: return write_sections(w, so, plan, plan.type == 5, plan.extended);
        case 13: write_multipoint(w, so, plan); return 1;
        case 14:
            w.rect(so);
            w.u8(plan.points.empty() ? 0 : 1);
            if (!plan.points.empty()) write_multipoint(w, so, plan);
            w.u8(plan.lines.empty() ? 0 : 1);
            if (!plan.lines.empty() && !write_sections(w, so, plan, false, true)) return 0;
            w.u8(plan.rings ? 1 : 0);
            if (plan.rings && !write_sections(w, so, plan, true, true)) return 0;
            return 1;
        default: return 1;
    }
}

}  // namespace

int cvtran_cast_from_geometry(SpatialObject* object, uint8_t** record, uint32_t* length,
                              uint32_t* csid) {
    *record = nullptr;
    *length = 0;
    if (!object) return fail(kWrite, "so");
    if (ktgeo_coord_is_unset(object->env_min) || ktgeo_coord_is_unset(object->centroid)) {
        const int r = ktgeo_so_compute_envelope(object);
        if (r != 1) return r;
    }
    CvWritePlan plan;
    plan_object(&plan, object);
    if (plan.rings && !plan.valid) {
        QD_FAIL("UKT_6", "what%s", "CV_region", nullptr);
        return 0;
    }
    decide(&plan);
    uint8_t* block = static_cast<uint8_t*>(qd_alloc(plan.length));
    if (!block) return 0;
    Wr w{block, block + plan.length};
    if (plan.type == 0) {
        w.u8(0);
    } else if (plan.extended) {
        w.u8(0);
        for (int i = 0; i < 4; ++i) w.f8(0);
        w.u8(100);
        w.i32(static_cast<int32_t>(plan.length - 33));
        w.i32(static_cast<int32_t>(plan.length - 38));
        w.u16(static_cast<uint16_t>(plan.type));
        w.u8(1);
    } else {
        w.u8(static_cast<uint8_t>(plan.type));
        w.rect(object);
        w.i16(0);
        w.i16(0);
    }
    if (!write_body(w, object, plan)) {
        qd_free(block);
        return 0;
    }
    if (w.failed || w.p != block + plan.length) {
        fail(kWrite, "size");
        qd_free(block);
        return 0;
    }
    *record = block;
    *length = plan.length;
    if (csid) *csid = static_cast<uint32_t>(object->csid);
    return 1;
}

// ------------------------------------------------------------ blobs

namespace {

// Opens a blob and reads its tag: 0 when it cannot be opened.
int open_tag(const uint8_t* blob, BlobBuffer* r, char tag[4]) {
    return blob && ktgeo_blob_open(r, blob) && ktgeo_blob_read_c4(r, tag);
}

bool is_cv(const char tag[4]) { return std::memcmp(tag, "CV0", 3) == 0 && (tag[3] == '0' || tag[3] == '1'); }

// The record of a CV blob after its tag (and id); 1 or 0.
int cv_record(BlobBuffer* r, const char tag[4], uint8_t** record, uint32_t* length, uint32_t* csid) {
    if (tag[3] == '1') {
        uint32_t id = 0;
        if (!ktgeo_blob_read_ui4(r, &id)) return 0;
        if (csid) *csid = id;
    }
    return ktgeo_blob_read_rest(r, record, length);
}

}  // namespace

int cvtran_cast_from_blob(const uint8_t* blob, uint8_t** record, uint32_t* length,
                          uint32_t* csid) {
    *record = nullptr;
    *length = 0;
    BlobBuffer r;
    char tag[4];
    if (!open_tag(blob, &r, tag)) return fail("cvtran_cast_from_blob", "b");
    if (is_cv(tag)) return cv_record(&r, tag, record, length, csid);
    if (tag[0] == 'C') return fail("cvtran_cast_from_blob", "ktb");
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    int ok = ktgeo_unpack_geometry(blob, &so);
    if (ok == 1) ok = cvtran_cast_from_geometry(&so, record, length, csid);
    ktgeo_so_release(&so);
    return ok;
}

int cvtran_get_bulk(const uint8_t* blob, uint8_t** record, uint32_t* length) {
    *record = nullptr;
    *length = 0;
    BlobBuffer r;
    char tag[4];
    if (!open_tag(blob, &r, tag) || !is_cv(tag)) return 0;
    return cv_record(&r, tag, record, length, nullptr);
}

int cvtran_text_record_from_blob(const uint8_t* blob, uint8_t** record, uint32_t* length,
                                 uint32_t* csid, int* is_text) {
    *is_text = 0;
    *record = nullptr;
    *length = 0;
    BlobBuffer r;
    char tag[4];
    if (!open_tag(blob, &r, tag) || !is_cv(tag)) return 1;
    uint8_t* rec = nullptr;
    uint32_t n = 0;
    if (!cv_record(&r, tag, &rec, &n, csid)) return 1;
    const bool text = (n > 0 && rec[0] == 6) ||
                      (n >= 45 && rec[0] == 0 && rec[33] == 100 && rec[42] == 6 && rec[43] == 0);
    if (!text) {
        qd_free(rec);
        return 1;
    }
    *record = rec;
    *length = n;
    *is_text = 1;
    return 1;
}

int cvtran_is_null(const uint8_t* record, uint32_t length) {
    if (!record || length == 0) return 1;
    return record[0] == 0 && length == 1 ? 1 : 0;
}

namespace {

struct Box {
    bool any = false;
    double llx = 0, lly = 0, urx = 0, ury = 0;
    void add(double x, double y) {
        if (!any) {
            llx = urx = x;
            lly = ury = y;
            any = true;
            return;
        }
        llx = std::fmin(llx, x);
        lly = std::fmin(lly, y);
        urx = std::fmax(urx, x);
        ury = std::fmax(ury, y);
    }
};

}  // namespace

int cvtran_blob_envelope(const uint8_t* blob, GeoCoord envelope[2]) {
    envelope[0] = envelope[1] = GeoCoord{0, 0, KTGEO_NO_Z};
    uint8_t* rec = nullptr;
    uint32_t n = 0;
    if (!cvtran_get_bulk(blob, &rec, &n)) return 0;
    Box box;
    Rd r{rec, rec + n};
    const uint8_t type = r.u8();
    if (r.ok() && type != 0) {
        const Rect rect = read_rect(r);
        if (r.ok()) {
            box.add(rect.llx, rect.lly);
            box.add(rect.urx, rect.ury);
        }
    } else if (r.ok() && n > 1) {
        r.skip(32);
        const uint8_t version = r.u8();
        const int32_t blob_size = r.i32();
        if (r.ok() && version == 100 && blob_size >= 5 && int64_t{blob_size} - 5 <= r.end - r.p) {
            const uint8_t* records_end = r.p + (blob_size - 5);
            while (r.p && r.p < records_end) {
                const uint8_t* start = r.p;
                Rd head{start, records_end};
                const int32_t size = head.i32();
                const uint16_t t = head.u16();
                head.u8();
                if (!head.ok() || size < 7 || size > records_end - start) break;
                Rd body{head.p, start + size};
                if (t == 1) {
                    const GeoCoord c = body.xy();
                    if (body.ok()) box.add(c.x, c.y);
                } else if (t == 2) {
                    const GeoCoord a = body.xy(), b = body.xy();
                    if (body.ok()) {
                        box.add(a.x, a.y);
                        box.add(b.x, b.y);
                    }
                } else if ((t >= 3 && t <= 9) || t == 13 || t == 14) {
                    if (t == 6) body.skip(2 + 8 + 16 + 8 + 6);
                    const Rect rect = read_rect(body);
                    if (body.ok()) {
                        box.add(rect.llx, rect.lly);
                        box.add(rect.urx, rect.ury);
                    }
                }
                r.p = start + size;
            }
        }
    }
    qd_free(rec);
    if (box.any) {
        envelope[0] = GeoCoord{box.llx, box.lly, KTGEO_NO_Z};
        envelope[1] = GeoCoord{box.urx, box.ury, KTGEO_NO_Z};
    }
    return 1;
}

int cvtran_quick_check(const SpatialObject* object) { return ktgeo_quick_check(object) ? 1 : 0; }
