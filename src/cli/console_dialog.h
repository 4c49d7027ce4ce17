// The headless runner's stand-in for the dialog: every status text becomes a
// line on the output (prefixed "! " while the error flag is set), the serial
// number a "Serial Number: " line with anything unprintable escaped. On a
// terminal progress is one line that updates in place and texts are coloured
// unless colour is turned off; elsewhere a status text is printed only when it
// differs from the one before, and progress only at every tenth of a pass
// and the last it reached. An output that cannot be written stops the cycle
// (stop_request.h) and nothing more is written to it.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/output_writer.h"
#include "state/dialog_ops.h"

struct ConsoleStyle {
  bool terminal = false;   // progress updates one line in place
  bool colour = false;     // ANSI colours
  bool clearLine = false;  // the terminal knows the erase-line sequence
};
// From whether the output is a terminal and the conventions of the
// environment: NO_COLOR (set and not empty) and TERM=dumb turn colour off; a
// dumb terminal has no erase-line sequence either.
ConsoleStyle ConsoleStyleFor(bool isTerminal, const char* noColor, const char* term);

class ConsoleDialog : public DialogOps {
 public:
  ConsoleDialog(std::FILE* out, ConsoleStyle style, bool verify) : out_(out), style_(style), verify_(verify) {}

  void SetStatusText(const char* text) override;
  void SetProgressText(const char* text, int percent) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool) override {}
  void EnableVerify(bool) override {}
  bool IsVerifyChecked() override { return verify_; }
  void RepaintNow() override {}
  void DoWaitCursor(int) override {}

  // From now on each line goes to writer instead, progress as droppable.
  void WriteThrough(plat::OutputWriter* writer) { writer_ = writer; }
  // A runner-only line in the error colour (such as "! Interrupted.").
  void ErrorNote(const std::string& text);
  // Ends an open progress line and flushes.
  void Finish();
  // Whether a write to the output failed, and the system's reason.
  bool WriteFailed() const;
  std::string WriteError() const;

 private:
  void Line(const std::string& text, const char* colour);
  // A status text that is not progress, outside a terminal.
  void Logged(const std::string& shown, const char* colour);
  void FlushHeldProgress();
  void Put(const char* text);
  void Flush();

  std::FILE* out_;
  ConsoleStyle style_;
  bool verify_;
  mutable std::mutex m_;
  bool progressOpen_ = false;
  size_t progressWidth_ = 0;
  bool anyPrinted_ = false;
  std::string lastPrinted_;
  int lastPercent_ = -1;     // of the pass under way, -1 before its first
  std::string heldProgress_;  // withheld since the last tenth, printed before the next text
  bool writeFailed_ = false;
  std::string writeError_;
  plat::OutputWriter* writer_ = nullptr;
  std::string pending_;    // for the writer, up to the next flush
  bool progress_ = false;  // what is pending is progress
};
