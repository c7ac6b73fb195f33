// Boxes and progress of the uploader (see UploadUi.h).
#include "app/UploadUi.h"

#include <iostream>

#include "app/AppBox.h"
#include "app/ProgressCtrl.h"
#include "app/ResourceLibrary.h"

namespace upload {

namespace {

BoxHook& Boxes() {
  static BoxHook hook;
  return hook;
}

ProgressHook& Progress() {
  static ProgressHook hook;
  return hook;
}

}  // namespace

void SetBoxHook(BoxHook hook) { Boxes() = std::move(hook); }

bool ShowBox(int captionId, const std::string& text, BoxIcon icon, bool yesNo) {
  if (Boxes()) return Boxes()(captionId, text, icon, yesNo);
  ui::BoxIcon shown = icon == BoxIcon::Error     ? ui::BoxIcon::Error
                      : icon == BoxIcon::Warning ? ui::BoxIcon::Warning
                                                 : ui::BoxIcon::Information;
  int answer = AppMessageBox(nullptr, captionId, text, shown, yesNo ? ui::BoxButtons::YesNo : ui::BoxButtons::Ok);
  return answer == ui::IDOK || answer == ui::IDYES;
}

void SetProgressHook(ProgressHook hook) { Progress() = std::move(hook); }

// A hook replaces the dialog layer's progress control as a whole.
static bool Hooked() {
  const ProgressHook& p = Progress();
  return p.setRange || p.setPos || p.setStep || p.stepIt;
}

// Without a hook the bar is the dialog layer's progress control.
void ProgressSetRange(CProgressCtrl* bar, int lo, int hi) {
  if (!bar) return;
  if (Hooked()) {
    if (Progress().setRange) Progress().setRange(bar, lo, hi);
  } else {
    bar->SetRange32(lo, hi);
  }
}
void ProgressSetPos(CProgressCtrl* bar, int pos) {
  if (!bar) return;
  if (Hooked()) {
    if (Progress().setPos) Progress().setPos(bar, pos);
  } else {
    bar->SetPos(pos);
  }
}
void ProgressSetStep(CProgressCtrl* bar, int step) {
  if (!bar) return;
  if (Hooked()) {
    if (Progress().setStep) Progress().setStep(bar, step);
  } else {
    bar->SetStep(step);
  }
}
void ProgressStepIt(CProgressCtrl* bar) {
  if (!bar) return;
  if (Hooked()) {
    if (Progress().stepIt) Progress().stepIt(bar);
  } else {
    bar->StepIt();
  }
}

std::string Res(int id) { return LoadResString(id); }

}  // namespace upload
