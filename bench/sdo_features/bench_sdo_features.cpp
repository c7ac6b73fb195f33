// 10,000 features of 50 points each (lines and regions alternately, one
// ordinate pair per row) read from the scripted driver through the feature
// assembly (sdorel_fetch_next and sdorel_rows_to_object: the rows' numbers,
// the transform to integer coordinates, the sections and the normalised
// object), against a plain srv_fetch loop over the same 500,000 rows, in the
// same run; prints the ratio (target at most 1.5). Each reader is timed in
// chunks of 1,000 features and its best chunk counts.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "../runtime/bench_util.h"
#include "kernel/coordsys/xform.h"
#include "kernel/mapobjects/mapobj.h"
#include "kernel/runtime/err.h"
#include "kernel/server/fake_driver.h"
#include "kernel/server/srv_sdorel.h"

namespace {

constexpr int kFeatures = 10000;
constexpr int kPoints = 50;

constexpr int kChunkFeatures = 1000;  // timed in chunks: the machine is shared

// Seconds since *mark, and *mark moved to now.
double lap(std::chrono::steady_clock::time_point* mark) {
  const auto now = std::chrono::steady_clock::now();
  const double s = std::chrono::duration<double>(now - *mark).count();
  *mark = now;
  return s;
}

// The best chunk of kChunkFeatures x kPoints rows read by a plain fetch loop.
long plain_rows(SrvConnection* conn, double* best) {
  SrvStatement* s = srv_execute(conn, "select");
  if (s == nullptr) return -1;
  long rows = 0;
  auto mark = std::chrono::steady_clock::now();
  while (srv_fetch(conn, s, kSrvFetchNext) && !srv_statement_at_end(conn, s)) {
    if (++rows % (kChunkFeatures * kPoints) == 0) *best = std::min(*best, lap(&mark));
  }
  srv_close_statement(conn, s);
  return rows;
}

// The best chunk of kChunkFeatures features assembled from their rows.
long features(SrvConnection* conn, SrvQuery* query, double* best, long* sections) {
  SrvStatement* s = srv_execute(conn, "select");
  if (s == nullptr) return -1;
  MapObject obj{};
  mapobj_init(&obj, 0);
  long n = 0;
  *sections = 0;
  auto mark = std::chrono::steady_clock::now();
  while (sdorel_fetch_next(conn, query, s) && !srv_statement_at_end(conn, s)) {
    if (!sdorel_rows_to_object(conn, query, s, &obj, 1, 0)) break;
    *sections += obj.u.poly.sections;
    if (++n % kChunkFeatures == 0) *best = std::min(*best, lap(&mark));
  }
  mapobj_free(&obj);
  srv_close_statement(conn, s);
  return n;
}

}  // namespace

int main() {
  if (!mapobj_runtime_start()) return 1;
  fake::Script& script = fake::Current();
  for (const char* n : {"GID", "SDO_ETYPE", "SDO_ESEQ", "SDO_SEQ", "SDO_X1", "SDO_Y1"}) {
    script.columns.push_back({n, 8});
  }
  for (int f = 0; f < kFeatures; ++f) {
    const double etype = f % 2 ? 3 : 2;
    for (int p = 0; p < kPoints; ++p) {
      const double a = 2 * M_PI * p / kPoints;
      script.rows.push_back({fake::Number(f + 1), fake::Number(etype), fake::Number(1), fake::Number(p + 1),
                             fake::Number(f + 10 * std::cos(a)), fake::Number(10 * std::sin(a))});
    }
  }
  if (!srv_register_driver_for_test(nullptr, &fake::Table())) return 1;
  SrvConnection* conn = srv_connect_driver("fake", "DSN=x");
  if (conn == nullptr) return 1;
  CoordXform xf{};
  xform_default_nonearth(&xf);
  xform_set_scale(&xf, 1000, 1000, 0, 0);
  SpatialColumnDesc desc;
  std::strcpy(desc.column, "GID");
  desc.coordsys = &xf;
  SrvQuery query;
  query.desc = &desc;
  query.pairs_per_row = 1;

  // The scripted driver records every call: room for a round's records up
  // front, so that neither reader pays for the list growing.
  script.calls.reserve(2 * static_cast<size_t>(kFeatures) * kPoints + 1000);
  long rows = 0, made = 0, sections = 0;
  double ours = 1e30, base = 1e30;
  for (int round = 0; round < 9; ++round) {
    rows = plain_rows(conn, &base);
    script.calls.clear();
    made = features(conn, &query, &ours, &sections);
    script.calls.clear();
  }
  if (rows != kFeatures * kPoints || made != kFeatures || sections != kFeatures) {
    std::fprintf(stderr, "rows %ld, features %ld, sections %ld\n", rows, made, sections);
    return 1;
  }
  const double chunk_rows = static_cast<double>(kChunkFeatures) * kPoints;
  report("feature assembly per row", ours / chunk_rows * 1e9, base / chunk_rows * 1e9, "srv_fetch per row");
  std::printf("target ratio <= 1.5\n");
  srv_unload_all();
  mapobj_runtime_end();
  return 0;
}
