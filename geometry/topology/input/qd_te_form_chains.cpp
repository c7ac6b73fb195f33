// Geometry input: packs walked in order (or pruned by envelope for the
// cutting operations), geometry and primitive checks, dispatch to the
// encoder of the run's mode, the LOADER count and the ADJUST moves.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_output.h"

namespace {

int32_t dimension_of(int32_t type) {
    switch (type) {
    case KTGEO_POINT: return 1;
    case KTGEO_CURVE:
    case KTGEO_PATH: return 2;
    case KTGEO_POLYGON: return 3;
    default: return 0;
    }
}

bool output_accepts(int32_t output_dim, int32_t dim) {
    switch (output_dim) {
    case 0: return true;
    case 1: return dim == 1;
    case 2:
    case 3: return dim == 2 || dim == 3;
    default: return dim == 1;
    }
}

bool cutting(int32_t mode) { return mode == TE_SPLIT || mode == TE_ERASE_IN || mode == TE_ERASE_OUT; }
bool buffering(int32_t mode) {
    return mode == TE_BUFFER || mode == TE_BUFFER_SPLIT || mode == TE_BUFFER_OVERLAP;
}

// Counts one primitive: input counter 0 and the data extent.
void count_primitive(TeRules* rules, const GeometricPrimitive* p) {
    TeStatistics& s = rules->statistics;
    ++s.input_counters.count[0];
    GeoCoord mer[2] = {{s.data_extent[0], s.data_extent[1], s.data_extent[2]},
                       {s.data_extent[3], s.data_extent[4], s.data_extent[5]}};
    const GeoCoord env[2] = {p->env_min, p->env_max};
    qd_te_mer_union(mer, env);
    s.data_extent[0] = mer[0].x;
    s.data_extent[1] = mer[0].y;
    s.data_extent[3] = mer[1].x;
    s.data_extent[4] = mer[1].y;
}

void raise(int32_t* v, int32_t to) {
    if (*v < to) *v = to;
}

// The LOADER and ADJUST count of one primitive; flags set only by LOADER.
int count_by_type(TeEncoder* e, int32_t* status, const GeometricPrimitive* p, bool loader) {
    TeStatistics& s = e->rules->statistics;
    TeCounters& c = s.input_counters;
    switch (p->type) {
    case KTGEO_POINT:
        ++c.count[3];
        raise(&s.data_dim, 1);
        return 1;
    case KTGEO_CURVE: {
        const GeoCurve& curve = p->geom.curve;
        int32_t counter = -1;
        switch (curve.curve_type) {
        case KTGEO_POLYLINE: counter = 4; break;
        case KTGEO_CIRCULAR_ARC: counter = curve.closed ? 7 : 6; break;
        case KTGEO_BEZIER:
        case KTGEO_KT_CURVE: counter = 8; break;
        default: break;
        }
        if (counter < 0) {
            if (loader) *status = TE_STATUS_BAD_TYPE;
            return 1;
        }
        if (loader) qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_L);
        raise(&s.data_dim, 2);
        ++c.count[counter];
        return 1;
    }
    case KTGEO_PATH:
        if (loader) qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_L);
        raise(&s.data_dim, 2);
        ++c.count[5];
        return 1;
    case KTGEO_POLYGON:
        if (loader) qd_te_parent_set_flag(&e->keys.parent, TE_PARENT_P);
        raise(&s.data_dim, 3);
        ++c.count[9];
        return 1;
    default:
        *status = TE_STATUS_BAD_TYPE;
        return 1;
    }
}

const GeometricPrimitive* primitive_at(const SpatialObject* g, uint32_t i) {
    return static_cast<const GeometricPrimitive*>(nlst_index(g->primitives, i));
}

// Owns a working copy of a geometry when one is made.
struct WorkCopy {
    SpatialObject copy;
    bool owned = false;
    ~WorkCopy() {
        if (owned) ktgeo_so_release(&copy);
    }
};

struct PruneEntry {
    TePack* pack;
    uint32_t pack_row;
    const GeometricPrimitive* primitive;
    int32_t flag;
};

}  // namespace

int qd_te_encode_init(TeRules* rules, const TeKeys* keys, TeEncoder* encoder) {
    if (!rules || !encoder) return qd_te_missing("qd_te_encode_init");
    encoder->rules = rules;
    if (keys) encoder->keys = *keys;
    else qd_te_keys_init(&encoder->keys);
    encoder->parent_side = 2;
    encoder->cross_side = 4;
    encoder->feature_id = 0;
    encoder->region_chain = 1;
    encoder->no_seek = 0;
    encoder->ring_kind = 2;
    encoder->ring_pending = 0;
    encoder->boundary_segments = nullptr;
    encoder->chains = nullptr;
    return 1;
}

int qd_te_encode_free(TeEncoder* encoder) {
    if (!encoder) return qd_te_missing("qd_te_encode_free");
    if (encoder->boundary_segments) nlst_free(encoder->boundary_segments);
    encoder->boundary_segments = nullptr;
    qd_te_geo_chain_list_free(&encoder->chains);
    return 1;
}

int qd_te_encode_load_chains(void* chain, void* list_address) {
    auto* c = static_cast<TeChain*>(chain);
    auto* list = static_cast<nlst*>(list_address);
    if (c->discard != CHAIN_OK && c->discard != CHAIN_SENTINAL) return 1;
    if (!nlst_add(list, c)) return 0;
    qd_te_geo_chain_default(c);  // moved into the run's list
    return 1;
}

int qd_te_encode_check_geom(int* has_polygons, SpatialObject* geometry, int32_t* status,
                            TeRules* rules, int* all_points) {
    if (!has_polygons || !status || !rules || !all_points) return qd_te_missing("qd_te_encode_check_geom");
    *has_polygons = 0;
    if (!geometry) {
        *status = TE_STATUS_NULL;
        return 1;
    }
    TePrimitiveCounts n;
    if (!qd_te_count_primitive_types(geometry, &n)) return 0;
    if (n.total == 0) {
        *status = TE_STATUS_NO_PRIMITIVES;
        return 1;
    }
    *status = TE_STATUS_ACCEPTED;
    *has_polygons = n.polygons > 0;
    *all_points = n.points == n.total;
    ktgeo_so_complete(geometry);
    if (geometry->env_min.x <= KTGEO_UNSET && !ktgeo_so_compute_envelope(geometry)) return 0;
    if (geometry->env_min.x <= KTGEO_UNSET) {
        *status = TE_STATUS_NO_ENVELOPE;
        return 1;
    }
    const double* e = rules->work_extent;
    if (geometry->env_min.x > e[3] || geometry->env_max.x < e[0] || geometry->env_min.y > e[4] ||
        geometry->env_max.y < e[1]) {
        *status = TE_STATUS_OUTSIDE;
        return 1;
    }
    if (*has_polygons && qd_te_geo_dimension_accepts(3, rules->output_dim))
        ++rules->statistics.tallies[1];
    return 1;
}

int qd_te_encode_check_topology(TeRules* rules, int32_t* status, GeometricPrimitive* primitive,
                                int32_t key) {
    if (!rules || !status) return qd_te_missing("qd_te_encode_check_topology");
    if (!primitive) {
        *status = TE_STATUS_NULL;
        return 1;
    }
    *status = TE_STATUS_ACCEPTED;
    if (primitive->type < KTGEO_POINT || primitive->type > KTGEO_POLYGON) {
        *status = TE_STATUS_BAD_TYPE;
        return 1;
    }
    static const int32_t kAnyDimension[] = {1, 6, 7, 10, 14, 15, 17, 24, 35, 36, 37, 40, 41, 42, 43, 44};
    const int32_t dim = dimension_of(primitive->type);
    if (std::find(std::begin(kAnyDimension), std::end(kAnyDimension), rules->mode) ==
            std::end(kAnyDimension) &&
        !output_accepts(rules->output_dim, dim)) {
        *status = TE_STATUS_DIMENSION;
        return 1;
    }
    // A buffer offsets each ring of a polygon by itself, so a hole that
    // meets no other hole, with nothing to merge it with, goes to the buffer
    // as it came: its dissolve would only clean it, and take away the spikes
    // whose bands a negative width cuts out of the surface.
    const bool buffer = buffering(rules->mode) || rules->mode == TE_BUFFER_ALL;
    if (primitive->type == KTGEO_POLYGON && rules->dissolve_islands == 1 &&
        !(buffer ? qd_te_islands_dissolve_meeting(&primitive->geom.polygon, rules, status)
                 : qd_te_islands_dissolve(&primitive->geom.polygon, rules, status, nullptr)))
        return 0;
    if (*status == TE_STATUS_ACCEPTED)
        raise(key < 0 ? &rules->statistics.target_dim : &rules->statistics.operand_dim, dim);
    return 1;
}

int qd_te_encode_check_cutter(TeRules* rules, const GeometricPrimitive* primitive, int32_t* status,
                              const TeKeys* keys) {
    if (!rules || !primitive || !status || !keys) return qd_te_missing("qd_te_encode_check_cutter");
    if (keys->key < 0) return 1;
    if (primitive->type < KTGEO_POINT || primitive->type > KTGEO_POLYGON) *status = TE_STATUS_BAD_TYPE;
    else if (cutting(rules->mode) &&
             !(primitive->type == KTGEO_POLYGON && primitive->geom.polygon.valid == 1))
        *status = TE_STATUS_BAD_CUTTER;
    return 1;
}

int qd_te_adjust_vertex(double tolerance, GeoCoord* coord, const nlst* adjust_list) {
    if (!coord) return qd_te_missing("qd_te_adjust_vertex");
    const TeAdjustPair* found = qd_te_adjust_pair_find(adjust_list, coord, tolerance);
    if (found) *coord = found->target;
    return 1;
}

int qd_te_adjust_vertices(nlst* coords, double tolerance, const nlst* adjust_list) {
    if (!coords) return 1;
    for (uint32_t i = 0; i < coords->tally; ++i)
        if (!qd_te_adjust_vertex(tolerance, static_cast<GeoCoord*>(nlst_index(coords, i)), adjust_list))
            return 0;
    return 1;
}

int qd_te_encode_adjust_update_curve(double tolerance, const nlst* adjust_list, GeoCurve* curve) {
    if (!curve) return qd_te_missing("qd_te_encode_adjust_update_curve");
    if (!curve->coords || curve->coords->tally == 0) return 1;
    switch (curve->curve_type) {
    case KTGEO_POLYLINE:
    case KTGEO_BEZIER:
    case KTGEO_KT_CURVE:
        return qd_te_adjust_vertices(curve->coords, tolerance, adjust_list);
    case KTGEO_CIRCULAR_ARC: {
        auto* first = static_cast<GeoCoord*>(nlst_index(curve->coords, 0));
        if (!qd_te_adjust_vertex(tolerance, first, adjust_list)) return 0;
        if (curve->closed) return 1;
        return qd_te_adjust_vertex(tolerance,
                                   static_cast<GeoCoord*>(nlst_index(curve->coords, curve->coords->tally - 1)),
                                   adjust_list);
    }
    default:
        return 1;
    }
}

int qd_te_encode_adjust_update_path(GeoPath* path, double tolerance, const nlst* adjust_list) {
    if (!path) return qd_te_missing("qd_te_encode_adjust_update_path");
    if (!path->curves) return 1;
    for (uint32_t i = 0; i < path->curves->tally; ++i)
        if (!qd_te_encode_adjust_update_curve(tolerance, adjust_list,
                                              static_cast<GeoCurve*>(nlst_index(path->curves, i))))
            return 0;
    return 1;
}

int qd_te_encode_adjust_update_polygon(GeoPolygon* polygon, double tolerance, const nlst* adjust_list) {
    if (!polygon) return qd_te_missing("qd_te_encode_adjust_update_polygon");
    if (!qd_te_encode_adjust_update_path(&polygon->exterior, tolerance, adjust_list)) return 0;
    if (!polygon->interiors) return 1;
    for (uint32_t i = 0; i < polygon->interiors->tally; ++i)
        if (!qd_te_encode_adjust_update_path(static_cast<GeoPath*>(nlst_index(polygon->interiors, i)),
                                             tolerance, adjust_list))
            return 0;
    return 1;
}

int qd_te_encode_feature_loader(TeEncoder* encoder, int32_t* status, GeometricPrimitive* primitive) {
    if (!encoder || !status || !primitive) return qd_te_missing("qd_te_encode_feature_loader");
    return count_by_type(encoder, status, primitive, true);
}

int qd_te_encode_feature_adjust(int32_t* status, const nlst* adjust_list, TeEncoder* encoder,
                                GeometricPrimitive* primitive) {
    if (!status || !encoder || !primitive) return qd_te_missing("qd_te_encode_feature_adjust");
    if (!count_by_type(encoder, status, primitive, false) || *status != TE_STATUS_ACCEPTED) return 1;
    if (!adjust_list || adjust_list->tally == 0) return 1;
    const double tol = std::fmax(std::fabs(encoder->keys.tolerance.snap_outer), 1e-10);
    switch (primitive->type) {
    case KTGEO_POINT: return qd_te_adjust_vertex(tol, &primitive->geom.point.coord, adjust_list);
    case KTGEO_CURVE: return qd_te_encode_adjust_update_curve(tol, adjust_list, &primitive->geom.curve);
    case KTGEO_PATH: return qd_te_encode_adjust_update_path(&primitive->geom.path, tol, adjust_list);
    case KTGEO_POLYGON: return qd_te_encode_adjust_update_polygon(&primitive->geom.polygon, tol, adjust_list);
    default: return 1;
    }
}

int qd_te_encode_feature(TeRules* rules, GeometricPrimitive* primitive, TeKeys* keys, nlst* chains,
                         nlst* adjust_list, int32_t* status) {
    if (!rules || !primitive || !keys || !chains || !status) return qd_te_missing("qd_te_encode_feature");
    if (!qd_te_encode_check_cutter(rules, primitive, status, keys) || *status != TE_STATUS_ACCEPTED)
        return *status == TE_STATUS_ACCEPTED ? 0 : 1;
    TeEncoder e;
    qd_te_encode_init(rules, keys, &e);
    const int32_t mode = rules->mode;
    int ok;
    if (buffering(mode)) {
        ok = qd_te_encode_feature_buffer(status, &e, primitive);
    } else if (mode == TE_INTERSECT_NODES || mode == TE_CONVEX_HULL || mode == TE_DISTANCE) {
        ok = qd_te_encode_feature_expended(status, &e, primitive);
    } else if (mode == TE_BOUNDARY) {
        e.feature_id = rules->statistics.tallies[1];
        ok = qd_te_encode_feature_boundary(status, &e, primitive);
    } else if (mode == TE_RELATE && keys->key >= 0) {
        ok = qd_te_encode_feature_boundary(status, &e, primitive);
    } else if (mode == TE_LOADER) {
        count_primitive(rules, primitive);
        ok = qd_te_encode_feature_loader(&e, status, primitive);
    } else if (mode == TE_ADJUST) {
        count_primitive(rules, primitive);
        ok = qd_te_encode_feature_adjust(status, adjust_list, &e, primitive);
    } else {
        if (cutting(mode) && keys->key < 0) e.cross_side = 3;
        ok = qd_te_encode_feature_primitive(primitive, &e, status, rules);
    }
    // The count and flags of the LOADER reach the caller's keys.
    if (mode == TE_LOADER) keys->parent = e.keys.parent;
    if (ok && *status == TE_STATUS_ACCEPTED && e.chains && e.chains->tally > 0) {
        nlst_set_inc(chains, std::max<uint32_t>(e.chains->tally / 2, 1));
        ok = nlst_exec(e.chains, qd_te_encode_load_chains, chains) ? 1 : 0;
        nlst_set_inc(chains, 1);
        if (ok) count_primitive(rules, primitive);
    }
    qd_te_encode_free(&e);
    return ok;
}

int qd_te_chains_from_geometry(SpatialObject* geometry, TeRules* rules, TeKeys* keys, nlst* chains,
                               nlst* adjust_list, const TeClip* clip, int32_t* status) {
    if (!rules || !keys || !chains || !status) return qd_te_missing("qd_te_chains_from_geometry");
    if (!qd_te_stage_event(rules, chains, TE_EVENT_HEARTBEAT)) return 0;
    int has_polygons = 0, all_points = 0;
    if (!qd_te_encode_check_geom(&has_polygons, geometry, status, rules, &all_points)) return 0;
    if (*status != TE_STATUS_ACCEPTED) return 1;
    keys->parent.packed = 0;
    const int32_t mode = rules->mode;
    if (mode == TE_ADJUST && adjust_list && adjust_list->tally > 0)
        nlst_sort(adjust_list, qd_te_adjust_pair_compare);
    // No run changes its caller's geometries: LOADER and ADJUST work on a
    // copy as the clipping and islands runs do.
    WorkCopy work;
    SpatialObject* g = geometry;
    const bool clipped = clip && clip->clip && clip->mode != 0;
    if (mode == TE_ADJUST || mode == TE_LOADER || clipped || (rules->dissolve_islands == 1 && has_polygons)) {
        // A deep copy primitive by primitive (the header as it stands).
        work.copy = *geometry;
        work.copy.primitives = nullptr;
        work.owned = true;
        for (uint32_t i = 0; geometry->primitives && i < geometry->primitives->tally; ++i)
            if (!ktgeo_util_append_primitive_to_list(primitive_at(geometry, i), &work.copy)) return 0;
        g = &work.copy;
        if (clipped && !qd_te_encode_clipping(rules, g, clip)) return 0;
    }
    if (!qd_te_tol_vect_verify(&keys->tolerance, rules, 1)) return 0;
    TeBufferWidth saved_width = rules->buffer.width;
    const bool own_width = buffering(mode) && rules->per_input_buffer == 1 && keys->width.own_width == 1;
    nlst* parents = nullptr;
    nlst* private_chains = nullptr;
    auto finish = [&](int answer) {
        if (own_width) rules->buffer.width = saved_width;
        qd_te_geo_chain_list_free(&private_chains);
        if (parents) nlst_free(parents);
        return answer;
    };
    if (buffering(mode)) {
        if (own_width) rules->buffer.width = keys->width;
        if (!qd_te_buffer_verify(&rules->buffer, rules->tolerance.tolerance)) {
            qd_te_error_method(-43, &rules->error_method);
            return finish(0);
        }
    }
    if (mode == TE_DISTANCE || mode == TE_BOUNDARY) ++rules->statistics.tallies[1];
    const bool operand = keys->key >= 0;
    int ok = 1;
    int32_t encoded = 0;
    const uint32_t n = g->primitives ? g->primitives->tally : 0;
    for (uint32_t i = 0; ok && *status == TE_STATUS_ACCEPTED && i < n; ++i) {
        qd_te_geo_chain_list_free(&private_chains);
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(g->primitives, i));
        const bool own_list = buffering(mode) || (mode == TE_RELATE && operand);
        if (own_list && !qd_te_geo_chain_list_create(&private_chains, 10)) return finish(0);
        int keep = 1;
        if (!qd_te_filter_primitive(p, &keys->filter, &keep)) return finish(0);
        if (!keep) {
            ++rules->statistics.input_counters.count[13];
            continue;
        }
        int32_t pstatus = TE_STATUS_ACCEPTED;
        ok = qd_te_encode_check_topology(rules, &pstatus, p, keys->key);
        if (ok && pstatus == TE_STATUS_ACCEPTED)
            ok = qd_te_encode_feature(rules, p, keys, own_list ? private_chains : chains, adjust_list, &pstatus);
        if (!ok) break;
        if (pstatus != TE_STATUS_ACCEPTED) {
            if (qd_te_error_method(pstatus, &rules->error_method) == 0) *status = pstatus;
            continue;
        }
        ++encoded;
        if (mode == TE_BUFFER) ok = qd_te_buffer_output_geom(status, rules, keys, private_chains, chains, all_points);
        else if (mode == TE_BUFFER_SPLIT)
            ok = qd_te_buffer_output_geom(status, rules, keys, private_chains, chains, n >= 2 ? all_points : 0);
        else if (mode == TE_BUFFER_OVERLAP) ok = qd_te_buffer_output_geom(status, rules, keys, private_chains, chains, 0);
        else if (mode == TE_RELATE && operand) ok = qd_te_boundary_output_geom(rules, private_chains, keys, chains, status);
    }
    if (ok && *status == TE_STATUS_ACCEPTED && encoded > 0) {
        ++rules->statistics.tallies[3];
        ++rules->statistics.input_counters.count[operand ? 2 : 1];
        if (mode == TE_BUFFER_SPLIT) ok = qd_te_buffer_output(rules, chains);
        if (ok && (mode == TE_LOADER || mode == TE_ADJUST)) {
            if (!qd_te_append_item_to_list(&parents, &keys->parent, sizeof(TeParent))) return finish(0);
            ok = qd_te_assembly_method(g, parents, rules->output_split, &rules->output_method) == 1;
            if (ok) ++rules->statistics.output_counters.count[0];
        }
    }
    return finish(ok);
}

int qd_te_chains_from_object_list(nlst* packs, TeRules* rules, nlst* chains) {
    if (!rules || !chains) return qd_te_missing("qd_te_chains_from_object_list");
    if (!packs) return 1;
    int32_t status = 1;
    int ok = 1;
    for (uint32_t i = 0; ok && i < packs->tally; ++i) {
        auto* pack = static_cast<TePack*>(nlst_index(packs, i));
        SpatialObject* g = pack->use_input ? pack->input : &pack->work;
        status = 1;
        ok = qd_te_chains_from_geometry(g, rules, &pack->keys, chains, pack->adjust_list, &pack->clip, &status);
        if (pack->pack_flag == 1 && g) ktgeo_so_release(g);
    }
    return ok;
}

int qd_te_chains_from_object_list_prune(nlst* packs, TeRules* rules, nlst* chains) {
    if (!packs || !rules || !chains) return qd_te_missing("qd_te_chains_from_object_list_prune");
    const int32_t mode = rules->mode;
    if (!(cutting(mode) || mode == TE_OVERLAY_NODES)) return 0;
    std::vector<SpatialObject> shadows(packs->tally);
    std::vector<PruneEntry> entries;
    for (uint32_t i = 0; i < packs->tally; ++i) {
        auto* pack = static_cast<TePack*>(nlst_index(packs, i));
        SpatialObject* g = pack->use_input ? pack->input : &pack->work;
        if (g) {
            shadows[i] = *g;
            ktgeo_so_complete(g);
            for (uint32_t k = 0; g->primitives && k < g->primitives->tally; ++k)
                entries.push_back({pack, i, primitive_at(g, k), 0});
        } else {
            ktgeo_so_init_empty(&shadows[i]);
        }
        shadows[i].primitives = nullptr;
    }
    std::stable_sort(entries.begin(), entries.end(), [](const PruneEntry& a, const PruneEntry& b) {
        const GeometricPrimitive &p = *a.primitive, &q = *b.primitive;
        if (p.env_min.x != q.env_min.x) return p.env_min.x < q.env_min.x;
        if (p.env_min.y != q.env_min.y) return p.env_min.y < q.env_min.y;
        if (p.env_max.x != q.env_max.x) return p.env_max.x > q.env_max.x;
        return p.env_max.y > q.env_max.y;
    });
    for (size_t i = 0; i < entries.size(); ++i) {
        const GeometricPrimitive& a = *entries[i].primitive;
        for (size_t j = i + 1; j < entries.size(); ++j) {
            const GeometricPrimitive& b = *entries[j].primitive;
            if (b.env_min.x > a.env_max.x) break;
            if (!(b.env_min.x <= a.env_max.x && a.env_min.x <= b.env_max.x && a.env_min.y <= b.env_max.y &&
                  a.env_max.y >= b.env_min.y))
                continue;
            const bool ka = entries[i].pack->keys.key >= 0, kb = entries[j].pack->keys.key >= 0;
            if (ka == kb) continue;
            if (mode == TE_ERASE_OUT) {
                entries[i].flag = entries[j].flag = 1;
            } else {
                (ka ? entries[i] : entries[j]).flag = 1;
            }
        }
    }
    int ok = 1;
    for (const PruneEntry& e : entries) {
        const bool target = e.pack->keys.key < 0;
        const bool keep = mode == TE_ERASE_OUT ? e.flag == 1 : (target || e.flag == 1);
        if (keep && !ktgeo_util_append_primitive_to_list(e.primitive, &shadows[e.pack_row])) ok = 0;
    }
    int32_t status = 1;
    for (uint32_t i = 0; ok && i < packs->tally; ++i) {
        auto* pack = static_cast<TePack*>(nlst_index(packs, i));
        status = 1;
        if (shadows[i].primitives)
            ok = qd_te_chains_from_geometry(&shadows[i], rules, &pack->keys, chains, pack->adjust_list,
                                            &pack->clip, &status);
    }
    for (uint32_t i = 0; i < packs->tally; ++i) {
        auto* pack = static_cast<TePack*>(nlst_index(packs, i));
        SpatialObject* g = pack->use_input ? pack->input : &pack->work;
        if (pack->pack_flag == 1 && g) ktgeo_so_release(g);
        if (shadows[i].primitives) ktgeo_so_release(&shadows[i]);
    }
    return ok;
}
