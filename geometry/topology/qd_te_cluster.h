// Node clustering and the common chain check after vertices change.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

struct TeChain;

// Re-checks a chain whose vertices changed: removes clustered duplicate
// points within tol; a degenerate chain is marked CHAIN_DELETE.
int qd_te_cluster_clean_points(TeChain* chain, int32_t mode, double tol);

// Clusters the chain at row index against the chains after it in link order.
int qd_te_cluster_chains(nlst* chains, int32_t index, int32_t cluster_option, double tolerance);
