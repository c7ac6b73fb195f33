// The column list, About box, catalogue browser and Oracle login dialogs.
#include <sstream>

#include "app/AboutDlg.h"
#include "app/CatalogDlg.h"
#include "app/ColumnListDlg.h"
#include "app/OraLoginDlg.h"
#include "dialog_fixture.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi.h"

namespace {

class SmallDialogsTest : public DialogTest {};

TEST_F(SmallDialogsTest, ColumnListShowsNamesTypesAndIndexMarks) {
  const struct {
    const char* script;
    std::vector<bool> after;  // SetColumnIndexed results
  } cases[] = {
      {"check 1100 0 0\ncheck 1100 1 1\nclick 1\n", {false, true}},
      {"check 1100 0 0\ncheck 1100 1 1\nclick 2\n", {true, false}},
      {"click 1\n", {true, false}},
  };
  ASSERT_EQ(ReaderApiInit(TABAPI_VERSION), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    qltest::WriteFile(dir / "roads.fxt", "fxt 1\ncolumn NAME char 20 0 1\ncolumn POP integer 4 0 0\n");
    std::unique_ptr<CTableReader> reader(CreateTableReader());
    ASSERT_TRUE(reader->Open(dir / "roads.fxt", 0));
    CColumnListDlg probe;
    probe.m_Reader = reader.get();
    ASSERT_TRUE(probe.Create());
    EXPECT_EQ(probe.GetDlgItem(1105).GetWindowText(), "roads");
    ui::Control list = probe.GetDlgItem(1100);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetText(0), "NAME    " + LoadResString(213) + "(20)");
    EXPECT_EQ(list.GetText(1).substr(0, 7), "POP    ");
    EXPECT_EQ(list.GetItemCheck(0), 1);
    EXPECT_EQ(list.GetItemCheck(1), 0);
    EXPECT_EQ(list.GetCurSel(), 0);
    probe.DestroyWindow();

    Script(c.script);
    CColumnListDlg dlg;
    dlg.Edit(reader.get());
    EXPECT_EQ(reader->IsColumnIndexed(0), c.after[0]);
    EXPECT_EQ(reader->IsColumnIndexed(1), c.after[1]);
    reader->Close();
  }
  TabApiTerminate();
}

TEST_F(SmallDialogsTest, AboutShowsProductLineAndLegalNotice) {
  CAboutDlg about("Corvane Quendalour", "2.5.1", "Copyright (C) Corvane");
  ASSERT_TRUE(about.Create());
  EXPECT_EQ(about.GetDlgItem(1122).GetWindowText(), "Corvane Quendalour Version 2.5.1\nCopyright (C) Corvane");
}

// The catalogue browser over a fake connection in either form.
class CatalogTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    conn.UserName = "bob";
    conn.Owners = {"alice", "bob", "carol"};
    conn.Tables = {"t1", "t2", "t3"};
    conn.CatalogRows = 3;
    conn.LogStream = &log;
    conn.LastError = "[fake] locked";
  }
  std::vector<std::string> Items(CCatalogDlg& dlg, int id) {
    std::vector<std::string> out;
    ui::Control c = dlg.GetDlgItem(id);
    for (int i = 0; i < c.GetCount(); ++i) out.push_back(c.GetText(i));
    return out;
  }
  CFakeConnection conn;
  std::ostringstream log;
};

TEST_F(CatalogTest, DefaultOwnerIsChosenAndItsTablesListed) {
  const struct {
    bool sqlServer;
    double version;
    std::string user, schema, chosen;
  } cases[] = {
      {false, 0, "bob", "", "bob"},
      {true, 9.0, "bob", "carol", "carol"},
      {true, 8.0, "bob", "carol", "bob"},
      {false, 0, "BOB", "", "alice"},  // exact comparison; no match takes the first
  };
  for (const auto& c : cases) {
    conn.SqlServer = c.sqlServer;
    conn.DbmsVersion = c.version;
    conn.UserName = c.user;
    conn.DefaultSchema = c.schema;
    conn.Calls.clear();
    CCatalogDlg dlg;
    dlg.m_Connection = &conn;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(Items(dlg, 1118), conn.Owners);
    EXPECT_EQ(dlg.GetDlgItem(1118).GetWindowText(), c.chosen);
    EXPECT_EQ(dlg.m_CurrentOwner, c.chosen);
    EXPECT_EQ(conn.Calls, std::vector<std::string>{"ListTables " + c.chosen});
    EXPECT_EQ(Items(dlg, 1111), conn.Tables);
    EXPECT_FALSE(dlg.GetDlgItem(ui::IDOK).IsWindowEnabled());
  }
}

TEST_F(CatalogTest, EmptyCatalogueShowsNothingAndCannotDelete) {
  conn.Owners.clear();
  CCatalogDlg dlg;
  dlg.m_Connection = &conn;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.GetDlgItem(1118).GetCount(), 0);
  EXPECT_EQ(dlg.GetDlgItem(1111).GetCount(), 0);
  EXPECT_FALSE(dlg.GetDlgItem(ui::IDOK).IsWindowEnabled());
}

TEST_F(CatalogTest, FailedDeleteKeepsItsItemSelectedAndIsReportedOnce) {
  const std::string text = LoadResString(225) + "bob.t2.\n\n[fake] locked";
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet);
    ui::headless::ClearTranscript();
    log.str("");
    conn.Quiet = quiet;
    conn.DeleteFailures = {"t2"};
    conn.Calls.clear();
    CCatalogDlg dlg;
    dlg.m_Connection = &conn;
    ASSERT_TRUE(dlg.Create());
    dlg.UserSelect(1111, {0, 1, 2});
    EXPECT_TRUE(dlg.GetDlgItem(ui::IDOK).IsWindowEnabled());
    dlg.UserClick(ui::IDOK);
    EXPECT_EQ(std::vector<std::string>(conn.Calls.begin() + 1, conn.Calls.end()),
              (std::vector<std::string>{"DeleteCatalogEntry bob.t3", "DeleteCatalogEntry bob.t2",
                                        "DeleteCatalogEntry bob.t1"}));
    EXPECT_EQ(Items(dlg, 1111), std::vector<std::string>{"t2"});
    EXPECT_EQ(dlg.GetDlgItem(1111).GetSelItems(), std::vector<int>{0});
    EXPECT_TRUE(dlg.GetDlgItem(ui::IDOK).IsWindowEnabled());
    EXPECT_FALSE(dlg.Ended());  // the browser stays open
    std::vector<std::string> want;
    if (!quiet) want.push_back(BoxLine(186, "error", text));
    EXPECT_EQ(Lines("box"), want);
    EXPECT_EQ(log.str(), "\n\n" + text + "\n");
  }
}

TEST_F(CatalogTest, OwnerChangeRefillsTheTablesAndDisablesDelete) {
  Script("select 1111 0\nselect 1118 2\nclick 2\n");
  CCatalogDlg dlg;
  conn.Calls.clear();
  EXPECT_EQ(dlg.Run(&conn), IDCANCEL);
  EXPECT_EQ(dlg.m_CurrentOwner, "carol");
  EXPECT_EQ(conn.Calls, (std::vector<std::string>{"ListTables bob", "ListTables carol"}));
  EXPECT_EQ(dlg.GetDlgItem(1111).GetSelCount(), 0);
  EXPECT_FALSE(dlg.GetDlgItem(ui::IDOK).IsWindowEnabled());
}

// An OCI-form connection that fills exactly the rows it reports: the owner
// storage must hold the row count, the table storage ten more.
class COciFake : public CFakeConnection {
 public:
  COciFake() { OciToolkit = true; }
  bool ListOwnersInto(std::string* owners, int* count) override {
    Calls.push_back("ListOwnersInto");
    for (int i = 0; i < CatalogRows; ++i) owners[i] = i < static_cast<int>(Owners.size()) ? Owners[i] : "x";
    *count = static_cast<int>(Owners.size());
    return true;
  }
  bool ListTablesInto(const std::string& owner, std::string* tables, int* count) override {
    Calls.push_back("ListTablesInto " + owner);
    for (int i = 0; i < CatalogRows + 10; ++i) {
      tables[i] = "T";
      tables[i] += std::to_string(i);
    }
    *count = CatalogRows + 10;
    return true;
  }
};

TEST_F(CatalogTest, OciFormSizesItsArraysByTheRowCount) {
  COciFake oci;
  oci.UserName = "carol";
  oci.Owners = {"alice", "carol"};
  oci.CatalogRows = 2;
  CCatalogDlg dlg;
  dlg.m_Connection = &oci;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.m_EntryCount, 2);
  EXPECT_EQ(Items(dlg, 1118), oci.Owners);
  EXPECT_EQ(dlg.m_CurrentOwner, "carol");
  EXPECT_EQ(dlg.GetDlgItem(1111).GetCount(), 12);
  dlg.UserSelect(1118, {0});
  EXPECT_EQ(oci.Calls, (std::vector<std::string>{"ListOwnersInto", "ListTablesInto carol", "ListTablesInto alice"}));
  EXPECT_EQ(dlg.GetDlgItem(1111).GetCount(), 12);
}

TEST_F(CatalogTest, OciFormWithoutRowsAsksForNothing) {
  COciFake oci;
  oci.CatalogRows = 0;
  CCatalogDlg dlg;
  dlg.m_Connection = &oci;
  ASSERT_TRUE(dlg.Create());
  EXPECT_TRUE(oci.Calls.empty());
  EXPECT_EQ(dlg.GetDlgItem(1118).GetCount(), 0);
}

TEST_F(SmallDialogsTest, OracleLoginGivesTheConnectText) {
  Script("set 1048 scott\nleave 1048\nset 1050 tiger\nset 1052 orcl\nclick 1\n");
  COraLoginDlg login;
  EXPECT_EQ(login.DoModal(), IDOK);
  EXPECT_EQ(login.ConnectText(), "scott/tiger@orcl");
}

TEST_F(SmallDialogsTest, OracleButtonConnectsWithTheLoginOrFallsBack) {
  const struct {
    const char* script;
    std::string connected;  // connect text, or "" when the attempt was dropped
  } cases[] = {
      {"set 1048 scott\nset 1050 tiger\nset 1052 orcl\nclick 1\n", "scott/tiger@orcl"},
      {"set 1048 scott\nclick 2\n", ""},
  };
  for (const auto& c : cases) {
    CTestLoaderDlg dlg;
    dlg.m_LogPath = dir / "run.log";
    ASSERT_TRUE(dlg.Create());
    CFakeConnection* odbc = dlg.Prepare();
    dlg.OnOdbcConnect();
    CFakeConnection* oci = dlg.Prepare();
    Script(c.script);
    dlg.OnOracleConnect();
    EXPECT_EQ(dlg.kinds, (std::vector<int>{1, 2}));
    if (c.connected.empty()) {
      EXPECT_EQ(dlg.m_Connection, odbc);
      EXPECT_FALSE(dlg.m_Options.OciConnection);
    } else {
      EXPECT_EQ(dlg.m_Connection, oci);
      EXPECT_EQ(oci->Calls.at(0), "Connect " + c.connected);
      EXPECT_TRUE(dlg.m_Options.OciConnection);
    }
  }
}

TEST_F(SmallDialogsTest, CommandLineOracleConnectUsesItsOwnConnectString) {
  CTestLoaderDlg dlg;
  dlg.m_LogPath = dir / "run.log";
  auto* oci = new CFakeConnection;  // as /O made it
  oci->Kind = 2;
  oci->ConnectString = "scott/tiger@orcl";
  dlg.m_Connection = oci;
  dlg.m_Options.CommandLineRun = true;
  dlg.m_Options.OciOnCommandLine = true;
  ASSERT_TRUE(dlg.Create());
  EXPECT_EQ(dlg.m_Connection, oci);
  EXPECT_TRUE(dlg.kinds.empty());
  EXPECT_EQ(oci->Calls.at(0), "Connect scott/tiger@orcl");
  EXPECT_TRUE(Lines("dialog 145").empty());
  EXPECT_TRUE(dlg.m_Options.OciConnection);
  EXPECT_FALSE(dlg.m_Options.OciOnCommandLine);
  EXPECT_FALSE(dlg.m_Options.CommandLineRun);
}

}  // namespace
