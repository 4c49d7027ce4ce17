#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>

#include "platform/interrupt.h"

namespace plat {
namespace {

std::atomic<int> g_status{0};
std::atomic<bool> g_held{false};
std::atomic<int> g_settled{-1};  // the exit status once settled
std::atomic<long long> g_firstAtMs{0};

// A wrapper such as timeout(1) sends its signal to the process and then to
// its group: the same signal twice within moments is one request.
constexpr long long kEchoMs = 500;

long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

// Async-signal-safe: atomics and clock_gettime, or _exit for a second
// interrupt.
void OnInterrupt(int sig) {
  int none = 0;
  if (g_status.compare_exchange_strong(none, 128 + sig)) {
    g_firstAtMs.store(NowMs());
    return;
  }
  if (g_held.load()) return;
  if (none == 128 + sig && NowMs() - g_firstAtMs.load() < kEchoMs) return;
  int settled = g_settled.load();
  _exit(settled >= 0 ? settled : 128 + sig);
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  // Restarted system calls keep reads and waits of the cycle whole; the
  // cycle looks at the flag itself.
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A file grown past its size limit is a failed write too.
  signal(SIGXFSZ, SIG_IGN);
}

int InterruptStatus() { return g_status.load(); }

void RaiseInterrupt() { raise(SIGINT); }

void HoldInterrupts() { g_held.store(true); }

void SettleInterrupts(int exitStatus) {
  g_settled.store(exitStatus);
  g_held.store(false);
}

void InterruptHandled(int) {}

}  // namespace plat
