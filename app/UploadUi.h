// What the uploader and the upload run show: message boxes captioned with a
// string id, and the progress bar they advance. Both go through hooks so
// that a run without a window, and the tests, can watch or answer them.
#pragma once

#include <functional>
#include <string>

class CProgressCtrl;

namespace upload {

enum class BoxIcon { Error, Warning, Information };

// Answers true for OK or Yes.
using BoxHook = std::function<bool(int captionId, const std::string& text, BoxIcon icon, bool yesNo)>;
// Replaces the box hook; an empty function restores the dialog layer's boxes.
void SetBoxHook(BoxHook hook);
bool ShowBox(int captionId, const std::string& text, BoxIcon icon, bool yesNo);

struct ProgressHook {
  std::function<void(CProgressCtrl*, int lo, int hi)> setRange;
  std::function<void(CProgressCtrl*, int pos)> setPos;
  std::function<void(CProgressCtrl*, int step)> setStep;
  std::function<void(CProgressCtrl*)> stepIt;
};
// Replaces the progress hook; an empty hook restores the dialog layer's bar.
void SetProgressHook(ProgressHook hook);
void ProgressSetRange(CProgressCtrl* bar, int lo, int hi);
void ProgressSetPos(CProgressCtrl* bar, int pos);
void ProgressSetStep(CProgressCtrl* bar, int step);
void ProgressStepIt(CProgressCtrl* bar);

// String `id` of the resource library ("" when missing).
std::string Res(int id);

}  // namespace upload
