// Invariants of the face walk's result: each chain side in one walk, the
// areas of every connected group balanced, and Euler's count of faces.
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <utility>
#include <vector>

#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"

namespace {

int fault(char* why, const char* format, int32_t a, int32_t b = 0) {
    if (why) std::snprintf(why, 160, format, a, b);
    return 0;
}

bool walked(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_NODE && c->chain_type != TE_REGION &&
           c->chain_type != TE_ISLAND && c->coords && c->coords->tally > 0;
}

struct Groups {
    std::vector<int32_t> up;
    int32_t find(int32_t a) {
        while (up[size_t(a)] != a) a = up[size_t(a)] = up[size_t(up[size_t(a)])];
        return a;
    }
    void join(int32_t a, int32_t b) { up[size_t(find(a))] = find(b); }
};

int check_faces(const nlst* chains, const nlst* polygons, char* why) {
    if (!polygons || polygons->tally < 3) return fault(why, "no polygon list (%d)", 0);
    const int32_t n = int32_t(chains->tally);
    const int32_t closing = qd_te_poly_at(polygons, 0)->start_chain;
    // Nodes: the exact end points of the walked chains.
    std::map<std::pair<double, double>, int32_t> nodes;
    std::vector<int32_t> start_node(size_t(n), -1);
    auto node_of = [&](const TeVertex& v) {
        auto it = nodes.emplace(std::make_pair(v.x, v.y), int32_t(nodes.size())).first;
        return it->second;
    };
    std::vector<std::pair<int32_t, int32_t>> edges;
    int32_t e = 0;
    for (int32_t i = 1; i < n; ++i) {
        const TeChain* c = qd_te_chain_at(chains, i);
        if (i == closing || !walked(c)) continue;
        const auto* v = static_cast<const TeVertex*>(c->coords->data);
        start_node[size_t(i)] = node_of(v[0]);
        edges.emplace_back(start_node[size_t(i)], node_of(v[c->coords->tally - 1]));
        ++e;
    }
    Groups g;
    g.up.resize(nodes.size());
    std::iota(g.up.begin(), g.up.end(), 0);
    for (const auto& [a, b] : edges) g.join(a, b);
    int32_t groups = 0;
    for (int32_t k = 0; k < int32_t(nodes.size()); ++k) groups += g.find(k) == k;
    // Every polygon's walk: the sides it passes name it, once each.
    std::vector<int32_t> seen(size_t(2 * n), 0);
    std::map<int32_t, std::pair<double, double>> areas;  // group: positive, |negative|
    int32_t positive = 0;
    for (int32_t id = 3; id < int32_t(polygons->tally); ++id) {
        const TePolygon* p = qd_te_poly_at(polygons, id);
        if (p->id != id) return fault(why, "polygon %d has id %d", id, p->id);
        TeWalkStep step{};
        int32_t start = 0;
        if (!qd_te_poly_start_step(p, chains, &step, &start))
            return fault(why, "polygon %d is neither side of chain %d", id, p->start_chain);
        for (int32_t steps = 0;; ++steps) {
            const int32_t c = step.chain->chain_id;
            if (steps > 2 * n) return fault(why, "polygon %d walk does not close (%d)", id);
            if ((step.side == 1 ? step.chain->poly_left : step.chain->poly_right) != id)
                return fault(why, "chain %d side in polygon %d's walk names another", c, id);
            ++seen[size_t(step.side == 1 ? c : c + n)];
            TeWalkStep next{};
            int32_t closed = 0;
            if (!qd_te_walk_chain(chains, &step, start, &next, &closed))
                return fault(why, "polygon %d walk breaks at chain %d", id, c);
            if (closed) break;
            step = next;
        }
        const int32_t s = start_node[size_t(p->start_chain)];
        if (s < 0) return fault(why, "polygon %d starts on chain %d, not walked", id, p->start_chain);
        auto& sums = areas[g.find(s)];
        if (p->area > 0) {
            ++positive;
            sums.first += p->area;
        } else {
            sums.second -= p->area;
        }
    }
    for (int32_t i = 1; i < n; ++i) {
        const TeChain* c = qd_te_chain_at(chains, i);
        if (i == closing || !walked(c)) continue;
        if (seen[size_t(i)] != 1 || seen[size_t(i + n)] != 1)
            return fault(why, "chain %d sides walked %d times", i, seen[size_t(i)] * 10 + seen[size_t(i + n)]);
    }
    for (const auto& [group, sums] : areas)
        if (std::fabs(sums.first - sums.second) > 1e-9 * std::fmax(1.0, sums.second))
            return fault(why, "group of node %d: positive areas %d millionths off", group,
                         int32_t(std::fmin(2e9, std::fabs(sums.first - sums.second) * 1e6)));
    if (positive != e - int32_t(nodes.size()) + groups)
        return fault(why, "%d positive polygons, Euler gives %d", positive, e - int32_t(nodes.size()) + groups);
    return 1;
}

}  // namespace

int qd_te_check_invariants(const nlst* chains, int32_t checks, char* why, const nlst* polygons) {
    const int32_t others = checks & ~TE_INV_FACES;
    if (!chains || chains->tally == 0) return fault(why, "no chain list (%d)", 0);
    if (others && !qd_te_check_invariants(chains, others, why)) return 0;
    if (!(checks & TE_INV_FACES)) return 1;
    return check_faces(chains, polygons, why);
}
