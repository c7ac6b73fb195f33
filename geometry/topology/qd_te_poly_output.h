// Surface output: the driver that turns the face walk's polygons into
// output geometries, the boundary curves of one polygon, the parents of a
// polygon gathered from its chains, the builds by operation (single, all,
// grouped, overlay, cutter, break) and the merging builds (contiguous,
// dissolve, buffer) with their nested re-runs of the engine.
//
// Polygons are TePolygon records (qd_te_output.h) in an nlst whose row is
// the polygon's number; rows 0, 1 and 2 are the fixed polygons of the face
// walk. A boundary walk starts at the polygon's start chain on the side the
// polygon lies on and follows left_link (face on the left) or right_link
// (face on the right) until it comes back.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_faces.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_util.h"

struct TeChain;
struct TeBitArray;

// Output counters of a surface run (rules statistics' output_counters).
enum : int32_t {
    TE_OUT_OBJECTS = 0,
    TE_OUT_LINES = 4,
    TE_OUT_PATHS = 5,
    TE_OUT_ARCS = 6,
    TE_OUT_CIRCLES = 7,
    TE_OUT_CURVES = 8,
    TE_OUT_CLOSED = 9,
    TE_OUT_UNCLOSED = 10,
    TE_OUT_COORDS = 11,
    TE_OUT_SEGMENTS = 12,
};

// One step of a boundary walk: the chain's row and the side the face lies
// on (1 left, 0 right).
struct TePolyStep {
    int32_t row;
    int32_t side;
};
// The steps of a polygon's boundary walk into steps (cleared first). A
// polygon on neither side of its start chain, a link of 0, a chain that is
// missing or not live, or a walk longer than every chain side fails
// ("UKT1M" with function).
int qd_te_poly_boundary(const TePolygon* polygon, const nlst* chains, nlst* steps, const char* function);

// Driver and one polygon to geometry.
int qd_te_poly_ff(nlst* chains, TeRules* rules, int32_t quiet);
int qd_te_output_surfaces(TeRules* rules, TePolygon* polygon, SpatialObject* object, nlst* polygons,
                          nlst* chains, nlst** parents);
int qd_te_output_form_surf_check(TePolygon* polygon, TeRules* rules, nlst* polygons, int32_t counting);
int qd_te_output_form_surf(TePolygon* polygon, SpatialObject* object, nlst* chains, nlst* polygons,
                           TeRules* rules);
int qd_te_output_form_poly(TePolygon* polygon, TeRules* rules, SpatialObject* object, nlst* polygons,
                           nlst* chains);
int qd_te_output_form_curve(TePolygon* polygon, SpatialObject* object, nlst* polygons, nlst* chains,
                            TeRules* rules, int32_t merge);
int qd_te_output_polygon_as_linear(const GeoPolygon* polygon, SpatialObject* object);
int qd_te_surface_drop_holes(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_poly_release_cutter_lists(nlst* polygons);

// Boundary curves.
int qd_te_output_walk_curves(TePolygon* polygon, nlst** curves, nlst* chains, TeRules* rules, int32_t merge);
int qd_te_add_new_curve_to_list(TeChain* chain, nlst** curves, int32_t direction, TeRules* rules,
                                int32_t merge);
int qd_te_create_new_curve(TeRules* rules, const TeChain* chain, GeoCurve* curve, int32_t direction);
int qd_te_output_merge_curves(GeoCurve* earlier, const GeoCurve* later, int32_t* merged);
int qd_te_output_add_new_curve_to_geom(const GeoCurve* curve, SpatialObject* object);
// Bits 0 .. 2 x chains: chain c's bit is c.
int qd_te_build_open_linears_collect(const TePolygon* polygon, TeBitArray* bits, const nlst* chains,
                                     int32_t toggle);

// Parents, cutter edges and island holes.
int qd_te_build_collect_parents(TePolygon* polygon, nlst* polygons, nlst* chains, nlst** parents,
                                int32_t type);
int qd_te_surface_collect_parents(TePolygon* polygon, nlst* polygons, nlst* chains, nlst** parents,
                                  int32_t type, TeRules* rules);
int qd_te_surface_collect_cutter_edge(TePolygon* polygon, nlst* chains, int32_t type, int32_t transfer);
int qd_te_surface_clear_cutter_parents(TePolygon* polygon, nlst* chains);
int qd_te_surface_check_cutter_topology(TePolygon* polygon, nlst* chains, TeRules* rules);
int qd_te_poly_same_cutter_lists(const nlst* a, const nlst* b);
int qd_te_surface_drop_island_hole(TePolygon* island, nlst* polygons, nlst* chains);
int qd_te_surface_filter_islands(nlst* polygons, nlst* chains, TeRules* rules);

// Builds by mode.
struct TeOutputItem {
    int32_t id_a;
    int32_t id_b;
    int32_t polygon;
    int32_t group;
    nlst* cutter;  // a polygon's round_cut, not owned
};
// Polygons that take part in the builds: number 1 and above, not
// discarded, a positive area or an area of 0 with no islands inside 1.
int qd_te_poly_eligible(const TePolygon* polygon);
int qd_te_build_single(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_build_overlay(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_build_break(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_build_cutter(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_surf_build_preserve(nlst* polygons, nlst* chains, TeRules* rules, nlst* items);
int qd_te_group_output_items(nlst* items);

// Contiguous, dissolve and buffer builds.
int qd_te_build_contiguous(nlst* polygons, nlst* chains, TeRules* rules);
int qd_te_build_discard_chains(TeBitArray* visits, nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_expand_chains(TeBitArray* visits, const TePolygon* polygon, const nlst* chains, const TeRules* rules);
int qd_te_expand_chains_set(TeBitArray* visits, const TePolygon* polygon, nlst* polygons, const nlst* chains,
                            const TeRules* rules);
int qd_te_build_buffer_all(nlst* chains, nlst* polygons, TeRules* rules);
int qd_te_output_validate_spike_surface(GeoPolygon* polygon, SpatialObject* object, TeRules* rules);
int32_t qd_te_output_spike_surface(SpatialObject* delivered, nlst* parents, void* target);

// A nested run of the engine on a copy of the rules: the copy takes over
// the fail handler while it lives; the outer handler comes back and the
// copy's statistics are copied into the outer rules when it ends.
struct TeNestedRules {
    TeRules* outer;
    TeRules copy;
    void* saved_handler;
};
void qd_te_nested_begin(TeNestedRules* nested, TeRules* outer);
void qd_te_nested_end(TeNestedRules* nested);
