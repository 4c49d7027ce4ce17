#include "ui/win32/programmer_dialog.h"

#include <commctrl.h>
#include <mmsystem.h>

#include <utility>
#include <vector>

#include "app/firmware_location.h"
#include "app/process_setup.h"
#include "cycle/programming_cycle.h"
#include "part/target_part.h"
#include "state/shared_state.h"
#include "ui/common/cycle_note.h"
#include "ui/win32/resource.h"
#include "ui/win32/web_address.h"

namespace {

void StartProcess(const std::string& commandLine) {
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::vector<char> cmd(commandLine.begin(), commandLine.end());
  cmd.push_back('\0');
  if (CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    // Not waited for or watched: only the handles are given back.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

ProcessStarter& Starter() {
  static ProcessStarter starter;
  return starter;
}

}  // namespace

ProcessStarter ReplaceProcessStarter(ProcessStarter starter) { return std::exchange(Starter(), std::move(starter)); }

ProgrammerDialog::ProgrammerDialog(HWND parent) : DialogBase(IDD_PROGRAMMER_DIALOG, parent) {
  m_hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_PROGRAMMER));
}

ProgrammerDialog::~ProgrammerDialog() {
  if (m_linkFont) DeleteObject(m_linkFont);
}

void ProgrammerDialog::DoDataExchange() {
  m_webLink = Item(IDC_WEB_LINK);
  m_serialNumber = Item(IDC_SERIAL_NUMBER);
  m_start = Item(IDC_START);
  m_verify = Item(IDC_VERIFY);
  m_status = Item(IDC_STATUS);
}

BOOL ProgrammerDialog::OnInitDialog() {
  DoDataExchange();
  // The profile name stays the one the application derived from its file name.
  // Another process's cycle on this stored serial number: none of ours.
  bool stationFree = BeginProgrammerProcess() != plat::HoldResult::kBusy;
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, LPARAM(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, LPARAM(m_hIcon));

  HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
  if (dialogFont) {
    LOGFONTA lf;
    if (GetObjectA(dialogFont, sizeof lf, &lf) == sizeof lf) {
      lf.lfUnderline = 1;
      m_linkFont = CreateFontIndirectA(&lf);
      // Some static controls select their own font after asking for colours
      // (Wine's do), which would undo the selection in OnCtlColor.
      if (m_linkFont) SendMessageA(m_webLink, WM_SETFONT, WPARAM(m_linkFont), FALSE);
    }
  }
  m_hLinkCursor = LoadCursorA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_LINK_CURSOR));

  SetWindowTextA(m_status, stationFree ? "Idle." : "Station in use by another program.");
  EnableWindow(m_start, stationFree);
  SendMessageA(m_serialNumber, EM_LIMITTEXT, kSerialLength, 0);
  CreateStatusTip();
  FirmwareCheck check;
  if (!LocateFirmwareFile(this, &m_firmwarePath, &check)) SetStatusNote(FirmwareNote(m_firmwarePath, check));
  return TRUE;
}

// The status static has no SS_NOTIFY, so the pointer over it reaches the
// dialog: the tool is that rectangle of the dialog, and the tooltip watches
// the dialog's mouse messages itself.
void ProgrammerDialog::CreateStatusTip() {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  m_statusTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWnd, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (!m_statusTip) return;
  TOOLINFOA ti;
  ZeroMemory(&ti, sizeof ti);
  ti.cbSize = TTTOOLINFOA_V2_SIZE;  // understood by every version of the control
  ti.uFlags = TTF_SUBCLASS;
  ti.hwnd = m_hWnd;
  ti.uId = IDC_STATUS;
  GetWindowRect(m_status, &ti.rect);
  MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&ti.rect), 2);
  ti.lpszText = const_cast<char*>("");
  SendMessageA(m_statusTip, TTM_ADDTOOLA, 0, LPARAM(&ti));
  // Long reasons wrap, and the '\n' between them breaks the line.
  SendMessageA(m_statusTip, TTM_SETMAXTIPWIDTH, 0, 400);
  // Long enough to read several lines.
  SendMessageA(m_statusTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
}

// An empty text keeps the tooltip from showing at all.
void ProgrammerDialog::SetStatusNote(const std::string& note) {
  if (!m_statusTip) return;
  TOOLINFOA ti;
  ZeroMemory(&ti, sizeof ti);
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.hwnd = m_hWnd;
  ti.uId = IDC_STATUS;
  ti.lpszText = const_cast<char*>(note.c_str());
  SendMessageA(m_statusTip, TTM_UPDATETIPTEXTA, 0, LPARAM(&ti));
}

void ProgrammerDialog::ShowCycleReport(const CycleReport& report) {
  SetStatusNote(CycleNote(report, m_firmwarePath));
}

// Enter and Escape, the close box and Alt+F4 all arrive here; none of them
// may end the program while a cycle holds the port and the device.
void ProgrammerDialog::OnOK() {
  if (g_cycleBusy) return;
  DoDataExchange();
  EndDialog(IDOK);
}

void ProgrammerDialog::OnCancel() {
  if (g_cycleBusy) return;
  EndDialog(IDCANCEL);
}

BOOL ProgrammerDialog::DestroyWindow() {
  EndProgrammerProcess();
  if (m_hLinkCursor) {
    DestroyCursor(m_hLinkCursor);
    m_hLinkCursor = nullptr;
  }
  BOOL result = DialogBase::DestroyWindow();
  m_statusTip = nullptr;  // an owned window, destroyed with the dialog
  // The last cycle has cleared g_cycleBusy and touches the dialog no more, but
  // its thread may still be finishing; it must not outlive the dialog object.
  JoinCycleThread();
  return result;
}

bool ProgrammerDialog::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result) {
  switch (msg) {
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(m_hIcon);
      return true;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_START && HIWORD(wp) == BN_CLICKED) {
        // The reason of the last ending goes with it; the cycle about to run
        // gives its own.
        SetStatusNote(std::string());
        OnStart(this, this);
        return true;
      }
      return false;
    case WM_CLOSE:
      return false;  // the default turns it into Cancel, and so into OnCancel
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC:
      *result = reinterpret_cast<INT_PTR>(OnCtlColor(msg, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)));
      return true;
    case WM_SETCURSOR:
      if (!OnSetCursor()) return false;
      *result = TRUE;
      return true;
    case WM_LBUTTONDOWN:
      OnLButtonDown();
      return false;  // the click goes on to the default processing
    case kMsgWaitCursor:
      if (wp)
        m_hCursorBeforeWait = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
      else
        SetCursor(m_hCursorBeforeWait);
      return true;
    default:
      return false;
  }
}

// Colours by control id only: the read-only edit and the check box ask with
// the same message as the two statics.
HBRUSH ProgrammerDialog::OnCtlColor(UINT msg, HDC dc, HWND control) {
  HBRUSH brush = reinterpret_cast<HBRUSH>(DefWindowProcA(m_hWnd, msg, WPARAM(dc), LPARAM(control)));
  int id = control ? GetDlgCtrlID(control) : 0;
  if (id == IDC_STATUS) {
    SetTextColor(dc, g_statusError ? RGB(255, 0, 0) : RGB(0, 0, 0));
  } else if (id == IDC_WEB_LINK) {
    if (m_linkFont) SelectObject(dc, m_linkFont);
    SetTextColor(dc, RGB(0, 0, 255));
  }
  return brush;
}

bool ProgrammerDialog::PointerOnWebLink() const {
  POINT p;
  if (!GetCursorPos(&p)) return false;
  ScreenToClient(m_hWnd, &p);
  return m_webLink && ChildWindowFromPoint(m_hWnd, p) == m_webLink;
}

bool ProgrammerDialog::OnSetCursor() {
  // While a cycle runs the wait cursor stays, wherever the pointer goes.
  if (TheApp() && TheApp()->WaitCursorCount() > 0) {
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    return true;
  }
  if (!PointerOnWebLink()) return false;
  SetCursor(m_hLinkCursor);
  return true;
}

void ProgrammerDialog::OnLButtonDown() {
  if (!PointerOnWebLink()) return;
  std::string commandLine = std::string("explorer ") + ORVALO_WEB_ADDRESS;
  if (Starter())
    Starter()(commandLine);
  else
    StartProcess(commandLine);
}

bool ProgrammerDialog::OnPaint() {
  if (!IsIconic(m_hWnd)) return false;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hWnd, &ps);
  SendMessageA(m_hWnd, WM_ICONERASEBKGND, WPARAM(dc), 0);
  int cxIcon = GetSystemMetrics(SM_CXICON);
  int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(m_hWnd, &rect);
  int x = (rect.right - rect.left - cxIcon + 1) / 2;
  int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &ps);
  return true;
}

void ProgrammerDialog::SetStatusText(const char* text) { SetWindowTextA(m_status, text); }
void ProgrammerDialog::SetSerialNumberText(const char* text) { SetWindowTextA(m_serialNumber, text); }
void ProgrammerDialog::EnableStart(bool enable) { EnableWindow(m_start, enable); }
void ProgrammerDialog::EnableVerify(bool enable) { EnableWindow(m_verify, enable); }
bool ProgrammerDialog::IsVerifyChecked() { return SendMessageA(m_verify, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void ProgrammerDialog::RepaintNow() { UpdateWindow(m_hWnd); }
void ProgrammerDialog::DoWaitCursor(int delta) {
  if (TheApp()) TheApp()->DoWaitCursor(delta);
}
