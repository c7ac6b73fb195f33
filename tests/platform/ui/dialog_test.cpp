// The dialog layer's core driven through the headless backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/ui/headless.h"
#include "platform/ui/ui.h"

namespace {

using namespace ui;

DlgTemplate SmallTemplate() {
  DlgTemplate t;
  t.id = 900;
  t.caption = "Small";
  t.cx = 200;
  t.cy = 100;
  t.controls = {
      {1, CtlKind::DefButton, "OK", 10, 80, 40, 14, false},
      {2, CtlKind::Button, "Cancel", 60, 80, 40, 14, false},
      {10, CtlKind::Edit, "start", 10, 10, 80, 12, false},
      {11, CtlKind::MultiListBox, "", 10, 25, 80, 40, false},
      {12, CtlKind::CheckBox, "Flag", 100, 10, 60, 10, false},
      {20, CtlKind::Radio, "A", 100, 25, 40, 10, true},
      {21, CtlKind::Radio, "B", 100, 35, 40, 10, false},
      {22, CtlKind::Radio, "C", 100, 45, 40, 10, true},
      {30, CtlKind::DropList, "", 100, 60, 60, 40, false},
      {31, CtlKind::Button, "Off", 150, 80, 40, 14, false, true, false},
      {32, CtlKind::Edit, "", 150, 10, 40, 12, false, false, true},
  };
  return t;
}

class UiDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    SetBackend(headless::MakeBackend());
    SetTemplateLoader([](int id) -> std::optional<DlgTemplate> {
      if (id == 900) return SmallTemplate();
      return std::nullopt;
    });
    SetErrorSink([this](const std::string& l) { errors.push_back(l); });
  }
  void TearDown() override {
    SetErrorSink(nullptr);
    SetTemplateLoader(nullptr);
    headless::Reset();
  }
  void Script(const std::string& text) {
    std::string err;
    ASSERT_TRUE(headless::SetScriptText(text, &err)) << err;
  }
  std::vector<std::string> errors;
};

// A dialog recording its notifications.
class Probe : public CDialog {
 public:
  Probe() : CDialog(900) {
    Map(Notify::Click, 12, &Probe::OnFlag);
    Map(Notify::EditChange, 10, [this] { log.push_back("change " + GetDlgItem(10).GetWindowText()); });
    Map(Notify::KillFocus, 10, [this] { log.push_back("leave"); });
    Map(Notify::SelChange, 11, [this] { log.push_back("sel " + std::to_string(GetDlgItem(11).GetSelCount())); });
  }
  std::vector<std::string> log;
  bool initRan = false;
  bool cancelRan = false;

 protected:
  bool OnInitDialog() override {
    initRan = true;
    auto list = GetDlgItem(11);
    for (const char* s : {"a", "b", "c"}) list.AddString(s);
    auto combo = GetDlgItem(30);
    for (const char* s : {"x", "y"}) combo.AddString(s);
    combo.SetCurSel(1);
    return true;
  }
  void OnCancel() override {
    cancelRan = true;
    CDialog::OnCancel();
  }
  void OnFlag() { log.push_back("flag " + std::to_string(GetDlgItem(12).GetCheck())); }
};

TEST_F(UiDialog, ScriptDrivesHandlersInOrderAndOkEndsTheDialog) {
  Script("set 10 hello world\nleave 10\nselect 11 0 2\nclick 12\nclick 12\nclick 1\n");
  Probe dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(dlg.initRan);
  EXPECT_FALSE(dlg.cancelRan);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"change hello world", "leave", "sel 2", "flag 1", "flag 0"}));
  EXPECT_EQ(headless::Transcript(), (std::vector<std::string>{"dialog 900 open", "dialog 900 end 1"}));
}

TEST_F(UiDialog, EndOfScriptClosesThroughCancel) {
  Probe dlg;
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(dlg.cancelRan);
  EXPECT_EQ(headless::Transcript(),
            (std::vector<std::string>{"dialog 900 open", "dialog 900 close", "dialog 900 end 2"}));
}

TEST_F(UiDialog, MissingTemplateGivesMinusOneWithAReason) {
  CDialog dlg(901);
  EXPECT_EQ(dlg.DoModal(), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("901"), std::string::npos);
}

TEST_F(UiDialog, UnknownControlInScriptFailsWithItsId) {
  Script("click 9999\nclick 1\n");
  Probe dlg;
  EXPECT_EQ(dlg.DoModal(), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("9999"), std::string::npos);
  EXPECT_EQ(headless::StepsLeft(), 0u);  // the rest of the script is dropped
}

TEST_F(UiDialog, ScriptReachesOnlyShownEnabledControls) {
  const struct {
    const char* script;
    const char* fragment;
  } cases[] = {
      {"click 31\nclick 1\n", "control 31 is disabled"},
      {"set 32 x\nclick 1\n", "control 32 is hidden"},
      {"select 11 5\n", "control 11 has no item 5"},
      {"box yes\n", "'box' answers nothing"},
  };
  for (const auto& c : cases) {
    errors.clear();
    Script(c.script);
    Probe dlg;
    EXPECT_EQ(dlg.DoModal(), -1) << c.script;
    ASSERT_EQ(errors.size(), 1u) << c.script;
    EXPECT_NE(errors[0].find(c.fragment), std::string::npos) << errors[0];
  }
}

TEST_F(UiDialog, ModelessDialogRunsInitAndTakesDirectCalls) {
  Probe dlg;
  EXPECT_FALSE(dlg.GetDlgItem(10).Exists());
  ASSERT_TRUE(dlg.Create());
  EXPECT_TRUE(dlg.initRan);
  EXPECT_EQ(dlg.GetDlgItem(10).GetWindowText(), "start");
  EXPECT_FALSE(dlg.GetDlgItem(31).IsWindowEnabled());
  EXPECT_FALSE(dlg.GetDlgItem(32).IsWindowVisible());
  dlg.UserClick(12);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"flag 1"}));
  dlg.DestroyWindow();
  EXPECT_FALSE(dlg.IsOpen());
  CDialog missing(901);
  EXPECT_FALSE(missing.Create());
}

TEST_F(UiDialog, RadiosCheckWithinTheirGroupOnly) {
  Script("click 22\nclick 20\nclick 21\nclick 1\n");
  struct R : CDialog {
    R() : CDialog(900) {
      for (int id : {20, 21, 22})
        Map(Notify::Click, id, [this] {
          seen.push_back({GetDlgItem(20).GetCheck(), GetDlgItem(21).GetCheck(), GetDlgItem(22).GetCheck()});
        });
    }
    std::vector<std::vector<int>> seen;
  } dlg;
  dlg.DoModal();
  EXPECT_EQ(dlg.seen, (std::vector<std::vector<int>>{{0, 0, 1}, {1, 0, 1}, {0, 1, 1}}));
}

TEST_F(UiDialog, ListOperations) {
  struct L : CDialog {
    L() : CDialog(900) {}
    bool OnInitDialog() override {
      auto l = GetDlgItem(11);
      EXPECT_EQ(l.AddString("one"), 0);
      EXPECT_EQ(l.AddString("two"), 1);
      EXPECT_EQ(l.InsertString(0, "zero"), 0);
      EXPECT_EQ(l.InsertString(-1, "three"), 3);
      l.SetSel(1, true);
      l.SetSel(3, true);
      EXPECT_EQ(l.GetSelItems(), (std::vector<int>{1, 3}));
      EXPECT_EQ(l.DeleteString(1), 3);
      EXPECT_EQ(l.GetSelItems(), (std::vector<int>{2}));  // selection moves with its item
      EXPECT_EQ(l.GetText(2), "three");
      EXPECT_EQ(l.FindStringExact("TWO"), 1);
      EXPECT_EQ(l.DeleteString(7), -1);
      auto c = GetDlgItem(30);
      c.AddString("p");
      c.AddString("q");
      EXPECT_EQ(c.GetCurSel(), -1);
      c.SetCurSel(1);
      EXPECT_EQ(c.GetWindowText(), "q");
      EXPECT_EQ(c.SetCurSel(5), -1);
      EXPECT_EQ(c.GetCurSel(), -1);
      // A missing id reports and does nothing.
      GetDlgItem(4711).SetWindowText("x");
      EXPECT_EQ(GetDlgItem(4711).GetWindowText(), "");
      EndDialog(IDOK);
      return true;
    }
  } dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_NE(errors[0].find("4711"), std::string::npos);
}

TEST_F(UiDialog, ProgressStepsAndWraps) {
  struct P : CDialog {
    P() : CDialog(900) {}
  } dlg;
  DlgTemplate t = SmallTemplate();
  t.controls.push_back({40, CtlKind::Progress, "", 0, 0, 10, 10, false});
  SetTemplateLoader([t](int) { return std::optional<DlgTemplate>(t); });
  struct Q : CDialog {
    Q() : CDialog(900) {}
    bool OnInitDialog() override {
      auto p = GetDlgItem(40);
      p.SetRange32(0, 10);
      p.SetStep(4);
      EXPECT_EQ(p.StepIt(), 0);
      EXPECT_EQ(p.StepIt(), 4);
      EXPECT_EQ(p.GetPos(), 8);
      p.StepIt();
      EXPECT_EQ(p.GetPos(), 2);  // 12 wraps past the top
      p.SetPos(99);
      EXPECT_EQ(p.GetPos(), 10);
      EndDialog(IDOK);
      return true;
    }
  } q;
  EXPECT_EQ(q.DoModal(), IDOK);
}

TEST_F(UiDialog, BoxesAndChoosersTakeScriptedAnswersInOrder) {
  Script("click 12\nbox no\nfiles /d/a.tab|/d/b c.TAB\nfolder /tmp/reg\nclick 1\n");
  struct B : CDialog {
    B() : CDialog(900) {
      Map(Notify::Click, 12, [this] {
        answers.push_back(MessageBox({this, "Replace?\nSure", "Q", 195, BoxIcon::Question, BoxButtons::YesNo}));
        files = ChooseFiles({this, "Open", "Corvane Tables (*.tab)", ".tab", true});
        folder = ChooseFolder(this, "Pick");
        answers.push_back(MessageBox({this, "done", "I", 196, BoxIcon::Information, BoxButtons::Ok}));
        noFiles = !ChooseFiles({this, "Open", "T", ".tab", true});
      });
    }
    std::vector<int> answers;
    std::optional<std::vector<std::string>> files;
    std::optional<std::string> folder;
    bool noFiles = false;
  } dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.answers, (std::vector<int>{IDNO, IDOK}));
  ASSERT_TRUE(dlg.files);
  EXPECT_EQ(*dlg.files, (std::vector<std::string>{"/d/a.tab", "/d/b c.TAB"}));
  EXPECT_EQ(dlg.folder, "/tmp/reg");
  EXPECT_TRUE(dlg.noFiles);
  EXPECT_EQ(headless::Transcript(),
            (std::vector<std::string>{
                "dialog 900 open",
                "box caption=195 icon=question buttons=yesno answer=no text=Replace?\\nSure",
                "files filter=Corvane Tables (*.tab) -> /d/a.tab|/d/b c.TAB",
                "folder title=Pick -> /tmp/reg",
                "box caption=196 icon=information buttons=ok answer=ok text=done",
                "files filter=T -> cancel",
                "dialog 900 end 1",
            }));
}

TEST_F(UiDialog, HelpNeedsAnExistingPage) {
  auto dir = std::filesystem::temp_directory_path() / "ql_ui_help_test";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "index.html") << "<html></html>";
  std::string error;
  EXPECT_TRUE(ShowHelp((dir / "index.html").string(), 100, &error));
  EXPECT_FALSE(ShowHelp((dir / "none.html").string(), 200, &error));
  EXPECT_NE(error.find("none.html"), std::string::npos);
  EXPECT_EQ(headless::Transcript(), (std::vector<std::string>{"help 100"}));
  std::filesystem::remove_all(dir);
}

TEST_F(UiDialog, TranscriptGoesToTheNamedFile) {
  auto path = std::filesystem::temp_directory_path() / "ql_ui_transcript_test.txt";
  std::filesystem::remove(path);
  setenv("QUENDALOUR_UI_TRANSCRIPT", path.c_str(), 1);
  Probe dlg;
  dlg.DoModal();
  unsetenv("QUENDALOUR_UI_TRANSCRIPT");
  std::ifstream in(path);
  std::string all((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(all, "dialog 900 open\ndialog 900 close\ndialog 900 end 2\n");
  std::filesystem::remove(path);
}

}  // namespace
