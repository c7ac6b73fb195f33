// 100,000 rows of six columns (integer, text, float, date, smallint,
// decimal) downloaded into a native table through the server layer
// (srv_fetch with a download table name over the ODBC test module), against
// the statement runner executing the same Create, Insert and Commit texts,
// built beforehand, in the same run; prints the ratio (target at most 1.3).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../runtime/bench_util.h"
#include "kernel/runtime/err.h"
#include "kernel/server/srv.h"
#include "kernel/server/srv_download.h"
#include "kernel/tables/lang/lexer.h"
#include "kernel/tables/tabread.h"
#include "odbc/support/testodbc.h"

namespace {

constexpr int kRows = 100000;
const char* kQuery = "select ID, NAME, AMOUNT, DAY, SMALL, PRICE from B";

std::vector<std::string> g_texts;
int16_t record(const char* text, int16_t) {
  g_texts.emplace_back(text);
  return 1;
}
int16_t discard(const char*, int16_t) { return 1; }

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Downloads the query into table D, file path; 1 when every row went in.
// *seconds: the download alone (the test driver reads the whole result
// when the statement is executed).
int16_t download(SrvConnection* conn, const std::string& path, double* seconds) {
  SrvStatement* s = srv_execute(conn, kQuery);
  if (s == nullptr || !srv_set_download(s, "D", path.c_str())) return 0;
  const auto start = std::chrono::steady_clock::now();
  const int16_t ok = srv_fetch(conn, s, kSrvFetchNext);
  *seconds = seconds_since(start);
  srv_close_statement(conn, s);
  return ok;
}

}  // namespace

int main() {
  testodbc::TempDir dir;
  const std::string connect = testodbc::ConnectString({{"DBMS", "SQLite"}, {"UID", "u"}, {"DB", dir.Path()}});
  tables_runtime_start();
  if (!srv_init()) return 1;
  SrvConnection* conn = srv_connect_driver("ODBC", connect.c_str());
  if (conn == nullptr) return 1;
  const std::string fill =
      "insert into B with recursive c(x) as (select 1 union all select x + 1 from c where x < " +
      std::to_string(kRows) + ") select x, 'name ' || x, x * 0.5, '2004-01-27', x % 7, x * 0.25 from c";
  for (const std::string& sql : {std::string("create table B(ID INTEGER, NAME VARCHAR(20), AMOUNT FLOAT, DAY DATE, "
                                             "SMALL SMALLINT, PRICE DECIMAL(10,2))"),
                                 fill}) {
    SrvStatement* s = srv_execute(conn, sql.c_str());
    if (s == nullptr) return 1;
    srv_close_statement(conn, s);
  }
  srv_commit(conn);
  // The texts the download sends, recorded once.
  srv_set_statement_runner(record);
  const std::string recorded_path = dir.File("recorded.tab");
  double t = 0;
  if (!download(conn, recorded_path, &t) || g_texts.size() != static_cast<size_t>(kRows) + 4) {
    std::fprintf(stderr, "recording: %zu texts\n", g_texts.size());
    return 1;
  }
  srv_set_statement_runner(nullptr);
  // The fetching and the texts alone (a runner that does nothing).
  srv_set_statement_runner(discard);
  double texts = 1e30;
  for (int round = 0; round < 3; ++round) {
    if (!download(conn, recorded_path, &t)) return 1;
    texts = std::min(texts, t);
  }
  srv_set_statement_runner(nullptr);
  double ours = 1e30, base = 1e30;
  for (int round = 0; round < 3; ++round) {
    const std::string a = dir.File("layer" + std::to_string(round) + ".tab");
    if (!download(conn, a, &t)) {
      std::fprintf(stderr, "download failed: %d\n", err_first_code());
      return 1;
    }
    ours = std::min(ours, t);
    const std::string b = dir.File("runner" + std::to_string(round) + ".tab");
    std::string create = g_texts[0];
    create.replace(create.find(recorded_path), recorded_path.size(), b);
    const auto start = std::chrono::steady_clock::now();
    bool ok = stmt_exec_text(create.c_str(), 0) != 0;
    for (size_t i = 1; ok && i < g_texts.size(); ++i) ok = stmt_exec_text(g_texts[i].c_str(), 0) != 0;
    base = std::min(base, seconds_since(start));
    if (!ok) {
      std::fprintf(stderr, "runner failed: %d\n", err_first_code());
      return 1;
    }
  }
  report("download (fetch, texts, runner) per row", ours / kRows * 1e9, base / kRows * 1e9,
         "runner on texts built beforehand");
  std::printf("target ratio <= 1.3; of the download, fetching and writing the texts alone: %.1f ns/row\n",
              texts / kRows * 1e9);
  srv_unload_all();
  return 0;
}
