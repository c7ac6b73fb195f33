// The data-source prompt: asks the user for an ODBC connect string when a
// connection is made without one. The dialog layer installs the real prompt;
// without it (headless runs) the prompt answers "cancelled".
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace platform {

// The connect string the user chose, or nullopt when the user cancelled.
using DataSourcePrompt = std::function<std::optional<std::string>(void* parent)>;

// Asks through the installed prompt; `parent` is the owner window (may be null).
std::optional<std::string> PromptDataSource(void* parent);

// Installs a prompt (the dialog layer, or a test script); an empty function
// restores the headless answer.
void SetDataSourcePrompt(DataSourcePrompt prompt);

}  // namespace platform
