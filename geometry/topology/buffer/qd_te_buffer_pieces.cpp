// Buffer outline pieces: after an outline has been split at its crossings,
// the vertices that lie inside the buffer distance of the ring it came from
// are removed, and every kept piece gets a REGION or ISLAND twin that tells
// the face builder which side is buffer surface.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_buffer.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/qd_te_geo_overlay.h"

namespace {

void delete_piece(TeChain* piece) {
    piece->discard = CHAIN_DELETE;
    qd_te_geo_chain_release(piece);
}

bool has_parents(const nlst* parents) { return parents && parents->tally > 0; }

}  // namespace

namespace {

// Is the point nearer to the segment than the reach, by more than a small
// margin and the given slack? A point on the buffer line (within the
// margin) stays outside. The margin shrinks with the reach so that very
// narrow buffers still lose their inner vertices.
bool inside_reach(const TeBufferWidth& widths, const GeoCoord& start, const GeoCoord& point, const GeoCoord& end,
                  double slack_fraction) {
    GeoCoord a = start, b = end, p = point;
    double reach = std::fabs(widths.width);
    if (widths.two_sided == 1) {
        // Elliptical reach: y scaled so that the ellipse becomes a circle of
        // the left width around the point.
        const double wl = std::fabs(widths.width_left), wr = std::fabs(widths.width_right);
        const double scale = wr > 0.0 ? wl / wr : 1.0;
        a = {a.x - p.x, (a.y - p.y) * scale, 0.0};
        b = {b.x - p.x, (b.y - p.y) * scale, 0.0};
        p = {0.0, 0.0, 0.0};
        reach = wl;
    }
    const double margin = std::min(1e-8, 1e-6 * reach);
    const double d = qd_te_cogo_point_segment_distance(&a, &b, &p, nullptr) + margin;
    return d < reach && reach - d > margin + slack_fraction * reach;
}

// Where two chords of stroked arcs cross, the crossing lies inside the true
// arcs by up to a chord's sagitta: arcs are stroked with steps of at most
// 1/8 radian, so by at most 1 - cos(1/16) of the radius.
const double kChordSag = 1.0 - std::cos(1.0 / 16.0);

// The outline's own points sorted by x, then y: a piece vertex not among
// them is a crossing that the split inserted.
struct OutlinePoints {
    std::vector<std::pair<double, double>> sorted;
    explicit OutlinePoints(const GeoCoord* pts, int32_t n) {
        for (int32_t i = 0; pts && i < n; ++i) sorted.emplace_back(pts[i].x, pts[i].y);
        std::sort(sorted.begin(), sorted.end());
    }
    bool crossing(const TeVertex& v) const {
        return !sorted.empty() && !std::binary_search(sorted.begin(), sorted.end(), std::make_pair(v.x, v.y));
    }
};

// Is the point inside the buffer distance of the ring (n points), by more
// than the margin and the slack?
bool inside_ring(const TeBufferWidth& widths, const GeoCoord* ring, int32_t n, const GeoCoord& p,
                 double slack_fraction) {
    const double reach = std::max(std::fabs(widths.width_left), std::fabs(widths.width_right)) + 1e-10;
    const double box_reach = std::max(reach, std::fabs(widths.width) + 1e-10);
    for (int32_t j = 0; j + 1 < n; ++j) {
        const GeoCoord& s = ring[j];
        const GeoCoord& e = ring[j + 1];
        // Only segments whose box meets the point's box grown by the reach.
        if (std::max(s.x, e.x) + 1e-10 < p.x - box_reach || std::min(s.x, e.x) > p.x + box_reach + 1e-10 ||
            std::max(s.y, e.y) < p.y - box_reach || std::min(s.y, e.y) > p.y + box_reach)
            continue;
        if (inside_reach(widths, s, p, e, slack_fraction)) return true;
    }
    return false;
}

int filter_pieces(nlst* chains, int32_t start, const GeoCoord* ring, int32_t n, const TeBufferWidth* widths,
                  const OutlinePoints& outline) {
    if (!chains || start < 0 || start >= static_cast<int32_t>(chains->tally) || n <= 0) return 1;
    const int32_t count = static_cast<int32_t>(chains->tally);
    for (int32_t row = start; row < count; ++row) {
        TeChain* piece = qd_te_chain_at(chains, row);
        if (piece->discard != CHAIN_OK) continue;
        if (piece->chain_type == TE_LINE || !piece->coords || piece->coords->tally < 3) {
            delete_piece(piece);
            continue;
        }
        TeVertex* v = static_cast<TeVertex*>(piece->coords->data);
        const int32_t nv = static_cast<int32_t>(piece->coords->tally);
        std::vector<char> marked(static_cast<size_t>(nv), 0);
        int32_t hits = 0;
        for (int32_t i = 0; i < nv; ++i) {
            const GeoCoord p{v[i].x, v[i].y, 0.0};
            if (inside_ring(*widths, ring, n, p, outline.crossing(v[i]) ? kChordSag : 0.0)) {
                marked[static_cast<size_t>(i)] = 1;
                ++hits;
            }
        }
        if (hits == nv) {
            delete_piece(piece);
            continue;
        }
        if (hits == 0) continue;
        int32_t k = 0;
        for (int32_t i = 0; i < nv; ++i)
            if (!marked[static_cast<size_t>(i)]) v[k++] = v[i];
        if (k < 3) {
            delete_piece(piece);
            continue;
        }
        int32_t length = k;
        const bool open = std::fabs(v[0].x - v[k - 1].x) > 1e-10 || std::fabs(v[0].y - v[k - 1].y) > 1e-10;
        if (open && (!marked[0] || k > 3)) v[length++] = v[0];  // room: at least one vertex was removed
        piece->coords->tally = static_cast<uint32_t>(length);
        if (qd_te_cluster_clean_points(piece, 1, 1e-10) != 1) return 0;
        if (piece->discard != CHAIN_OK || piece->chain_type == TE_LINE) delete_piece(piece);
    }
    return 1;
}

}  // namespace

int qd_te_buffer_point_filter(const TeBufferWidth* widths, const GeoCoord* start, const GeoCoord* point,
                              const GeoCoord* end) {
    if (!widths || !start || !point || !end) {
        qd_te_missing("qd_te_buffer_point_filter");
        return 1;
    }
    return inside_reach(*widths, *start, *point, *end, 0.0) ? 1 : 0;
}

int qd_te_buffer_chain_filter(nlst* chains, int32_t start, const GeoCoord* ring, int32_t n,
                              const TeBufferWidth* widths) {
    if (!ring || !widths) return qd_te_missing("qd_te_buffer_chain_filter");
    return filter_pieces(chains, start, ring, n, widths, OutlinePoints(nullptr, 0));
}

int qd_te_buffer_chain_filter_outline(nlst* chains, int32_t start, const GeoCoord* ring, int32_t n,
                                      const TeBufferWidth* widths, const GeoCoord* outline, int32_t count) {
    if (!ring || !widths || !outline) return qd_te_missing("qd_te_buffer_chain_filter_outline");
    return filter_pieces(chains, start, ring, n, widths, OutlinePoints(outline, count));
}

int qd_te_buffer_chain_cross_spikes(TeEncoder* encoder, int32_t start, int32_t end, int32_t kind) {
    if (!encoder || !encoder->rules) return qd_te_missing("qd_te_buffer_chain_cross_spikes");
    if ((kind != 0 && kind != 1) || !encoder->chains) return 1;
    nlst* chains = encoder->chains;
    start = std::max(start, 0);
    end = std::min(end, static_cast<int32_t>(chains->tally));
    const double tol = encoder->keys.tolerance.tolerance;
    const bool negative = encoder->rules->buffer.width.width < 0.0;
    auto closed = [&](TeChain* c, int32_t* answer) { return qd_te_fuzzy_chain_closed(c, tol, answer) == 1; };
    for (int32_t b = start; b < end; ++b) {
        TeChain* spike = qd_te_chain_at(chains, b);
        int32_t is_closed = 0;
        if (spike->discard != CHAIN_OK) continue;
        if (!closed(spike, &is_closed)) return 0;
        if (is_closed) continue;
        TeVertex *first = nullptr, *last = nullptr;
        int32_t skip = 0;
        if (qd_te_form_start_end(spike, &first, &last, &skip) != 1) return 0;
        if (skip) {
            delete_piece(spike);
            continue;
        }
        // The closed pieces around it: each decided at the first vertex that
        // lies inside or outside it (vertices on its boundary say nothing).
        int32_t around = 0;
        for (int32_t r = start; r < end; ++r) {
            TeChain* ring = qd_te_chain_at(chains, r);
            if (r == b || ring->discard != CHAIN_OK) continue;
            if (!closed(ring, &is_closed)) return 0;
            if (!is_closed) continue;
            const auto* v = static_cast<const TeVertex*>(spike->coords->data);
            for (uint32_t i = 0; i < spike->coords->tally; ++i) {
                const GeoCoord p{v[i].x, v[i].y, v[i].z};
                int32_t location = TE_LOC_UNDECIDED;
                if (qd_te_geo_overlay_pt_inside_region(&p, ring, nullptr, &location) != 1) return 0;
                if (location == TE_LOC_INSIDE) ++around;
                if (location == TE_LOC_INSIDE || location == TE_LOC_OUTSIDE || location == TE_LOC_UNDECIDED) break;
            }
        }
        const bool odd = around % 2 == 1;
        if (kind == 0 ? odd != negative : odd == negative) delete_piece(spike);
    }
    return 1;
}

int qd_te_buffer_chain_cutter(int32_t start, TeEncoder* encoder, int32_t kind) {
    if (!encoder || !encoder->chains || !encoder->rules) return qd_te_missing("qd_te_buffer_chain_cutter");
    nlst* chains = encoder->chains;
    const int32_t count = static_cast<int32_t>(chains->tally);
    // The decision carried from one piece to the next: -1 no twin, else the twin's type.
    int32_t carried = TE_REGION;
    for (int32_t row = std::max(start, 0); row < count; ++row) {
        TeChain* piece = qd_te_chain_at(chains, row);
        if (piece->discard != CHAIN_OK) {
            carried = -1;
            continue;
        }
        if (piece->chain_type == TE_LINE) {
            delete_piece(piece);
            continue;
        }
        const bool left = has_parents(piece->left_parent), right = has_parents(piece->right_parent);
        int32_t twin = carried;
        if (kind == 0) twin = left ? TE_REGION : -1;
        else if (kind == 1) twin = left ? TE_REGION : right ? TE_ISLAND : carried;
        else if (kind == 2) twin = left && right ? TE_REGION : left ? -1 : TE_ISLAND;
        carried = twin;
        if (twin < 0) continue;
        TeChain copy;
        if (qd_te_geo_copy_chain(piece, &copy, 1) != 1) return 0;
        copy.chain_type = twin;
        copy.chain_id = static_cast<int32_t>(chains->tally);
        copy.chain_pid = -piece->chain_pid;
        if (nlst_add(chains, &copy) != 1) {
            qd_te_geo_chain_release(&copy);
            return qd_te_no_memory();
        }
        ++encoder->rules->statistics.input_counters.count[2];
    }
    return 1;
}

namespace {

// A place where the outline meets itself, and where along the outline.
struct Cut {
    int32_t segment;
    double offset;
    int32_t node;
};

// One step of the outline noded at its crossings: a point, and the node it
// is (or -1).
struct Noded {
    GeoCoord p;
    int32_t node;
};

int32_t node_at(std::vector<GeoCoord>* nodes, const GeoCoord& p, double tol) {
    for (size_t i = 0; i < nodes->size(); ++i)
        if (qd_te_same_fuzzy_point(&(*nodes)[i], &p, tol)) return static_cast<int32_t>(i);
    nodes->push_back(p);
    return static_cast<int32_t>(nodes->size() - 1);
}

// The outline (count points, closed) cut at every place it meets itself.
// Answers false when it never does or the crossings cannot be found.
bool node_outline(const GeoCoord* outline, int32_t count, double tol, std::vector<Noded>* noded,
                  int32_t* node_count) {
    const int32_t m = count - 1;
    TeIntersectionList hits{0, 0, nullptr};
    const TeCoordArray array{const_cast<GeoCoord*>(outline), count};
    const int found = qd_te_cogo_self_intersections(&array, &hits, 0, &tol);
    std::vector<Cut> cuts;
    std::vector<GeoCoord> nodes;
    for (int32_t i = 0; found == 1 && i < hits.count; ++i) {
        const TeIntersection& x = hits.items[i];
        const int32_t node = node_at(&nodes, x.point, tol);
        for (const auto& [index, offset] : {std::pair{x.index_a, x.offset_a}, std::pair{x.index_b, x.offset_b}})
            cuts.push_back({index % m, offset, node});
    }
    qd_te_cogo_intersection_list_free(&hits);
    if (found != 1 || cuts.empty()) return false;
    std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) {
        return a.segment != b.segment ? a.segment < b.segment : a.offset < b.offset;
    });
    size_t c = 0;
    for (int32_t s = 0; s < m; ++s) {
        Noded vertex{outline[s], -1};
        for (; c < cuts.size() && cuts[c].segment == s && cuts[c].offset <= 0.0; ++c) vertex.node = cuts[c].node;
        noded->push_back(vertex);
        for (; c < cuts.size() && cuts[c].segment == s; ++c)
            if (noded->back().node != cuts[c].node) noded->push_back({nodes[size_t(cuts[c].node)], cuts[c].node});
    }
    *node_count = static_cast<int32_t>(nodes.size());
    return true;
}

}  // namespace

int qd_te_buffer_outline_boundary(const GeoCoord* outline, int32_t count, const GeoCoord* ring, int32_t n,
                                  const TeBufferWidth* widths, double tolerance, nlst** rings, int32_t* formed) {
    if (!outline || !ring || !widths || !rings || !formed) return qd_te_missing("qd_te_buffer_outline_boundary");
    *formed = 0;
    *rings = nullptr;
    if (count < 4 || n < 2) return 1;
    std::vector<Noded> noded;
    int32_t node_count = 0;
    if (!node_outline(outline, count, tolerance, &noded, &node_count)) return 1;
    // Start at a node: the edges run from node to node.
    const auto first = std::find_if(noded.begin(), noded.end(), [](const Noded& v) { return v.node >= 0; });
    if (first == noded.end()) return 1;
    std::rotate(noded.begin(), first, noded.end());
    noded.push_back(noded.front());
    struct Edge {
        size_t from, to;  // rows of noded, both nodes
        bool used;
    };
    std::vector<Edge> kept;
    std::vector<std::vector<size_t>> leaving(static_cast<size_t>(node_count));
    std::vector<int32_t> balance(static_cast<size_t>(node_count), 0);
    for (size_t a = 0; a + 1 < noded.size();) {
        size_t b = a + 1;
        while (noded[b].node < 0) ++b;
        // An edge lies wholly inside the zone or wholly on its line; one
        // with points of both kinds meets the outline where no crossing
        // was found: the caller keeps its pieces as they are.
        int32_t inside = 0, outside = 0;
        for (size_t k = a + 1; k < b; ++k) (inside_ring(*widths, ring, n, noded[k].p, 0.0) ? inside : outside)++;
        if (b == a + 1) {
            const GeoCoord mid{(noded[a].p.x + noded[b].p.x) / 2, (noded[a].p.y + noded[b].p.y) / 2, 0.0};
            (inside_ring(*widths, ring, n, mid, kChordSag) ? inside : outside)++;
        }
        if (inside > 0 && outside > 0) return 1;
        if (outside > 0) {
            leaving[size_t(noded[a].node)].push_back(kept.size());
            ++balance[size_t(noded[a].node)];
            --balance[size_t(noded[b].node)];
            kept.push_back({a, b, false});
        }
        a = b;
    }
    if (kept.empty() || std::any_of(balance.begin(), balance.end(), [](int32_t d) { return d != 0; })) return 1;
    // Each ring follows the kept edges from node to node, in the outline's
    // direction (the buffer on their right), until it is back at its start.
    nlst* out = nullptr;
    for (size_t e0 = 0; e0 < kept.size(); ++e0) {
        if (kept[e0].used) continue;
        std::vector<GeoCoord> pts;
        const int32_t start = noded[kept[e0].from].node;
        size_t e = e0;
        for (;;) {
            kept[e].used = true;
            for (size_t k = kept[e].from; k < kept[e].to; ++k) pts.push_back(noded[k].p);
            const int32_t at = noded[kept[e].to].node;
            if (at == start) break;
            const auto& next = leaving[size_t(at)];
            const auto free = std::find_if(next.begin(), next.end(), [&](size_t k) { return !kept[k].used; });
            if (free == next.end()) {
                qd_te_buffer_outline_boundary_free(&out);
                return 1;
            }
            e = *free;
        }
        pts.push_back(pts.front());
        if (pts.size() < 4) continue;
        auto* copy = static_cast<GeoCoord*>(qd_alloc(pts.size() * sizeof(GeoCoord)));
        const TeCoordArray item{copy, static_cast<int32_t>(pts.size())};
        if (!copy || !qd_te_append_item_to_list(&out, &item, sizeof item)) {
            qd_free(copy);
            qd_te_buffer_outline_boundary_free(&out);
            return qd_te_no_memory();
        }
        std::memcpy(copy, pts.data(), pts.size() * sizeof(GeoCoord));
    }
    *rings = out;
    *formed = out && out->tally > 0 ? 1 : 0;
    return 1;
}

void qd_te_buffer_outline_boundary_free(nlst** rings) {
    if (!rings || !*rings) return;
    auto* r = static_cast<TeCoordArray*>((*rings)->data);
    for (uint32_t i = 0; i < (*rings)->tally; ++i) qd_free(r[i].pts);
    nlst_free(*rings);
    *rings = nullptr;
}
