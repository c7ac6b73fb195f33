// Geometry blobs from outside bytes: the input read as a whole blob through
// the sized entry, and its tail read under each of the 75 tags the reader
// accepts (the first byte picks the tag). What reads is packed again and
// read back.
#include <cstdint>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_blob.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"

namespace {

std::vector<const char*> all_tags() {
    std::vector<const char*> tags = {"KT02", "KT01", "KT00", "OGC0", "OGC1", "CV00", "CV01"};
    static char compact[68][5];
    int n = 0;
    auto add = [&](char a, char b, char c, char d) {
        char* t = compact[n++];
        t[0] = a, t[1] = b, t[2] = c, t[3] = d, t[4] = '\0';
        tags.push_back(t);
    };
    for (char dim : {'2', '3'})
        for (char id : {'D', 'd'}) {
            for (char p : {'P', 'p'}) add('P', dim, id, p);
            for (char dir : {'R', 'F', 'L'})
                for (char k : {'L', 'l', 'P', 'p'}) add(dir, dim, id, k);
            for (char k : {'A', 'a'}) add('A', dim, id, k);
            if (dim == '2')
                for (char k : {'C', 'c'}) add('A', dim, id, k);
        }
    return tags;
}

void read_and_repack(const uint8_t* blob, uint32_t size) {
    SpatialObject so;
    ktgeo_so_init_empty(&so);
    if (ktgeo_unpack_geometry_sized(blob, size, &so) == 1) {
        ktgeo_unpack_csid(blob);
        uint8_t* again = ktgeo_pack_geometry(&so);
        if (again) {
            SpatialObject back;
            ktgeo_so_init_empty(&back);
            ktgeo_unpack_geometry_sized(again, blob_length(again), &back);
            ktgeo_so_release(&back);
            qd_free(again);
        }
    }
    ktgeo_so_release(&so);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<const char*> tags = all_tags();
    if (size > (1u << 20)) return 0;
    read_and_repack(data, static_cast<uint32_t>(size));
    if (size == 0) return 0;
    std::vector<uint8_t> blob(8 + size - 1);
    byte_put_ui4(blob.data(), static_cast<uint32_t>(blob.size()));
    std::memcpy(blob.data() + 4, tags[data[0] % tags.size()], 4);
    if (size > 1) std::memcpy(blob.data() + 8, data + 1, size - 1);
    read_and_repack(blob.data(), static_cast<uint32_t>(blob.size()));
    return 0;
}
