// The topology engine's tolerant coordinate geometry: the fuzzy primitives,
// the sorted segment sweep, the self-intersection search and the ring
// centroid (topology/shared/, compiled into ql_geometry), and the rest of
// the module in topology/cogo/: point primitives, coordinate arrays,
// straight lines, circles and arcs, splines under tension and their
// intersections, two-array sweeps, ellipses and transform fitting. Results: -1 done, 1 yes or found, 0 no or none, -2 bad
// arguments or degenerate input, -3 out of memory. A null tolerance
// pointer means the default 1e-8.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_types.h"

inline constexpr double QD_TE_DEFAULT_TOLERANCE = 1e-8;

// A coordinate array; as a curve also its end tangents (radians) and end
// condition: 0 both ends free, 1 start given, 2 end given, 3 both, 4 closed.
// `{pts, n}` leaves the curve fields 0.
struct TeCoordArray {
    GeoCoord* pts;
    int32_t n;
    double start_angle = 0.0;
    double end_angle = 0.0;
    int32_t end_condition = 0;
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

// ---- Records of the rest of the module -----------------------------------

// Three points of a circular arc: start, a point on the arc, end.
struct TeArc3 {
    GeoCoord start;
    GeoCoord mid;
    GeoCoord end;
};

struct TeCircle {
    GeoCoord centre;
    double radius;
};

// A counter-clockwise arc from start to end (degrees in [0, 360)); it
// begins with a TeCircle, so circle operations accept it.
struct TeArc {
    GeoCoord centre;
    double radius;
    double start;
    double end;
};

// A coordinate array with its envelope, filled by the caller.
struct TeBoundedArray {
    GeoCoord* pts;
    int32_t n;
    GeoCoord env_min;
    GeoCoord env_max;
};

struct TeNearestPoint {
    GeoCoord point;
    int32_t segment_index;
    int32_t vertex_index;
};

// Bounds of one spline span against its chord: cross values (chord length
// times signed distance, left positive) and positions along the chord.
struct TeSplineBand {
    double left;
    double right;
    double far;
    double near;
    double radius;
};

// The solved spline of one curve.
struct TeSplineWork {
    double sigma;
    TeCoordArray* curve;
    GeoCoord* m;          // n curvature terms (x, y; z spare)
    double* h;            // n - 1 chord lengths
    TeSplineBand* bands;  // n - 1 span bands
};

// (x, y) maps to (a00 x + a01 y + tx, a10 x + a11 y + ty).
struct TeAffine {
    double a00, a01, tx;
    double a10, a11, ty;
};

// A record whose second word points to a coordinate (sorted by
// qd_te_cogo_point_ref_order).
struct TePointRef {
    intptr_t key;
    const GeoCoord* point;
};

// ---- Point primitives ------------------------------------------------------
double qd_te_cogo_distance_3d(const GeoCoord* a, const GeoCoord* b);
int qd_te_same_fuzzy_point_3d(const GeoCoord* a, const GeoCoord* b, double tol);
int qd_te_cogo_sign(double value);
double qd_te_cogo_tolerance_squared(const double* tol);
int qd_te_cogo_collinear(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                         const double* tol);
int qd_te_cogo_unit_direction(const GeoCoord* a, const GeoCoord* b, double* ux, double* uy,
                              const double* tol);
int qd_te_cogo_offset_point(const GeoCoord* a, const GeoCoord* b, double along, double across,
                            GeoCoord* out, const double* tol);
void qd_te_cogo_polar_point(const GeoCoord* centre, double distance, double degrees,
                            GeoCoord* out, const double* tol);
void qd_te_cogo_ellipse_point(const GeoCoord* centre, GeoCoord* out, double radians, double a,
                              double b);
int qd_te_cogo_vertex_angle(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                            double* degrees, const double* tol);
void qd_te_cogo_interpolate_z(const GeoCoord* a, const GeoCoord* b, GeoCoord* p);
void qd_te_cogo_interpolate_z_pair(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                   const GeoCoord* d, GeoCoord* p);
void qd_te_cogo_interpolate_z_arc3(const TeArc3* arc, GeoCoord* p);
// qsort comparison over TePointRef records.
int qd_te_cogo_point_ref_order(const void* a, const void* b);

// ---- Coordinate arrays -----------------------------------------------------
double qd_te_cogo_polyline_length(const GeoCoord* pts, int32_t n);
void qd_te_cogo_reverse_array(GeoCoord* pts, int32_t n);
void qd_te_cogo_reverse_nlst(nlst* coords);
int qd_te_cogo_ring_clockwise(const GeoCoord* pts, int32_t n);
int qd_te_cogo_ring_clockwise_nlst(const nlst* coords);
double qd_te_cogo_ring_area_cw(const GeoCoord* pts, int32_t n);
double qd_te_cogo_triangle_area_cw(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c);
// 8 disjoint, 7 overlap, 9 the first inside the second, 10 the second
// inside the first, 11 an overlap of zero width or height.
int qd_te_cogo_envelope_relation(const GeoCoord* e1, const GeoCoord* e2, GeoCoord* overlap);
int qd_te_cogo_mark_near_duplicates(const GeoCoord* pts, int32_t n, int32_t* flags, double tol,
                                    int three_d);
int qd_te_cogo_mark_near_duplicates_2d(const GeoCoord* pts, int32_t n, int32_t* flags,
                                       double tol);
int qd_te_cogo_mark_near_duplicates_3d(const GeoCoord* pts, int32_t n, int32_t* flags,
                                       double tol);
// 1 removed (out->pts and *map from qd_alloc, the caller frees both), 0 no
// duplicates, -2 a null argument, -3 out of memory (nothing kept).
int qd_te_cogo_remove_duplicates(const TeCoordArray* in, TeCoordArray* out, int32_t** map,
                                 const double* tol);
int qd_te_cogo_remap_intersections(const int32_t* map_a, int use_a, TeIntersectionList* list,
                                   int use_b, const int32_t* map_b);
int qd_te_cogo_point_series(const GeoCoord* a, const GeoCoord* b, double spacing, int32_t count,
                            GeoCoord* out, const double* tol);
int qd_te_cogo_point_series_max(const GeoCoord* a, const GeoCoord* b, double spacing1,
                                double spacing2, int32_t count, GeoCoord* out,
                                const double* tol);

// ---- Straight lines --------------------------------------------------------
int qd_te_cogo_line_intersection(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* q0,
                                 const GeoCoord* q1, GeoCoord* out);
void qd_te_cogo_project_to_line(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b,
                                GeoCoord* out, const double* tol);
void qd_te_cogo_project_to_segment(const GeoCoord* p, const GeoCoord* a, const GeoCoord* b,
                                   GeoCoord* out, const double* tol);
int qd_te_cogo_line_segment_intersection(const GeoCoord* p0, const GeoCoord* p1,
                                         const GeoCoord* q0, const GeoCoord* q1, GeoCoord* out,
                                         const double* tol);
// 12 the segment's line passes left of (or not by) p, 13 right of p,
// 14 through p, 15 p is an end point.
int qd_te_cogo_point_segment_side(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p,
                                  const double* tol);
int qd_te_cogo_closest_point_on_polyline(const GeoCoord* p, const TeCoordArray* array,
                                         TeNearestPoint* out, const double* tol);
double qd_te_cogo_segment_nearest_points(const GeoCoord* a, const GeoCoord* b,
                                         const GeoCoord* c, const GeoCoord* d, GeoCoord* out1,
                                         GeoCoord* out2, const double* tol);
double qd_te_cogo_segment_farthest_points(const GeoCoord* a, const GeoCoord* b,
                                          const GeoCoord* c, const GeoCoord* d, GeoCoord* out1,
                                          GeoCoord* out2, const double* tol);
int qd_te_cogo_offset_segment(const GeoCoord* seg, double across, double extension,
                              GeoCoord* out, const double* tol);
int qd_te_cogo_extend_segment(const GeoCoord* seg, double extension, GeoCoord* out,
                              const double* tol);

// ---- Circles and arcs ------------------------------------------------------
// The angle of p seen from c, degrees in (0, 360].
double qd_te_cogo_point_angle(const GeoCoord* c, const GeoCoord* p);
int qd_te_cogo_arc_from_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                               TeArc* arc, const double* tol);
int qd_te_cogo_circle_from_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                  TeCircle* circle, const double* tol);
int qd_te_cogo_point_on_arc(const TeArc* arc, const GeoCoord* p, const double* tol);
int qd_te_cogo_point_on_arc3(const TeArc3* arc, const GeoCoord* p, const double* tol);
int qd_te_cogo_circle_envelope(const TeCircle* circle, GeoCoord* out, const double* tol);
int qd_te_cogo_arc_envelope(const TeArc* arc, GeoCoord* out, const double* tol);
int qd_te_cogo_arc3_envelope(const TeArc3* arc, GeoCoord* out, const double* tol);
int qd_te_cogo_arc_length(const TeArc* arc, double* out, const double* tol);
int qd_te_cogo_project_to_circle(const TeCircle* circle, const GeoCoord* p, GeoCoord* out,
                                 const double* tol);
int qd_te_cogo_offset_arc3(const GeoCoord* pts, double distance, GeoCoord* out,
                           const double* tol);
int qd_te_cogo_arc3_middle_points(const GeoCoord* a, const GeoCoord* b, const GeoCoord* c,
                                  GeoCoord* out1, GeoCoord* out2, const double* tol);

// ---- Circle and arc intersections (two points out; the answer counts) ----
int qd_te_cogo_line_circle_intersection(const GeoCoord* a, const GeoCoord* b,
                                        const TeCircle* circle, GeoCoord* out,
                                        const double* tol);
int qd_te_cogo_segment_circle_intersection(const GeoCoord* a, const GeoCoord* b,
                                           const TeCircle* circle, GeoCoord* out,
                                           const double* tol);
int qd_te_cogo_segment_arc_intersection(const GeoCoord* a, const GeoCoord* b, const TeArc* arc,
                                        GeoCoord* out, const double* tol);
int qd_te_cogo_segment_arc3_intersection(const GeoCoord* a, const GeoCoord* b,
                                         const TeArc3* arc, GeoCoord* out, const double* tol);
// 0 apart or nested, 1 touching, 2 crossing, 5 concentric, 6 the same.
int qd_te_cogo_circle_relation(const TeCircle* c1, const TeCircle* c2, const double* tol);
int qd_te_cogo_circle_intersection(const TeCircle* c1, const TeCircle* c2, GeoCoord* out,
                                   const double* tol);
int qd_te_cogo_circle_arc_intersection(const TeCircle* circle, const TeArc* arc, GeoCoord* out,
                                       const double* tol);
int qd_te_cogo_arc_intersection(const TeArc* arc1, const TeArc* arc2, GeoCoord* out,
                                const double* tol);
int qd_te_cogo_arc3_intersection(const TeArc3* arc1, const TeArc3* arc2, GeoCoord* out,
                                 const double* tol);
int qd_te_cogo_polyline_circle_intersections(const TeBoundedArray* array,
                                             const TeCircle* circle, TeIntersectionList* list,
                                             int stop_at_first, const double* tol);
int qd_te_cogo_polyline_arc_intersections(const TeBoundedArray* array, const TeArc* arc,
                                          TeIntersectionList* list, int stop_at_first,
                                          const double* tol);

// ---- Two coordinate arrays -------------------------------------------------
int qd_te_cogo_sweep_two_arrays(const TeBoundedArray* a, const TeBoundedArray* b,
                                TeIntersectionList* list, int touching, int stop_at_first,
                                const double* tol);
int qd_te_cogo_segment_polyline_intersections(const GeoCoord* a, const GeoCoord* b,
                                              const TeBoundedArray* poly,
                                              TeIntersectionList* list, int stop_at_first,
                                              const double* tol);
int qd_te_cogo_line_polyline_intersections(const GeoCoord* a, const GeoCoord* b,
                                           const TeBoundedArray* poly, TeIntersectionList* list,
                                           int stop_at_first, const double* tol);
int qd_te_cogo_segment_tag_order(const TeSegment* a, const TeSegment* b);

// ---- Ellipses and arc stroking ---------------------------------------------
double qd_te_cogo_ellipse_radius(const GeoCoord* centre, const GeoCoord* toward, double a,
                                 double b, const double* tol);
int qd_te_cogo_point_in_ellipse(const GeoCoord* p, const GeoCoord* centre, double a, double b,
                                const double* tol);
GeoCoord* qd_te_cogo_ellipse_point_toward(const GeoCoord* p, const GeoCoord* centre,
                                          GeoCoord* out, double a, double b, const double* tol);
int qd_te_cogo_ellipse_offset_point(const GeoCoord* p, const GeoCoord* q, double along_x,
                                    double along_y, double across_x, double across_y,
                                    GeoCoord* out, const double* tol);
int qd_te_cogo_ellipse_offset_segment(const GeoCoord* seg, double across_x, double across_y,
                                      double along_x, double along_y, GeoCoord* out,
                                      const double* tol);
// A new coordinate list (nlst_free releases it), or null.
nlst* qd_te_cogo_stroke_ellipse_arc(const GeoCoord* centre, const GeoCoord* start,
                                    const GeoCoord* end, const GeoCoord* side, double a,
                                    double b, uint32_t count, int mode, const double* tol);

// ---- Transform fitting -----------------------------------------------------
// 1 fitted, -1 fitted with a reflection, 0 not fitted (type 3, 4 or 6).
int qd_te_cogo_fit_transform(int type, int no_reflection, int32_t n, const GeoCoord* src,
                             const GeoCoord* dst, double* sx, double* sy, TeAffine* out);
void qd_te_cogo_apply_transform(const TeAffine* t, const GeoCoord* p, GeoCoord* out);

// ---- Splines under tension (curves through coordinate arrays) --------------
// Arrays given "with neighbours" point at element k of the whole array.
void qd_te_cogo_spline_prepare(TeCoordArray* curve, GeoCoord* r, double* h, GeoCoord* u);
int qd_te_cogo_spline_solve_open(GeoCoord* r, const double* h, double sigma, int32_t n);
int qd_te_cogo_spline_solve_closed(GeoCoord* r, const double* h, double sigma, int32_t m);
int qd_te_cogo_spline_setup(TeCoordArray* curve, TeSplineWork* work, const double* tol);
void qd_te_cogo_spline_bands(TeSplineWork* work, const GeoCoord* y, double ds);
void qd_te_cogo_spline_release(TeSplineWork* work);
// The point at s on the span from p0 to p1 (chord h) with curvature terms
// m[0], m[1]; z -1e6.
GeoCoord qd_te_cogo_spline_point(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* m,
                                 double h, double sigma, double s);
double qd_te_cogo_spline_node_tangent(const GeoCoord* p, double sigma, int32_t k, const double* h,
                                      const double* tol, const GeoCoord* m, const GeoCoord* y);
int qd_te_cogo_spline_tangent_at(TeCoordArray* curve, int32_t k, double* angle,
                                 const double* tol);
int qd_te_cogo_curve_tangent_at(TeCoordArray* curve, int32_t k, double* angle,
                                const double* tol);
void qd_te_cogo_spline_stroke_span(const GeoCoord* p0, const GeoCoord* p1, const GeoCoord* m,
                                   double h, double sigma, GeoCoord* out);
void qd_te_cogo_spline_stroke_spans(const GeoCoord* nodes, int32_t count, GeoCoord* out,
                                    const GeoCoord* m, const double* h, const GeoCoord* y,
                                    const int32_t* counts, double sigma, double step);
// out->pts from qd_alloc (the caller frees it).
int qd_te_cogo_curve_stroke(TeCoordArray* curve, int32_t first, int32_t count, int32_t total,
                            TeCoordArray* out, const double* tol);
int qd_te_cogo_curve_stroke_fine(TeCoordArray* curve, int32_t first, int32_t count,
                                 TeCoordArray* out, const double* tol);
int qd_te_cogo_spline_closest_point(const GeoCoord* p, TeCoordArray* curve, TeNearestPoint* out,
                                    const double* tol);
int qd_te_cogo_curve_closest_point(const GeoCoord* p, TeCoordArray* curve, TeNearestPoint* out,
                                   const double* tol);
int qd_te_cogo_curve_two_to_three(const TeCoordArray* curve, TeCoordArray* out,
                                  const double* tol);
int qd_te_cogo_curve_middle_point(const GeoCoord* pts, double a, double b, int mode,
                                  GeoCoord* out, const double* tol);
void qd_te_cogo_mirror_point(const GeoCoord* a, const GeoCoord* b, double theta, GeoCoord* out);

// ---- Spline intersections ---------------------------------------------------
// Incremental lists: capacity 64, growing by 64 (by half their size past
// 1,024 items); free with qd_te_cogo_intersection_list_free.
int qd_te_cogo_intersection_list_init(TeIntersectionList* list);
int qd_te_cogo_intersection_list_add(int32_t index_a, int32_t index_b, double offset_a,
                                     double offset_b, const double* tol,
                                     TeIntersectionList* list, const GeoCoord* point);
int qd_te_cogo_intersection_list_add_snapped(TeIntersectionList* list, const GeoCoord* point,
                                             int32_t index_a, int32_t index_b, double offset_a,
                                             double offset_b, const GeoCoord* end_a,
                                             const GeoCoord* end_b, const double* tol);
int qd_te_cogo_span_band_overlap(const GeoCoord* a0, const GeoCoord* a1, const GeoCoord* b0,
                                 const GeoCoord* b1, double ha, double hb,
                                 const TeSplineBand* band_a, const TeSplineBand* band_b,
                                 const double* tol);
int qd_te_cogo_segment_band_overlap(const GeoCoord* a, const GeoCoord* b, const GeoCoord* p0,
                                    const GeoCoord* p1, double h, const TeSplineBand* band);
int qd_te_cogo_circle_band_overlap(const TeCircle* circle, const GeoCoord* p0,
                                   const GeoCoord* p1, double r, double h,
                                   const TeSplineBand* band);
// A range is its first and last point in a stroke; an empty range ends
// before it starts.
void qd_te_cogo_stroke_narrow(const GeoCoord** start, const GeoCoord** end, double* left,
                              double* right, double* length, const GeoCoord* other_start,
                              const GeoCoord* other_end, double other_left, double other_right);
int qd_te_cogo_stroke_intersections(const GeoCoord* a_start, const GeoCoord* a_end,
                                    const GeoCoord* b_start, const GeoCoord* b_end,
                                    const TeSplineBand* band_a, const TeSplineBand* band_b,
                                    int32_t index_a, int32_t index_b, TeIntersectionList* list,
                                    int32_t add_a, double base_a, int32_t add_b, double base_b,
                                    const double* tol);
// m points at M(k) (M(k+1) follows).
int qd_te_cogo_segment_span_intersections(const GeoCoord* a, const GeoCoord* b,
                                          const GeoCoord* s0, const GeoCoord* s1,
                                          const GeoCoord* m, double h, double sigma,
                                          int32_t curve_index, int32_t segment_index,
                                          TeIntersectionList* list, int32_t add, double base,
                                          const double* tol);
int qd_te_cogo_circle_span_intersections(const TeCircle* circle, const GeoCoord* s0,
                                         const GeoCoord* s1, const GeoCoord* m, double h,
                                         double sigma, int32_t curve_index,
                                         TeIntersectionList* list, int32_t add, double base,
                                         const double* tol);
int qd_te_cogo_arc_span_intersections(const TeArc* arc, const GeoCoord* s0, const GeoCoord* s1,
                                      const GeoCoord* m, double h, double sigma,
                                      int32_t curve_index, TeIntersectionList* list,
                                      int32_t add, double base, const double* tol);
int qd_te_cogo_curve_self_intersections(TeCoordArray* curve, TeIntersectionList* list,
                                        const double* tol);
int qd_te_cogo_curve_intersections(TeCoordArray* a, TeCoordArray* b, TeIntersectionList* list,
                                   const double* tol);
int qd_te_cogo_segment_curve_intersections(TeCoordArray* curve, const GeoCoord* a,
                                           const GeoCoord* b, TeIntersectionList* list,
                                           const double* tol);
int qd_te_cogo_curve_polyline_intersections(TeCoordArray* curve, const TeBoundedArray* polyline,
                                            TeIntersectionList* list, const double* tol);
int qd_te_cogo_circle_curve_intersections(TeCoordArray* curve, const TeCircle* circle,
                                          TeIntersectionList* list, const double* tol);
int qd_te_cogo_arc_curve_intersections(TeCoordArray* curve, const TeArc* arc,
                                       TeIntersectionList* list, const double* tol);
