#include "sim/programming_interface.h"

#include <algorithm>

#include "sim/cable.h"

namespace sim {
namespace {

constexpr int64_t kEnableAfterResetUs = 20000;

int FlashAddress(const uint8_t* frame) {
  int word = ((frame[1] & 0x0F) << 8) | frame[2];  // 12 bits: 4K words
  return word * 2 + ((frame[0] & 0x08) ? 1 : 0);
}

}  // namespace

ProgrammingInterface::ProgrammingInterface(const Config& config, const SimTime& time, Memories* memories)
    : config_(config), time_(time), mem_(memories) {}

void ProgrammingInterface::OnReset(int level) {
  level_ = level;
  if (level == 0) {
    // The serial programming logic starts afresh with every reset.
    resetUs_ = time_.now;
    reg_ = 0xFF;
    sampled_ = 1;
    bitPos_ = 0;
    slipLeft_ = config_.slip;
    enabled_ = false;
  }
  Drive();
}

void ProgrammingInterface::OnClock(int level) {
  if (level_ != 0 || cut_) return;
  if (level == 1)
    RisingEdge();
  else
    FallingEdge();
  Drive();
}

void ProgrammingInterface::Drive() { answer.Raise(level_ == 0 ? (reg_ >> 7) & 1 : kFloating); }

void ProgrammingInterface::RisingEdge() {
  sampled_ = data_;
  ++pulses_;
  dtrAtRising_.push_back(data_ ? 0 : 1);
}

void ProgrammingInterface::FallingEdge() {
  if (slipLeft_ > 0) {
    --slipLeft_;
    return;
  }
  reg_ = uint8_t((reg_ << 1) | sampled_);
  ++bitPos_;
  if (bitPos_ % 8 == 0) ByteComplete(bitPos_ / 8 - 1, reg_);
  if (bitPos_ == 32) {
    bitPos_ = 0;
    ++framesTaken_;
    Frame f;
    std::copy(frame_, frame_ + 4, f.bytes);
    f.timeUs = time_.now;
    frames_.push_back(f);
    if (config_.vanish >= 0 && framesTaken_ >= uint64_t(config_.vanish)) gone.Send(1);
  }
}

void ProgrammingInterface::ByteComplete(int index, uint8_t byte) {
  frame_[index] = byte;
  if (!enabled_) {
    // Out of programming mode only a Programming Enable on the device's own
    // frame boundary is recognised, and its echo is the only answer given.
    bool syncing = frame_[0] == 0xAC && index >= 1 && frame_[1] == 0x53 &&
                   time_.now - resetUs_ >= kEnableAfterResetUs;
    if (index == 1 && syncing) return;  // the register echoes 0x53 in transfer 3
    if (index == 3 && syncing) {
      enabled_ = true;
      return;
    }
    if (index != 2 || !syncing) reg_ = 0xFF;
    return;
  }
  uint8_t op = frame_[0];
  if (index == 2 && (op == 0x20 || op == 0x28)) {
    int addr = FlashAddress(frame_);
    if (mem_->Busy()) {
      if (addr != mem_->BusyAddress()) violation.Send(1);
      reg_ = kFlashPollValue;
    } else {
      reg_ = mem_->ReadFlash(addr);
    }
  } else if (index == 2 && (op == 0x40 || op == 0x48) && !mem_->CellTakesWrites(FlashAddress(frame_))) {
    reg_ = uint8_t(byte ^ 0xFF);  // a cell that does not take the write answers wrongly
  } else if (index == 3) {
    Execute();
  }
}

void ProgrammingInterface::Execute() {
  uint8_t op = frame_[0];
  bool busy = mem_->Busy();
  if (op == 0xAC) {
    uint8_t b1 = frame_[1];
    if (b1 == 0x53) return;
    if ((b1 & 0xE0) == 0x80) {
      if (busy) {
        violation.Send(1);
        return;
      }
      mem_->Erase();
    } else if ((b1 & 0xE0) == 0xE0) {
      if (busy) {
        violation.Send(1);
        return;
      }
      mem_->WriteLockBits(b1);
    }
  } else if (op == 0x40 || op == 0x48) {
    if (busy) {
      violation.Send(1);
      return;
    }
    mem_->WriteFlash(FlashAddress(frame_), frame_[3]);
  }
}

void ProgrammingInterface::ClearRecords() {
  frames_.clear();
  dtrAtRising_.clear();
  pulses_ = 0;
}

}  // namespace sim
