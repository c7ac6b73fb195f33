// Helpers of the intersection-stage tests: chains of every kind with a
// vertex tolerance, and a spy on the pair dispatch.
#pragma once

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/topology/chain/te_chain_util.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_fuzzy_int.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/geo_test_util.h"

namespace tetest {

// A chain of a kind with every vertex tolerance `tol`; a CIRCLE is its
// centre and radius.
inline TeChain Ch(int32_t type, std::vector<GeoCoord> pts, double tol = 0.0, double radius = 0.0) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = type;
    c.radius = radius;
    qd_te_geo_form_location(&c, pts.data(), int32_t(pts.size()), tol, tol);
    if (type == TE_CIRCLE) {
        c.chain_mer[0] = {pts[0].x - radius - tol, pts[0].y - radius - tol, KTGEO_NO_Z};
        c.chain_mer[1] = {pts[0].x + radius + tol, pts[0].y + radius + tol, KTGEO_NO_Z};
    }
    return c;
}

// A chain released when it goes.
struct Owned {
    TeChain c;
    explicit Owned(TeChain chain) : c(chain) {}
    ~Owned() { qd_te_geo_chain_release(&c); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    TeChain* operator->() { return &c; }
    TeChain* get() { return &c; }
};

inline const TeVertex& Vx(const TeChain* c, int i) { return static_cast<const TeVertex*>(c->coords->data)[i]; }

// The last pair the dispatch handed on: routine, swap, mode and items.
struct DispatchSpy {
    std::string routine;
    int32_t swap = -1, mode = -1, calls = 0;
    std::vector<TeIntersection> items;
    DispatchSpy() { qd_te_dispatch_spy = {&DispatchSpy::Hear, this}; }
    ~DispatchSpy() { qd_te_dispatch_spy = {nullptr, nullptr}; }
    DispatchSpy(const DispatchSpy&) = delete;
    DispatchSpy& operator=(const DispatchSpy&) = delete;
    static int Hear(const char* routine, const TeIntersectionList* list, int32_t swap, int32_t mode, void* user) {
        auto* s = static_cast<DispatchSpy*>(user);
        s->routine = routine;
        s->swap = swap;
        s->mode = mode;
        ++s->calls;
        s->items.assign(list->items, list->items + list->count);
        return 0;  // leave the pair unprocessed
    }
};

// Soups of lines as the GEOS vectors give them: "x y;x y|x y;...".
using Seg = std::pair<GeoCoord, GeoCoord>;

inline std::vector<std::vector<GeoCoord>> Lines(const std::string& field) {
    std::vector<std::vector<GeoCoord>> lines;
    std::istringstream s(field);
    std::string line, pair;
    while (std::getline(s, line, '|')) {
        std::vector<GeoCoord> pts;
        std::istringstream p(line);
        while (std::getline(p, pair, ';')) {
            double x, y;
            if (std::sscanf(pair.c_str(), "%lf %lf", &x, &y) == 2) pts.push_back(Q(x, y));
        }
        lines.push_back(pts);
    }
    return lines;
}

inline bool Near(const GeoCoord& a, const GeoCoord& b) { return std::fabs(a.x - b.x) <= 1e-9 && std::fabs(a.y - b.y) <= 1e-9; }
inline bool SameSeg(const Seg& a, const Seg& b) {
    return (Near(a.first, b.first) && Near(a.second, b.second)) || (Near(a.first, b.second) && Near(a.second, b.first));
}

// Each segment of `got` matched to one of `want` (either way round, 1e-9),
// and the counts equal; the unmatched ones are described.
inline std::string SegmentsDiffer(const std::vector<Seg>& got, const std::vector<Seg>& want) {
    std::string out;
    std::vector<bool> used(want.size(), false);
    for (const Seg& g : got) {
        bool matched = false;
        for (size_t j = 0; j < want.size() && !matched; ++j)
            if (!used[j] && SameSeg(g, want[j])) used[j] = matched = true;
        if (!matched) out += "extra piece at " + std::to_string(g.first.x) + " " + std::to_string(g.first.y) + "; ";
    }
    if (got.size() != want.size())
        out += std::to_string(got.size()) + " pieces, GEOS " + std::to_string(want.size());
    return out;
}

// Does cutting chains work (a line cut at a middle node gives two
// pieces)? The tests that need real pieces skip without it.
inline bool CuttingBuilt() {
    Owned line(Ch(TE_LINE, {Q(0, 0), Q(2, 0)}));
    nlst* nodes = nlst_alloc(sizeof(TeSplitNode), 1, 1, nullptr);
    TeSplitNode node{};
    node.point = Q(1, 0);
    node.vertex = 0;
    node.offset = 1;
    nlst_add(nodes, &node);
    nlst* pieces = nullptr;
    geotest::FailRecorder quiet;
    const bool built = qd_te_split_chains(line.get(), nodes, &pieces, 1e-9) == 1 && pieces && pieces->tally == 2;
    if (pieces) {
        qd_te_geo_free_chain_list(pieces, 0);
        nlst_free(pieces);
    }
    nlst_free(nodes);
    return built;
}

}  // namespace tetest
