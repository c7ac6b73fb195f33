// Ellipsoids and datums: the built-in tables, lookups between datum numbers
// and datum records, and the datum shift of longitude/latitude points
// (Molodensky, linearised 7-parameter, exact geocentric 7-parameter), with
// the three grid hooks tried first for their datum pairs.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

constexpr int kEllipsoidCount = 54;
constexpr int kDatumTableCount = 155;
constexpr int kCustomDatumFirst = 1000;
constexpr int kCustomDatumLast = 1020;

int16_t ellipsoid_valid(int32_t n);
void ellipsoid_params(int32_t n, EllipsoidParams* out);

int16_t datum_number_valid(int32_t n);
void datum_clear(DatumDef* datum);
void datum_get(int32_t n, DatumDef* datum);
int16_t datum_equal(const DatumDef* a, const DatumDef* b);
int16_t datum_matches(int32_t n, const DatumDef* datum);
int16_t datum_find_number(const DatumDef* datum, int16_t* number);

int16_t datum_is_nad27(const DatumDef* d);
int16_t datum_is_nad83(const DatumDef* d);
int16_t datum_is_wgs84(const DatumDef* d);
int16_t datum_is_nad83_or_wgs84(const DatumDef* d);
int16_t datum_is_tokyo_exact(const DatumDef* d);
int16_t datum_is_tokyo_like(const DatumDef* d);
int16_t datum_is_tokyo(const DatumDef* d);
int16_t datum_is_ntf(const DatumDef* d);

// 1 (at start): 7-parameter shifts go through the geocentric method; 0: the
// linearised form.
int16_t datum_get_shift_method();
void datum_set_shift_method(int16_t value);

void datum_shift_points(const DPoint* in, const DatumDef* src, const EllipsoidParams* src_ell, DPoint* out,
                        const DatumDef* dst, const EllipsoidParams* dst_ell, int32_t count);
void datum_molodensky(const DPoint* in, const DatumDef* src, const EllipsoidParams* src_ell, DPoint* out,
                      const DatumDef* dst, const EllipsoidParams* dst_ell, int32_t count);
void datum_shift_7param(const DPoint* in, const DatumDef* src, const EllipsoidParams* src_ell, DPoint* out,
                        const DatumDef* dst, const EllipsoidParams* dst_ell, int32_t count);
void datum_bursa_wolf(const DPoint* in, const DatumDef* src, const EllipsoidParams* src_ell, DPoint* out,
                      const DatumDef* dst, const EllipsoidParams* dst_ell, int32_t count);
void datum_shift_rect(const DRect* rect, const DatumDef* src, const EllipsoidParams* src_ell, DRect* out,
                      const DatumDef* dst, const EllipsoidParams* dst_ell);

// Datum-shift grids: a grid function shifts one point (degrees) and answers
// nonzero when it did. The three handles are empty until a grid is opened.
using DatumGridFn = int16_t (*)(void* grid, const DPoint* in, DPoint* out, const DatumDef* datum);
struct DatumGrid {
  void* grid;
  DatumGridFn forward;  // NAD27 to NAD83, WGS 84 to Tokyo, WGS 84 to NTF
  DatumGridFn inverse;  // the other way
};
enum DatumGridKind { DATUM_GRID_NADCON = 0, DATUM_GRID_JAPAN = 1, DATUM_GRID_FRANCE = 2 };
void datum_set_grid(int kind, const DatumGrid* grid);  // null empties the handle
