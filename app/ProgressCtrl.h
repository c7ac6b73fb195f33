// The progress bar of the main dialog as the connection and uploader
// interfaces name it: a handle on a progress control of the dialog layer.
#pragma once

#include "platform/ui/ui.h"

class CProgressCtrl : public ui::Control {
 public:
  using ui::Control::Control;
};
