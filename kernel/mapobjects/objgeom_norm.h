// Normalisation, bounds and measures of map objects: bounding rectangles of
// sections, objects and collections; ring order (largest area first),
// polygon grouping (holes-following counts), centres of regions, polylines
// and multipoints; lengths, perimeters and areas on the plane or on the
// sphere of radius 6,370,997 m.
//
// Normalising regions: S - 1 passes each bring the largest remaining ring
// forward by a swap (so equal rings may change order), then every ring that
// lies inside an earlier ring and not inside one of its holes becomes that
// ring's next hole. Spherical ring areas sign each fan triangle by the
// orientation of its unit vectors on the sphere.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj_sect.h"

struct CoordXform;

// The square of the sphere's radius: the factor of the spherical excess.
constexpr double kSphereRadius2 = 40589602774009.0;

int16_t mapobjx_normalize(MapObject* obj, int16_t force_center);
int16_t mapobjx_normalize_keep_groups(MapObject* obj, int16_t force_center);
void mapobj_update_mbr(MapObject* obj);

// ---- steps ---------------------------------------------------------------------
int16_t mapobjx_sort_sections(MapObject* obj, int16_t keep_groups);
int16_t mapobjx_nest_rings(MapObject* obj);
void mapobjx_region_center(MapObject* obj);
void mapobjx_polyline_center(MapObject* obj);
void mapobjx_multipoint_center(MapObject* obj);
int16_t mapobjx_region_holds_point(const IntPoint* point, const MapObject* obj);
int16_t mapobjx_ring_inside_ring(const MapSection* headers, int32_t inner, int32_t outer);
int16_t mapobjx_scanline_crossing(int32_t y, const IntPoint* a, const IntPoint* b, int32_t* x_out);

// ---- measures ------------------------------------------------------------------
// The plain non-earth transform: integer coordinates taken as they are.
const CoordXform* mapobj_plain_xform();
double mapobj_ring_area(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit,
                        int16_t mode, int16_t* planar_out);
double mapobj_ring_area_planar(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit);
double mapobj_ring_area_sphere(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit);
double mapobj_region_area(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode, int16_t* planar_out);
double mapobj_perimeter(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode);
double mapobj_length(MapObject* obj, const CoordXform* xform, int16_t unit, int16_t mode);
double mapobj_section_length(const MapSection* headers, int32_t section, const CoordXform* xform, int16_t unit,
                             int16_t mode);
