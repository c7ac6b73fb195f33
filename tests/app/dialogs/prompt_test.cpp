// The data-source prompt over a driver manager that knows two data sources.
#include <cstdlib>
#include <sstream>

#include "app/OdbcConnection.h"
#include "dialog_fixture.h"
#include "platform/odbc_prompt.h"
#include "platform/ui/datasource.h"

namespace {

class PromptTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    qltest::WriteFile(dir / "odbc.ini", "[a]\nDriver=none\n\n[b]\nDriver=none\n");
    qltest::WriteFile(dir / "odbcinst.ini", "");
    setenv("ODBCSYSINI", dir.path().c_str(), 1);
    setenv("ODBCINI", (dir / "user.ini").c_str(), 1);
    ui::InstallDataSourcePrompt();
  }
  void TearDown() override {
    platform::SetDataSourcePrompt(nullptr);
    DialogTest::TearDown();
  }
};

TEST_F(PromptTest, ListsTheDataSourcesAndBuildsTheConnectString) {
  const struct {
    const char* script;
    std::optional<std::string> answer;
  } cases[] = {
      {"select 1201 1\nset 1202 u\nset 1203 p;q\nclick 1\n", "DSN=b;UID=u;PWD={p;q}"},
      {"set 1202 {x}\nclick 1\n", "DSN=a;UID={{x}}};PWD="},
      {"set 1204 DRIVER=/x.so;A=1\nclick 1\n", "DRIVER=/x.so;A=1"},
      {"set 1202 u\nclick 2\n", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Script(c.script);
    EXPECT_EQ(platform::PromptDataSource(nullptr), c.answer);
  }
  EXPECT_EQ(ui::ListDataSources(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(PromptTest, CancelEndsTheConnectQuietly) {
  Script("click 2\n");
  COdbcConnection connection;
  std::ostringstream log;
  connection.SetLogStream(&log);
  EXPECT_FALSE(connection.Connect(""));
  EXPECT_EQ(Lines("dialog 240"), (std::vector<std::string>{"dialog 240 open", "dialog 240 end 2"}));
  EXPECT_TRUE(Lines("box").empty());
  EXPECT_EQ(log.str(), "");
}

}  // namespace
