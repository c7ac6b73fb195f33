// Touching paths: chains that share vertices without crossing are cut
// where a shared stretch begins and ends, so that shared stretches become
// chains of their own.
#include "geometry/topology/fuzzy_int/qd_te_fuzzy_internal.h"
#include "geometry/topology/qd_te_split.h"
#include "geometry/topology/qd_te_assembly.h"
#include "geometry/topology/qd_te_ba.h"
#include "geometry/topology/qd_te_cluster.h"
#include "geometry/topology/qd_te_duplicates.h"

using namespace te_fuzzy;

namespace {

struct Bits {
    uint8_t* bits = nullptr;
    ~Bits() { qd_free(bits); }
    bool test(uint32_t i) const { return (bits[i / 8] >> (i % 8)) & 1; }
    void set(uint32_t i) { bits[i / 8] = uint8_t(bits[i / 8] | (1u << (i % 8))); }
};

const TeCoordRef* ref_at(const nlst* refs, int32_t i) {
    return static_cast<const TeCoordRef*>(refs->data) + i;
}

// Leaves the cursor on the last reference of the tag it stands on.
void skip_tag(const nlst* refs, int32_t* cursor) {
    if (*cursor < 0 || uint32_t(*cursor) >= refs->tally) return;
    const int32_t tag = ref_at(refs, *cursor)->tag;
    while (uint32_t(*cursor) + 1 < refs->tally && ref_at(refs, *cursor + 1)->tag == tag) ++*cursor;
}

void free_pieces(nlst* pieces) {
    if (!pieces) return;
    qd_te_geo_free_chain_list(pieces, 0);
    nlst_free(pieces);
}

}  // namespace

int qd_te_fuzzy_int_path_touch_split(TeChain* chain, int32_t* cursor, const nlst* refs, nlst** pieces,
                                     double tolerance) {
    if (!chain || !cursor || !pieces) return qd_te_missing("qd_te_fuzzy_int_path_touch_split");
    const uint32_t n = vertex_count(chain);
    if (n == 0) {
        chain->discard = CHAIN_INVALID;
        return 1;
    }
    if (n < 3 || !refs || refs->tally == 0) {
        if (refs) skip_tag(refs, cursor);
        return 1;
    }
    Bits touched, cut;
    touched.bits = qd_te_bits_alloc(int32_t(n));
    cut.bits = qd_te_bits_alloc(int32_t(n));
    if (!touched.bits || !cut.bits) {
        QD_FAIL("UKT1N", "nbytes%d", -1, nullptr);
        return 0;
    }
    cut.set(0);
    cut.set(n - 1);
    uint32_t unmatched = 0, matched = 0, starts = 0;
    const int32_t tag = ref_at(refs, *cursor)->tag;
    for (int32_t e = *cursor; uint32_t(e) < refs->tally; ++e) {
        const TeCoordRef* r = ref_at(refs, e);
        if (r->tag != tag) break;
        *cursor = e;
        if (r->index < 0 || uint32_t(r->index) >= n) continue;
        const uint32_t p = uint32_t(r->index);
        if (r->group < 0) {
            ++unmatched;
            if (p > 0 && touched.test(p - 1) && !cut.test(p - 1)) cut.set(p - 1);
            continue;
        }
        ++matched;
        touched.set(p);
        if (r->group > 0 || (p > 0 && !touched.test(p - 1))) {
            ++starts;
            if (!cut.test(p)) cut.set(p);
        }
    }
    const bool first_touched = touched.test(0), last_touched = touched.test(n - 1);
    if (unmatched == n || (matched == n && starts == 0) ||
        (unmatched == n - 2 && first_touched && last_touched) ||
        (unmatched == n - 1 && (first_touched || last_touched)) || chain->discard != CHAIN_OK)
        return 1;
    if (!*pieces && !(*pieces = nlst_alloc(sizeof(TeChain), 4, 4, nullptr))) return qd_te_no_memory();
    const TeVertex* v = vertices(chain);
    TeChain piece;
    qd_te_geo_chain_default(&piece);
    bool appended = false;
    auto start_piece = [&](uint32_t i) {
        if (!qd_te_geo_copy_chain(chain, &piece, 0)) return false;
        piece.coords = nlst_alloc(sizeof(TeVertex), 4, 8, nullptr);
        return piece.coords && nlst_add(piece.coords, &v[i]);
    };
    bool ok = start_piece(0);
    for (uint32_t i = 1; ok && i < n; ++i) {
        const bool at_cut = cut.test(i) || (i < n - 1 && touched.test(i) && !touched.test(i + 1) && !cut.test(i + 1));
        if (!(ok = nlst_add(piece.coords, &v[i]))) break;
        if (!at_cut) continue;
        if (!(ok = qd_te_cluster_clean_points(&piece, 1, tolerance))) break;
        if (!(ok = nlst_add(*pieces, &piece))) break;
        qd_te_geo_chain_default(&piece);
        appended = true;
        if (i < n - 1) ok = start_piece(i);
    }
    qd_te_geo_chain_release(&piece);
    if (!ok) return qd_te_no_memory();
    if (appended) {
        chain->discard = CHAIN_DELETE;
        qd_te_geo_chain_release(chain);
    }
    return 1;
}

int qd_te_fuzzy_int_path_touch(nlst* chains, nlst* touch, int32_t* found, TeRules* rules) {
    if (!chains || !rules || !found) return qd_te_missing("qd_te_fuzzy_int_path_touch");
    *found = 0;
    if (!touch || touch->tally == 0 || chains->tally <= 1) return 1;
    const double tolerance = rules->tolerance.tolerance;
    auto row_of = [&](uint32_t k) {
        int32_t row;
        std::memcpy(&row, static_cast<const char*>(touch->data) + size_t(k) * touch->size, sizeof row);
        return row;
    };
    auto chain_of = [&](uint32_t k) -> TeChain* {
        const int32_t row = row_of(k);
        return row > 0 && uint32_t(row) < chains->tally ? qd_te_chain_at(chains, row) : nullptr;
    };
    nlst* refs = nullptr;
    nlst* pieces = nullptr;
    int ok = 1;
    for (uint32_t k = 0; ok && k < touch->tally; ++k) {
        if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) {
            ok = 0;
            break;
        }
        TeChain* c = chain_of(k);
        if (!c) ok = qd_te_missing("qd_te_fuzzy_int_path_touch");
        else ok = qd_te_duplicates_path_clip(c, &refs, int32_t(k), nullptr, nullptr, 1, nullptr);
    }
    if (ok && refs && refs->tally > 0) {
        ok = qd_te_duplicates_touch_count(refs);
        for (int32_t e = 0; ok && uint32_t(e) < refs->tally; ++e) {
            if (!qd_te_event_method(TE_EVENT_HEARTBEAT, &rules->event_method)) {
                ok = 0;
                break;
            }
            const int32_t tag = ref_at(refs, e)->tag;
            TeChain* c = tag >= 0 && uint32_t(tag) < touch->tally ? chain_of(uint32_t(tag)) : nullptr;
            if (!c) ok = qd_te_missing("qd_te_fuzzy_int_path_touch");
            else ok = qd_te_fuzzy_int_path_touch_split(c, &e, refs, &pieces, tolerance);
        }
        if (ok && pieces && pieces->tally > 0) {
            nlst_free(refs);
            refs = nullptr;
            for (uint32_t k = 0; ok && k < touch->tally; ++k) {
                int32_t row = row_of(k);
                if (row > 0 && uint32_t(row) < chains->tally) ok = qd_te_process_chains_verify(chains, &row);
            }
            if (ok) ok = qd_te_split_chain_by_list(0, pieces, chains, tolerance, found);
        }
    }
    if (refs) nlst_free(refs);
    free_pieces(pieces);
    return ok;
}
