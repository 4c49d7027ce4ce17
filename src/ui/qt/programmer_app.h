// The application object: refuses a second copy, runs the dialog until it
// closes, and carries the counted wait cursor the cycle shows while it runs.
#pragma once

class ProgrammerApp {
 public:
  // Sets the settings' application key from the program's own name.
  ProgrammerApp();

  // Shows the dialog unless another copy runs. Always false: the program ends
  // when the dialog does.
  bool InitInstance();

  // +1 begins, -1 ends; the wait cursor shows while the count is above zero,
  // and an end without a begin leaves the count at zero. GUI thread only.
  static void DoWaitCursor(int delta);
  static int WaitCursorCount();
};
