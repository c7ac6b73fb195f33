// Message boxes of a run without a window: the caption and text go to stderr.
#pragma once

#include <string>

namespace platform {

void StderrMessageBox(const std::string& caption, const std::string& text);

}  // namespace platform
