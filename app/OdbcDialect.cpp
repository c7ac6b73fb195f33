// Dialect operations of the ODBC connection (placeholders until the dialect
// operations are written: each reports that it cannot run).
#include "app/OdbcConnection.h"

namespace {

bool NotAvailable(std::string& lastError) {
  lastError = "this dialect operation is not available yet";
  return false;
}

}  // namespace

bool COdbcConnection::DropTable(const std::string&, const std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::DespatializeColumn(const std::string&, const std::string&) { return true; }
bool COdbcConnection::SpatializeColumn(const std::string&, const std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::CreateIndex(std::string&, std::string&, std::string&, const std::string&) {
  return NotAvailable(m_LastError);
}
bool COdbcConnection::CreateUniqueIndex(std::string&, std::string&, std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::CreateXYIndexes(std::string&, std::string&, std::string&, std::string&) {
  return NotAvailable(m_LastError);
}
bool COdbcConnection::CreateKeyIndex(std::string&, std::string&, std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::CreateSpatialIndex(std::string&, std::string&, std::string&) { return NotAvailable(m_LastError); }
bool COdbcConnection::UpdateStatistics(std::string&, std::string&) { return true; }
void COdbcConnection::LockTable(const std::string&, const std::string&) {}
int COdbcConnection::NextKey(const std::string&, CUploadOptions*) { return 0; }
void COdbcConnection::ResolveTableOwner(std::string&) {}
bool COdbcConnection::GetPrimaryKeyColumn(const std::string&, std::string&) { return false; }
