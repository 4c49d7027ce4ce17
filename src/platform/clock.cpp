#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>

#include "platform/clock_internal.h"
#include "platform/pause.h"

namespace plat {
namespace {

struct Waiter {
  int64_t deadline;
  const std::function<bool()>* ready;
};

struct ClockState {
  std::mutex m;
  std::condition_variable cv;
  bool virtualTime = false;
  std::atomic<int64_t> virtualNow{0};
  int participants = 0;
  std::list<Waiter> waiters;
  std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();
  ClockStats stats;
  std::mutex statsMutex;
};

// Never destroyed: a thread abandoned at its time limit may still wake the
// clock's waiters while the process exits.
ClockState& S() {
  static ClockState* s = new ClockState;
  return *s;
}

thread_local int t_participantDepth = 0;
std::atomic<PauseObserver> g_pauseObserver{nullptr};
std::atomic<SleepObserver> g_sleepObserver{nullptr};

int64_t RealNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - S().origin)
      .count();
}

// With the lock held: when every participant waits and none of them can go on,
// time jumps to the earliest deadline.
void MaybeAdvance(ClockState& s) {
  if (!s.virtualTime || s.participants <= 0) return;
  if (static_cast<int>(s.waiters.size()) < s.participants) return;
  int64_t earliest = kForever;
  for (const Waiter& w : s.waiters) {
    if (w.ready && (*w.ready)()) {
      s.cv.notify_all();
      return;
    }
    earliest = std::min(earliest, w.deadline);
  }
  if (earliest != kForever && earliest > s.virtualNow.load()) {
    s.virtualNow.store(earliest);
    s.cv.notify_all();
  }
}

void AddStats(bool yield, uint64_t requestedUs, uint64_t actualUs) {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.statsMutex);
  if (yield) {
    ++s.stats.yields;
    s.stats.yieldUs += actualUs;
  } else {
    ++s.stats.pauses;
    s.stats.requestedPauseUs += requestedUs;
    s.stats.actualPauseUs += actualUs;
  }
}

}  // namespace

void UseVirtualClock(bool on) {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.m);
  s.virtualTime = on;
}

bool IsVirtualClock() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.m);
  return s.virtualTime;
}

int64_t NowUs() {
  ClockState& s = S();
  // virtualTime changes only before any thread uses the clock.
  return s.virtualTime ? s.virtualNow.load() : RealNowUs();
}

void Sleep(unsigned ms) {
  if (SleepObserver observer = g_sleepObserver.load()) observer(ms);
  ClockState& s = S();
  if (s.virtualTime) {
    if (ms == 0) {
      AddStats(true, 0, 0);
      return;
    }
    WaitUntil(NowUs() + int64_t(ms) * 1000, nullptr);
    AddStats(false, uint64_t(ms) * 1000, uint64_t(ms) * 1000);
    return;
  }
  int64_t t0 = RealNowUs();
  if (ms == 0)
    YieldProcessor();
  else
    PauseMilliseconds(ms);
  int64_t took = RealNowUs() - t0;
  AddStats(ms == 0, uint64_t(ms) * 1000, uint64_t(took));
  if (ms > 0)
    if (PauseObserver observer = g_pauseObserver.load()) observer(ms, took);
}

bool SleepUnless(unsigned ms, const std::function<bool()>& stop) {
  if (SleepObserver observer = g_sleepObserver.load()) observer(ms);
  int64_t t0 = NowUs();
  bool stopped = WaitUntil(t0 + int64_t(ms) * 1000, stop);
  int64_t took = NowUs() - t0;
  AddStats(false, uint64_t(ms) * 1000, uint64_t(took));
  if (!stopped && !S().virtualTime)
    if (PauseObserver observer = g_pauseObserver.load()) observer(ms, took);
  return !stopped;
}

bool WaitUntil(int64_t deadlineUs, const std::function<bool()>& ready) {
  ClockState& s = S();
  std::unique_lock<std::mutex> lock(s.m);
  const std::function<bool()>* readyFn = ready ? &ready : nullptr;
  if (!s.virtualTime) {
    auto deadline = deadlineUs == kForever ? std::chrono::steady_clock::time_point::max()
                                           : s.origin + std::chrono::microseconds(deadlineUs);
    while (true) {
      if (readyFn && (*readyFn)()) return true;
      if (deadlineUs != kForever && RealNowUs() >= deadlineUs) return false;
      if (deadlineUs == kForever)
        s.cv.wait(lock);
      else
        s.cv.wait_until(lock, deadline);
    }
  }
  bool temporary = t_participantDepth == 0;
  if (temporary) ++s.participants;
  auto it = s.waiters.insert(s.waiters.end(), Waiter{deadlineUs, readyFn});
  bool result = false;
  while (true) {
    if (readyFn && (*readyFn)()) {
      result = true;
      break;
    }
    if (s.virtualNow.load() >= deadlineUs) break;
    MaybeAdvance(s);
    if (s.virtualNow.load() >= deadlineUs) break;
    s.cv.wait(lock);
  }
  s.waiters.erase(it);
  if (temporary) {
    --s.participants;
    MaybeAdvance(s);
  }
  return result;
}

void Notify() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.m);
  s.cv.notify_all();
}

void ClockAddParticipant() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.m);
  ++s.participants;
}

void ClockRemoveParticipant() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.m);
  --s.participants;
  --t_participantDepth;
  MaybeAdvance(s);
}

void ClockAdoptParticipant() { ++t_participantDepth; }

ClockParticipant::ClockParticipant() {
  ClockAddParticipant();
  ClockAdoptParticipant();
}

ClockParticipant::~ClockParticipant() { ClockRemoveParticipant(); }

ClockStats GetClockStats() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.statsMutex);
  return s.stats;
}

void SetPauseObserver(PauseObserver observer) { g_pauseObserver.store(observer); }
void SetSleepObserver(SleepObserver observer) { g_sleepObserver.store(observer); }

void ResetClockStats() {
  ClockState& s = S();
  std::lock_guard<std::mutex> g(s.statsMutex);
  s.stats = ClockStats{};
}

}  // namespace plat
