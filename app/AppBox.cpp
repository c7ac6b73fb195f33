// Message boxes of the application (see AppBox.h).
#include "app/AppBox.h"

#include "app/ResourceLibrary.h"

int AppMessageBox(ui::CDialog* owner, int captionId, const std::string& text, ui::BoxIcon icon,
                  ui::BoxButtons buttons) {
  ui::BoxSpec box;
  box.owner = owner;
  box.text = text;
  box.caption = LoadResString(captionId);
  box.captionId = captionId;
  box.icon = icon;
  box.buttons = buttons;
  return ui::MessageBox(box);
}
