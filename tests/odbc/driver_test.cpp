// Tests of the test ODBC driver itself, through the unixODBC driver manager:
// rule files, statement rewrites, CREATE forms back through SQLColumns,
// parameters, transactions, injected failures and the trace.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include "odbc/support/testodbc.h"
#include "rules.h"
#include "sqltext.h"

namespace {

using testodbc::ConnectString;
using testodbc::TempDir;

// One environment, connection and statement through the driver manager.
class Session {
 public:
  Session() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Session() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLRETURN Connect(const std::string& cs, std::string* completed = nullptr) {
    std::vector<SQLCHAR> out(cs.size() + 64);
    SQLSMALLINT outLen = 0;
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, out.data(),
                                    static_cast<SQLSMALLINT>(out.size()), &outLen, SQL_DRIVER_NOPROMPT);
    if (SQL_SUCCEEDED(rc)) {
      connected_ = true;
      SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
      if (completed) *completed = reinterpret_cast<char*>(out.data());
    }
    return rc;
  }
  SQLRETURN Exec(const std::string& sql) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
    return SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
  // All rows of the open result as text ("NULL" for null).
  std::vector<std::vector<std::string>> Rows() {
    std::vector<std::vector<std::string>> rows;
    SQLSMALLINT ncol = 0;
    SQLNumResultCols(stmt_, &ncol);
    while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c = 1; c <= ncol; ++c) {
        char buf[512];
        SQLLEN ind = 0;
        SQLGetData(stmt_, c, SQL_C_CHAR, buf, sizeof buf, &ind);
        row.push_back(ind == SQL_NULL_DATA ? "NULL" : buf);
      }
      rows.push_back(row);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return rows;
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    EXPECT_TRUE(SQL_SUCCEEDED(Exec(sql))) << sql << ": " << Error();
    return Rows();
  }
  std::string Error(SQLSMALLINT type = SQL_HANDLE_STMT) {
    SQLCHAR state[6] = {0}, msg[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLHANDLE h = type == SQL_HANDLE_STMT ? stmt_ : dbc_;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, msg, sizeof msg, &len))) return "";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(msg);
  }
  // SQLColumns of a table: "NAME TYPE_NAME COLUMN_SIZE DECIMAL_DIGITS" per
  // column, NULL for absent sizes.
  std::vector<std::string> Columns(const std::string& schema, const std::string& table) {
    SQLFreeStmt(stmt_, SQL_CLOSE);
    SQLRETURN rc = SQLColumns(stmt_, nullptr, 0, (SQLCHAR*)schema.c_str(), SQL_NTS, (SQLCHAR*)table.c_str(), SQL_NTS,
                              nullptr, 0);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Error();
    std::vector<std::string> out;
    for (const auto& row : Rows()) out.push_back(row[3] + " " + row[5] + " " + row[6] + " " + row[8]);
    return out;
  }
  SQLHDBC Dbc() const { return dbc_; }
  SQLHSTMT Stmt() const { return stmt_; }

 private:
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
  bool connected_ = false;
};

TEST(TestDriver, ConnectsExecutesAndTraces) {
  TempDir dir;
  std::string trace = dir.File("t.jsonl");
  Session s;
  std::string completed;
  std::string cs = ConnectString({{"DBMS", "DB2"}, {"UID", "u"}, {"PWD", "secret"}, {"TRACE", trace}});
  ASSERT_EQ(SQL_SUCCESS, s.Connect(cs, &completed)) << s.Error(SQL_HANDLE_DBC);
  EXPECT_EQ(cs, completed);
  EXPECT_TRUE(SQL_SUCCEEDED(s.Exec("create table T(A integer, B varchar(10))")));
  EXPECT_TRUE(SQL_SUCCEEDED(s.Exec("insert into T values (1, 'x')")));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "x"}}), s.Query("select A, B from u.T"));
  std::string error;
  auto lines = testodbc::ReadTrace(trace, &error);
  ASSERT_EQ("", error);
  EXPECT_EQ((std::vector<std::string>{"create table T(A integer, B varchar(10))", "insert into T values (1, 'x')",
                                      "select A, B from u.T"}),
            testodbc::Statements(lines));
}

TEST(TestDriver, CreateFormsOfEveryFamilyComeBackThroughSqlColumns) {
  struct Row {
    const char* label;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::string create;
    std::string schema, table;
    std::vector<std::string> columns;
  };
  const std::string catalog =
      "(SPATIALTYPE FLOAT,TABLENAME VARCHAR(32),OWNERNAME VARCHAR(32),SPATIALCOLUMN VARCHAR(32),DB_X_LL FLOAT,"
      "DB_Y_LL FLOAT,DB_X_UR FLOAT,DB_Y_UR FLOAT,COORDINATESYSTEM VARCHAR(254),SYMBOL VARCHAR(254),"
      "XCOLUMNNAME VARCHAR(32),YCOLUMNNAME VARCHAR(32), RENDITIONTYPE INTEGER, RENDITIONCOLUMN VARCHAR(32), "
      "RENDITIONTABLE VARCHAR(32), NUMBER_ROWS INTEGER)";
  const std::vector<std::string> catalogColumns = {
      "SPATIALTYPE FLOAT NULL NULL",       "TABLENAME VARCHAR 32 NULL",      "OWNERNAME VARCHAR 32 NULL",
      "SPATIALCOLUMN VARCHAR 32 NULL",     "DB_X_LL FLOAT NULL NULL",        "DB_Y_LL FLOAT NULL NULL",
      "DB_X_UR FLOAT NULL NULL",           "DB_Y_UR FLOAT NULL NULL",        "COORDINATESYSTEM VARCHAR 254 NULL",
      "SYMBOL VARCHAR 254 NULL",           "XCOLUMNNAME VARCHAR 32 NULL",    "YCOLUMNNAME VARCHAR 32 NULL",
      "RENDITIONTYPE INTEGER NULL NULL",   "RENDITIONCOLUMN VARCHAR 32 NULL", "RENDITIONTABLE VARCHAR 32 NULL",
      "NUMBER_ROWS INTEGER NULL NULL"};
  const std::vector<Row> rows = {
      {"sql server, spatial column",
       {{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}},
       "create table u.T( NAME varchar(20),POP decimal(12,3),CV_STYLE VARCHAR(254),"
       "QD_MEMBER INTEGER PRIMARY KEY IDENTITY,QD_GEOMETRY ST_SPATIAL)",
       "u", "T",
       {"NAME varchar 20 NULL", "POP decimal 12 3", "CV_STYLE VARCHAR 254 NULL", "QD_MEMBER INTEGER NULL NULL",
        "QD_GEOMETRY ST_SPATIAL NULL NULL"}},
      {"informix, X/Y with key constraint",
       {{"DBMS", "Informix"}, {"UID", "u"}},
       "create table T( NAME varchar(20),cv_sql_rec_num serial not null primary key constraint T_PK,"
       "cv_sql_x float,cv_sql_y float,cv_sql_cvcode varchar(18))",
       "u", "T",
       {"NAME varchar 20 NULL", "cv_sql_rec_num serial NULL NULL", "cv_sql_x float NULL NULL",
        "cv_sql_y float NULL NULL", "cv_sql_cvcode varchar 18 NULL"}},
      {"informix, spatial column",
       {{"DBMS", "Informix"}, {"UID", "u"}},
       "create table T( NAME varchar(20),qd_member serial ,qd_geometry st_spatial)",
       "u", "T",
       {"NAME varchar 20 NULL", "qd_member serial NULL NULL", "qd_geometry st_spatial NULL NULL"}},
      {"oracle, X/Y with key constraint",
       {{"DBMS", "Oracle"}, {"UID", "U"}},
       "create table \"U\".\"T\"( NAME VARCHAR2(20),N NUMBER(10),CV_SQL_REC_NUM NUMBER(10) CONSTRAINT T_PK "
       "PRIMARY KEY NOT DEFERRABLE,CV_SQL_X FLOAT,CV_SQL_Y FLOAT)",
       "U", "T",
       {"NAME VARCHAR2 20 NULL", "N NUMBER 10 NULL", "CV_SQL_REC_NUM NUMBER 10 NULL", "CV_SQL_X FLOAT NULL NULL",
        "CV_SQL_Y FLOAT NULL NULL"}},
      {"access, X/Y",
       {{"DBMS", "ACCESS"}, {"UID", "admin"}},
       "create table `T`( NAME VARCHAR(20),CV_SQL_REC_NUM INTEGER  PRIMARY KEY,CV_SQL_X DOUBLE,CV_SQL_Y DOUBLE)",
       "admin", "T",
       {"NAME VARCHAR 20 NULL", "CV_SQL_REC_NUM INTEGER NULL NULL", "CV_SQL_X DOUBLE NULL NULL",
        "CV_SQL_Y DOUBLE NULL NULL"}},
      {"db2, spatial column",
       {{"DBMS", "DB2/LINUX"}, {"UID", "U"}},
       "create table \"U\".\"T\"( NAME VARCHAR(20),QD_MEMBER INTEGER PRIMARY KEY,QD_GEOMETRY ST_SPATIAL_TYPE)",
       "U", "T",
       {"NAME VARCHAR 20 NULL", "QD_MEMBER INTEGER NULL NULL", "QD_GEOMETRY ST_SPATIAL_TYPE NULL NULL"}},
      {"other sql server, point column",
       {{"DBMS", "SQL Server"}, {"UID", "u"}},
       "create table u.T( NAME varchar(20),SQS_MEMBER integer primary key,"
       "SQS_GEOMETRY POINT key to primary key index T_SQS_IDX)",
       "u", "T",
       {"NAME varchar 20 NULL", "SQS_MEMBER integer NULL NULL", "SQS_GEOMETRY POINT NULL NULL"}},
      {"catalogue table", {{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}},
       "CREATE TABLE CORVANE.CORVANE_MAPCATALOG" + catalog, "CORVANE", "CORVANE_MAPCATALOG", catalogColumns},
      {"catalogue table, access", {{"DBMS", "ACCESS"}, {"UID", "admin"}}, "CREATE TABLE CORVANE_MAPCATALOG" + catalog,
       "admin", "CORVANE_MAPCATALOG", catalogColumns},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString(r.attrs))) << s.Error(SQL_HANDLE_DBC);
    ASSERT_TRUE(SQL_SUCCEEDED(s.Exec(r.create))) << s.Error();
    EXPECT_EQ(r.columns, s.Columns(r.schema, r.table));
  }
}

TEST(TestDriver, KeyColumnsAreNumberedAsTheServersDo) {
  struct Row {
    const char* label;
    std::string dbms, create, insert, select;
    std::vector<std::vector<std::string>> rows;
  } rows[] = {
      {"identity", "Microsoft SQL Server", "create table T(NAME varchar(10),K INTEGER PRIMARY KEY IDENTITY)",
       "insert into T(NAME) values ('$')", "select K, NAME from T order by K",
       {{"1", "a"}, {"2", "b"}, {"3", "c"}}},
      {"serial takes the next number for 0", "Informix",
       "create table T(NAME varchar(10),k serial not null primary key constraint T_PK)",
       "insert into T(NAME, k) values ('$', 0)", "select k, NAME from T order by k",
       {{"1", "a"}, {"2", "b"}, {"3", "c"}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", r.dbms}, {"UID", "u"}}))) << s.Error(SQL_HANDLE_DBC);
    ASSERT_TRUE(SQL_SUCCEEDED(s.Exec(r.create))) << s.Error();
    for (const char* name : {"a", "b", "c"}) {
      std::string sql = r.insert;
      sql.replace(sql.find('$'), 1, name);
      ASSERT_TRUE(SQL_SUCCEEDED(s.Exec(sql))) << sql << ": " << s.Error();
    }
    EXPECT_EQ(r.rows, s.Query(r.select));
  }
}

TEST(TestDriver, RuleFilesAnswerFirstAndBadOnesFailTheConnect) {
  TempDir dir;
  // A RULES file is read before the profile's rules and overrides them.
  std::string rules = dir.Write("mine.txt",
                                "# the extension installed\n"
                                "is select count(*) from sysobjects where id = object_id(N'[dbo].[sp_spatial_query]') "
                                "and OBJECTPROPERTY(id, N'IsProcedure') = 1\n"
                                "rows\ncols count\nrow 1\n"
                                "on drop table (\\w+)\nerror 42S02 Cannot drop the table '$1'. ($0)\n"
                                "on select (\\w+) from words\nrows\ncols w\nrow \"two \"\"quoted\"\" words\"\nrow NULL\n");
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", "Microsoft SQL Server"}, {"RULES", rules}})))
      << s.Error(SQL_HANDLE_DBC);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1"}}),
            s.Query("select count(*) from sysobjects where id = object_id(N'[dbo].[sp_spatial_query]') and "
                    "OBJECTPROPERTY(id, N'IsProcedure') = 1"));
  EXPECT_EQ(SQL_ERROR, s.Exec("DROP TABLE roads"));
  EXPECT_EQ("42S02 Cannot drop the table 'roads'. (DROP TABLE roads)", s.Error());
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"two \"quoted\" words"}, {"NULL"}}),
            s.Query("select w from words"));
  // The profile's own rules still answer what the file leaves out.
  EXPECT_EQ(SQL_ERROR, s.Exec("exec sp_spatial_query 'kt_restricted_server()'"));
  EXPECT_EQ("42000 Could not find stored procedure.", s.Error());

  struct Bad {
    std::string text, message;
  } bad[] = {
      {"on x\nbogus\n", "line 2: unknown directive 'bogus'"},
      {"ok\n", "line 1: 'ok' without a preceding 'on'"},
      {"on x\nerror 4200 short\n", "line 2: 'error' needs a five-character SQLSTATE"},
      {"on (x\nok\n", "line 1: bad pattern: "},
      {"on x\nrows\ncols a b\nrow 1\n", "line 4: row has 1 values for 2 columns"},
      {"on x\nrows\nrow \"open\n", "line 3: unterminated quoted value"},
      {"row 1\n", "line 1: 'row' outside a rows rule"},
      {"type x\n", "line 1: 'type' needs an SQL type number"},
      {"on x\n", "line 0: pattern 'x' (bad.txt:1) has no action"},
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.text);
    std::string path = dir.Write("bad.txt", b.text);
    Session t;
    EXPECT_EQ(SQL_ERROR, t.Connect(ConnectString({{"DBMS", "Oracle"}, {"RULES", path}})));
    std::string error = t.Error(SQL_HANDLE_DBC);
    EXPECT_EQ(0u, error.find("HY000 " + path + " " + b.message)) << error;
  }
}

TEST(TestDriver, StatementsSqliteRejectsFailWithItsMessage) {
  struct Row {
    std::string sql, error;
  } rows[] = {
      {"select * from nowhere", "HY000 no such table: nowhere"},
      {"selec 1", "HY000 near \"selec\": syntax error"},
      {"insert into T values (1, 2, 3)", "HY000 table T has 2 columns but 3 values were supplied"},
  };
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", "Oracle"}, {"UID", "u"}})));
  ASSERT_TRUE(SQL_SUCCEEDED(s.Exec("create table T(A integer, B varchar(10))")));
  for (const Row& r : rows) {
    SCOPED_TRACE(r.sql);
    EXPECT_EQ(SQL_ERROR, s.Exec(r.sql));
    EXPECT_EQ(0u, s.Error().find(r.error)) << s.Error();
  }
  // Changes that touch no row answer SQL_NO_DATA.
  EXPECT_EQ(SQL_NO_DATA, s.Exec("update T set A = 2 where A = 1"));
  EXPECT_EQ(SQL_NO_DATA, s.Exec("delete from T"));
  EXPECT_EQ(SQL_SUCCESS, s.Exec("insert into T values (1, 'x')"));
  EXPECT_EQ(SQL_SUCCESS, s.Exec("update T set A = 2 where A = 1"));
}

TEST(TestDriver, TransactionsEndByCommitRollbackOrAutocommit) {
  TempDir dir;
  auto cs = ConnectString({{"DBMS", "DB2/LINUX"}, {"UID", "u"}, {"DB", dir.Path()}});
  Session writer, reader;
  ASSERT_EQ(SQL_SUCCESS, writer.Connect(cs)) << writer.Error(SQL_HANDLE_DBC);
  ASSERT_EQ(SQL_SUCCESS, reader.Connect(cs)) << reader.Error(SQL_HANDLE_DBC);
  ASSERT_TRUE(SQL_SUCCEEDED(writer.Exec("create table T(A integer)")));
  auto count = [&] { return reader.Query("select count(*) from T"); };
  using Rows = std::vector<std::vector<std::string>>;

  SQLSetConnectAttr(writer.Dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(writer.Exec("insert into T values (1)")));
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, writer.Dbc(), SQL_ROLLBACK));
  EXPECT_EQ((Rows{{"0"}}), count());
  ASSERT_TRUE(SQL_SUCCEEDED(writer.Exec("insert into T values (2)")));
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, writer.Dbc(), SQL_COMMIT));
  EXPECT_EQ((Rows{{"1"}}), count());
  ASSERT_TRUE(SQL_SUCCEEDED(writer.Exec("insert into T values (3)")));
  // Switching autocommit on commits the open transaction.
  SQLSetConnectAttr(writer.Dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  EXPECT_EQ((Rows{{"2"}}), count());
}

TEST(TestDriver, InjectedFailuresFireOnTheirEvent) {
  struct Row {
    std::string fail;
    std::function<SQLRETURN(Session&)> call;
    SQLRETURN rc;
    std::string error;
  };
  auto exec = [](const char* sql) { return [sql](Session& s) { return s.Exec(sql); }; };
  const std::vector<Row> rows = {
      {"execdirect:select 2", exec("select 2"), SQL_ERROR, "HY000 injected failure: execdirect"},
      {"execdirect:select 2", exec("select 1"), SQL_SUCCESS, ""},
      {"execdirect@2", [](Session& s) { s.Exec("select 1"); return s.Exec("select 1"); }, SQL_ERROR,
       "HY000 injected failure: execdirect"},
      {"execdirect@2", exec("select 1"), SQL_SUCCESS, ""},
      {"getinfo:SQL_DBMS_NAME",
       [](Session& s) {
         char buf[64];
         SQLSMALLINT len = 0;
         return SQLGetInfo(s.Dbc(), SQL_DBMS_NAME, buf, sizeof buf, &len);
       },
       SQL_ERROR, ""},
      {"commit", [](Session& s) { return SQLEndTran(SQL_HANDLE_DBC, s.Dbc(), SQL_COMMIT); }, SQL_ERROR, ""},
      {"bind:2",
       [](Session& s) {
         SQLLEN ind = SQL_NULL_DATA;
         SQLRETURN rc = SQLBindParameter(s.Stmt(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, nullptr, 0, &ind);
         if (rc != SQL_SUCCESS) return rc;
         return SQLBindParameter(s.Stmt(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, nullptr, 0, &ind);
       },
       SQL_ERROR, "HY000 injected failure: bind"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.fail);
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", "Oracle"}, {"FAIL", r.fail}})));
    EXPECT_EQ(r.rc, r.call(s));
    if (!r.error.empty()) {
      EXPECT_EQ(r.error, s.Error());
    }
  }
}

TEST(TestDriver, ParametersOfAnyTypeAndNullAreBoundAndTraced) {
  TempDir dir;
  std::string trace = dir.File("t.jsonl");
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}, {"TRACE", trace}})));
  ASSERT_TRUE(SQL_SUCCEEDED(s.Exec("create table T(A varchar(10), G image, N integer)")));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(s.Stmt(), (SQLCHAR*)"insert into T(A, G, N) values (?, ?, ?)", SQL_NTS));
  char text[] = "abc";
  unsigned char blob[] = {0x01, 0xFF, 0x00};
  SQLLEN textLen = SQL_NTS, blobLen = sizeof blob, nullInd = SQL_NULL_DATA;
  SQLBindParameter(s.Stmt(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, -101, 10, 0, text, sizeof text, &textLen);
  SQLBindParameter(s.Stmt(), 2, SQL_PARAM_INPUT, SQL_C_BINARY, -98, 3, 0, blob, sizeof blob, &blobLen);
  SQLBindParameter(s.Stmt(), 3, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, nullptr, 0, &nullInd);
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(s.Stmt())) << s.Error();
  SQLFreeStmt(s.Stmt(), SQL_RESET_PARAMS);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"abc", "01FF00", "NULL"}}), s.Query("select A, G, N from T"));
  std::string error;
  auto lines = testodbc::ReadTrace(trace, &error);
  ASSERT_EQ("", error);
  std::string params;
  for (const auto& l : lines)
    if (l.Get("fn") == "SQLExecute") params = l.Get("params");
  EXPECT_NE(std::string::npos, params.find("\"t\":-101")) << params;
  EXPECT_NE(std::string::npos, params.find("\"t\":-98")) << params;
  EXPECT_NE(std::string::npos, params.find("{\"hex\":\"01FF00\"}")) << params;
  EXPECT_NE(std::string::npos, params.find("\"v\":null")) << params;
}

TEST(TestDriver, InformationIsAnsweredFromTheConnectAttributes) {
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"DBMS", "Informix"},
                                                  {"DBMSVER", "11.50"},
                                                  {"DRIVERVER", "02.70"},
                                                  {"UID", "bob"},
                                                  {"DBUSER", "informix"}})));
  struct Row {
    SQLUSMALLINT type;
    std::string text;
  } rows[] = {{SQL_DBMS_NAME, "Informix"},     {SQL_DBMS_VER, "11.50"},     {SQL_DRIVER_VER, "02.70"},
              {SQL_DATABASE_NAME, "testdb"},   {SQL_USER_NAME, "informix"}, {SQL_DRIVER_ODBC_VER, "03.00"},
              {SQL_IDENTIFIER_QUOTE_CHAR, "\""}};
  for (const Row& r : rows) {
    char buf[64] = {0};
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), r.type, buf, sizeof buf, &len)) << r.type;
    EXPECT_EQ(r.text, buf) << r.type;
  }
  SQLUSMALLINT behaviour = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_CURSOR_COMMIT_BEHAVIOR, &behaviour, sizeof behaviour, nullptr));
  EXPECT_EQ(SQL_CB_PRESERVE, behaviour);
  char buf[64];
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(s.Dbc(), SQL_MAX_COLUMNS_IN_TABLE, buf, sizeof buf, nullptr));
  EXPECT_EQ(0u, s.Error(SQL_HANDLE_DBC).find("HY096 ")) << s.Error(SQL_HANDLE_DBC);
}

TEST(TestDriver, CatalogueRulesAreAnsweredFromTheConnectAttributes) {
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({{"IDCASE", "sensitive"}, {"CATUSE", "1"}, {"CATLOC", "end"},
                                                  {"CATSEP", "@"}, {"SCHEMAUSE", "0"}})));
  SQLUSMALLINT u16 = 0;
  SQLUINTEGER u32 = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_IDENTIFIER_CASE, &u16, sizeof u16, nullptr));
  EXPECT_EQ(SQL_IC_SENSITIVE, u16);
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_QUOTED_IDENTIFIER_CASE, &u16, sizeof u16, nullptr));
  EXPECT_EQ(SQL_IC_SENSITIVE, u16);
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_CATALOG_LOCATION, &u16, sizeof u16, nullptr));
  EXPECT_EQ(SQL_CL_END, u16);
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_CATALOG_USAGE, &u32, sizeof u32, nullptr));
  EXPECT_NE(0u, u32 & SQL_CU_DML_STATEMENTS);
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_SCHEMA_USAGE, &u32, sizeof u32, nullptr));
  EXPECT_EQ(0u, u32);
  char sep[8] = {0};
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(s.Dbc(), SQL_CATALOG_NAME_SEPARATOR, sep, sizeof sep, nullptr));
  EXPECT_STREQ("@", sep);
}

TEST(TestDriver, DeclaredSizesEscapesAndScrolling) {
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(ConnectString({})));
  ASSERT_EQ(SQL_SUCCESS, s.Exec("create table T(A DECIMAL(20,2), D DATE, T TIME, S TIMESTAMP)"));
  ASSERT_EQ(SQL_SUCCESS, s.Exec("insert into T values (1.5, {d '2004-01-27'}, {t '13:05:00'}, "
                                "{ts '2004-01-27 13:05:00.250'})"));
  ASSERT_EQ(SQL_SUCCESS, s.Exec("insert into T values (2.5, NULL, NULL, NULL)"));
  ASSERT_EQ(SQL_SUCCESS, s.Exec("select A, D, T, S from T order by A"));
  SQLCHAR name[32];
  SQLSMALLINT nameLen = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(s.Stmt(), 1, name, sizeof name, &nameLen, &type, &size, &scale, &nullable));
  EXPECT_EQ(20u, size);
  EXPECT_EQ(2, scale);
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1.5", "2004-01-27", "13:05:00", "2004-01-27 13:05:00.250"},
                                                   {"2.5", "NULL", "NULL", "NULL"}}),
            s.Rows());
  // Forward-only (the default): only next.
  ASSERT_EQ(SQL_SUCCESS, s.Exec("select A from T order by A"));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(s.Stmt(), SQL_FETCH_FIRST, 0));
  EXPECT_EQ(0u, s.Error(SQL_HANDLE_STMT).find("HY106 ")) << s.Error(SQL_HANDLE_STMT);
  EXPECT_EQ(SQL_SUCCESS, SQLFetchScroll(s.Stmt(), SQL_FETCH_NEXT, 0));
  // Static: every direction.
  SQLFreeStmt(s.Stmt(), SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s.Stmt(), SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s.Stmt(), (SQLCHAR*)"select A from T order by A", SQL_NTS));
  struct Move {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLRETURN rc;
    double value;
  } moves[] = {{SQL_FETCH_LAST, 0, SQL_SUCCESS, 2.5},     {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 1.5},
               {SQL_FETCH_PRIOR, 0, SQL_NO_DATA, 0},      {SQL_FETCH_ABSOLUTE, 2, SQL_SUCCESS, 2.5},
               {SQL_FETCH_ABSOLUTE, -2, SQL_SUCCESS, 1.5}, {SQL_FETCH_RELATIVE, 1, SQL_SUCCESS, 2.5},
               {SQL_FETCH_NEXT, 0, SQL_NO_DATA, 0},       {SQL_FETCH_FIRST, 0, SQL_SUCCESS, 1.5}};
  for (const Move& m : moves) {
    EXPECT_EQ(m.rc, SQLFetchScroll(s.Stmt(), m.orientation, m.offset)) << m.orientation << " " << m.offset;
    if (m.rc != SQL_SUCCESS) continue;
    double v = 0;
    SQLLEN ind = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(s.Stmt(), 1, SQL_C_DOUBLE, &v, sizeof v, &ind));
    EXPECT_EQ(m.value, v) << m.orientation << " " << m.offset;
  }
}

TEST(TestDriver, EachOwnerHasItsOwnFileAndTheCatalogueFindsIt) {
  TempDir dir;
  auto cs = ConnectString({{"DBMS", "Microsoft SQL Server"}, {"UID", "u"}, {"DB", dir.Path()}});
  using Rows = std::vector<std::vector<std::string>>;
  {
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.Connect(cs)) << s.Error(SQL_HANDLE_DBC);
    ASSERT_TRUE(SQL_SUCCEEDED(s.Exec("create table ROADS(A integer)")));
    ASSERT_TRUE(SQL_SUCCEEDED(s.Exec("CREATE TABLE CORVANE.CORVANE_MAPCATALOG(TABLENAME VARCHAR(32))")));
    ASSERT_TRUE(SQL_SUCCEEDED(
        s.Exec("CREATE UNIQUE INDEX MAPCATALOG_IDX on CORVANE.CORVANE_MAPCATALOG(TABLENAME)")));
    ASSERT_TRUE(SQL_SUCCEEDED(s.Exec("insert into CORVANE.CORVANE_MAPCATALOG values ('ROADS')")));
  }
  EXPECT_FALSE(testodbc::ReadFile(dir.File("u.sqlite")).empty());
  EXPECT_FALSE(testodbc::ReadFile(dir.File("CORVANE.sqlite")).empty());
  // A later connection finds the other owner's table by name alone, and
  // lists both owners as schemas.
  Session s;
  ASSERT_EQ(SQL_SUCCESS, s.Connect(cs)) << s.Error(SQL_HANDLE_DBC);
  EXPECT_EQ((Rows{{"ROADS"}}), s.Query("select TABLENAME from CORVANE.CORVANE_MAPCATALOG"));
  auto tables = [&](const char* schema, const char* table) {
    SQLFreeStmt(s.Stmt(), SQL_CLOSE);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLTables(s.Stmt(), (SQLCHAR*)"", 0, (SQLCHAR*)schema, schema ? SQL_NTS : 0,
                                        (SQLCHAR*)table, table ? SQL_NTS : 0, nullptr, 0)))
        << s.Error();
    Rows out;
    for (const auto& row : s.Rows()) out.push_back({row[1], row[2]});
    return out;
  };
  EXPECT_EQ((Rows{{"CORVANE", "CORVANE_MAPCATALOG"}}), tables(nullptr, "CORVANE_MAPCATALOG"));
  EXPECT_EQ((Rows{{"u", "ROADS"}}), tables(nullptr, "ROADS"));
  EXPECT_EQ((Rows{{"CORVANE", "NULL"}, {"u", "NULL"}}), tables("%", ""));
}

TEST(TestDriver, LoadsThroughAnOdbcinstFile) {
  // The driver manager reads $ODBCSYSINI/odbcinst.ini once per process, so
  // the connect runs in a fresh copy of this test program.
  if (const char* ini = std::getenv("QL_TESTODBC_INI_CHILD")) {
    setenv("ODBCSYSINI", ini, 1);
    Session s;
    ASSERT_EQ(SQL_SUCCESS, s.Connect("DRIVER={QL Test Driver};DBMS=Oracle;UID=u")) << s.Error(SQL_HANDLE_DBC);
    char name[64] = {0};
    SQLGetInfo(s.Dbc(), SQL_DBMS_NAME, name, sizeof name, nullptr);
    EXPECT_STREQ("Oracle", name);
    return;
  }
  TempDir dir;
  dir.Write("odbcinst.ini", "[QL Test Driver]\nDriver = " + testodbc::DriverPath() + "\n");
  pid_t child = fork();
  ASSERT_NE(-1, child);
  if (child == 0) {
    setenv("QL_TESTODBC_INI_CHILD", dir.Path().c_str(), 1);
    int out = open("/dev/null", O_WRONLY);
    dup2(out, 1);
    execl("/proc/self/exe", "testodbc_test", "--gtest_filter=TestDriver.LoadsThroughAnOdbcinstFile",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = -1;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
}

TEST(TestDriver, UnknownHandlesAreRefusedWithoutTouchingThem) {
  // Called directly: the driver manager would refuse these handles itself.
  void* lib = dlopen(testodbc::DriverPath().c_str(), RTLD_NOW);
  ASSERT_NE(nullptr, lib) << dlerror();
  using ExecFn = SQLRETURN (*)(SQLHSTMT, SQLCHAR*, SQLINTEGER);
  using InfoFn = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
  using FreeFn = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE);
  using FetchFn = SQLRETURN (*)(SQLHSTMT);
  auto exec = reinterpret_cast<ExecFn>(dlsym(lib, "SQLExecDirect"));
  auto info = reinterpret_cast<InfoFn>(dlsym(lib, "SQLGetInfo"));
  auto freeHandle = reinterpret_cast<FreeFn>(dlsym(lib, "SQLFreeHandle"));
  auto fetch = reinterpret_cast<FetchFn>(dlsym(lib, "SQLFetch"));
  ASSERT_TRUE(exec && info && freeHandle && fetch);
  long stack = 0;  // an address that is no handle of the driver's
  for (SQLHANDLE h : {static_cast<SQLHANDLE>(nullptr), static_cast<SQLHANDLE>(&stack)}) {
    EXPECT_EQ(SQL_INVALID_HANDLE, exec(h, (SQLCHAR*)"select 1", SQL_NTS));
    char buf[16];
    EXPECT_EQ(SQL_INVALID_HANDLE, info(h, SQL_DBMS_NAME, buf, sizeof buf, nullptr));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeHandle(SQL_HANDLE_STMT, h));
    EXPECT_EQ(SQL_INVALID_HANDLE, freeHandle(SQL_HANDLE_DBC, h));
    EXPECT_EQ(SQL_INVALID_HANDLE, fetch(h));
  }
  EXPECT_EQ(0, stack);
  dlclose(lib);
}

}  // namespace
