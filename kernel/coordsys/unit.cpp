// Unit table and unit conversions; the coordinate-system list and the
// current units.
//
// Where degrees stand on one side of a conversion and a transform is given,
// the conversion goes through the transform's projection (lon/lat of its own
// datum), never through the degree factor.
#include "kernel/coordsys/unit.h"

#include <algorithm>
#include <cstring>

#include "kernel/coordsys/xform.h"
#include "kernel/runtime/hooks.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/mem.h"
#include "kernel/runtime/str.h"

namespace {

struct UnitRow {
  double factor;  // size in inches, or square inches for an area unit
  int16_t paired;
  int16_t kind;   // 1 linear, 0 area
};

// By unit code 0..37; the names are kernel strings 6400 + code.
const UnitRow kUnits[kUnitCount] = {
    {63360, 14, 1},                  // mi
    {39370.07874015748, 15, 1},      // km
    {1, 16, 1},                      // in
    {12, 17, 1},                     // ft
    {36, 18, 1},                     // yd
    {0.03937007874015748, 19, 1},    // mm
    {0.3937007874015748, 20, 1},     // cm
    {39.37007874015748, 21, 1},      // m
    {12.000024000048, 22, 1},        // survey ft
    {72913.38582677166, 23, 1},      // nmi
    {0.0006944444444444445, 24, 1},  // twip
    {0.013888888888888888, 25, 1},   // pt
    {0.16666666666666666, 26, 1},    // pica
    {4377750.956089806, 27, 1},      // degree
    {4014489600, 14, 0},             // sq mi
    {1550003100.0062, 15, 0},        // sq km
    {1, 16, 0},                      // sq in
    {144, 17, 0},                    // sq ft
    {1296, 18, 0},                   // sq yd
    {0.0015500031000062, 19, 0},     // sq mm
    {0.15500031000062, 20, 0},       // sq cm
    {1550.0031000062, 21, 0},        // sq m
    {144.000576001728, 22, 0},       // sq survey ft
    {5316361832.723666, 23, 0},      // sq nmi
    {4.822530864197531e-07, 24, 0},  // sq twip
    {0.0001929012345679012, 25, 0},  // sq pt
    {0.02777777777777778, 26, 0},    // sq pica
    {19164703433545.21, 27, 0},      // sq degree
    {6272640, 28, 0},                // acre
    {15500031.000062, 29, 0},        // hectare
    {7.92, 33, 1},                   // li
    {792, 34, 1},                    // ch
    {198, 35, 1},                    // rd
    {62.7264, 33, 0},                // sq li
    {627264, 34, 0},                 // sq ch
    {39204, 35, 0},                  // sq rd
    {39204, 36, 0},                  // perch
    {1568160, 37, 0},                // rood
};

constexpr int32_t kUnitNameBase = 6400;
constexpr int32_t kSpecialNameBase = 7050;

struct CsysState {
  CoordXform* list = nullptr;
  uint8_t count = 0;
  uint8_t current = 0;
  int16_t units[3] = {2, 0, 14};  // paper, distance, area
};
CsysState g_csys;

void blank_name(char* buffer, int32_t size) { str_copy_n(buffer, " ", size); }

DPoint held_degrees(const DPoint& p) { return DPoint{std::clamp(p.x, -360.0, 360.0), std::clamp(p.y, -90.0, 90.0)}; }

}  // namespace

int16_t unit_valid(int32_t code) { return code >= 0 && code < kUnitCount ? 1 : 0; }
int16_t unit_is_special(int32_t code) { return code >= 1000 && code <= 1002 ? 1 : 0; }
int16_t units_kind_valid(int32_t kind) { return kind >= 0 && kind <= 2 ? 1 : 0; }
int16_t unit_kind(int32_t code) { return unit_valid(code) ? kUnits[code].kind : 0; }
int16_t unit_area_unit(int32_t code) { return unit_valid(code) ? kUnits[code].paired : 14; }

int16_t unit_from_name(const char* name, int16_t* code) {
  if (name == nullptr) return 0;
  for (int16_t c = 0; c < kUnitCount; ++c) {
    if (mb_str_equal_nocase(name, kernel_string(kUnitNameBase + c))) {
      *code = c;
      return 1;
    }
  }
  for (int16_t c = 0; c < 3; ++c) {
    if (mb_str_equal_nocase(name, kernel_string(kSpecialNameBase + c))) {
      *code = static_cast<int16_t>(1000 + c);
      return 1;
    }
  }
  return 0;
}

int16_t unit_get_name(int32_t code, char* buffer, int32_t size) {
  if (!unit_valid(code)) {
    blank_name(buffer, size);
    return 0;
  }
  str_copy_n(buffer, kernel_string(kUnitNameBase + code), size);
  return 1;
}

int16_t unit_get_special_name(int32_t code, char* buffer, int32_t size) {
  if (!unit_is_special(code)) {
    blank_name(buffer, size);
    return 0;
  }
  str_copy_n(buffer, kernel_string(kSpecialNameBase + code - 1000), size);
  return 1;
}

void unit_convert(double* out, int32_t to_unit, double value, int32_t from_unit) {
  if (unit_valid(to_unit) && unit_valid(from_unit) && kUnits[to_unit].kind == kUnits[from_unit].kind)
    *out = value * kUnits[from_unit].factor / kUnits[to_unit].factor;
  else
    *out = value;
}

void unit_convert_xy(DPoint* out, int32_t from_unit, const DPoint* point, int32_t to_unit) {
  if (from_unit == to_unit) {
    *out = *point;
    return;
  }
  DPoint r;
  unit_convert(&r.x, to_unit, point->x, from_unit);
  unit_convert(&r.y, to_unit, point->y, from_unit);
  *out = r;
}

void unit_convert_point(DPoint* out, int32_t to_unit, const DPoint* point, int32_t from_unit,
                        const CoordXform* xform) {
  if (from_unit == to_unit) {
    *out = from_unit == kUnitDegree ? held_degrees(*point) : *point;
  } else if (from_unit == kUnitDegree && xform != nullptr) {
    DPoint p;
    xform_own_lonlat_to_xy(point, &p, xform, 1);
    unit_convert_xy(out, xform_units(xform), &p, to_unit);
  } else if (to_unit == kUnitDegree && xform != nullptr) {
    DPoint p;
    unit_convert_xy(&p, from_unit, point, xform_units(xform));
    xform_xy_to_own_lonlat(&p, out, xform, 1);
  } else {
    unit_convert_xy(out, from_unit, point, to_unit);
  }
}

void unit_convert_rect(const DRect* rect, DRect* out, int32_t from_unit, int32_t to_unit) {
  if (from_unit == to_unit) {
    *out = *rect;
    return;
  }
  DRect r;
  unit_convert(&r.x1, to_unit, rect->x1, from_unit);
  unit_convert(&r.y1, to_unit, rect->y1, from_unit);
  unit_convert(&r.x2, to_unit, rect->x2, from_unit);
  unit_convert(&r.y2, to_unit, rect->y2, from_unit);
  *out = r;
}

void unit_convert_bounds(DRect* out, int32_t to_unit, const DRect* rect, int32_t from_unit,
                         const CoordXform* xform) {
  if (from_unit == to_unit) {
    DRect r = *rect;
    if (from_unit == kUnitDegree) {
      r.x1 = std::clamp(r.x1, -360.0, 360.0);
      r.x2 = std::clamp(r.x2, -360.0, 360.0);
      r.y1 = std::clamp(r.y1, -90.0, 90.0);
      r.y2 = std::clamp(r.y2, -90.0, 90.0);
    }
    *out = r;
  } else if (from_unit == kUnitDegree && xform != nullptr) {
    DRect r;
    xform_own_lonlat_rect_to_xy(rect, &r, xform);
    unit_convert_rect(&r, out, xform_units(xform), to_unit);
  } else if (to_unit == kUnitDegree && xform != nullptr) {
    DRect r;
    unit_convert_rect(rect, &r, from_unit, xform_units(xform));
    xform_xy_rect_to_own_lonlat(&r, out, xform);
  } else {
    unit_convert_rect(rect, out, from_unit, to_unit);
  }
}

// ---- coordinate-system list ------------------------------------------------------

int16_t csys_list_find(const CoordXform* xform, uint8_t* index) {
  for (int32_t i = 0; i < g_csys.count; ++i) {
    if (xform_equal(&g_csys.list[i], xform)) {
      if (index) *index = static_cast<uint8_t>(i);
      return 1;
    }
  }
  return 0;
}

int16_t csys_list_add(const CoordXform* xform, uint8_t* index) {
  if (g_csys.count >= kCsysListMax) return 0;
  const int64_t size = static_cast<int64_t>(sizeof(CoordXform)) * (g_csys.count + 1);
  CoordXform* list = g_csys.list;
  if (list == nullptr) {
    CoordXform* handle = nullptr;
    if (!mem_alloc(size, &handle, &list)) return 0;
  } else {
    CoordXform* handle = list;
    if (!mem_realloc(size, &handle, &list)) return 0;
  }
  g_csys.list = list;
  std::memcpy(&g_csys.list[g_csys.count], xform, sizeof *xform);
  if (index) *index = g_csys.count;
  ++g_csys.count;
  return 1;
}

int16_t csys_list_intern(const CoordXform* xform, uint8_t* index) {
  return csys_list_find(xform, index) ? 1 : csys_list_add(xform, index);
}

int16_t csys_list_get(int32_t index, CoordXform* out) {
  if (index < 0 || index >= g_csys.count) return 0;
  std::memcpy(out, &g_csys.list[index], sizeof *out);
  return 1;
}

int32_t csys_list_count() { return g_csys.count; }

void csys_list_free() {
  mem_free(&g_csys.list);
  g_csys.count = 0;
}

int16_t csys_list_init_default() {
  CoordXform xf;
  xform_default_latlong(&xf);
  uint8_t index = 0;
  if (!csys_list_intern(&xf, &index)) return 0;
  return csys_set_current(index);
}

int32_t csys_get_current() { return g_kernel_workspace ? g_kernel_workspace->coordsys_index : g_csys.current; }

int16_t csys_set_current(int32_t index) {
  if (index < 0 || index >= g_csys.count) return 0;
  if (g_kernel_workspace)
    g_kernel_workspace->coordsys_index = static_cast<uint8_t>(index);
  else
    g_csys.current = static_cast<uint8_t>(index);
  return 1;
}

int16_t csys_get_current_xform(CoordXform* out) { return csys_list_get(csys_get_current(), out); }

namespace {
int16_t* unit_slot(int16_t kind) {
  if (!units_kind_valid(kind)) return nullptr;
  if (g_kernel_workspace) {
    int16_t* slots[3] = {&g_kernel_workspace->paper_unit, &g_kernel_workspace->distance_unit,
                         &g_kernel_workspace->area_unit};
    return slots[kind];
  }
  return &g_csys.units[kind];
}
}  // namespace

int16_t csys_get_units(int16_t default_unit, int16_t kind) {
  const int16_t* slot = unit_slot(kind);
  return slot ? *slot : default_unit;
}

void csys_set_units(int16_t kind, int16_t unit) {
  if (int16_t* slot = unit_slot(kind)) *slot = unit;
}

void csys_reset() {
  csys_list_free();
  g_csys = CsysState{};
}
