// The data-source prompt of the dialog layer: the ODBC data sources, user
// name, password and an optional free connect string, shown when a
// connection is made without a connect string.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ui/ui.h"

namespace ui {

constexpr int kDlgDataSource = 240;
enum : int {
  kIdDataSources = 1201,
  kIdDsUser = 1202,
  kIdDsPassword = 1203,
  kIdDsConnectString = 1204,
};

// The data sources the driver manager knows (user and system), in its order.
std::vector<std::string> ListDataSources();

// "DSN=…;UID=…;PWD=…"; a value holding ";", "{" or "}" is braced, with
// "}" doubled inside.
std::string BuildConnectString(const std::string& dsn, const std::string& user, const std::string& password);

class CDataSourceDlg : public CDialog {
 public:
  explicit CDataSourceDlg(CDialog* parent = nullptr) : CDialog(kDlgDataSource, parent) {}
  bool OnInitDialog() override;
  void OnOK() override;
  std::string m_ConnectString;  // the answer after OK
};

// Shows the prompt; the connect string, or nothing when cancelled.
std::optional<std::string> PromptDataSource(CDialog* parent);
// Makes this prompt the answer of platform::PromptDataSource.
void InstallDataSourcePrompt();

}  // namespace ui
