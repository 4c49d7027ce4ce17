#include "isp/bit_link.h"

#include "isp/line_sink.h"
#include "isp/port.h"
#include "platform/clock.h"
#include "platform/thread.h"

// The link has no clock of its own: a delay unit is as long as the yields it
// is made of, so its length follows the scheduler, not a timer.
void DelayUnit() {
  if (g_clockedLink) return clocked::Hold();
  plat::Sleep(0);
  for (uint8_t i = 0; i < g_delayCount; ++i) plat::Sleep(0);
}

// The cable latches DTR into the device's control input on the RTS strobe, so
// the level must be on DTR before RTS drops.
void StrobeControl(uint8_t level) {
  LineDtr(level != 0);
  LineRts(true);
  LinePause(1);
  LineRts(false);
  LinePause(1);
  LineRts(true);
}

namespace {

// The device's answer bit is sampled before the next data bit goes out and
// before that bit's clock pulse: it is what the device presented after the
// previous pulse. Without in, no answer is sampled; the delay unit before the
// data change stays, as the clock's rest time between two pulses.
void ClockOut(uint8_t out, uint8_t* in) {
  for (int bit = 0; bit < 8; ++bit) {
    DelayUnit();
    if (in) LineAnswerBit(in, uint8_t(0x80 >> bit));
    LineDtr((out & 0x80) == 0);
    out = uint8_t(out << 1);
    LineBreak(false);
    DelayUnit();
    LineBreak(true);
  }
}

}  // namespace

int TransferByte(uint8_t out, uint8_t* in) {
  if (!in) return kTransferNoBuffer;
  *in = 0;
  ClockOut(out, in);
  return 0;
}

void SendByte(uint8_t out) { ClockOut(out, nullptr); }

void CalibrateDelay() {
  if (plat::IsWin9xFamily()) g_delayCount = 7;
}
