// The temporary directory.
#include "platform/tempdir.h"

#include <cstdlib>

namespace platform {

std::string TempDirectory() {
  const char* t = std::getenv("TMPDIR");
  if (t != nullptr && t[0] != '\0') return t;
  return "/tmp";
}

}  // namespace platform
