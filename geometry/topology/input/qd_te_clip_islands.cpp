// Clipping an input geometry by the polygons of a clip geometry, and the
// dissolve of a polygon's holes. Both run the engine again, nested, on rules
// of their own: the caller's rules are only read, and its error method is
// the nested runs' error method, so the geometry library's failures still
// reach it while and after they run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_path.h"
#include "geometry/ktgeo_quick.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_error.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

// Moves every primitive of `result` to the end of `target` (which takes
// them by value) and leaves `result` without a list.
int move_primitives(SpatialObject* result, SpatialObject* target) {
    if (!result->primitives) return 1;
    for (uint32_t i = 0; i < result->primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(result->primitives, i));
        if (!target->primitives && !(target->primitives = ktgeo_primitive_list_new(nullptr))) {
            nlst_remove_many(result->primitives, 0, i);
            return qd_te_no_memory();
        }
        if (nlst_add(target->primitives, p) != 1) {
            nlst_remove_many(result->primitives, 0, i);
            return qd_te_no_memory();
        }
    }
    nlst_free(result->primitives);
    result->primitives = nullptr;
    return 1;
}

void release(SpatialObject* object) {
    ktgeo_so_release(object);
    qd_te_so_reset(object, object->csid);
}

GeometricPrimitive* primitive_at(SpatialObject* object, uint32_t i) {
    return static_cast<GeometricPrimitive*>(nlst_index(object->primitives, i));
}

uint32_t primitive_count(const SpatialObject* object) {
    return object->primitives ? object->primitives->tally : 0;
}

// The settings every nested run shares: the caller's error method (its
// function and user data), no event or eafs method, the caller's
// clip_output.
void nested_rules(TeRules* nested, const TeRules* caller, int32_t mode, int32_t secondary) {
    qd_te_rules_init(nested);
    nested->mode = mode;
    nested->secondary = secondary;
    nested->islands = 0;
    nested->clip_output = caller->clip_output;
    qd_te_callback_init(&nested->event_method);
    nested->eafs_method = {nullptr, nullptr};
    nested->error_method = caller->error_method;
}

// The islands runs' rules: surfaces, unclosed rings dropped, the result
// moved into `into`.
void islands_rules(TeRules* nested, const TeRules* caller, int32_t mode, int32_t secondary,
                   SpatialObject* into) {
    nested_rules(nested, caller, mode, secondary);
    nested->output_dim = 3;
    nested->drop_unclosed = 1;
    nested->output_method = {qd_te_islands_dissolve_geom_method, into};
}

}  // namespace

int32_t qd_te_clipping_output_geom_method(SpatialObject* result, nlst*, void* geometry) {
    auto* target = static_cast<SpatialObject*>(geometry);
    if (!result || !target) return qd_te_missing("qd_te_clipping_output_geom_method");
    if (!result->primitives || result->primitives->tally == 0) return 1;
    if (!move_primitives(result, target)) return 0;
    ktgeo_so_complete(target);
    return 1;
}

int qd_te_encode_clipping(TeRules* rules, SpatialObject* geometry, const TeClip* clip) {
    if (!geometry || !rules) return qd_te_missing("qd_te_encode_clipping");
    if (!clip || !clip->clip || clip->mode == 0) return 1;
    SpatialObject* cutter = clip->clip;
    TePrimitiveCounts counts;
    if (!qd_te_count_primitive_types(cutter, &counts)) return 0;
    if (counts.total == 0 || counts.polygons == 0) return 1;
    ktgeo_so_complete(cutter);
    bool empty = false;
    if (!ktgeo_quick_check(cutter)) {
        if (qd_te_error_method(TE_STATUS_BAD_CUTTER, &rules->error_method) == 0) return 0;
        empty = true;
    } else if (clip->mode == 2) {
        ktgeo_so_complete(geometry);
        empty = geometry->env_min.x > cutter->env_max.x || geometry->env_max.x < cutter->env_min.x ||
                geometry->env_min.y > cutter->env_max.y || geometry->env_max.y < cutter->env_min.y;
    } else if (clip->mode != 1) {
        empty = true;
    }
    if (empty) {
        release(geometry);
        return 1;
    }
    // The geometry's content moves into the copy; the nested run writes the
    // clipped result back into the emptied geometry.
    SpatialObject copy = *geometry;
    qd_te_so_reset(geometry, copy.csid);
    nlst* packs = nlst_alloc(sizeof(TePack), 2, 2, nullptr);
    if (!packs) {
        *geometry = copy;
        return qd_te_no_memory();
    }
    TeRules nested;
    nested_rules(&nested, rules, clip->mode == 1 ? TE_ERASE_IN : TE_ERASE_OUT, 20);
    nested.drop_unclosed = 0;
    nested.convex = rules->convex;
    nested.dissolve_islands = rules->dissolve_islands;
    nested.output_method = {qd_te_clipping_output_geom_method, geometry};
    TePack target, operand;
    qd_te_pack_init(&target);
    target.use_input = 1;
    target.input = &copy;
    target.keys.parent = {1, 1, 0};
    qd_te_pack_init(&operand);
    operand.use_input = 1;
    operand.input = cutter;
    operand.keys.parent = {1, 2, 0};
    operand.keys.key = 1;
    qd_te_filter_geom_init(&operand.keys.filter, 1);
    operand.keys.filter.drop_polygons = 0;
    operand.keys.filter.drop_all = 0;
    int ok = nlst_add(packs, &target) == 1 && nlst_add(packs, &operand) == 1 ? 1 : qd_te_no_memory();
    if (ok) ok = qd_te_func_abstract(packs, &nested);
    nlst_free(packs);
    ktgeo_so_release(&copy);
    if (!ok) return 0;
    ktgeo_so_complete(geometry);
    const double* e = rules->work_extent;
    if (primitive_count(geometry) > 0 &&
        (geometry->env_min.x > e[3] || geometry->env_max.x < e[0] || geometry->env_min.y > e[4] ||
         geometry->env_max.y < e[1])) {
        release(geometry);
        return qd_te_error_method(TE_STATUS_OUTSIDE, &rules->error_method) ? 1 : 0;
    }
    return 1;
}

int32_t qd_te_islands_dissolve_geom_method(SpatialObject* result, nlst*, void* geometry) {
    auto* target = static_cast<SpatialObject*>(geometry);
    if (!result || !target) return qd_te_missing("qd_te_islands_dissolve_geom_method");
    return move_primitives(result, target);
}

int32_t qd_te_islands_dissolve_method(SpatialObject* result, nlst*, void* polygon) {
    auto* target = static_cast<GeoPolygon*>(polygon);
    if (!result || !target) return qd_te_missing("qd_te_islands_dissolve_method");
    for (uint32_t i = 0; i < primitive_count(result); ++i) {
        GeometricPrimitive* p = primitive_at(result, i);
        if (p->type != KTGEO_PATH && p->type != KTGEO_POLYGON) continue;
        GeoPath* path = p->type == KTGEO_PATH ? &p->geom.path : &p->geom.polygon.exterior;
        if (path->expanded) {
            nlst_free(path->expanded);
            path->expanded = nullptr;
        }
        if (!target->interiors && !(target->interiors = ktgeo_path_list_new(nullptr)))
            return qd_te_no_memory();
        if (ktgeo_path_list_add(target->interiors, path) != 1) return qd_te_no_memory();
        ktgeo_path_init(path);
    }
    return 1;
}

namespace {

// One nested pipeline run over `inputs` (geometry, parent id pair, key)
// writing into `into`; status -1 when it does not assemble.
struct NestedInput {
    SpatialObject* geometry;
    int32_t id;
    int32_t key;
};

// Appends a copy of the path, without its expanded coordinates, as the
// exterior of a new polygon of `into`.
int add_ring_polygon(const GeoPath* path, SpatialObject* into) {
    GeometricPrimitive p;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &p);
    if (!ktgeo_util_copy_object_path(path, &p.geom.polygon.exterior)) {
        ktgeo_path_release(&p.geom.polygon.exterior, nullptr);
        return 0;
    }
    if (p.geom.polygon.exterior.expanded) {
        nlst_free(p.geom.polygon.exterior.expanded);
        p.geom.polygon.exterior.expanded = nullptr;
    }
    if (ktgeo_util_add_new_primitive(&p, into)) return 1;
    ktgeo_path_release(&p.geom.polygon.exterior, nullptr);
    return 0;
}

int nested_run(TeRules* nested, const TeRules* caller, const NestedInput* inputs, int n, int32_t* status) {
    nlst* chains = nullptr;
    if (!qd_te_geo_chain_list_create(&chains, 16)) return 0;
    int ok = 1;
    for (int i = 0; ok && *status == 1 && i < n; ++i) {
        TeKeys keys;
        qd_te_keys_init(&keys);
        keys.tolerance = caller->tolerance;
        keys.parent = {inputs[i].id, inputs[i].id, 0};
        keys.key = inputs[i].key;
        ok = qd_te_chains_from_geometry(inputs[i].geometry, nested, &keys, chains, nullptr, nullptr, status);
    }
    if (ok && *status == 1 && !qd_te_assemble_chains(chains, nested)) *status = -1;
    qd_te_geo_chain_list_free(&chains);
    if (ok && *status != 1) *status = -1;
    return ok;
}

// Whether a hole ring may enclose no area at all: it crosses or touches
// itself (its loops may cancel out), or its area by the shoelace formula is
// within the tolerance times its length. `ok` is 0 on a failed copy.
bool may_lack_area(const GeoPath* hole, double tolerance, int* ok) {
    GeoPath copy;
    ktgeo_path_init(&copy);
    *ok = ktgeo_util_copy_object_path(hole, &copy);
    bool doubtful = false;
    if (*ok && ktgeo_path_expand(&copy) && copy.expanded && copy.expanded->tally > 0) {
        auto* p = static_cast<GeoCoord*>(copy.expanded->data);
        const int32_t n = int32_t(copy.expanded->tally);
        double twice = 0, length = 0;
        for (int32_t i = 0; i + 1 < n; ++i) {
            twice += p[i].x * p[i + 1].y - p[i + 1].x * p[i].y;
            length += std::hypot(p[i + 1].x - p[i].x, p[i + 1].y - p[i].y);
        }
        const TeCoordArray array = {p, n};
        doubtful = std::fabs(twice) / 2 <= tolerance * length ||
                   qd_te_cogo_self_intersections(&array, nullptr, 1, &tolerance) == 1;
    } else {
        doubtful = *ok != 0;  // no coordinates: nothing to enclose
    }
    ktgeo_path_release(&copy, nullptr);
    return doubtful;
}

// The holes of `polygon` that enclose no area: those whose own dissolve gives
// nothing back (all of them when the dissolve of them all gave nothing).
// Only the holes that may lack area are dissolved one by one.
int holes_without_area(GeoPolygon* polygon, const TeRules* rules, bool none_came_back, std::vector<uint32_t>* out) {
    const uint32_t holes = polygon->interiors ? polygon->interiors->tally : 0;
    for (uint32_t i = 0; i < holes; ++i) {
        if (none_came_back) {
            out->push_back(i);
            continue;
        }
        const auto* hole = static_cast<const GeoPath*>(nlst_index(polygon->interiors, i));
        int ok = 1;
        if (holes < 2 || !may_lack_area(hole, rules->tolerance.tolerance, &ok)) {
            if (!ok) return 0;
            continue;
        }
        SpatialObject alone, back;
        qd_te_so_reset(&alone, rules->output_csid);
        qd_te_so_reset(&back, rules->output_csid);
        TeRules nested;
        islands_rules(&nested, rules, TE_DISSOLVE, 21, &back);
        const NestedInput in = {&alone, 1, -1};
        int32_t status = 1;
        ok = add_ring_polygon(hole, &alone) && nested_run(&nested, rules, &in, 1, &status);
        if (ok && status == 1 && primitive_count(&back) == 0) out->push_back(i);
        ktgeo_so_release(&alone);
        ktgeo_so_release(&back);
        if (!ok) return 0;
    }
    return 1;
}

// Appends copies of the given holes of `from` to the holes of `to`.
int keep_holes(const GeoPolygon* from, const std::vector<uint32_t>& which, GeoPolygon* to) {
    for (uint32_t i : which) {
        GeoPath copy;
        ktgeo_path_init(&copy);
        if (!ktgeo_util_copy_object_path(static_cast<const GeoPath*>(nlst_index(from->interiors, i)), &copy) ||
            (!to->interiors && !(to->interiors = ktgeo_path_list_new(nullptr))) ||
            ktgeo_path_list_add(to->interiors, &copy) != 1) {
            ktgeo_path_release(&copy, nullptr);
            return qd_te_no_memory();
        }
    }
    return 1;
}

}  // namespace

int qd_te_islands_dissolve(GeoPolygon* polygon, TeRules* rules, int32_t* status, SpatialObject* result) {
    if (!rules || !status || !polygon) return qd_te_missing("qd_te_islands_dissolve");
    *status = 1;
    const int32_t csid = rules->output_csid;
    const uint32_t holes = polygon->interiors ? polygon->interiors->tally : 0;
    SpatialObject scratch, dissolved, exterior;
    std::vector<uint32_t> kept;  // holes without area, kept as they came
    qd_te_so_reset(&scratch, csid);
    qd_te_so_reset(&dissolved, csid);
    qd_te_so_reset(&exterior, csid);
    auto finish = [&](int answer) {
        ktgeo_so_release(&scratch);
        ktgeo_so_release(&dissolved);
        ktgeo_so_release(&exterior);
        return answer;
    };
    if (result) qd_te_so_reset(result, csid);
    if (holes > 0) {
        // The holes stay on the polygon until the dissolve has succeeded;
        // the run works on copies of them.
        for (uint32_t i = 0; i < holes; ++i)
            if (!add_ring_polygon(static_cast<GeoPath*>(nlst_index(polygon->interiors, i)), &scratch))
                return finish(0);
        TeRules nested;
        islands_rules(&nested, rules, TE_DISSOLVE, 21, &dissolved);
        const NestedInput in = {&scratch, 1, -1};
        if (!nested_run(&nested, rules, &in, 1, status)) return finish(0);
        if (*status != 1) {
            *status = -1;
            return finish(1);
        }
        // A hole that encloses no area (degenerate, or its loops cancelling
        // out) dissolves into nothing: that is reported, and the hole stays
        // as it came. The error method's refusal leaves the whole polygon so.
        if (!holes_without_area(polygon, rules, primitive_count(&dissolved) == 0, &kept)) return finish(0);
        if (!kept.empty() && qd_te_error_method(-1, &rules->error_method) != 1) {
            *status = -1;
            return finish(1);
        }
        if (!result && kept.size() == holes) return finish(1);
        // A dissolved hole with rings inside leaves islands of the polygon
        // within it, which a polygon's hole cannot carry: that is reported
        // and the polygon keeps its holes as they came.
        if (!result) {
            for (uint32_t i = 0; i < primitive_count(&dissolved); ++i) {
                const GeometricPrimitive* p = primitive_at(&dissolved, i);
                if (p->type == KTGEO_POLYGON && p->geom.polygon.interiors &&
                    p->geom.polygon.interiors->tally > 0) {
                    if (qd_te_error_method(-1, &rules->error_method) != 1) *status = -1;
                    return finish(1);
                }
            }
            GeoPolygon fresh = *polygon;
            fresh.interiors = nullptr;
            if (!qd_te_islands_dissolve_method(&dissolved, nullptr, &fresh) || !keep_holes(polygon, kept, &fresh)) {
                if (fresh.interiors) ktgeo_path_list_free(fresh.interiors);
                return finish(0);
            }
            ktgeo_path_list_free(polygon->interiors);
            polygon->interiors = fresh.interiors;
            return finish(1);
        }
    }
    if (!result) return finish(1);
    // The result form: the exterior, less the dissolved holes.
    if (polygon->exterior.expanded) {
        nlst_free(polygon->exterior.expanded);
        polygon->exterior.expanded = nullptr;
    }
    GeometricPrimitive outer;
    ktgeo_util_primitive_init(KTGEO_POLYGON, &outer);
    outer.geom.polygon.exterior = polygon->exterior;
    if (primitive_count(&dissolved) == 0) {
        if (!ktgeo_util_add_new_primitive(&outer, result)) return finish(0);
        ktgeo_path_init(&polygon->exterior);
        ktgeo_polygon_release(polygon);
        ktgeo_so_complete(result);
        return finish(1);
    }
    if (!add_ring_polygon(&polygon->exterior, &exterior)) return finish(0);
    TeRules nested;
    islands_rules(&nested, rules, TE_ERASE_IN, 20, result);
    const NestedInput in[2] = {{&exterior, 1, -1}, {&dissolved, 2, 1}};
    if (!nested_run(&nested, rules, in, 2, status) || *status != 1) {
        // The polygon is only consumed by a cut that succeeded.
        ktgeo_so_release(result);
        qd_te_so_reset(result, csid);
        if (*status == 1) return finish(0);
        return finish(1);
    }
    ktgeo_polygon_release(polygon);
    ktgeo_so_complete(result);
    return finish(1);
}

int qd_te_islands_dissolve_list(nlst* primitives, TeRules* rules, int32_t* status) {
    if (!primitives || !rules || !status) return qd_te_missing("qd_te_islands_dissolve_list");
    *status = 1;
    // Only the primitives present at the start are visited; results take
    // their place in order.
    uint32_t remaining = primitives->tally;
    uint32_t i = 0;
    int ok = 1;
    while (ok && *status == 1 && remaining > 0) {
        --remaining;
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(primitives, i));
        if (p->type != KTGEO_POLYGON) {
            ++i;
            continue;
        }
        SpatialObject result;
        qd_te_so_reset(&result, rules->output_csid);
        ok = qd_te_islands_dissolve(&p->geom.polygon, rules, status, &result);
        if (!ok || *status != 1) {
            // The polygon stays as it came; the failure is reported.
            ktgeo_so_release(&result);
            if (ok) qd_te_error_method(-1, &rules->error_method);
            break;
        }
        const uint32_t count = primitive_count(&result);
        if (count == 0) {
            if (qd_te_error_method(-1, &rules->error_method) != 1) *status = -1;
            nlst_remove(primitives, i);
            ktgeo_so_release(&result);
            // The list is one shorter; the next original is now at i.
            continue;
        }
        // The polygon was consumed; its pieces take its place.
        ok = nlst_insert_many(primitives, result.primitives->data, i + 1, count) == 1 ? 1
                                                                                          : qd_te_no_memory();
        if (ok) {
            nlst_remove(primitives, i);
            nlst_free(result.primitives);
            result.primitives = nullptr;
            i += count;
        }
        ktgeo_so_release(&result);
    }
    return ok;
}

namespace {

double cross(const GeoCoord& o, const GeoCoord& a, const GeoCoord& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Two segments meet: they cross, or come within the tolerance of each other.
bool segments_meet(const GeoCoord& a0, const GeoCoord& a1, const GeoCoord& b0, const GeoCoord& b1, double t) {
    if (qd_te_cogo_point_segment_distance(&b0, &b1, &a0, nullptr) <= t ||
        qd_te_cogo_point_segment_distance(&b0, &b1, &a1, nullptr) <= t ||
        qd_te_cogo_point_segment_distance(&a0, &a1, &b0, nullptr) <= t ||
        qd_te_cogo_point_segment_distance(&a0, &a1, &b1, nullptr) <= t)
        return true;
    const double d1 = cross(b0, b1, a0), d2 = cross(b0, b1, a1), d3 = cross(a0, a1, b0), d4 = cross(a0, a1, b1);
    return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

// A point inside a closed ring by its winding number or by its crossing
// count (a ring that crosses itself may enclose a place either way).
bool inside_ring(const GeoCoord& p, const std::vector<GeoCoord>& r) {
    int winding = 0, crossings = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) {
        const GeoCoord &a = r[i], &b = r[i + 1];
        if ((a.y <= p.y) == (b.y <= p.y)) continue;
        const double side = cross(a, b, p);
        if ((b.y > a.y) == (side > 0)) {  // the edge passes right of p
            ++crossings;
            winding += b.y > a.y ? 1 : -1;
        }
    }
    return winding != 0 || crossings % 2 == 1;
}

struct HoleRing {
    std::vector<GeoCoord> points;
    GeoCoord low, high;
};

int hole_ring(const GeoPath* hole, HoleRing* out) {
    GeoPath copy;
    ktgeo_path_init(&copy);
    if (!ktgeo_util_copy_object_path(hole, &copy)) {
        ktgeo_path_release(&copy, nullptr);
        return 0;
    }
    if (ktgeo_path_expand(&copy) && copy.expanded) {
        const auto* p = static_cast<const GeoCoord*>(copy.expanded->data);
        out->points.assign(p, p + copy.expanded->tally);
    }
    ktgeo_path_release(&copy, nullptr);
    out->low = {1e300, 1e300, KTGEO_NO_Z};
    out->high = {-1e300, -1e300, KTGEO_NO_Z};
    for (const GeoCoord& c : out->points) {
        out->low = {std::fmin(out->low.x, c.x), std::fmin(out->low.y, c.y), KTGEO_NO_Z};
        out->high = {std::fmax(out->high.x, c.x), std::fmax(out->high.y, c.y), KTGEO_NO_Z};
    }
    return 1;
}

// Whether two hole rings meet: their boundaries come within the tolerance,
// or one lies inside the other.
bool holes_meet(const HoleRing& a, const HoleRing& b, double t) {
    if (a.points.empty() || b.points.empty()) return false;
    if (a.low.x > b.high.x + t || b.low.x > a.high.x + t || a.low.y > b.high.y + t || b.low.y > a.high.y + t)
        return false;
    for (size_t i = 0; i + 1 < a.points.size(); ++i)
        for (size_t k = 0; k + 1 < b.points.size(); ++k)
            if (segments_meet(a.points[i], a.points[i + 1], b.points[k], b.points[k + 1], t)) return true;
    return inside_ring(a.points[0], b.points) || inside_ring(b.points[0], a.points);
}

}  // namespace

int qd_te_islands_dissolve_meeting(GeoPolygon* polygon, TeRules* rules, int32_t* status) {
    if (!rules || !status || !polygon) return qd_te_missing("qd_te_islands_dissolve_meeting");
    *status = 1;
    const uint32_t holes = polygon->interiors ? polygon->interiors->tally : 0;
    if (holes < 2) return 1;
    std::vector<HoleRing> rings(holes);
    for (uint32_t i = 0; i < holes; ++i)
        if (!hole_ring(static_cast<const GeoPath*>(nlst_index(polygon->interiors, i)), &rings[i]))
            return qd_te_no_memory();
    std::vector<bool> meets(holes, false);
    const double t = rules->tolerance.tolerance;
    for (uint32_t i = 0; i < holes; ++i)
        for (uint32_t k = i + 1; k < holes; ++k)
            if ((!meets[i] || !meets[k]) && holes_meet(rings[i], rings[k], t)) meets[i] = meets[k] = true;
    if (std::find(meets.begin(), meets.end(), true) == meets.end()) return 1;
    // The holes that meet none stand aside while the others are dissolved,
    // and come back after them.
    nlst* meeting = ktgeo_path_list_new(nullptr);
    nlst* apart = ktgeo_path_list_new(nullptr);
    bool moved = meeting && apart;
    for (uint32_t i = 0; moved && i < holes; ++i)
        moved = nlst_add(meets[i] ? meeting : apart, nlst_index(polygon->interiors, i)) == 1;
    if (!moved) {
        if (meeting) nlst_free(meeting);
        if (apart) nlst_free(apart);
        return qd_te_no_memory();
    }
    nlst_free(polygon->interiors);
    polygon->interiors = meeting;
    int ok = qd_te_islands_dissolve(polygon, rules, status, nullptr);
    if (!polygon->interiors && !(polygon->interiors = ktgeo_path_list_new(nullptr))) {
        ktgeo_path_list_free(apart);
        return qd_te_no_memory();
    }
    for (uint32_t i = 0; i < apart->tally; ++i) {
        if (nlst_add(polygon->interiors, nlst_index(apart, i)) != 1) {
            // The rest of the holes that stood aside are lost with the list.
            for (uint32_t k = i; k < apart->tally; ++k) ktgeo_path_release(nlst_index(apart, k), nullptr);
            nlst_free(apart);
            return qd_te_no_memory();
        }
    }
    nlst_free(apart);
    return ok;
}
