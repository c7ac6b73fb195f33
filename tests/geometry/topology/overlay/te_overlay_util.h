// Helpers of the overlay-walk tests: region chain lists threaded by hand
// (each chain's link names the nearest earlier region, as renumbering
// leaves them) with an optional shift of every coordinate.
#pragma once

#include <initializer_list>
#include <vector>

#include "../chain/te_chain_util.h"
#include "geometry/topology/qd_te_geo_overlay.h"

namespace tetest {

// The clockwise ring of a rectangle.
inline std::vector<GeoCoord> Box(double x0, double y0, double x1, double y1) {
    return {Q(x0, y0), Q(x0, y1), Q(x1, y1), Q(x1, y0), Q(x0, y0)};
}

inline TeChain ChainOf(int32_t type, const std::vector<GeoCoord>& pts, int32_t pid) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.chain_pid = pid;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), 0, 0);
    return c;
}

// A GeoCoord list released when it goes.
struct PointList {
    nlst* list = nullptr;
    explicit PointList(const std::vector<GeoCoord>& pts) {
        list = nlst_alloc(sizeof(GeoCoord), uint32_t(pts.size()) + 1, 8, nullptr);
        for (const GeoCoord& p : pts) nlst_add(list, &p);
    }
    ~PointList() { nlst_free(list); }
    PointList(const PointList&) = delete;
    PointList& operator=(const PointList&) = delete;
};

// An int32 or pair list holder freed when it goes.
struct ListHolder {
    nlst* list = nullptr;
    ~ListHolder() {
        if (list) nlst_free(list);
    }
    std::vector<int32_t> Ints() const {
        std::vector<int32_t> v;
        if (list)
            for (uint32_t i = 0; i < list->tally; ++i) v.push_back(static_cast<const int32_t*>(list->data)[i]);
        return v;
    }
};

// Region chains (and others) added in walk order reversed: the walk from
// a later chain visits the earlier regions from the nearest back.
struct RegionList {
    Chains chains;
    double dx, dy;
    explicit RegionList(double shift = 0) : dx(shift), dy(shift) {}
    std::vector<GeoCoord> Shift(std::vector<GeoCoord> pts) const {
        for (GeoCoord& p : pts) p.x += dx, p.y += dy;
        return pts;
    }
    int32_t Add(int32_t type, const std::vector<GeoCoord>& pts, int32_t pid, int32_t lookup = -1) {
        TeChain c = ChainOf(type, Shift(pts), pid);
        c.chain_lookup = lookup;
        return chains.Add(c);
    }
    // Threads the three link lists (kind 1: negative lookups, kind 2: the
    // others, kind 0: all) and sets the universal rectangle.
    void Thread() {
        int32_t fore = -1, back = -1, all = -1;
        TeChain* u = chains.At(0);
        GeoCoord mer[2] = {{1e300, 1e300, 0}, {-1e300, -1e300, 0}};
        for (int32_t i = 1; i < chains.Count(); ++i) {
            TeChain* c = chains.At(i);
            c->chain_id = i;
            qd_te_mer_union(mer, c->chain_mer);
            c->link_fore = fore, c->link_back = back, c->link_free = all;
            if (c->chain_type == TE_REGION || c->chain_type == TE_ISLAND) {
                all = i;
                (c->chain_lookup < 0 ? fore : back) = i;
            }
        }
        u->chain_mer[0] = mer[0];
        u->chain_mer[1] = mer[1];
        qd_te_mer_expand(u->chain_mer, 2e-8);
        u->link_fore = fore, u->link_back = back, u->link_free = all;
    }
};

}  // namespace tetest
