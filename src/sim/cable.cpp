#include "sim/cable.h"

#include "platform/clock.h"

namespace sim {

void Cable::HostOpened() {
  hostOpen_ = true;
  brk_ = false;
  if (!cut_) clock.Preset(1);
  rx_.clear();
}

void Cable::HostClosed() {
  hostOpen_ = false;
  rx_.clear();
}

void Cable::NoteLevels() { levels_.Add(uint8_t((dtr_ ? 1 : 0) | (rts_ ? 2 : 0) | (brk_ ? 4 : 0))); }

void Cable::SetDtr(bool on) {
  ++counts_.dtr;
  if (dtr_ != on) {
    dtr_ = on;
    NoteLevels();
  }
  if (!cut_) data.Raise(on ? 0 : 1);
}

// The level on DTR is latched when RTS returns to asserted at the end of a
// strobe; a level already latched is no edge for the controller. A port that
// closes (DTR, then RTS dropped) therefore leaves the device as the host last
// set it: running after a cycle, and running its firmware after a cycle that
// ended before the erase.
void Cable::SetRts(bool on) {
  ++counts_.rts;
  bool rising = !rts_ && on;
  if (rts_ != on) {
    rts_ = on;
    NoteLevels();
  }
  if (rising && !cut_) reset.Raise(dtr_ ? 1 : 0);
}

void Cable::SetBreak(bool on) {
  ++counts_.brk;
  if (brk_ != on) {
    brk_ = on;
    NoteLevels();
  }
  if (!cut_) clock.Raise(on ? 0 : 1);
}

void Cable::Transmit(uint8_t byte) {
  if (!cut_) rxd.Send(byte);
}

bool Cable::Cts() {
  ++counts_.cts;
  return !cut_ && answer_ == 0;
}

void Cable::Deliver(const RxEvent& e) {
  if (hostOpen_ && !cut_) rx_.push_back(e);
}

std::vector<RxEvent> Cable::TakeRx(int64_t now) {
  std::vector<RxEvent> out;
  while (!rx_.empty() && rx_.front().timeUs <= now) {
    out.push_back(rx_.front());
    rx_.pop_front();
  }
  return out;
}

int64_t Cable::NextRxTime() const { return rx_.empty() ? plat::kForever : rx_.front().timeUs; }

void Cable::Cut() {
  cut_ = true;
  rx_.clear();
}

}  // namespace sim
