// Parent records and lists: merging by id pair, the three output orders,
// and collecting, inserting and transferring the lists of chains.
#include <algorithm>

#include "geometry/qd_alloc.h"
#include "geometry/topology/qd_te_geo_chain.h"
#include "geometry/topology/qd_te_geo_overlay.h"
#include "geometry/topology/qd_te_output.h"
#include "geometry/topology/qd_te_parents.h"
#include "geometry/topology/qd_te_util.h"

namespace {

const TeParent& rec(const void* p) { return *static_cast<const TeParent*>(p); }

int cmp(int32_t a, int32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

nlst** side_list(TeChain* chain, int32_t side) {
    return side == 0 ? &chain->right_parent : &chain->left_parent;
}

// Appends other to *list, creating it with room for other's records.
int append(nlst** list, const nlst* other) {
    if (!other || other->tally == 0) return 1;
    if (!*list && !(*list = nlst_alloc(sizeof(TeParent), other->tally + 1, 1, nullptr))) return 0;
    return nlst_append(*list, other) ? 1 : 0;
}

}  // namespace

int qd_te_parent_merge(TeParent* a, const TeParent* b) {
    if (!a || !b || a->id_a != b->id_a || a->id_b != b->id_b) return 0;
    const int64_t fa = std::max<int64_t>(a->packed >> 3, 1), fb = std::max<int64_t>(b->packed >> 3, 1);
    const int64_t f = std::min<int64_t>(fa + fb, TE_PARENT_MAX_FREQUENCY);
    a->packed = int32_t(f << 3) | ((a->packed | b->packed) & 7);
    return 1;
}

int32_t qd_te_parent_frequency(const TeParent* p) { return p ? p->packed >> 3 : 0; }
int qd_te_parent_has_flag(const TeParent* p, int32_t flag) { return p && (p->packed & flag & 7) ? 1 : 0; }
void qd_te_parent_set_flag(TeParent* p, int32_t flag) {
    if (p) p->packed |= flag & 7;
}
void qd_te_parent_clear_flag(TeParent* p, int32_t flag) {
    if (p) p->packed &= ~(flag & 7);
}

void qd_te_parent_print(FILE* file, const TeParent* p) {
    if (!p) {
        std::fputs("(NULL)", file);
        return;
    }
    std::fprintf(file, "%ld:%ld:%ld", long(p->id_a), long(p->id_b), long(p->packed >> 3));
    if (p->packed & TE_PARENT_L) std::fputc('L', file);
    if (p->packed & TE_PARENT_P) std::fputc('P', file);
    if (p->packed & TE_PARENT_S) std::fputc('S', file);
}

int qd_te_parent_compare_ids(const void* a, const void* b) {
    const TeParent &p = rec(a), &q = rec(b);
    if (int c = cmp(p.id_a, q.id_a)) return c;
    if (int c = cmp(p.id_b, q.id_b)) return c;
    return cmp(p.packed, q.packed);
}

int qd_te_parent_compare_frequency(const void* a, const void* b) {
    const TeParent &p = rec(a), &q = rec(b);
    if (int c = cmp(q.packed, p.packed)) return c;
    if (int c = cmp(p.id_a, q.id_a)) return c;
    return cmp(p.id_b, q.id_b);
}

int qd_te_parent_compare_local(const void* a, const void* b) {
    const TeParent &p = rec(a), &q = rec(b);
    if (int c = cmp(q.packed & TE_PARENT_L, p.packed & TE_PARENT_L)) return c;
    return qd_te_parent_compare_frequency(a, b);
}

int qd_te_parents_append(nlst** list, const nlst* other) {
    if (!list) return qd_te_missing("qd_te_parents_append");
    return append(list, other);
}

int qd_te_parents_merge_duplicates(nlst* list) {
    if (!list || list->tally < 2) return 1;
    if (!nlst_sort(list, qd_te_parent_compare_ids)) return 0;
    auto* p = static_cast<TeParent*>(list->data);
    // Compact in place: each run of one id pair merges into its first record.
    uint32_t out = 0;
    for (uint32_t i = 0; i < list->tally; ++i) {
        if (out > 0 && qd_te_parent_merge(&p[out - 1], &p[i])) continue;
        p[out++] = p[i];
    }
    list->tally = out;
    return 1;
}

int qd_te_parents_sort_frequency(nlst* list) {
    if (!list || list->tally < 2) return 1;
    return nlst_sort(list, qd_te_parent_compare_frequency) ? 1 : 0;
}

int qd_te_parents_sort_local(nlst* list) {
    if (!list || list->tally < 2) return 1;
    return nlst_sort(list, qd_te_parent_compare_local) ? 1 : 0;
}

int qd_te_parents_keep_flagged(nlst* list, int32_t flags) {
    if (!list) return 1;
    auto* p = static_cast<TeParent*>(list->data);
    uint32_t out = 0;
    for (uint32_t i = 0; i < list->tally; ++i)
        if (p[i].packed & flags & 7) p[out++] = p[i];
    list->tally = out;
    return 1;
}

int qd_te_parents_list_init(TeChain* chain, int32_t side) {
    if (!chain) return qd_te_missing("qd_te_parents_list_init");
    if (side == 0 || side == 2) {
        if (chain->right_parent) nlst_free(chain->right_parent);
        chain->right_parent = nullptr;
    }
    if (side == 1 || side == 2) {
        if (chain->left_parent) nlst_free(chain->left_parent);
        chain->left_parent = nullptr;
    }
    return 1;
}

int qd_te_collect_parents(const TeChain* chain, nlst** out, int32_t side, int merge) {
    if (!chain || !out) return qd_te_missing("qd_te_collect_parents");
    const uint32_t before = *out ? (*out)->tally : 0;
    int ok = 1;
    if (side == 1 || side == 2) ok = append(out, chain->left_parent);
    if (ok && (side == 0 || side == 2)) ok = append(out, chain->right_parent);
    if (!ok) return 0;
    if (merge == 1 && *out && (*out)->tally > before) return qd_te_parents_merge_duplicates(*out);
    return 1;
}

int32_t qd_te_parents_count(const TeChain* chain, int32_t side) {
    if (!chain) return 0;
    if (side == 0) return chain->right_parent ? int32_t(chain->right_parent->tally) : 0;
    if (side == 1) return chain->left_parent ? int32_t(chain->left_parent->tally) : 0;
    if (side != 2) return 0;
    nlst* scratch = nullptr;
    int32_t n = 0;
    if (qd_te_collect_parents(chain, &scratch, 2, 1) && scratch) n = int32_t(scratch->tally);
    if (scratch) nlst_free(scratch);
    return n;
}

int qd_te_insert_parents(TeChain* chain, const nlst* list, int32_t side, int merge) {
    if (!chain) return qd_te_missing("qd_te_insert_parents");
    if (side < 0 || side > 2) return 1;
    for (int32_t s : {1, 0}) {
        if (side != 2 && side != s) continue;
        nlst** target = side_list(chain, s);
        if (!append(target, list)) return 0;
        if (merge == 1 && !qd_te_parents_merge_duplicates(*target)) return 0;
    }
    return 1;
}

int qd_te_parents_collect_transfer(TeChain* chain, int32_t index, int32_t side, const nlst* chains) {
    if (!chain || !chains) return qd_te_missing("qd_te_parents_collect_transfer");
    if (index <= 0) return 1;
    if (uint32_t(index) >= chains->tally) return 0;
    // Collect first: the source may be the chain itself.
    nlst* both = nullptr;
    if (!qd_te_collect_parents(qd_te_chain_at(chains, index), &both, 2, 1)) {
        if (both) nlst_free(both);
        return 0;
    }
    const int ok = qd_te_insert_parents(chain, both, side, 1);
    if (both) nlst_free(both);
    return ok;
}

int qd_te_parents_list_transfer(TeChain* chain, int32_t from_side, int32_t to_side) {
    if (!chain) return qd_te_missing("qd_te_parents_list_transfer");
    nlst* merged = nullptr;
    if (!qd_te_collect_parents(chain, &merged, from_side, 1)) {
        if (merged) nlst_free(merged);
        return 0;
    }
    qd_te_parents_list_init(chain, 2);
    if (!merged || merged->tally == 0) {
        if (merged) nlst_free(merged);
        return 1;
    }
    if (to_side == 0) {
        chain->right_parent = merged;
    } else if (to_side == 2) {
        chain->left_parent = merged;
        if (!append(&chain->right_parent, merged)) return 0;
    } else {
        chain->left_parent = merged;
    }
    return 1;
}

int qd_te_parents_overlay_transfer(TeChain* chain, int32_t kind, int32_t side, const nlst* chains) {
    if (!chain || !chains) return qd_te_missing("qd_te_parents_overlay_transfer");
    int32_t region = 0;
    const int where = qd_te_walk_overlay_point(kind, chain, nullptr, chains, 0, 0, 0, nullptr, nullptr, &region);
    if (where == 0) return 0;
    if (where != 13) return 1;
    return qd_te_parents_collect_transfer(chain, region, side, chains);
}

int qd_te_parents_inherit_transfer(TeChain* chain, int32_t kind, int32_t side, int32_t same_parent,
                                   int32_t strict, const nlst* chains) {
    if (!chain || !chains) return qd_te_missing("qd_te_parents_inherit_transfer");
    nlst* pairs = nullptr;
    TeOverlayQuery q;
    qd_te_overlay_query_init(&q, kind, chain);
    q.same_parent = same_parent;
    q.strict = strict;
    q.pairs = 1;
    q.pairs_list = &pairs;
    int ok = qd_te_walk_chain_overlay_reg(&q, chains);
    for (uint32_t i = 0; ok && pairs && i < pairs->tally; ++i) {
        const TeOverlayPair* p = static_cast<const TeOverlayPair*>(nlst_index(pairs, i));
        if (p->code == 13) ok = qd_te_parents_collect_transfer(chain, p->chain, side, chains);
    }
    if (pairs) nlst_free(pairs);
    return ok;
}
