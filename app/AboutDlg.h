// The About box: product name, version and legal notice.
#pragma once

#include <string>

#include "platform/ui/ui.h"

class CAboutDlg : public ui::CDialog {
 public:
  CAboutDlg(const std::string& productName, const std::string& productVersion, const std::string& legalNotice,
            ui::CDialog* parent = nullptr);
  bool OnInitDialog() override;

  std::string m_ProductLine;  // ProductName " Version " ProductVersion
  std::string m_LegalNotice;
};
