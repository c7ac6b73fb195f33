// Normalisation and bounds of map objects: bounding rectangles of sections,
// objects and collections; ring order, polygon grouping and centres.
//
// Bounds are complete. Ring sorting, nesting and centre placement are still
// to come: until then mapobjx_normalize updates the bounds only, and
// kObjGeomNormalizeStubbed says so to the tests that need the rest.
#pragma once
#include <cstdint>

#include "kernel/mapobjects/mapobj.h"

constexpr bool kObjGeomNormalizeStubbed = true;

int16_t mapobjx_normalize(MapObject* obj, int16_t force_center);
int16_t mapobjx_normalize_keep_groups(MapObject* obj, int16_t force_center);
void mapobj_update_mbr(MapObject* obj);
