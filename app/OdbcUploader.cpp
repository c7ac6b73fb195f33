// The ODBC uploader (see OdbcUploader.h): Run, the target preparation, the
// row loop, the projection and the catalogue row.
#include "app/OdbcUploader.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "app/SqlText.h"
#include "app/UploadUi.h"
#include "kernel/tables/api/TableReader.h"
#include "platform/clock.h"

using namespace upload;

namespace {

constexpr int kReadErrorSkipped = 1925;  // the data storage cannot read the row
constexpr int kMaxProgressSteps = 65000;

}  // namespace

COdbcUploader::COdbcUploader(CDbConnection* connection, CTableReader* reader)
    : COdbcUploader(MakeOdbcUploadDb(connection), reader) {}

COdbcUploader::COdbcUploader(std::unique_ptr<CUploadDb> db, CTableReader* reader)
    : m_Db(std::move(db)), m_Reader(reader) {}

COdbcUploader::~COdbcUploader() = default;

std::string COdbcUploader::Message() { return m_TableName; }

std::string& COdbcUploader::LastError() { return m_Db->Base().GetLastErrorRef(); }

void COdbcUploader::Log(const std::string& line) {
  std::ostream* log = m_Db->Base().LogStream;
  if (log == nullptr) return;
  *log << line << '\n';
  log->flush();
}

void COdbcUploader::Report(int captionId, const std::string& text, bool warning) {
  if (!m_Db->Base().IsQuiet()) ShowBox(captionId, text, warning ? BoxIcon::Warning : BoxIcon::Error, false);
  Log(text);
}

std::vector<UploadColumn> COdbcUploader::SourceColumns() {
  std::vector<UploadColumn> cols;
  if (m_Reader->GetColumns() == nullptr) return cols;
  const int n = m_Reader->GetColumnCount();
  for (int i = 0; i < n; ++i) {
    const ColumnInfo* info = m_Reader->GetColumn(i);
    UploadColumn c;
    c.name.assign(info->name, strnlen(info->name, sizeof info->name));
    c.type = m_Reader->GetColumnType(i);
    c.precision = m_Reader->GetColumnPrecision(i);
    c.decimals = m_Reader->GetColumnDecimals(i);
    cols.push_back(std::move(c));
  }
  return cols;
}

StatementSettings COdbcUploader::Settings() const {
  const CUploadOptions& o = *m_Options;
  StatementSettings s;
  s.owner = o.Owner;
  s.table = m_TableName;
  s.styleColumn = o.StyleColumn;
  s.styleEnabled = o.StyleEnabled;
  s.storageKind = o.StorageKind;
  s.objectKind = o.ObjectKind;
  s.keyConstraint = o.KeyConstraint;
  s.identityKey = o.IdentityKey;
  s.mappable = m_Reader->IsMappable();
  s.keySuffix = Res(kStrKeySuffix);
  return s;
}

bool COdbcUploader::Run(const std::string& target, CUploadOptions* options, int* rows) {
  *rows = 0;
  CDbConnection& conn = m_Db->Base();
  m_Family = m_Db->Family();
  const int extension = m_Db->ExtensionVersion();
  options->TakeTexts = conn.IsInformix() || (conn.IsSqlServer() && options->StorageKind == 1 && extension >= 455);
  options->TakeCollections = extension >= 451 && options->StorageKind == 1;
  m_Options = options;

  if (!m_Db->ResetStatement()) {
    // The connection's last error is the text of string 191 already.
    const std::string error = LastError() == Res(kStrNoStatement) ? std::string() : LastError();
    Report(kStrErrorCaption, Res(kStrNoStatement) + " - " + target + "\n\n" + error, false);
    return false;
  }
  if (!conn.CatalogExists()) {
    Report(kStrErrorCaption, Res(kStrNoCatalog), false);
    return false;
  }
  if (conn.IsSqlServer() && options->StorageKind == 1)
    m_Db->Exec("exec sp_spatial_query 'select KT_SetGeoFormat(''Helvoristan'') from CORVANE.CORVANE_MAPCATALOG'");

  if (!PrepareTarget(target, options)) {
    Report(kStrErrorCaption, Res(m_ErrorId) + " - " + target + "\n\n" + LastError(), false);
    return false;
  }

  m_Db->ResolveTableOwner(m_TableName);
  if (options->Append && !conn.ReadCatalogEntry(m_TableName, options)) {
    // No catalogue extent to grow: seed the bounds with the coordinate
    // system's corners exchanged, so that the row loop's merge yields
    // exactly the appended rows' extent.
    const CoordSysInfo* cs = m_Reader->GetCoordSys();
    const double seed[4] = {cs->x2, cs->y2, cs->x1, cs->y1};
    m_Db->SetBounds(seed);
  }

  if (!SetProjection()) {
    const std::string* cs = m_Reader->GetCoordSysText();
    Report(kStrErrorCaption,
           Res(kStrProjectionFailed) + " " + (cs ? *cs : std::string()) + ". " + target + " " +
               Res(kStrNoProjection) + ".\n\n" + LastError(),
           false);
    return false;
  }

  const InsertStatement insert = BuildInsertStatement(m_Family, m_Columns, Settings());
  Log(insert.text);
  if (!m_Db->Prepare(insert.text)) {
    const std::string error = LastError();
    m_Db->ResetStatement();
    Report(kStrErrorCaption, Res(kStrPrepareFailed) + " - " + target + ".\n\n" + error, false);
    return false;
  }
  if (!m_Db->SetAutoCommit(false)) Log(Res(kStrManualCommit));

  const std::string& owner = options->Owner;
  if (options->Append || options->Merge) {
    m_Db->LockTable(owner, m_TableName);
    m_KeyBase = m_Db->NextKey(m_TableName, options);
  }

  double bounds[4];
  m_Db->GetBounds(bounds);
  const bool result = InsertRows(options, bounds, rows);
  m_Db->SetBounds(bounds);

  conn.QueryText = BuildQueryText(m_Family, conn.GetDatabaseName(), owner, m_TableName);

  m_Values.clear();
  if (!m_Db->SetAutoCommit(true)) Log(Res(kStrAutoCommit));

  // A merge grants once, with the table that finishes the target.
  if (options->GrantPublic && options->FinishTable) m_Db->Exec(BuildGrant(m_Family, owner, m_TableName));

  const bool mappable = m_Reader->IsMappable();
  const bool finish = options->FinishTable;
  if (conn.IsSqlServer() && options->StorageKind == 1 && mappable && finish &&
      !m_Db->SpatializeColumn(owner, m_TableName))
    Report(kStrErrorCaption, Res(kStrSpatializeFailed) + " - " + target + ".\n\n" + LastError(), false);

  if (options->IndexColumns && finish) {
    for (size_t i = 0; i < m_Columns.size(); ++i) {
      const std::string column = SqlTrim(m_Columns[i].name);
      if (EqualsNoCase(column, "QD_MEMBER") || !m_Reader->IsColumnIndexed(static_cast<int>(i))) continue;
      if (!m_Db->CreateIndex(owner, m_TableName, column, "C" + std::to_string(i + 1)))
        Report(kStrWarningCaption, Res(kStrIndexFailed) + " " + target + "(" + column + ").\n\n" + LastError(), true);
    }
  }

  if (mappable && options->SpatialIndex && finish) {
    bool ok;
    if (options->StorageKind == 1)
      ok = m_Db->CreateSpatialIndex(owner, m_TableName, "QD_GEOMETRY");
    else if (options->StorageKind == 3)
      ok = m_Db->CreateXYIndexes(owner, m_TableName, "CV_SQL_X", "CV_SQL_Y");
    else
      ok = m_Db->CreateKeyIndex(owner, m_TableName, "CV_SQL_CVCODE");
    if (!ok) Report(kStrWarningCaption, Res(kStrBadSpatialIndex) + " " + target + ".\n\n" + LastError(), true);
  }

  if (mappable && options->RegisterInCatalog && finish) {
    bool ok;
    if (options->Append) {
      double b[4];
      m_Db->GetBounds(b);
      ok = UpdateCatalogBounds(b[0], b[1], b[2], b[3]);
    } else {
      ok = WriteCatalogEntry(options);
    }
    if (ok)
      Log(m_TableName + " " + Res(kStrCatalogued));
    else
      Report(kStrWarningCaption, Res(kStrCatalogFailed) + " - " + target + ".\n\n" + LastError(), true);
  } else if (options->Replace && !mappable && !conn.DeleteCatalogEntry(owner, m_TableName)) {
    Log("Can not remove the table's entry from MapCatalog:  - " + target + ".\n\n" + LastError());
  }
  return result;
}

bool COdbcUploader::PrepareTarget(const std::string& target, CUploadOptions* options) {
  m_TableName = SqlUpper(SqlTrim(target));
  m_Columns = SourceColumns();
  const bool mappable = m_Reader->IsMappable();
  m_Plan = PlanColumns(m_Columns, mappable);
  m_MemberPos = static_cast<int16_t>(m_Plan.memberPos);
  m_GeometryPos = static_cast<int16_t>(m_Plan.geometryPos);

  // Owner and table stand bare in some statements and quoted in others, and
  // the source columns and the style column stand bare in CREATE TABLE and
  // INSERT: all must be plain names before any statement names them.
  std::vector<std::string> names;
  if (!options->Owner.empty()) names.push_back(options->Owner);
  names.push_back(m_TableName);
  for (size_t i = 0; i < m_Columns.size(); ++i)
    if (m_Plan.included[i]) names.push_back(SqlTrim(m_Columns[i].name));
  if (mappable && options->StyleEnabled) names.push_back(options->StyleColumn);
  for (const std::string& name : names) {
    const std::string fault = SqlIdentifierFault(name, "");
    if (!fault.empty()) {
      LastError() = fault;
      m_ErrorId = kStrBadTargetName;
      return false;
    }
  }

  CDbConnection& conn = m_Db->Base();
  const bool exists = m_Db->Exec(BuildExistenceTest(m_Family, options->Owner, m_TableName));
  conn.ClearLastError();

  enum { Append, Create, Replace, Other } mode = Other;
  if ((options->Merge && JobIndex > 0) || options->Append)
    mode = Append;
  else if (options->Create)
    mode = Create;
  else if (options->Replace)
    mode = Replace;
  m_Appending = mode == Append;

  switch (mode) {
    case Append:
      if (!exists) {
        m_ErrorId = kStrNoAppendTarget;
        return false;
      }
      if (!CheckAppendTarget()) {
        m_ErrorId = kStrColumnsDiffer;
        return false;
      }
      if (conn.IsSqlServer() && (JobIndex == 0 || !options->Merge))
        m_Db->DespatializeColumn(options->Owner, m_TableName);
      return true;
    case Replace:
      if (exists && !m_Db->DropTable(options->Owner, m_TableName)) {
        m_ErrorId = kStrDropFailed;
        return false;
      }
      [[fallthrough]];
    case Create: {
      if (mode == Create && exists) {
        m_ErrorId = kStrTargetExists;
        return false;
      }
      // No statement for this table on this server (mixed objects on the
      // other SQL Server): nothing is logged and nothing is sent, since a
      // driver may take an empty statement as done (see docs/uploader.md).
      const std::string create = BuildCreateTable(m_Family, m_Columns, Settings());
      if (create.empty()) {
        LastError() = "no CREATE TABLE statement can be made for this table on this server";
        m_ErrorId = kStrDropFailed;
        return false;
      }
      Log(create);
      if (!m_Db->Exec(create)) {
        m_ErrorId = kStrDropFailed;
        return false;
      }
      return true;
    }
    case Other:
      break;
  }
  return exists;
}

bool COdbcUploader::CheckAppendTarget() {
  m_Db->ResolveTableOwner(m_TableName);
  m_Db->Base().ReadCatalogEntry(m_TableName, m_Options);
  return CompareColumns();
}

bool COdbcUploader::CompareColumns() {
  std::vector<TargetColumn> target;
  const bool access = m_Family.access;
  if (!m_Db->ListColumns(access ? std::string() : m_Options->Owner, m_TableName, target)) return false;
  const bool renditionColumns = !m_Db->Base().NoRenditionColumns;
  size_t next = 0;
  for (size_t i = 0; i < m_Columns.size(); ++i) {
    if (!m_Plan.included[i]) continue;
    const UploadColumn& src = m_Columns[i];
    // The style column is passed over wherever it stands, without using up
    // the turn of a source column: every source column is compared (see
    // docs/uploader.md).
    while (next < target.size() && renditionColumns && EqualsNoCase(target[next].name, m_Options->StyleColumn))
      ++next;
    if (next >= target.size()) return false;
    const TargetColumn& t = target[next++];
    // Names as CREATE TABLE and INSERT write them: trimmed.
    if (!EqualsNoCase(SqlTrim(t.name), SqlTrim(src.name))) return false;
    const std::string expected = SqlUpper(m_Family.TypeNameFor(src.type));
    const std::string actual = SqlUpper(t.typeName);
    // Any other type name is taken for an integer source column only.
    const bool typeOk = actual == expected || (actual == "CHAR" && expected == "VARCHAR") ||
                        (actual == "VARCHAR" && expected == "CHAR") || actual == "SERIAL" ||
                        src.type == kValueInteger;
    if (!typeOk) return false;
    if (actual != "FLOAT" && actual != "INTEGER" && t.size >= 0 && t.size < src.precision) return false;
    if (actual == "DECIMAL" && t.decimals < src.decimals) return false;
  }
  return true;
}

bool COdbcUploader::SetProjection() {
  if (m_Options->StorageKind != 1 || !m_Db->SupportsSetProjection() || !m_Reader->IsMappable()) return true;
  const std::string* text = m_Reader->GetCoordSysText();
  const std::string cs = text ? *text : std::string();
  const std::string sql = BuildSetProjection(m_Family, cs);
  if (sql.empty()) return true;
  if (!m_Db->ExecAndFetch(sql, !m_Db->IsSqlServerFamily())) return false;
  Log(Res(kStrProjectionSet) + " " + cs);
  return true;
}

CatalogRow COdbcUploader::CatalogRowOf() {
  CatalogRow row;
  const CUploadOptions& o = *m_Options;
  const std::string* kind = m_Reader->GetObjectKindText();
  SetCatalogStorage(row, m_Family, o.StorageKind, m_Db->Base().GetSpatialTypeRef(), kind ? *kind : "");
  m_Db->GetBounds(row.bounds);
  const std::string* cs = m_Reader->GetCoordSysText();
  row.coordSys = cs ? *cs : "";
  const std::string* symbol = m_Reader->GetDefaultStyle();
  row.symbol = symbol ? *symbol : "";
  row.renditionType = o.RenditionType;
  row.renditionColumn = o.StyleColumn;
  row.renditionTable = o.RenditionTable;
  return row;
}

bool COdbcUploader::WriteCatalogEntry(CUploadOptions* options) {
  const CatalogRow row = CatalogRowOf();
  const bool rendition = !m_Db->Base().NoRenditionColumns;
  if (m_Db->Exec(BuildCatalogInsert(m_Family, row, m_TableName, options->Owner, rendition, options->StyleEnabled)))
    return true;
  return m_Db->Exec(BuildCatalogUpdate(m_Family, row, m_TableName, options->Owner, rendition, options->StyleEnabled));
}

bool COdbcUploader::UpdateCatalogBounds(double x1, double y1, double x2, double y2) {
  const double b[4] = {x1, y1, x2, y2};
  return m_Db->Exec(BuildCatalogBoundsUpdate(m_Family, b, m_TableName, m_Options->Owner));
}

bool COdbcUploader::InsertRows(CUploadOptions* o, double bounds[4], int* rows) {
  CDbConnection& conn = m_Db->Base();
  const int rowCount = m_Reader->GetRowCount();
  const int first = std::max(1, o->FirstRow);
  const int last = (o->FirstRow > o->LastRow || o->LastRow > rowCount) ? rowCount : o->LastRow;
  o->PerRowStyles = false;

  ProgressSetRange(Progress, 0, std::min(rowCount, kMaxProgressSteps));
  ProgressSetStep(Progress, 1);
  ProgressSetPos(Progress, 0);
  const int progressEvery = rowCount <= kMaxProgressSteps ? 1 : rowCount / kMaxProgressSteps;

  const bool blobs = conn.IsSqlServer() && o->StorageKind == 1;
  DRect rowBounds{0, 0, 0, 0};
  std::vector<char> text(READER_TEXT_SIZE);
  bool ok = true;
  int r = first;
  for (int k = 1; r <= last; ++r, ++k) {
    m_Reader->SetRawText(1);
    text[0] = '\0';
    unsigned char* object = nullptr;
    int size = 0;
    DPoint centre{0, 0};
    std::string codeKey;
    const int16_t read = blobs ? m_Reader->ReadGeometry(r, text.data(), &object, &size, &rowBounds, o)
                               : m_Reader->ReadRecord(r, text.data(), &object, &size, &rowBounds, o, &centre, &codeKey);
    auto freeObject = [&] {
      if (object == nullptr) return;
      if (blobs)
        m_Reader->FreeGeometry(object);
      else
        m_Reader->FreeRecord(object);
      object = nullptr;
    };
    text.back() = '\0';
    const std::string rowText(text.data());
    if (read == 0) {
      freeObject();
      const int code = m_Reader->LastError();
      if (code == kReadErrorSkipped) continue;
      Report(kStrErrorCaption,
             Res(kStrReadFailed) + " " + std::to_string(r) + " - " + m_TableName + "\n" + std::to_string(code), false);
      Log("");
      Log(Res(kStrRowTextLine) + rowText);
      ok = false;
      break;
    }

    std::string* defaultStyle = m_Reader->GetDefaultStyle();
    if ((defaultStyle == nullptr || defaultStyle->empty()) && !o->PerRowStyles) {
      const std::string* clause = m_Reader->GetStyleClause();
      m_Reader->SetDefaultStyle(clause ? *clause : std::string());
    }
    if (o->StorageKind != 1 && o->ObjectKind != 0) {
      m_Reader->SetDefaultStyle(kDefaultPointSymbol);
      o->PerRowStyles = true;
      m_Reader->BuildStyleClause(nullptr);
    } else {
      o->PerRowStyles = false;
    }

    if (!BindAndExecuteRow(m_KeyBase + k, rowText, object, size, centre.x, centre.y, codeKey)) {
      freeObject();
      Report(kStrErrorCaption,
             Res(kStrRowFailed) + " " + std::to_string(r) + " - " + m_TableName + "\n\n" + LastError() + "\n" +
                 Res(kStrRowText) + " " + rowText,
             false);
      ok = false;
      break;
    }
    ++*rows;
    if (o->CommitInterval > 0 && ((k - o->FirstRow) % o->CommitInterval == 0 || r == last)) {
      m_Db->Commit();
      m_Db->LockTable(o->Owner, m_TableName);
      if (!o->SkipKeyRefresh) {
        const int next = m_Db->NextKey(m_TableName, o);
        if (next > m_KeyBase + k) m_KeyBase = next - k;
      }
    }
    if (k % progressEvery == 0) ProgressStepIt(Progress);
    freeObject();
  }
  m_RowsInserted = *rows;
  if (!ok) m_Db->Commit();

  const bool unset = rowBounds.x1 == 0 && rowBounds.y1 == 0 && rowBounds.x2 == 0 && rowBounds.y2 == 0;
  if (o->Append || (m_Appending && o->Merge)) {
    // Appending or merging: the target's extent grows by the rows'.
    if (!unset) {
      bounds[0] = std::min(bounds[0], rowBounds.x1);
      bounds[1] = std::min(bounds[1], rowBounds.y1);
      bounds[2] = std::max(bounds[2], rowBounds.x2);
      bounds[3] = std::max(bounds[3], rowBounds.y2);
    }
  } else {
    bounds[0] = rowBounds.x1;
    bounds[1] = rowBounds.y1;
    bounds[2] = rowBounds.x2;
    bounds[3] = rowBounds.y2;
  }
  Log(std::to_string(*rows) + Res(kStrRowsInserted) + std::to_string(*rows) + Res(kStrRowsRead));
  Log("");
  return ok;
}

bool COdbcUploader::BindAndExecuteRow(int key, const std::string& text, const unsigned char* object, int size,
                                      double cx, double cy, const std::string& codeKey) {
  const CUploadOptions& o = *m_Options;
  RowContext ctx;
  ctx.family = &m_Family;
  ctx.columns = &m_Columns;
  ctx.plan = &m_Plan;
  const StatementSettings settings = Settings();
  ctx.trailing = PlanTrailingParams(m_Family, settings);
  ctx.storageKind = o.StorageKind;
  ctx.mappable = settings.mappable;
  ctx.styleEnabled = o.StyleEnabled;
  const std::string* defaultStyle = m_Reader->GetDefaultStyle();
  ctx.defaultStyle = defaultStyle ? *defaultStyle : "";
  const platform::LocalTime now = platform::Now();
  ctx.today = {now.year, now.month, now.day};

  RowObject row;
  row.key = key;
  row.bytes = object;
  row.size = size;
  row.x = cx;
  row.y = cy;
  row.codeKey = codeKey;
  row.noObject = o.NoObject;
  const std::string* style = m_Reader->GetStyleClause();
  row.styleClause = style ? *style : "";
  if (o.StorageKind == 1 && ctx.mappable && (o.NoObject || object == nullptr || size <= 0)) {
    row.bytes = nullptr;
    Log(Res(kStrNoObject) + ": " + std::to_string(key));
  }

  std::string error;
  if (!BuildRowValues(ctx, text, row, m_Values, &error)) {
    LastError() = error;
    return false;
  }
  return m_Db->ExecuteRow(m_Values);
}
