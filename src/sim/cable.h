// The programming cable between the host's serial port and the device.
//
// DTR is the data line (the device sees it inverted) and the level latched
// into the controller's RESET pin when RTS returns to asserted at the end of
// a strobe: 0 holds the controller in reset, 1 lets it run. The transmit line is the programming
// clock (break cleared = clock high) and the firmware's receive line. CTS
// carries the programming interface's answer bit inverted, and is never
// asserted while nothing drives it. What the firmware sends reaches the host
// only while its port is open. Once cut (the device is gone) the cable still
// counts the host's line operations but carries nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "sim/history.h"
#include "sim/sim.h"
#include "sim/signal.h"

namespace sim {

// What the device sends to the host's receive line.
struct RxEvent {
  int64_t timeUs;
  bool isBreak;
  uint8_t byte;
};

// The answer line's value while no part drives it.
constexpr int kFloating = -1;

class Cable {
 public:
  // The host's side.
  void HostOpened();  // a port opens without a break: no clock edge
  void HostClosed();
  void SetDtr(bool on);
  void SetRts(bool on);
  void SetBreak(bool on);
  void Transmit(uint8_t byte);
  bool Cts();
  bool CtsUncounted() const { return !cut_ && answer_ == 0; }
  std::vector<RxEvent> TakeRx(int64_t now);
  int64_t NextRxTime() const;  // plat::kForever when nothing is queued
  void Cut();

  bool Dtr() const { return dtr_; }
  bool Rts() const { return rts_; }
  bool Break() const { return brk_; }
  bool IsCut() const { return cut_; }
  const LineCounts& Counts() const { return counts_; }
  void ClearCounts() {
    counts_ = LineCounts{};
    levels_.Clear();
  }
  // The host's lines after each change (kept only on request), as
  // Device::LineLevels.
  void KeepLevels(bool on) { levels_.Keep(on); }
  std::vector<uint8_t> Levels() const { return levels_.Items(); }
  size_t HeldBytes() const { return rx_.size() * sizeof(RxEvent) + levels_.HeldBytes(); }

  // Lines towards the device.
  Signal<int> reset{1};    // the latched level
  Signal<int> data{1};     // DTR as the device sees it (inverted)
  Signal<int> clock{1};    // transmit line: 1 = mark (clock high), 0 = break
  Signal<uint8_t> rxd{0};  // each byte the host transmits

  // Lines from the device.
  void DriveAnswer(int level) { answer_ = level; }
  void Deliver(const RxEvent& e);

 private:
  bool dtr_ = false, rts_ = false, brk_ = false;
  bool hostOpen_ = false;
  bool cut_ = false;
  int answer_ = kFloating;
  void NoteLevels();
  History<uint8_t> levels_{1 << 16};
  std::deque<RxEvent> rx_;
  LineCounts counts_;
};

}  // namespace sim
