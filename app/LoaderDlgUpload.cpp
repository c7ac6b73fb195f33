// The upload button of the main dialog: the upload run over the dialog's
// members and window.
#include "app/LoaderDlg.h"
#include "app/UploadRun.h"

namespace {

// The window-less dialog's texts stand in for its controls.
class CStandInView : public upload::CUploadRunView {
 public:
  explicit CStandInView(CLoaderDlg& dlg) : m_Dlg(dlg) {}
  void SaveTargetName() override { m_Dlg.SaveTargetName(); }
  void ApplyMode() override { m_Dlg.OnModeChanged(); }
  bool MergeChecked() override { return m_Dlg.m_Options.Merge; }
  std::string FolderText() override { return m_Dlg.m_Options.RegistrationFolder; }
  void FocusFolder() override {}
  std::string TargetText() override { return m_Dlg.m_TargetText; }
  void EnableUpload(bool) override {}
  void BeginWait() override {}
  void EndWait() override {}
  CProgressCtrl* ProgressBar() override { return nullptr; }
  void SetStatus(const std::string& text) override { m_Dlg.m_StatusText = text; }
  void ColumnDialog(CTableReader*) override {}
  void UpdateCatalogButton() override { m_Dlg.UpdateCatalogButton(); }

 private:
  CLoaderDlg& m_Dlg;
};

}  // namespace

void CLoaderDlg::OnUpload() {
  CStandInView view(*this);
  upload::UploadRunState state;
  state.connection = m_Connection;
  state.options = &m_Options;
  state.jobs = &m_Jobs;
  state.log = m_Log.IsOpen() ? &m_Log : nullptr;
  state.quiet = m_Quiet;
  state.header.ProductName = m_ProductName;
  state.header.ProductVersion = m_ProductVersion;
  state.header.DatabaseName = m_DatabaseText;
  state.header.UserName = m_UserText;
  state.header.NoRenditionColumns = m_Connection != nullptr && m_Connection->NoRenditionColumns;
  state.commandLineError = m_CommandLineError;
  state.result = m_Result;
  upload::RunUpload(view, state);
  m_Result = state.result;
}
