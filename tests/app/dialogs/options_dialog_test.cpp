// The options dialog: the controls each connection allows, what OK copies
// back into the main dialog's options, validation and help context.
#include <filesystem>
#include <functional>

#include "app/OptionsDlg.h"
#include "dialog_fixture.h"

namespace {

class OptionsDialogTest : public DialogTest {
 protected:
  // A main dialog with a connection, ready to open the options dialog.
  CFakeConnection* OpenMain(CTestLoaderDlg& dlg) {
    dlg.m_LogPath = dir / "run.log";
    dlg.m_ExeDir = dir.path() + "/";
    EXPECT_TRUE(dlg.Create());
    auto* c = dlg.Prepare();
    dlg.OnOdbcConnect();
    return c;
  }
};

struct OptionsCase {
  const char* name;
  std::function<void(CFakeConnection&, CUploadOptions&)> setup;
  std::vector<int> enabled, disabled, checked, unchecked;
  std::function<void(const CUploadOptions&)> afterOk;
};

TEST_F(OptionsDialogTest, ControlsFollowTheConnectionAndOkCopiesBack) {
  const OptionsCase cases[] = {
      {"no extension, kind 1",
       [](CFakeConnection&, CUploadOptions& o) {
         o.HasExtension = false;
         o.StorageKind = 1;
       },
       {1069, 1070},
       {1088},
       {1069},
       {1088, 1070},
       [](const CUploadOptions& o) { EXPECT_EQ(o.StorageKind, 2); }},
      {"extension, kind 3",
       [](CFakeConnection&, CUploadOptions& o) { o.StorageKind = 3; },
       {1088, 1070},
       {},
       {1070},
       {1088, 1069},
       [](const CUploadOptions& o) { EXPECT_EQ(o.StorageKind, 3); }},
      {"Oracle button",
       [](CFakeConnection&, CUploadOptions& o) {
         o.OciConnection = true;
         o.StorageKind = 1;
       },
       {1088},
       {1069, 1070},
       {1088},
       {1069, 1070},
       [](const CUploadOptions& o) { EXPECT_EQ(o.StorageKind, 1); }},
      {"append",
       [](CFakeConnection&, CUploadOptions& o) {
         o.Append = true;
         o.StyleColumn = "MINE";
       },
       {1088},
       {1083, 1085, 1086},
       {1083, 1085},
       {},
       [](const CUploadOptions& o) {
         EXPECT_TRUE(o.KeyConstraint);
         EXPECT_TRUE(o.StyleEnabled);
         EXPECT_EQ(o.StyleColumn, "CV_STYLE");
       }},
      {"styles off",
       [](CFakeConnection&, CUploadOptions& o) { o.StyleEnabled = false; },
       {1085},
       {1086},
       {},
       {1085},
       [](const CUploadOptions& o) { EXPECT_FALSE(o.StyleEnabled); }},
      {"not SQL Server 9.0",
       [](CFakeConnection& c, CUploadOptions& o) {
         c.DbmsVersion = 8.0;
         o.IsSqlServerTarget = true;
         o.Owner = "sales";
       },
       {1091},
       {1119, 1120},
       {},
       {},
       [](const CUploadOptions& o) { EXPECT_EQ(o.Owner, ""); }},
      {"SQL Server 9.0, key on spatial column",
       [](CFakeConnection& c, CUploadOptions& o) {
         c.DbmsVersion = 9.0;
         c.DefaultSchema = "dbo";
         c.Schemas = {"CORVANE", "sales"};
         o.IsSqlServerTarget = true;
         o.IdentityKey = true;
       },
       {1091, 1119, 1120},
       {1083},
       {1091},
       {},
       [](const CUploadOptions& o) {
         EXPECT_EQ(o.Owner, "dbo");
         EXPECT_TRUE(o.IdentityKey);
       }},
      {"flags from the options block",
       [](CFakeConnection&, CUploadOptions& o) {
         o.GrantPublic = true;
         o.SkipKeyRefresh = false;
         o.SpatialIndex = false;
         o.IndexColumns = true;
         o.AllowTemporal = false;
         o.CommitInterval = 77;
       },
       {1082, 1064, 1084, 1099, 1121},
       {1091},
       {1082, 1099},
       {1064, 1084, 1121},
       [](const CUploadOptions& o) {
         EXPECT_TRUE(o.GrantPublic);
         EXPECT_FALSE(o.SkipKeyRefresh);
         EXPECT_FALSE(o.SpatialIndex);
         EXPECT_TRUE(o.IndexColumns);
         EXPECT_FALSE(o.AllowTemporal);
         EXPECT_EQ(o.CommitInterval, 77);
       }},
  };
  for (const OptionsCase& c : cases) {
    SCOPED_TRACE(c.name);
    CTestLoaderDlg main;
    CFakeConnection* conn = OpenMain(main);
    c.setup(*conn, main.m_Options);

    COptionsDlg probe(conn, &main);
    probe.m_Options = &main.m_Options;
    ASSERT_TRUE(probe.Create());
    for (int id : c.enabled) EXPECT_TRUE(probe.GetDlgItem(id).IsWindowEnabled()) << id;
    for (int id : c.disabled) EXPECT_FALSE(probe.GetDlgItem(id).IsWindowEnabled()) << id;
    for (int id : c.checked) EXPECT_EQ(probe.GetDlgItem(id).GetCheck(), 1) << id;
    for (int id : c.unchecked) EXPECT_EQ(probe.GetDlgItem(id).GetCheck(), 0) << id;
    EXPECT_EQ(main.m_Options.HelpContext, kHelpOptions);
    probe.DestroyWindow();

    Script("click 1\n");
    main.OnOptions();
    EXPECT_EQ(Lines("dialog 202 end"), std::vector<std::string>{"dialog 202 end 1"});
    c.afterOk(main.m_Options);
    EXPECT_EQ(main.m_Options.HelpContext, kHelpMain);
    ui::headless::ClearTranscript();
  }
}

TEST_F(OptionsDialogTest, OwnerComboListsTheSchemasAndTheDefaultOne) {
  const struct {
    std::vector<std::string> schemas;
    std::string owner;
    std::vector<std::string> items;
    std::string selected;
  } cases[] = {
      {{"CORVANE", "sales"}, "", {"CORVANE", "sales", "dbo"}, "dbo"},
      {{"CORVANE", "DBO"}, "", {"CORVANE", "DBO"}, "DBO"},
      {{"CORVANE", "sales"}, "SALES", {"CORVANE", "sales", "dbo"}, "sales"},
      {{"CORVANE", "sales"}, "gone", {"CORVANE", "sales", "dbo"}, "dbo"},
  };
  for (const auto& c : cases) {
    CTestLoaderDlg main;
    CFakeConnection* conn = OpenMain(main);
    conn->DbmsVersion = 9.0;
    conn->DefaultSchema = "dbo";
    conn->Schemas = c.schemas;
    main.m_Options.IsSqlServerTarget = true;
    main.m_Options.Owner = c.owner;
    COptionsDlg dlg(conn, &main);
    dlg.m_Options = &main.m_Options;
    ASSERT_TRUE(dlg.Create());
    ui::Control combo = dlg.GetDlgItem(1119);
    std::vector<std::string> items;
    for (int i = 0; i < combo.GetCount(); ++i) items.push_back(combo.GetText(i));
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(combo.GetWindowText(), c.selected);
  }
}

TEST_F(OptionsDialogTest, TemporalLabelNamesTheServer) {
  const struct {
    std::function<void(CFakeConnection&)> server;
    int label;
  } cases[] = {
      {[](CFakeConnection& c) { c.SqlServer = true; }, 129},
      {[](CFakeConnection& c) { c.Access = true; }, 129},
      {[](CFakeConnection& c) { c.Informix = true; }, 103},
      {[](CFakeConnection& c) { c.Oracle = true; }, 131},
  };
  for (const auto& c : cases) {
    CTestLoaderDlg main;
    CFakeConnection* conn = OpenMain(main);
    c.server(*conn);
    COptionsDlg dlg(conn, &main);
    dlg.m_Options = &main.m_Options;
    ASSERT_TRUE(dlg.Create());
    EXPECT_EQ(dlg.GetDlgItem(1121).GetWindowText(), LoadResString(c.label));
  }
}

TEST_F(OptionsDialogTest, BadTextsGiveOnePromptAndKeepTheDialogOpen) {
  const struct {
    std::string script;
    int prompt;
  } cases[] = {
      {"set 1087 abc\n", 303},
      {"set 1087 12x\n", 303},
      {"set 1087 99999999999\n", 303},
      {"set 1086 " + std::string(33, 'S') + "\n", 304},
      // The style column stands bare in CREATE TABLE and INSERT.
      {"set 1086 S,EXTRA\n", 320},
      {"set 1086 A;B\n", 320},
      {"set 1086 A B\n", 320},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    ui::headless::ClearTranscript();
    CTestLoaderDlg main;
    OpenMain(main);
    main.m_Options.CommitInterval = 42;
    Script(c.script + "click 1\nclick 2\n");
    main.OnOptions();
    std::vector<std::string> boxes = Lines("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("caption=195 icon=warning"), std::string::npos);
    EXPECT_NE(boxes[0].find(LoadResString(c.prompt)), std::string::npos);
    EXPECT_EQ(Lines("dialog 202 end"), std::vector<std::string>{"dialog 202 end 2"});  // closed by Cancel
    EXPECT_EQ(main.m_Options.CommitInterval, 42);
  }
}

TEST_F(OptionsDialogTest, AcceptedTextsAreCopiedBack) {
  CTestLoaderDlg main;
  OpenMain(main);
  Script("set 1087  -25 \nset 1086 " + std::string(32, 'S') + "\nclick 1\n");
  main.OnOptions();
  EXPECT_EQ(main.m_Options.CommitInterval, -25);
  EXPECT_EQ(main.m_Options.StyleColumn, std::string(32, 'S'));
  EXPECT_TRUE(Lines("box").empty());
}

TEST_F(OptionsDialogTest, HelpUsesContext200WhileOpenAnd100After) {
  std::filesystem::create_directories(dir / "help");
  qltest::WriteFile(dir / "help/options.html", "<html></html>");
  qltest::WriteFile(dir / "help/index.html", "<html></html>");
  CTestLoaderDlg main;
  OpenMain(main);
  Script("help\nclick 1098\nclick 2\n");
  main.OnOptions();
  EXPECT_EQ(Lines("help"), (std::vector<std::string>{"help 200", "help 200"}));
  main.UserHelp();
  main.UserClick(kIdHelp);
  EXPECT_EQ(Lines("help"), (std::vector<std::string>{"help 200", "help 200", "help 100", "help 100"}));
}

TEST_F(OptionsDialogTest, MissingHelpPageGivesAnErrorBox) {
  CTestLoaderDlg main;
  OpenMain(main);
  main.UserClick(kIdHelp);
  std::vector<std::string> boxes = Lines("box");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("caption=186 icon=error"), std::string::npos);
  EXPECT_NE(boxes[0].find("help/index.html"), std::string::npos);
  EXPECT_TRUE(Lines("help").empty());
}

}  // namespace
