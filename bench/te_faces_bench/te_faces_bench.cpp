// Face benchmark: each part measures its work and a baseline in one run.
#include <malloc.h>

#include "te_faces_bench.h"

int main() {
    // Freed memory stays with the process, so that the best of the rounds
    // measures the work and not the first touch of fresh pages (tens of
    // microseconds a page on a virtual machine), as the baselines, which
    // run in memory already touched, are measured.
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    te_faces_bench_walk();
    te_faces_bench_overlay();
    return 0;
}
