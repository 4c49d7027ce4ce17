// A port whose adapter can clock its lines, as the link holds it: every
// operation goes to the adapter unchanged, and the levels of DTR, RTS and the
// break are remembered, whether set one by one (as the serial-number
// exchange does) or clocked, so that clocking can resume from exactly the
// levels on the lines. Ports without such an adapter are not wrapped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "isp/forwarding_port.h"

class ClockedPort : public ForwardingPort {
 public:
  explicit ClockedPort(std::unique_ptr<plat::SerialPort> inner);

  // The driven pins (clocked_lines.h) as the lines stand now.
  uint8_t Pins() const { return pins_.load(); }
  void SetPins(uint8_t pins) { pins_.store(pins); }

  bool ConfigureLine() override;
  bool SetDtr(bool asserted) override;
  bool SetRts(bool asserted) override;
  bool SetBreak(bool on) override;

 private:
  void Level(uint8_t pin, bool low);
  // Written by the listener thread during the serial-number exchange, read by
  // the cycle thread once it has ended.
  std::atomic<uint8_t> pins_;
};
