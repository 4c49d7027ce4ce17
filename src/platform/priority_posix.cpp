#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include "platform/clock.h"
#include "platform/priority_internal.h"
#include "platform/thread.h"

namespace plat {

// The cycle's 1 ms pauses must last 1 ms and its yields must come back at
// once: a real-time policy where the process may have one, a raised nice
// value otherwise, and the smallest timer slack either way.
bool RaiseCallingThread() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  sched_param p{};
  p.sched_priority = sched_get_priority_min(SCHED_FIFO) + 10;
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0 || setpriority(PRIO_PROCESS, 0, -15) == 0;
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
bool RaiseThisProcess() { return setpriority(PRIO_PROCESS, 0, -5) == 0; }

bool IsWin9xFamily() { return false; }

}  // namespace plat
