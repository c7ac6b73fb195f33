// The optional OCI upload module (CVOraSp.so beside the executable) and its
// two factories.
#pragma once

#include <string>

class CDbConnection;
class CUploader;
class CTableReader;

extern "C" {
// Create_CCVOCIConn: the resource library's module handle → a connection of
// kind 2, or null.
typedef CDbConnection* (*CreateOciConnFn)(void* resourceModule);
// Create_CCVOCIUpload: that connection and the open table reader → an
// uploader, or null.
typedef CUploader* (*CreateOciUploadFn)(CDbConnection* connection, CTableReader* reader);
}

constexpr const char* kOciModuleFile = "CVOraSp.so";

// Loads CVOraSp.so from the directory of the executable (name null) or of the
// named module; true when loaded. A module loaded before is released first.
bool LoadOciModule(const char* moduleName);
// Loads CVOraSp.so from `directory`.
bool LoadOciModuleFrom(const std::string& directory);
void UnloadOciModule();
bool IsOciModuleLoaded();
void* OciModuleHandle();

// The module's Create_CCVOCIConn with the resource library's handle; null
// without the module or the export.
CDbConnection* CreateOciConnection();
// The module's Create_CCVOCIUpload; null without the module or the export.
CUploader* CreateOciUploader(CDbConnection* connection, CTableReader* reader);
