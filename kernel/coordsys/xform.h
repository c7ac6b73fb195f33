// Transforms: construction, the integer space, accessors and comparisons,
// clamps, display precision and the per-transform conversion stages between
// integers, coordinates and longitude/latitude.
//
// Levels of one transform: integer (32-bit points), intd (the same space as
// doubles), plane ((intd - offset) / scale), xy (the plane after the
// integer-space affine: the user coordinates), projected (before the
// definition affine), lon/lat in degrees. Point functions take (in, out,
// transform, count) and accept in == out; rectangle forms take two corners
// and give them normalised.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/intrect.h"
#include "kernel/runtime/rect.h"
#include "kernel/runtime/valcmp.h"

constexpr double kXformIntLimit = 1000000000.0;

// ---- construction -------------------------------------------------------------
void xform_init(CoordXform* xform, int32_t type, const CoordSysDef* def);
void xform_init_scaled(CoordXform* xform, int32_t type, const CoordSysDef* def, double sx, double sy, double ox,
                       double oy);
void xform_init_bounds(CoordXform* xform, int32_t type, const CoordSysDef* def, const DRect* bounds);
// type_and_def points at a record that starts like a transform (a 16-bit
// type, then the definition at byte 8): a CoordXform or the table API's
// CoordSysInfo.
void xform_init_info(CoordXform* xform, const void* type_and_def, const DRect* bounds);
void xform_init_like(CoordXform* xform, const CoordXform* source, const DRect* rect);
void xform_init_device(CoordXform* xform, int32_t type, const CoordSysDef* def, const IntRect* device,
                       const DRect* rect);
void xform_init_device_zoom(CoordXform* xform, int32_t type, const CoordSysDef* def, const IntRect* device,
                            const DPoint* centre, double width, int16_t unit);
void xform_default_nonearth(CoordXform* xform);
void xform_default_latlong(CoordXform* xform);

// ---- integer space ------------------------------------------------------------
void xform_set_scale(CoordXform* xform, double sx, double sy, double ox, double oy);
void xform_set_bounds(CoordXform* xform, const DRect* bounds);
void xform_set_device_rect(const IntRect* device, CoordXform* xform);
void xform_fit_device(CoordXform* xform, const IntRect* device, const DRect* rect);
void xform_fit_device_zoom(CoordXform* xform, const IntRect* device, const DPoint* centre, double width,
                           int16_t unit);
void xform_set_int_affine(CoordXform* xform, const double affine[12], int16_t device);
void xform_pan(CoordXform* xform, double dx, double dy);

// ---- accessors ----------------------------------------------------------------
int16_t xform_projection_type(const CoordXform* xform);
void xform_get_coordsys(const CoordXform* xform, CoordSysDef* out);
int16_t xform_get_int_affine(const CoordXform* xform, double out[12]);
void xform_get_params(const CoordXform* xform, int16_t* type, CoordSysDef* def, double* sx, double* sy, double* ox,
                      double* oy);
int16_t xform_projection_units(const CoordXform* xform);
int16_t xform_units(const CoordXform* xform);
int16_t xform_coord_units(const CoordXform* xform);
int16_t xform_int_orientation(const CoordXform* xform);
int16_t xform_coord_orientation(const CoordXform* xform);
int16_t xform_is_layout(const CoordXform* xform);
int16_t xform_get_mz_flag(const CoordXform* xform);
void xform_set_mz_flag(CoordXform* xform, int16_t flag);
void xform_bounds_in_units(const CoordXform* xform, DRect* out, int16_t unit);

// ---- comparisons --------------------------------------------------------------
int16_t xform_equal(const CoordXform* a, const CoordXform* b);
int16_t xform_same_coordsys(const CoordXform* a, const CoordXform* b, int16_t ignore_datum);
int16_t xform_same_projection(const CoordXform* a, const CoordXform* b, int16_t ignore_datum);
int16_t xform_same_int_space(const CoordXform* a, const CoordXform* b, int16_t ignore_datum);
int16_t affine_is_axis_aligned(const double* affine);
int16_t xform_int_affine_axis_aligned(const CoordXform* xform);
int16_t xform_pair_is_linear(const CoordXform* a, const CoordXform* b, int16_t ignore_datum, int16_t same_int_space);

// ---- clamps and small functions ----------------------------------------------
double xform_clamp_magnitude(double v);
// NaN becomes 0 and infinities the +-1e50 limits.
void xform_clamp_point(DPoint* point);
void xform_clamp_rect(DRect* rect);
void proj_to_radians(const DPoint* in, DPoint* out);
void proj_from_radians(const DPoint* in, DPoint* out);
double xform_device_aspect(const CoordXform* xform);
double xform_point_scale(const CoordXform* xform, const DPoint* point);
double xform_plane_point_scale(const CoordXform* xform, const DPoint* point);
// Each format is optional and carries its unit code on entry.
void xform_precision_at(const CoordXform* xform, const IntPoint* point, NumFormat* coord, NumFormat* distance,
                        NumFormat* area);
void xform_precision_at_mode(const CoordXform* xform, const IntPoint* point, NumFormat* coord, NumFormat* distance,
                             NumFormat* area, int16_t mode);
void numfmt_init_coarse(NumFormat* format, int16_t unit);
double num_round_up_away(double x);

// ---- stages -------------------------------------------------------------------
void xform_unscale_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_unscale_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_int_affine_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_int_affine_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_int_affine_inv_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_int_affine_inv_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_def_affine_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_def_affine_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_def_affine_inv_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_def_affine_inv_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_forward_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_forward_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_inverse_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_inverse_rect(const DRect* in, DRect* out, const CoordXform* xform);
void xform_datum_in_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                           const DatumDef* datum);
void xform_datum_in_rect(const DRect* in, DRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_datum_out_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                            DatumDef* datum);
void xform_datum_out_rect(const DRect* in, DRect* out, const CoordXform* xform, DatumDef* datum);
void xform_scale_points(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_scale_rect(const DRect* in, DRect* out, const CoordXform* xform);

// ---- chains -------------------------------------------------------------------
void xform_int_to_plane(const IntPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_int_rect_unscale(const IntRect* in, DRect* out, const CoordXform* xform);
void xform_int_to_xy(const IntPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_int_rect_to_xy(const IntRect* in, DRect* out, const CoordXform* xform);
void xform_intd_to_xy(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_intd_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xform);
void xform_xy_to_intd(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_xy_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xform);
void xform_xy_to_int(const DPoint* in, IntPoint* out, const CoordXform* xform, int32_t count);
void xform_xy_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xform);
void xform_plane_to_int(const DPoint* in, IntPoint* out, const CoordXform* xform, int32_t count);
void xform_plane_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xform);
void xform_own_lonlat_to_xy(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_own_lonlat_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xform);
void xform_xy_to_own_lonlat(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_xy_rect_to_own_lonlat(const DRect* in, DRect* out, const CoordXform* xform);
void xform_intd_to_lonlat(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_intd_rect_to_lonlat(const DRect* in, DRect* out, const CoordXform* xform);
void xform_intd_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                                DatumDef* datum);
void xform_intd_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xform, DatumDef* datum);
void xform_int_to_lonlat(const IntPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_int_rect_to_lonlat(const IntRect* in, DRect* out, const CoordXform* xform);
void xform_int_to_lonlat_datum(const IntPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                               DatumDef* datum);
void xform_int_rect_to_lonlat_datum(const IntRect* in, DRect* out, const CoordXform* xform, DatumDef* datum);
void xform_plane_to_lonlat(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_plane_rect_to_lonlat(const DRect* in, DRect* out, const CoordXform* xform);
void xform_plane_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                                 DatumDef* datum);
void xform_plane_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xform, DatumDef* datum);
void xform_xy_to_lonlat_datum(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                              DatumDef* datum);
void xform_xy_rect_to_lonlat_datum(const DRect* in, DRect* out, const CoordXform* xform, DatumDef* datum);
void xform_lonlat_to_xy(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                        const DatumDef* datum);
void xform_lonlat_rect_to_xy(const DRect* in, DRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_lonlat_to_plane(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                           const DatumDef* datum);
void xform_lonlat_rect_to_plane(const DRect* in, DRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_lonlat_to_intd(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                          const DatumDef* datum);
void xform_lonlat_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_lonlat_to_int(const DPoint* in, IntPoint* out, const CoordXform* xform, int32_t count,
                         const DatumDef* datum);
void xform_lonlat_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_lonlat_to_xy_snapped(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count,
                                const DatumDef* datum);
void xform_lonlat_rect_to_xy_snapped(const DRect* in, DRect* out, const CoordXform* xform, const DatumDef* datum);
void xform_own_lonlat_to_plane(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_own_lonlat_rect_to_plane(const DRect* in, DRect* out, const CoordXform* xform);
void xform_own_lonlat_to_intd(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void xform_own_lonlat_rect_to_intd(const DRect* in, DRect* out, const CoordXform* xform);
void xform_own_lonlat_to_int(const DPoint* in, IntPoint* out, const CoordXform* xform, int32_t count);
void xform_own_lonlat_rect_to_int(const DRect* in, IntRect* out, const CoordXform* xform);
