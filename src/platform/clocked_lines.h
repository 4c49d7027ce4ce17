// A port whose adapter can clock the control lines itself: an FTDI chip in
// synchronous bit-bang mode, whose eight UART pins become a byte-wide port.
// Each state written goes out at the chip's clock and comes back as one
// sample of all pins, so a whole instruction costs one USB round trip instead
// of one per line operation.
//
// Levels are the pins' TTL levels: the adapter's transceiver inverts them, so
// a line the system calls asserted (DTR, RTS, CTS) or a break set is 0 here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

constexpr uint8_t kPinTxd = 0x01;  // D0: low while a break is set
constexpr uint8_t kPinRxd = 0x02;  // D1
constexpr uint8_t kPinRts = 0x04;  // D2: low while RTS is asserted
constexpr uint8_t kPinCts = 0x08;  // D3: low while CTS is asserted
constexpr uint8_t kPinDtr = 0x10;  // D4: low while DTR is asserted
// The pins the link drives; every other pin stays an input.
constexpr uint8_t kDrivenPins = kPinTxd | kPinRts | kPinDtr;

class ClockedLines {
 public:
  virtual ~ClockedLines() = default;
  // Switches to the clocked mode. The driven pins keep the levels the UART
  // mode left on the lines, so the device's reset latch sees no edge.
  virtual bool Enter() = 0;
  // Puts states[0..n) on the driven pins, one per clock, and fills samples[i]
  // with the pins as read for states[i]. false when the adapter failed.
  virtual bool Clock(const uint8_t* states, size_t n, uint8_t* samples) = 0;
  // Back to the UART (115200 8N1) with the lines at the last clocked levels.
  virtual bool Leave() = 0;
  // States per second while clocked.
  virtual unsigned Rate() const = 0;
};

// Whether a port that can clock its lines is used that way (on unless the
// operator turned it off).
void AllowClockedLines(bool allowed);
bool ClockedLinesAllowed();

}  // namespace plat
