// Well-known text from outside: the input read as text; what reads is
// written again, read back, and written as binary.
#include <cstdint>
#include <string>

#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 18)) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    SpatialObject so;
    if (ktgeo_ogc_input_wkt_v1(text.c_str(), &so) == 1) {
        char* again = ktgeo_ogc_output_wkt_v1(&so);
        if (again) {
            SpatialObject back;
            ktgeo_ogc_input_wkt_v1(again, &back);
            ktgeo_so_release(&back);
            qd_free(again);
        }
        uint8_t* wkb = nullptr;
        uint32_t n = 0, csid = 0;
        if (ktgeo_ogc_cast_from_geometry(&so, &wkb, &n, &csid)) qd_free(wkb);
    }
    ktgeo_so_release(&so);
    return 0;
}
