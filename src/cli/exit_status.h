// The headless runner's exit status. When several apply, the first listed
// wins: interrupted (128 + the signal's number); no cycle could run (2: usage,
// ORVALO_SIM, firmware file); the cycle failed or its output could not be
// written (1); --strict-serial and the serial number did not come from the
// device (3); "Programming Completed Successfully." (0). The journal
// (journal_run.h) may then raise 0 or 3 to 4, or to 1.
#pragma once

constexpr int kExitCompleted = 0;
constexpr int kExitCycleFailed = 1;
constexpr int kExitNoCycle = 2;
constexpr int kExitSerialNotFromDevice = 3;
// Completed, but with a serial number that did not come from the device and
// that the journal shows an earlier completed cycle already wrote.
constexpr int kExitSerialIssuedBefore = 4;

struct RunOutcome {
  int interruptStatus = 0;  // 128 + signal, 0 when not interrupted
  bool noCycle = false;
  bool failed = false;
  bool serialNotFromDevice = false;  // counts only with --strict-serial
};

int ExitStatus(const RunOutcome& outcome);
