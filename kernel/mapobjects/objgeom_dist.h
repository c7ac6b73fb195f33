// Distances and intersection tests: point distances on the plane and along
// the sphere, fitting two points to a distance, offsets by a distance, the
// distance from a point to a map object (segments, arcs, texts, quadratic
// curves), the root solvers the curves need, and the intersection and
// containment tests between objects, ellipses included.
//
// Distance methods: 0 great circle, 1 Cartesian, 2 flat approximation on the
// sphere. Mode 1 measures Cartesian in projected systems and along the
// sphere in longitude/latitude; other modes measure along the sphere in every
// earth system; a non-earth system is always Cartesian. Point-to-object
// distances are integer-space lengths in 64 bits: the integer space's
// diagonal (about 2.83e9) does not fit 32.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

struct CoordXform;

constexpr int16_t kDistGreatCircle = 0;
constexpr int16_t kDistCartesian = 1;
constexpr int16_t kDistFlat = 2;

// ---- point distances -------------------------------------------------------
double point_distance(const DPoint* p, const DPoint* q);
double geodist_point_distance(const IntPoint* p, const IntPoint* q);
// Central angle in radians of two (longitude, latitude) points in radians.
double geo_haversine(const DPoint* p, const DPoint* q);
// The arc in degrees between two points in degrees.
double geo_arc_degrees(int16_t* method_out, const DPoint* p, const DPoint* q, int16_t mode, int16_t flat);
double objops_distance(const DPoint* p, const DPoint* q, const CoordXform* xform, int16_t out_units,
                       int16_t in_units, int16_t mode, int16_t* method_out, int16_t flat);
double objops_distance_int(const IntPoint* p, const IntPoint* q, const CoordXform* xform, int16_t out_units,
                           int16_t mode, int16_t* method_out, int16_t flat);
// Moves q (and p with the symmetric flag) until their distance is target;
// the number of rounds.
int32_t objops_fit_distance(DPoint* p, DPoint* q, const CoordXform* xform, double target, int16_t out_units,
                            int16_t in_units, int16_t mode, int16_t* method_out, int16_t symmetric,
                            int16_t horizontal);
int16_t objops_distance_to_deltas(const IntPoint* point, double distance, double* dx_out, double* dy_out,
                                  const CoordXform* xform, int16_t mode, int16_t flat);
void objops_offset_point(IntPoint* out, const IntPoint* point, double direction, double distance, int16_t mode,
                         int16_t flat, const CoordXform* xform);

// ---- point to object ---------------------------------------------------------
struct DistSearch {
  IntPoint point;
  int64_t best;        // starts at INT64_MAX
  IntPoint* segment;   // optional: the nearest segment's two ends
};
int64_t point_object_distance(MapObject* obj, const IntPoint* point, IntPoint* segment_out);
double point_segment_distance(const IntPoint* p, const IntPoint* a, const IntPoint* b, IntPoint* nearest_out);
double point_arc_distance(const IntPoint* p, const IntRect* rect, int16_t start, int16_t end, IntPoint ends_out[2]);
double point_text_distance(const MapObject* text, const IntPoint* p);
void point_bezier_distance(const IntPoint* start, const IntPoint* control, const IntPoint* end, DistSearch* search);
double bezier2_point_distance(double t, const IntPoint* p, const IntPoint* start, const IntPoint* end,
                              const IntPoint* control);

// ---- root solvers (roots into out, the count returned) ---------------------
int32_t solve_linear(double a, double b, double* out);
int32_t solve_quadratic(double a, double b, double c, double out[2]);
double cbrt_real(double x);
int32_t solve_cubic(double a, double b, double c, double d, double out[3]);
int32_t bezier_derivative_roots(const double k[4], double out[3]);

// ---- object tests (1 or 0) ----------------------------------------------------
int16_t objtype_in_basic_set(int32_t type);
int16_t objops_mbr_overlap(const MapObject* a, const MapObject* b);
int16_t objops_mbr_inside(const MapObject* a, const MapObject* b);
int16_t objops_intersects(MapObject* a, MapObject* b);
int16_t objops_within(MapObject* a, MapObject* b);
int16_t objops_within_area(MapObject* a, MapObject* b);
int16_t objops_areas_intersect(MapObject* a, MapObject* b);
int16_t rectlike_intersects(MapObject* a, MapObject* b);
int16_t segment_meets_rect(const IntPoint* a, const IntPoint* b, const IntRect* rect);
int16_t segment_in_rect(const IntPoint* a, const IntPoint* b, const IntRect* rect);
int16_t segment_meets_ellipse(const IntPoint* a, const IntPoint* b, const IntRect* ellipse);
int16_t ellipse_intersects(MapObject* e, MapObject* o);
int16_t ellipses_intersect(const IntRect* e, const IntRect* f);
int16_t objops_within_ellipse(MapObject* a, MapObject* e);
int16_t ellipse_outlines_cross(const IntRect* e, const IntRect* f);
int16_t ellipse_contains_ellipse(const IntRect* e, const IntRect* f);
int16_t quarter_arc_meets_ellipse(double a, double b, double c, double d, double ex, double ey);
int16_t bernstein4_has_root(const double k[5], int32_t depth);
