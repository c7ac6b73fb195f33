// The uploader against the test ODBC driver: a COdbcConnection connected to
// one server profile over a scratch SQLite directory with the catalogue table
// made beforehand, fixture tables, one uploader per job as the upload run
// makes them, and the driver's trace of what the uploader did, cut to the
// calls after connecting and rendered as stable JSON lines.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"
#include "app/UploadUi.h"
#include "app/upload/upload_fixture.h"
#include "kernel/tables/api/UploadOptions.h"
#include "odbc/support/testodbc.h"
#include "platform/clock.h"

namespace upload {

// A server profile of the test driver and the storage kind uploaded to it.
struct ServerProfile {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attrs;
  int storageKind = 1;
};

inline std::string UploadRules(const std::string& file) { return std::string(QL_UPLOAD_RULES_DIR) + "/" + file; }

inline std::vector<ServerProfile> TraceProfiles() {
  return {
      {"mssql",
       {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "09.00.1399"}, {"DEFSCHEMA", "dbo"},
        {"RULES", UploadRules("mssql_extension.txt")}},
       1},
      {"informix", {{"DBMS", "Informix"}, {"DRIVERVER", "03.00.0000"}, {"RULES", UploadRules("informix_extension.txt")}}, 1},
      {"db2", {{"DBMS", "DB2/LINUX"}, {"RULES", UploadRules("db2_extension.txt")}}, 1},
      {"sqs", {{"DBMS", "SQL Server"}}, 1},
      {"oracle", {{"DBMS", "Oracle"}}, 3},
      {"access", {{"DBMS", "ACCESS"}}, 2},
      {"mssql_code", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "09.00.1399"}, {"DEFSCHEMA", "dbo"}}, 2},
      {"mssql_xy", {{"DBMS", "Microsoft SQL Server"}, {"DBMSVER", "09.00.1399"}, {"DEFSCHEMA", "dbo"}}, 3},
  };
}

// Two point rows: a date, an empty date, a style equal to the first row's.
inline FixtureTable TracePoints(const std::string& prefix = "") {
  FixtureTable t;
  t.columns = {FixtureColumn("NAME", 1, 10, 0, true), FixtureColumn("POP", 3, 10, 0), FixtureColumn("BORN", 5, 8, 0)};
  t.coordsys = "Earth Projection 1, 104";
  t.x1 = -180, t.y1 = -90, t.x2 = 180, t.y2 = 90;
  const char* texts[] = {"Alpha\t12\t20070305", "Beta\t7\t"};
  for (int i = 1; i <= 2; ++i) {
    FixtureRow r;
    r.text = prefix + texts[i - 1];
    r.code = 201;
    r.record = {0x10, static_cast<unsigned char>(i)};
    r.blob = Blob("PT" + std::to_string(i));
    r.has_centre = true;
    r.cx = 150.5 + i, r.cy = -33.25 - i;
    r.has_bounds = true;
    r.bx1 = r.bx2 = r.cx;
    r.by1 = r.by2 = r.cy;
    r.key = "K" + std::to_string(i);
    r.style = "Symbol (35,0,12)";
    t.rows.push_back(r);
  }
  return t;
}

class TraceHarness {
 public:
  explicit TraceHarness(const ServerProfile& p) : profile(p) {
    LoadTestResources();
    SetBoxHook([this](int caption, const std::string& text, BoxIcon, bool) {
      boxes.push_back(std::to_string(caption) + ": " + text);
      return true;
    });
    platform::SetClock([] {
      platform::LocalTime t;
      t.year = 2026, t.month = 12, t.day = 10, t.hour = 15, t.minute = 4, t.second = 5;
      t.epoch = 1797000000;
      return t;
    });
    tracePath = dir.File("trace.jsonl");
  }
  ~TraceHarness() {
    SetBoxHook({});
    platform::SetClock({});
  }

  std::string ConnectString(bool traced) const {
    auto attrs = profile.attrs;
    attrs.emplace_back("DATABASE", "testdb");
    attrs.emplace_back("UID", "u");
    attrs.emplace_back("PWD", "p");
    attrs.emplace_back("DB", dir.Path());
    if (traced) attrs.emplace_back("TRACE", tracePath);
    return testodbc::ConnectString(attrs);
  }

  // Runs statements on a connection of its own, untraced.
  bool Setup(const std::vector<std::string>& statements) {
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string cs = ConnectString(false);
    bool ok = SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                             SQL_DRIVER_NOPROMPT));
    for (const std::string& sql : statements) {
      if (!ok) break;
      SQLHSTMT h;
      SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
      ok = SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS));
      EXPECT_TRUE(ok) << sql;
      SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return ok;
  }

  // The catalogue table with its unique index, as the catalogue maintenance
  // makes it.
  bool MakeCatalog(bool renditionColumns = true) {
    const bool access = profile.name == "access";
    const std::string ref = access ? "CORVANE_MAPCATALOG" : "CORVANE.CORVANE_MAPCATALOG";
    std::string create = "CREATE TABLE " + ref +
                         "(SPATIALTYPE FLOAT,TABLENAME VARCHAR(32),OWNERNAME VARCHAR(32),SPATIALCOLUMN VARCHAR(32),"
                         "DB_X_LL FLOAT,DB_Y_LL FLOAT,DB_X_UR FLOAT,DB_Y_UR FLOAT,COORDINATESYSTEM VARCHAR(254),"
                         "SYMBOL VARCHAR(254),XCOLUMNNAME VARCHAR(32),YCOLUMNNAME VARCHAR(32)";
    if (renditionColumns) create += ", RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), RENDITIONTABLE VARCHAR(32)";
    create += ", NUMBER_ROWS INTEGER)";
    return Setup({create, "CREATE UNIQUE INDEX " + std::string(access ? "" : "CORVANE.") + "MAPCATALOG_IDX on " +
                              (access ? ref : "CORVANE_MAPCATALOG") + "(TABLENAME,OWNERNAME)"});
  }

  bool Connect(bool quiet = true) {
    conn = std::make_unique<COdbcConnection>();
    conn->SetQuiet(quiet);
    conn->SetLogStream(&log);
    conn->SetConnectString(ConnectString(true));
    if (!conn->Connect("")) return false;
    conn->CheckCatalog();
    ClearTrace();
    return true;
  }

  void ClearTrace() {
    std::ofstream(tracePath, std::ios::trunc).close();
    log.str("");
  }

  // Default options with the profile's storage kind, column indexes and
  // grants; the mode is `mode` ("create", "replace" or "append").
  void ResetOptions(const std::string& mode) {
    options.Reset();
    options.StorageKind = profile.storageKind;
    options.IndexColumns = true;
    options.GrantPublic = true;
    options.Create = mode == "create";
    options.Replace = mode == "replace";
    options.Append = mode == "append";
    // The owner as the upload run resolves it.
    options.Owner =
        conn->IsSqlServer() && conn->GetDbmsVersion() >= 9.0 ? conn->GetDefaultSchema() : conn->GetUserName();
  }

  // The options of a run as the upload run sets them for job `i` of `count`.
  void PrepareOptions(int i, int count) {
    options.JobCount = count;
    if (!options.Merge || i == 0) options.CreateTarget = true;
    options.FinishTable = !options.Merge || i == count - 1;
  }

  // Uploads the tables into `target` one job after the other.
  std::vector<bool> Upload(const std::vector<FixtureTable>& tables, const std::string& target) {
    std::vector<bool> results;
    const int count = static_cast<int>(tables.size());
    for (int i = 0; i < count; ++i) {
      FixtureFile file(tables[static_cast<size_t>(i)], "src" + std::to_string(i));
      std::unique_ptr<CTableReader> reader = OpenReader(file.Path());
      PrepareOptions(i, count);
      options.ObjectKind = reader->GetObjectKind();
      options.IsMappable = reader->IsMappable();
      std::unique_ptr<CUploader> uploader(CreateUploader(conn.get(), reader.get()));
      uploader->JobIndex = i;
      int rows = 0;
      results.push_back(uploader->Run(target, &options, &rows));
      reader->Close();
    }
    return results;
  }

  // The trace since the last ClearTrace, one JSON line per call, handles
  // renamed in order of appearance, without the driver's own notes (rule
  // positions, rewritten SQLite text).
  std::vector<std::string> TraceLines() const {
    std::ifstream in(tracePath);
    std::vector<std::string> out;
    std::map<std::string, std::string> names;
    std::map<std::string, int> stmts;
    static const std::regex handle("\"(h|new)\":\"(c[0-9]+)(\\.s[0-9]+)?\"");
    static const std::regex notes(",\"(rule|sqlite)\":\"(?:[^\"\\\\]|\\\\.)*\"");
    std::string line;
    while (std::getline(in, line)) {
      line = std::regex_replace(line, notes, "");
      std::string result;
      auto begin = std::sregex_iterator(line.begin(), line.end(), handle);
      size_t last = 0;
      for (auto it = begin; it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        const std::string dbc = m[2].str();
        if (!names.count(dbc)) names[dbc] = "c" + std::to_string(names.size() + 1);
        std::string name = names[dbc];
        if (m[3].matched) {
          const std::string full = dbc + m[3].str();
          if (!names.count(full)) names[full] = name + ".s" + std::to_string(++stmts[name]);
          name = names[full];
        }
        result += line.substr(last, static_cast<size_t>(m.position(0)) - last);
        result += "\"" + m[1].str() + "\":\"" + name + "\"";
        last = static_cast<size_t>(m.position(0) + m.length(0));
      }
      result += line.substr(last);
      out.push_back(result);
    }
    return out;
  }

  // The statements of the trace since the last ClearTrace.
  std::vector<std::string> TracedStatements() const {
    return testodbc::Statements(testodbc::ReadTrace(tracePath));
  }

  // Rows of a query on a connection of its own, cells joined by "|".
  std::vector<std::string> Query(const std::string& sql) {
    std::vector<std::string> rows;
    SQLHENV env;
    SQLHDBC dbc;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    const std::string cs = ConnectString(false);
    if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                       SQL_DRIVER_NOPROMPT))) {
      SQLHSTMT h;
      SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
      if (SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS))) {
        SQLSMALLINT cols = 0;
        SQLNumResultCols(h, &cols);
        while (SQL_SUCCEEDED(SQLFetch(h))) {
          std::string row;
          for (SQLSMALLINT c = 1; c <= cols; ++c) {
            char buf[512];
            SQLLEN ind = 0;
            SQLGetData(h, static_cast<SQLUSMALLINT>(c), SQL_C_CHAR, buf, sizeof buf, &ind);
            row += (c > 1 ? "|" : "") + (ind == SQL_NULL_DATA ? std::string("NULL") : std::string(buf));
          }
          rows.push_back(row);
        }
      } else {
        ADD_FAILURE() << "query failed: " << sql;
      }
      SQLFreeHandle(SQL_HANDLE_STMT, h);
      SQLDisconnect(dbc);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return rows;
  }

  ServerProfile profile;
  testodbc::TempDir dir;
  std::string tracePath;
  std::ostringstream log;
  std::vector<std::string> boxes;
  std::unique_ptr<COdbcConnection> conn;
  CUploadOptions options;
};

}  // namespace upload
