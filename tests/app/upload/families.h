// Server families as the test profiles present them to the statement
// builders and the row binder.
#pragma once

#include "app/UploadStatements.h"

namespace upload {

inline SqlFamily MsSql() {
  SqlFamily f;
  f.sqlServer = true;
  f.extension = true;
  f.typeNames = {{1, "varchar"}, {2, "decimal"}, {3, "int"}, {4, "smallint"}, {5, "datetime"},
                 {6, "smallint"}, {8, "float"}, {37, "datetime"}, {38, "datetime"}};
  return f;
}
inline SqlFamily Access() {
  SqlFamily f;
  f.access = true;
  f.quote = "`";
  f.typeNames = {{1, "VARCHAR"}, {2, "DOUBLE PRECISION"}, {3, "INTEGER"}, {4, "SMALLINT"}, {5, "DATETIME"},
                 {6, "SMALLINT"}, {8, "DOUBLE"}, {37, "DATETIME"}, {38, "DATETIME"}};
  return f;
}
inline SqlFamily Oracle() {
  SqlFamily f;
  f.oracle = true;
  f.quote = "\"";
  f.typeNames = {{1, "VARCHAR2"}, {2, "DECIMAL"}, {3, "INTEGER"}, {4, "SMALLINT"}, {5, "DATE"},
                 {6, "SMALLINT"}, {8, "FLOAT"}, {37, "TIMESTAMP(3)"}, {38, "TIMESTAMP(3)"}};
  return f;
}
inline SqlFamily Db2() {
  SqlFamily f;
  f.db2 = true;
  f.extension = true;
  f.quote = "\"";
  f.typeNames = {{1, "VARCHAR"}, {2, "DECIMAL"}, {3, "INTEGER"}, {4, "SMALLINT"}, {5, "DATE"},
                 {6, "SMALLINT"}, {8, "DOUBLE"}, {37, "TIMESTAMP"}, {38, "TIMESTAMP"}};
  return f;
}
inline SqlFamily Informix() {
  SqlFamily f;
  f.informix = true;
  f.extension = true;
  f.typeNames = {{1, "varchar"}, {2, "decimal"}, {3, "integer"}, {4, "smallint"}, {5, "date"},
                 {6, "smallint"}, {8, "float"}, {37, "datetime year to fraction(3)"},
                 {38, "datetime year to fraction(3)"}};
  return f;
}
inline SqlFamily Sqs() {
  SqlFamily f = MsSql();
  f.sqlServer = false;
  f.sqlServerOther = true;
  return f;
}

}  // namespace upload
