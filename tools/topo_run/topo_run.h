// topo_run: one run of the topology engine over geometries read from a
// stream, one `<key> <WKT>` per line (line i is parent (1, i)), printing one
// `<id_a>:<id_b> <WKT>` line per output object. The mode and name=value
// settings come as arguments. Answers the exit status: 0 when the run
// answered 1, 1 when it answered 0, 2 for bad input.
#pragma once

#include <cstdio>

int topo_run(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err);
