// Interrupts of the process by its operator or its session: SIGINT, SIGTERM
// and SIGHUP on POSIX; Ctrl+C, Ctrl+Break and closing the console on Windows.
// The first one is only recorded, so that the cycle can stop at its next
// instruction boundary and clean up; a second one ends the process at once.
// Broken-pipe and file-size signals are ignored, so writing to a closed pipe
// or past a size limit shows up as a failed write instead of killing the
// process.
#pragma once

namespace plat {

// Once, early in a program that wants this handling.
void InstallInterruptHandlers();
// 0 until the first interrupt, then the status an interrupted run exits with:
// 128 + the signal's number (130 for the Windows console events).
int InterruptStatus();
// Interrupts the process as its operator would (a test's stand-in for them).
void RaiseInterrupt();
// From now on a further interrupt is only recorded: the cycle has ended and
// what it did is being recorded, which ending at once would lose.
void HoldInterrupts();
// What the cycle did is recorded and the program will exit with exitStatus:
// what is left (notes on standard error, the operator's reader) may wait on
// a reader that never comes, so a further interrupt ends the program at once,
// with that status.
void SettleInterrupts(int exitStatus);
// The program has done its clean-up and is about to exit with exitStatus: a
// console that is being closed waits for this before the system ends the
// process, which then ends with that status (a cycle that completed despite
// the close still exits 0).
void InterruptHandled(int exitStatus);

}  // namespace plat
