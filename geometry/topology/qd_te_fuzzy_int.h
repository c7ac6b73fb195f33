// Fuzzy intersection of chains: the intersection walk, path and line
// crossings without cutting, touching paths, and the vertex filters.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

struct TeChain;
struct TeRules;

int qd_te_intersect_chains(nlst* chains, int32_t index, int32_t projection, int32_t intersection,
                           double tolerance);
int qd_te_intersect_pathline(nlst* chains, int32_t index, int32_t self, double tolerance);
int qd_te_intersect_pathline_record(nlst* chains, int32_t index, nlst** crossings, int32_t self,
                                    int32_t all, double tolerance);
int qd_te_intersect_polylines(TeChain* a, TeChain* b, nlst** crossings, double tolerance,
                              int32_t flag_a, int32_t flag_b);
int qd_te_fuzzy_int_path_touch(nlst* chains, nlst* touch_list, int32_t* changed, TeRules* rules);
int qd_te_geo_filter_chain(TeChain* chain, double distance, double bend, double tolerance);
