// Lookups in the loaded resource table.
#include "platform/resources.h"

#include <algorithm>

namespace platform {
namespace {
const QlResources* g_table = nullptr;
}

void SetResourceTable(const QlResources* table) { g_table = table; }
const QlResources* ResourceTable() { return g_table; }

std::string ResString(int id) {
  if (g_table == nullptr || g_table->strings == nullptr) return std::string();
  const QlString* first = g_table->strings;
  const QlString* last = first + g_table->string_count;
  const QlString* it =
      std::lower_bound(first, last, id, [](const QlString& s, int v) { return s.id < v; });
  if (it == last || it->id != id || it->text == nullptr) return std::string();
  return it->text;
}

const QlDialogTemplate* ResDialog(int id) {
  if (g_table == nullptr) return nullptr;
  for (int i = 0; i < g_table->dialog_count; ++i)
    if (g_table->dialogs[i].id == id) return &g_table->dialogs[i];
  return nullptr;
}

const QlIcon* ResIcon(int id) {
  if (g_table == nullptr) return nullptr;
  for (int i = 0; i < g_table->icon_count; ++i)
    if (g_table->icons[i].id == id) return &g_table->icons[i];
  return nullptr;
}

std::string ResVersion(const std::string& key) {
  if (g_table == nullptr) return std::string();
  for (int i = 0; i < g_table->version_count; ++i)
    if (key == g_table->version[i].key) return g_table->version[i].value;
  return std::string();
}

}  // namespace platform
