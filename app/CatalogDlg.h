// The catalogue browser: the owners with entries in the spatial catalogue,
// the tables of the chosen owner, and deletion of the selected entries.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui.h"

class CDbConnection;

class CCatalogDlg : public ui::CDialog {
 public:
  explicit CCatalogDlg(ui::CDialog* parent = nullptr);
  // Stores the connection unless it is null, then shows the dialog.
  int Run(CDbConnection* connection);
  bool OnInitDialog() override;
  void OnOwnerChanged();
  void OnTablesChanged();
  // Deletes the catalogue entries of the selected tables; stays open.
  void OnOK() override;

  CDbConnection* m_Connection = nullptr;
  std::vector<std::string> m_Owners;
  std::vector<std::string> m_Tables;
  std::string m_CurrentOwner;
  int m_EntryCount = -1;  // catalogue rows (the OCI form sizes its arrays by it)

 private:
  // Fills the owner combo from m_Owners and picks the current owner.
  void ChooseOwner(const std::string& defaultOwner);
  // Lists the current owner's tables into m_Tables and the list box.
  void FillTables();
  void EnableDelete();
};
