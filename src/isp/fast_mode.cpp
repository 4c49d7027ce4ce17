#include "isp/fast_mode.h"

#include <algorithm>
#include <atomic>

#include "isp/instructions.h"
#include "platform/clock.h"

namespace {
std::atomic<bool> g_fast{false};
}  // namespace

void SetFastMode(bool on) { g_fast.store(on); }
bool FastMode() { return g_fast.load(); }

int AwaitByteWritten(int address, uint8_t data) {
  if (!FastMode() || data == kPollBusyValue) {
    plat::Sleep(6);
    return 0;
  }
  int64_t deadline = plat::NowUs() + kPollLimitUs;
  while (true) {
    uint8_t got = 0;
    if (ReadFlashByte(address, &got) != 0) return kNoAnswer;
    if (got == data) return 0;
    // The last read is made at or after the limit, so a slow part that ends
    // just inside it is still seen as done.
    int64_t now = plat::NowUs();
    if (now >= deadline) return kNoAnswer;
    plat::WaitUntil(std::min(deadline, now + kPollGapUs), nullptr);
  }
}

void PauseAfterRead() {
  if (!FastMode()) plat::Sleep(1);
}
