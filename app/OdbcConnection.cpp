// The ODBC connection (skeleton: connecting is not yet wired to the driver
// manager, so Connect fails with a logged reason).
#include "app/OdbcConnection.h"

#include <ostream>

#include "app/Text.h"

COdbcConnection::COdbcConnection() = default;
COdbcConnection::~COdbcConnection() = default;

void COdbcConnection::CheckCatalog() {}
void COdbcConnection::Reserved1() {}
int COdbcConnection::GetKind() { return 1; }
std::string& COdbcConnection::GetConnectStringRef() { return m_ConnectString; }
bool COdbcConnection::ReadCatalogEntry(const std::string&, CUploadOptions*) { return false; }

bool COdbcConnection::Connect(const std::string&) {
  m_LastError = "ODBC connections are not available in this build";
  if (LogStream != nullptr) *LogStream << "\n\n" << m_LastError << "\n" << std::flush;
  return false;
}

bool COdbcConnection::HasSpatialExtension() { return false; }
std::string COdbcConnection::GetSafeConnectString() { return m_SafeConnectString; }

void COdbcConnection::SetConnectString(const std::string& text) {
  m_ConnectString = TrimWhite(text);
  m_SafeConnectString = m_ConnectString;
}

bool COdbcConnection::IsOracle() { return false; }
bool COdbcConnection::WantsSrid() { return false; }
bool COdbcConnection::IsSqlServer() { return false; }
bool COdbcConnection::IsInformix() { return false; }
bool COdbcConnection::IsAccess() { return false; }
std::string& COdbcConnection::GetLastErrorRef() { return m_LastError; }
void COdbcConnection::ClearLastError() { m_LastError.clear(); }
bool COdbcConnection::CreateCatalog() { return false; }
int COdbcConnection::CountCatalogRows() { return 0; }
bool COdbcConnection::CatalogExists() { return false; }
bool COdbcConnection::DeleteCatalogEntry(const std::string&, const std::string&) { return false; }
bool COdbcConnection::ListOwnersInto(std::string*, int*) { return false; }
bool COdbcConnection::ListOwners(std::vector<std::string>&) { return false; }
bool COdbcConnection::ListTablesInto(const std::string&, std::string*, int*) { return false; }
bool COdbcConnection::ListTables(const std::string&, std::vector<std::string>&) { return false; }
int COdbcConnection::Reserved2() { return 0; }
bool COdbcConnection::Reserved3(void*, void*) { return false; }
bool COdbcConnection::ListSchemas(std::vector<std::string>&) { return false; }
