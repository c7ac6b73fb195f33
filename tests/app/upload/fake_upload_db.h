// A connection and upload database that run nothing: they record every call
// as a line of a trace and answer from a small script (existing tables, their
// columns, failing statements, next keys, catalogue rows). The uploader's
// decisions are checked against the trace.
#pragma once

#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "app/UploadDb.h"
#include "app/UploadStatements.h"

namespace upload {

class FakeConnection : public CDbConnection {
 public:
  explicit FakeConnection(const SqlFamily& f) : family(f) {
    SpatialTypeCode = f.sqlServer ? "14" : f.db2 ? "12" : f.informix ? "11" : f.sqlServerOther ? "7" : "4";
  }
  void CheckCatalog() override {}
  void Reserved1() override {}
  int GetKind() override { return 1; }
  std::string& GetConnectStringRef() override { return connect; }
  bool ReadCatalogEntry(const std::string& table, CUploadOptions*) override {
    trace->push_back("readcatalog " + table);
    auto it = catalog.find(table);
    if (it == catalog.end()) return false;
    for (int i = 0; i < 4; ++i) bounds[i] = it->second[i];
    return true;
  }
  bool HasSpatialExtension() override { return family.extension; }
  std::string GetSafeConnectString() override { return connect; }
  void SetConnectString(const std::string& t) override { connect = t; }
  bool IsOracle() override { return family.oracle; }
  bool WantsSrid() override { return false; }
  bool IsSqlServer() override { return family.sqlServer; }
  bool IsInformix() override { return family.informix; }
  bool IsAccess() override { return family.access; }
  std::string& GetLastErrorRef() override { return lastError; }
  void ClearLastError() override { lastError.clear(); }
  bool CreateCatalog() override { return true; }
  int CountCatalogRows() override { return static_cast<int>(catalog.size()); }
  bool CatalogExists() override { return catalogExists; }
  bool DeleteCatalogEntry(const std::string& owner, const std::string& table) override {
    trace->push_back("deletecatalog " + owner + "." + table);
    return catalog.erase(table) > 0;
  }
  bool ListOwnersInto(std::string*, int*) override { return false; }
  bool ListOwners(std::vector<std::string>&) override { return false; }
  bool ListTablesInto(const std::string&, std::string*, int*) override { return false; }
  bool ListTables(const std::string&, std::vector<std::string>&) override { return false; }
  int Reserved2() override { return 0; }
  bool Reserved3(void*, void*) override { return false; }
  bool ListSchemas(std::vector<std::string>&) override { return false; }

  SqlFamily family;
  std::string connect;
  std::string lastError;
  bool catalogExists = true;
  std::map<std::string, std::vector<double>> catalog;  // table -> bounds
  double bounds[4] = {0, 0, 0, 0};
  std::set<std::string> tables;  // tables of the database
  std::vector<std::string>* trace = nullptr;
};

class FakeUploadDb : public CUploadDb {
 public:
  explicit FakeUploadDb(FakeConnection& c) : conn(c), tables(c.tables) { conn.trace = &trace; }

  CDbConnection& Base() override { return conn; }
  SqlFamily Family() override { return conn.family; }
  bool IsSqlServerFamily() override { return conn.family.sqlServer; }
  int ExtensionVersion() override { return extensionVersion; }
  bool SupportsSetProjection() override { return projection; }
  bool ResetStatement() override { return Call("resetstatement"); }
  bool Exec(const std::string& sql) override {
    if (sql.rfind("select 1 from ", 0) == 0) {
      trace.push_back(sql);
      const std::string name = sql.substr(sql.find_last_of(". ") + 1);
      if (tables.count(name)) return true;
      conn.lastError = "no such table";
      return false;
    }
    if (!Call(sql)) return false;
    if (sql.rfind("create table ", 0) == 0) {
      std::string name = sql.substr(13, sql.find('(') - 13);
      name = name.substr(name.find('.') == std::string::npos ? 0 : name.find('.') + 1);
      std::erase_if(name, [](char c) { return c == '"' || c == '`'; });
      tables.insert(name);
    }
    return true;
  }
  bool ExecAndFetch(const std::string& sql, bool fetchCounts) override {
    return Call(sql + (fetchCounts ? " [fetch counts]" : " [fetch ignored]"));
  }
  bool Prepare(const std::string& sql) override { return Call("prepare " + sql); }
  bool ExecuteRow(std::vector<BoundValue>& values) override {
    std::ostringstream line;
    line << "row";
    for (const BoundValue& v : values) {
      line << ' ';
      if (v.null) {
        line << "NULL";
        continue;
      }
      switch (v.cType) {
        case SQL_C_CHAR: line << '\'' << v.text << '\''; break;
        case SQL_C_SLONG: line << v.integer; break;
        case SQL_C_DOUBLE: line << v.real; break;
        case SQL_C_SSHORT: line << v.small; break;
        case SQL_C_BINARY: line << "bytes:" << v.byteCount; break;
        default: line << "ts"; break;
      }
    }
    ++rowsExecuted;
    if (onRow) onRow(rowsExecuted);
    return Call(line.str());
  }
  bool SetAutoCommit(bool on) override { return Call(on ? "autocommit on" : "autocommit off"); }
  bool Commit() override { return Call("commit"); }
  void GetBounds(double b[4]) override {
    for (int i = 0; i < 4; ++i) b[i] = conn.bounds[i];
  }
  void SetBounds(const double b[4]) override {
    for (int i = 0; i < 4; ++i) conn.bounds[i] = b[i];
  }
  bool ListColumns(const std::string& owner, const std::string& table, std::vector<TargetColumn>& out) override {
    trace.push_back("columns " + owner + "." + table);
    out = columns[table];
    return true;
  }
  bool DropTable(const std::string& o, const std::string& t) override { return Call("drop " + o + "." + t); }
  bool DespatializeColumn(const std::string& o, const std::string& t) override {
    Call("despatialize " + o + "." + t);
    return true;
  }
  bool SpatializeColumn(const std::string& o, const std::string& t) override {
    return Call("spatialize " + o + "." + t);
  }
  bool CreateIndex(const std::string& o, const std::string& t, const std::string& c, const std::string& s) override {
    return Call("index " + o + "." + t + "(" + c + ") " + s);
  }
  bool CreateXYIndexes(const std::string& o, const std::string& t, const std::string& x,
                       const std::string& y) override {
    return Call("xyindex " + o + "." + t + "(" + x + "," + y + ")");
  }
  bool CreateKeyIndex(const std::string& o, const std::string& t, const std::string& c) override {
    return Call("keyindex " + o + "." + t + "(" + c + ")");
  }
  bool CreateSpatialIndex(const std::string& o, const std::string& t, const std::string& c) override {
    return Call("spatialindex " + o + "." + t + "(" + c + ")");
  }
  void LockTable(const std::string& o, const std::string& t) override { Call("lock " + o + "." + t); }
  int NextKey(const std::string& t, CUploadOptions*) override {
    const int k = nextKey ? nextKey() : 0;
    trace.push_back("nextkey " + t + " = " + std::to_string(k));
    return k;
  }
  void ResolveTableOwner(std::string&) override {}

  // Records the call; fails it when it matches one of `failing`.
  bool Call(const std::string& line) {
    trace.push_back(line);
    for (const std::string& pattern : failing) {
      if (std::regex_search(line, std::regex(pattern))) {
        conn.lastError = "refused: " + line;
        return false;
      }
    }
    conn.lastError.clear();
    return true;
  }
  // Trace lines that contain `needle`.
  std::vector<std::string> Lines(const std::string& needle) const {
    std::vector<std::string> out;
    for (const std::string& l : trace)
      if (l.find(needle) != std::string::npos) out.push_back(l);
    return out;
  }

  FakeConnection& conn;
  std::vector<std::string> trace;
  std::set<std::string>& tables;
  std::map<std::string, std::vector<TargetColumn>> columns;
  std::vector<std::string> failing;
  std::function<int()> nextKey;
  std::function<void(int)> onRow;
  int rowsExecuted = 0;
  int extensionVersion = 455;
  bool projection = true;
};

}  // namespace upload
