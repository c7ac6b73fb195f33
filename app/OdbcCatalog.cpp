// Spatial catalogue maintenance of the ODBC connection (placeholders until
// the catalogue operations are written: each reports that it cannot run).
#include "app/OdbcConnection.h"

namespace {

bool NotAvailable(std::string& lastError) {
  lastError = "the catalogue operations are not available yet";
  return false;
}

}  // namespace

void COdbcConnection::CheckCatalog() { NoRenditionColumns = false; }
bool COdbcConnection::ReadCatalogEntry(const std::string&, CUploadOptions*) { return NotAvailable(m_LastError); }
bool COdbcConnection::CreateCatalog() { return NotAvailable(m_LastError); }
int COdbcConnection::CountCatalogRows() { return 0; }
bool COdbcConnection::CatalogExists() { return NotAvailable(m_LastError); }
bool COdbcConnection::DeleteCatalogEntry(const std::string&, const std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::ListOwners(std::vector<std::string>&) { return NotAvailable(m_LastError); }
bool COdbcConnection::ListTables(const std::string&, std::vector<std::string>&) { return NotAvailable(m_LastError); }
bool COdbcConnection::ListSchemas(std::vector<std::string>&) { return NotAvailable(m_LastError); }
bool COdbcConnection::LoginExists(const std::string&) { return false; }
bool COdbcConnection::UserExists(const std::string&) { return false; }
bool COdbcConnection::SchemaExists(const std::string&) { return false; }
bool COdbcConnection::CreateSchemaFor(const std::string&, const std::string&) { return NotAvailable(m_LastError); }
