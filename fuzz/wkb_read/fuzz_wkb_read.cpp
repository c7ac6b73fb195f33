// Well-known binary from outside: the input read as binary, and wrapped as
// an "OGC0" or "OGC1" blob (the first byte chooses) read through the sized
// blob entry. What reads is written again and read back.
#include <cstdint>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_ogc.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    SpatialObject so;
    if (ktgeo_ogc_cast_to_geometry(&so, data, static_cast<uint32_t>(size), 0) == 1) {
        uint8_t* wkb = nullptr;
        uint32_t n = 0, csid = 0;
        if (ktgeo_ogc_cast_from_geometry(&so, &wkb, &n, &csid)) {
            SpatialObject back;
            ktgeo_ogc_cast_to_geometry(&back, wkb, n, csid);
            ktgeo_so_release(&back);
            qd_free(wkb);
        }
        char* text = ktgeo_ogc_output_wkt_v1(&so);
        qd_free(text);
    }
    ktgeo_so_release(&so);
    if (size == 0) return 0;
    const bool with_id = data[0] & 1;
    std::vector<uint8_t> blob((with_id ? 12 : 8) + size - 1);
    byte_put_ui4(blob.data(), static_cast<uint32_t>(blob.size()));
    byte_put_c4(blob.data() + 4, with_id ? "OGC1" : "OGC0");
    if (with_id) byte_put_ui4(blob.data() + 8, 7);
    for (size_t i = 1; i < size; ++i) blob[(with_id ? 12 : 8) + i - 1] = data[i];
    SpatialObject wrapped;
    ktgeo_so_init_empty(&wrapped);
    if (ktgeo_unpack_geometry_sized(blob.data(), static_cast<uint32_t>(blob.size()), &wrapped) == 1) {
        uint8_t* again = ktgeo_pack_geometry(&wrapped);
        qd_free(again);
    }
    ktgeo_so_release(&wrapped);
    return 0;
}
