// Node clustering and the common chain check after vertices change.
#pragma once

#include <cstdint>

struct TeChain;

// Re-checks a chain whose vertices changed: removes clustered duplicate
// points within tol; a degenerate chain is marked CHAIN_DELETE.
int qd_te_cluster_clean_points(TeChain* chain, int32_t mode, double tol);
