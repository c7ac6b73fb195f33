// The topology engine's tolerant coordinate geometry: the fuzzy primitives,
// the sorted segment sweep, the self-intersection search and the ring
// centroid. Results: -1 done, 1 yes or found, 0 no or none, -2 bad
// arguments or degenerate input, -3 out of memory. A null tolerance
// pointer means the default 1e-8.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

inline constexpr double QD_TE_DEFAULT_TOLERANCE = 1e-8;

struct TeCoordArray {
    GeoCoord* pts;
    int32_t n;
};

struct TeSegment {
    const GeoCoord* end;
    const GeoCoord* start;
    int32_t index;
    int32_t tag;
    GeoCoord env_min;
    GeoCoord env_max;
    int32_t mark;
};

// Where two segments meet; (index, offset) places the point on an array:
// on the segment starting at vertex index, offset from that vertex.
struct TeIntersection {
    GeoCoord point;
    int32_t index_a;
    int32_t index_b;
    double offset_a;
    double offset_b;
};

struct TeIntersectionList {
    int32_t count;
    int32_t capacity;
    TeIntersection* items;
};

double qd_te_cogo_tolerance(const double* tol);
double qd_te_cogo_distance_2d(const GeoCoord* a, const GeoCoord* b);
int qd_te_same_fuzzy_point(const GeoCoord* a, const GeoCoord* b, double tol);
int qd_te_cogo_envelope(GeoCoord* min_max, const GeoCoord* coords, int32_t n);
void qd_te_cogo_segment_envelope(const GeoCoord* a, const GeoCoord* b, GeoCoord* min_max);
double qd_te_cogo_point_segment_distance(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p,
                                         GeoCoord* closest);
int qd_te_cogo_segment_intersection(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* q0,
                                    const GeoCoord* q1, GeoCoord* out, int touching,
                                    const double* tol, int* parallel);
int qd_te_cogo_segment_order(const TeSegment* a, const TeSegment* b);
void qd_te_cogo_intersection_positions(const TeSegment* s, const TeSegment* r, TeIntersection* x,
                                       const double* tol);
int qd_te_cogo_sweep_segments(TeSegment* segments, int32_t count, TeIntersectionList* list,
                              int stop_at_first, int closed, const double* tol);
int qd_te_cogo_self_intersections(const TeCoordArray* array, TeIntersectionList* list,
                                  int stop_at_first, const double* tol);
int qd_te_cogo_self_intersections_nlst(const nlst* coords, TeIntersectionList* list,
                                       int stop_at_first, const double* tol);
int qd_te_cogo_ring_centroid(const TeCoordArray* array, GeoCoord* centroid, const double* tol);
int qd_te_cogo_ring_centroid_pts(GeoCoord* pts, int32_t n, GeoCoord* centroid, const double* tol);
int qd_te_cogo_intersection_list_free(TeIntersectionList* list);
