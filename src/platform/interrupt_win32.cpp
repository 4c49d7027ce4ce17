#include <windows.h>

#include <atomic>

#include "platform/interrupt.h"

namespace plat {
namespace {

constexpr int kConsoleInterrupt = 130;  // as for SIGINT, whatever the event
std::atomic<int> g_status{0};
std::atomic<bool> g_handled{false};
std::atomic<int> g_exitStatus{kConsoleInterrupt};
std::atomic<bool> g_held{false};

// Runs on a thread of its own. The system ends the process as soon as this
// returns for a close, logoff or shutdown event, so it waits (within the
// system's few seconds) for the program's clean-up and ends it itself, with
// the status the program settled on (the interrupted one unless the cycle
// had already completed), or the interrupted one when the clean-up is late.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  int none = 0;
  bool first = g_status.compare_exchange_strong(none, kConsoleInterrupt);
  if (!first && !g_held.load()) ExitProcess(UINT(g_handled.load() ? g_exitStatus.load() : kConsoleInterrupt));
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  for (int waited = 0; waited < 4500 && !g_handled.load(); waited += 10) Sleep(10);
  ExitProcess(UINT(g_handled.load() ? g_exitStatus.load() : kConsoleInterrupt));
  return TRUE;
}

}  // namespace

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

int InterruptStatus() { return g_status.load(); }

void RaiseInterrupt() { OnConsoleEvent(CTRL_C_EVENT); }

void HoldInterrupts() { g_held.store(true); }

void SettleInterrupts(int exitStatus) {
  InterruptHandled(exitStatus);
  g_held.store(false);
}

void InterruptHandled(int exitStatus) {
  g_exitStatus.store(exitStatus);
  g_handled.store(true);
}

}  // namespace plat
