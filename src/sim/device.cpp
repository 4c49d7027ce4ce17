#include "sim/device.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/clock.h"

namespace sim {

SimDevice::SimDevice(const Config& config)
    : config_(config),
      memories_(config_, time_),
      programming_(config_, time_, &memories_),
      firmware_(config_, time_, &memories_) {
  cable_.reset.Connect([this](int level) { programming_.OnReset(level); });
  cable_.reset.Connect([this](int level) { firmware_.OnReset(level); });
  cable_.data.Connect([this](int level) { programming_.OnData(level); });
  cable_.clock.Connect([this](int level) { programming_.OnClock(level); });
  cable_.clock.Connect([this](int level) { firmware_.OnClock(level); });
  cable_.rxd.Connect([this](uint8_t byte) { firmware_.OnByte(byte); });
  programming_.answer.Connect([this](int level) { cable_.DriveAnswer(level); });
  firmware_.txd.Connect([this](const RxEvent& e) { cable_.Deliver(e); });
  programming_.violation.Connect([this](int) { ++violations_; });
  programming_.gone.Connect([this](int) { Vanish(); });
  firmware_.gone.Connect([this](int) { Vanish(); });
}

SimDevice::~SimDevice() = default;

std::string SimDevice::Attach() {
  std::lock_guard<std::mutex> g(m_);
  std::vector<uint8_t>& flash = memories_.Flash();
  bool fresh = true;
  if (!config_.flashPath.empty()) {
    std::ifstream in(config_.flashPath, std::ios::binary);
    if (in) {
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (bytes.size() != size_t(kFlashSize))
        return "ORVALO_SIM: flash file \"" + config_.flashPath + "\" must hold exactly 8192 bytes";
      flash = bytes;
      fresh = false;
    }
  }
  if (fresh && config_.hasSerial) LoadFactoryFirmware(config_.serial, &flash);
  if (fresh && !config_.flashPath.empty()) {
    SaveLocked();
    std::ifstream check(config_.flashPath, std::ios::binary);
    if (!check) return "ORVALO_SIM: cannot create flash file \"" + config_.flashPath + "\"";
  }
  // Powered and running when attached.
  time_.now = plat::NowUs();
  firmware_.OnReset(1);
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
  const std::vector<uint8_t>& flash = memories_.Flash();
  std::string tmp = config_.flashPath + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return;
    out.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
    if (!out) return;
  }
  std::error_code ec;
  std::filesystem::rename(tmp, config_.flashPath, ec);
}

void SimDevice::Begin(int64_t now) {
  time_.now = now;
  firmware_.Advance();
}

void SimDevice::Vanish() {
  cable_.Cut();
  programming_.Cut();
  firmware_.Cut();
  SaveLocked();
}

bool SimDevice::Connected(const std::string& port) const { return !config_.noDevice && port == config_.port; }

void SimDevice::HostOpened(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  int idx = PortIndex(port);
  if (!idx) return;
  ++openCount_[idx];
  if (Connected(port)) cable_.HostOpened();
}

void SimDevice::HostClosed(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  if (!Connected(port)) return;
  cable_.HostClosed();
  SaveLocked();
}

bool SimDevice::RefuseSettings(const std::string& port) {
  std::lock_guard<std::mutex> g(m_);
  int idx = PortIndex(port);
  if (!idx || !config_.refuse[idx] || refused_[idx]) return false;
  refused_[idx] = true;
  return true;
}

void SimDevice::SetDtr(bool on) {
  std::lock_guard<std::mutex> g(m_);
  cable_.SetDtr(on);
}

void SimDevice::SetRts(bool on) {
  std::lock_guard<std::mutex> g(m_);
  Begin(plat::NowUs());
  cable_.SetRts(on);
}

void SimDevice::SetBreak(bool on) {
  std::lock_guard<std::mutex> g(m_);
  Begin(plat::NowUs());
  cable_.SetBreak(on);
}

bool SimDevice::Cts() {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Cts();
}

void SimDevice::HostTransmit(uint8_t byte) {
  std::lock_guard<std::mutex> g(m_);
  Begin(plat::NowUs());
  cable_.Transmit(byte);
}

std::vector<RxEvent> SimDevice::TakeRx(int64_t now) {
  std::lock_guard<std::mutex> g(m_);
  Begin(now);
  return cable_.TakeRx(now);
}

int64_t SimDevice::NextEventTime() {
  std::lock_guard<std::mutex> g(m_);
  Begin(plat::NowUs());
  if (cable_.IsCut()) return plat::kForever;
  return std::min(cable_.NextRxTime(), firmware_.NextBreakTime());
}

void SimDevice::CountRead() {
  std::lock_guard<std::mutex> g(m_);
  cable_.CountRead();
}

void SimDevice::CountArm() {
  std::lock_guard<std::mutex> g(m_);
  cable_.CountArm();
}

std::vector<uint8_t> SimDevice::Flash() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.Flash();
}

void SimDevice::SetFlash(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> g(m_);
  if (bytes.size() == size_t(kFlashSize)) memories_.Flash() = bytes;
}

bool SimDevice::Locked() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.Locked();
}

bool SimDevice::Vanished() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.IsCut();
}

int SimDevice::ControlLevel() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.reset.Value();
}

bool SimDevice::Dtr() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Dtr();
}

bool SimDevice::Rts() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Rts();
}

bool SimDevice::Break() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Break();
}

std::vector<Frame> SimDevice::Frames() const {
  std::lock_guard<std::mutex> g(m_);
  return programming_.Frames();
}

LineCounts SimDevice::Counts() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Counts();
}

std::vector<int> SimDevice::DtrAtRisingEdges() const {
  std::lock_guard<std::mutex> g(m_);
  return programming_.DataAtRisingEdges();
}

uint64_t SimDevice::ClockPulses() const {
  std::lock_guard<std::mutex> g(m_);
  return programming_.Pulses();
}

uint64_t SimDevice::ProtocolViolations() const {
  std::lock_guard<std::mutex> g(m_);
  return violations_;
}

std::vector<uint8_t> SimDevice::UartReceived() const {
  std::lock_guard<std::mutex> g(m_);
  return firmware_.Received();
}

int SimDevice::BreakPulsesSeen() const {
  std::lock_guard<std::mutex> g(m_);
  return firmware_.BreakPulses();
}

int SimDevice::PortOpens(const std::string& name) const {
  std::lock_guard<std::mutex> g(m_);
  return openCount_[PortIndex(name)];
}

void SimDevice::ClearRecords() {
  std::lock_guard<std::mutex> g(m_);
  programming_.ClearRecords();
  firmware_.ClearRecords();
  cable_.ClearCounts();
  violations_ = 0;
  openCount_[0] = openCount_[1] = openCount_[2] = 0;
}

}  // namespace sim
