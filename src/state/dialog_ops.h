// What the programming cycle needs of its dialog. Each front end implements it
// (Qt dialog, Win32 dialog, headless runner, test recorder). Every call
// completes before it returns, even when made from the cycle's thread, so texts
// appear in the order written and the status colour, read from g_statusError
// at drawing time, always matches the text.
#pragma once

class DialogOps {
 public:
  virtual ~DialogOps() = default;
  virtual void SetStatusText(const char* text) = 0;
  // A pass's progress text, with its percentage for a front end that shows
  // progress otherwise than every text; the status line shows it like any.
  virtual void SetProgressText(const char* text, int percent) {
    (void)percent;
    SetStatusText(text);
  }
  virtual void SetSerialNumberText(const char* text) = 0;
  virtual void EnableStart(bool enable) = 0;
  virtual void EnableVerify(bool enable) = 0;
  virtual bool IsVerifyChecked() = 0;
  virtual void RepaintNow() = 0;
  // Counted wait cursor: +1 begins, -1 ends.
  virtual void DoWaitCursor(int delta) = 0;
};
