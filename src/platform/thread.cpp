#include "platform/thread.h"

#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/clock_internal.h"
#include "platform/thread_test_hooks.h"

namespace plat {
namespace {
std::atomic<int> g_failThreads{0};
std::atomic<int> g_failEvents{0};
std::atomic<int> g_running{0};

std::mutex g_errorMutex;
std::string g_lastStartError;

void SetStartError(const std::string& why) {
  std::lock_guard<std::mutex> g(g_errorMutex);
  g_lastStartError = why;
}

bool ConsumeFailure(std::atomic<int>& counter) {
  int n = counter.load();
  while (n > 0) {
    if (counter.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}
}  // namespace

struct Thread::Impl {
  std::thread t;
  std::mutex m;            // orders the end against Abandon
  bool abandoned = false;  // the thread frees its own handle when it ends
};

std::unique_ptr<Thread> Thread::Start(std::function<void()> fn) {
  if (ConsumeFailure(g_failThreads)) {
    SetStartError("thread creation made to fail for a test");
    return nullptr;
  }
  std::unique_ptr<Thread> th(new Thread());
  th->impl_.reset(new Impl());
  Thread* self = th.get();
  // Counted before the creator goes on, so virtual time cannot pass the new
  // thread by before it has started.
  ClockAddParticipant();
  ++g_running;
  try {
    th->impl_->t = std::thread([self, fn = std::move(fn)]() {
      ClockAdoptParticipant();
      fn();
      --g_running;
      bool abandoned;
      {
        std::lock_guard<std::mutex> g(self->impl_->m);
        self->done_.store(true);
        abandoned = self->impl_->abandoned;
      }
      ClockRemoveParticipant();
      Notify();
      if (abandoned) {
        self->impl_->t.detach();
        delete self;
      }
    });
  } catch (const std::system_error& e) {
    SetStartError(e.code().message());
    --g_running;
    ClockAdoptParticipant();
    ClockRemoveParticipant();
    return nullptr;
  } catch (...) {
    SetStartError("thread creation failed");
    --g_running;
    ClockAdoptParticipant();
    ClockRemoveParticipant();
    return nullptr;
  }
  return th;
}

Thread::~Thread() {
  if (impl_ && impl_->t.joinable()) impl_->t.join();
}

bool Thread::JoinFor(unsigned ms) {
  if (!WaitUntil(NowUs() + int64_t(ms) * 1000, [this] { return done_.load(); })) return false;
  if (impl_->t.joinable()) impl_->t.join();
  return true;
}

void Thread::Abandon(std::unique_ptr<Thread> thread) {
  if (!thread) return;
  {
    std::lock_guard<std::mutex> g(thread->impl_->m);
    if (!thread->done_.load()) {
      thread->impl_->abandoned = true;
      thread.release();
      return;
    }
  }
  thread.reset();
}

void Thread::Join() {
  WaitUntil(kForever, [this] { return done_.load(); });
  if (impl_->t.joinable()) impl_->t.join();
}

std::string LastThreadStartError() {
  std::lock_guard<std::mutex> g(g_errorMutex);
  return g_lastStartError;
}

void FailNextThreadStarts(int n) { g_failThreads.store(n); }
void FailNextEventCreates(int n) { g_failEvents.store(n); }
int RunningThreadCount() { return g_running.load(); }

std::unique_ptr<Event> Event::Create() {
  if (ConsumeFailure(g_failEvents)) return nullptr;
  return std::unique_ptr<Event>(new Event());
}

void Event::Set() {
  set_.store(true);
  Notify();
}

bool Event::Wait(unsigned ms) {
  return WaitUntil(NowUs() + int64_t(ms) * 1000, [this] { return set_.load(); });
}

}  // namespace plat
