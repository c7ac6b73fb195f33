// Helpers the surface output files share: a boundary walk's step list and
// one output geometry with its parents, released on every path.
#pragma once

#include "geometry/ktgeo_pack.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_poly_output.h"

namespace te_poly {

struct Steps {
    nlst* list = nlst_alloc(sizeof(TePolyStep), 16, 16, nullptr);
    Steps() = default;
    Steps(const Steps&) = delete;
    Steps& operator=(const Steps&) = delete;
    ~Steps() {
        if (list) nlst_free(list);
    }
    uint32_t size() const { return list ? list->tally : 0; }
    const TePolyStep& operator[](uint32_t i) const { return static_cast<const TePolyStep*>(list->data)[i]; }
};

// The polygon's side of a chain: left (1) unless the polygon is its right polygon.
inline int32_t poly_side(const TeChain* c, const TePolygon* p) { return c->poly_right == p->id ? 0 : 1; }

// An owned parent list.
struct Parents {
    nlst* list = nullptr;
    Parents() = default;
    Parents(const Parents&) = delete;
    Parents& operator=(const Parents&) = delete;
    ~Parents() {
        if (list) nlst_free(list);
    }
    uint32_t size() const { return list ? list->tally : 0; }
    const TeParent& first() const { return *static_cast<const TeParent*>(list->data); }
    void clear() {
        if (list) list->tally = 0;
    }
};

// A bit set over rows, released on every path.
struct Bits {
    TeBitArray a{};
    Bits() = default;
    Bits(const Bits&) = delete;
    Bits& operator=(const Bits&) = delete;
    ~Bits() { qd_te_ba_free(&a); }
};

// One output geometry: an object in the output coordinate system filled
// polygon by polygon, and the parents of its polygons.
struct Delivery {
    SpatialObject object;
    nlst* parents = nullptr;
    TeRules* rules;
    explicit Delivery(TeRules* r) : rules(r) { reset(); }
    Delivery(const Delivery&) = delete;
    Delivery& operator=(const Delivery&) = delete;
    ~Delivery() {
        ktgeo_so_release(&object);
        if (parents) nlst_free(parents);
    }
    void reset() {
        qd_te_so_reset(&object, rules->output_csid);
        object.flag = 0;
    }
    bool empty() const { return !object.primitives || object.primitives->tally == 0; }
    // The polygon's parents are merged among themselves here and with the
    // other polygons' once, when the geometry is handed over.
    int add(TePolygon* p, nlst* polygons, nlst* chains) {
        nlst* own = nullptr;
        int ok = qd_te_output_surfaces(rules, p, &object, polygons, chains, &own);
        if (ok && own && own->tally) ok = qd_te_parents_append(&parents, own);
        if (own) nlst_free(own);
        return ok;
    }
    // Hands the geometry over (nothing for an empty one) and starts afresh.
    int deliver(bool by_dissolve = false) {
        int ok = 1;
        if (!empty()) {
            if (parents && !qd_te_parents_merge_duplicates(parents)) ok = 0;
            if (ok) ok = by_dissolve ? qd_te_assembly_by_dissolve_method(&object, parents, rules)
                                     : qd_te_assembly_method(&object, parents, rules->output_split,
                                                             &rules->output_method);
            ok = ok == 1;
            if (ok) ++rules->statistics.output_counters.count[TE_OUT_OBJECTS];
        }
        ktgeo_so_release(&object);
        reset();
        if (parents) parents->tally = 0;
        return ok;
    }
};

inline int heartbeat(TeRules* rules) { return qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method) ? 1 : 0; }

}  // namespace te_poly
