#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/byte_queue.h"
#include "platform/clock.h"
#include "platform/clocked_lines.h"
#include "platform/serial_port.h"
#include "sim/device.h"
#include "sim/sim.h"

namespace sim {
namespace {

struct World {
  std::mutex m;
  Config config;
  std::unique_ptr<SimDevice> device;
  bool open[3] = {false, false, false};
  int maxOpen = 0;
  long chipCalls = 0;  // every port's chip, for `unplug`
  std::atomic<bool> unplugged{false};
};

World& W() {
  static World w;
  return w;
}

// The chip behind a simulated port. In synchronous bit-bang mode it reads
// the pins just before it puts out each state (the sample is one state
// behind), one state every 1/kChipRate s, and a call takes the modelled USB
// round trip on top: half of it before the first state reaches the pins.
// Entering and leaving the mode keep the lines' levels; the simulated chip
// has none of the glitches a real one may show there.
constexpr unsigned kChipRate = 3000000;

class SimChip : public plat::ClockedLines {
 public:
  SimChip(SimDevice* device, bool connected, int roundTripUs, long unplugAt)
      : device_(device), connected_(connected), roundTripUs_(roundTripUs), unplugAt_(unplugAt) {}

  bool Enter() override { return Call(true); }
  bool Leave() override { return Call(true); }
  unsigned Rate() const override { return kChipRate; }

  bool Clock(const uint8_t* states, size_t n, uint8_t* samples) override {
    int64_t start = plat::NowUs();
    if (!Call(false)) return false;
    int64_t first = start + roundTripUs_ / 2;
    for (size_t i = 0; i < n; ++i) {
      int64_t at = first + int64_t(i * 1000000 / kChipRate);
      samples[i] = connected_ ? device_->ClockState(states[i], at) : uint8_t(~0);
    }
    plat::WaitUntil(start + roundTripUs_ + int64_t((n * 1000000 + kChipRate - 1) / kChipRate), nullptr);
    return true;
  }

 private:
  // Counts the call and, for a mode change, takes its round trip (Clock
  // times its own); false once the chip is unplugged.
  bool Call(bool roundTrip) {
    World& w = W();
    bool gone;
    {
      std::lock_guard<std::mutex> g(w.m);
      ++w.chipCalls;
      if (unplugAt_ > 0 && w.chipCalls >= unplugAt_) w.unplugged.store(true);
      gone = w.unplugged.load();
    }
    if (gone) return false;
    if (roundTrip) plat::WaitUntil(plat::NowUs() + roundTripUs_, nullptr);
    return true;
  }

  SimDevice* device_;
  bool connected_;
  int64_t roundTripUs_;
  long unplugAt_;
};

// One end of the simulated cable. A port without the device on it has every
// line unconnected: CTS is never asserted and nothing is ever received.
class SimPort : public plat::SerialPort {
 public:
  SimPort(std::string name, SimDevice* device, bool connected, int holdWaitMs, const Config& config)
      : name_(std::move(name)),
        device_(device),
        connected_(connected),
        holdUs_(int64_t(holdWaitMs) * 1000),
        lineOpUs_(config.lineOpUs) {
    if (config.chip) chip_.reset(new SimChip(device, connected, config.chipRoundTripUs, config.unplug));
  }
  // The close as Windows' serial driver performs it: the break ends, then
  // DTR drops, then RTS. Lines that only fall latch nothing, so a closed port
  // leaves the device at the level the cycle last gave it.
  ~SimPort() override {
    if (Live()) {
      device_->SetBreak(false);
      device_->SetDtr(false);
      device_->SetRts(false);
    }
    device_->HostClosed(name_);
    std::lock_guard<std::mutex> g(W().m);
    W().open[PortIndex(name_)] = false;
  }

  bool SetupQueues(unsigned, unsigned) override { return true; }
  bool ConfigureLine() override {
    if (device_->RefuseSettings(name_)) return false;
    SetDtr(true);
    SetRts(true);
    return true;
  }
  bool SetReadsImmediate() override { return true; }

  bool SetDtr(bool on) override {
    RoundTrip();
    if (Live()) device_->SetDtr(on);
    return !Unplugged();
  }
  bool SetRts(bool on) override {
    RoundTrip();
    if (Live()) device_->SetRts(on);
    return !Unplugged();
  }
  bool SetBreak(bool on) override {
    RoundTrip();
    if (Live()) device_->SetBreak(on);
    return !Unplugged();
  }
  bool GetCts(bool* asserted) override {
    RoundTrip();
    *asserted = Live() ? device_->Cts() : false;
    return !Unplugged();
  }

  bool ArmBreakWait() override {
    Pump(nullptr);
    return true;
  }

  int WaitBreak() override {
    while (true) {
      if (cancelled_.load()) {
        plat::WaitUntil(cancelledAt_.load() + holdUs_, nullptr);
        return kBreakWaitCancelled;
      }
      bool gotBreak = false;
      Pump(&gotBreak);
      if (gotBreak) return kBreakArrived;
      int64_t next = Live() ? device_->NextEventTime() : plat::kForever;
      plat::WaitUntil(next, [this] { return cancelled_.load(); });
    }
  }

  void CancelWait() override {
    cancelledAt_.store(plat::NowUs());
    cancelled_.store(true);
    plat::Notify();
  }
  void ResetCancel() override { cancelled_.store(false); }

  plat::ClockedLines* Clocked() override { return plat::ClockedLinesAllowed() ? chip_.get() : nullptr; }

  bool TransmitChar(uint8_t byte) override {
    if (Live()) device_->HostTransmit(byte);
    return !Unplugged();
  }

  int Read(uint8_t* buf, int max) override {
    if (Unplugged()) return -1;
    Pump(nullptr);
    std::lock_guard<std::mutex> g(m_);
    return int(plat::TakeQueued(&pending_, buf, size_t(max)));
  }

 private:
  // A slow adapter's line operation: the request reaches the cable only when
  // its round trip ends. Not a pause of the cycle's own, so not observed as one.
  void RoundTrip() {
    if (lineOpUs_ > 0) plat::WaitUntil(plat::NowUs() + lineOpUs_, nullptr);
  }

  // Moves what has arrived by now into the receive queue. Breaks are reported
  // through *gotBreak, or dropped when nobody waits for them.
  // An unplugged chip's port is there but carries nothing.
  bool Unplugged() const { return chip_ && W().unplugged.load(); }
  bool Live() const { return connected_ && !Unplugged(); }

  void Pump(bool* gotBreak) {
    if (!Live()) return;
    std::vector<RxEvent> events = device_->TakeRx(plat::NowUs());
    std::lock_guard<std::mutex> g(m_);
    for (const RxEvent& e : events) {
      if (e.isBreak) {
        if (gotBreak) *gotBreak = true;
      } else {
        pending_.push_back(e.byte);
      }
    }
  }

  std::string name_;
  SimDevice* device_;
  bool connected_;
  int64_t holdUs_;
  int lineOpUs_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int64_t> cancelledAt_{0};
  std::mutex m_;
  std::deque<uint8_t> pending_;
  std::unique_ptr<SimChip> chip_;
};

int OpenSimPort(const std::string& name, std::unique_ptr<plat::SerialPort>* port) {
  World& w = W();
  int idx = PortIndex(name);
  SimDevice* device;
  int holdWaitMs;
  Config config;
  {
    std::lock_guard<std::mutex> g(w.m);
    if (!idx || !w.device || w.config.absent[idx] || w.open[idx]) return plat::kPortNotOpened;
    w.open[idx] = true;
    int now = int(w.open[1]) + int(w.open[2]);
    if (now > w.maxOpen) w.maxOpen = now;
    device = w.device.get();
    holdWaitMs = w.config.holdWaitMs;
    config = w.config;
  }
  device->HostOpened(name);
  port->reset(new SimPort(name, device, device->Connected(name), holdWaitMs, config));
  return 0;
}

}  // namespace

std::string Install(const std::string& text) {
  Config config;
  std::string err = ParseConfig(text, &config);
  if (!err.empty()) return err;
  Uninstall();
  plat::UseVirtualClock(config.virtualTime);
  auto device = std::make_unique<SimDevice>(config);
  err = device->Attach();
  if (!err.empty()) {
    plat::UseVirtualClock(false);
    return err;
  }
  {
    std::lock_guard<std::mutex> g(W().m);
    W().config = config;
    W().device = std::move(device);
    W().maxOpen = 0;
    W().chipCalls = 0;
    W().unplugged.store(false);
  }
  plat::SetPortOpener(OpenSimPort);
  return std::string();
}

const char kSimulatorOnNotice[] =
    "ORVALO_SIM is set: this run uses the simulated device, not the serial ports.";

int InstallFromEnvironment(std::string* error) {
  const char* text = std::getenv("ORVALO_SIM");
  if (!text) return kSimOff;
  std::string err = Install(text);
  if (!err.empty()) {
    if (error) *error = err;
    return kSimBadConfig;
  }
  return kSimOn;
}

void Uninstall() {
  plat::SetPortOpener(nullptr);
  std::unique_ptr<SimDevice> old;
  {
    std::lock_guard<std::mutex> g(W().m);
    old = std::move(W().device);
    W().open[1] = W().open[2] = false;
  }
  if (old) old->Save();
}

bool Installed() {
  std::lock_guard<std::mutex> g(W().m);
  return W().device != nullptr;
}

int MaxPortsOpenAtOnce() {
  std::lock_guard<std::mutex> g(W().m);
  return W().maxOpen;
}

long ChipCalls() {
  std::lock_guard<std::mutex> g(W().m);
  return W().chipCalls;
}

Device* TheDevice() {
  std::lock_guard<std::mutex> g(W().m);
  return W().device.get();
}

}  // namespace sim
