// A port whose adapter can clock its lines, as the link holds it: every
// operation goes to the adapter unchanged, and the levels of DTR, RTS and the
// break are remembered, whether set one by one (as the serial-number
// exchange does) or clocked, so that clocking can resume from exactly the
// levels on the lines. Ports without such an adapter are not wrapped.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/serial_port.h"

class ClockedPort : public plat::SerialPort {
 public:
  explicit ClockedPort(std::unique_ptr<plat::SerialPort> inner);

  // The driven pins (clocked_lines.h) as the lines stand now.
  uint8_t Pins() const { return pins_.load(); }
  void SetPins(uint8_t pins) { pins_.store(pins); }

  bool SetupQueues(unsigned inBytes, unsigned outBytes) override { return inner_->SetupQueues(inBytes, outBytes); }
  bool ConfigureLine() override;
  bool SetReadsImmediate() override { return inner_->SetReadsImmediate(); }
  bool SetDtr(bool asserted) override;
  bool SetRts(bool asserted) override;
  bool SetBreak(bool on) override;
  bool GetCts(bool* asserted) override { return inner_->GetCts(asserted); }
  bool ArmBreakWait() override { return inner_->ArmBreakWait(); }
  int WaitBreak() override { return inner_->WaitBreak(); }
  void CancelWait() override { inner_->CancelWait(); }
  void ResetCancel() override { inner_->ResetCancel(); }
  bool TransmitChar(uint8_t byte) override { return inner_->TransmitChar(byte); }
  int Read(uint8_t* buf, int max) override { return inner_->Read(buf, max); }
  plat::ClockedLines* Clocked() override { return inner_->Clocked(); }

 private:
  void Level(uint8_t pin, bool low);
  std::unique_ptr<plat::SerialPort> inner_;
  // Written by the listener thread during the serial-number exchange, read by
  // the cycle thread once it has ended.
  std::atomic<uint8_t> pins_;
};
