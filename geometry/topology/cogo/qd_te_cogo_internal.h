// Helpers shared by the files of the engine's coordinate geometry: owned
// segment record arrays, the working list of found intersections and its
// hand-over to the caller's list, and input checks. Not part of the
// module's interface.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/qd_alloc.h"
#include "geometry/qd_nlst.h"
#include "geometry/topology/qd_te_cogo.h"

namespace te_cogo {

// Working lists grow by this many items at a time.
inline constexpr uint32_t kListGrowth = 256;

inline bool finite_points(const GeoCoord* pts, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
        if (!std::isfinite(pts[i].x) || !std::isfinite(pts[i].y)) return false;
    return true;
}

// Segment i of pts (vertex i to vertex i + 1) as a sweep record.
inline TeSegment segment_record(const GeoCoord* pts, int32_t i, int32_t tag) {
    TeSegment s;
    s.end = &pts[i + 1];
    s.start = &pts[i];
    s.index = i;
    s.tag = tag;
    s.mark = -1;
    qd_te_cogo_segment_envelope(s.start, s.end, &s.env_min);
    return s;
}

// Closed comparison of a record's envelope with an envelope pair.
inline bool envelopes_overlap(const TeSegment& s, const GeoCoord* env) {
    return s.env_min.x <= env[1].x && s.env_max.x >= env[0].x && s.env_min.y <= env[1].y &&
           s.env_max.y >= env[0].y;
}

inline bool segments_overlap(const TeSegment& a, const TeSegment& b) {
    const GeoCoord env[2] = {b.env_min, b.env_max};
    return envelopes_overlap(a, env);
}

// An array of segment records from qd_alloc, freed on scope exit.
struct SegmentRecords {
    TeSegment* items = nullptr;
    int32_t count = 0;
    SegmentRecords() = default;
    SegmentRecords(const SegmentRecords&) = delete;
    SegmentRecords& operator=(const SegmentRecords&) = delete;
    ~SegmentRecords() { qd_free(items); }
    bool reserve(int32_t n) {
        items = static_cast<TeSegment*>(qd_alloc(sizeof(TeSegment) * size_t(n > 0 ? n : 1)));
        return items != nullptr;
    }
    void push(const TeSegment& s) { items[count++] = s; }
    void sort() {
        std::sort(items, items + count, [](const TeSegment& a, const TeSegment& b) {
            return qd_te_cogo_segment_order(&a, &b) < 0;
        });
    }
};

// The working nlst of found intersections, freed on scope exit.
struct FoundList {
    nlst* lst = nullptr;
    FoundList() = default;
    FoundList(const FoundList&) = delete;
    FoundList& operator=(const FoundList&) = delete;
    ~FoundList() {
        if (lst) nlst_free(lst);
    }
    bool open(uint32_t capacity) {
        lst = nlst_alloc(sizeof(TeIntersection), capacity ? capacity : 1, kListGrowth, nullptr);
        return lst != nullptr;
    }
    bool add(const TeIntersection& x) { return nlst_add(lst, &x) == 1; }
    // With stop_at_first 0 and result 1 the caller's list receives a copy
    // of the items (count = capacity); -3 when the copy cannot be had.
    int hand_over(int result, int stop_at_first, TeIntersectionList* list) {
        if (stop_at_first || result != 1) return result;
        const uint32_t tally = nlst_tally(lst);
        if (tally == 0) return 0;
        auto* items = static_cast<TeIntersection*>(nlst_core(lst));
        if (!items) return -3;
        list->count = list->capacity = static_cast<int32_t>(tally);
        list->items = items;
        return 1;
    }
};

// A curve without consecutive duplicates: the caller's record, or a
// reduced copy whose storage and map this owns.
struct Reduced {
    TeCoordArray copy = {nullptr, 0};
    TeCoordArray* curve = nullptr;  // the caller's record or the copy
    int32_t* map = nullptr;
    GeoCoord* owned = nullptr;
    Reduced() = default;
    Reduced(const Reduced&) = delete;
    Reduced& operator=(const Reduced&) = delete;
    ~Reduced() {
        qd_free(map);
        qd_free(owned);
    }
    // -1 ready, -2 refused, -3 out of memory.
    int make(TeCoordArray* in, const double* tol) {
        const int r = qd_te_cogo_remove_duplicates(in, &copy, &map, tol);
        if (r < 0) return r;
        curve = r == 0 ? in : &copy;
        if (r != 0) owned = copy.pts;
        return -1;
    }
    // The first reduced node whose map value is at least k.
    int32_t carry(int32_t k) const {
        if (!map) return k;
        for (int32_t i = 0; i < curve->n; ++i)
            if (map[i] >= k) return i;
        return curve->n;
    }
    int32_t back(int32_t i) const { return map && i >= 0 && i < curve->n ? map[i] : i; }
};

}  // namespace te_cogo
