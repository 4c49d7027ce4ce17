#include "sim/device.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/clock.h"

namespace sim {
namespace {

constexpr int kFlashSize = 8192;
constexpr int kRecord = 0x1FE8;
constexpr int64_t kEnableAfterResetUs = 20000;
constexpr int64_t kEraseBusyUs = 20000;
constexpr int64_t kFirstBreakUs = 20000;
constexpr int64_t kBreakPeriodUs = 100000;
constexpr int64_t kReplyDelayUs = 300;
constexpr int64_t kByteTimeUs = 87;  // 10 bits at 115200 baud
constexpr uint8_t kPollValue = 0x7F;

// The start of a vector table: what "firmware" means to the simulated device
// that arrives with a serial number.
const uint8_t kFirmwareStub[] = {0x0C, 0x94, 0x2A, 0x00, 0x0C, 0x94, 0x34, 0x00,
                                 0x11, 0x24, 0x1F, 0xBE, 0xCF, 0xE5, 0xD2, 0xE0};

int ByteAddress(const uint8_t* frame) {
  int word = ((frame[1] & 0x0F) << 8) | frame[2];  // 12 bits: 4K words
  return word * 2 + ((frame[0] & 0x08) ? 1 : 0);
}

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

}  // namespace

SimDevice::SimDevice(const Config& config) : config_(config), flash_(kFlashSize, 0xFF), busyRandom_(config.seed) {}

int64_t SimDevice::WriteBusyUs() {
  if (config_.busyMaxUs <= config_.busyMinUs) return config_.busyMinUs;
  std::uniform_int_distribution<int64_t> pick(config_.busyMinUs, config_.busyMaxUs);
  return pick(busyRandom_);
}

SimDevice::~SimDevice() = default;

std::string SimDevice::Attach() {
  std::lock_guard<std::mutex> g(m_);
  bool fresh = true;
  if (!config_.flashPath.empty()) {
    std::ifstream in(config_.flashPath, std::ios::binary);
    if (in) {
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (bytes.size() != size_t(kFlashSize))
        return "ORVALO_SIM: flash file \"" + config_.flashPath + "\" must hold exactly 8192 bytes";
      flash_ = bytes;
      fresh = false;
    }
  }
  if (fresh && config_.hasSerial) {
    std::copy(std::begin(kFirmwareStub), std::end(kFirmwareStub), flash_.begin());
    int n = int(config_.serial.size());
    int sum = n;
    flash_[kRecord] = uint8_t(n);
    for (int i = 0; i < n; ++i) {
      flash_[kRecord + 1 + i] = uint8_t(config_.serial[i]);
      sum += uint8_t(config_.serial[i]);
    }
    flash_[kFlashSize - 1] = uint8_t(sum);
  }
  if (fresh && !config_.flashPath.empty()) {
    SaveLocked();
    std::ifstream check(config_.flashPath, std::ios::binary);
    if (!check) return "ORVALO_SIM: cannot create flash file \"" + config_.flashPath + "\"";
  }
  level_ = 1;  // powered and running when attached
  StartFirmware(plat::NowUs());
  return std::string();
}

void SimDevice::Save() {
  std::lock_guard<std::mutex> g(m_);
  SaveLocked();
}

// Written beside the target and renamed over it, so an interrupted run never
// leaves half a flash behind. std::rename does not replace an existing file on
// Windows (the flash would silently stay as it was); filesystem::rename does.
void SimDevice::SaveLocked() {
  if (config_.flashPath.empty()) return;
  std::string tmp = config_.flashPath + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out.write(reinterpret_cast<const char*>(flash_.data()), std::streamsize(flash_.size()));
    if (!out) return;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, config_.flashPath, ec);
}

bool SimDevice::Connected(const std::string& port) const { return !config_.noDevice && port == config_.port; }

void SimDevice::HostOpened(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  int idx = port == "COM1" ? 1 : 2;
  ++openCount_[idx];
  if (Connected(port)) {
    hostOpen_ = true;
    brk_ = false;  // a port opens without a break; no clock edge for the device
    rx_.clear();
  }
}

void SimDevice::HostClosed(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  if (!Connected(port)) return;
  hostOpen_ = false;
  rx_.clear();
  SaveLocked();
}

bool SimDevice::RefuseSettings(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  int idx = port == "COM1" ? 1 : 2;
  if (!config_.refuse[idx] || refused_[idx]) return false;
  refused_[idx] = true;
  return true;
}

void SimDevice::SetDtr(bool on) {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.dtr;
  dtr_ = on;
}

void SimDevice::SetRts(bool on) {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.rts;
  int64_t now = plat::NowUs();
  AdvanceLocked(now);
  bool falling = rts_ && !on;
  rts_ = on;
  if (falling) LatchLevel(now);
}

void SimDevice::LatchLevel(int64_t now) {
  if (vanished_) return;
  int level = dtr_ ? 1 : 0;
  if (level == level_) return;
  level_ = level;
  if (level == 0) {
    // Reset: the serial programming logic starts afresh and the firmware stops.
    resetUs_ = now;
    reg_ = 0xFF;
    sampled_ = 1;
    bitPos_ = 0;
    slipLeft_ = config_.slip;
    enabled_ = false;
    fwRunning_ = false;
    awaitingAnswer_ = false;
  } else {
    StartFirmware(now);
  }
}

void SimDevice::SetBreak(bool on) {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.brk;
  int64_t now = plat::NowUs();
  AdvanceLocked(now);
  bool was = brk_;
  brk_ = on;
  if (vanished_) return;
  if (was && !on) {
    if (level_ == 0) RisingEdge();
    if (level_ == 1 && awaitingAnswer_) {
      txReleased_ = true;
      ++breakPulses_;
    }
  } else if (!was && on && level_ == 0) {
    FallingEdge(now);
  }
}

void SimDevice::RisingEdge() {
  sampled_ = dtr_ ? 0 : 1;
  ++pulses_;
  dtrAtRising_.push_back(dtr_ ? 1 : 0);
}

void SimDevice::FallingEdge(int64_t now) {
  if (slipLeft_ > 0) {
    --slipLeft_;
    return;
  }
  reg_ = uint8_t((reg_ << 1) | sampled_);
  ++bitPos_;
  if (bitPos_ % 8 == 0) ByteComplete(bitPos_ / 8 - 1, reg_, now);
  if (bitPos_ == 32) {
    bitPos_ = 0;
    ++framesTaken_;
    Frame f;
    std::copy(frame_, frame_ + 4, f.bytes);
    f.timeUs = now;
    frames_.push_back(f);
    if (config_.vanish >= 0 && framesTaken_ >= uint64_t(config_.vanish)) Vanish();
  }
}

void SimDevice::ByteComplete(int index, uint8_t byte, int64_t now) {
  frame_[index] = byte;
  if (!enabled_) {
    // Out of programming mode only a Programming Enable on the device's own
    // frame boundary is recognised, and its echo is the only answer given.
    bool syncing = frame_[0] == 0xAC && index >= 1 && frame_[1] == 0x53 && now - resetUs_ >= kEnableAfterResetUs;
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
    int addr = ByteAddress(frame_);
    if (now < busyUntil_) {
      if (addr != busyAddr_) ++violations_;
      reg_ = kPollValue;
    } else if (readsLocked_) {
      reg_ = config_.lockRead;
    } else {
      reg_ = flash_[addr];
      if (Contains(config_.badRead, addr)) reg_ ^= 0xFF;
    }
  } else if (index == 2 && (op == 0x40 || op == 0x48) && Contains(config_.failWrite, ByteAddress(frame_))) {
    reg_ = uint8_t(byte ^ 0xFF);  // a cell that does not take the write answers wrongly
  } else if (index == 3) {
    Execute(now);
  }
}

void SimDevice::Execute(int64_t now) {
  uint8_t op = frame_[0];
  bool busy = now < busyUntil_;
  if (op == 0xAC) {
    uint8_t b1 = frame_[1];
    if (b1 == 0x53) return;
    if ((b1 & 0xE0) == 0x80) {
      if (busy) {
        ++violations_;
        return;
      }
      std::fill(flash_.begin(), flash_.end(), 0xFF);
      writesLocked_ = readsLocked_ = false;
      busyUntil_ = now + kEraseBusyUs;
      busyAddr_ = -1;
    } else if ((b1 & 0xE0) == 0xE0) {
      if (busy) {
        ++violations_;
        return;
      }
      bool lb1 = !(b1 & 0x02), lb2 = !(b1 & 0x04);
      if (lb1 || lb2) writesLocked_ = true;
      if (lb1 && lb2) readsLocked_ = true;
    }
  } else if (op == 0x40 || op == 0x48) {
    int addr = ByteAddress(frame_);
    if (busy) {
      ++violations_;
      return;
    }
    if (Contains(config_.failWrite, addr) || writesLocked_) return;
    flash_[addr] &= frame_[3];
    busyUntil_ = now + WriteBusyUs();
    busyAddr_ = addr;
  }
}

bool SimDevice::HasFirmware() const {
  for (int i = 0; i < kRecord; ++i)
    if (flash_[i] != 0xFF) return true;
  return false;
}

void SimDevice::StartFirmware(int64_t now) {
  fwRunning_ = !vanished_ && !config_.silent && HasFirmware();
  nextBreakUs_ = now + kFirstBreakUs;
  awaitingAnswer_ = false;
  txReleased_ = false;
  reportDone_ = false;
}

void SimDevice::AdvanceLocked(int64_t now) {
  if (vanished_) return;
  while (fwRunning_ && level_ == 1 && !reportDone_ && nextBreakUs_ <= now) {
    if (hostOpen_) rx_.push_back(RxEvent{nextBreakUs_, true, 0});
    awaitingAnswer_ = true;
    txReleased_ = false;
    nextBreakUs_ += kBreakPeriodUs;
  }
}

void SimDevice::HostTransmit(uint8_t byte) {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.tx;
  int64_t now = plat::NowUs();
  AdvanceLocked(now);
  if (vanished_) return;
  uartIn_.push_back(byte);
  if (level_ == 1 && fwRunning_ && awaitingAnswer_ && txReleased_ && byte == 0x06) SendReport(now);
}

void SimDevice::SendReport(int64_t now) {
  awaitingAnswer_ = false;
  if (config_.vanishAtReport) {
    Vanish();
    return;
  }
  std::vector<uint8_t> payload;
  int n = flash_[kRecord];
  int sum = n;
  for (int i = 0; i < n && n <= 22; ++i) sum += flash_[kRecord + 1 + i];
  if (n >= 1 && n <= 22 && uint8_t(sum) == flash_[kFlashSize - 1])
    payload.assign(flash_.begin() + kRecord + 1, flash_.begin() + kRecord + 1 + n);
  else
    payload.assign(1, 0);
  bool scripted = !scriptedSent_ && (config_.request || config_.frameLength >= 0 || config_.truncate >= 0 ||
                                     !config_.noise.empty());
  std::vector<uint8_t> bytes;
  if (scripted) {
    bytes = config_.noise;
    if (config_.request) {
      bytes.push_back(0x10);
      bytes.push_back(0x7F);
    }
    if (config_.frameLength >= 0) {
      size_t want = size_t(config_.frameLength) + 1;
      for (size_t i = payload.size(); i < want; ++i) payload.push_back(uint8_t('a' + i % 26));
      payload.resize(want);
    }
  }
  bytes.push_back(0x10);
  bytes.push_back(0xE0);
  bytes.push_back(uint8_t(payload.size() - 1));
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (scripted && config_.truncate >= 0 && size_t(config_.truncate) < bytes.size()) bytes.resize(config_.truncate);
  if (hostOpen_)
    for (size_t i = 0; i < bytes.size(); ++i)
      rx_.push_back(RxEvent{now + kReplyDelayUs + int64_t(i) * kByteTimeUs, false, bytes[i]});
  // A scripted report is sent once; the firmware then reports plainly at its
  // next break, as a device that was not understood would try again.
  if (scripted)
    scriptedSent_ = true;
  else
    reportDone_ = true;
}

void SimDevice::Vanish() {
  vanished_ = true;
  fwRunning_ = false;
  rx_.clear();
  SaveLocked();
}

bool SimDevice::Cts() {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.cts;
  if (vanished_ || level_ != 0) return false;
  return (reg_ & 0x80) == 0;  // CTS carries the answer bit inverted
}

std::vector<RxEvent> SimDevice::TakeRx(int64_t now) {
  std::lock_guard<std::mutex> g(m_);
  AdvanceLocked(now);
  std::vector<RxEvent> out;
  while (!rx_.empty() && rx_.front().timeUs <= now) {
    out.push_back(rx_.front());
    rx_.pop_front();
  }
  return out;
}

int64_t SimDevice::NextEventTime() {
  std::lock_guard<std::mutex> g(m_);
  AdvanceLocked(plat::NowUs());
  if (vanished_) return plat::kForever;
  int64_t t = plat::kForever;
  if (!rx_.empty()) t = rx_.front().timeUs;
  if (fwRunning_ && level_ == 1 && !reportDone_) t = std::min(t, nextBreakUs_);
  return t;
}

void SimDevice::CountRead() {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.reads;
}

void SimDevice::CountArm() {
  std::lock_guard<std::mutex> g(m_);
  ++counts_.arms;
}

std::vector<uint8_t> SimDevice::Flash() const {
  std::lock_guard<std::mutex> g(m_);
  return flash_;
}

void SimDevice::SetFlash(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> g(m_);
  if (bytes.size() == flash_.size()) flash_ = bytes;
}

bool SimDevice::Locked() const {
  std::lock_guard<std::mutex> g(m_);
  return writesLocked_ || readsLocked_;
}

bool SimDevice::Vanished() const {
  std::lock_guard<std::mutex> g(m_);
  return vanished_;
}

int SimDevice::ControlLevel() const {
  std::lock_guard<std::mutex> g(m_);
  return level_;
}

bool SimDevice::Dtr() const {
  std::lock_guard<std::mutex> g(m_);
  return dtr_;
}

bool SimDevice::Rts() const {
  std::lock_guard<std::mutex> g(m_);
  return rts_;
}

bool SimDevice::Break() const {
  std::lock_guard<std::mutex> g(m_);
  return brk_;
}

std::vector<Frame> SimDevice::Frames() const {
  std::lock_guard<std::mutex> g(m_);
  return frames_;
}

LineCounts SimDevice::Counts() const {
  std::lock_guard<std::mutex> g(m_);
  return counts_;
}

std::vector<int> SimDevice::DtrAtRisingEdges() const {
  std::lock_guard<std::mutex> g(m_);
  return dtrAtRising_;
}

uint64_t SimDevice::ClockPulses() const {
  std::lock_guard<std::mutex> g(m_);
  return pulses_;
}

uint64_t SimDevice::ProtocolViolations() const {
  std::lock_guard<std::mutex> g(m_);
  return violations_;
}

std::vector<uint8_t> SimDevice::UartReceived() const {
  std::lock_guard<std::mutex> g(m_);
  return uartIn_;
}

int SimDevice::BreakPulsesSeen() const {
  std::lock_guard<std::mutex> g(m_);
  return breakPulses_;
}

int SimDevice::PortOpens(const std::string& name) const {
  std::lock_guard<std::mutex> g(m_);
  return openCount_[name == "COM1" ? 1 : name == "COM2" ? 2 : 0];
}

void SimDevice::ClearRecords() {
  std::lock_guard<std::mutex> g(m_);
  frames_.clear();
  counts_ = LineCounts{};
  dtrAtRising_.clear();
  pulses_ = 0;
  violations_ = 0;
  uartIn_.clear();
  breakPulses_ = 0;
  openCount_[0] = openCount_[1] = openCount_[2] = 0;
}

}  // namespace sim
