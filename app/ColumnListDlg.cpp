// The column-list dialog (template 210).
#include "app/ColumnListDlg.h"

#include <cstring>

#include "app/Text.h"
#include "kernel/tables/api/TableReader.h"
#include "kernel/tables/api/tabapi.h"

namespace {

constexpr int kDlgColumnList = 210;
constexpr int kIdTableName = 1105;
constexpr int kIdColumns = 1100;


}  // namespace

CColumnListDlg::CColumnListDlg(ui::CDialog* parent) : ui::CDialog(kDlgColumnList, parent) {}

int CColumnListDlg::Edit(CTableReader* reader) {
  if (reader != nullptr) m_Reader = reader;
  return DoModal();
}

bool CColumnListDlg::OnInitDialog() {
  if (m_Reader == nullptr) return true;
  const std::string* path = m_Reader->GetPath();
  GetDlgItem(kIdTableName).SetWindowText(path != nullptr ? FileTitle(*path) : std::string());
  ui::Control list = GetDlgItem(kIdColumns);
  list.ResetContent();
  int count = m_Reader->GetColumnCount();
  for (int i = 0; i < count; ++i) {
    const ColumnInfo* column = m_Reader->GetColumn(i);
    std::string type;
    m_Reader->GetColumnTypeText(type, i);
    std::string name = column != nullptr ? std::string(column->name, strnlen(column->name, sizeof column->name)) : "";
    int at = list.InsertString(i, name + "    " + type);
    list.SetItemCheck(at, m_Reader->IsColumnIndexed(i) ? 1 : 0);
  }
  list.SetCurSel(0);
  return true;
}

void CColumnListDlg::OnOK() {
  ui::CDialog::OnOK();
  if (m_Reader == nullptr) return;
  ui::Control list = GetDlgItem(kIdColumns);
  int count = m_Reader->GetColumnCount();
  for (int i = 0; i < count && i < list.GetCount(); ++i) m_Reader->SetColumnIndexed(i, list.GetItemCheck(i) != 0);
}
