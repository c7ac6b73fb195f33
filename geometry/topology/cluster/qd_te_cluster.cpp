// The chain check after vertices change. For now it keeps the chain as it
// is; node clustering fills it in.
#include "geometry/topology/qd_te_cluster.h"

int qd_te_cluster_clean_points(TeChain*, int32_t, double) { return 1; }
