// Shared set-up of the ODBC connection tests.
#include "connection_fixture.h"

#include "app/ResourceLibrary.h"
#include "app/UploadUi.h"
#include "platform/odbc_prompt.h"

void ConnectionTest::SetUp() {
  static bool loaded = AppResources().Load(QL_RES_PATH);
  ASSERT_TRUE(loaded) << "cannot load " << QL_RES_PATH;
  tracePath = dir.File("trace.jsonl");
  upload::SetBoxHook([this](int captionId, const std::string& text, upload::BoxIcon, bool) {
    boxes.push_back(CapturedBox{captionId, text});
    return true;
  });
}

void ConnectionTest::TearDown() {
  upload::SetBoxHook(nullptr);
  platform::SetDataSourcePrompt(nullptr);
  COdbcConnection::SetAllocHandleHook(nullptr);
}

std::string ConnectionTest::Cs(std::vector<std::pair<std::string, std::string>> attrs) const {
  attrs.emplace_back("TRACE", tracePath);
  return testodbc::ConnectString(attrs);
}

bool ConnectionTest::Open(COdbcConnection& c, std::vector<std::pair<std::string, std::string>> attrs) {
  c.SetLogStream(&log);
  c.SetConnectString(Cs(std::move(attrs)));
  return c.Connect("");
}

std::vector<testodbc::TraceEntry> ConnectionTest::Trace() const {
  std::string error;
  auto t = testodbc::ReadTrace(tracePath, &error);
  EXPECT_EQ("", error);
  testodbc::NormalizeHandles(&t);
  return t;
}

bool ConnectionTest::SelectOne(COdbcConnection& c) {
  bool ok = c.ExecSql("select 1", c.GetStmtHandle());
  SQLFreeStmt(c.GetStmtHandle(), SQL_CLOSE);
  SQLFreeStmt(c.GetStmtHandle(), SQL_UNBIND);
  return ok;
}
