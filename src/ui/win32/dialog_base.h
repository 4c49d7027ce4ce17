// Just enough of a dialog framework for one modal dialog made from a resource
// template: a modal loop of our own (so that the window's destruction is ours
// to extend, as DestroyWindow), OK and Cancel as overridable commands, and an
// application object with the counted wait cursor.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "ui/win32/win.h"

class DialogBase {
 public:
  DialogBase(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
  virtual ~DialogBase() = default;
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  // Creates the window, runs it until EndDialog and destroys it with
  // DestroyWindow. The result given to EndDialog, or -1 when the window cannot
  // be created.
  INT_PTR DoModal();
  void EndDialog(INT_PTR result);
  HWND GetSafeHwnd() const { return m_hWnd; }
  virtual BOOL DestroyWindow();

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The derived dialog's messages: true when handled, with the message's
  // result in *result; false passes the message on to the default processing.
  virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }
  HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

  HWND m_hWnd = nullptr;

 private:
  static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  int templateId_;
  HWND parent_;
  bool ended_ = false;
  INT_PTR result_ = -1;
};

class AppBase {
 public:
  AppBase();
  virtual ~AppBase();
  AppBase(const AppBase&) = delete;
  AppBase& operator=(const AppBase&) = delete;

  // false: no message loop of its own, the process ends.
  virtual bool InitInstance() = 0;

  // Counted wait cursor, from any thread: +1 begins, -1 ends. The cursor is
  // changed on the main window's thread, which owns it.
  void DoWaitCursor(int delta);
  int WaitCursorCount() const;

  // The executable's name without folder and last extension, and that name
  // with ".INI": the settings' application key.
  std::string m_pszExeName;
  std::string m_pszProfileName;
  std::atomic<DialogBase*> m_pMainWnd{nullptr};

 private:
  mutable std::mutex waitMutex_;
  int waitCount_ = 0;
};

// The one application object.
AppBase* TheApp();

// Sent by DoWaitCursor to the main window: wParam 1 shows the wait cursor and
// remembers the one shown before, 0 brings that one back.
constexpr UINT kMsgWaitCursor = WM_APP + 1;
