// csconv: reads CoordSys clauses and converts points from the command line.
//
//   csconv text [-b] CLAUSE   the clause as the writer gives it back
//   csconv conv [--grid nadcon|jgd|ntf] FROM TO
//                             stdin "x y" lines from one system into another,
//                             through the named datum-shift grid (exit 3 with
//                             "grid not opened" when it cannot be opened)
//   csconv name CLAUSE        the projection list's name of the system, a tab
//                             and its code (-1 without one); exit 1 when none
//   csconv int CLAUSE         stdin "x y" coordinates to integers
//   csconv xy CLAUSE          stdin "x y" integers to coordinates
//   csconv srid [-n]          stdin CoordSys clauses, one a line (read
//                             without bounds): the Oracle SRID of each (0 for
//                             none), "error" for a line that does not read;
//                             -n normalises lat/long systems first
//   csconv srid --dump        the SRID table: "SRID<TAB>text" per row
//
// A clause that does not read exits 1 with "error <code>" on stderr per
// error pushed, oldest first. Conversions read the clauses with bounds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/coordsys/coordsys_text.h"
#include "kernel/coordsys/grids.h"
#include "kernel/coordsys/projlist.h"
#include "kernel/coordsys/xform.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/num.h"
#include "kernel/runtime/path.h"
#include "kernel/server/ora_srid.h"

namespace {

int usage() {
  std::fputs("usage: csconv text [-b] CLAUSE | conv [--grid nadcon|jgd|ntf] FROM TO | int CLAUSE | xy CLAUSE | name CLAUSE | srid [-n | --dump]\n", stderr);
  return 2;
}

bool read_clause(CoordXform* xf, const char* text, bool with_bounds) {
  err_clear();
  if (coordsys_parse_text(xf, text, with_bounds ? 1 : 0)) {
    err_clear();
    return true;
  }
  for (int i = 0; i < g_err_stack->stored_count && i < kErrMaxEntries; ++i) {
    const ErrorEntry& e = g_err_stack->entries[i];
    if (e.code > 0) std::fprintf(stderr, "error %d\n", e.code);
  }
  err_clear();
  return false;
}

// Each stdin line "x y" (as strtod reads them) to fn; lines that hold no
// two numbers are skipped.
template <class Fn>
void each_point(Fn fn) {
  char line[512];
  while (std::fgets(line, sizeof line, stdin)) {
    char* end = nullptr;
    const double x = std::strtod(line, &end);
    if (end == line) continue;
    char* end2 = nullptr;
    const double y = std::strtod(end, &end2);
    if (end2 == end) continue;
    fn(x, y);
  }
}

int srid_command(int argc, char** argv) {
  const bool dump = argc == 3 && std::strcmp(argv[2], "--dump") == 0;
  const bool normalise = argc == 3 && std::strcmp(argv[2], "-n") == 0;
  if (argc > 3 || (argc == 3 && !dump && !normalise)) return usage();
  if (dump) {
    for (const SridRow* row = g_srid_table; row->srid > 0; ++row) std::printf("%d\t%s\n", row->srid, row->text);
    return 0;
  }
  std::string line;
  char chunk[512];
  // Whole lines of any length; a trailing CR is dropped.
  while (std::fgets(chunk, sizeof chunk, stdin)) {
    line += chunk;
    if (line.empty() || line.back() != '\n') {
      if (!std::feof(stdin)) continue;
    } else {
      line.pop_back();
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    CoordXform xf;
    if (!coordsys_from_text(&xf, line.c_str(), 0)) {
      std::puts("error");
    } else {
      if (normalise) ora_normalise_latlong(&xf);
      int32_t srid = 0;
      coordsys_to_srid(&xf, &srid);
      std::printf("%d\n", srid);
    }
    err_clear();
    line.clear();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "srid") == 0) return srid_command(argc, argv);
  if (argc < 3) return usage();
  path_init_program_dir();
  const char* cmd = argv[1];
  if (std::strcmp(cmd, "text") == 0) {
    bool with_bounds = false;
    int arg = 2;
    if (std::strcmp(argv[arg], "-b") == 0) {
      with_bounds = true;
      ++arg;
    }
    if (arg != argc - 1) return usage();
    CoordXform xf;
    if (!read_clause(&xf, argv[arg], with_bounds)) return 1;
    char out[1024];
    coordsys_to_text(&xf, out, sizeof out, with_bounds ? 1 : 0);
    std::printf("%s\n", out);
    return 0;
  }
  if (std::strcmp(cmd, "conv") == 0) {
    int arg = 2;
    int grid = -1;
    if (argc == 6 && std::strcmp(argv[2], "--grid") == 0) {
      const char* kinds[] = {"nadcon", "jgd", "ntf"};
      for (int k = 0; k < 3; ++k) {
        if (std::strcmp(argv[3], kinds[k]) == 0) grid = k;
      }
      if (grid < 0) return usage();
      arg = 4;
    }
    if (argc != arg + 2) return usage();
    CoordXform from, to;
    if (!read_clause(&from, argv[arg], true) || !read_clause(&to, argv[arg + 1], true)) return 1;
    if (grid >= 0 && !grid_install(grid)) {
      std::fputs("grid not opened\n", stderr);
      return 3;
    }
    each_point([&](double x, double y) {
      DPoint p{x, y};
      DatumDef datum;
      xform_xy_to_lonlat_datum(&p, &p, &from, 1, &datum);
      xform_lonlat_to_xy(&p, &p, &to, 1, &datum);
      std::printf("%.17g %.17g\n", p.x, p.y);
    });
    grid_uninstall_all();
    return 0;
  }
  if (std::strcmp(cmd, "name") == 0) {
    if (argc != 3) return usage();
    CoordXform xf;
    if (!read_clause(&xf, argv[2], true)) return 1;
    char name[256];
    int32_t code = -1;
    const int16_t found = coordsys_find_name(&xf, name, sizeof name, &code);
    projlist_close_file();
    if (!found) return 1;
    std::printf("%s\t%d\n", name, code);
    return 0;
  }
  if (std::strcmp(cmd, "int") == 0 || std::strcmp(cmd, "xy") == 0) {
    if (argc != 3) return usage();
    CoordXform xf;
    if (!read_clause(&xf, argv[2], true)) return 1;
    const bool to_int = cmd[0] == 'i';
    each_point([&](double x, double y) {
      if (to_int) {
        const DPoint p{x, y};
        IntPoint q;
        xform_xy_to_int(&p, &q, &xf, 1);
        std::printf("%d %d\n", q.x, q.y);
      } else {
        const IntPoint q{num_round_int_sat(x), num_round_int_sat(y)};
        DPoint p;
        xform_int_to_xy(&q, &p, &xf, 1);
        std::printf("%.17g %.17g\n", p.x, p.y);
      }
    });
    return 0;
  }
  return usage();
}
