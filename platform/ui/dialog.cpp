// Dialog layer core: the control model, the message map and the modal run,
// shared by every backend.
#include "platform/ui/ui.h"

#include <algorithm>
#include <cstdio>
#include <strings.h>

#include "platform/ui/headless.h"

namespace ui {

namespace {

struct LayerState {
  TemplateLoader loader;
  ErrorSink sink;
  std::unique_ptr<Backend> backend;
  BackendFactory displayFactory;
};

LayerState& Layer() {
  static LayerState s;
  return s;
}

bool IsList(CtlKind k) {
  return k == CtlKind::ListBox || k == CtlKind::MultiListBox || k == CtlKind::DropList ||
         k == CtlKind::DropDown || k == CtlKind::CheckList;
}
bool IsMulti(CtlKind k) { return k == CtlKind::MultiListBox; }
bool IsCombo(CtlKind k) { return k == CtlKind::DropList || k == CtlKind::DropDown; }

}  // namespace

void SetTemplateLoader(TemplateLoader loader) { Layer().loader = std::move(loader); }
void SetErrorSink(ErrorSink sink) { Layer().sink = std::move(sink); }

void ReportError(const std::string& line) {
  std::fprintf(stderr, "quendalour: %s\n", line.c_str());
  headless::Record("error " + line);
  if (Layer().sink) Layer().sink(line);
}

Backend& CurrentBackend() {
  auto& l = Layer();
  if (!l.backend) l.backend = headless::MakeBackend();
  return *l.backend;
}

void SetBackend(std::unique_ptr<Backend> backend) { Layer().backend = std::move(backend); }
void SetDisplayBackendFactory(BackendFactory factory) { Layer().displayFactory = std::move(factory); }

bool ChooseBackend(bool quiet) {
  auto& l = Layer();
  const char* mode = std::getenv("QUENDALOUR_UI");
  const char* display = std::getenv("DISPLAY");
  const bool headlessNamed = mode && std::string(mode) == "headless";
  bool headlessWanted = quiet || headlessNamed || !display || !*display || !l.displayFactory;
  if (!headlessWanted) {
    if (auto b = l.displayFactory()) {
      l.backend = std::move(b);
      return true;
    }
  }
  l.backend = headless::MakeBackend();
  return headlessNamed;
}

// ------------------------------------------------------------------ Control

bool Control::Exists() const { return dlg_ && dlg_->FindState(id_); }

ControlState* Control::State() const {
  ControlState* s = dlg_ ? dlg_->FindState(id_) : nullptr;
  if (!s)
    ReportError("dialog " + std::to_string(dlg_ ? dlg_->TemplateId() : 0) + " has no control " +
                std::to_string(id_));
  return s;
}

void Control::Changed() const {
  if (dlg_ && dlg_->IsOpen() && !dlg_->Ended()) CurrentBackend().ControlChanged(*dlg_, id_);
}

std::string Control::GetWindowText() const {
  auto* s = State();
  if (!s) return {};
  if (IsCombo(s->tpl.kind) && s->tpl.kind == CtlKind::DropList) {
    int sel = GetCurSel();
    return sel >= 0 ? s->items[sel] : std::string();
  }
  return s->text;
}

void Control::SetWindowText(const std::string& text) {
  if (auto* s = State()) {
    s->text = text;
    Changed();
  }
}

void Control::EnableWindow(bool enable) {
  if (auto* s = State()) {
    s->enabled = enable;
    Changed();
  }
}

bool Control::IsWindowEnabled() const {
  auto* s = State();
  return s && s->enabled;
}

void Control::ShowWindow(bool show) {
  if (auto* s = State()) {
    s->visible = show;
    Changed();
  }
}

bool Control::IsWindowVisible() const {
  auto* s = State();
  return s && s->visible;
}

int Control::GetCheck() const {
  auto* s = State();
  return s ? s->check : 0;
}

void Control::SetCheck(int check) {
  if (auto* s = State()) {
    s->check = check;
    Changed();
  }
}

int Control::AddString(const std::string& str) { return InsertString(-1, str); }

int Control::InsertString(int index, const std::string& str) {
  auto* s = State();
  if (!s) return -1;
  int n = static_cast<int>(s->items.size());
  if (index < 0 || index > n) index = n;
  s->items.insert(s->items.begin() + index, str);
  s->selected.insert(s->selected.begin() + index, false);
  s->checked.insert(s->checked.begin() + index, false);
  Changed();
  return index;
}

int Control::DeleteString(int index) {
  auto* s = State();
  if (!s || index < 0 || index >= static_cast<int>(s->items.size())) return -1;
  s->items.erase(s->items.begin() + index);
  s->selected.erase(s->selected.begin() + index);
  s->checked.erase(s->checked.begin() + index);
  if (s->caret >= static_cast<int>(s->items.size())) s->caret = static_cast<int>(s->items.size()) - 1;
  Changed();
  return static_cast<int>(s->items.size());
}

void Control::ResetContent() {
  if (auto* s = State()) {
    s->items.clear();
    s->selected.clear();
    s->checked.clear();
    s->caret = -1;
    if (IsCombo(s->tpl.kind)) s->text.clear();
    Changed();
  }
}

int Control::GetCount() const {
  auto* s = State();
  return s ? static_cast<int>(s->items.size()) : 0;
}

std::string Control::GetText(int index) const {
  auto* s = State();
  if (!s || index < 0 || index >= static_cast<int>(s->items.size())) return {};
  return s->items[index];
}

int Control::GetCurSel() const {
  auto* s = State();
  if (!s) return -1;
  if (IsMulti(s->tpl.kind)) return s->caret;
  for (size_t i = 0; i < s->selected.size(); ++i)
    if (s->selected[i]) return static_cast<int>(i);
  return -1;
}

int Control::SetCurSel(int index) {
  auto* s = State();
  if (!s) return -1;
  std::fill(s->selected.begin(), s->selected.end(), false);
  int result = -1;
  if (index >= 0 && index < static_cast<int>(s->items.size())) {
    s->selected[index] = true;
    s->caret = index;
    result = index;
    if (IsCombo(s->tpl.kind)) s->text = s->items[index];
  }
  Changed();
  return result;
}

int Control::SetSel(int index, bool select) {
  auto* s = State();
  if (!s) return -1;
  if (index == -1) {
    std::fill(s->selected.begin(), s->selected.end(), select);
  } else if (index >= 0 && index < static_cast<int>(s->items.size())) {
    if (!IsMulti(s->tpl.kind)) std::fill(s->selected.begin(), s->selected.end(), false);
    s->selected[index] = select;
    s->caret = index;
  } else {
    return -1;
  }
  Changed();
  return 0;
}

bool Control::GetSel(int index) const {
  auto* s = State();
  return s && index >= 0 && index < static_cast<int>(s->selected.size()) && s->selected[index];
}

int Control::GetSelCount() const {
  auto* s = State();
  return s ? static_cast<int>(std::count(s->selected.begin(), s->selected.end(), true)) : 0;
}

std::vector<int> Control::GetSelItems() const {
  std::vector<int> out;
  if (auto* s = State())
    for (size_t i = 0; i < s->selected.size(); ++i)
      if (s->selected[i]) out.push_back(static_cast<int>(i));
  return out;
}

int Control::FindStringExact(const std::string& str) const {
  if (auto* s = State())
    for (size_t i = 0; i < s->items.size(); ++i)
      if (strcasecmp(s->items[i].c_str(), str.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

int Control::GetItemCheck(int index) const {
  auto* s = State();
  if (!s || index < 0 || index >= static_cast<int>(s->checked.size())) return 0;
  return s->checked[index] ? 1 : 0;
}

void Control::SetItemCheck(int index, int check) {
  auto* s = State();
  if (!s || index < 0 || index >= static_cast<int>(s->checked.size())) return;
  s->checked[index] = check != 0;
  Changed();
}

void Control::SetRange32(int lo, int hi) {
  if (auto* s = State()) {
    s->lo = lo;
    s->hi = hi;
    s->pos = std::clamp(s->pos, std::min(lo, hi), std::max(lo, hi));
    Changed();
  }
}

void Control::SetPos(int pos) {
  if (auto* s = State()) {
    s->pos = std::clamp(pos, std::min(s->lo, s->hi), std::max(s->lo, s->hi));
    Changed();
  }
}

int Control::GetPos() const {
  auto* s = State();
  return s ? s->pos : 0;
}

void Control::SetStep(int step) {
  if (auto* s = State()) s->step = step;
}

// Like the common progress control: stepping past the upper bound wraps to
// the lower one. Returns the previous position.
int Control::StepIt() {
  auto* s = State();
  if (!s) return 0;
  int old = s->pos;
  long long next = static_cast<long long>(s->pos) + s->step;
  if (next > s->hi) next = s->lo + (next - s->hi) % std::max(1LL, static_cast<long long>(s->hi) - s->lo);
  s->pos = static_cast<int>(next);
  Changed();
  return old;
}

// ------------------------------------------------------------------ CDialog

CDialog::CDialog(int templateId, CDialog* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() = default;

void CDialog::Build(const DlgTemplate& tpl) {
  tpl_ = tpl;
  caption_ = tpl.caption;
  controls_.clear();
  for (const auto& c : tpl.controls) {
    ControlState s;
    s.tpl = c;
    s.enabled = !c.disabled;
    s.visible = !c.hidden;
    if (!IsList(c.kind)) s.text = c.text;
    controls_.push_back(std::move(s));
  }
}

static std::optional<DlgTemplate> LoadTemplate(int id) {
  auto& l = Layer();
  std::optional<DlgTemplate> tpl = l.loader ? l.loader(id) : ResourceTemplate(id);
  if (!tpl)
    ReportError("dialog template " + std::to_string(id) + " is missing from the resource library");
  return tpl;
}

int CDialog::DoModal() {
  std::optional<DlgTemplate> tpl = LoadTemplate(templateId_);
  if (!tpl) return -1;
  Build(*tpl);
  result_ = -1;
  ended_ = false;
  CurrentBackend().RunModal(*this);
  open_ = false;
  OnDestroy();
  return result_;
}

bool CDialog::Create() {
  std::optional<DlgTemplate> tpl = LoadTemplate(templateId_);
  if (!tpl) return false;
  Build(*tpl);
  result_ = -1;
  ended_ = false;
  RunInitDialog();
  return true;
}

void CDialog::DestroyWindow() {
  if (!open_) return;
  open_ = false;
  ended_ = true;
  OnDestroy();
}

void CDialog::EndDialog(int result) {
  result_ = result;
  bool wasRunning = open_ && !ended_;
  ended_ = true;
  if (wasRunning) CurrentBackend().DialogEnded(*this);
}

bool CDialog::HasControl(int id) const {
  return std::any_of(controls_.begin(), controls_.end(), [id](const ControlState& s) { return s.tpl.id == id; });
}

ControlState* CDialog::FindState(int id) {
  for (auto& s : controls_)
    if (s.tpl.id == id) return &s;
  return nullptr;
}

void CDialog::SetWindowText(const std::string& caption) {
  caption_ = caption;
  if (open_ && !ended_) CurrentBackend().ControlChanged(*this, 0);
}

void CDialog::UpdateWindow() {
  if (open_ && !ended_) CurrentBackend().Repaint(*this);
}

void CDialog::AppendSystemMenu(int command, const std::string& text) { sysMenu_.emplace_back(command, text); }

void CDialog::Dispatch(int id, Notify notify) {
  bool handled = false;
  // Copy: a handler may add entries (never remove) while running.
  for (size_t i = 0; i < map_.size(); ++i) {
    if (map_[i].id == id && map_[i].notify == notify) {
      auto fn = map_[i].fn;
      fn();
      handled = true;
    }
  }
  if (!handled && notify == Notify::Click) {
    if (id == IDOK) OnOK();
    else if (id == IDCANCEL) OnCancel();
  }
}

void CDialog::UserClick(int id) {
  ControlState* s = FindState(id);
  if (!s) return;
  if (s->tpl.kind == CtlKind::CheckBox) {
    s->check = s->check ? 0 : 1;
  } else if (s->tpl.kind == CtlKind::Radio) {
    // The group runs from the radio that starts it up to the next start.
    size_t me = static_cast<size_t>(s - controls_.data());
    size_t first = me;
    while (first > 0 && !controls_[first].tpl.group && controls_[first - 1].tpl.kind == CtlKind::Radio) --first;
    for (size_t i = first; i < controls_.size() && controls_[i].tpl.kind == CtlKind::Radio; ++i) {
      if (i != first && controls_[i].tpl.group) break;
      controls_[i].check = 0;
    }
    s->check = 1;
  }
  Dispatch(id, Notify::Click);
}

void CDialog::UserSelect(int id, const std::vector<int>& indices) {
  Control c(this, id);
  ControlState* s = FindState(id);
  if (!s) return;
  std::fill(s->selected.begin(), s->selected.end(), false);
  for (int i : indices)
    if (i >= 0 && i < static_cast<int>(s->items.size())) {
      s->selected[i] = true;
      s->caret = i;
      if (IsCombo(s->tpl.kind)) s->text = s->items[i];
    }
  Dispatch(id, Notify::SelChange);
}

void CDialog::UserSetText(int id, const std::string& text) {
  ControlState* s = FindState(id);
  if (!s) return;
  s->text = text;
  Dispatch(id, Notify::EditChange);
}

void CDialog::UserLeave(int id) {
  if (FindState(id)) Dispatch(id, Notify::KillFocus);
}

void CDialog::UserItemCheck(int id, int index, int check) {
  ControlState* s = FindState(id);
  if (!s || index < 0 || index >= static_cast<int>(s->checked.size())) return;
  s->checked[index] = check != 0;
}

// ------------------------------------------------------- boxes and choosers

int MessageBox(const BoxSpec& box) { return CurrentBackend().MessageBox(box); }

std::optional<std::vector<std::string>> ChooseFiles(const FileChooserSpec& spec) {
  return CurrentBackend().ChooseFiles(spec);
}

std::optional<std::string> ChooseFolder(CDialog* owner, const std::string& title) {
  return CurrentBackend().ChooseFolder(owner, title);
}

CWaitCursor::CWaitCursor() { CurrentBackend().BeginWait(); }
CWaitCursor::~CWaitCursor() { CurrentBackend().EndWait(); }

}  // namespace ui
