// A port that hands every operation to another one: the base of the link's
// wrappers, which override only the operations they watch or change.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/serial_port.h"

class ForwardingPort : public plat::SerialPort {
 public:
  explicit ForwardingPort(std::unique_ptr<plat::SerialPort> owned) : owned_(std::move(owned)), inner_(owned_.get()) {}
  explicit ForwardingPort(plat::SerialPort* borrowed) : inner_(borrowed) {}

  bool SetupQueues(unsigned inBytes, unsigned outBytes) override { return inner_->SetupQueues(inBytes, outBytes); }
  bool ConfigureLine() override { return inner_->ConfigureLine(); }
  bool SetReadsImmediate() override { return inner_->SetReadsImmediate(); }
  bool SetDtr(bool asserted) override { return inner_->SetDtr(asserted); }
  bool SetRts(bool asserted) override { return inner_->SetRts(asserted); }
  bool SetBreak(bool on) override { return inner_->SetBreak(on); }
  bool GetCts(bool* asserted) override { return inner_->GetCts(asserted); }
  bool ArmBreakWait() override { return inner_->ArmBreakWait(); }
  int WaitBreak() override { return inner_->WaitBreak(); }
  void CancelWait() override { inner_->CancelWait(); }
  void ResetCancel() override { inner_->ResetCancel(); }
  bool TransmitChar(uint8_t byte) override { return inner_->TransmitChar(byte); }
  int Read(uint8_t* buf, int max) override { return inner_->Read(buf, max); }
  plat::ClockedLines* Clocked() override { return inner_->Clocked(); }

 protected:
  std::unique_ptr<plat::SerialPort> owned_;
  plat::SerialPort* inner_;
};
