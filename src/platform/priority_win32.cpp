#include <windows.h>
#include <mmsystem.h>

#include "platform/priority_internal.h"
#include "platform/thread.h"

namespace plat {

bool RaiseCallingThread() { return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0; }

void BeginTimerResolution() { timeBeginPeriod(1); }
void EndTimerResolution() { timeEndPeriod(1); }

bool RaiseThisProcess() { return SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS) != 0; }

// The structure size is given as the 148 bytes of OSVERSIONINFOA whatever the
// headers say, so that the call behaves the same on every system it meets.
bool IsWin9xFamily() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = 148;
  if (!GetVersionExA(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

}  // namespace plat
