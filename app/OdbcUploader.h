// The ODBC uploader: creates, fills, indexes and catalogues one target table
// through an ODBC connection.
#pragma once

#include <string>

#include "app/DbConnection.h"

class COdbcUploader : public CUploader {
 public:
  COdbcUploader(CDbConnection* connection, CTableReader* reader);
  ~COdbcUploader() override;

  bool Run(const std::string& target, CUploadOptions* options, int* rows) override;
  std::string Message() override;

 protected:
  CDbConnection* m_Connection;
  CTableReader* m_Reader;
  std::string m_Message;
};
