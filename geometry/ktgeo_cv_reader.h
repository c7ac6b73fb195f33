// The bounded record cursor shared by the record reader and its print:
// a failed read is reported by the codec and leaves the cursor null, so
// that later reads pass through without a report.
#pragma once

#include <cstdint>

#include "geometry/ktgeo_cv.h"
#include "geometry/ktgeo_types.h"

namespace cvtran_detail {

inline constexpr const char* kRead = "cvtran_cast_to_geometry";

// Reports "UKT_1" with the function and parameter; 0.
int fail(const char* function, const char* param);
// The codecs' "TOO BIG" report.
void too_big(const char* function);

// A bounded cursor: a failed read leaves p null (later reads pass through).
struct CvReader {
    const uint8_t* p;
    const uint8_t* end;
    bool ok() const { return p != nullptr; }
    template <typename T>
    T get(const uint8_t* (*decoder)(T*, const uint8_t*, const uint8_t*)) {
        T v = 0;
        p = decoder(&v, p, end);
        return v;
    }
    uint8_t u8() { return get(cvtran_decode_uc1); }
    int16_t i16() { return get(cvtran_decode_i2); }
    uint16_t u16() { return get(cvtran_decode_ui2); }
    int32_t i32() { return get(cvtran_decode_i4); }
    double f8() { return get(cvtran_decode_f8); }
    GeoCoord xy() {
        const double x = f8();
        const double y = f8();
        return GeoCoord{x, y, KTGEO_NO_Z};
    }
    void skip(uint32_t n) {
        if (!p) return;
        if (static_cast<size_t>(end - p) < n) {
            too_big("cvtran_decode_uc1");
            p = nullptr;
            return;
        }
        p += n;
    }
    // A count of items of `width` bytes: refused when negative or when the
    // bytes left cannot hold it.
    bool count_fits(int32_t n, uint32_t width) {
        if (!p) return false;
        if (n < 0) {
            fail(kRead, "data");
            p = nullptr;
            return false;
        }
        if (uint64_t(n) * width > static_cast<uint64_t>(end - p)) {
            too_big("cvtran_decode_f8");
            p = nullptr;
            return false;
        }
        return true;
    }
};

}  // namespace cvtran_detail
