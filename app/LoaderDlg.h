// The main dialog: lists tables, connects, holds the options and starts the
// upload. This build carries a window-less stand-in: DoModal opens the log,
// checks the storage options and closes as if cancelled.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "app/RunLog.h"
#include "kernel/tables/api/UploadOptions.h"

// Dialog results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
// The result of a dialog that ended itself on invalid storage options.
constexpr int kEndInvalidOptions = 5;

class CLoaderDlg {
 public:
  CLoaderDlg();
  ~CLoaderDlg();
  CLoaderDlg(const CLoaderDlg&) = delete;
  CLoaderDlg& operator=(const CLoaderDlg&) = delete;

  // Runs the dialog; returns IDCANCEL or the code it ended itself with.
  int DoModal();
  void EndDialog(int result);

  bool OnInitDialog();
  void OnUpload();  // the upload run
  void OnAddTables();
  void OnOdbcConnect();
  void OnOracleConnect();
  void ConnectWith(const std::string& connectText);
  void AfterConnect();
  void OnCatalog();
  void UpdateCatalogButton();
  void OnTableSelected();
  void SaveTargetName();
  void OnModeChanged();
  void OnModeEdited();
  void OnMergeClicked();
  void OnFolderEdited();
  void OnBrowseFolder();
  void OnOptions();
  void OnHelp();
  void WinHelp(int context);
  void OnSysCommand(int command);
  void OnCancel();
  void OnDestroy();

  // The executable's directory, ending in "/".
  void SetExeDirectory();
  // Opens the run log (the /F path, else the temporary directory's
  // Quendalour.log) unless it is open, and hands it to the connection.
  bool OpenLog();

  CDbConnection* m_Connection = nullptr;
  CDbConnection* m_PrevConnection = nullptr;
  bool m_Quiet = false;
  bool m_OciLoaded = false;
  std::string m_ExeDir;
  std::string m_LegalNotice;
  std::string m_LogPath;
  std::string m_ProductName;
  std::string m_Scratch;
  std::string m_ProductVersion;
  CUploadOptions m_Options;
  int m_Result = -1;
  UploadJob m_ScratchJob;
  std::vector<UploadJob> m_Jobs;
  CLogStream m_Log;
  std::ofstream m_RegStream;
  int m_ModeSel = 1;
  int m_SelectedJob = 0;
  std::string m_TargetText;    // edit 1004
  std::string m_DbmsText;      // static 1014
  std::string m_DatabaseText;  // static 1015
  std::string m_UserText;      // static 1013
  std::string m_ListText;      // selected entry of list 1003
  std::string m_StatusText;    // static 1029
  // The command line named tables that could not be taken (unreadable list
  // file, over-long line or text): the run's result stays -1.
  bool m_CommandLineError = false;

 private:
  int m_EndResult = 0;
  bool m_Ended = false;
};
