// Plain coordinate geometry of the geometry library: point equality,
// distances, ring area and orientation, envelopes, segment intersection,
// point in ring, circles, arc and spline stroking, line generalisation.
// Stateless; only qd_cogo_poly_area reports.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

// A total order of doubles for sorting: numbers ascending, NaN after all
// of them (a sort whose comparison is not a total order may run wild).
int qd_cogo_compare(double a, double b);
int qd_cogo_same_point(const GeoCoord* a, const GeoCoord* b);
int qd_cogo_same_point_2d(const GeoCoord* a, const GeoCoord* b);
double qd_cogo_distance_2d(const GeoCoord* a, const GeoCoord* b);
double qd_cogo_distance_3d(const GeoCoord* a, const GeoCoord* b);
double qd_cogo_point_segment_distance_2d(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b);
double qd_cogo_point_segment_distance_3d(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b);
int qd_cogo_poly_area(const nlst* ring, double* area);
int qd_cogo_is_clockwise(const nlst* ring);
int qd_cogo_reverse(nlst* list);
int qd_cogo_envelope(GeoCoord* min, GeoCoord* max, const GeoCoord* coords, uint32_t count);
int qd_cogo_envelope_intersect(const GeoCoord* min1, const GeoCoord* max1, const GeoCoord* min2,
                               const GeoCoord* max2, GeoCoord* out_min, GeoCoord* out_max);
// Bits: 1 y above the maximum, 2 y below the minimum, 4 x right, 8 x left.
int qd_cogo_outcode(const GeoCoord* p, const GeoCoord* min, const GeoCoord* max);
int qd_cogo_segment_intersection(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                 const GeoCoord* d, GeoCoord* out);
int qd_cogo_segment_cross(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                          const GeoCoord* d, GeoCoord* out);
int qd_cogo_point_in_ring(const GeoCoord* p, const nlst* ring);
int qd_cogo_circle_centre(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                          GeoCoord* centre, double* radius);
// The point at the distance |other - base| from base in the direction
// 2 phi + pi - theta, theta the direction from base to other.
void qd_cogo_turn_point(const GeoCoord* base, const GeoCoord* other, double phi, GeoCoord* out);
nlst* qd_cogo_stroke_arc(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c, int n);
nlst* qd_cogo_stroke_spline(const nlst* coords, const GeoTangents* tangents, int s);
// Strokes n points (at least three) into list; 1, or 0 when nothing could be added.
int qd_cogo_spline_points(const GeoCoord* points, uint32_t n, const GeoTangents* tangents,
                          int s, nlst* list);
nlst* qd_cogo_generalize(const nlst* list, double tolerance, int mode);
nlst* qd_cogo_generalize_2d(const nlst* list, double tolerance);
nlst* qd_cogo_generalize_3d(const nlst* list, double tolerance);
// Marks (sets to 1) the removable points strictly between first and last.
// Works with an explicit stack, so long lines need no deep recursion.
// 1, or 0 when its working storage could not be had.
int32_t qd_cogo_generalize_range(const GeoCoord* points, int32_t* marks, double tolerance,
                                 uint32_t first, uint32_t last, int mode);
int qd_cogo_line_self_crossing(const nlst* list, int* crosses);
