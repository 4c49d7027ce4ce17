#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/pause.h"

namespace plat {
namespace {

constexpr long kNsPerSec = 1000000000L;
constexpr long kMarginMinNs = 20000;    // never sleep closer to the deadline
constexpr long kMarginMaxNs = 1000000;  // a spike never turns a pause into a spin
constexpr long kMarginSlackNs = 10000;  // above the latest late wake-up seen

// How long before its deadline a sleep must end, learned from the wake-ups
// seen: a late wake-up raises it at once, every timely one lowers it a
// little, so it follows the machine's wake-up latency without keeping a
// single spike for ever. Shared by all threads: they run on the same
// scheduler.
std::atomic<long> g_marginNs{100000};

long Diff(const timespec& a, const timespec& b) {
  return (a.tv_sec - b.tv_sec) * kNsPerSec + (a.tv_nsec - b.tv_nsec);
}

timespec Add(timespec t, long ns) {
  t.tv_sec += ns / kNsPerSec;
  t.tv_nsec += ns % kNsPerSec;
  if (t.tv_nsec >= kNsPerSec) {
    t.tv_sec += 1;
    t.tv_nsec -= kNsPerSec;
  } else if (t.tv_nsec < 0) {
    t.tv_sec -= 1;
    t.tv_nsec += kNsPerSec;
  }
  return t;
}

}  // namespace

// Sleeps to shortly before an absolute deadline (so a signal cannot stretch
// the pause), then gives the processor away until the deadline: the sleep
// alone ends tens of microseconds late, the yields end within a few.
void PauseMilliseconds(unsigned ms) {
  timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  timespec deadline = Add(start, long(ms) * 1000000L);
  long margin = g_marginNs.load(std::memory_order_relaxed);
  if (Diff(deadline, start) > margin) {
    timespec wake = Add(deadline, -margin);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
    }
    clock_gettime(CLOCK_MONOTONIC, &now);
    long late = Diff(now, wake);
    long next = late + kMarginSlackNs > margin ? late + kMarginSlackNs : margin - margin / 32;
    g_marginNs.store(std::clamp(next, kMarginMinNs, kMarginMaxNs), std::memory_order_relaxed);
  }
  do {
    sched_yield();
    clock_gettime(CLOCK_MONOTONIC, &now);
  } while (Diff(deadline, now) > 0);
}

void YieldProcessor() { sched_yield(); }

}  // namespace plat
