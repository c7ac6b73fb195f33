// The face walk, the island containers and the island levels over a
// 300 x 300 unit lattice with 10,000 square holes (one in each of as many
// cells) against std::sort of the same chains' end records, measured in
// the same run (target: at most 10 times).
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "../runtime/bench_util.h"
#include "te_faces_bench.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_islands.h"
#include "geometry/topology/qd_te_leaving.h"
#include "geometry/topology/qd_te_util.h"

namespace {

volatile double sink = 0;

void add_path(nlst* chains, std::initializer_list<GeoCoord> pts) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_PATH;
    qd_te_geo_form_location(&c, pts.begin(), int32_t(pts.size()), 0, 0);
    c.chain_id = int32_t(chains->tally);
    nlst_add(chains, &c);
}

GeoCoord at(double x, double y) { return {x, y, KTGEO_NO_Z}; }

}  // namespace

void te_faces_bench_walk() {
    const int side = 300, holes = 10000;
    TeRules rules;
    qd_te_rules_init(&rules);
    rules.mode = TE_ALL;
    rules.output_dim = TE_DIM_SURFACE;
    rules.islands = 1;
    rules.statistics.measures[0] = 0.5;  // shortest and longest segment
    rules.statistics.measures[1] = 1;
    nlst* master = nullptr;
    qd_te_geo_chain_list_create(&master, 2 * side * (side + 1) + holes);
    for (int i = 0; i <= side; ++i)
        for (int j = 0; j <= side; ++j) {
            if (i < side) add_path(master, {at(i, j), at(i + 1, j)});
            if (j < side) add_path(master, {at(i, j), at(i, j + 1)});
        }
    std::vector<int> cells(size_t(side) * side);
    for (size_t k = 0; k < cells.size(); ++k) cells[k] = int(k);
    std::shuffle(cells.begin(), cells.end(), std::mt19937(9));
    for (int h = 0; h < holes; ++h) {
        const double x = cells[size_t(h)] % side + 0.25, y = cells[size_t(h)] / side + 0.25;
        add_path(master, {at(x, y), at(x, y + 0.5), at(x + 0.5, y + 0.5), at(x + 0.5, y), at(x, y)});
    }
    TeChain* u = qd_te_chain_at(master, 0);
    u->chain_mer[0] = {-1, -1, 0};
    u->chain_mer[1] = {side + 1.0, side + 1.0, 0};
    if (!u->coords) u->coords = nlst_alloc(sizeof(TeVertex), 5, 1, nullptr);
    qd_te_reassign_universal_polygon(u);
    qd_te_leaving_chain_set_ql_lr(&rules, 1e-10, master);
    const double chains = double(master->tally - 1);

    nlst* polygons = nullptr;
    nlst* negatives = nullptr;
    nlst* work = nullptr;
    int ok = 1;
    // Each round on a fresh copy of the linked chains (the copy untimed).
    double ours = 1e30, walk = 0, containers = 0, levels = 0;
    for (int round = 0; round < 3; ++round) {
        qd_te_poly_list_free(&polygons);
        if (negatives) nlst_free(negatives);
        negatives = nullptr;
        qd_te_geo_chain_list_free(&work);
        qd_te_chain_list_to_array(&work, master);
        TeVectorGrid grid{};
        const double w = best_seconds([&] { ok = qd_te_walk_form(&polygons, &negatives, work, &rules); }, 1);
        const double c = best_seconds([&] {
            ok = ok && qd_te_vector_grid_init(&grid, work, qd_te_vector_grid_cell_size(work, &rules)) &&
                 qd_te_neg_find_containers(work, negatives, &grid, polygons);
            qd_te_vector_grid_free(&grid);
        }, 1);
        const double l = best_seconds([&] { ok = ok && qd_te_island_levels(polygons, work); }, 1);
        if (w + c + l < ours) ours = w + c + l, walk = w, containers = c, levels = l;
    }
    char why[160] = "";
    const int sound = ok && qd_te_check_invariants(work, TE_INV_FACES, why, polygons);
    int32_t holes_in = 0;
    for (uint32_t i = 3; polygons && i < polygons->tally; ++i) {
        const TePolygon* p = qd_te_poly_at(polygons, int32_t(i));
        holes_in += p->area < 0 && p->inside >= 3;
    }
    // Baseline: the chain-end records of the same chains, sorted.
    nlst* ends = nullptr;
    for (uint32_t i = 1; i < master->tally; ++i) qd_te_leaving_form_node_list(qd_te_chain_at(master, int32_t(i)), &ends);
    auto* first = static_cast<TeNodeEnd*>(ends->data);
    const std::vector<TeNodeEnd> records(first, first + ends->tally);
    const double base = best_seconds([&] {
        std::copy(records.begin(), records.end(), first);
        std::sort(first, first + ends->tally, [](const TeNodeEnd& a, const TeNodeEnd& b) {
            if (a.point[0] != b.point[0]) return a.point[0] < b.point[0];
            if (a.point[1] != b.point[1]) return a.point[1] < b.point[1];
            if (a.quadrant != b.quadrant) return a.quadrant < b.quadrant;
            return a.slope < b.slope;
        });
        sink = sink + first[0].slope;
    }, 3);
    report("walk, containers, levels, 300x300 lattice + 10k holes", ours / chains * 1e9, base / chains * 1e9,
           "std::sort of the chain ends");
    std::printf("walk %.3f s, containers %.3f s, levels %.3f s\n", walk, containers, levels);
    std::printf("polygons %u, holes in bounded faces %d (of %d), invariants %s %s (target ratio <= 10)\n",
                polygons ? polygons->tally : 0u, int(holes_in), holes, sound ? "hold" : "broken:", why);
    nlst_free(ends);
    qd_te_poly_list_free(&polygons);
    if (negatives) nlst_free(negatives);
    qd_te_geo_chain_list_free(&work);
    qd_te_geo_chain_list_free(&master);
}

