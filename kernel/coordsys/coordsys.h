// Coordinate-system definitions: the records every transform is built from
// (datum, definition, ellipsoid, transform) and the small functions on a
// definition alone.
//
// Invariants: definitions and transforms are plain values without owned
// memory; every constructor clears the whole record (padding included)
// before filling it, because transforms are compared byte for byte.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kernel/runtime/rect.h"

// Projection type of a transform.
enum ProjType : int16_t {
  PROJ_NONEARTH = 0,
  PROJ_LATLONG = 1,
  PROJ_CYL_EQUAL_AREA = 2,
  PROJ_LAMBERT_CONFORMAL_CONIC = 3,
  PROJ_LAMBERT_AZIMUTHAL = 4,
  PROJ_AZIMUTHAL_EQUIDISTANT = 5,
  PROJ_EQUIDISTANT_CONIC = 6,
  PROJ_HOTINE = 7,
  PROJ_TRANSVERSE_MERCATOR = 8,
  PROJ_ALBERS = 9,
  PROJ_MERCATOR = 10,
  PROJ_MILLER = 11,
  PROJ_ROBINSON = 12,
  PROJ_MOLLWEIDE = 13,
  PROJ_ECKERT_IV = 14,
  PROJ_ECKERT_VI = 15,
  PROJ_SINUSOIDAL = 16,
  PROJ_GALL = 17,
  PROJ_NZ_MAP_GRID = 18,
  PROJ_LAMBERT_CONFORMAL_CONIC_BELGIUM = 19,
  PROJ_STEREOGRAPHIC = 20,
  PROJ_TM_LOCAL_GRID_1 = 21,
  PROJ_TM_LOCAL_GRID_2 = 22,
  PROJ_TM_LOCAL_GRID_3 = 23,
  PROJ_TRANSVERSE_MERCATOR_CONFORMAL = 24,
  PROJ_SWISS_OBLIQUE_MERCATOR = 25,
  PROJ_MERCATOR_STD_PARALLEL = 26,
  PROJ_POLYCONIC = 27,
  PROJ_AZIMUTHAL_EQUIDISTANT_2 = 28,
  PROJ_LAMBERT_AZIMUTHAL_2 = 29,
  PROJ_CASSINI = 30,
  PROJ_DOUBLE_STEREOGRAPHIC = 31,
  PROJ_KROVAK = 32,
};

// A datum: ellipsoid number, shift to WGS 84 in metres, rotations in arc
// seconds, scale difference in parts per million, prime meridian in degrees
// and the datum number (0..154 and 1000..1020 name table rows).
struct DatumDef {
  uint8_t ellipsoid;
  double dx, dy, dz;
  double rx, ry, rz;
  double scale_ppm;
  double prime_meridian;
  int16_t number;
};
static_assert(sizeof(DatumDef) == 80, "DatumDef is an 80-byte record");

// What a non-earth definition keeps where an earth one keeps its datum.
struct NonEarthHead {
  int16_t ne_fixed_aspect;      // 1: a device fit keeps equal scales
  uint8_t ne_int_orientation;   // orientation code of the integer space
  int16_t ne_units;             // unit code of the plane
  uint8_t ne_coord_orientation; // 4 marks a Layout system
};

// Semi-major axis (metres), eccentricity squared and flattening.
struct EllipsoidParams {
  double a;
  double e2;
  double f;
};

constexpr uint32_t COORDSYS_AFFINE = 1;  // the definition affine is present

struct CoordSysDef {
  union {
    DatumDef datum;   // earth systems
    NonEarthHead ne;  // type 0
  };
  int16_t units;            // unit code of an earth system's projection plane
  uint8_t int_orientation;  // integer orientation of a lat/long system
  double params[6];         // projection parameters
  double affine_inverse[6]; // A'..F'
  double affine[6];         // A..F: x' = A x + B y + C, y' = D x + E y + F
  uint32_t flags;
  int16_t affine_units;
  int16_t support_mz;
  int16_t mz_code1;  // the two Z/M codes a map file header carries
  int16_t mz_code2;
};
static_assert(sizeof(CoordSysDef) == 248, "CoordSysDef is a 248-byte record");

struct CoordXform;
using ProjScaleFn = double (*)(const CoordXform* xform, const DPoint* lonlat);
using ProjPointsFn = void (*)(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
using ProjRectFn = void (*)(const DRect* in, DRect* out, const CoordXform* xform);

// Constants a projection's initialiser precomputes.
struct ProjConst {
  double c[20];
  const void* table1;
  const void* table2;
  int16_t word;
};

constexpr uint32_t XFORM_DEVICE = 1;      // integer space is a device rectangle
constexpr uint32_t XFORM_INT_AFFINE = 2;  // the integer-space affine is in force
constexpr uint32_t XFORM_NO_DATUM = 4;    // no datum shift into or out of it

struct CoordXform {
  int16_t type;
  CoordSysDef def;
  ProjConst proj_const;
  EllipsoidParams ellipsoid;
  double scale_x, scale_y;
  double offset_x, offset_y;
  double origin_lon, lon_span;
  double origin_x, equator_y;
  double window_x, window_y, window_w, window_h;
  double int_affine[12];  // forward A..F, then inverse A'..F'
  int32_t dev_x, dev_y, dev_w, dev_h, dev_guard_x, dev_guard_y;
  ProjScaleFn scale_fn;
  ProjPointsFn inverse_fn;
  ProjPointsFn forward_fn;
  ProjRectFn inverse_rect_fn;
  ProjRectFn forward_rect_fn;
  uint32_t flags;
};
// The table API's coordinate-system record starts the same way.
static_assert(offsetof(CoordXform, def) == 8, "the definition follows the type at byte 8");

// ---- definitions ------------------------------------------------------------
void coordsys_clear(CoordSysDef* def);
// Lat/long on datum 0, aspect latitude 0, integer orientation 2.
void coordsys_default_latlong(CoordSysDef* def);
int16_t coordsys_type_valid(int32_t type);
int16_t coordsys_param_count(int32_t type);
// Types 3, 10, 19, 20, 26 and 31 hold latitudes within -85..85.
void coordsys_clamp_lat85(DPoint* point, int32_t type);
void coordsys_clamp_rect_lat85(DRect* rect, int32_t type);
int16_t coordsys_coord_orientation(int32_t type, const CoordSysDef* def);
int16_t coordsys_def_compare(int32_t type1, const CoordSysDef* def1, int32_t type2, const CoordSysDef* def2,
                             int16_t ignore_datum, int16_t ignore_datum_number, int16_t ignore_mz);
// Mode 0 spherical, 1 Cartesian; refuses spherical on non-earth and
// Cartesian on lat/long (switching the mode when fix is set).
int16_t coordsys_check_distance_mode(int16_t* mode, int32_t type, int16_t* out_not_nonearth,
                                     int16_t* out_not_latlong, int16_t fix);
// Bounds of a system that has none of its own.
void coordsys_default_bounds(int32_t type, const CoordSysDef* def, DRect* out);
