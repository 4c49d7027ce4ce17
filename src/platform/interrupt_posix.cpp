#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>

#include "platform/interrupt.h"

namespace plat {
namespace {

std::atomic<int> g_status{0};

// Async-signal-safe: an atomic store, or _exit for the second interrupt.
void OnInterrupt(int sig) {
  int none = 0;
  if (!g_status.compare_exchange_strong(none, 128 + sig)) _exit(128 + sig);
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
}

int InterruptStatus() { return g_status.load(); }

void InterruptHandled() {}

}  // namespace plat
