// The ODBC uploader: creates, replaces or appends to one target table, inserts
// the source table's rows with their objects, grants, registers and indexes
// the spatial column and writes the catalogue row.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "app/UploadDb.h"
#include "app/UploadStatements.h"

class CTableReader;
class CUploadOptions;

// String ids of the uploader's messages and log lines.
enum : int {
  kStrKeySuffix = 107,
  kStrDropFailed = 113,
  kStrColumnsDiffer = 114,
  kStrNoAppendTarget = 115,
  kStrBadSpatialIndex = 136,
  kStrRowTextLine = 137,
  kStrRowsRead = 138,
  kStrRowsInserted = 139,
  kStrRowFailed = 142,
  kStrRowText = 143,
  kStrReadFailed = 144,
  kStrCatalogued = 146,
  kStrCatalogFailed = 147,
  kStrManualCommit = 175,
  kStrAutoCommit = 176,
  kStrTargetExists = 177,
  kStrPrepareFailed = 178,
  kStrProjectionFailed = 179,
  kStrNoProjection = 180,
  kStrNoObject = 181,
  kStrProjectionSet = 182,
  kStrErrorCaption = 186,
  kStrNoStatement = 191,
  kStrSpatializeFailed = 194,
  kStrWarningCaption = 195,
  kStrIndexFailed = 212,
  kStrNoCatalog = 226,
  kStrBadTargetName = 320,
};

// The default symbol of lines and regions stored as X and Y or as a code.
constexpr const char* kDefaultPointSymbol = "Symbol (60,255,10,\"Corvane Cartographic\",0,0)";

class COdbcUploader : public CUploader {
 public:
  // For a COdbcConnection (the uploader of kind 1).
  COdbcUploader(CDbConnection* connection, CTableReader* reader);
  // Over any upload database (tests).
  COdbcUploader(std::unique_ptr<upload::CUploadDb> db, CTableReader* reader);
  ~COdbcUploader() override;

  bool Run(const std::string& target, CUploadOptions* options, int* rows) override;
  std::string Message() override;

  bool PrepareTarget(const std::string& target, CUploadOptions* options);
  bool CheckAppendTarget();
  bool CompareColumns();
  bool SetProjection();
  bool WriteCatalogEntry(CUploadOptions* options);
  bool UpdateCatalogBounds(double x1, double y1, double x2, double y2);
  bool InsertRows(CUploadOptions* options, double bounds[4], int* rows);

  int KeyBase() const { return m_KeyBase; }

 private:
  std::vector<upload::UploadColumn> SourceColumns();
  upload::StatementSettings Settings() const;
  upload::CatalogRow CatalogRowOf();
  bool BindAndExecuteRow(int key, const std::string& text, const unsigned char* object, int size, double cx,
                         double cy, const std::string& codeKey);
  // A box (unless the connection is quiet) and the run log.
  void Report(int captionId, const std::string& text, bool warning);
  void Log(const std::string& line);
  std::string& LastError();

  int m_ErrorId = 0;
  int16_t m_MemberPos = -1;
  int16_t m_GeometryPos = -1;
  int m_KeyBase = 0;
  std::string m_TableName;
  int m_RowsInserted = 0;
  std::string m_CatalogOwner = "CORVANE";
  std::string m_CatalogTable = "CORVANE_MAPCATALOG";

  std::unique_ptr<upload::CUploadDb> m_Db;
  CTableReader* m_Reader;
  CUploadOptions* m_Options = nullptr;
  upload::SqlFamily m_Family;
  std::vector<upload::UploadColumn> m_Columns;
  upload::ColumnPlan m_Plan;
  std::vector<upload::BoundValue> m_Values;
  bool m_Appending = false;  // the mode PrepareTarget chose is append
};

// The adapter of a COdbcConnection (OdbcUploadDb.cpp), or what the installed
// factory makes of the connection (tests); an empty factory restores the
// adapter.
using UploadDbFactory = std::function<std::unique_ptr<upload::CUploadDb>(CDbConnection*)>;
void SetUploadDbFactory(UploadDbFactory factory);
std::unique_ptr<upload::CUploadDb> MakeOdbcUploadDb(CDbConnection* connection);
