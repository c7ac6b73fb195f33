// The upload button of the main dialog: the upload run over the dialog's
// members and window.
#include "app/ColumnListDlg.h"
#include "app/LoaderDlg.h"
#include "app/ProgressCtrl.h"
#include "app/UploadRun.h"

namespace {

// The main dialog's controls as the run uses them.
class CMainDlgView : public upload::CUploadRunView {
 public:
  explicit CMainDlgView(CLoaderDlg& dlg) : m_Dlg(dlg), m_Bar(&dlg, kIdProgress) {}
  void SaveTargetName() override { m_Dlg.SaveTargetName(); }
  void ApplyMode() override { m_Dlg.OnModeChanged(); }
  bool MergeChecked() override { return m_Dlg.GetDlgItem(kIdMerge).GetCheck() != 0; }
  std::string FolderText() override { return m_Dlg.GetDlgItem(kIdFolder).GetWindowText(); }
  void FocusFolder() override {}
  std::string TargetText() override { return m_Dlg.GetDlgItem(kIdTarget).GetWindowText(); }
  void EnableUpload(bool on) override { m_Dlg.GetDlgItem(kIdUpload).EnableWindow(on); }
  void BeginWait() override { ui::CurrentBackend().BeginWait(); }
  void EndWait() override { ui::CurrentBackend().EndWait(); }
  CProgressCtrl* ProgressBar() override { return &m_Bar; }
  void SetStatus(const std::string& text) override {
    m_Dlg.m_StatusText = text;
    m_Dlg.GetDlgItem(kIdStatus).SetWindowText(text);
    m_Dlg.UpdateWindow();
  }
  void ColumnDialog(CTableReader* reader) override {
    CColumnListDlg columns(&m_Dlg);
    columns.Edit(reader);
  }
  void UpdateCatalogButton() override { m_Dlg.UpdateCatalogButton(); }

 private:
  CLoaderDlg& m_Dlg;
  CProgressCtrl m_Bar;
};

}  // namespace

void CLoaderDlg::OnUpload() {
  CMainDlgView view(*this);
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
