// A dialog that shows nothing: every operation is accepted and forgotten, and
// Verify reads as `verify`. Tests, fuzzers and benchmarks derive from it and
// keep only what they look at.
#pragma once

#include "state/dialog_ops.h"

class SilentDialog : public DialogOps {
 public:
  void SetStatusText(const char*) override {}
  void SetSerialNumberText(const char*) override {}
  void EnableStart(bool) override {}
  void EnableVerify(bool) override {}
  bool IsVerifyChecked() override { return verify; }
  void RepaintNow() override {}
  void DoWaitCursor(int) override {}

  bool verify = false;
};
