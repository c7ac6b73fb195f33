// Duplicate removal and chain merging.
#pragma once

#include <cstdint>

#include "geometry/qd_nlst.h"

int qd_te_duplicates_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);
int qd_te_duplicates_node_removal(nlst* chains, int32_t index, double tolerance, int32_t per_point);
