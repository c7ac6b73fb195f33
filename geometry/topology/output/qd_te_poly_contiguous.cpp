// Merging builds: connected groups of polygons as one geometry, the inner
// edges of groups deleted and the engine run again with a derived mode
// (dissolve and buffers), the second buffer stage that encodes its own
// union and buffers it again, and the re-run that rebuilds a polygon made
// invalid by its spikes.
#include <deque>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/output/qd_te_poly_internal.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_parents.h"

using te_poly::Bits;
using te_poly::Delivery;
using te_poly::heartbeat;
using te_poly::Steps;

namespace {

bool merges_edges(int32_t mode) {
    return mode == TE_DISSOLVE || mode == TE_BUFFER || mode == TE_BUFFER_ALL || mode == TE_BUFFER_SPLIT;
}

// The mode of the re-run after inner edges are deleted, and whether it
// gives surfaces; -1 when nothing runs.
int32_t derived_mode(int32_t dim, int32_t mode, bool* surface) {
    *surface = true;
    switch (dim) {
    case TE_DIM_NODE:
        switch (mode) {
        case TE_BUFFER: case TE_BUFFER_SPLIT: return TE_ALL_PRESERVE;
        case TE_BUFFER_ALL: return TE_SURFACE_22;
        case TE_BUFFER_OVERLAP: return TE_DISSOLVE;
        default: return -1;
        }
    case TE_DIM_LINEAR:
        switch (mode) {
        case TE_BUFFER: *surface = false; return TE_PRESERVE;
        case TE_BUFFER_ALL: return TE_SURFACE_22;
        case TE_BUFFER_SPLIT: return TE_ALL_PRESERVE;
        case TE_BUFFER_OVERLAP: return TE_DISSOLVE;
        default: *surface = false; return TE_SINGLE;
        }
    default:
        switch (mode) {
        case TE_DISSOLVE: case TE_BUFFER: return TE_ALL_PRESERVE;
        case TE_BUFFER_ALL: return TE_SURFACE_22;
        case TE_BUFFER_SPLIT: return TE_PRESERVE;
        case TE_BUFFER_OVERLAP: return TE_DISSOLVE;
        default: return TE_SINGLE;
        }
    }
}

// Encodes a geometry into the chain list and runs the whole pipeline on a
// copy of the rules; any encoding status but success is a failure.
int encode_and_assemble(SpatialObject* object, TeKeys* keys, nlst* chains, TeNestedRules* nested) {
    int32_t status = 0;
    if (!qd_te_chains_from_geometry(object, &nested->copy, keys, chains, nullptr, nullptr, &status)) return 0;
    if (status != TE_STATUS_ACCEPTED) {
        qd_te_error_method(status, &nested->copy.error_method);
        return 0;
    }
    ktgeo_so_release(object);
    return qd_te_assemble_chains(chains, &nested->copy) == 1;
}

// Whether a side of a chain lies inside a polygon of the input.
bool polygon_side(const nlst* side) {
    for (uint32_t i = 0; side && i < side->tally; ++i)
        if (qd_te_parent_has_flag(static_cast<const TeParent*>(side->data) + i, TE_PARENT_P)) return true;
    return false;
}

// Whether a side of a chain carries a spike of a polygon's ring (S).
bool spike_side(const nlst* side) {
    for (uint32_t i = 0; side && i < side->tally; ++i)
        if (qd_te_parent_has_flag(static_cast<const TeParent*>(side->data) + i, TE_PARENT_S)) return true;
    return false;
}

// Whether a face lies inside an input polygon: a polygon parent on its
// side of one of its chains.
int polygon_face(const TePolygon* p, const nlst* chains, bool* inside) {
    *inside = false;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_build_buffer_all")) return 0;
    for (uint32_t i = 0; i < steps.size() && !*inside; ++i) {
        const TeChain* c = qd_te_chain_at(chains, steps[i].row);
        *inside = polygon_side(steps[i].side == 1 ? c->left_parent : c->right_parent);
    }
    return 1;
}

// Whether a chain runs along a hole of its own feature: every vertex lies on
// one of the feature's ISLAND rings (the spike of a hole, or a piece of it).
bool on_own_hole(const TeChain* c, const nlst* chains) {
    const double t = qd_te_overlay_tolerance(chains);
    const auto* v = static_cast<const TeVertex*>(c->coords->data);
    for (uint32_t i = 1; i < chains->tally; ++i) {
        const TeChain* r = qd_te_chain_at(chains, int32_t(i));
        if (r->chain_type != TE_ISLAND || (r->discard != CHAIN_OK && r->discard != CHAIN_REGION) ||
            r->chain_pid != c->chain_pid || !r->coords)
            continue;
        const auto* w = static_cast<const TeVertex*>(r->coords->data);
        bool all = true;
        for (uint32_t k = 0; all && k < c->coords->tally; ++k) {
            const GeoCoord p = {v[k].x, v[k].y, v[k].z};
            bool found = false;
            for (uint32_t j = 0; !found && j + 1 < r->coords->tally; ++j) {
                const GeoCoord a = {w[j].x, w[j].y, w[j].z}, b = {w[j + 1].x, w[j + 1].y, w[j + 1].z};
                found = qd_te_cogo_point_segment_distance(&a, &b, &p, nullptr) <= t;
            }
            all = found;
        }
        if (all) return true;
    }
    return false;
}

// Under BUFFER_ALL the faces of a group are not all polygons of the union:
// the loops of lines (closed or crossing themselves) are faces too, and a
// chain between two loops is a stretch of a line to be buffered, not an
// inner edge. A chain without a polygon parent on either side (a line, or
// a spike of a ring) is therefore judged by where it lies, not by how
// often it was walked: inside an input polygon (its points strictly inside
// one; a ring's own spike lies on its ring, and a hole's spike in its own
// polygon does not count) it goes, as the polygon's buffer covers its band;
// elsewhere it stays, the spike of a ring included
// (the buffer cuts it out of a negative one), but for the spike of a ring
// pointing outward under a negative width, which erodes nothing. *inner is
// left alone for the chains of polygons.
int bare_chain_inside_polygon(TeChain* c, const nlst* chains, const nlst* polygons, const TeRules* rules,
                              bool* inner) {
    if (c->chain_type == TE_NODE || c->discard != CHAIN_OK || polygon_side(c->left_parent) ||
        polygon_side(c->right_parent))
        return 1;
    const bool spike = spike_side(c->left_parent) || spike_side(c->right_parent);
    int code = 0;
    if (spike && on_own_hole(c, chains)) {
        // The spike of a hole lies in its own polygon's surface, which does
        // not cover its band under a negative width: only another polygon
        // does, a region containing it besides its own.
        nlst* pairs = nullptr;
        TeOverlayQuery q;
        qd_te_overlay_query_init(&q, 0, c);
        q.same_parent = 1;
        q.pairs = 1;
        q.pairs_list = &pairs;
        const int ok = qd_te_walk_chain_overlay_reg(&q, chains);
        int32_t containing = 0;
        for (uint32_t i = 0; ok && pairs && i < pairs->tally; ++i)
            containing += static_cast<const TeOverlayPair*>(pairs->data)[i].code == TE_LOC_INSIDE;
        if (pairs) nlst_free(pairs);
        if (!ok) return 0;
        code = containing >= 2 ? TE_LOC_INSIDE : TE_LOC_OUTSIDE;
    } else {
        code = qd_te_walk_overlay_point(0, c, nullptr, chains, 1, 0, 0, nullptr, nullptr, nullptr);
        if (code == 0) return 0;
    }
    *inner = code != TE_LOC_OUTSIDE;
    if (*inner || rules->buffer.width.width >= 0 || !spike) return 1;
    bool inward = false;
    for (const int32_t face : {c->poly_left, c->poly_right}) {
        if (face <= 0 || uint32_t(face) >= polygons->tally || inward) continue;
        if (!polygon_face(qd_te_poly_at(polygons, face), chains, &inward)) return 0;
    }
    *inner = !inward;
    return 1;
}

// The union goes on to the buffer in its own terms, whatever the caller's
// secondary aggregation and output dimension ask of the final output.
// A face that lies inside an input polygon (a polygon parent on its side
// of one of its chains) goes as a surface. A face with a dangle (a spike
// of a ring; the lines inside polygons are gone by now) was formed
// unclosed; it is still a closed area and goes as a polygon whose rings
// carry the spikes, which the buffer cuts out or covers as in a polygon
// given with them. The walk around lines (its parents the lines') goes as lines,
// dangles and all. (By the caller's rules a polygon with a dangle went out
// as lines and was buffered as a band, or was dropped, or lost its spikes
// before the buffer; the walk around lines could be dropped.)
int add_union_face(te_poly::Delivery* d, TePolygon* p, nlst* polygons, nlst* chains, TeRules* rules) {
    bool surface = false;
    if (!polygon_face(p, chains, &surface)) return 0;
    const int32_t secondary = rules->secondary, output_dim = rules->output_dim;
    if (surface) {
        rules->secondary = TE_NONE;
        rules->output_dim = TE_DIM_SURFACE;
        // The face and its islands count as closed (the polygon list is
        // emptied after the delivery).
        p->status = 1;
        const int32_t n = int32_t(polygons->tally);
        int32_t guard = n;
        for (int32_t i = p->island_list; i > 0 && i < n && guard-- > 0;
             i = qd_te_poly_at(polygons, i)->island_list)
            qd_te_poly_at(polygons, i)->status = 1;
    } else {
        rules->secondary = TE_LINEAR;
    }
    const int ok = d->add(p, polygons, chains);
    rules->secondary = secondary;
    rules->output_dim = output_dim;
    return ok;
}

}  // namespace

int qd_te_expand_chains(TeBitArray* visits, const TePolygon* p, const nlst* chains, const TeRules* rules) {
    if (!visits || !p || !chains || !rules) return qd_te_missing("qd_te_expand_chains");
    if (p->discard == 1) return 1;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_expand_chains")) return 0;
    const uint32_t n = chains->tally;
    // Under BUFFER_ALL an unclosed face (one with dangles) marks like any
    // other: its dangles are lines or spikes, judged by where they lie
    // (bare_chain_inside_polygon), and a polygon inside it must still lose
    // the edges it shares with it.
    const bool no_second = merges_edges(rules->mode) && rules->mode != TE_BUFFER_ALL && p->status == 0;
    for (uint32_t i = 0; i < steps.size(); ++i) {
        const uint32_t row = uint32_t(steps[i].row);
        if (qd_te_chain_at(chains, int32_t(row))->chain_id == -1) continue;
        if (!qd_te_ba_test(visits, row)) qd_te_ba_set(visits, row);
        else if (!no_second) qd_te_ba_set(visits, row + n);
    }
    return 1;
}

int qd_te_expand_chains_set(TeBitArray* visits, const TePolygon* p, nlst* polygons, const nlst* chains,
                            const TeRules* rules) {
    if (!visits || !p || !polygons || !chains || !rules) return qd_te_missing("qd_te_expand_chains_set");
    if (!qd_te_expand_chains(visits, p, chains, rules)) return 0;
    const int32_t n = int32_t(polygons->tally);
    int32_t guard = n;
    for (int32_t i = p->island_list; i > 0 && i < n && guard-- > 0; i = qd_te_poly_at(polygons, i)->island_list)
        if (!qd_te_expand_chains(visits, qd_te_poly_at(polygons, i), chains, rules)) return 0;
    return 1;
}

int qd_te_build_contiguous(nlst* polygons, nlst* chains, TeRules* rules) {
    if (!polygons || !chains || !rules) return qd_te_missing("qd_te_build_contiguous");
    if (polygons->tally < 2 || chains->tally < 2) return 1;
    const uint32_t np = polygons->tally, nc = chains->tally;
    Bits marked, visits;
    if (!qd_te_ba_alloc(&marked.a, np) || !qd_te_ba_alloc(&visits.a, 2 * nc)) return qd_te_no_memory();
    qd_te_ba_set(&marked.a, 1);
    qd_te_ba_set(&visits.a, 0);
    qd_te_ba_set(&visits.a, nc);
    const int32_t mode = rules->mode;
    std::vector<int32_t> queue;  // a stack: the front is the back
    std::deque<int32_t> group;
    Steps steps;
    if (!steps.list) return qd_te_no_memory();
    auto queue_if_free = [&](int32_t k) {
        if (k > 0 && uint32_t(k) < np && !qd_te_ba_test(&marked.a, uint32_t(k))) queue.push_back(k);
    };
    for (uint32_t i = 1; i < np; ++i) {
        if (qd_te_ba_test(&marked.a, i)) continue;
        if (!heartbeat(rules)) return 0;
        queue.assign(1, int32_t(i));
        group.clear();
        while (!queue.empty()) {
            const int32_t row = queue.back();
            queue.pop_back();
            if (qd_te_ba_test(&marked.a, uint32_t(row))) continue;
            qd_te_ba_set(&marked.a, uint32_t(row));
            TePolygon* p = qd_te_poly_at(polygons, row);
            if (p->discard == 1) continue;
            if (!qd_te_poly_boundary(p, chains, steps.list, "qd_te_expand")) return 0;
            for (uint32_t s = 0; s < steps.size(); ++s) {
                const TeChain* c = qd_te_chain_at(chains, steps[s].row);
                queue_if_free(c->poly_left);
                queue_if_free(c->poly_right);
            }
            if (p->area < 0) continue;
            group.push_front(row);
            int32_t guard = int32_t(np);
            for (int32_t k = p->island_list; k > 0 && uint32_t(k) < np && guard-- > 0;
                 k = qd_te_poly_at(polygons, k)->island_list)
                if (qd_te_poly_at(polygons, k)->discard != 1) queue_if_free(k);
        }
        if (mode == TE_CONTIGUOUS) {
            Delivery d(rules);
            for (int32_t row : group)
                if (!d.add(qd_te_poly_at(polygons, row), polygons, chains)) return 0;
            if (!d.deliver()) return 0;
            continue;
        }
        for (int32_t row : group)
            if (!qd_te_expand_chains_set(&visits.a, qd_te_poly_at(polygons, row), polygons, chains, rules)) return 0;
    }
    if (mode == TE_CONTIGUOUS) return 1;
    return qd_te_build_discard_chains(&visits.a, chains, polygons, rules);
}

int qd_te_build_discard_chains(TeBitArray* visits, nlst* chains, nlst* polygons, TeRules* rules) {
    if (!rules || !visits || !chains || !polygons) return qd_te_missing("qd_te_build_discard_chains");
    if (polygons->tally < 2 || chains->tally < 2) return 1;
    const uint32_t n = chains->tally;
    const int32_t mode = rules->mode;
    // Decided for every chain first: the BUFFER_ALL test walks faces, which
    // needs their chains still in place.
    std::vector<char> drop(n, 0);
    for (uint32_t i = 1; i < n; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        const bool both = qd_te_ba_test(visits, i) && qd_te_ba_test(visits, i + n);
        bool inner = merges_edges(mode) && both;
        if (mode == TE_BUFFER_ALL && i + 1 < n && !bare_chain_inside_polygon(c, chains, polygons, rules, &inner))
            return 0;
        drop[i] = i == n - 1 || inner || (mode == TE_BUFFER_OVERLAP && !both);
    }
    for (uint32_t i = 1; i < n; ++i)
        if (drop[i]) qd_te_chain_at(chains, int32_t(i))->discard = CHAIN_DELETE;
    qd_te_poly_release_cutter_lists(polygons);
    polygons->tally = 0;
    bool surface = true;
    const int32_t derived = derived_mode(rules->output_dim, mode, &surface);
    if (derived < 0) return 1;
    TeNestedRules nested;
    qd_te_nested_begin(&nested, rules);
    nested.copy.mode = derived;
    int ok = qd_te_leaving(chains, &nested.copy);
    if (ok) ok = surface ? qd_te_poly_ff(chains, &nested.copy, 1) : qd_te_linear_ff(chains, &nested.copy, 1);
    qd_te_nested_end(&nested);
    return ok ? 1 : 0;
}

int qd_te_build_buffer_all(nlst* chains, nlst* polygons, TeRules* rules) {
    if (!chains || !polygons || !rules) return qd_te_missing("qd_te_build_buffer_all");
    if (rules->mode != TE_SURFACE_22) {
        qd_te_error_method(-12, &rules->error_method);
        return 0;
    }
    Delivery d(rules);
    Bits walked;
    if (!qd_te_ba_alloc(&walked.a, 2 * chains->tally)) return qd_te_no_memory();
    for (uint32_t i = 1; i < polygons->tally; ++i) {
        TePolygon* p = qd_te_poly_at(polygons, int32_t(i));
        if (!qd_te_poly_eligible(p) || p->n_parents <= 0) continue;
        if (!heartbeat(rules)) return 0;
        if (!qd_te_expand_chains_set(&walked.a, p, polygons, chains, rules)) return 0;
        if (!add_union_face(&d, p, polygons, chains, rules)) return 0;
    }
    // A line that closes on itself, or the loop of a self-crossing line,
    // bounds a face whose parents are dropped with the line's own: those
    // chains are walked by no polygon delivered above and would be lost.
    // Every live chain of a line (no polygon parent on either side) that no
    // delivered polygon walked goes in as a curve, so each stretch of a
    // line is buffered once.
    for (uint32_t i = 1; i + 1 < chains->tally; ++i) {
        TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (c->chain_type == TE_NODE || c->discard != CHAIN_OK || c->chain_id == -1 ||
            qd_te_ba_test(&walked.a, i) || polygon_side(c->left_parent) || polygon_side(c->right_parent))
            continue;
        if (!qd_te_linear_chain_output(rules, c, &d.object, &d.parents)) return 0;
    }
    if (rules->statistics.input_counters.count[3] > 0)
        for (uint32_t i = 1; i < chains->tally; ++i) {
            TeChain* c = qd_te_chain_at(chains, int32_t(i));
            if (c->chain_type == TE_NODE && c->discard == CHAIN_OK &&
                !qd_te_output_nodes(c, &d.object, &d.parents, rules))
                return 0;
        }
    if (d.empty()) return 1;
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.tolerance = rules->tolerance;
    keys.key = -1;
    if (d.parents && d.parents->tally > 0) {
        if (!qd_te_parents_sort_frequency(d.parents)) return 0;
        const TeParent& first = *static_cast<const TeParent*>(d.parents->data);
        keys.parent = first;
    }
    qd_te_poly_release_cutter_lists(polygons);
    polygons->tally = 0;
    TeNestedRules nested;
    qd_te_nested_begin(&nested, rules);
    TeRules& copy = nested.copy;
    copy.output_dim = TE_DIM_ANY;
    copy.mode = TE_BUFFER;
    copy.secondary = TE_EXCURSION;
    qd_te_work_extent_init(&copy);
    qd_te_statistics_init(&copy.statistics);
    copy.event_method = {nullptr, nullptr};
    int ok = qd_te_geo_chain_list_reset(chains);
    if (ok) ok = encode_and_assemble(&d.object, &keys, chains, &nested);
    qd_te_nested_end(&nested);
    return ok ? 1 : 0;
}

int32_t qd_te_output_spike_surface(SpatialObject* delivered, nlst*, void* target) {
    auto* object = static_cast<SpatialObject*>(target);
    if (!delivered || !object) return qd_te_missing("qd_te_output_spike_surface");
    for (uint32_t i = 0; delivered->primitives && i < delivered->primitives->tally; ++i) {
        auto* p = static_cast<GeometricPrimitive*>(nlst_index(delivered->primitives, i));
        const int ok = p->type == KTGEO_POLYGON && p->geom.polygon.valid != 1
                           ? qd_te_output_polygon_as_linear(&p->geom.polygon, object)
                           : ktgeo_util_append_primitive_to_list(p, object);
        if (!ok) return 0;
    }
    return 1;
}

int qd_te_output_validate_spike_surface(GeoPolygon* polygon, SpatialObject* object, TeRules* rules) {
    if (!polygon || !object || !rules) return qd_te_missing("qd_te_output_validate_spike_surface");
    SpatialObject temp;
    qd_te_so_reset(&temp, rules->output_csid);
    struct Release {
        SpatialObject* o;
        ~Release() { ktgeo_so_release(o); }
    } release{&temp};
    GeoPolygon copy;
    ktgeo_polygon_init(&copy);
    if (!ktgeo_util_copy_object_polygon(polygon, &copy) || !ktgeo_util_add_new_polygon(&temp, &copy)) {
        ktgeo_polygon_release(&copy);
        return 0;
    }
    ktgeo_so_complete(&temp);
    GeoPolygon* single = ktgeo_single_polygon(&temp);
    if (temp.primitives && temp.primitives->tally == 1 && single && single->valid == 1)
        return ktgeo_util_append_primitive_to_list(static_cast<GeometricPrimitive*>(nlst_index(temp.primitives, 0)),
                                                   object);
    ktgeo_so_release(&temp);
    qd_te_so_reset(&temp, rules->output_csid);
    if (!qd_te_output_polygon_as_linear(polygon, &temp)) return 0;
    TeKeys keys;
    qd_te_keys_init(&keys);
    keys.tolerance = rules->tolerance;
    keys.key = -1;
    nlst* chains = nullptr;
    if (!qd_te_geo_chain_list_create(&chains, 10)) return 0;
    TeNestedRules nested;
    qd_te_nested_begin(&nested, rules);
    TeRules& c = nested.copy;
    c.mode = TE_ALL;
    c.secondary = TE_EXCURSION;
    c.output_split = 0;
    c.islands = 1;
    c.dissolve_drop = 0;
    c.eafs_method = {nullptr, nullptr};
    c.event_method = {nullptr, nullptr};
    c.output_method = {qd_te_output_spike_surface, object};
    const int ok = encode_and_assemble(&temp, &keys, chains, &nested);
    qd_te_nested_end(&nested);
    qd_te_geo_chain_list_free(&chains);
    return ok ? 1 : 0;
}
