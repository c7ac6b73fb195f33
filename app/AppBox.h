// Message boxes of the application: caption from a string id of the
// resource library, the text as given.
#pragma once

#include <string>

#include "platform/ui/ui.h"

// Shows the box and returns IDOK, IDYES or IDNO.
int AppMessageBox(ui::CDialog* owner, int captionId, const std::string& text, ui::BoxIcon icon,
                  ui::BoxButtons buttons = ui::BoxButtons::Ok);
