// The projection frame: the table that binds each projection type to its
// five operations, the shared helpers of the projections, the lat/long and
// non-earth types themselves, and the rectangle transforms that sample a
// rectangle's edges into a bounding rectangle on the other side.
//
// Types 2 to 32 keep their own rectangle family, sampling step and bounds
// class; their operations come from the projection library in proj/.
#pragma once
#include <cstdint>

#include "kernel/coordsys/coordsys.h"
#include "kernel/runtime/rect.h"

constexpr double kProjPi = 3.141592653589793;
constexpr int kProjSampleMax = 2048;  // room of a rectangle transform's sample list

// Installs the five operations of xform->type (other codes act as type 1),
// runs the initialiser and sets origin_x and equator_y.
void xform_set_projection(CoordXform* xform);

double proj_parallel_radius(double e2, double phi);
double proj_authalic_q(double e2, double phi);
double proj_unit_scale(const CoordXform* xform, const DPoint* lonlat);

void proj_latlong_init(CoordXform* xform);
double proj_latlong_scale(const CoordXform* xform, const DPoint* lonlat);
void proj_latlong_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_latlong_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_nonearth_forward(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);
void proj_nonearth_inverse(const DPoint* in, DPoint* out, const CoordXform* xform, int32_t count);

// Rectangle transforms, forward member first.
void proj_rect_fwd_corners2(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_corners2(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_corners4(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_corners4(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_equator(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_equator(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_cross(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_cross(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_meridian(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_meridian(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_centre(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_centre(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_conic(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_conic(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_azimuthal(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_azimuthal(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_fwd_swiss(const DRect* in, DRect* out, const CoordXform* xform);
void proj_rect_inv_swiss(const DRect* in, DRect* out, const CoordXform* xform);
