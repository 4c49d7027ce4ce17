// The headless runner's exit status. When several apply, the first listed
// wins: interrupted (128 + the signal's number); no cycle could run (2: usage,
// ORVALO_SIM, firmware file); the cycle failed or its output could not be
// written (1); --strict-serial and the serial number did not come from the
// device (3); "Programming Completed Successfully." (0).
#pragma once

constexpr int kExitCompleted = 0;
constexpr int kExitCycleFailed = 1;
constexpr int kExitNoCycle = 2;
constexpr int kExitSerialNotFromDevice = 3;

struct RunOutcome {
  int interruptStatus = 0;  // 128 + signal, 0 when not interrupted
  bool noCycle = false;
  bool failed = false;
  bool serialNotFromDevice = false;  // counts only with --strict-serial
};

int ExitStatus(const RunOutcome& outcome);
