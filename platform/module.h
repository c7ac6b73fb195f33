// Loading of shared modules by absolute path, and the executable's directory.
#pragma once

#include <string>

namespace platform {

// Opens a module by absolute path (never through a search path); null on
// failure, with the reason in ModuleError().
void* ModuleOpen(const std::string& path);
// The address of an exported symbol, or null.
void* ModuleSymbol(void* module, const char* name);
void ModuleClose(void* module);
// Text of the last failure of ModuleOpen.
std::string ModuleError();
// The directory of the running executable (from /proc/self/exe), ending in
// "/"; empty when it cannot be found.
std::string ExecutableDirectory();
// The directory of `path`, ending in "/" ("" when it holds no "/").
std::string DirectoryOf(const std::string& path);

}  // namespace platform
