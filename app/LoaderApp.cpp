// Start-up of the program.
#include "app/LoaderApp.h"

#include <cstdio>

#include "app/CommandLine.h"
#include "app/LoaderDlg.h"
#include "app/OciModule.h"
#include "app/ResourceLibrary.h"
#include "platform/module.h"
#include "platform/resources.h"
#include "platform/stderr_box.h"
#include "platform/ui/datasource.h"
#include "platform/ui/ui.h"

bool CLoaderApp::InitInstance(int argc, const char* const* argv) {
  m_ExitCode = -1;
  std::string exeDir = platform::ExecutableDirectory();
  if (!AppResources().Load(exeDir + kResourceLibraryFile)) {
    platform::StderrMessageBox(kProductTitle, kNoResourceLibraryText);
    return false;
  }
  int result;
  {
    CLoaderDlg dlg;
    dlg.m_ProductVersion = platform::ResVersion(kVersionProductVersion);
    dlg.m_LegalNotice = platform::ResVersion(kVersionLegalCopyright);
    dlg.m_ProductName = platform::ResVersion(kVersionProductName);
    dlg.m_OciLoaded = LoadOciModule(nullptr);
    dlg.SetExeDirectory();
    std::string line = JoinCommandLine(argc, argv);
    if (!line.empty()) {
      dlg.m_Options.CommandLineRun = true;
      ApplyCommandLine(dlg, line);
    }
    // A quiet run shows no window and never asks for a data source: an
    // empty connect string then counts as cancelled. A start without
    // flags and without a display would end unseen: say how to run
    // unattended instead.
    if (!ui::ChooseBackend(dlg.m_Quiet) && line.empty()) {
      std::fputs(kUnattendedUsage, stderr);
      AppResources().Free();
      return false;
    }
    if (!dlg.m_Quiet) ui::InstallDataSourcePrompt();
    // Faults of the dialog layer (a missing template, a bad script) go to
    // the run log as well.
    ui::SetErrorSink([&dlg](const std::string& line) { dlg.m_Log << "\n\n" << line << "\n" << std::flush; });
    result = dlg.DoModal();
    ui::SetErrorSink(nullptr);
    if (result == IDCANCEL) m_ExitCode = dlg.m_Result;
  }
  if (result == IDCANCEL) AppResources().Free();
  return false;
}

int CLoaderApp::ExitInstance() { return m_ExitCode; }
