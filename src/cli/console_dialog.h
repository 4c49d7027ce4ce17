// The headless runner's stand-in for the dialog: every status text becomes a
// line on the output (prefixed "! " while the error flag is set), the serial
// number a "Serial Number: " line. On a terminal the texts are coloured and
// progress is one line that updates in place.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "state/dialog_ops.h"

class ConsoleDialog : public DialogOps {
 public:
  ConsoleDialog(std::FILE* out, bool terminal, bool verify) : out_(out), terminal_(terminal), verify_(verify) {}

  void SetStatusText(const char* text) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool) override {}
  void EnableVerify(bool) override {}
  bool IsVerifyChecked() override { return verify_; }
  void RepaintNow() override {}
  void DoWaitCursor(int) override {}

  // Ends an open progress line.
  void Finish();

 private:
  void Line(const std::string& text, const char* colour);

  std::FILE* out_;
  bool terminal_;
  bool verify_;
  mutable std::mutex m_;
  bool progressOpen_ = false;
};
