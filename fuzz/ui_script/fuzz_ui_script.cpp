// Fuzz target for dialog scripts: any text is parsed, and a parsed script
// is played against a dialog holding every kind of control.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "platform/ui/ui.h"

namespace {

ui::DlgTemplate Template() {
  using ui::CtlKind;
  ui::DlgTemplate t;
  t.id = 900;
  t.cx = 200;
  t.cy = 120;
  t.controls = {
      {1, CtlKind::DefButton, "OK", 0, 0, 10, 10},
      {2, CtlKind::Button, "Cancel", 0, 0, 10, 10},
      {3, CtlKind::Edit, "", 0, 0, 10, 10},
      {4, CtlKind::Password, "", 0, 0, 10, 10},
      {5, CtlKind::CheckBox, "", 0, 0, 10, 10},
      {6, CtlKind::Radio, "", 0, 0, 10, 10, true},
      {7, CtlKind::Radio, "", 0, 0, 10, 10},
      {8, CtlKind::ListBox, "", 0, 0, 10, 10},
      {9, CtlKind::MultiListBox, "", 0, 0, 10, 10},
      {10, CtlKind::DropList, "", 0, 0, 10, 10},
      {11, CtlKind::CheckList, "", 0, 0, 10, 10},
      {12, CtlKind::Progress, "", 0, 0, 10, 10},
      {13, CtlKind::Button, "Off", 0, 0, 10, 10, false, true},
      {14, CtlKind::Button, "Nested", 0, 0, 10, 10},
  };
  return t;
}

class CFuzzDlg : public ui::CDialog {
 public:
  explicit CFuzzDlg(int depth) : ui::CDialog(900), m_Depth(depth) {
    Map(ui::Notify::Click, 14, [this] {
      if (m_Depth < 3) {
        CFuzzDlg nested(m_Depth + 1);
        nested.DoModal();
      }
      ui::MessageBox({this, "box", "caption", 186, ui::BoxIcon::Error, ui::BoxButtons::YesNo});
      ui::ChooseFiles({this, "", "Tables", ".tab", true});
      ui::ChooseFolder(this, "folder");
    });
    Map(ui::Notify::SelChange, 9, [this] { GetDlgItem(9).DeleteString(0); });
    Map(ui::Notify::EditChange, 3, [this] { GetDlgItem(8).AddString(GetDlgItem(3).GetWindowText()); });
  }
  bool OnInitDialog() override {
    for (int id : {8, 9, 10, 11})
      for (const char* s : {"a", "b", "c"}) GetDlgItem(id).AddString(s);
    return true;
  }

 private:
  int m_Depth;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    ui::SetTemplateLoader([](int id) -> std::optional<ui::DlgTemplate> {
      if (id == 900) return Template();
      return std::nullopt;
    });
    ui::SetErrorSink([](const std::string&) {});
    return true;
  }();
  (void)once;
  ui::headless::Reset();
  ui::SetBackend(ui::headless::MakeBackend());
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<ui::headless::Step> steps;
  std::string error;
  if (!ui::headless::ParseScript(text, &steps, &error)) return 0;
  ui::headless::SetScript(std::move(steps));
  CFuzzDlg dlg(0);
  dlg.DoModal();
  return 0;
}
