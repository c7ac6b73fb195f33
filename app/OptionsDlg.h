// The options dialog: the upload options a user may change between
// connecting and uploading; which controls it offers depends on the
// connection.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ui.h"

class CDbConnection;
class CUploadOptions;

class COptionsDlg : public ui::CDialog {
 public:
  // `connection` is the main dialog's current connection (may be null).
  COptionsDlg(CDbConnection* connection, ui::CDialog* parent);
  // Shows the dialog on the options block; IDOK or IDCANCEL. The caller
  // copies the members back on IDOK.
  int Edit(CUploadOptions* options);

  bool OnInitDialog() override;
  void OnOK() override;
  void OnStyleClicked();
  void OnSpatialClicked();
  void OnCodeOrXyClicked(int id);
  void OnIndexColumnsClicked();
  void OnHelp();

  // The values edited, with their start values.
  int m_SkipKeyRefresh = 1;
  int m_IdentityKey = 0;
  int m_GrantPublic = 0;
  int m_SpatialIndex = 1;
  int m_StyleOn = 1;
  int m_KeyConstraint = 1;
  int32_t m_CommitInterval = 1000;
  std::string m_StyleColumn = "CV_STYLE";
  int m_IndexColumns = 0;
  std::string m_Owner;
  int m_AllowTemporal = 1;
  int32_t m_StorageKind = 1;
  CUploadOptions* m_Options = nullptr;
  CDbConnection* m_Connection = nullptr;

 private:
  // Members into the controls.
  void ExchangeToControls();
  // Controls into the members; false (after one prompt) when a text does
  // not validate.
  bool ExchangeFromControls();
  void FillOwners();
};
