// The library's option record: tolerance, a second value, two settings of
// the text writer, and the stroking densities of KT_Curves and arcs.
#include "geometry/ktgeo_option.h"

#include <cstring>

#include "geometry/qd_fail.h"

namespace {

constexpr GeoOptions kDefaults = {1e-10, 0.0, 0, 12, 64, 64};

int refuse(const char* function, const char* param) {
    QD_FAIL("UKT_1", "function%s", function, "param%s", param, nullptr);
    return 0;
}

}  // namespace

GeoOptions ktgeo_options = kDefaults;

int ktgeo_set_option(GeoOptions* options, int id, const void* value) {
    GeoOptions& o = options ? *options : ktgeo_options;
    if (id < 0 || id > 5) return refuse("ktgeo_set_option", "option");
    if (!value) return refuse("ktgeo_set_option", "value");
    if (id <= 1) {
        double v;
        std::memcpy(&v, value, sizeof v);
        if (!(v >= 0.0)) return refuse("ktgeo_set_option", "value");
        (id == 0 ? o.tolerance : o.value1) = v;
        return 1;
    }
    int16_t v;
    std::memcpy(&v, value, sizeof v);
    const bool text_setting = id == 2 || id == 3;
    if (text_setting ? (v < 0 || v > 32) : v < 4) return refuse("ktgeo_set_option", "value");
    int16_t* fields[] = {&o.wkt_value2, &o.wkt_value3, &o.curve_segments, &o.arc_segments};
    *fields[id - 2] = v;
    return 1;
}

int ktgeo_get_option(const GeoOptions* options, int id, void* value) {
    const GeoOptions& o = options ? *options : ktgeo_options;
    if (id < 0 || id > 5) return refuse("ktgeo_get_option", "option");
    if (!value) return refuse("ktgeo_get_option", "value");
    if (id <= 1) {
        const double v = id == 0 ? o.tolerance : o.value1;
        std::memcpy(value, &v, sizeof v);
        return 1;
    }
    const int16_t fields[] = {o.wkt_value2, o.wkt_value3, o.curve_segments, o.arc_segments};
    std::memcpy(value, &fields[id - 2], sizeof(int16_t));
    return 1;
}

int ktgeo_option_init(GeoOptions* options) {
    if (!options) return refuse("ktgeo_option_init", "options");
    *options = kDefaults;
    return 1;
}

double ktgeo_option_tolerance() { return ktgeo_options.tolerance; }
double ktgeo_option_value1() { return ktgeo_options.value1; }
int16_t ktgeo_option_wkt_value2() { return ktgeo_options.wkt_value2; }
int16_t ktgeo_option_wkt_value3() { return ktgeo_options.wkt_value3; }
int16_t ktgeo_option_curve_segments() { return ktgeo_options.curve_segments; }
int16_t ktgeo_option_arc_segments() { return ktgeo_options.arc_segments; }
