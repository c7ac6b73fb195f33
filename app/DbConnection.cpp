// Base behaviour of the connection and uploader interfaces and the null
// uploader. Kept apart from the factories so that separately built modules
// (the OCI module) can compile it in without the program's implementations.
#include "app/DbConnection.h"

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
