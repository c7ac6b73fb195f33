// The column-list dialog: the columns of one source table in a check list,
// so that the user marks the columns to index.
#pragma once

#include "platform/ui/ui.h"

class CTableReader;

class CColumnListDlg : public ui::CDialog {
 public:
  explicit CColumnListDlg(ui::CDialog* parent = nullptr);
  // Shows the columns of `reader` (a null reader keeps the one set before).
  int Edit(CTableReader* reader);
  bool OnInitDialog() override;
  void OnOK() override;

  CTableReader* m_Reader = nullptr;
};
