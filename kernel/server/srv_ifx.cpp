// Informix with the spatial extension.
#include "kernel/server/srv_ifx.h"

#include <cstring>
#include <string>

#include "kernel/runtime/err.h"
#include "kernel/runtime/kstr.h"
#include "kernel/runtime/mb.h"
#include "kernel/runtime/str.h"
#include "kernel/server/srv_probe.h"

namespace {

constexpr int32_t kHasKindColumns = 14;

int16_t has_kind(SrvConnection* conn, const char* table, int16_t kind) {
  int16_t kinds[kHasKindColumns] = {};
  const int32_t n = ifx_column_kinds(table, conn, kHasKindColumns, kinds);
  for (int32_t i = 0; i < n && i < kHasKindColumns; ++i) {
    if (kinds[i] == kind) return 1;
  }
  return 0;
}

bool prefix_equal(const char* name, int32_t id, size_t n) {
  const char* type = kernel_string(id);
  return type[0] != '\0' && std::strncmp(name, type, n) == 0;
}

}  // namespace

int16_t ifx_detect(SrvConnection* conn) {
  if (conn == nullptr || std::strncmp(conn->server_type, "Informix", 8) != 0) return 0;
  bool taken = false;
  if (SrvStatement* stmt = srv_execute(conn, "SELECT 1 FROM sysinherits")) {
    srv_close_statement(conn, stmt);
    taken = true;
  }
  if (taken) {
    std::string id;
    bool executed = false;
    srv_probe_row(conn, "execute function kt_spatial_id()", &id, &executed);
    taken = executed;
    // "Helvoristan.4.5.1": the release after the name, compared as numbers.
    const size_t dot = id.find('.');
    if (dot != std::string::npos && srv_version_compare(id.c_str() + dot + 1, "4.5.1") >= 0) {
      conn->version_number = 451;
    }
  }
  err_clear();
  if (!taken) return 0;
  double version = 0;
  if (str_to_double(conn->version, &version) == nullptr || version < 2.8) {
    err_push(1, kErrIfxOldServer, nullptr, nullptr);
    return 0;
  }
  str_copy_n(conn->server_type, "IUS", sizeof conn->server_type);
  return 1;
}

int16_t ifx_is_ius_server(const SrvConnection* conn) {
  return conn != nullptr && mb_str_equal_nocase(conn->server_type, "IUS");
}

int16_t ifx_is_informix(const SrvConnection* conn) {
  return conn != nullptr &&
         (std::strncmp(conn->server_type, "Informix", 8) == 0 || std::strcmp(conn->server_type, "IUS") == 0);
}

int16_t ifx_type_kind(const char* type_name) {
  if (type_name == nullptr) return 0;
  if (prefix_equal(type_name, 3958, 15)) return 10;
  if (prefix_equal(type_name, 3956, 13)) return 9;
  if (prefix_equal(type_name, 3959, 10)) return 11;
  return 0;
}

int32_t ifx_column_kinds(const char* table, SrvConnection* conn, int32_t capacity, int16_t* kinds) {
  for (int32_t i = 0; i < capacity; ++i) kinds[i] = 0;
  if (table == nullptr || table[0] == '\0' || conn == nullptr) return 0;
  SrvTableRef parts{};
  int32_t count = 0;
  if (srv_parse_table_ref(conn, &parts, table)) {
    const std::string sql =
        "select sysxtdtypes.name from syscolumns, systables, sysxtdtypes where syscolumns.tabid = systables.tabid "
        "and syscolumns.extended_id <> 0 and syscolumns.extended_id = sysxtdtypes.extended_id and "
        "systables.owner = " +
        srv_sql_string(parts.owner) + " and systables.tabname = " + srv_sql_string(parts.table);
    if (SrvStatement* stmt = srv_execute(conn, sql.c_str())) {
      while (srv_fetch(conn, stmt, kSrvFetchNext) && !srv_statement_at_end(conn, stmt)) {
        if (count < capacity) kinds[count] = ifx_type_kind(srv_column_text(conn, stmt, 1).c_str());
        ++count;
      }
      srv_close_statement(conn, stmt);
    }
  }
  err_clear();
  return count;
}

int16_t ifx_has_kind11(SrvConnection* conn, const char* table) { return has_kind(conn, table, 11); }
int16_t ifx_has_kind9(SrvConnection* conn, const char* table) { return has_kind(conn, table, 9); }
int16_t ifx_has_kind10(SrvConnection* conn, const char* table) { return has_kind(conn, table, 10); }

int32_t ifx_window_clause(const SpatialColumnDesc* desc, const char* alias, int16_t bind_flag, const char* x_min,
                          const char* y_min, const char* x_max, const char* y_max, char* text, int32_t room,
                          int16_t param_flag, int16_t relation) {
  if (desc == nullptr || text == nullptr) return 0;
  const std::string target = std::string(alias != nullptr ? alias : "") + "." + desc->column;
  std::string clause;
  if (bind_flag && param_flag) {
    switch (relation) {
      case 1: clause = "ST_OVERLAPS(" + target + ", ?::ST_SPATIAL)"; break;
      case 2: clause = "ST_CONTAINED_BY(" + target + ", ?::ST_SPATIAL)"; break;
      case 3: clause = "ST_OUTSIDE(" + target + ", ?::ST_SPATIAL)"; break;
      default: break;
    }
  } else {
    auto t = [](const char* s) { return std::string(s != nullptr ? s : ""); };
    clause = "ST_OVERLAPS(" + target + ", KT_BOX(ST_POINT(" + t(x_min) + "," + t(y_min) + "),ST_POINT(" + t(x_max) +
             "," + t(y_max) + ")))";
  }
  const size_t used = std::strlen(text);
  const size_t need = used + clause.size() + 1;
  if (room < 0 || need > static_cast<size_t>(room)) return static_cast<int32_t>(need);
  std::memcpy(text + used, clause.c_str(), clause.size() + 1);
  return 0;
}

int16_t ifx_create_spatial_index(const char* owner, const char* table, const char* column, SrvConnection* conn) {
  if (conn == nullptr || owner == nullptr || table == nullptr || column == nullptr) return 0;
  const std::string sql = std::string("create index ") + owner + ".KT" + table + "IND on " + owner + "." + table + "(" +
                          column + " Kt_Ops) using rtree";
  SrvStatement* stmt = srv_execute(conn, sql.c_str());
  if (stmt == nullptr) return 0;
  srv_close_statement(conn, stmt);
  return 1;
}
