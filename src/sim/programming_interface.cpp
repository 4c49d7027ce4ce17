#include "sim/programming_interface.h"

#include <algorithm>

#include "part/target_part.h"
#include "platform/interrupt.h"
#include "sim/cable.h"

namespace sim {
namespace {

constexpr int64_t kEnableAfterResetUs = kTargetPart.enableAfterResetUs;

int FlashAddress(const uint8_t* frame) {
  int word = ((frame[1] & 0x0F) << 8) | frame[2];  // 12 bits: 4K words
  return word * 2 + ((frame[0] & 0x08) ? 1 : 0);
}

int EepromAddress(const uint8_t* frame) { return ((frame[1] & 0x01) << 8) | frame[2]; }  // 9 bits: 512 bytes

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
    syncing_ = false;
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
  dtrAtRising_.Add(data_ ? 0 : 1);
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
    frames_.Add(f);
    if (config_.vanish >= 0 && framesTaken_ >= uint64_t(config_.vanish)) gone.Send(1);
    if (config_.interrupt >= 0 && framesTaken_ == uint64_t(config_.interrupt)) plat::RaiseInterrupt();
  }
}

void ProgrammingInterface::ByteComplete(int index, uint8_t byte) {
  frame_[index] = byte;
  if (!enabled_) {
    // Out of programming mode only a Programming Enable on the device's own
    // frame boundary is recognised, and its echo is the only answer given.
    // The device listens 20 ms after the reset at the earliest; an enable
    // before that is not recognised and is a violation.
    if (index == 1) {
      syncing_ = frame_[0] == 0xAC && frame_[1] == 0x53;
      if (syncing_ && time_.now - resetUs_ < kEnableAfterResetUs) {
        syncing_ = false;
        violation.Send(1);
      }
    }
    if (index == 1 && syncing_) return;  // the register echoes 0x53 in transfer 3
    if (index == 3 && syncing_) {
      enabled_ = true;
      return;
    }
    if (index != 2 || !syncing_) reg_ = 0xFF;
    return;
  }
  uint8_t op = frame_[0];
  if (index == 2 && IsRead(op)) {
    LoadRead();
  } else if (index == 2 && (op == 0x40 || op == 0x48) && !mem_->CellTakesWrites(FlashAddress(frame_))) {
    reg_ = uint8_t(byte ^ 0xFF);  // a cell that does not take the write answers wrongly
  } else if (index == 3) {
    Execute();
  }
}

bool ProgrammingInterface::IsRead(uint8_t op) { return op == 0x20 || op == 0x28 || op == 0xA0 || op == 0x30; }

// A read loads its byte for the fourth transfer. While an erase waits for its
// reset, or a write is busy, only a read of the byte being written is
// carried out.
void ProgrammingInterface::LoadRead() {
  uint8_t op = frame_[0];
  Space space = op == 0xA0 ? Space::kEeprom : Space::kFlash;
  int addr = op == 0xA0 ? EepromAddress(frame_) : FlashAddress(frame_);
  if (mem_->ErasePending()) {
    violation.Send(1);
    return;
  }
  if (mem_->Busy()) {
    if (op != 0x30 && mem_->BusyWith(space, addr)) {
      reg_ = mem_->Read(space, addr);
    } else {
      violation.Send(1);
      reg_ = kFlashPollValue;
    }
    return;
  }
  reg_ = op == 0x30 ? mem_->ReadSignature(frame_[2] & 0x03) : mem_->Read(space, addr);
}

void ProgrammingInterface::Execute() {
  uint8_t op = frame_[0];
  if (IsRead(op)) return;
  if (mem_->ErasePending() || mem_->Busy()) {
    violation.Send(1);
    return;
  }
  if (op == 0xAC) {
    uint8_t b1 = frame_[1];
    if ((b1 & 0xE0) == 0x80)
      mem_->BeginErase();
    else if ((b1 & 0xE0) == 0xE0)
      mem_->WriteLockBits(b1);
  } else if (op == 0x40 || op == 0x48) {
    mem_->Write(Space::kFlash, FlashAddress(frame_), frame_[3]);
  } else if (op == 0xC0) {
    mem_->Write(Space::kEeprom, EepromAddress(frame_), frame_[3]);
  }
}

void ProgrammingInterface::KeepHistory(bool on) {
  frames_.Keep(on);
  dtrAtRising_.Keep(on);
}

std::vector<int> ProgrammingInterface::DtrAtRisingEdges() const {
  std::vector<uint8_t> levels = dtrAtRising_.Items();
  return std::vector<int>(levels.begin(), levels.end());
}

void ProgrammingInterface::ClearRecords() {
  frames_.Clear();
  dtrAtRising_.Clear();
  pulses_ = 0;
}

}  // namespace sim
