// Oracle spatial reference ids (SRIDs) of coordinate systems, the tolerance
// of a coordinate system and the normalisation of lat/long systems written
// as datum 0 into the WGS 84 datum.
//
// The SRID table holds 952 rows sorted by SRID and a terminating row (SRID
// -1, empty text). A row's text is the system's CoordSys clause exactly as
// coordsys_to_text writes it without bounds; a text beginning with seven
// asterisks is a placeholder and an empty text a row whose system is not
// known here: neither ever matches.
#pragma once
#include <cstdint>

struct CoordXform;

struct SridRow {
  int32_t srid;
  const char* text;
};

constexpr int32_t kSridRowCount = 952;
constexpr int16_t kErrSridMismatch = 1586;

// The rows, the terminating row after the last.
extern const SridRow g_srid_table[kSridRowCount + 1];

// 1 and the SRID of the first row whose text is the system's; else 0 with
// srid 0. srid may be null.
int16_t coordsys_to_srid(const CoordXform* xform, int32_t* srid);
// 1 when the row of srid carries exactly the system's text. An SRID the
// table lacks answers 0 silently; a row whose text differs (placeholders and
// unknown rows always do) pushes error 1586 and answers 0.
int16_t ora_srid_matches_coordsys(const CoordXform* xform, int32_t srid);
// One tenth of one integer coordinate step along x and along y, measured
// from integer (0, 0) to (1, 0) and to (0, 1) with the distance routine (mode
// 1: along the sphere for lat/long, Cartesian otherwise), in the unit code
// when use_units is nonzero, else in the system's own units. Always 1.
int16_t coordsys_tolerance(const CoordXform* xform, int32_t units, int16_t use_units, double* tol_x, double* tol_y);
// A lat/long system on ellipsoid 29 without datum shift goes to ellipsoid 28
// (both WGS 84), so that it writes as datum 104 instead of datum 0: 1 when
// the transform was changed, else 0 and the transform as it was.
int16_t ora_normalise_latlong(CoordXform* xform);
