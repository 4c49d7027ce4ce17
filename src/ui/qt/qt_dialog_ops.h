// The cycle's view of the Qt dialog. Calls from the cycle thread are carried
// out on the GUI thread, and the caller waits for them; the GUI thread itself
// never waits for the cycle, so it keeps painting and answering the operator.
#pragma once

#include <functional>

#include "cycle/programming_cycle.h"
#include "state/dialog_ops.h"

class ProgrammerDialog;

class QtDialogOps : public DialogOps, public CycleReportView {
 public:
  explicit QtDialogOps(ProgrammerDialog* dialog) : dialog_(dialog) {}

  void SetStatusText(const char* text) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool enable) override;
  void EnableVerify(bool enable) override;
  bool IsVerifyChecked() override;
  void RepaintNow() override;
  void DoWaitCursor(int delta) override;

  // The reason becomes the status line's tooltip.
  void ShowCycleReport(const CycleReport& report) override;

 private:
  void OnGuiThread(const std::function<void()>& work);
  ProgrammerDialog* dialog_;
};
