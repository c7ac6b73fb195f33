// Base behaviour of the connection and uploader interfaces, the null uploader
// and the two factories.
#include "app/DbConnection.h"

#include <new>

#include "app/OciModule.h"
#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"
#include "app/Text.h"

CDbConnection::~CDbConnection() = default;
int CDbConnection::GetKind() { return 0; }
bool CDbConnection::Connect(const std::string&) { return false; }

void CDbConnection::SetLogStream(std::ostream* stream) {
  if (stream != nullptr) LogStream = stream;
}

void CDbConnection::SetUserName(const std::string& name) { UserName = TrimWhite(name); }

CUploader::~CUploader() = default;

bool CNullUploader::Run(const std::string&, CUploadOptions*, int* rows) {
  if (rows != nullptr) *rows = 0;
  return true;
}

std::string CNullUploader::Message() { return std::string(); }

CDbConnection* CreateConnection(int kind) {
  switch (kind) {
    case 1:
      return new (std::nothrow) COdbcConnection();
    case 2:
      return CreateOciConnection();
    default:
      return nullptr;
  }
}

CUploader* CreateUploader(CDbConnection* connection, CTableReader* reader) {
  int kind = connection != nullptr ? connection->GetKind() : 0;
  switch (kind) {
    case 1:
      return new (std::nothrow) COdbcUploader(connection, reader);
    case 2:
      return CreateOciUploader(connection, reader);
    default:
      return new (std::nothrow) CNullUploader();
  }
}
