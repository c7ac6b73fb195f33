// The About box (template 100).
#include "app/AboutDlg.h"

namespace {
constexpr int kDlgAbout = 100;
constexpr int kIdAboutText = 1122;
}  // namespace

CAboutDlg::CAboutDlg(const std::string& productName, const std::string& productVersion,
                     const std::string& legalNotice, ui::CDialog* parent)
    : ui::CDialog(kDlgAbout, parent),
      m_ProductLine(productName + " Version " + productVersion),
      m_LegalNotice(legalNotice) {}

bool CAboutDlg::OnInitDialog() {
  GetDlgItem(kIdAboutText).SetWindowText(m_ProductLine + "\n" + m_LegalNotice);
  return true;
}
