// The main dialog: Start, Verify, the serial number, the status line in red or
// black, the maker's web link, and no closing while a cycle runs. The cycle's
// thread drives it through DialogOps; each of those calls is a window call the
// dialog's thread carries out while the caller waits.
#pragma once

#include <functional>
#include <string>

#include "app/program_title.h"
#include "cycle/programming_cycle.h"
#include "state/dialog_ops.h"
#include "ui/win32/dialog_base.h"

class ProgrammerDialog : public DialogBase, public DialogOps, public CycleReportView {
 public:
  explicit ProgrammerDialog(HWND parent = nullptr);
  ~ProgrammerDialog() override;

  BOOL DestroyWindow() override;

  // DialogOps, callable from the cycle's thread.
  void SetStatusText(const char* text) override;
  void SetSerialNumberText(const char* text) override;
  void EnableStart(bool enable) override;
  void EnableVerify(bool enable) override;
  bool IsVerifyChecked() override;
  void RepaintNow() override;
  void DoWaitCursor(int delta) override;

  // The reason becomes the status line's tooltip; callable from the cycle's
  // thread like the operations above.
  void ShowCycleReport(const CycleReport& report) override;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) override;

 private:
  void DoDataExchange();
  HBRUSH OnCtlColor(UINT msg, HDC dc, HWND control);
  bool OnSetCursor();
  void OnLButtonDown();
  bool OnPaint();
  bool PointerOnWebLink() const;
  void CreateStatusTip();
  void SetStatusNote(const std::string& note);

  HCURSOR m_hLinkCursor = nullptr;
  HFONT m_linkFont = nullptr;
  HWND m_webLink = nullptr;
  HWND m_serialNumber = nullptr;
  HWND m_start = nullptr;
  HWND m_verify = nullptr;
  HWND m_status = nullptr;
  HICON m_hIcon = nullptr;
  HCURSOR m_hCursorBeforeWait = nullptr;
  HWND m_statusTip = nullptr;  // the status line's tooltip, owned by the dialog
  std::string m_firmwarePath;
};

// Starts a process with the given command line; a failure is silent. Tests
// put a recorder in place of the real starter.
using ProcessStarter = std::function<void(const std::string& commandLine)>;
ProcessStarter ReplaceProcessStarter(ProcessStarter starter);
