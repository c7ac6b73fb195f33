// The upload database of a COdbcConnection: the uploader's view of the ODBC
// connection, its standing statement and its dialect operations.
#include <memory>

#include "app/OdbcConnection.h"
#include "app/OdbcUploader.h"

namespace {

using namespace upload;

// Until the connection offers statement execution, every statement fails
// with a clear message.
class COdbcUploadDb : public CUploadDb {
 public:
  explicit COdbcUploadDb(CDbConnection* connection) : m_Conn(*connection) {}

  CDbConnection& Base() override { return m_Conn; }
  SqlFamily Family() override {
    SqlFamily f;
    f.informix = m_Conn.IsInformix();
    f.oracle = m_Conn.IsOracle();
    f.access = m_Conn.IsAccess();
    f.sqlServer = m_Conn.IsSqlServer();
    f.extension = m_Conn.HasSpatialExtension();
    return f;
  }
  bool IsSqlServerFamily() override { return m_Conn.IsSqlServer(); }
  int ExtensionVersion() override { return 0; }
  bool SupportsSetProjection() override { return false; }
  bool ResetStatement() override { return Fail(); }
  bool Exec(const std::string&) override { return Fail(); }
  bool ExecAndFetch(const std::string&, bool) override { return Fail(); }
  bool Prepare(const std::string&) override { return Fail(); }
  bool ExecuteRow(std::vector<BoundValue>&) override { return Fail(); }
  bool SetAutoCommit(bool) override { return Fail(); }
  bool Commit() override { return Fail(); }
  void GetBounds(double b[4]) override {
    for (int i = 0; i < 4; ++i) b[i] = m_Bounds[i];
  }
  void SetBounds(const double b[4]) override {
    for (int i = 0; i < 4; ++i) m_Bounds[i] = b[i];
  }
  bool ListColumns(const std::string&, const std::string&, std::vector<TargetColumn>&) override { return Fail(); }
  bool DropTable(const std::string&, const std::string&) override { return Fail(); }
  bool DespatializeColumn(const std::string&, const std::string&) override { return true; }
  bool SpatializeColumn(const std::string&, const std::string&) override { return Fail(); }
  bool CreateIndex(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return Fail();
  }
  bool CreateXYIndexes(const std::string&, const std::string&, const std::string&, const std::string&) override {
    return Fail();
  }
  bool CreateKeyIndex(const std::string&, const std::string&, const std::string&) override { return Fail(); }
  bool CreateSpatialIndex(const std::string&, const std::string&, const std::string&) override { return Fail(); }
  void LockTable(const std::string&, const std::string&) override {}
  int NextKey(const std::string&, CUploadOptions*) override { return 0; }
  void ResolveTableOwner(std::string&) override {}

 private:
  bool Fail() {
    m_Conn.GetLastErrorRef() = "the ODBC connection cannot run statements";
    return false;
  }
  CDbConnection& m_Conn;
  double m_Bounds[4] = {0, 0, 0, 0};
};

}  // namespace

namespace {

UploadDbFactory& Factory() {
  static UploadDbFactory factory;
  return factory;
}

}  // namespace

void SetUploadDbFactory(UploadDbFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<CUploadDb> MakeOdbcUploadDb(CDbConnection* connection) {
  if (Factory()) return Factory()(connection);
  return std::make_unique<COdbcUploadDb>(connection);
}
