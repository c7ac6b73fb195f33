// topo_run MODE [name=value ...] < lines of "<key> <WKT>"
#include <cstdio>

#include "tools/topo_run/topo_run.h"

int main(int argc, char** argv) { return topo_run(argc, argv, stdin, stdout, stderr); }
