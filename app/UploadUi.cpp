// Boxes and progress of the uploader (see UploadUi.h).
#include "app/UploadUi.h"

#include <iostream>

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
  std::cerr << Res(captionId) << ": " << text << std::endl;
  return true;
}

void SetProgressHook(ProgressHook hook) { Progress() = std::move(hook); }

void ProgressSetRange(CProgressCtrl* bar, int lo, int hi) {
  if (bar && Progress().setRange) Progress().setRange(bar, lo, hi);
}
void ProgressSetPos(CProgressCtrl* bar, int pos) {
  if (bar && Progress().setPos) Progress().setPos(bar, pos);
}
void ProgressSetStep(CProgressCtrl* bar, int step) {
  if (bar && Progress().setStep) Progress().setStep(bar, step);
}
void ProgressStepIt(CProgressCtrl* bar) {
  if (bar && Progress().stepIt) Progress().stepIt(bar);
}

std::string Res(int id) { return LoadResString(id); }

}  // namespace upload
