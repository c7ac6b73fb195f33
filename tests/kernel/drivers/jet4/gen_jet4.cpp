// gen_jet4 DIR: writes the Access fixtures (data.mdb, secret.mdb,
// newer.accdb) into DIR. gen_jet4 --bench N FILE: a table of N rows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/drivers/jet4/jet4gen.h"

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--bench") == 0) {
    return jet4::write_file(argv[3], jet4::bench_database(std::atoi(argv[2]))) ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_jet4 DIR | gen_jet4 --bench N FILE\n");
    return 2;
  }
  for (const char* name : {"data.mdb", "secret.mdb", "newer.accdb"}) {
    if (!jet4::write_file(std::string(argv[1]) + "/" + name, jet4::fixture(name))) return 1;
  }
  return 0;
}
