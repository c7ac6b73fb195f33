// Cutting paths, lines and curves at split nodes: the nodes are checked,
// ordered and cleaned, snapped onto vertices, inserted into a copy of the
// vertices, and the chain is cut there into pieces that go back into the
// chain list in link order, duplicates merged. Two variants do not cut:
// one inserts the nodes into the chain itself, one records where each node
// lands.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/split/qd_te_split_work.h"

namespace {

TeVertex* vertices(const TeChain* c) { return static_cast<TeVertex*>(c->coords->data); }
uint32_t count_of(const TeChain* c) { return c->coords ? c->coords->tally : 0; }
GeoCoord coord_of(const TeVertex& v) { return {v.x, v.y, v.z}; }
TeSplitNode* nodes_of(nlst* l) { return static_cast<TeSplitNode*>(l->data); }
bool finite(const GeoCoord& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

// The curve's vertices as a spline with the chain's end tangents.
struct Working {
    TeCoordArray array{};
    std::vector<GeoCoord> pts;
    bool present = false;
    void make(const TeChain* c) {
        const uint32_t n = count_of(c);
        pts.resize(n);
        for (uint32_t i = 0; i < n; ++i) pts[i] = coord_of(vertices(c)[i]);
        array.pts = pts.data();
        array.n = int32_t(n);
        array.start_angle = c->tangent.start_angle;
        array.end_angle = c->tangent.end_angle;
        array.end_condition = c->tangent.type;
        present = true;
    }
    double tangent(int32_t k) {
        double angle = 0;
        if (!present || qd_te_cogo_curve_tangent_at(&array, k, &angle, nullptr) != -1) return 0;
        return angle;
    }
    // The tangent at p put in after vertex v.
    double tangent_inserted(int32_t v, const GeoCoord& p) {
        if (!present) return 0;
        pts.insert(pts.begin() + v + 1, p);
        array.pts = pts.data();
        array.n = int32_t(pts.size());
        const double a = tangent(v + 1);
        pts.erase(pts.begin() + v + 1);
        array.pts = pts.data();
        array.n = int32_t(pts.size());
        return a;
    }
};

// The common start of the cuts: a chain that is not CHAIN_OK is left, one
// of fewer than two vertices becomes CHAIN_INVALID; the nodes are checked
// against it, ordered and completed. *go tells whether nodes remain.
int prepare(TeChain* chain, nlst* nodes, double t, const char* name, bool* go) {
    *go = false;
    if (chain->discard != CHAIN_OK) return 1;
    const uint32_t n = count_of(chain);
    if (n < 2) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (!nodes || nodes->tally == 0) return 1;
    if (!qd_te_split_check_nodes(nodes, int32_t(n), name)) return 0;
    if (!qd_te_split_sort_nodes(nodes, t) || !qd_te_split_linear_intr_components(chain, nodes, t)) return 0;
    *go = chain->discard == CHAIN_OK && nodes->tally > 0;
    return 1;
}

int linear_checked(TeChain* chain, nlst* nodes, nlst** pieces, double t, int32_t type, const char* name) {
    if (!chain || chain->chain_type != type) return qd_te_missing(name);
    if (chain->discard != CHAIN_OK) return 1;
    if (count_of(chain) < 2) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    return qd_te_split_linear(chain, nodes, pieces, t);
}

bool by_place(const TeSplitNode& a, const TeSplitNode& b) {
    if (int c = qd_te_key_order(a.point.x, b.point.x)) return c < 0;
    if (int c = qd_te_key_order(a.point.y, b.point.y)) return c < 0;
    return a.vertex < b.vertex;
}
bool by_chain_order(const TeSplitNode& a, const TeSplitNode& b) {
    if (a.vertex != b.vertex) return a.vertex < b.vertex;
    return qd_te_key_order(a.offset, b.offset) < 0;
}

}  // namespace

int qd_te_split_check_nodes(const nlst* nodes, int32_t count, const char* function) {
    if (!nodes) return 1;
    for (uint32_t i = 0; i < nodes->tally; ++i) {
        const TeSplitNode& n = static_cast<const TeSplitNode*>(nodes->data)[i];
        if (n.vertex < 0 || n.vertex >= count || !finite(n.point) || !std::isfinite(n.offset) ||
            std::isnan(n.tol))
            return qd_te_missing(function);
    }
    return 1;
}

int qd_te_split_sort_nodes(nlst* nodes, double t) {
    if (!nodes || nodes->tally < 2) return 1;
    TeSplitNode* n = nodes_of(nodes);
    std::stable_sort(n, n + nodes->tally, by_place);
    uint32_t kept = 1;
    for (uint32_t i = 1; i < nodes->tally; ++i) {
        const TeSplitNode& last = n[kept - 1];
        if (n[i].vertex == last.vertex && qd_te_same_fuzzy_point(&n[i].point, &last.point, t)) continue;
        n[kept++] = n[i];
    }
    nodes->tally = kept;
    if (kept >= 2) std::stable_sort(n, n + kept, by_chain_order);
    return 1;
}

int qd_te_split_linear_intr_components(TeChain* chain, nlst* nodes, double t) {
    if (!chain) return qd_te_missing("qd_te_split_linear_intr_components");
    if (chain->discard != CHAIN_OK) return 1;
    const int32_t n = int32_t(count_of(chain));
    if (n < 2) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (!nodes || nodes->tally == 0) return 1;
    const int32_t type = chain->chain_type;
    Working work;
    if (type == TE_CURVE && chain->tangent.type != 0) {
        work.make(chain);
        if (chain->tangent.type == 1 || chain->tangent.type == 2) {
            const bool end = chain->tangent.type == 1;
            double angle = 0;
            if (qd_te_cogo_curve_tangent_at(&work.array, end ? n - 1 : 0, &angle, nullptr) == -1) {
                (end ? chain->tangent.end_angle : chain->tangent.start_angle) = float(angle);
                chain->tangent.type = 3;
                work.make(chain);
            }
        }
    }
    const TeVertex* v = vertices(chain);
    const bool path = type == TE_PATH, line = type == TE_LINE, curve = type == TE_CURVE;
    uint32_t kept = 0;
    TeSplitNode* list = nodes_of(nodes);
    for (uint32_t i = 0; i < nodes->tally; ++i) {
        TeSplitNode node = list[i];
        const int32_t k = node.vertex;
        const GeoCoord at = coord_of(v[k]);
        bool keep = true;
        if (qd_te_same_fuzzy_point(&node.point, &at, t)) {
            if (k == 0 || line) keep = false;
            else if (path) node.offset = 0;
            else if (curve) node.offset = 0, node.param = work.tangent(k);
        } else if (k + 1 < n) {
            const GeoCoord next = coord_of(v[k + 1]);
            if (qd_te_same_fuzzy_point(&node.point, &next, t)) {
                if (k + 1 == n - 1 || line) keep = false;
                else if (path) node.vertex = k + 1, node.offset = 0;
                else if (curve) node.vertex = k + 1, node.offset = 0, node.param = work.tangent(k + 1);
            } else {
                qd_te_cogo_interpolate_z(&at, &next, &node.point);
                if (curve) node.param = work.tangent_inserted(k, node.point);
            }
        } else {
            if (k > 0) {
                const GeoCoord before = coord_of(v[k - 1]);
                qd_te_cogo_interpolate_z(&before, &at, &node.point);
            }
            if (curve) node.param = work.tangent(k);
        }
        if (keep) list[kept++] = node;
    }
    nodes->tally = kept;
    return 1;
}

namespace {

// A new vertex list: the source's vertices with the nodes' points put in
// where they lie inside segments; each node's vertex becomes its index
// there and first the index of the node before it (0 for the first).
nlst* with_nodes(const nlst* source, nlst* nodes, double t) {
    nlst* fresh = nlst_alloc(sizeof(TeVertex), source->tally + nodes->tally + 1, source->inc ? source->inc : 1, nullptr);
    if (!fresh) return nullptr;
    const TeVertex* v = static_cast<const TeVertex*>(source->data);
    int32_t s = 0, previous = 0;
    uint32_t copied = 0;
    int ok = 1;
    for (uint32_t i = 0; i < nodes->tally && ok; ++i) {
        TeSplitNode& node = nodes_of(nodes)[i];
        node.first = previous;
        if (node.offset > t) {
            ++s;
            const uint32_t upto = uint32_t(node.vertex) + 1;
            if (upto > copied) ok = nlst_add_many(fresh, v + copied, upto - copied), copied = upto;
            const TeVertex added = {node.point.x, node.point.y, node.point.z, node.tol};
            ok = ok && nlst_add(fresh, &added);
        }
        node.vertex += s;
        previous = node.vertex;
    }
    if (ok && copied < source->tally) ok = nlst_add_many(fresh, v + copied, source->tally - copied);
    if (!ok) {
        nlst_free(fresh);
        return nullptr;
    }
    return fresh;
}

}  // namespace

int qd_te_split_intr_insert(nlst** holder, nlst* nodes, double t) {
    if (!holder) return qd_te_missing("qd_te_split_intr_insert");
    nlst* old = *holder;
    if (!old || old->tally == 0 || !nodes || nodes->tally == 0) return 1;
    nlst* fresh = with_nodes(old, nodes, t);
    if (!fresh) return 0;
    nlst_free(old);
    *holder = fresh;
    return 1;
}

int qd_te_split_linear(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    if (!chain || !pieces) return qd_te_missing("qd_te_split_linear");
    bool go = false;
    if (!prepare(chain, nodes, t, "qd_te_split_linear", &go)) return 0;
    if (!go) return 1;
    // The chain keeps its vertices. Each piece is read straight off them:
    // from the last cut (a node inside a segment, or a vertex) to the next.
    TeChainsHolder work;
    const uint32_t count = nodes->tally;
    const TeVertex* v = vertices(chain);
    const int32_t n = int32_t(count_of(chain));
    const auto inside = [&](const TeSplitNode& node) { return node.offset > t; };
    const auto cut_vertex = [](const TeSplitNode& node) {
        return TeVertex{node.point.x, node.point.y, node.point.z, node.tol};
    };
    int ok = (work.list = nlst_alloc(sizeof(TeChain), count + 1, 2, nullptr)) != nullptr;
    if (!ok) ok = qd_te_no_memory();
    for (uint32_t k = 0; k <= count && ok; ++k) {
        const TeSplitNode* node = k < count ? nodes_of(nodes) + k : nullptr;
        const TeSplitNode* before = k > 0 ? nodes_of(nodes) + k - 1 : nullptr;
        const int32_t from = before ? before->vertex + (inside(*before) ? 1 : 0) : 0;
        const int32_t to = node ? node->vertex : n - 1;
        TeChain piece;
        if (!qd_te_geo_copy_chain(chain, &piece, 0)) {
            ok = 0;
            break;
        }
        piece.link_fore = piece.link_back = piece.link_free = -1;
        // The vertices are written straight into the piece's storage.
        auto* block = static_cast<TeVertex*>(qd_alloc(sizeof(TeVertex) * (size_t(std::max(0, to - from + 1)) + 2)));
        uint32_t filled = 0;
        if ((ok = block != nullptr)) {
            if (before && inside(*before)) block[filled++] = cut_vertex(*before);
            if (to >= from) std::memcpy(block + filled, v + from, sizeof(TeVertex) * size_t(to - from + 1));
            filled += uint32_t(std::max(0, to - from + 1));
            if (node && inside(*node)) block[filled++] = cut_vertex(*node);
            ok = filled > 0 && (piece.coords = nlst_alloc_with_array(sizeof(TeVertex), block, filled, 1, nullptr));
            if (!ok) qd_free(block);
        }
        if (!ok) ok = qd_te_no_memory();
        if (ok && chain->chain_type == TE_CURVE) {
            const int32_t type = chain->tangent.type;
            TeTangent& tg = piece.tangent;
            if (type == 3) {
                tg.start_angle = k == 0 ? chain->tangent.start_angle : float(nodes_of(nodes)[k - 1].param);
                tg.end_angle = node ? float(node->param) : chain->tangent.end_angle;
                tg.type = 3;
            } else if ((type == 1 && k == 0) || (type == 2 && k == count)) {
                tg = chain->tangent;
            } else {
                tg = {0, 0, 0};
            }
        }
        if (ok && !nlst_add(work.list, &piece)) ok = 0;
        if (!ok) qd_te_geo_chain_release(&piece);
    }
    // The nodes take the indexes they would have with their points put in.
    int32_t added = 0, previous = 0;
    for (uint32_t k = 0; k < count; ++k) {
        TeSplitNode& node = nodes_of(nodes)[k];
        node.first = previous;
        added += inside(node) ? 1 : 0;
        previous = node.vertex += added;
    }
    return ok && qd_te_split_move_pieces(work.list, pieces, t);
}

int qd_te_split_chain_line(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    return linear_checked(chain, nodes, pieces, t, TE_LINE, "qd_te_split_chain_line");
}
int qd_te_split_chain_poly(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    return linear_checked(chain, nodes, pieces, t, TE_PATH, "qd_te_split_chain_poly");
}
int qd_te_split_chain_curve(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    return linear_checked(chain, nodes, pieces, t, TE_CURVE, "qd_te_split_chain_curve");
}

int qd_te_split_chains(TeChain* chain, nlst* nodes, nlst** pieces, double t) {
    if (!chain) return qd_te_missing("qd_te_split_chains");
    if (!nodes || nodes->tally == 0) return 1;
    switch (chain->chain_type) {
    case TE_PATH: return qd_te_split_chain_poly(chain, nodes, pieces, t);
    case TE_LINE: return qd_te_split_chain_line(chain, nodes, pieces, t);
    case TE_ARC: return qd_te_split_chain_arc(chain, nodes, pieces, t);
    case TE_CIRCLE: return qd_te_split_chain_circle(chain, nodes, pieces, t);
    case TE_CURVE: return qd_te_split_chain_curve(chain, nodes, pieces, t);
    default: return qd_te_missing("qd_te_split_chains");
    }
}

int qd_te_split_linear_cross(nlst* nodes, double t, TeChain* chain) {
    if (!chain) return qd_te_missing("qd_te_split_linear_cross");
    bool go = false;
    if (!prepare(chain, nodes, t, "qd_te_split_linear_cross", &go)) return 0;
    if (!go) return 1;
    return qd_te_split_intr_insert(&chain->coords, nodes, t) && qd_te_cluster_clean_points(chain, 1, t);
}

int qd_te_split_chain_cross(TeChain* chain, nlst* nodes, double t) {
    if (!chain) return qd_te_missing("qd_te_split_chain_cross");
    if (!nodes || nodes->tally == 0) return 1;
    if (chain->chain_type == TE_LINE) chain->chain_type = TE_PATH;
    switch (chain->chain_type) {
    case TE_PATH:
    case TE_CURVE:
    case TE_REGION:
    case TE_ISLAND:
        if (count_of(chain) < 2) {
            chain->discard = CHAIN_INVALID;
            return 1;
        }
        return qd_te_split_linear_cross(nodes, t, chain);
    default: return qd_te_missing("qd_te_split_chain_cross");
    }
}

int qd_te_split_linear_record_intr(TeChain* chain, int32_t row, nlst* nodes, nlst** records,
                                   int32_t mode, double t) {
    if (!chain || !records) return qd_te_missing("qd_te_split_linear_record_intr");
    bool go = false;
    if (!prepare(chain, nodes, t, "qd_te_split_linear_record_intr", &go)) return 0;
    if (!go) return 1;
    const int32_t n = int32_t(count_of(chain));
    TeBitArray on_vertex{};
    if (mode == 1) {
        if (!qd_te_ba_alloc(&on_vertex, uint32_t(n))) return 0;
        for (uint32_t i = 0; i < nodes->tally; ++i)
            if (nodes_of(nodes)[i].offset <= 0) qd_te_ba_set(&on_vertex, uint32_t(nodes_of(nodes)[i].vertex));
    }
    int32_t m = 0;
    int ok = 1;
    for (uint32_t i = 0; i < nodes->tally && ok; ++i) {
        const TeSplitNode& node = nodes_of(nodes)[i];
        TeSplitRecord r = {row, 0, node};
        if (node.offset > 0) {
            r.index = node.vertex + m + 1;
            ++m;
        } else if (mode == 1 && node.vertex > 0 && node.vertex < n - 1 &&
                   qd_te_ba_test(&on_vertex, uint32_t(node.vertex))) {
            // An inner vertex carrying several nodes is recorded once.
            on_vertex.bits[node.vertex / 8] &= uint8_t(~(1u << (node.vertex % 8)));
            r.index = node.vertex + m;
        } else {
            continue;
        }
        ok = qd_te_append_item_to_list(records, &r, sizeof r);
    }
    if (mode == 1) qd_te_ba_free(&on_vertex);
    return ok;
}

int qd_te_split_move_pieces(nlst* pieces, nlst** target, double t) {
    if (!target) return qd_te_missing("qd_te_split_move_pieces");
    if (!pieces) return 1;
    if (!*target && pieces->tally && !(*target = nlst_alloc(sizeof(TeChain), pieces->tally, 2, nullptr)))
        return qd_te_no_memory();
    for (uint32_t i = 0; i < pieces->tally; ++i) {
        TeChain* p = qd_te_chain_at(pieces, int32_t(i));
        if (p->discard == CHAIN_OK && !qd_te_cluster_clean_points(p, 1, t)) return 0;
        if (p->discard != CHAIN_OK) {
            qd_te_geo_chain_release(p);
            qd_te_geo_chain_default(p);
            p->discard = CHAIN_FREE;
            continue;
        }
        if (!qd_te_append_item_to_list(target, p, sizeof(TeChain))) return 0;
        qd_te_geo_chain_default(p);
        p->discard = CHAIN_FREE;
    }
    return 1;
}

int qd_te_split_remove_duplicate_chains(nlst* chains, double t) {
    if (!chains) return qd_te_missing("qd_te_split_remove_duplicate_chains");
    for (uint32_t i = 0; i < chains->tally; ++i) {
        TeChain* p = qd_te_chain_at(chains, int32_t(i));
        if (p->discard == CHAIN_OK && !qd_te_cluster_clean_points(p, 0, t)) return 0;
        for (uint32_t j = i + 1; j < chains->tally && p->discard == CHAIN_OK; ++j) {
            TeChain* q = qd_te_chain_at(chains, int32_t(j));
            if (q->chain_mer[0].x > p->chain_mer[1].x) break;
            if (q->discard != CHAIN_OK) continue;
            if (q->chain_mer[0].x > p->chain_mer[1].x || q->chain_mer[1].x < p->chain_mer[0].x ||
                q->chain_mer[0].y > p->chain_mer[1].y || q->chain_mer[1].y < p->chain_mer[0].y)
                continue;
            int32_t identical = 0;
            if (!qd_te_duplicates_prim(p, q, nullptr, &identical)) return 0;
        }
    }
    return 1;
}

int qd_te_split_find_position(const double* min_x, int32_t start, const nlst* chains, int32_t* position) {
    if (!min_x || !chains || !position) return qd_te_missing("qd_te_split_find_position");
    *position = int32_t(chains->tally);
    if (start <= 0 || start >= int32_t(chains->tally)) return 1;
    int32_t at = start;
    for (;;) {
        TeChain* next = nullptr;
        if (!qd_te_link_get_next_chain(chains, &at, &next)) return 0;
        if (!next || at == 0) return 1;
        if (next->discard == CHAIN_OK && next->chain_mer[0].x >= *min_x) {
            *position = at;
            return 1;
        }
    }
}

int qd_te_split_chain_by_list(int32_t start, nlst* pieces, nlst* chains, double t, int32_t* inserted) {
    if (inserted) *inserted = 0;
    if (!chains || !inserted) return qd_te_missing("qd_te_split_chain_by_list");
    if (start < 0 || uint32_t(start) >= chains->tally) return 0;
    if (!pieces || pieces->tally == 0) return 1;
    std::stable_sort(qd_te_chain_at(pieces, 0), qd_te_chain_at(pieces, 0) + pieces->tally,
                     [](const TeChain& a, const TeChain& b) { return qd_te_chain_compare(&a, &b) < 0; });
    if (!qd_te_split_remove_duplicate_chains(pieces, t)) return 0;
    // Pieces go in by ascending minimum x: each search resumes where the
    // last piece went in, so the whole list goes back in linear time.
    int32_t from = start;
    for (uint32_t i = 0; i < pieces->tally; ++i) {
        TeChain* p = qd_te_chain_at(pieces, int32_t(i));
        if (p->discard != CHAIN_OK || count_of(p) == 0) continue;
        int32_t position = 0;
        const double min_x = p->chain_mer[0].x;
        if (!qd_te_split_find_position(&min_x, from, chains, &position)) return 0;
        const int32_t tally = int32_t(chains->tally), free_slot = qd_te_chain_at(chains, 0)->link_free;
        if (!qd_te_link_insert_chain(chains, position, p)) return 0;
        from = free_slot > 0 && free_slot < tally ? free_slot : tally;
        p->discard = CHAIN_FREE;
        *inserted = 1;
    }
    return 1;
}
