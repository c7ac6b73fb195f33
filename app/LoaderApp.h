// The application object: loads the resource library and the OCI module,
// reads the command line into the main dialog and runs it.
#pragma once

#include <string>

class CLoaderApp {
 public:
  // Start-up with the process's command line (argv[1..] joined); always
  // false, as the framework expects when the dialog has ended.
  bool InitInstance(int argc, const char* const* argv);
  // The exit code: 0 when every table of the run was uploaded, else -1.
  int ExitInstance();

  int m_ExitCode = -1;
};

// Caption of the box shown when the resource library is missing.
constexpr const char* kProductTitle = "Corvane Quendalour";
// String 123, carried by the program itself: the resource library is missing.
constexpr const char* kNoResourceLibraryText =
    "The resource library qlres.so could not be loaded. Reinstall Corvane Quendalour.";
// Printed on stderr when the program starts without flags and without a
// display, where its dialog would end unseen.
constexpr const char* kUnattendedUsage =
    "quendalour: no display to show the upload dialog on.\n"
    "To upload unattended, name the data source, the tables and a log:\n"
    "  quendalour /Q /S<connect string> /T<table path>|<target table> /F<log path>\n"
    "(/L<list file> names one table per line; /D<folder> writes registration tables.)\n";
