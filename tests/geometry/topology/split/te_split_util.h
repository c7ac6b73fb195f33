// Helpers of the identity, reference, cutting and ring tests: chains with
// tolerances and parents, split nodes, and a recorder of failure reports.
#pragma once

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "../chain/te_list_util.h"
#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_split.h"

namespace tetest {

// Records each report as "code function".
struct FailLog {
    std::vector<std::string> reports;
    FailLog() {
        qd_fail_state.recorder = &Record;
        qd_fail_state.recorder_context = this;
    }
    ~FailLog() {
        qd_fail_state.recorder = nullptr;
        qd_fail_state.recorder_context = nullptr;
    }
    FailLog(const FailLog&) = delete;
    FailLog& operator=(const FailLog&) = delete;
    static void Record(const char* code, const QdFailPair* pairs, int count, void* context) {
        std::string line = code;
        for (int i = 0; i < count; ++i)
            if (std::string(pairs[i].key) == "function%s") line += std::string(" ") + pairs[i].value.s;
        static_cast<FailLog*>(context)->reports.push_back(line);
    }
    bool Saw(const std::string& line) const {
        for (const auto& r : reports)
            if (r == line) return true;
        return false;
    }
};

// Records the codes the error method receives and answers 0 (stop).
struct ErrorCodeLog {
    std::vector<int32_t> seen;
    static int32_t On(FailEvent* e, void* self) {
        static_cast<ErrorCodeLog*>(self)->seen.push_back(e->code);
        return 0;
    }
};

inline void AddParent(TeChain& c, int32_t side, int32_t id) {
    nlst*& list = side == 0 ? c.right_parent : c.left_parent;
    if (!list) list = nlst_alloc(sizeof(TeParent), 2, 2, nullptr);
    const TeParent p = {id, 1, 1 << 3};
    nlst_add(list, &p);
}

inline std::vector<int32_t> ParentIds(const nlst* list) {
    std::vector<int32_t> ids;
    if (list)
        for (uint32_t i = 0; i < list->tally; ++i) ids.push_back(static_cast<const TeParent*>(list->data)[i].id_a);
    return ids;
}

// A circle chain: its radius is set before the centre is stored.
inline TeChain Circle(double cx, double cy, double r, double tol) {
    TeChain c;
    qd_te_geo_chain_default(&c);
    c.chain_type = TE_CIRCLE;
    c.radius = r;
    const GeoCoord centre = Q(cx, cy);
    qd_te_geo_form_location(&c, &centre, 1, tol, tol);
    return c;
}

// The point at a polar angle (degrees) of a circle.
inline GeoCoord Polar(double cx, double cy, double r, double degrees) {
    const double a = degrees * M_PI / 180;
    return Q(cx + r * std::cos(a), cy + r * std::sin(a));
}

inline TeSplitNode Node(double x, double y, int32_t vertex, double offset, double tol = 0) {
    TeSplitNode n{};
    n.point = Q(x, y);
    n.tol = tol;
    n.vertex = vertex;
    n.offset = offset;
    return n;
}

// A split node list owned by the holder.
struct Nodes {
    nlst* list;
    Nodes(std::initializer_list<TeSplitNode> nodes) {
        list = nlst_alloc(sizeof(TeSplitNode), uint32_t(nodes.size()) + 1, 2, nullptr);
        for (const auto& n : nodes) nlst_add(list, &n);
    }
    ~Nodes() { nlst_free(list); }
    Nodes(const Nodes&) = delete;
    Nodes& operator=(const Nodes&) = delete;
};

// A list of chains by value (no universal chain) released when it goes.
struct Pieces {
    nlst* list = nullptr;
    Pieces() = default;
    ~Pieces() {
        if (list) {
            qd_te_geo_free_chain_list(list, 0);
            nlst_free(list);
        }
    }
    Pieces(const Pieces&) = delete;
    Pieces& operator=(const Pieces&) = delete;
    int32_t Count() const { return list ? int32_t(list->tally) : 0; }
    TeChain* At(int32_t i) const { return qd_te_chain_at(list, i); }
};

inline std::vector<GeoCoord> Points(const TeChain* c) {
    std::vector<GeoCoord> out;
    if (c->coords)
        for (uint32_t i = 0; i < c->coords->tally; ++i) {
            const TeVertex& v = static_cast<const TeVertex*>(c->coords->data)[i];
            out.push_back({v.x, v.y, v.z});
        }
    return out;
}

// Counter-clockwise sweep of a three-point arc chain, degrees.
inline double Sweep(const TeChain* c) {
    const auto p = Points(c);
    TeArc arc;
    if (p.size() != 3 || qd_te_cogo_arc_from_points(&p[0], &p[1], &p[2], &arc, nullptr) != -1) return NAN;
    double s = arc.end - arc.start;
    return s < 0 ? s + 360 : s;
}

}  // namespace tetest
