// Grouped linear output: output items in runs of equal keys become output
// geometries; with paths on, the chains of a run are linked end to end,
// traced into paths, oriented along them and merged into as few polylines
// as possible, optionally joined onto the curves already in the geometry
// and, before delivery, with each other.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/output/qd_te_linear_util.h"

namespace tel = qd_te_linear_detail;

namespace {

constexpr double kJoin = 1e-10;

GeoCoord* coords_of(const GeoCurve& c) { return static_cast<GeoCoord*>(c.coords->data); }
bool polyline(const GeoCurve& c) { return c.curve_type == KTGEO_POLYLINE && c.coords && c.coords->tally >= 2; }
const GeoCoord& first_of(const GeoCurve& c) { return coords_of(c)[0]; }
const GeoCoord& last_of(const GeoCurve& c) { return coords_of(c)[c.coords->tally - 1]; }
bool same(const GeoCoord& a, const GeoCoord& b) { return qd_te_same_fuzzy_point(&a, &b, kJoin) == 1; }

void reverse_curve(GeoCurve* c) {
    GeoCoord* p = coords_of(*c);
    std::reverse(p, p + c->coords->tally);
}

GeoCurve* curve_at(nlst* list, uint32_t i) { return static_cast<GeoCurve*>(list->data) + i; }

GeometricPrimitive* primitive_at(SpatialObject* o, uint32_t i) {
    return static_cast<GeometricPrimitive*>(o->primitives->data) + i;
}

bool empty_curve(const GeometricPrimitive* p) {
    return p->type == KTGEO_CURVE && (!p->geom.curve.coords || p->geom.curve.coords->tally == 0);
}

// Removes the primitives flagged dead, releasing them, keeping the order.
void compact(SpatialObject* o, const std::vector<uint8_t>& dead) {
    uint32_t k = 0;
    for (uint32_t i = 0; i < o->primitives->tally; ++i) {
        GeometricPrimitive* p = primitive_at(o, i);
        if (dead[i]) {
            ktgeo_primitive_release(p, nullptr);
            continue;
        }
        if (k != i) std::memcpy(primitive_at(o, k), p, sizeof *p);
        ++k;
    }
    o->primitives->tally = k;
}

struct CurveList {
    nlst* list = nullptr;
    ~CurveList() { release(); }
    void release() {
        if (!list) return;
        for (uint32_t i = 0; i < list->tally; ++i) ktgeo_curve_release(curve_at(list, i), nullptr);
        nlst_free(list);
        list = nullptr;
    }
};

}  // namespace

int qd_te_linear_path_item_add(int32_t chain, nlst** paths, int32_t id_a, int32_t id_b) {
    if (!paths) return qd_te_missing("qd_te_linear_path_item_add");
    const int32_t self = *paths ? int32_t((*paths)->tally) + 1 : 1;
    const TeLinearPathItem item{chain, 0, self, self, id_a, id_b};
    return qd_te_append_item_to_list(paths, &item, sizeof item);
}

int qd_te_linear_path_links(nlst* paths, nlst* chains) {
    if (!chains || chains->tally < 2) return qd_te_missing("qd_te_linear_path_links");
    if (!paths || paths->tally == 0) return 1;
    std::vector<TePathEnd> ends;
    ends.reserve(2 * paths->tally);
    TeLinearPathItem* items = static_cast<TeLinearPathItem*>(paths->data);
    for (uint32_t i = 0; i < paths->tally; ++i) {
        if (!tel::valid_row(chains, items[i].chain)) continue;
        TeChain* c = qd_te_chain_at(chains, items[i].chain);
        if (c->chain_type == TE_NODE || c->chain_type == TE_CIRCLE) continue;
        TeVertex *first = nullptr, *last = nullptr;
        int32_t skip = 0;
        if (!qd_te_form_start_end(c, &first, &last, &skip)) return 0;
        if (skip || !first || !last) continue;
        ends.push_back({int32_t(i), &first->x, 1, items[i].id_a, items[i].id_b});
        ends.push_back({int32_t(i), &last->x, 2, items[i].id_a, items[i].id_b});
    }
    // Exact order on full keys, then one sweep groups the ends that are the
    // same point within 1e-10 (a fuzzy comparator is no strict weak order).
    std::sort(ends.begin(), ends.end(), [](const TePathEnd& a, const TePathEnd& b) {
        if (int k = qd_te_key_order(a.point[0], b.point[0])) return k < 0;
        if (int k = qd_te_key_order(a.point[1], b.point[1])) return k < 0;
        if (a.id_a != b.id_a) return a.id_a < b.id_a;
        if (a.id_b != b.id_b) return a.id_b < b.id_b;
        if (a.item != b.item) return a.item < b.item;
        return a.end < b.end;
    });
    auto at = [](const TePathEnd& e) { return GeoCoord{e.point[0], e.point[1], e.point[2]}; };
    auto link = [&](const TePathEnd& from, const TePathEnd& to) {
        const int32_t value = from.end == to.end ? -(to.item + 1) : to.item + 1;
        if (from.end == 1) items[from.item].start_link = value;
        else items[from.item].end_link = value;
    };
    std::vector<uint8_t> grouped(ends.size(), 0);
    std::vector<size_t> group;
    for (size_t i = 0; i < ends.size(); ++i) {
        if (grouped[i]) continue;
        const GeoCoord p = at(ends[i]);
        group.assign(1, i);
        for (size_t j = i + 1; j < ends.size() && !(ends[j].point[0] > p.x + 2 * kJoin); ++j) {
            if (grouped[j]) continue;
            const GeoCoord q = at(ends[j]);
            if (same(p, q)) {
                grouped[j] = 1;
                group.push_back(j);
            }
        }
        // Consecutive ends are linked; a later link of an end replaces an
        // earlier one.
        for (size_t k = 0; k + 1 < group.size(); ++k) {
            link(ends[group[k]], ends[group[k + 1]]);
            link(ends[group[k + 1]], ends[group[k]]);
        }
    }
    return 1;
}

int qd_te_linear_curve_form(nlst* chains, TeRules* rules, int32_t chain, int32_t direction, nlst** parents,
                            nlst** curves, int32_t merge) {
    if (!chains || !rules || !parents || !curves || !tel::valid_row(chains, chain))
        return qd_te_missing("qd_te_linear_curve_form");
    TeChain* c = qd_te_chain_at(chains, chain);
    if (c->discard != CHAIN_OK) return 1;
    if (!qd_te_collect_parents(c, parents, 2, 0)) return 0;
    return qd_te_add_new_curve_to_list(c, curves, direction, rules, merge);
}

int qd_te_linear_reverse_merge(nlst* curves) {
    if (!curves || curves->tally < 2) return 1;
    GeoCurve* c = curve_at(curves, 0);
    const uint32_t n = curves->tally;
    std::reverse(c, c + n);
    std::vector<uint8_t> absorbed(n, 0);
    int ok = 1;
    for (uint32_t i = 0; ok && i < n; ++i) {
        if (absorbed[i]) continue;
        for (uint32_t j = i + 1; j < n; ++j) {
            int32_t merged = 0;
            if (!(ok = qd_te_output_merge_curves(&c[i], &c[j], &merged))) break;
            if (!merged) break;
            ktgeo_curve_release(&c[j], nullptr);
            absorbed[j] = 1;
        }
    }
    uint32_t k = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (!absorbed[i]) c[k++] = c[i];
    curves->tally = k;
    return ok;
}

int qd_te_linear_path_connect(nlst* curves, SpatialObject* object, int32_t no_reverse) {
    if (!object) return qd_te_missing("qd_te_linear_path_connect");
    if (!curves || curves->tally == 0) return 1;
    std::vector<uint8_t> joined(curves->tally, 0);
    for (uint32_t k = 0; k < curves->tally; ++k) {
        GeoCurve* fresh = curve_at(curves, k);
        if (!polyline(*fresh) || !object->primitives) continue;
        for (int pass = 0; pass < (no_reverse ? 1 : 2) && !joined[k]; ++pass) {
            if (pass == 1) reverse_curve(fresh);
            for (uint32_t i = 0; i < object->primitives->tally && !joined[k];) {
                GeometricPrimitive* p = primitive_at(object, i);
                if (empty_curve(p)) {
                    ktgeo_primitive_release(p, nullptr);
                    nlst_remove(object->primitives, i);
                    continue;
                }
                if (p->type == KTGEO_CURVE) {
                    GeoCurve* old = &p->geom.curve;
                    int32_t merged = 0;
                    if (!qd_te_output_merge_curves(old, fresh, &merged)) return 0;
                    if (!merged) {
                        if (!qd_te_output_merge_curves(fresh, old, &merged)) return 0;
                        if (merged) std::swap(*old, *fresh);  // the joined curve takes the old one's place
                    }
                    if (merged) joined[k] = 1;
                }
                ++i;
            }
            if (pass == 1 && !joined[k]) reverse_curve(fresh);
        }
    }
    uint32_t kept = 0;
    for (uint32_t k = 0; k < curves->tally; ++k) {
        GeoCurve* c = curve_at(curves, k);
        if (joined[k]) ktgeo_curve_release(c, nullptr);
        else *curve_at(curves, kept++) = *c;
    }
    curves->tally = kept;
    return 1;
}

namespace {

// End points of the curve primitives in cells of a grid: the candidates of
// a join are found among the ends in the 3 x 3 cells round a point. Cells
// are at least 4e-10 wide (twice the farthest the join test accepts).
class EndGrid {
public:
    EndGrid(SpatialObject* o, const std::vector<uint8_t>& live) : object_(o) {
        double m = 0;
        for (uint32_t i = 0; i < o->primitives->tally; ++i)
            if (live[i])
                for (const GeoCoord* p : ends(i))
                    if (std::isfinite(p->x) && std::isfinite(p->y))
                        m = std::fmax(m, std::fmax(std::fabs(p->x), std::fabs(p->y)));
        width_ = std::fmax(4 * kJoin, std::ldexp(m, -28));
        for (uint32_t i = 0; i < o->primitives->tally; ++i)
            if (live[i]) insert(int32_t(i));
    }
    void insert(int32_t slot) {
        for (const GeoCoord* p : ends(uint32_t(slot))) {
            uint64_t key;
            if (cell(*p, 0, 0, &key)) cells_[key].push_back(slot);
        }
    }
    void erase(int32_t slot) {
        for (const GeoCoord* p : ends(uint32_t(slot))) {
            uint64_t key;
            if (!cell(*p, 0, 0, &key)) continue;
            auto it = cells_.find(key);
            if (it == cells_.end()) continue;
            auto& v = it->second;
            auto pos = std::find(v.begin(), v.end(), slot);
            if (pos != v.end()) v.erase(pos);
        }
    }
    // The slots above this one with an end in the cells round either end
    // of the slot's curve, ascending, without repeats.
    void candidates(int32_t slot, std::vector<int32_t>* out) const {
        out->clear();
        for (const GeoCoord* p : ends(uint32_t(slot)))
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -1; dy <= 1; ++dy) {
                    uint64_t key;
                    if (!cell(*p, dx, dy, &key)) continue;
                    auto it = cells_.find(key);
                    if (it == cells_.end()) continue;
                    for (int32_t s : it->second)
                        if (s > slot) out->push_back(s);
                }
        std::sort(out->begin(), out->end());
        out->erase(std::unique(out->begin(), out->end()), out->end());
    }

private:
    std::vector<const GeoCoord*> ends(uint32_t i) const {
        const GeoCurve& c = primitive_at(object_, i)->geom.curve;
        return {&first_of(c), &last_of(c)};
    }
    bool cell(const GeoCoord& p, int dx, int dy, uint64_t* key) const {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        const int64_t cx = int64_t(std::floor(p.x / width_)) + dx;
        const int64_t cy = int64_t(std::floor(p.y / width_)) + dy;
        *key = (uint64_t(uint32_t(int32_t(cx))) << 32) | uint32_t(int32_t(cy));
        return true;
    }
    SpatialObject* object_;
    double width_ = 1;
    std::unordered_map<uint64_t, std::vector<int32_t>> cells_;
};

}  // namespace

int qd_te_linear_path_reconnect(SpatialObject* object, int32_t no_reverse) {
    if (!object) return qd_te_missing("qd_te_linear_path_reconnect");
    if (!object->primitives || object->primitives->tally == 0) return 1;
    const uint32_t n = object->primitives->tally;
    std::vector<uint8_t> dead(n, 0), live(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const GeometricPrimitive* p = primitive_at(object, i);
        if (empty_curve(p)) dead[i] = 1;
        else live[i] = p->type == KTGEO_CURVE && polyline(p->geom.curve);
    }
    // The scan of the plain search: for each curve A in order, the first
    // later curve B that meets it joins, trying A after B, B after A, then
    // the same with A reversed; after a join the grown curve is tried
    // again. The grid only finds the same B sooner.
    EndGrid grid(object, live);
    std::vector<int32_t> cand;
    auto curve = [&](int32_t s) { return &primitive_at(object, uint32_t(s))->geom.curve; };
    for (int32_t i = 0; i < int32_t(n);) {
        if (!live[size_t(i)]) {
            ++i;
            continue;
        }
        grid.candidates(i, &cand);
        // A after B (A absorbed) or B after A (B absorbed): -1 failure,
        // 0 no join, 1 joined.
        auto join = [&](int32_t j, bool a_after_b) {
            grid.erase(i);
            grid.erase(j);
            int32_t merged = 0;
            const int ok = a_after_b ? qd_te_output_merge_curves(curve(j), curve(i), &merged)
                                     : qd_te_output_merge_curves(curve(i), curve(j), &merged);
            if (!ok) return -1;
            if (!merged) {
                grid.insert(i);
                grid.insert(j);
                return 0;
            }
            const int32_t gone = a_after_b ? i : j;
            live[size_t(gone)] = 0;
            dead[size_t(gone)] = 1;
            grid.insert(a_after_b ? j : i);
            return 1;
        };
        auto flip = [&] {
            grid.erase(i);
            reverse_curve(curve(i));
            grid.insert(i);
        };
        bool joined = false;
        for (int32_t j : cand) {
            if (!live[size_t(j)]) continue;
            int r = join(j, true);
            if (r == 0) r = join(j, false);
            if (r == 0 && !no_reverse) {
                flip();
                r = join(j, true);
                if (r == 0) r = join(j, false);
                if (r == 0) flip();
            }
            if (r < 0) return 0;
            if (r == 1) {
                joined = true;
                break;
            }
        }
        // After a join the scan starts again at A's place: A grown, or,
        // when A was absorbed, the curve after it.
        if (!joined) ++i;
    }
    compact(object, dead);
    return 1;
}

int qd_te_linear_path_assembly(nlst* paths, nlst* chains, TeRules* rules, nlst** parents, int32_t connect,
                               SpatialObject* object) {
    if (!object || !rules || !parents || !chains) return qd_te_missing("qd_te_linear_path_assembly");
    if (!paths || paths->tally == 0) return 1;
    TeLinearPathItem* items = static_cast<TeLinearPathItem*>(paths->data);
    const int32_t count = int32_t(paths->tally);
    auto leave_link = [&](int32_t item, int32_t kind) {
        return kind == 1 ? items[item].start_link : items[item].end_link;
    };
    for (int32_t s = 0; s < count; ++s) {
        if (items[s].used) continue;
        const TeChain* sc = tel::valid_row(chains, items[s].chain) ? qd_te_chain_at(chains, items[s].chain) : nullptr;
        if (sc && sc->chain_type == TE_NODE) {
            items[s].used = 1;
            if (!qd_te_linear_chain_output(rules, qd_te_chain_at(chains, items[s].chain), object, parents)) return 0;
            continue;
        }
        CurveList back, work;
        // Follows the links from one end of S: each item is entered at the
        // end its link names (the same kind as the end left for a negative
        // link, the other kind for a positive one) and left at its far end;
        // its curve runs towards S (backwards) or away from it (forwards).
        auto follow = [&](int32_t kind, bool forwards, nlst** into) {
            int32_t current = s, leave = kind;
            for (int32_t step = 0; step < count; ++step) {
                const int32_t link = leave_link(current, leave);
                const int32_t next = (link < 0 ? -link : link) - 1;
                if (next < 0 || next >= count || next == current || next == s || items[next].used) return 1;
                const int32_t arrive = link > 0 ? 3 - leave : leave;
                const int32_t direction = forwards ? (arrive == 1 ? 1 : 0) : (arrive == 2 ? 1 : 0);
                items[next].used = 1;
                if (!qd_te_linear_curve_form(chains, rules, items[next].chain, direction, parents, into,
                                             forwards ? 1 : 0))
                    return 0;
                current = next;
                leave = 3 - arrive;
            }
            return 1;
        };
        items[s].used = 1;
        if (!follow(1, false, &back.list)) return 0;
        if (back.list) {
            if (!qd_te_linear_reverse_merge(back.list)) return 0;
            work.list = back.list;
            back.list = nullptr;
        }
        if (!qd_te_linear_curve_form(chains, rules, items[s].chain, 1, parents, &work.list, 1)) return 0;
        if (!follow(2, true, &work.list)) return 0;
        if (connect && !qd_te_linear_path_connect(work.list, object, rules->reconnect_option)) return 0;
        while (work.list && work.list->tally > 0) {
            GeometricPrimitive p;
            ktgeo_util_primitive_init(KTGEO_CURVE, &p);
            p.geom.curve = *curve_at(work.list, 0);
            nlst_remove(work.list, 0);
            if (!ktgeo_util_add_new_primitive(&p, object)) {
                ktgeo_curve_release(&p.geom.curve, nullptr);
                return 0;
            }
        }
    }
    return 1;
}

int qd_te_line_build_preserve(nlst* chains, TeRules* rules, nlst* items) {
    if (!rules) return qd_te_missing("qd_te_line_build_preserve");
    if (!items || items->tally == 0) return 1;
    if (!chains || chains->tally < 2) return qd_te_missing("qd_te_line_build_preserve");
    const int32_t mode = rules->mode;
    bool paths = false, grouped = false, single = false;
    switch (mode) {
    case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: paths = grouped = true; break;
    case TE_DISSOLVE: case TE_INTERSECT: case TE_RELATE: paths = single = true; break;
    case TE_ADJACENT: case TE_PRESERVE: case TE_OVERLAY_NODES: case TE_SYMMETRIC_DIFFERENCE: case TE_SHARED:
        paths = true;
        break;
    case TE_JOIN: paths = rules->output_option_1 == 1; break;
    default: break;
    }
    TeOutputItem* v = static_cast<TeOutputItem*>(items->data);
    const uint32_t n = items->tally;
    if (grouped) {
        // Sorted on (ids, cutter list length, chain), grouped by equal
        // cutter lists, sorted again on (ids, group, chain).
        if (!qd_te_group_output_items(items)) return 0;
    } else {
        // Full keys: the order never depends on the sort.
        std::sort(v, v + n, [](const TeOutputItem& a, const TeOutputItem& b) {
            if (a.id_a != b.id_a) return a.id_a < b.id_a;
            if (a.id_b != b.id_b) return a.id_b < b.id_b;
            return a.polygon < b.polygon;
        });
    }
    tel::Geometry out(rules);
    nlst* path_list = nullptr;
    int ok = 1;
    for (uint32_t start = 0; ok && start < n;) {
        uint32_t end = start + 1;
        while (end < n && v[end].id_a == v[start].id_a && v[end].id_b == v[start].id_b &&
               (!grouped || v[end].group == v[start].group))
            ++end;
        if (!(ok = tel::heartbeat(rules))) break;
        for (uint32_t i = start; ok && i < end; ++i) {
            if (!tel::valid_row(chains, v[i].polygon)) continue;
            if (paths) ok = qd_te_linear_path_item_add(v[i].polygon, &path_list, v[i].id_a, v[i].id_b);
            else ok = qd_te_linear_chain_output(rules, qd_te_chain_at(chains, v[i].polygon), &out.object, &out.parents);
        }
        if (ok && paths && path_list) {
            ok = qd_te_linear_path_links(path_list, chains) &&
                 qd_te_linear_path_assembly(path_list, chains, rules, &out.parents, single ? 1 : 0, &out.object);
            path_list->tally = 0;
        }
        if (ok && !single && !out.empty()) ok = out.deliver(true);
        if (!single) out.clear();
        start = end;
    }
    if (ok && single && !out.empty()) ok = out.deliver(true);
    if (path_list) nlst_free(path_list);
    return ok;
}
