// One press of Start: probe COM1 then COM2, read the device's serial number,
// erase, program, verify if asked, write the serial-number record back, lock
// and run. Every stage and the outcome reach the status line through the
// dialog's operations.
#pragma once

#include <memory>

#include "state/dialog_ops.h"
#include "platform/thread.h"

// Handle of the last cycle thread.
extern std::unique_ptr<plat::Thread> g_cycleThread;

// The final text of a cycle that succeeded.
extern const char kCycleSucceededText[];  // "Programming Completed Successfully."

// How the last cycle ended: kNone before the first one ends (and while one
// runs), then whether it reached the final lock with everything written.
enum class CycleOutcome { kNone, kSucceeded, kFailed };
CycleOutcome LastCycleOutcome();

constexpr int kCycleNoDialog = -2;

// The cycle itself; kCycleNoDialog without a dialog, otherwise 0 after a
// cycle (its outcome in LastCycleOutcome).
int ProgrammingCycle(DialogOps* dialog);

// The Start button's handler: runs ProgrammingCycle on a new thread. A press
// while a cycle is running is ignored. "Egnition failed." when the thread
// cannot be created.
void OnStart(DialogOps* dialog);

// Waits for the last cycle thread to end and releases it (front ends at exit,
// tests after a cycle).
void JoinCycleThread();
