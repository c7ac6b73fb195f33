// Loading of the resource library.
#include "app/ResourceLibrary.h"

#include "platform/module.h"
#include "platform/resources.h"

bool CResourceLibrary::Load(const std::string& path) {
  Free();
  void* handle = platform::ModuleOpen(path);
  if (handle == nullptr) return false;
  using EntryFn = const QlResources* (*)();
  auto entry = reinterpret_cast<EntryFn>(platform::ModuleSymbol(handle, QLRES_ENTRY));
  const QlResources* table = entry != nullptr ? entry() : nullptr;
  if (table == nullptr || table->format != QLRES_FORMAT) {
    platform::ModuleClose(handle);
    return false;
  }
  m_Handle = handle;
  m_Table = table;
  platform::SetResourceTable(table);
  return true;
}

void CResourceLibrary::Free() {
  if (m_Handle == nullptr) return;
  if (platform::ResourceTable() == m_Table) platform::SetResourceTable(nullptr);
  platform::ModuleClose(m_Handle);
  m_Handle = nullptr;
  m_Table = nullptr;
}

CResourceLibrary& AppResources() {
  static CResourceLibrary library;
  return library;
}

std::string LoadResString(int id) { return platform::ResString(id); }
