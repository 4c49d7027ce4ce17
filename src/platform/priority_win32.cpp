#include <windows.h>
#include <mmsystem.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/thread.h"

namespace plat {
namespace {
std::atomic<bool> g_raiseRefused{false};
}  // namespace

bool PriorityRaiseRefused() { return g_raiseRefused.load(); }

// On the virtual clock timing is simulated; a time-critical thread in a
// real-time class process would only starve the machine running the tests.
bool RaiseThreadPriorityTimeCritical() {
  if (IsVirtualClock()) return true;
  if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return true;
  g_raiseRefused.store(true);
  return false;
}

void BeginTimerResolution() { timeBeginPeriod(1); }
void EndTimerResolution() { timeEndPeriod(1); }

void RaiseProcessPriority() {
  if (IsVirtualClock()) return;
  if (!SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS)) g_raiseRefused.store(true);
}

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
