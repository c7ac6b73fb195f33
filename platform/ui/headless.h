// Headless backend of the dialog layer: controls keep their state in
// memory, a script plays the user, and every dialog, box, chooser and help
// request is written to a transcript. Used by tests and quiet runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace ui::headless {

// One line of a script.
enum class Op : uint8_t {
  Click,   // click ID
  Set,     // set ID TEXT       (edit change)
  Leave,   // leave ID          (focus loss)
  Select,  // select ID [I...]  (selection change; no index clears)
  Check,   // check ID I 0|1    (check-list item)
  Close,   // close             (window closed)
  Sys,     // sys CMD           (system-menu command)
  Help,    // help              (F1)
  Box,     // box ok|cancel|yes|no
  Files,   // files [PATH|PATH...]  (file chooser; no path cancels)
  Folder,  // folder [PATH]     (folder chooser; no path cancels)
};

struct Step {
  Op op = Op::Close;
  int id = 0;
  std::string text;
  std::vector<int> numbers;
  std::vector<std::string> paths;
  int line = 0;
};

// Parses a script; on a bad line returns false with `error` naming it.
bool ParseScript(const std::string& text, std::vector<Step>* steps, std::string* error);

// Replaces the script (the environment's QUENDALOUR_UI_SCRIPT file is read
// when the backend is made and no script was set before).
void SetScript(std::vector<Step> steps);
bool SetScriptText(const std::string& text, std::string* error);
// Steps not yet played.
size_t StepsLeft();

// Transcript lines so far; also appended to the file named by
// QUENDALOUR_UI_TRANSCRIPT as they are made.
const std::vector<std::string>& Transcript();
void ClearTranscript();
void Record(const std::string& line);

// Forgets script, transcript and file names (tests).
void Reset();

std::unique_ptr<Backend> MakeBackend();

// Transcript form of a text: backslash, line feed, tab and CR escaped.
std::string Escape(const std::string& text);

}  // namespace ui::headless
