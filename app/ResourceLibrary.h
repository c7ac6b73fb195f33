// The resource library qlres.so, loaded once at start-up from the
// executable's directory; its table becomes the process-wide resource table.
#pragma once

#include <string>

#include "resources/qlres.h"

class CResourceLibrary {
 public:
  // Loads the library at `path` and installs its table; false when the file
  // cannot be loaded or does not export a table of our format.
  bool Load(const std::string& path);
  void Free();
  bool IsLoaded() const { return m_Table != nullptr; }
  // The module handle, as the OCI module receives it.
  void* Handle() const { return m_Handle; }
  const QlResources* Table() const { return m_Table; }

 private:
  void* m_Handle = nullptr;
  const QlResources* m_Table = nullptr;
};

CResourceLibrary& AppResources();

constexpr const char* kResourceLibraryFile = "qlres.so";
constexpr const char* kVersionProductVersion = "\\StringFileInfo\\040904B0\\ProductVersion";
constexpr const char* kVersionProductName = "\\StringFileInfo\\040904B0\\ProductName";
constexpr const char* kVersionLegalCopyright = "\\StringFileInfo\\040904B0\\LegalCopyright";

// String `id` of the loaded library, "" when missing.
std::string LoadResString(int id);
