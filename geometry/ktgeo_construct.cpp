// Construction of complete one-primitive geometry objects.
#include "geometry/ktgeo_construct.h"

#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_fail.h"
#include "geometry/qd_nlst.h"

namespace {

int no_memory(const char* function) {
    QD_FAIL("UKT_0", "function%s", function, nullptr);
    return 0;
}

int refuse(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

// Gives the reset object its one primitive and completes it.
int finish(SpatialObject* object, const GeometricPrimitive* primitive, const char* function) {
    ktgeo_so_init_empty(object);
    object->primitives = ktgeo_primitive_list_new(primitive);
    if (!object->primitives) return no_memory(function);
    ktgeo_so_complete(object);
    return 1;
}

GeoPath closed_path() {
    GeoPath path;
    ktgeo_path_init(&path);
    path.closed = 1;
    path.connected = 1;
    return path;
}

// The one primitive of an object, or null.
GeometricPrimitive* only(const SpatialObject* object) {
    if (!object || !object->primitives || object->primitives->tally != 1) return nullptr;
    return static_cast<GeometricPrimitive*>(object->primitives->data);
}

// The exterior an object offers: its polygon's exterior, its path, or a
// new closed path holding its curve; false when none. With `move` the
// parts leave the object; without, the path shares them and *made is the
// curve list made here (or null).
bool take_exterior(SpatialObject* object, GeoPath* exterior, bool move, nlst** made) {
    if (made) *made = nullptr;
    GeometricPrimitive* p = only(object);
    if (!p) return false;
    switch (p->type) {
        case KTGEO_POLYGON:
            *exterior = p->geom.polygon.exterior;
            if (move) ktgeo_path_init(&p->geom.polygon.exterior);
            return true;
        case KTGEO_PATH:
            *exterior = p->geom.path;
            if (move) ktgeo_path_init(&p->geom.path);
            return true;
        case KTGEO_CURVE: {
            GeoPath path = closed_path();
            path.curves = ktgeo_curve_list_new(&p->geom.curve);
            if (!path.curves) return false;
            if (move) ktgeo_curve_init(&p->geom.curve);
            else if (made) *made = path.curves;
            *exterior = path;
            return true;
        }
        default: return false;
    }
}

}  // namespace

int ktgeo_make_point(const GeoCoord* coord, SpatialObject* object) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POINT, &p);
    p.geom.point.coord = *coord;
    return finish(object, &p, "ktgeo_make_point");
}

int ktgeo_make_curve(const GeoCoord* coords, uint32_t count, GeoCurve* curve) {
    ktgeo_curve_init(curve);
    curve->direction = KTGEO_DIR_NONE;
    curve->curve_type = KTGEO_POLYLINE;
    curve->coords = ktgeo_coord_list_from_array(coords, count);
    if (!curve->coords) return no_memory("ktgeo_make_curve");
    return 1;
}

int ktgeo_make_polyline(const GeoCoord* coords, uint32_t count, SpatialObject* object) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    if (!ktgeo_make_curve(coords, count, &p.geom.curve)) {
        ktgeo_so_init_empty(object);
        return no_memory("ktgeo_make_polyline");
    }
    if (finish(object, &p, "ktgeo_make_polyline")) return 1;
    nlst_free(p.geom.curve.coords);
    return 0;
}

namespace {

int make_arc(SpatialObject* object, const GeoCoord three[3], int closed) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_CURVE, &p);
    p.geom.curve.curve_type = KTGEO_CIRCULAR_ARC;
    p.geom.curve.closed = closed;
    p.geom.curve.coords = ktgeo_coord_list_from_array(three, 3);
    if (!p.geom.curve.coords) {
        ktgeo_so_init_empty(object);
        return 0;
    }
    if (finish(object, &p, "ktgeo_make_circulararc")) return 1;
    nlst_free(p.geom.curve.coords);
    return 0;
}

}  // namespace

int ktgeo_make_circulararc(SpatialObject* object, SpatialObject* start, SpatialObject* middle,
                           SpatialObject* end) {
    const char* params[] = {"param1", "param2", "param3"};
    SpatialObject* args[] = {start, middle, end};
    GeoCoord three[3];
    for (int i = 0; i < 3; ++i) {
        const GeoPoint* point = ktgeo_single_point(args[i]);
        if (!point) {
            ktgeo_so_init_empty(object);
            return refuse("ktgeo_make_circulararc", params[i]);
        }
        three[i] = point->coord;
    }
    return make_arc(object, three, 0);
}

int ktgeo_make_circle(SpatialObject* object, SpatialObject* centre, double radius) {
    const GeoPoint* point = ktgeo_single_point(centre);
    if (!point) {
        ktgeo_so_init_empty(object);
        return refuse("ktgeo_make_circulararc", "param1");
    }
    const GeoCoord c = point->coord;
    const GeoCoord three[3] = {{c.x + radius, c.y, c.z}, c, {c.x + radius, c.y, c.z}};
    return make_arc(object, three, 1);
}

int ktgeo_make_polygon(const GeoCurve* curve, SpatialObject* object) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon.valid = 1;
    p.geom.polygon.exterior = closed_path();
    p.geom.polygon.exterior.curves = ktgeo_curve_list_new(curve);
    if (!p.geom.polygon.exterior.curves) {
        ktgeo_so_init_empty(object);
        return no_memory("ktgeo_make_polygon");
    }
    if (finish(object, &p, "ktgeo_make_polygon")) return 1;
    nlst_free(p.geom.polygon.exterior.curves);
    return 0;
}

void ktgeo_box_ring(const GeoCoord* a, const GeoCoord* b, GeoCoord* ring) {
    ring[0] = *a;
    ring[1] = GeoCoord{b->x, a->y, a->z};
    ring[2] = *b;
    ring[3] = GeoCoord{a->x, b->y, b->z};
    ring[4] = *a;
}

int ktgeo_make_polygon_noisland(SpatialObject* out, const SpatialObject* in) {
    SpatialObject copy;
    ktgeo_so_init_empty(&copy);
    const int copied = ktgeo_copy_geometry(in, &copy);
    if (copied != 1) {
        ktgeo_so_release(&copy);
        return copied;
    }
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon.valid = 1;
    if (!take_exterior(&copy, &p.geom.polygon.exterior, true, nullptr)) {
        ktgeo_so_release(&copy);
        return refuse("ktgeo_make_polygon_noisland", "param1");
    }
    ktgeo_so_release(&copy);
    if (finish(out, &p, "ktgeo_make_polygon_noisland")) return 1;
    ktgeo_primitive_release(&p, nullptr);
    return 0;
}

namespace {

// The usable objects of a list, all of one primitive kind (0 when none).
bool check_list(const nlst* list, const char* function, std::vector<GeometricPrimitive*>* items,
                int32_t* kind) {
    *kind = 0;
    const uint32_t n = list ? list->tally : 0;
    for (uint32_t i = 0; i < n; ++i) {
        const SpatialObject* o = static_cast<const SpatialObject*>(nlst_index(list, i));
        if (!o->primitives || o->primitives->tally == 0) continue;
        GeometricPrimitive* p = only(o);
        if (!p || (*kind && p->type != *kind) ||
            (p->type == KTGEO_POLYGON && p->geom.polygon.interiors &&
             p->geom.polygon.interiors->tally)) {
            refuse(function, "lst");
            return false;
        }
        *kind = p->type;
        items->push_back(p);
    }
    return true;
}

// Gathered parts of a list: the paths it makes (sharing the inputs'
// lists) and the lists made here, freed (containers only) afterwards.
struct Gathered {
    std::vector<GeoPath> paths;
    std::vector<nlst*> made;
    ~Gathered() {
        for (nlst* l : made) nlst_free(l);
    }
};

// Points: one path of one curve over them; curves: one path holding them;
// paths and polygons: one path each.
bool gather(const std::vector<GeometricPrimitive*>& items, int32_t kind, Gathered* g) {
    if (kind == KTGEO_POINT || kind == KTGEO_CURVE) {
        GeoPath path;
        ktgeo_path_init(&path);
        path.curves = ktgeo_curve_list_new(nullptr);
        if (!path.curves) return false;
        g->made.push_back(path.curves);
        if (kind == KTGEO_POINT) {
            GeoCurve curve;
            ktgeo_curve_init(&curve);
            curve.coords = ktgeo_coord_list_new(nullptr);
            if (!curve.coords) return false;
            g->made.push_back(curve.coords);
            for (GeometricPrimitive* p : items)
                if (ktgeo_coord_list_add(curve.coords, &p->geom.point.coord) != 1) return false;
            if (ktgeo_curve_list_add(path.curves, &curve) != 1) return false;
        } else {
            for (GeometricPrimitive* p : items)
                if (ktgeo_curve_list_add(path.curves, &p->geom.curve) != 1) return false;
        }
        g->paths.push_back(path);
        return true;
    }
    for (GeometricPrimitive* p : items) {
        GeoPath path = kind == KTGEO_PATH ? p->geom.path : p->geom.polygon.exterior;
        path.expanded = nullptr;
        path.closed = path.connected = 0;
        path.direction = KTGEO_DIR_NONE;
        g->paths.push_back(path);
    }
    return true;
}

// Makes the output a deep copy of a polygon built over shared lists.
int copy_out(SpatialObject* out, const GeoPath& exterior, const std::vector<GeoPath>& holes,
             Gathered* g, const char* function) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    p.geom.polygon.exterior = exterior;
    if (!holes.empty()) {
        p.geom.polygon.interiors = ktgeo_path_list_new(nullptr);
        if (!p.geom.polygon.interiors) return no_memory(function);
        g->made.push_back(p.geom.polygon.interiors);
        for (const GeoPath& h : holes)
            if (ktgeo_path_list_add(p.geom.polygon.interiors, &h) != 1) return no_memory(function);
    }
    SpatialObject temporary;
    ktgeo_so_init_empty(&temporary);
    temporary.primitives = ktgeo_primitive_list_new(&p);
    if (!temporary.primitives) return no_memory(function);
    g->made.push_back(temporary.primitives);
    ktgeo_so_init_empty(out);
    const int ok = ktgeo_copy_geometry(&temporary, out);
    if (ok != 1) {
        ktgeo_so_release(out);
        ktgeo_so_init_empty(out);
        return 0;
    }
    ktgeo_so_complete(out);
    return 1;
}

}  // namespace

int ktgeo_make_polygon_bylist(SpatialObject* out, const nlst* objects) {
    const char* function = "ktgeo_make_polygon_bylist";
    std::vector<GeometricPrimitive*> items;
    int32_t kind;
    if (!check_list(objects, function, &items, &kind) || items.empty()) return 0;
    Gathered g;
    if (!gather(items, kind, &g)) return no_memory(function);
    GeoPath exterior = g.paths[0];
    exterior.closed = exterior.connected = 0;
    const std::vector<GeoPath> holes(g.paths.begin() + 1, g.paths.end());
    return copy_out(out, exterior, holes, &g, function);
}

int ktgeo_make_polygon_island_bylist(SpatialObject* out, SpatialObject* ring,
                                     const nlst* islands) {
    const char* function = "ktgeo_make_polygon_island_bylist";
    std::vector<GeometricPrimitive*> items;
    int32_t kind;
    if (!check_list(islands, function, &items, &kind) || items.empty()) return 0;
    Gathered g;
    if (!gather(items, kind, &g)) return no_memory(function);
    // The ring object's exterior is shared for the copy, not taken from it.
    GeoPath exterior;
    nlst* made = nullptr;
    if (!take_exterior(ring, &exterior, false, &made)) return refuse(function, "ring");
    if (made) g.made.push_back(made);
    return copy_out(out, exterior, g.paths, &g, function);
}
