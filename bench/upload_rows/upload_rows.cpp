// Rows per second of the uploader: a generated table of five columns and a
// point per row uploaded into the test ODBC driver (SQL Server with the
// spatial extension, trace off), beside a baseline that makes the same ODBC
// calls on values prepared in memory: one prepared INSERT; per row the
// binds, SQLExecute and three SQLFreeStmt; a commit and a "select MAX" every
// 1000 rows. Prints both figures, their ratio, and the peak memory after
// 10 000 and after 100 000 rows.
#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/OdbcConnection.h"
#include "app/ResourceLibrary.h"
#include "app/upload/generated_reader.h"
#include "odbc/support/testodbc.h"
#include "platform/module.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* kCatalog =
    "CREATE TABLE CORVANE.CORVANE_MAPCATALOG(SPATIALTYPE FLOAT,TABLENAME VARCHAR(32),OWNERNAME "
    "VARCHAR(32),SPATIALCOLUMN VARCHAR(32),DB_X_LL FLOAT,DB_Y_LL FLOAT,DB_X_UR FLOAT,DB_Y_UR "
    "FLOAT,COORDINATESYSTEM VARCHAR(254),SYMBOL VARCHAR(254),XCOLUMNNAME VARCHAR(32),YCOLUMNNAME VARCHAR(32), "
    "RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), RENDITIONTABLE VARCHAR(32), NUMBER_ROWS INTEGER)";

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "upload_rows: %s failed\n", what);
    std::exit(1);
  }
}

struct Raw {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  explicit Raw(const std::string& connect) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    SQLCHAR out[2048];
    SQLSMALLINT outLen = 0;
    Check(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, out, sizeof out, &outLen,
                                         SQL_DRIVER_NOPROMPT)),
          "connect");
  }
  ~Raw() {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  bool Exec(const std::string& sql) {
    SQLHSTMT h;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h);
    const bool ok = SQL_SUCCEEDED(SQLExecDirect(h, (SQLCHAR*)sql.c_str(), SQL_NTS));
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    return ok;
  }
};

// The application: the ODBC connection and the uploader over a generated
// table of `rows` rows. Returns the seconds the upload took.
double UploadWithTheApplication(const std::string& connect, const std::string& table, int rows) {
  COdbcConnection conn;
  conn.SetQuiet(true);
  conn.SetConnectString(connect);
  Check(conn.Connect(""), "application connect");
  upload::GeneratedReader reader(rows);
  CUploadOptions options;
  options.Owner = "dbo";
  options.ObjectKind = 0;
  CUploader* uploader = CreateUploader(&conn, &reader);
  int done = 0;
  const auto start = Clock::now();
  Check(uploader->Run(table, &options, &done) && done == rows, "application upload");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  delete uploader;
  return seconds;
}

struct Param {
  SQLSMALLINT c, t;
  std::string text;
  std::vector<unsigned char> bytes;
  SQLLEN ind = 0;
};

// The baseline: the same calls on values made before the clock starts.
double UploadWithTheBaseline(const std::string& connect, int rows) {
  Raw raw(connect);
  Check(raw.Exec("create table dbo.BASE( NAME varchar(20),POP int,AREA decimal(9,2),RATE float,CLASS "
                 "smallint,CV_STYLE VARCHAR(254),QD_MEMBER INTEGER PRIMARY KEY IDENTITY,QD_GEOMETRY ST_SPATIAL)"),
        "baseline create");
  std::vector<std::vector<Param>> values(static_cast<size_t>(rows));
  const SQLSMALLINT sqlTypes[] = {SQL_CHAR, SQL_INTEGER, SQL_DECIMAL, SQL_DOUBLE, SQL_SMALLINT};
  for (int r = 1; r <= rows; ++r) {
    std::vector<Param>& row = values[static_cast<size_t>(r - 1)];
    const std::string text = upload::GeneratedReader::RowText(r);
    size_t pos = 0;
    for (int i = 0; i < 5; ++i) {
      const size_t tab = text.find('\t', pos);
      row.push_back({SQL_C_CHAR, sqlTypes[i], text.substr(pos, tab - pos), {}});
      pos = tab == std::string::npos ? text.size() : tab + 1;
    }
    row.push_back({SQL_C_CHAR, SQL_CHAR, "", {}});  // style: the default, NULL
    row.back().ind = SQL_NULL_DATA;
    Param blob{SQL_C_BINARY, SQL_LONGVARBINARY, "", std::vector<unsigned char>(24, 7)};
    row.push_back(blob);
  }
  SQLSetConnectAttr(raw.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &stmt);
  const std::string insert =
      "insert into dbo.BASE( NAME,POP,AREA,RATE,CLASS,CV_STYLE,QD_GEOMETRY) values ( ?,?,?,?,?,?,?)";
  Check(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)insert.c_str(), SQL_NTS)), "baseline prepare");

  const auto start = Clock::now();
  for (int r = 1; r <= rows; ++r) {
    std::vector<Param>& row = values[static_cast<size_t>(r - 1)];
    for (size_t i = 0; i < row.size(); ++i) {
      Param& p = row[i];
      void* data = p.c == SQL_C_CHAR ? static_cast<void*>(p.text.data()) : static_cast<void*>(p.bytes.data());
      const SQLLEN length = p.c == SQL_C_CHAR ? static_cast<SQLLEN>(p.text.size() + 1) : 24;
      if (p.ind != SQL_NULL_DATA) p.ind = p.c == SQL_C_CHAR ? SQL_NTS : 24;
      Check(SQL_SUCCEEDED(SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, p.c, p.t,
                                           static_cast<SQLULEN>(length), 0, data, length, &p.ind)),
            "baseline bind");
    }
    Check(SQL_SUCCEEDED(SQLExecute(stmt)), "baseline execute");
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
    if (r % 1000 == 0 || r == rows) {
      SQLEndTran(SQL_HANDLE_DBC, raw.dbc, SQL_COMMIT);
      SQLHSTMT max;
      SQLAllocHandle(SQL_HANDLE_STMT, raw.dbc, &max);
      SQLUINTEGER key = 0;
      SQLLEN ind = 0;
      SQLBindCol(max, 1, SQL_C_ULONG, &key, 0, &ind);
      SQLExecDirect(max, (SQLCHAR*)"select MAX(QD_MEMBER) from dbo.BASE", SQL_NTS);
      SQLFetch(max);
      SQLFreeHandle(SQL_HANDLE_STMT, max);
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLSetConnectAttr(raw.dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  AppResources().Load(platform::ExecutableDirectory() + "../../app/qlres.so");
  testodbc::TempDir dir;
  const std::string connect = testodbc::ConnectString({{"DBMS", "Microsoft SQL Server"},
                                                       {"DBMSVER", "09.00.1399"},
                                                       {"DATABASE", "testdb"},
                                                       {"DEFSCHEMA", "dbo"},
                                                       {"UID", "u"},
                                                       {"PWD", "p"},
                                                       {"DB", dir.Path()},
                                                       {"RULES", QL_UPLOAD_RULES}});
  {
    Raw setup(connect);
    Check(setup.Exec(kCatalog), "catalogue");
  }

  UploadWithTheApplication(connect, "SMALL", 10000);
  const long peakSmall = PeakKb();
  const double app = UploadWithTheApplication(connect, "LARGE", rows);
  const long peakLarge = PeakKb();
  const double base = UploadWithTheBaseline(connect, rows);

  const double appRate = rows / app, baseRate = rows / base;
  std::printf("upload_rows: %d rows\n", rows);
  std::printf("  application: %.0f rows/s (%.2f s)\n", appRate, app);
  std::printf("  baseline:    %.0f rows/s (%.2f s)\n", baseRate, base);
  std::printf("  ratio:       %.2f (target >= 0.8)\n", appRate / baseRate);
  std::printf("  peak RSS:    %ld kB after 10000 rows, %ld kB after %d rows\n", peakSmall, peakLarge, rows);
  return 0;
}
