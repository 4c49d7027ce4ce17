#include "sim/device.h"

#include <algorithm>
#include <cstdio>

#include "sim/device_file.h"

#include "platform/clocked_lines.h"

#include "platform/clock.h"

namespace sim {

SimDevice::SimDevice(const Config& config)
    : config_(config),
      memories_(config_, time_),
      programming_(config_, time_, &memories_),
      firmware_(config_, time_, &memories_) {
  // An erase ends on RESET's release before the firmware looks at the flash.
  cable_.reset.Connect([this](int level) { memories_.OnReset(level); });
  cable_.reset.Connect([this](int level) { programming_.OnReset(level); });
  cable_.reset.Connect([this](int level) { firmware_.OnReset(level); });
  cable_.data.Connect([this](int level) { programming_.OnData(level); });
  cable_.clock.Connect([this](int level) { programming_.OnClock(level); });
  cable_.clock.Connect([this](int level) { firmware_.OnClock(level); });
  cable_.rxd.Connect([this](uint8_t byte) { firmware_.OnByte(byte); });
  programming_.answer.Connect([this](int level) { cable_.DriveAnswer(level); });
  firmware_.txd.Connect([this](const RxEvent& e) { cable_.Deliver(e); });
  programming_.violation.Connect([this](int) { ++violations_; });
  memories_.violation.Connect([this](int) { ++violations_; });
  programming_.gone.Connect([this](int) { Vanish(); });
  firmware_.gone.Connect([this](int) { Vanish(); });
}

SimDevice::~SimDevice() = default;

std::string SimDevice::Attach() {
  std::lock_guard<std::mutex> g(m_);
  bool exists = false;
  if (!config_.flashPath.empty()) {
    std::string err = LoadDeviceFile(config_.flashPath, &memories_.State(), &exists);
    if (!err.empty()) return err;
  }
  kept_ = exists;
  if (!exists && config_.hasSerial) LoadFactoryFirmware(config_.serial, &memories_.State().flash);
  // Powered and running when attached.
  time_.now = plat::NowUs();
  firmware_.OnReset(1);
  if (config_.vanish == 0) Vanish();
  return std::string();
}

void SimDevice::Save() {
  std::lock_guard<std::mutex> g(m_);
  SaveLocked();
}

// The device file is made only once a host has opened a port, so a run that
// ends before that (a missing firmware file, say) leaves nothing behind.
void SimDevice::SaveLocked() {
  if (config_.flashPath.empty() || !kept_) return;
  if (!SaveDeviceFile(config_.flashPath, memories_.State()) && !saveFailed_) {
    saveFailed_ = true;
    std::fprintf(stderr, "ORVALO_SIM: cannot write the device file \"%s\"\n", config_.flashPath.c_str());
  }
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
  if (!kept_) {
    kept_ = true;
    SaveLocked();
  }
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

// The pins the chip does not drive read high; a line changes only when its
// level does, in the order DTR, break, RTS, so that a state that raised RTS
// together with a new DTR would latch the new level.
uint8_t SimDevice::ClockState(uint8_t state, int64_t at) {
  std::lock_guard<std::mutex> g(m_);
  Begin(at);
  uint8_t sample = uint8_t(~plat::kDrivenPins);
  if (!cable_.Dtr()) sample |= plat::kPinDtr;
  if (!cable_.Rts()) sample |= plat::kPinRts;
  if (!cable_.Break()) sample |= plat::kPinTxd;
  if (cable_.CtsUncounted()) sample = uint8_t(sample & ~plat::kPinCts);
  bool dtr = !(state & plat::kPinDtr), rts = !(state & plat::kPinRts), brk = !(state & plat::kPinTxd);
  if (dtr != cable_.Dtr()) cable_.SetDtr(dtr);
  if (brk != cable_.Break()) cable_.SetBreak(brk);
  if (rts != cable_.Rts()) cable_.SetRts(rts);
  return sample;
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

std::vector<uint8_t> SimDevice::Flash() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.Flash();
}

void SimDevice::SetFlash(const std::vector<uint8_t>& bytes) {
  std::lock_guard<std::mutex> g(m_);
  if (bytes.size() == size_t(kFlashSize)) memories_.State().flash = bytes;
}

std::vector<uint8_t> SimDevice::Eeprom() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.State().eeprom;
}

bool SimDevice::Locked() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.Locked();
}

bool SimDevice::ReadsLocked() const {
  std::lock_guard<std::mutex> g(m_);
  return memories_.ReadsLocked();
}

void SimDevice::KeepHistory(bool on) {
  std::lock_guard<std::mutex> g(m_);
  programming_.KeepHistory(on);
  firmware_.KeepHistory(on);
  cable_.KeepLevels(on);
}

size_t SimDevice::HeldBytes() const {
  std::lock_guard<std::mutex> g(m_);
  return programming_.HeldBytes() + firmware_.HeldBytes() + cable_.HeldBytes();
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

std::vector<uint8_t> SimDevice::LineLevels() const {
  std::lock_guard<std::mutex> g(m_);
  return cable_.Levels();
}

std::vector<int> SimDevice::DtrAtRisingEdges() const {
  std::lock_guard<std::mutex> g(m_);
  return programming_.DtrAtRisingEdges();
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
