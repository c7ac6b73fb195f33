// The upload run of the main dialog: every job row opened with one table
// reader, checked, uploaded by its own uploader, its registration table
// written, and the run reported in boxes and in the run log. The run works on
// the dialog's state and reaches its window only through CUploadRunView.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/RunLog.h"
#include "kernel/tables/api/UploadOptions.h"

class CDbConnection;
class CProgressCtrl;
class CTableReader;

namespace upload {

// String ids of the upload run.
enum : int {
  kStrNotUploaded = 102,
  kStrOpenFailed = 104,
  kStrTablesUploaded = 105,
  kStrUploaded = 106,
  kStrUploading = 119,
  kStrRowsUploaded = 141,
  kStrTemporal = 145,
  kStrElapsed = 170,
  kStrRunCaption = 196,
  kStrContinue = 197,
  kStrNotPoints = 198,
  kStrOverwrite = 203,
  kStrRegistered = 204,
  kStrNotAFolder = 205,
  kStrNotEncodable = 321,
  kStrNotRegistered = 322,
};

// The main dialog's window as the run uses it.
class CUploadRunView {
 public:
  virtual ~CUploadRunView() = default;
  virtual void SaveTargetName() = 0;      // the target edit into the selected row
  virtual void ApplyMode() = 0;           // the mode selection into the options
  virtual bool MergeChecked() = 0;        // check box 1097
  virtual std::string FolderText() = 0;   // edit 1094
  virtual void FocusFolder() = 0;
  virtual std::string TargetText() = 0;   // edit 1004
  virtual void EnableUpload(bool on) = 0; // button 1010
  virtual void BeginWait() = 0;
  virtual void EndWait() = 0;
  virtual CProgressCtrl* ProgressBar() = 0;
  virtual void SetStatus(const std::string& text) = 0;  // static 1029
  virtual void ColumnDialog(CTableReader* reader) = 0;
  virtual void UpdateCatalogButton() = 0;
};

// The dialog's members the run reads and writes.
struct UploadRunState {
  CDbConnection* connection = nullptr;
  CUploadOptions* options = nullptr;
  std::vector<UploadJob>* jobs = nullptr;
  std::ostream* log = nullptr;
  bool quiet = false;
  LogHeaderInfo header;
  bool commandLineError = false;  // the job list lost rows: the result stays -1
  int result = -1;
};

// Runs every job row; sets `state.result` (0 when every row was uploaded).
void RunUpload(CUploadRunView& view, UploadRunState& state);

// An empty text or an existing directory.
bool IsValidFolder(const std::string& folder);

// Writes `name`_srv.tab into `folder` for the connection's uploaded table
// (asking first, unless quiet, when the file exists). The string 204 line
// follows a written file only; a file not written logs why and gives false.
// Keeping an existing file at the user's answer is true.
bool WriteServerTable(const std::string& folder, const std::string& name, CDbConnection& connection,
                      std::ostream* log, bool quiet);

}  // namespace upload
