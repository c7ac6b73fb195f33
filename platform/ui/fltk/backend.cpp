// FLTK backend: one window per modal dialog, one widget per control. The
// dialog layer's control model stays the authority; widgets show it, and
// user actions go back through the CDialog::User* entry points.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Browser.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Secret_Input.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <sys/stat.h>
#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/resources.h"
#include "platform/ui/fltk/fltk_backend.h"

namespace ui::fltk {

namespace {

constexpr int kFontSize = 13;

struct Peer;

// Dialog units to pixels from the font's metrics.
struct Units {
  double x = 1.75, y = 2.0;
  static Units Measure() {
    Units u;
    fl_font(FL_HELVETICA, kFontSize);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    u.x = fl_width(alphabet) / 52.0 / 4.0;
    u.y = fl_height() / 8.0;
    return u;
  }
};

// The dialog's window: system menu on right click and Shift+F10, help on F1.
class DlgWindow : public Fl_Double_Window {
 public:
  DlgWindow(int w, int h, CDialog& dlg) : Fl_Double_Window(w, h), dlg_(dlg) {}
  int handle(int event) override;
  // Counts the whole-window draws (an expose, or a redraw of everything)
  // that reached the window while the server showed it, so that a watcher
  // can wait until the dialog is on the screen instead of guessing a delay.
  // A draw of some controls only does not count: the rest of the window may
  // not have been drawn yet.
  void flush() override {
    const uchar what = damage();
    Fl_Double_Window::flush();
    if (!shown() || !visible_r() || !(what & (FL_DAMAGE_EXPOSE | FL_DAMAGE_ALL))) return;
    XWindowAttributes a;
    if (XGetWindowAttributes(fl_display, fl_xid(this), &a) && a.map_state == IsViewable) ++draws;
  }
  unsigned draws = 0;

 private:
  void PopupSystemMenu();
  CDialog& dlg_;
};

struct Peer {
  DlgWindow* win = nullptr;
  std::vector<Fl_Widget*> widgets;  // by the control's index in the dialog
  std::map<int, size_t> index;      // control id → index (labels of id -1 have none)
  std::vector<std::string> labels;  // widget labels must outlive the widgets
  bool syncing = false;
};

Peer* PeerOf(CDialog& dlg) { return static_cast<Peer*>(dlg.peer); }

// Callback data: dialog plus control id.
struct Binding {
  CDialog* dlg;
  int id;
};

void SyncIndex(CDialog& dlg, size_t i);

void SyncAll(CDialog& dlg) {
  Peer* p = PeerOf(dlg);
  if (!p || dlg.Ended()) return;
  p->win->copy_label(dlg.GetWindowText().c_str());
  for (size_t i = 0; i < dlg.States().size(); ++i) SyncIndex(dlg, i);
}

// Runs a user action, then shows what the handlers changed.
template <class F>
void UserAction(CDialog& dlg, F&& f) {
  Peer* p = PeerOf(dlg);
  if (!p || p->syncing || dlg.Ended()) return;
  f();
  SyncAll(dlg);
}

// An input reporting focus loss.
template <class Base>
class LeaveInput : public Base {
 public:
  LeaveInput(int x, int y, int w, int h, Binding b) : Base(x, y, w, h), b_(b) {}
  int handle(int event) override {
    int r = Base::handle(event);
    if (event == FL_UNFOCUS) UserAction(*b_.dlg, [this] { b_.dlg->UserLeave(b_.id); });
    return r;
  }

 private:
  Binding b_;
};

void OnWidget(Fl_Widget* w, void* data) {
  auto* b = static_cast<Binding*>(data);
  CDialog& dlg = *b->dlg;
  ControlState* s = dlg.FindState(b->id);
  if (!s) return;
  UserAction(dlg, [&] {
    switch (s->tpl.kind) {
      case CtlKind::Edit:
      case CtlKind::Password:
        dlg.UserSetText(b->id, static_cast<Fl_Input*>(w)->value());
        break;
      case CtlKind::ListBox: {
        int v = static_cast<Fl_Browser*>(w)->value();
        dlg.UserSelect(b->id, v > 0 ? std::vector<int>{v - 1} : std::vector<int>{});
        break;
      }
      case CtlKind::MultiListBox: {
        auto* br = static_cast<Fl_Browser*>(w);
        std::vector<int> sel;
        for (int i = 1; i <= br->size(); ++i)
          if (br->selected(i)) sel.push_back(i - 1);
        dlg.UserSelect(b->id, sel);
        break;
      }
      case CtlKind::DropList: {
        int v = static_cast<Fl_Choice*>(w)->value();
        dlg.UserSelect(b->id, v >= 0 ? std::vector<int>{v} : std::vector<int>{});
        break;
      }
      case CtlKind::DropDown: {
        auto* ic = static_cast<Fl_Input_Choice*>(w);
        if (ic->menubutton()->changed()) {
          ic->menubutton()->clear_changed();
          dlg.UserSelect(b->id, {ic->menubutton()->value()});
        } else {
          dlg.UserSetText(b->id, ic->value());
        }
        break;
      }
      case CtlKind::CheckList: {
        auto* cb = static_cast<Fl_Check_Browser*>(w);
        for (int i = 1; i <= cb->nitems(); ++i) dlg.UserItemCheck(b->id, i - 1, cb->checked(i));
        int v = cb->value();
        dlg.UserSelect(b->id, v > 0 ? std::vector<int>{v - 1} : std::vector<int>{});
        break;
      }
      default:
        dlg.UserClick(b->id);
    }
  });
}

// Icon `idText` of the resource library as an image (kept for the run), or
// null when there is none.
Fl_Image* IconImage(const std::string& idText) {
  static std::map<int, std::unique_ptr<Fl_PNG_Image>> cache;
  int id = std::atoi(idText.c_str());
  auto it = cache.find(id);
  if (it != cache.end()) return it->second.get();
  const QlIcon* icon = platform::ResIcon(id);
  std::unique_ptr<Fl_PNG_Image> image;
  if (icon != nullptr && std::string(icon->format) == "png") {
    image = std::make_unique<Fl_PNG_Image>(nullptr, icon->bytes, static_cast<int>(icon->size));
    if (image->fail()) image.reset();
  }
  return (cache[id] = std::move(image)).get();
}

Fl_Widget* MakeWidget(CDialog& dlg, const ControlState& s, const Units& u, std::vector<std::unique_ptr<Binding>>& keep) {
  const CtlTemplate& t = s.tpl;
  int x = static_cast<int>(t.x * u.x), y = static_cast<int>(t.y * u.y);
  int w = std::max(1, static_cast<int>(t.cx * u.x)), h = std::max(1, static_cast<int>(t.cy * u.y));
  keep.push_back(std::make_unique<Binding>(Binding{&dlg, t.id}));
  Binding* b = keep.back().get();
  Fl_Widget* widget = nullptr;
  switch (t.kind) {
    case CtlKind::Static: {
      auto* box = new Fl_Box(x, y, w, h);
      box->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
      widget = box;
      break;
    }
    case CtlKind::Icon: {
      // The text names an icon of the resource library.
      auto* box = new Fl_Box(FL_NO_BOX, x, y, w, h, nullptr);
      if (Fl_Image* image = IconImage(t.text)) box->image(image);
      widget = box;
      break;
    }
    case CtlKind::GroupBox: {
      auto* box = new Fl_Box(FL_ENGRAVED_FRAME, x, y, w, h, nullptr);
      box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
      widget = box;
      break;
    }
    case CtlKind::Edit: {
      auto* in = new LeaveInput<Fl_Input>(x, y, w, h, *b);
      in->when(FL_WHEN_CHANGED);
      widget = in;
      break;
    }
    case CtlKind::Password: {
      auto* in = new LeaveInput<Fl_Secret_Input>(x, y, w, h, *b);
      in->when(FL_WHEN_CHANGED);
      widget = in;
      break;
    }
    case CtlKind::Button:
      widget = new Fl_Button(x, y, w, h);
      break;
    case CtlKind::DefButton:
      widget = new Fl_Return_Button(x, y, w, h);
      break;
    case CtlKind::CheckBox:
      widget = new Fl_Check_Button(x, y, w, h);
      break;
    case CtlKind::Radio:
      widget = new Fl_Round_Button(x, y, w, h);
      break;
    case CtlKind::ListBox:
      widget = new Fl_Hold_Browser(x, y, w, h);
      break;
    case CtlKind::MultiListBox:
      widget = new Fl_Multi_Browser(x, y, w, h);
      break;
    case CtlKind::DropList:
      // A combo's template height includes its drop-down; the field is one line.
      widget = new Fl_Choice(x, y, w, std::min(h, static_cast<int>(12 * u.y)));
      break;
    case CtlKind::DropDown: {
      auto* ic = new Fl_Input_Choice(x, y, w, std::min(h, static_cast<int>(12 * u.y)));
      ic->when(FL_WHEN_CHANGED);
      widget = ic;
      break;
    }
    case CtlKind::CheckList:
      widget = new Fl_Check_Browser(x, y, w, h);
      break;
    case CtlKind::Progress: {
      auto* pr = new Fl_Progress(x, y, w, h);
      pr->selection_color(FL_BLUE);
      widget = pr;
      break;
    }
  }
  widget->labelsize(kFontSize);
  widget->callback(OnWidget, b);
  return widget;
}

void FillItems(Fl_Browser* br, const ControlState& s) {
  br->clear();
  for (size_t i = 0; i < s.items.size(); ++i) {
    br->add(s.items[i].c_str());
    if (s.selected[i]) br->select(static_cast<int>(i) + 1);
  }
}

void FillMenu(Fl_Menu_* m, const ControlState& s) {
  m->clear();
  for (const auto& item : s.items) {
    // Menu paths treat "/", "\\", "&" and "_" specially: add items by index.
    int i = m->add("x");
    m->replace(i, item.c_str());
  }
}

// Sets only what differs, so that syncing never disturbs typing or scrolling.
void SyncIndex(CDialog& dlg, size_t i) {
  Peer* p = PeerOf(dlg);
  if (!p || i >= p->widgets.size() || i >= dlg.States().size()) return;
  ControlState* s = &dlg.States()[i];
  Fl_Widget* w = p->widgets[i];
  p->syncing = true;
  if (s->enabled != (w->active() != 0)) s->enabled ? w->activate() : w->deactivate();
  if (s->visible != (w->visible() != 0)) s->visible ? w->show() : w->hide();
  switch (s->tpl.kind) {
    case CtlKind::Icon:
      break;
    case CtlKind::Static:
    case CtlKind::GroupBox:
    case CtlKind::Button:
    case CtlKind::DefButton:
      if (!w->label() || s->text != w->label()) w->copy_label(s->text.c_str());
      break;
    case CtlKind::CheckBox:
    case CtlKind::Radio: {
      if (!w->label() || s->text != w->label()) w->copy_label(s->text.c_str());
      auto* bt = static_cast<Fl_Button*>(w);
      if (bt->value() != (s->check ? 1 : 0)) bt->value(s->check ? 1 : 0);
      break;
    }
    case CtlKind::Edit:
    case CtlKind::Password: {
      auto* in = static_cast<Fl_Input*>(w);
      if (s->text != in->value()) in->value(s->text.c_str());
      break;
    }
    case CtlKind::ListBox:
    case CtlKind::MultiListBox: {
      auto* br = static_cast<Fl_Browser*>(w);
      bool same = br->size() == static_cast<int>(s->items.size());
      for (int i = 0; same && i < br->size(); ++i)
        same = s->items[i] == (br->text(i + 1) ? br->text(i + 1) : "");
      if (!same) {
        FillItems(br, *s);
      } else {
        for (int i = 0; i < br->size(); ++i)
          if ((br->selected(i + 1) != 0) != s->selected[i]) br->select(i + 1, s->selected[i] ? 1 : 0);
      }
      break;
    }
    case CtlKind::DropList: {
      auto* ch = static_cast<Fl_Choice*>(w);
      bool same = ch->size() - 1 == static_cast<int>(s->items.size());
      for (int i = 0; same && i < ch->size() - 1; ++i) same = s->items[i] == (ch->text(i) ? ch->text(i) : "");
      if (!same) FillMenu(ch, *s);
      int sel = -1;
      for (size_t i = 0; i < s->selected.size(); ++i)
        if (s->selected[i]) sel = static_cast<int>(i);
      if (sel >= 0) ch->value(sel);
      else ch->value(static_cast<const Fl_Menu_Item*>(nullptr));
      break;
    }
    case CtlKind::DropDown: {
      auto* ic = static_cast<Fl_Input_Choice*>(w);
      if (ic->menubutton()->size() - 1 != static_cast<int>(s->items.size())) FillMenu(ic->menubutton(), *s);
      if (s->text != (ic->value() ? ic->value() : "")) ic->value(s->text.c_str());
      break;
    }
    case CtlKind::CheckList: {
      auto* cb = static_cast<Fl_Check_Browser*>(w);
      bool same = cb->nitems() == static_cast<int>(s->items.size());
      for (int i = 0; same && i < cb->nitems(); ++i) same = s->items[i] == cb->text(i + 1);
      if (!same) {
        cb->clear();
        for (size_t i = 0; i < s->items.size(); ++i) cb->add(s->items[i].c_str(), s->checked[i] ? 1 : 0);
      }
      for (int i = 0; i < cb->nitems(); ++i)
        if ((cb->checked(i + 1) != 0) != s->checked[i]) cb->checked(i + 1, s->checked[i] ? 1 : 0);
      break;
    }
    case CtlKind::Progress: {
      auto* pr = static_cast<Fl_Progress*>(w);
      pr->minimum(static_cast<float>(s->lo));
      pr->maximum(static_cast<float>(s->hi == s->lo ? s->lo + 1 : s->hi));
      pr->value(static_cast<float>(s->pos));
      break;
    }
  }
  p->syncing = false;
}

int DlgWindow::handle(int event) {
  if (event == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE && !dlg_.SystemMenu().empty()) {
    PopupSystemMenu();
    return 1;
  }
  if (event == FL_KEYDOWN || event == FL_SHORTCUT) {
    if (Fl::event_key() == FL_F + 10 && Fl::event_shift() && !dlg_.SystemMenu().empty()) {
      PopupSystemMenu();
      return 1;
    }
    if (Fl::event_key() == FL_F + 1) {
      UserAction(dlg_, [this] { dlg_.UserHelp(); });
      return 1;
    }
  }
  return Fl_Double_Window::handle(event);
}

// The window's own entry (Close) comes first; a separator line parts it
// from the entries the dialog appended.
void DlgWindow::PopupSystemMenu() {
  const auto& entries = dlg_.SystemMenu();
  std::vector<Fl_Menu_Item> items(entries.size() + 2);
  for (auto& item : items) item = Fl_Menu_Item{};
  items[0].text = "Close";
  items[0].flags = FL_MENU_DIVIDER;
  for (size_t i = 0; i < entries.size(); ++i) items[i + 1].text = entries[i].second.c_str();
  const Fl_Menu_Item* chosen = items[0].popup(Fl::event_x(), Fl::event_y());
  if (!chosen) return;
  size_t at = static_cast<size_t>(chosen - items.data());
  if (at == 0) {
    UserAction(dlg_, [this] { dlg_.UserClose(); });
    return;
  }
  int command = entries[at - 1].first;
  UserAction(dlg_, [this, command] { dlg_.UserSysCommand(command); });
}

void OnWindowClose(Fl_Widget*, void* data) {
  auto* dlg = static_cast<CDialog*>(data);
  UserAction(*dlg, [dlg] { dlg->UserClose(); });
}

class FltkBackend : public Backend {
 public:
  const char* Name() const override { return "fltk"; }

  void RunModal(CDialog& dlg) override {
    Units u = Units::Measure();
    const DlgTemplate& t = dlg.Template();
    auto peer = std::make_unique<Peer>();
    std::vector<std::unique_ptr<Binding>> bindings;
    auto* win = new DlgWindow(std::max(40, static_cast<int>(t.cx * u.x)), std::max(20, static_cast<int>(t.cy * u.y)), dlg);
    peer->win = win;
    win->begin();
    for (const auto& s : dlg.States()) {
      if (s.tpl.id != -1) peer->index.emplace(s.tpl.id, peer->widgets.size());
      peer->widgets.push_back(MakeWidget(dlg, s, u, bindings));
    }
    win->end();
    win->callback(OnWindowClose, &dlg);
    win->set_modal();
    dlg.peer = peer.get();
    SyncAll(dlg);
    dlg.RunInitDialog();
    if (!dlg.Ended()) {
      SyncAll(dlg);
      // The icon the dialog set while starting, for the window manager.
      if (dlg.IconId() != 0) {
        if (auto* icon = dynamic_cast<Fl_RGB_Image*>(IconImage(std::to_string(dlg.IconId())))) win->icon(icon);
      }
      win->show();
      while (!dlg.Ended() && Fl::first_window()) Fl::wait();
    }
    if (!dlg.Ended()) dlg.EndDialog(-1);
    win->hide();
    dlg.peer = nullptr;
    Fl::delete_widget(win);
    Fl::flush();
  }

  void ControlChanged(CDialog& dlg, int id) override {
    Peer* p = PeerOf(dlg);
    if (!p) return;
    if (id == 0) {
      p->win->copy_label(dlg.GetWindowText().c_str());
      return;
    }
    auto at = p->index.find(id);
    if (at != p->index.end()) SyncIndex(dlg, at->second);
    // Progress repaints itself at most every 50 ms through a flush only:
    // no event is handled while a handler runs.
    ControlState* s = dlg.FindState(id);
    if (s && s->tpl.kind == CtlKind::Progress && p->win->shown()) {
      auto now = std::chrono::steady_clock::now();
      if (now - lastDraw_ >= std::chrono::milliseconds(50)) {
        lastDraw_ = now;
        Fl::flush();
      }
    }
  }

  // Hiding the window wakes the loop's wait, as a timer's EndDialog
  // would not.
  void DialogEnded(CDialog& dlg) override {
    if (Peer* p = PeerOf(dlg)) p->win->hide();
  }

  void Repaint(CDialog& dlg) override {
    Peer* p = PeerOf(dlg);
    if (!p) return;
    SyncAll(dlg);
    if (!p->win->shown()) p->win->show();
    p->win->redraw();
    Fl::flush();
  }

  int MessageBox(const BoxSpec& box) override {
    switch (box.icon) {
      case BoxIcon::Error: fl_message_icon()->label("X"); break;
      case BoxIcon::Warning: fl_message_icon()->label("!"); break;
      case BoxIcon::Information: fl_message_icon()->label("i"); break;
      case BoxIcon::Question: fl_message_icon()->label("?"); break;
    }
    fl_message_title(box.caption.c_str());
    if (box.buttons == BoxButtons::YesNo) return fl_choice("%s", fl_no, fl_yes, nullptr, box.text.c_str()) == 1 ? IDYES : IDNO;
    fl_choice("%s", fl_ok, nullptr, nullptr, box.text.c_str());
    return IDOK;
  }

  std::optional<std::vector<std::string>> ChooseFiles(const FileChooserSpec& spec) override {
    Fl_Native_File_Chooser chooser;
    chooser.title(spec.title.c_str());
    chooser.type(spec.multiple ? Fl_Native_File_Chooser::BROWSE_MULTI_FILE : Fl_Native_File_Chooser::BROWSE_FILE);
    // The extension in any case: ".tab" → "*.[Tt][Aa][Bb]".
    std::string pattern = "*";
    for (char c : spec.extension) {
      if (std::isalpha(static_cast<unsigned char>(c)))
        pattern += std::string("[") + static_cast<char>(std::toupper(c)) + static_cast<char>(std::tolower(c)) + "]";
      else pattern += c;
    }
    std::string filter = spec.filterName + "\t" + pattern;
    chooser.filter(filter.c_str());
    if (chooser.show() != 0) return std::nullopt;
    std::vector<std::string> out;
    for (int i = 0; i < chooser.count(); ++i) {
      std::string path = chooser.filename(i);
      struct stat st;
      bool exists = ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
      bool ext = path.size() >= spec.extension.size() &&
                 strcasecmp(path.c_str() + path.size() - spec.extension.size(), spec.extension.c_str()) == 0;
      if (exists && ext) out.push_back(path);
    }
    if (out.empty()) return std::nullopt;
    return out;
  }

  std::optional<std::string> ChooseFolder(CDialog*, const std::string& title) override {
    Fl_Native_File_Chooser chooser;
    chooser.title(title.c_str());
    chooser.type(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
    if (chooser.show() != 0 || !chooser.filename()) return std::nullopt;
    return std::string(chooser.filename());
  }

  void BeginWait() override {
    if (waitDepth_++ == 0) SetCursor(FL_CURSOR_WAIT);
  }
  void EndWait() override {
    if (waitDepth_ > 0 && --waitDepth_ == 0) SetCursor(FL_CURSOR_DEFAULT);
  }

  bool OpenHelp(const std::string& page, int, std::string* error) override { return LaunchViewer(page, error); }

 private:
  static void SetCursor(Fl_Cursor c) {
    for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w)) w->cursor(c);
    Fl::flush();
  }
  std::chrono::steady_clock::time_point lastDraw_{};
  int waitDepth_ = 0;
};

}  // namespace

std::unique_ptr<Backend> MakeBackend() {
  if (!fl_display) {
    // FLTK ends the process when it cannot open the display: try first.
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    fl_open_display(d);
  }
  Fl::scheme("gtk+");
  Fl::visual(FL_DOUBLE | FL_INDEX);
  return std::make_unique<FltkBackend>();
}

void Install() { SetDisplayBackendFactory([] { return MakeBackend(); }); }

Fl_Window* WindowOf(CDialog& dlg) {
  Peer* p = PeerOf(dlg);
  return p ? p->win : nullptr;
}

unsigned DrawCount(CDialog& dlg) {
  Peer* p = PeerOf(dlg);
  return p ? p->win->draws : 0;
}

Fl_Widget* WidgetOf(CDialog& dlg, int id) {
  Peer* p = PeerOf(dlg);
  if (!p) return nullptr;
  auto it = p->index.find(id);
  return it == p->index.end() ? nullptr : p->widgets[it->second];
}

}  // namespace ui::fltk
