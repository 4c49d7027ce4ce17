// Pauses, yields and timed waits, on the real clock or on a virtual one.
//
// Every pause and wait of the system goes through here. On the virtual clock
// time stands still while any participating thread is running and jumps to the
// earliest deadline once all of them wait, so a whole programming cycle runs in
// milliseconds and always the same way. Zero-length yields are counted there,
// never slept. Threads started through plat::Thread take part for their whole
// life; any other thread takes part only while it is inside one of these calls
// (or inside a ClockParticipant scope).
#pragma once

#include <cstdint>
#include <functional>

namespace plat {

constexpr int64_t kForever = INT64_MAX;

// Chosen once, before any thread uses the clock.
void UseVirtualClock(bool on);
bool IsVirtualClock();

// Microseconds since the clock started (monotonic).
int64_t NowUs();

// Sleep(0) gives up the rest of the time slice; Sleep(n) pauses n milliseconds.
void Sleep(unsigned ms);

// Sleep(ms) that ends early once stop() holds (checked like WaitUntil's
// ready, so whoever makes it true calls Notify). true when the whole pause
// passed. Observed and counted as a pause of ms.
bool SleepUnless(unsigned ms, const std::function<bool()>& stop);

// Blocks until ready() is true (checked under the clock's lock, after every
// Notify) or the clock reaches deadlineUs. Returns true when ready() held.
bool WaitUntil(int64_t deadlineUs, const std::function<bool()>& ready);

// Wakes waiters so they re-check their condition; call after changing state
// that a ready() looks at.
void Notify();

// Makes the calling thread a participant for the scope's lifetime.
class ClockParticipant {
 public:
  ClockParticipant();
  ~ClockParticipant();
  ClockParticipant(const ClockParticipant&) = delete;
  ClockParticipant& operator=(const ClockParticipant&) = delete;
};

// Figures for benchmarks and tests; reset by ResetClockStats.
struct ClockStats {
  uint64_t yields = 0;            // Sleep(0) calls
  uint64_t pauses = 0;            // Sleep(n > 0) calls
  uint64_t requestedPauseUs = 0;  // sum of n * 1000
  uint64_t actualPauseUs = 0;     // what those pauses really took
  uint64_t yieldUs = 0;           // time spent inside Sleep(0)
};
ClockStats GetClockStats();
void ResetClockStats();

// Benchmarks: called after every Sleep(n > 0) with what it really took.
using PauseObserver = void (*)(unsigned ms, int64_t actualUs);
void SetPauseObserver(PauseObserver observer);

// Tests: called on entry to every Sleep, yields included, on either clock and
// from whichever thread pauses. Null removes it.
using SleepObserver = void (*)(unsigned ms);
void SetSleepObserver(SleepObserver observer);

}  // namespace plat
