#include "ui/win32/dialog_base.h"

#include <vector>

#include "app/program_name.h"
#include "platform/file.h"

INT_PTR DialogBase::DoModal() {
  ended_ = false;
  result_ = -1;
  HWND hwnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent_, Proc,
                                 reinterpret_cast<LPARAM>(this));
  if (!hwnd) return -1;
  MSG msg;
  bool quit = false;
  while (!ended_) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageA(m_hWnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  DestroyWindow();
  if (quit) PostQuitMessage(int(msg.wParam));  // for whoever runs the outer loop
  return result_;
}

void DialogBase::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  if (m_hWnd) PostMessageA(m_hWnd, WM_NULL, 0, 0);  // wakes the modal loop
}

BOOL DialogBase::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  BOOL ok = ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return ok;
}

INT_PTR CALLBACK DialogBase::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  DialogBase* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<DialogBase*>(lp);
    SetWindowLongPtrA(hwnd, DWLP_USER, LONG_PTR(self));
    self->m_hWnd = hwnd;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<DialogBase*>(GetWindowLongPtrA(hwnd, DWLP_USER));
  if (!self) return FALSE;
  if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
    if (LOWORD(wp) == IDOK) {
      self->OnOK();
      return TRUE;
    }
    if (LOWORD(wp) == IDCANCEL) {
      self->OnCancel();
      return TRUE;
    }
  }
  INT_PTR result = 0;
  if (!self->OnMessage(msg, wp, lp, &result)) return FALSE;
  switch (msg) {
    // These return their result directly from a dialog procedure.
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_QUERYDRAGICON:
    case WM_COMPAREITEM: case WM_VKEYTOITEM: case WM_CHARTOITEM:
      return result;
    default:
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}

namespace {
AppBase* g_theApp = nullptr;

}  // namespace

AppBase::AppBase()
    : m_pszExeName(ProgramBaseName(plat::ProgramPath())), m_pszProfileName(ApplicationKey(plat::ProgramPath())) {
  g_theApp = this;
}

AppBase::~AppBase() {
  if (g_theApp == this) g_theApp = nullptr;
}

AppBase* TheApp() { return g_theApp; }

void AppBase::DoWaitCursor(int delta) {
  int show = -1;  // no change
  {
    std::lock_guard<std::mutex> g(waitMutex_);
    int before = waitCount_;
    waitCount_ += delta;
    if (waitCount_ > 0) {
      if (before == 0) show = 1;
    } else {
      waitCount_ = 0;
      if (before > 0) show = 0;
    }
  }
  DialogBase* main = m_pMainWnd;
  HWND hwnd = main ? main->GetSafeHwnd() : nullptr;
  if (show >= 0 && hwnd) SendMessageA(hwnd, kMsgWaitCursor, WPARAM(show), 0);
}

int AppBase::WaitCursorCount() const {
  std::lock_guard<std::mutex> g(waitMutex_);
  return waitCount_;
}
