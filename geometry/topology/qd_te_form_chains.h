// Geometry input: the walk over a run's input packs, the geometry and
// primitive checks, the dispatch of each primitive to its encoder, the
// LOADER count and the ADJUST vertex moves; the encoders themselves.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_util.h"

// Geometry and primitive statuses of the input checks.
enum : int32_t {
    TE_STATUS_ACCEPTED = 1,
    TE_STATUS_NO_ENVELOPE = 0,
    TE_STATUS_NO_PRIMITIVES = -3,
    TE_STATUS_OUTSIDE = -4,
    TE_STATUS_BAD_TYPE = -5,
    TE_STATUS_NULL = -6,
    TE_STATUS_DIMENSION = -7,
    TE_STATUS_BAD_CUTTER = -42,
    TE_STATUS_BUFFER_WIDTH = -43,
};

// The state of one primitive's encoding.
struct TeEncoder {
    TeRules* rules;
    TeKeys keys;
    int32_t parent_side;   // 0 right, 1 left, 2 both, 3 none
    int32_t cross_side;
    int32_t feature_id;
    int32_t region_chain;
    int32_t no_seek;
    int32_t ring_kind;     // 0 exterior, 1 hole, 2 not a surface ring
    int32_t ring_pending;
    nlst* boundary_segments;
    nlst* chains;          // TeChain made for this primitive
};

int qd_te_chains_from_object_list(nlst* packs, TeRules* rules, nlst* chains);
int qd_te_chains_from_object_list_prune(nlst* packs, TeRules* rules, nlst* chains);
int qd_te_chains_from_geometry(SpatialObject* geometry, TeRules* rules, TeKeys* keys, nlst* chains,
                               nlst* adjust_list, const TeClip* clip, int32_t* status);
int qd_te_encode_check_geom(int* has_polygons, SpatialObject* geometry, int32_t* status,
                            TeRules* rules, int* all_points);
int qd_te_encode_check_topology(TeRules* rules, int32_t* status, GeometricPrimitive* primitive,
                                int32_t key);
int qd_te_encode_check_cutter(TeRules* rules, const GeometricPrimitive* primitive, int32_t* status,
                              const TeKeys* keys);
int qd_te_encode_feature(TeRules* rules, GeometricPrimitive* primitive, TeKeys* keys, nlst* chains,
                         nlst* adjust_list, int32_t* status);
int qd_te_encode_init(TeRules* rules, const TeKeys* keys, TeEncoder* encoder);
int qd_te_encode_free(TeEncoder* encoder);
int qd_te_encode_load_chains(void* chain, void* list_address);
int qd_te_encode_feature_loader(TeEncoder* encoder, int32_t* status, GeometricPrimitive* primitive);
int qd_te_encode_feature_adjust(int32_t* status, const nlst* adjust_list, TeEncoder* encoder,
                                GeometricPrimitive* primitive);
int qd_te_adjust_vertex(double tolerance, GeoCoord* coord, const nlst* adjust_list);
int qd_te_adjust_vertices(nlst* coords, double tolerance, const nlst* adjust_list);
int qd_te_encode_adjust_update_curve(double tolerance, const nlst* adjust_list, GeoCurve* curve);
int qd_te_encode_adjust_update_path(GeoPath* path, double tolerance, const nlst* adjust_list);
int qd_te_encode_adjust_update_polygon(GeoPolygon* polygon, double tolerance,
                                       const nlst* adjust_list);

// Encoders by primitive (chain encoding, boundaries, buffers, clipping).
int qd_te_encode_feature_primitive(GeometricPrimitive* primitive, TeEncoder* encoder,
                                   int32_t* status, TeRules* rules);
int qd_te_encode_feature_expended(int32_t* status, TeEncoder* encoder, GeometricPrimitive* primitive);
int qd_te_encode_feature_boundary(int32_t* status, TeEncoder* encoder, GeometricPrimitive* primitive);
int qd_te_encode_feature_buffer(int32_t* status, TeEncoder* encoder, GeometricPrimitive* primitive);
int qd_te_encode_clipping(TeRules* rules, SpatialObject* geometry, const TeClip* clip);
// The clipping run's output method: the result moves into the geometry.
int32_t qd_te_clipping_output_geom_method(SpatialObject* result, nlst* parents, void* geometry);
int qd_te_buffer_output_geom(int32_t* status, TeRules* rules, TeKeys* keys, nlst* chains,
                             nlst* target, int32_t all_points);
int qd_te_boundary_output_geom(TeRules* rules, nlst* chains, TeKeys* keys, nlst* target,
                               int32_t* status);
int qd_te_buffer_output(TeRules* rules, nlst* chains);
