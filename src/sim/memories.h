// The controller's memories and lock bits, as the programming interface and
// the firmware see them.
//
// Flash: 8192 bytes; a byte write only clears bits. EEPROM: 512 bytes; a byte
// write replaces the byte. Either write keeps the part busy for the `busy`
// time (drawn per write from `seed` when it is a range). Meanwhile the flash
// byte being written reads 0x7F, and the EEPROM byte 0x80 in the first half
// of that time and 0x7F in the second. Chip Erase only starts the erase: it
// ends when RESET is next released, and then only if 20 ms have passed, with
// flash and EEPROM at 0xFF and the lock lifted; a release earlier than that
// leaves every memory and the lock as they were and is a violation.
// Lock bits: LB1 (or LB2) stops writes, LB1 and LB2 together also stop reads
// (flash, EEPROM and signature), which then give `lockread`. The fault knobs
// live here as cells: a flash byte that does not take writes, one that reads
// back inverted.
#pragma once

#include <cstdint>
#include <vector>

#include "part/target_part.h"
#include "sim/sim_config.h"
#include "sim/signal.h"

namespace sim {

constexpr int kFlashSize = kTargetPart.flashSize;
constexpr int kEepromSize = 512;
constexpr uint8_t kFlashPollValue = kTargetPart.flashPollValue;
constexpr uint8_t kEepromPollFirst = 0x80;
constexpr uint8_t kEepromPollSecond = 0x7F;
constexpr int64_t kEraseTimeUs = kTargetPart.eraseUs;

enum class Space { kFlash, kEeprom };

// The state the device keeps without power.
struct NonVolatile {
  std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashSize, 0xFF);
  std::vector<uint8_t> eeprom = std::vector<uint8_t>(kEepromSize, 0xFF);
  bool lb1 = false, lb2 = false;  // programmed
};

class Memories {
 public:
  Memories(const Config& config, const SimTime& time);

  NonVolatile& State() { return nv_; }
  const NonVolatile& State() const { return nv_; }
  const std::vector<uint8_t>& Flash() const { return nv_.flash; }

  // Input, connected to the cable's RESET line: a release ends an erase.
  void OnReset(int level);
  // Output: something asked of the memories that they could not honour.
  Signal<int> violation{0};

  bool Busy() const { return time_.now < busyUntil_; }
  bool BusyWith(Space space, int address) const { return Busy() && busySpace_ == space && busyAddr_ == address; }
  bool ErasePending() const { return erasePending_; }

  // Read Program Memory / Read EEPROM for a byte. During a write's busy time
  // the byte being written gives its poll value.
  uint8_t Read(Space space, int address) const;
  uint8_t ReadSignature(int index) const;
  // Whether the flash cell at address takes writes at all.
  bool CellTakesWrites(int address) const;
  void Write(Space space, int address, uint8_t data);
  void BeginErase();
  // byte2 of Write Lock Bits: bit 1 = LB1, bit 2 = LB2, 0 = program.
  void WriteLockBits(uint8_t byte2);
  bool WritesLocked() const { return nv_.lb1 || nv_.lb2; }
  bool ReadsLocked() const { return nv_.lb1 && nv_.lb2; }
  bool Locked() const { return WritesLocked(); }

 private:
  int64_t DrawBusyTime();

  const Config& config_;
  const SimTime& time_;
  NonVolatile nv_;
  uint64_t random_;
  int64_t busyStart_ = 0;
  int64_t busyUntil_ = 0;
  Space busySpace_ = Space::kFlash;
  int busyAddr_ = -1;
  bool erasePending_ = false;
  int64_t eraseStart_ = 0;
};

}  // namespace sim
