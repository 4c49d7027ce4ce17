#include "sim/memories.h"

#include <algorithm>

namespace sim {
namespace {

constexpr int64_t kWriteBusyUs = 4000;
constexpr int64_t kEraseBusyUs = 20000;

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

}  // namespace

Memories::Memories(const Config& config, const SimTime& time)
    : config_(config), time_(time), flash_(kFlashSize, 0xFF) {}

uint8_t Memories::ReadFlash(int address) const {
  if (readsLocked_) return config_.lockRead;
  uint8_t b = flash_[address];
  return Contains(config_.badRead, address) ? uint8_t(b ^ 0xFF) : b;
}

bool Memories::CellTakesWrites(int address) const { return !Contains(config_.failWrite, address); }

void Memories::WriteFlash(int address, uint8_t data) {
  if (!CellTakesWrites(address) || writesLocked_) return;
  flash_[address] &= data;
  busyUntil_ = time_.now + kWriteBusyUs;
  busyAddr_ = address;
}

void Memories::Erase() {
  std::fill(flash_.begin(), flash_.end(), 0xFF);
  writesLocked_ = readsLocked_ = false;
  busyUntil_ = time_.now + kEraseBusyUs;
  busyAddr_ = -1;
}

void Memories::WriteLockBits(uint8_t byte2) {
  bool lb1 = !(byte2 & 0x02), lb2 = !(byte2 & 0x04);
  if (lb1 || lb2) writesLocked_ = true;
  if (lb1 && lb2) readsLocked_ = true;
}

}  // namespace sim
