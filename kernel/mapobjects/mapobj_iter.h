// Iteration over an object's points, segments, sections and curve steps,
// addressing single nodes by part and index, and shape conversion: shapes to
// polylines and regions, polylines to regions and back, node ranges to new
// objects, and objects into their single pieces.
//
// A part is a section of a polyline or region and the whole object
// otherwise. New objects are heap objects the caller destroys.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj_sect.h"

using MapPointFn = int16_t (*)(const IntPoint* point, void* user);
using MapPairFn = int16_t (*)(const IntPoint* a, const IntPoint* b, void* user);
using MapSectionFn = int16_t (*)(const MapSection* section, const IntPoint* nodes, void* user);
using MapCurveFn = int16_t (*)(const IntPoint* a, const IntPoint* b, const IntPoint* c, void* user);
// Receives each piece's handle and owns the piece from then on.
using MapPieceFn = int16_t (*)(MapHandle piece, void* user);

// ---- iterators -------------------------------------------------------------
int16_t mapobj_for_each_point(MapObject* obj, MapPointFn fn, void* user);
int16_t mapobj_for_each_segment(MapObject* obj, MapPairFn fn, void* user);
int16_t mapobj_for_each_section(MapObject* obj, MapSectionFn fn, void* user);
int16_t mapobj_for_each_curve_step(MapObject* obj, MapCurveFn fn, void* user);

// ---- node addressing (headers locked without pointers) --------------------
int32_t mapobj_part_count(const MapObject* obj);
void mapobj_part_mbr(const MapObject* obj, const MapSection* sections, int32_t part, IntRect* out);
int32_t mapobj_part_node_count(const MapObject* obj, const MapSection* sections, int32_t part);
int32_t mapobj_wrap_node_index(const MapObject* obj, const MapSection* sections, int32_t part, int32_t index);
int16_t mapobj_get_node(const MapObject* obj, const MapSection* sections, IntPoint* out, int32_t part,
                        int32_t index);
int16_t mapobj_set_node(MapObject* obj, MapSection* sections, const IntPoint* point, int32_t part, int32_t index);
int16_t mapobj_find_node(const MapObject* obj, const MapSection* sections, const IntPoint* point,
                         int32_t* part_out, int32_t* index_out);
int16_t mapobj_middle_segment(MapObject* obj, IntPoint out[2]);
int16_t mapobj_label_point(MapObject* obj, IntPoint* out);
void mapobj_point_or_midpoint(const IntPoint* a, IntPoint* out, int16_t flag, const IntPoint* b);

// ---- range checks of editing front ends -----------------------------------
// A node range of one section: 0-based section index, start and end nodes.
struct MapRange {
  int32_t section;
  int32_t start;
  int32_t end;
};
constexpr int32_t kMapRangePastLast = 1;  // section S + 1 names a new section
constexpr int32_t kMapRangeNeedEnd = 2;   // an end of 0 is refused
// 1-based section (in storage order; polylines always use section 1 while
// the statement language version is below 300), start and end (0: none, the
// start alone). Answers 0 valid, 2 no such section, 3 bad start, 4 bad end;
// *past_last_out says that the range names the section after the last.
int16_t mapobj_check_range(const MapObject* obj, int32_t section, int32_t start, int32_t end, int32_t options,
                           MapRange* out, int16_t* past_last_out);
// A multipoint's 1-based start node: 0 valid, 3 bad start.
int16_t mapobj_check_range_any(const MapObject* obj, int32_t start, MapRange* out);
// The last index of count nodes from start among n (a ring wraps).
int32_t mapobj_range_end(int32_t start, int32_t count, int32_t n, int16_t ring);
// The runs of a range among n nodes: one when end >= start, else start..n-1
// and 0..end. Answers the number of runs.
int32_t mapobj_range_split(int32_t start, int32_t end, int32_t n, MapRange runs[2]);

// ---- conversion ------------------------------------------------------------
int32_t mapobj_line_points(IntPoint* out, const MapObject* obj);
int32_t mapobj_rect_ring(IntPoint* out, const MapObject* obj);
// Points of a shape in a new kernel block (*out_ref); the count, 0 for
// other types.
int32_t mapobj_shape_points(IntPoint** out_ref, const MapObject* obj, void** aux, int16_t region,
                            int32_t resolution);
MapObject* mapobj_from_points(const IntPoint* points, int32_t n, const MapObject* model, int16_t region);
MapObject* mapobj_from_points_plain(const IntPoint* points, int32_t n, int16_t region);
MapObject* mapobj_poly_convert(int16_t region, const MapObject* obj);
MapObject* mapobj_to_poly(const MapObject* obj, int16_t region, int32_t resolution);
MapObject* mapobj_to_polyline_or_region(const MapObject* obj, int16_t region);
MapObject* mapobj_finish_converted(int16_t success, MapObject* made, MapObject* headers_owner,
                                   MapSection* headers, const MapObject* model);
MapObject* mapobj_extract_range(const MapObject* obj, int32_t section, int32_t start, int32_t end, int16_t region);
int16_t mapobj_explode(const MapObject* obj, int16_t no_holes, MapPieceFn fn, void* user);
MapObject* mapobj_dup_if(int16_t flag, const MapObject* obj);
