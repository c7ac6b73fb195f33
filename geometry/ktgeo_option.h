// The library's six settings, one process-wide record (a null record in the
// calls below means the global one).
#pragma once

#include <cstdint>

struct GeoOptions {
    double tolerance;       // id 0, >= 0
    double value1;          // id 1, >= 0
    int16_t wkt_value2;     // id 2, 0 to 32
    int16_t wkt_value3;     // id 3, 0 to 32
    int16_t curve_segments; // id 4, >= 4
    int16_t arc_segments;   // id 5, >= 4
};
extern GeoOptions ktgeo_options;

int ktgeo_set_option(GeoOptions* options, int id, const void* value);
int ktgeo_get_option(const GeoOptions* options, int id, void* value);
int ktgeo_option_init(GeoOptions* options);
double ktgeo_option_tolerance();
double ktgeo_option_value1();
int16_t ktgeo_option_wkt_value2();
int16_t ktgeo_option_wkt_value3();
int16_t ktgeo_option_curve_segments();
int16_t ktgeo_option_arc_segments();
