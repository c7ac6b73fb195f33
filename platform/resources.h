// The process-wide resource table (strings, dialog templates, icons, version
// block) once the resource library is loaded. Every lookup of a missing entry
// gives an empty answer.
#pragma once

#include <string>

#include "resources/qlres.h"

namespace platform {

void SetResourceTable(const QlResources* table);
const QlResources* ResourceTable();
// The text of string `id`, or "" when there is none.
std::string ResString(int id);
// The template of dialog `id`, or null.
const QlDialogTemplate* ResDialog(int id);
// Icon `id`, or null.
const QlIcon* ResIcon(int id);
// A version-block value by its full key, or "".
std::string ResVersion(const std::string& key);

}  // namespace platform
