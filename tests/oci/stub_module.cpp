// Stub of the OCI upload module (CVOraSp.so): both factories, a connection of
// kind 2 and an uploader that upload nothing. Every call is appended as one
// line to the file named by QL_OCI_STUB_LOG, so tests can read what the
// program asked of the module and in which order.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "kernel/tables/api/TableReader.h"

namespace {

void Record(const std::string& line) {
  const char* path = std::getenv("QL_OCI_STUB_LOG");
  if (path == nullptr || path[0] == '\0') return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

class CStubOciConnection : public CDbConnection {
 public:
  CStubOciConnection() { OciToolkit = true; }
  ~CStubOciConnection() override { Record(std::string("~CStubOciConnection Quiet=") + (Quiet ? "1" : "0")); }

  void CheckCatalog() override { Record("CheckCatalog"); }
  void Reserved1() override { Record("Reserved1"); }
  int GetKind() override { return 2; }
  std::string& GetConnectStringRef() override {
    Record("GetConnectStringRef");
    return m_connect;
  }
  bool ReadCatalogEntry(const std::string& table, CUploadOptions*) override {
    Record("ReadCatalogEntry(" + table + ")");
    return false;
  }
  bool Connect(const std::string& text) override {
    Record("Connect(" + text + ")");
    m_error = "the stub module does not connect";
    return false;
  }
  bool HasSpatialExtension() override { return true; }
  std::string GetSafeConnectString() override { return m_connect; }
  void SetConnectString(const std::string& text) override {
    Record("SetConnectString(" + text + ")");
    m_connect = text;
  }
  bool IsOracle() override { return true; }
  bool WantsSrid() override { return true; }
  bool IsSqlServer() override { return false; }
  bool IsInformix() override { return false; }
  bool IsAccess() override { return false; }
  std::string& GetLastErrorRef() override { return m_error; }
  void ClearLastError() override { m_error.clear(); }
  void SetLogStream(std::ostream* stream) override {
    Record(stream != nullptr ? "SetLogStream(stream)" : "SetLogStream(null)");
    CDbConnection::SetLogStream(stream);
  }
  bool CreateCatalog() override {
    Record("CreateCatalog");
    return false;
  }
  int CountCatalogRows() override { return 0; }
  bool CatalogExists() override { return false; }
  bool DeleteCatalogEntry(const std::string& owner, const std::string& table) override {
    Record("DeleteCatalogEntry(" + owner + "," + table + ")");
    return false;
  }
  bool ListOwnersInto(std::string*, int* count) override {
    if (count != nullptr) *count = 0;
    return true;
  }
  bool ListOwners(std::vector<std::string>&) override { return false; }
  bool ListTablesInto(const std::string&, std::string*, int* count) override {
    if (count != nullptr) *count = 0;
    return true;
  }
  bool ListTables(const std::string&, std::vector<std::string>&) override { return false; }
  int Reserved2() override { return 0; }
  bool Reserved3(void*, void*) override { return false; }
  bool ListSchemas(std::vector<std::string>&) override { return false; }

 private:
  std::string m_connect;
  std::string m_error;
};

class CStubOciUploader : public CUploader {
 public:
  explicit CStubOciUploader(CTableReader* reader) : m_reader(reader) {}
  ~CStubOciUploader() override { Record("~CStubOciUploader"); }
  bool Run(const std::string& target, CUploadOptions*, int* rows) override {
    Record("Run(" + target + ") rows=" + std::to_string(m_reader != nullptr ? m_reader->GetRowCount() : -1));
    if (rows != nullptr) *rows = 0;
    return true;
  }
  std::string Message() override { return std::string(); }

 private:
  CTableReader* m_reader;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) CDbConnection* Create_CCVOCIConn(void* resourceModule) {
  bool hasTable = resourceModule != nullptr && dlsym(resourceModule, "qlres_resources") != nullptr;
  Record(std::string("Create_CCVOCIConn resources=") + (hasTable ? "qlres" : "none"));
  return new CStubOciConnection();
}

#ifndef QL_STUB_NO_UPLOAD
extern "C" __attribute__((visibility("default"))) CUploader* Create_CCVOCIUpload(CDbConnection* connection,
                                                                                 CTableReader* reader) {
  Record(std::string("Create_CCVOCIUpload kind=") + std::to_string(connection != nullptr ? connection->GetKind() : -1));
  return new CStubOciUploader(reader);
}
#endif
