// The controller's serial programming interface, alive while RESET is held.
//
// A shift register clocked by the cable's clock line: it samples the data
// line on the rising edge and shifts on the falling edge, presenting its top
// bit as the answer. Every 8 bits make a byte of a four-byte frame on the
// device's own boundaries. Out of programming mode only Programming Enable is
// recognised, 20 ms or more after the reset (earlier is a violation), and its
// echo of 0x53 is the only answer; in programming mode the register echoes
// each byte one transfer later, and reads (flash 20/28, EEPROM A0, signature
// 30) load their byte for the fourth transfer. Writes: flash 40/48, EEPROM
// C0, lock bits AC E0-FF; Chip Erase AC 80-9F. Every instruction while an
// erase waits for its reset, or while a write is busy (except a read of the
// byte being written), is a protocol violation and is not carried out; such
// a read answers 0x7F.
// Fault knobs: `slip` (clock pulses ignored after every reset) and `vanish`
// (the device is gone after so many frames).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/history.h"
#include "sim/memories.h"
#include "sim/sim.h"
#include "sim/signal.h"

namespace sim {

class ProgrammingInterface {
 public:
  ProgrammingInterface(const Config& config, const SimTime& time, Memories* memories);

  // Inputs, connected to the cable's lines.
  void OnReset(int level);
  void OnData(int level) { data_ = level; }
  void OnClock(int level);
  void Cut() { cut_ = true; }

  // Outputs.
  Signal<int> answer{-1};    // the register's top bit while in reset, else floating
  Signal<int> violation{0};  // an instruction the device could not honour
  Signal<int> gone{0};       // the frame count of `vanish` was reached

  // Records.
  void KeepHistory(bool on);
  std::vector<Frame> Frames() const { return frames_.Items(); }
  std::vector<int> DtrAtRisingEdges() const;
  uint64_t Pulses() const { return pulses_; }
  size_t HeldBytes() const { return frames_.HeldBytes() + dtrAtRising_.HeldBytes(); }
  void ClearRecords();

 private:
  void RisingEdge();
  void FallingEdge();
  void ByteComplete(int index, uint8_t byte);
  static bool IsRead(uint8_t op);
  void LoadRead();
  void Execute();
  void Drive();

  const Config& config_;
  const SimTime& time_;
  Memories* mem_;
  int level_ = 1;
  int data_ = 1;
  bool cut_ = false;
  uint8_t reg_ = 0xFF;
  int sampled_ = 1;
  int slipLeft_ = 0;
  int bitPos_ = 0;
  uint8_t frame_[4] = {0, 0, 0, 0};
  bool enabled_ = false;
  bool syncing_ = false;  // this frame began as a Programming Enable the device listens to
  int64_t resetUs_ = 0;
  uint64_t framesTaken_ = 0;
  History<Frame> frames_{1 << 16};
  History<uint8_t> dtrAtRising_{1 << 16};
  uint64_t pulses_ = 0;
};

}  // namespace sim
