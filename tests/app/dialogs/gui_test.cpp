// The application's dialogs on a display (run under xvfb-run): each opens
// with every addressed control present and shown, and leaves a screenshot.
#include <FL/Fl.H>
#include <FL/Fl_Widget.H>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/AboutDlg.h"
#include "app/CatalogDlg.h"
#include "app/ColumnListDlg.h"
#include "app/OptionsDlg.h"
#include "app/OraLoginDlg.h"
#include "dialog_fixture.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi.h"
#include "platform/ui/datasource.h"
#include "platform/ui/fltk/asan_full_stacks.h"
#include "platform/ui/fltk/fltk_backend.h"

namespace {

class GuiTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    auto backend = ui::fltk::MakeBackend();
    ASSERT_TRUE(backend) << "display cannot be opened";
    ui::SetBackend(std::move(backend));
  }
  void TearDown() override {
    ui::SetBackend(ui::headless::MakeBackend());
    DialogTest::TearDown();
  }

  struct Job {
    ui::CDialog* dlg;
    std::string shot;
    std::vector<int> missing;
    bool saved = false;
  };
  // Polls until the backend reports a completed draw of the mapped window;
  // only then are the controls checked and the screenshot taken.
  static void CheckAndClose(void* data) {
    auto* j = static_cast<Job*>(data);
    if (ui::fltk::DrawCount(*j->dlg) == 0) {
      Fl::repeat_timeout(0.02, CheckAndClose, data);
      return;
    }
    for (const ui::ControlState& s : j->dlg->States()) {
      if (s.tpl.id == -1) continue;
      Fl_Widget* w = ui::fltk::WidgetOf(*j->dlg, s.tpl.id);
      if (!w || !w->visible_r()) j->missing.push_back(s.tpl.id);
    }
    j->saved = ui::fltk::SaveScreenshot(*j->dlg, j->shot);
    j->dlg->EndDialog(ui::IDCANCEL);
  }
  static void Guard(void* data) { static_cast<Job*>(data)->dlg->EndDialog(-2); }

  // Runs `dlg` modally; once its window is on the screen and drawn, checks
  // its controls, saves its screenshot and closes it.
  void Shoot(ui::CDialog& dlg, const std::string& name) {
    Job job{&dlg, (std::filesystem::current_path() / (name + ".png")).string(), {}, false};
    Fl::add_timeout(0.0, CheckAndClose, &job);
    Fl::add_timeout(60, Guard, &job);  // a window never drawn fails, not hangs
    EXPECT_EQ(dlg.DoModal(), ui::IDCANCEL) << name;
    Fl::remove_timeout(CheckAndClose, &job);
    Fl::remove_timeout(Guard, &job);
    EXPECT_TRUE(job.missing.empty()) << name << ": control " << job.missing.front() << " not shown";
    EXPECT_TRUE(job.saved) << name;
    EXPECT_GT(std::filesystem::file_size(job.shot), 1000u) << name;
  }
};

TEST_F(GuiTest, EveryDialogOpensWithItsControlsShown) {
  ASSERT_EQ(ReaderApiInit(TABAPI_VERSION), 1);
  qltest::WriteFile(dir / "roads.fxt", "fxt 1\ncolumn NAME char 20 0 1\ncolumn POP integer 4 0 0\n");
  std::unique_ptr<CTableReader> reader(CreateTableReader());
  ASSERT_TRUE(reader->Open(dir / "roads.fxt", 0));
  CFakeConnection conn;
  conn.UserName = "bob";
  conn.Owners = {"alice", "bob"};
  conn.Tables = {"ROADS", "RIVERS", "TOWNS"};
  conn.SqlServer = true;
  conn.DbmsVersion = 9.0;
  conn.DefaultSchema = "dbo";
  conn.Schemas = {"CORVANE", "sales"};
  qltest::WriteFile(dir / "odbc.ini", "[roads]\nDriver=none\n\n[survey]\nDriver=none\n");
  setenv("ODBCSYSINI", dir.path().c_str(), 1);
  setenv("ODBCINI", (dir / "user.ini").c_str(), 1);

  const struct {
    const char* name;
    std::function<void(GuiTest&)> run;
  } dialogs[] = {
      {"dialog_100_about",
       [this](GuiTest&) {
         CAboutDlg about("Corvane Quendalour", "1.0.0", "Copyright (C) Corvane");
         Shoot(about, "dialog_100_about");
       }},
      {"dialog_103_main",
       [this](GuiTest&) {
         CTestLoaderDlg main;
         main.m_LogPath = dir / "run.log";
         main.m_Jobs = {{"/d/roads.tab", "roads", "ROADS", 1, 0}, {"/d/rivers.tab", "rivers", "rivers", 1, 0}};
         main.m_Options.JobCount = 2;
         main.m_Options.RegistrationFolder = "/srv/registration";
         Shoot(main, "dialog_103_main");
       }},
      {"dialog_145_oracle_login",
       [this](GuiTest&) {
         COraLoginDlg login;
         Shoot(login, "dialog_145_oracle_login");
       }},
      {"dialog_202_options",
       [this, &conn](GuiTest&) {
         CUploadOptions options;
         options.IsSqlServerTarget = true;
         COptionsDlg dlg(&conn, nullptr);
         dlg.m_Options = &options;
         Shoot(dlg, "dialog_202_options");
       }},
      {"dialog_210_columns",
       [this, &reader](GuiTest&) {
         CColumnListDlg dlg;
         dlg.m_Reader = reader.get();
         Shoot(dlg, "dialog_210_columns");
       }},
      {"dialog_222_catalogue",
       [this, &conn](GuiTest&) {
         CCatalogDlg dlg;
         dlg.m_Connection = &conn;
         Shoot(dlg, "dialog_222_catalogue");
       }},
      {"dialog_240_data_source",
       [this](GuiTest&) {
         ui::CDataSourceDlg dlg;
         Shoot(dlg, "dialog_240_data_source");
       }},
  };
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.name);
    d.run(*this);
  }
  EXPECT_TRUE(errors.empty()) << errors.front();
  reader->Close();
  TabApiTerminate();
}

}  // namespace
