// Stand-in declarations of the face walk and the island stages that
// surface output runs before its builds, until they are built.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

struct TeRules;

int qd_te_walk_form(nlst** polygons, nlst** negatives, nlst* chains, TeRules* rules);
int qd_te_neg_in_pos(nlst* polygons, nlst* negatives, nlst* chains, TeRules* rules);
int qd_te_island_levels(nlst* polygons, nlst* chains);
int qd_te_prune_dangles(nlst* polygons, nlst* chains, TeRules* rules);
