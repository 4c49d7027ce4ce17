// Threads, events and scheduling priority.
//
// Thread and event creation can be made to fail on purpose
// (thread_test_hooks.h) so the callers' failure paths can be exercised.
// Priority requests never fail visibly: whatever the platform refuses is
// silently left as it was.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace plat {

class Thread {
 public:
  // Starts fn on a new thread; nullptr when the thread cannot be created.
  static std::unique_ptr<Thread> Start(std::function<void()> fn);
  ~Thread();  // joins if still joinable

  // Waits at most ms (on the platform clock) for the thread to end.
  bool JoinFor(unsigned ms);
  void Join();
  // Gives up a thread that did not end in time: it is never joined, and the
  // handle is freed by the thread itself when it ends (at once if it has).
  static void Abandon(std::unique_ptr<Thread> thread);
  bool Finished() const { return done_.load(); }

 private:
  Thread() = default;
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::atomic<bool> done_{false};
};

// The system's reason the last Thread::Start failed.
std::string LastThreadStartError();

// Manual-reset event, created non-signalled.
class Event {
 public:
  static std::unique_ptr<Event> Create();  // nullptr on failure
  void Set();
  // true when signalled within ms (on the platform clock).
  bool Wait(unsigned ms);

 private:
  Event() = default;
  std::atomic<bool> set_{false};
};

// The calling thread becomes time-critical as far as the platform allows;
// false when every raise was refused (the timing is then the default's).
bool RaiseThreadPriorityTimeCritical();

// Process-wide timing set-up done by the front ends at start and undone at exit.
void BeginTimerResolution();
void EndTimerResolution();
void RaiseProcessPriority();
// true once a raise above was refused outright: neither a real-time policy
// nor a raised priority was permitted, so the timing is the default's.
bool PriorityRaiseRefused();
// true on the Windows 9x family, where the link's delay unit must be longer.
bool IsWin9xFamily();

// Number of plat::Thread threads currently running (for leak checks).
int RunningThreadCount();

}  // namespace plat
