#include "isp/instructions.h"

#include <algorithm>

#include "isp/bit_link.h"
#include "isp/fast_mode.h"
#include "isp/line_sink.h"
#include "isp/port.h"
#include "part/target_part.h"
#include "isp/watched_lines.h"
#include "platform/clock.h"

namespace {

// The answers nobody reads. With clocked lines they arrive once the
// instruction has gone out, so they need a place that outlives the transfer.
uint8_t g_unheard;

// One byte of a frame whose answer is not needed. The fast mode on a slow
// port does not pay a round trip for a status nobody looks at.
int Send(uint8_t out) {
  if (FastMode() && LinesAreSlow(g_hPort)) {
    SendByte(out);
    return 0;
  }
  return TransferByte(out, &g_unheard);
}

// Programming Enable attempts until the device echoes 0x53 in the third
// transfer. A failed attempt gets one extra clock pulse, so the framing slips
// by one bit per attempt and 32 attempts cover every offset of the frame.
int EnableLoop(unsigned pauseAfterFailure) {
  for (int attempt = 0; attempt < 32; ++attempt) {
    uint8_t echo = 0;
    Send(0xAC);
    DelayUnit();
    Send(0x53);
    DelayUnit();
    TransferByte(0x00, &echo);
    DelayUnit();
    Send(0x00);  // all four bytes go out whatever the echo
    if (!LineFlush()) return kNoAnswer;
    if (echo == 0x53) return 0;
    DelayUnit();
    LineBreak(false);
    DelayUnit();
    LineBreak(true);
    LinePause(pauseAfterFailure);
  }
  return kNoAnswer;
}

uint8_t AddressHigh(int address) { return uint8_t((address >> 9) & 0xFF); }
uint8_t AddressLow(int address) { return uint8_t((address >> 1) & 0xFF); }

}  // namespace

// The clock must rest low (break set) before the controller is reset into
// programming, and the device needs 20 ms after reset before it listens.
int EnterProgrammingMode() {
  StrobeControl(0);
  LineBreak(true);
  LinePause(1);
  StrobeControl(1);
  LinePause(1);
  StrobeControl(0);
  LinePause(kTargetPart.resetPauseMs);
  return EnableLoop(0);
}

// Chip Erase takes up to 20 ms and only a reset ends its cycle; the break is
// still set from the last transfer, so the clock already rests low.
int EraseChip() {
  Send(0xAC);
  DelayUnit();
  Send(0x80);
  DelayUnit();
  Send(0x00);
  DelayUnit();
  Send(0x00);
  DelayUnit();
  LinePause(kTargetPart.erasePauseMs);
  StrobeControl(1);
  LinePause(1);
  StrobeControl(0);
  LinePause(kTargetPart.resetPauseMs);
  return EnableLoop(1);
}

// An erased byte already reads 0xFF, so it is never written. The device
// echoes the third byte in the fourth transfer; the write then needs up to
// 6 ms before the next instruction (or, in fast mode, until it reads back).
int WriteFlashByte(int address, uint8_t data) {
  if (data == 0xFF) return 0;
  uint8_t echo = 0;
  int r = Send((address & 1) ? 0x48 : 0x40);
  if (r == 0) r = Send(AddressHigh(address));
  if (r == 0) r = Send(AddressLow(address));
  if (r == 0) r = TransferByte(data, &echo);
  if (r != 0) return r;
  if (!LineFlush() || echo != AddressLow(address)) return kNoAnswer;
  return AwaitByteWritten(address, data);
}

namespace {

int ReadFrame(int address, uint8_t* out) {
  int r = Send((address & 1) ? 0x28 : 0x20);
  if (r == 0) r = Send(AddressHigh(address));
  if (r == 0) r = Send(AddressLow(address));
  if (r == 0) r = TransferByte(0x00, out);
  return r;
}

// The bytes after the last one read, taken along in its transfer (fast mode
// through an adapter's chip); good while nothing else has gone out since.
struct ReadAhead {
  int from = 0, count = 0;
  uint64_t after = 0;  // ClockedStatesSoFar() once they came back
  uint8_t values[kMostReadAhead] = {};
} g_ahead;

bool TakeReadAhead(int address, uint8_t* out) {
  if (g_ahead.count == 0 || ReadAheadCount() == 0 || g_ahead.after != ClockedStatesSoFar()) return false;
  if (address < g_ahead.from || address >= g_ahead.from + g_ahead.count) return false;
  *out = g_ahead.values[address - g_ahead.from];
  return true;
}

}  // namespace

int ReadFlashByte(int address, uint8_t* out) {
  if (!out) return kReadNoBuffer;
  if (TakeReadAhead(address, out)) return 0;
  int r = ReadFrame(address, out);
  if (r != 0) return r;
  g_ahead.from = address + 1;
  g_ahead.count = std::min(ReadAheadCount(), kLastFlashAddress - address);
  for (int k = 0; k < g_ahead.count; ++k) ReadFrame(address + 1 + k, &g_ahead.values[k]);
  if (!LineFlush()) {
    g_ahead.count = 0;
    return kNoAnswer;
  }
  g_ahead.after = ClockedStatesSoFar();
  PauseAfterRead();
  return 0;
}

// No memory cell is involved, so nothing is busy afterwards and the frames
// follow back to back.
int ReadSignature(uint8_t* out) {
  if (!out) return kReadNoBuffer;
  for (uint8_t index = 0; index < 3; ++index) {
    int r = Send(0x30);
    if (r == 0) r = Send(0x00);
    if (r == 0) r = Send(index);
    if (r == 0) r = TransferByte(0x00, &out[index]);
    if (r != 0) return r;
  }
  return LineFlush() ? 0 : kNoAnswer;
}

int LockAndRun() {
  Send(0xAC);
  LinePause(0);
  Send(0xE0);
  LinePause(0);
  Send(0x00);
  LinePause(0);
  Send(0x00);
  LinePause(kTargetPart.lockPauseMs);
  StrobeControl(1);
  LineFlush();
  return 0;
}
