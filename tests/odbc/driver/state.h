// Handle records of the test ODBC driver.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "rules.h"
#include "trace.h"

namespace qltestodbc {

enum class HKind { Env, Dbc, Stmt, Desc };

struct DiagRec {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};

struct Handle {
  explicit Handle(HKind k) : kind(k) {}
  virtual ~Handle() = default;
  HKind kind;
  std::string name;
  std::vector<DiagRec> diags;
};

// One result cell.
struct Value {
  enum Type { Null, Int, Real, Text, Blob } type = Null;
  long long i = 0;
  double d = 0;
  std::string s;  // text or blob bytes; for Real the text form SQLite gives
};

struct Result {
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;  // SQL types reported by SQLDescribeCol
  std::vector<std::vector<Value>> rows;
  // Declared size (precision) and scale per column; -1 or missing: 255, 0.
  std::vector<long> sizes;
  std::vector<long> scales;
};

inline SQLULEN ColumnSize(const Result& r, size_t i) {
  return i < r.sizes.size() && r.sizes[i] >= 0 ? static_cast<SQLULEN>(r.sizes[i]) : 255;
}
inline SQLSMALLINT ColumnScale(const Result& r, size_t i) {
  return i < r.scales.size() && r.scales[i] >= 0 ? static_cast<SQLSMALLINT>(r.scales[i]) : 0;
}

// FAIL=<event>[:<regex>][@n]
struct FailSpec {
  std::string event;
  std::string pattern;
  std::optional<std::regex> re;
  long nth = 0;  // 0: every matching event
  long seen = 0;
};

struct Dbc;

struct Env : Handle {
  Env() : Handle(HKind::Env) {}
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
  std::set<Dbc*> dbcs;
};

struct Stmt;

struct Dbc : Handle {
  Dbc() : Handle(HKind::Dbc) {}
  Env* env = nullptr;
  bool connected = false;
  std::map<std::string, std::string> attrs;  // connect attributes, keys upper case
  std::string trace;
  std::string profile;
  std::string userSchema;
  std::string dbDir;  // empty: in-memory databases
  sqlite3* db = nullptr;
  RuleSet rules;
  std::vector<FailSpec> fails;
  bool autocommit = true;
  bool inTxn = false;
  int stmtSeq = 0;
  std::map<std::string, std::string> attached;  // lower-case name -> name as attached
  std::set<Stmt*> stmts;

  std::string Attr(const std::string& key, const std::string& dflt = "") const {
    auto it = attrs.find(key);
    return it == attrs.end() ? dflt : it->second;
  }
};

struct Param {
  SQLSMALLINT io = SQL_PARAM_INPUT;
  SQLSMALLINT ctype = SQL_C_CHAR;
  SQLSMALLINT sqltype = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT decimals = 0;
  SQLPOINTER ptr = nullptr;
  SQLLEN buflen = 0;
  SQLLEN* ind = nullptr;
};

struct ColBind {
  SQLSMALLINT ctype = SQL_C_CHAR;
  SQLPOINTER ptr = nullptr;
  SQLLEN buflen = 0;
  SQLLEN* ind = nullptr;
};

// Descriptor handles exist only so that the driver manager can ask for the
// implicit ones; the driver answers no descriptor calls.
struct Desc : Handle {
  Desc() : Handle(HKind::Desc) {}
};

struct Stmt : Handle {
  Stmt() : Handle(HKind::Stmt) {}
  Dbc* dbc = nullptr;
  std::string prepared;
  bool isPrepared = false;
  std::map<int, Param> params;
  std::map<int, ColBind> cols;
  Result rs;
  bool open = false;
  long cursor = -1;  // index of the current row
  SQLLEN rowCount = -1;
  int getDataCol = 0;
  size_t getDataOffset = 0;
  bool getDataDone = false;
  std::map<SQLINTEGER, SQLULEN> attrs;
  Desc descs[4];
};

}  // namespace qltestodbc
