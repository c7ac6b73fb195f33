// FLTK backend of the dialog layer, and what GUI tests need to look at
// the windows it makes.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/ui.h"

class Fl_Widget;
class Fl_Window;

namespace ui::fltk {

std::unique_ptr<Backend> MakeBackend();
// Makes the display backend available to `ui::ChooseBackend`.
void Install();

// The window and widgets of an open dialog (null when not open).
Fl_Window* WindowOf(CDialog& dlg);
Fl_Widget* WidgetOf(CDialog& dlg, int id);
// Completed draws of an open dialog's mapped window (0 when not open or not
// drawn yet): a dialog is on the screen once this is above 0.
unsigned DrawCount(CDialog& dlg);
// Writes the dialog's window as a PNG file; false on failure.
bool SaveScreenshot(CDialog& dlg, const std::string& path);
// Puts a mouse click on a control into the X event queue, where it waits
// like a user's click until the backend next reads events.
bool QueueClick(CDialog& dlg, int id);

}  // namespace ui::fltk
