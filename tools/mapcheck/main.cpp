// mapcheck: see check.h.
#include "tools/mapcheck/check.h"

int main(int argc, char** argv) { return mapcheck_main(argc, argv, stdout, stderr); }
