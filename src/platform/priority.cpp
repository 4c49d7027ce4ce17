#include <atomic>

#include "platform/clock.h"
#include "platform/priority_internal.h"
#include "platform/thread.h"

namespace plat {
namespace {
std::atomic<bool> g_raiseRefused{false};
}  // namespace

bool PriorityRaiseRefused() { return g_raiseRefused.load(); }

// On the virtual clock timing is simulated: a time-critical or real-time
// thread would only starve the machine running the tests.
bool RaiseThreadPriorityTimeCritical() {
  if (IsVirtualClock()) return true;
  if (RaiseCallingThread()) return true;
  g_raiseRefused.store(true);
  return false;
}

void RaiseProcessPriority() {
  if (IsVirtualClock()) return;
  if (!RaiseThisProcess()) g_raiseRefused.store(true);
}

}  // namespace plat
