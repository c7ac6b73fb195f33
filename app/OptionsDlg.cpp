// The options dialog (template 202).
#include "app/OptionsDlg.h"

#include <cctype>
#include <climits>
#include <vector>
#include <strings.h>

#include "app/AppBox.h"
#include "app/DbConnection.h"
#include "app/LoaderDlg.h"
#include "app/ResourceLibrary.h"
#include "app/SqlText.h"
#include "kernel/tables/api/UploadOptions.h"

namespace {

constexpr int kDlgOptions = 202;
enum : int {
  kIdSkipKeyRefresh = 1064,
  kIdCodeColumn = 1069,
  kIdXyColumns = 1070,
  kIdGrantPublic = 1082,
  kIdKeyConstraint = 1083,
  kIdSpatialIndex = 1084,
  kIdStyleOn = 1085,
  kIdStyleColumn = 1086,
  kIdCommitInterval = 1087,
  kIdSpatialColumn = 1088,
  kIdIdentityKey = 1091,
  kIdOptionsHelp = 1098,
  kIdIndexColumns = 1099,
  kIdOwner = 1119,
  kIdOwnerLabel = 1120,
  kIdTemporal = 1121,
};
enum : int {
  kStrTemporalInformix = 103,
  kStrTemporalSqlServer = 129,
  kStrTemporalOracle = 131,
  kStrWarningCaption = 195,
  kStrOracleColumn = 200,
  kStrSpatialColumn = 201,
  kStrNotAnInteger = 303,
  kStrTooLong = 304,
  kStrBadName = 320,
};
constexpr size_t kMaxStyleColumn = 32;

// A whole decimal int32, blanks around it allowed.
bool ParseInt32(const std::string& text, int32_t* out) {
  size_t i = 0, n = text.size();
  while (i < n && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  while (n > i && std::isspace(static_cast<unsigned char>(text[n - 1]))) --n;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == n) return false;
  long long v = 0;
  for (; i < n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  v = negative ? -v : v;
  if (v > INT_MAX || v < INT_MIN) return false;
  *out = static_cast<int32_t>(v);
  return true;
}

}  // namespace

COptionsDlg::COptionsDlg(CDbConnection* connection, ui::CDialog* parent)
    : ui::CDialog(kDlgOptions, parent), m_Connection(connection) {
  Map(ui::Notify::Click, kIdStyleOn, &COptionsDlg::OnStyleClicked);
  Map(ui::Notify::Click, kIdSpatialColumn, &COptionsDlg::OnSpatialClicked);
  Map(ui::Notify::Click, kIdCodeColumn, [this] { OnCodeOrXyClicked(kIdCodeColumn); });
  Map(ui::Notify::Click, kIdXyColumns, [this] { OnCodeOrXyClicked(kIdXyColumns); });
  Map(ui::Notify::Click, kIdIndexColumns, &COptionsDlg::OnIndexColumnsClicked);
  Map(ui::Notify::Click, kIdOptionsHelp, &COptionsDlg::OnHelp);
}

int COptionsDlg::Edit(CUploadOptions* options) {
  m_Options = options;
  return DoModal();
}

void COptionsDlg::ExchangeToControls() {
  GetDlgItem(kIdSkipKeyRefresh).SetCheck(m_SkipKeyRefresh);
  GetDlgItem(kIdIdentityKey).SetCheck(m_IdentityKey);
  GetDlgItem(kIdGrantPublic).SetCheck(m_GrantPublic);
  GetDlgItem(kIdSpatialIndex).SetCheck(m_SpatialIndex);
  GetDlgItem(kIdStyleOn).SetCheck(m_StyleOn);
  GetDlgItem(kIdKeyConstraint).SetCheck(m_KeyConstraint);
  GetDlgItem(kIdCommitInterval).SetWindowText(std::to_string(m_CommitInterval));
  GetDlgItem(kIdStyleColumn).SetWindowText(m_StyleColumn);
  GetDlgItem(kIdIndexColumns).SetCheck(m_IndexColumns);
  GetDlgItem(kIdTemporal).SetCheck(m_AllowTemporal);
}

bool COptionsDlg::ExchangeFromControls() {
  int32_t interval = 0;
  if (!ParseInt32(GetDlgItem(kIdCommitInterval).GetWindowText(), &interval)) {
    AppMessageBox(this, kStrWarningCaption, LoadResString(kStrNotAnInteger), ui::BoxIcon::Warning);
    return false;
  }
  std::string style = GetDlgItem(kIdStyleColumn).GetWindowText();
  if (style.size() > kMaxStyleColumn) {
    AppMessageBox(this, kStrWarningCaption, LoadResString(kStrTooLong), ui::BoxIcon::Warning);
    return false;
  }
  // The style column stands bare in CREATE TABLE and INSERT.
  const std::string fault = SqlIdentifierFault(style, "");
  if (GetDlgItem(kIdStyleOn).GetCheck() && !fault.empty()) {
    AppMessageBox(this, kStrWarningCaption, LoadResString(kStrBadName) + ".\n\n" + fault, ui::BoxIcon::Warning);
    return false;
  }
  m_SkipKeyRefresh = GetDlgItem(kIdSkipKeyRefresh).GetCheck();
  m_IdentityKey = GetDlgItem(kIdIdentityKey).GetCheck();
  m_GrantPublic = GetDlgItem(kIdGrantPublic).GetCheck();
  m_SpatialIndex = GetDlgItem(kIdSpatialIndex).GetCheck();
  m_StyleOn = GetDlgItem(kIdStyleOn).GetCheck();
  m_KeyConstraint = GetDlgItem(kIdKeyConstraint).GetCheck();
  m_CommitInterval = interval;
  m_StyleColumn = style;
  m_IndexColumns = GetDlgItem(kIdIndexColumns).GetCheck();
  m_AllowTemporal = GetDlgItem(kIdTemporal).GetCheck();
  return true;
}

bool COptionsDlg::OnInitDialog() {
  ExchangeToControls();
  if (m_Options == nullptr) return true;
  CUploadOptions& o = *m_Options;
  CDbConnection* c = m_Connection;
  o.HelpContext = kHelpOptions;
  m_StorageKind = o.StorageKind;

  ui::Control spatial = GetDlgItem(kIdSpatialColumn);
  ui::Control code = GetDlgItem(kIdCodeColumn);
  ui::Control xy = GetDlgItem(kIdXyColumns);
  if (o.OciConnection) {
    spatial.SetWindowText(LoadResString(kStrOracleColumn));
    spatial.EnableWindow(true);
    spatial.SetCheck(1);
    for (ui::Control r : {code, xy}) {
      r.SetCheck(0);
      r.EnableWindow(false);
    }
  } else {
    spatial.SetWindowText(LoadResString(kStrSpatialColumn));
    spatial.EnableWindow(true);
    spatial.SetCheck(1);
    ui::Control kindRadio = o.StorageKind == 3 ? xy : code;
    if (!o.HasExtension || o.StorageKind != 1) {
      spatial.SetCheck(0);
      if (!o.HasExtension) spatial.EnableWindow(false);
      kindRadio.EnableWindow(true);
      kindRadio.SetCheck(1);
    }
  }

  if (o.GrantPublic) {
    m_GrantPublic = 1;
    GetDlgItem(kIdGrantPublic).SetCheck(1);
  }
  if (!o.SkipKeyRefresh) {
    m_SkipKeyRefresh = 0;
    GetDlgItem(kIdSkipKeyRefresh).SetCheck(0);
  }
  if (!o.SpatialIndex) {
    m_SpatialIndex = 0;
    GetDlgItem(kIdSpatialIndex).SetCheck(0);
  }
  if (o.IndexColumns) {
    m_IndexColumns = 1;
    GetDlgItem(kIdIndexColumns).SetCheck(1);
  }

  ui::Control key = GetDlgItem(kIdKeyConstraint);
  if (o.Append) {
    key.EnableWindow(false);
  } else {
    key.EnableWindow(true);
    key.SetCheck(o.KeyConstraint ? 1 : 0);
  }

  ui::Control temporal = GetDlgItem(kIdTemporal);
  temporal.SetCheck(o.AllowTemporal ? 1 : 0);
  if (c != nullptr) {
    // Other servers keep the template's own label.
    int label = c->IsSqlServer() || c->IsAccess() ? kStrTemporalSqlServer
                : c->IsInformix()                 ? kStrTemporalInformix
                : c->IsOracle()                   ? kStrTemporalOracle
                                                  : 0;
    if (label != 0) temporal.SetWindowText(LoadResString(label));
  }

  ui::Control styleOn = GetDlgItem(kIdStyleOn);
  ui::Control styleColumn = GetDlgItem(kIdStyleColumn);
  if (o.Append) {
    styleOn.EnableWindow(false);
    styleColumn.EnableWindow(false);
  } else {
    styleOn.EnableWindow(true);
    if (o.StyleEnabled) {
      styleOn.SetCheck(1);
      styleColumn.SetWindowText(o.StyleColumn.empty() ? std::string("CV_STYLE") : o.StyleColumn);
    } else {
      styleOn.SetCheck(0);
      styleColumn.EnableWindow(false);
    }
  }

  GetDlgItem(kIdCommitInterval).SetWindowText(std::to_string(o.CommitInterval));

  ui::Control identity = GetDlgItem(kIdIdentityKey);
  if (o.IsSqlServerTarget) {
    identity.EnableWindow(true);
    identity.SetCheck(o.IdentityKey ? 1 : 0);
    if (o.HasExtension && o.StorageKind == 1) key.EnableWindow(false);
  } else {
    identity.EnableWindow(false);
  }

  if (o.IsSqlServerTarget && c != nullptr && c->GetDbmsVersion() >= 9.0) {
    FillOwners();
  } else {
    GetDlgItem(kIdOwner).EnableWindow(false);
    GetDlgItem(kIdOwnerLabel).EnableWindow(false);
  }
  return true;
}

void COptionsDlg::FillOwners() {
  std::string defaultSchema = m_Connection->GetDefaultSchema();
  std::string wanted = m_Options->Owner.empty() ? defaultSchema : m_Options->Owner;
  std::vector<std::string> schemas;
  m_Connection->ListSchemas(schemas);
  ui::Control combo = GetDlgItem(kIdOwner);
  bool listed = false;
  for (const std::string& s : schemas) {
    combo.AddString(s);
    if (strcasecmp(s.c_str(), defaultSchema.c_str()) == 0) listed = true;
  }
  if (!listed) combo.AddString(defaultSchema);
  int at = combo.FindStringExact(wanted);
  if (at < 0) at = combo.FindStringExact(defaultSchema);
  combo.SetCurSel(at < 0 ? 0 : at);
}

void COptionsDlg::OnStyleClicked() {
  m_StyleOn = GetDlgItem(kIdStyleOn).GetCheck();
  GetDlgItem(kIdStyleColumn).EnableWindow(m_StyleOn != 0);
}

void COptionsDlg::OnSpatialClicked() {
  bool sqlServer = m_Options != nullptr && m_Options->IsSqlServerTarget;
  GetDlgItem(kIdKeyConstraint).EnableWindow(!(GetDlgItem(kIdSpatialColumn).GetCheck() && sqlServer));
}

void COptionsDlg::OnCodeOrXyClicked(int id) {
  if (GetDlgItem(id).GetCheck()) GetDlgItem(kIdKeyConstraint).EnableWindow(true);
}

void COptionsDlg::OnIndexColumnsClicked() { m_IndexColumns = GetDlgItem(kIdIndexColumns).GetCheck(); }

void COptionsDlg::OnHelp() {
  if (auto* main = dynamic_cast<CLoaderDlg*>(Parent())) main->ShowHelpPage(kHelpOptions);
}

void COptionsDlg::OnOK() {
  m_StorageKind = GetDlgItem(kIdSpatialColumn).GetCheck() ? 1 : GetDlgItem(kIdCodeColumn).GetCheck() ? 2 : 3;
  ui::Control combo = GetDlgItem(kIdOwner);
  if (combo.GetCurSel() >= 0) m_Owner = combo.GetText(combo.GetCurSel());
  if (!ExchangeFromControls()) return;
  EndDialog(ui::IDOK);
}
