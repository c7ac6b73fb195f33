// Working lists of the cutting modules.
#pragma once

#include "geometry/topology/qd_te_geo_chain.h"

// A list of chains by value released (chains and list) when it goes.
struct TeChainsHolder {
    nlst* list = nullptr;
    TeChainsHolder() = default;
    TeChainsHolder(const TeChainsHolder&) = delete;
    TeChainsHolder& operator=(const TeChainsHolder&) = delete;
    ~TeChainsHolder() {
        if (list) {
            qd_te_geo_free_chain_list(list, 0);
            nlst_free(list);
        }
    }
};
