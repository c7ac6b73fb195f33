// Oracle spatial reference ids, tolerances and lat/long normalisation of
// coordinate systems. The SRID table is not yet part of this build: no
// system has an SRID and no lat/long system is rewritten; the tolerance is
// computed in full.
#pragma once
#include <cstdint>

struct CoordXform;

// 1 and the SRID when the system has one; else 0 with srid 0.
int16_t coordsys_to_srid(const CoordXform* xform, int32_t* srid);
// One tenth of one integer coordinate step along x and y, in the unit code
// when use_units is set, else in the system's own units. Always 1.
int16_t coordsys_tolerance(const CoordXform* xform, int32_t units, int16_t use_units, double* tol_x, double* tol_y);
// 1 when the lat/long system was rewritten to the WGS 84 ellipsoid.
int16_t ora_normalise_latlong(CoordXform* xform);
