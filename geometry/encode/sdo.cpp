// SDO arrays of map objects and map objects of SDO arrays.
//
// Encoding fills the holder's two kernel blocks (element triples, ordinates)
// and the record's type code and point. Decoding reads the record through
// checks: every element offset, point count and ordinate index is checked
// against the arrays before anything is read or reserved.
#include "geometry/encode/sdo.h"

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/mem.h"

// ------------------------------------------------------------ ring helpers

namespace {

double turn(const IntPoint& a, const IntPoint& b, const IntPoint& c) {
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y, cx = c.x, cy = c.y;
    return bx * (cy - ay) + cx * (ay - by) + ax * (by - cy);
}

// Point against segment with the half-open end rule: false when the
// point's y lies outside the segment's y range (or on its upper end of a
// sloped segment); class 0 on the segment, 1 when a ray towards +x crosses
// it, 2 when the segment lies to the left.
bool classify(const IntPoint& p, IntPoint a, IntPoint b, int* cls) {
    const int32_t ylo = a.y < b.y ? a.y : b.y, yhi = a.y < b.y ? b.y : a.y;
    if (p.y < ylo || p.y > yhi) return false;
    if ((p.x == a.x && p.y == a.y) || (p.x == b.x && p.y == b.y)) {
        *cls = 0;
        return true;
    }
    const int32_t xlo = a.x < b.x ? a.x : b.x, xhi = a.x < b.x ? b.x : a.x;
    if (p.y == yhi) {
        if (a.y != b.y) return false;
        if (p.x < xlo || p.x > xhi) return false;
        *cls = 0;
        return true;
    }
    if (p.x >= xlo && p.x <= xhi) {
        if (a.x == b.x || a.y == b.y) {
            *cls = 0;
            return true;
        }
        if (a.y > b.y) std::swap(a, b);
        const double v = (static_cast<double>(p.y) - a.y) * (static_cast<double>(b.x) - a.x) -
                         (static_cast<double>(p.x) - a.x) * (static_cast<double>(b.y) - a.y);
        *cls = std::fabs(v) < 0.9 ? 0 : v > 0 ? 1 : 2;
        return true;
    }
    *cls = p.x < xlo ? 1 : 2;
    return true;
}

}  // namespace

int16_t sdo_turn_left(const IntPoint* a, const IntPoint* b, const IntPoint* c) {
    return turn(*a, *b, *c) >= 0 ? 1 : 0;
}

int16_t sdo_point_in_triangle(const IntPoint* p, const IntPoint* a, const IntPoint* b,
                              const IntPoint* c) {
    const int16_t t1 = sdo_turn_left(a, b, p), t2 = sdo_turn_left(b, c, p),
                  t3 = sdo_turn_left(c, a, p);
    return t1 == t2 && t2 == t3 ? 1 : 0;
}

int16_t sdo_point_in_ring(const IntPoint* p, const IntPoint* ring, int32_t n, int16_t* classified,
                          int16_t* on_ring) {
    *classified = 0;
    *on_ring = 0;
    int16_t parity = 0;
    for (int32_t k = 0; k + 1 < n; ++k) {
        const IntPoint& a = ring[k];
        const IntPoint& b = ring[k + 1];
        if ((a.x > b.x ? a.x : b.x) < p->x) continue;
        int cls = 0;
        if (!classify(*p, a, b, &cls)) continue;
        *classified = 1;
        if (cls == 0) {
            *on_ring = 1;
            return 1;
        }
        if (cls == 1) parity ^= 1;
    }
    return parity;
}

int16_t sdo_ring_is_ccw(const IntPoint* ring, int32_t n) {
    if (n < 1) return 0;
    for (int32_t i = 0; i + 1 < n; ++i) {
        const int32_t ia = i, ib = (i + 1) % n, ic = (i + 2) % n;
        const IntPoint &a = ring[ia], &b = ring[ib], &c = ring[ic];
        bool blocked = false;
        for (int32_t m = 0; m <= n - 2 && !blocked; ++m)
            if (m != ia && m != ib && m != ic && sdo_point_in_triangle(&ring[m], &a, &b, &c))
                blocked = true;
        if (blocked) continue;
        const IntPoint centre{static_cast<int32_t>((static_cast<double>(a.x) + b.x + c.x) / 3.0),
                              static_cast<int32_t>((static_cast<double>(a.y) + b.y + c.y) / 3.0)};
        if (!sdo_point_in_triangle(&centre, &a, &b, &c)) continue;
        int16_t classified = 0, on_ring = 0;
        const int16_t inside = sdo_point_in_ring(&centre, ring, n, &classified, &on_ring);
        if (classified && !on_ring) return sdo_turn_left(&a, &b, &c) == inside ? 1 : 0;
    }
    // No ear found: the sign of the shoelace area (0 counts as counterclockwise).
    double area = 0;
    for (int32_t k = 0; k < n; ++k) {
        const IntPoint& a = ring[k];
        const IntPoint& b = ring[(k + 1) % n];
        area += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
    }
    return area >= 0 ? 1 : 0;
}

int16_t sdo_turn_right_xy(const DPoint* a, const DPoint* b, const DPoint* c) {
    return b->x * (c->y - a->y) + c->x * (a->y - b->y) + a->x * (b->y - c->y) < 0 ? 1 : 0;
}

double sdo_distance(const DPoint* a, const DPoint* b) { return std::hypot(b->x - a->x, b->y - a->y); }

void sdo_reverse_points(IntPoint* points, int32_t n) {
    for (int32_t i = 0, j = n - 1; i < j; ++i, --j) std::swap(points[i], points[j]);
}

// ------------------------------------------------------------ encoding

namespace {

constexpr int32_t kExterior = 1003, kInterior = 2003;

struct Encoder {
    MapObject* obj;
    const CoordXform* xf;
    SdoArrays* arrays;
    SdoGeometry* g;
    bool short_codes;
    std::vector<int32_t> elem;
    std::vector<double> ords;

    int32_t code(int32_t digit) const { return short_codes ? digit : 2000 + digit; }
    void put(const IntPoint* p, int32_t n) {
        if (n <= 0) return;
        std::vector<DPoint> d(static_cast<size_t>(n));
        xform_int_to_xy(p, d.data(), xf, n);
        for (const DPoint& q : d) {
            ords.push_back(q.x);
            ords.push_back(q.y);
        }
    }
    int32_t next_offset() const { return static_cast<int32_t>(ords.size()) + 1; }
    void triple(int32_t a, int32_t b, int32_t c) {
        elem.push_back(a);
        elem.push_back(b);
        elem.push_back(c);
    }
    void point_at(const IntPoint& p) {
        DPoint d;
        xform_int_to_xy(&p, &d, xf, 1);
        g->point_x = d.x;
        g->point_y = d.y;
    }
};

// Exterior or interior by the holes-following counts, in section order.
std::vector<bool> exterior_marks(MapObject* o) {
    std::vector<bool> marks;
    MapSection* h = mapobj_lock_sections(o, 0);
    int32_t expected = 0;
    for (int32_t i = 0; h && i < o->u.poly.sections; ++i) {
        if (h[i].holes != 0) {
            marks.push_back(true);
            expected = h[i].holes;
        } else if (expected > 0) {
            marks.push_back(false);
            --expected;
        } else {
            marks.push_back(true);
        }
    }
    if (h) mapobj_unlock_sections(o, h, 0);
    return marks;
}

void orient(IntPoint* nodes, int32_t n, bool exterior, bool lonlat) {
    const bool want_ccw = exterior != lonlat;
    if ((sdo_ring_is_ccw(nodes, n) == 1) != want_ccw) sdo_reverse_points(nodes, n);
}

// Triples and ordinates of a polyline's or region's sections.
void encode_sections(Encoder* e, MapObject* o) {
    const bool region = o->type == MAPOBJ_REGION;
    const int32_t s = o->u.poly.sections;
    MapSection* h = o->nodes ? mapobj_lock_sections(o, 0) : nullptr;
    if (!h) {
        for (int32_t i = 0; i < s; ++i) e->triple(0, 0, 0);
        return;
    }
    const std::vector<bool> marks = region ? exterior_marks(o) : std::vector<bool>();
    const bool lonlat = xform_projection_type(e->xf) == 1;
    for (int32_t i = 0; i < s; ++i) {
        int32_t type = 2;
        if (region) type = e->short_codes ? 3 : (marks[static_cast<size_t>(i)] ? kExterior : kInterior);
        e->triple(e->next_offset(), type, 1);
        IntPoint* nodes = mapobj_section_nodes(h, i);
        const int32_t n = h[i].node_count;
        if (region && !e->short_codes) orient(nodes, n, marks[static_cast<size_t>(i)], lonlat);
        e->put(nodes, n);
    }
    mapobj_unlock_sections(o, h, 0);
}

void encode_multipoint(Encoder* e, MapObject* o) {
    const int32_t n = o->u.multipoint.count;
    e->triple(e->next_offset(), 1, n);
    if (o->nodes) e->put(static_cast<const IntPoint*>(o->nodes), n);
}

IntPoint centre(const MapObject* o) {
    IntPoint c{0, 0};
    mapobj_get_centroid(o, &c);
    return c;
}

// Copies the arrays into the holder's kernel blocks.
bool store(Encoder* e) {
    SdoGeometry* g = e->g;
    SdoArrays* a = e->arrays;
    const size_t ne = e->elem.size(), no = e->ords.size();
    if (no) {
        void* block = nullptr;
        if (!mem_alloc_zeroed(static_cast<int64_t>(no * sizeof(double)), &a->ord_block, &block))
            return false;
        std::memcpy(block, e->ords.data(), no * sizeof(double));
        g->ords = static_cast<double*>(block);
    }
    if (ne) {
        void* block = nullptr;
        if (!mem_alloc_zeroed(static_cast<int64_t>(ne * sizeof(int32_t)), &a->elem_block, &block))
            return false;
        std::memcpy(block, e->elem.data(), ne * sizeof(int32_t));
        g->elem = static_cast<int32_t*>(block);
    }
    g->elem_count = static_cast<int32_t>(ne);
    g->ord_count = static_cast<int32_t>(no);
    return true;
}

}  // namespace

void sdo_reset(SdoGeometry* g) {
    *g = SdoGeometry{2, 0, 0, 0.0, 0.0, 0, nullptr, 0, nullptr};
}

void sdo_free_arrays(SdoArrays* a) {
    if (a->elem_block) mem_free(&a->elem_block);
    if (a->ord_block) mem_free(&a->ord_block);
    a->elem_block = a->ord_block = nullptr;
    if (a->geometry) {
        a->geometry->elem = nullptr;
        a->geometry->ords = nullptr;
    }
}

int16_t object_to_sdo(MapObject* o, const CoordXform* xf, SdoArrays* a, int16_t short_codes,
                      int16_t no_srid, int32_t srid) {
    SdoGeometry* g = a->geometry;
    a->elem_block = a->ord_block = nullptr;
    g->elem = nullptr;
    g->ords = nullptr;
    if (!no_srid) g->srid = srid;
    Encoder e{o, xf, a, g, short_codes != 0, {}, {}};
    switch (o->type) {
        case MAPOBJ_POINT:
            g->gtype = e.code(1);
            g->elem_count = g->ord_count = 0;
            e.point_at(o->u.point.location);
            return 1;
        case MAPOBJ_LINE: {
            g->gtype = e.code(2);
            g->point_x = g->point_y = 0.0;
            e.triple(1, 2, 1);
            const IntPoint ends[2] = {o->u.line.start, o->u.line.end};
            e.put(ends, 2);
            break;
        }
        case MAPOBJ_MULTIPOINT:
            g->gtype = e.code(5);
            encode_multipoint(&e, o);
            break;
        case MAPOBJ_POLYLINE:
            g->gtype = e.code(o->u.poly.sections > 1 ? 6 : 2);
            encode_sections(&e, o);
            break;
        case MAPOBJ_REGION:
            g->gtype = e.code(o->u.poly.sections > 1 ? 7 : 3);
            e.point_at(centre(o));
            encode_sections(&e, o);
            break;
        case MAPOBJ_RECT: {
            // The ring the bridge makes of a rectangle, oriented as a region's.
            const IntRect& r = o->mbr;
            IntPoint ring[5] = {{r.x1, r.y1}, {r.x2, r.y1}, {r.x2, r.y2}, {r.x1, r.y2}, {r.x1, r.y1}};
            g->gtype = e.code(3);
            e.point_at(centre(o));
            e.triple(1, short_codes ? 3 : kExterior, 1);
            if (!short_codes) orient(ring, 5, true, xform_projection_type(xf) == 1);
            e.put(ring, 5);
            break;
        }
        case MAPOBJ_COLLECTION: {
            g->gtype = e.code(4);
            MapObject* mp = mapobjx_collection_has_multipoint(o) ? mapobj_lock(o->multipoint_handle) : nullptr;
            MapObject* pl = mapobjx_collection_has_polyline(o) ? mapobj_lock(o->polyline_handle) : nullptr;
            MapObject* rg = mapobjx_collection_has_region(o) ? mapobj_lock(o->region_handle) : nullptr;
            if (mp) encode_multipoint(&e, mp);
            if (pl) encode_sections(&e, pl);
            if (rg) {
                encode_sections(&e, rg);
                e.point_at(centre(rg));
            }
            break;
        }
        default: return 1;
    }
    if (store(&e)) return 1;
    if (a->elem_block) mem_free(&a->elem_block);
    g->elem = nullptr;
    return 0;
}

// ------------------------------------------------------------ decoding

int16_t sdo_angle_tenths(double dy, double dx) {
    double degrees;
    if (dx == 0) degrees = dy > 0 ? 90.0 : 270.0;
    else if (dy == 0) degrees = dx > 0 ? 0.0 : 180.0;
    else {
        degrees = std::atan2(dy, dx) * (180.0 / 3.141592653589793);
        if (degrees < 0) degrees += 360.0;
    }
    const double tenths = degrees * 10.0;
    return static_cast<int16_t>(tenths >= 0 ? tenths + 0.5 : tenths - 0.5);
}

int16_t sdo_circle_3points(const DPoint* a, const DPoint* b, const DPoint* c, DRect* square,
                           int16_t* start, int16_t* end) {
    const double ux = c->x - a->x, uy = c->y - a->y, vx = b->x - a->x, vy = b->y - a->y;
    const double d = vy * ux - vx * uy;
    if (!(std::fabs(d) >= 1e-20)) return 0;
    const double k = 0.5 / d, lu = ux * ux + uy * uy, lv = vx * vx + vy * vy;
    const double cx = a->x + k * (lu * vy - lv * uy), cy = a->y + k * (lv * ux - lu * vx);
    const double r = std::hypot(a->x - cx, a->y - cy);
    *square = DRect{cx - r, cy - r, cx + r, cy + r};
    *start = sdo_angle_tenths(a->y - cy, a->x - cx);
    *end = sdo_angle_tenths(c->y - cy, c->x - cx);
    return 1;
}

namespace {

struct Decoder {
    SdoGeometry* g;
    const ObjStyleSet* styles;
    const CoordXform* xf;
    int32_t dims;
    int32_t triples;
    int64_t ord_index;  // running index into the ordinates (0-based)
    std::vector<IntPoint> pts;

    const int32_t* triple(int32_t i) const { return g->elem + 3 * i; }
    int64_t points_total() const { return g->ord_count / dims; }

    // Points of element i by the offsets.
    int64_t element_points(int32_t i) const {
        const int64_t offset = triple(i)[0];
        const int64_t next = i + 1 < triples ? triple(i + 1)[0] : g->ord_count;
        const int64_t n = (next - offset + 1) / dims;
        return n > 0 ? n : 0;
    }

    bool have(int64_t n) const { return n >= 0 && ord_index + n * dims <= g->ord_count; }

    DPoint ord_point(int64_t index) const { return DPoint{g->ords[index], g->ords[index + 1]}; }

    // Reads n tuples at the running index into the point buffer.
    bool read_points(int64_t n) {
        if (!have(n)) return false;
        for (int64_t k = 0; k < n; ++k) {
            const DPoint d = ord_point(ord_index);
            IntPoint p;
            xform_xy_to_int(&d, &p, xf, 1);
            pts.push_back(p);
            ord_index += dims;
        }
        return true;
    }

    IntPoint to_int(const DPoint& d) const {
        IntPoint p;
        xform_xy_to_int(&d, &p, xf, 1);
        return p;
    }
};

// An arc string of n points from the running index (one more, not
// consumed, when it shares its end with the next element).
bool sdo_read_arcs(Decoder* d, int64_t n, bool sharing, bool region) {
    const int64_t count = n + (sharing ? 1 : 0);
    if (!d->have(count)) return false;
    std::vector<DPoint> p(static_cast<size_t>(count));
    for (int64_t k = 0; k < count; ++k) p[static_cast<size_t>(k)] = d->ord_point(d->ord_index + k * d->dims);
    for (int64_t gi = 0; gi + 2 < count; gi += 2) {
        const DPoint &a = p[static_cast<size_t>(gi)], &b = p[static_cast<size_t>(gi + 1)],
                     &c = p[static_cast<size_t>(gi + 2)];
        const bool clockwise = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y) < 0;
        DRect square;
        int16_t start, end;
        if (!sdo_circle_3points(&a, &b, &c, &square, &start, &end)) return false;
        if (clockwise) std::swap(start, end);
        MapObject arc;
        mapobj_init(&arc, MAPOBJ_ARC);
        xform_xy_rect_to_int(&square, &arc.u.arc.rect, d->xf);
        arc.u.arc.start = start;
        arc.u.arc.end = end;
        mapobjx_arc_compute_mbr(&arc);
        IntPoint* stroked = nullptr;
        void* aux = nullptr;
        const int32_t m = mapobj_arc_points(&arc, mapobj_get_resolution(), &stroked, &aux);
        std::vector<IntPoint> s;
        if (m > 0 && stroked) s.assign(stroked, stroked + m);
        if (stroked) mem_free(&stroked);
        if (s.size() < 2) s.resize(2);
        if (clockwise) sdo_reverse_points(s.data(), static_cast<int32_t>(s.size()));
        s.front() = d->to_int(a);
        s.back() = d->to_int(c);
        if (region || gi + 3 < count) s.pop_back();
        d->pts.insert(d->pts.end(), s.begin(), s.end());
    }
    d->ord_index += n * d->dims;
    return true;
}

bool sdo_read_circle(Decoder* d) {
    if (!d->have(3)) return false;
    const DPoint a = d->ord_point(d->ord_index), b = d->ord_point(d->ord_index + d->dims),
                 c = d->ord_point(d->ord_index + 2 * d->dims);
    DRect square;
    int16_t start, end;
    if (!sdo_circle_3points(&a, &b, &c, &square, &start, &end)) return false;
    MapObject ellipse;
    mapobj_init(&ellipse, MAPOBJ_ELLIPSE);
    xform_xy_rect_to_int(&square, &ellipse.mbr, d->xf);
    IntPoint* stroked = nullptr;
    void* aux = nullptr;
    const int32_t m = mapobj_arc_points(&ellipse, mapobj_get_resolution(), &stroked, &aux);
    for (int32_t k = 0; k + 1 < m; ++k) d->pts.push_back(stroked[k]);
    if (stroked) mem_free(&stroked);
    d->ord_index += 3 * d->dims;
    return true;
}

// A simple line or ring element by its interpretation.
bool read_simple(Decoder* d, int32_t i, bool region) {
    const int32_t interp = d->triple(i)[2];
    const int64_t n = d->element_points(i);
    switch (interp) {
        case 1:
            if (!d->read_points(n)) return false;
            if (region && !d->pts.empty()) d->pts.pop_back();
            return true;
        case 2: return sdo_read_arcs(d, n, false, region);
        case 3: {
            if (!region || !d->have(2)) return false;
            const IntPoint p = d->to_int(d->ord_point(d->ord_index));
            const IntPoint q = d->to_int(d->ord_point(d->ord_index + d->dims));
            d->pts.insert(d->pts.end(), {{p.x, p.y}, {q.x, p.y}, {q.x, q.y}, {p.x, q.y}});
            d->ord_index += 2 * d->dims;
            return true;
        }
        case 4: return region && sdo_read_circle(d);
        default: return false;
    }
}

// A compound element at triple i: its subelements follow; *used counts
// the triples consumed.
bool read_compound(Decoder* d, int32_t i, bool region, int32_t* used) {
    const int32_t subs = d->triple(i)[2];
    if (subs < 1 || subs > d->triples - i - 1) return false;
    for (int32_t k = 1; k <= subs; ++k) {
        const int32_t j = i + k;
        const int64_t n = d->element_points(j);
        switch (d->triple(j)[2]) {
            case 1:
                if (!d->read_points(n)) return false;
                if (region && d->ord_index >= d->g->ord_count && d->pts.size() > 1 &&
                    d->pts.back().x == d->to_int(d->ord_point(0)).x &&
                    d->pts.back().y == d->to_int(d->ord_point(0)).y)
                    d->pts.pop_back();
                break;
            case 2:
                if (!sdo_read_arcs(d, n, k < subs, false)) return false;
                break;
            default: return false;
        }
    }
    if (region && d->pts.size() > 1 && d->pts.front().x == d->pts.back().x &&
        d->pts.front().y == d->pts.back().y)
        d->pts.pop_back();
    *used = subs + 1;
    return true;
}

// Sections for four-digit element types: polygon by polygon.
bool sdo_group_rings(Decoder* d, MapObject* o, int32_t from) {
    int32_t i = from;
    while (i < d->triples) {
        const int32_t kind = d->triple(i)[1] / 1000;
        if (kind != 1) {
            ++i;
            continue;
        }
        int32_t rings = 1, j = i + 1;
        for (; j < d->triples && d->triple(j)[1] / 1000 != 1; ++j)
            if (d->triple(j)[1] / 1000 == 2) ++rings;
        int32_t first = 0;
        if (!mapobjx_add_sections(o, rings, 0, &first)) return false;
        i = j;
    }
    return true;
}

// Elements of triples [from, to) as sections of a polyline or region.
bool read_elements(Decoder* d, MapObject* o, int32_t from, int32_t to, int32_t* section,
                   int32_t line_type, int32_t ring_type) {
    const bool region = o->type == MAPOBJ_REGION;
    for (int32_t i = from; i < to;) {
        const int32_t type = d->triple(i)[1] % 1000;
        d->pts.clear();
        int32_t used = 1;
        if (type == (region ? ring_type : line_type)) {
            if (!read_simple(d, i, region)) return false;
        } else if (type == (region ? ring_type + 2 : line_type + 2)) {
            if (!read_compound(d, i, region, &used)) return false;
        } else {
            return false;
        }
        if (!d->pts.empty() && !mapobjx_insert_nodes(o, *section, 0, d->pts.data(),
                                                     static_cast<int32_t>(d->pts.size()), nullptr,
                                                     nullptr))
            return false;
        ++*section;
        i += used;
    }
    return true;
}

bool sdo_point_set(const SdoGeometry* g) { return g->point_x != 0.0 || g->point_y != 0.0; }

void finish_region(Decoder* d, MapObject* o, bool short_codes) {
    const bool keep_centre = sdo_point_set(d->g);
    if (keep_centre) {
        const IntPoint c = d->to_int(DPoint{d->g->point_x, d->g->point_y});
        mapobjx_set_center(o, &c, 0);
    }
    if (short_codes) mapobjx_normalize(o, keep_centre ? 0 : 1);
    else mapobjx_normalize_keep_groups(o, keep_centre ? 0 : 1);
    o->pen = d->styles->area_pen;
    o->brush = d->styles->brush;
}

bool sdo_to_lines_or_region(Decoder* d, MapObject* o, int32_t kind, bool short_codes) {
    mapobj_set_type(o, kind == 6 ? MAPOBJ_POLYLINE : MAPOBJ_REGION);
    if (d->points_total() == 0 || d->triples == 0) return false;
    if (o->type == MAPOBJ_REGION && d->triple(0)[1] >= 1000 && !sdo_group_rings(d, o, 0)) return false;
    int32_t section = 0;
    if (!read_elements(d, o, 0, d->triples, &section, 2, 3)) return false;
    if (o->type == MAPOBJ_REGION) {
        finish_region(d, o, short_codes);
    } else {
        mapobjx_normalize(o, 1);
        o->pen = d->styles->line_pen;
    }
    return true;
}

// A line value of more than two points: one section from every element.
bool one_line(Decoder* d, MapObject* o) {
    mapobj_set_type(o, MAPOBJ_POLYLINE);
    d->pts.clear();
    for (int32_t i = 0; i < d->triples; ++i) {
        const int32_t* t = d->triple(i);
        if (t[1] % 1000 == 4) {
            if (i + 1 >= d->triples || d->triple(i + 1)[1] % 1000 == 4) return false;
            continue;
        }
        const int64_t n = d->element_points(i);
        if (t[2] == 1) {
            if (!d->read_points(n)) return false;
        } else if (t[2] == 2) {
            if (!sdo_read_arcs(d, n, i + 1 < d->triples, false)) return false;
        } else {
            return false;
        }
    }
    if (!d->pts.empty() && !mapobjx_insert_nodes(o, 0, 0, d->pts.data(),
                                                 static_cast<int32_t>(d->pts.size()), nullptr, nullptr))
        return false;
    mapobjx_normalize(o, 1);
    o->pen = d->styles->line_pen;
    return true;
}

bool multipoint(Decoder* d, MapObject* o, int64_t n) {
    if (n < 0 || !d->have(n)) return false;
    d->pts.clear();
    if (!d->read_points(n)) return false;
    if (!d->pts.empty() && !mapobjx_multipoint_add_nodes(o, static_cast<int32_t>(d->pts.size()),
                                                         d->pts.data(), nullptr, nullptr))
        return false;
    o->u.multipoint.symbol = d->styles->symbol;
    mapobjx_normalize(o, 1);
    return true;
}

MapObject* collection_part(MapHandle* handle, MapObject** pointer, int type) {
    if (*handle) return mapobj_lock(*handle);
    MapObject* part = nullptr;
    if (!mapobj_new(handle, &part, type, 0)) return nullptr;
    *pointer = part;
    return part;
}

bool sdo_to_collection(Decoder* d, MapObject* o, bool short_codes) {
    mapobj_set_type(o, MAPOBJ_COLLECTION);
    if (d->points_total() == 0) return false;
    MapObject* rg = nullptr;
    MapObject* pl = nullptr;
    MapObject* mp = nullptr;
    int32_t region_section = 0, line_section = 0;
    bool grouped = false;
    for (int32_t i = 0; i < d->triples;) {
        int32_t type = d->triple(i)[1];
        if (type >= 1000) {
            if (!(rg = rg ? rg : collection_part(&o->region_handle, &o->u.collection.region, MAPOBJ_REGION))) return false;
            if (!grouped) {
                grouped = true;
                if (!sdo_group_rings(d, rg, i)) return false;
            }
            type %= 1000;
        }
        // A compound element takes its subelements' triples with it.
        int32_t used = 1;
        if (type == 4 || type == 5) {
            const int32_t subs = d->triple(i)[2];
            if (subs < 1 || subs > d->triples - i - 1) return false;
            used = subs + 1;
        }
        switch (type) {
            case 1: {
                if (!(mp = mp ? mp : collection_part(&o->multipoint_handle, &o->u.collection.multipoint, MAPOBJ_MULTIPOINT)))
                    return false;
                const int32_t n = d->triple(i)[2];
                if (n > 0) {
                    d->pts.clear();
                    if (!d->read_points(n) ||
                        !mapobjx_multipoint_add_nodes(mp, n, d->pts.data(), nullptr, nullptr))
                        return false;
                }
                break;
            }
            case 2:
            case 4:
                if (!(pl = pl ? pl : collection_part(&o->polyline_handle, &o->u.collection.polyline, MAPOBJ_POLYLINE)))
                    return false;
                if (!read_elements(d, pl, i, i + used, &line_section, 2, 3)) return false;
                break;
            case 3:
            case 5:
                if (!(rg = rg ? rg : collection_part(&o->region_handle, &o->u.collection.region, MAPOBJ_REGION))) return false;
                if (!read_elements(d, rg, i, i + used, &region_section, 2, 3)) return false;
                break;
            default: break;
        }
        i += used;
    }
    if (rg) finish_region(d, rg, short_codes);
    if (pl) {
        pl->pen = d->styles->line_pen;
        mapobjx_normalize(pl, 1);
    }
    if (mp) {
        mp->u.multipoint.symbol = d->styles->symbol;
        mapobjx_normalize(mp, 1);
    }
    mapobjx_normalize(o, 1);
    return true;
}

bool sdo_unknown_to_text(Decoder* d, MapObject* o) {
    if (d->g->ord_count < 2) return false;
    const IntPoint p = d->to_int(d->ord_point(0));
    mapobj_set_type(o, MAPOBJ_TEXT);
    if (!objtext_set_string(o, "User defined type not supported")) {
        mapobj_set_type(o, 0);
        return true;
    }
    MapTextPart& t = o->u.text;
    t.label_end = p;
    t.box = IntRect{static_cast<int32_t>(p.x * 0.9999), static_cast<int32_t>(p.y * 0.99995), p.x, p.y};
    t.height = p.y - t.box.y1;
    t.angle = 0;
    t.flags &= ~0xfeu;
    t.font = d->styles->font;
    o->mbr = IntRect{0, 0, 0, 0};
    return true;
}

// The element triples and ordinates hang together: whole triples, offsets
// inside the ordinates and not going back.
bool arrays_sound(const SdoGeometry* g) {
    if (g->elem_count < 0 || g->ord_count < 0 || g->elem_count % 3 != 0) return false;
    if ((g->elem_count && !g->elem) || (g->ord_count && !g->ords)) return false;
    int64_t last = 1;
    for (int32_t i = 0; i < g->elem_count; i += 3) {
        const int64_t offset = g->elem[i];
        if (offset < last || offset > int64_t{g->ord_count} + 1) return false;
        last = offset;
    }
    return true;
}

}  // namespace

int16_t sdo_to_object(SdoGeometry* g, const ObjStyleSet* styles, const CoordXform* xf,
                      MapObject* o, int16_t* short_codes) {
    int32_t kind;
    bool is_short;
    if (g->gtype < 8) {
        is_short = true;
        kind = g->gtype;
    } else {
        is_short = false;
        kind = g->gtype % 100;
        g->dimensions = g->gtype / 1000;
    }
    if (short_codes) *short_codes = is_short ? 1 : 0;
    if (g->dimensions < 2 || !arrays_sound(g)) {
        mapobj_set_type(o, 0);
        return 0;
    }
    if (kind < 0 || kind > 7) {
        mapobj_set_type(o, 0);
        return 1;
    }
    Decoder d{g, styles, xf, g->dimensions, g->elem_count / 3, 0, {}};
    bool ok = false;
    switch (kind) {
        case 0:
            if (d.triples == 0) {
                mapobj_set_type(o, 0);
                return 1;
            }
            ok = sdo_unknown_to_text(&d, o);
            break;
        case 1: {
            DPoint p{g->point_x, g->point_y};
            if (g->ord_count >= 2) p = d.ord_point(0);
            const IntPoint ip = d.to_int(p);
            mapobj_set_type(o, MAPOBJ_POINT);
            mapobjx_point_set(o, &ip, &styles->symbol);
            o->mbr = IntRect{ip.x, ip.y, ip.x, ip.y};
            ok = true;
            break;
        }
        case 2:
            if (d.points_total() == 0) {
                ok = false;
            } else if (d.points_total() == 2) {
                mapobj_set_type(o, MAPOBJ_LINE);
                o->u.line.start = d.to_int(d.ord_point(0));
                o->u.line.end = d.to_int(d.ord_point(d.dims));
                rect_from_points(&o->mbr, &o->u.line.start, &o->u.line.end);
                o->pen = styles->line_pen;
                ok = true;
            } else {
                ok = one_line(&d, o);
            }
            break;
        case 3:
        case 6:
        case 7: ok = sdo_to_lines_or_region(&d, o, kind, is_short); break;
        case 4: ok = sdo_to_collection(&d, o, is_short); break;
        case 5:
            mapobj_set_type(o, MAPOBJ_MULTIPOINT);
            ok = multipoint(&d, o, d.triples ? d.triple(0)[2] : d.points_total());
            break;
        default: break;
    }
    if (!ok) {
        // Parts made for a collection go before the object becomes empty.
        if (o->type == MAPOBJ_COLLECTION) {
            mapobj_destroy(&o->region_handle);
            mapobj_destroy(&o->polyline_handle);
            mapobj_destroy(&o->multipoint_handle);
        }
        mapobj_set_type(o, 0);
        return 0;
    }
    return 1;
}
