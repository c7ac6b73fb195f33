// Statement texts of the ODBC uploader: CREATE TABLE and INSERT of a target
// table, the catalogue row, the projection call, the grant, the existence
// test and the link query. Pure functions of the server family, the source
// columns and the upload settings, so every form can be checked without a
// database.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace upload {

// Value type codes of source columns as the table reader reports them.
enum : int {
  kValueChar = 1,
  kValueDecimal = 2,
  kValueInteger = 3,
  kValueSmallInt = 4,
  kValueDate = 5,
  kValueLogical = 6,
  kValueFloat = 8,
  kValueTime = 37,
  kValueDateTime = 38,
};

// What the builders need to know of the connected server.
struct SqlFamily {
  std::string quote;  // identifier quote: "", "\"" or "`"
  bool informix = false;
  bool db2 = false;
  bool oracle = false;
  bool access = false;
  bool sqlServer = false;       // Microsoft SQL Server
  bool sqlServerOther = false;  // the other SQL Server (SQS)
  bool extension = false;       // the spatial extension is installed
  std::map<int, std::string> typeNames;  // value type code -> DBMS type name

  std::string TypeNameFor(int type) const;
};

// One source column as the reader describes it.
struct UploadColumn {
  std::string name;
  int type = 0;
  int precision = 0;  // width, one less for a decimal with decimals
  int decimals = 0;
};

// The settings of one table's upload that shape its statements.
struct StatementSettings {
  std::string owner;
  std::string table;  // target table name, upper case, trimmed
  std::string styleColumn = "CV_STYLE";
  bool styleEnabled = true;
  int storageKind = 1;  // 1 spatial column, 2 code column, 3 X and Y
  int objectKind = -1;  // 0 points, 1 lines, 2 regions, 3 mixed
  bool keyConstraint = true;
  bool identityKey = true;
  bool mappable = true;
  std::string keySuffix;  // text ending key-constraint names
};

// Which source columns take part in the target table: a "qd_member" column is
// always left out, a "qd_geometry" column when the table is mappable. The
// create, insert, bind and compare steps all follow this one plan.
struct ColumnPlan {
  std::vector<bool> included;  // one per source column
  int memberPos = -1;
  int geometryPos = -1;
};
ColumnPlan PlanColumns(const std::vector<UploadColumn>& columns, bool mappable);

// Per-column value buffer kinds of the row binder.
enum class BufferKind { None, Date, Timestamp, Logical };

std::string ColumnTypeText(const SqlFamily& f, int type, int precision, int decimals);

// CREATE TABLE of the target; empty when the server cannot hold the object
// kind (other SQL Server with mixed objects).
std::string BuildCreateTable(const SqlFamily& f, const std::vector<UploadColumn>& columns,
                             const StatementSettings& s);

struct InsertStatement {
  std::string text;
  std::vector<BufferKind> buffers;  // one per source column
};
InsertStatement BuildInsertStatement(const SqlFamily& f, const std::vector<UploadColumn>& columns,
                                     const StatementSettings& s);

// Which trailing parameters the row binder binds after the source columns and
// the style column; mirrors the value list of the INSERT statement.
struct TrailingParams {
  bool key = false;       // 32-bit integer key
  bool record = false;    // object bytes (Informix, DB2, SQL Server families)
  bool xy = false;        // two doubles
  bool code = false;      // code key text
};
TrailingParams PlanTrailingParams(const SqlFamily& f, const StatementSettings& s);

// "select 1 from [owner.]table": tells whether the target exists.
std::string BuildExistenceTest(const SqlFamily& f, const std::string& owner, const std::string& table);
std::string BuildGrant(const SqlFamily& f, const std::string& owner, const std::string& table);
// The link query that the registration table records.
std::string BuildQueryText(const SqlFamily& f, const std::string& database, const std::string& owner,
                           const std::string& table);

// The catalogue row, as the uploader writes it.
struct CatalogRow {
  std::string spatialType;  // "14.0", "4.0", "1.0" ...
  std::string spatialColumn;
  double bounds[4] = {0, 0, 0, 0};  // x, y lower left; x, y upper right
  std::string coordSys;
  std::string symbol;
  std::string xColumn, yColumn;
  int renditionType = 1;
  std::string renditionColumn;
  std::string renditionTable;
};
// Fills spatial type, spatial column and X/Y column names from the storage
// kind, the server's spatial type code and the reader's object-kind text.
void SetCatalogStorage(CatalogRow& row, const SqlFamily& f, int storageKind, const std::string& typeCode,
                       const std::string& kindText);
std::string CatalogRef(const SqlFamily& f);
std::string BuildCatalogInsert(const SqlFamily& f, const CatalogRow& row, const std::string& table,
                               const std::string& owner, bool renditionColumns, bool styleEnabled);
std::string BuildCatalogUpdate(const SqlFamily& f, const CatalogRow& row, const std::string& table,
                               const std::string& owner, bool renditionColumns, bool styleEnabled);
std::string BuildCatalogBoundsUpdate(const SqlFamily& f, const double bounds[4], const std::string& table,
                                     const std::string& owner);
// The statement telling the spatial extension the table's coordinate system;
// empty for servers that take none.
std::string BuildSetProjection(const SqlFamily& f, const std::string& coordSys);

// Helpers shared with the row loop.
std::string FormatBound(double v);  // "%f", independent of the locale
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace upload
