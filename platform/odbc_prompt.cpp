// The data-source prompt seam and its headless answer.
#include "platform/odbc_prompt.h"

#include <utility>

namespace platform {

namespace {

DataSourcePrompt& Installed() {
  static DataSourcePrompt prompt;
  return prompt;
}

}  // namespace

std::optional<std::string> PromptDataSource(void* parent) {
  if (Installed()) return Installed()(parent);
  return std::nullopt;
}

void SetDataSourcePrompt(DataSourcePrompt prompt) { Installed() = std::move(prompt); }

}  // namespace platform
