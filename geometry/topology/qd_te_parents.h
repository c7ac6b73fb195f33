// Parent records of chains: which input features a chain came from, kept
// apart for its right and its left side, merged by id pair with their
// frequencies added, sorted for output and carried from chain to chain.
// Side codes: 0 right, 1 left, 2 both.
#pragma once

#include <cstdint>
#include <cstdio>

#include "geometry/qd_nlst.h"

struct TeChain;

// Flag bits of `packed`; the frequency is packed >> 3.
enum : int32_t { TE_PARENT_L = 1, TE_PARENT_S = 2, TE_PARENT_P = 4 };
inline constexpr int32_t TE_PARENT_MAX_FREQUENCY = 268435455;

struct TeParent {
    int32_t id_a;
    int32_t id_b;
    int32_t packed;  // frequency << 3 | flags
};

int qd_te_parent_merge(TeParent* a, const TeParent* b);
int32_t qd_te_parent_frequency(const TeParent* p);
int qd_te_parent_has_flag(const TeParent* p, int32_t flag);
void qd_te_parent_set_flag(TeParent* p, int32_t flag);
void qd_te_parent_clear_flag(TeParent* p, int32_t flag);
void qd_te_parent_print(FILE* file, const TeParent* p);

int qd_te_parent_compare_ids(const void* a, const void* b);
int qd_te_parent_compare_frequency(const void* a, const void* b);
int qd_te_parent_compare_local(const void* a, const void* b);

int qd_te_parents_append(nlst** list, const nlst* other);
int qd_te_parents_merge_duplicates(nlst* list);
int qd_te_parents_sort_frequency(nlst* list);
int qd_te_parents_sort_local(nlst* list);
int qd_te_parents_keep_flagged(nlst* list, int32_t flags);
int qd_te_parents_list_init(TeChain* chain, int32_t side);
int qd_te_collect_parents(const TeChain* chain, nlst** out, int32_t side, int merge);
int32_t qd_te_parents_count(const TeChain* chain, int32_t side);
int qd_te_insert_parents(TeChain* chain, const nlst* list, int32_t side, int merge);
int qd_te_parents_collect_transfer(TeChain* chain, int32_t index, int32_t side, const nlst* chains);
int qd_te_parents_list_transfer(TeChain* chain, int32_t from_side, int32_t to_side);
// Transfers the parents of the region chain the chain lies inside (overlay
// walk answer 13) to the given side; any other answer changes nothing.
int qd_te_parents_overlay_transfer(TeChain* chain, int32_t kind, int32_t side, const nlst* chains);
// Transfers the parents of every region chain the chain lies inside.
int qd_te_parents_inherit_transfer(TeChain* chain, int32_t kind, int32_t side, int32_t same_parent,
                                   int32_t strict, const nlst* chains);
