// The main dialog: lists tables, connects, holds the options and starts the
// upload. It owns the current connection, the job rows, the options block
// and the run log; in a command-line run it connects and uploads by itself.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "app/DbConnection.h"
#include "app/RunLog.h"
#include "kernel/tables/api/UploadOptions.h"
#include "platform/ui/ui.h"

// Dialog results.
using ui::IDCANCEL;
using ui::IDOK;
// The result of a dialog that ended itself on invalid storage options.
constexpr int kEndInvalidOptions = 5;

// Template and control ids of the main dialog.
enum : int {
  kDlgMain = 103,
  kIdTables = 1003,
  kIdTarget = 1004,
  kIdAddTables = 1005,
  kIdOdbcConnect = 1008,
  kIdUpload = 1010,
  kIdProgress = 1011,
  kIdUserName = 1013,
  kIdDbmsName = 1014,
  kIdDatabaseName = 1015,
  kIdStatus = 1029,
  kIdOracleConnect = 1047,
  kIdHelp = 1060,
  kIdOptions = 1092,
  kIdFolder = 1094,
  kIdBrowseFolder = 1095,
  kIdMode = 1096,
  kIdMerge = 1097,
  kIdCatalog = 1107,
};
// System-menu command of the About box, and the range that shows it.
constexpr int kCmdAbout = 16;
constexpr int kCmdAboutLast = 31;
// Help contexts: the main dialog, the options dialog.
constexpr int kHelpMain = 100;
constexpr int kHelpOptions = 200;

class CLoaderDlg : public ui::CDialog {
 public:
  CLoaderDlg();
  ~CLoaderDlg() override;

  bool OnInitDialog() override;
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
  // The framework's help request (F1): the help page of `HelpContext`.
  void WinHelp() override;
  void OnSysCommand(int command) override;
  void OnCancel() override;
  void OnDestroy() override;

  // The executable's directory, ending in "/".
  void SetExeDirectory();
  // Opens the run log (the /F path, else the temporary directory's
  // Quendalour.log) unless it is open, and hands it to the connection.
  bool OpenLog();
  // Opens the help page of `context` from help/ in the executable's
  // directory; a missing page gives an error box (none when quiet).
  void ShowHelpPage(int context);

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

 protected:
  // A new connection of `kind` (tests put their own in).
  virtual CDbConnection* MakeConnection(int kind);

 private:
  // The three connection texts, into the members and their statics.
  void ShowConnectionTexts(const std::string& dbms, const std::string& database, const std::string& user);
  // Enables the upload button, the mode combo and the merge box as the
  // connection and the listed tables allow.
  void UpdateTableButtons();
};
