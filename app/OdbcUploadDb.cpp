// The upload database of a COdbcConnection: the uploader's view of the ODBC
// connection, its standing statement (which also carries the prepared row
// statement), its transactions and its dialect operations.
#include <algorithm>
#include <cstring>
#include <memory>

#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"

namespace {

using namespace upload;

class COdbcUploadDb : public CUploadDb {
 public:
  explicit COdbcUploadDb(COdbcConnection& connection) : m_Conn(connection) {}

  CDbConnection& Base() override { return m_Conn; }
  SqlFamily Family() override {
    SqlFamily f;
    f.quote = m_Conn.IdentifierQuote;
    f.informix = m_Conn.IsInformix();
    f.db2 = m_Conn.IsDb2();
    f.oracle = m_Conn.IsOracle();
    f.access = m_Conn.IsAccess();
    f.sqlServer = m_Conn.IsSqlServer();
    f.sqlServerOther = m_Conn.IsSqlServerOther();
    f.extension = m_Conn.HasSpatialExtension();
    // The first row of a type wins, as TypeNameFor answers.
    const TypeMapEntry* map = m_Conn.GetTypeMap();
    for (int i = 0; i < COdbcConnection::kTypeMapRows; ++i)
      f.typeNames.emplace(map[i].FieldType, map[i].TypeName);
    return f;
  }
  bool IsSqlServerFamily() override { return m_Conn.IsSqlServer(); }
  int ExtensionVersion() override { return m_Conn.GetExtensionVersion(); }
  bool SupportsSetProjection() override { return m_Conn.SupportsSetProjection(); }

  bool ResetStatement() override { return m_Conn.ResetStatement(); }

  bool Exec(const std::string& sql) override {
    SQLHSTMT stmt = m_Conn.GetStmtHandle();
    const bool ok = m_Conn.ExecSql(sql, stmt);
    Close(stmt);
    return ok;
  }

  bool ExecAndFetch(const std::string& sql, bool fetchCounts) override {
    SQLHSTMT stmt = m_Conn.GetStmtHandle();
    bool ok = m_Conn.ExecSql(sql, stmt);
    if (ok) {
      const SQLRETURN rc = SQLFetch(stmt);
      if (fetchCounts) ok = m_Conn.CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
      if (!ok && rc == SQL_NO_DATA) m_Conn.GetLastErrorRef() = "the statement returned no row";
    }
    Close(stmt);
    return ok;
  }

  bool Prepare(const std::string& sql) override {
    SQLHSTMT stmt = m_Conn.GetStmtHandle();
    const SQLRETURN rc = SQLPrepare(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    return m_Conn.CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
  }

  bool ExecuteRow(std::vector<BoundValue>& values) override {
    SQLHSTMT stmt = m_Conn.GetStmtHandle();
    bool ok = true;
    for (size_t i = 0; i < values.size() && ok; ++i)
      ok = m_Conn.CheckSqlResult(values[i].Bind(stmt, static_cast<SQLUSMALLINT>(i + 1)), SQL_NULL_HENV,
                                 SQL_NULL_HDBC, stmt);
    if (ok) ok = m_Conn.CheckSqlResult(SQLExecute(stmt), SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
    SQLFreeStmt(stmt, SQL_RESET_PARAMS);
    Close(stmt);
    return ok;
  }

  bool SetAutoCommit(bool on) override {
    const SQLRETURN rc =
        SQLSetConnectAttr(m_Conn.GetDbcHandle(), SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                          SQL_IS_UINTEGER);
    return m_Conn.CheckSqlResult(rc, SQL_NULL_HENV, m_Conn.GetDbcHandle(), SQL_NULL_HSTMT);
  }

  bool Commit() override {
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_Conn.GetDbcHandle(), SQL_COMMIT);
    return m_Conn.CheckSqlResult(rc, SQL_NULL_HENV, m_Conn.GetDbcHandle(), SQL_NULL_HSTMT);
  }

  void GetBounds(double b[4]) override { m_Conn.GetBounds(b[0], b[1], b[2], b[3]); }
  void SetBounds(const double b[4]) override { m_Conn.SetBounds(b[0], b[1], b[2], b[3]); }

  bool ListColumns(const std::string& owner, const std::string& table, std::vector<TargetColumn>& out) override {
    SQLHANDLE stmt = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_Conn.GetDbcHandle(), &stmt))) {
      m_Conn.CheckSqlResult(SQL_ERROR, SQL_NULL_HENV, m_Conn.GetDbcHandle(), SQL_NULL_HSTMT);
      return false;
    }
    SQLCHAR* schema = owner.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(owner.c_str()));
    SQLRETURN rc = SQLColumns(stmt, nullptr, 0, schema, schema ? SQL_NTS : 0,
                              reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())), SQL_NTS, nullptr, 0);
    bool ok = m_Conn.CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, stmt);
    char name[256], type[256];
    SQLINTEGER size = 0;
    SQLSMALLINT decimals = 0;
    SQLLEN nameInd = 0, typeInd = 0, sizeInd = 0, decInd = 0;
    if (ok) {
      SQLBindCol(stmt, 4, SQL_C_CHAR, name, sizeof name, &nameInd);
      SQLBindCol(stmt, 6, SQL_C_CHAR, type, sizeof type, &typeInd);
      SQLBindCol(stmt, 7, SQL_C_SLONG, &size, 0, &sizeInd);
      SQLBindCol(stmt, 9, SQL_C_SSHORT, &decimals, 0, &decInd);
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        TargetColumn c;
        if (nameInd != SQL_NULL_DATA) c.name.assign(name, strnlen(name, sizeof name));
        if (typeInd != SQL_NULL_DATA) c.typeName.assign(type, strnlen(type, sizeof type));
        c.size = sizeInd == SQL_NULL_DATA ? -1 : size;
        c.decimals = decInd == SQL_NULL_DATA ? 0 : decimals;
        out.push_back(std::move(c));
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok;
  }

  bool DropTable(const std::string& owner, const std::string& table) override {
    return m_Conn.DropTable(owner, table);
  }
  bool DespatializeColumn(const std::string& owner, const std::string& table) override {
    return m_Conn.DespatializeColumn(owner, table);
  }
  bool SpatializeColumn(const std::string& owner, const std::string& table) override {
    return m_Conn.SpatializeColumn(owner, table);
  }
  bool CreateIndex(const std::string& owner, const std::string& table, const std::string& column,
                   const std::string& suffix) override {
    std::string o = owner, t = table, c = column;
    return m_Conn.CreateIndex(o, t, c, suffix);
  }
  bool CreateXYIndexes(const std::string& owner, const std::string& table, const std::string& x,
                       const std::string& y) override {
    std::string o = owner, t = table, cx = x, cy = y;
    return m_Conn.CreateXYIndexes(o, t, cx, cy);
  }
  bool CreateKeyIndex(const std::string& owner, const std::string& table, const std::string& column) override {
    std::string o = owner, t = table, c = column;
    return m_Conn.CreateKeyIndex(o, t, c);
  }
  bool CreateSpatialIndex(const std::string& owner, const std::string& table, const std::string& column) override {
    std::string o = owner, t = table, c = column;
    return m_Conn.CreateSpatialIndex(o, t, c);
  }
  void LockTable(const std::string& owner, const std::string& table) override { m_Conn.LockTable(owner, table); }
  int NextKey(const std::string& table, CUploadOptions* options) override { return m_Conn.NextKey(table, options); }
  void ResolveTableOwner(std::string& table) override { m_Conn.ResolveTableOwner(table); }

 private:
  static void Close(SQLHSTMT stmt) {
    SQLFreeStmt(stmt, SQL_CLOSE);
    SQLFreeStmt(stmt, SQL_UNBIND);
  }
  COdbcConnection& m_Conn;
};

// Any other connection of kind 1 runs nothing: every statement fails with a
// clear message.
class CNoUploadDb : public CUploadDb {
 public:
  explicit CNoUploadDb(CDbConnection* connection) : m_Conn(*connection) {}
  CDbConnection& Base() override { return m_Conn; }
  SqlFamily Family() override { return {}; }
  bool IsSqlServerFamily() override { return false; }
  int ExtensionVersion() override { return 0; }
  bool SupportsSetProjection() override { return false; }
  bool ResetStatement() override { return Fail(); }
  bool Exec(const std::string&) override { return Fail(); }
  bool ExecAndFetch(const std::string&, bool) override { return Fail(); }
  bool Prepare(const std::string&) override { return Fail(); }
  bool ExecuteRow(std::vector<BoundValue>&) override { return Fail(); }
  bool SetAutoCommit(bool) override { return Fail(); }
  bool Commit() override { return Fail(); }
  void GetBounds(double b[4]) override { std::fill(b, b + 4, 0.0); }
  void SetBounds(const double*) override {}
  bool ListColumns(const std::string&, const std::string&, std::vector<TargetColumn>&) override { return Fail(); }
  bool DropTable(const std::string&, const std::string&) override { return Fail(); }
  bool DespatializeColumn(const std::string&, const std::string&) override { return true; }
  bool SpatializeColumn(const std::string&, const std::string&) override { return Fail(); }
  bool CreateIndex(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return Fail();
  }
  bool CreateXYIndexes(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return Fail();
  }
  bool CreateKeyIndex(const std::string&, const std::string&, const std::string&) override { return Fail(); }
  bool CreateSpatialIndex(const std::string&, const std::string&, const std::string&) override { return Fail(); }
  void LockTable(const std::string&, const std::string&) override {}
  int NextKey(const std::string&, CUploadOptions*) override { return 0; }
  void ResolveTableOwner(std::string&) override {}

 private:
  bool Fail() {
    m_Conn.GetLastErrorRef() = "this connection cannot run the uploader's statements";
    return false;
  }
  CDbConnection& m_Conn;
};

UploadDbFactory& Factory() {
  static UploadDbFactory factory;
  return factory;
}

}  // namespace

void SetUploadDbFactory(UploadDbFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<CUploadDb> MakeOdbcUploadDb(CDbConnection* connection) {
  if (Factory()) return Factory()(connection);
  if (auto* odbc = dynamic_cast<COdbcConnection*>(connection)) return std::make_unique<COdbcUploadDb>(*odbc);
  return std::make_unique<CNoUploadDb>(connection);
}
