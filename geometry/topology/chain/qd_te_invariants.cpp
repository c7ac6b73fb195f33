// The invariants of a chain list: link order, free list, identities,
// rectangles and sort order.
#include <cstdio>
#include <vector>

#include "geometry/topology/qd_te_geo_chain.h"

namespace {

int fault(char* why, const char* format, int32_t a, int32_t b = 0) {
    if (why) std::snprintf(why, 160, format, a, b);
    return 0;
}

bool walked(const TeChain* c) {
    return c->discard == CHAIN_OK && c->chain_type != TE_REGION && c->chain_type != TE_ISLAND;
}

// The list after the leaving stage: rows, the frame and the walk links.
int check_leaving(const nlst* chains, int32_t checks, char* why) {
    const int32_t n = int32_t(chains->tally);
    const TeChain* u = qd_te_chain_at(chains, 0);
    if (n > 1) {
        if (!u->coords || u->coords->tally != 5) return fault(why, "universal frame has %d vertices", u->coords ? int32_t(u->coords->tally) : 0);
        const auto* v = static_cast<const TeVertex*>(u->coords->data);
        const GeoCoord* m = u->chain_mer;
        const double xs[5] = {m[0].x, m[0].x, m[1].x, m[1].x, m[0].x};
        const double ys[5] = {m[0].y, m[1].y, m[1].y, m[0].y, m[0].y};
        for (int32_t i = 0; i < 5; ++i)
            if (v[i].x != xs[i] || v[i].y != ys[i]) return fault(why, "universal frame vertex %d off its corner", i);
        if (!(m[0].x < m[1].x && m[0].y < m[1].y)) return fault(why, "universal frame is empty (%d)", 0);
    }
    for (int32_t i = 1; i < n; ++i) {
        const TeChain* c = qd_te_chain_at(chains, i);
        if (c->chain_id != i) return fault(why, "row %d has chain_id %d", i, c->chain_id);
        if (c->discard == CHAIN_FREE) return fault(why, "row %d is free after renumbering", i);
    }
    if (!(checks & TE_INV_WALK_LINKS)) return 1;
    // End e of chain r is 2r + (e - 1); each end must be the target of
    // exactly one link, and a link joins ends at one point.
    std::vector<int32_t> hits(size_t(2 * n), 0);
    for (int32_t i = 1; i < n; ++i) {
        const TeChain* c = qd_te_chain_at(chains, i);
        if (!walked(c)) continue;
        for (int32_t end = 1; end <= 2; ++end) {
            const int32_t link = end == 1 ? c->left_link : c->right_link;
            const int32_t to = link < 0 ? -link : link;
            if (link == 0 || to >= n) return fault(why, "row %d has walk link %d", i, link);
            const TeChain* t = qd_te_chain_at(chains, to);
            if (!walked(t)) return fault(why, "row %d links to a chain of status %d", i, t->discard);
            const int32_t target_end = link < 0 ? 1 : 2;
            ++hits[size_t(2 * to + target_end - 1)];
            if (c->coords && t->coords && c->coords->tally && t->coords->tally) {
                const auto* a = static_cast<const TeVertex*>(c->coords->data) + (end == 1 ? 0 : c->coords->tally - 1);
                const auto* b = static_cast<const TeVertex*>(t->coords->data) + (target_end == 1 ? 0 : t->coords->tally - 1);
                if (a->x != b->x || a->y != b->y) return fault(why, "row %d links to row %d at another point", i, to);
            }
        }
    }
    for (int32_t i = 1; i < n; ++i)
        if (walked(qd_te_chain_at(chains, i)))
            for (int32_t end = 1; end <= 2; ++end)
                if (hits[size_t(2 * i + end - 1)] != 1)
                    return fault(why, "row %d end %d reached other than once", i, end);
    return 1;
}

}  // namespace

int qd_te_check_invariants(const nlst* chains, int32_t checks, char* why) {
    if (!chains || chains->tally == 0) return fault(why, "no chain list (%d)", 0);
    const int32_t n = int32_t(chains->tally);
    const TeChain* u = qd_te_chain_at(chains, 0);
    if (u->discard != CHAIN_SENTINAL) return fault(why, "row 0 has status %d", u->discard);
    if (checks & (TE_INV_LEAVING | TE_INV_WALK_LINKS)) return check_leaving(chains, checks, why);
    std::vector<char> seen(size_t(n), 0);
    // Link order from the universal chain.
    int32_t prev = 0, steps = 0;
    double last_x = -1e308;
    for (int32_t at = u->link_fore; at != -1; at = qd_te_chain_at(chains, at)->link_fore) {
        if (at <= 0 || at >= n) return fault(why, "link to row %d after row %d", at, prev);
        if (seen[size_t(at)]) return fault(why, "row %d linked twice (after %d)", at, prev);
        seen[size_t(at)] = 1;
        const TeChain* c = qd_te_chain_at(chains, at);
        if (c->discard == CHAIN_FREE) return fault(why, "free row %d in link order", at);
        if (c->link_back != prev) return fault(why, "row %d links back to %d", at, c->link_back);
        if ((checks & TE_INV_IDS) && c->chain_id != at)
            return fault(why, "row %d has chain_id %d", at, c->chain_id);
        if ((checks & TE_INV_SORTED) && c->discard == CHAIN_OK) {
            if (c->chain_mer[0].x < last_x) return fault(why, "row %d out of order", at);
            last_x = c->chain_mer[0].x;
        }
        prev = at;
        if (++steps > n) return fault(why, "link order loops (%d)", at);
    }
    if (u->link_back != prev && !(prev == 0 && u->link_back == 0))
        return fault(why, "universal back link %d, last row %d", u->link_back, prev);
    // Free list.
    steps = 0;
    for (int32_t at = u->link_free; at != -1; at = qd_te_chain_at(chains, at)->link_fore) {
        if (at <= 0 || at >= n) return fault(why, "free list reaches row %d", at);
        if (seen[size_t(at)]) return fault(why, "row %d both linked and free (%d)", at);
        seen[size_t(at)] = 1;
        const TeChain* c = qd_te_chain_at(chains, at);
        if (c->discard != CHAIN_FREE || c->link_back != -1)
            return fault(why, "free row %d has status %d", at, c->discard);
        if (c->coords || c->left_parent || c->right_parent)
            return fault(why, "free row %d holds lists (%d)", at);
        if (++steps > n) return fault(why, "free list loops (%d)", at);
    }
    for (int32_t i = 1; i < n; ++i) {
        if (!seen[size_t(i)]) return fault(why, "row %d unreachable (status %d)", i, qd_te_chain_at(chains, i)->discard);
        const TeChain* c = qd_te_chain_at(chains, i);
        if (c->link_free != -1) return fault(why, "row %d has free link %d", i, c->link_free);
        if (!(checks & TE_INV_MER) || c->discard != CHAIN_OK || !c->coords) continue;
        const auto* v = static_cast<const TeVertex*>(c->coords->data);
        for (uint32_t k = 0; k < c->coords->tally; ++k)
            if (v[k].x - v[k].tol < c->chain_mer[0].x || v[k].x + v[k].tol > c->chain_mer[1].x ||
                v[k].y - v[k].tol < c->chain_mer[0].y || v[k].y + v[k].tol > c->chain_mer[1].y)
                return fault(why, "row %d vertex %d outside its rectangle", i, int32_t(k));
    }
    return 1;
}
