// Island containers: every segment of the walked chains is bucketed into a
// uniform grid of edge vectors (one entry per cell its box touches, the
// index sorted by cell), and a ray from a negative polygon's rightmost
// point toward +x takes the nearest crossing segment; the polygon on the
// ray's side of it contains the island.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_islands.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

namespace {

TePolygon* poly_at(const nlst* polygons, int32_t n) { return static_cast<TePolygon*>(polygons->data) + n; }

bool loadable(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND;
}

// Column (or row) of a coordinate: -1 below the grid or not a number; the
// last one for a coordinate at or past the far edge.
int64_t axis_cell(double v, double origin, double size, int64_t count) {
    const double f = (v - origin) / size;
    if (!(f >= 0)) return -1;
    if (f >= double(count - 1)) return count - 1;
    return int64_t(f);
}

// Counts or loads the segments of every loadable chain.
int each_segment(nlst* chains, const TeVectorGrid* grid, nlst** vectors, int64_t* count) {
    if (!chains || !grid) return qd_te_missing("qd_te_gen_adgvec2_fill");
    if (chains->tally < 2) return 1;
    for (uint32_t i = 0; i < chains->tally; ++i) {
        const TeChain* c = qd_te_chain_at(chains, int32_t(i));
        if (!loadable(c)) continue;
        GeoCoord* pts = nullptr;
        int32_t n = 0;
        if (!qd_te_geo_get_coords(c, &pts, &n, 1)) return 0;
        int ok = 1;
        for (int32_t k = 0; k + 1 < n && ok; ++k)
            ok = qd_te_gen_adgvec2_load(c, grid, &pts[k], &pts[k + 1], vectors, count);
        qd_free(pts);
        if (!ok) return 0;
    }
    return 1;
}

}  // namespace

double qd_te_vector_grid_cell_size(const nlst* chains, const TeRules* rules) {
    if (!chains || chains->tally < 1 || !rules) return 0;
    const TeChain* u = qd_te_chain_at(chains, 0);
    const double w = u->chain_mer[1].x - u->chain_mer[0].x, h = u->chain_mer[1].y - u->chain_mer[0].y;
    const double larger = std::max(w, h);
    double c = 4 * (rules->statistics.measures[0] + rules->statistics.measures[1]) / 2;
    // A size from the statistics is clamped from above only: raising a
    // small cell to the smaller side would make the grid one cell high and
    // every ray test every segment. Unset measures give the smaller side.
    if (c > larger) c = larger;
    else if (c <= 0) c = std::min(w, h);
    if (c >= -1e-8 && c <= 1e-8) c = std::fabs(larger / double(chains->tally));
    return c;
}

int qd_te_vector_grid_init(TeVectorGrid* grid, const nlst* chains, double cell) {
    if (!grid || !chains || chains->tally < 1) return qd_te_missing("qd_te_neg_in_pos");
    const TeChain* u = qd_te_chain_at(chains, 0);
    const double w = u->chain_mer[1].x - u->chain_mer[0].x, h = u->chain_mer[1].y - u->chain_mer[0].y;
    if (!std::isfinite(w) || !std::isfinite(h) || w < 0 || h < 0) return qd_te_missing("qd_te_neg_in_pos");
    // The cell grows until both sides and the whole grid stay within the
    // limits; a degenerate size becomes the larger side (or 1).
    double c = cell;
    const double floor_size = std::max(w, h) / double(TE_GRID_MAX_SIDE - 1);
    if (!std::isfinite(c) || c <= 0) c = std::max(w, h) > 0 ? std::max(w, h) : 1;
    c = std::max({c, floor_size, DBL_MIN});
    double columns = std::floor(w / c) + 1, rows = std::floor(h / c) + 1;
    while (columns * rows > double(TE_GRID_MAX_CELLS)) {
        c *= std::sqrt(columns * rows / double(TE_GRID_MAX_CELLS)) * 1.0001;
        columns = std::floor(w / c) + 1;
        rows = std::floor(h / c) + 1;
    }
    *grid = {};
    grid->origin_x = u->chain_mer[0].x;
    grid->origin_y = u->chain_mer[0].y;
    grid->width = grid->height = c;
    grid->columns = int64_t(columns);
    grid->rows = int64_t(rows);
    return 1;
}

void qd_te_vector_grid_free(TeVectorGrid* grid) {
    if (!grid) return;
    qd_free(grid->index);
    grid->index = nullptr;
    grid->count = 0;
}

int64_t qd_te_gen_adgvec2_cell(const TeVectorGrid* grid, double x, double y) {
    const int64_t col = axis_cell(x, grid->origin_x, grid->width, grid->columns);
    const int64_t row = axis_cell(y, grid->origin_y, grid->height, grid->rows);
    if (col < 0 || row < 0) return -1;
    return row * grid->columns + col;
}

int qd_te_gen_adgvec2_load(const TeChain* chain, const TeVectorGrid* grid, const GeoCoord* first,
                           const GeoCoord* second, nlst** vectors, int64_t* count) {
    if (!chain || !grid || !first || !second || (!count && !vectors)) return qd_te_missing("qd_te_gen_adgvec2_load");
    const int64_t c0 = axis_cell(std::min(first->x, second->x), grid->origin_x, grid->width, grid->columns);
    const int64_t c1 = axis_cell(std::max(first->x, second->x), grid->origin_x, grid->width, grid->columns);
    const int64_t r0 = axis_cell(std::min(first->y, second->y), grid->origin_y, grid->height, grid->rows);
    const int64_t r1 = axis_cell(std::max(first->y, second->y), grid->origin_y, grid->height, grid->rows);
    if (c0 < 0 || c1 < 0 || r0 < 0 || r1 < 0) return qd_te_missing("qd_te_gen_adgvec2_load");
    if (count) {
        *count += (c1 - c0 + 1) * (r1 - r0 + 1);
        return 1;
    }
    for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c) {
            const TeEdgeVector v{r * grid->columns + c, *first, *second, chain->poly_left, chain->poly_right,
                                 chain->chain_id};
            if (!qd_te_append_item_to_list(vectors, &v, sizeof v)) return qd_te_no_memory();
        }
    return 1;
}

int qd_te_gen_adgvec2_count(nlst* chains, const TeVectorGrid* grid, int64_t* count) {
    if (!count) return qd_te_missing("qd_te_gen_adgvec2_count");
    *count = 0;
    return each_segment(chains, grid, nullptr, count);
}

int qd_te_gen_adgvec2_fill(nlst* chains, nlst** vectors, const TeVectorGrid* grid) {
    if (!vectors) return qd_te_missing("qd_te_gen_adgvec2_fill");
    return each_segment(chains, grid, vectors, nullptr);
}

int qd_te_gen_adgvec2_index(TeVectorGrid* grid, const nlst* vectors) {
    if (!grid) return qd_te_missing("qd_te_gen_adgvec2_index");
    if (!vectors || vectors->tally == 0) return 1;
    if (vectors->tally > uint32_t(INT32_MAX)) return qd_te_missing("qd_te_gen_adgvec2_index");
    const uint32_t n = vectors->tally;
    auto* index = static_cast<TeGridIndexEntry*>(qd_alloc(sizeof(TeGridIndexEntry) * n));
    if (!index) return qd_te_no_memory();
    const TeEdgeVector* v = static_cast<const TeEdgeVector*>(vectors->data);
    for (uint32_t i = 0; i < n; ++i) index[i] = {v[i].cell, -1, int32_t(i)};
    std::sort(index, index + n, [](const TeGridIndexEntry& a, const TeGridIndexEntry& b) {
        return a.cell < b.cell || (a.cell == b.cell && a.vector < b.vector);
    });
    for (uint32_t i = 0; i < n; ++i) index[i].position = int32_t(i);
    qd_free(grid->index);
    grid->index = index;
    grid->count = int32_t(n);
    return 1;
}

int32_t qd_te_gen_adgvec2_grid_pos(const TeVectorGrid* grid, int64_t cell) {
    if (!grid || !grid->index) return -1;
    const TeGridIndexEntry* begin = grid->index;
    const TeGridIndexEntry* end = begin + grid->count;
    const TeGridIndexEntry* it = std::lower_bound(
        begin, end, cell, [](const TeGridIndexEntry& e, int64_t key) { return e.cell < key; });
    if (it == end || it->cell != cell) return -1;
    return int32_t(it - grid->index);
}

double qd_te_island_ray_distance(double x, double y, const GeoCoord* second, const GeoCoord* first, double* dy) {
    *dy = second->y - first->y;
    if (std::fabs(*dy) <= 1e-16) return DBL_MAX;
    return first->x + (second->x - first->x) * (y - first->y) / *dy - x;
}

int qd_te_island_test_vector(const TeEdgeVector* vector, double x, double y, double* best, int32_t* best_vector,
                             double* best_dy, const nlst* vectors, int32_t number) {
    if (!vector || !best || !best_vector || !best_dy || !vectors) return qd_te_missing("qd_te_island_test_vector");
    const GeoCoord& a = vector->first;
    const GeoCoord& b = vector->second;
    if (!((a.y >= y && y >= b.y) || (a.y <= y && y <= b.y))) return 1;
    double dy = 0;
    const double d = qd_te_island_ray_distance(x, y, &b, &a, &dy);
    if (d > 0 && d < *best) {
        *best = d;
        *best_vector = number;
        *best_dy = dy;
        return 1;
    }
    if (d != *best || d >= DBL_MAX || *best_vector < 0) return 1;
    // Both cross at one point: a vertex they share. The one turning
    // further back toward the ray's origin decides the side.
    const TeEdgeVector* o = static_cast<const TeEdgeVector*>(nlst_index(vectors, uint32_t(*best_vector)));
    const GeoCoord *shared_new = nullptr, *far_new = nullptr, *shared_old = nullptr, *far_old = nullptr;
    if (b.x == o->second.x) shared_new = &b, far_new = &a, shared_old = &o->second, far_old = &o->first;
    else if (o->second.x == a.x) shared_new = &a, far_new = &b, shared_old = &o->second, far_old = &o->first;
    else if (b.x == o->first.x) shared_new = &b, far_new = &a, shared_old = &o->first, far_old = &o->second;
    else if (a.x == o->first.x) shared_new = &a, far_new = &b, shared_old = &o->first, far_old = &o->second;
    bool wins = true;
    if (shared_new) {
        const double ln = qd_te_cogo_distance_2d(shared_new, far_new), lo = qd_te_cogo_distance_2d(shared_old, far_old);
        const double un = ln > 0 ? (far_new->x - shared_new->x) / ln : 0;
        const double uo = lo > 0 ? (far_old->x - shared_old->x) / lo : 0;
        wins = un <= uo;
    }
    if (wins) {
        *best_vector = number;
        *best_dy = dy;
    }
    return 1;
}

int qd_te_neg_find_poly_of_closest_vector(int32_t start, const TeVectorGrid* grid, const nlst* vectors,
                                          const nlst* polygons, int32_t* polygon, int64_t cell) {
    if (!grid || !vectors || !polygons || !polygon || start < 0 || start >= grid->count || *polygon < 0 ||
        uint32_t(*polygon) >= polygons->tally)
        return qd_te_missing("qd_te_neg_find_poly_of_closest_vector");
    const TePolygon* p = poly_at(polygons, *polygon);
    const double px = p->mer[1].x, py = p->yxmax;
    const int64_t row_end = (cell / grid->columns + 1) * grid->columns;
    double best = DBL_MAX, best_dy = 0;
    int32_t best_vector = -1;
    const TeEdgeVector* v = static_cast<const TeEdgeVector*>(vectors->data);
    // The start cell, then the later cells of the ray's row while their
    // left edge lies before the nearest crossing so far: a segment of an
    // earlier cell may reach back past a nearer one of a later cell.
    for (int32_t i = start; i < grid->count && grid->index[i].cell < row_end; ++i) {
        const TeGridIndexEntry& e = grid->index[i];
        if (e.cell != cell && best_vector >= 0) {
            const double left = grid->origin_x + double(e.cell % grid->columns) * grid->width;
            if (left > px + best) break;
        }
        const TeEdgeVector& t = v[e.vector];
        if (t.first.x <= px && t.second.x <= px) continue;
        if (!qd_te_island_test_vector(&t, px, py, &best, &best_vector, &best_dy, vectors, e.vector)) return 0;
    }
    if (best_vector < 0) return qd_te_missing("qd_te_neg_find_poly_of_closest_vector");
    *polygon = best_dy >= 0 ? v[best_vector].left : v[best_vector].right;
    return 1;
}

int qd_te_island_assign_container(TePolygon* container, nlst* polygons, nlst* pending) {
    if (!container || !polygons) return qd_te_missing("qd_te_island_assign_container");
    if (!pending) return 1;
    const int32_t* p = static_cast<const int32_t*>(pending->data);
    for (uint32_t i = 0; i < pending->tally; ++i) {
        if (p[i] < 0 || uint32_t(p[i]) >= polygons->tally) return qd_te_missing("qd_te_island_assign_container");
        TePolygon* island = poly_at(polygons, p[i]);
        island->inside = container->id;
        island->island_list = container->island_list;
        container->island_list = p[i];
    }
    return 1;
}

int qd_te_neg_find_containers(nlst* chains, const nlst* negatives, TeVectorGrid* grid, nlst* polygons) {
    if (!chains || !grid || !polygons) return qd_te_missing("qd_te_neg_find_containers");
    if (!negatives || negatives->tally == 0) return 1;
    // A grid whose cells would multiply the vectors far beyond the number
    // of segments (cells much finer than the segments) is coarsened: the
    // containers do not depend on the cell size.
    TeVectorGrid whole = *grid;
    whole.columns = whole.rows = 1;
    int64_t segments = 0, count = 0;
    if (!qd_te_gen_adgvec2_count(chains, &whole, &segments)) return 0;
    const int64_t budget = std::max<int64_t>(int64_t(1) << 20, 8 * segments);
    for (;;) {
        if (!qd_te_gen_adgvec2_count(chains, grid, &count)) return 0;
        if (count <= budget || (grid->columns == 1 && grid->rows == 1)) break;
        if (!qd_te_vector_grid_init(grid, chains, grid->width * 2)) return 0;
    }
    if (count > int64_t(INT32_MAX) - 1) return qd_te_missing("qd_te_neg_find_containers");
    nlst* vectors = nullptr;
    nlst* pending = nullptr;
    int ok = 1;
    if (count > 0) {
        vectors = nlst_alloc(sizeof(TeEdgeVector), uint32_t(count + 1), 1, nullptr);
        if (!vectors) return qd_te_no_memory();
        ok = qd_te_gen_adgvec2_fill(chains, &vectors, grid) && qd_te_gen_adgvec2_index(grid, vectors);
    }
    pending = ok ? nlst_alloc(sizeof(int32_t), 16, 16, nullptr) : nullptr;
    if (ok && !pending) ok = qd_te_no_memory();
    const int32_t* neg = static_cast<const int32_t*>(negatives->data);
    const uint32_t n_polys = polygons->tally;
    for (uint32_t k = 0; ok && k < negatives->tally; ++k) {
        int32_t current = neg[k];
        if (current == 2) continue;
        // The chase through outer boundaries of one face ends within the
        // polygon count.
        for (uint32_t steps = 0; ok; ++steps) {
            if (current < 0 || uint32_t(current) >= n_polys || steps > n_polys) {
                ok = qd_te_missing("qd_te_neg_find_containers");
                break;
            }
            TePolygon* p = poly_at(polygons, current);
            if (p->inside < 0 || uint32_t(p->inside) >= n_polys) {
                ok = qd_te_missing("qd_te_neg_find_containers");
                break;
            }
            if (p->inside != 0) {
                ok = qd_te_island_assign_container(poly_at(polygons, p->inside), polygons, pending);
                nlst_trunc(pending, 0);
                break;
            }
            if (!nlst_add(pending, &current)) {
                ok = qd_te_no_memory();
                break;
            }
            const int64_t cell = qd_te_gen_adgvec2_cell(grid, p->mer[1].x, p->yxmax);
            const int32_t pos = cell < 0 ? -1 : qd_te_gen_adgvec2_grid_pos(grid, cell);
            if (pos < 0) {
                ok = qd_te_missing("qd_te_gen_adgvec2_grid_pos");
                break;
            }
            int32_t candidate = current;
            if (!qd_te_neg_find_poly_of_closest_vector(pos, grid, vectors, polygons, &candidate, cell)) {
                ok = 0;
                break;
            }
            if (candidate < 0 || uint32_t(candidate) >= n_polys || candidate == current) {
                ok = qd_te_missing("qd_te_neg_find_poly_of_closest_vector");
                break;
            }
            if (poly_at(polygons, candidate)->area > 0) {
                ok = qd_te_island_assign_container(poly_at(polygons, candidate), polygons, pending);
                nlst_trunc(pending, 0);
                break;
            }
            current = candidate;
        }
    }
    if (pending) nlst_free(pending);
    if (vectors) nlst_free(vectors);
    return ok;
}

int qd_te_neg_in_pos(nlst* polygons, const nlst* negatives, nlst* chains, TeRules* rules) {
    if (!negatives || negatives->tally == 0) return 1;
    if (!rules || !polygons || polygons->tally == 0 || !chains || chains->tally == 0)
        return qd_te_missing("qd_te_neg_in_pos");
    TeVectorGrid grid{};
    if (!qd_te_vector_grid_init(&grid, chains, qd_te_vector_grid_cell_size(chains, rules))) return 0;
    const int ok = qd_te_neg_find_containers(chains, negatives, &grid, polygons);
    qd_te_vector_grid_free(&grid);
    return ok;
}
