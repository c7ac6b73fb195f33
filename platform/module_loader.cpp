// Module loading through dlopen by absolute path only.
#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {
std::string g_last_error;
}

void* ModuleOpen(const std::string& path) {
  g_last_error.clear();
  if (path.empty() || path[0] != '/') {
    g_last_error = "not an absolute path: " + path;
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* e = dlerror();
    g_last_error = e != nullptr ? e : "cannot load " + path;
  }
  return handle;
}

void* ModuleSymbol(void* module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return dlsym(module, name);
}

void ModuleClose(void* module) {
  if (module != nullptr) dlclose(module);
}

std::string ModuleError() { return g_last_error; }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExecutableDirectory() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  return DirectoryOf(std::string(buf.data(), static_cast<size_t>(n)));
}

}  // namespace platform
