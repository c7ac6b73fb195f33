// SDO arrays from outside bytes: the first bytes give the type code,
// dimensions, point and the number of triples, the rest the triples and
// the ordinates. What decodes is encoded again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry/encode/sdo.h"
#include "geometry/ktgeo_blob.h"
#include "../cvrecord_decode/encode_fuzz_setup.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CoordXform& xf = *encode_fuzz_xform();
    if (size < 10 || size > (1u << 16)) return 0;
    SdoGeometry g;
    sdo_reset(&g);
    int16_t gtype = 0;
    byte_get_i2(data, &gtype);
    g.gtype = gtype;
    g.dimensions = data[2] % 5;
    g.point_x = static_cast<int8_t>(data[3]) * 1000.0;
    g.point_y = static_cast<int8_t>(data[4]) * 1000.0;
    const size_t triples = data[5] % 16;
    size_t at = 6;
    std::vector<int32_t> elem;
    for (size_t i = 0; i < 3 * triples && at + 2 <= size; ++i, at += 2) {
        int16_t v = 0;
        byte_get_i2(data + at, &v);
        elem.push_back(v);
    }
    std::vector<double> ords;
    for (; at + 2 <= size; at += 2) {
        int16_t v = 0;
        byte_get_i2(data + at, &v);
        ords.push_back(v * 100.0);
    }
    g.elem_count = static_cast<int32_t>(elem.size());
    g.elem = elem.data();
    g.ord_count = static_cast<int32_t>(ords.size());
    g.ords = ords.data();
    MapHandle handle = nullptr;
    MapObject* o = nullptr;
    if (!mapobj_new(&handle, &o, 0, 0)) return 0;
    int16_t short_codes = 0;
    if (sdo_to_object(&g, &g_default_style_set, &xf, o, &short_codes) == 1) {
        SdoGeometry out;
        sdo_reset(&out);
        SdoArrays arrays{nullptr, nullptr, nullptr, &out};
        object_to_sdo(o, &xf, &arrays, short_codes, 1, 0);
        sdo_free_arrays(&arrays);
    }
    mapobj_destroy(&handle);
    err_clear();
    return 0;
}
