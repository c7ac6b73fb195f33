// Point, segment and object tests in integer coordinates: whether a point
// lies in or on an object, whether two segments meet and where, whether a
// segment or object lies inside a region, and whether two objects touch,
// cross or lie on one another.
//
// Point-in-ring is crossing parity with a horizontal ray towards +x; a
// segment's upper end does not count, so a ray through a vertex counts it
// once, and a point on the boundary is inside. Cross values and crossings
// are worked in doubles; the exact on-the-line test in 128-bit integers.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj_iter.h"
#include "kernel/mapobjects/mapobj_sect.h"

// Kinds of seg_intersect.
constexpr int16_t kSegCross = 1;
constexpr int16_t kSegOverlap = 2;
constexpr int16_t kSegSharedEnd = 4;
constexpr int16_t kSegSameEnds = 8;

// Classes of isect_point_vs_segment.
constexpr int16_t kPointOnSegment = 0;
constexpr int16_t kPointRayCrosses = 1;
constexpr int16_t kPointSegmentLeft = 2;

// ---- point tests -------------------------------------------------------------
int16_t isect_point_vs_segment(const IntPoint* p, const IntPoint* a, const IntPoint* b, int16_t* class_out,
                               int16_t half_open);
int16_t isect_point_vs_segment_yx(const IntPoint* p, const IntPoint* a, const IntPoint* b, int16_t* class_out,
                                  int16_t half_open);
struct RingCrossing {
  IntPoint point;
  int16_t inside;    // parity
  int16_t boundary;  // the point lies on a segment
};
int16_t mapobjx_ring_crossing_step(const IntPoint* a, const IntPoint* b, void* state);
int16_t mapobjx_point_in_ring(const IntPoint* point, const MapSection* headers, int32_t section);
int16_t mapobjx_point_in_region(const IntPoint* point, const MapObject* obj);
int16_t mapobjx_point_in_object(const IntPoint* point, const MapObject* obj);
int16_t mapobj_point_in_area(const IntPoint* point, const MapObject* obj);
int16_t mapobj_point_in_ellipse(const IntPoint* point, const MapObject* obj);
int16_t mapobj_centroid_inside(const MapObject* obj, const MapObject* other);
int16_t objtext_point_in_corners(const MapObject* text, const IntPoint* point);

// ---- segment tests -------------------------------------------------------------
int16_t seg_contains_point(const IntPoint* p, const IntPoint* a, const IntPoint* b);
int16_t seg_on_segment(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d);
int16_t seg_touch(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d);
int16_t seg_intersect(const IntPoint* a, const IntPoint* b, const IntPoint* c, const IntPoint* d, IntPoint out[2],
                      int16_t* kind_out);
void mapobjx_point_midpoint(const IntPoint* a, const IntPoint* b, IntPoint* out);
void mapobjx_points_bounds(IntRect* rect, const IntPoint* points, int32_t n);
int16_t quad_contains_point(const IntPoint* point, const IntPoint* polygon, int32_t n);
int16_t quad_edges_intersect(const IntPoint* p, const IntPoint* q, int32_t n);
int16_t quads_overlap(const IntPoint p[4], const IntPoint q[4], int16_t bounds_only);

// ---- object tests --------------------------------------------------------------
int16_t mapobjx_segment_hits_object(const IntPoint* a, const IntPoint* b, MapObject* obj);
int16_t mapobjx_segment_in_region(const IntPoint* a, const IntPoint* b, MapObject* region);
int16_t mapobjx_segment_on_object(const IntPoint* a, const IntPoint* b, MapObject* obj);
int16_t mapobjx_region_intersects(MapObject* region, MapObject* other);
int16_t mapobjx_within_region(MapObject* obj, MapObject* region);
int16_t mapobjx_objects_cross(MapObject* obj, MapObject* other);
int16_t mapobjx_object_on_object(MapObject* obj, MapObject* other);

// ---- walks that stop at the first point or segment fn answers true for ------
template <typename Fn>
bool mapobj_any_point(MapObject* obj, Fn fn) {
  struct Ctx {
    Fn* fn;
    bool hit;
  } ctx{&fn, false};
  mapobj_for_each_point(obj, [](const IntPoint* p, void* u) -> int16_t {
    auto* c = static_cast<Ctx*>(u);
    c->hit = (*c->fn)(p);
    return c->hit ? 0 : 1;
  }, &ctx);
  return ctx.hit;
}

template <typename Fn>
bool mapobj_any_segment(MapObject* obj, Fn fn) {
  struct Ctx {
    Fn* fn;
    bool hit;
  } ctx{&fn, false};
  mapobj_for_each_segment(obj, [](const IntPoint* a, const IntPoint* b, void* u) -> int16_t {
    auto* c = static_cast<Ctx*>(u);
    c->hit = (*c->fn)(a, b);
    return c->hit ? 0 : 1;
  }, &ctx);
  return ctx.hit;
}
