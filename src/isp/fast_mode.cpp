#include "isp/fast_mode.h"

#include <algorithm>
#include <atomic>

#include "isp/instructions.h"
#include "isp/line_sink.h"
#include "isp/watched_lines.h"
#include "state/shared_state.h"
#include "platform/clock.h"

namespace {
std::atomic<bool> g_fast{false};
std::atomic<bool> g_verifiedLater{false};
bool g_polling = false;  // the cycle thread's own

// Marks the polling of one write, however it ends.
struct Polling {
  Polling() { g_polling = true; }
  ~Polling() { g_polling = false; }
};
}  // namespace

void SetFastMode(bool on) { g_fast.store(on); }
bool FastMode() { return g_fast.load(); }
void SetWritesVerifiedLater(bool on) { g_verifiedLater.store(on); }

int AwaitByteWritten(int address, uint8_t data) {
  if (!FastMode()) {
    plat::Sleep(kTargetPart.writePauseMs);
    return 0;
  }
  // Through a slow adapter the next instruction's own clock pulses outlast
  // the part's longest write, so it cannot reach a busy part, and a read-back
  // costs a whole frame of round trips. With Verify to follow, the write is
  // left to it; without, one read decides, since the read's data bits go out
  // only after the part's longest write has ended: a fast cycle never reports
  // a byte it has not seen.
  if (FramesOutlastAByteWrite(g_hPort)) {
    if (g_verifiedLater.load()) return 0;
    uint8_t got = 0;
    if (ReadFlashByte(address, &got) != 0 || got != data) return kNoAnswer;
    return 0;
  }
  Polling polling;
  if (data == kPollBusyValue) {
    // Polling cannot see this write end, so the part gets the family's
    // longest write time: a 6 ms pause would let the next write reach a part
    // still busy, which drops it unnoticed when that byte is 0x7F as well.
    // The read after it still tells a dropped or wrong write (an erased cell
    // reads 0xFF) from one the part took.
    plat::Sleep(unsigned(kPollLimitUs / 1000));
    uint8_t got = 0;
    if (ReadFlashByte(address, &got) != 0 || got != data) return kNoAnswer;
    return 0;
  }
  int64_t deadline = plat::NowUs() + kPollLimitUs;
  while (true) {
    // The write has failed only when a read begun at or after the limit still
    // differs: a read begun before it says nothing about the limit when the
    // process was held up in between, and a part that ends just inside the
    // limit is still seen as done.
    int64_t readAt = plat::NowUs();
    uint8_t got = 0;
    if (ReadFlashByte(address, &got) != 0) return kNoAnswer;
    if (got == data) return 0;
    if (readAt >= deadline) return kNoAnswer;
    // A read through an adapter's chip that clocks the lines takes a USB
    // round trip, longer than the gap: the next follows it at once.
    int64_t gapFrom = g_clockedLink ? readAt : plat::NowUs();
    plat::WaitUntil(std::min(deadline, gapFrom + kPollGapUs), nullptr);
  }
}

int ReadAheadCount() { return FastMode() && g_clockedLink && !g_polling ? kMostReadAhead : 0; }

void PauseAfterRead() {
  if (!FastMode()) plat::Sleep(1);
}
