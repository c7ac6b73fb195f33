// Loading of the OCI upload module and lookup of its factories.
#include "app/OciModule.h"

#include "app/ResourceLibrary.h"
#include "platform/module.h"

namespace {
void* g_oci_module = nullptr;
}

bool LoadOciModuleFrom(const std::string& directory) {
  UnloadOciModule();
  if (directory.empty()) return false;
  std::string dir = directory.back() == '/' ? directory : directory + "/";
  g_oci_module = platform::ModuleOpen(dir + kOciModuleFile);
  return g_oci_module != nullptr;
}

bool LoadOciModule(const char* moduleName) {
  std::string dir;
  if (moduleName != nullptr && moduleName[0] != '\0') dir = platform::DirectoryOf(moduleName);
  if (dir.empty()) dir = platform::ExecutableDirectory();
  return LoadOciModuleFrom(dir);
}

void UnloadOciModule() {
  platform::ModuleClose(g_oci_module);
  g_oci_module = nullptr;
}

bool IsOciModuleLoaded() { return g_oci_module != nullptr; }
void* OciModuleHandle() { return g_oci_module; }

CDbConnection* CreateOciConnection() {
  auto fn = reinterpret_cast<CreateOciConnFn>(platform::ModuleSymbol(g_oci_module, "Create_CCVOCIConn"));
  if (fn == nullptr) return nullptr;
  return fn(AppResources().Handle());
}

CUploader* CreateOciUploader(CDbConnection* connection, CTableReader* reader) {
  auto fn = reinterpret_cast<CreateOciUploadFn>(platform::ModuleSymbol(g_oci_module, "Create_CCVOCIUpload"));
  if (fn == nullptr) return nullptr;
  return fn(connection, reader);
}
