// The Oracle login dialog: user name, password and service of an OCI
// connection.
#pragma once

#include <string>

#include "platform/ui/ui.h"

class COraLoginDlg : public ui::CDialog {
 public:
  explicit COraLoginDlg(ui::CDialog* parent = nullptr);
  void OnOK() override;
  // "user/password@service", the connect text of the OCI connection.
  std::string ConnectText() const { return m_User + "/" + m_Password + "@" + m_Service; }

  std::string m_User;
  std::string m_Password;
  std::string m_Service;

 private:
  void OnUserLeave();
  void OnPasswordLeave();
  void OnServiceLeave();
};
