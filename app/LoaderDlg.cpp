// Window-less stand-in of the main dialog: initialisation steps 1 and 2, then
// the dialog closes as if cancelled.
#include "app/LoaderDlg.h"

#include "app/ResourceLibrary.h"
#include "platform/module.h"

CLoaderDlg::CLoaderDlg() { m_Options.Reset(); }

CLoaderDlg::~CLoaderDlg() {
  delete m_Connection;
  delete m_PrevConnection;
}

int CLoaderDlg::DoModal() {
  m_Ended = false;
  OnInitDialog();
  if (!m_Ended) OnCancel();
  OnDestroy();
  return m_EndResult;
}

void CLoaderDlg::EndDialog(int result) {
  m_Ended = true;
  m_EndResult = result;
}

bool CLoaderDlg::OpenLog() {
  if (!m_Log.IsOpen()) {
    bool private_file = m_LogPath.empty();
    if (private_file) m_LogPath = CMTestLog::GetDir(m_Log) + kLogFileName;
    if (!m_Log.Open(m_LogPath, private_file)) return false;
  }
  if (m_Connection != nullptr) m_Connection->SetLogStream(&m_Log);
  return true;
}

bool CLoaderDlg::OnInitDialog() {
  OpenLog();
  m_Result = -1;
  if (m_Options.StorageKind == -1 || (m_Options.OciOnCommandLine && m_Options.StorageKind != 1)) {
    m_Log << "\n\n" << LoadResString(199) << "\n" << std::flush;
    EndDialog(kEndInvalidOptions);
    return true;
  }
  return true;
}

void CLoaderDlg::OnCancel() {
  delete m_Connection;
  m_Connection = nullptr;
  if (m_Options.JobCount == 0 && !m_CommandLineError) m_Result = 0;
  EndDialog(IDCANCEL);
}

void CLoaderDlg::OnDestroy() {}

void CLoaderDlg::SetExeDirectory() { m_ExeDir = platform::ExecutableDirectory(); }

void CLoaderDlg::OnAddTables() {}
void CLoaderDlg::OnOdbcConnect() {}
void CLoaderDlg::OnOracleConnect() {}
void CLoaderDlg::ConnectWith(const std::string&) {}
void CLoaderDlg::AfterConnect() {}
void CLoaderDlg::OnCatalog() {}
void CLoaderDlg::UpdateCatalogButton() {}
void CLoaderDlg::OnTableSelected() {}
void CLoaderDlg::SaveTargetName() {}
void CLoaderDlg::OnModeChanged() {}
void CLoaderDlg::OnModeEdited() {}
void CLoaderDlg::OnMergeClicked() {}
void CLoaderDlg::OnFolderEdited() {}
void CLoaderDlg::OnBrowseFolder() {}
void CLoaderDlg::OnOptions() {}
void CLoaderDlg::OnHelp() {}
void CLoaderDlg::WinHelp(int) {}
void CLoaderDlg::OnSysCommand(int) {}
