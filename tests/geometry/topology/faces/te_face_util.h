// Face walk fixtures: chains built from literals, numbered, framed by the
// universal chain and linked at their nodes as the leaving stage links
// them; the walk's polygon and negative lists released with the holder.
#pragma once

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

namespace tetest {

inline TeChain Path(std::initializer_list<GeoCoord> pts) { return Chain(TE_PATH, pts); }

struct Faces {
    Chains chains;
    TeRules rules;
    nlst* polygons = nullptr;
    nlst* negatives = nullptr;
    Faces() {
        qd_te_rules_init(&rules);
        rules.mode = TE_ALL;
        rules.output_dim = TE_DIM_SURFACE;
    }
    ~Faces() {
        qd_te_poly_list_free(&polygons);
        if (negatives) nlst_free(negatives);
    }
    Faces(const Faces&) = delete;
    Faces& operator=(const Faces&) = delete;
    int32_t Add(TeChain c) {
        const int32_t row = chains.Add(c);
        chains.At(row)->chain_id = row;
        return row;
    }
    // The universal chain's rectangle: the chains' grown by one; its frame
    // the rectangle's corners; then the walk links at every node.
    bool Link() {
        TeChain* u = chains.At(0);
        GeoCoord m[2] = {{1e300, 1e300, 0}, {-1e300, -1e300, 0}};
        for (int32_t i = 1; i < chains.Count(); ++i) qd_te_mer_union(m, chains.At(i)->chain_mer);
        u->chain_mer[0] = {std::round(m[0].x) - 1, std::round(m[0].y) - 1, 0};
        u->chain_mer[1] = {std::round(m[1].x) + 1, std::round(m[1].y) + 1, 0};
        if (!u->coords) u->coords = nlst_alloc(sizeof(TeVertex), 5, 1, nullptr);
        return qd_te_reassign_universal_polygon(u) == 1 &&
               qd_te_leaving_chain_set_ql_lr(&rules, 1e-10, chains.list) == 1;
    }
    int Walk() { return qd_te_walk_form(&polygons, &negatives, chains.list, &rules); }
    TePolygon* P(int32_t id) const { return qd_te_poly_at(polygons, id); }
    int32_t Count() const { return polygons ? int32_t(polygons->tally) : 0; }
    std::vector<int32_t> Negatives() const {
        std::vector<int32_t> v;
        for (uint32_t i = 0; negatives && i < negatives->tally; ++i) v.push_back(*static_cast<int32_t*>(nlst_index(negatives, i)));
        return v;
    }
    // The chains of a polygon's walk, in walk order (0 on a broken walk).
    std::vector<int32_t> Boundary(int32_t id) const {
        std::vector<int32_t> v;
        TeWalkStep s{};
        int32_t start = 0;
        if (!qd_te_poly_start_step(P(id), chains.list, &s, &start)) return {0};
        for (int32_t guard = 0; guard < 4 * chains.Count(); ++guard) {
            v.push_back(s.chain->chain_id);
            TeWalkStep next{};
            int32_t closed = 0;
            if (!qd_te_walk_chain(chains.list, &s, start, &next, &closed)) return {0};
            if (closed) return v;
            s = next;
        }
        return {0};
    }
    // Polygons of the walk (from 3) by the sign of their area.
    std::vector<int32_t> Signed(int sign) const {
        std::vector<int32_t> v;
        for (int32_t i = 3; i < Count(); ++i)
            if ((sign > 0 && P(i)->area > 0) || (sign < 0 && P(i)->area <= 0)) v.push_back(i);
        return v;
    }
};

inline nlst* Coords(std::initializer_list<GeoCoord> pts) {
    nlst* l = nlst_alloc(sizeof(GeoCoord), uint32_t(pts.size()) + 1, 4, nullptr);
    for (const GeoCoord& p : pts) nlst_add(l, &p);
    return l;
}

}  // namespace tetest
