// Dialog templates of the loaded resource library in the dialog layer's
// form.
#include "platform/resources.h"
#include "platform/ui/ui.h"

namespace ui {

namespace {

CtlKind KindOf(int kind) {
  switch (kind) {
    case QLC_EDIT: return CtlKind::Edit;
    case QLC_PASSWORD: return CtlKind::Password;
    case QLC_BUTTON: return CtlKind::Button;
    case QLC_DEFBUTTON: return CtlKind::DefButton;
    case QLC_CHECKBOX: return CtlKind::CheckBox;
    case QLC_RADIO: return CtlKind::Radio;
    case QLC_LISTBOX: return CtlKind::ListBox;
    case QLC_MULTILIST: return CtlKind::MultiListBox;
    case QLC_COMBOBOX: return CtlKind::DropList;
    case QLC_PROGRESS: return CtlKind::Progress;
    case QLC_GROUPBOX: return CtlKind::GroupBox;
    case QLC_CHECKLIST: return CtlKind::CheckList;
    case QLC_ICON: return CtlKind::Icon;
    default: return CtlKind::Static;
  }
}

}  // namespace

std::optional<DlgTemplate> ResourceTemplate(int id) {
  const QlDialogTemplate* t = platform::ResDialog(id);
  if (t == nullptr) return std::nullopt;
  DlgTemplate out;
  out.id = t->id;
  out.caption = t->caption ? t->caption : "";
  out.cx = t->w;
  out.cy = t->h;
  for (int i = 0; i < t->control_count; ++i) {
    const QlControl& c = t->controls[i];
    CtlTemplate k;
    k.id = c.id;
    k.kind = KindOf(c.kind);
    k.text = c.text ? c.text : "";
    k.x = c.x;
    k.y = c.y;
    k.cx = c.w;
    k.cy = c.h;
    k.group = (c.style & QLS_GROUP) != 0;
    k.disabled = (c.style & QLS_DISABLED) != 0;
    k.hidden = (c.style & QLS_HIDDEN) != 0;
    out.controls.push_back(std::move(k));
  }
  return out;
}

}  // namespace ui
