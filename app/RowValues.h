// Parameter values of one row of the uploader's INSERT statement: the row
// text's TAB-separated fields turned into typed ODBC parameters, then the
// style clause and the object (key, spatial value, X/Y, code key) as the
// INSERT statement's value list expects them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "app/UploadStatements.h"

namespace upload {

// ODBC SQL types of the spatial columns that ODBC itself does not name.
constexpr SQLSMALLINT kSqlInformixUdt = -101;  // Informix variable-length user type
constexpr SQLSMALLINT kSqlDb2Blob = -98;       // DB2 BLOB

// One bound parameter with its own storage.
struct BoundValue {
  SQLSMALLINT cType = SQL_C_CHAR;
  SQLSMALLINT sqlType = SQL_CHAR;
  SQLULEN columnSize = 0;
  SQLSMALLINT decimals = 0;
  bool null = false;
  std::string text;  // SQL_C_CHAR
  SQL_TIMESTAMP_STRUCT timestamp{};
  SQL_DATE_STRUCT date{};
  SQLSMALLINT small = 0;
  SQLINTEGER integer = 0;
  double real = 0;
  const unsigned char* bytes = nullptr;  // SQL_C_BINARY, not owned
  SQLLEN byteCount = 0;
  SQLLEN indicator = 0;  // filled by Bind

  void* Data();
  SQLLEN BufferLength() const;
  // Binds the value as input parameter `number` of `stmt`.
  SQLRETURN Bind(SQLHSTMT stmt, SQLUSMALLINT number);
};

struct Today {
  int year = 1970, month = 1, day = 1;
};

// Everything about one row besides its text.
struct RowObject {
  int key = 0;
  const unsigned char* bytes = nullptr;  // record or blob, null when the row has none
  int size = 0;
  double x = 0, y = 0;
  std::string codeKey;
  bool noObject = false;  // the reader found no object in the row
  std::string styleClause;
};

struct RowContext {
  const SqlFamily* family = nullptr;
  const std::vector<UploadColumn>* columns = nullptr;
  const ColumnPlan* plan = nullptr;
  TrailingParams trailing;
  int storageKind = 1;
  bool mappable = true;
  bool styleEnabled = true;
  std::string defaultStyle;
  Today today;
};

// Fills `out` with the row's parameters in INSERT order. False with `error`
// set when the row text does not fit the columns (more or fewer fields) or a
// date or time field is not in its raw form.
bool BuildRowValues(const RowContext& ctx, const std::string& rowText, const RowObject& object,
                    std::vector<BoundValue>& out, std::string* error);

}  // namespace upload
