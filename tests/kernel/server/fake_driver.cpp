// The scripted server driver (see fake_driver.h).
#include "kernel/server/fake_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "kernel/runtime/err.h"

namespace fake {
namespace {

Script g_script;

struct StmtState {
  std::vector<SrvColumn> columns;
  std::vector<std::vector<unsigned char>> buffers;
  long row = -1;
};

// Records the call; when the script makes it fail, fills the connection's
// error and answers true.
bool fails(SrvConnection* c, const char* name) {
  g_script.calls.push_back(name);
  auto it = g_script.failures.find(name);
  if (it == g_script.failures.end()) {
    if (c != nullptr) c->error_code = 0;
    return false;
  }
  if (c != nullptr) {
    c->error_code = it->second.code;
    std::snprintf(c->error_text1, sizeof c->error_text1, "%s", it->second.text1.c_str());
    std::snprintf(c->error_text2, sizeof c->error_text2, "%s", it->second.text2.c_str());
  }
  return true;
}

StmtState* state(SrvStatement* s) { return static_cast<StmtState*>(s->driver_private); }

void drop(SrvStatement* s) {
  if (StmtState* st = state(s)) {
    delete st;
    --g_script.open_statements;
  }
  s->driver_private = nullptr;
  s->columns = nullptr;
  s->column_count = 0;
}

int16_t open_result(SrvStatement* s) {
  drop(s);
  if (g_script.columns.empty()) return 1;
  auto* st = new StmtState;
  ++g_script.open_statements;
  for (const Column& c : g_script.columns) {
    st->buffers.emplace_back(static_cast<size_t>(c.buffer_length), 0);
    SrvColumn col{};
    col.type = c.type;
    col.buffer_length = c.buffer_length;
    st->columns.push_back(col);
  }
  for (size_t i = 0; i < st->columns.size(); ++i) st->columns[i].buffer = st->buffers[i].data();
  s->driver_private = st;
  s->columns = st->columns.data();
  s->column_count = static_cast<int32_t>(st->columns.size());
  return 1;
}

int16_t Init(SrvDriver* d) {
  g_script.calls.push_back("SrvInit");
  if (g_script.init_failure.code != 0) {
    d->init_error = g_script.init_failure.code;
    std::snprintf(d->init_text1, sizeof d->init_text1, "%s", g_script.init_failure.text1.c_str());
    std::snprintf(d->init_text2, sizeof d->init_text2, "%s", g_script.init_failure.text2.c_str());
    return 0;
  }
  std::snprintf(d->name, sizeof d->name, "%s", g_script.name.c_str());
  return 1;
}

int16_t Connect(SrvConnection* c, const char*) {
  if (fails(c, "SrvConnect")) return 0;
  std::snprintf(c->server_type, sizeof c->server_type, "%s", g_script.server_type.c_str());
  std::snprintf(c->version, sizeof c->version, "%s", g_script.version.c_str());
  c->driver_private = &g_script;
  c->open = 1;
  ++g_script.open_connections;
  return 1;
}

int16_t Disconnect(SrvConnection* c) {
  g_script.calls.push_back("SrvDisconnect");
  if (c->driver_private != nullptr) --g_script.open_connections;
  c->driver_private = nullptr;
  return 1;
}

int16_t Execute(SrvConnection* c, SrvStatement* s, const char*) {
  if (fails(c, "SrvExecute")) return 0;
  return open_result(s);
}

int16_t Prepare(SrvConnection* c, SrvStatement* s, const char*) {
  if (fails(c, "SrvPrepare")) return 0;
  return open_result(s);
}

int16_t Fetch(SrvConnection* c, SrvStatement* s, SrvColumn*, int32_t direction) {
  if (fails(c, "SrvFetch")) return 0;
  StmtState* st = state(s);
  const long next = direction == kSrvFetchNext ? st->row + 1 : direction == kSrvFetchFirst ? 0 : st->row + 1;
  if (next >= static_cast<long>(g_script.rows.size())) {
    c->error_code = kSrvNoData;
    return 0;
  }
  st->row = next;
  const std::vector<Cell>& row = g_script.rows[static_cast<size_t>(next)];
  for (size_t i = 0; i < st->columns.size() && i < row.size(); ++i) {
    SrvColumn& col = st->columns[i];
    std::vector<unsigned char>& buf = st->buffers[i];
    std::fill(buf.begin(), buf.end(), 0);
    const Cell& cell = row[i];
    if (cell.null) {
      col.indicator = -1;
      continue;
    }
    switch (col.type) {
      case 1:
      case 16:
      case 17:
      case 5:
      case 37:
      case 38:
      case 90:
      case 108: {
        const bool raw = col.type == 17 || col.type == 90 || col.type == 108;
        const size_t room = raw ? buf.size() : buf.size() - 1;
        const size_t n = std::min(room, cell.bytes.size());
        std::memcpy(buf.data(), cell.bytes.data(), n);
        col.indicator = static_cast<int32_t>(cell.bytes.size());
        break;
      }
      default:
        std::memcpy(buf.data(), &cell.number, sizeof cell.number);
        col.indicator = sizeof(double);
        break;
    }
  }
  return 1;
}

int16_t Close(SrvConnection* c, SrvStatement* s, int16_t free_it) {
  if (fails(c, "SrvClose")) return 0;
  if (free_it) drop(s);
  return 1;
}

const Column* column_of(SrvConnection* c, int16_t n) {
  if (n < 1 || static_cast<size_t>(n) > g_script.columns.size()) {
    c->error_code = 77;
    std::snprintf(c->error_text1, sizeof c->error_text1, "no column %d", n);
    return nullptr;
  }
  return &g_script.columns[static_cast<size_t>(n - 1)];
}

const char* ColumnName(SrvConnection* c, SrvStatement*, int16_t n) {
  if (fails(c, "SrvColumnName")) return "";
  const Column* col = column_of(c, n);
  return col != nullptr ? col->name.c_str() : "";
}
const char* ColumnAlias(SrvConnection* c, SrvStatement*, int16_t) { return fails(c, "SrvColumnAlias") ? "" : ""; }
uint8_t ColumnType(SrvConnection* c, SrvStatement*, int16_t n) {
  if (fails(c, "SrvColumnType")) return 0;
  const Column* col = column_of(c, n);
  return col != nullptr ? col->type : 0;
}
int32_t ColumnPrecision(SrvConnection* c, SrvStatement*, int16_t n) {
  const Column* col = column_of(c, n);
  return col != nullptr ? col->precision : 0;
}
int32_t ColumnScale(SrvConnection* c, SrvStatement*, int16_t n) {
  const Column* col = column_of(c, n);
  return col != nullptr ? col->scale : 0;
}
int32_t ColumnWidth(SrvConnection* c, SrvStatement*, int16_t n) {
  if (fails(c, "SrvColumnWidth")) return -1;
  const Column* col = column_of(c, n);
  return col != nullptr ? col->precision : -1;
}
int32_t NumColumns(SrvConnection* c, SrvStatement* s) {
  if (fails(c, "SrvNumColumns")) return -1;
  return s->column_count;
}
int16_t Flag(SrvConnection* c, const char* name) { return fails(c, name) ? 0 : 1; }
int16_t BeginTransaction(SrvConnection* c) { return Flag(c, "SrvBeginTransaction"); }
int16_t Commit(SrvConnection* c) { return Flag(c, "SrvCommit"); }
int16_t Rollback(SrvConnection* c) { return Flag(c, "SrvRollback"); }
int16_t GetOption(SrvConnection* c, int32_t) { return Flag(c, "SrvGetConnectOption"); }
int16_t SetOption(SrvConnection* c, int32_t) { return Flag(c, "SrvSetConnectOption"); }
int16_t BindColumn(SrvConnection* c, SrvStatement*, SrvColumn*) { return Flag(c, "SrvBindColumn"); }
int16_t BindParm(SrvConnection* c, SrvStatement*, SrvColumn*, int16_t) { return Flag(c, "SrvBindParm"); }
int16_t ExecutePrep(SrvConnection* c, SrvStatement*) { return Flag(c, "SrvExecutePrep"); }
int16_t Iterate3(SrvConnection* c, void*, void*, void*) { return Flag(c, "SrvIterate"); }
int16_t Iterate4(SrvConnection* c, void*, void*, void*, void*) { return Flag(c, "SrvIterateTables"); }
int16_t Sources(char* buffer) {
  if (fails(nullptr, "SrvSources")) {
    std::snprintf(buffer, kSrvTextSize, "no sources today");
    return 0;
  }
  std::snprintf(buffer, kSrvTextSize, "one;two");
  return 1;
}
int16_t DbError(SrvConnection* c, void*) { return Flag(c, "SrvDBError"); }
int16_t Editable(SrvConnection*, SrvStatement*, int16_t) { return 0; }
int16_t ColumnValue(SrvConnection*, SrvStatement*, int16_t, Value*) { return 0; }
int16_t TableInfo(SrvConnection*, void*) { return 1; }
void Unload() { g_script.calls.push_back("SrvUnloadDriver"); }

const SrvFunctionTable kTable = {
    BeginTransaction, BindColumn,  Close,      ColumnAlias, Editable,  ColumnName, ColumnPrecision, ColumnScale,
    ColumnType,       ColumnValue, ColumnWidth, Commit,     Connect,   GetOption,  SetOption,       Sources,
    DbError,          Disconnect,  Execute,    Prepare,     BindParm,  ExecutePrep, Fetch,          Init,
    Iterate3,         Iterate3,    Iterate4,   Iterate4,    NumColumns, Rollback,  TableInfo,       Unload};

}  // namespace

Script& Current() { return g_script; }
void Reset() { g_script = Script{}; }
const SrvFunctionTable& Table() { return kTable; }
Cell Text(const std::string& s) { return Cell{false, s, 0}; }
Cell Number(double d) { return Cell{false, "", d}; }
Cell Null() { return Cell{true, "", 0}; }

SrvConnection* FreshConnection() {
  srv_unload_all();
  Reset();
  err_clear();
  if (!srv_register_driver_for_test(nullptr, &kTable)) return nullptr;
  return srv_connect_driver("fake", "DSN=x");
}

}  // namespace fake
