// The controller's memories as the programming interface sees them.
//
// Flash: 8192 bytes; a byte write only clears bits and keeps the part busy
// for 4 ms, during which the byte being written reads 0x7F. Chip Erase sets
// every byte to 0xFF and lifts the lock. Lock bits: LB1 stops further writes,
// LB1 and LB2 together also stop reads, which then give a fixed value. The
// fault knobs live here as cells: a byte that does not take writes, a byte
// that reads back inverted.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/sim_config.h"
#include "sim/signal.h"

namespace sim {

constexpr int kFlashSize = 8192;
constexpr uint8_t kFlashPollValue = 0x7F;

class Memories {
 public:
  Memories(const Config& config, const SimTime& time);

  std::vector<uint8_t>& Flash() { return flash_; }
  const std::vector<uint8_t>& Flash() const { return flash_; }

  bool Busy() const { return time_.now < busyUntil_; }
  int BusyAddress() const { return busyAddr_; }

  // What Read Program Memory gives for a byte when not busy.
  uint8_t ReadFlash(int address) const;
  // Whether the cell at address takes writes at all.
  bool CellTakesWrites(int address) const;
  void WriteFlash(int address, uint8_t data);
  void Erase();
  // byte2 of Write Lock Bits: bit 1 = LB1, bit 2 = LB2, 0 = program.
  void WriteLockBits(uint8_t byte2);
  bool Locked() const { return writesLocked_ || readsLocked_; }

 private:
  const Config& config_;
  const SimTime& time_;
  std::vector<uint8_t> flash_;
  bool writesLocked_ = false, readsLocked_ = false;
  int64_t busyUntil_ = 0;
  int busyAddr_ = -1;
};

}  // namespace sim
