#include "isp/clocked_port.h"

#include "platform/clocked_lines.h"

// A port opens without a break, with DTR and RTS asserted once configured.
ClockedPort::ClockedPort(std::unique_ptr<plat::SerialPort> inner)
    : ForwardingPort(std::move(inner)), pins_(plat::kPinTxd | plat::kPinRts | plat::kPinDtr) {}

void ClockedPort::Level(uint8_t pin, bool low) {
  uint8_t p = pins_.load();
  pins_.store(low ? uint8_t(p & ~pin) : uint8_t(p | pin));
}

bool ClockedPort::ConfigureLine() {
  if (!inner_->ConfigureLine()) return false;
  Level(plat::kPinDtr, true);
  Level(plat::kPinRts, true);
  return true;
}

bool ClockedPort::SetDtr(bool asserted) {
  Level(plat::kPinDtr, asserted);
  return inner_->SetDtr(asserted);
}

bool ClockedPort::SetRts(bool asserted) {
  Level(plat::kPinRts, asserted);
  return inner_->SetRts(asserted);
}

bool ClockedPort::SetBreak(bool on) {
  Level(plat::kPinTxd, on);
  return inner_->SetBreak(on);
}
