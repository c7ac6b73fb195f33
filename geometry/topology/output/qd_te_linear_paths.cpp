// Grouped linear output: output items in runs of equal keys become output
// geometries; with paths on, the chains of a run are linked end to end,
// traced into paths, oriented along them and merged into as few polylines
// as possible, optionally joined onto the curves already in the geometry
// and, before delivery, with each other.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/ktgeo_model.h"
#include "geometry/ktgeo_pack.h"
#include "geometry/ktgeo_utilities.h"
#include "geometry/topology/qd_te_cogo.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_linear_output.h"
#include "geometry/topology/qd_te_poly_output.h"
#include "geometry/topology/qd_te_util.h"
#include "geometry/topology/qd_te_views.h"
#include "geometry/topology/output/qd_te_linear_util.h"

namespace tel = qd_te_linear_detail;

namespace {

constexpr double kJoin = 1e-10;

GeoCoord* coords_of(const GeoCurve& c) { return static_cast<GeoCoord*>(c.coords->data); }
bool polyline(const GeoCurve& c) { return c.curve_type == KTGEO_POLYLINE && c.coords && c.coords->tally >= 2; }
bool same(const GeoCoord& a, const GeoCoord& b) { return qd_te_same_fuzzy_point(&a, &b, kJoin) == 1; }

void reverse_curve(GeoCurve* c) {
    GeoCoord* p = coords_of(*c);
    std::reverse(p, p + c->coords->tally);
}

GeoCurve* curve_at(nlst* list, uint32_t i) { return static_cast<GeoCurve*>(list->data) + i; }

GeometricPrimitive* primitive_at(SpatialObject* o, uint32_t i) {
    return static_cast<GeometricPrimitive*>(o->primitives->data) + i;
}

bool empty_curve(const GeometricPrimitive* p) {
    return p->type == KTGEO_CURVE && (!p->geom.curve.coords || p->geom.curve.coords->tally == 0);
}

// Removes the primitives flagged dead, releasing them, keeping the order.
void compact(SpatialObject* o, const std::vector<uint8_t>& dead) {
    uint32_t k = 0;
    for (uint32_t i = 0; i < o->primitives->tally; ++i) {
        GeometricPrimitive* p = primitive_at(o, i);
        if (dead[i]) {
            ktgeo_primitive_release(p, nullptr);
            continue;
        }
        if (k != i) std::memcpy(primitive_at(o, k), p, sizeof *p);
        ++k;
    }
    o->primitives->tally = k;
}

struct CurveList {
    nlst* list = nullptr;
    ~CurveList() { release(); }
    void release() {
        if (!list) return;
        for (uint32_t i = 0; i < list->tally; ++i) ktgeo_curve_release(curve_at(list, i), nullptr);
        nlst_free(list);
        list = nullptr;
    }
};

}  // namespace

int qd_te_linear_path_item_add(int32_t chain, nlst** paths, int32_t id_a, int32_t id_b) {
    if (!paths) return qd_te_missing("qd_te_linear_path_item_add");
    const int32_t self = *paths ? int32_t((*paths)->tally) + 1 : 1;
    const TeLinearPathItem item{chain, 0, self, self, id_a, id_b};
    return qd_te_append_item_to_list(paths, &item, sizeof item);
}

int qd_te_linear_path_links(nlst* paths, nlst* chains) {
    if (!chains || chains->tally < 2) return qd_te_missing("qd_te_linear_path_links");
    if (!paths || paths->tally == 0) return 1;
    std::vector<TePathEnd> ends;
    ends.reserve(2 * paths->tally);
    TeLinearPathItem* items = static_cast<TeLinearPathItem*>(paths->data);
    for (uint32_t i = 0; i < paths->tally; ++i) {
        if (!tel::valid_row(chains, items[i].chain)) continue;
        TeChain* c = qd_te_chain_at(chains, items[i].chain);
        if (c->chain_type == TE_NODE || c->chain_type == TE_CIRCLE) continue;
        TeVertex *first = nullptr, *last = nullptr;
        int32_t skip = 0;
        if (!qd_te_form_start_end(c, &first, &last, &skip)) return 0;
        if (skip || !first || !last) continue;
        ends.push_back({int32_t(i), &first->x, 1, items[i].id_a, items[i].id_b});
        ends.push_back({int32_t(i), &last->x, 2, items[i].id_a, items[i].id_b});
    }
    // Exact order on full keys, then one sweep groups the ends that are the
    // same point within 1e-10 (a fuzzy comparator is no strict weak order).
    std::sort(ends.begin(), ends.end(), [](const TePathEnd& a, const TePathEnd& b) {
        if (int k = qd_te_key_order(a.point[0], b.point[0])) return k < 0;
        if (int k = qd_te_key_order(a.point[1], b.point[1])) return k < 0;
        if (a.id_a != b.id_a) return a.id_a < b.id_a;
        if (a.id_b != b.id_b) return a.id_b < b.id_b;
        if (a.item != b.item) return a.item < b.item;
        return a.end < b.end;
    });
    auto at = [](const TePathEnd& e) { return GeoCoord{e.point[0], e.point[1], e.point[2]}; };
    auto link = [&](const TePathEnd& from, const TePathEnd& to) {
        const int32_t value = from.end == to.end ? -(to.item + 1) : to.item + 1;
        if (from.end == 1) items[from.item].start_link = value;
        else items[from.item].end_link = value;
    };
    std::vector<uint8_t> grouped(ends.size(), 0);
    std::vector<size_t> group;
    for (size_t i = 0; i < ends.size(); ++i) {
        if (grouped[i]) continue;
        const GeoCoord p = at(ends[i]);
        group.assign(1, i);
        for (size_t j = i + 1; j < ends.size() && !(ends[j].point[0] > p.x + 2 * kJoin); ++j) {
            if (grouped[j]) continue;
            const GeoCoord q = at(ends[j]);
            if (same(p, q)) {
                grouped[j] = 1;
                group.push_back(j);
            }
        }
        // Consecutive ends are linked; a later link of an end replaces an
        // earlier one.
        for (size_t k = 0; k + 1 < group.size(); ++k) {
            link(ends[group[k]], ends[group[k + 1]]);
            link(ends[group[k + 1]], ends[group[k]]);
        }
    }
    return 1;
}

int qd_te_linear_curve_form(nlst* chains, TeRules* rules, int32_t chain, int32_t direction, nlst** parents,
                            nlst** curves, int32_t merge) {
    if (!chains || !rules || !parents || !curves || !tel::valid_row(chains, chain))
        return qd_te_missing("qd_te_linear_curve_form");
    TeChain* c = qd_te_chain_at(chains, chain);
    if (c->discard != CHAIN_OK) return 1;
    if (!qd_te_collect_parents(c, parents, 2, 0)) return 0;
    return qd_te_add_new_curve_to_list(c, curves, direction, rules, merge);
}

int qd_te_linear_reverse_merge(nlst* curves) {
    if (!curves || curves->tally < 2) return 1;
    GeoCurve* c = curve_at(curves, 0);
    const uint32_t n = curves->tally;
    std::reverse(c, c + n);
    std::vector<uint8_t> absorbed(n, 0);
    int ok = 1;
    for (uint32_t i = 0; ok && i < n; ++i) {
        if (absorbed[i]) continue;
        for (uint32_t j = i + 1; j < n; ++j) {
            int32_t merged = 0;
            if (!(ok = qd_te_output_merge_curves(&c[i], &c[j], &merged))) break;
            if (!merged) break;
            ktgeo_curve_release(&c[j], nullptr);
            absorbed[j] = 1;
        }
    }
    uint32_t k = 0;
    for (uint32_t i = 0; i < n; ++i)
        if (!absorbed[i]) c[k++] = c[i];
    curves->tally = k;
    return ok;
}

int qd_te_linear_path_connect(nlst* curves, SpatialObject* object, int32_t no_reverse) {
    if (!object) return qd_te_missing("qd_te_linear_path_connect");
    if (!curves || curves->tally == 0) return 1;
    std::vector<uint8_t> joined(curves->tally, 0);
    for (uint32_t k = 0; k < curves->tally; ++k) {
        GeoCurve* fresh = curve_at(curves, k);
        if (!polyline(*fresh) || !object->primitives) continue;
        for (int pass = 0; pass < (no_reverse ? 1 : 2) && !joined[k]; ++pass) {
            if (pass == 1) reverse_curve(fresh);
            for (uint32_t i = 0; i < object->primitives->tally && !joined[k];) {
                GeometricPrimitive* p = primitive_at(object, i);
                if (empty_curve(p)) {
                    ktgeo_primitive_release(p, nullptr);
                    nlst_remove(object->primitives, i);
                    continue;
                }
                if (p->type == KTGEO_CURVE) {
                    GeoCurve* old = &p->geom.curve;
                    int32_t merged = 0;
                    if (!qd_te_output_merge_curves(old, fresh, &merged)) return 0;
                    if (!merged) {
                        if (!qd_te_output_merge_curves(fresh, old, &merged)) return 0;
                        if (merged) std::swap(*old, *fresh);  // the joined curve takes the old one's place
                    }
                    if (merged) joined[k] = 1;
                }
                ++i;
            }
            if (pass == 1 && !joined[k]) reverse_curve(fresh);
        }
    }
    uint32_t kept = 0;
    for (uint32_t k = 0; k < curves->tally; ++k) {
        GeoCurve* c = curve_at(curves, k);
        if (joined[k]) ktgeo_curve_release(c, nullptr);
        else *curve_at(curves, kept++) = *c;
    }
    curves->tally = kept;
    return 1;
}

namespace {

// The polylines of a reconnection as ropes: each slot is a list of pieces
// (a range of an original curve's points, forwards or backwards) read in
// order, or in reverse order with every piece turned when the slot is
// flipped. Reversing a curve flips it; joining appends the smaller list to
// the larger. The points come out exactly as the plain joins and
// reversals give them, without copying a growing curve again and again.
class Ropes {
public:
    struct Piece {
        int32_t source;
        int32_t lo, hi;  // points [lo, hi) of the source
        int32_t backwards;
    };
    explicit Ropes(SpatialObject* o) : object_(o), slots_(o->primitives->tally) {
        for (uint32_t i = 0; i < o->primitives->tally; ++i) {
            const GeoCurve& c = primitive_at(o, i)->geom.curve;
            if (primitive_at(o, i)->type == KTGEO_CURVE && polyline(c))
                slots_[i].pieces.push_back({int32_t(i), 0, int32_t(c.coords->tally), 0});
        }
    }
    GeoCoord first(int32_t s) const { return end_point(s, true); }
    GeoCoord last(int32_t s) const { return end_point(s, false); }
    void flip(int32_t s) {
        slots_[size_t(s)].flipped ^= 1;
        slots_[size_t(s)].touched = 1;
    }
    // Joins `later` after `earlier` when the later starts where the earlier
    // ends (within 1e-10); the result stays in the earlier's slot.
    bool join(int32_t earlier, int32_t later) {
        const GeoCoord e = last(earlier), l = first(later);
        if (!same(e, l)) return false;
        Slot& a = slots_[size_t(earlier)];
        Slot& b = slots_[size_t(later)];
        trim_first(&b);
        if (b.pieces.size() <= a.pieces.size()) {
            for (size_t k = 0; k < b.pieces.size(); ++k) push_back(&a, logical(b, k));
        } else {
            for (size_t k = a.pieces.size(); k-- > 0;) push_front(&b, logical(a, k));
            std::swap(a.pieces, b.pieces);
            std::swap(a.flipped, b.flipped);
        }
        b.pieces.clear();
        a.touched = 1;
        return true;
    }
    // Writes every changed slot's points into its curve (before any curve
    // is released).
    int write(const std::vector<uint8_t>& live) {
        for (size_t s = 0; s < slots_.size(); ++s) {
            if (!live[s] || !slots_[s].touched) continue;
            const Slot& slot = slots_[s];
            nlst* list = nlst_alloc(sizeof(GeoCoord), 16, 16, nullptr);
            if (!list) return qd_te_no_memory();
            for (size_t k = 0; k < slot.pieces.size(); ++k) {
                const Piece p = logical(slot, k);
                const GeoCoord* c = coords_of(primitive_at(object_, uint32_t(p.source))->geom.curve);
                for (int32_t n = p.lo; n < p.hi; ++n) {
                    const GeoCoord& q = c[p.backwards ? p.hi - 1 - (n - p.lo) : n];
                    if (!nlst_add(list, &q)) {
                        nlst_free(list);
                        return qd_te_no_memory();
                    }
                }
            }
            slots_[s].result = list;
        }
        for (size_t s = 0; s < slots_.size(); ++s) {
            if (!slots_[s].result) continue;
            GeoCurve& c = primitive_at(object_, uint32_t(s))->geom.curve;
            nlst_free(c.coords);
            c.coords = slots_[s].result;
            slots_[s].result = nullptr;
        }
        return 1;
    }
    ~Ropes() {
        for (Slot& s : slots_)
            if (s.result) nlst_free(s.result);
    }

private:
    // Pieces in two vectors: front (reversed) and back, so that either end
    // grows without moving the rest.
    struct Pieces {
        std::vector<Piece> front, back;
        size_t size() const { return front.size() + back.size(); }
        Piece& operator[](size_t k) { return k < front.size() ? front[front.size() - 1 - k] : back[k - front.size()]; }
        const Piece& operator[](size_t k) const {
            return k < front.size() ? front[front.size() - 1 - k] : back[k - front.size()];
        }
        void push_back(const Piece& p) { back.push_back(p); }
        void push_front(const Piece& p) { front.push_back(p); }
        void clear() {
            front.clear();
            back.clear();
        }
    };
    struct Slot {
        Pieces pieces;
        int32_t flipped = 0;
        int32_t touched = 0;
        nlst* result = nullptr;
    };
    static Piece turned(Piece p) {
        p.backwards ^= 1;
        return p;
    }
    static Piece logical(const Slot& s, size_t k) {
        return s.flipped ? turned(s.pieces[s.pieces.size() - 1 - k]) : s.pieces[k];
    }
    static void push_back(Slot* s, const Piece& p) {
        if (s->flipped) s->pieces.push_front(turned(p));
        else s->pieces.push_back(p);
    }
    static void push_front(Slot* s, const Piece& p) {
        if (s->flipped) s->pieces.push_back(turned(p));
        else s->pieces.push_front(p);
    }
    // Drops the first point read (the joint the earlier curve holds).
    static void trim_first(Slot* s) {
        for (size_t k = 0; k < s->pieces.size(); ++k) {
            Piece& p = s->flipped ? s->pieces[s->pieces.size() - 1 - k] : s->pieces[k];
            if (p.lo == p.hi) continue;
            const bool backwards = (p.backwards != 0) != (s->flipped != 0);
            if (backwards) --p.hi;
            else ++p.lo;
            return;
        }
    }
    GeoCoord end_point(int32_t slot, bool first) const {
        const Slot& s = slots_[size_t(slot)];
        const size_t n = s.pieces.size();
        for (size_t k = 0; k < n; ++k) {
            const Piece p = logical(s, first ? k : n - 1 - k);
            if (p.lo == p.hi) continue;
            const GeoCoord* c = coords_of(primitive_at(object_, uint32_t(p.source))->geom.curve);
            const bool at_lo = first != (p.backwards != 0);
            return c[at_lo ? p.lo : p.hi - 1];
        }
        return {NAN, NAN, NAN};
    }
    SpatialObject* object_;
    std::vector<Slot> slots_;
};

// End points of the curves in cells of a grid: the candidates of a join
// are found among the ends in the cell of a point and in the neighbouring
// cells whose border lies within 1e-9 of it (the join test accepts no
// more than 2e-10 on either axis). Cells are at least 4e-10 wide and wide
// enough that cell numbers stay within 2^28. A cell lists slots, not
// ends: reversing a curve leaves its entries as they are. Cells live in
// an open-addressed table, their slots in linked entries of one pool.
class EndGrid {
public:
    EndGrid(const Ropes& ropes, const std::vector<uint8_t>& live) : ropes_(ropes) {
        double m = 0;
        size_t count = 0;
        for (size_t i = 0; i < live.size(); ++i)
            if (live[i]) {
                ++count;
                for (const GeoCoord& p : ends(int32_t(i)))
                    if (std::isfinite(p.x) && std::isfinite(p.y))
                        m = std::fmax(m, std::fmax(std::fabs(p.x), std::fabs(p.y)));
            }
        width_ = std::fmax(4 * kJoin, std::ldexp(m, -28));
        size_t capacity = 16;
        while (capacity < 4 * count + 16) capacity *= 2;
        keys_.assign(capacity, kEmpty);
        heads_.assign(capacity, -1);
        pool_.reserve(4 * count + 16);
        for (size_t i = 0; i < live.size(); ++i)
            if (live[i]) insert(int32_t(i));
    }
    std::array<GeoCoord, 2> ends(int32_t slot) const { return {ropes_.first(slot), ropes_.last(slot)}; }
    void insert(int32_t slot) {
        for (const GeoCoord& p : ends(slot)) {
            int64_t cx, cy;
            if (!cell_of(p, &cx, &cy)) continue;
            const size_t at = find(key_of(cx, cy), true);
            pool_.push_back({slot, heads_[at]});
            heads_[at] = int32_t(pool_.size() - 1);
        }
    }
    // Removes the slot's entries made when its ends were these.
    void erase(int32_t slot, const std::array<GeoCoord, 2>& old) {
        for (const GeoCoord& p : old) {
            int64_t cx, cy;
            if (!cell_of(p, &cx, &cy)) continue;
            const size_t at = find(key_of(cx, cy), false);
            if (at == kNone) continue;
            for (int32_t* link = &heads_[at]; *link >= 0; link = &pool_[size_t(*link)].next)
                if (pool_[size_t(*link)].slot == slot) {
                    *link = pool_[size_t(*link)].next;
                    break;
                }
        }
    }
    // The slots after this one with an end in the cells round either end
    // of its curve, ascending, without repeats.
    void candidates(int32_t slot, std::vector<int32_t>* out) const {
        out->clear();
        for (const GeoCoord& p : ends(slot)) {
            int64_t cx, cy;
            if (!cell_of(p, &cx, &cy)) continue;
            const double reach = 1e-9 + std::fabs(p.x) * 1e-15 + std::fabs(p.y) * 1e-15;
            const double fx = p.x - double(cx) * width_, fy = p.y - double(cy) * width_;
            const int x0 = fx < reach ? -1 : 0, x1 = width_ - fx < reach ? 1 : 0;
            const int y0 = fy < reach ? -1 : 0, y1 = width_ - fy < reach ? 1 : 0;
            for (int dx = x0; dx <= x1; ++dx)
                for (int dy = y0; dy <= y1; ++dy) {
                    const size_t at = find(key_of(cx + dx, cy + dy), false);
                    if (at == kNone) continue;
                    for (int32_t e = heads_[at]; e >= 0; e = pool_[size_t(e)].next)
                        if (pool_[size_t(e)].slot > slot) out->push_back(pool_[size_t(e)].slot);
                }
        }
        std::sort(out->begin(), out->end());
        out->erase(std::unique(out->begin(), out->end()), out->end());
    }

private:
    struct Entry {
        int32_t slot;
        int32_t next;
    };
    static constexpr uint64_t kEmpty = ~uint64_t{0};
    static constexpr size_t kNone = ~size_t{0};
    static uint64_t key_of(int64_t cx, int64_t cy) {
        return (uint64_t(uint32_t(int32_t(cx))) << 32) | uint32_t(int32_t(cy));
    }
    bool cell_of(const GeoCoord& p, int64_t* cx, int64_t* cy) const {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
        *cx = int64_t(std::floor(p.x / width_));
        *cy = int64_t(std::floor(p.y / width_));
        return true;
    }
    // The table position of a key; with add, made when missing (the table
    // is kept at most half full).
    size_t find(uint64_t key, bool add) const {
        const size_t mask = keys_.size() - 1;
        for (size_t at = size_t((key * 0x9E3779B97F4A7C15ull) >> 20) & mask;; at = (at + 1) & mask) {
            if (keys_[at] == key) return at;
            if (keys_[at] == kEmpty) {
                if (!add) return kNone;
                keys_[at] = key;
                if (++used_ * 2 > keys_.size()) {
                    grow();
                    return find(key, false);
                }
                return at;
            }
        }
    }
    void grow() const {
        std::vector<uint64_t> keys(keys_.size() * 2, kEmpty);
        std::vector<int32_t> heads(keys.size(), -1);
        const size_t mask = keys.size() - 1;
        for (size_t i = 0; i < keys_.size(); ++i) {
            if (keys_[i] == kEmpty) continue;
            size_t at = size_t((keys_[i] * 0x9E3779B97F4A7C15ull) >> 20) & mask;
            while (keys[at] != kEmpty) at = (at + 1) & mask;
            keys[at] = keys_[i];
            heads[at] = heads_[i];
        }
        keys_.swap(keys);
        heads_.swap(heads);
    }
    const Ropes& ropes_;
    double width_ = 1;
    mutable std::vector<uint64_t> keys_;
    mutable std::vector<int32_t> heads_;
    mutable size_t used_ = 0;
    std::vector<Entry> pool_;
};

}  // namespace

int qd_te_linear_path_reconnect(SpatialObject* object, int32_t no_reverse) {
    if (!object) return qd_te_missing("qd_te_linear_path_reconnect");
    if (!object->primitives || object->primitives->tally == 0) return 1;
    const uint32_t n = object->primitives->tally;
    std::vector<uint8_t> dead(n, 0), live(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
        const GeometricPrimitive* p = primitive_at(object, i);
        if (empty_curve(p)) dead[i] = 1;
        else live[i] = p->type == KTGEO_CURVE && polyline(p->geom.curve);
    }
    // The scan of the plain search: for each curve A in order, the first
    // later curve B that meets it joins, trying A after B, B after A, then
    // the same with A reversed; after a join the grown curve is tried
    // again. The grid only finds the same B sooner.
    Ropes ropes(object);
    EndGrid grid(ropes, live);
    std::vector<int32_t> cand;
    for (int32_t i = 0; i < int32_t(n);) {
        if (!live[size_t(i)]) {
            ++i;
            continue;
        }
        grid.candidates(i, &cand);
        // A after B (A absorbed) or B after A (B absorbed).
        auto join = [&](int32_t j, bool a_after_b) {
            const auto old_i = grid.ends(i), old_j = grid.ends(j);
            if (!(a_after_b ? ropes.join(j, i) : ropes.join(i, j))) return false;
            grid.erase(i, old_i);
            grid.erase(j, old_j);
            const int32_t gone = a_after_b ? i : j;
            live[size_t(gone)] = 0;
            dead[size_t(gone)] = 1;
            grid.insert(a_after_b ? j : i);
            return true;
        };
        bool joined = false;
        for (int32_t j : cand) {
            if (!live[size_t(j)]) continue;
            joined = join(j, true) || join(j, false);
            if (!joined && !no_reverse) {
                ropes.flip(i);
                joined = join(j, true) || join(j, false);
                if (!joined) ropes.flip(i);
            }
            if (joined) break;
        }
        // After a join the scan starts again at A's place: A grown, or,
        // when A was absorbed, the curve after it.
        if (!joined) ++i;
    }
    if (!ropes.write(live)) return 0;
    compact(object, dead);
    return 1;
}

int qd_te_linear_path_assembly(nlst* paths, nlst* chains, TeRules* rules, nlst** parents, int32_t connect,
                               SpatialObject* object) {
    if (!object || !rules || !parents || !chains) return qd_te_missing("qd_te_linear_path_assembly");
    if (!paths || paths->tally == 0) return 1;
    TeLinearPathItem* items = static_cast<TeLinearPathItem*>(paths->data);
    const int32_t count = int32_t(paths->tally);
    auto leave_link = [&](int32_t item, int32_t kind) {
        return kind == 1 ? items[item].start_link : items[item].end_link;
    };
    for (int32_t s = 0; s < count; ++s) {
        if (items[s].used) continue;
        const TeChain* sc = tel::valid_row(chains, items[s].chain) ? qd_te_chain_at(chains, items[s].chain) : nullptr;
        if (sc && sc->chain_type == TE_NODE) {
            items[s].used = 1;
            if (!qd_te_linear_chain_output(rules, qd_te_chain_at(chains, items[s].chain), object, parents)) return 0;
            continue;
        }
        CurveList back, work;
        // Follows the links from one end of S: each item is entered at the
        // end its link names (the same kind as the end left for a negative
        // link, the other kind for a positive one) and left at its far end;
        // its curve runs towards S (backwards) or away from it (forwards).
        auto follow = [&](int32_t kind, bool forwards, nlst** into) {
            int32_t current = s, leave = kind;
            for (int32_t step = 0; step < count; ++step) {
                const int32_t link = leave_link(current, leave);
                const int32_t next = (link < 0 ? -link : link) - 1;
                if (next < 0 || next >= count || next == current || next == s || items[next].used) return 1;
                const int32_t arrive = link > 0 ? 3 - leave : leave;
                const int32_t direction = forwards ? (arrive == 1 ? 1 : 0) : (arrive == 2 ? 1 : 0);
                items[next].used = 1;
                if (!qd_te_linear_curve_form(chains, rules, items[next].chain, direction, parents, into,
                                             forwards ? 1 : 0))
                    return 0;
                current = next;
                leave = 3 - arrive;
            }
            return 1;
        };
        items[s].used = 1;
        if (!follow(1, false, &back.list)) return 0;
        if (back.list) {
            if (!qd_te_linear_reverse_merge(back.list)) return 0;
            work.list = back.list;
            back.list = nullptr;
        }
        if (!qd_te_linear_curve_form(chains, rules, items[s].chain, 1, parents, &work.list, 1)) return 0;
        if (!follow(2, true, &work.list)) return 0;
        if (connect && !qd_te_linear_path_connect(work.list, object, rules->reconnect_option)) return 0;
        while (work.list && work.list->tally > 0) {
            GeometricPrimitive p;
            ktgeo_util_primitive_init(KTGEO_CURVE, &p);
            p.geom.curve = *curve_at(work.list, 0);
            nlst_remove(work.list, 0);
            if (!ktgeo_util_add_new_primitive(&p, object)) {
                ktgeo_curve_release(&p.geom.curve, nullptr);
                return 0;
            }
        }
    }
    return 1;
}

int qd_te_line_build_preserve(nlst* chains, TeRules* rules, nlst* items) {
    if (!rules) return qd_te_missing("qd_te_line_build_preserve");
    if (!items || items->tally == 0) return 1;
    if (!chains || chains->tally < 2) return qd_te_missing("qd_te_line_build_preserve");
    const int32_t mode = rules->mode;
    bool paths = false, grouped = false, single = false;
    switch (mode) {
    case TE_SPLIT: case TE_ERASE_IN: case TE_ERASE_OUT: paths = grouped = true; break;
    case TE_DISSOLVE: case TE_INTERSECT: case TE_RELATE: paths = single = true; break;
    case TE_ADJACENT: case TE_PRESERVE: case TE_OVERLAY_NODES: case TE_SYMMETRIC_DIFFERENCE: case TE_SHARED:
        paths = true;
        break;
    case TE_JOIN: paths = rules->output_option_1 == 1; break;
    default: break;
    }
    TeOutputItem* v = static_cast<TeOutputItem*>(items->data);
    const uint32_t n = items->tally;
    if (grouped) {
        // Sorted on (ids, cutter list length, chain), grouped by equal
        // cutter lists, sorted again on (ids, group, chain).
        if (!qd_te_group_output_items(items)) return 0;
    } else {
        // Full keys: the order never depends on the sort.
        std::sort(v, v + n, [](const TeOutputItem& a, const TeOutputItem& b) {
            if (a.id_a != b.id_a) return a.id_a < b.id_a;
            if (a.id_b != b.id_b) return a.id_b < b.id_b;
            return a.polygon < b.polygon;
        });
    }
    tel::Geometry out(rules);
    nlst* path_list = nullptr;
    int ok = 1;
    for (uint32_t start = 0; ok && start < n;) {
        uint32_t end = start + 1;
        while (end < n && v[end].id_a == v[start].id_a && v[end].id_b == v[start].id_b &&
               (!grouped || v[end].group == v[start].group))
            ++end;
        if (!(ok = tel::heartbeat(rules))) break;
        for (uint32_t i = start; ok && i < end; ++i) {
            if (!tel::valid_row(chains, v[i].polygon)) continue;
            if (paths) ok = qd_te_linear_path_item_add(v[i].polygon, &path_list, v[i].id_a, v[i].id_b);
            else ok = qd_te_linear_chain_output(rules, qd_te_chain_at(chains, v[i].polygon), &out.object, &out.parents);
        }
        if (ok && paths && path_list) {
            ok = qd_te_linear_path_links(path_list, chains) &&
                 qd_te_linear_path_assembly(path_list, chains, rules, &out.parents, single ? 1 : 0, &out.object);
            path_list->tally = 0;
        }
        if (ok && !single && !out.empty()) ok = out.deliver(true);
        if (!single) out.clear();
        start = end;
    }
    if (ok && single && !out.empty()) ok = out.deliver(true);
    if (path_list) nlst_free(path_list);
    return ok;
}
