// Any bytes as a compressed-points file beside a marking definition file:
// opened for read/write, its first and last thousand points read (by text
// and by number) and a few written.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/fuzz_kernel.h"
#include "fuzz/fuzz_bytes.h"
#include "kernel/runtime/charset.h"
#include "kernel/runtime/err.h"
#include "kernel/tables/cpoints.h"
#include "kernel/tables/tabread.h"
#include "platform/codepage.h"

namespace {

std::string g_tab, g_cpf;


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    fuzz_charsets_start();
    tables_runtime_start();
    const std::string base = "/tmp/fuzz_cpf_" + std::to_string(getpid());
    g_tab = base + ".TAB";
    g_cpf = base + ".cpf";
    const std::string tab = "!table\n!version 300\nCompressedPoints\nbegin_metadata\n\"\\IsCompressedPoints\" = \"TRUE\"\nend_metadata\n";
    fuzz_put_file(g_tab.c_str(), tab.data(), tab.size());
    return true;
  }();
  (void)ready;
  if (!fuzz_put_file(g_cpf.c_str(), data, size)) return 0;
  CPointsFile* f = nullptr;
  if (cpoints_open(g_tab.c_str(), 2, &f)) {
    const int32_t n = f->desc.highest;
    CPointsPoint p{};
    char text[32];
    for (int32_t i = 0; i <= n && i < 1000; ++i) cpoints_read_point_by_number(f, i, text, &p);
    for (int32_t i = n > 1000 ? n - 1000 : 0; i <= n + 1; ++i) {
      std::snprintf(text, sizeof text, "%d", i);
      if (cpoints_read_point(f, text, &p) && i % 97 == 0) cpoints_write_point(f, text, &p);
    }
    cpoints_table_free(f);
  }
  err_clear();
  return 0;
}
