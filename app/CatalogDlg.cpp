// The catalogue browser (template 222), in its ODBC form and in the form
// the OCI module's connection needs (caller-sized arrays).
#include "app/CatalogDlg.h"

#include <algorithm>
#include <ostream>

#include "app/AppBox.h"
#include "app/DbConnection.h"
#include "app/ResourceLibrary.h"

namespace {

constexpr int kDlgCatalog = 222;
constexpr int kIdOwners = 1118;
constexpr int kIdTables = 1111;
constexpr int kStrErrorCaption = 186;
constexpr int kStrDeleteFailed = 225;
// Room the OCI form leaves beyond the row count for an owner's tables.
constexpr int kTableSlack = 10;

}  // namespace

CCatalogDlg::CCatalogDlg(ui::CDialog* parent) : ui::CDialog(kDlgCatalog, parent) {
  Map(ui::Notify::SelChange, kIdOwners, &CCatalogDlg::OnOwnerChanged);
  Map(ui::Notify::SelChange, kIdTables, &CCatalogDlg::OnTablesChanged);
}

int CCatalogDlg::Run(CDbConnection* connection) {
  if (connection != nullptr) m_Connection = connection;
  return DoModal();
}

void CCatalogDlg::ChooseOwner(const std::string& defaultOwner) {
  ui::Control combo = GetDlgItem(kIdOwners);
  for (const std::string& owner : m_Owners) combo.AddString(owner);
  int count = combo.GetCount();
  if (count == 0) return;
  int chosen = 0;
  for (int i = 0; i < count; ++i)
    if (combo.GetText(i) == defaultOwner) {
      chosen = i;
      break;
    }
  m_CurrentOwner = combo.GetText(chosen);
  combo.SetCurSel(chosen);
}

void CCatalogDlg::FillTables() {
  m_Tables.clear();
  if (m_Connection->OciToolkit) {
    if (m_EntryCount > 0) {
      m_Tables.resize(static_cast<size_t>(m_EntryCount) + kTableSlack);
      int filled = 0;
      m_Connection->ListTablesInto(m_CurrentOwner, m_Tables.data(), &filled);
      m_Tables.resize(static_cast<size_t>(std::clamp(filled, 0, m_EntryCount + kTableSlack)));
    }
  } else {
    m_Connection->ListTables(m_CurrentOwner, m_Tables);
  }
  ui::Control list = GetDlgItem(kIdTables);
  for (const std::string& table : m_Tables) list.AddString(table);
}

bool CCatalogDlg::OnInitDialog() {
  if (m_Connection == nullptr) return true;
  if (m_Connection->OciToolkit) {
    m_EntryCount = m_Connection->CountCatalogRows();
    if (m_EntryCount > 0) {
      m_Owners.assign(static_cast<size_t>(m_EntryCount), std::string());
      int filled = 0;
      m_Connection->ListOwnersInto(m_Owners.data(), &filled);
      m_Owners.resize(static_cast<size_t>(std::clamp(filled, 0, m_EntryCount)));
      ChooseOwner(m_Connection->GetUserName());
      if (!m_Owners.empty()) FillTables();
    }
  } else {
    std::string defaultOwner = m_Connection->IsSqlServer() && m_Connection->GetDbmsVersion() >= 9
                                   ? m_Connection->GetDefaultSchema()
                                   : m_Connection->GetUserName();
    m_Owners.clear();
    m_Connection->ListOwners(m_Owners);
    if (!m_Owners.empty()) {
      ChooseOwner(defaultOwner);
      FillTables();
    }
  }
  EnableDelete();
  return true;
}

void CCatalogDlg::EnableDelete() { GetDlgItem(ui::IDOK).EnableWindow(GetDlgItem(kIdTables).GetSelCount() > 0); }

void CCatalogDlg::OnOwnerChanged() {
  m_CurrentOwner = GetDlgItem(kIdOwners).GetWindowText();
  GetDlgItem(kIdTables).ResetContent();
  if (m_Connection != nullptr) FillTables();
  EnableDelete();
}

void CCatalogDlg::OnTablesChanged() { EnableDelete(); }

void CCatalogDlg::OnOK() {
  ui::Control list = GetDlgItem(kIdTables);
  std::vector<int> selected = list.GetSelItems();
  // From the last to the first, so that a removal moves no item still due.
  for (auto it = selected.rbegin(); it != selected.rend() && m_Connection != nullptr; ++it) {
    std::string table = list.GetText(*it);
    if (m_Connection->DeleteCatalogEntry(m_CurrentOwner, table)) {
      list.DeleteString(*it);
      if (*it < static_cast<int>(m_Tables.size())) m_Tables.erase(m_Tables.begin() + *it);
      continue;
    }
    std::string text = LoadResString(kStrDeleteFailed) + m_CurrentOwner + "." + table + ".\n\n" +
                       m_Connection->GetLastErrorRef();
    if (!m_Connection->IsQuiet()) AppMessageBox(this, kStrErrorCaption, text, ui::BoxIcon::Error);
    if (m_Connection->LogStream != nullptr) *m_Connection->LogStream << "\n\n" << text << "\n" << std::flush;
  }
  EnableDelete();
}
