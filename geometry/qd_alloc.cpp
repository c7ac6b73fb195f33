// Checked allocation: malloc behind one reporting door.
#include "geometry/qd_alloc.h"

#include <cstdlib>

#include "geometry/qd_fail.h"

QdAllocState qd_alloc_state = {0, 0};

void qd_alloc_fail_nth(uint64_t n) {
    qd_alloc_state.calls = 0;
    qd_alloc_state.fail_at = n;
}

void* qd_alloc(size_t nbytes) {
    ++qd_alloc_state.calls;
    void* p = nullptr;
    if (qd_alloc_state.fail_at == 0 || qd_alloc_state.calls != qd_alloc_state.fail_at)
        p = std::malloc(nbytes == 0 ? 1 : nbytes);
    if (!p) qd_fail(__FILE__, __LINE__, "UKT_0", "function%s", "qd_alloc", nullptr);
    return p;
}

void qd_free(void* block) { std::free(block); }
