// Buffer encodings and the nested buffer and boundary runs: a primitive in
// a buffer mode becomes the outline rings of its buffer zone; a nested run
// assembles them and feeds the result back into the main run.
#pragma once

#include <cstdint>

#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_form_chains.h"

// Encoder settings for one buffer ring of the kind (0 exterior, 1 hole,
// 2 line) and width; raises the statistics' data dimension to 3.
int qd_te_buffer_chain_settings(TeEncoder* encoder, int32_t kind, double width);
// One circle or ellipse ring around centre, radius grown (direction 1) or
// shrunk (-1) by the buffer widths, as a clockwise PATH chain.
int qd_te_buffer_chain_circle_expend(const GeoCoord* centre, TeEncoder* encoder, double radius,
                                     int32_t direction, int32_t* status);
// The ring around a point; status -1 for a negative width with buffer option 0.
int qd_te_buffer_chain_node(TeEncoder* encoder, const GeoCoord* coord, int32_t* status);
// Rings of a curve, of a path (kind 0 exterior, 1 hole, 2 line) and of a
// surface's rings.
int qd_te_buffer_chains_from_linear(int32_t* status, GeoCurve* curve, TeEncoder* encoder);
int qd_te_buffer_chains_from_path(int32_t* status, GeoPath* path, TeEncoder* encoder, int32_t kind);
int qd_te_buffer_chains_from_surface(int32_t* status, TeEncoder* encoder, GeoPolygon* polygon);

int32_t qd_te_buffer_output_geom_method(SpatialObject* geometry, nlst* parents, void* context);
int32_t qd_te_boundary_output_geom_method(SpatialObject* geometry, nlst* parents, void* context);
int qd_te_buffer_dissolve_geom(nlst* target, TeRules* rules);

// 1 when point lies nearer to the segment start-end than the buffer reach
// (elliptical with two_sided 1) by more than a small margin; a point on the
// buffer line stays outside.
int qd_te_buffer_point_filter(const TeBufferWidth* widths, const GeoCoord* start, const GeoCoord* point,
                              const GeoCoord* end);
// Removes from the pieces at rows start.. the vertices inside the buffer
// distance of the ring (n points) and drops pieces left too small.
int qd_te_buffer_chain_filter(nlst* chains, int32_t start, const GeoCoord* ring, int32_t n,
                              const TeBufferWidth* widths);
// As qd_te_buffer_chain_filter for the pieces of the outline (count
// points): a vertex that is not an outline point (a crossing the split
// inserted) is removed only when it lies inside the reach by more than the
// sagitta of a stroked arc's chord, as crossings of two chords lie inside
// the true arcs by up to that.
int qd_te_buffer_chain_filter_outline(nlst* chains, int32_t start, const GeoCoord* ring, int32_t n,
                                      const TeBufferWidth* widths, const GeoCoord* outline, int32_t count);
// The boundary of the buffer zone of the ring (n points) traced from its raw
// outline (count points, closed): the outline is cut where it crosses
// itself, the pieces with a point inside the reach (or a segment whose
// middle lies deeper than a stroked chord's) are dropped, and the rest are
// linked end to start into rings, each with the zone on its right. The
// rings' points (each ring closed) go to *points and their counts to *sizes
// (new lists the caller frees). *traced is 0, and nothing is made, when the
// outline does not cross itself or the kept pieces do not link up.
int qd_te_buffer_trace_outline(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, const GeoCoord* outline,
                               int32_t count, double tolerance, nlst** points, nlst** sizes, int32_t* traced);
// The same for two closed outlines together (the two sides of a closed
// line, each offset round with its own joins and no caps): they are cut
// where they cross themselves or each other, and an outline that nothing
// crosses is one piece, kept whole or dropped.
int qd_te_buffer_trace_outlines(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, const GeoCoord* first,
                                int32_t first_count, const GeoCoord* second, int32_t second_count, double tolerance,
                                nlst** points, nlst** sizes, int32_t* traced);
// Deletes the open pieces at rows start..end-1 by the parity of the closed
// pieces among them that contain them (kinds 0 and 1 only): for an exterior
// ring an open piece inside an odd number of closed ones goes when the width
// is 0 or more, inside an even number when it is negative; a hole the other
// way round.
int qd_te_buffer_chain_cross_spikes(TeEncoder* encoder, int32_t start, int32_t end, int32_t kind);
// Appends a REGION or ISLAND twin (negated chain_pid) for each kept piece
// from row start on, chosen by the ring kind and the piece's parents.
int qd_te_buffer_chain_cutter(int32_t start, TeEncoder* encoder, int32_t kind);
// The raw outline of the buffer zone of one closed clockwise ring (n points,
// the last equal to the first within tolerance): a new array from qd_alloc
// in *outline (the caller frees it with qd_free) and its count. Status -2
// for an open ring or fewer than 4 outline points, -1 for offsets that
// cannot be formed.
int qd_te_buffer_polygon(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, int32_t arc_segments,
                         GeoCoord** outline, int32_t* count, double tolerance, int32_t* status);

// One corner of an outline, per ring vertex: a single point (joined 1) or a
// run of points (joined 0: an arc around the vertex, or two corners' runs
// merged). points come from qd_alloc; entry is the last point of the
// corner before it; a dropped corner is left out of the outline.
struct TeBufferCorner {
    int32_t vertex;
    int32_t joined;
    GeoCoord point;  // the corner point; for an arc, the vertex it turns around
    GeoCoord* points;
    int32_t count;
    GeoCoord env_min;
    GeoCoord env_max;
    GeoCoord entry;
    int32_t dropped;
};

// Strokes the arc of an unjoined corner from three[0] through three[1] to
// three[2] around centre (round of |width|, or with two_sided 1 elliptical);
// an arc that cannot be stroked leaves the corner joined. 1 or 0.
int qd_te_buffer_prepare_arc(const TeBufferWidth* widths, int32_t arc_segments, TeBufferCorner* corner,
                             const GeoCoord* three, const GeoCoord* centre, double tolerance);
// Cuts an arc corner where it overruns the offsets of the ring segments two
// steps away: the head (negative width) and the tail. An arc left with no
// point is dropped. 1 or 0.
int qd_te_buffer_clip_arc_tail(const TeBufferWidth* widths, int32_t arc_segments, const GeoCoord* ring, int32_t n,
                               TeBufferCorner* corner);
// Cuts the arc points (count of them) by the segment start-end: mode 1 the
// head before the first meeting point, mode 2 the tail after the last. The
// meeting point, found on a chord, is moved along the segment onto the arc's
// ellipse (semi-axes a along x, b along y around centre; a of 0: left on the
// chord). 1, or 0 when memory runs out.
int qd_te_buffer_clip_arc_by_line(const GeoCoord* end, GeoCoord** points, int32_t* count, const GeoCoord* start,
                                  const GeoCoord* centre, double a, double b, int32_t mode);
int qd_te_buffer_clip_arc(GeoCoord** points, int32_t* count, TeIntersectionList* hits, const GeoCoord* centre,
                          double a, double b, const GeoCoord* start, const GeoCoord* end, int32_t mode);
// Cuts an arc corner by the outline segment leading into its single-point
// neighbour (mode 1 head, 2 tail). 1 or 0.
int qd_te_buffer_clip_border(TeBufferCorner* corner, const TeBufferCorner* neighbour, int32_t mode,
                             const TeBufferWidth* widths);
// When the run of corner's and next's points crosses itself, next is dropped
// and corner keeps the run without its first loop; the crossing, found on
// chords, is moved onto the true arcs (of the widths) that cross. 1 or 0.
int qd_te_buffer_trim_border(TeBufferCorner* corner, TeBufferCorner* next, const TeBufferWidth* widths);
int qd_te_buffer_trim_repack(TeBufferCorner* corner, TeIntersectionList* crossings, const nlst* run);
// The corner pass over a list of TeBufferCorner: entry points, border cuts
// and trims. Status -1 with at most 2 corners. 1 or 0.
int qd_te_buffer_clip_corners(int32_t* status, nlst* corners, const TeBufferWidth* widths, int32_t arc_segments);
// The outline from the corners (dropped ones left out), closed on its last
// point: a new qd_alloc array. Status -1 for 2 points or fewer. 1 or 0.
int qd_te_buffer_form_outline(const nlst* corners, GeoCoord** outline, int32_t* count, int32_t* status);
void qd_te_buffer_corner_points_free(GeoCoord** points);
void qd_te_buffer_corners_free(nlst* corners);
// Orders of TeIntersection records: by index then offset of slot A, or of B.
int qd_te_intersection_compare_a(const void* a, const void* b);
int qd_te_intersection_compare_b(const void* a, const void* b);
// One closed ring of the kind: outline, split at its crossings, filtered,
// with twins. Status -2 for an open ring.
int qd_te_buffer_chain_ring(int32_t* status, TeEncoder* encoder, const GeoCoord* ring, int32_t n, int32_t kind);
// A closed array as a ring, or an open one doubled back and buffered as a line.
int qd_te_buffer_chain_poly(int32_t n, TeEncoder* encoder, const GeoCoord* coords, int32_t kind, int32_t* status);
// Distance filter (distance at least 1e-10) then bend filter of an array,
// both in 3D; a null array or count changes nothing.
int qd_te_buffer_ring_prefilter(double distance, double bend, GeoCoord* coords, int32_t* n);
// A ring or line of the kind after the pre-filter; an array that crosses
// itself (with the self-crossing test on) is split first and each piece
// buffered by the kind its parents give it.
int qd_te_buffer_chain_cross_ring(const GeoCoord* coords, TeEncoder* encoder, int32_t n, int32_t kind,
                                  int32_t* status);
// Outer and (for a radius beyond the reach) inner ring of a full circle.
int qd_te_buffer_chain_circle(const GeoCoord* centre, double radius, int32_t* status, TeEncoder* encoder);
// An open three-point arc, stroked and buffered as a line.
int qd_te_buffer_chain_arc(const GeoCoord* coords, TeEncoder* encoder, int32_t n, int32_t* status);
