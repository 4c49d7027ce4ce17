#include "ui/win32/programmer_app.h"

#include "app/settings_store.h"
#include "ui/win32/programmer_dialog.h"

// The settings' application key comes from the program's own file name, so a
// renamed copy keeps settings of its own.
ProgrammerApp::ProgrammerApp() { SetProfileName(m_pszProfileName.c_str()); }

bool ProgrammerApp::InitInstance() {
  if (HWND other = FindWindowA(nullptr, kProgrammerTitle)) {
    SetForegroundWindow(other);
    return false;
  }
  ProgrammerDialog dialog(nullptr);
  m_pMainWnd = &dialog;
  dialog.DoModal();
  m_pMainWnd = nullptr;
  return false;
}
