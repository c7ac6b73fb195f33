// The link order of the chains of a run and the free list of dead slots,
// both anchored in the universal chain at row 0; the universal chain's
// rectangle from the data extent; the run's working dimension.
#include <cmath>

#include "geometry/qd_fail.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_util.h"

namespace {


int32_t tally(const nlst* chains) { return int32_t(chains->tally); }

}  // namespace

int qd_te_link_setup(nlst* chains) {
    if (!chains) return qd_te_missing("qd_te_link_setup");
    const int32_t n = tally(chains);
    if (n < 2) return 1;
    for (int32_t i = 0; i < n; ++i) {
        TeChain* c = qd_te_chain_at(chains, i);
        c->chain_id = i;
        c->link_fore = i + 1 < n ? i + 1 : -1;
        c->link_back = i == 0 ? n - 1 : i - 1;
        c->link_free = -1;
    }
    return 1;
}

int qd_te_link_fore_chain(const nlst* chains, TeChain** next, int32_t index) {
    if (!chains || !next || chains->tally == 0 || index < 0 || index >= tally(chains))
        return qd_te_missing("qd_te_link_fore_chain");
    const TeChain* c = qd_te_chain_at(chains, index);
    if (c->discard == CHAIN_FREE) return qd_te_missing("qd_te_link_fore_chain");
    if (c->link_fore < 0 || c->link_fore >= tally(chains)) {
        *next = nullptr;
        return 1;
    }
    *next = qd_te_chain_at(chains, c->link_fore);
    return 1;
}

int qd_te_link_back_chain(const nlst* chains, TeChain** previous, int32_t index) {
    if (!chains || !previous || chains->tally == 0 || index < 0 || index >= tally(chains))
        return qd_te_missing("qd_te_link_back_chain");
    const TeChain* c = qd_te_chain_at(chains, index);
    if (c->link_back < 0 || c->link_back >= tally(chains)) {
        *previous = nullptr;
        return 1;
    }
    *previous = qd_te_chain_at(chains, c->link_back);
    return 1;
}

int qd_te_link_get_next_chain(const nlst* chains, int32_t* index, TeChain** next) {
    if (!index || !next) return qd_te_missing("qd_te_link_get_next_chain");
    if (!qd_te_link_fore_chain(chains, next, *index)) return 0;
    *index = *next ? int32_t(*next - qd_te_chain_at(chains, 0)) : 0;
    return 1;
}

int qd_te_link_remove_chain(nlst* chains, int32_t* index) {
    if (!chains || !index || tally(chains) < 2 || *index <= 0 || *index >= tally(chains))
        return qd_te_missing("qd_te_link_remove_chain");
    const int32_t row = *index;
    TeChain* c = qd_te_chain_at(chains, row);
    if (c->discard == CHAIN_FREE || (c->link_fore < 0 && c->link_back < 0))
        return qd_te_missing("qd_te_link_remove_chain");
    const int32_t back = c->link_back, fore = c->link_fore;
    if (back < 0 || back >= tally(chains) || fore >= tally(chains))
        return qd_te_missing("qd_te_link_remove_chain");
    TeChain* u = qd_te_chain_at(chains, 0);
    TeChain* b = qd_te_chain_at(chains, back);
    *index = back;
    // The back chain (the universal chain's fore link when it is first)
    // now leads to the fore chain; the fore chain (or the universal chain's
    // back link when the chain was last) leads back to the back chain.
    if (back == 0) u->link_fore = fore;
    else b->link_fore = fore;
    if (fore >= 0) qd_te_chain_at(chains, fore)->link_back = back;
    else u->link_back = back;
    qd_te_geo_chain_release(c);
    c->link_fore = u->link_free;
    c->link_back = -1;
    c->link_free = -1;
    c->discard = CHAIN_FREE;
    u->link_free = row;
    return 1;
}

int qd_te_link_insert_chain(nlst* chains, int32_t before, TeChain* chain) {
    if (!chain || !chains || chains->tally == 0 || before <= 0 || before > tally(chains))
        return qd_te_missing("qd_te_link_insert_chain");
    TeChain* u = qd_te_chain_at(chains, 0);
    const int32_t free_slot = u->link_free;
    const bool reuse = free_slot > 0 && free_slot < tally(chains);
    const int32_t slot = reuse ? free_slot : tally(chains);
    int32_t fore, back;
    if (before == tally(chains)) {
        fore = -1;
        back = u->link_back;
    } else {
        const TeChain* at = qd_te_chain_at(chains, before);
        if (at->discard == CHAIN_FREE || at->link_back < 0) return qd_te_missing("qd_te_link_insert_chain");
        fore = before;
        back = at->link_back;
    }
    if (back < 0 || back >= tally(chains)) return qd_te_missing("qd_te_link_insert_chain");
    // Store first (the list may grow and move), then link.
    TeChain record = *chain;
    record.chain_id = slot;
    record.link_fore = fore;
    record.link_back = back;
    record.link_free = -1;
    int32_t next_free = -1;
    if (reuse) {
        next_free = qd_te_chain_at(chains, slot)->link_fore;
        if (!nlst_replace(chains, &record, uint32_t(slot))) return 0;
    } else if (!nlst_add(chains, &record)) {
        return 0;
    }
    qd_te_geo_chain_default(chain);  // the record now lives in the list
    u = qd_te_chain_at(chains, 0);
    if (reuse) u->link_free = next_free;
    if (back == 0) u->link_fore = slot;
    else qd_te_chain_at(chains, back)->link_fore = slot;
    if (fore < 0) u->link_back = slot;
    else qd_te_chain_at(chains, fore)->link_back = slot;
    return 1;
}

int qd_te_link_largest_mer(nlst* chains, const double extent[6], double margin) {
    if (!chains || !extent) return qd_te_missing("qd_te_link_largest_mer");
    if (chains->tally < 2) return 1;
    TeChain* u = qd_te_chain_at(chains, 0);
    if (u->discard != CHAIN_SENTINAL) return qd_te_missing("qd_te_link_largest_mer");
    u->chain_id = 0;
    u->chain_mer[0] = {extent[0], extent[1], extent[2]};
    u->chain_mer[1] = {extent[3], extent[4], extent[5]};
    qd_te_mer_expand(u->chain_mer, std::fmax(margin, 1e-8));
    qd_te_mer_expand(u->chain_mer, 1e-8);
    u->chain_type = TE_LINE;
    u->poly_left = u->poly_right = -1;
    u->left_link = u->right_link = 0;
    const GeoCoord lo = u->chain_mer[0], hi = u->chain_mer[1];
    const TeVertex ring[5] = {{lo.x, lo.y, -1e6, 0}, {lo.x, hi.y, -1e6, 0}, {hi.x, hi.y, -1e6, 0},
                              {hi.x, lo.y, -1e6, 0}, {lo.x, lo.y, -1e6, 0}};
    if (u->coords) u->coords->tally = 0;  // a second call replaces the ring
    else if (!(u->coords = nlst_alloc(sizeof(TeVertex), 5, 1, nullptr))) return 0;
    return nlst_add_many(u->coords, ring, 5) ? 1 : 0;
}

int qd_te_link_topology(TeRules* rules) {
    if (!rules) return qd_te_missing("qd_te_link_topology");
    TeStatistics& s = rules->statistics;
    switch (rules->mode) {
    case TE_SPLIT:
    case TE_ERASE_IN:
    case TE_ERASE_OUT:
    case TE_DIFFERENCE:
        s.data_dim = rules->output_dim = s.target_dim;
        break;
    case TE_BRANCH:
        if (s.data_dim == 3) s.data_dim = 2;
        break;
    default:
        break;
    }
    if (rules->output_dim == 0 && s.data_dim != 0) rules->output_dim = s.data_dim;
    else if (s.data_dim != 0) s.data_dim = s.data_dim > rules->output_dim ? s.data_dim : rules->output_dim;
    return 1;
}
