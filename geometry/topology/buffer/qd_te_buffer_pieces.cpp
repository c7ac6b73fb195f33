// Buffer outline pieces: after an outline has been split at its crossings,
// the vertices that lie inside the buffer distance of the ring it came from
// are removed, and every kept piece gets a REGION or ISLAND twin that tells
// the face builder which side is buffer surface.
#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <set>
#include <utility>
#include <vector>

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
// narrow buffers still lose their inner vertices. With `arcs_only` the
// slack is given only round the segment's ends, where the offset is an arc
// drawn by chords: beside the segment itself the offset is a straight line,
// drawn exactly, so there a point inside the reach by more than the margin
// is inside the zone.
bool inside_reach(const TeBufferWidth& widths, const GeoCoord& start, const GeoCoord& point, const GeoCoord& end,
                  double slack_fraction, bool arcs_only = false) {
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
    const double dx = b.x - a.x, dy = b.y - a.y, along = (p.x - a.x) * dx + (p.y - a.y) * dy;
    const bool beside = arcs_only && widths.two_sided != 1 && along > 0.0 && along < dx * dx + dy * dy;
    return d < reach && reach - d > margin + (beside ? 0.0 : slack_fraction * reach);
}

// Where two chords of stroked arcs cross, the crossing lies inside the true
// arcs by up to a chord's sagitta: arcs are stroked with steps of at most
// 1/8 radian, so by at most 1 - cos(1/16) of the radius.
const double kChordSag = 1.0 - std::cos(1.0 / 16.0);

// Is the point inside the reach of any segment of the ring (n points), by
// more than the margin and the slack (see inside_reach for `arcs_only`)?
bool inside_ring_reach(const TeBufferWidth& widths, const GeoCoord* ring, int32_t n, const GeoCoord& p,
                       double slack_fraction, bool arcs_only = false) {
    const double reach = std::max(std::fabs(widths.width_left), std::fabs(widths.width_right)) + 1e-10;
    const double box_reach = std::max(reach, std::fabs(widths.width) + 1e-10);
    for (int32_t j = 0; j + 1 < n; ++j) {
        const GeoCoord& s = ring[j];
        const GeoCoord& e = ring[j + 1];
        // Only segments whose box meets the point's box grown by the reach.
        if (std::max(s.x, e.x) + 1e-10 < p.x - box_reach || std::min(s.x, e.x) > p.x + box_reach + 1e-10 ||
            std::max(s.y, e.y) < p.y - box_reach || std::min(s.y, e.y) > p.y + box_reach)
            continue;
        if (inside_reach(widths, s, p, e, slack_fraction, arcs_only)) return true;
    }
    return false;
}

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
            const double slack = outline.crossing(v[i]) ? kChordSag : 0.0;
            if (inside_ring_reach(*widths, ring, n, p, slack)) {
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

// A place where the outline is cut: inside segment `index` at `offset`
// from its start, or at its first vertex (offset 0).
struct OutlineCut {
    int32_t index;
    double offset;
    GeoCoord point;
};

// A point of the outline walked from cut to cut.
struct WalkPoint {
    GeoCoord point;
    bool cut;
};

using PlaceKey = std::pair<double, double>;

PlaceKey key_of(const GeoCoord& p) { return {p.x, p.y}; }

// One closed outline loop (count points, the last equal to the first).
struct OutlineLoop {
    const GeoCoord* pts;
    int32_t count;
};

// The cuts of each loop where the loops cross themselves or each other,
// sorted along the loop; all empty when nothing crosses.
int outline_cuts(const std::vector<OutlineLoop>& loops, double tolerance, std::vector<std::vector<OutlineCut>>* cuts) {
    // The loops' points one after the other, their segments numbered in that
    // array; the steps from one loop to the next are no segments.
    std::vector<GeoCoord> pts;
    std::vector<int32_t> loop_of, first;  // by point: its loop; by loop: its first point
    for (size_t k = 0; k < loops.size(); ++k) {
        first.push_back(int32_t(pts.size()));
        pts.insert(pts.end(), loops[k].pts, loops[k].pts + loops[k].count);
        loop_of.insert(loop_of.end(), size_t(loops[k].count), int32_t(k));
    }
    std::vector<TeSegment> segments;
    for (size_t k = 0; k < loops.size(); ++k)
        for (int32_t i = 0; i + 1 < loops[k].count; ++i) {
            TeSegment s{};
            const int32_t at = first[k] + i;
            s.start = &pts[size_t(at)];
            s.end = &pts[size_t(at) + 1];
            s.index = at;
            s.tag = 1;
            s.mark = -1;
            qd_te_cogo_segment_envelope(s.start, s.end, &s.env_min);
            segments.push_back(s);
        }
    cuts->assign(loops.size(), {});
    TeIntersectionList hits{0, 0, nullptr};
    const int found = qd_te_cogo_sweep_segments(segments.data(), int32_t(segments.size()), &hits, 0,
                                                loops.size() == 1 ? 1 : 0, &tolerance);
    if (found == -3) return qd_te_no_memory();
    auto add = [&](int32_t at, double offset, const GeoCoord& p) {
        const size_t loop = size_t(loop_of[size_t(at)]);
        int32_t index = at - first[loop];
        if (index >= loops[loop].count - 1) index = 0, offset = 0.0;  // the closing point is the first
        if (offset <= 0.0) (*cuts)[loop].push_back({index, 0.0, loops[loop].pts[index]});
        else (*cuts)[loop].push_back({index, offset, p});
    };
    for (int32_t i = 0; found == 1 && i < hits.count; ++i) {
        const TeIntersection& x = hits.items[i];
        add(x.index_a, x.offset_a, x.point);
        add(x.index_b, x.offset_b, x.point);
    }
    qd_te_cogo_intersection_list_free(&hits);
    for (std::vector<OutlineCut>& c : *cuts) {
        std::sort(c.begin(), c.end(), [](const OutlineCut& a, const OutlineCut& b) {
            return a.index != b.index ? a.index < b.index : a.offset < b.offset;
        });
        c.erase(std::unique(c.begin(), c.end(),
                            [](const OutlineCut& a, const OutlineCut& b) {
                                return a.index == b.index && std::fabs(a.offset - b.offset) <= 1e-12;
                            }),
                c.end());
    }
    // Cuts of one place within the tolerance (an outline running along a
    // stretch twice meets itself at vertices a rounding apart) take the
    // point of the first of them, so that the pieces link there.
    std::vector<OutlineCut*> order;
    for (std::vector<OutlineCut>& c : *cuts)
        for (OutlineCut& x : c) order.push_back(&x);
    std::sort(order.begin(), order.end(), [](const OutlineCut* a, const OutlineCut* b) { return a->point.x < b->point.x; });
    std::vector<char> placed(order.size(), 0);
    for (size_t i = 0; i < order.size(); ++i) {
        if (placed[i]) continue;
        const GeoCoord place = order[i]->point;
        for (size_t j = i + 1; j < order.size() && order[j]->point.x - place.x <= tolerance; ++j) {
            GeoCoord& p = order[j]->point;
            if (placed[j] || std::fabs(p.y - place.y) > tolerance) continue;
            p = place;
            placed[j] = 1;
        }
    }
    return 1;
}

// Is the piece (points from cut to cut) off the buffer zone: no point
// deeper inside the reach of the ring than a stroked chord's sagitta (a
// crossing of two chords lies up to that inside, and near a spike an
// outline point can lie a rounding inside), and no segment whose middle
// lies deeper than two? The slack is given round the ring's points only:
// beside a segment a piece inside its straight offset is inside the zone
// (three offsets crossing near one place beside it leave a sliver there).
bool piece_on_boundary(const TeBufferWidth& widths, const GeoCoord* ring, int32_t n,
                       const std::vector<WalkPoint>& piece) {
    for (size_t i = 0; i < piece.size(); ++i) {
        if (inside_ring_reach(widths, ring, n, piece[i].point, kChordSag, true)) return false;
        if (i + 1 == piece.size()) break;
        const GeoCoord& a = piece[i].point;
        const GeoCoord& b = piece[i + 1].point;
        const GeoCoord middle{(a.x + b.x) / 2, (a.y + b.y) / 2, 0.0};
        if (inside_ring_reach(widths, ring, n, middle, 2 * kChordSag, true)) return false;
    }
    return true;
}

// How far the piece reaches into the zone: the largest amount by which one
// of its points or segment middles lies nearer to the ring than the reach.
double depth(const TeBufferWidth& widths, const GeoCoord* ring, int32_t n, const std::vector<WalkPoint>& piece) {
    const double reach = std::fabs(widths.width);
    double deepest = -HUGE_VAL;
    auto at = [&](const GeoCoord& p) {
        double d = HUGE_VAL;
        for (int32_t j = 0; j + 1 < n; ++j)
            d = std::min(d, qd_te_cogo_point_segment_distance(&ring[j], &ring[j + 1], &p, nullptr));
        deepest = std::max(deepest, reach - d);
    };
    for (size_t i = 0; i < piece.size(); ++i) {
        at(piece[i].point);
        if (i + 1 < piece.size())
            at({(piece[i].point.x + piece[i + 1].point.x) / 2, (piece[i].point.y + piece[i + 1].point.y) / 2, 0.0});
    }
    return deepest;
}

// Does every point of the piece lie within the distance of the other?
bool follows(const std::vector<WalkPoint>& piece, const std::vector<WalkPoint>& other, double distance) {
    for (const WalkPoint& w : piece) {
        double d = HUGE_VAL;
        for (size_t j = 0; j + 1 < other.size() && d > distance; ++j)
            d = std::min(d, qd_te_cogo_point_segment_distance(&other[j].point, &other[j + 1].point, &w.point, nullptr));
        if (d > distance) return false;
    }
    return true;
}

// Two kept pieces from the same place to the same place that follow each
// other within a chord's sagitta are one stretch of the boundary run along
// twice, stroked from different starts (the two caps of a closed line run
// out and back, one circle): their chords cross at every step, so that the
// copies are cut into pairs of pieces with the same ends but not the same
// points. Of each pair the piece with more points stays: it runs through
// the stroked points, which lie on the arc.
void drop_copies(const TeBufferWidth& widths, double tolerance, std::vector<std::vector<WalkPoint>>* kept) {
    const double distance = 2 * kChordSag * std::fabs(widths.width) + tolerance;
    std::map<std::pair<PlaceKey, PlaceKey>, size_t> first;
    std::vector<char> copy(kept->size(), 0);
    for (size_t i = 0; i < kept->size(); ++i) {
        const std::vector<WalkPoint>& piece = (*kept)[i];
        const auto ends = std::make_pair(key_of(piece.front().point), key_of(piece.back().point));
        const auto at = first.find(ends);
        if (at == first.end()) {
            first.emplace(ends, i);
            continue;
        }
        const std::vector<WalkPoint>& other = (*kept)[at->second];
        if (!follows(piece, other, distance) || !follows(other, piece, distance)) continue;
        if (piece.size() > other.size()) copy[at->second] = 1, at->second = i;
        else copy[i] = 1;
    }
    size_t k = 0;
    for (size_t i = 0; i < kept->size(); ++i)
        if (!copy[i]) std::swap((*kept)[k++], (*kept)[i]);
    kept->resize(k);
}

// The pieces of the shortest run of single-segment pieces (each from cut to
// cut within one outline segment) from a place where more kept pieces leave
// than arrive, through places that balance, to one where more arrive than
// leave; the deepest of equally short runs. Empty when there is none.
std::vector<size_t> slack_run(const std::vector<std::vector<WalkPoint>>& kept, const std::map<PlaceKey, int>& balance,
                              const TeBufferWidth& widths, const GeoCoord* ring, int32_t n) {
    std::map<PlaceKey, std::vector<size_t>> leaving;
    for (size_t i = 0; i < kept.size(); ++i)
        if (kept[i].size() == 2) leaving[key_of(kept[i].front().point)].push_back(i);
    auto balance_at = [&](const PlaceKey& p) {
        const auto b = balance.find(p);
        return b == balance.end() ? 0 : b->second;
    };
    std::vector<size_t> best;
    double best_depth = -HUGE_VAL;
    for (const auto& [from, surplus] : balance) {
        if (surplus <= 0) continue;
        std::map<PlaceKey, size_t> via;  // a place reached: the piece that reached it
        std::deque<PlaceKey> queue{from};
        while (!queue.empty()) {
            const PlaceKey at = queue.front();
            queue.pop_front();
            if (at != from && balance_at(at) < 0) {
                std::vector<size_t> run;
                for (PlaceKey p = at; p != from; p = key_of(kept[run.back()].front().point)) run.push_back(via[p]);
                double d = -HUGE_VAL;
                for (size_t i : run) d = std::max(d, depth(widths, ring, n, kept[i]));
                if (best.empty() || run.size() < best.size() || (run.size() == best.size() && d > best_depth))
                    best = run, best_depth = d;
                break;
            }
            for (size_t i : leaving[at]) {
                const PlaceKey to = key_of(kept[i].back().point);
                if (to != from && via.emplace(to, i).second) queue.push_back(to);
            }
        }
    }
    return best;
}

}  // namespace

namespace {

int trace_loops(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, const std::vector<OutlineLoop>& loops,
                double tolerance, nlst** points, nlst** sizes, int32_t* traced) {
    *traced = 0;
    *points = *sizes = nullptr;
    if (n < 2 || loops.empty()) return 1;
    for (const OutlineLoop& l : loops)
        if (!l.pts || l.count < 4) return 1;
    std::vector<std::vector<OutlineCut>> cuts;
    if (!outline_cuts(loops, tolerance, &cuts)) return 0;
    // One loop that does not cross itself is the outline as it is.
    if (loops.size() == 1 && cuts[0].size() < 2) return 1;
    // A stretch the outline runs along twice the same way (the arc round
    // the ends of a line's band) is one stretch of the boundary.
    std::vector<std::vector<WalkPoint>> kept;
    std::set<std::vector<PlaceKey>> seen;
    for (size_t loop = 0; loop < loops.size(); ++loop) {
        const GeoCoord* outline = loops[loop].pts;
        const int32_t count = loops[loop].count;
        const std::vector<OutlineCut>& c = cuts[loop];
        // The loop walked once round from its first cut, cut into pieces;
        // a loop without cuts is one piece from its first point round.
        std::vector<WalkPoint> walk;
        size_t next_cut = 0;
        for (int32_t k = 0; k + 1 < count; ++k) {
            const bool at_vertex = next_cut < c.size() && c[next_cut].index == k && c[next_cut].offset == 0.0;
            walk.push_back({at_vertex ? c[next_cut].point : outline[k], at_vertex || (c.empty() && k == 0)});
            if (at_vertex) ++next_cut;
            for (; next_cut < c.size() && c[next_cut].index == k; ++next_cut) walk.push_back({c[next_cut].point, true});
        }
        const size_t first = size_t(std::find_if(walk.begin(), walk.end(), [](const WalkPoint& w) { return w.cut; }) -
                                    walk.begin());
        std::rotate(walk.begin(), walk.begin() + std::ptrdiff_t(first), walk.end());
        walk.push_back(walk.front());
        std::vector<WalkPoint> piece{walk.front()};
        for (size_t i = 1; i < walk.size(); ++i) {
            piece.push_back(walk[i]);
            if (!walk[i].cut) continue;
            std::vector<PlaceKey> places;
            for (const WalkPoint& w : piece) places.push_back(key_of(w.point));
            const bool empty = places.size() == 2 && places[0] == places[1];  // two cuts at one place
            if (!empty && piece_on_boundary(*widths, ring, n, piece) && seen.insert(places).second)
                kept.push_back(piece);
            piece.assign(1, walk[i]);
        }
    }
    if (kept.empty()) return 1;
    drop_copies(*widths, tolerance, &kept);
    // Linked at their ends into rings: at every place as many kept pieces
    // must leave as arrive. A piece kept only by the sagitta's slack (a short
    // stretch of an offset just inside the zone, between two cuts near the
    // boundary) leaves a place where more leave than arrive for one where
    // more arrive than leave: such pieces go, the deepest first, until the
    // places balance; otherwise the outline is left as it is.
    std::map<PlaceKey, int> balance;
    for (size_t i = 0; i < kept.size(); ++i) {
        ++balance[key_of(kept[i].front().point)];
        --balance[key_of(kept[i].back().point)];
    }
    auto unbalanced = [&] {
        return std::any_of(balance.begin(), balance.end(), [](const auto& b) { return b.second != 0; });
    };
    while (unbalanced()) {
        size_t worst = kept.size();
        double deepest = -HUGE_VAL;
        for (size_t i = 0; i < kept.size(); ++i) {
            if (balance[key_of(kept[i].front().point)] <= 0 || balance[key_of(kept[i].back().point)] >= 0) continue;
            const double d = depth(*widths, ring, n, kept[i]);
            if (d > deepest) deepest = d, worst = i;
        }
        if (widths->two_sided == 1) return 1;
        std::vector<size_t> drop{worst};
        if (worst == kept.size()) {
            // Three cuts close together can join such places by two slack
            // pieces through a third place that balances: that run goes.
            drop = slack_run(kept, balance, *widths, ring, n);
            if (drop.size() < 2) return 1;
        }
        std::sort(drop.rbegin(), drop.rend());
        for (size_t i : drop) {
            --balance[key_of(kept[i].front().point)];
            ++balance[key_of(kept[i].back().point)];
            kept.erase(kept.begin() + std::ptrdiff_t(i));
        }
    }
    if (kept.empty()) return 1;
    std::map<PlaceKey, std::vector<size_t>> leaving;
    for (size_t i = 0; i < kept.size(); ++i) leaving[key_of(kept[i].front().point)].push_back(i);
    std::vector<char> used(kept.size(), 0);
    std::vector<GeoCoord> out;
    std::vector<int32_t> out_sizes;
    for (size_t start = 0; start < kept.size(); ++start) {
        if (used[start]) continue;
        const size_t before = out.size();
        size_t cur = start;
        while (!used[cur]) {
            used[cur] = 1;
            for (size_t j = 0; j + 1 < kept[cur].size(); ++j) out.push_back(kept[cur][j].point);
            std::vector<size_t>& next = leaving[key_of(kept[cur].back().point)];
            const auto free = std::find_if(next.begin(), next.end(), [&](size_t k) { return !used[k]; });
            if (free != next.end()) cur = *free;
            else if (std::find(next.begin(), next.end(), start) != next.end()) cur = start;
            else return 1;
        }
        if (cur != start) return 1;
        out.push_back(out[before]);
        out_sizes.push_back(int32_t(out.size() - before));
    }
    *points = nlst_alloc(sizeof(GeoCoord), uint32_t(out.size()), 8, nullptr);
    *sizes = nlst_alloc(sizeof(int32_t), uint32_t(out_sizes.size()), 8, nullptr);
    if (!*points || !*sizes || nlst_add_many(*points, out.data(), uint32_t(out.size())) != 1 ||
        nlst_add_many(*sizes, out_sizes.data(), uint32_t(out_sizes.size())) != 1) {
        if (*points) nlst_free(*points);
        if (*sizes) nlst_free(*sizes);
        *points = *sizes = nullptr;
        return qd_te_no_memory();
    }
    *traced = 1;
    return 1;
}

}  // namespace

int qd_te_buffer_trace_outline(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, const GeoCoord* outline,
                               int32_t count, double tolerance, nlst** points, nlst** sizes, int32_t* traced) {
    if (!ring || !widths || !outline || !points || !sizes || !traced)
        return qd_te_missing("qd_te_buffer_trace_outline");
    return trace_loops(ring, n, widths, {{outline, count}}, tolerance, points, sizes, traced);
}

int qd_te_buffer_trace_outlines(const GeoCoord* ring, int32_t n, const TeBufferWidth* widths, const GeoCoord* first,
                                int32_t first_count, const GeoCoord* second, int32_t second_count, double tolerance,
                                nlst** points, nlst** sizes, int32_t* traced) {
    if (!ring || !widths || !first || !second || !points || !sizes || !traced)
        return qd_te_missing("qd_te_buffer_trace_outlines");
    return trace_loops(ring, n, widths, {{first, first_count}, {second, second_count}}, tolerance, points, sizes,
                       traced);
}
