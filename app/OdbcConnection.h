// The ODBC connection: the connection of kind 1. One ODBC 3 environment, one
// database connection and one standing statement through which almost every
// statement runs; DBMS and spatial-extension detection; the dialect and
// catalogue operations (OdbcDialect.cpp, OdbcCatalog.cpp).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "app/SqlDialect.h"

// One row of the type map: a kernel value type, its ODBC SQL data type and
// the DBMS's name for it.
struct TypeMapEntry {
  int FieldType;
  int SqlType;
  std::string TypeName;
};

class COdbcConnection : public CDbConnection {
 public:
  static constexpr int kTypeMapRows = 11;

  COdbcConnection();
  ~COdbcConnection() override;

  // Virtual operations of CDbConnection.
  void CheckCatalog() override;
  void Reserved1() override;
  int GetKind() override;
  std::string& GetConnectStringRef() override;
  bool ReadCatalogEntry(const std::string& table, CUploadOptions* options) override;
  bool Connect(const std::string& connectText) override;
  bool HasSpatialExtension() override;
  std::string GetSafeConnectString() override;
  void SetConnectString(const std::string& text) override;
  bool IsOracle() override;
  bool WantsSrid() override;
  bool IsSqlServer() override;
  bool IsInformix() override;
  bool IsAccess() override;
  std::string& GetLastErrorRef() override;
  void ClearLastError() override;
  bool CreateCatalog() override;
  int CountCatalogRows() override;
  bool CatalogExists() override;
  bool DeleteCatalogEntry(const std::string& owner, const std::string& table) override;
  bool ListOwnersInto(std::string* owners, int* count) override;
  bool ListOwners(std::vector<std::string>& owners) override;
  bool ListTablesInto(const std::string& owner, std::string* tables, int* count) override;
  bool ListTables(const std::string& owner, std::vector<std::string>& tables) override;
  int Reserved2() override;
  bool Reserved3(void* first, void* second) override;
  bool ListSchemas(std::vector<std::string>& schemas) override;

  // SQL execution.
  // Logs the statement and two line ends, runs it on `stmt`; the caller
  // closes the cursor.
  bool ExecSql(const std::string& sql, SQLHSTMT stmt);
  // SQL_SUCCESS and SQL_SUCCESS_WITH_INFO empty the last error and give true;
  // any other code keeps the driver's first message (at most 199 bytes, cut
  // on a UTF-8 character boundary) and gives false.
  bool CheckSqlResult(SQLRETURN rc, SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt);
  // The text without any PWD or UPWD pair (any case, braced values), each
  // with the ";" after it; the rest stays byte for byte.
  static std::string StripPassword(const std::string& text);
  // The value after the first "UID=" up to the next ";", or "".
  static std::string ParseUid(const std::string& text);
  // With append: last error + " " + text; without: text + ". " + last error.
  void AddToLastError(const std::string& text, bool append);
  // A new standing statement; false with string 191 as the last error when
  // none can be allocated.
  bool ResetStatement();
  SQLHENV GetEnvHandle() const { return m_Env; }
  SQLHDBC GetDbcHandle() const { return m_Dbc; }
  SQLHSTMT GetStmtHandle() const { return m_Stmt; }
  int GetExtensionVersion() const { return ExtensionVersion; }
  void SetBounds(double x1, double y1, double x2, double y2);
  void GetBounds(double& x1, double& y1, double& x2, double& y2) const;

  // Detection results.
  bool IsDb2() const { return m_Db2; }
  bool IsSqlServerOther() const { return m_SqlServerOther; }
  // The type name of the first type-map row with this field type, or "".
  std::string TypeNameFor(int fieldType) const;
  // The SQL data type of that row, or 0.
  int SqlTypeFor(int fieldType) const;
  const TypeMapEntry* GetTypeMap() const { return m_TypeMap; }
  int ReadExtensionVersion(SQLHSTMT stmt);
  bool IsRestrictedServer(SQLHSTMT stmt);
  bool SupportsSetProjection();

  // Dialect operations (OdbcDialect.cpp).
  bool DropTable(const std::string& owner, const std::string& table);
  bool DespatializeColumn(const std::string& owner, const std::string& table);
  bool SpatializeColumn(const std::string& owner, const std::string& table);
  bool CreateIndex(std::string& owner, std::string& table, std::string& column, const std::string& suffix);
  bool CreateUniqueIndex(std::string& owner, std::string& table, std::string& column);
  bool CreateXYIndexes(std::string& owner, std::string& table, std::string& x, std::string& y);
  bool CreateKeyIndex(std::string& owner, std::string& table, std::string& column);
  bool CreateSpatialIndex(std::string& owner, std::string& table, std::string& column);
  bool UpdateStatistics(std::string& owner, std::string& table);
  void LockTable(const std::string& owner, const std::string& table);
  int NextKey(const std::string& table, CUploadOptions* options);
  void ResolveTableOwner(std::string& table);
  bool GetPrimaryKeyColumn(const std::string& table, std::string& column);

  // The detected DBMS family and its dialect row (OdbcDialect.cpp).
  DbmsFamily Family() const;
  const SqlDialect& Dialect() const;

  // Catalogue owner steps (OdbcCatalog.cpp).
  bool LoginExists(const std::string& name);
  bool UserExists(const std::string& name);
  bool SchemaExists(const std::string& name);
  bool CreateSchemaFor(const std::string& schema, const std::string& user);

  // Test seam: every handle this class allocates goes through this function
  // (SQLAllocHandle when empty). The driver manager makes environment and
  // connection handles without asking the driver, so their failures can only
  // be injected here.
  using AllocHandleFn = std::function<SQLRETURN(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output)>;
  static void SetAllocHandleHook(AllocHandleFn hook);

  std::string IdentifierQuote;  // "", a double quote or a back quote
  int ExtensionVersion = 400;   // spatial extension version x 100: 400, 451, 455 or 0

 protected:
  // A copy of every detection result, so that a refused server leaves the
  // object as it was.
  struct DetectionState {
    std::string quote, dbmsName, spatialTypeCode, driverVersion, databaseName, userName, defaultSchema;
    int extensionVersion = 400;
    double dbmsVersion = 0.0;
    bool informix = false, db2 = false, extension = false, oracle = false, access = false, msSql = false,
         sqlServerOther = false, ociToolkit = false;
    TypeMapEntry typeMap[kTypeMapRows];
  };

  bool AllocEnvironment();
  // False only when the second statement handle that Microsoft SQL Server
  // detection needs cannot be allocated.
  bool DetectDbms(SQLHDBC dbc, SQLHSTMT stmt);
  // Clears the results of an earlier detection. It does not end an open DB2
  // session: Connect does that once the new connection is accepted.
  void ResetDbmsState();
  void ReadServerInfo();
  void ApplyTypeNames();
  void ReadDefaultSchema();
  void SaveDetection(DetectionState& out) const;
  void RestoreDetection(const DetectionState& in);
  void Log(const std::string& text);
  static SQLRETURN AllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
  // Dialect and catalogue helpers (OdbcDialect.cpp, OdbcCatalog.cpp).
  // A statement handle for one operation, or null with the driver's message.
  SQLHSTMT AllocOwnStmt();
  // The fault as the last-error text; false.
  bool Refuse(const std::string& fault);
  // Runs a statement on the standing handle and closes its cursor.
  bool RunStatement(const std::string& sql);
  // Like RunStatement for a statement holding `secret`: the log and the
  // last-error text show it as "********".
  bool RunSecretStatement(const std::string& sql, const std::string& secret);
  // True when the query runs and its first row has a non-empty column 1.
  bool QueryFindsName(const std::string& sql);
  // The catalogue owner failure: string 224, the owner and the message.
  bool OwnerFailure();

  TypeMapEntry m_TypeMap[kTypeMapRows];
  bool m_Informix = false;
  bool m_Db2 = false;
  bool m_Extension = false;
  bool m_Oracle = false;
  bool m_Access = false;
  bool m_MsSql = false;
  bool m_SqlServerOther = false;
  SQLHENV m_Env = SQL_NULL_HENV;
  SQLHDBC m_Dbc = SQL_NULL_HDBC;
  SQLHSTMT m_Stmt = SQL_NULL_HSTMT;
  std::string m_ConnectString;      // as last set, trimmed
  std::string m_SafeConnectString;  // completed string of the last connection, without password
  double m_Bounds[4] = {0.0, 0.0, 0.0, 0.0};
  std::string m_LastError;
  // SQL_DBMS_NAME as the driver gave it at the last detection, for the
  // message that refuses a server of no known family.
  std::string m_DriverDbmsName;
};
