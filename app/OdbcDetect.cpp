// DBMS and spatial-extension detection of the ODBC connection: which of the
// six DBMS families the server is, its identifier quote, spatial type code,
// extension version, server information and type names.
#include "app/OdbcConnection.h"

#include <cctype>
#include <charconv>
#include <cstring>

#include "app/SqlText.h"
#include "app/Text.h"

namespace {

constexpr SQLSMALLINT kInfoBuffer = 256;

void CloseCursor(SQLHSTMT stmt) {
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeStmt(stmt, SQL_UNBIND);
}

bool FetchedRow(SQLHSTMT stmt) { return SQL_SUCCEEDED(SQLFetch(stmt)); }

// Column 1 of the current row as text of at most `size` - 1 bytes.
bool ReadText(SQLHSTMT stmt, size_t size, std::string* out) {
  std::vector<char> buf(size, 0);
  SQLLEN ind = 0;
  SQLRETURN rc = SQLGetData(stmt, 1, SQL_C_CHAR, buf.data(), static_cast<SQLLEN>(size), &ind);
  if (!SQL_SUCCEEDED(rc)) return false;
  out->assign(ind == SQL_NULL_DATA ? "" : buf.data());
  return true;
}

// The leading decimal number of a version text ("09.00.1399" -> 9.0),
// independent of the process locale; 0 without one.
double LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t j = i;
  while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  if (j < text.size() && text[j] == '.') {
    ++j;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) ++j;
  }
  double v = 0.0;
  if (j > i) std::from_chars(text.data() + i, text.data() + j, v);
  return v;
}

std::string GetInfoText(SQLHDBC dbc, SQLUSMALLINT type, SQLRETURN* rc) {
  char buf[kInfoBuffer] = {0};
  SQLSMALLINT len = 0;
  *rc = SQLGetInfo(dbc, type, buf, kInfoBuffer, &len);
  return SQL_SUCCEEDED(*rc) ? std::string(buf, strnlen(buf, kInfoBuffer - 1)) : std::string();
}

// Out of line: gcc 12 at -O3 takes inlined literal assignments to these
// members for overlapping copies (GCC PR 105651).
[[gnu::noinline]] void SetText(std::string& target, const char* value) { target = value; }

}  // namespace

void COdbcConnection::SaveDetection(DetectionState& s) const {
  s.quote = IdentifierQuote;
  s.dbmsName = DbmsName;
  s.spatialTypeCode = SpatialTypeCode;
  s.driverVersion = DriverVersion;
  s.databaseName = DatabaseName;
  s.userName = UserName;
  s.defaultSchema = DefaultSchema;
  s.extensionVersion = ExtensionVersion;
  s.dbmsVersion = DbmsVersion;
  s.informix = m_Informix;
  s.db2 = m_Db2;
  s.extension = m_Extension;
  s.oracle = m_Oracle;
  s.access = m_Access;
  s.msSql = m_MsSql;
  s.sqlServerOther = m_SqlServerOther;
  s.ociToolkit = OciToolkit;
  for (int i = 0; i < kTypeMapRows; ++i) s.typeMap[i] = m_TypeMap[i];
}

void COdbcConnection::RestoreDetection(const DetectionState& s) {
  IdentifierQuote = s.quote;
  DbmsName = s.dbmsName;
  SpatialTypeCode = s.spatialTypeCode;
  DriverVersion = s.driverVersion;
  DatabaseName = s.databaseName;
  UserName = s.userName;
  DefaultSchema = s.defaultSchema;
  ExtensionVersion = s.extensionVersion;
  DbmsVersion = s.dbmsVersion;
  m_Informix = s.informix;
  m_Db2 = s.db2;
  m_Extension = s.extension;
  m_Oracle = s.oracle;
  m_Access = s.access;
  m_MsSql = s.msSql;
  m_SqlServerOther = s.sqlServerOther;
  OciToolkit = s.ociToolkit;
  for (int i = 0; i < kTypeMapRows; ++i) m_TypeMap[i] = s.typeMap[i];
}

void COdbcConnection::ResetDbmsState() {
  IdentifierQuote.clear();
  m_LastError.clear();
  m_Informix = m_Db2 = m_Extension = m_Oracle = m_Access = m_MsSql = m_SqlServerOther = false;
  OciToolkit = false;
  ExtensionVersion = 400;
}

std::string COdbcConnection::TypeNameFor(int fieldType) const {
  for (const TypeMapEntry& e : m_TypeMap)
    if (e.FieldType == fieldType) return e.TypeName;
  return std::string();
}

int COdbcConnection::SqlTypeFor(int fieldType) const {
  for (const TypeMapEntry& e : m_TypeMap)
    if (e.FieldType == fieldType) return e.SqlType;
  return 0;
}

bool COdbcConnection::DetectDbms(SQLHDBC dbc, SQLHSTMT stmt) {
  ResetDbmsState();
  SQLRETURN rc;
  std::string name = GetInfoText(dbc, SQL_DBMS_NAME, &rc);
  CheckSqlResult(rc, SQL_NULL_HENV, dbc, SQL_NULL_HSTMT);
  m_DriverDbmsName = name;
  auto begins = [&](const char* prefix) { return name.compare(0, std::strlen(prefix), prefix) == 0; };
  auto timestampDates = [&]() {
    // Dates and times are stored as timestamps.
    int ts = SqlTypeFor(38);
    for (TypeMapEntry& e : m_TypeMap)
      if (e.FieldType == 37 || e.FieldType == 5) e.SqlType = ts;
  };
  auto setSqlType = [&](int fieldType, int sqlType) {
    for (TypeMapEntry& e : m_TypeMap)
      if (e.FieldType == fieldType) e.SqlType = sqlType;
  };

  if (begins("Informix")) {
    DbmsName = name;
    m_Informix = true;
    SetText(SpatialTypeCode, "4");
    if (ExecSql("select name from sysxtdtypes where name = 'st_spatial'", stmt) && FetchedRow(stmt)) {
      SetText(SpatialTypeCode, "11");
      m_Extension = true;
      std::string driver = GetInfoText(dbc, SQL_DRIVER_VER, &rc);
      // Drivers before 2.8 cannot carry the spatial type: the extension is
      // not used, the DBMS name stays as the server gave it.
      if (LeadingNumber(driver) < 2.8) m_Extension = false;
      CloseCursor(stmt);
      std::string id;
      if (ExecSql("execute function kt_spatial_id()", stmt) && FetchedRow(stmt) && ReadText(stmt, 256, &id) &&
          id.compare(0, 17, "Helvoristan.4.5.1", 0, 17) >= 0)
        ExtensionVersion = 451;
    }
    CloseCursor(stmt);
  } else if (begins("DB2")) {
    DbmsName = name;
    SetText(IdentifierQuote, "\"");
    SetText(SpatialTypeCode, "12");
    for (const char* sql : {"SET CURRENT FUNCTION PATH = CURRENT FUNCTION PATH , QD2SCH;",
                            "values(qd2_open_session())", "values(kt_set_geoformat('CORVANE'))"}) {
      ExecSql(sql, stmt);
      CloseCursor(stmt);
    }
    m_Db2 = true;
    ExtensionVersion = 451;
    const std::string& q = IdentifierQuote;
    std::string rtree = "SELECT 1 FROM ";
    rtree.append(q).append("QD2SCH").append(q).append(".").append(q).append("QD2_RTREE").append(q);
    if (ExecSql(rtree, stmt) && FetchedRow(stmt))
      m_Extension = true;
    CloseCursor(stmt);
  } else if (begins("Oracle")) {
    DbmsName = name;
    m_Oracle = true;
    SetText(IdentifierQuote, "\"");
    SetText(SpatialTypeCode, "4");
  } else if (begins("Helvoristan/ORACLE")) {
    // Served by the OCI module, not through ODBC: no family flag.
    DbmsName = name;
    SetText(IdentifierQuote, "\"");
  } else if (begins("ACCESS")) {
    DbmsName = name;
    m_Access = true;
    SetText(IdentifierQuote, "`");
    SetText(SpatialTypeCode, "4");
    timestampDates();
    setSqlType(2, SQL_DOUBLE);
  } else if (begins("Microsoft SQL Server")) {
    DbmsName = name;
    m_MsSql = true;
    SetText(SpatialTypeCode, "14");
    timestampDates();
    setSqlType(8, SQL_FLOAT);
    SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_VALUES), 0);
    if (ExecSql("select count(*) from sysobjects where id = object_id(N'[dbo].[sp_spatial_query]') and "
                "OBJECTPROPERTY(id, N'IsProcedure') = 1",
                stmt) &&
        FetchedRow(stmt)) {
      SQLINTEGER count = 0;
      SQLLEN ind = 0;
      if (SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_SLONG, &count, 0, &ind)) && ind != SQL_NULL_DATA && count >= 1)
        m_Extension = true;
    }
    CloseCursor(stmt);
    SQLHANDLE second = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(AllocHandle(SQL_HANDLE_STMT, dbc, &second)) || second == SQL_NULL_HANDLE) {
      CheckSqlResult(SQL_ERROR, SQL_NULL_HENV, dbc, SQL_NULL_HSTMT);
      return false;
    }
    ExtensionVersion = ReadExtensionVersion(second);
    SQLFreeHandle(SQL_HANDLE_STMT, second);
    CloseCursor(stmt);
  } else if (begins("SQL Server")) {
    DbmsName = name;
    m_SqlServerOther = true;
    SetText(SpatialTypeCode, "7");
    timestampDates();
    setSqlType(8, SQL_FLOAT);
    ExecSql("SET SPATIAL FORMAT CV", stmt);
    CloseCursor(stmt);
  }
  return true;
}

int COdbcConnection::ReadExtensionVersion(SQLHSTMT stmt) {
  if (!m_MsSql) return 0;
  bool restricted = IsRestrictedServer(stmt);
  std::string sql = restricted ? "select dbo.KT_version()"
                               : "exec sp_spatial_query 'select KT_Version() from Master.dbo.KT_OneRow'";
  int version = 0;
  std::string text;
  if (ExecSql(sql, stmt) && FetchedRow(stmt) && ReadText(stmt, 256, &text)) {
    std::string five = text.substr(0, 5);
    if (five.compare("4.5.1") >= 0) version = 451;
    if (five.compare("4.5.5") >= 0) version = 455;
  }
  CloseCursor(stmt);
  return version;
}

bool COdbcConnection::IsRestrictedServer(SQLHSTMT stmt) {
  if (!m_MsSql) return false;
  std::string text;
  bool restricted = ExecSql("exec sp_spatial_query 'kt_restricted_server()'", stmt) && FetchedRow(stmt) &&
                    ReadText(stmt, 256, &text) && !text.empty() && text[0] == '1';
  CloseCursor(stmt);
  return restricted;
}

void COdbcConnection::ReadServerInfo() {
  SQLRETURN rc;
  DriverVersion = GetInfoText(m_Dbc, SQL_DRIVER_VER, &rc);
  CheckSqlResult(rc, SQL_NULL_HENV, m_Dbc, SQL_NULL_HSTMT);
  DatabaseName = GetInfoText(m_Dbc, SQL_DATABASE_NAME, &rc);
  CheckSqlResult(rc, SQL_NULL_HENV, m_Dbc, SQL_NULL_HSTMT);
  UserName = GetInfoText(m_Dbc, SQL_USER_NAME, &rc);
  CheckSqlResult(rc, SQL_NULL_HENV, m_Dbc, SQL_NULL_HSTMT);
  std::string version = GetInfoText(m_Dbc, SQL_DBMS_VER, &rc);
  CheckSqlResult(rc, SQL_NULL_HENV, m_Dbc, SQL_NULL_HSTMT);
  DbmsVersion = LeadingNumber(version);
  if (m_Oracle)
    for (char& c : UserName) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (m_MsSql && DbmsVersion >= 9.0) ReadDefaultSchema();
  for (int i = 0; i < kTypeMapRows; ++i) {
    if (i == 0 || i == 7) continue;
    TypeMapEntry& e = m_TypeMap[i];
    char name[50] = {0};
    SQLLEN ind = 0;
    if (SQL_SUCCEEDED(SQLGetTypeInfo(m_Stmt, static_cast<SQLSMALLINT>(e.SqlType))) &&
        SQL_SUCCEEDED(SQLBindCol(m_Stmt, 1, SQL_C_CHAR, name, sizeof name, &ind)) && FetchedRow(m_Stmt))
      e.TypeName = ind == SQL_NULL_DATA ? std::string() : std::string(name);
    CloseCursor(m_Stmt);
  }
}

void COdbcConnection::ReadDefaultSchema() {
  // The user name goes in as a literal: its quotes are doubled.
  std::string sql = "select default_schema_name from sys.database_principals where name =";
  sql += SqlLiteral(UserName);
  std::string schema;
  if (ExecSql(sql, m_Stmt) && FetchedRow(m_Stmt) && ReadText(m_Stmt, 256, &schema)) DefaultSchema = schema;
  CloseCursor(m_Stmt);
}

void COdbcConnection::ApplyTypeNames() {
  auto set = [&](int fieldType, const char* name) {
    for (TypeMapEntry& e : m_TypeMap)
      if (e.FieldType == fieldType) e.TypeName = name;
  };
  if (m_Oracle) {
    set(1, "VARCHAR2");
    set(2, "DECIMAL");
    set(3, "INTEGER");
    set(4, "SMALLINT");
    set(5, "DATE");
    set(6, "SMALLINT");
    set(8, "FLOAT");
    set(37, "TIMESTAMP(3)");
    set(38, "TIMESTAMP(3)");
  } else if (m_Informix) {
    set(37, "datetime year to fraction(3)");
    set(38, "datetime year to fraction(3)");
  }
}

bool COdbcConnection::SupportsSetProjection() {
  if (!m_Extension) return false;
  if (m_Informix) {
    char answer[129] = {0};
    SQLLEN ind = 0;
    SQLBindCol(m_Stmt, 1, SQL_C_CHAR, answer, sizeof answer, &ind);
    bool ran = ExecSql("execute function KT_Spatial_ID()", m_Stmt);
    bool result = ran;
    if (ran && FetchedRow(m_Stmt) && ind != SQL_NULL_DATA) {
      std::string a(answer);
      if (a == "Helvoristan.3.5")
        result = true;
      else if (a == "Helvoristan.3.0")
        result = false;
    }
    CloseCursor(m_Stmt);
    return result;
  }
  if (m_Oracle) return DriverVersion.compare(0, 16, "Helvoristan 03.5") != 0;
  return m_Db2 || m_MsSql;
}
