// Island levels and dangle pruning. Levels: from the top-level islands
// inward, neighbouring polygons share a level and the islands of a polygon
// lie one deeper; positive polygons at odd levels are discarded. Pruning:
// a top-level spike or unclosed island becomes a ring of its dangle
// chains, its other chains handed to polygon 0.
#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>
#include <vector>

#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_islands.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

struct Item {
    int32_t polygon;
    int32_t level;
};

TePolygon* poly_at(const nlst* polygons, int32_t n) { return static_cast<TePolygon*>(polygons->data) + n; }

// Steps along a polygon's boundary walk: fn(chain, walk side, number) for each
// step. The walk ends where it started, within twice the chain count.
template <class Fn>
int walk_boundary(const TePolygon* p, nlst* chains, const char* function, Fn fn) {
    const int32_t start = p->start_chain;
    if (start < 0 || uint32_t(start) >= chains->tally) return qd_te_missing(function);
    const TeChain* s = qd_te_chain_at(chains, start);
    int32_t value = 0;
    if (s->poly_left == p->id) value = start;
    else if (s->poly_right == p->id) value = -start;
    else return qd_te_missing(function);
    const int32_t first = value;
    for (uint32_t steps = 0; steps <= 2 * chains->tally; ++steps) {
        if (value == INT32_MIN) break;
        const int32_t number = value > 0 ? value : -value;
        if (number <= 0 || uint32_t(number) >= chains->tally) return qd_te_missing(function);
        TeChain* c = qd_te_chain_at(chains, number);
        const int32_t side = value > 0 ? 1 : 0;
        value = side ? c->left_link : c->right_link;
        if (!fn(c, side, number)) return 0;
        if (value == first) return 1;
    }
    return qd_te_missing(function);
}

struct Levels {
    nlst* polygons;
    nlst* chains;
    std::vector<uint8_t> marked;
    std::vector<Item> queue;  // a stack: the front is the back of the vector

    bool valid(int32_t n) const { return n >= 0 && uint32_t(n) < polygons->tally; }
    void push(int32_t n, int32_t level) {
        queue.push_back({n, level});
        marked[size_t(n)] = 1;
    }
};

// Queues (front) and marks every unmarked polygon on the boundary's sides.
int expand_polygon_2(Levels& lv, const TePolygon* p, int32_t level) {
    return walk_boundary(p, lv.chains, "qd_te_island_expand_polygon_2", [&](TeChain* c, int32_t, int32_t) {
        for (int32_t n : {c->poly_left, c->poly_right})
            if (lv.valid(n) && !lv.marked[size_t(n)]) lv.push(n, level);
        return 1;
    });
}

// The unmarked polygons on the boundary's sides, each once; none marked.
int expand_polygon_1(Levels& lv, const TePolygon* p, std::vector<int32_t>* work) {
    return walk_boundary(p, lv.chains, "qd_te_island_expand_polygon_1", [&](TeChain* c, int32_t, int32_t) {
        for (int32_t n : {c->poly_left, c->poly_right})
            if (lv.valid(n) && !lv.marked[size_t(n)] && std::find(work->begin(), work->end(), n) == work->end())
                work->push_back(n);
        return 1;
    });
}

int expand_node(Levels& lv, const Item& item) {
    const TePolygon* p = poly_at(lv.polygons, item.polygon);
    if (p->discard == 1) return 1;
    std::vector<int32_t> work;
    if (!expand_polygon_1(lv, p, &work)) return 0;
    if (p->area < 0) {
        if (work.size() == 1 && !lv.marked[size_t(work[0])]) lv.push(work[0], item.level);
        return 1;
    }
    for (int32_t n : work)
        if (!lv.marked[size_t(n)]) lv.push(n, item.level);
    int32_t island = p->island_list;
    for (uint32_t steps = 0; island > 0; ++steps) {
        if (!lv.valid(island) || steps > lv.polygons->tally) return qd_te_missing("qd_te_island_levels");
        if (!lv.marked[size_t(island)]) lv.push(island, item.level + 1);
        island = poly_at(lv.polygons, island)->island_list;
    }
    return 1;
}

// The top-level islands: polygon 1's island list.
template <class Fn>
int each_top_island(nlst* polygons, const char* function, Fn fn) {
    if (polygons->tally < 2) return 1;
    int32_t island = poly_at(polygons, 1)->island_list;
    for (uint32_t steps = 0; island > 0; ++steps) {
        if (uint32_t(island) >= polygons->tally || steps > polygons->tally) return qd_te_missing(function);
        TePolygon* p = poly_at(polygons, island);
        if (p->inside != 1) return qd_te_missing(function);
        const int32_t row = island;
        island = p->island_list;
        if (!fn(p, row)) return 0;
    }
    return 1;
}

}  // namespace

int qd_te_island_levels(nlst* polygons, nlst* chains) {
    if (!chains || chains->tally < 2 || !polygons || polygons->tally == 0) return 1;
    Levels lv{polygons, chains, std::vector<uint8_t>(polygons->tally, 0), {}};
    const int seeded = each_top_island(polygons, "qd_te_island_process_que", [&](TePolygon* p, int32_t row) {
        if (p->discard == 1 || p->status != 1 || !(p->area < 0)) return 1;
        lv.marked[size_t(row)] = 1;
        return expand_polygon_2(lv, p, 0);
    });
    if (!seeded) return 0;
    while (!lv.queue.empty()) {
        const Item item = lv.queue.back();
        lv.queue.pop_back();
        if (!expand_node(lv, item)) return 0;
        TePolygon* p = poly_at(polygons, item.polygon);
        if (item.level % 2 == 1 && p->area > 0) p->discard = 1;
    }
    return 1;
}

int32_t qd_te_prune_poly(TePolygon* p, nlst* chains) {
    if (!p || !chains) {
        qd_te_missing("qd_te_prune_poly");
        return -1;
    }
    // Each dangle chain takes one slot however often the walk meets it.
    const size_t slots = size_t(std::max(p->count, 0)) + 1;
    std::vector<int32_t> dangles;
    const int ok = walk_boundary(p, chains, "qd_te_prune_poly", [&](TeChain* c, int32_t side, int32_t number) {
        if (c->poly_left == p->id && c->poly_right == p->id) {
            if (std::find(dangles.begin(), dangles.end(), number) != dangles.end()) return 1;
            if (dangles.size() >= slots) {
                qd_te_missing("qd_te_prune_poly");
                return 1;
            }
            dangles.push_back(number);
        } else if (side == 1) {
            c->poly_left = 0;
        } else {
            c->poly_right = 0;
        }
        return 1;
    });
    if (!ok || dangles.empty()) return -1;
    // Front insertion: the ring holds them in reverse walk order.
    std::reverse(dangles.begin(), dangles.end());
    for (size_t i = 0; i < dangles.size(); ++i) {
        TeChain* c = qd_te_chain_at(chains, dangles[i]);
        c->right_link = -dangles[(i + 1) % dangles.size()];
        c->poly_left = 0;
    }
    return dangles.front();
}

int qd_te_prune_dangles(nlst* polygons, nlst* chains, TeRules* rules) {
    if (!rules || !polygons || !chains) return qd_te_missing("qd_te_prune_dangles");
    return each_top_island(polygons, "qd_te_prune_dangles", [&](TePolygon* p, int32_t) {
        if (p->discard == 1 || (p->status != 0 && p->spike != 1)) return 1;
        p->island_list = 0;
        if (p->area < 0) {
            p->status = 0;
            p->area = std::fabs(p->area);
            p->start_chain = qd_te_prune_poly(p, chains);
            if (p->start_chain < 0) p->discard = 1;
        }
        return 1;
    });
}
