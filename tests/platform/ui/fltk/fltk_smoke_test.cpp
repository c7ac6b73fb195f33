// FLTK backend smoke tests (need a display: run under xvfb-run).
#include <FL/Fl.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ui/fltk/asan_full_stacks.h"
#include "platform/ui/fltk/fltk_backend.h"
#include "platform/ui/ui.h"

namespace {

using namespace ui;

DlgTemplate ProgressTemplate() {
  DlgTemplate t;
  t.id = 950;
  t.caption = "Progress";
  t.cx = 200;
  t.cy = 90;
  t.controls = {
      {1, CtlKind::DefButton, "Start", 10, 70, 50, 14, false},
      {2, CtlKind::Button, "Cancel", 70, 70, 50, 14, false},
      {10, CtlKind::Progress, "", 10, 10, 180, 10, false},
      {11, CtlKind::Edit, "", 10, 25, 80, 12, false},
      {12, CtlKind::MultiListBox, "", 100, 25, 90, 40, false},
      {13, CtlKind::DropList, "", 10, 40, 80, 40, false},
      {14, CtlKind::CheckList, "", 10, 55, 80, 12, false},
  };
  return t;
}

class UiFltk : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    auto b = fltk::MakeBackend();
    ASSERT_TRUE(b) << "display cannot be opened";
    SetBackend(std::move(b));
    SetTemplateLoader([](int id) -> std::optional<DlgTemplate> {
      if (id == 950) return ProgressTemplate();
      return std::nullopt;
    });
  }
  void TearDown() override { SetTemplateLoader(nullptr); }
};

struct ProgressDlg : CDialog {
  ProgressDlg() : CDialog(950) { Map(Notify::Click, 1, &ProgressDlg::OnStart); }
  bool loopDone = false;
  bool cancelDuringLoop = false;
  bool cancelAfterLoop = false;
  std::string shot;

  bool OnInitDialog() override {
    GetDlgItem(12).AddString("alpha");
    GetDlgItem(12).AddString("beta");
    GetDlgItem(13).AddString("one");
    GetDlgItem(13).SetCurSel(0);
    GetDlgItem(14).AddString("col");
    GetDlgItem(14).SetItemCheck(0, 1);
    // Start once the window is on the screen and drawn, as a user's click
    // would.
    Fl::add_timeout(0.0, StartWhenDrawn, this);
    // Guard: a window never drawn fails the test instead of hanging it.
    Fl::add_timeout(60, Guard, this);
    return true;
  }
  static void Guard(void* d) { static_cast<ProgressDlg*>(d)->EndDialog(-2); }
  static void StartWhenDrawn(void* d) {
    auto* dlg = static_cast<ProgressDlg*>(d);
    if (fltk::DrawCount(*dlg) == 0) {
      Fl::repeat_timeout(0.02, StartWhenDrawn, d);
      return;
    }
    dlg->UserClick(1);
  }
  void OnStart() {
    for (int id : {1, 2, 10, 11, 12, 13, 14}) {
      Fl_Widget* w = fltk::WidgetOf(*this, id);
      EXPECT_TRUE(w && w->visible_r()) << id;
    }
    if (!shot.empty()) {
      EXPECT_TRUE(fltk::SaveScreenshot(*this, shot));
    }
    // A combo refilled with as many items shows the new ones.
    auto combo = GetDlgItem(13);
    combo.ResetContent();
    combo.AddString("two");
    combo.SetCurSel(0);
    EXPECT_STREQ(static_cast<Fl_Choice*>(fltk::WidgetOf(*this, 13))->text(), "two");
    EXPECT_TRUE(fltk::QueueClick(*this, 2));
    CWaitCursor wait;
    auto p = GetDlgItem(10);
    p.SetRange32(0, 20000);
    p.SetStep(1);
    for (int i = 0; i < 20000; ++i) {
      p.StepIt();
      if (cancelAfterLoop) cancelDuringLoop = true;
    }
    loopDone = true;
  }
  void OnCancel() override {
    cancelAfterLoop = loopDone;
    if (!loopDone) cancelDuringLoop = true;
    CDialog::OnCancel();
  }
};

TEST_F(UiFltk, ProgressLoopEndsBeforeAQueuedClickIsHandled) {
  ProgressDlg dlg;
  auto dir = std::filesystem::path(std::getenv("QL_SCREENSHOT_DIR") ? std::getenv("QL_SCREENSHOT_DIR") : ".");
  dlg.shot = (dir / "ui_progress.png").string();
  int r = dlg.DoModal();
  Fl::remove_timeout(ProgressDlg::StartWhenDrawn, &dlg);
  Fl::remove_timeout(ProgressDlg::Guard, &dlg);
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_TRUE(dlg.loopDone);
  EXPECT_FALSE(dlg.cancelDuringLoop);
  EXPECT_TRUE(dlg.cancelAfterLoop);
  EXPECT_GT(std::filesystem::file_size(dlg.shot), 100u);
  std::ifstream png(dlg.shot, std::ios::binary);
  char sig[8];
  png.read(sig, 8);
  EXPECT_EQ(std::string(sig + 1, 3), "PNG");
}

}  // namespace
