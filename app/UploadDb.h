// What the ODBC uploader needs of its connection besides the virtual
// operations of CDbConnection: the server family, statement execution on the
// standing statement, the prepared INSERT, transactions, the stored bounds and
// the dialect operations. COdbcConnection serves it through an adapter
// (OdbcUploadDb.cpp); tests may serve it with a fake.
#pragma once

#include <string>
#include <vector>

#include "app/RowValues.h"
#include "app/UploadStatements.h"

class CDbConnection;
class CUploadOptions;

namespace upload {

// A column of the target table as the driver lists it.
struct TargetColumn {
  std::string name;
  std::string typeName;
  long size = 0;  // -1: the driver gives none (no size to compare)
  int decimals = 0;
};

class CUploadDb {
 public:
  virtual ~CUploadDb() = default;

  virtual CDbConnection& Base() = 0;
  virtual SqlFamily Family() = 0;
  virtual bool IsSqlServerFamily() = 0;  // Microsoft SQL Server
  virtual int ExtensionVersion() = 0;
  virtual bool SupportsSetProjection() = 0;

  // A new standing statement; false with the last error set when none can
  // be had.
  virtual bool ResetStatement() = 0;
  // Logs and runs a statement on the standing statement, then closes and
  // unbinds its cursor.
  virtual bool Exec(const std::string& sql) = 0;
  // As Exec, and fetches one row: with `fetchCounts` a missing row is a
  // failure, otherwise the fetch's outcome is ignored.
  virtual bool ExecAndFetch(const std::string& sql, bool fetchCounts) = 0;

  // The row statement: prepared once, executed per row with the row's values
  // (bound, executed, then parameters reset and the cursor closed).
  virtual bool Prepare(const std::string& sql) = 0;
  virtual bool ExecuteRow(std::vector<BoundValue>& values) = 0;

  virtual bool SetAutoCommit(bool on) = 0;
  virtual bool Commit() = 0;

  virtual void GetBounds(double bounds[4]) = 0;
  virtual void SetBounds(const double bounds[4]) = 0;

  // The target's columns in order (no owner on Access); false when the
  // driver cannot list them.
  virtual bool ListColumns(const std::string& owner, const std::string& table, std::vector<TargetColumn>& out) = 0;

  // Dialect operations, owner first.
  virtual bool DropTable(const std::string& owner, const std::string& table) = 0;
  virtual bool DespatializeColumn(const std::string& owner, const std::string& table) = 0;
  virtual bool SpatializeColumn(const std::string& owner, const std::string& table) = 0;
  virtual bool CreateIndex(const std::string& owner, const std::string& table, const std::string& column,
                           const std::string& suffix) = 0;
  virtual bool CreateXYIndexes(const std::string& owner, const std::string& table, const std::string& x,
                               const std::string& y) = 0;
  virtual bool CreateKeyIndex(const std::string& owner, const std::string& table, const std::string& column) = 0;
  virtual bool CreateSpatialIndex(const std::string& owner, const std::string& table,
                                  const std::string& column) = 0;
  virtual void LockTable(const std::string& owner, const std::string& table) = 0;
  virtual int NextKey(const std::string& table, CUploadOptions* options) = 0;
  virtual void ResolveTableOwner(std::string& table) = 0;
};

}  // namespace upload
