// Islands of the face walk's polygon list: the container of every
// negative polygon (the outer boundary of a connected group of chains),
// found by a ray toward +x from its rightmost point through a uniform grid
// of edge vectors; nesting levels, with positive polygons at odd levels
// discarded; and top-level spikes or unclosed islands relinked into rings
// of their dangle chains.
//
// 1 success, 0 failure ("UKT1M" naming the function; memory "UKT1N").
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;
struct TePolygon;

// One segment of a chain in one grid cell it touches.
struct TeEdgeVector {
    int64_t cell;
    GeoCoord first;
    GeoCoord second;
    int32_t left;   // the chain's poly_left
    int32_t right;  // the chain's poly_right
    int32_t chain;
};

struct TeGridIndexEntry {
    int64_t cell;
    int32_t position;  // its own position after sorting
    int32_t vector;    // position in the vector list
};

struct TeVectorGrid {
    double origin_x;
    double origin_y;
    double width;
    double height;
    int64_t columns;
    int64_t rows;
    TeGridIndexEntry* index;  // owned (qd_alloc)
    int32_t count;
};

// Most columns, rows and cells a grid gets: the cell size is enlarged to
// stay within them.
inline constexpr int64_t TE_GRID_MAX_SIDE = 4096;
inline constexpr int64_t TE_GRID_MAX_CELLS = int64_t(1) << 22;

// Containers of the polygons of the negative list (int32 polygon numbers).
int qd_te_neg_in_pos(nlst* polygons, const nlst* negatives, nlst* chains, TeRules* rules);
// The grid over the universal chain's rectangle with cell size `cell`
// (clamped as the grid limits ask); no index yet.
int qd_te_vector_grid_init(TeVectorGrid* grid, const nlst* chains, double cell);
// The cell size the statistics ask for, brought into the extent's range.
double qd_te_vector_grid_cell_size(const nlst* chains, const TeRules* rules);
void qd_te_vector_grid_free(TeVectorGrid* grid);
int qd_te_neg_find_containers(nlst* chains, const nlst* negatives, TeVectorGrid* grid, nlst* polygons);
int qd_te_gen_adgvec2_count(nlst* chains, const TeVectorGrid* grid, int64_t* count);
int qd_te_gen_adgvec2_fill(nlst* chains, nlst** vectors, const TeVectorGrid* grid);
int qd_te_gen_adgvec2_load(const TeChain* chain, const TeVectorGrid* grid, const GeoCoord* first,
                           const GeoCoord* second, nlst** vectors, int64_t* count);
int64_t qd_te_gen_adgvec2_cell(const TeVectorGrid* grid, double x, double y);
int qd_te_gen_adgvec2_index(TeVectorGrid* grid, const nlst* vectors);
// Position of the cell's first index entry, -1 when it has none.
int32_t qd_te_gen_adgvec2_grid_pos(const TeVectorGrid* grid, int64_t cell);
// The ray search from the polygon's rightmost point: *polygon comes in as
// the negative polygon's number and goes out as the container candidate.
int qd_te_neg_find_poly_of_closest_vector(int32_t start, const TeVectorGrid* grid, const nlst* vectors,
                                          const nlst* polygons, int32_t* polygon, int64_t cell);
int qd_te_island_test_vector(const TeEdgeVector* vector, double x, double y, double* best,
                             int32_t* best_vector, double* best_dy, const nlst* vectors, int32_t number);
double qd_te_island_ray_distance(double x, double y, const GeoCoord* second, const GeoCoord* first,
                                 double* dy);
int qd_te_island_assign_container(TePolygon* container, nlst* polygons, nlst* pending);

// Levels (run when the rules' islands setting is 1).
int qd_te_island_levels(nlst* polygons, nlst* chains);
// Top-level spikes and unclosed islands become rings of their dangles.
int qd_te_prune_dangles(nlst* polygons, nlst* chains, TeRules* rules);
// The new start chain (first dangle), or -1 (none, or failure).
int32_t qd_te_prune_poly(TePolygon* polygon, nlst* chains);
