// Checked allocation of the geometry library: every block of the library
// and of the topology engine comes from qd_alloc, which reports exhaustion
// once ("UKT_0") and answers null.
#pragma once

#include <cstddef>
#include <cstdint>

void* qd_alloc(size_t nbytes);
void qd_free(void* block);

// Process-wide state of the allocator (test switches only).
struct QdAllocState {
    uint64_t calls;    // qd_alloc calls since the last reset
    uint64_t fail_at;  // 0: never fail; n: the n-th call from the reset fails
};
extern QdAllocState qd_alloc_state;

// Test switch: the n-th qd_alloc call from now fails (0 turns it off).
void qd_alloc_fail_nth(uint64_t n);
