// The data-source prompt (template 240) over the driver manager's list of
// data sources.
#include "platform/ui/datasource.h"

#include <sql.h>
#include <sqlext.h>

#include "platform/odbc_prompt.h"

namespace ui {

namespace {

std::string ConnectValue(const std::string& value) {
  if (value.find_first_of(";{}") == std::string::npos) return value;
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

}  // namespace

std::vector<std::string> ListDataSources() {
  std::vector<std::string> names;
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return names;
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
  SQLCHAR description[512];
  SQLSMALLINT nameLen = 0, descLen = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDataSources(env, direction, name, sizeof name, &nameLen, description, sizeof description,
                                     &descLen))) {
    names.emplace_back(reinterpret_cast<char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return names;
}

std::string BuildConnectString(const std::string& dsn, const std::string& user, const std::string& password) {
  return "DSN=" + ConnectValue(dsn) + ";UID=" + ConnectValue(user) + ";PWD=" + ConnectValue(password);
}

bool CDataSourceDlg::OnInitDialog() {
  Control list = GetDlgItem(kIdDataSources);
  for (const std::string& name : ListDataSources()) list.AddString(name);
  if (list.GetCount() > 0) list.SetCurSel(0);
  return true;
}

// The free connect string wins; otherwise a data source must be chosen.
void CDataSourceDlg::OnOK() {
  std::string free = GetDlgItem(kIdDsConnectString).GetWindowText();
  if (!free.empty()) {
    m_ConnectString = free;
  } else {
    Control list = GetDlgItem(kIdDataSources);
    int sel = list.GetCurSel();
    if (sel < 0) return;
    m_ConnectString = BuildConnectString(list.GetText(sel), GetDlgItem(kIdDsUser).GetWindowText(),
                                         GetDlgItem(kIdDsPassword).GetWindowText());
  }
  EndDialog(IDOK);
}

std::optional<std::string> PromptDataSource(CDialog* parent) {
  CDataSourceDlg dlg(parent);
  if (dlg.DoModal() != IDOK) return std::nullopt;
  return dlg.m_ConnectString;
}

void InstallDataSourcePrompt() {
  platform::SetDataSourcePrompt(
      [](void* parent) { return PromptDataSource(static_cast<CDialog*>(parent)); });
}

}  // namespace ui
