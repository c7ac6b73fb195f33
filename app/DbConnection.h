// The connection and uploader interfaces, the null uploader and the two
// factories that choose an implementation by connection kind. The OCI module
// builds against this header: the slot order of the virtual operations and
// the member layout of CDbConnection are its contract.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

class CUploadOptions;
class CTableReader;
class CProgressCtrl;  // the main dialog's progress bar (dialog layer)

class CDbConnection {
 public:
  CDbConnection() = default;
  CDbConnection(const CDbConnection&) = delete;
  CDbConnection& operator=(const CDbConnection&) = delete;

  virtual ~CDbConnection();                                                      // 0
  virtual void CheckCatalog() = 0;                                               // 1
  virtual void Reserved1() = 0;                                                  // 2
  virtual int GetKind();                                                         // 3
  virtual std::string& GetConnectStringRef() = 0;                                // 4
  virtual bool ReadCatalogEntry(const std::string& table, CUploadOptions* options) = 0;  // 5
  virtual bool Connect(const std::string& connectText);                          // 6
  virtual bool HasSpatialExtension() = 0;                                        // 7
  virtual std::string GetSafeConnectString() = 0;                                // 8
  virtual void SetConnectString(const std::string& text) = 0;                    // 9
  virtual bool IsOracle() = 0;                                                   // 10
  virtual bool WantsSrid() = 0;                                                  // 11
  virtual bool IsSqlServer() = 0;                                                // 12
  virtual bool IsInformix() = 0;                                                 // 13
  virtual bool IsAccess() = 0;                                                   // 14
  virtual std::string& GetLastErrorRef() = 0;                                    // 15
  virtual void ClearLastError() = 0;                                             // 16
  virtual void SetLogStream(std::ostream* stream);                               // 17
  virtual bool CreateCatalog() = 0;                                              // 18
  virtual int CountCatalogRows() = 0;                                            // 19
  virtual bool CatalogExists() = 0;                                              // 20
  virtual bool DeleteCatalogEntry(const std::string& owner, const std::string& table) = 0;  // 21
  // Fills caller-sized storage; `count` receives the number of entries filled.
  virtual bool ListOwnersInto(std::string* owners, int* count) = 0;             // 22
  virtual bool ListOwners(std::vector<std::string>& owners) = 0;                 // 23
  virtual bool ListTablesInto(const std::string& owner, std::string* tables, int* count) = 0;  // 24
  virtual bool ListTables(const std::string& owner, std::vector<std::string>& tables) = 0;    // 25
  virtual int Reserved2() = 0;                                                   // 26
  virtual bool Reserved3(void* first, void* second) = 0;                         // 27
  virtual bool ListSchemas(std::vector<std::string>& schemas) = 0;               // 28

  void SetQuiet(bool quiet) { Quiet = quiet; }
  bool IsQuiet() const { return Quiet; }
  std::string GetDbmsName() const { return DbmsName; }
  std::string GetDatabaseName() const { return DatabaseName; }
  std::string GetUserName() const { return UserName; }
  std::string GetDefaultSchema() const { return DefaultSchema; }
  std::string GetQueryText() const { return QueryText; }
  std::string& GetSpatialTypeRef() { return SpatialTypeCode; }
  std::string& GetDriverVersionRef() { return DriverVersion; }
  double GetDbmsVersion() const { return DbmsVersion; }
  // Stores the name trimmed of white space at both ends.
  void SetUserName(const std::string& name);
  void SetConnectText(const std::string& text) { SetConnectString(text); }

  void* ParentWindow = nullptr;  // owner of any prompt shown while connecting
  bool NoRenditionColumns = false;
  std::ostream* LogStream = nullptr;  // the run log, not owned
  std::string QueryText;
  std::string DbmsName;
  std::string DatabaseName;
  std::string UserName;
  std::string SpatialTypeCode;
  bool OciToolkit = false;
  double DbmsVersion = 0.0;
  std::string DefaultSchema;
  bool Quiet = false;
  std::string DriverVersion;
};

class CUploader {
 public:
  CUploader() = default;
  CUploader(const CUploader&) = delete;
  CUploader& operator=(const CUploader&) = delete;

  // Uploads one table into `target`; `rows` receives the rows uploaded.
  virtual bool Run(const std::string& target, CUploadOptions* options, int* rows) = 0;  // 0
  // The closing message (the registration table's file name).
  virtual std::string Message() = 0;                                                      // 1
  // Declared after Run and Message so that they keep slots 0 and 1.
  virtual ~CUploader();

  // Stores the progress bar unless it is null.
  void SetProgressControl(CProgressCtrl* progress) {
    if (progress != nullptr) Progress = progress;
  }

  int JobIndex = 0;  // index of the job row being uploaded
  CProgressCtrl* Progress = nullptr;
};

// Uploads nothing and succeeds: the uploader of any connection kind other
// than 1 (ODBC) and 2 (OCI module).
class CNullUploader : public CUploader {
 public:
  bool Run(const std::string& target, CUploadOptions* options, int* rows) override;
  std::string Message() override;
};

// Kind 1: a new ODBC connection; kind 2: the OCI module's connection (null
// without the module); any other kind: null.
CDbConnection* CreateConnection(int kind);
// By the connection's kind: the ODBC uploader, the OCI module's uploader (null
// without the module), otherwise a null uploader.
CUploader* CreateUploader(CDbConnection* connection, CTableReader* reader);
