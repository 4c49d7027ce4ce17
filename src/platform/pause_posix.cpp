#include <sched.h>
#include <time.h>

#include <cerrno>

#include "platform/pause.h"

namespace plat {

// An absolute deadline so that a signal cannot stretch the pause.
void PauseMilliseconds(unsigned ms) {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  t.tv_sec += ms / 1000;
  t.tv_nsec += long(ms % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

void YieldProcessor() { sched_yield(); }

}  // namespace plat
