// Chain encoders: one primitive of an input geometry becomes TeChain
// records (nodes, lines per segment or paths, arcs, circles, curves,
// clockwise region and island rings with their curve chains) appended to
// the encoder's chain list. Each answers 1 (go on) or 0 (failure) and
// writes a status word: 1 good, else -1 bad curve or point, -2 too few or
// too many coordinates, -5 other type, -8 no Z rule, -10 filtered away,
// -46 collapsed when stored.
#pragma once

#include <cstdint>

#include "geometry/topology/qd_te_form_chains.h"
#include "geometry/topology/qd_te_geo_chain.h"

inline constexpr int32_t TE_MAX_CHAIN_COORDS = 16777215;

int qd_te_chains_from_node(const GeoPoint* point, int32_t* status, TeEncoder* encoder);
int qd_te_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* encoder);
int qd_te_chains_from_path(TeEncoder* encoder, GeoPath* path, int32_t* status);
int qd_te_chains_from_surface(TeEncoder* encoder, GeoPolygon* polygon, int32_t* status, TeRules* rules);
int qd_te_chains_from_cross_path(TeEncoder* encoder, int32_t* status, nlst* coords);
int qd_te_encode_chain_node(const GeoCoord* coord, TeEncoder* encoder, const GeoPointDirection* dynamic,
                            int32_t* status);
int qd_te_encode_chain_line(TeEncoder* encoder, GeoCoord* coords, int32_t n, int32_t* status);
int qd_te_encode_chain_arc(int32_t n, GeoCoord* coords, TeEncoder* encoder, int32_t* status);
int qd_te_encode_chain_circle(const GeoCoord* centre, TeEncoder* encoder, double radius, int32_t* status);
int qd_te_encode_chain_curve(int32_t n, TeEncoder* encoder, GeoCoord* coords, const TeTangent* tangent,
                             int32_t* status);
int qd_te_encode_chain_path(int32_t n, TeEncoder* encoder, GeoCoord* coords, int32_t* status);
int qd_te_encode_chain_ring(int32_t n, TeEncoder* encoder, GeoCoord* coords, int32_t* status);
int qd_te_encode_chain_path_cross(TeEncoder* encoder, int32_t n, GeoCoord* coords, int32_t* status);
// As qd_te_encode_chain_path_cross, with the split's orientation and nesting
// switches given instead of the encoder's parent side and cross side (the
// parents still go on the encoder's parent side).
int qd_te_encode_chain_path_cross_switched(TeEncoder* encoder, int32_t n, GeoCoord* coords, int32_t orientation,
                                           int32_t nesting, int32_t* status);
int qd_te_encode_chain_region(int32_t n, TeEncoder* encoder, GeoCoord* coords, int32_t type, int32_t* status);
int qd_te_encode_chain_as_nodes(GeoCoord* coords, int32_t n, TeEncoder* encoder, int32_t* status);

int qd_te_encode_set_zcrd(GeoCoord* coords, int32_t n, const TeZcrd* zcrd);
int qd_te_encode_statistics(const TeChain* chain, double tolerance, TeStatistics* statistics);
int qd_te_encode_vertex_tol(TeChain* chain, double start_tol, double end_tol);
int qd_te_keep_sbnd(int32_t n, TeEncoder* encoder, GeoCoord* ring, int32_t* status);
int qd_te_seek_sbnd(GeoCoord* coords, TeEncoder* encoder, int32_t n);
// A new array copy of a coordinate list, reversed for direction 0; the
// count, or 0 for none (*array null) or no memory (*array null, *failed 1).
int32_t qd_te_copy_coords(const nlst* list, int32_t direction, GeoCoord** array, int32_t* failed);
int qd_te_raise_dimension(int32_t kind, TeStatistics* statistics);
int qd_te_in_range(int32_t flag, double value, double low, double high);

// Splits a chain where it crosses itself and appends the pieces (crossed
// 1), or appends the chain whole (crossed 0); switches 1 and 2 go to the
// cut of self-crossing rings (orientation and nesting).
int qd_te_intersect_chain_self_cross(TeChain* chain, nlst** list, double tolerance, int32_t parent_side,
                                     int32_t cross_side, int32_t* crossed);

// Whole lines: every curve, path and ring becomes one PATH chain of all
// its (stroked) points; a point one NODE chain. Kind: 0 exterior ring, 1
// hole, 2 path.
int qd_te_expended_chains_from_node(const GeoPoint* point, TeEncoder* encoder, int32_t* status);
int qd_te_expended_chains_from_linear(GeoCurve* curve, TeEncoder* encoder, int32_t* status);
int qd_te_expended_chains_from_path(GeoPath* path, TeEncoder* encoder, int32_t kind, int32_t* status);
int qd_te_expended_chains_from_surface(TeEncoder* encoder, int32_t* status, GeoPolygon* polygon);
// Topological boundaries: an open line's two ends as NODE chains, nothing
// for a closed line or a point, a surface's rings as PATH chains.
int qd_te_boundary_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* encoder);
int qd_te_boundary_chains_from_path(GeoPath* path, TeEncoder* encoder, int32_t kind, int32_t* status);
int qd_te_boundary_chains_from_surface(int32_t* status, TeEncoder* encoder, GeoPolygon* polygon);
