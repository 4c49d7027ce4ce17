// The application object: one copy of the program at a time, the main dialog
// run modally, and the process's end when it closes.
#pragma once

#include "ui/win32/dialog_base.h"

class ProgrammerApp : public AppBase {
 public:
  ProgrammerApp();
  // Brings an existing window with the dialog's caption to the front, or runs
  // the dialog; false either way, so that the process ends.
  bool InitInstance() override;
};
