// Random rows of a relational SDO layer through the feature assembly over
// the scripted driver: element types, element and sequence numbers, NULL
// ordinates, ordinate pairs per row (also more than the result has), ids
// and element types as numbers or as texts, with and without a window; and
// the rest of the input as a query tail for the order rewriting.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz_bytes.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/err.h"
#include "kernel/runtime/mem.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/srv_sdorel.h"

namespace {

SrvConnection* g_conn = nullptr;

void start() {
  if (g_conn != nullptr) return;
  mapobj_runtime_start();
  srv_register_driver_for_test(nullptr, &fake::Table());
  g_conn = srv_connect_driver("fake", "DSN=x");
  std::strcpy(g_conn->quote, "\"");
}

fake::Cell cell(double v, bool as_text) {
  if (!as_text) return fake::Number(v);
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  return fake::Text(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  start();
  if (g_conn == nullptr || size < 2) return 0;
  FuzzBytes in{data, size};
  const uint8_t head = in.take<uint8_t>();
  const int pairs = head & 3;             // pairs the result has
  const int declared = (head >> 2) & 7;   // pairs the layer says it has
  const bool as_text = (head & 0x20) != 0;
  const bool filter = (head & 0x40) != 0;
  const bool window = (head & 0x80) != 0;
  const int rows = in.take<uint8_t>();

  fake::Script& s = fake::Current();
  s.calls.clear();
  s.failures.clear();
  s.columns.clear();
  s.rows.clear();
  const uint8_t t = as_text ? 1 : 8;
  for (const char* n : {"GID", "SDO_ETYPE", "SDO_ESEQ", "SDO_SEQ"}) s.columns.push_back({n, t});
  for (int i = 0; i < 2 * pairs; ++i) s.columns.push_back({"SDO_XY", 8});
  for (int r = 0; r < rows && in.n > 0; ++r) {
    const uint8_t flags = in.take<uint8_t>();
    std::vector<fake::Cell> row;
    row.push_back(flags & 1 ? fake::Null() : cell(in.take<uint8_t>() % 4, as_text));
    const int8_t etype = in.take<int8_t>();
    row.push_back(flags & 2 ? fake::Null() : cell(etype % 5, as_text));
    row.push_back(flags & 4 ? fake::Null() : cell(in.take<uint8_t>() % 3, as_text));
    row.push_back(cell(in.take<uint8_t>(), as_text));
    for (int i = 0; i < 2 * pairs; ++i) {
      const uint8_t nul = in.take<uint8_t>();
      const double v = (flags & 8) ? in.take<double>() : in.take<int16_t>() / 8.0;
      row.push_back(nul & 1 ? fake::Null() : fake::Number(v));
    }
    s.rows.push_back(row);
  }
  const std::string tail(reinterpret_cast<const char*>(in.p), in.n);

  CoordXform xf{};
  xform_default_nonearth(&xf);
  xform_set_scale(&xf, 1000, 1000, 0, 0);
  SpatialColumnDesc desc;
  std::strcpy(desc.column, "GID");
  desc.coordsys = &xf;
  SrvSearch search;
  SrvQuery query;
  query.desc = &desc;
  query.search = &search;
  query.pairs_per_row = static_cast<int16_t>(declared);
  if (window) {
    char* where = nullptr;
    sdorel_window_clause(&desc, &search, "-100", "-100", "100", "100", &where);
    mem_free(&where);
  }
  SrvStatement* stmt = srv_execute(g_conn, "select");
  MapObject obj{};
  mapobj_init(&obj, 0);
  int features = 0;
  while (stmt != nullptr && features < 1000 && sdorel_fetch_next(g_conn, &query, stmt) &&
         !srv_statement_at_end(g_conn, stmt)) {
    ++features;
    if (!sdorel_rows_to_object(g_conn, &query, stmt, &obj, 1, filter)) break;
  }
  mapobj_free(&obj);
  if (stmt != nullptr) srv_close_statement(g_conn, stmt);
  srv_search_release(&search);

  char* text = srv_text_block(tail);
  if (text != nullptr) {
    sdorel_add_order(g_conn, &query, &text, "\"T\"");
    mem_free(&text);
  }
  err_clear();
  return 0;
}
