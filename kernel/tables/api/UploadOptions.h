// The two records that carry an upload run: one job row per source table and
// the options block handed to the uploader and, through it, to the table
// reader and the OCI module. The field order of CUploadOptions is part of the
// contract with separately built modules.
#pragma once

#include <cstdint>
#include <string>

struct UploadJob {
  std::string SourcePath;
  std::string TableName;
  std::string TargetName;
  int32_t FirstRow = 1;  // 1-based
  int32_t LastRow = 0;   // 0: the table's last row
};

class CUploadOptions {
 public:
  CUploadOptions() { Reset(); }

  // Gives every field its default.
  void Reset() { *this = Defaults(); }

  // /D: the text trimmed and cut before its first blank.
  void SetFolderFromFlag(const std::string& flagText);

  std::string StyleColumn;
  std::string RenditionTable;
  int32_t RenditionType;
  bool CommandLineRun;
  bool OdbcOnCommandLine;
  bool OciOnCommandLine;
  int32_t FirstRow;
  int32_t LastRow;
  int32_t CommitInterval;
  int32_t JobCount;
  bool KeyConstraint;
  bool SpatialIndex;
  bool RegisterInCatalog;
  bool GrantPublic;
  bool Merge;
  bool Append;
  bool Create;
  bool Replace;
  bool SuppressMessages;
  bool CreateTarget;
  bool SkipKeyRefresh;
  bool StyleEnabled;
  bool FlagV;
  int32_t StorageKind;  // 1 spatial column, 2 code column, 3 X/Y, -1 invalid
  int32_t ObjectKind;
  bool PerRowStyles;
  bool TakeTexts;
  bool TakeCollections;
  std::string RegistrationFolder;
  bool IdentityKey;
  bool IsMappable;
  bool HasExtension;
  bool OciConnection;
  int32_t SpareSetting;
  bool IsSqlServerTarget;
  bool FinishTable;
  int32_t HelpContext;
  bool IndexColumns;
  bool NoObject;
  std::string Owner;
  bool AllowTemporal;

 private:
  struct DefaultsTag {};
  explicit CUploadOptions(DefaultsTag)
      : StyleColumn("CV_STYLE"),
        RenditionType(1),
        CommandLineRun(false),
        OdbcOnCommandLine(false),
        OciOnCommandLine(false),
        FirstRow(1),
        LastRow(0),
        CommitInterval(1000),
        JobCount(0),
        KeyConstraint(true),
        SpatialIndex(true),
        RegisterInCatalog(true),
        GrantPublic(false),
        Merge(false),
        Append(false),
        Create(true),
        Replace(false),
        SuppressMessages(false),
        CreateTarget(true),
        SkipKeyRefresh(false),
        StyleEnabled(true),
        FlagV(false),
        StorageKind(1),
        ObjectKind(-1),
        PerRowStyles(false),
        TakeTexts(false),
        TakeCollections(false),
        IdentityKey(true),
        IsMappable(true),
        HasExtension(true),
        OciConnection(false),
        SpareSetting(2),
        IsSqlServerTarget(false),
        FinishTable(true),
        HelpContext(100),
        IndexColumns(false),
        NoObject(false),
        AllowTemporal(true) {}
  static CUploadOptions Defaults() { return CUploadOptions(DefaultsTag{}); }
};

inline void CUploadOptions::SetFolderFromFlag(const std::string& flagText) {
  const char* ws = " \t\r\n\v\f";
  size_t b = flagText.find_first_not_of(ws);
  if (b == std::string::npos) {
    RegistrationFolder.clear();
    return;
  }
  size_t e = flagText.find_last_not_of(ws);
  std::string t = flagText.substr(b, e - b + 1);
  size_t blank = t.find(' ');
  RegistrationFolder = blank == std::string::npos ? t : t.substr(0, blank);
}
