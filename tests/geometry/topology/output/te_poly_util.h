// Hand-built face graphs for the surface output tests: chains with their
// walk links and polygon records as the face walk leaves them, rules that
// record every output object (its text, flag and parents) and every error
// code, and one normaliser for comparing results.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "geometry/ktgeo_pack.h"
#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_util.h"
#include "tools/topo_run/topo_wkt.h"

namespace tepoly {

using tetest::Q;

struct Graph {
    tetest::Chains chains;
    nlst* polygons = nlst_alloc(sizeof(TePolygon), 8, 8, nullptr);
    Graph() {
        // Polygons 0, 1 (everything) and 2 (outside), as the walk makes them.
        for (double area : {1.0, 1.7976931348623157e308, -1.7976931348623157e308}) {
            TePolygon p;
            qd_te_poly_init(polygons, &p);
            p.status = 0;
            p.discard = 1;
            p.area = area;
            nlst_add(polygons, &p);
        }
    }
    ~Graph() { qd_te_poly_list_free(&polygons); }
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    int32_t Chain(int32_t type, std::initializer_list<GeoCoord> pts) {
        TeChain c = tetest::Chain(type, pts);
        c.chain_id = chains.Count();
        c.discard = CHAIN_OK;
        return chains.Add(c);
    }
    TeChain* C(int32_t row) const { return chains.At(row); }
    TePolygon* P(int32_t id) const { return qd_te_poly_at(polygons, id); }

    // A face walked along signed steps (+c: the face on c's left, -c: on
    // its right), with its record; answers its number.
    int32_t Face(std::vector<int32_t> steps, double area, int32_t status = 1) {
        const int32_t id = int32_t(polygons->tally);
        const size_t n = steps.size();
        for (size_t k = 0; k < n; ++k) {
            const int32_t s = steps[k], next = steps[(k + 1) % n];
            TeChain* c = C(s > 0 ? s : -s);
            if (s > 0) {
                c->poly_left = id;
                c->left_link = next;
            } else {
                c->poly_right = id;
                c->right_link = next;
            }
        }
        TePolygon p;
        qd_te_poly_init(polygons, &p);
        p.start_chain = steps[0] > 0 ? steps[0] : -steps[0];
        p.area = area;
        p.status = status;
        p.count = int32_t(n);
        p.inside = area < 0 ? 1 : 0;
        nlst_add(polygons, &p);
        return id;
    }
    // Links island into container's island list (at its front).
    void Island(int32_t container, int32_t island) {
        P(island)->inside = container;
        P(island)->island_list = P(container)->island_list;
        P(container)->island_list = island;
    }
    // A parent (1, id) of the given frequency on a chain side (1 left, 0 right).
    void Parent(int32_t chain, int32_t side, int32_t id, int32_t frequency = 1) {
        nlst* l = nlst_alloc(sizeof(TeParent), 1, 1, nullptr);
        const TeParent p{1, id, frequency << 3 | TE_PARENT_P};
        nlst_add(l, &p);
        qd_te_insert_parents(C(chain), l, side, 1);
        nlst_free(l);
    }
    // A clockwise closed ring as one PATH chain: its bounded face (right
    // side) with the parent on that side, and its outside as an island of
    // polygon 1. Answers the bounded face.
    int32_t Ring(std::initializer_list<GeoCoord> pts, int32_t parent, double area) {
        const int32_t c = Chain(TE_PATH, pts);
        const int32_t face = Face({-c}, area);
        const int32_t outside = Face({c}, -area);
        Island(1, outside);
        if (parent > 0) {
            Parent(c, 0, parent);
            P(face)->n_parents = 1;
        }
        return face;
    }
};

// One delivered object.
struct Delivered {
    std::string text;
    int32_t flag;
    std::vector<int32_t> parents;  // id_b of each parent, in the order given
    std::vector<int32_t> types;    // primitive types
};

struct Recorder {
    std::vector<Delivered> out;
    std::vector<int32_t> errors;
    static int32_t Output(SpatialObject* o, nlst* parents, void* self) {
        Delivered d{topo_wkt_write(o), o->flag, {}, {}};
        for (uint32_t i = 0; parents && i < parents->tally; ++i)
            d.parents.push_back(static_cast<const TeParent*>(nlst_index(parents, i))->id_b);
        for (uint32_t i = 0; o->primitives && i < o->primitives->tally; ++i)
            d.types.push_back(static_cast<const GeometricPrimitive*>(nlst_index(o->primitives, i))->type);
        static_cast<Recorder*>(self)->out.push_back(d);
        return 1;
    }
    static int32_t Error(FailEvent* e, void* self) {
        static_cast<Recorder*>(self)->errors.push_back(e->code);
        return 0;
    }
    TeRules Rules(int32_t mode, int32_t dim = TE_DIM_SURFACE) {
        TeRules r;
        qd_te_rules_init(&r);
        r.mode = mode;
        r.output_dim = dim;
        r.statistics.data_dim = dim;
        r.output_method = {Output, this};
        r.error_method = {Error, this};
        return r;
    }
};

}  // namespace tepoly
