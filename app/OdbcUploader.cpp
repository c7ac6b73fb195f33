// The ODBC uploader (skeleton: uploads nothing and reports failure).
#include "app/OdbcUploader.h"

COdbcUploader::COdbcUploader(CDbConnection* connection, CTableReader* reader)
    : m_Connection(connection), m_Reader(reader) {}
COdbcUploader::~COdbcUploader() = default;

bool COdbcUploader::Run(const std::string&, CUploadOptions*, int* rows) {
  if (rows != nullptr) *rows = 0;
  return false;
}

std::string COdbcUploader::Message() { return m_Message; }
