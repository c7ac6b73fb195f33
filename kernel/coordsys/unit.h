// Distance and area units (codes 0..37, the special codes 1000..1002), the
// conversions between them (through a transform's projection where degrees
// are on one side) and the process-wide coordinate-system list and current
// units.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

constexpr int16_t kUnitCount = 38;
constexpr int16_t kUnitMile = 0;
constexpr int16_t kUnitMetre = 7;
constexpr int16_t kUnitDegree = 13;
constexpr int16_t kUnitSqMile = 14;

int16_t unit_valid(int32_t code);
int16_t unit_is_special(int32_t code);
int16_t units_kind_valid(int32_t kind);
// 1 linear, 0 area (and 0 for an invalid code).
int16_t unit_kind(int32_t code);
int16_t unit_area_unit(int32_t code);
int16_t unit_from_name(const char* name, int16_t* code);
int16_t unit_get_name(int32_t code, char* buffer, int32_t size);
int16_t unit_get_special_name(int32_t code, char* buffer, int32_t size);
void unit_convert(double* out, int32_t to_unit, double value, int32_t from_unit);
void unit_convert_xy(DPoint* out, int32_t from_unit, const DPoint* point, int32_t to_unit);
void unit_convert_point(DPoint* out, int32_t to_unit, const DPoint* point, int32_t from_unit,
                        const CoordXform* xform);
void unit_convert_rect(const DRect* rect, DRect* out, int32_t from_unit, int32_t to_unit);
void unit_convert_bounds(DRect* out, int32_t to_unit, const DRect* rect, int32_t from_unit,
                         const CoordXform* xform);

// ---- coordinate-system list and current units ----------------------------------
constexpr int kCsysListMax = 255;
int16_t csys_list_find(const CoordXform* xform, uint8_t* index);
// Refuses (0) when the list already holds 255 entries.
int16_t csys_list_add(const CoordXform* xform, uint8_t* index);
int16_t csys_list_intern(const CoordXform* xform, uint8_t* index);
int16_t csys_list_get(int32_t index, CoordXform* out);
int32_t csys_list_count();
void csys_list_free();
int16_t csys_list_init_default();
int32_t csys_get_current();
int16_t csys_set_current(int32_t index);
int16_t csys_get_current_xform(CoordXform* out);
int16_t csys_get_units(int16_t default_unit, int16_t kind);
void csys_set_units(int16_t kind, int16_t unit);
// Back to the start state (tests).
void csys_reset();
