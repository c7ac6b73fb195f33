// Dialect operations of the ODBC connection: dropping a table with its
// spatial registration, registering the spatial column, key, coordinate and
// spatial indexes, statistics, the share lock, the next key value, the
// Informix owner lookup and the primary key column. Statements come from the
// dialect table (SqlDialect.h); a name that cannot stand in a statement is
// refused before anything runs.
#include <cstring>

#include "app/OdbcConnection.h"
#include "app/OdbcStmt.h"
#include "app/ResourceLibrary.h"
#include "app/SqlText.h"
#include "kernel/tables/api/UploadOptions.h"

namespace {

// Index name ends (resource strings).
constexpr int kStrUniqueIndexEnd = 107;
constexpr int kStrIndexEnd = 211;

void TrimInPlace(std::string& text) { text = SqlTrim(text); }

}  // namespace

DbmsFamily COdbcConnection::Family() const {
  if (m_Informix) return DbmsFamily::Informix;
  if (m_Db2) return DbmsFamily::Db2;
  if (m_Oracle) return DbmsFamily::Oracle;
  if (m_Access) return DbmsFamily::Access;
  if (m_MsSql) return DbmsFamily::MsSql;
  if (m_SqlServerOther) return DbmsFamily::OtherSqlServer;
  return DbmsFamily::Unknown;
}

const SqlDialect& COdbcConnection::Dialect() const { return SqlDialectOf(Family()); }

SQLHSTMT COdbcConnection::AllocOwnStmt() {
  SQLHANDLE stmt = SQL_NULL_HANDLE;
  if (m_Dbc == SQL_NULL_HDBC) {
    m_LastError = LoadResString(191);
    return SQL_NULL_HSTMT;
  }
  if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_STMT, m_Dbc, &stmt)) || stmt == SQL_NULL_HANDLE) {
    CheckSqlResult(SQL_ERROR, SQL_NULL_HENV, m_Dbc, SQL_NULL_HSTMT);
    if (m_LastError.empty()) m_LastError = LoadResString(191);
    return SQL_NULL_HSTMT;
  }
  return stmt;
}

bool COdbcConnection::Refuse(const std::string& fault) {
  m_LastError = fault;
  return false;
}

bool COdbcConnection::RunStatement(const std::string& sql) {
  bool ok = ExecSql(sql, m_Stmt);
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::DropTable(const std::string& owner, const std::string& table) {
  const SqlDialect& d = Dialect();
  SqlStatement drop = SqlDropTable(d, IdentifierQuote, owner, table);
  SqlStatement rtreeOf = SqlDb2RtreeOf(owner, table);
  SqlStatement dropRtree = SqlDb2DropRtree(owner, "");
  SqlStatement procs[2] = {SqlExtensionDropRtree(owner, table), SqlExtensionDespatialize(owner, table)};
  // Only the statements this family runs are checked.
  for (const SqlStatement* s : {&drop, &rtreeOf, &dropRtree, &procs[0], &procs[1]}) {
    bool runs = s == &drop || (s == &rtreeOf || s == &dropRtree ? d.db2RtreeDrop : d.extensionProcedures);
    if (runs && !s->Ok()) return Refuse(s->fault);
  }
  if (d.extensionProcedures)
    for (const SqlStatement& p : procs) RunStatement(p.text);
  bool ok = RunStatement(drop.text);
  if (!ok || !d.db2RtreeDrop) return ok;
  // The R-tree of the dropped table, if the extension made one.
  std::string index;
  {
    COdbcOwnStmt own(AllocOwnStmt());
    if (own) {
      if (ExecSql(rtreeOf.text, own.Get()) && SQL_SUCCEEDED(SQLFetch(own.Get())) &&
          !OdbcGetText(own.Get(), 1, &index))
        index.clear();
    }
  }
  SqlStatement dropIndex = SqlDb2DropRtree(owner, SqlTrim(index));
  if (!dropIndex.Ok()) return Refuse(dropIndex.fault);
  return RunStatement(dropIndex.text);
}

bool COdbcConnection::DespatializeColumn(const std::string& owner, const std::string& table) {
  SqlStatement procs[2] = {SqlExtensionDropRtree(owner, table), SqlExtensionDespatialize(owner, table)};
  if (!procs[0].Ok() || !procs[1].Ok()) return true;
  for (const SqlStatement& p : procs) RunStatement(p.text);
  return true;
}

bool COdbcConnection::SpatializeColumn(const std::string& owner, const std::string& table) {
  if (!m_MsSql) return true;
  SqlStatement s = SqlExtensionSpatialize(owner, table);
  if (!s.Ok()) return Refuse(s.fault);
  bool ok = RunStatement(s.text);
  Log(s.text + "\n");
  return ok;
}

bool COdbcConnection::CreateIndex(std::string& owner, std::string& table, std::string& column,
                                  const std::string& suffix) {
  TrimInPlace(owner);
  TrimInPlace(table);
  TrimInPlace(column);
  SqlStatement s = SqlCreateIndex(Dialect(), IdentifierQuote, owner, table, column, suffix,
                                  LoadResString(kStrIndexEnd));
  if (!s.Ok()) return Refuse(s.fault);
  return RunStatement(s.text);
}

bool COdbcConnection::CreateUniqueIndex(std::string& owner, std::string& table, std::string& column) {
  TrimInPlace(owner);
  TrimInPlace(table);
  TrimInPlace(column);
  SqlStatement s = SqlCreateUniqueIndex(Dialect(), IdentifierQuote, owner, table, column,
                                        LoadResString(kStrUniqueIndexEnd));
  if (!s.Ok()) return Refuse(s.fault);
  return RunStatement(s.text);
}

bool COdbcConnection::CreateXYIndexes(std::string& owner, std::string& table, std::string& x,
                                      std::string& y) {
  TrimInPlace(owner);
  TrimInPlace(table);
  TrimInPlace(x);
  TrimInPlace(y);
  SqlStatement sx = SqlCreateXYIndex(Dialect(), IdentifierQuote, owner, table, x, "_SIX");
  SqlStatement sy = SqlCreateXYIndex(Dialect(), IdentifierQuote, owner, table, y, "_SIY");
  if (!sx.Ok()) return Refuse(sx.fault);
  if (!sy.Ok()) return Refuse(sy.fault);
  return RunStatement(sx.text) && RunStatement(sy.text);
}

bool COdbcConnection::CreateKeyIndex(std::string& owner, std::string& table, std::string& column) {
  TrimInPlace(owner);
  TrimInPlace(table);
  TrimInPlace(column);
  SqlStatement s = SqlCreateXYIndex(Dialect(), IdentifierQuote, owner, table, column, "_SIX");
  if (!s.Ok()) return Refuse(s.fault);
  return RunStatement(s.text);
}

bool COdbcConnection::CreateSpatialIndex(std::string& owner, std::string& table, std::string& column) {
  TrimInPlace(owner);
  TrimInPlace(table);
  TrimInPlace(column);
  const SqlDialect& d = Dialect();
  SqlStatement s = SqlCreateSpatialIndex(d, owner, table, column);
  if (!s.Ok()) return Refuse(s.fault);
  if (s.text.empty()) return true;
  bool ok = RunStatement(s.text);
  Log("\n" + s.text + "\n");
  if (ok && d.statisticsAfterIndex) UpdateStatistics(owner, table);
  return ok;
}

bool COdbcConnection::UpdateStatistics(std::string& owner, std::string& table) {
  TrimInPlace(owner);
  TrimInPlace(table);
  SqlStatement s = SqlUpdateStatistics(Dialect(), owner, table);
  if (s.Ok()) RunStatement(s.text);
  return true;
}

void COdbcConnection::LockTable(const std::string& owner, const std::string& table) {
  if (!Dialect().lockTable) return;
  SqlStatement s = SqlLockTable(IdentifierQuote, owner, table);
  if (!s.Ok()) {
    Refuse(s.fault);
    return;
  }
  COdbcOwnStmt own(AllocOwnStmt());
  if (own) ExecSql(s.text, own.Get());
}

int COdbcConnection::NextKey(const std::string& table, CUploadOptions* options) {
  const SqlDialect& d = Dialect();
  int kind = options != nullptr ? options->StorageKind : 0;
  if (d.skipKeyForGeometry && kind == 1) return 0;
  SqlStatement s = SqlMaxKey(d, IdentifierQuote, options != nullptr ? options->Owner : std::string(),
                             table, kind);
  if (!s.Ok()) {
    Refuse(s.fault);
    return 0;
  }
  COdbcOwnStmt own(AllocOwnStmt());
  if (!own) return 0;
  SQLUINTEGER value = 0;
  SQLLEN ind = 0;
  SQLBindCol(own.Get(), 1, SQL_C_ULONG, &value, sizeof value, &ind);
  if (!ExecSql(s.text, own.Get())) return 0;
  if (!SQL_SUCCEEDED(SQLFetch(own.Get())) || ind == SQL_NULL_DATA) return 0;
  int32_t key = static_cast<int32_t>(value);
  return key < 0 ? 0 : key;
}

void COdbcConnection::ResolveTableOwner(std::string& table) {
  if (!Dialect().resolveOwner) return;
  char schema[256] = {0};
  char name[256] = {0};
  SQLLEN schemaInd = 0, nameInd = 0;
  SQLRETURN rc = SQLTables(m_Stmt, nullptr, 0, nullptr, 0,
                           reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())), SQL_NTS, nullptr, 0);
  if (CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, m_Stmt)) {
    SQLBindCol(m_Stmt, 2, SQL_C_CHAR, schema, sizeof schema, &schemaInd);
    SQLBindCol(m_Stmt, 3, SQL_C_CHAR, name, sizeof name, &nameInd);
    if (SQLFetch(m_Stmt) == SQL_SUCCESS) {
      SetUserName(schemaInd == SQL_NULL_DATA ? std::string() : std::string(schema, strnlen(schema, sizeof schema - 1)));
      table = SqlTrim(nameInd == SQL_NULL_DATA ? std::string() : std::string(name, strnlen(name, sizeof name - 1)));
    }
  }
  OdbcCloseCursor(m_Stmt);
}

bool COdbcConnection::GetPrimaryKeyColumn(const std::string& table, std::string& column) {
  if (!Dialect().primaryKeys) return false;
  const std::string& schema = m_MsSql && DbmsVersion >= 9.0 ? DefaultSchema : UserName;
  auto text = [](const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); };
  SQLRETURN rc = SQLPrimaryKeys(m_Stmt, text(DatabaseName), SQL_NTS, text(schema), SQL_NTS, text(table), SQL_NTS);
  bool ok = CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, m_Stmt) && SQL_SUCCEEDED(SQLFetch(m_Stmt));
  std::string found;
  ok = ok && OdbcGetText(m_Stmt, 4, &found);
  OdbcCloseCursor(m_Stmt);
  if (ok) column = found;
  return ok;
}
