// The parts of the face benchmark, each printing its lines with a ratio
// against a baseline run beside it.
#pragma once

// The face walk, containers and levels against sorting the chain ends.
void te_faces_bench_walk();
// Overlay point queries with the region index against the plain walk.
void te_faces_bench_overlay();
