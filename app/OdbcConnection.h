// The ODBC connection: the connection of kind 1.
#pragma once

#include <string>
#include <vector>

#include "app/DbConnection.h"

class COdbcConnection : public CDbConnection {
 public:
  COdbcConnection();
  ~COdbcConnection() override;

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

 protected:
  std::string m_ConnectString;      // as last set, trimmed
  std::string m_SafeConnectString;  // without password
  std::string m_LastError;
};
