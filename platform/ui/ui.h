// Dialog layer: modal dialogs built from templates, controls addressed by
// id, message maps (click, selection change, edit change, focus loss),
// message boxes, file and folder choosers, wait cursor, progress bars, help
// pages and the system menu. Dialog classes use only this header; a backend
// (FLTK on a display, headless for tests and quiet runs) shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ui {

// Standard command ids and modal results.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// ---------------------------------------------------------------- templates

enum class CtlKind : uint8_t {
  Static,        // text label
  Edit,          // one-line edit
  Password,      // edit showing no characters
  Button,        // push button
  DefButton,     // default push button (Enter)
  CheckBox,      // toggles itself on click
  Radio,         // checks itself, unchecks the others of its group
  GroupBox,      // frame with a caption
  ListBox,       // single selection list
  MultiListBox,  // several items selectable
  DropList,      // combo box with a fixed list
  DropDown,      // combo box with an edit field
  CheckList,     // list with a check per item
  Progress,      // progress bar
  Icon,          // picture
};

// Positions and sizes are dialog units: a quarter of the average character
// width horizontally, an eighth of the font height vertically.
struct CtlTemplate {
  int id = 0;
  CtlKind kind = CtlKind::Static;
  std::string text;
  int x = 0, y = 0, cx = 0, cy = 0;
  bool group = false;     // starts a radio group
  bool disabled = false;  // starts disabled
  bool hidden = false;    // starts hidden
};

struct DlgTemplate {
  int id = 0;
  std::string caption;
  int cx = 0, cy = 0;
  std::vector<CtlTemplate> controls;
};

// Where `CDialog::DoModal` finds a template by id; returns nothing for an
// unknown id. Without one set (or after setting an empty one) templates
// come from the loaded resource library.
using TemplateLoader = std::function<std::optional<DlgTemplate>(int id)>;
void SetTemplateLoader(TemplateLoader loader);
// Template `id` of the loaded resource library, converted; nothing when the
// library or the template is missing.
std::optional<DlgTemplate> ResourceTemplate(int id);

// Failures of the layer itself (missing template, bad script, missing help
// page) go to stderr and to this sink when one is set.
using ErrorSink = std::function<void(const std::string& line)>;
void SetErrorSink(ErrorSink sink);
void ReportError(const std::string& line);

// ------------------------------------------------------------ control state

enum class Notify : uint8_t { Click, SelChange, EditChange, KillFocus };

struct ControlState {
  CtlTemplate tpl;
  std::string text;
  bool enabled = true;
  bool visible = true;
  int check = 0;                     // check boxes and radios
  std::vector<std::string> items;    // lists and combos
  std::vector<bool> selected;        // per item (single-selection lists keep one)
  std::vector<bool> checked;         // check list
  int caret = -1;                    // focused item of a list
  int lo = 0, hi = 100, pos = 0, step = 10;  // progress
};

class CDialog;

// A handle on one control of a dialog (the MFC CWnd/CListBox/... family
// folded into one). A handle on a missing id reports the fault once per
// call and does nothing.
class Control {
 public:
  Control() = default;
  Control(CDialog* dlg, int id) : dlg_(dlg), id_(id) {}

  int GetDlgCtrlID() const { return id_; }
  bool Exists() const;

  std::string GetWindowText() const;
  void SetWindowText(const std::string& text);
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;
  void ShowWindow(bool show);
  bool IsWindowVisible() const;
  int GetCheck() const;
  void SetCheck(int check);

  // lists, combos and check lists
  int AddString(const std::string& s);  // index of the new item
  int InsertString(int index, const std::string& s);  // -1 appends
  int DeleteString(int index);          // items left, or -1
  void ResetContent();
  int GetCount() const;
  std::string GetText(int index) const;
  int GetCurSel() const;                // -1 when none
  int SetCurSel(int index);             // -1 clears; returns index or -1
  int SetSel(int index, bool select);   // multi-selection lists
  bool GetSel(int index) const;
  int GetSelCount() const;
  std::vector<int> GetSelItems() const;
  int FindStringExact(const std::string& s) const;  // any case; -1
  int GetItemCheck(int index) const;
  void SetItemCheck(int index, int check);

  // progress bars
  void SetRange32(int lo, int hi);
  void SetPos(int pos);
  int GetPos() const;
  void SetStep(int step);
  int StepIt();

 private:
  ControlState* State() const;
  void Changed() const;
  CDialog* dlg_ = nullptr;
  int id_ = 0;
};

using CWnd = Control;
using CEdit = Control;
using CButton = Control;
using CStatic = Control;
using CListBox = Control;
using CComboBox = Control;
using CCheckListBox = Control;
using CProgressCtrl = Control;

// ------------------------------------------------------------------ dialogs

class CDialog {
 public:
  explicit CDialog(int templateId, CDialog* parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Shows the dialog and runs its loop until `EndDialog`; -1 when the
  // template is missing or the dialog could not be shown.
  int DoModal();
  void EndDialog(int result);
  // Modeless: builds the controls from the template and runs
  // `OnInitDialog` without a loop (tests drive handlers directly); false
  // when the template is missing. `DestroyWindow` ends it.
  bool Create();
  void DestroyWindow();

  Control GetDlgItem(int id) { return Control(this, id); }
  bool HasControl(int id) const;
  int TemplateId() const { return templateId_; }
  CDialog* Parent() const { return parent_; }
  const DlgTemplate& Template() const { return tpl_; }
  bool IsOpen() const { return open_; }
  bool Ended() const { return ended_; }
  int Result() const { return result_; }

  std::string GetWindowText() const { return caption_; }
  void SetWindowText(const std::string& caption);
  void SetIcon(int iconId) { iconId_ = iconId; }
  int IconId() const { return iconId_; }
  // Repaints at once (the only repaint during a long handler).
  void UpdateWindow();
  // Adds an entry to the window's system menu (right click, Shift+F10).
  void AppendSystemMenu(int command, const std::string& text);
  const std::vector<std::pair<int, std::string>>& SystemMenu() const { return sysMenu_; }

  // Entry points for backends: a user action on a control. Updates the
  // control's state the way the control itself would, then dispatches.
  void UserClick(int id);
  void UserSelect(int id, const std::vector<int>& indices);
  void UserSetText(int id, const std::string& text);
  void UserLeave(int id);
  void UserItemCheck(int id, int index, int check);
  void UserClose() { OnClose(); }
  void UserSysCommand(int command) { OnSysCommand(command); }
  void UserHelp() { WinHelp(); }

  // Dispatches a notification through the message map; clicks on IDOK and
  // IDCANCEL without an entry reach `OnOK` and `OnCancel`.
  void Dispatch(int id, Notify notify);

  ControlState* FindState(int id);
  std::vector<ControlState>& States() { return controls_; }

  // Backend data (its window); owned by the backend.
  void* peer = nullptr;

 protected:
  virtual bool OnInitDialog() { return true; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  virtual void OnClose() { OnCancel(); }
  virtual void OnSysCommand(int) {}
  // The help request (F1); by default it goes to the owner window.
  virtual void WinHelp() {
    if (parent_ != nullptr) parent_->WinHelp();
  }
  virtual void OnDestroy() {}

  // Message map entries: Map(Notify::Click, 1005, &CMyDlg::OnAdd).
  template <class D>
  void Map(Notify notify, int id, void (D::*fn)()) {
    D* self = static_cast<D*>(this);
    map_.push_back({notify, id, [self, fn] { (self->*fn)(); }});
  }
  void Map(Notify notify, int id, std::function<void()> fn) {
    map_.push_back({notify, id, std::move(fn)});
  }

 private:
  friend class Backend;
  struct Entry {
    Notify notify;
    int id;
    std::function<void()> fn;
  };
  void Build(const DlgTemplate& tpl);
  int templateId_;
  CDialog* parent_;
  DlgTemplate tpl_;
  std::string caption_;
  std::vector<ControlState> controls_;
  std::vector<Entry> map_;
  std::vector<std::pair<int, std::string>> sysMenu_;
  int iconId_ = 0;
  int result_ = -1;
  bool ended_ = false;
  bool open_ = false;
 public:
  // Called by the backend once the window exists.
  bool RunInitDialog() { open_ = true; return OnInitDialog(); }
};

// ---------------------------------------------------------- boxes, choosers

enum class BoxIcon : uint8_t { Error, Warning, Information, Question };
enum class BoxButtons : uint8_t { Ok, YesNo };

struct BoxSpec {
  CDialog* owner = nullptr;  // task-modal when null
  std::string text;
  std::string caption;
  int captionId = 0;         // string id of the caption, for transcripts
  BoxIcon icon = BoxIcon::Information;
  BoxButtons buttons = BoxButtons::Ok;
};

// Shows a box and returns IDOK, IDYES or IDNO.
int MessageBox(const BoxSpec& box);

struct FileChooserSpec {
  CDialog* owner = nullptr;
  std::string title;
  std::string filterName;   // "Corvane Tables (*.tab)"
  std::string extension;    // ".tab", matched in any case
  bool multiple = true;
};
// Existing files chosen, in the order given; nothing on Cancel.
std::optional<std::vector<std::string>> ChooseFiles(const FileChooserSpec& spec);
// A folder chosen; nothing on Cancel.
std::optional<std::string> ChooseFolder(CDialog* owner, const std::string& title);

// Wait cursor for the life of the object.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// Opens an HTML help page; false (with `error` filled) when the page is
// missing or no viewer could be started.
bool ShowHelp(const std::string& page, int context, std::string* error);
// Starts the desktop's viewer on a page (no shell involved).
bool LaunchViewer(const std::string& page, std::string* error);

// ------------------------------------------------------------------ backend

class Backend {
 public:
  virtual ~Backend() = default;
  virtual const char* Name() const = 0;
  // Shows the dialog, calls `RunInitDialog`, and loops until it ends.
  virtual void RunModal(CDialog& dlg) = 0;
  // The model of a control (or, with id 0, of the dialog) has changed.
  virtual void ControlChanged(CDialog& dlg, int id) = 0;
  virtual void Repaint(CDialog&) {}
  // The dialog has ended (its loop must wake up even when no event comes).
  virtual void DialogEnded(CDialog&) {}
  virtual int MessageBox(const BoxSpec& box) = 0;
  virtual std::optional<std::vector<std::string>> ChooseFiles(const FileChooserSpec& spec) = 0;
  virtual std::optional<std::string> ChooseFolder(CDialog* owner, const std::string& title) = 0;
  virtual void BeginWait() {}
  virtual void EndWait() {}
  // Opens an existing page; false with `error` when no viewer started.
  virtual bool OpenHelp(const std::string& page, int context, std::string* error) = 0;

 protected:
  static void Finish(CDialog& dlg, int result) { dlg.EndDialog(result); }
};

// The current backend (headless until another is installed).
Backend& CurrentBackend();
void SetBackend(std::unique_ptr<Backend> backend);

// A factory for the display backend, filled by the FLTK library when the
// program links it.
using BackendFactory = std::function<std::unique_ptr<Backend>()>;
void SetDisplayBackendFactory(BackendFactory factory);
// Picks the backend for a run: headless when `quiet`, when the environment
// says QUENDALOUR_UI=headless, when no display is set or no display
// backend is linked; the display backend otherwise. True when the dialogs
// reach someone: the display backend, or the headless one asked for by name
// (a scripted run); false when they would end unseen.
bool ChooseBackend(bool quiet);

}  // namespace ui
