// Well-known text for the topo_run tool.
#include "tools/topo_run/topo_wkt.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_check.h"
#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"

namespace {

struct Parser {
    const char* p;
    std::string error;

    void skip() {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    }
    bool fail(const char* what) {
        if (error.empty()) error = what;
        return false;
    }
    bool eat(char c) {
        skip();
        if (*p != c) return false;
        ++p;
        return true;
    }
    std::string word() {
        skip();
        std::string w;
        while (std::isalpha(static_cast<unsigned char>(*p))) w += char(std::toupper(static_cast<unsigned char>(*p++)));
        return w;
    }
    bool number(double* v) {
        skip();
        char* end = nullptr;
        *v = std::strtod(p, &end);
        if (end == p) return fail("a number expected");
        p = end;
        return true;
    }
    bool point(GeoCoord* c) {
        double x, y;
        if (!number(&x) || !number(&y)) return false;
        *c = {x, y, KTGEO_NO_Z};
        return true;
    }
    // "(x y, x y, ...)"
    bool points(std::vector<GeoCoord>* out) {
        if (!eat('(')) return fail("'(' expected");
        do {
            GeoCoord c;
            if (!point(&c)) return false;
            out->push_back(c);
        } while (eat(','));
        return eat(')') || fail("')' expected");
    }
    // EMPTY or a parenthesised list of items read by `item`.
    template <class Item>
    bool list(Item item) {
        skip();
        if (std::strncmp(p, "EMPTY", 5) == 0 || std::strncmp(p, "empty", 5) == 0) {
            p += 5;
            return true;
        }
        if (!eat('(')) return fail("'(' expected");
        do {
            if (!item()) return false;
        } while (eat(','));
        return eat(')') || fail("')' expected");
    }
};

void add(SpatialObject* o, const GeometricPrimitive& g) {
    if (!o->primitives) o->primitives = ktgeo_primitive_list_new(nullptr);
    nlst_add(o->primitives, &g);
}

void add_point(SpatialObject* o, const GeoCoord& c) {
    GeometricPrimitive g;
    ktgeo_util_primitive_init(KTGEO_POINT, &g);
    g.geom.point.coord = c;
    add(o, g);
}

GeoCurve polyline(const std::vector<GeoCoord>& pts) {
    GeoCurve c;
    ktgeo_curve_init(&c);
    c.curve_type = KTGEO_POLYLINE;
    c.coords = ktgeo_coord_list_from_array(pts.data(), uint32_t(pts.size()));
    return c;
}

GeoPath ring(const std::vector<GeoCoord>& pts) {
    GeoPath path;
    ktgeo_path_init(&path);
    path.curves = ktgeo_curve_list_new(nullptr);
    GeoCurve c = polyline(pts);
    nlst_add(path.curves, &c);
    path.connected = 1;
    path.closed = 1;
    return path;
}

bool polygon(Parser& in, SpatialObject* o) {
    std::vector<std::vector<GeoCoord>> rings;
    if (!in.list([&] {
            rings.emplace_back();
            if (!in.points(&rings.back())) return false;
            const auto& r = rings.back();
            if (r.size() < 4 || r.front().x != r.back().x || r.front().y != r.back().y)
                return in.fail("a ring must close and hold four points");
            return true;
        }))
        return false;
    if (rings.empty()) return true;
    GeometricPrimitive g;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &g);
    GeoPolygon& poly = g.geom.polygon;
    poly.exterior = ring(rings[0]);
    for (size_t i = 1; i < rings.size(); ++i) {
        if (!poly.interiors) poly.interiors = ktgeo_path_list_new(nullptr);
        GeoPath hole = ring(rings[i]);
        nlst_add(poly.interiors, &hole);
    }
    int valid = 0;
    ktgeo_check_polygon(&poly, &valid);
    poly.valid = valid;
    add(o, g);
    return true;
}

bool line(Parser& in, SpatialObject* o) {
    std::vector<GeoCoord> pts;
    if (!in.points(&pts)) return false;
    if (pts.size() < 2) return in.fail("a line needs two points");
    GeometricPrimitive g;
    ktgeo_util_primitive_init(KTGEO_CURVE, &g);
    g.geom.curve = polyline(pts);
    add(o, g);
    return true;
}

bool geometry(Parser& in, SpatialObject* o) {
    const std::string w = in.word();
    if (w == "POINT")
        return in.list([&] {
            GeoCoord c;
            if (!in.point(&c)) return false;
            add_point(o, c);
            return true;
        });
    if (w == "MULTIPOINT")
        return in.list([&] {
            GeoCoord c;
            const bool wrapped = in.eat('(');
            if (!in.point(&c)) return false;
            if (wrapped && !in.eat(')')) return in.fail("')' expected");
            add_point(o, c);
            return true;
        });
    if (w == "LINESTRING") {
        in.skip();
        if (std::strncmp(in.p, "EMPTY", 5) == 0) return in.list([] { return true; });
        return line(in, o);
    }
    if (w == "MULTILINESTRING") return in.list([&] { return line(in, o); });
    if (w == "POLYGON") return polygon(in, o);
    if (w == "MULTIPOLYGON") return in.list([&] { return polygon(in, o); });
    if (w == "GEOMETRYCOLLECTION") return in.list([&] { return geometry(in, o); });
    return in.fail("unknown geometry keyword");
}

void coord(std::string* out, const GeoCoord& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g %.17g", c.x, c.y);
    *out += buf;
}

void coords(std::string* out, const nlst* list) {
    *out += "(";
    for (uint32_t i = 0; list && i < list->tally; ++i) {
        if (i) *out += ", ";
        coord(out, *static_cast<const GeoCoord*>(nlst_index(list, i)));
    }
    *out += ")";
}

// The points of a path (its curves joined).
void path_coords(std::string* out, GeoPath* path) {
    if (ktgeo_path_expand(path) && path->expanded) {
        coords(out, path->expanded);
        return;
    }
    *out += "(";
    bool first = true;
    for (uint32_t i = 0; path->curves && i < path->curves->tally; ++i) {
        const auto* c = static_cast<const GeoCurve*>(nlst_index(path->curves, i));
        for (uint32_t k = 0; c->coords && k < c->coords->tally; ++k) {
            if (!first) *out += ", ";
            first = false;
            coord(out, *static_cast<const GeoCoord*>(nlst_index(c->coords, k)));
        }
    }
    *out += ")";
}

std::string primitive_text(GeometricPrimitive* p, bool bare) {
    std::string out;
    switch (p->type) {
    case KTGEO_POINT:
        out = bare ? "(" : "POINT (";
        coord(&out, p->geom.point.coord);
        out += ")";
        break;
    case KTGEO_CURVE:
        out = bare ? "" : "LINESTRING ";
        coords(&out, p->geom.curve.coords);
        break;
    case KTGEO_PATH:
        out = bare ? "" : "LINESTRING ";
        path_coords(&out, &p->geom.path);
        break;
    case KTGEO_POLYGON: {
        out = bare ? "(" : "POLYGON (";
        path_coords(&out, &p->geom.polygon.exterior);
        const nlst* holes = p->geom.polygon.interiors;
        for (uint32_t i = 0; holes && i < holes->tally; ++i) {
            out += ", ";
            path_coords(&out, static_cast<GeoPath*>(nlst_index(holes, i)));
        }
        out += ")";
        break;
    }
    default:
        out = "GEOMETRYCOLLECTION EMPTY";
    }
    return out;
}

}  // namespace

int topo_wkt_read(const char* text, SpatialObject* object, std::string* error) {
    Parser in{text, {}};
    const bool ok = geometry(in, object);
    in.skip();
    if (ok && *in.p != '\0') in.fail("text after the geometry");
    if (!in.error.empty()) {
        if (error) *error = in.error;
        return 0;
    }
    ktgeo_so_complete(object);
    return 1;
}

std::string topo_wkt_write(const SpatialObject* object) {
    const uint32_t n = object->primitives ? object->primitives->tally : 0;
    if (n == 0) return "GEOMETRYCOLLECTION EMPTY";
    auto at = [&](uint32_t i) { return static_cast<GeometricPrimitive*>(nlst_index(object->primitives, i)); };
    if (n == 1) return primitive_text(at(0), false);
    const int32_t type = at(0)->type;
    bool same = true;
    for (uint32_t i = 1; i < n; ++i) same = same && at(i)->type == type;
    std::string out;
    if (same) {
        out = type == KTGEO_POINT ? "MULTIPOINT (" : type == KTGEO_POLYGON ? "MULTIPOLYGON (" : "MULTILINESTRING (";
        for (uint32_t i = 0; i < n; ++i) {
            if (i) out += ", ";
            out += primitive_text(at(i), true);
        }
    } else {
        out = "GEOMETRYCOLLECTION (";
        for (uint32_t i = 0; i < n; ++i) {
            if (i) out += ", ";
            out += primitive_text(at(i), false);
        }
    }
    return out + ")";
}
