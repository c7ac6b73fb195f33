// The factories that choose a connection or uploader by connection kind.
#include <new>

#include "app/DbConnection.h"
#include "app/OciModule.h"
#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"

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
