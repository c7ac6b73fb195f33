// Output assembly: each result geometry is finished, its parents ordered
// by frequency, and it is cut into output objects by the run's
// output_split before the output method sees it; and the primitive count
// of a geometry by type.
#include <algorithm>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_func_assembly.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_parents.h"

namespace {

int count_one(void* element, void* counts_address) {
    auto* p = static_cast<GeometricPrimitive*>(element);
    auto* c = static_cast<TePrimitiveCounts*>(counts_address);
    switch (p->type) {
    case KTGEO_POLYGON: ++c->polygons; break;
    case KTGEO_PATH: ++c->paths; break;
    case KTGEO_CURVE: ++c->curves; break;
    case KTGEO_POINT: ++c->points; break;
    default: return 1;
    }
    ++c->total;
    return 1;
}

// A piece: the result's header with its own primitive list.
SpatialObject empty_piece(const SpatialObject& from) {
    SpatialObject piece = from;
    piece.primitives = nullptr;
    return piece;
}

int close_piece(SpatialObject* piece, nlst* pieces) {
    if (!piece->primitives || piece->primitives->tally == 0) return 1;
    ktgeo_so_complete(piece);
    if (!nlst_add(pieces, piece)) return 0;
    piece->primitives = nullptr;
    return 1;
}

void release_pieces(nlst* pieces, uint32_t from) {
    for (uint32_t i = from; i < pieces->tally; ++i)
        ktgeo_so_release(static_cast<SpatialObject*>(nlst_index(pieces, i)));
}

}  // namespace

int qd_te_count_primitive_types(const SpatialObject* object, TePrimitiveCounts* counts) {
    if (!object || !counts) return qd_te_missing("qd_te_count_primitive_types");
    *counts = {};
    if (!object->primitives) return 1;
    return nlst_exec(object->primitives, count_one, counts);
}

int qd_te_assembly_check_mixture(int* refused, SpatialObject* geometry, int32_t output_split,
                                 nlst** pieces) {
    if (!refused || !geometry || !pieces) return qd_te_missing("qd_te_assembly_check_mixture");
    *refused = 0;
    if (output_split == 0 || !geometry->primitives || geometry->primitives->tally == 0) return 1;
    TePrimitiveCounts n;
    if (!qd_te_count_primitive_types(geometry, &n)) return 0;
    const bool lines = n.curves + n.paths > 0;
    const bool mixed = (n.points > 0 && (lines || n.polygons > 0)) || (n.polygons > 0 && lines);
    // Points alone are one object with 1, each point alone with 2.
    const bool points_only = n.points > 0 && n.points == n.total;
    if (output_split == 1) {
        if (!mixed) return 1;
        *refused = 1;
        QD_FAIL("UKT1M", "function%s", "<Mixture of types not allowed - Output object skipped>",
                nullptr);
        return 1;
    }
    if (output_split != 3 && !mixed && !(points_only && n.points > 1)) return 1;
    // Primitives in type order (points, curves, paths, polygons), kept
    // stable; they move into the pieces.
    auto* prims = static_cast<GeometricPrimitive*>(geometry->primitives->data);
    std::stable_sort(prims, prims + geometry->primitives->tally,
                     [](const GeometricPrimitive& a, const GeometricPrimitive& b) { return a.type < b.type; });
    if (!*pieces && !(*pieces = nlst_alloc(sizeof(SpatialObject), n.total + 1, 4, nullptr))) return 0;
    SpatialObject work = empty_piece(*geometry);
    int ok = 1;
    int32_t previous = -1;
    for (uint32_t i = 0; ok && i < geometry->primitives->tally; ++i) {
        const GeometricPrimitive& p = prims[i];
        const bool alone = output_split == 3 || p.type == KTGEO_POINT;
        if (alone || p.type != previous) ok = close_piece(&work, *pieces);
        if (ok && !work.primitives) ok = (work.primitives = ktgeo_primitive_list_new(nullptr)) != nullptr;
        if (ok) ok = nlst_add(work.primitives, &p) ? 1 : 0;
        if (ok && alone) ok = close_piece(&work, *pieces);
        previous = p.type;
    }
    if (ok) ok = close_piece(&work, *pieces);
    if (!ok) {
        // Every primitive stays with the result: the pieces' lists go.
        if (work.primitives) nlst_free(work.primitives);
        for (uint32_t i = 0; i < (*pieces)->tally; ++i)
            nlst_free(static_cast<SpatialObject*>(nlst_index(*pieces, i))->primitives);
        (*pieces)->tally = 0;
        return qd_te_no_memory();
    }
    // Every primitive now lives in a piece.
    geometry->primitives->tally = 0;
    return 1;
}

int qd_te_assembly_method(SpatialObject* geometry, nlst* parents, int32_t output_split,
                          TeOutputCallback* output_method) {
    if (!output_method || !geometry) return qd_te_missing("qd_te_assembly_method");
    if (!output_method->function) return 1;
    ktgeo_so_complete(geometry);
    if (!qd_te_parents_sort_frequency(parents)) return 0;
    int refused = 0;
    nlst* pieces = nullptr;
    if (!qd_te_assembly_check_mixture(&refused, geometry, output_split, &pieces)) {
        if (pieces) nlst_free(pieces);
        return 0;
    }
    int32_t answer = 1;
    if (refused) {
        answer = 1;
    } else if (pieces && pieces->tally > 0) {
        uint32_t i = 0;
        for (; i < pieces->tally; ++i) {
            auto* piece = static_cast<SpatialObject*>(nlst_index(pieces, i));
            answer = output_method->function(piece, parents, output_method->user);
            ktgeo_so_release(piece);
            if (answer != 1) {
                ++i;
                break;
            }
        }
        release_pieces(pieces, i);  // pieces never sent
        if (geometry->primitives) nlst_free(geometry->primitives);
        geometry->primitives = nullptr;
    } else {
        answer = output_method->function(geometry, parents, output_method->user);
    }
    if (pieces) nlst_free(pieces);
    return answer;
}

int qd_te_assembly_by_dissolve_method(SpatialObject* geometry, nlst* parents, TeRules* rules) {
    if (!geometry || !rules) return qd_te_missing("qd_te_assembly_by_dissolve_method");
    if (!geometry->primitives || geometry->primitives->tally == 0)
        return qd_te_assembly_method(geometry, parents, rules->output_split, &rules->output_method);
    ktgeo_so_complete(geometry);
    if (!qd_te_parents_sort_frequency(parents)) return 0;
    SpatialObject work;
    qd_te_so_reset(&work, geometry->csid);
    TeOutputGeom out;
    qd_te_func_abstract_set_output_geom(&out, &work, nullptr);
    TeRules nested;
    qd_te_rules_init(&nested);
    qd_te_func_abstract_set_rules(&nested, TE_DISSOLVE, &out, 0, 0);
    nested.secondary = rules->secondary;
    nested.drop_unclosed = rules->drop_unclosed;
    nested.output_csid = geometry->csid;
    nlst* inputs = nlst_alloc(sizeof(TePack), 1, 1, nullptr);
    if (!inputs) return qd_te_no_memory();
    TePack pack;
    qd_te_pack_init(&pack);
    pack.keys.parent = {1, 1, 0};
    pack.use_input = 1;
    pack.input = geometry;
    int ok = nlst_add(inputs, &pack) ? 1 : qd_te_no_memory();
    if (ok) ok = qd_te_func_abstract(inputs, &nested);
    if (ok) {
        ok = qd_te_assembly_method(&work, parents, rules->output_split, &rules->output_method) == 1;
        if (ok) ++rules->statistics.output_counters.count[0];
    } else {
        // A failed dissolve is not a dropped result: the error method
        // decides (the default one stops the run).
        ok = qd_te_error_method(-11, &rules->error_method);
    }
    ktgeo_so_release(&work);
    nlst_free(inputs);
    return ok ? 1 : 0;
}
