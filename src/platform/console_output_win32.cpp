#include <windows.h>

#include <cstdio>

#include "platform/console_output.h"

namespace plat {

// A program of the window subsystem starts without a console; its output
// goes nowhere unless it was redirected or it joins the console of the
// program that started it (a command prompt).
void UseStartingConsole() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (!std::freopen("CONOUT$", "w", stdout)) return;
  std::freopen("CONOUT$", "w", stderr);
}

}  // namespace plat
