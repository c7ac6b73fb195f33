// Object records from outside bytes: decoded into a map object within
// their length, and what decodes is encoded again.
#include <cstdint>
#include <vector>

#include "geometry/encode/cvrecord.h"
#include "encode_fuzz_setup.h"
#include "kernel/runtime/err.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CoordXform& xf = *encode_fuzz_xform();
    if (size > (1u << 20)) return 0;
    MapHandle handle = nullptr;
    MapObject* o = nullptr;
    if (!mapobj_new(&handle, &o, 0, 0)) return 0;
    if (blob_to_object(data, static_cast<int32_t>(size), &g_default_style_set, &xf, o, 1) == 1) {
        int32_t bound = 0;
        if (blob_object_size(o, &bound) && bound < (1 << 26)) {
            std::vector<uint8_t> buffer(static_cast<size_t>(bound) + 1);
            int32_t length = 0;
            object_to_blob(o, &xf, buffer.data(), &length, nullptr);
            if (length > bound) __builtin_trap();
        }
    }
    mapobj_destroy(&handle);
    err_clear();
    return 0;
}
