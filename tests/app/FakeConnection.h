// A scripted connection for tests: every slot answers from public fields and
// every call is recorded in order, so tests can drive the dialogs and the
// upload run without a database.
#pragma once

#include <string>
#include <vector>

#include "app/DbConnection.h"

class CFakeConnection : public CDbConnection {
 public:
  // Answers.
  int Kind = 1;
  bool ConnectResult = true;
  bool Extension = true;
  bool Oracle = false, SqlServer = false, Informix = false, Access = false, Srid = false;
  bool CatalogPresent = true;
  bool CreateCatalogResult = true;
  int CatalogRows = 0;
  bool DeleteResult = true;
  std::vector<std::string> DeleteFailures;  // tables whose delete fails
  std::vector<std::string> Owners, Tables, Schemas;
  bool ReadCatalogResult = true;
  std::string ConnectString, LastError;
  // On Connect: the texts the connection then describes.
  std::string ConnectDbms = "Fake DBMS", ConnectDatabase = "fakedb", ConnectUser = "fakeuser";
  bool* DestroyedFlag = nullptr;  // set true by the destructor

  std::vector<std::string> Calls;

  ~CFakeConnection() override {
    if (DestroyedFlag != nullptr) *DestroyedFlag = true;
  }

  void CheckCatalog() override { Calls.push_back("CheckCatalog"); }
  void Reserved1() override { Calls.push_back("Reserved1"); }
  int GetKind() override { return Kind; }
  std::string& GetConnectStringRef() override { return ConnectString; }
  bool ReadCatalogEntry(const std::string& table, CUploadOptions*) override {
    Calls.push_back("ReadCatalogEntry " + table);
    return ReadCatalogResult;
  }
  bool Connect(const std::string& text) override {
    Calls.push_back("Connect " + text);
    if (ConnectResult) {
      DbmsName = ConnectDbms;
      DatabaseName = ConnectDatabase;
      UserName = ConnectUser;
    }
    return ConnectResult;
  }
  bool HasSpatialExtension() override { return Extension; }
  std::string GetSafeConnectString() override { return ConnectString; }
  void SetConnectString(const std::string& text) override {
    Calls.push_back("SetConnectString " + text);
    ConnectString = text;
  }
  bool IsOracle() override { return Oracle; }
  bool WantsSrid() override { return Srid; }
  bool IsSqlServer() override { return SqlServer; }
  bool IsInformix() override { return Informix; }
  bool IsAccess() override { return Access; }
  std::string& GetLastErrorRef() override { return LastError; }
  void ClearLastError() override { LastError.clear(); }
  bool CreateCatalog() override {
    Calls.push_back("CreateCatalog");
    if (CreateCatalogResult) CatalogPresent = true;
    return CreateCatalogResult;
  }
  int CountCatalogRows() override { return CatalogRows; }
  bool CatalogExists() override { return CatalogPresent; }
  bool DeleteCatalogEntry(const std::string& owner, const std::string& table) override {
    Calls.push_back("DeleteCatalogEntry " + owner + "." + table);
    for (const std::string& t : DeleteFailures)
      if (t == table) return false;
    return DeleteResult;
  }
  bool ListOwnersInto(std::string* owners, int* count) override {
    return FillInto(Owners, owners, count);
  }
  bool ListOwners(std::vector<std::string>& owners) override {
    owners = Owners;
    return true;
  }
  bool ListTablesInto(const std::string& owner, std::string* tables, int* count) override {
    Calls.push_back("ListTablesInto " + owner);
    return FillInto(Tables, tables, count);
  }
  bool ListTables(const std::string& owner, std::vector<std::string>& tables) override {
    Calls.push_back("ListTables " + owner);
    tables = Tables;
    return true;
  }
  int Reserved2() override { return 0; }
  bool Reserved3(void*, void*) override { return false; }
  bool ListSchemas(std::vector<std::string>& schemas) override {
    schemas = Schemas;
    return true;
  }

 private:
  static bool FillInto(const std::vector<std::string>& from, std::string* into, int* count) {
    int n = 0;
    if (into != nullptr)
      for (const std::string& s : from) into[n++] = s;
    if (count != nullptr) *count = n;
    return true;
  }
};
