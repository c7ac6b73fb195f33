// Whole runs of the engine for the tests: inputs as (key, WKT) pairs (input
// i is parent (1, i + 1)), every output object recorded with all its
// parents, and the one normaliser every comparison goes through: rings
// without their closing point, repeated and collinear vertices, turned
// clockwise and rotated to their smallest vertex; holes and polygons
// sorted.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_util.h"
#include "tools/topo_run/topo_wkt.h"

namespace teengine {

using Ring = std::vector<std::pair<double, double>>;
struct Poly {
    Ring exterior;
    std::vector<Ring> holes;
};

inline double SignedArea(const Ring& r) {  // clockwise positive, ring not closed
    double a = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        const auto& p = r[i];
        const auto& q = r[(i + 1) % r.size()];
        a += (q.first - p.first) * (q.second + p.second);
    }
    return a / 2;
}

inline Ring NormaliseRing(Ring r, double tol) {
    if (r.size() > 1 && std::fabs(r.front().first - r.back().first) <= tol &&
        std::fabs(r.front().second - r.back().second) <= tol)
        r.pop_back();
    bool changed = true;
    while (changed && r.size() > 2) {
        changed = false;
        for (size_t i = 0; i < r.size() && r.size() > 2; ++i) {
            const auto& a = r[(i + r.size() - 1) % r.size()];
            const auto& b = r[i];
            const auto& c = r[(i + 1) % r.size()];
            const double ux = b.first - a.first, uy = b.second - a.second;
            const double vx = c.first - b.first, vy = c.second - b.second;
            const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
            // A repeated vertex, or one on the line of its neighbours.
            if (lu <= tol || lv <= tol || std::fabs(ux * vy - uy * vx) <= tol * std::max(lu, lv)) {
                r.erase(r.begin() + long(i));
                changed = true;
                break;
            }
        }
    }
    if (SignedArea(r) < 0) std::reverse(r.begin(), r.end());
    std::rotate(r.begin(), std::min_element(r.begin(), r.end()), r.end());
    return r;
}

inline std::vector<Poly> Normalise(std::vector<Poly> polys, double tol) {
    for (Poly& p : polys) {
        p.exterior = NormaliseRing(p.exterior, tol);
        for (Ring& h : p.holes) h = NormaliseRing(h, tol);
        std::sort(p.holes.begin(), p.holes.end());
    }
    std::sort(polys.begin(), polys.end(), [](const Poly& a, const Poly& b) { return a.exterior < b.exterior; });
    return polys;
}

inline Ring RingOf(const GeoPath& path) {
    Ring r;
    for (uint32_t i = 0; path.curves && i < path.curves->tally; ++i) {
        const auto* c = static_cast<const GeoCurve*>(nlst_index(path.curves, i));
        for (uint32_t k = 0; c->coords && k < c->coords->tally; ++k) {
            const auto* q = static_cast<const GeoCoord*>(nlst_index(c->coords, k));
            if (!r.empty() && r.back().first == q->x && r.back().second == q->y) continue;
            r.push_back({q->x, q->y});
        }
    }
    return r;
}

// The polygons of an object (other primitives are counted in others).
inline std::vector<Poly> PolysOf(const SpatialObject& o, int* others = nullptr) {
    std::vector<Poly> out;
    for (uint32_t i = 0; o.primitives && i < o.primitives->tally; ++i) {
        const auto* p = static_cast<const GeometricPrimitive*>(nlst_index(o.primitives, i));
        if (p->type != KTGEO_POLYGON) {
            if (others) ++*others;
            continue;
        }
        Poly poly{RingOf(p->geom.polygon.exterior), {}};
        for (uint32_t k = 0; p->geom.polygon.interiors && k < p->geom.polygon.interiors->tally; ++k)
            poly.holes.push_back(RingOf(*static_cast<const GeoPath*>(nlst_index(p->geom.polygon.interiors, k))));
        out.push_back(poly);
    }
    return out;
}

inline double AreaOf(const std::vector<Poly>& polys) {
    double a = 0;
    for (const Poly& p : polys) {
        a += std::fabs(SignedArea(p.exterior));
        for (const Ring& h : p.holes) a -= std::fabs(SignedArea(h));
    }
    return a;
}

inline std::vector<Poly> PolysOfText(const std::string& wkt) {
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    std::string why;
    topo_wkt_read(wkt.c_str(), &o, &why);
    std::vector<Poly> p = PolysOf(o);
    ktgeo_so_release(&o);
    return p;
}

// One delivered object: its polygons, other primitives, flag and parents.
struct Object {
    std::vector<Poly> polys;
    int others = 0;
    int32_t flag = 0;
    std::vector<int32_t> parents;  // id_b, in the order handed over
    std::string text;
    double Area() const { return AreaOf(polys); }
};

struct Run {
    int answer = 0;
    std::vector<Object> out;
    std::vector<int32_t> errors;
    TeStatistics statistics{};
    double Area() const {
        double a = 0;
        for (const Object& o : out) a += o.Area();
        return a;
    }
    std::vector<Poly> AllPolys() const {
        std::vector<Poly> all;
        for (const Object& o : out) all.insert(all.end(), o.polys.begin(), o.polys.end());
        return all;
    }
};

inline int32_t RecordOutput(SpatialObject* so, nlst* parents, void* self) {
    Object o;
    o.polys = PolysOf(*so, &o.others);
    o.flag = so->flag;
    o.text = topo_wkt_write(so);
    for (uint32_t i = 0; parents && i < parents->tally; ++i)
        o.parents.push_back(static_cast<const TeParent*>(nlst_index(parents, i))->id_b);
    static_cast<Run*>(self)->out.push_back(o);
    return 1;
}

inline int32_t RecordError(FailEvent* e, void* self) {
    static_cast<Run*>(self)->errors.push_back(e->code);
    return 0;
}

using Inputs = std::vector<std::pair<int32_t, std::string>>;

// One run of the engine over the inputs (dimension surface unless the
// settings say otherwise).
inline Run RunEngine(int32_t mode, const Inputs& inputs, const std::function<void(TeRules&)>& settings = {}) {
    Run run;
    TeRules rules;
    qd_te_rules_init(&rules);
    qd_te_func_abstract_set_rules(&rules, mode, nullptr, 1, 0);
    rules.output_dim = TE_DIM_SURFACE;
    rules.output_method = {RecordOutput, &run};
    rules.error_method = {RecordError, &run};
    if (settings) settings(rules);
    std::vector<SpatialObject> objects(inputs.size());
    nlst* packs = nlst_alloc(sizeof(TePack), 8, 8, nullptr);
    for (size_t i = 0; i < inputs.size(); ++i) {
        ktgeo_so_init_empty(&objects[i]);
        std::string why;
        topo_wkt_read(inputs[i].second.c_str(), &objects[i], &why);
        TePack pack;
        qd_te_pack_init(&pack);
        pack.keys.parent = {1, int32_t(i + 1), 0};
        pack.keys.key = inputs[i].first;
        pack.use_input = 1;
        pack.input = &objects[i];
        nlst_add(packs, &pack);
    }
    run.answer = qd_te_func_abstract(packs, &rules);
    run.statistics = rules.statistics;
    nlst_free(packs);
    for (SpatialObject& o : objects) ktgeo_so_release(&o);
    return run;
}

// The text of a WKT moved by (dx, dy).
inline std::string Shifted(const std::string& wkt, double dx, double dy) {
    SpatialObject o;
    ktgeo_so_init_empty(&o);
    std::string why;
    topo_wkt_read(wkt.c_str(), &o, &why);
    for (uint32_t i = 0; o.primitives && i < o.primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(o.primitives, i));
        auto move = [&](nlst* coords) {
            for (uint32_t k = 0; coords && k < coords->tally; ++k) {
                auto* q = static_cast<GeoCoord*>(nlst_index(coords, k));
                q->x += dx;
                q->y += dy;
            }
        };
        auto move_path = [&](GeoPath* path) {
            for (uint32_t k = 0; path->curves && k < path->curves->tally; ++k)
                move(static_cast<GeoCurve*>(nlst_index(path->curves, k))->coords);
        };
        if (p->type == KTGEO_CURVE) move(p->geom.curve.coords);
        if (p->type == KTGEO_PATH) move_path(&p->geom.path);
        if (p->type == KTGEO_POINT) {
            p->geom.point.coord.x += dx;
            p->geom.point.coord.y += dy;
        }
        if (p->type == KTGEO_POLYGON) {
            move_path(&p->geom.polygon.exterior);
            for (uint32_t k = 0; p->geom.polygon.interiors && k < p->geom.polygon.interiors->tally; ++k)
                move_path(static_cast<GeoPath*>(nlst_index(p->geom.polygon.interiors, k)));
        }
    }
    std::string text = topo_wkt_write(&o);
    ktgeo_so_release(&o);
    return text;
}

}  // namespace teengine

#include "geometry/topology/entry/te_topo_run_util.h"

namespace teengine {

// One run of the topo_run tool: its exit status and the polygons of every
// object it prints.
struct ToolRun {
    int status = -1;
    std::vector<Poly> polys;
    int others = 0;
    std::string err;
    double Area() const { return AreaOf(polys); }
};

inline ToolRun RunTool(std::vector<std::string> args, const Inputs& inputs) {
    std::string text;
    for (const auto& [key, wkt] : inputs) text += std::to_string(key) + " " + wkt + "\n";
    const tetest::ToolResult result = tetest::RunTopoRun(std::move(args), text);
    ToolRun r;
    r.status = result.status;
    r.err = result.err;
    const std::string& printed = result.out;
    size_t at = 0;
    while (at < printed.size()) {
        size_t end = printed.find('\n', at);
        if (end == std::string::npos) end = printed.size();
        const std::string line = printed.substr(at, end - at);
        at = end + 1;
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        SpatialObject o;
        ktgeo_so_init_empty(&o);
        std::string why;
        topo_wkt_read(line.c_str() + space + 1, &o, &why);
        const std::vector<Poly> p = PolysOf(o, &r.others);
        r.polys.insert(r.polys.end(), p.begin(), p.end());
        ktgeo_so_release(&o);
    }
    return r;
}

}  // namespace teengine
