// The temporary directory: $TMPDIR when set and not empty, else /tmp.
#pragma once

#include <string>

namespace platform {

std::string TempDirectory();

}  // namespace platform
