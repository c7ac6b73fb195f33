// Compact object records from outside: the input read as a record, then
// printed at the full trace level and wrapped as a "CV00" blob for the
// record-of-blob, envelope and text functions. What reads is written
// again and read back.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "geometry/ktgeo_cv.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/qd_alloc.h"
#include "geometry/qd_fail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    static FILE* sink = std::fopen("/dev/null", "w");
    qd_fail_state.trace_stream = sink;
    const uint32_t n = static_cast<uint32_t>(size);
    SpatialObject so;
    if (cvtran_cast_to_geometry(&so, data, n, 3) == 1) {
        uint8_t* record = nullptr;
        uint32_t length = 0, csid = 0;
        if (cvtran_cast_from_geometry(&so, &record, &length, &csid) == 1) {
            SpatialObject back;
            cvtran_cast_to_geometry(&back, record, length, csid);
            ktgeo_so_release(&back);
            qd_free(record);
        }
    }
    ktgeo_so_release(&so);
    qd_trace_set_level(42);
    cvtran_dump_bulk(data, n);
    qd_trace_set_level(40);
    uint8_t* blob = ktgeo_pack_cv(data, n, 0);
    if (blob) {
        GeoCoord envelope[2];
        cvtran_blob_envelope(blob, envelope);
        uint8_t* record = nullptr;
        uint32_t length = 0, csid = 0;
        int is_text = 0;
        if (cvtran_text_record_from_blob(blob, &record, &length, &csid, &is_text)) qd_free(record);
        cvtran_is_null(data, n);
        qd_free(blob);
    }
    return 0;
}
