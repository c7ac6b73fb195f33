// The main dialog over fake connections: tables, target names, modes,
// connecting and falling back, the catalogue button, closing.
#include "app/OciModule.h"
#include "dialog_fixture.h"

namespace {

class MainDialogTest : public DialogTest {
 protected:
  // Opens the dialog without a loop; the log goes to the test directory.
  void Open(CTestLoaderDlg& dlg) {
    dlg.m_LogPath = dir / "run.log";
    ASSERT_TRUE(dlg.Create());
  }
  // Connects through the ODBC button with a fresh fake.
  CFakeConnection* Connect(CTestLoaderDlg& dlg) {
    CFakeConnection* c = dlg.Prepare();
    dlg.OnOdbcConnect();
    return c;
  }
  std::string Log(CTestLoaderDlg& dlg) {
    dlg.m_Log.flush();
    return qltest::ReadFile(dlg.m_LogPath);
  }
  static bool Enabled(CLoaderDlg& dlg, int id) { return dlg.GetDlgItem(id).IsWindowEnabled(); }
};

TEST_F(MainDialogTest, AddedTablesBecomeJobRowsAndEnableTheButtonsTheyAllow) {
  const struct {
    bool connected;
    const char* files;  // script answer of the file chooser
    std::vector<std::string> names;
    bool upload, mode, merge;
  } cases[] = {
      {true, "files /d/Roads.TAB", {"Roads"}, true, true, false},
      {true, "files /d/a.tab|/e/b.x.tab", {"a", "b.x"}, true, true, true},
      {false, "files /d/a.tab|/e/b.tab", {"a", "b"}, false, false, false},
      {true, "files", {}, false, false, false},  // cancelled, nothing listed
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.files);
    CTestLoaderDlg dlg;
    Open(dlg);
    if (c.connected) Connect(dlg);
    Script(c.files);
    dlg.OnAddTables();
    ASSERT_EQ(dlg.m_Jobs.size(), c.names.size());
    ui::Control list = dlg.GetDlgItem(kIdTables);
    ASSERT_EQ(list.GetCount(), static_cast<int>(c.names.size()));
    for (size_t i = 0; i < c.names.size(); ++i) {
      EXPECT_EQ(list.GetText(static_cast<int>(i)), c.names[i]);
      EXPECT_EQ(dlg.m_Jobs[i].TableName, c.names[i]);
      EXPECT_EQ(dlg.m_Jobs[i].TargetName, c.names[i]);
      EXPECT_EQ(dlg.m_Jobs[i].FirstRow, 1);
      EXPECT_EQ(dlg.m_Jobs[i].LastRow, 0);
    }
    if (!c.names.empty()) {
      EXPECT_EQ(dlg.m_Options.JobCount, static_cast<int>(c.names.size()));
      EXPECT_EQ(list.GetCurSel(), 0);
      EXPECT_EQ(dlg.GetDlgItem(kIdTarget).GetWindowText(), c.names[0]);
    }
    EXPECT_EQ(Enabled(dlg, kIdUpload), c.upload);
    EXPECT_EQ(Enabled(dlg, kIdMode), c.mode);
    EXPECT_EQ(Enabled(dlg, kIdMerge), c.merge);
  }
}

TEST_F(MainDialogTest, LeavingTheTargetEditKeepsTheNameUnlessItIsEmpty) {
  const struct {
    const char* typed;
    const char* kept;
  } cases[] = {{"", "b"}, {"ROADS_2", "ROADS_2"}};
  for (const auto& c : cases) {
    CTestLoaderDlg dlg;
    Open(dlg);
    Connect(dlg);
    Script("files /d/a.tab|/d/b.tab");
    dlg.OnAddTables();
    dlg.UserSelect(kIdTables, {1});
    EXPECT_EQ(dlg.GetDlgItem(kIdTarget).GetWindowText(), "b");
    dlg.UserSetText(kIdTarget, c.typed);
    dlg.UserLeave(kIdTarget);
    EXPECT_EQ(dlg.m_Jobs[1].TargetName, c.kept);
    EXPECT_EQ(dlg.m_Jobs[0].TargetName, "a");
  }
}

TEST_F(MainDialogTest, ModeEntriesSetTheModeFlagsAndAnEditRestoresTheSelection) {
  const struct {
    int entry;
    bool append, create, replace;
  } cases[] = {{0, true, true, false}, {1, false, true, false}, {2, false, false, true}};
  for (const auto& c : cases) {
    CTestLoaderDlg dlg;
    Open(dlg);
    ui::Control mode = dlg.GetDlgItem(kIdMode);
    ASSERT_EQ(mode.GetCount(), 3);
    EXPECT_EQ(mode.GetText(c.entry), LoadResString(206 + c.entry));
    dlg.UserSelect(kIdMode, {c.entry});
    EXPECT_EQ(dlg.m_Options.Append, c.append);
    EXPECT_EQ(dlg.m_Options.Create, c.create);
    EXPECT_EQ(dlg.m_Options.Replace, c.replace);
    dlg.UserSetText(kIdMode, "typed");
    EXPECT_EQ(mode.GetCurSel(), c.entry);
    EXPECT_EQ(mode.GetWindowText(), LoadResString(206 + c.entry));
  }
}

TEST_F(MainDialogTest, OracleButtonFollowsTheModule) {
  for (bool withStub : {false, true}) {
    bool loaded = withStub ? LoadOciModuleFrom(QL_OCI_STUB_DIR) : LoadOciModuleFrom(dir.path());
    ASSERT_EQ(loaded, withStub);
    CTestLoaderDlg dlg;
    dlg.m_OciLoaded = loaded;
    Open(dlg);
    EXPECT_EQ(Enabled(dlg, kIdOracleConnect), withStub);
    UnloadOciModule();
  }
}

TEST_F(MainDialogTest, FailedSecondConnectKeepsTheFirstConnectionAndItsTexts) {
  CTestLoaderDlg dlg;
  Open(dlg);
  CFakeConnection* first = Connect(dlg);
  ASSERT_EQ(dlg.m_Connection, first);
  bool secondGone = false;
  CFakeConnection* second = dlg.Prepare();
  second->ConnectResult = false;
  second->DestroyedFlag = &secondGone;
  dlg.OnOdbcConnect();
  EXPECT_EQ(dlg.m_Connection, first);
  EXPECT_EQ(dlg.m_PrevConnection, nullptr);
  EXPECT_TRUE(secondGone);
  EXPECT_EQ(dlg.GetDlgItem(kIdUserName).GetWindowText(), "fakeuser");
  EXPECT_EQ(dlg.GetDlgItem(kIdDbmsName).GetWindowText(), "Fake DBMS");
  EXPECT_EQ(dlg.GetDlgItem(kIdDatabaseName).GetWindowText(), "fakedb");
  EXPECT_TRUE(Enabled(dlg, kIdOptions));
  EXPECT_TRUE(Enabled(dlg, kIdAddTables));
}

TEST_F(MainDialogTest, FailedFirstConnectLeavesNoConnectionAndDisablesItsButtons) {
  CTestLoaderDlg dlg;
  Open(dlg);
  dlg.Prepare()->ConnectResult = false;
  dlg.m_Options.CommitInterval = 5;
  dlg.OnOdbcConnect();
  EXPECT_EQ(dlg.m_Connection, nullptr);
  EXPECT_EQ(dlg.GetDlgItem(kIdDbmsName).GetWindowText(), "");
  for (int id : {kIdOptions, kIdUpload, kIdAddTables, kIdCatalog}) EXPECT_FALSE(Enabled(dlg, id)) << id;
  EXPECT_EQ(dlg.m_Options.CommitInterval, 1000);  // reset in an interactive run
}

TEST_F(MainDialogTest, InteractiveConnectResetsTheOptionsButKeepsJobsAndMode) {
  CTestLoaderDlg dlg;
  dlg.m_Jobs = {{"/d/a.tab", "a", "a", 1, 0}, {"/d/b.tab", "b", "b", 1, 0}, {"/d/c.tab", "c", "c", 1, 0}};
  dlg.m_Options.JobCount = 3;
  Open(dlg);
  dlg.UserSelect(kIdMode, {2});
  dlg.m_Options.CommitInterval = 5;
  dlg.m_Options.GrantPublic = true;
  CFakeConnection* c = Connect(dlg);
  EXPECT_EQ(c->Calls.front(), "Connect ");
  EXPECT_EQ(c->ParentWindow, static_cast<ui::CDialog*>(&dlg));
  EXPECT_EQ(dlg.m_Options.CommitInterval, 1000);
  EXPECT_FALSE(dlg.m_Options.GrantPublic);
  EXPECT_EQ(dlg.m_Options.JobCount, 3);
  EXPECT_TRUE(dlg.m_Options.Replace);
  EXPECT_FALSE(dlg.m_Options.Create);
  EXPECT_TRUE(Enabled(dlg, kIdUpload));
}

TEST_F(MainDialogTest, CommandLineConnectKeepsItsOptionsAndEndsTheCommandLineState) {
  CTestLoaderDlg dlg;
  auto* c = new CFakeConnection;  // as /S made it
  dlg.m_Connection = c;
  dlg.m_Options.CommandLineRun = true;
  dlg.m_Options.OdbcOnCommandLine = true;
  dlg.m_Options.CommitInterval = 5;
  dlg.m_Options.GrantPublic = true;
  Open(dlg);
  EXPECT_EQ(dlg.m_Connection, c);  // the /S connection is used, no new one
  EXPECT_TRUE(dlg.kinds.empty());
  EXPECT_EQ(dlg.m_Options.CommitInterval, 5);
  EXPECT_TRUE(dlg.m_Options.GrantPublic);
  EXPECT_FALSE(dlg.m_Options.CommandLineRun);
  EXPECT_FALSE(dlg.m_Options.OdbcOnCommandLine);
}

TEST_F(MainDialogTest, AfterConnectAdjustsTheOptionsToTheServer) {
  const struct {
    bool extension, noRendition, sqlServer;
    int kindBefore, kindAfter;
  } cases[] = {
      {false, false, false, 1, 2}, {false, false, true, 3, 3}, {false, true, false, 2, 2},
      {true, true, true, 1, 1},    {true, false, false, 3, 3},
  };
  for (const auto& c : cases) {
    CTestLoaderDlg dlg;
    Open(dlg);
    dlg.m_Options.CommandLineRun = true;  // keep the options through the connect
    dlg.m_Options.StorageKind = c.kindBefore;
    CFakeConnection* f = dlg.Prepare();
    f->Extension = c.extension;
    f->NoRenditionColumns = c.noRendition;
    f->SqlServer = c.sqlServer;
    dlg.OnOdbcConnect();
    EXPECT_EQ(f->Calls.at(1), "CheckCatalog");
    EXPECT_EQ(dlg.m_Options.StorageKind, c.kindAfter);
    EXPECT_EQ(dlg.m_Options.HasExtension, c.extension);
    EXPECT_EQ(dlg.m_Options.StyleEnabled, !c.noRendition);
    EXPECT_EQ(dlg.m_Options.IsSqlServerTarget, c.sqlServer);
  }
}

TEST_F(MainDialogTest, CatalogueButtonIsOffOnlyForAnExistingEmptyCatalogue) {
  const struct {
    bool exists;
    int rows;
    bool enabled;
  } cases[] = {{true, 0, false}, {true, 1, true}, {false, 0, true}};
  for (const auto& c : cases) {
    CTestLoaderDlg dlg;
    Open(dlg);
    CFakeConnection* f = dlg.Prepare();
    f->CatalogPresent = c.exists;
    f->CatalogRows = c.rows;
    dlg.OnOdbcConnect();
    EXPECT_EQ(Enabled(dlg, kIdCatalog), c.enabled) << c.exists << c.rows;
  }
}

TEST_F(MainDialogTest, CreatingTheCatalogueIsReportedAndLogged) {
  const std::string created = LoadResString(228);
  const std::string failed = LoadResString(148) + ".\n\n[fake] no rights";
  const struct {
    bool result;
    bool quietDialog, quietConnection;
    std::vector<std::string> boxes;
    std::string logged;
    bool buttonAfter;
  } cases[] = {
      {true, false, false, {BoxLine(196, "information", created)}, created, false},
      {false, false, false, {BoxLine(186, "error", failed)}, failed, true},
      {false, true, false, {}, failed, true},
      {true, false, true, {}, created, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    ui::headless::ClearTranscript();
    CTestLoaderDlg dlg;
    dlg.m_Quiet = c.quietDialog;
    Open(dlg);
    CFakeConnection* f = dlg.Prepare();
    f->CatalogPresent = false;
    f->CreateCatalogResult = c.result;
    f->LastError = "[fake] no rights";
    f->Quiet = c.quietConnection;
    dlg.OnOdbcConnect();
    EXPECT_TRUE(Enabled(dlg, kIdCatalog));
    dlg.UserClick(kIdCatalog);
    EXPECT_EQ(Lines("box"), c.boxes);
    EXPECT_EQ(Log(dlg), "\n\n" + c.logged + "\n");
    EXPECT_EQ(Enabled(dlg, kIdCatalog), c.buttonAfter);
  }
}

TEST_F(MainDialogTest, ClosingGivesZeroOnlyForAnEmptyJobList) {
  const struct {
    const char* script;
    bool commandLineError;
    int result;
  } cases[] = {
      {"close\n", false, 0},
      {"close\n", true, -1},
      {"click 1008\nclick 1005\nfiles /d/a.tab\nclose\n", false, -1},
      {"click 1008\nclick 1005\nfiles /d/a.tab\nclick 2\n", false, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Script(c.script);
    CTestLoaderDlg dlg;
    dlg.Prepare();
    dlg.m_LogPath = dir / "run.log";
    dlg.m_CommandLineError = c.commandLineError;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_Result, c.result);
    EXPECT_EQ(dlg.m_Connection, nullptr);
    EXPECT_TRUE(errors.empty()) << errors.front();
  }
}

TEST_F(MainDialogTest, ScriptCannotClickAButtonThatIsOff) {
  Script("click 1005\n");  // add tables before connecting
  CTestLoaderDlg dlg;
  dlg.m_LogPath = dir / "run.log";
  EXPECT_EQ(dlg.DoModal(), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("control 1005 is disabled"), std::string::npos) << errors[0];
}

TEST_F(MainDialogTest, InvalidStorageKindEndsTheDialogWithFive) {
  CTestLoaderDlg dlg;
  dlg.m_LogPath = dir / "run.log";
  dlg.m_Options.StorageKind = -1;
  EXPECT_EQ(dlg.DoModal(), kEndInvalidOptions);
  EXPECT_EQ(dlg.m_Result, -1);
  EXPECT_EQ(qltest::ReadFile(dlg.m_LogPath), "\n\n" + LoadResString(199) + "\n");
}

TEST_F(MainDialogTest, SystemMenuShowsTheAboutBox) {
  Script("sys 16\nclose\nsys 17\nclose\nsys 40\nclose\n");
  CTestLoaderDlg dlg;
  dlg.m_LogPath = dir / "run.log";
  dlg.m_ProductName = "Corvane Quendalour";
  dlg.m_ProductVersion = "1.0";
  dlg.DoModal();
  ASSERT_EQ(dlg.SystemMenu().size(), 1u);
  EXPECT_EQ(dlg.SystemMenu()[0], std::make_pair(kCmdAbout, LoadResString(101)));
  EXPECT_EQ(Lines("dialog 100 open").size(), 2u);
  EXPECT_EQ(dlg.IconId(), 131);
}

}  // namespace
