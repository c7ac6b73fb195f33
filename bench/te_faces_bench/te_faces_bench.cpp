// Face benchmark: each part measures its work and a baseline in one run.
#include "te_faces_bench.h"

int main() {
    te_faces_bench_walk();
    te_faces_bench_overlay();
    return 0;
}
