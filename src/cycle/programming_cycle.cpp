#include "cycle/programming_cycle.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "cycle/device_serial.h"
#include "state/shared_state.h"
#include "image/hex_passes.h"
#include "isp/instructions.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/thread.h"

const char kCycleSucceededText[] = "Programming Completed Successfully.";

std::unique_ptr<plat::Thread> g_cycleThread;

namespace {

std::atomic<CycleOutcome> g_lastOutcome{CycleOutcome::kNone};

bool Fail(char* message, size_t size, const char* format, unsigned address = 0) {
  g_statusError = 1;
  std::snprintf(message, size, format, address);
  return false;
}

// Runs every stage up to the final text, which it leaves in message; true
// when the cycle succeeded.
bool RunStages(DialogOps* dialog, bool verify, char* message, size_t size) {
  char portName[8] = {0};
  bool found = false;
  for (int n = 1; n <= 2 && !found; ++n) {
    std::snprintf(portName, sizeof portName, "COM%d", n);
    if (OpenPort(portName) != 0) {
      plat::Sleep(1);
      continue;
    }
    if (EnterProgrammingMode() == 0) {
      found = true;
      break;
    }
    ClosePort();
    plat::Sleep(1);
  }
  if (!found) return Fail(message, size, "Device not found. Check Power, Cable, Free COM.");

  std::snprintf(message, size, "Device found at %s. Getting Serial Number ...", portName);
  dialog->SetStatusText(message);
  // The firmware already on the device reports the serial number, so it must
  // run before anything is erased.
  LockAndRun();
  plat::Sleep(10);
  char working[kWorkingSerialSize];
  ObtainSerialNumber(dialog, working);
  dialog->SetSerialNumberText(working);
  dialog->RepaintNow();
  g_statusError = 0;
  plat::Sleep(10);

  if (EnterProgrammingMode() != 0) return Fail(message, size, "Programming Failed.");
  EraseChip();
  dialog->SetStatusText("Chip Erased.");
  if (ProgramFromHex(dialog) != 0) return Fail(message, size, "Programming Failed at 0x%04X .", g_failAddress);
  if (verify && VerifyFromHex(dialog) != 0) return Fail(message, size, "Verify Failed at 0x%04X.", g_failAddress);
  // The record is the device's only copy of its identity: a write that cannot
  // be read back whole is a failure, and the chip is then left unlocked.
  if (WriteSerialRecord(working, 23) != 0 || CheckSerialRecord(working, 23) != 0)
    return Fail(message, size, "Writing Serial Number failed.");
  LockAndRun();
  std::snprintf(message, size, "%s", kCycleSucceededText);
  return true;
}

}  // namespace

int ProgrammingCycle(DialogOps* dialog) {
  if (!dialog) return kCycleNoDialog;
  plat::RaiseThreadPriorityTimeCritical();
  g_cycleBusy = 1;
  g_statusError = 0;
  dialog->EnableStart(false);
  dialog->EnableVerify(false);
  dialog->DoWaitCursor(1);
  bool verify = dialog->IsVerifyChecked();
  dialog->RepaintNow();
  g_lastOutcome = CycleOutcome::kNone;
  dialog->SetStatusText("Auto Detecting Device ...");

  char message[256];
  bool succeeded = RunStages(dialog, verify, message, sizeof message);

  dialog->SetStatusText(message);
  ClosePort();
  dialog->EnableVerify(true);
  dialog->DoWaitCursor(-1);
  dialog->EnableStart(true);
  g_lastOutcome = succeeded ? CycleOutcome::kSucceeded : CycleOutcome::kFailed;
  g_cycleBusy = 0;
  return 0;
}

CycleOutcome LastCycleOutcome() { return g_lastOutcome.load(); }

void OnStart(DialogOps* dialog) {
  // The button is disabled only once the new thread runs; a press that comes
  // before then must not start a second cycle.
  uint8_t idle = 0;
  if (!g_cycleBusy.compare_exchange_strong(idle, 1)) return;
  JoinCycleThread();
  g_cycleThread = plat::Thread::Start([dialog] { ProgrammingCycle(dialog); });
  if (!g_cycleThread) {
    g_cycleBusy = 0;
    g_statusError = 1;
    dialog->SetStatusText("Egnition failed.");
  }
}

void JoinCycleThread() {
  if (g_cycleThread) {
    g_cycleThread->Join();
    g_cycleThread.reset();
  }
}
