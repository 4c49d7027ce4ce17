#include "state/stop_request.h"

#include <atomic>

#include "platform/interrupt.h"

namespace {
std::atomic<bool> g_stopRequested{false};
}  // namespace

void RequestStop() { g_stopRequested.store(true); }
void ClearStopRequest() { g_stopRequested.store(false); }
bool StopRequested() { return g_stopRequested.load() || plat::InterruptStatus() != 0; }
