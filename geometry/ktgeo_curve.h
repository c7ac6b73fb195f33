// Stroking of circular arcs and KT_Curves into a curve's stroked list,
// tangent directions of KT_Curves, and line generalisation.
#pragma once

#include "geometry/ktgeo_types.h"

int ktgeo_curve(GeoCurve* curve);
int ktgeo_curve_start_tangent(const GeoCurve* curve, float* angle);
int ktgeo_curve_end_tangent(const GeoCurve* curve, float* angle);
int ktgeo_curve_start_tangent_orientation(GeoCurve* curve, float angle);
int ktgeo_curve_end_tangent_orientation(GeoCurve* curve, float angle);
nlst* ktgeo_coord_list_generalize(const nlst* list, double tolerance);
nlst* ktgeo_curve_generalize(GeoCurve* curve, double tolerance);
