// Map objects to geometry objects and back, and the per-point conversion
// walk of map objects.
//
// Regions: sections come in groups (an outer ring, then the holes its header
// announces). A ring the bridge cannot use (empty rectangle, fewer than 4
// distinct coordinates) is skipped without disturbing the grouping: a
// skipped hole keeps its place, a skipped outer ring takes its holes with it.
#include "geometry/encode/geobridge.h"

#include <cmath>
#include <vector>

#include "geometry/ktgeo_curve.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/qd_alloc.h"
#include "kernel/coordsys/conv.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"
#include "kernel/mapobjects/objgeom_arc.h"
#include "kernel/mapobjects/objgeom_norm.h"
#include "kernel/mapobjects/objprop.h"
#include "kernel/runtime/err.h"

namespace {

constexpr uint32_t kMaxSectionCoords = 134217724;

GeometricPrimitive* prim(SpatialObject* so, uint32_t row) {
    return static_cast<GeometricPrimitive*>(so->primitives->data) + row;
}

// Room for `n` more primitives in one step.
bool grow_primitives(SpatialObject* so, uint32_t n) {
    if (n == 0) return true;
    if (!so->primitives) {
        so->primitives = nlst_alloc(sizeof(GeometricPrimitive), n, 1, nullptr);
        return so->primitives != nullptr;
    }
    return nlst_resize(so->primitives, n, 1) == 1;
}

// Without an integer affine the transform is one unscale per coordinate:
// written out here (the same arithmetic as xform_int_to_xy and
// xform_int_rect_to_xy), as a blob takes several per object.
bool plain_unscale(const CoordXform* xf) { return !(xf->flags & XFORM_INT_AFFINE); }

// x and y side by side: each lane is offset, then divided, as one by one.
typedef double Pair __attribute__((vector_size(16)));

Pair unscaled(const IntPoint& p, const Pair& offset, const Pair& scale) {
    return (Pair{double(p.x), double(p.y)} - offset) / scale;
}

GeoCoord to_xy(const IntPoint& p, const CoordXform* xf) {
    if (plain_unscale(xf)) {
        const Pair v = unscaled(p, Pair{xf->offset_x, xf->offset_y}, Pair{xf->scale_x, xf->scale_y});
        return GeoCoord{v[0], v[1], KTGEO_NO_Z};
    }
    DPoint d;
    xform_int_to_xy(&p, &d, xf, 1);
    return GeoCoord{d.x, d.y, KTGEO_NO_Z};
}

void rect_to_envelope(const IntRect& r, const CoordXform* xf, GeoCoord* min, GeoCoord* max) {
    DRect d;
    if (plain_unscale(xf)) {
        const GeoCoord a = to_xy(IntPoint{r.x1, r.y1}, xf), b = to_xy(IntPoint{r.x2, r.y2}, xf);
        // As drect_normalise orders them (a NaN keeps its place).
        d = DRect{a.x > b.x ? b.x : a.x, a.y > b.y ? b.y : a.y, a.x > b.x ? a.x : b.x, a.y > b.y ? a.y : b.y};
    } else {
        xform_int_rect_to_xy(&r, &d, xf);
        drect_normalise(&d);
    }
    *min = GeoCoord{d.x1, d.y1, KTGEO_NO_Z};
    *max = GeoCoord{d.x2, d.y2, KTGEO_NO_Z};
}

void point_primitive(const GeoCoord& c, GeometricPrimitive* g) {
    ktgeo_util_primitive_init(KTGEO_POINT, g);
    g->geom.point.coord = c;
    g->env_min = g->env_max = c;
}

void point_primitive(const IntPoint& p, const CoordXform* xf, GeometricPrimitive* g) {
    point_primitive(to_xy(p, xf), g);
}

bool add_point(SpatialObject* so, const IntPoint& p, const CoordXform* xf) {
    GeometricPrimitive g;
    point_primitive(p, xf, &g);
    return ktgeo_primitive_list_add(so->primitives, &g) == 1;
}

// A section's nodes as coordinates into `out` (room for n); a node whose x
// and y both lie within 1e-10 of the node before it is left out. The nodes
// go through the transform a block at a time. Answers the count kept.
uint32_t convert_section(const IntPoint* nodes, int32_t n, const CoordXform* xf, GeoCoord* out) {
    if (plain_unscale(xf)) {
        // Each node unscaled (as to_xy: x and y each offset, then divided)
        // straight into its place, x and y side by side; a node near the
        // one before is rare, so those are left out in a second pass.
        const Pair offset{xf->offset_x, xf->offset_y}, scale{xf->scale_x, xf->scale_y};
        Pair previous{0, 0};
        bool any_near = false;
        for (int32_t i = 0; i < n; ++i) {
            const Pair v = unscaled(nodes[i], offset, scale);
            any_near |= i > 0 && std::fabs(v[0] - previous[0]) < 1e-10 && std::fabs(v[1] - previous[1]) < 1e-10;
            previous = v;
            out[i] = GeoCoord{v[0], v[1], KTGEO_NO_Z};
        }
        if (!any_near) return n > 0 ? static_cast<uint32_t>(n) : 0;
        GeoCoord before = out[0];
        uint32_t kept = 1;
        for (int32_t i = 1; i < n; ++i) {
            const GeoCoord c = out[i];
            const bool near = std::fabs(c.x - before.x) < 1e-10 && std::fabs(c.y - before.y) < 1e-10;
            before = c;
            if (!near) out[kept++] = c;
        }
        return kept;
    }
    constexpr int32_t kBlock = 256;
    DPoint d[kBlock];
    DPoint previous{0, 0};
    uint32_t kept = 0;
    for (int32_t at = 0; at < n; at += kBlock) {
        const int32_t m = n - at < kBlock ? n - at : kBlock;
        xform_int_to_xy(nodes + at, d, xf, m);
        for (int32_t i = 0; i < m; ++i) {
            const DPoint& p = d[i];
            const bool near = at + i > 0 && std::fabs(p.x - previous.x) < 1e-10 &&
                              std::fabs(p.y - previous.y) < 1e-10;
            previous = p;
            if (!near) out[kept++] = GeoCoord{p.x, p.y, KTGEO_NO_Z};
        }
    }
    return kept;
}

// A section's coordinates (see convert_section) as a new list, filled as it
// is made (not cleared first).
nlst* section_coords(const IntPoint* nodes, int32_t n, const CoordXform* xf) {
    if (n <= 0) return nlst_alloc(sizeof(GeoCoord), 1, 20, nullptr);
    GeoCoord* out = static_cast<GeoCoord*>(qd_alloc(sizeof(GeoCoord) * static_cast<size_t>(n)));
    if (!out) return nullptr;
    const uint32_t kept = convert_section(nodes, n, xf, out);
    nlst* list = nlst_alloc_with_array(sizeof(GeoCoord), out, kept, 20, nullptr);
    if (!list) qd_free(out);
    return list;
}

GeoCurve ring_curve(nlst* coords, int32_t closed) {
    GeoCurve c;
    ktgeo_curve_init(&c);
    c.direction = KTGEO_DIR_FORWARD;
    c.closed = closed;
    c.coords = coords;
    return c;
}

// A closed path of one curve (the ring) held in `curves`.
void ring_path_of(nlst* curves, GeoPath* path) {
    ktgeo_path_init(path);
    path->curves = curves;
    path->closed = path->connected = 1;
    path->direction = KTGEO_DIR_FORWARD;
}

// A closed path of one curve holding the ring.
bool ring_path(nlst* coords, GeoPath* path) {
    const GeoCurve c = ring_curve(coords, 1);
    nlst* curves = ktgeo_curve_list_new(&c);
    if (!curves) return false;
    ring_path_of(curves, path);
    return true;
}

// A polygon primitive whose exterior ring the caller sets, with the
// section's envelope.
// (The envelope is left to the caller.)
void polygon_primitive(GeometricPrimitive* p) {
    ktgeo_util_primitive_init(KTGEO_POLYGON, p);
    p->geom.polygon.valid = 1;
}

void polygon_primitive(const IntRect& mbr, const CoordXform* xf, GeometricPrimitive* p) {
    polygon_primitive(p);
    rect_to_envelope(mbr, xf, &p->env_min, &p->env_max);
}

// A line primitive over a section's coordinates (the envelope is left to
// the caller).
void line_primitive(nlst* coords, GeometricPrimitive* p) {
    ktgeo_util_primitive_init(KTGEO_CURVE, p);
    p->geom.curve = ring_curve(coords, 0);
}

// The same with the section's envelope.
void line_primitive(nlst* coords, const IntRect& mbr, const CoordXform* xf, GeometricPrimitive* p) {
    line_primitive(coords, p);
    rect_to_envelope(mbr, xf, &p->env_min, &p->env_max);
}

struct RegionWalk {
    SpatialObject* so;
    const CoordXform* xf;
    int32_t holes_left;  // holes still to come in the current group
    int64_t current;     // row of the group's polygon, -1 when it was skipped
    bool failed;
};

// A ring's coordinates, or null when the section is skipped (empty
// rectangle, fewer than 4 coordinates); `failed` on allocation failure.
nlst* usable_ring(const MapSection* s, const IntPoint* nodes, RegionWalk* w) {
    if (rect_is_empty(&s->mbr)) return nullptr;
    nlst* coords = section_coords(nodes, s->node_count, w->xf);
    if (!coords) {
        w->failed = true;
        return nullptr;
    }
    if (coords->tally < 4) {
        nlst_free(coords);
        return nullptr;
    }
    return coords;
}

int16_t region_section(const MapSection* s, const IntPoint* nodes, void* user) {
    RegionWalk* w = static_cast<RegionWalk*>(user);
    if (w->holes_left > 0) {
        --w->holes_left;
        if (w->current < 0) return 1;
        nlst* coords = usable_ring(s, nodes, w);
        if (!coords) return w->failed ? 0 : 1;
        GeoPolygon& g = prim(w->so, static_cast<uint32_t>(w->current))->geom.polygon;
        GeoPath hole;
        if (!ring_path(coords, &hole)) {
            nlst_free(coords);
            return 0;
        }
        if (!g.interiors) g.interiors = nlst_alloc(sizeof(GeoPath), w->holes_left + 1, 10, nullptr);
        if (!g.interiors || nlst_add(g.interiors, &hole) != 1) {
            ktgeo_path_release(&hole, nullptr);
            return 0;
        }
        return 1;
    }
    w->holes_left = s->holes > 0 ? s->holes : 0;
    w->current = -1;
    nlst* coords = usable_ring(s, nodes, w);
    if (!coords) return w->failed ? 0 : 1;
    GeometricPrimitive p;
    polygon_primitive(s->mbr, w->xf, &p);
    if (!ring_path(coords, &p.geom.polygon.exterior)) {
        nlst_free(coords);
        return 0;
    }
    if (ktgeo_primitive_list_add(w->so->primitives, &p) != 1) {
        ktgeo_primitive_release(&p, nullptr);
        return 0;
    }
    w->current = w->so->primitives->tally - 1;
    return 1;
}

int16_t count_outer(const MapSection* s, const IntPoint*, void* user) {
    int32_t* state = static_cast<int32_t*>(user);  // [outer rings, holes left]
    if (state[1] > 0) {
        --state[1];
    } else {
        ++state[0];
        state[1] = s->holes > 0 ? s->holes : 0;
    }
    return 1;
}

int32_t outer_rings(MapObject* o) {
    int32_t state[2] = {0, 0};
    mapobj_for_each_section(o, count_outer, state);
    return state[0];
}

struct PolylineWalk {
    SpatialObject* so;
    const CoordXform* xf;
};

int16_t polyline_section(const MapSection* s, const IntPoint* nodes, void* user) {
    PolylineWalk* w = static_cast<PolylineWalk*>(user);
    nlst* coords = section_coords(nodes, s->node_count, w->xf);
    if (!coords) return 0;
    if (coords->tally < 2) {
        nlst_free(coords);
        return 1;
    }
    GeometricPrimitive p;
    line_primitive(coords, s->mbr, w->xf, &p);
    if (ktgeo_primitive_list_add(w->so->primitives, &p) != 1) {
        nlst_free(coords);
        return 0;
    }
    return 1;
}

bool has_sections(const MapObject* o) { return o->u.poly.sections > 0 && o->nodes; }

bool region_primitives(MapObject* o, const CoordXform* xf, SpatialObject* so) {
    RegionWalk w{so, xf, 0, -1, false};
    return mapobj_for_each_section(o, region_section, &w) == 1 && !w.failed;
}

MapObject* part(MapHandle handle) { return handle ? mapobj_lock(handle) : nullptr; }

bool primitives_of(MapObject* o, const CoordXform* xf, SpatialObject* so);

bool rectangle_primitive(MapObject* o, const CoordXform* xf, SpatialObject* so) {
    const IntRect& r = o->mbr;
    const IntPoint centre{static_cast<int32_t>((int64_t{r.x1} + r.x2) / 2),
                          static_cast<int32_t>((int64_t{r.y1} + r.y2) / 2)};
    so->centroid = to_xy(centre, xf);
    const IntPoint ring[5] = {{r.x1, r.y1}, {r.x2, r.y1}, {r.x2, r.y2}, {r.x1, r.y2}, {r.x1, r.y1}};
    const MapSection s{5, 0, r, 0};
    RegionWalk w{so, xf, 0, -1, false};
    if (!grow_primitives(so, 1)) return false;
    return region_section(&s, ring, &w) == 1 && !w.failed;
}

bool primitives_of(MapObject* o, const CoordXform* xf, SpatialObject* so) {
    switch (o->type) {
        case MAPOBJ_POINT:
            return grow_primitives(so, 1) && add_point(so, o->u.point.location, xf);
        case MAPOBJ_LINE: {
            if (!grow_primitives(so, 1)) return false;
            const GeoCoord ends[2] = {to_xy(o->u.line.start, xf), to_xy(o->u.line.end, xf)};
            return ktgeo_util_add_new_curve(so, KTGEO_POLYLINE, ends, 2, 0, 0, 0) == 1;
        }
        case MAPOBJ_ARC:
        case MAPOBJ_ELLIPSE: {
            MapObject* made = mapobj_to_polyline_or_region(o, o->type == MAPOBJ_ELLIPSE);
            if (!made) return false;
            const bool ok = primitives_of(made, xf, so);
            MapHandle handle = made;
            mapobj_destroy(&handle);
            return ok;
        }
        case MAPOBJ_POLYLINE: {
            if (!has_sections(o)) return true;
            if (!grow_primitives(so, static_cast<uint32_t>(o->u.poly.sections))) return false;
            PolylineWalk w{so, xf};
            return mapobj_for_each_section(o, polyline_section, &w) == 1;
        }
        case MAPOBJ_REGION: {
            if (rect_is_empty(&o->mbr) || !has_sections(o)) return true;
            const int32_t outer = outer_rings(o);
            if (outer == 0) return true;
            return grow_primitives(so, static_cast<uint32_t>(outer)) && region_primitives(o, xf, so);
        }
        case MAPOBJ_RECT:
        case MAPOBJ_ROUNDRECT: return rectangle_primitive(o, xf, so);
        case MAPOBJ_MULTIPOINT: {
            const int32_t n = o->u.multipoint.count;
            if (n <= 0 || !o->nodes) return true;
            if (!grow_primitives(so, static_cast<uint32_t>(n))) return false;
            const IntPoint* nodes = static_cast<const IntPoint*>(o->nodes);
            for (int32_t i = 0; i < n; ++i)
                if (!add_point(so, nodes[i], xf)) return false;
            return true;
        }
        case MAPOBJ_COLLECTION: {
            MapObject* rg = mapobjx_collection_has_region(o) ? part(o->region_handle) : nullptr;
            MapObject* pl = mapobjx_collection_has_polyline(o) ? part(o->polyline_handle) : nullptr;
            MapObject* mp = mapobjx_collection_has_multipoint(o) ? part(o->multipoint_handle) : nullptr;
            int64_t n = 0;
            if (rg) n += outer_rings(rg);
            if (pl) n += pl->u.poly.sections;
            if (mp) n += mp->u.multipoint.count;
            if (n > UINT32_MAX || !grow_primitives(so, static_cast<uint32_t>(n))) return false;
            for (MapObject* p : {rg, pl, mp})
                if (p && !primitives_of(p, xf, so)) return false;
            return true;
        }
        default: return false;
    }
}

}  // namespace

namespace {

bool bridged_type(int type) {
    return !(type == 0 || type == MAPOBJ_TEXT || type == MAPOBJ_FRAME || type == MAPOBJ_TYPE11 ||
             type == MAPOBJ_TYPE12 || type > MAPOBJ_COLLECTION);
}

// The object's envelope joins the geometry's; an unset centroid becomes the
// object's centroid.
void object_head(MapObject* o, const CoordXform* xf, SpatialObject* so) {
    GeoCoord min, max;
    // A point whose rectangle is the point itself: envelope and centroid
    // are its one coordinate, transformed once.
    const IntPoint& at = o->u.point.location;
    const bool lone_point = o->type == MAPOBJ_POINT && plain_unscale(xf) && o->mbr.x1 == at.x &&
                            o->mbr.x2 == at.x && o->mbr.y1 == at.y && o->mbr.y2 == at.y;
    if (lone_point) {
        min = max = to_xy(at, xf);
        if (ktgeo_coord_is_unset(so->centroid)) so->centroid = min;
    } else {
        rect_to_envelope(o->mbr, xf, &min, &max);
    }
    if (ktgeo_coord_is_unset(so->env_min)) {
        so->env_min = min;
        so->env_max = max;
    } else {
        so->env_min.x = std::fmin(so->env_min.x, min.x);
        so->env_min.y = std::fmin(so->env_min.y, min.y);
        so->env_max.x = std::fmax(so->env_max.x, max.x);
        so->env_max.y = std::fmax(so->env_max.y, max.y);
    }
    if (ktgeo_coord_is_unset(so->centroid)) {
        IntPoint c{0, 0};
        mapobj_get_centroid(o, &c);
        so->centroid = to_xy(c, xf);
    }
}

}  // namespace

int16_t geobridge_object_to_geometry(MapObject* o, const CoordXform* xf, SpatialObject* so) {
    if (!bridged_type(o->type)) return 0;
    object_head(o, xf, so);
    if (primitives_of(o, xf, so)) return 1;
    ktgeo_so_release(so);
    return 0;
}

// ------------------------------------------------------------ blob road

namespace {

// Storage the blob road lends to one object's lists: the lists of a simple
// object are built over it and never freed, so the road allocates nothing
// but the blob. Sections longer than kScratchNodes take the general road, so
// a thread keeps little memory.
constexpr int32_t kScratchNodes = 1 << 16;

struct BlobScratch {
    std::vector<GeoCoord> coords;
    std::vector<GeometricPrimitive> primitives;
    // Rows 1 to point_rows of `primitives` hold point primitives (only
    // multipoints use rows past the first), so a later multipoint sets
    // just their coordinates.
    size_t point_rows = 0;
};

thread_local BlobScratch t_scratch;

nlst lent_list(uint32_t size, void* data, uint32_t count) {
    return nlst{size, count, 1, count, data, nullptr};
}

struct OneSection {
    const MapSection* section = nullptr;
    const IntPoint* nodes = nullptr;
};

int16_t take_section(const MapSection* s, const IntPoint* nodes, void* user) {
    *static_cast<OneSection*>(user) = OneSection{s, nodes};
    return 1;
}

// Lists of one simple object built over lent storage: what the general road
// would build for it, list for list. Objects of more than one section, with
// holes, sections the bridge leaves out, or long sections are not simple.
struct LentGeometry {
    SpatialObject so;
    nlst primitives;
    nlst coords;
    nlst curves;
    GeoCurve curve;
};

// A one-section object's section envelope: the object's own, already in
// the head, when the two rectangles agree.
void section_envelope(const IntRect& mbr, const MapObject* o, const SpatialObject& head, const CoordXform* xf,
                      GeometricPrimitive* p) {
    if (mbr.x1 == o->mbr.x1 && mbr.y1 == o->mbr.y1 && mbr.x2 == o->mbr.x2 && mbr.y2 == o->mbr.y2) {
        p->env_min = head.env_min;
        p->env_max = head.env_max;
    } else {
        rect_to_envelope(mbr, xf, &p->env_min, &p->env_max);
    }
}

// The object's one section, or false.
bool one_section(MapObject* o, OneSection* one) {
    return o->u.poly.sections == 1 && o->nodes &&
           mapobj_for_each_section(o, take_section, one) == 1 && one->section;
}

// The section's coordinates over lent storage, when at least `least` remain.
bool lent_coords(const OneSection& one, const CoordXform* xf, uint32_t least, LentGeometry* g) {
    const int32_t n = one.section->node_count;
    if (n <= 0 || n > kScratchNodes) return false;
    if (t_scratch.coords.size() < static_cast<size_t>(n)) t_scratch.coords.resize(static_cast<size_t>(n));
    GeoCoord* out = t_scratch.coords.data();
    const uint32_t kept = convert_section(one.nodes, n, xf, out);
    if (kept < least) return false;
    g->coords = lent_list(sizeof(GeoCoord), out, kept);
    return true;
}

bool lent_geometry(MapObject* o, const CoordXform* xf, LentGeometry* g) {
    std::vector<GeometricPrimitive>& prims = t_scratch.primitives;
    uint32_t count = 1;
    OneSection one;
    switch (o->type) {
        case MAPOBJ_POINT:
            if (prims.empty()) prims.resize(1);
            // The head's centroid is the point (see object_head).
            point_primitive(g->so.centroid, &prims[0]);
            break;
        case MAPOBJ_LINE: {
            if (prims.empty()) prims.resize(1);
            if (t_scratch.coords.size() < 2) t_scratch.coords.resize(2);
            t_scratch.coords[0] = to_xy(o->u.line.start, xf);
            t_scratch.coords[1] = to_xy(o->u.line.end, xf);
            GeometricPrimitive& p = prims[0];
            ktgeo_util_primitive_init(KTGEO_CURVE, &p);
            p.geom.curve.curve_type = KTGEO_POLYLINE;
            g->coords = lent_list(sizeof(GeoCoord), t_scratch.coords.data(), 2);
            p.geom.curve.coords = &g->coords;
            break;
        }
        case MAPOBJ_POLYLINE:
            if (!one_section(o, &one) || !lent_coords(one, xf, 2, g)) return false;
            if (prims.empty()) prims.resize(1);
            line_primitive(&g->coords, &prims[0]);
            section_envelope(one.section->mbr, o, g->so, xf, &prims[0]);
            break;
        case MAPOBJ_REGION: {
            if (rect_is_empty(&o->mbr) || !one_section(o, &one) || one.section->holes > 0 ||
                rect_is_empty(&one.section->mbr) || !lent_coords(one, xf, 4, g))
                return false;
            if (prims.empty()) prims.resize(1);
            GeometricPrimitive& p = prims[0];
            polygon_primitive(&p);
            section_envelope(one.section->mbr, o, g->so, xf, &p);
            g->curve = ring_curve(&g->coords, 1);
            g->curves = lent_list(sizeof(GeoCurve), &g->curve, 1);
            ring_path_of(&g->curves, &p.geom.polygon.exterior);
            break;
        }
        case MAPOBJ_MULTIPOINT: {
            const int32_t n = o->u.multipoint.count;
            if (n <= 0 || n > kScratchNodes || !o->nodes) return false;
            if (prims.size() < static_cast<size_t>(n)) prims.resize(static_cast<size_t>(n));
            // Each node as add_point transforms it.
            const IntPoint* nodes = static_cast<const IntPoint*>(o->nodes);
            size_t& ready = t_scratch.point_rows;
            for (int32_t i = 0; i < n; ++i) {
                const size_t row = static_cast<size_t>(i);
                const GeoCoord c = to_xy(nodes[i], xf);
                if (row == 0 || row > ready) {
                    point_primitive(c, &prims[row]);
                } else {
                    GeometricPrimitive& p = prims[row];
                    p.geom.point.coord = p.env_min = p.env_max = c;
                }
            }
            if (static_cast<size_t>(n) - 1 > ready) ready = static_cast<size_t>(n) - 1;
            count = static_cast<uint32_t>(n);
            break;
        }
        default: return false;
    }
    g->primitives = lent_list(sizeof(GeometricPrimitive), prims.data(), count);
    g->so.primitives = &g->primitives;
    return true;
}

}  // namespace

int16_t geobridge_object_to_blob(MapObject* o, const CoordXform* xf, uint8_t** blob) {
    *blob = nullptr;
    if (!bridged_type(o->type)) return 0;
    LentGeometry g;
    ktgeo_so_init_empty(&g.so);
    object_head(o, xf, &g.so);
    if (lent_geometry(o, xf, &g)) {
        // Every coordinate of the lent geometry was made without Z.
        *blob = ktgeo_pack_geometry_flat(&g.so);
        return 1;
    }
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    if (geobridge_object_to_geometry(o, xf, &so) != 1) return 0;
    *blob = ktgeo_pack_geometry(&so);
    ktgeo_so_release(&so);
    return 1;
}

// ------------------------------------------------------------ reverse

namespace {

IntPoint to_int(const GeoCoord& c, const CoordXform* xf) {
    const DPoint d{c.x, c.y};
    IntPoint p;
    xform_xy_to_int(&d, &p, xf, 1);
    return p;
}

// Writes a coordinate list into a section (appended when the index is the
// section count). 1 written, 0 failed, -1 a ring of fewer than 3 nodes
// whose section was deleted.
int fill_section(MapObject* o, const nlst* list, int32_t direction, bool ring, int32_t section,
                 bool spikes, const CoordXform* xf) {
    if (!list || list->tally == 0 || list->tally > kMaxSectionCoords) return 0;
    const GeoCoord* c = static_cast<const GeoCoord*>(list->data);
    uint32_t n = list->tally;
    if (ring && n > 1 && c[n - 1].x == c[0].x && c[n - 1].y == c[0].y) --n;
    if (section >= o->u.poly.sections) {
        int32_t first = 0;
        if (!mapobjx_add_section(o, static_cast<int32_t>(n), &first)) return 0;
    }
    std::vector<IntPoint> pts;
    pts.reserve(n);
    for (uint32_t k = 0; k < n; ++k) {
        const GeoCoord& g = c[direction != KTGEO_DIR_REVERSE ? k : n - 1 - k];
        const IntPoint p = to_int(g, xf);
        if (!pts.empty()) {
            const IntPoint& last = pts.back();
            if (p.x == last.x && p.y == last.y) continue;
            if (ring && k == n - 1 && p.x == pts[0].x && p.y == pts[0].y) continue;
            if (ring && spikes && pts.size() >= 2 && p.x == pts[pts.size() - 2].x &&
                p.y == pts[pts.size() - 2].y) {
                pts.pop_back();
                continue;
            }
        }
        pts.push_back(p);
    }
    if (ring && pts.size() < 3) {
        mapobjx_delete_section(o, section);
        return -1;
    }
    return mapobjx_insert_nodes(o, section, 0, pts.data(), static_cast<int32_t>(pts.size()),
                                nullptr, nullptr) == 1
               ? 1
               : 0;
}

// The drawn line of a curve: its coordinates, or its stroked line for arcs
// and KT_Curves (stroked on demand; *made tells the caller to free it).
const nlst* curve_line(GeoCurve* c, bool* made) {
    *made = false;
    if (c->curve_type == KTGEO_POLYLINE || c->curve_type == KTGEO_BEZIER) return c->coords;
    if (c->curve_type != KTGEO_CIRCULAR_ARC && c->curve_type != KTGEO_KT_CURVE) return nullptr;
    if (!c->stroked) {
        if (ktgeo_curve(c) != 1) return nullptr;
        *made = true;
    }
    return c->stroked;
}

void drop_stroked(GeoCurve* c, bool made) {
    if (!made) return;
    nlst_free(c->stroked);
    c->stroked = nullptr;
}

// A path's expanded line (expanded on demand).
const nlst* path_line(GeoPath* p, bool* made) {
    *made = false;
    if (!p->expanded) {
        if (ktgeo_path_expand(p) != 1) return nullptr;
        *made = true;
    }
    return p->expanded;
}

void drop_expanded(GeoPath* p, bool made) {
    if (!made) return;
    nlst_free(p->expanded);
    p->expanded = nullptr;
}

int fill_from_path(MapObject* o, GeoPath* p, bool ring, int32_t section, bool spikes,
                   const CoordXform* xf) {
    bool made;
    const nlst* line = path_line(p, &made);
    const int r = line ? fill_section(o, line, p->direction, ring, section, spikes, xf) : 0;
    drop_expanded(p, made);
    return r;
}

bool polyline_from(SpatialObject* so, MapObject* o, const CoordXform* xf) {
    const IntPoint centre = to_int(so->centroid, xf);
    mapobjx_set_center(o, &centre, 0);
    int32_t section = 0;
    for (uint32_t i = 0; i < so->primitives->tally; ++i) {
        GeometricPrimitive* p = prim(so, i);
        int r = 1;
        if (p->type == KTGEO_CURVE) {
            GeoCurve& c = p->geom.curve;
            bool made;
            const nlst* line = curve_line(&c, &made);
            if (!line) continue;
            r = fill_section(o, line, c.direction, false, section, false, xf);
            drop_stroked(&c, made);
        } else if (p->type == KTGEO_PATH) {
            r = fill_from_path(o, &p->geom.path, false, section, false, xf);
        } else {
            continue;
        }
        if (r != 1) return false;
        ++section;
    }
    mapobjx_normalize(o, 0);
    return true;
}

void set_holes(MapObject* o, int32_t section, int32_t holes) {
    MapSection* h = mapobj_lock_sections(o, 0);
    if (!h) return;
    h[section].holes = holes;
    mapobj_unlock_sections(o, h, 0);
}

bool region_from(SpatialObject* so, MapObject* o, const CoordXform* xf, bool spikes) {
    const IntPoint centre = to_int(so->centroid, xf);
    mapobjx_set_center(o, &centre, 0);
    for (uint32_t i = 0; i < so->primitives->tally; ++i) {
        GeometricPrimitive* p = prim(so, i);
        if (p->type != KTGEO_POLYGON) continue;
        GeoPolygon& g = p->geom.polygon;
        const uint32_t holes = g.interiors ? g.interiors->tally : 0;
        if (int64_t{o->u.poly.sections} + 1 + holes > kMapMaxSections) return false;
        int32_t first = 0;
        if (!mapobjx_add_sections(o, static_cast<int32_t>(1 + holes), 0, &first)) return false;
        const int outer = fill_from_path(o, &g.exterior, true, first, spikes, xf);
        if (outer == 0) return false;
        if (outer < 0) {
            // The outer ring was dropped: its holes go with it.
            for (uint32_t k = 0; k < holes; ++k) mapobjx_delete_section(o, first);
            continue;
        }
        int32_t next = first + 1, kept = 0;
        for (uint32_t k = 0; k < holes; ++k) {
            GeoPath* hole = static_cast<GeoPath*>(g.interiors->data) + k;
            if (!hole->closed || !hole->connected) {
                err_push(1, GEOBRIDGE_ERR_OPEN_HOLE, nullptr, nullptr);
                mapobjx_delete_section(o, next);
                continue;
            }
            const int r = fill_from_path(o, hole, true, next, spikes, xf);
            if (r == 0) return false;
            if (r > 0) {
                ++next;
                ++kept;
            }
        }
        set_holes(o, first, kept);
    }
    mapobjx_normalize_keep_groups(o, 1);
    return true;
}

bool multipoint_from(SpatialObject* so, MapObject* o, const CoordXform* xf) {
    std::vector<IntPoint> pts;
    for (uint32_t i = 0; i < so->primitives->tally; ++i)
        if (prim(so, i)->type == KTGEO_POINT) pts.push_back(to_int(prim(so, i)->geom.point.coord, xf));
    if (!pts.empty() && !mapobjx_multipoint_add_nodes(o, static_cast<int32_t>(pts.size()), pts.data(),
                                                      nullptr, nullptr))
        return false;
    mapobjx_normalize(o, 1);
    return true;
}

struct Kinds {
    uint32_t points = 0, lines = 0, polygons = 0;
    bool bad_type = false;
};

Kinds count_kinds(const SpatialObject* so) {
    Kinds k;
    if (!so->primitives) return k;
    for (uint32_t i = 0; i < so->primitives->tally; ++i) {
        const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(so->primitives->data) + i;
        switch (p->type) {
            case KTGEO_POINT: ++k.points; break;
            case KTGEO_CURVE: ++k.lines; break;
            case KTGEO_PATH: k.lines += p->geom.path.curves ? p->geom.path.curves->tally : 0; break;
            case KTGEO_POLYGON: ++k.polygons; break;
            default: k.bad_type = true; break;
        }
    }
    return k;
}

bool fill_kind(SpatialObject* so, MapObject* o, int type, const CoordXform* xf, bool spikes) {
    switch (type) {
        case MAPOBJ_POINT: {
            const IntPoint p = to_int(prim(so, 0)->geom.point.coord, xf);
            mapobjx_point_set(o, &p, nullptr);
            return true;
        }
        case MAPOBJ_POLYLINE: return polyline_from(so, o, xf);
        case MAPOBJ_REGION: return region_from(so, o, xf, spikes);
        default: return multipoint_from(so, o, xf);
    }
}

}  // namespace

int16_t geobridge_geometry_to_object(SpatialObject* so, const CoordXform* xf, MapObject* o,
                                     int16_t spikes) {
    if (ktgeo_coord_is_unset(so->env_min) || ktgeo_coord_is_unset(so->centroid)) {
        const int r = ktgeo_so_compute_envelope(so);
        if (r != 1) return static_cast<int16_t>(r);
    }
    const Kinds k = count_kinds(so);
    if (k.bad_type) return 0;
    const int kinds = (k.points > 0) + (k.lines > 0) + (k.polygons > 0);
    int type = MAPOBJ_NONE;
    if (kinds > 1) type = MAPOBJ_COLLECTION;
    else if (k.polygons) type = MAPOBJ_REGION;
    else if (k.lines) type = MAPOBJ_POLYLINE;
    else if (k.points == 1) type = MAPOBJ_POINT;
    else if (k.points > 1) type = MAPOBJ_MULTIPOINT;
    mapobj_set_type(o, type);
    if (type == MAPOBJ_NONE) return 1;
    const DRect env{so->env_min.x, so->env_min.y, so->env_max.x, so->env_max.y};
    xform_xy_rect_to_int(&env, &o->mbr, xf);
    rect_normalise(&o->mbr);
    if (type != MAPOBJ_COLLECTION) return fill_kind(so, o, type, xf, spikes != 0) ? 1 : 0;
    struct Part {
        bool present;
        int type;
        MapHandle* handle;
        MapObject** pointer;
    };
    const Part parts[] = {
        {k.points > 0, MAPOBJ_MULTIPOINT, &o->multipoint_handle, &o->u.collection.multipoint},
        {k.lines > 0, MAPOBJ_POLYLINE, &o->polyline_handle, &o->u.collection.polyline},
        {k.polygons > 0, MAPOBJ_REGION, &o->region_handle, &o->u.collection.region}};
    for (const Part& p : parts) {
        if (!p.present) continue;
        MapObject* made = nullptr;
        const bool created = !*p.handle;
        if (created && !mapobj_new(p.handle, &made, p.type, 0)) return 0;
        MapObject* target = created ? made : mapobj_lock(*p.handle);
        *p.pointer = target;
        mapobj_set_type(target, p.type);
        target->mbr = o->mbr;
        if (!fill_kind(so, target, p.type, xf, spikes != 0)) {
            if (created) {
                mapobj_destroy(p.handle);
                *p.pointer = nullptr;
            }
            return 0;
        }
    }
    mapobjx_normalize(o, 1);
    return 1;
}

// ------------------------------------------------------------ conversion walk

namespace {

struct Walk {
    const CoordConv* conv;
    ConvPointsFn points;
    ConvRectFn rect;
    bool linear;

    void P(IntPoint* p, int32_t n) const {
        if (n > 0) points(p, nullptr, p, nullptr, conv, n);
    }
    void R(IntRect* r) const { rect(r, nullptr, r, nullptr, conv); }
};

void recompute_or_R(MapObject* o, const Walk& w) {
    if (w.linear) w.R(&o->mbr);
    else mapobj_update_mbr(o);
}

void convert_sections(MapObject* o, const Walk& w) {
    IntPoint c{0, 0};
    mapobj_get_centroid(o, &c);
    w.P(&c, 1);
    mapobjx_set_center(o, &c, 0);
    MapSection* h = mapobj_lock_sections(o, 0);
    if (h) {
        for (int32_t i = 0; i < o->u.poly.sections; ++i) {
            w.P(mapobj_section_nodes(h, i), h[i].node_count);
            if (w.linear) w.R(&h[i].mbr);
        }
        mapobj_unlock_sections(o, h, 0);
    }
    recompute_or_R(o, w);
}

void convert_multipoint(MapObject* o, const Walk& w) {
    w.P(&o->u.multipoint.center, 1);
    if (o->nodes) w.P(static_cast<IntPoint*>(o->nodes), o->u.multipoint.count);
    recompute_or_R(o, w);
}

void convert(MapObject* o, const Walk& w) {
    switch (o->type) {
        case MAPOBJ_POINT:
            w.R(&o->mbr);
            w.P(&o->u.point.location, 1);
            break;
        case MAPOBJ_LINE:
            w.P(&o->u.line.start, 1);
            w.P(&o->u.line.end, 1);
            rect_from_points(&o->mbr, &o->u.line.start, &o->u.line.end);
            break;
        case MAPOBJ_ARC: {
            IntPoint corners[2] = {{o->u.arc.rect.x1, o->u.arc.rect.y1},
                                   {o->u.arc.rect.x2, o->u.arc.rect.y2}};
            w.P(corners, 2);
            w.R(&o->u.arc.rect);
            const bool flip_x = (corners[0].x > corners[1].x) != (o->u.arc.rect.x1 > o->u.arc.rect.x2);
            const bool flip_y = (corners[0].y > corners[1].y) != (o->u.arc.rect.y1 > o->u.arc.rect.y2);
            mapobjx_arc_mirror_angles(&o->u.arc.start, &o->u.arc.end, flip_x, flip_y);
            if (!w.linear) {
                mapobjx_arc_compute_mbr(o);
                return;
            }
            w.R(&o->mbr);
            break;
        }
        case MAPOBJ_POLYLINE:
        case MAPOBJ_REGION: convert_sections(o, w); break;
        case MAPOBJ_TEXT: {
            MapTextPart& t = o->u.text;
            IntRect h{t.box.x1, t.box.y1, t.box.x2, t.box.y1 + t.height};
            conv_int_rect_via(&h, &h, w.conv, w.points, w.rect);
            t.height = h.y2 - h.y1;
            conv_int_rect_via(&t.box, &t.box, w.conv, w.points, w.rect);
            o->mbr = t.box;
            if (t.flags & 0xe0u) {
                w.P(&t.label_end, 1);
                rect_add_point(&o->mbr, &t.label_end);
            } else {
                rect_center(&t.box, &t.label_end);
            }
            break;
        }
        case MAPOBJ_ROUNDRECT: {
            MapRoundRectPart& c = o->u.roundrect;
            IntRect corner{o->mbr.x1, o->mbr.y1, o->mbr.x1 + c.corner_width,
                           o->mbr.y1 + c.corner_height};
            w.R(&corner);
            c.corner_width = corner.x2 - corner.x1;
            c.corner_height = corner.y2 - corner.y1;
            w.R(&o->mbr);
            break;
        }
        case MAPOBJ_MULTIPOINT: convert_multipoint(o, w); break;
        case MAPOBJ_COLLECTION:
            for (MapHandle h : {o->region_handle, o->polyline_handle, o->multipoint_handle})
                if (h) convert(mapobj_lock(h), w);
            recompute_or_R(o, w);
            break;
        default: w.R(&o->mbr); break;
    }
}

int16_t convert_with(MapObject* o, const CoordConv* conv, ConvPointsFn points, ConvRectFn rect) {
    if (conv_is_identity(conv)) return 1;
    convert(o, Walk{conv, points, rect, conv_is_linear(conv) != 0});
    return 1;
}

}  // namespace

int16_t geobridge_convert_object_forward(MapObject* o, const CoordConv* conv) {
    return convert_with(o, conv, conv->fwd_points, conv->fwd_rect);
}
int16_t geobridge_convert_object_inverse(MapObject* o, const CoordConv* conv) {
    return convert_with(o, conv, conv->inv_points, conv->inv_rect);
}
int16_t geobridge_convert_object_device(MapObject* o, const CoordConv* conv) {
    return convert_with(o, conv, conv->dev_to_map_points, conv->dev_to_map_rect);
}
int16_t geobridge_convert_object_device2(MapObject* o, const CoordConv* conv) {
    return convert_with(o, conv, conv->map_to_dev_points, conv->map_to_dev_rect);
}

// ------------------------------------------------------------ styles

namespace {

void styles_of(MapObject* o, ObjStyleSet* s, bool get) {
    auto io = [&](int32_t id, void* field) {
        if (get) mapobjx_get_property(o, id, field);
        else mapobjx_set_property(o, id, field);
    };
    switch (o->type) {
        case MAPOBJ_POINT:
        case MAPOBJ_MULTIPOINT: io(OBJPROP_SYMBOL, &s->symbol); break;
        case MAPOBJ_LINE:
        case MAPOBJ_ARC:
        case MAPOBJ_POLYLINE: io(OBJPROP_PEN, &s->line_pen); break;
        case MAPOBJ_REGION:
        case MAPOBJ_RECT:
        case MAPOBJ_ROUNDRECT:
        case MAPOBJ_ELLIPSE:
            io(OBJPROP_PEN, &s->area_pen);
            io(OBJPROP_BRUSH, &s->brush);
            break;
        case MAPOBJ_TEXT: io(OBJPROP_TEXT_FONT, &s->font); break;
        case MAPOBJ_COLLECTION:
            for (MapHandle h : {o->region_handle, o->polyline_handle, o->multipoint_handle})
                if (h) styles_of(mapobj_lock(h), s, get);
            break;
        default: break;
    }
}

}  // namespace

int16_t geobridge_get_style_set(const MapObject* o, ObjStyleSet* s) {
    styles_of(const_cast<MapObject*>(o), s, true);
    return 1;
}

int16_t geobridge_set_style_set(MapObject* o, const ObjStyleSet* s) {
    ObjStyleSet copy = *s;
    styles_of(o, &copy, false);
    return 1;
}

void geobridge_envelope_to_rect(const GeoCoord* min, const GeoCoord* max, IntRect* out,
                                const CoordXform* xf) {
    const DRect d{min->x, min->y, max->x, max->y};
    xform_xy_rect_to_int(&d, out, xf);
    rect_normalise(out);
}

int16_t geobridge_so_copy(const SpatialObject* source, SpatialObject* copy) {
    if (!source || !source->primitives || source->primitives->tally == 0) return 0;
    *copy = *source;
    copy->primitives = nlst_alloc(sizeof(GeometricPrimitive), source->primitives->tally, 8, nullptr);
    if (!copy->primitives) return 0;
    for (uint32_t i = 0; i < source->primitives->tally; ++i) {
        const GeometricPrimitive* p = static_cast<const GeometricPrimitive*>(source->primitives->data) + i;
        if (ktgeo_util_append_primitive_to_list(p, copy) != 1) {
            ktgeo_so_release(copy);
            return 0;
        }
    }
    return 1;
}
