// Message boxes written to stderr.
#include "platform/stderr_box.h"

#include <cstdio>

namespace platform {

void StderrMessageBox(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace platform
