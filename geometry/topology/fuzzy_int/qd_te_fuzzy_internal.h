// Helpers shared by the files of the fuzzy intersection module.
#pragma once

#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"

// Forms a chain's view with a qd_te_form_* routine (its skip flag last,
// supplied here): a failure ends the calling routine with 0, a skipped
// chain with 1.
#define TE_FORM(form, ...)                         \
    do {                                           \
        int32_t skip_ = 0;                         \
        if (!form(__VA_ARGS__, &skip_)) return 0;  \
        if (skip_) return 1;                       \
    } while (0)

namespace te_fuzzy {

// A vertex read as its point (x, y, z lead both records).
inline const GeoCoord* as_coord(const TeVertex* v) { return reinterpret_cast<const GeoCoord*>(v); }
inline GeoCoord coord(const TeVertex& v) { return {v.x, v.y, v.z}; }

inline uint32_t vertex_count(const TeChain* c) { return c->coords ? c->coords->tally : 0; }
inline TeVertex* vertices(const TeChain* c) {
    return c->coords ? static_cast<TeVertex*>(c->coords->data) : nullptr;
}

inline bool is_ring(int32_t type) { return type == TE_REGION || type == TE_ISLAND; }

// Empties a list holder (count 0, capacity 0, no items; items freed).
inline void list_clear(TeIntersectionList* list) {
    if (list->items) qd_free(list->items);
    *list = {0, 0, nullptr};
}

// Hands collected items to a list as a new array (count = capacity =
// number of items): status 1, 0 for none, -3 when memory runs out.
inline int32_t hand_over(const std::vector<TeIntersection>& items, TeIntersectionList* list) {
    list_clear(list);
    if (items.empty()) return 0;
    TeIntersection* array = nullptr;
    if (!qd_te_fuzzy_alloc_intersections(int32_t(items.size()), &array) || !array) return -3;
    std::memcpy(array, items.data(), sizeof(TeIntersection) * items.size());
    *list = {int32_t(items.size()), int32_t(items.size()), array};
    return 1;
}

// The same from a growable nlst of TeIntersection (absent: none).
inline int32_t hand_over(const nlst* grown, TeIntersectionList* list) {
    std::vector<TeIntersection> items;
    if (grown && grown->tally) {
        const auto* p = static_cast<const TeIntersection*>(grown->data);
        items.assign(p, p + grown->tally);
    }
    return hand_over(items, list);
}

// Appends an item to a growable list made on first use; 0 out of memory.
inline int append_item(nlst** holder, const TeIntersection& item) {
    if (!*holder && !(*holder = nlst_alloc(sizeof(TeIntersection), 8, 8, nullptr))) return 0;
    return nlst_add(*holder, &item);
}

inline bool boxes_meet(const GeoCoord a[2], const GeoCoord b[2]) {
    return a[0].x <= b[1].x && a[1].x >= b[0].x && a[0].y <= b[1].y && a[1].y >= b[0].y;
}

}  // namespace te_fuzzy
