// The Oracle login dialog (template 145).
#include "app/OraLoginDlg.h"

namespace {
constexpr int kDlgOraLogin = 145;
constexpr int kIdUser = 1048;
constexpr int kIdPassword = 1050;
constexpr int kIdService = 1052;
}  // namespace

COraLoginDlg::COraLoginDlg(ui::CDialog* parent) : ui::CDialog(kDlgOraLogin, parent) {
  Map(ui::Notify::KillFocus, kIdUser, &COraLoginDlg::OnUserLeave);
  Map(ui::Notify::KillFocus, kIdPassword, &COraLoginDlg::OnPasswordLeave);
  Map(ui::Notify::KillFocus, kIdService, &COraLoginDlg::OnServiceLeave);
}

void COraLoginDlg::OnUserLeave() { m_User = GetDlgItem(kIdUser).GetWindowText(); }
void COraLoginDlg::OnPasswordLeave() { m_Password = GetDlgItem(kIdPassword).GetWindowText(); }
void COraLoginDlg::OnServiceLeave() { m_Service = GetDlgItem(kIdService).GetWindowText(); }

void COraLoginDlg::OnOK() {
  OnUserLeave();
  OnPasswordLeave();
  OnServiceLeave();
  EndDialog(ui::IDOK);
}
