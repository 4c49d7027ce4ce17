// The controller's serial programming interface, alive while RESET is held.
//
// A shift register clocked by the cable's clock line: it samples the data
// line on the rising edge and shifts on the falling edge, presenting its top
// bit as the answer. Every 8 bits make a byte of a four-byte frame on the
// device's own boundaries. Out of programming mode only Programming Enable is
// recognised, 20 ms or more after the reset, and its echo of 0x53 is the only
// answer; in programming mode the register echoes each byte one transfer
// later, and reads load the memory's byte for the fourth transfer. Instructions
// that arrive while the memory is busy are protocol violations and are not
// carried out (a read of the byte being written gives the poll value).
// Fault knobs: `slip` (clock pulses ignored after every reset) and `vanish`
// (the device is gone after so many frames).
#pragma once

#include <cstdint>
#include <vector>

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
  const std::vector<Frame>& Frames() const { return frames_; }
  const std::vector<int>& DataAtRisingEdges() const { return dtrAtRising_; }
  uint64_t Pulses() const { return pulses_; }
  void ClearRecords();

 private:
  void RisingEdge();
  void FallingEdge();
  void ByteComplete(int index, uint8_t byte);
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
  int64_t resetUs_ = 0;
  uint64_t framesTaken_ = 0;
  std::vector<Frame> frames_;
  std::vector<int> dtrAtRising_;
  uint64_t pulses_ = 0;
};

}  // namespace sim
