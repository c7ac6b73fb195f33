// Views of a chain's primitive: the node, the two ends, the circle, the
// three points of an arc and its arc record, vertex copies of a curve or a
// path, and vertex references. Stages read chains through these only. A
// chain that is not CHAIN_OK gives skip 1 untouched; one too short for
// its kind becomes CHAIN_INVALID with skip 1. Answers 1 (also on a skip)
// or 0 on a failure, reported as "UKT1M" naming the function.
//
// Pointers handed out point into the chain's vertex list: good only while
// nothing can grow or replace that list.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"

// A point of a chain (or of a split record) referenced without a copy,
// with a caller's tag, a tolerance, the point's index in its chain (-1 for
// an intersection point) and a match group (-1 none). The pointer is good
// only within a call that cannot grow or rewrite the list it points into;
// debug builds check, on every read, that the list's storage has not moved.
struct TeCoordRef {
    const double* point;  // x, y, z of a TeVertex or of a GeoCoord
    int32_t tag;
    double tol;
    int32_t index;
    int32_t group;
    const nlst* source;   // the list holding the point, or null
    const void* storage;  // source's storage when the reference was made
};

// A reference to a vertex of a list of TeVertex (or of any record starting
// with x, y, z) at a given storage address.
TeCoordRef qd_te_coord_ref(const nlst* source, const double* point, int32_t tag, double tol,
                           int32_t index);
// The referenced point (asserts in debug builds that the storage stayed).
GeoCoord qd_te_ref_point(const TeCoordRef* ref);

struct TeCurveView {
    TeCoordArray array;  // new copy of the vertices; freed by the caller (qd_free)
};

struct TePathView {
    TeCoordArray array;  // new copy of the vertices; freed by the caller (qd_free)
    GeoCoord envelope[2];
};

int qd_te_form_node(TeChain* chain, TeVertex** node, int32_t* skip);
int qd_te_form_start_end(TeChain* chain, TeVertex** first, TeVertex** last, int32_t* skip);
int qd_te_form_vect(TeChain* chain, TeVertex** first, TeVertex** last, int32_t* skip);
int qd_te_form_circle(TeChain* chain, TeCircle* circle, int32_t* skip);
int qd_te_form_arc3(TeChain* chain, TeArc3* arc, int32_t true_middle, int32_t* skip);
int qd_te_form_arc(TeChain* chain, TeArc* arc, int32_t true_middle, int32_t* skip);
int qd_te_form_curve(TeChain* chain, TeCurveView* view, int32_t stroke, int32_t* skip);
int qd_te_form_polyline(TeChain* chain, TePathView* view, int32_t stroke, int32_t* skip);
// Appends one TeCoordRef per vertex to *holder (made on first use); the
// tolerance is *tol or, when tol is null, each vertex's own.
int qd_te_form_pathpoint(TeChain* chain, nlst** holder, int32_t tag, const double* tol,
                         int32_t* skip);

int qd_te_fuzzy_arc_midptn(TeArc3* arc, int32_t* skip);
int qd_te_fuzzy_chain_closed(TeChain* chain, double tolerance, int32_t* closed);
int qd_te_fuzzy_poly_closed(const nlst* vertices, double tolerance, int32_t* closed);
int qd_te_fuzzy_point_in_envelope(const GeoCoord* point, double tolerance,
                                  const GeoCoord envelope[2]);
int qd_te_fuzzy_alloc_intersections(int32_t n, TeIntersection** holder);

// The two points of a circle halfway between start and end.
int qd_te_split_cir_midptn(const GeoCoord* start, const GeoCoord* end, const TeCircle* circle,
                           GeoCoord candidates[2], int32_t* skip);

// Checks and filters of chains and coordinate arrays.
int qd_te_geo_chain_path_check(TeChain* chain, int32_t mode, double tolerance);
int qd_te_geo_chain_spike_check(TeChain* chain, int32_t* is_spike, int32_t mode, double tolerance);
int qd_te_geo_dist_filter_crd(GeoCoord* points, int32_t* n, double distance, int32_t mode);
int qd_te_geo_bend_filter_crd(GeoCoord* points, int32_t* n, double tolerance, int32_t mode);
int qd_te_geo_dist_filter_chain(TeChain* chain, double distance, int32_t mode);
int qd_te_geo_bend_filter_chain(TeChain* chain, double tolerance, int32_t mode);
int qd_te_geo_filter_seg(TeChain* chain, GeoCoord* points, int32_t* n, double distance, double bend);
int qd_te_geo_filter_chain(TeChain* chain, double distance, double bend, double tolerance);

// The common chain check; arcs closed on themselves become circles.
int qd_te_cluster_chain_check(int32_t mode, double tolerance, int32_t* degenerate, TeChain* chain);
int qd_te_cluster_convert_arc_to_circle(TeChain* chain);
