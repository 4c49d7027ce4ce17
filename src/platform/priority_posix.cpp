#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/thread.h"

namespace plat {
namespace {
std::atomic<bool> g_raiseRefused{false};
}  // namespace

bool PriorityRaiseRefused() { return g_raiseRefused.load(); }

// On the real clock the cycle's 1 ms pauses must last 1 ms and its yields must
// come back at once: a real-time policy where the process may have one, a
// raised nice value otherwise, and the smallest timer slack either way. On the
// virtual clock timing is simulated and a real-time spinner would only starve
// the machine.
bool RaiseThreadPriorityTimeCritical() {
  if (IsVirtualClock()) return true;
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  sched_param p{};
  p.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0 || setpriority(PRIO_PROCESS, 0, -15) == 0) return true;
  g_raiseRefused.store(true);
  return false;
}

// Linux has no process-wide timer resolution; the slack of the calling thread
// is the nearest counterpart, and threads created later inherit it.
void BeginTimerResolution() {
  if (IsVirtualClock()) return;
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
}

void EndTimerResolution() {
  if (IsVirtualClock()) return;
  prctl(PR_SET_TIMERSLACK, 0UL, 0, 0, 0);  // back to the default
}

// No real-time policy for the calling (GUI) thread: a nice value only.
void RaiseProcessPriority() {
  if (IsVirtualClock()) return;
  if (setpriority(PRIO_PROCESS, 0, -5) != 0) g_raiseRefused.store(true);
}

bool IsWin9xFamily() { return false; }

}  // namespace plat
