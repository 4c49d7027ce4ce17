#include "sim/memories.h"

#include <algorithm>

namespace sim {
namespace {

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

}  // namespace

Memories::Memories(const Config& config, const SimTime& time)
    : config_(config), time_(time), random_(config.seed) {}

// splitmix64: the same sequence for the same seed on every platform, which a
// standard library distribution does not promise.
int64_t Memories::DrawBusyTime() {
  if (config_.busyMinUs == config_.busyMaxUs) return config_.busyMinUs;
  uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  uint64_t span = uint64_t(config_.busyMaxUs - config_.busyMinUs) + 1;
  return config_.busyMinUs + int64_t(z % span);
}

uint8_t Memories::Read(Space space, int address) const {
  if (BusyWith(space, address)) {
    if (space == Space::kFlash) return kFlashPollValue;
    return (time_.now - busyStart_) * 2 < busyUntil_ - busyStart_ ? kEepromPollFirst : kEepromPollSecond;
  }
  if (ReadsLocked()) return config_.lockRead;
  if (space == Space::kEeprom) return nv_.eeprom[address];
  uint8_t b = nv_.flash[address];
  return Contains(config_.badRead, address) ? uint8_t(b ^ 0xFF) : b;
}

uint8_t Memories::ReadSignature(int index) const {
  if (ReadsLocked()) return config_.lockRead;
  return index < 3 ? config_.signature[index] : 0xFF;
}

bool Memories::CellTakesWrites(int address) const { return !Contains(config_.failWrite, address); }

void Memories::Write(Space space, int address, uint8_t data) {
  if (WritesLocked()) return;
  if (space == Space::kFlash) {
    if (!CellTakesWrites(address)) return;
    nv_.flash[address] &= data;
  } else {
    nv_.eeprom[address] = data;
  }
  busyStart_ = time_.now;
  busyUntil_ = time_.now + DrawBusyTime();
  busySpace_ = space;
  busyAddr_ = address;
}

void Memories::BeginErase() {
  erasePending_ = true;
  eraseStart_ = time_.now;
}

void Memories::OnReset(int level) {
  if (level != 1 || !erasePending_) return;
  erasePending_ = false;
  if (time_.now - eraseStart_ < kEraseTimeUs) {
    violation.Send(1);
    return;
  }
  std::fill(nv_.flash.begin(), nv_.flash.end(), 0xFF);
  std::fill(nv_.eeprom.begin(), nv_.eeprom.end(), 0xFF);
  nv_.lb1 = nv_.lb2 = false;
  busyUntil_ = 0;
}

void Memories::WriteLockBits(uint8_t byte2) {
  if (!(byte2 & 0x02)) nv_.lb1 = true;
  if (!(byte2 & 0x04)) nv_.lb2 = true;
}

}  // namespace sim
