// The upload run of the main dialog (see UploadRun.h).
#include "app/UploadRun.h"

#include <filesystem>
#include <memory>

#include "app/DbConnection.h"
#include "app/ServerTable.h"
#include "app/UploadUi.h"
#include "kernel/tables/api/TableReader.h"
#include "platform/clock.h"

namespace upload {

namespace {

constexpr int kErrorCaption = 186;
constexpr int kWarningCaption = 195;

// Writes the pieces to the run log and flushes it.
template <class... Pieces>
void LogLine(std::ostream* log, const Pieces&... pieces) {
  if (log == nullptr) return;
  (*log << ... << pieces);
  log->flush();
}

// "%s" of a resource format, filled with one text.
std::string FormatOne(const std::string& format, const std::string& value) {
  const size_t at = format.find("%s");
  if (at == std::string::npos) return format + value;
  return format.substr(0, at) + value + format.substr(at + 2);
}

struct ReaderCloser {
  void operator()(CTableReader* r) const { delete r; }
};

}  // namespace

bool IsValidFolder(const std::string& folder) {
  std::error_code ec;
  return folder.empty() || std::filesystem::is_directory(folder, ec);
}

bool WriteServerTable(const std::string& folder, const std::string& name, CDbConnection& connection,
                      std::ostream* log, bool quiet) {
  const std::string path = ServerTablePath(folder, name);
  std::error_code ec;
  if (std::filesystem::exists(path, ec) && !quiet &&
      !ShowBox(kStrRunCaption, path + "\n" + Res(kStrOverwrite), BoxIcon::Information, true))
    return true;
  const ServerTableLink link{connection.GetQueryText(), connection.GetSafeConnectString(), connection.OciToolkit};
  std::string reason;
  switch (WriteServerTableFile(path, ServerTableText(link), &reason)) {
    case ServerTableWrite::Written:
      LogLine(log, "\n", Res(kStrRegistered), path, "\n");
      return true;
    case ServerTableWrite::NotEncodable:
      LogLine(log, "\n", Res(kStrNotEncodable), path, "\n");
      return false;
    case ServerTableWrite::NotWritten:
      break;
  }
  LogLine(log, "\n", Res(kStrNotRegistered), path, ": ", reason, "\n");
  return false;
}

void RunUpload(CUploadRunView& view, UploadRunState& s) {
  std::unique_ptr<CTableReader, ReaderCloser> reader(CreateTableReader());
  if (!reader || s.connection == nullptr) return;
  CDbConnection& conn = *s.connection;
  CUploadOptions& o = *s.options;
  std::vector<UploadJob>& jobs = *s.jobs;

  view.SaveTargetName();
  view.ApplyMode();
  o.Merge = view.MergeChecked();
  o.RegistrationFolder = view.FolderText();

  if (!IsValidFolder(o.RegistrationFolder)) {
    const std::string text = o.RegistrationFolder + Res(kStrNotAFolder);
    if (!s.quiet) {
      ShowBox(kStrRunCaption, text, BoxIcon::Information, false);
      view.FocusFolder();
      return;
    }
    LogLine(s.log, "\n", text, "\n");
  }

  view.EnableUpload(false);
  view.BeginWait();
  CProgressCtrl* bar = view.ProgressBar();
  ProgressSetPos(bar, 0);
  const int64_t start = platform::Now().epoch;
  if (s.log != nullptr) WriteLogHeader(*s.log, s.header, o);
  int count = 0;

  if (conn.IsSqlServer() && conn.GetDbmsVersion() >= 9.0) {
    if (o.Owner.empty()) o.Owner = conn.GetDefaultSchema();
  } else {
    o.Owner = conn.GetUserName();
  }

  const int jobCount = static_cast<int>(jobs.size());
  o.JobCount = jobCount;
  const bool quietOrSuppressed = s.quiet || o.SuppressMessages;
  // A registration table that was asked for and not written fails the run,
  // though its table was uploaded.
  bool registrationFailed = false;
  for (int i = 0; i < jobCount; ++i) {
    const UploadJob& job = jobs[static_cast<size_t>(i)];
    const bool last = i == jobCount - 1;
    ++count;

    if (!reader->Open(job.SourcePath, conn.WantsSrid() ? 1 : 0)) {
      --count;
      // The reader's reason follows the path, for the person who has to
      // mend the table.
      std::string text = Res(kStrOpenFailed) + " - " + job.SourcePath;
      const std::string reason = reader->LastErrorText();
      if (!reason.empty()) text += ": " + reason;
      bool goOn = true;
      if (!s.quiet) {
        if (jobCount > 1 && !last) {
          text += Res(kStrContinue);
          goOn = ShowBox(kErrorCaption, text, BoxIcon::Error, true);
        } else {
          ShowBox(kErrorCaption, text, BoxIcon::Error, false);
        }
      }
      LogLine(s.log, "\n\n", text, "\n");
      ProgressSetPos(bar, 0);
      if (!goOn) break;
      continue;
    }

    o.ObjectKind = reader->GetObjectKind();
    if (o.StorageKind != 1 && o.ObjectKind != 0 && !reader->HasNoObjects()) {
      const std::string text = job.TableName + Res(kStrNotPoints);
      const bool goOn = s.quiet || ShowBox(kWarningCaption, text, BoxIcon::Warning, true);
      LogLine(s.log, "\n\n", text, "\n");
      ProgressSetPos(bar, 0);
      if (!goOn) {
        --count;
        reader->Close();
        break;
      }
    }

    if (!o.AllowTemporal &&
        (reader->HasColumnType(37) || (reader->HasColumnType(5) && (conn.IsAccess() || conn.IsSqlServer())))) {
      const std::string text = FormatOne(Res(kStrTemporal), job.TableName);
      if (!s.quiet) ShowBox(kStrRunCaption, text, BoxIcon::Information, false);
      LogLine(s.log, "\n\n", text, "\n");
      ProgressSetPos(bar, 0);
      --count;
      reader->Close();
      continue;
    }

    if (o.IndexColumns && !conn.IsQuiet() && !s.quiet && (!o.Merge || last)) view.ColumnDialog(reader.get());

    std::unique_ptr<CUploader> uploader(CreateUploader(s.connection, reader.get()));
    const int64_t tableStart = platform::Now().epoch;
    const std::string target = o.Merge ? view.TargetText() : job.TargetName;
    bool ok = false;
    int rows = 0;
    if (uploader) {
      uploader->SetProgressControl(bar);
      view.SetStatus(Res(kStrUploading) + job.TableName);
      if (!o.Merge || i == 0) o.CreateTarget = true;
      o.IsMappable = reader->IsMappable();
      o.FinishTable = !o.Merge || last;
      o.FirstRow = job.FirstRow;
      o.LastRow = job.LastRow;
      uploader->JobIndex = i;
      ok = uploader->Run(target, &o, &rows);
    }
    if (!ok) {
      --count;
      const std::string text = target + Res(kStrNotUploaded);
      bool goOn = true;
      if (!quietOrSuppressed && jobCount > 1 && !last)
        goOn = ShowBox(kErrorCaption, text, BoxIcon::Information, true);
      LogLine(s.log, "\n\n", text, " ", target, "\n");
      ProgressSetPos(bar, 0);
      reader->Close();
      if (!goOn) break;
      continue;
    }
    const std::string folder = view.FolderText();
    if (!folder.empty() && !WriteServerTable(folder, uploader->Message(), conn, s.log, s.quiet))
      registrationFailed = true;
    const std::string elapsed = FormatElapsed(platform::Now().epoch - tableStart);
    const std::string status = Res(kStrUploaded) + " " + job.TableName;
    view.SetStatus(status);
    LogLine(s.log, "\n", status, "\n", std::to_string(rows), Res(kStrRowsUploaded), "\n", Res(kStrElapsed),
                       elapsed, "\n");
    ProgressSetPos(bar, 0);
    reader->Close();
  }

  const std::string summary =
      std::to_string(count) + Res(kStrTablesUploaded) + " " + FormatElapsed(platform::Now().epoch - start);
  if (!quietOrSuppressed) ShowBox(kStrRunCaption, summary, BoxIcon::Information, false);
  LogLine(s.log, "\n\n", summary, "\n", FormatLogDateTime(platform::Now()), "\n");
  view.EndWait();
  view.EnableUpload(true);
  ProgressSetPos(bar, 0);
  view.UpdateCatalogButton();
  s.result = count == jobCount && !s.commandLineError && !registrationFailed ? 0 : -1;
}

}  // namespace upload
