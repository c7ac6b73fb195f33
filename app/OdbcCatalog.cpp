// Spatial catalogue maintenance of the ODBC connection: creating the
// catalogue table with its owner login, user and schema, testing for it,
// counting, listing, reading and deleting its rows. The owner's password is
// drawn anew for every creation and never reaches the log or an error text.
#include <cstring>
#include <ostream>

#include "app/OdbcConnection.h"
#include "app/OdbcStmt.h"
#include "app/ResourceLibrary.h"
#include "app/SqlText.h"
#include "kernel/tables/api/UploadOptions.h"

namespace {

// "The owner could not be set up: " (resource string).
constexpr int kStrOwnerFailure = 224;

}  // namespace

bool COdbcConnection::RunSecretStatement(const std::string& sql, const std::string& secret) {
  if (LogStream != nullptr) {
    *LogStream << SqlMaskSecret(sql, secret) << "\n" << std::flush;
    *LogStream << "\n" << std::flush;
  }
  SQLRETURN rc = SQLExecDirect(m_Stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
  bool ok = CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, m_Stmt);
  m_LastError = SqlMaskSecret(m_LastError, secret);
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::QueryFindsName(const std::string& sql) {
  std::string name;
  bool found = ExecSql(sql, m_Stmt) && SQL_SUCCEEDED(SQLFetch(m_Stmt)) && OdbcGetText(m_Stmt, 1, &name) &&
               !name.empty();
  OdbcCloseCursor(m_Stmt);
  return found;
}

bool COdbcConnection::OwnerFailure() {
  AddToLastError(LoadResString(kStrOwnerFailure) + std::string(kCatalogOwner), false);
  return false;
}

void COdbcConnection::CheckCatalog() {
  const SqlDialect& d = Dialect();
  if (!RunStatement(SqlCatalogProbe(d))) {
    NoRenditionColumns = false;
    return;
  }
  std::string probe = SqlRenditionProbe(d, IdentifierQuote);
  Log(probe + "\n\n");
  NoRenditionColumns = !RunStatement(probe);
}

bool COdbcConnection::CatalogExists() { return RunStatement(SqlCatalogExists(Dialect(), IdentifierQuote)); }

int COdbcConnection::CountCatalogRows() {
  int32_t count = 0;
  SQLLEN ind = 0;
  if (ExecSql(SqlCountCatalogRows(Dialect(), IdentifierQuote), m_Stmt) && SQL_SUCCEEDED(SQLFetch(m_Stmt)) &&
      (!SQL_SUCCEEDED(SQLGetData(m_Stmt, 1, SQL_C_SLONG, &count, 0, &ind)) || ind == SQL_NULL_DATA))
    count = 0;
  OdbcCloseCursor(m_Stmt);
  return count;
}

bool COdbcConnection::ReadCatalogEntry(const std::string& table, CUploadOptions* options) {
  std::string owner = options != nullptr ? options->Owner : std::string();
  for (const std::string* v : {&table, static_cast<const std::string*>(&owner)})
    if (std::string fault = SqlValueFault(*v); !fault.empty()) return Refuse(fault);
  std::string sql = SqlReadCatalogEntry(Dialect(), IdentifierQuote, table, owner, NoRenditionColumns);
  if (!ExecSql(sql, m_Stmt)) {
    OdbcCloseCursor(m_Stmt);
    return false;
  }
  bool ok = SQL_SUCCEEDED(SQLFetch(m_Stmt));
  double bounds[4] = {0.0, 0.0, 0.0, 0.0};
  for (SQLUSMALLINT col = 1; ok && col <= 4; ++col) {
    SQLLEN ind = 0;
    ok = SQLGetData(m_Stmt, col, SQL_C_DOUBLE, &bounds[col - 1], 0, &ind) == SQL_SUCCESS;
    if (ind == SQL_NULL_DATA) bounds[col - 1] = 0.0;
  }
  if (ok) SetBounds(bounds[0], bounds[1], bounds[2], bounds[3]);
  if (ok && !NoRenditionColumns) {
    int32_t type = 0;
    SQLLEN ind = 0;
    std::string column;
    ok = SQLGetData(m_Stmt, 5, SQL_C_SLONG, &type, 0, &ind) == SQL_SUCCESS && OdbcGetText(m_Stmt, 6, &column);
    if (ok && options != nullptr && options->Append) {
      options->RenditionType = ind == SQL_NULL_DATA ? 0 : type;
      options->StyleColumn = SqlTrim(column);
    }
  }
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::DeleteCatalogEntry(const std::string& owner, const std::string& table) {
  for (const std::string* v : {&owner, &table})
    if (std::string fault = SqlValueFault(*v); !fault.empty()) return Refuse(fault);
  return RunStatement(SqlDeleteCatalogEntry(Dialect(), IdentifierQuote, owner, table));
}

namespace {

// Column 1 of every row, trimmed; rows whose column cannot be read are
// skipped. The cursor stays open.
void CollectNames(SQLHSTMT stmt, std::vector<std::string>& out) {
  for (SQLRETURN rc = SQLFetch(stmt); SQL_SUCCEEDED(rc); rc = SQLFetch(stmt)) {
    std::string name;
    if (OdbcGetText(stmt, 1, &name)) out.push_back(SqlTrim(name));
  }
}

}  // namespace

bool COdbcConnection::ListOwners(std::vector<std::string>& owners) {
  bool ok = ExecSql(SqlListCatalogOwners(Dialect(), IdentifierQuote), m_Stmt);
  if (ok) CollectNames(m_Stmt, owners);
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::ListTables(const std::string& owner, std::vector<std::string>& tables) {
  if (std::string fault = SqlValueFault(owner); !fault.empty()) return Refuse(fault);
  bool ok = ExecSql(SqlListCatalogTables(Dialect(), IdentifierQuote, owner), m_Stmt);
  if (ok) CollectNames(m_Stmt, tables);
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::ListSchemas(std::vector<std::string>& schemas) {
  SQLCHAR empty[1] = {0};
  SQLCHAR all[2] = {'%', 0};
  bool ok = CheckSqlResult(SQLTables(m_Stmt, empty, 0, all, SQL_NTS, empty, 0, empty, 0), SQL_NULL_HENV,
                           SQL_NULL_HDBC, m_Stmt);
  while (ok) {
    SQLRETURN rc = SQLFetch(m_Stmt);
    if (rc == SQL_NO_DATA) break;
    std::string schema;
    ok = CheckSqlResult(rc, SQL_NULL_HENV, SQL_NULL_HDBC, m_Stmt) && OdbcGetText(m_Stmt, 2, &schema);
    if (ok) schemas.push_back(schema);
  }
  OdbcCloseCursor(m_Stmt);
  return ok;
}

bool COdbcConnection::LoginExists(const std::string& name) { return QueryFindsName(SqlLoginExists(name)); }

bool COdbcConnection::UserExists(const std::string& name) { return QueryFindsName(SqlUserExists(name)); }

bool COdbcConnection::SchemaExists(const std::string& name) {
  return QueryFindsName(SqlSchemaExists(name, DatabaseName));
}

bool COdbcConnection::CreateSchemaFor(const std::string& schema, const std::string& user) {
  std::string statements[4];
  SqlCreateSchemaFor(schema, user, statements);
  for (const std::string& s : statements)
    if (!RunStatement(s)) return false;
  return true;
}

bool COdbcConnection::CreateCatalog() {
  const SqlDialect& d = Dialect();
  const std::string owner(kCatalogOwner);
  // A fresh password for a login or user made now; it lives only here.
  std::string password;
  auto drawPassword = [&]() {
    if (password.empty()) password = SqlNewOwnerPassword();
    return !password.empty();
  };
  if (d.catalogOwner == CatalogOwnerForm::SqlServerLogin) {
    bool newForms = DbmsVersion >= 9.0;
    if (!LoginExists(owner)) {
      if (!drawPassword()) {
        m_LastError = "no random password could be drawn";
        return OwnerFailure();
      }
      SqlStatement login = SqlCreateLogin(newForms, owner, password, DatabaseName);
      if (!login.Ok()) {
        m_LastError = login.fault;
        return OwnerFailure();
      }
      if (!RunSecretStatement(login.text, password)) return OwnerFailure();
    }
    if (!UserExists(owner)) {
      RunStatement(SqlCreateSqlServerUser(newForms, owner));
      if (!RunStatement(SqlGrantCreate(owner))) return OwnerFailure();
    }
    if (newForms && !SchemaExists(owner) && !CreateSchemaFor(owner, owner)) return OwnerFailure();
  } else {
    if (drawPassword()) RunSecretStatement(SqlCreateUser(owner, password), password);
    RunStatement(SqlGrantUser(owner));
  }
  password.assign(password.size(), '\0');
  std::string create = SqlCreateCatalogTable(d);
  bool created = RunStatement(create);
  Log(create + "\n");
  if (!created) return false;
  RunStatement(SqlCreateCatalogIndex(d));
  RunStatement(SqlGrantCatalog(d));
  return true;
}
