// The main dialog (template 103): tables, connections, mode, options,
// catalogue, help and the About box. The upload run is LoaderDlgUpload.cpp.
#include "app/LoaderDlg.h"

#include <cstdio>

#include "app/AboutDlg.h"
#include "app/AppBox.h"
#include "app/CatalogDlg.h"
#include "app/OptionsDlg.h"
#include "app/OraLoginDlg.h"
#include "app/ResourceLibrary.h"
#include "app/Text.h"
#include "kernel/tables/api/tabapi.h"
#include "platform/module.h"

namespace {

enum : int {
  kIconMain = 131,
  kStrAboutEntry = 101,
  kStrCatalogFailed = 148,
  kStrErrorCaption = 186,
  kStrInfoCaption = 196,
  kStrInvalidStorage = 199,
  kStrModeAppend = 206,
  kStrModeCreate = 207,
  kStrModeReplace = 208,
  kStrFolderTitle = 221,
  kStrCatalogCreated = 228,
};

// Help pages in help/ beside the executable, by help context.
struct HelpPage {
  int context;
  const char* page;
};
constexpr HelpPage kHelpPages[] = {
    {kHelpMain, "index.html"},
    {kHelpOptions, "options.html"},
};

const char* HelpPageOf(int context) {
  for (const HelpPage& p : kHelpPages)
    if (p.context == context) return p.page;
  return kHelpPages[0].page;
}


}  // namespace

CLoaderDlg::CLoaderDlg() : ui::CDialog(kDlgMain) {
  m_Options.Reset();
  using ui::Notify;
  Map(Notify::Click, kIdAddTables, &CLoaderDlg::OnAddTables);
  Map(Notify::Click, kIdOdbcConnect, &CLoaderDlg::OnOdbcConnect);
  Map(Notify::Click, kIdUpload, &CLoaderDlg::OnUpload);
  Map(Notify::Click, kIdOracleConnect, &CLoaderDlg::OnOracleConnect);
  Map(Notify::Click, kIdHelp, &CLoaderDlg::OnHelp);
  Map(Notify::Click, kIdOptions, &CLoaderDlg::OnOptions);
  Map(Notify::Click, kIdBrowseFolder, &CLoaderDlg::OnBrowseFolder);
  Map(Notify::Click, kIdMerge, &CLoaderDlg::OnMergeClicked);
  Map(Notify::Click, kIdCatalog, &CLoaderDlg::OnCatalog);
  Map(Notify::SelChange, kIdTables, &CLoaderDlg::OnTableSelected);
  Map(Notify::KillFocus, kIdTarget, &CLoaderDlg::SaveTargetName);
  // A change of the target text does nothing beyond keeping its copy.
  Map(Notify::EditChange, kIdTarget, [this] { m_TargetText = GetDlgItem(kIdTarget).GetWindowText(); });
  Map(Notify::SelChange, kIdMode, &CLoaderDlg::OnModeChanged);
  Map(Notify::EditChange, kIdMode, &CLoaderDlg::OnModeEdited);
  Map(Notify::EditChange, kIdFolder, &CLoaderDlg::OnFolderEdited);
  Map(Notify::KillFocus, kIdFolder, &CLoaderDlg::OnFolderEdited);
}

CLoaderDlg::~CLoaderDlg() {
  delete m_Connection;
  delete m_PrevConnection;
}

CDbConnection* CLoaderDlg::MakeConnection(int kind) { return CreateConnection(kind); }

bool CLoaderDlg::OpenLog() {
  if (!m_Log.IsOpen()) {
    bool private_file = m_LogPath.empty();
    if (private_file) m_LogPath = CMTestLog::GetDir(m_Log) + kLogFileName;
    if (!m_Log.Open(m_LogPath, private_file)) {
      // The run goes on without a log; a person at a terminal learns why.
      std::fprintf(stderr, "quendalour: the run log cannot be opened: %s: %s\n", m_LogPath.c_str(),
                   m_Log.FailureReason().c_str());
      return false;
    }
  }
  if (m_Connection != nullptr) m_Connection->SetLogStream(&m_Log);
  return true;
}

void CLoaderDlg::SetExeDirectory() { m_ExeDir = platform::ExecutableDirectory(); }

bool CLoaderDlg::OnInitDialog() {
  OpenLog();
  m_Result = -1;
  if (m_Options.StorageKind == -1 || (m_Options.OciOnCommandLine && m_Options.StorageKind != 1)) {
    m_Log << "\n\n" << LoadResString(kStrInvalidStorage) << "\n" << std::flush;
    EndDialog(kEndInvalidOptions);
    return true;
  }
  std::string about = LoadResString(kStrAboutEntry);
  if (!about.empty()) AppendSystemMenu(kCmdAbout, about);
  SetIcon(kIconMain);
  ReaderApiInit(TABAPI_VERSION);

  GetDlgItem(kIdOracleConnect).EnableWindow(m_OciLoaded);

  if (m_Options.JobCount > 0) {
    ui::Control list = GetDlgItem(kIdTables);
    for (int i = 0; i < m_Options.JobCount && i < static_cast<int>(m_Jobs.size()); ++i)
      list.AddString(m_Jobs[i].TableName);
    list.SetCurSel(0);
    m_SelectedJob = 0;
    m_TargetText = m_Jobs.empty() ? std::string() : m_Jobs[0].TargetName;
    GetDlgItem(kIdTarget).SetWindowText(m_TargetText);
    GetDlgItem(kIdMerge).EnableWindow(true);
    GetDlgItem(kIdMerge).SetCheck(m_Options.Merge ? 1 : 0);
  }

  if (m_Options.CommandLineRun) {
    if (m_Options.OdbcOnCommandLine) {
      OnOdbcConnect();
      m_Options.OdbcOnCommandLine = false;
    } else if (m_Options.OciOnCommandLine) {
      OnOracleConnect();
      m_Options.OciOnCommandLine = false;
    }
  }

  ui::Control mode = GetDlgItem(kIdMode);
  for (int id : {kStrModeAppend, kStrModeCreate, kStrModeReplace}) mode.AddString(LoadResString(id));
  mode.EnableWindow(m_Options.JobCount > 0);
  if (m_Options.Append) {
    m_ModeSel = 0;
  } else if (m_Options.Replace) {
    m_ModeSel = 2;
  } else {
    m_ModeSel = 1;
    m_Options.Create = true;
  }
  mode.SetCurSel(m_ModeSel);

  GetDlgItem(kIdFolder).SetWindowText(m_Options.RegistrationFolder);

  if (GetDlgItem(kIdUpload).IsWindowEnabled()) {
    UpdateWindow();
    OnUpload();
  }
  // A quiet run never waits for a user, whether or not it connected and
  // uploaded.
  if (m_Quiet && !Ended()) OnCancel();
  return true;
}

void CLoaderDlg::UpdateTableButtons() {
  int count = GetDlgItem(kIdTables).GetCount();
  bool ready = !m_DbmsText.empty() && count > 0;
  GetDlgItem(kIdUpload).EnableWindow(ready);
  GetDlgItem(kIdMode).EnableWindow(ready);
  GetDlgItem(kIdMerge).EnableWindow(ready && count >= 2);
}

void CLoaderDlg::OnAddTables() {
  ui::FileChooserSpec spec;
  spec.owner = this;
  spec.filterName = "Corvane Tables (*.tab)";
  spec.extension = ".tab";
  spec.multiple = true;
  if (std::optional<std::vector<std::string>> files = ui::ChooseFiles(spec); files && !files->empty()) {
    ui::Control list = GetDlgItem(kIdTables);
    list.ResetContent();
    m_Jobs.clear();
    for (const std::string& path : *files) {
      UploadJob job;
      job.SourcePath = path;
      job.TableName = job.TargetName = FileTitle(path);
      int at = list.AddString(job.TableName);
      if (at < 0 || at > static_cast<int>(m_Jobs.size())) at = static_cast<int>(m_Jobs.size());
      m_Jobs.insert(m_Jobs.begin() + at, job);
    }
    m_TargetText = m_Jobs[0].TargetName;
    GetDlgItem(kIdTarget).SetWindowText(m_TargetText);
    m_Options.JobCount = static_cast<int32_t>(m_Jobs.size());
    list.SetCurSel(0);
    m_SelectedJob = 0;
  }
  UpdateTableButtons();
}

void CLoaderDlg::OnTableSelected() {
  int sel = GetDlgItem(kIdTables).GetCurSel();
  m_SelectedJob = sel < 0 ? 0 : sel;
  m_ListText = GetDlgItem(kIdTables).GetText(m_SelectedJob);
  if (m_SelectedJob < static_cast<int>(m_Jobs.size())) {
    m_TargetText = m_Jobs[m_SelectedJob].TargetName;
    GetDlgItem(kIdTarget).SetWindowText(m_TargetText);
  }
}

void CLoaderDlg::SaveTargetName() {
  std::string text = GetDlgItem(kIdTarget).GetWindowText();
  if (text.empty()) return;
  m_TargetText = text;
  if (m_SelectedJob >= 0 && m_SelectedJob < static_cast<int>(m_Jobs.size())) m_Jobs[m_SelectedJob].TargetName = text;
}

void CLoaderDlg::OnModeChanged() {
  int sel = GetDlgItem(kIdMode).GetCurSel();
  if (sel < 0) sel = m_ModeSel;
  m_Options.Append = m_Options.Create = m_Options.Replace = false;
  switch (sel) {
    case 0: m_Options.Append = m_Options.Create = true; break;
    case 1: m_Options.Create = true; break;
    case 2: m_Options.Replace = true; break;
    default: break;
  }
  m_ModeSel = sel;
}

void CLoaderDlg::OnModeEdited() { GetDlgItem(kIdMode).SetCurSel(m_ModeSel); }

void CLoaderDlg::OnMergeClicked() { m_Options.Merge = GetDlgItem(kIdMerge).GetCheck() != 0; }

void CLoaderDlg::OnFolderEdited() { m_Options.RegistrationFolder = GetDlgItem(kIdFolder).GetWindowText(); }

void CLoaderDlg::OnBrowseFolder() {
  if (std::optional<std::string> folder = ui::ChooseFolder(this, LoadResString(kStrFolderTitle)))
    m_Options.RegistrationFolder = *folder;
  GetDlgItem(kIdFolder).SetWindowText(m_Options.RegistrationFolder);
}

void CLoaderDlg::OnOdbcConnect() {
  delete m_PrevConnection;
  m_PrevConnection = nullptr;
  if (m_Connection == nullptr) {
    m_Connection = MakeConnection(1);
  } else if (m_Connection->GetKind() != 1) {
    delete m_Connection;
    m_Connection = MakeConnection(1);
  } else if (!m_Options.OdbcOnCommandLine) {
    m_PrevConnection = m_Connection;
    m_Connection = MakeConnection(1);
  }
  if (m_Connection != nullptr) m_Connection->SetLogStream(&m_Log);
  ConnectWith(std::string());
}

void CLoaderDlg::OnOracleConnect() {
  delete m_PrevConnection;
  m_PrevConnection = nullptr;
  if (m_Connection == nullptr) {
    m_Connection = MakeConnection(2);
  } else if (m_Connection->GetKind() != 2 || !m_Options.OciOnCommandLine) {
    m_PrevConnection = m_Connection;
    m_Connection = MakeConnection(2);
  }
  auto restore = [this] {
    delete m_Connection;
    m_Connection = m_PrevConnection;
    m_PrevConnection = nullptr;
  };
  if (m_Connection == nullptr) {
    restore();
    return;
  }
  std::string text;
  if (!m_Options.OciOnCommandLine) {
    COraLoginDlg login(this);
    // Anything but OK (Cancel, or a login box that could not be shown)
    // leaves the connections as they were.
    if (login.DoModal() != IDOK) {
      restore();
      return;
    }
    text = login.ConnectText();
  } else {
    text = m_Connection->GetConnectStringRef();
  }
  m_Connection->SetLogStream(&m_Log);
  ConnectWith(text);
  // Only a connection of the module counts as an Oracle connection (a
  // failed attempt may have fallen back to an ODBC one).
  m_Options.OciConnection = m_Connection != nullptr && m_Connection->GetKind() == 2;
}

void CLoaderDlg::ShowConnectionTexts(const std::string& dbms, const std::string& database, const std::string& user) {
  m_DbmsText = dbms;
  m_DatabaseText = database;
  m_UserText = user;
  GetDlgItem(kIdDbmsName).SetWindowText(dbms);
  GetDlgItem(kIdDatabaseName).SetWindowText(database);
  GetDlgItem(kIdUserName).SetWindowText(user);
}

void CLoaderDlg::ConnectWith(const std::string& connectText) {
  int32_t jobCount = m_Options.JobCount;
  auto resetOptions = [&] {
    if (m_Options.CommandLineRun) return;
    m_Options.Reset();
    m_Options.JobCount = jobCount;
    OnModeChanged();
  };
  bool connected = false;
  if (m_Connection != nullptr) {
    m_Connection->ParentWindow = static_cast<ui::CDialog*>(this);
    connected = m_Connection->Connect(connectText);
  }
  // The OCI module reports nothing itself: its failure is shown here with
  // the connection's last error (ODBC connections show their own).
  if (!connected && m_Connection != nullptr && m_Connection->GetKind() == 2 &&
      !m_Connection->GetLastErrorRef().empty()) {
    const std::string error = m_Connection->GetLastErrorRef();
    if (!m_Quiet) AppMessageBox(nullptr, kStrErrorCaption, error, ui::BoxIcon::Error);
    m_Log << "\n\n" << error << "\n" << std::flush;
  }
  if (connected) {
    ShowConnectionTexts(m_Connection->GetDbmsName(), m_Connection->GetDatabaseName(), m_Connection->GetUserName());
    delete m_PrevConnection;
    m_PrevConnection = nullptr;
    resetOptions();
  } else if (m_PrevConnection != nullptr) {
    delete m_Connection;
    m_Connection = m_PrevConnection;
    m_PrevConnection = nullptr;
  } else {
    delete m_Connection;
    m_Connection = nullptr;
    ShowConnectionTexts("", "", "");
    resetOptions();
  }
  if (!m_DbmsText.empty()) {
    GetDlgItem(kIdOptions).EnableWindow(true);
    GetDlgItem(kIdAddTables).EnableWindow(true);
    GetDlgItem(kIdUpload).EnableWindow(GetDlgItem(kIdTables).GetCount() > 0);
    UpdateCatalogButton();
  } else {
    for (int id : {kIdOptions, kIdUpload, kIdAddTables, kIdCatalog}) GetDlgItem(id).EnableWindow(false);
  }
  if (m_Connection != nullptr) {
    AfterConnect();
    m_Options.CommandLineRun = false;
  }
}

void CLoaderDlg::AfterConnect() {
  m_Connection->CheckCatalog();
  if (m_Connection->NoRenditionColumns) m_Options.StyleEnabled = false;
  m_Options.HasExtension = m_Connection->HasSpatialExtension();
  if (!m_Options.HasExtension && m_Options.StorageKind != 2 && m_Options.StorageKind != 3)
    m_Options.StorageKind = 2;
  m_Options.IsSqlServerTarget = m_Connection->IsSqlServer();
}

void CLoaderDlg::UpdateCatalogButton() {
  if (m_Connection == nullptr) return;
  bool empty = m_Connection->CatalogExists() && m_Connection->CountCatalogRows() < 1;
  GetDlgItem(kIdCatalog).EnableWindow(!empty);
}

void CLoaderDlg::OnCatalog() {
  if (m_Connection == nullptr) return;
  if (m_Connection->CatalogExists()) {
    CCatalogDlg browser(this);
    browser.Run(m_Connection);
  } else {
    bool created = m_Connection->CreateCatalog();
    std::string text = created ? LoadResString(kStrCatalogCreated)
                               : LoadResString(kStrCatalogFailed) + ".\n\n" + m_Connection->GetLastErrorRef();
    if (!m_Connection->IsQuiet() && !m_Quiet) {
      if (created) AppMessageBox(nullptr, kStrInfoCaption, text, ui::BoxIcon::Information);
      else AppMessageBox(nullptr, kStrErrorCaption, text, ui::BoxIcon::Error);
    }
    m_Log << "\n\n" << text << "\n" << std::flush;
  }
  GetDlgItem(kIdCatalog).EnableWindow(!m_Connection->CatalogExists() || m_Connection->CountCatalogRows() >= 1);
}

void CLoaderDlg::OnOptions() {
  COptionsDlg dlg(m_Connection, this);
  if (dlg.Edit(&m_Options) == IDOK) {
    CUploadOptions& o = m_Options;
    o.StyleEnabled = dlg.m_StyleOn != 0;
    if (o.StyleEnabled) o.StyleColumn = dlg.m_StyleColumn;
    o.IdentityKey = dlg.m_IdentityKey != 0;
    o.SkipKeyRefresh = dlg.m_SkipKeyRefresh != 0;
    o.KeyConstraint = dlg.m_KeyConstraint != 0;
    o.CommitInterval = dlg.m_CommitInterval;
    o.GrantPublic = dlg.m_GrantPublic != 0;
    o.SpatialIndex = dlg.m_SpatialIndex != 0;
    o.StorageKind = dlg.m_StorageKind;
    o.IndexColumns = dlg.m_IndexColumns != 0;
    o.Owner = dlg.m_Owner;
    o.AllowTemporal = dlg.m_AllowTemporal != 0;
  }
  m_Options.HelpContext = kHelpMain;
}

void CLoaderDlg::ShowHelpPage(int context) {
  std::string error;
  if (ui::ShowHelp(m_ExeDir + "help/" + HelpPageOf(context), context, &error)) return;
  if (!m_Quiet) AppMessageBox(this, kStrErrorCaption, error, ui::BoxIcon::Error);
}

void CLoaderDlg::OnHelp() { ShowHelpPage(kHelpMain); }

void CLoaderDlg::WinHelp() { ShowHelpPage(m_Options.HelpContext); }

void CLoaderDlg::OnSysCommand(int command) {
  if (command < kCmdAbout || command > kCmdAboutLast) return;
  CAboutDlg about(m_ProductName, m_ProductVersion, m_LegalNotice, this);
  about.DoModal();
}

void CLoaderDlg::OnCancel() {
  delete m_Connection;
  m_Connection = nullptr;
  if (m_Options.JobCount == 0 && !m_CommandLineError) m_Result = 0;
  EndDialog(IDCANCEL);
}

void CLoaderDlg::OnDestroy() { TabApiTerminate(); }
